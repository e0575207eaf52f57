// The "draw" script library: boxes, lines, polygons, arcs, ellipses,
// circles and single pixels drawn into the current output in the draw
// style that SetFillStyle and SetFormStyle set; pixels read back; the
// output cleared. The shapes themselves are rendered by graphics/shapes.h.
#include "graphics/drawlib.h"

#include <algorithm>
#include <cmath>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/displays.h"
#include "graphics/shapes.h"
#include "graphics/sprites.h"
#include "pixel/blit.h"

namespace {

int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t OptIntArg(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

bool IsTable(vkState* L, int i) { return vmType(L, i) == VK_TTABLE; }

// The display options of a shape: the table at [index] with the shape's
// size (and [key] read from it into *[value]), or the legacy number there
// into *[value] and the rotation after it. 0 or an error code.
int32_t ReadShapeOptions(vkState* L, int index, int32_t width, int32_t height, bool noSize, const char* key,
                         int32_t* value, bool legacyValue, vkTransform* t, vkLayerOptions* options) {
  InitTransform(t);
  const int n = vmGetTop(L);
  if (index <= n && IsTable(L, index)) {
    if (int32_t rc = ParseDisplayTags(L, index, width, height, width, height, 0, t, options,
                                      kTagsInit | kTagsNeedTable | (noSize ? kTagsNoSize : 0)))
      return rc;
    if (key) OptFieldInt(L, index, key, value, nullptr);
    return 0;
  }
  int rotateIndex = index;
  if (legacyValue) {
    if (index <= n) *value = OptIntArg(L, index, *value);
    rotateIndex = index + 1;
  }
  if (rotateIndex <= n) {
    const int32_t angle = OptIntArg(L, rotateIndex, 0) % 360;
    if (angle != 0) BuildTransformMatrix(t, 0, 0, width, height, 1.0, 1.0, angle);
  }
  return 0;
}

vkDrawLib& Lib(vkState* L) { return DrawLib(GraphicsState(L)); }

// Box (x, y, width, height[, colour[, table or roundlevel[, rotate]]])
int CmdBox(vkState* L) {
  CheckArgCount(L, 4, 7);
  vkShapeRequest rq;
  rq.type = kShapeBox;
  rq.x = IntArg(L, 1), rq.y = IntArg(L, 2), rq.width = IntArg(L, 3), rq.height = IntArg(L, 4);
  rq.color = vmOptUnsigned(L, 5, 0);
  if (int32_t rc = ReadShapeOptions(L, 6, rq.width, rq.height, false, "roundlevel", &rq.roundlevel, true,
                                    &rq.transform, &rq.options))
    return rc;
  rq.drawState = &Lib(L).state;
  return RenderBox(L, rq, 0);
}

// Line (x1, y1, x2, y2[, colour[, table or thickness[, rotate]]])
int CmdLine(vkState* L) {
  CheckArgCount(L, 4, 7);
  const int32_t x1 = IntArg(L, 1), y1 = IntArg(L, 2), x2 = IntArg(L, 3), y2 = IntArg(L, 4);
  const uint32_t color = vmOptUnsigned(L, 5, 0);
  const int32_t w = int32_t(std::min<int64_t>(std::llabs(int64_t(x2) - x1) + 1, INT32_MAX));
  const int32_t h = int32_t(std::min<int64_t>(std::llabs(int64_t(y2) - y1) + 1, INT32_MAX));
  int32_t thickness = 1;
  vkTransform t;
  vkLayerOptions options;
  if (int32_t rc = ReadShapeOptions(L, 6, w, h, true, "thickness", &thickness, true, &t, &options)) return rc;
  return RenderLine(L, x1, y1, x2, y2, color, thickness, Lib(L).state, t, options, nullptr, -1, 0);
}

// The curves: an ellipse's box from its radii, checked after the options.
int DrawCurve(vkState* L, vkShapeRequest& rq, int optionsIndex, const char* key, int32_t* value) {
  const int64_t w = 2 * int64_t(rq.rx) + 1, h = 2 * int64_t(rq.ry) + 1;
  rq.width = int32_t(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
  rq.height = int32_t(std::clamp<int64_t>(h, INT32_MIN, INT32_MAX));
  if (int32_t rc = ReadShapeOptions(L, optionsIndex, rq.width, rq.height, false, key, value, key != nullptr,
                                    &rq.transform, &rq.options))
    return rc;
  if (rq.rx < 1 || rq.ry < 1 || w > INT32_MAX || h > INT32_MAX) return kErrWrongUsage;
  rq.drawState = &Lib(L).state;
  return RenderShape(L, rq, 0);
}

// Ellipse (x, y, rx, ry[, colour[, table or rotate]])
int CmdEllipse(vkState* L) {
  CheckArgCount(L, 4, 6);
  vkShapeRequest rq;
  rq.type = kShapeEllipse;
  rq.x = IntArg(L, 1), rq.y = IntArg(L, 2), rq.rx = IntArg(L, 3), rq.ry = IntArg(L, 4);
  rq.color = vmOptUnsigned(L, 5, 0);
  return DrawCurve(L, rq, 6, nullptr, nullptr);
}

// Circle (x, y, radius[, colour[, table or rotate]])
int CmdCircle(vkState* L) {
  CheckArgCount(L, 3, 5);
  vkShapeRequest rq;
  rq.type = kShapeCircle;
  rq.x = IntArg(L, 1), rq.y = IntArg(L, 2), rq.rx = rq.ry = IntArg(L, 3);
  rq.color = vmOptUnsigned(L, 4, 0);
  return DrawCurve(L, rq, 5, nullptr, nullptr);
}

// Arc (x, y, rx, ry, start, end[, colour[, table or clockwise[, rotate]]])
int CmdArc(vkState* L) {
  CheckArgCount(L, 6, 9);
  vkShapeRequest rq;
  rq.type = kShapeArc;
  rq.x = IntArg(L, 1), rq.y = IntArg(L, 2), rq.rx = IntArg(L, 3), rq.ry = IntArg(L, 4);
  rq.start = IntArg(L, 5), rq.end = IntArg(L, 6);
  rq.color = vmOptUnsigned(L, 7, 0);
  rq.clockwise = 1;
  const int64_t w = 2 * int64_t(rq.rx) + 1, h = 2 * int64_t(rq.ry) + 1;
  rq.width = int32_t(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
  rq.height = int32_t(std::clamp<int64_t>(h, INT32_MIN, INT32_MAX));
  if (int32_t rc = ReadShapeOptions(L, 8, rq.width, rq.height, false, "clockwise", &rq.clockwise, true,
                                    &rq.transform, &rq.options))
    return rc;
  if (rq.rx < 1 || rq.ry < 1 || w > INT32_MAX || h > INT32_MAX || rq.start < 0 || rq.end < 0) return kErrWrongUsage;
  if (rq.start == rq.end) return 0;
  rq.drawState = &Lib(L).state;
  return RenderShape(L, rq, 0);
}

// Polygon (x, y, table, count[, colour[, table or rotate]])
int CmdPolygon(vkState* L) {
  CheckArgCount(L, 4, 6);
  vkShapeRequest rq;
  rq.type = kShapePolygon;
  rq.x = IntArg(L, 1), rq.y = IntArg(L, 2);
  if (!IsTable(L, 3)) {
    SetErrorNumber(3);
    return kErrTableExpected;
  }
  const int32_t count = IntArg(L, 4);
  if (count < 2 || count > 999) return kErrWrongUsage;
  rq.color = vmOptUnsigned(L, 5, 0);
  int32_t minX = 0, minY = 0;
  if (int32_t rc = ReadVertexTable(L, 3, count, &rq.points, &rq.width, &rq.height, &minX, &minY)) return rc;
  if (int32_t rc = ReadShapeOptions(L, 6, rq.width, rq.height, false, nullptr, nullptr, false, &rq.transform,
                                    &rq.options))
    return rc;
  rq.x = int32_t(std::clamp<int64_t>(int64_t(rq.x) + minX, INT32_MIN, INT32_MAX));
  rq.y = int32_t(std::clamp<int64_t>(int64_t(rq.y) + minY, INT32_MIN, INT32_MAX));
  rq.drawState = &Lib(L).state;
  return RenderShape(L, rq, 0);
}

// The sprite frame pixel shown at (x, y) of the output, if any.
bool OnSprite(const vkDrawOutput& o, int32_t x, int32_t y) {
  if (!o.record) return false;
  for (const vkSpriteInstance& s : o.record->sprites) {
    const int32_t fx = x - s.x, fy = y - s.y;
    if (fx < 0 || fy < 0 || fx >= s.width || fy >= s.height || !s.sprite) continue;
    const vkSpriteFrame* f = GetSpriteFrame(*s.sprite, s.frame - 1);
    if (!f) return true;
    if (f->mask) {
      if (ReadBitMapPixel(f->mask.get(), fx, fy)) return true;
    } else if (f->alpha) {
      if (fx < f->alpha->bytesPerRow && fy < f->alpha->height &&
          f->alpha->data[size_t(fy) * size_t(f->alpha->bytesPerRow) + size_t(fx)] != 0)
        return true;
    } else {
      return true;
    }
  }
  return false;
}

bool IsScaledDisplay(const vkDisplay* d) { return d->scaling != 0 && d->scaledWidth != 0 && d->scaledHeight != 0; }

// Plot (x, y[, colour])
int CmdPlot(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkGraphicsState& gs = GraphicsState(L);
  const uint32_t color = vmOptUnsigned(L, 3, 0);
  if (DrawLayersOn(CurrentDrawOutput(gs))) return kErrNotWithLayers;
  if (int32_t rc = PrepareDrawing(L)) return rc;
  const vkDrawOutput o = CurrentDrawOutput(gs);
  const int32_t x = ResolveOutputX(gs, IntArg(L, 1), 1, 0), y = ResolveOutputY(gs, IntArg(L, 2), 1, 0);
  if (!o.display || !DrawPointAllowed(o, x, y) || OnSprite(o, x, y)) return 0;
  const int32_t opacity = 255 - int32_t(color >> 24);
  const uint32_t rgb = color & 0xFFFFFF;
  auto blended = [&](const vkBitMap* b) {
    return opacity == 255 ? rgb : BlendRGB(ReadBitMapPixel(b, x, y) & 0xFFFFFF, rgb, opacity);
  };
  vkDisplay* d = o.display;
  if (o.renderTarget != kTargetDisplay) {
    if (o.bitmap) WriteBitMapPixel(o.bitmap, x, y, o.alpha ? rgb : blended(o.bitmap));
    if (o.mask) WriteBitMapPixel(o.mask, x, y, o.bitmap ? 0 : gs.settings.maskMode);
    if (o.alpha && x < o.alpha->bytesPerRow && y < o.alpha->height) {
      const int32_t intensity = gs.settings.alphaIntensity;
      const int32_t a = o.bitmap || intensity == -1 ? opacity : intensity;
      o.alpha->data[size_t(y) * size_t(o.alpha->bytesPerRow) + size_t(x)] = uint8_t(a);
    }
    return 0;
  }
  if (!d->backBuffer) return 0;
  const uint32_t c = blended(d->backBuffer);
  WriteBitMapPixel(d->backBuffer, x, y, c);
  if (IsScaledDisplay(d) && d->screenBuffer) {
    WriteBitMapPixel(d->screenBuffer, x, y, c);
    BltToWindow(gs, d->screenBuffer, 0, 0, d, 0, 0, d->screenBuffer->width, d->screenBuffer->height, 1);
  } else if (d->os) {
    vkosPlotOnWindow(d->os, x, y, c);
  }
  return 0;
}

// ReadPixel (x, y)
int CmdReadPixel(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkGraphicsState& gs = GraphicsState(L);
  const vkDrawOutput o = CurrentDrawOutput(gs);
  const int32_t x = ResolveOutputX(gs, IntArg(L, 1), 1, 0), y = ResolveOutputY(gs, IntArg(L, 2), 1, 0);
  if (!DrawPointAllowed(o, x, y)) return kErrPixelOutOfRange;
  double value = 0;
  switch (o.renderTarget) {
    case kTargetBGPic:
    case kTargetBrush:
    case kTargetDisplay:
      if (const vkBitMap* b = o.renderTarget == kTargetBGPic && o.record ? o.record->bitmap : DrawBitMapOf(o))
        value = double(ReadBitMapPixel(b, x, y) & 0xFFFFFF);
      break;
    case kTargetMask:
      value = o.mask ? double(ReadBitMapPixel(o.mask, x, y)) : 1;
      break;
    case kTargetAlphaChannel:
      value = 255;
      if (o.alpha)
        value = x < o.alpha->bytesPerRow && y < o.alpha->height
                    ? o.alpha->data[size_t(y) * size_t(o.alpha->bytesPerRow) + size_t(x)]
                    : 0;
      break;
    default:
      break;
  }
  vmPushNumber(L, value);
  return 1;
}

// Cls ([colour])
int CmdCls(vkState* L) {
  CheckArgCount(L, 0, 1);
  vkGraphicsState& gs = GraphicsState(L);
  const uint32_t rgb = uint32_t(vkDoubleToWord(vmOptNumber(L, 1, 0))) & 0xFFFFFF;
  if (int32_t rc = PrepareDrawing(L)) return rc;
  const vkDrawOutput o = CurrentDrawOutput(gs);
  vkDisplay* d = o.display;
  if (!d) return 0;
  if (o.renderTarget != kTargetDisplay && o.renderTarget != kTargetBGPic) {
    if (o.bitmap) FillBitMapRect(o.bitmap, rgb, 0, 0, o.bitmap->width, o.bitmap->height);
    if (o.alpha) {
      const int32_t intensity = gs.settings.alphaIntensity;
      FillAlphaRect(o.alpha, 0, 0, o.alpha->bytesPerRow, o.alpha->height,
                    uint8_t(o.bitmap || intensity == -1 ? 255 : intensity));
    }
    if (o.mask)
      FillMaskRect(o.mask, 0, 0, o.mask->bytesPerRow * 8, o.mask->height, o.bitmap ? 0 : gs.settings.maskMode);
    return 0;
  }
  vkBGPic* pic = d->bgpic;
  if (!DrawLayersOn(o)) {
    if (pic) RemoveBGPicSprites(pic);
    if (pic && pic->bitmap && d->backBuffer) {
      BltBitMap(pic->bitmap, 0, 0, d->backBuffer, 0, 0, d->backBuffer->width, d->backBuffer->height);
      if (IsScaledDisplay(d) && d->screenBuffer)
        BltBitMap(pic->bitmap, 0, 0, d->screenBuffer, 0, 0, d->screenBuffer->width, d->screenBuffer->height);
    }
  } else if (vkBGPic* target = o.record) {
    for (vkLayer* layer : target->layers)
      if (IsLayerBoundToAsyncDraw(gs, layer)) return kErrRemoveLayerAsyncDraw;
    if (o.renderTarget == kTargetBGPic && gs.layerDirty)
      for (vkLayer* layer : target->layers) gs.layerDirty(gs, d, layer);
    if (gs.freeLayers) gs.freeLayers(gs, target);
  }
  if (o.renderTarget == kTargetDisplay) RedrawDisplay(gs, d, 0);
  return 0;
}

// SetFillStyle (style[, ...])
int CmdSetFillStyle(vkState* L) {
  const int n = vmGetTop(CheckArgCount(L, 1, 5));
  vkDrawState& s = Lib(L).state;
  const int32_t style = IntArg(L, 1);
  if (uint32_t(style) > 3) return kErrWrongUsage;
  s.fillStyle = style;
  switch (style) {
    case FILLNONE:
      s.outlineThickness = OptIntArg(L, 2, 1);
      break;
    case FILLGRADIENT:
      s.gradientStyle = IntArg(L, 2);
      s.gradientStart = vmCheckUnsigned(L, 3);
      s.gradientEnd = vmCheckUnsigned(L, 4);
      s.gradientAngle = OptIntArg(L, 5, 0);
      break;
    case FILLTEXTURE:
      s.texture = CheckObjectId(L, 2);
      s.textureX = n >= 3 ? OptIntArg(L, 3, 0) : 0;
      s.textureY = n >= 4 ? OptIntArg(L, 4, 0) : 0;
      break;
    default:
      break;
  }
  ClampFormStyle(&s);
  return 0;
}

// SetFormStyle (style[, ...])
int CmdSetFormStyle(vkState* L) {
  const int n = vmGetTop(CheckArgCount(L, 1, 4));
  vkDrawState& state = Lib(L).state;
  vkDrawState s = state;
  const int32_t style = IntArg(L, 1);
  if (style & kFormNormal) {
    s.formStyle = kFormNormal;
  } else if (style == kFormShadow) {
    if (n >= 2) s.shadowColor = vmCheckUnsigned(L, 2);
    if (n >= 3) s.shadowSize = IntArg(L, 3);
    if (n >= 4) s.shadowDir = IntArg(L, 4);
    s.formStyle |= kFormShadow;
  } else if (style == kFormEdge) {
    if (n == 2 || n == 3) s.edgeColor = vmCheckUnsigned(L, 2);
    if (n == 3) s.edgeSize = IntArg(L, 3);
    s.formStyle |= kFormEdge;
  } else {
    if (n > 1) return kErrTooManyArgs;
    s.formStyle |= style;
  }
  ClampFormStyle(&s);
  state = s;
  return 0;
}

const vkCommandDef kDrawCommands[] = {
    {"Box", CmdBox},           {"Plot", CmdPlot},
    {"Ellipse", CmdEllipse},   {"Line", CmdLine},
    {"Circle", CmdCircle},     {"Polygon", CmdPolygon},
    {"SetFillStyle", CmdSetFillStyle}, {"ReadPixel", CmdReadPixel},
    {"Cls", CmdCls},           {"Arc", CmdArc},
    {"SetFormStyle", CmdSetFormStyle}, {nullptr, nullptr},
};

const vkConstantDef kDrawConstants[] = {
    {"BLACK", nullptr, 0x000000},  {"MAROON", nullptr, 0x800000}, {"GREEN", nullptr, 0x008000},
    {"OLIVE", nullptr, 0x808000},  {"NAVY", nullptr, 0x000080},   {"PURPLE", nullptr, 0x800080},
    {"TEAL", nullptr, 0x008080},   {"GRAY", nullptr, 0x808080},   {"SILVER", nullptr, 0xC0C0C0},
    {"RED", nullptr, 0xFF0000},    {"LIME", nullptr, 0x00FF00},   {"YELLOW", nullptr, 0xFFFF00},
    {"BLUE", nullptr, 0x0000FF},   {"FUCHSIA", nullptr, 0xFF00FF}, {"AQUA", nullptr, 0x00FFFF},
    {"WHITE", nullptr, 0xFFFFFF},  {"FILLNONE", nullptr, FILLNONE}, {"FILLCOLOR", nullptr, FILLCOLOR},
    {"FILLGRADIENT", nullptr, FILLGRADIENT}, {"FILLTEXTURE", nullptr, FILLTEXTURE},
    {"BOX", nullptr, kShapeBox},   {"CIRCLE", nullptr, kShapeCircle}, {"ELLIPSE", nullptr, kShapeEllipse},
    {"LINE", nullptr, kShapeLine}, {"PLOT", nullptr, kShapePlot}, {"POLYGON", nullptr, kShapePolygon},
    {"ARC", nullptr, kShapeArc},   {nullptr, nullptr, 0},
};

}  // namespace

int OpenDrawLibrary(vkState* L) {
  // The library's state and tables are made anew with its first command.
  GraphicsState(L).draw.reset();
  vmRegisterFunctions(L, nullptr, kDrawCommands, 0);
  vmRegisterConstants(L, kDrawConstants);
  return RegisterLibrary(L, kDrawCommands, "draw");
}

int FreeDrawTables(vkState* L) {
  if (L) GraphicsState(L).draw.reset();
  return 0;
}
