// The scaler, the transform resampler and the polygon scan fill. Nearest
// scaling walks the step tables (32-bit pixels their running sum) without
// division or floating point, and repeats a row that samples the same source
// row as the one above; smooth
// scaling of 32-bit pixels interpolates whole words (with an SSE2 row), other
// formats go through the per-format converters, chosen once per call. Each
// plane (pixels, mask, alpha) has its own tight loop per row.
#include "pixel/resample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/numconv.h"
#include "pixel/allocate.h"
#include "pixel/pixfmt.h"
#include "pixel/planebits.h"
#include "pixel/simd.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// ---- scaler -------------------------------------------------------------------

// Entry 0 is 0; entry i + 1 = step + fraction of entry i. The step is
// trunc(n * 65536 / d), which integer division gives exactly for these sizes.
// A part of the scaled picture starting at [first] begins with the
// fraction that sample had, so its samples are the whole picture's; entries
// run up to [count].
void FillStepTable(vkScaleStep* t, int32_t n, int32_t d, int64_t first, int32_t count) {
  const uint64_t step = (uint64_t(n < 0 ? 0 : n) << 16) / uint64_t(d);
  t[0] = (uint64_t(first) * step) & 0xFFFF;
  for (int32_t i = 0; i < count; ++i) t[i + 1] = step + (t[i] & 0xFFFF);
}

inline int32_t Advance(vkScaleStep e) { return int32_t(e >> 16); }
inline int32_t Fraction(vkScaleStep e) { return int32_t(e & 0xFFFF); }

// Bilinear on 8-bit values with 16-bit fractions.
inline uint8_t Lerp2(int32_t p00, int32_t p10, int32_t p01, int32_t p11, int32_t fx, int32_t fy) {
  int32_t top = (p00 + ((fx * (p10 - p00)) >> 16)) & 255;
  int32_t bottom = (p01 + ((fx * (p11 - p01)) >> 16)) & 255;
  return uint8_t(top + ((fy * (bottom - top)) >> 16));
}

template <int kBytes>
void NearestPixelRow(const uint8_t* s, uint8_t* d, const vkScaleStep* xt, int32_t n) {
  ptrdiff_t pos = 0;
  for (int32_t i = 0; i < n; ++i) {
    std::memcpy(d + ptrdiff_t(i) * kBytes, s + pos * kBytes, kBytes);
    pos += Advance(xt[i + 1]);
  }
}

// 32-bit pixels: destination i samples source pixel (i * step) >> 16, which
// is the running sum of the step table's advances; four independent sums
// keep the loads apart.
void NearestWordRow(const uint32_t* s, uint32_t* d, uint64_t start, uint64_t step, int32_t n) {
  int32_t i = 0;
  uint64_t a0 = start, a1 = start + step, a2 = start + 2 * step, a3 = start + 3 * step;
  const uint64_t step4 = 4 * step;
  for (; i + 4 <= n; i += 4) {
    const uint32_t p0 = s[a0 >> 16], p1 = s[a1 >> 16], p2 = s[a2 >> 16], p3 = s[a3 >> 16];
    d[i] = p0, d[i + 1] = p1, d[i + 2] = p2, d[i + 3] = p3;
    a0 += step4, a1 += step4, a2 += step4, a3 += step4;
  }
  for (; i < n; ++i, a0 += step) d[i] = s[a0 >> 16];
}

template <int F>
void SmoothPixelRow(const uint8_t* r0, const uint8_t* r1, uint8_t* d, const vkScaleStep* xt,
                    int32_t n, int32_t srcWidth, int32_t fy) {
  constexpr int kBytes = F <= 7 ? 2 : F <= 9 ? 3 : 4;
  ptrdiff_t pos = 0;
  for (int32_t i = 0; i < n; ++i) {
    ptrdiff_t right = pos + 1 < srcWidth ? pos + 1 : srcWidth - 1;
    uint8_t p00[3], p10[3], p01[3], p11[3], out[3];
    vkFormatRGB<F>::Read(r0 + pos * kBytes, p00);
    vkFormatRGB<F>::Read(r0 + right * kBytes, p10);
    vkFormatRGB<F>::Read(r1 + pos * kBytes, p01);
    vkFormatRGB<F>::Read(r1 + right * kBytes, p11);
    const int32_t fx = Fraction(xt[i]);
    for (int c = 0; c < 3; ++c) out[c] = Lerp2(p00[c], p10[c], p01[c], p11[c], fx, fy);
    vkFormatRGB<F>::Write(d + ptrdiff_t(i) * kBytes, out);
    pos += Advance(xt[i + 1]);
  }
}

