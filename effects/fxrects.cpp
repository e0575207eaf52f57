// Rectangle effects: the picture revealed through a rectangle of the
// picture's proportions that grows from an anchor (its centre, the middle of
// an edge or a corner), or from outside inward around a hole that shrinks
// towards the opposite anchor. The anchor is the row's variant; frame k's
// bands are the rectangle of frame k minus that of frame k - 1.
#include <algorithm>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"

namespace {

// The rectangle of size [s] along the picture's larger dimension, with the
// other side in the picture's proportion, placed at the row's anchor; a
// centred growing rectangle grows by one where that keeps it symmetric.
vkFXRect Place(const vkFXState& s, int64_t size, bool grow) {
  if (size < 1) return {};
  const int64_t w = s.width, h = s.height, larger = std::max(w, h);
  const double ratio = double(std::min(w, h)) / double(larger);
  const int64_t other = std::max<int64_t>(1, int64_t(ratio * double(size) + 1.0));
  int64_t rw = w >= h ? size : other, rh = w >= h ? other : size;
  const int32_t ax = s.row->variant % 3, ay = s.row->variant / 3;
  auto offset = [&](int32_t anchor, int64_t space, int64_t& length) -> int64_t {
    if (anchor == 0) return 0;
    if (anchor == 2) return space - length;
    const int64_t at = (space - length) / 2;
    if (grow && (space - length) % 2 != 0) length += 1;
    return at;
  };
  const int64_t x = offset(ax, w, rw), y = offset(ay, h, rh);
  return {x, y, rw, rh};
}

int64_t Larger(const vkFXState& s) { return std::max(s.width, s.height); }

}  // namespace

int32_t FXRectSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t larger = int32_t(Larger(s));
  int32_t step = FXSpeedToStep(s.speed, larger, 70, 30, 200);
  if (step < 1 || step > larger / 4) step = 1;
  s.stepCount = FXStepCount(larger - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

// Growing: the rectangle of k steps (the whole picture once it reaches the
// larger side) minus that of k - 1.
int32_t FXRectDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkFXSteps& p = s.Private<vkFXSteps>();
  const int64_t size = int64_t(k) * p.step;
  vkFXRect now{0, 0, s.width, s.height};
  if (size < Larger(s))
    now = Place(s, size, true);
  else
    *last = true;
  FXDrawRectMinus(s, now, Place(s, size - p.step, true));
  return 0;
}

// Shrinking: the hole of k - 1 steps (the whole picture before the first)
// minus the hole of k steps, which is empty at the end.
int32_t FXRectBackDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkFXSteps& p = s.Private<vkFXSteps>();
  const int64_t size = Larger(s) - int64_t(k) * p.step;
  vkFXRect hole;
  if (size < 1)
    *last = true;
  else
    hole = Place(s, size, false);
  const vkFXRect before = k == 1 ? vkFXRect{0, 0, s.width, s.height} : Place(s, size + p.step, false);
  FXDrawRectMinus(s, before, hole);
  return 0;
}
