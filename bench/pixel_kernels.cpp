// Speed of the pixel engine's kernels on 640x480 and 1920x1080 ARGB pictures,
// in megapixels per second: plain, masked and alpha blits, fill, scaling and
// a 30 degree transform, with memcpy of the same bytes as the ceiling and
// SDL's blended blit (and pixman's OVER composite when built with it) as
// peers. After the runs a table prints each kernel's ratio to its yardstick.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "base/numconv.h"
#include "pixel/alphakernels.h"
#include "pixel/copykernels.h"
#include "pixel/pixfmt.h"
#include "pixel/resample.h"

#if defined(VK_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace {

// One picture size with its sources, planes and a destination.
struct Scene {
  int32_t w, h;
  std::vector<uint32_t> src, dst;
  std::vector<uint8_t> mask50, maskAll;  // w / 8 + 1 bytes per row
  std::map<std::string, std::vector<uint8_t>> alpha;  // w bytes per row

  Scene(int32_t width, int32_t height) : w(width), h(height) {
    const size_t n = size_t(w) * size_t(h);
    std::mt19937 rng(7);
    src.resize(n);
    dst.resize(n);
    for (auto& p : src) p = rng();
    for (auto& p : dst) p = rng();
    const size_t maskBytes = size_t(w / 8 + 1) * size_t(h);
    mask50.resize(maskBytes);
    for (auto& b : mask50) b = uint8_t(rng());
    maskAll.assign(maskBytes, 0xFF);
    auto& random = alpha["random"];
    random.resize(n);
    for (auto& a : random) a = uint8_t(rng());
    alpha["zero"].assign(n, 0);
    alpha["full"].assign(n, 255);
    // Sprite-like: round sprites of 64 pixels on a grid, opaque inside, a soft
    // edge of a few pixels, transparent between them.
    auto& sprite = alpha["sprite"];
    sprite.resize(n);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        double dx = (x % 80) - 40 + 0.5, dy = (y % 80) - 40 + 0.5;
        double r = std::sqrt(dx * dx + dy * dy);
        double a = r < 28 ? 255 : r > 32 ? 0 : (32 - r) * 255 / 4;
        sprite[size_t(y) * size_t(w) + size_t(x)] = uint8_t(vkDoubleToInt32(a));
      }
  }
  size_t pixels() const { return size_t(w) * size_t(h); }
};

Scene& GetScene(int32_t w, int32_t h) {
  static std::map<std::pair<int32_t, int32_t>, Scene*> scenes;
  auto& s = scenes[{w, h}];
  if (!s) s = new Scene(w, h);
  return *s;
}

void SetRate(benchmark::State& state, size_t pixelsPerIteration) {
  state.counters["Mpix/s"] = benchmark::Counter(double(pixelsPerIteration) * double(state.iterations()) / 1e6,
                                                benchmark::Counter::kIsRate);
}

void BM_Memcpy(benchmark::State& state, int32_t w, int32_t h) {
  Scene& s = GetScene(w, h);
  for (auto _ : state) {
    std::memcpy(s.dst.data(), s.src.data(), s.pixels() * 4);
    benchmark::ClobberMemory();
  }
  SetRate(state, s.pixels());
}

void BM_Copy(benchmark::State& state, int32_t w, int32_t h) {
  Scene& s = GetScene(w, h);
  vkCopyBlock b{s.src.data(), s.dst.data(), 0, 0, 0, 0, w, h, w, w, 0, 10, 10};
  for (auto _ : state) {
    BltBitMapRows32(&b);
    benchmark::ClobberMemory();
  }
  SetRate(state, s.pixels());
}

void BM_Mask(benchmark::State& state, int32_t w, int32_t h, bool all) {
  Scene& s = GetScene(w, h);
  vkMaskBlitBlock b{s.src.data(), s.dst.data(), all ? s.maskAll.data() : s.mask50.data(), 0, 0, 0, 0, w, h, w,
                    w / 8 + 1, w};
  for (auto _ : state) {
    BltMaskRows32(&b);
    benchmark::ClobberMemory();
  }
  SetRate(state, s.pixels());
}

void BM_Fill(benchmark::State& state, int32_t w, int32_t h) {
  Scene& s = GetScene(w, h);
  for (auto _ : state) {
    FillPixelRect32(s.dst.data(), w, 0, 0, w, h, 0x00123456);
    benchmark::ClobberMemory();
  }
  SetRate(state, s.pixels());
}

