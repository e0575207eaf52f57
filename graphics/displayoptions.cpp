// The display options and the drawing core. An options table is read once
// into a transform record; the matrix it makes decides whether the planes
// are drawn as they are, scaled or transformed; what comes out goes through
// the clipped blit into whatever the current output is.
#include "graphics/displayoptions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;

// The space positions resolve against: the active clip region of the
// current output, else its size.
void OutputSpace(vkGraphicsState& gs, bool horizontal, int32_t* space, int32_t* origin) {
  *space = 0, *origin = 0;
  const vkBGPic* out = OutputPicture(gs);
  if (!out) return;
  if (const vkClipRegion* clip = out->activeClip) {
    *space = horizontal ? clip->width : clip->height;
    *origin = horizontal ? clip->x : clip->y;
    return;
  }
  *space = horizontal ? out->scaledWidth : out->scaledHeight;
  if (*space == 0) *space = horizontal ? out->width : out->height;
}

// A fraction 0..1 of the object's size; 1055 outside.
int32_t ReadAnchor(vkState* L, int index, const char* key, double* out) {
  double v = *out;
  if (OptFieldNumber(L, index, key, &v, nullptr) && !(v >= 0.0 && v <= 1.0)) return kErrWrongUsage;
  *out = v;
  return 0;
}

// A number or "N%" of 255, held to 0..255.
void ReadLevel(vkState* L, int index, const char* key, int32_t* out) {
  double v = 0;
  if (OptFieldNumberOrPercent(L, index, key, 255, false, nullptr, &v, nullptr))
    *out = std::clamp(vkDoubleToInt32(v), 0, 255);
}

int32_t ReadLayerOptions(vkState* L, int index, vkLayerOptions* lo) {
  OptFieldInt(L, index, "hidden", &lo->hidden, nullptr);
  ReadLevel(L, index, "transparency", &lo->transparency);
  ReadLevel(L, index, "tint", &lo->tint);
  OptFieldUnsigned(L, index, "tintcolor", &lo->tintColor, nullptr);
  int32_t pos = 0;
  if (OptFieldLayerId(L, index, "insertpos", &pos, nullptr)) {
    if (pos < 0) return kErrInsertPosition;
    const vkBrushList& hooks = Brushes(GraphicsState(L));
    const int32_t count = hooks.layerCount ? hooks.layerCount(L) : 0;
    if (pos > count + 1) pos = count + 1;
    lo->insertPos = pos;
    if (pos != 0 && pos != count + 1) lo->given = 1;
  }
  if (lo->hidden != 0 || lo->transparency != 0 || lo->tint != 0) lo->given = 1;
  std::string name;
  if (OptFieldString(L, index, "name", &name, nullptr)) {
    if (name.size() >= sizeof lo->name) return kErrNameTooLong;
    std::memcpy(lo->name, name.c_str(), name.size() + 1);
  }
  return 0;
}

}  // namespace

void InitTransform(vkTransform* t) { *t = vkTransform{}; }

bool IsIdentity(const vkTransform& t) {
  return t.matrix[0] == 1.0 && t.matrix[1] == 0.0 && t.matrix[2] == 0.0 && t.matrix[3] == 1.0;
}

void BuildTransformMatrix(vkTransform* t, int32_t width, int32_t height, int32_t objectWidth, int32_t objectHeight,
                          double scaleX, double scaleY, int32_t angle) {
  if (width == 0) width = objectWidth;
  if (height == 0) height = objectHeight;
  double a, b = 0, c = 0, d;
  if (width == objectWidth && height == objectHeight) {
    a = scaleX, d = scaleY;
  } else {
    a = objectWidth ? double(width) / objectWidth : 1.0;
    d = objectHeight ? double(height) / objectHeight : 1.0;
  }
  if (angle != 0) {
    const double theta = (360 - angle % 360) * kDegreesToRadians;
    const double cs = std::cos(theta), sn = std::sin(theta);
    const double a2 = a * cs - b * sn, b2 = a * sn + b * cs;
    const double c2 = c * cs - d * sn, d2 = c * sn + d * cs;
    a = a2, b = b2, c = c2, d = d2;
  }
  t->matrix[0] = a, t->matrix[1] = b, t->matrix[2] = c, t->matrix[3] = d;
}

