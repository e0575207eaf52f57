// Bitmaps and planes: sizes and refusals of the allocators, foreign and
// copied planes, attribute codes, single pixels and clipped lines, the
// mask-plane modes against a reference, and bitmaps built from ARGB arrays.
#include "pixel/bitmap.h"

#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "tests/pixel/support/pixeltest.h"

namespace {

TEST(Bitmap, AllocatorsSizeRowsAndRefuseBadSizes) {
  EXPECT_EQ(AllocateBytes(0, true), nullptr);
  EXPECT_EQ(AllocateBytes(0, false), nullptr);
  EXPECT_EQ(AllocateArray(SIZE_MAX / 2, 3, false), nullptr);
  auto* zeros = static_cast<uint8_t*>(AllocateBytes(64, true));
  ASSERT_NE(zeros, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(zeros[i], 0);
  std::free(zeros);

  vkPlanePtr mask(AllocMaskPlane(16, 3, true));
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->bytesPerRow, 3);
  vkPlane* alpha = AllocAlphaPlane(5, 2, true);
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->bytesPerRow, 8);
  FreeAlphaPlane(alpha);

  vkBitMapPtr bm(AllocArgbBitMap(7, 3));
  ASSERT_TRUE(bm);
  EXPECT_EQ(bm->bytesPerRow, 28);
  EXPECT_EQ(bm->bytesPerPixel, 4);
  EXPECT_EQ(bm->format, PIXFMT_ARGB32);
  EXPECT_EQ(AllocArgbBitMap(0, 5), nullptr);
  EXPECT_EQ(AllocArgbBitMap(5, -1), nullptr);
  EXPECT_EQ(AllocArgbBitMap(0x40000000, 2), nullptr);  // 4 x width overflows the row
  EXPECT_EQ(AllocMaskPlane(-1, 5, false), nullptr);
  EXPECT_EQ(AllocAlphaPlane(INT32_MAX, 1, false), nullptr);

  vkBitMapInfo info;
  EXPECT_EQ(LockBitMap(nullptr, &info), 0);
  EXPECT_EQ(info.locked, 0);
  EXPECT_EQ(LockBitMap(bm.get(), &info), 1);
  EXPECT_EQ(info.pixelsPerRow, 7);
  EXPECT_EQ(info.pixels, bm->pixels);
}

TEST(Bitmap, ForeignPlanesNeverFreeTheirData) {
  std::vector<uint8_t> data(12, 0xAB);
  vkPlane* p = CreateForeignMaskPlane(data.data(), 3);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->foreign, 1);
  FreeMaskPlane(p);  // the sanitizer build would report a bad free
  vkPlane* a = CreateForeignAlphaPlane(data.data(), 3, 4, 3);
  FreeAlphaPlane(a);
  EXPECT_EQ(data[0], 0xAB);
  FreeMaskPlane(nullptr);

  const vkPlane s = GetStaticMaskPlane(data.data(), 16, 4);
  EXPECT_EQ(s.bytesPerRow, 3);
  EXPECT_EQ(GetStaticAlphaPlane(data.data(), 8).bytesPerRow, 8);
}

TEST(Bitmap, CopyPlaneCopiesTheSmallerRowsOfEitherSize) {
  for (auto [fromW, toW] : {std::pair{40, 8}, std::pair{8, 40}, std::pair{17, 17}}) {
    vkPlanePtr src(AllocMaskPlane(fromW, 4, false));
    for (int32_t i = 0; i < src->bytesPerRow * 4; ++i) src->data[i] = uint8_t(i * 7 + 1);
    vkPlanePtr copy(CopyMaskPlane(src.get(), toW, 6));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->bytesPerRow, toW / 8 + 1);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < copy->bytesPerRow; ++x) {
        uint8_t want = (y < 4 && x < src->bytesPerRow) ? src->data[y * src->bytesPerRow + x] : 0;
        EXPECT_EQ(copy->data[y * copy->bytesPerRow + x], want) << fromW << "->" << toW;
      }
  }
  vkPlane* a = AllocAlphaPlane(6, 2, true);
  a->data[9] = 5;
  vkPlane* b = CopyAlphaPlane(a, 3, 2);
  EXPECT_EQ(b->data[4 + 1], 5);
  FreeAlphaPlane(a);
  FreeAlphaPlane(b);
}

