// The display library: display records and their list, the options table
// that makes and changes them, opening and closing windows, selecting the
// current display, presenting pictures in the window, the pump's display
// checks, the display attributes of GetAttribute and the shutdown.
#include "graphics/displays.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/attributes.h"
#include "engine/libraries.h"
#include "engine/objecthandles.h"
#include "engine/vmapi.h"
#include "graphics/doublebuffer.h"
#include "graphics/graphicslib.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "graphics/pointers.h"
#include "graphics/safeblt.h"
#include "pixel/allocate.h"
#include "pixel/blit.h"
#include "platform/eventqueue.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"

namespace {

// ---- Options -------------------------------------------------------------------

struct FlagOption {
  uint32_t bit;
  const char* key;
};
constexpr FlagOption kFlagOptions[] = {
    {kDisplayBorderless, "borderless"},   {kDisplaySizeable, "sizeable"},     {kDisplayFixed, "fixed"},
    {kDisplayNoModeSwitch, "nomodeswitch"}, {kDisplayHidePointer, "hidepointer"}, {kDisplayNoHide, "nohide"},
    {kDisplaySmoothScale, "smoothscale"}, {kDisplayActive, "active"},       {kDisplayHidden, "hidden"},
    {kDisplayLayers, "layers"},           {kDisplayUseQuartz, "usequartz"},   {kDisplayNoClose, "noclose"},
    {kDisplayKeepProportions, "keepproportions"}, {kDisplayFitScale, "fitscale"}};

// A field that is a boolean or a number: *[on] its truth. 1 when present.
int OptFieldFlag(vkState* L, int t, const char* key, bool* on) {
  vmPushString(L, key);
  vmGetTable(L, t);
  const int type = vmType(L, -1);
  if (type == 1) *on = vmToBoolean(L, -1) != 0;
  vmSetTop(L, -2);
  if (type == 1) return 1;
  int32_t value = 0;
  if (!OptFieldInt(L, t, key, &value, nullptr)) return 0;
  *on = value != 0;
  return 1;
}

// Reads a list of regions {type, x, y, width, height} starting at index 0.
int32_t ReadRegions(vkState* L, int t, const char* key, std::vector<vkRegion>* out, bool* given) {
  vmPushString(L, key);
  vmGetTable(L, t);
  if (vmType(L, -1) == 0) {
    vmSetTop(L, -2);
    return 0;
  }
  if (vmType(L, -1) != 5) {
    vmSetTop(L, -2);
    return kErrWrongUsage;
  }
  const int list = vmGetTop(L);
  std::vector<vkRegion> regions;
  int32_t code = 0;
  for (int i = 0;; i++) {
    vmRawGetI(L, list, i);
    if (vmType(L, -1) != 5) {
      vmSetTop(L, -2);
      break;
    }
    if (regions.size() == kMaxDisplayRegions) {
      code = kErrWrongUsage;  // the record holds 64
      vmSetTop(L, -2);
      break;
    }
    const int entry = vmGetTop(L);
    vkRegion r;
    int have = 0;
    OptFieldInt(L, entry, "type", &r.type, nullptr);
    have += OptFieldInt(L, entry, "x", &r.x, nullptr);
    have += OptFieldInt(L, entry, "y", &r.y, nullptr);
    have += OptFieldInt(L, entry, "width", &r.width, nullptr);
    have += OptFieldInt(L, entry, "height", &r.height, nullptr);
    vmSetTop(L, -2);
    if (have < 4) {
      code = kErrNotEnoughArgs;
      break;
    }
    if (r.type != vkObjectType::BOX || r.x < 0 || r.y < 0 || r.width < 1 || r.height < 1) {
      code = kErrWrongUsage;
      break;
    }
    regions.push_back(r);
  }
  vmSetTop(L, list - 1);
  if (code == 0) {
    *out = std::move(regions);
    *given = true;
  }
  return code;
}

bool IsPreloading(vkState* L) {
  int32_t phase = 0;
  GetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, &phase}});
  return phase == 1;
}

}  // namespace

