// Transition kernels, written once over the pixel traits: pixelate and roll
// move whole words, water and swirl blend channels in the format of their
// pixel size (pixelchannels.h), chosen once per frame. Trigonometry per pixel
// comes from the transitions' 0.001-radian tables, square roots from the
// integer routine below.
#include "pixel/transitionkernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/numconv.h"
#include "pixel/pixelchannels.h"
#include "pixel/planebits.h"
#include "pixel/simd.h"

namespace {

// ---- integer square root -----------------------------------------------------

// Entry i: trunc(16 sqrt(i)), that is the integer square root of 256 i.
constexpr std::array<uint8_t, 256> MakeRootTable() {
  std::array<uint8_t, 256> t{};
  for (int32_t i = 0; i < 256; ++i) {
    int32_t r = 0;
    while ((r + 1) * (r + 1) <= 256 * i) ++r;
    t[size_t(i)] = uint8_t(r);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kRootTable = MakeRootTable();

// Largest r with r * r <= n for any n that fits 63 bits.
int64_t IntegerSqrt64(int64_t n) {
  if (n <= INT32_MAX) return IntegerSqrt(int32_t(n));
  int64_t r = int64_t(std::sqrt(double(n)));  // within one of the root
  while (r * r > n) --r;
  while ((r + 1) * (r + 1) <= n) ++r;
  return r;
}

// ---- dissolve ------------------------------------------------------------------

constexpr uint64_t kEveryByte = 0x0101010101010101u;
constexpr uint64_t kByteTops = 0x8080808080808080u;

// Bit 7 of each byte set where that byte of [t] lies below the same byte of
// [s] (unsigned), every other bit clear. The low seven bits are compared by
// a subtraction that cannot borrow across bytes; the top bits decide where
// they differ.
inline uint64_t BelowStep8(uint64_t t, uint64_t s) {
  const uint64_t lowAtLeast = (t | kByteTops) - (s & ~kByteTops);
  return ((~t & s) | (~(t ^ s) & ~lowAtLeast)) & kByteTops;
}

// The top bits of the eight bytes of [tops] (nothing else set) as one mask
// byte, the first byte in memory as the leftmost bit (bit 7). The multiply
// moves byte i's bit to bit 63 - i with no two products meeting.
inline uint32_t GatherByteTops(uint64_t tops) { return uint32_t(((tops >> 7) * 0x8040201008040201u) >> 56); }

// ---- pixelate ------------------------------------------------------------------

template <class P>
void Pixelate(const vkPixelateContext& c) {
  using W = typename P::Word;
  if (c.width < 1 || c.height < 1) return;
  const int32_t size = c.blockSize < 1 ? 1 : c.blockSize;
  for (int32_t by = 0; by < c.height;) {
    const int32_t bh = std::min(size, c.height - by);
    for (int32_t bx = 0; bx < c.width;) {
      const int32_t bw = std::min(size, c.width - bx);
      // The block's top-left source pixel decides for the whole block.
      uint8_t alpha = 255;
      if (c.srcAlpha) alpha = PlaneRow(c.srcAlpha, c.srcAlphaBytesPerRow, by)[bx];
      const bool hidden = c.srcMask ? !GetBit(PlaneRow(c.srcMask, c.srcMaskBytesPerRow, by), bx)
                                    : (c.srcAlpha && alpha == 0);
      const W colour = *PixelAt<W>(c.srcPixels, c.srcPixelsPerRow, bx, by);
      for (int32_t y = by; y < by + bh; ++y) {
        if (!hidden) {
          W* d = PixelAt<W>(c.dstPixels, c.dstPixelsPerRow, bx, y);
          std::fill(d, d + bw, colour);
        }
        if (c.dstMask) {
          uint8_t* m = PlaneRow(c.dstMask, c.dstMaskBytesPerRow, y);
          for (int32_t x = bx; x < bx + bw; ++x) PutBit(m, x, !hidden);
        } else if (c.dstAlpha) {
          uint8_t* a = PlaneRow(c.dstAlpha, c.dstAlphaBytesPerRow, y) + bx;
          std::fill(a, a + bw, hidden ? uint8_t(0) : alpha);
        }
      }
      bx += bw;
    }
    by += bh;
  }
}

// ---- roll ----------------------------------------------------------------------

// One rectangle of the curl, one loop per kind of transparency.
template <class P>
int32_t RollRect(vkRollContext& c, int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t dstX,
                 int32_t dstY) {
  using W = typename P::Word;
  if (height < 1) return 0;
  for (int32_t y = 0; y < height; ++y) {
    const W* s = PixelAt<W>(c.srcPixels, c.srcPixelsPerRow, srcX, srcY + y);
    W* d = PixelAt<W>(c.dstPixels, c.dstPixelsPerRow, dstX, dstY + y);
    if (c.srcMask) {
      const uint8_t* sm = PlaneRow(c.srcMask, c.srcMaskBytesPerRow, srcY + y);
      uint8_t* dm = c.dstMask ? PlaneRow(c.dstMask, c.dstMaskBytesPerRow, dstY + y) : nullptr;
      for (int32_t x = 0; x < width; ++x) {
        const bool on = GetBit(sm, srcX + x);
        if (on) d[x] = s[x];
        if (dm) PutBit(dm, dstX + x, on);
      }
    } else if (c.srcAlpha) {
      const uint8_t* sa = PlaneRow(c.srcAlpha, c.srcAlphaBytesPerRow, srcY + y) + srcX;
      uint8_t* da = c.dstAlpha ? PlaneRow(c.dstAlpha, c.dstAlphaBytesPerRow, dstY + y) + dstX : nullptr;
      for (int32_t x = 0; x < width; ++x) {
        if (sa[x]) d[x] = s[x];
        if (da) da[x] = sa[x];
      }
    } else {
      std::copy(s, s + std::max(width, 0), d);
    }
  }
  return 1;
}

// ---- water and swirl -------------------------------------------------------------

// Fills [table] with fn at 0, 0.001, 0.002, ... radians, the angle summed
// step by step as the transitions expect.
template <class Fn>
void FillAngleTable(double* table, Fn fn) {
  double angle = 0.0;
  for (int32_t k = 0; k < kTransitionTableSize; ++k, angle += 0.001) table[k] = fn(angle);
}

inline int32_t ClampTo(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// One destination pixel of the two-picture fade, sampled at (sx, sy): with
// no source alpha, B with A blended in by the level; with it, A's pixel and
// an alpha that fades in (or out), or nothing but alpha 0 where A is clear.
template <class P, int F, bool kWord>
struct FadePixel {
  using W = typename P::Word;
  const void* srcA;
  const void* srcB;
  void* dst;
  int32_t aPerRow, bPerRow, dPerRow;
  const uint8_t* srcAlpha;
  int32_t srcAlphaBytesPerRow;
  uint8_t* dstAlpha;
  int32_t dstAlphaBytesPerRow;
  int32_t fadeOut;
  int32_t level;

  void Blend(int32_t x, int32_t y, int32_t sx, int32_t sy) const {
    const W a = *PixelAt<W>(srcA, aPerRow, sx, sy);
    const W b = *PixelAt<W>(srcB, bPerRow, sx, sy);
    *PixelAt<W>(dst, dPerRow, x, y) = BlendPixel<F, kWord>(a, b, level);
  }
  void WithAlpha(int32_t x, int32_t y, int32_t sx, int32_t sy) const {
    const int32_t alpha = PlaneRow(srcAlpha, srcAlphaBytesPerRow, sy)[sx];
    uint8_t& da = PlaneRow(dstAlpha, dstAlphaBytesPerRow, y)[x];
    if (alpha == 0) {
      da = 0;
      return;
    }
    *PixelAt<W>(dst, dPerRow, x, y) = *PixelAt<W>(srcA, aPerRow, sx, sy);
    da = uint8_t(fadeOut ? (int64_t(alpha) * (255 - level)) / 255 : (int64_t(level) * alpha) / 255);
  }
};

#if defined(__x86_64__)
// Eight pixels at a time of a 32-bit fade row: A and B fetched at their
// source positions (offsets y * perRow + x, which the caller has made sure
// fit 32 bits), then b * 256 + (a - b) * level in 16-bit lanes, exact for
// levels 0 to 256 since the true value lies in [0, 65280]. Returns the
// pixels done.
__attribute__((target("avx2"))) int32_t FadeGatherRowAVX2(const uint32_t* a, int32_t aPerRow, const uint32_t* b,
                                                          int32_t bPerRow, uint32_t* d, const int32_t* sx,
                                                          const int32_t* sy, int32_t count, int32_t level,
                                                          uint32_t mask) {
  const __m256i zero = _mm256_setzero_si256(), lv = _mm256_set1_epi16(int16_t(level));
  const __m256i cm = _mm256_set1_epi32(int32_t(mask));
  const __m256i ap = _mm256_set1_epi32(aPerRow), bp = _mm256_set1_epi32(bPerRow);
  const int* aw = reinterpret_cast<const int*>(a);
  const int* bw = reinterpret_cast<const int*>(b);
  int32_t x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m256i xs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sx + x));
    const __m256i ys = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sy + x));
    const __m256i av = _mm256_i32gather_epi32(aw, _mm256_add_epi32(_mm256_mullo_epi32(ys, ap), xs), 4);
    const __m256i bv = _mm256_i32gather_epi32(bw, _mm256_add_epi32(_mm256_mullo_epi32(ys, bp), xs), 4);
    const __m256i bLo = _mm256_unpacklo_epi8(bv, zero), bHi = _mm256_unpackhi_epi8(bv, zero);
    const __m256i lo = _mm256_add_epi16(
        _mm256_slli_epi16(bLo, 8), _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(av, zero), bLo), lv));
    const __m256i hi = _mm256_add_epi16(
        _mm256_slli_epi16(bHi, 8), _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(av, zero), bHi), lv));
    const __m256i r = _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), _mm256_and_si256(r, cm));
  }
  return x;
}
#endif

