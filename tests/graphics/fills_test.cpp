// Texture tiling in both forms against the wrap-around it promises, the
// gradient through each pixel size's kernel (also for rectangles that stick
// out of the bitmap), and the ARGB conversion for each kind of plane.
#include "graphics/fills.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "pixel/colourkernels.h"
#include "pixel/pixfmt.h"

namespace {

uint32_t& Pix(vkBitMap* b, int32_t x, int32_t y) {
  return reinterpret_cast<uint32_t*>(b->pixels)[ptrdiff_t(y) * (b->bytesPerRow / 4) + x];
}

int32_t Wrapped(int64_t v, int32_t size) { return int32_t(((v % size) + size) % size); }

// A texture whose every pixel names its own column and row.
constexpr int32_t kTexW = 16, kTexH = 5;
uint32_t TexelAt(int32_t tx, int32_t ty) { return 0x01000000u | uint32_t(ty) << 8 | uint32_t(tx); }

struct TileCase {
  int32_t offsetX, offsetY;
};
const TileCase kTileCases[] = {{0, 0}, {-1, 0}, {0, -1}, {16, 5}, {35, -7}, {-33, 12}, {INT32_MIN, INT32_MAX}};

TEST(TileTexture, RawArraysRepeatTheTextureFromTheWrappedOffsets) {
  std::vector<uint32_t> tex(size_t(kTexW + 3) * kTexH, 0xDEADBEEF);  // rows longer than the texture
  for (int32_t ty = 0; ty < kTexH; ++ty)
    for (int32_t tx = 0; tx < kTexW; ++tx) tex[size_t(ty) * (kTexW + 3) + tx] = TexelAt(tx, ty);
  for (const TileCase& c : kTileCases) {
    SCOPED_TRACE(testing::Message() << c.offsetX << "," << c.offsetY);
    const int32_t w = 41, h = 13;
    std::vector<uint32_t> dst(size_t(w) * h, 0);
    TileTexture(dst.data(), w, h, tex.data(), c.offsetX, c.offsetY, kTexW, kTexH, kTexW + 3);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        ASSERT_EQ(dst[size_t(y) * w + x], TexelAt(Wrapped(int64_t(x) + c.offsetX, kTexW),
                                                  Wrapped(int64_t(y) + c.offsetY, kTexH)))
            << x << "," << y;
  }
}

TEST(TileTexture, OffsetMinusOneStartsAtTheLastColumn) {
  std::vector<uint32_t> tex(kTexW * kTexH);
  for (int32_t i = 0; i < kTexW * kTexH; ++i) tex[size_t(i)] = TexelAt(i % kTexW, i / kTexW);
  std::vector<uint32_t> dst(3);
  TileTexture(dst.data(), 3, 1, tex.data(), -1, 0, kTexW, kTexH, kTexW);
  EXPECT_EQ(dst, (std::vector<uint32_t>{TexelAt(15, 0), TexelAt(0, 0), TexelAt(1, 0)}));
}

TEST(TileTexture, BitmapsAreTiledInsideTheRectangleAndClipped) {
  vkBitMapPtr tex(AllocArgbBitMap(kTexW + 4, kTexH + 2));  // only the top-left kTexW x kTexH is the texture
  for (int32_t ty = 0; ty < kTexH + 2; ++ty)
    for (int32_t tx = 0; tx < kTexW + 4; ++tx) Pix(tex.get(), tx, ty) = TexelAt(tx, ty);
  struct Rect {
    int32_t x, y, w, h;
  };
  const Rect rects[] = {{0, 0, 50, 20}, {7, 3, 30, 11}, {-9, -4, 45, 30}, {40, 15, 100, 100}, {0, 0, 0, 5}};
  for (const Rect& r : rects) {
    for (const TileCase& c : kTileCases) {
      SCOPED_TRACE(testing::Message() << r.x << "," << r.y << " " << c.offsetX << "," << c.offsetY);
      vkBitMapPtr dst(AllocArgbBitMap(50, 20));
      std::memset(dst->pixels, 0, size_t(dst->bytesPerRow) * 20);
      TileTexture(dst.get(), r.x, r.y, r.w, r.h, tex.get(), c.offsetX, c.offsetY, kTexW, kTexH);
      for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 50; ++x) {
          const bool inside = x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
          const uint32_t want = inside ? TexelAt(Wrapped(int64_t(x - r.x) + c.offsetX, kTexW),
                                                 Wrapped(int64_t(y - r.y) + c.offsetY, kTexH))
                                       : 0;
          ASSERT_EQ(Pix(dst.get(), x, y), want) << x << "," << y;
        }
    }
  }
}

