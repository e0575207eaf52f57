// ILBM files: what we write reads back and decodes the same in netpbm's
// ilbmtoppm; files that netpbm's ppmtoilbm writes (colour-mapped of several
// depths, 24-bit and HAM, packed or not) read as ilbmtoppm reads them; the
// chunk search, extra half-brite and HAM rules on hand-made files; and damaged
// files each refused with their error code.
#include "pixel/ilbm.h"

#include <cstdlib>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "pixel/allocate.h"
#include "io/byteorder.h"
#include "io/filehandles.h"
#include "tests/pixel/support/picturebytes.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturetools;
using namespace picturebytes;

Loaded Load(const std::string& path) { return LoadWith(LoadILBMFile, path); }

TEST(ILBM, WrittenPicturesReadBackAndDecodeTheSameInNetpbm) {
  ScratchDir dir;
  const bool netpbm = HaveTool("ilbmtoppm");
  struct Case {
    int32_t width, height, colours;
  };
  // odd widths, one pixel, rows with literal stretches and runs above 128 bytes
  const Case cases[] = {{1, 1, 1}, {3, 2, 5}, {16, 4, 2}, {17, 5, 200}, {33, 3, 7}, {1500, 2, 1}, {1100, 3, 3}};
  std::mt19937 rng(7);
  for (const Case& c : cases) {
    for (bool noisy : {false, true}) {
      SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + (noisy ? " noisy" : ""));
      Rgb in = Pattern(c.width, c.height, c.colours);
      std::vector<uint32_t> argb = in.pixels;
      if (noisy)
        for (auto& p : in.pixels) p = rng() & 0xFFFFFF;
      argb = in.pixels;
      for (auto& p : argb) p |= 0xAB000000;  // the alpha byte is not written
      const std::string path = dir / "out.iff";
      ASSERT_EQ(WriteILBMFile(path.c_str(), argb.data(), c.width, c.height), 0u);

      Loaded back = Load(path);
      ASSERT_EQ(back.code, 0u);
      EXPECT_EQ(back.picture.width, c.width);
      EXPECT_EQ(back.picture.height, c.height);
      EXPECT_EQ(back.picture.pixels, in.pixels);

      if (netpbm) {
        ASSERT_TRUE(RunTool("ilbmtoppm -quiet " + path + " > " + dir / "out.ppm"));
        Rgb theirs;
        ASSERT_TRUE(ReadPPM(dir / "out.ppm", &theirs));
        EXPECT_EQ(theirs.width, c.width);
        EXPECT_EQ(theirs.pixels, in.pixels);
      }
    }
  }
  if (!netpbm) GTEST_SKIP() << "netpbm's ilbmtoppm is not installed";
}

TEST(ILBM, WriterLayoutAndSizes) {
  ScratchDir dir;
  const std::string path = dir / "one.iff";
  // 11 set bits: red 0xFF, green 0x80, blue 0x03
  const uint32_t pixel = 0x00FF8003;
  ASSERT_EQ(WriteILBMFile(path.c_str(), &pixel, 1, 1), 0u);
  const std::string f = ReadWholeFile(path);
  ASSERT_GE(f.size(), 48u);
  EXPECT_EQ(f.substr(0, 4), "FORM");
  EXPECT_EQ(f.substr(8, 12), "ILBMBMHD" + BE32(20));
  EXPECT_EQ(f.substr(20, 20), BE16(1) + BE16(1) + BE32(0) + Bytes({24, 0, 1, 0, 0, 0, 1, 1}) + BE16(1) + BE16(1));
  EXPECT_EQ(f.substr(40, 4), "BODY");
  auto be32 = [&](size_t at) {
    return uint32_t(uint8_t(f[at])) << 24 | uint32_t(uint8_t(f[at + 1])) << 16 | uint32_t(uint8_t(f[at + 2])) << 8 |
           uint8_t(f[at + 3]);
  };
  // a plane row with the bit set packs as a 2-byte literal (3 bytes), a clear
  // one as a run of two (2 bytes): 11 x 3 + 13 x 2, odd, so a pad byte follows
  EXPECT_EQ(be32(44), 59u);
  EXPECT_EQ(be32(4), 59u + 1 + 40);
  EXPECT_EQ(f.size(), 48u + 60);
  EXPECT_EQ(f.back(), '\0');
  EXPECT_EQ(f.substr(48, 3), Bytes({1, 0x80, 0}));      // plane 0: red bit 0
  EXPECT_EQ(f.substr(48 + 8 * 3, 2), Bytes({0xFF, 0}));  // plane 8: green bit 0

  // a size the 16-bit header cannot hold, and a file that cannot be made
  EXPECT_EQ(WriteILBMFile(path.c_str(), &pixel, 70000, 1), 1052u);
  EXPECT_EQ(WriteILBMFile((dir / "no/such/dir.iff").c_str(), &pixel, 1, 1), 1052u);
  EXPECT_EQ(ErrorInfo().errorText, dir / "no/such/dir.iff");
}

