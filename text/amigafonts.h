// The native font engine: Amiga bitmap and colour fonts read from a ".font"
// contents file and its size files (Amiga load files holding a TextFont,
// or a ColorTextFont with bit planes and a palette), and the program's own
// 8-pixel font "topaz". Every size and offset of a file is checked against
// what was read: a bad file fails to load, nothing is trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "text/fonts.h"

struct vkAmigaFont {
  uint16_t ySize = 0;     // line height
  uint8_t style = 0, flags = 0;
  uint16_t xSize = 0;     // nominal width
  uint16_t baseline = 0;
  uint16_t boldSmear = 0, accessors = 0;
  uint8_t lowChar = 0, highChar = 0;
  uint16_t modulo = 0;    // bytes per glyph row
  uint32_t locationCount = 0;  // high - low + 2: the last is the fallback glyph
  // The glyph rows and locations: views into the program's data for the
  // built-in font, else into the vectors below.
  const uint8_t* rows = nullptr;
  const uint32_t* locations = nullptr;  // high 16 bits bit offset, low 16 bits width
  std::vector<uint8_t> ownRows;
  std::vector<uint32_t> ownLocations;
  std::vector<int16_t> spacing;  // empty when the font has none
  std::vector<int16_t> kerning;
};

// Font flag: proportional.
inline constexpr uint8_t kAmigaProportional = 0x20;
// Style bit: a colour font.
inline constexpr uint8_t kAmigaColourFont = 0x40;

// One entry of a contents file.
struct vkAmigaContentsEntry {
  std::string fileName;
  uint16_t ySize = 0;
};

// Parses a contents file (0x0F00 or 0x0F02); false for anything else or a
// file that does not hold all its entries with NUL-ended names.
bool ParseAmigaContents(std::span<const uint8_t> bytes, std::vector<vkAmigaContentsEntry>* out);
// Reads a size file into [font]; false for a bad file. [preloading] keeps a
// colour font's pixels pending.
bool ParseAmigaSizeFile(std::span<const uint8_t> bytes, bool preloading, vkFont* font);

// Loads [name] (a ".font" path or a linked contents chunk) at [size] into
// [font] ([fs] gives the applet's offset and whether preloads run); false when it cannot (the caller reports 1064).
bool LoadAmigaFont(const vkFontState& fs, const char* name, int32_t size, vkFont* font);
// The path of a ".font" file for [name] in the current folder or under
// "Fonts/"; empty when there is none.
std::string FindAmigaFontFile(const char* name);

uint32_t MeasureAmigaText(const vkFont* font, const uint32_t* codes, size_t count, vkTextMetrics* out);
void RenderAmigaText(const vkFont* font, const vkTextTarget& target, int32_t x, int32_t y,
                     const uint32_t* codes, size_t count);

// The built-in font; false without memory.
bool MakeBuiltinBitmapFont(vkFont* font);
