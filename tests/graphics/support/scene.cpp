// The scene the brush and sprite tests draw into.
#include "scene.h"

#include "engine/attributes.h"
#include "engine/vmapi.h"
#include "graphics/graphicslib.h"
#include "pixel/copykernels.h"

namespace gfxtest {

namespace {

int OpenLibraries(vkState* L) {
  AddSetAttrHandler(L, SetGraphicsAttr);
  AddGetAttrHandler(L, GetGraphicsAttr);
  if (int rc = OpenBrushLibrary(L)) return rc;
  return OpenSpriteLibrary(L);
}

}  // namespace

void SetGlobalTable(vkState* L, const char* name, const Fields& fields) {
  vmPushString(L, name);
  vmNewTable(L);
  for (const auto& [k, v] : fields) {
    vmPushString(L, k);
    vmPushNumber(L, v);
    vmSetTable(L, -3);
  }
  vmSetTable(L, VK_GLOBALSINDEX);
}

void SceneTest::SetUp() {
  OpenLibrary(OpenLibraries);
  back.reset(AllocArgbBitMap(kWidth, kHeight));
  screen.reset(AllocArgbBitMap(kWidth, kHeight));
  Fill(back.get(), kBackground);
  Fill(screen.get(), kBackground);
  picture.width = picture.scaledWidth = kWidth;
  picture.height = picture.scaledHeight = kHeight;
  picture.bitmap = back.get();
  display.bgpic = &picture;
  display.width = kWidth, display.height = kHeight;
  display.backBuffer = back.get();
  display.screenBuffer = screen.get();
  // The fixture owns its display: the list only lends it.
  gs().DisplayList.emplace_back(&display);
  gs().CurrentDisplay = &display;
  gs().CurrentBGPic = &picture;
}

void SceneTest::TearDown() {
  FreeAllSprites(L);
  FreeAllBrushes(L);
  for (vkDisplayPtr& d : gs().DisplayList) (void)d.release();
  gs().DisplayList.clear();
  gs().CurrentDisplay = nullptr;
  gs().CurrentBGPic = nullptr;
  vktest::LibraryTest::TearDown();
}

vkGraphicsState& SceneTest::gs() { return GraphicsState(L); }

vkBrush* SceneTest::brush(int32_t number) {
  vkBrush* b = nullptr;
  return FindBrush(gs(), vkObjectId{number, nullptr}, &b, 0) == 0 ? b : nullptr;
}

void SceneTest::MakeBrush(int32_t number, int32_t width, int32_t height, const Pixels& pixels, const Pixels* mask,
                          const Pixels* alpha) {
  vkBrush* b = nullptr;
  ASSERT_EQ(FreeBrushById(gs(), vkObjectId{number, nullptr}, false), 0);
  ASSERT_EQ(CreateBrushRecord(gs(), vkIdRequest{number, false}, width, height, 0, mask != nullptr,
                              alpha != nullptr, true, &b),
            0);
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const size_t i = size_t(y * width + x);
      WriteBitMapPixel(b->bitmap.get(), x, y, pixels[i]);
      if (mask) WriteBitMapPixel(b->mask.get(), x, y, (*mask)[i] ? 0 : 1);
      if (alpha) b->alpha->data[size_t(y) * size_t(b->alpha->bytesPerRow) + size_t(x)] = uint8_t((*alpha)[i]);
    }
}

Pixels SceneTest::BrushPixels(int32_t number) {
  vkBrush* b = brush(number);
  return b ? Read(b->bitmap.get()) : Pixels{};
}

Pixels SceneTest::BrushMask(int32_t number) {
  Pixels out;
  vkBrush* b = brush(number);
  if (!b || !b->mask) return out;
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++) out.push_back(ReadBitMapPixel(b->mask.get(), x, y));
  return out;
}

Pixels SceneTest::BrushAlpha(int32_t number) {
  Pixels out;
  vkBrush* b = brush(number);
  if (!b || !b->alpha) return out;
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++)
      out.push_back(b->alpha->data[size_t(y) * size_t(b->alpha->bytesPerRow) + size_t(x)]);
  return out;
}

Pixels SceneTest::Read(const vkBitMap* b) {
  Pixels out;
  for (int32_t y = 0; y < b->height; y++)
    for (int32_t x = 0; x < b->width; x++) out.push_back(ReadBitMapPixel(b, x, y) & 0xFFFFFF);
  return out;
}

void SceneTest::Fill(vkBitMap* b, uint32_t rgb) {
  FillPixelRect32(b->pixels, b->bytesPerRow / 4, 0, 0, b->width, b->height, RGBToPixel(rgb, b->format));
}

}  // namespace gfxtest
