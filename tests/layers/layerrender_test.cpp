// Moving, showing, hiding and drawing layers anew: each command leaves the
// composed picture equal to the reference compositor's, and the log of
// recompositions shows what was recomposed (both places of a move, nothing
// for a layer hidden before and after, the dirty list while the picture is
// selected).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "../common/playerrun.h"
#include "../common/scratchdir.h"
#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "graphics/positions.h"
#include "graphics/asyncdraw.h"
#include "graphics/outputtargets.h"
#include "layers/animlib.h"
#include "layers/anims.h"
#include "layers/layerrender.h"
#include "layers/layers.h"
#include "layers/textlayers.h"
#include "support/layertest.h"
#include "text/textlib.h"
#include "text/textobjects.h"

namespace {

using layertest::Copy;
using layertest::LayerTest;
using layertest::Shape;
using vktest::Arg;

class LayerRender : public LayerTest {
 protected:
  vkLayer* Layer(int32_t n) { return GetNthLayer(&picture, n); }
  // The logical and screen top-left of layer [n].
  std::vector<int32_t> Place(int32_t n) {
    const vkLayerData* d = Layer(n)->inserted;
    return {d->x, d->y, d->screenX, d->screenY};
  }
};

// ---- SetLayerPosition ----

TEST_F(LayerRender, SetLayerPositionMovesEveryRecordAndRecomposesBothPlaces) {
  MakeSolid(1, 4, 3, 0xC02020);
  gfxtest::SetGlobalTable(L, "anchored", {{"anchorx", 0.5}, {"anchory", 1.0}});
  ASSERT_EQ(Call("DisplayBrush", {1, 6, 6, Arg::global("anchored")}), "");
  ASSERT_EQ(Place(1), (std::vector<int32_t>{6, 6, 4, 3}));
  struct Case {
    int32_t x, y;
    uint32_t relative;
    std::vector<int32_t> place;  // logical x, y, screen x, y afterwards
    Copy recomposed;
  };
  const Case cases[] = {
      {10, 8, 0, {10, 8, 8, 5}, {4, 3, 8, 5}},                      // both places in one rectangle
      {kKeepPosition, 2, 0, {10, 2, 8, -1}, {8, 0, 4, 8}},           // x kept; clipped to the picture
      {-3, 4, kPositionRelativeX | kPositionRelativeY, {7, 6, 5, 3}, {5, 0, 7, 6}},
      {kKeepPosition, kKeepPosition, 0, {7, 6, 5, 3}, {5, 3, 4, 3}},  // nothing moves; its place recomposed
  };
  for (const Case& c : cases) {
    copies.clear();
    SetLayerPosition(L, Layer(1), nullptr, c.x, c.y, c.relative, nullptr);
    EXPECT_EQ(Place(1), c.place) << c.x << ", " << c.y;
    EXPECT_EQ(copies, (std::vector<Copy>{c.recomposed})) << c.x << ", " << c.y;
    ExpectScreenIsReference();
  }
}

TEST_F(LayerRender, SetLayerPositionUsesTheGivenOldRectangleAndTheBatchList) {
  MakeSolid(1, 4, 3, 0xC02020);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  vkRectList batch;
  const int32_t old[4] = {0, 0, 10, 10};
  copies.clear();
  SetLayerPosition(L, Layer(1), old, 12, 1, 0, &batch);
  EXPECT_TRUE(copies.empty());
  ASSERT_EQ(batch.size(), 1u);
  EXPECT_EQ(batch[0], (vkRectEntry{0, 0, 15, 9}));
  FlushRectList(gs(), batch);
  ExpectScreenIsReference();
  // A hidden layer moves without recomposing anything.
  Layer(1)->hidden = 1;
  batch.clear();
  copies.clear();
  SetLayerPosition(L, Layer(1), nullptr, 3, 3, 0, &batch);
  SetLayerPosition(L, Layer(1), nullptr, 4, 4, 0, nullptr);
  EXPECT_TRUE(batch.empty());
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(Place(1), (std::vector<int32_t>{4, 4, 4, 4}));
}

TEST_F(LayerRender, ATransformedLayerMovesItsTransformedRecordAlong) {
  MakePatterned(1, 5, 3, Shape::Alpha);
  gfxtest::SetGlobalTable(L, "turned", {{"rotate", 90}});
  ASSERT_EQ(Call("DisplayBrush", {1, 4, 4, Arg::global("turned")}), "");
  const vkLayerData* t = Layer(1)->transformed;
  ASSERT_NE(t, Layer(1)->inserted);
  const int32_t sx = t->screenX, sy = t->screenY;
  SetLayerPosition(L, Layer(1), nullptr, 5, -2, kPositionRelativeX | kPositionRelativeY, nullptr);
  EXPECT_EQ(Layer(1)->transformed->screenX, sx + 5);
  EXPECT_EQ(Layer(1)->transformed->screenY, sy - 2);
  ExpectScreenIsReference();
}

TEST_F(LayerRender, OnAScalingDisplayAMovedLayerStandsWhereOneMadeThereStands) {
  MakeSolid(1, 5, 4, 0x00FF00);
  gfxtest::SetGlobalTable(L, "anchored", {{"anchorx", 0.5}, {"anchory", 0.5}});
  display.layerScaling = 1;
  display.renderTarget = kTargetBGPic;  // composed later; the buffers keep the picture's size here
  for (const double scale : {2.0, 1.5, 0.75}) {
    SCOPED_TRACE(scale);
    FreeBGPicLayers(gs(), L, &picture, false, false);
    display.scaledWidth = int32_t(kWidth * scale), display.scaledHeight = int32_t(kHeight * scale);
    display.scaleX = display.scaleY = scale;
    ASSERT_EQ(Call("DisplayBrush", {1, 3, 2, Arg::global("anchored")}), "");
    ASSERT_EQ(Call("DisplayBrush", {1, 10, 9, Arg::global("anchored")}), "");
    vkLayer* moved = Layer(1);
    ASSERT_NE(moved->onScreen, moved->inserted);
    SetLayerPosition(L, moved, nullptr, 7, 7, kPositionRelativeX | kPositionRelativeY, nullptr);
    const vkLayerData* a = moved->onScreen;
    const vkLayerData* b = Layer(2)->onScreen;
    EXPECT_EQ((std::vector<int32_t>{a->x, a->y, a->screenX, a->screenY, a->screenWidth, a->screenHeight}),
              (std::vector<int32_t>{b->x, b->y, b->screenX, b->screenY, b->screenWidth, b->screenHeight}));
  }
}

// ---- ShowLayer and HideLayer ----

TEST_F(LayerRender, AGroupShownAtTheCentreKeepsItsMembersPlacesWithinIt) {
  MakeSolid(1, 4, 2, 0xC02020);
  MakeSolid(2, 2, 4, 0x2040E0);
  MakeSolid(3, 3, 3, 0x40E020);
  ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 3, 1}), "");  // box 0,0 - 5,5: 5 x 5
  ASSERT_EQ(Call("DisplayBrush", {3, 20, 12}), "");
  Layer(1)->group = "pair";
  Layer(2)->group = "pair";
  Layer(1)->hidden = 1;
  ASSERT_EQ(Call("ShowLayer", {"PAIR", kPosCenter, kPosCenter}), "");
  // (24 - 5) / 2 = 9, (16 - 5) / 2 = 5.
  EXPECT_EQ(Place(1), (std::vector<int32_t>{9, 5, 9, 5}));
  EXPECT_EQ(Place(2), (std::vector<int32_t>{12, 6, 12, 6}));
  EXPECT_EQ(Place(3), (std::vector<int32_t>{20, 12, 20, 12}));
  EXPECT_FALSE(Layer(1)->hidden);
  ExpectScreenIsReference();
  // Only x given: y stays.
  ASSERT_EQ(Call("ShowLayer", {"pair", 1}), "");
  EXPECT_EQ(Place(1), (std::vector<int32_t>{1, 5, 1, 5}));
  EXPECT_EQ(Place(2), (std::vector<int32_t>{4, 6, 4, 6}));
  ExpectScreenIsReference();
  ASSERT_EQ(Call("HideLayer", {"pair"}), "");
  EXPECT_TRUE(Layer(1)->hidden && Layer(2)->hidden);
  ExpectScreenIsReference();
}

