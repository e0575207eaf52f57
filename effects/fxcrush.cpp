// Crushes and flip-coins: whole pictures scaled every frame. A crush grows
// the new picture from one edge while the old picture is squeezed into the
// rest; a flip-coin shrinks the old picture to a line about its middle (or
// towards its bottom or right edge) over a background colour, as if a coin
// turned, then grows the new one back from that line. One routine each:
// the row gives the axis and the edge or anchor. Frame k has moved k steps.
#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"

namespace {

struct vkScaledPictures : vkFXPrivate {
  int64_t step = 1;
  vkBitMapPtr buffer;  // the scaled picture
};

// The band [a, a + length) along the axis, across the whole picture.
vkFXRect Band(const vkFXState& s, int64_t a, int64_t length) {
  return s.row->axis == kFXAlongX ? vkFXRect{a, 0, length, s.height} : vkFXRect{0, a, s.width, length};
}

uint32_t DrawFlags(const vkFXState& s, bool fromScratch) {
  return s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
}

vkScaledPictures* NewScaledPictures(vkFXState& s, int32_t size, int32_t steps) {
  auto* p = new (std::nothrow) vkScaledPictures;
  if (!p) return nullptr;
  s.privateData.reset(p);
  const int32_t step = FXSpeedToStep(s.speed, size, 60, 30, 120);
  s.stepCount = FXStepCount(steps * size - step, step, 0);
  p->step = s.speed = step;
  return p;
}

// ---- flip-coin ---------------------------------------------------------------

// The coin's position after [j] steps: 0 to twice the size.
int64_t CoinPosition(const vkFXState& s, int64_t j) {
  const int64_t size = FXAlong(s);
  return std::min(j * s.Private<vkScaledPictures>().step, 2 * size);
}

// The picture's band at [position]: as wide as its distance from the
// turning point (at least 1), centred or kept at the far edge.
vkFXRect CoinBand(const vkFXState& s, int64_t position) {
  const int64_t size = FXAlong(s), extent = std::max<int64_t>(std::llabs(position - size), 1);
  const int64_t at = s.row->variant == kFXFlipLow ? size - extent : (size - extent) / 2;
  return Band(s, at, extent);
}

// Draws frame [j]'s picture; with [strips], first fills with the colour
// what the shrinking picture left since frame j - 1.
int32_t DrawCoin(vkFXState& s, int64_t j, bool strips, uint32_t flags) {
  const int64_t size = FXAlong(s), position = CoinPosition(s, j);
  const bool oldSide = position <= size;
  const vkFXRect now = CoinBand(s, position);
  const bool alongX = s.row->axis == kFXAlongX;
  if (strips && oldSide) {
    const vkFXRect before = CoinBand(s, CoinPosition(s, j - 1));
    const int64_t a0 = alongX ? before.x : before.y, a1 = a0 + (alongX ? before.w : before.h);
    const int64_t b0 = alongX ? now.x : now.y, b1 = b0 + (alongX ? now.w : now.h);
    const uint32_t colour = uint32_t(s.parameter) & 0xFFFFFF;
    FXFillRect(s, Band(s, a0, b0 - a0), colour, flags);
    FXFillRect(s, Band(s, b1, a1 - b1), colour, flags);
  }
  const vkBitMap* picture = oldSide ? s.oldPicture.get() : s.source;
  return FXDrawScaled(s, s.Private<vkScaledPictures>().buffer, picture, Band(s, 0, size), now, flags);
}

}  // namespace

// ---- crush --------------------------------------------------------------------

int32_t FXCrushSetup(vkFXState& s) { return NewScaledPictures(s, FXAlong(s), 1) ? 0 : kErrOutOfMemory; }

// Frame k: the new picture scaled to k steps at its edge, the old one to
// the rest.
int32_t FXCrushDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkScaledPictures& p = s.Private<vkScaledPictures>();
  const int64_t size = FXAlong(s);
  int64_t shown = int64_t(k) * p.step;
  if (shown >= size) shown = size, *last = true;
  const int64_t rest = size - shown;
  const bool far = s.row->variant == kFXFromFar;
  const uint32_t flags = DrawFlags(s, fromScratch);
  const vkFXRect whole = Band(s, 0, size);
  if (int32_t rc = FXDrawScaled(s, p.buffer, s.source, whole, Band(s, far ? rest : 0, shown), flags)) return rc;
  return FXDrawScaled(s, p.buffer, s.oldPicture.get(), whole, Band(s, far ? 0 : shown, rest), flags);
}

// ---- flip-coin -------------------------------------------------------------

int32_t FXFlipCoinSetup(vkFXState& s) {
  if (s.parameter == kFXRandomParameter) s.parameter = 0;
  return NewScaledPictures(s, FXAlong(s), 2) ? 0 : kErrOutOfMemory;
}

int32_t FXFlipCoinDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  const int64_t size = FXAlong(s), step = s.Private<vkScaledPictures>().step;
  if (int64_t(k) * step >= 2 * size) *last = true;
  const uint32_t flags = DrawFlags(s, fromScratch);
  const vkBitMap* old = s.oldPicture.get();
  // The last step that still showed the old picture; 0 when none did.
  const int64_t turned = size / step;
  if (!fromScratch) {
    // A layer's buffers start with the old picture.
    if (s.realtime && k == 1 && old)
      FXDrawAt(s, old, nullptr, nullptr, s.width, s.height, 0, 0, 0, 0, s.width, s.height, flags);
    return DrawCoin(s, k, true, flags);
  }
  // From scratch: the colour where the old picture shrank away, and the
  // last frame of it under the new picture; the old picture whole before
  // the first frame, or where the coin never showed it.
  if (k == 0 || turned == 0) {
    if (old) FXDrawAt(s, old, nullptr, nullptr, s.width, s.height, 0, 0, 0, 0, s.width, s.height, flags);
    if (k == 0) return 0;
  } else {
    FXFillRect(s, Band(s, 0, size), uint32_t(s.parameter) & 0xFFFFFF, flags);
    if (k > turned)
      if (int32_t rc = DrawCoin(s, turned, false, flags)) return rc;
  }
  return DrawCoin(s, k, false, flags);
}
