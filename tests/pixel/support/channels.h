// Channel helpers for the reference models of the colour and transition
// kernels: every pixel size and format as a (bytes per pixel, code) pair,
// and a pixel value split into R, G, B and joined back, as the formats read.
#pragma once

#include <cstdint>

#include "pixel/pixfmt.h"
#include "tests/pixel/support/pixeltest.h"

namespace pixeltest {

struct Format {
  int32_t bpp, fmt;
};
inline constexpr Format kAllFormats[] = {{4, 10}, {4, 11}, {4, 12}, {3, 8}, {3, 9}, {2, 0}, {2, 1},
                                         {2, 2},  {2, 3},  {2, 4},  {2, 5}, {2, 6}, {2, 7}};

// R, G, B of a pixel value (Picture::get), and back; a 32-bit pixel joins
// with its fourth byte 0.
inline void SplitRGB(const Format& f, uint32_t v, int c[3]) {
  if (f.bpp == 4) return Split32(v, f.fmt, c);
  if (f.bpp == 3) {
    int hi = int(v >> 16 & 255), lo = int(v & 255);
    c[0] = f.fmt == 9 ? lo : hi, c[1] = int(v >> 8 & 255), c[2] = f.fmt == 9 ? hi : lo;
    return;
  }
  uint16_t w = uint16_t(v);
  uint8_t rgb[3];
  ReadPixelRGB(&w, f.fmt, rgb);
  for (int i = 0; i < 3; ++i) c[i] = rgb[i];
}
inline uint32_t JoinRGB(const Format& f, const int c[3]) {
  if (f.bpp == 4) return Join32(c, f.fmt);
  if (f.bpp == 3) {
    int hi = f.fmt == 9 ? c[2] : c[0], lo = f.fmt == 9 ? c[0] : c[2];
    return uint32_t(hi) << 16 | uint32_t(c[1]) << 8 | uint32_t(lo);
  }
  uint8_t rgb[3] = {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])};
  uint16_t w;
  WritePixelRGB(&w, f.fmt, rgb);
  return w;
}

}  // namespace pixeltest
