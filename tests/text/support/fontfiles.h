// Font files made in the tests: Amiga contents and size files (plain and
// colour) from a small description, font collections built from single
// TrueType files, and the Vera files of the system for reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fonttest {

inline const char kVeraDir[] = "/usr/share/fonts/truetype/ttf-bitstream-vera";

// One size of an Amiga font. Glyph [i] of the rows is [widths[i]] pixels
// wide, the glyphs packed side by side from bit 0; [pixels] gives each row
// of the whole image as '#' and '.' characters (colour fonts: digits).
struct AmigaSize {
  uint16_t ySize = 8, xSize = 8, baseline = 6;
  uint8_t style = 0, flags = 0, low = 'A', high = 'C';
  std::vector<std::string> pixels;         // ySize rows
  std::vector<uint16_t> widths;            // high - low + 2 glyphs
  std::vector<int16_t> spacing, kerning;   // empty: none
  // Colour fonts: depth and plane pick, and the palette as 0x0RGB words.
  uint8_t depth = 0, planePick = 0;
  std::vector<uint16_t> palette;
};

// Glyphs A (3 wide), B (4), C (2) and the fallback (5), four rows high.
AmigaSize SmallFont();

// Field offsets of a size file, for tests that damage one.
inline constexpr size_t kSizeFileDiskId = 50;
inline constexpr size_t kSizeFileTextFont = 110;

void Put16(std::string& s, size_t at, uint32_t v);
void Put32(std::string& s, size_t at, uint32_t v);
uint32_t Get32(const std::string& s, size_t at);

// The size file of [size].
std::string AmigaSizeFile(const AmigaSize& size);
// A contents file listing [entries] (file name, y size).
std::string AmigaContents(const std::vector<std::pair<std::string, uint16_t>>& entries, uint16_t id = 0x0F00);

// A collection of the given TrueType files, members in order.
std::string MakeCollection(const std::vector<std::string>& fonts);

}  // namespace fonttest

#include <gtest/gtest.h>

#include "tests/common/scratchdir.h"
#include "text/fonts.h"

struct vkState;

namespace fonttest {

// Every text test runs with the font engines started on a font
// configuration of its own: the system knows only the fonts the test puts
// into fontsDir, and the program's "Fonts" folder is programFonts.
class FontTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes [bytes] to [name] under the test's folder, making its folders.
  std::string Write(const std::string& name, const std::string& bytes);
  // Copies a Vera file into the system's font folder; returns its path.
  std::string InstallSystemFont(const std::string& file);
  // The fonts of the test's engine.
  vkFontState& fs();
  vkState* L = nullptr;
  ScratchDir dir;
  std::string fontsDir, programFonts, oldCwd;
};

// A fresh one-bit plane, eight-bit plane or bitmap.
vkPlanePtr NewMask(int32_t w, int32_t h);
vkPlanePtr NewAlpha(int32_t w, int32_t h);
vkBitMapPtr NewBitMap(int32_t w, int32_t h, uint32_t fill);
// A mask as rows of '#' and '.'.
std::vector<std::string> MaskRows(const vkPlane* mask);

}  // namespace fonttest
