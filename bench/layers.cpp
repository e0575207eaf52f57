// The layer compositor under load: 100 layers of 256 x 256 with random
// alpha on a 1920 x 1080 display, each moved a few pixels per frame, (a)
// while the displayed picture is selected, the changes merged and composed
// once when the selection ends, and (b) each move composed at once. Beside
// them pixman composes the same premultiplied stack: the background with
// SRC and 100 OVER composites clipped to the changed region, then the same
// copy into a window-sized buffer. Both pictures are compared once before
// timing; the frame rates and the ratios to pixman are printed at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "graphics/displayoptions.h"
#include "layerscene.h"

namespace {

using namespace benchlayers;

constexpr int32_t kSide = 256, kLayers = 100;

// 100 brushes of noise, each shown as a layer at a random position with a
// random move of a few pixels.
struct Scene : LayerDisplay {
  std::vector<int32_t> x, y, dx, dy;
  int32_t frame = 0;

  Scene() : LayerDisplay(11) {
    for (int32_t n = 1; n <= kLayers; n++) {
      NoiseBrush(n, kSide);
      x.push_back(int32_t(rng() % (kW - kSide))), y.push_back(int32_t(rng() % (kH - kSide)));
      dx.push_back(int32_t(rng() % 7) - 3), dy.push_back(int32_t(rng() % 7) - 3);
      vkDisplayRequest rq;
      rq.type = kObjectBrush, rq.id = vkObjectId{n, nullptr}, rq.x = x.back(), rq.y = y.back();
      DisplayBitmapObject(L, rq);
    }
  }

  // The next positions: a few pixels on, turning at the edges.
  void Step() {
    for (int32_t i = 0; i < kLayers; i++) {
      if (x[i] + dx[i] < 0 || x[i] + dx[i] > kW - kSide) dx[i] = -dx[i];
      if (y[i] + dy[i] < 0 || y[i] + dy[i] > kH - kSide) dy[i] = -dy[i];
      x[i] += dx[i], y[i] += dy[i];
    }
    frame++;
  }

