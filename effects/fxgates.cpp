// Gates: the picture split into two halves that slide apart to uncover the
// new picture (opening), or two halves of the new picture that slide in
// over the old one and meet in the middle (closing). One routine serves the
// four ids: the row gives the axis and whether the gate opens. Frame k has
// the halves k steps along.
#include <algorithm>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"

namespace {

bool Opening(const vkFXState& s) { return s.row->variant == kFXGateOpen; }

// Lines [from, from + count) of [picture] drawn at line [at] of the frame.
void Lines(vkFXState& s, const vkBitMap* picture, int64_t from, int64_t count, int64_t at, uint32_t flags) {
  if (!picture || count < 1) return;
  const bool alongX = s.row->axis == kFXAlongX;
  const int32_t w = alongX ? int32_t(count) : s.width, h = alongX ? s.height : int32_t(count);
  FXDrawAt(s, picture, nullptr, nullptr, s.width, s.height, alongX ? int32_t(from) : 0, alongX ? 0 : int32_t(from),
           alongX ? int32_t(at) : 0, alongX ? 0 : int32_t(at), w, h, flags);
}

}  // namespace

int32_t FXGateSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t n = FXAlong(s);
  const int32_t step = FXSpeedToStep(s.speed, n, 80, 30, 200);
  const int32_t half = Opening(s) ? n / 2 + n % 2 : n / 2;
  s.stepCount = FXStepCount(half - step, step, 0);
  p->step = s.speed = step;
  // In a layer the closing gate slides over the old picture held there.
  if (s.realtime && !Opening(s)) Lines(s, s.oldPicture.get(), 0, n, 0, kFXBlitNoShow);
  return 0;
}

int32_t FXGateDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const int64_t n = FXAlong(s), t = s.Private<vkFXSteps>().step, moved = int64_t(k) * t;
  const uint32_t flags = s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
  if (Opening(s)) {
    const int64_t half = n / 2 + n % 2, p = half - moved, q = n - half + moved;
    if (q >= n || p < 1) {
      *last = true;
      Lines(s, s.source, 0, n, 0, flags);
      return 0;
    }
    // The uncovered middle, then the old halves moved apart.
    if (fromScratch)
      Lines(s, s.source, p, q - p, p, flags);
    else
      Lines(s, s.source, p, t, p, flags), Lines(s, s.source, q - t, t, q - t, flags);
    Lines(s, s.oldPicture.get(), 0, half, p - half, flags);
    Lines(s, s.oldPicture.get(), half, n - half, q, flags);
    return 0;
  }
  const int64_t half = n / 2;
  if (moved >= half) {
    *last = true;
    Lines(s, s.source, 0, n, 0, flags);
    return 0;
  }
  if (fromScratch) Lines(s, s.oldPicture.get(), 0, n, 0, flags);
  // The new picture's halves slide in from both edges.
  Lines(s, s.source, 0, half, moved - half, flags);
  Lines(s, s.source, half, n - half, n - moved, flags);
  return 0;
}
