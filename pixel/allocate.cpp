// The program-wide allocator on the C library's malloc and calloc.
#include "pixel/allocate.h"

#include <cstdlib>

void* AllocateBytes(size_t size, bool clear) {
  if (size == 0) return nullptr;
  return clear ? std::calloc(1, size) : std::malloc(size);
}

void* AllocateArray(size_t count, size_t each, bool clear) {
  if (each != 0 && count > SIZE_MAX / each) return nullptr;
  return AllocateBytes(count * each, clear);
}
