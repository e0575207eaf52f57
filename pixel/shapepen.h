// The shape pen: every pixel the draw library paints goes through it. It
// clips to its target and clip region, blends the pen colour (or a texture
// taken at the same place) by the current coverage in the target's pixel
// format, and keeps an attached mask or alpha plane in step. Lines of one
// pixel are walked here directly; thicker lines and polygons arrive as
// coverage images (pixel/rastercontext.h) and are composited with the pen.
#pragma once

#include <cstdint>

// Mask-plane modes of the pen: what a plotted pixel does to its mask bit.
enum : int32_t {
  PENMASK_SET = 0,
  PENMASK_CLEAR = 1,
  PENMASK_SET2 = 2,
  PENMASK_INVERT = 3,
  PENMASK_KEEP = 4,
  PENMASK_SET5 = 5,
};

struct vkShapePen {
  uint8_t* pixels = nullptr;        // target pixels, or none: only the planes are drawn
  int32_t pixelsPerRow = 0;         // target row length in pixels
  int32_t bytesPerPixel = 4;        // 2, 3 or 4
  int32_t width = 0, height = 0;    // target size: nothing is ever plotted outside it
  const uint8_t* texture = nullptr; // or none: the pen colour is used
  int32_t texturePerRow = 0;        // texture row length in pixels; it covers the target
  uint8_t* mask = nullptr;          // 1 bit per pixel, most significant bit leftmost
  int32_t maskBytesPerRow = 0;
  uint8_t* alpha = nullptr;         // 1 byte per pixel
  int32_t alphaBytesPerRow = 0;
  int32_t thickness = 1;            // of DrawPenLine
  int32_t format = 10;              // PIXFMT code of the target (and texture)
  uint32_t color = 0;               // pen colour as a pixel value of the format
  int32_t coverage = 255;           // of the current plot, 0..255
  int32_t opacity = 255;            // 0..255
  int32_t red = 0, green = 0, blue = 0;  // of the colour being plotted
  int32_t clipEnabled = 0;
  int32_t clipX = 0, clipY = 0, clipWidth = 0, clipHeight = 0;
  const uint8_t* clipMask = nullptr;  // 1 bit per pixel relative to the clip rectangle
  int32_t clipMaskBytesPerRow = 0;
  int32_t maskMode = PENMASK_SET;
};

// Plots one pixel at the pen's coverage.
void PlotWithPen(vkShapePen* pen, int64_t x, int64_t y);

// Plots every non-zero byte of a coverage image whose top-left pixel lands
// at ([x0], [y0]). With [solid] each takes the pen's coverage as set by the
// caller; otherwise its own byte (scaled by the opacity when that is not
// 255). The pen's coverage is left as the last plot set it.
void CompositeCoverage(const uint8_t* coverage, int64_t x0, int64_t y0, vkShapePen* pen, int32_t width,
                       int32_t height, int32_t stride, bool solid);

// A line of the pen's thickness without anti-aliasing: spans across the
// major axis, both ends included.
void DrawPenLine(vkShapePen* pen, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// A one-pixel anti-aliased line: two pixels across the major axis per step,
// their coverages summing to 255 (both plotted, even at coverage 0).
void DrawPenLineAA(vkShapePen* pen, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
