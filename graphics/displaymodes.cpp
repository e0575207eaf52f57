// What changes a display after it exists, or prepares the displays at
// start-up: resizing in the three scaling modes, applying changed options,
// switching between full screen and window with the backfill behind full
// screens, and opening the first display when the applet starts.
#include <algorithm>
#include <cstdio>
#include <string>

#include "base/catalog.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/attributes.h"
#include "engine/vmapi.h"
#include "graphics/displays.h"
#include "graphics/doublebuffer.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "pixel/blit.h"
#include "platform/vkos_display.h"
#include "platform/vkos_requesters.h"
#include "runtime/console.h"

namespace {

constexpr uint32_t kCatalogPreparingDisplay = 99;
constexpr uint32_t kCatalogAndAction = 372;
constexpr uint32_t kCatalogSelectMode = 288;
constexpr uint32_t kCatalogModeButtons = 445;

// The flags a desktop applet's first display has, exactly.
constexpr uint32_t kDesktopFlags =
    kDisplayBorderless | kDisplayFixed | kDisplayNoModeSwitch | kDisplayNoHide | kDisplayActive;
// Flags whose change needs the window made again.
constexpr uint32_t kReopenFlags = kDisplayBorderless | kDisplaySizeable | kDisplayFixed | kDisplayNoHide |
                                  kDisplayUseQuartz | kDisplayNoClose | kDisplayKeepProportions |
                                  kDisplayFitScale;

bool Scaled(const vkDisplay* d) { return d->scaling || d->layerScaling; }

void UpdateScaleFactors(vkDisplay* d) {
  const vkBGPic* pic = d->bgpic;
  d->scaleX = d->scaleY = 1.0;
  if (!Scaled(d) || !pic || pic->width < 1 || pic->height < 1 || d->scaledWidth < 1) return;
  d->scaleX = double(d->scaledWidth) / pic->width;
  d->scaleY = double(d->scaledHeight) / pic->height;
}

void ResetTextCursor(vkDisplay* d) {
  if (d->saved.saved) return;  // a selection keeps its own cursor
  d->textCursorX = d->textCursorY = 0;
  d->textMarginLeft = 0, d->textMarginRight = d->bgpic ? d->bgpic->width - 1 : d->width - 1;
}

void CopyRegionsToWindow(vkDisplay* d) {
  if (!d->os) return;
  d->os->dragRegions.clear(), d->os->sizeRegions.clear();
  for (const vkRegion& r : d->dragRegions) d->os->dragRegions.push_back({r.x, r.y, r.width, r.height});
  for (const vkRegion& r : d->sizeRegions) d->os->sizeRegions.push_back({r.x, r.y, r.width, r.height});
}

void SyncWindowGeometry(vkDisplay* d) {
  if (!d->os) return;
  d->os->x = d->x, d->os->y = d->y, d->os->width = d->width, d->os->height = d->height;
  d->os->marginLeft = d->marginLeft, d->os->marginTop = d->marginTop;
  vkEventDisplay& e = d->event;
  e.x = d->x, e.y = d->y, e.width = d->width, e.height = d->height;
  e.offsetX = d->marginLeft, e.offsetY = d->marginTop;
  e.picture = d->bgpic ? &d->bgpic->event : nullptr;
  e.scaleX = d->scaling ? d->scaleX : 1.0, e.scaleY = d->scaling ? d->scaleY : 1.0;
}

// The shown set of a layer-scaled picture at the display's scaled size.
int32_t RescaleShown(vkState* L, vkDisplay* d) {
  if (!d->bgpic || d->scaledWidth < 1 || d->scaledHeight < 1) return 0;
  return RescaleShownBGPic(L, d->bgpic, d->scaledWidth, d->scaledHeight, d->smoothScale != 0);
}

// Shows the picture again after a change of size: margins cleared, the
// composed picture presented.
void Present(vkGraphicsState& gs, vkDisplay* d) {
  if (d->state == DISPSTATE_CLOSED) return;
  RedrawDisplay(gs, d, 0);
}

int CallCommand(vkState* L, const char* name, std::initializer_list<vkScriptArg> args, int results = 0) {
  return int(CallScriptFunction(L, name, results, args));
}

}  // namespace

