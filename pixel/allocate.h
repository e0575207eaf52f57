// The program-wide allocator. Every subsystem allocates raw buffers through
// it; a null result is reported by the caller as error 1000 "Out of memory!".
// Memory is released with the C library's free().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// [size] bytes, zero-filled when [clear] is set; null for size 0 or failure.
void* AllocateBytes(size_t size, bool clear);

// [count] x [each] bytes, null when the product overflows or allocation fails.
void* AllocateArray(size_t count, size_t each, bool clear);

// Gives [size] bytes at [p] their memory at once, where they will all be
// written soon: one request instead of a page fault per page. The contents
// stay as they are; where the system cannot do it, nothing happens.
void PrefaultBytes(void* p, size_t size);

// Owns a buffer from AllocateBytes or AllocateArray and frees it with free().
struct vkFreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using vkBufferPtr = std::unique_ptr<T, vkFreeDeleter>;
