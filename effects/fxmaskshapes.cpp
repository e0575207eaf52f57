// Clock wipe, star and sun: the new picture appears through a shape that
// grows in a one-bit mask, a sector swept by a clock hand along the border,
// a five-pointed star or an ellipse about the centre. One routine serves the
// three: each frame fills its shape into the effect mask and shows the
// source through it over the old picture (in a layer: draws it into the
// layer's planes, or cuts it out when hiding); the last frame shows the
// whole source. Drawn from scratch, a frame fills the shapes of every frame
// up to it, so a seek shows exactly what play shows.
#include <algorithm>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "effects/fxcomposed.h"
#include "effects/fxlayers.h"
#include "graphics/geometry.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"

namespace {

struct vkMaskShape : vkFXPrivate {
  vkBitMapPtr work;   // display: the rectangle composed over the old picture
  vkPlanePtr mask;    // the pixels shown so far
  vkPlanePtr alpha;   // a source with alpha: its alpha where the mask is set
  std::vector<int32_t> points, clipped, scratch;
};

// A closed polygon of (x, y) pairs, the first repeated after the last.
using vkPolygon = std::vector<int32_t>;

// ---- clock wipe ----------------------------------------------------------------

// The border walked clockwise from the top centre: the lengths of its five
// runs (top right half, right, bottom, left, top left half).
struct vkBorder {
  int64_t w, h;
  int64_t run[5];
  explicit vkBorder(const vkFXState& s) : w(s.width), h(s.height) {
    run[0] = (w - 1) - w / 2, run[1] = h - 1, run[2] = w - 1, run[3] = h - 1, run[4] = w / 2;
  }
  int64_t Length() const { return run[0] + run[1] + run[2] + run[3] + run[4]; }
  // The corner that ends run i (i = 0..3).
  void Corner(int i, int64_t& x, int64_t& y) const {
    x = i == 0 || i == 1 ? w - 1 : 0;
    y = i == 1 || i == 2 ? h - 1 : 0;
  }
  // The point [a] along the border; the corners passed before it counted in [corners].
  void At(int64_t a, int64_t& x, int64_t& y, int& corners) const {
    corners = 0;
    int64_t start = 0;
    for (int i = 0; i < 4 && a > start + run[i]; i++) start += run[i], corners++;
    const int64_t d = a - start;
    switch (corners) {
      case 0: x = w / 2 + d, y = 0; break;
      case 1: x = w - 1, y = d; break;
      case 2: x = w - 1 - d, y = h - 1; break;
      case 3: x = 0, y = h - 1 - d; break;
      default: x = std::min(d, w / 2), y = 0; break;
    }
  }
};

int64_t ClockFrames(const vkFXState& s) {
  const int64_t length = vkBorder(s).Length();
  return std::max<int64_t>(1, (length + s.speed - 1) / s.speed);
}

// The sector the hand sweeps from arc [a0] to arc [a1]: the centre, the
// two hand points and every corner between them.
void ClockSector(const vkFXState& s, int64_t a0, int64_t a1, vkPolygon& out) {
  const vkBorder border(s);
  out.clear();
  auto add = [&](int64_t x, int64_t y) {
    out.push_back(int32_t(x));
    out.push_back(int32_t(y));
  };
  add(s.width / 2, s.height / 2);
  int64_t x, y;
  int from, to;
  border.At(a0, x, y, from);
  add(x, y);
  int64_t x1, y1;
  border.At(a1, x1, y1, to);
  for (int c = from; c < to; c++) {
    int64_t cx, cy;
    border.Corner(c, cx, cy);
    add(cx, cy);
  }
  add(x1, y1);
  add(out[0], out[1]);
}

// ---- star and sun ----------------------------------------------------------------

// The shape's box at [size]: the larger side of the picture takes the size,
// the other its share of it, plus one.
void ShapeBox(const vkFXState& s, int64_t size, int64_t& w, int64_t& h) {
  const double ratio = double(std::min(s.width, s.height)) / double(std::max(s.width, s.height));
  const int64_t other = std::max<int64_t>(1, int64_t(ratio * double(size)) + 1);
  if (s.width < s.height)
    w = other, h = size;
  else
    w = size, h = other;
}

void StarPolygon(const vkFXState& s, int64_t size, vkPolygon& out) {
  int64_t W, H;
  ShapeBox(s, size, W, H);
  const int64_t L = (s.width - W) / 2, T = (s.height - H) / 2;
  auto f = [](double k, int64_t v) { return int64_t(k * double(v)); };
  const int64_t mid = T + f(0.375, H);
  const int64_t pts[] = {L,         mid,       L + f(0.4, W),     mid,       L + W / 2,     T,
                         L + W - f(0.4, W),     mid,       L + W - 1, mid,       L + W - f(0.3, W), T + f(0.6, H),
                         L + W - W / 5, T + H - 1, L + W / 2,     T + H - H / 4, L + W / 5, T + H - 1,
                         L + f(0.3, W), T + f(0.6, H), L, mid};
  out.clear();
  for (int64_t v : pts) out.push_back(int32_t(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)));
}

