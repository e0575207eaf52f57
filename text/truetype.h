// The TrueType manager: faces held in the program (the three Vera faces),
// font files and linked fonts read through a FreeType stream over the
// player's own file handles, and faces found by name in the font directory.
// It sizes a face so that the requested size is the full height of a line,
// measures with kerning, remembers the last measurements and draws glyphs
// antialiased or one-bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "io/filehandles.h"
#include "platform/glyphs.h"
#include "text/fonts.h"

// Texts this long or longer are measured afresh every time.
inline constexpr size_t kMeasureMemoLimit = 1024;
// The memo forgets everything when it holds this many measurements.
inline constexpr size_t kMeasureMemoEntries = 4096;

// What a measurement is remembered by: the text, the style bits that change
// it and the encoding.
struct vkMeasureKey {
  std::string text;
  uint32_t style = 0;
  int32_t encoding = 0;
  bool operator==(const vkMeasureKey&) const = default;
};
struct vkMeasureKeyHash {
  size_t operator()(const vkMeasureKey& k) const noexcept {
    return std::hash<std::string>()(k.text) ^ (size_t(k.style) << 1) ^ (size_t(k.encoding) << 9);
  }
};

struct vkTrueTypeFont {
  vkFilePtr file;            // the stream's file; NULL for faces in memory
  FT_StreamRec stream{};     // reads the face through [file]
  int64_t start = 0;         // of the face in the file
  int64_t length = 0;        // of the face
  vkGlyphFace glyphs;        // the face and its glyph cache
  // Measurements remembered by text, style and encoding (texts below 1,024
  // bytes); dropped with the glyphs.
  std::unordered_map<vkMeasureKey, vkTextMetrics, vkMeasureKeyHash> measured;
  ~vkTrueTypeFont();
};

// The program's faces.
struct vkBuiltinFace {
  const char* name;
  const uint8_t* data;
  size_t size;
};
const vkBuiltinFace* FindBuiltinFace(const char* name);

// Starts and stops the one FreeType library: 0 or 1386.
uint32_t InitFreeType(vkFontState& fs);
void ExitFreeType(vkFontState& fs);

// Opens [name] at [size] into [font]; false when it cannot (the caller
// reports 1064 or tries the native engines).
bool OpenTrueTypeFont(vkFontState& fs, const char* name, int32_t size, uint32_t cache, vkFont* font);
void SetTrueTypeTransform(vkFont* font, double scaleX, double scaleY);
void FreeTrueTypeGlyphCache(vkFont* font);
uint32_t MeasureTrueTypeText(vkFont* font, const uint32_t* codes, size_t count, uint32_t style,
                             vkTextMetrics* out);
void RenderTrueTypeText(vkFont* font, const vkTextTarget& target, int32_t x, int32_t y, const uint32_t* codes,
                        size_t count, uint32_t style);
