// Pointer images and the pointer commands. An image becomes ARGB words with
// its mask as alpha and the platform makes its pointer from them; the
// standard kinds carry no image. Hot spots are kept inside the image: -1
// asks for the centre, anything beyond the image is moved to its last pixel
// and anything else below 0 to its first.
#include "graphics/pointers.h"

#include <cmath>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/fills.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "graphics/positions.h"
#include "graphics/sprites.h"
#include "platform/vkos_display.h"
#include "platform/vkos_pointer.h"

namespace {

// Platform facts (vkosGetAttr): the size of the standard pointers.
constexpr int32_t kAttrPointerWidth = 12;
constexpr int32_t kAttrPointerHeight = 13;

vkGraphicsState& Gs(vkState* L) { return GraphicsState(L); }

bool ShownByDisplay(vkGraphicsState& gs, const vkPointerImage* p) {
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (d->customPointer == p) return true;
  return false;
}

// Marks [p] deleted when a display shows it (it keeps no identifier then),
// else unlinks it, which drops the platform's pointer with it.
void FreeOrMark(vkGraphicsState& gs, vkPointerImage* p) {
  if (ShownByDisplay(gs, p)) {
    p->deleted = true;
    p->id = vkObjectId{0, p};
    return;
  }
  Pointers(gs).images.remove_if([p](const vkPointerImage& q) { return &q == p; });
}

void FreeUnusedDeleted(vkGraphicsState& gs) {
  Pointers(gs).images.remove_if([&gs](const vkPointerImage& q) { return q.deleted && !ShownByDisplay(gs, &q); });
}

int32_t ClampHotSpot(int32_t hot, int32_t size) {
  if (hot == -1) return size / 2;
  if (hot >= size) return size - 1;
  return hot < 0 ? 0 : hot;
}

int32_t OptHotSpot(vkState* L, int i) { return vkDoubleToInt32(vmOptNumber(L, i, -1)); }

// The platform's kind for a pointer kind.
int32_t PlatformKind(int32_t kind) {
  return kind == STDPTR_SYSTEM ? VKOS_POINTER_SYSTEM : kind == STDPTR_BUSY ? VKOS_POINTER_BUILTIN : VKOS_POINTER_CUSTOM;
}

int32_t PointerCount(vkState* L) { return CountPointers(Gs(L)); }

int QueryPointer(vkState* L, int32_t attribute) {
  vkPointerImage* p = nullptr;
  if (int32_t rc = FindPointer(Gs(L), CheckObjectId(L, 2), &p)) return rc;
  switch (attribute) {
    case ATTRWIDTH: vmPushNumber(L, p->width); return 1;
    case ATTRHEIGHT: vmPushNumber(L, p->height); return 1;
    case ATTRTYPE: vmPushNumber(L, p->kind); return 1;
    default: return kErrUnknownAttribute;
  }
}

}  // namespace

vkPointerList& Pointers(vkGraphicsState& gs) {
  if (!gs.pointers) gs.pointers = std::make_shared<vkPointerList>();
  return *gs.pointers;
}

int32_t FindPointer(vkGraphicsState& gs, vkObjectId id, vkPointerImage** out) {
  for (vkPointerImage& p : Pointers(gs).images)
    if (!p.deleted && p.id == id) {
      *out = &p;
      return 0;
    }
  SetErrorNumber(id.number);
  return kErrNoPointer;
}

int32_t CountPointers(vkGraphicsState& gs) {
  int32_t n = 0;
  for (const vkPointerImage& p : Pointers(gs).images) n += p.deleted ? 0 : 1;
  return n;
}

void FreeAllPointers(vkGraphicsState& gs) {
  for (const vkDisplayPtr& d : gs.DisplayList) d->customPointer = nullptr;
  if (gs.pointers) gs.pointers->images.clear();
}

void RegisterPointerAttributes(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::POINTER, {PointerCount, QueryPointer});
}

