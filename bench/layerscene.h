// What the layer benchmarks share: a 1920 x 1080 display in memory with
// layers on over a noise picture, the compositor copying what it shows into a
// window-sized bitmap as a real display would, brushes of noise with an alpha
// plane, and for the pixman peer the same background, the composed picture,
// the window and premultiplied brush pixels. Header-only: every bench/*.cpp
// is its own executable.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "layers/layers.h"
#include "pixel/blit.h"

#if defined(VK_HAVE_PIXMAN)
#include <pixman.h>
#endif

namespace benchlayers {

inline constexpr int32_t kW = 1920, kH = 1080;

inline vkBitMap* gWindow = nullptr;  // what the window would show

// The compositor as the display calls it, with the copy to the window a
// real display makes after it.
inline void RedrawAndShow(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x,
                          int32_t y, int32_t width, int32_t height, int32_t flags) {
  Redraw(gs, display, bgpic, dst, x, y, width, height, flags);
  if (dst == display->screenBuffer && gWindow) BltBitMap(dst, x, y, gWindow, x, y, width, height);
}

// An engine with the layer library and a current display in memory with
// layers on, its picture noise from rng (seeded with [seed], for the scene
// to draw on); the window shows this display.
struct LayerDisplay {
  std::mt19937 rng;
  vkState* L = vmNewState();
  vkBitMapPtr back{AllocArgbBitMap(kW, kH)}, screen{AllocArgbBitMap(kW, kH)}, window{AllocArgbBitMap(kW, kH)};
  vkDisplay display;
  vkBGPic pic;

  vkGraphicsState& gs() { return GraphicsState(L); }

  explicit LayerDisplay(uint32_t seed) : rng(seed) {
    for (int32_t i = 0; i < kW * kH; ++i) reinterpret_cast<uint32_t*>(back->pixels)[i] = rng() & 0xFFFFFF;
    pic.width = pic.scaledWidth = kW, pic.height = pic.scaledHeight = kH;
    pic.bitmap = back.get();
    display.bgpic = &pic, display.width = kW, display.height = kH;
    display.backBuffer = back.get(), display.screenBuffer = screen.get();
    display.layersOn = 1;
    gs().CurrentDisplay = &display, gs().CurrentBGPic = &pic;
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenLayersLibrary(L);
    vmSetTop(L, 0);
    gs().redraw = RedrawAndShow;
    Show();
  }
  // Makes this display's window the one the compositor copies into.
  void Show() { gWindow = window.get(); }

  // Brush [id] of [side] x [side], its pixels and alpha noise from rng.
  void NoiseBrush(int32_t id, int32_t side) {
    vkBrush* b = nullptr;
    CreateBrushRecord(gs(), vkIdRequest{id, false}, side, side, 0, false, true, false, &b);
    for (int32_t i = 0; i < side * side; ++i) reinterpret_cast<uint32_t*>(b->bitmap->pixels)[i] = rng() & 0xFFFFFF;
    for (int32_t i = 0; i < b->alpha->bytesPerRow * side; ++i) b->alpha->data[i] = uint8_t(rng());
  }
};

#if defined(VK_HAVE_PIXMAN)
// pixman's side of the scene: the display's background, the picture composed
// from it and the window the picture is copied into.
struct PixmanStack {
  std::vector<uint32_t> dstPixels = std::vector<uint32_t>(size_t(kW) * kH),
                        windowPixels = std::vector<uint32_t>(size_t(kW) * kH);
  pixman_image_t *background = nullptr, *dst = nullptr, *window = nullptr;

  explicit PixmanStack(const vkBitMap* back) {
    background = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, reinterpret_cast<uint32_t*>(back->pixels),
                                          back->bytesPerRow);
    dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, dstPixels.data(), kW * 4);
    window = pixman_image_create_bits(PIXMAN_x8r8g8b8, kW, kH, windowPixels.data(), kW * 4);
  }
  ~PixmanStack() { pixman_image_unref(background), pixman_image_unref(dst), pixman_image_unref(window); }
  PixmanStack(const PixmanStack&) = delete;
  PixmanStack& operator=(const PixmanStack&) = delete;
};

// Brush [number] of [side] x [side] as premultiplied 0xAARRGGBB words for a
// pixman a8r8g8b8 image.
inline std::vector<uint32_t> PremultipliedBrush(vkGraphicsState& gs, int32_t number, int32_t side) {
  vkBrush* b = nullptr;
  FindBrush(gs, vkObjectId{number, nullptr}, &b, 0);
  std::vector<uint32_t> p(size_t(side) * side);
  for (int32_t yy = 0; yy < side; yy++)
    for (int32_t xx = 0; xx < side; xx++) {
      const uint32_t c = reinterpret_cast<const uint32_t*>(b->bitmap->pixels)[yy * side + xx];
      const uint32_t a = b->alpha->data[yy * b->alpha->bytesPerRow + xx];
      auto pre = [&](int shift) { return ((((c >> shift) & 0xFF) * a + 127) / 255) << shift; };
      p[size_t(yy * side + xx)] = a << 24 | pre(16) | pre(8) | pre(0);
    }
  return p;
}
#endif

}  // namespace benchlayers