void BM_Alpha(benchmark::State& state, int32_t w, int32_t h, const std::string& pattern) {
  Scene& s = GetScene(w, h);
  std::vector<uint32_t> dst = s.dst;
  vkAlphaBitMapBlock b{s.src.data(), 0, 0, 0, 0, w, dst.data(), 0, 0, w, w, h, s.alpha[pattern].data(), w,
                       PIXFMT_ARGB32};
  for (auto _ : state) {
    BltAlphaBitMapRows32(&b);
    benchmark::ClobberMemory();
  }
  SetRate(state, s.pixels());
}

// SDL's per-pixel alpha blit: the alpha plane goes into the source's alpha byte.
void BM_SdlAlpha(benchmark::State& state, int32_t w, int32_t h, const std::string& pattern) {
  Scene& s = GetScene(w, h);
  std::vector<uint32_t> src = s.src, dst = s.dst;
  const auto& a = s.alpha[pattern];
  for (size_t i = 0; i < src.size(); ++i) src[i] = (src[i] & 0x00FFFFFF) | uint32_t(a[i]) << 24;
  SDL_Surface* ss = SDL_CreateRGBSurfaceWithFormatFrom(src.data(), w, h, 32, w * 4, SDL_PIXELFORMAT_ARGB8888);
  SDL_Surface* ds = SDL_CreateRGBSurfaceWithFormatFrom(dst.data(), w, h, 32, w * 4, SDL_PIXELFORMAT_ARGB8888);
  SDL_SetSurfaceBlendMode(ss, SDL_BLENDMODE_BLEND);
  for (auto _ : state) {
    SDL_BlitSurface(ss, nullptr, ds, nullptr);
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(ss);
  SDL_FreeSurface(ds);
  SetRate(state, s.pixels());
}

#if defined(VK_HAVE_PIXMAN)
void BM_PixmanAlpha(benchmark::State& state, int32_t w, int32_t h, const std::string& pattern) {
  Scene& s = GetScene(w, h);
  std::vector<uint32_t> src = s.src, dst = s.dst;
  const auto& a = s.alpha[pattern];
  for (size_t i = 0; i < src.size(); ++i) src[i] = (src[i] & 0x00FFFFFF) | uint32_t(a[i]) << 24;
  pixman_image_t* si = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, src.data(), w * 4);
  pixman_image_t* di = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, dst.data(), w * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, si, nullptr, di, 0, 0, 0, 0, 0, 0, w, h);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(si);
  pixman_image_unref(di);
  SetRate(state, s.pixels());
}
#endif

// Scaling by [factor] (2 up, 0.5 down); the rate counts destination pixels.
void BM_Scale(benchmark::State& state, int32_t w, int32_t h, double factor, bool smooth) {
  Scene& s = GetScene(w, h);
  const int32_t dw = vkDoubleToInt32(w * factor), dh = vkDoubleToInt32(h * factor);
  std::vector<uint32_t> dst(size_t(dw) * size_t(dh));
  std::vector<vkScaleStep> xt(size_t(dw) + 1), yt(size_t(dh) + 1);
  vkScaleBlock b{s.src.data(), dst.data(), nullptr, nullptr, nullptr, nullptr, 0, w, h, dw, dh, w, dw, 0, 0,
                 0, 0, smooth, PIXFMT_ARGB32, 4, xt.data(), yt.data(), 0, 0, 0, 0};
  for (auto _ : state) {
    ScaleBitMapRows(&b);
    benchmark::ClobberMemory();
  }
  SetRate(state, size_t(dw) * size_t(dh));
}

// A 30 degree turn with a coverage mask; the rate counts source pixels.
void BM_Rotate(benchmark::State& state, int32_t w, int32_t h, bool smooth) {
  Scene& s = GetScene(w, h);
  const double t = 30 * 3.141592653589793 / 180, c = std::cos(t), sn = std::sin(t);
  // Corners of the turned picture give its size and the shift to (0, 0).
  const double xs[4] = {0, double(w), 0, double(w)}, ys[4] = {0, 0, double(h), double(h)};
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (int i = 0; i < 4; ++i) {
    double X = c * xs[i] - sn * ys[i], Y = sn * xs[i] + c * ys[i];
    minX = std::min(minX, X), maxX = std::max(maxX, X), minY = std::min(minY, Y), maxY = std::max(maxY, Y);
  }
  const int32_t dw = vkDoubleToInt32(std::ceil(maxX - minX - 0.5));
  const int32_t dh = vkDoubleToInt32(std::ceil(maxY - minY - 0.5));
  std::vector<uint32_t> dst(size_t(dw) * size_t(dh));
  std::vector<uint8_t> mask(size_t(dw / 8 + 1) * size_t(dh));
  vkTransformBlock b{s.src.data(), dst.data(), nullptr, mask.data(), nullptr, nullptr, 0, w, h, w, dw, dh, dw,
                     0, dw / 8 + 1, 0, 0, {c, sn, -sn, c, -minX, -minY}, smooth, PIXFMT_ARGB32, 4};
  for (auto _ : state) {
    TransformBitMapRows(&b);
    benchmark::ClobberMemory();
  }
  SetRate(state, s.pixels());
}