int ResizeDisplay(vkState* L, vkDisplay* d, int32_t x, int32_t y, int32_t width, int32_t height, int32_t scriptCall,
                  uint32_t smoothScale, int32_t noWindow) {
  vkGraphicsState& gs = GraphicsState(L);
  vkBGPic* pic = d->bgpic;
  if (!pic || width < 1 || height < 1) return kErrWrongUsage;
  d->smoothScale = smoothScale;
  if (d->layerScaling && scriptCall) {
    // The picture's logical size changes; the window keeps its size.
    if (width == pic->width && height == pic->height) return 0;
    if (int32_t rc = RegenerateOrScaleBGPic(L, pic, width, height, smoothScale != 0)) return rc;
    UpdateScaleFactors(d);
    if (int32_t rc = RescaleShown(L, d)) return rc;
    if (int32_t rc = SetupBackBuffers(gs, d, pic, true)) return rc;
    if (gs.layersRescaled)
      if (int32_t rc = gs.layersRescaled(L, d)) return rc;
    SyncWindowGeometry(d);
    if (!noWindow) Present(gs, d);
    return 0;
  }
  const int32_t oldW = d->width, oldH = d->height;
  d->width = width, d->height = height;
  if (scriptCall) {
    int32_t space[4];
    vkosGetUsableScreenArea(space);
    d->x = ResolveSpecialX(x, width + d->borderWidth, space[2], space[0], 0.0);
    d->y = ResolveSpecialY(y, height + d->borderHeight, space[3], space[1], 0.0);
  }
  if (Scaled(d)) FitScaledPicture(d);
  if (!noWindow && d->os && d->state != DISPSTATE_CLOSED && scriptCall) {
    if (!vkosCanResizeDisplay(d->os, width, height)) {
      char text[32];
      std::snprintf(text, sizeof text, "%dx%d", width, height);
      SetErrorText(text);
      d->width = oldW, d->height = oldH;
      return kErrDisplaySize;
    }
    d->os->x = d->x, d->os->y = d->y, d->os->width = width, d->os->height = height;
    d->os->marginLeft = d->marginLeft, d->os->marginTop = d->marginTop;
    vkosSizeWindow(d->os);
    vkosMoveWindow(d->os);
  }
  SetDefaultRegions(d);
  CopyRegionsToWindow(d);
  if (d->os) vkosUpdateWindowRegions(d->os);
  if (d->layerScaling) {
    UpdateScaleFactors(d);
    if (int32_t rc = RescaleShown(L, d)) return rc;
    if (int32_t rc = SetupBackBuffers(gs, d, pic, true)) return rc;
    if (gs.layersRescaled)
      if (int32_t rc = gs.layersRescaled(L, d)) return rc;
  } else if (d->scaling) {
    UpdateScaleFactors(d);
  } else {
    if (width != pic->width || height != pic->height)
      if (int32_t rc = RegenerateOrScaleBGPic(L, pic, width, height, smoothScale != 0)) return rc;
    if (int32_t rc = SetupBackBuffers(gs, d, pic, true)) return rc;
  }
  // A double buffer shown stretched gets a front buffer of the new scaled size.
  if ((d->doubleBuffer || d->doubleBufferSuspended) && d->scaling && d->scaledWidth > 0 && d->scaledHeight > 0)
    if (int32_t rc = ResizeDoubleBuffer(gs, d, d->scaledWidth, d->scaledHeight)) return rc;
  SyncWindowGeometry(d);
  if (!noWindow) Present(gs, d);
  ResetTextCursor(d);
  return 0;
}