TEST(TileTexture, EmptyTexturesAndMissingRecordsDrawNothing) {
  std::vector<uint32_t> tex(4, 7), dst(4, 0);
  TileTexture(dst.data(), 2, 2, tex.data(), 0, 0, 0, 2, 2);
  TileTexture(dst.data(), 2, 2, tex.data(), 0, 0, 2, 0, 2);
  TileTexture(dst.data(), 2, 2, tex.data(), 0, 0, 2, 2, 1);  // rows shorter than the texture
  TileTexture(dst.data(), 2, 2, nullptr, 0, 0, 2, 2, 2);
  EXPECT_EQ(dst, std::vector<uint32_t>(4, 0));
  vkBitMapPtr b(AllocArgbBitMap(4, 4));
  TileTexture(b.get(), 0, 0, 4, 4, nullptr, 0, 0, 2, 2);
  TileTexture(nullptr, 0, 0, 4, 4, b.get(), 0, 0, 2, 2);
}

// A bitmap of [bpp] bytes per pixel over a caller-owned buffer.
struct RawBitMap {
  std::vector<uint8_t> bytes;
  vkBitMap bitmap{};
  RawBitMap(int32_t w, int32_t h, int32_t bpp, int32_t format, uint8_t fill) {
    bitmap.width = w, bitmap.height = h, bitmap.bytesPerPixel = bpp, bitmap.format = format;
    bitmap.bytesPerRow = (w + 2) * bpp;  // rows with slack after the pixels
    bytes.assign(size_t(bitmap.bytesPerRow) * h, fill);
    bitmap.pixels = bytes.data();
  }
};

struct GradientCase {
  int32_t bpp, format;
  void (*kernel)(const vkGradientBlock*);
};
const GradientCase kGradientCases[] = {{4, PIXFMT_ARGB32, FillLinearGradient32},
                                       {3, PIXFMT_RGB24, FillLinearGradient24},
                                       {2, PIXFMT_RGB16, FillLinearGradient16}};

TEST(DrawGradient, RunsTheKernelOfThePixelSizeOverTheRectangle) {
  for (const GradientCase& c : kGradientCases) {
    for (int32_t angle : {0, 45, 90, 200, -30}) {
      SCOPED_TRACE(testing::Message() << c.bpp << " bytes, angle " << angle);
      RawBitMap got(30, 20, c.bpp, c.format, 0x5A), want(30, 20, c.bpp, c.format, 0x5A);
      DrawGradient(&got.bitmap, 4, 3, 21, 13, 0xFF2040, 0x10E0A0, angle);
      vkGradientBlock b{want.bytes.data(), 4, 3, 21, 13, 0xFF2040, 0x10E0A0, angle,
                        want.bitmap.bytesPerRow / c.bpp, c.format};
      c.kernel(&b);
      EXPECT_EQ(got.bytes, want.bytes);
    }
  }
}

TEST(DrawGradient, ARectangleStickingOutKeepsItsCourseInsideAndTouchesNothingElse) {
  for (const GradientCase& c : kGradientCases) {
    SCOPED_TRACE(c.bpp);
    // The reference draws the whole rectangle into a big bitmap placed so
    // that the small one is a window of it.
    const int32_t x = -7, y = -5, w = 40, h = 30, angle = 33;
    RawBitMap got(20, 15, c.bpp, c.format, 0x33), big(60, 50, c.bpp, c.format, 0x33);
    DrawGradient(&got.bitmap, x, y, w, h, 0x000000, 0xFFFFFF, angle);
    DrawGradient(&big.bitmap, x + 10, y + 10, w, h, 0x000000, 0xFFFFFF, angle);
    for (int32_t r = 0; r < 15; ++r) {
      const uint8_t* g = got.bytes.data() + size_t(r) * got.bitmap.bytesPerRow;
      const uint8_t* b = big.bytes.data() + size_t(r + 10) * big.bitmap.bytesPerRow + 10 * c.bpp;
      ASSERT_EQ(std::memcmp(g, b, size_t(20 * c.bpp)), 0) << "row " << r;
      for (int32_t k = 20 * c.bpp; k < got.bitmap.bytesPerRow; ++k) ASSERT_EQ(g[k], 0x33);  // the row's slack
    }
  }
}

