// Copy, fill and mask kernels against per-pixel reference models, over a
// table of sizes, offsets and pixel sizes (4, 3, 2 bytes): whole pictures are
// compared, so writes outside the rectangle are caught too.
#include "pixel/copykernels.h"

#include <functional>

#include <gtest/gtest.h>

#include "pixel/pixfmt.h"
#include "tests/pixel/support/pixeltest.h"

using pixeltest::Picture;
using pixeltest::Plane;

namespace {

struct Rect {
  int32_t sx, sy, dx, dy, w, h;
};

// Sizes 1, odd widths, a byte-wide run, SIMD groups with tails, mid-byte bit
// columns, and empty or negative rectangles.
const Rect kRects[] = {
    {0, 0, 0, 0, 1, 1},  {1, 2, 3, 0, 7, 3},  {0, 0, 5, 1, 8, 2},   {3, 1, 0, 2, 9, 4},
    {5, 0, 1, 1, 33, 5}, {7, 3, 2, 0, 70, 2}, {0, 0, 0, 0, 0, 3},   {2, 2, 2, 2, 3, 0},
    {1, 1, 1, 1, -4, 2}, {6, 0, 9, 3, 16, 1}, {13, 2, 4, 1, 24, 3},
};

constexpr int32_t kW = 90, kH = 9;

using CopyFn = void (*)(const vkCopyBlock*);
using MaskFn = void (*)(const vkMaskBlitBlock*);
using TemplFn = void (*)(const vkTemplateBlock*);
using FillFn = void (*)(void*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t);
struct Member {
  int32_t bpp;
  CopyFn copy;
  MaskFn mask;
  TemplFn templ;
  FillFn fill;
};
const Member kMembers[] = {
    {4, BltBitMapRows32, BltMaskRows32, BltTemplateRows32, FillPixelRect32},
    {3, BltBitMapRows24, BltMaskRows24, BltTemplateRows24, FillPixelRect24},
    {2, BltBitMapRows16, BltMaskRows16, BltTemplateRows16, FillPixelRect16},
};

TEST(CopyKernels, CopyMaskTemplateAndFillMatchTheReference) {
  std::mt19937 rng(1);
  pixeltest::ForEachSimdLevel([&](int32_t level) {
  for (const Member& m : kMembers) {
    for (const Rect& r : kRects) {
      SCOPED_TRACE(testing::Message() << "level " << level << " bpp " << m.bpp << " rect " << r.sx << "," << r.sy << " -> "
                                      << r.dx << "," << r.dy << " " << r.w << "x" << r.h);
      Picture src(kW, kH, m.bpp), dst(kW, kH, m.bpp, 5);
      src.randomize(rng);
      dst.randomize(rng);
      Plane mask(kW / 8 + 1, kH);
      mask.randomize(rng);
      const uint32_t colour = rng() & (m.bpp == 4 ? 0xFFFFFFFF : m.bpp == 3 ? 0xFFFFFF : 0xFFFF);

      // Plain copy.
      Picture got = dst, want = dst;
      vkCopyBlock cb{src.data(), got.data(), r.sx, r.sy, r.dx, r.dy, r.w, r.h,
                     src.perRow, got.perRow, 0, PIXFMT_ARGB32, PIXFMT_ARGB32};
      m.copy(&cb);
      for (int32_t y = 0; y < r.h; ++y)
        for (int32_t x = 0; x < r.w; ++x) want.set(r.dx + x, r.dy + y, src.get(r.sx + x, r.sy + y));
      EXPECT_EQ(got.bytes, want.bytes) << "copy";

      // Masked copy: the mask is read at the source position.
      got = dst, want = dst;
      vkMaskBlitBlock mb{src.data(), got.data(), mask.data(), r.sx, r.sy, r.dx, r.dy, r.w, r.h,
                         src.perRow, mask.bytesPerRow, got.perRow};
      m.mask(&mb);
      for (int32_t y = 0; y < r.h; ++y)
        for (int32_t x = 0; x < r.w; ++x)
          if (mask.bit(r.sx + x, r.sy + y)) want.set(r.dx + x, r.dy + y, src.get(r.sx + x, r.sy + y));
      EXPECT_EQ(got.bytes, want.bytes) << "mask";

      // Template in a colour.
      got = dst, want = dst;
      vkTemplateBlock tb{mask.data(), got.data(), r.sx, r.sy, r.dx, r.dy, r.w, r.h,
                         mask.bytesPerRow, got.perRow, colour};
      m.templ(&tb);
      for (int32_t y = 0; y < r.h; ++y)
        for (int32_t x = 0; x < r.w; ++x)
          if (mask.bit(r.sx + x, r.sy + y)) want.set(r.dx + x, r.dy + y, colour);
      EXPECT_EQ(got.bytes, want.bytes) << "template";

      // Fill.
      got = dst, want = dst;
      m.fill(got.data(), got.perRow, r.dx, r.dy, r.w, r.h, colour);
      for (int32_t y = 0; y < r.h; ++y)
        for (int32_t x = 0; x < r.w; ++x) want.set(r.dx + x, r.dy + y, colour);
      EXPECT_EQ(got.bytes, want.bytes) << "fill";
    }
  }
  });
}

TEST(CopyKernels, MaskedCopyWithAllBitsSetIsAPlainCopy) {
  std::mt19937 rng(2);
  Picture src(64, 4, 4), got(64, 4, 4), want(64, 4, 4);
  src.randomize(rng);
  Plane mask(64 / 8 + 1, 4);
  std::fill(mask.bytes.begin(), mask.bytes.end(), 0xFF);
  vkMaskBlitBlock mb{src.data(), got.data(), mask.data(), 3, 0, 0, 0, 61, 4, src.perRow, mask.bytesPerRow, got.perRow};
  BltMaskRows32(&mb);
  vkCopyBlock cb{src.data(), want.data(), 3, 0, 0, 0, 61, 4, src.perRow, want.perRow, 0, 10, 10};
  BltBitMapRows32(&cb);
  EXPECT_EQ(got.bytes, want.bytes);
}

TEST(CopyKernels, CopyOntoItselfScrollsWithoutSmearing) {
  std::mt19937 rng(3);
  for (auto [dx, dy] : {std::pair{2, 1}, std::pair{-2, -1}, std::pair{3, 0}, std::pair{0, 2}}) {
    Picture pic(20, 10, 4);
    pic.randomize(rng);
    Picture want = pic;
    const Picture before = pic;
    const int32_t sx = 4, sy = 3, w = 10, h = 5;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) want.set(sx + dx + x, sy + dy + y, before.get(sx + x, sy + y));
    vkCopyBlock cb{pic.data(), pic.data(), sx, sy, sx + dx, sy + dy, w, h, pic.perRow, pic.perRow, 0, 10, 10};
    BltBitMapRows32(&cb);
    EXPECT_EQ(pic.bytes, want.bytes) << dx << "," << dy;
  }
}

