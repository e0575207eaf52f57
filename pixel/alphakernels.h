// Alpha and clip-mask kernels: the loops that weigh pixels by an 8-bit
// alpha. They combine alpha planes, write alpha through templates, turn alpha
// into mask bits, build the clip scratch plane of the clipped blit, and blend
// bitmaps or colours through alpha or coverage. Every blend follows one rule
// per 8-bit channel: d' = d + (((s - d) * a) >> 8), shift arithmetic.
#pragma once

#include <cstdint>

#include "pixel/pixfmt.h"

// The blend rule for one 8-bit channel, as its low 8 bits.
inline uint8_t BlendChannel(int32_t s, int32_t d, int32_t a) {
  return uint8_t(d + (((s - d) * a) >> 8));
}

// The blend rule on the three colour bytes of a 32-bit word of format F at
// once, for weights 0 to 256: each 16-bit lane holds d * (256 - a) + s * a
// <= 255 * 256, so lanes never carry. The fourth byte comes out 0.
template <int F>
inline uint32_t BlendWord32(uint32_t s, uint32_t d, uint32_t a) {
  uint32_t na = 256 - a;
  uint32_t rb = (((d & 0x00FF00FFu) * na + (s & 0x00FF00FFu) * a) >> 8) & 0x00FF00FFu;
  uint32_t ag = (((d >> 8) & 0x00FF00FFu) * na + ((s >> 8) & 0x00FF00FFu) * a) & 0xFF00FF00u;
  return (rb | ag) & ColorMask32(F);
}

// Block of BltAlphaPlaneRows.
struct vkAlphaPlaneBlock {
  const uint8_t* src;
  int32_t srcX, srcY;
  uint8_t* dst;
  int32_t dstX, dstY;
  int32_t width, height;
  int32_t srcBytesPerRow, dstBytesPerRow;
  int32_t mode, factor;
};

// Block of BltAlphaBitMapRows32/24/16; the alpha plane is read at (alphaX,
// alphaY) plus the pixel's offset.
struct vkAlphaBitMapBlock {
  const void* srcPixels;
  int32_t srcX, srcY, alphaX, alphaY, srcPixelsPerRow;
  void* dstPixels;
  int32_t dstX, dstY, dstPixelsPerRow;
  int32_t width, height;
  const uint8_t* alpha;
  int32_t alphaBytesPerRow;
  int32_t format;
};

// Block of BltAlphaChannelRows32/24/16. The alpha plane, the coverage words
// and the source pixels are read at (srcX, srcY) plus the offset; the
// destination pixels and its alpha plane at (dstX, dstY) plus the offset.
struct vkAlphaChannelBlock {
  int32_t srcX, srcY;
  void* dstPixels;
  int32_t dstX, dstY, dstPixelsPerRow;
  int32_t width, height;
  const uint8_t* alpha;
  uint8_t* dstAlpha;  // modes 2 and 3
  int32_t alphaBytesPerRow, dstAlphaBytesPerRow;
  int32_t format;
  uint32_t colour;  // a pixel value (24 bits: 0xRRGGBB)
  int32_t mode, factor;
  const uint32_t* coverage;  // mode 3
  int32_t coveragePerRow;
  const void* srcPixels;  // paints these instead of the colour when given
  int32_t srcPixelsPerRow;
};

// Block of BltTemplateAlphaRows.
struct vkTemplateAlphaBlock {
  const uint8_t* templ;
  int32_t templX, templY, templBytesPerRow;
  uint8_t* alpha;
  int32_t alphaX, alphaY, alphaBytesPerRow;
  int32_t width, height;
  uint32_t value;  // low byte used
};

// Block of CombineClipMask.
struct vkClipMaskBlock {
  const uint8_t* clipMask;
  uint8_t* scratch;
  const uint8_t* srcMask;  // or null
  int32_t clipX, clipY;    // the clip region's position
  int32_t blitX, blitY;    // position in the scratch and source planes
  int32_t dstX, dstY;      // position of the blit in the display
  int32_t width, height;
  const uint8_t* srcBytes;  // source alpha plane, or null for a mask scratch
  int32_t scratchBytesPerRow;  // when the scratch is a byte plane
  int32_t maskBytesPerRow;     // of the scratch when it is a bit plane
  int32_t clipBytesPerRow;
  int32_t srcBytesPerRow;      // of the source byte plane
  int32_t srcMaskBytesPerRow;  // of the source mask, which may be wider or narrower
};

// Rectangle of ApplyAlphaToMask.
struct vkAlphaMaskRect {
  int32_t alphaX, alphaY, maskX, maskY, width, height;
};

void BltAlphaPlaneRows(const vkAlphaPlaneBlock* b);
void BltTemplateAlphaRows(const vkTemplateAlphaBlock* b);
void MultiplyAlphaPlane(const uint8_t* src, uint8_t* dst, int32_t factor, int32_t width,
                        int32_t height);
void ApplyAlphaToMask(const uint8_t* alpha, uint8_t* mask, int32_t alphaBytesPerRow,
                      int32_t maskBytesPerRow, int32_t mode, const vkAlphaMaskRect* r);
void CombineClipMask(const vkClipMaskBlock* b);

void BltAlphaBitMapRows32(const vkAlphaBitMapBlock* b);
void BltAlphaBitMapRows24(const vkAlphaBitMapBlock* b);
void BltAlphaBitMapRows16(const vkAlphaBitMapBlock* b);

void BltAlphaChannelRows32(const vkAlphaChannelBlock* b);
void BltAlphaChannelRows24(const vkAlphaChannelBlock* b);
void BltAlphaChannelRows16(const vkAlphaChannelBlock* b);
