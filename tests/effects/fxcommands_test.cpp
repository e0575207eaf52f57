// The transitionfx commands as scripts call them, and the engine's rules:
// the constants, argument and error cases, the refused output targets, the
// numbers the effects promise (frame counts, slices), random draws, whole-
// picture ids on brushes, the mirror pairs, oversized stripes, and a display
// that changes size in the middle of an effect.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "effects/fxtable.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/objecttypes.h"
#include "support/fxscene.h"

namespace {

using fxtest::NewPixel;
using fxtest::OldPixel;
using fxtest::Pixels;
using vktest::Arg;
namespace ot = vkObjectType;

class FXCommands : public fxtest::FXScene {
 protected:
  void SetUp() override {
    FXScene::SetUp();
    MakeDisplay(48, 32);
    MakeBrush(3, 10, 6, false);
  }
  // The global [name] as a table of number fields and one string field.
  void Table(const char* name, const std::vector<std::pair<const char*, double>>& numbers,
             const char* stringField = nullptr) {
    vmPushString(L, name);
    vmNewTable(L);
    for (const auto& [k, v] : numbers) SetFieldNumber(L, k, v);
    if (stringField) SetFieldString(L, stringField, "x");
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  // Frames of an effect on a fresh display of 48 x 32 with brush 3.
  std::vector<Pixels> FreshFrames(int32_t type, int32_t speed, int32_t parameter) {
    MakeDisplay(48, 32);
    MakeBrush(3, 10, 6, false);
    return Frames(type, speed, parameter);
  }
  // Frames of an effect on brush 3 (or on [operation]'s object [number]).
  std::vector<Pixels> Frames(int32_t type, int32_t speed, int32_t parameter, int32_t operation = ot::BRUSH,
                             int32_t number = 3) {
    std::vector<Pixels> frames;
    vkFXRequest rq;
    rq.operation = operation, rq.id = {number, nullptr};
    rq.type = type, rq.speed = speed, rq.parameter = parameter;
    EXPECT_EQ(RunCollecting(rq, &frames), 0u);
    return frames;
  }
  uint32_t At(const Pixels& p, int32_t x, int32_t y) const { return p[size_t(y) * size_t(width_) + size_t(x)]; }
};

TEST_F(FXCommands, TheConstantsAreStoredInOrderWithTheirValues) {
  const auto& all = FXConstants();
  ASSERT_EQ(all.size(), 145u);
  EXPECT_STREQ(all.front().name, "HSTRIPES2");
  EXPECT_STREQ(all.back().name, "SUN");
  std::set<int32_t> values;
  std::set<std::string> names;
  for (const vkFXConstant& c : all) {
    ASSERT_NE(c.name, nullptr);
    values.insert(c.value);
    names.insert(c.name);
  }
  EXPECT_EQ(names.size(), 145u);
  EXPECT_EQ(values.size(), 141u);  // -1 and 0..140 but 113
  EXPECT_EQ(values.count(113), 0u);
  const std::pair<const char*, double> checks[] = {
      {"scrollwest", 47}, {"SCROLLLEFT", 47},  {"SCROLLSOUTHWEST", 53}, {"RANDOMPARAMETER", -1},
      {"RandomEffect", 140}, {"VLINES2", 34}, {"HLINES2", 35},         {"CROSSFADE", 115},
      {"FADE", 116},         {"BLEND", 117},  {"VBLINDS128", 23},      {"SUN", 114}};
  for (const auto& [name, value] : checks) {
    const char* text = nullptr;
    double number = 0;
    ASSERT_EQ(vmGetConstant(L, name, &text, &number), 1) << name;
    EXPECT_EQ(number, value) << name;
  }
}

TEST_F(FXCommands, ArgumentsAndErrors) {
  Table("badtype", {}, "type");
  Table("asyncbgpic", {{"type", 0}, {"async", 1}});
  Table("strings", {{"type", 0}}, "speed");
  RunCases({
      {"DisplayBrushFX", {3, 0}, "error 1014"},
      {"DisplayBrushFX", {3, 0, 0, 0, -1, -1, 7}, "error 1193"},
      {"DisplayBrushFX", {3, 0, 0, Arg::global("badtype")}, "error 1189"},
      {"DisplayBrushFX", {3, 0, 0, Arg::global("strings")}, "error 1189"},
      {"DisplayTransitionFX", {}, "error 1014"},
      {"DisplayTransitionFX", {2, 0, -1, -1, 9}, "error 1193"},
      {"DisplayTransitionFX", {2, Arg::global("asyncbgpic")}, "error 1055"},
      {"DisplayTransitionFX", {9, 0}, "error 1177"},
      {"DisplayBrushFX", {3, 0, 0, 141}, "error 1055"},
      {"DisplayBrushFX", {3, 0, 0, -5}, "error 1055"},
      {"DisplayBrushFX", {99, 0, 0, 0}, "error 1174"},
      {"DisplayBrushFX", {Arg::handle(this), 0, 0, 0}, "error 1041"},
      {"DisplayTextObjectFX", {1, 0, 0, 0}, "error 1175"},
      {"DisplayBGPicPartFX", {2, 0, 0, 4}, "error 1014"},
      {"DisplayBGPicPartFX", {2, 0, 0, 4, 4, 0, -1, 3, 0, 0, 1}, "error 1055"},  // layers while off
      {"DisplayBGPicPartFX", {2, -1, 0, 4, 4, 0}, "error 1055"},
      {"DisplayBGPicPartFX", {2, 48, 0, 4, 4, 0}, "error 1055"},
      {"ShowLayerFX", {1}, "error 1078"},
      {"HideLayerFX", {1, 0}, "error 1078"},
      {"RemoveLayerFX", {1, 0}, "error 1078"},
      {"UndoFX", {ot::BRUSH, 3}, "error 1078"},
      {"UndoFX", {ot::BRUSH}, "error 1014"},
      {"GetRandomFX", {}, "error 1014"},
      {"GetRandomFX", {0, 1}, "error 1193"},
  });
  // Failed runs give their locks back.
  EXPECT_EQ(Call("FreeBrush", {3}), "");
}

TEST_F(FXCommands, APictureWithTransparencyCannotBeShownThroughAnEffect) {
  vkBGPic* p = nullptr;
  ASSERT_EQ(FindBGPic(gs(), vkObjectId{2, nullptr}, &p, 0), 0);
  p->transparentColor = 0;
  EXPECT_EQ(Call("DisplayTransitionFX", {2, 0}), "error 1055");
  p->transparentColor = -1;
  display()->bgpic->transparentColor = 0x102030;  // the displayed one
  EXPECT_EQ(Call("DisplayTransitionFX", {2, 0}), "error 1055");
  display()->bgpic->transparentColor = -1;
  EXPECT_EQ(Call("DisplayTransitionFX", {2, 0, -2, 4}), "");
  EXPECT_EQ(Window(), [&] {
    Pixels want;
    for (int32_t y = 0; y < 32; y++)
      for (int32_t x = 0; x < 48; x++) want.push_back(NewPixel(x, y));
    return want;
  }());
}

TEST_F(FXCommands, EffectsAreRefusedWhileAnotherOutputIsSelected) {
  struct Target {
    int32_t target, kind;
    const char* outcome;
  };
  const Target targets[] = {{kTargetBGPic, 0, "error 1056"},
                            {kTargetBrush, 0, "error 1082"},
                            {kTargetBrush, ot::ANIM, "error 1339"},
                            {kTargetMask, 0, "error 1147"},
                            {kTargetAlphaChannel, 0, "error 1167"}};
  for (const Target& t : targets) {
    SCOPED_TRACE(t.outcome);
    display()->renderTarget = t.target;
    gs().CurrentBGPic->targetKind = t.kind;
    EXPECT_EQ(Call("DisplayBrushFX", {3, 0, 0, 0}), t.outcome);
    EXPECT_EQ(Call("DisplayTransitionFX", {2, 0}), t.outcome);
    display()->renderTarget = kTargetDisplay;
    gs().CurrentBGPic->targetKind = 0;
  }
  EXPECT_EQ(Call("DisplayBrushFX", {3, 0, 0, 0, 300}), "");
}

TEST_F(FXCommands, TheTablesDxAndDyReplaceThePosition) {
  Table("moved", {{"type", 19}, {"speed", 300}, {"dx", 30}});
  ASSERT_EQ(Call("DisplayBrushFX", {3, 10, 20, Arg::global("moved")}), "");
  const Pixels w = Window();
  EXPECT_EQ(At(w, 30, 20), NewPixel(0, 0));
  EXPECT_EQ(At(w, 39, 25), NewPixel(9, 5));
  EXPECT_EQ(At(w, 10, 20), OldPixel(10, 20));
  EXPECT_EQ(At(w, 29, 20), OldPixel(29, 20));
}

TEST_F(FXCommands, RandomDrawsReachEveryEffectAndNoWholePictureOneForLayers) {
  for (int flag : {0, 1}) {
    SCOPED_TRACE(flag);
    srand48(29);
    std::set<int32_t> seen;
    for (int i = 0; i < 6000; i++) {
      const int32_t id = std::stoi(Call("GetRandomFX", {flag}));
      ASSERT_GE(id, 0);
      ASSERT_LE(id, kFXLastId);
      ASSERT_NE(id, kFXUnusedId);
      if (flag) {
        ASSERT_FALSE(FXInSet(id, kFXWholePicture)) << id;
      }
      seen.insert(id);
    }
    std::set<int32_t> all;
    for (int32_t id = 0; id <= kFXLastId; id++)
      if (id != kFXUnusedId && (!flag || !FXInSet(id, kFXWholePicture))) all.insert(id);
    EXPECT_EQ(seen, all);
  }
  // The command and the engine draw from the same numbers.
  srand48(7);
  const int32_t first = FXRandomEffect(true);
  srand48(7);
  EXPECT_EQ(Call("GetRandomFX", {0}), std::to_string(first));
}

// A random effect shows its object exactly as the id drawn from the same
// numbers does, the whole-picture ones only on the display's picture.
TEST_F(FXCommands, ARandomEffectShowsTheObjectThroughTheIdItDraws) {
  std::set<int32_t> drawn;
  for (int32_t operation : {int32_t(ot::BRUSH), int32_t(ot::BGPIC)})
    for (long seed = 1; seed <= 40; seed++) {
      const int32_t number = operation == ot::BRUSH ? 3 : 2;
      srand48(seed), srand(unsigned(seed));  // the effects' own random parameters come from rand()
      const int32_t id = FXRandomEffect(operation == ot::BGPIC);
      MakeDisplay(48, 32);
      MakeBrush(3, 10, 6, false);
      const std::vector<Pixels> chosen = Frames(id, -2, kFXRandomParameter, operation, number);
      srand48(seed), srand(unsigned(seed));
      MakeDisplay(48, 32);
      MakeBrush(3, 10, 6, false);
      const std::vector<Pixels> random = Frames(kFXRandomEffect, -2, kFXRandomParameter, operation, number);
      SCOPED_TRACE("seed " + std::to_string(seed) + ", id " + std::to_string(id));
      ASSERT_FALSE(chosen.empty());
      EXPECT_TRUE(random == chosen);
      EXPECT_EQ(Window(), chosen.back());
      drawn.insert(id);
    }
  EXPECT_GT(drawn.size(), 40u);  // the seeds reach many families
}

TEST_F(FXCommands, TheEffectsKeepTheirNumbers) {
  struct Count {
    int32_t type, speed, parameter, width, height, frames;
  };
  const Count counts[] = {
      {0, -1, 10, 100, 45, 100},  // HSTRIPES: a 1-pixel step over 100 columns
      {3, -2, -1, 300, 20, 30},   // HSTRIPES8, fast: step 10, FXStepCount(290, 10, 0)
      {19, -1, -1, 100, 20, 8},   // VBLINDS8: 8 / 8 = 1 pixel a frame
      {19, -3, -1, 100, 20, 8},   // slow: 8 / 20 raised to 1
      {19, 300, -1, 100, 20, 2},  // never more than half a blind
      {116, -1, 0, 20, 10, 52},   // FADE: FXStepCount(501, 10, 0)
      {117, -1, 0, 20, 10, 52},
      {116, 300, 0, 20, 10, 3},   // used as 255
      {115, 300, 0, 20, 10, 3},   // used as 120
      {115, -1, 0, 20, 10, 26},
      {0, 500, 4, 10, 6, 2},      // a step wider than the picture: width - 1
  };
  for (const Count& c : counts) {
    SCOPED_TRACE(c.type);
    MakeDisplay(std::max(c.width, 48), std::max(c.height, 32));
    MakeBrush(3, c.width, c.height, false);
    EXPECT_EQ(int32_t(Frames(c.type, c.speed, c.parameter).size()), c.frames);
  }
}

TEST_F(FXCommands, StripesAndBlindsRevealTheirSlicesFromTheRightEdges) {
  MakeDisplay(100, 45);
  MakeBrush(3, 100, 45, false);
  std::vector<Pixels> f = Frames(0, -1, 10);
  ASSERT_EQ(f.size(), 100u);
  // Rows 0-9, 20-29 and 40-44 fill from the left, 10-19 and 30-39 from the right.
  for (int32_t y : {0, 9, 20, 29, 40, 44}) {
    EXPECT_EQ(At(f[0], 0, y), NewPixel(0, y)) << y;
    EXPECT_EQ(At(f[0], 99, y), OldPixel(99, y)) << y;
  }
  for (int32_t y : {10, 19, 30, 39}) {
    EXPECT_EQ(At(f[0], 99, y), NewPixel(99, y)) << y;
    EXPECT_EQ(At(f[0], 0, y), OldPixel(0, y)) << y;
  }
  // Twelve whole blinds and a partial one of 4 pixels open from their left edges.
  MakeDisplay(100, 20);
  MakeBrush(3, 100, 20, false);
  f = Frames(19, -1, -1);
  ASSERT_EQ(f.size(), 8u);
  for (int32_t x = 0; x < 100; x++) EXPECT_EQ(At(f[0], x, 7) == NewPixel(x, 7), x % 8 == 0) << x;
  for (int32_t x = 0; x < 100; x++) EXPECT_EQ(At(f[3], x, 7) == NewPixel(x, 7), x % 8 < 4) << x;
}

TEST_F(FXCommands, AnOversizedStripeLooksLikeOneStripeOfThePicturesHeight) {
  const std::vector<Pixels> huge = FreshFrames(0, -1, 1 << 30);
  const std::vector<Pixels> whole = FreshFrames(0, -1, 6);
  EXPECT_EQ(huge.size(), 10u);
  EXPECT_TRUE(huge == whole);
  // A random stripe size on a picture narrower than its divisor still runs.
  MakeBrush(3, 1, 1, false);
  EXPECT_EQ(Frames(0, -1, -1).size(), 1u);
  EXPECT_EQ(Frames(7, -1, -1).size(), 1u);
}

TEST_F(FXCommands, AWholePictureEffectOnABrushRunsAsHorizontalStripes) {
  const std::vector<Pixels> push = FreshFrames(78, -1, 2);  // PUSHLEFT
  const std::vector<Pixels> stripes = FreshFrames(0, -1, 2);
  EXPECT_TRUE(push == stripes);
  EXPECT_EQ(push.size(), 10u);
}

TEST_F(FXCommands, HidingRunsEachEffectAsItsMirror) {
  const std::pair<int32_t, int32_t> pairs[] = {{24, 25}, {26, 27}, {30, 31}, {32, 33}, {38, 88}, {46, 96}};
  for (const auto& [a, b] : pairs) {
    EXPECT_EQ(FXRow(a).mirror, b);
    EXPECT_EQ(FXRow(b).mirror, a);
  }
  for (int32_t id : {0, 23, 47, 115, 139}) EXPECT_EQ(FXRow(id).mirror, id);
}

// Resizes the display when the third frame has been shown.
struct Resizer {
  vkState* L;
  int frames = 0;
  static void Observe(void* context, const vkFXState&) {
    auto* r = static_cast<Resizer*>(context);
    if (++r->frames == 3)
      CallScriptFunction(r->L, "ChangeDisplaySize", 0, {vkScriptArg::ofInt(40), vkScriptArg::ofInt(30)});
  }
};

TEST_F(FXCommands, AResizeEndsABGPicEffectAndRunsABrushEffectAgain) {
  Resizer resizer{L};
  vkFXRequest rq;
  rq.L = L, rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = 0, rq.parameter = 2;
  rq.observer = Resizer::Observe, rq.observerContext = &resizer;
  EXPECT_EQ(RunTransitionFX(rq), 0u);
  EXPECT_EQ(resizer.frames, 3);
  EXPECT_EQ(rq.again, 0);

  MakeDisplay(48, 32);
  resizer.frames = 0;
  vkFXRequest brush;
  brush.L = L, brush.operation = ot::BRUSH, brush.id = {3, nullptr}, brush.type = 0, brush.parameter = 2;
  brush.observer = Resizer::Observe, brush.observerContext = &resizer;
  EXPECT_EQ(RunTransitionFX(brush), 0u);
  EXPECT_EQ(resizer.frames, 3);
  EXPECT_EQ(brush.again, 1);  // the command runs it again from the start
}

}  // namespace

namespace {

TEST_F(FXCommands, ASelectionOfTheObjectShownAndDoubleBufferingEndBeforeTheEffect) {
  MakeBrush(5, 4, 4, false);
  ASSERT_EQ(Call("SelectBrush", {5}), "");
  EXPECT_EQ(Call("DisplayBrushFX", {3, 0, 0, 19, 300}), "error 1082");  // another brush is selected
  ASSERT_EQ(Call("EndSelect", {}), "");
  ASSERT_EQ(Call("SelectBrush", {3}), "");
  EXPECT_EQ(Call("DisplayBrushFX", {3, 0, 0, 19, 300}), "");
  EXPECT_EQ(display()->renderTarget, kTargetDisplay);
  EXPECT_EQ(Window()[0], NewPixel(0, 0));
  ASSERT_EQ(Call("BeginDoubleBuffer", {}), "");
  EXPECT_EQ(Call("DisplayTransitionFX", {2, 115, 300}), "");
  EXPECT_EQ(display()->doubleBuffer, 0u);
  EXPECT_EQ(Window()[0], NewPixel(0, 0));
}

}  // namespace