TEST(CopyKernels, ConvertingCopyMovesColourBytesAndKeepsTheFourthByte) {
  const int fmts[] = {PIXFMT_ARGB32, PIXFMT_BGRA32, PIXFMT_RGBA32};
  std::mt19937 rng(4);
  for (int sf : fmts)
    for (int df : fmts) {
      Picture src(5, 2, 4), dst(5, 2, 4);
      src.randomize(rng);
      dst.randomize(rng);
      Picture got = dst;
      vkCopyBlock cb{src.data(), got.data(), 0, 0, 0, 0, 5, 2, src.perRow, got.perRow, 1, sf, df};
      BltBitMapRows32(&cb);
      for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 5; ++x) {
          int rgb[3];
          pixeltest::Split32(src.get(x, y), sf, rgb);
          uint32_t fourth = dst.get(x, y) & ~ColorMask32(df);
          EXPECT_EQ(got.get(x, y), pixeltest::Join32(rgb, df) | fourth) << sf << "->" << df;
        }
    }
  // Codes outside the 32-bit ones write nothing.
  Picture src(3, 1, 4), dst(3, 1, 4);
  src.randomize(rng);
  Picture got = dst;
  vkCopyBlock cb{src.data(), got.data(), 0, 0, 0, 0, 3, 1, src.perRow, got.perRow, 1, 8, 10};
  BltBitMapRows32(&cb);
  EXPECT_EQ(got.bytes, dst.bytes);
}

TEST(CopyKernels, ColorKeyToMaskClearsMatchesAndKeepsSpareBits) {
  std::mt19937 rng(5);
  for (int32_t bpp : {4, 3, 2}) {
    for (int32_t w : {1, 7, 8, 10, 17}) {
      Picture pic(w, 3, bpp);
      pic.randomize(rng);
      const uint32_t key = bpp == 2 ? 0x1234 : 0x102030;
      for (int32_t x = 0; x < w; x += 3) pic.set(x, 1, bpp == 4 ? (0xFF000000 | key) : key);
      Plane got(w / 8 + 1, 3);
      got.randomize(rng);
      Plane want = got;
      for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < w; ++x) {
          uint32_t v = pic.get(x, y) & (bpp == 4 ? 0x00FFFFFFu : 0xFFFFFFFFu);
          want.setBit(x, y, v != key);
        }
      if (bpp == 4) ColorKeyToMask32(pic.data(), got.data(), w, 3, got.bytesPerRow, key, pic.perRow, 0x00FFFFFF);
      if (bpp == 3) ColorKeyToMask24(pic.data(), got.data(), w, 3, got.bytesPerRow, key, pic.perRow);
      if (bpp == 2) ColorKeyToMask16(pic.data(), got.data(), w, 3, got.bytesPerRow, key, pic.perRow);
      EXPECT_EQ(got.bytes, want.bytes) << bpp << " " << w;
    }
  }
}