void ApplyLayerTransform(vkTransform* t, int32_t objectWidth, int32_t objectHeight) {
  if (t->explicitFlag) {
    std::memcpy(t->matrix, t->explicitMatrix, sizeof t->matrix);
    return;
  }
  BuildTransformMatrix(t, t->width, t->height, objectWidth, objectHeight, t->scaleX, t->scaleY, t->rotate);
}

int32_t ParseDisplayTags(vkState* L, int index, int32_t objectWidth, int32_t objectHeight, int32_t presetWidth,
                         int32_t presetHeight, int32_t presetSmooth, vkTransform* t, vkLayerOptions* layer,
                         uint32_t flags) {
  if (flags & kTagsInit) {
    InitTransform(t);
    if (layer) *layer = vkLayerOptions{};
    t->width = presetWidth, t->height = presetHeight;
    if (!(flags & kTagsSmoothPreset)) t->smooth = presetSmooth;
  }
  if (index != vmGetTop(L)) return 0;
  if (vmType(L, index) != VK_TTABLE) {
    if (!(flags & kTagsNeedTable)) return 0;
    SetErrorNumber(index);
    return kErrTableExpected;
  }
  double m[4];
  if (OptFieldMatrix(L, index, "transform", m, nullptr)) {
    // A first or fourth factor of 0 is refused, as scripts have always seen.
    if (m[0] == 0.0 || m[3] == 0.0) return kErrWrongUsage;
    std::memcpy(t->explicitMatrix, m, sizeof m);
    std::memcpy(t->matrix, m, sizeof m);
    t->explicitFlag = 1;
  } else {
    int scaled = 0;
    OptFieldNumber(L, index, "scalex", &t->scaleX, &scaled);
    OptFieldNumber(L, index, "scaley", &t->scaleY, &scaled);
    if (t->scaleX == 0.0 || t->scaleY == 0.0) return kErrWrongUsage;
    if (!scaled && !(flags & kTagsNoSize)) {
      OptFieldInt(L, index, "width", &t->width, nullptr);
      OptFieldInt(L, index, "height", &t->height, nullptr);
    }
    if (!(flags & kTagsNoRotate)) {
      double r = 0;
      if (OptFieldNumber(L, index, "rotate", &r, nullptr)) t->rotate = vkDoubleToInt32(r) % 360;
      if (t->rotate != 0 && (flags & kTagsSmoothPreset)) t->smooth = presetSmooth;
    }
    BuildTransformMatrix(t, t->width, t->height, objectWidth, objectHeight, t->scaleX, t->scaleY, t->rotate);
  }
  OptFieldInt(L, index, "smoothscale", &t->smooth, nullptr);
  if (int32_t rc = ReadAnchor(L, index, "anchorx", &t->anchorX)) return rc;
  if (int32_t rc = ReadAnchor(L, index, "anchory", &t->anchorY)) return rc;
  return layer ? ReadLayerOptions(L, index, layer) : 0;
}

void GetDisplayedSize(const vkTransform& t, int32_t width, int32_t height, int32_t* outWidth, int32_t* outHeight) {
  const double* m = t.matrix;
  if (m[1] == 0.0 && m[2] == 0.0 && m[0] >= 0.0 && m[3] >= 0.0) {
    *outWidth = std::max(1, vkDoubleToInt32(width * m[0]));
    *outHeight = std::max(1, vkDoubleToInt32(height * m[3]));
    return;
  }
  GetTransformedSize(m, width, height, outWidth, outHeight, nullptr, nullptr);
}

