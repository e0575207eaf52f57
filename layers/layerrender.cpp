// Making and moving a layer's pixels. A layer keeps what its drawing
// command was given, so it is drawn anew by the same library routine that
// made it (the new layer replacing the old in place) whenever its content
// changes; a move only shifts its records and recomposes where it was and
// where it is. Showing and hiding go through the move, so that a group
// placed as a whole is recomposed once.
#include "layers/layerrender.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "engine/argcheck.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/displayoptions.h"
#include "engine/objecthandles.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/outputtargets.h"
#include "layers/animlib.h"
#include "layers/anims.h"
#include "layers/layerstyle.h"
#include "pixel/bitmap.h"
#include "pixel/copykernels.h"
#include "layers/shapelayers.h"
#include "layers/textlayers.h"
#include "text/textobjects.h"

namespace {


int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Shifts a record's logical, anchored and screen positions.
void Shift(vkLayerData* d, int32_t dx, int32_t dy) {
  d->x = Clamp32(int64_t(d->x) + dx), d->y = Clamp32(int64_t(d->y) + dy);
  d->anchoredX = Clamp32(int64_t(d->anchoredX) + dx), d->anchoredY = Clamp32(int64_t(d->anchoredY) + dy);
  d->screenX = Clamp32(int64_t(d->screenX) + dx), d->screenY = Clamp32(int64_t(d->screenY) + dy);
}

// The rectangle (x, y, width, height) that covers both.
void Unite(const int32_t* a, const int32_t* b, int32_t* out) {
  const int64_t x = std::min(a[0], b[0]), y = std::min(a[1], b[1]);
  const int64_t r = std::max(int64_t(a[0]) + a[2], int64_t(b[0]) + b[2]);
  const int64_t bt = std::max(int64_t(a[1]) + a[3], int64_t(b[1]) + b[3]);
  out[0] = int32_t(x), out[1] = int32_t(y), out[2] = Clamp32(r - x), out[3] = Clamp32(bt - y);
}

bool IsBitmapType(int32_t type) {
  return type == vkObjectType::BRUSH || type == vkObjectType::BRUSHPART || type == vkObjectType::BGPICPART ||
         type == vkObjectType::ANIM || type == vkObjectType::TEXTOBJECT;
}

// What a layer drawn anew is given of the one it replaces.
vkLayerOptions CarriedOptions(const vkLayer* layer, int32_t position, uint32_t flags) {
  vkLayerOptions options;
  const size_t n = std::min(layer->name.size(), sizeof(options.name) - 1);
  std::copy_n(layer->name.data(), n, options.name);
  options.name[n] = 0;
  options.hidden = (flags & kDrawHidden) ? 1 : 0;
  options.insertPos = position;
  options.transparency = layer->transparency;
  options.tint = layer->tint;
  options.tintColor = layer->tintColor;
  options.given = 1;
  return options;
}

// The text object [layer] shows: its record while that is one of the run's
// text objects (a freed one too), else the object its id names (a layer
// that is to show a text object from now on).
const vkTextObject* ShownTextObject(vkState* L, const vkLayer* layer) {
  for (const vkTextObject& o : TextObjects(L).objects)
    if (&o == layer->record) return &o;
  vkTextObject* o = nullptr;
  return FindTextObject(L, layer->object, &o, kTextObjectFindDeleted) == 0 ? o : nullptr;
}

// Brushes, their parts, picture parts and anim frames go through the
// drawing core as the script's own command did.
int32_t DrawBitmapLayer(vkState* L, const vkLayer* layer, const vkLayerData& source, const vkLayerOptions& options,
                        uint32_t flags) {
  vkDisplayRequest rq;
  rq.type = layer->type;
  rq.id = layer->object;
  rq.x = source.x, rq.y = source.y;
  if (layer->type == vkObjectType::BRUSHPART || layer->type == vkObjectType::BGPICPART) {
    rq.sx = source.sourceX, rq.sy = source.sourceY;
    rq.width = source.width, rq.height = source.height;
  } else if (layer->type == vkObjectType::ANIM) {
    rq.frame = source.sourceX;
  }
  // A text object's planes are its record's (a freed one is reached only so).
  vkBitmapSource planes;
  if (layer->type == vkObjectType::TEXTOBJECT) {
    const vkTextObject* o = ShownTextObject(L, layer);
    if (!o || !o->bitmap) return kErrWrongUsage;
    const vkPlane* alpha = o->alpha.get();
    planes = vkBitmapSource{o->bitmap.get(), alpha ? nullptr : o->mask.get(), alpha, o->width, o->height};
    rq.source = &planes;
    rq.id = o->id;  // a freed object has an id of its own by now
  }
  rq.transform = &layer->transform;
  rq.layerOptions = &options;
  rq.flags = kDisplayForLayer | ((flags & kDrawReplace) ? kDisplayReplaceLayer : 0);
  return DisplayBitmapObject(L, rq);
}

}  // namespace

