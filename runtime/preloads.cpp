// Preloads turned into command calls. Each call pushes the global function of
// the lower-cased command name, its arguments and an options table, and runs
// it under a protected call, so that a failing command returns its code here
// instead of ending the process.
#include "runtime/preloads.h"

#include <strings.h>

#include <string>

#include "base/errorcodes.h"
#include "engine/argcheck.h"
#include "engine/attributes.h"
#include "base/errorinfo.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "base/catalog.h"
#include "runtime/appletreader.h"
#include "io/chunknames.h"
#include "runtime/console.h"

namespace {

constexpr uint32_t kCatalogLoadingApplet = 287;

// The command each preload type calls, as spelled for messages.
const char* CommandOf(uint32_t type) {
  static const char* const names[kPreloadTypeCount] = {
      "LoadBGPic",     "LoadBrush",  "LoadAnim", "OpenMusic", "LoadSample",   "CreateButton",
      "CreateKeyDown", "LoadSprite", "OpenFile", "OpenFont",  "CreateDisplay"};
  return names[type];
}

// Builds the options table on top of the stack.
class Options {
 public:
  explicit Options(vkState* L) : L_(L) { vmNewTable(L); }
  void Number(const char* key, double value) { SetFieldNumber(L_, key, value); }
  void String(const char* key, const std::string& value) { SetFieldString(L_, key, value.c_str()); }
  void Regions(const char* key, const std::vector<vkRegion>& regions) {
    vmPushString(L_, key);
    vmNewTable(L_);
    int index = 0;
    for (const vkRegion& r : regions) {
      Options entry(L_);
      entry.Number("type", r.type);
      entry.Number("x", r.x);
      entry.Number("y", r.y);
      entry.Number("width", r.width);
      entry.Number("height", r.height);
      vmRawSetI(L_, -2, index++);
    }
    vmRawSet(L_, -3);
  }

