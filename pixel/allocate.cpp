// The program-wide allocator on the C library's malloc and calloc.
#include "pixel/allocate.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

void* AllocateBytes(size_t size, bool clear) {
  if (size == 0) return nullptr;
  return clear ? std::calloc(1, size) : std::malloc(size);
}

void* AllocateArray(size_t count, size_t each, bool clear) {
  if (each != 0 && count > SIZE_MAX / each) return nullptr;
  return AllocateBytes(count * each, clear);
}

void PrefaultBytes(void* p, size_t size) {
  static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (uintptr_t(p) + page - 1) & ~(page - 1), to = (uintptr_t(p) + size) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}
