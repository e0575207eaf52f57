// Colour kernels, each family written once over the pixel traits and the
// channel format of its pixel size (pixelchannels.h), the format chosen once
// per call. Grey is the only family with floating point per pixel; the
// gradient uses it only to find its slope, and steps in 64-bit integers.
#include "pixel/colourkernels.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/numconv.h"
#include "pixel/pixelchannels.h"
#include "pixel/planebits.h"
#include "pixel/simd.h"

namespace {

// ---- grey --------------------------------------------------------------------

// trunc(0.299 R + 0.587 G + 0.114 B), summed green, red, blue with fused
// multiply-adds, so that mid grey (128, 128, 128) comes out 127.
inline uint8_t GreyOf(const uint8_t c[3]) {
  double sum = std::fma(0.114, double(c[2]), std::fma(0.299, double(c[0]), 0.587 * double(c[1])));
  return uint8_t(vkDoubleToInt32(sum));
}

template <class P, int F>
void GreyRows(void* pixels, int32_t width, int32_t height, int32_t pixelsPerRow) {
  using W = typename P::Word;
  for (int32_t y = 0; y < height; ++y) {
    W* row = PixelAt<W>(pixels, pixelsPerRow, 0, y);
    for (int32_t x = 0; x < width; ++x) {
      uint8_t c[3];
      SplitPixel<F>(row[x], c);
      c[0] = c[1] = c[2] = GreyOf(c);
      row[x] = JoinPixel<F, W>(c);
    }
  }
}

template <class P>
void Grey(void* pixels, int32_t width, int32_t height, int32_t format, int32_t pixelsPerRow) {
  if (width < 1 || height < 1) return;
  WithChannelFormat<P>(format, [&]<int F>() { GreyRows<P, F>(pixels, width, height, pixelsPerRow); });
}

// ---- tint and mix ------------------------------------------------------------

// c + ((weight * (t - c)) >> 8) as its low 8 bits; 64-bit, so that any weight
// a caller passes is defined and weights 0..256 give the plain rule.
inline uint8_t Towards(int32_t c, int32_t t, int64_t weight) {
  return uint8_t(int64_t(c) + ((weight * (t - c)) >> 8));
}

template <class P, int F, bool kWord>
void TintRows(const vkTintBlock& b, const uint8_t tint[3]) {
  using W = typename P::Word;
  const int64_t level = b.level;
  const W target = JoinPixel<F, W>(tint);
  for (int32_t y = 0; y < b.height; ++y) {
    W* row = PixelAt<W>(b.pixels, b.pixelsPerRow, b.x, b.y + y);
    for (int32_t x = 0; x < b.width; ++x) {
      if constexpr (kWord) {
        row[x] = BlendPixel<F, true>(target, row[x], int32_t(level));
      } else {
        uint8_t c[3];
        SplitPixel<F>(row[x], c);
        for (int i = 0; i < 3; ++i) c[i] = Towards(c[i], tint[i], level);
        row[x] = JoinPixel<F, W>(c);
      }
    }
  }
}

template <class P>
void Tint(const vkTintBlock& b) {
  if (b.width < 1 || b.height < 1) return;
  uint8_t tint[3];
  const uint32_t c = b.colour;
  if constexpr (P::kBytes == 2) {
    // The colour comes in the 5-6-5 layout; widen it as the pixels are.
    uint16_t w = uint16_t(c);
    vkFormatRGB<PIXFMT_RGB16>::Read(&w, tint);
  } else {
    tint[0] = uint8_t(c >> 16), tint[1] = uint8_t(c >> 8), tint[2] = uint8_t(c);
  }
  WithChannelFormat<P>(b.format, [&]<int F>() {
    WithWordBlend<P, F>(b.level, [&]<bool kWord>() { TintRows<P, F, kWord>(b, tint); });
  });
}

// Mix moves the source towards the destination by (255 - level) / 256, one
// loop without a mask and one with.
template <class P, int F, bool kMask, bool kWord>
void MixRows(const vkMixBlock& b, int32_t width, int32_t height, int32_t level, int32_t srcPerRow,
             int32_t dstPerRow, int32_t maskBytesPerRow) {
  using W = typename P::Word;
  const int64_t weight = 255 - int64_t(level);
  for (int32_t y = 0; y < height; ++y) {
    const W* s = PixelAt<W>(b.srcPixels, srcPerRow, 0, y);
    W* d = PixelAt<W>(b.dstPixels, dstPerRow, 0, y);
    const uint8_t* m = kMask ? PlaneRow(b.mask, maskBytesPerRow, y) : nullptr;
    for (int32_t x = 0; x < width; ++x) {
      if constexpr (kMask) {
        if (!GetBit(m, b.maskBitX + x)) continue;
      }
      if constexpr (kWord) {
        d[x] = BlendPixel<F, true>(d[x], s[x], int32_t(weight));
      } else {
        uint8_t sc[3], dc[3];
        SplitPixel<F>(s[x], sc);
        SplitPixel<F>(d[x], dc);
        for (int i = 0; i < 3; ++i) dc[i] = Towards(sc[i], dc[i], weight);
        d[x] = JoinPixel<F, W>(dc);
      }
    }
  }
}

template <class P>
void Mix(const vkMixBlock& b, int32_t width, int32_t height, int32_t level, int32_t format,
         int32_t srcPerRow, int32_t dstPerRow, int32_t maskBytesPerRow) {
  if (width < 1 || height < 1) return;
  // The blend works channel by channel, so 24-bit pixels need no byte order.
  if constexpr (P::kBytes == 3) format = PIXFMT_RGB24;
  WithChannelFormat<P>(format, [&]<int F>() {
    WithWordBlend<P, F>(255 - int64_t(level), [&]<bool kWord>() {
      if (b.mask)
        MixRows<P, F, true, kWord>(b, width, height, level, srcPerRow, dstPerRow, maskBytesPerRow);
      else
        MixRows<P, F, false, kWord>(b, width, height, level, srcPerRow, dstPerRow, maskBytesPerRow);
    });
  });
}

// ---- crossfade ---------------------------------------------------------------

// o * 256 + (n - o) * level in 16-bit lanes, modulo 2^16, is exact: the
// true value lies in [0, 65280]. Each row returns the pixels it did.
#if defined(__SSE2__)
int32_t CrossfadeRowSSE2(const uint32_t* o, const uint32_t* n, uint32_t* d, int32_t count, int32_t level,
                         uint32_t mask) {
  const __m128i zero = _mm_setzero_si128(), lv = _mm_set1_epi16(int16_t(level));
  const __m128i cm = _mm_set1_epi32(int32_t(mask));
  int32_t x = 0;
  for (; x + 4 <= count; x += 4) {
    const __m128i ov = _mm_loadu_si128(reinterpret_cast<const __m128i*>(o + x));
    const __m128i nv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(n + x));
    const __m128i oLo = _mm_unpacklo_epi8(ov, zero), oHi = _mm_unpackhi_epi8(ov, zero);
    const __m128i lo = _mm_add_epi16(_mm_slli_epi16(oLo, 8),
                                     _mm_mullo_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(nv, zero), oLo), lv));
    const __m128i hi = _mm_add_epi16(_mm_slli_epi16(oHi, 8),
                                     _mm_mullo_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(nv, zero), oHi), lv));
    const __m128i r = _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_and_si128(r, cm));
  }
  return x;
}
#endif