int32_t ParseDisplayOptions(vkState* L, int t, vkDisplay& d, bool creating, vkDisplayOptions* parsed) {
  vkGraphicsState& gs = GraphicsState(L);
  const bool recording = gs.videoRecording != 0 && !creating;
  if (!recording) {
    bool given = false;
    if (int32_t rc = ReadRegions(L, t, "dragregion", &d.dragRegions, &given)) return rc;
    if (given) d.unscaledDragRegions = d.dragRegions, d.dragRegionsGiven = 1;
    given = false;
    if (int32_t rc = ReadRegions(L, t, "sizeregion", &d.sizeRegions, &given)) return rc;
    if (given) d.unscaledSizeRegions = d.sizeRegions, d.sizeRegionsGiven = 1;
    for (const FlagOption& f : kFlagOptions) {
      bool on = false;
      if (OptFieldFlag(L, t, f.key, &on)) d.flags = on ? d.flags | f.bit : d.flags & ~f.bit;
    }
    OptFieldInt(L, t, "x", &d.x, nullptr);
    OptFieldInt(L, t, "y", &d.y, nullptr);
    int32_t v = 0;
    if (OptFieldInt(L, t, "scalewidth", &v, nullptr)) {
      if (v == 0) return kErrWrongUsage;
      d.scaledWidth = v, parsed->scaledSizeChanged = true;
    }
    if (OptFieldInt(L, t, "scaleheight", &v, nullptr)) {
      if (v == 0) return kErrWrongUsage;
      d.scaledHeight = v, parsed->scaledSizeChanged = true;
    }
    if (OptFieldInt(L, t, "scalemode", &v, nullptr)) {
      d.flags &= ~(kDisplayAutoScale | kDisplayLayerScale);
      if (v == SCALEMODE_AUTO) d.flags |= kDisplayAutoScale;
      else if (v == SCALEMODE_LAYER) d.flags |= kDisplayLayerScale;
      else if (v == SCALEMODE_NONE) d.marginLeft = d.marginTop = d.marginRight = d.marginBottom = 0, d.scaledWidth = d.scaledHeight = 0;
      else return kErrWrongUsage;
    }
  }
  vkObjectId picId;
  if (OptFieldObjectId(L, t, "bgpic", &picId, nullptr)) {
    vkBGPic* pic = nullptr;
    if (int32_t rc = FindBGPic(gs, picId, &pic, 0)) return rc;
    for (const vkDisplayPtr& other : gs.DisplayList)
      if (other.get() != &d && other->bgpic == pic && other->id != d.id) return kErrBGPicShared;
    parsed->bgpicGiven = true, parsed->bgpic = pic;
    d.width = pic->width, d.height = pic->height;
  }
  if (!(creating && parsed->bgpicGiven)) {
    OptFieldInt(L, t, "width", &d.width, nullptr);
    OptFieldInt(L, t, "height", &d.height, nullptr);
    int32_t style = creating ? 1 : d.fill.style;
    OptFieldInt(L, t, "fillstyle", &style, nullptr);
    if (style == kFillColor) {
      OptFieldInt(L, t, "color", &d.fill.startColor, nullptr);
    } else if (style == kFillGradient) {
      OptFieldInt(L, t, "gradientstartcolor", &d.fill.startColor, nullptr);
      OptFieldInt(L, t, "gradientendcolor", &d.fill.endColor, nullptr);
      OptFieldInt(L, t, "gradientangle", &d.fill.angle, nullptr);
    } else if (style == kFillTexture) {
      OptFieldInt(L, t, "texturebrush", &d.fill.textureBrush, nullptr);
      OptFieldInt(L, t, "texturex", &d.fill.textureX, nullptr);
      OptFieldInt(L, t, "texturey", &d.fill.textureY, nullptr);
    } else {
      return kErrWrongUsage;
    }
    d.fill.style = uint32_t(style);
    if (d.width < 1 || d.height < 1) return kErrWrongUsage;
  }
  if (recording) return 0;
  std::string title;
  if (OptFieldString(L, t, "title", &title, nullptr)) {
    if (title.size() > 255) return kErrWrongUsage;
    d.title = title;
  }
  if (d.scaledWidth < 0) d.scaledWidth = vkDoubleToInt32(double(int64_t(d.width) * -int64_t(d.scaledWidth) / 100));
  if (d.scaledHeight < 0)
    d.scaledHeight = vkDoubleToInt32(double(int64_t(d.height) * -int64_t(d.scaledHeight) / 100));
  d.scaling = (d.flags & kDisplayAutoScale) ? 1 : 0;
  d.layerScaling = (d.flags & kDisplayLayerScale) ? 1 : 0;
  d.smoothScale = (d.flags & kDisplaySmoothScale) ? 1 : 0;
  return 0;
}

namespace {

bool ScaledDisplay(const vkDisplay* d) { return (d->scaling || d->layerScaling) && d->scaledWidth > 0 && d->scaledHeight > 0; }

// ---- Shared steps -------------------------------------------------------------

vkEventPicture* EventPictureOf(vkBGPic* pic) { return pic ? &pic->event : nullptr; }

// The dispatcher's copy of the display's geometry.
void SyncEventDisplay(vkDisplay* d) {
  vkEventDisplay& e = d->event;
  e.display = d;
  e.id = d->id;
  e.open = d->state != DISPSTATE_CLOSED;
  e.input = d->os ? &d->os->input : nullptr;
  e.os = d->os;
  e.picture = EventPictureOf(d->bgpic);
  e.offsetX = d->marginLeft, e.offsetY = d->marginTop;
  const bool scaled = d->scaling && d->scaledWidth > 0 && d->bgpic && d->bgpic->width > 0;
  e.scaleX = scaled ? double(d->scaledWidth) / d->bgpic->width : 1.0;
  e.scaleY = scaled && d->bgpic->height > 0 ? double(d->scaledHeight) / d->bgpic->height : 1.0;
  e.x = d->x, e.y = d->y, e.width = d->width, e.height = d->height;
}

// The window description the platform reads.
void DescribeWindow(vkDisplay* d) {
  vkOSDisplay* os = d->os;
  if (!os) return;
  os->x = d->x, os->y = d->y;
  os->width = d->width, os->height = d->height;
  os->flags = d->flags & (VKOS_WINDOW_BORDERLESS | VKOS_WINDOW_SIZEABLE | VKOS_WINDOW_FIXED |
                          VKOS_WINDOW_NOMODESWITCH | VKOS_WINDOW_NOHIDE | VKOS_WINDOW_USEQUARTZ |
                          VKOS_WINDOW_NOCLOSE);
  os->title = d->title;
  os->marginLeft = d->marginLeft, os->marginTop = d->marginTop;
  auto regions = [](const std::vector<vkRegion>& in) {
    std::vector<vkOSWindowRegion> out;
    for (const vkRegion& r : in) out.push_back({r.x, r.y, r.width, r.height});
    return out;
  };
  os->dragRegions = regions(d->dragRegions);
  os->sizeRegions = regions(d->sizeRegions);
  os->dropFiles = d->event.handlers[kHandlerDropFile].function != kNoReference ? 1 : 0;
}

void ClampRegion(vkRegion& r, int32_t width, int32_t height) {
  r.x = std::min(r.x, width - 1), r.y = std::min(r.y, height - 1);
  if (int64_t(r.x) + r.width > width) r.width = width - r.x;
  if (int64_t(r.y) + r.height > height) r.height = height - r.y;
  r.width = std::max(r.width, 1), r.height = std::max(r.height, 1);
}

// Shows the display's own BGPic's bitmap as its output record.
void MakeCurrentOutput(vkGraphicsState& gs, vkDisplay* d) {
  gs.CurrentBGPic = d->doubleBuffer && d->doubleBufferTarget ? d->doubleBufferTarget : d->bgpic;
}

// ---- Commands ---------------------------------------------------------------------

int32_t FindDisplayArg(vkState* L, int i, vkDisplay** out) {
  return FindDisplay(GraphicsState(L), CheckObjectId(L, i), out);
}

int CmdCreateDisplay(vkState* L) {
  CheckArgCount(L, 1, 2);
  const vkIdRequest request = OptObjectId(L, 1);
  const bool haveOptions = vmGetTop(L) >= 2 && vmType(L, 2) != 0;
  if (haveOptions) vmCheckTable(L, 2);
  vkObjectId made;
  if (int32_t rc = CreateDisplay(L, request, haveOptions ? 2 : 0, &made)) return rc;
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, made.handle);
  return 1;
}

}  // namespace

