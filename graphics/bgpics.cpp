// The bgpic library: picture records and their list, fills of generated
// pictures, freeing with orphans, scaling, and the script commands that
// load, create, copy, convert, show and select pictures.
#include "graphics/bgpics.h"

#include <algorithm>
#include <cstdlib>

#include "base/catalog.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/attributes.h"
#include "engine/libraries.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/brushes.h"
#include "graphics/fills.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/clipregion.h"
#include "pixel/picturefile.h"
#include "runtime/console.h"

namespace {

constexpr uint32_t kCatalogLoadingBGPic = 100;

// Frees each distinct record of the three picture sets once.
void FreePictureSets(vkBGPic* p) {
  auto once = [](auto*& shown, auto*& current, auto*& base, auto freeFn) {
    if (shown && shown != current && shown != base) freeFn(shown);
    if (current && current != base) freeFn(current);
    if (base) freeFn(base);
    shown = current = base = nullptr;
  };
  once(p->scaledBitMap, p->bitmap, p->baseBitMap, FreeBitMap);
  once(p->scaledMask, p->mask, p->baseMask, FreeMaskPlane);
  once(p->scaledAlpha, p->alpha, p->baseAlpha, FreeAlphaPlane);
}

// The picture's identifier, size and buttons as the dispatcher reads them.
void SyncEventPicture(vkBGPic* p) {
  p->event.id = p->id;
  p->event.width = p->width, p->event.height = p->height;
}

bool ShownByDisplay(vkGraphicsState& gs, const vkBGPic* p) {
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (d->bgpic == p) return true;
  return false;
}

bool IsCurrentOutput(vkGraphicsState& gs, const vkBGPic* p) {
  const vkDisplay* d = gs.CurrentDisplay;
  if (!d) return false;
  if (d->renderTarget == kTargetBGPic && gs.CurrentBGPic == p) return true;
  const vkBGPic* t = gs.CurrentBGPic;
  return d->renderTarget != kTargetDisplay && t && t != p && t->targetKind == vkObjectType::BGPIC && t->id == p->id;
}

// The layers that still show [p]; the layers library keeps them in the
// pictures' layer lists and answers through its hook.
bool ShownByLayer(vkGraphicsState& gs, const vkBGPic* p) {
  return gs.pictureInUse != nullptr && gs.pictureInUse(gs, vkObjectType::BGPIC, p);
}

void Unlink(vkGraphicsState& gs, vkBGPic* p) {
  gs.BGPicList.remove_if([p](const vkBGPicPtr& q) { return q.get() == p; });
}

// Current set at width x height from the base set: a generated picture is
// drawn again from its fill, a raster picture scaled.
int32_t MakeCurrentSet(vkState* L, vkBGPic* p, int32_t width, int32_t height, bool smooth, vkPictureSet* out) {
  if (p->imageType == kImageTypeGenerated && p->fill.type != 0)
    return BuildFillBitMap(L, p->fill, width, height, &out->bitmap);
  return ScaleBitMap(GraphicsState(L).scaleTables, p->baseBitMap, p->baseMask, p->baseAlpha, 0, 0, nullptr,
                     p->baseWidth, p->baseHeight, width, height, smooth, &out->bitmap, &out->mask, &out->alpha);
}

// ---- Commands --------------------------------------------------------------------

vkObjectId IdOf(const vkIdRequest& r) { return NewObjectId(r); }

// The result of a command that made an object: its handle when the id was Nil.
int Made(vkState* L, const vkIdRequest& request, const vkObjectId& id) {
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, id.handle);
  return 1;
}

// A new picture replaces one of the same number.
void FreeSameNumber(vkGraphicsState& gs, const vkIdRequest& request) {
  if (request.automatic) return;
  vkBGPic* old = nullptr;
  if (FindBGPic(gs, vkObjectId{request.number, nullptr}, &old, 0) == 0) FreeBGPicRecord(gs, old);
}

