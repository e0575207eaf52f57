// Alpha and clip-mask kernels: the blend rule for every s, d and a through
// both the vector and the scalar rows, and every kernel and mode against a
// per-pixel reference model over sizes, offsets, pixel sizes and formats.
#include "pixel/alphakernels.h"

#include <gtest/gtest.h>

#include "pixel/pixfmt.h"
#include "tests/pixel/support/pixeltest.h"

using pixeltest::Picture;
using pixeltest::Plane;
using pixeltest::RefBlend;

namespace {

// Blend of two pixel values of [bpp] and [fmt], as the rule reads.
uint32_t RefBlendPixel(int32_t bpp, int32_t fmt, uint32_t s, uint32_t d, int a) {
  if (bpp == 4) {
    int sc[3], dc[3];
    pixeltest::Split32(s, fmt, sc);
    pixeltest::Split32(d, fmt, dc);
    for (int i = 0; i < 3; ++i) dc[i] = RefBlend(sc[i], dc[i], a);
    return pixeltest::Join32(dc, fmt);
  }
  if (bpp == 3) {
    uint32_t out = 0;
    for (int sh = 0; sh <= 16; sh += 8) out |= uint32_t(RefBlend(s >> sh & 255, d >> sh & 255, a)) << sh;
    return out;
  }
  uint16_t sw = uint16_t(s), dw = uint16_t(d), ow;
  uint8_t sc[3], dc[3];
  ReadPixelRGB(&sw, fmt, sc);
  ReadPixelRGB(&dw, fmt, dc);
  for (int i = 0; i < 3; ++i) dc[i] = RefBlend(sc[i], dc[i], a);
  WritePixelRGB(&ow, fmt, dc);
  return ow;
}

TEST(AlphaKernels, BlendRuleHoldsForEverySourceDestinationAndWeight) {
  // Each pixel holds one (s, d) pair in all three channels; the picture is
  // run 256 wide at every vector level and 3 wide on the scalar path.
  std::vector<std::pair<int32_t, int32_t>> runs = {{kPixelSimdScalar, 3}};
  for (int32_t level = kPixelSimdSSE2; level <= PixelSimdLevelSupported(); ++level) runs.push_back({level, 256});
  for (auto [level, width] : runs) {
    SetPixelSimdLevel(level);
    const int32_t height = (65536 + width - 1) / width;
    Picture src(width, height, 4, 0), dst(width, height, 4, 0);
    for (int32_t i = 0; i < 65536; ++i) {
      uint32_t s = uint32_t(i & 255), d = uint32_t(i >> 8);
      src.set(i % width, i / width, 0xA5000000 | s << 16 | s << 8 | s);
      dst.set(i % width, i / width, 0x5A000000 | d << 16 | d << 8 | d);
    }
    Plane alpha(width, height);
    for (int a = 0; a < 256; ++a) {
      std::fill(alpha.bytes.begin(), alpha.bytes.end(), uint8_t(a));
      Picture got = dst;
      vkAlphaBitMapBlock b{src.data(), 0, 0, 0, 0, src.perRow, got.data(), 0, 0, got.perRow,
                           width, height, alpha.data(), alpha.bytesPerRow, PIXFMT_ARGB32};
      BltAlphaBitMapRows32(&b);
      for (int32_t i = 0; i < 65536; ++i) {
        uint32_t g = got.get(i % width, i / width);
        int s = i & 255, d = i >> 8;
        uint32_t want;
        if (a == 0)
          want = dst.get(i % width, i / width);
        else if (a == 255)
          want = src.get(i % width, i / width);
        else
          want = uint32_t(RefBlend(s, d, a)) * 0x010101u;
        if (g != want) {
          ADD_FAILURE() << "level " << level << " s " << s << " d " << d << " a " << a << ": " << std::hex
                        << g << " != " << want;
          SetPixelSimdLevel(PixelSimdLevelSupported());
          return;
        }
      }
    }
  }
  SetPixelSimdLevel(PixelSimdLevelSupported());
}

TEST(AlphaKernels, BlendChannelIsTheRule) {
  for (int s = 0; s < 256; ++s)
    for (int d = 0; d < 256; ++d)
      for (int a = 0; a < 256; a += 15) ASSERT_EQ(BlendChannel(s, d, a), RefBlend(s, d, a));
  EXPECT_EQ(BlendChannel(255, 0, 128), 127);
  EXPECT_EQ(BlendChannel(0, 255, 128), 127);
}

struct Rect {
  int32_t sx, sy, dx, dy, w, h;
};
const Rect kRects[] = {
    {0, 0, 0, 0, 1, 1}, {1, 2, 3, 0, 7, 3}, {0, 0, 5, 1, 8, 2}, {3, 1, 0, 2, 9, 4},
    {5, 0, 1, 1, 33, 5}, {2, 3, 2, 0, 41, 2}, {0, 0, 0, 0, 0, 3}, {1, 1, 1, 1, 4, -1},
};
constexpr int32_t kW = 50, kH = 8;

struct Format {
  int32_t bpp, fmt;
};
const Format kFormats[] = {{4, 10}, {4, 11}, {4, 12}, {3, 8}, {3, 9}, {2, 0}, {2, 1}, {2, 2},
                           {2, 3},  {2, 4},  {2, 5},  {2, 6}, {2, 7}};

// Alpha bytes with many 0 and 255, and runs of each, so every path is taken.
void FillAlpha(Plane& p, std::mt19937& rng, int range = 256) {
  for (auto& b : p.bytes) {
    uint32_t r = rng() % 8;
    b = r < 2 ? 0 : r < 4 ? uint8_t(range == 256 ? 255 : range - 1) : uint8_t(rng() % uint32_t(range));
  }
  for (size_t i = 0; i + 8 < p.bytes.size(); i += 37) std::fill_n(p.bytes.begin() + long(i), 8, p.bytes[i]);
}

uint32_t ValueMask(int32_t bpp) { return bpp == 4 ? 0xFFFFFFFF : bpp == 3 ? 0xFFFFFF : 0xFFFF; }

TEST(AlphaKernels, AlphaBitMapMatchesTheReference) {
  std::mt19937 rng(11);
  pixeltest::ForEachSimdLevel([&](int32_t level) {
  for (const Format& f : kFormats)
    for (const Rect& r : kRects) {
      Picture src(kW, kH, f.bpp), dst(kW, kH, f.bpp);
      src.randomize(rng);
      dst.randomize(rng);
      Plane alpha(kW + 4, kH + 2);
      FillAlpha(alpha, rng);
      const int32_t ax = 2, ay = 1;  // the alpha plane is read at its own position
      Picture got = dst, want = dst;
      vkAlphaBitMapBlock b{src.data(), r.sx, r.sy, r.sx + ax, r.sy + ay, src.perRow, got.data(), r.dx, r.dy,
                           got.perRow, r.w, r.h, alpha.data(), alpha.bytesPerRow, f.fmt};
      if (f.bpp == 4) BltAlphaBitMapRows32(&b);
      if (f.bpp == 3) BltAlphaBitMapRows24(&b);
      if (f.bpp == 2) BltAlphaBitMapRows16(&b);
      for (int32_t y = 0; y < r.h; ++y)
        for (int32_t x = 0; x < r.w; ++x) {
          int a = alpha.byte(r.sx + ax + x, r.sy + ay + y);
          uint32_t s = src.get(r.sx + x, r.sy + y), d = dst.get(r.dx + x, r.dy + y);
          if (a == 0) continue;
          want.set(r.dx + x, r.dy + y, a == 255 ? s : RefBlendPixel(f.bpp, f.fmt, s, d, a));
        }
      ASSERT_EQ(got.bytes, want.bytes) << "level " << level << " bpp " << f.bpp << " fmt " << f.fmt << " w " << r.w;
    }
  });
}

// The paint of the alpha-channel kernel, mode by mode, as the table reads.
void RefAlphaChannel(const Format& f, const Rect& r, int mode, int factor, uint32_t colour,
                     const Picture* src, const Plane& alpha, const std::vector<uint32_t>& cov,
                     int32_t covPerRow, Picture& dst, Plane* dstAlpha) {
  for (int32_t y = 0; y < r.h; ++y)
    for (int32_t x = 0; x < r.w; ++x) {
      const int32_t ax = r.sx + x, ay = r.sy + y, dx = r.dx + x, dy = r.dy + y;
      uint32_t P = (src && mode != 3) ? src->get(ax, ay) : colour;
      uint32_t d = dst.get(dx, dy);
      int a = alpha.bytes[size_t(ay) * alpha.bytesPerRow + ax];
      switch (mode) {
        case 1:
          if (a == 255) dst.set(dx, dy, P);
          else if (a) dst.set(dx, dy, RefBlendPixel(f.bpp, f.fmt, P, d, a));
          break;
        case 4:
          if (a == 64) dst.set(dx, dy, P);
          else if (a) dst.set(dx, dy, RefBlendPixel(f.bpp, f.fmt, P, d, (4 * a) & 252));
          break;
        case 2:
        case 3: {
          uint32_t w = mode == 3 ? cov[size_t(ay) * covPerRow + ax] : uint32_t(a);
          if (w == 0) break;
          int wa = int(w & 255);
          uint8_t& b = dstAlpha->byte(dx, dy);
          if (b) {
            dst.set(dx, dy, RefBlendPixel(f.bpp, f.fmt, P, d, wa));
            b = uint8_t((factor * (b + ((wa * (wa - b)) >> 8))) / 255);
          } else {
            dst.set(dx, dy, P);
            b = uint8_t((int64_t(factor) * w) / 255);
          }
          break;
        }
        default:
          if (a) dst.set(dx, dy, P);
      }
    }
}

TEST(AlphaKernels, AlphaChannelModesMatchTheReference) {
  std::mt19937 rng(12);
  pixeltest::ForEachSimdLevel([&](int32_t level) {
  for (const Format& f : kFormats)
    for (int mode : {0, 1, 2, 3, 4, 9})
      for (bool withSource : {false, true})
        for (const Rect& r : kRects) {
          Picture src(kW, kH, f.bpp), dst(kW, kH, f.bpp);
          src.randomize(rng);
          dst.randomize(rng);
          Plane alpha(kW + 2, kH), dstAlpha(kW + 6, kH);
          FillAlpha(alpha, rng, mode == 4 ? 66 : 256);
          FillAlpha(dstAlpha, rng);
          std::vector<uint32_t> cov(size_t(kW + 1) * kH);
          for (auto& c : cov) c = rng() % 4 == 0 ? 0 : rng() % 3 == 0 ? rng() : rng() % 256;
          const int factor = int(rng() % 256);
          // The kernel takes a pixel value; 24 bits take 0xRRGGBB and write it
          // in the format's byte order.
          const uint32_t colour = rng() & ValueMask(f.bpp);
          uint32_t refColour = colour;
          if (f.bpp == 3 && f.fmt == PIXFMT_BGR24)
            refColour = (colour & 0xFF) << 16 | (colour & 0xFF00) | colour >> 16;
          Picture got = dst, want = dst;
          Plane gotA = dstAlpha, wantA = dstAlpha;
          vkAlphaChannelBlock b{r.sx, r.sy, got.data(), r.dx, r.dy, got.perRow, r.w, r.h,
                                alpha.data(), gotA.data(), alpha.bytesPerRow, gotA.bytesPerRow, f.fmt,
                                colour, mode, factor, cov.data(), kW + 1,
                                withSource ? src.data() : nullptr, src.perRow};
          if (f.bpp == 4) BltAlphaChannelRows32(&b);
          if (f.bpp == 3) BltAlphaChannelRows24(&b);
          if (f.bpp == 2) BltAlphaChannelRows16(&b);
          RefAlphaChannel(f, r, mode, factor, refColour, withSource ? &src : nullptr, alpha, cov, kW + 1,
                          want, &wantA);
          ASSERT_EQ(got.bytes, want.bytes) << "level " << level << " bpp " << f.bpp << " fmt " << f.fmt
                                           << " mode " << mode << " src " << withSource << " w " << r.w;
          ASSERT_EQ(gotA.bytes, wantA.bytes) << "mode " << mode;
        }
  });
}

TEST(AlphaKernels, AlphaChannelModeFourWeights) {
  // 64 copies, 32 blends with weight 128, 65 blends with weight 4.
  struct Case {
    uint8_t a;
    uint32_t want;
  } cases[] = {{64, 0x00FFFFFF}, {32, 0x007F7F7F}, {65, 0x00030303}, {0, 0}};
  for (auto c : cases) {
    uint32_t d = 0;
    vkAlphaChannelBlock b{};
    b.dstPixels = &d, b.dstPixelsPerRow = 1, b.width = 1, b.height = 1;
    b.alpha = &c.a, b.alphaBytesPerRow = 1, b.format = PIXFMT_ARGB32, b.colour = 0x00FFFFFF, b.mode = 4;
    BltAlphaChannelRows32(&b);
    EXPECT_EQ(d, c.want) << int(c.a);
  }
}

uint8_t RefPlaneMode(int mode, int s, int d, int factor) {
  switch (mode) {
    case 1: return s ? uint8_t(s) : uint8_t(d);
    case 2: return s ? uint8_t(255 - s) : uint8_t(d);
    case 3: return s ? 255 : uint8_t(d);
    case 4: return s ? uint8_t((factor * s) / 255) : uint8_t(d);
    case 5: return (s && d) ? uint8_t(255 - s) : uint8_t(d);
    case 6: return s ? uint8_t(factor) : uint8_t(d);
    case 7: return (s && d) ? uint8_t(s) : 0;
    default: return uint8_t(s);
  }
}

TEST(AlphaKernels, AlphaPlaneModesMatchTheTable) {
  std::mt19937 rng(13);
  for (int mode = 0; mode <= 9; ++mode)
    for (const Rect& r : kRects) {
      Plane src(kW + 4, kH), dst(kW + 8, kH);
      FillAlpha(src, rng);
      FillAlpha(dst, rng);
      const int factor = int(rng() % 256);
      Plane got = dst, want = dst;
      vkAlphaPlaneBlock b{src.data(), r.sx, r.sy, got.data(), r.dx, r.dy, r.w, r.h,
                          src.bytesPerRow, got.bytesPerRow, mode, factor};
      BltAlphaPlaneRows(&b);
      for (int32_t y = 0; y < r.h; ++y)
        for (int32_t x = 0; x < r.w; ++x)
          want.byte(r.dx + x, r.dy + y) =
              RefPlaneMode(mode, src.byte(r.sx + x, r.sy + y), dst.byte(r.dx + x, r.dy + y), factor);
      ASSERT_EQ(got.bytes, want.bytes) << "mode " << mode << " w " << r.w;
    }
  // Mode 7 clears under a zero source; mode 5 leaves it.
  uint8_t s = 0, d = 77;
  vkAlphaPlaneBlock b{&s, 0, 0, &d, 0, 0, 1, 1, 1, 1, 5, 0};
  BltAlphaPlaneRows(&b);
  EXPECT_EQ(d, 77);
  b.mode = 7;
  BltAlphaPlaneRows(&b);
  EXPECT_EQ(d, 0);
}

TEST(AlphaKernels, TemplateAlphaWritesTheValueUnderSetBits) {
  std::mt19937 rng(14);
  for (const Rect& r : kRects) {
    Plane templ(kW / 8 + 1, kH), alpha(kW + 4, kH);
    templ.randomize(rng);
    alpha.randomize(rng);
    Plane want = alpha;
    vkTemplateAlphaBlock b{templ.data(), r.sx, r.sy, templ.bytesPerRow, alpha.data(), r.dx, r.dy,
                           alpha.bytesPerRow, r.w, r.h, 0x1C3};
    BltTemplateAlphaRows(&b);
    for (int32_t y = 0; y < r.h; ++y)
      for (int32_t x = 0; x < r.w; ++x)
        if (templ.bit(r.sx + x, r.sy + y)) want.byte(r.dx + x, r.dy + y) = 0xC3;
    ASSERT_EQ(alpha.bytes, want.bytes);
  }
}

TEST(AlphaKernels, MultiplyAlphaPlaneScalesInPlace) {
  std::vector<uint8_t> p(256);
  for (int i = 0; i < 256; ++i) p[size_t(i)] = uint8_t(i);
  std::vector<uint8_t> q = p;
  MultiplyAlphaPlane(q.data(), q.data(), 255, 16, 16);
  EXPECT_EQ(q, p);
  MultiplyAlphaPlane(p.data(), q.data(), 100, 16, 16);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(q[size_t(i)], (i * 100) / 255);
  MultiplyAlphaPlane(q.data(), q.data(), 0, 16, 16);
  EXPECT_EQ(q, std::vector<uint8_t>(256, 0));
}

TEST(AlphaKernels, ApplyAlphaToMaskModes) {
  std::mt19937 rng(15);
  for (int mode = 0; mode <= 7; ++mode) {
    Plane alpha(24, 4), mask(3, 4);
    FillAlpha(alpha, rng);
    mask.randomize(rng);
    Plane want = mask;
    vkAlphaMaskRect r{2, 1, 3, 0, 17, 3};
    ApplyAlphaToMask(alpha.data(), mask.data(), alpha.bytesPerRow, mask.bytesPerRow, mode, &r);
    for (int32_t y = 0; y < r.height; ++y)
      for (int32_t x = 0; x < r.width; ++x) {
        bool opaque = alpha.byte(r.alphaX + x, r.alphaY + y) == 255;
        int32_t bx = r.maskX + x, by = r.maskY + y;
        bool b = want.bit(bx, by);
        if (mode == 0 || mode == 2) b = opaque;
        if (mode == 1) b = !opaque;
        if (mode == 3 && opaque) b = !b;
        if (mode == 5 && opaque) b = true;
        want.setBit(bx, by, b);
      }
    EXPECT_EQ(mask.bytes, want.bytes) << "mode " << mode;
  }
}

TEST(AlphaKernels, CombineClipMaskBuildsTheScratchPlane) {
  std::mt19937 rng(16);
  // The shape read from a bit column inside a byte (5) and at a byte's start (8).
  for (int32_t dstX : {15, 18}) {
    for (bool withSrcMask : {false, true})
      for (bool bytePlane : {false, true}) {
        Plane clip(8, 12), srcMask(6, 10), srcBytes(44, 10);
        clip.randomize(rng);
        srcMask.randomize(rng);
        srcBytes.randomize(rng);
        // A mask scratch wider than the source mask: each is read by its own stride.
        Plane scratch(bytePlane ? 44 : 9, 10);
        scratch.randomize(rng);
        Plane want = scratch;
        vkClipMaskBlock b{clip.data(), scratch.data(), withSrcMask ? srcMask.data() : nullptr,
                          10, 20,  // clip region position
                          3, 2,    // blit position in the planes
                          dstX, 23,  // blit position in the display
                          29, 7, bytePlane ? srcBytes.data() : nullptr, scratch.bytesPerRow,
                          scratch.bytesPerRow, clip.bytesPerRow, srcBytes.bytesPerRow, srcMask.bytesPerRow};
        CombineClipMask(&b);
        for (int32_t y = 0; y < 7; ++y)
          for (int32_t x = 0; x < 29; ++x) {
            bool c = clip.bit(dstX - 10 + x, 23 - 20 + y);
            if (bytePlane)
              want.byte(3 + x, 2 + y) = c ? srcBytes.byte(3 + x, 2 + y) : 0;
            else
              want.setBit(3 + x, 2 + y, c && (!withSrcMask || srcMask.bit(3 + x, 2 + y)));
          }
        EXPECT_EQ(scratch.bytes, want.bytes) << withSrcMask << bytePlane;
      }
  }
}

}  // namespace
