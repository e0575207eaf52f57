// Whole-picture operations: each checks that its rectangle lies in every
// record it reads, makes its results as owners that free themselves on any
// early return, locks and hands one block to the kernel. Sizes are summed in
// 64 bits, so no rectangle can wrap past a picture's edge.
#include "pixel/bitmapops.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "pixel/alphakernels.h"
#include "pixel/blit.h"
#include "pixel/blitclip.h"
#include "pixel/colourkernels.h"
#include "pixel/copykernels.h"
#include "pixel/planebits.h"

namespace {

// The rectangle lies inside an extent of [w] x [h].
bool Inside(int32_t x, int32_t y, int32_t width, int32_t height, int64_t w, int64_t h) {
  return x >= 0 && y >= 0 && width >= 0 && height >= 0 && int64_t(x) + width <= w && int64_t(y) + height <= h;
}

// The rectangle lies inside each record given.
bool InsideAll(const vkBitMap* b, const vkPlane* mask, const vkPlane* alpha, int32_t x, int32_t y, int32_t width,
               int32_t height) {
  if (b && (!b->pixels || b->bytesPerPixel < 1 ||
            !Inside(x, y, width, height, std::min<int64_t>(b->width, b->bytesPerRow / b->bytesPerPixel),
                    b->height)))
    return false;
  if (mask && (!mask->data || !Inside(x, y, width, height, MaskExtentW(mask), PlaneExtentH(mask)))) return false;
  if (alpha && (!alpha->data || !Inside(x, y, width, height, ByteExtentW(alpha), PlaneExtentH(alpha))))
    return false;
  return true;
}

// Locks a bitmap the operation only reads.
bool LockForReading(const vkBitMap* b, vkBitMapInfo* info) {
  return LockBitMap(const_cast<vkBitMap*>(b), info) != 0;
}

// The records an operation makes, freed unless handed out.
struct vkMadeRecords {
  vkBitMapPtr bitmap;
  vkPlanePtr mask, alpha;

  // Makes the records asked for; false when one cannot be made.
  bool Make(bool wantBitMap, bool wantMask, bool wantAlpha, int32_t width, int32_t height, bool clear) {
    if (wantBitMap && !(bitmap = vkBitMapPtr(AllocArgbBitMap(width, height)))) return false;
    if (wantMask && !(mask = vkPlanePtr(AllocMaskPlane(width, height, clear)))) return false;
    if (wantAlpha && !(alpha = vkPlanePtr(AllocAlphaPlane(width, height, clear)))) return false;
    return true;
  }
  void HandOut(vkBitMap** b, vkPlane** m, vkPlane** a) {
    if (b) *b = bitmap.release();
    if (m) *m = mask.release();
    if (a) *a = alpha.release();
  }
};

// The angle tables, made once: 1024 sin and cos per whole degree.
struct vkAngleTables {
  std::array<int32_t, 360> sin{}, cos{};
  vkAngleTables() {
    auto fixed = [](double v) {
      // Halves such as sin 30 come out a hair below 512 in doubles.
      const double scaled = 1024.0 * v, nearest = std::nearbyint(scaled);
      return int32_t(std::fabs(scaled - nearest) < 1e-9 ? nearest : std::trunc(scaled));
    };
    for (int d = 0; d < 360; ++d) {
      const double r = d * 3.141592653589793 / 180.0;
      sin[size_t(d)] = fixed(std::sin(r));
      cos[size_t(d)] = fixed(std::cos(r));
    }
  }
};

const vkAngleTables& AngleTables() {
  static const vkAngleTables tables;
  return tables;
}

int32_t DegreeIndex(int64_t degree) { return int32_t(((degree % 360) + 360) % 360); }

int32_t ClampToInt32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

}  // namespace

