// Picture saving as outside tools judge it: brushes of several sizes, opaque,
// with an alpha plane or with a mask and transparent colour, saved in each
// format and decoded by ImageMagick (ILBM by netpbm) pixel for pixel (JPEG
// by its signal-to-noise ratio); the BMP layout byte for byte; GIFs keep
// every colour of a picture without transparent colour; the errors of
// files that cannot be written and of unknown formats; and snapshots of a
// display compared with the test's own rendering of the scene.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/errorinfo.h"
#include "engine/vmapi.h"
#include "graphics/graphicslib.h"
#include "graphics/picturesave.h"
#include "support/scene.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using gfxtest::Pixels;
using namespace picturetools;

// The graphics library beside the brush and sprite libraries of the scene.
class SaveTest : public gfxtest::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenGraphicsLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeGraphicsObjects(L);
    SceneTest::TearDown();
  }
  ScratchDir dir;
};

enum class Kind { Opaque, Alpha, Masked };

// A picture of the test: its colours, and where it is hidden or how opaque.
struct Picture {
  int32_t width, height;
  Kind kind;
  Pixels rgb, mask, alpha;
};

constexpr uint32_t kKey = 0x00FF00;  // the transparent colour of masked pictures

Picture MakePicture(int32_t width, int32_t height, Kind kind) {
  Picture p{width, height, kind, {}, {}, {}};
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const uint32_t k = uint32_t(x * 7 + y * 13);
      p.rgb.push_back(PatternColour(k % 200));
      p.mask.push_back((x + 2 * y) % 3 != 1);
      p.alpha.push_back((k * 37) % 256);
    }
  return p;
}

// The colours a saved file holds and the alpha it shows.
Rgba Expected(const Picture& p, bool withAlpha) {
  Rgba e{p.width, p.height, p.rgb, std::vector<uint8_t>(p.rgb.size(), 255)};
  for (size_t i = 0; i < p.rgb.size(); i++) {
    if (p.kind == Kind::Masked && !p.mask[i]) {
      e.pixels[i] = kKey;
      if (withAlpha) e.alpha[i] = 0;
    }
    if (p.kind == Kind::Alpha && withAlpha) e.alpha[i] = uint8_t(p.alpha[i]);
  }
  return e;
}

double PSNR(const Rgba& a, const Rgba& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); i++)
    for (int s = 0; s < 24; s += 8) {
      const double d = double(a.pixels[i] >> s & 0xFF) - double(b.pixels[i] >> s & 0xFF);
      sum += d * d;
    }
  const double mse = sum / double(a.pixels.size() * 3);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

