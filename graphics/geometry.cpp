// Rectangle and polygon geometry over the pixel engine's planes. Everything
// is computed in 64 bits or doubles and saturated on the way back, so no
// size a script can ask for overflows.
#include "graphics/geometry.h"

#include <algorithm>
#include <cmath>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/blitclip.h"

namespace {

int32_t Saturate(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// True when [m] only scales, by positive factors.
bool IsPureScale(const double m[4]) { return m[1] == 0.0 && m[2] == 0.0 && m[0] > 0.0 && m[3] > 0.0; }

// Multiplies position and size of [r] by fx and fy (sizes at least 1) and
// scales its mask to the new size. False when out of memory.
bool ScaleRegion(vkClipRegion& r, double fx, double fy) {
  const int32_t w = std::max(1, vkDoubleToInt32(r.width * fx)), h = std::max(1, vkDoubleToInt32(r.height * fy));
  r.x = vkDoubleToInt32(r.x * fx), r.y = vkDoubleToInt32(r.y * fy);
  if (r.mask && (w != r.width || h != r.height)) {
    vkScaleTables tables;
    vkPlane* scaled = nullptr;
    if (ScaleBitMap(tables, nullptr, r.mask.get(), nullptr, 0, 0, nullptr, r.width, r.height, w, h, false, nullptr,
                    &scaled, nullptr) != 0)
      return false;
    r.mask.reset(scaled);
  }
  r.width = w, r.height = h;
  return true;
}

}  // namespace

vkBounds GetTransformedBounds(int32_t x, int32_t y, int32_t width, int32_t height, double anchorX, double anchorY,
                              const double m[4]) {
  const double ax = anchorX * width, ay = anchorY * height;
  const double cx[4] = {0, double(width) - 1, 0, double(width) - 1};
  const double cy[4] = {0, 0, double(height) - 1, double(height) - 1};
  double minX = 100000.0, minY = 100000.0, maxX = -100000.0, maxY = -100000.0;
  for (int i = 0; i < 4; ++i) {
    const double dx = cx[i] - ax, dy = cy[i] - ay;
    const double tx = ax + m[0] * dx + m[2] * dy, ty = ay + m[1] * dx + m[3] * dy;
    minX = std::min(minX, tx), maxX = std::max(maxX, tx);
    minY = std::min(minY, ty), maxY = std::max(maxY, ty);
  }
  vkBounds b;
  b.x = Saturate(int64_t(x) + vkDoubleToInt32(minX));
  b.y = Saturate(int64_t(y) + vkDoubleToInt32(minY));
  b.width = vkDoubleToInt32(maxX - minX + 1);
  b.height = vkDoubleToInt32(maxY - minY + 1);
  return b;
}

bool ClipBltRects(const vkClipRegion* clip, int32_t& sx, int32_t& sy, int32_t& dx, int32_t& dy, int32_t& width,
                  int32_t& height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
                  bool useClip) {
  if (sx < 0 || sy < 0) return false;
  const bool region = clip && useClip;
  // One axis: cut at the low edge, then to the source and the bound.
  auto axis = [](int32_t& s, int32_t& d, int32_t& n, int64_t low, int64_t srcLimit, int64_t bound) {
    int64_t s2 = s, d2 = d, n2 = n;
    if (d2 < low) s2 += low - d2, n2 -= low - d2, d2 = low;
    n2 = std::min({n2, srcLimit - s2, bound - d2});
    if (n2 < 1) return false;
    s = int32_t(s2), d = int32_t(d2), n = int32_t(n2);
    return true;
  };
  const int64_t lowX = region ? clip->x : 0, lowY = region ? clip->y : 0;
  int64_t boundX = dstWidth, boundY = dstHeight;
  if (region) {
    boundX = std::min<int64_t>(boundX, int64_t(clip->x) + clip->width);
    boundY = std::min<int64_t>(boundY, int64_t(clip->y) + clip->height);
    // A shape smaller than its rectangle bounds the blit too.
    if (clip->mask) {
      boundX = std::min(boundX, clip->x + MaskExtentW(clip->mask.get()));
      boundY = std::min(boundY, clip->y + PlaneExtentH(clip->mask.get()));
    }
  }
  int32_t sx2 = sx, sy2 = sy, dx2 = dx, dy2 = dy, w = width, h = height;
  if (!axis(sx2, dx2, w, lowX, srcWidth, boundX) || !axis(sy2, dy2, h, lowY, srcHeight, boundY)) return false;
  sx = sx2, sy = sy2, dx = dx2, dy = dy2, width = w, height = h;
  return true;
}

int32_t ClipMaskRect(int32_t& x, int32_t& y, int32_t& width, int32_t& height, const vkPlane* mask,
                     bool copyAlways, vkPlanePtr& out) {
  const int64_t cutX = x < 0 ? -int64_t(x) : 0, cutY = y < 0 ? -int64_t(y) : 0;
  x = int32_t(x + cutX), y = int32_t(y + cutY);
  width = Saturate(width - cutX), height = Saturate(height - cutY);
  if (!mask || width < 1 || height < 1) return 0;
  if (cutX == 0 && cutY == 0 && !copyAlways) return 0;
  vkPlanePtr made(AllocMaskPlane(width, height, true));
  if (!made) return kErrOutOfMemory;
  BltMaskPlane(mask, int32_t(cutX), int32_t(cutY), made.get(), 0, 0, width, height, 2);
  out = std::move(made);
  return 0;
}

int32_t ClipPolygonEdge(int32_t count, const std::vector<int32_t>& in, std::vector<int32_t>& out, int32_t boundary,
                        int32_t kind) {
  out.clear();
  if (count < 1 || in.size() < size_t(count + 1) * 2 || kind < 0 || kind > 3) return 0;
  const bool vertical = kind == kKeepRightOf || kind == kKeepLeftOf;
  auto inside = [&](int32_t px, int32_t py) {
    switch (kind) {
      case kKeepRightOf: return px >= boundary;
      case kKeepBelow: return py >= boundary;
      case kKeepLeftOf: return px <= boundary;
      default: return py <= boundary;
    }
  };
  auto crossing = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (vertical) {
      const double slope = double(y2 - y1) / double(x2 - x1);
      out.push_back(boundary);
      out.push_back(vkDoubleToInt32(y1 + slope * (double(boundary) - x1)));
    } else {
      const double slope = double(x2 - x1) / double(y2 - y1);
      out.push_back(vkDoubleToInt32(x1 + slope * (double(boundary) - y1)));
      out.push_back(boundary);
    }
  };
  // Each edge from the vertex before to the vertex at i, so the result
  // starts where the polygon does.
  for (int32_t i = 0; i < count; ++i) {
    const size_t prev = size_t(i == 0 ? count - 1 : i - 1) * 2, cur = size_t(i) * 2;
    const int32_t x1 = in[prev], y1 = in[prev + 1], x2 = in[cur], y2 = in[cur + 1];
    const bool in1 = inside(x1, y1), in2 = inside(x2, y2);
    if (in1 != in2) crossing(x1, y1, x2, y2);
    if (in2) out.push_back(x2), out.push_back(y2);
  }
  const int32_t n = int32_t(out.size() / 2);
  if (n > 0) out.push_back(out[0]), out.push_back(out[1]);
  return n;
}

