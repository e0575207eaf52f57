// The FreeType engines: glyphs of the TrueType manager and of the system
// fonts pixel for pixel against FreeType's own rendering at the same size,
// the sizing rule, kerning, the remembered measurements, encodings, and the
// fallback to the native engines.
#include <cstring>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "platform/vkos_fonts.h"
#include "support/fontfiles.h"
#include "text/fonts.h"
#include "text/truetype.h"

namespace {

using namespace fonttest;

// FreeType's own rendering of one glyph, for reference.
struct Reference {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  Reference(const std::string& file, int32_t pixelSize) {
    EXPECT_EQ(FT_Init_FreeType(&lib), 0);
    EXPECT_EQ(FT_New_Face(lib, (std::string(kVeraDir) + "/" + file).c_str(), 0, &face), 0);
    EXPECT_EQ(FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)), 0);
  }
  ~Reference() {
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  // The coverage of [code] as a function of target pixels, with the pen at
  // (x, baseY).
  std::vector<uint8_t> Render(uint32_t code, bool antialias, int32_t w, int32_t h, int32_t x, int32_t baseY) {
    std::vector<uint8_t> out(size_t(w) * h);
    EXPECT_EQ(FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_NO_AUTOHINT), 0);
    EXPECT_EQ(FT_Render_Glyph(face->glyph, antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO), 0);
    const FT_Bitmap& bm = face->glyph->bitmap;
    for (uint32_t r = 0; r < bm.rows; r++)
      for (uint32_t c = 0; c < bm.width; c++) {
        const int32_t tx = x + face->glyph->bitmap_left + int32_t(c), ty = baseY - face->glyph->bitmap_top + int32_t(r);
        if (tx < 0 || ty < 0 || tx >= w || ty >= h) continue;
        const uint8_t* row = bm.buffer + r * bm.pitch;
        out[size_t(ty) * w + tx] = antialias ? row[c] : ((row[c >> 3] >> (7 - (c & 7))) & 1) * 255;
      }
    return out;
  }
};

class TrueTypeFonts : public FontTest {};

TEST_F(TrueTypeFonts, GlyphsEqualFreeTypeRendering) {
  struct Face {
    const char* name;
    const char* file;
  };
  const Face faces[] = {{"Bitstream Vera Sans", "Vera.ttf"},
                        {"Bitstream Vera Serif", "VeraSe.ttf"},
                        {"Bitstream Vera Sans Mono", "VeraMono.ttf"}};
  for (const Face& f : faces) InstallSystemFont(f.file);
  constexpr int32_t W = 64, H = 64, X = 9, Y = 5;
  for (const Face& f : faces)
    for (int32_t engine : {FONTENGINE_INBUILT, FONTENGINE_NATIVE})
      for (int32_t size : {11, 30}) {
        vkFont* font = nullptr;
        ASSERT_EQ(OpenFontByName(L, f.name, size, engine, 1, false, &font), 0u);
        ASSERT_EQ(font->engine, engine == FONTENGINE_INBUILT ? kFontTrueType : kFontSystem);
        const int32_t pixelSize = font->engine == kFontTrueType ? font->trueType->glyphs.pixelSize
                                                                : vkosSystemFontPixelSize(font->system);
        Reference ref(f.file, pixelSize);
        for (uint32_t code : {uint32_t('g'), uint32_t('W'), 0xE9u})
          for (bool antialias : {true, false}) {
            SCOPED_TRACE(std::string(f.name) + " engine " + std::to_string(engine) + " size " + std::to_string(size) +
                         " code " + std::to_string(code) + (antialias ? " antialiased" : " one-bit"));
            const std::vector<uint8_t> want = ref.Render(code, antialias, W, H, X, Y + font->baseline);
            const char text = char(code);
            const uint32_t style = antialias ? kStyleAntialias : 0;
            // Coverage into an alpha plane, bits into a mask.
            vkPlanePtr alpha = NewAlpha(W, H), mask = NewMask(W, H);
            vkTextTarget t;
            t.alpha = alpha.get();
            t.mask = mask.get();
            ASSERT_EQ(RenderFontText(font, t, X, Y, &text, 1, style, ENCODING_ISO8859_1), 0u);
            // The colour blended by coverage into a bitmap.
            vkBitMapPtr bitmap = NewBitMap(W, H, 0x204060);
            vkTextTarget c;
            c.bitmap = bitmap.get();
            c.colour = 0xFFC080;
            ASSERT_EQ(RenderFontText(font, c, X, Y, &text, 1, style, ENCODING_ISO8859_1), 0u);
            int mismatches = 0;
            for (int32_t y = 0; y < H; y++)
              for (int32_t x = 0; x < W; x++) {
                const uint8_t a = want[size_t(y) * W + x];
                uint32_t blended = 0;
                for (int s = 0; s < 24; s += 8) {
                  const int32_t src = (0xFFC080 >> s) & 0xFF, dst = (0x204060 >> s) & 0xFF;
                  blended |= uint32_t(uint8_t(dst + (((src - dst) * a) >> 8))) << s;
                }
                const uint32_t colour = a == 0 ? 0x204060 : a == 255 ? 0xFFC080 : blended;
                mismatches += alpha->data[y * alpha->bytesPerRow + x] != a;
                mismatches += ReadBitMapPixel(mask.get(), x, y) != (a ? 1u : 0u);
                mismatches += (ReadBitMapPixel(bitmap.get(), x, y) & 0xFFFFFF) != colour;
              }
            EXPECT_EQ(mismatches, 0);
          }
      }
}