TEST_F(SaveTest, EveryFormatDecodesToThePixelsSaved) {
  ASSERT_TRUE(HaveTool("identify") && HaveTool("ilbmtoppm"));
  struct Format {
    int32_t code;
    const char* name;       // as identify names it
    const char* extension;
  } formats[] = {{IMGFMT_BMP, "BMP3", "bmp"},
                 {IMGFMT_PNG, "PNG", "png"},
                 {IMGFMT_GIF, "GIF", "gif"},
                 {IMGFMT_ILBM, "", "iff"}};
  const struct {
    int32_t width, height;
  } sizes[] = {{1, 1}, {10, 2}, {33, 17}};
  for (const auto& size : sizes)
    for (Kind kind : {Kind::Opaque, Kind::Alpha, Kind::Masked})
      for (const Format& f : formats) {
        SCOPED_TRACE(std::string(f.extension) + " " + std::to_string(size.width) + "x" +
                     std::to_string(size.height) + " kind " + std::to_string(int(kind)));
        const Picture p = MakePicture(size.width, size.height, kind);
        MakeBrush(1, p.width, p.height, p.rgb, kind == Kind::Masked ? &p.mask : nullptr,
                  kind == Kind::Alpha ? &p.alpha : nullptr);
        const std::string path = dir / (std::string("saved.") + f.extension);
        ASSERT_EQ(Call("SaveBrush", {1, path, kKey, f.code}), "");
        // Alpha reaches a PNG from the alpha plane and a GIF from the mask.
        const bool withAlpha = (f.code == IMGFMT_PNG && kind == Kind::Alpha) ||
                               (f.code == IMGFMT_GIF && kind == Kind::Masked);
        const Rgba want = Expected(p, withAlpha);
        Rgba got;
        if (f.code == IMGFMT_ILBM) {
          ASSERT_TRUE(RunTool("ilbmtoppm '" + path + "' > '" + dir / "ilbm.ppm" + "' 2>/dev/null"));
          Rgb rgb;
          ASSERT_TRUE(ReadPPM(dir / "ilbm.ppm", &rgb));
          got = Rgba{rgb.width, rgb.height, rgb.pixels, std::vector<uint8_t>(rgb.pixels.size(), 255)};
        } else {
          ASSERT_TRUE(RunTool("identify -format '%m %w %h' '" + path + "' > '" + dir / "id.txt" + "'"));
          EXPECT_EQ(ReadWholeFile(dir / "id.txt"),
                    std::string(f.name) + " " + std::to_string(p.width) + " " + std::to_string(p.height));
          ASSERT_TRUE(MagickDecode(path, "", dir / "raw.rgba", p.width, p.height, &got));
        }
        ASSERT_EQ(got.width, p.width);
        ASSERT_EQ(got.height, p.height);
        EXPECT_EQ(got.alpha, want.alpha);
        for (size_t i = 0; i < want.pixels.size(); i++) {
          if (want.alpha[i] == 0 && f.code == IMGFMT_GIF) continue;  // a transparent GIF pixel has no colour
          ASSERT_EQ(got.pixels[i], want.pixels[i]) << "pixel " << i;
        }
      }
}

TEST_F(SaveTest, JpegKeepsASmoothPictureAtQuality90) {
  constexpr int32_t w = 64, h = 48;
  Pixels rgb;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) rgb.push_back(uint32_t(x * 4) << 16 | uint32_t(y * 5) << 8 | uint32_t(128 + x));
  MakeBrush(1, w, h, rgb);
  const std::string path = dir / "smooth.jpg";
  // The quality as a number and in an options table.
  for (const std::string& options : {std::string("90"), std::string("{quality = 90}")}) {
    SCOPED_TRACE(options);
    if (options[0] == '{') {
      gfxtest::SetGlobalTable(L, "opts", {{"quality", 90}});
      ASSERT_EQ(Call("SaveBrush", {1, path, 0, IMGFMT_JPEG, vktest::Arg::global("opts")}), "");
    } else {
      ASSERT_EQ(Call("SaveBrush", {1, path, 0, IMGFMT_JPEG, 90}), "");
    }
    ASSERT_TRUE(RunTool("identify -format '%m %w %h %Q' '" + path + "' > '" + dir / "id.txt" + "'"));
    EXPECT_EQ(ReadWholeFile(dir / "id.txt"), "JPEG 64 48 90");
    Rgba got;
    ASSERT_TRUE(MagickDecode(path, "", dir / "raw.rgba", w, h, &got));
    EXPECT_GE(PSNR(got, Rgba{w, h, rgb, {}}), 38.0);
  }
}

TEST_F(SaveTest, BmpLayoutByteForByte) {
  // 10 x 2: rows of 30 bytes padded to 32, the bottom row first.
  Pixels rgb;
  for (int32_t i = 0; i < 20; i++) rgb.push_back(uint32_t(i) << 16 | uint32_t(i + 100) << 8 | uint32_t(200 - i));
  MakeBrush(1, 10, 2, rgb);
  const std::string path = dir / "ten.bmp";
  ASSERT_EQ(Call("SaveBrush", {1, path}), "");
  std::string want = "BM" + LE32(2 * 32 + 54) + LE32(0) + LE32(54) + LE32(40) + LE32(10) + LE32(2) + LE16(1) +
                     LE16(24) + std::string(24, '\0');
  for (int32_t y = 1; y >= 0; y--) {
    for (int32_t x = 0; x < 10; x++) {
      const uint32_t c = rgb[size_t(y * 10 + x)];
      want += Bytes({int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)});
    }
    want += std::string(2, '\0');
  }
  EXPECT_EQ(ReadWholeFile(path), want);
}

