// Flip of a double-buffered 1920 x 1080 display on SDL's offscreen video
// driver, frames per second: the player's Flip (draw buffer to front
// buffer, front buffer to the window, presented) beside SDL in the same
// program showing the same draw buffer as a streaming texture
// (SDL_UpdateTexture + SDL_RenderCopy + present) and as a surface blitted to
// the window surface (SDL_BlitSurface + SDL_UpdateWindowSurface).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "benchdisplay.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/doublebuffer.h"
#include "graphics/graphicslib.h"
#include "graphics/graphicsstate.h"
#include "pixel/bitmap.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "runtime/eventlib.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

uint32_t Pattern(int x, int y) { return uint32_t(x * 7 ^ y * 13) & 0xFFFFFF; }

// An engine with display 1 open at 1920 x 1080 and double buffering on, its
// draw buffer holding the pattern; L is NULL when that failed.
struct Scene {
  vkState* L = nullptr;
  vkDisplay* display = nullptr;
  Scene() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (vkosInit() != 0) return;
    L = vmNewState();
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenGraphicsLibrary(L), OpenEventLibrary(L), OpenDisplayLibrary(L), OpenBGPicLibrary(L), OpenBrushLibrary(L);
    vmSetTop(L, 0);
    vmNewTable(L);
    SetFieldInt(L, "width", kWidth);
    SetFieldInt(L, "height", kHeight);
    SetFieldInt(L, "borderless", 1);
    display = benchdisplay::OpenDisplayOne(L);
    if (!display) return;
    if (BeginDoubleBuffer(L) != 0) {
      display = nullptr;
      return;
    }
    vkBitMap* draw = display->doubleBufferDraw;
    for (int y = 0; y < kHeight; y++) {
      auto* row = reinterpret_cast<uint32_t*>(draw->pixels + size_t(y) * size_t(draw->bytesPerRow));
      for (int x = 0; x < kWidth; x++) row[x] = Pattern(x, y);
    }
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

// Arg 1: Flip as scripts see it, waiting out the frame time of the
// display's refresh rate; arg 0: the frame wait taken out (a pacing of one
// microsecond), the work of a Flip alone, as the peers do it.
void BM_PlayerFlip(benchmark::State& state) {
  Scene s;
  if (!s.display) {
    state.SkipWithError("no double-buffered display");
    return;
  }
  const int32_t rate = gPlatform.frameRate;
  if (state.range(0) == 0) gPlatform.frameRate = 1000000;
  for (auto _ : state)
    if (FlipDoubleBuffer(s.L) != 0) state.SkipWithError("Flip failed");
  // What the window shows is what was drawn.
  std::vector<uint32_t> shown;
  if (!vkosReadWindow(s.display->os, &shown) || shown.size() != size_t(kWidth) * kHeight ||
      (shown[size_t(500) * kWidth + 700] & 0xFFFFFF) != Pattern(700, 500))
    state.SkipWithError("the window does not show the draw buffer");
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  gPlatform.frameRate = rate;
}
BENCHMARK(BM_PlayerFlip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// SDL with the same plain framebuffer under the window as the player's.
struct SdlWindow {
  SDL_Window* window = nullptr;
  std::vector<uint32_t> pixels;
  SdlWindow() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return;
    window = SDL_CreateWindow("peer", 0, 0, kWidth, kHeight, SDL_WINDOW_BORDERLESS);
    pixels.resize(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; y++)
      for (int x = 0; x < kWidth; x++) pixels[size_t(y) * kWidth + size_t(x)] = Pattern(x, y);
  }
  ~SdlWindow() {
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
  }
};

void BM_SdlTextureFlip(benchmark::State& state) {
  SdlWindow w;
  SDL_Renderer* renderer = w.window ? SDL_CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                                      kWidth, kHeight)
                                  : nullptr;
  if (texture == nullptr) {
    state.SkipWithError(SDL_GetError());
  } else {
    // The fourth byte is not alpha: copied, never blended.
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    for (auto _ : state) {
      SDL_UpdateTexture(texture, nullptr, w.pixels.data(), kWidth * 4);
      SDL_RenderCopy(renderer, texture, nullptr, nullptr);
      SDL_RenderPresent(renderer);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
}
BENCHMARK(BM_SdlTextureFlip)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SdlSurfaceFlip(benchmark::State& state) {
  SdlWindow w;
  SDL_Surface* target = w.window ? SDL_GetWindowSurface(w.window) : nullptr;
  SDL_Surface* source = target ? SDL_CreateRGBSurfaceWithFormatFrom(w.pixels.data(), kWidth, kHeight, 32, kWidth * 4,
                                                                     SDL_PIXELFORMAT_ARGB8888)
                               : nullptr;
  if (source == nullptr) {
    state.SkipWithError(SDL_GetError());
  } else {
    SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
    for (auto _ : state) {
      SDL_BlitSurface(source, nullptr, target, nullptr);
      SDL_UpdateWindowSurface(w.window);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
  if (source) SDL_FreeSurface(source);
}
BENCHMARK(BM_SdlSurfaceFlip)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