// Adds a picture made from [bitmap] (with planes) under [request]; frees
// what it was given on failure.
int AddMade(vkState* L, const vkIdRequest& request, int32_t imageType, vkPictureSet set, int32_t transparent,
            const vkBGPicFill& fill) {
  vkGraphicsState& gs = GraphicsState(L);
  FreeSameNumber(gs, request);
  const vkObjectId id = IdOf(request);
  vkBGPic* made = nullptr;
  if (int32_t rc = AddBGPicRecord(gs, id, imageType, set.bitmap->width, set.bitmap->height, {}, set, transparent,
                                  fill, &made)) {
    FreeBitMap(set.bitmap), FreeMaskPlane(set.mask), FreeAlphaPlane(set.alpha);
    return rc;
  }
  return Made(L, request, id);
}

// Width and height at arguments [i] and [i] + 1, the current output's size
// where they are left out.
void OptSize(vkState* L, int i, int32_t* width, int32_t* height) {
  const vkBGPic* t = GraphicsState(L).CurrentBGPic;
  *width = vkDoubleToInt32(vmOptNumber(L, i, t ? t->width : 640));
  *height = vkDoubleToInt32(vmOptNumber(L, i + 1, t ? t->height : 480));
}

// Adds a generated picture of [fill] at width x height.
int AddGenerated(vkState* L, const vkIdRequest& request, vkBGPicFill& fill, int32_t width, int32_t height) {
  if (width < 1 || height < 1) return kErrSizeNotPositive;
  vkPictureSet set;
  if (int32_t rc = BuildFillBitMap(L, fill, width, height, &set.bitmap)) {
    FreeBitMap(fill.texture);
    return rc;
  }
  return AddMade(L, request, kImageTypeGenerated, set, -1, fill);
}

int CmdLoadBGPic(vkState* L) {
  CheckArgCount(L, 2, 4);
  const vkIdRequest request = OptObjectId(L, 1);
  std::string file = vmCheckString(L, 2, nullptr);
  int32_t transparent = -1;
  bool loadAlpha = false;
  if (vmGetTop(L) >= 3 && vmType(L, 3) == 5) {
    int32_t v = -1;
    OptFieldInt(L, 3, "transparency", &transparent, nullptr);
    if (OptFieldInt(L, 3, "loadalpha", &v, nullptr)) loadAlpha = v != 0;
  } else if (vmGetTop(L) >= 3 && vmType(L, 3) != 0) {
    transparent = int32_t(vmCheckUnsigned(L, 3));
  }
  if (loadAlpha && transparent != -1) return kErrMaskAndAlpha;
  const char* path = ResolveLinkedFile(L, file.c_str(), 0, nullptr);
  PrintStatus(L, GetCatalogText(kCatalogLoadingBGPic), file.c_str(), true);
  uint32_t* pixels = nullptr;
  vkPlane* alpha = nullptr;
  int32_t width = 0, height = 0;
  if (uint32_t rc = LoadPictureFile(path, loadAlpha ? PICTURE_ALPHA_REQUIRE : PICTURE_ALPHA_DROP, &pixels, &alpha,
                                    nullptr, nullptr, &width, &height))
    return int(rc);
  vkBufferPtr<uint32_t> owned(pixels);
  vkPlanePtr ownedAlpha(alpha);
  vkPictureSet set;
  if (uint32_t rc = CreateBitMapFromARGB(pixels, transparent, width, height, width, &set.bitmap, &set.mask))
    return int(rc);
  set.alpha = ownedAlpha.release();
  PrintDone(L);
  return AddMade(L, request, IMAGETYPE_RASTER, set, transparent, {});
}

