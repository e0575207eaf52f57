// Shared libraries the platform opens on their first use. The codec
// libraries behind a few picture and sound formats bring many more with them,
// and loading them all would cost every run, also the many that never read
// such a file. A table names each function the platform calls and the
// pointer it fills; one missing function leaves the whole library unusable.
#pragma once

struct vkLazyFunction {
  const char* name;
  void** slot;  // the function pointer to fill
};

// Opens [soname] and fills every slot of [functions] (ending at a null name).
// True when all were found; the library then stays loaded for the process.
// Nothing is filled otherwise.
bool vkosOpenLazyLibrary(const char* soname, const vkLazyFunction* functions);

// A slot for vkLazyFunction from a typed function pointer.
template <typename Fn>
void** LazySlot(Fn*& pointer) {
  return reinterpret_cast<void**>(&pointer);
}
