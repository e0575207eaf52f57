// The native engine: the built-in font's metrics and fallback glyph, Amiga
// fonts written by the test (size choice, "::incomplete", spacing and
// kerning, drawing), colour fonts pending until a display opens, linked
// fonts, and files damaged in every way the reader must refuse.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/fontfiles.h"
#include "tests/common/addressroom.h"
#include "io/chunknames.h"
#include "text/amigafonts.h"
#include "text/fonts.h"
#include "text/textlayout.h"

namespace {

using namespace fonttest;

std::vector<std::string> Draw(vkFont* font, const char* text, int32_t w, int32_t encoding = ENCODING_ISO8859_1) {
  vkPlanePtr mask = NewMask(w, font->height);
  vkTextTarget t;
  t.mask = mask.get();
  EXPECT_EQ(RenderFontText(font, t, 0, 0, text, std::strlen(text), 0, encoding), 0u);
  return MaskRows(mask.get());
}

class AmigaFonts : public FontTest {};

TEST_F(AmigaFonts, BuiltinFontMeasuresAndDrawsEightPixelCells) {
  vkFont* font = nullptr;
  ASSERT_EQ(OpenFontByName(L, ":::default_bitmap", 8, FONTENGINE_NATIVE, 1, false, &font), 0u);
  EXPECT_EQ(font, fs().builtin.get());
  EXPECT_EQ(font->name, "topaz");
  vkTextMetrics m;
  ASSERT_EQ(MeasureFontText(font, "AB", 2, 0, ENCODING_ISO8859_1, &m), 0u);
  EXPECT_EQ(m.advance, 16);
  EXPECT_EQ(m.pixelWidth, 16);
  EXPECT_EQ(m.height, 8);
  EXPECT_EQ(m.minY, -6);
  EXPECT_EQ(m.maxY, 1);
  EXPECT_EQ(m.minX, 0);
  EXPECT_EQ(m.maxX, 15);
  // Characters 128 to 159 and code points past 255 share the box of 127.
  const auto box = Draw(font, "\x7F", 8);
  EXPECT_EQ(Draw(font, "\x80", 8), box);
  EXPECT_EQ(Draw(font, "\x9F", 8), box);
  EXPECT_EQ(Draw(font, "\xC4\x80", 8, ENCODING_UTF8), box);
  EXPECT_NE(Draw(font, "A", 8), box);
  EXPECT_NE(Draw(font, "\xE9", 8), Draw(font, "e", 8));
  EXPECT_EQ(Draw(font, "\xC3\xA9", 8, ENCODING_UTF8), Draw(font, "\xE9", 8));
  // A glyph's bits are all inside its cell: drawn at 8 they leave 0..7 clear.
  vkPlanePtr mask = NewMask(24, 8);
  vkTextTarget t;
  t.mask = mask.get();
  ASSERT_EQ(RenderFontText(font, t, 8, 0, "W", 1, 0, ENCODING_ISO8859_1), 0u);
  for (const std::string& row : MaskRows(mask.get())) {
    EXPECT_EQ(row.substr(0, 8), "........");
    EXPECT_EQ(row.substr(16), "........");
  }
}

TEST_F(AmigaFonts, ContentsChooseTheFirstCompleteEntryOfTheSize) {
  AmigaSize four = SmallFont(), five = SmallFont();
  five.ySize = 5;
  five.pixels.push_back("##############");
  Write("Fonts/test/4", AmigaSizeFile(four));
  Write("Fonts/test/5", AmigaSizeFile(five));
  Write("Fonts/test.font", AmigaContents({{"::incomplete", 4}, {"test/4", 4}, {"test/5", 5}, {"test/missing", 6}}));
  struct Case {
    int32_t size;
    uint32_t code;
    int32_t height;
  };
  for (const Case& c : {Case{4, 0, 4}, Case{5, 0, 5}, Case{6, 1064, 0}, Case{7, 1064, 0}}) {
    SCOPED_TRACE(c.size);
    vkFont* font = nullptr;
    ASSERT_EQ(OpenFontByName(L, "test", c.size, FONTENGINE_NATIVE, 1, false, &font), c.code);
    if (c.code) continue;
    EXPECT_EQ(font->engine, kFontAmiga);
    EXPECT_EQ(font->height, c.height);
    EXPECT_EQ(font->name, "test.font");
    vkFont* again = nullptr;
    ASSERT_EQ(OpenFontByName(L, "TEST.font", c.size, FONTENGINE_NATIVE, 1, false, &again), 0u);
    EXPECT_EQ(again, font);
  }
  // The only entry of size 4 is incomplete.
  Write("Fonts/half.font", AmigaContents({{"::incomplete", 4}, {"test/5", 5}}));
  vkFont* font = nullptr;
  EXPECT_EQ(OpenFontByName(L, "half", 4, FONTENGINE_NATIVE, 1, false, &font), 1064u);
  EXPECT_EQ(OpenFontByName(L, "Fonts/test", 4, FONTENGINE_NATIVE, 1, false, &font), 1335u);
}

TEST_F(AmigaFonts, SpacingAndKerningPlaceGlyphs) {
  struct Case {
    const char* name;
    uint8_t flags;
    std::vector<int16_t> spacing, kerning;
    const char* text;
    int32_t advance, minX, maxX;
    std::vector<std::string> rows;  // drawn at x 1
  };
  const Case cases[] = {
      {"fixed", 0, {}, {}, "AB", 8, 0, 7,
       {"..#..###.....", ".#.#.#..#....", ".###.###.....", ".#.#.####...."}},
      {"proportional without spacing", 0x20, {}, {}, "AB", 8, 0, 7,
       {"..#..###.....", ".#.#.#..#....", ".###.###.....", ".#.#.####...."}},
      {"spacing and kerning", 0x20, {4, 5, 3, 6}, {0, -1, 1, 0}, "AB", 8, 0, 7,
       {"..#.###......", ".#.##..#.....", ".######......", ".#.#####....."}},
      {"kerning left of the pen", 0x20, {4, 5, 3, 6}, {-2, 0, 1, 0}, "A", 2, -2, 1,
       {"#............", ".#...........", "##...........", ".#..........."}},
      {"fallback glyph", 0x20, {4, 5, 3, 6}, {0, 0, 0, 0}, "Z", 6, 0, 5,
       {".#####.......", ".#...#.......", ".#...#.......", ".#####......."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AmigaSize size = SmallFont();
    size.flags = c.flags;
    size.spacing = c.spacing;
    size.kerning = c.kerning;
    vkFont font;
    ASSERT_TRUE(ParseAmigaSizeFile(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(AmigaSizeFile(size).data()),
                                                            AmigaSizeFile(size).size()),
                                   false, &font));
    vkTextMetrics m;
    ASSERT_EQ(MeasureFontText(&font, c.text, std::strlen(c.text), 0, ENCODING_ISO8859_1, &m), 0u);
    EXPECT_EQ(m.advance, c.advance);
    EXPECT_EQ(m.minX, c.minX);
    EXPECT_EQ(m.maxX, c.maxX);
    EXPECT_EQ(m.minY, -3);
    EXPECT_EQ(m.maxY, 0);
    vkPlanePtr mask = NewMask(13, 4);
    vkTextTarget t;
    t.mask = mask.get();
    ASSERT_EQ(RenderFontText(&font, t, 1, 0, c.text, std::strlen(c.text), 0, ENCODING_ISO8859_1), 0u);
    EXPECT_EQ(MaskRows(mask.get()), c.rows);
  }
}

// A font's widths are 16-bit words, so a long line can pass the range of
// the metrics: each one then stops at its end, plain and with the styles
// that widen it, without overflowing on the way.
TEST_F(AmigaFonts, MetricsOfAVeryLongLineStopAtTheirRange) {
  struct Case {
    const char* name;
    uint16_t xSize, baseline;
    uint8_t flags;
    std::vector<int16_t> spacing, kerning;
    uint32_t style;
    int32_t advance, minX, maxX, pixelWidth;
  };
  constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
  const Case cases[] = {
      {"cells 65535 wide", 65535, 3, 0, {}, {}, 0, kMax, 0, kMax, kMax},
      {"cells 65535 wide, bold and italic", 65535, 1, 0, {}, {}, kStyleBold | kStyleItalic, kMax, -1, kMax, kMax},
      {"spacing of 32767", 8, 3, 0x20, {32767, 32767, 32767, 32767}, {}, kStyleBold, kMax, 0, kMax, kMax},
      {"kerning of -32768, italic", 8, 1, 0x20, {0, 0, 0, 0}, {-32768, -32768, -32768, -32768}, kStyleItalic,
       kMin, kMin, -1, 0},
  };
  const std::string line(70000, 'A');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AmigaSize size = SmallFont();
    size.xSize = c.xSize;
    size.baseline = c.baseline;
    size.flags = c.flags;
    size.spacing = c.spacing;
    size.kerning = c.kerning;
    const std::string file = AmigaSizeFile(size);
    vkFont font;
    ASSERT_TRUE(ParseAmigaSizeFile(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(file.data()), file.size()),
                                   false, &font));
    vkTextStyle style;
    style.font = &font;
    style.style = c.style;
    vkTextMetrics m;
    ASSERT_EQ(MeasureText(L, line.data(), line.size(), ENCODING_ISO8859_1, style, &m), 0u);
    EXPECT_EQ(m.advance, c.advance);
    EXPECT_EQ(m.minX, c.minX);
    EXPECT_EQ(m.maxX, c.maxX);
    EXPECT_EQ(m.pixelWidth, c.pixelWidth);
  }
}