// The same interpolation for the 32-bit formats, on whole words: with the
// weights 65536 - f and f both terms are non-negative, so
// p0 + ((f * (p1 - p0)) >> 16) = (p0 * (65536 - f) + p1 * f) >> 16 exactly,
// and two channels share one 64-bit product without carrying into each other.
inline uint32_t LerpWords(uint32_t p0, uint32_t p1, uint64_t f) {
  const uint64_t nf = 65536 - f;
  const uint64_t rb0 = (p0 & 0xFF) | uint64_t(p0 & 0xFF0000) << 16;
  const uint64_t rb1 = (p1 & 0xFF) | uint64_t(p1 & 0xFF0000) << 16;
  const uint64_t rb = ((rb0 * nf + rb1 * f) >> 16) & 0x000000FF000000FFull;
  const uint64_t g = (((p0 >> 8 & 0xFF) * nf + (p1 >> 8 & 0xFF) * f) >> 16) & 0xFF;
  return uint32_t(rb) | uint32_t(rb >> 16) | uint32_t(g << 8);
}

#if defined(__SSE2__)
// p0 + ((f * (p1 - p0)) >> 16) in 16-bit lanes with f in 0..65535: the signed
// high product of (p1 - p0) and f read as signed is exact once (p1 - p0) is
// added back where f is 32768 or more.
inline __m128i LerpLanes(__m128i p0, __m128i p1, __m128i f) {
  const __m128i diff = _mm_sub_epi16(p1, p0);
  const __m128i t = _mm_add_epi16(_mm_mulhi_epi16(diff, f), _mm_and_si128(diff, _mm_srai_epi16(f, 15)));
  return _mm_add_epi16(p0, t);
}

// Four destination pixels at a time; returns how many pixels were done and
// leaves the source column of the next one in [pos].
template <int kShift>
int32_t SmoothWordRowSSE2(const uint32_t* r0, const uint32_t* r1, uint32_t* d, const vkScaleStep* xt,
                          int32_t n, ptrdiff_t next, int32_t fy, ptrdiff_t& pos) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i fyv = _mm_set1_epi16(int16_t(uint16_t(fy)));
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    // Built in registers: storing the samples and reloading them as one
    // vector would stall on store forwarding.
    ptrdiff_t p[4];
    int16_t fx[4];
    for (int k = 0; k < 4; ++k) {
      p[k] = pos;
      fx[k] = int16_t(uint16_t(Fraction(xt[i + k])));
      pos += Advance(xt[i + k + 1]);
    }
    auto gather = [&](const uint32_t* r, ptrdiff_t o) {
      return _mm_srli_epi32(_mm_setr_epi32(int32_t(r[p[0] + o]), int32_t(r[p[1] + o]), int32_t(r[p[2] + o]),
                                           int32_t(r[p[3] + o])),
                            kShift);
    };
    const __m128i v00 = gather(r0, 0), v10 = gather(r0, next), v01 = gather(r1, 0), v11 = gather(r1, next);
    const __m128i fLo = _mm_setr_epi16(fx[0], fx[0], fx[0], fx[0], fx[1], fx[1], fx[1], fx[1]);
    const __m128i fHi = _mm_setr_epi16(fx[2], fx[2], fx[2], fx[2], fx[3], fx[3], fx[3], fx[3]);
    auto half = [&](__m128i a00, __m128i a10, __m128i a01, __m128i a11, __m128i fv) {
      return LerpLanes(LerpLanes(a00, a10, fv), LerpLanes(a01, a11, fv), fyv);
    };
    const __m128i lo = half(_mm_unpacklo_epi8(v00, zero), _mm_unpacklo_epi8(v10, zero),
                            _mm_unpacklo_epi8(v01, zero), _mm_unpacklo_epi8(v11, zero), fLo);
    const __m128i hi = half(_mm_unpackhi_epi8(v00, zero), _mm_unpackhi_epi8(v10, zero),
                            _mm_unpackhi_epi8(v01, zero), _mm_unpackhi_epi8(v11, zero), fHi);
    const __m128i r = _mm_and_si128(_mm_packus_epi16(lo, hi), colour);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_slli_epi32(r, kShift));
  }
  return i;
}
#endif

