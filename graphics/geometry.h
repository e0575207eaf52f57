// Geometry shared by layers, effects and text: the bounds of a rectangle
// under a 2x2 matrix about an anchor, the clipping of a blit's rectangles to
// a clip region or the destination, the cutting of a masked rectangle to
// non-negative coordinates, one edge of polygon clipping, clip regions
// carried through a transformation, and alpha bytes turned into mask bits.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pixel/clipregion.h"

// A rectangle in pixels.
struct vkBounds {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// Where the width x height rectangle at (x, y) lies after [m] (m0, m1, m2,
// m3: x' = m0 x + m2 y, y' = m1 x + m3 y) applied about the anchor
// (anchorX x width, anchorY x height): the box of its four corner pixels.
vkBounds GetTransformedBounds(int32_t x, int32_t y, int32_t width, int32_t height, double anchorX, double anchorY,
                              const double m[4]);

// Clips a blit of width x height from (sx, sy) to (dx, dy). With [clip] and
// [useClip] the destination is cut at the region's left and top edges (the
// source origin moving along) and bounded by its right and bottom edges
// (and by its shape's, when that is smaller);
// otherwise negative destination coordinates are cut. Then the rectangle is
// cut to the source size and the destination bound. False when nothing is
// left to draw.
bool ClipBltRects(const vkClipRegion* clip, int32_t& sx, int32_t& sy, int32_t& dx, int32_t& dy, int32_t& width,
                  int32_t& height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
                  bool useClip);

// Cuts a rectangle with an optional [mask] of its size to non-negative x
// and y (the size shrinks by what is cut). When a mask is given and
// something was cut, [out] receives a new mask of the part that remains;
// when nothing was cut and [copyAlways] is set, a copy of the whole mask.
// Otherwise [out] is left alone. Returns 0 or 1000 ("Out of memory!").
int32_t ClipMaskRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height, const vkPlane* mask,
                     bool copyAlways, vkPlanePtr& out);

// Edge kinds of ClipPolygonEdge: which side of the boundary is kept.
inline constexpr int32_t kKeepRightOf = 0;  // x >= boundary
inline constexpr int32_t kKeepBelow = 1;    // y >= boundary
inline constexpr int32_t kKeepLeftOf = 2;   // x <= boundary
inline constexpr int32_t kKeepAbove = 3;    // y <= boundary

// One step of clipping a closed polygon against an axis-aligned boundary:
// [in] holds count + 1 (x, y) pairs, the first repeated after the last;
// [out] receives the clipped polygon in the same closed form. Crossing
// points come from the edge's slope, truncated. Returns the new count (0
// when nothing is inside, or for a count that [in] does not hold).
int32_t ClipPolygonEdge(int32_t count, const std::vector<int32_t>& in, std::vector<int32_t>& out, int32_t boundary,
                        int32_t kind);

// A copy of [region] carried through [m] (order as GetTransformedBounds)
// about the anchor (anchorX x width, anchorY x height), owned by the caller
// and marked temporary. A shaped region has its mask transformed; a plain
// one under rotation or shear becomes the bounding box with a mask of the
// transformed rectangle; a pure scale scales position and size. With
// [displayScale] (x and y factors) position and size are multiplied by it
// as well. The result is cut to non-negative coordinates. Null when out of
// memory or when nothing of the region is left.
std::unique_ptr<vkClipRegion> TransformClipRegion(const vkClipRegion& region, double anchorX, double anchorY,
                                                  const double m[4], const double* displayScale);

// Turns the alpha bytes of the width x height rectangle at (ax, ay) of
// [alpha] into the mask bits at (mx, my) of [mask] by [mode] (0 and 2 set a
// bit under 255 and clear it elsewhere, 1 the reverse), clipped to both
// planes.
void ApplyAlphaToMaskRect(const vkPlane* alpha, int32_t ax, int32_t ay, vkPlane* mask, int32_t mx, int32_t my,
                          int32_t width, int32_t height, int32_t mode);
