// The blit front ends: one table of kernels per pixel size, one clip against
// every record a blit reads or writes, and the parameter blocks. Records with
// a pixel size the kernels do not know, or without data, draw nothing.
#include "pixel/blit.h"

#include <cstdio>

#include "pixel/alphakernels.h"
#include "pixel/blitclip.h"
#include "pixel/copykernels.h"

namespace {

// The kernels of one pixel size.
struct vkKernelSet {
  void (*copy)(const vkCopyBlock*);
  void (*mask)(const vkMaskBlitBlock*);
  void (*templ)(const vkTemplateBlock*);
  void (*fill)(void*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t);
  void (*alphaBitMap)(const vkAlphaBitMapBlock*);
  void (*alphaChannel)(const vkAlphaChannelBlock*);
};

constexpr vkKernelSet kKernels32{BltBitMapRows32,  BltMaskRows32,        BltTemplateRows32,
                                 FillPixelRect32,  BltAlphaBitMapRows32, BltAlphaChannelRows32};
constexpr vkKernelSet kKernels24{BltBitMapRows24,  BltMaskRows24,        BltTemplateRows24,
                                 FillPixelRect24,  BltAlphaBitMapRows24, BltAlphaChannelRows24};
constexpr vkKernelSet kKernels16{BltBitMapRows16,  BltMaskRows16,        BltTemplateRows16,
                                 FillPixelRect16,  BltAlphaBitMapRows16, BltAlphaChannelRows16};

// The kernels for a bitmap, or null when it has no pixels or an unknown size.
const vkKernelSet* KernelsFor(const vkBitMap* b) {
  if (!b || !b->pixels || b->bytesPerRow < 0) return nullptr;
  switch (b->bytesPerPixel) {
    case 4: return &kKernels32;
    case 3: return &kKernels24;
    case 2: return &kKernels16;
    default: return nullptr;
  }
}

int32_t PixelsPerRow(const vkBitMap* b) { return b->bytesPerRow / b->bytesPerPixel; }

// How far a bitmap can be addressed: its width, and no further than a row.
int64_t BitMapExtentW(const vkBitMap* b) { return std::min<int64_t>(b->width, PixelsPerRow(b)); }

void PrintFault(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

// Source and destination both usable and of one pixel size.
bool SamePixelSize(const vkBitMap* src, const vkBitMap* dst) {
  return KernelsFor(src) && KernelsFor(dst) && src->bytesPerPixel == dst->bytesPerPixel;
}

}  // namespace

void BltBitMap(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
               int32_t width, int32_t height) {
  if (!dst) return PrintFault("ERROR! BLTBITMAP() CALLED WITH DST=NULL!\n");
  if (!SamePixelSize(src, dst)) return;
  if (src == dst && sx == dx && sy == dy) return;  // a rectangle onto itself
  if (!ClipPair(sx, sy, dx, dy, width, height, BitMapExtentW(src), src->height, BitMapExtentW(dst), dst->height))
    return;
  vkCopyBlock b{src->pixels,       dst->pixels, sx, sy, dx, dy, width, height, PixelsPerRow(src),
                PixelsPerRow(dst), 0,           src->format, dst->format};
  KernelsFor(src)->copy(&b);
}

void BltMask(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
             int32_t width, int32_t height, const vkPlane* mask) {
  if (!dst) return PrintFault("ERROR! BLTMASK() CALLED WITH DST=NULL!\n");
  if (!SamePixelSize(src, dst) || !mask || !mask->data) return;
  const int64_t srcW = std::min(BitMapExtentW(src), MaskExtentW(mask));
  const int64_t srcH = std::min<int64_t>(src->height, PlaneExtentH(mask));
  if (!ClipPair(sx, sy, dx, dy, width, height, srcW, srcH, BitMapExtentW(dst), dst->height)) return;
  vkMaskBlitBlock b{src->pixels, dst->pixels, mask->data, sx, sy, dx, dy, width, height,
                    PixelsPerRow(src), mask->bytesPerRow, PixelsPerRow(dst)};
  KernelsFor(src)->mask(&b);
}

void BltTemplate(const vkPlane* templ, int32_t tx, int32_t ty, vkBitMap* dst, int32_t dx, int32_t dy,
                 int32_t width, int32_t height, uint32_t rgb) {
  if (!dst) return PrintFault("ERROR! BLTTEMPLATE() CALLED WITH DST=NULL!\n");
  const vkKernelSet* k = KernelsFor(dst);
  if (!k || !templ || !templ->data) return;
  if (!ClipPair(tx, ty, dx, dy, width, height, MaskExtentW(templ), PlaneExtentH(templ), BitMapExtentW(dst),
                dst->height))
    return;
  vkTemplateBlock b{templ->data, dst->pixels, tx, ty, dx, dy, width, height, templ->bytesPerRow,
                    PixelsPerRow(dst), RGBToPixel(rgb, dst->format)};
  k->templ(&b);
}

void FillBitMapRect(vkBitMap* bitmap, uint32_t rgb, int32_t x, int32_t y, int32_t width, int32_t height) {
  const vkKernelSet* k = KernelsFor(bitmap);
  if (!k || !ClipRect(x, y, width, height, BitMapExtentW(bitmap), bitmap->height)) return;
  k->fill(bitmap->pixels, PixelsPerRow(bitmap), x, y, width, height, RGBToPixel(rgb, bitmap->format));
}

void BltAlphaBitMap(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
                    int32_t width, int32_t height, const vkPlane* alpha) {
  if (!dst) return PrintFault("ERROR! BLTALPHABITMAP() CALLED WITH DST=NULL!\n");
  if (!SamePixelSize(src, dst) || !alpha || !alpha->data) return;
  const int64_t srcW = std::min(BitMapExtentW(src), ByteExtentW(alpha));
  const int64_t srcH = std::min<int64_t>(src->height, PlaneExtentH(alpha));
  if (!ClipPair(sx, sy, dx, dy, width, height, srcW, srcH, BitMapExtentW(dst), dst->height)) return;
  vkAlphaBitMapBlock b{src->pixels, sx, sy, sx, sy, PixelsPerRow(src), dst->pixels, dx, dy, PixelsPerRow(dst),
                       width, height, alpha->data, alpha->bytesPerRow, src->format};
  KernelsFor(src)->alphaBitMap(&b);
}

void BltAlphaChannel(const vkPlane* alpha, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
                     int32_t width, int32_t height, const vkAlphaChannelPaint& paint) {
  if (!dst) return PrintFault("ERROR! BLTALPHACHANNEL() CALLED WITH DST=NULL!\n");
  const vkKernelSet* k = KernelsFor(dst);
  if (!k || !alpha || !alpha->data) return;
  // Modes 2 and 3 write the destination's alpha; mode 3 weighs by coverage.
  if ((paint.mode == 2 || paint.mode == 3) && (!paint.dstAlpha || !paint.dstAlpha->data)) return;
  if (paint.mode == 3 && !paint.coverage) return;
  int64_t srcW = ByteExtentW(alpha), srcH = PlaneExtentH(alpha);
  if (paint.src) {
    if (!SamePixelSize(paint.src, dst)) return;
    srcW = std::min(srcW, BitMapExtentW(paint.src)), srcH = std::min<int64_t>(srcH, paint.src->height);
  }
  if (paint.coverage) srcW = std::min<int64_t>(srcW, paint.coveragePerRow);
  int64_t dstW = BitMapExtentW(dst), dstH = dst->height;
  if (paint.dstAlpha && paint.dstAlpha->data)
    dstW = std::min(dstW, ByteExtentW(paint.dstAlpha)), dstH = std::min(dstH, PlaneExtentH(paint.dstAlpha));
  if (!ClipPair(sx, sy, dx, dy, width, height, srcW, srcH, dstW, dstH)) return;
  // 24-bit colours are taken as 0xRRGGBB by their kernel.
  const uint32_t colour = dst->bytesPerPixel == 3 ? paint.rgb : RGBToPixel(paint.rgb, dst->format);
  vkAlphaChannelBlock b{};
  b.srcX = sx, b.srcY = sy;
  b.dstPixels = dst->pixels, b.dstX = dx, b.dstY = dy, b.dstPixelsPerRow = PixelsPerRow(dst);
  b.width = width, b.height = height;
  b.alpha = alpha->data, b.alphaBytesPerRow = alpha->bytesPerRow;
  if (paint.dstAlpha) b.dstAlpha = paint.dstAlpha->data, b.dstAlphaBytesPerRow = paint.dstAlpha->bytesPerRow;
  b.format = dst->format, b.colour = colour, b.mode = paint.mode, b.factor = paint.factor;
  b.coverage = paint.coverage, b.coveragePerRow = paint.coveragePerRow;
  if (paint.src) b.srcPixels = paint.src->pixels, b.srcPixelsPerRow = PixelsPerRow(paint.src);
  // Only where the platform offers the plain blend in hardware (never here).
  if (paint.mode == 1 && !paint.dstAlpha && !paint.src && (GetBlitCapabilities(1) & 1))
    return BltAlphaChannelAccelerated(&b);
  k->alphaChannel(&b);
}

void BltAlphaPlane(const vkPlane* src, int32_t sx, int32_t sy, vkPlane* dst, int32_t dx, int32_t dy,
                   int32_t width, int32_t height, int32_t mode, int32_t factor) {
  if (!src || !dst || !src->data || !dst->data) return;
  if (!ClipPair(sx, sy, dx, dy, width, height, ByteExtentW(src), PlaneExtentH(src), ByteExtentW(dst),
                PlaneExtentH(dst)))
    return;
  vkAlphaPlaneBlock b{src->data, sx, sy, dst->data, dx, dy, width, height, src->bytesPerRow, dst->bytesPerRow,
                      mode, factor};
  BltAlphaPlaneRows(&b);
}

bool ClipToSizes(int32_t& sx, int32_t& sy, int32_t& dx, int32_t& dy, int32_t& width, int32_t& height,
                 int32_t srcW, int32_t srcH, int32_t dstW, int32_t dstH) {
  auto axis = [](int32_t& s, int32_t& d, int32_t& n, int32_t sLimit, int32_t dLimit) {
    int64_t s2 = s, d2 = d, n2 = n;
    if (d2 < 0) s2 -= d2, n2 += d2, d2 = 0;
    n2 = std::min<int64_t>({n2, int64_t(sLimit) - s2, int64_t(dLimit) - d2});
    if (n2 < 1 || s2 > INT32_MAX) return false;
    s = int32_t(s2), d = int32_t(d2), n = int32_t(n2);
    return true;
  };
  return axis(sx, dx, width, srcW, dstW) && axis(sy, dy, height, srcH, dstH);
}

void ClipBltAlphaPlane(const vkPlane* src, int32_t sx, int32_t sy, vkPlane* dst, int32_t dx, int32_t dy,
                       int32_t width, int32_t height, int32_t mode, int32_t factor, int32_t srcW,
                       int32_t srcH, int32_t dstW, int32_t dstH) {
  if (ClipToSizes(sx, sy, dx, dy, width, height, srcW, srcH, dstW, dstH))
    BltAlphaPlane(src, sx, sy, dst, dx, dy, width, height, mode, factor);
}

void ClipBltAlphaChannel(const vkPlane* alpha, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy,
                         int32_t width, int32_t height, const vkAlphaChannelPaint& paint, int32_t srcW,
                         int32_t srcH, int32_t dstW, int32_t dstH) {
  if (!dst || ClipToSizes(sx, sy, dx, dy, width, height, srcW, srcH, dstW, dstH))
    BltAlphaChannel(alpha, sx, sy, dst, dx, dy, width, height, paint);
}

void AlphaToMaskPlane(const vkPlane* alpha, int32_t ax, int32_t ay, vkPlane* mask, int32_t mx, int32_t my,
                      int32_t width, int32_t height, int32_t mode) {
  if (!alpha || !mask || !alpha->data || !mask->data) return;
  if (!ClipPair(ax, ay, mx, my, width, height, ByteExtentW(alpha), PlaneExtentH(alpha), MaskExtentW(mask),
                PlaneExtentH(mask)))
    return;
  const vkAlphaMaskRect r{ax, ay, mx, my, width, height};
  ApplyAlphaToMask(alpha->data, mask->data, alpha->bytesPerRow, mask->bytesPerRow, mode, &r);
}