 private:
  vkState* L_;
};

// Pushes the global function of [command] (lower-cased).
void PushCommand(vkState* L, const char* command) {
  const std::string name = LowerCased(command);
  vmPushLString(L, name.data(), name.size());
  vmGetTable(L, VK_GLOBALSINDEX);
}

void PushString(vkState* L, const std::string& s) { vmPushLString(L, s.data(), s.size()); }

// Calls what is on the stack under protection; 0 or the error code. The
// stack goes back to what it held before the command was pushed (the main
// chunk waits below).
uint32_t Call(vkState* L, const char* command, int nargs) {
  ErrorInfo().functionName = command;
  const int top = vmGetTop(L) - nargs - 1;
  if (vmType(L, top + 1) != VK_TFUNCTION) {  // the library that has it is missing
    SetErrorText((LowerCased(command) + "()").c_str());
    vmSetTop(L, top);
    return kErrFunctionNotFound;
  }
  const int code = vmPCall(L, nargs, 0, 0);
  vmSetTop(L, top);
  if (code != 0) return uint32_t(code);
  ErrorInfo().functionName = "----";
  return 0;
}

void PushFill(Options& o, const vkFillRecord& fill, const char* colorKey) {
  if (fill.style == 2) {
    o.Number("gradientstartcolor", fill.startColor);
    o.Number("gradientendcolor", fill.endColor);
    o.Number("gradientangle", fill.angle);
  } else if (fill.style == 3) {
    o.Number("texturebrush", fill.textureBrush);
    o.Number("texturex", fill.textureX);
    o.Number("texturey", fill.textureY);
  } else {
    o.Number(colorKey, fill.startColor);
  }
}

uint32_t RunObjectPreload(vkState* L, const vkPreload& p, const std::string& file) {
  const char* command = CommandOf(p.type);
  PushCommand(L, command);
  vmPushNumber(L, p.id);
  PushString(L, file);
  switch (p.type) {
    case PRELOAD_BGPIC:
    case PRELOAD_BRUSH:
    case PRELOAD_ANIM:
    case PRELOAD_SPRITE: {
      Options o(L);
      if (p.transparency != -1) o.Number("transparency", p.transparency);
      o.Number("loadalpha", p.loadAlpha);
      if (p.type == PRELOAD_BGPIC) {
        if (p.fill.style != 0) {
          o.Number("fillstyle", p.fill.style);
          PushFill(o, p.fill, "fillcolor");
        }
      } else {
        o.Number("width", p.width);
        o.Number("height", p.height);
        o.Number("x", p.x);
        o.Number("y", p.y);
        if (p.globalAlpha != -1) o.Number("globalalpha", p.globalAlpha);
        if (p.type != PRELOAD_BRUSH) {
          o.Number("frames", p.frames);
          o.Number("fpr", p.framesPerRow);
        }
        if (p.type == PRELOAD_ANIM) o.Number("fromdisk", p.fromDisk);
      }
      if (p.cache) o.String("cache", p.name);
      if (p.cacheAlpha) o.Number("cachealpha", 1);
      if (p.cachedLoad) o.String("cachedload", p.name);
      return Call(L, command, 3);
    }
    case PRELOAD_FILE:
      vmPushNumber(L, kPreloadFileMode);
      return Call(L, command, 3);
    case PRELOAD_FONT: {
      vmPushNumber(L, p.transparency);
      Options o(L);
      if ((p.loadAlpha & 0xFFFF) != 0) o.Number("engine", p.loadAlpha & 0xFFFF);
      if (p.loadAlpha & 0x10000) o.Number("cache", 0);
      return Call(L, command, 4);
    }
    case PRELOAD_BUTTON:
      vmSetTop(L, -2);  // a button has no file argument
      vmPushNumber(L, p.x1);
      vmPushNumber(L, p.y1);
      vmPushNumber(L, p.x2);
      vmPushNumber(L, p.y2);
      return Call(L, command, 5);
    default:  // music, sample, key
      return Call(L, command, 2);
  }
}

struct FlagOption {
  uint32_t bit;
  const char* key;
  int32_t value;
};
const FlagOption kDisplayFlagOptions[] = {
    {kDisplayHidden, "hidden", 1},       {kDisplayBorderless, "borderless", 1},
    {kDisplaySizeable, "sizeable", 1},   {kDisplayFixed, "fixed", 1},
    {kDisplayNoHide, "nohide", 1},       {kDisplayNoModeSwitch, "nomodeswitch", 1},
    {kDisplayAutoScale, "scalemode", 1}, {kDisplayLayerScale, "scalemode", 2},
    {kDisplaySmoothScale, "smoothscale", 1}, {kDisplayHidePointer, "hidepointer", 1},
    {kDisplayLayers, "layers", 1},       {kDisplayUseQuartz, "usequartz", 1},
    {kDisplayNoClose, "noclose", 1},     {kDisplayKeepProportions, "keepproportions", 1},
    {kDisplayFitScale, "fitscale", 1}};

uint32_t RunDisplayPreload(vkState* L, const vkApplet& applet, const vkPreload& p, bool haveBGPic1) {
  const vkDisplayRecord& d = p.display;
  const char* command = CommandOf(PRELOAD_DISPLAY);
  PushCommand(L, command);
  vmPushNumber(L, p.id);
  Options o(L);
  o.String("title", d.title);
  o.Number("x", d.x);
  o.Number("y", d.y);
  if (d.scaleWidth != 0) o.Number("scalewidth", d.scaleWidth);
  if (d.scaleHeight != 0) o.Number("scaleheight", d.scaleHeight);
  if (d.flags & kDisplayActive) o.Number("active", 1);
  if (d.flags & kDisplayBGPic) {
    o.Number("bgpic", d.bgpic);
  } else if (p.id == 1 && haveBGPic1) {
    o.Number("bgpic", 1);
  } else {
    o.Number("width", d.width);
    o.Number("height", d.height);
    o.Number("fillstyle", d.fill.style);
    PushFill(o, d.fill, "color");
  }
  for (const FlagOption& f : kDisplayFlagOptions)
    if (d.flags & f.bit) o.Number(f.key, f.value);
  if (p.id == 1 && applet.desktop) o.Number("private2", 1);
  if (!d.dragRegions.empty()) o.Regions("dragregion", d.dragRegions);
  if (!d.sizeRegions.empty()) o.Regions("sizeregion", d.sizeRegions);
  return Call(L, command, 2);
}

bool TakesPartInCache(const vkPreload& p) {
  if (p.name.empty()) return false;
  if (p.type == PRELOAD_BRUSH) return true;
  return (p.type == PRELOAD_SPRITE || p.type == PRELOAD_ANIM) && p.frames != 0;
}

}  // namespace