template <int F>
void SmoothWordRow(const uint32_t* r0, const uint32_t* r1, uint32_t* d, const vkScaleStep* xt, int32_t n,
                   int32_t srcWidth, int32_t fy, int32_t level) {
  // Colour bytes moved to bits 0-23 (formats 11 and 12 keep them in 8-31).
  constexpr int kShift = F == PIXFMT_ARGB32 ? 0 : 8;
  const ptrdiff_t next = srcWidth > 1 ? 1 : 0;  // every sample but the last column has a right neighbour
  ptrdiff_t pos = 0;
  int32_t i = 0;
#if defined(__SSE2__)
  if (level >= kPixelSimdSSE2) i = SmoothWordRowSSE2<kShift>(r0, r1, d, xt, n, next, fy, pos);
#endif
  (void)level;
  for (; i < n; ++i) {
    const uint64_t fx = uint64_t(Fraction(xt[i]));
    const uint32_t top = LerpWords(r0[pos] >> kShift, r0[pos + next] >> kShift, fx);
    const uint32_t bottom = LerpWords(r1[pos] >> kShift, r1[pos + next] >> kShift, fx);
    d[i] = LerpWords(top, bottom, uint64_t(fy)) << kShift;
    pos += Advance(xt[i + 1]);
  }
}

void NearestMaskRow(const uint8_t* s, int32_t sx, uint8_t* d, const vkScaleStep* xt, int32_t n) {
  int32_t pos = sx;
  for (int32_t i = 0; i < n; ++i) {
    PutBit(d, i, GetBit(s, pos));
    pos += Advance(xt[i + 1]);
  }
}

void NearestAlphaRow(const uint8_t* s, uint8_t* d, const vkScaleStep* xt, int32_t n) {
  ptrdiff_t pos = 0;
  for (int32_t i = 0; i < n; ++i) {
    d[i] = s[pos];
    pos += Advance(xt[i + 1]);
  }
}

void SmoothAlphaRow(const uint8_t* r0, const uint8_t* r1, uint8_t* d, const vkScaleStep* xt,
                    int32_t n, int32_t srcWidth, int32_t fy) {
  ptrdiff_t pos = 0;
  for (int32_t i = 0; i < n; ++i) {
    ptrdiff_t right = pos + 1 < srcWidth ? pos + 1 : srcWidth - 1;
    d[i] = Lerp2(r0[pos], r0[right], r1[pos], r1[right], Fraction(xt[i]), fy);
    pos += Advance(xt[i + 1]);
  }
}

// ---- transform ------------------------------------------------------------------

// The integer interval [lo, hi] of X in which coef * (X + 0.5) + base lies
// in [0, limit); an empty result has lo > hi.
void SolveAxis(double coef, double base, double limit, double& lo, double& hi) {
  constexpr double kTol = 1e-12;
  if (std::fabs(coef) < kTol) {
    if (base >= -kTol && base < limit - kTol) {
      lo = -HUGE_VAL, hi = HUGE_VAL;
    } else {
      lo = 1, hi = 0;
    }
    return;
  }
  double r0 = (0 - base) / coef, r1 = (limit - base) / coef;
  double from = std::min(r0, r1), to = std::max(r0, r1);
  // Pixel centres X + 0.5 in [from, to): first X = ceil(from - 0.5), last
  // X = ceil(to - 0.5) - 1, with a small tolerance against rounding.
  lo = std::ceil(from - 0.5 - kTol);
  hi = std::ceil(to - 0.5 - kTol) - 1;
}