int32_t ScaleBitMap(vkScaleTables& tables, const vkBitMap* src, const vkPlane* srcMask, const vkPlane* srcAlpha,
                    int32_t x, int32_t y, vkBitMap* dst, int32_t width, int32_t height, int32_t newWidth,
                    int32_t newHeight, bool smooth, vkBitMap** outBitMap, vkPlane** outMask, vkPlane** outAlpha) {
  if (newWidth < 1 || newHeight < 1) return 0;
  if (width < 1 || height < 1 || !InsideAll(src, srcMask, srcAlpha, x, y, width, height)) return kErrWrongUsage;
  if (dst && (!src || !InsideAll(dst, nullptr, nullptr, 0, 0, newWidth, newHeight) ||
              dst->bytesPerPixel != src->bytesPerPixel))
    return kErrWrongUsage;
  // The records first: a size no picture can have never grows the tables.
  vkMadeRecords made;
  if (!dst && !made.Make(src != nullptr, srcMask != nullptr, srcAlpha != nullptr, newWidth, newHeight, false))
    return kErrOutOfMemory;
  if (!tables.Reserve(size_t(newWidth) + 1, size_t(newHeight) + 1)) return kErrOutOfMemory;
  vkBitMap* target = dst ? dst : made.bitmap.get();
  vkBitMapInfo si{}, di{};
  if (src && (!LockForReading(src, &si) || !LockBitMap(target, &di))) return kErrLockBitMap;

  vkScaleBlock b{};
  if (src) {
    b.srcPixels = static_cast<const uint8_t*>(si.pixels) + (ptrdiff_t(y) * si.pixelsPerRow + x) * si.bytesPerPixel;
    b.dstPixels = di.pixels;
    b.srcPixelsPerRow = si.pixelsPerRow, b.dstPixelsPerRow = di.pixelsPerRow;
    b.format = si.format, b.bytesPerPixel = si.bytesPerPixel;
  }
  if (srcMask && made.mask) {
    b.srcMask = PlaneRow(srcMask->data, srcMask->bytesPerRow, y), b.srcMaskX = x;
    b.dstMask = made.mask->data;
    b.srcMaskBytesPerRow = srcMask->bytesPerRow, b.dstMaskBytesPerRow = made.mask->bytesPerRow;
  }
  if (srcAlpha && made.alpha) {
    b.srcAlpha = PlaneRow(srcAlpha->data, srcAlpha->bytesPerRow, y) + x;
    b.dstAlpha = made.alpha->data;
    b.srcAlphaBytesPerRow = srcAlpha->bytesPerRow, b.dstAlphaBytesPerRow = made.alpha->bytesPerRow;
  }
  b.srcWidth = width, b.srcHeight = height, b.dstWidth = newWidth, b.dstHeight = newHeight;
  b.smooth = smooth ? 1 : 0;
  b.xTable = tables.x(), b.yTable = tables.y();
  ScaleBitMapRows(&b);
  UnLockBitMap(&si);
  UnLockBitMap(&di);
  if (!dst) made.HandOut(outBitMap, outMask, outAlpha);
  return 0;
}

int32_t ScaleBitMapPart(vkScaleTables& tables, const vkBitMap* src, int32_t x, int32_t y, int32_t width,
                        int32_t height, int32_t newWidth, int32_t newHeight, int32_t partX, int32_t partY,
                        int32_t partWidth, int32_t partHeight, vkBitMap* dst, int32_t dx, int32_t dy) {
  if (partWidth < 1 || partHeight < 1) return 0;
  if (!src || !dst || dst->bytesPerPixel != src->bytesPerPixel || width < 1 || height < 1 ||
      !InsideAll(src, nullptr, nullptr, x, y, width, height) || partX < 0 || partY < 0 ||
      int64_t(partX) + partWidth > newWidth || int64_t(partY) + partHeight > newHeight ||
      !InsideAll(dst, nullptr, nullptr, dx, dy, partWidth, partHeight))
    return kErrWrongUsage;
  if (!tables.Reserve(size_t(partWidth) + 1, size_t(partHeight) + 1)) return kErrOutOfMemory;
  vkBitMapInfo si{}, di{};
  if (!LockForReading(src, &si) || !LockBitMap(dst, &di)) return kErrLockBitMap;
  vkScaleBlock b{};
  b.srcPixels = static_cast<const uint8_t*>(si.pixels) + (ptrdiff_t(y) * si.pixelsPerRow + x) * si.bytesPerPixel;
  b.dstPixels = static_cast<uint8_t*>(di.pixels) + (ptrdiff_t(dy) * di.pixelsPerRow + dx) * di.bytesPerPixel;
  b.srcPixelsPerRow = si.pixelsPerRow, b.dstPixelsPerRow = di.pixelsPerRow;
  b.format = si.format, b.bytesPerPixel = si.bytesPerPixel;
  b.srcWidth = width, b.srcHeight = height, b.dstWidth = partWidth, b.dstHeight = partHeight;
  b.scaledWidth = newWidth, b.scaledHeight = newHeight, b.firstX = partX, b.firstY = partY;
  b.xTable = tables.x(), b.yTable = tables.y();
  ScaleBitMapRows(&b);
  UnLockBitMap(&si);
  UnLockBitMap(&di);
  return 0;
}

