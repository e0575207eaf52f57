// The "layers" script library: turning layers on and off, inserting,
// removing, re-ordering, naming and finding layers, Undo, FreeLayers,
// DumpLayers and Collision; and the opener, which plugs the layer code into
// the graphics state (the compositor, the layer path of the drawing core,
// the questions about objects and clip regions layers still use, the output
// targets' layer hooks) and into the event library's layer buttons.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/runstate.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/positions.h"
#include "graphics/safeblt.h"
#include "layers/animlib.h"
#include "layers/layerrender.h"
#include "layers/shapelayers.h"
#include "layers/textlayers.h"
#include "layers/layers.h"
#include "layers/layerstyle.h"
#include "layers/movequeues.h"
#include "pixel/blit.h"
#include "runtime/context.h"
#include "runtime/eventstate.h"
#include "text/textobjects.h"

namespace {

constexpr size_t kRemoveLimit = 256;

int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t OptIntArg(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

// ---- The layer path of the drawing core ----

// A brush, brush part, picture part or anim frame shown while layers are on.
int32_t AddBitmapObjectLayer(vkState* L, const vkDisplayRequest& rq, const vkBitmapSource& src,
                             const vkTransform& t, const vkLayerOptions& options, int32_t x, int32_t y) {
  vkGraphicsState& gs = GraphicsState(L);
  const bool part = rq.type == kObjectBrushPart || rq.type == kObjectBGPicPart;
  int32_t width = part ? rq.width : src.width, height = part ? rq.height : src.height;
  const int32_t sx = part ? ResolveSpecialX(rq.sx, width, src.width, 0, 0) : 0;
  const int32_t sy = part ? ResolveSpecialY(rq.sy, height, src.height, 0, 0) : 0;
  width = std::min(width, src.width - sx), height = std::min(height, src.height - sy);
  if (width < 1 || height < 1) return kErrWrongUsage;

  void* record = nullptr;
  vkObjectId id = rq.id;
  vkLayerDataPtr data(new (std::nothrow) vkLayerData);
  if (!data) return kErrOutOfMemory;
  vkPlanes own;
  switch (rq.type) {
    case kObjectBrush:
    case kObjectBrushPart: {
      vkBrush* b = nullptr;
      if (int32_t rc = FindBrush(gs, rq.id, &b, kBrushFindOrphaned)) return rc;
      record = b, id = b->id;
      break;
    }
    case kObjectBGPicPart: {
      vkBGPic* p = nullptr;
      if (int32_t rc = FindBGPic(gs, rq.id, &p, kFindOrphaned)) return rc;
      record = p, id = p->id;
      break;
    }
    case kObjectTextObject: {
      // The layer shows the object itself; a freed one stays while it does.
      vkTextObject* o = nullptr;
      if (int32_t rc = FindTextObject(L, rq.id, &o, kTextObjectFindDeleted)) return rc;
      record = o, id = o->id;
      data = NewTextObjectLayerData(L);
      if (!data) return kErrOutOfMemory;
      break;
    }
    default:
      // An anim frame: the layer keeps a copy of the frame and knows the
      // anim, which stays (orphaned) while the layer shows it.
      if (int32_t rc = CopyPlanesRect(src, 0, 0, width, height, &own)) return rc;
      data->sourceX = rq.frame;
      if (rq.type == kObjectAnim && !rq.source) {
        vkAnim* a = nullptr;
        if (FindAnim(gs, rq.id, &a, kAnimFindOrphaned) == 0) record = a, id = a->id;
      }
      break;
  }
  if (part) data->sourceX = sx, data->sourceY = sy;
  uint32_t flags = kAddLayerScaling;
  if (options.hidden) flags |= kAddHidden;
  if (rq.flags & kDisplayReplaceLayer) flags |= kAddReplace;
  const int32_t insertPos = options.insertPos > 0 ? options.insertPos : -1;
  return AddLayer(L, rq.type, id, record, x, y, width, height, &t, &options, std::move(own.bitmap),
                  std::move(own.mask), std::move(own.alpha), std::move(data), insertPos, flags);
}

int32_t CountCurrentLayers(vkState* L) { return CountLayers(LayerPicture(GraphicsState(L))); }

void RepointLayers(vkGraphicsState& gs, int32_t type, const void* from, void* to) {
  auto repoint = [&](vkBGPic* p) {
    for (vkLayer* layer : p->layers) {
      if (layer->record != from) continue;
      if (type == kObjectBrush && (layer->type == vkObjectType::BRUSH || layer->type == vkObjectType::BRUSHPART)) {
        layer->record = to;
        layer->object = static_cast<vkBrush*>(to)->id;
      }
      if (type == kObjectAnim && layer->type == vkObjectType::ANIM) {
        layer->record = to;
        layer->object = static_cast<vkAnim*>(to)->id;
      }
      if (type == kObjectTextObject && layer->type == vkObjectType::TEXTOBJECT) {
        layer->record = to;
        layer->object = static_cast<vkTextObject*>(to)->id;
      }
    }
  };
  for (vkBGPicPtr& p : gs.BGPicList) repoint(p.get());
  for (vkDisplayPtr& d : gs.DisplayList)
    if (d->bgpic && std::none_of(gs.BGPicList.begin(), gs.BGPicList.end(),
                                 [&](const vkBGPicPtr& p) { return p.get() == d->bgpic; }))
      repoint(d->bgpic);
}

// ---- Hooks of the graphics state ----

bool RegionUsedByLayer(const vkGraphicsState& gs, const vkClipRegion* region) {
  auto uses = [region](const vkBGPic* p) {
    for (const vkLayer* layer : p->layers)
      if (layer->inserted->clip == region || layer->transformed->clip == region || layer->onScreen->clip == region)
        return true;
    return false;
  };
  for (const vkBGPicPtr& p : gs.BGPicList)
    if (uses(p.get())) return true;
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (d->bgpic && uses(d->bgpic)) return true;
  return false;
}

// A layer-scaled display changed its scale: the on-screen records of its
// picture's layers are made again (or dropped at a scale of 1).
int32_t LayersRescaled(vkState* L, vkDisplay* display) {
  vkGraphicsState& gs = GraphicsState(L);
  if (!display || !display->bgpic) return 0;
  if (int32_t rc = ResetLayerCaches(L, display->bgpic, false)) return rc;
  if (!DisplayScalingActive(display, display->bgpic)) return 0;
  return RenderAllLayerTransforms(gs, display, display->bgpic);
}

void LayerDirty(vkGraphicsState&, vkDisplay* display, vkLayer* layer) {
  if (display && layer) AppendRectToList(display->dirtyRects, *layer->onScreen);
}

void FreeLayersOfPicture(vkGraphicsState& gs, vkBGPic* bgpic) {
  FreeBGPicLayers(gs, nullptr, bgpic, false, false);
  FreeOrphanedBrushes(gs);
}

bool PictureHasLayers(vkGraphicsState&, const vkBGPic* bgpic) { return bgpic && !bgpic->layers.empty(); }

void EndPictureSelection(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, bool flush) {
  if (bgpic)
    for (vkLayer* layer : bgpic->layers) layer->pending = 0;
  if (!display) return;
  if (flush) {
    vkDisplay* saved = gs.CurrentDisplay;
    gs.CurrentDisplay = display;
    FlushRectList(gs, display->dirtyRects);
    gs.CurrentDisplay = saved;
  }
  display->dirtyRects.clear();
}

// The planes of layer [id] (its number) as shown, for the commands that
// copy a layer; a layer that shows part of an object gets its own copy first.
int32_t LayerSource(vkState* L, int32_t, vkObjectId id, int32_t frame, vkBitmapSource* out) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkDisplay* d = gs.CurrentDisplay;
  if (!d || !d->layersOn) return kErrLayersRequired;
  vkLayer* layer = GetNthLayer(LayerPicture(gs), id.number);
  if (!layer) return kErrLayerOutOfRange;
  if (layer->type == vkObjectType::BRUSHPART || layer->type == vkObjectType::BGPICPART)
    if (int32_t rc = OwnLayerPixels(gs, layer)) return rc;
  vkLayerPixels px;
  if (int32_t rc = GetObjectBitmap(gs, layer, layer->transformed, true, frame, &px)) return rc;
  *out = vkBitmapSource{px.bitmap, px.mask, px.alpha, px.width, px.height};
  return 0;
}

// ---- Hooks of the event library (layer buttons) ----

vkLayer* FindLayerAt(vkState* L, int index) {
  const vkBGPic* bgpic = LayerPicture(GraphicsState(L));
  const int type = vmType(L, index);
  if (type == VK_TNUMBER) return GetNthLayer(bgpic, vkDoubleToInt32(vmToNumber(L, index)));
  if (type == VK_TSTRING) return GetNthLayer(bgpic, FindLayerIndexByName(GraphicsState(L), vmToString(L, index)));
  return nullptr;
}

bool HitLayer(vkLayer* layer, int32_t x, int32_t y, bool pixelTest, bool activeWhileHidden) {
  if (!layer || (layer->hidden && !activeWhileHidden)) return false;
  const vkLayerData* d = layer->onScreen;
  if (x < d->screenX || y < d->screenY || int64_t(x) >= int64_t(d->screenX) + d->screenWidth ||
      int64_t(y) >= int64_t(d->screenY) + d->screenHeight)
    return false;
  if (!pixelTest) return true;
  vkCollisionSide point;
  point.x = x, point.y = y, point.width = 1, point.height = 1;
  vkCollisionSide side;
  side.x = d->screenX, side.y = d->screenY, side.width = d->screenWidth, side.height = d->screenHeight;
  // Own or transformed planes only; the shared objects' are not reachable here.
  if (d->transformedBitmap) side.mask = d->transformedMask.get(), side.alpha = d->transformedAlpha.get();
  else if (d->bitmap) side.mask = d->mask.get(), side.alpha = d->alpha.get();
  else if (layer->type == vkObjectType::BRUSH || layer->type == vkObjectType::BRUSHPART) {
    const vkBrush* b = static_cast<const vkBrush*>(layer->record);
    if (b) side.mask = b->mask.get(), side.alpha = b->alpha.get();
    if (layer->type == vkObjectType::BRUSHPART) side.planeX = d->sourceX, side.planeY = d->sourceY;
  }
  return TestCollision(side, point) != 0;
}

int32_t LayerIndexOf(const vkLayer* layer) {
  if (!layer || !layer->bgpic) return -1;
  const auto& list = layer->bgpic->layers;
  const auto it = std::find(list.begin(), list.end(), layer);
  return it == list.end() ? -1 : int32_t(it - list.begin()) + 1;
}

const char* LayerNameOf(const vkLayer* layer) { return layer ? layer->name.c_str() : ""; }

void FlushCachesHook(vkState* L, uint32_t kinds) {
  FlushLayerCaches(GraphicsState(L), kinds);
  if (kinds & kFlushTextObjects) PurgeDeletedTextObjects(L);
}

// ---- Commands ----

int CmdEnableLayers(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d) return kErrWrongUsage;
  if (HasAsyncDrawOnDisplay(gs, d)) return kErrLayerModeAsyncDraw;
  if (d->doubleBuffer || d->doubleBufferSuspended) return kErrEndDoubleBuffer;
  if (d->renderTarget != kTargetDisplay) return kLayersErrOffscreenSwitch;
  if (d->bgpic && !d->bgpic->sprites.empty()) return kErrSpritesShown;
  d->layersOn = 1;
  return 0;
}