TEST(ILBM, NetpbmWrittenFilesReadAsNetpbmReadsThem) {
  if (!HaveTool("ppmtoilbm") || !HaveTool("ilbmtoppm")) GTEST_SKIP() << "netpbm is not installed";
  ScratchDir dir;
  struct Case {
    const char* options;
    int32_t colours;
    bool exact;  // our pixels equal the source picture, not only netpbm's reading
    int hamBits;  // 0, or the bits of a HAM component
  };
  const Case cases[] = {
      {"", 2, true, 0},           {"-nocompress", 2, true, 0},  {"", 13, true, 0},
      {"-nocompress", 16, true, 0}, {"", 60, true, 0},           {"", 200, true, 0},
      {"-nocompress", 256, true, 0}, {"-24force", 300, true, 0}, {"-24force -nocompress", 300, true, 0},
      {"-ham6", 40, false, 4},   {"-ham8 -nocompress", 300, false, 6},
  };
  for (int32_t width : {1, 5, 17, 40}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.options) + " colours " + std::to_string(c.colours) + " width " +
                   std::to_string(width));
      Rgb in = Pattern(width, 6, c.colours);
      WritePPM(dir / "in.ppm", in);
      ASSERT_TRUE(RunTool(std::string("ppmtoilbm -quiet ") + c.options + " " + dir / "in.ppm" + " > " + dir / "in.iff"));
      ASSERT_TRUE(RunTool("ilbmtoppm -quiet " + dir / "in.iff" + " > " + dir / "theirs.ppm"));
      Rgb theirs;
      ASSERT_TRUE(ReadPPM(dir / "theirs.ppm", &theirs));
      Loaded ours = Load(dir / "in.iff");
      ASSERT_EQ(ours.code, 0u);
      ASSERT_EQ(ours.picture.width, width);
      ASSERT_EQ(ours.picture.height, 6);
      if (c.exact) {
        EXPECT_EQ(ours.picture.pixels, in.pixels);
      }
      if (c.hamBits) {
        // HAM values are not widened: a component v of [bits] reads as
        // v << (8 - bits), where netpbm scales it to 0..255; netpbm also
        // scales the colour map down to [bits] where we shift, so a
        // component may differ by one step
        const int32_t top = (1 << c.hamBits) - 1;
        for (size_t i = 0; i < ours.picture.pixels.size(); i++) {
          const uint32_t o = ours.picture.pixels[i], t = theirs.pixels[i];
          for (int shift : {0, 8, 16}) {
            const int32_t mine = int32_t(o >> shift & 255) >> (8 - c.hamBits);
            const int32_t netpbm = (int32_t(t >> shift & 255) * top + 127) / 255;
            ASSERT_LE(std::abs(mine - netpbm), 1) << "pixel " << i;
          }
        }
      } else {
        ASSERT_EQ(theirs.maxval, 255);
        EXPECT_EQ(ours.picture.pixels, theirs.pixels);
      }
    }
  }
}

