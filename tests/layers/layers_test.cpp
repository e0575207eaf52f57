// The layer list and its compositor: after every command that presents,
// the composed buffer equals a naive reference compositor that recomposes
// the whole picture pixel by pixel with the blend formulas, also along a
// seeded random sequence of inserts, hidden inserts, swaps, z changes,
// undos, removals and flattening; a log of recompositions shows that only
// changed rectangles are composed; tables of positions, names, undo levels
// and the errors of the select guard and the switches.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <regex>
#include <string>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "layers/layers.h"
#include "support/layertest.h"

namespace {

using gfxtest::Pixels;
using layertest::Copy;
using layertest::LayerTest;
using layertest::Shape;
using vktest::Arg;

// ---- The composition against the reference ----

TEST_F(LayerTest, TwoBrushesComposeAsLayersAndFollowSwapAndRemoval) {
  MakeSolid(1, 8, 6, 0xC02020);
  MakeSolid(2, 8, 6, 0x2040E0);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 6, 4}), "");
  EXPECT_EQ(CountLayers(&picture), 2);
  ExpectScreenIsReference();
  EXPECT_EQ(Screen(7, 5), 0x2040E0u);  // the second on top where they meet
  // The background buffer keeps the background.
  EXPECT_EQ(Read(display.backBuffer)[5 * kWidth + 7], kBackground);
  ASSERT_EQ(Call("SwapLayers", {1, 2}), "");
  EXPECT_EQ(Screen(7, 5), 0xC02020u);
  ExpectScreenIsReference();
  ASSERT_EQ(Call("RemoveLayer", {2}), "");
  EXPECT_EQ(Screen(3, 3), kBackground);
  EXPECT_EQ(Screen(7, 5), 0x2040E0u);
  ExpectScreenIsReference();
}

TEST_F(LayerTest, MasksAlphaTintAndTransparencyBlendAsTheReferenceSays) {
  MakePatterned(1, 7, 5, Shape::Mask);
  MakePatterned(2, 6, 6, Shape::Alpha);
  MakePatterned(3, 9, 4, Shape::None);
  gfxtest::SetGlobalTable(L, "tinted", {{"tint", 100}, {"tintcolor", 0x00FF00}});
  gfxtest::SetGlobalTable(L, "seeThrough", {{"transparency", 90}});
  gfxtest::SetGlobalTable(L, "both", {{"transparency", 60}, {"tint", 200}, {"tintcolor", 0xFF0000}});
  gfxtest::SetGlobalTable(L, "invisible", {{"transparency", 255}});
  ASSERT_EQ(Call("DisplayBrush", {3, 1, 1, Arg::global("tinted")}), "");
  ExpectScreenIsReference();
  ASSERT_EQ(Call("DisplayBrush", {1, 4, 2, Arg::global("seeThrough")}), "");
  ExpectScreenIsReference();
  ASSERT_EQ(Call("DisplayBrush", {2, 8, 3, Arg::global("both")}), "");
  ExpectScreenIsReference();
  ASSERT_EQ(Call("DisplayBrush", {2, 12, 8}), "");
  ExpectScreenIsReference();
  const Pixels before = Read(display.screenBuffer);
  ASSERT_EQ(Call("DisplayBrush", {3, 2, 2, Arg::global("invisible")}), "");
  EXPECT_EQ(Read(display.screenBuffer), before);  // mixed at level 0
  ASSERT_EQ(Call("DisplayBrushPart", {1, 2, 1, 15, 9, 4, 3}), "");
  ExpectScreenIsReference();
}