inline int32_t ClampInt(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Rounds down; exact for values in the 32-bit range, without a libm call.
inline int32_t FloorToInt(double v) {
  int32_t t = vkDoubleToInt32(v);
  return double(t) > v ? t - 1 : t;
}

template <int F>
void TransformRows(const vkTransformBlock& b) {
  constexpr int kBytes = F <= 7 ? 2 : F <= 9 ? 3 : 4;
  const double a = b.matrix[0], bb = b.matrix[1], c = b.matrix[2], d = b.matrix[3];
  const double e = b.matrix[4], f = b.matrix[5];
  const double w = b.srcWidth, h = b.srcHeight;
  const double det = a * d - c * bb;
  // The inverse: u = (d X - c Y) / det + t0, v = (-b X + a Y) / det + t1,
  // with (t0, t1) taking (e, f) to (0, 0). Along a row both are linear in X.
  const double t0 = -((d * e - c * f) / det);
  const double t1 = -((-bb * e + a * f) / det);
  const double du = d / det, dv = -bb / det;

  const double xs[4] = {0, w, 0, w}, ys[4] = {0, 0, h, h};
  double minX = HUGE_VAL, maxX = -HUGE_VAL, minY = HUGE_VAL, maxY = -HUGE_VAL;
  for (int i = 0; i < 4; ++i) {
    double X = a * xs[i] + c * ys[i] + e, Y = bb * xs[i] + d * ys[i] + f;
    minX = std::min(minX, X), maxX = std::max(maxX, X);
    minY = std::min(minY, Y), maxY = std::max(maxY, Y);
  }
  const int32_t y0 = minY < 0 ? 0 : vkDoubleToInt32(std::ceil(minY - 0.5));
  const int32_t y1 = std::min(vkDoubleToInt32(std::floor(maxY + 0.5)), b.dstHeight - 1);
  const double boxLo = std::max(std::ceil(minX - 0.5), 0.0);
  const double boxHi = std::min(std::floor(maxX + 0.5), double(b.dstWidth - 1));

  const bool hasPix = b.srcPixels && b.dstPixels;
  const bool copyMask = b.srcMask && b.dstMask;
  const bool markMask = !b.srcMask && !b.srcAlpha && b.dstMask;
  const bool hasAlpha = b.srcAlpha && b.dstAlpha;
  const int32_t sw = b.srcWidth, sh = b.srcHeight;

  auto srcPix = [&](int32_t x, int32_t y) {
    return static_cast<const uint8_t*>(b.srcPixels) + (ptrdiff_t(y) * b.srcPixelsPerRow + x) * kBytes;
  };
  auto srcBit = [&](int32_t x, int32_t y) {
    return GetBit(PlaneRow(b.srcMask, b.srcMaskBytesPerRow, y), b.srcMaskX + x);
  };
  auto srcAlpha = [&](int32_t x, int32_t y) { return PlaneRow(b.srcAlpha, b.srcAlphaBytesPerRow, y)[x]; };

  for (int32_t Y = y0; Y <= y1; ++Y) {
    // The centre (X + 0.5, Y + 0.5) of a pixel maps to u = du (X + 0.5) + u0
    // and v = dv (X + 0.5) + v0.
    const double yc = Y + 0.5;
    const double u0 = (-c * yc) / det + t0, v0 = (a * yc) / det + t1;
    double uLo, uHi, vLo, vHi;
    SolveAxis(du, u0, w, uLo, uHi);
    SolveAxis(dv, v0, h, vLo, vHi);
    const double lo = std::max({uLo, vLo, boxLo}), hi = std::min({uHi, vHi, boxHi});
    if (!(lo <= hi)) continue;
    const int32_t x0 = vkDoubleToInt32(lo), x1 = vkDoubleToInt32(hi);
    uint8_t* dRow = hasPix ? static_cast<uint8_t*>(b.dstPixels) + ptrdiff_t(Y) * b.dstPixelsPerRow * kBytes : nullptr;
    uint8_t* mRow = b.dstMask ? PlaneRow(b.dstMask, b.dstMaskBytesPerRow, Y) : nullptr;
    uint8_t* aRow = hasAlpha ? PlaneRow(b.dstAlpha, b.dstAlphaBytesPerRow, Y) : nullptr;
    for (int32_t X = x0; X <= x1; ++X) {
      // The pixel's centre in the source; the nearest sample is the source
      // pixel containing it, the bilinear one is centred on it.
      const double xc = X + 0.5;
      const double uc = du * xc + u0, vc = dv * xc + v0;
      const int32_t nu = ClampInt(FloorToInt(uc), 0, sw - 1);
      const int32_t nv = ClampInt(FloorToInt(vc), 0, sh - 1);
      if (!b.smooth) {
        if (hasPix) std::memcpy(dRow + ptrdiff_t(X) * kBytes, srcPix(nu, nv), kBytes);
        if (copyMask) PutBit(mRow, X, srcBit(nu, nv));
        if (markMask) SetBit(mRow, X);
        if (hasAlpha) aRow[X] = srcAlpha(nu, nv);
        continue;
      }
      const double u = uc - 0.5, v = vc - 0.5;
      const int32_t tu = FloorToInt(u), tv = FloorToInt(v);
      const double fu = tu, fv = tv;
      // Neighbours in the order (u, v), (u + 1, v), (u, v + 1), (u + 1, v + 1).
      int32_t nx[4], ny[4];
      for (int k = 0; k < 4; ++k) {
        nx[k] = ClampInt(tu + (k & 1), 0, sw - 1);
        ny[k] = ClampInt(tv + (k >> 1), 0, sh - 1);
      }
      if (b.srcMask) {
        int first = -1;
        bool opaque[4];
        for (int k = 0; k < 4; ++k) {
          opaque[k] = srcBit(nx[k], ny[k]);
          if (opaque[k] && first < 0) first = k;
        }
        if (first < 0) {
          if (mRow) ClearBit(mRow, X);
          continue;
        }
        for (int k = 0; k < 4; ++k)
          if (!opaque[k]) nx[k] = nx[first], ny[k] = ny[first];
      }
      const double fx = u - fu, fy = v - fv;
      auto interp = [&](double p00, double p10, double p01, double p11) {
        double value = (1 - fy) * ((1 - fx) * p00 + fx * p10) + fy * ((1 - fx) * p01 + fx * p11) + 0.5;
        return uint8_t(vkDoubleToInt32(value));
      };
      if (hasPix) {
        uint8_t p[4][3], out[3];
        for (int k = 0; k < 4; ++k) vkFormatRGB<F>::Read(srcPix(nx[k], ny[k]), p[k]);
        for (int ch = 0; ch < 3; ++ch) out[ch] = interp(p[0][ch], p[1][ch], p[2][ch], p[3][ch]);
        vkFormatRGB<F>::Write(dRow + ptrdiff_t(X) * kBytes, out);
      }
      if (copyMask) PutBit(mRow, X, srcBit(nu, nv));
      if (markMask) SetBit(mRow, X);
      if (hasAlpha)
        aRow[X] = interp(srcAlpha(nx[0], ny[0]), srcAlpha(nx[1], ny[1]), srcAlpha(nx[2], ny[2]),
                         srcAlpha(nx[3], ny[3]));
    }
  }
}

}  // namespace

