// Moves with layers on: a layer moved by its position, the logical
// position kept where a coordinate asks for it, and a brush that no layer
// shows yet inserted as the top layer and moved there; the composed picture
// equals the reference compositor's after each.
#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "layers/layers.h"
#include "layers/moveobject.h"
#include "support/layertest.h"

namespace {

using layertest::LayerTest;

class LayerMoves : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenMoveObjectLibrary(L), 0);
    vmSetTop(L, 0);
  }
};

TEST_F(LayerMoves, LayersAndBrushesMoveAsLayers) {
  MakeSolid(1, 4, 3, 0xC02020);
  MakeSolid(2, 3, 3, 0x2040E0);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  RunCases({
      {"MoveLayer", {1, 2, 2, 14, 2, 5}, ""},
      {"MoveLayer", {9, 0, 0, 5, 5}, "error 1081"},
      {"MoveSprite", {1, 0, 0, 5, 5}, "error 1162"},
  });
  EXPECT_EQ(Screen(15, 3), 0xC02020u);
  EXPECT_EQ(Screen(3, 3), kBackground);
  ExpectScreenIsReference();
  // A coordinate of 100000 keeps the layer's own.
  ASSERT_EQ(Call("MoveLayer", {1, kUseLayerPosition, kUseLayerPosition, kUseLayerPosition, 10, 3}), "");
  EXPECT_EQ(Screen(15, 11), 0xC02020u);
  ExpectScreenIsReference();
  // A brush no layer shows becomes the top layer and moves there.
  ASSERT_EQ(Call("MoveBrush", {2, 0, 0, 9, 6, 4}), "");
  EXPECT_EQ(CountLayers(&picture), 2);
  EXPECT_EQ(Screen(10, 7), 0x2040E0u);
  EXPECT_EQ(Screen(1, 1), kBackground);
  ExpectScreenIsReference();
  // Shown already: the topmost layer of it moves, none is added.
  ASSERT_EQ(Call("MoveBrush", {2, 9, 6, 1, 1, 4}), "");
  EXPECT_EQ(CountLayers(&picture), 2);
  EXPECT_EQ(Screen(2, 2), 0x2040E0u);
  ExpectScreenIsReference();
}

}  // namespace
