// Whole-picture operations: which rectangle of which plane they read, what
// they make and hand out, what they refuse; mixing through an alpha plane
// whose rows are padded; the arc points at the ends of the angle tables.
#include "pixel/bitmapops.h"

#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "pixel/blit.h"
#include "tests/pixel/support/records.h"

using pixeltest::Picture;
using pixeltest::Plane;

namespace {

// An owned ARGB bitmap with a mask and an alpha plane of random content.
struct Owned {
  vkBitMapPtr bitmap;
  vkPlanePtr mask, alpha;
  Owned(int32_t w, int32_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    bitmap.reset(AllocArgbBitMap(w, h));
    mask.reset(AllocMaskPlane(w, h, true));
    alpha.reset(AllocAlphaPlane(w, h, true));
    for (int32_t i = 0; i < w * h; ++i) reinterpret_cast<uint32_t*>(bitmap->pixels)[i] = rng() & 0x00FFFFFF;
    for (int32_t i = 0; i < mask->bytesPerRow * h; ++i) mask->data[i] = uint8_t(rng());
    for (int32_t i = 0; i < alpha->bytesPerRow * h; ++i) alpha->data[i] = uint8_t(rng());
  }
};

uint32_t Pixel(const vkBitMap* b, int32_t x, int32_t y) {
  return reinterpret_cast<const uint32_t*>(b->pixels)[ptrdiff_t(y) * (b->bytesPerRow / 4) + x];
}
bool Bit(const vkPlane* m, int32_t x, int32_t y) { return ReadBitMapPixel(m, x, y) != 0; }
uint8_t Byte(const vkPlane* a, int32_t x, int32_t y) { return a->data[ptrdiff_t(y) * a->bytesPerRow + x]; }

// Every plane of [got] equals the planes of [src] read through [map]
// (destination x, y -> source x, y), over got's width x height.
template <typename Map>
void ExpectMapped(const Owned& src, vkBitMap* b, vkPlane* m, vkPlane* a, int32_t w, int32_t h, Map map,
                  const char* what) {
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      auto [sx, sy] = map(x, y);
      ASSERT_EQ(Pixel(b, x, y), Pixel(src.bitmap.get(), sx, sy)) << what << " at " << x << "," << y;
      ASSERT_EQ(Bit(m, x, y), Bit(src.mask.get(), sx, sy)) << what << " mask at " << x << "," << y;
      ASSERT_EQ(Byte(a, x, y), Byte(src.alpha.get(), sx, sy)) << what << " alpha at " << x << "," << y;
    }
}

TEST(BitmapOps, ScaleReadsItsRectangleOfEveryPlaneAndKeepsItsTables) {
  Owned src(21, 13, 1);
  vkScaleTables tables;
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  // Twice the size, nearest: each source pixel of the rectangle at (5, 3) twice.
  ASSERT_EQ(ScaleBitMap(tables, src.bitmap.get(), src.mask.get(), src.alpha.get(), 5, 3, nullptr, 7, 4, 14, 8, false,
                        &b, &m, &a),
            0);
  vkBitMapPtr bo(b);
  vkPlanePtr mo(m), ao(a);
  ExpectMapped(src, b, m, a, 14, 8, [](int32_t x, int32_t y) { return std::pair(5 + x / 2, 3 + y / 2); }, "2x");
  EXPECT_GE(tables.xCapacity(), 15u);
  EXPECT_GE(tables.yCapacity(), 9u);

  // Smaller afterwards: the tables keep their size.
  const size_t xCap = tables.xCapacity();
  vkBitMap* small = nullptr;
  ASSERT_EQ(ScaleBitMap(tables, src.bitmap.get(), nullptr, nullptr, 0, 0, nullptr, 4, 4, 2, 2, true, &small, nullptr,
                        nullptr),
            0);
  FreeBitMap(small);
  EXPECT_EQ(tables.xCapacity(), xCap);

  // Into a given bitmap: pixels only.
  vkBitMapPtr into(AllocArgbBitMap(7, 4));
  vkBitMap* untouched = nullptr;
  ASSERT_EQ(ScaleBitMap(tables, src.bitmap.get(), src.mask.get(), nullptr, 5, 3, into.get(), 7, 4, 7, 4, false,
                        &untouched, nullptr, nullptr),
            0);
  EXPECT_EQ(untouched, nullptr);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(Pixel(into.get(), x, y), Pixel(src.bitmap.get(), 5 + x, 3 + y));
}