void ScaleBitMapRows(const vkScaleBlock* b) {
  int32_t sw = b->srcWidth, sh = b->srcHeight;
  const int32_t dw = b->dstWidth, dh = b->dstHeight;
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return;
  const bool smooth = b->smooth != 0;
  // A part of the scaled picture (nearest only): its rectangle must lie in it.
  const int32_t fullW = b->scaledWidth > 0 && !smooth ? b->scaledWidth : dw;
  const int32_t fullH = b->scaledHeight > 0 && !smooth ? b->scaledHeight : dh;
  const int64_t firstX = smooth ? 0 : b->firstX, firstY = smooth ? 0 : b->firstY;
  if (firstX < 0 || firstY < 0 || firstX + dw > fullW || firstY + dh > fullH) return;
  FillStepTable(b->xTable, smooth ? sw - 1 : sw, fullW, firstX, dw);
  FillStepTable(b->yTable, smooth ? sh - 1 : sh, fullH, firstY, dh);
  const vkScaleStep* xt = b->xTable;
  const vkScaleStep* yt = b->yTable;
  const bool hasPix = b->srcPixels && b->dstPixels;
  const bool hasMask = b->srcMask && b->dstMask;
  const bool hasAlpha = b->srcAlpha && b->dstAlpha;
  const int32_t bpp = b->bytesPerPixel;
  if (hasPix && bpp != 2 && bpp != 3 && bpp != 4) return;
  // The part's first sample: the source starts there.
  const uint64_t stepX = (uint64_t(sw) << 16) / uint64_t(fullW);  // the nearest x table's step
  const uint64_t stepY = (uint64_t(sh) << 16) / uint64_t(fullH);
  const int32_t baseX = smooth ? 0 : int32_t((uint64_t(firstX) * stepX) >> 16);
  const int32_t baseY = smooth ? 0 : int32_t((uint64_t(firstY) * stepY) >> 16);
  sw -= baseX, sh -= baseY;
  const auto* sp = hasPix ? static_cast<const uint8_t*>(b->srcPixels) + (ptrdiff_t(baseY) * b->srcPixelsPerRow + baseX) * bpp
                         : nullptr;
  auto* dp = static_cast<uint8_t*>(b->dstPixels);
  const uint8_t* srcMask = b->srcMask ? b->srcMask + ptrdiff_t(baseY) * b->srcMaskBytesPerRow : nullptr;
  const int32_t srcMaskX = b->srcMaskX + baseX;
  const uint8_t* srcAlpha = b->srcAlpha ? b->srcAlpha + ptrdiff_t(baseY) * b->srcAlphaBytesPerRow + baseX : nullptr;

  const int32_t level = PixelSimdLevel();
  const uint64_t startX = xt[0];  // the first sample's fraction
  int32_t row = 0;  // source row of the current sample
  for (int32_t j = 0; j < dh; ++j) {
    const int32_t below = row + 1 < sh ? row + 1 : sh - 1;
    const int32_t fy = Fraction(yt[j]);
    if (hasPix) {
      const uint8_t* r0 = sp + ptrdiff_t(row) * b->srcPixelsPerRow * bpp;
      uint8_t* d = dp + ptrdiff_t(j) * b->dstPixelsPerRow * bpp;
      if (!smooth && j > 0 && Advance(yt[j]) == 0) {
        // The same source row as the row above: its samples again.
        std::memcpy(d, d - ptrdiff_t(b->dstPixelsPerRow) * bpp, size_t(dw) * size_t(bpp));
      } else if (!smooth) {
        switch (bpp) {
          case 4:
            NearestWordRow(reinterpret_cast<const uint32_t*>(r0), reinterpret_cast<uint32_t*>(d), startX, stepX, dw);
            break;
          case 3: NearestPixelRow<3>(r0, d, xt, dw); break;
          case 2: NearestPixelRow<2>(r0, d, xt, dw); break;
        }
      } else {
        const uint8_t* r1 = sp + ptrdiff_t(below) * b->srcPixelsPerRow * bpp;
        DispatchPixFmt(b->format, [&]<int F>() {
          if constexpr (F >= PIXFMT_ARGB32) {
            if (bpp == 4)
              SmoothWordRow<F>(reinterpret_cast<const uint32_t*>(r0), reinterpret_cast<const uint32_t*>(r1),
                               reinterpret_cast<uint32_t*>(d), xt, dw, sw, fy, level);
          } else if ((F <= 7 ? 2 : 3) == bpp) {
            SmoothPixelRow<F>(r0, r1, d, xt, dw, sw, fy);
          }
        });
      }
    }
    if (hasMask)
      NearestMaskRow(PlaneRow(srcMask, b->srcMaskBytesPerRow, row), srcMaskX,
                     PlaneRow(b->dstMask, b->dstMaskBytesPerRow, j), xt, dw);
    if (hasAlpha) {
      const uint8_t* a0 = PlaneRow(srcAlpha, b->srcAlphaBytesPerRow, row);
      uint8_t* da = PlaneRow(b->dstAlpha, b->dstAlphaBytesPerRow, j);
      if (smooth)
        SmoothAlphaRow(a0, PlaneRow(srcAlpha, b->srcAlphaBytesPerRow, below), da, xt, dw, sw, fy);
      else
        NearestAlphaRow(a0, da, xt, dw);
    }
    row += Advance(yt[j + 1]);
  }
}

