// Rectangles growing in the picture's proportions. Swiss grows one from
// each corner towards the centre; quad-rectangle grows one from the centre
// of the top-left and bottom-right quarters, then of the other two. Each
// frame draws only the strips by which the rectangles grew since the frame
// before; the last frame draws the whole picture. Frame k comes from k and
// the step alone.
#include <algorithm>
#include <cstdint>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"

namespace {

struct vkSize {
  int64_t w = 0, h = 0;
};

// The rectangle [extent] long along the picture's longer side, the other
// side in proportion (at least 1).
vkSize Proportional(const vkFXState& s, int64_t extent) {
  const int64_t larger = std::max(s.width, s.height), smaller = std::min(s.width, s.height);
  const double ratio = double(smaller) / double(larger);
  const int64_t other = std::max<int64_t>(int64_t(ratio * double(extent) + 1.0), 1);
  return s.height > s.width ? vkSize{other, extent} : vkSize{extent, other};
}

int32_t GrowingSetup(vkFXState& s, int32_t size) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t step = std::clamp(FXSpeedToStep(s.speed, std::max(s.width, s.height), 120, 60, 240), 1, 30);
  p->step = s.speed = step;
  s.stepCount = FXStepCount(size, step, 1);
  return 0;
}

}  // namespace

int32_t FXSwissSetup(vkFXState& s) { return GrowingSetup(s, std::max(s.width, s.height) / 2); }

// Frame k: the corner rectangles k steps along, drawn as the two strips
// each grew by; the whole picture once they reach half the longer side.
int32_t FXSwissDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const int64_t w = s.width, h = s.height, step = s.Private<vkFXSteps>().step, t = int64_t(k) * step;
  if (t >= std::max(w, h) / 2) {
    *last = true;
    FXDrawRect(s, {0, 0, w, h});
    return 0;
  }
  const vkSize now = Proportional(s, t), before = k > 1 ? Proportional(s, t - step) : vkSize{};
  const int64_t cw = now.w, ch = now.h, pw = before.w, ph = before.h, dw = cw - pw, dh = ch - ph;
  const vkFXRect strips[] = {
      {pw, 0, dw, ch},          {0, ph, cw, dh},           // top left
      {0, h - ch, cw, dh},      {pw, h - ph, dw, ph},      // bottom left
      {w - cw, h - ch, cw, dh}, {w - cw, h - ph, dw, ph},  // bottom right
      {w - cw, 0, dw, ch},      {w - cw, ph, cw, dh},      // top right
  };
  for (const vkFXRect& r : strips) FXDrawRect(s, r);
  return 0;
}

int32_t FXQuadRectSetup(vkFXState& s) { return GrowingSetup(s, std::max(s.width, s.height)); }

// Stage 0 grows the rectangles of the top-left and bottom-right quarters
// until the frame that reaches half the longer side; stage 1 then starts
// those of the top-right and bottom-left quarters from nothing. A rectangle
// as wide as its quarter is the whole quarter. The frame that reaches the
// longer side draws the whole picture, also when it would start stage 1.
int32_t FXQuadRectDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const int64_t w = s.width, h = s.height, larger = std::max(w, h), step = s.Private<vkFXSteps>().step;
  const int64_t t = int64_t(k) * step;
  if (t >= larger) {
    *last = true;
    FXDrawRect(s, {0, 0, w, h});
    return 0;
  }
  const int64_t switchFrame = std::max<int64_t>(1, (larger / 2 + step - 1) / step);
  const bool stage1 = k > switchFrame;
  const int64_t base = stage1 ? switchFrame * step : 0;
  const int64_t qw = w / 2, qh = h / 2;
  auto rectangle = [&](int64_t u) {
    vkSize r = Proportional(s, u);
    if (r.w >= qw) r = {qw, qh};
    return r;
  };
  const vkSize now = rectangle(t - base);
  const vkSize before = k == 1 || k == switchFrame + 1 ? vkSize{} : rectangle(t - step - base);
  const int64_t dw = (now.w - before.w) / 2 + 1, dh = (now.h - before.h) / 2 + 1;
  int64_t a = (qw - now.w) / 2 + (stage1 ? qw : 0), b = (qh - now.h) / 2;
  for (int pass = 0; pass < 2; pass++) {
    FXDrawRect(s, {a, b, dw, now.h});
    FXDrawRect(s, {a + dw, b, before.w, dh});
    FXDrawRect(s, {a + now.w - dw, b, dw, now.h});
    FXDrawRect(s, {a + dw, b + now.h - dh, before.w, dh});
    // To the diagonally opposite quarter: down, and right (stage 0) or left.
    b += qh + h % 2;
    a += stage1 ? -(qw + w % 2) : qw + w % 2;
  }
  return 0;
}
