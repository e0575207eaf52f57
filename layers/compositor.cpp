// The layer compositor and the refresh operations that feed it. A changed
// rectangle of the displayed picture is recomposed from the background, the
// visible layers bottom to top and the sprites into the display's composed
// buffer and copied to the window; a layer outside the rectangle costs one
// rectangle test, and no buffer is allocated unless a layer is tinted or
// mixed through a shaped clip region.
#include <algorithm>
#include <cstdio>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/safeblt.h"
#include "graphics/sprites.h"
#include "layers/layers.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"

namespace {

// The size of [bgpic] as the display shows it.
void ShownSize(const vkBGPic* bgpic, bool current, int32_t* w, int32_t* h) {
  if (current || bgpic->scaledWidth <= 0 || bgpic->scaledHeight <= 0) {
    *w = bgpic->width, *h = bgpic->height;
  } else {
    *w = bgpic->scaledWidth, *h = bgpic->scaledHeight;
  }
}

void Print(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

// Draws w x h of [px] at (sx, sy) to (dx, dy) of [dst], opaque or mixed at
// [level] (255: opaque), through [clip] when it has a shape.
void DrawLayerPixels(vkGraphicsState& gs, vkBitMap* dst, const vkBitMap* src, const vkPlane* mask,
                     const vkPlane* alpha, int32_t srcW, int32_t srcH, int32_t sx, int32_t sy, int32_t dx, int32_t dy,
                     int32_t w, int32_t h, const vkClipRegion* clip, int32_t level) {
  const bool shaped = clip && clip->mask && clip->mask->data;
  auto throughClip = [&](const vkBitMap* from, const vkPlane* m, const vkPlane* a, int32_t fx, int32_t fy,
                         int32_t fw, int32_t fh) {
    vkBlitRequest r;
    r.src = from, r.sx = fx, r.sy = fy, r.dst = dst, r.dx = dx, r.dy = dy, r.width = w, r.height = h;
    r.srcWidth = fw, r.srcHeight = fh, r.dstWidth = dst->width, r.dstHeight = dst->height;
    r.flags = kBlitNoSprites | kBlitPixelsOnly;
    r.mask = m, r.alpha = a, r.clip = clip;
    SafeBlt(gs, r);
  };
  if (level >= 255) {
    if (shaped) return throughClip(src, mask, alpha, sx, sy, srcW, srcH);
    if (!mask && !alpha)
      BltBitMap(src, sx, sy, dst, dx, dy, w, h);
    else if (!mask)
      BltAlphaBitMap(src, sx, sy, dst, dx, dy, w, h, alpha);
    else
      BltMask(src, sx, sy, dst, dx, dy, w, h, mask);
    return;
  }
  if (!shaped) {
    MixBitMaps(dst, src, mask, dx, dy, sx, sy, w, h, level, alpha);
    return;
  }
  // Mixed through a shape: mixed in a copy of the destination, which then
  // goes through the region.
  vkBitMapPtr work(AllocArgbBitMap(w, h));
  if (!work) return;
  BltBitMap(dst, dx, dy, work.get(), 0, 0, w, h);
  MixBitMaps(work.get(), src, mask, 0, 0, sx, sy, w, h, level, alpha);
  throughClip(work.get(), nullptr, nullptr, 0, 0, w, h);
}

}  // namespace

bool RectsOverlap(int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2, int32_t bx1, int32_t by1, int32_t bx2,
                  int32_t by2) {
  return ax1 <= bx2 && bx1 <= ax2 && ay1 <= by2 && by1 <= ay2;
}

void AppendRect(vkRectList& list, int32_t x, int32_t y, int32_t width, int32_t height) {
  try {
    // At least a step of entries at a time; long lists grow by half, so
    // that a burst of changes is not copied over and over.
    if (list.size() == list.capacity()) list.reserve(std::max(list.capacity() + kRectListStep, list.capacity() * 3 / 2));
    list.push_back({x, y, int32_t(int64_t(x) + width - 1), int32_t(int64_t(y) + height - 1)});
  } catch (const std::bad_alloc&) {
    // A list that cannot grow drops the rectangle and stays as it was.
  }
}

void AppendRectToList(vkRectList& list, const vkLayerData& data) {
  AppendRect(list, data.screenX, data.screenY, data.screenWidth, data.screenHeight);
}

int32_t GetObjectBitmap(vkGraphicsState& gs, const vkLayer* layer, const vkLayerData* data, bool ownPlanes,
                        int32_t frame, vkLayerPixels* out) {
  *out = vkLayerPixels{};
  if (ownPlanes && data->transformedBitmap) {
    out->bitmap = data->transformedBitmap.get();
    out->mask = data->transformedMask.get(), out->alpha = data->transformedAlpha.get();
    out->width = data->screenWidth, out->height = data->screenHeight;
    return 0;
  }
  if (data->bitmap) {
    out->bitmap = data->bitmap.get();
    out->mask = data->mask.get(), out->alpha = data->alpha.get();
    out->width = data->bitmap->width, out->height = data->bitmap->height;
    return 0;
  }
  switch (layer->type) {
    case vkObjectType::BRUSH:
    case vkObjectType::BRUSHPART: {
      const vkBrush* b = static_cast<const vkBrush*>(layer->record);
      if (!b || !b->bitmap) return kErrWrongUsage;
      out->bitmap = b->bitmap.get(), out->mask = b->mask.get(), out->alpha = b->alpha.get();
      out->width = b->width, out->height = b->height;
      out->shared = true;
      return 0;
    }
    case vkObjectType::BGPICPART: {
      const vkBGPic* p = static_cast<const vkBGPic*>(layer->record);
      if (!p || !p->bitmap) return kErrWrongUsage;
      out->bitmap = p->bitmap, out->mask = p->mask, out->alpha = p->alpha;
      out->width = p->width, out->height = p->height;
      out->shared = true;
      return 0;
    }
    default:
      if (layer->ops && layer->ops->pixels) return layer->ops->pixels(gs, layer, data, frame, out);
      return kErrWrongUsage;
  }
}

void Redraw(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x, int32_t y,
            int32_t width, int32_t height, int32_t flags) {
  if (width < 1 || height < 1) return Print("ERROR! REDRAW CALLED WITH WIDTH/HEIGHT <= 0\n");
  if (x < 0 || y < 0) return Print("ERROR! REDRAW CALLED WITH NEGATIVE X/Y COORDINATES\n");
  if (!dst) return Print("ERROR! REDRAW CALLED WITHOUT DSTBM\n");
  if (!bgpic) return;
  const bool current = (flags & kRedrawScaledSpace) != 0;
  int32_t pw, ph;
  ShownSize(bgpic, current, &pw, &ph);
  width = int32_t(std::min<int64_t>(width, int64_t(pw) - x));
  height = int32_t(std::min<int64_t>(height, int64_t(ph) - y));
  if (width < 1 || height < 1) return;

  if (!(flags & kRedrawSpritesOnly)) {
    const vkBitMap* background = bgpic->bitmap;
    if (!current && !(flags & kRedrawFromOwnBitmap) && display &&
        ((flags & kRedrawFromDisplayBuffer) || display->bgpic == bgpic) && display->backBuffer)
      background = display->backBuffer;
    BltBitMap(background, x, y, dst, x, y, width, height);

    const int32_t x2 = x + width - 1, y2 = y + height - 1;
    for (const vkLayer* layer : bgpic->layers) {
      // A layer mixed at level 0 leaves the picture as it is.
      if (layer->type == vkObjectType::NOOBJECT || layer->hidden || layer->pending || layer->transparency >= 255)
        continue;
      const vkLayerData* data = current ? layer->transformed : layer->onScreen;
      int32_t ox1 = x, oy1 = y, ox2 = x2, oy2 = y2;
      if (const vkClipRegion* c = data->clip) {
        ox1 = std::max(ox1, c->x), oy1 = std::max(oy1, c->y);
        ox2 = std::min<int64_t>(ox2, int64_t(c->x) + c->width - 1);
        oy2 = std::min<int64_t>(oy2, int64_t(c->y) + c->height - 1);
      }
      ox1 = std::max(ox1, data->screenX), oy1 = std::max(oy1, data->screenY);
      ox2 = int32_t(std::min<int64_t>(ox2, int64_t(data->screenX) + data->screenWidth - 1));
      oy2 = int32_t(std::min<int64_t>(oy2, int64_t(data->screenY) + data->screenHeight - 1));
      if (ox1 > ox2 || oy1 > oy2) continue;

      vkLayerPixels px;
      if (GetObjectBitmap(gs, layer, data, true, -1, &px) != 0 || !px.bitmap) continue;
      const int32_t w = ox2 - ox1 + 1, h = oy2 - oy1 + 1;
      int32_t sx = ox1 - data->screenX, sy = oy1 - data->screenY;
      // The object's planes hold the whole source; a part starts inside it.
      if (px.shared && (layer->type == vkObjectType::BRUSHPART || layer->type == vkObjectType::BGPICPART))
        sx += data->sourceX, sy += data->sourceY;
      const vkBitMap* src = px.bitmap;
      const vkPlane* mask = px.mask;
      const vkPlane* alpha = px.alpha;
      int32_t srcW = px.width, srcH = px.height;
      vkBitMap* tb = nullptr;
      vkPlane *tm = nullptr, *ta = nullptr;
      if (layer->tint) {
        // The overlap alone is tinted, in a copy with its planes.
        if (CopyBitMapRect(src, mask, alpha, sx, sy, w, h, &tb, mask ? &tm : nullptr, alpha ? &ta : nullptr) != 0)
          continue;
        TintBitMap(tb, 0, 0, w, h, layer->tintColor, layer->tint);
        src = tb, mask = tm, alpha = ta, sx = 0, sy = 0, srcW = w, srcH = h;
      }
      vkBitMapPtr ownB(tb);
      vkPlanePtr ownM(tm), ownA(ta);
      DrawLayerPixels(gs, dst, src, mask, alpha, srcW, srcH, sx, sy, ox1, oy1, w, h, data->clip,
                      255 - layer->transparency);
    }
    if (flags & kRedrawNoSprites) return;
  }
  DrawSpriteInstances(gs, bgpic, dst, x, y, width, height);
}

void RefreshRectNow(vkGraphicsState& gs, int32_t x, int32_t y, int32_t width, int32_t height) {
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || !d->bgpic || !d->screenBuffer) return;
  int32_t pw, ph;
  ShownSize(d->bgpic, false, &pw, &ph);
  int64_t x1 = x, y1 = y, x2 = int64_t(x) + width, y2 = int64_t(y) + height;
  x1 = std::max<int64_t>(x1, 0), y1 = std::max<int64_t>(y1, 0);
  x2 = std::min<int64_t>(x2, pw), y2 = std::min<int64_t>(y2, ph);
  if (x2 <= x1 || y2 <= y1) return;
  const int32_t rx = int32_t(x1), ry = int32_t(y1), rw = int32_t(x2 - x1), rh = int32_t(y2 - y1);
  if (gs.redraw)
    gs.redraw(gs, d, d->bgpic, d->screenBuffer, rx, ry, rw, rh, kRedrawAll);
  else
    Redraw(gs, d, d->bgpic, d->screenBuffer, rx, ry, rw, rh, kRedrawAll);
  BltToWindow(gs, d->screenBuffer, rx, ry, d, rx, ry, rw, rh, 1);
}

