// Makes the glyph data of the built-in 8-pixel font: renders Bitstream Vera
// Sans Mono one-bit at 8 pixels into 8 x 8 cells (base line at row 6) for
// the characters 32 to 127 and 160 to 255, and prints text/builtinfont.cpp.
// Usage: mkbuiltinfont VeraMono.ttf > text/builtinfont.cpp
#include <cstdint>
#include <cstdio>

#include <ft2build.h>
#include FT_FREETYPE_H

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mkbuiltinfont VeraMono.ttf\n");
    return 2;
  }
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face) || FT_Set_Pixel_Sizes(face, 0, 8)) {
    std::fprintf(stderr, "mkbuiltinfont: cannot open %s\n", argv[1]);
    return 1;
  }
  uint8_t rows[8][192] = {};
  int image = 0;
  for (int c = 32; c < 256; c++) {
    if (c >= 128 && c < 160) continue;
    if (c != 127 && FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) == 0) {
      const FT_Bitmap& bm = face->glyph->bitmap;
      const int dx = (8 - int(face->glyph->advance.x >> 6)) / 2 + face->glyph->bitmap_left;
      const int dy = 6 - face->glyph->bitmap_top;
      for (unsigned y = 0; y < bm.rows; y++)
        for (unsigned x = 0; x < bm.width; x++) {
          if (!((bm.buffer[y * bm.pitch + (x >> 3)] >> (7 - (x & 7))) & 1)) continue;
          const int px = dx + int(x), py = dy + int(y);
          if (px < 0 || px > 7 || py < 0 || py > 7) continue;
          rows[py][image] |= uint8_t(0x80 >> px);
        }
    } else if (c == 127) {
      // The box that stands for characters the font has no image of.
      const uint8_t box[8] = {0x00, 0x7E, 0x42, 0x42, 0x42, 0x42, 0x7E, 0x00};
      for (int y = 0; y < 8; y++) rows[y][image] = box[y];
    }
    image++;
  }
  std::printf("// The glyph rows of the built-in 8-pixel font: 192 images of 8 x 8 pixels\n"
              "// side by side, 192 bytes per row. Made by tools/mkbuiltinfont from\n"
              "// Bitstream Vera Sans Mono (Debian's ttf-bitstream-vera) rendered one-bit\n"
              "// at 8 pixels; the image of character 127 is a box for missing glyphs.\n"
              "#include <cstdint>\n\n"
              "extern const uint8_t kBuiltinFontRows[8 * 192];\n"
              "const uint8_t kBuiltinFontRows[8 * 192] = {\n");
  for (int y = 0; y < 8; y++) {
    for (int x = 0; x < 192; x++)
      std::printf("%s0x%02X,%s", x % 12 == 0 ? "    " : " ", rows[y][x], x % 12 == 11 ? "\n" : "");
  }
  std::printf("};\n");
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return 0;
}
