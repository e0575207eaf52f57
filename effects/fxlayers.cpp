// Layer work of the effect engine. On an uncovered layer an effect draws
// straight to the window, as on the display; in real-time layer mode (the
// layer covered, asynchronous, or forced) the effect's buffers stand in for
// the layer's transformed planes on screen, so that the compositor shows the
// effect under the layers above, and the layer's own planes come back when
// the effect ends.
#include "effects/fxlayers.h"

#include <algorithm>

#include "base/errorcodes.h"
#include "graphics/asyncdraw.h"
#include "graphics/displayoptions.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "layers/layers.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "text/textobjects.h"

namespace {

namespace ot = vkObjectType;

inline constexpr int32_t kErrLayerHasAsyncDraw = 1371;  // "Specified layer already has an async draw object attached!"

vkLayerData* OnScreen(const vkFXState& s) { return s.layer ? s.layer->onScreen : nullptr; }

// Some layer above [layer], hidden or not, meets its on-screen rectangle.
bool CoveredByLayerAbove(const vkBGPic* pic, const vkLayer* layer) {
  const vkLayerData* d = layer->onScreen;
  const int32_t x2 = d->screenX + d->screenWidth - 1, y2 = d->screenY + d->screenHeight - 1;
  for (size_t i = pic->layers.size(); i-- > 0;) {
    const vkLayer* above = pic->layers[i];
    if (above == layer) break;
    const vkLayerData* a = above->onScreen;
    if (RectsOverlap(d->screenX, d->screenY, x2, y2, a->screenX, a->screenY, a->screenX + a->screenWidth - 1,
                     a->screenY + a->screenHeight - 1))
      return true;
  }
  return false;
}

// Real-time layer mode starts: the effect's buffers stand in for the
// layer's transformed planes (the layer's own are kept aside).
int32_t PrepareSource(vkFXState& s) {
  vkLayerData* data = OnScreen(s);
  s.savedBitmap = std::move(data->transformedBitmap);
  s.savedMask = std::move(data->transformedMask);
  s.savedAlpha = std::move(data->transformedAlpha);
  s.layerBuffersMade = true;
  data->transformedBitmap.reset(AllocArgbBitMap(s.width, s.height));
  s.buffersRecord = data, s.buffersBitmap = data->transformedBitmap.get();
  if (!data->transformedBitmap) return kErrOutOfMemory;
  const bool alphaFade = (s.row->sets & kFXAlphaFade) != 0;
  if (!alphaFade && !s.sourceAlpha) {
    if (!(s.row->sets & kFXWholePicture)) {
      data->transformedMask.reset(AllocMaskPlane(s.width, s.height, true));
      if (!data->transformedMask) return kErrOutOfMemory;
      if (s.sourceMask && s.async) s.maskCopy.reset(AllocMaskPlane(s.width, s.height, true));
    }
  } else {
    data->transformedAlpha.reset(AllocAlphaPlane(s.width, s.height, true));
    if (!data->transformedAlpha) return kErrOutOfMemory;
    if (s.async) s.alphaCopy.reset(AllocAlphaPlane(s.width, s.height, true));
    if (alphaFade && s.reverse) {
      BltBitMap(s.source, 0, 0, data->transformedBitmap.get(), 0, 0, s.width, s.height);
      MakeAlphaPlane(data->transformedAlpha.get(), s.sourceMask, s.sourceAlpha, s.width, s.height);
    }
  }
  // Hiding: the layer starts whole and the effect erases it.
  if (!alphaFade && s.reverse) FXBlit(s, s.source, s.sourceMask, s.sourceAlpha, 0, 0, s.width, s.height, kFXBlitNoShow);
  return 0;
}

// The layer's picture as the effect's source: the object's planes, or a
// copy of a part's rectangle.
int32_t TakeLayerPicture(vkFXState& s) {
  vkLayerPixels px;
  if (int32_t rc = GetObjectBitmap(*s.gs, s.layer, OnScreen(s), true, -1, &px)) return rc;
  const vkLayerData* data = OnScreen(s);
  const bool part = px.shared && (s.layer->type == ot::BRUSHPART || s.layer->type == ot::BGPICPART);
  if (part || px.width != s.width || px.height != s.height) {
    const int32_t sx = part ? data->sourceX : 0, sy = part ? data->sourceY : 0;
    vkBitMap* b = nullptr;
    vkPlane *m = nullptr, *a = nullptr;
    if (int32_t rc = CopyBitMapRect(px.bitmap, px.mask, px.alpha, sx, sy, s.width, s.height, &b,
                                    px.mask ? &m : nullptr, px.alpha ? &a : nullptr))
      return rc;
    s.ownedSource.reset(b), s.ownedMask.reset(m), s.ownedAlpha.reset(a);
    s.source = b, s.sourceMask = m, s.sourceAlpha = a;
    return 0;
  }
  s.source = px.bitmap, s.sourceMask = px.mask, s.sourceAlpha = px.alpha;
  return 0;
}

// Whether the effect's buffers still stand in the layer's on-screen record.
// (A record or bitmap made anew is allocated while the old one still
// lives, so an equal address is the same object.)
bool BuffersInPlace(const vkFXState& s) {
  const vkLayerData* data = OnScreen(s);
  return s.layerBuffersMade && data && data == s.buffersRecord && data->transformedBitmap.get() == s.buffersBitmap;
}

}  // namespace

