// The TrueType manager on FreeType: opening the program's faces from
// memory and files through a stream over the player's file handles,
// collections by face index, the sizing rule (a line of the requested size
// holds the largest ascent and descent of the face's Latin-1 glyphs), the
// baseline from "A", "À", "Ä" and "q", and measuring and drawing through the
// shared glyph loop.
#include "text/truetype.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "base/errorcodes.h"
#include "io/chunknames.h"
#include "text/fontdirectory.h"

extern "C" {
extern const uint8_t vkVeraSans[], vkVeraSansEnd[];
extern const uint8_t vkVeraSerif[], vkVeraSerifEnd[];
extern const uint8_t vkVeraMono[], vkVeraMonoEnd[];
}

namespace {

constexpr FT_Int32 kSizingLoad = FT_LOAD_RENDER | FT_LOAD_NO_AUTOHINT;

unsigned long FontStreamRead(FT_Stream stream, unsigned long offset, unsigned char* buffer, unsigned long count) {
  auto* font = static_cast<vkTrueTypeFont*>(stream->descriptor.pointer);
  if (offset > uint64_t(font->length)) return count ? 0 : 1;
  SeekStream(font->file.get(), font->start + int64_t(offset), VKSEEK_START);
  if (count == 0) return 0;
  const uint64_t room = uint64_t(font->length) - offset;
  const uint32_t want = uint32_t(std::min<uint64_t>({count, room, UINT32_MAX}));
  return ReadStream(font->file.get(), buffer, want);
}

bool EndsWithNoCase(const char* s, const char* tail) {
  const size_t n = std::strlen(s), m = std::strlen(tail);
  return n >= m && strcasecmp(s + n - m, tail) == 0;
}

// The largest bitmap top and the largest depth below the base line of the
// glyphs of [codes] that the face has; false when it has none of them.
bool InkExtent(FT_Face face, const uint32_t* codes, size_t count, int32_t* top, int32_t* below) {
  bool any = false;
  *top = *below = 0;
  for (size_t i = 0; i < count; i++) {
    const FT_UInt index = FT_Get_Char_Index(face, codes[i]);
    if (!index || FT_Load_Glyph(face, index, kSizingLoad) != 0) continue;
    *top = std::max(*top, face->glyph->bitmap_top);
    *below = std::max<int32_t>(*below, int32_t(face->glyph->bitmap.rows) - face->glyph->bitmap_top);
    any = true;
  }
  return any;
}

int32_t BaselineFor(FT_Face face, int32_t height) {
  static constexpr uint32_t kBaselineCodes[] = {'A', 0xC0, 0xC4, 'q'};
  int32_t top = 0, below = 0;
  if (!InkExtent(face, kBaselineCodes, 4, &top, &below)) return height * 3 / 4;
  return (height + top - below + 1) / 2;
}

bool OpenFace(vkFontState& fs, vkTrueTypeFont* tt, const char* name, int32_t* faceIndex) {
  if (const vkBuiltinFace* builtin = FindBuiltinFace(name))
    return FT_New_Memory_Face(fs.freeType, builtin->data, FT_Long(builtin->size), 0, &tt->glyphs.face) == 0;
  std::string path = name;
  const vkFontDirEntry* entry = nullptr;
  if (!IsChunkName(name) && !EndsWithNoCase(name, ".ttf") && !EndsWithNoCase(name, ".otf")) {
    entry = FindFontFile(fs.directory, name, -1, -1, false);
    if (!entry) return false;
    path = entry->path;
    *faceIndex = entry->faceIndex;
  }
  tt->file = OpenStream(path.c_str(), VKFILE_READ);
  if (!tt->file || tt->file->size < 0) return false;
  tt->start = entry ? entry->start : 0;
  tt->length = entry && entry->length >= 0 ? entry->length : tt->file->size - tt->start;
  if (tt->start < 0 || tt->length < 0 || tt->start > tt->file->size || tt->length > tt->file->size - tt->start)
    return false;
  tt->stream.base = nullptr;
  tt->stream.size = static_cast<unsigned long>(tt->length);
  tt->stream.pos = 0;
  tt->stream.descriptor.pointer = tt;
  tt->stream.read = FontStreamRead;
  tt->stream.close = nullptr;
  FT_Open_Args args{};
  args.flags = FT_OPEN_STREAM;
  args.stream = &tt->stream;
  return FT_Open_Face(fs.freeType, &args, *faceIndex, &tt->glyphs.face) == 0;
}

}  // namespace

vkTrueTypeFont::~vkTrueTypeFont() {
  if (glyphs.face) FT_Done_Face(glyphs.face);
}

