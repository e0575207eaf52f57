// Stretches and zooms: the object scaled from nothing to full size (or
// back, when hiding a layer) along one axis or along both in its own
// proportions, anchored at an edge, the centre or a corner. One routine
// serves every id: the row gives the axis and the anchor; frame k shows the
// extent k steps along the axis, drawn from scratch. The scaled draw through
// a buffer kept from frame to frame lives here too; the families that scale
// whole pictures every frame share it.
#include <algorithm>
#include <climits>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"

namespace {

struct vkStretch : vkFXSteps {
  vkBitMapPtr buffer;  // the scaled picture of a source without planes
};

int64_t AxisSize(const vkFXState& s) {
  if (s.row->axis == kFXAlongX) return s.width;
  if (s.row->axis == kFXAlongY) return s.height;
  return std::max(s.width, s.height);
}

// The rectangle that shows [extent] along the axis, placed at the anchor;
// the whole picture at the full extent, nothing at 0.
vkFXRect Shown(const vkFXState& s, int64_t extent) {
  const int64_t w = s.width, h = s.height;
  if (extent >= AxisSize(s)) return {0, 0, w, h};
  if (extent <= 0) return {};
  int64_t rw = w, rh = h;
  if (s.row->axis == kFXAlongX) {
    rw = extent;
  } else if (s.row->axis == kFXAlongY) {
    rh = extent;
  } else {
    const double ratio = double(std::min(w, h)) / double(std::max(w, h));
    const int64_t other = std::max<int64_t>(1, int64_t(ratio * double(extent)));
    rw = h > w ? other : extent, rh = h > w ? extent : other;
  }
  auto place = [](int32_t anchor, int64_t space, int64_t length) -> int64_t {
    return anchor == 0 ? 0 : anchor == 2 ? space - length : (space - length) / 2;
  };
  return {place(s.row->variant % 3, w, rw), place(s.row->variant / 3, h, rh), rw, rh};
}

int64_t Extent(const vkFXState& s, int32_t k) {
  const int64_t e = int64_t(k) * s.Private<vkFXSteps>().step;
  return s.reverse ? AxisSize(s) - e : e;
}

// Erases [outer] minus [inner] from the layer (hiding in real-time mode).
void EraseOutside(vkFXState& s, vkFXRect outer, vkFXRect inner) {
  const uint32_t flags = kFXBlitErase | (s.replaying || s.phase == 2 ? kFXBlitNoShow : 0);
  auto erase = [&](int64_t x, int64_t y, int64_t w, int64_t h) {
    if (w > 0 && h > 0) FXBlit(s, s.source, nullptr, nullptr, int32_t(x), int32_t(y), int32_t(w), int32_t(h), flags);
  };
  if (inner.Empty()) return erase(outer.x, outer.y, outer.w, outer.h);
  erase(outer.x, outer.y, outer.w, inner.y - outer.y);
  erase(outer.x, inner.y + inner.h, outer.w, outer.y + outer.h - inner.y - inner.h);
  erase(outer.x, inner.y, inner.x - outer.x, inner.h);
  erase(inner.x + inner.w, inner.y, outer.x + outer.w - inner.x - inner.w, inner.h);
}

// The display's background buffer when the effect's pixels for [picture]
// would be copied there unchanged: drawn on the display, not into a
// layer, with no clip region, in the buffer's own pixel format. Scaled
// straight into it, the copy finds them in place.
vkBitMap* DirectTarget(const vkFXState& s, const vkBitMap* picture) {
  const vkDisplay* d = s.gs->CurrentDisplay;
  if (s.realtime || !d || d->renderTarget != kTargetDisplay || !d->backBuffer) return nullptr;
  if (s.gs->CurrentBGPic && s.gs->CurrentBGPic->activeClip) return nullptr;
  const bool background = ((s.blitFlags & kBlitBackground) && !d->layersOn) || (s.blitFlags & kBlitBackgroundAlways);
  vkBitMap* b = d->backBuffer;
  if (!background || b->format != picture->format || b->bytesPerPixel != picture->bytesPerPixel) return nullptr;
  return b;
}

}  // namespace

