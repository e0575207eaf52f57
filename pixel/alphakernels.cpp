// Alpha and clip-mask kernels. The blends are written once over the pixel
// traits and a format parameter, chosen once per call: 32-bit pixels by which
// byte is the non-colour one, 16-bit pixels by their layout. The 32-bit blend
// row has SSE2 and AVX2 paths computing (d * 256 + (s - d) * a) >> 8 in
// 16-bit lanes, which equals the blend rule for every s, d and a.
#include "pixel/alphakernels.h"

#include <array>
#include <cstring>

#include "pixel/pixfmt.h"
#include "pixel/planebits.h"
#include "pixel/simd.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Pixel operations of one pixel size and format.
template <class P, int F>
struct Px;

template <int F>
struct Px<vkPix32, F> {
  using W = uint32_t;
  static W Blend(W s, W d, uint32_t a) { return BlendWord32<F>(s, d, a); }
};

template <int F>
struct Px<vkPix24, F> {
  using W = vkPixel24;
  static W Blend(W s, W d, uint32_t a) {
    W r;
    for (int i = 0; i < 3; ++i) r.b[i] = BlendChannel(s.b[i], d.b[i], int32_t(a));
    return r;
  }
};

template <int F>
struct Px<vkPix16, F> {
  using W = uint16_t;
  static W Blend(W s, W d, uint32_t a) {
    uint8_t sc[3], dc[3];
    vkFormatRGB<F>::Read(&s, sc);
    vkFormatRGB<F>::Read(&d, dc);
    for (int i = 0; i < 3; ++i) dc[i] = BlendChannel(sc[i], dc[i], int32_t(a));
    W r;
    vkFormatRGB<F>::Write(&r, dc);
    return r;
  }
};

// Calls fn.template operator()<F>() with the format parameter of pixel size
// P: 32-bit pixels by their non-colour byte, 24-bit pixels need none, 16-bit
// pixels by layout (other codes do nothing).
template <class P, class Fn>
void WithFormat(int32_t format, Fn&& fn) {
  if constexpr (P::kBytes == 4) {
    if (format == PIXFMT_BGRA32 || format == PIXFMT_RGBA32)
      fn.template operator()<PIXFMT_BGRA32>();
    else
      fn.template operator()<PIXFMT_ARGB32>();
  } else if constexpr (P::kBytes == 3) {
    fn.template operator()<PIXFMT_RGB24>();
  } else {
    if (format >= 0 && format <= 7) DispatchPixFmt(format, [&]<int G>() {
        if constexpr (G <= 7) fn.template operator()<G>();
      });
  }
}

// One row of the alpha blit: a = 0 leaves the destination, 255 copies the
// source word, anything else blends. With kColour the source is one pixel.
// The vector rows below do the same on whole groups and leave the tail here.
template <class P, int F, bool kColour>
void BlendRowScalar(const typename P::Word* s, typename P::Word* d, const uint8_t* a, int32_t from,
                    int32_t n) {
  for (int32_t x = from; x < n; ++x) {
    uint32_t w = a[x];
    if (w == 0) continue;
    const typename P::Word& sp = kColour ? s[0] : s[x];
    d[x] = w == 255 ? sp : Px<P, F>::Blend(sp, d[x], w);
  }
}