  // One frame of the layers: every layer moved; [batched] while selected.
  void LayerFrame(bool batched) {
    Step();
    if (batched) display.renderTarget = kTargetBGPic;
    for (int32_t i = 0; i < kLayers; i++) {
      vkLayer* layer = pic.layers[size_t(i)];
      UpdateLayerPlacement(L, layer, nullptr, x[i], y[i], kSide, kSide, nullptr, nullptr, nullptr, nullptr, 0);
    }
    if (batched) {
      display.renderTarget = kTargetDisplay;
      gs().layerTargets.endPictureSelection(gs(), &display, &pic, true);
    }
  }
};

Scene& GetScene() {
  static Scene scene;
  return scene;
}

void BM_LayersBatched(benchmark::State& state) {
  Scene& s = GetScene();
  for (auto _ : state) {
    s.LayerFrame(true);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LayersEachMove(benchmark::State& state) {
  Scene& s = GetScene();
  for (auto _ : state) {
    s.LayerFrame(false);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

#if defined(VK_HAVE_PIXMAN)
// The same stack for pixman: premultiplied layers over the background.
struct PixmanScene : PixmanStack {
  std::vector<uint32_t> layerPixels[kLayers];
  pixman_image_t* layer[kLayers] = {};

  explicit PixmanScene(Scene& s) : PixmanStack(s.back.get()) {
    for (int32_t n = 0; n < kLayers; n++) {
      layerPixels[n] = PremultipliedBrush(s.gs(), n + 1, kSide);
      layer[n] = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, layerPixels[n].data(), kSide * 4);
    }
  }
  ~PixmanScene() {
    for (pixman_image_t* i : layer) pixman_image_unref(i);
  }

  // Composes [region] from the background and the layers at [px], [py].
  void Compose(pixman_region32_t* region, const std::vector<int32_t>& px, const std::vector<int32_t>& py) {
    pixman_image_set_clip_region32(dst, region);
    pixman_image_composite32(PIXMAN_OP_SRC, background, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    for (int32_t n = 0; n < kLayers; n++)
      pixman_image_composite32(PIXMAN_OP_OVER, layer[n], nullptr, dst, 0, 0, 0, 0, px[n], py[n], kSide, kSide);
    pixman_image_set_clip_region32(window, region);
    pixman_image_composite32(PIXMAN_OP_SRC, dst, nullptr, window, 0, 0, 0, 0, 0, 0, kW, kH);
  }
};

// One frame of pixman: every layer moved; [batched]: the union of all
// changes composed once, else each layer's change composed at once.
void PixmanFrames(benchmark::State& state, bool batched) {
  Scene& s = GetScene();
  static PixmanScene p(s);
  std::vector<int32_t> px = s.x, py = s.y, dx = s.dx, dy = s.dy;
  pixman_box32_t boxes[kLayers];
  for (auto _ : state) {
    for (int32_t i = 0; i < kLayers; i++) {
      const int32_t ox = px[i], oy = py[i];
      if (px[i] + dx[i] < 0 || px[i] + dx[i] > kW - kSide) dx[i] = -dx[i];
      if (py[i] + dy[i] < 0 || py[i] + dy[i] > kH - kSide) dy[i] = -dy[i];
      px[i] += dx[i], py[i] += dy[i];
      boxes[i] = {std::min(ox, px[i]), std::min(oy, py[i]), std::max(ox, px[i]) + kSide, std::max(oy, py[i]) + kSide};
      if (!batched) {
        pixman_region32_t region;
        pixman_region32_init_rects(&region, &boxes[i], 1);
        p.Compose(&region, px, py);
        pixman_region32_fini(&region);
      }
    }
    if (batched) {
      pixman_region32_t region;
      pixman_region32_init_rects(&region, boxes, kLayers);
      p.Compose(&region, px, py);
      pixman_region32_fini(&region);
    }
    benchmark::ClobberMemory();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_PixmanBatched(benchmark::State& state) { PixmanFrames(state, true); }
void BM_PixmanEachMove(benchmark::State& state) { PixmanFrames(state, false); }

// Both compositors on one frame from the same positions: the largest
// difference of a colour channel (the blend rules round apart).
int CompareOnce() {
  Scene& s = GetScene();
  PixmanScene p(s);
  s.LayerFrame(true);
  RefreshRectNow(s.gs(), 0, 0, kW, kH);
  pixman_region32_t all;
  pixman_region32_init_rect(&all, 0, 0, kW, kH);
  p.Compose(&all, s.x, s.y);
  pixman_region32_fini(&all);
  int worst = 0;
  const uint32_t* ours = reinterpret_cast<const uint32_t*>(s.window->pixels);
  for (size_t i = 0; i < size_t(kW) * kH; i++)
    for (int shift : {16, 8, 0})
      worst = std::max(worst, std::abs(int((ours[i] >> shift) & 0xFF) - int((p.windowPixels[i] >> shift) & 0xFF)));
  return worst;
}
#endif

}  // namespace

BENCHMARK(BM_LayersBatched)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LayersEachMove)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#if defined(VK_HAVE_PIXMAN)
BENCHMARK(BM_PixmanBatched)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_PixmanEachMove)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

int main(int argc, char** argv) {
#if defined(VK_HAVE_PIXMAN)
  std::printf("largest channel difference from pixman's picture: %d\n", CompareOnce());
#endif
  benchmark::Initialize(&argc, argv);
  // Times per frame by benchmark (CPU time: the machine may be shared).
  struct Collect : benchmark::ConsoleReporter {
    std::map<std::string, double> ms;
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const Run& r : runs) {
        const std::string name = r.benchmark_name();
        ms[name.substr(0, name.find('/'))] = r.GetAdjustedCPUTime();
      }
      benchmark::ConsoleReporter::ReportRuns(runs);
    }
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const auto& [name, t] : reporter.ms) std::printf("%-20s %8.1f frames/s\n", name.c_str(), 1000.0 / t);
#if defined(VK_HAVE_PIXMAN)
  const std::pair<const char*, const char*> pairs[] = {{"BM_LayersBatched", "BM_PixmanBatched"},
                                                       {"BM_LayersEachMove", "BM_PixmanEachMove"}};
  for (const auto& [ours, peer] : pairs)
    if (reporter.ms.count(ours) && reporter.ms.count(peer))
      std::printf("%s: %.2fx pixman's frame rate\n", ours, reporter.ms[peer] / reporter.ms[ours]);
#endif
  benchmark::Shutdown();
  return 0;
}
