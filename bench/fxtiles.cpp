// The tile effects at 1920 x 1080 on SDL's offscreen driver with frame
// pacing off: frames per second of whole runs at normal speed (the puzzle
// also with the 83,545 tiles of 5 pixels at speed 2, order drawn at set-up
// included) on the display and as a layer in real-time layer mode; then the
// tile copies alone of such a run, through the display's blit path into its
// back buffer beside pixman copying the same tiles between the same buffers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "effects/fxtable.h"
#include "effects/transitionfx.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/graphicslib.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "graphics/safeblt.h"
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
constexpr int32_t kPuzzle = 82;

void FillPattern(vkBitMap* b, uint32_t seed) {
  for (int32_t y = 0; y < b->height; y++) {
    auto* row = reinterpret_cast<uint32_t*>(b->pixels + size_t(y) * size_t(b->bytesPerRow));
    for (int32_t x = 0; x < b->width; x++) row[x] = (uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u ^ seed) & 0xFFFFFF;
  }
}

// An engine with the display, brush and effect libraries, display 1 open
// and brush 1 as large as the display.
struct Scene {
  vkState* L = nullptr;
  vkDisplay* display = nullptr;
  vkBrush* brush = nullptr;
  Scene() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (vkosInit() != 0) return;
    L = vmNewState();
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenGraphicsLibrary(L), OpenEventLibrary(L), OpenDisplayLibrary(L), OpenBGPicLibrary(L);
    OpenBrushLibrary(L), OpenLayersLibrary(L), OpenTransitionFXLibrary(L);
    vmSetTop(L, 0);
    vmNewTable(L);
    SetFieldInt(L, "width", kWidth);
    SetFieldInt(L, "height", kHeight);
    SetFieldInt(L, "borderless", 1);
    vkObjectId id;
    if (CreateDisplay(L, vkIdRequest{1, false}, 1, &id) != 0) return;
    vkGraphicsState& gs = GraphicsState(L);
    FindDisplay(gs, id, &display);
    if (OpenDisplayOnScreen(L, display, false) != 0) {
      display = nullptr;
      return;
    }
    SelectDisplay(L, display, true);
    vkosSetOption(L, VKOS_OPTION_FRAMERATE, -1);
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

// Whole runs of effect [type] at [speed] showing the brush: on the
// display, or with [realtime] as a layer drawn in real-time layer mode.
void BM_Run(benchmark::State& state, int32_t type, int32_t speed, bool realtime) {
  Scene& scene = TheScene();
  if (!scene.display || !scene.brush) {
    state.SkipWithError("no display");
    return;
  }
  if (realtime && !scene.display->layersOn) {
    CallScriptFunction(scene.L, "EnableLayers", 0, {});
    CallScriptFunction(scene.L, "DisplayBrush", 0, {vkScriptArg::ofInt(1), vkScriptArg::ofInt(0), vkScriptArg::ofInt(0)});
  }
  if (!realtime && scene.display->layersOn) {
    state.SkipWithError("display runs first");
    return;
  }
  int64_t frames = 0;
  for (auto _ : state) {
    vkFXRequest rq;
    rq.L = scene.L, rq.operation = vkObjectType::BRUSH, rq.id = {1, nullptr};
    if (realtime) rq.operation = vkObjectType::LAYER, rq.forceRealtimeLayers = 1;
    rq.type = type, rq.speed = speed;
    rq.observer = CountFrame, rq.observerContext = &frames;
    if (RunTransitionFX(rq) != 0) {
      state.SkipWithError("the effect failed");
      return;
    }
  }
  state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
  state.counters["frames"] = double(frames) / double(state.iterations());
}

// The tiles of a run with tiles of [tile] pixels, in a shuffled order:
// (x, y) of each, the last column and row cut to the picture.
struct Tile {
  int32_t x, y, w, h;
};
std::vector<Tile> Tiles(int32_t tile) {
  const int32_t columns = kWidth / tile + 1, rows = kHeight / tile + 1;
  std::vector<int32_t> order(size_t(columns) * size_t(rows));
  std::iota(order.begin(), order.end(), 0);
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<Tile> tiles;
  for (int32_t t : order) {
    const int32_t x = t % columns * tile, y = t / columns * tile;
    const int32_t w = std::min(tile, kWidth - x), h = std::min(tile, kHeight - y);
    if (w > 0 && h > 0) tiles.push_back({x, y, w, h});
  }
  return tiles;
}

// The run's tile copies through the display's blit path into its back
// buffer (no window present): what every frame of a display run draws.
void BM_TilesSafeBlt(benchmark::State& state, int32_t tile) {
  Scene& scene = TheScene();
  if (!scene.display || !scene.brush || !scene.display->backBuffer || scene.display->layersOn) {
    state.SkipWithError("no display without layers");
    return;
  }
  const std::vector<Tile> tiles = Tiles(tile);
  vkGraphicsState& gs = GraphicsState(scene.L);
  for (auto _ : state) {
    for (const Tile& t : tiles) {
      vkBlitRequest r;
      r.src = scene.brush->bitmap.get();
      r.sx = t.x, r.sy = t.y, r.dx = t.x, r.dy = t.y, r.width = t.w, r.height = t.h;
      r.srcWidth = kWidth, r.srcHeight = kHeight, r.dstWidth = kWidth, r.dstHeight = kHeight;
      r.flags = kBlitBackground | kBlitNoWindow;
      SafeBlt(gs, r);
    }
    benchmark::DoNotOptimize(scene.display->backBuffer->pixels);
  }
  state.counters["tiles/s"] = benchmark::Counter(double(tiles.size()) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}

#if defined(VK_HAVE_PIXMAN)
// pixman copying the same tiles between two 1920 x 1080 pictures.
void BM_TilesPixman(benchmark::State& state, int32_t tile) {
  vkBitMapPtr src(AllocArgbBitMap(kWidth, kHeight)), dst(AllocArgbBitMap(kWidth, kHeight));
  FillPattern(src.get(), 0x5A5A5A);
  auto image = [](vkBitMap* b) {
    return pixman_image_create_bits(PIXMAN_x8r8g8b8, b->width, b->height, reinterpret_cast<uint32_t*>(b->pixels),
                                    b->bytesPerRow);
  };
  pixman_image_t *from = image(src.get()), *to = image(dst.get());
  const std::vector<Tile> tiles = Tiles(tile);
  for (auto _ : state) {
    for (const Tile& t : tiles)
      pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, t.x, t.y, 0, 0, t.x, t.y, t.w, t.h);
    benchmark::DoNotOptimize(dst->pixels);
  }
  pixman_image_unref(from), pixman_image_unref(to);
  state.counters["tiles/s"] = benchmark::Counter(double(tiles.size()) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
}
#endif

// Keeps each benchmark's counter for the summary.
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
};

}  // namespace