int ApplyDisplayAttributes(vkState* L, vkDisplay* d, int index, bool noRedraw) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay copy = *d;
  vkBGPic* oldPic = d->bgpic;
  const int32_t oldX = d->x, oldY = d->y;
  const int32_t oldPicW = oldPic ? oldPic->width : d->width, oldPicH = oldPic ? oldPic->height : d->height;
  copy.width = oldPicW, copy.height = oldPicH;
  copy.x = copy.y = kKeepPositionIfSameSize;
  vkBGPic* newPic = nullptr;
  bool scaledSizeChanged = false;
  // The options are read into the copy; the record changes only when all are good.
  vkDisplayOptions parsed;
  if (int32_t rc = ParseDisplayOptions(L, index, copy, false, &parsed)) return rc;
  newPic = parsed.bgpic;
  scaledSizeChanged = parsed.scaledSizeChanged;
  if (newPic == oldPic) newPic = nullptr;
  const uint32_t oldFlags = d->flags;
  const bool hadShape = oldPic && (oldPic->mask || oldPic->alpha);
  const int32_t wantW = copy.width, wantH = copy.height;
  const int32_t askedX = copy.x, askedY = copy.y;
  copy.x = oldX, copy.y = oldY;
  copy.width = d->width, copy.height = d->height;
  *d = copy;
  d->layersOn = d->layersOn || d->layerScaling ? 1 : 0;
  if (newPic) {
    // Double buffering and a selection end (their buffers and records go).
    if (d->doubleBuffer || d->doubleBufferSuspended) StopDoubleBuffer(L, d);
    if (d->renderTarget != kTargetDisplay && gs.CurrentDisplay == d) EndSelectOutput(L, d, true);
    if (d->renderTarget != kTargetDisplay || d->doubleBuffer || d->doubleBufferSuspended) {
      RestoreDisplayState(d);
      d->renderTarget = kTargetDisplay;
      d->doubleBuffer = d->doubleBufferSuspended = 0;
      d->drawBitMap = nullptr, d->drawMask = nullptr, d->drawAlpha = nullptr;
    }
    if (oldPic) oldPic->sprites.clear();
    FreeAllAsyncDraws(gs);
    d->bgpic = newPic;
    d->ownsBGPic = 0;
    newPic->activeClip = nullptr;
    if (int32_t rc = SetupBackBuffers(gs, d, newPic, true)) return rc;
    if (gs.CurrentDisplay == d) gs.CurrentBGPic = newPic;
    ResetTextCursor(d);
    FreeOrphanedBGPics(gs);
  }
  vkBGPic* pic = d->bgpic;
  // Where the window goes: 99999 keeps the position while the size stays.
  const bool sameSize = pic && pic->width == oldPicW && pic->height == oldPicH && wantW == oldPicW && wantH == oldPicH;
  auto place = [&](int32_t asked, int32_t old) {
    if (asked == kKeepPosition) return old;
    if (asked == kKeepPositionIfSameSize) return sameSize ? old : kPosCenter;
    return asked;
  };
  const int32_t x = place(askedX, oldX), y = place(askedY, oldY);
  const bool shape = pic && (pic->mask || pic->alpha);
  const bool reopen =
      d->state != DISPSTATE_CLOSED && (((oldFlags ^ d->flags) & kReopenFlags) != 0 || shape != hadShape);
  if (reopen && ((oldFlags ^ d->flags) & kDisplayBorderless) && x == oldX && y == oldY) {
    // The content stays where it was on the screen.
    const int32_t sign = (d->flags & kDisplayBorderless) ? 1 : -1;
    d->x = oldX + sign * d->borderLeft, d->y = oldY + sign * d->borderTop;
  }
  int32_t rc = 0;
  if (Scaled(d)) {
    if (scaledSizeChanged && d->scaledWidth > 0 && d->scaledHeight > 0)
      rc = ResizeDisplay(L, d, x, y, d->scaledWidth, d->scaledHeight, 1, d->smoothScale, reopen ? 1 : 0);
    else if (newPic)
      rc = ResizeDisplay(L, d, x, y, d->width, d->height, 1, d->smoothScale, reopen ? 1 : 0);
  } else if (!sameSize || newPic || x != oldX || y != oldY) {
    rc = ResizeDisplay(L, d, x, y, wantW, wantH, 1, d->smoothScale, reopen || d->state == DISPSTATE_CLOSED ? 1 : 0);
    if (d->state == DISPSTATE_CLOSED && rc == 0) {
      int32_t space[4];
      vkosGetUsableScreenArea(space);
      d->x = x, d->y = y;  // resolved when the window opens
    }
  }
  if (rc) return rc;
  if (reopen) {
    const bool active = d->active != 0;
    CloseDisplayWindow(L, d);
    if (int32_t open = OpenDisplayOnScreen(L, d, active)) return open;
    return 0;
  }
  if (d->os && d->os->title != d->title) {
    d->os->title = d->title;
    if (d->state != DISPSTATE_CLOSED) vkosSetWindowTitle(d->os);
  }
  if (!noRedraw && d->state != DISPSTATE_CLOSED) RedrawDisplay(gs, d, 0);
  return 0;
}