int CmdCreateBGPic(vkState* L) {
  CheckArgCount(L, 3, 4);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t width = vkDoubleToInt32(vmCheckNumber(L, 2));
  const int32_t height = vkDoubleToInt32(vmCheckNumber(L, 3));
  vkBGPicFill fill;
  fill.type = kFillColor;
  fill.color = vmOptUnsigned(L, 4, 0);
  if (width < 1 || height < 1) return kErrWrongUsage;
  vkPictureSet set;
  if (int32_t rc = BuildFillBitMap(L, fill, width, height, &set.bitmap)) return rc;
  return AddMade(L, request, IMAGETYPE_RASTER, set, -1, fill);
}

int CmdCreateGradientBGPic(vkState* L) {
  CheckArgCount(L, 4, 7);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t type = vkDoubleToInt32(vmCheckNumber(L, 2));
  vkBGPicFill fill;
  fill.type = kFillGradient;
  fill.color = vmCheckUnsigned(L, 3), fill.endColor = vmCheckUnsigned(L, 4);
  int32_t width = 0, height = 0;
  OptSize(L, 5, &width, &height);
  const int32_t angle = vkDoubleToInt32(vmOptNumber(L, 7, 0));
  fill.angle = type == 0 ? 0 : type == 1 ? 90 : angle;
  return AddGenerated(L, request, fill, width, height);
}

int CmdCreateTexturedBGPic(vkState* L) {
  CheckArgCount(L, 2, 6);
  const vkIdRequest request = OptObjectId(L, 1);
  vkBGPicFill fill;
  fill.type = kFillTexture;
  fill.brush = vkDoubleToInt32(vmCheckNumber(L, 2));
  int32_t width = 0, height = 0;
  OptSize(L, 3, &width, &height);
  fill.textureX = vkDoubleToInt32(vmOptNumber(L, 5, 0));
  fill.textureY = vkDoubleToInt32(vmOptNumber(L, 6, 0));
  return AddGenerated(L, request, fill, width, height);
}

// Copies of a picture set (planes that are not given stay NULL).
int32_t CopySet(const vkBitMap* b, const vkPlane* m, const vkPlane* a, int32_t w, int32_t h, vkPictureSet* out) {
  return CopyBitMapRect(b, m, a, 0, 0, w, h, &out->bitmap, &out->mask, &out->alpha);
}

int CmdBrushToBGPic(vkState* L) {
  CheckArgCount(L, 2, 2);
  const vkObjectId brush = CheckObjectId(L, 1);
  const vkIdRequest request = OptObjectId(L, 2);
  vkBrushView view;
  if (int32_t rc = FindBrushView(L, brush, &view)) return rc;
  if (view.transformedVector) return kErrVectorBrushToBGPic;
  vkPictureSet set;
  if (int32_t rc = CopySet(view.bitmap, view.mask, view.alpha, view.width, view.height, &set)) return rc;
  return AddMade(L, request, IMAGETYPE_RASTER, set, view.transparentColor, {});
}

int CmdBGPicToBrush(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(gs, CheckObjectId(L, 1), &p, 0)) return rc;
  const vkIdRequest request = OptObjectId(L, 2);
  if (p->imageType == kImageTypeGenerated && p->vectorData && (p->width != p->baseWidth || p->height != p->baseHeight))
    return kErrVectorBGPicToBrush;
  if (!gs.brushHooks.make) return kErrWrongUsage;
  vkPictureSet set;
  if (int32_t rc = CopySet(p->bitmap, p->mask, p->alpha, p->width, p->height, &set)) return rc;
  vkObjectId made;
  if (int32_t rc = gs.brushHooks.make(L, request, set.bitmap, set.mask, set.alpha, p->width, p->height,
                                   p->transparentColor, &made))
    return rc;
  return Made(L, request, made);
}

int CmdCopyBGPic(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  const vkObjectId sourceId = CheckObjectId(L, 1);
  const vkIdRequest request = OptObjectId(L, 2);
  if (!request.automatic && sourceId == vkObjectId{request.number, nullptr}) return kErrWrongUsage;
  vkBGPic* source = nullptr;
  if (int32_t rc = FindBGPic(gs, sourceId, &source, 0)) return rc;
  vkBGPic* copy = nullptr;
  FreeSameNumber(gs, request);
  const vkObjectId id = IdOf(request);
  if (int32_t rc = CloneBGPic(gs, source, id, &copy)) return rc;
  return Made(L, request, id);
}

