// The start-up and shutdown run in-process: after an error in the preloads
// the shutdown still runs every free-all step, in its order, before the
// report; the exit status says whether an error was reported.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/errorinfo.h"
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

}  // namespace
