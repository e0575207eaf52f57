// The shape pen against a per-pixel reference model: single plots per pixel
// format, colour source, coverage, plane and clip; composited coverage; both
// line walkers against straightforward walks of every step (with the target
// and clip cut afterwards), far-off ends included. Whole pictures and planes
// are compared, so a write anywhere else is caught.
#include "pixel/shapepen.h"

#include <cmath>
#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "pixel/pixfmt.h"
#include "tests/pixel/support/pixeltest.h"

using pixeltest::Picture;
using pixeltest::Plane;

namespace {

constexpr int32_t kW = 23, kH = 17;

// A target with its planes, a texture and a clip mask, all seeded.
struct Scene {
  int32_t format;
  Picture target, texture;
  Plane mask{kW / 8 + 1, kH}, alpha{(kW + 3) & ~3, kH}, clipMask{4, kH};
  Scene(int32_t fmt, uint32_t seed)
      : format(fmt), target(kW, kH, PixFmtBytes(fmt)), texture(kW, kH, PixFmtBytes(fmt)) {
    std::mt19937 rng(seed);
    target.randomize(rng);
    texture.randomize(rng);
    mask.randomize(rng);
    alpha.randomize(rng);
    clipMask.randomize(rng);
  }
  vkShapePen Pen(uint32_t rgb) {
    vkShapePen pen;
    pen.pixels = target.bytes.data();
    pen.pixelsPerRow = target.perRow;
    pen.bytesPerPixel = target.bpp;
    pen.width = kW, pen.height = kH;
    pen.format = format;
    pen.red = rgb >> 16 & 255, pen.green = rgb >> 8 & 255, pen.blue = rgb & 255;
    uint8_t c[3] = {uint8_t(pen.red), uint8_t(pen.green), uint8_t(pen.blue)};
    uint8_t word[4] = {};
    WritePixelRGB(word, format, c);
    pen.color = target.bpp == 4 ? uint32_t(word[0] | word[1] << 8 | word[2] << 16 | word[3] << 24)
                                : uint32_t(word[0] | word[1] << 8);
    return pen;
  }
};

// What one plot must do, written out from the pen's rules.
void ReferencePlot(const vkShapePen& pen, Picture& target, Plane* mask, Plane* alpha, const Picture* texture,
                   int64_t x, int64_t y, int32_t coverage) {
  if (x < 0 || y < 0 || x >= pen.width || y >= pen.height) return;
  if (pen.clipEnabled) {
    if (x < pen.clipX || y < pen.clipY || x >= pen.clipX + pen.clipWidth || y >= pen.clipY + pen.clipHeight) return;
    if (pen.clipMask) {
      const int32_t cx = int32_t(x - pen.clipX), cy = int32_t(y - pen.clipY);
      if (!((pen.clipMask[cy * pen.clipMaskBytesPerRow + cx / 8] >> (7 - cx % 8)) & 1)) return;
    }
  }
  const int32_t ix = int32_t(x), iy = int32_t(y);
  uint8_t src[3] = {uint8_t(pen.red), uint8_t(pen.green), uint8_t(pen.blue)};
  if (texture) ReadPixelRGB(texture->at(ix, iy), pen.format, src);
  if (coverage == 255 || alpha) {
    if (target.bpp == 3)
      WritePixelRGB(target.at(ix, iy), pen.format, src);
    else if (texture)
      std::memcpy(target.at(ix, iy), texture->at(ix, iy), size_t(target.bpp));
    else
      std::memcpy(target.at(ix, iy), &pen.color, size_t(target.bpp));
  } else {
    uint8_t d[3];
    ReadPixelRGB(target.at(ix, iy), pen.format, d);
    for (int i = 0; i < 3; i++) d[i] = pixeltest::RefBlend(src[i], d[i], coverage);
    WritePixelRGB(target.at(ix, iy), pen.format, d);
  }
  if (mask) {
    const bool old = mask->bit(ix, iy);
    switch (pen.maskMode) {
      case 1: mask->setBit(ix, iy, false); break;
      case 3: mask->setBit(ix, iy, !old); break;
      case 4: break;
      default: mask->setBit(ix, iy, true); break;
    }
  }
  if (alpha) alpha->byte(ix, iy) = uint8_t(coverage);
}

struct PlotCase {
  const char* name;
  int32_t format, coverage;
  bool texture, mask, alpha, clip, clipMask;
  int32_t maskMode;
};

const PlotCase kPlotCases[] = {
    {"argb full", PIXFMT_ARGB32, 255, false, false, false, false, false, 0},
    {"argb half", PIXFMT_ARGB32, 128, false, false, false, false, false, 0},
    {"argb texture blend", PIXFMT_ARGB32, 77, true, false, false, false, false, 0},
    {"bgra blend", PIXFMT_BGRA32, 200, false, false, false, false, false, 0},
    {"rgba texture", PIXFMT_RGBA32, 9, true, false, false, false, false, 0},
    {"rgb24 blend", PIXFMT_RGB24, 100, false, false, false, false, false, 0},
    {"bgr24 texture full", PIXFMT_BGR24, 255, true, false, false, false, false, 0},
    {"bgr24 texture blend", PIXFMT_BGR24, 60, true, false, false, false, false, 0},
    {"rgb16 blend", PIXFMT_RGB16, 140, false, false, false, false, false, 0},
    {"bgr15pc texture blend", PIXFMT_BGR15PC, 33, true, false, false, false, false, 0},
    {"rgb16pc full", PIXFMT_RGB16PC, 255, false, false, false, false, false, 0},
    {"mask set", PIXFMT_ARGB32, 128, false, true, false, false, false, 0},
    {"mask clear", PIXFMT_ARGB32, 128, false, true, false, false, false, 1},
    {"mask invert", PIXFMT_RGB24, 255, false, true, false, false, false, 3},
    {"mask keep", PIXFMT_RGB16, 128, false, true, false, false, false, 4},
    {"mask set 5", PIXFMT_ARGB32, 10, false, true, false, false, false, 5},
    {"alpha replaces", PIXFMT_ARGB32, 90, false, false, true, false, false, 0},
    {"alpha zero coverage", PIXFMT_BGR24, 0, true, true, true, false, false, 2},
    {"clip rectangle", PIXFMT_ARGB32, 200, false, true, true, true, false, 0},
    {"clip mask", PIXFMT_RGB24, 255, true, true, false, true, true, 3},
};

TEST(ShapePen, PlotsFollowTheModelEverywhere) {
  for (const PlotCase& c : kPlotCases) {
    SCOPED_TRACE(c.name);
    Scene got(c.format, 7), want(c.format, 7);
    vkShapePen pen = got.Pen(0x3C8AF1);
    pen.coverage = c.coverage;
    if (c.texture) pen.texture = got.texture.bytes.data(), pen.texturePerRow = got.texture.perRow;
    if (c.mask) pen.mask = got.mask.data(), pen.maskBytesPerRow = got.mask.bytesPerRow;
    if (c.alpha) pen.alpha = got.alpha.data(), pen.alphaBytesPerRow = got.alpha.bytesPerRow;
    pen.maskMode = c.maskMode;
    if (c.clip) pen.clipEnabled = 1, pen.clipX = 3, pen.clipY = 2, pen.clipWidth = 12, pen.clipHeight = 9;
    if (c.clipMask) pen.clipMask = got.clipMask.data(), pen.clipMaskBytesPerRow = got.clipMask.bytesPerRow;
    vkShapePen model = pen;
    if (c.clipMask) model.clipMask = want.clipMask.data();
    // Every pixel of the target, and a ring of positions outside it.
    for (int64_t y = -2; y < kH + 2; y++)
      for (int64_t x = -2; x < kW + 2; x++) {
        PlotWithPen(&pen, x, y);
        ReferencePlot(model, want.target, c.mask ? &want.mask : nullptr, c.alpha ? &want.alpha : nullptr,
                      c.texture ? &want.texture : nullptr, x, y, c.coverage);
      }
    for (int64_t far : {int64_t(1) << 40, -(int64_t(1) << 40)}) PlotWithPen(&pen, far, 3), PlotWithPen(&pen, 3, far);
    EXPECT_EQ(got.target.bytes, want.target.bytes);
    EXPECT_EQ(got.mask.bytes, want.mask.bytes);
    EXPECT_EQ(got.alpha.bytes, want.alpha.bytes);
  }
}

TEST(ShapePen, BlendAndReplaceValuesAsWritten) {
  // ARGB 0x00102030 under pen 0x00F0E0D0: coverage 128 moves each channel
  // halfway to 0x80 ((128 x (s - d)) >> 8), the fourth byte ends 0.
  Scene s(PIXFMT_ARGB32, 1);
  s.target.set(4, 4, 0xFF102030);
  vkShapePen pen = s.Pen(0xF0E0D0);
  pen.coverage = 128;
  PlotWithPen(&pen, 4, 4);
  EXPECT_EQ(s.target.get(4, 4), 0x00808080u);
  // A darker pen: the negative difference shifts toward minus infinity.
  s.target.set(5, 4, 0x00FFFFFF);
  pen = s.Pen(0x000000);
  pen.coverage = 1;
  PlotWithPen(&pen, 5, 4);
  EXPECT_EQ(s.target.get(5, 4), 0x00FEFEFEu);
}

// Straight walks of every step of a line, plotted through the model.
using Plot = std::function<void(int64_t, int64_t, int32_t)>;

void ReferenceLine(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int32_t thickness, const Plot& plot) {
  const int64_t dx = std::llabs(x2 - x1), dy = std::llabs(y2 - y1);
  const bool steep = dx < dy;
  int64_t a0 = steep ? y1 : x1, b0 = steep ? x1 : y1, a1 = steep ? y2 : x2, b1 = steep ? x2 : y2;
  if (a1 < a0) std::swap(a0, a1), std::swap(b0, b1);
  const int64_t major = a1 - a0, minor = std::llabs(b1 - b0), dir = b1 >= b0 ? 1 : -1;
  int64_t span = 1;
  if (major) {
    const double ang = std::atan2(double(dy), double(dx));
    span = int64_t(thickness / (steep ? std::sin(ang) : std::cos(ang)));
    if (span < 1) span = 1;
  }
  int64_t e = 2 * minor - major, b = b0;
  for (int64_t a = a0; a <= a1; a++) {
    for (int64_t s = 0; s < span; s++) {
      const int64_t across = b - span / 2 + s;
      steep ? plot(across, a, 255) : plot(a, across, 255);
    }
    if (e >= 0) b += dir, e += 2 * (minor - major);
    else e += 2 * minor;
  }
}

void ReferenceLineAA(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int32_t opacity, const Plot& plot) {
  auto scale = [&](int32_t c) { return opacity == 255 ? c : c * opacity / 255; };
  if (x1 == x2 && y1 == y2) return plot(x1, y1, scale(255));
  const bool xMajor = std::llabs(x2 - x1) > std::llabs(y2 - y1);
  int64_t a0 = xMajor ? x1 : y1, b0 = xMajor ? y1 : x1, a1 = xMajor ? x2 : y2, b1 = xMajor ? y2 : x2;
  if (a1 < a0) std::swap(a0, a1), std::swap(b0, b1);
  const int64_t step = (b1 - b0) * 65536 / (a1 - a0);
  int64_t pos = b0 * 65536;
  for (int64_t a = a0; a <= a1; a++, pos += step) {
    const int32_t f = int32_t(pos >> 8 & 255);
    const int64_t b = pos >> 16;
    xMajor ? plot(a, b, scale(255 - f)) : plot(b, a, scale(255 - f));
    xMajor ? plot(a, b + 1, scale(f)) : plot(b + 1, a, scale(f));
  }
}

struct LineCase {
  int32_t x1, y1, x2, y2, thickness;
};

// Octants, horizontals, verticals, points, lines leaving the target and
// lines whose ends are far away on both sides.
const LineCase kLines[] = {
    {2, 2, 20, 14, 1},     {20, 14, 2, 2, 1},      {3, 15, 18, 1, 3},     {5, 1, 8, 16, 2},
    {8, 16, 5, 1, 4},      {0, 8, 22, 8, 5},       {11, 0, 11, 16, 3},    {7, 7, 7, 7, 6},
    {2, 2, 14, 14, 5},     {-30, -9, 40, 25, 1},   {-500, 8, 600, 9, 3},  {10, -1000, 12, 1000, 2},
    {-100000, -99990, 100000, 100010, 1},           {30, 30, 40, 40, 3},   {-5, 20, 30, -3, 4},
};

TEST(ShapePen, LinesMatchAWalkOfEveryStep) {
  for (bool antiAliased : {false, true}) {
    for (const LineCase& c : kLines) {
      for (bool clip : {false, true}) {
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " t"
                                        << c.thickness << (antiAliased ? " aa" : "") << (clip ? " clip" : ""));
        Scene got(PIXFMT_ARGB32, 3), want(PIXFMT_ARGB32, 3);
        vkShapePen pen = got.Pen(0xA0B0C0);
        pen.alpha = got.alpha.data(), pen.alphaBytesPerRow = got.alpha.bytesPerRow;
        pen.thickness = c.thickness;
        pen.opacity = antiAliased ? 200 : 255;
        if (clip) {
          pen.clipEnabled = 1, pen.clipX = 4, pen.clipY = 3, pen.clipWidth = 13, pen.clipHeight = 10;
          pen.clipMask = got.clipMask.data(), pen.clipMaskBytesPerRow = got.clipMask.bytesPerRow;
        }
        vkShapePen model = pen;
        if (clip) model.clipMask = want.clipMask.data();
        Plot plot = [&](int64_t x, int64_t y, int32_t cov) {
          ReferencePlot(model, want.target, nullptr, &want.alpha, nullptr, x, y, cov);
        };
        if (antiAliased) {
          DrawPenLineAA(&pen, c.x1, c.y1, c.x2, c.y2);
          ReferenceLineAA(c.x1, c.y1, c.x2, c.y2, pen.opacity, plot);
        } else {
          DrawPenLine(&pen, c.x1, c.y1, c.x2, c.y2);
          ReferenceLine(c.x1, c.y1, c.x2, c.y2, c.thickness, plot);
        }
        EXPECT_EQ(got.target.bytes, want.target.bytes);
        EXPECT_EQ(got.alpha.bytes, want.alpha.bytes);
      }
    }
  }
}