int main(int argc, char** argv) {
  struct RunCase {
    const char* name;
    int32_t type, speed;
  };
  const RunCase runs[] = {{"PUZZLE", kPuzzle, kNormalSpeed}, {"PUZZLE/tiles5", kPuzzle, 2},
                          {"DIAGONAL", 83, kNormalSpeed},    {"SPIRAL", 105, kNormalSpeed},
                          {"SWISS", 106, kNormalSpeed},      {"QUADRECT", 107, kNormalSpeed},
                          {"UPNDOWN", 110, kNormalSpeed}};
  auto registerRuns = [&](const char* mode) {
    for (const RunCase& r : runs)
      benchmark::RegisterBenchmark((std::string(mode) + r.name).c_str(), BM_Run, r.type, r.speed, mode[0] == 'l')
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(1.0);
  };
  // The display runs and the copies first: the layer runs turn layers on for good.
  registerRuns("display/");
  const std::pair<const char*, int32_t> tiles[] = {{"tiles96", 96}, {"tiles5", 5}};
  for (const auto& [name, size] : tiles) {
    benchmark::RegisterBenchmark((std::string("copies/safeblt/") + name).c_str(), BM_TilesSafeBlt, size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
#if defined(VK_HAVE_PIXMAN)
    benchmark::RegisterBenchmark((std::string("copies/pixman/") + name).c_str(), BM_TilesPixman, size)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
#endif
  }
  registerRuns("layer/");
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFrames per second of whole runs at 1920 x 1080 (goal: 60 and above):\n");
  for (const char* mode : {"display/", "layer/"})
    for (const RunCase& r : runs) {
      const std::string key = std::string(mode) + r.name;
      if (reporter.rate.count(key)) std::printf("  %-24s %10.1f\n", key.c_str(), reporter.rate[key]);
    }
  for (const auto& [name, size] : tiles) {
    const std::string ours = std::string("copies/safeblt/") + name, peer = std::string("copies/pixman/") + name;
    if (reporter.rate.count(ours) && reporter.rate.count(peer))
      std::printf("Tile copies of %d px: %.0f tiles/s, pixman %.0f tiles/s: %.2fx pixman's rate\n", size,
                  reporter.rate[ours], reporter.rate[peer], reporter.rate[ours] / reporter.rate[peer]);
  }
  return 0;
}
