// BMP files: pictures that ImageMagick and netpbm write (1, 4, 8 and 24 bits,
// RLE8, old and newer info headers, odd widths) read back to their pixels;
// row padding, palettes and the RLE8 codes on hand-made files; and damaged
// files each refused with their error code.
#include "pixel/bmp.h"

#include <random>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "pixel/allocate.h"
#include "tests/pixel/support/picturebytes.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturetools;
using picturebytes::Bmp;

Loaded Load(const std::string& path) { return LoadWith(LoadBMPFile, path); }

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

// A BMP with an info header of [infoSize] bytes (40 or more: the 40-byte
// header, then [masks] and zeros to its length) and [data] behind it.
std::string BmpWithHeader(uint32_t infoSize, int32_t width, int32_t height, int bits, uint32_t compression,
                          const std::vector<uint32_t>& masks, const std::string& data) {
  std::string extra;
  for (uint32_t m : masks) extra += LE32(m);
  if (infoSize > 40) extra.resize(infoSize - 40, '\0');
  const uint32_t offset = 14 + 40 + uint32_t(extra.size());
  return "BM" + LE32(offset + uint32_t(data.size())) + LE32(0) + LE32(offset) + LE32(infoSize) +
         LE32(uint32_t(width)) + LE32(uint32_t(height)) + LE16(1) + LE16(uint32_t(bits)) + LE32(compression) +
         LE32(uint32_t(data.size())) + LE32(2835) + LE32(2835) + LE32(0) + LE32(0) + extra + data;
}

