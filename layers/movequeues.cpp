// The move queue commands. DoMove performs a queue's entries in order,
// each noting the rectangle of the picture it changed; the rectangles that
// overlap are merged into their bounding box and each survivor is
// recomposed once. TranslateLayer moves one layer at once.
#include "layers/movequeues.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/errors.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "layers/animlib.h"
#include "layers/layerrender.h"
#include "layers/layers.h"
#include "layers/layerstyle.h"
#include "layers/moveobject.h"
#include "runtime/context.h"

namespace {

namespace ot = vkObjectType;

// Entry kinds beyond the object kinds.
constexpr int32_t kUndo = 10, kLayer = 22, kInsertBrush = 24, kHideLayer = 25, kRemoveLayer = 26, kNextFrame2 = 34;

int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

vkMoveQueues& Queues(vkState* L) {
  vkProgramContext& context = ProgramContext(L);
  if (!context.moveQueues) context.moveQueues = std::make_shared<vkMoveQueues>();
  return *context.moveQueues;
}

std::list<vkMoveQueue>::iterator FindQueue(vkMoveQueues& all, const vkObjectId& id) {
  return std::find_if(all.queues.begin(), all.queues.end(), [&](const vkMoveQueue& q) {
    return id.handle ? q.id.handle == id.handle : (q.id.handle == nullptr && q.id.number == id.number);
  });
}

// The queue of argument 1, or the error a missing one raises.
std::list<vkMoveQueue>::iterator QueueArg(vkState* L) {
  vkMoveQueues& all = Queues(L);
  const vkObjectId id = CheckObjectId(L, 1);
  auto it = FindQueue(all, id);
  if (it != all.queues.end()) return it;
  if (id.handle) vmRaiseError(L, kErrObjectNotFound);
  SetErrorNumber(id.number);
  vmRaiseError(L, kErrNoMoveQueue);
}

// Whether the rectangle (x, y, width, height) meets the picture.
bool OnPicture(const vkBGPic* bgpic, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return false;
  const int64_t x2 = int64_t(x) + width - 1, y2 = int64_t(y) + height - 1;
  return x2 >= 0 && y2 >= 0 && x < bgpic->width && y < bgpic->height;
}

void SetRect(vkMoveEntry& e, int32_t x, int32_t y, int32_t width, int32_t height) {
  e.hasRect = true;
  e.x1 = x, e.y1 = y;
  e.x2 = Clamp32(int64_t(x) + width - 1), e.y2 = Clamp32(int64_t(y) + height - 1);
}

void UniteRect(vkMoveEntry& e, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  e.x1 = std::min(e.x1, x1), e.y1 = std::min(e.y1, y1);
  e.x2 = std::max(e.x2, x2), e.y2 = std::max(e.y2, y2);
}

// Notes the on-screen rectangle of [layer] in [e] when it meets the picture.
void NoteLayerRect(const vkBGPic* bgpic, const vkLayer* layer, vkMoveEntry& e) {
  const vkLayerData* s = layer->onScreen;
  if (s && OnPicture(bgpic, s->screenX, s->screenY, s->screenWidth, s->screenHeight))
    SetRect(e, s->screenX, s->screenY, s->screenWidth, s->screenHeight);
}

// Moves one layer to the entry's place; with [visibility], an extra value of
// 0 shows and 1 hides the layer, otherwise the layer is shown.
void MoveLayerStep(vkState* L, vkBGPic* bgpic, vkLayer* layer, vkMoveEntry& e, bool visibility) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkLayerData* s = layer->onScreen;
  const int32_t ox = s->screenX, oy = s->screenY, ow = s->screenWidth, oh = s->screenHeight;
  const bool wasShown = !layer->hidden && !layer->pending;
  const int32_t x = ResolveOutputX(gs, e.x, layer->inserted->width, layer->anchorX);
  const int32_t y = ResolveOutputY(gs, e.y, layer->inserted->height, layer->anchorY);
  vkRectList ignored;  // the entry notes its own rectangles
  SetLayerPosition(L, layer, nullptr, x, y, 0, &ignored);
  if (visibility) {
    if (e.extra == 0 || e.extra == 1) layer->hidden = e.extra;
  } else {
    layer->hidden = 0;
  }
  s = layer->onScreen;
  const bool shown = !layer->hidden && !layer->pending;
  const bool oldOn = wasShown && OnPicture(bgpic, ox, oy, ow, oh);
  if (shown && OnPicture(bgpic, s->screenX, s->screenY, s->screenWidth, s->screenHeight)) {
    SetRect(e, s->screenX, s->screenY, s->screenWidth, s->screenHeight);
    if (oldOn) UniteRect(e, ox, oy, Clamp32(int64_t(ox) + ow - 1), Clamp32(int64_t(oy) + oh - 1));
  } else if (oldOn) {
    // Also a layer hidden in place: its old place must be recomposed.
    SetRect(e, ox, oy, ow, oh);
  }
}