int32_t TransformBitmapPlanes(vkGraphicsState& gs, const vkBitMap* bitmap, const vkPlane* mask, const vkPlane* alpha,
                              int32_t x, int32_t y, int32_t width, int32_t height, const vkTransform& t,
                              vkBitMapPtr* outBitMap, vkPlanePtr* outMask, vkPlanePtr* outAlpha, int32_t* outWidth,
                              int32_t* outHeight) {
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  int32_t rc, w = width, h = height;
  const double* mx = t.matrix;
  if (IsIdentity(t)) {
    rc = CopyBitMapRect(bitmap, mask, alpha, x, y, width, height, &b, mask ? &m : nullptr, alpha ? &a : nullptr);
  } else if (mx[1] == 0.0 && mx[2] == 0.0 && mx[0] >= 0.0 && mx[3] >= 0.0) {
    GetDisplayedSize(t, width, height, &w, &h);
    rc = ScaleBitMap(gs.scaleTables, bitmap, mask, alpha, x, y, nullptr, width, height, w, h, t.smooth != 0, &b,
                     mask ? &m : nullptr, alpha ? &a : nullptr);
  } else {
    rc = TransformBitMap(bitmap, mask, alpha, x, y, width, height, mx, t.smooth != 0, &b, &m, &a, &w, &h);
  }
  outBitMap->reset(b);
  outMask->reset(m);
  outAlpha->reset(a);
  if (rc) return rc;
  *outWidth = std::max(1, w);
  *outHeight = std::max(1, h);
  return 0;
}

vkDisplay* OutputDisplay(vkGraphicsState& gs) { return gs.CurrentDisplay; }
vkBGPic* OutputPicture(vkGraphicsState& gs) { return gs.CurrentBGPic; }

int32_t CopyPlanesRect(const vkBitmapSource& src, int32_t x, int32_t y, int32_t width, int32_t height, vkPlanes* out) {
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  const int32_t rc = CopyBitMapRect(src.bitmap, src.mask, src.alpha, x, y, width, height, src.bitmap ? &b : nullptr,
                                    src.mask ? &m : nullptr, src.alpha ? &a : nullptr);
  *out = vkPlanes{vkBitMapPtr(b), vkPlanePtr(m), vkPlanePtr(a)};
  return rc;
}

int32_t ScalePlanes(vkGraphicsState& gs, const vkBitmapSource& src, int32_t width, int32_t height, bool smooth,
                    vkPlanes* out) {
  vkBitMap* b = nullptr;
  vkPlane *m = nullptr, *a = nullptr;
  const int32_t rc = ScaleBitMap(gs.scaleTables, src.bitmap, src.mask, src.alpha, 0, 0, nullptr, src.width,
                                 src.height, width, height, smooth, &b, src.mask ? &m : nullptr,
                                 src.alpha ? &a : nullptr);
  *out = vkPlanes{vkBitMapPtr(b), vkPlanePtr(m), vkPlanePtr(a)};
  return rc;
}

int32_t ResolveOutputX(vkGraphicsState& gs, int32_t x, int32_t size, double anchor) {
  int32_t space, origin;
  OutputSpace(gs, true, &space, &origin);
  return ResolveSpecialX(x, size, space, origin, anchor);
}

int32_t ResolveOutputY(vkGraphicsState& gs, int32_t y, int32_t size, double anchor) {
  int32_t space, origin;
  OutputSpace(gs, false, &space, &origin);
  return ResolveSpecialY(y, size, space, origin, anchor);
}