void GetTransformedSize(const double m[4], int32_t width, int32_t height, int32_t* outWidth, int32_t* outHeight,
                        double* outLeft, double* outTop) {
  const double xs[4] = {0, double(width), 0, double(width)}, ys[4] = {0, 0, double(height), double(height)};
  double minX = HUGE_VAL, maxX = -HUGE_VAL, minY = HUGE_VAL, maxY = -HUGE_VAL;
  for (int i = 0; i < 4; ++i) {
    const double X = m[0] * xs[i] + m[2] * ys[i], Y = m[1] * xs[i] + m[3] * ys[i];
    minX = std::min(minX, X), maxX = std::max(maxX, X);
    minY = std::min(minY, Y), maxY = std::max(maxY, Y);
  }
  // NaN saturates to INT32_MIN: give it as the largest size, which no
  // allocation meets.
  auto size = [](double extent) {
    const int32_t v = vkDoubleToInt32(std::ceil(extent - 0.5));
    return std::isnan(extent) ? INT32_MAX : v;
  };
  if (outWidth) *outWidth = size(maxX - minX);
  if (outHeight) *outHeight = size(maxY - minY);
  if (outLeft) *outLeft = minX;
  if (outTop) *outTop = minY;
}

int32_t TransformBitMap(const vkBitMap* src, const vkPlane* srcMask, const vkPlane* srcAlpha, int32_t x, int32_t y,
                        int32_t width, int32_t height, const double m[4], bool smooth, vkBitMap** outBitMap,
                        vkPlane** outMask, vkPlane** outAlpha, int32_t* outWidth, int32_t* outHeight) {
  const double matrix[6] = {m[0], m[1], m[2], m[3], 0, 0};
  if (!IsInvertibleMatrix(matrix) || width < 1 || height < 1 ||
      !InsideAll(src, srcMask, srcAlpha, x, y, width, height))
    return kErrWrongUsage;
  int32_t newWidth = 0, newHeight = 0;
  double left = 0, top = 0;
  GetTransformedSize(m, width, height, &newWidth, &newHeight, &left, &top);
  if (newWidth < 1 || newHeight < 1) return kErrWrongUsage;
  // A picture without planes gets a mask of the pixels it covers, so the
  // corners outside a turned rectangle stay transparent.
  const bool markMask = src && !srcMask && !srcAlpha;
  vkMadeRecords made;
  if (!made.Make(src != nullptr, srcMask != nullptr || markMask, srcAlpha != nullptr, newWidth, newHeight, true))
    return kErrOutOfMemory;
  vkBitMapInfo si{}, di{};
  if (src && (!LockForReading(src, &si) || !LockBitMap(made.bitmap.get(), &di))) return kErrLockBitMap;

  vkTransformBlock b{};
  if (src) {
    b.srcPixels = static_cast<const uint8_t*>(si.pixels) + (ptrdiff_t(y) * si.pixelsPerRow + x) * si.bytesPerPixel;
    b.dstPixels = di.pixels;
    b.srcPixelsPerRow = si.pixelsPerRow, b.dstPixelsPerRow = di.pixelsPerRow;
    b.format = si.format, b.bytesPerPixel = si.bytesPerPixel;
    // Not covered stays transparent; where there is no plane to say so, black.
    std::memset(di.pixels, 0, size_t(made.bitmap->bytesPerRow) * size_t(newHeight));
  }
  if (srcMask) {
    b.srcMask = PlaneRow(srcMask->data, srcMask->bytesPerRow, y), b.srcMaskX = x;
    b.dstMask = made.mask->data;
    b.srcMaskBytesPerRow = srcMask->bytesPerRow, b.dstMaskBytesPerRow = made.mask->bytesPerRow;
  }
  if (markMask) b.dstMask = made.mask->data, b.dstMaskBytesPerRow = made.mask->bytesPerRow;
  if (srcAlpha) {
    b.srcAlpha = PlaneRow(srcAlpha->data, srcAlpha->bytesPerRow, y) + x;
    b.dstAlpha = made.alpha->data;
    b.srcAlphaBytesPerRow = srcAlpha->bytesPerRow, b.dstAlphaBytesPerRow = made.alpha->bytesPerRow;
  }
  b.srcWidth = width, b.srcHeight = height, b.dstWidth = newWidth, b.dstHeight = newHeight;
  const double placed[6] = {m[0], m[1], m[2], m[3], -left, -top};
  std::copy(placed, placed + 6, b.matrix);
  b.smooth = smooth ? 1 : 0;
  TransformBitMapRows(&b);
  UnLockBitMap(&si);
  UnLockBitMap(&di);
  made.HandOut(outBitMap, outMask, outAlpha);
  if (outWidth) *outWidth = newWidth;
  if (outHeight) *outHeight = newHeight;
  return 0;
}

