// Copy, fill and mask kernels, each family written once over the pixel
// traits of pixfmt.h. The 32-bit masked copy and fill have vector paths (the
// masked copy expands eight mask bits into lane masks); they write exactly
// what the scalar loops do.
#include "pixel/copykernels.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "pixel/pixfmt.h"
#include "pixel/planebits.h"

#include "pixel/simd.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// ---- copy ------------------------------------------------------------------

template <class P>
void CopyRows(const vkCopyBlock& b) {
  using W = typename P::Word;
  if (b.width < 1 || b.height < 1) return;
  const W* src = PixelAt<W>(b.srcPixels, b.srcPixelsPerRow, b.srcX, b.srcY);
  W* dst = PixelAt<W>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY);
  size_t rowBytes = size_t(b.width) * sizeof(W);
  // Within one buffer a copy downwards walks the rows bottom-up, and memmove
  // handles overlap inside a row, so scrolling a picture onto itself works.
  if (std::greater<const void*>()(dst, src)) {
    for (int32_t y = b.height - 1; y >= 0; --y)
      std::memmove(dst + ptrdiff_t(y) * b.dstPixelsPerRow, src + ptrdiff_t(y) * b.srcPixelsPerRow,
                   rowBytes);
  } else {
    for (int32_t y = 0; y < b.height; ++y)
      std::memmove(dst + ptrdiff_t(y) * b.dstPixelsPerRow, src + ptrdiff_t(y) * b.srcPixelsPerRow,
                   rowBytes);
  }
}

// R, G, B of a 32-bit word as 0x00RRGGBB, and back into a word whose fourth
// byte is kept.
inline uint32_t ToRGB(uint32_t w, int32_t f) {
  if (f == PIXFMT_BGRA32) return (w >> 8 & 0xFF) << 16 | (w >> 16 & 0xFF) << 8 | (w >> 24);
  if (f == PIXFMT_RGBA32) return w >> 8;
  return w & 0x00FFFFFF;
}
inline uint32_t FromRGB(uint32_t rgb, uint32_t old, int32_t f) {
  uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
  if (f == PIXFMT_BGRA32) return b << 24 | g << 16 | r << 8 | (old & 0xFF);
  if (f == PIXFMT_RGBA32) return r << 24 | g << 16 | b << 8 | (old & 0xFF);
  return (old & 0xFF000000u) | rgb;
}

template <int SF, int DF>
void ConvertRows32(const vkCopyBlock& b) {
  for (int32_t y = 0; y < b.height; ++y) {
    const uint32_t* s = PixelAt<uint32_t>(b.srcPixels, b.srcPixelsPerRow, b.srcX, b.srcY + y);
    uint32_t* d = PixelAt<uint32_t>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY + y);
    for (int32_t x = 0; x < b.width; ++x) d[x] = FromRGB(ToRGB(s[x], SF), d[x], DF);
  }
}

template <int SF>
void ConvertRows32From(const vkCopyBlock& b) {
  switch (b.dstFormat) {
    case PIXFMT_ARGB32: ConvertRows32<SF, PIXFMT_ARGB32>(b); break;
    case PIXFMT_BGRA32: ConvertRows32<SF, PIXFMT_BGRA32>(b); break;
    case PIXFMT_RGBA32: ConvertRows32<SF, PIXFMT_RGBA32>(b); break;
    default: break;
  }
}

// ---- masked copy and template -----------------------------------------------

template <class P>
void MaskRows(const vkMaskBlitBlock& b) {
  using W = typename P::Word;
  if (b.width < 1 || b.height < 1) return;
  for (int32_t y = 0; y < b.height; ++y) {
    const W* s = PixelAt<W>(b.srcPixels, b.srcPixelsPerRow, b.srcX, b.srcY + y);
    W* d = PixelAt<W>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY + y);
    const uint8_t* m = PlaneRow(b.mask, b.maskBytesPerRow, b.srcY + y);
    for (int32_t x = 0; x < b.width; ++x)
      if (GetBit(m, b.srcX + x)) d[x] = s[x];
  }
}

