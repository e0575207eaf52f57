// Double buffering of a display: the draw buffer that drawing goes into
// (reached through the display's double-buffer record as its current
// output), the front buffer that Flip fills and shows, and the way back to
// plain drawing. Sizes can change under a double buffer (the display's
// picture is resized), so every copy between buffers copies what both hold.
#include "graphics/doublebuffer.h"

#include <algorithm>
#include <new>

#include "base/errorcodes.h"
#include "engine/argcheck.h"
#include "graphics/bgpics.h"
#include "graphics/displays.h"
#include "graphics/objecttypes.h"
#include "graphics/outputtargets.h"
#include "graphics/safeblt.h"
#include "pixel/bitmap.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/copykernels.h"

namespace {

bool Scaled(const vkDisplay* d) { return d->scaling != 0 && d->scaledWidth > 0 && d->scaledHeight > 0; }

void Clear(vkBitMap* b) { FillPixelRect32(b->pixels, b->bytesPerRow / 4, 0, 0, b->width, b->height, 0); }

// Copies what both bitmaps hold, from the top-left.
void CopyCommon(const vkBitMap* src, vkBitMap* dst) {
  if (!src || !dst) return;
  BltBitMap(src, 0, 0, dst, 0, 0, std::min(src->width, dst->width), std::min(src->height, dst->height));
}

bool HasLayers(vkGraphicsState& gs, const vkBGPic* p) {
  if (!p) return false;
  if (gs.layerTargets.hasLayers) return gs.layerTargets.hasLayers(gs, p);
  return !p->layers.empty();
}

void FreeBuffers(vkDisplay* d) {
  FreeBitMap(d->doubleBufferFront);
  FreeBitMap(d->doubleBufferDraw);
  d->doubleBufferFront = d->doubleBufferDraw = nullptr;
}

}  // namespace

int32_t BeginDoubleBuffer(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || !d->bgpic) return kErrWrongUsage;
  if (d->renderTarget != kTargetDisplay) return OutputTargetError(gs);
  vkBGPic* p = d->bgpic;
  if (d->layersOn || HasLayers(gs, gs.CurrentBGPic)) return kErrLayersMustBeOff;
  if (!p->sprites.empty()) return kErrSpritesShown;
  if (p->mask || p->alpha) return kErrDoubleBufferTransparent;

  FreeBuffers(d);
  const bool scaled = Scaled(d);
  vkBitMapPtr front(AllocArgbBitMap(scaled ? d->scaledWidth : p->width, scaled ? d->scaledHeight : p->height));
  vkBitMapPtr draw(AllocArgbBitMap(p->width, p->height));
  if (!front || !draw) return kErrOutOfMemory;
  if (!d->doubleBufferTarget) {
    d->doubleBufferTarget = new (std::nothrow) vkBGPic;
    if (!d->doubleBufferTarget) return kErrOutOfMemory;
  }
  Clear(front.get());
  Clear(draw.get());
  d->doubleBufferFront = front.release();
  d->doubleBufferDraw = draw.release();
  vkBGPic* t = d->doubleBufferTarget;
  const vkObjectId own{0, t};
  InitTargetRecord(t, vkObjectType::BRUSH, nullptr, 0, &own, d->doubleBufferDraw, nullptr, nullptr, p->width,
                   p->height, true);
  gs.CurrentBGPic = t;
  d->renderTarget = kTargetBrush;
  d->doubleBuffer = 1;
  d->drawBitMap = d->doubleBufferDraw, d->drawMask = nullptr, d->drawAlpha = nullptr;
  return 0;
}

void ResumeDoubleBuffer(vkGraphicsState& gs, vkDisplay* d) {
  gs.CurrentBGPic = d->doubleBufferTarget;
  d->drawBitMap = d->doubleBufferDraw, d->drawMask = nullptr, d->drawAlpha = nullptr;
  d->renderTarget = kTargetBrush;
  d->doubleBuffer = 1;
  d->doubleBufferSuspended = 0;
}

