// Whole-picture operations on a bitmap with its mask and alpha planes:
// scaling, transforming by a 2x2 matrix, tinting, mixing, copying a rectangle
// out and making a colour-key mask. They allocate the results, lock, fill the
// kernel blocks and free everything they made when they fail. Also the
// fixed-point arc points of the ellipse drawing and the named image cache.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixel/bitmap.h"
#include "pixel/resample.h"

// Scales the width x height rectangle at (x, y) of each plane given to
// newWidth x newHeight: into [dst] (pixels only) when one is given, else into
// new records handed out through the out pointers (null for planes not
// given). A new width or height below 1 does nothing and returns 0. The step
// tables grow in [tables] and stay there. Returns 0, 1000 ("Out of memory!"),
// 1152 ("Could not lock bitmap!"), or 1055 for a rectangle outside the source
// or a destination too small for the new size.
int32_t ScaleBitMap(vkScaleTables& tables, const vkBitMap* src, const vkPlane* srcMask,
                    const vkPlane* srcAlpha, int32_t x, int32_t y, vkBitMap* dst, int32_t width,
                    int32_t height, int32_t newWidth, int32_t newHeight, bool smooth, vkBitMap** outBitMap,
                    vkPlane** outMask, vkPlane** outAlpha);

// Nearest scaling of a part: the partWidth x partHeight rectangle at (partX,
// partY) of the width x height rectangle at (x, y) of [src] scaled to
// newWidth x newHeight, drawn into [dst] at (dx, dy); its pixels are those
// the whole scaled picture has there. Nothing for an empty part. Returns 0,
// 1000, 1152, or 1055 for a rectangle outside the source, a part outside the
// scaled picture or outside [dst], or pixels of another size.
int32_t ScaleBitMapPart(vkScaleTables& tables, const vkBitMap* src, int32_t x, int32_t y, int32_t width,
                        int32_t height, int32_t newWidth, int32_t newHeight, int32_t partX, int32_t partY,
                        int32_t partWidth, int32_t partHeight, vkBitMap* dst, int32_t dx, int32_t dy);

// The box that holds a width x height rectangle after X = a x + c y,
// Y = b x + d y ([m] = a, b, c, d): its size, each ceil(extent - 0.5), and
// its smallest X and Y (either out pointer may be null). Sizes that do not
// fit 32 bits come out as INT32_MAX.
void GetTransformedSize(const double m[4], int32_t width, int32_t height, int32_t* outWidth,
                        int32_t* outHeight, double* outLeft, double* outTop);

// Transforms the rectangle at (x, y) of each plane given by [m] into new
// records of the transformed size, the picture starting at (0, 0); the new
// mask and alpha start cleared, so what the picture does not cover is
// transparent. Returns 0, 1000, 1152, or 1055 for a singular or non-finite
// matrix, an empty rectangle or one outside the source.
int32_t TransformBitMap(const vkBitMap* src, const vkPlane* srcMask, const vkPlane* srcAlpha, int32_t x,
                        int32_t y, int32_t width, int32_t height, const double m[4], bool smooth,
                        vkBitMap** outBitMap, vkPlane** outMask, vkPlane** outAlpha, int32_t* outWidth,
                        int32_t* outHeight);

// Moves the rectangle's pixels towards 0xRRGGBB by level / 256. 0 or 1152.
int32_t TintBitMap(vkBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb,
                   int32_t level);

// Mixes the source rectangle at (sx, sy) into the destination at (dx, dy) by
// level / 255, where the source mask (read at the source position) is set;
// with a source alpha plane, the source is blended through that plane scaled
// by level / 255. Returns 0, 1000 or 1152.
int32_t MixBitMaps(vkBitMap* dst, const vkBitMap* src, const vkPlane* srcMask, int32_t dx, int32_t dy,
                   int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t level,
                   const vkPlane* srcAlpha);

// The width x height top-left rectangle of [fresh] with [old] mixed into it
// by 255 - level, into [dst]: the bytes BltBitMap then MixBitMaps give, in
// one pass where all three are 32-bit pixels of one format. 0 or 1152.
int32_t CrossfadeBitMaps(vkBitMap* dst, const vkBitMap* fresh, const vkBitMap* old, int32_t width, int32_t height,
                         int32_t level);

// New copies of the width x height rectangle at (x, y) of each plane given
// (null outputs for the planes not given); a part outside the source comes
// out cleared. Returns 0, 1000, or 1055 for an empty rectangle.
int32_t CopyBitMapRect(const vkBitMap* src, const vkPlane* srcMask, const vkPlane* srcAlpha, int32_t x,
                       int32_t y, int32_t width, int32_t height, vkBitMap** outBitMap, vkPlane** outMask,
                       vkPlane** outAlpha);

// A new width x height mask, bit clear where the pixel's colour is [key];
// null when the bitmap cannot be locked, the size is empty or larger than the
// bitmap, or out of memory.
vkPlane* CreateColorKeyMask(const vkBitMap* bitmap, int32_t width, int32_t height, uint32_t key);

// 1024 x sin and cos of each whole degree 0..359, truncated toward zero
// (exact where the value is a half).
int32_t ArcSin(int32_t degree);
int32_t ArcCos(int32_t degree);

// Replaces [points] by (x, y) pairs of the ellipse with radii rx and ry in
// its bounding box (centre (rx, ry)): one point for [start] and one for
// every degree up to [end]. A full ellipse (0 to 360) ends there; any other
// arc is closed through the centre back to the first point. Degrees of any
// sign are taken modulo 360, and the span is at most one full turn. Returns
// the number of points.
int32_t MakeArcPoints(std::vector<int32_t>& points, int32_t rx, int32_t ry, int32_t start, int32_t end);

// Pictures loaded once and shared by name (the preloads of one file).
struct vkImageCacheEntry {
  std::string name;
  vkBufferPtr<uint32_t> pixels;
  vkPlanePtr alpha;
  int32_t width = 0, height = 0;
};
using vkImageCache = std::vector<vkImageCacheEntry>;

// Frees every entry with its pixels and alpha plane and empties the cache.
void FreeImageCache(vkImageCache& cache);
