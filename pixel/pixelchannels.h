// Channel access for the kernels that work on R, G and B rather than whole
// words (colour and transition kernels): the format each pixel size is read
// in, chosen once per call, and whole-pixel reads, writes and blends through
// it. 32-bit pixels are written back with the fourth byte 0; 16-bit pixels
// go through 8-bit channels widened with low bits 0.
#pragma once

#include <cstdint>

#include "pixel/alphakernels.h"
#include "pixel/pixfmt.h"

// Calls fn.template operator()<F>() with the format a member of pixel size P
// reads: 32 bits by code 11 or 12, anything else as 10; 24 bits by code 9,
// anything else as 8; 16 bits by codes 0 to 7, other codes do nothing.
template <class P, class Fn>
void WithChannelFormat(int32_t format, Fn&& fn) {
  if constexpr (P::kBytes == 4) {
    if (format == PIXFMT_BGRA32)
      fn.template operator()<PIXFMT_BGRA32>();
    else if (format == PIXFMT_RGBA32)
      fn.template operator()<PIXFMT_RGBA32>();
    else
      fn.template operator()<PIXFMT_ARGB32>();
  } else if constexpr (P::kBytes == 3) {
    if (format == PIXFMT_BGR24)
      fn.template operator()<PIXFMT_BGR24>();
    else
      fn.template operator()<PIXFMT_RGB24>();
  } else {
    if (format >= 0 && format <= 7) DispatchPixFmt(format, [&]<int G>() {
        if constexpr (G <= 7) fn.template operator()<G>();
      });
  }
}

// R, G, B of one pixel word in format F, and back.
template <int F, class W>
inline void SplitPixel(const W& w, uint8_t rgb[3]) {
  vkFormatRGB<F>::Read(&w, rgb);
}
template <int F, class W>
inline W JoinPixel(const uint8_t rgb[3]) {
  W w;
  vkFormatRGB<F>::Write(&w, rgb);
  return w;
}

// The blend rule on the three channels of two pixels in format F: s weighed
// by a against d. With kWord (32-bit formats and weights 0 to 256 only, which
// the caller checks once) the three channels are weighed in one word.
template <int F, bool kWord = false, class W>
inline W BlendPixel(const W& s, const W& d, int32_t a) {
  if constexpr (kWord) {
    static_assert(F >= PIXFMT_ARGB32);
    return BlendWord32<F>(s, d, uint32_t(a));
  } else {
    uint8_t sc[3], dc[3];
    SplitPixel<F>(s, sc);
    SplitPixel<F>(d, dc);
    for (int i = 0; i < 3; ++i) dc[i] = BlendChannel(sc[i], dc[i], a);
    return JoinPixel<F, W>(dc);
  }
}

// Calls fn.template operator()<kWord>() with kWord true where the blend of
// pixel size P and format F by [weight] can work on whole words.
template <class P, int F, class Fn>
void WithWordBlend(int64_t weight, Fn&& fn) {
  if constexpr (P::kBytes == 4 && F >= PIXFMT_ARGB32) {
    if (weight >= 0 && weight <= 256) return fn.template operator()<true>();
  }
  fn.template operator()<false>();
}