int32_t FXDrawScaled(vkFXState& s, vkBitMapPtr& buffer, const vkBitMap* picture, vkFXRect from, vkFXRect to,
                     uint32_t flags) {
  if (!picture || from.Empty() || to.Empty()) return 0;
  // The part of [to] inside the picture, as an offset into the scaled one.
  const int64_t x1 = std::max<int64_t>(to.x, 0), y1 = std::max<int64_t>(to.y, 0);
  const int64_t x2 = std::min<int64_t>(to.x + to.w, s.width), y2 = std::min<int64_t>(to.y + to.h, s.height);
  if (x2 <= x1 || y2 <= y1 || to.w > INT32_MAX || to.h > INT32_MAX) return 0;
  const int32_t w = int32_t(to.w), h = int32_t(to.h);
  if (from.w == to.w && from.h == to.h && !(s.realtime && s.reverse)) {
    // Nothing to scale: the picture's rectangle goes as it is (hiding a
    // layer, a rectangle of the source itself would erase it).
    FXDrawAt(s, picture, nullptr, nullptr, s.width, s.height, int32_t(from.x + x1 - to.x), int32_t(from.y + y1 - to.y),
             int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1), flags);
    return 0;
  }
  if (vkBitMap* target = DirectTarget(s, picture)) {
    // Only the part on the display is scaled, at its place in the buffer.
    const int64_t left = int64_t(s.x) + to.x, top = int64_t(s.y) + to.y;
    const int64_t right = std::min<int64_t>(s.spaceWidth, target->width);
    const int64_t bottom = std::min<int64_t>(s.spaceHeight, target->height);
    const int64_t vx1 = std::max<int64_t>(s.x + x1, 0), vy1 = std::max<int64_t>(s.y + y1, 0);
    const int64_t vx2 = std::min<int64_t>(s.x + x2, right), vy2 = std::min<int64_t>(s.y + y2, bottom);
    if (vx2 <= vx1 || vy2 <= vy1) return 0;
    if (int32_t rc = ScaleBitMapPart(s.gs->scaleTables, picture, int32_t(from.x), int32_t(from.y), int32_t(from.w),
                                     int32_t(from.h), w, h, int32_t(vx1 - left), int32_t(vy1 - top),
                                     int32_t(vx2 - vx1), int32_t(vy2 - vy1), target, int32_t(vx1), int32_t(vy1)))
      return rc;
    FXDrawAt(s, target, nullptr, nullptr, target->width, target->height, int32_t(vx1), int32_t(vy1),
             int32_t(vx1 - s.x), int32_t(vy1 - s.y), int32_t(vx2 - vx1), int32_t(vy2 - vy1), flags);
    return 0;
  }
  if (!buffer || buffer->width < w || buffer->height < h) {
    const int32_t bw = std::max(w, buffer ? buffer->width : 0), bh = std::max(h, buffer ? buffer->height : 0);
    buffer.reset(AllocArgbBitMap(bw, bh));
    if (!buffer) return kErrOutOfMemory;
  }
  if (int32_t rc = ScaleBitMap(s.gs->scaleTables, picture, nullptr, nullptr, int32_t(from.x), int32_t(from.y),
                               buffer.get(), int32_t(from.w), int32_t(from.h), w, h, false, nullptr, nullptr, nullptr))
    return rc;
  FXDrawAt(s, buffer.get(), nullptr, nullptr, buffer->width, buffer->height, int32_t(x1 - to.x), int32_t(y1 - to.y),
           int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1), flags);
  return 0;
}

int32_t FXStretchSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkStretch;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  const int32_t size = int32_t(std::min<int64_t>(AxisSize(s), INT32_MAX));
  const int32_t step = FXSpeedToStep(s.speed, size, 30, 10, 80);
  s.stepCount = FXStepCount(size - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXStretchDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const int64_t extent = Extent(s, k);
  if (s.reverse ? extent <= 0 : extent >= AxisSize(s)) *last = true;
  const vkFXRect now = Shown(s, extent);
  if (s.realtime) {
    if (fromScratch)
      EraseOutside(s, {0, 0, s.width, s.height}, {});
    else if (s.reverse)
      EraseOutside(s, Shown(s, Extent(s, k - 1)), now);
  }
  if (now.Empty()) return 0;
  const uint32_t flags = fromScratch ? kFXBlitNoShow : 0;
  if (!s.sourceMask && !s.sourceAlpha)
    return FXDrawScaled(s, s.Private<vkStretch>().buffer, s.source, {0, 0, s.width, s.height}, now, flags);
  const int32_t w = int32_t(now.w), h = int32_t(now.h);
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  if (int32_t rc = ScaleBitMap(s.gs->scaleTables, s.source, s.sourceMask, s.sourceAlpha, 0, 0, nullptr, s.width,
                               s.height, w, h, false, &b, s.sourceMask ? &m : nullptr, s.sourceAlpha ? &a : nullptr))
    return rc;
  vkBitMapPtr scaled(b);
  vkPlanePtr mask(m), alpha(a);
  if (!s.realtime && (alpha || mask) && s.oldPicture) {
    // The old picture shows where the scaled object is transparent.
    vkBitMapPtr under(AllocArgbBitMap(w, h));
    if (!under) return kErrOutOfMemory;
    FXClipBlit(s.oldPicture.get(), int32_t(now.x), int32_t(now.y), under.get(), 0, 0, w, h, s.width, s.height, w, h);
    vkBlitRequest r;
    r.src = scaled.get(), r.dst = under.get();
    r.width = w, r.height = h, r.srcWidth = r.dstWidth = w, r.srcHeight = r.dstHeight = h;
    r.flags = kBlitIgnoreClip | kBlitNoSprites;
    r.mask = mask.get(), r.alpha = alpha.get();
    SafeBlt(*s.gs, r);
    scaled = std::move(under);
    mask.reset(), alpha.reset();
  }
  FXDrawAt(s, scaled.get(), mask.get(), alpha.get(), w, h, 0, 0, int32_t(now.x), int32_t(now.y), w, h, flags);
  return 0;
}
