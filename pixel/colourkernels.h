// Colour kernels: per-pixel colour arithmetic over a rectangle. Grey
// conversion, tinting towards a colour, mixing one bitmap into another
// (optionally through a mask) and the two-colour linear gradient at any
// angle. Each family has a member for 4, 3 and 2 bytes per pixel; the front
// ends clip and lock first, so a width or height below 1 touches nothing.
#pragma once

#include <cstdint>

// Block of TintPixels32/24/16. The colour is 0xRRGGBB, for the 16-bit member
// a word in the 5-6-5 layout; level 0 leaves the pixels, 256 gives the colour.
struct vkTintBlock {
  void* pixels;
  int32_t x, y, width, height;
  uint32_t colour;
  int32_t level;
  int32_t pixelsPerRow;
  int32_t format;
};

// Block of MixPixels32/24/16: both pixel pointers at the rectangle's first
// pixel, the mask (or none) at its first row, read from bit column maskBitX.
struct vkMixBlock {
  const void* srcPixels;
  void* dstPixels;
  const uint8_t* mask;
  int32_t maskBitX;
};

// Block of FillLinearGradient32/24/16; colours are 0xRRGGBB, the angle in
// degrees (0 runs top to bottom, 90 left to right).
struct vkGradientBlock {
  void* pixels;
  int32_t x, y, width, height;
  uint32_t colour1, colour2;
  int32_t angle;
  int32_t pixelsPerRow;
  int32_t format;
};

// Every pixel becomes trunc(0.299 R + 0.587 G + 0.114 B) in all channels.
void ConvertPixelsToGray32(void* pixels, int32_t width, int32_t height, int32_t format,
                           int32_t pixelsPerRow);
void ConvertPixelsToGray24(void* pixels, int32_t width, int32_t height, int32_t format,
                           int32_t pixelsPerRow);
void ConvertPixelsToGray16(void* pixels, int32_t width, int32_t height, int32_t format,
                           int32_t pixelsPerRow);

void TintPixels32(const vkTintBlock* b);
void TintPixels24(const vkTintBlock* b);
void TintPixels16(const vkTintBlock* b);

// Each channel d' = s + (((255 - level) * (d - s)) >> 8): level 255 gives the
// source. The 24-bit member does not read the format.
void MixPixels32(const vkMixBlock* b, int32_t width, int32_t height, int32_t level, int32_t format,
                 int32_t srcPixelsPerRow, int32_t dstPixelsPerRow, int32_t maskBytesPerRow);
void MixPixels24(const vkMixBlock* b, int32_t width, int32_t height, int32_t level, int32_t format,
                 int32_t srcPixelsPerRow, int32_t dstPixelsPerRow, int32_t maskBytesPerRow);
void MixPixels16(const vkMixBlock* b, int32_t width, int32_t height, int32_t level, int32_t format,
                 int32_t srcPixelsPerRow, int32_t dstPixelsPerRow, int32_t maskBytesPerRow);

// Block of CrossfadePixels32: the three pictures at their first pixel.
struct vkCrossfadeBlock {
  const void* oldPixels;
  const void* newPixels;
  void* dstPixels;
  int32_t oldPixelsPerRow, newPixelsPerRow, dstPixelsPerRow;
  int32_t width, height;
  int32_t level;  // 0..255: the weight of the new picture
  int32_t format;
};

// Each channel d = o + ((level * (n - o)) >> 8), the fourth byte 0: the new
// picture copied and the old one mixed into it by 255 - level (MixPixels32)
// in a single pass, to the same bytes.
void CrossfadePixels32(const vkCrossfadeBlock* b);

void FillLinearGradient32(const vkGradientBlock* b);
void FillLinearGradient24(const vkGradientBlock* b);
void FillLinearGradient16(const vkGradientBlock* b);