int CmdFreeBGPic(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(gs, CheckObjectId(L, 1), &p, 0)) return rc;
  return FreeBGPicRecord(gs, p);
}

int CmdScaleBGPic(vkState* L) {
  CheckArgCount(L, 3, 4);
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(gs, CheckObjectId(L, 1), &p, kFindModify)) return rc;
  int32_t width = vkDoubleToInt32(CheckNumberOrPercent(L, 2, p->width, true, nullptr));
  int32_t height = vkDoubleToInt32(CheckNumberOrPercent(L, 3, p->height, true, nullptr));
  const bool smooth = vmGetTop(L) >= 4 && vmToBoolean(L, 4);
  if (int32_t rc = ResolveKeepAspect(p->width, p->height, &width, &height)) return rc;
  if (ShownByDisplay(gs, p)) return kErrBGPicShown;
  if (IsCurrentOutput(gs, p)) return kErrBGPicIsOutput;
  return RegenerateOrScaleBGPic(L, p, width, height, smooth);
}

// Reads "x" and "y" of a table at [index] (99999 when absent).
void ReadPositionFields(vkState* L, int index, int32_t* x, int32_t* y) {
  *x = *y = kKeepPositionIfSameSize;
  if (vmGetTop(L) < index || vmType(L, index) != 5) return;
  OptFieldInt(L, index, "x", x, nullptr);
  OptFieldInt(L, index, "y", y, nullptr);
}

int CmdDisplayBGPic(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkGraphicsState& gs = GraphicsState(L);
  const vkObjectId id = CheckObjectId(L, 1);
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(gs, id, &p, 0)) return rc;
  if (gs.videoRecording && (p->mask || p->alpha)) return kErrRecordingTransparent;
  int32_t x = 0, y = 0;
  ReadPositionFields(L, 2, &x, &y);
  if (!gs.CurrentDisplay) return kErrWrongUsage;
  vmNewTable(L);
  SetFieldObjectId(L, "bgpic", p->id);
  SetFieldInt(L, "x", x);
  SetFieldInt(L, "y", y);
  return ApplyDisplayAttributes(L, gs.CurrentDisplay, vmGetTop(L), false);
}

int CmdDisplayBGPicPart(vkState* L) {
  CheckArgCount(L, 5, 8);
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(gs, CheckObjectId(L, 1), &p, 0)) return rc;
  const int32_t x = vkDoubleToInt32(vmCheckNumber(L, 2)), y = vkDoubleToInt32(vmCheckNumber(L, 3));
  const int32_t w = vkDoubleToInt32(vmCheckNumber(L, 4)), h = vkDoubleToInt32(vmCheckNumber(L, 5));
  int32_t dx = vkDoubleToInt32(vmOptNumber(L, 6, x)), dy = vkDoubleToInt32(vmOptNumber(L, 7, y));
  if (!gs.CurrentDisplay || !p->bitmap) return kErrWrongUsage;
  if (int32_t rc = PrepareDrawing(L)) return rc;
  const vkBGPic* out = gs.CurrentBGPic;
  dx = ResolveSpecialX(dx, w, out ? out->scaledWidth : 0, 0, 0.0);
  dy = ResolveSpecialY(dy, h, out ? out->scaledHeight : 0, 0, 0.0);
  vkBlitRequest r;
  r.src = p->bitmap, r.sx = x, r.sy = y, r.dx = dx, r.dy = dy, r.width = w, r.height = h;
  r.srcWidth = p->width, r.srcHeight = p->height;
  r.dstWidth = gs.CurrentBGPic ? gs.CurrentBGPic->width : 0;
  r.dstHeight = gs.CurrentBGPic ? gs.CurrentBGPic->height : 0;
  r.mask = p->mask, r.alpha = p->alpha;
  r.clip = gs.CurrentBGPic ? gs.CurrentBGPic->activeClip : nullptr;
  r.flags = kBlitBackground;
  if (x < 0 || y < 0 || w < 1 || h < 1) return kErrWrongUsage;
  // With layers on the part becomes a layer.
  if (gs.CurrentDisplay->layersOn && Brushes(gs).addLayer) {
    vkDisplayRequest rq;
    rq.type = kObjectBGPicPart, rq.id = p->id, rq.sx = x, rq.sy = y, rq.x = dx, rq.y = dy, rq.width = w, rq.height = h;
    const vkBitmapSource src{p->bitmap, p->mask, p->alpha, p->width, p->height};
    return Brushes(gs).addLayer(L, rq, src, vkTransform{}, vkLayerOptions{}, dx, dy);
  }
  SafeBlt(gs, r);
  return 0;
}