int32_t TintBitMap(vkBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                   int32_t level) {
  vkBitMapInfo info{};
  if (!LockBitMap(bitmap, &info)) return kErrLockBitMap;
  if (ClipRect(x, y, width, height, std::min(info.width, info.pixelsPerRow), info.height)) {
    vkTintBlock b{info.pixels, x, y, width, height, rgb, level, info.pixelsPerRow, info.format};
    switch (info.bytesPerPixel) {
      case 4: TintPixels32(&b); break;
      case 3: TintPixels24(&b); break;
      case 2:
        b.colour = RGBToPixel(rgb, PIXFMT_RGB16);
        TintPixels16(&b);
        break;
      default: break;
    }
  }
  UnLockBitMap(&info);
  return 0;
}

int32_t MixBitMaps(vkBitMap* dst, const vkBitMap* src, const vkPlane* srcMask, int32_t dx, int32_t dy, int32_t sx,
                   int32_t sy, int32_t width, int32_t height, int32_t level, const vkPlane* srcAlpha) {
  if (srcAlpha) {
    // The alpha scaled by level, in a plane of the source alpha's own size
    // and stride, so that the blend reads it exactly as the original.
    if (!srcAlpha->data || srcAlpha->bytesPerRow < 0) return 0;
    const int64_t rows = std::min<int64_t>(PlaneExtentH(srcAlpha), srcAlpha->height);
    if (rows < 1) return 0;
    vkBufferPtr<uint8_t> bytes(static_cast<uint8_t*>(AllocateArray(size_t(srcAlpha->bytesPerRow), size_t(rows), false)));
    if (!bytes) return kErrOutOfMemory;
    MultiplyAlphaPlane(srcAlpha->data, bytes.get(), std::clamp(level, 0, 255), srcAlpha->bytesPerRow, int32_t(rows));
    const vkPlane scaled{bytes.get(), srcAlpha->width, int32_t(rows), srcAlpha->bytesPerRow, 1};
    vkBitMapInfo si{}, di{};
    if (!LockForReading(src, &si) || !LockBitMap(dst, &di)) return kErrLockBitMap;
    BltAlphaBitMap(src, sx, sy, dst, dx, dy, width, height, &scaled);
    return 0;
  }
  vkBitMapInfo si{}, di{};
  if (!LockForReading(src, &si) || !LockBitMap(dst, &di)) return kErrLockBitMap;
  if (si.bytesPerPixel != di.bytesPerPixel) return 0;
  int64_t srcW = std::min(si.width, si.pixelsPerRow), srcH = si.height;
  if (srcMask) {
    if (!srcMask->data) return 0;
    srcW = std::min(srcW, MaskExtentW(srcMask)), srcH = std::min(srcH, PlaneExtentH(srcMask));
  }
  if (!ClipPair(sx, sy, dx, dy, width, height, srcW, srcH, std::min(di.width, di.pixelsPerRow), di.height))
    return 0;
  const int32_t bpp = si.bytesPerPixel;
  vkMixBlock b{static_cast<const uint8_t*>(si.pixels) + (ptrdiff_t(sy) * si.pixelsPerRow + sx) * bpp,
               static_cast<uint8_t*>(di.pixels) + (ptrdiff_t(dy) * di.pixelsPerRow + dx) * bpp,
               srcMask ? PlaneRow(srcMask->data, srcMask->bytesPerRow, sy) : nullptr, sx};
  const int32_t maskBytesPerRow = srcMask ? srcMask->bytesPerRow : 0;
  switch (bpp) {
    case 4: MixPixels32(&b, width, height, level, si.format, si.pixelsPerRow, di.pixelsPerRow, maskBytesPerRow); break;
    case 3: MixPixels24(&b, width, height, level, si.format, si.pixelsPerRow, di.pixelsPerRow, maskBytesPerRow); break;
    case 2: MixPixels16(&b, width, height, level, si.format, si.pixelsPerRow, di.pixelsPerRow, maskBytesPerRow); break;
    default: break;
  }
  return 0;
}

