// A 1920 x 1080 display with a gradient background on SDL's offscreen video
// driver, 1,000 frames of a full-window redraw (the picture composed into
// the screen buffer and presented), frames per second; beside it the pixel
// copy alone, so that the share of a frame spent outside the pixel kernels
// shows. The peer is bench/displays_pygame.py, the same scene in pygame.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "benchdisplay.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/displays.h"
#include "graphics/graphicslib.h"
#include "graphics/graphicsstate.h"
#include "pixel/blit.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "runtime/eventlib.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 1000;

// An engine with the display libraries and display 1 open, or NULL.
struct Scene {
  vkState* L = nullptr;
  vkDisplay* display = nullptr;
  Scene() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (vkosInit() != 0) return;
    L = vmNewState();
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenGraphicsLibrary(L), OpenEventLibrary(L), OpenDisplayLibrary(L), OpenBGPicLibrary(L);
    vmSetTop(L, 0);
    vmNewTable(L);
    SetFieldInt(L, "width", kWidth);
    SetFieldInt(L, "height", kHeight);
    SetFieldInt(L, "fillstyle", 2);
    SetFieldInt(L, "gradientstartcolor", 0x102060);
    SetFieldInt(L, "gradientendcolor", 0x20A0A0);
    SetFieldInt(L, "gradientangle", 45);
    SetFieldInt(L, "borderless", 1);
    display = benchdisplay::OpenDisplayOne(L);
  }
  ~Scene() {
    if (L) {
      CloseAllDisplays(L);
      FreeAllBGPics(L);
      vmCloseState(L);
      vkosExit();
    }
  }
};

void BM_DisplayFullRedraw(benchmark::State& state) {
  Scene s;
  if (!s.display) {
    state.SkipWithError("no display");
    return;
  }
  vkGraphicsState& gs = GraphicsState(s.L);
  for (auto _ : state) {
    RedrawDisplay(gs, s.display, 0);
    vkosPresentPending(true);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DisplayFullRedraw)->Iterations(kFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The pixel copies of one frame alone: background to screen buffer, screen
// buffer to a window-sized bitmap.
void BM_FrameKernelsOnly(benchmark::State& state) {
  vkBitMapPtr back(AllocArgbBitMap(kWidth, kHeight)), screen(AllocArgbBitMap(kWidth, kHeight)),
      window(AllocArgbBitMap(kWidth, kHeight));
  for (auto _ : state) {
    BltBitMap(back.get(), 0, 0, screen.get(), 0, 0, kWidth, kHeight);
    BltBitMap(screen.get(), 0, 0, window.get(), 0, 0, kWidth, kHeight);
    benchmark::ClobberMemory();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameKernelsOnly)->Iterations(kFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
