// Fade, blend and crossfade: effects that change the picture by levels
// rather than by geometry. On the display they compose each frame in work
// bitmaps from the old picture and the source; in real-time layer mode they
// scale the layer's alpha plane. Frame k's level is k times the step, so any
// frame can be drawn from scratch and playing and seeking agree.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/errorcodes.h"
#include "effects/fxcomposed.h"
#include "effects/fxengine.h"
#include "effects/fxlayers.h"
#include "graphics/graphicsstate.h"
#include "graphics/safeblt.h"
#include "pixel/alphakernels.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"

namespace {

struct vkFade : vkFXPrivate {
  vkBitMapPtr workA, workB;  // display mode: the tinted picture, and the old one it lands on
  vkPlanePtr effectAlpha;    // real-time layer mode: the layer's full alpha
  uint32_t colour = 0;       // 0xRRGGBB faded through
};

struct vkCrossfade : vkFXPrivate {
  vkBitMapPtr work;        // display mode: the frame being mixed
  vkPlanePtr effectAlpha;  // real-time layer mode
};

// The step of a level effect from the speed: the three named speeds, and a
// default for other values of 0 and below.
int32_t LevelStep(int32_t speed, int32_t most) {
  int32_t step = speed;
  if (speed == kFastSpeed) step = 20;
  else if (speed == kNormalSpeed) step = 10;
  else if (speed == kSlowSpeed) step = 5;
  else if (speed <= 0) step = 10;
  return std::min(step, most);
}

int32_t AlphaBytes(const vkPlane* p) { return p ? p->bytesPerRow * p->height : 0; }

// The layer's on-screen alpha = the effect alpha scaled by level / 255.
void ScaleLayerAlpha(vkFXState& s, const vkPlane* effectAlpha, int32_t level) {
  vkPlane* shown = FXLayerAlpha(s);
  if (!shown || !effectAlpha) return;
  const int32_t n = std::min(AlphaBytes(shown), AlphaBytes(effectAlpha));
  MultiplyAlphaPlane(effectAlpha->data, shown->data, level, n, 1);
}

// Whether a fade frame at [level] in real-time layer mode works on the
// alpha plane (else on the layer's pixels).
bool FadeWorksOnAlpha(const vkFXState& s, int64_t level) {
  const bool fade = s.row->variant == kFXFadeThroughColour;
  return (fade && level < 256 && !s.reverse) || (level > 256 && s.reverse);
}

// The layer's buffers for a fade frame: the pixels filled with the fade
// colour and the alpha from the source (fading the colour in), or the
// source's alpha copied in whole.
void PrepareFadeLayer(vkFXState& s, vkFade& p, bool fill) {
  vkBitMap* bitmap = FXLayerBitMap(s);
  vkPlane* alpha = FXLayerAlpha(s);
  if (fill) {
    FillBitMapRect(bitmap, p.colour, 0, 0, s.width, s.height);
  } else if (alpha && p.effectAlpha) {
    std::memcpy(alpha->data, p.effectAlpha->data, size_t(std::min(AlphaBytes(alpha), AlphaBytes(p.effectAlpha.get()))));
  }
}

}  // namespace

int32_t FXFadeSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkFade;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  s.speed = LevelStep(s.speed, 255);
  p->colour = s.parameter == kFXRandomParameter ? uint32_t(rand() % (1 << 24)) : uint32_t(s.parameter) & 0xFFFFFF;
  if (s.realtime) {
    p->effectAlpha = FXSourceAlphaPlane(s);
    if (!p->effectAlpha) return kErrOutOfMemory;
    PrepareFadeLayer(s, *p, s.row->variant == kFXFadeThroughColour && !s.reverse);
  } else {
    p->workA.reset(AllocArgbBitMap(s.width, s.height));
    p->workB.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->workA || !p->workB) return kErrOutOfMemory;
  }
  s.stepCount = FXStepCount(511 - s.speed, s.speed, 0);
  return 0;
}