int32_t CrossfadeBitMaps(vkBitMap* dst, const vkBitMap* fresh, const vkBitMap* old, int32_t width, int32_t height,
                         int32_t level) {
  vkBitMapInfo ni{}, oi{}, di{};
  if (!LockForReading(fresh, &ni) || !LockForReading(old, &oi) || !LockBitMap(dst, &di)) return kErrLockBitMap;
  if (ni.bytesPerPixel != 4 || oi.bytesPerPixel != 4 || di.bytesPerPixel != 4 || ni.format != di.format ||
      oi.format != di.format) {
    BltBitMap(fresh, 0, 0, dst, 0, 0, width, height);
    return MixBitMaps(dst, old, nullptr, 0, 0, 0, 0, width, height, 255 - level, nullptr);
  }
  width = std::min({width, ni.width, ni.pixelsPerRow, oi.width, oi.pixelsPerRow, di.width, di.pixelsPerRow});
  height = std::min({height, ni.height, oi.height, di.height});
  const vkCrossfadeBlock b{oi.pixels, ni.pixels, di.pixels, oi.pixelsPerRow, ni.pixelsPerRow, di.pixelsPerRow,
                           width, height, level, di.format};
  CrossfadePixels32(&b);
  return 0;
}

int32_t CopyBitMapRect(const vkBitMap* src, const vkPlane* srcMask, const vkPlane* srcAlpha, int32_t x, int32_t y,
                       int32_t width, int32_t height, vkBitMap** outBitMap, vkPlane** outMask, vkPlane** outAlpha) {
  if (width < 1 || height < 1) return kErrWrongUsage;
  vkMadeRecords made;
  if (!made.Make(src != nullptr, srcMask != nullptr, srcAlpha != nullptr, width, height, true))
    return kErrOutOfMemory;
  if (src) {
    if (!InsideAll(src, nullptr, nullptr, x, y, width, height))
      std::memset(made.bitmap->pixels, 0, size_t(made.bitmap->bytesPerRow) * size_t(height));
    BltBitMap(src, x, y, made.bitmap.get(), 0, 0, width, height);
  }
  if (srcMask) BltMaskPlane(srcMask, x, y, made.mask.get(), 0, 0, width, height, 2);
  if (srcAlpha) BltAlphaPlane(srcAlpha, x, y, made.alpha.get(), 0, 0, width, height, 0, 0);
  made.HandOut(outBitMap, outMask, outAlpha);
  return 0;
}

vkPlane* CreateColorKeyMask(const vkBitMap* bitmap, int32_t width, int32_t height, uint32_t key) {
  vkBitMapInfo info{};
  if (!LockForReading(bitmap, &info)) return nullptr;
  if (width < 1 || height < 1 || width > std::min(info.width, info.pixelsPerRow) || height > info.height)
    return nullptr;
  vkPlane* mask = AllocMaskPlane(width, height, true);
  if (!mask) return nullptr;
  switch (info.bytesPerPixel) {
    case 4:
      ColorKeyToMask32(info.pixels, mask->data, width, height, mask->bytesPerRow, key, info.pixelsPerRow,
                       info.format == PIXFMT_ARGB32 ? 0x00FFFFFFu : 0xFFFFFF00u);
      break;
    case 3: ColorKeyToMask24(info.pixels, mask->data, width, height, mask->bytesPerRow, key, info.pixelsPerRow); break;
    case 2: ColorKeyToMask16(info.pixels, mask->data, width, height, mask->bytesPerRow, key, info.pixelsPerRow); break;
    default: break;
  }
  UnLockBitMap(&info);
  return mask;
}

int32_t ArcSin(int32_t degree) { return AngleTables().sin[size_t(DegreeIndex(degree))]; }
int32_t ArcCos(int32_t degree) { return AngleTables().cos[size_t(DegreeIndex(degree))]; }

int32_t MakeArcPoints(std::vector<int32_t>& points, int32_t rx, int32_t ry, int32_t start, int32_t end) {
  points.clear();
  auto add = [&](int64_t px, int64_t py) {
    points.push_back(ClampToInt32(px));
    points.push_back(ClampToInt32(py));
  };
  auto point = [&](int64_t d) {
    const int32_t i = DegreeIndex(d);
    add(rx + ((2 * int64_t(rx) + 1) * AngleTables().cos[size_t(i)]) / 2048,
        ry + ((2 * int64_t(ry) + 1) * AngleTables().sin[size_t(i)]) / 2048);
  };
  // Past one full turn the outline only repeats itself: the span is bounded
  // to 360 degrees, so huge angles cost no more than a circle.
  const int64_t last = std::min<int64_t>(end, int64_t(start) + 360);
  points.reserve(size_t(std::max<int64_t>(last - start + 1, 1) + 2) * 2);
  point(start);
  for (int64_t d = int64_t(start) + 1; d <= last; ++d) point(d);
  if (!(start == 0 && end == 360)) {
    add(rx, ry);
    add(points[0], points[1]);
  }
  return int32_t(points.size() / 2);
}

void FreeImageCache(vkImageCache& cache) { cache.clear(); }
