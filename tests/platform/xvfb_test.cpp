// Windows on a real X server: the test starts Xvfb on a free display number,
// opens, draws into, moves, resizes, minimises and restores a window through
// the platform, and reads back what the screen shows with ImageMagick's
// import; it shows colour pointers and moves the real pointer, and another
// program takes the clipboard. Without Xvfb (tools/install-deps.sh installs
// it) the group is skipped.
#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/eventqueue.h"
#include "platform/linux/cursors.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "platform/vkos.h"
#include "platform/vkos_clipboard.h"
#include "platform/vkos_pointer.h"
#include "platform/vkos_requesters.h"
#include "support/offscreen.h"
#include "support/otherclient.h"
#include "support/xserver.h"

extern char** environ;

// Under the leak checker: the D-Bus library that SDL's X11 driver starts
// keeps one buffer of its own to the end of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;
constexpr int kScreenWidth = 320, kScreenHeight = 240;

class Xvfb : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnPath("Xvfb") || !OnPath("import")) GTEST_SKIP() << "Xvfb or ImageMagick's import is not installed";
    ASSERT_TRUE(server_.Start(kScreenWidth, kScreenHeight));
    setenv("DISPLAY", server_.Display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    ASSERT_EQ(vkosInit(), 0);
    ASSERT_TRUE(WindowSystem()) << SDL_GetError();
    ASSERT_TRUE(vkosHasWindowSystem());
    RemoveEvents(-1, true);
  }
  void TearDown() override {
    if (os_ != nullptr) vkosFreeDisplay(os_);
    vkosExit();
  }
  // Lets the server and the pump catch up: maps, moves, exposes.
  static void Settle() {
    for (int i = 0; i < 20; i++) {
      gPlatform.lastPump = 0;
      vkosPumpEvents(nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  // What the screen shows, as ImageMagick reads it from the server.
  std::vector<uint32_t> Screen() { return server_.Screen(); }
  static uint32_t At(const std::vector<uint32_t>& screen, int x, int y) {
    return screen[size_t(y) * kScreenWidth + size_t(x)];
  }
  // Makes os_: a borderless window of width x height at (x, y), drawing
  // allowed, its own address naming it in events.
  void MakeRecord(int32_t x, int32_t y, int32_t width, int32_t height) {
    os_ = NewTestRecord(width, height);
    ASSERT_NE(os_, nullptr);
    os_->x = x;
    os_->y = y;
  }
  XServer server_;
  vkOSDisplay* os_ = nullptr;
};

TEST_F(Xvfb, AWindowShowsWhatIsDrawnWhereItIsPlaced) {
  MakeRecord(40, 30, 64, 48);
  vkosGetWindowBorders(os_);
  ASSERT_EQ(vkosOpenWindow(os_, 1, nullptr, nullptr), 0);
  vkosFillRectOnWindow(os_, 0, 0, 64, 48, kRed);
  vkosFillRectOnWindow(os_, 10, 5, 4, 3, kBlue);
  const std::vector<uint32_t> pattern = {kGreen, kBlue, kBlue, kGreen};
  vkosBlitToWindow(vkOSPixels{pattern.data(), 2, 2, 2}, 0, 0, os_, 60, 44, 2, 2, 0, 0, 0);
  vkosFlushDisplay(os_);
  Settle();
  std::vector<uint32_t> screen = Screen();
  ASSERT_EQ(screen.size(), size_t(kScreenWidth * kScreenHeight));
  EXPECT_EQ(At(screen, 40, 30), kRed);
  EXPECT_EQ(At(screen, 100, 74), kGreen);  // the blit
  EXPECT_EQ(At(screen, 101, 74), kBlue);
  EXPECT_EQ(At(screen, 100, 75), kBlue);
  EXPECT_EQ(At(screen, 101, 75), kGreen);
  EXPECT_EQ(At(screen, 103, 77), kRed);
  EXPECT_EQ(At(screen, 50, 35), kBlue);
  EXPECT_EQ(At(screen, 53, 37), kBlue);
  EXPECT_EQ(At(screen, 54, 37), kRed);
  EXPECT_NE(At(screen, 39, 30), kRed);  // outside the window
  EXPECT_NE(At(screen, 40, 78), kRed);

  // Moved, the window takes its pixels along.
  os_->x = 200;
  os_->y = 150;
  vkosMoveWindow(os_);
  Settle();
  screen = Screen();
  int x = 0, y = 0;
  SDL_GetWindowPosition(os_->window->window, &x, &y);
  EXPECT_EQ(x, 200);
  EXPECT_EQ(y, 150);
  EXPECT_EQ(At(screen, 200, 150), kRed);
  EXPECT_EQ(At(screen, 210, 155), kBlue);
  EXPECT_NE(At(screen, 40, 30), kRed);
  // The program's own move is not the user's: no move event.
  vkEventInfo info;
  for (size_t i = 0; GetEvent(i, info, false) != 0; i++) EXPECT_NE(info.type, uint32_t(EVENT_MOVEWINDOW));

  // Resized: a new size starts black and takes new drawing.
  os_->x = 10;
  os_->y = 10;
  os_->width = 100;
  os_->height = 20;
  vkosSizeWindow(os_);
  vkosFillRectOnWindow(os_, 90, 0, 10, 20, kGreen);
  vkosFlushDisplay(os_);
  Settle();
  screen = Screen();
  EXPECT_EQ(At(screen, 109, 29), kGreen);
  EXPECT_EQ(At(screen, 100, 10), kGreen);
  EXPECT_EQ(At(screen, 99, 10), 0u);
  EXPECT_NE(At(screen, 109, 30), kGreen);

  // Minimised and restored (without a window manager the window may simply
  // stay), it shows the same pixels afterwards.
  EXPECT_EQ(vkosShowHideWindow(os_, 1), 0);
  Settle();
  EXPECT_EQ(vkosShowHideWindow(os_, 0), 0);
  Settle();
  screen = Screen();
  EXPECT_EQ(At(screen, 100, 10), kGreen);

  // Closed, it is gone from the screen.
  vkosCloseWindow(os_);
  Settle();
  screen = Screen();
  EXPECT_NE(At(screen, 100, 10), kGreen);
}

}  // namespace

namespace {

// A window shaped by a mask shows only where the mask is set; the screen
// behind it shows elsewhere.
TEST_F(Xvfb, AShapedWindowShowsOnlyWhereItsMaskIsSet) {
  MakeRecord(20, 20, 16, 8);
  // Rows of 3 bytes: the left 8 pixels set, the right 8 clear.
  std::vector<uint8_t> mask(3 * 8, 0);
  for (int y = 0; y < 8; y++) mask[size_t(y * 3)] = 0xFF;
  const vkOSPlaneView shape{mask.data(), 16, 8, 3};
  ASSERT_EQ(vkosOpenWindow(os_, 1, &shape, nullptr), 0);
  if (os_->shaped == 0) GTEST_SKIP() << "the X server has no window shapes";
  vkosFillRectOnWindow(os_, 0, 0, 16, 8, kRed);
  vkosFlushDisplay(os_);
  Settle();
  const std::vector<uint32_t> screen = Screen();
  ASSERT_EQ(screen.size(), size_t(kScreenWidth * kScreenHeight));
  EXPECT_EQ(At(screen, 20, 20), kRed);
  EXPECT_EQ(At(screen, 27, 27), kRed);
  EXPECT_NE(At(screen, 28, 20), kRed);
  EXPECT_NE(At(screen, 35, 27), kRed);
}

}  // namespace

namespace {

size_t ClipboardChanges() {
  size_t n = 0;
  vkEventInfo info;
  for (size_t i = 0; GetEvent(i, info, false) != 0; i++) n += info.type == EVENT_CLIPBOARDCHANGE ? 1 : 0;
  return n;
}

TEST_F(Xvfb, PointersShowAndMoveAndAnotherProgramsCopyIsHeard) {
  MakeRecord(30, 40, 64, 48);
  ASSERT_EQ(vkosOpenWindow(os_, 1, nullptr, nullptr), 0);
  Settle();
  os_->focus = 1;  // without a window manager the focus may never come

  // A colour pointer where the server shows them, set at once.
  const std::vector<uint32_t> image(16 * 16, 0xFFFF0000u);
  std::shared_ptr<vkOSPointer> pointer = vkosCreatePointer(image.data(), 8, 8, 16, 16);
  ASSERT_NE(pointer, nullptr);
  ASSERT_NE(pointer->cursor, nullptr);
  vkosSetPointer(os_, pointer, VKOS_POINTER_CUSTOM);
  EXPECT_EQ(SDL_GetCursor(), pointer->cursor);
  vkosHidePointer(os_);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  vkosSetPointer(os_, nullptr, VKOS_POINTER_BUILTIN);
  EXPECT_EQ(SDL_GetCursor(), BuiltinPointer());
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);

  // The real pointer goes into the window.
  vkosMovePointer(os_, 10, 20);
  Settle();
  int x = 0, y = 0;
  SDL_GetGlobalMouseState(&x, &y);
  EXPECT_EQ(x, 40);
  EXPECT_EQ(y, 60);
  EXPECT_EQ(os_->input.pointerX, 10);
  EXPECT_EQ(os_->input.pointerY, 20);

  // Our own copy is no change from elsewhere; another program's is.
  os_->watchClipboard = 1;
  RemoveEvents(-1, true);
  ASSERT_EQ(vkosWriteClipboardText("ours"), 0);
  Settle();
  EXPECT_EQ(ClipboardChanges(), 0u);
  OtherXClient other(server_.Display().c_str());
  if (!other.Connected()) GTEST_SKIP() << "no Xlib to play another program";
  ASSERT_TRUE(other.TakeClipboard());
  Settle();
  EXPECT_EQ(ClipboardChanges(), 1u);
  int32_t type = -1;
  EXPECT_EQ(vkosPeekClipboard(&type), 0);
  EXPECT_EQ(type, VKOS_CLIPBOARD_EMPTY);  // it offers nothing
}

}  // namespace