TEST(CopyKernels, ReplaceColorsChainsExceptForTwentyFourBits) {
  const uint32_t A = 0x000011, B = 0x000022, C = 0x000033;
  const uint32_t pairs[] = {A, B, B, C, 0xFFFFFFFF, 0};
  struct Case {
    int32_t bpp;
    uint32_t want;
  } cases[] = {{4, C}, {2, C}, {3, B}};
  for (auto c : cases) {
    Picture pic(3, 2, c.bpp);
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 3; ++x) pic.set(x, y, x == 1 ? A : 0x55);
    if (c.bpp == 4) ReplaceColorPixels32(3, 2, pairs, pic.data(), pic.perRow, 0x00FFFFFF);
    if (c.bpp == 3) ReplaceColorPixels24(3, 2, pairs, pic.data(), pic.perRow);
    if (c.bpp == 2) ReplaceColorPixels16(3, 2, pairs, pic.data(), pic.perRow);
    EXPECT_EQ(pic.get(1, 1), c.want) << c.bpp;
    EXPECT_EQ(pic.get(0, 0), 0x55u) << c.bpp;
  }
  // A 32-bit pixel matches whatever its fourth byte; an empty list does nothing.
  Picture pic(1, 1, 4);
  pic.set(0, 0, 0xFF000011);
  const uint32_t none[] = {0xFFFFFFFF, 0};
  ReplaceColorPixels32(1, 1, none, pic.data(), pic.perRow, 0x00FFFFFF);
  EXPECT_EQ(pic.get(0, 0), 0xFF000011u);
  ReplaceColorPixels32(1, 1, pairs, pic.data(), pic.perRow, 0x00FFFFFF);
  EXPECT_EQ(pic.get(0, 0), C);
}

TEST(CopyKernels, InvertFlipsEveryBitInsideTheRectangle) {
  std::mt19937 rng(6);
  for (int32_t bpp : {4, 3, 2}) {
    Picture pic(9, 3, bpp);
    pic.randomize(rng);
    Picture want = pic;
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 9; ++x)
        want.set(x, y, ~pic.get(x, y) & (bpp == 4 ? 0xFFFFFFFF : bpp == 3 ? 0xFFFFFF : 0xFFFF));
    if (bpp == 4) InvertPixels32(pic.data(), 9, 3, pic.perRow);
    if (bpp == 3) InvertPixels24(pic.data(), 9, 3, pic.perRow);
    if (bpp == 2) InvertPixels16(pic.data(), 9, 3, pic.perRow);
    EXPECT_EQ(pic.bytes, want.bytes) << bpp;
  }
  Plane p(3, 2);
  p.randomize(rng);
  Plane want = p;
  for (auto& b : want.bytes) b = uint8_t(~b);
  InvertPlaneBytes(p.data(), 2, 3);
  EXPECT_EQ(p.bytes, want.bytes);
}

TEST(CopyKernels, FlipMirrorsPixelsMaskAndAlpha) {
  std::mt19937 rng(7);
  for (int32_t bpp : {4, 3, 2})
    for (int32_t dir : {0, 1})
      for (auto [w, h] : {std::pair{10, 5}, std::pair{9, 4}, std::pair{1, 1}}) {
        Picture pic(w, h, bpp);
        pic.randomize(rng);
        Plane mask(w / 8 + 1, h), alpha((w + 3) & ~3, h);
        mask.randomize(rng);
        alpha.randomize(rng);
        Picture wantPic = pic;
        Plane wantMask = mask, wantAlpha = alpha;
        for (int32_t y = 0; y < h; ++y)
          for (int32_t x = 0; x < w; ++x) {
            int32_t fx = dir ? w - 1 - x : x, fy = dir ? y : h - 1 - y;
            wantPic.set(x, y, pic.get(fx, fy));
            wantAlpha.byte(x, y) = alpha.byte(fx, fy);
            if (dir) wantMask.setBit(x, y, mask.bit(fx, fy));
          }
        if (!dir)  // vertical: whole mask rows are swapped, spare bits included
          for (int32_t y = 0; y < h; ++y)
            std::memcpy(wantMask.row(y), mask.row(h - 1 - y), size_t(mask.bytesPerRow));
        std::vector<uint8_t> scratch(size_t(mask.bytesPerRow));
        vkFlipBlock fb{pic.data(), w, h, pic.perRow, mask.data(), mask.bytesPerRow, alpha.data(),
                       alpha.bytesPerRow, dir, bpp, scratch.data()};
        FlipPixels(&fb);
        EXPECT_EQ(pic.bytes, wantPic.bytes) << bpp << " " << dir << " " << w;
        EXPECT_EQ(mask.bytes, wantMask.bytes) << bpp << " " << dir << " " << w;
        EXPECT_EQ(alpha.bytes, wantAlpha.bytes) << bpp << " " << dir << " " << w;
      }
}

