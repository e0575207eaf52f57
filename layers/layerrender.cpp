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
#include "graphics/displays.h"
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
    const auto* o = static_cast<const vkTextObject*>(layer->record);
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
  int32_t iter = 0;
  do {
    vkLayer* layer = nullptr;
    if (int32_t rc = FindLayer(L, 1, bgpic, &layer, &iter, nullptr)) return rc;
    layers.push_back(layer);
  } while (iter != -1);

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
