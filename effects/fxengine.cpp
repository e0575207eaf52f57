// The effect engine: preparing a run by operation kind, the frame loop, the
// asynchronous callbacks, and the drawing primitive and end of frame every
// family shares. One run's state lives from RunTransitionFX until FreeRun,
// which synchronous runs call themselves and asynchronous runs leave to
// their drawing object's free callback; it releases everything once.
#include "effects/fxengine.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "effects/fxlayers.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displayoptions.h"
#include "graphics/displays.h"
#include "graphics/doublebuffer.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "graphics/outputtargets.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "platform/vkos_events.h"
#include "text/textobjects.h"

namespace {

namespace ot = vkObjectType;


vkDisplay* Display(const vkFXState& s) { return s.gs->CurrentDisplay; }

void ReleaseLock(vkFXState& s) {
  if (s.lockCount) {
    if (*s.lockCount > 0) --*s.lockCount;
    s.lockCount = nullptr;
  }
  if (s.lockFlag) {
    if (*s.lockFlag > 0) --*s.lockFlag;
    s.lockFlag = nullptr;
  }
}

// A cleared width x height bitmap; null without memory.
vkBitMapPtr NewBitMap(int32_t width, int32_t height) {
  vkBitMapPtr b(AllocArgbBitMap(std::max(width, 1), std::max(height, 1)));
  if (b) std::memset(b->pixels, 0, size_t(b->bytesPerRow) * size_t(b->height));
  return b;
}

// Copies what the display shows under the width x height rectangle at
// (x, y) into [dst] at (0, 0); only the part inside the picture.
void CaptureScreen(vkFXState& s, vkBitMap* dst, int32_t x, int32_t y, int32_t width, int32_t height) {
  vkDisplay* d = Display(s);
  if (!d || !d->backBuffer) return;
  if (d->layersOn && s.gs->redraw) {
    // The layers compose into a picture-sized buffer at picture positions.
    vkBitMapPtr composed = NewBitMap(d->backBuffer->width, d->backBuffer->height);
    if (!composed) return;
    RedrawRect(*s.gs, d, composed.get(), 0, 0, composed->width, composed->height, kRedrawNoSprites);
    FXClipBlit(composed.get(), x, y, dst, 0, 0, width, height, composed->width, composed->height, dst->width,
               dst->height);
    return;
  }
  FXClipBlit(d->backBuffer, x, y, dst, 0, 0, width, height, d->backBuffer->width, d->backBuffer->height,
             dst->width, dst->height);
}

// The output target check; a selection of the very object shown is ended.
int32_t CheckOutputTarget(vkFXState& s, vkDisplay* d) {
  vkGraphicsState& gs = *s.gs;
  auto endSelection = [&]() { return EndSelectOutput(s.L, d, false); };
  // The selected object: the picture or brush itself, or what a target record draws into.
  const vkBGPic* out = gs.CurrentBGPic;
  auto selected = [&](const void* object) { return out && (out == object || out->targetObject == object); };
  switch (d->renderTarget) {
    case kTargetDisplay:
      return 0;
    case kTargetBGPic: {
      if (s.operation == ot::BGPIC) {
        vkBGPic* shown = nullptr;
        if (FindBGPic(gs, s.id, &shown, 0) == 0 && selected(shown)) return endSelection();
      }
      if (s.async && d->layersOn && gs.CurrentBGPic == d->bgpic) return 0;
      return kErrSelectBGPicActive;
    }
    case kTargetBrush:
    case kTargetMask:
    case kTargetAlphaChannel: {
      if (s.operation == ot::BRUSH) {
        vkBrush* brush = nullptr;
        if (FindBrush(gs, s.id, &brush, 0) == 0 && (IsActiveBrush(gs, *brush) || selected(brush)))
          return endSelection();
      }
      if (d->renderTarget == kTargetMask) return kErrSelectMaskActive;
      if (d->renderTarget == kTargetAlphaChannel) return kErrSelectAlphaActive;
      const bool anim = gs.CurrentBGPic && gs.CurrentBGPic->targetKind == ot::ANIM;
      return anim ? kErrSelectAnimActive : kErrSelectBrushActive;
    }
    default:
      return 0;
  }
}

// The display switches to the new BGPic; the picture it composes comes back
// as the source and the screen before it as the scratch bitmap, which the
// display's buffers and window show until the effect has drawn over them.
int32_t ShowBGPicForEffect(vkFXState& s, vkDisplay* d, vkBGPic* next) {
  vkGraphicsState& gs = *s.gs;
  const vkBitMap* back = d->backBuffer;
  vkBitMapPtr before = NewBitMap(back ? back->width : 1, back ? back->height : 1);
  if (!before) return kErrOutOfMemory;
  if (back) RedrawRect(gs, d, before.get(), 0, 0, back->width, back->height, kRedrawAll);

  const int top = vmGetTop(s.L);
  vmNewTable(s.L);
  SetFieldObjectId(s.L, "bgpic", next->id);
  SetFieldInt(s.L, "x", s.positionX);
  SetFieldInt(s.L, "y", s.positionY);
  const int32_t rc = ApplyDisplayAttributes(s.L, d, vmGetTop(s.L), true);
  vmSetTop(s.L, top);
  if (rc) return rc;
  s.bgpicShown = true;
  if (!d->backBuffer || !d->screenBuffer) return kErrWrongUsage;
  const int32_t w = d->backBuffer->width, h = d->backBuffer->height;
  s.ownedSource = NewBitMap(w, h);
  if (!s.ownedSource) return kErrOutOfMemory;
  RedrawRect(gs, d, s.ownedSource.get(), 0, 0, w, h, kRedrawAll);
  s.source = s.ownedSource.get();

  if (before->width != w || before->height != h) {
    vkBitMap* scaled = nullptr;
    if (int32_t sc = ScaleBitMap(gs.scaleTables, before.get(), nullptr, nullptr, 0, 0, nullptr, before->width,
                                 before->height, w, h, false, &scaled, nullptr, nullptr))
      return sc;
    before.reset(scaled);
  }
  s.scratch = std::move(before);
  BltBitMap(s.scratch.get(), 0, 0, d->backBuffer, 0, 0, w, h);
  BltBitMap(s.scratch.get(), 0, 0, d->screenBuffer, 0, 0, w, h);
  BltToWindow(gs, s.scratch.get(), 0, 0, d, 0, 0, w, h, 1);
  return 0;
}

// The end of a BGPic run: the exact new picture, whatever the effect drew.
// With layers the buffers get the picture and its layers composed anew.
void ShowFinalBGPic(vkFXState& s) {
  vkDisplay* d = Display(s);
  if (!s.bgpicShown || s.sizeChanged || !d || !s.source) return;
  if (d->layersOn && d->bgpic) {
    SetupBackBuffers(*s.gs, d, d->bgpic, false);
    RedrawDisplay(*s.gs, d, 0);
    return;
  }
  const int32_t w = s.source->width, h = s.source->height;
  BltBitMap(s.source, 0, 0, d->backBuffer, 0, 0, w, h);
  BltBitMap(s.source, 0, 0, d->screenBuffer, 0, 0, w, h);
  BltToWindow(*s.gs, s.source, 0, 0, d, 0, 0, w, h, 1);
}

// Prepares a run on the display (layers off), or hands over to the layer
// path; fills source, size and position.
int32_t Prepare(vkFXState& s, vkDisplay* d) {
  vkGraphicsState& gs = *s.gs;
  switch (s.operation) {
    case ot::BRUSH: {
      vkBrush* brush = nullptr;
      if (int32_t rc = FindBrush(gs, s.id, &brush, 0)) return rc;
      if (!brush->bitmap) return kErrWrongUsage;
      ++brush->lockCount;
      s.lockCount = &brush->lockCount;
      s.width = brush->width, s.height = brush->height;
      s.x = ResolveOutputX(gs, s.x, s.width, 0.0);
      s.y = ResolveOutputY(gs, s.y, s.height, 0.0);
      if (d->layersOn && FXLayersAvailable(gs)) return FXAddObjectLayer(s);
      s.source = brush->bitmap.get();
      s.sourceMask = brush->mask.get();
      s.sourceAlpha = brush->alpha.get();
      return 0;
    }
    case ot::TEXTOBJECT: {
      vkTextObject* text = nullptr;
      if (int32_t rc = FindTextObject(s.L, s.id, &text, 0)) return rc;
      if (!text->bitmap) return kErrWrongUsage;
      ++text->lockCount;
      s.lockFlag = &text->lockCount;
      s.width = text->width, s.height = text->height;
      // The position is the text's; its picture lies at its offsets from it.
      s.x = ResolveOutputX(gs, s.x, s.width, 0.0) + text->offsetX;
      s.y = ResolveOutputY(gs, s.y, s.height, 0.0) + text->offsetY;
      if (d->layersOn && FXLayersAvailable(gs)) return FXAddObjectLayer(s);
      s.source = text->bitmap.get();
      s.sourceAlpha = text->alpha.get();  // the alpha plane, where there is one, carries the shape
      s.sourceMask = text->alpha ? nullptr : text->mask.get();
      return 0;
    }
    case ot::BGPICPART: {
      vkBGPic* pic = nullptr;
      if (int32_t rc = FindBGPic(gs, s.id, &pic, 0)) return rc;
      ++pic->locked;
      s.lockFlag = &pic->locked;
      if (!pic->bitmap || s.partX < 0 || s.partY < 0 || s.width < 1 || s.height < 1 || s.partX >= pic->width ||
          s.partY >= pic->height)
        return kErrWrongUsage;
      s.width = std::min(s.width, pic->width - s.partX);
      s.height = std::min(s.height, pic->height - s.partY);
      if (s.layers && FXLayersAvailable(gs)) return FXAddObjectLayer(s);
      vkBitMap* b = nullptr;
      vkPlane *m = nullptr, *a = nullptr;
      if (int32_t rc = CopyBitMapRect(pic->bitmap, pic->mask, pic->alpha, s.partX, s.partY, s.width, s.height, &b,
                                      pic->mask ? &m : nullptr, pic->alpha ? &a : nullptr))
        return rc;
      s.ownedSource.reset(b), s.ownedMask.reset(m), s.ownedAlpha.reset(a);
      s.source = b, s.sourceMask = m, s.sourceAlpha = a;
      s.x = ResolveOutputX(gs, s.x, s.width, 0.0);
      s.y = ResolveOutputY(gs, s.y, s.height, 0.0);
      return 0;
    }
    case ot::BGPIC: {
      vkBGPic* next = nullptr;
      if (int32_t rc = FindBGPic(gs, s.id, &next, 0)) return rc;
      const vkBGPic* shown = d->bgpic;
      if (next->transparentColor != -1 || next->alpha || (shown && (shown->transparentColor != -1 || shown->alpha)))
        return kErrWrongUsage;
      s.previousBGPic = d->bgpic;
      if (int32_t rc = ShowBGPicForEffect(s, d, next)) return rc;
      s.width = s.source->width, s.height = s.source->height;
      s.oldPicture = std::move(s.scratch);
      return 0;
    }
    case ot::LAYER:
    case ot::HIDELAYER:
    case ot::REMOVELAYER:
      if (!d->layersOn) return kErrLayersRequired;
      if (!FXLayersAvailable(gs)) return kErrLayerOutOfRange;
      return FXPrepareLayer(s);
    default:
      return kErrWrongUsage;
  }
}

// A source with planes becomes an opaque picture of the screen with the
// source drawn over it, so that most effects copy plain rectangles.
int32_t Flatten(vkFXState& s) {
  if (s.realtime || s.operation == ot::BGPIC || (!s.sourceMask && !s.sourceAlpha)) return 0;
  if (s.row->sets & kFXLayerSafe) return 0;
  const int64_t right = int64_t(s.x) + s.width, bottom = int64_t(s.y) + s.height;
  if (right <= 0 || bottom <= 0 || s.x >= s.spaceWidth || s.y >= s.spaceHeight) return 0;
  vkBitMapPtr flat = NewBitMap(s.width, s.height);
  if (!flat) return kErrOutOfMemory;
  FXScreenUnderEffect(s, flat.get(), false);
  vkBlitRequest r;
  r.src = s.source, r.dst = flat.get();
  r.width = s.width, r.height = s.height;
  r.srcWidth = s.width, r.srcHeight = s.height, r.dstWidth = s.width, r.dstHeight = s.height;
  r.flags = kBlitIgnoreClip | kBlitNoSprites;
  r.mask = s.sourceMask, r.alpha = s.sourceAlpha;
  SafeBlt(*s.gs, r);
  s.ownedMask.reset(), s.ownedAlpha.reset();
  s.ownedSource = std::move(flat);
  s.source = s.ownedSource.get(), s.sourceMask = nullptr, s.sourceAlpha = nullptr;
  return 0;
}

int32_t MakeOldPicture(vkFXState& s) {
  if (s.oldPicture) return 0;  // BGPIC: the screen before the switch
  const uint16_t sets = s.row->sets;
  const bool wanted = (sets & kFXOldAlways) || ((sets & kFXOldWithoutRealtime) && !s.realtime) ||
                      ((sets & kFXOldOnlyRealtime) && s.realtime);
  if (!wanted) return 0;
  s.oldPicture = NewBitMap(s.width, s.height);
  if (!s.oldPicture) return kErrOutOfMemory;
  const bool hiding = s.operation == ot::HIDELAYER || s.operation == ot::REMOVELAYER;
  const bool keepLayer =
      hiding && ((sets & kFXOldKeepsLayer) || ((sets & kFXOldKeepsLayerWithoutRealtime) && !s.realtime));
  FXScreenUnderEffect(s, s.oldPicture.get(), keepLayer);
  return 0;
}

// One call of the effect's routines in the state's phase.
int32_t Step(vkFXState& s, int32_t* done) {
  const vkFXFamilyRoutines& r = *s.routines;
  if (s.phase == 0) return r.setup(s);
  bool last = false;
  FXShowLayerForStep(s);
  if (s.phase == 2) return r.draw(s, s.frame, true, &last);
  const int32_t k = s.frame + 1;
  // The layer rectangles a frame changes are shown together after it.
  s.collectingRefresh = s.realtime != 0;
  s.refreshX1 = s.refreshY1 = INT32_MAX, s.refreshX2 = s.refreshY2 = INT32_MIN;
  const int32_t rc = r.draw(s, k, false, &last);
  s.collectingRefresh = false;
  if (s.refreshX1 < s.refreshX2 && s.refreshY1 < s.refreshY2)
    FXRefreshRect(s, s.refreshX1, s.refreshY1, s.refreshX2 - s.refreshX1, s.refreshY2 - s.refreshY1, 0);
  if (rc) return rc;
  vkDisplay* d = Display(s);
  if (s.scaling && !s.replaying && d) BltToWindow(*s.gs, d->screenBuffer, 0, 0, d, 0, 0, 0, 0, 1);
  s.frame = k;
  if (last && done) *done = 1;
  return 0;
}

// The end of a completed effect: the layer work and the lock.
void EndOfEffect(vkFXState& s) {
  FXDropLayerBuffers(s);
  ReleaseLock(s);
  FXFinishLayer(s);
  s.finished = 1;
}

// Frees the run: everything it holds, once. A layer shown by an effect that
// did not finish stays hidden.
void FreeRun(vkFXState* s, int32_t final) {
  ReleaseLock(*s);
  FXDropLayerBuffers(*s);
  if (s->privateData) {
    if (s->routines && s->routines->cleanup) s->routines->cleanup(*s, final);
    s->privateData.reset();
  }
  FXLeaveLayer(*s, final);
  delete s;
}

int32_t FXAsyncDrawFrame(void* userData, int32_t* finished) {
  vkFXState& s = *static_cast<vkFXState*>(userData);
  // A layer whose new picture could not be taken ends the effect as it is.
  if (s.layerLost) {
    *finished = 1;
    return 0;
  }
  FXFollowLayer(s);
  int32_t done = 0;
  const int32_t rc = Step(s, &done);
  if (done) *finished = 1;
  return rc;
}

void FXAsyncFinish(void* userData, int32_t) { EndOfEffect(*static_cast<vkFXState*>(userData)); }

void FXAsyncFree(void* userData, int32_t completed) { FreeRun(static_cast<vkFXState*>(userData), completed); }

intptr_t FXAsyncMessage(int32_t message, void* data, void* userData) {
  vkFXState& s = *static_cast<vkFXState*>(userData);
  switch (message) {
    case kAsyncLayerReplaced:
    case kAsyncLayerChanged:
      return FXLayerMessage(s, message, data);
    case kAsyncFrameCount:
      return s.stepCount;
    case kAsyncCurrentFrame:
      return s.frame;
    case kAsyncSeek:
      if (s.layerLost) return 0;
      return FXReplayFrames(s, data ? *static_cast<int32_t*>(data) : 0, 0);
    case kAsyncRedraw:
      FXRefreshLayer(s);
      return 0;
    case kAsyncGetLayer:
      if (data && s.layer) *static_cast<vkLayer**>(data) = s.layer;
      return 0;
    case kAsyncGetBGPic:
      if (data && s.bgpicemu) *static_cast<vkBGPic**>(data) = s.emulatedBGPic;
      return 0;
    case kAsyncBGPicFrame:
      s.replaying = data ? 1 : 0;
      return 0;
    default:
      return 0;
  }
}

}  // namespace