TEST_F(LayerRender, OneLayerIsPlacedAgainstItsOwnSizeAndAnchor) {
  MakeSolid(1, 4, 2, 0xC02020);
  gfxtest::SetGlobalTable(L, "anchored", {{"anchorx", 1.0}, {"anchory", 0.5}});
  ASSERT_EQ(Call("DisplayBrush", {1, 8, 8, Arg::global("anchored")}), "");
  ASSERT_EQ(Call("ShowLayer", {1, kPosRight, kPosBottom}), "");
  // Its right edge on the picture's, its bottom too.
  EXPECT_EQ(Place(1), (std::vector<int32_t>{24, 15, 20, 14}));
  EXPECT_EQ(Screen(23, 15), 0xC02020u);
  ExpectScreenIsReference();
}

TEST_F(LayerRender, HidingRecomposesOnlyWhereTheVisibilityChanges) {
  MakeSolid(1, 4, 3, 0xC02020);
  MakeSolid(2, 4, 3, 0x2040E0);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 4, 3}), "");
  copies.clear();
  ASSERT_EQ(Call("HideLayer", {2}), "");
  EXPECT_EQ(copies, (std::vector<Copy>{{4, 3, 4, 3}}));
  EXPECT_EQ(Screen(5, 4), 0xC02020u);
  ExpectScreenIsReference();
  copies.clear();
  ASSERT_EQ(Call("HideLayer", {2}), "");
  EXPECT_TRUE(copies.empty());
  ASSERT_EQ(Call("ShowLayer", {2, 10, 10}), "");
  EXPECT_EQ(copies, (std::vector<Copy>{{4, 3, 10, 10}}));
  EXPECT_EQ(Screen(11, 11), 0x2040E0u);
  ExpectScreenIsReference();
}