int CmdSelectBGPic(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d) return kErrWrongUsage;
  vkBGPic* p = d->bgpic;
  if (vmType(L, 1) != 0)
    if (int32_t rc = FindBGPic(gs, CheckObjectId(L, 1), &p, 0)) return rc;
  const int32_t mode = vkDoubleToInt32(vmOptNumber(L, 2, 2));
  if (mode != SELMODE_LAYERS) return SelectBGPicTarget(L, p->id, mode);
  if (gs.CurrentBGPic == p && d->renderTarget == kTargetBGPic) return 0;
  if (d->renderTarget != kTargetDisplay && !d->doubleBuffer)
    if (int32_t rc = EndSelectOutput(L, d, false)) return rc;
  if (!d->layersOn) return kErrLayersRequired;
  for (const vkDisplayPtr& other : gs.DisplayList)
    if (other.get() != d && other->bgpic == p) return kErrBGPicOtherDisplay;
  d->dirtyRects.clear();
  d->dirtyRects.reserve(1024);
  d->drawBitMap = nullptr, d->drawMask = nullptr, d->drawAlpha = nullptr;
  SaveDisplayState(d, true, p->width);
  gs.CurrentBGPic = p;
  d->renderTarget = kTargetBGPic;
  return 0;
}


const vkCommandDef kBGPicCommands[] = {
    {"DisplayBGPic", CmdDisplayBGPic},         {"DisplayBGPicPart", CmdDisplayBGPicPart},
    {"ScaleBGPic", CmdScaleBGPic},             {"CreateGradientBGPic", CmdCreateGradientBGPic},
    {"CreateRainbowBGPic", CmdCreateGradientBGPic}, {"CreateTexturedBGPic", CmdCreateTexturedBGPic},
    {"BrushToBGPic", CmdBrushToBGPic},         {"BGPicToBrush", CmdBGPicToBrush},
    {"CreateBGPic", CmdCreateBGPic},           {"FreeBGPic", CmdFreeBGPic},
    {"LoadBGPic", CmdLoadBGPic},               {"SelectBGPic", CmdSelectBGPic},
    {"EndSelect", CmdEndSelect},               {"CopyBGPic", CmdCopyBGPic},
    {nullptr, nullptr}};

// ---- GetAttribute ----------------------------------------------------------------

int32_t CountBGPicsOf(vkState* L) { return CountBGPics(GraphicsState(L)); }

int QueryBGPic(vkState* L, int32_t attribute) {
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(gs, CheckObjectId(L, 2), &p, 0)) return rc;
  double value = 0;
  switch (attribute) {
    case ATTRWIDTH: value = p->width; break;
    case ATTRHEIGHT: value = p->height; break;
    case ATTRTRANSPARENTCOLOR: value = p->transparentColor; break;
    case ATTRLAYERS: value = double(p->layers.size()); break;
    case ATTRTYPE: value = p->imageType; break;
    case ATTRHASMASK: value = p->mask ? 1 : 0; break;
    case ATTRHASALPHA: value = p->alpha ? 1 : 0; break;
    case ATTRCLIPREGION: {
      const vkClipRegion* r = gs.CurrentBGPic ? gs.CurrentBGPic->activeClip : nullptr;
      if (!r) value = -1;
      else if (r->idHandle) {
        vmPushLightUserdata(L, r->idHandle);
        return 1;
      } else {
        value = r->idNumber;
      }
      break;
    }
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

}  // namespace