#if defined(__x86_64__)
// Eight pixels per mask byte: none set skips, all set copies, others select
// by lanes.
// Returns the number of pixels done in the row. With [kAligned] the mask bits
// start on a byte boundary and each group reads one mask byte.
template <bool kAligned>
int32_t MaskRowSSE2(const uint32_t* s, uint32_t* d, const uint8_t* m, int32_t bitX, int32_t n) {
  const __m128i bitsLo = _mm_setr_epi32(0x80, 0x40, 0x20, 0x10);
  const __m128i bitsHi = _mm_setr_epi32(0x08, 0x04, 0x02, 0x01);
  const uint8_t* mb = m + (bitX >> 3);
  int32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const uint32_t bits = kAligned ? mb[x >> 3] : GetBits8(m, bitX + x);
    if (bits == 0) continue;
    const __m128i* sp = reinterpret_cast<const __m128i*>(s + x);
    __m128i* dp = reinterpret_cast<__m128i*>(d + x);
    __m128i s0 = _mm_loadu_si128(sp), s1 = _mm_loadu_si128(sp + 1);
    if (bits == 0xFF) {
      _mm_storeu_si128(dp, s0);
      _mm_storeu_si128(dp + 1, s1);
      continue;
    }
    __m128i v = _mm_set1_epi32(int(bits));
    __m128i m0 = _mm_cmpeq_epi32(_mm_and_si128(v, bitsLo), bitsLo);
    __m128i m1 = _mm_cmpeq_epi32(_mm_and_si128(v, bitsHi), bitsHi);
    __m128i d0 = _mm_loadu_si128(dp), d1 = _mm_loadu_si128(dp + 1);
    _mm_storeu_si128(dp, _mm_or_si128(_mm_and_si128(m0, s0), _mm_andnot_si128(m0, d0)));
    _mm_storeu_si128(dp + 1, _mm_or_si128(_mm_and_si128(m1, s1), _mm_andnot_si128(m1, d1)));
  }
  return x;
}

// With [kAligned] the mask bits start on a byte boundary and each group of
// eight pixels reads one mask byte.
template <bool kAligned>
__attribute__((target("avx2"))) int32_t MaskRowAVX2(const uint32_t* s, uint32_t* d, const uint8_t* m,
                                                    int32_t bitX, int32_t n) {
  const __m256i bits8 = _mm256_setr_epi32(0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01);
  const uint8_t* mb = m + (bitX >> 3);
  int32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    const uint32_t bits = kAligned ? mb[x >> 3] : GetBits8(m, bitX + x);
    if (bits == 0) continue;
    __m256i sv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
    __m256i* dp = reinterpret_cast<__m256i*>(d + x);
    __m256i sel = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(int(bits)), bits8), bits8);
    _mm256_storeu_si256(dp, _mm256_blendv_epi8(_mm256_loadu_si256(dp), sv, sel));
  }
  return x;
}

template <>
void MaskRows<vkPix32>(const vkMaskBlitBlock& b) {
  if (b.width < 1 || b.height < 1) return;
  const int32_t level = PixelSimdLevel();
  for (int32_t y = 0; y < b.height; ++y) {
    const uint32_t* s = PixelAt<uint32_t>(b.srcPixels, b.srcPixelsPerRow, b.srcX, b.srcY + y);
    uint32_t* d = PixelAt<uint32_t>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY + y);
    const uint8_t* m = PlaneRow(b.mask, b.maskBytesPerRow, b.srcY + y);
    int32_t x = 0;
    if (level >= kPixelSimdAVX2)
      x = (b.srcX & 7) ? MaskRowAVX2<false>(s, d, m, b.srcX, b.width) : MaskRowAVX2<true>(s, d, m, b.srcX, b.width);
    else if (level == kPixelSimdSSE2)
      x = (b.srcX & 7) ? MaskRowSSE2<false>(s, d, m, b.srcX, b.width) : MaskRowSSE2<true>(s, d, m, b.srcX, b.width);
    for (; x < b.width; ++x)
      if (GetBit(m, b.srcX + x)) d[x] = s[x];
  }
}

// A 32-bit fill row with 16-byte stores.
void FillRow32(uint32_t* d, int32_t n, uint32_t v) {
  const __m128i vv = _mm_set1_epi32(int32_t(v));
  int32_t x = 0;
  for (; x + 8 <= n; x += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), vv);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x + 4), vv);
  }
  for (; x < n; ++x) d[x] = v;
}
#endif

template <class P>
void TemplateRows(const vkTemplateBlock& b) {
  using W = typename P::Word;
  if (b.width < 1 || b.height < 1) return;
  const W colour = P::Make(b.colour);
  for (int32_t y = 0; y < b.height; ++y) {
    const uint8_t* t = PlaneRow(b.templ, b.templBytesPerRow, b.templY + y);
    W* d = PixelAt<W>(b.dstPixels, b.dstPixelsPerRow, b.dstX, b.dstY + y);
    for (int32_t x = 0; x < b.width; ++x)
      if (GetBit(t, b.templX + x)) d[x] = colour;
  }
}

// ---- fill, colour key, replace, invert ----------------------------------------

