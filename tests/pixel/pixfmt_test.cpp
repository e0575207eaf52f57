// Pixel formats: reading and writing every code as R, G, B, the widening and
// narrowing of 15- and 16-bit channels, byte-swapped codes, unknown codes,
// and RGBToPixel agreeing with the writer.
#include "pixel/pixfmt.h"

#include <gtest/gtest.h>

#include "pixel/bitmap.h"

namespace {

uint32_t WordOf(const uint8_t* p, int bytes) {
  if (bytes == 4) { uint32_t w; std::memcpy(&w, p, 4); return w; }
  if (bytes == 2) { uint16_t w; std::memcpy(&w, p, 2); return w; }
  return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

struct WriteCase {
  int32_t format;
  uint32_t value;  // the stored word (24 bits: the bytes in memory order)
};

// R = 0x12, G = 0x34, B = 0x56 in every format.
const WriteCase kWrites[] = {
    {PIXFMT_RGB15, (0x12 >> 3) << 10 | (0x34 >> 3) << 5 | 0x56 >> 3},
    {PIXFMT_BGR15, (0x56 >> 3) << 10 | (0x34 >> 3) << 5 | 0x12 >> 3},
    {PIXFMT_RGB15PC, SwapBytes16((0x12 >> 3) << 10 | (0x34 >> 3) << 5 | 0x56 >> 3)},
    {PIXFMT_BGR15PC, SwapBytes16((0x56 >> 3) << 10 | (0x34 >> 3) << 5 | 0x12 >> 3)},
    {PIXFMT_RGB16, (0x12 >> 3) << 11 | (0x34 >> 2) << 5 | 0x56 >> 3},
    {PIXFMT_BGR16, (0x56 >> 3) << 11 | (0x34 >> 2) << 5 | 0x12 >> 3},
    {PIXFMT_RGB16PC, SwapBytes16((0x12 >> 3) << 11 | (0x34 >> 2) << 5 | 0x56 >> 3)},
    {PIXFMT_BGR16PC, SwapBytes16((0x56 >> 3) << 11 | (0x34 >> 2) << 5 | 0x12 >> 3)},
    {PIXFMT_RGB24, 0x123456},
    {PIXFMT_BGR24, 0x563412},
    {PIXFMT_ARGB32, 0x00123456},
    {PIXFMT_BGRA32, 0x56341200},
    {PIXFMT_RGBA32, 0x12345600},
};

TEST(PixFmt, WritesEveryFormatAndRGBToPixelAgrees) {
  const uint8_t rgb[3] = {0x12, 0x34, 0x56};
  for (const WriteCase& c : kWrites) {
    uint8_t buf[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    WritePixelRGB(buf, c.format, rgb);
    EXPECT_EQ(WordOf(buf, PixFmtBytes(c.format)), c.value) << "format " << c.format;
    EXPECT_EQ(RGBToPixel(0x123456, c.format), c.value) << "format " << c.format;
  }
}

TEST(PixFmt, ReadWidensWithZeroLowBits) {
  uint16_t w = 0xFFFF;
  uint8_t rgb[3];
  ReadPixelRGB(&w, PIXFMT_RGB16, rgb);
  EXPECT_EQ(rgb[0], 0xF8);
  EXPECT_EQ(rgb[1], 0xFC);
  EXPECT_EQ(rgb[2], 0xF8);
  ReadPixelRGB(&w, PIXFMT_RGB15, rgb);
  EXPECT_EQ(rgb[0], 0xF8);
  EXPECT_EQ(rgb[1], 0xF8);
  EXPECT_EQ(rgb[2], 0xF8);
}

TEST(PixFmt, RoundTripKeepsTheChannelBitsOfEachFormat) {
  for (int32_t f = 0; f < kPixFmtCount; ++f) {
    const uint8_t keepRB = f <= 7 ? 0xF8 : 0xFF;
    const uint8_t keepG = f <= 3 ? 0xF8 : f <= 7 ? 0xFC : 0xFF;
    for (int v = 0; v < 256; v += 7) {
      const uint8_t in[3] = {uint8_t(v), uint8_t(255 - v), uint8_t(v * 3)};
      uint8_t buf[4] = {}, out[3] = {};
      WritePixelRGB(buf, f, in);
      ReadPixelRGB(buf, f, out);
      EXPECT_EQ(out[0], in[0] & keepRB) << f;
      EXPECT_EQ(out[1], in[1] & keepG) << f;
      EXPECT_EQ(out[2], in[2] & keepRB) << f;
    }
  }
}

TEST(PixFmt, ThirtyTwoBitReadIgnoresTheFourthByte) {
  const struct { int32_t f; uint32_t w; } cases[] = {
      {PIXFMT_ARGB32, 0xAB123456}, {PIXFMT_BGRA32, 0x563412AB}, {PIXFMT_RGBA32, 0x123456AB}};
  for (auto c : cases) {
    uint8_t rgb[3];
    ReadPixelRGB(&c.w, c.f, rgb);
    EXPECT_EQ(rgb[0], 0x12);
    EXPECT_EQ(rgb[1], 0x34);
    EXPECT_EQ(rgb[2], 0x56);
  }
}

TEST(PixFmt, UnknownCodesTouchNothing) {
  uint8_t buf[4] = {1, 2, 3, 4};
  uint8_t rgb[3] = {7, 8, 9};
  for (int32_t f : {13, 99, -1}) {
    ReadPixelRGB(buf, f, rgb);
    WritePixelRGB(buf, f, rgb);
    EXPECT_EQ(rgb[0], 7);
    EXPECT_EQ(rgb[2], 9);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[3], 4);
  }
  EXPECT_EQ(RGBToPixel(0xFFFFFF, 13), 0u);
}

}  // namespace
