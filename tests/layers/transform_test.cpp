// Layer transformations: the matrices of the display options, their
// decomposition into rotations with scales, rotated layers composed with
// the same pixels as a rotated brush drawn with layers off, the records
// kept when rendering fails, and the on-screen records of a display that
// scales its layers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "layers/layers.h"
#include "support/layertest.h"

namespace {

using gfxtest::Pixels;
using layertest::LayerTest;
using layertest::Shape;
using vktest::Arg;

constexpr double kRad = 0.017453292519943295;

TEST(LayerMatrix, RotationsAndSizesMakeTheMatrix) {
  struct Case {
    int32_t width, height, angle;
    double scaleX, scaleY;
    double a, b, c, d;
  } cases[] = {
      {0, 0, 90, 1, 1, std::cos(270 * kRad), std::sin(270 * kRad), -std::sin(270 * kRad), std::cos(270 * kRad)},
      {0, 0, 450, 1, 1, std::cos(270 * kRad), std::sin(270 * kRad), -std::sin(270 * kRad), std::cos(270 * kRad)},
      {0, 0, -30, 1, 1, std::cos(390 * kRad), std::sin(390 * kRad), -std::sin(390 * kRad), std::cos(390 * kRad)},
      {0, 0, 0, 2.0, 0.5, 2.0, 0, 0, 0.5},
      {20, 5, 0, 3.0, 3.0, 2.0, 0, 0, 0.5},  // a size given wins over the scales
  };
  for (const Case& c : cases) {
    vkTransform t;
    BuildTransformMatrix(&t, c.width, c.height, 10, 10, c.scaleX, c.scaleY, c.angle);
    EXPECT_NEAR(t.matrix[0], c.a, 1e-12) << c.angle;
    EXPECT_NEAR(t.matrix[1], c.b, 1e-12) << c.angle;
    EXPECT_NEAR(t.matrix[2], c.c, 1e-12) << c.angle;
    EXPECT_NEAR(t.matrix[3], c.d, 1e-12) << c.angle;
  }
}

TEST(LayerMatrix, DecompositionFindsWholeDegreeRotationsWithScales) {
  for (int angle : {0, 1, 30, 89, 90, 135, 180, 270, 359})
    for (auto [sx, sy] : {std::pair{1.0, 1.0}, {2.0, 0.5}, {0.25, 3.0}}) {
      vkTransform t;
      BuildTransformMatrix(&t, 0, 0, 10, 10, sx, sy, angle);
      double gx = 0, gy = 0;
      ASSERT_EQ(DecomposeMatrix(t.matrix, &gx, &gy), 1) << angle << " " << sx;
      EXPECT_NEAR(gx, sx, 1e-6) << angle;
      EXPECT_NEAR(gy, sy, 1e-6) << angle;
    }
  const double shear[4] = {1, 0.5, 0, 1};
  const double half[4] = {std::cos(30.5 * kRad), std::sin(30.5 * kRad), -std::sin(30.5 * kRad), std::cos(30.5 * kRad)};
  double gx = 7, gy = 7;
  EXPECT_EQ(DecomposeMatrix(shear, &gx, &gy), 0);
  EXPECT_EQ(DecomposeMatrix(half, &gx, &gy), 0);
  EXPECT_EQ(gx, 7);  // untouched on failure
}

TEST(LayerMatrix, ScaleRectRoundsTheEdges) {
  int32_t x, y, w, h;
  ScaleRect(3, 2, 5, 4, 2.0, 0.5, &x, &y, &w, &h);
  EXPECT_EQ(x, 6);
  EXPECT_EQ(y, 1);
  EXPECT_EQ(w, 9);   // lrint(7 x 2) - 6 + 1
  EXPECT_EQ(h, 2);   // lrint(5 x 0.5) - 1 + 1, halves to even
}

class TransformTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    // A 4 x 2 brush: grey with a red marker in its top-left corner.
    Pixels p(8, 0x808080);
    p[0] = 0xFF0000;
    MakeBrush(1, 4, 2, p);
    gfxtest::SetGlobalTable(L, "turned", {{"rotate", 90}});
    gfxtest::SetGlobalTable(L, "big", {{"scalex", 2.0}, {"scaley", 1.5}});
    gfxtest::SetGlobalTable(L, "slanted", {{"rotate", -30}});
  }
  // What DisplayBrush with [options] draws with layers off.
  Pixels DrawnWithoutLayers(int32_t x, int32_t y, const char* options) {
    display.layersOn = 0;
    Fill(display.backBuffer, kBackground);
    EXPECT_EQ(Call("DisplayBrush", {1, x, y, Arg::global(options)}), "");
    Pixels out = Read(display.backBuffer);
    Fill(display.backBuffer, kBackground);
    display.layersOn = 1;
    return out;
  }
};

TEST_F(TransformTest, TransformedLayersShowWhatTheBrushDrawsWithoutLayers) {
  for (const char* options : {"turned", "big", "slanted"}) {
    const Pixels direct = DrawnWithoutLayers(6, 5, options);
    ASSERT_NE(std::count(direct.begin(), direct.end(), 0xFF0000u), 0) << options;  // the marker was drawn
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {1, 6, 5, Arg::global(options)}), "") << options;
    EXPECT_EQ(Read(display.screenBuffer), direct) << options;
    ExpectScreenIsReference();
    const vkLayer* layer = picture.layers[0];
    EXPECT_NE(layer->transformed, layer->inserted);
    EXPECT_EQ(layer->onScreen, layer->transformed);
    EXPECT_EQ(layer->inserted->screenWidth, 4);  // the planes as inserted stay
  }
}