// The scan-line boundary fill as a plain recursion, for small pictures.
void RefFill(Picture& p, int32_t L, int32_t T, int32_t W, int32_t H, uint32_t border, uint32_t fill,
             uint32_t cmp, int32_t x, int32_t y) {
  auto val = [&](int32_t cx, int32_t cy) { return p.get(cx, cy) & cmp; };
  if (x < L || val(x, y) == (border & cmp)) return;
  int32_t xl = x;
  p.set(x, y, fill);
  while (xl - 1 >= L && val(xl - 1, y) != (border & cmp)) p.set(--xl, y, fill);
  int32_t xr = x;
  while (xr + 1 < L + W && val(xr + 1, y) != (border & cmp)) p.set(++xr, y, fill);
  for (int32_t ny : {y - 1, y + 1}) {
    if (ny < T || ny > T + H - 1) continue;
    bool ready = true;
    for (int32_t c = xl; c <= xr; ++c) {
      uint32_t v = val(c, ny);
      if (v == (border & cmp) || v == (fill & cmp)) {
        ready = true;
      } else if (ready) {
        ready = false;
        RefFill(p, L, T, W, H, border, fill, cmp, c, ny);
      }
    }
  }
}

TEST(CopyKernels, FloodFillMatchesTheRecursiveFill) {
  std::mt19937 rng(8);
  for (int32_t bpp : {4, 3, 2})
    for (int trial = 0; trial < 40; ++trial) {
      const int32_t w = 3 + int32_t(rng() % 20), h = 3 + int32_t(rng() % 12);
      const uint32_t border = 1, fill = 2, other = 3;
      Picture pic(w, h, bpp);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          uint32_t r = rng() % 10;
          uint32_t v = r < 3 ? border : r == 3 ? fill : other;
          if (bpp == 4) v |= (rng() & 1) << 24;  // the fourth byte never matters
          pic.set(x, y, v);
        }
      const int32_t L = int32_t(rng() % 2), T = int32_t(rng() % 2);
      const int32_t W = w - L - int32_t(rng() % 2), H = h - T - int32_t(rng() % 2);
      const int32_t sx = L + int32_t(rng() % W), sy = T + int32_t(rng() % H);
      Picture want = pic;
      const uint32_t cmp = bpp == 4 ? 0x00FFFFFF : 0xFFFFFFFF;
      RefFill(want, L, T, W, H, border, fill, cmp, sx, sy);
      vkFloodFillBlock fb{pic.data(), W, H, pic.perRow, border, fill, L, T};
      if (bpp == 4) FloodFillPixels32(&fb, sx, sy, 0x00FFFFFF);
      if (bpp == 3) FloodFillPixels24(&fb, sx, sy);
      if (bpp == 2) FloodFillPixels16(&fb, sx, sy);
      ASSERT_EQ(pic.bytes, want.bytes) << "bpp " << bpp << " trial " << trial;
    }
}

TEST(CopyKernels, FloodFillEdgeCases) {
  // Seeded on the border colour: nothing changes.
  Picture pic(4, 2, 4);
  for (int32_t x = 0; x < 4; ++x) pic.set(x, 0, 9), pic.set(x, 1, 5);
  Picture before = pic;
  vkFloodFillBlock fb{pic.data(), 4, 2, pic.perRow, 9, 7, 0, 0};
  FloodFillPixels32(&fb, 1, 0, 0x00FFFFFF);
  EXPECT_EQ(pic.bytes, before.bytes);
  // Seeded at the left column of a row bounded only by the area: whole row.
  FloodFillPixels32(&fb, 0, 1, 0x00FFFFFF);
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(pic.get(x, 1), 7u);
}

TEST(CopyKernels, FloodFillSurvivesADeepCombRegion) {
  // Vertical corridors joined alternately at the top and bottom: one long
  // snake whose span count is about w x h / 2.
  const int32_t w = 1201, h = 800;
  Picture pic(w, h, 4, 0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      bool wall = x % 2 == 1 && !((x / 2) % 2 == 0 ? y == h - 1 : y == 0);
      pic.set(x, y, wall ? 1 : 0);
    }
  vkFloodFillBlock fb{pic.data(), w, h, pic.perRow, 1, 2, 0, 0};
  FloodFillPixels32(&fb, 0, 0, 0x00FFFFFF);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) ASSERT_NE(pic.get(x, y), 0u) << x << "," << y;
}

}  // namespace