void MarkDuplicatePreloads(vkApplet& applet) {
  std::vector<vkPreload>& list = applet.preloads;
  for (size_t i = 0; i < list.size(); ++i) {
    vkPreload& first = list[i];
    if (!TakesPartInCache(first) || first.cachedLoad) continue;
    for (size_t j = i + 1; j < list.size(); ++j) {
      vkPreload& later = list[j];
      if (!TakesPartInCache(later) || later.cachedLoad) continue;
      if (strcasecmp(first.name.c_str(), later.name.c_str()) != 0) continue;
      later.cachedLoad = 1;
      first.cache = 1;
      if (later.loadAlpha == 1 && first.loadAlpha != 1) first.cacheAlpha = 1;
    }
  }
}

uint32_t RunPreloads(vkState* L, vkProgramContext& context, vkApplet& applet) {
  const bool isApplet = context.isApplet != 0;
  if (isApplet) PrintStatus(L, GetCatalogText(kCatalogLoadingApplet), context.scriptPath.c_str(), true);

  bool haveDisplay1 = false, haveBGPic1 = false;
  for (const vkPreload& p : applet.preloads) {
    if (p.type == PRELOAD_DISPLAY && p.id == 1) haveDisplay1 = true;
    if (p.type == PRELOAD_BGPIC && p.id == 1) haveBGPic1 = true;
  }
  if (!haveDisplay1) AddDefaultDisplay(applet);

  if (!applet.settingsLocked) {
    for (vkPreload& p : applet.preloads) {
      if (p.type != PRELOAD_DISPLAY) continue;
      p.display.flags |= applet.display.flags & ~p.display.flagMask;
      if (p.display.scaleWidth == 0) p.display.scaleWidth = applet.display.scaleWidth;
      if (p.display.scaleHeight == 0) p.display.scaleHeight = applet.display.scaleHeight;
    }
  }
  MarkDuplicatePreloads(applet);

  // The phase reads 1 while preloading: loaders print no status lines then.
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 1}, {ATTR_LINEINFO, 1}});
  uint32_t code = 0;
  for (const vkPreload& p : applet.preloads) {
    if (p.type == PRELOAD_DISPLAY) continue;
    SetAttrs(L, nullptr, {{ATTR_QUIET, isApplet || context.quiet ? 1 : p.quiet}});
    const std::string file =
        p.dataSize != 0 ? MakeChunkName(p.name.c_str(), p.dataOffset, p.dataSize, applet.baseOffset, p.container.c_str())
                        : p.name;
    code = RunObjectPreload(L, p, file);
    if (code != 0) break;
  }
  for (size_t i = 0; code == 0 && i < applet.preloads.size(); ++i) {
    const vkPreload& p = applet.preloads[i];
    if (p.type == PRELOAD_DISPLAY) code = RunDisplayPreload(L, applet, p, haveBGPic1);
  }
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 0}, {ATTR_QUIET, context.quiet}, {ATTR_LINEINFO, 0}});
  if (context.preloadsEnded) context.preloadsEnded(L);
  if (code != 0) return code;
  applet.preloads.clear();
  if (isApplet) PrintDone(L);
  return 0;
}
