// Transformed bounds, blit and mask clipping, one polygon clipping edge,
// clip regions carried through a transformation and alpha turned into mask
// bits, each judged against results worked out by hand or by brute force.
#include "graphics/geometry.h"

#include <array>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

namespace {

const double kIdentity[4] = {1, 0, 0, 1};

bool Bit(const vkPlane* m, int32_t x, int32_t y) { return ReadBitMapPixel(m, x, y) != 0; }

TEST(GetTransformedBounds, CornersAboutTheAnchor) {
  struct Case {
    double ax, ay, m[4];
    vkBounds want;
  };
  const Case cases[] = {
      {0, 0, {1, 0, 0, 1}, {5, 7, 10, 10}},
      {0.5, 0.5, {1, 0, 0, 1}, {5, 7, 10, 10}},
      {0, 0, {2, 0, 0, 2}, {5, 7, 19, 19}},          // corners at 0 and 18
      {0.5, 0.5, {2, 0, 0, 2}, {0, 2, 19, 19}},      // about (5, 5): -5 .. 13
      {0, 0, {-1, 0, 0, 1}, {-4, 7, 10, 10}},        // mirrored to the left of x
      {0.5, 0.5, {0, 1, -1, 0}, {6, 7, 10, 10}},     // a quarter turn about (5, 5)
      {0, 0, {1, 0, 0.5, 1}, {5, 7, 14, 10}},        // shear: x reaches 9 + 4.5
  };
  for (const Case& k : cases) {
    const vkBounds b = GetTransformedBounds(5, 7, 10, 10, k.ax, k.ay, k.m);
    EXPECT_EQ(b.x, k.want.x);
    EXPECT_EQ(b.y, k.want.y);
    EXPECT_EQ(b.width, k.want.width);
    EXPECT_EQ(b.height, k.want.height);
  }
  const double nan[4] = {NAN, 0, 0, 1e300};
  const vkBounds b = GetTransformedBounds(INT32_MAX, INT32_MIN, 10, 10, 0, 0, nan);  // saturates, no overflow
  EXPECT_EQ(b.x, INT32_MAX);
}

TEST(ClipBltRects, CutsToRegionOrOriginThenToSourceAndBound) {
  vkClipRegion region;
  region.x = 10, region.y = 5, region.width = 20, region.height = 8;  // right 30, bottom 13
  struct Case {
    bool useClip;
    int32_t sx, sy, dx, dy, w, h;
    bool drawn;
    int32_t wsx, wsy, wdx, wdy, ww, wh;
  };
  const Case cases[] = {
      {false, 0, 0, -3, -2, 10, 10, true, 3, 2, 0, 0, 7, 8},
      {false, 2, 1, 95, 45, 10, 10, true, 2, 1, 95, 45, 5, 5},     // destination bound 100 x 50
      {false, 35, 20, 0, 0, 10, 10, true, 35, 20, 0, 0, 5, 10},    // source 40 x 30
      {true, 0, 0, 4, 0, 30, 30, true, 6, 5, 10, 5, 20, 8},
      {true, 0, 0, 12, 7, 30, 30, true, 0, 0, 12, 7, 18, 6},
      {true, 0, 0, 30, 5, 5, 5, false, 0, 0, 0, 0, 0, 0},          // right of the region
      {false, -1, 0, 0, 0, 5, 5, false, 0, 0, 0, 0, 0, 0},         // negative source
      {false, 0, 0, INT32_MIN, 0, INT32_MAX, 5, false, 0, 0, 0, 0, 0, 0},
      {false, 0, 0, 0, 0, 0, 5, false, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.useClip << " " << c.dx << "," << c.dy);
    int32_t sx = c.sx, sy = c.sy, dx = c.dx, dy = c.dy, w = c.w, h = c.h;
    ASSERT_EQ(ClipBltRects(&region, sx, sy, dx, dy, w, h, 40, 30, 100, 50, c.useClip), c.drawn);
    if (!c.drawn) continue;
    EXPECT_EQ((std::array<int32_t, 6>{sx, sy, dx, dy, w, h}),
              (std::array<int32_t, 6>{c.wsx, c.wsy, c.wdx, c.wdy, c.ww, c.wh}));
  }
  // A shape smaller than the region's rectangle bounds the blit as well.
  region.mask.reset(AllocMaskPlane(12, 3, true));
  int32_t sx = 0, sy = 0, dx = 0, dy = 0, w = 100, h = 100;
  ASSERT_TRUE(ClipBltRects(&region, sx, sy, dx, dy, w, h, 40, 30, 100, 50, true));
  EXPECT_EQ(w, 12);
  EXPECT_EQ(h, 3);
}

TEST(ClipMaskRect, NegativeOriginsCutTheRectangleAndItsMask) {
  vkPlanePtr mask(AllocMaskPlane(9, 6, true));
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 9; ++x)
      if ((x * 3 + y) % 4 == 0) WriteBitMapPixel(mask.get(), x, y, 0);
  struct Case {
    int32_t x, y;
    bool copyAlways;
    bool newMask;
  };
  const Case cases[] = {{-2, -1, false, true}, {-3, 4, false, true}, {2, 3, false, false}, {2, 3, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " " << c.copyAlways);
    int32_t x = c.x, y = c.y, w = 9, h = 6;
    vkPlanePtr out;
    ASSERT_EQ(ClipMaskRect(x, y, w, h, mask.get(), c.copyAlways, out), 0);
    const int32_t cutX = std::max(0, -c.x), cutY = std::max(0, -c.y);
    EXPECT_EQ(x, c.x + cutX);
    EXPECT_EQ(y, c.y + cutY);
    EXPECT_EQ(w, 9 - cutX);
    EXPECT_EQ(h, 6 - cutY);
    ASSERT_EQ(out != nullptr, c.newMask);
    if (!out) continue;
    for (int32_t yy = 0; yy < h; ++yy)
      for (int32_t xx = 0; xx < w; ++xx) ASSERT_EQ(Bit(out.get(), xx, yy), Bit(mask.get(), xx + cutX, yy + cutY));
  }
  // Cut away entirely, or without a mask: sizes only.
  int32_t x = -20, y = 0, w = 9, h = 6;
  vkPlanePtr out;
  EXPECT_EQ(ClipMaskRect(x, y, w, h, mask.get(), true, out), 0);
  EXPECT_LT(w, 1);
  EXPECT_FALSE(out);
  x = INT32_MIN, y = -1, w = 5, h = 5;
  EXPECT_EQ(ClipMaskRect(x, y, w, h, nullptr, true, out), 0);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(h, 4);
  EXPECT_FALSE(out);
}

