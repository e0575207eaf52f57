// The layer list of each background picture: making a layer from what a
// drawing command gives (owning it from the first step), removing layers,
// the lookups by position, name and group, names, order, record copies and
// the caches of objects kept alive only because a layer still shows them.
#include <algorithm>
#include <cmath>
#include <new>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/nocase.h"
#include "base/numconv.h"
#include "engine/errors.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "graphics/clipregions.h"
#include "graphics/displays.h"
#include "layers/anims.h"
#include "layers/layers.h"
#include "text/textobjects.h"
#include "runtime/context.h"
#include "runtime/eventstate.h"

namespace {

constexpr size_t kLayerNameMax = 255;

void Unlink(vkLayer* layer) {
  std::vector<vkLayer*>& list = layer->bgpic->layers;
  list.erase(std::remove(list.begin(), list.end(), layer), list.end());
}

// Frees the data records of [layer] (each record once) and the record.
void DestroyLayer(vkLayer* layer) {
  vkLayerData* in = layer->inserted;
  vkLayerData* tr = layer->transformed;
  vkLayerData* on = layer->onScreen;
  delete in;
  if (tr != in) delete tr;
  if (on != in && on != tr) delete on;
  delete layer;
}

// The cache kind of what a layer of [type] shows.
uint32_t CacheKind(int32_t type) {
  switch (type) {
    case vkObjectType::BRUSH:
    case vkObjectType::BRUSHPART: return kFlushBrushes;
    case vkObjectType::ANIM: return kFlushAnims;
    case vkObjectType::TEXTOBJECT: return kFlushTextObjects;
    case vkObjectType::BGPICPART: return kFlushBGPics;
    default: return 0;
  }
}

}  // namespace

vkLayerData::~vkLayerData() {
  if (ownsClip && clip) delete clip;
}

vkLayersState& LayersState(vkState* L) {
  vkProgramContext& context = ProgramContext(L);
  if (!context.layers) {
    context.layers = std::make_shared<vkLayersState>();
    context.layers->batch.reserve(kRectListStep);
  }
  return *context.layers;
}

vkBGPic* LayerPicture(vkGraphicsState& gs) { return gs.CurrentBGPic; }

int32_t CheckLayerTarget(vkGraphicsState& gs) {
  const vkDisplay* d = gs.CurrentDisplay;
  if (!d) return kErrLayersRequired;
  switch (d->renderTarget) {
    case kTargetBrush: {
      const vkBGPic* out = gs.CurrentBGPic;
      return out && out->targetKind == vkObjectType::ANIM ? kErrSelectAnimActive : kErrSelectBrushActive;
    }
    case kTargetMask: return kErrSelectMaskActive;
    case kTargetAlphaChannel: return kErrSelectAlphaActive;
    default: break;
  }
  if (!d->layersOn) return kErrLayersRequired;
  return 0;
}