// Frame k has level min(k x step, 511). Up to 255 the picture moves towards
// the colour by the level, then back from it; FADE starts from the old
// picture and turns to the source at the half, BLEND starts from the source.
int32_t FXFadeDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkFade& p = s.Private<vkFade>();
  int64_t level = int64_t(k) * s.speed;
  int32_t tint = 0;
  if (level > 510) {
    level = 511;
    *last = true;
  } else {
    tint = level <= 255 ? int32_t(level) : 255 - int32_t(level % 256);
  }
  const bool fromSource = s.row->variant == kFXBlendOver || level > 255;

  if (s.realtime) {
    const bool onAlpha = FadeWorksOnAlpha(s, level);
    // Where this frame's half differs from the previous frame's, or when
    // drawn from scratch, the layer's buffers are made as a rebuild makes them.
    const bool wasOnAlpha = k > 1 && FadeWorksOnAlpha(s, int64_t(k - 1) * s.speed);
    if (fromScratch || k == 1 || onAlpha != wasOnAlpha) PrepareFadeLayer(s, p, onAlpha);
    if (onAlpha) {
      ScaleLayerAlpha(s, p.effectAlpha.get(), tint);
    } else {
      vkBitMap* bitmap = FXLayerBitMap(s);
      BltBitMap(s.source, 0, 0, bitmap, 0, 0, s.width, s.height);
      if (tint > 0) TintBitMap(bitmap, 0, 0, s.width, s.height, p.colour, tint);
    }
    if (!s.replaying) FXRefreshRect(s, 0, 0, s.width, s.height, 32);
    return 0;
  }

  const vkBitMap* from = fromSource || !s.oldPicture ? s.source : s.oldPicture.get();
  BltBitMap(from, 0, 0, p.workA.get(), 0, 0, s.width, s.height);
  if (tint > 0)
    if (int32_t rc = TintBitMap(p.workA.get(), 0, 0, s.width, s.height, p.colour, tint)) return rc;
  if (!s.sourceMask && !s.sourceAlpha) {
    // An opaque source covers the old picture whole.
    FXDraw(s, p.workA.get(), nullptr, nullptr, 0, 0, s.width, s.height);
    return 0;
  }
  if (s.oldPicture)
    BltBitMap(s.oldPicture.get(), 0, 0, p.workB.get(), 0, 0, s.width, s.height);
  else
    FillBitMapRect(p.workB.get(), 0, 0, 0, s.width, s.height);
  vkBlitRequest r;
  r.src = p.workA.get(), r.dst = p.workB.get();
  r.width = s.width, r.height = s.height;
  r.srcWidth = r.dstWidth = s.width, r.srcHeight = r.dstHeight = s.height;
  r.flags = kBlitIgnoreClip | kBlitNoSprites;
  r.mask = s.sourceMask, r.alpha = s.sourceAlpha;
  SafeBlt(*s.gs, r);
  FXDraw(s, p.workB.get(), nullptr, nullptr, 0, 0, s.width, s.height);
  return 0;
}

void FXFadeCleanup(vkFXState& s, int32_t) {
  vkFade& p = s.Private<vkFade>();
  p.workA.reset(), p.workB.reset(), p.effectAlpha.reset();
}

int32_t FXCrossfadeSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkCrossfade;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  s.speed = LevelStep(s.speed, 120);
  if (s.realtime) {
    BltBitMap(s.source, 0, 0, FXLayerBitMap(s), 0, 0, s.width, s.height);
    p->effectAlpha = FXSourceAlphaPlane(s);
    if (!p->effectAlpha) return kErrOutOfMemory;
  } else {
    p->work.reset(AllocArgbBitMap(s.width, s.height));
    if (!p->work) return kErrOutOfMemory;
  }
  s.stepCount = FXStepCount(255, s.speed, 1);
  return 0;
}

// Frame k has level min(k x step, 255): the new picture weighs level / 255
// against the old one (in a layer: its alpha, falling instead when hiding).
int32_t FXCrossfadeDraw(vkFXState& s, int32_t k, bool fromScratch, bool* last) {
  vkCrossfade& p = s.Private<vkCrossfade>();
  int64_t level = int64_t(k) * s.speed;
  if (level > 254) {
    level = 255;
    *last = true;
  }
  if (s.realtime) {
    if (fromScratch) BltBitMap(s.source, 0, 0, FXLayerBitMap(s), 0, 0, s.width, s.height);
    ScaleLayerAlpha(s, p.effectAlpha.get(), s.reverse ? 255 - int32_t(level) : int32_t(level));
    if (!s.replaying) FXRefreshRect(s, 0, 0, s.width, s.height, 0);
    return 0;
  }
  if (level == 255 || !s.oldPicture)
    BltBitMap(s.source, 0, 0, p.work.get(), 0, 0, s.width, s.height);
  else if (int32_t rc = CrossfadeBitMaps(p.work.get(), s.source, s.oldPicture.get(), s.width, s.height,
                                         int32_t(level)))
    return rc;
  FXDraw(s, p.work.get(), nullptr, nullptr, 0, 0, s.width, s.height);
  return 0;
}

void FXCrossfadeCleanup(vkFXState& s, int32_t) {
  vkCrossfade& p = s.Private<vkCrossfade>();
  p.work.reset(), p.effectAlpha.reset();
}
