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
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
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
#include "layers/layers.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/transitionkernels.h"
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

// An engine with the display, brush and effect libraries, display 1 open
// and brush 1 as large as the display.
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

// [realtime]: the brush is a layer of the display shown by ShowLayerFX in
// real-time layer mode (the effect draws into the layer's buffers and the
// compositor shows them); else the brush is shown on the display.
void BM_EffectRun(benchmark::State& state, int32_t type, bool realtime) {
  Scene& scene = TheScene();
  if (!scene.display) {
    state.SkipWithError("no display");
    return;
  }
  int64_t frames = 0;
  if (realtime && !scene.display->layersOn) {
    CallScriptFunction(scene.L, "EnableLayers", 0, {});
    CallScriptFunction(scene.L, "DisplayBrush", 0, {vkScriptArg::ofInt(1), vkScriptArg::ofInt(0), vkScriptArg::ofInt(0)});
  }
  for (auto _ : state) {
    vkFXRequest rq;
    rq.L = scene.L, rq.operation = vkObjectType::BRUSH, rq.id = {1, nullptr};
    if (realtime) rq.operation = vkObjectType::LAYER, rq.forceRealtimeLayers = 1;
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

// The display-mode crossfade frame as the effect makes it.
void BM_CrossfadeFrame(benchmark::State& state) {
  Pictures p;
  int32_t level = 0;
  for (auto _ : state) {
    level = (level + 10) % 255;
    CrossfadeBitMaps(p.work.get(), p.fresh.get(), p.old.get(), kWidth, kHeight, level);
    benchmark::DoNotOptimize(p.work->pixels);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

#if defined(VK_HAVE_PIXMAN)
void BM_PixmanCrossfadeFrame(benchmark::State& state) {
  Pictures p;
  auto image = [](vkBitMap* b) {
    return pixman_image_create_bits(PIXMAN_x8r8g8b8, b->width, b->height, reinterpret_cast<uint32_t*>(b->pixels),
                                    b->bytesPerRow);
  };
  pixman_image_t *fresh = image(p.fresh.get()), *old = image(p.old.get()), *work = image(p.work.get());
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
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
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
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
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
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

#if defined(VK_HAVE_PIXMAN)
// pixman composes through a one-bit mask of its own layout (32-bit words),
// filled from the same thresholds at the same level.
void BM_PixmanDissolveFrame(benchmark::State& state) {
  DissolvePictures p;
  auto image = [](vkBitMap* b) {
    return pixman_image_create_bits(PIXMAN_x8r8g8b8, b->width, b->height, reinterpret_cast<uint32_t*>(b->pixels),
                                    b->bytesPerRow);
  };
  pixman_image_t *fresh = image(p.fresh.get()), *old = image(p.old.get()), *work = image(p.work.get());
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
  FpsReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFrames per second of whole runs at 1920 x 1080 (goal: 60 and above):\n");
  for (const char* mode : {"display/", "layer/"})
    for (const auto& [name, type] : effects) {
      const std::string key = std::string(mode) + name;
      if (reporter.fps.count(key)) std::printf("  %-20s %8.1f\n", key.c_str(), reporter.fps[key]);
    }
  if (reporter.fps.count("crossfade_frame") && reporter.fps.count("pixman_crossfade_frame"))
    std::printf("Crossfade frame: %.1f fps, pixman %.1f fps: %.2fx pixman's rate (goal: 2x)\n",
                reporter.fps["crossfade_frame"], reporter.fps["pixman_crossfade_frame"],
                reporter.fps["crossfade_frame"] / reporter.fps["pixman_crossfade_frame"]);
  for (const char* kernel : {"water_kernel_frame", "swirl_kernel_frame"})
    if (reporter.fps.count(kernel)) std::printf("%s: %.1f fps alone\n", kernel, reporter.fps[kernel]);
  if (reporter.fps.count("dissolve_frame") && reporter.fps.count("pixman_dissolve_frame"))
    std::printf("Dissolve frame: %.1f fps, pixman %.1f fps: %.2fx pixman's rate (goal: ahead of it)\n",
                reporter.fps["dissolve_frame"], reporter.fps["pixman_dissolve_frame"],
                reporter.fps["dissolve_frame"] / reporter.fps["pixman_dissolve_frame"]);
  return 0;
}
