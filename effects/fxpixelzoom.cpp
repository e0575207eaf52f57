// Pixel zooms: the new picture comes in as coarse blocks that become finer
// until it is sharp (PIXELZOOM1), or the old picture first breaks into ever
// larger blocks and the new one sharpens from the coarsest (PIXELZOOM2);
// hiding breaks the picture into ever larger blocks and then takes it away.
// The pixelate kernel paints each block in its top-left pixel's colour and
// carries the source's mask or alpha along; the number of frames is fixed,
// the speed has no part in it. Frame k's block size comes from k alone.
#include <algorithm>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"
#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/blit.h"
#include "pixel/transitionkernels.h"

namespace {

inline constexpr int32_t kZoomInSteps = 25;   // blocks of 24 down to 1, then the end
inline constexpr int32_t kZoomOutSteps = 49;  // 2 up to 24 of the old picture, 25 down to 1 of the new

struct vkPixelZoom : vkFXPrivate {
  bool breakOldFirst = false;  // PIXELZOOM2 as it runs
  vkBitMapPtr work;            // the blocks
  vkBitMapPtr composition;     // on the display, for a source with planes: the blocks over the old picture
  vkPlanePtr effectMask, effectAlpha;  // the blocks' planes, for a source with a mask or alpha
};

// Paints [input] (the effect's size, with its planes) in blocks of [block]
// into the work bitmap and the effect planes. A picture the kernels cannot
// take leaves the work bitmap as it was.
void Pixelate(vkFXState& s, vkPixelZoom& p, const vkBitMap* input, const vkPlane* mask, const vkPlane* alpha,
              int32_t block) {
  const int32_t w = s.width, h = s.height;
  vkBitMap* work = p.work.get();
  if (!input || input->width < w || input->height < h || input->bytesPerPixel != work->bytesPerPixel) return;
  if ((mask && (mask->width < w || mask->height < h || !p.effectMask)) ||
      (alpha && (alpha->width < w || alpha->height < h || !p.effectAlpha)))
    return;
  vkPixelateContext c{};
  c.srcPixels = input->pixels, c.dstPixels = work->pixels;
  c.srcPixelsPerRow = input->bytesPerRow / input->bytesPerPixel;
  c.dstPixelsPerRow = work->bytesPerRow / work->bytesPerPixel;
  if (mask) {
    c.srcMask = mask->data, c.srcMaskBytesPerRow = mask->bytesPerRow;
    c.dstMask = p.effectMask->data, c.dstMaskBytesPerRow = p.effectMask->bytesPerRow;
  } else if (alpha) {
    c.srcAlpha = alpha->data, c.srcAlphaBytesPerRow = alpha->bytesPerRow;
    c.dstAlpha = p.effectAlpha->data, c.dstAlphaBytesPerRow = p.effectAlpha->bytesPerRow;
  }
  c.width = w, c.height = h, c.blockSize = block;
  switch (input->bytesPerPixel) {
    case 4: PixelateBlocks32(&c); break;
    case 3: PixelateBlocks24(&c); break;
    case 2: PixelateBlocks16(&c); break;
    default: break;
  }
}

// Shows [picture] with its planes: into the layer's buffers, or on the
// display over the old picture.
void Show(vkFXState& s, vkPixelZoom& p, const vkBitMap* picture, const vkPlane* mask, const vkPlane* alpha,
          uint32_t flags) {
  const int32_t w = s.width, h = s.height;
  if (s.realtime) {
    FXBlit(s, picture, mask, alpha, 0, 0, w, h, flags);
    return;
  }
  if ((mask || alpha) && p.composition) {
    vkBitMap* c = p.composition.get();
    if (s.oldPicture)
      BltBitMap(s.oldPicture.get(), 0, 0, c, 0, 0, w, h);
    else
      FillBitMapRect(c, 0, 0, 0, w, h);
    vkBlitRequest r;
    r.src = picture, r.dst = c;
    r.width = w, r.height = h, r.srcWidth = r.dstWidth = w, r.srcHeight = r.dstHeight = h;
    r.flags = kBlitIgnoreClip | kBlitNoSprites;
    r.mask = mask, r.alpha = alpha;
    SafeBlt(*s.gs, r);
    picture = c;
  }
  FXDrawAt(s, picture, nullptr, nullptr, w, h, 0, 0, 0, 0, w, h, flags);
}

}  // namespace

int32_t FXPixelZoomSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkPixelZoom;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  // A layer shown without a BGPic to stand for has no old picture to break.
  p->breakOldFirst = s.row->variant == kFXPixelZoomOut && !(s.realtime && !s.bgpicemu);
  p->work.reset(AllocArgbBitMap(s.width, s.height));
  if (!p->work) return kErrOutOfMemory;
  if (s.sourceMask || s.sourceAlpha) {
    p->composition.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->composition) return kErrOutOfMemory;
  }
  if (s.sourceMask) {
    p->effectMask.reset(AllocMaskPlane(s.width, s.height, true));
    if (!p->effectMask) return kErrOutOfMemory;
  } else if (s.sourceAlpha) {
    p->effectAlpha.reset(AllocAlphaPlane(s.width, s.height, true));
    if (!p->effectAlpha) return kErrOutOfMemory;
  }
  // Hiding ends once the blocks have grown to their largest.
  s.stepCount = FXStepCount(p->breakOldFirst && !s.reverse ? kZoomOutSteps : kZoomInSteps, 1, 1);
  return 0;
}

int32_t FXPixelZoomDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkPixelZoom& p = s.Private<vkPixelZoom>();
  const uint32_t flags = s.realtime && (fromScratch || s.replaying) ? kFXBlitNoShow : 0;
  const vkBitMap* input = s.source;
  const vkPlane *mask = s.sourceMask, *alpha = s.sourceAlpha;
  int32_t block;
  if (s.reverse) {
    if (k >= kZoomInSteps) {
      // The picture goes: the layer is erased, or the old picture comes back.
      *last = true;
      if (s.realtime)
        FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height, kFXBlitErase | flags);
      else if (s.oldPicture)
        Show(s, p, s.oldPicture.get(), nullptr, nullptr, flags);
      return 0;
    }
    block = k + 1;
  } else if (p.breakOldFirst && k < kZoomInSteps - 1) {
    block = k + 1, input = s.oldPicture.get(), mask = alpha = nullptr;
    if (!input) return 0;
  } else {
    const int32_t steps = p.breakOldFirst ? kZoomOutSteps : kZoomInSteps;
    block = steps - k;
    if (block <= 0) {
      // The end: the picture is sharp since the frame before.
      *last = true;
      if (!fromScratch) return 0;
      block = 1;
    } else if (k == 0) {
      // Before the first frame: nothing of the new picture shows yet.
      if (s.realtime)
        FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height, kFXBlitErase | flags);
      else if (s.oldPicture)
        Show(s, p, s.oldPicture.get(), nullptr, nullptr, flags);
      return 0;
    }
  }
  if (block == 1) {
    Show(s, p, input, mask, alpha, flags);
    return 0;
  }
  Pixelate(s, p, input, mask, alpha, block);
  Show(s, p, p.work.get(), mask ? p.effectMask.get() : nullptr, alpha && !mask ? p.effectAlpha.get() : nullptr,
       flags);
  return 0;
}

void FXPixelZoomCleanup(vkFXState& s, int32_t) {
  vkPixelZoom& p = s.Private<vkPixelZoom>();
  p.composition.reset(), p.effectMask.reset(), p.effectAlpha.reset(), p.work.reset();
}
