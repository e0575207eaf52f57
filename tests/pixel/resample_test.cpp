// Scaler, transform resampler and polygon fill: golden samples from the step
// tables, nearest and bilinear scaling against reference models for every
// plane combination, transforms against a brute-force model, and clipping of
// polygons whose points lie outside the mask.
#include "pixel/resample.h"

#include <cmath>

#include <gtest/gtest.h>

#include "pixel/pixfmt.h"
#include "tests/pixel/support/pixeltest.h"

using pixeltest::Picture;
using pixeltest::Plane;

namespace {

struct Scaled {
  Picture pix;
  Plane mask, alpha;
};

Scaled RunScale(const Picture* src, const Plane* mask, int32_t maskX, const Plane* alpha, int32_t sw,
                int32_t sh, int32_t dw, int32_t dh, bool smooth, int32_t fmt, int32_t bpp) {
  Scaled out{Picture(dw, dh, bpp), Plane(dw / 8 + 1, dh), Plane((dw + 3) & ~3, dh)};
  std::vector<vkScaleStep> xt(size_t(dw) + 1), yt(size_t(dh) + 1);
  vkScaleBlock b{src ? src->data() : nullptr, out.pix.data(),
                 mask ? mask->bytes.data() : nullptr, out.mask.data(),
                 alpha ? alpha->bytes.data() : nullptr, out.alpha.data(),
                 maskX, sw, sh, dw, dh, src ? src->perRow : 0, out.pix.perRow,
                 mask ? mask->bytesPerRow : 0, out.mask.bytesPerRow,
                 alpha ? alpha->bytesPerRow : 0, out.alpha.bytesPerRow,
                 smooth, fmt, bpp, xt.data(), yt.data(), 0, 0, 0, 0};
  ScaleBitMapRows(&b);
  return out;
}

TEST(Resample, NearestSamplesFollowTheStepTables) {
  struct Case {
    int32_t from, to;
    std::vector<int32_t> samples;
  } cases[] = {{4, 8, {0, 0, 1, 1, 2, 2, 3, 3}}, {8, 3, {0, 2, 5}}, {5, 5, {0, 1, 2, 3, 4}}, {3, 1, {0}}};
  for (const Case& c : cases) {
    Picture src(c.from, 1, 4);
    for (int32_t x = 0; x < c.from; ++x) src.set(x, 0, uint32_t(x));
    Scaled out = RunScale(&src, nullptr, 0, nullptr, c.from, 1, c.to, 1, false, PIXFMT_ARGB32, 4);
    for (int32_t x = 0; x < c.to; ++x) EXPECT_EQ(out.pix.get(x, 0), uint32_t(c.samples[size_t(x)])) << c.from << "->" << c.to;
  }
  std::vector<vkScaleStep> xt(4), yt(2);
  uint32_t px[8] = {};
  vkScaleBlock b{px, px, nullptr, nullptr, nullptr, nullptr, 0, 8, 1, 3, 1, 8, 3, 0, 0, 0, 0, 0, 10, 4,
                 xt.data(), yt.data(), 0, 0, 0, 0};
  ScaleBitMapRows(&b);
  EXPECT_EQ(xt[1], 174762u);
}

TEST(Resample, SmoothScalingTwoToFourStepsByQuarters) {
  Picture src(2, 1, 4);
  src.set(0, 0, 0x00000000);
  src.set(1, 0, 0x00C8C8C8);  // 200 in each channel
  Scaled out = RunScale(&src, nullptr, 0, nullptr, 2, 1, 4, 1, true, PIXFMT_ARGB32, 4);
  const uint32_t want[] = {0x000000, 0x323232, 0x646464, 0x969696};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(out.pix.get(x, 0), want[x]) << x;
}

// Reference: the sample of destination i at floor(i * step / 65536) with the
// fraction (i * step) & 0xFFFF; neighbours clamped into the source.
TEST(Resample, ScalingMatchesTheReferenceForEveryPlaneCombination) {
  struct Format {
    int32_t bpp, fmt;
  } formats[] = {{4, 10}, {4, 11}, {4, 12}, {3, 8}, {3, 9}, {2, 4}, {2, 3}};
  struct Size {
    int32_t sw, sh, dw, dh;
  } sizes[] = {{1, 1, 1, 1}, {1, 1, 5, 3}, {7, 5, 3, 2}, {3, 4, 11, 9}, {9, 2, 9, 7}, {13, 6, 4, 13},
               {2, 3, 17, 2}, {1, 2, 9, 3}, {40, 3, 23, 4}, {301, 3, 997, 7}, {997, 7, 301, 3}};
  std::mt19937 rng(21);
  pixeltest::ForEachSimdLevel([&](int32_t level) {
  for (auto f : formats)
    for (auto s : sizes)
      for (int planes = 0; planes < 8; ++planes)
        for (bool smooth : {false, true}) {
          const bool hasPix = planes & 1, hasMask = planes & 2, hasAlpha = planes & 4;
          const int32_t maskX = 3;
          Picture src(s.sw, s.sh, f.bpp);
          Plane mask((s.sw + maskX) / 8 + 1, s.sh), alpha(s.sw + 2, s.sh);
          src.randomize(rng);
          mask.randomize(rng);
          alpha.randomize(rng);
          Scaled got = RunScale(hasPix ? &src : nullptr, hasMask ? &mask : nullptr, maskX,
                                hasAlpha ? &alpha : nullptr, s.sw, s.sh, s.dw, s.dh, smooth, f.fmt, f.bpp);
          const uint64_t stepX = (uint64_t(smooth ? s.sw - 1 : s.sw) << 16) / uint64_t(s.dw);
          const uint64_t stepY = (uint64_t(smooth ? s.sh - 1 : s.sh) << 16) / uint64_t(s.dh);
          for (int32_t j = 0; j < s.dh; ++j)
            for (int32_t i = 0; i < s.dw; ++i) {
              SCOPED_TRACE(testing::Message() << "level " << level << " bpp " << f.bpp << " fmt " << f.fmt << " " << s.sw << "x" << s.sh
                                              << "->" << s.dw << "x" << s.dh << " planes " << planes
                                              << " smooth " << smooth << " at " << i << "," << j);
              const int32_t x0 = int32_t((uint64_t(i) * stepX) >> 16), y0 = int32_t((uint64_t(j) * stepY) >> 16);
              const int32_t fx = int32_t((uint64_t(i) * stepX) & 0xFFFF), fy = int32_t((uint64_t(j) * stepY) & 0xFFFF);
              const int32_t x1 = std::min(x0 + 1, s.sw - 1), y1 = std::min(y0 + 1, s.sh - 1);
              auto lerp = [&](int p00, int p10, int p01, int p11) {
                int top = (p00 + ((fx * (p10 - p00)) >> 16)) & 255;
                int bottom = (p01 + ((fx * (p11 - p01)) >> 16)) & 255;
                return uint8_t(top + ((fy * (bottom - top)) >> 16));
              };
              if (hasPix) {
                if (!smooth) {
                  ASSERT_EQ(got.pix.get(i, j), src.get(x0, y0));
                } else {
                  uint8_t p[4][3], want[3], wantPix[4] = {};
                  ReadPixelRGB(src.at(x0, y0), f.fmt, p[0]);
                  ReadPixelRGB(src.at(x1, y0), f.fmt, p[1]);
                  ReadPixelRGB(src.at(x0, y1), f.fmt, p[2]);
                  ReadPixelRGB(src.at(x1, y1), f.fmt, p[3]);
                  for (int c = 0; c < 3; ++c) want[c] = lerp(p[0][c], p[1][c], p[2][c], p[3][c]);
                  WritePixelRGB(wantPix, f.fmt, want);
                  ASSERT_EQ(0, std::memcmp(got.pix.at(i, j), wantPix, size_t(f.bpp)));
                }
              }
              if (hasMask) {
                ASSERT_EQ(got.mask.bit(i, j), mask.bit(maskX + x0, y0));
              }
              if (hasAlpha) {
                uint8_t want = smooth ? lerp(alpha.byte(x0, y0), alpha.byte(x1, y0), alpha.byte(x0, y1),
                                             alpha.byte(x1, y1))
                                      : alpha.byte(x0, y0);
                ASSERT_EQ(got.alpha.byte(i, j), want);
              }
            }
        }
  });
}

// A part of the scaled picture, drawn alone, has exactly the whole picture's
// samples there, in every plane; a part outside the picture draws nothing.
TEST(Resample, APartOfTheScaledPictureHasTheWholePicturesSamples) {
  struct Case {
    int32_t sw, sh, dw, dh;       // the source and the whole scaled size
    int32_t px, py, pw, ph;       // the part
  } cases[] = {{7, 5, 3, 2, 1, 1, 2, 1},       {3, 4, 11, 9, 4, 2, 7, 6},     {40, 3, 23, 4, 5, 0, 18, 4},
               {301, 3, 997, 7, 311, 3, 400, 4}, {997, 7, 301, 3, 150, 1, 151, 2}, {1, 1, 5, 3, 4, 2, 1, 1},
               {13, 6, 4, 13, 0, 0, 4, 13}};
  std::mt19937 rng(7);
  for (int32_t bpp : {4, 3, 2})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "bpp " << bpp << " " << c.sw << "x" << c.sh << "->" << c.dw << "x" << c.dh
                                      << " part " << c.px << "," << c.py << " " << c.pw << "x" << c.ph);
      const int32_t maskX = 3;
      Picture src(c.sw, c.sh, bpp);
      Plane mask((c.sw + maskX) / 8 + 1, c.sh), alpha(c.sw + 2, c.sh);
      src.randomize(rng), mask.randomize(rng), alpha.randomize(rng);
      const int32_t fmt = bpp == 4 ? PIXFMT_ARGB32 : bpp == 3 ? 8 : 4;
      Scaled whole = RunScale(&src, &mask, maskX, &alpha, c.sw, c.sh, c.dw, c.dh, false, fmt, bpp);
      Scaled part{Picture(c.pw, c.ph, bpp), Plane(c.pw / 8 + 1, c.ph), Plane(c.pw + 3, c.ph)};
      std::vector<vkScaleStep> xt(size_t(c.pw) + 1), yt(size_t(c.ph) + 1);
      vkScaleBlock b{src.data(), part.pix.data(), mask.bytes.data(), part.mask.data(), alpha.bytes.data(),
                     part.alpha.data(), maskX, c.sw, c.sh, c.pw, c.ph, src.perRow, part.pix.perRow,
                     mask.bytesPerRow, part.mask.bytesPerRow, alpha.bytesPerRow, part.alpha.bytesPerRow,
                     0, fmt, bpp, xt.data(), yt.data(), c.dw, c.dh, c.px, c.py};
      ScaleBitMapRows(&b);
      for (int32_t y = 0; y < c.ph; ++y)
        for (int32_t x = 0; x < c.pw; ++x) {
          ASSERT_EQ(0, std::memcmp(part.pix.at(x, y), whole.pix.at(c.px + x, c.py + y), size_t(bpp))) << x << "," << y;
          ASSERT_EQ(part.mask.bit(x, y), whole.mask.bit(c.px + x, c.py + y)) << x << "," << y;
          ASSERT_EQ(part.alpha.byte(x, y), whole.alpha.byte(c.px + x, c.py + y)) << x << "," << y;
        }
      // One column too far: nothing drawn.
      Picture untouched(c.pw, c.ph, bpp, 0);
      b.dstPixels = untouched.data(), b.dstMask = nullptr, b.dstAlpha = nullptr;
      b.firstX = c.dw - c.pw + 1;
      ScaleBitMapRows(&b);
      for (int32_t y = 0; y < c.ph; ++y)
        for (int32_t x = 0; x < c.pw; ++x) ASSERT_EQ(untouched.get(x, y), 0u);
    }
}