int32_t AddLayer(vkState* L, int32_t type, vkObjectId id, void* record, int32_t x, int32_t y, int32_t width,
                 int32_t height, const vkTransform* transform, const vkLayerOptions* options, vkBitMapPtr bitmap,
                 vkPlanePtr mask, vkPlanePtr alpha, vkLayerDataPtr data, int32_t insertPos, uint32_t flags,
                 vkLayer** out) {
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* bgpic = LayerPicture(gs);
  if (!bgpic || !data) return kErrWrongUsage;
  // 1. The record; the data record takes the planes at once.
  data->bitmap = std::move(bitmap), data->mask = std::move(mask), data->alpha = std::move(alpha);
  std::unique_ptr<vkLayer> made(new (std::nothrow) vkLayer);
  if (!made) return kErrOutOfMemory;
  vkLayer* layer = made.get();
  data->x = x, data->y = y, data->width = width, data->height = height;
  data->anchoredX = x, data->anchoredY = y;
  data->screenX = x, data->screenY = y;
  data->screenWidth = width, data->screenHeight = height;

  // 2. Options.
  bool hidden = (flags & kAddHidden) != 0;
  if (options) {
    layer->transparency = options->transparency;
    layer->tint = options->tint;
    layer->tintColor = options->tintColor & 0xFFFFFF;
    if (options->hidden) hidden = true;
    layer->bgpic = bgpic;
    if (options->insertPos > 0) insertPos = options->insertPos;
    // The layer being replaced gives its name up.
    const vkLayer* replaced = (flags & kAddReplace) ? GetNthLayer(bgpic, insertPos) : nullptr;
    if (options->name[0])
      if (int32_t rc = SetLayerNameChecked(layer, options->name, replaced)) return rc;
  }
  // 3. Type, visibility, pending while the displayed picture is selected.
  const vkDisplay* d = gs.CurrentDisplay;
  layer->type = type;
  layer->hidden = hidden ? 1 : 0;
  layer->pending = !hidden && d && d->renderTarget == kTargetBGPic && d->bgpic == bgpic ? 1 : 0;
  layer->bgpic = bgpic;
  const bool replace = (flags & kAddReplace) != 0;
  // 4. The clip region in force.
  if (!replace) data->clip = bgpic->activeClip;
  // 5. Transform and anchors.
  if (transform) layer->transform = *transform;
  layer->anchorX = layer->transform.anchorX, layer->anchorY = layer->transform.anchorY;
  if (type != vkObjectType::LINE) {
    const int32_t ox = vkDoubleToInt32(width * layer->anchorX), oy = vkDoubleToInt32(height * layer->anchorY);
    data->screenX = data->anchoredX = x - ox;
    data->screenY = data->anchoredY = y - oy;
  }
  // 6. Ids, and the operations of the kind the record belongs to.
  layer->object = id, layer->identity = id, layer->record = record;
  if (data->kind) layer->ops = data->kind->Ops();
  vkLayerData* dataRecord = data.release();
  layer->inserted = layer->transformed = layer->onScreen = dataRecord;

  // 7. Link.
  std::vector<vkLayer*>& list = bgpic->layers;
  size_t at = list.size();
  if (insertPos == 1) at = 0;
  else if (insertPos >= 2 && size_t(insertPos - 1) <= list.size()) at = size_t(insertPos - 1);
  try {
    list.insert(list.begin() + std::ptrdiff_t(at), layer);
  } catch (const std::bad_alloc&) {
    DestroyLayer(made.release());
    return kErrOutOfMemory;
  }
  made.release();
  auto fail = [&](int32_t rc) {
    Unlink(layer);
    DestroyLayer(layer);
    return rc;
  };

  // 8. Replace mode: the layer that stood there.
  vkLayer* old = nullptr;
  if (replace && at + 1 < list.size()) {
    old = list[at + 1];
    for (vkBGPicButton& b : bgpic->event.buttons)
      if (b.layer == old) b.layer = layer;
    dataRecord->clip = old->inserted->clip;
    layer->noClipTransform = old->noClipTransform;
  }
  // 9. Transformed planes.
  if (!IsIdentity(layer->transform)) {
    if (int32_t rc = RenderTransformedLayer(gs, layer, kRenderWithMatrix)) return fail(rc);
  } else if ((flags & kAddLayerScaling) && d && DisplayScalingActive(d, bgpic)) {
    const int32_t mode = (flags & kAddNoRefresh) ? 7 : 5;
    if (int32_t rc = RenderTransformedLayer(gs, layer, mode)) return fail(rc);
  }
  // 10. The old layer goes.
  if (old) {
    vkLayer* pair[2] = {old, layer};
    BroadcastAsyncDrawMessage(gs, kAsyncLayerReplaced, pair);
    FreeLayer(gs, L, old, true);
  }
  // 11. Shown.
  if (!layer->hidden && !(flags & kAddNoRefresh) && (!old || layer->transparency || layer->tint)) {
    const vkLayerData* s = layer->onScreen;
    RefreshRect(gs, s->screenX, s->screenY, s->screenWidth, s->screenHeight);
  }
  if (out) *out = layer;
  return 0;
}

void FreeLayer(vkGraphicsState& gs, vkState* L, vkLayer* layer, bool noRefresh, int32_t* outRect,
               vkRectList* batch) {
  const vkLayerData* s = layer->onScreen;
  if (outRect) outRect[0] = s->screenX, outRect[1] = s->screenY, outRect[2] = s->screenWidth, outRect[3] = s->screenHeight;
  if (!noRefresh) {
    const int32_t type = layer->type;
    layer->type = vkObjectType::NOOBJECT;
    if (batch)
      AppendRectToList(*batch, *s);
    else
      RefreshRect(gs, s->screenX, s->screenY, s->screenWidth, s->screenHeight);
    layer->type = type;
  }
  if (L) DeleteLayerButton(L, &layer->bgpic->event, layer);
  const uint32_t kind = CacheKind(layer->type);
  const vkLayerKindOps* ops = layer->ops;
  Unlink(layer);
  DestroyLayer(layer);
  if (ops && ops->flush && L) ops->flush(L);
  if (kind) FlushLayerCaches(gs, kind & (kFlushBrushes | kFlushBGPics | kFlushAnims));
}