TEST_F(LayerRender, WhileThePictureIsSelectedHidingWaitsForTheEndOfTheSelection) {
  MakeSolid(1, 4, 3, 0xC02020);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  display.renderTarget = kTargetBGPic;
  display.bgpic = &picture;
  display.dirtyRects.clear();
  copies.clear();
  ASSERT_EQ(Call("HideLayer", {1}), "");
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(Screen(3, 3), 0xC02020u);
  EXPECT_EQ(display.dirtyRects, (vkRectList{{2, 2, 5, 4}}));
  display.renderTarget = kTargetDisplay;
  gs().layerTargets.endPictureSelection(gs(), &display, &picture, true);
  EXPECT_EQ(Screen(3, 3), kBackground);
  ExpectScreenIsReference();
}

TEST_F(LayerRender, VisibilityErrors) {
  MakeSolid(1, 4, 3, 0xC02020);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  RunCases({
      {"ShowLayer", {2}, "error 1081"},
      {"HideLayer", {"nobody"}, "error 1369"},
      {"HideLayer", {Arg::table()}, "error 1183"},
      {"HideLayer", {1, 2}, "error 1193"},
  });
  display.layersOn = 0;
  RunCases({{"ShowLayer", {1}, "error 1078"}});
}

// ---- The library ----

TEST_F(LayerRender, TheLibraryServesItsWholeTableAndClosingFreesTheMoveQueues) {
  MakeSolid(1, 4, 3, 0xC02020);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  // Every command of the table answers (here: its argument check).
  for (const char* command :
       {"Undo", "EnableLayers", "DisableLayers", "SwapLayers", "InsertLayer", "ShowLayer", "HideLayer", "RemoveLayer",
        "SetLayerTransparency", "SetLayerLight", "SetLayerTint", "AddMove", "ClearMove", "DoMove", "FreeLayers",
        "NextFrame", "SetLayerName", "Collision", "DumpLayers", "ScaleLayer", "RotateLayer", "SetLayerStyle",
        "GetLayerStyle", "TransformLayer", "SetLayerAnchor", "LayerExists", "SetLayerZPos", "TranslateLayer",
        "SelectLayer", "CreateLayer", "ModifyLayerFrames", "GetLayerAtPos"})
    EXPECT_NE(Call(command, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), "error 1133") << command;
  RunCases({{"AddMove", {7, vkObjectType::LAYER, 1, 5, 5}, ""}});
  ASSERT_EQ(CloseLayersLibrary(L), 0);
  const std::string missing = Call("DoMove", {99});
  EXPECT_NE(missing, "");
  EXPECT_EQ(Call("DoMove", {7}), missing);  // the queue is gone
  EXPECT_EQ(Place(1), (std::vector<int32_t>{2, 2, 2, 2}));
}

// ---- Drawing a layer anew ----