void SetLayerPosition(vkState* L, vkLayer* layer, const int32_t* old, int32_t x, int32_t y, uint32_t relative,
                      vkRectList* batch) {
  vkGraphicsState& gs = GraphicsState(L);
  vkLayerData* in = layer->inserted;
  vkLayerData* tr = layer->transformed;
  vkLayerData* on = layer->onScreen;
  int32_t before[4] = {on->screenX, on->screenY, on->screenWidth, on->screenHeight};
  if (old) std::copy(old, old + 4, before);

  auto target = [](int32_t now, int32_t wanted, bool rel) -> int32_t {
    if (wanted == kKeepPosition) return now;
    return rel ? Clamp32(int64_t(now) + wanted) : wanted;
  };
  const int32_t nx = target(in->x, x, relative & kPositionRelativeX);
  const int32_t ny = target(in->y, y, relative & kPositionRelativeY);
  const int32_t dx = Clamp32(int64_t(nx) - in->x), dy = Clamp32(int64_t(ny) - in->y);
  if (dx || dy) {
    Shift(in, dx, dy);
    if (tr != in) Shift(tr, dx, dy);
    if (on != in && on != tr) {
      // Shown by a scaling display: its place is the transformed one scaled.
      const vkDisplay* d = gs.CurrentDisplay;
      const bool line = layer->type == vkObjectType::LINE;
      int32_t sx = dx, sy = dy;
      if (DisplayScalingActive(d, layer->bgpic)) {
        sx = int32_t(std::lrint((line ? tr->screenX : tr->x) * d->scaleX)) - (line ? on->screenX : on->x);
        sy = int32_t(std::lrint((line ? tr->screenY : tr->y) * d->scaleY)) - (line ? on->screenY : on->y);
      }
      Shift(on, sx, sy);
    }
    BroadcastAsyncDrawMessage(gs, kAsyncLayerChanged, layer);
  }
  if (layer->hidden || layer->pending || LayersState(L).noRefresh) return;
  const int32_t now[4] = {on->screenX, on->screenY, on->screenWidth, on->screenHeight};
  int32_t r[4];
  Unite(before, now, r);
  if (batch)
    AppendRect(*batch, r[0], r[1], r[2], r[3]);
  else
    RefreshRect(gs, r[0], r[1], r[2], r[3]);
}