void FitWindowToScreen(vkDisplaySettings& settings, vkDisplay* d, int32_t* width, int32_t* height) {
  if (d->os) {
    vkosGetWindowBorders(d->os);
    d->borderLeft = d->os->borderLeft, d->borderTop = d->os->borderTop;
    d->borderWidth = d->os->borderWidth, d->borderHeight = d->os->borderHeight;
  }
  if (settings.screenDepth == -1) settings.screenDepth = vkosGetAttr(nullptr, 5);
  const int64_t outerW = int64_t(d->width) + d->borderWidth, outerH = int64_t(d->height) + d->borderHeight;
  if (settings.screenWidth != -1 && settings.screenHeight != -1) {
    if (settings.screenWidth == 0) settings.screenWidth = vkosGetAttr(nullptr, 14);
    if (settings.screenHeight == 0) settings.screenHeight = vkosGetAttr(nullptr, 15);
    const int32_t sw = settings.screenWidth, sh = settings.screenHeight;
    if (outerW <= sw && outerH <= sh) {
      *width = sw, *height = sh;
      return;
    }
    if (d->width <= sw && d->height <= sh && !(d->flags & kDisplayBorderless)) {
      d->flags |= kDisplayBorderless;
      *width = sw, *height = sh;
      return;
    }
  }
  *width = int32_t(std::min<int64_t>(outerW, INT32_MAX)), *height = int32_t(std::min<int64_t>(outerH, INT32_MAX));
}

namespace {

// The backfill: a brush, a picture and a full-screen display behind the
// others, each made by its script command.
int BuildBackfill(vkState* L, const vkDisplaySettings& settings) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkBackfill& b = settings.backfill;
  if (b.type == kBackfillNone) return 0;
  const int32_t w = vkosGetAttr(nullptr, 14), h = vkosGetAttr(nullptr, 15);
  const int top = vmGetTop(L);
  auto takeId = [&](vkObjectId* id) {
    *id = vkObjectId{0, vmType(L, -1) == 2 ? const_cast<void*>(vmToPointer(L, -1)) : nullptr};
    vmSetTop(L, top);
  };
  int rc = 0;
  if (b.type == kBackfillTexture || b.type == kBackfillPicture) {
    if (!b.brushFile.empty())
      rc = CallCommand(L, "LoadBrush", {vkScriptArg::ofNil(), vkScriptArg::ofString(b.brushFile.c_str())}, 1);
    else
      rc = CallCommand(L, "CopyBrush", {vkScriptArg::ofInt(b.brushId), vkScriptArg::ofNil()}, 1);
    if (rc) return rc;
    takeId(&gs.backfill.brush);
    gs.backfill.brushExists = true;
    if (b.scalePicture)
      if ((rc = CallCommand(L, "ScaleBrush", {vkScriptArg::ofObjectId(gs.backfill.brush), vkScriptArg::ofInt(w),
                                              vkScriptArg::ofInt(h)})))
        return rc;
  }
  switch (b.type) {
    case kBackfillGradient:
      rc = CallCommand(L, "CreateGradientBGPic",
                       {vkScriptArg::ofNil(), vkScriptArg::ofInt(0), vkScriptArg::ofUnsigned(uint32_t(b.startColor)),
                        vkScriptArg::ofUnsigned(uint32_t(b.endColor)), vkScriptArg::ofInt(w), vkScriptArg::ofInt(h)},
                       1);
      break;
    case kBackfillTexture:
      rc = CallCommand(L, "CreateTexturedBGPic",
                       {vkScriptArg::ofNil(), vkScriptArg::ofObjectId(gs.backfill.brush), vkScriptArg::ofInt(w),
                        vkScriptArg::ofInt(h)},
                       1);
      break;
    default:
      rc = CallCommand(L, "CreateBGPic",
                       {vkScriptArg::ofNil(), vkScriptArg::ofInt(w), vkScriptArg::ofInt(h),
                        vkScriptArg::ofUnsigned(uint32_t(b.startColor) & 0xFFFFFF)},
                       1);
      break;
  }
  if (rc) return rc;
  takeId(&gs.backfill.bgpic);
  gs.backfill.bgpicExists = true;
  vkBGPic* pic = nullptr;
  if (b.type == kBackfillPicture && FindBGPic(gs, gs.backfill.bgpic, &pic, 0) == 0) {
    vkBrushView view;
    if (FindBrushView(L, gs.backfill.brush, &view) == 0 && view.bitmap) {
      const int32_t px = ResolveSpecialX(b.pictureX, view.width, w, 0, 0.0);
      const int32_t py = ResolveSpecialY(b.pictureY, view.height, h, 0, 0.0);
      int32_t sx = 0, sy = 0, dx = px, dy = py, cw = view.width, ch = view.height;
      if (ClipToSizes(sx, sy, dx, dy, cw, ch, view.width, view.height, pic->width, pic->height)) {
        if (view.mask) BltMask(view.bitmap, sx, sy, pic->bitmap, dx, dy, cw, ch, view.mask);
        else if (view.alpha) BltAlphaBitMap(view.bitmap, sx, sy, pic->bitmap, dx, dy, cw, ch, view.alpha);
        else BltBitMap(view.bitmap, sx, sy, pic->bitmap, dx, dy, cw, ch);
      }
    }
  }
  vmNewTable(L);
  const int table = vmGetTop(L);
  SetFieldInt(L, "y", vkosGetAttr(nullptr, 22));
  SetFieldInt(L, "borderless", 1);
  SetFieldInt(L, "fixed", 1);
  SetFieldObjectId(L, "bgpic", gs.backfill.bgpic);
  SetFieldInt(L, "hidepointer", 1);
  SetFieldInt(L, "private1", 1);
  rc = CreateDisplay(L, vkIdRequest{0, true}, table, &gs.backfill.display);
  vmSetTop(L, top);
  if (rc) return rc;
  gs.backfill.displayExists = true;
  return 0;
}

