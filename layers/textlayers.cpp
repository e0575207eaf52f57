// Text layers: a printed text keeps its layout record (style, font, text,
// margins, tabs, wrap and tab decisions) with its layer and is laid out
// again from it, in place or through the layer's matrix (a scalable font
// drawn at the new size). A text object's layer shows the object's own
// planes.
#include "layers/textlayers.h"

#include <algorithm>
#include <memory>
#include <new>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "text/textobjects.h"
#include "text/textstate.h"

namespace {

int32_t DrawTextPass(vkGraphicsState& gs, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t flags);

const vkLayerKindOps kTextLayerOps = {nullptr, DrawTextPass, nullptr};

// The layout a text layer was drawn from, and where its picture lies
// relative to the text position.
struct vkTextLayerKind final : vkLayerKindData {
  vkState* L = nullptr;
  vkTextLayout layout;
  int32_t offsetX = 0, offsetY = 0;
  // The drawing was scaled or rotated after the layout: the layer keeps
  // its pixels, which are copied and transformed instead.
  bool fixedPixels = false;
  std::unique_ptr<vkLayerKindData> Clone() const override {
    return std::unique_ptr<vkLayerKindData>(new vkTextLayerKind(*this));
  }
  const vkLayerKindOps* Ops() const override { return &kTextLayerOps; }
};

// Whether [font] is still open in [L]'s run (null is the built-in font).
bool FontAlive(vkState* L, const vkFont* font) {
  if (!font) return true;
  const vkFontState& fs = FontState(L);
  if (fs.builtin.get() == font) return true;
  return std::any_of(fs.cache.begin(), fs.cache.end(), [font](const vkFontCacheEntry& e) { return e.font == font; });
}

// A new data record whose kind keeps [layout] and the picture's offsets.
vkLayerDataPtr TextLayerData(vkState* L, const vkTextLayout& layout, const vkTextPicture& picture) {
  vkLayerDataPtr data(new (std::nothrow) vkLayerData);
  std::unique_ptr<vkTextLayerKind> kind(new (std::nothrow) vkTextLayerKind);
  if (!data || !kind) return nullptr;
  try {
    kind->layout = layout;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  kind->L = L;
  kind->offsetX = picture.offsetX, kind->offsetY = picture.offsetY;
  kind->fixedPixels = picture.transformed;
  data->kind = std::move(kind);
  return data;
}

int32_t AddTextLayer(vkState* L, int32_t kind, const vkTextLayout& layout, vkTextPicture& picture, int32_t x, int32_t y) {
  if (!picture.bitmap || picture.width < 1 || picture.height < 1) return 0;  // nothing to show
  vkLayerDataPtr data = TextLayerData(L, layout, picture);
  if (!data) return kErrOutOfMemory;
  const vkTransform identity;
  const vkLayerOptions options;
  return AddLayer(L, kind, vkObjectId{}, nullptr, x, y, picture.width, picture.height, &identity, &options,
                  std::move(picture.bitmap), std::move(picture.mask), std::move(picture.alpha), std::move(data), -1,
                  kAddLayerScaling);
}

// Lays the text out again through [m] into [data]'s transformed planes.
int32_t DrawTextPass(vkGraphicsState& gs, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t) {
  const auto* kind = dynamic_cast<const vkTextLayerKind*>(data->kind.get());
  if (!kind || !kind->L) return kErrWrongUsage;
  vkTransform t = layer->transform;
  std::copy(m, m + 4, t.matrix);
  vkTextPicture picture;
  if (kind->fixedPixels) {
    // The layer's own pixels through the matrix.
    const vkLayerData* in = layer->inserted;
    if (!in->bitmap) return kErrWrongUsage;
    if (int32_t rc = TransformBitmapPlanes(gs, in->bitmap.get(), in->mask.get(), in->alpha.get(), 0, 0,
                                           in->bitmap->width, in->bitmap->height, t, &picture.bitmap, &picture.mask,
                                           &picture.alpha, &picture.width, &picture.height))
      return rc;
  } else {
    if (!FontAlive(kind->L, kind->layout.style.font)) return kErrWrongUsage;
    if (uint32_t rc = LayoutTextObject(kind->L, kind->layout, t, &picture)) return int32_t(rc);
  }
  if (!picture.bitmap) return kErrWrongUsage;
  data->transformedBitmap = std::move(picture.bitmap);
  data->transformedMask = std::move(picture.mask), data->transformedAlpha = std::move(picture.alpha);
  data->screenWidth = picture.width, data->screenHeight = picture.height;
  data->screenX = data->x - vkDoubleToInt32(picture.width * layer->anchorX);
  data->screenY = data->y - vkDoubleToInt32(picture.height * layer->anchorY);
  return 0;
}

// ---- Text objects ----

int32_t TextObjectPixels(vkGraphicsState&, const vkLayer* layer, const vkLayerData*, int32_t, vkLayerPixels* out) {
  const auto* o = static_cast<const vkTextObject*>(layer->record);
  if (!o || !o->bitmap) return kErrWrongUsage;
  // The alpha plane, where there is one, carries the shape.
  out->bitmap = o->bitmap.get();
  out->alpha = o->alpha.get();
  out->mask = out->alpha ? nullptr : o->mask.get();
  out->width = o->width, out->height = o->height;
  out->shared = true;
  return 0;
}

const vkLayerKindOps kTextObjectLayerOps = {TextObjectPixels, nullptr, PurgeDeletedTextObjects};

struct vkTextObjectLayerKind final : vkLayerKindData {
  std::unique_ptr<vkLayerKindData> Clone() const override {
    return std::unique_ptr<vkLayerKindData>(new vkTextObjectLayerKind(*this));
  }
  const vkLayerKindOps* Ops() const override { return &kTextObjectLayerOps; }
};

}  // namespace

vkLayerDataPtr NewTextLayerData(vkState* L, const vkTextLayout& layout, int32_t x, int32_t y) {
  vkLayerDataPtr data = TextLayerData(L, layout, vkTextPicture{});
  if (data) data->x = x, data->y = y;
  return data;
}

vkTextLayout* TextLayerLayout(vkLayerData* data) {
  auto* kind = data ? dynamic_cast<vkTextLayerKind*>(data->kind.get()) : nullptr;
  return kind ? &kind->layout : nullptr;
}

void RegisterTextLayers(vkState* L) { TextRunState(L).addTextLayer = AddTextLayer; }

int32_t RedrawTextLayer(vkState* L, const vkLayer* layer, int32_t position, const vkLayerData& source,
                        const vkLayerOptions& options, uint32_t flags, bool* drawn) {
  *drawn = false;
  const auto* kind = dynamic_cast<const vkTextLayerKind*>(source.kind.get());
  if (!kind) return kErrWrongUsage;
  vkTextLayout layout = kind->layout;
  vkTextPicture picture;
  if (kind->fixedPixels && &source == layer->inserted) {
    // Drawn again as it stands: a copy of the layer's own pixels, as they
    // were drawn (a changed record is laid out anew).
    const vkLayerData* in = layer->inserted;
    if (!in->bitmap) return kErrWrongUsage;
    vkPlanes copy;
    const vkBitmapSource src{in->bitmap.get(), in->mask.get(), in->alpha.get(), in->bitmap->width, in->bitmap->height};
    if (int32_t rc = CopyPlanesRect(src, 0, 0, src.width, src.height, &copy)) return rc;
    picture.bitmap = std::move(copy.bitmap), picture.mask = std::move(copy.mask), picture.alpha = std::move(copy.alpha);
    picture.width = src.width, picture.height = src.height;
    picture.offsetX = kind->offsetX, picture.offsetY = kind->offsetY;
    picture.transformed = true;
  } else {
    if (!FontAlive(L, kind->layout.style.font)) return kErrWrongUsage;
    if (uint32_t rc = LayoutText(L, &layout, layout.plain, &picture)) return int32_t(rc);
  }
  if (!picture.bitmap || picture.width < 1 || picture.height < 1) return 0;  // nothing to show
  const int32_t x = int32_t(std::clamp<int64_t>(int64_t(source.x) - kind->offsetX + picture.offsetX, INT32_MIN, INT32_MAX));
  const int32_t y = int32_t(std::clamp<int64_t>(int64_t(source.y) - kind->offsetY + picture.offsetY, INT32_MIN, INT32_MAX));
  vkLayerDataPtr data = TextLayerData(L, layout, picture);
  if (!data) return kErrOutOfMemory;
  const int32_t rc = AddLayer(L, layer->type, vkObjectId{}, nullptr, x, y, picture.width, picture.height,
                              &layer->transform, &options, std::move(picture.bitmap), std::move(picture.mask),
                              std::move(picture.alpha), std::move(data), position,
                              kAddLayerScaling | (flags & (kAddReplace | kAddHidden)));
  *drawn = rc == 0;
  return rc;
}

vkLayerDataPtr NewTextObjectLayerData(vkState*) {
  vkLayerDataPtr data(new (std::nothrow) vkLayerData);
  if (!data) return nullptr;
  data->kind.reset(new (std::nothrow) vkTextObjectLayerKind);
  if (!data->kind) return nullptr;
  return data;
}