int CmdDisableLayers(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d) return kErrWrongUsage;
  if (HasAsyncDrawOnDisplay(gs, d)) return kErrLayerModeAsyncDraw;
  if (d->renderTarget != kTargetDisplay) return kLayersErrOffscreenSwitch;
  if (d->layerScaling) return kLayersErrScalingEngine;
  d->layersOn = 0;
  return 0;
}

int CmdInsertLayer(vkState* L) {
  CheckArgCount(L, 5, 6);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  int32_t pos = GetLayerArg(L, 1);
  const int32_t type = IntArg(L, 2);
  const vkObjectId id = CheckObjectId(L, 3);
  const int32_t rx = IntArg(L, 4), ry = IntArg(L, 5);
  const bool hidden = OptIntArg(L, 6, 0) != 0;
  if (pos < 0) return kErrInsertPosition;
  const int32_t count = CountLayers(bgpic);
  if (pos == 0 || pos > count + 1) pos = count + 1;
  uint32_t flags = kAddLayerScaling | kAddNoRefresh | (hidden ? kAddHidden : 0);
  vkLayer* made = nullptr;
  switch (type) {
    case vkObjectType::BRUSH: {
      vkBrush* b = nullptr;
      if (int32_t rc = FindBrush(gs, id, &b, 0)) return rc;
      const int32_t x = ResolveOutputX(gs, rx, b->width, 0), y = ResolveOutputY(gs, ry, b->height, 0);
      vkLayerDataPtr data(new (std::nothrow) vkLayerData);
      if (!data) return kErrOutOfMemory;
      vkLayerOptions options;
      options.hidden = hidden;
      if (int32_t rc = AddLayer(L, type, b->id, b, x, y, b->width, b->height, nullptr, &options, nullptr, nullptr,
                                nullptr, std::move(data), pos, flags, &made))
        return rc;
      break;
    }
    case vkObjectType::ANIM:
    case vkObjectType::TEXTOBJECT: {
      const vkLayersState& state = LayersState(L);
      vkLayerInsertHook insert = type == vkObjectType::ANIM ? state.insertAnim : state.insertTextObject;
      if (!insert) return kErrWrongUsage;
      if (int32_t rc = insert(L, id, rx, ry, pos, flags, &made)) return rc;
      break;
    }
    default:
      return kErrWrongUsage;
  }
  if (made && !made->hidden) RefreshLayerRect(gs, made, nullptr);
  return 0;
}