// ---- Records ------------------------------------------------------------------------

void vkBGPicDeleter::operator()(vkBGPic* p) const {
  if (!p) return;
  FreePictureSets(p);
  FreeAlphaPlane(p->rawAlpha);
  FreeBitMap(p->fill.texture);
  delete p;
}

int32_t FindBGPic(vkGraphicsState& gs, vkObjectId id, vkBGPic** out, uint32_t flags) {
  *out = nullptr;
  for (const vkBGPicPtr& p : gs.BGPicList) {
    if (p->id != id || (p->orphaned && !(flags & kFindOrphaned))) continue;
    if ((flags & kFindModify) && p->locked) return kErrObjectLocked;
    *out = p.get();
    return 0;
  }
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoBGPic;
}

int32_t CountBGPics(vkGraphicsState& gs) {
  return int32_t(std::count_if(gs.BGPicList.begin(), gs.BGPicList.end(),
                               [](const vkBGPicPtr& p) { return !p->orphaned; }));
}

int32_t AddBGPicRecord(vkGraphicsState& gs, vkObjectId id, int32_t imageType, int32_t width, int32_t height,
                       std::vector<uint32_t> rawPixels, const vkPictureSet& set, int32_t transparentColor,
                       const vkBGPicFill& fill, vkBGPic** out) {
  vkBGPicPtr p(new (std::nothrow) vkBGPic);
  if (!p) return kErrOutOfMemory;
  p->id = id;
  p->imageType = imageType;
  p->rawPixels = std::move(rawPixels);
  p->scaledBitMap = p->bitmap = p->baseBitMap = set.bitmap;
  p->scaledMask = p->mask = p->baseMask = set.mask;
  p->scaledAlpha = p->alpha = p->baseAlpha = set.alpha;
  p->scaledWidth = p->width = p->baseWidth = p->rowWidth = width;
  p->scaledHeight = p->height = p->baseHeight = height;
  p->transparentColor = transparentColor;
  p->fill = fill;
  SyncEventPicture(p.get());
  *out = p.get();
  gs.BGPicList.push_back(std::move(p));
  return 0;
}

int32_t CloneBGPic(vkGraphicsState& gs, const vkBGPic* s, vkObjectId id, vkBGPic** out) {
  vkPictureSet base, current, shown;
  auto fail = [&](int32_t rc) {
    for (vkPictureSet* set : {&base, &current, &shown})
      FreeBitMap(set->bitmap), FreeMaskPlane(set->mask), FreeAlphaPlane(set->alpha);
    return rc;
  };
  if (int32_t rc = CopySet(s->baseBitMap, s->baseMask, s->baseAlpha, s->baseWidth, s->baseHeight, &base))
    return fail(rc);
  if (s->bitmap != s->baseBitMap)
    if (int32_t rc = CopySet(s->bitmap, s->mask, s->alpha, s->width, s->height, &current)) return fail(rc);
  if (s->scaledBitMap != s->bitmap)
    if (int32_t rc = CopySet(s->scaledBitMap, s->scaledMask, s->scaledAlpha, s->scaledWidth, s->scaledHeight,
                             &shown))
      return fail(rc);
  vkBGPicFill fill = s->fill;
  fill.texture = nullptr;
  if (s->fill.texture) {
    vkPictureSet texture;
    if (int32_t rc = CopySet(s->fill.texture, nullptr, nullptr, s->fill.texture->width, s->fill.texture->height,
                             &texture))
      return fail(rc);
    fill.texture = texture.bitmap;
  }
  vkBGPic* p = nullptr;
  if (int32_t rc = AddBGPicRecord(gs, id, s->imageType, s->baseWidth, s->baseHeight, {}, base, s->transparentColor,
                                  fill, &p)) {
    FreeBitMap(fill.texture);
    return fail(rc);
  }
  if (current.bitmap) p->bitmap = current.bitmap, p->mask = current.mask, p->alpha = current.alpha;
  if (shown.bitmap) p->scaledBitMap = shown.bitmap, p->scaledMask = shown.mask, p->scaledAlpha = shown.alpha;
  else if (current.bitmap) p->scaledBitMap = p->bitmap, p->scaledMask = p->mask, p->scaledAlpha = p->alpha;
  p->width = s->width, p->height = s->height, p->scaledWidth = s->scaledWidth, p->scaledHeight = s->scaledHeight;
  p->palette = s->palette;
  p->vectorData = s->vectorData;
  SyncEventPicture(p);
  *out = p;
  return 0;
}

