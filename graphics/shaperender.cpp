// Shape rendering: shapes, lines and boxes become a work bitmap with a mask
// or alpha plane (drawn with the shape pen, or rasterized as coverage and
// composited) that is copied into the current output through SafeBlt or
// handed to the layers library as a vector layer. Opaque one-pixel lines
// and plain opaque boxes on a display take direct paths into the display's
// back buffer and window.
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <stdexcept>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "graphics/displays.h"
#include "graphics/fills.h"
#include "graphics/safeblt.h"
#include "graphics/shapes.h"
#include "pixel/blit.h"
#include "pixel/bitmapops.h"
#include "pixel/rastercontext.h"
#include "pixel/shapepen.h"

namespace {

// ---- The current output ---------------------------------------------------------

using Output = vkDrawOutput;

// Largest work bitmap side the renderer makes; a larger one is out of memory.
constexpr int32_t kMaxWorkSide = 32768;

}  // namespace

vkBitMap* DrawBitMapOf(const vkDrawOutput& o) {
  if (!o.display) return nullptr;
  return o.ToDisplay() ? o.display->backBuffer : o.bitmap;
}

bool DrawLayersOn(const vkDrawOutput& o) { return o.display && o.display->layersOn; }

namespace {

bool IsScaled(const vkDisplay* d) { return d->scaling != 0 && d->scaledWidth != 0 && d->scaledHeight != 0; }

// The rectangle drawing may touch: the clip region's, cut to the target.
struct Rect {
  int64_t x1 = 0, y1 = 0, x2 = -1, y2 = -1;  // inclusive
  bool Empty() const { return x1 > x2 || y1 > y2; }
};

Rect AllowedRect(const Output& o) {
  Rect r{0, 0, int64_t(o.width) - 1, int64_t(o.height) - 1};
  if (o.clip) {
    r.x1 = std::max<int64_t>(r.x1, o.clip->x), r.y1 = std::max<int64_t>(r.y1, o.clip->y);
    r.x2 = std::min<int64_t>(r.x2, int64_t(o.clip->x) + o.clip->width - 1);
    r.y2 = std::min<int64_t>(r.y2, int64_t(o.clip->y) + o.clip->height - 1);
  }
  return r;
}

bool ClipHasMask(const Output& o) { return o.clip && o.clip->mask && o.clip->mask->data; }

bool UnderSprite(const Output& o, int64_t x, int64_t y, int64_t w, int64_t h) {
  if (!o.record) return false;
  for (const vkSpriteInstance& s : o.record->sprites)
    if (x <= int64_t(s.x) + s.width - 1 && s.x <= x + w - 1 && y <= int64_t(s.y) + s.height - 1 &&
        s.y <= y + h - 1)
      return true;
  return false;
}

}  // namespace

bool DrawPointAllowed(const vkDrawOutput& o, int64_t x, int64_t y) {
  const Rect r = AllowedRect(o);
  if (x < r.x1 || x > r.x2 || y < r.y1 || y > r.y2) return false;
  if (!ClipHasMask(o)) return true;
  const vkPlane* m = o.clip->mask.get();
  const int64_t mx = x - o.clip->x, my = y - o.clip->y;
  if (mx < 0 || my < 0 || my >= m->height || mx >= int64_t(m->bytesPerRow) * 8) return false;
  return (m->data[my * m->bytesPerRow + (mx >> 3)] >> (7 - (mx & 7))) & 1;
}