TEST_F(TransformTest, ATurnOf90DegreesCarriesTheTopLeftCornerToTheBottomLeft) {
  ASSERT_EQ(Call("DisplayBrush", {1, 6, 5, Arg::global("turned")}), "");
  const vkLayerData* d = picture.layers[0]->onScreen;
  ASSERT_EQ(d->screenWidth, 2);
  ASSERT_EQ(d->screenHeight, 4);
  EXPECT_EQ(Screen(d->screenX, d->screenY + 3), 0xFF0000u);
  EXPECT_EQ(Screen(d->screenX, d->screenY), 0x808080u);
  EXPECT_EQ(Screen(d->screenX + 1, d->screenY + 3), 0x808080u);
}

// A layer kind whose drawing fails as an allocation would.
int32_t FailingDraw(vkGraphicsState&, vkLayer*, vkLayerData*, const double*, uint32_t) { return kErrOutOfMemory; }
const vkLayerKindOps kFailing = {nullptr, FailingDraw, nullptr};

TEST_F(TransformTest, AFailedRenderingKeepsThePreviousRecords) {
  ASSERT_EQ(Call("DisplayBrush", {1, 6, 5, Arg::global("turned")}), "");
  vkLayer* layer = picture.layers[0];
  const vkLayerData* in = layer->inserted;
  const vkLayerData* tr = layer->transformed;
  const Pixels before = Read(display.screenBuffer);
  layer->ops = &kFailing;
  BuildTransformMatrix(&layer->transform, 0, 0, 4, 2, 1, 1, 45);
  EXPECT_EQ(RenderTransformedLayer(gs(), layer, kRenderWithMatrix), kErrOutOfMemory);
  EXPECT_EQ(layer->inserted, in);
  EXPECT_EQ(layer->transformed, tr);
  EXPECT_EQ(layer->onScreen, tr);
  EXPECT_EQ(layer->transformed->screenWidth, 2);
  layer->ops = nullptr;
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  EXPECT_EQ(Read(display.screenBuffer), before);
  // A matrix that cannot be applied makes no layer.
  vmPushString(L, "flat");
  vmNewTable(L);
  vmPushString(L, "transform");
  vmNewTable(L);
  for (int k = 0; k < 4; k++) {
    vmPushNumber(L, 1);
    vmRawSetI(L, -2, k);
  }
  vmSetTable(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  EXPECT_EQ(Call("DisplayBrush", {1, 2, 2, Arg::global("flat")}), "error 1055");
  EXPECT_EQ(CountLayers(&picture), 1);
}

TEST_F(TransformTest, ADisplayThatScalesItsLayersGetsOnScreenRecordsAtItsScale) {
  MakeSolid(2, 4, 4, 0x00FF00);
  display.layerScaling = 1;
  display.scaledWidth = 2 * kWidth, display.scaledHeight = 2 * kHeight;
  display.scaleX = display.scaleY = 2.0;
  display.renderTarget = kTargetBGPic;  // composed later; the buffers keep the picture's size here
  ASSERT_EQ(Call("DisplayBrush", {2, 3, 2}), "");
  const vkLayer* layer = picture.layers[0];
  EXPECT_EQ(layer->transformed, layer->inserted);
  ASSERT_NE(layer->onScreen, layer->inserted);
  EXPECT_EQ(layer->onScreen->screenX, 6);
  EXPECT_EQ(layer->onScreen->screenY, 4);
  EXPECT_EQ(layer->onScreen->screenWidth, 8);
  EXPECT_EQ(layer->onScreen->screenHeight, 8);
  EXPECT_EQ(layer->inserted->screenX, 3);
  // The box of a layer test is scaled as the on-screen records are.
  EXPECT_EQ(Call("Collision", {vkObjectType::LAYER_VS_BOX, 1, 9, 6, 1, 1}), "0");
  EXPECT_EQ(Call("Collision", {vkObjectType::LAYER_VS_BOX, 1, 5, 4, 1, 1}), "1");
  EXPECT_EQ(Call("GetLayerAtPos", {4, 3}), "1, \"\"");
  EXPECT_EQ(Call("GetLayerAtPos", {8, 3}), "0, \"\"");
  // A new scale renders the on-screen records anew.
  display.scaledWidth = 3 * kWidth, display.scaledHeight = 3 * kHeight;
  display.scaleX = display.scaleY = 3.0;
  ASSERT_EQ(gs().layersRescaled(L, &display), 0);
  EXPECT_EQ(layer->onScreen->screenX, 9);
  EXPECT_EQ(layer->onScreen->screenWidth, 12);
  EXPECT_EQ(layer->inserted->screenWidth, 4);
  // Back at the picture's scale the transformed record is shown again.
  display.scaleX = display.scaleY = 1.0;
  ASSERT_EQ(gs().layersRescaled(L, &display), 0);
  EXPECT_EQ(layer->onScreen, layer->transformed);
  display.layerScaling = 0;
  display.scaleX = display.scaleY = 1.0;
  display.renderTarget = kTargetDisplay;
}

}  // namespace
