// Water and strudel: the new picture fades in while rings ripple out from
// the centre (water, the ring length by id) or while the picture swirls
// about the centre and unwinds again (strudel). One routine serves both:
// the per-pixel work is the pixel engine's ripple or swirl kernel for the
// source's pixel size, fed the frame's step; on the display it mixes over
// the old picture in a work bitmap, in real-time layer mode it writes the
// layer's pixels and scales the layer's alpha plane. The last frame is the
// source itself, or, hiding a layer, nothing of it.
#include <algorithm>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "effects/fxcomposed.h"
#include "effects/fxlayers.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/transitionkernels.h"

namespace {

constexpr double kRippleFactor = 0.05;
constexpr int32_t kSwirlEnd = 720;  // degrees: a turn in, and out again

struct vkWater : vkFXPrivate {
  bool swirl = false;
  vkBitMapPtr work;        // display: the frame mixed over the old picture
  vkPlanePtr effectAlpha;  // real-time layer mode: the layer's full alpha
  std::vector<uint32_t> distances;  // water: each pixel's distance from the centre
  std::vector<double> sine, cosine;
};

// The kernels by bytes per pixel (2, 3, 4); other sizes are not drawn.
using vkWaterKernel = void (*)(vkWaterContext*, int32_t);
using vkSwirlKernel = void (*)(vkStrudelContext*, int32_t);
constexpr vkWaterKernel kWaterKernels[] = {RenderWaterRipple16, RenderWaterRipple24, RenderWaterRipple32};
constexpr vkSwirlKernel kSwirlKernels[] = {RenderStrudelSwirl16, RenderStrudelSwirl24, RenderStrudelSwirl32};

// The frame's progress and where it ends: water's step number against two
// halves of [speed] steps, strudel's angle against two turns.
int64_t Progress(const vkFXState& s, const vkWater& p, int32_t k) { return p.swirl ? int64_t(k) * s.speed : k; }
int64_t End(const vkFXState& s, const vkWater& p) { return p.swirl ? kSwirlEnd : 2 * int64_t(s.speed); }

// The source, the picture it mixes over and the destination, locked with
// one pixel size between them; false when any of them is not available.
struct vkLocked {
  vkBitMapInfo a, b, d;
  vkLocked(const vkBitMap* srcA, const vkBitMap* srcB, vkBitMap* dst) {
    LockBitMap(const_cast<vkBitMap*>(srcA), &a);
    LockBitMap(const_cast<vkBitMap*>(srcB), &b);
    LockBitMap(dst, &d);
  }
  ~vkLocked() {
    UnLockBitMap(&d);
    UnLockBitMap(&b);
    UnLockBitMap(&a);
  }
  bool Valid() const {
    return a.locked && b.locked && d.locked && a.bytesPerPixel == b.bytesPerPixel &&
           a.bytesPerPixel == d.bytesPerPixel && a.bytesPerPixel >= 2 && a.bytesPerPixel <= 4;
  }
};

// Runs the frame's kernel into the work bitmap or the layer.
void RenderFrame(vkFXState& s, vkWater& p, int64_t progress) {
  const bool layer = s.realtime != 0;
  const vkBitMap* under = layer || !s.oldPicture ? s.source : s.oldPicture.get();
  vkBitMap* dst = layer ? FXLayerBitMap(s) : p.work.get();
  vkPlane* layerAlpha = layer ? FXLayerAlpha(s) : nullptr;
  if (!dst || (layer && (!layerAlpha || !p.effectAlpha))) return;
  vkLocked px(s.source, under, dst);
  if (!px.Valid()) return;
  const size_t kernel = size_t(px.a.bytesPerPixel - 2);
  const uint8_t* srcAlpha = layer ? p.effectAlpha->data : nullptr;
  const int32_t srcAlphaRow = layer ? p.effectAlpha->bytesPerRow : 0;
  uint8_t* dstAlpha = layer ? layerAlpha->data : nullptr;
  const int32_t dstAlphaRow = layer ? layerAlpha->bytesPerRow : 0;
  if (p.swirl) {
    vkStrudelContext c{};
    c.srcA = px.a.pixels, c.srcB = px.b.pixels, c.dstPixels = px.d.pixels;
    c.srcAPixelsPerRow = px.a.pixelsPerRow, c.srcBPixelsPerRow = px.b.pixelsPerRow;
    c.dstPixelsPerRow = px.d.pixelsPerRow;
    c.sine = p.sine.data(), c.cosine = p.cosine.data();
    c.width = s.width, c.height = s.height;
    c.format = px.a.format;
    c.fadeOut = s.reverse;
    c.srcAlpha = srcAlpha, c.srcAlphaBytesPerRow = srcAlphaRow;
    c.dstAlpha = dstAlpha, c.dstAlphaBytesPerRow = dstAlphaRow;
    kSwirlKernels[kernel](&c, int32_t(progress));
    return;
  }
  vkWaterContext c{};
  c.srcA = px.a.pixels, c.srcB = px.b.pixels, c.dstPixels = px.d.pixels;
  c.srcAPixelsPerRow = px.a.pixelsPerRow, c.srcBPixelsPerRow = px.b.pixelsPerRow;
  c.dstPixelsPerRow = px.d.pixelsPerRow;
  c.distances = p.distances.data(), c.sine = p.sine.data();
  c.wavelength = double(s.row->size);
  c.amplitudeFactor = kRippleFactor;
  c.halfDuration = s.speed;
  c.width = s.width, c.height = s.height;
  c.format = px.a.format;
  c.fadeOut = s.reverse;
  c.srcAlpha = srcAlpha, c.srcAlphaBytesPerRow = srcAlphaRow;
  c.dstAlpha = dstAlpha, c.dstAlphaBytesPerRow = dstAlphaRow;
  c.centreX = s.width / 2, c.centreY = s.height / 2;
  c.maxDistance = uint32_t(std::max(c.centreX, c.centreY));
  kWaterKernels[kernel](&c, int32_t(progress));
}

}  // namespace