template <class P>
void FillRect(void* pixels, int32_t ppr, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t v) {
  using W = typename P::Word;
  if (w < 1 || h < 1) return;
  const W value = P::Make(v);
#if defined(__x86_64__)
  if constexpr (P::kBytes == 4) {
    if (PixelSimdLevel() >= kPixelSimdSSE2) {
      for (int32_t r = 0; r < h; ++r) FillRow32(PixelAt<W>(pixels, ppr, x, y + r), w, v);
      return;
    }
  }
#endif
  for (int32_t r = 0; r < h; ++r) std::fill_n(PixelAt<W>(pixels, ppr, x, y + r), w, value);
}

template <class P>
void ColorKeyRows(const void* pixels, uint8_t* mask, int32_t w, int32_t h, int32_t mbpr,
                  uint32_t key, int32_t ppr, uint32_t compare) {
  using W = typename P::Word;
  if (w < 1 || h < 1) return;
  for (int32_t y = 0; y < h; ++y) {
    const W* s = PixelAt<W>(pixels, ppr, 0, y);
    uint8_t* m = PlaneRow(mask, mbpr, y);
    for (int32_t x0 = 0; x0 < w; x0 += 8) {
      int32_t n = std::min(8, w - x0);
      uint32_t bits = 0;
      for (int32_t i = 0; i < n; ++i)
        bits |= uint32_t((P::Value(s[x0 + i]) & compare) != key) << (7 - i);
      uint8_t keep = uint8_t(0xFF >> n);  // bits beyond the width stay as they are
      m[x0 >> 3] = uint8_t((m[x0 >> 3] & keep) | bits);
    }
  }
}

// Pairs chain (each pair sees what the previous one wrote) for 32 and 16
// bits; the 24-bit member compares the original value, so the last match wins.
template <class P, bool kChain>
void ReplaceRows(int32_t w, int32_t h, const uint32_t* pairs, void* pixels, int32_t ppr,
                 uint32_t compare, uint32_t oldMask) {
  using W = typename P::Word;
  if (w < 1 || h < 1 || pairs[0] == 0xFFFFFFFFu) return;
  for (int32_t y = 0; y < h; ++y) {
    W* p = PixelAt<W>(pixels, ppr, 0, y);
    for (int32_t x = 0; x < w; ++x) {
      uint32_t original = P::Value(p[x]) & compare;
      for (const uint32_t* q = pairs; q[0] != 0xFFFFFFFFu; q += 2) {
        uint32_t current = kChain ? (P::Value(p[x]) & compare) : original;
        if (current == (q[0] & oldMask)) p[x] = P::Make(q[1]);
      }
    }
  }
}

template <class P>
void InvertRows(void* pixels, int32_t w, int32_t h, int32_t ppr) {
  using W = typename P::Word;
  if (w < 1 || h < 1) return;
  for (int32_t y = 0; y < h; ++y) {
    if constexpr (P::kBytes == 3) {
      uint8_t* p = reinterpret_cast<uint8_t*>(PixelAt<W>(pixels, ppr, 0, y));
      for (int32_t i = 0; i < w * 3; ++i) p[i] = uint8_t(~p[i]);
    } else {
      W* p = PixelAt<W>(pixels, ppr, 0, y);
      for (int32_t x = 0; x < w; ++x) p[x] = W(~p[x]);
    }
  }
}

// ---- mirror -------------------------------------------------------------------

template <class P>
void FlipPixelRows(const vkFlipBlock& b) {
  using W = typename P::Word;
  if (b.direction == 0) {
    for (int32_t i = 0; i < b.height / 2; ++i)
      std::swap_ranges(PixelAt<W>(b.pixels, b.pixelsPerRow, 0, i),
                       PixelAt<W>(b.pixels, b.pixelsPerRow, b.width, i),
                       PixelAt<W>(b.pixels, b.pixelsPerRow, 0, b.height - 1 - i));
  } else {
    for (int32_t y = 0; y < b.height; ++y) {
      W* p = PixelAt<W>(b.pixels, b.pixelsPerRow, 0, y);
      std::reverse(p, p + b.width);
    }
  }
}

// ---- flood fill -----------------------------------------------------------------

// One pending seed of the scan-line fill: the span it filled and where the
// scan of the row above (phase 0) or below (phase 1) stands.
struct FillFrame {
  int32_t y, xl, xr, col;
  uint8_t phase;
  bool ready;
};