bool FXLayerMadeFrom(const vkLayer* layer, int32_t type, vkObjectId id) {
  return layer && layer->type == type && layer->identity == id;
}

bool FXLayersAvailable(vkGraphicsState& gs) { return gs.redraw != nullptr; }

int32_t FXAddObjectLayer(vkFXState& s) {
  vkDisplay* d = s.gs->CurrentDisplay;
  vkLayerOptions options;
  options.hidden = 1;  // shown by the effect
  options.given = 1;
  vkTransform identity;
  InitTransform(&identity);
  vkDisplayRequest rq;
  rq.type = s.operation == ot::BGPICPART ? kObjectBGPicPart : kObjectBrush;
  rq.id = s.id;
  rq.x = s.x, rq.y = s.y;
  vkBitmapSource text;
  if (s.operation == ot::TEXTOBJECT) {
    vkTextObject* o = nullptr;
    if (int32_t rc = FindTextObject(s.L, s.id, &o, 0)) return rc;
    text = {o->bitmap.get(), o->alpha ? nullptr : o->mask.get(), o->alpha.get(), o->width, o->height};
    rq.type = ot::TEXTOBJECT, rq.id = o->id, rq.source = &text;
  }
  if (s.operation == ot::BGPICPART) rq.sx = s.partX, rq.sy = s.partY, rq.width = s.width, rq.height = s.height;
  rq.transform = &identity;
  rq.layerOptions = &options;
  rq.flags = kDisplayNoDraw;
  if (int32_t rc = DisplayBitmapObject(s.L, rq)) return rc;
  s.operation = ot::LAYER;
  s.id = vkObjectId{CountLayers(d->bgpic), nullptr};
  s.addedLayer = true;
  return FXPrepareLayer(s);
}