int32_t DrawLayerByType(vkState* L, vkLayer* layer, int32_t position, const vkLayerData* source, uint32_t flags,
                        vkLayer** made) {
  if (made) *made = nullptr;
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* bgpic = LayerPicture(gs);
  const vkLayerData& src = source ? *source : *layer->inserted;
  const vkLayerOptions options = CarriedOptions(layer, position, flags);
  // What AddLayer does not carry over to the layer that replaces this one.
  const std::string group = layer->group;
  const int32_t effectFlag = layer->effectFlag, scrollEffect = layer->scrollEffect;
  int32_t rc = 0;
  bool drawn = true;
  if (IsBitmapType(layer->type))
    rc = DrawBitmapLayer(L, layer, src, options, flags);
  else if (layer->type == vkObjectType::TEXTOUT || layer->type == vkObjectType::PRINT)
    rc = RedrawTextLayer(L, layer, position, src, options, flags, &drawn);
  else if (IsShapeLayerType(layer->type))
    rc = RedrawShapeLayer(L, layer, position, src, options, flags, &drawn);
  else
    return 0;
  if (rc) return rc;
  // Nothing to show (an empty text, an arc whose ends meet): the old layer stays.
  if (!drawn) return 0;
  vkLayer* fresh = (flags & kDrawReplace) ? GetNthLayer(bgpic, position) : bgpic->layers.back();
  if (fresh && (flags & kDrawReplace)) {
    fresh->group = group;
    fresh->effectFlag = effectFlag, fresh->scrollEffect = scrollEffect;
  }
  if (made) *made = fresh;
  return 0;
}

int32_t SetLayerVisibility(vkState* L, int32_t x, int32_t y, bool hide) {
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  // The members first: moving one never changes which are named.
  std::vector<vkLayer*> layers;
  if (int32_t rc = CollectLayers(L, 1, bgpic, &layers)) return rc;

  uint32_t relative = 0;
  int32_t groupDx = kKeepPosition, groupDy = kKeepPosition;
  if (layers.size() > 1 && (x != kKeepPosition || y != kKeepPosition)) {
    // The group's bounding box is placed; every member moves by its offset.
    int64_t x1 = INT64_MAX, y1 = INT64_MAX, x2 = INT64_MIN, y2 = INT64_MIN;
    for (const vkLayer* layer : layers) {
      const vkLayerData* d = layer->inserted;
      x1 = std::min<int64_t>(x1, d->anchoredX), y1 = std::min<int64_t>(y1, d->anchoredY);
      x2 = std::max<int64_t>(x2, int64_t(d->anchoredX) + d->width);
      y2 = std::max<int64_t>(y2, int64_t(d->anchoredY) + d->height);
    }
    if (x != kKeepPosition) groupDx = Clamp32(int64_t(ResolveOutputX(gs, x, Clamp32(x2 - x1), 0)) - x1);
    if (y != kKeepPosition) groupDy = Clamp32(int64_t(ResolveOutputY(gs, y, Clamp32(y2 - y1), 0)) - y1);
    relative = kPositionRelativeX | kPositionRelativeY;
  }

  const bool toBGPic = gs.CurrentDisplay->renderTarget == kTargetBGPic;
  vkRectList& batch = LayersState(L).batch;
  batch.clear();
  vkRectList changed;
  for (vkLayer* layer : layers) {
    int32_t lx = groupDx, ly = groupDy;
    if (!relative) {
      const vkLayerData* d = layer->inserted;
      lx = x == kKeepPosition ? x : ResolveOutputX(gs, x, d->width, layer->anchorX);
      ly = y == kKeepPosition ? y : ResolveOutputY(gs, y, d->height, layer->anchorY);
    }
    // A layer whose visibility changes recomposes where it was and is,
    // whichever way it changes; one hidden before and after, nothing.
    const int32_t wasHidden = layer->hidden;
    layer->hidden = wasHidden && hide ? 1 : 0;
    changed.clear();
    SetLayerPosition(L, layer, nullptr, lx, ly, relative, &changed);
    layer->hidden = hide ? 1 : 0;
    for (const vkRectEntry& r : changed) {
      const int32_t w = Clamp32(int64_t(r[2]) - r[0] + 1), h = Clamp32(int64_t(r[3]) - r[1] + 1);
      if (toBGPic)
        RefreshRect(gs, r[0], r[1], w, h);
      else
        AppendRect(batch, r[0], r[1], w, h);
    }
  }
  if (!toBGPic) {
    FlushRectList(gs, batch);
    batch.clear();
  }
  return 0;
}