// Shows object [id] of [type] as a new layer at [pos] (-1: top) without
// refreshing it; its rectangle goes to [e].
int32_t InsertObject(vkState* L, vkBGPic* bgpic, int32_t type, vkObjectId id, int32_t x, int32_t y, int32_t pos,
                     vkMoveEntry& e) {
  vkGraphicsState& gs = GraphicsState(L);
  const uint32_t flags = kAddLayerScaling | kAddNoRefresh;
  vkLayer* made = nullptr;
  if (type == ot::BRUSH) {
    vkBrush* b = nullptr;
    if (int32_t rc = FindBrush(gs, id, &b, 0)) return rc;
    const int32_t rx = ResolveOutputX(gs, x, b->width, 0), ry = ResolveOutputY(gs, y, b->height, 0);
    vkLayerDataPtr data(new (std::nothrow) vkLayerData);
    if (!data) return kErrOutOfMemory;
    vkLayerOptions options;
    if (int32_t rc = AddLayer(L, type, b->id, b, rx, ry, b->width, b->height, nullptr, &options, nullptr, nullptr,
                              nullptr, std::move(data), pos, flags, &made))
      return rc;
  } else {
    const vkLayersState& state = LayersState(L);
    vkLayerInsertHook insert = type == ot::ANIM ? state.insertAnim : state.insertTextObject;
    if (!insert) return kErrWrongUsage;
    if (int32_t rc = insert(L, id, x, y, pos, flags, &made)) return rc;
  }
  if (made && !made->hidden && !made->pending) NoteLayerRect(bgpic, made, e);
  return 0;
}

// Removes [layer] without refreshing; its rectangle goes to [e].
int32_t RemoveEntryLayer(vkState* L, vkBGPic* bgpic, vkLayer* layer, vkMoveEntry& e) {
  vkGraphicsState& gs = GraphicsState(L);
  if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrRemoveLayerAsyncDraw;
  const bool shown = !layer->hidden && !layer->pending;
  int32_t rect[4] = {0, 0, 0, 0};
  FreeLayer(gs, L, layer, true, rect);
  if (shown && OnPicture(bgpic, rect[0], rect[1], rect[2], rect[3])) SetRect(e, rect[0], rect[1], rect[2], rect[3]);
  return 0;
}

int32_t PerformEntry(vkState* L, vkBGPic* bgpic, vkMoveEntry& e) {
  vkGraphicsState& gs = GraphicsState(L);
  switch (e.kind) {
    case kUndo: {
      // The most recent layers of the type and identity, [level] deep.
      const int32_t level = e.y == 0 ? 1 : e.y;
      int32_t n = 0;
      vkLayer* match = nullptr;
      for (auto it = bgpic->layers.rbegin(); it != bgpic->layers.rend() && !match; ++it)
        if ((*it)->type == e.x && (*it)->identity == e.object && ++n == level) match = *it;
      return match ? RemoveEntryLayer(L, bgpic, match, e) : 0;
    }
    case kRemoveLayer: {
      vkLayer* layer = GetNthLayer(bgpic, e.object.number);
      return layer ? RemoveEntryLayer(L, bgpic, layer, e) : kErrLayerOutOfRange;
    }
    case kLayer:
    case kHideLayer:
    case kNextFrame2: {
      vkLayer* layer = GetNthLayer(bgpic, e.object.number);
      if (!layer) return kErrLayerOutOfRange;
      if (e.kind == kLayer) {
        MoveLayerStep(L, bgpic, layer, e, true);
      } else if (e.kind == kHideLayer) {
        if (!layer->hidden && !layer->pending) NoteLayerRect(bgpic, layer, e);
        layer->hidden = 1;
        BroadcastAsyncDrawMessage(gs, kAsyncLayerChanged, layer);
      } else {
        // The frame changes in place (the layer is drawn anew), then the layer moves.
        if (layer->type != ot::ANIM) return kErrWrongUsage;
        if (int32_t rc = SetLayerPosFrame(L, layer, kStyleKeep, kStyleKeep, e.extra, true)) return rc;
        layer = GetNthLayer(bgpic, e.object.number);
        if (!layer) return kErrLayerOutOfRange;
        MoveLayerStep(L, bgpic, layer, e, false);
      }
      return 0;
    }
    case kInsertBrush:
      return InsertObject(L, bgpic, ot::BRUSH, e.object, e.x, e.y, e.extra, e);
    case ot::ANIM: {
      // The frame (0: the first) must be one of the anim's.
      vkAnim* anim = nullptr;
      if (int32_t rc = FindAnim(gs, e.object, &anim, 0)) return rc;
      const int32_t frame = e.extra == 0 ? 1 : e.extra;
      if (frame < 1 || frame > anim->frameCount) return kErrAnimFrameRange;
      if (int32_t rc = InsertObject(L, bgpic, e.kind, e.object, e.x, e.y, -1, e)) return rc;
      vkLayer* made = GetNthLayer(bgpic, CountLayers(bgpic));
      if (frame == 1 || !made || made->type != ot::ANIM) return 0;
      return SetLayerPosFrame(L, made, kStyleKeep, kStyleKeep, frame, true);
    }
    case ot::BRUSH:
    case ot::TEXTOBJECT:
      return InsertObject(L, bgpic, e.kind, e.object, e.x, e.y, -1, e);
    default:
      return kErrWrongUsage;
  }
}

