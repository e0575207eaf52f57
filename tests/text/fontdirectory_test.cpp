// The font directory and the system fonts: name tables of real faces and
// damaged ones, weights and slants from style names, collections entered
// member by member and opened by face index, and fontconfig answering only
// for the fonts of the test's own configuration.
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "platform/vkos_fonts.h"
#include "support/fontfiles.h"
#include "text/fontdirectory.h"
#include "text/fonts.h"
#include "text/truetype.h"

namespace {

using namespace fonttest;

vkFontBytes MemoryReader(const std::string& bytes) {
  return [&bytes](uint64_t offset, uint32_t length) -> std::optional<std::vector<uint8_t>> {
    if (offset > bytes.size() || length > bytes.size() - offset) return std::nullopt;
    return std::vector<uint8_t>(bytes.begin() + offset, bytes.begin() + offset + length);
  };
}

class FontFolders : public FontTest {};

TEST_F(FontFolders, NameTablesGiveFamilyAndStyle) {
  struct Case {
    const char* file;
    const char* family;
    const char* style;
  };
  for (const Case& c : {Case{"Vera.ttf", "Bitstream Vera Sans", "Roman"},
                        Case{"VeraBd.ttf", "Bitstream Vera Sans", "Bold"},
                        Case{"VeraMoBI.ttf", "Bitstream Vera Sans Mono", "Bold Oblique"}}) {
    const std::string bytes = ReadWholeFile(std::string(kVeraDir) + "/" + c.file);
    std::string family, style;
    ASSERT_TRUE(ParseFontNameTable(MemoryReader(bytes), 0, &family, &style)) << c.file;
    EXPECT_EQ(family, c.family);
    EXPECT_EQ(style, c.style);
  }
}

TEST_F(FontFolders, DamagedNameTablesAreRefused) {
  const std::string good = ReadWholeFile(std::string(kVeraDir) + "/Vera.ttf");
  const uint32_t tables = (uint8_t(good[4]) << 8) | uint8_t(good[5]);
  size_t nameEntry = 0;
  for (uint32_t i = 0; i < tables; i++)
    if (good.compare(12 + 16 * i, 4, "name") == 0) nameEntry = 12 + 16 * i;
  ASSERT_NE(nameEntry, 0u);
  const uint32_t nameAt = Get32(good, nameEntry + 8);
  struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
  };
  const Damage damages[] = {
      {"version", [](std::string& s) { Put32(s, 0, 0x00020000); }},
      {"table count past the end", [](std::string& s) { Put16(s, 4, 0xFFFF); }},
      {"no name table", [&](std::string& s) { s.replace(nameEntry, 4, "nope"); }},
      {"name table past the end", [&](std::string& s) { Put32(s, nameEntry + 8, uint32_t(s.size() - 4)); }},
      {"record count past the table", [&](std::string& s) { Put16(s, nameAt + 2, 0x1FFF); }},
      {"string past the table", [&](std::string& s) {
         for (uint32_t r = 0; r < 40; r++) Put16(s, nameAt + 6 + 12 * r + 10, 0xFF00); }},
      {"string longer than 511 bytes", [&](std::string& s) {
         for (uint32_t r = 0; r < 40; r++) Put16(s, nameAt + 6 + 12 * r + 8, 512); }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::string s = good;
    d.apply(s);
    std::string family, style;
    EXPECT_FALSE(ParseFontNameTable(MemoryReader(s), 0, &family, &style));
  }
  // Cut anywhere before the end of the name table, the face has no names.
  const uint32_t nameEnd = nameAt + Get32(good, nameEntry + 12);
  for (size_t n = 0; n < nameEnd; n += 7) {
    const std::string cut = good.substr(0, n);
    std::string family, style;
    EXPECT_FALSE(ParseFontNameTable(MemoryReader(cut), 0, &family, &style)) << n;
  }
}

TEST_F(FontFolders, StyleWordsSetWeightAndSlant) {
  struct Case {
    const char* style;
    int32_t weight, slant;
  };
  for (const Case& c : {Case{"Roman", 80, 0}, Case{"Bold Italic", 200, 100}, Case{"demi-bold Oblique", 180, 110},
                        Case{"ExtraLight", 40, 0}, Case{"Ultra-Black", 215, 0}, Case{"Heavy  Italic", 210, 100},
                        Case{"Condensed", 80, 0}, Case{"", 80, 0}, Case{"Thin Roman", 0, 0}}) {
    int32_t weight = -1, slant = -1;
    StyleWeightSlant(c.style, &weight, &slant);
    EXPECT_EQ(weight, c.weight) << c.style;
    EXPECT_EQ(slant, c.slant) << c.style;
  }
  for (const char* plain : {"Regular", "PLAIN", "normal", "Book", "roman"}) EXPECT_TRUE(IsPlainStyleName(plain));
  EXPECT_FALSE(IsPlainStyleName("Bold"));
}

TEST_F(FontFolders, CollectionsOpenByFaceIndex) {
  const std::string ttc = MakeCollection({std::string(kVeraDir) + "/VeraBd.ttf", std::string(kVeraDir) + "/VeraSe.ttf"});
  Write("Fonts/pair.ttc", ttc);
  Write("Fonts/VeraMono.ttf", ReadWholeFile(std::string(kVeraDir) + "/VeraMono.ttf"));
  ScanFontDirectories(fs().directory, false);
  const vkFontDirEntry* serif = FindFontFile(fs().directory, "bitstream vera serif roman", -1, -1, false);
  ASSERT_NE(serif, nullptr);
  EXPECT_EQ(serif->faceIndex, 1);
  EXPECT_EQ(serif->path, programFonts + "/pair.ttc");
  EXPECT_EQ(FindFontFile(fs().directory, "Bitstream Vera Serif Roman", -1, -1, true), nullptr);  // not at the file's start
  const vkFontDirEntry* bold = FindFontFile(fs().directory, "Bitstream Vera Sans", 200, 0, false);
  ASSERT_NE(bold, nullptr);
  EXPECT_EQ(bold->faceIndex, 0);
  // A plain face is found by its family alone.
  const vkFontDirEntry* mono = FindFontFile(fs().directory, "BITSTREAM VERA SANS MONO", -1, -1, false);
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(mono->path, programFonts + "/VeraMono.ttf");
  // The member opens by its face index, through the stream.
  vkFont* font = nullptr;
  ASSERT_EQ(OpenFontByName(L, "Bitstream Vera Serif Roman", 20, FONTENGINE_INBUILT, 1, false, &font), 0u);
  EXPECT_EQ(font->name, "Bitstream Vera Serif");
  EXPECT_NE(font->trueType->file, nullptr);
  vkTextMetrics m;
  EXPECT_EQ(MeasureFontText(font, "Serif", 5, 0, 0, &m), 0u);
  EXPECT_GT(m.advance, 0);
  ASSERT_EQ(OpenFontByName(L, "Bitstream Vera Sans Bold", 20, FONTENGINE_INBUILT, 1, false, &font), 0u);
  EXPECT_EQ(font->name, "Bitstream Vera Sans Bold");
}

TEST_F(FontFolders, DamagedCollectionsGiveNoFaces) {
  const std::string good = MakeCollection({std::string(kVeraDir) + "/Vera.ttf"});
  ASSERT_EQ(ParseCollection(MemoryReader(good)).size(), 1u);
  struct Damage {
    const char* what;
    void (*apply)(std::string&);
    size_t faces;
  };
  const Damage damages[] = {
      {"tag", [](std::string& s) { s[0] = 'x'; }, 0},
      {"no members", [](std::string& s) { Put32(s, 8, 0); }, 0},
      {"members past the end", [](std::string& s) { Put32(s, 8, 0x7FFFFFFF); }, 0},
      {"member past the end", [](std::string& s) { Put32(s, 12, 0xFFFFFF00u); }, 0},
      {"member inside the header", [](std::string& s) { Put32(s, 12, 2); }, 0},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::string s = good;
    d.apply(s);
    Write("Fonts/bad.ttc", s);
    FreeFontDirectory(fs().directory);
    ScanFontDirectories(fs().directory, true);
    EXPECT_EQ(fs().directory.entries.size(), d.faces);
  }
}

TEST_F(FontFolders, FontconfigKnowsOnlyItsConfiguration) {
  vkOSFontInfo info;
  EXPECT_EQ(vkosOpenSystemFont("Bitstream Vera Sans", nullptr, 0, 20, &info), nullptr);
  const std::string path = InstallSystemFont("Vera.ttf");
  const std::vector<std::string> files = vkosListFontFiles();
  EXPECT_EQ(files, std::vector<std::string>{path});
  // Family names match without regard to case; a near miss is no match.
  for (const char* name : {"Bitstream Vera Sans", "bitstream vera sans"}) {
    vkOSFont* font = vkosOpenSystemFont(name, nullptr, 0, 20, &info);
    ASSERT_NE(font, nullptr) << name;
    EXPECT_EQ(info.name, name);
    vkosCloseSystemFont(font);
  }
  EXPECT_EQ(vkosOpenSystemFont("Bitstream Vera", nullptr, 0, 20, &info), nullptr);
  EXPECT_EQ(vkosOpenSystemFont("Sans", nullptr, 0, 20, &info), nullptr);
  // The size search: a line as high as asked, or the size where it turned.
  for (int32_t height : {6, 10, 17, 33, 100}) {
    vkOSFont* font = vkosOpenSystemFont("Bitstream Vera Sans", nullptr, 0, height, &info);
    ASSERT_NE(font, nullptr);
    EXPECT_LE(std::abs(info.height - height), 1) << height;
    EXPECT_GT(info.baseline, 0);
    EXPECT_LT(info.baseline, info.height + 1);
    vkosCloseSystemFont(font);
  }
}

}  // namespace