TEST(Bitmap, AttributeCodes) {
  vkBitMapPtr bm(AllocArgbBitMap(20, 9));
  struct Case {
    int32_t code;
    intptr_t want;
  } cases[] = {{0, 20}, {3, 20}, {4, 20}, {1, 80}, {2, 80}, {11, 3}, {17, 20}, {18, 9}, {21, 32}, {5, 0}};
  for (auto c : cases) EXPECT_EQ(GetBitMapAttr(bm.get(), c.code), c.want) << c.code;
  vkPlanePtr mask(AllocMaskPlane(20, 9, true));
  EXPECT_EQ(GetBitMapAttr(mask.get(), 4), reinterpret_cast<intptr_t>(mask->data));
  EXPECT_EQ(GetBitMapAttr(mask.get(), 2), 3);
  EXPECT_EQ(GetBitMapAttr(static_cast<vkBitMap*>(nullptr), 0), 0);
}

TEST(Bitmap, SinglePixelsAndMaskBits) {
  vkBitMapPtr bm(AllocArgbBitMap(4, 4));
  std::memset(bm->pixels, 0xFF, 64);
  WriteBitMapPixel(bm.get(), 1, 2, 0x123456);
  EXPECT_EQ(ReadBitMapPixel(bm.get(), 1, 2), 0x123456u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(bm->pixels)[2 * 4 + 1], 0x00123456u);
  for (auto [x, y] : {std::pair{-1, 0}, std::pair{4, 0}, std::pair{0, 4}, std::pair{0, -9}}) {
    WriteBitMapPixel(bm.get(), x, y, 0);
    EXPECT_EQ(ReadBitMapPixel(bm.get(), x, y), 0u);
  }
  vkPlanePtr mask(AllocMaskPlane(10, 2, true));
  struct Step {
    int32_t mode;
    uint32_t bit;
  } steps[] = {{0, 1}, {1, 0}, {2, 1}, {3, 0}, {3, 1}, {4, 1}, {5, 1}, {9, 1}};
  for (auto s : steps) {
    WriteBitMapPixel(mask.get(), 9, 1, s.mode);
    EXPECT_EQ(ReadBitMapPixel(mask.get(), 9, 1), s.bit) << "mode " << s.mode;
  }
  WriteBitMapPixel(mask.get(), 10, 1, 0);  // outside the width
  EXPECT_EQ(mask->data[3] & 0x3F, 0);
}

// The line with its pixels found on a large bitmap, then shifted: a clipped
// line must show exactly its window.
TEST(Bitmap, LinesAreClippedWithoutWalkingTheWholeLength) {
  std::mt19937 rng(31);
  for (int trial = 0; trial < 40; ++trial) {
    int32_t c[4];
    for (int32_t& v : c) v = int32_t(rng() % 60) - 20;
    vkBitMapPtr big(AllocArgbBitMap(100, 100)), small(AllocArgbBitMap(20, 20));
    std::memset(big->pixels, 0, 100 * 100 * 4);
    std::memset(small->pixels, 0, 20 * 20 * 4);
    DrawBitMapLine(big.get(), c[0] + 40, c[1] + 40, c[2] + 40, c[3] + 40, 0xFFFFFF);
    DrawBitMapLine(small.get(), c[0], c[1], c[2], c[3], 0xFFFFFF);
    for (int32_t y = 0; y < 20; ++y)
      for (int32_t x = 0; x < 20; ++x)
        ASSERT_EQ(ReadBitMapPixel(small.get(), x, y), ReadBitMapPixel(big.get(), x + 40, y + 40)) << trial;
    // Both ends are drawn.
    EXPECT_EQ(ReadBitMapPixel(big.get(), c[0] + 40, c[1] + 40), 0xFFFFFFu);
    EXPECT_EQ(ReadBitMapPixel(big.get(), c[2] + 40, c[3] + 40), 0xFFFFFFu);
  }
  vkBitMapPtr bm(AllocArgbBitMap(10, 10));
  std::memset(bm->pixels, 0, 400);
  DrawBitMapLine(bm.get(), INT32_MIN, 5, INT32_MAX, 5, 0x0000FF);
  for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(ReadBitMapPixel(bm.get(), x, 5), 0xFFu);
  EXPECT_EQ(ReadBitMapPixel(bm.get(), 0, 4), 0u);
  // The longest diagonal there is: the step arithmetic must not overflow.
  std::memset(bm->pixels, 0, 400);
  DrawBitMapLine(bm.get(), INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0x00FF00);
  for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(ReadBitMapPixel(bm.get(), x, x), 0xFF00u) << x;
}