TEST(BitmapOps, ScaleAndTransformRefuseWhatTheyCannotDo) {
  Owned src(8, 8, 2);
  vkScaleTables tables;
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  int32_t w = 0, h = 0;
  const double identity[4] = {1, 0, 0, 1}, singular[4] = {1, 2, 2, 4}, nan[4] = {NAN, 0, 0, 1};
  const double huge[4] = {1e12, 0, 0, 1};
  vkBitMapPtr tooSmall(AllocArgbBitMap(3, 3));
  const struct {
    const char* name;
    int32_t got, want;
  } cases[] = {
      {"new width 0 does nothing", ScaleBitMap(tables, src.bitmap.get(), src.mask.get(), nullptr, 0, 0, nullptr, 8, 8,
                                               0, 5, false, &b, &m, &a),
       0},
      {"rectangle past the source", ScaleBitMap(tables, src.bitmap.get(), nullptr, nullptr, 4, 0, nullptr, 5, 8, 10,
                                                10, false, &b, &m, &a),
       kErrWrongUsage},
      {"rectangle past the mask", ScaleBitMap(tables, nullptr, src.mask.get(), nullptr, 0, -1, nullptr, 8, 8, 10, 10,
                                              false, &b, &m, &a),
       kErrWrongUsage},
      {"destination too small", ScaleBitMap(tables, src.bitmap.get(), nullptr, nullptr, 0, 0, tooSmall.get(), 8, 8, 4,
                                            4, false, &b, &m, &a),
       kErrWrongUsage},
      {"size beyond any allocation", ScaleBitMap(tables, src.bitmap.get(), nullptr, nullptr, 0, 0, nullptr, 8, 8,
                                                 INT32_MAX, INT32_MAX, false, &b, &m, &a),
       kErrOutOfMemory},
      {"singular matrix", TransformBitMap(src.bitmap.get(), nullptr, nullptr, 0, 0, 8, 8, singular, false, &b, &m, &a,
                                          &w, &h),
       kErrWrongUsage},
      {"not a number", TransformBitMap(src.bitmap.get(), nullptr, nullptr, 0, 0, 8, 8, nan, false, &b, &m, &a, &w, &h),
       kErrWrongUsage},
      {"empty rectangle", TransformBitMap(src.bitmap.get(), nullptr, nullptr, 0, 0, 0, 8, identity, false, &b, &m, &a,
                                          &w, &h),
       kErrWrongUsage},
      {"rectangle past the alpha", TransformBitMap(nullptr, nullptr, src.alpha.get(), 1, 1, 8, 8, identity, false, &b,
                                                   &m, &a, &w, &h),
       kErrWrongUsage},
      {"result beyond any allocation", TransformBitMap(src.bitmap.get(), nullptr, nullptr, 0, 0, 8, 8, huge, false, &b,
                                                       &m, &a, &w, &h),
       kErrOutOfMemory},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(tables.xCapacity(), 0u);  // nothing was scaled: nothing grown
}

TEST(BitmapOps, TransformedSizesOfTheTellingMatrices) {
  const struct {
    double m[4];
    int32_t w, h, wantW, wantH;
    double left, top;
  } cases[] = {
      {{1, 0, 0, 1}, 10, 5, 10, 5, 0, 0},
      {{0, 1, -1, 0}, 10, 5, 5, 10, -5, 0},  // a quarter turn
      {{2, 0, 0, 0.5}, 10, 5, 20, 2, 0, 0},  // an extent of 2.5: ceil(2.5 - 0.5)
      {{-1, 0, 0, -1}, 4, 3, 4, 3, -4, -3},
  };
  for (const auto& c : cases) {
    int32_t w = 0, h = 0;
    double left = 1, top = 1;
    GetTransformedSize(c.m, c.w, c.h, &w, &h, &left, &top);
    EXPECT_EQ(w, c.wantW);
    EXPECT_EQ(h, c.wantH);
    EXPECT_EQ(left, c.left);
    EXPECT_EQ(top, c.top);
  }
}

TEST(BitmapOps, TransformPlacesThePictureAtTheOriginWithClearedPlanes) {
  Owned src(9, 7, 3);
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  int32_t w = 0, h = 0;
  const double identity[4] = {1, 0, 0, 1}, quarter[4] = {0, 1, -1, 0};
  ASSERT_EQ(TransformBitMap(src.bitmap.get(), src.mask.get(), src.alpha.get(), 2, 1, 5, 4, identity, false, &b, &m, &a,
                            &w, &h),
            0);
  {
    vkBitMapPtr bo(b);
    vkPlanePtr mo(m), ao(a);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 4);
    ExpectMapped(src, b, m, a, 5, 4, [](int32_t x, int32_t y) { return std::pair(2 + x, 1 + y); }, "identity");
  }
  // A quarter turn of the 5 x 4 rectangle: 4 x 5, pixel (x, y) from (y, 3 - x).
  ASSERT_EQ(TransformBitMap(src.bitmap.get(), src.mask.get(), src.alpha.get(), 2, 1, 5, 4, quarter, false, &b, &m, &a,
                            &w, &h),
            0);
  vkBitMapPtr bo(b);
  vkPlanePtr mo(m), ao(a);
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 5);
  ExpectMapped(src, b, m, a, 4, 5, [](int32_t x, int32_t y) { return std::pair(2 + y, 1 + 3 - x); }, "quarter");
}

