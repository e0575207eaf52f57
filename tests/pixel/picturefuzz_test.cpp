// Fuzzing the picture readers: for each format a few files made here (and
// more that ImageMagick makes, where it is installed) are mutated (bytes
// flipped, cut, sizes made huge, pieces repeated) and read through the
// reader's fuzz entry point; every read must end in a picture or in the
// reader's error code, never in a crash or an over-read (run under the
// sanitizer build). A short seeded run belongs to every test pass;
// VK_FUZZ_ITERATIONS runs longer, and VK_FUZZ_CORPUS names a folder of files
// to replay through every reader. Each seed cut at every length gives the
// loader's error for a damaged picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>

#include "pixel/allocate.h"
#include "pixel/bitmap.h"
#include "pixel/ilbm.h"
#include "pixel/picturefile.h"
#include "platform/vkos_pictures.h"
#include "tests/common/scratchdir.h"
#include "tests/common/fuzzmutate.h"
#include "tests/pixel/support/gifbytes.h"
#include "tests/pixel/support/picturebytes.h"
#include "tests/pixel/support/picturefuzz.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturebytes;
using picturetools::Pattern;

struct Format {
  const char* name;
  vkFuzzedReader reader;
  const char* magickOutputs[4];  // ImageMagick output names for more seeds; %s is the file
};

const Format kFormats[] = {
    {"PNG", vkFuzzedReader::PNG, {"PNG8:%s", "PNG48:%s", "PNG32:%s -interlace PNG", "%s.png -colorspace Gray"}},
    {"JPEG", vkFuzzedReader::JPEG, {"%s.jpg -interlace Plane", "%s.jpg -colorspace CMYK", "%s.jpg -colorspace Gray"}},
    {"TIFF", vkFuzzedReader::TIFF, {"%s.tif -compress LZW", "%s.tif -compress None", "%s.tif -compress Zip"}},
    {"GIF", vkFuzzedReader::GIF, {"%s.gif -interlace GIF", "%s.gif"}},
    {"BMP", vkFuzzedReader::BMP, {"BMP2:%s", "BMP:%s -define bmp:subtype=RGB565", "BMP3:%s -compress RLE -colors 30"}},
    {"ILBM", vkFuzzedReader::ILBM, {}},
};

// ARGB words of a small picture with graded alpha.
std::vector<uint32_t> Words(int32_t width, int32_t height) {
  const picturetools::Rgb rgb = Pattern(width, height, 40);
  std::vector<uint32_t> words;
  for (size_t i = 0; i < rgb.pixels.size(); i++) words.push_back(uint32_t(i * 37 % 256) << 24 | rgb.pixels[i]);
  return words;
}

// Files made here; the first of each format is the one cut at every length,
// so a cut anywhere takes bytes its picture needs.
std::vector<std::string> MadeHere(vkFuzzedReader reader) {
  const std::vector<uint32_t> words = Words(13, 5);
  auto encoded = [&](int type, bool alpha) {
    std::vector<uint8_t> out;
    EXPECT_EQ(vkosSavePicture(nullptr, words.data(), 13, 5, 13 * 4, type, alpha, 80, &out), 0);
    return std::string(out.begin(), out.end());
  };
  const std::vector<uint32_t> grey4 = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
  switch (reader) {
    case vkFuzzedReader::PNG: return {encoded(VKOS_PICTURE_PNG, true), encoded(VKOS_PICTURE_PNG, false)};
    case vkFuzzedReader::JPEG: return {encoded(VKOS_PICTURE_JPEG, false)};
    case vkFuzzedReader::TIFF: return {Tiff(5, 3, Pattern(5, 3, 9).pixels)};
    case vkFuzzedReader::GIF: {
      using namespace gifbytes;
      std::vector<uint8_t> px(6 * 5);
      for (size_t i = 0; i < px.size(); i++) px[i] = uint8_t(i % 4);
      return {Header(6, 5, 2) + Descriptor(0, 0, 6, 5) + CodeData(2, Literals(2, px)) + ";",
              Header(8, 6, 0) + Control(1, 3, 2) + Descriptor(1, 1, 6, 5, 2, true) + CodeData(2, Literals(2, px)) +
                  ";"};
    }
    case vkFuzzedReader::BMP: {
      std::string words16;
      for (int i = 0; i < 4 * 3; i++) words16 += picturetools::LE16(uint32_t(i * 2731));
      return {Bmp(4, 3, 8, 0, 4, grey4, Bytes({0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2})),
              Bmp(4, 3, 8, 1, 4, grey4, Bytes({6, 1, 0, 0, 0, 3, 3, 2, 1, 0, 0, 2, 0, 1, 1, 3, 0, 1})),
              Bmp(9, 2, 4, 2, 4, grey4, Bytes({9, 0x12, 0, 0, 0, 5, 0x23, 0x01, 0x30, 0, 4, 0x11, 0, 1})),
              Bmp(4, 3, 16, 3, 0, {0xF800, 0x07E0, 0x001F}, words16),
              Bmp(3, 2, 24, 0, 0, {}, std::string(24, '\x41'))};
    }
    case vkFuzzedReader::ILBM: {
      ScratchDir dir;
      const std::vector<uint32_t> argb = Pattern(21, 5, 9).pixels;
      EXPECT_EQ(WriteILBMFile((dir / "ours.iff").c_str(), argb.data(), 21, 5), 0u);
      return {Form(Bmhd(8, 2, 1) + RawBody({{1, 0, 1, 0, 1, 0, 1, 0}, {0, 1, 0, 1, 0, 1, 0, 1}}, 1) +
                   Cmap({0x123456, 0xFFFFFF})),
              ReadWholeFile(dir / "ours.iff"),
              // HAM6 with a mask plane, packed: each plane row of 2 bytes as a
              // literal or a run, with a -128 no-op now and then
              Form(Bmhd(9, 2, 6, 1, 1) + Chunk("CAMG", BE32(0x800)) + Cmap({1, 2, 3, 4}) + Chunk("BODY", [] {
                     std::string body;
                     for (int row = 0; row < 14; row++)
                       body += row % 3 ? Bytes({1, row * 37 & 255, row * 91 & 255}) : Bytes({0x80, 0xFF, row * 13});
                     return body;
                   }())),
              Form(Bmhd(5, 2, 12) + RawBody({{1, 2, 3, 4, 4095}, {5, 6, 7, 8, 9}}, 12))};
    }
  }
  return {};
}