TEST(Resample, StepsOfWideSourcesDoNotOverflow) {
  // 200000 pixels into 2: a 16.16 step of 6553600000 needs more than 32 bits.
  const int32_t sw = 200000;
  Picture src(sw, 1, 4, 0);
  for (int32_t x = 0; x < sw; ++x) src.set(x, 0, uint32_t(x));
  Scaled out = RunScale(&src, nullptr, 0, nullptr, sw, 1, 2, 1, false, PIXFMT_ARGB32, 4);
  EXPECT_EQ(out.pix.get(0, 0), 0u);
  EXPECT_EQ(out.pix.get(1, 0), 100000u);
}

TEST(Resample, ScaleTablesOnlyGrowAndSurviveAFailedGrowth) {
  vkScaleTables t;
  EXPECT_EQ(t.x(), nullptr);
  ASSERT_TRUE(t.Reserve(9, 5));
  vkScaleStep* x = t.x();
  x[8] = 77;
  ASSERT_TRUE(t.Reserve(4, 5));  // smaller: nothing moves
  EXPECT_EQ(t.x(), x);
  EXPECT_EQ(t.xCapacity(), 9u);
  // A size no allocator can give leaves the tables as they were.
  EXPECT_FALSE(t.Reserve(SIZE_MAX / 2, 5));
  EXPECT_EQ(t.x(), x);
  EXPECT_EQ(t.x()[8], 77u);
  EXPECT_EQ(t.xCapacity(), 9u);
  ASSERT_TRUE(t.Reserve(9, 700));
  EXPECT_EQ(t.yCapacity(), 700u);
  t.Free();
  EXPECT_EQ(t.y(), nullptr);
}

