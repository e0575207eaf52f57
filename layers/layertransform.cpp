// Layer transformations: a layer keeps its planes as inserted and gains a
// transformed record (its own matrix about its anchor) and, while the
// display's layer scaling engine shows the picture at another size, an
// on-screen record rendered at that scale. Records are made whole before
// they replace the old ones, so a failure leaves the layer as it was.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "graphics/asyncdraw.h"
#include "graphics/displays.h"
#include "graphics/geometry.h"
#include "layers/layers.h"

namespace {

// Cosine and sine of the whole degrees 0..360.
struct vkAngleTables {
  double cosine[361], sine[361];
  vkAngleTables() {
    for (int i = 0; i <= 360; i++) {
      const double r = i * std::numbers::pi / 180.0;
      cosine[i] = std::cos(r), sine[i] = std::sin(r);
    }
  }
};
// Made on first use: most runs never decompose a transformation.
const vkAngleTables& Angles() {
  static const vkAngleTables tables;
  return tables;
}

// The first degree whose cosine has the sign of [a] and for which a / cos
// and [b] / ([sign] sin) agree; the scale into *[scale].
bool FindScale(double a, double b, double sign, double* scale) {
  const vkAngleTables& angles = Angles();
  for (int i = 0; i <= 360; i++) {
    const double c = angles.cosine[i], s = sign * angles.sine[i];
    if (a < 0 ? !(c < 0) : (c < 0)) continue;
    if (std::fabs(c) < 1e-12 || std::fabs(s) < 1e-12) {
      // A zero factor matches when its partner is zero too.
      if (std::fabs(c) < 1e-12 && std::fabs(a) < 1e-9 && std::fabs(s) > 1e-12) {
        *scale = b / s;
        return true;
      }
      if (std::fabs(s) < 1e-12 && std::fabs(b) < 1e-9 && std::fabs(c) > 1e-12) {
        *scale = a / c;
        return true;
      }
      continue;
    }
    if (std::fabs(a / c - b / s) < 0.0001) {
      *scale = a / c;
      return true;
    }
  }
  return false;
}

// Frees [record] unless the layer still refers to it.
void FreeUnreferenced(const vkLayer* layer, vkLayerData* record) {
  if (record && record != layer->inserted && record != layer->transformed && record != layer->onScreen) delete record;
}

}  // namespace

int32_t DecomposeMatrix(const double m[4], double* sx, double* sy) {
  double x = 0, y = 0;
  if (!FindScale(m[0], m[1], 1.0, &x)) return 0;
  if (!FindScale(m[3], m[2], -1.0, &y)) return 0;
  *sx = x, *sy = y;
  return 1;
}

void ScaleRect(int32_t x, int32_t y, int32_t width, int32_t height, double fx, double fy, int32_t* ox, int32_t* oy,
               int32_t* ow, int32_t* oh) {
  *ox = int32_t(std::lrint(x * fx));
  *oy = int32_t(std::lrint(y * fy));
  *ow = int32_t(std::lrint((x + width - 1) * fx)) - *ox + 1;
  *oh = int32_t(std::lrint((y + height - 1) * fy)) - *oy + 1;
}

bool DisplayScalingActive(const vkDisplay* display, const vkBGPic* bgpic) {
  return display && display->layerScaling && display->scaledWidth != 0 && display->scaledHeight != 0 &&
         display->bgpic == bgpic && (display->scaleX != 1.0 || display->scaleY != 1.0);
}

int32_t DrawLayerByType(vkGraphicsState& gs, vkLayer* layer, vkLayerData* data, const double m[4], uint32_t flags) {
  if (layer->ops && layer->ops->draw) return layer->ops->draw(gs, layer, data, m, flags);
  vkLayerPixels px;
  if (int32_t rc = GetObjectBitmap(gs, layer, layer->inserted, false, -1, &px)) return rc;
  int32_t sx = 0, sy = 0;
  if (px.shared && (layer->type == vkObjectType::BRUSHPART || layer->type == vkObjectType::BGPICPART))
    sx = layer->inserted->sourceX, sy = layer->inserted->sourceY;
  const int32_t w = std::min(data->width, px.width - sx), h = std::min(data->height, px.height - sy);
  if (w < 1 || h < 1) return kErrWrongUsage;
  vkTransform t = layer->transform;
  std::copy(m, m + 4, t.matrix);
  vkBitMapPtr b;
  vkPlanePtr mk, al;
  int32_t ow = 0, oh = 0;
  if (int32_t rc = TransformBitmapPlanes(gs, px.bitmap, px.mask, px.alpha, sx, sy, w, h, t, &b, &mk, &al, &ow, &oh))
    return rc;
  data->transformedBitmap = std::move(b), data->transformedMask = std::move(mk), data->transformedAlpha = std::move(al);
  data->screenWidth = ow, data->screenHeight = oh;
  data->screenX = data->x - vkDoubleToInt32(ow * layer->anchorX);
  data->screenY = data->y - vkDoubleToInt32(oh * layer->anchorY);
  return 0;
}