int32_t SunPolygon(const vkFXState& s, int64_t size, vkPolygon& out) {
  int64_t W, H;
  ShapeBox(s, size, W, H);
  int64_t& small = s.width < s.height ? W : H;
  small = std::max<int64_t>(small, 3);
  if (W % 2 == 0) W++;
  if (H % 2 == 0) H++;
  W = std::min<int64_t>(W, INT32_MAX / 4), H = std::min<int64_t>(H, INT32_MAX / 4);
  const int32_t count = MakeArcPoints(out, int32_t(W / 2), int32_t(H / 2), 0, 360);
  const int64_t dx = (s.width - W) / 2, dy = (s.height - H) / 2;
  for (size_t i = 0; i + 1 < out.size(); i += 2) out[i] = int32_t(out[i] + dx), out[i + 1] = int32_t(out[i + 1] + dy);
  return count - 1;  // the full ellipse repeats its first point
}

// Clips a closed polygon of [count] points to the picture; the clipped
// count (closed likewise in [poly]).
int32_t ClipToPicture(const vkFXState& s, vkPolygon& poly, vkPolygon& spare, int32_t count) {
  const int32_t edges[][2] = {{0, kKeepRightOf}, {0, kKeepBelow}, {s.width - 1, kKeepLeftOf}, {s.height - 1, kKeepAbove}};
  for (const auto& e : edges) {
    if (count < 1) return 0;
    count = ClipPolygonEdge(count, poly, spare, e[0], e[1]);
    std::swap(poly, spare);
  }
  return count;
}

// ---- the family ------------------------------------------------------------------

int64_t ShapeSize(const vkFXState& s, int64_t k) { return k * s.speed + 10; }

// Frame k's shape into [p].points (closed); false when frame k is the end:
// the shape covers the picture.
bool FrameShape(vkFXState& s, vkMaskShape& p, int64_t k, int32_t& count) {
  switch (s.row->variant) {
    case kFXShapeClock: {
      if (k >= ClockFrames(s)) return false;
      ClockSector(s, (k - 1) * s.speed, k * s.speed, p.points);
      count = int32_t(p.points.size() / 2) - 1;
      return true;
    }
    case kFXShapeStar: {
      int64_t W, H;
      ShapeBox(s, ShapeSize(s, k), W, H);
      if (W >= 4 * int64_t(s.width)) return false;
      StarPolygon(s, ShapeSize(s, k), p.points);
      count = ClipToPicture(s, p.points, p.clipped, 10);
      return true;
    }
    default: {
      const int64_t size = ShapeSize(s, k);
      count = ClipToPicture(s, p.points, p.clipped, SunPolygon(s, size, p.points));
      // Covered when only the picture's corners are left (or beyond any doubt).
      if (size > 4 * (int64_t(s.width) + s.height) + 16) return false;
      for (int32_t i = 0; i < count; i++) {
        const int32_t x = p.points[2 * size_t(i)], y = p.points[2 * size_t(i) + 1];
        if ((x != 0 && x != s.width - 1) || (y != 0 && y != s.height - 1)) return true;
      }
      return false;
    }
  }
}

void FillShape(vkMaskShape& p, int32_t count) {
  if (count < 1) return;
  if (p.scratch.size() < size_t(count)) p.scratch.resize(size_t(count));
  FillMaskPolygon(p.mask.get(), p.points.data(), count, p.scratch.data());
}

// The rectangle a shape of [count] points spans, cut to the picture.
vkFXRect ShapeRect(const vkFXState& s, const vkMaskShape& p, int32_t count) {
  if (count < 1) return {};
  int64_t x1 = INT64_MAX, y1 = INT64_MAX, x2 = INT64_MIN, y2 = INT64_MIN;
  for (int32_t i = 0; i < count; i++) {
    x1 = std::min<int64_t>(x1, p.points[2 * size_t(i)]), x2 = std::max<int64_t>(x2, p.points[2 * size_t(i)]);
    y1 = std::min<int64_t>(y1, p.points[2 * size_t(i) + 1]), y2 = std::max<int64_t>(y2, p.points[2 * size_t(i) + 1]);
  }
  return FXCutToPicture(s, {x1, y1, x2 - x1 + 1, y2 - y1 + 1});
}