TEST_F(LayerRender, ABitmapLayerDrawnAnewReplacesItselfInPlace) {
  MakePatterned(1, 6, 5, Shape::Mask);
  MakeSolid(2, 5, 5, 0x2040E0);
  MakeSolid(3, 3, 3, 0x40E020);
  ASSERT_EQ(Call("DisplayBrush", {3, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrushPart", {1, 1, 1, 4, 4, 3, 3}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 6, 6}), "");
  vkLayer* old = Layer(2);
  old->name = "part";
  old->group = "parts";
  old->transparency = 40;
  // The part drawn again from a changed source record: another corner, another place.
  vkLayerDataPtr source = CopyLayerData(*old->inserted);
  source->sourceX = 0, source->sourceY = 2, source->x = 10, source->y = 1;
  vkLayer* made = nullptr;
  ASSERT_EQ(DrawLayerByType(L, old, 2, source.get(), kDrawReplace, &made), 0);
  ASSERT_EQ(CountLayers(&picture), 3);
  ASSERT_EQ(made, Layer(2));
  EXPECT_EQ(made->type, vkObjectType::BRUSHPART);
  EXPECT_EQ(made->name, "part");
  EXPECT_EQ(made->group, "parts");
  EXPECT_EQ(made->transparency, 40);
  EXPECT_EQ(made->inserted->sourceY, 2);
  EXPECT_EQ(Place(2), (std::vector<int32_t>{10, 1, 10, 1}));
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  ExpectScreenIsReference();
  // Hidden: the new layer is hidden too.
  ASSERT_EQ(DrawLayerByType(L, Layer(3), 3, nullptr, kDrawReplace | kDrawHidden, &made), 0);
  EXPECT_TRUE(made->hidden);
  EXPECT_EQ(made, Layer(3));
  // A brush freed meanwhile is an error, and the old layer stays.
  vkLayer* first = Layer(1);
  first->object = vkObjectId{9, nullptr};
  EXPECT_EQ(DrawLayerByType(L, first, 1, nullptr, kDrawReplace, &made), kErrNoBrush);
  EXPECT_EQ(Layer(1), first);
  EXPECT_EQ(CountLayers(&picture), 3);
}

// ---- Texts ----

class TextRender : public LayerRender {
 protected:
  void SetUp() override {
    LayerRender::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenTextLibrary(L), 0);
    ASSERT_EQ(OpenTextObjectLibrary(L), 0);
    vmSetTop(L, 0);
    RegisterTextLayers(L);
    ASSERT_EQ(Call("SetFontColor", {0xFFFFFF}), "");
  }
  void Clear() {
    FreeBGPicLayers(gs(), L, &picture, true, false);
    RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  }
  int32_t Lit(const gfxtest::Pixels& p) {
    return int32_t(std::count_if(p.begin(), p.end(), [](uint32_t c) { return c != kBackground; }));
  }
};

TEST_F(TextRender, ATextLayerMovedAndLaidOutAgainEqualsTheTextPrintedThere) {
  gfxtest::SetGlobalTable(L, "turned", {{"rotate", 90}});
  gfxtest::SetGlobalTable(L, "wide", {{"scalex", 2.0}});
  struct Case {
    const char* text;
    const char* options;  // a global table, or none
  };
  // Tags are read again as they were: "[[" stays one bracket of the text;
  // a text drawn turned or widened keeps its drawing.
  for (const Case& c : {Case{"[b]H[/b]i[[", nullptr}, Case{"a\tb\nc", nullptr}, Case{"Hi", "turned"},
                        Case{"Hi", "wide"}}) {
    SCOPED_TRACE(testing::Message() << c.text << " " << (c.options ? c.options : ""));
    Clear();
    std::vector<Arg> args = {1, 1, c.text};
    if (c.options) args.push_back(Arg::global(c.options));
    ASSERT_EQ(Call("TextOut", args), "");
    ASSERT_EQ(CountLayers(&picture), 1);
    vkLayer* layer = Layer(1);
    const int32_t type = layer->type;
    SetLayerPosition(L, layer, nullptr, 4, 5, kPositionRelativeX | kPositionRelativeY, nullptr);
    const gfxtest::Pixels moved = Read(display.screenBuffer);
    ASSERT_GT(Lit(moved), 5);
    // Drawn anew in place, hidden: nothing shows; shown again: the same pixels.
    vkLayer* made = nullptr;
    ASSERT_EQ(DrawLayerByType(L, layer, 1, nullptr, kDrawReplace | kDrawHidden, &made), 0);
    ASSERT_EQ(CountLayers(&picture), 1);
    EXPECT_EQ(made->type, type);
    EXPECT_TRUE(made->hidden);
    RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
    EXPECT_EQ(Lit(Read(display.screenBuffer)), 0);
    ASSERT_EQ(DrawLayerByType(L, made, 1, nullptr, kDrawReplace, &made), 0);
    RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
    EXPECT_EQ(Read(display.screenBuffer), moved);
    ExpectScreenIsReference();
  }
}

TEST_F(TextRender, AChangedTextIsLaidOutAnewAlsoWhenItWasDrawnTurned) {
  gfxtest::SetGlobalTable(L, "turned", {{"rotate", 90}});
  ASSERT_EQ(Call("TextOut", {1, 1, "Hi", Arg::global("turned")}), "");
  const gfxtest::Pixels before = Read(display.screenBuffer);
  vkLayerDataPtr source = CopyLayerData(*Layer(1)->inserted);
  vkTextLayout* layout = TextLayerLayout(source.get());
  ASSERT_NE(layout, nullptr);
  layout->text = "Yo";
  vkLayer* made = nullptr;
  ASSERT_EQ(DrawLayerByType(L, Layer(1), 1, source.get(), kDrawReplace, &made), 0);
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  EXPECT_NE(Read(display.screenBuffer), before);
  EXPECT_EQ(TextLayerLayout(made->inserted)->text, "Yo");
  ExpectScreenIsReference();
}

TEST_F(TextRender, ATextObjectLayerShowsTheObjectUntilTheLayerGoes) {
  RunCases({
      {"CreateTextObject", {1, "Hi"}, ""},
      {"DisplayTextObject", {1, 2, 3}, ""},
  });
  ASSERT_EQ(CountLayers(&picture), 1);
  vkLayer* layer = Layer(1);
  EXPECT_EQ(layer->type, vkObjectType::TEXTOBJECT);
  EXPECT_FALSE(layer->inserted->bitmap);  // the object's own planes, no copy
  const vkTextObject* shown = static_cast<const vkTextObject*>(layer->record);
  ASSERT_NE(shown, nullptr);
  const gfxtest::Pixels first = Read(display.screenBuffer);
  EXPECT_GT(Lit(first), 5);
  ExpectScreenIsReference();
  // Freed by the script: the layer keeps showing it.
  ASSERT_EQ(Call("FreeTextObject", {1}), "");
  EXPECT_EQ(CountTextObjects(L), 0);
  EXPECT_EQ(TextObjects(L).objects.size(), 1u);
  // Drawn anew in place after a move: the same text, moved.
  SetLayerPosition(L, layer, nullptr, 6, 2, kPositionRelativeX | kPositionRelativeY, nullptr);
  vkLayer* made = nullptr;
  ASSERT_EQ(DrawLayerByType(L, layer, 1, nullptr, kDrawReplace, &made), 0);
  EXPECT_EQ(made->record, shown);
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  ExpectScreenIsReference();
  EXPECT_EQ(Lit(Read(display.screenBuffer)), Lit(first));
  // The layer gone, the freed object goes with it.
  ASSERT_EQ(Call("RemoveLayer", {1}), "");
  EXPECT_TRUE(TextObjects(L).objects.empty());
  EXPECT_EQ(Lit(Read(display.screenBuffer)), 0);
}

// ---- Empty layers, anim frames and layers as targets ----

class LayerTargets : public LayerRender {
 protected:
  void SetUp() override {
    LayerRender::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenAnimLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeBGPicLayers(gs(), L, &picture, true, false);
    FreeAllAnims(L);
    FreeOutputTargets(&display);
    LayerRender::TearDown();
  }
  // Anim [number] of [frames] frames of 4 x 3, each another colour.
  void MakeAnim(int32_t number, int32_t frames) {
    gfxtest::Pixels strip;
    for (int32_t y = 0; y < 3; y++)
      for (int32_t x = 0; x < 4 * frames; x++) strip.push_back(0x102030u * uint32_t(x / 4 + 1));
    MakeBrush(90, 4 * frames, 3, strip);
    ASSERT_EQ(Call("CreateAnim", {number, 90, 4, 3, frames, frames}), "");
  }
  vkAnim* AnimOf(const vkLayer* layer) {
    vkAnim* a = nullptr;
    return FindAnim(gs(), layer->object, &a, kAnimFindOrphaned) == 0 ? a : nullptr;
  }
  size_t Brushes() { return ::Brushes(gs()).brushes.size(); }
};

TEST_F(LayerTargets, CreateLayerMakesABrushOrAnAnimThatGoesWithTheLayer) {
  gfxtest::SetGlobalTable(L, "masked", {{"frames", 3}, {"mask", 1}, {"color", 0x40E020}});
  gfxtest::SetGlobalTable(L, "clear", {{"alphachannel", 1}, {"clear", 1}, {"color", 0xFFFFFF}});
  const size_t brushes = Brushes();
  RunCases({
      {"CreateLayer", {2, 3, 5, 4, Arg::global("masked")}, ""},
      {"CreateLayer", {8, 1, 6, 6, Arg::global("clear")}, ""},
      {"CreateLayer", {12, 8, 3, 2}, ""},
  });
  ASSERT_EQ(CountLayers(&picture), 3);
  const vkLayer* anim = Layer(1);
  EXPECT_EQ(anim->type, vkObjectType::ANIM);
  ASSERT_NE(AnimOf(anim), nullptr);
  EXPECT_EQ(AnimOf(anim)->frameCount, 3);
  EXPECT_EQ(AnimOf(anim)->transparentColor, 0xAFC0DE);
  EXPECT_TRUE(AnimOf(anim)->orphaned);  // the script has no id for it
  EXPECT_EQ(Layer(2)->type, vkObjectType::BRUSH);
  EXPECT_EQ(Brushes(), brushes + 2);
  for (int32_t y = 3; y < 7; y++)
    for (int32_t x = 2; x < 7; x++) EXPECT_EQ(Screen(x, y), 0x40E020u) << x << ", " << y;  // every pixel shows
  EXPECT_EQ(Screen(9, 2), kBackground);  // all clear
  EXPECT_EQ(Screen(13, 8), 0u);          // black by default
  ExpectScreenIsReference();
  RunCases({
      {"CreateLayer", {0, 0, 2, 2, Arg::global("bad")}, "error 1140"},
      {"CreateLayer", {0, 0, 0, 2}, "error 1218"},
      {"CreateLayer", {0, 0, 2, 2, 3}, "error 1140"},
  });
  for (const gfxtest::Fields& bad : {gfxtest::Fields{{"frames", -1}}, gfxtest::Fields{{"mask", 1}, {"alphachannel", 1}}}) {
    gfxtest::SetGlobalTable(L, "bad", bad);
    EXPECT_EQ(Call("CreateLayer", {0, 0, 2, 2, Arg::global("bad")}), "error 1055");
  }
  EXPECT_EQ(CountLayers(&picture), 3);
  // The objects go with their layers.
  ASSERT_EQ(Call("FreeLayers", {}), "");
  EXPECT_EQ(Brushes(), brushes);
  EXPECT_EQ(CountAnims(gs()), 0);
}

TEST_F(LayerTargets, NextFrameAndModifyLayerFramesKeepTheFrameShown) {
  MakeAnim(1, 4);
  MakeSolid(2, 3, 3, 0xC02020);
  ASSERT_EQ(Call("DisplayAnimFrame", {1, 2, 2, 2}), "");  // frame 2
  ASSERT_EQ(Call("DisplayBrush", {2, 12, 2}), "");
  RunCases({
      {"NextFrame", {2}, "error 1155"},
      {"NextFrame", {3}, "error 1081"},
      {"ModifyLayerFrames", {2, 1}, "error 1155"},
      {"ModifyLayerFrames", {1, 0}, "error 1055"},
  });
  EXPECT_EQ(Screen(3, 3), 0x204060u);
  // Frames inserted before the one shown: it stays, nothing is recomposed,
  // and the script's anim keeps its four frames.
  copies.clear();
  ASSERT_EQ(Call("ModifyLayerFrames", {1, 2, 1}), "");
  vkLayer* layer = Layer(1);
  EXPECT_EQ(layer->inserted->sourceX, 3);
  EXPECT_EQ(AnimOf(layer)->frameCount, 6);
  EXPECT_TRUE(copies.empty());
  vkAnim* script = nullptr;
  ASSERT_EQ(FindAnim(gs(), vkObjectId{1, nullptr}, &script, 0), 0);
  EXPECT_EQ(script->frameCount, 4);
  EXPECT_NE(AnimOf(layer), script);
  // Frames removed after it: it stays.
  ASSERT_EQ(Call("ModifyLayerFrames", {1, -1}), "");
  EXPECT_EQ(Layer(1)->inserted->sourceX, 3);
  EXPECT_EQ(Screen(3, 3), 0x204060u);
  // The frame shown removed: the first frame shows.
  ASSERT_EQ(Call("ModifyLayerFrames", {1, -2, 3}), "");
  EXPECT_EQ(Layer(1)->inserted->sourceX, 0);
  EXPECT_EQ(AnimOf(Layer(1))->frameCount, 3);
  EXPECT_NE(Screen(3, 3), 0x204060u);
  ExpectScreenIsReference();
  // NextFrame steps the frames of the layer's own anim.
  ASSERT_EQ(Call("NextFrame", {1, 5, 6}), "");
  EXPECT_EQ(Layer(1)->inserted->sourceX, 1);
  EXPECT_EQ(Place(1), (std::vector<int32_t>{5, 6, 5, 6}));
  ExpectScreenIsReference();
}

TEST_F(LayerTargets, SelectLayerDrawsIntoThatLayerAloneAndLeavesTheScriptsBrush) {
  MakeSolid(1, 6, 5, 0xC02020);
  MakeSolid(2, 2, 2, 0x2040E0);
  ASSERT_EQ(Call("DisplayBrush", {1, 1, 1}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 10, 1}), "");
  const gfxtest::Pixels brush = BrushPixels(1);
  ASSERT_EQ(Call("SelectLayer", {2}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 1, 1}), "");
  ASSERT_EQ(EndSelectOutput(L, &display, false), 0);
  EXPECT_EQ(BrushPixels(1), brush);
  EXPECT_EQ(Screen(12, 2), 0x2040E0u);  // the selected layer
  EXPECT_EQ(Screen(3, 2), 0xC02020u);   // the other one, unchanged
  ExpectScreenIsReference();
  RunCases({
      {"SelectLayer", {3}, "error 1081"},
      {"SelectLayer", {1, 1}, "error 1155"},
  });
  // A layer an async-draw object draws cannot be made the target.
  ASSERT_EQ(CreateAsyncDraw(
                gs(), ADF_MOVEOBJECT, [](void*, int32_t*) { return 0; }, nullptr, [](void*, int32_t) {},
                [](int32_t message, void* data, void* layer) -> intptr_t {
                  if (message == kAsyncGetLayer) *static_cast<vkLayer**>(data) = static_cast<vkLayer*>(layer);
                  return 0;
                },
                Layer(1), nullptr),
            0);
  EXPECT_EQ(Call("SelectLayer", {1}), "error 1404");
  FreeAllAsyncDraws(gs());
}

