// The real player, headless, runs an applet that prints with a TrueType
// file, an Amiga bitmap font and the built-in font; the window it leaves
// (dumped as a PPM) must be, pixel for pixel, the background with
// FreeType's own rendering of the TrueType line blended over it, the bits
// of both bitmap fonts in their colours and the glyphs of a colour font
// preloaded before the display opened in the colours of its palette.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../common/playerrun.h"
#include "engine/state.h"
#include "support/fontfiles.h"
#include "support/ftreference.h"
#include "text/textstate.h"
#include "text/truetype.h"

namespace {

using namespace fonttest;

// Runs the player on [args] in [dir] with the window dumped to [dump];
// its exit status (-1 when it had to be killed) and what it printed.
vktest::ProgramRun RunPlayer(const std::string& dir, const std::vector<std::string>& args, const std::string& dump) {
  std::vector<std::string> argv{VK_BINARY_DIR "/vellumark"};
  argv.insert(argv.end(), args.begin(), args.end());
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", dump.c_str(), 1);
  vktest::ProgramRun run = vktest::RunProgram(argv, dir, 60, dir);
  unsetenv("VK_WINDOW_DUMP");
  return run;
}

// An 8-pixel Amiga font of two glyphs, A 6 and B 4 pixels wide, each
// advancing by 8.
AmigaSize Blocks() {
  AmigaSize f;
  f.ySize = 8, f.xSize = 8, f.baseline = 6;
  f.low = 'A', f.high = 'B';
  f.widths = {6, 4, 8};
  f.pixels = {
      "#######..#########", "#....#.##.........", "#.##.#.##.........", "#.##.##..#........",
      "#....##..#........", "######.##.........", ".......##.........", "......#..#........",
  };
  return f;
}

// A two-plane colour font of 8 pixels: A 3 and B 4 pixels wide.
AmigaSize Paint() {
  AmigaSize f;
  f.ySize = 8, f.xSize = 8, f.baseline = 6;
  f.low = 'A', f.high = 'B';
  f.style = 0x40, f.depth = 2, f.planePick = 3;
  f.palette = {0x000, 0xF00, 0x0F8, 0x00F};
  f.widths = {3, 4, 2};
  f.pixels = {"1.12222..", "1.12..2..", "3332222..", "1.12..2..", "1.13333..", ".........", "2.3.1.2..", "........."};
  return f;
}

class TextPrint : public FontTest {};

TEST_F(TextPrint, TheAppletPrintsWithEveryKindOfFont) {
  std::filesystem::copy_file(std::string(kVeraDir) + "/VeraSe.ttf", dir / "VeraSe.ttf");
  const AmigaSize blocks = Blocks();
  Write("blocks/8", AmigaSizeFile(blocks));
  Write("blocks.font", AmigaContents({{"blocks/8", 8}}));
  const AmigaSize paint = Paint();
  Write("paint/8", AmigaSizeFile(paint));
  Write("paint.font", AmigaContents({{"paint/8", 8}}));
  // The player works in its applet's folder: the applet goes beside the fonts.
  std::filesystem::copy_file(VK_BINARY_DIR "/tests/text/textprint.vka", dir / "textprint.vka");
  const std::string dump = dir / "window.ppm";
  const vktest::ProgramRun run = RunPlayer(dir.path(), {dir / "textprint.vka", "-QUIET"}, dump);
  ASSERT_EQ(run.ExitCode(), 0) << run.out << run.err;

  constexpr int32_t W = 200, H = 80;
  constexpr uint32_t kBackground = 0x102030;
  const std::string ppm = ReadWholeFile(dump);
  const std::string header = "P6\n200 80\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + size_t(W) * H * 3);
  ASSERT_EQ(ppm.compare(0, header.size(), header), 0);
  auto shown = [&](int32_t x, int32_t y) {
    const size_t at = header.size() + (size_t(y) * W + size_t(x)) * 3;
    return uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
  };

  // What the window must show.
  std::vector<uint32_t> want(size_t(W) * H, kBackground);
  vkFont* serif = nullptr;
  ASSERT_EQ(OpenFontByName(L, (dir / "VeraSe.ttf").c_str(), 24, FONTENGINE_INBUILT, 1, false, &serif), 0u);
  const std::vector<uint8_t> cover = FreeTypeLine(dir / "VeraSe.ttf", serif->trueType->glyphs.pixelSize, "Wg", 10,
                                                  8 + serif->baseline, W, H);
  int covered = 0;
  for (size_t i = 0; i < want.size(); i++) {
    want[i] = BlendedInk(0xFFC080, kBackground, cover[i]);
    covered += cover[i] != 0;
  }
  EXPECT_GT(covered, 150);
  // "ABA" in the Amiga font at (20, 50), glyph after glyph 8 pixels apart.
  const int32_t starts[] = {0, 6, 0}, widths[] = {6, 4, 6};
  for (int g = 0; g < 3; g++)
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < widths[g]; x++)
        if (blocks.pixels[y][starts[g] + x] == '#') want[size_t(50 + y) * W + 20 + 8 * g + x] = 0x00FF00;
  // NPrint went to the next line: "AB" in the built-in font at (0, 58).
  vkPlanePtr mask = NewMask(16, 8);
  vkTextTarget t;
  t.mask = mask.get();
  ASSERT_EQ(RenderFontText(FontState(L).builtin.get(), t, 0, 0, "AB", 2, 0, ENCODING_ISO8859_1), 0u);
  const std::vector<std::string> rows = MaskRows(mask.get());
  for (int32_t y = 0; y < 8; y++)
    for (int32_t x = 0; x < 16; x++)
      if (rows[y][x] == '#') want[size_t(58 + y) * W + x] = 0x00FF00;

  // "AB" in the preloaded colour font at (100, 50), in its own colours.
  const uint32_t palette[] = {0, 0xFF0000, 0x00FF88, 0x0000FF};
  for (int g = 0; g < 2; g++)
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < (g ? 4 : 3); x++) {
        const char c = paint.pixels[y][(g ? 3 : 0) + x];
        if (c != '.') want[size_t(50 + y) * W + 100 + 8 * g + x] = palette[c - '0'];
      }

  int mismatches = 0;
  for (int32_t y = 0; y < H; y++)
    for (int32_t x = 0; x < W; x++)
      if (shown(x, y) != want[size_t(y) * W + x] && mismatches++ < 10)
        ADD_FAILURE() << "at " << x << "," << y << std::hex << " shown " << shown(x, y) << " want "
                      << want[size_t(y) * W + x];
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
