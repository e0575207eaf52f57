// Drawing helpers the geometric families share: a source rectangle given in
// "along" and "across" coordinates (drawn through a transpose, so a
// horizontal and a vertical effect are one routine), and the part of one
// rectangle outside another, as up to four bands.
#pragma once

#include <algorithm>
#include <cstdint>

#include "effects/fxengine.h"

// An inclusive-exclusive rectangle of the source: [x, x + w) x [y, y + h).
struct vkFXRect {
  int64_t x = 0, y = 0, w = 0, h = 0;
  bool Empty() const { return w <= 0 || h <= 0; }
};

// The source rectangle (x, y, w, h), cut to the source.
inline void FXDrawRect(vkFXState& s, vkFXRect r) {
  const int64_t x1 = std::max<int64_t>(r.x, 0), y1 = std::max<int64_t>(r.y, 0);
  const int64_t x2 = std::min<int64_t>(r.x + r.w, s.width), y2 = std::min<int64_t>(r.y + r.h, s.height);
  if (x2 <= x1 || y2 <= y1) return;
  FXDrawSource(s, int32_t(x1), int32_t(y1), int32_t(x2 - x1), int32_t(y2 - y1));
}

// The rectangle [a, a + la) along the effect's axis by [b, b + lb) across it.
inline void FXDrawAlong(vkFXState& s, int64_t a, int64_t b, int64_t la, int64_t lb) {
  if (s.row->axis == kFXAlongX)
    FXDrawRect(s, {a, b, la, lb});
  else
    FXDrawRect(s, {b, a, lb, la});
}

// The effect's extent along its axis and across it.
inline int32_t FXAlong(const vkFXState& s) { return s.row->axis == kFXAlongX ? s.width : s.height; }
inline int32_t FXAcross(const vkFXState& s) { return s.row->axis == kFXAlongX ? s.height : s.width; }

// Draws [outer] minus [inner]: the bands above and below [inner], then the
// bands left and right of it.
inline void FXDrawRectMinus(vkFXState& s, vkFXRect outer, vkFXRect inner) {
  const int64_t ox2 = outer.x + outer.w, oy2 = outer.y + outer.h;
  const int64_t ix1 = std::clamp(inner.x, outer.x, ox2), iy1 = std::clamp(inner.y, outer.y, oy2);
  const int64_t ix2 = std::clamp(inner.x + inner.w, outer.x, ox2), iy2 = std::clamp(inner.y + inner.h, outer.y, oy2);
  if (inner.Empty() || ix2 <= ix1 || iy2 <= iy1) return FXDrawRect(s, outer);
  FXDrawRect(s, {outer.x, outer.y, outer.w, iy1 - outer.y});
  FXDrawRect(s, {outer.x, iy2, outer.w, oy2 - iy2});
  FXDrawRect(s, {outer.x, iy1, ix1 - outer.x, iy2 - iy1});
  FXDrawRect(s, {ix2, iy1, ox2 - ix2, iy2 - iy1});
}

// Fills the rectangle of the effect's picture with 0xRRGGBB: in the layer's
// buffers in real-time layer mode (shown unless [flags] has kFXBlitNoShow),
// else on the display.
void FXFillRect(vkFXState& s, vkFXRect r, uint32_t colour, uint32_t flags);

// Scales the rectangle [from] of [picture] (the effect's size) to the size
// of [to] and draws it at [to] in the effect's picture, cut at its edges;
// [flags] as FXDrawAt's. The scaled pixels go through [buffer], kept from
// frame to frame and grown as needed. 0, 1000 or the scaler's error.
int32_t FXDrawScaled(vkFXState& s, vkBitMapPtr& buffer, const vkBitMap* picture, vkFXRect from, vkFXRect to,
                     uint32_t flags);

// A family's private record of whole numbers fixed by its set-up.
struct vkFXSteps : vkFXPrivate {
  int64_t step = 1;    // the step stored in speed
  int64_t a = 0, b = 0, c = 0;  // the family's own set-up values
};

// Makes the record; null without memory.
vkFXSteps* FXNewSteps(vkFXState& s);