TEST_F(LayerTargets, InsertLayerPutsAnAnimUnderOthers) {
  MakeAnim(1, 2);
  MakeSolid(2, 3, 3, 0xC02020);
  ASSERT_EQ(Call("DisplayBrush", {2, 2, 2}), "");
  RunCases({
      {"InsertLayer", {1, vkObjectType::ANIM, 1, 1, 1}, ""},
      {"InsertLayer", {9, vkObjectType::ANIM, 1, 10, 1, 1}, ""},  // hidden, on top
      {"InsertLayer", {1, vkObjectType::ANIM, 5, 1, 1}, "error 1176"},
  });
  ASSERT_EQ(CountLayers(&picture), 3);
  EXPECT_EQ(Layer(1)->type, vkObjectType::ANIM);
  EXPECT_EQ(Layer(3)->type, vkObjectType::ANIM);
  EXPECT_TRUE(Layer(3)->hidden);
  EXPECT_EQ(Screen(2, 2), 0xC02020u);  // the brush stays on top
  EXPECT_EQ(Screen(1, 1), 0x102030u);
  ExpectScreenIsReference();
}

class TextTargets : public TextRender {
 protected:
  void TearDown() override {
    FreeOutputTargets(&display);
    TextRender::TearDown();
  }
};

TEST_F(TextTargets, InsertLayerPutsATextObjectUnderOthers) {
  MakeSolid(2, 20, 12, 0xC02020);
  ASSERT_EQ(Call("DisplayBrush", {2, 4, 2}), "");
  RunCases({
      {"CreateTextObject", {1, "Hi"}, ""},
      {"InsertLayer", {1, vkObjectType::TEXTOBJECT, 1, 0, 0}, ""},
      {"InsertLayer", {1, vkObjectType::TEXTOBJECT, 2, 0, 0}, "error 1175"},
  });
  ASSERT_EQ(CountLayers(&picture), 2);
  EXPECT_EQ(Layer(1)->type, vkObjectType::TEXTOBJECT);
  ExpectScreenIsReference();
}