// Whether every offset y * perRow + x of a width x height area fits 32 bits.
inline bool OffsetsFit32(int32_t perRow, int32_t width, int32_t height) {
  const int64_t last = int64_t(height - 1) * perRow;
  return last + width - 1 <= INT32_MAX && last >= INT32_MIN;
}

// One frame of a two-picture fade over the whole area, in the format of the
// context and with or without alpha, decided once. [rowSources](y, sx, sy)
// fills the source position of every pixel of row y; the row is then
// painted in one tight loop.
template <class P, class Ctx, class RowSources>
void FadeFrame(Ctx& c, int32_t level, RowSources rowSources) {
  std::vector<int32_t> sxs(size_t(c.width)), sys(size_t(c.width));
  int32_t* const sx = sxs.data();
  int32_t* const sy = sys.data();
  // 32-bit pixels blended by whole words go eight at a time where the CPU
  // can fetch them so.
  const bool gather = P::kBytes == 4 && !c.srcAlpha && PixelSimdLevel() >= kPixelSimdAVX2 &&
                      OffsetsFit32(c.srcAPixelsPerRow, c.width, c.height) &&
                      OffsetsFit32(c.srcBPixelsPerRow, c.width, c.height);
  WithChannelFormat<P>(c.format, [&]<int F>() {
    WithWordBlend<P, F>(level, [&]<bool kWord>() {
      const FadePixel<P, F, kWord> px{c.srcA,     c.srcB,   c.dstPixels,           c.srcAPixelsPerRow,
                                      c.srcBPixelsPerRow, c.dstPixelsPerRow, c.srcAlpha, c.srcAlphaBytesPerRow,
                                      c.dstAlpha, c.dstAlphaBytesPerRow, c.fadeOut, level};
      for (int32_t y = 0; y < c.height; ++y) {
        rowSources(y, sx, sy);
        if (c.srcAlpha) {
          for (int32_t x = 0; x < c.width; ++x) px.WithAlpha(x, y, sx[x], sy[x]);
          continue;
        }
        int32_t x = 0;
#if defined(__x86_64__)
        if constexpr (P::kBytes == 4 && kWord) {
          if (gather)
            x = FadeGatherRowAVX2(static_cast<const uint32_t*>(c.srcA), c.srcAPixelsPerRow,
                                  static_cast<const uint32_t*>(c.srcB), c.srcBPixelsPerRow,
                                  PixelAt<uint32_t>(c.dstPixels, c.dstPixelsPerRow, 0, y), sx, sy, c.width, level,
                                  ColorMask32(F));
        }
#endif
        for (; x < c.width; ++x) px.Blend(x, y, sx[x], sy[x]);
      }
    });
  });
  (void)gather;
}

