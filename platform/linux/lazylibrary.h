// Shared libraries the platform opens on their first use. The codec
// libraries behind a few picture and sound formats bring many more with them,
// and loading them all would cost every run, also the many that never read
// such a file. Two ways in: a table names each function the platform calls
// and the pointer it fills, and one missing function leaves the whole library
// unusable; or the platform defines the library's functions itself, each
// going to the library's own on its first call (lazyforward.h).
#pragma once

#include <atomic>
#include <mutex>
#include <string>

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

// A library whose functions the platform forwards; loaded once for the
// process and never unloaded.
struct vkLazyLibrary {
  constexpr explicit vkLazyLibrary(const char* name) : soname(name) {}
  const char* soname;
  std::atomic<void*> handle{nullptr};
  std::mutex opening;
};

// Loads [library] unless it is loaded already; true when it is there. Else
// [error] (when given) gets the reason, and a later call tries again.
bool vkosLoadLazyLibrary(vkLazyLibrary& library, std::string* error = nullptr);

// The address of [name] in [library], loading it first if need be. Without
// either the program cannot go on: prints "Cannot load <soname>: <reason>"
// on standard error and exits with 1.
void* vkosLazySymbol(vkLazyLibrary& library, const char* name);