int32_t RemoveLayerOfType(vkState* L, int32_t type, vkObjectId identity, int32_t n, bool noRefresh,
                          int32_t* outRect) {
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* bgpic = LayerPicture(gs);
  if (!bgpic) return 0;
  int32_t seen = 0;
  for (size_t i = bgpic->layers.size(); i-- > 0;) {
    vkLayer* layer = bgpic->layers[i];
    if (layer->type != type || !(layer->identity == identity)) continue;
    if (++seen != n) continue;
    if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrRemoveLayerAsyncDraw;
    FreeLayer(gs, L, layer, noRefresh, outRect);
    return 0;
  }
  return 0;
}

void FreeBGPicLayers(vkGraphicsState& gs, vkState* L, vkBGPic* bgpic, bool flush, bool detachButtons) {
  if (!bgpic) return;
  std::vector<vkLayer*> layers;
  layers.swap(bgpic->layers);
  for (vkLayer* layer : layers) {
    if (detachButtons && L) DeleteLayerButton(L, &bgpic->event, layer);
    DestroyLayer(layer);
  }
  if (flush) FlushLayerCaches(gs, kFlushBrushes | kFlushBGPics | kFlushAnims);
  if (flush && L) PurgeDeletedTextObjects(L);
}

vkLayer* GetNthLayer(const vkBGPic* bgpic, int32_t n) {
  if (!bgpic || n < 1 || size_t(n) > bgpic->layers.size()) return nullptr;
  return bgpic->layers[size_t(n - 1)];
}

int32_t GetLayerIndex(vkGraphicsState& gs, const vkLayer* layer) {
  const vkBGPic* bgpic = LayerPicture(gs);
  if (!bgpic) return -1;
  const auto it = std::find(bgpic->layers.begin(), bgpic->layers.end(), layer);
  return it == bgpic->layers.end() ? -1 : int32_t(it - bgpic->layers.begin()) + 1;
}

int32_t CountLayers(const vkBGPic* bgpic) { return bgpic ? int32_t(bgpic->layers.size()) : 0; }

int32_t FindLayerIndexByName(vkGraphicsState& gs, const char* name) {
  const vkBGPic* bgpic = LayerPicture(gs);
  if (!bgpic || !name) return 0;
  for (size_t i = 0; i < bgpic->layers.size(); i++)
    if (!bgpic->layers[i]->name.empty() && EqualsNoCase(bgpic->layers[i]->name, name)) return int32_t(i) + 1;
  return 0;
}

int32_t GetLayerArg(vkState* L, int i) {
  const int type = vmType(L, i);
  if (type == VK_TNUMBER) return vkDoubleToInt32(vmToNumber(L, i));
  if (type == VK_TSTRING) {
    const char* name = vmToString(L, i);
    const int32_t index = FindLayerIndexByName(GraphicsState(L), name);
    if (index == 0) {
      SetErrorText(name);
      vmRaiseError(L, kErrLayerNotFound);
    }
    return index;
  }
  SetErrorNumber(i);
  vmRaiseError(L, kErrStringOrNumberExpected);
  return 0;
}

int32_t FindLayer(vkState* L, int i, vkBGPic* bgpic, vkLayer** out, int32_t* iter, bool* isGroup) {
  *out = nullptr;
  if (isGroup) *isGroup = false;
  const int type = vmType(L, i);
  if (type == VK_TNUMBER) {
    *iter = -1;
    vkLayer* layer = GetNthLayer(bgpic, vkDoubleToInt32(vmToNumber(L, i)));
    if (!layer) return kErrLayerOutOfRange;
    *out = layer;
    return 0;
  }
  if (type != VK_TSTRING) {
    SetErrorNumber(i);
    return kErrStringOrNumberExpected;
  }
  const char* name = vmToString(L, i);
  const std::vector<vkLayer*>& list = bgpic->layers;
  if (*iter <= 0) {
    for (vkLayer* layer : list)
      if (!layer->name.empty() && EqualsNoCase(layer->name, name)) {
        *iter = -1;
        *out = layer;
        return 0;
      }
  }
  // A group: the next member from the iteration index on.
  const size_t from = *iter > 0 ? size_t(*iter) : 0;
  for (size_t k = from; k < list.size(); k++)
    if (!list[k]->group.empty() && EqualsNoCase(list[k]->group, name)) {
      if (isGroup) *isGroup = true;
      *out = list[k];
      *iter = int32_t(k) + 1;
      for (size_t m = k + 1; m < list.size(); m++)
        if (!list[m]->group.empty() && EqualsNoCase(list[m]->group, name)) return 0;
      *iter = -1;
      return 0;
    }
  SetErrorText(name);
  return kErrLayerNotFound;
}

