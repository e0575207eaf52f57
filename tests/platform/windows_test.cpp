// Display windows on SDL's offscreen video driver: where a window opens, what
// blits (plain, clipped and scaled), fills, plots and lines leave in it, the
// window-state gate, pacing against a refresh-rate override, full screens
// centred on the desktop, and screen grabs composed from the open windows.
// Pixels are read back from the window's own surface.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "base/errorcodes.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "platform/eventqueue.h"
#include "platform/vkos.h"
#include "support/offscreen.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// A width x height picture whose pixel (x, y) is Pattern(x, y), with a
// non-zero fourth byte that must never show.
struct Picture {
  int32_t width, height;
  std::vector<uint32_t> pixels;
  static uint32_t Pattern(int32_t x, int32_t y) { return 0xAB000000u | uint32_t(x * 16) << 16 | uint32_t(y * 16) << 8 | 0x55; }
  Picture(int32_t w, int32_t h) : width(w), height(h), pixels(size_t(w * h)) {
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) pixels[size_t(y * w + x)] = Pattern(x, y);
  }
  vkOSPixels View() const { return vkOSPixels{pixels.data(), width, height, width}; }
};

class Windows : public OffscreenTest {
 protected:
  // A display record for a window of width x height at (x, y).
  vkOSDisplay* Make(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags = VKOS_WINDOW_BORDERLESS) {
    vkOSDisplay* os = Record(width, height, flags);
    os->x = x;
    os->y = y;
    return os;
  }
  vkOSDisplay* Open(int32_t x, int32_t y, int32_t width, int32_t height) {
    vkOSDisplay* os = Make(x, y, width, height);
    vkosGetWindowBorders(os);
    EXPECT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
    return os;
  }
  static std::vector<uint32_t> Read(const vkOSDisplay* os) {
    std::vector<uint32_t> out;
    EXPECT_TRUE(vkosReadWindow(os, &out));
    return out;
  }
};

TEST_F(Windows, OpensAtItsFramePositionWithItsSizeAndStartsBlack) {
  vkOSDisplay* os = Open(30, 40, 64, 48);
  EXPECT_EQ(os->borderLeft + os->borderTop + os->borderWidth + os->borderHeight, 0);  // borderless
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(os->window->window, &x, &y);
  SDL_GetWindowSize(os->window->window, &w, &h);
  EXPECT_EQ(x, 30);
  EXPECT_EQ(y, 40);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  for (uint32_t p : Read(os)) ASSERT_EQ(p, 0u);

  os->x = 5;
  os->y = 6;
  os->width = 20;
  os->height = 10;
  vkosSizeWindow(os);
  SDL_GetWindowPosition(os->window->window, &x, &y);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 6);
  EXPECT_EQ(Read(os).size(), 200u);
  vkosCloseWindow(os);
  EXPECT_FALSE(os->window);
  EXPECT_EQ(vkosOpenWindow(Make(0, 0, 0, 10), 0, nullptr, nullptr), kErrOpenWindow);
}

// One blit into an 8 x 6 window, and pixels expected afterwards: (x, y) of
// the window and the source pixel it shows, or -1 for black.
struct BlitCase {
  const char* name;
  int32_t sx, sy, dx, dy, width, height, scaledWidth, scaledHeight;
  int32_t marginLeft, marginTop;
  struct Probe {
    int32_t x, y, srcX, srcY;  // srcX -1: black
  } probes[4];
};

const BlitCase kBlitCases[] = {
    {"1:1", 1, 2, 3, 1, 2, 2, 0, 0, 0, 0, {{3, 1, 1, 2}, {4, 2, 2, 3}, {2, 1, -1, 0}, {5, 1, -1, 0}}},
    {"margins added", 0, 0, 0, 0, 1, 1, 0, 0, 2, 3, {{2, 3, 0, 0}, {0, 0, -1, 0}, {3, 3, -1, 0}, {2, 4, -1, 0}}},
    {"cut at the window's edge", 0, 0, 6, 4, 4, 4, 0, 0, 0, 0, {{6, 4, 0, 0}, {7, 5, 1, 1}, {5, 4, -1, 0}, {7, 3, -1, 0}}},
    {"negative destination", 0, 0, -2, -1, 4, 4, 0, 0, 0, 0, {{0, 0, 2, 1}, {1, 2, 3, 3}, {2, 0, -1, 0}, {0, 3, -1, 0}}},
    {"source cut to the picture", 8, 6, 0, 0, 8, 8, 0, 0, 0, 0, {{0, 0, 8, 6}, {1, 1, 9, 7}, {2, 0, -1, 0}, {0, 2, -1, 0}}},
    {"scaled 2x at the margins", 0, 0, 5, 5, 2, 2, 4, 4, 1, 1, {{1, 1, 0, 0}, {2, 2, 0, 0}, {3, 3, 1, 1}, {4, 1, 1, 0}}},
    {"scaled down by half", 0, 0, 0, 0, 8, 6, 4, 3, 0, 0, {{0, 0, 0, 0}, {1, 0, 2, 0}, {3, 2, 6, 4}, {4, 0, -1, 0}}},
    {"one scaled size 0 is unscaled", 0, 0, 1, 1, 1, 1, 4, 0, 0, 0, {{1, 1, 0, 0}, {2, 1, -1, 0}, {0, 0, -1, 0}, {1, 2, -1, 0}}},
};