int32_t FlipDoubleBuffer(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || !(d->doubleBuffer || d->doubleBufferSuspended) || !d->doubleBufferFront || !d->doubleBufferDraw)
    return kErrNoDoubleBuffer;
  vkBitMap* front = d->doubleBufferFront;
  const vkBitMap* draw = d->doubleBufferDraw;
  if (Scaled(d) && (front->width != draw->width || front->height != draw->height)) {
    if (int32_t rc = ScaleBitMap(gs.scaleTables, draw, nullptr, nullptr, 0, 0, front, draw->width, draw->height,
                                 front->width, front->height, d->smoothScale != 0, nullptr, nullptr, nullptr))
      return rc;
  } else {
    CopyCommon(draw, front);
  }
  ShowDoubleBuffer(gs, d, false, 0);
  FlushDisplayFrame(gs);
  return 0;
}

void ShowDoubleBuffer(vkGraphicsState& gs, vkDisplay* d, bool repaintStrips, uint32_t flags) {
  const vkBitMap* front = d->doubleBufferFront;
  if (!front) return;
  if (Scaled(d)) {
    BltToWindow(gs, front, 0, 0, d, 0, 0, front->width, front->height, flags | 1);
    return;
  }
  const int32_t pw = d->bgpic ? d->bgpic->width : front->width, ph = d->bgpic ? d->bgpic->height : front->height;
  const int32_t w = std::min(front->width, pw), h = std::min(front->height, ph);
  BltToWindow(gs, front, 0, 0, d, 0, 0, w, h, flags);
  const vkBitMap* back = d->backBuffer;
  if (!repaintStrips || !back) return;
  if (back->width > w) BltToWindow(gs, back, w, 0, d, w, 0, back->width - w, back->height, flags);
  if (back->height > h) BltToWindow(gs, back, 0, h, d, 0, h, std::min(w, back->width), back->height - h, flags);
}

int32_t ResizeDoubleBuffer(vkGraphicsState& gs, vkDisplay* d, int32_t width, int32_t height) {
  vkBitMapPtr front(AllocArgbBitMap(width, height));
  if (!front) return kErrOutOfMemory;
  Clear(front.get());
  FreeBitMap(d->doubleBufferFront);
  d->doubleBufferFront = front.release();
  ShowDoubleBuffer(gs, d, true, 0);
  return 0;
}

int32_t StopDoubleBuffer(vkState* L, vkDisplay* d) {
  vkGraphicsState& gs = GraphicsState(L);
  if (!d || !(d->doubleBuffer || d->doubleBufferSuspended)) return kErrNoDoubleBuffer;
  // A selection made meanwhile ends first, as if the script had ended it
  // (only the current display can hold one: selecting another display
  // ends it).
  if (d->doubleBufferSuspended && gs.CurrentDisplay == d) EndSelectOutput(L, d, true);
  CopyCommon(d->doubleBufferDraw, d->backBuffer);
  if (Scaled(d)) CopyCommon(d->doubleBufferDraw, d->screenBuffer);
  FreeBuffers(d);
  if (d->doubleBufferTarget)
    InitTargetRecord(d->doubleBufferTarget, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0, 0, true);
  if (gs.CurrentDisplay == d) gs.CurrentBGPic = d->bgpic;
  d->doubleBuffer = 0;
  d->doubleBufferSuspended = 0;
  d->renderTarget = kTargetDisplay;
  d->drawBitMap = nullptr, d->drawMask = nullptr, d->drawAlpha = nullptr;
  return 0;
}

vkBitMap* GetCleanBackBuffer(vkGraphicsState& gs, vkDisplay* d, vkBGPic* bgpic) {
  if (!HasLayers(gs, bgpic) && (!bgpic || bgpic->sprites.empty())) return d->backBuffer;
  if (d->screenBuffer)
    RedrawRect(gs, d, d->screenBuffer, 0, 0, d->screenBuffer->width, d->screenBuffer->height, kRedrawAll);
  return d->screenBuffer;
}

int CmdBeginDoubleBuffer(vkState* L) {
  CheckArgCount(L, 0, 0);
  return BeginDoubleBuffer(L);
}

int CmdFlip(vkState* L) {
  CheckArgCount(L, 0, 0);
  return FlipDoubleBuffer(L);
}

int CmdEndDoubleBuffer(vkState* L) {
  CheckArgCount(L, 0, 0);
  return StopDoubleBuffer(L, GraphicsState(L).CurrentDisplay);
}