int32_t FXWaterSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkWater;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  p->swirl = s.row->variant == kFXSwirl;
  s.speed = p->swirl ? FXNamedStep(s.speed, 16, 8, 4, 2, 16) : FXNamedStep(s.speed, 10, 25, 50, 5, 100);
  if (!s.realtime) {
    p->work.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->work) return kErrOutOfMemory;
  } else {
    p->effectAlpha = FXSourceAlphaPlane(s);
    if (!p->effectAlpha) return kErrOutOfMemory;
  }
  try {
    p->sine.resize(size_t(kTransitionTableSize));
    if (p->swirl) {
      p->cosine.resize(size_t(kTransitionTableSize));
      vkStrudelContext c{};
      c.sine = p->sine.data(), c.cosine = p->cosine.data();
      InitStrudelTables(&c);
    } else {
      p->distances.resize(size_t(s.width) * size_t(s.height));
      vkWaterContext c{};
      c.sine = p->sine.data(), c.distances = p->distances.data();
      c.width = s.width, c.height = s.height;
      InitWaterTables(&c);
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  s.stepCount = p->swirl ? FXStepCount(kSwirlEnd, s.speed, 1) : FXStepCount(2 * s.speed, 1, 1);
  return 0;
}

int32_t FXWaterDraw(vkFXState& s, int32_t k, bool, bool* last) {
  vkWater& p = s.Private<vkWater>();
  const int64_t progress = Progress(s, p, k);
  const bool done = progress >= End(s, p);
  if (done) *last = true;
  if (s.realtime) {
    if (!done) {
      RenderFrame(s, p, progress);
    } else if (s.reverse) {
      // Hidden: nothing of the layer is left.
      FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height, kFXBlitErase | kFXBlitNoShow);
    } else {
      BltBitMap(s.source, 0, 0, FXLayerBitMap(s), 0, 0, s.width, s.height);
      if (vkPlane* alpha = FXLayerAlpha(s))
        ClipBltAlphaPlane(p.effectAlpha.get(), 0, 0, alpha, 0, 0, s.width, s.height, 0, 0, s.width, s.height,
                          alpha->width, alpha->height);
    }
    if (!s.replaying) FXRefreshRect(s, 0, 0, s.width, s.height, 32);
    return 0;
  }
  if (!done) RenderFrame(s, p, progress);
  FXDraw(s, done ? s.source : p.work.get(), nullptr, nullptr, 0, 0, s.width, s.height);
  return 0;
}

void FXWaterCleanup(vkFXState& s, int32_t) {
  vkWater& p = s.Private<vkWater>();
  p.work.reset(), p.effectAlpha.reset();
  p.distances = {}, p.sine = {}, p.cosine = {};
}
