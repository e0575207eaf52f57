// Anim playback: PlayAnim and PlayAnimDisk show the frames of an anim one
// after another at a position, a number of times, with a time per frame,
// either inside the command (pumping events between frames) or as an
// asynchronous drawing object the script steps. Frames with a mask or alpha
// plane are composed over a saved copy of the background under the play
// rectangle, so each frame replaces the last one instead of piling up.
#include <algorithm>
#include <memory>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/displays.h"
#include "graphics/outputtargets.h"
#include "graphics/safeblt.h"
#include "layers/animlib.h"
#include "layers/layers.h"
#include "pixel/blit.h"
#include "platform/vkos_events.h"
#include "platform/vkos_time.h"

namespace {

// Speed constants and what a frame then takes, in steps of 20 ms.
constexpr int32_t kFastSpeed = -2;
constexpr int32_t kNormalSpeed = -1;
constexpr int32_t kSlowSpeed = -3;
constexpr int32_t kDefaultSpeed = -4;  // each frame's own delay
constexpr int32_t kMillisPerStep = 20;
// The longest the sync loop sleeps between two runs of the event pump.
constexpr int32_t kSleepSlice = 10;

struct vkAnimPlayback {
  vkState* L = nullptr;
  vkAnim* anim = nullptr;  // locked while the playback lives
  vkBitMapPtr work;        // the composition buffer
  vkBitMapPtr saved;       // the background under the play rectangle
  int32_t frameTime = 0;   // ms, or kDefaultSpeed
  int32_t times = 1;       // passes; 0 or below: without end
  int32_t clipX = 0, clipY = 0, clipWidth = 0, clipHeight = 0;  // the play rectangle on the output
  int32_t clipOffsetX = 0, clipOffsetY = 0;                      // where it starts in the frame
  int32_t screenX = 0, screenY = 0, screenWidth = 0, screenHeight = 0;  // the frame before clipping
  int32_t frame = 1, pass = 1;
  vkTimeValue due{};
  bool async = false;
  vkTransform transform;
  bool transformed = false;
  vkLayer* layer = nullptr;  // layers on: the layer that shows the anim

