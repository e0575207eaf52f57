// What the effect benchmarks share: an engine on SDL's offscreen driver with
// frame pacing off, display 1 open at 1920 x 1080, brush 1 as large as the
// display (and BGPics 2 and 3 where asked), whole effect runs counted frame by
// frame, the patterned pictures of single-frame benchmarks, pixman images
// over our bitmaps and a reporter keeping each benchmark's rate for the
// summary. Header-only: every bench/*.cpp is its own executable.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "benchdisplay.h"
#include "effects/fxengine.h"
#include "effects/transitionfx.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/graphicslib.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "layers/layers.h"
#include "pixel/bitmapops.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "runtime/eventlib.h"

#if defined(VK_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace benchfx {

inline constexpr int32_t kWidth = 1920, kHeight = 1080;

// A pattern without flat runs, different for each [seed].
inline void FillPattern(vkBitMap* b, uint32_t seed) {
  for (int32_t y = 0; y < b->height; y++) {
    auto* row = reinterpret_cast<uint32_t*>(b->pixels + size_t(y) * size_t(b->bytesPerRow));
    for (int32_t x = 0; x < b->width; x++) row[x] = (uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u ^ seed) & 0xFFFFFF;
  }
}

// An engine with the display, picture, brush, layer and effect libraries,
// display 1 open and selected, brush 1 as large as the display and, with
// [bgpics], BGPics 2 and 3 as large as well. display is NULL when any of
// that failed.
struct Scene {
  vkState* L = nullptr;
  vkDisplay* display = nullptr;
  vkBrush* brush = nullptr;

  explicit Scene(bool bgpics) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (vkosInit() != 0) return;
    L = vmNewState();
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenGraphicsLibrary(L), OpenEventLibrary(L), OpenDisplayLibrary(L), OpenBGPicLibrary(L);
    OpenBrushLibrary(L), OpenLayersLibrary(L), OpenTransitionFXLibrary(L);
    vmSetTop(L, 0);
    vkGraphicsState& gs = GraphicsState(L);
    if (bgpics)
      for (int32_t number : {2, 3}) {
        if (CallScriptFunction(L, "CreateBGPic", 0,
                               {vkScriptArg::ofInt(number), vkScriptArg::ofInt(kWidth), vkScriptArg::ofInt(kHeight)}))
          return;
        vkBGPic* p = nullptr;
        if (FindBGPic(gs, vkObjectId{number, nullptr}, &p, 0) || !p->bitmap) return;
        FillPattern(p->bitmap, uint32_t(number) * 0x010203);
      }
    vmNewTable(L);
    SetFieldInt(L, "width", kWidth);
    SetFieldInt(L, "height", kHeight);
    SetFieldInt(L, "borderless", 1);
    vkDisplay* opened = benchdisplay::OpenDisplayOne(L);
    if (!opened) return;
    vkosSetOption(L, VKOS_OPTION_FRAMERATE, -1);
    CreateBrushRecord(gs, vkIdRequest{1, false}, kWidth, kHeight, 0, false, false, true, &brush);
    if (!brush) return;
    FillPattern(brush->bitmap.get(), 0x5A5A5A);
    display = opened;
  }
  ~Scene() {
    if (L) {
      CloseAllDisplays(L);
      FreeAllBrushes(L);
      FreeAllBGPics(L);
      vmCloseState(L);
      vkosExit();
    }
  }
};

// The one scene of the process, made at the first call; a benchmark
// program passes the same [bgpics] at every call.
inline Scene& TheScene(bool bgpics = false) {
  static Scene scene(bgpics);
  return scene;
}

// Where a run shows its picture: BGPics 2 and 3 in turn, brush 1 on the
// display, or brush 1 as a layer of the display in real-time layer mode
// (the effect draws into the layer's buffers and the compositor shows them).
enum class Where { BGPic, Display, Layer };

inline void CountFrame(void* context, const vkFXState&) { ++*static_cast<int64_t*>(context); }

// Whole runs of effect [type] at [speed] with [parameter] on TheScene(),
// counting frames per second and frames per run. Once a layer run has turned layers on they stay
// on, so a program registers its display runs before its layer runs.
inline void EffectRuns(benchmark::State& state, int32_t type, int32_t speed, Where where,
                       int32_t parameter = 0x000000) {
  Scene& scene = TheScene();
  if (!scene.display) {
    state.SkipWithError("no display");
    return;
  }
  if (where == Where::Layer && !scene.display->layersOn) {
    CallScriptFunction(scene.L, "EnableLayers", 0, {});
    CallScriptFunction(scene.L, "DisplayBrush", 0, {vkScriptArg::ofInt(1), vkScriptArg::ofInt(0), vkScriptArg::ofInt(0)});
  }
  if (where == Where::Display && scene.display->layersOn) {
    state.SkipWithError("display runs first");
    return;
  }
  int64_t frames = 0;
  int32_t next = 2;
  for (auto _ : state) {
    vkFXRequest rq;
    rq.L = scene.L, rq.operation = vkObjectType::BRUSH, rq.id = {1, nullptr};
    if (where == Where::BGPic) rq.operation = vkObjectType::BGPIC, rq.id = {next, nullptr}, next = 5 - next;
    if (where == Where::Layer) rq.operation = vkObjectType::LAYER, rq.forceRealtimeLayers = 1;
    rq.type = type, rq.speed = speed, rq.parameter = parameter;
    rq.observer = CountFrame, rq.observerContext = &frames;
    if (RunTransitionFX(rq) != 0) {
      state.SkipWithError("the effect failed");
      return;
    }
  }
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["frames"] = double(frames) / double(state.iterations());
}

// The new and old pictures of a single frame, patterned apart, and the
// frame they are drawn into.
struct Pictures {
  vkBitMapPtr fresh{AllocArgbBitMap(kWidth, kHeight)}, old{AllocArgbBitMap(kWidth, kHeight)};
  vkBitMapPtr work{AllocArgbBitMap(kWidth, kHeight)};
  Pictures() {
    FillPattern(fresh.get(), 0x123456);
    FillPattern(old.get(), 0xABCDEF);
  }
};

// Frames per second of a single-frame benchmark.
inline void CountFrames(benchmark::State& state) {
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

#if defined(VK_HAVE_PIXMAN)
// A pixman image over [b]'s pixels (no copy); the caller unrefs it.
inline pixman_image_t* PixmanImage(vkBitMap* b) {
  return pixman_image_create_bits(PIXMAN_x8r8g8b8, b->width, b->height, reinterpret_cast<uint32_t*>(b->pixels),
                                  b->bytesPerRow);
}
#endif

// Keeps each benchmark's rate (its "fps" or "tiles/s" counter) by name,
// without the min_time and real_time suffixes, for the summary.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rate;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type != Run::RT_Iteration) continue;
      for (const char* key : {"fps", "tiles/s"}) {
        auto it = r.counters.find(key);
        if (it == r.counters.end()) continue;
        const std::string name = r.benchmark_name();
        rate[name.substr(0, name.find("/min_time")).substr(0, name.find("/real_time"))] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  bool Has(const std::string& name) const { return rate.count(name) != 0; }
};

}  // namespace benchfx
