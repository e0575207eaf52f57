// Object movement: the paths of straight, diagonal, bounce, damped, sine
// and curved moves step by step (an effect's record, drawn nowhere), and
// the move commands on a display without a window: arguments, errors, the
// brush arriving with the background restored behind it, sprites placed
// along the way and moves run in the background.
#include "layers/moveobject.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"
#include "graphics/sprites.h"
#include "pixel/bitmap.h"
#include "../runtime/support/libcall.h"

namespace {

using vktest::Arg;
using Path = std::vector<std::pair<int32_t, int32_t>>;

int OpenLibraries(vkState* L) {
  if (int rc = OpenBrushLibrary(L)) return rc;
  if (int rc = OpenSpriteLibrary(L)) return rc;
  return OpenMoveObjectLibrary(L);
}

class Moves : public vktest::LibraryTest {
 protected:
  static constexpr int32_t kW = 64, kH = 24;
  static constexpr uint32_t kGround = 0x203040, kRed = 0xE03020;

  void SetUp() override {
    OpenLibrary(OpenLibraries);
    back.reset(AllocArgbBitMap(kW, kH));
    screen.reset(AllocArgbBitMap(kW, kH));
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++) {
        WriteBitMapPixel(back.get(), x, y, kGround);
        WriteBitMapPixel(screen.get(), x, y, kGround);
      }
    picture.width = picture.scaledWidth = kW;
    picture.height = picture.scaledHeight = kH;
    picture.bitmap = back.get();
    display.bgpic = &picture;
    display.width = kW, display.height = kH;
    display.backBuffer = back.get();
    display.screenBuffer = screen.get();
    vkGraphicsState& gs = GraphicsState(L);
    gs.DisplayList.emplace_back(&display);  // lent: released in TearDown
    gs.CurrentDisplay = &display;
    gs.CurrentBGPic = &picture;
  }
  void TearDown() override {
    vkGraphicsState& gs = GraphicsState(L);
    FreeAllAsyncDraws(gs);
    FreeAllSprites(L);
    FreeAllBrushes(L);
    for (vkDisplayPtr& d : gs.DisplayList) (void)d.release();
    gs.DisplayList.clear();
    gs.CurrentDisplay = nullptr;
    gs.CurrentBGPic = nullptr;
    vktest::LibraryTest::TearDown();
  }

  // The places an effect's move passes through, from start to end.
  Path Walk(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t speed, int32_t fx, int32_t w = 8,
            int32_t h = 8) {
    auto* m = new vkMoveObject;
    m->L = L, m->type = vkObjectType::NOOBJECT, m->effectDriven = true;
    m->x = x1, m->y = y1, m->x2 = x2, m->y2 = y2, m->xStep = speed, m->fx = fx;
    m->width = w, m->height = h;
    Path path;
    GraphicsState(L).CurrentDisplay = nullptr;  // drawn nowhere
    EXPECT_EQ(RunMove(m), 0);
    for (int32_t finished = 0, guard = 0; !finished && guard < 1000; guard++) {
      EXPECT_EQ(MoveStep(m, &finished), 0);
      path.emplace_back(m->x, m->y);
    }
    GraphicsState(L).CurrentDisplay = &display;
    MoveAsyncFree(m);
    delete m;
    return path;
  }

  vkBrush* brush(int32_t number) {
    vkBrush* b = nullptr;
    FindBrush(GraphicsState(L), vkObjectId{number, nullptr}, &b, kBrushFindOrphaned);
    return b;
  }
  uint32_t Pixel(int32_t x, int32_t y) { return ReadBitMapPixel(back.get(), x, y) & 0xFFFFFF; }

  vkDisplay display;
  vkBGPic picture;
  vkBitMapPtr back, screen;
};

TEST_F(Moves, StraightAndDiagonalPaths) {
  EXPECT_EQ(Walk(0, 0, 35, 0, 10, kMoveStraight), (Path{{10, 0}, {20, 0}, {30, 0}, {35, 0}}));
  EXPECT_EQ(Walk(0, 30, 0, 5, 10, kMoveStraight), (Path{{0, 20}, {0, 10}, {0, 5}}));
  // Wider than tall: x leads by the speed, 7 pixels of y spread over 3 steps,
  // the odd pixel on the first.
  EXPECT_EQ(Walk(0, 0, 30, 7, 10, kMoveStraight, 8, 4), (Path{{10, 3}, {20, 5}, {30, 7}}));
  // Taller than wide: y leads.
  EXPECT_EQ(Walk(0, 0, 7, 30, 10, kMoveStraight, 4, 8), (Path{{3, 10}, {5, 20}, {7, 30}}));
  // North-west.
  EXPECT_EQ(Walk(20, 20, 0, 0, 10, kMoveStraight), (Path{{10, 10}, {0, 0}}));
  // Smooth out slows down near the end and still arrives.
  const Path smooth = Walk(0, 0, 100, 0, 10, kMoveSmoothOut);
  EXPECT_GT(smooth.size(), 10u);
  EXPECT_EQ(smooth.back(), std::make_pair(100, 0));
}

