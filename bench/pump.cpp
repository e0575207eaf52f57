// The cost of the event pump as the script engine's line hook sees it: one
// call per new source line, nearly always on the quick path (a full run once
// every 10 ms). The coarse clock read is measured beside it for reference.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "platform/linux/platform_state.h"
#include "platform/vkos_events.h"

namespace {

void BM_PumpAsLineHook(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (vkosInit() != 0) {
    state.SkipWithError("the platform did not start");
    return;
  }
  for (int i = 0; i < 100; i++) {  // empty the queue
    gPlatform.lastPump = 0;
    vkosPumpEvents(nullptr);
  }
  for (auto _ : state) benchmark::DoNotOptimize(vkosPumpEvents(nullptr));
  vkosExit();
}
BENCHMARK(BM_PumpAsLineHook);

void BM_CoarseClock(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(MonotonicMicros());
}
BENCHMARK(BM_CoarseClock);

}  // namespace
