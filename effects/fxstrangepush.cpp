// Strange pushes: the new picture comes in from two opposite edges at once,
// the far end of it on the odd rows and the near end on the even rows, so
// that the two parts comb into each other and meet as the whole picture.
// Two comb planes, made from the source's mask or alpha with every other row
// cleared, carry the rows. One routine serves both ids: the row gives the
// axis the parts travel along (the comb always alternates by rows). Frame k
// has both parts k steps in.
#include <algorithm>
#include <cstring>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/blit.h"

namespace {

struct vkStrangePush : vkFXPrivate {
  int64_t step = 2;  // always even, so that a part keeps its rows from frame to frame
  vkBitMapPtr work;  // outside real-time layer mode: the old picture with the parts drawn over it
  // Comb i lets through the rows of the other parity than i: sources with
  // an alpha plane get comb alpha planes, all others comb masks.
  vkPlanePtr combMask[2], combAlpha[2];
};

// The old picture (or black where there is none) in the work bitmap.
void ResetWork(vkFXState& s, vkStrangePush& p) {
  if (s.oldPicture)
    BltBitMap(s.oldPicture.get(), 0, 0, p.work.get(), 0, 0, s.width, s.height);
  else
    FillBitMapRect(p.work.get(), 0, 0, 0, s.width, s.height);
}

// Builds the two comb planes from the source's planes: comb i is a copy of
// the source's alpha or mask (all set without one) with the rows i, i + 2,
// i + 4, ... cleared. 0, or 1000 without memory.
int32_t FXMakeInterlacePlanes(vkFXState& s) {
  vkStrangePush& p = s.Private<vkStrangePush>();
  const int32_t w = s.width, h = s.height;
  for (int i = 0; i < 2; i++) {
    p.combMask[i].reset(), p.combAlpha[i].reset();
    vkPlane* comb = nullptr;
    if (s.sourceAlpha) {
      comb = AllocAlphaPlane(w, h, true);
      if (!comb) return kErrOutOfMemory;
      p.combAlpha[i].reset(comb);
      ClipBltAlphaPlane(s.sourceAlpha, 0, 0, comb, 0, 0, w, h, 0, 0, s.sourceAlpha->width, s.sourceAlpha->height,
                        comb->width, comb->height);
    } else {
      comb = AllocMaskPlane(w, h, true);
      if (!comb) return kErrOutOfMemory;
      p.combMask[i].reset(comb);
      if (s.sourceMask)
        BltMaskPlane(s.sourceMask, 0, 0, comb, 0, 0, w, h, 2);
      else
        FillMaskRect(comb, 0, 0, w, h, 0);
    }
    for (int32_t y = i; y < comb->height; y += 2)
      std::memset(comb->data + size_t(y) * size_t(comb->bytesPerRow), 0, size_t(comb->bytesPerRow));
  }
  return 0;
}

}  // namespace

int32_t FXStrangePushSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkStrangePush;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  const int32_t along = FXAlong(s);
  int32_t step = FXSpeedToStep(s.speed, along, 60, 30, 120);
  if (step % 2) step = step < INT32_MAX ? step + 1 : step - 1;
  p->step = s.speed = step;
  if (!s.realtime) {
    p->work.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->work) return kErrOutOfMemory;
    ResetWork(s, *p);
  }
  if (int32_t rc = FXMakeInterlacePlanes(s)) return rc;
  s.stepCount = FXStepCount(along - step, step, 0);
  return 0;
}

int32_t FXStrangePushDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkStrangePush& p = s.Private<vkStrangePush>();
  const int64_t along = FXAlong(s), moved = int64_t(k) * p.step;
  int64_t t = s.reverse ? along - moved : moved;
  if (!s.reverse && t >= along) t = along, *last = true;
  if (s.reverse && t < 1) t = 0, *last = true;
  if (fromScratch)
    if (int32_t rc = FXMakeInterlacePlanes(s)) return rc;
  const int32_t w = s.width, h = s.height, n = int32_t(t);
  // Part 0 takes the far n lines of the source to the near edge through
  // comb 0; part 1 the near n lines to the far edge through comb 1.
  struct Part {
    int32_t sx, sy, dx, dy, w, h;
  };
  const bool alongX = s.row->axis == kFXAlongX;
  const Part parts[2] = {alongX ? Part{w - n, 0, 0, 0, n, h} : Part{0, h - n, 0, 0, w, n},
                         alongX ? Part{0, 0, w - n, 0, n, h} : Part{0, 0, 0, h - n, w, n}};

  if (s.realtime) {
    // The layer starts transparent; the parts combine their combs into it.
    FXBlit(s, s.source, nullptr, nullptr, 0, 0, w, h, kFXBlitErase | kFXBlitNoShow);
    for (int i = 0; i < 2 && n > 0; i++) {
      const Part& q = parts[i];
      FXBlitTo(s, s.source, p.combMask[i].get(), p.combAlpha[i].get(), w, h, q.sx, q.sy, q.dx, q.dy, q.w, q.h,
               kFXBlitCombine | kFXBlitThroughPlanes | kFXBlitNoShow);
    }
    if (!fromScratch && !s.replaying) FXRefreshRect(s, 0, 0, w, h, 32);
    return 0;
  }

  // An opaque source's parts cover what they covered a frame before: only
  // a transparent one, or a frame drawn from scratch, starts afresh.
  if (fromScratch || s.sourceMask || s.sourceAlpha) ResetWork(s, p);
  for (int i = 0; i < 2 && n > 0; i++) {
    const Part& q = parts[i];
    vkBlitRequest r;
    r.src = s.source, r.dst = p.work.get();
    r.sx = q.sx, r.sy = q.sy, r.dx = q.dx, r.dy = q.dy, r.width = q.w, r.height = q.h;
    r.srcWidth = r.dstWidth = w, r.srcHeight = r.dstHeight = h;
    r.flags = kBlitIgnoreClip | kBlitNoSprites;
    r.mask = p.combMask[i].get(), r.alpha = p.combAlpha[i].get();
    SafeBlt(*s.gs, r);
  }
  FXDrawAt(s, p.work.get(), nullptr, nullptr, w, h, 0, 0, 0, 0, w, h, 0);
  return 0;
}

void FXStrangePushCleanup(vkFXState& s, int32_t) {
  vkStrangePush& p = s.Private<vkStrangePush>();
  for (int i = 0; i < 2; i++) p.combMask[i].reset(), p.combAlpha[i].reset();
  p.work.reset();
}