int32_t FXPrepareLayer(vkFXState& s) {
  vkGraphicsState& gs = *s.gs;
  vkDisplay* d = gs.CurrentDisplay;
  vkBGPic* pic = d->bgpic;
  vkLayer* layer = GetNthLayer(pic, s.id.number);
  if (!layer) return kErrLayerOutOfRange;
  if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrLayerHasAsyncDraw;
  s.layer = layer;
  if (s.bgpicemu) {
    if (gs.CurrentBGPic) gs.CurrentBGPic->refreshPending = 0;
    if (s.row->sets & kFXWholePicture) layer->effectFlag = 1;
  }
  const vkLayerData* data = layer->onScreen;
  s.x = data->screenX, s.y = data->screenY;
  s.width = data->screenWidth, s.height = data->screenHeight;
  if (s.width < 1 || s.height < 1) return kErrWrongUsage;
  // A scroll moves the layer itself.
  if (s.row->sets & kFXScroll) return 0;
  s.realtime = s.forceRealtimeLayers || s.async || s.bgpicemu || layer->transparency || layer->tint || data->clip ||
               DisplayScalingActive(d, pic);
  if (!s.realtime)
    s.realtime = (s.reverse && (s.row->sets & kFXRealtimeLayer)) || CoveredByLayerAbove(pic, layer);
  if (!s.reverse || s.realtime) {
    if (int32_t rc = TakeLayerPicture(s)) return rc;
    if (s.realtime) {
      if (int32_t rc = PrepareSource(s)) return rc;
      if (d->renderTarget == kTargetDisplay && !layer->hidden) RefreshLayerRect(gs, layer, nullptr);
    }
    return 0;
  }
  // Hiding on the window: the effect reveals what lies beneath the layer.
  s.ownedSource.reset(AllocArgbBitMap(s.width, s.height));
  if (!s.ownedSource) return kErrOutOfMemory;
  FillBitMapRect(s.ownedSource.get(), 0, 0, 0, s.width, s.height);
  FXScreenUnderEffect(s, s.ownedSource.get(), false);
  s.source = s.ownedSource.get();
  return 0;
}

void FXHideLayerWhile(vkFXState& s, bool keepLayer, const std::function<void()>& work) {
  if (!s.layer || keepLayer) return work();
  const int32_t hidden = s.layer->hidden;
  s.layer->hidden = 1;
  work();
  s.layer->hidden = hidden;
}

void FXShowLayerForStep(vkFXState& s) {
  if (s.layer) s.layer->hidden = 0;
}

void FXFollowLayer(vkFXState& s) {
  if (!s.realtime || !s.layer) return;
  s.x = s.layer->onScreen->screenX, s.y = s.layer->onScreen->screenY;
}

void FXDropLayerBuffers(vkFXState& s) {
  if (!s.layerBuffersMade) return;
  const bool inPlace = BuffersInPlace(s);
  s.layerBuffersMade = false;
  s.maskCopy.reset(), s.alphaCopy.reset();
  s.buffersRecord = nullptr, s.buffersBitmap = nullptr;
  if (vkLayerData* data = OnScreen(s); data && inPlace) {
    data->transformedBitmap = std::move(s.savedBitmap);
    data->transformedMask = std::move(s.savedMask);
    data->transformedAlpha = std::move(s.savedAlpha);
  }
  if (s.removePending && s.layer) {
    FreeLayer(*s.gs, s.L, s.layer, false);
    s.layer = nullptr;
  }
}

void FXFinishLayer(vkFXState& s) {
  if (!s.layer) return;
  if (s.operation == ot::REMOVELAYER) {
    FreeLayer(*s.gs, s.L, s.layer, false);
    s.layer = nullptr;
    return;
  }
  s.layer->hidden = s.operation == ot::HIDELAYER ? 1 : 0;
}

void FXLeaveLayer(vkFXState& s, int32_t final) {
  if (!s.layer) return;
  if (s.operation == ot::LAYER && !s.finished && !final) s.layer->hidden = 1;
  if (s.gs->CurrentDisplay && s.gs->CurrentDisplay->bgpic == s.layer->bgpic) RefreshLayerRect(*s.gs, s.layer, nullptr);
}

void FXRepairLayerAfterResize(vkFXState& s) {
  vkDisplay* d = s.gs->CurrentDisplay;
  if (!s.layer || !d || !d->layerScaling) return;
  if (s.addedLayer) {
    if (s.realtime) {
      s.removePending = 1;
    } else {
      FreeLayer(*s.gs, s.L, s.layer, false);
      s.layer = nullptr;
    }
    return;
  }
  if (!s.realtime) {
    s.layer->hidden = s.operation == ot::LAYER ? 1 : 0;
    RefreshLayerRect(*s.gs, s.layer, nullptr);
  }
}