vkFXState::~vkFXState() = default;

// Draws until the number is an effect: 113 (no effect), 140 and 141 are
// drawn again, and so are whole-picture effects where they cannot run.
int32_t FXRandomEffect(bool allowWholePicture) {
  for (;;) {
    const int32_t id = int32_t(drand48() * 141.0);
    if (id == kFXUnusedId || id >= kFXRandomEffect) continue;
    if (!allowWholePicture && FXInSet(id, kFXWholePicture)) continue;
    return id;
  }
}

int32_t FXSpeedToStep(int32_t speed, int32_t size, int32_t normal, int32_t fast, int32_t slow) {
  int32_t step = speed;
  if (speed == kNormalSpeed) step = size / normal;
  if (speed == kFastSpeed) step = size / fast;
  if (speed == kSlowSpeed) step = size / slow;
  return std::max(step, 1);
}

int32_t FXStepCount(int32_t size, int32_t step, int32_t exact) {
  if (size < 1) return 1;
  if (step < 1) step = 1;
  int32_t n = size / step + (size % step ? 1 : 0);
  return exact ? n : n + 1;
}

void FXClipBlit(const vkBitMap* src, int32_t sx, int32_t sy, vkBitMap* dst, int32_t dx, int32_t dy, int32_t w,
                int32_t h, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight) {
  int64_t x0 = sx, y0 = sy, x1 = dx, y1 = dy, ww = w, hh = h;
  if (x0 < 0) ww += x0, x1 -= x0, x0 = 0;
  if (y0 < 0) hh += y0, y1 -= y0, y0 = 0;
  if (ww < 0 || hh < 0) return;
  if (x1 < 0) ww += x1, x0 -= x1, x1 = 0;
  if (y1 < 0) hh += y1, y0 -= y1, y1 = 0;
  ww = std::min(ww, std::min<int64_t>(srcWidth - x0, dstWidth - x1));
  hh = std::min(hh, std::min<int64_t>(srcHeight - y0, dstHeight - y1));
  if (ww >= 1 && hh >= 1)
    BltBitMap(src, int32_t(x0), int32_t(y0), dst, int32_t(x1), int32_t(y1), int32_t(ww), int32_t(hh));
}

