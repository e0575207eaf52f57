// The real player runs the draw applet headless on SDL's offscreen driver:
// boxes, curves, a polygon, an arc outline, lines and a plot, styled, on a
// 160 x 120 display. The window must equal the golden picture pixel for
// pixel, and a few pixels are checked against what the calls ask for.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../common/scratchdir.h"

extern char** environ;

namespace {

constexpr int32_t kW = 160, kH = 120;
const std::string kHeader = "P6\n160 120\n255\n";

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

uint32_t Pixel(const std::string& ppm, int32_t x, int32_t y) {
  const size_t at = kHeader.size() + (size_t(y) * kW + size_t(x)) * 3;
  return uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
}

TEST(DrawApplet, DrawsEveryShapeKindOntoItsGoldenPixels) {
  ScratchDir dir;
  const std::string dump = dir / "window.ppm", out = dir / "out";
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", dump.c_str(), 1);
  const std::string player = VK_BINARY_DIR "/vellumark", applet = VK_BINARY_DIR "/tests/graphics/drawshapes.vka";
  std::vector<char*> argv = {const_cast<char*>(player.c_str()), const_cast<char*>(applet.c_str()),
                             const_cast<char*>("-DEBUGDEVICE"), const_cast<char*>("stdout"), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, player.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  unsetenv("VK_WINDOW_DUMP");
  const std::string printed = Slurp(out);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;
  ASSERT_NE(printed.find("drawn"), std::string::npos) << printed;

  const std::string ppm = Slurp(dump);
  ASSERT_EQ(ppm.size(), kHeader.size() + size_t(kW) * kH * 3);
  ASSERT_EQ(ppm.compare(0, kHeader.size(), kHeader), 0);

  // What the calls ask for.
  EXPECT_EQ(Pixel(ppm, 5, 5), 0xFF0000u);     // the red box's corner
  EXPECT_EQ(Pixel(ppm, 44, 34), 0xFF0000u);
  EXPECT_EQ(Pixel(ppm, 45, 35), 0x102030u);   // just outside it
  EXPECT_EQ(Pixel(ppm, 50, 5), 0x102030u);    // the rounded box leaves its corner
  EXPECT_EQ(Pixel(ppm, 70, 20), 0x00FF00u);
  EXPECT_EQ(Pixel(ppm, 115, 20), 0xFFFF00u);  // the circle's centre
  EXPECT_EQ(Pixel(ppm, 25, 57), 0x0000FFu);   // the ellipse's centre
  EXPECT_EQ(Pixel(ppm, 3, 57), 0xFFFFFFu);    // its edge, 2 to the left
  EXPECT_EQ(Pixel(ppm, 5, 85), 0xFF0000u);    // the gradient starts red at the top
  EXPECT_LT(Pixel(ppm, 30, 114) >> 16, 16u);  // and ends nearly blue at the bottom
  EXPECT_GT(Pixel(ppm, 30, 114) & 255, 240u);
  EXPECT_EQ(Pixel(ppm, 70, 85), 0xFFFFFFu);   // the thin line's ends
  EXPECT_EQ(Pixel(ppm, 150, 115), 0xFFFFFFu);
  EXPECT_EQ(Pixel(ppm, 155, 5), 0xFFFFFFu);   // the plot
  EXPECT_EQ(Pixel(ppm, 100, 119), 0xC0C0C0u); // the bottom line
  // The transparent box: half of white over the background.
  const uint32_t t = Pixel(ppm, 150, 90);
  for (int s : {0, 8, 16}) {
    const int32_t under = (0x102030 >> s) & 255;
    EXPECT_NEAR(int32_t((t >> s) & 255), under + (255 - under) * 127 / 255, 2) << s;
  }

  const std::string goldenPath = VK_SOURCE_DIR "/tests/graphics/data/drawshapes.ppm";
  if (std::getenv("VK_UPDATE_GOLDEN")) {
    std::ofstream(goldenPath, std::ios::binary) << ppm;
  }
  const std::string golden = Slurp(goldenPath);
  ASSERT_EQ(golden.size(), ppm.size());
  int32_t wrong = 0;
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++)
      if (Pixel(ppm, x, y) != Pixel(golden, x, y)) wrong++;
  EXPECT_EQ(wrong, 0);
}

}  // namespace
