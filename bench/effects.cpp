// Transition effects on a 1920 x 1080 display on SDL's offscreen driver with
// frame pacing off: frames per second of whole runs of stripes, blinds,
// fade, blend and crossfade showing a full-screen brush at normal speed, on
// the display and as a layer in real-time layer mode,
// and one crossfade frame's pixel work (the old picture mixed into the new
// one in a single pass) beside pixman making the same frame (the old picture
// copied, the new one composited OVER it through a solid mask of the level);
// likewise one dissolve frame (the mask rewritten from the thresholds, the
// old picture copied and the new one drawn through the mask) beside pixman
// copying the old picture and compositing the new one OVER it through a
// one-bit mask of the same density; and the water and swirl kernels alone.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "effects/fxtable.h"
#include "fxscene.h"
#include "pixel/blit.h"
#include "pixel/transitionkernels.h"

namespace {

using namespace benchfx;

// [realtime]: the brush is a layer of the display shown in real-time layer
// mode; else the brush is shown on the display.
void BM_EffectRun(benchmark::State& state, int32_t type, bool realtime) {
  EffectRuns(state, type, kNormalSpeed, realtime ? Where::Layer : Where::Display);
}

// The display-mode crossfade frame as the effect makes it.
void BM_CrossfadeFrame(benchmark::State& state) {
  Pictures p;
  int32_t level = 0;
  for (auto _ : state) {
    level = (level + 10) % 255;
    CrossfadeBitMaps(p.work.get(), p.fresh.get(), p.old.get(), kWidth, kHeight, level);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  CountFrames(state);
}

#if defined(VK_HAVE_PIXMAN)
void BM_PixmanCrossfadeFrame(benchmark::State& state) {
  Pictures p;
  pixman_image_t *fresh = PixmanImage(p.fresh.get()), *old = PixmanImage(p.old.get()), *work = PixmanImage(p.work.get());
  int32_t level = 0;
  for (auto _ : state) {
    level = (level + 10) % 255;
    const pixman_color_t c{0, 0, 0, uint16_t(level * 257)};
    pixman_image_t* mask = pixman_image_create_solid_fill(&c);
    pixman_image_composite32(PIXMAN_OP_SRC, old, nullptr, work, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    pixman_image_composite32(PIXMAN_OP_OVER, fresh, mask, work, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    pixman_image_unref(mask);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  pixman_image_unref(fresh), pixman_image_unref(old), pixman_image_unref(work);
  CountFrames(state);
}
#endif

// The pixels of a dissolve frame: thresholds drawn once, then per frame
// the mask rewritten at the next level and the new picture drawn through
// it over a copy of the old one.
struct DissolvePictures : Pictures {
  std::vector<uint8_t> thresholds = std::vector<uint8_t>(size_t(kWidth) * kHeight);
  vkPlanePtr mask{AllocMaskPlane(kWidth, kHeight, true)};
  DissolvePictures() {
    srand(1);
    for (uint8_t& v : thresholds) v = uint8_t(rand() % 255);
  }
  void Level(int32_t level) {
    vkDissolveContext c{};
    c.dst = mask->data, c.dstBytesPerRow = mask->bytesPerRow;
    c.width = kWidth, c.height = kHeight;
    c.thresholds = thresholds.data();
    DissolveStep(&c, level);
  }
};

void BM_DissolveFrame(benchmark::State& state) {
  DissolvePictures p;
  int32_t level = 0;
  for (auto _ : state) {
    level = (level + 4) % 256;
    p.Level(level);
    BltBitMap(p.old.get(), 0, 0, p.work.get(), 0, 0, kWidth, kHeight);
    BltMask(p.fresh.get(), 0, 0, p.work.get(), 0, 0, kWidth, kHeight, p.mask.get());
    benchmark::DoNotOptimize(p.work->pixels);
  }
  CountFrames(state);
}

// The kernels of one water and one strudel frame alone (mid-run, new over
// old into the work bitmap), to split a whole run's time.
void BM_KernelFrame(benchmark::State& state, bool swirl) {
  Pictures p;
  std::vector<double> sine(kTransitionTableSize), cosine(kTransitionTableSize);
  std::vector<uint32_t> distances(size_t(kWidth) * kHeight);
  vkWaterContext w{};
  vkStrudelContext s{};
  for (auto* c : {&w.srcA, &s.srcA}) *c = p.fresh->pixels;
  for (auto* c : {&w.srcB, &s.srcB}) *c = p.old->pixels;
  w.dstPixels = s.dstPixels = p.work->pixels;
  w.srcAPixelsPerRow = w.srcBPixelsPerRow = w.dstPixelsPerRow = kWidth;
  s.srcAPixelsPerRow = s.srcBPixelsPerRow = s.dstPixelsPerRow = kWidth;
  w.width = s.width = kWidth, w.height = s.height = kHeight;
  w.format = s.format = p.fresh->format;
  w.sine = s.sine = sine.data(), s.cosine = cosine.data(), w.distances = distances.data();
  w.wavelength = 32.0, w.amplitudeFactor = 0.05, w.halfDuration = 25;
  w.centreX = kWidth / 2, w.centreY = kHeight / 2, w.maxDistance = kWidth / 2;
  InitWaterTables(&w);
  InitStrudelTables(&s);
  for (auto _ : state) {
    if (swirl)
      RenderStrudelSwirl32(&s, 300);
    else
      RenderWaterRipple32(&w, 20);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  CountFrames(state);
}

#if defined(VK_HAVE_PIXMAN)
// pixman composes through a one-bit mask of its own layout (32-bit words),
// filled from the same thresholds at the same level.
void BM_PixmanDissolveFrame(benchmark::State& state) {
  DissolvePictures p;
  pixman_image_t *fresh = PixmanImage(p.fresh.get()), *old = PixmanImage(p.old.get()), *work = PixmanImage(p.work.get());
  const int32_t words = (kWidth + 31) / 32;
  std::vector<uint32_t> bits(size_t(words) * kHeight);
  pixman_image_t* mask = pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, bits.data(), words * 4);
  int32_t level = 0;
  for (auto _ : state) {
    level = (level + 4) % 256;
    for (int32_t y = 0; y < kHeight; y++) {
      const uint8_t* t = p.thresholds.data() + size_t(y) * kWidth;
      uint32_t* row = bits.data() + size_t(y) * size_t(words);
      for (int32_t w = 0; w < words; w++) {
        uint32_t v = 0;
        for (int32_t b = 0; b < 32 && w * 32 + b < kWidth; b++) v |= uint32_t(t[w * 32 + b] < level) << b;
        row[w] = v;
      }
    }
    pixman_image_composite32(PIXMAN_OP_SRC, old, nullptr, work, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    pixman_image_composite32(PIXMAN_OP_OVER, fresh, mask, work, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  pixman_image_unref(mask);
  pixman_image_unref(fresh), pixman_image_unref(old), pixman_image_unref(work);
  CountFrames(state);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::pair<const char*, int32_t> effects[] = {{"HSTRIPES2", 1},  {"VSTRIPES64", 13}, {"VBLINDS8", 19},
                                                     {"HBLINDS128", 18}, {"FADE", 116},      {"BLEND", 117},
                                                     {"CROSSFADE", 115},
                                                     {"DISSOLVE", 139},  {"CLOCKWIPE", 97},  {"STAR", 98},
                                                     {"SUN", 114},       {"WATER1", 134},    {"STRUDEL", 138},
                                                     {"ROLLTOP", 84},    {"WALLPAPERLEFT", 87}};
  for (const char* mode : {"display/", "layer/"})
    for (const auto& [name, type] : effects)
      benchmark::RegisterBenchmark((std::string(mode) + name).c_str(), BM_EffectRun, type, mode[0] == 'l')
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(1.0);
  benchmark::RegisterBenchmark("crossfade_frame", BM_CrossfadeFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(VK_HAVE_PIXMAN)
  benchmark::RegisterBenchmark("pixman_crossfade_frame", BM_PixmanCrossfadeFrame)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
#endif
  benchmark::RegisterBenchmark("dissolve_frame", BM_DissolveFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("water_kernel_frame", BM_KernelFrame, false)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("swirl_kernel_frame", BM_KernelFrame, true)->Unit(benchmark::kMillisecond)->UseRealTime();
#if defined(VK_HAVE_PIXMAN)
  benchmark::RegisterBenchmark("pixman_dissolve_frame", BM_PixmanDissolveFrame)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
#endif
  benchmark::Initialize(&argc, argv);
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFrames per second of whole runs at 1920 x 1080 (goal: 60 and above):\n");
  for (const char* mode : {"display/", "layer/"})
    for (const auto& [name, type] : effects) {
      const std::string key = std::string(mode) + name;
      if (reporter.Has(key)) std::printf("  %-20s %8.1f\n", key.c_str(), reporter.rate[key]);
    }
  if (reporter.Has("crossfade_frame") && reporter.Has("pixman_crossfade_frame"))
    std::printf("Crossfade frame: %.1f fps, pixman %.1f fps: %.2fx pixman's rate (goal: 2x)\n",
                reporter.rate["crossfade_frame"], reporter.rate["pixman_crossfade_frame"],
                reporter.rate["crossfade_frame"] / reporter.rate["pixman_crossfade_frame"]);
  for (const char* kernel : {"water_kernel_frame", "swirl_kernel_frame"})
    if (reporter.Has(kernel)) std::printf("%s: %.1f fps alone\n", kernel, reporter.rate[kernel]);
  if (reporter.Has("dissolve_frame") && reporter.Has("pixman_dissolve_frame"))
    std::printf("Dissolve frame: %.1f fps, pixman %.1f fps: %.2fx pixman's rate (goal: ahead of it)\n",
                reporter.rate["dissolve_frame"], reporter.rate["pixman_dissolve_frame"],
                reporter.rate["dissolve_frame"] / reporter.rate["pixman_dissolve_frame"]);
  return 0;
}