const vkBuiltinFace* FindBuiltinFace(const char* name) {
  static const vkBuiltinFace kFaces[] = {
      {"Bitstream Vera Sans", vkVeraSans, size_t(vkVeraSansEnd - vkVeraSans)},
      {"Bitstream Vera Serif", vkVeraSerif, size_t(vkVeraSerifEnd - vkVeraSerif)},
      {"Bitstream Vera Sans Mono", vkVeraMono, size_t(vkVeraMonoEnd - vkVeraMono)},
  };
  for (const vkBuiltinFace& f : kFaces)
    if (strcasecmp(f.name, name) == 0) return &f;
  return nullptr;
}

uint32_t InitFreeType(vkFontState& fs) {
  if (fs.freeType) return 0;
  if (FT_Init_FreeType(&fs.freeType) != 0) {
    fs.freeType = nullptr;
    return kErrFreeTypeInit;
  }
  return 0;
}

void ExitFreeType(vkFontState& fs) {
  if (fs.freeType) FT_Done_FreeType(fs.freeType);
  fs.freeType = nullptr;
}

bool OpenTrueTypeFont(vkFontState& fs, const char* name, int32_t size, uint32_t cache, vkFont* font) {
  if (size < kMinFontSize || size > kMaxFontSize || InitFreeType(fs) != 0) return false;
  auto tt = std::make_unique<vkTrueTypeFont>();
  int32_t faceIndex = 0;
  if (!OpenFace(fs, tt.get(), name, &faceIndex)) return false;
  FT_Face face = tt->glyphs.face;
  FT_Select_Charmap(face, FT_ENCODING_UNICODE);
  if (FT_Set_Char_Size(face, 0, 6400, 72, 72) != 0) return false;
  uint32_t latin1[223];
  for (uint32_t c = 33; c <= 255; c++) latin1[c - 33] = c;
  int32_t ascent = 0, descent = 0;
  InkExtent(face, latin1, 223, &ascent, &descent);
  if (ascent + descent <= 0) return false;
  const int32_t pixelSize = std::max(1, int32_t(int64_t{size} * 100 / (ascent + descent)) - 1);
  if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(std::min(pixelSize, 65535))) != 0) return false;
  tt->glyphs.pixelSize = std::min(pixelSize, 65535);
  tt->glyphs.caching = cache != 0;
  font->engine = kFontTrueType;
  font->scalable = 1;
  font->antialias = 1;
  font->size = size;
  font->height = font->baseHeight = size;
  font->baseline = font->baseBaseline = BaselineFor(face, size);
  font->name = face->family_name ? face->family_name : "";
  const std::string style = face->style_name ? face->style_name : "";
  if (!style.empty() && !IsPlainStyleName(style)) font->name += " " + style;
  font->trueType = std::move(tt);
  return true;
}

void SetTrueTypeTransform(vkFont* font, double scaleX, double scaleY) {
  vkTrueTypeFont* tt = font->trueType.get();
  SetFaceScale(&tt->glyphs, scaleX, scaleY);
  tt->measured.clear();
  font->baseline = BaselineFor(tt->glyphs.face, font->height);
}

void FreeTrueTypeGlyphCache(vkFont* font) {
  FreeFaceGlyphs(&font->trueType->glyphs);
  font->trueType->measured.clear();
}

uint32_t MeasureTrueTypeText(vkFont* font, const uint32_t* codes, size_t count, uint32_t style, vkTextMetrics* out) {
  vkGlyphRunBox box;
  if (!RunGlyphs(&font->trueType->glyphs, codes, count, style & (kGlyphBold | kGlyphItalic | kGlyphAntialias), &box))
    return kErrTextOperation;
  *out = {};
  out->advance = box.advance;
  out->height = font->height;
  if (box.ink) {
    out->minX = box.minX, out->minY = box.minY, out->maxX = box.maxX, out->maxY = box.maxY;
  }
  out->SetPixelWidth();
  return 0;
}

void RenderTrueTypeText(vkFont* font, const vkTextTarget& t, int32_t x, int32_t y, const uint32_t* codes,
                        size_t count, uint32_t style) {
  style &= kGlyphBold | kGlyphItalic | kGlyphAntialias;
  vkGlyphRunBox box;
  auto run = [&](vkGlyphTargetKind kind, uint8_t* data, int32_t bytesPerRow, int32_t w, int32_t h) {
    vkGlyphTarget g{kind, data, bytesPerRow, w, h, t.colour, t.clipX1, t.clipY1, t.clipX2, t.clipY2};
    box = {};
    RunGlyphs(&font->trueType->glyphs, codes, count, style, &box, &g, x, y + font->baseline);
  };
  if (t.mask) run(vkGlyphTargetKind::kMask, t.mask->data, t.mask->bytesPerRow, t.mask->width, t.mask->height);
  if (t.alpha)
    run(vkGlyphTargetKind::kCoverage, t.alpha->data, t.alpha->bytesPerRow, t.alpha->width, t.alpha->height);
  else if (t.bitmap)
    run(vkGlyphTargetKind::kColour, t.bitmap->pixels, t.bitmap->bytesPerRow, t.bitmap->width, t.bitmap->height);
}