template <class P>
void FloodFill(const vkFloodFillBlock& b, int32_t x, int32_t y, uint32_t compare) {
  using W = typename P::Word;
  const int32_t left = b.left, right = b.left + b.areaWidth;  // right exclusive
  const int32_t top = b.top, bottom = b.top + b.areaHeight;   // bottom exclusive
  const uint32_t border = b.border & compare, fillKey = b.fill & compare;
  const W fill = P::Make(b.fill);
  auto at = [&](int32_t cx, int32_t cy) -> W& { return *PixelAt<W>(b.pixels, b.pixelsPerRow, cx, cy); };
  auto isBorder = [&](int32_t cx, int32_t cy) { return (P::Value(at(cx, cy)) & compare) == border; };
  auto blocked = [&](int32_t cx, int32_t cy) {
    uint32_t v = P::Value(at(cx, cy)) & compare;
    return v == border || v == fillKey;
  };

  std::vector<FillFrame> stack;
  // Fills the span through the seed and pushes its frame; a seed outside the
  // area or on the border colour does nothing.
  auto enter = [&](int32_t sx, int32_t sy) {
    if (sx < left || sx >= right || sy < top || sy >= bottom || isBorder(sx, sy)) return;
    int32_t xl = sx;
    at(sx, sy) = fill;
    while (xl - 1 >= left && !isBorder(xl - 1, sy)) at(--xl, sy) = fill;
    int32_t xr = sx;
    while (xr + 1 < right && !isBorder(xr + 1, sy)) at(++xr, sy) = fill;
    stack.push_back(FillFrame{sy, xl, xr, xl, 0, true});
  };

  enter(x, y);
  while (!stack.empty()) {
    FillFrame& f = stack.back();
    int32_t row = f.phase == 0 ? f.y - 1 : f.y + 1;
    bool rowInside = f.phase == 0 ? f.y > top : f.y < bottom - 1;
    if (!rowInside || f.col > f.xr) {
      if (f.phase == 0) {
        f.phase = 1, f.col = f.xl, f.ready = true;
      } else {
        stack.pop_back();
      }
      continue;
    }
    int32_t c = f.col++;
    if (blocked(c, row)) {
      f.ready = true;
    } else if (f.ready) {
      f.ready = false;
      enter(c, row);  // may reallocate the stack: f is not used after this
    }
  }
}

}  // namespace

void BltBitMapRows32(const vkCopyBlock* b) {
  if (!b->convert) return CopyRows<vkPix32>(*b);
  if (b->width < 1 || b->height < 1) return;
  switch (b->srcFormat) {
    case PIXFMT_ARGB32: ConvertRows32From<PIXFMT_ARGB32>(*b); break;
    case PIXFMT_BGRA32: ConvertRows32From<PIXFMT_BGRA32>(*b); break;
    case PIXFMT_RGBA32: ConvertRows32From<PIXFMT_RGBA32>(*b); break;
    default: break;
  }
}
void BltBitMapRows24(const vkCopyBlock* b) { CopyRows<vkPix24>(*b); }
void BltBitMapRows16(const vkCopyBlock* b) { CopyRows<vkPix16>(*b); }

void BltMaskRows32(const vkMaskBlitBlock* b) { MaskRows<vkPix32>(*b); }
void BltMaskRows24(const vkMaskBlitBlock* b) { MaskRows<vkPix24>(*b); }
void BltMaskRows16(const vkMaskBlitBlock* b) { MaskRows<vkPix16>(*b); }

void BltTemplateRows32(const vkTemplateBlock* b) { TemplateRows<vkPix32>(*b); }
void BltTemplateRows24(const vkTemplateBlock* b) { TemplateRows<vkPix24>(*b); }
void BltTemplateRows16(const vkTemplateBlock* b) { TemplateRows<vkPix16>(*b); }

void FillPixelRect32(void* p, int32_t ppr, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t v) {
  FillRect<vkPix32>(p, ppr, x, y, w, h, v);
}
void FillPixelRect24(void* p, int32_t ppr, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t v) {
  FillRect<vkPix24>(p, ppr, x, y, w, h, v);
}
void FillPixelRect16(void* p, int32_t ppr, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t v) {
  FillRect<vkPix16>(p, ppr, x, y, w, h, v);
}
void FillByteRect(uint8_t* data, int32_t x, int32_t y, int32_t w, int32_t h, int32_t bpr,
                  uint8_t value) {
  if (w < 1 || h < 1) return;
  for (int32_t r = 0; r < h; ++r) std::memset(PlaneRow(data, bpr, y + r) + x, value, size_t(w));
}