TEST_F(Windows, BlitsLeaveTheExpectedPixels) {
  const Picture picture(10, 8);
  for (const BlitCase& c : kBlitCases) {
    SCOPED_TRACE(c.name);
    vkOSDisplay* os = Open(0, 0, 8, 6);
    os->marginLeft = c.marginLeft;
    os->marginTop = c.marginTop;
    vkosBlitToWindow(picture.View(), c.sx, c.sy, os, c.dx, c.dy, c.width, c.height, c.scaledWidth, c.scaledHeight, 0);
    const std::vector<uint32_t> shown = Read(os);
    for (const BlitCase::Probe& p : c.probes) {
      const uint32_t expected = p.srcX < 0 ? 0 : Picture::Pattern(p.srcX, p.srcY) & 0xFFFFFF;
      EXPECT_EQ(shown[size_t(p.y * 8 + p.x)], expected) << "at " << p.x << "," << p.y;
    }
    vkosCloseWindow(os);
  }
}

TEST_F(Windows, ScaledBlitMatchesNearestPixelEverywhere) {
  const Picture picture(5, 3);
  vkOSDisplay* os = Open(0, 0, 13, 7);
  vkosBlitToWindow(picture.View(), 0, 0, os, 0, 0, 5, 3, 13, 7, 0);
  const std::vector<uint32_t> shown = Read(os);
  for (int32_t y = 0; y < 7; y++)
    for (int32_t x = 0; x < 13; x++)
      ASSERT_EQ(shown[size_t(y * 13 + x)], Picture::Pattern(x * 5 / 13, y * 3 / 7) & 0xFFFFFF) << x << "," << y;
}

TEST_F(Windows, FillsPlotsAndLinesDrawWithTheMargins) {
  vkOSDisplay* os = Open(0, 0, 8, 8);
  os->marginLeft = 1;
  os->marginTop = 2;
  vkosFillRectOnWindow(os, 0, 0, 2, 2, kRed);     // covers (1..2, 2..3)
  vkosFillRectOnWindow(os, 6, 5, 9, 9, kBlue);    // cut at the window's edge: (7, 7)
  vkosPlotOnWindow(os, 4, 0, kGreen);             // (5, 2)
  vkosPlotOnWindow(os, -5, 0, kGreen);            // outside: nothing
  vkosDrawLineOnWindow(os, 0, 4, 3, 5, kWhite);   // (1,6) (2,6) (3,7) (4,7)
  const std::vector<uint32_t> shown = Read(os);
  auto at = [&](int x, int y) { return shown[size_t(y * 8 + x)]; };
  std::vector<uint32_t> expected(64, 0);
  for (auto [x, y] : {std::pair{1, 2}, {2, 2}, {1, 3}, {2, 3}}) expected[size_t(y * 8 + x)] = kRed;
  expected[7 * 8 + 7] = kBlue;
  expected[2 * 8 + 5] = kGreen;
  for (auto [x, y] : {std::pair{1, 6}, {2, 6}, {3, 7}, {4, 7}}) expected[size_t(y * 8 + x)] = kWhite;
  for (int y = 0; y < 8; y++)
    for (int x = 0; x < 8; x++) EXPECT_EQ(at(x, y), expected[size_t(y * 8 + x)]) << x << "," << y;
}

TEST_F(Windows, ALineAndItsReverseCoverTheSamePixels) {
  struct Line { int32_t x1, y1, x2, y2; };
  for (const Line l : {Line{0, 0, 9, 3}, Line{2, 9, 5, 0}, Line{7, 7, 7, 1}, Line{0, 5, 9, 5}, Line{4, 4, 4, 4}}) {
    vkOSDisplay* a = Open(0, 0, 10, 10);
    vkOSDisplay* b = Open(0, 0, 10, 10);
    vkosDrawLineOnWindow(a, l.x1, l.y1, l.x2, l.y2, kWhite);
    vkosDrawLineOnWindow(b, l.x2, l.y2, l.x1, l.y1, kWhite);
    const std::vector<uint32_t> pa = Read(a), pb = Read(b);
    EXPECT_EQ(pa[size_t(l.y1 * 10 + l.x1)], kWhite);
    EXPECT_EQ(pa[size_t(l.y2 * 10 + l.x2)], kWhite);
    int count = 0;
    for (uint32_t p : pa) count += p != 0;
    EXPECT_EQ(count, std::max(std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1)) + 1);
    EXPECT_EQ(pa, pb) << l.x1 << "," << l.y1 << " to " << l.x2 << "," << l.y2;
    vkosCloseWindow(a);
    vkosCloseWindow(b);
  }
}

