// Coverage images judged by their structure: 255 well inside a shape, 0 a
// little way outside it, and a total no less than the shape's exact area and
// no more than a band along its edge beyond it. Limits (thickness, size,
// coordinates far beyond the image) draw nothing or the visible part only,
// and never throw.
#include "pixel/rastercontext.h"

#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr int32_t kW = 61, kH = 47;

struct Image {
  vkRasterContextPtr context;
  uint8_t* bytes = nullptr;
  int32_t stride = 0;
  Image(int32_t w = kW, int32_t h = kH) { EXPECT_EQ(CreateRasterContext(w, h, &context, &bytes, &stride), 0); }
  uint8_t at(int32_t x, int32_t y) const { return bytes[size_t(y) * stride + x]; }
  double Sum() const {
    double s = 0;
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++) s += at(x, y);
    return s / 255.0;
  }
  bool Empty() const { return Sum() == 0; }
};

// Signed distance from (x, y) to a shape: negative inside.
using Distance = std::function<double(double, double)>;

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = std::max(0.0, std::min(1.0, t));
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

// Convex polygon distance, accurate enough near edges: the largest signed
// distance to its edge lines.
Distance ConvexPolygon(std::vector<double> pts) {
  return [pts](double x, double y) {
    double worst = -1e9;
    const size_t n = pts.size() / 2;
    for (size_t i = 0; i < n; i++) {
      const double ax = pts[2 * i], ay = pts[2 * i + 1], bx = pts[2 * ((i + 1) % n)], by = pts[2 * ((i + 1) % n) + 1];
      const double len = std::hypot(bx - ax, by - ay);
      worst = std::max(worst, ((x - ax) * (by - ay) - (y - ay) * (bx - ax)) / len);
    }
    return worst;
  };
}

// 255 further than 1.5 pixels inside, 0 further than [reach] outside, and
// the coverage summed between the exact area and that area plus a band of
// [band] pixels along the perimeter. OpenCV's shapes are drawn a little
// fatter than the exact geometry (its anti-aliased fill by about two thirds
// of a pixel, its thick lines by more), so the band is not zero.
void ExpectStructure(const Image& img, const Distance& d, double area, double perimeter, double reach, double band) {
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++) {
      const double dist = d(x, y);
      if (dist < -1.5) { EXPECT_EQ(img.at(x, y), 255) << x << "," << y; }
      if (dist > reach) { EXPECT_EQ(img.at(x, y), 0) << x << "," << y; }
    }
  EXPECT_GE(img.Sum(), area);
  EXPECT_LE(img.Sum(), area + perimeter * band);
}

TEST(RasterContext, ShapesHaveTheirCoverage) {
  // A filled convex pentagon (clockwise on screen, so the edge-line distance
  // is negative inside).
  const std::vector<int32_t> penta = {10, 5, 45, 8, 55, 30, 30, 42, 6, 28};
  std::vector<double> pd(penta.begin(), penta.end());
  double area = 0;
  for (size_t i = 0; i < 5; i++)
    area += pd[2 * i] * pd[2 * ((i + 1) % 5) + 1] - pd[2 * ((i + 1) % 5)] * pd[2 * i + 1];
  area = std::fabs(area) / 2;
  for (bool aa : {false, true}) {
    SCOPED_TRACE(aa ? "anti-aliased" : "plain");
    Image img;
    ASSERT_EQ(RasterizePolygon(img.context.get(), penta.data(), 5, aa, 0), 0);
    double perimeter = 0;
    for (size_t i = 0; i < 5; i++)
      perimeter += std::hypot(pd[2 * ((i + 1) % 5)] - pd[2 * i], pd[2 * ((i + 1) % 5) + 1] - pd[2 * i + 1]);
    ExpectStructure(img, ConvexPolygon(pd), area, perimeter, 1.5, 1.0);
  }
  // A thick line: a capsule of radius 4.5 around the segment.
  for (bool aa : {false, true}) {
    SCOPED_TRACE(aa ? "line anti-aliased" : "line plain");
    Image img;
    ASSERT_EQ(RasterizeLine(img.context.get(), 8, 10, 50, 36, aa, 9), 0);
    const double len = std::hypot(42.0, 26.0);
    ExpectStructure(img, [&](double x, double y) { return SegmentDistance(x, y, 8, 10, 50, 36) - 4.5; },
                    len * 9 + M_PI * 4.5 * 4.5, 2 * len + 2 * M_PI * 4.5, 2.0, 1.5);
  }
  // An outline of thickness 3: inside and outside stay empty.
  Image ring;
  const std::vector<int32_t> box = {10, 10, 50, 10, 50, 40, 10, 40};
  ASSERT_EQ(RasterizePolygon(ring.context.get(), box.data(), 4, false, 3), 0);
  EXPECT_EQ(ring.at(30, 25), 0);
  EXPECT_EQ(ring.at(30, 10), 255);
  EXPECT_EQ(ring.at(50, 25), 255);
  EXPECT_EQ(ring.at(55, 25), 0);
}

