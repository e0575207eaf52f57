// Collision tests: rectangles that touch at a corner, masks that keep two
// objects apart, the box kind that looks at no object, layers, and a side
// with both a mask and an alpha plane that marks a pixel only where both do.
#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "layers/layers.h"
#include "support/layertest.h"

namespace {

using gfxtest::Pixels;
using layertest::LayerTest;

class CollisionTest : public LayerTest {};

TEST_F(CollisionTest, RectanglesDecideWithoutPlanes) {
  MakeSolid(1, 4, 4, 0x111111);
  MakeSolid(2, 4, 4, 0x222222);
  RunCases({
      {"Collision", {vkObjectType::BRUSH, 1, 0, 0, 2, 3, 3}, "1"},  // one corner pixel
      {"Collision", {vkObjectType::BRUSH, 1, 0, 0, 2, 4, 3}, "0"},
      {"Collision", {vkObjectType::BRUSH_VS_BOX, 1, 10, 10, 13, 13, 5, 5}, "1"},
      {"Collision", {vkObjectType::BRUSH_VS_BOX, 1, 10, 10, 14, 10, 5, 5}, "0"},
      {"Collision", {vkObjectType::BOX, 0, 0, 10, 10, 9, 9, 1, 1}, "1"},
      {"Collision", {vkObjectType::BOX, 0, 0, 10, 10, 10, 0, 1, 1}, "0"},
      {"Collision", {vkObjectType::BRUSH, 1, 0, 0, 9, 3, 3}, "error 1174"},
      {"Collision", {99, 1, 0, 0, 2, 3, 3}, "error 1055"},
  });
  // The box kind looks at no object at all.
  FreeAllBrushes(L);
  EXPECT_EQ(Call("Collision", {vkObjectType::BOX, 5, 5, 2, 2, 6, 6, 2, 2}), "1");
}

TEST_F(CollisionTest, MasksTestEveryPixelOfTheOverlap) {
  // Brush 1 shows only its left half, brush 2 only its right half.
  Pixels left(16), right(16);
  for (int i = 0; i < 16; i++) left[size_t(i)] = (i % 4) < 2, right[size_t(i)] = (i % 4) >= 2;
  MakeBrush(1, 4, 4, Pixels(16, 0x111111), &left);
  MakeBrush(2, 4, 4, Pixels(16, 0x222222), &right);
  RunCases({
      {"Collision", {vkObjectType::BRUSH, 1, 0, 0, 2, 0, 0}, "0"},   // the same place: halves apart
      {"Collision", {vkObjectType::BRUSH, 1, 0, 0, 2, -1, 0}, "1"},  // right half of 2 over left of 1
      {"Collision", {vkObjectType::BRUSH, 1, 0, 0, 2, 1, 2}, "0"},
      {"Collision", {vkObjectType::BRUSH_VS_BOX, 2, 0, 0, 1, 0, 1, 4}, "0"},
      {"Collision", {vkObjectType::BRUSH_VS_BOX, 2, 0, 0, 2, 3, 1, 1}, "1"},
  });
}

TEST_F(CollisionTest, LayersUseTheirOnScreenRecords) {
  Pixels top(16);
  for (int i = 0; i < 16; i++) top[size_t(i)] = i < 8;  // the upper half shows
  MakeBrush(1, 4, 4, Pixels(16, 0x111111), &top);
  MakeSolid(2, 2, 2, 0x222222);
  ASSERT_EQ(Call("DisplayBrush", {1, 4, 4}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 6, 7}), "");
  ASSERT_EQ(Call("DisplayBrushPart", {1, 0, 1, 12, 4, 4, 2}), "");  // rows 1 and 2 of brush 1
  RunCases({
      {"Collision", {vkObjectType::LAYER, 1, 2}, "0"},  // the solid one meets only the clear half
      {"Collision", {vkObjectType::LAYER_VS_BOX, 1, 4, 5, 1, 1}, "1"},
      {"Collision", {vkObjectType::LAYER_VS_BOX, 1, 4, 6, 1, 1}, "0"},
      {"Collision", {vkObjectType::LAYER_VS_BOX, 3, 12, 4, 1, 1}, "1"},  // the part's first row is row 1
      {"Collision", {vkObjectType::LAYER_VS_BOX, 3, 12, 5, 1, 1}, "0"},  // its second row 2, clear
      {"Collision", {vkObjectType::LAYER, 1, 9}, "error 1081"},
  });
  display.layersOn = 0;
  EXPECT_EQ(Call("Collision", {vkObjectType::LAYER, 1, 2}), "error 1078");
  display.layersOn = 1;
}

TEST(CollisionSides, ASideWithMaskAndAlphaMarksWhereBothDo) {
  vkPlanePtr mask(AllocMaskPlane(4, 1, true));
  vkPlanePtr alpha(AllocAlphaPlane(4, 1, true));
  // Pixel 0: mask only; 1: alpha only; 2: both; 3: neither.
  WriteBitMapPixel(mask.get(), 0, 0, 0);
  WriteBitMapPixel(mask.get(), 2, 0, 0);
  alpha->data[1] = 200, alpha->data[2] = 90;
  vkCollisionSide text;
  text.x = 10, text.y = 0, text.width = 4, text.height = 1;
  text.mask = mask.get(), text.alpha = alpha.get();
  for (int x = 0; x < 4; x++) {
    vkCollisionSide point;
    point.x = 10 + x, point.width = 1, point.height = 1;
    EXPECT_EQ(TestCollision(text, point), x == 2 ? 1 : 0) << x;
    EXPECT_EQ(TestCollision(point, text), x == 2 ? 1 : 0) << x;
  }
  vkCollisionSide empty;
  EXPECT_EQ(TestCollision(text, empty), 0);
}

}  // namespace