int32_t CreateDisplay(vkState* L, vkIdRequest request, int options, vkObjectId* out) {
  const bool haveOptions = options != 0;
  vkGraphicsState& gs = GraphicsState(L);
  if (gs.videoRecording && !gs.DisplayList.empty()) return kErrRecordingDisplays;
  if (!request.automatic) {
    vkDisplay* old = nullptr;
    if (FindDisplay(gs, vkObjectId{request.number, nullptr}, &old) == 0)
      if (int32_t rc = FreeDisplayById(L, old->id, true)) return rc;
  }
  vkDisplayPtr d(new vkDisplay);
  d->id = NewObjectId(request);
  d->dragRegions.clear();
  vkDisplayOptions parsed;
  if (haveOptions) {
    if (int32_t rc = ParseDisplayOptions(L, options, *d, true, &parsed)) return rc;
    int32_t v = 0;
    OptFieldInt(L, options, "private1", &v, nullptr), d->backfill = uint32_t(v), v = 0;
    OptFieldInt(L, options, "private2", &v, nullptr), d->private2 = uint32_t(v), v = 0;
    OptFieldInt(L, options, "private3", &v, nullptr), d->private3 = uint32_t(v);
  }
  if (d->layerScaling || (d->flags & kDisplayLayers)) d->layersOn = 1;
  if (!d->scaling && !d->layerScaling) {
    d->marginLeft = d->marginTop = d->marginRight = d->marginBottom = 0;
    d->scaledWidth = d->scaledHeight = 0;
  }
  const bool preloading = IsPreloading(L);
  if (parsed.bgpicGiven) {
    d->bgpic = parsed.bgpic;
  } else {
    vkObjectId picId = NewObjectId(vkIdRequest{0, true});
    if (preloading && d->id == vkObjectId{1, nullptr}) {
      picId = vkObjectId{1, nullptr};
      vkBGPic* existing = nullptr;
      if (FindBGPic(gs, picId, &existing, 0) == 0) {
        if (d->private2) return kErrDesktopBGPic;
        if (int32_t rc = FreeBGPicRecord(gs, existing)) return rc;
      }
    }
    vkBGPicFill fill;
    fill.type = int32_t(d->fill.style);
    fill.color = uint32_t(d->fill.startColor), fill.endColor = uint32_t(d->fill.endColor);
    fill.angle = d->fill.angle;
    fill.brush = d->fill.textureBrush, fill.textureX = d->fill.textureX, fill.textureY = d->fill.textureY;
    vkBitMap* bitmap = nullptr;
    if (int32_t rc = BuildFillBitMap(L, fill, d->width, d->height, &bitmap)) return rc;
    vkPictureSet set;
    set.bitmap = bitmap;
    const int32_t type = fill.type == kFillColor ? IMAGETYPE_RASTER : kImageTypeGenerated;
    if (int32_t rc = AddBGPicRecord(gs, picId, type, d->width, d->height, {}, set, -1, fill, &d->bgpic)) {
      FreeBitMap(bitmap);
      return rc;
    }
    d->ownsBGPic = 1;
  }
  if (ScaledDisplay(d.get())) d->width = d->scaledWidth, d->height = d->scaledHeight;
  d->textCursorX = d->textCursorY = 0;
  d->textMarginLeft = 0, d->textMarginRight = d->bgpic->width - 1;
  if (int32_t rc = vkosAllocDisplay(d.get(), &d->os)) return rc;
  const bool cleared = !parsed.bgpicGiven && FillIsCleared(d->bgpic->fill) && d->bgpic->scaledBitMap == d->bgpic->bitmap;
  if (int32_t rc = SetupBackBuffers(gs, d.get(), d->bgpic, true, cleared)) return rc;
  SyncEventDisplay(d.get());
  vkDisplay* made = d.get();
  {
    std::lock_guard<std::recursive_mutex> lock(gs.displayListLock);
    if (made->backfill) gs.DisplayList.push_front(std::move(d));
    else gs.DisplayList.push_back(std::move(d));
  }
  AttachEventDisplay(L, &made->event);
  if (ScaledDisplay(made) && !preloading) {
    if (int32_t rc = ResizeDisplay(L, made, made->x, made->y, made->width, made->height, 1, made->smoothScale, 1))
      return rc;
  }
  *out = made->id;
  return 0;
}

