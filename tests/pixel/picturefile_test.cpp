// The picture loader and the platform's codecs: every PNG, JPEG, TIFF and
// GIF variant that ImageMagick writes loads with ImageMagick's own pixels
// and alpha; saved PNG and JPEG pictures decode in ImageMagick to what was
// saved (pixel for pixel, or within a PSNR bound); the alpha modes; the
// format sniffing; linked files; and files that are missing, unknown, cut
// short or unwritable, each with its error code.
#include "pixel/picturefile.h"

#include <cmath>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "io/chunknames.h"
#include "pixel/allocate.h"
#include "pixel/bitmap.h"
#include "pixel/ilbm.h"
#include "platform/vkos_pictures.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturetools;

// What LoadPictureFile gave for a file.
struct Picture {
  uint32_t code = 0;
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
  bool hasPlane = false;
  std::vector<uint8_t> alpha;  // packed, width x height, when there is a plane
};

Picture Load(const std::string& path, int32_t mode = PICTURE_ALPHA_KEEP) {
  Picture p;
  uint32_t* words = nullptr;
  vkPlane* plane = nullptr;
  int32_t extra = 7, transparent = 7;
  p.code = LoadPictureFile(path.c_str(), mode, &words, &plane, &extra, &transparent, &p.width, &p.height);
  vkBufferPtr<uint32_t> ownedWords(words);
  vkPlanePtr ownedPlane(plane);
  if (p.code) {
    EXPECT_EQ(words, nullptr);
    EXPECT_EQ(plane, nullptr);
    return p;
  }
  EXPECT_EQ(extra, 0);
  EXPECT_EQ(transparent, -1);
  p.pixels.assign(words, words + size_t(p.width) * size_t(p.height));
  if (plane) {
    p.hasPlane = true;
    EXPECT_EQ(plane->width, p.width);
    EXPECT_EQ(plane->height, p.height);
    EXPECT_EQ(plane->bytesPerRow, AlphaBytesPerRow(p.width));
    for (int32_t y = 0; y < p.height; y++)
      p.alpha.insert(p.alpha.end(), plane->data + size_t(y) * plane->bytesPerRow,
                     plane->data + size_t(y) * plane->bytesPerRow + p.width);
  }
  return p;
}

enum AlphaKind { kOpaque, kBinary, kGraded };

// A picture of [colours] colours with opaque, binary or graded alpha.
Rgba Source(int32_t width, int32_t height, int32_t colours, AlphaKind kind) {
  Rgb rgb = Pattern(width, height, colours);
  Rgba p;
  p.width = width;
  p.height = height;
  p.pixels = rgb.pixels;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const int graded = (x * 37 + y * 91) % 256;
      p.alpha.push_back(kind == kOpaque ? 255 : kind == kBinary ? ((x + y) % 3 ? 255 : 0) : graded);
    }
  p.alpha[0] = kind == kOpaque ? 255 : 0;
  if (kind == kGraded) p.alpha[1] = 255;
  return p;
}

// Compares a loaded picture with ImageMagick's decode: colours within
// [tolerance] where the pixel is not fully transparent, and the alpha.
void ExpectLike(const Picture& ours, const Rgba& magick, int tolerance, bool plane) {
  ASSERT_EQ(ours.code, 0u);
  ASSERT_EQ(ours.width, magick.width);
  ASSERT_EQ(ours.height, magick.height);
  EXPECT_EQ(ours.hasPlane, plane);
  int worst = 0;
  size_t alphaWrong = 0;
  for (size_t i = 0; i < ours.pixels.size(); i++) {
    const uint8_t alpha = ours.hasPlane ? ours.alpha[i] : 255;
    if (alpha != magick.alpha[i]) alphaWrong++;
    EXPECT_EQ(ours.pixels[i] >> 24, 0u);
    if (magick.alpha[i] != 0) worst = std::max(worst, ChannelDistance(ours.pixels[i], magick.pixels[i]));
  }
  EXPECT_LE(worst, tolerance);
  EXPECT_EQ(alphaWrong, 0u);
}

const bool kMagick = HaveTool("convert");