#if defined(__SSE2__)
// Four pixels at a time. In 16-bit lanes d * 256 + (s - d) * a is computed
// modulo 2^16, which is exact because the true value lies in [0, 65280].
template <int F, bool kColour>
int32_t BlendRowSSE2(const uint32_t* s, uint32_t* d, const uint8_t* a, int32_t n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi32(-1);
  const __m128i cm = _mm_set1_epi32(int32_t(ColorMask32(F)));
  const __m128i colour = _mm_set1_epi32(int32_t(s[0]));
  int32_t x = 0;
  for (; x + 4 <= n; x += 4) {
    uint32_t a4;
    std::memcpy(&a4, a + x, 4);
    if (a4 == 0) continue;
    __m128i sv = kColour ? colour : _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
    __m128i* dp = reinterpret_cast<__m128i*>(d + x);
    if (a4 == 0xFFFFFFFFu) {
      _mm_storeu_si128(dp, sv);
      continue;
    }
    __m128i dv = _mm_loadu_si128(dp);
    __m128i av = _mm_cvtsi32_si128(int32_t(a4));
    av = _mm_unpacklo_epi8(av, av);
    av = _mm_unpacklo_epi16(av, av);  // each 32-bit lane: its pixel's alpha 4 times
    __m128i aLo = _mm_unpacklo_epi8(av, zero), aHi = _mm_unpackhi_epi8(av, zero);
    __m128i dLo = _mm_unpacklo_epi8(dv, zero), dHi = _mm_unpackhi_epi8(dv, zero);
    __m128i lo = _mm_add_epi16(_mm_slli_epi16(dLo, 8),
                               _mm_mullo_epi16(_mm_sub_epi16(_mm_unpacklo_epi8(sv, zero), dLo), aLo));
    __m128i hi = _mm_add_epi16(_mm_slli_epi16(dHi, 8),
                               _mm_mullo_epi16(_mm_sub_epi16(_mm_unpackhi_epi8(sv, zero), dHi), aHi));
    __m128i r = _mm_and_si128(_mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)), cm);
    __m128i isFull = _mm_cmpeq_epi32(av, ones), isZero = _mm_cmpeq_epi32(av, zero);
    r = _mm_or_si128(_mm_andnot_si128(_mm_or_si128(isFull, isZero), r),
                     _mm_or_si128(_mm_and_si128(isFull, sv), _mm_and_si128(isZero, dv)));
    _mm_storeu_si128(dp, r);
  }
  return x;
}
#endif

#if defined(__x86_64__)
// Eight pixels at a time, the same arithmetic as the SSE2 row.
template <int F, bool kColour>
__attribute__((target("avx2"))) int32_t BlendRowAVX2(const uint32_t* s, uint32_t* d, const uint8_t* a,
                                                     int32_t n) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi32(-1);
  const __m256i cm = _mm256_set1_epi32(int32_t(ColorMask32(F)));
  const __m256i colour = _mm256_set1_epi32(int32_t(s[0]));
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 8, 8, 12, 12, 12, 12, 0, 0, 0, 0, 4, 4,
                                          4, 4, 8, 8, 8, 8, 12, 12, 12, 12);
  int32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    uint64_t a8;
    std::memcpy(&a8, a + x, 8);
    if (a8 == 0) continue;
    __m256i sv = kColour ? colour : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
    __m256i* dp = reinterpret_cast<__m256i*>(d + x);
    if (a8 == ~uint64_t(0)) {
      _mm256_storeu_si256(dp, sv);
      continue;
    }
    __m256i dv = _mm256_loadu_si256(dp);
    __m256i av = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(int64_t(a8)));
    av = _mm256_shuffle_epi8(av, spread);  // each 32-bit lane: its pixel's alpha 4 times
    __m256i aLo = _mm256_unpacklo_epi8(av, zero), aHi = _mm256_unpackhi_epi8(av, zero);
    __m256i dLo = _mm256_unpacklo_epi8(dv, zero), dHi = _mm256_unpackhi_epi8(dv, zero);
    __m256i lo = _mm256_add_epi16(_mm256_slli_epi16(dLo, 8),
                                  _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_unpacklo_epi8(sv, zero), dLo), aLo));
    __m256i hi = _mm256_add_epi16(_mm256_slli_epi16(dHi, 8),
                                  _mm256_mullo_epi16(_mm256_sub_epi16(_mm256_unpackhi_epi8(sv, zero), dHi), aHi));
    __m256i r = _mm256_and_si256(_mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)), cm);
    r = _mm256_blendv_epi8(r, sv, _mm256_cmpeq_epi32(av, ones));
    r = _mm256_blendv_epi8(r, dv, _mm256_cmpeq_epi32(av, zero));
    _mm256_storeu_si256(dp, r);
  }
  return x;
}
#endif

