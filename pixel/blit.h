// The blit front ends: they take bitmap and plane records, test the
// destination, clip the rectangle to every bitmap and plane involved, turn
// 0xRRGGBB colours into pixel values and hand one parameter block to the
// kernel of the pixel size. A null destination prints a line starting
// "ERROR! " on standard output and draws nothing; a null source draws nothing.
#pragma once

#include <cstdint>

#include "pixel/bitmap.h"

// Copies a rectangle between bitmaps of the same pixel size.
void BltBitMap(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height);
// Copies the pixels whose bit in [mask] is set; the mask is read at the
// source position.
void BltMask(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
             int32_t width, int32_t height, const vkPlane* mask);
// Draws the set bits of a one-bit template in the colour 0xRRGGBB.
void BltTemplate(const vkPlane* templ, int32_t tx, int32_t ty, vkBitMap* dst, int32_t dx, int32_t dy,
                 int32_t width, int32_t height, uint32_t rgb);
// Fills a rectangle with 0xRRGGBB; a null bitmap does nothing.
void FillBitMapRect(vkBitMap* bitmap, uint32_t rgb, int32_t x, int32_t y, int32_t width, int32_t height);
// Blends the source into the destination through [alpha], read at the
// source position.
void BltAlphaBitMap(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
                    int32_t width, int32_t height, const vkPlane* alpha);

// Paints 0xRRGGBB, or the source bitmap when one is given, into the
// destination through [alpha] by [mode] (alpha modes of the channel kernels).
// [dstAlpha] and [coverage] serve modes 2 and 3; the alpha plane, the
// coverage words and the source are read at (sx, sy).
struct vkAlphaChannelPaint {
  uint32_t rgb = 0;
  int32_t mode = 0;
  vkPlane* dstAlpha = nullptr;
  int32_t factor = 255;
  const uint32_t* coverage = nullptr;
  int32_t coveragePerRow = 0;
  const vkBitMap* src = nullptr;
};
void BltAlphaChannel(const vkPlane* alpha, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
                     int32_t width, int32_t height, const vkAlphaChannelPaint& paint);

// Combines a rectangle of one alpha plane into another by [mode] (0 copy, 1
// non-zero bytes, 2 their complement, 3 255, 4 scaled by factor / 255, 5
// complement where both are set, 6 the factor, 7 join).
void BltAlphaPlane(const vkPlane* src, int32_t sx, int32_t sy, vkPlane* dst, int32_t dx, int32_t dy,
                   int32_t width, int32_t height, int32_t mode, int32_t factor);

// The same two after the clipping of the callers that know their sizes: a
// negative destination origin moves the source origin along, then the
// rectangle is cut to srcW - sx and dstW - dx (likewise for the height).
void ClipBltAlphaPlane(const vkPlane* src, int32_t sx, int32_t sy, vkPlane* dst, int32_t dx, int32_t dy,
                       int32_t width, int32_t height, int32_t mode, int32_t factor, int32_t srcW,
                       int32_t srcH, int32_t dstW, int32_t dstH);
void ClipBltAlphaChannel(const vkPlane* alpha, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
                         int32_t width, int32_t height, const vkAlphaChannelPaint& paint, int32_t srcW,
                         int32_t srcH, int32_t dstW, int32_t dstH);

// The clipping of ClipBltAlphaPlane and ClipBltAlphaChannel; false when
// nothing is left to draw.
bool ClipToSizes(int32_t& sx, int32_t& sy, int32_t& dx, int32_t& dy, int32_t& width, int32_t& height,
                 int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH);

// Turns the alpha bytes of a rectangle into mask bits by [mode] (0 and 2: set
// under 255, clear elsewhere; 1 the reverse; 3 invert under 255; 5 set under
// 255; others leave), clipped to both planes.
void AlphaToMaskPlane(const vkPlane* alpha, int32_t ax, int32_t ay, vkPlane* mask, int32_t mx, int32_t my,
                      int32_t width, int32_t height, int32_t mode);