// Linking a font needs its file: an Amiga contents file (by its id word), a
// member of a collection with its face number, or a plain TrueType file.
TEST_F(FontFolders, LocateFontFileFindsWhatALinkNeeds) {
  Write("Fonts/pair.ttc", MakeCollection({std::string(kVeraDir) + "/VeraBd.ttf", std::string(kVeraDir) + "/VeraSe.ttf"}));
  Write("Fonts/VeraMono.ttf", ReadWholeFile(std::string(kVeraDir) + "/VeraMono.ttf"));
  Write("blocks.font", AmigaContents({{"blocks/8", 8}}));
  Write("Fonts/colour.font", AmigaContents({{"colour/8", 8}}, 0x0F02));
  Write("Fonts/odd.font", AmigaContents({{"odd/8", 8}}, 0x0F03));
  Write("Fonts/tiny.font", "\x0F");
  struct Case {
    const char* name;
    uint32_t code;
    std::string path;
    bool contents, collection;
    int32_t face;
  };
  const Case cases[] = {
      {"blocks", 0, "blocks.font", true, false, 0},
      {"colour.font", 0, "Fonts/colour.font", true, false, 0},
      {"odd", 1336, "", false, false, 0},
      {"tiny", 1045, "", false, false, 0},
      {"Bitstream Vera Serif Roman", 0, programFonts + "/pair.ttc", false, true, 1},
      {"bitstream vera sans mono", 0, programFonts + "/VeraMono.ttf", false, false, 0},
      {"No Such Face", 1332, "", false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vkFontLocation where;
    ASSERT_EQ(LocateFontFile(fs(), c.name, &where), c.code);
    if (c.code) continue;
    EXPECT_EQ(where.path, c.path);
    EXPECT_EQ(where.contentsFile, c.contents);
    EXPECT_EQ(where.collection, c.collection);
    EXPECT_EQ(where.faceNumber, c.face);
  }
}
