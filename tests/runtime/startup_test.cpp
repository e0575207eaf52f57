// The start-up and shutdown run in-process: after an error in the preloads
// the shutdown still runs every free-all step, in its order, before the
// report; the exit status says whether an error was reported. A windowed
// start leaves the display's window until the first command that is not a
// math, string, dos or memory-block command, or until the run has gone on
// for a quarter of a second.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errorinfo.h"
#include "platform/linux/platform_state.h"
#include "player/startup.h"

namespace {

std::vector<std::string> gSteps;
void Observe(const char* step) { gSteps.push_back(step); }

// An applet packed by the tools (tests/player/data/badpreload.manifest): one
// music preload, whose command does not exist yet, so the preloads fail.
const char* const kBadPreload = VK_BINARY_DIR "/tests/player/badpreload.vka";

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::filesystem::current_path();
    gSteps.clear();
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
  }
  void TearDown() override {
    ErrorInfo().stopFlag = 0;
    std::filesystem::current_path(cwd_);
  }
  std::filesystem::path cwd_;
};

TEST_F(StartUp, AnErrorInThePreloadsStillFreesEverythingInOrder) {
  const char* argv[] = {"vellumark", kBadPreload, "-QUIET"};
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunPlayer(3, argv, Observe), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot read file tune.mod !\n");
  const std::vector<std::string> order = {
      "vkosRunStateHook",   "FreeDrawBuffers",   "StopAllAudio",       "CloseAllDisplays",
      "FreeGraphicsObjects", "FreeDrawTables",   "FreeAllBrushes",     "FreeAllBGPics",
      "FreeAllSprites",     "FreeAllStopwatches", "FreeAllTextObjectsAndFonts", "FreeAllAnims",
      "CloseLayersLibrary", "CloseAllFileHandles", "FreeAllMemBlocks",  "FreeAllEventObjects",
      "FreeAllSounds"};
  EXPECT_EQ(gSteps, order);
}

TEST_F(StartUp, NothingToRunEndsSilentlyAfterTheSameShutdown) {
  const char* argv[] = {"vellumark"};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(RunPlayer(1, argv, Observe), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(gSteps.size(), 17u);
}

// The windows open when the shutdown begins, and the first one's title.
struct WindowsAtEnd {
  size_t count = 0;
  std::string title;
};
WindowsAtEnd gWindowsAtEnd;
void ObserveWindows(const char* step) {
  if (std::string(step) != "CloseAllDisplays") return;
  gWindowsAtEnd = {gPlatform.windows.size(), gPlatform.windows.empty() ? "" : gPlatform.windows[0]->title};
}

TEST_F(StartUp, TheWindowOpensBeforeTheFirstCommandThatNeedsTheDisplay) {
  struct Case {
    const char* applet;
    size_t windows;
    const char* title;
  };
  const Case cases[] = {
      {"computeonly.vka", 0, ""},     // Abs and StrLen only
      {"firstdisplay.vka", 1, "Late"},  // Abs, then SetTitle on the window it opened
      {"computelong.vka", 1, "Compute"},  // a dos command for 0.4 s: the pump opens it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.applet);
    const std::string applet = std::string(VK_BINARY_DIR "/tests/player/") + c.applet;
    const char* argv[] = {"vellumark", applet.c_str(), "-QUIET"};
    gWindowsAtEnd = {99, "?"};
    EXPECT_EQ(RunPlayer(3, argv, ObserveWindows), 0);
    EXPECT_EQ(gWindowsAtEnd.count, c.windows);
    EXPECT_EQ(gWindowsAtEnd.title, c.title);
  }
}

}  // namespace
