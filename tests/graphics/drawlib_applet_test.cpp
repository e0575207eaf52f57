// The real player runs the draw applet headless on SDL's offscreen driver:
// boxes, curves, a polygon, an arc outline, lines and a plot, styled, on a
// 160 x 120 display. The window must equal the golden picture pixel for
// pixel, and a few pixels are checked against what the calls ask for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../common/playerrun.h"
#include "../common/scratchdir.h"

namespace {

constexpr int32_t kW = 160, kH = 120;
const std::string kHeader = "P6\n160 120\n255\n";

uint32_t Pixel(const std::string& ppm, int32_t x, int32_t y) {
  const size_t at = kHeader.size() + (size_t(y) * kW + size_t(x)) * 3;
  return uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
}

TEST(DrawApplet, DrawsEveryShapeKindOntoItsGoldenPixels) {
  ScratchDir dir;
  const std::string dump = dir / "window.ppm";
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", dump.c_str(), 1);
  const std::string player = VK_BINARY_DIR "/vellumark", applet = VK_BINARY_DIR "/tests/graphics/drawshapes.vka";
  const vktest::ProgramRun run = vktest::RunProgram({player, applet, "-DEBUGDEVICE", "stdout"}, dir.path());
  unsetenv("VK_WINDOW_DUMP");
  const std::string printed = run.out;
  ASSERT_TRUE(run.ExitedWith(0)) << printed;
  ASSERT_NE(printed.find("drawn"), std::string::npos) << printed;

  const std::string ppm = ReadWholeFile(dump);
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
  const std::string golden = ReadWholeFile(goldenPath);
  ASSERT_EQ(golden.size(), ppm.size());
  int32_t wrong = 0;
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++)
      if (Pixel(ppm, x, y) != Pixel(golden, x, y)) wrong++;
  EXPECT_EQ(wrong, 0);
}

}  // namespace
