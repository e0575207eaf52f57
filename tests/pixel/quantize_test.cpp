// The colour quantizer: never more than 256 colours and every index inside
// the palette; exact for pictures of at most 256 colours at the histogram's
// cell centres; every pixel mapped to the palette colour nearest its cell
// (against a brute-force search); the transparent colour and the reserved
// entry; the split rule; and dithering that brings a gradient's mean closer.
#include "pixel/quantize.h"

#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "pixel/pixfmt.h"

namespace {

struct Result {
  int ok = 0;
  int32_t count = 0;
  std::vector<uint8_t> indexes;
  std::vector<uint32_t> palette = std::vector<uint32_t>(256, 0xDEADBEEF);
};

// ARGB32 pixels, row length = width (the alpha byte is set to show it is ignored).
Result Quantize(const std::vector<uint32_t>& argb, int32_t width, int32_t height, int32_t wanted,
                int32_t transparent = -1, int32_t reserve = 0, int32_t dither = 0) {
  std::vector<uint32_t> pixels = argb;
  for (auto& p : pixels) p |= 0x7F000000;
  Result r;
  r.count = wanted;
  r.indexes.assign(size_t(width) * height, 0xEE);
  r.ok = QuantizeColors(pixels.data(), PIXFMT_ARGB32, 4, width, height, width, r.indexes.data(), r.palette.data(),
                        &r.count, transparent, reserve, dither);
  return r;
}

// The colour at the centre of histogram cell (r, g, b).
uint32_t CellCentre(uint32_t r, uint32_t g, uint32_t b) { return (r * 8 + 4) << 16 | (g * 4 + 2) << 8 | (b * 8 + 4); }

// [n] different cell-centre colours spread over the colour space.
std::vector<uint32_t> CentreColours(int n) {
  std::vector<uint32_t> colours;
  for (int i = 0; i < n; i++) colours.push_back(CellCentre(i % 32, i / 32 * 8 + i % 8, (i * 11) % 32));
  return colours;
}

std::vector<uint32_t> RandomPicture(const std::vector<uint32_t>& colours, int32_t n, std::mt19937& rng) {
  std::vector<uint32_t> p;
  for (int32_t i = 0; i < n; i++) p.push_back(colours[rng() % colours.size()]);
  return p;
}

TEST(Quantize, AtMost256CellCentreColoursComeBackExactly) {
  std::mt19937 rng(5);
  struct Case {
    int colours;
    int32_t transparent;
    int32_t reserve;
    int32_t dither;
  };
  const Case cases[] = {{1, -1, 0, 0}, {3, -1, 0, 0},  {100, -1, 0, 1}, {256, -1, 0, 0},
                        {255, -1, 1, 0}, {200, 0x123456, 0, 1}, {255, 0x010203, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("colours " + std::to_string(c.colours) + " dither " + std::to_string(c.dither));
    std::vector<uint32_t> colours = CentreColours(c.colours);
    std::vector<uint32_t> picture = colours;  // every colour at least once
    for (uint32_t p : RandomPicture(colours, 2048 - c.colours, rng)) picture.push_back(p);
    if (c.transparent != -1) picture[300] = picture[1500] = uint32_t(c.transparent);
    Result r = Quantize(picture, 256, 8, 256, c.transparent, c.reserve, c.dither);
    ASSERT_EQ(r.ok, 1);
    const bool extra = c.transparent != -1 || c.reserve;
    EXPECT_EQ(r.count, c.colours + (extra ? 1 : 0));
    for (size_t i = 0; i < picture.size(); i++) {
      ASSERT_LT(r.indexes[i], r.count);
      ASSERT_EQ(r.palette[r.indexes[i]], picture[i]) << "pixel " << i;
    }
    if (extra) {
      EXPECT_EQ(r.palette[size_t(r.count - 1)], c.transparent == -1 ? 0u : uint32_t(c.transparent));
    }
  }
}

TEST(Quantize, ManyColoursGiveAtMost256AndTheNearestByCell) {
  std::mt19937 rng(11);
  for (int32_t transparent : {-1, 0x808080}) {
    for (int32_t wanted : {1, 2, 16, 200, 256, 1000}) {
      SCOPED_TRACE("wanted " + std::to_string(wanted) + " transparent " + std::to_string(transparent));
      std::vector<uint32_t> picture(96 * 64);
      for (auto& p : picture) p = rng() & 0xFFFFFF;
      picture[100] = 0x808080;
      Result r = Quantize(picture, 96, 64, wanted, transparent);
      ASSERT_EQ(r.ok, 1);
      const int32_t most = transparent == -1 ? 256 : 255;
      const int32_t boxes = r.count - (transparent == -1 ? 0 : 1);
      EXPECT_LE(boxes, std::min(wanted, most));
      EXPECT_GE(boxes, 1);
      for (size_t i = 0; i < picture.size(); i++) {
        const uint32_t p = picture[i];
        if (transparent != -1 && p == uint32_t(transparent)) {
          ASSERT_EQ(r.indexes[i], boxes);
          continue;
        }
        // brute force: the palette colour nearest the pixel's cell centre,
        // weighted 2, 3, 1; ties to the earlier entry
        const int32_t cr = int32_t(p >> 16 >> 3) * 8 + 4, cg = int32_t(p >> 8 & 255) / 4 * 4 + 2,
                      cb = int32_t(p & 255) / 8 * 8 + 4;
        int32_t best = -1, bestDist = 0;
        for (int32_t j = 0; j < boxes; j++) {
          const int32_t dr = 2 * (cr - int32_t(r.palette[j] >> 16)), dg = 3 * (cg - int32_t(r.palette[j] >> 8 & 255)),
                        db = cb - int32_t(r.palette[j] & 255);
          const int32_t d = dr * dr + dg * dg + db * db;
          if (best < 0 || d < bestDist) best = j, bestDist = d;
        }
        ASSERT_EQ(r.indexes[i], best) << "pixel " << i;
      }
    }
  }
}

TEST(Quantize, TransparentAndReservedEntries) {
  const uint32_t key = 0x00FF00FF;
  // a fully transparent picture: the empty box is white, then the colour
  Result all = Quantize(std::vector<uint32_t>(12, key), 4, 3, 256, int32_t(key));
  ASSERT_EQ(all.ok, 1);
  ASSERT_EQ(all.count, 2);
  EXPECT_EQ(all.palette[0], 0xFFFFFFu);
  EXPECT_EQ(all.palette[1], key);
  for (uint8_t i : all.indexes) EXPECT_EQ(i, 1);

  // the transparent colour takes no part in the cut: two colours and the key
  Result some = Quantize({CellCentre(1, 1, 1), key, CellCentre(30, 60, 30), key}, 2, 2, 2, int32_t(key));
  ASSERT_EQ(some.count, 3);
  EXPECT_EQ(some.palette[0], CellCentre(1, 1, 1));
  EXPECT_EQ(some.palette[1], CellCentre(30, 60, 30));
  EXPECT_EQ(some.palette[2], key);
  EXPECT_EQ(some.indexes, (std::vector<uint8_t>{0, 2, 1, 2}));

  // the reserve flag: at most 255 colours and a black spare at the end
  std::mt19937 rng(3);
  std::vector<uint32_t> noisy(64 * 64);
  for (auto& p : noisy) p = rng() & 0xFFFFFF;
  Result reserved = Quantize(noisy, 64, 64, 256, -1, 1);
  ASSERT_EQ(reserved.count, 256);
  EXPECT_EQ(reserved.palette[255], 0u);
  for (uint8_t i : reserved.indexes) ASSERT_LT(i, 255);
}

TEST(Quantize, ABoxAsLongInGreenAsInRedSplitsGreen) {
  // red cells 0..3 (3 x 16 = 48) and green cells 0..4 (4 x 12 = 48): the
  // green split keeps A and C together, a red one would have kept B and C
  const uint32_t a = CellCentre(0, 0, 0), b = CellCentre(3, 4, 0), c = CellCentre(3, 0, 0);
  Result r = Quantize({a, b, c, a, b, c}, 3, 2, 2);
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(r.palette[0], 0x100204u);  // the mean of A and C
  EXPECT_EQ(r.palette[1], b);
}

TEST(Quantize, DitheringBringsAGradientsMeanCloser) {
  const int32_t w = 256, h = 16;
  std::vector<uint32_t> picture;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) picture.push_back(uint32_t(x) << 16 | uint32_t(255 - x) << 8 | uint32_t(x / 2));
  auto meanError = [&](const Result& r) {
    // per column, the mean of the mapped red against the source red
    double total = 0;
    for (int32_t x = 0; x < w; x++) {
      double sum = 0;
      for (int32_t y = 0; y < h; y++) sum += double(r.palette[r.indexes[size_t(y) * w + x]] >> 16);
      total += std::abs(sum / h - double(x));
    }
    return total / w;
  };
  Result plain = Quantize(picture, w, h, 4);
  Result dithered = Quantize(picture, w, h, 4, -1, 0, 1);
  ASSERT_EQ(dithered.ok, 1);
  EXPECT_EQ(dithered.count, plain.count);
  EXPECT_LT(meanError(dithered), meanError(plain) / 2);
  for (uint8_t i : dithered.indexes) ASSERT_LT(i, dithered.count);

  // a transparent pixel in a dithered row keeps its index
  picture[5] = 0x00ABCDEF;
  Result keyed = Quantize(picture, w, h, 8, 0xABCDEF, 0, 1);
  EXPECT_EQ(keyed.indexes[5], keyed.count - 1);
}

TEST(Quantize, OtherPixelFormatsAndRowLengths) {
  // three colours in RGB24 with two spare pixels per row
  const int32_t w = 3, h = 2, perRow = 5;
  std::vector<uint8_t> bytes(size_t(perRow) * h * 3, 0x55);
  const uint32_t colours[3] = {CellCentre(2, 3, 4), CellCentre(20, 40, 10), CellCentre(31, 63, 31)};
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const uint32_t c = colours[(x + y) % 3];
      uint8_t* p = &bytes[(size_t(y) * perRow + x) * 3];
      p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
    }
  std::vector<uint8_t> indexes(size_t(w) * h);
  uint32_t palette[256];
  int32_t count = 256;
  ASSERT_EQ(QuantizeColors(bytes.data(), PIXFMT_RGB24, 3, w, h, perRow, indexes.data(), palette, &count, -1, 0, 0), 1);
  ASSERT_EQ(count, 3);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) EXPECT_EQ(palette[indexes[size_t(y) * w + x]], colours[(x + y) % 3]);
}

}  // namespace
