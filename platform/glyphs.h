// FreeType glyphs in one form for both engines that draw through FreeType
// (the system fonts and the TrueType manager): a glyph loaded with the
// synthetic bold and oblique styles and rendered as coverage or one bit, a
// bounded cache keyed on glyph, style and render mode, and the one loop that
// measures and draws a run of code points with kerning. Drawing lands in a
// raw target (one-bit plane, eight-bit plane or ARGB32 pixels), clipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

// Style bits that reach a glyph (the text state's numbering).
inline constexpr uint32_t kGlyphBold = 2;
inline constexpr uint32_t kGlyphItalic = 4;
inline constexpr uint32_t kGlyphUnderline = 8;
inline constexpr uint32_t kGlyphAntialias = 16;

// A rendered glyph: its bits copied out of FreeType, so the cache owns them.
struct vkGlyph {
  int32_t left = 0, top = 0;  // bitmap position relative to the pen on the base line
  int32_t advance = 0;        // horizontal advance, 26.6 (the transform applied)
  int32_t width = 0, rows = 0, pitch = 0;
  bool mono = false;          // one bit per pixel, leftmost pixel in bit 7
  std::vector<uint8_t> bits;  // rows × pitch bytes
  // The coverage 0..255 of pixel (x, y) inside the glyph.
  uint8_t Coverage(int32_t x, int32_t y) const {
    const uint8_t* row = bits.data() + size_t(y) * size_t(pitch);
    return mono ? ((row[x >> 3] >> (7 - (x & 7))) & 1 ? 255 : 0) : row[x];
  }
};

// A face with its glyph cache. The cache holds at most kGlyphCacheLimit
// glyphs and is emptied when full, when the transform changes and on request.
inline constexpr size_t kGlyphCacheLimit = 512;
struct vkGlyphFace {
  FT_Face face = nullptr;  // owned by whoever opened it
  bool caching = true;     // the font's cache flag
  int32_t pixelSize = 0;   // given to FT_Set_Pixel_Sizes
  double scaleX = 1.0;     // multiplies the kerning (the advance carries the transform)
  std::unordered_map<uint64_t, vkGlyph> cache;
};

// The glyph of [index] in [style] (bold, italic, antialias bits), from the
// cache or loaded into [scratch]; NULL when FreeType fails.
const vkGlyph* GetFaceGlyph(vkGlyphFace* face, uint32_t index, uint32_t style, vkGlyph* scratch);
void FreeFaceGlyphs(vkGlyphFace* face);
// Sets the transform {sx, 0, 0, sy} (no translation) and empties the cache.
void SetFaceScale(vkGlyphFace* face, double sx, double sy);

// The ink box and advance of a run, relative to the pen on the base line.
// minX and minY are 10,000 and the maxima -10,000 while no ink was seen; the
// maxima are inclusive.
struct vkGlyphRunBox {
  int32_t advance = 0;
  int32_t minX = 10000, minY = 10000, maxX = -10000, maxY = -10000;
  bool ink = false;
};

// Where a run is drawn: a one-bit plane (bits set where a glyph has any
// coverage), an eight-bit plane (the larger coverage kept) or ARGB32 pixels
// (the colour blended by coverage with the pixel core's rule). Drawing is
// clipped to the inclusive rectangle clip and to the target.
enum class vkGlyphTargetKind { kMask, kCoverage, kColour };
struct vkGlyphTarget {
  vkGlyphTargetKind kind = vkGlyphTargetKind::kCoverage;
  uint8_t* data = nullptr;
  int32_t bytesPerRow = 0, width = 0, height = 0;
  uint32_t colour = 0;  // 0xRRGGBB for kColour
  int32_t clipX1 = 0, clipY1 = 0, clipX2 = INT32_MAX, clipY2 = INT32_MAX;
};

// Draws one glyph with its top-left pixel at (x, y) of the target.
void DrawGlyph(const vkGlyph& glyph, int32_t x, int32_t y, const vkGlyphTarget& target);
// Draws a bar of full coverage (underline).
void DrawGlyphBar(int32_t x, int32_t y, int32_t width, int32_t height, const vkGlyphTarget& target);

// Measures [count] code points in [style]; with [target] also draws them with
// the base line at [baseY] and the pen starting at [x]. False when FreeType
// failed on a glyph.
bool RunGlyphs(vkGlyphFace* face, const uint32_t* codes, size_t count, uint32_t style,
               vkGlyphRunBox* box, const vkGlyphTarget* target = nullptr, int32_t x = 0,
               int32_t baseY = 0);

// Decodes UTF-8 into code points; false on a malformed or overlong sequence,
// a surrogate or a value past U+10FFFF.
bool DecodeUtf8(const char* text, size_t length, std::vector<uint32_t>* out);