// True-colour pictures of 3 x n planes (n bits per component, red planes
// first) read as netpbm's ilbmtoppm reads its own direct-colour files: the
// top bits of each of our components are netpbm's n-bit value (all 8 of
// them for more than 8 bits).
TEST(ILBM, TrueColourPlanesReadAsNetpbmReadsThem) {
  if (!HaveTool("ppmtoilbm") || !HaveTool("ilbmtoppm") || !HaveTool("pnmtoplainpnm"))
    GTEST_SKIP() << "netpbm is not installed";
  ScratchDir dir;
  WritePPM(dir / "in.ppm", Pattern(19, 5, 300));
  for (int bits : {3, 4, 5, 6, 7, 10, 12, 16}) {
    for (const char* compress : {"", "-nocompress"}) {
      SCOPED_TRACE(std::to_string(bits * 3) + " planes " + compress);
      const std::string iff = dir / "deep.iff";
      ASSERT_TRUE(RunTool("pnmdepth " + std::to_string((1 << bits) - 1) + " " + dir / "in.ppm" +
                          " | ppmtoilbm -quiet -dcforce -dcbits " + std::to_string(bits) + " " +
                          std::to_string(bits) + " " + std::to_string(bits) + " " + compress + " > " + iff));
      ASSERT_EQ(uint8_t(ReadWholeFile(iff).at(28)), bits * 3);
      ASSERT_TRUE(RunTool("ilbmtoppm -quiet " + iff + " | pnmtoplainpnm > " + dir / "theirs.txt"));
      std::istringstream theirs(ReadWholeFile(dir / "theirs.txt"));
      std::string magic;
      int32_t w = 0, h = 0, maxval = 0;
      theirs >> magic >> w >> h >> maxval;
      ASSERT_EQ(magic, "P3");
      ASSERT_EQ(maxval, (1 << bits) - 1);
      const Loaded ours = Load(iff);
      ASSERT_EQ(ours.code, 0u);
      ASSERT_EQ(ours.picture.width, w);
      ASSERT_EQ(ours.picture.height, h);
      for (size_t i = 0; i < ours.picture.pixels.size(); i++) {
        for (int shift : {16, 8, 0}) {
          int32_t value = 0;
          theirs >> value;
          const int32_t mine = int32_t(ours.picture.pixels[i] >> shift & 0xFF);
          ASSERT_EQ(bits <= 8 ? mine >> (8 - bits) : mine, bits <= 8 ? value : value >> (bits - 8)) << "pixel " << i;
        }
        ASSERT_EQ(ours.picture.pixels[i] >> 24, 0u);
      }
    }
  }
}

