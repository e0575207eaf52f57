// The layer tests' scene, copy log and reference compositor.
#include "layertest.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/vmapi.h"
#include "text/textobjects.h"

namespace layertest {

namespace {

LayerTest* gLogging = nullptr;  // the test whose recompositions are logged

void LoggedRedraw(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, vkBitMap* dst, int32_t x, int32_t y,
                  int32_t width, int32_t height, int32_t flags) {
  Redraw(gs, display, bgpic, dst, x, y, width, height, flags);
  if (gLogging && display && dst == display->screenBuffer && flags == 0)
    gLogging->copies.push_back({x, y, width, height});
}

uint32_t Channel(uint32_t c, int shift) { return (c >> shift) & 0xFF; }

uint32_t PerChannel(uint32_t s, uint32_t d, int64_t a, bool towardsDestination) {
  // Through an alpha byte, 0 keeps the destination and 255 takes the source.
  if (!towardsDestination && a == 0) return d;
  if (!towardsDestination && a == 255) return s;
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    const int64_t sc = Channel(s, shift), dc = Channel(d, shift);
    const int64_t v = towardsDestination ? sc + ((a * (dc - sc)) >> 8) : dc + (((sc - dc) * a) >> 8);
    out |= uint32_t(v & 0xFF) << shift;
  }
  return out;
}

}  // namespace

void LayerTest::SetUp() {
  gfxtest::SceneTest::SetUp();
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(OpenLayersLibrary(L), 0);
  vmSetTop(L, 0);
  gs().redraw = LoggedRedraw;
  gLogging = this;
  display.layersOn = 1;
}

void LayerTest::TearDown() {
  gLogging = nullptr;
  FreeBGPicLayers(gs(), L, &picture, false, false);
  gfxtest::SceneTest::TearDown();
}

void LayerTest::MakeSolid(int32_t number, int32_t width, int32_t height, uint32_t rgb) {
  MakeBrush(number, width, height, gfxtest::Pixels(size_t(width * height), rgb));
}

void LayerTest::MakePatterned(int32_t number, int32_t width, int32_t height, Shape shape) {
  gfxtest::Pixels pixels, planes;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      pixels.push_back(uint32_t(37 * x + 11 * number) % 256 << 16 | uint32_t(53 * y + 7 * x) % 256 << 8 |
                       uint32_t(90 + 29 * (x ^ y) + number) % 256);
      const int k = (x * 3 + y * 5 + number) % 7;
      planes.push_back(shape == Shape::Mask ? (k % 3 != 0) : k == 0 ? 0 : k == 6 ? 255 : 40 * k);
    }
  MakeBrush(number, width, height, pixels, shape == Shape::Mask ? &planes : nullptr,
            shape == Shape::Alpha ? &planes : nullptr);
}

uint32_t LayerTest::Screen(int32_t x, int32_t y) { return ReadBitMapPixel(display.screenBuffer, x, y) & 0xFFFFFF; }

gfxtest::Pixels LayerTest::Reference() {
  gfxtest::Pixels out = Read(display.backBuffer);
  for (const vkLayer* layer : picture.layers) {
    if (layer->type == vkObjectType::NOOBJECT || layer->hidden || layer->pending || layer->transparency == 255)
      continue;
    const vkLayerData* d = layer->onScreen;
    const vkBitMap* bitmap;
    const vkPlane *mask, *alpha;
    int32_t ox = 0, oy = 0;
    if (d->transformedBitmap) {
      bitmap = d->transformedBitmap.get(), mask = d->transformedMask.get(), alpha = d->transformedAlpha.get();
    } else if (d->bitmap) {
      bitmap = d->bitmap.get(), mask = d->mask.get(), alpha = d->alpha.get();
    } else if (layer->type == vkObjectType::TEXTOBJECT) {
      // A text object's alpha plane, where it has one, carries its shape.
      const vkTextObject* o = static_cast<const vkTextObject*>(layer->record);
      bitmap = o->bitmap.get(), alpha = o->alpha.get(), mask = alpha ? nullptr : o->mask.get();
    } else {
      const vkBrush* b = static_cast<const vkBrush*>(layer->record);
      bitmap = b->bitmap.get(), mask = b->mask.get(), alpha = b->alpha.get();
      if (layer->type == vkObjectType::BRUSHPART) ox = d->sourceX, oy = d->sourceY;
    }
    const int32_t level = 255 - layer->transparency;
    for (int32_t y = std::max(0, d->screenY); y < std::min(kHeight, d->screenY + d->screenHeight); y++)
      for (int32_t x = std::max(0, d->screenX); x < std::min(kWidth, d->screenX + d->screenWidth); x++) {
        if (const vkClipRegion* c = d->clip)
          if (x < c->x || y < c->y || x >= c->x + c->width || y >= c->y + c->height) continue;
        const int32_t sx = x - d->screenX + ox, sy = y - d->screenY + oy;
        if (sx >= bitmap->width || sy >= bitmap->height) continue;
        uint32_t s = ReadBitMapPixel(bitmap, sx, sy) & 0xFFFFFF;
        if (layer->tint) s = PerChannel(s, layer->tintColor, layer->tint, true);
        uint32_t& p = out[size_t(y * kWidth + x)];
        const int64_t a = alpha ? alpha->data[size_t(sy) * size_t(alpha->bytesPerRow) + size_t(sx)] : 255;
        if (level == 255) {
          if (mask) {
            if (ReadBitMapPixel(mask, sx, sy)) p = s;
          } else {
            p = alpha ? PerChannel(s, p, a, false) : s;
          }
        } else if (alpha) {
          p = PerChannel(s, p, a * level / 255, false);
        } else if (!mask || ReadBitMapPixel(mask, sx, sy)) {
          p = PerChannel(s, p, 255 - level, true);
        }
      }
  }
  return out;
}

void LayerTest::ExpectScreenIsReference() {
  const gfxtest::Pixels want = Reference(), got = Read(display.screenBuffer);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++)
    ASSERT_EQ(got[i], want[i]) << "pixel " << i % kWidth << ", " << i / kWidth;
}

}  // namespace layertest
