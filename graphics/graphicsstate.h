// The graphics subsystem's run state in one record, held by the program
// context: the clip regions, the asynchronous drawing objects, the clipped
// blit's scratch planes (one set per nesting depth), the fallback display
// for pixel-only blits, the scaler's tables, the image cache, and the hooks
// through which the layers above recompose what the blitter needs.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "graphics/asyncdraw.h"
#include "graphics/displays.h"
#include "pixel/bitmapops.h"
#include "pixel/clipregion.h"
#include "pixel/resample.h"

struct vkState;
struct vkGraphicsState;
struct vkBrushList;
struct vkSpriteList;

// The scratch plane of one nesting depth of the clipped blit: a buffer that
// only grows, wrapped as a mask or a byte plane.
struct vkBlitScratch {
  vkBufferPtr<uint8_t> data;
  size_t capacity = 0;
  vkPlane plane{};
};

// Recomposes the rectangle of [bgpic] into [dst] from its background, layers
// and sprites; flags 1 stop before the sprites, 2 draw the sprites only, 4,
// 8 and 16 choose the background (Redraw of the layers library).
using vkRedrawHook = void (*)(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x,
                              int32_t y, int32_t width, int32_t height, int32_t flags);
// 1 when a layer of any picture still draws through [region].
using vkRegionInUseHook = bool (*)(const vkClipRegion* region);
// Appends the on-screen rectangle of [layer] to the display's dirty list.
using vkLayerDirtyHook = void (*)(vkGraphicsState& gs, vkDisplay* display, vkLayer* layer);

// The settings the blitter reads, kept through the runtime attributes.
struct vkGraphicsSettings {
  int32_t maskMode = 0;
  int32_t alphaIntensity = 128;  // 0..255, -1 none
};

struct vkGraphicsState {
  vkGraphicsSettings settings;
  std::list<vkClipRegion> clipRegions;  // in creation order; addresses stay put
  std::vector<std::unique_ptr<vkBlitScratch>> scratch;  // by nesting depth of SafeBlt
  int32_t blitDepth = 0;                // SafeBlt calls under way
  std::unique_ptr<vkDisplay> fallbackDisplay;  // stands in while no display is current
  vkScaleTables scaleTables;
  vkImageCache imageCache;
  // Registered by the layers library; until then the display's background
  // buffer stands for the composed picture.
  vkRedrawHook redraw = nullptr;
  vkRegionInUseHook regionInUse = nullptr;
  // The brush and sprite libraries' objects (graphics/brushes.h, sprites.h).
  std::shared_ptr<vkBrushList> brushes;
  std::shared_ptr<vkSpriteList> sprites;
  vkLayerDirtyHook layerDirty = nullptr;
  vkAsyncDrawList asyncDraws;  // last, so its objects go first
};

// The graphics state of [L]'s program context, made when first asked for.
vkGraphicsState& GraphicsState(vkState* L);
