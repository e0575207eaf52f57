// The GIF writer: ImageMagick decodes what we write pixel for pixel, single
// pictures and anims cut to their changed rectangles alike (coalesced frames
// equal the frames given); the header, control extension, table sizes and
// loop extension byte for byte; the changed rectangle of an unchanged frame;
// and files that cannot be written.
#include "pixel/gifwriter.h"

#include <random>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "pixel/pixfmt.h"
#include "pixel/quantize.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using namespace picturetools;

struct Frame {
  std::vector<uint8_t> indexes;
  std::vector<uint32_t> palette = std::vector<uint32_t>(256, 0);
  int32_t colours = 0;
};

// Quantizes [picture] with a reserved last entry, as the anim writer does.
Frame Reduce(const Rgb& picture) {
  Frame f;
  f.indexes.resize(picture.pixels.size());
  f.colours = 256;
  EXPECT_EQ(QuantizeColors(picture.pixels.data(), PIXFMT_ARGB32, 4, picture.width, picture.height, picture.width,
                           f.indexes.data(), f.palette.data(), &f.colours, -1, 1, 0),
            1);
  return f;
}

std::vector<uint32_t> Colours(const Frame& f) {
  std::vector<uint32_t> c;
  for (uint8_t i : f.indexes) c.push_back(f.palette[i] & 0xFFFFFF);
  return c;
}

struct Writer {
  vkGIFWriter* w = nullptr;
  ~Writer() { CloseGIFWriter(w); }
};

// A picture whose colours all sit at histogram cell centres, so that the
// quantizer keeps them; [shift] moves the pattern.
Rgb CentrePicture(int32_t width, int32_t height, int32_t colours, int32_t shift = 0) {
  Rgb p;
  p.width = width;
  p.height = height;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      uint32_t k = uint32_t((x + shift) / 2 + y * 3) % uint32_t(colours);
      p.pixels.push_back(((k % 32) * 8 + 4) << 16 | ((k / 32 * 8 + k % 8) * 4 + 2) << 8 | ((k * 11 % 32) * 8 + 4));
    }
  return p;
}

TEST(GIFWriter, ImageMagickDecodesPicturesAndAnimsPixelForPixel) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  ScratchDir dir;
  struct Case {
    const char* what;
    int32_t width, height, colours;
    bool noisy;  // random indexes over every colour: the code table fills and is cleared
  };
  const Case cases[] = {
      {"one pixel", 1, 1, 1, false},   {"two colours", 7, 5, 2, false},     {"odd sizes", 33, 17, 40, false},
      {"a long run", 1000, 60, 1, false}, {"254 colours of noise", 300, 200, 254, true},
  };
  std::mt19937 rng(17);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Rgb> frames;
    for (int32_t n = 0; n < 3; n++) {
      Rgb p = CentrePicture(c.width, c.height, c.colours, n * 3);
      if (c.noisy)
        for (auto& px : p.pixels) px = CentrePicture(1, 1, 255, int32_t(rng() % 254) * 2).pixels[0];
      if (n == 2) {
        // the frame before with one pixel in the middle changed
        p = frames[1];
        if (c.width * c.height > 4) p.pixels[size_t(c.height / 2 * c.width + c.width / 2)] = 0xFCFEFC;
      }
      frames.push_back(p);
    }
    for (int changed : {0, 1}) {
      const std::string path = dir / "out.gif";
      Writer writer;
      ASSERT_EQ(OpenGIFWriter(path.c_str(), c.width, c.height, &writer.w), 0u);
      for (const Rgb& p : frames) {
        Frame f = Reduce(p);
        ASSERT_EQ(Colours(f), p.pixels);
        ASSERT_EQ(WriteGIFFrame(writer.w, f.indexes.data(), c.width, c.height, 40, f.palette.data(), f.colours, -1,
                                changed),
                  0u);
      }
      ASSERT_EQ(CloseGIFWriter(writer.w), 0u);
      writer.w = nullptr;
      if (changed && c.width * c.height > 4) {
        // the last frame is cut to its one changed pixel
        ASSERT_TRUE(RunTool("identify -format '%w %h %X %Y\\n' " + path + " > " + dir / "frames.txt"));
        const std::string lines = ReadWholeFile(dir / "frames.txt");
        const std::string last = lines.substr(lines.rfind('\n', lines.size() - 2) + 1);
        EXPECT_EQ(last, "1 1 +" + std::to_string(c.width / 2) + " +" + std::to_string(c.height / 2) + "\n");
      }
      ASSERT_TRUE(RunTool("convert " + path + " -coalesce " + dir / "frame-%d.ppm"));
      for (size_t n = 0; n < frames.size(); n++) {
        SCOPED_TRACE("frame " + std::to_string(n) + (changed ? " changed rectangles" : " whole"));
        Rgb theirs;
        ASSERT_TRUE(ReadPPM(dir / ("frame-" + std::to_string(n) + ".ppm"), &theirs));
        EXPECT_EQ(theirs.width, c.width);
        EXPECT_EQ(theirs.height, c.height);
        EXPECT_EQ(theirs.pixels, frames[n].pixels);
      }
    }
  }
}

