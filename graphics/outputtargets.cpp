// Output targets: selecting brushes, masks, alpha channels, pictures, anim
// frames and layers as what a display's drawing goes into, preparing them
// before the first drawing, and ending the selection. The display's select
// record borrows the selected object's planes; the objects themselves stay
// with their libraries (anims and layers answer through the layers
// library's hooks in the graphics state).
#include "graphics/outputtargets.h"

#include <cstring>
#include <new>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/doublebuffer.h"
#include "graphics/objecttypes.h"
#include "pixel/bitmap.h"
#include "pixel/bitmapops.h"

namespace {

bool IsPlaneTarget(int32_t renderTarget) {
  return renderTarget == kTargetBrush || renderTarget == kTargetMask || renderTarget == kTargetAlphaChannel;
}

// The hooks of the layers library for [kind], or none.
const vkTargetKindHooks* KindHooks(vkGraphicsState& gs, int32_t kind) {
  if (kind == vkObjectType::LAYER) return &gs.layerTargets.layer;
  if (kind == vkObjectType::ANIM) return &gs.layerTargets.anim;
  return nullptr;
}

// What a layer or anim target gives while the layers library has not
// registered its lookup.
int32_t KindNotFound(int32_t kind, vkObjectId id) {
  if (kind == vkObjectType::LAYER) return kErrLayerOutOfRange;
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoAnim;
}

bool ShownByAnyDisplay(vkGraphicsState& gs, const vkBGPic* p) {
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (d->bgpic == p) return true;
  return false;
}

// Finds object [id] of [kind] with its planes: as selected ([forDrawing]
// false, with the selection's checks) or for modification before drawing.
int32_t FindTarget(vkState* L, vkDisplay* d, int32_t kind, vkObjectId id, int32_t index, bool forDrawing,
                   vkTargetObject* out) {
  vkGraphicsState& gs = GraphicsState(L);
  switch (kind) {
    case vkObjectType::BRUSH: {
      vkBrush* b = nullptr;
      const uint32_t flags = kBrushFindPixels | (forDrawing ? kBrushFindChange : 0);
      if (int32_t rc = FindBrush(gs, id, &b, flags)) return rc;
      if (!b->bitmap) return kErrBrushType;
      *out = vkTargetObject{b, b->bitmap.get(), b->mask.get(), b->alpha.get(), b->width, b->height};
      return 0;
    }
    case vkObjectType::BGPIC: {
      vkBGPic* p = nullptr;
      if (int32_t rc = FindBGPic(gs, id, &p, forDrawing ? kFindModify : 0)) return rc;
      if (!forDrawing) {
        if (p->imageType == kImageTypeGenerated) return kErrBGPicType;
        if (ShownByAnyDisplay(gs, p)) return kErrBGPicOnDisplay;
      }
      if (!p->bitmap) return kErrWrongUsage;
      *out = vkTargetObject{p, p->bitmap, p->mask, p->alpha, p->width, p->height};
      return 0;
    }
    case vkObjectType::ANIM:
    case vkObjectType::LAYER: {
      const vkTargetKindHooks* hooks = KindHooks(gs, kind);
      if (!hooks->find) return KindNotFound(kind, id);
      if (int32_t rc = hooks->find(L, d, id, index, forDrawing, out)) return rc;
      return out->bitmap ? 0 : kErrWrongUsage;
    }
    default:
      return kErrWrongUsage;
  }
}

// A new plane of width x height with every byte set: a mask all visible or
// an opaque alpha channel.
vkPlane* FullPlane(int32_t renderTarget, int32_t width, int32_t height) {
  vkPlane* p = renderTarget == kTargetMask ? AllocMaskPlane(width, height, false) : AllocAlphaPlane(width, height, false);
  if (p) std::memset(p->data, 0xFF, size_t(p->bytesPerRow) * size_t(p->height));
  return p;
}

// Gives the picture [plane] as its mask (or alpha channel) and drops the
// other kind, in every set that shares the current bitmap.
void GivePicturePlane(vkBGPic* p, bool isMask, vkPlane* plane) {
  vkPlane* oldMask = p->mask;
  vkPlane* oldAlpha = p->alpha;
  auto set = [&](vkBitMap* bitmap, vkPlane*& mask, vkPlane*& alpha) {
    if (bitmap != p->bitmap) return;
    mask = isMask ? plane : nullptr;
    alpha = isMask ? nullptr : plane;
  };
  set(p->scaledBitMap, p->scaledMask, p->scaledAlpha);
  set(p->baseBitMap, p->baseMask, p->baseAlpha);
  set(p->bitmap, p->mask, p->alpha);
  auto held = [p](const vkPlane* x) {
    return x == p->scaledMask || x == p->mask || x == p->baseMask || x == p->scaledAlpha || x == p->alpha ||
           x == p->baseAlpha;
  };
  if (oldMask && !held(oldMask)) FreeMaskPlane(oldMask);
  if (oldAlpha && !held(oldAlpha)) FreeAlphaPlane(oldAlpha);
}

// Makes the missing plane of a mask or alpha target: 0 or an error code.
int32_t GiveMissingPlane(vkGraphicsState& gs, int32_t kind, int32_t index, int32_t renderTarget,
                         vkTargetObject* obj) {
  const bool isMask = renderTarget == kTargetMask;
  if (renderTarget != kTargetMask && renderTarget != kTargetAlphaChannel) return 0;
  if (isMask ? obj->mask != nullptr : obj->alpha != nullptr) return 0;
  vkPlane* plane = FullPlane(renderTarget, obj->width, obj->height);
  if (!plane) return kErrOutOfMemory;
  switch (kind) {
    case vkObjectType::BRUSH: {
      vkBrush* b = static_cast<vkBrush*>(obj->record);
      (isMask ? b->mask : b->alpha).reset(plane);
      (isMask ? b->alpha : b->mask).reset();
      break;
    }
    case vkObjectType::BGPIC:
      GivePicturePlane(static_cast<vkBGPic*>(obj->record), isMask, plane);
      break;
    default: {
      const vkTargetKindHooks* hooks = KindHooks(gs, kind);
      if (!hooks || !hooks->replacePlanes) {
        FreeMaskPlane(plane);
        return kErrWrongUsage;
      }
      hooks->replacePlanes(gs, obj->record, index, isMask ? plane : nullptr, isMask ? nullptr : plane);
      break;
    }
  }
  obj->mask = isMask ? plane : nullptr;
  obj->alpha = isMask ? nullptr : plane;
  return 0;
}

// The display's drawing planes for the object's planes and the mode.
void SetDrawingPlanes(vkDisplay* d, const vkBGPic* record, int32_t renderTarget, int32_t mode) {
  d->drawBitMap = nullptr, d->drawMask = nullptr, d->drawAlpha = nullptr;
  switch (renderTarget) {
    case kTargetMask: d->drawMask = record->mask; break;
    case kTargetAlphaChannel: d->drawAlpha = record->alpha; break;
    case kTargetBrush:
      d->drawBitMap = record->bitmap;
      if (mode == SELMODE_COMBO) d->drawMask = record->mask, d->drawAlpha = record->alpha;
      break;
    default: break;
  }
}

// The shown set of a picture drawn into, made again from its current set
// where it is a set of its own. 0 or an error code.
int32_t RebuildShownSet(vkGraphicsState& gs, vkBGPic* p, bool smooth) {
  if (p->scaledBitMap == p->bitmap) {
    p->scaledMask = p->mask, p->scaledAlpha = p->alpha;
    return 0;
  }
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  if (int32_t rc = ScaleBitMap(gs.scaleTables, p->bitmap, p->mask, p->alpha, 0, 0, nullptr, p->width, p->height,
                               p->scaledWidth, p->scaledHeight, smooth, &b, p->mask ? &m : nullptr,
                               p->alpha ? &a : nullptr))
    return rc;
  vkBitMap* oldB = p->scaledBitMap;
  vkPlane *oldM = p->scaledMask, *oldA = p->scaledAlpha;
  p->scaledBitMap = b, p->scaledMask = m, p->scaledAlpha = a;
  if (oldB && oldB != p->bitmap && oldB != p->baseBitMap) FreeBitMap(oldB);
  if (oldM && oldM != p->mask && oldM != p->baseMask) FreeMaskPlane(oldM);
  if (oldA && oldA != p->alpha && oldA != p->baseAlpha) FreeAlphaPlane(oldA);
  return 0;
}

}  // namespace

