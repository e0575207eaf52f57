// Mouse pointers as SDL cursors. The built-in pointer is drawn here: a ring
// with a dot in its centre, white with a dark outline, 46 x 46 pixels with
// its hot spot at (23, 23).
#include "platform/linux/cursors.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/linux/platform_state.h"

namespace {

constexpr int kBuiltinSize = 46;
constexpr int kBuiltinHotSpot = 23;

// The built-in pointer's pixels: white where the distance from the centre is
// near the ring's radius or the dot's, a dark edge around both.
std::vector<uint32_t> BuiltinImage() {
  constexpr double kRing = 12.0, kDot = 1.5;
  std::vector<uint32_t> pixels(kBuiltinSize * kBuiltinSize, 0);
  for (int y = 0; y < kBuiltinSize; y++) {
    for (int x = 0; x < kBuiltinSize; x++) {
      const double d = std::hypot(x - kBuiltinHotSpot, y - kBuiltinHotSpot);
      const double edge = std::min(std::fabs(d - kRing), d - kDot);
      uint32_t& p = pixels[static_cast<size_t>(y * kBuiltinSize + x)];
      if (edge <= 1.0) p = 0xFFFFFFFFu;
      else if (edge <= 2.0) p = 0xFF202020u;
    }
  }
  return pixels;
}

}  // namespace

SDL_Cursor* vkosCursorFromImage(const uint32_t* argb, int width, int height, int hotX, int hotY) {
  if (!gPlatform.video) return nullptr;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), width, height, 32,
                                                            width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (surface == nullptr) return nullptr;
  SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
  SDL_FreeSurface(surface);
  return cursor;
}

SDL_Cursor* vkosArrowCursor() {
  if (!gPlatform.video) return nullptr;
  if (gPlatform.cursors.arrow == nullptr) gPlatform.cursors.arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  return gPlatform.cursors.arrow;
}

void vkosSetCursor(SDL_Cursor* cursor) {
  if (cursor != nullptr) SDL_SetCursor(cursor);
}

void vkosReleaseCursor(SDL_Cursor* cursor) {
  if (cursor != nullptr) SDL_FreeCursor(cursor);
}

SDL_Cursor* BuiltinPointer() {
  if (gPlatform.cursors.builtin == nullptr) {
    const std::vector<uint32_t> image = BuiltinImage();
    gPlatform.cursors.builtin = vkosCursorFromImage(image.data(), kBuiltinSize, kBuiltinSize, kBuiltinHotSpot, kBuiltinHotSpot);
  }
  return gPlatform.cursors.builtin;
}

SDL_Cursor* EmptyPointer() {
  if (gPlatform.cursors.empty == nullptr) {
    const uint32_t transparent = 0;
    gPlatform.cursors.empty = vkosCursorFromImage(&transparent, 1, 1, 0, 0);
  }
  return gPlatform.cursors.empty;
}

void ReleasePointers() {
  for (SDL_Cursor** cursor : {&gPlatform.cursors.builtin, &gPlatform.cursors.empty, &gPlatform.cursors.arrow}) {
    vkosReleaseCursor(*cursor);
    *cursor = nullptr;
  }
}