// Every variant reads as ImageMagick reads it: files ImageMagick writes (the
// core header of the oldest files, the 40-byte and the 124-byte header, 16
// bits 5-6-5 and 5-5-5, 32 bits with and without masks), and hand-made ones
// of the kinds it does not write (RLE4, 16 bits without masks, masks behind
// the 40-byte header, the 108-byte header).
TEST(BMP, VariantsReadAsImageMagickReadsThem) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string command;  // ImageMagick's command, "%in" and "%out" replaced; empty for [file]
    int32_t colours;
    uint32_t infoSize, bits, compression;  // what the file must hold
    std::string file = {};
  };
  // RLE4 of 9 x 3 (rows bottom-up): runs alternating two colours, literals
  // of odd counts (5 pixels in 3 bytes and a pad byte, 3 in 2), a row ended
  // early, end of bitmap. (ImageMagick refuses deltas in RLE4 and lets runs
  // run on into the next row: neither is here.)
  std::vector<uint32_t> sixteen;
  for (uint32_t i = 0; i < 16; i++) sixteen.push_back(PatternColour(i));
  const std::string rle4 =
      Bmp(9, 3, 4, 2, 16, sixteen,
          Bytes({9, 0x1F, 0, 0, /* row 1 */ 0, 5, 0x23, 0x45, 0x60, 0, 3, 0x77, 0, 0, /* row 2 */ 2, 0xAB, 0, 3, 0xC5,
                 0xD0, 4, 0x9E, 0, 1}));
  std::string words16, words32;
  for (int32_t i = 0; i < 5 * 3; i++) {
    const uint32_t c = PatternColour(uint32_t(i) * 7);
    words16 += LE16(uint32_t(i * 2731) & 0x7FFF);
    if (i % 5 == 4) words16 += LE16(0);
    words32 += LE32(c >> 16 | (c & 0xFF00) | (c & 0xFF) << 16 | 0xAB000000);
  }
  std::string words24;
  for (int32_t i = 0; i < 4 * 2; i++) words24 += LE32(PatternColour(uint32_t(i))).substr(0, 3);
  const Case cases[] = {
      {"core header, 24 bits", "convert %in BMP2:%out", 300, 12, 24, 0},
      {"core header, 8 bits", "convert %in -colors 200 BMP2:%out", 200, 12, 8, 0},
      {"core header, 4 bits", "convert %in -colors 16 BMP2:%out", 16, 12, 4, 0},
      {"core header, 1 bit", "convert %in -colors 2 BMP2:%out", 2, 12, 1, 0},
      {"40-byte header, 32 bits without masks", "convert %in -alpha set -define bmp3:alpha=true BMP3:%out", 300, 40,
       32, 0},
      {"124-byte header, 24 bits", "convert %in -type TrueColor BMP:%out", 300, 124, 24, 0},
      {"124-byte header, 16 bits 5-6-5", "convert %in -define bmp:subtype=RGB565 BMP:%out", 300, 124, 16, 3},
      {"124-byte header, 16 bits 5-5-5", "convert %in -define bmp:subtype=RGB555 BMP:%out", 300, 124, 16, 3},
      {"124-byte header, 32 bits with masks and alpha",
       "convert %in -alpha set -channel A -fx 0.5 +channel BMP:%out", 300, 124, 32, 3},
      {"124-byte header, RLE8", "convert %in -colors 40 -compress RLE BMP:%out", 40, 124, 8, 1},
      {"RLE4", "", 0, 40, 4, 2, rle4},
      {"16 bits without masks", "", 0, 40, 16, 0, Bmp(5, 3, 16, 0, 0, {}, words16)},
      {"32 bits, masks behind the 40-byte header", "", 0, 40, 32, 3,
       Bmp(5, 3, 32, 3, 0, {0xFF, 0xFF00, 0xFF0000}, words32)},
      {"108-byte header, 24 bits", "", 0, 108, 24, 0, BmpWithHeader(108, 4, 2, 24, 0, {}, words24)},
      {"108-byte header, 32 bits with masks", "", 0, 108, 32, 3,
       BmpWithHeader(108, 5, 3, 32, 3, {0xFF, 0xFF00, 0xFF0000, 0}, words32)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir / "variant.bmp";
    int32_t width = 0, height = 0;
    if (c.command.empty()) {
      dir.Write("variant.bmp", c.file);
    } else {
      const Rgb in = Pattern(13, 7, c.colours);
      WritePPM(dir / "in.ppm", in);
      std::string command = c.command;
      command.replace(command.find("%in"), 3, dir / "in.ppm");
      command.replace(command.find("%out"), 4, path);
      ASSERT_TRUE(RunTool(command));
    }
    const std::string file = ReadWholeFile(path);
    ASSERT_GE(file.size(), 30u);
    ASSERT_EQ(Word(file, 14), c.infoSize);
    const bool core = c.infoSize == 12;
    width = core ? int32_t(uint8_t(file[18]) | uint8_t(file[19]) << 8) : int32_t(Word(file, 18));
    height = core ? int32_t(uint8_t(file[20]) | uint8_t(file[21]) << 8) : int32_t(Word(file, 22));
    const size_t bitsAt = core ? 24 : 28;
    ASSERT_EQ(uint32_t(uint8_t(file[bitsAt]) | uint8_t(file[bitsAt + 1]) << 8), c.bits);
    if (!core) {
      ASSERT_EQ(Word(file, 30), c.compression);
    }
    Rgba magick;
    ASSERT_TRUE(MagickDecode(path, "", dir / "judge.rgba", width, height, &magick));
    const Loaded ours = Load(path);
    ASSERT_EQ(ours.code, 0u);
    ASSERT_EQ(ours.picture.width, width);
    ASSERT_EQ(ours.picture.height, height);
    EXPECT_EQ(ours.picture.pixels, magick.pixels);
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
      {"16 bits without masks: 5-5-5, each component's bits repeated downwards",
       Bmp(3, 1, 16, 0, 0, {}, Bytes({0x00, 0x7C, 0x10, 0x02, 0xFF, 0xFF, 0x99, 0x99})), 3, 1,
       {0xFF0000, 0x008484, 0xFFFFFF}},
      {"32 bits with masks behind the 40-byte header: blue in the top byte, 12 bits of green",
       Bmp(2, 1, 32, 3, 0, {0x0000FF, 0xFFF000, 0xFF000000}, Bytes({0x12, 0x30, 0xAB, 0xCD, 0x00, 0xF0, 0xFF, 0xFF})), 2, 1,
       {0x12ABCD, 0x00FFFF}},
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
      {"a huge size with no data", Bmp(10000, 10000, 24, 0, 0, {}, ""), 1358},
      {"a size above the pixel cap", Bmp(60000, 60000, 24, 0, 0, {}, ""), 1000},
      {"the fuzzer's header: data at 0, 1048597 x 255, 0 bits per pixel",
       "BM" + LE32(54) + LE32(0) + LE32(0) + LE32(40) + LE32(1048597) + LE32(255) + LE16(1) + LE16(0) +
           std::string(24, '\0'),
       1358},
      {"0 bits", Bmp(2, 2, 0, 0, 0, {}, std::string(16, 'x')), 1358},
      {"2 bits", Bmp(2, 2, 2, 0, 0, {0, 0xFFFFFF}, std::string(16, 'x')), 1358},
      {"3 bits", Bmp(2, 2, 3, 0, 0, {0, 0xFFFFFF}, std::string(16, 'x')), 1358},
      {"5 bits", Bmp(2, 2, 5, 0, 0, {0, 0xFFFFFF}, std::string(16, 'x')), 1358},
      {"6 bits", Bmp(2, 2, 6, 0, 0, {0, 0xFFFFFF}, std::string(16, 'x')), 1358},
      {"7 bits", Bmp(2, 2, 7, 0, 0, {0, 0xFFFFFF}, std::string(16, 'x')), 1358},
      {"RLE8 named on 4 bits", Bmp(2, 1, 4, 1, 2, {0, 0xFFFFFF}, Bytes({2, 1, 0, 1})), 1358},
      {"RLE4 named on 8 bits", Bmp(2, 1, 8, 2, 2, {0, 0xFFFFFF}, Bytes({2, 1, 0, 1})), 1358},
      {"colour masks on 24 bits", Bmp(1, 1, 24, 3, 0, {0xFF, 0xFF00, 0xFF0000}, std::string(4, 'x')), 1358},
      {"a colour mask with a gap", Bmp(1, 1, 32, 3, 0, {0xF0F000, 0xFF00, 0xFF}, std::string(4, 'x')), 1358},
      {"an embedded JPEG", Bmp(1, 1, 24, 4, 0, {}, std::string(4, 'x')), 1358},
      {"an info header of 20 bytes",
       "BM" + LE32(70) + LE32(0) + LE32(34) + LE32(20) + LE32(1) + LE32(1) + LE16(1) + LE16(24) + LE32(0) + "abcd" +
           std::string(4, 'x'),
       1358},
      {"RLE8 claiming more pixels than its runs could write",
       Bmp(2000, 2000, 8, 1, 2, {0, 0xFFFFFF}, Bytes({255, 1, 0, 0, 255, 1, 0, 1})), 1358},
      {"RLE4 cut inside a literal", Bmp(8, 1, 4, 2, 2, {0, 0xFFFFFF}, Bytes({0, 8, 0x10, 0x10})), 1358},
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
