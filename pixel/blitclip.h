// Rectangle clipping shared by the blit front ends and the plane operations:
// a copy from (sx, sy) to (dx, dy) cut to the extents of both sides, negative
// origins moving the other side's origin along, all arithmetic in 64 bits.
#pragma once

#include <algorithm>
#include <cstdint>

#include "pixel/bitmap.h"

// Clips one axis: [s] and [d] advance together past negative values and the
// run [n] is cut to both limits. False when nothing is left.
inline bool ClipAxis(int32_t& s, int32_t& d, int32_t& n, int64_t sLimit, int64_t dLimit) {
  const int64_t shift = std::max<int64_t>({0, -int64_t(s), -int64_t(d)});
  const int64_t s2 = s + shift, d2 = d + shift;
  const int64_t n2 = std::min<int64_t>({int64_t(n) - shift, sLimit - s2, dLimit - d2});
  if (n2 < 1) return false;
  s = int32_t(s2), d = int32_t(d2), n = int32_t(n2);
  return true;
}

// Clips a source rectangle at (sx, sy) copied to (dx, dy) against the source
// extent [srcW] x [srcH] and the destination extent [dstW] x [dstH].
inline bool ClipPair(int32_t& sx, int32_t& sy, int32_t& dx, int32_t& dy, int32_t& w, int32_t& h,
                     int64_t srcW, int64_t srcH, int64_t dstW, int64_t dstH) {
  return ClipAxis(sx, dx, w, srcW, dstW) && ClipAxis(sy, dy, h, srcH, dstH);
}

// Clips a rectangle to [0, limitW) x [0, limitH).
inline bool ClipRect(int32_t& x, int32_t& y, int32_t& w, int32_t& h, int64_t limitW, int64_t limitH) {
  int32_t sx = x, sy = y;
  return ClipPair(sx, sy, x, y, w, h, INT32_MAX, INT32_MAX, limitW, limitH);
}

// Extents a plane can be clipped to: its size when known, else what its rows
// allow (the scratch records carry no size).
inline int64_t MaskExtentW(const vkPlane* p) { return p->width > 0 ? p->width : int64_t(p->bytesPerRow) * 8; }
inline int64_t ByteExtentW(const vkPlane* p) { return p->width > 0 ? p->width : p->bytesPerRow; }
inline int64_t PlaneExtentH(const vkPlane* p) { return p->height > 0 ? p->height : INT32_MAX; }
