// Colour kernels: grey, tint, mix and the linear gradient against per-pixel
// reference models written as the rules read, over every pixel size and
// format, sizes from one pixel to odd widths, and the corner cases of each
// rule (grey weights, full tint, mask bit offsets, gradient quadrants).
#include "pixel/colourkernels.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pixel/pixfmt.h"
#include "tests/pixel/support/channels.h"
#include "tests/pixel/support/pixeltest.h"

using pixeltest::Picture;
using pixeltest::Plane;

namespace {

using pixeltest::Format;
const auto& kFormats = pixeltest::kAllFormats;

struct Size {
  int32_t w, h;
};
const Size kSizes[] = {{1, 1}, {2, 1}, {1, 3}, {7, 5}, {13, 3}, {33, 2}};

void Split(const Format& f, uint32_t v, int c[3]) { pixeltest::SplitRGB(f, v, c); }
uint32_t Join(const Format& f, const int c[3]) { return pixeltest::JoinRGB(f, c); }

void Grey(const Format& f, Picture& p, int32_t w, int32_t h) {
  if (f.bpp == 4) ConvertPixelsToGray32(p.data(), w, h, f.fmt, p.perRow);
  if (f.bpp == 3) ConvertPixelsToGray24(p.data(), w, h, f.fmt, p.perRow);
  if (f.bpp == 2) ConvertPixelsToGray16(p.data(), w, h, f.fmt, p.perRow);
}
void Tint(const Format& f, const vkTintBlock& b) {
  if (f.bpp == 4) TintPixels32(&b);
  if (f.bpp == 3) TintPixels24(&b);
  if (f.bpp == 2) TintPixels16(&b);
}
void Gradient(const Format& f, const vkGradientBlock& b) {
  if (f.bpp == 4) FillLinearGradient32(&b);
  if (f.bpp == 3) FillLinearGradient24(&b);
  if (f.bpp == 2) FillLinearGradient16(&b);
}

int RefGrey(int r, int g, int b) {
  return int(std::trunc(std::fma(0.114, b, std::fma(0.299, r, 0.587 * g))));
}

TEST(ColourKernels, GreyWeights) {
  const struct {
    uint32_t rgb;
    int grey;
  } cases[] = {{0xFF0000, 76}, {0x00FF00, 149}, {0x0000FF, 29}, {0xFFFFFF, 255}, {0x808080, 127}, {0, 0}};
  for (const auto& c : cases) {
    Picture p(1, 1, 4);
    p.set(0, 0, 0xAB000000 | c.rgb);
    ConvertPixelsToGray32(p.data(), 1, 1, PIXFMT_ARGB32, p.perRow);
    EXPECT_EQ(p.get(0, 0), uint32_t(c.grey) * 0x010101u) << std::hex << c.rgb;
  }
}

TEST(ColourKernels, GreyMatchesTheReference) {
  std::mt19937 rng(21);
  for (const Format& f : kFormats)
    for (const Size& s : kSizes) {
      Picture got(s.w, s.h, f.bpp);
      got.randomize(rng);
      Picture want = got;
      for (int32_t y = 0; y < s.h; ++y)
        for (int32_t x = 0; x < s.w; ++x) {
          int c[3];
          Split(f, want.get(x, y), c);
          c[0] = c[1] = c[2] = RefGrey(c[0], c[1], c[2]);
          want.set(x, y, Join(f, c));
        }
      Grey(f, got, s.w, s.h);
      ASSERT_EQ(got.bytes, want.bytes) << "bpp " << f.bpp << " fmt " << f.fmt << " " << s.w << "x" << s.h;
    }
}

TEST(ColourKernels, TintMatchesTheReference) {
  std::mt19937 rng(22);
  for (const Format& f : kFormats)
    for (int32_t level : {0, 1, 100, 255, 256, 300, -20})
      for (const Size& s : kSizes) {
        Picture got(s.w + 4, s.h + 2, f.bpp);
        got.randomize(rng);
        Picture want = got;
        const int32_t x0 = 3, y0 = 1;
        uint32_t colour = rng() & 0xFFFFFF;
        int t[3];
        if (f.bpp == 2) {
          colour &= 0xFFFF;  // the 16-bit member takes the colour in 5-6-5
          Split({2, PIXFMT_RGB16}, colour, t);
        } else {
          t[0] = int(colour >> 16), t[1] = int(colour >> 8 & 255), t[2] = int(colour & 255);
        }
        for (int32_t y = 0; y < s.h; ++y)
          for (int32_t x = 0; x < s.w; ++x) {
            int c[3];
            Split(f, want.get(x0 + x, y0 + y), c);
            for (int i = 0; i < 3; ++i) c[i] = uint8_t(c[i] + ((level * (t[i] - c[i])) >> 8));
            want.set(x0 + x, y0 + y, Join(f, c));
          }
        vkTintBlock b{got.data(), x0, y0, s.w, s.h, colour, level, got.perRow, f.fmt};
        Tint(f, b);
        ASSERT_EQ(got.bytes, want.bytes) << "bpp " << f.bpp << " fmt " << f.fmt << " level " << level;
      }
}

TEST(ColourKernels, TintEnds) {
  std::mt19937 rng(23);
  Picture p(9, 4, 4);
  p.randomize(rng);
  Picture before = p;
  vkTintBlock b{p.data(), 0, 0, 9, 4, 0x102030, 0, p.perRow, PIXFMT_ARGB32};
  TintPixels32(&b);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(p.get(x, y), before.get(x, y) & 0xFFFFFF);
  b.level = 256;
  TintPixels32(&b);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(p.get(x, y), 0x102030u);
}

TEST(ColourKernels, MixMatchesTheReference) {
  std::mt19937 rng(24);
  for (const Format& f : kFormats)
    for (int32_t level : {0, 1, 128, 254, 255, -1, 256, 300})
      for (bool masked : {false, true})
        for (const Size& s : kSizes) {
          Picture src(s.w + 2, s.h + 1, f.bpp), got(s.w + 3, s.h + 2, f.bpp);
          src.randomize(rng);
          got.randomize(rng);
          Plane mask((s.w + 5) / 8 + 2, s.h);
          mask.randomize(rng);
          const int32_t bitX = 5;
          Picture want = got;
          for (int32_t y = 0; y < s.h; ++y)
            for (int32_t x = 0; x < s.w; ++x) {
              if (masked && !mask.bit(bitX + x, y)) continue;
              int sc[3], dc[3];
              Split(f, src.get(1 + x, y), sc);
              Split(f, want.get(2 + x, 1 + y), dc);
              for (int i = 0; i < 3; ++i) dc[i] = uint8_t(sc[i] + (((255 - level) * (dc[i] - sc[i])) >> 8));
              want.set(2 + x, 1 + y, Join(f, dc));
            }
          vkMixBlock b{src.at(1, 0), got.at(2, 1), masked ? mask.data() : nullptr, bitX};
          // The 24-bit member does not read the format: hand it a wrong one.
          const int32_t fmt = f.bpp == 3 ? -1 : f.fmt;
          if (f.bpp == 4) MixPixels32(&b, s.w, s.h, level, fmt, src.perRow, got.perRow, mask.bytesPerRow);
          if (f.bpp == 3) MixPixels24(&b, s.w, s.h, level, fmt, src.perRow, got.perRow, mask.bytesPerRow);
          if (f.bpp == 2) MixPixels16(&b, s.w, s.h, level, fmt, src.perRow, got.perRow, mask.bytesPerRow);
          ASSERT_EQ(got.bytes, want.bytes)
              << "bpp " << f.bpp << " fmt " << f.fmt << " level " << level << " masked " << masked;
        }
}

// The gradient's colour at (x, r), straight from the rule, all in 64 bits.
uint32_t RefGradient(const Format& f, int64_t w, int64_t h, uint32_t c1, uint32_t c2, int32_t angle,
                     int64_t x, int64_t r) {
  const double theta = angle * 3.141592653589793 / 180;
  const int64_t S = std::llabs(int64_t(std::trunc(255 * std::sin(theta))));
  const int64_t C = std::llabs(int64_t(std::trunc(255 * std::cos(theta))));
  int64_t a = angle;
  if (a < 0) a = 360 - ((-a) % 360);
  a %= 360;
  int64_t dx = x, dy = r;
  if (a >= 91 && a <= 180) dy = h - r;
  if (a >= 181 && a <= 270) dx = w - x, dy = h - r;
  if (a >= 271) dx = w - x;
  const int64_t t = (h * (dx * S + dy * C)) / (w * S + h * C);
  int c[3];
  for (int i = 0; i < 3; ++i) {
    const int64_t a1 = c1 >> (16 - 8 * i) & 255, a2 = c2 >> (16 - 8 * i) & 255;
    c[i] = int(a1 + ((a2 - a1) * t) / h);
  }
  return Join(f, c);
}

TEST(ColourKernels, GradientMatchesTheReference) {
  std::mt19937 rng(25);
  for (const Format& f : kFormats)
    for (int32_t angle : {0, 1, 45, 80, 90, 91, 100, 135, 180, 181, 200, 260, 270, 271, 280, 300, 359, 360, 720,
                          -1, -90, -450})
      for (const Size& s : {Size{1, 1}, Size{2, 1}, Size{1, 3}, Size{7, 5}, Size{13, 3}, Size{33, 2}, Size{2, 19}}) {
        Picture got(s.w + 4, s.h + 3, f.bpp);
        got.randomize(rng);
        Picture want = got;
        const uint32_t c1 = rng() & 0xFFFFFF, c2 = rng() & 0xFFFFFF;
        for (int32_t y = 0; y < s.h; ++y)
          for (int32_t x = 0; x < s.w; ++x) want.set(2 + x, 1 + y, RefGradient(f, s.w, s.h, c1, c2, angle, x, y));
        vkGradientBlock b{got.data(), 2, 1, s.w, s.h, c1, c2, angle, got.perRow, f.fmt};
        Gradient(f, b);
        ASSERT_EQ(got.bytes, want.bytes) << "bpp " << f.bpp << " fmt " << f.fmt << " angle " << angle << " "
                                         << s.w << "x" << s.h;
      }
}

TEST(ColourKernels, GradientAngleEquivalencesAndEnds) {
  auto fill = [](int32_t w, int32_t h, int32_t angle) {
    Picture p(w, h, 4);
    vkGradientBlock b{p.data(), 0, 0, w, h, 0x000000, 0xFFFFFF, angle, p.perRow, PIXFMT_ARGB32};
    FillLinearGradient32(&b);
    return p;
  };
  EXPECT_EQ(fill(11, 7, -90).bytes, fill(11, 7, 270).bytes);
  EXPECT_EQ(fill(11, 7, 360).bytes, fill(11, 7, 0).bytes);
  // A single row at angle 0 is all the first colour.
  Picture row = fill(9, 1, 0);
  for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(row.get(x, 0), 0u);
  // Angle 0 runs top to bottom: every row is one colour, rising row by row.
  Picture down = fill(5, 9, 0);
  for (int32_t y = 1; y < 9; ++y) {
    EXPECT_EQ(down.get(4, y), down.get(0, y));
    EXPECT_GT(down.get(0, y), down.get(0, y - 1));
  }
}

TEST(ColourKernels, TallGradientStepsIn64Bits) {
  // h * (dy * |C|) passes 2^31 after a few thousand rows; the colour must keep
  // rising to the second colour instead of wrapping.
  const int32_t h = 20000;
  const Format f{4, PIXFMT_ARGB32};
  Picture p(1, h, 4, 0);
  vkGradientBlock b{p.data(), 0, 0, 1, h, 0x000000, 0xFFFFFF, 0, p.perRow, PIXFMT_ARGB32};
  FillLinearGradient32(&b);
  for (int32_t y = 0; y < h; ++y) ASSERT_EQ(p.get(0, y), RefGradient(f, 1, h, 0, 0xFFFFFF, 0, 0, y)) << y;
  EXPECT_EQ(p.get(0, h - 1), 0xFEFEFEu);
}

}  // namespace