// ---- transform ---------------------------------------------------------------

struct Transformed {
  Picture pix;
  Plane mask, alpha;
};

Transformed RunTransform(const Picture& src, const Plane* mask, const Plane* alpha, int32_t dw, int32_t dh,
                         const double m[6], bool smooth, bool dstMask = true) {
  Transformed out{Picture(dw, dh, src.bpp), Plane(dw / 8 + 1, dh), Plane((dw + 3) & ~3, dh)};
  vkTransformBlock b{src.data(), out.pix.data(), mask ? mask->bytes.data() : nullptr,
                     dstMask ? out.mask.data() : nullptr, alpha ? alpha->bytes.data() : nullptr,
                     out.alpha.data(), 0, src.width, src.height, src.perRow, dw, dh, out.pix.perRow,
                     mask ? mask->bytesPerRow : 0, out.mask.bytesPerRow, alpha ? alpha->bytesPerRow : 0,
                     out.alpha.bytesPerRow, {m[0], m[1], m[2], m[3], m[4], m[5]}, smooth, PIXFMT_ARGB32, 4};
  TransformBitMapRows(&b);
  return out;
}

TEST(Resample, IdentityTransformReproducesTheSource) {
  std::mt19937 rng(22);
  Picture src(13, 7, 4);
  src.randomize(rng);
  Plane mask(13 / 8 + 1, 7), alpha(16, 7);
  mask.randomize(rng);
  alpha.randomize(rng);
  const double id[6] = {1, 0, 0, 1, 0, 0};
  for (bool smooth : {false, true}) {
    // With a mask: the mask bits come along (smooth: pixels under clear
    // bits whose neighbours are all clear stay unwritten).
    Transformed t = RunTransform(src, &mask, nullptr, 13, 7, id, smooth);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        EXPECT_EQ(t.mask.bit(x, y), mask.bit(x, y)) << x << "," << y;
        if (!smooth || mask.bit(x, y)) {
          EXPECT_EQ(t.pix.get(x, y), src.get(x, y) & (smooth ? 0x00FFFFFFu : ~0u));
        }
      }
    // With an alpha plane: pixels and alpha exactly.
    t = RunTransform(src, nullptr, &alpha, 13, 7, id, smooth);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        EXPECT_EQ(t.pix.get(x, y), src.get(x, y) & (smooth ? 0x00FFFFFFu : ~0u));
        EXPECT_EQ(t.alpha.byte(x, y), alpha.byte(x, y));
      }
    // Neither: every written pixel is marked in the destination mask.
    t = RunTransform(src, nullptr, nullptr, 13, 7, id, smooth);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 13; ++x) EXPECT_TRUE(t.mask.bit(x, y));
  }
}