TEST(BitmapOps, ATurnedPictureWithoutPlanesGetsAMaskOfThePixelsItCovers) {
  Owned src(16, 16, 5);
  const double turn = 0.7071067811865476;
  const double eighth[4] = {turn, turn, -turn, turn};
  struct Case {
    const char* what;
    const vkPlane* mask;
    const vkPlane* alpha;
    bool maskOut, alphaOut;
  } cases[] = {
      {"no planes", nullptr, nullptr, true, false},
      {"alpha only", nullptr, src.alpha.get(), false, true},
      {"mask only", src.mask.get(), nullptr, true, false},
  };
  for (const Case& c : cases) {
    vkBitMap* b = nullptr;
    vkPlane *m = nullptr, *a = nullptr;
    int32_t w = 0, h = 0;
    ASSERT_EQ(TransformBitMap(src.bitmap.get(), c.mask, c.alpha, 0, 0, 16, 16, eighth, false, &b, &m, &a, &w, &h), 0);
    vkBitMapPtr bo(b);
    vkPlanePtr mo(m), ao(a);
    EXPECT_EQ(m != nullptr, c.maskOut) << c.what;
    EXPECT_EQ(a != nullptr, c.alphaOut) << c.what;
    if (c.mask || c.alpha || !m) continue;
    // The corners lie outside the turned square, the middle inside it.
    EXPECT_FALSE(Bit(m, 0, 0)) << c.what;
    EXPECT_FALSE(Bit(m, w - 1, h - 1)) << c.what;
    EXPECT_TRUE(Bit(m, w / 2, h / 2)) << c.what;
    int32_t covered = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) covered += Bit(m, x, y);
    EXPECT_NEAR(covered, 256, 24) << c.what;  // the area of the square
  }
}

TEST(BitmapOps, TintWorksInsideItsClippedRectangleOnEveryPixelSize) {
  const struct {
    int32_t bpp, fmt, level;
    uint32_t rgb;
  } cases[] = {{4, 10, 256, 0x102030}, {4, 12, 0, 0x102030}, {3, 9, 256, 0xA0B0C0}, {2, 4, 256, 0xF8FCF8},
               {2, 1, 256, 0x0808F8}};
  for (const auto& c : cases) {
    Picture p(6, 5, c.bpp);
    std::mt19937 rng(c.fmt);
    p.randomize(rng);
    Picture before = p;
    vkBitMap b = pixeltest::BitMapOver(p, c.fmt);
    ASSERT_EQ(TintBitMap(&b, 3, -2, 10, 4, c.rgb, c.level), 0);
    // Compared as colours: the colour kernels write a 32-bit pixel's fourth byte 0.
    const pixeltest::Format f{c.bpp, c.fmt};
    auto colour = [&](uint32_t v) {
      int rgb[3];
      pixeltest::SplitRGB(f, v, rgb);
      return uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]);
    };
    const uint32_t tinted = colour(RGBToPixel(c.rgb, c.fmt));
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 6; ++x) {
        const bool inside = x >= 3 && y < 2;
        const uint32_t want = inside && c.level == 256 ? tinted : colour(before.get(x, y));
        ASSERT_EQ(colour(p.get(x, y)), want) << c.bpp << "/" << c.fmt << " at " << x << "," << y;
        if (!inside) {
          ASSERT_EQ(p.get(x, y), before.get(x, y));
        }
      }
  }
  EXPECT_EQ(TintBitMap(nullptr, 0, 0, 1, 1, 0, 0), kErrLockBitMap);
}

