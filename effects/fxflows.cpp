// Flows: the new picture pours in from an edge. Each frame reveals a band
// of the source and stretches the line next to it over the part not yet
// revealed. One routine serves the four ids: the row gives the axis and
// whether the flow starts at the far edge. Outside real-time layer mode the
// frame is made in a work bitmap over the old picture and the changed part
// shown; in it the layer's buffers take the lines.
#include <algorithm>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/blit.h"

namespace {

struct vkFlow : vkFXPrivate {
  vkBitMapPtr work;  // outside real-time layer mode
  int64_t step = 1;
};

bool FromFar(const vkFXState& s) { return s.row->variant == kFXFlowFromFar; }

// The along/across rectangle as a picture rectangle.
vkFXRect Picture(const vkFXState& s, int64_t a, int64_t la) {
  return s.row->axis == kFXAlongX ? vkFXRect{a, 0, la, s.height} : vkFXRect{0, a, s.width, la};
}

// Draws the source's lines [from, from + count) at lines [to, to + count)
// of the frame: into the work bitmap, or into the layer without showing.
void Put(vkFXState& s, vkFlow& p, int64_t from, int64_t to, int64_t count) {
  const vkFXRect src = Picture(s, from, count), dst = Picture(s, to, count);
  if (from < 0 || count < 1) return;
  if (s.realtime) {
    FXBlitTo(s, s.source, s.sourceMask, s.sourceAlpha, s.width, s.height, int32_t(src.x), int32_t(src.y),
             int32_t(dst.x), int32_t(dst.y), int32_t(src.w), int32_t(src.h), kFXBlitNoShow | kFXBlitKeepCopies);
    return;
  }
  vkBlitRequest r;
  r.src = s.source, r.dst = p.work.get();
  r.sx = int32_t(src.x), r.sy = int32_t(src.y), r.dx = int32_t(dst.x), r.dy = int32_t(dst.y);
  r.width = int32_t(src.w), r.height = int32_t(src.h);
  r.srcWidth = r.dstWidth = s.width, r.srcHeight = r.dstHeight = s.height;
  r.flags = kBlitIgnoreClip | kBlitNoSprites;
  r.mask = s.sourceMask, r.alpha = s.sourceAlpha;
  SafeBlt(*s.gs, r);
}

// Lines [from, from + count) of the frame reach the screen.
void Show(vkFXState& s, vkFlow& p, int64_t from, int64_t count) {
  const vkFXRect r = Picture(s, from, count);
  if (r.Empty() || s.replaying) return;
  if (s.realtime)
    FXRefreshRect(s, int32_t(r.x), int32_t(r.y), int32_t(r.w), int32_t(r.h), 0);
  else
    FXDrawAt(s, p.work.get(), nullptr, nullptr, s.width, s.height, int32_t(r.x), int32_t(r.y), int32_t(r.x),
             int32_t(r.y), int32_t(r.w), int32_t(r.h), 0);
}

// Under a source with planes the work bitmap holds the old picture first.
void OldBeneath(vkFXState& s, vkFlow& p, int64_t from, int64_t count) {
  if (s.realtime || (!s.sourceMask && !s.sourceAlpha) || !s.oldPicture) return;
  const vkFXRect r = Picture(s, from, count);
  FXClipBlit(s.oldPicture.get(), int32_t(r.x), int32_t(r.y), p.work.get(), int32_t(r.x), int32_t(r.y),
             int32_t(r.w), int32_t(r.h), s.width, s.height, s.width, s.height);
}

}  // namespace

int32_t FXFlowSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkFlow;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  const int32_t n = FXAlong(s);
  const bool rows = s.row->axis == kFXAlongY;
  const int32_t step = std::clamp(FXSpeedToStep(s.speed, n, rows ? 50 : 30, rows ? 20 : 10, rows ? 120 : 80), 1, 30);
  s.stepCount = s.reverse ? FXStepCount(n - 2 * step, step, 0) : FXStepCount(n - step, step, 0);
  if (!s.realtime) {
    p->work.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->work) return kErrOutOfMemory;
  }
  p->step = s.speed = step;
  return 0;
}

// Frame k: the edge of the revealed part stands k steps in (hiding: k
// steps back); the line beside the band fills the rest.
int32_t FXFlowDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkFlow& p = s.Private<vkFlow>();
  const int64_t n = FXAlong(s), t = p.step, moved = int64_t(k) * t;
  const bool far = FromFar(s);
  // How far the picture has come: lines [0, q) near, [q, n) far.
  int64_t q = far != static_cast<bool>(s.reverse) ? n - moved : moved;
  const bool erase = s.reverse && (far ? q >= n - t : q <= t);
  if (erase || (!s.reverse && (far ? q < 1 : q >= n))) *last = true;
  if (erase) {
    FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height,
           kFXBlitErase | (s.replaying || fromScratch ? kFXBlitNoShow : 0));
    return 0;
  }
  q = std::clamp<int64_t>(q, 0, n);
  if (fromScratch) {
    OldBeneath(s, p, 0, n);
    if (far) {
      Put(s, p, q, q, n - q);
      for (int64_t line = 0; line < q; line++) Put(s, p, q - 1, line, 1);
    } else {
      Put(s, p, 0, 0, q);
      for (int64_t line = q; line < n; line++) Put(s, p, q - 1, line, 1);
    }
    return 0;
  }
  if (far) {
    OldBeneath(s, p, 0, n);
    Put(s, p, q, q, t);
    for (int64_t line = 0; line < q; line++) Put(s, p, q - 1, line, 1);
    Show(s, p, 0, std::min(q + t, n));
  } else {
    const int64_t band = std::max<int64_t>(q - t, 0);
    OldBeneath(s, p, band, n - band);
    Put(s, p, band, band, q - band);
    for (int64_t line = q; line < n; line++) Put(s, p, q - 1, line, 1);
    Show(s, p, band, n - band);
  }
  return 0;
}

void FXFlowCleanup(vkFXState& s, int32_t) { s.Private<vkFlow>().work.reset(); }