TEST_F(Windows, NothingReachesAWindowThatIsNotOpenExceptAnAlwaysBlit) {
  const Picture picture(2, 2);
  vkOSDisplay* os = Open(0, 0, 4, 4);
  os->windowState = 2;  // minimised
  vkosFillRectOnWindow(os, 0, 0, 4, 4, kRed);
  vkosPlotOnWindow(os, 1, 1, kRed);
  vkosDrawLineOnWindow(os, 0, 0, 3, 3, kRed);
  vkosBlitToWindow(picture.View(), 0, 0, os, 0, 0, 2, 2, 0, 0, 0);
  for (uint32_t p : Read(os)) ASSERT_EQ(p, 0u);
  vkosBlitToWindow(picture.View(), 0, 0, os, 0, 0, 2, 2, 0, 0, VKOS_BLIT_ALWAYS);
  EXPECT_EQ(Read(os)[5], Picture::Pattern(1, 1) & 0xFFFFFF);
}

TEST_F(Windows, DrawingIsPresentedAfterSixteenMillisecondsOrAtAWait) {
  vkOSDisplay* os = Open(0, 0, 4, 4);
  vkosPlotOnWindow(os, 0, 0, kRed);
  EXPECT_TRUE(os->window->dirty);
  os->window->dirtySince -= kPresentDelay / 2;
  vkosPresentPending(false);
  EXPECT_TRUE(os->window->dirty);  // not yet
  os->window->dirtySince -= kPresentDelay;
  vkosPresentPending(false);
  EXPECT_FALSE(os->window->dirty);
  vkosPlotOnWindow(os, 1, 0, kRed);
  vkosDelay(nullptr, 0);  // a wait presents whatever is drawn
  EXPECT_FALSE(os->window->dirty);
}

// Pacing: a refresh rate of 50 makes every flush wait 20 ms after the one
// before. Only lower bounds of time are checked.
TEST_F(Windows, FlushesArePacedToTheRefreshRateByDeadlines) {
  gPlatform.refreshOverride = 50;
  vkosSetOption(nullptr, VKOS_OPTION_FRAMERATE, 30);
  vkOSDisplay* os = Open(0, 0, 4, 4);
  EXPECT_EQ(gPlatform.frameRate, 50);  // opening a window resets the pacing rate
  EXPECT_EQ(vkosGetAttr(os, 16), 50);
  vkosFlushDisplay(os);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; i++) vkosFlushDisplay(os);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
}

TEST_F(Windows, NoPacingWithoutAPositiveLimit) {
  gPlatform.refreshOverride = 2;  // paced, each flush would wait 500 ms
  vkOSDisplay* os = Open(0, 0, 4, 4);
  for (int32_t limit : {-5, 0}) {
    SCOPED_TRACE(limit);
    vkosSetOption(nullptr, VKOS_OPTION_FRAMERATE, limit);
    gPlatform.frameRate = limit;  // 0 stands for what a broken limit would leave
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; i++) vkosFlushDisplay(os);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  }
}

TEST_F(Windows, ALimitAboveTheRefreshRatePresentsOncePerRefreshPeriod) {
  gPlatform.refreshOverride = 2;
  vkOSDisplay* os = Open(0, 0, 4, 4);
  vkosSetOption(nullptr, VKOS_OPTION_FRAMERATE, 1000);
  os->window->lastPresent -= 1000000;
  vkosPlotOnWindow(os, 0, 0, kRed);
  vkosFlushDisplay(os);
  EXPECT_FALSE(os->window->dirty);  // a period has passed: presented
  vkosPlotOnWindow(os, 1, 0, kRed);
  vkosFlushDisplay(os);
  EXPECT_TRUE(os->window->dirty);  // within the period: left for later
  os->window->lastPresent -= 500000;
  vkosFlushDisplay(os);
  EXPECT_FALSE(os->window->dirty);
}