TEST(BitmapOps, MixThroughAMaskAndThroughAPaddedAlphaPlane) {
  // Width 5: the alpha plane has 8 bytes per row, so a plane read with any
  // other stride would show sheared.
  Owned src(5, 6, 4), dst(7, 7, 5);
  const vkPlane* mask = src.mask.get();
  for (int32_t level : {0, 128, 255}) {
    vkBitMapPtr d(AllocArgbBitMap(7, 7));
    std::memcpy(d->pixels, dst.bitmap->pixels, size_t(7 * 7 * 4));
    ASSERT_EQ(MixBitMaps(d.get(), src.bitmap.get(), mask, 2, 1, 1, 0, 4, 6, level, nullptr), 0);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 7; ++x) {
        uint32_t want = Pixel(dst.bitmap.get(), x, y);
        const int32_t sx = x - 2 + 1, sy = y - 1;
        if (x >= 2 && x < 6 && sy >= 0 && sy < 6 && Bit(mask, sx, sy)) {
          const uint32_t s = Pixel(src.bitmap.get(), sx, sy), dd = want;
          want = 0;
          for (int sh = 0; sh <= 16; sh += 8) {
            int32_t sc = int32_t(s >> sh & 255), dc = int32_t(dd >> sh & 255);
            want |= uint32_t(uint8_t(sc + (((255 - level) * (dc - sc)) >> 8))) << sh;
          }
        }
        ASSERT_EQ(Pixel(d.get(), x, y), want) << "mask, level " << level << " at " << x << "," << y;
      }

    std::memcpy(d->pixels, dst.bitmap->pixels, size_t(7 * 7 * 4));
    ASSERT_EQ(MixBitMaps(d.get(), src.bitmap.get(), nullptr, 0, 0, 0, 0, 5, 6, level, src.alpha.get()), 0);
    pixeltest::Format f{4, 10};
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 5; ++x) {
        const int a = Byte(src.alpha.get(), x, y) * level / 255;
        ASSERT_EQ(Pixel(d.get(), x, y),
                  pixeltest::RefAlphaPixel(f, Pixel(src.bitmap.get(), x, y), Pixel(dst.bitmap.get(), x, y), a))
            << "alpha, level " << level << " at " << x << "," << y;
      }
  }
}

TEST(BitmapOps, CopyRectOutWithItsPlanesAndClearedBeyondTheSource) {
  Owned src(10, 6, 6);
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  ASSERT_EQ(CopyBitMapRect(src.bitmap.get(), src.mask.get(), src.alpha.get(), 3, 2, 4, 3, &b, &m, &a), 0);
  {
    vkBitMapPtr bo(b);
    vkPlanePtr mo(m), ao(a);
    ExpectMapped(src, b, m, a, 4, 3, [](int32_t x, int32_t y) { return std::pair(3 + x, 2 + y); }, "inside");
  }
  ASSERT_EQ(CopyBitMapRect(src.bitmap.get(), src.mask.get(), nullptr, 8, 4, 4, 4, &b, &m, &a), 0);
  vkBitMapPtr bo(b);
  vkPlanePtr mo(m);
  EXPECT_EQ(a, nullptr);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const bool inside = 8 + x < 10 && 4 + y < 6;
      EXPECT_EQ(Pixel(b, x, y), inside ? Pixel(src.bitmap.get(), 8 + x, 4 + y) : 0u);
      EXPECT_EQ(Bit(m, x, y), inside && Bit(src.mask.get(), 8 + x, 4 + y));
    }
  EXPECT_EQ(CopyBitMapRect(src.bitmap.get(), nullptr, nullptr, 0, 0, 0, 3, &b, &m, &a), kErrWrongUsage);
}