void InitTargetRecord(vkBGPic* r, int32_t kind, void* object, int32_t index, const vkObjectId* id, vkBitMap* bitmap,
                      vkPlane* mask, vkPlane* alpha, int32_t width, int32_t height, bool zero) {
  if (zero) {
    // The record borrows its planes: forget them before the fresh record
    // replaces it, so that nothing frees them.
    r->scaledBitMap = r->bitmap = r->baseBitMap = nullptr;
    r->scaledMask = r->mask = r->baseMask = nullptr;
    r->scaledAlpha = r->alpha = r->baseAlpha = nullptr;
    r->fill.texture = nullptr;
    *r = vkBGPic{};
  }
  r->targetKind = kind;
  r->targetObject = object;
  r->targetLayer = kind == vkObjectType::LAYER ? static_cast<vkLayer*>(object) : nullptr;
  r->targetIndex = index;
  if (id) r->id = *id;
  r->scaledBitMap = r->bitmap = r->baseBitMap = bitmap;
  r->scaledMask = r->mask = r->baseMask = mask;
  r->scaledAlpha = r->alpha = r->baseAlpha = alpha;
  r->scaledWidth = r->width = r->baseWidth = width;
  r->scaledHeight = r->height = r->baseHeight = height;
  r->rowWidth = width;
}