// ClampTo(vkDoubleToInt32(v), 0, hi) for hi >= 0, without the branches:
// not-a-number and everything below 1 give 0, everything from hi up gives hi.
inline int32_t ClampSource(double v, double hi) {
  const double lo = v > 0.0 ? v : 0.0;
  return int32_t(lo < hi ? lo : hi);
}

constexpr double kWaterTwoPi = 6.28318530717959;

// How far the water pushes a pixel at distance [d] from the centre at step
// [t]: the ring's sine at that distance, weakening outwards and, off the
// centre, with the distance.
double WaterWeight(const vkWaterContext& c, int32_t t, uint32_t d) {
  double phase = (d / c.wavelength) * kWaterTwoPi - t;
  // A phase that is not a number (no wavelength) or so large that stepping
  // would never end is brought into range directly.
  if (!std::isfinite(phase))
    phase = 0;
  else if (std::fabs(phase) > kWaterTwoPi * 1048576.0)
    phase = std::fmod(phase, kWaterTwoPi);
  while (phase > kWaterTwoPi) phase -= kWaterTwoPi;
  while (phase < 0) phase += kWaterTwoPi;
  const double s = c.sine[ClampTo(vkDoubleToInt32(phase / 0.001), 0, kTransitionTableSize - 1)];
  if (c.maxDistance == 0) return 0;  // an area of one pixel has no distance to weigh by
  const double max = c.maxDistance;
  double a = c.amplitude * s * ((max - d) / max);
  if (d != 0) a *= c.wavelength / d;
  return a;
}

