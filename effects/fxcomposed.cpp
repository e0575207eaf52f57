// The composed blit of the per-pixel and masked effects, and the source's
// planes as one alpha plane. Rectangles are cut to the picture before any
// buffer is touched, so callers may hand in a strip that starts before the
// picture or runs past it.
#include "effects/fxcomposed.h"

#include <algorithm>

#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "layers/layers.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"

vkFXRect FXCutToPicture(const vkFXState& s, vkFXRect r) {
  const int64_t x1 = std::max<int64_t>(r.x, 0), y1 = std::max<int64_t>(r.y, 0);
  const int64_t x2 = std::min<int64_t>(r.x + r.w, s.width), y2 = std::min<int64_t>(r.y + r.h, s.height);
  if (x2 <= x1 || y2 <= y1) return {};
  return {x1, y1, x2 - x1, y2 - y1};
}

void FXComposedBlit(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, vkFXRect r,
                    vkBitMapPtr& scratch, uint32_t layerFlags) {
  r = FXCutToPicture(s, r);
  if (r.Empty() || !src) return;
  const int32_t x = int32_t(r.x), y = int32_t(r.y), w = int32_t(r.w), h = int32_t(r.h);
  if (s.realtime) {
    FXBlitTo(s, src, mask, alpha, s.width, s.height, x, y, x, y, w, h,
             layerFlags | (s.replaying ? kFXBlitNoShow : 0));
    return;
  }
  if (!mask && !alpha) {  // nothing of the old picture shows through
    FXDrawAt(s, src, nullptr, nullptr, s.width, s.height, x, y, x, y, w, h, 0);
    return;
  }
  if (!scratch || scratch->width < w || scratch->height < h) {
    scratch.reset(AllocArgbBitMap(std::max(w, scratch ? scratch->width : 0),
                                  std::max(h, scratch ? scratch->height : 0)));
    if (!scratch) return;
  }
  const int32_t sw = scratch->width, sh = scratch->height;
  if (s.oldPicture)
    BltBitMap(s.oldPicture.get(), x, y, scratch.get(), 0, 0, w, h);
  else
    FillBitMapRect(scratch.get(), 0, 0, 0, w, h);
  vkBlitRequest q;
  q.src = src, q.sx = x, q.sy = y;
  q.dst = scratch.get();
  q.width = w, q.height = h;
  q.srcWidth = s.width, q.srcHeight = s.height, q.dstWidth = sw, q.dstHeight = sh;
  q.flags = kBlitIgnoreClip | kBlitNoSprites;
  q.mask = mask, q.alpha = alpha;
  SafeBlt(*s.gs, q);
  FXDrawAt(s, scratch.get(), nullptr, nullptr, sw, sh, 0, 0, x, y, w, h, 0);
}

vkPlanePtr FXSourceAlphaPlane(const vkFXState& s) {
  vkPlanePtr alpha(AllocAlphaPlane(s.width, s.height, true));
  if (alpha) MakeAlphaPlane(alpha.get(), s.sourceMask, s.sourceAlpha, s.width, s.height);
  return alpha;
}

void FXClearDestination(vkFXState& s) {
  if (s.realtime) {
    FXClearLayerBuffers(s);
    return;
  }
  if (s.oldPicture) FXDraw(s, s.oldPicture.get(), nullptr, nullptr, 0, 0, s.width, s.height);
}

vkPlane* FXLayerMaskPlane(vkFXState& s) {
  vkLayerData* data = s.layer ? s.layer->onScreen : nullptr;
  return data ? data->transformedMask.get() : nullptr;
}

int32_t FXNamedStep(int32_t speed, int32_t fast, int32_t normal, int32_t slow, int32_t least, int32_t most) {
  if (speed == kFastSpeed) return fast;
  if (speed == kNormalSpeed) return normal;
  if (speed == kSlowSpeed) return slow;
  return std::clamp(speed, least, most);
}
