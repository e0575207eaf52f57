// Output targets and double buffering: the selection state machine as
// sequences of commands (render target, current record, drawing planes,
// errors), drawing landing in brushes, masks, alpha channels, pictures and
// the double buffer and nowhere else, and layer and anim targets served by
// stand-in hooks that log what the layers library is asked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "graphics/doublebuffer.h"
#include "graphics/outputtargets.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"
#include "support/scene.h"

namespace {

using gfxtest::Pixels;
using vktest::Arg;

constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF;

Pixels Solid(int32_t w, int32_t h, uint32_t c) { return Pixels(size_t(w) * size_t(h), c); }

// The w x h picture [base] with the rectangle at (x, y) of size rw x rh
// taken from [f].
template <typename F>
Pixels WithRect(Pixels base, int32_t w, int32_t x, int32_t y, int32_t rw, int32_t rh, F f) {
  for (int32_t j = y; j < y + rh; j++)
    for (int32_t i = x; i < x + rw; i++) base[size_t(j * w + i)] = f(i - x, j - y);
  return base;
}

class OutputTargetTest : public gfxtest::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    // Openers register into the table on top of the stack.
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenBGPicLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeBitMap(display.doubleBufferFront);
    FreeBitMap(display.doubleBufferDraw);
    display.doubleBufferFront = display.doubleBufferDraw = nullptr;
    gs().CurrentBGPic = &picture;  // a test may end with a selection open
    FreeOutputTargets(&display);
    SceneTest::TearDown();
  }

  // The state of the current display in one line: render target, what the
  // current output record is, which drawing planes are set (b, m, a) and
  // whether the double buffer is on (+db) or suspended (+suspended).
  std::string State() {
    const vkBGPic* t = gs().CurrentBGPic;
    std::string who;
    if (t == &picture) who = "display";
    else if (t && t == display.doubleBufferTarget) who = "double";
    else if (t && t == display.selectTarget)
      who = "kind" + std::to_string(t->targetKind) + "#" + std::to_string(t->id.number) + "/" +
            std::to_string(t->targetIndex);
    else who = "?";
    std::string planes;
    if (display.drawBitMap) planes += "b";
    if (display.drawMask) planes += "m";
    if (display.drawAlpha) planes += "a";
    std::string s = std::to_string(display.renderTarget) + " " + who + " " + (planes.empty() ? "-" : planes);
    if (display.doubleBuffer) s += " +db";
    if (display.doubleBufferSuspended) s += " +suspended";
    return s;
  }

  struct Step {
    const char* command;
    std::vector<Arg> args;
    std::string outcome;
    std::string state;
  };
  void RunSteps(const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); i++) {
      const Step& s = steps[i];
      SCOPED_TRACE("step " + std::to_string(i) + ": " + s.command);
      EXPECT_EQ(Call(s.command, s.args), s.outcome);
      EXPECT_EQ(State(), s.state);
    }
  }

  // A picture of the list, not shown by any display: w x h of [rgb].
  vkBGPic* AddPicture(int32_t number, int32_t w, int32_t h, uint32_t rgb) {
    vkPictureSet set;
    set.bitmap = AllocArgbBitMap(w, h);
    Fill(set.bitmap, rgb);
    vkBGPic* p = nullptr;
    EXPECT_EQ(AddBGPicRecord(gs(), vkObjectId{number, nullptr}, IMAGETYPE_RASTER, w, h, {}, set, -1, {}, &p), 0);
    return p;
  }

  Pixels Fixture4() {
    Pixels p;
    for (int32_t i = 0; i < 16; i++) p.push_back(0x0F0F0Fu * uint32_t(i + 1));
    return p;
  }
};