namespace {

// Grows one table to [count] entries, allocating the new one first.
bool GrowTable(vkScaleStep*& table, size_t& capacity, size_t count) {
  if (count <= capacity) return true;
  auto* grown = static_cast<vkScaleStep*>(AllocateArray(count, sizeof(vkScaleStep), false));
  if (!grown) return false;
  std::free(table);
  table = grown;
  capacity = count;
  return true;
}

}  // namespace

bool vkScaleTables::Reserve(size_t xCount, size_t yCount) {
  return GrowTable(x_, xCap_, xCount) && GrowTable(y_, yCap_, yCount);
}

void vkScaleTables::Free() {
  std::free(x_);
  std::free(y_);
  x_ = y_ = nullptr;
  xCap_ = yCap_ = 0;
}

bool IsInvertibleMatrix(const double m[6]) {
  double det = m[0] * m[3] - m[2] * m[1];
  return det != 0 && std::isfinite(det) && std::isfinite(m[4]) && std::isfinite(m[5]);
}

void TransformBitMapRows(const vkTransformBlock* b) {
  if (b->srcWidth < 1 || b->srcHeight < 1 || b->dstWidth < 1 || b->dstHeight < 1) return;
  if (!IsInvertibleMatrix(b->matrix)) return;
  if (b->srcPixels && b->dstPixels) {
    DispatchPixFmt(b->format, [&]<int F>() {
      if ((F <= 7 ? 2 : F <= 9 ? 3 : 4) == b->bytesPerPixel) TransformRows<F>(*b);
    });
  } else {
    TransformRows<PIXFMT_ARGB32>(*b);  // planes only: the format is not used
  }
}

