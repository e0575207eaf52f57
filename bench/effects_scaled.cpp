// The effects that comb, scale or pixelate whole pictures on a 1920 x 1080
// display on SDL's offscreen driver with frame pacing off: frames per second
// of whole runs at normal speed (crush, flip-coin, turn-down and PIXELZOOM2
// between two BGPics; strange push and PIXELZOOM1 showing a full-screen
// brush on the display and as a layer in real-time layer mode), and one
// crush frame's pixel work (the new picture scaled into a third of the
// frame, the old one into the rest; straight into the frame, and through a
// buffer) beside pixman scaling the same two pictures with its nearest
// filter.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "effects/fxtable.h"
#include "effects/transitionfx.h"
#include "engine/argcheck.h"
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
#include "pixel/blit.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "runtime/eventlib.h"

#if defined(VK_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

void FillPattern(vkBitMap* b, uint32_t seed) {
  for (int32_t y = 0; y < b->height; y++) {
    auto* row = reinterpret_cast<uint32_t*>(b->pixels + size_t(y) * size_t(b->bytesPerRow));
    for (int32_t x = 0; x < b->width; x++) row[x] = (uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u ^ seed) & 0xFFFFFF;
  }
}

// An engine with the display, picture, brush and effect libraries, display
// 1 open, BGPics 2 and 3 and brush 1 as large as the display.
struct Scene {
  vkState* L = nullptr;
  vkDisplay* display = nullptr;
  Scene() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (vkosInit() != 0) return;
    L = vmNewState();
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenGraphicsLibrary(L), OpenEventLibrary(L), OpenDisplayLibrary(L), OpenBGPicLibrary(L);
    OpenBrushLibrary(L), OpenLayersLibrary(L), OpenTransitionFXLibrary(L);
    vmSetTop(L, 0);
    vkGraphicsState& gs = GraphicsState(L);
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
    vkObjectId id;
    if (CreateDisplay(L, vkIdRequest{1, false}, 1, &id) != 0) return;
    FindDisplay(gs, id, &display);
    if (OpenDisplayOnScreen(L, display, false) != 0) {
      display = nullptr;
      return;
    }
    SelectDisplay(L, display, true);
    vkosSetOption(L, VKOS_OPTION_FRAMERATE, -1);
    vkBrush* brush = nullptr;
    CreateBrushRecord(gs, vkIdRequest{1, false}, kWidth, kHeight, 0, false, false, true, &brush);
    if (brush) FillPattern(brush->bitmap.get(), 0x5A5A5A);
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

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void CountFrame(void* context, const vkFXState&) { ++*static_cast<int64_t*>(context); }

enum class Where { BGPic, Display, Layer };

// Whole runs of [type]: BGPics 2 and 3 in turn, or brush 1 on the display,
// or brush 1 as a layer in real-time layer mode.
void BM_EffectRun(benchmark::State& state, int32_t type, Where where) {
  Scene& scene = TheScene();
  if (!scene.display) {
    state.SkipWithError("no display");
    return;
  }
  if (where == Where::Layer && !scene.display->layersOn) {
    CallScriptFunction(scene.L, "EnableLayers", 0, {});
    CallScriptFunction(scene.L, "DisplayBrush", 0, {vkScriptArg::ofInt(1), vkScriptArg::ofInt(0), vkScriptArg::ofInt(0)});
  }
  int64_t frames = 0;
  int32_t next = 2;
  for (auto _ : state) {
    vkFXRequest rq;
    rq.L = scene.L, rq.operation = vkObjectType::BRUSH, rq.id = {1, nullptr};
    if (where == Where::BGPic) rq.operation = vkObjectType::BGPIC, rq.id = {next, nullptr}, next = 5 - next;
    if (where == Where::Layer) rq.operation = vkObjectType::LAYER, rq.forceRealtimeLayers = 1;
    rq.type = type, rq.speed = kNormalSpeed, rq.parameter = 0x000000;
    rq.observer = CountFrame, rq.observerContext = &frames;
    if (RunTransitionFX(rq) != 0) {
      state.SkipWithError("the effect failed");
      return;
    }
  }
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["frames"] = double(frames) / double(state.iterations());
}

struct Pictures {
  vkBitMapPtr fresh{AllocArgbBitMap(kWidth, kHeight)}, old{AllocArgbBitMap(kWidth, kHeight)};
  vkBitMapPtr work{AllocArgbBitMap(kWidth, kHeight)};
  Pictures() {
    FillPattern(fresh.get(), 0x123456);
    FillPattern(old.get(), 0xABCDEF);
  }
};

constexpr int32_t kShown = kWidth / 3;  // the crush frame's new part

// A crush frame's pixels as the effect makes them on the display: each
// picture scaled by the scaler's nearest rows straight into its part of
// the frame.
void BM_CrushFrame(benchmark::State& state) {
  Pictures p;
  vkScaleTables tables;
  for (auto _ : state) {
    ScaleBitMapPart(tables, p.fresh.get(), 0, 0, kWidth, kHeight, kShown, kHeight, 0, 0, kShown, kHeight,
                    p.work.get(), 0, 0);
    ScaleBitMapPart(tables, p.old.get(), 0, 0, kWidth, kHeight, kWidth - kShown, kHeight, 0, 0, kWidth - kShown,
                    kHeight, p.work.get(), kShown, 0);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same through a buffer copied into the part, as in a layer's buffers.
void BM_CrushFrameBuffered(benchmark::State& state) {
  Pictures p;
  vkScaleTables tables;
  vkBitMapPtr buffer(AllocArgbBitMap(kWidth, kHeight));
  for (auto _ : state) {
    ScaleBitMap(tables, p.fresh.get(), nullptr, nullptr, 0, 0, buffer.get(), kWidth, kHeight, kShown, kHeight, false,
                nullptr, nullptr, nullptr);
    BltBitMap(buffer.get(), 0, 0, p.work.get(), 0, 0, kShown, kHeight);
    ScaleBitMap(tables, p.old.get(), nullptr, nullptr, 0, 0, buffer.get(), kWidth, kHeight, kWidth - kShown, kHeight,
                false, nullptr, nullptr, nullptr);
    BltBitMap(buffer.get(), 0, 0, p.work.get(), kShown, 0, kWidth - kShown, kHeight);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

#if defined(VK_HAVE_PIXMAN)
// The same frame by pixman: both pictures composited with a scaling
// transform and the nearest filter straight into their parts of the frame.
void BM_PixmanCrushFrame(benchmark::State& state) {
  Pictures p;
  auto image = [](vkBitMap* b) {
    return pixman_image_create_bits(PIXMAN_x8r8g8b8, b->width, b->height, reinterpret_cast<uint32_t*>(b->pixels),
                                    b->bytesPerRow);
  };
  pixman_image_t *fresh = image(p.fresh.get()), *old = image(p.old.get()), *work = image(p.work.get());
  auto scaleTo = [](pixman_image_t* img, int32_t width) {
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_int_to_fixed(kWidth) / width, pixman_fixed_1);
    pixman_image_set_transform(img, &t);
    pixman_image_set_filter(img, PIXMAN_FILTER_NEAREST, nullptr, 0);
  };
  scaleTo(fresh, kShown);
  scaleTo(old, kWidth - kShown);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_SRC, fresh, nullptr, work, 0, 0, 0, 0, 0, 0, kShown, kHeight);
    pixman_image_composite32(PIXMAN_OP_SRC, old, nullptr, work, 0, 0, 0, 0, kShown, 0, kWidth - kShown, kHeight);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  pixman_image_unref(fresh), pixman_image_unref(old), pixman_image_unref(work);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
#endif

// Keeps each benchmark's frames per second for the summary.
class FpsReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> fps;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      auto it = r.counters.find("fps");
      if (it == r.counters.end() || r.run_type != Run::RT_Iteration) continue;
      const std::string name = r.benchmark_name();
      fps[name.substr(0, name.find("/min_time")).substr(0, name.find("/real_time"))] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  struct Run {
    const char* name;
    int32_t type;
    Where where;
  };
  const Run runs[] = {
      {"bgpic/CRUSHLEFT", 120, Where::BGPic},     {"bgpic/HFLIPCOIN", 126, Where::BGPic},
      {"bgpic/TURNDOWNLEFT", 130, Where::BGPic},  {"bgpic/PIXELZOOM2", 133, Where::BGPic},
      {"display/HSTRANGEPUSH", 99, Where::Display}, {"display/PIXELZOOM1", 132, Where::Display},
      {"layer/HSTRANGEPUSH", 99, Where::Layer},   {"layer/PIXELZOOM1", 132, Where::Layer},
  };
  for (const Run& r : runs)
    benchmark::RegisterBenchmark(r.name, BM_EffectRun, r.type, r.where)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(1.0);
  benchmark::RegisterBenchmark("crush_frame", BM_CrushFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("crush_frame_buffered", BM_CrushFrameBuffered)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
#if defined(VK_HAVE_PIXMAN)
  benchmark::RegisterBenchmark("pixman_crush_frame", BM_PixmanCrushFrame)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
#endif
  benchmark::Initialize(&argc, argv);
  FpsReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFrames per second of whole runs at 1920 x 1080 (goal: 60 and above):\n");
  for (const Run& r : runs)
    if (reporter.fps.count(r.name)) std::printf("  %-24s %8.1f\n", r.name, reporter.fps[r.name]);
  if (reporter.fps.count("pixman_crush_frame"))
    for (const char* name : {"crush_frame", "crush_frame_buffered"})
      if (reporter.fps.count(name))
        std::printf("%-22s %.1f fps, pixman %.1f fps: %.2fx pixman's rate\n", name, reporter.fps[name],
                    reporter.fps["pixman_crush_frame"], reporter.fps[name] / reporter.fps["pixman_crush_frame"]);
  return 0;
}
