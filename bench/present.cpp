// Presenting a 1920 x 1080 back buffer to a window on SDL's offscreen video
// driver, 1:1 and stretched 2x, frames per second: the player's window blit
// and present beside SDL's software renderer presenting the same buffer
// through a streaming texture in the same program (the peer).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "platform/linux/platform_state.h"
#include "platform/vkos.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;

std::vector<uint32_t> BackBuffer() {
  std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; y++)
    for (int x = 0; x < kWidth; x++) pixels[size_t(y) * kWidth + size_t(x)] = uint32_t(x * 7 ^ y * 13) & 0xFFFFFF;
  return pixels;
}

void BM_PlayerPresent(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  if (vkosInit() != 0) {
    state.SkipWithError("the platform did not start");
    return;
  }
  vkOSDisplay* os = nullptr;
  vkosAllocDisplay(nullptr, &os);
  os->width = kWidth * scale;
  os->height = kHeight * scale;
  os->flags = VKOS_WINDOW_BORDERLESS;
  os->windowState = 1;
  if (vkosOpenWindow(os, 0, nullptr, nullptr) != 0) {
    state.SkipWithError("no window");
  } else {
    const std::vector<uint32_t> pixels = BackBuffer();
    const vkOSPixels view{pixels.data(), kWidth, kHeight, kWidth};
    const int32_t scaled = scale > 1 ? kWidth * scale : 0, scaledHeight = scale > 1 ? kHeight * scale : 0;
    for (auto _ : state) {
      vkosBlitToWindow(view, 0, 0, os, 0, 0, kWidth, kHeight, scaled, scaledHeight, 0);
      vkosPresentPending(true);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
  vkosFreeDisplay(os);
  vkosExit();
}
BENCHMARK(BM_PlayerPresent)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SdlRendererPresent(benchmark::State& state) {
  const int scale = static_cast<int>(state.range(0));
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  // The same plain framebuffer under the window as the player's.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    state.SkipWithError("SDL did not start");
    return;
  }
  SDL_Window* window = SDL_CreateWindow("peer", 0, 0, kWidth * scale, kHeight * scale, 0);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                                      kWidth, kHeight)
                                  : nullptr;
  // The back buffer's fourth byte is not alpha: copied, never blended.
  if (texture != nullptr) SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
  if (texture == nullptr) {
    state.SkipWithError(SDL_GetError());
  } else {
    const std::vector<uint32_t> pixels = BackBuffer();
    const SDL_Rect target{0, 0, kWidth * scale, kHeight * scale};
    for (auto _ : state) {
      SDL_UpdateTexture(texture, nullptr, pixels.data(), kWidth * 4);
      SDL_RenderCopy(renderer, texture, nullptr, &target);
      SDL_RenderPresent(renderer);
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  SDL_Quit();
}
BENCHMARK(BM_SdlRendererPresent)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