// A closed polygon from its vertices.
std::vector<int32_t> Closed(std::vector<int32_t> v) {
  v.push_back(v[0]), v.push_back(v[1]);
  return v;
}

TEST(ClipPolygonEdge, OneBoundaryOfEachKind) {
  // The square (0,0) (10,0) (10,10) (0,10).
  const std::vector<int32_t> square = Closed({0, 0, 10, 0, 10, 10, 0, 10});
  struct Case {
    int32_t boundary, kind;
    std::vector<int32_t> want;
  };
  const Case cases[] = {
      {4, kKeepRightOf, {4, 0, 10, 0, 10, 10, 4, 10}},
      {4, kKeepLeftOf, {0, 0, 4, 0, 4, 10, 0, 10}},
      {3, kKeepBelow, {0, 3, 10, 3, 10, 10, 0, 10}},
      {3, kKeepAbove, {0, 3, 0, 0, 10, 0, 10, 3}},
      {-5, kKeepRightOf, {0, 0, 10, 0, 10, 10, 0, 10}},  // wholly inside
      {11, kKeepRightOf, {}},                            // wholly outside
      {-1, kKeepAbove, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.boundary << " kind " << c.kind);
    std::vector<int32_t> out;
    const int32_t n = ClipPolygonEdge(4, square, out, c.boundary, c.kind);
    ASSERT_EQ(n, int32_t(c.want.size() / 2));
    EXPECT_EQ(out, c.want.empty() ? c.want : Closed(c.want));
  }
}

TEST(ClipPolygonEdge, CrossingPointsFollowTheSlopeTruncated) {
  // A triangle whose slanted edges cross x = 3.
  const std::vector<int32_t> tri = Closed({0, 0, 7, 2, 0, 9});
  std::vector<int32_t> out;
  ASSERT_EQ(ClipPolygonEdge(3, tri, out, 3, kKeepRightOf), 3);
  // (0,0)-(7,2) crosses at y = 6/7 -> 0; (7,2)-(0,9) at y = 2 + 4 = 6.
  EXPECT_EQ(out, Closed({3, 0, 7, 2, 3, 6}));
  // Counts the vertex list does not hold give nothing.
  EXPECT_EQ(ClipPolygonEdge(4, tri, out, 3, kKeepRightOf), 0);
  EXPECT_EQ(ClipPolygonEdge(3, tri, out, 3, 7), 0);
}