// The source position of pixel (x, y) pushed by weight [a] away from the
// centre, kept inside the area.
inline void WaterSource(const vkWaterContext& c, double a, int32_t x, int32_t y, int32_t& sx, int32_t& sy) {
  sx = ClampSource(x + a * (x - c.centreX), c.width - 1);
  sy = ClampSource(y + a * (y - c.centreY), c.height - 1);
}

// Weights of the distances below kWaterWeightCache, found once per frame:
// distances repeat all over the area, and the phase is costly to settle.
constexpr uint32_t kWaterWeightCache = 4096;

#if defined(__x86_64__)
// Four source positions at a time of row y from x on, by the same
// operations in the same order as the scalar loop, up to the first four
// pixels with a distance past the cached weights. Returns the first pixel
// not done.
__attribute__((target("avx2"))) int32_t WaterSourcesAVX2(const double* weights, uint32_t cached, int32_t centreX,
                                                         int32_t y, int32_t dy, double lastX, double lastY,
                                                         const uint32_t* distance, int32_t x, int32_t width,
                                                         int32_t* sx, int32_t* sy) {
  const __m128i limit = _mm_set1_epi32(int32_t(cached - 1)), cxv = _mm_set1_epi32(centreX),
                four = _mm_set1_epi32(4);
  const __m256d yd = _mm256_set1_pd(y), dyd = _mm256_set1_pd(dy), lx = _mm256_set1_pd(lastX),
                ly = _mm256_set1_pd(lastY), zero = _mm256_setzero_pd(),
                every = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  __m128i xi = _mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3));
  for (; x + 4 <= width; x += 4, xi = _mm_add_epi32(xi, four)) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(distance + x));
    if (!_mm_test_all_ones(_mm_cmpeq_epi32(_mm_min_epu32(d, limit), d))) break;
    const __m256d a = _mm256_mask_i32gather_pd(zero, weights, d, every, 8);
    const __m256d vx = _mm256_add_pd(_mm256_cvtepi32_pd(xi), _mm256_mul_pd(a, _mm256_cvtepi32_pd(_mm_sub_epi32(xi, cxv))));
    const __m256d vy = _mm256_add_pd(yd, _mm256_mul_pd(a, dyd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sx + x), _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(vx, zero), lx)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sy + x), _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(vy, zero), ly)));
  }
  return x;
}
#endif