TEST_F(OutputTargetTest, SelectionsFollowTheirStateMachine) {
  MakeBrush(1, 8, 8, Solid(8, 8, kWhite), nullptr);
  const Pixels half = WithRect(Solid(4, 4, 0), 4, 0, 0, 2, 4, [](int32_t, int32_t) { return 1u; });
  MakeBrush(2, 4, 4, Solid(4, 4, kRed), &half);
  MakeBrush(3, 4, 4, Solid(4, 4, kRed));
  brush(3)->kind = kBrushVector;
  RunSteps({
      {"EndSelect", {}, "error 1055", "21 display -"},
      {"Flip", {}, "error 1244", "21 display -"},
      {"EndDoubleBuffer", {}, "error 1244", "21 display -"},
      {"SelectBrush", {9}, "error 1174", "21 display -"},
      {"SelectBrush", {3}, "error 1388", "21 display -"},
      {"SelectBrush", {1, 7}, "error 1055", "21 display -"},
      {"SelectBrush", {1}, "", "3 kind3#1/0 b"},
      {"SelectBrush", {1}, "", "3 kind3#1/0 b"},  // the same selection again
      {"SelectBrush", {2, 1}, "", "3 kind3#2/0 bm"},  // combo: the brush's mask too
      {"SelectBrush", {2, 0}, "", "3 kind3#2/0 b"},   // another mode is another selection
      {"BeginDoubleBuffer", {}, "error 1082", "3 kind3#2/0 b"},
      {"SelectMask", {1}, "", "28 kind3#1/0 -"},  // no mask until the first drawing
      {"BeginDoubleBuffer", {}, "error 1147", "28 kind3#1/0 -"},
      {"SelectAlphaChannel", {2}, "", "30 kind3#2/0 -"},
      {"BeginDoubleBuffer", {}, "error 1167", "30 kind3#2/0 -"},
      {"SelectAlphaChannel", {1, 4}, "error 1014", "30 kind3#2/0 -"},  // an anim needs its frame
      // A failed selection has ended the one before.
      {"SelectMask", {1, 4, 1}, "error 1176", "21 display -"},
      {"SelectMask", {1, 22, 0}, "error 1081", "21 display -"},
      {"SelectMask", {1, 7}, "error 1055", "21 display -"},
      {"SelectBrush", {1}, "", "3 kind3#1/0 b"},
      {"EndSelect", {}, "", "21 display -"},
      {"BeginDoubleBuffer", {}, "", "3 double b +db"},
      {"EndSelect", {}, "error 1055", "3 double b +db"},
      {"BeginDoubleBuffer", {}, "error 1229", "3 double b +db"},
      {"DisplaySprite", {1, 0, 0}, "error 1229", "3 double b +db"},  // sprites need the display itself
      {"SelectBrush", {1}, "", "3 kind3#1/0 b +suspended"},
      {"BeginDoubleBuffer", {}, "error 1082", "3 kind3#1/0 b +suspended"},
      {"RemoveSprites", {}, "error 1082", "3 kind3#1/0 b +suspended"},
      {"SelectMask", {2}, "", "28 kind3#2/0 m +suspended"},  // switching keeps the double buffer aside
      {"EndSelect", {}, "", "3 double b +db"},
      {"Flip", {}, "", "3 double b +db"},
      {"EndDoubleBuffer", {}, "", "21 display -"},
      {"EndDoubleBuffer", {}, "error 1244", "21 display -"},
  });
  EXPECT_EQ(display.doubleBufferFront, nullptr);
  EXPECT_EQ(display.doubleBufferDraw, nullptr);
}

// The brush drawing goes into changes; the display does not. Showing the
// selected brush itself ends the selection first.
TEST_F(OutputTargetTest, DrawingLandsInTheSelectedBrush) {
  MakeBrush(1, 8, 8, Solid(8, 8, kWhite));
  MakeBrush(2, 4, 4, Fixture4());
  const Pixels before = Read(display.backBuffer);
  RunCases({{"SelectBrush", {1}, ""}, {"DisplayBrush", {2, 3, 2}, ""}, {"DisplayBrush", {2, 6, 6}, ""}});
  Pixels want = WithRect(Solid(8, 8, kWhite), 8, 3, 2, 4, 4, [&](int32_t x, int32_t y) { return Fixture4()[size_t(y * 4 + x)]; });
  want = WithRect(want, 8, 6, 6, 2, 2, [&](int32_t x, int32_t y) { return Fixture4()[size_t(y * 4 + x)]; });
  EXPECT_EQ(BrushPixels(1), want);
  EXPECT_EQ(Read(display.backBuffer), before);
  EXPECT_EQ(BrushPixels(2), Fixture4());
  // Freeing or changing the brush drawn into is refused while selected.
  RunCases({{"FreeBrush", {1}, "error 1149"}, {"ScaleBrush", {1, 2, 2}, "error 1149"}});

  RunCases({{"DisplayBrush", {1, 0, 0}, ""}});
  EXPECT_EQ(State(), "21 display -");
  Pixels shown = WithRect(before, kWidth, 0, 0, 8, 8, [&](int32_t x, int32_t y) { return want[size_t(y * 8 + x)]; });
  EXPECT_EQ(Read(display.backBuffer), shown);
}