namespace {

int CmdFreeDisplay(vkState* L) {
  CheckArgCount(L, 1, 1);
  if (GraphicsState(L).videoRecording) return kErrVideoRecording;
  return FreeDisplayById(L, CheckObjectId(L, 1), true);
}

int CmdOpenDisplay(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkDisplay* d = nullptr;
  if (int32_t rc = FindDisplayArg(L, 1, &d)) return rc;
  const bool noSelect = vmGetTop(L) >= 2 && vmToBoolean(L, 2);
  if (GraphicsState(L).videoRecording) return kErrVideoRecording;
  if (d->state != DISPSTATE_CLOSED) return kErrWrongUsage;
  if (int32_t rc = OpenDisplayOnScreen(L, d, (d->flags & kDisplayActive) != 0)) return rc;
  if (!noSelect) SelectDisplay(L, d, false);
  return 0;
}

int CmdCloseDisplay(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkDisplay* d = nullptr;
  if (int32_t rc = FindDisplayArg(L, 1, &d)) return rc;
  if (GraphicsState(L).videoRecording) return kErrVideoRecording;
  if (d->state == DISPSTATE_CLOSED) return kErrWrongUsage;
  CloseDisplayWindow(L, d);
  return 0;
}

int CmdSelectDisplay(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkDisplay* d = nullptr;
  if (int32_t rc = FindDisplayArg(L, 1, &d)) return rc;
  const bool noActivate = vmGetTop(L) >= 2 && vmToBoolean(L, 2);
  if (GraphicsState(L).videoRecording) return kErrVideoRecording;
  SelectDisplay(L, d, noActivate);
  return 0;
}

int CmdActivateDisplay(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkDisplay* d = nullptr;
  if (int32_t rc = FindDisplayArg(L, 1, &d)) return rc;
  if (d->state != DISPSTATE_OPEN) return kErrWrongUsage;
  vkosActivateWindow(d->os);
  return 0;
}

vkDisplay* Current(vkState* L) { return GraphicsState(L).CurrentDisplay; }

int CmdSetTitle(vkState* L) {
  CheckArgCount(L, 1, 1);
  size_t length = 0;
  const char* text = vmCheckString(L, 1, &length);
  if (length > 255) return kErrWrongUsage;
  vkDisplay* d = Current(L);
  if (!d) return 0;
  d->title.assign(text, length);
  if (d->os) {
    d->os->title = d->title;
    if (d->state != DISPSTATE_CLOSED) vkosSetWindowTitle(d->os);
  }
  return 0;
}

// The area a display is placed in: the whole screen for the backfill
// display, else the usable area.
void PlacementSpace(const vkDisplay* d, int32_t space[4]) {
  vkosGetUsableScreenArea(space);
  if (d->backfill) {
    space[0] = space[1] = 0;
    space[2] = vkosGetAttr(nullptr, 14), space[3] = vkosGetAttr(nullptr, 15);
  }
}

int CmdMoveDisplay(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t x = vkDoubleToInt32(vmCheckNumber(L, 1));
  const int32_t y = vkDoubleToInt32(vmCheckNumber(L, 2));
  vkDisplay* d = Current(L);
  if (!d) return 0;
  int32_t space[4];
  PlacementSpace(d, space);
  d->x = ResolveSpecialX(x, d->width + d->borderWidth, space[2], space[0], 0.0);
  d->y = ResolveSpecialY(y, d->height + d->borderHeight, space[3], space[1], 0.0);
  if (d->state != DISPSTATE_CLOSED) {
    DescribeWindow(d);
    vkosMoveWindow(d->os);
  }
  SyncEventDisplay(d);
  return 0;
}

// HideDisplay and ShowDisplay: [hide] minimises an open window, else restores
// a minimised one.
int ShowHide(vkState* L, bool hide) {
  CheckArgCount(L, 0, 0);
  vkDisplay* d = Current(L);
  if (GraphicsState(L).videoRecording) return kErrVideoRecording;
  if (!d || d->state != (hide ? DISPSTATE_OPEN : DISPSTATE_MINIMIZED)) return kErrWrongUsage;
  vkosShowHideWindow(d->os, hide ? 1 : 0);
  d->state = hide ? DISPSTATE_MINIMIZED : DISPSTATE_OPEN;
  d->active = hide ? 0 : 1;
  return 0;
}
int CmdHideDisplay(vkState* L) { return ShowHide(L, true); }
int CmdShowDisplay(vkState* L) { return ShowHide(L, false); }

int CmdChangeDisplaySize(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkDisplay* d = Current(L);
  if (!d || !d->bgpic) return kErrWrongUsage;
  const int32_t picW = d->bgpic->width, picH = d->bgpic->height;
  int32_t width = vkDoubleToInt32(CheckNumberOrPercent(L, 1, picW, true, nullptr));
  int32_t height = vkDoubleToInt32(CheckNumberOrPercent(L, 2, picH, true, nullptr));
  if (width == KEEPASPRAT || height == KEEPASPRAT)
    if (int32_t rc = ResolveKeepAspect(picW, picH, &width, &height)) return rc;
  int32_t x = kPosCenter, y = kPosCenter;
  bool smooth = false;
  if (vmGetTop(L) >= 3) {
    if (vmType(L, 3) == 5) {
      OptFieldInt(L, 3, "x", &x, nullptr);
      OptFieldInt(L, 3, "y", &y, nullptr);
      OptFieldFlag(L, 3, "smooth", &smooth);
    } else {
      smooth = vmCheckNumber(L, 3) != 0;
    }
  }
  if (x == kKeepPosition) x = d->x;
  if (y == kKeepPosition) y = d->y;
  if (width < 1 || height < 1) return kErrWrongUsage;
  return ResizeDisplay(L, d, x, y, width, height, 1, smooth ? 1 : 0, d->state == DISPSTATE_CLOSED ? 1 : 0);
}

int CmdSetDisplayAttributes(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmCheckTable(L, 1);
  vkDisplay* d = Current(L);
  if (!d) return kErrWrongUsage;
  return ApplyDisplayAttributes(L, d, 1, false);
}

int CmdChangeDisplayMode(vkState* L) {
  CheckArgCount(L, 1, 3);
  const int32_t mode = vkDoubleToInt32(vmCheckNumber(L, 1));
  if (GraphicsState(L).videoRecording) return kErrVideoRecording;
  if (mode == 1) return SwitchDisplayMode(L, 0, 0, 0);
  if (mode != 2) return kErrWrongUsage;
  const int32_t width = vkDoubleToInt32(vmOptNumber(L, 2, 0));
  const int32_t height = vkDoubleToInt32(vmOptNumber(L, 3, 0));
  if (width < 1 || height < 1) return kErrWrongUsage;
  return SwitchDisplayMode(L, 1, width, height);
}

const vkCommandDef kDisplayCommands[] = {
    {"ChangeDisplaySize", CmdChangeDisplaySize}, {"SetTitle", CmdSetTitle},
    {"MoveDisplay", CmdMoveDisplay},           {"HideDisplay", CmdHideDisplay},
    {"ShowDisplay", CmdShowDisplay},           {"SetDisplayAttributes", CmdSetDisplayAttributes},
    {"CreateDisplay", CmdCreateDisplay},       {"FreeDisplay", CmdFreeDisplay},
    {"OpenDisplay", CmdOpenDisplay},           {"CloseDisplay", CmdCloseDisplay},
    {"SelectDisplay", CmdSelectDisplay},       {"ActivateDisplay", CmdActivateDisplay},
    {"ChangeDisplayMode", CmdChangeDisplayMode}, {nullptr, nullptr}};

const vkConstantDef kDisplayConstants[] = {
    {"DISPSTATE_OPEN", nullptr, DISPSTATE_OPEN},       {"DISPSTATE_CLOSED", nullptr, DISPSTATE_CLOSED},
    {"DISPSTATE_MINIMIZED", nullptr, DISPSTATE_MINIMIZED}, {"DISPMODE_FULLSCREEN", nullptr, 2},
    {"DISPMODE_WINDOWED", nullptr, 1},                 {"SCALEMODE_NONE", nullptr, SCALEMODE_NONE},
    {"SCALEMODE_AUTO", nullptr, SCALEMODE_AUTO},       {"SCALEMODE_LAYER", nullptr, SCALEMODE_LAYER},
    {"KEEPPOSITION", nullptr, kKeepPosition},          {nullptr, nullptr, 0}};

// ---- GetAttribute ----------------------------------------------------------------

int32_t CountDisplaysOf(vkState* L) { return CountDisplays(GraphicsState(L)); }

int QueryDisplay(vkState* L, int32_t attribute) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkObjectId id = CheckObjectId(L, 2);
  vkDisplay* d = nullptr;
  if (id == vkObjectId{}) {
    d = gs.CurrentDisplay;
    if (!d) {
      SetErrorNumber(0);
      return kErrNoDisplay;
    }
  } else if (int32_t rc = FindDisplay(gs, id, &d)) {
    return rc;
  }
  const vkBGPic* pic = d->bgpic;
  const int32_t scaleMode = d->scaling ? SCALEMODE_AUTO : d->layerScaling ? SCALEMODE_LAYER : SCALEMODE_NONE;
  auto flag = [&](uint32_t bit) { return (d->flags & bit) ? 1 : 0; };
  double value = 0;
  switch (attribute) {
    case ATTRWIDTH: value = pic ? pic->width : d->width; break;
    case ATTRHEIGHT: value = pic ? pic->height : d->height; break;
    case ATTRMAXWIDTH: value = vkosGetAttr(nullptr, 14) - d->borderWidth; break;
    case ATTRMAXHEIGHT: value = vkosGetAttr(nullptr, 15) - d->borderHeight; break;
    case ATTRBGPIC:
      if (!pic) return kErrWrongUsage;
      PushObjectId(L, pic->id);
      return 1;
    case ATTRLAYERS: value = d->layersOn; break;
    case ATTRXPOS: value = d->x; break;
    case ATTRYPOS: value = d->y; break;
    case ATTRCURSORX: value = d->textCursorX; break;
    case ATTRCURSORY: value = d->textCursorY; break;
    case ATTRBORDERLEFT: value = d->borderLeft; break;
    case ATTRBORDERTOP: value = d->borderTop; break;
    case ATTRBORDERRIGHT: value = d->borderWidth - d->borderLeft; break;
    case ATTRBORDERBOTTOM: value = d->borderHeight - d->borderTop; break;
    case ATTRHOSTWIDTH: value = vkosGetAttr(nullptr, 14); break;
    case ATTRHOSTHEIGHT: value = vkosGetAttr(nullptr, 15); break;
    case ATTRPOINTER:
      if (!d->customPointer) value = -1;
      else {
        PushObjectId(L, static_cast<const vkPointerImage*>(d->customPointer)->id);
        return 1;
      }
      break;
    case ATTRSTATE: value = d->state; break;
    case ATTRACTIVE: value = d->active; break;
    case ATTRMODE:
    case ATTRSCALEMODE: value = scaleMode; break;
    case ATTRSCALEWIDTH: value = d->scaledWidth > 0 ? d->scaledWidth : d->width; break;
    case ATTRSCALEHEIGHT: value = d->scaledHeight > 0 ? d->scaledHeight : d->height; break;
    case ATTRBORDERLESS: value = flag(kDisplayBorderless); break;
    case ATTRFIXED: value = flag(kDisplayFixed); break;
    case ATTRSIZEABLE: value = flag(kDisplaySizeable); break;
    case ATTRNOHIDE: value = flag(kDisplayNoHide); break;
    case ATTRNOMODESWITCH: value = flag(kDisplayNoModeSwitch); break;
    case ATTRNOCLOSE: value = flag(kDisplayNoClose); break;
    case ATTRTITLE: vmPushString(L, d->title.c_str()); return 1;
    case ATTRMARGINLEFT: value = d->textMarginLeft; break;
    case ATTRMARGINRIGHT: value = d->textMarginRight; break;
    case ATTROUTPUTDEVICE:
      if (d->doubleBuffer || d->doubleBufferSuspended) {
        vmPushNumber(L, vkObjectType::DOUBLEBUFFER), vmPushNumber(L, 0), vmPushNumber(L, 0);
      } else if (d->renderTarget == kTargetDisplay) {
        vmPushNumber(L, vkObjectType::DISPLAY), PushObjectId(L, d->id), vmPushNumber(L, 0);
      } else if (d->renderTarget == kTargetBGPic && gs.CurrentBGPic) {
        vmPushNumber(L, vkObjectType::BGPIC), PushObjectId(L, gs.CurrentBGPic->id), vmPushNumber(L, 0);
      } else {
        const vkBGPic* t = gs.CurrentBGPic;
        vmPushNumber(L, t ? t->targetKind : 0);
        if (t) PushObjectId(L, t->id);
        else vmPushNumber(L, 0);
        vmPushNumber(L, d->renderTarget);
      }
      return 3;
    case ATTRDOUBLEBUFFER: value = (d->doubleBuffer || d->doubleBufferSuspended) ? 1 : 0; break;
    case ATTRHOSTDEPTH: value = vkosGetAttr(nullptr, 5); break;
    case ATTRMASKMODE: value = gs.settings.maskMode; break;
    case ATTRALPHAINTENSITY: value = gs.settings.alphaIntensity; break;
    default: return kErrUnknownAttribute;
  }
  vmPushNumber(L, value);
  return 1;
}