#if defined(__x86_64__)
__attribute__((target("avx2"))) int32_t CrossfadeRowAVX2(const uint32_t* o, const uint32_t* n, uint32_t* d,
                                                         int32_t count, int32_t level, uint32_t mask) {
  const __m256i zero = _mm256_setzero_si256(), lv = _mm256_set1_epi16(int16_t(level));
  const __m256i cm = _mm256_set1_epi32(int32_t(mask));
  int32_t x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m256i ov = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(o + x));
    const __m256i nv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(n + x));
    const __m256i oLo = _mm256_unpacklo_epi8(ov, zero), oHi = _mm256_unpackhi_epi8(ov, zero);
    const __m256i lo = _mm256_add_epi16(
        _mm256_slli_epi16(oLo, 8), _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(nv, zero), oLo), lv));
    const __m256i hi = _mm256_add_epi16(
        _mm256_slli_epi16(oHi, 8), _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(nv, zero), oHi), lv));
    const __m256i r = _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), _mm256_and_si256(r, cm));
  }
  return x;
}
#endif

template <int F>
void CrossfadeRows(const vkCrossfadeBlock& b) {
  const int32_t simd = PixelSimdLevel();
  const uint32_t level = uint32_t(std::clamp(b.level, 0, 255));
  for (int32_t y = 0; y < b.height; ++y) {
    const uint32_t* o = PixelAt<uint32_t>(b.oldPixels, b.oldPixelsPerRow, 0, y);
    const uint32_t* n = PixelAt<uint32_t>(b.newPixels, b.newPixelsPerRow, 0, y);
    uint32_t* d = PixelAt<uint32_t>(b.dstPixels, b.dstPixelsPerRow, 0, y);
    int32_t x = 0;
#if defined(__x86_64__)
    if (simd >= kPixelSimdAVX2) x = CrossfadeRowAVX2(o, n, d, b.width, int32_t(level), ColorMask32(F));
#endif
#if defined(__SSE2__)
    if (simd == kPixelSimdSSE2) x = CrossfadeRowSSE2(o, n, d, b.width, int32_t(level), ColorMask32(F));
#endif
    for (; x < b.width; ++x) d[x] = BlendWord32<F>(n[x], o[x], level);
  }
  (void)simd;
}

