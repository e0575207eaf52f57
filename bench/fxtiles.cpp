// The tile effects at 1920 x 1080 on SDL's offscreen driver with frame
// pacing off: frames per second of whole runs at normal speed (the puzzle
// also with the 83,545 tiles of 5 pixels at speed 2, order drawn at set-up
// included) on the display and as a layer in real-time layer mode; then the
// tile copies alone of such a run, through the display's blit path into its
// back buffer beside pixman copying the same tiles between the same buffers.
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "effects/fxtable.h"
#include "fxscene.h"
#include "graphics/safeblt.h"

namespace {

using namespace benchfx;

constexpr int32_t kPuzzle = 82;

// Whole runs of effect [type] at [speed] showing the brush: on the
// display, or with [realtime] as a layer drawn in real-time layer mode.
void BM_Run(benchmark::State& state, int32_t type, int32_t speed, bool realtime) {
  EffectRuns(state, type, speed, realtime ? Where::Layer : Where::Display, kFXRandomParameter);
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
  pixman_image_t *from = PixmanImage(src.get()), *to = PixmanImage(dst.get());
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
      if (reporter.Has(key)) std::printf("  %-24s %10.1f\n", key.c_str(), reporter.rate[key]);
    }
  for (const auto& [name, size] : tiles) {
    const std::string ours = std::string("copies/safeblt/") + name, peer = std::string("copies/pixman/") + name;
    if (reporter.Has(ours) && reporter.Has(peer))
      std::printf("Tile copies of %d px: %.0f tiles/s, pixman %.0f tiles/s: %.2fx pixman's rate\n", size,
                  reporter.rate[ours], reporter.rate[peer], reporter.rate[ours] / reporter.rate[peer]);
  }
  return 0;
}
