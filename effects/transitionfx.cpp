// The transitionfx commands: each fills an effect request from its
// arguments (plain numbers or an options table) and hands it to the engine,
// again while the engine asks for a rerun after the display changed size.
#include "effects/transitionfx.h"

#include <vector>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "effects/fxengine.h"
#include "effects/fxlayers.h"
#include "engine/argcheck.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/objecttypes.h"
#include "layers/layers.h"

namespace {

namespace ot = vkObjectType;

constexpr int kTableType = 5;

bool IsTable(vkState* L, int i) { return vmGetTop(L) >= i && vmType(L, i) == kTableType; }

int32_t OptInt(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

// Type, speed and parameter as plain arguments from [first] on.
void ReadPlainEffect(vkState* L, int first, vkFXRequest& rq) {
  rq.type = OptInt(L, first, kFXRandomEffect);
  rq.speed = OptInt(L, first + 1, kNormalSpeed);
  rq.parameter = OptInt(L, first + 2, kFXRandomParameter);
}

// Runs the request, again while the engine asks for a rerun.
int Run(vkFXRequest& rq) {
  for (;;) {
    rq.again = 0;
    const uint32_t rc = RunTransitionFX(rq);
    if (rc != 0 || !rq.again) return int(rc);
  }
}

// DisplayTransitionFX, ShowLayerFX, HideLayerFX and RemoveLayerFX.
int DoTransitionFX(vkState* L, int32_t kind) {
  CheckArgCount(L, 1, 4);
  vkFXRequest rq;
  rq.L = L, rq.operation = kind;
  if (kind == ot::BGPIC) {
    rq.id = CheckObjectId(L, 1);
  } else {
    rq.id.number = GetLayerArg(L, 1);  // a position, or a layer's name
  }
  if (IsTable(L, 2)) {
    int32_t dx = 0, dy = 0, level = 1;
    ParseFXOptions(L, 2, rq, &dx, nullptr, &dy, nullptr, &level);
    if (kind == ot::BGPIC) {
      rq.x = dx, rq.y = dy;
      OptFieldInt(L, 2, "x", &rq.positionX, nullptr);
      OptFieldInt(L, 2, "y", &rq.positionY, nullptr);
      if (rq.async) return kErrWrongUsage;  // a BGPic is always shown synchronously
    }
    if (kind == ot::LAYER) {
      OptFieldInt(L, 2, "bgpicemu", &rq.bgpicemu, nullptr);
      if (rq.bgpicemu) {
        vkObjectId bgpic{};
        if (!OptFieldObjectId(L, 2, "bgpic", &bgpic, nullptr)) return kErrNotEnoughArgs;
        if (int32_t rc = FindBGPic(GraphicsState(L), bgpic, &rq.emulatedBGPic, 0)) return rc;
        rq.emulatedBGPic->refreshPending = 0;
      }
    }
  } else {
    ReadPlainEffect(L, 2, rq);
  }
  rq.reverse = kind == ot::HIDELAYER || kind == ot::REMOVELAYER ? 1 : 0;
  return Run(rq);
}

// DisplayBrushFX and DisplayTextObjectFX.
int DisplayObjectFX(vkState* L, int32_t kind) {
  CheckArgCount(L, 3, 6);
  vkFXRequest rq;
  rq.L = L, rq.operation = kind;
  rq.id = CheckObjectId(L, 1);
  rq.x = vkDoubleToInt32(vmCheckNumber(L, 2));
  rq.y = vkDoubleToInt32(vmCheckNumber(L, 3));
  if (IsTable(L, 4)) {
    int32_t level = 1;
    ParseFXOptions(L, 4, rq, &rq.x, nullptr, &rq.y, nullptr, &level);
  } else {
    ReadPlainEffect(L, 4, rq);
  }
  return Run(rq);
}

int CmdDisplayTransitionFX(vkState* L) { return DoTransitionFX(L, ot::BGPIC); }
int CmdShowLayerFX(vkState* L) { return DoTransitionFX(L, ot::LAYER); }
int CmdHideLayerFX(vkState* L) { return DoTransitionFX(L, ot::HIDELAYER); }
int CmdRemoveLayerFX(vkState* L) { return DoTransitionFX(L, ot::REMOVELAYER); }
int CmdDisplayBrushFX(vkState* L) { return DisplayObjectFX(L, ot::BRUSH); }
int CmdDisplayTextObjectFX(vkState* L) { return DisplayObjectFX(L, ot::TEXTOBJECT); }

int CmdDisplayBGPicPartFX(vkState* L) {
  CheckArgCount(L, 5, 11);
  vkFXRequest rq;
  rq.L = L, rq.operation = ot::BGPICPART;
  rq.id = CheckObjectId(L, 1);
  rq.partX = vkDoubleToInt32(vmCheckNumber(L, 2));
  rq.partY = vkDoubleToInt32(vmCheckNumber(L, 3));
  rq.width = vkDoubleToInt32(vmCheckNumber(L, 4));
  rq.height = vkDoubleToInt32(vmCheckNumber(L, 5));
  rq.x = rq.partX, rq.y = rq.partY;
  if (IsTable(L, 6)) {
    int32_t level = 1;
    ParseFXOptions(L, 6, rq, &rq.x, nullptr, &rq.y, nullptr, &level);
  } else {
    ReadPlainEffect(L, 6, rq);
    rq.x = OptInt(L, 9, rq.partX);
    rq.y = OptInt(L, 10, rq.partY);
    rq.layers = OptInt(L, 11, 0);
  }
  const vkDisplay* d = GraphicsState(L).CurrentDisplay;
  if (rq.layers && (!d || !d->layersOn)) return kErrWrongUsage;
  return Run(rq);
}

int CmdUndoFX(vkState* L) {
  CheckArgCount(L, 2, 6);
  const vkDisplay* d = GraphicsState(L).CurrentDisplay;
  if (!d || !d->layersOn) return kErrLayersRequired;
  vkFXRequest rq;
  rq.L = L, rq.operation = ot::REMOVELAYER;
  rq.undoType = vkDoubleToInt32(vmCheckNumber(L, 1));
  const vkObjectId id = CheckObjectId(L, 2);
  if (IsTable(L, 3)) {
    int32_t dx = 0, dy = 0;
    ParseFXOptions(L, 3, rq, &dx, nullptr, &dy, nullptr, &rq.undoLevel);
  } else {
    ReadPlainEffect(L, 3, rq);
    rq.undoLevel = OptInt(L, 6, 1);
  }
  rq.reverse = 1;
  // The layer to undo: the level-th from the top made from that object.
  const vkBGPic* pic = d->bgpic;
  int32_t level = 0;
  rq.id.number = 0;
  if (pic)
    for (size_t i = pic->layers.size(); i-- > 0;)
      if (FXLayerMadeFrom(pic->layers[i], rq.undoType, id) && ++level == rq.undoLevel) {
        rq.id.number = int32_t(i) + 1;
        break;
      }
  if (rq.id.number == 0) return kErrObjectNotFound;
  return Run(rq);
}

int CmdGetRandomFX(vkState* L) {
  CheckArgCount(L, 1, 1);
  const bool layered = vmCheckNumber(L, 1) != 0;
  vmPushNumber(L, FXRandomEffect(!layered));
  return 1;
}

const vkCommandDef kTransitionFXCommands[] = {
    {"DisplayBrushFX", CmdDisplayBrushFX},
    {"DisplayTextObjectFX", CmdDisplayTextObjectFX},
    {"DisplayTransitionFX", CmdDisplayTransitionFX},
    {"DisplayBGPicPartFX", CmdDisplayBGPicPartFX},
    {"UndoFX", CmdUndoFX},
    {"ShowLayerFX", CmdShowLayerFX},
    {"HideLayerFX", CmdHideLayerFX},
    {"RemoveLayerFX", CmdRemoveLayerFX},
    {"GetRandomFX", CmdGetRandomFX},
    {nullptr, nullptr},
};

}  // namespace

void ParseFXOptions(vkState* L, int t, vkFXRequest& rq, int32_t* dx, int* dxGiven, int32_t* dy, int* dyGiven,
                    int32_t* undoLevel) {
  rq.type = kFXRandomEffect, rq.speed = kNormalSpeed, rq.parameter = kFXRandomParameter;
  *undoLevel = 1;
  OptFieldInt(L, t, "type", &rq.type, nullptr);
  OptFieldInt(L, t, "speed", &rq.speed, nullptr);
  OptFieldInt(L, t, "parameter", &rq.parameter, nullptr);
  OptFieldInt(L, t, "undolevel", undoLevel, nullptr);
  OptFieldInt(L, t, "dx", dx, dxGiven);
  OptFieldInt(L, t, "dy", dy, dyGiven);
  OptFieldInt(L, t, "layers", &rq.layers, nullptr);
  OptFieldInt(L, t, "forcerealtimelayers", &rq.forceRealtimeLayers, nullptr);
  OptFieldInt(L, t, "async", &rq.async, nullptr);
}

int OpenTransitionFXLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kTransitionFXCommands, 0);
  std::vector<vkConstantDef> constants;
  constants.reserve(kFXConstantCount + 1);
  for (const vkFXConstant& c : FXConstants()) constants.push_back({c.name, nullptr, double(c.value)});
  constants.push_back({nullptr, nullptr, 0});
  vmRegisterConstants(L, constants.data());
  return RegisterLibrary(L, kTransitionFXCommands, "transitionfx");
}