namespace {

// The effect's buffers go over to [next], whose own planes wait aside
// until the effect ends; [next] becomes the effect's layer.
void MoveBuffers(vkFXState& s, vkLayer* next) {
  vkLayerData* from = s.layer->onScreen;
  vkLayerData* to = next->onScreen;
  std::swap(s.savedBitmap, to->transformedBitmap);
  std::swap(s.savedMask, to->transformedMask);
  std::swap(s.savedAlpha, to->transformedAlpha);
  to->transformedBitmap = std::move(from->transformedBitmap);
  to->transformedMask = std::move(from->transformedMask);
  to->transformedAlpha = std::move(from->transformedAlpha);
  s.buffersRecord = to;
  s.layer = next;
  FXFollowLayer(s);
}

}  // namespace

namespace {

// The effect's layer changed in place: its picture may be made anew (the
// old one freed), and a new transformed record takes the effect's buffers
// away with the old record. The source is fetched again; the buffers stay
// when they are in place and the size is unchanged, and the frame reached
// is drawn again; otherwise the layer gets new buffers and the effect
// starts again at the share of its frames it had reached.
intptr_t ChangedInPlace(vkFXState& s) {
  vkLayerData* data = OnScreen(s);
  const bool inPlace = BuffersInPlace(s);
  vkBitMapPtr bitmap;
  vkPlanePtr mask, alpha;
  if (inPlace) {
    // The layer's own planes go back for the fetch.
    bitmap = std::move(data->transformedBitmap), mask = std::move(data->transformedMask);
    alpha = std::move(data->transformedAlpha);
    data->transformedBitmap = std::move(s.savedBitmap), data->transformedMask = std::move(s.savedMask);
    data->transformedAlpha = std::move(s.savedAlpha);
  } else {
    // The buffers went with the old record; what was kept aside belongs to
    // no record any more.
    s.savedBitmap.reset(), s.savedMask.reset(), s.savedAlpha.reset();
  }
  s.layerBuffersMade = false;
  s.buffersRecord = nullptr, s.buffersBitmap = nullptr;
  const int32_t width = s.width, height = s.height;
  s.ownedSource.reset(), s.ownedMask.reset(), s.ownedAlpha.reset();
  s.source = nullptr, s.sourceMask = nullptr, s.sourceAlpha = nullptr;
  s.width = data->screenWidth, s.height = data->screenHeight;
  FXFollowLayer(s);
  int32_t rc = s.width < 1 || s.height < 1 ? kErrWrongUsage : TakeLayerPicture(s);
  if (rc) {
    s.layerLost = true;
    return rc;
  }
  if (inPlace && s.width == width && s.height == height) {
    s.savedBitmap = std::move(data->transformedBitmap), s.savedMask = std::move(data->transformedMask);
    s.savedAlpha = std::move(data->transformedAlpha);
    data->transformedBitmap = std::move(bitmap), data->transformedMask = std::move(mask);
    data->transformedAlpha = std::move(alpha);
    s.layerBuffersMade = true;
    s.buffersRecord = data, s.buffersBitmap = data->transformedBitmap.get();
    return s.frame >= 1 ? FXReplayFrames(s, s.frame, 0) : 0;
  }
  s.maskCopy.reset(), s.alphaCopy.reset();
  if ((rc = PrepareSource(s)) != 0) {
    s.layerLost = true;
    return rc;
  }
  return FXRestart(s, s.frame, s.stepCount);
}

}  // namespace

