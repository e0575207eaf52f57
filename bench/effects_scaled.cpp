// The effects that comb, scale or pixelate whole pictures on a 1920 x 1080
// display on SDL's offscreen driver with frame pacing off: frames per second
// of whole runs at normal speed (crush, flip-coin, turn-down and PIXELZOOM2
// between two BGPics; strange push and PIXELZOOM1 showing a full-screen
// brush on the display and as a layer in real-time layer mode), and one
// crush frame's pixel work (the new picture scaled into a third of the
// frame, the old one into the rest; straight into the frame, and through a
// buffer) beside pixman scaling the same two pictures with its nearest
// filter.
#include <cstdio>
#include <string>

#include "effects/fxtable.h"
#include "fxscene.h"
#include "pixel/blit.h"

namespace {

using namespace benchfx;

// Whole runs of [type] at normal speed; the BGPic runs need BGPics 2 and 3.
void BM_EffectRun(benchmark::State& state, int32_t type, Where where) {
  TheScene(true);
  EffectRuns(state, type, kNormalSpeed, where);
}

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
  CountFrames(state);
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
  CountFrames(state);
}

#if defined(VK_HAVE_PIXMAN)
// The same frame by pixman: both pictures composited with a scaling
// transform and the nearest filter straight into their parts of the frame.
void BM_PixmanCrushFrame(benchmark::State& state) {
  Pictures p;
  pixman_image_t *fresh = PixmanImage(p.fresh.get()), *old = PixmanImage(p.old.get()), *work = PixmanImage(p.work.get());
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
  CountFrames(state);
}
#endif

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
  RateReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nFrames per second of whole runs at 1920 x 1080 (goal: 60 and above):\n");
  for (const Run& r : runs)
    if (reporter.Has(r.name)) std::printf("  %-24s %8.1f\n", r.name, reporter.rate[r.name]);
  if (reporter.Has("pixman_crush_frame"))
    for (const char* name : {"crush_frame", "crush_frame_buffered"})
      if (reporter.Has(name))
        std::printf("%-22s %.1f fps, pixman %.1f fps: %.2fx pixman's rate\n", name, reporter.rate[name],
                    reporter.rate["pixman_crush_frame"], reporter.rate[name] / reporter.rate["pixman_crush_frame"]);
  return 0;
}