TEST(ShapePen, LineShapesWorthKnowing) {
  // A 45-degree line of thickness 5 is plotted in spans of 7 pixels.
  Scene s(PIXFMT_ARGB32, 5);
  std::fill(s.alpha.bytes.begin(), s.alpha.bytes.end(), 0);
  vkShapePen pen = s.Pen(0xFFFFFF);
  pen.alpha = s.alpha.data(), pen.alphaBytesPerRow = s.alpha.bytesPerRow;
  pen.thickness = 5;
  DrawPenLine(&pen, 8, 4, 12, 8);
  for (int32_t x = 8; x <= 12; x++) {
    int32_t run = 0;
    for (int32_t y = 0; y < kH; y++) run += s.alpha.byte(x, y) == 255;
    EXPECT_EQ(run, 7) << "column " << x;
  }
  // A horizontal anti-aliased line: its row at full coverage, the row below
  // touched at coverage 0.
  Scene h(PIXFMT_ARGB32, 6);
  std::fill(h.alpha.bytes.begin(), h.alpha.bytes.end(), 99);
  pen = h.Pen(0x123456);
  pen.alpha = h.alpha.data(), pen.alphaBytesPerRow = h.alpha.bytesPerRow;
  DrawPenLineAA(&pen, 2, 5, 9, 5);
  for (int32_t x = 0; x < kW; x++) {
    const bool on = x >= 2 && x <= 9;
    EXPECT_EQ(h.alpha.byte(x, 5), on ? 255 : 99) << x;
    EXPECT_EQ(h.alpha.byte(x, 6), on ? 0 : 99) << x;
    EXPECT_EQ(h.alpha.byte(x, 4), 99) << x;
  }
  // Ends at the far corners of the 32-bit range cost only the steps inside
  // and plot only inside.
  Scene f(PIXFMT_RGB24, 8);
  Picture before = f.target;
  pen = f.Pen(0x808080);
  pen.thickness = 3;
  DrawPenLine(&pen, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  DrawPenLineAA(&pen, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN);
  DrawPenLine(&pen, INT32_MIN, 5, INT32_MAX, 6);
  EXPECT_NE(f.target.bytes, before.bytes);
  EXPECT_EQ(std::vector<uint8_t>(f.target.bytes.end() - 16, f.target.bytes.end()),
            std::vector<uint8_t>(before.bytes.end() - 16, before.bytes.end()));
}

TEST(ShapePen, CompositedCoverage) {
  // A 5 x 4 coverage image with a stride of 8, landing partly off the
  // target's left and top edges and partly on it.
  const int32_t stride = 8;
  std::vector<uint8_t> cov(size_t(stride) * 4, 0);
  std::mt19937 rng(11);
  for (int32_t j = 0; j < 4; j++)
    for (int32_t i = 0; i < 5; i++) cov[size_t(j * stride + i)] = (i + j) % 3 ? uint8_t(rng()) : (i ? 255 : 0);
  struct Case {
    int64_t x0, y0;
    int32_t opacity;
    bool solid;
  };
  for (const Case& c : {Case{3, 4, 255, false}, Case{-2, -1, 128, false}, Case{20, 15, 77, false},
                        Case{6, 2, 128, true}, Case{-(int64_t(1) << 35), 3, 255, false}}) {
    SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0 << " opacity " << c.opacity << (c.solid ? " solid" : ""));
    Scene got(PIXFMT_BGRA32, 9), want(PIXFMT_BGRA32, 9);
    vkShapePen pen = got.Pen(0x4080C0);
    pen.alpha = got.alpha.data(), pen.alphaBytesPerRow = got.alpha.bytesPerRow;
    pen.opacity = c.opacity;
    pen.coverage = 201;
    vkShapePen model = pen;
    CompositeCoverage(cov.data(), c.x0, c.y0, &pen, 5, 4, stride, c.solid);
    for (int32_t j = 0; j < 4; j++)
      for (int32_t i = 0; i < 5; i++) {
        const int32_t v = cov[size_t(j * stride + i)];
        if (!v) continue;
        const int32_t coverage = c.solid ? 201 : c.opacity == 255 ? v : v * c.opacity / 255;
        ReferencePlot(model, want.target, nullptr, &want.alpha, nullptr, c.x0 + i, c.y0 + j, coverage);
      }
    EXPECT_EQ(got.target.bytes, want.target.bytes);
    EXPECT_EQ(got.alpha.bytes, want.alpha.bytes);
  }
  // Full coverage at opacity 128 plots as 128.
  Scene s(PIXFMT_ARGB32, 10);
  vkShapePen pen = s.Pen(0xFFFFFF);
  pen.alpha = s.alpha.data(), pen.alphaBytesPerRow = s.alpha.bytesPerRow;
  pen.opacity = 128;
  const uint8_t full = 255;
  CompositeCoverage(&full, 1, 1, &pen, 1, 1, 4, false);
  EXPECT_EQ(s.alpha.byte(1, 1), 128);
}