// ---- Platform hooks ---------------------------------------------------------------

// Looks at every display's requests: whether one of them asks the script to
// stop, and the mode switches and resizes the window handlers asked for.
bool CheckDisplays(vkState* L, const vkQuitOptions& quit) {
  if (L == nullptr) return false;
  vkGraphicsState& gs = GraphicsState(L);
  bool stop = false;
  std::vector<vkDisplay*> displays;
  for (const vkDisplayPtr& d : gs.DisplayList) displays.push_back(d.get());
  for (vkDisplay* d : displays) {
    vkOSDisplay* os = d->os;
    if (os == nullptr) continue;
    if (os->input.mouseDown[VKOS_MOUSE_LEFT] != 0 && quit.leftMouseQuit != 0) stop = true;
    if (os->escapeSeen != 0 && quit.escapeQuit != 0) stop = true;
    if (os->ctrlCSeen != 0 && quit.ctrlCQuit != 0) stop = true;
    if (os->closeRequest != 0 && d->event.handlers[kHandlerCloseWindow].function == kNoReference) stop = true;
    const int32_t mode = os->pendingScreenMode;
    const bool resize = os->resizePending != 0;
    os->closeRequest = 0, os->resizePending = 0, os->ctrlCSeen = 0, os->escapeSeen = 0;
    os->pendingScreenMode = -1;
    if (mode != -1) {
      SwitchDisplayMode(L, mode, d->width, d->height);
      break;  // the switch may have rebuilt the list
    }
    // The window's handlers leave the size the user gave it in the platform record.
    if (resize) ResizeDisplay(L, d, d->x, d->y, os->width, os->height, 0, d->smoothScale, 0);
  }
  return stop;
}