intptr_t FXLayerMessage(vkFXState& s, int32_t message, void* data) {
  if (message == kAsyncLayerReplaced) {
    vkLayer** pair = static_cast<vkLayer**>(data);
    if (!pair || pair[0] != s.layer || !pair[1]) return 0;
    vkLayer* next = pair[1];
    const bool moves = s.layerBuffersMade && next->onScreen && s.layer->onScreen;
    if (!moves || !s.realtime) {
      s.layer = next;
      FXFollowLayer(s);
      return 0;
    }
    // In real-time layer mode the new layer's picture is the source from now
    // on, taken before the effect's buffers stand in for its planes. (Should
    // that fail, the effect goes on from the picture it had.)
    vkLayer* const old = s.layer;
    const int32_t width = s.width, height = s.height;
    const vkBitMap* source = s.source;
    const vkPlane *mask = s.sourceMask, *alpha = s.sourceAlpha;
    vkBitMapPtr ownedSource = std::move(s.ownedSource);
    vkPlanePtr ownedMask = std::move(s.ownedMask), ownedAlpha = std::move(s.ownedAlpha);
    s.layer = next;
    s.width = next->onScreen->screenWidth, s.height = next->onScreen->screenHeight;
    if (int32_t rc = TakeLayerPicture(s)) {
      s.width = width, s.height = height;
      s.source = source, s.sourceMask = mask, s.sourceAlpha = alpha;
      s.ownedSource = std::move(ownedSource), s.ownedMask = std::move(ownedMask), s.ownedAlpha = std::move(ownedAlpha);
      s.layer = old;
      MoveBuffers(s, next);
      return rc;
    }
    s.layer = old;
    if (s.width == width && s.height == height) {
      // The same size: the buffers move over and the frame reached so far
      // is drawn again from the new picture.
      MoveBuffers(s, next);
      return s.frame >= 1 ? FXReplayFrames(s, s.frame, 0) : 0;
    }
    // Another size: the old layer takes its own planes back (it goes with
    // the effect's buffers), the new one gets buffers of its size, and the
    // effect starts again at the share of its frames it had reached.
    vkLayerData* from = old->onScreen;
    from->transformedBitmap = std::move(s.savedBitmap);
    from->transformedMask = std::move(s.savedMask);
    from->transformedAlpha = std::move(s.savedAlpha);
    s.maskCopy.reset(), s.alphaCopy.reset();
    s.layerBuffersMade = false;
    s.layer = next;
    FXFollowLayer(s);
    if (int32_t rc = PrepareSource(s)) return rc;
    return FXRestart(s, s.frame, s.stepCount);
  }
  if (!s.layer || data != s.layer) return 0;
  if (!s.realtime || !s.layerBuffersMade || !OnScreen(s)) {
    FXFollowLayer(s);
    return 0;
  }
  return ChangedInPlace(s);
}

void FXRefreshLayer(vkFXState& s) {
  if (s.layer) RefreshLayerRect(*s.gs, s.layer, nullptr);
}

vkBitMap* FXLayerBitMap(vkFXState& s) {
  vkLayerData* data = OnScreen(s);
  return data ? data->transformedBitmap.get() : nullptr;
}

vkPlane* FXLayerAlpha(vkFXState& s) {
  vkLayerData* data = OnScreen(s);
  return data ? data->transformedAlpha.get() : nullptr;
}

void FXBlit(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t sx, int32_t sy,
            int32_t w, int32_t h, uint32_t flags) {
  FXBlitTo(s, src, mask, alpha, s.width, s.height, sx, sy, sx, sy, w, h, flags);
}