TEST(BitmapOps, ColourKeyMaskIgnoresTheFourthByteOfArgbPixels) {
  Picture p(9, 2, 4);
  for (int32_t x = 0; x < 9; ++x) {
    p.set(x, 0, x % 2 ? 0xFF102030 : 0x00102030);
    p.set(x, 1, 0x00102031);
  }
  vkBitMap b = pixeltest::BitMapOver(p, PIXFMT_ARGB32);
  vkPlanePtr mask(CreateColorKeyMask(&b, 9, 2, 0x102030));
  ASSERT_TRUE(mask);
  for (int32_t x = 0; x < 9; ++x) {
    EXPECT_FALSE(Bit(mask.get(), x, 0)) << x;
    EXPECT_TRUE(Bit(mask.get(), x, 1)) << x;
  }
  EXPECT_EQ(CreateColorKeyMask(nullptr, 1, 1, 0), nullptr);
  EXPECT_EQ(CreateColorKeyMask(&b, 10, 2, 0), nullptr);
}

TEST(BitmapOps, ArcPointsAtTheEndsOfTheTables) {
  const struct {
    int32_t degree, sin, cos;
  } table[] = {{0, 0, 1024},   {30, 512, 886},   {60, 886, 512},     {90, 1024, 0},     {120, 886, -512},
               {150, 512, -886}, {180, 0, -1024}, {210, -512, -886}, {240, -886, -512}, {300, -886, 512},
               {330, -512, 886}, {359, -17, 1023}, {-90, -1024, 0},    {360, 0, 1024},    {-1, -17, 1023}};
  for (const auto& t : table) {
    EXPECT_EQ(ArcSin(t.degree), t.sin) << t.degree;
    EXPECT_EQ(ArcCos(t.degree), t.cos) << t.degree;
  }

  std::vector<int32_t> pts;
  EXPECT_EQ(MakeArcPoints(pts, 10, 10, 0, 360), 361);
  EXPECT_EQ(pts[0], 20);
  EXPECT_EQ(pts[1], 10);
  EXPECT_EQ(MakeArcPoints(pts, 10, 10, 0, 90), 93);
  EXPECT_EQ(pts[2 * 91], 10);  // the centre
  EXPECT_EQ(pts[2 * 91 + 1], 10);
  EXPECT_EQ(pts[2 * 92], pts[0]);  // closed back to the first point
  EXPECT_EQ(pts[2 * 92 + 1], pts[1]);
  // Negative degrees read the same table entries as their positive turn.
  std::vector<int32_t> neg, pos;
  ASSERT_EQ(MakeArcPoints(neg, 7, 4, -400, -300), MakeArcPoints(pos, 7, 4, 320, 420));
  EXPECT_EQ(neg, pos);
  // The largest radii stay within 32 bits.
  EXPECT_EQ(MakeArcPoints(pts, INT32_MAX, INT32_MAX, 0, 0), 3);
  EXPECT_EQ(pts[0], INT32_MAX);
  // Spans past one turn draw the turn once, however far they reach.
  EXPECT_EQ(MakeArcPoints(pts, 10, 10, 3, 363 + 1000000000), 363);
  std::vector<int32_t> turn;
  EXPECT_EQ(MakeArcPoints(turn, 10, 10, 3, 363), 363);
  EXPECT_EQ(pts, turn);
}

TEST(BitmapOps, FreeingTheImageCacheEmptiesIt) {
  vkImageCache cache;
  cache.push_back({"a.png", vkBufferPtr<uint32_t>(static_cast<uint32_t*>(AllocateBytes(16, true))),
                   vkPlanePtr(AllocAlphaPlane(2, 2, true))});
  cache.push_back({"b.png", vkBufferPtr<uint32_t>(static_cast<uint32_t*>(AllocateBytes(16, true))), nullptr});
  FreeImageCache(cache);
  EXPECT_TRUE(cache.empty());
}

}  // namespace
