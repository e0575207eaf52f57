// Text layout in the built-in font (8 x 8 cells): word wrap and given wrap
// tables, tabs and their decisions, alignment, trimming, style tags and
// their errors, encodings; EdgeDraw's geometry, synthetic styles, shadow
// and edge against pixels worked out here by brute force.
#include <cstring>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "support/fontfiles.h"
#include "support/fontfuzz.h"
#include "engine/vmapi.h"
#include "text/textlayout.h"

namespace {

using namespace fonttest;

struct LaidRun {
  std::string text;
  int32_t x, line;
  bool operator==(const LaidRun&) const = default;
};
std::ostream& operator<<(std::ostream& o, const LaidRun& r) { return o << "{\"" << r.text << "\", " << r.x << ", " << r.line << "}"; }

std::vector<LaidRun> Runs(const std::vector<vkTextRun>& runs) {
  std::vector<LaidRun> out;
  for (const vkTextRun& r : runs) out.push_back({r.text, r.x, r.lineOffset});
  return out;
}

class TextLayout : public FontTest {};

TEST_F(TextLayout, LinesAndRuns) {
  struct Case {
    const char* what;
    const char* text;
    int32_t wrap;
    std::vector<int32_t> wrapTable;  // given when not empty
    std::vector<int32_t> tabs;
    int32_t leftMargin, align;
    std::vector<LaidRun> runs;
    std::vector<int32_t> wraps, tabDecisions;  // what the layout decided
  };
  const Case cases[] = {
      {"wrap", "aaa bb cccc d", 40, {}, {}, 0, kAlignLeft,
       {{"aaa ", 0, 0}, {"bb ", 0, 8}, {"cccc ", 0, 16}, {"d", 0, 24}}, {1, 2, 3}, {}},
      {"given wrap table", "aaa bb cccc d", 40, {2}, {}, 0, kAlignLeft,
       {{"aaa ", 0, 0}, {"bb ", 32, 0}, {"cccc ", 0, 8}, {"d", 40, 8}}, {2}, {}},
      {"a long first word stays", "abcdef gh", 16, {}, {}, 0, kAlignLeft,
       {{"abcdef ", 0, 0}, {"gh", 0, 8}}, {1}, {}},
      {"no wrap", "aaa bb cccc d", 0, {}, {}, 0, kAlignLeft,
       {{"aaa ", 0, 0}, {"bb ", 32, 0}, {"cccc ", 56, 0}, {"d", 96, 0}}, {}, {}},
      {"line feeds", "ab\ncd\n\ne", 0, {}, {}, 0, kAlignLeft,
       {{"ab", 0, 0}, {"cd", 0, 8}, {"e", 0, 24}}, {}, {}},
      {"tabs", "a\tb\tc\td", 0, {}, {20, 50}, 0, kAlignLeft,
       {{"a", 0, 0}, {"b", 20, 0}, {"c", 50, 0}, {"d", 0, 8}}, {}, {0, 1, -1}},
      {"tabs from a margin", "a\tb", 0, {}, {5, 20}, 10, kAlignLeft,
       {{"a", 0, 0}, {"b", 10, 0}}, {}, {1}},
      {"tab past the wrap width", "a\tb\tc", 45, {}, {20, 50}, 0, kAlignLeft,
       {{"a", 0, 0}, {"b", 20, 0}, {"c", 0, 8}}, {}, {0, -1}},
      {"right", "ab\nabcd", 0, {}, {}, 0, kAlignRight, {{"ab", 16, 0}, {"abcd", 0, 8}}, {}, {}},
      {"center", "ab\nabcd", 0, {}, {}, 0, kAlignCenter, {{"ab", 8, 0}, {"abcd", 0, 8}}, {}, {}},
      {"right trims trailing blanks", "ab  \nabcd", 0, {}, {}, 0, kAlignRight,
       {{"ab", 16, 0}, {"abcd", 0, 8}}, {}, {}},
      {"left keeps trailing blanks", "ab  \ncd", 0, {}, {}, 0, kAlignLeft, {{"ab  ", 0, 0}, {"cd", 0, 8}}, {}, {}},
      {"underline trims", "[u]ab  [/u]", 0, {}, {}, 0, kAlignLeft, {{"ab", 0, 0}}, {}, {}},
      {"only blanks", "   ", 0, {}, {}, 0, kAlignRight, {}, {}, {}},
      {"empty text is one blank", "", 0, {}, {}, 0, kAlignLeft, {{" ", 0, 0}}, {}, {}},
      {"style changes cut runs", "a[b]b[/b]c", 0, {}, {}, 0, kAlignLeft, {{"a", 0, 0}, {"b", 8, 0}, {"c", 16, 0}}, {}, {}},
      {"doubled brackets", "[[b]]x", 0, {}, {}, 0, kAlignLeft, {{"[b]x", 0, 0}}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vkTextLayout layout;
    layout.text = c.text;
    layout.wrapWidth = c.wrap;
    layout.tabs = c.tabs;
    layout.leftMargin = c.leftMargin;
    layout.align = c.align;
    if (!c.wrapTable.empty()) layout.wrapTable = c.wrapTable, layout.wrapTableSet = true;
    std::vector<vkTextRun> runs;
    ASSERT_EQ(LayoutRuns(L, &layout, false, &runs), 0u);
    EXPECT_EQ(Runs(runs), c.runs);
    EXPECT_EQ(layout.wrapTable, c.wraps);
    EXPECT_EQ(layout.tabTable, c.tabDecisions);
    // A second layout of the same record repeats the decisions.
    if (c.wrap) layout.wrapTableSet = true;
    layout.tabTableSet = true;
    std::vector<vkTextRun> again;
    ASSERT_EQ(LayoutRuns(L, &layout, false, &again), 0u);
    EXPECT_EQ(Runs(again), c.runs);
  }
}

TEST_F(TextLayout, TagsSetStylesOrFail) {
  struct Case {
    const char* text;
    uint32_t code;
    uint32_t lastStyle, lastColour;
  };
  const Case cases[] = {
      {"[b]a", 0, kStyleNormal | kStyleBold, 0xFFFFFF},
      {"[ B ]a[ / b ]c", 0, kStyleNormal, 0xFFFFFF},
      {"[i][u]a", 0, kStyleNormal | kStyleItalic | kStyleUnderlined, 0xFFFFFF},
      {"[color=$FF0000]a", 0, kStyleNormal, 0xFF0000},
      {"[color = 0x00FF00 ]a", 0, kStyleNormal, 0x00FF00},
      {"[color=$FF0000][color=255]a[/color]b", 0, kStyleNormal, 0xFF0000},
      {"[shadow=$FF,64,7]a", 0, kStyleNormal | kStyleShadow, 0xFFFFFF},
      {"[edge=$FF,8]a[/edge]b", 0, kStyleNormal, 0xFFFFFF},
      {"[x]a", 1251, 0, 0},
      {"[bold]a", 1251, 0, 0},
      {"[/color]a", 1252, 0, 0},
      {"[color]a", 1253, 0, 0},
      {"[edge=$FF,9]a", 1055, 0, 0},
      {"[shadow=$FF,65]a", 1055, 0, 0},
      {"[shadow=$FF,0]a", 1055, 0, 0},
      {"[b", 1108, 0, 0},
      {"[color=$FF", 1108, 0, 0},
      {"[color=\"red\"]a", 1024, 0, 0},
      {"[color=%2]a", 1024, 0, 0},
      {"[color=#RED]a", 1042, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    vkTextLayout layout;
    layout.text = c.text;
    std::vector<vkTextRun> runs;
    ASSERT_EQ(LayoutRuns(L, &layout, false, &runs), c.code);
    if (c.code) continue;
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back().style.style, c.lastStyle);
    EXPECT_EQ(runs.back().style.fontColour, c.lastColour);
  }
  // Plain text ignores tags but still collapses doubled brackets.
  vkTextLayout layout;
  layout.text = "[x][[y]]";
  std::vector<vkTextRun> runs;
  ASSERT_EQ(LayoutRuns(L, &layout, true, &runs), 0u);
  EXPECT_EQ(Runs(runs), (std::vector<LaidRun>{{"[x][y]", 0, 0}}));
  // The built-in font cannot antialias.
  layout.style.style |= kStyleAntialias;
  EXPECT_EQ(LayoutRuns(L, &layout, false, &runs), 1255u);
}

TEST_F(TextLayout, EncodingsCountCharacters) {
  for (auto [encoding, width] : {std::pair{ENCODING_ISO8859_1, 16}, std::pair{ENCODING_UTF8, 8}}) {
    vkTextMetrics m;
    ASSERT_EQ(MeasureText(L, "\xC3\xA9", 2, encoding, vkTextStyle{}, &m), 0u);
    EXPECT_EQ(m.advance, width);
  }
  vkTextLayout layout;
  layout.text = "a\xFF";
  layout.encoding = ENCODING_UTF8;
  std::vector<vkTextRun> runs;
  EXPECT_EQ(LayoutRuns(L, &layout, false, &runs), 1303u);
}

// The glyph of [text] in the built-in font as a set of pixels.
std::vector<std::string> Plain(vkFont* font, const char* text, int32_t w) {
  vkPlanePtr mask = NewMask(w, 9);
  vkTextTarget t;
  t.mask = mask.get();
  RenderFontText(font, t, 0, 0, text, std::strlen(text), 0, 0);
  return MaskRows(mask.get());
}

bool At(const std::vector<std::string>& rows, int32_t x, int32_t y) {
  return y >= 0 && y < int32_t(rows.size()) && x >= 0 && x < int32_t(rows[y].size()) && rows[y][x] == '#';
}

TEST_F(TextLayout, EdgeDrawGeometryAndStyles) {
  const std::vector<std::string> glyph = Plain(fs().builtin.get(), "H", 8);
  struct Case {
    const char* what;
    uint32_t style;
    int32_t shadowDirection;
    int32_t width, height, offsetX, offsetY;
    // Whether picture pixel (x, y) is set, from the plain glyph.
    std::function<bool(int32_t, int32_t)> set;
  };
  const Case cases[] = {
      {"plain", 0, 3, 8, 9, 0, 0, [&](int x, int y) { return At(glyph, x, y); }},
      {"bold", kStyleBold, 3, 9, 9, 0, 0, [&](int x, int y) { return At(glyph, x, y) || At(glyph, x - 1, y); }},
      {"shadow east", kStyleShadow, 2, 10, 9, 0, 0, [&](int x, int y) { return At(glyph, x, y) || At(glyph, x - 2, y); }},
      {"shadow direction 8 is south-east", kStyleShadow, 8, 10, 11, 0, 0,
       [&](int x, int y) { return At(glyph, x, y) || At(glyph, x - 2, y - 2); }},
      {"shadow north-west", kStyleShadow, 7, 10, 11, -2, -2,
       [&](int x, int y) { return At(glyph, x - 2, y - 2) || At(glyph, x, y); }},
      {"edge", kStyleEdge, 3, 12, 13, -2, -2,
       [&](int x, int y) {
         for (int dy = -2; dy <= 2; dy++)
           for (int dx = -2; dx <= 2; dx++)
             if (At(glyph, x - 2 + dx, y - 2 + dy)) return true;
         return false;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vkTextLayout layout;
    layout.text = "H";
    layout.style.style = kStyleNormal | c.style;
    layout.style.shadowSize = 2;
    layout.style.shadowDirection = c.shadowDirection;
    layout.style.edgeSize = 2;
    vkTextPicture p;
    ASSERT_EQ(LayoutText(L, &layout, false, &p), 0u);
    EXPECT_EQ(p.width, c.width);
    EXPECT_EQ(p.height, c.height);
    EXPECT_EQ(p.offsetX, c.offsetX);
    EXPECT_EQ(p.offsetY, c.offsetY);
    EXPECT_EQ(p.alpha, nullptr);
    const std::vector<std::string> rows = MaskRows(p.mask.get());
    for (int32_t y = 0; y < p.height; y++)
      for (int32_t x = 0; x < p.width; x++) EXPECT_EQ(rows[y][x] == '#', c.set(x, y)) << x << "," << y;
  }
}

TEST_F(TextLayout, ColoursAndTransparency) {
  vkTextLayout layout;
  layout.text = "H";
  layout.style.style = kStyleNormal | kStyleShadow;
  layout.style.fontColour = 0x80FF0000;  // transparency 128
  layout.style.shadowColour = 0x0000FF;
  layout.style.shadowSize = 1;
  vkTextPicture p;
  ASSERT_EQ(LayoutText(L, &layout, false, &p), 0u);
  ASSERT_NE(p.alpha, nullptr);
  const std::vector<std::string> glyph = Plain(fs().builtin.get(), "H", 8);
  for (int32_t y = 0; y < p.height; y++)
    for (int32_t x = 0; x < p.width; x++) {
      const bool text = At(glyph, x, y), shadow = At(glyph, x - 1, y - 1);
      const uint32_t alpha = p.alpha->data[y * p.alpha->bytesPerRow + x];
      const uint32_t colour = ReadBitMapPixel(p.bitmap.get(), x, y) & 0xFFFFFF;
      if (text) {
        EXPECT_EQ(colour, 0xFF0000u);
        EXPECT_EQ(alpha, shadow ? 255u : 127u);
      } else if (shadow) {
        EXPECT_EQ(colour, 0x0000FFu);
        EXPECT_EQ(alpha, 255u);
      } else {
        EXPECT_EQ(alpha, 0u);
      }
    }
}

TEST_F(TextLayout, AntialiasedEdgeSumsCoverage) {
  vkFont* font = nullptr;
  ASSERT_EQ(OpenFontByName(L, ":::default_sans", 24, 0, 1, false, &font), 0u);
  for (int32_t e : {1, 8}) {
    SCOPED_TRACE(e);
    vkTextLayout layout;
    layout.text = "Wo";
    layout.style.font = font;
    layout.style.style = kStyleNormal | kStyleAntialias | kStyleEdge;
    layout.style.edgeSize = e;
    vkTextPicture p;
    ASSERT_EQ(LayoutText(L, &layout, false, &p), 0u);
    ASSERT_NE(p.alpha, nullptr);
    // The text's own coverage, placed as in the picture.
    vkPlanePtr cov = NewAlpha(p.width, p.height);
    vkTextTarget t;
    t.alpha = cov.get();
    ASSERT_EQ(RenderFontText(font, t, -p.offsetX, -p.offsetY, "Wo", 2, kStyleAntialias, 0), 0u);
    auto c = [&](int32_t x, int32_t y) -> uint32_t {
      return x < 0 || y < 0 || x >= p.width || y >= p.height ? 0 : cov->data[y * cov->bytesPerRow + x];
    };
    int mismatches = 0;
    for (int32_t y = 0; y < p.height; y++)
      for (int32_t x = 0; x < p.width; x++) {
        uint32_t sum = 0;
        for (int32_t dy = -e; dy <= e; dy++)
          for (int32_t dx = -e; dx <= e; dx++) sum += c(x + dx, y + dy);
        const uint32_t edge = std::min<uint32_t>(255, sum / uint32_t(2 * e + 1));
        mismatches += p.alpha->data[y * p.alpha->bytesPerRow + x] != std::max(edge, c(x, y));
      }
    EXPECT_EQ(mismatches, 0);
  }
}

TEST(TextFuzz, TagsAndLayout) {
  vkState* L = vmNewState();
  ASSERT_NE(L, nullptr);
  const char* seeds[] = {"[b]bold[/b] and [i]italic[/i]\n[u]under[/u]\tx",
                         "[color=$FF0000]red [shadow=$FF,3,5]s[/shadow][edge=#NONE,2]e[/edge][/color]",
                         "[[literal]] words that wrap at a narrow width\t\ttabs"};
  for (const char* s : seeds) FuzzTextLayout(L, reinterpret_cast<const uint8_t*>(s), std::strlen(s));
  std::mt19937 rng(7);
  const char alphabet[] = "[]/=,#$bicolorshadowedgeu 0123456789\t\nxyzABC\xC3\xA9\xFF";
  for (int n = 0; n < 3000; n++) {
    std::string s;
    const size_t len = rng() % 40;
    for (size_t k = 0; k < len; k++) s.push_back(alphabet[rng() % (sizeof alphabet - 1)]);
    FuzzTextLayout(L, reinterpret_cast<const uint8_t*>(s.data()), s.size());
  }
  vmCloseState(L);
}

}  // namespace