// Keeps every run's rate so that the ratios can be printed at the end; with
// repetitions the median counts.
class RateReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> rates;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto it = r.counters.find("Mpix/s");
      if (it == r.counters.end()) continue;
      if (r.run_type == Run::RT_Iteration && !medians_.count(r.run_name.str()))
        rates[r.run_name.str()] = it->second;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        rates[r.run_name.str()] = it->second;
        medians_.insert(r.run_name.str());
      }
    }
  }

 private:
  std::set<std::string> medians_;
};

const char* kPatterns[] = {"random", "zero", "full", "sprite"};

std::string SizeName(int32_t w, int32_t h) { return std::to_string(w) + "x" + std::to_string(h); }

}  // namespace

int main(int argc, char** argv) {
  const std::pair<int32_t, int32_t> sizes[] = {{640, 480}, {1920, 1080}};
  for (auto [w, h] : sizes) {
    const std::string z = "/" + SizeName(w, h);
    benchmark::RegisterBenchmark(("memcpy" + z).c_str(), BM_Memcpy, w, h);
    benchmark::RegisterBenchmark(("copy" + z).c_str(), BM_Copy, w, h);
    benchmark::RegisterBenchmark(("mask_all" + z).c_str(), BM_Mask, w, h, true);
    benchmark::RegisterBenchmark(("mask_50" + z).c_str(), BM_Mask, w, h, false);
    benchmark::RegisterBenchmark(("fill" + z).c_str(), BM_Fill, w, h);
    for (const char* p : kPatterns) {
      benchmark::RegisterBenchmark(("alpha_" + std::string(p) + z).c_str(), BM_Alpha, w, h, std::string(p));
      benchmark::RegisterBenchmark(("sdl_alpha_" + std::string(p) + z).c_str(), BM_SdlAlpha, w, h, std::string(p));
#if defined(VK_HAVE_PIXMAN)
      benchmark::RegisterBenchmark(("pixman_over_" + std::string(p) + z).c_str(), BM_PixmanAlpha, w, h,
                                   std::string(p));
#endif
    }
    for (bool smooth : {false, true}) {
      const std::string kind = smooth ? "smooth" : "nearest";
      benchmark::RegisterBenchmark(("scale_up_" + kind + z).c_str(), BM_Scale, w, h, 2.0, smooth);
      benchmark::RegisterBenchmark(("scale_down_" + kind + z).c_str(), BM_Scale, w, h, 0.5, smooth);
      benchmark::RegisterBenchmark(("rotate30_" + kind + z).c_str(), BM_Rotate, w, h, smooth);
    }
  }
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  auto& r = reporter.rates;
  auto ratio = [&](const std::string& a, const std::string& b) -> double {
    if (!r.count(a) || !r.count(b) || r[a] <= 0) return NAN;
    return r[b] / r[a];
  };
  std::printf("\nRatios (time of the first over time of the second; below 1 is faster):\n");
  for (auto [w, h] : sizes) {
    const std::string z = "/" + SizeName(w, h);
    std::printf("%s\n", SizeName(w, h).c_str());
    for (const char* k : {"copy", "mask_all", "mask_50", "fill"})
      std::printf("  %-22s vs memcpy      %6.2fx\n", k, ratio(k + z, "memcpy" + z));
    for (const char* p : kPatterns) {
      std::string a = "alpha_" + std::string(p) + z;
      std::printf("  alpha %-16s vs SDL blend   %6.2fx", p, ratio(a, "sdl_alpha_" + std::string(p) + z));
#if defined(VK_HAVE_PIXMAN)
      std::printf("   vs pixman OVER %6.2fx", ratio(a, "pixman_over_" + std::string(p) + z));
#endif
      std::printf("\n");
    }
  }
  return 0;
}
