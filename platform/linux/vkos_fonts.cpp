// System fonts on Linux: fontconfig finds a font file by family or full
// name, FreeType opens it (or linked font data from memory), the size search
// steps the pixel size until a line is as high as asked, and the shared
// glyph loop measures and draws with FreeType's own bold, oblique and
// underline. fontconfig also lists every font file for the font directory.
#include "platform/vkos_fonts.h"

#include <algorithm>
#include <strings.h>

#include "platform/linux/platform_state.h"
#include "platform/vkos_files.h"

struct vkOSFont {
  FT_Face face = nullptr;
  vkGlyphFace glyphs;
  std::vector<uint8_t> data;  // linked font data, alive as long as the face
  ~vkOSFont() {
    if (face) FT_Done_Face(face);
  }
};

namespace {

constexpr size_t kMaxSystemText = 16383;
constexpr int32_t kMaxPixelSize = 65535;

// The line height at [pixels]: ascender minus descender of the sized face.
int32_t LineHeight(FT_Face face, int32_t pixels) {
  if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixels)) != 0) return -1;
  return int32_t((face->size->metrics.ascender - face->size->metrics.descender) >> 6);
}

// Steps the pixel size towards [height] until a line has it or the
// direction would turn; the face keeps the size reached last.
bool SizeSearch(FT_Face face, int32_t height) {
  if (!FT_IS_SCALABLE(face) || face->ascender - face->descender <= 0) return false;
  int64_t pixels = int64_t{height} * face->units_per_EM / (face->ascender - face->descender);
  pixels = std::clamp<int64_t>(pixels, 1, kMaxPixelSize);
  int32_t h = LineHeight(face, int32_t(pixels));
  if (h < 0) return false;
  if (h == height) return true;
  const int step = h < height ? 1 : -1;
  for (;;) {
    const int64_t next = pixels + step;
    if (next < 1 || next > kMaxPixelSize) break;
    const int32_t nh = LineHeight(face, int32_t(next));
    if (nh < 0) return false;
    pixels = next;
    h = nh;
    if (h == height || (h < height ? 1 : -1) != step) break;
  }
  return LineHeight(face, int32_t(pixels)) >= 0;
}

bool NameMatches(FcPattern* match, const char* object, const char* name) {
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(match, object, i, &value) == FcResultMatch; i++)
    if (strcasecmp(reinterpret_cast<const char*>(value), name) == 0) return true;
  return false;
}

// The system fonts' configuration, read on its first use: reading it parses
// the configuration files and font caches, which most runs never need.
FcConfig* SystemFontConfig() {
  if (!gPlatform.fontConfig) gPlatform.fontConfig = FcInitLoadConfigAndFonts();
  return gPlatform.fontConfig;
}

// The file and face index of the system font called [name].
bool FindSystemFont(const char* name, std::string* file, int* index) {
  FcConfig* config = SystemFontConfig();
  if (!config) return false;
  const std::string utf8 = vkosLatin1ToUtf8(name);
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(utf8.c_str()));
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  FcChar8* path = nullptr;
  bool found = (NameMatches(match, FC_FAMILY, utf8.c_str()) || NameMatches(match, FC_FULLNAME, utf8.c_str())) &&
               FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch;
  if (found) {
    *file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
  }
  FcPatternDestroy(match);
  return found;
}

int32_t BaselineOf(FT_Face face) { return int32_t((face->size->metrics.ascender + 63) >> 6); }

// FreeType for the system fonts, started with the first font opened after
// vkosInitSystemFonts; null when it cannot start.
FT_Library SystemFontLibrary() {
  if (!gPlatform.fontLibrary && gPlatform.fontsWanted && FT_Init_FreeType(&gPlatform.fontLibrary) != 0)
    gPlatform.fontLibrary = nullptr;
  return gPlatform.fontLibrary;
}

}  // namespace

int vkosInitSystemFonts() {
  gPlatform.fontsWanted = true;
  return 0;
}