// A quit request asks every display to close, as its close box would.
bool QuitRequested(vkState* L) {
  if (L == nullptr) return false;
  vkGraphicsState& gs = GraphicsState(L);
  if (gs.DisplayList.empty()) return false;
  for (const vkDisplayPtr& d : gs.DisplayList) {
    PostEvent(d.get(), EVENT_CLOSEWINDOW, 0, 0, 0);
    if (d->os != nullptr) d->os->closeRequest = 1;
  }
  return true;
}

bool MayModeSwitch(vkState* L, const vkDisplay* display) {
  if (L == nullptr || display == nullptr) return false;
  return IsPrimaryDisplay(GraphicsState(L), display) && !display->event.requesterOpen;
}

bool DisplayIsScaling(const vkDisplay* display) {
  return display != nullptr && (display->scaling != 0 || display->layerScaling != 0);
}

void ResetCurrentDisplayInput(vkState* L) { ResetDisplayInput(GraphicsState(L).CurrentDisplay); }

}  // namespace

// ---- Records ------------------------------------------------------------------------

void vkDisplayDeleter::operator()(vkDisplay* d) const {
  if (!d) return;
  if (d->os) vkosFreeDisplay(d->os);
  FreeBitMap(d->backBuffer);
  FreeBitMap(d->screenBuffer);
  FreeBitMap(d->doubleBufferFront);
  FreeBitMap(d->doubleBufferDraw);
  FreeMaskPlane(d->shapeMask);
  FreeAlphaPlane(d->shapeAlpha);
  FreeOutputTargets(d);
  delete d;
}

int32_t FindDisplay(vkGraphicsState& gs, vkObjectId id, vkDisplay** out) {
  *out = nullptr;
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (d->id == id) {
      *out = d.get();
      return 0;
    }
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoDisplay;
}

int32_t CountDisplays(vkGraphicsState& gs) { return int32_t(gs.DisplayList.size()); }

bool IsPrimaryDisplay(vkGraphicsState& gs, const vkDisplay* display) {
  auto& list = gs.DisplayList;
  if (list.size() == 1) return list.front().get() == display;
  if (list.size() == 2 && list.front()->backfill) return std::next(list.begin())->get() == display;
  return false;
}

void ResetDisplayInput(vkDisplay* display) {
  if (!display) return;
  if (display->os) vkosClearInput(&display->os->input);
  if (display->bgpic) ResetButtonStates(&display->bgpic->event);
}

void SaveDisplayState(vkDisplay* d, bool toBGPic, int32_t width) {
  if (d->saved.saved) return;
  d->saved = {true, d->textCursorX, d->textCursorY, d->textMarginLeft, d->textMarginRight, d->layersOn};
  if (!toBGPic) d->layersOn = 0;
  d->textCursorX = d->textCursorY = 0;
  d->textMarginLeft = 0, d->textMarginRight = width - 1;
}

void RestoreDisplayState(vkDisplay* d) {
  if (!d->saved.saved) return;
  d->textCursorX = d->saved.cursorX, d->textCursorY = d->saved.cursorY;
  d->textMarginLeft = d->saved.marginLeft, d->textMarginRight = d->saved.marginRight;
  d->layersOn = d->saved.layersOn;
  d->saved = {};
}

void ClearDisplayBorders(vkDisplay* d) {
  if (!d->os) return;
  const int32_t w = d->width, h = d->height;
  auto fill = [&](int32_t x, int32_t y, int32_t fw, int32_t fh) {
    // Margins are window pixels; the platform adds the left and top margin.
    if (fw > 0 && fh > 0) vkosFillRectOnWindow(d->os, x - d->marginLeft, y - d->marginTop, fw, fh, 0);
  };
  fill(0, 0, w, d->marginTop);
  fill(0, h - d->marginBottom, w, d->marginBottom);
  fill(0, d->marginTop, d->marginLeft, h - d->marginTop - d->marginBottom);
  fill(w - d->marginRight, d->marginTop, d->marginRight, h - d->marginTop - d->marginBottom);
}

void BltToWindow(vkGraphicsState& gs, const vkBitMap* bitmap, int32_t sx, int32_t sy, vkDisplay* display,
                 int32_t dx, int32_t dy, int32_t width, int32_t height, uint32_t flags) {
  if (!display || !display->os || !bitmap) return;
  if (gs.videoRecording && !(flags & 6)) return;  // the recorder takes the frame
  const vkOSPixels pixels = BitMapPixels(bitmap);
  if ((flags & 1) && display->scaledWidth > 0 && display->scaledHeight > 0 &&
      (display->scaledWidth != bitmap->width || display->scaledHeight != bitmap->height)) {
    if (gs.videoRecording) return;
    vkosBlitToWindow(pixels, 0, 0, display->os, 0, 0, bitmap->width, bitmap->height, display->scaledWidth,
                     display->scaledHeight, flags);
    return;
  }
  vkosBlitToWindow(pixels, sx, sy, display->os, dx, dy, width, height, 0, 0, flags);
}