int32_t CollectLayers(vkState* L, int i, vkBGPic* bgpic, std::vector<vkLayer*>* out, size_t limit) {
  out->clear();
  int32_t iter = 0;
  do {
    vkLayer* layer = nullptr;
    if (int32_t rc = FindLayer(L, i, bgpic, &layer, &iter, nullptr)) return rc;
    if (out->size() == limit) return kErrInternalLimit;
    out->push_back(layer);
  } while (iter != -1);
  return 0;
}

int32_t SetLayerNameChecked(vkLayer* layer, const std::string& name, const vkLayer* except) {
  if (name.size() > kLayerNameMax) return kErrNameTooLong;
  if (layer->bgpic)
    for (const vkLayer* other : layer->bgpic->layers) {
      if (other == layer || other == except) continue;
      if ((!other->name.empty() && EqualsNoCase(other->name, name)) ||
          (!other->group.empty() && EqualsNoCase(other->group, name)))
        return kLayersErrNameAssigned;
    }
  try {
    layer->name = name;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return 0;
}

int32_t MoveLayerInList(vkLayer* layer, int32_t position) {
  std::vector<vkLayer*>& list = layer->bgpic->layers;
  const auto it = std::find(list.begin(), list.end(), layer);
  if (it == list.end()) return 0;
  const size_t from = size_t(it - list.begin());
  size_t to = list.size() - 1;
  if (position >= 1 && size_t(position) <= list.size()) to = size_t(position - 1);
  if (to == from) return 0;
  if (to < from)
    std::rotate(list.begin() + std::ptrdiff_t(to), it, it + 1);
  else
    std::rotate(it, it + 1, list.begin() + std::ptrdiff_t(to) + 1);
  return 1;
}

vkLayerDataPtr CopyLayerData(const vkLayerData& data) {
  vkLayerDataPtr copy(new (std::nothrow) vkLayerData);
  if (!copy) return nullptr;
  try {
    copy->x = data.x, copy->y = data.y, copy->width = data.width, copy->height = data.height;
    copy->screenX = data.screenX, copy->screenY = data.screenY;
    copy->anchoredX = data.anchoredX, copy->anchoredY = data.anchoredY;
    copy->screenWidth = data.screenWidth, copy->screenHeight = data.screenHeight;
    copy->clipX1 = data.clipX1, copy->clipY1 = data.clipY1, copy->clipX2 = data.clipX2, copy->clipY2 = data.clipY2;
    copy->sourceX = data.sourceX, copy->sourceY = data.sourceY;
    if (data.kind) copy->kind = data.kind->Clone();
    copy->words = data.words, copy->words2 = data.words2;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return copy;
}

bool IsObjectShownByLayer(vkGraphicsState& gs, int32_t type, const void* record) {
  auto shows = [&](const vkLayer* layer) {
    if (layer->record != record) return false;
    switch (type) {
      case vkObjectType::BRUSH: return layer->type == vkObjectType::BRUSH || layer->type == vkObjectType::BRUSHPART;
      case vkObjectType::BGPIC: return layer->type == vkObjectType::BGPICPART;
      default: return layer->type == type;
    }
  };
  for (const vkBGPicPtr& p : gs.BGPicList)
    for (const vkLayer* layer : p->layers)
      if (shows(layer)) return true;
  // Pictures outside the list (a display's own, a test's) are reached through the displays.
  for (const vkDisplayPtr& d : gs.DisplayList) {
    const vkBGPic* p = d->bgpic;
    if (!p) continue;
    for (const vkLayer* layer : p->layers)
      if (shows(layer)) return true;
  }
  return false;
}

void FlushLayerCaches(vkGraphicsState& gs, uint32_t kinds) {
  if (kinds & kFlushBrushes) FreeOrphanedBrushes(gs);
  if (kinds & kFlushBGPics) FreeOrphanedBGPics(gs);
  if (kinds & kFlushAnims) FreeOrphanedAnims(gs);
  if (kinds) PurgeClipRegions(gs);
}
