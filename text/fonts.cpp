// The font layer: the font cache and the script's nodes, opening by name
// (default names, linked fonts with their flags word, the engines in turn,
// FreeType falling back to the native engines), scaling, and measuring and
// drawing dispatched by engine type.
#include "text/fonts.h"

#include <cmath>
#include <cstring>
#include <strings.h>

#include "base/catalog.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/paths.h"
#include "io/chunknames.h"
#include "io/filehandles.h"
#include "platform/vkos_fonts.h"
#include "text/amigafonts.h"
#include "text/truetype.h"

vkFont::vkFont() = default;
vkFont::~vkFont() {
  if (system) vkosCloseSystemFont(system);
}

namespace {

constexpr uint32_t kCatalogCannotOpenFont = 116;  // "Cannot open font %s with size %ld!"
constexpr uint32_t kLinkedSystemFont = 2;    // flags word: a system font follows
constexpr uint32_t kLinkedSkipBlock = 4;     // flags word: a length and that many bytes to skip

struct DefaultName {
  const char* name;
  const char* opensAs;
  bool forcesTrueType;
};
constexpr DefaultName kDefaultNames[] = {
    {":::default_bitmap", "topaz", false},
    {":::default_truetype", "Bitstream Vera Sans", true},
    {":::default_sans", "Bitstream Vera Sans", true},
    {":::default_serif", "Bitstream Vera Serif", true},
    {":::default_mono", "Bitstream Vera Sans Mono", true},
};

bool EndsWithFontNoCase(const std::string& s) { return s.size() >= 5 && strcasecmp(s.c_str() + s.size() - 5, ".font") == 0; }

// The catalog text with the name for its "%s" and the size for its number.
void SetOpenError(const char* name, int32_t size) {
  const char* format = GetCatalogText(kCatalogCannotOpenFont);
  std::string text = format ? format : "Cannot open font %s with size %ld!";
  const size_t s = text.find("%s");
  if (s != std::string::npos) text.replace(s, 2, name);
  const size_t from = s == std::string::npos ? 0 : s + std::strlen(name);
  for (const char* spec : {"%ld", "%d"}) {
    const size_t n = text.find(spec, from);
    if (n != std::string::npos) {
      text.replace(n, std::strlen(spec), std::to_string(size));
      break;
    }
  }
  SetErrorText(text.c_str());
}

// A linked font: its flags word says which engine reads the rest, which
// becomes a chunk name of its own in [rest]. 0, 1045 when the chunk cannot
// be opened, 1064 when its flags word or skipped block does not fit it.
enum class LinkedKind { kAmiga, kSystem };
uint32_t ReadLinkedFlags(const char* name, std::string* rest, LinkedKind* kind) {
  vkChunkName chunk;
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file || !ResolveChunkName(name, &chunk) || chunk.inMemory) return kErrCannotRead;  // memory data cannot be named in part
  uint8_t word[4];
  if (ReadStream(file.get(), word, 4) != 4) return kErrCannotOpenFont;
  const uint32_t flags = (uint32_t(word[0]) << 24) | (word[1] << 16) | (word[2] << 8) | word[3];
  int64_t skip = 4;
  *kind = (flags & kLinkedSystemFont) ? LinkedKind::kSystem : LinkedKind::kAmiga;
  if ((flags & kLinkedSystemFont) && (flags & kLinkedSkipBlock)) {
    if (ReadStream(file.get(), word, 4) != 4) return kErrCannotOpenFont;
    const uint32_t n = (uint32_t(word[0]) << 24) | (word[1] << 16) | (word[2] << 8) | word[3];
    skip += 4 + int64_t{n};
    if (skip > chunk.size) return kErrCannotOpenFont;
  }
  const std::string shortName(chunk.name);
  const std::string container(chunk.container);
  *rest = MakeChunkName(shortName.c_str(), chunk.offset + skip, chunk.size - skip, 0, container.c_str());
  return 0;
}