TEST_F(SaveTest, GifWithoutTransparentColourKeepsEveryPixelOpaque) {
  // 300 colours: the palette is full, and no colour may become the
  // transparent entry the writer marks.
  constexpr int32_t w = 30, h = 10;
  Pixels rgb;
  for (uint32_t k = 0; k < w * h; k++) rgb.push_back(PatternColour(k) ^ (k & 0x100 ? 0x804020 : 0));
  MakeBrush(1, w, h, rgb);
  const std::string path = dir / "many.gif";
  ASSERT_EQ(Call("SaveBrush", {1, path, 0, IMGFMT_GIF}), "");
  Rgba got;
  ASSERT_TRUE(MagickDecode(path, "", dir / "raw.rgba", w, h, &got));
  EXPECT_EQ(got.alpha, std::vector<uint8_t>(size_t(w * h), 255));
}

TEST_F(SaveTest, FilesThatCannotBeWrittenAndUnknownFormatsFail) {
  MakeBrush(1, 4, 3, Pixels(12, 0x123456));
  const std::string missing = dir / "no/such/folder/x";
  const struct {
    std::string file;
    int32_t format;
    std::string outcome;
  } cases[] = {
      {missing, IMGFMT_BMP, "error 1052"},  {missing, IMGFMT_PNG, "error 1277"},
      {missing, IMGFMT_JPEG, "error 1315"}, {missing, IMGFMT_GIF, "error 1052"},
      {missing, IMGFMT_ILBM, "error 1052"}, {"/dev/full", IMGFMT_BMP, "error 1052"},
      {dir / "x", 5, "error 1055"},         {dir / "x", -1, "error 1055"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + std::to_string(c.format));
    EXPECT_EQ(Call("SaveBrush", {1, c.file, 0, c.format}), c.outcome);
    if (c.outcome == "error 1052") {
      EXPECT_EQ(ErrorInfo().errorText, c.file);
    }
  }
  EXPECT_EQ(Call("SaveSnapshot", {dir / "x", 3}), "error 1055");
  EXPECT_EQ(Call("SaveSnapshot", {dir / "x", SNAPDISPLAY, 7}), "error 1055");
  // This display has no window.
  EXPECT_EQ(Call("SaveSnapshot", {dir / "x", SNAPWINDOW}), "error 1347");
  EXPECT_EQ(Call("SaveSnapshot", {dir / "x"}), "error 1347");
}

// The background: a different colour at every pixel.
uint32_t Ground(int32_t x, int32_t y) { return uint32_t(x * 9) << 16 | uint32_t(y * 13) << 8 | 0x40; }

TEST_F(SaveTest, DisplaySnapshotHoldsThePictureWithItsSprites) {
  for (vkBitMap* b : {back.get(), screen.get()})
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) WriteBitMapPixel(b, x, y, Ground(x, y));
  // A 3 x 3 sprite whose centre is masked out, shown at (5, 4).
  Pixels sprite(9, 0xE01070), mask(9, 1);
  mask[4] = 0;
  MakeBrush(1, 3, 3, sprite, &mask);
  ASSERT_EQ(Call("CreateSprite", {1, 3, 1}), "");
  ASSERT_EQ(Call("DisplaySprite", {1, 5, 4}), "");
  for (int32_t format : {IMGFMT_PNG, IMGFMT_BMP}) {
    SCOPED_TRACE(format);
    const std::string path = dir / "snap";
    ASSERT_EQ(Call("SaveSnapshot", {path, SNAPDISPLAY, format}), "");
    Rgba got;
    ASSERT_TRUE(MagickDecode(path, "", dir / "raw.rgba", kWidth, kHeight, &got));
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) {
        const bool onSprite = x >= 5 && x < 8 && y >= 4 && y < 7 && !(x == 6 && y == 5);
        ASSERT_EQ(got.pixels[size_t(y * kWidth + x)], onSprite ? 0xE01070u : Ground(x, y)) << x << "," << y;
      }
    EXPECT_EQ(got.alpha, std::vector<uint8_t>(size_t(kWidth * kHeight), 255));
  }
}

}  // namespace
