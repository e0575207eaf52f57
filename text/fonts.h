// Fonts: the one record that any of four engines serves (Amiga bitmap and
// colour fonts, system fonts of the platform, TrueType through FreeType),
// the font cache that keeps every font opened for the rest of the run, the
// script's font nodes, opening by name with the default names and the
// fallback from FreeType to the native engines, scaling, and the dispatch of
// measuring and drawing to the engines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "pixel/bitmap.h"
#include "text/fontdirectory.h"

struct vkAmigaFont;
struct vkTrueTypeFont;
struct vkOSFont;

// Engine types of a font record.
inline constexpr uint32_t kFontAmiga = 1;
inline constexpr uint32_t kFontAmigaColour = 2;
inline constexpr uint32_t kFontSystem = 3;
inline constexpr uint32_t kFontTrueType = 4;

// Engines a script asks for.
inline constexpr int32_t FONTENGINE_NATIVE = 0;
inline constexpr int32_t FONTENGINE_INBUILT = 4;

// Style bits of the text state.
inline constexpr uint32_t kStyleNormal = 1;
inline constexpr uint32_t kStyleBold = 2;
inline constexpr uint32_t kStyleItalic = 4;
inline constexpr uint32_t kStyleUnderlined = 8;
inline constexpr uint32_t kStyleAntialias = 16;
inline constexpr uint32_t kStyleShadow = 32;
inline constexpr uint32_t kStyleEdge = 64;

// Text encodings.
inline constexpr int32_t ENCODING_ISO8859_1 = 0;
inline constexpr int32_t ENCODING_UTF8 = 1;

// The transparent colour of colour-font glyph images.
inline constexpr uint32_t kColourFontTransparent = 0xEEE6D2;

// Sizes a font may be opened at.
inline constexpr int32_t kMinFontSize = 1;
inline constexpr int32_t kMaxFontSize = 4096;

struct vkFont {
  std::string name;           // the font's own name as its engine sets it
  std::string requestedName;  // the name OpenFontByName opened it under
  int32_t size = 0;           // requested size in pixels
  int32_t height = 0;         // line height after scaling
  int32_t baseline = 0;       // pixels from a line's top to its base line, after scaling
  int32_t baseHeight = 0;     // height at scale 1.0
  int32_t baseBaseline = 0;   // baseline at scale 1.0
  uint32_t engine = 0;        // kFontAmiga .. kFontTrueType
  uint32_t scalable = 0;
  uint32_t antialias = 0;     // the engine can draw antialiased text
  double scaleX = 1.0, scaleY = 1.0;
  std::unique_ptr<vkAmigaFont> amiga;
  std::unique_ptr<vkTrueTypeFont> trueType;
  vkOSFont* system = nullptr;  // the platform's record, closed with the font
  bool builtin = false;        // the program's own 8-pixel font, never closed by a script
  // Colour fonts: all glyphs as one ARGB image with its mask, or the ARGB
  // words while no display exists yet.
  vkBitMapPtr colourImage;
  vkPlanePtr colourMask;
  std::vector<uint32_t> pendingPixels;
  int32_t pendingWidth = 0, pendingHeight = 0;

  vkFont();
  ~vkFont();
};

// The result of measuring one string in one style; the ink box is relative
// to the pen on the base line, its maxima inclusive.
struct vkTextMetrics {
  int32_t advance = 0;
  int32_t height = 0;
  int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
  int32_t pixelWidth = 0;  // max(advance, maxX + 1)
  int32_t top = 0, bottom = 0, left = 0, right = 0;  // shadow and edge extensions
  bool operator==(const vkTextMetrics&) const = default;
  // Sets pixelWidth from advance and maxX; ink that reaches the largest
  // position gives the largest width.
  void SetPixelWidth() { pixelWidth = maxX < advance ? advance : maxX < INT32_MAX ? maxX + 1 : INT32_MAX; }
};

// Where drawn text lands: a one-bit mask, an eight-bit coverage plane, or
// ARGB pixels blended with [colour] by coverage. Colour fonts draw their own
// pixels into [bitmap] and set [mask] where they have pixels. Everything is
// clipped to the inclusive rectangle clip and to the target.
struct vkTextTarget {
  vkBitMap* bitmap = nullptr;
  vkPlane* mask = nullptr;
  vkPlane* alpha = nullptr;  // written instead of the bitmap when given
  uint32_t colour = 0;       // 0xRRGGBB
  int32_t clipX1 = 0, clipY1 = 0, clipX2 = INT32_MAX, clipY2 = INT32_MAX;
};

