// Fuzz entry points of the font readers: any input must be refused or read,
// never crash or read past what it holds. The text tests replay seeds and
// their mutations through them.
#include "fontfuzz.h"

#include <span>

#include "text/amigafonts.h"
#include "text/fontdirectory.h"
#include "text/fonts.h"

namespace fonttest {

// Two bytes give the length of the contents file; the size file follows it.
void FuzzAmigaFontPair(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const size_t n = std::min<size_t>(size - 2, (size_t(data[0]) << 8) | data[1]);
  std::vector<vkAmigaContentsEntry> entries;
  ParseAmigaContents(std::span<const uint8_t>(data + 2, n), &entries);
  for (bool preloading : {false, true}) {
    vkFont font;
    if (!ParseAmigaSizeFile(std::span<const uint8_t>(data + 2 + n, size - 2 - n), preloading, &font)) continue;
    vkTextMetrics m;
    const char text[] = {'A', 'z', ' ', char(0xFF), char(0x80), 0};
    MeasureFontText(&font, text, 5, 0, ENCODING_ISO8859_1, &m);
    vkPlanePtr mask(AllocMaskPlane(40, 20, true));
    vkBitMapPtr bitmap(AllocArgbBitMap(40, 20));
    vkTextTarget t;
    t.mask = mask.get();
    t.bitmap = bitmap.get();
    RenderFontText(&font, t, -3, 2, text, 5, 0, ENCODING_ISO8859_1);
  }
}

void FuzzFontTables(const uint8_t* data, size_t size) {
  const vkFontBytes read = [data, size](uint64_t offset, uint32_t length) -> std::optional<std::vector<uint8_t>> {
    if (offset > size || length > size - offset) return std::nullopt;
    return std::vector<uint8_t>(data + offset, data + offset + length);
  };
  std::string family, style;
  ParseFontNameTable(read, 0, &family, &style);
  for (uint64_t member : ParseCollection(read)) ParseFontNameTable(read, member, &family, &style);
}

}  // namespace fonttest
