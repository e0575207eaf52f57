// Collision tests: whether two graphics objects (brushes at positions,
// layers, sprites on screen, boxes) touch. Where either side has a mask, an
// alpha plane or a shaped clip region the test is exact to the pixel;
// otherwise the rectangles decide.
#include <algorithm>
#include <cmath>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "graphics/brushes.h"
#include "graphics/sprites.h"
#include "layers/layers.h"

namespace {

bool MaskBit(const vkPlane* p, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= int64_t(p->bytesPerRow) * 8 || y >= p->height) return false;
  return (p->data[size_t(y) * size_t(p->bytesPerRow) + size_t(x >> 3)] & (0x80 >> (x & 7))) != 0;
}

bool AlphaByte(const vkPlane* p, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= p->bytesPerRow || y >= p->height) return false;
  return p->data[size_t(y) * size_t(p->bytesPerRow) + size_t(x)] != 0;
}

bool Shaped(const vkClipRegion* c) { return c && c->mask && c->mask->data; }

// Whether the side marks the picture pixel (x, y): each plane it has marks it.
bool Marks(const vkCollisionSide& s, int64_t x, int64_t y) {
  const int64_t px = s.planeX + (x - s.x), py = s.planeY + (y - s.y);
  if (s.mask && s.mask->data && !MaskBit(s.mask, px, py)) return false;
  if (s.alpha && s.alpha->data && !AlphaByte(s.alpha, px, py)) return false;
  if (Shaped(s.clip) && !MaskBit(s.clip->mask.get(), x - s.clip->x, y - s.clip->y)) return false;
  return true;
}

bool HasPlanes(const vkCollisionSide& s) {
  return (s.mask && s.mask->data) || (s.alpha && s.alpha->data) || Shaped(s.clip);
}

// A layer's side: its on-screen rectangle and planes, cut to its clip region.
int32_t LayerSide(vkGraphicsState& gs, const vkLayer* layer, vkCollisionSide* side) {
  const vkLayerData* d = layer->onScreen;
  vkLayerPixels px;
  if (int32_t rc = GetObjectBitmap(gs, layer, d, true, -1, &px)) return rc;
  side->x = d->screenX, side->y = d->screenY, side->width = d->screenWidth, side->height = d->screenHeight;
  side->mask = px.mask, side->alpha = px.alpha;
  // Only the object's shared planes hold more than the part.
  if (px.shared && (layer->type == vkObjectType::BRUSHPART || layer->type == vkObjectType::BGPICPART))
    side->planeX = d->sourceX, side->planeY = d->sourceY;
  if (const vkClipRegion* c = d->clip) {
    const int64_t x1 = std::max<int64_t>(side->x, c->x), y1 = std::max<int64_t>(side->y, c->y);
    const int64_t x2 = std::min<int64_t>(int64_t(side->x) + side->width, int64_t(c->x) + c->width);
    const int64_t y2 = std::min<int64_t>(int64_t(side->y) + side->height, int64_t(c->y) + c->height);
    side->planeX += int32_t(x1 - side->x), side->planeY += int32_t(y1 - side->y);
    side->x = int32_t(x1), side->y = int32_t(y1);
    side->width = int32_t(std::max<int64_t>(0, x2 - x1)), side->height = int32_t(std::max<int64_t>(0, y2 - y1));
    side->clip = c;
  }
  return 0;
}

int32_t BrushSide(vkGraphicsState& gs, vkObjectId id, int32_t x, int32_t y, vkCollisionSide* side) {
  vkBrush* b = nullptr;
  if (int32_t rc = FindBrush(gs, id, &b, 0)) return rc;
  side->x = x, side->y = y, side->width = b->width, side->height = b->height;
  side->mask = b->mask.get(), side->alpha = b->alpha.get();
  return 0;
}

int32_t SpriteSide(vkGraphicsState& gs, vkObjectId id, vkCollisionSide* side) {
  vkSprite* s = nullptr;
  if (int32_t rc = FindSprite(gs, id, &s, 0)) return rc;
  const vkSpriteInstance* on = FindOnScreenSprite(gs, s);
  if (!on) return kErrWrongUsage;
  side->x = on->x, side->y = on->y, side->width = on->width, side->height = on->height;
  if (const vkSpriteFrame* f = GetSpriteFrame(*s, on->frame - 1)) side->mask = f->mask.get(), side->alpha = f->alpha.get();
  side->clip = on->clipRegion;
  return 0;
}

}  // namespace