int32_t RenderTransformedLayer(vkGraphicsState& gs, vkLayer* layer, int32_t mode) {
  const bool scaledPass = (mode & kRenderScaledPass) != 0;
  const vkDisplay* display = gs.CurrentDisplay;
  // 1-2. The matrix.
  double m[4] = {1, 0, 0, 1};
  if (!scaledPass || (mode & kRenderWithMatrix)) std::copy(layer->transform.matrix, layer->transform.matrix + 4, m);
  if (scaledPass) {
    const double fx = display ? display->scaleX : 1.0, fy = display ? display->scaleY : 1.0;
    m[0] *= fx, m[2] *= fx, m[1] *= fy, m[3] *= fy;
  }
  // 3. The new record, without planes.
  const vkLayerData& source = *layer->inserted;
  vkLayerDataPtr made = CopyLayerData(source);
  if (!made) return kErrOutOfMemory;
  // 5. Its clip region.
  if (source.clip) {
    if (!scaledPass && layer->noClipTransform) {
      made->clip = source.clip;
    } else {
      double scale[2] = {display ? display->scaleX : 1.0, display ? display->scaleY : 1.0};
      std::unique_ptr<vkClipRegion> clip =
          TransformClipRegion(*source.clip, layer->anchorX, layer->anchorY, m, scaledPass ? scale : nullptr);
      if (!clip) return kErrOutOfMemory;
      made->clip = clip.release();
      made->ownsClip = true;
    }
  }
  // 6. The position in the scaled space.
  if (scaledPass && display) {
    const int32_t px = layer->type == vkObjectType::LINE ? source.screenX : source.x;
    const int32_t py = layer->type == vkObjectType::LINE ? source.screenY : source.y;
    made->x = int32_t(std::lrint(px * display->scaleX));
    made->y = int32_t(std::lrint(py * display->scaleY));
  }
  // 7. The pixels.
  if (int32_t rc = DrawLayerByType(gs, layer, made.get(), m, scaledPass ? 80 : 16)) return rc;
  // 8-9. The records change over; what nothing refers to any more goes.
  vkLayerData* record = made.release();
  if (!scaledPass) {
    vkLayerData* oldTransformed = layer->transformed;
    vkLayerData* oldOnScreen = layer->onScreen;
    layer->transformed = record;
    layer->onScreen = record;
    if (DisplayScalingActive(display, layer->bgpic)) {
      const int32_t rc = RenderTransformedLayer(gs, layer, (mode & kRenderWithMatrix) ? 3 : 1);
      if (rc) {
        layer->transformed = oldTransformed, layer->onScreen = oldOnScreen;
        delete record;
        return rc;
      }
    }
    FreeUnreferenced(layer, oldTransformed);
    if (oldOnScreen != oldTransformed) FreeUnreferenced(layer, oldOnScreen);
  } else {
    vkLayerData* oldOnScreen = layer->onScreen;
    layer->onScreen = record;
    FreeUnreferenced(layer, oldOnScreen);
  }
  return 0;
}

int32_t RenderAllLayerTransforms(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic) {
  vkDisplay* savedDisplay = gs.CurrentDisplay;
  vkBGPic* savedPicture = gs.CurrentBGPic;
  gs.CurrentDisplay = display, gs.CurrentBGPic = bgpic;
  int32_t first = 0;
  for (vkLayer* layer : bgpic->layers)
    if (int32_t rc = RenderTransformedLayer(gs, layer, 3); rc && !first) first = rc;
  gs.CurrentDisplay = savedDisplay, gs.CurrentBGPic = savedPicture;
  return first;
}

int32_t ResetLayerCaches(vkState* L, vkBGPic* bgpic, bool rescale) {
  vkGraphicsState& gs = GraphicsState(L);
  if (!bgpic) return 0;
  if (rescale && bgpic->scaledWidth > 0 && bgpic->scaledHeight > 0)
    if (int32_t rc = RescaleShownBGPic(L, bgpic, bgpic->scaledWidth, bgpic->scaledHeight, false)) return rc;
  for (vkLayer* layer : bgpic->layers) {
    vkLayerData* on = layer->onScreen;
    if (on == layer->inserted || on == layer->transformed) continue;
    const bool hadPlanes = on->transformedBitmap != nullptr;
    layer->onScreen = layer->transformed;
    delete on;
    if (hadPlanes || layer->scrollEffect) BroadcastAsyncDrawMessage(gs, kAsyncLayerChanged, layer);
  }
  return 0;
}
