// What the clipped blit costs over the kernel it ends in: a 640x480 brush
// with a random alpha plane blended onto a 1920x1080 display's background
// buffer through SafeBlt, without a clip region, through a box region and
// through a shaped one, beside the bare alpha kernel on the same pixels and
// pixman's OVER composite of the same brush (premultiplied) when built with
// it. After the runs a table prints each time's ratio to the bare kernel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "graphics/bgpics.h"
#include "graphics/clipregions.h"
#include "graphics/safeblt.h"
#include "pixel/alphakernels.h"

#if defined(VK_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

constexpr int32_t kBrushW = 640, kBrushH = 480, kDisplayW = 1920, kDisplayH = 1080;
constexpr int32_t kAtX = 600, kAtY = 300;

// The brush and the display, made once.
struct Scene {
  vkBitMapPtr brush{AllocArgbBitMap(kBrushW, kBrushH)}, back{AllocArgbBitMap(kDisplayW, kDisplayH)};
  vkPlanePtr alpha{AllocAlphaPlane(kBrushW, kBrushH, false)};
  vkGraphicsState gs;
  vkDisplay display;
  vkBGPic pic;
  vkClipRegion* box = nullptr;
  vkClipRegion* shaped = nullptr;

  Scene() {
    std::mt19937 rng(5);
    for (int32_t i = 0; i < kBrushW * kBrushH; ++i) reinterpret_cast<uint32_t*>(brush->pixels)[i] = rng() & 0xFFFFFF;
    for (int32_t i = 0; i < kDisplayW * kDisplayH; ++i) reinterpret_cast<uint32_t*>(back->pixels)[i] = rng() & 0xFFFFFF;
    for (int32_t i = 0; i < alpha->bytesPerRow * kBrushH; ++i) alpha->data[i] = uint8_t(rng());
    display.backBuffer = back.get();
    display.width = kDisplayW, display.height = kDisplayH;
    pic.width = pic.scaledWidth = kDisplayW, pic.height = pic.scaledHeight = kDisplayH;
    display.bgpic = &pic;
    CreateClipRegion(gs, vkIdRequest{1, false}, 100, 100, 1700, 900, nullptr, &box);
    vkPlanePtr shape(AllocMaskPlane(1700, 900, false));
    for (int32_t i = 0; i < shape->bytesPerRow * 900; ++i) shape->data[i] = uint8_t(rng()) | 0x81;
    CreateClipRegion(gs, vkIdRequest{2, false}, 100, 100, 1700, 900, shape.get(), &shaped);
  }
};

Scene& GetScene() {
  static Scene scene;
  return scene;
}

void SetRate(benchmark::State& state) {
  state.counters["Mpix/s"] =
      benchmark::Counter(double(kBrushW) * kBrushH * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Kernel(benchmark::State& state) {
  Scene& s = GetScene();
  vkAlphaBitMapBlock b{s.brush->pixels, 0, 0, 0, 0, kBrushW, s.back->pixels, kAtX, kAtY, kDisplayW,
                       kBrushW, kBrushH, s.alpha->data, s.alpha->bytesPerRow, PIXFMT_ARGB32};
  for (auto _ : state) {
    BltAlphaBitMapRows32(&b);
    benchmark::ClobberMemory();
  }
  SetRate(state);
}

void BM_SafeBlt(benchmark::State& state, int clipKind) {
  Scene& s = GetScene();
  s.gs.CurrentDisplay = &s.display;
  s.gs.CurrentBGPic = &s.pic;
  vkBlitRequest rq{s.brush.get(), 0, 0, nullptr, kAtX, kAtY, kBrushW, kBrushH, kBrushW, kBrushH, kDisplayW, kDisplayH,
                   kBlitBackground | kBlitNoWindow, nullptr, s.alpha.get(),
                   clipKind == 0 ? nullptr : clipKind == 1 ? s.box : s.shaped};
  for (auto _ : state) {
    SafeBlt(s.gs, rq);
    benchmark::ClobberMemory();
  }
  s.gs.CurrentDisplay = nullptr;
  s.gs.CurrentBGPic = nullptr;
  SetRate(state);
}

#if defined(VK_HAVE_PIXMAN)
void BM_Pixman(benchmark::State& state) {
  Scene& s = GetScene();
  std::vector<uint32_t> src(size_t(kBrushW) * kBrushH);
  for (int32_t y = 0; y < kBrushH; ++y)
    for (int32_t x = 0; x < kBrushW; ++x) {
      // Premultiplied, as pixman composes.
      const uint32_t p = reinterpret_cast<uint32_t*>(s.brush->pixels)[y * kBrushW + x];
      const uint32_t a = s.alpha->data[y * s.alpha->bytesPerRow + x];
      const uint32_t r = (p >> 16 & 255) * a / 255, g = (p >> 8 & 255) * a / 255, b = (p & 255) * a / 255;
      src[size_t(y) * kBrushW + x] = a << 24 | r << 16 | g << 8 | b;
    }
  pixman_image_t* si = pixman_image_create_bits(PIXMAN_a8r8g8b8, kBrushW, kBrushH, src.data(), kBrushW * 4);
  pixman_image_t* di = pixman_image_create_bits(PIXMAN_x8r8g8b8, kDisplayW, kDisplayH,
                                                reinterpret_cast<uint32_t*>(s.back->pixels), kDisplayW * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, si, nullptr, di, 0, 0, 0, 0, kAtX, kAtY, kBrushW, kBrushH);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(si);
  pixman_image_unref(di);
  SetRate(state);
}
#endif

// Collects each run's time per iteration for the ratio table.
class TimeReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("kernel", BM_Kernel);
  benchmark::RegisterBenchmark("safeblt_noclip", BM_SafeBlt, 0);
  benchmark::RegisterBenchmark("safeblt_box", BM_SafeBlt, 1);
  benchmark::RegisterBenchmark("safeblt_shaped", BM_SafeBlt, 2);
#if defined(VK_HAVE_PIXMAN)
  benchmark::RegisterBenchmark("pixman_over", BM_Pixman);
#endif
  benchmark::Initialize(&argc, argv);
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.times;
  if (!t.count("kernel")) return 0;
  std::printf("\nTime over the bare alpha kernel (1.00 = no overhead):\n");
  for (const char* k : {"safeblt_noclip", "safeblt_box", "safeblt_shaped", "pixman_over"})
    if (t.count(k)) std::printf("  %-16s %6.3fx\n", k, t[k] / t["kernel"]);
  return 0;
}