bool FillIsCleared(const vkBGPicFill& fill) {
  return fill.type != kFillGradient && fill.type != kFillTexture && (fill.color & 0xFFFFFF) == 0;
}

int32_t BuildFillBitMap(vkState* L, vkBGPicFill& fill, int32_t width, int32_t height, vkBitMap** out) {
  *out = nullptr;
  if (fill.type == kFillTexture && !fill.texture) {
    vkBrushView view;
    if (int32_t rc = FindBrushView(L, vkObjectId{fill.brush, nullptr}, &view)) return rc;
    vkPictureSet copy;
    if (int32_t rc = CopySet(view.bitmap, nullptr, nullptr, view.width, view.height, &copy)) return rc;
    fill.texture = copy.bitmap;
    fill.textureWidth = view.width, fill.textureHeight = view.height;
  }
  // A black fill is the cleared bitmap itself: its pages stay untouched.
  const bool black = FillIsCleared(fill);
  vkBitMapPtr bitmap(AllocArgbBitMap(width, height, black));
  if (!bitmap) return kErrOutOfMemory;
  switch (fill.type) {
    case kFillGradient:
      DrawGradient(bitmap.get(), 0, 0, width, height, fill.color, fill.endColor, fill.angle);
      break;
    case kFillTexture:
      TileTexture(bitmap.get(), 0, 0, width, height, fill.texture, fill.textureX, fill.textureY, fill.textureWidth,
                  fill.textureHeight);
      break;
    default:
      if (!black) FillBitMapRect(bitmap.get(), fill.color & 0xFFFFFF, 0, 0, width, height);
      break;
  }
  *out = bitmap.release();
  return 0;
}

int32_t FreeBGPicRecord(vkGraphicsState& gs, vkBGPic* p) {
  if (IsCurrentOutput(gs, p)) return kErrBGPicIsOutput;
  if (ShownByLayer(gs, p) || ShownByDisplay(gs, p)) {
    // Kept for what still shows it, without its number.
    p->id = vkObjectId{0, p};
    p->orphaned = 1;
    SyncEventPicture(p);
    return 0;
  }
  if (gs.freeLayers) gs.freeLayers(gs, p);
  Unlink(gs, p);
  return 0;
}

void FreeOrphanedBGPics(vkGraphicsState& gs) {
  std::vector<vkBGPic*> orphans;
  for (const vkBGPicPtr& p : gs.BGPicList)
    if (p->orphaned && !ShownByDisplay(gs, p.get()) && !ShownByLayer(gs, p.get()) && gs.CurrentBGPic != p.get())
      orphans.push_back(p.get());
  for (vkBGPic* p : orphans) {
    if (gs.freeLayers) gs.freeLayers(gs, p);
    Unlink(gs, p);
  }
}