TEST_F(TrueTypeFonts, SizeIsTheLineHeight) {
  // Pixel sizes the sizing rule gives the program's faces.
  struct Case {
    const char* name;
    int32_t size, pixelSize, baseline;
  };
  const Case cases[] = {
      {":::default_sans", 8, 5, 6},    {":::default_sans", 20, 16, 16},  {":::default_sans", 64, 53, 52},
      {":::default_serif", 20, 16, 16}, {":::default_mono", 20, 16, 16}, {":::default_truetype", 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.size));
    vkFont* font = nullptr;
    ASSERT_EQ(OpenFontByName(L, c.name, c.size, FONTENGINE_NATIVE, 1, false, &font), 0u);
    EXPECT_EQ(font->engine, kFontTrueType);
    EXPECT_EQ(font->height, c.size);
    EXPECT_EQ(font->trueType->glyphs.pixelSize, c.pixelSize);
    EXPECT_EQ(font->baseline, c.baseline);
    vkTextMetrics m;
    ASSERT_EQ(MeasureFontText(font, "Hello", 5, 0, ENCODING_ISO8859_1, &m), 0u);
    EXPECT_EQ(m.height, c.size);
  }
  vkFont* font = nullptr;
  for (int32_t size : {0, -5, 4097}) EXPECT_EQ(OpenFontByName(L, ":::default_sans", size, 0, 1, false, &font), 1064u);
}

TEST_F(TrueTypeFonts, KerningJoinsPairsThatHaveIt) {
  struct Case {
    const char* name;
    bool kerned;
  };
  for (const Case& c : {Case{":::default_sans", true}, Case{":::default_mono", false}}) {
    SCOPED_TRACE(c.name);
    vkFont* font = nullptr;
    ASSERT_EQ(OpenFontByName(L, c.name, 40, 0, 1, false, &font), 0u);
    vkTextMetrics a, v, av;
    ASSERT_EQ(MeasureFontText(font, "A", 1, 0, 0, &a), 0u);
    ASSERT_EQ(MeasureFontText(font, "V", 1, 0, 0, &v), 0u);
    ASSERT_EQ(MeasureFontText(font, "AV", 2, 0, 0, &av), 0u);
    if (c.kerned) {
      EXPECT_LT(av.advance, a.advance + v.advance);
    }
    else EXPECT_EQ(av.advance, a.advance + v.advance);
  }
}

TEST_F(TrueTypeFonts, RememberedMeasurementsEqualFreshOnes) {
  vkFont* font = nullptr;
  ASSERT_EQ(OpenFontByName(L, ":::default_sans", 24, 0, 1, false, &font), 0u);
  struct Step {
    const char* text;
    uint32_t style;
    int32_t encoding;
  };
  // Growing texts, the same text in another style and encoding.
  const Step steps[] = {{"AV", 0, 0},           {"AVA", 0, 0},        {"AVAV", 0, 0},   {"AV", kStyleBold, 0},
                        {"AV", kStyleItalic, 0}, {"AV", kStyleAntialias, 0}, {"\xC3\xA9t\xC3\xA9", 0, 1},
                        {"\xC3\xA9t\xC3\xA9", 0, 0}, {"AV", 0, 0}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.text);
    vkTextMetrics remembered, fresh;
    ASSERT_EQ(MeasureFontText(font, s.text, std::strlen(s.text), s.style, s.encoding, &remembered), 0u);
    ASSERT_EQ(MeasureFontText(font, s.text, std::strlen(s.text), s.style, s.encoding, &remembered), 0u);
    FreeFontGlyphCache(font);
    ASSERT_EQ(MeasureFontText(font, s.text, std::strlen(s.text), s.style, s.encoding, &fresh), 0u);
    EXPECT_EQ(remembered, fresh);
  }
  vkTextMetrics plain, bold;
  ASSERT_EQ(MeasureFontText(font, "AV", 2, 0, 0, &plain), 0u);
  ASSERT_EQ(MeasureFontText(font, "AV", 2, kStyleBold, 0, &bold), 0u);
  EXPECT_NE(plain, bold);
}