TEST_F(TextTargets, SelectLayerTurnsATextLayerIntoABrushLayer) {
  ASSERT_EQ(Call("TextOut", {1, 1, "Hi"}), "");
  MakeSolid(2, 2, 2, 0x2040E0);
  const gfxtest::Pixels before = Read(display.screenBuffer);
  ASSERT_EQ(Call("SelectLayer", {1}), "");
  EXPECT_EQ(Layer(1)->type, vkObjectType::BRUSH);
  ASSERT_EQ(EndSelectOutput(L, &display, false), 0);
  EXPECT_EQ(Read(display.screenBuffer), before);  // the same pixels, now a brush's
  // Its alpha plane drawn into too, so that the brush shows where the text had none.
  ASSERT_EQ(Call("SelectLayer", {1, 0, SELMODE_COMBO}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
  ASSERT_EQ(EndSelectOutput(L, &display, false), 0);
  ExpectScreenIsReference();
  EXPECT_NE(Read(display.screenBuffer), before);
  // A text object's layer likewise; the object stays as it was.
  RunCases({{"CreateTextObject", {1, "Yo"}, ""}, {"DisplayTextObject", {1, 10, 2}, ""}});
  ASSERT_EQ(Call("SelectLayer", {2}), "");
  ASSERT_EQ(EndSelectOutput(L, &display, false), 0);
  EXPECT_EQ(Layer(2)->type, vkObjectType::BRUSH);
  EXPECT_EQ(CountTextObjects(L), 1);
  ExpectScreenIsReference();
}

// ---- End to end ----

// The real player runs an applet that hides a brush layer, shows another
// centred, creates an empty layer and draws into a box's layer; ImageMagick
// reads the window it leaves, which must equal the picture those commands make.
TEST(LayerRenderApplet, ItsWindowShowsWhatTheLayersShow) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick missing";
  ScratchDir dir;
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", (dir / "window.ppm").c_str(), 1);
  const vktest::ProgramRun run =
      vktest::RunProgram({VK_BINARY_DIR "/vellumark", VK_BINARY_DIR "/tests/layers/layerrender.vka"}, dir.path(), 60);
  unsetenv("VK_WINDOW_DUMP");
  ASSERT_EQ(run.ExitCode(), 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Layers: 4"), std::string::npos) << run.out;
  ASSERT_EQ(std::system(("convert '" + (dir / "window.ppm") + "' -depth 8 'rgb:" + (dir / "window.rgb") + "'").c_str()),
            0);
  const std::string rgb = ReadWholeFile(dir / "window.rgb");
  ASSERT_EQ(rgb.size(), size_t(64 * 48 * 3));
  auto inside = [](int x, int y, int x0, int y0, int w, int h) { return x >= x0 && y >= y0 && x < x0 + w && y < y0 + h; };
  for (int y = 0; y < 48; y++)
    for (int x = 0; x < 64; x++) {
      uint32_t want = 0x203040;                                   // the display's colour (the red layer hidden)
      if (inside(x, y, 28, 21, 8, 6)) want = 0x2040E0;            // blue, centred
      if (inside(x, y, 42, 6, 10, 8)) want = 0x20C020;            // the box, moved by 2, 2
      if (inside(x, y, 42, 6, 8, 6)) want = 0x2040E0;             // blue drawn into the box's corner
      if (inside(x, y, 50, 36, 6, 6)) want = 0xE0E020;            // the created layer
      const size_t at = (size_t(y) * 64 + size_t(x)) * 3;
      const uint32_t got = uint32_t(uint8_t(rgb[at])) << 16 | uint32_t(uint8_t(rgb[at + 1])) << 8 | uint8_t(rgb[at + 2]);
      ASSERT_EQ(got, want) << "pixel " << x << ", " << y;
    }
}

}  // namespace