int CmdShowLayer(vkState* L) {
  CheckArgCount(L, 1, 3);
  const int32_t x = vkDoubleToInt32(vmOptNumber(L, 2, kKeepPosition));
  const int32_t y = vkDoubleToInt32(vmOptNumber(L, 3, kKeepPosition));
  return SetLayerVisibility(L, x, y, false);
}

int CmdHideLayer(vkState* L) {
  CheckArgCount(L, 1, 1);
  return SetLayerVisibility(L, kKeepPosition, kKeepPosition, true);
}

// ---- Empty layers and anim frames ----

namespace {

// Field [name] of the table at [table], when it is there.
void OptField(vkState* L, int table, const char* name, int32_t* out) {
  vmPushString(L, name);
  vmGetTable(L, table);
  if (vmType(L, -1) != VK_TNIL) *out = vkDoubleToInt32(vmCheckNumberField(L, vmGetTop(L), name));
  vmSetTop(L, -2);
}

// New planes of width x height filled with [rgb]; a mask all set or an
// alpha plane all 255, all clear with [clear]. 0 or 1000.
int32_t FilledPlanes(int32_t width, int32_t height, uint32_t rgb, bool withMask, bool withAlpha, bool clear,
                     vkPlanes* out) {
  vkPlanes p;
  p.bitmap.reset(AllocArgbBitMap(width, height));
  if (!p.bitmap) return kErrOutOfMemory;
  FillPixelRect32(p.bitmap->pixels, p.bitmap->bytesPerRow / 4, 0, 0, width, height, RGBToPixel(rgb, p.bitmap->format));
  if (withMask) {
    p.mask.reset(AllocMaskPlane(width, height, true));
    if (!p.mask) return kErrOutOfMemory;
    if (!clear) FillMaskRect(p.mask.get(), 0, 0, width, height, 0);
  }
  if (withAlpha) {
    p.alpha.reset(AllocAlphaPlane(width, height, true));
    if (!p.alpha) return kErrOutOfMemory;
    if (!clear) FillAlphaRect(p.alpha.get(), 0, 0, width, height, 255);
  }
  *out = std::move(p);
  return 0;
}

// The anim layer of argument 1: 1081 when there is none, 1155 when it shows no anim.
int32_t AnimLayerArg(vkState* L, vkLayer** out) {
  vkGraphicsState& gs = GraphicsState(L);
  vkLayer* layer = GetNthLayer(LayerPicture(gs), GetLayerArg(L, 1));
  if (!layer) return kErrLayerOutOfRange;
  if (layer->type != vkObjectType::ANIM) return kErrNotAnimLayer;
  *out = layer;
  return 0;
}

// The anim [layer] shows, made its own: cloned when the script or another
// layer has it too, and kept (orphaned) only as long as the layer shows it.
int32_t PrivateAnim(vkGraphicsState& gs, vkLayer* layer, vkAnim** out) {
  vkAnim* a = nullptr;
  if (int32_t rc = FindAnim(gs, layer->object, &a, kAnimFindOrphaned)) return rc;
  void* own = layer->record;
  layer->record = nullptr;
  const bool shared = IsObjectShownByLayer(gs, vkObjectType::ANIM, a);
  layer->record = own;
  if (a->orphaned && !shared) {
    layer->record = a;
    *out = a;
    return 0;
  }
  vkAnim* copy = nullptr;
  if (int32_t rc = CloneAnim(gs, *a, vkObjectId{0, NewObjectHandle()}, &copy)) return rc;
  copy->orphaned = true;
  layer->record = copy, layer->object = copy->id;
  *out = copy;
  return 0;
}

}  // namespace