int CmdRemoveLayer(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  std::vector<vkLayer*> found;
  if (int32_t rc = CollectLayers(L, 1, bgpic, &found, kRemoveLimit)) return rc;
  for (vkLayer* layer : found)
    if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrRemoveLayerAsyncDraw;
  if (gs.CurrentDisplay->renderTarget != kTargetBGPic) {
    vkRectList& batch = LayersState(L).batch;
    batch.clear();
    for (vkLayer* layer : found) FreeLayer(gs, L, layer, false, nullptr, &batch);
    FlushRectList(gs, batch);
    batch.clear();
  } else {
    for (vkLayer* layer : found) FreeLayer(gs, L, layer, false);
  }
  return 0;
}

bool PartlyInside(const vkLayerData* d, const vkBGPic* p) {
  return RectsOverlap(d->screenX, d->screenY, int32_t(int64_t(d->screenX) + d->screenWidth - 1),
                      int32_t(int64_t(d->screenY) + d->screenHeight - 1), 0, 0, p->width - 1, p->height - 1);
}

int CmdSwapLayers(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  const int32_t a = GetLayerArg(L, 1), b = GetLayerArg(L, 2);
  if (a == b) return kErrWrongUsage;
  const int32_t count = CountLayers(bgpic);
  if (a < 1 || b < 1 || a > count || b > count) return kErrLayerOutOfRange;
  std::swap(bgpic->layers[size_t(a - 1)], bgpic->layers[size_t(b - 1)]);
  const vkLayerData* da = bgpic->layers[size_t(a - 1)]->onScreen;
  const vkLayerData* db = bgpic->layers[size_t(b - 1)]->onScreen;
  // One of them outside still moves the other past the layers between them.
  const bool insideA = PartlyInside(da, bgpic), insideB = PartlyInside(db, bgpic);
  if (!insideA || !insideB) {
    if (insideA) RefreshRect(gs, da->screenX, da->screenY, da->screenWidth, da->screenHeight);
    if (insideB) RefreshRect(gs, db->screenX, db->screenY, db->screenWidth, db->screenHeight);
    return 0;
  }
  const int32_t x = std::min(da->screenX, db->screenX), y = std::min(da->screenY, db->screenY);
  const int64_t r = std::max(int64_t(da->screenX) + da->screenWidth, int64_t(db->screenX) + db->screenWidth);
  const int64_t bt = std::max(int64_t(da->screenY) + da->screenHeight, int64_t(db->screenY) + db->screenHeight);
  RefreshRect(gs, x, y, int32_t(r - x), int32_t(bt - y));
  return 0;
}