template <class P>
void WaterRipple(vkWaterContext& c, int32_t step) {
  if (c.width < 1 || c.height < 1) return;
  const int64_t n = c.halfDuration, twoN = 2 * n;
  // Without a duration the fade is over from the start.
  const int32_t level = twoN > 0 ? int32_t((int64_t(step) * 255) / twoN) : 255;
  c.amplitude = double(step < n ? int64_t(step) : twoN - step) * c.amplitudeFactor;
  // Distances grow from the centre, so the corners hold the largest; the
  // cache reaches them (or the maximum distance, if further) where it can.
  const size_t last = size_t(c.width) * size_t(c.height) - 1, right = size_t(c.width) - 1;
  const uint32_t farthest = std::max({c.maxDistance, c.distances[0], c.distances[right], c.distances[last - right],
                                      c.distances[last]});
  const uint32_t cached = uint32_t(std::min<uint64_t>(kWaterWeightCache, uint64_t(farthest) + 1));
  double weights[kWaterWeightCache];
  for (uint32_t d = 0; d < cached; ++d) weights[d] = WaterWeight(c, step, d);
  const double lastX = c.width - 1, lastY = c.height - 1;
  const int32_t centreX = c.centreX;
  const bool wide = PixelSimdLevel() >= kPixelSimdAVX2;
  FadeFrame<P>(c, level, [&](int32_t y, int32_t* sx, int32_t* sy) {
    const uint32_t* distance = c.distances + ptrdiff_t(y) * c.width;
    const int32_t dy = y - c.centreY;
    // Four at a time where it can; four pixels with a far distance, and
    // the end of the row, one by one.
    for (int32_t x = 0; x < c.width;) {
#if defined(__x86_64__)
      if (wide) x = WaterSourcesAVX2(weights, cached, centreX, y, dy, lastX, lastY, distance, x, c.width, sx, sy);
#endif
      for (const int32_t end = wide ? std::min(c.width, x + 4) : c.width; x < end; ++x) {
        const uint32_t d = distance[x];
        const double a = d < cached ? weights[d] : WaterWeight(c, step, d);
        sx[x] = ClampSource(x + a * (x - centreX), lastX);
        sy[x] = ClampSource(y + a * dy, lastY);
      }
    }
  });
  // Where WaterDisplacement would stand after walking the whole table.
  c.position = int32_t(int64_t(c.width) * c.height);
}

// Largest r with r * r <= n, following n as it moves a little from one
// pixel to the next: one step up or down, else the full root.
class FollowingRoot {
 public:
  int32_t operator()(int32_t n) {
    if (n >= next_) {
      Settle(n < next_ + 2 * int64_t(r_) + 3 ? r_ + 1 : IntegerSqrt(n));
    } else if (n < square_) {
      Settle(r_ > 0 && n >= square_ - 2 * int64_t(r_) + 1 ? r_ - 1 : IntegerSqrt(n));
    }
    return r_;
  }

 private:
  void Settle(int32_t r) {
    r_ = r;
    square_ = int64_t(r) * r;
    next_ = int64_t(r + 1) * (r + 1);
  }
  int32_t r_ = 0;
  int64_t square_ = 0, next_ = 1;
};

// What the swirl's rows share: the centre, the axis factors and the turn
// of every root of the distance.
struct SwirlShape {
  double cx, cy, fx, fy, radius2, lastX, lastY;
  bool divideX, divideY;
  const std::array<double, 2>* turns;  // sine and cosine by root
};

