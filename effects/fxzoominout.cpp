// ZOOMIN and ZOOMOUT: the old picture goes away into the centre and the new
// one comes out of it, in the picture's proportions. ZOOMIN scales the
// whole picture down to the rectangle over a border colour; ZOOMOUT scales
// the rectangle of the picture up to the whole. One routine; the variant
// says which. Frame k has the rectangle of k steps.
#include <algorithm>
#include <cstdlib>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "pixel/bitmapops.h"

namespace {

// The centred rectangle of the picture's proportions whose larger side is
// [d] (at least 1).
vkFXRect Centred(const vkFXState& s, int64_t d) {
  const int64_t w = s.width, h = s.height;
  d = std::max<int64_t>(d, 1);
  int64_t rw, rh;
  if (h > w)
    rh = d, rw = int64_t(double(d) * (double(w) / double(h)) + 1.0);
  else
    rw = d, rh = int64_t(double(d) * (double(h) / double(w)) + 1.0);
  rw = std::clamp<int64_t>(rw, 1, w), rh = std::clamp<int64_t>(rh, 1, h);
  return {(w - rw) / 2, (h - rh) / 2, rw, rh};
}

}  // namespace

int32_t FXZoomInOutSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t larger = std::max(s.width, s.height);
  const int32_t step = FXSpeedToStep(s.speed, larger, 60, 30, 120);
  if (s.parameter == kFXRandomParameter) s.parameter = 0;
  s.stepCount = FXStepCount(2 * larger - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXZoomInOutDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const int64_t larger = std::max(s.width, s.height), t = int64_t(k) * s.Private<vkFXSteps>().step;
  const uint32_t flags = s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
  const vkFXRect whole{0, 0, s.width, s.height};
  vkFXRect r = whole;
  if (t >= 2 * larger)
    *last = true;
  else
    r = Centred(s, std::llabs(t - larger));
  const vkBitMap* picture = t <= larger && s.oldPicture ? s.oldPicture.get() : s.source;
  const bool zoomIn = s.row->variant == kFXZoomIn;
  vkBitMap* b = nullptr;
  int32_t rc;
  if (zoomIn)
    rc = ScaleBitMap(s.gs->scaleTables, picture, nullptr, nullptr, 0, 0, nullptr, s.width, s.height, int32_t(r.w),
                     int32_t(r.h), false, &b, nullptr, nullptr);
  else
    rc = ScaleBitMap(s.gs->scaleTables, picture, nullptr, nullptr, int32_t(r.x), int32_t(r.y), nullptr, int32_t(r.w),
                     int32_t(r.h), s.width, s.height, false, &b, nullptr, nullptr);
  if (rc) return rc;
  vkBitMapPtr scaled(b);
  if (!zoomIn) {
    FXDrawAt(s, scaled.get(), nullptr, nullptr, s.width, s.height, 0, 0, 0, 0, s.width, s.height, flags);
    return 0;
  }
  // The border colour around the rectangle.
  const uint32_t colour = uint32_t(s.parameter) & 0xFFFFFF;
  FXFillRect(s, {0, 0, s.width, r.y}, colour, flags);
  FXFillRect(s, {0, r.y + r.h, s.width, s.height - r.y - r.h}, colour, flags);
  FXFillRect(s, {0, r.y, r.x, r.h}, colour, flags);
  FXFillRect(s, {r.x + r.w, r.y, s.width - r.x - r.w, r.h}, colour, flags);
  FXDrawAt(s, scaled.get(), nullptr, nullptr, int32_t(r.w), int32_t(r.h), 0, 0, int32_t(r.x), int32_t(r.y),
           int32_t(r.w), int32_t(r.h), flags);
  return 0;
}