// ---- linear gradient ---------------------------------------------------------

// Where the gradient starts and how steep it runs, found once per call.
struct GradientSlope {
  int64_t absS, absC;  // |trunc(255 sin)|, |trunc(255 cos)| of the angle
  bool fromRight;      // distances run from the right edge: w - x
  bool fromBottom;     // distances run from the bottom edge: h - r
};

GradientSlope SlopeOf(int32_t angle) {
  const double theta = double(angle) * 3.141592653589793 / 180.0;
  GradientSlope g{};
  g.absS = std::abs(int64_t(vkDoubleToInt32(255.0 * std::sin(theta))));
  g.absC = std::abs(int64_t(vkDoubleToInt32(255.0 * std::cos(theta))));
  int64_t a = angle;
  if (a < 0) a = 360 - ((-a) % 360);
  a %= 360;
  g.fromBottom = a > 90 && a <= 270;
  g.fromRight = a > 180;
  return g;
}

// t = (h (dx |S| + dy |C|)) / (w |S| + h |C|) along each row, kept as
// quotient and remainder while the numerator steps by h |S| per pixel (down
// when the distances run from the right edge); each channel is
// c1 + ((c2 - c1) t) / h. The word is recomputed only where t changes.
template <class P, int F>
void GradientRows(const vkGradientBlock& b, const GradientSlope& g) {
  using W = typename P::Word;
  const int64_t w = b.width, h = b.height;
  const uint8_t c1[3] = {uint8_t(b.colour1 >> 16), uint8_t(b.colour1 >> 8), uint8_t(b.colour1)};
  const uint8_t c2[3] = {uint8_t(b.colour2 >> 16), uint8_t(b.colour2 >> 8), uint8_t(b.colour2)};
  const int64_t den = w * g.absS + h * g.absC;  // positive: |S| and |C| are never both 0
  const int64_t step = g.fromRight ? -h * g.absS : h * g.absS;
  // The step as a floored quotient and a remainder in [0, den).
  int64_t stepT = step / den, stepRem = step % den;
  if (stepRem < 0) stepRem += den, stepT -= 1;
  for (int32_t r = 0; r < b.height; ++r) {
    W* row = PixelAt<W>(b.pixels, b.pixelsPerRow, b.x, b.y + r);
    const int64_t dy = g.fromBottom ? h - r : r;
    const int64_t num = h * ((g.fromRight ? w : 0) * g.absS + dy * g.absC);  // never negative
    int64_t t = num / den, rem = num % den, lastT = -1;
    W word{};
    for (int32_t x = 0; x < b.width; ++x) {
      if (t != lastT) {
        uint8_t c[3];
        for (int i = 0; i < 3; ++i) c[i] = uint8_t(c1[i] + ((int64_t(c2[i]) - c1[i]) * t) / h);
        word = JoinPixel<F, W>(c);
        lastT = t;
      }
      row[x] = word;
      t += stepT, rem += stepRem;
      if (rem >= den) rem -= den, t += 1;
    }
  }
}