TEST(PictureFile, EveryVariantLoadsWithImageMagicksPixelsAndAlpha) {
  if (!kMagick) GTEST_SKIP() << "ImageMagick is not installed";
  ScratchDir dir;
  struct Case {
    const char* what;
    const char* output;  // ImageMagick's output name; %s is the file
    const char* options;
    int32_t colours;
    AlphaKind alpha;
    bool plane;          // we hand out an alpha plane
    int tolerance;       // against ImageMagick's decode
    const char* judge = "";  // options for ImageMagick's decode
  };
  const Case cases[] = {
      {"PNG RGB", "PNG24:%s", "", 300, kOpaque, false, 0},
      {"PNG RGBA", "PNG32:%s", "", 300, kGraded, true, 0},
      {"PNG grey", "%s.png", "-colorspace Gray", 300, kOpaque, false, 0},
      {"PNG grey and alpha, 8 bits", "%s.png", "-colorspace Gray -define png:color-type=4", 300, kGraded, true, 0},
      {"PNG grey, 16 bits", "%s.png", "-colorspace Gray -depth 16 -define png:bit-depth=16", 300, kOpaque, false, 1},
      {"PNG grey, 1 bit", "%s.png", "-monochrome", 2, kOpaque, false, 0},
      {"PNG RGB, 16 bits", "PNG48:%s", "", 300, kOpaque, false, 1},
      {"PNG RGBA, 16 bits", "PNG64:%s", "", 300, kGraded, true, 1},
      {"PNG palette", "PNG8:%s", "", 40, kOpaque, false, 0},
      {"PNG palette with tRNS", "PNG8:%s", "", 40, kBinary, true, 0},
      {"PNG interlaced", "PNG32:%s", "-interlace PNG", 300, kGraded, true, 0},
      {"JPEG baseline", "%s.jpg", "-quality 90", 300, kOpaque, false, 1},
      {"JPEG progressive", "%s.jpg", "-quality 90 -interlace Plane", 300, kOpaque, false, 1},
      {"JPEG grey", "%s.jpg", "-colorspace Gray", 300, kOpaque, false, 1},
      {"JPEG CMYK", "%s.jpg", "-colorspace CMYK", 300, kOpaque, false, 2, "-colorspace sRGB"},
      {"TIFF RGB, LZW", "%s.tif", "-compress LZW", 300, kOpaque, false, 0},
      {"TIFF RGBA", "%s.tif", "-compress None", 300, kBinary, true, 0},
      {"TIFF grey", "%s.tif", "-colorspace Gray", 300, kOpaque, false, 0},
      {"GIF", "%s.gif", "", 200, kOpaque, false, 0},
      {"GIF interlaced", "%s.gif", "-interlace GIF", 200, kOpaque, false, 0},
      {"GIF with a transparent colour", "%s.gif", "", 60, kBinary, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Rgba source = Source(23, 17, c.colours, c.alpha);
    WritePAM(dir / "in.pam", source);
    std::string output = c.output;
    const std::string file = dir / "picture";
    output.replace(output.find("%s"), 2, file);
    const std::string path = output.substr(output.find(dir.path()));
    ASSERT_TRUE(RunTool("convert '" + (dir / "in.pam") + "' " + (c.alpha == kOpaque ? "-alpha off " : "") +
                        c.options + " '" + output + "'"));
    Rgba magick;
    ASSERT_TRUE(MagickDecode(path, c.judge, dir / "judge.rgba", 23, 17, &magick));
    ExpectLike(Load(path), magick, c.tolerance, c.plane);
  }
}

TEST(PictureFile, SavedPicturesDecodeInImageMagickAsSaved) {
  if (!kMagick) GTEST_SKIP() << "ImageMagick is not installed";
  ScratchDir dir;
  const Rgba source = Source(31, 9, 300, kGraded);
  // ARGB words, rows padded by three words to check the row length
  const int32_t rowWords = 34;
  std::vector<uint32_t> words(size_t(rowWords) * 9, 0xDEADBEEF);
  for (int32_t y = 0; y < 9; y++)
    for (int32_t x = 0; x < 31; x++) {
      const size_t i = size_t(y) * 31 + size_t(x);
      words[size_t(y) * rowWords + size_t(x)] = uint32_t(source.alpha[i]) << 24 | source.pixels[i];
    }

  for (bool keepAlpha : {false, true}) {
    SCOPED_TRACE(keepAlpha ? "PNG with alpha" : "PNG without alpha");
    const std::string path = dir / "saved.png";
    ASSERT_EQ(vkosSavePicture(path.c_str(), words.data(), 31, 9, rowWords * 4, VKOS_PICTURE_PNG, keepAlpha, 0,
                              nullptr),
              0);
    Rgba magick;
    ASSERT_TRUE(MagickDecode(path, "", dir / "judge.rgba", 31, 9, &magick));
    EXPECT_EQ(magick.pixels, source.pixels);
    EXPECT_EQ(magick.alpha, keepAlpha ? source.alpha : std::vector<uint8_t>(source.alpha.size(), 255));
    // and the same bytes in memory
    std::vector<uint8_t> memory;
    ASSERT_EQ(vkosSavePicture(nullptr, words.data(), 31, 9, rowWords * 4, VKOS_PICTURE_PNG, keepAlpha, 0, &memory),
              0);
    EXPECT_EQ(std::string(memory.begin(), memory.end()), ReadWholeFile(path));
  }

  // JPEG: ImageMagick's decode stays close to what was saved, closer with a
  // higher quality; memory and file hold the same bytes.
  Rgb smooth;
  smooth.width = 64;
  smooth.height = 48;
  for (int32_t y = 0; y < 48; y++)
    for (int32_t x = 0; x < 64; x++)
      smooth.pixels.push_back(uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t((x + y) * 2));
  struct Quality {
    int32_t quality;
    double leastPsnr;
  };
  double previous = 0;
  for (const Quality& q : {Quality{10, 22}, Quality{75, 32}, Quality{100, 42}}) {
    SCOPED_TRACE(q.quality);
    const std::string path = dir / "saved.jpg";
    ASSERT_EQ(vkosSaveJpeg(path.c_str(), smooth.pixels.data(), 64, 48, q.quality), 0);
    Rgba magick;
    ASSERT_TRUE(MagickDecode(path, "", dir / "judge.rgba", 64, 48, &magick));
    double squares = 0;
    for (size_t i = 0; i < smooth.pixels.size(); i++)
      for (int shift = 0; shift < 24; shift += 8) {
        const double d = double(smooth.pixels[i] >> shift & 0xFF) - double(magick.pixels[i] >> shift & 0xFF);
        squares += d * d;
      }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / double(smooth.pixels.size() * 3) + 1e-9));
    EXPECT_GE(psnr, q.leastPsnr);
    EXPECT_GT(psnr, previous);
    previous = psnr;
    std::vector<uint8_t> memory;
    ASSERT_EQ(vkosEncodeJpeg(smooth.pixels.data(), 64 * 4, 64, 48, q.quality, &memory), 0);
    EXPECT_EQ(std::string(memory.begin(), memory.end()), ReadWholeFile(path));
  }
}

