// The native font engine: the ".font" contents file and its size files
// (Amiga load files whose pointers count from the hunk, 32 bytes into the
// file), plain and colour glyph images, measuring by spacing and kerning
// tables, and drawing glyphs as views into their rows. Files are read whole
// and every field is checked against the bytes that were read.
#include "text/amigafonts.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/paths.h"
#include "base/picturesize.h"
#include "io/chunknames.h"
#include "io/filehandles.h"
#include "platform/vkos_files.h"

extern const uint8_t kBuiltinFontRows[8 * 192];

namespace {

constexpr uint16_t kContentsPlain = 0x0F00;
constexpr uint16_t kContentsTagged = 0x0F02;
constexpr uint16_t kDiskFontHeader = 0x0F80;
constexpr size_t kContentsEntrySize = 260;
constexpr size_t kContentsNameSize = 256;
constexpr size_t kHunkBase = 32;         // pointers count from here
constexpr size_t kDiskFontIdOffset = 50;
constexpr size_t kTextFontOffset = 110;  // the TextFont fields
constexpr size_t kColourOffset = 142;    // the ColorTextFont extension
constexpr size_t kMaxFontFile = size_t(64) << 20;

// Big-endian fields of a byte span; any read past the end marks it bad.
struct Fields {
  std::span<const uint8_t> b;
  bool ok = true;
  uint32_t u8(size_t at) {
    if (at >= b.size()) return ok = false, 0;
    return b[at];
  }
  uint32_t u16(size_t at) { return (u8(at) << 8) | u8(at + 1); }
  uint32_t u32(size_t at) { return (u16(at) << 16) | u16(at + 2); }
  // The file span of [length] bytes at hunk pointer [pointer].
  std::optional<std::span<const uint8_t>> At(uint32_t pointer, uint64_t length) {
    const uint64_t start = uint64_t{pointer} + kHunkBase;
    if (start > b.size() || length > b.size() - start) return std::nullopt;
    return b.subspan(size_t(start), size_t(length));
  }
};

// The whole file, read in pieces into a buffer that grows with what arrives:
// the size of a linked size file is the word of the contents entry that
// names it, and its container may hold far fewer bytes.
std::optional<std::vector<uint8_t>> ReadWholeFile(const char* name) {
  constexpr size_t kPiece = size_t(1) << 20;
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file || file->size < 0 || uint64_t(file->size) > kMaxFontFile) return std::nullopt;
  std::vector<uint8_t> bytes;
  while (bytes.size() < size_t(file->size)) {
    const size_t at = bytes.size(), piece = std::min(kPiece, size_t(file->size) - at);
    bytes.resize(at + piece);
    if (ReadStream(file.get(), bytes.data() + at, uint32_t(piece)) != piece) return std::nullopt;
  }
  return bytes;
}

bool EndsWithFont(const std::string& name) {
  if (name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 5);
  for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".font";
}

// The glyph index of [code].
uint32_t GlyphIndex(const vkAmigaFont& f, uint32_t code) {
  return code >= f.lowChar && code <= f.highChar ? code - f.lowChar : f.locationCount - 1;
}

bool IsFixed(const vkAmigaFont& f) {
  return !(f.flags & kAmigaProportional) && f.spacing.empty() && f.kerning.empty();
}

// Calls [glyph](image x, bit offset, width) for every character of a run
// starting at pen 0 and returns the advance.
template <typename F>
int64_t WalkGlyphs(const vkAmigaFont& f, const uint32_t* codes, size_t count, F glyph) {
  int64_t pen = 0;
  for (size_t i = 0; i < count; i++) {
    const uint32_t g = GlyphIndex(f, codes[i]);
    const int32_t kern = f.kerning.empty() ? 0 : f.kerning[g];
    const int32_t advance = f.spacing.empty() ? f.xSize : f.spacing[g];
    glyph(pen, pen + kern, f.locations[g] >> 16, f.locations[g] & 0xFFFF);
    pen += kern + advance;
  }
  return pen;
}

}  // namespace

bool ParseAmigaContents(std::span<const uint8_t> bytes, std::vector<vkAmigaContentsEntry>* out) {
  Fields f{bytes};
  const uint32_t id = f.u16(0), count = f.u16(2);
  if (!f.ok || (id != kContentsPlain && id != kContentsTagged)) return false;
  if (4 + uint64_t{count} * kContentsEntrySize > bytes.size()) return false;
  out->clear();
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* entry = bytes.data() + 4 + size_t(i) * kContentsEntrySize;
    const void* end = std::memchr(entry, 0, kContentsNameSize);
    if (!end) return false;
    vkAmigaContentsEntry e;
    e.fileName.assign(reinterpret_cast<const char*>(entry), static_cast<const uint8_t*>(end) - entry);
    e.ySize = uint16_t((entry[kContentsNameSize] << 8) | entry[kContentsNameSize + 1]);
    out->push_back(std::move(e));
  }
  return true;
}