  vkAnimPlayback() = default;
  vkAnimPlayback(const vkAnimPlayback&) = delete;
  vkAnimPlayback& operator=(const vkAnimPlayback&) = delete;
  ~vkAnimPlayback() {
    if (anim) anim->lockCount--;
  }
};

int32_t FrameTimeOf(int32_t speed) {
  switch (speed) {
    case kDefaultSpeed: return kDefaultSpeed;
    case kFastSpeed: return 0;
    case kNormalSpeed: return 3 * kMillisPerStep;
    case kSlowSpeed: return 8 * kMillisPerStep;
    default: return speed < 0 ? 0 : int32_t(std::min<int64_t>(int64_t(speed) * kMillisPerStep, INT32_MAX));
  }
}

// Cuts the frame rectangle to the output, then keeps the background under
// it and makes the composition buffer.
int32_t PrepareAnimBackground(vkGraphicsState& gs, vkAnimPlayback& pb) {
  pb.work.reset();
  pb.saved.reset();
  int64_t x = pb.screenX, y = pb.screenY, w = pb.screenWidth, h = pb.screenHeight;
  pb.clipOffsetX = pb.clipOffsetY = 0;
  if (x < 0) w += x, pb.clipOffsetX = int32_t(-x), x = 0;
  if (y < 0) h += y, pb.clipOffsetY = int32_t(-y), y = 0;
  const vkDisplay* d = OutputDisplay(gs);
  const vkBitMap* background = d ? d->backBuffer : nullptr;
  if (background) {
    w = std::min<int64_t>(w, background->width - x);
    h = std::min<int64_t>(h, background->height - y);
  }
  if (w < 1 || h < 1) return kErrWrongUsage;
  pb.clipX = int32_t(x), pb.clipY = int32_t(y), pb.clipWidth = int32_t(w), pb.clipHeight = int32_t(h);
  pb.work.reset(AllocArgbBitMap(pb.clipWidth, pb.clipHeight));
  pb.saved.reset(AllocArgbBitMap(pb.clipWidth, pb.clipHeight));
  if (!pb.work || !pb.saved) return kErrOutOfMemory;
  if (background) BltBitMap(background, pb.clipX, pb.clipY, pb.saved.get(), 0, 0, pb.clipWidth, pb.clipHeight);
  else FillBitMapRect(pb.saved.get(), 0, 0, 0, pb.clipWidth, pb.clipHeight);
  return 0;
}

// Blits [width] x [height] of [src] from (sx, sy) to the display at (dx, dy).
void BlitToDisplay(vkGraphicsState& gs, const vkBitMap* src, const vkPlane* mask, const vkPlane* alpha, int32_t sx,
                   int32_t sy, int32_t dx, int32_t dy, int32_t width, int32_t height) {
  vkBlitRequest r;
  r.src = src, r.mask = mask, r.alpha = alpha;
  r.sx = sx, r.sy = sy, r.dx = dx, r.dy = dy;
  r.width = width, r.height = height;
  r.srcWidth = src->width, r.srcHeight = src->height;
  if (const vkBGPic* out = OutputPicture(gs)) {
    r.dstWidth = out->width, r.dstHeight = out->height;
    r.clip = out->activeClip;
  }
  r.flags = kBlitBackground;
  SafeBlt(gs, r);
}

// Draws frame pb.frame; 0 or an error code.
int32_t DrawFrame(vkAnimPlayback& pb) {
  vkGraphicsState& gs = GraphicsState(pb.L);
  vkPlanes decoded;
  vkBitmapSource src;
  if (int32_t rc = GetAnimFrameBitmap(gs, *pb.anim, pb.frame - 1, false, true, &decoded, &src)) return rc;
  vkPlanes transformed;
  if (pb.transformed) {
    int32_t w = 0, h = 0;
    if (int32_t rc = TransformBitmapPlanes(gs, src.bitmap, src.mask, src.alpha, 0, 0, src.width, src.height,
                                           pb.transform, &transformed.bitmap, &transformed.mask, &transformed.alpha,
                                           &w, &h))
      return rc;
    src = vkBitmapSource{transformed.bitmap.get(), transformed.mask.get(), transformed.alpha.get(), w, h};
  }
  if (!src.mask && !src.alpha) {
    BlitToDisplay(gs, src.bitmap, nullptr, nullptr, 0, 0, pb.screenX, pb.screenY, src.width, src.height);
    return 0;
  }
  BltBitMap(pb.saved.get(), 0, 0, pb.work.get(), 0, 0, pb.clipWidth, pb.clipHeight);
  vkBlitRequest r;
  r.src = src.bitmap, r.mask = src.mask, r.alpha = src.alpha;
  r.sx = pb.clipOffsetX, r.sy = pb.clipOffsetY;
  r.dst = pb.work.get();
  r.width = pb.clipWidth, r.height = pb.clipHeight;
  r.srcWidth = src.width, r.srcHeight = src.height;
  r.dstWidth = pb.clipWidth, r.dstHeight = pb.clipHeight;
  r.flags = kBlitIgnoreClip | kBlitNoSprites | kBlitPixelsOnly;
  SafeBlt(gs, r);
  BlitToDisplay(gs, pb.work.get(), nullptr, nullptr, 0, 0, pb.clipX, pb.clipY, pb.clipWidth, pb.clipHeight);
  return 0;
}

// Layers on: the layer shows frame pb.frame. The layer keeps its own copy
// of the frame, which is replaced; a transformed or scaled layer is
// rendered anew, then its rectangle refreshed.
int32_t SetLayerFrame(vkAnimPlayback& pb) {
  vkGraphicsState& gs = GraphicsState(pb.L);
  vkPlanes copy;
  vkBitmapSource src;
  if (int32_t rc = GetAnimFrameBitmap(gs, *pb.anim, pb.frame - 1, true, false, &copy, &src)) return rc;
  vkLayerData* in = pb.layer->inserted;
  if (!in || src.width != in->width || src.height != in->height) return kErrWrongUsage;
  in->bitmap = std::move(copy.bitmap), in->mask = std::move(copy.mask), in->alpha = std::move(copy.alpha);
  in->sourceX = pb.frame - 1;
  if (gs.layerTargets.endLayerDrawing)
    return gs.layerTargets.endLayerDrawing(pb.L, pb.layer->bgpic ? gs.CurrentDisplay : nullptr, pb.layer, pb.frame);
  return 0;
}

int32_t ShowFrame(vkAnimPlayback& pb) { return pb.layer ? SetLayerFrame(pb) : DrawFrame(pb); }

// Layers on: frame 1 becomes a layer of the output picture as a displaying
// command makes it, with the display options at [optionsIndex]; the
// playback keeps that very layer, wherever the options inserted it.
int32_t InsertAnimLayer(vkAnimPlayback& pb, vkObjectId id, int32_t x, int32_t y, int optionsIndex) {
  vkGraphicsState& gs = GraphicsState(pb.L);
  vkBGPic* picture = LayerPicture(gs);
  if (!picture) return kErrWrongUsage;
  const std::vector<vkLayer*> before = picture->layers;
  vkDisplayRequest rq;
  rq.type = kObjectAnim;
  rq.id = id;
  rq.frame = 0;
  rq.x = x, rq.y = y;
  // The options are read as the last argument.
  if (optionsIndex) vmPushValue(pb.L, optionsIndex);
  rq.optionsIndex = optionsIndex ? vmGetTop(pb.L) : 0;
  const int32_t rc = DisplayBitmapObject(pb.L, rq);
  if (optionsIndex) vmSetTop(pb.L, -2);
  if (rc) return rc;
  for (vkLayer* layer : picture->layers)
    if (std::find(before.begin(), before.end(), layer) == before.end()) pb.layer = layer;
  return pb.layer ? 0 : kErrWrongUsage;
}

uint32_t DelayOf(const vkAnimPlayback& pb) {
  if (pb.frameTime != kDefaultSpeed) return uint32_t(pb.frameTime);
  return QueryAnimFrameDelay(*pb.anim, pb.frame - 1);
}

// Moves to the next frame; true when the last pass has ended.
bool Advance(vkAnimPlayback& pb) {
  if (++pb.frame <= pb.anim->frameCount) return false;
  if (pb.pass != pb.times) {
    pb.pass++;
    pb.frame = 1;
    return false;
  }
  return true;
}

vkTimeValue Millis(uint32_t ms) { return vkTimeValue{ms / 1000, (ms % 1000) * 1000}; }

int32_t AnimAsyncDrawFrame(void* userData, int32_t* finished) {
  vkAnimPlayback& pb = *static_cast<vkAnimPlayback*>(userData);
  vkTimeValue now;
  vkosGetTimeValue(&now);
  if (vkosCmpTimeValue(&now, &pb.due) == -1) return 0;
  if (int32_t rc = ShowFrame(pb)) return rc;
  pb.due = now;
  const vkTimeValue delay = Millis(DelayOf(pb));
  vkosAddTimeValue(&pb.due, &delay);
  if (Advance(pb)) *finished = 1;
  return 0;
}

void AnimAsyncFree(void* userData, int32_t) { delete static_cast<vkAnimPlayback*>(userData); }

// The layers tell a playback when its layer was replaced, and ask which
// layer it draws (that layer cannot be removed meanwhile).
intptr_t AnimAsyncMessage(int32_t message, void* data, void* userData) {
  vkAnimPlayback& pb = *static_cast<vkAnimPlayback*>(userData);
  if (message == kAsyncLayerReplaced) {
    vkLayer** layers = static_cast<vkLayer**>(data);
    if (pb.layer && pb.layer == layers[0]) pb.layer = layers[1];
  } else if (message == kAsyncGetLayer && pb.layer) {
    *static_cast<vkLayer**>(data) = pb.layer;
  }
  return 0;
}

// Sleeps until [delay] ms after pb.due, pumping events between short
// slices; false when the pump asks the script to stop.
bool WaitFrame(vkAnimPlayback& pb, uint32_t delay) {
  for (;;) {
    vkTimeValue now;
    vkosGetTimeValue(&now);
    vkTimeValue elapsed = now;
    vkosSubTimeValue(&elapsed, &pb.due);
    const int64_t left = vkosCmpTimeValue(&now, &pb.due) < 0 ? int64_t(delay) : int64_t(delay) - vkosTimeMillis(elapsed);
    if (left <= 0) break;
    vkosDelay(pb.L, int32_t(std::min<int64_t>(left, kSleepSlice)));
    if (vkosPumpEvents(pb.L)) return false;
  }
  vkosGetTimeValue(&pb.due);
  return true;
}

// Layers off: where the frame lands on the output, and the background
// kept under it.
int32_t PrepareFrame(vkGraphicsState& gs, vkAnimPlayback& pb, int32_t x, int32_t y) {
  int32_t width = pb.anim->decodedWidth, height = pb.anim->decodedHeight;
  if (!IsIdentity(pb.transform)) {
    GetDisplayedSize(pb.transform, width, height, &width, &height);
    pb.transformed = true;
  }
  pb.screenX = ResolveOutputX(gs, x, width, pb.transform.anchorX) - vkDoubleToInt32(width * pb.transform.anchorX);
  pb.screenY = ResolveOutputY(gs, y, height, pb.transform.anchorY) - vkDoubleToInt32(height * pb.transform.anchorY);
  pb.screenWidth = width, pb.screenHeight = height;
  return PrepareAnimBackground(gs, pb);
}

// Plays anim [id]; [disk] for PlayAnimDisk's own anim. Returns the number
// of results (the async handle) or an error code.
int PlayAnimObject(vkState* L, vkObjectId id, bool disk, int speedArg, int timesArg) {
  vkGraphicsState& gs = GraphicsState(L);
  const int32_t x = vkDoubleToInt32(vmOptNumber(L, 2, 0)), y = vkDoubleToInt32(vmOptNumber(L, 3, 0));
  int32_t speed = 0, times = 1, async = 0;
  if (!disk && vmGetTop(L) == 4 && vmType(L, 4) == VK_TTABLE) {
    OptFieldInt(L, 4, "speed", &speed, nullptr);
    OptFieldInt(L, 4, "times", &times, nullptr);
    OptFieldInt(L, 4, "async", &async, nullptr);
  } else {
    speed = vkDoubleToInt32(vmOptNumber(L, speedArg, 0));
    times = vkDoubleToInt32(vmOptNumber(L, timesArg, 1));
  }
  if (int32_t rc = OutputTargetError(gs)) return rc;
  vkAnim* anim = nullptr;
  if (int32_t rc = FindAnim(gs, id, &anim, 0)) return rc;

  auto pb = std::make_unique<vkAnimPlayback>();
  pb->L = L;
  const int optionsIndex = vmGetTop(L) >= 4 && vmType(L, 4) == VK_TTABLE ? 4 : 0;
  if (optionsIndex) {
    // The options are read as the last argument.
    vmPushValue(L, optionsIndex);
    const int32_t rc = ParseDisplayTags(L, vmGetTop(L), anim->decodedWidth, anim->decodedHeight, anim->width,
                                        anim->height, anim->smooth, &pb->transform, nullptr, kTagsInit);
    vmSetTop(L, -2);
    if (rc) return rc;
  } else {
    InitTransform(&pb->transform);
    BuildTransformMatrix(&pb->transform, anim->width, anim->height, anim->decodedWidth, anim->decodedHeight, 1.0, 1.0,
                         0);
    pb->transform.smooth = anim->smooth;
  }
  pb->anim = anim;
  anim->lockCount++;
  pb->frameTime = FrameTimeOf(speed);
  pb->times = times;
  pb->async = async != 0;

  vkDisplay* display = OutputDisplay(gs);
  if (display && display->layersOn) {
    if (int32_t rc = InsertAnimLayer(*pb, id, x, y, optionsIndex)) return rc;
  } else if (int32_t rc = PrepareFrame(gs, *pb, x, y)) {
    return rc;
  }
  vkosGetTimeValue(&pb->due);

  if (pb->async) {
    void* handle = nullptr;
    vkAnimPlayback* raw = pb.get();
    if (int32_t rc = CreateAsyncDraw(gs, ADF_ANIM, AnimAsyncDrawFrame, nullptr, AnimAsyncFree, AnimAsyncMessage, raw,
                                     &handle))
      return rc;
    pb.release();
    vmPushLightUserdata(L, handle);
    return 1;
  }
  const vkBitMap* background = display ? display->backBuffer : nullptr;
  const int32_t bgWidth = background ? background->width : 0, bgHeight = background ? background->height : 0;
  for (;;) {
    if (vkosPumpEvents(L)) break;
    display = OutputDisplay(gs);
    background = display ? display->backBuffer : nullptr;
    if (!pb->layer && background && !display->scaling &&
        (background->width != bgWidth || background->height != bgHeight))
      if (int32_t rc = PrepareAnimBackground(gs, *pb)) return rc;
    if (int32_t rc = ShowFrame(*pb)) return rc;
    const uint32_t delay = DelayOf(*pb);
    const bool done = Advance(*pb);
    FlushDisplayFrame(gs);
    if (done) break;
    if (delay > 0 && !WaitFrame(*pb, delay)) break;
    if (delay == 0) vkosGetTimeValue(&pb->due);
  }
  return 0;
}

}  // namespace

int cmdPlayAnim(vkState* L) {
  CheckArgCount(L, 3, 5);
  const vkObjectId id = CheckObjectId(L, 1);
  vkGraphicsState& gs = GraphicsState(L);
  vkAnim* anim = nullptr;
  // Playing the anim being drawn into ends that drawing first.
  if (FindAnim(gs, id, &anim, 0) == 0 && IsSelectedObject(gs, vkObjectType::ANIM, anim))
    if (int32_t rc = EndSelectOutput(L, gs.CurrentDisplay, false)) return rc;
  return PlayAnimObject(L, id, false, 4, 5);
}

int cmdPlayAnimDisk(vkState* L) {
  CheckArgCount(L, 3, 7);
  vkAnim* anim = nullptr;
  const int32_t loaded = LoadAnimFile(L, true, &anim);
  if (loaded > 1) return loaded;
  const vkObjectId id = anim->id;
  vmSetTop(L, -2);
  const int rc = PlayAnimObject(L, id, true, 5, 7);
  vkGraphicsState& gs = GraphicsState(L);
  Anims(gs).anims.remove_if([anim](const vkAnim& a) { return &a == anim; });
  return rc;
}