namespace {

// ---- Work planes -------------------------------------------------------------------

struct Work {
  vkBitMapPtr bitmap;
  vkPlanePtr mask, alpha;
  int32_t width = 0, height = 0;
};

int32_t MakeWork(Work* w, int32_t width, int32_t height, bool withAlpha) {
  w->width = width, w->height = height;
  w->bitmap.reset(AllocArgbBitMap(width, height));
  if (!w->bitmap) return kErrOutOfMemory;
  if (withAlpha) w->alpha.reset(AllocAlphaPlane(width, height, true));
  else w->mask.reset(AllocMaskPlane(width, height, true));
  if (!w->mask && !w->alpha) return kErrOutOfMemory;
  return 0;
}

// What a pen paints with.
struct Paint {
  uint32_t rgb = 0;      // 0xRRGGBB
  int32_t opacity = 255;
  const vkBitMap* texture = nullptr;  // read at the pixel's own position
  int32_t maskMode = PENMASK_SET;
};

int32_t OpacityOf(uint32_t colour) { return 255 - int32_t(colour >> 24); }

vkShapePen MakePen(vkBitMap* bitmap, vkPlane* mask, vkPlane* alpha, int32_t width, int32_t height, const Paint& p) {
  vkShapePen pen;
  if (bitmap) {
    pen.pixels = bitmap->pixels;
    pen.bytesPerPixel = bitmap->bytesPerPixel;
    pen.pixelsPerRow = bitmap->bytesPerRow / std::max(bitmap->bytesPerPixel, 1);
    pen.format = bitmap->format;
    width = std::min(width, bitmap->width), height = std::min(height, bitmap->height);
  }
  if (mask) {
    pen.mask = mask->data, pen.maskBytesPerRow = mask->bytesPerRow;
    width = std::min(width, mask->bytesPerRow * 8), height = std::min(height, mask->height);
  }
  if (alpha) {
    pen.alpha = alpha->data, pen.alphaBytesPerRow = alpha->bytesPerRow;
    width = std::min(width, alpha->bytesPerRow), height = std::min(height, alpha->height);
  }
  pen.width = width, pen.height = height;
  const uint32_t rgb = p.rgb & 0xFFFFFF;
  pen.color = bitmap ? RGBToPixel(rgb, bitmap->format) : rgb;
  if (bitmap && bitmap->bytesPerPixel == 2) {
    const uint32_t v = pen.color;
    pen.red = int32_t((v >> 8) & 248), pen.green = int32_t((v >> 3) & 252), pen.blue = int32_t((v << 3) & 248);
  } else {
    pen.red = int32_t(rgb >> 16), pen.green = int32_t((rgb >> 8) & 255), pen.blue = int32_t(rgb & 255);
  }
  pen.opacity = std::clamp(p.opacity, 0, 255);
  pen.coverage = pen.opacity;
  pen.maskMode = p.maskMode;
  if (p.texture && bitmap && p.texture->format == bitmap->format && p.texture->width >= width &&
      p.texture->height >= height) {
    pen.texture = p.texture->pixels;
    pen.texturePerRow = p.texture->bytesPerRow / std::max(p.texture->bytesPerPixel, 1);
  }
  return pen;
}

void ClipPen(vkShapePen& pen, const Output& o) {
  const Rect r = AllowedRect(o);
  pen.clipEnabled = 1;
  pen.clipX = int32_t(std::clamp<int64_t>(r.x1, INT32_MIN, INT32_MAX));
  pen.clipY = int32_t(std::clamp<int64_t>(r.y1, INT32_MIN, INT32_MAX));
  pen.clipWidth = int32_t(std::clamp<int64_t>(r.x2 - r.x1 + 1, 0, INT32_MAX));
  pen.clipHeight = int32_t(std::clamp<int64_t>(r.y2 - r.y1 + 1, 0, INT32_MAX));
  if (ClipHasMask(o)) {
    // The mask is relative to the region; the pen's is relative to its clip
    // rectangle, which starts inside the region when the region reaches
    // outside the target.
    if (r.x1 != o.clip->x || r.y1 != o.clip->y) {
      pen.clipX = o.clip->x, pen.clipY = o.clip->y;
      pen.clipWidth = int32_t(std::min<int64_t>(r.x2 - o.clip->x + 1, INT32_MAX));
      pen.clipHeight = int32_t(std::min<int64_t>(r.y2 - o.clip->y + 1, INT32_MAX));
    }
    pen.clipMask = o.clip->mask->data;
    pen.clipMaskBytesPerRow = o.clip->mask->bytesPerRow;
  }
}

int32_t ClampInt(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

int32_t ToInt(double v) { return vkDoubleToInt32(std::clamp(v, -1073741824.0, 1073741824.0)); }

// A coverage image of a line (two points) or polygon and where its top-left
// lies. It covers the whole shape when that is of moderate size, so that a
// shape renders the same wherever it is cut; a larger one is cut to the box.
struct Coverage {
  vkRasterContextPtr image;
  uint8_t* bytes = nullptr;
  int32_t stride = 0, width = 0, height = 0;
  int64_t x = 0, y = 0;
};
constexpr int64_t kUncutArea = int64_t(1) << 22;

// 0 with nothing in *[out] when the shape misses the box x1..x2, y1..y2.
int32_t RasterizePath(const vkPoint* pts, size_t count, bool line, bool filled, int32_t thickness, bool antialias,
                      int64_t x1, int64_t y1, int64_t x2, int64_t y2, Coverage* out) {
  double bx1 = pts[0].x, by1 = pts[0].y, bx2 = bx1, by2 = by1;
  for (size_t i = 1; i < count; i++) {
    bx1 = std::min(bx1, pts[i].x), bx2 = std::max(bx2, pts[i].x);
    by1 = std::min(by1, pts[i].y), by2 = std::max(by2, pts[i].y);
  }
  const double grow = (filled ? 0 : thickness) + 2;
  const int64_t fx1 = int64_t(std::max(std::floor(bx1 - grow), -1e12)), fy1 = int64_t(std::max(std::floor(by1 - grow), -1e12));
  const int64_t fx2 = int64_t(std::min(std::ceil(bx2 + grow), 1e12)), fy2 = int64_t(std::min(std::ceil(by2 + grow), 1e12));
  const int64_t cx1 = std::max(fx1, x1), cy1 = std::max(fy1, y1), cx2 = std::min(fx2, x2), cy2 = std::min(fy2, y2);
  if (cx1 > cx2 || cy1 > cy2) return 0;
  const int64_t fw = fx2 - fx1 + 1, fh = fy2 - fy1 + 1;
  const bool whole = fw <= kMaxWorkSide && fh <= kMaxWorkSide && fw * fh <= kUncutArea;
  out->x = whole ? fx1 : cx1, out->y = whole ? fy1 : cy1;
  const int32_t w = int32_t(whole ? fw : cx2 - cx1 + 1), h = int32_t(whole ? fh : cy2 - cy1 + 1);
  if (int32_t rc = CreateRasterContext(w, h, &out->image, &out->bytes, &out->stride)) return rc;
  out->width = w, out->height = h;
  std::vector<int32_t> xy;
  try {
    xy.reserve(count * 2);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  for (size_t i = 0; i < count; i++) {
    xy.push_back(ToInt(pts[i].x - double(out->x)));
    xy.push_back(ToInt(pts[i].y - double(out->y)));
  }
  if (line) return RasterizeLine(out->image.get(), xy[0], xy[1], xy[2], xy[3], antialias, thickness);
  return RasterizePolygon(out->image.get(), xy.data(), int32_t(count), antialias, filled ? 0 : thickness);
}

// Draws one line (two points) or one polygon into the pen's planes: lines
// of one pixel directly, the rest through a coverage image. 0 or 1000.
int32_t DrawPenShape(vkShapePen& pen, const vkPoint* pts, size_t count, bool line, bool filled, int32_t thickness,
                     bool antialias) {
  if (count == 0) return 0;
  if (line && thickness <= 1) {
    const int32_t x1 = ToInt(pts[0].x), y1 = ToInt(pts[0].y), x2 = ToInt(pts[1].x), y2 = ToInt(pts[1].y);
    if (antialias) DrawPenLineAA(&pen, x1, y1, x2, y2);
    else DrawPenLine(&pen, x1, y1, x2, y2);
    return 0;
  }
  if (thickness > 255) return 0;
  int64_t x1 = 0, y1 = 0, x2 = int64_t(pen.width) - 1, y2 = int64_t(pen.height) - 1;
  if (pen.clipEnabled) {
    x1 = std::max<int64_t>(x1, pen.clipX), y1 = std::max<int64_t>(y1, pen.clipY);
    x2 = std::min<int64_t>(x2, int64_t(pen.clipX) + pen.clipWidth - 1);
    y2 = std::min<int64_t>(y2, int64_t(pen.clipY) + pen.clipHeight - 1);
  }
  // Filled polygons are drawn sharp here; their anti-aliased fills are
  // composited by the shape renderer.
  const bool smooth = antialias && (line || !filled);
  Coverage c;
  if (int32_t rc = RasterizePath(pts, count, line, filled, thickness, smooth, x1, y1, x2, y2, &c)) return rc;
  if (!c.image) return 0;
  pen.coverage = pen.opacity;
  CompositeCoverage(c.bytes, c.x, c.y, &pen, c.width, c.height, c.stride, !smooth);
  return 0;
}

// Lays [rgb] (or the texture's pixel) over the work bitmap and its alpha
// plane where the coverage image is set, weighted by the opacity.
void CompositeOver(Work& w, const uint8_t* coverage, int32_t stride, int32_t cw, int32_t ch, int32_t x0, int32_t y0,
                   uint32_t rgb, const vkBitMap* texture, int32_t opacity) {
  for (int32_t j = 0; j < ch; j++) {
    const int32_t y = y0 + j;
    if (y < 0 || y >= w.height) continue;
    uint32_t* row = reinterpret_cast<uint32_t*>(w.bitmap->pixels + size_t(y) * size_t(w.bitmap->bytesPerRow));
    uint8_t* arow = w.alpha->data + size_t(y) * size_t(w.alpha->bytesPerRow);
    const uint32_t* trow =
        texture ? reinterpret_cast<const uint32_t*>(texture->pixels + size_t(y) * size_t(texture->bytesPerRow)) : nullptr;
    for (int32_t i = 0; i < cw; i++) {
      const int32_t x = x0 + i;
      const int32_t c = coverage[size_t(j) * size_t(stride) + size_t(i)];
      if (c == 0 || x < 0 || x >= w.width) continue;
      const int32_t a = c * opacity / 255;
      if (a == 0) continue;
      const uint32_t src = trow ? trow[x] : rgb;
      const int32_t da = arow[x];
      const int32_t under = da * (255 - a) / 255;
      const int32_t outA = a + under;
      const uint32_t dst = row[x];
      uint32_t out = 0;
      for (int s = 0; s <= 16; s += 8) {
        const int32_t sc = int32_t((src >> s) & 255), dc = int32_t((dst >> s) & 255);
        out |= uint32_t((sc * a + dc * under + outA / 2) / outA) << s;
      }
      row[x] = out;
      arow[x] = uint8_t(outA);
    }
  }
}

// ---- Showing and layers ----------------------------------------------------------------

// Copies the work planes to (x, y) of the current output through its clip
// region, as every drawing command does.
void ShowWork(vkGraphicsState& gs, const Output& o, const Work& w, int32_t x, int32_t y) {
  vkBlitRequest blit;
  blit.src = w.bitmap.get();
  blit.dx = x, blit.dy = y;
  blit.width = w.width, blit.height = w.height;
  blit.srcWidth = w.width, blit.srcHeight = w.height;
  blit.mask = w.mask.get(), blit.alpha = w.alpha.get();
  blit.dstWidth = o.width, blit.dstHeight = o.height;
  blit.clip = o.clip;
  // Any other target takes the blit through its drawing planes.
  if (!o.display || o.ToDisplay()) blit.flags = kBlitBackground | kBlitRecompose;
  SafeBlt(gs, blit);
  if (o.renderTarget == kTargetBGPic && o.display && w.width > 0 && w.height > 0)
    o.display->dirtyRects.push_back({x, y, int32_t(std::min<int64_t>(int64_t(x) + w.width - 1, INT32_MAX)),
                                     int32_t(std::min<int64_t>(int64_t(y) + w.height - 1, INT32_MAX))});
}

// Where a finished work bitmap goes: into the layer being rendered again, a
// new layer, or the output. 0 or an error code.
int32_t Deliver(vkState* L, const Output& o, Work& w, int32_t x, int32_t y, int32_t type, vkShapeRecord* record,
                const vkTransform& t, const vkLayerOptions& options, vkShapePlanes* out, int32_t insertPos,
                uint32_t flags) {
  vkGraphicsState& gs = GraphicsState(L);
  std::unique_ptr<vkShapeRecord> owned(record);
  if (flags & kRenderAgain) {
    if (!out) return kErrWrongUsage;
    out->bitmap = std::move(w.bitmap), out->mask = std::move(w.mask), out->alpha = std::move(w.alpha);
    out->x = x, out->y = y, out->width = w.width, out->height = w.height;
    return 0;
  }
  if (DrawLayersOn(o) && gs.shapeLayers.add) {
    return gs.shapeLayers.add(L, type, x, y, w.width, w.height, w.bitmap.release(), w.mask.release(),
                              w.alpha.release(), owned.release(), &t, &options,
                              (flags & kRenderAtLayer) ? insertPos : -1, flags | 2);
  }
  ShowWork(gs, o, w, x, y);
  return 0;
}

bool Layered(vkGraphicsState& gs, const Output& o, uint32_t flags) {
  return DrawLayersOn(o) && gs.shapeLayers.add && !(flags & kRenderAgain);
}

vkShapeRecord* NewRecord(vkState* L, const vkShapeRequest& rq, const vkDrawState& ds) {
  auto* r = new (std::nothrow) vkShapeRecord;
  if (!r) return nullptr;
  r->L = L;
  r->request = rq;
  r->drawState = ds;
  r->request.drawState = nullptr;
  r->request.out = nullptr;
  return r;
}

// The texture or gradient a shape is filled with, as a bitmap of the work
// size whose main-shape rectangle holds the fill. 0 or an error code.
int32_t MakeFillArea(vkState* L, const vkDrawState& ds, const vkTransform& t, int32_t width, int32_t height,
                     int32_t ax, int32_t ay, int32_t aw, int32_t ah, vkBitMapPtr* out) {
  if (ds.fillStyle != FILLGRADIENT && ds.fillStyle != FILLTEXTURE) return 0;
  vkGraphicsState& gs = GraphicsState(L);
  vkBitMapPtr area(AllocArgbBitMap(width, height));
  if (!area) return kErrOutOfMemory;
  if (ds.fillStyle == FILLGRADIENT) {
    // The gradient runs over the whole shape, drawn or not.
    if (aw > kMaxWorkSide || ah > kMaxWorkSide) return kErrOutOfMemory;
    DrawGradient(area.get(), ax, ay, aw, ah, ds.gradientStart & 0xFFFFFF, ds.gradientEnd & 0xFFFFFF,
                 ds.gradientAngle);
  } else {
    if (!gs.brushHooks.find) return kErrWrongUsage;
    vkBrushView view;
    if (int32_t rc = gs.brushHooks.find(L, ds.texture, &view)) return rc;
    if (!view.bitmap) return kErrWrongUsage;
    const vkBitMap* texture = view.bitmap;
    int32_t tw = view.width, th = view.height;
    vkPlanes scaled;
    const double sx = std::fabs(t.scaleX), sy = std::fabs(t.scaleY);
    if ((sx != 1.0 || sy != 1.0) && sx > 0 && sy > 0) {
      const int32_t nw = std::max(1, vkDoubleToInt32(tw * sx)), nh = std::max(1, vkDoubleToInt32(th * sy));
      vkBitmapSource src{view.bitmap, nullptr, nullptr, tw, th};
      if (int32_t rc = ScalePlanes(gs, src, nw, nh, t.smooth != 0, &scaled)) return rc;
      texture = scaled.bitmap.get(), tw = nw, th = nh;
    }
    TileTexture(area.get(), ax, ay, aw, ah, texture, ds.textureX, ds.textureY, tw, th);
  }
  *out = std::move(area);
  return 0;
}

constexpr int32_t kShadowDX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
constexpr int32_t kShadowDY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

void Shift(std::vector<vkPoint>& pts, double dx, double dy) {
  for (vkPoint& p : pts) p.x += dx, p.y += dy;
}

void Bounds(const std::vector<vkPoint>& pts, double* x1, double* y1, double* x2, double* y2) {
  *x1 = *y1 = 0, *x2 = *y2 = -1;
  for (size_t i = 0; i < pts.size(); i++) {
    if (i == 0) *x1 = *x2 = pts[i].x, *y1 = *y2 = pts[i].y;
    *x1 = std::min(*x1, pts[i].x), *x2 = std::max(*x2, pts[i].x);
    *y1 = std::min(*y1, pts[i].y), *y2 = std::max(*y2, pts[i].y);
  }
}

int32_t SizeOf(double lo, double hi) { return vkDoubleToInt32(std::min(hi - lo + 1, 1073741824.0)); }

}  // namespace

// ---- RenderShape --------------------------------------------------------------------------

int32_t RenderShape(vkState* L, vkShapeRequest& rq, uint32_t flags) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDrawLib& lib = DrawLib(gs);
  if (int32_t rc = PrepareDrawing(L)) return rc;
  const Output o = CurrentDrawOutput(gs);
  vkTransform t = rq.transform;
  if (flags & kRenderAtLayer) ApplyLayerTransform(&t, rq.width, rq.height);
  int32_t x = ResolveOutputX(gs, rq.x, rq.width, t.anchorX);
  int32_t y = ResolveOutputY(gs, rq.y, rq.height, t.anchorY);

  vkDrawState ds = rq.drawState ? *rq.drawState : lib.state;
  ClampFormStyle(&ds);
  const int32_t fill = ds.fillStyle;
  const bool decorated = fill != FILLNONE;
  const int32_t e = (decorated && (ds.formStyle & kFormEdge)) ? ds.edgeSize : 0;
  const int32_t s = (decorated && (ds.formStyle & kFormShadow)) ? ds.shadowSize : 0;
  const bool aa = (ds.formStyle & kFormAntialias) != 0;
  const bool layered = Layered(gs, o, flags);
  const bool mapped = !IsIdentity(t) && !layered;
  const double* m = mapped ? t.matrix : nullptr;

  // The main path, and the edge path around it, both starting at 0, 0.
  auto build = [&](int32_t w, int32_t h, std::vector<vkPoint>& out, int32_t* ow, int32_t* oh) {
    const double ax = std::trunc(t.anchorX * w), ay = std::trunc(t.anchorY * h);
    std::array<double, 4> b{};
    const bool curve = rq.type != kShapePolygon && !(rq.type == kShapeBox && rq.roundlevel == 0);
    BuildShapePath(lib, rq, w, h, curve ? m : nullptr, ax, ay, &b, out);
    if (curve) {
      if (!m) {
        *ow = w, *oh = h;
        return;
      }
      Shift(out, -b[0], -b[1]);
      *ow = SizeOf(b[0], b[2]), *oh = SizeOf(b[1], b[3]);
      return;
    }
    if (m) {
      int32_t mx, my;
      TransformShapePoints(m, ax, ay, out, true, &mx, &my, ow, oh);
    } else {
      *ow = w, *oh = h;
    }
  };
  std::vector<vkPoint>& mainPath = lib.mainPath;
  std::vector<vkPoint>& edgePath = lib.edgePath;
  int32_t mw = 0, mh = 0;
  try {
    build(rq.width, rq.height, mainPath, &mw, &mh);
    edgePath.clear();
    int32_t sw = mw, sh = mh, mx = 0, my = 0;
    if (e > 0) {
      if (rq.type == kShapePolygon) {
        OffsetPolygon(mainPath, e, edgePath);
        double x1, y1, x2, y2;
        Bounds(edgePath, &x1, &y1, &x2, &y2);
        x1 = std::floor(x1), y1 = std::floor(y1);
        Shift(edgePath, -x1, -y1);
        Shift(mainPath, -x1, -y1);
        mx = vkDoubleToInt32(-x1), my = vkDoubleToInt32(-y1);
        sw = SizeOf(0, std::ceil(x2 - x1)), sh = SizeOf(0, std::ceil(y2 - y1));
      } else {
        build(int32_t(std::min<int64_t>(int64_t(rq.width) + 2 * e, INT32_MAX)),
              int32_t(std::min<int64_t>(int64_t(rq.height) + 2 * e, INT32_MAX)), edgePath, &sw, &sh);
        mx = (sw - mw) / 2, my = (sh - mh) / 2;
        Shift(mainPath, mx, my);
      }
    }
    // The shadow widens the work area and moves the silhouette inside it.
    const int32_t dir = ds.shadowDir;
    int64_t ox = 0, oy = 0, tw = sw, th = sh;
    if (s > 0) {
      if (dir != 0 && dir != 4) tw += s;
      if (dir != 2 && dir != 6) th += s;
      if (dir == 5 || dir == 6 || dir == 7) ox = s;
      if (dir == 0 || dir == 1 || dir == 7) oy = s;
    }
    const int64_t pad = aa ? 2 : 0;
    if (aa) tw += 5, th += 5;
    if (tw < 1 || th < 1) return 0;
    int64_t mainX = ox + pad + mx, mainY = oy + pad + my;  // main shape in the work area
    // Placement: the anchor point stays where the script put it.
    int64_t px = int64_t(x) - int64_t(std::trunc(mw * t.anchorX)) - mainX;
    int64_t py = int64_t(y) - int64_t(std::trunc(mh * t.anchorY)) - mainY;
    int64_t shiftX = ox + pad, shiftY = oy + pad;
    if (!layered && !(flags & kRenderAgain)) {
      // Drawn at once: only the part the output can show is rendered.
      const Rect r = AllowedRect(o);
      const int64_t x1 = std::max(px, r.x1), y1 = std::max(py, r.y1);
      const int64_t x2 = std::min(px + tw - 1, r.x2), y2 = std::min(py + th - 1, r.y2);
      if (x1 > x2 || y1 > y2) return 0;
      shiftX -= x1 - px, shiftY -= y1 - py, mainX -= x1 - px, mainY -= y1 - py;
      px = x1, py = y1, tw = x2 - x1 + 1, th = y2 - y1 + 1;
    }
    if (tw > kMaxWorkSide || th > kMaxWorkSide) return kErrOutOfMemory;
    Shift(mainPath, double(shiftX), double(shiftY));
    Shift(edgePath, double(shiftX), double(shiftY));

    // The work planes: a mask when all is opaque and sharp.
    const int32_t opacity = OpacityOf(rq.color);
    const int32_t edgeOpacity = OpacityOf(ds.edgeColor), shadowOpacity = OpacityOf(ds.shadowColor);
    const bool opaque = opacity == 255 && (e == 0 || edgeOpacity == 255) && (s == 0 || shadowOpacity == 255);
    Work w;
    if (int32_t rc = MakeWork(&w, int32_t(tw), int32_t(th), !opaque || aa)) return rc;
    vkBitMapPtr area;
    if (int32_t rc = MakeFillArea(L, ds, t, int32_t(tw), int32_t(th), ClampInt(mainX), ClampInt(mainY), mw, mh, &area))
      return rc;

    const std::vector<vkPoint>& silhouette = e > 0 ? edgePath : mainPath;
    std::vector<vkPoint>& shadowPath = lib.scratch;
    shadowPath = silhouette;
    if (s > 0) Shift(shadowPath, kShadowDX[dir] * s, kShadowDY[dir] * s);
    struct Part {
      const std::vector<vkPoint>* path;
      uint32_t rgb;
      int32_t opacity;
      const vkBitMap* texture;
    };
    std::vector<Part> parts;
    if (s > 0) parts.push_back({&shadowPath, ds.shadowColor, shadowOpacity, nullptr});
    if (e > 0) parts.push_back({&edgePath, ds.edgeColor, edgeOpacity, nullptr});
    parts.push_back({&mainPath, fill == FILLCOLOR || fill == FILLNONE ? rq.color : 0, opacity, area.get()});

    for (const Part& p : parts) {
      if (!aa || !decorated) {
        Paint paint{p.rgb, p.opacity, p.texture};
        vkShapePen pen = MakePen(w.bitmap.get(), w.mask.get(), w.alpha.get(), w.width, w.height, paint);
        if (int32_t rc = DrawPenShape(pen, p.path->data(), p.path->size(), false, decorated,
                                      decorated ? 0 : ds.outlineThickness, aa))
          return rc;
        continue;
      }
      Coverage c;
      if (int32_t rc = RasterizePath(p.path->data(), p.path->size(), false, true, 0, true, 0, 0, w.width - 1,
                                     w.height - 1, &c))
        return rc;
      if (c.image)
        CompositeOver(w, c.bytes, c.stride, c.width, c.height, int32_t(c.x), int32_t(c.y), p.rgb & 0xFFFFFF, p.texture,
                      p.opacity);
    }

    const int32_t wx = ClampInt(px), wy = ClampInt(py);
    vkShapeRecord* record = nullptr;
    if (layered) {
      record = NewRecord(L, rq, ds);
      if (!record) return kErrOutOfMemory;
    }
    return Deliver(L, o, w, wx, wy, rq.type, record, rq.transform, rq.options, rq.out, rq.insertPos, flags);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  } catch (const std::length_error&) {
    return kErrOutOfMemory;
  }
}

// ---- Lines ----------------------------------------------------------------------------------

namespace {

// Shows the window's part of a line just drawn into the back buffer, in
// strips along its major axis so that a long slanted line copies little.
void ShowLineOnWindow(vkGraphicsState& gs, vkDisplay* d, int64_t x1, int64_t y1, int64_t x2, int64_t y2,
                      const Rect& r) {
  if (!d->os) return;
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t a1 = xMajor ? std::min(x1, x2) : std::min(y1, y2);
  const int64_t a2 = xMajor ? std::max(x1, x2) : std::max(y1, y2);
  constexpr int64_t kStrip = 64;
  for (int64_t a = std::max(a1, xMajor ? r.x1 : r.y1); a <= std::min(a2, xMajor ? r.x2 : r.y2); a += kStrip) {
    const int64_t b = std::min({a + kStrip - 1, a2, xMajor ? r.x2 : r.y2});
    // The minor range of the strip, from the line's equation, one pixel wider.
    auto minorAt = [&](int64_t at) {
      const int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx, from = xMajor ? x1 : y1,
                    base = xMajor ? y1 : x1;
      return major == 0 ? double(base) : double(base) + double(minor) * double(at - from) / double(major);
    };
    const double m1 = minorAt(a), m2 = minorAt(b);
    int64_t c1 = int64_t(std::floor(std::min(m1, m2))) - 1, c2 = int64_t(std::ceil(std::max(m1, m2))) + 1;
    c1 = std::max(c1, xMajor ? r.y1 : r.x1), c2 = std::min(c2, xMajor ? r.y2 : r.x2);
    if (c1 > c2) continue;
    const int32_t rx = int32_t(xMajor ? a : c1), ry = int32_t(xMajor ? c1 : a);
    const int32_t rw = int32_t(xMajor ? b - a + 1 : c2 - c1 + 1), rh = int32_t(xMajor ? c2 - c1 + 1 : b - a + 1);
    BltToWindow(gs, d->backBuffer, rx, ry, d, rx, ry, rw, rh, 0);
  }
}

// Shows a rectangle of the back buffer (or the whole scaled picture).
void ShowRect(vkGraphicsState& gs, vkDisplay* d, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (IsScaled(d)) BltToWindow(gs, d->screenBuffer, 0, 0, d, 0, 0, d->screenBuffer->width, d->screenBuffer->height, 1);
  else BltToWindow(gs, d->backBuffer, x, y, d, x, y, w, h, 0);
}

bool DirectDisplay(const Output& o) {
  const vkDisplay* d = o.display;
  return d && !DrawLayersOn(o) && o.renderTarget == kTargetDisplay && d->backBuffer && !d->doubleBuffer &&
         !ClipHasMask(o) && !(o.record && o.record->alpha);
}

}  // namespace

int32_t RenderLine(vkState* L, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t thickness,
                   const vkDrawState& drawState, const vkTransform& t, const vkLayerOptions& options,
                   vkShapePlanes* out, int32_t insertPos, uint32_t flags) {
  vkGraphicsState& gs = GraphicsState(L);
  if (int32_t rc = PrepareDrawing(L)) return rc;
  const Output o = CurrentDrawOutput(gs);
  int64_t ax1 = ResolveOutputX(gs, x1, 1, t.anchorX), ay1 = ResolveOutputY(gs, y1, 1, t.anchorY);
  int64_t ax2 = ResolveOutputX(gs, x2, 1, t.anchorX), ay2 = ResolveOutputY(gs, y2, 1, t.anchorY);
  vkDrawState ds = drawState;
  ClampFormStyle(&ds);
  const bool layered = Layered(gs, o, flags);
  if (!IsIdentity(t) && !layered) {
    const double bx = double(std::min(ax1, ax2)), by = double(std::min(ay1, ay2));
    const double px = bx + std::trunc(double(std::llabs(ax2 - ax1) + 1) * t.anchorX);
    const double py = by + std::trunc(double(std::llabs(ay2 - ay1) + 1) * t.anchorY);
    auto map = [&](int64_t& x, int64_t& y) {
      const double dx = double(x) - px, dy = double(y) - py;
      x = vkDoubleToInt32(std::nearbyint(px + t.matrix[0] * dx + t.matrix[2] * dy));
      y = vkDoubleToInt32(std::nearbyint(py + t.matrix[1] * dx + t.matrix[3] * dy));
    };
    map(ax1, ay1);
    map(ax2, ay2);
    thickness = vkDoubleToInt32(std::nearbyint(thickness * std::hypot(t.matrix[0], t.matrix[1])));
  }
  thickness = std::clamp(thickness, 1, 64);
  const bool aa = (ds.formStyle & kFormAntialias) != 0;
  const int32_t opacity = OpacityOf(color);

  if (!(flags & kRenderAgain) && DirectDisplay(o) && opacity == 255 && !aa && thickness == 1) {
    const Rect r = AllowedRect(o);
    double a1 = double(ax1), b1 = double(ay1), a2 = double(ax2), b2 = double(ay2);
    if (r.Empty() || !ClipSegmentToRange(&a1, &b1, &a2, &b2, double(r.x1), double(r.x2)) ||
        !ClipSegmentToRange(&b1, &a1, &b2, &a2, double(r.y1), double(r.y2)))
      return 0;
    const int64_t bx = std::min(ax1, ax2), by = std::min(ay1, ay2);
    if (!UnderSprite(o, bx, by, std::llabs(ax2 - ax1) + 1, std::llabs(ay2 - ay1) + 1)) {
      vkDisplay* d = o.display;
      const Paint paint{color, 255};
      vkShapePen pen = MakePen(d->backBuffer, nullptr, nullptr, o.width, o.height, paint);
      ClipPen(pen, o);
      DrawPenLine(&pen, int32_t(ax1), int32_t(ay1), int32_t(ax2), int32_t(ay2));
      if (IsScaled(d) && d->screenBuffer) {
        vkShapePen mirror = MakePen(d->screenBuffer, nullptr, nullptr, o.width, o.height, paint);
        ClipPen(mirror, o);
        DrawPenLine(&mirror, int32_t(ax1), int32_t(ay1), int32_t(ax2), int32_t(ay2));
        ShowRect(gs, d, 0, 0, 0, 0);
      } else {
        ShowLineOnWindow(gs, d, ax1, ay1, ax2, ay2, r);
      }
      return 0;
    }
  }

  // The general path: a work bitmap around the line.
  int64_t left = std::min(ax1, ax2), top = std::min(ay1, ay2);
  int64_t w = std::llabs(ax2 - ax1) + 1, h = std::llabs(ay2 - ay1) + 1;
  int64_t grow = 0;
  if (thickness > 1) {
    if (aa) grow += 2, w += 5, h += 5;
    grow += thickness / 2, w += thickness, h += thickness;
  }
  left -= grow, top -= grow;
  // Only the part that can show is rendered.
  const Rect r = AllowedRect(o);
  if (!layered && !(flags & kRenderAgain)) {
    if (r.Empty()) return 0;
    const int64_t cx1 = std::max(left, r.x1), cy1 = std::max(top, r.y1);
    const int64_t cx2 = std::min(left + w - 1, r.x2), cy2 = std::min(top + h - 1, r.y2);
    if (cx1 > cx2 || cy1 > cy2) return 0;
    left = cx1, top = cy1, w = cx2 - cx1 + 1, h = cy2 - cy1 + 1;
  }
  if (w > kMaxWorkSide || h > kMaxWorkSide) return kErrOutOfMemory;
  Work work;
  if (int32_t rc = MakeWork(&work, int32_t(w), int32_t(h), opacity != 255 || aa)) return rc;
  const Paint paint{color, opacity};
  vkShapePen pen = MakePen(work.bitmap.get(), work.mask.get(), work.alpha.get(), int32_t(w), int32_t(h), paint);
  const vkPoint ends[2] = {{double(ax1 - left), double(ay1 - top)}, {double(ax2 - left), double(ay2 - top)}};
  if (int32_t rc = DrawPenShape(pen, ends, 2, true, false, thickness, aa)) return rc;
  vkShapeRecord* record = nullptr;
  if (layered) {
    vkShapeRequest rq;
    rq.type = kShapeLine, rq.x = int32_t(left), rq.y = int32_t(top), rq.color = color;
    rq.transform = t, rq.options = options;
    record = NewRecord(L, rq, ds);
    if (!record) return kErrOutOfMemory;
    record->x1 = x1, record->y1 = y1, record->x2 = x2, record->y2 = y2, record->thickness = thickness;
  }
  return Deliver(L, o, work, int32_t(left), int32_t(top), kShapeLine, record, t, options, out, insertPos, flags);
}

// ---- Boxes ----------------------------------------------------------------------------------

namespace {

// Fills the rectangle in every plane present (colour, set bits, opacity),
// or draws its four one-pixel sides; cut to the work planes.
void FillOrFrameRect(Work& w, int64_t x, int64_t y, int64_t width, int64_t height, uint32_t rgb, int32_t opacity,
                     bool filled, const vkBitMap* area) {
  auto fill = [&](int64_t rx, int64_t ry, int64_t rw, int64_t rh) {
    const int64_t x1 = std::max<int64_t>(rx, 0), y1 = std::max<int64_t>(ry, 0);
    const int64_t x2 = std::min<int64_t>(rx + rw, w.width), y2 = std::min<int64_t>(ry + rh, w.height);
    if (x1 >= x2 || y1 >= y2) return;
    const int32_t cx = int32_t(x1), cy = int32_t(y1), cw = int32_t(x2 - x1), ch = int32_t(y2 - y1);
    if (area) BltBitMap(area, cx, cy, w.bitmap.get(), cx, cy, cw, ch);
    else FillBitMapRect(w.bitmap.get(), rgb & 0xFFFFFF, cx, cy, cw, ch);
    if (w.mask) FillMaskRect(w.mask.get(), cx, cy, cw, ch, 0);
    if (w.alpha) FillAlphaRect(w.alpha.get(), cx, cy, cw, ch, uint8_t(opacity));
  };
  if (filled) return fill(x, y, width, height);
  fill(x, y, 1, height);
  fill(x, y, width, 1);
  fill(x + width - 1, y, 1, height);
  fill(x, y + height - 1, width, 1);
}

}  // namespace

int32_t RenderBox(vkState* L, vkShapeRequest& rq, uint32_t flags) {
  if (rq.width < 1 || rq.height < 1) return kErrWrongUsage;
  vkGraphicsState& gs = GraphicsState(L);
  vkDrawLib& lib = DrawLib(gs);
  vkDrawState ds = rq.drawState ? *rq.drawState : lib.state;
  ClampFormStyle(&ds);
  vkTransform t = rq.transform;
  if (flags & kRenderAtLayer) ApplyLayerTransform(&t, rq.width, rq.height);
  rq.roundlevel = std::min(rq.roundlevel, 100);
  const bool aa = (ds.formStyle & kFormAntialias) != 0;
  if (rq.roundlevel != 0 || !IsIdentity(t) || (ds.fillStyle == FILLNONE && ds.outlineThickness > 1) || aa)
    return RenderShape(L, rq, flags);

  if (int32_t rc = PrepareDrawing(L)) return rc;
  const Output o = CurrentDrawOutput(gs);
  const int32_t x = ResolveOutputX(gs, rq.x, rq.width, t.anchorX) - int32_t(std::trunc(rq.width * t.anchorX));
  const int32_t y = ResolveOutputY(gs, rq.y, rq.height, t.anchorY) - int32_t(std::trunc(rq.height * t.anchorY));
  const int32_t fill = ds.fillStyle;
  const bool decorated = fill != FILLNONE;
  const int32_t e = (decorated && (ds.formStyle & kFormEdge)) ? ds.edgeSize : 0;
  const int32_t s = (decorated && (ds.formStyle & kFormShadow)) ? ds.shadowSize : 0;
  const int32_t opacity = OpacityOf(rq.color);
  const bool layered = Layered(gs, o, flags);

  // The box cut to what may be drawn.
  const Rect allowed = AllowedRect(o);
  const int64_t bx1 = std::max<int64_t>(x, allowed.x1), by1 = std::max<int64_t>(y, allowed.y1);
  const int64_t bx2 = std::min<int64_t>(int64_t(x) + rq.width - 1, allowed.x2);
  const int64_t by2 = std::min<int64_t>(int64_t(y) + rq.height - 1, allowed.y2);
  const bool cut = bx1 != x || by1 != y || bx2 != int64_t(x) + rq.width - 1 || by2 != int64_t(y) + rq.height - 1;

  if (!(flags & kRenderAgain) && DirectDisplay(o) && fill != FILLTEXTURE && opacity == 255 && e == 0 && s == 0 &&
      !(fill == FILLGRADIENT && cut) && !UnderSprite(o, x, y, rq.width, rq.height)) {
    if (bx1 > bx2 || by1 > by2) return 0;
    vkDisplay* d = o.display;
    const int32_t cx = int32_t(bx1), cy = int32_t(by1), cw = int32_t(bx2 - bx1 + 1), ch = int32_t(by2 - by1 + 1);
    const uint32_t rgb = rq.color & 0xFFFFFF;
    const bool scaled = IsScaled(d) && d->screenBuffer;
    if (fill == FILLCOLOR) {
      FillBitMapRect(d->backBuffer, rgb, cx, cy, cw, ch);
      if (scaled) {
        FillBitMapRect(d->screenBuffer, rgb, cx, cy, cw, ch);
        ShowRect(gs, d, 0, 0, 0, 0);
      } else if (d->os) {
        vkosFillRectOnWindow(d->os, cx, cy, cw, ch, rgb);
      }
    } else if (fill == FILLGRADIENT) {
      DrawGradient(d->backBuffer, x, y, rq.width, rq.height, ds.gradientStart & 0xFFFFFF, ds.gradientEnd & 0xFFFFFF,
                   ds.gradientAngle);
      if (scaled) BltBitMap(d->backBuffer, cx, cy, d->screenBuffer, cx, cy, cw, ch);
      ShowRect(gs, d, cx, cy, cw, ch);
    } else {
      // The frame: four bands, each cut to the allowed rectangle.
      const int64_t sides[4][4] = {{x, y, 1, rq.height},
                                   {x, y, rq.width, 1},
                                   {int64_t(x) + rq.width - 1, y, 1, rq.height},
                                   {x, int64_t(y) + rq.height - 1, rq.width, 1}};
      for (const auto& band : sides) {
        const int64_t fx1 = std::max(band[0], allowed.x1), fy1 = std::max(band[1], allowed.y1);
        const int64_t fx2 = std::min(band[0] + band[2] - 1, allowed.x2), fy2 = std::min(band[1] + band[3] - 1, allowed.y2);
        if (fx1 > fx2 || fy1 > fy2) continue;
        const int32_t fx = int32_t(fx1), fy = int32_t(fy1), fw = int32_t(fx2 - fx1 + 1), fh = int32_t(fy2 - fy1 + 1);
        FillBitMapRect(d->backBuffer, rgb, fx, fy, fw, fh);
        if (scaled) FillBitMapRect(d->screenBuffer, rgb, fx, fy, fw, fh);
        else if (d->os) vkosFillRectOnWindow(d->os, fx, fy, fw, fh, rgb);
      }
      if (scaled) ShowRect(gs, d, 0, 0, 0, 0);
    }
    return 0;
  }

  // The work bitmap: shadow, edge and box as rectangles, only the part
  // the output shows when drawn at once.
  const int64_t sw = int64_t(rq.width) + 2 * e, sh = int64_t(rq.height) + 2 * e;
  int64_t tw = sw, th = sh;
  const int32_t dir = ds.shadowDir;
  int64_t ox = 0, oy = 0;
  if (s > 0) {
    if (dir != 0 && dir != 4) tw += s;
    if (dir != 2 && dir != 6) th += s;
    if (dir == 5 || dir == 6 || dir == 7) ox = s;
    if (dir == 0 || dir == 1 || dir == 7) oy = s;
  }
  int64_t px = int64_t(x) - ox - e, py = int64_t(y) - oy - e;
  if (!layered && !(flags & kRenderAgain)) {
    const int64_t x1 = std::max(px, allowed.x1), y1 = std::max(py, allowed.y1);
    const int64_t x2 = std::min(px + tw - 1, allowed.x2), y2 = std::min(py + th - 1, allowed.y2);
    if (x1 > x2 || y1 > y2) return 0;
    ox -= x1 - px, oy -= y1 - py;
    px = x1, py = y1, tw = x2 - x1 + 1, th = y2 - y1 + 1;
  }
  if (tw > kMaxWorkSide || th > kMaxWorkSide) return kErrOutOfMemory;
  const int32_t edgeOpacity = OpacityOf(ds.edgeColor), shadowOpacity = OpacityOf(ds.shadowColor);
  const bool opaque = opacity == 255 && (e == 0 || edgeOpacity == 255) && (s == 0 || shadowOpacity == 255);
  Work w;
  if (int32_t rc = MakeWork(&w, int32_t(tw), int32_t(th), !opaque)) return rc;
  const int64_t boxX = ox + e, boxY = oy + e;
  vkBitMapPtr area;
  if (fill == FILLGRADIENT && (rq.width > kMaxWorkSide || rq.height > kMaxWorkSide)) return kErrOutOfMemory;
  if (int32_t rc = MakeFillArea(L, ds, t, int32_t(tw), int32_t(th), ClampInt(boxX), ClampInt(boxY), rq.width,
                                rq.height, &area))
    return rc;
  if (s > 0)
    FillOrFrameRect(w, ox + kShadowDX[dir] * s, oy + kShadowDY[dir] * s, sw, sh, ds.shadowColor, shadowOpacity, true,
                    nullptr);
  if (e > 0) FillOrFrameRect(w, ox, oy, sw, sh, ds.edgeColor, edgeOpacity, true, nullptr);
  FillOrFrameRect(w, boxX, boxY, rq.width, rq.height, rq.color, opacity, decorated, area.get());
  vkShapeRecord* record = nullptr;
  if (layered) {
    record = NewRecord(L, rq, ds);
    if (!record) return kErrOutOfMemory;
  }
  return Deliver(L, o, w, ClampInt(px), ClampInt(py), kShapeBox, record, rq.transform, rq.options, rq.out,
                 rq.insertPos, flags);
}

int32_t RenderShapeLayer(const vkShapeRecord& record, const vkTransform& transform, vkShapePlanes* out) {
  vkState* L = record.L;
  if (!L || !out) return kErrWrongUsage;
  vkShapeRequest rq = record.request;
  rq.drawState = &record.drawState;
  rq.transform = transform;
  rq.out = out;
  switch (rq.type) {
    case kShapeLine:
      return RenderLine(L, record.x1, record.y1, record.x2, record.y2, rq.color, record.thickness, record.drawState,
                        transform, rq.options, out, rq.insertPos, kRenderAgain);
    case kShapeBox:
      return RenderBox(L, rq, kRenderAgain);
    case kShapeCircle:
    case kShapeEllipse:
      if (rq.rx < 1 || rq.ry < 1) return kErrWrongUsage;
      rq.width = 2 * rq.rx + 1, rq.height = 2 * rq.ry + 1;
      return RenderShape(L, rq, kRenderAgain);
    case kShapeArc:
      if (rq.rx < 1 || rq.ry < 1 || rq.start < 0 || rq.end < 0) return kErrWrongUsage;
      if (rq.start == rq.end) return 0;
      return RenderShape(L, rq, kRenderAgain);
    default:
      return RenderShape(L, rq, kRenderAgain);
  }
}
