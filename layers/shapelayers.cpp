// Shape layers: the record a rendered shape leaves with its layer, where
// the shape is placed relative to the layer's logical position, and the
// two ways a shape layer is drawn again: in place through the renderer
// that made it, and into a transformation pass through the layer's matrix.
#include "layers/shapelayers.h"

#include <algorithm>
#include <memory>
#include <new>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "graphics/displayoptions.h"
#include "graphics/shapes.h"

namespace {

int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

int32_t DrawShapePass(vkGraphicsState& gs, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t flags);

const vkLayerKindOps kShapeLayerOps = {nullptr, DrawShapePass, nullptr};

// The shape's record and the logical position its layer was made at: a
// layer moved since is drawn again moved by as much.
struct vkShapeLayerKind final : vkLayerKindData {
  vkShapeRecord record;
  int32_t madeX = 0, madeY = 0;
  std::unique_ptr<vkLayerKindData> Clone() const override {
    return std::unique_ptr<vkLayerKindData>(new vkShapeLayerKind(*this));
  }
  const vkLayerKindOps* Ops() const override { return &kShapeLayerOps; }
};

// The record moved by the distance the layer moved from where it was made.
vkShapeRecord MovedRecord(const vkShapeLayerKind& kind, const vkLayerData& at) {
  vkShapeRecord r = kind.record;
  const int64_t dx = int64_t(at.x) - kind.madeX, dy = int64_t(at.y) - kind.madeY;
  r.request.x = Clamp32(r.request.x + dx), r.request.y = Clamp32(r.request.y + dy);
  r.x1 = Clamp32(r.x1 + dx), r.x2 = Clamp32(r.x2 + dx);
  r.y1 = Clamp32(r.y1 + dy), r.y2 = Clamp32(r.y2 + dy);
  return r;
}

// The width of the bounding box the renderer resolves a shape's place against.
int32_t PlacedWidth(const vkShapeRequest& rq) {
  return rq.type == kShapeCircle || rq.type == kShapeEllipse || rq.type == kShapeArc ? Clamp32(2 * int64_t(rq.rx) + 1)
                                                                                     : rq.width;
}
int32_t PlacedHeight(const vkShapeRequest& rq) {
  return rq.type == kShapeCircle || rq.type == kShapeEllipse || rq.type == kShapeArc ? Clamp32(2 * int64_t(rq.ry) + 1)
                                                                                     : rq.height;
}

int32_t AddShapeLayer(vkState* L, int32_t type, int32_t x, int32_t y, int32_t width, int32_t height, vkBitMap* bitmap,
                      vkPlane* mask, vkPlane* alpha, vkShapeRecord* record, const vkTransform* transform,
                      const vkLayerOptions* options, int32_t insertPos, uint32_t flags) {
  vkBitMapPtr b(bitmap);
  vkPlanePtr m(mask), a(alpha);
  std::unique_ptr<vkShapeRecord> owned(record);
  if (!owned) return kErrWrongUsage;
  vkLayerDataPtr data(new (std::nothrow) vkLayerData);
  std::unique_ptr<vkShapeLayerKind> kind(new (std::nothrow) vkShapeLayerKind);
  if (!data || !kind) return kErrOutOfMemory;
  kind->record = *owned;
  // The place resolved once: special coordinates name where the shape
  // first stood, the layer keeps it from there.
  vkGraphicsState& gs = GraphicsState(L);
  vkShapeRequest& rq = kind->record.request;
  const double ax = transform ? transform->anchorX : 0, ay = transform ? transform->anchorY : 0;
  vkShapeRecord& r = kind->record;
  if (type == kShapeLine) {
    r.x1 = ResolveOutputX(gs, r.x1, 1, ax), r.y1 = ResolveOutputY(gs, r.y1, 1, ay);
    r.x2 = ResolveOutputX(gs, r.x2, 1, ax), r.y2 = ResolveOutputY(gs, r.y2, 1, ay);
  } else {
    rq.x = ResolveOutputX(gs, rq.x, PlacedWidth(rq), ax);
    rq.y = ResolveOutputY(gs, rq.y, PlacedHeight(rq), ay);
  }
  kind->madeX = x, kind->madeY = y;
  data->kind = std::move(kind);
  uint32_t addFlags = 0;
  if (flags & kAddLayerScaling) addFlags |= kAddLayerScaling;
  if (flags & kRenderNoShow) addFlags |= kAddNoRefresh;
  if (flags & kRenderAtLayer) addFlags |= kAddReplace;
  const int32_t rc = AddLayer(L, type, vkObjectId{}, nullptr, x, y, width, height, transform, options, std::move(b),
                              std::move(m), std::move(a), std::move(data), insertPos, addFlags);
  if (rc == 0) LayersState(L).shapeLayersMade++;
  return rc;
}

// Renders the shape again through [m] into [data]'s transformed planes.
int32_t DrawShapePass(vkGraphicsState&, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t) {
  const auto* kind = dynamic_cast<const vkShapeLayerKind*>(data->kind.get());
  if (!kind) return kErrWrongUsage;
  vkTransform t = layer->transform;
  std::copy(m, m + 4, t.matrix);
  vkShapePlanes out;
  if (int32_t rc = RenderShapeLayer(kind->record, t, &out)) return rc;
  if (!out.bitmap) return kErrWrongUsage;
  data->transformedBitmap = std::move(out.bitmap);
  data->transformedMask = std::move(out.mask), data->transformedAlpha = std::move(out.alpha);
  data->screenWidth = out.width, data->screenHeight = out.height;
  if (layer->type == kShapeLine) {
    data->screenX = data->x, data->screenY = data->y;
  } else {
    data->screenX = data->x - vkDoubleToInt32(out.width * layer->anchorX);
    data->screenY = data->y - vkDoubleToInt32(out.height * layer->anchorY);
  }
  return 0;
}

}  // namespace