TEST_F(LayerTest, SeededRandomSequenceMatchesTheReferenceAfterEveryCommand) {
  MakePatterned(1, 7, 5, Shape::Mask);
  MakePatterned(2, 6, 6, Shape::Alpha);
  MakePatterned(3, 9, 4, Shape::None);
  gfxtest::SetGlobalTable(L, "tinted", {{"tint", 140}, {"tintcolor", 0x30C0F0}});
  gfxtest::SetGlobalTable(L, "seeThrough", {{"transparency", 100}});
  gfxtest::SetGlobalTable(L, "hiddenOne", {{"hidden", 1}});
  std::mt19937 rng(20261211);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const char* styles[] = {nullptr, "tinted", "seeThrough", "hiddenOne"};
  for (int step = 0; step < 400; step++) {
    const int count = CountLayers(&picture);
    std::vector<Arg> args;
    std::string command;
    switch (pick(0, 9)) {
      case 0:
      case 1:
      case 2: {
        command = "DisplayBrush";
        args = {pick(1, 3), pick(-6, kWidth), pick(-5, kHeight)};
        if (const char* style = styles[pick(0, 3)]) args.push_back(Arg::global(style));
        break;
      }
      case 3:
        command = "InsertLayer";
        args = {pick(0, count + 2), vkObjectType::BRUSH, pick(1, 3), pick(-4, kWidth - 2), pick(-4, kHeight - 2),
                pick(0, 1)};
        break;
      case 4:
        if (count < 2) continue;
        command = "SwapLayers";
        args = {pick(1, count), pick(1, count)};
        break;
      case 5:
        if (count < 1) continue;
        command = "SetLayerZPos";
        args = {pick(1, count), pick(0, count + 1)};
        break;
      case 6:
        command = "Undo";
        args = {vkObjectType::BRUSH, pick(1, 3), pick(1, 2)};
        break;
      case 7:
        if (count < 1) continue;
        command = "RemoveLayer";
        args = {pick(1, count)};
        break;
      case 8:
        command = "DisplayBrushPart";
        args = {pick(1, 3), pick(0, 2), pick(0, 2), pick(-3, kWidth), pick(-3, kHeight), pick(1, 5), pick(1, 4)};
        break;
      default:
        if (pick(0, 9) != 0) continue;
        command = "FreeLayers";
        args = {pick(0, 1)};
        break;
    }
    const std::string got = Call(command, args);
    ASSERT_TRUE(got.empty() || got == "error 1055") << step << " " << command << ": " << got;
    ASSERT_NO_FATAL_FAILURE(ExpectScreenIsReference()) << "after step " << step << " (" << command << ")";
  }
}

TEST_F(LayerTest, FlatteningKeepsThePictureAndEmptiesTheList) {
  MakePatterned(1, 7, 5, Shape::Alpha);
  MakePatterned(2, 6, 6, Shape::Mask);
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 3}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 5, 6}), "");
  const Pixels shown = Read(display.screenBuffer);
  ASSERT_EQ(Call("FreeLayers", {1}), "");
  EXPECT_EQ(CountLayers(&picture), 0);
  EXPECT_EQ(Read(display.screenBuffer), shown);
  EXPECT_EQ(Read(display.backBuffer), shown);
  ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
  ASSERT_EQ(Call("FreeLayers", {}), "");
  EXPECT_EQ(Read(display.screenBuffer), shown);  // the flattened background stays
}

// ---- Only changed rectangles ----

TEST_F(LayerTest, DirtyRectanglesMergeBeforeTheyAreComposed) {
  MakeSolid(1, 4, 4, 0x808000);
  display.renderTarget = kTargetBGPic;  // the displayed picture is selected
  ASSERT_EQ(Call("DisplayBrush", {1, 1, 1}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 3}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 16, 10}), "");
  EXPECT_TRUE(picture.layers[0]->pending);
  EXPECT_EQ(Screen(2, 2), kBackground);  // nothing shown while selected
  ASSERT_EQ(display.dirtyRects.size(), 3u);
  copies.clear();
  display.renderTarget = kTargetDisplay;
  gs().layerTargets.endPictureSelection(gs(), &display, &picture, true);
  const std::vector<Copy> want = {{1, 1, 6, 6}, {16, 10, 4, 4}};
  EXPECT_EQ(copies, want);
  EXPECT_FALSE(picture.layers[0]->pending);
  EXPECT_TRUE(display.dirtyRects.empty());
  ExpectScreenIsReference();
}