TEST(Bitmap, MaskPlaneOperationsMatchTheReference) {
  std::mt19937 rng(32);
  for (int32_t mode = 0; mode <= 6; ++mode) {
    vkPlanePtr src(AllocMaskPlane(30, 6, false)), dst(AllocMaskPlane(27, 7, false));
    for (int32_t i = 0; i < src->bytesPerRow * 6; ++i) src->data[i] = uint8_t(rng());
    for (int32_t i = 0; i < dst->bytesPerRow * 7; ++i) dst->data[i] = uint8_t(rng());
    pixeltest::Plane s(src->bytesPerRow, 6), d(dst->bytesPerRow, 7);
    std::memcpy(s.data(), src->data, s.bytes.size());
    std::memcpy(d.data(), dst->data, d.bytes.size());
    const int32_t sx = 5, sy = 1, dx = 3, dy = 2, w = 19, h = 4;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        bool sb = s.bit(sx + x, sy + y), db = d.bit(dx + x, dy + y);
        bool r[] = {db || sb, db && !sb, sb, db != sb, db && sb, db || sb, db};
        d.setBit(dx + x, dy + y, r[mode]);
      }
    BltMaskPlane(src.get(), sx, sy, dst.get(), dx, dy, w, h, mode);
    EXPECT_EQ(std::vector<uint8_t>(dst->data, dst->data + d.bytes.size()), d.bytes) << "mode " << mode;
  }
  // FillMaskRect: mode 4 changes nothing, mode 3 twice restores, and the
  // rectangle is clipped to the plane (spare bits stay).
  vkPlanePtr p(AllocMaskPlane(12, 4, false));
  for (int32_t i = 0; i < 8; ++i) p->data[i] = uint8_t(rng());
  std::vector<uint8_t> before(p->data, p->data + 8);
  FillMaskRect(p.get(), 3, 1, 40, 2, 4);
  FillMaskRect(p.get(), -5, -1, 40, 9, 3);
  FillMaskRect(p.get(), -5, -1, 40, 9, 3);
  EXPECT_EQ(std::vector<uint8_t>(p->data, p->data + 8), before);
  FillMaskRect(p.get(), -2, 0, 40, 4, 0);
  for (int32_t y = 0; y < 4; ++y) {
    EXPECT_EQ(p->data[y * 2], 0xFF);
    EXPECT_EQ(p->data[y * 2 + 1] & 0xF0, 0xF0);
    EXPECT_EQ(p->data[y * 2 + 1] & 0x0F, before[size_t(y * 2 + 1)] & 0x0F);
  }
}

TEST(Bitmap, PolygonFillStaysInsideThePlane) {
  // A triangle far larger than the plane covers all of it and nothing else.
  vkPlanePtr mask(AllocMaskPlane(10, 6, true));
  const int32_t tri[] = {-1000, -1000, 5000, -1000, -1000, 5000};
  int32_t scratch[3];
  FillMaskPolygon(mask.get(), tri, 3, scratch);
  for (int32_t y = 0; y < 6; ++y) {
    EXPECT_EQ(mask->data[y * 2], 0xFF);
    EXPECT_EQ(mask->data[y * 2 + 1], 0xC0);  // the spare bits of the row stay clear
  }
}