void FreeBackfill(vkState* L) {
  vkBackfillObjects& b = GraphicsState(L).backfill;
  if (b.displayExists) CallCommand(L, "FreeDisplay", {vkScriptArg::ofObjectId(b.display)});
  if (b.bgpicExists) CallCommand(L, "FreeBGPic", {vkScriptArg::ofObjectId(b.bgpic)});
  if (b.brushExists) CallCommand(L, "FreeBrush", {vkScriptArg::ofObjectId(b.brush)});
  b = {};
}

}  // namespace

int SwitchDisplayMode(vkState* L, int32_t fullScreen, int32_t width, int32_t height) {
  vkGraphicsState& gs = GraphicsState(L);
  if (fullScreen && gs.screenModeSwitched && vkosGetAttr(nullptr, 14) == width &&
      vkosGetAttr(nullptr, 15) == height)
    return 0;
  if (!fullScreen && !gs.screenModeSwitched) return 0;
  int32_t fade = 0;
  vkosFadeOut(&fade, 1);
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (d->state != DISPSTATE_CLOSED) {
      d->reopen = 1;
      CloseDisplayWindow(L, d.get());
    }
  FreeBackfill(L);
  if (fullScreen) {
    const int32_t depth = gs.displaySettings && gs.displaySettings->screenDepth > 0 ? gs.displaySettings->screenDepth : 32;
    if (int rc = vkosSwitchScreenMode(width, height, depth)) {
      vkosFadeIn(fade, 1);
      return rc;
    }
    gs.screenModeSwitched = 1;
    vkosSetFullScreenUIMode(2);
    if (gs.displaySettings)
      if (int rc = BuildBackfill(L, *gs.displaySettings)) {
        vkosFadeIn(fade, 1);
        return rc;
      }
  } else {
    vkosRestoreScreenMode();
    gs.screenModeSwitched = 0;
    vkosSetFullScreenUIMode(0);
  }
  int result = 0;
  for (const vkDisplayPtr& d : gs.DisplayList) {
    if (!d->reopen && !d->backfill) continue;
    d->reopen = 0;
    if (!d->backfill) {
      d->x = d->y = kPosCenter;
      if (fullScreen) d->flags = (d->flags | kDisplayBorderless | kDisplayFixed) & ~kDisplaySizeable;
      else d->flags &= ~(kDisplayBorderless | kDisplayFixed);
    }
    if (int rc = OpenDisplayOnScreen(L, d.get(), d->active != 0 || d->backfill == 0))
      if (result == 0) result = rc;
  }
  vkosFadeIn(fade, 1);
  return result;
}

