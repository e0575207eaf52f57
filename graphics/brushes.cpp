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
#include "runtime/context.h"

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