TEST(TransformClipRegion, PlainRegions) {
  vkClipRegion plain;
  plain.x = 6, plain.y = 4, plain.width = 10, plain.height = 4;
  auto same = TransformClipRegion(plain, 0.5, 0.5, kIdentity, nullptr);
  ASSERT_TRUE(same);
  EXPECT_TRUE(same->temporary);
  EXPECT_FALSE(same->mask);
  EXPECT_EQ((std::array<int32_t, 4>{same->x, same->y, same->width, same->height}),
            (std::array<int32_t, 4>{6, 4, 10, 4}));

  const double scale[4] = {2, 0, 0, 1.5};
  auto scaled = TransformClipRegion(plain, 0, 0, scale, nullptr);
  ASSERT_TRUE(scaled);
  EXPECT_FALSE(scaled->mask);
  EXPECT_EQ((std::array<int32_t, 4>{scaled->x, scaled->y, scaled->width, scaled->height}),
            (std::array<int32_t, 4>{12, 6, 20, 6}));

  const double displayScale[2] = {0.5, 2};
  auto shown = TransformClipRegion(plain, 0, 0, scale, displayScale);
  ASSERT_TRUE(shown);
  EXPECT_EQ((std::array<int32_t, 4>{shown->x, shown->y, shown->width, shown->height}),
            (std::array<int32_t, 4>{6, 12, 10, 12}));

  // A quarter turn about the centre: the bounding box, filled by the mask.
  const double quarter[4] = {0, 1, -1, 0};
  auto turned = TransformClipRegion(plain, 0.5, 0.5, quarter, nullptr);
  ASSERT_TRUE(turned);
  ASSERT_TRUE(turned->mask);
  EXPECT_EQ(turned->width, 4);
  EXPECT_EQ(turned->height, 10);
  EXPECT_EQ(turned->maskBytesPerRow, turned->mask->bytesPerRow);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 4; ++x) EXPECT_TRUE(Bit(turned->mask.get(), x, y)) << x << "," << y;

  // A 45-degree turn: the corners of the box stay outside the rectangle.
  const double r = std::sqrt(0.5), eighth[4] = {r, r, -r, r};
  auto diamond = TransformClipRegion(plain, 0.5, 0.5, eighth, nullptr);
  ASSERT_TRUE(diamond && diamond->mask);
  EXPECT_FALSE(Bit(diamond->mask.get(), 0, 0));
  EXPECT_TRUE(Bit(diamond->mask.get(), diamond->width / 2, diamond->height / 2));
}

TEST(TransformClipRegion, ShapedRegionsAndNegativePlacement) {
  vkClipRegion shaped;
  shaped.x = 2, shaped.y = 1, shaped.width = 6, shaped.height = 3;
  shaped.mask.reset(AllocMaskPlane(6, 3, true));
  WriteBitMapPixel(shaped.mask.get(), 0, 0, 0);
  WriteBitMapPixel(shaped.mask.get(), 4, 1, 0);
  // Half a turn: bit (x, y) goes to (5 - x, 2 - y).
  const double half[4] = {-1, 0, 0, -1};
  auto turned = TransformClipRegion(shaped, 0.5, 0.5, half, nullptr);
  ASSERT_TRUE(turned && turned->mask);
  EXPECT_EQ(turned->width, 6);
  EXPECT_EQ(turned->height, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 6; ++x)
      EXPECT_EQ(Bit(turned->mask.get(), x, y), (x == 5 && y == 2) || (x == 1 && y == 1)) << x << "," << y;
  // The source region keeps its own mask.
  EXPECT_TRUE(Bit(shaped.mask.get(), 0, 0));

  // Placed partly above and left of the target: cut, mask moved along.
  shaped.x = -3, shaped.y = -1;
  auto cut = TransformClipRegion(shaped, 0, 0, kIdentity, nullptr);
  ASSERT_TRUE(cut && cut->mask);
  EXPECT_EQ((std::array<int32_t, 4>{cut->x, cut->y, cut->width, cut->height}), (std::array<int32_t, 4>{0, 0, 3, 2}));
  EXPECT_TRUE(Bit(cut->mask.get(), 1, 0));  // was (4, 1)
  EXPECT_FALSE(Bit(cut->mask.get(), 0, 0));

  shaped.x = -10;  // nothing left
  EXPECT_FALSE(TransformClipRegion(shaped, 0, 0, kIdentity, nullptr));
  const double singular[4] = {1, 1, 1, 1};
  shaped.x = 0;
  EXPECT_FALSE(TransformClipRegion(shaped, 0, 0, singular, nullptr));
}

TEST(ApplyAlphaToMaskRect, ModesAndClipping) {
  vkPlanePtr alpha(AllocAlphaPlane(8, 2, true));
  for (int32_t x = 0; x < 8; ++x) alpha->data[x] = x % 2 ? 255 : 128;
  struct Case {
    int32_t mode;
    bool opaqueBit, otherBit;
  };
  for (const Case& c : {Case{0, true, false}, Case{2, true, false}, Case{1, false, true}}) {
    vkPlanePtr mask(AllocMaskPlane(8, 2, true));
    FillMaskRect(mask.get(), 0, 0, 8, 2, c.mode == 1 ? 1 : 0);  // the opposite of what the mode writes
    ApplyAlphaToMaskRect(alpha.get(), 0, 0, mask.get(), 0, 1, 8, 1, c.mode);
    for (int32_t x = 0; x < 8; ++x) {
      EXPECT_EQ(Bit(mask.get(), x, 1), x % 2 ? c.opaqueBit : c.otherBit) << c.mode << " " << x;
      EXPECT_EQ(Bit(mask.get(), x, 0), c.mode != 1) << "row 0 untouched";
    }
  }
  // A rectangle reaching past both planes is cut to them.
  vkPlanePtr mask(AllocMaskPlane(8, 2, true));
  ApplyAlphaToMaskRect(alpha.get(), -4, -4, mask.get(), 5, 1, 1000, 1000, 0);
  ApplyAlphaToMaskRect(nullptr, 0, 0, mask.get(), 0, 0, 8, 2, 0);
}

}  // namespace
