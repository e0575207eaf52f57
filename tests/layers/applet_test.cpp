// End to end: the real player runs an applet that turns layers on, shows
// two plain brushes and a rotated one as layers, renames, swaps, undoes and
// removes them and prints the list; the window it leaves, read back under
// the offscreen video driver, is checked pixel by pixel against the picture
// the commands make.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "../common/scratchdir.h"

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(LayersApplet, ItsWindowShowsTheLayersLeftAfterEveryCommand) {
  ScratchDir dir;
  const std::string dump = dir / "window.ppm";
  const std::string command = "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy VK_WINDOW_DUMP='" + dump + "' '" +
                              VK_BINARY_DIR "/vellumark' '" VK_BINARY_DIR "/tests/layers/layers.vka' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buffer[256];
  while (size_t n = fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
  const int status = pclose(p);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("1 red"), std::string::npos) << out;
  // The list as DumpLayers prints it, addresses and the record size masked.
  std::string dumped = out.substr(std::min(out.size(), out.find("LAYER SYSTEM INFO")));
  dumped = std::regex_replace(dumped, std::regex(R"(\((0x[0-9a-f]+|\(nil\)))"), "(ADDR");
  dumped = std::regex_replace(dumped, std::regex(R"(BGPIC: -?\d+|sizeof\(vkLayer\): \d+)"), "N");
  EXPECT_EQ(dumped,
            "LAYER SYSTEM INFO - N (ADDR)\nN\nLayers: 2\n"
            "(1) BRUSH #1 (ADDR / \"red\") - X: 10 (10) - Y: 10 (10) - Width: 16 (16) - Height: 12 (12) - Visible: 1\n"
            "(2) BRUSH #3 (ADDR / \"\") - X: 40 (40) - Y: 30 (30) - Width: 8 (4) - Height: 4 (8) - Visible: 1\n");

  const std::string ppm = Slurp(dump);
  const std::string header = "P6\n64 48\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + 64 * 48 * 3);
  ASSERT_EQ(ppm.compare(0, header.size(), header), 0);
  auto inside = [](int x, int y, int x0, int y0, int w, int h) { return x >= x0 && y >= y0 && x < x0 + w && y < y0 + h; };
  for (int y = 0; y < 48; y++)
    for (int x = 0; x < 64; x++) {
      uint32_t want = 0x203040;                                  // the display's colour
      if (inside(x, y, 10, 10, 16, 12)) want = 0xC02020;         // red, the one layer left of the first two
      if (inside(x, y, 40, 30, 4, 8)) want = 0x20C020;           // green, 8 x 4 turned upright
      const size_t at = header.size() + (size_t(y) * 64 + size_t(x)) * 3;
      const uint32_t got = uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
      ASSERT_EQ(got, want) << "pixel " << x << ", " << y;
    }
}

}  // namespace