int CmdCreateLayer(vkState* L) {
  CheckArgCount(L, 4, 5);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  const int32_t x = vkDoubleToInt32(vmCheckNumber(L, 1)), y = vkDoubleToInt32(vmCheckNumber(L, 2));
  const int32_t width = vkDoubleToInt32(vmCheckNumber(L, 3)), height = vkDoubleToInt32(vmCheckNumber(L, 4));
  int32_t frames = 0, withMask = 0, withAlpha = 0, clear = 0, color = 0;
  if (vmGetTop(L) >= 5) {
    vmCheckTable(L, 5);
    OptField(L, 5, "frames", &frames);
    OptField(L, 5, "mask", &withMask);
    OptField(L, 5, "alphachannel", &withAlpha);
    OptField(L, 5, "clear", &clear);
    OptField(L, 5, "color", &color);
  }
  if (frames < 0 || (withMask && withAlpha)) return kErrWrongUsage;
  if (width < 1 || height < 1) return kErrSizeNotPositive;
  const uint32_t rgb = uint32_t(color) & 0xFFFFFF;
  vkDisplayRequest rq;
  rq.x = x, rq.y = y;
  rq.flags = kDisplayForLayer;
  if (frames == 0) {
    // A brush of its own, freed with the layer.
    vkBrush* b = nullptr;
    if (int32_t rc = CreateBrushRecord(gs, vkIdRequest{0, true}, width, height, rgb, withMask, withAlpha, clear, &b))
      return rc;
    rq.type = vkObjectType::BRUSH, rq.id = b->id;
    const int32_t rc = DisplayBitmapObject(L, rq);
    b->orphaned = true;
    FreeOrphanedBrushes(gs);
    return rc;
  }
  // An anim of its own, its first frame shown, freed with the layer.
  vkAnim made;
  made.id = vkObjectId{0, NewObjectHandle()};
  made.width = width, made.height = height;
  made.transparentColor = withMask ? kCreatedMaskKey : -1;
  try {
    made.frames.resize(size_t(frames));
    made.delays.assign(size_t(frames), kNoFrameDelay);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (vkPlanes& f : made.frames)
    if (int32_t rc = FilledPlanes(width, height, rgb, withMask, withAlpha, clear, &f)) return rc;
  made.frameCount = frames;
  vkAnim& anim = Anims(gs).anims.emplace_back(std::move(made));
  rq.type = vkObjectType::ANIM, rq.id = anim.id, rq.frame = 0;
  const int32_t rc = DisplayBitmapObject(L, rq);
  anim.orphaned = true;
  FreeOrphanedAnims(gs);
  return rc;
}

int CmdNextFrame(vkState* L) {
  CheckArgCount(L, 1, 4);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkLayer* layer = nullptr;
  if (int32_t rc = AnimLayerArg(L, &layer)) return rc;
  const int32_t x = vkDoubleToInt32(vmOptNumber(L, 2, kKeepPosition));
  const int32_t y = vkDoubleToInt32(vmOptNumber(L, 3, kKeepPosition));
  const int32_t frame = vkDoubleToInt32(vmOptNumber(L, 4, 0));
  return SetLayerPosFrame(L, layer, x, y, frame, false);
}

int CmdModifyLayerFrames(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkLayer* layer = nullptr;
  if (int32_t rc = AnimLayerArg(L, &layer)) return rc;
  const int32_t count = vkDoubleToInt32(vmCheckNumber(L, 2));
  const int32_t position = vkDoubleToInt32(vmOptNumber(L, 3, 0));
  vkAnim* a = nullptr;
  if (int32_t rc = PrivateAnim(gs, layer, &a)) return rc;
  const int64_t frames = a->frameCount;
  if (int32_t rc = ChangeAnimFrames(*a, count, position)) return rc;
  // The frame shown, found again among the new frames.
  const int64_t at = position > 0 ? position - 1 : count > 0 ? frames : frames + count;
  int64_t current = layer->inserted->sourceX;
  if (count > 0 && current >= at) current += count;
  else if (count < 0 && current >= at - count) current += count;
  else if (count < 0 && current >= at) current = -1;  // removed
  if (current >= 0) {
    for (vkLayerData* d : {layer->inserted, layer->transformed, layer->onScreen}) d->sourceX = int32_t(current);
    return 0;
  }
  // Gone: the first frame is shown.
  const int32_t position1 = GetLayerIndex(gs, layer);
  vkLayerDataPtr source = CopyLayerData(*layer->inserted);
  if (!source) return kErrOutOfMemory;
  source->sourceX = 0;
  const int32_t old[4] = {layer->onScreen->screenX, layer->onScreen->screenY, layer->onScreen->screenWidth,
                          layer->onScreen->screenHeight};
  vkLayer* made = nullptr;
  if (int32_t rc = DrawLayerByType(L, layer, position1, source.get(), kDrawReplace | (layer->hidden ? kDrawHidden : 0),
                                   &made))
    return rc;
  if (made && !made->hidden && !made->pending) RefreshLayerRect(gs, made, old);
  return 0;
}

// ---- Layers as drawing targets ----

namespace {

// Whether a layer other than [layer] shows [record] of [type].
bool ShownByOtherLayer(vkGraphicsState& gs, vkLayer* layer, int32_t type, const void* record) {
  void* own = layer->record;
  layer->record = nullptr;
  const bool shown = IsObjectShownByLayer(gs, type, record);
  layer->record = own;
  return shown;
}

// [layer] becomes a BRUSH layer showing a new brush of [planes], kept only
// while the layer shows it.
int32_t BecomeBrush(vkGraphicsState& gs, vkLayer* layer, vkPlanes planes) {
  vkBrush& b = AddBrushRecord(gs, vkIdRequest{0, true}, std::move(planes), -1);
  b.orphaned = true;
  layer->type = vkObjectType::BRUSH;
  layer->record = &b;
  layer->object = layer->identity = b.id;
  layer->ops = nullptr;
  for (vkLayerData* d : {layer->inserted, layer->transformed, layer->onScreen}) d->kind.reset();
  return 0;
}

}  // namespace

int32_t OwnLayerPixels(vkGraphicsState& gs, vkLayer* layer) {
  vkLayerData* in = layer->inserted;
  if (in->bitmap) return 0;
  vkLayerPixels px;
  if (int32_t rc = GetObjectBitmap(gs, layer, in, false, -1, &px)) return rc;
  const bool part = layer->type == vkObjectType::BRUSHPART || layer->type == vkObjectType::BGPICPART;
  vkPlanes copy;
  const vkBitmapSource src{px.bitmap, px.mask, px.alpha, px.width, px.height};
  if (int32_t rc = CopyPlanesRect(src, part ? in->sourceX : 0, part ? in->sourceY : 0, in->width, in->height, &copy))
    return rc;
  in->bitmap = std::move(copy.bitmap), in->mask = std::move(copy.mask), in->alpha = std::move(copy.alpha);
  return 0;
}

int32_t ConvertLayerToBrush(vkState* L, vkLayer* layer) {
  vkGraphicsState& gs = GraphicsState(L);
  if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrRenderLayerAsyncDraw;
  vkLayerData* in = layer->inserted;
  switch (layer->type) {
    case vkObjectType::BRUSH: {
      vkBrush* b = nullptr;
      if (int32_t rc = FindBrush(gs, layer->object, &b, kBrushFindOrphaned)) return rc;
      if (b->orphaned && !ShownByOtherLayer(gs, layer, vkObjectType::BRUSH, b)) return 0;
      // The script's brush, or one another layer shows: the layer gets its own.
      vkBrush* copy = nullptr;
      if (int32_t rc = CloneBrush(gs, *b, vkIdRequest{0, true}, &copy)) return rc;
      copy->orphaned = true;
      layer->record = copy, layer->object = copy->id;
      return 0;
    }
    case vkObjectType::BRUSHPART:
    case vkObjectType::BGPICPART:
      return OwnLayerPixels(gs, layer);
    case vkObjectType::ANIM: {
      vkAnim* a = nullptr;
      return PrivateAnim(gs, layer, &a);
    }
    case vkObjectType::TEXTOBJECT: {
      const vkTextObject* o = ShownTextObject(L, layer);
      if (!o || !o->bitmap) return kErrWrongUsage;
      const vkPlane* alpha = o->alpha.get();
      const vkBitmapSource src{o->bitmap.get(), alpha ? nullptr : o->mask.get(), alpha, o->width, o->height};
      vkPlanes copy;
      if (int32_t rc = CopyPlanesRect(src, 0, 0, o->width, o->height, &copy)) return rc;
      BecomeBrush(gs, layer, std::move(copy));
      PurgeDeletedTextObjects(L);
      return 0;
    }
    default:
      if (layer->type != vkObjectType::TEXTOUT && layer->type != vkObjectType::PRINT && !IsShapeLayerType(layer->type))
        return kErrWrongUsage;
      // The drawing the layer keeps becomes the brush's.
      if (!in->bitmap) return kErrWrongUsage;
      return BecomeBrush(gs, layer, vkPlanes{std::move(in->bitmap), std::move(in->mask), std::move(in->alpha)});
  }
}

int32_t FindLayerTarget(vkState* L, vkDisplay* display, vkObjectId id, int32_t index, bool forDrawing,
                        vkTargetObject* out) {
  vkGraphicsState& gs = GraphicsState(L);
  vkLayer* layer = GetNthLayer(display ? display->bgpic : nullptr, id.number);
  if (!layer) return kErrLayerOutOfRange;
  const bool anim = layer->type == vkObjectType::ANIM;
  if (index != 0 && !anim) return kErrNotAnimLayer;
  if (index == 0 && anim) return kErrNotEnoughArgs;
  if (!forDrawing)
    if (int32_t rc = ConvertLayerToBrush(L, layer)) return rc;
  *out = vkTargetObject{};
  out->record = layer;
  if (anim) {
    vkAnim* a = nullptr;
    if (int32_t rc = PrivateAnim(gs, layer, &a)) return rc;
    if (a->fromDisk) return kErrDiskAnim;
    if (index < 1 || index > a->frameCount || size_t(index) > a->frames.size()) return kErrAnimFrameRange;
    vkPlanes& f = a->frames[size_t(index - 1)];
    out->bitmap = f.bitmap.get(), out->mask = f.mask.get(), out->alpha = f.alpha.get();
    out->width = a->width, out->height = a->height;
    return 0;
  }
  vkLayerPixels px;
  if (int32_t rc = GetObjectBitmap(gs, layer, layer->inserted, false, -1, &px)) return rc;
  // Private by now: the planes are the layer's to change.
  out->bitmap = const_cast<vkBitMap*>(px.bitmap);
  out->mask = const_cast<vkPlane*>(px.mask), out->alpha = const_cast<vkPlane*>(px.alpha);
  out->width = layer->inserted->width, out->height = layer->inserted->height;
  return 0;
}

void ReplaceLayerPlanes(vkGraphicsState& gs, void* record, int32_t index, vkPlane* mask, vkPlane* alpha) {
  vkLayer* layer = static_cast<vkLayer*>(record);
  vkLayerData* in = layer->inserted;
  if (layer->type == vkObjectType::ANIM && index > 0) {
    vkAnim* a = nullptr;
    if (FindAnim(gs, layer->object, &a, kAnimFindOrphaned) == 0 && size_t(index) <= a->frames.size()) {
      a->frames[size_t(index - 1)].mask.reset(mask);
      a->frames[size_t(index - 1)].alpha.reset(alpha);
      return;
    }
  } else if (!in->bitmap && layer->type == vkObjectType::BRUSH && layer->record) {
    vkBrush* b = static_cast<vkBrush*>(layer->record);
    b->mask.reset(mask), b->alpha.reset(alpha);
    return;
  }
  in->mask.reset(mask);
  in->alpha.reset(alpha);
}

int32_t EndLayerDrawing(vkState* L, vkDisplay* display, vkLayer* layer, int32_t index) {
  vkGraphicsState& gs = GraphicsState(L);
  if (!layer) return 0;
  const int32_t old[4] = {layer->onScreen->screenX, layer->onScreen->screenY, layer->onScreen->screenWidth,
                          layer->onScreen->screenHeight};
  if (layer->type == vkObjectType::ANIM && index > 0 && index - 1 == layer->inserted->sourceX) {
    // The layer keeps a copy of the frame it shows: drawn into, it is taken again.
    vkAnim* a = nullptr;
    if (FindAnim(gs, layer->object, &a, kAnimFindOrphaned) == 0 && !a->fromDisk) {
      vkPlanes copy;
      vkBitmapSource src;
      if (int32_t rc = GetAnimFrameBitmap(gs, *a, index - 1, true, false, &copy, &src)) return rc;
      vkLayerData* in = layer->inserted;
      in->bitmap = std::move(copy.bitmap), in->mask = std::move(copy.mask), in->alpha = std::move(copy.alpha);
    }
  }
  if (IsIdentity(layer->transform) && !DisplayScalingActive(display, layer->bgpic)) {
    RefreshLayerRect(gs, layer, nullptr);
    return 0;
  }
  if (int32_t rc = RenderTransformedLayer(gs, layer, kRenderWithMatrix)) return rc;
  RefreshLayerRect(gs, layer, old);
  return 0;
}

int CmdSelectLayer(vkState* L) {
  CheckArgCount(L, 1, 3);
  const int32_t position = GetLayerArg(L, 1);
  const int32_t frame = vkDoubleToInt32(vmOptNumber(L, 2, 0));
  const int32_t mode = vkDoubleToInt32(vmOptNumber(L, 3, SELMODE_NORMAL));
  if (mode < SELMODE_NORMAL || mode > SELMODE_LAYERS) return kErrWrongUsage;
  return SelectOutputTarget(L, vkObjectType::LAYER, vkObjectId{position, nullptr}, kTargetBrush, frame, mode);
}

int32_t InsertObjectLayer(vkState* L, int32_t type, vkObjectId id, int32_t x, int32_t y, int32_t position,
                          uint32_t flags, vkLayer** out) {
  vkGraphicsState& gs = GraphicsState(L);
  *out = nullptr;
  vkDisplayRequest rq;
  rq.type = type, rq.id = id, rq.x = x, rq.y = y;
  vkLayerOptions options;
  options.insertPos = position;
  options.hidden = (flags & kAddHidden) ? 1 : 0;
  rq.layerOptions = &options;
  vkBitmapSource planes;
  if (type == vkObjectType::TEXTOBJECT) {
    // At the text's position: the picture lies at its offsets from it.
    vkTextObject* o = nullptr;
    if (int32_t rc = FindTextObject(L, id, &o, 0)) return rc;
    const vkPlane* alpha = o->alpha.get();
    planes = vkBitmapSource{o->bitmap.get(), alpha ? nullptr : o->mask.get(), alpha, o->width, o->height};
    rq.source = &planes;
    rq.id = o->id;
    rq.x = Clamp32(int64_t(ResolveOutputX(gs, x, o->width, 0)) + o->offsetX);
    rq.y = Clamp32(int64_t(ResolveOutputY(gs, y, o->height, 0)) + o->offsetY);
  } else if (type != vkObjectType::ANIM) {
    return kErrWrongUsage;
  }
  if (int32_t rc = DisplayBitmapObject(L, rq)) return rc;
  *out = GetNthLayer(LayerPicture(gs), position);
  return 0;
}