TEST(Resample, QuarterTurnsAndMirrorsAreExact) {
  std::mt19937 rng(23);
  const int32_t w = 7, h = 4;
  Picture src(w, h, 4);
  src.randomize(rng);
  struct Case {
    const char* name;
    double m[6];
    int32_t dw, dh;
    // Source pixel of destination (X, Y).
    std::pair<int32_t, int32_t> (*from)(int32_t X, int32_t Y);
  } cases[] = {
      {"90", {0, 1, -1, 0, h, 0}, h, w, [](int32_t X, int32_t Y) { return std::pair{Y, h - 1 - X}; }},
      {"180", {-1, 0, 0, -1, w, h}, w, h, [](int32_t X, int32_t Y) { return std::pair{w - 1 - X, h - 1 - Y}; }},
      {"270", {0, -1, 1, 0, 0, w}, h, w, [](int32_t X, int32_t Y) { return std::pair{w - 1 - Y, X}; }},
      {"mirror", {-1, 0, 0, 1, w, 0}, w, h, [](int32_t X, int32_t Y) { return std::pair{w - 1 - X, Y}; }},
      {"double", {2, 0, 0, 2, 0, 0}, 2 * w, 2 * h, [](int32_t X, int32_t Y) { return std::pair{X / 2, Y / 2}; }},
  };
  for (const Case& c : cases)
    for (bool smooth : {false, true}) {
      if (smooth && std::string(c.name) == "double") continue;
      Transformed t = RunTransform(src, nullptr, nullptr, c.dw, c.dh, c.m, smooth);
      for (int32_t Y = 0; Y < c.dh; ++Y)
        for (int32_t X = 0; X < c.dw; ++X) {
          auto [sx, sy] = c.from(X, Y);
          EXPECT_EQ(t.pix.get(X, Y), src.get(sx, sy) & (smooth ? 0x00FFFFFFu : ~0u))
              << c.name << " smooth " << smooth << " at " << X << "," << Y;
          EXPECT_TRUE(t.mask.bit(X, Y));
        }
    }
}

