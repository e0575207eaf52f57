// Screen modes and fades. On SDL's offscreen driver there is no real screen:
// a full screen is the requested size shown on the desktop, and fades are
// refused (token 0, nothing changes). On an Xvfb server the screen has a
// mode list (its one mode): a switch takes the closest mode or fails with
// 1004, holds it with a full-screen window that the covering display window
// joins, and a restore gives the desktop back; fades dim the program's
// windows, wait or run from the pump, lapse when never faded back, and end
// at once when no window is left to bring back.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "base/errorcodes.h"
#include "platform/eventqueue.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "platform/vkos.h"
#include "support/offscreen.h"
#include "support/xserver.h"

namespace {

constexpr uint32_t kRed = 0xFF0000;

// Pumps until [done] holds or five seconds passed; returns [done]'s answer.
template <typename Done>
bool PumpUntil(Done done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done() && std::chrono::steady_clock::now() < giveUp) {
    gPlatform.lastPump = 0;
    vkosPumpEvents(nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

// ---- Without a real screen ----------------------------------------------------------------

class HeadlessScreen : public OffscreenTest {
 protected:
  vkOSDisplay* Open(int32_t x, int32_t y, int32_t width, int32_t height) {
    vkOSDisplay* os = Record(width, height);
    os->x = x;
    os->y = y;
    EXPECT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
    return os;
  }
};

TEST_F(HeadlessScreen, FadesAreRefusedAndChangeNothing) {
  vkOSDisplay* os = Open(0, 0, 32, 32);
  int32_t token = -7;
  vkosFadeOut(&token, 1);
  EXPECT_EQ(token, 0);
  vkosFadeOut(&token, 0);
  EXPECT_EQ(token, 0);
  EXPECT_EQ(gPlatform.fade.held, 0);
  EXPECT_EQ(gPlatform.fade.level, 1.0f);
  vkosFadeIn(0, 1);
  vkosFadeIn(0, 0);
  vkosFadeIn(1, 1);  // never handed out
  vkosFadeOut(nullptr, 1);
  EXPECT_EQ(gPlatform.fade.level, 1.0f);
  EXPECT_EQ(gPlatform.fade.duration, 0);
  ASSERT_TRUE(os->window);
  vkosFillRectOnWindow(os, 0, 0, 32, 32, kRed);
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(vkosReadWindow(os, &pixels));
  EXPECT_EQ(pixels[0], kRed);
}

TEST_F(HeadlessScreen, AnyModeSizeIsShownOnTheDesktopAndReportedUntilRestored) {
  const int32_t desktopWidth = vkosGetAttr(nullptr, 14), desktopHeight = vkosGetAttr(nullptr, 15);
  ASSERT_GT(desktopWidth, 0);
  struct Case {
    int32_t width, height, depth, result;
  };
  const Case cases[] = {
      {64, 32, 32, 0},
      {1, 1, 8, 0},
      {desktopWidth * 2, desktopHeight * 2, 16, 0},  // no screen to lack the mode
      {0, 10, 32, kErrOpenScreen},
      {10, 0, 32, kErrOpenScreen},
      {-5, 10, 32, kErrOpenScreen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.depth);
    ASSERT_EQ(vkosSwitchScreenMode(c.width, c.height, c.depth), c.result);
    EXPECT_FALSE(gPlatform.screen.switched);
    EXPECT_FALSE(gPlatform.screen.black);
    if (c.result == 0) {
      EXPECT_EQ(vkosIsFullScreen(), 1);
      EXPECT_EQ(vkosGetAttr(nullptr, 14), c.width);
      EXPECT_EQ(vkosGetAttr(nullptr, 15), c.height);
    }
    vkosRestoreScreenMode();
    EXPECT_EQ(vkosIsFullScreen(), 0);
    EXPECT_EQ(vkosGetAttr(nullptr, 14), desktopWidth);
    EXPECT_EQ(vkosGetAttr(nullptr, 15), desktopHeight);
  }
  // A restore with no mode in force changes nothing.
  vkosRestoreScreenMode();
  EXPECT_EQ(vkosGetAttr(nullptr, 14), desktopWidth);

  // A window covering the mode joins the full screen over the desktop.
  ASSERT_EQ(vkosSwitchScreenMode(80, 40, 32), 0);
  vkOSDisplay* os = Open(0, 0, 80, 40);
  ASSERT_TRUE(os->window->fullScreen);
  EXPECT_EQ(SDL_GetWindowFlags(os->window->window) & SDL_WINDOW_FULLSCREEN_DESKTOP, Uint32{SDL_WINDOW_FULLSCREEN_DESKTOP});
  vkosCloseWindow(os);
  vkosRestoreScreenMode();

  // Without a started platform there is no screen to switch.
  vkosExit();
  EXPECT_EQ(vkosSwitchScreenMode(64, 32, 32), kErrOpenScreen);
  EXPECT_EQ(vkosIsFullScreen(), 0);
}

TEST_F(HeadlessScreen, PreparingTheModeDecidesWhetherWindowsKeepOffThePanels) {
  struct Case {
    bool windowMode, backfill, hideTitleBar;
    bool usableArea, menuBarUsable;
  };
  const Case cases[] = {
      {true, false, false, true, false},  {true, false, true, true, false},  {true, true, false, false, false},
      {true, true, true, false, true},    {false, false, false, false, true}, {false, true, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.windowMode << c.backfill << c.hideTitleBar);
    gPlatform.screen.usableArea = gPlatform.screen.menuBarUsable = false;
    vkosPrepareScreenMode(c.windowMode, c.backfill, c.hideTitleBar);
    EXPECT_EQ(gPlatform.screen.usableArea, c.usableArea);
    EXPECT_EQ(gPlatform.screen.menuBarUsable, c.menuBarUsable);
  }
  // Either way the area lies on the screen; a full screen's is its mode's.
  int32_t area[4];
  vkosGetUsableScreenArea(area);
  EXPECT_EQ(area[2], vkosGetAttr(nullptr, 14));
  EXPECT_EQ(area[3], vkosGetAttr(nullptr, 15));
  ASSERT_EQ(vkosSwitchScreenMode(120, 90, 32), 0);
  vkosGetUsableScreenArea(area);
  EXPECT_EQ(area[0], 0);
  EXPECT_EQ(area[1], 0);
  EXPECT_EQ(area[2], 120);
  EXPECT_EQ(area[3], 90);
  vkosRestoreScreenMode();
}

// ---- On an X server -----------------------------------------------------------------------

constexpr int kScreenWidth = 320, kScreenHeight = 240;

class XScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb") || !OnPath("import")) GTEST_SKIP() << "Xvfb or ImageMagick's import is not installed";
    ASSERT_TRUE(server_.Start(kScreenWidth, kScreenHeight));
    setenv("DISPLAY", server_.Display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ASSERT_EQ(vkosInit(), 0);
    ASSERT_TRUE(WindowSystem()) << SDL_GetError();
    RemoveEvents(-1, true);
  }
  void TearDown() override {
    for (vkOSDisplay* os : made_) vkosFreeDisplay(os);
    vkosExit();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
  }
  vkOSDisplay* Open(int32_t x, int32_t y, int32_t width, int32_t height) {
    made_.push_back(NewTestRecord(width, height));
    vkOSDisplay* os = made_.back();
    os->x = x;
    os->y = y;
    EXPECT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
    return os;
  }
  static float Brightness(const vkOSDisplay* os) { return SDL_GetWindowBrightness(os->window->window); }
  static void Settle() {
    for (int i = 0; i < 20; i++) {
      gPlatform.lastPump = 0;
      vkosPumpEvents(nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  XServer server_;
  std::vector<vkOSDisplay*> made_;
};

TEST_F(XScreen, ASwitchTakesTheClosestModeOrFailsAndRestoreGivesTheDesktopBack) {
  ASSERT_EQ(vkosGetAttr(nullptr, 14), kScreenWidth);
  // Larger than any mode of the screen: nothing switched.
  EXPECT_EQ(vkosSwitchScreenMode(kScreenWidth + 1, kScreenHeight, 32), kErrOpenScreen);
  EXPECT_EQ(vkosIsFullScreen(), 0);
  EXPECT_FALSE(gPlatform.screen.black);

  // Smaller: the screen's closest mode, whose size the screen then reports.
  ASSERT_EQ(vkosSwitchScreenMode(200, 100, 32), 0);
  EXPECT_TRUE(gPlatform.screen.switched);
  ASSERT_TRUE(gPlatform.screen.black);
  EXPECT_EQ(vkosGetAttr(nullptr, 14), kScreenWidth);
  EXPECT_EQ(vkosGetAttr(nullptr, 15), kScreenHeight);
  EXPECT_EQ(vkosGetAttr(nullptr, 5), 32);
  SDL_Window* black = gPlatform.screen.black->window;
  EXPECT_EQ(SDL_GetWindowFlags(black) & SDL_WINDOW_FULLSCREEN_DESKTOP, Uint32{SDL_WINDOW_FULLSCREEN});

  // The window that covers the mode becomes a full-screen window of it and
  // shows what is drawn into it.
  vkOSDisplay* os = Open(0, 0, kScreenWidth, kScreenHeight);
  ASSERT_TRUE(os->window->fullScreen);
  EXPECT_EQ(SDL_GetWindowFlags(os->window->window) & SDL_WINDOW_FULLSCREEN_DESKTOP, Uint32{SDL_WINDOW_FULLSCREEN});
  EXPECT_EQ(os->window->offsetX, 0);
  EXPECT_EQ(os->window->offsetY, 0);
  vkosFillRectOnWindow(os, 0, 0, kScreenWidth, kScreenHeight, kRed);
  vkosFlushDisplay(os);
  Settle();
  const std::vector<uint32_t> screen = server_.Screen();
  ASSERT_EQ(screen.size(), size_t(kScreenWidth * kScreenHeight));
  EXPECT_EQ(screen[0], kRed);
  EXPECT_EQ(screen.back(), kRed);

  // A second switch that finds no mode leaves the first in force.
  EXPECT_EQ(vkosSwitchScreenMode(2 * kScreenWidth, 2 * kScreenHeight, 32), kErrOpenScreen);
  EXPECT_EQ(vkosIsFullScreen(), 1);
  EXPECT_TRUE(gPlatform.screen.black);

  vkosCloseWindow(os);
  vkosRestoreScreenMode();
  EXPECT_EQ(vkosIsFullScreen(), 0);
  EXPECT_FALSE(gPlatform.screen.switched);
  EXPECT_FALSE(gPlatform.screen.black);
  SDL_DisplayMode now;
  ASSERT_EQ(SDL_GetCurrentDisplayMode(0, &now), 0);
  EXPECT_EQ(now.w, kScreenWidth);
  EXPECT_EQ(now.h, kScreenHeight);
  EXPECT_EQ(vkosGetAttr(nullptr, 14), kScreenWidth);

}

TEST_F(XScreen, AFadeDimsTheWindowsWhileTheReservationIsHeld) {
  // Nothing of ours on the screen: nothing to fade, refused.
  int32_t token = -1;
  vkosFadeOut(&token, 1);
  EXPECT_EQ(token, 0);

  vkOSDisplay* os = Open(10, 10, 40, 30);
  Settle();
  vkosFadeOut(&token, 1);
  ASSERT_NE(token, 0);
  EXPECT_EQ(gPlatform.fade.level, 0.0f);
  EXPECT_EQ(Brightness(os), 0.0f);
  // One reservation at a time.
  int32_t second = -1;
  vkosFadeOut(&second, 1);
  EXPECT_EQ(second, 0);
  vkosFadeIn(second, 1);
  EXPECT_EQ(Brightness(os), 0.0f);
  // A window opened meanwhile comes up as dark as the rest.
  vkOSDisplay* late = Open(60, 10, 20, 20);
  EXPECT_EQ(Brightness(late), 0.0f);
  vkosFadeIn(token, 1);
  EXPECT_EQ(gPlatform.fade.held, 0);
  EXPECT_EQ(Brightness(os), 1.0f);
  EXPECT_EQ(Brightness(late), 1.0f);
  vkosFadeIn(token, 1);  // given up already: nothing
  EXPECT_EQ(Brightness(os), 1.0f);

  // Without waiting the pump carries the fades through.
  vkosFadeOut(&token, 0);
  ASSERT_NE(token, 0);
  EXPECT_TRUE(PumpUntil([&] { return Brightness(os) == 0.0f; }));
  vkosFadeIn(token, 0);
  EXPECT_EQ(gPlatform.fade.held, token);  // held until the fade is done
  EXPECT_TRUE(PumpUntil([&] { return gPlatform.fade.held == 0; }));
  EXPECT_EQ(Brightness(os), 1.0f);

  // A reservation never faded back lapses and the brightness comes back.
  vkosFadeOut(&token, 1);
  ASSERT_NE(token, 0);
  gPlatform.fade.grantedAt -= 11000000;
  EXPECT_TRUE(PumpUntil([] { return gPlatform.fade.held == 0; }));
  EXPECT_EQ(Brightness(os), 1.0f);
  vkosFadeIn(token, 1);
  EXPECT_EQ(Brightness(os), 1.0f);

  // Every window closed while dark: the fade back is over at once, and the
  // next window comes up at its normal brightness.
  vkosFadeOut(&token, 1);
  ASSERT_NE(token, 0);
  for (vkOSDisplay* made : made_) vkosCloseWindow(made);
  vkosFadeIn(token, 0);
  EXPECT_EQ(gPlatform.fade.held, 0);
  EXPECT_EQ(gPlatform.fade.level, 1.0f);
  vkOSDisplay* next = Open(10, 10, 40, 30);
  EXPECT_EQ(Brightness(next), 1.0f);
}

}  // namespace
