// FreeType's reference rendering for the text tests.
#include "ftreference.h"

#include <algorithm>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "pixel/alphakernels.h"

namespace fonttest {

std::vector<uint8_t> FreeTypeLine(const std::string& file, int32_t pixelSize, const std::string& text, int32_t x,
                                  int32_t baseY, int32_t w, int32_t h) {
  std::vector<uint8_t> cover(size_t(w) * h, 0);
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&lib) != 0) return cover;
  if (FT_New_Face(lib, file.c_str(), 0, &face) == 0 && FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize)) == 0) {
    int32_t pen = x;
    FT_UInt previous = 0;
    for (unsigned char ch : text) {
      const FT_UInt index = FT_Get_Char_Index(face, FT_ULong(ch));
      if (previous) {
        FT_Vector k{};
        FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &k);
        pen += int32_t(k.x >> 6);
      }
      if (FT_Load_Glyph(face, index, FT_LOAD_NO_AUTOHINT) != 0 ||
          FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
        break;
      const FT_Bitmap& bm = face->glyph->bitmap;
      for (uint32_t r = 0; r < bm.rows; r++)
        for (uint32_t c = 0; c < bm.width; c++) {
          const int32_t tx = pen + face->glyph->bitmap_left + int32_t(c);
          const int32_t ty = baseY - face->glyph->bitmap_top + int32_t(r);
          if (tx < 0 || ty < 0 || tx >= w || ty >= h) continue;
          uint8_t& d = cover[size_t(ty) * w + tx];
          d = std::max(d, bm.buffer[r * bm.pitch + c]);
        }
      pen += int32_t((face->glyph->advance.x + 32) >> 6);
      previous = index;
    }
  }
  if (face) FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return cover;
}

uint32_t BlendedInk(uint32_t ink, uint32_t background, uint8_t a) {
  if (a == 0) return background;
  if (a == 255) return ink;
  uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) out |= uint32_t(BlendChannel((ink >> s) & 0xFF, (background >> s) & 0xFF, a)) << s;
  return out;
}

}  // namespace fonttest