TEST_F(LayerTest, TheMergePassMarksAbsorbedEntriesAndCutsOffPictureParts) {
  vkRectList list = {{0, 0, 4, 4}, {3, 3, 8, 8}, {20, 2, 30, 40}, {-10, -10, -2, -2}};
  copies.clear();
  FlushRectList(gs(), list);
  EXPECT_EQ(list[1][0], kRectAbsorbed);
  const std::vector<Copy> want = {{0, 0, 9, 9}, {20, 2, 4, 14}};  // the last lies wholly outside
  EXPECT_EQ(copies, want);
  // Many entries: the cover of their area composes the same pixels.
  MakePatterned(1, 7, 5, Shape::Alpha);
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 3}), "");
  Fill(display.screenBuffer, 0);
  vkRectList many;
  for (int i = 0; i < 100000; i++) AppendRect(many, i % kWidth, (i / kWidth) % kHeight, 1, 1);
  FlushRectList(gs(), many);
  ExpectScreenIsReference();
}

TEST_F(LayerTest, AMovedLayerIsComposedOnceInTheUnionOfBothPlaces) {
  MakeSolid(1, 16, 16, 0x00A0A0);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 0}), "");
  copies.clear();
  vkLayer* layer = picture.layers[0];
  const int32_t old[4] = {2, 0, 16, 16};
  UpdateLayerPlacement(L, layer, old, 5, 0, 16, 16, nullptr, nullptr, nullptr, nullptr, 0);
  const std::vector<Copy> want = {{2, 0, 19, 16}};
  EXPECT_EQ(copies, want);
  ExpectScreenIsReference();
  copies.clear();
  ASSERT_EQ(Call("DisplayBrush", {1, -8, -8}), "");  // off the picture's top-left
  const std::vector<Copy> cut = {{0, 0, 8, 8}};
  EXPECT_EQ(copies, cut);
}

TEST_F(LayerTest, SwapsOutsideThePictureChangeTheOrderAndComposeNothing) {
  MakeSolid(1, 4, 4, 0x111111);
  MakeSolid(2, 4, 4, 0x222222);
  ASSERT_EQ(Call("DisplayBrush", {1, 40, 40}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 50, 40}), "");
  copies.clear();
  ASSERT_EQ(Call("SwapLayers", {1, 2}), "");
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(picture.layers[0]->object.number, 2);
}

// ---- The list ----

TEST_F(LayerTest, InsertPositionsPlaceTheNewLayer) {
  MakeSolid(1, 3, 3, 0x101010);
  MakeSolid(2, 3, 3, 0x202020);
  struct Case {
    int position;
    int wantIndex;
  } cases[] = {{0, 4}, {9, 4}, {2, 2}, {1, 1}, {4, 4}};
  for (const Case& c : cases) {
    ASSERT_EQ(Call("FreeLayers", {}), "");
    for (int i = 0; i < 3; i++) ASSERT_EQ(Call("DisplayBrush", {1, i, 0}), "");
    ASSERT_EQ(Call("InsertLayer", {c.position, vkObjectType::BRUSH, 2, 5, 5}), "") << c.position;
    ASSERT_EQ(CountLayers(&picture), 4);
    EXPECT_EQ(GetNthLayer(&picture, c.wantIndex)->object.number, 2) << "insert at " << c.position;
    ExpectScreenIsReference();
  }
  RunCases({
      {"InsertLayer", {-1, vkObjectType::BRUSH, 2, 0, 0}, "error 1370"},
      {"InsertLayer", {1, vkObjectType::SPRITE, 2, 0, 0}, "error 1055"},
      {"InsertLayer", {1, vkObjectType::BRUSH, 9, 0, 0}, "error 1174"},
      {"InsertLayer", {"nosuch", vkObjectType::BRUSH, 2, 0, 0}, "error 1369"},
  });
}

