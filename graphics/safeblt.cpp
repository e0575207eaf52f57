// The clipped blit. Each call takes the scratch plane of its own nesting
// depth, because the layers' recomposition blits through clip regions of its
// own while an outer call still holds its scratch; the fallback display and
// the depth are restored on every way out.
#include "graphics/safeblt.h"

#include <algorithm>
#include <cstdio>

#include "graphics/bgpics.h"
#include "graphics/geometry.h"
#include "graphics/graphicslib.h"
#include "graphics/sprites.h"
#include "pixel/alphakernels.h"
#include "pixel/blit.h"
#include "pixel/blitclip.h"

namespace {

// Counts a call's nesting depth and, when it borrowed the fallback display,
// gives the current display back, whichever way the call ends.
class vkBlitCall {
 public:
  explicit vkBlitCall(vkGraphicsState& gs) : gs_(gs) { ++gs_.blitDepth; }
  ~vkBlitCall() {
    --gs_.blitDepth;
    if (borrowed_) gs_.CurrentDisplay = nullptr;
  }
  vkBlitCall(const vkBlitCall&) = delete;
  vkBlitCall& operator=(const vkBlitCall&) = delete;

  void BorrowFallback() {
    gs_.CurrentDisplay = gs_.fallbackDisplay.get();
    borrowed_ = true;
  }
  // The scratch plane of this depth.
  vkBlitScratch& Scratch() {
    const size_t level = size_t(gs_.blitDepth - 1);
    while (gs_.scratch.size() <= level) gs_.scratch.push_back(std::make_unique<vkBlitScratch>());
    return *gs_.scratch[level];
  }

 private:
  vkGraphicsState& gs_;
  bool borrowed_ = false;
};

// Makes the scratch at least [need] bytes; it only grows. A failed growth
// leaves it empty, never a freed buffer with its old capacity.
bool GrowScratch(vkBlitScratch& s, size_t need) {
  if (need <= s.capacity && s.data) return true;
  s.data.reset();
  s.capacity = 0;
  s.data.reset(static_cast<uint8_t*>(AllocateBytes(need, false)));
  if (!s.data) return false;
  s.capacity = need;
  return true;
}

bool Overlaps(int64_t ax1, int64_t ay1, int64_t ax2, int64_t ay2, int64_t bx1, int64_t by1, int64_t bx2,
              int64_t by2) {
  return ax1 <= bx2 && bx1 <= ax2 && ay1 <= by2 && by1 <= ay2;
}

bool TouchesSprite(const vkBGPic* target, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!target) return false;
  for (const vkSpriteInstance& s : target->sprites)
    if (Overlaps(x, y, int64_t(x) + w - 1, int64_t(y) + h - 1, s.x, s.y, int64_t(s.x) + s.width - 1,
                 int64_t(s.y) + s.height - 1))
      return true;
  return false;
}

bool IsScaled(const vkDisplay* d) { return d->scaling != 0 && d->scaledWidth != 0 && d->scaledHeight != 0; }

}  // namespace

void RedrawRect(vkGraphicsState& gs, vkDisplay* display, vkBitMap* dst, int32_t x, int32_t y, int32_t width,
                int32_t height, int32_t flags) {
  if (!display) return;
  if (gs.redraw) return gs.redraw(gs, display, display->bgpic, dst, x, y, width, height, flags);
  if (flags != kRedrawSpritesOnly) BltBitMap(display->backBuffer, x, y, dst, x, y, width, height);
  if (flags != kRedrawNoSprites) DrawSpriteInstances(gs, display->bgpic, dst, x, y, width, height);
}

