// Curtains, bars, quarters, reveals and lines: the picture revealed in
// bands. Each family is one routine; the horizontal and vertical members
// differ only in the axis of the effect's row, the opening and closing or
// near and far members in its variant. Frame k's bands come from k and the
// step alone.
#include <algorithm>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"

vkFXSteps* FXNewSteps(vkFXState& s) {
  auto* p = new (std::nothrow) vkFXSteps;
  if (p) s.privateData.reset(p);
  return p;
}

namespace {

bool Opening(const vkFXState& s) { return s.row->variant == kFXCurtainOpen; }

}  // namespace

// ---- curtains ------------------------------------------------------------------

int32_t FXCurtainSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t n = FXAlong(s);
  int32_t step = FXSpeedToStep(s.speed, n, 140, 60, 320);
  if (Opening(s)) {
    step = std::min(step, n / 4);
    s.stepCount = FXStepCount(n - step - (n / 2 - 1) - 1, step + 1, 0);
  } else {
    if (step > n / 2) step = 1;
    s.stepCount = FXStepCount(n / 2, step + 1, 0);
  }
  p->step = s.speed = step;
  return 0;
}

// Opening: two bands of step + 1 lines grow from the middle outward;
// closing: from both edges inward.
int32_t FXCurtainDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkFXSteps& p = s.Private<vkFXSteps>();
  const int64_t n = FXAlong(s), across = FXAcross(s), t = p.step, moved = int64_t(k - 1) * (t + 1);
  if (Opening(s)) {
    int64_t first = n / 2 - moved, second = n / 2 - 1 + moved;
    if (second >= n - t - 1) second = n - t - 1, *last = true;
    if (first - t < 0) first = t;
    FXDrawAlong(s, second, 0, t + 1, across);
    FXDrawAlong(s, first - t, 0, t + 1, across);
    return 0;
  }
  int64_t first = moved;
  const int64_t second = n - 1 - moved;
  if (first >= n / 2) first = n / 2, *last = true;
  FXDrawAlong(s, first, 0, t + 1, across);
  FXDrawAlong(s, second - t, 0, t + 1, across);
  return 0;
}

// ---- bars ----------------------------------------------------------------------

constexpr int32_t kBarCell = 16;

int32_t FXBarsSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  int32_t step = FXSpeedToStep(s.speed, kBarCell, 16, 8, 40);
  if (step >= 9) step = 8;
  s.stepCount = FXStepCount(23, step + 1, 0);
  p->step = s.speed = step;
  return 0;
}

// Bars grow from each 16-pixel cell's left edge up to 9 columns, then from
// its top edge from 2 to 16 rows; what is left over past the last whole
// cell is drawn whole.
int32_t FXBarsDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkFXSteps& p = s.Private<vkFXSteps>();
  int64_t c = int64_t(k - 1) * (p.step + 1);
  if (c > 22) c = 23, *last = true;
  if (c < 9) {
    const int64_t cells = s.width / kBarCell;
    for (int64_t i = 0; i < cells; i++) FXDrawRect(s, {kBarCell * i, 0, c + 1, s.height});
    FXDrawRect(s, {kBarCell * cells, 0, s.width % kBarCell, s.height});
  } else {
    const int64_t cells = s.height / kBarCell;
    for (int64_t i = 0; i < cells; i++) FXDrawRect(s, {0, kBarCell * i, s.width, c - 7});
    FXDrawRect(s, {0, kBarCell * cells, s.width, s.height % kBarCell});
  }
  return 0;
}

// ---- quarters ------------------------------------------------------------------

int32_t FXQuartersSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t step = std::min(FXSpeedToStep(s.speed, s.width, 70, 30, 200), s.height / 4);
  p->a = s.width / 2, p->b = s.height / 2;
  s.stepCount = FXStepCount(s.height - s.height / 2 - step - 1, step + 1, 0);
  p->step = s.speed = step;
  return 0;
}

// The left half wipes down in its two quarters at once, the right half
// (with an odd last column) up.
int32_t FXQuartersDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkFXSteps& p = s.Private<vkFXSteps>();
  const int64_t h = s.height, m = p.a, n = p.b, t = p.step, limit = h - n - t - 1;
  int64_t at = int64_t(k - 1) * (t + 1);
  if (at >= limit) at = limit, *last = true;
  FXDrawRect(s, {0, at, m, t + 1});
  FXDrawRect(s, {0, n + at, m, t + 1});
  FXDrawRect(s, {m, h - at - n - t - 1, s.width - m, t + 1});
  FXDrawRect(s, {m, h - at - t - 1, s.width - m, t + 1});
  return 0;
}

// ---- reveals -------------------------------------------------------------------

int32_t FXRevealSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t n = FXAlong(s);
  int32_t step = FXSpeedToStep(s.speed, n, 70, 30, 200);
  if (step > n / 2) step = (s.row->variant & kFXRevealHalfStep) ? n / 2 : 1;
  s.stepCount = FXStepCount(n - step - 1, step + 1, 0);
  p->step = s.speed = step;
  return 0;
}

// A band of step + 1 lines wipes from the near edge (or the far one); the
// last band is moved back to end at the edge.
int32_t FXRevealDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkFXSteps& p = s.Private<vkFXSteps>();
  const int64_t n = FXAlong(s), t = p.step, moved = int64_t(k - 1) * (t + 1);
  if (s.row->variant & kFXRevealFromFar) {
    int64_t at = n - 1 - moved;
    if (at <= t) at = t, *last = true;
    FXDrawAlong(s, at - t, 0, t + 1, FXAcross(s));
  } else {
    int64_t at = moved;
    if (at >= n - t - 1) at = n - t - 1, *last = true;
    FXDrawAlong(s, at, 0, t + 1, FXAcross(s));
  }
  return 0;
}

// ---- lines ---------------------------------------------------------------------

int32_t FXLinesSetup(vkFXState& s) {
  if (!FXNewSteps(s)) return kErrOutOfMemory;
  const int32_t n = FXAlong(s);
  s.stepCount = s.row->variant == kFXLinesPaired ? FXStepCount(n, 2, 0) : FXStepCount(2 * n, 2, 0);
  return 0;
}

// Single: one line a frame, the even lines from the near edge, then the odd
// ones from the far edge. Paired: an even line from the near edge and an
// odd one from the far edge in every frame.
int32_t FXLinesDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const int64_t n = FXAlong(s), across = FXAcross(s), j = 2 * int64_t(k - 1);
  if (s.row->variant == kFXLinesPaired) {
    int64_t near = j, far = (n % 2 == 0 ? n - 1 : n - 2) - j;
    if (near >= n) *last = true;
    far = std::max<int64_t>(far, 0), near = std::min<int64_t>(near, n - 1);
    FXDrawAlong(s, near, 0, 1, across);
    FXDrawAlong(s, far, 0, 1, across);
    return 0;
  }
  if (j >= 2 * n) *last = true;
  const int64_t line = j < n ? j : std::clamp<int64_t>(2 * n - j + 1, 0, n - 1);
  FXDrawAlong(s, line, 0, 1, across);
  return 0;
}