void FlushDisplayFrame(vkGraphicsState& gs) {
  if (gs.CurrentDisplay && gs.CurrentDisplay->os) vkosFlushDisplay(gs.CurrentDisplay->os);
}

void RedrawDisplay(vkGraphicsState& gs, vkDisplay* d, uint32_t flags) {
  if (!d || !d->bgpic) return;
  ClearDisplayBorders(d);
  if ((d->doubleBuffer || d->doubleBufferSuspended) && d->doubleBufferFront) {
    ShowDoubleBuffer(gs, d, true, flags | 8);
    return;
  }
  if (!d->screenBuffer) return;
  RedrawRect(gs, d, d->screenBuffer, 0, 0, d->screenBuffer->width, d->screenBuffer->height, kRedrawAll);
  BltToWindow(gs, d->screenBuffer, 0, 0, d, 0, 0, d->screenBuffer->width, d->screenBuffer->height, flags | 9);
}

namespace {

// Copies [src] into [back] and [screen], cleared bitmaps of its size and
// format, writing only the rows that are not all zero (a new display's
// picture is mostly black).
void CopyIntoCleared(const vkBitMap* src, vkBitMap* back, vkBitMap* screen) {
  const size_t row = size_t(src->width) * size_t(src->bytesPerPixel);
  for (int32_t y = 0; y < src->height; y++) {
    const uint8_t* from = src->pixels + ptrdiff_t(y) * src->bytesPerRow;
    if (from[0] == 0 && std::memcmp(from, from + 1, row - 1) == 0) continue;
    std::memcpy(back->pixels + ptrdiff_t(y) * back->bytesPerRow, from, row);
    std::memcpy(screen->pixels + ptrdiff_t(y) * screen->bytesPerRow, from, row);
  }
}

}  // namespace

int32_t SetupBackBuffers(vkGraphicsState& gs, vkDisplay* d, vkBGPic* pic, bool anew, bool pictureCleared) {
  (void)gs;
  if (!pic) return 0;
  const vkBitMap* shown = pic->scaledBitMap ? pic->scaledBitMap : pic->bitmap;
  if (!shown) return 0;
  if (anew || !d->backBuffer || !d->screenBuffer) {
    vkBitMapPtr back(AllocArgbBitMap(shown->width, shown->height, true));
    vkBitMapPtr screen(AllocArgbBitMap(shown->width, shown->height, true));
    if (!back || !screen) return kErrOutOfMemory;
    FreeBitMap(d->backBuffer);
    FreeBitMap(d->screenBuffer);
    d->backBuffer = back.release();
    d->screenBuffer = screen.release();
    if (pictureCleared) return 0;
    if (shown->format == PIXFMT_ARGB32 && shown->bytesPerPixel == 4) {
      CopyIntoCleared(shown, d->backBuffer, d->screenBuffer);
      return 0;
    }
  }
  BltBitMap(shown, 0, 0, d->backBuffer, 0, 0, shown->width, shown->height);
  BltBitMap(shown, 0, 0, d->screenBuffer, 0, 0, shown->width, shown->height);
  return 0;
}

void SetDefaultRegions(vkDisplay* d) {
  if (!d->dragRegionsGiven) d->dragRegions = {{vkObjectType::BOX, 0, 0, d->width, kDefaultDragHeight}};
  if (!d->sizeRegionsGiven)
    d->sizeRegions = {{vkObjectType::BOX, d->width - kDefaultSizeSquare, d->height - kDefaultSizeSquare,
                       kDefaultSizeSquare, kDefaultSizeSquare}};
  for (vkRegion& r : d->dragRegions) ClampRegion(r, d->width, d->height);
  for (vkRegion& r : d->sizeRegions) ClampRegion(r, d->width, d->height);
}

void FitScaledPicture(vkDisplay* d) {
  const vkBGPic* pic = d->bgpic;
  d->marginLeft = d->marginTop = d->marginRight = d->marginBottom = 0;
  d->scaledWidth = d->width, d->scaledHeight = d->height;
  if (!(d->flags & kDisplayKeepProportions) || !pic || pic->mask || pic->alpha || pic->width < 1 || pic->height < 1)
    return;
  int64_t sw = d->width, sh = int64_t(pic->height) * d->width / pic->width;
  if (sh > d->height) sh = d->height, sw = int64_t(pic->width) * d->height / pic->height;
  const int64_t spareW = d->width - sw, spareH = d->height - sh;
  d->scaledWidth = int32_t(sw), d->scaledHeight = int32_t(sh);
  d->marginLeft = int32_t(spareW / 2), d->marginRight = int32_t(spareW - spareW / 2);
  d->marginTop = int32_t(spareH / 2), d->marginBottom = int32_t(spareH - spareH / 2);
}