TEST(Bitmap, ColourHelpers) {
  EXPECT_EQ(RGBToPixel(0x123456, PIXFMT_ARGB32), 0x00123456u);
  EXPECT_EQ(RGBToPixel(0xFFFFFF, 13), 0u);
  EXPECT_EQ(BlendRGB(0x000000, 0xFFFFFF, 128), 0x7F7F7Fu);
  EXPECT_EQ(BlendRGB(0xFF00FF, 0x00FF00, 0), 0xFF00FFu);
  EXPECT_EQ(BlendRGB(0xFFFFFF, 0x000000, 128), 0x7F7F7Fu);
  EXPECT_EQ(GetBlitCapabilities(0xFFFFFFFF), 0u);
}

TEST(Bitmap, BuildingFromAndCopyingToARGB) {
  // Three rows of five words in a source of seven words per row.
  std::vector<uint32_t> argb(7 * 3, 0xDEADBEEF);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) argb[size_t(y * 7 + x)] = (x + y) % 2 ? 0xFF000000u * uint32_t(x % 3 == 0) : 0x00102030u;
  vkBitMap* bm = nullptr;
  vkPlane* mask = nullptr;
  ASSERT_EQ(CreateBitMapFromARGB(argb.data(), 0x000000, 5, 3, 7, &bm, &mask), 0u);
  ASSERT_NE(mask, nullptr);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(reinterpret_cast<uint32_t*>(bm->pixels)[y * 5 + x], argb[size_t(y * 7 + x)]);
      // Black pixels lose their mask bit whatever their alpha byte.
      EXPECT_EQ(ReadBitMapPixel(mask, x, y), (x + y) % 2 ? 0u : 1u) << x << "," << y;
    }
  uint32_t* packed = CopyBitMapToARGB(bm, 5, 3);
  ASSERT_NE(packed, nullptr);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(packed[y * 5 + x], argb[size_t(y * 7 + x)]);
  std::free(packed);
  EXPECT_EQ(CopyBitMapToARGB(nullptr, 5, 3), nullptr);
  EXPECT_EQ(CopyBitMapToARGB(bm, 6, 3), nullptr);
  FreeBitMap(bm);
  FreeMaskPlane(mask);

  mask = reinterpret_cast<vkPlane*>(1);
  ASSERT_EQ(CreateBitMapFromARGB(argb.data(), -1, 5, 3, 7, &bm, &mask), 0u);
  EXPECT_EQ(mask, nullptr);
  FreeBitMap(bm);
  EXPECT_EQ(CreateBitMapFromARGB(argb.data(), -1, 0, 3, 7, &bm, &mask), 1000u);
}

}  // namespace

// Masks expand into alpha planes: 255 where a bit is set, most significant
// bit leftmost, only [width] pixels of [height] rows written.
TEST(MaskToAlpha, SetBitsBecomeOpaqueWithinTheGivenSize) {
  struct Case {
    const char* name;
    int32_t width, height;
    std::vector<uint8_t> mask;  // two rows of two bytes
    std::vector<uint8_t> expected;  // two rows of 12 bytes (the plane's rows)
  };
  const uint8_t F = 255, Z = 0, U = 7;  // U: left as it was
  const Case cases[] = {
      {"first and last bit of a byte", 9, 1, {0x81, 0x80, 0x00, 0x00},
       {F, Z, Z, Z, Z, Z, Z, F, F, U, U, U, U, U, U, U, U, U, U, U, U, U, U, U}},
      {"two rows", 3, 2, {0x40, 0x00, 0xA0, 0x00},
       {Z, F, Z, U, U, U, U, U, U, U, U, U, F, Z, F, U, U, U, U, U, U, U, U, U}},
      {"height 0 writes nothing", 8, 0, {0xFF, 0xFF, 0xFF, 0xFF},
       std::vector<uint8_t>(24, U)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> maskBytes = c.mask;
    std::vector<uint8_t> alphaBytes(24, U);
    vkPlane mask{maskBytes.data(), 12, 2, 2, 1};
    vkPlane alpha{alphaBytes.data(), 12, 2, 12, 1};
    EXPECT_EQ(MaskToAlpha(&mask, &alpha, c.width, c.height), 12);
    EXPECT_EQ(alphaBytes, c.expected);
  }
}