TEST_F(AmigaFonts, ColourFontWaitsForTheFirstDisplay) {
  AmigaSize size = SmallFont();
  size.style = 0x40;
  size.depth = 2;
  size.planePick = 3;
  size.palette = {0x000, 0xF00, 0x0F8, 0x00F};
  size.pixels = {
      ".1.2222.33....",
      "1.12..23.3....",
      "111222.3.3....",
      "1.12223333....",
  };
  Write("Fonts/paint/4", AmigaSizeFile(size));
  Write("Fonts/paint.font", AmigaContents({{"paint/4", 4}}));
  fs().preloading = true;
  vkFont* font = nullptr;
  ASSERT_EQ(OpenFontByName(L, "paint", 4, FONTENGINE_NATIVE, 1, false, &font), 0u);
  EXPECT_EQ(font->engine, kFontAmigaColour);
  EXPECT_EQ(font->colourImage, nullptr);
  EXPECT_EQ(font->pendingWidth, 16);
  ASSERT_EQ(CreatePendingFontBitMaps(L), 0u);  // no node names the font: the cache is walked
  ASSERT_NE(font->colourImage, nullptr);
  EXPECT_TRUE(font->pendingPixels.empty());

  vkBitMapPtr bitmap = NewBitMap(12, 4, 0x123456);
  vkPlanePtr mask = NewMask(12, 4);
  vkTextTarget t;
  t.bitmap = bitmap.get();
  t.mask = mask.get();
  ASSERT_EQ(RenderFontText(font, t, 0, 0, "ABC", 3, 0, ENCODING_ISO8859_1), 0u);
  // A (image columns 0-2) at 0, B (3-6) at 4, C (7-8) at 8: one pen step is 4.
  auto expectedAt = [&](int x, int y) {
    const std::string& img = size.pixels[y];
    if (x <= 2) return img[x];
    if (x >= 4 && x <= 9) return img[x - 1];
    return '.';
  };
  const uint32_t colours[] = {0x123456, 0xFF0000, 0x00FF88, 0x0000FF};
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 12; x++) {
      const char c = expectedAt(x, y);
      const uint32_t want = c == '.' ? 0x123456 : colours[c - '0'];
      EXPECT_EQ(ReadBitMapPixel(bitmap.get(), x, y) & 0xFFFFFF, want) << x << "," << y;
      EXPECT_EQ(ReadBitMapPixel(mask.get(), x, y), c == '.' ? 0u : 1u) << x << "," << y;
    }
}