void RefreshRect(vkGraphicsState& gs, int32_t x, int32_t y, int32_t width, int32_t height) {
  vkDisplay* d = gs.CurrentDisplay;
  if (!d) return;
  if (d->renderTarget == kTargetDisplay) return RefreshRectNow(gs, x, y, width, height);
  if (d->renderTarget == kTargetBGPic) AppendRect(d->dirtyRects, x, y, width, height);
}

void FlushRectList(vkGraphicsState& gs, vkRectList& list) {
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || !d->bgpic || list.empty()) return;
  constexpr size_t kPairwiseMax = 256;
  if (list.size() <= kPairwiseMax) {
    // One merge pass: an entry swallows every later or earlier entry it meets.
    for (size_t i = 0; i < list.size(); i++) {
      vkRectEntry& a = list[i];
      if (a[0] == kRectAbsorbed) continue;
      for (size_t j = 0; j < list.size(); j++) {
        vkRectEntry& b = list[j];
        if (j == i || b[0] == kRectAbsorbed) continue;
        if (!RectsOverlap(a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3])) continue;
        a = {std::min(a[0], b[0]), std::min(a[1], b[1]), std::max(a[2], b[2]), std::max(a[3], b[3])};
        b[0] = kRectAbsorbed;
      }
    }
    for (const vkRectEntry& r : list)
      if (r[0] != kRectAbsorbed)
        RefreshRectNow(gs, r[0], r[1], int32_t(int64_t(r[2]) - r[0] + 1), int32_t(int64_t(r[3]) - r[1] + 1));
    return;
  }
  // Many entries: the picture's cells of 64 x 64 pixels that any entry
  // meets are recomposed, each run of marked cells in a row at once.
  constexpr int32_t kCell = 64;
  int32_t pw, ph;
  ShownSize(d->bgpic, false, &pw, &ph);
  if (pw < 1 || ph < 1) return;
  const int32_t cols = (pw + kCell - 1) / kCell, rows = (ph + kCell - 1) / kCell;
  std::vector<uint8_t> marked(size_t(cols) * size_t(rows), 0);
  for (const vkRectEntry& r : list) {
    if (r[0] == kRectAbsorbed) continue;
    const int32_t cx1 = std::max(r[0], 0) / kCell, cy1 = std::max(r[1], 0) / kCell;
    const int32_t cx2 = std::min(r[2], pw - 1) / kCell, cy2 = std::min(r[3], ph - 1) / kCell;
    if (r[2] < 0 || r[3] < 0 || cx1 > cx2 || cy1 > cy2) continue;
    for (int32_t cy = cy1; cy <= cy2; cy++)
      std::fill_n(marked.begin() + std::ptrdiff_t(size_t(cy) * size_t(cols) + size_t(cx1)), cx2 - cx1 + 1, 1);
  }
  for (int32_t cy = 0; cy < rows; cy++)
    for (int32_t cx = 0; cx < cols;) {
      if (!marked[size_t(cy) * size_t(cols) + size_t(cx)]) {
        cx++;
        continue;
      }
      int32_t end = cx;
      while (end < cols && marked[size_t(cy) * size_t(cols) + size_t(end)]) end++;
      RefreshRectNow(gs, cx * kCell, cy * kCell, (end - cx) * kCell, kCell);
      cx = end;
    }
}