bool ParseAmigaSizeFile(std::span<const uint8_t> bytes, bool preloading, vkFont* font) {
  Fields f{bytes};
  if (f.u16(kDiskFontIdOffset) != kDiskFontHeader || !f.ok) return false;
  auto a = std::make_unique<vkAmigaFont>();
  size_t at = kTextFontOffset;
  a->ySize = uint16_t(f.u16(at));
  a->style = uint8_t(f.u8(at + 2));
  a->flags = uint8_t(f.u8(at + 3));
  a->xSize = uint16_t(f.u16(at + 4));
  a->baseline = uint16_t(f.u16(at + 6));
  a->boldSmear = uint16_t(f.u16(at + 8));
  a->accessors = uint16_t(f.u16(at + 10));
  a->lowChar = uint8_t(f.u8(at + 12));
  a->highChar = uint8_t(f.u8(at + 13));
  const uint32_t rowsPointer = f.u32(at + 14);
  a->modulo = uint16_t(f.u16(at + 18));
  const uint32_t locationsPointer = f.u32(at + 20);
  const uint32_t spacingPointer = f.u32(at + 24);
  const uint32_t kerningPointer = f.u32(at + 28);
  if (!f.ok || a->ySize == 0 || a->ySize > kMaxFontSize || a->baseline > a->ySize || a->modulo == 0 ||
      a->highChar < a->lowChar)
    return false;
  a->locationCount = uint32_t(a->highChar - a->lowChar) + 2;
  const uint64_t planeBytes = uint64_t{a->modulo} * a->ySize;
  const uint64_t rowBits = uint64_t{a->modulo} * 8;

  auto locations = f.At(locationsPointer, uint64_t{a->locationCount} * 4);
  if (!locations) return false;
  Fields lf{*locations};
  a->ownLocations.resize(a->locationCount);
  for (uint32_t i = 0; i < a->locationCount; i++) {
    const uint32_t loc = lf.u32(size_t(i) * 4);
    if ((loc >> 16) + uint64_t{loc & 0xFFFF} > rowBits) return false;
    a->ownLocations[i] = loc;
  }
  for (auto [pointer, table] : {std::pair{spacingPointer, &a->spacing}, std::pair{kerningPointer, &a->kerning}}) {
    if (!pointer) continue;
    auto words = f.At(pointer, uint64_t{a->locationCount} * 2);
    if (!words) return false;
    Fields wf{*words};
    table->resize(a->locationCount);
    for (uint32_t i = 0; i < a->locationCount; i++) (*table)[i] = int16_t(wf.u16(size_t(i) * 2));
  }

  if (a->style & kAmigaColourFont) {
    const uint32_t depth = f.u8(kColourOffset + 2);
    const uint32_t planePick = f.u8(kColourOffset + 6);
    const uint32_t tablePointer = f.u32(kColourOffset + 8);
    // A plane larger than the file is no plane of it: such a font would only
    // make the player allocate an image (of up to gigabytes) for nothing.
    // The image holds 32 bytes for every plane byte, so a plane that does lie
    // in the file may still ask for more than any picture may have.
    if (!f.ok || depth > 8 || planeBytes > bytes.size() || CheckPictureSize(int64_t(rowBits), a->ySize) != 0)
      return false;
    auto header = f.At(tablePointer, 8);
    if (!header) return false;
    Fields hf{*header};
    const uint32_t count = hf.u16(2), coloursPointer = hf.u32(4);
    auto colourWords = f.At(coloursPointer, uint64_t{count} * 2);
    if (!colourWords) return false;
    std::vector<uint32_t> palette(std::max<uint32_t>(count, 1));
    Fields cf{*colourWords};
    for (uint32_t i = 0; i < count; i++) {
      const uint32_t w = cf.u16(size_t(i) * 2);
      palette[i] = ((w >> 8) & 15) * 0x110000 + ((w >> 4) & 15) * 0x1100 + (w & 15) * 0x11;
    }
    palette[0] = kColourFontTransparent;
    std::vector<std::span<const uint8_t>> planes(8);
    for (uint32_t k = 0; k < depth; k++) {
      if (!(planePick & (1u << k))) continue;
      auto plane = f.At(f.u32(kColourOffset + 12 + 4 * k), planeBytes);
      if (!plane || !f.ok) return false;
      planes[k] = *plane;
    }
    const int32_t width = int32_t(rowBits), height = a->ySize;
    std::vector<uint32_t> pixels(size_t(width) * height);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        uint32_t index = 0;
        const size_t byte = size_t(y) * a->modulo + size_t(x >> 3);
        for (uint32_t k = 0; k < 8; k++)
          if (!planes[k].empty() && ((planes[k][byte] >> (7 - (x & 7))) & 1)) index |= 1u << k;
        if (index >= palette.size() || (index > 0 && index >= count)) return false;
        pixels[size_t(y) * width + x] = palette[index];
      }
    if (preloading) {
      font->pendingPixels = std::move(pixels);
      font->pendingWidth = width;
      font->pendingHeight = height;
    } else {
      vkBitMap* bitmap = nullptr;
      vkPlane* mask = nullptr;
      if (CreateBitMapFromARGB(pixels.data(), int32_t(kColourFontTransparent), width, height, width, &bitmap,
                               &mask) != 0)
        return false;
      font->colourImage.reset(bitmap);
      font->colourMask.reset(mask);
    }
    font->engine = kFontAmigaColour;
  } else {
    auto rows = f.At(rowsPointer, planeBytes);
    if (!rows) return false;
    a->ownRows.assign(rows->begin(), rows->end());
    font->engine = kFontAmiga;
  }
  a->rows = a->ownRows.data();
  a->locations = a->ownLocations.data();
  font->height = font->baseHeight = a->ySize;
  font->baseline = font->baseBaseline = a->baseline;
  font->antialias = 0;
  font->scalable = 0;
  font->amiga = std::move(a);
  return true;
}