TEST_F(TrueTypeFonts, EncodingsAgreeAndBadUtf8IsRefused) {
  vkFont* font = nullptr;
  ASSERT_EQ(OpenFontByName(L, ":::default_serif", 30, 0, 1, false, &font), 0u);
  vkTextMetrics latin1, utf8;
  ASSERT_EQ(MeasureFontText(font, "caf\xE9", 4, 0, ENCODING_ISO8859_1, &latin1), 0u);
  ASSERT_EQ(MeasureFontText(font, "caf\xC3\xA9", 5, 0, ENCODING_UTF8, &utf8), 0u);
  EXPECT_EQ(latin1, utf8);
  vkPlanePtr a = NewAlpha(80, 40), b = NewAlpha(80, 40);
  vkTextTarget ta, tb;
  ta.alpha = a.get();
  tb.alpha = b.get();
  ASSERT_EQ(RenderFontText(font, ta, 2, 2, "caf\xE9", 4, kStyleAntialias, ENCODING_ISO8859_1), 0u);
  ASSERT_EQ(RenderFontText(font, tb, 2, 2, "caf\xC3\xA9", 5, kStyleAntialias, ENCODING_UTF8), 0u);
  EXPECT_EQ(0, std::memcmp(a->data, b->data, size_t(a->bytesPerRow) * a->height));
  for (const char* bad : {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "a\xFF"}) {
    SCOPED_TRACE(bad);
    vkTextMetrics m;
    EXPECT_EQ(MeasureFontText(font, bad, std::strlen(bad), 0, ENCODING_UTF8, &m), 1303u);
    EXPECT_EQ(RenderFontText(font, ta, 0, 0, bad, std::strlen(bad), 0, ENCODING_UTF8), 1303u);
    EXPECT_EQ(MeasureFontText(font, bad, std::strlen(bad), 0, ENCODING_ISO8859_1, &m), 0u);
  }
}

TEST_F(TrueTypeFonts, OpeningByNameSharesAndFallsBack) {
  vkFont *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
  ASSERT_EQ(OpenFontByName(L, ":::default_sans", 20, 0, 1, false, &a), 0u);
  ASSERT_EQ(OpenFontByName(L, "BITSTREAM VERA SANS", 20, FONTENGINE_INBUILT, 1, false, &b), 0u);
  EXPECT_EQ(a, b);
  ASSERT_EQ(OpenFontByName(L, "bitstream vera sans", 21, FONTENGINE_INBUILT, 1, false, &c), 0u);
  ASSERT_EQ(OpenFontByName(L, "bitstream vera sans", 20, FONTENGINE_INBUILT, 0, false, &d), 0u);
  EXPECT_NE(a, c);
  EXPECT_NE(a, d);
  EXPECT_EQ(a->name, "Bitstream Vera Sans");
  // Scaled fonts come back from the cache at scale 1.
  ScaleFont(a, 2.0, 1.5);
  EXPECT_EQ(a->height, 30);
  ASSERT_EQ(OpenFontByName(L, ":::default_sans", 20, 0, 1, false, &b), 0u);
  EXPECT_EQ(b->height, 20);
  EXPECT_EQ(b->scaleX, 1.0);
  // A name FreeType does not find is tried natively: an Amiga font here.
  AmigaSize size;
  size.widths = {8, 8, 8, 8};
  size.pixels.assign(8, std::string(32, '#'));
  Write("Fonts/blocky/8", AmigaSizeFile(size));
  Write("Fonts/blocky.font", AmigaContents({{"blocky/8", 8}}));
  vkFont* e = nullptr;
  ASSERT_EQ(OpenFontByName(L, "blocky", 8, FONTENGINE_INBUILT, 1, false, &e), 0u);
  EXPECT_EQ(e->engine, kFontAmiga);
  EXPECT_EQ(OpenFontByName(L, "no such font", 12, FONTENGINE_INBUILT, 1, false, &e), 1064u);
  EXPECT_EQ(ErrorInfo().errorText, "Cannot open font no such font with size 12!");
}

}  // namespace
