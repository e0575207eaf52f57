// Move queues: the entries of a queue performed at once, the changed
// rectangles merged and recomposed once (seen in the copy log), the queue
// limit and lookups, and the composed picture against the reference
// compositor after each DoMove.
#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "layers/layers.h"
#include "layers/moveobject.h"
#include "layers/movequeues.h"
#include "support/layertest.h"

namespace {

using layertest::Copy;
using layertest::LayerTest;
using vktest::Arg;

constexpr int kUndo = 10, kLayer = 22, kInsertBrush = 24, kHide = 25, kRemove = 26, kNextFrame2 = 34, kBrush = 3;

class MoveQueues : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenMoveObjectLibrary(L), 0);
    vmSetTop(L, 0);
    MakeSolid(1, 4, 3, 0xC02020);
    MakeSolid(2, 3, 3, 0x2040E0);
    MakeSolid(3, 2, 2, 0x20C040);
  }
};

TEST_F(MoveQueues, TheQueueHoldsFiveHundredTwelveEntries) {
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  for (int i = 0; i < kMoveQueueCapacity; i++) ASSERT_EQ(Call("AddMove", {7, kLayer, 1, i % 20, 3}), "") << i;
  EXPECT_EQ(Call("AddMove", {7, kLayer, 1, 0, 0}), "error 1066");
  // Another queue is not affected, and the full one still runs.
  EXPECT_EQ(Call("AddMove", {8, kLayer, 1, 0, 0}), "");
  EXPECT_EQ(Call("DoMove", {7}), "");
  EXPECT_EQ(Screen(12, 4), 0xC02020u);  // the last entry: x 11
  ExpectScreenIsReference();
}

TEST_F(MoveQueues, OverlappingMovesAreRecomposedAsOneRectangle) {
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 6, 2}), "");
  RunCases({
      {"AddMove", {1, kLayer, 1, 3, 4}, ""},
      {"AddMove", {1, kLayer, 2, 7, 4}, ""},
  });
  copies.clear();
  ASSERT_EQ(Call("DoMove", {1}), "");
  // Old places (2..5, 2..4) and (6..8, 2..4), new (3..6, 4..6) and (7..9, 4..6).
  EXPECT_EQ(copies, (std::vector<Copy>{{2, 2, 8, 5}}));
  EXPECT_EQ(Screen(3, 4), 0xC02020u);
  EXPECT_EQ(Screen(9, 6), 0x2040E0u);
  EXPECT_EQ(Screen(2, 2), kBackground);
  ExpectScreenIsReference();
  // Apart, they are recomposed apart.
  RunCases({
      {"AddMove", {2, kLayer, 1, 0, 10}, ""},
      {"AddMove", {2, kLayer, 2, 18, 10}, ""},
  });
  copies.clear();
  ASSERT_EQ(Call("DoMove", {2}), "");
  EXPECT_EQ(copies.size(), 2u);
  ExpectScreenIsReference();
}

TEST_F(MoveQueues, AMoveOffThePictureRecomposesNothing) {
  ASSERT_EQ(Call("DisplayBrush", {1, -40, -40}), "");
  ASSERT_EQ(Call("AddMove", {1, kLayer, 1, 60, 50}), "");
  copies.clear();
  ASSERT_EQ(Call("DoMove", {1}), "");
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(picture.layers[0]->onScreen->screenX, 60);
  ExpectScreenIsReference();
}

TEST_F(MoveQueues, QueuesAreFoundByNumberOrByTheHandleOfNil) {
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  ASSERT_EQ(Call("AddMove", {nullptr, kLayer, 1, 10, 8}), "handle");
  void* queue = vmToUserdata(L, -1);
  ASSERT_NE(queue, nullptr);
  RunCases({
      {"AddMove", {Arg::handle(queue), kHide, 1}, ""},
      {"DoMove", {Arg::handle(queue)}, ""},
      {"ClearMove", {Arg::handle(queue)}, ""},
      {"DoMove", {Arg::handle(queue)}, "error 1041"},
      {"ClearMove", {Arg::handle(queue)}, "error 1041"},
      {"ClearMove", {99}, "error 1182"},
      {"DoMove", {99}, "error 1182"},
  });
  EXPECT_EQ(picture.layers[0]->hidden, 1);
  EXPECT_EQ(picture.layers[0]->onScreen->screenX, 10);
  EXPECT_EQ(Screen(2, 2), kBackground);
  EXPECT_EQ(Screen(10, 8), kBackground);
  ExpectScreenIsReference();
}

TEST_F(MoveQueues, EntriesOfEveryLayerKindRunInOrder) {
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 10, 2}), "");
  ASSERT_EQ(Call("DisplayBrush", {3, 18, 2}), "");
  RunCases({
      // Layer 1 goes; the old layer 2 is then the first.
      {"AddMove", {1, kRemove, 1}, ""},
      {"AddMove", {1, kLayer, 1, 10, 9}, ""},
      {"AddMove", {1, kHide, 2}, ""},
      {"AddMove", {1, kInsertBrush, 1, 0, 12, 1}, ""},
      {"AddMove", {1, kBrush, 3, 20, 12}, ""},
      {"AddMove", {1, kUndo, kBrush, 3}, ""},
      {"DoMove", {1}, ""},
  });
  ASSERT_EQ(CountLayers(&picture), 3);
  EXPECT_EQ(picture.layers[0]->object.number, 1);  // inserted at the bottom
  EXPECT_EQ(Screen(1, 13), 0xC02020u);
  EXPECT_EQ(Screen(11, 10), 0x2040E0u);
  EXPECT_EQ(Screen(3, 3), kBackground);
  EXPECT_EQ(Screen(18, 2), kBackground);  // hidden
  EXPECT_EQ(Screen(20, 12), kBackground);  // shown, then undone
  ExpectScreenIsReference();
}

TEST_F(MoveQueues, AFailingEntryStopsTheQueueAfterShowingWhatChanged) {
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  RunCases({
      {"AddMove", {1, kLayer, 1, 12, 8}, ""},
      {"AddMove", {1, kNextFrame2, 1, 0, 0, 2}, ""},
      {"DoMove", {1}, "error 1055"},
      {"AddMove", {2, kRemove, 5}, ""},
      {"DoMove", {2}, "error 1081"},
      {"AddMove", {3, 77, 1}, ""},
      {"DoMove", {3}, "error 1055"},
      // Positions are looked up when the queue runs.
      {"AddMove", {4, kLayer, 9}, ""},
      {"DoMove", {4}, "error 1081"},
  });
  EXPECT_EQ(Screen(12, 8), 0xC02020u);
  EXPECT_EQ(Screen(2, 2), kBackground);
  ExpectScreenIsReference();
}

TEST_F(MoveQueues, DoMoveNeedsLayers) {
  ASSERT_EQ(Call("AddMove", {1, kLayer, 1}), "");
  display.layersOn = 0;
  EXPECT_EQ(Call("DoMove", {1}), "error 1078");
  display.layersOn = 1;
}

TEST_F(MoveQueues, TranslateLayerMovesByADistance) {
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  copies.clear();
  RunCases({
      {"TranslateLayer", {1, 3, 1}, ""},
      {"TranslateLayer", {4, 3, 1}, "error 1081"},
  });
  EXPECT_EQ(copies, (std::vector<Copy>{{2, 2, 7, 4}}));
  EXPECT_EQ(Screen(8, 5), 0xC02020u);
  EXPECT_EQ(Screen(2, 2), kBackground);
  ExpectScreenIsReference();
}

}  // namespace