void SafeBlt(vkGraphicsState& gs, const vkBlitRequest& rq) {
  vkBlitCall call(gs);
  uint32_t flags = rq.flags;
  if (!gs.CurrentDisplay) {
    if (!rq.dst || !(flags & kBlitPixelsOnly) || !gs.fallbackDisplay) {
      std::fputs("ERROR! SAFEBLT() CALLED WITH DISPLAY=NULL!\n", stdout);
      std::fflush(stdout);
      return;
    }
    call.BorrowFallback();
    flags |= kBlitNoSprites;
  }
  vkDisplay* display = gs.CurrentDisplay;
  if (rq.sx < 0 || rq.sy < 0) return;

  // The rectangle, cut to the clip region or the destination's top-left,
  // then to the source, the destination and every plane it reads.
  const vkClipRegion* clip = (flags & kBlitIgnoreClip) ? nullptr : rq.clip;
  int64_t srcW = rq.srcWidth, srcH = rq.srcHeight;
  if (rq.src) srcW = std::min<int64_t>(srcW, rq.src->width), srcH = std::min<int64_t>(srcH, rq.src->height);
  if (rq.mask) srcW = std::min(srcW, MaskExtentW(rq.mask)), srcH = std::min(srcH, PlaneExtentH(rq.mask));
  if (rq.alpha) srcW = std::min(srcW, ByteExtentW(rq.alpha)), srcH = std::min(srcH, PlaneExtentH(rq.alpha));
  int32_t dstW = rq.dstWidth, dstH = rq.dstHeight;
  if (rq.dst) dstW = std::min(dstW, rq.dst->width), dstH = std::min(dstH, rq.dst->height);
  int32_t x0 = rq.sx, y0 = rq.sy, x1 = rq.dx, y1 = rq.dy, width = rq.width, height = rq.height;
  if (!ClipBltRects(clip, x0, y0, x1, y1, width, height, int32_t(srcW), int32_t(srcH), dstW, dstH, clip != nullptr))
    return;
  const int64_t sy = y0, h = height;

  vkBGPic* target = gs.CurrentBGPic;
  if (!(flags & kBlitNoSprites) && TouchesSprite(target, x1, y1, width, height)) {
    // Drawn beneath the sprites: into the display's buffers, then the
    // composed rectangle goes where this call was asked to draw.
    vkBlitRequest under = rq;
    under.sx = x0, under.sy = y0, under.dx = x1, under.dy = y1, under.width = width, under.height = height;
    under.flags = kBlitNoSprites;
    under.dstWidth = target->width, under.dstHeight = target->height;
    if (flags & kBlitBackground) {
      under.dst = display->backBuffer;
      SafeBlt(gs, under);
      RedrawRect(gs, display, display->screenBuffer, x1, y1, width, height, kRedrawAll);
    } else {
      RedrawRect(gs, display, display->screenBuffer, x1, y1, width, height, kRedrawNoSprites);
      under.dst = display->screenBuffer;
      SafeBlt(gs, under);
      RedrawRect(gs, display, display->screenBuffer, x1, y1, width, height, kRedrawSpritesOnly);
    }
    vkBlitRequest show;
    show.src = display->screenBuffer;
    show.sx = x1, show.sy = y1, show.dst = rq.dst, show.dx = x1, show.dy = y1;
    show.width = width, show.height = height;
    show.srcWidth = show.dstWidth = target->width, show.srcHeight = show.dstHeight = target->height;
    show.flags = kBlitIgnoreClip | kBlitNoSprites;
    return SafeBlt(gs, show);
  }

  // A shaped region: the blit goes through its mask, combined with the
  // source's mask or alpha, in this depth's scratch plane.
  const vkPlane* mask = rq.mask;
  const vkPlane* alpha = rq.alpha;
  if (clip && clip->mask && clip->mask->data) {
    vkBlitScratch& s = call.Scratch();
    const int32_t stride = alpha ? int32_t(srcW) : MaskBytesPerRow(int32_t(srcW));
    if (!GrowScratch(s, size_t(stride) * size_t(sy + h))) return;
    s.plane = vkPlane{s.data.get(), int32_t(srcW), int32_t(sy + h), stride, 1};
    vkClipMaskBlock b{};
    b.clipMask = clip->mask->data, b.clipBytesPerRow = clip->mask->bytesPerRow;
    b.scratch = s.data.get();
    b.clipX = clip->x, b.clipY = clip->y;
    b.blitX = x0, b.blitY = y0, b.dstX = x1, b.dstY = y1, b.width = width, b.height = height;
    if (alpha) {
      b.srcBytes = alpha->data, b.srcBytesPerRow = alpha->bytesPerRow, b.scratchBytesPerRow = stride;
    } else {
      b.srcMask = mask ? mask->data : nullptr, b.srcMaskBytesPerRow = mask ? mask->bytesPerRow : 0;
      b.maskBytesPerRow = stride;
    }
    CombineClipMask(&b);
    if (alpha) {
      // The clipped alpha carries the shape; a mask beside it would draw
      // through the source mask alone and ignore the region.
      alpha = &s.plane, mask = nullptr;
    } else {
      mask = &s.plane;
    }
  }

  // Where the pixels go.
  vkBitMap* into = nullptr;          // a bitmap that receives the pixels
  const vkBitMap* shown = nullptr;   // a buffer copied to the window afterwards
  bool toWindow = false;             // the source goes straight to the window
  bool drawSource = true;            // false: only recomposed, the source is not drawn
  if (rq.dst) {
    into = rq.dst;
  } else if (display->renderTarget == kTargetDisplay) {
    if (((flags & kBlitBackground) && !display->layersOn) || (flags & kBlitBackgroundAlways)) {
      into = display->backBuffer;
      if (!(flags & kBlitNoWindow)) shown = IsScaled(display) ? display->screenBuffer : display->backBuffer;
    } else if (display->layersOn && (flags & kBlitRecompose)) {
      RedrawRect(gs, display, display->screenBuffer, x1, y1, width, height, kRedrawAll);
      shown = display->screenBuffer;
      drawSource = false;
    } else {
      toWindow = true;
    }
  } else {
    // A selected output: its drawing bitmap (none for a mask or alpha
    // target, whose plane alone is drawn, nor for a picture collecting
    // layers).
    into = display->drawBitMap;
  }
  const bool planes = !(flags & kBlitPixelsOnly);
  // The scaled display shows its screen buffer: what goes into the
  // background buffer goes there too.
  vkBitMap* mirror = planes && into && into == display->backBuffer && IsScaled(display) ? display->screenBuffer : nullptr;
  // Planes drawn beside a bitmap copy the source's; a mask or alpha
  // channel drawn alone takes the mask mode and alpha intensity.
  const bool beside = rq.dst || (display->renderTarget != kTargetDisplay && display->drawBitMap);
  const int32_t maskMode = beside ? 2 : gs.settings.maskMode;
  const int32_t intensity = gs.settings.alphaIntensity;
  const bool useIntensity = intensity != -1 && !beside;

  if (!mask && !alpha) {
    if (drawSource) {
      if (into) {
        BltBitMap(rq.src, x0, y0, into, x1, y1, width, height);
        if (mirror) BltBitMap(rq.src, x0, y0, mirror, x1, y1, width, height);
      } else if (toWindow) {
        BltToWindow(gs, rq.src, x0, y0, display, x1, y1, width, height, 0);
      }
    }
    if (planes) {
      FillMaskRect(display->drawMask, x1, y1, width, height, maskMode);
      FillAlphaRect(display->drawAlpha, x1, y1, width, height, uint8_t(useIntensity ? intensity : 255));
    }
  } else if (!mask) {
    // A target with an alpha plane of its own takes the pixels whole and
    // the alpha into its plane.
    auto draw = [&](vkBitMap* b) {
      if (display->drawAlpha)
        BltBitMap(rq.src, x0, y0, b, x1, y1, width, height);
      else
        BltAlphaBitMap(rq.src, x0, y0, b, x1, y1, width, height, alpha);
    };
    if (drawSource && into) {
      draw(into);
      if (mirror) draw(mirror);
    }
    if (planes) {
      AlphaToMaskPlane(alpha, x0, y0, display->drawMask, x1, y1, width, height, maskMode);
      if (useIntensity)
        BltAlphaPlane(alpha, x0, y0, display->drawAlpha, x1, y1, width, height, 6, intensity);
      else
        BltAlphaPlane(alpha, x0, y0, display->drawAlpha, x1, y1, width, height, 0, 0);
    }
  } else {
    if (drawSource && into) {
      BltMask(rq.src, x0, y0, into, x1, y1, width, height, mask);
      if (mirror) BltMask(rq.src, x0, y0, mirror, x1, y1, width, height, mask);
    }
    if (planes) {
      BltMaskPlane(mask, x0, y0, display->drawMask, x1, y1, width, height, maskMode);
      BltTemplateAlpha(mask, x0, y0, display->drawAlpha, x1, y1, width, height,
                       uint8_t(useIntensity ? intensity : 255));
    }
  }
  if (shown) BltToWindow(gs, shown, x1, y1, display, x1, y1, width, height, 1);
}