std::unique_ptr<vkClipRegion> TransformClipRegion(const vkClipRegion& region, double anchorX, double anchorY,
                                                  const double m[4], const double* displayScale) {
  if (region.width < 1 || region.height < 1) return nullptr;
  auto r = std::make_unique<vkClipRegion>();
  r->temporary = true;
  r->x = region.x, r->y = region.y, r->width = region.width, r->height = region.height;
  if (IsPureScale(m)) {
    if (region.mask) {
      r->mask.reset(CopyMaskPlane(region.mask.get(), region.width, region.height));
      if (!r->mask) return nullptr;
    }
    if (!ScaleRegion(*r, m[0], m[3])) return nullptr;
  } else {
    const vkBounds b = GetTransformedBounds(region.x, region.y, region.width, region.height, anchorX, anchorY, m);
    r->x = b.x, r->y = b.y;
    if (region.mask) {
      vkPlane* made = nullptr;
      int32_t w = 0, h = 0;
      if (TransformBitMap(nullptr, region.mask.get(), nullptr, 0, 0, region.width, region.height, m, false,
                          nullptr, &made, nullptr, &w, &h) != 0)
        return nullptr;
      r->mask.reset(made);
      r->width = w, r->height = h;
    } else {
      if (b.width < 1 || b.height < 1) return nullptr;
      r->width = b.width, r->height = b.height;
      r->mask.reset(AllocMaskPlane(b.width, b.height, true));
      if (!r->mask) return nullptr;
      // The four corner pixels in order around the rectangle, relative to
      // the box.
      const double ax = anchorX * region.width, ay = anchorY * region.height;
      const double cx[4] = {0, double(region.width) - 1, double(region.width) - 1, 0};
      const double cy[4] = {0, 0, double(region.height) - 1, double(region.height) - 1};
      int32_t points[8], scratch[4];
      for (int i = 0; i < 4; ++i) {
        const double dx = cx[i] - ax, dy = cy[i] - ay;
        points[i * 2] = Saturate(int64_t(region.x) + vkDoubleToInt32(ax + m[0] * dx + m[2] * dy) - b.x);
        points[i * 2 + 1] = Saturate(int64_t(region.y) + vkDoubleToInt32(ay + m[1] * dx + m[3] * dy) - b.y);
      }
      FillMaskPolygon(r->mask.get(), points, 4, scratch);
    }
  }
  if (displayScale && !ScaleRegion(*r, displayScale[0], displayScale[1])) return nullptr;
  vkPlanePtr cut;
  if (ClipMaskRect(r->x, r->y, r->width, r->height, r->mask.get(), false, cut) != 0) return nullptr;
  if (r->width < 1 || r->height < 1) return nullptr;
  if (cut) r->mask = std::move(cut);
  if (r->mask) r->maskBytesPerRow = r->mask->bytesPerRow;
  return r;
}

void ApplyAlphaToMaskRect(const vkPlane* alpha, int32_t ax, int32_t ay, vkPlane* mask, int32_t mx, int32_t my,
                          int32_t width, int32_t height, int32_t mode) {
  AlphaToMaskPlane(alpha, ax, ay, mask, mx, my, width, height, mode);
}