void FXDraw(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t sx, int32_t sy,
            int32_t w, int32_t h) {
  FXDrawAt(s, src, mask, alpha, s.width, s.height, sx, sy, sx, sy, w, h, 0);
}

void FXDrawAt(vkFXState& s, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t srcWidth,
              int32_t srcHeight, int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t w, int32_t h,
              uint32_t flags) {
  if (s.realtime) {
    flags |= (s.reverse && src == s.source ? kFXBlitErase : 0) | (s.replaying ? kFXBlitNoShow : 0);
    FXBlitTo(s, src, mask, alpha, srcWidth, srcHeight, sx, sy, dx, dy, w, h, flags);
    return;
  }
  vkBlitRequest r;
  r.src = src;
  r.sx = sx, r.sy = sy;
  r.dx = int32_t(std::clamp<int64_t>(int64_t(s.x) + dx, INT32_MIN, INT32_MAX));
  r.dy = int32_t(std::clamp<int64_t>(int64_t(s.y) + dy, INT32_MIN, INT32_MAX));
  r.width = w, r.height = h;
  r.srcWidth = srcWidth, r.srcHeight = srcHeight;
  r.dstWidth = s.spaceWidth, r.dstHeight = s.spaceHeight;
  r.flags = s.blitFlags;
  r.mask = mask, r.alpha = alpha;
  r.clip = s.gs->CurrentBGPic ? s.gs->CurrentBGPic->activeClip : nullptr;
  SafeBlt(*s.gs, r);
}

