#include "animfuzz.h"

#include <cstdlib>

#include "pixel/animfiles.h"

int32_t FuzzAnimFile(const std::string& path) {
  vkAnimReader* h = nullptr;
  int32_t w = 0, ht = 0, frames = 0;
  const int32_t status = OpenAnimFile(path.c_str(), &h, &w, &ht, &frames);
  if (status != 0 && status != 1356) __builtin_trap();
  if (status) return status;
  if (frames <= 0) __builtin_trap();
  for (int32_t pass = 0; pass < 2; pass++)
    for (int32_t k = 0; k < frames && k < 64; k++) {
      const int32_t n = pass ? frames - 1 - k : k;
      std::free(ReadAnimFrame(h, n));
      GetAnimFrameDelay(h, n);
    }
  CloseAnimFile(h);
  return status;
}