// A mask target without a mask: the first drawing makes one all visible and
// drops the alpha channel; drawing then changes the mask alone, by the
// mask mode. A locked brush is refused at that first drawing.
TEST_F(OutputTargetTest, MaskTargetGetsItsMaskAtTheFirstDrawing) {
  const Pixels alpha = Solid(8, 4, 90);
  MakeBrush(1, 8, 4, Solid(8, 4, kWhite), nullptr, &alpha);
  MakeBrush(2, 2, 2, Solid(2, 2, kRed));
  RunCases({{"SelectMask", {1}, ""}, {"SetMaskMode", {1}, ""}});
  EXPECT_EQ(BrushMask(1), Pixels{});
  brush(1)->lockCount = 1;
  RunCases({{"DisplayBrush", {2, 1, 1}, "error 1314"}});
  brush(1)->lockCount = 0;
  RunCases({{"DisplayBrush", {2, 1, 1}, ""}});
  EXPECT_EQ(BrushMask(1), WithRect(Solid(8, 4, 1), 8, 1, 1, 2, 2, [](int32_t, int32_t) { return 0u; }));
  EXPECT_EQ(BrushAlpha(1), Pixels{});
  EXPECT_EQ(BrushPixels(1), Solid(8, 4, kWhite));
  EXPECT_EQ(State(), "28 kind3#1/0 m");
  // Every padding bit of the new mask is set too.
  const vkPlane* m = brush(1)->mask.get();
  EXPECT_EQ(m->data[size_t(m->bytesPerRow) - 1], 0xFF);
  RunCases({{"EndSelect", {}, ""}});
  EXPECT_EQ(BrushMask(1), WithRect(Solid(8, 4, 1), 8, 1, 1, 2, 2, [](int32_t, int32_t) { return 0u; }));
}

TEST_F(OutputTargetTest, AlphaTargetGetsAnOpaqueChannelAndTheIntensity) {
  const Pixels mask = Solid(6, 3, 1);
  MakeBrush(1, 6, 3, Solid(6, 3, kWhite), &mask);
  MakeBrush(2, 2, 3, Solid(2, 3, kRed));
  RunCases({{"SelectAlphaChannel", {1}, ""}, {"SetAlphaIntensity", {77}, ""}, {"DisplayBrush", {2, 4, 0}, ""}});
  EXPECT_EQ(BrushAlpha(1), WithRect(Solid(6, 3, 255), 6, 4, 0, 2, 3, [](int32_t, int32_t) { return 77u; }));
  EXPECT_EQ(BrushMask(1), Pixels{});
  EXPECT_EQ(BrushPixels(1), Solid(6, 3, kWhite));
}

// SELMODE_COMBO draws the pixels and copies the source's mask bits into
// the target's mask; the normal mode leaves the target's mask alone.
TEST_F(OutputTargetTest, ComboModeDrawsTheMaskBesideThePixels) {
  const Pixels targetMask = Solid(4, 4, 1);
  const Pixels sourceMask = {1, 0, 0, 1};
  for (int32_t mode : {SELMODE_NORMAL, SELMODE_COMBO}) {
    SCOPED_TRACE(mode);
    MakeBrush(1, 4, 4, Solid(4, 4, kWhite), &targetMask);
    MakeBrush(2, 2, 2, Solid(2, 2, kBlue), &sourceMask);
    RunCases({{"SelectBrush", {1, mode}, ""}, {"DisplayBrush", {2, 1, 1}, ""}, {"EndSelect", {}, ""}});
    EXPECT_EQ(BrushPixels(1), WithRect(Solid(4, 4, kWhite), 4, 1, 1, 2, 2,
                                       [&](int32_t x, int32_t y) { return sourceMask[size_t(y * 2 + x)] ? kBlue : kWhite; }));
    EXPECT_EQ(BrushMask(1), mode == SELMODE_COMBO
                                ? WithRect(targetMask, 4, 1, 1, 2, 2,
                                           [&](int32_t x, int32_t y) { return sourceMask[size_t(y * 2 + x)]; })
                                : targetMask);
  }
}