void vkosExitSystemFonts() {
  if (gPlatform.fontConfig) FcConfigDestroy(gPlatform.fontConfig);
  gPlatform.fontConfig = nullptr;
  if (gPlatform.fontLibrary) FT_Done_FreeType(gPlatform.fontLibrary);
  gPlatform.fontLibrary = nullptr;
  gPlatform.fontsWanted = false;
}

vkOSFont* vkosOpenSystemFont(const char* name, const uint8_t* data, size_t size, int32_t height,
                             vkOSFontInfo* info) {
  if (!SystemFontLibrary() || height < 1) return nullptr;
  auto font = std::make_unique<vkOSFont>();
  if (data) {
    font->data.assign(data, data + size);
    if (FT_New_Memory_Face(gPlatform.fontLibrary, font->data.data(), FT_Long(font->data.size()), 0, &font->face) != 0)
      return font->face = nullptr, nullptr;
    info->name = font->face->family_name ? font->face->family_name : "";
  } else {
    std::string file;
    int index = 0;
    if (!FindSystemFont(name, &file, &index)) return nullptr;
    if (FT_New_Face(gPlatform.fontLibrary, file.c_str(), index, &font->face) != 0) return font->face = nullptr, nullptr;
    info->name = name;
  }
  if (FT_Select_Charmap(font->face, FT_ENCODING_UNICODE) != 0 && font->face->num_charmaps > 0)
    FT_Set_Charmap(font->face, font->face->charmaps[0]);
  if (!SizeSearch(font->face, height)) return nullptr;
  font->glyphs.face = font->face;
  font->glyphs.pixelSize = int32_t(font->face->size->metrics.y_ppem);
  info->height = LineHeight(font->face, font->glyphs.pixelSize);
  info->baseline = BaselineOf(font->face);
  return font.release();
}

void vkosCloseSystemFont(vkOSFont* font) { delete font; }

int32_t vkosSetSystemFontSize(vkOSFont* font, double scaleX, double scaleY, int32_t height) {
  SetFaceScale(&font->glyphs, scaleX, scaleY);
  const double ascender = double(font->face->size->metrics.ascender) / 64.0 * scaleY;
  return std::clamp(int32_t(ascender + 0.999), 0, std::max(height, 0));
}

int vkosMeasureSystemText(vkOSFont* font, const uint32_t* codes, size_t count, uint32_t style, vkGlyphRunBox* box,
                          const vkGlyphTarget* target, int32_t x, int32_t baseY) {
  if (count > kMaxSystemText) return 1066;
  return RunGlyphs(&font->glyphs, codes, count, style, box, target, x, baseY) ? 0 : 1304;
}

void vkosFreeSystemGlyphs(vkOSFont* font) { FreeFaceGlyphs(&font->glyphs); }
int32_t vkosSystemFontPixelSize(const vkOSFont* font) { return font->glyphs.pixelSize; }

std::vector<std::string> vkosListFontFiles() {
  std::vector<std::string> files;
  FcConfig* config = SystemFontConfig();
  if (!config) return files;
  FcPattern* pattern = FcPatternCreate();
  FcObjectSet* objects = FcObjectSetCreate();
  if (objects && !FcObjectSetAdd(objects, FC_FILE)) {
    FcObjectSetDestroy(objects);
    objects = nullptr;
  }
  FcFontSet* set = pattern && objects ? FcFontList(config, pattern, objects) : nullptr;
  if (set) {
    for (int i = 0; i < set->nfont; i++) {
      FcChar8* path = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &path) != FcResultMatch) continue;
      auto latin1 = vkosUtf8ToLatin1(reinterpret_cast<const char*>(path));
      if (latin1 && !latin1->empty()) files.push_back(*latin1);
    }
    FcFontSetDestroy(set);
  }
  if (objects) FcObjectSetDestroy(objects);
  if (pattern) FcPatternDestroy(pattern);
  std::sort(files.begin(), files.end());
  files.erase(std::unique(files.begin(), files.end()), files.end());
  return files;
}