uint32_t OpenFontObject(vkFontState& fs, const char* name, int32_t size, int32_t engine, uint32_t cache, bool linked, vkFont** out) {
  std::string path = name;
  bool amigaOnly = false, systemOnly = false;
  if (linked && IsChunkName(name)) {
    LinkedKind kind;
    if (const uint32_t code = ReadLinkedFlags(name, &path, &kind)) {
      if (code == kErrCannotRead) SetErrorText(name);
      else SetOpenError(name, size);
      return code;
    }
    amigaOnly = kind == LinkedKind::kAmiga;
    systemOnly = kind == LinkedKind::kSystem;
  }
  auto font = std::make_unique<vkFont>();
  bool opened = false;
  if (size >= kMinFontSize && size <= kMaxFontSize) {
    if (engine == FONTENGINE_INBUILT) {
      opened = OpenTrueTypeFont(fs, path.c_str(), size, cache, font.get());
    } else if (engine == FONTENGINE_NATIVE) {
      if (strcasecmp(path.c_str(), "topaz") == 0 && size == 8 && fs.builtin) {
        *out = fs.builtin.get();
        return 0;
      }
      if (!systemOnly) {
        if (IsChunkName(path.c_str())) {
          opened = LoadAmigaFont(fs, path.c_str(), size, font.get());
        } else {
          const std::string file = FindAmigaFontFile(path.c_str());
          opened = !file.empty() && LoadAmigaFont(fs, file.c_str(), size, font.get());
        }
      }
      if (!opened && !amigaOnly) {
        vkOSFontInfo info;
        std::vector<uint8_t> data;
        bool haveData = true;
        if (IsChunkName(path.c_str())) {
          vkFilePtr file = OpenStream(path.c_str(), VKFILE_READ);
          haveData = file && file->size >= 0 && file->size <= (int64_t(64) << 20);
          if (haveData) {
            data.resize(size_t(file->size));
            haveData = data.empty() || ReadStream(file.get(), data.data(), uint32_t(data.size())) == data.size();
          }
        }
        vkOSFont* os = !haveData ? nullptr
                       : IsChunkName(path.c_str())
                           ? vkosOpenSystemFont(path.c_str(), data.data(), data.size(), size, &info)
                           : vkosOpenSystemFont(path.c_str(), nullptr, 0, size, &info);
        if (os) {
          font->system = os;
          font->engine = kFontSystem;
          font->name = info.name;
          font->size = size;
          font->height = font->baseHeight = info.height;
          font->baseline = font->baseBaseline = info.baseline;
          font->scalable = 1;
          font->antialias = 1;
          opened = true;
        }
      }
    }
  }
  if (!opened) {
    SetOpenError(name, size);
    return kErrCannotOpenFont;
  }
  *out = font.release();
  return 0;
}

}  // namespace

uint32_t OpenFontByName(vkState* L, const char* name, int32_t size, int32_t engine, uint32_t cache, bool linked,
                        vkFont** out) {
  return OpenFontByName(FontState(L), name, size, engine, cache, linked, out);
}

uint32_t OpenFontByName(vkFontState& fs, const char* name, int32_t size, int32_t engine, uint32_t cache,
                        bool linked, vkFont** out) {
  std::string wanted = name;
  for (const DefaultName& d : kDefaultNames)
    if (wanted == d.name) {
      wanted = d.opensAs;
      if (d.forcesTrueType) engine = FONTENGINE_INBUILT;
    }
  if (!IsChunkName(wanted.c_str())) {
    if (engine != FONTENGINE_INBUILT && std::strcmp(FilePart(wanted.c_str()), wanted.c_str()) != 0)
      return kErrFontIsFile;
    if (EndsWithFontNoCase(wanted)) wanted.resize(wanted.size() - 5);
  }
  for (;;) {
    for (const vkFontCacheEntry& e : fs.cache)
      if (e.cache == cache && e.engine == engine && e.size == size &&
          strcasecmp(e.requestedName.c_str(), wanted.c_str()) == 0) {
        ScaleFont(e.font, 1.0, 1.0);
        *out = e.font;
        return 0;
      }
    vkFont* font = nullptr;
    const uint32_t code = OpenFontObject(fs, wanted.c_str(), size, engine, cache, linked, &font);
    if (code == 0) {
      if (!font->builtin) font->requestedName = wanted;
      fs.cache.push_back({wanted, size, engine, cache, font});
      *out = font;
      return 0;
    }
    if (engine != FONTENGINE_INBUILT) return code;
    engine = FONTENGINE_NATIVE;
  }
}

void CloseFontObject(vkFont* font) {
  if (!font || font->builtin) return;
  delete font;
}

