// Cards and splits. A card turns the old picture away from the top (or the
// bottom) while the new one is dealt in behind it; a split opens two gaps at
// the quarter lines of each half that widen towards the half's edges. One
// routine each; the row gives the direction or the axis. Frame k comes from
// k and the step.
#include <algorithm>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"

namespace {

// Rows [from, from + count) of [picture] drawn at row [at].
void Rows(vkFXState& s, const vkBitMap* picture, int64_t from, int64_t count, int64_t at, uint32_t flags) {
  if (from < 0) count += from, at -= from, from = 0;  // rows above the picture are none
  if (!picture || count < 1) return;
  FXDrawAt(s, picture, nullptr, nullptr, s.width, s.height, 0, int32_t(from), 0, int32_t(at), s.width,
           int32_t(count), flags);
}

}  // namespace

int32_t FXCardSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t step = std::clamp(FXSpeedToStep(s.speed, std::max(s.width, s.height), 60, 30, 120), 1, 30);
  s.stepCount = FXStepCount(s.height - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXCardDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  // The turn passes the middle once 2t reaches h: before that every band of
  // the first form lies inside the picture, after it every band of the
  // second (at an odd height the row t = h / 2 still takes the first form,
  // whose bands together cover all h rows).
  const int64_t h = s.height, half = (h + 1) / 2;
  int64_t t = int64_t(k) * s.Private<vkFXSteps>().step;
  if (t >= h) t = h, *last = true;
  const uint32_t flags = s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
  const vkBitMap* old = s.oldPicture.get();
  if (s.row->variant == kFXCardFromTop) {
    if (t < half)
      Rows(s, s.source, t, t, 0, flags), Rows(s, old, 0, h - t, t, flags);
    else
      Rows(s, s.source, h - t, t, 0, flags), Rows(s, old, 2 * t - h, h - t, t, flags);
  } else {
    if (t < half)
      Rows(s, old, t, h - t, 0, flags), Rows(s, s.source, h - 2 * t, t, h - t, flags);
    else
      Rows(s, old, h - t, h - t, 0, flags), Rows(s, s.source, 0, t, h - t, flags);
  }
  return 0;
}

int32_t FXSplitSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t step = std::clamp(FXSpeedToStep(s.speed, std::max(s.width, s.height), 120, 60, 240), 1, 30);
  s.stepCount = FXStepCount(FXAlong(s) / 4 + step, step, 1);
  p->step = s.speed = step;
  return 0;
}

// Frame k: in each half, a strip k - 1 steps before the quarter line and
// one k - 1 steps after it (the latter kept within the half from one frame
// to the next); the whole picture once the first reaches the half's edge.
int32_t FXSplitDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const int64_t n = FXAlong(s), quarter = n / 4, half = n / 2, t = s.Private<vkFXSteps>().step;
  int64_t a = quarter - int64_t(k - 1) * t;
  int64_t b = k == 1 ? quarter : std::min(quarter + int64_t(k - 2) * t, half) + t;
  if (a < 1) a = 0, *last = true;
  const int64_t across = FXAcross(s);
  for (int pass = 0; pass < 2; pass++) {
    FXDrawAlong(s, a, 0, t, across);
    FXDrawAlong(s, b, 0, t, across);
    a += half + n % 2, b += half + n % 2;
  }
  if (*last) FXDrawRect(s, {0, 0, s.width, s.height});
  return 0;
}
