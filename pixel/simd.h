// Which vector paths the pixel kernels take. The level is the best the CPU
// offers unless lowered (the tests run every level against the scalar
// reference); every level produces the same bytes.
#pragma once

#include <cstdint>

enum : int32_t {
  kPixelSimdScalar = 0,
  kPixelSimdSSE2 = 1,
  kPixelSimdAVX2 = 2,
};

// The level in use.
int32_t PixelSimdLevel();
// The best level this CPU supports.
int32_t PixelSimdLevelSupported();
// Uses at most [level] (never more than the CPU supports); returns the level set.
int32_t SetPixelSimdLevel(int32_t level);