void ScanFillPolygonMask(uint8_t* mask, int32_t bytesPerRow, int32_t width, int32_t height,
                         int32_t* scratch, const int32_t* points, int32_t count) {
  if (count < 1 || width < 1 || height < 1) return;
  if (count == 1) {  // a single point sets its own bit
    if (points[0] >= 0 && points[0] < width && points[1] >= 0 && points[1] < height)
      SetBit(PlaneRow(mask, bytesPerRow, points[1]), points[0]);
    return;
  }
  int32_t lowest = points[1], highest = points[1];
  for (int32_t i = 1; i < count; ++i) {
    lowest = std::min(lowest, points[2 * i + 1]);
    highest = std::max(highest, points[2 * i + 1]);
  }
  const int32_t from = std::max(lowest, 0), to = std::min(highest, height - 1);
  for (int32_t y = from; y <= to; ++y) {
    int32_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
      const int32_t* p = points + 2 * (i == 0 ? count - 1 : i - 1);
      const int32_t* q = points + 2 * i;
      if (p[1] == q[1]) continue;
      const int32_t* lo = p[1] < q[1] ? p : q;
      const int32_t* hi = p[1] < q[1] ? q : p;
      const int64_t y1 = lo[1], y2 = hi[1], x1 = lo[0], x2 = hi[0];
      if ((y1 <= y && y < y2) || (y == highest && y1 < y && y <= y2)) {
        float quotient = float((y - y1) * (x2 - x1)) / float(y2 - y1);
        // Rounded down rather than towards zero: the same for points inside
        // the plane, and clipped crossings left of it stay left of it.
        scratch[n++] = vkDoubleToInt32(std::floor(double(quotient) + 0.5 + double(x1)));
      }
    }
    std::sort(scratch, scratch + n);
    uint8_t* row = PlaneRow(mask, bytesPerRow, y);
    for (int32_t k = 0; k + 1 < n; k += 2) {
      const int32_t xa = std::max(scratch[k], 0), xb = std::min(scratch[k + 1], width - 1);
      for (int32_t x = xa; x <= xb; ++x) SetBit(row, x);
    }
  }
}
