// BMP files: pictures that ImageMagick and netpbm write (1, 4, 8 and 24 bits,
// RLE8, old and newer info headers, odd widths) read back to their pixels;
// row padding, palettes and the RLE8 codes on hand-made files; and damaged
// files each refused with their error code.
#include "pixel/bmp.h"

#include <random>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "pixel/allocate.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturetools;

Loaded Load(const std::string& path) { return LoadWith(LoadBMPFile, path); }

// A BMP with a 40-byte info header: [palette] (0x00RRGGBB words) follows the
// headers, [data] follows the palette.
std::string Bmp(int32_t width, int32_t height, int bits, uint32_t compression, uint32_t coloursUsed,
                const std::vector<uint32_t>& palette, const std::string& data, uint32_t fileSize = 0) {
  std::string pal;
  for (uint32_t c : palette) pal += LE32(c);
  const uint32_t offset = 54 + uint32_t(pal.size());
  if (!fileSize) fileSize = offset + uint32_t(data.size());
  return "BM" + LE32(fileSize) + LE32(0) + LE32(offset) + LE32(40) + LE32(uint32_t(width)) +
         LE32(uint32_t(height)) + LE16(1) + LE16(uint32_t(bits)) + LE32(compression) + LE32(uint32_t(data.size())) +
         LE32(2835) + LE32(2835) + LE32(coloursUsed) + LE32(0) + pal + data;
}

// The 32-bit little-endian word at [at] of [file].
uint32_t Word(const std::string& file, size_t at) {
  return uint32_t(uint8_t(file[at])) | uint32_t(uint8_t(file[at + 1])) << 8 | uint32_t(uint8_t(file[at + 2])) << 16 |
         uint32_t(uint8_t(file[at + 3])) << 24;
}

TEST(BMP, ToolWrittenFilesReadBackToTheirPixels) {
  ScratchDir dir;
  const bool magick = HaveTool("convert"), netpbm = HaveTool("ppmtobmp");
  if (!magick && !netpbm) GTEST_SKIP() << "neither ImageMagick nor netpbm is installed";
  struct Case {
    const char* tool;  // "magick" or "netpbm"
    const char* command;  // "%in" and "%out" are replaced
    int32_t colours;
    uint16_t bits;         // the bit count the file must have
    uint32_t compression;  // the compression it must have
    uint32_t infoSize = 40;
  };
  const Case cases[] = {
      {"netpbm", "ppmtobmp -quiet -windows -bpp 1 %in > %out", 2, 1, 0},
      {"netpbm", "ppmtobmp -quiet -windows -bpp 4 %in > %out", 11, 4, 0},
      {"netpbm", "ppmtobmp -quiet -windows -bpp 8 %in > %out", 200, 8, 0},
      {"netpbm", "ppmtobmp -quiet -windows -bpp 24 %in > %out", 300, 24, 0},
      {"magick", "convert %in -type Palette -compress None BMP3:%out", 2, 1, 0},
      {"magick", "convert %in -type Palette -compress None BMP3:%out", 16, 4, 0},
      {"magick", "convert %in -type Palette -compress None BMP3:%out", 150, 8, 0},
      {"magick", "convert %in -type Palette -compress RLE BMP3:%out", 150, 8, 1},
      {"magick", "convert %in -type Palette -compress RLE BMP3:%out", 40, 8, 1},
      {"magick", "convert %in -type TrueColor BMP3:%out", 300, 24, 0},
      // the newer info header: the palette follows its 108 or 124 bytes
      {"magick", "convert %in -type Palette -compress None BMP:%out", 150, 8, 0, 124},
  };
  for (int32_t width : {1, 5, 13, 64}) {
    for (const Case& c : cases) {
      const bool isMagick = std::string(c.tool) == "magick";
      if (isMagick ? !magick : !netpbm) continue;
      SCOPED_TRACE(std::string(c.command) + " colours " + std::to_string(c.colours) + " width " +
                   std::to_string(width));
      Rgb in = Pattern(width, 7, c.colours);
      // every colour asked for, where the picture has room for them
      for (int32_t i = 0; i < c.colours && i < width * 7; i++) in.pixels[size_t(i)] = PatternColour(uint32_t(i));
      WritePPM(dir / "in.ppm", in);
      std::string command = c.command;
      command.replace(command.find("%in"), 3, dir / "in.ppm");
      command.replace(command.find("%out"), 4, dir / "in.bmp");
      ASSERT_TRUE(RunTool(command));
      const std::string file = ReadWholeFile(dir / "in.bmp");
      ASSERT_GE(file.size(), 54u);
      const uint16_t bits = uint16_t(uint8_t(file[28]) | uint8_t(file[29]) << 8);
      const uint32_t colours = uint32_t(std::min<size_t>(size_t(c.colours), size_t(width) * 7));
      // the tools pick smaller depths for pictures with few colours
      if (colours == size_t(c.colours)) {
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(Word(file, 30), c.compression);
        EXPECT_EQ(Word(file, 14), c.infoSize);
      }
      Loaded back = Load(dir / "in.bmp");
      ASSERT_EQ(back.code, 0u);
      EXPECT_EQ(back.picture.width, width);
      EXPECT_EQ(back.picture.height, 7);
      EXPECT_EQ(back.picture.pixels, in.pixels);
    }
  }
}

