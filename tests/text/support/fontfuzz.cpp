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

#include "text/textlayout.h"

namespace fonttest {

// The first byte chooses wrap width, alignment, encoding and style; the
// rest is the text. Laid out twice: fresh, then repeating its decisions.
void FuzzTextLayout(vkState* L, const uint8_t* data, size_t size) {
  if (size == 0) return;
  const uint8_t mode = data[0];
  vkTextLayout layout;
  layout.text.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  layout.wrapWidth = (mode & 3) * 24;
  layout.align = (mode & 12) == 4 ? kAlignRight : (mode & 12) == 8 ? kAlignCenter : kAlignLeft;
  layout.encoding = (mode & 16) ? ENCODING_UTF8 : ENCODING_ISO8859_1;
  layout.style.style = kStyleNormal | ((mode & 32) ? kStyleEdge | kStyleShadow : 0) | ((mode & 64) ? kStyleBold | kStyleItalic : 0);
  layout.tabs = {10, 30, 70};
  for (int pass = 0; pass < 2; pass++) {
    vkTextPicture picture;
    if (LayoutText(L, &layout, (mode & 128) != 0, &picture) != 0) return;
    layout.wrapTableSet = layout.wrapWidth > 0;
    layout.tabTableSet = true;
  }
}

}  // namespace fonttest