// CreatePointer(id, type, source, ...): type SPRITE (frame, hot x, hot y),
// BRUSH (hot x, hot y) or POINTER (a standard kind).
int CmdCreatePointer(vkState* L) {
  CheckArgCount(L, 3, 6);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t type = vkDoubleToInt32(vmCheckNumber(L, 2));
  vkGraphicsState& gs = Gs(L);

  vkPointerImage made;
  vkBitmapSource image;
  int32_t hotX = -1, hotY = -1;
  if (type == vkObjectType::SPRITE) {
    const int32_t frame = vkDoubleToInt32(vmOptNumber(L, 4, 1));
    if (int32_t rc = GetSpriteFramePlanes(gs, CheckObjectId(L, 3), frame, &image)) return rc;
    hotX = OptHotSpot(L, 5), hotY = OptHotSpot(L, 6);
  } else if (type == vkObjectType::BRUSH) {
    vkBrush* b = nullptr;
    if (int32_t rc = FindBrush(gs, CheckObjectId(L, 3), &b, kBrushFindPixels)) return rc;
    image = vkBitmapSource{b->bitmap.get(), b->mask.get(), b->alpha.get(), b->width, b->height};
    hotX = OptHotSpot(L, 4), hotY = OptHotSpot(L, 5);
  } else if (type == vkObjectType::POINTER) {
    const int32_t kind = vkDoubleToInt32(vmCheckNumber(L, 3));
    if (kind != STDPTR_SYSTEM && kind != STDPTR_BUSY) return kErrWrongUsage;
    made.kind = kind;
    made.width = vkosGetAttr(nullptr, kAttrPointerWidth);
    made.height = vkosGetAttr(nullptr, kAttrPointerHeight);
  } else {
    return kErrWrongUsage;
  }

  if (type != vkObjectType::POINTER) {
    made.kind = STDPTR_CUSTOM;
    made.width = image.width, made.height = image.height;
    hotX = ClampHotSpot(hotX, image.width), hotY = ClampHotSpot(hotY, image.height);
    vkBufferPtr<uint32_t> argb = GetARGBPixels(image.bitmap, image.width, image.height, image.mask, image.alpha, 0,
                                               true);
    if (!argb) return kErrOutOfMemory;
    made.hotX = hotX, made.hotY = hotY;
    made.cursor = vkosCreatePointer(argb.get(), hotX, hotY, image.width, image.height);
    if (!made.cursor) return kErrCreatePointer;
  }

  // A number in use: the old pointer goes first (or is marked deleted).
  if (!request.automatic) {
    vkPointerImage* old = nullptr;
    if (FindPointer(gs, vkObjectId{request.number, nullptr}, &old) == 0) FreeOrMark(gs, old);
  }
  made.id = NewObjectId(request);
  vkPointerImage& added = Pointers(gs).images.emplace_back(std::move(made));
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, added.id.handle);
  return 1;
}

int CmdFreePointer(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = Gs(L);
  vkPointerImage* p = nullptr;
  if (int32_t rc = FindPointer(gs, CheckObjectId(L, 1), &p)) return rc;
  FreeOrMark(gs, p);
  return 0;
}

int CmdSetPointer(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = Gs(L);
  vkPointerImage* p = nullptr;
  if (int32_t rc = FindPointer(gs, CheckObjectId(L, 1), &p)) return rc;
  if (vkDisplay* d = gs.CurrentDisplay) {
    d->pointerHidden = 0;
    d->customPointer = p;
    if (d->os) vkosSetPointer(d->os, p->cursor, PlatformKind(p->kind));
  }
  FreeUnusedDeleted(gs);
  return 0;
}

int CmdShowPointer(vkState* L) {
  CheckArgCount(L, 0, 0);
  if (vkDisplay* d = Gs(L).CurrentDisplay) {
    d->pointerHidden = 0;
    if (d->os && d->state == DISPSTATE_OPEN) vkosShowPointer(d->os);
  }
  return 0;
}

int CmdHidePointer(vkState* L) {
  CheckArgCount(L, 0, 0);
  if (vkDisplay* d = Gs(L).CurrentDisplay) {
    d->pointerHidden = 1;
    if (d->os && d->state == DISPSTATE_OPEN) vkosHidePointer(d->os);
  }
  return 0;
}

// MovePointer(x, y): special coordinates place the pointer's image in the
// current output; the window receives the position as the dispatcher maps
// it back (scale and letterbox margins), so MouseX and MouseY read it.
int CmdMovePointer(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = Gs(L);
  int32_t x = vkDoubleToInt32(vmCheckNumber(L, 1)), y = vkDoubleToInt32(vmCheckNumber(L, 2));
  vkDisplay* d = gs.CurrentDisplay;
  const auto* shown = d ? static_cast<const vkPointerImage*>(d->customPointer) : nullptr;
  const int32_t w = shown ? shown->width : vkosGetAttr(nullptr, kAttrPointerWidth);
  const int32_t h = shown ? shown->height : vkosGetAttr(nullptr, kAttrPointerHeight);
  const vkBGPic* out = gs.CurrentBGPic;
  x = ResolveSpecialX(x, w, out ? out->scaledWidth : 0, 0, 0);
  y = ResolveSpecialY(y, h, out ? out->scaledHeight : 0, 0, 0);
  if (d && d->os && d->state == DISPSTATE_OPEN) {
    const double sx = d->event.scaleX > 0 ? d->event.scaleX : 1.0, sy = d->event.scaleY > 0 ? d->event.scaleY : 1.0;
    vkosMovePointer(d->os, vkDoubleToInt32(std::trunc(x * sx)) + d->event.offsetX,
                    vkDoubleToInt32(std::trunc(y * sy)) + d->event.offsetY);
  }
  return 0;
}