int32_t OpenDisplayOnScreen(vkState* L, vkDisplay* d, bool activate) {
  vkGraphicsState& gs = GraphicsState(L);
  int32_t space[4];
  PlacementSpace(d, space);
  DescribeWindow(d);
  vkosGetWindowBorders(d->os);
  d->borderLeft = d->os->borderLeft, d->borderTop = d->os->borderTop;
  d->borderWidth = d->os->borderWidth, d->borderHeight = d->os->borderHeight;
  const bool scaled = d->scaling || d->layerScaling;
  if (scaled && (d->flags & kDisplayFitScale)) {
    d->x = space[0], d->y = space[1];
    d->width = std::max(1, space[2] - d->borderWidth), d->height = std::max(1, space[3] - d->borderHeight);
  }
  if (scaled) FitScaledPicture(d);
  if (scaled && d->bgpic && d->bgpic->width > 0 && d->bgpic->height > 0) {
    const double fx = double(d->scaledWidth) / d->bgpic->width, fy = double(d->scaledHeight) / d->bgpic->height;
    auto scale = [&](const std::vector<vkRegion>& in, std::vector<vkRegion>& out) {
      out = in;
      for (vkRegion& r : out) {
        r.x = vkDoubleToInt32(r.x * fx), r.y = vkDoubleToInt32(r.y * fy);
        r.width = vkDoubleToInt32(r.width * fx), r.height = vkDoubleToInt32(r.height * fy);
      }
    };
    if (d->dragRegionsGiven) scale(d->unscaledDragRegions, d->dragRegions);
    if (d->sizeRegionsGiven) scale(d->unscaledSizeRegions, d->sizeRegions);
  }
  d->x = ResolveSpecialX(d->x, d->width + d->borderWidth, space[2], space[0], 0.0);
  d->y = ResolveSpecialY(d->y, d->height + d->borderHeight, space[3], space[1], 0.0);
  SetDefaultRegions(d);
  if (!vkosCanResizeDisplay(d->os, d->width, d->height)) {
    char text[32];
    std::snprintf(text, sizeof text, "%dx%d", d->width, d->height);
    SetErrorText(text);
    return kErrDisplaySize;
  }
  DescribeWindow(d);
  const vkPlane* shapeMask = d->shapeMask ? d->shapeMask : (d->bgpic ? d->bgpic->scaledMask : nullptr);
  const vkPlane* shapeAlpha = d->shapeAlpha ? d->shapeAlpha : (d->bgpic ? d->bgpic->scaledAlpha : nullptr);
  const vkOSPlaneView maskView = PlaneView(shapeMask), alphaView = PlaneView(shapeAlpha);
  if (int rc = vkosOpenWindow(d->os, activate ? 1 : 0, shapeMask ? &maskView : nullptr,
                              shapeAlpha ? &alphaView : nullptr))
    return rc;
  d->state = DISPSTATE_OPEN;
  d->active = activate ? 1 : 0;
  d->os->windowState = 1;
  vkosEnableDropFiles(d->os);
  SyncEventDisplay(d);
  // The first redraw reads the one buffer and writes the other, drawing
  // writes both: their pages are faster made at once than page by page.
  for (vkBitMap* b : {d->backBuffer, d->screenBuffer})
    if (b) PrefaultBytes(b->pixels, size_t(b->bytesPerRow) * b->height);
  RedrawDisplay(gs, d, 0);
  return 0;
}

void CloseDisplayWindow(vkState*, vkDisplay* d) {
  if (d->os) {
    vkosCloseWindow(d->os);
    d->os->windowState = 0;
  }
  ResetDisplayInput(d);
  d->state = DISPSTATE_CLOSED;
  SyncEventDisplay(d);
}

void SelectDisplay(vkState* L, vkDisplay* d, bool noActivate) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* old = gs.CurrentDisplay;
  // An open selection of the old display ends with it.
  if (old && old != d && old->renderTarget != kTargetDisplay && !old->doubleBuffer) EndSelectOutput(L, old, false);
  if (!noActivate && d->state == DISPSTATE_OPEN) vkosActivateWindow(d->os);
  gs.CurrentDisplay = d;
  MakeCurrentOutput(gs, d);
  SetCurrentEventDisplay(L, &d->event);
}

int32_t FreeDisplayById(vkState* L, vkObjectId id, bool report) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = nullptr;
  if (int32_t rc = FindDisplay(gs, id, &d)) return report ? rc : 0;
  if (d == gs.CurrentDisplay) return kErrFreeActiveDisplay;
  if (HasAsyncDrawOnDisplay(gs, d)) return kErrFreeDisplayAsyncDraw;
  if (d->state != DISPSTATE_CLOSED) CloseDisplayWindow(L, d);
  DetachEventDisplay(L, &d->event);
  vkBGPic* own = d->ownsBGPic ? d->bgpic : nullptr;
  vkDisplayPtr record;
  {
    std::lock_guard<std::recursive_mutex> lock(gs.displayListLock);
    for (auto it = gs.DisplayList.begin(); it != gs.DisplayList.end(); ++it)
      if (it->get() == d) {
        record = std::move(*it);
        gs.DisplayList.erase(it);
        break;
      }
  }
  record.reset();
  if (own) FreeBGPicRecord(gs, own);
  return 0;
}

int CloseAllDisplays(vkState* L) {
  if (L == nullptr) return 0;
  vkGraphicsState& gs = GraphicsState(L);
  FreeAllAsyncDraws(gs);
  int32_t fade = 0;
  if (gs.screenModeSwitched) vkosFadeOut(&fade, 1);
  while (!gs.DisplayList.empty()) {
    vkDisplay* d = gs.DisplayList.back().get();
    if (d->state != DISPSTATE_CLOSED) CloseDisplayWindow(L, d);
    DetachEventDisplay(L, &d->event);
    std::lock_guard<std::recursive_mutex> lock(gs.displayListLock);
    gs.DisplayList.pop_back();  // pictures go with the bgpic library's shutdown step
  }
  gs.CurrentDisplay = nullptr;
  gs.CurrentBGPic = nullptr;
  if (gs.screenModeSwitched) {
    vkosRestoreScreenMode();
    vkosFadeIn(fade, 1);
    gs.screenModeSwitched = 0;
  }
  return 0;
}

void InstallDisplayHooks(vkState* L) {
  vkPlatformHooks hooks;
  hooks.state = L;
  hooks.checkDisplays = CheckDisplays;
  hooks.quitRequested = QuitRequested;
  hooks.mayModeSwitch = MayModeSwitch;
  hooks.isScaling = DisplayIsScaling;
  vkosSetHooks(hooks);
  if (L != nullptr) ProgramContext(L).resetDisplayInput = ResetCurrentDisplayInput;
}

int OpenDisplayLibrary(vkState* L) {
  InstallDisplayHooks(L);
  RegisterAttributeProvider(L, vkObjectType::DISPLAY, {CountDisplaysOf, QueryDisplay});
  vmRegisterFunctions(L, nullptr, kDisplayCommands, 0);
  vmRegisterConstants(L, kDisplayConstants);
  return RegisterLibrary(L, kDisplayCommands, "display");
}