#if defined(__x86_64__)
// Four source positions at a time of row y (dy its scaled offset), by the
// same operations in the same order as the scalar loop: the root of a
// distance below 2^31 is exact from the double square root. Returns the
// pixels done.
__attribute__((target("avx2"))) int32_t SwirlSourcesAVX2(const SwirlShape& s, int32_t y, double dy, int32_t width,
                                                         int32_t* sx, int32_t* sy) {
  const __m256d cx = _mm256_set1_pd(s.cx), cy = _mm256_set1_pd(s.cy), fx = _mm256_set1_pd(s.fx),
                fy = _mm256_set1_pd(s.fy), dyv = _mm256_set1_pd(dy), dy2 = _mm256_set1_pd(dy * dy),
                radius2 = _mm256_set1_pd(s.radius2), lastX = _mm256_set1_pd(s.lastX),
                lastY = _mm256_set1_pd(s.lastY), zero = _mm256_setzero_pd(), four = _mm256_set1_pd(4.0),
                intMax = _mm256_set1_pd(2147483647.0);
  const __m256d every = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  const __m256i lows = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  const __m128i rowY = _mm_set1_epi32(y), stepX = _mm_set1_epi32(4);
  const double* table = s.turns[0].data();
  __m256d xs = _mm256_setr_pd(0, 1, 2, 3);
  __m128i xi = _mm_setr_epi32(0, 1, 2, 3);
  int32_t x = 0;
  for (; x + 4 <= width; x += 4, xs = _mm256_add_pd(xs, four), xi = _mm_add_epi32(xi, stepX)) {
    const __m256d dx = _mm256_mul_pd(fx, _mm256_sub_pd(xs, cx));
    const __m256d d2 = _mm256_add_pd(_mm256_mul_pd(dx, dx), dy2);
    const __m256d insideD = _mm256_cmp_pd(d2, radius2, _CMP_LT_OQ);
    const __m128i inside =
        _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(insideD), lows));
    const __m128i n = _mm256_cvttpd_epi32(_mm256_min_pd(d2, intMax));
    const __m128i root = _mm_and_si128(_mm256_cvttpd_epi32(_mm256_sqrt_pd(_mm256_cvtepi32_pd(n))), inside);
    const __m128i at = _mm_slli_epi32(root, 1);
    const __m256d sn = _mm256_mask_i32gather_pd(zero, table, at, every, 8);
    const __m256d cs = _mm256_mask_i32gather_pd(zero, table + 1, at, every, 8);
    __m256d tx = _mm256_sub_pd(_mm256_mul_pd(dx, cs), _mm256_mul_pd(dyv, sn));
    __m256d ty = _mm256_add_pd(_mm256_mul_pd(dx, sn), _mm256_mul_pd(dyv, cs));
    if (s.divideX) tx = _mm256_div_pd(tx, fx);
    if (s.divideY) ty = _mm256_div_pd(ty, fy);
    const __m128i ix = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_add_pd(cx, tx), zero), lastX));
    const __m128i iy = _mm256_cvttpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_add_pd(cy, ty), zero), lastY));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sx + x), _mm_blendv_epi8(xi, ix, inside));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sy + x), _mm_blendv_epi8(rowY, iy, inside));
  }
  return x;
}
#endif

