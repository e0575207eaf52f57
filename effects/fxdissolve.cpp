// Dissolve: the new picture's pixels appear in a random order. Every pixel
// draws a threshold once at set-up; frame k shows the pixels whose
// threshold lies below k times the step, through a mask rewritten whole
// each frame, so any frame can be drawn from scratch. The frame that
// reaches the end shows every pixel. In real-time layer mode the layer's
// own mask or alpha plane is rewritten; hiding runs the order backwards.
#include <cstdlib>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "effects/fxcomposed.h"
#include "effects/fxlayers.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/transitionkernels.h"

namespace {

// Thresholds run 0..254: a level of 255 or more would show every pixel.
constexpr int32_t kThresholds = 255;
constexpr int32_t kFullLevel = 256;

struct vkDissolve : vkFXPrivate {
  vkBitMapPtr work;  // display: the frame composed over the old picture
  vkPlanePtr mask;   // display: the pixels shown
  std::vector<uint8_t> thresholds;  // one per pixel, rows packed
};

}  // namespace

int32_t FXDissolveSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkDissolve;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  s.speed = FXNamedStep(s.speed, 8, 4, 2, 1, 8);
  if (s.realtime) {
    BltBitMap(s.source, 0, 0, FXLayerBitMap(s), 0, 0, s.width, s.height);
  } else {
    p->work.reset(AllocArgbBitMap(s.width, s.height));
    p->mask.reset(AllocMaskPlane(s.width, s.height, true));
    if (!p->work || !p->mask) return kErrOutOfMemory;
  }
  try {
    p->thresholds.resize(size_t(s.width) * size_t(s.height));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (uint8_t& t : p->thresholds) t = uint8_t(rand() % kThresholds);
  s.stepCount = FXStepCount(kFullLevel, s.speed, 1);
  return 0;
}

int32_t FXDissolveDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkDissolve& p = s.Private<vkDissolve>();
  const int64_t level = int64_t(k) * s.speed;
  if (level >= kFullLevel) *last = true;
  const uint32_t show = s.replaying ? kFXBlitNoShow : 0;

  if (s.realtime) {
    if (fromScratch) BltBitMap(s.source, 0, 0, FXLayerBitMap(s), 0, 0, s.width, s.height);
    if (level >= kFullLevel) {
      // The end: the layer whole, or gone when hiding.
      if (s.reverse)
        FXBlit(s, s.source, nullptr, nullptr, 0, 0, s.width, s.height, kFXBlitErase | show);
      else
        FXBlit(s, s.source, s.sourceMask, s.sourceAlpha, 0, 0, s.width, s.height, show);
      return 0;
    }
    vkDissolveContext c{};
    const vkPlane* from = s.sourceAlpha ? s.sourceAlpha : s.sourceMask;
    vkPlane* to = s.sourceAlpha ? FXLayerAlpha(s) : FXLayerMaskPlane(s);
    if (!to) return 0;
    c.src = from ? from->data : nullptr;
    c.srcBytesPerRow = from ? from->bytesPerRow : 0;
    c.dst = to->data, c.dstBytesPerRow = to->bytesPerRow;
    c.width = s.width, c.height = s.height;
    c.thresholds = p.thresholds.data();
    c.bytePlanes = s.sourceAlpha ? 1 : 0;
    c.direction = s.reverse;
    DissolveStep(&c, int32_t(level));
    if (!s.replaying) FXRefreshRect(s, 0, 0, s.width, s.height, 0);
    return 0;
  }

  if (level < kFullLevel) {
    vkDissolveContext c{};
    c.src = s.sourceMask ? s.sourceMask->data : nullptr;
    c.srcBytesPerRow = s.sourceMask ? s.sourceMask->bytesPerRow : 0;
    c.dst = p.mask->data, c.dstBytesPerRow = p.mask->bytesPerRow;
    c.width = s.width, c.height = s.height;
    c.thresholds = p.thresholds.data();
    DissolveStep(&c, int32_t(level));
  }
  // The done frame shows the source through its own planes alone.
  const bool done = level >= kFullLevel;
  FXComposedBlit(s, s.source, done ? s.sourceMask : p.mask.get(), done ? s.sourceAlpha : nullptr,
                 {0, 0, s.width, s.height}, p.work, 0);
  return 0;
}

void FXDissolveCleanup(vkFXState& s, int32_t) {
  vkDissolve& p = s.Private<vkDissolve>();
  p.work.reset(), p.mask.reset();
  p.thresholds = {};
}