vkLayerDataPtr NewShapeLayerData(const vkShapeRecord& record, int32_t x, int32_t y) {
  vkLayerDataPtr data(new (std::nothrow) vkLayerData);
  std::unique_ptr<vkShapeLayerKind> kind(new (std::nothrow) vkShapeLayerKind);
  if (!data || !kind) return nullptr;
  try {
    kind->record = record;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  kind->madeX = x, kind->madeY = y;
  data->x = x, data->y = y;
  data->kind = std::move(kind);
  return data;
}

vkShapeRecord* ShapeLayerRecord(vkLayerData* data) {
  auto* kind = data ? dynamic_cast<vkShapeLayerKind*>(data->kind.get()) : nullptr;
  return kind ? &kind->record : nullptr;
}

void RegisterShapeLayers(vkState* L) { GraphicsState(L).shapeLayers.add = AddShapeLayer; }

bool IsShapeLayerType(int32_t type) {
  return type == kShapeBox || type == kShapeCircle || type == kShapeEllipse || type == kShapeLine ||
         type == kShapePolygon || type == kShapeArc;
}

int32_t RedrawShapeLayer(vkState* L, const vkLayer* layer, int32_t position, const vkLayerData& source,
                         const vkLayerOptions& options, uint32_t flags,
                         bool* drawn) {
  *drawn = false;
  const auto* kind = dynamic_cast<const vkShapeLayerKind*>(source.kind.get());
  if (!kind) return kErrWrongUsage;
  vkShapeRecord r = MovedRecord(*kind, source);
  vkShapeRequest& rq = r.request;
  rq.drawState = &r.drawState;
  rq.transform = layer->transform;
  rq.options = options;
  rq.insertPos = (flags & kAddReplace) ? position : -1;
  rq.out = nullptr;
  // At the layer's place and with its transform; the insert position is
  // the one replaced only in replace mode.
  const uint32_t how = kRenderAtLayer;
  int32_t rc = 0;
  const uint32_t before = LayersState(L).shapeLayersMade;
  switch (layer->type) {
    case kShapeLine:
      rc = RenderLine(L, r.x1, r.y1, r.x2, r.y2, rq.color, r.thickness, r.drawState, layer->transform, options,
                        nullptr, rq.insertPos, how);
      break;
    case kShapeBox:
      rc = RenderBox(L, rq, how);
      break;
    case kShapeCircle:
    case kShapeEllipse:
      if (rq.rx < 1 || rq.ry < 1) return kErrWrongUsage;
      rq.width = PlacedWidth(rq), rq.height = PlacedHeight(rq);
      rc = RenderShape(L, rq, how);
      break;
    case kShapeArc:
      if (rq.rx < 1 || rq.ry < 1 || rq.start < 0 || rq.end < 0) return kErrWrongUsage;
      if (rq.start == rq.end) return 0;
      rq.width = PlacedWidth(rq), rq.height = PlacedHeight(rq);
      rc = RenderShape(L, rq, how);
      break;
    case kShapePolygon:
      rc = RenderShape(L, rq, how);
      break;
    default:
      return 0;
  }
  // The renderer draws nothing for a shape with no pixels.
  *drawn = rc == 0 && LayersState(L).shapeLayersMade != before;
  return rc;
}