TEST(PictureFile, PicturesInMemoryDecodeLikeTheirFiles) {
  ScratchDir dir;
  const Rgba source = Source(13, 5, 16, kBinary);
  std::vector<uint32_t> words;
  for (size_t i = 0; i < source.pixels.size(); i++) words.push_back(uint32_t(source.alpha[i]) << 24 | source.pixels[i]);
  std::vector<uint8_t> png;
  ASSERT_EQ(vkosSavePicture(nullptr, words.data(), 13, 5, 13 * 4, VKOS_PICTURE_PNG, true, 0, &png), 0);
  int32_t w = 0, h = 0;
  uint32_t* pixels = nullptr;
  uint8_t* alpha = nullptr;
  bool hasAlpha = false;
  ASSERT_EQ(vkosLoadPicture(png.data(), png.size(), &w, &h, nullptr, nullptr, &hasAlpha), 0);
  EXPECT_EQ(w, 13);
  EXPECT_EQ(h, 5);
  EXPECT_TRUE(hasAlpha);
  ASSERT_EQ(vkosLoadPicture(png.data(), png.size(), &w, &h, &pixels, &alpha), 0);
  vkBufferPtr<uint32_t> ownedPixels(pixels);
  vkBufferPtr<uint8_t> ownedAlpha(alpha);
  ASSERT_NE(alpha, nullptr);
  const Picture file = Load(dir.Write("same.png", std::string(png.begin(), png.end())));
  ASSERT_EQ(file.code, 0u);
  EXPECT_EQ(std::vector<uint32_t>(pixels, pixels + 65), file.pixels);
  EXPECT_EQ(file.pixels, source.pixels);
  EXPECT_EQ(file.alpha, source.alpha);
  for (int32_t y = 0; y < 5; y++)
    EXPECT_EQ(std::vector<uint8_t>(alpha + y * 16, alpha + y * 16 + 13),
              std::vector<uint8_t>(source.alpha.begin() + y * 13, source.alpha.begin() + y * 13 + 13));

  // a picture linked into an applet: a byte range of a container
  const std::string container = dir.Write("applet", "leading bytes" + std::string(png.begin(), png.end()) + "tail");
  const std::string chunk = MakeChunkName("picture.png", 13, int64_t(png.size()), 0, container.c_str());
  const Picture linked = Load(chunk);
  ASSERT_EQ(linked.code, 0u);
  EXPECT_EQ(linked.pixels, source.pixels);
}

