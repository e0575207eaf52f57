// The layers library's lookups and shutdown step, and the stand-in for the
// layer compositor that the blitter calls. Layers come with the layers
// subsystem; until then no picture has any, so a name finds nothing, no
// clip region is in a layer's use, and recomposing a rectangle means its
// background (blitted through the clipped blit, as layers will be).
#include "layers/layers.h"

#include "engine/runstate.h"
#include "graphics/bgpics.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"

namespace {

int32_t findLayer(vkState*, const char* name) { return FindLayerIndexByName(name); }

// Flags of the recomposition that choose its background.
inline constexpr int32_t kRedrawScaledPicture = 16;
inline constexpr int32_t kRedrawOwnPicture = 8;
inline constexpr int32_t kRedrawDisplayBuffer = 4;

void RedrawStandIn(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x, int32_t y,
                   int32_t width, int32_t height, int32_t flags) {
  if (!dst || width < 1 || height < 1 || x < 0 || y < 0) return;
  if (flags & kRedrawSpritesOnly) return;  // sprites come with the sprite library
  const vkBitMap* background = bgpic ? bgpic->bitmap : nullptr;
  if (flags & kRedrawScaledPicture)
    background = bgpic ? bgpic->scaledBitMap : nullptr;
  else if (!(flags & kRedrawOwnPicture) && ((flags & kRedrawDisplayBuffer) || (display && display->bgpic == bgpic)))
    background = display ? display->backBuffer : nullptr;
  if (!background) return;
  vkBlitRequest r;
  r.src = background, r.sx = x, r.sy = y, r.dst = dst, r.dx = x, r.dy = y, r.width = width, r.height = height;
  r.srcWidth = background->width, r.srcHeight = background->height;
  r.dstWidth = dst->width, r.dstHeight = dst->height;
  r.flags = kBlitIgnoreClip | kBlitNoSprites | kBlitPixelsOnly;
  SafeBlt(gs, r);
}

}  // namespace

int OpenLayersLibrary(vkState* L) {
  EngineRun(L).findLayerByName = findLayer;
  GraphicsState(L).redraw = RedrawStandIn;
  return 0;
}

int32_t FindLayerIndexByName(const char*) { return 0; }

void FlushLayerCaches(uint32_t) {}

int CloseLayersLibrary() { return 0; }
