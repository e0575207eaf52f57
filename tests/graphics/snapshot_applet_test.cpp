// The real player runs the snapshot applet headless on SDL's offscreen
// driver, once on a plain 64 x 48 display and once shown at twice that size.
// ImageMagick reads what it saved: the display snapshot is the picture the
// applet drew at its own size, the window snapshot is exactly what the
// window shows (its dump) and the desktop snapshot shows it on black, the saved brush holds the brush's pixels; the
// pointer moved to the centre reads back the same in both runs, and the
// display names the pointer it was given.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../common/playerrun.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturetools;

constexpr int32_t kW = 64, kH = 48;
constexpr uint32_t kBackground = 0x203040, kBrush = 0xFF8000;

// Runs the player on [applet] in [dir] with the window dumped to
// window.ppm there; what it printed and how it ended.
vktest::ProgramRun RunPlayer(const ScratchDir& dir, const std::string& applet) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", (dir / "window.ppm").c_str(), 1);
  vktest::ProgramRun run =
      vktest::RunProgram({VK_BINARY_DIR "/vellumark", applet, "-DEBUGDEVICE", "stdout"}, dir.path(), 60, dir.path());
  unsetenv("VK_WINDOW_DUMP");
  return run;
}

// The picture the applet draws, at [scale] times its size (nearest pixel).
std::vector<uint32_t> Drawn(int32_t scale) {
  std::vector<uint32_t> p;
  for (int32_t y = 0; y < kH * scale; y++)
    for (int32_t x = 0; x < kW * scale; x++) {
      const int32_t px = x / scale, py = y / scale;
      p.push_back(px >= 10 && px < 18 && py >= 12 && py < 18 ? kBrush : kBackground);
    }
  return p;
}

TEST(SnapshotApplet, SavedPicturesHoldWhatTheDisplayShows) {
  ASSERT_TRUE(HaveTool("convert"));
  std::string pointerLines;
  for (int32_t scale : {1, 2}) {
    SCOPED_TRACE(scale);
    ScratchDir dir;
    // The player works in its applet's folder: the applet goes there.
    const std::string name = scale == 1 ? "snapshot.vka" : "snapscaled.vka", applet = dir / name;
    std::filesystem::copy_file(VK_BINARY_DIR "/tests/graphics/" + name, applet);
    const vktest::ProgramRun run = RunPlayer(dir, applet);
    ASSERT_EQ(run.ExitCode(), 0) << run.out << run.err;

    // The display snapshot: the picture at its own size.
    Rgba display;
    ASSERT_TRUE(MagickDecode(dir / "display.png", "", dir / "raw", kW, kH, &display));
    EXPECT_EQ(display.pixels, Drawn(1));
    // The window snapshot: the window as shown, equal to its dump.
    Rgba window;
    ASSERT_TRUE(MagickDecode(dir / "window.png", "", dir / "raw", kW * scale, kH * scale, &window));
    EXPECT_EQ(window.pixels, Drawn(scale));
    Rgb dumped;
    ASSERT_TRUE(ReadPPM(dir / "window.ppm", &dumped));
    EXPECT_EQ(window.pixels, dumped.pixels);
    // The desktop snapshot: the window's pixels on black, somewhere on it.
    ASSERT_TRUE(RunTool("identify -format '%w %h' '" + dir / "desktop.png" + "' > '" + dir / "size" + "'"));
    int32_t sw = 0, sh = 0;
    ASSERT_EQ(std::sscanf(ReadWholeFile(dir / "size").c_str(), "%d %d", &sw, &sh), 2);
    Rgba desktop;
    ASSERT_TRUE(MagickDecode(dir / "desktop.png", "", dir / "raw", sw, sh, &desktop));
    size_t first = 0;
    while (first < desktop.pixels.size() && desktop.pixels[first] == 0) first++;
    ASSERT_LT(first, desktop.pixels.size());
    const int32_t left = int32_t(first % size_t(sw)), top = int32_t(first / size_t(sw));
    ASSERT_LE(left + kW * scale, sw);
    ASSERT_LE(top + kH * scale, sh);
    std::vector<uint32_t> shown;
    for (int32_t y = 0; y < kH * scale; y++)
      for (int32_t x = 0; x < kW * scale; x++) shown.push_back(desktop.pixels[size_t(top + y) * sw + left + x]);
    EXPECT_EQ(shown, Drawn(scale));
    // The brush as BMP and as GIF.
    for (const char* file : {"brush.bmp", "brush.gif"}) {
      Rgba brush;
      ASSERT_TRUE(MagickDecode(dir / file, "", dir / "raw", 8, 6, &brush)) << file;
      EXPECT_EQ(brush.pixels, std::vector<uint32_t>(48, kBrush)) << file;
    }

    const std::string out = ReadWholeFile(dir / "out");
    const size_t probe = out.find("1 8 6");
    ASSERT_NE(probe, std::string::npos) << out;
    // The pointer's position, as MouseX and MouseY read it back.
    ASSERT_GE(probe, 2u);
    const size_t line = out.rfind('\n', probe - 2) + 1;
    const std::string pointer = out.substr(line, probe - line);
    if (scale == 1) pointerLines = pointer;
    EXPECT_EQ(pointer, pointerLines);
    // The display names the pointer it shows by its number.
    EXPECT_EQ(out.substr(probe), "1 8 6\n7\n");
  }
  EXPECT_EQ(pointerLines, "24 16\n");
}

}  // namespace