TEST(DrawGradient, NullBitmapPrintsAndRectanglesOutsideDrawNothing) {
  testing::internal::CaptureStdout();
  DrawGradient(nullptr, 0, 0, 10, 10, 0, 0xFFFFFF, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR! DRAWGRADIENT() CALLED WITH DST=NULL!\n");
  RawBitMap b(8, 8, 4, PIXFMT_ARGB32, 0x11);
  const std::vector<uint8_t> before = b.bytes;
  for (auto [x, y, w, h] : {std::array<int32_t, 4>{8, 0, 5, 5}, {0, -5, 5, 5}, {2, 2, 0, 4}, {2, 2, 4, -1},
                            {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX}})
    DrawGradient(&b.bitmap, x, y, w, h, 0, 0xFFFFFF, 90);
  EXPECT_EQ(b.bytes, before);
}

TEST(GetARGBPixels, EachKindOfPlaneDecidesAlphaAndFill) {
  constexpr int32_t w = 12, h = 3;
  vkBitMapPtr bm(AllocArgbBitMap(w + 2, h + 1));
  for (int32_t y = 0; y < h + 1; ++y)
    for (int32_t x = 0; x < w + 2; ++x) Pix(bm.get(), x, y) = 0x5A000000u | uint32_t(y * 40 + x) * 0x010101u;
  vkPlanePtr mask(AllocMaskPlane(w, h, true));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      if ((x + y) % 3 == 0) WriteBitMapPixel(mask.get(), x, y, 0);
  vkPlanePtr alpha(AllocAlphaPlane(w, h, true));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) alpha->data[y * alpha->bytesPerRow + x] = uint8_t(x % 4 == 0 ? 0 : x * 20 + y);
  const uint32_t fill = 0x7F00F00F;

  enum Kind { kNone, kMaskAsAlpha, kMaskFill, kAlpha, kBoth };
  for (Kind k : {kNone, kMaskAsAlpha, kMaskFill, kAlpha, kBoth}) {
    SCOPED_TRACE(int(k));
    const vkPlane* m = (k == kMaskAsAlpha || k == kMaskFill || k == kBoth) ? mask.get() : nullptr;
    const vkPlane* a = (k == kAlpha || k == kBoth) ? alpha.get() : nullptr;
    vkBufferPtr<uint32_t> out = GetARGBPixels(bm.get(), w, h, m, a, fill, k == kMaskAsAlpha);
    ASSERT_TRUE(out);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t src = Pix(bm.get(), x, y), rgb = src & 0xFFFFFF;
        const bool bit = (x + y) % 3 == 0;
        const uint8_t av = alpha->data[y * alpha->bytesPerRow + x];
        uint32_t want = 0;
        switch (k) {
          case kNone: want = 0xFF000000u | rgb; break;
          case kMaskAsAlpha: want = (bit ? 0xFF000000u : 0) | rgb; break;
          case kMaskFill:
          case kBoth: want = bit ? src : fill; break;  // the mask rules over the alpha plane
          case kAlpha: want = uint32_t(av) << 24 | rgb | (av == 0 ? fill & 0xFFFFFF : 0); break;
        }
        ASSERT_EQ(out.get()[y * w + x], want) << x << "," << y;
      }
  }
}

TEST(GetARGBPixels, SizesTheBitmapOrPlanesDoNotHave) {
  vkBitMapPtr bm(AllocArgbBitMap(4, 4));
  std::memset(bm->pixels, 0x22, size_t(bm->bytesPerRow) * 4);
  EXPECT_FALSE(GetARGBPixels(bm.get(), 5, 4, nullptr, nullptr, 0, false));
  EXPECT_FALSE(GetARGBPixels(nullptr, 4, 4, nullptr, nullptr, 0, false));
  // Planes smaller than the size read as clear beyond their edge.
  vkPlanePtr mask(AllocMaskPlane(2, 2, false));
  std::memset(mask->data, 0xFF, size_t(mask->bytesPerRow) * 2);
  vkBufferPtr<uint32_t> out = GetARGBPixels(bm.get(), 4, 4, mask.get(), nullptr, 0x01020304, false);
  ASSERT_TRUE(out);
  EXPECT_EQ(out.get()[0], 0x22222222u);
  EXPECT_EQ(out.get()[2 * 4 + 1], 0x01020304u);
  vkPlanePtr alpha(AllocAlphaPlane(1, 1, false));
  alpha->data[0] = 9;
  out = GetARGBPixels(bm.get(), 4, 4, nullptr, alpha.get(), 0x00000080, false);
  ASSERT_TRUE(out);
  EXPECT_EQ(out.get()[0], 0x09222222u);
  EXPECT_EQ(out.get()[3 * 4 + 3], 0x002222A2u);
}

}  // namespace