template <class P>
void StrudelSwirl(vkStrudelContext& c, int32_t step) {
  if (c.width < 1 || c.height < 1) return;
  const int32_t turn = step > 359 ? 720 - step : step;
  const double theta = turn * 0.017453292519943295;
  const double w = c.width, h = c.height;
  const double cx = w / 2, cy = h / 2;
  const double radius = std::max(cx, cy);
  const double radius2 = radius * radius;
  const double fx = c.width > c.height ? 1.0 : h / w;
  const double fy = c.width > c.height ? w / h : 1.0;
  const int32_t level = int32_t((int64_t(step) * 255) / 720);
  // The turn depends on the root of the distance alone: its sine and cosine
  // for every root inside the circle, found once per frame.
  const int32_t roots = IntegerSqrt(vkDoubleToInt32(radius2)) + 1;
  std::vector<std::array<double, 2>> turns(static_cast<size_t>(roots));
  for (int32_t r = 0; r < roots; ++r) {
    const double u = 1 - r / radius;
    const int32_t k = ClampTo(vkDoubleToInt32(u * theta * u / 0.001), 0, kTransitionTableSize - 1);
    turns[size_t(r)] = {c.sine[k], c.cosine[k]};
  }
  const double lastX = c.width - 1, lastY = c.height - 1;
  // One of the two factors is 1, and dividing by 1 changes nothing.
  const bool divideX = fx != 1.0, divideY = fy != 1.0;
  const SwirlShape shape{cx, cy, fx, fy, radius2, lastX, lastY, divideX, divideY, turns.data()};
  const bool wide = PixelSimdLevel() >= kPixelSimdAVX2;
  FadeFrame<P>(c, level, [&](int32_t y, int32_t* sx, int32_t* sy) {
    const double dy = fy * (y - cy);
    const double dy2 = dy * dy;
    FollowingRoot root;
    int32_t x = 0;
#if defined(__x86_64__)
    if (wide) x = SwirlSourcesAVX2(shape, y, dy, c.width, sx, sy);
#endif
    for (; x < c.width; ++x) {
      const double dx = fx * (x - cx);
      const double d2 = dx * dx + dy2;
      if (!(d2 < radius2)) {
        sx[x] = x, sy[x] = y;
        continue;
      }
      const auto [sn, cs] = turns[size_t(root(vkDoubleToInt32(d2)))];
      double tx = dx * cs - dy * sn, ty = dx * sn + dy * cs;
      if (divideX) tx /= fx;
      if (divideY) ty /= fy;
      sx[x] = ClampSource(cx + tx, lastX);
      sy[x] = ClampSource(cy + ty, lastY);
    }
  });
  (void)wide;
}

}  // namespace

int32_t IntegerSqrt(int32_t n) {
  if (n < 0) return -1;
  if (n < 256) return kRootTable[size_t(n)] >> 4;
  // The even shift k that brings n >> k into 64..255 gives the first estimate.
  int32_t k = 0;
  while ((n >> k) > 255) k += 2;
  int64_t r = (int64_t(kRootTable[size_t(n >> k)]) << (k / 2)) / 16;
  if (n < 65536) {
    r += 1;
  } else {
    r = (r + n / r + 1) / 2;
    if (n > 0xFFFFFF) r = (r + n / r + 1) / 2;
  }
  // The estimate is never low and at most one high, for every input.
  if (r * r > n) --r;
  return int32_t(r);
}

void PixelateBlocks32(const vkPixelateContext* c) { Pixelate<vkPix32>(*c); }
void PixelateBlocks24(const vkPixelateContext* c) { Pixelate<vkPix24>(*c); }
void PixelateBlocks16(const vkPixelateContext* c) { Pixelate<vkPix16>(*c); }

void DissolveStep(const vkDissolveContext* c, int32_t step) {
  if (c->width < 1 || c->height < 1) return;
  // Direction 0 reveals where the threshold lies below the step; otherwise
  // it hides there.
  const bool revealBelow = c->direction == 0;
  // Eight pixels at a time, their thresholds read as one word.
  const int32_t groups = std::endian::native == std::endian::little ? c->width / 8 : 0;
  const uint64_t steps = uint64_t(std::clamp(step, 0, 255)) * kEveryByte;
  for (int32_t y = 0; y < c->height; ++y) {
    const uint8_t* m = c->thresholds + ptrdiff_t(y) * c->width;
    const uint8_t* s = c->src ? PlaneRow(c->src, c->srcBytesPerRow, y) : nullptr;
    uint8_t* d = PlaneRow(c->dst, c->dstBytesPerRow, y);
    for (int32_t g = 0; g < groups; ++g) {
      uint64_t t;
      std::memcpy(&t, m + ptrdiff_t(g) * 8, 8);
      const uint64_t below = step > 255 ? kByteTops : BelowStep8(t, steps);
      const uint64_t takes = revealBelow ? below : below ^ kByteTops;
      if (c->bytePlanes) {
        uint64_t v = ~uint64_t(0);
        if (s) std::memcpy(&v, s + ptrdiff_t(g) * 8, 8);
        v &= (takes >> 7) * 0xFF;
        std::memcpy(d + ptrdiff_t(g) * 8, &v, 8);
      } else {
        d[g] = uint8_t(GatherByteTops(takes) & (s ? s[g] : 0xFF));
      }
    }
    for (int32_t x = groups * 8; x < c->width; ++x) {
      const bool on = (m[x] < step) == revealBelow;
      if (c->bytePlanes)
        d[x] = on ? (s ? s[x] : uint8_t(255)) : uint8_t(0);
      else
        PutBit(d, x, on && (!s || GetBit(s, x)));
    }
  }
}

