// Mask bits to alpha bytes, a row at a time.
#include "base/maskbits.h"

#include <cstddef>

void ExpandMaskToAlpha(const uint8_t* mask, int32_t maskBytesPerRow, uint8_t* alpha, int32_t alphaBytesPerRow,
                       int32_t width, int32_t height) {
  if (width < 1 || height < 1) return;
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* bits = mask + static_cast<ptrdiff_t>(y) * maskBytesPerRow;
    uint8_t* out = alpha + static_cast<ptrdiff_t>(y) * alphaBytesPerRow;
    for (int32_t x = 0; x < width; x++) out[x] = (bits[x >> 3] & (0x80 >> (x & 7))) != 0 ? 255 : 0;
  }
}