// The seeds of a format: those made here, then ImageMagick's when it is there.
std::vector<std::string> Seeds(const Format& format, ScratchDir& dir) {
  std::vector<std::string> seeds = MadeHere(format.reader);
  static const bool magick = picturetools::HaveTool("convert");
  if (!magick) return seeds;
  picturetools::Rgba source;
  source.width = 11;
  source.height = 6;
  source.pixels = Pattern(11, 6, 60).pixels;
  for (size_t i = 0; i < source.pixels.size(); i++) source.alpha.push_back(i % 5 ? 255 : 0);
  picturetools::WritePAM(dir / "in.pam", source);
  for (const char* output : format.magickOutputs) {
    if (!output) break;
    std::string spec = output;
    spec.replace(spec.find("%s"), 2, dir / "seed");
    const size_t space = spec.find(' ');
    const std::string options = space == std::string::npos ? "" : spec.substr(space);
    spec = spec.substr(0, space);
    const std::string path = spec.substr(spec.find(dir.path()));
    if (picturetools::RunTool("convert '" + (dir / "in.pam") + "' " + options + " '" + spec + "'"))
      seeds.push_back(ReadWholeFile(path));
  }
  return seeds;
}

uint32_t Read(vkFuzzedReader reader, const std::string& bytes) {
  return FuzzPictureReader(reader, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(PictureFuzz, MutatedFilesGiveAPictureOrTheReadersError) {
  ScratchDir dir;
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  const long iterations = env ? std::strtol(env, nullptr, 10) : 1500;
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    const std::vector<std::string> seeds = Seeds(format, dir);
    for (size_t i = 0; i < seeds.size(); i++) EXPECT_EQ(Read(format.reader, seeds[i]), 0u) << "seed " << i;
    std::mt19937 rng(20261211);
    std::map<uint32_t, long> codes;
    for (long i = 0; i < iterations; i++) codes[Read(format.reader, fuzzmutate::Mutate(seeds[size_t(i) % seeds.size()], rng))]++;
    // the mutations reach both ends: pictures that still load, and errors
    EXPECT_GT(codes[0], 0);
    EXPECT_GT(codes[1358], 0);
  }
}

TEST(PictureFuzz, CorpusReplays) {
  const char* corpus = std::getenv("VK_FUZZ_CORPUS");
  if (!corpus) GTEST_SKIP() << "VK_FUZZ_CORPUS not set";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = ReadWholeFile(entry.path().string());
    for (const Format& format : kFormats) Read(format.reader, bytes);
  }
}

// Through the picture loader, as the player reads them.
TEST(PictureFuzz, EveryCutOfAFileGivesTheDamagedPictureError) {
  ScratchDir dir;
  for (const Format& format : kFormats) {
    SCOPED_TRACE(format.name);
    const std::string whole = MadeHere(format.reader).front();
    auto load = [&](const std::string& bytes) {
      const std::string path = dir.Write("cut", bytes);
      uint32_t* pixels = nullptr;
      vkPlane* alpha = nullptr;
      int32_t w = 0, h = 0;
      const uint32_t code = LoadPictureFile(path.c_str(), PICTURE_ALPHA_KEEP, &pixels, &alpha, nullptr, nullptr, &w, &h);
      vkBufferPtr<uint32_t> ownedPixels(pixels);
      vkPlanePtr ownedAlpha(alpha);
      return code;
    };
    ASSERT_EQ(load(whole), 0u);
    for (size_t length = 0; length < whole.size(); length++) {
      SCOPED_TRACE(length);
      ASSERT_EQ(load(whole.substr(0, length)), 1358u);
    }
  }
}

}  // namespace
