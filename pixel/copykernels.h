// Copy, fill and mask kernels: the innermost loops of the plain blits and of
// the brush editing commands. Each family has a member for 4, 3 and 2 bytes
// per pixel; the front ends lock, clip and convert colours to pixel values
// before calling, so the kernels never clip, allocate or fail. A width or
// height below 1 touches nothing.
#pragma once

#include <cstdint>

// Block of BltBitMapRows32/24/16.
struct vkCopyBlock {
  const void* srcPixels;
  void* dstPixels;
  int32_t srcX, srcY, dstX, dstY;
  int32_t width, height;
  int32_t srcPixelsPerRow, dstPixelsPerRow;
  int32_t convert;  // 32-bit member only: copy R, G, B between 32-bit formats
  int32_t srcFormat, dstFormat;
};

// Block of BltMaskRows32/24/16; the mask is read at the source position.
struct vkMaskBlitBlock {
  const void* srcPixels;
  void* dstPixels;
  const uint8_t* mask;
  int32_t srcX, srcY, dstX, dstY;
  int32_t width, height;
  int32_t srcPixelsPerRow, maskBytesPerRow, dstPixelsPerRow;
};

// Block of BltTemplateRows32/24/16.
struct vkTemplateBlock {
  const uint8_t* templ;
  void* dstPixels;
  int32_t templX, templY, dstX, dstY;
  int32_t width, height;
  int32_t templBytesPerRow, dstPixelsPerRow;
  uint32_t colour;  // a pixel value of the destination's format
};

// Block of FloodFillPixels32/24/16: the area is [left, left + areaWidth) x
// [top, top + areaHeight).
struct vkFloodFillBlock {
  void* pixels;
  int32_t areaWidth, areaHeight, pixelsPerRow;
  uint32_t border, fill;
  int32_t left, top;
};

// Block of FlipPixels; mask and alpha may be null.
struct vkFlipBlock {
  void* pixels;
  int32_t width, height, pixelsPerRow;
  uint8_t* mask;
  int32_t maskBytesPerRow;
  uint8_t* alpha;
  int32_t alphaBytesPerRow;
  int32_t direction;  // 0 vertical, else horizontal
  int32_t bytesPerPixel;
  uint8_t* scratch;  // one mask row, for the horizontal mirror
};

void BltBitMapRows32(const vkCopyBlock* b);
void BltBitMapRows24(const vkCopyBlock* b);
void BltBitMapRows16(const vkCopyBlock* b);

void BltMaskRows32(const vkMaskBlitBlock* b);
void BltMaskRows24(const vkMaskBlitBlock* b);
void BltMaskRows16(const vkMaskBlitBlock* b);

void BltTemplateRows32(const vkTemplateBlock* b);
void BltTemplateRows24(const vkTemplateBlock* b);
void BltTemplateRows16(const vkTemplateBlock* b);

void FillPixelRect32(void* pixels, int32_t pixelsPerRow, int32_t x, int32_t y, int32_t width,
                     int32_t height, uint32_t value);
void FillPixelRect24(void* pixels, int32_t pixelsPerRow, int32_t x, int32_t y, int32_t width,
                     int32_t height, uint32_t value);
void FillPixelRect16(void* pixels, int32_t pixelsPerRow, int32_t x, int32_t y, int32_t width,
                     int32_t height, uint32_t value);
void FillByteRect(uint8_t* data, int32_t x, int32_t y, int32_t width, int32_t height,
                  int32_t bytesPerRow, uint8_t value);

// Mask bit cleared where the pixel (AND compareMask for 32 bits) equals the
// key, set elsewhere; bits beyond the width are left as they were.
void ColorKeyToMask32(const void* pixels, uint8_t* mask, int32_t width, int32_t height,
                      int32_t maskBytesPerRow, uint32_t key, int32_t pixelsPerRow,
                      uint32_t compareMask);
void ColorKeyToMask24(const void* pixels, uint8_t* mask, int32_t width, int32_t height,
                      int32_t maskBytesPerRow, uint32_t key, int32_t pixelsPerRow);
void ColorKeyToMask16(const void* pixels, uint8_t* mask, int32_t width, int32_t height,
                      int32_t maskBytesPerRow, uint32_t key, int32_t pixelsPerRow);

// [pairs] is a list of (old, new) words ended by an old value of 0xFFFFFFFF.
void ReplaceColorPixels32(int32_t width, int32_t height, const uint32_t* pairs, void* pixels,
                          int32_t pixelsPerRow, uint32_t compareMask);
void ReplaceColorPixels24(int32_t width, int32_t height, const uint32_t* pairs, void* pixels,
                          int32_t pixelsPerRow);
void ReplaceColorPixels16(int32_t width, int32_t height, const uint32_t* pairs, void* pixels,
                          int32_t pixelsPerRow);

void InvertPixels32(void* pixels, int32_t width, int32_t height, int32_t pixelsPerRow);
void InvertPixels24(void* pixels, int32_t width, int32_t height, int32_t pixelsPerRow);
void InvertPixels16(void* pixels, int32_t width, int32_t height, int32_t pixelsPerRow);
void InvertPlaneBytes(uint8_t* data, int32_t rows, int32_t bytesPerRow);

void FlipPixels(const vkFlipBlock* b);

// Scan-line boundary fill from the seed (x, y), 4-connected. Runs on an
// explicit stack, so large comb-shaped regions cannot exhaust the call stack.
void FloodFillPixels32(const vkFloodFillBlock* b, int32_t x, int32_t y, uint32_t compareMask);
void FloodFillPixels24(const vkFloodFillBlock* b, int32_t x, int32_t y);
void FloodFillPixels16(const vkFloodFillBlock* b, int32_t x, int32_t y);