int32_t RenderRollCurl32(vkRollContext* c, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                         int32_t dstX, int32_t dstY) {
  return RollRect<vkPix32>(*c, srcX, srcY, width, height, dstX, dstY);
}
int32_t RenderRollCurl24(vkRollContext* c, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                         int32_t dstX, int32_t dstY) {
  return RollRect<vkPix24>(*c, srcX, srcY, width, height, dstX, dstY);
}
int32_t RenderRollCurl16(vkRollContext* c, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                         int32_t dstX, int32_t dstY) {
  return RollRect<vkPix16>(*c, srcX, srcY, width, height, dstX, dstY);
}

void RenderRollCurl(vkRollContext* c) {
  const int32_t n = c->rollSize, p = c->rollPosition;
  int32_t lines = 0, first = kNoRollLine;
  auto* member = c->bytesPerPixel == 4 ? RenderRollCurl32
                 : c->bytesPerPixel == 3 ? RenderRollCurl24
                 : c->bytesPerPixel == 2 ? RenderRollCurl16
                                         : nullptr;
  if (member && n > 0) {
    const double unit = 6.283185307179586 / n;
    const int64_t limit = c->direction ? c->width : c->height;
    for (int32_t i = 0; i < n; ++i) {
      const int64_t d = int64_t(p) - n + 1 + i;
      const int64_t s = int64_t(p) + vkDoubleToInt32(c->angles[i] / unit);
      if (d < 0 || d >= limit || s < 0 || s >= limit) continue;
      if (first == kNoRollLine) first = int32_t(d);
      lines += c->direction ? member(c, int32_t(s), 0, 1, c->height, int32_t(d), 0)
                            : member(c, 0, int32_t(s), c->width, 1, 0, int32_t(d));
    }
  }
  c->linesDrawn = lines;
  c->firstLine = first;
  c->lastPosition = p;
}

void InitWaterTables(vkWaterContext* c) {
  FillAngleTable(c->sine, [](double a) { return std::sin(a); });
  const int64_t halfW = c->width / 2, halfH = c->height / 2;
  uint32_t* d = c->distances;
  for (int64_t y = 0; y < c->height; ++y)
    for (int64_t x = 0; x < c->width; ++x) {
      const int64_t dx = x - halfW, dy = y - halfH;
      *d++ = uint32_t(IntegerSqrt64(dx * dx + dy * dy));
    }
}

void WaterDisplacement(int32_t step, int32_t x, int32_t y, vkWaterContext* c) {
  WaterSource(*c, WaterWeight(*c, step, c->distances[c->position++]), x, y, c->sourceX, c->sourceY);
}

void RenderWaterRipple32(vkWaterContext* c, int32_t step) { WaterRipple<vkPix32>(*c, step); }
void RenderWaterRipple24(vkWaterContext* c, int32_t step) { WaterRipple<vkPix24>(*c, step); }
void RenderWaterRipple16(vkWaterContext* c, int32_t step) { WaterRipple<vkPix16>(*c, step); }

void InitStrudelTables(vkStrudelContext* c) {
  FillAngleTable(c->sine, [](double a) { return std::sin(a); });
  FillAngleTable(c->cosine, [](double a) { return std::cos(a); });
}

void RenderStrudelSwirl32(vkStrudelContext* c, int32_t step) { StrudelSwirl<vkPix32>(*c, step); }
void RenderStrudelSwirl24(vkStrudelContext* c, int32_t step) { StrudelSwirl<vkPix24>(*c, step); }
void RenderStrudelSwirl16(vkStrudelContext* c, int32_t step) { StrudelSwirl<vkPix16>(*c, step); }