int CmdSetLayerZPos(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  const int32_t index = GetLayerArg(L, 1), pos = IntArg(L, 2);
  if (index == pos || pos < 0) return kErrWrongUsage;
  vkLayer* layer = GetNthLayer(bgpic, index);
  if (!layer) return kErrLayerOutOfRange;
  if (MoveLayerInList(layer, pos)) RefreshLayerRect(gs, layer, nullptr);
  return 0;
}

int CmdSetLayerName(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  const int32_t pos = GetLayerArg(L, 1);
  const char* name = vmCheckString(L, 2, nullptr);
  vkLayer* layer = pos > 0 ? GetNthLayer(bgpic, pos) : GetNthLayer(bgpic, CountLayers(bgpic));
  if (!layer) return kErrLayerOutOfRange;
  layer->name.clear();
  if (!*name) return 0;
  return SetLayerNameChecked(layer, name);
}

int CmdLayerExists(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  const char* name = vmCheckString(L, 1, nullptr);
  vmPushNumber(L, FindLayerIndexByName(gs, name) != 0 ? 1 : 0);
  return 1;
}

int CmdGetLayerAtPos(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  const vkBGPic* bgpic = LayerPicture(gs);
  int32_t x = IntArg(L, 1), y = IntArg(L, 2);
  const vkDisplay* d = gs.CurrentDisplay;
  if (DisplayScalingActive(d, bgpic))
    x = int32_t(std::lrint(x * d->scaleX)), y = int32_t(std::lrint(y * d->scaleY));
  for (size_t i = bgpic->layers.size(); i-- > 0;) {
    const vkLayerData* s = bgpic->layers[i]->onScreen;
    if (x >= s->screenX && y >= s->screenY && int64_t(x) < int64_t(s->screenX) + s->screenWidth &&
        int64_t(y) < int64_t(s->screenY) + s->screenHeight) {
      vmPushNumber(L, double(i + 1));
      vmPushString(L, bgpic->layers[i]->name.c_str());
      return 2;
    }
  }
  vmPushNumber(L, 0);
  vmPushString(L, "");
  return 2;
}