TEST_F(LayerTest, NamesAreUniqueWithoutRegardToCase) {
  MakeSolid(1, 3, 3, 0x101010);
  for (int i = 0; i < 3; i++) ASSERT_EQ(Call("DisplayBrush", {1, i * 4, 0}), "");
  gfxtest::SetGlobalTable(L, "named", {});
  RunCases({
      {"SetLayerName", {1, "Ship"}, ""},
      {"SetLayerName", {2, "SHIP"}, "error 1161"},
      {"SetLayerName", {1, "sHiP"}, ""},
      {"LayerExists", {"ship"}, "1"},
      {"LayerExists", {"boat"}, "0"},
      {"SetLayerName", {0, "Top"}, ""},
      {"GetLayerAtPos", {9, 1}, "3, \"Top\""},
      {"GetLayerAtPos", {1, 1}, "1, \"sHiP\""},
      {"GetLayerAtPos", {23, 15}, "0, \"\""},
      {"SwapLayers", {"top", "ship"}, ""},
      {"GetLayerAtPos", {1, 1}, "3, \"sHiP\""},
      {"SetLayerName", {5, "x"}, "error 1081"},
      {"SetLayerName", {2, std::string(256, 'n')}, "error 1373"},
      {"SetLayerName", {2, std::string(255, 'n')}, ""},
      {"SetLayerName", {2, ""}, ""},
      {"LayerExists", {std::string(255, 'n')}, "0"},
      {"RemoveLayer", {"nosuch"}, "error 1369"},
      {"RemoveLayer", {7}, "error 1081"},
      {"SwapLayers", {1, 1}, "error 1055"},
      {"SwapLayers", {1, 4}, "error 1081"},
      {"SetLayerZPos", {2, 2}, "error 1055"},
      {"SetLayerZPos", {2, -1}, "error 1055"},
      {"SetLayerZPos", {9, 1}, "error 1081"},
      {"SetLayerZPos", {"ship", 1}, ""},
      {"GetLayerAtPos", {1, 1}, "1, \"sHiP\""},
  });
  // A group name matches no name: every member goes.
  picture.layers[1]->group = "Fleet";
  picture.layers[2]->group = "fleet";
  EXPECT_EQ(Call("SetLayerName", {1, "FLEET"}), "error 1161");
  EXPECT_EQ(Call("RemoveLayer", {"FLEET"}), "");
  EXPECT_EQ(CountLayers(&picture), 1);
  ExpectScreenIsReference();
}

TEST_F(LayerTest, HiddenLayersAreFoundButNotDrawn) {
  MakeSolid(1, 5, 5, 0xABCDEF);
  ASSERT_EQ(Call("InsertLayer", {0, vkObjectType::BRUSH, 1, 2, 2, 1}), "");
  EXPECT_EQ(Screen(3, 3), kBackground);
  EXPECT_EQ(Call("GetLayerAtPos", {3, 3}), "1, \"\"");
  gfxtest::SetGlobalTable(L, "hiddenOne", {{"hidden", 1}});
  ASSERT_EQ(Call("DisplayBrush", {1, 10, 2, Arg::global("hiddenOne")}), "");
  EXPECT_EQ(Screen(11, 3), kBackground);
  ExpectScreenIsReference();
}