int32_t SelectOutputTarget(vkState* L, int32_t kind, vkObjectId id, int32_t renderTarget, int32_t index,
                           int32_t mode) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d) return kErrWrongUsage;
  const vkBGPic* current = gs.CurrentBGPic;
  if (d->renderTarget == renderTarget && current && current == d->selectTarget && current->targetKind == kind &&
      current->targetIndex == index && current->id == id && current->targetMode == mode)
    return 0;
  if (d->renderTarget != kTargetDisplay && !d->doubleBuffer)
    if (int32_t rc = EndSelectOutput(L, d, false)) return rc;

  vkTargetObject obj;
  if (int32_t rc = FindTarget(L, d, kind, id, index, false, &obj)) return rc;
  if (!d->selectTarget) {
    d->selectTarget = new (std::nothrow) vkBGPic;
    if (!d->selectTarget) return kErrOutOfMemory;
  }
  vkBGPic* t = d->selectTarget;
  gs.CurrentBGPic = t;
  InitTargetRecord(t, kind, obj.record, index, &id, obj.bitmap, obj.mask, obj.alpha, obj.width, obj.height, true);
  t->targetMode = mode;
  t->targetPrepared = 0;
  SaveDisplayState(d, renderTarget == kTargetBGPic, obj.width);
  d->renderTarget = renderTarget;
  if (d->doubleBuffer) d->doubleBuffer = 0, d->doubleBufferSuspended = 1;
  SetDrawingPlanes(d, t, renderTarget, mode);
  return 0;
}

int32_t PrepareMaskOrAlphaTarget(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  vkBGPic* t = gs.CurrentBGPic;
  if (!d || !t || t == d->doubleBufferTarget || t != d->selectTarget) return 0;
  const int32_t kind = t->targetKind, index = t->targetIndex;
  vkTargetObject obj;
  if (int32_t rc = FindTarget(L, d, kind, t->id, index, true, &obj)) return rc;
  if (int32_t rc = GiveMissingPlane(gs, kind, index, d->renderTarget, &obj)) return rc;
  InitTargetRecord(t, kind, obj.record, index, nullptr, obj.bitmap, obj.mask, obj.alpha, obj.width, obj.height,
                   false);
  SetDrawingPlanes(d, t, d->renderTarget, t->targetMode);
  t->targetPrepared = 1;
  return 0;
}

int32_t PrepareDrawing(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkDisplay* d = gs.CurrentDisplay;
  const vkBGPic* t = gs.CurrentBGPic;
  if (!d || !t || !IsPlaneTarget(d->renderTarget) || t != d->selectTarget || t->targetPrepared) return 0;
  return PrepareMaskOrAlphaTarget(L);
}

int32_t EndSelectOutput(vkState* L, vkDisplay* d, bool noFlush) {
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* current = gs.CurrentBGPic;
  const int32_t old = d->renderTarget;
  vkBGPic* t = current && current == d->selectTarget ? current : nullptr;
  const int32_t kind = t ? t->targetKind : 0, index = t ? t->targetIndex : 0;
  void* object = t ? t->targetObject : nullptr;
  const bool prepared = t && t->targetPrepared;
  int32_t rc = 0;
  // A picture drawn into shows the drawing in its shown copy too.
  if (IsPlaneTarget(old) && kind == vkObjectType::BGPIC && prepared)
    rc = RebuildShownSet(gs, static_cast<vkBGPic*>(object), d->smoothScale != 0);

  if (d->doubleBufferSuspended) {
    ResumeDoubleBuffer(gs, d);
  } else {
    d->drawBitMap = nullptr, d->drawMask = nullptr, d->drawAlpha = nullptr;
    d->renderTarget = kTargetDisplay;
    if (current == d->bgpic && old == kTargetBGPic) {
      if (gs.layerTargets.endPictureSelection) {
        gs.layerTargets.endPictureSelection(gs, d, current, !noFlush);
      } else {
        if (!noFlush && !d->dirtyRects.empty()) RedrawDisplay(gs, d, 0);
        d->dirtyRects.clear();
      }
    } else {
      gs.CurrentBGPic = d->bgpic;
      if (kind == vkObjectType::LAYER && prepared && gs.layerTargets.endLayerDrawing) {
        const int32_t layerRc = gs.layerTargets.endLayerDrawing(L, d, static_cast<vkLayer*>(object), index);
        if (!rc) rc = layerRc;
      }
    }
  }
  if (t) InitTargetRecord(t, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0, 0, true);
  RestoreDisplayState(d);
  return rc;
}