// Brute force: every destination pixel whose centre maps inside the source.
TEST(Resample, TransformCoversExactlyThePixelsWhoseCentresMapInside) {
  std::mt19937 rng(24);
  Picture src(9, 6, 4);
  src.randomize(rng);
  for (int trial = 0; trial < 60; ++trial) {
    const double angle = (rng() % 3600) / 10.0 * 3.141592653589793 / 180;
    const double sx = 0.4 + (rng() % 30) / 10.0, sy = 0.4 + (rng() % 30) / 10.0, skew = (rng() % 10) / 10.0;
    double m[6] = {sx * std::cos(angle), sx * std::sin(angle), -sy * std::sin(angle) + skew, sy * std::cos(angle),
                   0, 0};
    m[4] = 20, m[5] = 20;
    const int32_t dw = 45, dh = 43;
    for (bool smooth : {false, true}) {
      Transformed t = RunTransform(src, nullptr, nullptr, dw, dh, m, smooth);
      const double det = m[0] * m[3] - m[2] * m[1];
      for (int32_t Y = 0; Y < dh; ++Y)
        for (int32_t X = 0; X < dw; ++X) {
          double Xc = X + 0.5 - m[4], Yc = Y + 0.5 - m[5];
          double u = (m[3] * Xc - m[2] * Yc) / det, v = (-m[1] * Xc + m[0] * Yc) / det;
          bool inside = u >= 0 && u < 9 && v >= 0 && v < 6;
          auto nearGrid = [](double q) { return std::fabs(q - std::round(q)) < 1e-9; };
          if (nearGrid(u) || nearGrid(v)) continue;  // on a pixel edge: either answer is right
          ASSERT_EQ(t.mask.bit(X, Y), inside) << "trial " << trial << " at " << X << "," << Y;
          if (inside && !smooth) {
            ASSERT_EQ(t.pix.get(X, Y), src.get(int32_t(u), int32_t(v)));
          }
        }
    }
  }
}

