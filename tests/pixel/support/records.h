// Bitmap and plane records laid over the test pictures and planes, so that the
// front ends can be driven on pixels of every size with padded rows, and the
// per-pixel blend every reference model of the front ends shares.
#pragma once

#include <cstdint>

#include "pixel/alphakernels.h"
#include "pixel/bitmap.h"
#include "tests/pixel/support/channels.h"
#include "tests/pixel/support/pixeltest.h"

namespace pixeltest {

// A bitmap record over [p] (which keeps the pixels); the width may be given
// smaller than the picture's.
inline vkBitMap BitMapOver(Picture& p, int32_t fmt) {
  return vkBitMap{p.width, p.height, p.bytes.data(), p.perRow * p.bpp, p.bpp, fmt, nullptr};
}
inline vkPlane PlaneOver(Plane& p, int32_t width) {
  return vkPlane{p.data(), width, p.height, p.bytesPerRow, 1};
}

// The blend rule on two pixel values of one format, weight 255 a copy of the
// source, weight 0 the destination.
inline uint32_t RefAlphaPixel(const Format& f, uint32_t s, uint32_t d, int a) {
  if (a == 0) return d;
  if (a == 255) return s;
  int sc[3], dc[3];
  SplitRGB(f, s, sc);
  SplitRGB(f, d, dc);
  for (int i = 0; i < 3; ++i) dc[i] = RefBlend(sc[i], dc[i], a);
  return JoinRGB(f, dc);
}

}  // namespace pixeltest