TEST(RasterContext, LimitsDrawNothingOrTheVisiblePart) {
  const std::vector<int32_t> tri = {5, 5, 40, 5, 20, 30};
  struct Case {
    const char* name;
    std::function<int32_t(vkRasterContext*)> draw;
    bool drawsSomething;
  };
  const Case cases[] = {
      {"line thickness 256", [](vkRasterContext* c) { return RasterizeLine(c, 1, 1, 50, 40, true, 256); }, false},
      {"line thickness 0", [](vkRasterContext* c) { return RasterizeLine(c, 1, 1, 50, 40, false, 0); }, false},
      {"line thickness -3", [](vkRasterContext* c) { return RasterizeLine(c, 1, 1, 50, 40, false, -3); }, false},
      {"line thickness 255", [](vkRasterContext* c) { return RasterizeLine(c, 1, 1, 50, 40, false, 255); }, true},
      {"outline 256", [&](vkRasterContext* c) { return RasterizePolygon(c, tri.data(), 3, false, 256); }, false},
      {"no points", [&](vkRasterContext* c) { return RasterizePolygon(c, tri.data(), 0, false, 0); }, false},
      {"one point", [&](vkRasterContext* c) { return RasterizePolygon(c, tri.data(), 1, true, 0); }, true},
      {"repeated points", [](vkRasterContext* c) {
         const int32_t p[] = {5, 5, 5, 5, 30, 5, 30, 5, 30, 30};
         return RasterizePolygon(c, p, 5, true, 0);
       }, true},
      {"off the image", [](vkRasterContext* c) { return RasterizeLine(c, -100, -100, -10, -200, true, 9); }, false},
      {"far line", [](vkRasterContext* c) { return RasterizeLine(c, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, true, 5); }, true},
      {"far polygon", [](vkRasterContext* c) {
         const int32_t p[] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN + 7, 20, INT32_MAX};
         return RasterizePolygon(c, p, 3, true, 0);
       }, true},
      {"far outline", [](vkRasterContext* c) {
         const int32_t p[] = {-2000000000, 20, 2000000000, 21, 30, 2000000000};
         return RasterizePolygon(c, p, 3, false, 4);
       }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image img;
    EXPECT_EQ(c.draw(img.context.get()), 0);
    EXPECT_EQ(!img.Empty(), c.drawsSomething);
  }
  // A far-off line draws as the same line cut to the image would.
  Image far, near;
  RasterizeLine(far.context.get(), -1000000000, 20, 1000000000, 20, false, 3);
  RasterizeLine(near.context.get(), -50, 20, 200, 20, false, 3);
  EXPECT_EQ(std::vector<uint8_t>(far.bytes, far.bytes + far.stride * kH),
            std::vector<uint8_t>(near.bytes, near.bytes + near.stride * kH));
  // A huge triangle covering the image fills it.
  Image cover;
  const int32_t big[] = {-2000000000, -2000000000, 2000000000, -10, -10, 2000000000};
  RasterizePolygon(cover.context.get(), big, 3, false, 0);
  EXPECT_EQ(cover.at(0, 0), 255);
  EXPECT_EQ(cover.at(kW - 1, kH - 1), 255);
}

TEST(RasterContext, CreationChecksItsSize) {
  vkRasterContextPtr ctx;
  uint8_t* bytes = nullptr;
  int32_t stride = 0;
  EXPECT_EQ(CreateRasterContext(0, 5, &ctx, &bytes, &stride), 1055);
  EXPECT_FALSE(ctx);
  EXPECT_EQ(CreateRasterContext(5, -1, &ctx, &bytes, &stride), 1055);
  EXPECT_FALSE(ctx);
  ASSERT_EQ(CreateRasterContext(5, 3, &ctx, &bytes, &stride), 0);
  EXPECT_EQ(stride, 8);
  for (int i = 0; i < 24; i++) EXPECT_EQ(bytes[i], 0);
  EXPECT_EQ(RasterizeLine(nullptr, 0, 0, 3, 3, false, 1), 0);
}

}  // namespace
