// The blit front ends: every front end over every pixel size and a table of
// rectangles that run off each edge of the source, the destination and the
// planes, against a reference that draws pixel by pixel what lies inside all
// of them; the messages of a missing destination; the caller-side clipping.
#include "pixel/blit.h"

#include <functional>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "tests/pixel/support/records.h"

using pixeltest::Format;
using pixeltest::Picture;
using pixeltest::Plane;

namespace {

constexpr Format kFormats[] = {{4, 10}, {4, 11}, {3, 8}, {3, 9}, {2, 4}, {2, 3}};

// A blit rectangle: source origin, destination origin, size.
struct Rect {
  const char* name;
  int32_t sx, sy, dx, dy, w, h;
};

// Sources are 13 x 9, destinations 11 x 10, planes as large as the source.
constexpr Rect kRects[] = {
    {"inside", 2, 1, 3, 2, 5, 4},
    {"left of the destination", 1, 0, -4, 3, 9, 3},
    {"above the destination", 0, 2, 2, -3, 6, 7},
    {"past the destination's corner", 0, 0, 7, 8, 9, 9},
    {"past the source's corner", 9, 6, 0, 0, 9, 9},
    {"negative source origin", -2, -1, 4, 4, 6, 5},
    {"huge size", 3, 3, 1, 1, INT32_MAX, INT32_MAX},
    {"origins near the integer limit", INT32_MAX - 2, 0, 0, 0, 5, 5},
    {"empty", 1, 1, 1, 1, 0, 3},
    {"negative size", 1, 1, 1, 1, 4, -3},
};

constexpr int32_t kSrcW = 13, kSrcH = 9, kDstW = 11, kDstH = 10;

// What one front end does to one destination pixel, given its source
// position (inside the source and its planes).
using PixelRule = std::function<void(int32_t sx, int32_t sy, uint32_t& d)>;

// Runs [blit] on a copy of [dst] and compares with [rule] applied where the
// rectangle lies inside the source extent [srcW] x [srcH] and the destination.
void Expect(const Picture& dst, const Rect& r, int64_t srcW, int64_t srcH, const std::function<void(Picture&)>& blit,
            const PixelRule& rule, const std::string& what) {
  Picture got = dst, want = dst;
  blit(got);
  for (int32_t y = 0; y < dst.height; ++y)
    for (int32_t x = 0; x < dst.width; ++x) {
      const int64_t i = int64_t(x) - r.dx, j = int64_t(y) - r.dy;
      if (i < 0 || j < 0 || i >= r.w || j >= r.h) continue;
      const int64_t sx = r.sx + i, sy = r.sy + j;
      if (sx < 0 || sy < 0 || sx >= srcW || sy >= srcH) continue;
      uint32_t d = want.get(x, y);
      rule(int32_t(sx), int32_t(sy), d);
      want.set(x, y, d);
    }
  EXPECT_EQ(got.bytes, want.bytes) << what << ", " << r.name;
}

struct Fixture {
  std::mt19937 rng{7};
  Format f;
  Picture src, dst;
  Plane mask{kSrcW / 8 + 1, kSrcH}, alpha{16, kSrcH};
  explicit Fixture(Format format) : f(format), src(kSrcW, kSrcH, format.bpp), dst(kDstW, kDstH, format.bpp) {
    src.randomize(rng);
    dst.randomize(rng);
    mask.randomize(rng);
    alpha.randomize(rng);
    for (int32_t y = 0; y < kSrcH; ++y) alpha.byte(0, y) = 0, alpha.byte(1, y) = 255;  // both ends of the rule
  }
};

TEST(BlitFrontEnds, EachFrontEndDrawsExactlyWhatLiesInsideEveryRecord) {
  for (const Format& f : kFormats)
    for (const Rect& r : kRects) {
      Fixture fx(f);
      vkBitMap src = pixeltest::BitMapOver(fx.src, f.fmt);
      vkPlane mask = pixeltest::PlaneOver(fx.mask, kSrcW), alpha = pixeltest::PlaneOver(fx.alpha, kSrcW);
      const std::string what = "bpp " + std::to_string(f.bpp) + " fmt " + std::to_string(f.fmt);
      auto onDst = [&](auto call) {
        return [&, call](Picture& p) {
          vkBitMap d = pixeltest::BitMapOver(p, f.fmt);
          call(&d);
        };
      };
      Expect(fx.dst, r, kSrcW, kSrcH, onDst([&](vkBitMap* d) { BltBitMap(&src, r.sx, r.sy, d, r.dx, r.dy, r.w, r.h); }),
             [&](int32_t sx, int32_t sy, uint32_t& d) { d = fx.src.get(sx, sy); }, "copy, " + what);
      Expect(fx.dst, r, kSrcW, kSrcH,
             onDst([&](vkBitMap* d) { BltMask(&src, r.sx, r.sy, d, r.dx, r.dy, r.w, r.h, &mask); }),
             [&](int32_t sx, int32_t sy, uint32_t& d) {
               if (fx.mask.bit(sx, sy)) d = fx.src.get(sx, sy);
             },
             "mask, " + what);
      Expect(fx.dst, r, kSrcW, kSrcH,
             onDst([&](vkBitMap* d) { BltAlphaBitMap(&src, r.sx, r.sy, d, r.dx, r.dy, r.w, r.h, &alpha); }),
             [&](int32_t sx, int32_t sy, uint32_t& d) {
               d = pixeltest::RefAlphaPixel(f, fx.src.get(sx, sy), d, fx.alpha.byte(sx, sy));
             },
             "alpha bitmap, " + what);
      const uint32_t colour = 0x3C9A51, pixel = RGBToPixel(colour, f.fmt);
      Expect(fx.dst, r, kSrcW, kSrcH,
             onDst([&](vkBitMap* d) { BltTemplate(&mask, r.sx, r.sy, d, r.dx, r.dy, r.w, r.h, colour); }),
             [&](int32_t sx, int32_t sy, uint32_t& d) {
               if (fx.mask.bit(sx, sy)) d = pixel;
             },
             "template, " + what);
      vkAlphaChannelPaint paint;
      paint.rgb = colour, paint.mode = 1;
      Expect(fx.dst, r, kSrcW, kSrcH,
             onDst([&](vkBitMap* d) { BltAlphaChannel(&alpha, r.sx, r.sy, d, r.dx, r.dy, r.w, r.h, paint); }),
             [&](int32_t sx, int32_t sy, uint32_t& d) {
               d = pixeltest::RefAlphaPixel(f, pixel, d, fx.alpha.byte(sx, sy));
             },
             "alpha channel colour, " + what);
      paint.src = &src;
      Expect(fx.dst, r, kSrcW, kSrcH,
             onDst([&](vkBitMap* d) { BltAlphaChannel(&alpha, r.sx, r.sy, d, r.dx, r.dy, r.w, r.h, paint); }),
             [&](int32_t sx, int32_t sy, uint32_t& d) {
               d = pixeltest::RefAlphaPixel(f, fx.src.get(sx, sy), d, fx.alpha.byte(sx, sy));
             },
             "alpha channel source, " + what);
      // A fill is a blit whose source is the whole plane of the destination.
      Rect fill{r.name, r.dx, r.dy, r.dx, r.dy, r.w, r.h};
      Expect(fx.dst, fill, INT32_MAX, INT32_MAX,
             onDst([&](vkBitMap* d) { FillBitMapRect(d, colour, r.dx, r.dy, r.w, r.h); }),
             [&](int32_t, int32_t, uint32_t& d) { d = pixel; }, "fill, " + what);
    }
}

TEST(BlitFrontEnds, AlphaPlanesCombineInsideBothPlanes) {
  std::mt19937 rng(3);
  for (const Rect& r : kRects) {
    Plane src(16, kSrcH), dst(12, kDstH);
    src.randomize(rng);
    dst.randomize(rng);
    vkPlane s = pixeltest::PlaneOver(src, kSrcW), d = pixeltest::PlaneOver(dst, kDstW);
    Plane want = dst;
    BltAlphaPlane(&s, r.sx, r.sy, &d, r.dx, r.dy, r.w, r.h, 0, 0);
    for (int32_t y = 0; y < kDstH; ++y)
      for (int32_t x = 0; x < kDstW; ++x) {
        const int64_t sx = int64_t(x) - r.dx + r.sx, sy = int64_t(y) - r.dy + r.sy;
        if (x - int64_t(r.dx) < r.w && y - int64_t(r.dy) < r.h && x >= r.dx && y >= r.dy && sx >= 0 && sy >= 0 &&
            sx < kSrcW && sy < kSrcH)
          want.byte(x, y) = src.byte(int32_t(sx), int32_t(sy));
      }
    EXPECT_EQ(dst.bytes, want.bytes) << r.name;
  }
}

TEST(BlitFrontEnds, MismatchedOrMissingRecordsDrawNothing) {
  Picture src32(6, 6, 4), dst16(6, 6, 2), dst32(6, 6, 4);
  std::mt19937 rng(5);
  src32.randomize(rng);
  dst16.randomize(rng);
  dst32.randomize(rng);
  vkBitMap s = pixeltest::BitMapOver(src32, 10), d16 = pixeltest::BitMapOver(dst16, 4),
           d32 = pixeltest::BitMapOver(dst32, 10);
  const auto before16 = dst16.bytes, before32 = dst32.bytes;
  BltBitMap(&s, 0, 0, &d16, 0, 0, 6, 6);  // pixel sizes differ
  BltMask(&s, 0, 0, &d32, 0, 0, 6, 6, nullptr);
  BltAlphaBitMap(&s, 0, 0, &d32, 0, 0, 6, 6, nullptr);
  BltTemplate(nullptr, 0, 0, &d32, 0, 0, 6, 6, 0xFFFFFF);
  vkAlphaChannelPaint mode2;
  mode2.mode = 2;  // needs the destination's alpha plane
  Plane a(8, 6);
  vkPlane alpha = pixeltest::PlaneOver(a, 6);
  BltAlphaChannel(&alpha, 0, 0, &d32, 0, 0, 6, 6, mode2);
  vkBitMap noPixels = d32;
  noPixels.pixels = nullptr;
  BltBitMap(&s, 0, 0, &noPixels, 0, 0, 6, 6);
  FillBitMapRect(nullptr, 0, 0, 0, 6, 6);
  EXPECT_EQ(dst16.bytes, before16);
  EXPECT_EQ(dst32.bytes, before32);
}

TEST(BlitFrontEnds, AMissingDestinationPrintsItsLineAMissingSourceNothing) {
  Picture p(4, 4, 4);
  vkBitMap b = pixeltest::BitMapOver(p, 10);
  Plane m(1, 4);
  vkPlane plane = pixeltest::PlaneOver(m, 4);
  const struct {
    std::function<void()> call;
    const char* line;
  } cases[] = {
      {[&] { BltBitMap(&b, 0, 0, nullptr, 0, 0, 4, 4); }, "ERROR! BLTBITMAP() CALLED WITH DST=NULL!\n"},
      {[&] { BltMask(&b, 0, 0, nullptr, 0, 0, 4, 4, &plane); }, "ERROR! BLTMASK() CALLED WITH DST=NULL!\n"},
      {[&] { BltTemplate(&plane, 0, 0, nullptr, 0, 0, 4, 4, 0); }, "ERROR! BLTTEMPLATE() CALLED WITH DST=NULL!\n"},
      {[&] { BltAlphaBitMap(&b, 0, 0, nullptr, 0, 0, 4, 4, &plane); },
       "ERROR! BLTALPHABITMAP() CALLED WITH DST=NULL!\n"},
      {[&] { BltAlphaChannel(&plane, 0, 0, nullptr, 0, 0, 4, 4, {}); },
       "ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n"},
      {[&] { ClipBltAlphaChannel(&plane, 0, 0, nullptr, 0, 0, 4, 4, {}, 4, 4, 4, 4); },
       "ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n"},
      {[&] { BltBitMap(nullptr, 0, 0, &b, 0, 0, 4, 4); }, ""},
      {[&] { BltAlphaPlane(nullptr, 0, 0, &plane, 0, 0, 4, 4, 0, 0); }, ""},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    c.call();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
  }
}

TEST(BlitFrontEnds, CallerSideClippingMovesTheSourceAndCutsToBothSizes) {
  const struct {
    int32_t sx, sy, dx, dy, w, h, srcW, srcH, dstW, dstH;
    bool draws;
    int32_t wantSx, wantSy, wantDx, wantDy, wantW, wantH;
  } cases[] = {
      // dx -10 with width 30 draws 20 pixels taken from sx + 10.
      {0, 0, -10, 0, 30, 5, 100, 100, 100, 100, true, 10, 0, 0, 0, 20, 5},
      {5, 0, 0, -3, 10, 10, 12, 20, 100, 100, true, 5, 3, 0, 0, 7, 7},
      {0, 0, 95, 98, 10, 10, 100, 100, 100, 100, true, 0, 0, 95, 98, 5, 2},
      {0, 0, -40, 0, 30, 5, 100, 100, 100, 100, false, 0, 0, 0, 0, 0, 0},
      {0, 0, INT32_MIN, 0, 30, 5, 100, 100, 100, 100, false, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    int32_t sx = c.sx, sy = c.sy, dx = c.dx, dy = c.dy, w = c.w, h = c.h;
    const bool draws = ClipToSizes(sx, sy, dx, dy, w, h, c.srcW, c.srcH, c.dstW, c.dstH);
    EXPECT_EQ(draws, c.draws) << c.dx << "," << c.dy;
    if (draws && c.draws) {
      EXPECT_EQ(sx, c.wantSx);
      EXPECT_EQ(sy, c.wantSy);
      EXPECT_EQ(dx, c.wantDx);
      EXPECT_EQ(dy, c.wantDy);
      EXPECT_EQ(w, c.wantW);
      EXPECT_EQ(h, c.wantH);
    }
  }
}

}  // namespace
