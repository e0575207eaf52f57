// Stripes and blinds: the picture revealed slice by slice. Both are written
// once in "along" and "across" coordinates (along: the axis the slices grow
// on) and drawn through a transpose, so HSTRIPES and VSTRIPES, HBLINDS and
// VBLINDS are each one routine. Frame k is drawn from k alone.
#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxengine.h"

namespace {

struct vkSlices : vkFXPrivate {
  int32_t size = 1;    // stripe or blind size, across the growth (stripes) or along it (blinds)
  int32_t step = 1;    // pixels revealed per frame
  int32_t along = 0;   // the picture's extent along the growth
  int32_t across = 0;  // and across it
  int32_t blinds = 0;  // whole blinds along the picture
};

bool AlongX(const vkFXState& s) { return s.row->axis == kFXAlongX; }

// Draws the source rectangle given in along/across coordinates.
void DrawSlice(vkFXState& s, int64_t a, int64_t b, int64_t alongLength, int64_t acrossLength) {
  if (a >= INT32_MAX || b >= INT32_MAX) return;
  const int32_t pa = int32_t(a), pb = int32_t(b);
  const int32_t la = int32_t(std::min<int64_t>(alongLength, INT32_MAX));
  const int32_t lb = int32_t(std::min<int64_t>(acrossLength, INT32_MAX));
  if (AlongX(s))
    FXDrawSource(s, pa, pb, la, lb);
  else
    FXDrawSource(s, pb, pa, lb, la);
}

vkSlices* NewSlices(vkFXState& s) {
  auto* p = new (std::nothrow) vkSlices;
  if (!p) return nullptr;
  s.privateData.reset(p);
  p->along = AlongX(s) ? s.width : s.height;
  p->across = AlongX(s) ? s.height : s.width;
  return p;
}

}  // namespace

int32_t FXStripesSetup(vkFXState& s) {
  vkSlices* p = NewSlices(s);
  if (!p) return kErrOutOfMemory;
  int32_t size = s.row->size;
  if (size == 0) {
    size = s.parameter;
    if (s.parameter == kFXRandomParameter) {
      const int32_t r1 = rand(), r2 = rand();
      const int32_t quotient = p->along / (r2 % 8 + 2);
      size = quotient > 0 ? r1 % quotient : 1;
    }
  }
  // Stripes wider than the picture look the same as one stripe of its size.
  p->size = std::clamp(size, 1, std::max(p->across, 1));

  int32_t step = FXSpeedToStep(s.speed, p->along, 70, 30, 200);
  if (p->along <= 1) {
    step = 1;  // a single pixel: one frame
    s.stepCount = 1;
  } else if (step <= p->along - 1) {
    s.stepCount = FXStepCount(p->along - step, step, 0);
  } else {
    step = p->along - 1;
    s.stepCount = FXStepCount(1, p->along - 1, 0);
  }
  p->step = s.speed = step;
  return 0;
}

// Frame k: even stripes grow from the leading edge, odd ones from the far
// edge, step pixels each; the last frame ends flush with the edge.
int32_t FXStripesDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkSlices& p = s.Private<vkSlices>();
  int64_t offset = int64_t(k - 1) * p.step;
  if (offset >= p.along - p.step) {
    offset = std::max(p.along - p.step, 0);
    *last = true;
  }
  for (int64_t b = 0; b < p.across; b += 2 * int64_t(p.size)) {
    DrawSlice(s, offset, b, p.step, p.size);
    DrawSlice(s, p.along - offset - p.step, b + p.size, p.step, p.size);
  }
  return 0;
}

int32_t FXBlindsSetup(vkFXState& s) {
  vkSlices* p = NewSlices(s);
  if (!p) return kErrOutOfMemory;
  p->size = s.row->size > 0 ? s.row->size : 128;
  p->blinds = p->along / p->size;
  const int32_t step = std::min(FXSpeedToStep(s.speed, p->size, 8, 3, 20), p->size / 2);
  s.stepCount = FXStepCount(p->size - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

// Frame k: every blind, and the partial one at the far edge, is open to
// k x step pixels from its leading edge.
int32_t FXBlindsDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkSlices& p = s.Private<vkSlices>();
  int64_t position = int64_t(k) * p.step;
  if (position >= p.size) {
    position = p.size;
    *last = true;
  }
  for (int64_t i = 0; i <= p.blinds; i++) DrawSlice(s, i * p.size + position - p.step, 0, p.step, p.across);
  return 0;
}