TEST(Resample, SingularOrBrokenMatricesWriteNothing) {
  std::mt19937 rng(25);
  Picture src(5, 5, 4);
  src.randomize(rng);
  const double bad[][6] = {{0, 0, 0, 0, 0, 0}, {1, 2, 2, 4, 0, 0}, {NAN, 0, 0, 1, 0, 0}, {1, 0, 0, 1, INFINITY, 0}};
  for (const auto& m : bad) {
    Transformed t = RunTransform(src, nullptr, nullptr, 8, 8, m, false);
    EXPECT_EQ(t.pix.bytes, Picture(8, 8, 4).bytes);
    EXPECT_FALSE(IsInvertibleMatrix(m));
  }
  const double huge[6] = {1e300, 0, 0, 1e-300, -1e300, 0};
  RunTransform(src, nullptr, nullptr, 8, 8, huge, true);  // must not crash or overrun
}

// ---- polygon ------------------------------------------------------------------

TEST(Resample, PolygonGoldenShapes) {
  Plane mask(2, 8);
  const int32_t point[] = {3, 4};
  int32_t scratch[8];
  ScanFillPolygonMask(mask.data(), mask.bytesPerRow, 9, 8, scratch, point, 1);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(mask.bit(x, y), x == 3 && y == 4);

  Plane rect(2, 8);
  const int32_t box[] = {1, 1, 5, 1, 5, 4, 1, 4};
  ScanFillPolygonMask(rect.data(), rect.bytesPerRow, 9, 8, scratch, box, 4);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(rect.bit(x, y), x >= 1 && x <= 5 && y >= 1 && y <= 4) << x << "," << y;

  // A triangle with a horizontal top edge gets no row above that edge.
  Plane tri(2, 8);
  const int32_t t[] = {1, 2, 7, 2, 4, 6};
  ScanFillPolygonMask(tri.data(), tri.bytesPerRow, 9, 8, scratch, t, 3);
  for (int32_t x = 0; x < 9; ++x) EXPECT_FALSE(tri.bit(x, 1));
  EXPECT_TRUE(tri.bit(1, 2));
  EXPECT_TRUE(tri.bit(7, 2));
  EXPECT_TRUE(tri.bit(4, 6));
}

TEST(Resample, PolygonPointsOutsideTheMaskAreClipped) {
  // The same polygon drawn into a plane large enough to hold it (shifted by
  // 100, 100) and into a small one: the small one shows exactly its window.
  std::mt19937 rng(26);
  for (int trial = 0; trial < 30; ++trial) {
    const int32_t n = 3 + int32_t(rng() % 6);
    std::vector<int32_t> pts(size_t(2 * n)), shifted(size_t(2 * n));
    for (int32_t i = 0; i < 2 * n; ++i) {
      pts[size_t(i)] = int32_t(rng() % 140) - 60;
      shifted[size_t(i)] = pts[size_t(i)] + 100;
    }
    std::vector<int32_t> scratch(static_cast<size_t>(n));
    Plane big(300 / 8 + 1, 300), small(20 / 8 + 1, 17);
    ScanFillPolygonMask(big.data(), big.bytesPerRow, 300, 300, scratch.data(), shifted.data(), n);
    ScanFillPolygonMask(small.data(), small.bytesPerRow, 20, 17, scratch.data(), pts.data(), n);
    for (int32_t y = 0; y < 17; ++y)
      for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(small.bit(x, y), big.bit(x + 100, y + 100)) << trial;
    // Nothing beyond the width in the spare bits of each row.
    for (int32_t y = 0; y < 17; ++y)
      for (int32_t x = 20; x < 24; ++x) ASSERT_FALSE(small.bit(x, y));
  }
}

}  // namespace