// Each damage is applied to a good size file, which must then be refused.
TEST_F(AmigaFonts, DamagedSizeFilesAreRefused) {
  AmigaSize colour = SmallFont();
  colour.style = 0x40;
  colour.depth = 2;
  colour.planePick = 3;
  colour.palette = {0x000, 0xF00, 0x0F0, 0x00F};
  colour.pixels = {"12............", "..............", "..............", ".............3"};
  const std::string plain = AmigaSizeFile(SmallFont()), painted = AmigaSizeFile(colour);
  struct Damage {
    const char* what;
    bool colour;
    void (*apply)(std::string&);
  };
  const Damage damages[] = {
      {"disk font id", false, [](std::string& s) { Put16(s, kSizeFileDiskId, 0x0F81); }},
      {"high below low", false, [](std::string& s) { s[kSizeFileTextFont + 13] = 'A' - 1; }},
      {"location past the row", false, [](std::string& s) {
         const uint32_t at = Get32(s, kSizeFileTextFont + 20) + 32; Put32(s, at + 4, (14u << 16) | 3); }},
      {"locations past the end", false, [](std::string& s) { Put32(s, kSizeFileTextFont + 20, uint32_t(s.size())); }},
      {"rows past the end", false, [](std::string& s) { Put32(s, kSizeFileTextFont + 14, 0xFFFFFFF0u); }},
      {"spacing past the end", false, [](std::string& s) { Put32(s, kSizeFileTextFont + 24, uint32_t(s.size() - 33)); }},
      {"kerning past the end", false, [](std::string& s) { Put32(s, kSizeFileTextFont + 28, 0xFFFFFFFFu); }},
      {"zero height", false, [](std::string& s) { Put16(s, kSizeFileTextFont, 0); }},
      {"huge modulo", false, [](std::string& s) { Put16(s, kSizeFileTextFont + 18, 0xFFFF); Put16(s, kSizeFileTextFont, 0xFFFF); }},
      {"baseline below the line", false, [](std::string& s) { Put16(s, kSizeFileTextFont + 6, 9); }},
      {"colour index past the table", true, [](std::string& s) {
         const uint32_t table = Get32(s, 142 + 8) + 32; Put16(s, table + 2, 3); }},
      {"depth above eight", true, [](std::string& s) { s[142 + 2] = 9; }},
      {"colour table past the end", true, [](std::string& s) { Put32(s, 142 + 8, uint32_t(s.size())); }},
      {"colour words past the end", true, [](std::string& s) {
         const uint32_t table = Get32(s, 142 + 8) + 32; Put16(s, table + 2, 0xFFFF); }},
      {"plane past the end", true, [](std::string& s) { Put32(s, 142 + 12 + 4, uint32_t(s.size() - 35)); }},
      {"planes larger than the file, none picked", true, [](std::string& s) {
         s[142 + 6] = 0; Put16(s, kSizeFileTextFont + 18, 0x4000); }},
      {"image larger than a picture may be, none picked", true, [](std::string& s) {
         // 32776 x 4096 pixels, one byte column past the picture limit, from
         // a plane of 16 MB that the file does hold
         s[142 + 6] = 0; Put16(s, kSizeFileTextFont, 4096); Put16(s, kSizeFileTextFont + 18, 4097);
         s.resize(size_t(4097) * 4096 + 64); }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::string s = d.colour ? painted : plain;
    d.apply(s);
    vkFont font;
    EXPECT_FALSE(ParseAmigaSizeFile(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()),
                                    false, &font));
    EXPECT_EQ(font.amiga, nullptr);
  }
  for (const std::string* good : {&plain, &painted}) {
    vkFont font;
    ASSERT_TRUE(ParseAmigaSizeFile(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(good->data()), good->size()),
                                   false, &font));
    // Every cut of the file misses data that a pointer names.
    for (size_t n = 0; n < good->size(); n++) {
      vkFont cut;
      ASSERT_FALSE(ParseAmigaSizeFile(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(good->data()), n), false, &cut))
          << n;
    }
  }
}