vkDrawOutput CurrentDrawOutput(vkGraphicsState& gs) {
  vkDrawOutput out;
  out.display = gs.CurrentDisplay;
  out.record = gs.CurrentBGPic;
  if (out.display) {
    out.renderTarget = out.display->renderTarget;
    if (!out.ToDisplay())
      out.bitmap = out.display->drawBitMap, out.mask = out.display->drawMask, out.alpha = out.display->drawAlpha;
  }
  if (out.record) {
    out.width = out.record->width, out.height = out.record->height;
    out.clip = out.record->activeClip;
  }
  return out;
}

int32_t OutputTargetError(vkGraphicsState& gs) {
  const vkDisplay* d = gs.CurrentDisplay;
  if (!d) return 0;
  switch (d->renderTarget) {
    case kTargetBrush: {
      if (d->doubleBuffer) return kErrEndDoubleBuffer;
      const vkBGPic* t = gs.CurrentBGPic;
      return t && t->targetKind == vkObjectType::ANIM ? kErrSelectAnimActive : kErrSelectBrushActive;
    }
    case kTargetMask: return kErrSelectMaskActive;
    case kTargetAlphaChannel: return kErrSelectAlphaActive;
    case kTargetBGPic: return kErrSelectBGPicActive;
    default: return 0;
  }
}

bool IsSelectedObject(vkGraphicsState& gs, int32_t kind, const void* record) {
  const vkDisplay* d = gs.CurrentDisplay;
  const vkBGPic* t = gs.CurrentBGPic;
  return d && t && record && IsPlaneTarget(d->renderTarget) && t == d->selectTarget && t->targetKind == kind &&
         t->targetObject == record;
}

int32_t EndSelectionOf(vkState* L, int32_t type, vkObjectId id, int32_t frame) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  const vkBGPic* t = gs.CurrentBGPic;
  if (!d || !t || !IsPlaneTarget(d->renderTarget) || t != d->selectTarget || t->id != id) return 0;
  const bool brush = (type == vkObjectType::BRUSH || type == vkObjectType::BRUSHPART) &&
                     t->targetKind == vkObjectType::BRUSH;
  const bool anim = type == vkObjectType::ANIM && t->targetKind == vkObjectType::ANIM && t->targetIndex == frame + 1;
  if (!brush && !anim) return 0;
  return EndSelectOutput(L, d, false);
}

void FreeOutputTargets(vkDisplay* d) {
  for (vkBGPic** r : {&d->selectTarget, &d->doubleBufferTarget}) {
    if (!*r) continue;
    InitTargetRecord(*r, 0, nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0, 0, true);
    delete *r;
    *r = nullptr;
  }
}

// ---- Commands ------------------------------------------------------------------------

int CmdSelectBrush(vkState* L) {
  CheckArgCount(L, 1, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t mode = vkDoubleToInt32(vmOptNumber(L, 2, SELMODE_NORMAL));
  if (mode < SELMODE_NORMAL || mode > SELMODE_LAYERS) return kErrWrongUsage;
  return SelectOutputTarget(L, vkObjectType::BRUSH, id, kTargetBrush, 0, mode);
}

namespace {

// SelectMask and SelectAlphaChannel: id, [type = BRUSH], [frame = 0]; an
// anim needs its frame.
int SelectPlane(vkState* L, int32_t renderTarget) {
  CheckArgCount(L, 1, 3);
  const vkObjectId id = CheckObjectId(L, 1);
  const int32_t type = vkDoubleToInt32(vmOptNumber(L, 2, vkObjectType::BRUSH));
  if (type == vkObjectType::ANIM && vmGetTop(L) < 3) return kErrNotEnoughArgs;
  const int32_t frame = vkDoubleToInt32(vmOptNumber(L, 3, 0));
  return SelectOutputTarget(L, type, id, renderTarget, frame, SELMODE_NORMAL);
}

}  // namespace

int CmdSelectMask(vkState* L) { return SelectPlane(L, kTargetMask); }
int CmdSelectAlphaChannel(vkState* L) { return SelectPlane(L, kTargetAlphaChannel); }

int CmdEndSelect(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || d->renderTarget == kTargetDisplay || d->doubleBuffer) return kErrWrongUsage;
  return EndSelectOutput(L, d, false);
}

int32_t SelectBGPicTarget(vkState* L, vkObjectId id, int32_t mode) {
  return SelectOutputTarget(L, vkObjectType::BGPIC, id, kTargetBrush, 0, mode);
}