TEST(PictureFile, AlphaModesShapeTheAlpha) {
  ScratchDir dir;
  const Rgba source = Source(6, 2, 8, kGraded);
  std::vector<uint32_t> words;
  for (size_t i = 0; i < source.pixels.size(); i++) words.push_back(uint32_t(source.alpha[i]) << 24 | source.pixels[i]);
  const std::string withAlpha = dir / "alpha.png";
  ASSERT_EQ(vkosSavePng(withAlpha.c_str(), words.data(), 6, 2, true), 0);
  const std::string opaque = dir / "opaque.ilbm";
  ASSERT_EQ(WriteILBMFile(opaque.c_str(), source.pixels.data(), 6, 2), 0);

  std::vector<uint32_t> merged, mergedOpaque;
  for (size_t i = 0; i < source.pixels.size(); i++) {
    merged.push_back(source.pixels[i] << 8 | source.alpha[i]);
    mergedOpaque.push_back(source.pixels[i] << 8 | 0xFF);
  }
  struct Case {
    const char* what;
    std::string path;
    int32_t mode;
    uint32_t code;
    bool plane;
    std::vector<uint32_t> pixels;
  };
  const Case cases[] = {
      {"drop", withAlpha, PICTURE_ALPHA_DROP, 0, false, source.pixels},
      {"require, with alpha", withAlpha, PICTURE_ALPHA_REQUIRE, 0, true, source.pixels},
      {"require, without alpha", opaque, PICTURE_ALPHA_REQUIRE, 1170, false, {}},
      {"merge", withAlpha, PICTURE_ALPHA_MERGE, 0, false, merged},
      {"merge without alpha ends in 0xFF", opaque, PICTURE_ALPHA_MERGE, 0, false, mergedOpaque},
      {"keep", withAlpha, PICTURE_ALPHA_KEEP, 0, true, source.pixels},
      {"keep without alpha", opaque, PICTURE_ALPHA_KEEP, 0, false, source.pixels},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Picture p = Load(c.path, c.mode);
    EXPECT_EQ(p.code, c.code);
    if (c.code) {
      EXPECT_EQ(ErrorInfo().errorText, c.path);
      continue;
    }
    EXPECT_EQ(p.hasPlane, c.plane);
    EXPECT_EQ(p.pixels, c.pixels);
    if (c.plane) {
      EXPECT_EQ(p.alpha, source.alpha);
    }
  }

  // only the size
  int32_t w = 0, h = 0;
  EXPECT_EQ(LoadPictureFile(withAlpha.c_str(), PICTURE_ALPHA_REQUIRE, nullptr, nullptr, nullptr, nullptr, &w, &h), 0u);
  EXPECT_EQ(w, 6);
  EXPECT_EQ(h, 2);
}