// A pen without pixels draws its planes alone, as for a mask or alpha
// target without a bitmap; with no plane either it draws nothing.
TEST(ShapePen, PlanesAloneTakeTheShape) {
  Scene s(PIXFMT_ARGB32, 11), want(PIXFMT_ARGB32, 11);
  vkShapePen pen = s.Pen(0xFFFFFF);
  pen.pixels = nullptr;
  pen.mask = s.mask.data(), pen.maskBytesPerRow = s.mask.bytesPerRow;
  pen.alpha = s.alpha.data(), pen.alphaBytesPerRow = s.alpha.bytesPerRow;
  pen.maskMode = PENMASK_CLEAR;
  pen.coverage = 77;
  DrawPenLine(&pen, 2, 3, 12, 3);
  EXPECT_EQ(s.target.bytes, want.target.bytes);
  for (int32_t x = 0; x < kW; x++) {
    const bool on = x >= 2 && x <= 12;
    EXPECT_EQ(s.mask.bit(x, 3), on ? false : want.mask.bit(x, 3)) << x;
    EXPECT_EQ(s.alpha.byte(x, 3), on ? 77 : want.alpha.byte(x, 3)) << x;
  }
  vkShapePen none = s.Pen(0xFFFFFF);
  none.pixels = nullptr;
  const Scene before = s;
  DrawPenLine(&none, 0, 0, 20, 10);
  PlotWithPen(&none, 1, 1);
  EXPECT_EQ(s.mask.bytes, before.mask.bytes);
  EXPECT_EQ(s.alpha.bytes, before.alpha.bytes);
}

}  // namespace
