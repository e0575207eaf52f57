// Roll and wallpaper: the new picture unrolls from the top or the left edge
// like a roll of paper, a small roll or one half the picture across.
// Behind the roll the new picture lies flat, ahead of it the old one stays;
// the roll itself is a band the pixel engine's curl kernel renders from the
// part of the picture still rolled up. Hiding a layer rolls it back up and
// clears what the roll leaves. Each frame lays flat the strip the roll has
// left since the frame before (from the picture's edge when drawn from
// scratch), then the band.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "effects/fxcomposed.h"
#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/transitionkernels.h"

namespace {

constexpr int32_t kLeastDiameter = 20;

struct vkRoll : vkFXPrivate {
  bool horizontal = false;  // rolls rightwards (columns), else downwards (rows)
  int32_t size = 0;         // the picture along the rolling axis
  int32_t diameter = 0;
  vkBitMapPtr curl;           // the band, rendered at its own lines
  vkBitMapPtr compose;        // display: a band composed over the old picture
  vkBitMapPtr scratch;        // display: the composed blit's scratch
  vkPlanePtr curlMask, curlAlpha;  // the band's planes, for a source with them
  std::vector<double> arcs;   // the angle on the roll of each line across it
  int64_t previousStart = kNoRollLine;  // where the last band started
  int64_t previousEnd = 0;              // hiding: where the last band ended
};

int64_t Position(const vkFXState& s, const vkRoll& p, int32_t k) {
  const int64_t moved = int64_t(k) * s.speed;
  return s.reverse ? p.size - moved : moved;
}

// Lines [a, b) along the rolling axis, the whole picture across.
vkFXRect Lines(const vkFXState& s, const vkRoll& p, int64_t a, int64_t b) {
  if (b <= a) return {};
  return p.horizontal ? vkFXRect{a, 0, b - a, s.height} : vkFXRect{0, a, s.width, b - a};
}

// The source laid flat over lines [a, b).
void DrawFlat(vkFXState& s, vkRoll& p, int64_t a, int64_t b) {
  FXComposedBlit(s, s.source, s.sourceMask, s.sourceAlpha, Lines(s, p, a, b), p.scratch, 0);
}

// Lines [a, b) of the layer cleared (hiding).
void Erase(vkFXState& s, vkRoll& p, int64_t a, int64_t b) {
  const vkFXRect r = FXCutToPicture(s, Lines(s, p, a, b));
  if (r.Empty()) return;
  FXBlit(s, s.source, nullptr, nullptr, int32_t(r.x), int32_t(r.y), int32_t(r.w), int32_t(r.h),
         kFXBlitErase | (s.replaying ? kFXBlitNoShow : 0));
}

// The band of lines [a, b) from the curl bitmap. With source planes on the
// display it is composed over the old picture and the flat source first.
void DrawBand(vkFXState& s, vkRoll& p, int64_t a, int64_t b) {
  const vkFXRect r = FXCutToPicture(s, Lines(s, p, a, b));
  if (r.Empty()) return;
  const int32_t x = int32_t(r.x), y = int32_t(r.y), w = int32_t(r.w), h = int32_t(r.h);
  const bool planes = s.sourceMask || s.sourceAlpha;
  if (s.realtime) {
    FXBlitTo(s, p.curl.get(), p.curlMask.get(), p.curlAlpha.get(), s.width, s.height, x, y, x, y, w, h,
             s.replaying ? kFXBlitNoShow : 0);
    return;
  }
  if (!planes) {
    FXDrawAt(s, p.curl.get(), nullptr, nullptr, s.width, s.height, x, y, x, y, w, h, 0);
    return;
  }
  if (s.oldPicture)
    BltBitMap(s.oldPicture.get(), x, y, p.compose.get(), x, y, w, h);
  else
    FillBitMapRect(p.compose.get(), 0, x, y, w, h);
  vkBlitRequest q;
  q.sx = x, q.sy = y, q.dst = p.compose.get(), q.dx = x, q.dy = y;
  q.width = w, q.height = h;
  q.srcWidth = q.dstWidth = s.width, q.srcHeight = q.dstHeight = s.height;
  q.flags = kBlitIgnoreClip | kBlitNoSprites;
  q.src = s.source, q.mask = s.sourceMask, q.alpha = s.sourceAlpha;
  SafeBlt(*s.gs, q);
  q.src = p.curl.get(), q.mask = p.curlMask.get(), q.alpha = p.curlAlpha.get();
  SafeBlt(*s.gs, q);
  FXDrawAt(s, p.compose.get(), nullptr, nullptr, s.width, s.height, x, y, x, y, w, h, 0);
}

// Renders the roll ending at [position] into the curl bitmap; the band's
// first line and its number of lines (0 when nothing was drawn).
void RenderBand(vkFXState& s, vkRoll& p, int64_t position, int64_t& start, int64_t& length) {
  start = kNoRollLine, length = 0;
  vkBitMapInfo src, dst;
  LockBitMap(const_cast<vkBitMap*>(s.source), &src);
  LockBitMap(p.curl.get(), &dst);
  if (src.locked && dst.locked && src.bytesPerPixel == dst.bytesPerPixel) {
    vkRollContext c{};
    c.srcPixels = src.pixels, c.dstPixels = dst.pixels;
    c.srcPixelsPerRow = src.pixelsPerRow, c.dstPixelsPerRow = dst.pixelsPerRow;
    if (s.sourceMask && p.curlMask) {
      c.srcMask = s.sourceMask->data, c.srcMaskBytesPerRow = s.sourceMask->bytesPerRow;
      c.dstMask = p.curlMask->data, c.dstMaskBytesPerRow = p.curlMask->bytesPerRow;
    } else if (s.sourceAlpha && p.curlAlpha) {
      c.srcAlpha = s.sourceAlpha->data, c.srcAlphaBytesPerRow = s.sourceAlpha->bytesPerRow;
      c.dstAlpha = p.curlAlpha->data, c.dstAlphaBytesPerRow = p.curlAlpha->bytesPerRow;
    }
    c.angles = p.arcs.data();
    c.width = s.width, c.height = s.height;
    c.direction = p.horizontal ? 1 : 0;
    c.rollSize = p.diameter;
    c.rollPosition = int32_t(std::clamp<int64_t>(position, INT32_MIN / 2, INT32_MAX / 2));
    c.bytesPerPixel = src.bytesPerPixel;
    RenderRollCurl(&c);
    if (c.linesDrawn > 0) start = c.firstLine, length = c.linesDrawn;
  }
  UnLockBitMap(&dst);
  UnLockBitMap(&src);
}

}  // namespace

