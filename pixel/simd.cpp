// The vector level of the pixel kernels, found once from the CPU.
#include "pixel/simd.h"

namespace {

int32_t Detect() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return kPixelSimdAVX2;
#if defined(__SSE2__)
  return kPixelSimdSSE2;
#endif
#endif
  return kPixelSimdScalar;
}

int32_t& Level() {
  static int32_t level = Detect();
  return level;
}

}  // namespace

int32_t PixelSimdLevel() { return Level(); }

int32_t PixelSimdLevelSupported() {
  static const int32_t supported = Detect();
  return supported;
}

int32_t SetPixelSimdLevel(int32_t level) {
  int32_t best = PixelSimdLevelSupported();
  Level() = level < kPixelSimdScalar ? kPixelSimdScalar : level > best ? best : level;
  return Level();
}