int CmdUndo(vkState* L) {
  CheckArgCount(L, 1, 4);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  const int32_t type = IntArg(L, 1);
  vkObjectId id{};
  if (vmGetTop(L) >= 2 && vmType(L, 2) != VK_TNIL) id = CheckObjectId(L, 2);
  const int32_t level = OptIntArg(L, 3, 1);
  const bool noRefresh = OptIntArg(L, 4, 0) != 0;
  return RemoveLayerOfType(L, type, id, level, noRefresh);
}

int CmdFreeLayers(vkState* L) {
  CheckArgCount(L, 0, 1);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkDisplay* d = gs.CurrentDisplay;
  vkBGPic* bgpic = LayerPicture(gs);
  const bool keep = OptIntArg(L, 1, 0) != 0;
  for (const vkLayer* layer : bgpic->layers)
    if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrRemoveLayerAsyncDraw;
  if (keep && d->renderTarget == kTargetBGPic && bgpic != d->bgpic) return kErrWrongUsage;
  int32_t w = 0, h = 0;
  if (d->bgpic && d->screenBuffer) w = d->screenBuffer->width, h = d->screenBuffer->height;
  if (keep && bgpic == d->bgpic && w > 0) {
    // The picture as it stands, flattened into the background.
    Redraw(gs, d, d->bgpic, d->screenBuffer, 0, 0, w, h, kRedrawNoSprites);
    BltBitMap(d->screenBuffer, 0, 0, d->backBuffer, 0, 0, w, h);
  }
  FreeBGPicLayers(gs, L, bgpic, true, true);
  if (keep || bgpic != d->bgpic || w < 1) return 0;
  if (d->renderTarget == kTargetBGPic)
    AppendRect(d->dirtyRects, 0, 0, w, h);
  else
    RefreshRectNow(gs, 0, 0, w, h);
  return 0;
}

int CmdDumpLayers(vkState* L) {
  CheckArgCount(L, 0, 1);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  const vkBGPic* bgpic = LayerPicture(gs);
  const int32_t which = OptIntArg(L, 1, 0);
  std::printf("LAYER SYSTEM INFO - BGPIC: %d (%p)\nsizeof(vkLayer): %d\nLayers: %d\n", bgpic->id.number,
              bgpic->id.handle, int(sizeof(vkLayer)), CountLayers(bgpic));
  int32_t pos = 0;
  for (const vkLayer* layer : bgpic->layers) {
    const vkLayerData* d = which == 1 ? layer->transformed : which == 2 ? layer->onScreen : layer->inserted;
    const char* typeName = ObjectTypeName(layer->type);
    std::printf("(%d) %s #%d (%p / \"%s\") - X: %d (%d) - Y: %d (%d) - Width: %d (%d) - Height: %d (%d) - "
                "Visible: %d\n",
                ++pos, typeName ? typeName : "", layer->object.number, layer->object.handle, layer->name.c_str(),
                d->x, d->screenX, d->y, d->screenY, d->width, d->screenWidth, d->height, d->screenHeight,
                layer->hidden ? 0 : 1);
  }
  std::fflush(stdout);
  return 0;
}

int CmdCollision(vkState* L) {
  CheckArgCount(L, 3, 9);
  int32_t result = 0;
  if (int32_t rc = CollisionOf(L, IntArg(L, 1), &result)) return rc;
  vmPushNumber(L, result);
  return 1;
}