// The alpha bytes of [sourceAlpha] where [mask] is set, 0 elsewhere; with
// [invert] the other way round.
void FXMaskToLayerAlpha(vkPlane* mask, vkPlane* alpha, const vkPlane* sourceAlpha, int32_t width, int32_t height,
                        bool invert) {
  if (invert) FillMaskRect(mask, 0, 0, width, height, 3);
  MaskToAlpha(mask, alpha, width, height);
  if (invert) FillMaskRect(mask, 0, 0, width, height, 3);
  BltAlphaPlane(sourceAlpha, 0, 0, alpha, 0, 0, width, height, 7, 0);
}

// Shows the rectangle [r] of the source through the effect mask, or cuts
// the mask out of the layer when hiding in real-time layer mode.
void ShowThroughMask(vkFXState& s, vkMaskShape& p, vkFXRect r) {
  if (r.Empty()) return;
  if (s.realtime && s.reverse) {
    if (s.sourceAlpha) {
      if (vkPlane* alpha = FXLayerAlpha(s)) FXMaskToLayerAlpha(p.mask.get(), alpha, s.sourceAlpha, s.width, s.height, true);
    } else if (vkPlane* mask = FXLayerMaskPlane(s)) {
      BltMaskPlane(p.mask.get(), 0, 0, mask, 0, 0, s.width, s.height, 1);
    }
    if (!s.replaying) FXRefreshRect(s, int32_t(r.x), int32_t(r.y), int32_t(r.w), int32_t(r.h), 0);
    return;
  }
  const vkPlane* mask = p.mask.get();
  const vkPlane* alpha = nullptr;
  if (s.sourceMask && !s.reverse) BltMaskPlane(s.sourceMask, 0, 0, p.mask.get(), 0, 0, s.width, s.height, 4);
  if (s.sourceAlpha && !s.reverse && p.alpha) {
    FXMaskToLayerAlpha(p.mask.get(), p.alpha.get(), s.sourceAlpha, s.width, s.height, false);
    mask = nullptr, alpha = p.alpha.get();
  }
  FXComposedBlit(s, s.source, mask, alpha, r, p.work, kFXBlitCombine);
}

// The end: the whole source, or in a layer being hidden nothing at all.
void ShowWhole(vkFXState& s, vkMaskShape& p) {
  const vkFXRect whole{0, 0, s.width, s.height};
  if (s.realtime && s.reverse) {
    FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height, kFXBlitErase | (s.replaying ? kFXBlitNoShow : 0));
    return;
  }
  FXComposedBlit(s, s.source, s.sourceMask, s.sourceAlpha, whole, p.work, 0);
}

}  // namespace

int32_t FXMaskShapeSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkMaskShape;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  if (s.row->variant == kFXShapeClock) {
    s.speed = FXNamedStep(s.speed, 15, 10, 5, 1, 30);
  } else {
    s.speed = std::clamp(FXSpeedToStep(s.speed, std::max(s.width, s.height), 12, 6, 24), 1, 100);
  }
  p->work.reset(AllocArgbBitMap(s.width, s.height));
  p->mask.reset(AllocMaskPlane(s.width, s.height, true));
  if (!p->work || !p->mask) return kErrOutOfMemory;
  if (s.sourceAlpha && !s.reverse) {
    p->alpha.reset(AllocAlphaPlane(s.width, s.height, true));
    if (!p->alpha) return kErrOutOfMemory;
  }
  // The frames run until the shape covers the picture.
  int64_t k = 1;
  int32_t count = 0;
  while (k < INT32_MAX && FrameShape(s, *p, k, count)) k++;
  s.stepCount = int32_t(k);
  return 0;
}

int32_t FXMaskShapeDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkMaskShape& p = s.Private<vkMaskShape>();
  int32_t count = 0;
  if (fromScratch) {
    FXClearDestination(s);
    FillMaskRect(p.mask.get(), 0, 0, s.width, s.height, 1);
    if (p.alpha) FillAlphaRect(p.alpha.get(), 0, 0, s.width, s.height, 0);
  }
  if (!FrameShape(s, p, k, count)) {
    *last = true;
    ShowWhole(s, p);
  } else if (fromScratch) {
    // Every frame's shape up to this one, then the whole picture through them.
    for (int64_t j = 1; j < k; j++) {
      int32_t n = 0;
      FrameShape(s, p, j, n);
      FillShape(p, n);
    }
    FrameShape(s, p, k, count);
    FillShape(p, count);
    ShowThroughMask(s, p, {0, 0, s.width, s.height});
  } else {
    FillShape(p, count);
    ShowThroughMask(s, p, ShapeRect(s, p, count));
  }
  if (fromScratch && s.realtime && !s.replaying) FXRefreshRect(s, 0, 0, s.width, s.height, 0);
  return 0;
}

void FXMaskShapeCleanup(vkFXState& s, int32_t) {
  vkMaskShape& p = s.Private<vkMaskShape>();
  p.work.reset(), p.mask.reset(), p.alpha.reset();
  p.points = {}, p.clipped = {}, p.scratch = {};
}
