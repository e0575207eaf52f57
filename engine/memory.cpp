// The engine's allocator with byte accounting for the collector.
#include "engine/memory.h"

#include <cstdlib>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/state.h"

void* vmRealloc(vkState* L, void* block, size_t oldsize, size_t size) {
  vkGlobalState* g = L ? L->G : nullptr;
  if (size == 0) {
    std::free(block);
    if (g) g->nblocks -= oldsize;
    return nullptr;
  }
  if (size > 0xFFFFFFFCu) {
    if (L) vmRaiseError(L, kErrOutOfMemory);
    return nullptr;
  }
  void* nb = std::realloc(block, size);
  if (!nb) {
    if (L) vmThrow(L, kErrOutOfMemory);
    return nullptr;
  }
  if (g) g->nblocks = g->nblocks - oldsize + size;
  return nb;
}

void* vmGrowArray(vkState* L, void* block, int* count, size_t elemSize, int limit, int errorCode) {
  int n;
  if (*count >= limit / 2) {
    if (*count >= limit - 4) vmRaiseError(L, errorCode);
    n = limit;
  } else {
    n = *count * 2;
    if (n < 4) n = 4;
  }
  void* nb = vmRealloc(L, block, static_cast<size_t>(*count) * elemSize, static_cast<size_t>(n) * elemSize);
  *count = n;
  return nb;
}