TEST_F(Windows, AFullScreenShowsItsModeCentredOnBlackAndReportsItsSize) {
  const int32_t desktopWidth = vkosGetAttr(nullptr, 14), desktopHeight = vkosGetAttr(nullptr, 15);
  ASSERT_GT(desktopWidth, 100);
  ASSERT_EQ(vkosSwitchScreenMode(64, 32, 32), 0);
  ASSERT_EQ(vkosSwitchScreenMode(80, 40, 32), 0);  // a second switch
  EXPECT_EQ(vkosGetAttr(nullptr, 14), 80);
  EXPECT_EQ(vkosGetAttr(nullptr, 15), 40);
  int32_t area[4];
  vkosGetUsableScreenArea(area);
  EXPECT_EQ(area[2], 80);
  EXPECT_EQ(area[3], 40);

  vkOSDisplay* os = Open(0, 0, 80, 40);
  ASSERT_TRUE(os->window->fullScreen);
  vkosFillRectOnWindow(os, 0, 0, 80, 40, kRed);
  SDL_Surface* surface = SDL_GetWindowSurface(os->window->window);
  ASSERT_GE(surface->w, desktopWidth);
  auto pixel = [&](int x, int y) {
    return *reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch + x * 4) & 0xFFFFFF;
  };
  const int left = (desktopWidth - 80) / 2, top = (desktopHeight - 40) / 2;
  EXPECT_EQ(pixel(left, top), kRed);
  EXPECT_EQ(pixel(left + 79, top + 39), kRed);
  EXPECT_EQ(pixel(left - 1, top), 0u);
  EXPECT_EQ(pixel(left, top + 40), 0u);
  std::vector<uint32_t> grab;
  ASSERT_TRUE(vkosGrabScreen(0, 0, 80, 40, &grab));
  for (uint32_t p : grab) ASSERT_EQ(p, kRed);

  vkosCloseWindow(os);
  vkosRestoreScreenMode();  // back to the desktop, not the first mode
  EXPECT_EQ(vkosGetAttr(nullptr, 14), desktopWidth);
  EXPECT_EQ(vkosGetAttr(nullptr, 15), desktopHeight);
}

TEST_F(Windows, AGrabComposesTheOpenWindowsInTheirOrder) {
  vkOSDisplay* below = Open(10, 10, 20, 20);
  vkOSDisplay* above = Open(20, 20, 20, 20);
  vkosFillRectOnWindow(below, 0, 0, 20, 20, kRed);
  vkosFillRectOnWindow(above, 0, 0, 20, 20, kBlue);
  std::vector<uint32_t> grab;
  ASSERT_TRUE(vkosGrabScreen(5, 5, 40, 40, &grab));
  auto at = [&](int x, int y) { return grab[size_t((y - 5) * 40 + (x - 5))]; };
  EXPECT_EQ(at(5, 5), 0u);
  EXPECT_EQ(at(10, 10), kRed);
  EXPECT_EQ(at(29, 19), kRed);
  EXPECT_EQ(at(25, 25), kBlue);  // where they overlap the upper one shows
  EXPECT_EQ(at(39, 39), kBlue);
  EXPECT_EQ(at(44, 44), 0u);
  vkosActivateWindow(below);  // now on top
  ASSERT_TRUE(vkosGrabScreen(5, 5, 40, 40, &grab));
  EXPECT_EQ(at(25, 25), kRed);
  EXPECT_FALSE(vkosGrabScreen(0, 0, 0, 10, &grab));
}

}  // namespace

namespace {

// Events the window system queues for a window reach the input queue
// through the pump, named by the window's display.
TEST_F(Windows, ThePumpHandsAWindowsEventsToTheQueue) {
  vkOSDisplay* os = Open(0, 0, 16, 16);
  vkDisplay* display = reinterpret_cast<vkDisplay*>(os);  // any address names the display
  os->display = display;
  RemoveEvents(-1, true);
  SDL_Event click{};
  click.type = SDL_MOUSEBUTTONDOWN;
  click.button.windowID = os->window->windowId;
  click.button.button = SDL_BUTTON_RIGHT;
  click.button.x = 3;
  click.button.y = 4;
  ASSERT_EQ(SDL_PushEvent(&click), 1);
  vkEventInfo info;
  for (int i = 0; i < 100 && GetEvent(0, info, false) == 0; i++) {
    gPlatform.lastPump = 0;
    vkosPumpEvents(nullptr);
  }
  ASSERT_EQ(GetEvent(0, info, false), 1u);
  EXPECT_EQ(info.type, uint32_t(EVENT_RIGHTMOUSE));
  EXPECT_EQ(info.display, display);
  EXPECT_EQ(info.x, 3);
  EXPECT_EQ(info.y, 4);
  EXPECT_EQ(info.down, 1);
  RemoveEvents(-1, true);
}

}  // namespace