// One font the cache holds.
struct vkFontCacheEntry {
  std::string requestedName;
  int32_t size = 0;
  int32_t engine = 0;
  uint32_t cache = 0;
  vkFont* font = nullptr;  // owned by the cache
};

// A script's font object.
struct vkFontNode {
  int32_t idNumber = 0;
  void* idHandle = nullptr;
  vkFont* font = nullptr;  // borrowed from the cache
};

// The font layer's run state (one per run, held by the text state of the
// program context): the cache owns its fonts and closes them when it goes.
struct vkFontState {
  std::vector<vkFontCacheEntry> cache;
  std::vector<std::unique_ptr<vkFontNode>> nodes;
  std::unique_ptr<vkFont> builtin;
  bool preloading = false;    // glyph images stay pending until a display opens
  int64_t appletOffset = 0;   // of the applet inside its file, for linked size files
  FT_Library freeType = nullptr;  // one library for every TrueType font of the run
  vkFontDirectory directory;      // filled on first use, freed at the end
  vkFontState() = default;
  vkFontState(const vkFontState&) = delete;
  vkFontState& operator=(const vkFontState&) = delete;
  ~vkFontState();
};

struct vkState;

// The font layer of [L]'s run (text/textstate.cpp).
vkFontState& FontState(vkState* L);

// Opens [name] at [size] pixels with [engine] (see above); [linked] says the
// name came from a linked file. 0 with the font in *out, or an error code
// (1064 with its text in the error record).
uint32_t OpenFontByName(vkState* L, const char* name, int32_t size, int32_t engine, uint32_t cache, bool linked,
                        vkFont** out);
uint32_t OpenFontByName(vkFontState& fs, const char* name, int32_t size, int32_t engine, uint32_t cache,
                        bool linked, vkFont** out);
void CloseFontObject(vkFont* font);
void ScaleFont(vkFont* font, double scaleX, double scaleY);

// Measures [length] bytes of [text] in [style] with [encoding]; 0 or an
// error code (1303 for text that is not valid UTF-8).
uint32_t MeasureFontText(vkFont* font, const char* text, size_t length, uint32_t style, int32_t encoding,
                         vkTextMetrics* out);
// Draws the text with its line's top at ([x], [y]) into [target]; 0 or an
// error code.
uint32_t RenderFontText(vkFont* font, const vkTextTarget& target, int32_t x, int32_t y, const char* text,
                        size_t length, uint32_t style, int32_t encoding);
// True only for system fonts: the platform draws bold, italic and underline.
bool FontEngineHasStyle(const vkFont* font);
void FreeFontGlyphCache(vkFont* font);

// Builds the built-in font and readies the system fonts (FreeType starts
// with the first TrueType font); the first error.
uint32_t InitFontEngines(vkFontState& fs);
void ExitFontEngines(vkFontState& fs);
// Gives every cached colour font still holding pending pixels its image and
// mask; 0 or the first error.
uint32_t CreatePendingFontBitMaps(vkState* L);
uint32_t CreatePendingFontBitMaps(vkFontState& fs);
// Frees the nodes, closes every cached font, empties the cache and stops the
// engines.
void FreeAllFonts(vkFontState& fs);

// Where the font a name means lies, for linking it into an applet: an Amiga
// contents file, or a face of a file the font directory lists.
struct vkFontLocation {
  std::string path;
  bool contentsFile = false;  // an Amiga ".font" contents file
  int64_t faceOffset = 0;     // of the face in its file
  int64_t faceLength = -1;    // of the face; -1: to the end of the file
  int32_t faceNumber = 0;     // member of a collection
  bool collection = false;    // the file is a collection of faces
};
// 0; 1045 (contents file unreadable), 1336 (not a contents file we read)
// or 1332 (no such font), each with its name in the error text.
uint32_t LocateFontFile(vkFontState& fs, const char* name, vkFontLocation* out);

// Font nodes of the script: 0, 1041 or 1334.
uint32_t FindFont(vkFontState& fs, int32_t number, void* handle, vkFontNode** out);
// Decodes text into code points by [encoding]; false for bad UTF-8.
bool TextToCodes(const char* text, size_t length, int32_t encoding, std::vector<uint32_t>* out);