int32_t FXRollSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkRoll;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  p->horizontal = s.row->axis == kFXAlongX;
  p->size = p->horizontal ? s.width : s.height;
  p->diameter = std::max(kLeastDiameter, s.row->variant == kFXRollWallpaper ? p->size / 2 : p->size / 12);
  if (s.speed == kFastSpeed || s.speed == kNormalSpeed || s.speed == kSlowSpeed)
    s.speed = FXNamedStep(s.speed, 5, 2, 1, 1, 8);
  else
    s.speed = std::clamp(s.speed / 5, 1, 8);
  p->curl.reset(AllocArgbBitMap(s.width, s.height));
  if (!p->curl) return kErrOutOfMemory;
  if (!s.realtime) {
    p->compose.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->compose) return kErrOutOfMemory;
  }
  if (s.sourceMask) {
    p->curlMask.reset(AllocMaskPlane(s.width, s.height, true));
    if (!p->curlMask) return kErrOutOfMemory;
  } else if (s.sourceAlpha) {
    p->curlAlpha.reset(AllocAlphaPlane(s.width, s.height, true));
    if (!p->curlAlpha) return kErrOutOfMemory;
  }
  try {
    p->arcs.resize(size_t(p->diameter));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (int32_t k = 0; k < p->diameter; k++)
    p->arcs[size_t(k)] = std::asin(1.0 - 2.0 * k / p->diameter) + M_PI / 2;
  p->previousEnd = p->size;
  s.stepCount = FXStepCount(p->size, s.speed, 1);
  return 0;
}

int32_t FXRollDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkRoll& p = s.Private<vkRoll>();
  const int64_t position = Position(s, p, k);
  if (fromScratch) {
    FXClearDestination(s);
    p.previousStart = kNoRollLine, p.previousEnd = p.size;
  }
  const int64_t flatFrom = std::max<int64_t>(p.previousStart, 0);
  if (s.reverse ? position < 1 : position >= p.size) {
    // The roll has passed the far edge: the rest lies flat, or, rolled
    // back up, nothing is left.
    *last = true;
    if (s.reverse)
      Erase(s, p, 0, p.size);
    else
      DrawFlat(s, p, flatFrom, p.size);
  } else {
    int64_t start, length;
    RenderBand(s, p, position, start, length);
    if (length > 0) {
      if (!s.reverse) DrawFlat(s, p, flatFrom, start);
      DrawBand(s, p, start, start + length);
      if (s.reverse) Erase(s, p, start + length, p.previousEnd);
      p.previousStart = start, p.previousEnd = start + length;
    } else {
      // Nothing of the picture is left on the roll: it lies flat up to the
      // roll's end (hiding: nothing lies past it).
      const int64_t end = std::clamp<int64_t>(position + 1, 0, p.size);
      if (s.reverse)
        Erase(s, p, end, p.previousEnd);
      else
        DrawFlat(s, p, flatFrom, end);
      p.previousStart = p.previousEnd = end;
    }
  }
  if (fromScratch && s.realtime && !s.replaying) FXRefreshRect(s, 0, 0, s.width, s.height, 0);
  return 0;
}

void FXRollCleanup(vkFXState& s, int32_t) {
  vkRoll& p = s.Private<vkRoll>();
  p.curl.reset(), p.compose.reset(), p.scratch.reset();
  p.curlMask.reset(), p.curlAlpha.reset();
  p.arcs = {};
}
