// Geometric kernels: the scaler (nearest or bilinear, driven by tables of
// 16.16 fixed-point steps), the transform resampler (a 2x2 matrix plus
// translation, by inverse mapping) and the polygon scan fill of one-bit masks.
// The callers allocate and clear the destinations and own the step tables.
#pragma once

#include <cstddef>
#include <cstdint>

// One entry of a scale step table: the high part is the number of source
// pixels to advance to the next sample, the low 16 bits its fraction. Held in
// 64 bits so that large areas cannot overflow.
using vkScaleStep = uint64_t;

// The two step tables of the scaler, kept between calls and only grown, so
// that repeated scaling does not allocate per frame. A larger table is
// allocated before the old one is let go: on failure the old tables stay.
class vkScaleTables {
 public:
  vkScaleTables() = default;
  vkScaleTables(const vkScaleTables&) = delete;
  vkScaleTables& operator=(const vkScaleTables&) = delete;
  ~vkScaleTables() { Free(); }

  // Makes room for [xCount] and [yCount] entries; false when out of memory.
  bool Reserve(size_t xCount, size_t yCount);
  // Releases both tables (at shutdown).
  void Free();

  vkScaleStep* x() const { return x_; }
  vkScaleStep* y() const { return y_; }
  size_t xCapacity() const { return xCap_; }
  size_t yCapacity() const { return yCap_; }

 private:
  vkScaleStep* x_ = nullptr;
  vkScaleStep* y_ = nullptr;
  size_t xCap_ = 0, yCap_ = 0;
};

// Block of ScaleBitMapRows. The source pixels and alpha point at the first
// pixel of the source rectangle, the source mask at its first row (bit column
// srcMaskX). The x table needs dstWidth + 1 entries, the y table dstHeight + 1.
// A part that does not lie inside the scaled picture draws nothing.
struct vkScaleBlock {
  const void* srcPixels;  // null: only the planes are scaled
  void* dstPixels;
  const uint8_t* srcMask;  // or null
  uint8_t* dstMask;
  const uint8_t* srcAlpha;  // or null
  uint8_t* dstAlpha;
  int32_t srcMaskX;
  int32_t srcWidth, srcHeight, dstWidth, dstHeight;
  int32_t srcPixelsPerRow, dstPixelsPerRow;
  int32_t srcMaskBytesPerRow, dstMaskBytesPerRow;
  int32_t srcAlphaBytesPerRow, dstAlphaBytesPerRow;
  int32_t smooth, format, bytesPerPixel;
  vkScaleStep* xTable;
  vkScaleStep* yTable;
  // Nearest scaling of a part: the destination is the dstWidth x dstHeight
  // rectangle at (firstX, firstY) of the source scaled to scaledWidth x
  // scaledHeight (0: the destination's own size, the whole picture).
  int32_t scaledWidth, scaledHeight;
  int32_t firstX, firstY;
};

// Block of TransformBitMapRows. The matrix maps a source point (x, y) to
// X = a x + c y + e, Y = b x + d y + f.
struct vkTransformBlock {
  const void* srcPixels;  // or null
  void* dstPixels;
  const uint8_t* srcMask;  // or null
  uint8_t* dstMask;        // or null
  const uint8_t* srcAlpha;  // or null
  uint8_t* dstAlpha;
  int32_t srcMaskX;
  int32_t srcWidth, srcHeight, srcPixelsPerRow;
  int32_t dstWidth, dstHeight, dstPixelsPerRow;
  int32_t srcMaskBytesPerRow, dstMaskBytesPerRow;
  int32_t srcAlphaBytesPerRow, dstAlphaBytesPerRow;
  double matrix[6];  // a, b, c, d, e, f
  int32_t smooth, format, bytesPerPixel;
};

// Fills the destination rectangle completely. When the source has both a
// mask and an alpha plane, both are scaled.
void ScaleBitMapRows(const vkScaleBlock* b);

// Writes only the destination pixels the transformed source covers. A
// singular or non-finite matrix writes nothing (the caller refuses it).
void TransformBitMapRows(const vkTransformBlock* b);

// True when the 2x2 part of [m] can be inverted.
bool IsInvertibleMatrix(const double m[6]);

// Sets the mask bits inside the polygon given by [count] (x, y) pairs; never
// clears bits. Rows and spans are clipped to the [width] x [height] plane.
// [scratch] holds at least [count] integers.
void ScanFillPolygonMask(uint8_t* mask, int32_t bytesPerRow, int32_t width, int32_t height,
                         int32_t* scratch, const int32_t* points, int32_t count);