int32_t TestCollision(const vkCollisionSide& a, const vkCollisionSide& b) {
  if (a.width < 1 || a.height < 1 || b.width < 1 || b.height < 1) return 0;
  const int64_t x1 = std::max(a.x, b.x), y1 = std::max(a.y, b.y);
  const int64_t x2 = std::min(int64_t(a.x) + a.width, int64_t(b.x) + b.width) - 1;
  const int64_t y2 = std::min(int64_t(a.y) + a.height, int64_t(b.y) + b.height) - 1;
  if (x1 > x2 || y1 > y2) return 0;
  if (!HasPlanes(a) && !HasPlanes(b)) return 1;
  for (int64_t y = y1; y <= y2; y++)
    for (int64_t x = x1; x <= x2; x++)
      if (Marks(a, x, y) && Marks(b, x, y)) return 1;
  return 0;
}

int32_t CollisionOf(vkState* L, int32_t kind, int32_t* result) {
  vkGraphicsState& gs = GraphicsState(L);
  struct {
    vkState* L;
    int32_t number(int i) const { return vkDoubleToInt32(vmCheckNumber(L, i)); }
    vkObjectId id(int i) const { return CheckObjectId(L, i); }
    int32_t layer(int i) const { return GetLayerArg(L, i); }
  } args{L};
  vkCollisionSide a, b;
  auto box = [&](vkCollisionSide& s, int k) {
    s.x = args.number(k), s.y = args.number(k + 1), s.width = args.number(k + 2), s.height = args.number(k + 3);
  };
  switch (kind) {
    case vkObjectType::BRUSH:
      if (int32_t rc = BrushSide(gs, args.id(2), args.number(3), args.number(4), &a)) return rc;
      if (int32_t rc = BrushSide(gs, args.id(5), args.number(6), args.number(7), &b)) return rc;
      break;
    case vkObjectType::BRUSH_VS_BOX:
      if (int32_t rc = BrushSide(gs, args.id(2), args.number(3), args.number(4), &a)) return rc;
      box(b, 5);
      break;
    case vkObjectType::BOX:
      box(a, 2);
      box(b, 6);
      break;
    case vkObjectType::LAYER:
    case vkObjectType::LAYER_VS_BOX: {
      const vkDisplay* d = gs.CurrentDisplay;
      if (!d || !d->layersOn) return kErrLayersRequired;
      const vkBGPic* bgpic = LayerPicture(gs);
      const vkLayer* first = GetNthLayer(bgpic, args.layer(2));
      if (!first) return kErrLayerOutOfRange;
      if (kind == vkObjectType::LAYER) {
        const vkLayer* second = GetNthLayer(bgpic, args.layer(3));
        if (!second) return kErrLayerOutOfRange;
        if (int32_t rc = LayerSide(gs, second, &b)) return rc;
      } else {
        box(b, 3);
        // On-screen records live in the display's scaled space.
        if (DisplayScalingActive(d, bgpic)) {
          b.x = int32_t(std::lrint(b.x * d->scaleX)), b.width = int32_t(std::lrint(b.width * d->scaleX));
          b.y = int32_t(std::lrint(b.y * d->scaleY)), b.height = int32_t(std::lrint(b.height * d->scaleY));
        }
      }
      if (int32_t rc = LayerSide(gs, first, &a)) return rc;
      break;
    }
    case vkObjectType::SPRITE:
      if (int32_t rc = SpriteSide(gs, args.id(2), &a)) return rc;
      if (int32_t rc = SpriteSide(gs, args.id(3), &b)) return rc;
      break;
    case vkObjectType::SPRITE_VS_BOX:
      if (int32_t rc = SpriteSide(gs, args.id(2), &a)) return rc;
      box(b, 3);
      break;
    default:
      return kErrWrongUsage;
  }
  *result = TestCollision(a, b);
  return 0;
}