// Little-endian 16-bit value at [at].
uint32_t LE16At(const std::string& f, size_t at) { return uint8_t(f[at]) | uint32_t(uint8_t(f[at + 1])) << 8; }

TEST(GIFWriter, HeaderExtensionsAndTableSizes) {
  ScratchDir dir;
  const std::string path = dir / "t.gif";
  struct Case {
    int32_t colours;
    int bits;
  };
  const Case cases[] = {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {128, 7}, {129, 8}, {256, 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE("colours " + std::to_string(c.colours));
    Writer writer;
    ASSERT_EQ(OpenGIFWriter(path.c_str(), 3, 2, &writer.w), 0u);
    std::vector<uint8_t> indexes = {0, 0, 0, 0, 0, uint8_t(c.colours - 1)};
    std::vector<uint32_t> palette(256, 0x00112233);
    ASSERT_EQ(WriteGIFFrame(writer.w, indexes.data(), 3, 2, 1234, palette.data(), c.colours, -1, 0), 0u);
    ASSERT_EQ(WriteGIFFrame(writer.w, indexes.data(), 3, 2, 5, palette.data(), c.colours, 0, 0), 0u);
    for (int i = 0; i < 256; i++) ASSERT_EQ(palette[size_t(i)], i < c.colours ? 0x00112233u : 0xFFFFFFFFu);
    ASSERT_EQ(CloseGIFWriter(writer.w), 0u);
    writer.w = nullptr;

    const std::string f = ReadWholeFile(path);
    ASSERT_GT(f.size(), 830u);
    EXPECT_EQ(f.substr(0, 6), "GIF89a");
    EXPECT_EQ(LE16At(f, 6), 3u);
    EXPECT_EQ(LE16At(f, 8), 2u);
    EXPECT_EQ(f.substr(10, 3), Bytes({0xF7, 0, 0}));
    EXPECT_EQ(f.substr(13, 13), std::string("Amiga rules!", 13));
    EXPECT_EQ(f.substr(26, 755), std::string(755, '\0'));
    // first frame: control (disposal 1, transparent = the last colour, 123 ticks), then the loop
    size_t at = 781;
    EXPECT_EQ(f.substr(at, 8), Bytes({0x21, 0xF9, 4, 0x05, 123, 0, c.colours - 1, 0}));
    at += 8;
    EXPECT_EQ(f.substr(at, 19), Bytes({0x21, 0xFF, 0x0B}) + "NETSCAPE2.0" + Bytes({3, 1, 0, 0, 0}));
    at += 19;
    EXPECT_EQ(f.substr(at, 10), Bytes({0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0x80 | (c.bits - 1)}));
    at += 10;
    const size_t entries = size_t(1) << c.bits;
    EXPECT_EQ(f.substr(at, 3), Bytes({0x11, 0x22, 0x33}));
    if (entries > size_t(c.colours)) {
      EXPECT_EQ(f.substr(at + 3 * size_t(c.colours), 3), Bytes({0xFF, 0xFF, 0xFF}));
    }
    at += 3 * entries;
    EXPECT_EQ(uint8_t(f[at]), std::max(c.bits, 2));
    // the second frame: disposal 2 with its own transparent index, no loop extension
    EXPECT_EQ(f.find("NETSCAPE"), f.rfind("NETSCAPE"));
    EXPECT_NE(f.find(Bytes({0x21, 0xF9, 4, 0x09, 0, 0, 0, 0})), std::string::npos);
    EXPECT_EQ(f.back(), '\x3B');
  }
}

TEST(GIFWriter, AnUnchangedFrameIsTwoTransparentPixels) {
  ScratchDir dir;
  const std::string path = dir / "same.gif";
  for (int32_t width : {5, 1}) {
    SCOPED_TRACE("width " + std::to_string(width));
    Writer writer;
    ASSERT_EQ(OpenGIFWriter(path.c_str(), width, 3, &writer.w), 0u);
    std::vector<uint32_t> palette(256, 0);
    palette[0] = 0x102030, palette[1] = 0x405060;
    std::vector<uint8_t> first(size_t(width) * 3, 1), second = first;
    ASSERT_EQ(WriteGIFFrame(writer.w, first.data(), width, 3, 0, palette.data(), 3, -1, 1), 0u);
    const size_t before = ReadWholeFile(path).size();  // buffered: only a lower bound
    ASSERT_EQ(WriteGIFFrame(writer.w, second.data(), width, 3, 0, palette.data(), 3, -1, 1), 0u);
    // the pixels of the rectangle became the transparent index (colours - 1 = 2)
    const size_t cut = width < 2 ? 1 : 2;
    for (size_t i = 0; i < second.size(); i++) EXPECT_EQ(second[i], i < cut ? 2 : 1) << i;
    ASSERT_EQ(CloseGIFWriter(writer.w), 0u);
    writer.w = nullptr;
    const std::string f = ReadWholeFile(path);
    const size_t descriptor = f.rfind(Bytes({0x2C, 0, 0, 0, 0}));
    ASSERT_NE(descriptor, std::string::npos);
    ASSERT_GE(descriptor, before);
    EXPECT_EQ(LE16At(f, descriptor + 5), cut);
    EXPECT_EQ(LE16At(f, descriptor + 7), 1u);
  }
}

TEST(GIFWriter, FilesThatCannotBeWritten) {
  ScratchDir dir;
  vkGIFWriter* w = nullptr;
  const std::string missing = dir / "no/such/dir.gif";
  EXPECT_EQ(OpenGIFWriter(missing.c_str(), 4, 4, &w), 1052u);
  EXPECT_EQ(ErrorInfo().errorText, missing);
  EXPECT_EQ(OpenGIFWriter((dir / "big.gif").c_str(), 70000, 4, &w), 1052u);
  EXPECT_EQ(w, nullptr);
  if (std::ifstream("/dev/full").good()) {
    // a full disk is reported, not written over in silence
    ASSERT_EQ(OpenGIFWriter("/dev/full", 64, 64, &w), 0u);
    std::vector<uint8_t> indexes(64 * 64, 0);
    std::vector<uint32_t> palette(256, 0);
    uint32_t code = 0;
    for (int i = 0; i < 64 && code == 0; i++)
      code = WriteGIFFrame(w, indexes.data(), 64, 64, 0, palette.data(), 2, -1, 0);
    EXPECT_EQ(code == 1052u || CloseGIFWriter(w) == 1052u, true);
    if (code) CloseGIFWriter(w);
  }
}

}  // namespace