void FXScreenUnderEffect(vkFXState& s, vkBitMap* dst, bool keepLayer) {
  FXHideLayerWhile(s, keepLayer, [&]() { CaptureScreen(s, dst, s.x, s.y, s.width, s.height); });
}

void MakeAlphaPlane(vkPlane* alpha, const vkPlane* mask, const vkPlane* sourceAlpha, int32_t width, int32_t height) {
  if (!alpha) return;
  if (mask) {
    MaskToAlpha(mask, alpha, width, height);
  } else if (sourceAlpha) {
    ClipBltAlphaPlane(sourceAlpha, 0, 0, alpha, 0, 0, width, height, 0, 0, sourceAlpha->width, sourceAlpha->height,
                      alpha->width, alpha->height);
  } else {
    FillAlphaRect(alpha, 0, 0, width, height, 255);
  }
}

int32_t FXReplayFrames(vkFXState& s, int32_t n, int32_t keep) {
  n = std::clamp(n, 0, std::max(s.stepCount, 0));
  if (s.row->sets & kFXSeekable) {
    s.frame = n;
    s.phase = 2;
    const int32_t rc = Step(s, nullptr);
    s.phase = 1;
    return rc;
  }
  if (n == s.frame && !keep) {
    FXRestoreLayerBuffers(s);
    return 0;
  }
  FXClearLayerBuffers(s);
  s.replaying = 1;
  s.frame = 0;
  s.phase = 1;
  int32_t rc = 0;
  for (int32_t i = 0; i < n && rc == 0; i++) rc = Step(s, nullptr);
  s.frame = n;
  s.replaying = 0;
  return rc;
}