TEST_F(Moves, BounceAndDampedSwingAroundTheEnd) {
  const Path bounce = Walk(0, 0, 20, 0, 4, kMoveBounce);
  ASSERT_FALSE(bounce.empty());
  EXPECT_EQ(bounce.back(), std::make_pair(20, 0));
  int32_t most = 0, least = 1000;
  for (const auto& [x, y] : bounce) most = std::max(most, x), least = std::min(least, x);
  EXPECT_GE(most, 20 + 16 * 4);          // overshoots by 16 units
  EXPECT_LE(most, 20 + 16 * 4 + 4);
  EXPECT_LE(least, 20);                  // and swings back before the end
  const Path damped = Walk(0, 0, 40, 0, 8, kMoveDamped);
  ASSERT_FALSE(damped.empty());
  EXPECT_EQ(damped.back(), std::make_pair(40, 0));
  int32_t dampedMost = 0;
  for (const auto& [x, y] : damped) dampedMost = std::max(dampedMost, x);
  EXPECT_GE(dampedMost, 40 + 8 * 8);     // overshoots by 8 units
}

TEST_F(Moves, WavesAndCurvesOnHorizontalMoves) {
  const Path sine = Walk(0, 100, 200, 100, 10, kMoveSine);
  ASSERT_GE(sine.size(), 2u);
  EXPECT_EQ(sine.back(), std::make_pair(200, 100));  // snapped to the end line
  int32_t high = 100, low = 100;
  for (const auto& [x, y] : sine) high = std::max(high, y), low = std::min(low, y);
  EXPECT_LE(high, 150);
  EXPECT_GE(low, 50);
  EXPECT_NE(high, low);
  const Path lower = Walk(0, 0, 100, 0, 5, kMoveLowerCurve);
  const Path upper = Walk(0, 0, 100, 0, 5, kMoveUpperCurve);
  ASSERT_EQ(lower.size(), upper.size());
  EXPECT_EQ(lower.back(), std::make_pair(100, 0));
  const auto& [mx, my] = lower[lower.size() / 2];
  EXPECT_GT(my, 140);  // sags about 150 pixels at mid-way
  EXPECT_EQ(upper[upper.size() / 2].second, -my);
  (void)mx;
}

TEST_F(Moves, CommandsCheckTheirArguments) {
  RunCases({
      {"CreateBrush", {1, 4, 4, kRed}, ""},
      {"MoveBrush", {1, 0, 0, 10}, "error 1014"},
      {"MoveBrush", {1, 0, 0, 10, 0, 1, 0, 9}, "error 1193"},
      {"MoveBrush", {1, 0, 0, 10, 0, 0}, "error 1055"},     // speed 0
      {"MoveBrush", {1, 0, 0, 10, 0, -5}, "error 1055"},
      {"MoveBrush", {9, 0, 0, 10, 0}, "error 1174"},
      {"MoveSprite", {9, 0, 0, 10, 0}, "error 1219"},
      {"MoveLayer", {1, 0, 0, 10, 0}, "error 1078"},
      {"MoveBrush", {1, 5, 5, 5, 5}, ""},                    // start = end: nothing drawn
  });
  EXPECT_EQ(Pixel(5, 5), kGround);
  EXPECT_EQ(brush(1)->lockCount, 0);
}

TEST_F(Moves, ABrushArrivesWithTheBackgroundRestoredBehindIt) {
  ASSERT_EQ(Call("CreateBrush", {1, 4, 4, kRed}), "");
  ASSERT_EQ(Call("MoveBrush", {1, 0, 2, 40, 2, 7}), "");
  for (int32_t x = 0; x < kW; x++)
    EXPECT_EQ(Pixel(x, 3), x >= 40 && x < 44 ? kRed : kGround) << x;
  EXPECT_EQ(brush(1)->lockCount, 0);
  vmPushString(L, "async");
  vmNewTable(L);
  vmPushString(L, "async");
  vmPushNumber(L, 1);
  vmSetTable(L, -3);
  vmPushString(L, "speed");
  vmPushNumber(L, 10);
  vmSetTable(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  // In the background: the handle of its drawing object, which the event
  // loop steps; here the test steps it.
  ASSERT_EQ(Call("MoveBrush", {1, 40, 2, 0, 10, Arg::global("async")}), "handle");
  EXPECT_EQ(brush(1)->lockCount, 1);
  vkGraphicsState& gs = GraphicsState(L);
  ASSERT_EQ(gs.asyncDraws.objects.size(), 1u);
  vkAsyncDraw* draw = gs.asyncDraws.objects.front().get();
  for (int32_t finished = 0, guard = 0; !finished && guard < 100; guard++)
    ASSERT_EQ(draw->drawFrame(draw->userData, &finished), 0);
  FreeAllAsyncDraws(gs);
  EXPECT_EQ(brush(1)->lockCount, 0);
  EXPECT_EQ(Pixel(1, 11), kRed);
  // Where the first move left the brush is part of the picture the second
  // one started from, so it stays.
  EXPECT_EQ(Pixel(41, 3), kRed);
  EXPECT_EQ(Pixel(20, 6), kGround);
}

TEST_F(Moves, SpritesArePlacedAlongTheWay) {
  RunCases({
      {"CreateBrush", {1, 4, 4, kRed}, ""},
      {"CreateSprite", {2, 3, 1}, ""},
      {"MoveSprite", {2, 0, 0, 30, 0, 10}, ""},
  });
  ASSERT_EQ(picture.sprites.size(), 1u);
  EXPECT_EQ(picture.sprites.front().x, 30);
  display.layersOn = 1;
  RunCases({{"MoveSprite", {2, 30, 0, 0, 0}, "error 1162"}});
  display.layersOn = 0;
}

}  // namespace
