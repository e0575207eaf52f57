// The engine's allocator: every engine block goes through vmRealloc, which
// keeps the byte count that drives the collector's threshold.
#pragma once

#include <cstddef>

struct vkState;

// Reallocates [block] from [oldsize] to [size] bytes; size 0 frees it.
// Sizes above 0xFFFFFFFC raise 1000; a failed allocation throws 1000. With no
// state nothing is counted and failure returns NULL.
void* vmRealloc(vkState* L, void* block, size_t oldsize, size_t size);

// Grows an array for [count] elements of [elemSize] bytes: twice the count, at
// least 4, at most [limit]; raises [errorCode] when it is already at the limit.
void* vmGrowArray(vkState* L, void* block, int* count, size_t elemSize, int limit, int errorCode);

template <class T>
inline T* vmNewArray(vkState* L, size_t n) {
  return static_cast<T*>(vmRealloc(L, nullptr, 0, n * sizeof(T)));
}
template <class T>
inline void vmFreeArray(vkState* L, T* block, size_t n) {
  vmRealloc(L, block, n * sizeof(T), 0);
}