template <class P, int F, bool kColour>
void BlendRow(const typename P::Word* s, typename P::Word* d, const uint8_t* a, int32_t n, int32_t level) {
  int32_t x = 0;
  if constexpr (P::kBytes == 4) {
#if defined(__x86_64__)
    if (level >= kPixelSimdAVX2) x = BlendRowAVX2<F, kColour>(s, d, a, n);
#endif
#if defined(__SSE2__)
    if (level == kPixelSimdSSE2) x = BlendRowSSE2<F, kColour>(s, d, a, n);
#endif
  }
  (void)level;
  BlendRowScalar<P, F, kColour>(s, d, a, x, n);
}

template <class P, int F>
void AlphaBitMapRows(const vkAlphaBitMapBlock& b) {
  using W = typename P::Word;
  const int32_t level = PixelSimdLevel();
  for (int32_t y = 0; y < b.height; ++y) {
    const W* s = PixelAt<W>(b.srcPixels, b.srcPixelsPerRow, b.srcX, b.srcY + y);
    W* d = PixelAt<W>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY + y);
    const uint8_t* a = PlaneRow(b.alpha, b.alphaBytesPerRow, b.alphaY + y) + b.alphaX;
    BlendRow<P, F, false>(s, d, a, b.width, level);
  }
}

template <class P>
void AlphaBitMap(const vkAlphaBitMapBlock& b) {
  if (b.width < 1 || b.height < 1) return;
  WithFormat<P>(b.format, [&]<int F>() { AlphaBitMapRows<P, F>(b); });
}

// The destination alpha of modes 2 and 3 where it already holds a value.
inline uint8_t MergedAlpha(int32_t factor, int32_t a, int32_t b) {
  return uint8_t((int64_t(factor) * (b + ((a * (a - b)) >> 8))) / 255);
}

// The modes of the alpha-channel paint, one loop each. kSrc paints source
// pixels instead of the colour.
template <class P, int F, bool kSrc>
void AlphaChannelRows(const vkAlphaChannelBlock& b, typename P::Word colour) {
  using W = typename P::Word;
  using X = Px<P, F>;
  const int32_t mode = (b.mode >= 0 && b.mode <= 4) ? b.mode : 0;
  if ((mode == 2 || mode == 3) && !b.dstAlpha) return;
  if (mode == 3 && !b.coverage) return;
  const int32_t level = PixelSimdLevel();
  for (int32_t y = 0; y < b.height; ++y) {
    const W* s = kSrc ? PixelAt<W>(b.srcPixels, b.srcPixelsPerRow, b.srcX, b.srcY + y) : &colour;
    W* d = PixelAt<W>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY + y);
    const uint8_t* a = b.alpha ? PlaneRow(b.alpha, b.alphaBytesPerRow, b.srcY + y) + b.srcX : nullptr;
    uint8_t* da = b.dstAlpha ? PlaneRow(b.dstAlpha, b.dstAlphaBytesPerRow, b.dstY + y) + b.dstX : nullptr;
    auto paint = [&](int32_t x) -> const W& { return kSrc ? s[x] : colour; };
    switch (mode) {
      case 0:
        for (int32_t x = 0; x < b.width; ++x)
          if (a[x]) d[x] = paint(x);
        break;
      case 1:
        BlendRow<P, F, !kSrc>(s, d, a, b.width, level);
        break;
      case 4:
        for (int32_t x = 0; x < b.width; ++x) {
          uint32_t v = a[x];
          if (v == 64)
            d[x] = paint(x);
          else if (v != 0)
            d[x] = X::Blend(paint(x), d[x], (4 * v) & 252);
        }
        break;
      case 2:
        for (int32_t x = 0; x < b.width; ++x) {
          int32_t v = a[x];
          if (v == 0) continue;
          if (da[x] != 0) {
            d[x] = X::Blend(paint(x), d[x], uint32_t(v));
            da[x] = MergedAlpha(b.factor, v, da[x]);
          } else {
            d[x] = paint(x);
            da[x] = uint8_t((int64_t(b.factor) * v) / 255);
          }
        }
        break;
      case 3: {
        const uint32_t* cov = b.coverage + (ptrdiff_t(b.srcY + y) * b.coveragePerRow + b.srcX);
        for (int32_t x = 0; x < b.width; ++x) {
          uint32_t w = cov[x];
          if (w == 0) continue;
          int32_t v = int32_t(w & 0xFF);
          if (da[x] != 0) {
            d[x] = X::Blend(colour, d[x], uint32_t(v));
            da[x] = MergedAlpha(b.factor, v, da[x]);
          } else {
            d[x] = colour;
            da[x] = uint8_t((int64_t(b.factor) * int64_t(w)) / 255);
          }
        }
        break;
      }
    }
  }
}