TEST(BMP, HandMadeFilesFollowTheRowAndPaletteRules) {
  ScratchDir dir;
  const std::vector<uint32_t> grey4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
  std::vector<uint32_t> sixteen;
  for (uint32_t i = 0; i < 16; i++) sixteen.push_back(i * 0x111111);
  struct Case {
    const char* what;
    std::string file;
    int32_t width, height;
    std::vector<uint32_t> expected;  // rows top to bottom
  };
  const Case cases[] = {
      {"8 bits, width 3: one pad byte per row, rows bottom-up",
       Bmp(3, 2, 8, 0, 4, grey4, Bytes({1, 2, 3, 0x99, 0, 1, 2, 0x99})), 3, 2,
       {0, 0x555555, 0xAAAAAA, 0x555555, 0xAAAAAA, 0xFFFFFF}},
      {"24 bits, width 3: three pad bytes per row, B G R",
       Bmp(3, 1, 24, 0, 0, {}, Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 0x99, 0x99, 0x99})), 3, 1,
       {0x030201, 0x060504, 0x090807}},
      {"4 bits with colours used 0: 16 entries from offset 54, high nibble first",
       Bmp(3, 1, 4, 0, 0, sixteen, Bytes({0xF1, 0xA0, 0, 0})), 3, 1, {0xFFFFFF, 0x111111, 0xAAAAAA}},
      {"1 bit: most significant bit first",
       Bmp(10, 1, 1, 0, 0, {0x102030, 0x405060}, Bytes({0xA5, 0xC0, 0, 0})), 10, 1,
       {0x405060, 0x102030, 0x405060, 0x102030, 0x102030, 0x405060, 0x102030, 0x405060, 0x405060, 0x405060}},
      {"RLE8: a run cut at the row end, end of line, odd literal with its pad, delta, end of bitmap",
       Bmp(4, 3, 8, 1, 4, grey4,
           Bytes({6, 1, 0, 0, /* row 1 */ 0, 3, 3, 2, 1, 0, /* delta 0 right, 1 up */ 0, 2, 0, 1, 1, 3, 0, 1,
                  /* never read */ 4, 2})),
       4, 3,
       {0, 0, 0, 0xFFFFFF, 0xFFFFFF, 0xAAAAAA, 0x555555, 0, 0x555555, 0x555555, 0x555555, 0x555555}},
      {"RLE8 stops where the header's file size says",
       Bmp(2, 1, 8, 1, 4, grey4, Bytes({2, 3, 0, 0}), 54 + 16 + 0), 2, 1, {0, 0}},
      {"colours used bounds the palette: index 2 of a 2-colour file is black",
       Bmp(4, 1, 8, 0, 2, {0x111111, 0x222222}, Bytes({2, 1, 0, 0})), 4, 1, {0, 0x222222, 0x111111, 0x111111}},
      {"a short palette leaves the missing entries black", Bmp(2, 1, 8, 0, 0, grey4, Bytes({3, 200, 0, 0})), 2, 1,
       {0xFFFFFF, 0}},
      {"16 bits are not decoded: a black picture", Bmp(2, 1, 16, 0, 0, {}, Bytes({0xFF, 0xFF, 0xFF, 0xFF})), 2, 1,
       {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded l = Load(dir.Write("hand.bmp", c.file));
    ASSERT_EQ(l.code, 0u);
    EXPECT_EQ(l.picture.width, c.width);
    EXPECT_EQ(l.picture.height, c.height);
    EXPECT_EQ(l.picture.pixels, c.expected);
  }
}