TEST(ILBM, HandMadeFilesFollowTheChunkAndColourRules) {
  ScratchDir dir;
  std::vector<uint32_t> colours32;
  for (uint32_t i = 0; i < 32; i++) colours32.push_back(0x102030 * (i + 1) & 0xFEFEFE);
  struct Case {
    const char* what;
    std::string file;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {"CAMG behind BODY is still found: extra half-brite pixel 33 is colour 1 halved",
       Form(Bmhd(2, 1, 6) + Cmap(colours32) + RawBody({{33, 1}}, 6) + Chunk("CAMG", BE32(0x80))),
       {(colours32[1] >> 1) & 0x7F7F7F, colours32[1]}},
      {"HAM6: 0x1F sets blue to 0xF0, then red and green are modified",
       Form(Bmhd(4, 1, 6) + Chunk("CAMG", BE32(0x800)) + Cmap({0x123456, 0xABCDEF}) + RawBody({{0x1F, 0x25, 0x33, 0x01}}, 6)),
       {0x0000F0, 0x5000F0, 0x5030F0, 0xABCDEF}},
      {"HAM8: palette 63, then blue 0x3F << 2",
       Form(Bmhd(2, 1, 8) + Chunk("CAMG", BE32(0x800)) + Cmap(std::vector<uint32_t>(64, 0x010203)) +
            RawBody({{0x3F, 0x7F}}, 8)),
       {0x010203, 0x0102FC}},
      {"32 planes: 8-bit red, green and blue, the alpha planes are not read",
       Form(Bmhd(2, 1, 32) + Chunk("BODY", [] {
              std::string d;
              const uint32_t pixels[2] = {0xFF123456, 0x00ABCDEF};  // alpha in planes 24 to 31
              for (int p = 0; p < 32; p++) {
                const int byte = (pixels[0] >> p & 1) << 7 | (pixels[1] >> p & 1) << 6;
                d += Bytes({byte, 0});
              }
              return d;
            }())),
       // planes 0-7 are red: the low byte of each word
       {0x563412, 0xEFCDAB}},
      {"9 planes: 3-bit components, their bits repeated downwards",
       Form(Bmhd(1, 1, 9) + Chunk("BODY", [] {
              std::string d;
              const int value = 7 | 4 << 3 | 1 << 6;  // red 7, green 4, blue 1
              for (int p = 0; p < 9; p++) d += Bytes({(value >> p & 1) << 7, 0});
              return d;
            }())),
       {0xFF9224}},
      {"a colour map of more than 256 entries gives the first 256",
       Form(Bmhd(2, 1, 8) + Cmap(std::vector<uint32_t>(300, 0x445566)) + RawBody({{255, 0}}, 8)),
       {0x445566, 0x445566}},
      {"a masked raw body skips the mask rows",
       Form(Bmhd(3, 2, 1, 1) + Cmap({0x000000, 0xFFFFFF}) +
            Chunk("BODY", Bytes({0xA0, 0, 0xFF, 0xFF, 0x40, 0, 0xFF, 0xFF}))),
       {0xFFFFFF, 0, 0xFFFFFF, 0, 0xFFFFFF, 0}},
      {"ByteRun1: a run and a literal that pass the row end are cut there; -128 is no code",
       Form(Bmhd(16, 2, 1, 1, 1) + Cmap({0x000000, 0xFFFFFF}) +
            Chunk("BODY", Bytes({0x80, 0xFD, 0xFF, /* mask */ 0x02, 1, 2, 3, /* row 2 */ 0x01, 0x00, 0xFF,
                                 /* mask */ 0xFF, 0x00}))),
       [] {
         std::vector<uint32_t> v(16, 0xFFFFFF);
         for (int x = 0; x < 8; x++) v.push_back(0);
         for (int x = 0; x < 8; x++) v.push_back(0xFFFFFF);
         return v;
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded l = Load(dir.Write("hand.iff", c.file));
    ASSERT_EQ(l.code, 0u);
    EXPECT_EQ(l.picture.pixels, c.expected);
  }
}

TEST(ILBM, FindIFFChunkSlidesAWindowAndWrapsOnce) {
  ScratchDir dir;
  // CMAP before BODY, CAMG after it; "XYZW" only inside BODY's data
  const std::string file = Form(Bmhd(1, 1, 1) + Cmap({1}) + Chunk("BODY", "XYZW") + Chunk("CAMG", BE32(0)));
  vkFilePtr f = OpenStream(dir.Write("chunks.iff", file).c_str(), VKFILE_READ);
  ASSERT_TRUE(f);
  EXPECT_TRUE(FindIFFChunk(f.get(), "CAMG"));  // past BODY on the second pass
  const int64_t camg = file.find("CAMG") + 4;
  EXPECT_EQ(SeekStream(f.get(), 0, VKSEEK_CURRENT), camg);
  EXPECT_TRUE(FindIFFChunk(f.get(), "CMAP"));  // runs to the end, wraps to offset 12
  EXPECT_EQ(SeekStream(f.get(), 0, VKSEEK_CURRENT), int64_t(file.find("CMAP") + 4));
  EXPECT_TRUE(FindIFFChunk(f.get(), "XYZW"));  // the second pass goes on behind BODY, into its data
  EXPECT_FALSE(FindIFFChunk(f.get(), "ANNO"));
  EXPECT_FALSE(StreamPastEnd(f.get()));  // the search never reads past the end
}

TEST(ILBM, DamagedFilesAreRefusedWithTheirCode) {
  ScratchDir dir;
  const std::string cmap = Cmap({0, 0xFFFFFF});
  const std::string good = Form(Bmhd(8, 2, 1) + cmap + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 1, 0, 1}}, 1));
  struct Case {
    const char* what;
    std::string file;
    uint32_t code;
  };
  const Case cases[] = {
      {"the good file", good, 0},
      {"empty file", "", 1358},
      {"no BMHD", Form(cmap + Chunk("BODY", "ab")), 1358},
      {"BMHD cut inside the size", "FORM" + BE32(12) + "ILBMBMHD" + BE32(20) + BE16(8), 1358},
      {"zero width", Form(Bmhd(0, 2, 1) + cmap + Chunk("BODY", "abcd")), 1358},
      {"zero height", Form(Bmhd(8, 0, 1) + cmap + Chunk("BODY", "abcd")), 1358},
      {"no planes", Form(Bmhd(8, 2, 0) + cmap + Chunk("BODY", "abcd")), 1358},
      {"no BODY", Form(Bmhd(8, 2, 1) + cmap), 1358},
      {"BODY size cut", Form(Bmhd(8, 2, 1) + cmap) + "BODY" + BE16(0), 1358},
      {"raw BODY one byte short", good.substr(0, good.size() - 1), 1358},
      {"packed BODY cut inside a literal",
       Form(Bmhd(8, 2, 1, 0, 1) + cmap) + "BODY" + BE32(5) + Bytes({1, 0xAA, 0xBB, 1, 0xCC}), 1358},
      {"huge size claimed by a tiny packed BODY", Form(Bmhd(8000, 8000, 24, 0, 1) + Chunk("BODY", "abcd")), 1358},
      {"a size above the pixel cap", Form(Bmhd(65535, 65535, 24, 0, 1) + Chunk("BODY", "abcd")), 1000},
      {"10 planes", Form(Bmhd(8, 1, 10) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 10)), 1358},
      {"23 planes", Form(Bmhd(8, 1, 23) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 23)), 1358},
      {"25 planes", Form(Bmhd(8, 1, 25) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 25)), 1358},
      {"51 planes: 17 bits per component", Form(Bmhd(8, 1, 51) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 51)), 1358},
      {"255 planes", Form(Bmhd(8, 1, 255) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 255)), 1358},
      {"HAM on 12 true-colour planes",
       Form(Bmhd(8, 1, 12) + Chunk("CAMG", BE32(0x800)) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 12)), 1358},
      {"extra half-brite on 15 true-colour planes",
       Form(Bmhd(8, 1, 15) + Chunk("CAMG", BE32(0x80)) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 15)), 1358},
      {"no CMAP", Form(Bmhd(8, 2, 1) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 1, 0, 1}}, 1)), 1358},
      {"CMAP cut at the end of the file",
       Form(Bmhd(8, 1, 1) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}}, 1)) + "CMAP" + BE32(6) + Bytes({1, 2, 3, 4}), 1358},
      {"CAMG cut at the end of the file", Form(Bmhd(8, 1, 1) + cmap + RawBody({{1}}, 1)) + "CAMG" + BE16(0), 1358},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.Write("bad.iff", c.file);
    EXPECT_EQ(Load(path).code, c.code);
    if (c.code) {
      EXPECT_EQ(ErrorInfo().errorText, path);
    }
  }
  EXPECT_EQ(Load(dir / "missing.iff").code, 1045u);

  // the size alone comes from the BMHD
  int32_t w = 0, h = 0;
  EXPECT_EQ(LoadILBMFile(dir.Write("size.iff", Form(Bmhd(640, 512, 5))).c_str(), &w, &h, nullptr), 0u);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 512);
}

