// Anims with layers on: a playback inserts the anim as one layer and each
// step changes that layer's frame, whatever position the display options
// gave it; stepped playbacks keep their layer bound; the composed picture
// equals the layer tests' reference compositor after each step.
#include <gtest/gtest.h>

#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "layers/animlib.h"
#include "layers/anims.h"
#include "support/layertest.h"

namespace {

using vktest::Arg;

class AnimLayerTest : public layertest::LayerTest {
 protected:
  void SetUp() override {
    layertest::LayerTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenAnimLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeAllAnims(L);
    layertest::LayerTest::TearDown();
  }
  // Anim [number]: [frames] frames of 4 x 3, each a different pattern, with
  // a mask that hides a few pixels.
  void MakeAnim(int32_t number, int32_t frames) {
    MakePatterned(90, 4 * frames, 3, layertest::Shape::Mask);
    ASSERT_EQ(Call("CreateAnim", {number, 90, 4, 3, frames, frames}), "");
  }
  // The pixels of frame [f] of anim [number].
  gfxtest::Pixels FramePixels(int32_t number, int32_t f) {
    vkAnim* a = nullptr;
    if (FindAnim(gs(), vkObjectId{number, nullptr}, &a, 0)) return {};
    return Read(a->frames[size_t(f)].bitmap.get());
  }
  gfxtest::Pixels LayerPixels(const vkLayer* layer) { return Read(layer->inserted->bitmap.get()); }
};

TEST_F(AnimLayerTest, PlaybackChangesTheFrameOfItsOwnLayer) {
  MakeAnim(1, 3);
  MakeSolid(2, 6, 6, 0x80FF80);
  ASSERT_EQ(Call("DisplayBrush", {2, 2, 2}), "");
  ASSERT_EQ(Call("PlayAnim", {1, 5, 4}), "");
  ASSERT_EQ(picture.layers.size(), 2u);
  const vkLayer* top = picture.layers[1];
  EXPECT_EQ(top->type, vkObjectType::ANIM);
  EXPECT_EQ(top->inserted->sourceX, 2);
  EXPECT_EQ(LayerPixels(top), FramePixels(1, 2));
  ExpectScreenIsReference();
  // Inserted at the bottom by the options, the playback still changes its
  // own layer, not the topmost one.
  gfxtest::SetGlobalTable(L, "bottom", {{"insertpos", 1}, {"speed", -2}, {"times", 2}});
  ASSERT_EQ(Call("PlayAnim", {1, 1, 1, Arg::global("bottom")}), "");
  ASSERT_EQ(picture.layers.size(), 3u);
  EXPECT_EQ(picture.layers[0]->type, vkObjectType::ANIM);
  EXPECT_EQ(LayerPixels(picture.layers[0]), FramePixels(1, 2));
  EXPECT_EQ(picture.layers[2], top);
  ExpectScreenIsReference();
}

TEST_F(AnimLayerTest, SteppedPlaybackKeepsItsLayerBound) {
  MakeAnim(1, 3);
  gfxtest::SetGlobalTable(L, "async", {{"async", 1}});
  ASSERT_EQ(Call("PlayAnim", {1, 3, 3, Arg::global("async")}), "handle");
  void* handle = vmToUserdata(L, -1);
  ASSERT_EQ(picture.layers.size(), 1u);
  vkLayer* layer = picture.layers[0];
  EXPECT_TRUE(IsLayerBoundToAsyncDraw(gs(), layer));
  EXPECT_EQ(Call("FreeAnim", {1}), "error 1314");
  for (int32_t f = 0; f < 3; f++) {
    int32_t done = 0;
    ASSERT_EQ(AsyncDrawFrame(gs(), vkObjectId{0, handle}, nullptr, &done), 0);
    EXPECT_EQ(LayerPixels(layer), FramePixels(1, f)) << "frame " << f;
    ExpectScreenIsReference();
  }
  int32_t done = 0;
  ASSERT_EQ(AsyncDrawFrame(gs(), vkObjectId{0, handle}, nullptr, &done), 0);
  EXPECT_EQ(done, 1);
  EXPECT_FALSE(IsLayerBoundToAsyncDraw(gs(), layer));
  // The layer keeps the last frame after the anim is gone.
  EXPECT_EQ(Call("FreeAnim", {1}), "");
  ASSERT_EQ(picture.layers.size(), 1u);
  ExpectScreenIsReference();
}

TEST_F(AnimLayerTest, DisplayedFramesBecomeLayers) {
  MakeAnim(1, 2);
  ASSERT_EQ(Call("DisplayAnimFrame", {1, 0, 0, 2}), "");
  ASSERT_EQ(picture.layers.size(), 1u);
  EXPECT_EQ(picture.layers[0]->type, vkObjectType::ANIM);
  EXPECT_EQ(LayerPixels(picture.layers[0]), FramePixels(1, 1));
  ExpectScreenIsReference();
}

}  // namespace
