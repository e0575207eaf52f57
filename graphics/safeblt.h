// The clipped blit through which everything drawn on a display passes: it
// clips against the source, the destination and the active clip region,
// keeps on-screen sprites on top, picks the destination (a given bitmap, the
// display's background buffer or its window), draws plain, masked or blended
// and keeps the drawing target's mask and alpha planes in step.
#pragma once

#include <cstdint>

#include "graphics/graphicsstate.h"

// Flags of SafeBlt.
inline constexpr uint32_t kBlitIgnoreClip = 0x1;      // the clip region is not used
inline constexpr uint32_t kBlitNoSprites = 0x2;       // no test for sprites on top
inline constexpr uint32_t kBlitBackground = 0x4;      // into the background buffer while layers are off
inline constexpr uint32_t kBlitRecompose = 0x8;       // layers on: recompose the rectangle, draw no source
inline constexpr uint32_t kBlitPixelsOnly = 0x10;     // no plane updates, no scaled mirror; fallback allowed
inline constexpr uint32_t kBlitNoWindow = 0x20;       // with 4 or 0x40: no copy to the window
inline constexpr uint32_t kBlitBackgroundAlways = 0x40;  // into the background buffer even with layers on

// The phases of the layers' recomposition that the sprite path asks for.
inline constexpr int32_t kRedrawAll = 0;
inline constexpr int32_t kRedrawNoSprites = 1;
inline constexpr int32_t kRedrawSpritesOnly = 2;

// What one SafeBlt call draws: width x height of [src] at (sx, sy) to (dx, dy)
// of [dst] (null: the current display's output), with the sizes the caller
// vouches for, a source mask and alpha plane (or none) and a clip region.
struct vkBlitRequest {
  const vkBitMap* src = nullptr;
  int32_t sx = 0, sy = 0;
  vkBitMap* dst = nullptr;
  int32_t dx = 0, dy = 0;
  int32_t width = 0, height = 0;
  int32_t srcWidth = 0, srcHeight = 0;
  int32_t dstWidth = 0, dstHeight = 0;
  uint32_t flags = 0;
  const vkPlane* mask = nullptr;
  const vkPlane* alpha = nullptr;
  const vkClipRegion* clip = nullptr;
};

void SafeBlt(vkGraphicsState& gs, const vkBlitRequest& request);

// Recomposes a rectangle of the display's picture into [dst] through the
// layers' hook, or, before the layers library registers one, copies it from
// the display's background buffer and draws the sprites over it.
void RedrawRect(vkGraphicsState& gs, vkDisplay* display, vkBitMap* dst, int32_t x, int32_t y, int32_t width,
                int32_t height, int32_t flags);
