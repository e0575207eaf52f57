// Slides: the old picture slides out at one edge over a colour, then the new
// picture slides in from the other. One routine serves the four ids: the
// row gives the axis and the direction. Frame k is drawn whole: the picture
// at its place k steps along and the colour where it no longer covers.
#include <algorithm>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "pixel/blit.h"

void FXFillRect(vkFXState& s, vkFXRect r, uint32_t colour, uint32_t flags) {
  const int64_t x1 = std::max<int64_t>(r.x, 0), y1 = std::max<int64_t>(r.y, 0);
  const int64_t x2 = std::min<int64_t>(r.x + r.w, s.width), y2 = std::min<int64_t>(r.y + r.h, s.height);
  if (x2 <= x1 || y2 <= y1) return;
  const int32_t x = int32_t(x1), y = int32_t(y1), w = int32_t(x2 - x1), h = int32_t(y2 - y1);
  if (s.realtime) {
    FillBitMapRect(FXLayerBitMap(s), colour, x, y, w, h);
    if (!(flags & kFXBlitNoShow)) FXRefreshRect(s, x, y, w, h, 0);
    return;
  }
  vkDisplay* d = s.gs->CurrentDisplay;
  if (!d || !d->backBuffer) return;
  FillBitMapRect(d->backBuffer, colour, s.x + x, s.y + y, w, h);
  if (s.scaling) {
    FillBitMapRect(d->screenBuffer, colour, s.x + x, s.y + y, w, h);
    return;
  }
  BltToWindow(*s.gs, d->backBuffer, s.x + x, s.y + y, d, s.x + x, s.y + y, w, h, 0);
}

int32_t FXSlideSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  if (s.parameter == kFXRandomParameter) s.parameter = 0;
  const int32_t n = FXAlong(s);
  const int32_t step = std::clamp(FXSpeedToStep(s.speed, n, 60, 30, 120), 1, 30);
  s.stepCount = FXStepCount(2 * n - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXSlideDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const int64_t n = FXAlong(s), t = int64_t(k) * s.Private<vkFXSteps>().step;
  const uint32_t flags = s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
  if (t >= 2 * n) {
    *last = true;
    FXDrawAt(s, s.source, nullptr, nullptr, s.width, s.height, 0, 0, 0, 0, s.width, s.height, flags);
    return 0;
  }
  // The old picture moves out towards the far edge (or the near one), then
  // the source comes back in from there.
  const bool towardsFar = s.row->variant == kFXSlideTowardsFar;
  const bool leaving = t <= n;
  const int64_t at = leaving ? (towardsFar ? t : -t) : (towardsFar ? 2 * n - t : t - 2 * n);
  const bool alongX = s.row->axis == kFXAlongX;
  const vkFXRect placed = alongX ? vkFXRect{at, 0, s.width, s.height} : vkFXRect{0, at, s.width, s.height};
  const vkBitMap* picture = leaving ? s.oldPicture.get() : s.source;
  // The colour where the picture does not cover.
  const uint32_t colour = uint32_t(s.parameter) & 0xFFFFFF;
  const vkFXRect whole{0, 0, s.width, s.height};
  const int64_t ix1 = std::clamp(placed.x, whole.x, whole.w), iy1 = std::clamp(placed.y, whole.y, whole.h);
  const int64_t ix2 = std::clamp(placed.x + placed.w, whole.x, whole.w);
  const int64_t iy2 = std::clamp(placed.y + placed.h, whole.y, whole.h);
  FXFillRect(s, {0, 0, s.width, iy1}, colour, flags);
  FXFillRect(s, {0, iy2, s.width, s.height - iy2}, colour, flags);
  FXFillRect(s, {0, iy1, ix1, iy2 - iy1}, colour, flags);
  FXFillRect(s, {ix2, iy1, s.width - ix2, iy2 - iy1}, colour, flags);
  if (picture && ix2 > ix1 && iy2 > iy1)
    FXDrawAt(s, picture, nullptr, nullptr, s.width, s.height, int32_t(ix1 - placed.x), int32_t(iy1 - placed.y),
             int32_t(ix1), int32_t(iy1), int32_t(ix2 - ix1), int32_t(iy2 - iy1), flags);
  return 0;
}
