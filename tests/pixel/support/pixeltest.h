// Test fixtures for the pixel kernels: small pictures of 2, 3 or 4 bytes per
// pixel with padded rows, one-bit and byte planes, a seeded random source,
// and the obviously-correct per-pixel helpers the reference models use.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "pixel/simd.h"

namespace pixeltest {

// A picture with [pad] spare pixels per row, so row strides are exercised.
struct Picture {
  int32_t width = 0, height = 0, bpp = 4, perRow = 0;
  std::vector<uint8_t> bytes;

  Picture() = default;
  Picture(int32_t w, int32_t h, int32_t bytesPerPixel, int32_t pad = 3)
      : width(w), height(h), bpp(bytesPerPixel), perRow(w + pad),
        bytes(size_t(perRow) * size_t(h > 0 ? h : 1) * size_t(bytesPerPixel) + 16) {}

  void* data() { return bytes.data(); }
  const void* data() const { return bytes.data(); }
  uint8_t* at(int32_t x, int32_t y) { return bytes.data() + (size_t(y) * perRow + x) * bpp; }
  const uint8_t* at(int32_t x, int32_t y) const { return bytes.data() + (size_t(y) * perRow + x) * bpp; }

  // Pixel value: the word for 4 and 2 bytes, b0 << 16 | b1 << 8 | b2 for 3.
  uint32_t get(int32_t x, int32_t y) const {
    const uint8_t* p = at(x, y);
    if (bpp == 4) { uint32_t w; std::memcpy(&w, p, 4); return w; }
    if (bpp == 2) { uint16_t w; std::memcpy(&w, p, 2); return w; }
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  }
  void set(int32_t x, int32_t y, uint32_t v) {
    uint8_t* p = at(x, y);
    if (bpp == 4) { std::memcpy(p, &v, 4); return; }
    if (bpp == 2) { uint16_t w = uint16_t(v); std::memcpy(p, &w, 2); return; }
    p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v);
  }
  void randomize(std::mt19937& rng) {
    for (auto& b : bytes) b = uint8_t(rng());
  }
};

// A one-bit or byte plane with [bytesPerRow] per row.
struct Plane {
  int32_t bytesPerRow = 0, height = 0;
  std::vector<uint8_t> bytes;
  Plane() = default;
  Plane(int32_t bpr, int32_t h) : bytesPerRow(bpr), height(h), bytes(size_t(bpr) * size_t(h > 0 ? h : 1)) {}
  uint8_t* data() { return bytes.data(); }
  uint8_t* row(int32_t y) { return bytes.data() + size_t(y) * bytesPerRow; }
  bool bit(int32_t x, int32_t y) const { return (bytes[size_t(y) * bytesPerRow + x / 8] >> (7 - x % 8)) & 1; }
  void setBit(int32_t x, int32_t y, bool on) {
    uint8_t& b = bytes[size_t(y) * bytesPerRow + x / 8];
    b = on ? uint8_t(b | (0x80 >> (x % 8))) : uint8_t(b & ~(0x80 >> (x % 8)));
  }
  uint8_t& byte(int32_t x, int32_t y) { return bytes[size_t(y) * bytesPerRow + x]; }
  void randomize(std::mt19937& rng) {
    for (auto& b : bytes) b = uint8_t(rng());
  }
};

// The blend rule, written out as it reads.
inline uint8_t RefBlend(int s, int d, int a) { return uint8_t(d + (((s - d) * a) >> 8)); }

// R, G, B of a 32-bit word by format 10, 11 or 12, and back with byte 4 zero.
inline void Split32(uint32_t w, int fmt, int rgb[3]) {
  if (fmt == 11) { rgb[0] = w >> 8 & 255; rgb[1] = w >> 16 & 255; rgb[2] = w >> 24 & 255; }
  else if (fmt == 12) { rgb[0] = w >> 24 & 255; rgb[1] = w >> 16 & 255; rgb[2] = w >> 8 & 255; }
  else { rgb[0] = w >> 16 & 255; rgb[1] = w >> 8 & 255; rgb[2] = w & 255; }
}
inline uint32_t Join32(const int rgb[3], int fmt) {
  uint32_t r = uint32_t(rgb[0]), g = uint32_t(rgb[1]), b = uint32_t(rgb[2]);
  if (fmt == 11) return b << 24 | g << 16 | r << 8;
  if (fmt == 12) return r << 24 | g << 16 | b << 8;
  return r << 16 | g << 8 | b;
}

// Runs [fn] (level) once for every vector level this CPU has, then restores
// the best one.
template <typename Fn>
void ForEachSimdLevel(Fn&& fn) {
  for (int32_t level = kPixelSimdScalar; level <= PixelSimdLevelSupported(); ++level) {
    SetPixelSimdLevel(level);
    fn(level);
  }
  SetPixelSimdLevel(PixelSimdLevelSupported());
}

}  // namespace pixeltest