// Merges the overlapping rectangles of [entries] (one pass) and recomposes each survivor.
void RefreshEntries(vkGraphicsState& gs, std::vector<vkMoveEntry>& entries) {
  for (size_t i = 0; i < entries.size(); i++) {
    vkMoveEntry& a = entries[i];
    if (!a.hasRect) continue;
    for (size_t j = 0; j < entries.size(); j++) {
      vkMoveEntry& b = entries[j];
      if (j == i || !b.hasRect || !RectsOverlap(a.x1, a.y1, a.x2, a.y2, b.x1, b.y1, b.x2, b.y2)) continue;
      UniteRect(a, b.x1, b.y1, b.x2, b.y2);
      b.hasRect = false;
    }
  }
  for (vkMoveEntry& e : entries)
    if (e.hasRect) {
      e.hasRect = false;
      RefreshRect(gs, e.x1, e.y1, Clamp32(int64_t(e.x2) - e.x1 + 1),
                  Clamp32(int64_t(e.y2) - e.y1 + 1));
    }
}

}  // namespace

int CmdAddMove(vkState* L) {
  CheckArgCount(L, 3, 6);
  const bool fresh = vmType(L, 1) == VK_TNIL;
  const int32_t kind = vkDoubleToInt32(vmCheckNumber(L, 2));
  vkMoveEntry e;
  e.kind = kind;
  if (kind == kUndo) {
    e.x = vkDoubleToInt32(vmCheckNumber(L, 3));
    e.object = CheckObjectId(L, 4);
    e.y = vkDoubleToInt32(vmOptNumber(L, 5, 0));
  } else {
    if (kind == kLayer || kind == kHideLayer || kind == kRemoveLayer || kind == kNextFrame2)
      e.object = vkObjectId{GetLayerArg(L, 3), nullptr};
    else
      e.object = CheckObjectId(L, 3);
    e.x = vkDoubleToInt32(vmOptNumber(L, 4, 0));
    e.y = vkDoubleToInt32(vmOptNumber(L, 5, 0));
  }
  e.extra = vkDoubleToInt32(vmOptNumber(L, 6, 0));
  vkMoveQueues& all = Queues(L);
  auto it = all.queues.end();
  if (!fresh) it = FindQueue(all, CheckObjectId(L, 1));
  if (it == all.queues.end()) {
    all.queues.emplace_back();
    it = std::prev(all.queues.end());
    it->id = fresh ? vkObjectId{0, &*it} : CheckObjectId(L, 1);
    it->entries.reserve(16);
  }
  if (int32_t(it->entries.size()) >= kMoveQueueCapacity) return kErrInternalLimit;
  it->entries.push_back(e);
  if (!fresh) return 0;
  vmPushLightUserdata(L, it->id.handle);
  return 1;
}

int CmdClearMove(vkState* L) {
  CheckArgCount(L, 1, 1);
  auto it = QueueArg(L);
  Queues(L).queues.erase(it);
  return 0;
}

int CmdDoMove(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkGraphicsState& gs = GraphicsState(L);
  if (!gs.CurrentDisplay || !gs.CurrentDisplay->layersOn) return kErrLayersRequired;
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkBGPic* bgpic = LayerPicture(gs);
  auto queue = QueueArg(L);
  std::vector<vkMoveEntry>& entries = queue->entries;
  int32_t failure = 0;
  for (vkMoveEntry& e : entries) {
    e.hasRect = false;
    if ((failure = PerformEntry(L, bgpic, e)) != 0) break;
  }
  // What changed before a failing entry is shown all the same.
  RefreshEntries(gs, entries);
  return failure;
}

int CmdTranslateLayer(vkState* L) {
  CheckArgCount(L, 3, 3);
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = CheckLayerTarget(gs)) return rc;
  vkLayer* layer = GetNthLayer(LayerPicture(gs), GetLayerArg(L, 1));
  const int32_t dx = vkDoubleToInt32(vmCheckNumber(L, 2)), dy = vkDoubleToInt32(vmCheckNumber(L, 3));
  if (!layer) return kErrLayerOutOfRange;
  SetLayerPosition(L, layer, nullptr, dx, dy, kPositionRelativeX | kPositionRelativeY, nullptr);
  return 0;
}

namespace {

const vkCommandDef kQueueCommands[] = {
    {"AddMove", CmdAddMove},
    {"ClearMove", CmdClearMove},
    {"DoMove", CmdDoMove},
    {"TranslateLayer", CmdTranslateLayer},
    {nullptr, nullptr},
};

}  // namespace

int OpenMoveQueueCommands(vkState* L) {
  vmRegisterFunctions(L, nullptr, kQueueCommands, 0);
  return RegisterLibrary(L, kQueueCommands, "layers");
}

void FreeMoveQueues(vkState* L) { Queues(L).queues.clear(); }
