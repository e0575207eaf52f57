// Turn-downs: the picture turns over like a page folded at its centre line.
// In the first half the old picture's half on the starting side is squashed
// towards the centre line while the new picture's same half grows in from
// the edge; in the second half the new picture's other half unfolds from
// the centre line over the old one. One routine serves the four ids: the
// row gives the axis and whether the page turns from the far edge. Frame k
// has turned k steps.
#include <algorithm>
#include <iterator>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"

namespace {

struct vkTurnDown : vkFXPrivate {
  int64_t step = 1;
  vkBitMapPtr buffer;  // the scaled halves
};

// The band [a, a + length) along the axis, across the whole picture.
vkFXRect Band(const vkFXState& s, int64_t a, int64_t length) {
  return s.row->axis == kFXAlongX ? vkFXRect{a, 0, length, s.height} : vkFXRect{0, a, s.width, length};
}

// The whole of [picture] unscaled.
void DrawWhole(vkFXState& s, const vkBitMap* picture, uint32_t flags) {
  if (picture) FXDrawAt(s, picture, nullptr, nullptr, s.width, s.height, 0, 0, 0, 0, s.width, s.height, flags);
}

// Draws what frame [j] adds to the frame before it.
int32_t DrawStep(vkFXState& s, int64_t j, uint32_t flags) {
  vkTurnDown& p = s.Private<vkTurnDown>();
  const int64_t size = FXAlong(s), half = size / 2, odd = size % 2, step = p.step;
  const int64_t t = j * step;
  const bool far = s.row->variant == kFXFromFar;
  const vkBitMap* old = s.oldPicture.get();
  if (t >= size) return DrawWhole(s, s.source, flags), 0;
  if (t <= half) {
    // The new half grows from the edge; the old one is squashed into the rest.
    const int64_t n = t + step > half ? half : t;
    const vkFXRect from = Band(s, far ? half : 0, half);
    if (int32_t rc = FXDrawScaled(s, p.buffer, s.source, from, Band(s, far ? size - n : 0, n), flags)) return rc;
    if (half - n > 0) return FXDrawScaled(s, p.buffer, old, from, Band(s, far ? half : n, half - n), flags);
    return 0;
  }
  // The other half unfolds from the centre line.
  const int64_t n = t - half;
  if (far) return FXDrawScaled(s, p.buffer, s.source, Band(s, 0, half + odd), Band(s, size - t + odd, n), flags);
  return FXDrawScaled(s, p.buffer, s.source, Band(s, half, half + odd), Band(s, half, n), flags);
}

}  // namespace

int32_t FXTurnDownSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkTurnDown;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  const int32_t size = FXAlong(s);
  const int32_t step = FXSpeedToStep(s.speed, size, 60, 30, 120);
  s.stepCount = FXStepCount(size - step, step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXTurnDownDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const vkTurnDown& p = s.Private<vkTurnDown>();
  const int64_t size = FXAlong(s);
  if (int64_t(k) * p.step >= size) *last = true;
  const uint32_t flags = s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
  // A layer's buffers start with the old picture; a frame drawn from
  // scratch starts from it too.
  if (fromScratch || (s.realtime && k == 1)) DrawWhole(s, s.oldPicture.get(), flags);
  if (!fromScratch) return DrawStep(s, k, flags);
  // A frame shows the last two steps of the first half (the finished half,
  // and the edge a squashed half leaves on an odd size), then the last two
  // steps up to it: later steps cover all that earlier ones drew.
  const int64_t finished = (size / 2) / p.step;
  int64_t steps[] = {finished - 1, finished, int64_t(k) - 1, int64_t(k)};
  std::sort(std::begin(steps), std::end(steps));
  int64_t drawn = 0;
  for (int64_t j : steps) {
    if (j <= drawn || j > k) continue;
    if (int32_t rc = DrawStep(s, j, flags)) return rc;
    drawn = j;
  }
  return 0;
}
