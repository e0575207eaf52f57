// Brush records: the list in the graphics state, lookups with their errors,
// copy-before-modify, creation, copies and freeing with orphans.
#include "graphics/brushes.h"

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/objecthandles.h"
#include "graphics/displays.h"
#include "graphics/bgpics.h"
#include "pixel/bitmapops.h"
#include "pixel/copykernels.h"
#include "platform/vkos_clipboard.h"
#include "runtime/context.h"
#include "runtime/eventstate.h"
#include "engine/vmapi.h"

vkBrushList& Brushes(vkGraphicsState& gs) {
  if (!gs.brushes) gs.brushes = std::make_shared<vkBrushList>();
  return *gs.brushes;
}

namespace {

bool ShownByLayer(vkGraphicsState& gs, const vkBrush& b) {
  const vkBrushList& list = Brushes(gs);
  return list.shownByLayer && list.shownByLayer(gs, kObjectBrush, &b);
}

// Layers that show [brush] move to an orphaned copy of it, so that they
// keep the picture while the script's brush changes.
int32_t DetachFromLayers(vkGraphicsState& gs, vkBrush& brush) {
  if (!ShownByLayer(gs, brush)) return 0;
  vkBrush* copy = nullptr;
  if (int32_t rc = CloneBrush(gs, brush, vkIdRequest{0, true}, &copy)) return rc;
  copy->orphaned = true;
  Brushes(gs).repointLayers(gs, kObjectBrush, &brush, copy);
  return 0;
}

int32_t NotFound(vkObjectId id) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoBrush;
}

// A background picture's current planes as a source to copy or draw from.
int32_t BGPicPlanes(vkState* L, int32_t, vkObjectId id, int32_t, vkBitmapSource* out) {
  vkBGPic* p = nullptr;
  if (int32_t rc = FindBGPic(GraphicsState(L), id, &p, 0)) return rc;
  *out = vkBitmapSource{p->bitmap, p->mask, p->alpha, p->width, p->height};
  return 0;
}

}  // namespace

bool IsActiveBrush(vkGraphicsState& gs, const vkBrush& brush) {
  const vkDisplay* d = OutputDisplay(gs);
  const vkBGPic* out = OutputPicture(gs);
  if (!d || !out || !brush.bitmap) return false;
  if (d->renderTarget != kTargetBrush && d->renderTarget != kTargetMask && d->renderTarget != kTargetAlphaChannel)
    return false;
  return out->bitmap == brush.bitmap.get();
}

int32_t FindBrush(vkGraphicsState& gs, vkObjectId id, vkBrush** out, uint32_t flags) {
  vkBrush* found = nullptr;
  for (vkBrush& b : Brushes(gs).brushes) {
    if (b.orphaned && !(flags & kBrushFindOrphaned)) continue;
    if (b.id == id) {
      found = &b;
      break;
    }
  }
  if (!found) return NotFound(id);
  if ((flags & kBrushFindPixels) && found->kind == kBrushVector) return kErrBrushType;
  if (flags & kBrushFindChange) {
    if (found->lockCount != 0) return kErrObjectLocked;
    if (!(flags & kBrushFindNoDetach))
      if (int32_t rc = DetachFromLayers(gs, *found)) return rc;
  }
  *out = found;
  return 0;
}

int32_t FindBrushForChange(vkGraphicsState& gs, vkObjectId id, vkBrush** out) {
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(gs, id, &b, kBrushFindPixels)) return rc;
  if (IsActiveBrush(gs, *b)) return kErrActiveBrush;
  return FindBrush(gs, id, out, kBrushFindChange | kBrushFindPixels);
}

vkBrush& AddBrushRecord(vkGraphicsState& gs, vkIdRequest request, vkPlanes planes, int32_t transparentColor) {
  vkBrush& b = Brushes(gs).brushes.emplace_back();
  b.id = NewObjectId(request);
  b.transparentColor = transparentColor;
  ReplaceBrushPlanes(b, std::move(planes));
  return b;
}

void ReplaceBrushPlanes(vkBrush& brush, vkPlanes planes) {
  if (planes.bitmap) brush.width = planes.bitmap->width, brush.height = planes.bitmap->height;
  brush.bitmap = std::move(planes.bitmap);
  brush.mask = std::move(planes.mask);
  brush.alpha = std::move(planes.alpha);
}

vkBitmapSource BrushSource(const vkBrush& b) {
  return vkBitmapSource{b.bitmap.get(), b.mask.get(), b.alpha.get(), b.width, b.height};
}

int32_t CloneBrush(vkGraphicsState& gs, const vkBrush& source, vkIdRequest request, vkBrush** out) {
  vkPlanes planes;
  if (source.bitmap)
    if (int32_t rc = CopyPlanesRect(BrushSource(source), 0, 0, source.width, source.height, &planes)) return rc;
  vkBrush& b = AddBrushRecord(gs, request, std::move(planes), source.transparentColor);
  b.width = source.width, b.height = source.height;
  b.kind = source.kind;
  b.transformed = source.transformed;
  b.vectorData = source.vectorData;
  *out = &b;
  return 0;
}