TEST(PictureFile, TheFirstBytesChooseTheReader) {
  ScratchDir dir;
  std::vector<uint8_t> jpeg;
  const std::vector<uint32_t> grey(8 * 8, 0x808080);
  ASSERT_EQ(vkosEncodeJpeg(grey.data(), 32, 8, 8, 80, &jpeg), 0);
  std::string jfif(jpeg.begin(), jpeg.end());
  ASSERT_EQ(jfif.substr(6, 4), "JFIF");
  std::string noMarker = jfif;
  noMarker.replace(6, 4, "XXXX");
  // the smallest GIF: 1 x 1, one colour, shorter than 64 bytes
  const std::string gif = "GIF89a" + LE16(1) + LE16(1) + Bytes({0x80, 0, 0, 0xFF, 0, 0, 0, 0, 0}) + "," +
                          LE16(0) + LE16(0) + LE16(1) + LE16(1) + Bytes({0, 2, 2, 0x44, 0x01, 0, ';'});
  struct Case {
    const char* what;
    std::string bytes;
    uint32_t code;
  };
  const Case cases[] = {
      {"a JPEG with JFIF", jfif, 0},
      {"a JPEG without JFIF or Exif at offset 6", noMarker, 1358},
      {"a GIF shorter than 64 bytes", gif, 0},
      {"GIF88a", "GIF88a" + gif.substr(6), 1358},
      {"FORM without ILBM", "FORM" + BE32(4) + "ANIM", 1358},
      {"text", "just some text, nothing else", 1358},
      {"an empty file", "", 1358},
      {"a PNG signature and nothing else", "\x89PNG\r\n\x1a\n", 1358},
      {"a TIFF header and nothing else", std::string("II*\0", 4) + LE32(8), 1358},
      {"a big-endian TIFF header pointing nowhere", std::string("MM\0*", 4) + BE32(1000), 1358},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.Write("sniff", c.bytes);
    const Picture p = Load(path);
    EXPECT_EQ(p.code, c.code);
    if (c.code) {
      EXPECT_EQ(ErrorInfo().errorText, path);
    }
  }
  const Picture tiny = Load(dir.Write("tiny.gif", gif));
  ASSERT_EQ(tiny.code, 0u);
  EXPECT_EQ(tiny.pixels, std::vector<uint32_t>{0xFF0000});
  EXPECT_EQ(Load(dir / "missing.png").code, 1045u);
  EXPECT_EQ(ErrorInfo().errorText, dir / "missing.png");
}

// Files of each format cut at every length: each gives its format's error.
TEST(PictureFile, FilesCutShortGiveTheirError) {
  if (!kMagick) GTEST_SKIP() << "ImageMagick is not installed";
  ScratchDir dir;
  const Rgba source = Source(5, 4, 6, kBinary);
  WritePAM(dir / "in.pam", source);
  // (TIFF and BMP are left out: a TIFF directory may hold bytes the picture
  // never needs, and a BMP may end without its last row's padding)
  const char* outputs[] = {"PNG32:%s", "%s.jpg", "%s.gif", "%s.jpg -interlace Plane"};
  for (const char* output : outputs) {
    std::string spec = output;
    spec.replace(spec.find("%s"), 2, dir / "whole");
    const std::string options = spec.find(' ') == std::string::npos ? "" : spec.substr(spec.find(' '));
    spec = spec.substr(0, spec.find(' '));
    SCOPED_TRACE(spec + options);
    ASSERT_TRUE(RunTool("convert '" + (dir / "in.pam") + "' -alpha off " + options + " '" + spec + "'"));
    const std::string path = spec.substr(spec.find(dir.path()));
    const std::string whole = ReadWholeFile(path);
    ASSERT_EQ(Load(path).code, 0u);
    for (size_t length = 0; length < whole.size(); length++) {
      SCOPED_TRACE(length);
      const uint32_t code = Load(dir.Write("cut", whole.substr(0, length))).code;
      ASSERT_EQ(code, 1358u);
    }
  }
}

TEST(PictureFile, SavingReportsWhatCouldNotBeWritten) {
  ScratchDir dir;
  const std::vector<uint32_t> pixels(16 * 16, 0x123456);
  struct Case {
    const char* what;
    std::string path;
  };
  const Case cases[] = {
      {"a full disk", "/dev/full"},
      {"a folder that does not exist", dir / "no/such/folder/picture"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(vkosSavePng(c.path.c_str(), pixels.data(), 16, 16, false), 1277);
    EXPECT_EQ(vkosSaveJpeg(c.path.c_str(), pixels.data(), 16, 16, 90), 1315);
  }
  EXPECT_EQ(vkosSavePng((dir / "empty.png").c_str(), pixels.data(), 0, 16, false), 1277);
  EXPECT_EQ(vkosSaveJpeg((dir / "huge.jpg").c_str(), pixels.data(), 70000, 1, 90), 1315);
}

}  // namespace