TEST_F(LayerTest, UndoRemovesTheNthMostRecentLayerOfTheObject) {
  MakeSolid(1, 3, 3, 0x101010);
  MakeSolid(2, 3, 3, 0x808080);
  for (int i = 0; i < 4; i++) ASSERT_EQ(Call("DisplayBrush", {1 + i % 2, i * 4, 0}), "");  // 1, 2, 1, 2
  struct Case {
    std::vector<Arg> args;
    std::vector<int> wantX;  // screen x of the layers left, bottom first
  } cases[] = {
      {{vkObjectType::BRUSH, 1, 2}, {4, 8, 12}},    // the second most recent of brush 1: x 0
      {{vkObjectType::BRUSH, 1, 5}, {4, 8, 12}},    // no such level: nothing
      {{vkObjectType::BRUSH, 3}, {4, 8, 12}},       // no match: no error
      {{vkObjectType::BRUSHPART, 2}, {4, 8, 12}},   // another type
      {{vkObjectType::BRUSH, 2}, {4, 8}},           // the most recent of brush 2
      {{vkObjectType::BRUSH, 2, 1, 1}, {8}},        // without refresh
  };
  for (const auto& c : cases) {
    ASSERT_EQ(Call("Undo", c.args), "");
    std::vector<int> x;
    for (const vkLayer* layer : picture.layers) x.push_back(layer->onScreen->screenX);
    EXPECT_EQ(x, c.wantX);
  }
  EXPECT_EQ(Screen(5, 1), 0x808080u);  // the last undo left the screen alone
}

TEST_F(LayerTest, TheSelectGuardAndTheSwitchesRefuseInOrder) {
  struct Guard {
    int32_t target;
    int32_t kind;
    uint32_t layersOn;
    const char* want;
  } guards[] = {
      {kTargetBrush, 0, 1, "error 1082"},
      {kTargetBrush, vkObjectType::ANIM, 1, "error 1339"},
      {kTargetMask, 0, 0, "error 1147"},
      {kTargetAlphaChannel, 0, 0, "error 1167"},
      {kTargetDisplay, 0, 0, "error 1078"},
      {kTargetBGPic, 0, 0, "error 1078"},
  };
  for (const Guard& g : guards) {
    display.renderTarget = g.target;
    picture.targetKind = g.kind;
    display.layersOn = g.layersOn;
    for (const char* command : {"RemoveLayer", "SwapLayers", "SetLayerZPos", "SetLayerName", "GetLayerAtPos",
                                "LayerExists", "Undo", "FreeLayers", "DumpLayers", "InsertLayer"}) {
      std::vector<Arg> args(command == std::string("InsertLayer") ? 5 : 2, Arg(1));
      if (command == std::string("FreeLayers") || command == std::string("DumpLayers")) args.clear();
      if (command == std::string("LayerExists") || command == std::string("RemoveLayer")) args = {"x"};
      EXPECT_EQ(Call(command, args), g.want) << command << " target " << g.target;
    }
  }
  display.renderTarget = kTargetDisplay;
  picture.targetKind = 0;
  // The switches.
  display.renderTarget = kTargetBGPic;
  EXPECT_EQ(Call("EnableLayers", {}), "error 1163");
  EXPECT_EQ(Call("DisableLayers", {}), "error 1163");
  display.renderTarget = kTargetDisplay;
  display.doubleBuffer = 1;
  EXPECT_EQ(Call("EnableLayers", {}), "error 1229");
  display.doubleBuffer = 0;
  picture.sprites.emplace_back();
  EXPECT_EQ(Call("EnableLayers", {}), "error 1224");
  picture.sprites.clear();
  EXPECT_EQ(Call("EnableLayers", {}), "");
  EXPECT_EQ(display.layersOn, 1u);
  display.layerScaling = 1;
  EXPECT_EQ(Call("DisableLayers", {}), "error 1313");
  display.layerScaling = 0;
  void* handle = nullptr;
  ASSERT_EQ(CreateAsyncDraw(gs(), ADF_FX, [](void*, int32_t* f) { *f = 1; return 0; }, nullptr,
                            [](void*, int32_t) {}, nullptr, nullptr, &handle),
            0);
  EXPECT_EQ(Call("EnableLayers", {}), "error 1329");
  EXPECT_EQ(Call("DisableLayers", {}), "error 1329");
  FreeAllAsyncDraws(gs());
  EXPECT_EQ(Call("DisableLayers", {}), "");
  EXPECT_EQ(display.layersOn, 0u);
}