std::string FindAmigaFontFile(const char* name) {
  std::string file = name;
  if (!EndsWithFont(file)) file += ".font";
  for (const char* folder : {"", "Fonts"}) {
    std::string path = folder;
    AddPart(path, file.c_str());
    if (vkFilePtr probe = OpenStream(path.c_str(), VKFILE_READ)) return path;
  }
  return {};
}

bool LoadAmigaFont(const vkFontState& fs, const char* name, int32_t size, vkFont* font) {
  const bool linked = IsChunkName(name);
  std::string contentsName = name;
  if (!linked && !EndsWithFont(contentsName)) contentsName += ".font";
  auto contents = ReadWholeFile(contentsName.c_str());
  std::vector<vkAmigaContentsEntry> entries;
  if (!contents || !ParseAmigaContents(*contents, &entries)) return false;
  const vkAmigaContentsEntry* chosen = nullptr;
  for (const vkAmigaContentsEntry& e : entries) {
    if (e.ySize != size || e.fileName == "::incomplete") continue;
    if (IsChunkName(e.fileName.c_str()) && !linked) continue;  // linked size files only in linked fonts
    chosen = &e;
    break;
  }
  if (!chosen) return false;

  std::string sizePath, fontName;
  vkChunkName chunk;
  if (linked) {
    if (!ResolveChunkName(contentsName.c_str(), &chunk)) return false;
    fontName.assign(chunk.name);
  } else {
    fontName = FilePart(contentsName.c_str());
  }
  if (IsChunkName(chosen->fileName.c_str())) {
    // ":::chunk" offset ":" size "*" name: the offset counts from the applet.
    const char* p = chosen->fileName.c_str() + kChunkPrefixLength;
    int64_t offset = 0;
    size_t digits = 0;
    while (p[digits] >= '0' && p[digits] <= '9' && digits < 18) offset = offset * 10 + (p[digits++] - '0');
    if (digits == 0) return false;
    std::string rest = p + digits;
    rest = rest.substr(0, rest.find('/'));
    sizePath = std::string(kChunkPrefix) + std::to_string(offset + fs.appletOffset) + rest + "/" +
               std::string(chunk.container);
  } else {
    sizePath.assign(contentsName.c_str(), GetPathEnd(contentsName.c_str()) - contentsName.c_str());
    AddPart(sizePath, chosen->fileName.c_str());
    if (sizePath.size() >= 1024) return false;
  }
  auto sizeFile = ReadWholeFile(sizePath.c_str());
  if (!sizeFile || !ParseAmigaSizeFile(*sizeFile, fs.preloading, font)) return false;
  font->name = fontName;
  font->size = size;
  return true;
}

