// The list of asynchronous drawing objects and the three script commands
// that step them. Callbacks may change the list under our feet (a finish
// that frees the display's objects, a free that makes a new object), so an
// object is taken out of the list before its free callback runs and looked
// up again after every other callback before it is touched.
#include "graphics/asyncdraw.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"

namespace {

using vkAsyncDrawPtr = std::unique_ptr<vkAsyncDraw>;

auto Position(vkGraphicsState& gs, const vkAsyncDraw* object) {
  auto& list = gs.asyncDraws.objects;
  return std::find_if(list.begin(), list.end(), [object](const vkAsyncDrawPtr& p) { return p.get() == object; });
}

bool Listed(vkGraphicsState& gs, const vkAsyncDraw* object) {
  return Position(gs, object) != gs.asyncDraws.objects.end();
}

// Takes the object out of the list and runs its free callback; nothing when
// something else has freed it meanwhile.
void Release(vkGraphicsState& gs, const vkAsyncDraw* object, int32_t completed) {
  auto it = Position(gs, object);
  if (it == gs.asyncDraws.objects.end()) return;
  vkAsyncDrawPtr owned = std::move(*it);
  gs.asyncDraws.objects.erase(it);
  if (owned->free) owned->free(owned->userData, completed);
}

intptr_t Ask(const vkAsyncDraw* object, int32_t message, void* data) {
  return object->message ? object->message(message, data, object->userData) : 0;
}

// The objects as they stand now, for walks whose callbacks may change the list.
std::vector<vkAsyncDraw*> Snapshot(vkGraphicsState& gs) {
  std::vector<vkAsyncDraw*> all;
  for (const vkAsyncDrawPtr& p : gs.asyncDraws.objects) all.push_back(p.get());
  return all;
}

// The error of an identifier that names no object.
int32_t NotFound(vkObjectId id) {
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoAsyncDraw;
}

vkAsyncDraw* Find(vkGraphicsState& gs, vkObjectId id) { return id.handle ? FindAsyncDraw(gs, id.handle) : nullptr; }

// What the display's render target allows: frames are drawn into the
// display or its picture only; any other selection (a double buffer, an
// anim frame, a brush, a mask, an alpha channel) gives its error.
int32_t TargetError(vkGraphicsState& gs, const vkDisplay* display) {
  if (!display || display->renderTarget == kTargetBGPic) return 0;
  return OutputTargetError(gs);
}

// The layer the object draws goes onto the display's dirty list.
void MarkLayerDirty(vkGraphicsState& gs, vkDisplay* display, const vkAsyncDraw* object) {
  vkLayer* layer = nullptr;
  Ask(object, kAsyncGetLayer, &layer);
  if (layer && gs.layerDirty) gs.layerDirty(gs, display, layer);
}

// Draws the next frame; into a picture target between the begin and end
// notices, which are sent as a pair even when the frame fails.
int32_t DrawNextFrame(vkGraphicsState& gs, vkAsyncDraw* object, vkDisplay* display) {
  const bool intoPicture = display && display->renderTarget == kTargetBGPic;
  if (intoPicture) Ask(object, kAsyncBGPicFrame, reinterpret_cast<void*>(intptr_t(1)));
  const int32_t rc = object->drawFrame ? object->drawFrame(object->userData, &object->finished) : 0;
  if (!intoPicture || !Listed(gs, object)) return rc;
  Ask(object, kAsyncBGPicFrame, nullptr);
  if (rc == 0 && Listed(gs, object)) MarkLayerDirty(gs, display, object);
  return rc;
}

// Ends a finished object: finish and free, both with completed 1.
void EndFinished(vkGraphicsState& gs, vkAsyncDraw* object) {
  if (object->finish) object->finish(object->userData, 1);
  Release(gs, object, 1);
}

}  // namespace

vkAsyncDrawList::~vkAsyncDrawList() {
  while (!objects.empty()) {
    vkAsyncDrawPtr owned = std::move(objects.front());
    objects.pop_front();
    if (owned->free) owned->free(owned->userData, 0);
  }
}