TEST(ILBM, CorruptedBytesGiveACodeNeverACrash) {
  ScratchDir dir;
  // a packed 24-bit picture of ours, and a masked colour-mapped HAM one
  std::vector<uint32_t> argb = Pattern(21, 5, 9).pixels;
  ASSERT_EQ(WriteILBMFile((dir / "ours.iff").c_str(), argb.data(), 21, 5), 0u);
  const std::string files[] = {
      ReadWholeFile(dir / "ours.iff"),
      Form(Bmhd(9, 2, 6, 1, 1) + Chunk("CAMG", BE32(0x800)) + Cmap({1, 2, 3, 4}) +
           Chunk("BODY", Bytes({1, 0x1F, 0x25, 0xFE, 0x33, 0x81, 0x40, 0x02, 1, 2, 3, 0xF0, 9, 0, 7, 7, 0x80}))),
  };
  std::mt19937 rng(1234);
  for (const std::string& original : files) {
    for (int round = 0; round < 300; round++) {
      std::string file = original;
      for (int flips = 1 + int(rng() % 4); flips > 0; flips--) file[rng() % file.size()] = char(rng());
      if (round % 7 == 0) file.resize(rng() % file.size());
      const uint32_t code = Load(dir.Write("fuzz.iff", file)).code;
      ASSERT_TRUE(code == 0 || code == 1000 || code == 1358) << code;
    }
  }
}

}  // namespace