int OpenFirstDisplay(vkState* L, vkApplet* applet, vkProgramContext* context) {
  (void)context;
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* first = nullptr;
  if (int32_t rc = FindDisplay(gs, vkObjectId{1, nullptr}, &first)) return rc;
  vkDisplaySettings& settings = applet->display;
  gs.displaySettings = &settings;
  uint32_t mode = settings.mode;
  if (mode == 3) {
    const int answer = vkosShowRequester("VellumarkPlayer", GetCatalogText(kCatalogSelectMode),
                                         GetCatalogText(kCatalogModeButtons));
    mode = answer == 1 ? kDisplayModeFullScreen : kDisplayModeWindow;
  }
  bool fullScreen = mode == kDisplayModeFullScreen || mode == 4;
  if (applet->desktop) {
    if (gs.videoRecording) return kErrDesktopRecording;
    if (first->scaling || first->layerScaling) return kErrDesktopAutoscale;
    first->flags = kDesktopFlags;
    fullScreen = false;
  } else if (fullScreen || mode == kDisplayModeFakeFullScreen) {
    first->flags |= kDisplayBorderless | kDisplayFixed;
  }
  vkosPrepareScreenMode(mode == kDisplayModeWindow && !applet->desktop, settings.backfill.type != kBackfillNone,
                        settings.hideTitleBar > 0);
  if (fullScreen) {
    int32_t w = 0, h = 0;
    FitWindowToScreen(settings, first, &w, &h);
    int32_t fade = 0;
    vkosFadeOut(&fade, 1);
    const int rc = vkosSwitchScreenMode(w, h, settings.screenDepth);
    vkosFadeIn(fade, 1);
    if (rc) return rc;
    gs.screenModeSwitched = 1;
  }
  PrintStatus(L, GetCatalogText(kCatalogPreparingDisplay), nullptr, true);
  // Displays whose pictures the rebuild below keeps show them in their
  // buffers already.
  std::vector<const vkDisplay*> unchanged;
  if (!applet->desktop)
    for (const vkDisplayPtr& d : gs.DisplayList)
      if (d->bgpic && d->bgpic->rawPixels.empty() && d->backBuffer && d->screenBuffer) unchanged.push_back(d.get());
  if (int32_t rc = RebuildBGPicBitmaps(gs)) return rc;
  if (fullScreen)
    if (int rc = BuildBackfill(L, settings)) return rc;
  PrintDone(L);
  int32_t quiet = 0;
  GetAttrs(L, nullptr, {{ATTR_QUIET, &quiet}});
  if (!quiet && !gs.videoRecording) {
    std::fputs(GetCatalogText(kCatalogAndAction), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
  }
  SetAttrs(L, nullptr, {{ATTR_QUIET, 1}});
  if (applet->desktop && first->bgpic && first->bgpic->bitmap) {
    std::vector<uint32_t> screen;
    vkBitMap* b = first->bgpic->bitmap;
    if (!vkosGrabScreen(0, 0, b->width, b->height, &screen)) return kErrOutOfMemory;
    vkBitMap* grabbed = nullptr;
    if (uint32_t rc = CreateBitMapFromARGB(screen.data(), -1, b->width, b->height, b->width, &grabbed, nullptr))
      return int(rc);
    BltBitMap(grabbed, 0, 0, b, 0, 0, b->width, b->height);
    FreeBitMap(grabbed);
  }
  for (const vkDisplayPtr& d : gs.DisplayList) {
    if (std::find(unchanged.begin(), unchanged.end(), d.get()) == unchanged.end())
      if (int32_t rc = SetupBackBuffers(gs, d.get(), d->bgpic, true)) return rc;
    if (Scaled(d.get()) && d->scaledWidth > 0)
      if (int rc = ResizeDisplay(L, d.get(), d->x, d->y, d->width, d->height, 1, d->smoothScale, 1)) return rc;
  }
  vkDisplay* chosen = nullptr;
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (!(d->flags & kDisplayHidden) && (d->flags & kDisplayActive) != 0) {
      chosen = d.get();
      break;
    }
  if (!fullScreen && !applet->desktop) {
    gs.displaysPending = true;
    gs.pendingActive = chosen;
    SelectDisplay(L, chosen ? chosen : first, true);
    return 0;
  }
  vkosSetFullScreenUIMode(fullScreen ? 2 : 0);
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (!(d->flags & kDisplayHidden))
      if (int32_t rc = OpenDisplayOnScreen(L, d.get(), d.get() == chosen)) return rc;
  SelectDisplay(L, chosen ? chosen : first, true);
  return 0;
}

bool DisplaysPending(vkState* L) { return L != nullptr && GraphicsState(L).displaysPending; }

int ShowPendingDisplays(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  if (!gs.displaysPending) return 0;
  gs.displaysPending = false;
  vkosSetFullScreenUIMode(0);
  for (const vkDisplayPtr& d : gs.DisplayList)
    if (!(d->flags & kDisplayHidden) && d->state == DISPSTATE_CLOSED)
      if (int32_t rc = OpenDisplayOnScreen(L, d.get(), d.get() == gs.pendingActive)) return rc;
  gs.pendingActive = nullptr;
  return 0;
}