TEST_F(AmigaFonts, DamagedContentsAreRefused) {
  const std::string good = AmigaContents({{"a/8", 8}, {"a/9", 9}});
  std::vector<vkAmigaContentsEntry> entries;
  auto parse = [&](const std::string& s) {
    return ParseAmigaContents(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(s.data()), s.size()), &entries);
  };
  ASSERT_TRUE(parse(good));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].fileName, "a/9");
  EXPECT_EQ(entries[1].ySize, 9);
  EXPECT_TRUE(parse(AmigaContents({{"a/8", 8}}, 0x0F02)));
  EXPECT_FALSE(parse(AmigaContents({{"a/8", 8}}, 0x0F03)));
  for (size_t n = 0; n < good.size(); n++) EXPECT_FALSE(parse(good.substr(0, n))) << n;
  std::string unended = AmigaContents({{std::string(256, 'x'), 8}});
  EXPECT_FALSE(parse(unended));
}

TEST_F(AmigaFonts, LinkedFontsReadTheirFlagsWord) {
  // The container: some bytes of the applet, then a linked contents file
  // (flags word 0) whose entry names a linked size file.
  const std::string sizeFile = AmigaSizeFile(SmallFont());
  std::string container(10, 'x');
  const size_t sizeAt = container.size();
  container += sizeFile;
  const std::string entry = ":::chunk" + std::to_string(sizeAt) + ":" + std::to_string(sizeFile.size()) + "*linked/4";
  const std::string contents = AmigaContents({{entry, 4}});
  const size_t fontAt = container.size();
  container += std::string(4, '\0') + contents;
  // A system font: flags 2 and 4, a block of 3 bytes to skip, then Vera.
  const std::string vera = ReadWholeFile(std::string(kVeraDir) + "/Vera.ttf");
  const size_t systemAt = container.size();
  container += std::string("\0\0\0\x06\0\0\0\x03zzz", 11) + vera;
  const size_t badAt = container.size();
  container += std::string("\0\0\0\x06\x7F\0\0\0", 8);
  const std::string path = Write("applet", container);

  struct Case {
    const char* what;
    size_t at, size;
    uint32_t code, engine;
  };
  const Case cases[] = {
      {"Amiga font", fontAt, 4 + contents.size(), 0, kFontAmiga},
      {"system font", systemAt, 11 + vera.size(), 0, kFontSystem},
      {"skipped block past the chunk", badAt, 8, 1064, 0},
      {"flags word cut", badAt, 3, 1064, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = MakeChunkName("linked.font", int64_t(c.at), int64_t(c.size), 0, path.c_str());
    vkFont* font = nullptr;
    ASSERT_EQ(OpenFontByName(L, name.c_str(), 4 + 12 * (c.engine == kFontSystem), FONTENGINE_NATIVE, 1, true, &font), c.code);
    if (c.code == 0) {
      EXPECT_EQ(font->engine, c.engine);
    }
  }
  // A plain contents file cannot name linked size files.
  Write("Fonts/sneaky.font", contents);
  vkFont* font = nullptr;
  EXPECT_EQ(OpenFontByName(L, "sneaky", 4, FONTENGINE_NATIVE, 1, false, &font), 1064u);
}

// A linked contents entry whose size file claims 67 000 000 bytes of a
// container that holds a few hundred: the font is refused after reading what
// is there, without asking for the claim first. Opened in a child whose
// address space has 32 MB to spare.
TEST_F(AmigaFonts, ALinkedSizeFileLongerThanItsContainerIsReadAsFarAsItGoes) {
  const std::string sizeFile = AmigaSizeFile(SmallFont());
  const std::string entry = ":::chunk0:67000000*linked/4";
  const std::string contents = AmigaContents({{entry, 4}});
  const std::string container = sizeFile + std::string(4, '\0') + contents;
  const std::string path = Write("applet", container);
  const std::string name =
      MakeChunkName("linked.font", int64_t(sizeFile.size()), int64_t(4 + contents.size()), 0, path.c_str());
  auto openWithLittleRoom = [&] {
    if (!LimitAddressSpace(32u << 20)) std::_Exit(2);
    vkFont* font = nullptr;
    std::_Exit(OpenFontByName(L, name.c_str(), 4, FONTENGINE_NATIVE, 1, true, &font) == 1064 ? 0 : 1);
  };
  ASSERT_EXIT(openWithLittleRoom(), ::testing::ExitedWithCode(0), "");
  vkFont* font = nullptr;
  EXPECT_EQ(OpenFontByName(L, name.c_str(), 4, FONTENGINE_NATIVE, 1, true, &font), 1064u);
}

}  // namespace