int32_t RebuildBGPicBitmaps(vkGraphicsState& gs) {
  for (const vkBGPicPtr& p : gs.BGPicList) {
    if (p->rawPixels.empty()) continue;
    vkPictureSet set;
    if (uint32_t rc = CreateBitMapFromARGB(p->rawPixels.data(), p->transparentColor, p->width, p->height,
                                           p->rowWidth, &set.bitmap, &set.mask))
      return int32_t(rc);
    set.alpha = p->rawAlpha;
    p->rawAlpha = nullptr;
    FreePictureSets(p.get());
    p->scaledBitMap = p->bitmap = p->baseBitMap = set.bitmap;
    p->scaledMask = p->mask = p->baseMask = set.mask;
    p->scaledAlpha = p->alpha = p->baseAlpha = set.alpha;
    p->rawPixels = {};
    p->targetKind = p->targetIndex = 0, p->targetLayer = nullptr;
  }
  return 0;
}

namespace {

// Frees the records of [old] that none of the picture's sets holds any more.
void FreeUnused(const vkBGPic* p, const vkPictureSet& old) {
  if (old.bitmap && old.bitmap != p->scaledBitMap && old.bitmap != p->bitmap && old.bitmap != p->baseBitMap)
    FreeBitMap(old.bitmap);
  if (old.mask && old.mask != p->scaledMask && old.mask != p->mask && old.mask != p->baseMask)
    FreeMaskPlane(old.mask);
  if (old.alpha && old.alpha != p->scaledAlpha && old.alpha != p->alpha && old.alpha != p->baseAlpha)
    FreeAlphaPlane(old.alpha);
}

}  // namespace

int32_t RegenerateOrScaleBGPic(vkState* L, vkBGPic* p, int32_t width, int32_t height, bool smooth) {
  if (width < 1 || height < 1) return kErrSizeNotPositive;
  vkPictureSet set;
  if (int32_t rc = MakeCurrentSet(L, p, width, height, smooth, &set)) return rc;
  const vkPictureSet old{p->bitmap, p->mask, p->alpha};
  const bool shownWasCurrent = p->scaledBitMap == p->bitmap;
  p->bitmap = set.bitmap, p->mask = set.mask, p->alpha = set.alpha;
  p->width = width, p->height = height;
  if (shownWasCurrent) {
    p->scaledBitMap = p->bitmap, p->scaledMask = p->mask, p->scaledAlpha = p->alpha;
    p->scaledWidth = width, p->scaledHeight = height;
  }
  FreeUnused(p, old);
  SyncEventPicture(p);
  return 0;
}

int32_t RescaleShownBGPic(vkState* L, vkBGPic* p, int32_t width, int32_t height, bool smooth) {
  if (width < 1 || height < 1) return kErrSizeNotPositive;
  const vkPictureSet old{p->scaledBitMap, p->scaledMask, p->scaledAlpha};
  if (width == p->width && height == p->height) {
    p->scaledBitMap = p->bitmap, p->scaledMask = p->mask, p->scaledAlpha = p->alpha;
  } else {
    vkPictureSet set;
    if (int32_t rc = MakeCurrentSet(L, p, width, height, smooth, &set)) return rc;
    p->scaledBitMap = set.bitmap, p->scaledMask = set.mask, p->scaledAlpha = set.alpha;
  }
  p->scaledWidth = width, p->scaledHeight = height;
  FreeUnused(p, old);
  return 0;
}

int OpenBGPicLibrary(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::BGPIC, {CountBGPicsOf, QueryBGPic});
  vmRegisterFunctions(L, nullptr, kBGPicCommands, 0);
  return RegisterLibrary(L, kBGPicCommands, "bgpic");
}

int FreeAllBGPics(vkState* L) {
  if (L == nullptr) return 0;
  vkGraphicsState& gs = GraphicsState(L);
  for (const vkBGPicPtr& p : gs.BGPicList)
    if (gs.freeLayers) gs.freeLayers(gs, p.get());
  gs.BGPicList.clear();
  gs.CurrentBGPic = nullptr;
  return 0;
}