void FXBlitTo(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t srcWidth,
              int32_t srcHeight, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h,
              uint32_t flags) {
  vkLayerData* data = OnScreen(s);
  if (!data || !data->transformedBitmap || sx < 0 || sy < 0) return;
  // Clipped against the source and the layer's buffers.
  int64_t x0 = sx, y0 = sy, x1 = dx, y1 = dy, ww = w, hh = h;
  if (x1 < 0) ww += x1, x0 -= x1, x1 = 0;
  if (y1 < 0) hh += y1, y0 -= y1, y1 = 0;
  ww = std::min({ww, int64_t(srcWidth) - x0, int64_t(s.width) - x1});
  hh = std::min({hh, int64_t(srcHeight) - y0, int64_t(s.height) - y1});
  if (ww < 1 || hh < 1) return;
  sx = int32_t(x0), sy = int32_t(y0), dx = int32_t(x1), dy = int32_t(y1), w = int32_t(ww), h = int32_t(hh);
  vkPlane* dm = data->transformedMask.get();
  vkPlane* da = data->transformedAlpha.get();
  const bool copies = !(flags & kFXBlitKeepCopies);
  if (flags & kFXBlitErase) {
    if (da) FillAlphaRect(da, dx, dy, w, h, 0);
    else if (dm) FillMaskRect(dm, dx, dy, w, h, 1);
    if (copies && s.alphaCopy) FillAlphaRect(s.alphaCopy.get(), dx, dy, w, h, 0);
    if (copies && s.maskCopy) FillMaskRect(s.maskCopy.get(), dx, dy, w, h, 1);
  } else {
    if (mask && dm) {
      BltMaskPlane(mask, sx, sy, dm, dx, dy, w, h, (flags & kFXBlitCombine) ? 0 : 2);
      if (copies && s.maskCopy) FillMaskRect(s.maskCopy.get(), dx, dy, w, h, 0);
    } else if (alpha && da) {
      ClipBltAlphaPlane(alpha, sx, sy, da, dx, dy, w, h, (flags & kFXBlitCombine) ? 1 : 0, 0, alpha->width,
                        alpha->height, da->width, da->height);
      if (copies && s.alphaCopy) FillAlphaRect(s.alphaCopy.get(), dx, dy, w, h, 255);
    } else if (dm) {
      FillMaskRect(dm, dx, dy, w, h, 0);
    } else if (da) {
      FillAlphaRect(da, dx, dy, w, h, 255);
    }
    vkBitMap* db = data->transformedBitmap.get();
    if ((flags & kFXBlitThroughPlanes) && mask)
      BltMask(src, sx, sy, db, dx, dy, w, h, mask);
    else if ((flags & kFXBlitThroughPlanes) && alpha)
      BltAlphaBitMap(src, sx, sy, db, dx, dy, w, h, alpha);
    else
      BltBitMap(src, sx, sy, db, dx, dy, w, h);
  }
  if (!(flags & kFXBlitNoShow)) FXRefreshRect(s, dx, dy, w, h, 0);
}

void FXRefreshRect(vkFXState& s, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t) {
  if (s.collectingRefresh) {
    s.refreshX1 = std::min(s.refreshX1, x), s.refreshY1 = std::min(s.refreshY1, y);
    s.refreshX2 = int32_t(std::max<int64_t>(s.refreshX2, int64_t(x) + w));
    s.refreshY2 = int32_t(std::max<int64_t>(s.refreshY2, int64_t(y) + h));
    return;
  }
  const vkDisplay* d = s.gs->CurrentDisplay;
  if (!d || !s.layer || d->bgpic != s.layer->bgpic) return;
  RefreshRectNow(*s.gs, s.x + x, s.y + y, w, h);
}

void FXRestoreLayerBuffers(vkFXState& s) {
  vkLayerData* data = OnScreen(s);
  if (!data || !data->transformedBitmap) return;
  if (s.sourceMask && s.maskCopy && data->transformedMask) {
    BltMaskPlane(s.maskCopy.get(), 0, 0, data->transformedMask.get(), 0, 0, s.width, s.height, 2);
    BltMaskPlane(s.sourceMask, 0, 0, data->transformedMask.get(), 0, 0, s.width, s.height, 4);
  } else if (s.sourceAlpha && s.alphaCopy && data->transformedAlpha) {
    BltAlphaPlane(s.alphaCopy.get(), 0, 0, data->transformedAlpha.get(), 0, 0, s.width, s.height, 0, 0);
    BltAlphaPlane(s.sourceAlpha, 0, 0, data->transformedAlpha.get(), 0, 0, s.width, s.height, 7, 0);
  }
  BltBitMap(s.source, 0, 0, data->transformedBitmap.get(), 0, 0, s.width, s.height);
}

void FXClearLayerBuffers(vkFXState& s) {
  if (!OnScreen(s)) return;
  // The state before the first frame: nothing shown, or all when hiding.
  if (s.reverse)
    FXBlit(s, s.source, s.sourceMask, s.sourceAlpha, 0, 0, s.width, s.height, kFXBlitNoShow);
  else
    FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height, kFXBlitErase | kFXBlitNoShow);
}