template <class P>
void AlphaChannel(const vkAlphaChannelBlock& b, typename P::Word colour) {
  if (b.width < 1 || b.height < 1) return;
  if (b.mode != 3 && !b.alpha) return;
  const bool src = b.srcPixels != nullptr && b.mode != 3;
  WithFormat<P>(b.format, [&]<int F>() {
    if (src)
      AlphaChannelRows<P, F, true>(b, colour);
    else
      AlphaChannelRows<P, F, false>(b, colour);
  });
}

}  // namespace

void BltAlphaBitMapRows32(const vkAlphaBitMapBlock* b) { AlphaBitMap<vkPix32>(*b); }
void BltAlphaBitMapRows24(const vkAlphaBitMapBlock* b) { AlphaBitMap<vkPix24>(*b); }
void BltAlphaBitMapRows16(const vkAlphaBitMapBlock* b) { AlphaBitMap<vkPix16>(*b); }

void BltAlphaChannelRows32(const vkAlphaChannelBlock* b) { AlphaChannel<vkPix32>(*b, b->colour); }
void BltAlphaChannelRows24(const vkAlphaChannelBlock* b) {
  // The colour comes as 0xRRGGBB and is written in the format's byte order.
  uint32_t c = b->colour;
  if (b->format == PIXFMT_BGR24) c = (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
  AlphaChannel<vkPix24>(*b, vkPix24::Make(c));
}
void BltAlphaChannelRows16(const vkAlphaChannelBlock* b) {
  AlphaChannel<vkPix16>(*b, uint16_t(b->colour));
}

void BltAlphaPlaneRows(const vkAlphaPlaneBlock* b) {
  if (b->width < 1 || b->height < 1) return;
  const int32_t mode = (b->mode >= 0 && b->mode <= 7) ? b->mode : 0;
  const uint8_t fixed = uint8_t(b->factor);
  for (int32_t y = 0; y < b->height; ++y) {
    const uint8_t* s = PlaneRow(b->src, b->srcBytesPerRow, b->srcY + y) + b->srcX;
    uint8_t* d = PlaneRow(b->dst, b->dstBytesPerRow, b->dstY + y) + b->dstX;
    const int32_t n = b->width;
    switch (mode) {
      case 0: std::memmove(d, s, size_t(n)); break;
      case 1: for (int32_t x = 0; x < n; ++x) if (s[x]) d[x] = s[x]; break;
      case 2: for (int32_t x = 0; x < n; ++x) if (s[x]) d[x] = uint8_t(255 - s[x]); break;
      case 3: for (int32_t x = 0; x < n; ++x) if (s[x]) d[x] = 255; break;
      case 4:
        for (int32_t x = 0; x < n; ++x)
          if (s[x]) d[x] = uint8_t((int64_t(b->factor) * s[x]) / 255);
        break;
      case 5: for (int32_t x = 0; x < n; ++x) if (s[x] && d[x]) d[x] = uint8_t(255 - s[x]); break;
      case 6: for (int32_t x = 0; x < n; ++x) if (s[x]) d[x] = fixed; break;
      case 7: for (int32_t x = 0; x < n; ++x) d[x] = (s[x] && d[x]) ? s[x] : 0; break;
    }
  }
}

void BltTemplateAlphaRows(const vkTemplateAlphaBlock* b) {
  if (b->width < 1 || b->height < 1) return;
  const uint8_t v = uint8_t(b->value);
  for (int32_t y = 0; y < b->height; ++y) {
    const uint8_t* t = PlaneRow(b->templ, b->templBytesPerRow, b->templY + y);
    uint8_t* a = PlaneRow(b->alpha, b->alphaBytesPerRow, b->alphaY + y) + b->alphaX;
    for (int32_t x = 0; x < b->width; ++x)
      if (GetBit(t, b->templX + x)) a[x] = v;
  }
}

void MultiplyAlphaPlane(const uint8_t* src, uint8_t* dst, int32_t factor, int32_t width,
                        int32_t height) {
  if (width < 1 || height < 1) return;
  const size_t n = size_t(width) * size_t(height);
  for (size_t i = 0; i < n; ++i) dst[i] = uint8_t((int64_t(src[i]) * factor) / 255);
}

void ApplyAlphaToMask(const uint8_t* alpha, uint8_t* mask, int32_t alphaBytesPerRow,
                      int32_t maskBytesPerRow, int32_t mode, const vkAlphaMaskRect* r) {
  if (r->width < 1 || r->height < 1) return;
  // Modes 4 and from 6 leave the mask as it is.
  DispatchMode<6>(mode, [&]<int M>() {
    if constexpr (M == 4) return;
    for (int32_t y = 0; y < r->height; ++y) {
      const uint8_t* a = PlaneRow(alpha, alphaBytesPerRow, r->alphaY + y) + r->alphaX;
      uint8_t* m = PlaneRow(mask, maskBytesPerRow, r->maskY + y);
      for (int32_t x = 0; x < r->width; ++x) {
        const bool opaque = a[x] == 255;
        const int32_t bit = r->maskX + x;
        if constexpr (M == 0 || M == 2) PutBit(m, bit, opaque);
        if constexpr (M == 1) PutBit(m, bit, !opaque);
        if constexpr (M == 3) {
          if (opaque) FlipBit(m, bit);
        }
        if constexpr (M == 5) {
          if (opaque) SetBit(m, bit);
        }
      }
    }
  });
}

namespace {

// For each byte of eight mask bits, the eight bytes (in memory order, the
// most significant bit first) that are 0xFF where the bit is set.
constexpr std::array<uint64_t, 256> kBitBytes = [] {
  std::array<uint64_t, 256> t{};
  for (uint32_t v = 0; v < 256; ++v)
    for (int i = 0; i < 8; ++i)
      if (v & (0x80u >> i)) t[v] |= uint64_t(0xFF) << (8 * i);
  return t;
}();

}  // namespace

void CombineClipMask(const vkClipMaskBlock* b) {
  if (b->width < 1 || b->height < 1) return;
  for (int32_t y = 0; y < b->height; ++y) {
    const uint8_t* clip = PlaneRow(b->clipMask, b->clipBytesPerRow, b->dstY - b->clipY + y);
    const int32_t clipX = b->dstX - b->clipX;
    if (b->srcBytes) {
      const uint8_t* s = PlaneRow(b->srcBytes, b->srcBytesPerRow, b->blitY + y) + b->blitX;
      uint8_t* d = PlaneRow(b->scratch, b->scratchBytesPerRow, b->blitY + y) + b->blitX;
      // Eight bytes at a time through the byte mask of eight shape bits,
      // without branches: the shape's bits are as good as random.
      int32_t x = 0;
      for (; x + 8 <= b->width; x += 8) {
        uint64_t bytes;
        std::memcpy(&bytes, s + x, 8);
        bytes &= kBitBytes[GetBits8(clip, clipX + x)];
        std::memcpy(d + x, &bytes, 8);
      }
      for (; x < b->width; ++x) d[x] = uint8_t(s[x] & -int32_t(GetBit(clip, clipX + x)));
    } else {
      uint8_t* d = PlaneRow(b->scratch, b->maskBytesPerRow, b->blitY + y);
      const uint8_t* s = b->srcMask ? PlaneRow(b->srcMask, b->srcMaskBytesPerRow, b->blitY + y) : nullptr;
      for (int32_t x = 0; x < b->width; ++x) {
        const int32_t bit = b->blitX + x;
        const uint32_t on = GetBit(clip, clipX + x) & (s ? GetBit(s, bit) : 1u);
        const uint8_t m = uint8_t(0x80 >> (bit & 7));
        d[bit >> 3] = uint8_t((d[bit >> 3] & ~m) | (m & -on));
      }
    }
  }
}
