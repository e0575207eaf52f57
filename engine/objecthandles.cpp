// Handles are drawn from one counter shared by all engines of the process;
// they are spaced like aligned addresses and never come back to 0.
#include "engine/objecthandles.h"

#include <atomic>
#include <cstdint>

namespace {
std::atomic<uintptr_t> gLastHandle{0};
constexpr uintptr_t kHandleStep = 16;
}  // namespace

void* NewObjectHandle() {
  uintptr_t n = gLastHandle.fetch_add(1, std::memory_order_relaxed) + 1;
  return reinterpret_cast<void*>(n * kHandleStep);
}

vkObjectId NewObjectId(const vkIdRequest& request) {
  if (request.automatic) return vkObjectId{0, NewObjectHandle()};
  return vkObjectId{request.number, nullptr};
}