// An async-draw object that draws one layer.
vkLayer* gDrawnLayer = nullptr;
intptr_t AnswerLayer(int32_t message, void* data, void*) {
  if (message == kAsyncGetLayer) *static_cast<vkLayer**>(data) = gDrawnLayer;
  return 0;
}

TEST_F(LayerTest, RemovalRefusesBeforeRemovingAnything) {
  MakeSolid(1, 2, 2, 0x101010);
  for (int i = 0; i < 300; i++) ASSERT_EQ(Call("DisplayBrush", {1, i % 20, 0}), "");
  for (vkLayer* layer : picture.layers) layer->group = "many";
  EXPECT_EQ(Call("RemoveLayer", {"many"}), "error 1066");
  EXPECT_EQ(CountLayers(&picture), 300);
  ASSERT_EQ(Call("FreeLayers", {}), "");
  for (int i = 0; i < 3; i++) ASSERT_EQ(Call("DisplayBrush", {1, i * 3, 0}), "");
  for (vkLayer* layer : picture.layers) layer->group = "few";
  gDrawnLayer = picture.layers[2];
  ASSERT_EQ(CreateAsyncDraw(gs(), ADF_MOVEOBJECT, [](void*, int32_t*) { return 0; }, nullptr, [](void*, int32_t) {},
                            AnswerLayer, nullptr, nullptr),
            0);
  EXPECT_EQ(Call("RemoveLayer", {"few"}), "error 1372");
  EXPECT_EQ(CountLayers(&picture), 3);
  EXPECT_EQ(Call("Undo", {vkObjectType::BRUSH, 1}), "error 1372");
  EXPECT_EQ(Call("FreeLayers", {}), "error 1372");
  EXPECT_EQ(Call("RemoveLayer", {1}), "");
  FreeAllAsyncDraws(gs());
  gDrawnLayer = nullptr;
}

TEST_F(LayerTest, ObjectsStayWhileALayerShowsThem) {
  MakeSolid(1, 4, 4, 0x336699);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  // Copy-before-modify: the layer keeps the old picture.
  ASSERT_EQ(Call("InvertBrush", {1}), "");
  EXPECT_EQ(BrushPixels(1)[0], 0xCC9966u);
  EXPECT_NE(picture.layers[0]->record, brush(1));
  ASSERT_EQ(Call("RemoveLayer", {1}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  EXPECT_EQ(Screen(3, 3), 0xCC9966u);
  // Orphans: freed by the script, still shown, gone with the last layer.
  const void* record = brush(1);
  ASSERT_EQ(Call("FreeBrush", {1}), "");
  EXPECT_EQ(brush(1), nullptr);
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  EXPECT_EQ(Screen(3, 3), 0xCC9966u);
  size_t orphans = 0;
  for (const vkBrush& b : Brushes(gs()).brushes) orphans += &b == record;
  EXPECT_EQ(orphans, 1u);
  ASSERT_EQ(Call("RemoveLayer", {1}), "");
  EXPECT_TRUE(Brushes(gs()).brushes.empty());
  EXPECT_EQ(Screen(3, 3), kBackground);
}

TEST_F(LayerTest, DumpLayersListsEveryLayer) {
  MakeSolid(1, 4, 3, 0x336699);
  gfxtest::SetGlobalTable(L, "hiddenOne", {{"hidden", 1}});
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 5}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 7, 1, Arg::global("hiddenOne")}), "");
  ASSERT_EQ(Call("SetLayerName", {2, "Ghost"}), "");
  picture.id.number = 3;
  testing::internal::CaptureStdout();
  ASSERT_EQ(Call("DumpLayers", {}), "");
  std::string out = testing::internal::GetCapturedStdout();
  out = std::regex_replace(out, std::regex(R"(\(0x[0-9a-f]+|\(\(nil\))"), "(ADDR");
  out = std::regex_replace(out, std::regex(R"(sizeof\(vkLayer\): \d+)"), "sizeof(vkLayer): N");
  EXPECT_EQ(out,
            "LAYER SYSTEM INFO - BGPIC: 3 (ADDR)\nsizeof(vkLayer): N\nLayers: 2\n"
            "(1) BRUSH #1 (ADDR / \"\") - X: 2 (2) - Y: 5 (5) - Width: 4 (4) - Height: 3 (3) - Visible: 1\n"
            "(2) BRUSH #1 (ADDR / \"Ghost\") - X: 7 (7) - Y: 1 (1) - Width: 4 (4) - Height: 3 (3) - Visible: 0\n");
}