template <class P>
void Gradient(const vkGradientBlock& b) {
  if (b.width < 1 || b.height < 1) return;
  const GradientSlope g = SlopeOf(b.angle);
  WithChannelFormat<P>(b.format, [&]<int F>() { GradientRows<P, F>(b, g); });
}

}  // namespace

void ConvertPixelsToGray32(void* pixels, int32_t width, int32_t height, int32_t format,
                           int32_t pixelsPerRow) {
  Grey<vkPix32>(pixels, width, height, format, pixelsPerRow);
}
void ConvertPixelsToGray24(void* pixels, int32_t width, int32_t height, int32_t format,
                           int32_t pixelsPerRow) {
  Grey<vkPix24>(pixels, width, height, format, pixelsPerRow);
}
void ConvertPixelsToGray16(void* pixels, int32_t width, int32_t height, int32_t format,
                           int32_t pixelsPerRow) {
  Grey<vkPix16>(pixels, width, height, format, pixelsPerRow);
}

void TintPixels32(const vkTintBlock* b) { Tint<vkPix32>(*b); }
void TintPixels24(const vkTintBlock* b) { Tint<vkPix24>(*b); }
void TintPixels16(const vkTintBlock* b) { Tint<vkPix16>(*b); }

void MixPixels32(const vkMixBlock* b, int32_t width, int32_t height, int32_t level, int32_t format,
                 int32_t srcPixelsPerRow, int32_t dstPixelsPerRow, int32_t maskBytesPerRow) {
  Mix<vkPix32>(*b, width, height, level, format, srcPixelsPerRow, dstPixelsPerRow, maskBytesPerRow);
}
void MixPixels24(const vkMixBlock* b, int32_t width, int32_t height, int32_t level, int32_t format,
                 int32_t srcPixelsPerRow, int32_t dstPixelsPerRow, int32_t maskBytesPerRow) {
  Mix<vkPix24>(*b, width, height, level, format, srcPixelsPerRow, dstPixelsPerRow, maskBytesPerRow);
}
void MixPixels16(const vkMixBlock* b, int32_t width, int32_t height, int32_t level, int32_t format,
                 int32_t srcPixelsPerRow, int32_t dstPixelsPerRow, int32_t maskBytesPerRow) {
  Mix<vkPix16>(*b, width, height, level, format, srcPixelsPerRow, dstPixelsPerRow, maskBytesPerRow);
}

void CrossfadePixels32(const vkCrossfadeBlock* b) {
  if (b->width < 1 || b->height < 1) return;
  WithChannelFormat<vkPix32>(b->format, [&]<int F>() { CrossfadeRows<F>(*b); });
}

void FillLinearGradient32(const vkGradientBlock* b) { Gradient<vkPix32>(*b); }
void FillLinearGradient24(const vkGradientBlock* b) { Gradient<vkPix24>(*b); }
void FillLinearGradient16(const vkGradientBlock* b) { Gradient<vkPix16>(*b); }