TEST(BMP, DamagedFilesAreRefusedWithTheirCode) {
  ScratchDir dir;
  const std::string good = Bmp(3, 2, 8, 0, 2, {0, 0xFFFFFF}, Bytes({1, 0, 1, 0, 0, 1, 0, 0}));
  std::string noMagic = good;
  noMagic[1] = 'A';
  struct Case {
    const char* what;
    std::string file;
    uint32_t code;
  };
  const Case cases[] = {
      {"the good file", good, 0},
      {"the good file without the last row's padding", good.substr(0, good.size() - 1), 0},
      {"empty file", "", 1358},
      {"no BM", noMagic, 1358},
      {"header cut short", good.substr(0, 40), 1358},
      {"top-down (negative height)", Bmp(3, -2, 8, 0, 2, {0, 0xFFFFFF}, Bytes({1, 0, 1, 0, 0, 1, 0, 0})), 1358},
      {"zero height", Bmp(3, 0, 8, 0, 2, {0, 0xFFFFFF}, ""), 1358},
      {"zero width", Bmp(0, 2, 8, 0, 2, {0, 0xFFFFFF}, Bytes({0, 0, 0, 0, 0, 0, 0, 0})), 1358},
      {"negative width", Bmp(-3, 2, 24, 0, 0, {}, std::string(24, '\0')), 1358},
      {"pixel rows missing", good.substr(0, good.size() - 4), 1358},
      {"24-bit rows missing", Bmp(3, 2, 24, 0, 0, {}, std::string(12, '\0')), 1358},
      {"a huge size with no data", Bmp(60000, 60000, 24, 0, 0, {}, ""), 1358},
      {"RLE8 cut inside a literal", Bmp(4, 1, 8, 1, 2, {0, 0xFFFFFF}, Bytes({0, 4, 1, 1})), 1358},
      {"RLE8 with a huge size", Bmp(1 << 20, 1 << 20, 8, 1, 2, {0, 0xFFFFFF}, Bytes({0, 1})), 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.Write("bad.bmp", c.file);
    EXPECT_EQ(Load(path).code, c.code);
    if (c.code == 1358) {
      EXPECT_EQ(ErrorInfo().errorText, path);
    }
  }
  EXPECT_EQ(Load(dir / "missing.bmp").code, 1045u);

  // the size alone comes from the header; a top-down file has none we read
  int32_t w = 0, h = 0;
  EXPECT_EQ(LoadBMPFile(dir.Write("size.bmp", Bmp(640, 480, 24, 0, 0, {}, "")).c_str(), &w, &h, nullptr), 0u);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  EXPECT_EQ(LoadBMPFile(dir.Write("size.bmp", Bmp(640, -480, 24, 0, 0, {}, "")).c_str(), &w, &h, nullptr), 1358u);
}

TEST(BMP, CorruptedBytesGiveACodeNeverACrash) {
  ScratchDir dir;
  const std::vector<uint32_t> grey4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
  const std::string files[] = {
      Bmp(4, 3, 8, 1, 4, grey4, Bytes({6, 1, 0, 0, 0, 3, 3, 2, 1, 0, 0, 2, 0, 1, 1, 3, 0, 1})),
      Bmp(5, 2, 4, 0, 0, grey4, Bytes({0x12, 0x30, 0x10, 0, 0x33, 0x21, 0x00, 0})),
      Bmp(3, 2, 24, 0, 0, {}, std::string(24, '\x41')),
  };
  std::mt19937 rng(99);
  for (const std::string& original : files) {
    for (int round = 0; round < 300; round++) {
      std::string file = original;
      // width and height stay: huge sizes are the table's cases above, and a
      // few bytes of RLE8 may rightly ask for a picture of 2^28 pixels
      for (int flips = 1 + int(rng() % 3); flips > 0; flips--) {
        const size_t at = rng() % file.size();
        if (at < 18 || at >= 26) file[at] = char(rng());
      }
      if (round % 7 == 0) file.resize(rng() % file.size());
      const uint32_t code = Load(dir.Write("fuzz.bmp", file)).code;
      ASSERT_TRUE(code == 0 || code == 1000 || code == 1358) << code;
    }
  }
}

}  // namespace
