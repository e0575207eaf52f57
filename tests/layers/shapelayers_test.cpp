// Vector shapes with layers on: each shape becomes a layer of its own type
// that keeps its record; a shape layer moved and drawn anew in place shows
// exactly what the same command draws fresh at the new place, and a rotated
// shape layer shows what the command draws with layers off.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/vmapi.h"
#include "graphics/drawlib.h"
#include "graphics/shapes.h"
#include "layers/layerrender.h"
#include "layers/layers.h"
#include "layers/shapelayers.h"
#include "support/layertest.h"

namespace {

using gfxtest::Pixels;
using layertest::LayerTest;
using vktest::Arg;

class ShapeLayers : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenDrawLibrary(L), 0);
    vmSetTop(L, 0);
    vmPushString(L, "poly");
    vmNewTable(L);
    const double points[] = {0, 0, 7, 2, 4, 7, 1, 4};
    for (int i = 0; i < 8; i++) {
      vmPushNumber(L, i);
      vmPushNumber(L, points[i]);
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
    ASSERT_EQ(Call("SetFillStyle", {1}), "");
  }
  void Clear() {
    FreeBGPicLayers(gs(), L, &picture, false, false);
    Fill(display.backBuffer, kBackground);
    RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  }
};

struct ShapeCase {
  int32_t type;
  const char* command;
  std::vector<Arg> args;
  int ends;  // coordinate pairs at the front of the arguments
};

const std::vector<ShapeCase> kShapes = {
    {kShapeBox, "Box", {2, 2, 8, 5, 0xE03020}, 1},
    {kShapeBox, "Box", {2, 2, 9, 6, 0xE03020, 3}, 1},  // rounded
    {kShapeCircle, "Circle", {3, 3, 4, 0x20C040}, 1},
    {kShapeEllipse, "Ellipse", {3, 3, 6, 3, 0x2040E0}, 1},
    {kShapeArc, "Arc", {3, 2, 6, 5, 30, 250, 0xC0C020, 1}, 1},
    {kShapePolygon, "Polygon", {2, 2, Arg::global("poly"), 4, 0x20C0C0}, 1},
    {kShapeLine, "Line", {2, 3, 12, 8, 0xC020C0, 2}, 2},
};

std::vector<Arg> Moved(const ShapeCase& c, double dx, double dy) {
  std::vector<Arg> args = c.args;
  for (int i = 0; i < c.ends; i++) args[size_t(2 * i)].number += dx, args[size_t(2 * i + 1)].number += dy;
  return args;
}

TEST_F(ShapeLayers, AShapeLayerMovedAndDrawnAnewEqualsTheShapeDrawnThere) {
  for (const int form : {1, 16 | 64}) {  // plain; antialiased with an edge
    ASSERT_EQ(Call("SetFormStyle", {form}), "");
    for (const ShapeCase& c : kShapes) {
      SCOPED_TRACE(testing::Message() << c.command << " form " << form);
      Clear();
      ASSERT_EQ(Call(c.command, c.args), "");
      ASSERT_EQ(CountLayers(&picture), 1);
      vkLayer* layer = GetNthLayer(&picture, 1);
      EXPECT_EQ(layer->type, c.type);
      EXPECT_TRUE(IsShapeLayerType(layer->type));
      ExpectScreenIsReference();
      layer->name = "shape";
      SetLayerPosition(L, layer, nullptr, 5, 3, kPositionRelativeX | kPositionRelativeY, nullptr);
      vkLayer* made = nullptr;
      ASSERT_EQ(DrawLayerByType(L, layer, 1, nullptr, kDrawReplace, &made), 0);
      ASSERT_EQ(CountLayers(&picture), 1);
      ASSERT_EQ(made, GetNthLayer(&picture, 1));
      EXPECT_EQ(made->type, c.type);
      EXPECT_EQ(made->name, "shape");
      RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
      ExpectScreenIsReference();
      const Pixels redrawn = Read(display.screenBuffer);
      EXPECT_GT(std::count_if(redrawn.begin(), redrawn.end(), [](uint32_t p) { return p != kBackground; }), 8);
      Clear();
      ASSERT_EQ(Call(c.command, Moved(c, 5, 3)), "");
      EXPECT_EQ(Read(display.screenBuffer), redrawn);
    }
  }
}

TEST_F(ShapeLayers, ARotatedShapeLayerShowsWhatTheCommandDrawsWithLayersOff) {
  ASSERT_EQ(Call("SetFormStyle", {1}), "");
  for (const ShapeCase& c : kShapes) {
    if (c.type == kShapeLine) continue;  // a line takes its thickness where the rotation goes
    SCOPED_TRACE(c.command);
    std::vector<Arg> args = c.args;
    if (c.type == kShapeBox && args.size() == 5) args.push_back(0);
    args.push_back(30);
    Clear();
    ASSERT_EQ(Call(c.command, args), "");
    ASSERT_EQ(CountLayers(&picture), 1);
    ExpectScreenIsReference();
    const Pixels layered = Read(display.screenBuffer);
    EXPECT_GT(std::count_if(layered.begin(), layered.end(), [](uint32_t p) { return p != kBackground; }), 8);
    Clear();
    display.layersOn = 0;
    ASSERT_EQ(Call(c.command, args), "");
    display.layersOn = 1;
    EXPECT_EQ(Read(display.backBuffer), layered);
  }
}

TEST_F(ShapeLayers, BadShapeRecordsFailAndKeepTheLayer) {
  ASSERT_EQ(Call("Circle", {3, 3, 4, 0x20C040}), "");
  vkLayer* layer = GetNthLayer(&picture, 1);
  // A record without the shape's data is refused, the layer stays.
  vkLayerDataPtr bare = CopyLayerData(*layer->inserted);
  bare->kind.reset();
  EXPECT_EQ(DrawLayerByType(L, layer, 1, bare.get(), kDrawReplace), 1055);
  EXPECT_EQ(GetNthLayer(&picture, 1), layer);
  EXPECT_EQ(CountLayers(&picture), 1);
}

}  // namespace