void ColorKeyToMask32(const void* p, uint8_t* m, int32_t w, int32_t h, int32_t mbpr, uint32_t key,
                      int32_t ppr, uint32_t compare) {
  ColorKeyRows<vkPix32>(p, m, w, h, mbpr, key, ppr, compare);
}
void ColorKeyToMask24(const void* p, uint8_t* m, int32_t w, int32_t h, int32_t mbpr, uint32_t key,
                      int32_t ppr) {
  ColorKeyRows<vkPix24>(p, m, w, h, mbpr, key, ppr, 0xFFFFFFFFu);
}
void ColorKeyToMask16(const void* p, uint8_t* m, int32_t w, int32_t h, int32_t mbpr, uint32_t key,
                      int32_t ppr) {
  ColorKeyRows<vkPix16>(p, m, w, h, mbpr, key & 0xFFFF, ppr, 0xFFFFFFFFu);
}

void ReplaceColorPixels32(int32_t w, int32_t h, const uint32_t* pairs, void* p, int32_t ppr,
                          uint32_t compare) {
  ReplaceRows<vkPix32, true>(w, h, pairs, p, ppr, compare, 0xFFFFFFFFu);
}
void ReplaceColorPixels24(int32_t w, int32_t h, const uint32_t* pairs, void* p, int32_t ppr) {
  ReplaceRows<vkPix24, false>(w, h, pairs, p, ppr, 0xFFFFFFFFu, 0xFFFFFFFFu);
}
void ReplaceColorPixels16(int32_t w, int32_t h, const uint32_t* pairs, void* p, int32_t ppr) {
  ReplaceRows<vkPix16, true>(w, h, pairs, p, ppr, 0xFFFFFFFFu, 0xFFFFu);
}

void InvertPixels32(void* p, int32_t w, int32_t h, int32_t ppr) { InvertRows<vkPix32>(p, w, h, ppr); }
void InvertPixels24(void* p, int32_t w, int32_t h, int32_t ppr) { InvertRows<vkPix24>(p, w, h, ppr); }
void InvertPixels16(void* p, int32_t w, int32_t h, int32_t ppr) { InvertRows<vkPix16>(p, w, h, ppr); }
void InvertPlaneBytes(uint8_t* data, int32_t rows, int32_t bpr) {
  if (rows < 1 || bpr < 1) return;
  size_t n = size_t(rows) * size_t(bpr);
  for (size_t i = 0; i < n; ++i) data[i] = uint8_t(~data[i]);
}

void FlipPixels(const vkFlipBlock* b) {
  if (b->width < 1 || b->height < 1) return;
  switch (b->bytesPerPixel) {
    case 4: FlipPixelRows<vkPix32>(*b); break;
    case 3: FlipPixelRows<vkPix24>(*b); break;
    case 2: FlipPixelRows<vkPix16>(*b); break;
    default: return;
  }
  if (b->direction == 0) {
    for (int32_t i = 0; i < b->height / 2; ++i) {
      int32_t j = b->height - 1 - i;
      if (b->mask)
        std::swap_ranges(PlaneRow(b->mask, b->maskBytesPerRow, i),
                         PlaneRow(b->mask, b->maskBytesPerRow, i) + b->maskBytesPerRow,
                         PlaneRow(b->mask, b->maskBytesPerRow, j));
      if (b->alpha)
        std::swap_ranges(PlaneRow(b->alpha, b->alphaBytesPerRow, i),
                         PlaneRow(b->alpha, b->alphaBytesPerRow, i) + b->width,
                         PlaneRow(b->alpha, b->alphaBytesPerRow, j));
    }
    return;
  }
  for (int32_t y = 0; y < b->height; ++y) {
    if (b->mask) {
      uint8_t* row = PlaneRow(b->mask, b->maskBytesPerRow, y);
      std::memcpy(b->scratch, row, size_t(b->maskBytesPerRow));
      for (int32_t x = 0; x < b->width; ++x) PutBit(row, x, GetBit(b->scratch, b->width - 1 - x));
    }
    if (b->alpha) {
      uint8_t* row = PlaneRow(b->alpha, b->alphaBytesPerRow, y);
      std::reverse(row, row + b->width);
    }
  }
}

void FloodFillPixels32(const vkFloodFillBlock* b, int32_t x, int32_t y, uint32_t compare) {
  FloodFill<vkPix32>(*b, x, y, compare);
}
void FloodFillPixels24(const vkFloodFillBlock* b, int32_t x, int32_t y) {
  FloodFill<vkPix24>(*b, x, y, 0x00FFFFFFu);
}
void FloodFillPixels16(const vkFloodFillBlock* b, int32_t x, int32_t y) {
  FloodFill<vkPix16>(*b, x, y, 0x0000FFFFu);
}
