// Colour components stored in other than 8 bits, as picture files hold them
// (5-bit BMP fields, 4- to 16-bit ILBM planes), brought to 8 bits.
#pragma once

#include <cstdint>

// The 8-bit value of the [bits]-bit component [value]: a wider one keeps its
// top 8 bits, a narrower one repeats its bits downwards (5 bits 10110 give
// 10110101), so that its largest value becomes 255. 0 bits read as 0.
inline uint32_t WidenComponent(uint64_t value, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return static_cast<uint32_t>(value >> (bits - 8)) & 0xFF;
  uint32_t out = 0;
  int filled = 0;
  while (filled < 8) {
    out = out << bits | static_cast<uint32_t>(value);
    filled += bits;
  }
  return out >> (filled - 8);
}
