// The text library's commands as scripts call them: the style and its
// argument rules, tabs, margins and the cursor, measuring, the font
// commands (default names, nodes by number and handle, closing the current
// font), and printing into a display: the built-in font's bits, TrueType
// glyphs against FreeType's own rendering blended by the pixel core's rule,
// Print's cursor and joined arguments, TextOut's special positions and wrap.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "engine/vmapi.h"
#include "support/fontfiles.h"
#include "support/ftreference.h"
#include "support/textscene.h"
#include "text/textstate.h"
#include "text/truetype.h"

namespace {

using namespace fonttest;
using vktest::Arg;

constexpr uint32_t kWhite = 0xFFFFFF;

class TextLib : public TextScene {
 protected:
  vkTextState& ts() { return GetTextState(L); }
  // The built-in font's bits of [text] as a mask 8 pixels high.
  std::vector<std::string> BuiltinRows(const char* text) {
    vkFont* f = FontState(L).builtin.get();
    vkPlanePtr mask = NewMask(int32_t(std::strlen(text)) * 8, 8);
    vkTextTarget t;
    t.mask = mask.get();
    EXPECT_EQ(RenderFontText(f, t, 0, 0, text, std::strlen(text), 0, ENCODING_ISO8859_1), 0u);
    return MaskRows(mask.get());
  }
  // The picture's rectangle as rows: '#' for [ink], '.' for the background,
  // '?' for anything else.
  std::vector<std::string> Rows(int32_t x0, int32_t y0, int32_t w, int32_t h, uint32_t ink) {
    std::vector<std::string> rows;
    for (int32_t y = y0; y < y0 + h; y++) {
      std::string row;
      for (int32_t x = x0; x < x0 + w; x++) {
        const uint32_t p = Pixel(x, y);
        row += p == ink ? '#' : p == kBackground ? '.' : '?';
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST_F(TextLib, StyleColoursAndEncodingFollowTheirArgumentRules) {
  RunCases({
      {"SetFontStyle", {2, 1}, "error 1193"},        // BOLD takes no more arguments
      {"SetFontStyle", {1, 0xFF}, "error 1193"},     // nor does NORMAL
      {"SetFontStyle", {64, 0xFF, 2, 9}, "error 1193"},  // EDGE takes colour and size only
      {"SetFontStyle", {32, 0xFF, 100}, ""},         // SHADOW: colour and a size clamped to 64
      {"SetFontStyle", {2 | 8}, ""},
      {"SetDefaultEncoding", {2}, "error 1055"},
      {"SetDefaultEncoding", {1}, ""},
      {"SetFontColor", {0x80FF0000u}, ""},
  });
  EXPECT_EQ(ts().style.style, uint32_t(1 | 32 | 2 | 8));
  EXPECT_EQ(ts().style.shadowColour, 0xFFu);
  EXPECT_EQ(ts().style.shadowSize, 64);
  EXPECT_EQ(ts().style.fontColour, 0x80FF0000u);
  EXPECT_EQ(ts().defaultEncoding, 1);
  RunCases({{"SetFontStyle", {32, 0, 4, 12}, ""}});
  EXPECT_EQ(ts().style.shadowDirection, 3);  // above 7: south-east
  RunCases({{"SetFontStyle", {1 | 4}, ""}});
  EXPECT_EQ(ts().style.style, 1u);  // the NORMAL bit clears every other
}

TEST_F(TextLib, TabsMarginsAndTheCursor) {
  std::vector<vktest::CallCase> cases;
  for (int i = 0; i < 32; i++) cases.push_back({"AddTab", {(i * 37) % 100}, ""});
  cases.push_back({"AddTab", {5}, "error 1066"});
  cases.push_back({"ResetTabs", {}, ""});
  cases.push_back({"AddTab", {-1}, "error 1154"});
  cases.push_back({"AddTab", {40, 10, 40, 20}, ""});
  RunCases(cases);
  EXPECT_EQ(display.tabStops, (std::vector<int32_t>{10, 20, 40, 40}));
  RunCases({
      {"Locate", {-100000, 0}, "error 1337"},  // CENTER
      {"Locate", {0, -60000}, "error 1337"},   // BOTTOM
      {"SetMargins", {30, 30}, "error 1055"},
      {"SetMargins", {-5, 1000}, ""},          // clamped to the output
  });
  EXPECT_EQ(display.textMarginLeft, 0);
  EXPECT_EQ(display.textMarginRight, kWidth - 1);
  RunCases({
      {"SetMargins", {20, 100}, ""},
      {"Locate", {-100001, 7}, ""},  // only the exact constants are refused
  });
  EXPECT_EQ(CursorAt(), std::make_pair(20, 7));  // outside the margins: the left one
  RunCases({{"Locate", {50, 9}, ""}});
  EXPECT_EQ(CursorAt(), std::make_pair(50, 9));
  RunCases({{"SetMargins", {200, 1000}, "error 1055"}});  // compared after clamping
}

TEST_F(TextLib, MeasuringInTheCurrentFontAndStyle) {
  RunCases({
      {"TextHeight", {"anything"}, "8"},
      {"TextWidth", {""}, "0"},
      {"TextWidth", {"AB"}, "16"},
      {"TextWidth", {"AB", 2}, "error 1055"},
      {"SetFont", {":::default_sans", 20}, ""},
      {"TextHeight", {"x"}, "20"},
      {"TextWidth", {"\xC3(", 1}, "error 1303"},  // not UTF-8
  });
  // Latin-1 0xE9 measures as UTF-8 C3 A9; by default every byte is a character.
  EXPECT_EQ(Call("TextWidth", {"caf\xE9"}), Call("TextWidth", {"caf\xC3\xA9", 1}));
  EXPECT_NE(Call("TextWidth", {"caf\xE9"}), Call("TextWidth", {"caf\xC3\xA9"}));
  // Edge and shadow widen the extent, not the advance.
  RunCases({{"SetFont", {":::default_bitmap", 8}, ""}, {"SetFontStyle", {64, 0, 2}, ""}});
  ASSERT_EQ(Call("TextExtent", {"AB"}), "{}");  // a table of named fields
  auto field = [&](const char* name) {
    vmPushString(L, name);
    vmGetTable(L, 1);
    const double v = vmToNumber(L, -1);
    vmSetTop(L, 1);
    return v;
  };
  EXPECT_EQ(field("width"), 16);
  EXPECT_EQ(field("height"), 8);
  EXPECT_EQ(field("minx"), -2);
  EXPECT_EQ(field("miny"), field("maxy") - 8 - 3);
}

TEST_F(TextLib, FontNodesAndTheCurrentFont) {
  vkFont* builtin = FontState(L).builtin.get();
  EXPECT_EQ(ts().style.font, builtin);
  RunCases({
      {"OpenFont", {1, ":::default_sans", 12}, ""},
      {"OpenFont", {2, ":::default_mono", 12, Arg::table()}, ""},
      {"UseFont", {1}, ""},
      {"TextHeight", {""}, "12"},
      {"CloseFont", {1}, ""},
      {"CloseFont", {1}, "error 1334"},
      {"UseFont", {1}, "error 1334"},
      {"Print", {"still prints"}, ""},  // the current font outlives its node
      {"OpenFont", {nullptr, ":::default_bitmap", 8}, "handle"},
      {"SetFont", {"Fonts/topaz.font", 9}, "error 1335"},
      {"SetFont", {"nosuchfont", 9}, "error 1064"},
      {"FreeGlyphCache", {0}, ""},
      {"FreeGlyphCache", {1, 2}, ""},
      {"FreeGlyphCache", {1, 7}, "error 1334"},
      {"CloseFont", {Arg::handle(this)}, "error 1041"},
  });
  EXPECT_EQ(ts().style.font->size, 12);
  EXPECT_EQ(ts().style.font->engine, kFontTrueType);
  EXPECT_EQ(FontState(L).nodes.size(), 2u);
  // The same name in another case is the same font; SetFont resets the style.
  vmPushString(L, "inbuilt");
  vmNewTable(L);
  SetFieldInt(L, "engine", FONTENGINE_INBUILT);
  vmSetTable(L, VK_GLOBALSINDEX);
  RunCases({{"SetFontStyle", {2}, ""}, {"SetFont", {"BITSTREAM vera SANS", 12, Arg::global("inbuilt")}, ""}});
  EXPECT_EQ(ts().style.style, 1u);
  vkFont* sans = nullptr;
  ASSERT_EQ(OpenFontByName(L, "Bitstream Vera Sans", 12, FONTENGINE_INBUILT, 1, false, &sans), 0u);
  EXPECT_EQ(ts().style.font, sans);
}

TEST_F(TextLib, PrintDrawsTheBuiltinFontAtTheCursor) {
  RunCases({{"Locate", {4, 3}, ""}, {"Print", {"AB"}, ""}});
  EXPECT_EQ(Rows(4, 3, 16, 8, kWhite), BuiltinRows("AB"));
  EXPECT_EQ(CursorAt(), std::make_pair(20, 3));
  // NPrint ends the line: back to the left margin, one line down.
  RunCases({{"SetFontColor", {0xFF8000}, ""}, {"NPrint", {"C"}, ""}});
  EXPECT_EQ(Rows(20, 3, 8, 8, 0xFF8000), BuiltinRows("C"));
  EXPECT_EQ(CursorAt(), std::make_pair(0, 11));
  // Arguments go through "tostring" and are joined by one blank.
  Clear();
  RunCases({{"Print", {1.5, "x", nullptr}, ""}});
  EXPECT_EQ(CursorAt(), std::make_pair(8 * 9, 11));
  EXPECT_EQ(Rows(0, 11, 72, 8, 0xFF8000), BuiltinRows("1.5 x Nil"));
  // A long text wraps at the right margin, words whole.
  Clear();
  RunCases({{"SetMargins", {8, 8 + 8 * 6 - 1}, ""}, {"Print", {"ab cd ef gh"}, ""}});
  EXPECT_EQ(Rows(8, 0, 48, 8, 0xFF8000), BuiltinRows("ab cd "));
  EXPECT_EQ(Rows(8, 8, 48, 8, 0xFF8000), BuiltinRows("ef gh "));
  EXPECT_EQ(CursorAt(), std::make_pair(8 + 40, 8));
  // A bad tag draws nothing and leaves the cursor.
  Clear();
  RunCases({{"Print", {"[x]oops"}, "error 1251"}, {"Print", {"[color=$FF]a[/color][/color]"}, "error 1252"}});
  EXPECT_EQ(CountDrawn(), 0);
  EXPECT_EQ(CursorAt(), std::make_pair(48, 8));
}

// A font whose cells are 65535 pixels wide, drawn straight: a line of a
// hundred shows its first glyph; a word of 40000 (past 32 bits of pixels)
// cannot have its plane made and fails with 1000, and the pen that passes
// the end of 32 bits behind it does not overflow.
TEST_F(TextLib, DrawingStraightAFontsWidestCells) {
  AmigaSize wide = SmallFont();
  wide.xSize = 65535;
  dir.Write("wide.font", AmigaContents({{"wide/4", 4}}));
  std::filesystem::create_directories(dir / "wide");
  dir.Write("wide/4", AmigaSizeFile(wide));
  RunCases({{"SetFont", {"wide", 4}, ""}});
  TextRunState(L).drawStraight = true;
  struct Case {
    const char* what;
    std::string text;
    const char* result;
    bool drawn;
  };
  const Case cases[] = {
      {"a hundred cells", std::string(100, 'A'), "", true},
      {"two words of 40000 cells", std::string(40000, 'A') + " " + std::string(40000, 'B'), "error 1000", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clear();
    RunCases({{"TextOut", {0, 0, c.text.c_str()}, c.result}});
    EXPECT_EQ(CountDrawn() > 0, c.drawn);
  }
}

TEST_F(TextLib, TextOutPlacesAlignsAndWraps) {
  RunCases({{"TextOut", {-100000, -100000, "AB"}, ""}});  // CENTER, CENTER
  // The picture is one row taller than the line (room for an underline).
  EXPECT_EQ(Rows((kWidth - 16) / 2, (kHeight - 9) / 2, 16, 8, kWhite), BuiltinRows("AB"));
  int ink = 0;
  for (const std::string& r : BuiltinRows("AB")) ink += int(std::count(r.begin(), r.end(), '#'));
  EXPECT_EQ(CountDrawn(), ink);  // nothing else drawn
  EXPECT_EQ(CursorAt(), std::make_pair(0, 0));  // TextOut leaves the cursor
  Clear();
  RunCases({{"TextOut", {10, 2, "ab cd", -80000, 24}, ""}});  // RIGHT, wrapped at 24
  EXPECT_EQ(Rows(10, 2, 16, 8, kWhite), BuiltinRows("ab"));
  EXPECT_EQ(Rows(10, 10, 16, 8, kWhite), BuiltinRows("cd"));
  Clear();
  vmPushString(L, "badencoding");
  vmNewTable(L);
  SetFieldInt(L, "encoding", 2);
  vmSetTable(L, VK_GLOBALSINDEX);
  RunCases({
      {"TextOut", {0, 0, "x", 0, -1}, "error 1055"},
      {"TextOut", {0, 0, "x", Arg::global("badencoding")}, "error 1055"},
  });
  EXPECT_EQ(CountDrawn(), 0);
}

TEST_F(TextLib, TextOutTakesWrapTablesAndEncodingFromItsOptions) {
  vmPushString(L, "opts");
  vmNewTable(L);
  SetFieldInt(L, "wordwrap", 0);
  SetFieldInt(L, "encoding", 1);
  vmPushString(L, "wordwraptable");
  vmNewTable(L);
  vmPushNumber(L, 2);
  vmRawSetI(L, -2, 0);
  vmRawSet(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  RunCases({{"TextOut", {0, 0, "ab cd \xC3\xA9", Arg::global("opts")}, ""}});
  EXPECT_EQ(Rows(0, 0, 48, 8, kWhite), BuiltinRows("ab cd "));
  EXPECT_EQ(Rows(0, 8, 8, 8, kWhite), BuiltinRows("\xE9"));
}

// TrueType text printed antialiased on the display: FreeType's coverage of
// each glyph at the font's pixel size, the colour blended over the
// background by the pixel core's rule (full coverage copies the colour).
TEST_F(TextLib, AntialiasedTrueTypeMatchesFreeTypeRendering) {
  RunCases({
      {"SetFont", {":::default_sans", 24}, ""},
      {"SetFontStyle", {16}, ""},
      {"SetFontColor", {0xFFC080}, ""},
      {"TextOut", {5, 4, "Wg"}, ""},
  });
  vkFont* font = ts().style.font;
  ASSERT_EQ(font->engine, kFontTrueType);
  const std::vector<uint8_t> cover = FreeTypeLine(std::string(kVeraDir) + "/Vera.ttf",
                                                  font->trueType->glyphs.pixelSize, "Wg", 5, 4 + font->baseline,
                                                  kWidth, kHeight);
  int covered = 0, mismatches = 0;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++) {
      const uint8_t a = cover[size_t(y) * kWidth + x];
      covered += a != 0;
      const uint32_t want = BlendedInk(0xFFC080, kBackground, a);
      if (Pixel(x, y) != want && mismatches++ < 12)
        ADD_FAILURE() << x << "," << y << " a=" << int(a) << " got " << std::hex << Pixel(x, y) << " want " << want;
    }
  EXPECT_GT(covered, 100);
  EXPECT_EQ(mismatches, 0);
}

// Plain texts skip the picture and go straight into the display: the
// pixels and the cursor must be those the picture gives, for both kinds of
// coverage, glyphs that reach into their neighbours, special positions and
// text cut by the display's edges.
TEST_F(TextLib, DrawingStraightGivesThePicturesPixels) {
  struct Case {
    const char* font;
    int32_t size;
    uint32_t style;
    const char* command;
    std::vector<Arg> args;
  };
  const Case cases[] = {
      {":::default_bitmap", 8, 1, "Print", {"Hello, world"}},
      {":::default_bitmap", 8, 1, "NPrint", {"two", "words"}},
      {":::default_sans", 17, 16, "TextOut", {3, 2, "fj Wj AVA ffi j"}},
      {":::default_sans", 17, 1, "TextOut", {3, 2, "fj Wj AVA ffi j"}},
      {":::default_serif", 30, 16, "TextOut", {-7, -60000, "Quijote jjj\nsecond line"}},  // BOTTOM
      {":::default_mono", 22, 16, "TextOut", {120, 30, "runs off the edges"}},
      {":::default_sans", 13, 16, "Print", {"a line that fits"}},
      {":::default_sans", 13, 16, "TextOut", {0, 0, "wrapped but one line", 0, 150}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.font) + " " + c.command + " " + c.args[c.args.size() > 2 ? 2 : 0].text);
    std::vector<uint32_t> shown[2];
    std::pair<int32_t, int32_t> cursor[2];
    for (int straight = 0; straight < 2; straight++) {
      Clear();
      TextRunState(L).drawStraight = straight != 0;
      RunCases({{"SetFont", {c.font, c.size}, ""},
                {"SetFontStyle", {c.style}, ""},
                {"SetFontColor", {0xE0F040}, ""},
                {"Locate", {6, 40}, ""},
                {c.command, c.args, ""}});
      for (int32_t y = 0; y < kHeight; y++)
        for (int32_t x = 0; x < kWidth; x++) shown[straight].push_back(Pixel(x, y));
      cursor[straight] = CursorAt();
    }
    EXPECT_GT(CountDrawn(), 10);
    EXPECT_EQ(shown[0], shown[1]);
    EXPECT_EQ(cursor[0], cursor[1]);
  }
}

// Display options scale a text: a bitmap font's drawing is scaled (each
// pixel becomes a 2 x 2 block), a scalable font is drawn at the scale
// itself and is back at scale 1 afterwards.
TEST_F(TextLib, TextOutScalesByItsDisplayOptions) {
  vmPushString(L, "double");
  vmNewTable(L);
  SetFieldNumber(L, "scalex", 2);
  SetFieldNumber(L, "scaley", 2);
  vmSetTable(L, VK_GLOBALSINDEX);
  RunCases({{"TextOut", {4, 2, "AB", Arg::global("double")}, ""}});
  std::vector<std::string> doubled;
  for (const std::string& row : BuiltinRows("AB")) {
    std::string wide;
    for (char c : row) wide += std::string(2, c);
    doubled.push_back(wide);
    doubled.push_back(wide);
  }
  EXPECT_EQ(Rows(4, 2, 32, 16, kWhite), doubled);
  Clear();
  RunCases({{"SetFont", {":::default_sans", 12}, ""}, {"TextOut", {0, 0, "Hi", Arg::global("double")}, ""}});
  vkFont* font = ts().style.font;
  EXPECT_EQ(font->scaleX, 1.0);
  EXPECT_EQ(font->height, 12);
  int lowest = 0;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++)
      if (Pixel(x, y) != kBackground) lowest = y;
  EXPECT_GT(lowest, 12);  // drawn at 24 pixels a line
  EXPECT_LT(lowest, 24);
}

// GetAvailableFonts lists the program's "Fonts" folder (the system knows no
// fonts here): a TrueType face with its weight and slant, an Amiga font with
// its sizes, numbered from 0.
TEST_F(TextLib, GetAvailableFontsListsTheFontFolders) {
  std::filesystem::create_directories(dir / "Fonts");
  std::filesystem::copy_file(std::string(kVeraDir) + "/VeraBI.ttf", dir / "Fonts/VeraBI.ttf");
  dir.Write("Fonts/blocks.font", AmigaContents({{"blocks/8", 8}, {"blocks/11", 11}}));
  ASSERT_EQ(Call("GetAvailableFonts", {}).substr(0, 1), "{");
  auto field = [&](int item, const char* name) {
    vmRawGetI(L, 1, item);
    vmPushString(L, name);
    vmGetTable(L, -2);
    std::string v = vmType(L, -1) == VK_TSTRING ? vmToString(L, -1) : std::to_string(int(vmToNumber(L, -1)));
    vmSetTop(L, 1);
    return v;
  };
  auto sizes = [&](int item) {
    vmRawGetI(L, 1, item);
    vmPushString(L, "sizes");
    vmGetTable(L, -2);
    std::vector<int> out;
    for (int k = 0;; k++) {
      vmRawGetI(L, -1, k);
      if (vmType(L, -1) == VK_TNIL) break;
      out.push_back(int(vmToNumber(L, -1)));
      vmSetTop(L, -2);
    }
    vmSetTop(L, 1);
    return out;
  };
  vmRawGetI(L, 1, 2);
  EXPECT_EQ(vmType(L, -1), VK_TNIL);  // two fonts, at 0 and 1
  vmSetTop(L, 1);
  const int vera = field(0, "bitmap") == "0" ? 0 : 1, blocks = 1 - vera;
  EXPECT_EQ(field(vera, "name"), "Bitstream Vera Sans Bold Oblique");
  EXPECT_EQ(field(vera, "family"), "Bitstream Vera Sans");
  EXPECT_EQ(field(vera, "weight"), "200");
  EXPECT_EQ(field(vera, "slant"), "110");
  EXPECT_EQ(sizes(vera), std::vector<int>{});
  EXPECT_EQ(field(blocks, "name"), "blocks");
  EXPECT_EQ(field(blocks, "bitmap"), "1");
  EXPECT_EQ(sizes(blocks), (std::vector<int>{8, 11}));
}

}  // namespace