int32_t DisplayBitmapObject(vkState* L, const vkDisplayRequest& rq) {
  vkGraphicsState& gs = GraphicsState(L);
  // Showing the very object drawing goes into ends that selection first.
  if (int32_t rc = EndSelectionOf(L, rq.type, rq.id, rq.frame)) return rc;
  vkBrushList& hooks = Brushes(gs);
  vkBitmapSource src;
  int32_t width = rq.width, height = rq.height;
  vkDisplay* display = OutputDisplay(gs);
  const bool layersOn = display && display->layersOn;
  if (rq.source) src = *rq.source;
  else switch (rq.type) {
    case kObjectBrush:
    case kObjectBrushPart: {
      vkBrush* brush = nullptr;
      const uint32_t find = (rq.flags & kDisplayForLayer) ? kBrushFindOrphaned : 0;
      if (int32_t rc = FindBrush(gs, rq.id, &brush, find)) return rc;
      if (brush->kind == kBrushVector) {
        if (rq.type == kObjectBrushPart) return kErrBrushType;
        if (brush->transformed && layersOn) return kErrVectorBrushLayer;
      }
      src = BrushSource(*brush);
      if (!src.bitmap) return kErrBrushType;
      break;
    }
    case kObjectAnim:
    case kObjectBGPicPart: {
      vkBitmapSourceHook find = rq.type == kObjectAnim ? hooks.animSource : hooks.bgpicSource;
      if (!find) return kErrWrongUsage;
      if (int32_t rc = find(L, rq.type, rq.id, rq.frame, &src)) return rc;
      break;
    }
    default:
      return kErrWrongUsage;
  }
  if (rq.type == kObjectBrush || rq.type == kObjectAnim || rq.source) width = src.width, height = src.height;
  if (width < 1 || height < 1) return kErrSizeNotPositive;

  vkTransform t;
  vkLayerOptions options;
  if (rq.transform) {
    t = *rq.transform;
    if (rq.flags & kDisplayForLayer) ApplyLayerTransform(&t, width, height);
  } else if (rq.optionsIndex) {
    if (int32_t rc = ParseDisplayTags(L, rq.optionsIndex, width, height, width, height, 0, &t, &options,
                                      kTagsInit | kTagsNeedTable))
      return rc;
  }
  if (rq.layerOptions) options = *rq.layerOptions;

  int32_t shownW, shownH;
  GetDisplayedSize(t, width, height, &shownW, &shownH);
  int32_t x = ResolveOutputX(gs, rq.x, shownW, t.anchorX);
  int32_t y = ResolveOutputY(gs, rq.y, shownH, t.anchorY);
  const int32_t sx = ResolveSpecialX(rq.sx, width, src.width, 0, 0);
  const int32_t sy = ResolveSpecialY(rq.sy, height, src.height, 0, 0);
  if (sx < 0 || sy < 0) return kErrNegativeCoords;
  if (sx >= src.width || sy >= src.height) return kErrCoordsOutOfRange;
  width = std::min(width, src.width - sx);
  height = std::min(height, src.height - sy);

  if (int32_t rc = PrepareDrawing(L)) return rc;
  // With layers on the layer is the drawing: it is composed and shown at once.
  if (layersOn && hooks.addLayer) return hooks.addLayer(L, rq, src, t, options, x, y);
  if (rq.flags & kDisplayNoDraw) return 0;

  // Planes made for this call live until it returns.
  vkBitMapPtr madeBitMap;
  vkPlanePtr madeMask, madeAlpha;
  const vkBitMap* bitmap = src.bitmap;
  const vkPlane* mask = src.mask;
  const vkPlane* alpha = src.alpha;
  int32_t bx = sx, by = sy;
  if (!IsIdentity(t)) {
    if (int32_t rc = TransformBitmapPlanes(gs, bitmap, mask, alpha, sx, sy, width, height, t, &madeBitMap, &madeMask,
                                           &madeAlpha, &width, &height))
      return rc;
    bitmap = madeBitMap.get(), mask = madeMask.get(), alpha = madeAlpha.get();
    bx = by = 0;
  }
  x -= vkDoubleToInt32(width * t.anchorX);
  y -= vkDoubleToInt32(height * t.anchorY);

  vkBGPic* out = OutputPicture(gs);
  vkBlitRequest blit;
  blit.src = bitmap;
  blit.sx = bx, blit.sy = by;
  blit.dx = x, blit.dy = y;
  blit.width = width, blit.height = height;
  blit.srcWidth = bx + width, blit.srcHeight = by + height;
  blit.mask = mask, blit.alpha = alpha;
  if (out) {
    blit.dstWidth = out->width, blit.dstHeight = out->height;
    blit.clip = out->activeClip;
  }
  // Any other target takes the blit through its drawing planes.
  if (!display || display->renderTarget == kTargetDisplay) blit.flags = kBlitBackground | kBlitRecompose;
  SafeBlt(gs, blit);
  return 0;
}