void ScaleFont(vkFont* font, double scaleX, double scaleY) {
  if (!font->scalable || (font->scaleX == scaleX && font->scaleY == scaleY)) return;
  font->scaleX = scaleX;
  font->scaleY = scaleY;
  font->height = int32_t(std::ceil(scaleY * font->baseHeight));
  font->baseline = int32_t(std::ceil(scaleY * font->baseBaseline));
  if (font->engine == kFontSystem) {
    font->baseline = vkosSetSystemFontSize(font->system, scaleX, scaleY, font->height);
  } else if (font->engine == kFontTrueType) {
    SetTrueTypeTransform(font, scaleX, scaleY);
  }
}

bool TextToCodes(const char* text, size_t length, int32_t encoding, std::vector<uint32_t>* out) {
  if (encoding == ENCODING_UTF8) return DecodeUtf8(text, length, out);
  out->assign(reinterpret_cast<const uint8_t*>(text), reinterpret_cast<const uint8_t*>(text) + length);
  return true;
}

uint32_t MeasureFontText(vkFont* font, const char* text, size_t length, uint32_t style, int32_t encoding,
                         vkTextMetrics* out) {
  *out = {};
  // A remembered measurement was of text that decoded.
  vkMeasureKey key;
  const bool remember = font->engine == kFontTrueType && length < kMeasureMemoLimit;
  if (remember) {
    key = {std::string(text, length), style & (kStyleBold | kStyleItalic | kStyleAntialias), encoding};
    auto& memo = font->trueType->measured;
    auto it = memo.find(key);
    if (it != memo.end()) return *out = it->second, 0;
  }
  std::vector<uint32_t> codes;
  if (!TextToCodes(text, length, encoding, &codes)) return kErrTextToUnicode;
  switch (font->engine) {
    case kFontAmiga:
    case kFontAmigaColour:
      return MeasureAmigaText(font, codes.data(), codes.size(), out);
    case kFontSystem: {
      vkGlyphRunBox box;
      const int code = vkosMeasureSystemText(font->system, codes.data(), codes.size(),
                                             style & (kGlyphBold | kGlyphItalic | kGlyphUnderline | kGlyphAntialias), &box);
      if (code) return uint32_t(code);
      out->advance = box.advance;
      out->height = font->height;
      if (box.ink) out->minX = box.minX, out->minY = box.minY, out->maxX = box.maxX, out->maxY = box.maxY;
      out->SetPixelWidth();
      return 0;
    }
    case kFontTrueType: {
      auto& memo = font->trueType->measured;
      const uint32_t code = MeasureTrueTypeText(font, codes.data(), codes.size(), style, out);
      if (code == 0 && remember) {
        if (memo.size() >= kMeasureMemoEntries) memo.clear();
        memo.emplace(std::move(key), *out);
      }
      return code;
    }
    default:
      return 0;
  }
}

uint32_t RenderFontText(vkFont* font, const vkTextTarget& target, int32_t x, int32_t y, const char* text,
                        size_t length, uint32_t style, int32_t encoding) {
  std::vector<uint32_t> codes;
  if (!TextToCodes(text, length, encoding, &codes)) return kErrTextToUnicode;
  switch (font->engine) {
    case kFontAmiga:
    case kFontAmigaColour:
      RenderAmigaText(font, target, x, y, codes.data(), codes.size());
      return 0;
    case kFontSystem: {
      const uint32_t glyphStyle = style & (kGlyphBold | kGlyphItalic | kGlyphUnderline | kGlyphAntialias);
      auto run = [&](vkGlyphTargetKind kind, uint8_t* data, int32_t bpr, int32_t w, int32_t h) -> uint32_t {
        vkGlyphTarget g{kind, data, bpr, w, h, target.colour, target.clipX1, target.clipY1, target.clipX2, target.clipY2};
        vkGlyphRunBox box;
        return uint32_t(vkosMeasureSystemText(font->system, codes.data(), codes.size(), glyphStyle, &box, &g, x,
                                              y + font->baseline));
      };
      uint32_t code = 0;
      if (target.mask) code = run(vkGlyphTargetKind::kMask, target.mask->data, target.mask->bytesPerRow, target.mask->width, target.mask->height);
      if (!code && target.alpha)
        code = run(vkGlyphTargetKind::kCoverage, target.alpha->data, target.alpha->bytesPerRow, target.alpha->width, target.alpha->height);
      else if (!code && target.bitmap)
        code = run(vkGlyphTargetKind::kColour, target.bitmap->pixels, target.bitmap->bytesPerRow, target.bitmap->width, target.bitmap->height);
      return code;
    }
    case kFontTrueType:
      RenderTrueTypeText(font, target, x, y, codes.data(), codes.size(), style);
      return 0;
    default:
      return 0;
  }
}