void RefreshLayerRect(vkGraphicsState& gs, const vkLayer* layer, const int32_t* old) {
  const vkLayerData* s = layer->onScreen;
  if (!old) return RefreshRect(gs, s->screenX, s->screenY, s->screenWidth, s->screenHeight);
  const int32_t x = std::min(s->screenX, old[0]), y = std::min(s->screenY, old[1]);
  const int32_t w = (std::max(s->screenX, old[0]) - x) + std::max(s->screenWidth, old[2]);
  const int32_t h = (std::max(s->screenY, old[1]) - y) + std::max(s->screenHeight, old[3]);
  RefreshRect(gs, x, y, w, h);
}

void UpdateLayerPlacement(vkState* L, vkLayer* layer, const int32_t* old, int32_t x, int32_t y, int32_t width,
                          int32_t height, const int32_t* clipRect, vkBitMapPtr bitmap, vkPlanePtr mask,
                          vkPlanePtr alpha, uint32_t flags) {
  vkGraphicsState& gs = GraphicsState(L);
  vkLayerData* s = layer->onScreen;
  if ((flags & kPlacementKeepClip) && clipRect)
    s->clipX1 = clipRect[0], s->clipY1 = clipRect[1], s->clipX2 = clipRect[2], s->clipY2 = clipRect[3];
  int32_t before[4] = {s->screenX, s->screenY, s->screenWidth, s->screenHeight};
  if (old && old[2] != -1) std::copy(old, old + 4, before);
  s->screenWidth = width, s->screenHeight = height;
  if (layer->type != vkObjectType::LINE) {
    s->x = x, s->y = y;
    s->screenX = x - vkDoubleToInt32(s->width * layer->anchorX);
    s->screenY = y - vkDoubleToInt32(s->height * layer->anchorY);
  } else if (!(flags & kPlacementKeepClip)) {
    s->screenX = x, s->screenY = y;
  }
  if (bitmap) s->bitmap = std::move(bitmap), s->mask = std::move(mask), s->alpha = std::move(alpha);
  if (old && old[2] == -1) before[0] = s->screenX, before[1] = s->screenY, before[2] = width, before[3] = height;
  BroadcastAsyncDrawMessage(gs, kAsyncLayerChanged, layer);
  if (layer->hidden || layer->pending || LayersState(L).noRefresh) return;
  RefreshLayerRect(gs, layer, before);
}

int32_t IsLayerUncovered(const vkBGPic* bgpic, const vkLayer* layer) {
  const auto it = std::find(bgpic->layers.begin(), bgpic->layers.end(), layer);
  if (it == bgpic->layers.end()) return 1;
  const vkLayerData* a = layer->onScreen;
  for (auto k = it + 1; k != bgpic->layers.end(); ++k) {
    const vkLayer* above = *k;
    if (above->hidden || above->pending) continue;
    const vkLayerData* b = above->onScreen;
    if (RectsOverlap(a->screenX, a->screenY, a->screenX + a->screenWidth - 1, a->screenY + a->screenHeight - 1,
                     b->screenX, b->screenY, b->screenX + b->screenWidth - 1, b->screenY + b->screenHeight - 1))
      return 0;
  }
  return 1;
}