// The library's commands in their fixed order; SetLayerLight and
// SetLayerTint share one function.
const vkCommandDef kLayerCommands[] = {
    {"Undo", CmdUndo},
    {"EnableLayers", CmdEnableLayers},
    {"DisableLayers", CmdDisableLayers},
    {"SwapLayers", CmdSwapLayers},
    {"InsertLayer", CmdInsertLayer},
    {"ShowLayer", CmdShowLayer},
    {"HideLayer", CmdHideLayer},
    {"RemoveLayer", CmdRemoveLayer},
    {"SetLayerTransparency", CmdSetLayerTransparency},
    {"SetLayerLight", CmdSetLayerTint},
    {"SetLayerTint", CmdSetLayerTint},
    {"AddMove", CmdAddMove},
    {"ClearMove", CmdClearMove},
    {"DoMove", CmdDoMove},
    {"FreeLayers", CmdFreeLayers},
    {"NextFrame", CmdNextFrame},
    {"SetLayerName", CmdSetLayerName},
    {"Collision", CmdCollision},
    {"DumpLayers", CmdDumpLayers},
    {"ScaleLayer", CmdScaleLayer},
    {"RotateLayer", CmdRotateLayer},
    {"SetLayerStyle", CmdSetLayerStyle},
    {"GetLayerStyle", CmdGetLayerStyle},
    {"TransformLayer", CmdTransformLayer},
    {"SetLayerAnchor", CmdSetLayerAnchor},
    {"LayerExists", CmdLayerExists},
    {"SetLayerZPos", CmdSetLayerZPos},
    {"TranslateLayer", CmdTranslateLayer},
    {"SelectLayer", CmdSelectLayer},
    {"CreateLayer", CmdCreateLayer},
    {"ModifyLayerFrames", CmdModifyLayerFrames},
    {"GetLayerAtPos", CmdGetLayerAtPos},
    {nullptr, nullptr},
};

}  // namespace

int OpenLayersLibrary(vkState* L) {
  LayersState(L);
  EngineRun(L).findLayerByName = [](vkState* S, const char* name) {
    return FindLayerIndexByName(GraphicsState(S), name);
  };
  vkGraphicsState& gs = GraphicsState(L);
  gs.redraw = Redraw;
  gs.regionInUse = RegionUsedByLayer;
  gs.layerDirty = LayerDirty;
  gs.pictureInUse = IsObjectShownByLayer;
  gs.freeLayers = FreeLayersOfPicture;
  gs.layersRescaled = LayersRescaled;
  gs.layerTargets.hasLayers = PictureHasLayers;
  gs.layerTargets.endPictureSelection = EndPictureSelection;
  gs.layerTargets.endLayerDrawing = EndLayerDrawing;
  gs.layerTargets.layer.find = FindLayerTarget;
  gs.layerTargets.layer.replacePlanes = ReplaceLayerPlanes;
  vkBrushList& brushes = Brushes(gs);
  brushes.shownByLayer = IsObjectShownByLayer;
  brushes.repointLayers = RepointLayers;
  brushes.addLayer = AddBitmapObjectLayer;
  brushes.layerCount = CountCurrentLayers;
  brushes.layerSource = LayerSource;
  if (vkEventState* events = EventStateOf(L)) {
    events->hooks.findLayer = FindLayerAt;
    events->hooks.hitLayer = HitLayer;
    events->hooks.layerIndex = LayerIndexOf;
    events->hooks.layerName = LayerNameOf;
    events->hooks.flushLayerCaches = FlushCachesHook;
  }
  RegisterShapeLayers(L);
  vkLayersState& layers = LayersState(L);
  if (!layers.insertAnim)
    layers.insertAnim = [](vkState* S, vkObjectId id, int32_t x, int32_t y, int32_t pos, uint32_t flags,
                           vkLayer** out) { return InsertObjectLayer(S, vkObjectType::ANIM, id, x, y, pos, flags, out); };
  if (!layers.insertTextObject)
    layers.insertTextObject = [](vkState* S, vkObjectId id, int32_t x, int32_t y, int32_t pos, uint32_t flags,
                                 vkLayer** out) {
      return InsertObjectLayer(S, vkObjectType::TEXTOBJECT, id, x, y, pos, flags, out);
    };
  vmRegisterFunctions(L, nullptr, kLayerCommands, 0);
  return RegisterLibrary(L, kLayerCommands, "layers");
}

int CloseLayersLibrary(vkState* L) {
  if (!L) return 0;
  FreeMoveQueues(L);
  vkRectList().swap(LayersState(L).batch);
  return 0;
}