int32_t FXRestart(vkFXState& s, int32_t done, int32_t of) {
  if (s.routines->cleanup && s.privateData) s.routines->cleanup(s, 0);
  s.privateData.reset();
  if (s.oldPicture) {
    s.oldPicture.reset();
    if (int32_t rc = MakeOldPicture(s)) return rc;
  }
  s.speed = s.requestedSpeed;
  s.phase = 0, s.frame = 0, s.stepCount = 0;
  if (int32_t rc = Step(s, nullptr)) return rc;
  s.phase = 1;
  if (done == 0 || of < 1) return 0;
  const int64_t target = std::llround(double(done) / double(of) * double(s.stepCount));
  s.restarted = 1;
  const int32_t rc = FXReplayFrames(s, int32_t(std::clamp<int64_t>(target, 1, std::max(s.stepCount, 1))), 1);
  s.restarted = 0;
  return rc;
}

uint32_t RunTransitionFX(vkFXRequest& request) {
  vkFXState* run = new (std::nothrow) vkFXState;
  if (!run) return kErrOutOfMemory;
  vkFXState& s = *run;
  static_cast<vkFXRequest&>(s) = request;
  s.caller = &request;
  s.gs = &GraphicsState(s.L);
  s.requestedSpeed = s.speed;
  if (s.type == kFXUnusedId) s.type = kFXRandomEffect;

  // Everything that fails before the frames frees the run as unfinished.
  auto fail = [&](int32_t rc) -> uint32_t {
    ShowFinalBGPic(s);
    FreeRun(run, 0);
    return uint32_t(rc);
  };

  vkDisplay* d = s.gs->CurrentDisplay;
  if (!d || !d->bgpic) return fail(kErrWrongUsage);
  if (d->doubleBuffer || d->doubleBufferSuspended) StopDoubleBuffer(s.L, d);
  if (int32_t rc = CheckOutputTarget(s, d)) return fail(rc);

  if (s.type == kFXRandomEffect)
    s.type = FXRandomEffect(s.operation == ot::BGPIC || s.bgpicemu);
  if (s.type < 0 || s.type > kFXLastId) return fail(kErrWrongUsage);
  if (s.operation != ot::BGPIC && FXInSet(s.type, kFXWholePicture) && !(s.operation == ot::LAYER && s.bgpicemu))
    s.type = kFXHStripes;
  if (s.reverse) s.type = FXRow(s.type).mirror;
  s.row = &FXRow(s.type);

  const vkFXFamilyRoutines& routines = FXFamilyRoutines(s.row->family);
  if (!routines.setup) return fail(kErrWrongUsage);
  s.routines = &routines;

  if (int32_t rc = Prepare(s, d)) return fail(rc);
  s.spaceWidth = d->backBuffer ? d->backBuffer->width : d->bgpic->width;
  s.spaceHeight = d->backBuffer ? d->backBuffer->height : d->bgpic->height;
  s.scaling = d->scaling && d->scaledWidth && d->scaledHeight ? 1 : 0;
  s.blitFlags = kBlitBackground | (s.scaling ? kBlitNoWindow : 0) |
                (s.operation == ot::BGPIC && d->layersOn ? kBlitBackgroundAlways : 0);
  if (int32_t rc = Flatten(s)) return fail(rc);
  if (int32_t rc = MakeOldPicture(s)) return fail(rc);

  s.phase = 0;
  if (int32_t rc = Step(s, nullptr)) return fail(rc);
  s.phase = 1;

  if (s.async) {
    void* handle = nullptr;
    if (int32_t rc = CreateAsyncDraw(*s.gs, ADF_FX, FXAsyncDrawFrame, FXAsyncFinish, FXAsyncFree, FXAsyncMessage,
                                     run, &handle))
      return fail(rc);
    vmPushLightUserdata(s.L, handle);
    ShowFinalBGPic(s);
    return 1;
  }

  const int32_t width0 = d->bgpic->width, height0 = d->bgpic->height;
  int32_t done = 0, error = 0;
  bool completed = false;
  for (;;) {
    if (vkosPumpEvents(s.L)) break;
    vkBGPic* shown = d->bgpic;
    if (!shown || shown->width != width0 || shown->height != height0) {
      if (!s.scaling) s.sizeChanged = 1;
      if (s.operation != ot::BGPIC) {
        request.again = 1;
        FXRepairLayerAfterResize(s);
      }
      break;
    }
    if ((error = Step(s, &done)) != 0) break;
    FlushDisplayFrame(*s.gs);
    if (s.observer) s.observer(s.observerContext, s);
    if (done) {
      completed = true;
      break;
    }
  }
  if (error) return fail(error);
  if (completed) EndOfEffect(s);
  ShowFinalBGPic(s);
  FreeRun(run, 1);
  return 0;
}