int32_t CreateBrushRecord(vkGraphicsState& gs, vkIdRequest request, int32_t width, int32_t height, uint32_t rgb,
                          bool withMask, bool withAlpha, bool clear, vkBrush** out) {
  vkBitMapPtr bitmap(AllocArgbBitMap(width, height));
  if (!bitmap) return kErrOutOfMemory;
  FillPixelRect32(bitmap->pixels, bitmap->bytesPerRow / 4, 0, 0, width, height, RGBToPixel(rgb, bitmap->format));
  vkPlanePtr mask, alpha;
  if (withMask) {
    mask.reset(AllocMaskPlane(width, height, true));
    if (!mask) return kErrOutOfMemory;
    if (!clear) FillMaskRect(mask.get(), 0, 0, width, height, 0);
  }
  if (withAlpha) {
    alpha.reset(AllocAlphaPlane(width, height, true));
    if (!alpha) return kErrOutOfMemory;
    if (!clear) FillAlphaRect(alpha.get(), 0, 0, width, height, 255);
  }
  *out = &AddBrushRecord(gs, request, vkPlanes{std::move(bitmap), std::move(mask), std::move(alpha)},
                         withMask ? kCreatedMaskKey : -1);
  return 0;
}

int32_t FreeBrushById(vkGraphicsState& gs, vkObjectId id, bool report) {
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(gs, id, &b, 0)) {
    if (!report) ErrorInfo().errorNumber = 0;
    return report ? rc : 0;
  }
  if (IsActiveBrush(gs, *b)) return kErrActiveBrush;
  if (b->lockCount != 0) return kErrObjectLocked;
  if (ShownByLayer(gs, *b)) {
    b->orphaned = true;
    b->id = vkObjectId{0, NewObjectHandle()};
    return 0;
  }
  Brushes(gs).brushes.remove_if([b](const vkBrush& x) { return &x == b; });
  return 0;
}

void FreeOrphanedBrushes(vkGraphicsState& gs) {
  Brushes(gs).brushes.remove_if([&gs](const vkBrush& b) { return b.orphaned && !ShownByLayer(gs, b); });
}

int32_t RebuildBrushBitmaps(vkGraphicsState&) { return 0; }

int32_t CountBrushes(vkGraphicsState& gs) {
  int32_t n = 0;
  for (const vkBrush& b : Brushes(gs).brushes)
    if (!b.orphaned) n++;
  return n;
}

int FreeAllBrushes(vkState* L) {
  if (L) Brushes(GraphicsState(L)).brushes.clear();
  return 0;
}

namespace {

int32_t FindBrushForPictures(vkState* L, vkObjectId id, vkBrushView* out) {
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(GraphicsState(L), id, &b, 0)) return rc;
  out->bitmap = b->bitmap.get();
  out->mask = b->mask.get();
  out->alpha = b->alpha.get();
  out->width = b->width;
  out->height = b->height;
  out->transparentColor = b->transparentColor;
  out->transformedVector = b->kind == kBrushVector && b->transformed != 0;
  return 0;
}

int32_t MakeBrushForPictures(vkState* L, vkIdRequest id, vkBitMap* bitmap, vkPlane* mask, vkPlane* alpha,
                             int32_t width, int32_t height, int32_t transparentColor, vkObjectId* made) {
  vkPlanes planes{vkBitMapPtr(bitmap), vkPlanePtr(mask), vkPlanePtr(alpha)};
  vkBrush& b = AddBrushRecord(GraphicsState(L), id, std::move(planes), transparentColor);
  b.width = width;
  b.height = height;
  *made = b.id;
  return 0;
}

// The clipboard's picture of the brush named at stack [index]: its pixels
// with the alpha plane's bytes, or the mask's bits as opaque and clear.
int BrushClipboardPicture(vkState* L, int index, vkBrushPicture* out) {
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(GraphicsState(L), CheckObjectId(L, index), &b, kBrushFindPixels)) return rc;
  out->width = b->width, out->height = b->height;
  out->hasAlpha = b->alpha || b->mask;
  out->argb.resize(size_t(b->width) * size_t(b->height));
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++) {
      uint32_t a = 0xFF;
      if (b->alpha) a = b->alpha->data[size_t(y) * size_t(b->alpha->bytesPerRow) + size_t(x)];
      else if (b->mask) a = ReadBitMapPixel(b->mask.get(), x, y) ? 0xFF : 0;
      out->argb[size_t(y) * size_t(b->width) + size_t(x)] = a << 24 | (ReadBitMapPixel(b->bitmap.get(), x, y) & 0xFFFFFF);
    }
  return 0;
}

// A clipboard picture as a new brush with an automatic id, with an alpha
// plane when the picture has one; its handle is pushed.
int BrushFromClipboardImage(vkState* L, vkOSClipboardImage&& image) {
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() < size_t(image.width) * size_t(image.height))
    return kErrWrongUsage;
  vkBrush* b = nullptr;
  if (int32_t rc = CreateBrushRecord(GraphicsState(L), vkIdRequest{0, true}, image.width, image.height, 0, false,
                                     !image.alpha.empty(), true, &b))
    return rc;
  const size_t alphaStride = image.alpha.size() / size_t(image.height);
  for (int32_t y = 0; y < image.height; y++)
    for (int32_t x = 0; x < image.width; x++) {
      WriteBitMapPixel(b->bitmap.get(), x, y, image.pixels[size_t(y) * size_t(image.width) + size_t(x)]);
      if (b->alpha && size_t(x) < alphaStride)
        b->alpha->data[size_t(y) * size_t(b->alpha->bytesPerRow) + size_t(x)] =
            image.alpha[size_t(y) * alphaStride + size_t(x)];
    }
  vmPushLightUserdata(L, b->id.handle);
  return 0;
}

}  // namespace

void RegisterBrushHooks(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  gs.brushHooks.find = FindBrushForPictures;
  gs.brushHooks.make = MakeBrushForPictures;
  Brushes(gs).bgpicSource = BGPicPlanes;
  if (vkEventState* events = EventStateOf(L)) {
    events->hooks.brushPicture = BrushClipboardPicture;
    events->hooks.brushFromImage = BrushFromClipboardImage;
  }
}
