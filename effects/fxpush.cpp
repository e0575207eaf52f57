// Pushes: the new picture slides in from one edge while the old one slides
// out at the other. One routine serves the four ids: the row gives the axis
// and whether the new picture enters from the far edge. Frame k has both
// pictures k steps along, drawn whole.
#include <algorithm>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"

int32_t FXPushSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t size = FXAlong(s);
  const int32_t step = FXSpeedToStep(s.speed, size, 40, 10, 100);
  s.stepCount = FXStepCount(size - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXPushDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const int64_t size = FXAlong(s);
  int64_t offset = int64_t(k) * s.Private<vkFXSteps>().step;
  if (offset >= size) offset = size, *last = true;
  // Along the axis: the new picture at o - size and the old at o, or, from
  // the far edge, at size - o and -o.
  const bool far = s.row->variant == kFXPushFromFar;
  const int64_t fresh = far ? size - offset : offset - size, old = far ? -offset : offset;
  const bool alongX = s.row->axis == kFXAlongX;
  const uint32_t flags = s.realtime ? kFXBlitNoShow : 0;
  auto draw = [&](const vkBitMap* picture, int64_t at) {
    if (!picture) return;
    FXDrawAt(s, picture, nullptr, nullptr, s.width, s.height, 0, 0, alongX ? int32_t(at) : 0,
             alongX ? 0 : int32_t(at), s.width, s.height, flags);
  };
  draw(s.source, fresh);
  draw(s.oldPicture.get(), old);
  if (s.realtime && !s.replaying && !fromScratch) FXRefreshRect(s, 0, 0, s.width, s.height, 32);
  return 0;
}
