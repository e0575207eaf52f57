// System fonts: fonts the system knows by name (fontconfig finds the file),
// or font data linked into an applet and handed over in memory, sized so
// that a line of "A" has the requested height and drawn through FreeType,
// which draws bold, oblique and underline itself. Also the list of font
// files for the font directory, and the hooks for anims in formats of the
// system, which this platform does not have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/glyphs.h"

struct vkOSFont;

// What opening tells the font record.
struct vkOSFontInfo {
  std::string name;      // the given name, or the family of linked data
  int32_t height = 0;    // the line height reached by the size search
  int32_t baseline = 0;  // from the line's top to the base line
};

// Starts and stops the system-font service (its configuration is read from
// the environment at start).
int vkosInitSystemFonts();
void vkosExitSystemFonts();

// Opens [name] at [height] pixels, or, when [data] is given, the first face
// of those [size] bytes (kept by the font until it closes). NULL when the
// name matches no family or full name of the system, ignoring case, or the
// data is not a font.
vkOSFont* vkosOpenSystemFont(const char* name, const uint8_t* data, size_t size, int32_t height,
                             vkOSFontInfo* info);
void vkosCloseSystemFont(vkOSFont* font);
// Scales the font's glyphs (horizontal, vertical); returns the new baseline
// for a line of [height] pixels.
int32_t vkosSetSystemFontSize(vkOSFont* font, double scaleX, double scaleY, int32_t height);
// Measures, and with [target] draws with the base line at [baseY], [count]
// code points in [style] (the glyph style bits): 0, or 1304 when the text
// could not be laid out, 1066 when it is too long.
int vkosMeasureSystemText(vkOSFont* font, const uint32_t* codes, size_t count, uint32_t style,
                          vkGlyphRunBox* box, const vkGlyphTarget* target = nullptr, int32_t x = 0,
                          int32_t baseY = 0);
// The engine draws bold, italic and underline itself: 1.
inline int vkosSystemFontHasStyle() { return 1; }
void vkosFreeSystemGlyphs(vkOSFont* font);
// The pixel size the size search gave FreeType.
int32_t vkosSystemFontPixelSize(const vkOSFont* font);

// Every font file the system's configuration lists (paths in ISO 8859-1;
// files whose names cannot be written so are left out).
std::vector<std::string> vkosListFontFiles();

// No anim format of the system is read here: opening recognises nothing.
inline int vkosOpenAnim(const char*, void**) { return 0; }
inline int vkosGetAnimFrame(void*, int32_t, void*) { return 0; }
inline int vkosGetAnimFrameInfo(void*, int32_t*, int32_t*, int32_t*) { return 0; }
inline void vkosFreeAnim(void*) {}