// A picture as the target: drawn into through its current set; its own
// shown copy is made again when the selection ends; pictures shown by a
// display and generated pictures are refused.
TEST_F(OutputTargetTest, PicturesAreDrawnIntoAndTheirShownCopyFollows) {
  MakeBrush(2, 2, 2, Solid(2, 2, kRed));
  vkBGPic* p = AddPicture(5, 4, 4, kWhite);
  ASSERT_TRUE(p);
  // Shown at twice the size, as under layer scaling.
  ASSERT_EQ(ScaleBitMap(gs().scaleTables, p->bitmap, nullptr, nullptr, 0, 0, nullptr, 4, 4, 8, 8, false,
                        &p->scaledBitMap, nullptr, nullptr),
            0);
  p->scaledWidth = p->scaledHeight = 8;
  vkBGPic* generated = AddPicture(6, 4, 4, kWhite);
  generated->imageType = kImageTypeGenerated;
  vkBGPic* shown = AddPicture(7, 4, 4, kWhite);
  vkDisplay other;
  other.bgpic = shown;
  gs().DisplayList.emplace_back(&other);

  RunCases({{"SelectBGPic", {6, 0}, "error 1390"},
            {"SelectBGPic", {7, 0}, "error 1377"},
            {"SelectBGPic", {9, 0}, "error 1177"},
            {"SelectBGPic", {5, 0}, ""},
            {"FreeBGPic", {5}, "error 1378"},
            {"DisplayBrush", {2, 2, 0}, ""}});
  EXPECT_EQ(State(), "3 kind1#5/0 b");
  const Pixels drawn = WithRect(Solid(4, 4, kWhite), 4, 2, 0, 2, 2, [](int32_t, int32_t) { return kRed; });
  EXPECT_EQ(Read(p->bitmap), drawn);
  EXPECT_EQ(Read(p->scaledBitMap), Solid(8, 8, kWhite));
  RunCases({{"EndSelect", {}, ""}});
  EXPECT_EQ(Read(p->scaledBitMap), WithRect(Solid(8, 8, kWhite), 8, 4, 0, 4, 4, [](int32_t, int32_t) { return kRed; }));
  EXPECT_EQ(State(), "21 display -");
  (void)gs().DisplayList.back().release();
  gs().DisplayList.pop_back();
}

// The double buffer takes every drawing; Flip fills the front buffer,
// EndDoubleBuffer leaves the drawing in the display's background.
TEST_F(OutputTargetTest, DoubleBufferTakesTheDrawingUntilItEnds) {
  MakeBrush(2, 4, 4, Fixture4());
  const Pixels before = Read(display.backBuffer);
  RunCases({{"BeginDoubleBuffer", {}, ""}, {"DisplayBrush", {2, 5, 5}, ""}});
  const Pixels drawn =
      WithRect(Solid(kWidth, kHeight, 0), kWidth, 5, 5, 4, 4, [&](int32_t x, int32_t y) { return Fixture4()[size_t(y * 4 + x)]; });
  EXPECT_EQ(Read(display.doubleBufferDraw), drawn);
  EXPECT_EQ(Read(display.doubleBufferFront), Solid(kWidth, kHeight, 0));
  EXPECT_EQ(Read(display.backBuffer), before);
  RunCases({{"Flip", {}, ""}});
  EXPECT_EQ(Read(display.doubleBufferFront), drawn);
  // A selection made meanwhile draws into the brush, then the draw buffer again.
  MakeBrush(1, 2, 2, Solid(2, 2, kWhite));
  RunCases({{"SelectBrush", {1}, ""}, {"DisplayBrush", {2, 0, 0}, ""}, {"EndSelect", {}, ""}, {"DisplayBrush", {2, 0, 0}, ""}});
  EXPECT_EQ(BrushPixels(1), (Pixels{Fixture4()[0], Fixture4()[1], Fixture4()[4], Fixture4()[5]}));
  const Pixels drawnTwice = WithRect(drawn, kWidth, 0, 0, 4, 4, [&](int32_t x, int32_t y) { return Fixture4()[size_t(y * 4 + x)]; });
  EXPECT_EQ(Read(display.doubleBufferDraw), drawnTwice);
  RunCases({{"EndDoubleBuffer", {}, ""}});
  EXPECT_EQ(Read(display.backBuffer), drawnTwice);
}