TEST_F(LayerTest, AnUncoveredLayerHasNothingVisibleAboveIt) {
  MakeSolid(1, 4, 4, 0x336699);
  gfxtest::SetGlobalTable(L, "hiddenOne", {{"hidden", 1}});
  ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 3, Arg::global("hiddenOne")}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 10, 0}), "");
  EXPECT_EQ(IsLayerUncovered(&picture, picture.layers[0]), 1);
  EXPECT_EQ(IsLayerUncovered(&picture, picture.layers[2]), 1);
  ASSERT_EQ(Call("DisplayBrush", {1, 2, 2}), "");
  EXPECT_EQ(IsLayerUncovered(&picture, picture.layers[0]), 0);
}

TEST_F(LayerTest, RedrawRefusesBadRectanglesWithItsMessages) {
  const Pixels before = Read(display.screenBuffer);
  struct Case {
    int32_t x, y, w, h;
    bool dst;
    const char* want;
  } cases[] = {
      {0, 0, 0, 4, true, "ERROR! REDRAW CALLED WITH WIDTH/HEIGHT <= 0\n"},
      {-1, 0, 4, 4, true, "ERROR! REDRAW CALLED WITH NEGATIVE X/Y COORDINATES\n"},
      {0, 0, 4, 4, false, "ERROR! REDRAW CALLED WITHOUT DSTBM\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    Redraw(gs(), &display, &picture, c.dst ? display.screenBuffer : nullptr, c.x, c.y, c.w, c.h, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.want);
  }
  EXPECT_EQ(Read(display.screenBuffer), before);
  // A refresh while a brush is the output target does nothing.
  display.renderTarget = kTargetBrush;
  copies.clear();
  RefreshRect(gs(), 0, 0, 4, 4);
  EXPECT_TRUE(copies.empty());
  display.renderTarget = kTargetDisplay;
}

}  // namespace

namespace {

TEST_F(LayerTest, AReplacementMayTakeTheNameOfTheLayerItReplaces) {
  MakeSolid(1, 4, 4, 0x336699);
  MakeSolid(2, 2, 2, 0x993366);
  ASSERT_EQ(Call("DisplayBrush", {1, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 8, 0}), "");
  ASSERT_EQ(Call("SetLayerName", {1, "Ship"}), "");
  vkLayerOptions options;
  std::snprintf(options.name, sizeof options.name, "SHIP");
  auto add = [&](int32_t pos, uint32_t flags) {
    vkLayerDataPtr data(new vkLayerData);
    return AddLayer(L, vkObjectType::BRUSH, brush(2)->id, brush(2), 1, 1, 2, 2, nullptr, &options, nullptr, nullptr,
                    nullptr, std::move(data), pos, flags);
  };
  EXPECT_EQ(add(2, 0), kLayersErrNameAssigned);  // a plain insert may not
  EXPECT_EQ(CountLayers(&picture), 2);
  EXPECT_EQ(add(1, kAddReplace), 0);
  ASSERT_EQ(CountLayers(&picture), 2);
  EXPECT_EQ(picture.layers[0]->name, "SHIP");
  EXPECT_EQ(picture.layers[0]->record, brush(2));
  RefreshRectNow(gs(), 0, 0, kWidth, kHeight);
  ExpectScreenIsReference();
}

}  // namespace
