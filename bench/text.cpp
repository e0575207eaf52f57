// What laying out and printing text costs: a 10,000-word paragraph in Vera
// Sans at 16 pixels, wrapped at 1920 pixels and drawn onto a 1920 x 1080
// display (what falls below it is clipped), antialiased and one-bit; one
// iteration is the whole paragraph. Beside it, the same paragraph wrapped and
// drawn by FreeType directly from the same Vera.ttf at the same pixel size,
// with the rendered glyphs of the text kept in a cache as a text renderer
// would keep them; bench/text_pygame.py does it in pygame (give it the
// pixel size this prints). The display has
// no window: everything lands in its background buffer.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/graphicsstate.h"
#include "text/textlib.h"
#include "text/textstate.h"
#include "text/truetype.h"
#include "textscene.h"

namespace {

using benchtext::kH;
using benchtext::kVera;
using benchtext::kW;
using Scene = benchtext::TextScene;

constexpr int32_t kWords = 10000, kSize = 16;

const std::string& Paragraph() {
  static const std::string text = benchtext::MakeParagraph(kWords);
  return text;
}

Scene& TheScene() {
  static Scene* scene = new Scene(kSize);
  return *scene;
}

void BM_LayoutAndPrint(benchmark::State& state) {
  Scene& s = TheScene();
  const bool antialias = state.range(0) != 0;
  for (auto _ : state) {
    vkTextLayout layout;
    layout.style.font = s.font;
    layout.style.style = kStyleNormal | (antialias ? kStyleAntialias : 0);
    layout.style.fontColour = 0xFFFFFF;
    layout.text = Paragraph();
    layout.wrapWidth = kW;
    vkTextPicture picture;
    const vkTextWindow window{0, 0, kW, kH};  // TextOut at 0, 0 of the display
    if (LayoutText(s.L, &layout, false, &picture, &window) != 0) state.SkipWithError("layout failed");
    PutTextPicture(s.L, kTextKindTextOut, layout, picture, picture.offsetX, picture.offsetY);
    benchmark::DoNotOptimize(s.back->pixels);
  }
  state.SetLabel(antialias ? "antialiased" : "one-bit");
}
BENCHMARK(BM_LayoutAndPrint)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// Coverage [a] of [s] over [d], two channels at a time.
inline uint32_t Blend(uint32_t s, uint32_t d, uint32_t a) {
  const uint32_t na = 256 - a;
  const uint32_t rb = (((d & 0x00FF00FFu) * na + (s & 0x00FF00FFu) * a) >> 8) & 0x00FF00FFu;
  const uint32_t g = (((d & 0x0000FF00u) * na + (s & 0x0000FF00u) * a) >> 8) & 0x0000FF00u;
  return rb | g;
}

// The peer: FreeType itself, the pixel size our font chose, glyphs rendered
// once and kept, words wrapped by their advances, coverage blended (or bits
// set) into the same kind of ARGB buffer.
struct FreeTypePeer {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  struct Glyph {
    std::vector<uint8_t> cover;  // 0..255 per pixel
    int32_t left = 0, top = 0, width = 0, rows = 0, advance = 0;
    bool made = false;
  };
  std::array<Glyph, 256> glyphs[2];
  std::vector<uint32_t> target = std::vector<uint32_t>(size_t(kW) * kH);
  int32_t lineHeight = 0, ascender = 0;

  explicit FreeTypePeer(int32_t pixelSize) {
    FT_Init_FreeType(&lib);
    FT_New_Face(lib, kVera, 0, &face);
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize));
    lineHeight = int32_t(face->size->metrics.height >> 6);
    ascender = int32_t(face->size->metrics.ascender >> 6);
  }
  ~FreeTypePeer() {
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
  }
  const Glyph& Get(unsigned char c, bool antialias) {
    Glyph& g = glyphs[antialias][c];
    if (g.made) return g;
    g.made = true;
    FT_Load_Char(face, c, FT_LOAD_RENDER | (antialias ? 0 : FT_LOAD_TARGET_MONO));
    const FT_Bitmap& bm = face->glyph->bitmap;
    g.left = face->glyph->bitmap_left, g.top = face->glyph->bitmap_top;
    g.width = int32_t(bm.width), g.rows = int32_t(bm.rows);
    g.advance = int32_t((face->glyph->advance.x + 32) >> 6);
    g.cover.resize(size_t(g.width) * g.rows);
    for (int32_t r = 0; r < g.rows; r++)
      for (int32_t x = 0; x < g.width; x++) {
        const uint8_t* row = bm.buffer + r * bm.pitch;
        g.cover[size_t(r) * g.width + x] = antialias ? row[x] : ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255;
      }
    return g;
  }
  void Draw(const std::string& text, bool antialias, uint32_t colour) {
    int32_t penX = 0, baseY = ascender;
    size_t i = 0;
    while (i < text.size()) {
      size_t end = text.find(' ', i);
      if (end == std::string::npos) end = text.size();
      int32_t width = 0;
      for (size_t k = i; k < end; k++) width += Get(uint8_t(text[k]), antialias).advance;
      if (penX > 0 && penX + width > kW) penX = 0, baseY += lineHeight;
      for (size_t k = i; k < end && baseY - ascender < kH; k++) {
        const Glyph& g = Get(uint8_t(text[k]), antialias);
        for (int32_t r = 0; r < g.rows; r++) {
          const int32_t y = baseY - g.top + r;
          if (y < 0 || y >= kH) continue;
          uint32_t* row = target.data() + size_t(y) * kW;
          for (int32_t c = 0; c < g.width; c++) {
            const int32_t x = penX + g.left + c;
            const uint8_t a = g.cover[size_t(r) * g.width + c];
            if (!a || x < 0 || x >= kW) continue;
            row[x] = a == 255 ? colour : Blend(colour, row[x], a);
          }
        }
        penX += g.advance;
      }
      if (end < text.size()) penX += Get(' ', antialias).advance;
      i = end + 1;
    }
  }
};

void BM_FreeTypeDirect(benchmark::State& state) {
  Scene& s = TheScene();
  const bool antialias = state.range(0) != 0;
  FreeTypePeer peer(s.font->trueType->glyphs.pixelSize);
  for (auto _ : state) {
    peer.Draw(Paragraph(), antialias, 0xFFFFFF);
    benchmark::DoNotOptimize(peer.target.data());
  }
  state.SetLabel(std::string(antialias ? "antialiased" : "one-bit") + ", pixel size " +
                 std::to_string(s.font->trueType->glyphs.pixelSize));
}
BENCHMARK(BM_FreeTypeDirect)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