TEST_F(OutputTargetTest, DoubleBufferingIsRefusedWhereItCannotWork) {
  struct Case {
    const char* what;
    void (*arrange)(vkDisplay&, vkBGPic&);
    void (*undo)(vkDisplay&, vkBGPic&);
    const char* outcome;
  };
  static vkPlanePtr mask;
  const Case cases[] = {
      {"layers on", [](vkDisplay& d, vkBGPic&) { d.layersOn = 1; }, [](vkDisplay& d, vkBGPic&) { d.layersOn = 0; },
       "error 1162"},
      {"a sprite shown", [](vkDisplay&, vkBGPic& p) { p.sprites.emplace_back(); },
       [](vkDisplay&, vkBGPic& p) { p.sprites.clear(); }, "error 1224"},
      {"a transparent display",
       [](vkDisplay&, vkBGPic& p) {
         mask.reset(AllocMaskPlane(p.width, p.height, true));
         p.mask = mask.get();
       },
       [](vkDisplay&, vkBGPic& p) {
         p.mask = nullptr;
         mask.reset();
       },
       "error 1230"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.arrange(display, picture);
    EXPECT_EQ(Call("BeginDoubleBuffer", {}), c.outcome);
    EXPECT_EQ(State(), "21 display -");
    EXPECT_EQ(display.doubleBufferFront, nullptr);
    EXPECT_EQ(display.doubleBufferDraw, nullptr);
    c.undo(display, picture);
  }
}

// The picture grows and shrinks under a double buffer made at the old size:
// Flip and EndDoubleBuffer copy what both buffers hold.
TEST_F(OutputTargetTest, ResizingUnderADoubleBufferCopiesWhatBothHold) {
  MakeBrush(2, 4, 4, Fixture4());
  RunCases({{"BeginDoubleBuffer", {}, ""}, {"DisplayBrush", {2, 20, 12}, ""}});
  vkBitMapPtr small(AllocArgbBitMap(10, 6));
  Fill(small.get(), kBlue);
  picture.width = picture.scaledWidth = 10, picture.height = picture.scaledHeight = 6;
  ResizeDoubleBuffer(gs(), &display, 10, 6);
  RunCases({{"Flip", {}, ""}});
  EXPECT_EQ(Read(display.doubleBufferFront), Solid(10, 6, 0));
  display.backBuffer = small.get();
  RunCases({{"EndDoubleBuffer", {}, ""}});
  EXPECT_EQ(Read(small.get()), Solid(10, 6, 0));
  display.backBuffer = back.get();
  picture.width = picture.scaledWidth = kWidth, picture.height = picture.scaledHeight = kHeight;
}

// ---- Layer and anim targets through stand-in hooks ------------------------------

struct FakeObject {
  vkBitMapPtr bitmap;
  vkPlanePtr mask, alpha;
};
FakeObject gLayer, gAnim;
std::vector<std::string> gLog;

int32_t FindFake(FakeObject& o, const char* what, vkObjectId id, int32_t index, bool forDrawing, vkTargetObject* out) {
  char line[96];
  std::snprintf(line, sizeof line, "find %s #%d/%d%s", what, id.number, index, forDrawing ? " for drawing" : "");
  gLog.push_back(line);
  if (index == 9) return kErrAnimFrameRange;
  *out = vkTargetObject{&o, o.bitmap.get(), o.mask.get(), o.alpha.get(), o.bitmap->width, o.bitmap->height};
  return 0;
}

int32_t FindLayer(vkState*, vkDisplay*, vkObjectId id, int32_t index, bool forDrawing, vkTargetObject* out) {
  return FindFake(gLayer, "layer", id, index, forDrawing, out);
}
int32_t FindAnim(vkState*, vkDisplay*, vkObjectId id, int32_t index, bool forDrawing, vkTargetObject* out) {
  return FindFake(gAnim, "anim", id, index, forDrawing, out);
}
void ReplacePlanes(vkGraphicsState&, void* record, int32_t index, vkPlane* mask, vkPlane* alpha) {
  auto* o = static_cast<FakeObject*>(record);
  gLog.push_back(std::string("planes ") + (o == &gLayer ? "layer" : "anim") + "/" + std::to_string(index) +
                 (mask ? " mask" : "") + (alpha ? " alpha" : ""));
  o->mask.reset(mask);
  o->alpha.reset(alpha);
}
int32_t EndLayerDrawing(vkState*, vkDisplay*, vkLayer* layer, int32_t index) {
  gLog.push_back(std::string("end ") + (static_cast<void*>(layer) == &gLayer ? "layer" : "?") + "/" +
                 std::to_string(index));
  return 0;
}

class LayerTargetTest : public OutputTargetTest {
 protected:
  void SetUp() override {
    OutputTargetTest::SetUp();
    gLog.clear();
    for (FakeObject* o : {&gLayer, &gAnim}) {
      o->bitmap.reset(AllocArgbBitMap(6, 4));
      Fill(o->bitmap.get(), kWhite);
      o->mask.reset();
      o->alpha.reset();
    }
    vkLayerTargetHooks& h = gs().layerTargets;
    h.layer = {FindLayer, ReplacePlanes};
    h.anim = {FindAnim, ReplacePlanes};
    h.endLayerDrawing = EndLayerDrawing;
  }
  void TearDown() override {
    gs().layerTargets = vkLayerTargetHooks{};
    OutputTargetTest::TearDown();
    for (FakeObject* o : {&gLayer, &gAnim}) *o = FakeObject{};
  }
};

TEST_F(LayerTargetTest, LayersAndAnimsAreFoundPreparedAndGivenBack) {
  MakeBrush(2, 2, 2, Solid(2, 2, kRed));
  RunSteps({
      {"SelectMask", {3, 22, 0}, "", "28 kind22#3/0 -"},
      {"SetMaskMode", {1}, "", "28 kind22#3/0 -"},
      {"DisplayBrush", {2, 0, 0}, "", "28 kind22#3/0 m"},
      {"DisplayBrush", {2, 4, 2}, "", "28 kind22#3/0 m"},
      {"EndSelect", {}, "", "21 display -"},
      {"SelectAlphaChannel", {5, 4, 9}, "error 1094", "21 display -"},
      {"SelectBrush", {3}, "error 1174", "21 display -"},
      {"SelectAlphaChannel", {5, 4, 2}, "", "30 kind4#5/2 -"},
      {"DisplayBrush", {2, 1, 1}, "", "30 kind4#5/2 a"},
      {"EndSelect", {}, "", "21 display -"},
  });
  EXPECT_EQ(gLog, (std::vector<std::string>{"find layer #3/0", "find layer #3/0 for drawing", "planes layer/0 mask",
                                            "end layer/0", "find anim #5/9", "find anim #5/2",
                                            "find anim #5/2 for drawing", "planes anim/2 alpha"}));
  ASSERT_TRUE(gLayer.mask);
  vkPlane* m = gLayer.mask.get();
  // Drawn in the invisible mask mode: the brush's rectangles are cleared.
  for (auto [x, y, bit] : {std::tuple{0, 0, 0}, {1, 1, 0}, {4, 2, 0}, {5, 3, 0}, {2, 0, 1}, {3, 3, 1}, {0, 2, 1}})
    EXPECT_EQ(ReadBitMapPixel(m, x, y), uint32_t(bit)) << x << "," << y;
  ASSERT_TRUE(gAnim.alpha);
  EXPECT_EQ(gAnim.alpha->data[size_t(gAnim.alpha->bytesPerRow) + 1], 128);  // the default alpha intensity
  EXPECT_EQ(gAnim.alpha->data[0], 255);

  // An anim frame selected as a brush (SelectAnim): commands that need the
  // display name the anim's selection.
  ASSERT_EQ(SelectOutputTarget(L, vkObjectType::ANIM, vkObjectId{5, nullptr}, kTargetBrush, 1, SELMODE_NORMAL), 0);
  EXPECT_EQ(State(), "3 kind4#5/1 b");
  RunCases({{"BeginDoubleBuffer", {}, "error 1339"}, {"DisplaySprite", {1, 0, 0}, "error 1339"}, {"EndSelect", {}, ""}});
}

TEST_F(LayerTargetTest, WithoutHooksLayerAndAnimTargetsAreNotFound) {
  gs().layerTargets = vkLayerTargetHooks{};
  RunCases({{"SelectMask", {3, 22, 0}, "error 1081"},
            {"SelectAlphaChannel", {5, 4, 1}, "error 1176"},
            {"SelectMask", {Arg::handle(&gAnim), 4, 1}, "error 1041"}});
  EXPECT_EQ(State(), "21 display -");
}

TEST_F(LayerTargetTest, AFailedFindBeforeDrawingStopsTheDrawing) {
  MakeBrush(2, 2, 2, Solid(2, 2, kRed));
  RunCases({{"SelectBrush", {3}, "error 1174"}, {"SelectMask", {3, 22, 0}, ""}});
  gs().layerTargets.layer.find = [](vkState*, vkDisplay*, vkObjectId, int32_t, bool forDrawing,
                                    vkTargetObject* out) -> int32_t {
    if (forDrawing) return kErrObjectLocked;
    return FindLayer(nullptr, nullptr, {}, 0, false, out);
  };
  RunCases({{"DisplayBrush", {2, 0, 0}, "error 1314"}});
  EXPECT_EQ(gLayer.mask, nullptr);
  RunCases({{"EndSelect", {}, ""}});
  // Not prepared: nothing was drawn, nothing to give back.
  EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "end layer/0"), 0);
}

}  // namespace
