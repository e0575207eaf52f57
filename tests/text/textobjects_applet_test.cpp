// The real player, headless, runs an applet that makes text objects, shows
// them, copies, scales, rotates and frees them and turns one into a brush;
// its window (dumped as a PPM) must equal, pixel for pixel, the window of a
// second applet that draws the same texts with TextOut alone, and what it
// prints must be the rotated object's width and the objects left.
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/common/playerrun.h"
#include "tests/common/scratchdir.h"

namespace {

struct PlayerRun {
  int status = -1;
  std::string out, err, window;
};

// Runs the player on the applet [name] (built beside this test) in a
// scratch folder with its window dumped when it ends.
PlayerRun Play(const std::string& name) {
  ScratchDir dir;
  const std::string applet = dir / name;
  std::filesystem::copy_file(VK_BINARY_DIR "/tests/text/" + name, applet);
  const std::string player = VK_BINARY_DIR "/vellumark", quiet = "-QUIET";
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", (dir / "window.ppm").c_str(), 1);
  const vktest::ProgramRun ran = vktest::RunProgram({player, applet, quiet}, dir.path());
  unsetenv("VK_WINDOW_DUMP");
  PlayerRun run;
  if (!ran.started || !WIFEXITED(ran.status)) return run;
  run.status = WEXITSTATUS(ran.status);
  run.out = ran.out;
  run.err = ran.err;
  run.window = ReadWholeFile(dir / "window.ppm");
  return run;
}

TEST(TextObjectApplet, ShowsWhatTextOutDrawsOfTheSameTexts) {
  const PlayerRun objects = Play("textobjects.vka");
  ASSERT_EQ(objects.status, 0) << objects.out << objects.err;
  const PlayerRun reference = Play("textobjects_ref.vka");
  ASSERT_EQ(reference.status, 0) << reference.out << reference.err;
  const std::string header = "P6\n200 80\n255\n";
  ASSERT_EQ(objects.window.size(), header.size() + 200 * 80 * 3);
  ASSERT_EQ(objects.window.compare(0, header.size(), header), 0);
  // Something was drawn: not every pixel is the background 0x102030.
  size_t inked = 0;
  for (size_t i = header.size(); i + 2 < objects.window.size(); i += 3)
    inked += objects.window.compare(i, 3, "\x10\x20\x30") != 0;
  EXPECT_GT(inked, 400u);
  ASSERT_EQ(objects.window.size(), reference.window.size());
  size_t differ = 0;
  for (size_t i = header.size(); i < objects.window.size(); i++) differ += objects.window[i] != reference.window[i];
  EXPECT_EQ(differ, 0u);
  // "Up" rotated a quarter turn is as wide as the built-in font's line; 3 and 4 are left.
  EXPECT_NE(objects.out.find("9 2"), std::string::npos) << objects.out;
}

}  // namespace