int32_t CreateAsyncDraw(vkGraphicsState& gs, int32_t kind, vkAsyncDrawFrameFn drawFrame, vkAsyncFinishFn finish,
                        vkAsyncFreeFn free, vkAsyncMessageFn message, void* userData, void** outHandle) {
  try {
    auto object = std::make_unique<vkAsyncDraw>();
    object->idHandle = NewObjectHandle();
    object->display = gs.CurrentDisplay;
    object->kind = kind;
    object->drawFrame = drawFrame, object->finish = finish, object->free = free, object->message = message;
    object->userData = userData;
    gs.asyncDraws.objects.push_back(std::move(object));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  if (outHandle) *outHandle = gs.asyncDraws.objects.back()->idHandle;
  return 0;
}

vkAsyncDraw* FindAsyncDraw(vkGraphicsState& gs, const void* handle) {
  for (const vkAsyncDrawPtr& p : gs.asyncDraws.objects)
    if (p->idHandle == handle) return p.get();
  return nullptr;
}

bool HasAsyncDrawOnDisplay(const vkGraphicsState& gs, const vkDisplay* display) {
  return std::any_of(gs.asyncDraws.objects.begin(), gs.asyncDraws.objects.end(),
                     [display](const vkAsyncDrawPtr& p) { return p->display == display; });
}

vkBGPic* AskFXAsyncDraws(vkGraphicsState& gs) {
  for (vkAsyncDraw* object : Snapshot(gs)) {
    if (!Listed(gs, object) || object->kind != ADF_FX) continue;
    vkBGPic* bgpic = nullptr;
    Ask(object, kAsyncGetBGPic, &bgpic);
    if (bgpic) return bgpic;
  }
  return nullptr;
}

void BroadcastAsyncDrawMessage(vkGraphicsState& gs, int32_t message, void* data) {
  for (vkAsyncDraw* object : Snapshot(gs))
    if (Listed(gs, object)) Ask(object, message, data);
}

bool IsLayerBoundToAsyncDraw(vkGraphicsState& gs, const vkLayer* layer) {
  for (vkAsyncDraw* object : Snapshot(gs)) {
    if (!Listed(gs, object)) continue;
    vkLayer* drawn = nullptr;
    Ask(object, kAsyncGetLayer, &drawn);
    if (drawn && drawn == layer) return true;
  }
  return false;
}

void FreeAllAsyncDraws(vkGraphicsState& gs) {
  // Objects that a free callback makes are freed too.
  while (!gs.asyncDraws.objects.empty()) Release(gs, gs.asyncDraws.objects.front().get(), 0);
}

int32_t AsyncDrawFrame(vkGraphicsState& gs, vkObjectId id, const int32_t* frame, int32_t* done) {
  *done = 0;
  vkDisplay* display = gs.CurrentDisplay;
  if (int32_t rc = TargetError(gs, display)) return rc;
  vkAsyncDraw* object = Find(gs, id);
  if (!object) return NotFound(id);
  if (object->display != display) return kErrAsyncDrawDisplay;

  if (!frame) {
    if (object->finished) {
      EndFinished(gs, object);
      *done = 1;
      return 0;
    }
    return DrawNextFrame(gs, object, display);
  }

  if (!display || !display->layersOn) return kErrLayersRequired;
  const int32_t wanted = std::max(*frame, 0);
  const int32_t current = vkDoubleToInt32(double(Ask(object, kAsyncCurrentFrame, nullptr)));
  const int32_t count = vkDoubleToInt32(double(Ask(object, kAsyncFrameCount, nullptr)));
  if (wanted > count || wanted == 0) {
    if (object->finished) {
      EndFinished(gs, object);
      *done = 1;
      return 0;
    }
    if (wanted > count) return kErrAnimFrameRange;
  }
  if (wanted == current) return 0;
  if (wanted == 0 || int64_t(wanted) == int64_t(current) + 1) return DrawNextFrame(gs, object, display);

  int32_t target = wanted;
  if (const intptr_t rc = Ask(object, kAsyncSeek, &target)) return int32_t(rc);
  if (!Listed(gs, object)) return 0;
  if (display->renderTarget == kTargetBGPic)
    MarkLayerDirty(gs, display, object);
  else
    Ask(object, kAsyncRedraw, nullptr);
  if (!Listed(gs, object)) return 0;
  object->finished = wanted == count ? 1 : 0;
  *done = object->finished;
  return 0;
}

int32_t CancelAsyncDraw(vkGraphicsState& gs, vkObjectId id) {
  vkAsyncDraw* object = Find(gs, id);
  if (!object) return NotFound(id);
  Release(gs, object, 0);
  return 0;
}

int32_t FinishAsyncDraw(vkGraphicsState& gs, vkObjectId id) {
  vkAsyncDraw* object = Find(gs, id);
  if (!object) return NotFound(id);
  const int32_t completed = object->finished;
  if (object->finish) object->finish(object->userData, completed);
  Release(gs, object, completed);
  return 0;
}

// ---- script commands ---------------------------------------------------------

namespace {

// AsyncDrawFrame(handle[, frame]) -> True when the object finished.
int CmdAsyncDrawFrame(vkState* L) {
  CheckArgCount(L, 1, 2);
  const vkObjectId id = CheckObjectId(L, 1);
  int32_t frame = 0;
  const bool seeking = vmGetTop(L) >= 2;
  if (seeking) frame = vkDoubleToInt32(vmCheckNumber(L, 2));
  int32_t done = 0;
  if (int32_t rc = AsyncDrawFrame(GraphicsState(L), id, seeking ? &frame : nullptr, &done)) return rc;
  vmPushNumber(L, done);
  return 1;
}

int CmdCancelAsyncDraw(vkState* L) {
  CheckArgCount(L, 1, 1);
  return CancelAsyncDraw(GraphicsState(L), CheckObjectId(L, 1));
}

int CmdFinishAsyncDraw(vkState* L) {
  CheckArgCount(L, 1, 1);
  return FinishAsyncDraw(GraphicsState(L), CheckObjectId(L, 1));
}

const vkCommandDef kAsyncDrawCommands[] = {{"AsyncDrawFrame", CmdAsyncDrawFrame},
                                           {"CancelAsyncDraw", CmdCancelAsyncDraw},
                                           {"FinishAsyncDraw", CmdFinishAsyncDraw},
                                           {nullptr, nullptr}};

const vkConstantDef kAsyncDrawConstants[] = {{"ADF_FX", nullptr, ADF_FX},
                                             {"ADF_MOVEOBJECT", nullptr, ADF_MOVEOBJECT},
                                             {"ADF_ANIM", nullptr, ADF_ANIM},
                                             {nullptr, nullptr, 0}};

}  // namespace

namespace {

int32_t CountAsyncDraws(vkState* L) { return int32_t(GraphicsState(L).asyncDraws.objects.size()); }

// Its kind, and the frame count and current frame its message callback
// tells (-1 without one).
int QueryAsyncDraw(vkState* L, int32_t attribute) {
  const vkObjectId id = CheckObjectId(L, 2);
  const vkAsyncDraw* d = Find(GraphicsState(L), id);
  if (!d) return NotFound(id);
  double value = 0;
  switch (attribute) {
    case ATTRTYPE: value = d->kind; break;
    case ATTRNUMFRAMES:
    case ATTRCURFRAME: {
      const int32_t message = attribute == ATTRNUMFRAMES ? kAsyncFrameCount : kAsyncCurrentFrame;
      value = d->message ? double(d->message(message, nullptr, d->userData)) : -1;
      break;
    }
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

}  // namespace

const vkCommandDef* AsyncDrawCommandTable() { return kAsyncDrawCommands; }

void RegisterAsyncDrawCommands(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::ASYNCDRAW, {CountAsyncDraws, QueryAsyncDraw});
  vmRegisterFunctions(L, nullptr, kAsyncDrawCommands, 0);
  vmRegisterConstants(L, kAsyncDrawConstants);
}