uint32_t MeasureAmigaText(const vkFont* font, const uint32_t* codes, size_t count, vkTextMetrics* out) {
  const vkAmigaFont& f = *font->amiga;
  *out = {};
  out->height = f.ySize;
  out->minY = -int32_t(f.baseline);
  out->maxY = int32_t(f.ySize) - int32_t(f.baseline) - 1;
  int64_t minX = 0, maxX = 0;
  int64_t advance;
  if (IsFixed(f)) {
    advance = int64_t(count) * f.xSize;
    maxX = advance - 1;
  } else {
    advance = WalkGlyphs(f, codes, count, [&](int64_t pen, int64_t left, uint32_t, uint32_t width) {
      minX = std::min({minX, pen, left});
      maxX = std::max({maxX, pen, left + int64_t{width}});
    });
    minX = std::min(minX, advance);
    maxX = std::max(maxX, advance) - 1;
  }
  out->advance = int32_t(std::clamp<int64_t>(advance, INT32_MIN, INT32_MAX));
  out->minX = int32_t(std::clamp<int64_t>(minX, INT32_MIN, INT32_MAX));
  out->maxX = int32_t(std::clamp<int64_t>(maxX, INT32_MIN, INT32_MAX));
  out->SetPixelWidth();
  return 0;
}

void RenderAmigaText(const vkFont* font, const vkTextTarget& t, int32_t x, int32_t y, const uint32_t* codes,
                     size_t count) {
  const vkAmigaFont& f = *font->amiga;
  const bool colour = font->engine == kFontAmigaColour && font->colourImage;
  const vkBitMap* image = font->colourImage.get();
  const vkPlane* imageMask = font->colourMask.get();
  // Clip against the target and the clip rectangle.
  int64_t cx1 = std::max(0, t.clipX1), cy1 = std::max(0, t.clipY1), cx2 = t.clipX2, cy2 = t.clipY2;
  for (const vkPlane* p : {t.mask, t.alpha}) {
    if (p) cx2 = std::min<int64_t>(cx2, p->width - 1), cy2 = std::min<int64_t>(cy2, p->height - 1);
  }
  if (t.bitmap) cx2 = std::min<int64_t>(cx2, t.bitmap->width - 1), cy2 = std::min<int64_t>(cy2, t.bitmap->height - 1);
  WalkGlyphs(f, codes, count, [&](int64_t, int64_t left, uint32_t bit, uint32_t width) {
    for (int32_t row = 0; row < f.ySize; row++) {
      const int64_t ty = int64_t{y} + row;
      if (ty < cy1 || ty > cy2) continue;
      const uint8_t* src = f.rows ? f.rows + size_t(row) * f.modulo : nullptr;
      for (uint32_t col = 0; col < width; col++) {
        const int64_t tx = int64_t{x} + left + col;
        if (tx < cx1 || tx > cx2) continue;
        const uint32_t b = bit + col;
        uint32_t pixel = 0;
        bool set;
        if (colour) {
          set = (imageMask->data[size_t(row) * imageMask->bytesPerRow + (b >> 3)] >> (7 - (b & 7))) & 1;
          pixel = reinterpret_cast<const uint32_t*>(image->pixels + size_t(row) * image->bytesPerRow)[b];
        } else {
          set = src && ((src[b >> 3] >> (7 - (b & 7))) & 1);
        }
        if (!set) continue;
        if (t.mask) t.mask->data[size_t(ty) * t.mask->bytesPerRow + size_t(tx >> 3)] |= uint8_t(0x80 >> (tx & 7));
        if (t.alpha) t.alpha->data[size_t(ty) * t.alpha->bytesPerRow + size_t(tx)] = 255;
        else if (t.bitmap)
          reinterpret_cast<uint32_t*>(t.bitmap->pixels + size_t(ty) * t.bitmap->bytesPerRow)[tx] =
              colour ? (pixel & 0xFFFFFFu) : (t.colour & 0xFFFFFFu);
      }
    }
  });
}

bool MakeBuiltinBitmapFont(vkFont* font) {
  auto a = std::make_unique<vkAmigaFont>();
  a->ySize = 8;
  a->xSize = 8;
  a->baseline = 6;
  a->boldSmear = 1;
  a->lowChar = 32;
  a->highChar = 255;
  a->modulo = 192;
  a->locationCount = 225;
  // Images: 0..95 for 32..127, 96..191 for 160..255; 128..159 and the
  // fallback show the box of 127.
  a->ownLocations.resize(a->locationCount);
  for (uint32_t c = 32; c <= 256; c++) {
    const uint32_t image = c < 128 ? c - 32 : c < 160 || c == 256 ? 95 : c - 64;
    a->ownLocations[c - 32] = (image * 8) << 16 | 8;
  }
  a->rows = kBuiltinFontRows;
  a->locations = a->ownLocations.data();
  font->amiga = std::move(a);
  font->name = "topaz";
  font->engine = kFontAmiga;
  font->size = font->height = font->baseHeight = 8;
  font->baseline = font->baseBaseline = 6;
  font->builtin = true;
  return true;
}