bool FontEngineHasStyle(const vkFont* font) { return font && font->engine == kFontSystem; }

void FreeFontGlyphCache(vkFont* font) {
  if (font && font->engine == kFontTrueType) FreeTrueTypeGlyphCache(font);
  if (font && font->engine == kFontSystem) vkosFreeSystemGlyphs(font->system);
}

uint32_t InitFontEngines(vkFontState& fs) {
  if (!fs.builtin) {
    auto builtin = std::make_unique<vkFont>();
    if (!MakeBuiltinBitmapFont(builtin.get())) return kErrOutOfMemory;
    fs.builtin = std::move(builtin);
  }
  vkosInitSystemFonts();
  return 0;  // FreeType starts with the first TrueType font
}

void ExitFontEngines(vkFontState& fs) {
  fs.builtin.reset();
  vkosExitSystemFonts();
  ExitFreeType(fs);
  FreeFontDirectory(fs.directory);
}

uint32_t CreatePendingFontBitMaps(vkState* L) { return CreatePendingFontBitMaps(FontState(L)); }

uint32_t CreatePendingFontBitMaps(vkFontState& fs) {
  fs.preloading = false;
  // The cache holds every font, also those no node names.
  for (vkFontCacheEntry& e : fs.cache) {
    vkFont* f = e.font;
    if (f->pendingPixels.empty()) continue;
    vkBitMap* bitmap = nullptr;
    vkPlane* mask = nullptr;
    const uint32_t code = CreateBitMapFromARGB(f->pendingPixels.data(), int32_t(kColourFontTransparent),
                                               f->pendingWidth, f->pendingHeight, f->pendingWidth, &bitmap, &mask);
    if (code) return code;
    f->colourImage.reset(bitmap);
    f->colourMask.reset(mask);
    f->pendingPixels.clear();
    f->pendingPixels.shrink_to_fit();
  }
  return 0;
}

void FreeAllFonts(vkFontState& fs) {
  fs.nodes.clear();
  for (vkFontCacheEntry& e : fs.cache) CloseFontObject(e.font);
  fs.cache.clear();
  ExitFontEngines(fs);
}

vkFontState::~vkFontState() { FreeAllFonts(*this); }

uint32_t FindFont(vkFontState& fs, int32_t number, void* handle, vkFontNode** out) {
  for (auto& node : fs.nodes)
    if (handle ? node->idHandle == handle : (node->idHandle == nullptr && node->idNumber == number)) {
      *out = node.get();
      return 0;
    }
  if (!handle) SetErrorNumber(number);
  return uint32_t(handle ? kErrObjectNotFound : kErrFontNotFound);
}

uint32_t LocateFontFile(vkFontState& fs, const char* name, vkFontLocation* out) {
  *out = {};
  const std::string contents = FindAmigaFontFile(name);
  if (!contents.empty()) {
    uint8_t id[2] = {0, 0};
    vkFilePtr file = OpenStream(contents.c_str(), VKFILE_READ);
    if (!file || ReadStream(file.get(), id, 2) != 2) {
      SetErrorText(contents.c_str());
      return kErrCannotRead;
    }
    const uint32_t word = uint32_t(id[0]) << 8 | id[1];
    if (word != 0x0F00 && word != 0x0F02) return kErrFontFormat;
    out->path = contents;
    out->contentsFile = true;
    return 0;
  }
  const vkFontDirEntry* entry = FindFontFile(fs.directory, name, -1, -1, false);
  if (!entry) {
    SetErrorText(name);
    return kErrFontNotOnSystem;
  }
  out->path = entry->path;
  out->faceOffset = entry->start;
  out->faceLength = entry->length;
  out->faceNumber = entry->faceIndex;
  const size_t dot = entry->path.rfind('.');
  out->collection = dot != std::string::npos && (strcasecmp(entry->path.c_str() + dot, ".ttc") == 0 ||
                                                 strcasecmp(entry->path.c_str() + dot, ".otc") == 0);
  return 0;
}
