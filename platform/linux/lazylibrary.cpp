// Opening a shared library on first use and looking up its functions.
#include "platform/linux/lazylibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void* OpenLibrary(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_LOCAL); }

// What dlerror says about the last failure; never null.
std::string LastDlError() {
  const char* error = dlerror();
  return error != nullptr ? error : "unknown error";
}

[[noreturn]] void CannotLoad(const char* soname, const std::string& reason) {
  std::fprintf(stderr, "Cannot load %s: %s\n", soname, reason.c_str());
  std::exit(1);
}

}  // namespace

bool vkosOpenLazyLibrary(const char* soname, const vkLazyFunction* functions) {
  void* handle = OpenLibrary(soname);
  if (!handle) return false;
  std::vector<void*> found;
  for (const vkLazyFunction* f = functions; f->name; f++) {
    void* symbol = dlsym(handle, f->name);
    if (!symbol) {
      dlclose(handle);
      return false;
    }
    found.push_back(symbol);
  }
  for (size_t i = 0; functions[i].name; i++) *functions[i].slot = found[i];
  return true;
}

bool vkosLoadLazyLibrary(vkLazyLibrary& library, std::string* error) {
  if (library.handle.load(std::memory_order_acquire) != nullptr) return true;
  std::lock_guard lock(library.opening);
  if (library.handle.load(std::memory_order_relaxed) != nullptr) return true;
  void* handle = OpenLibrary(library.soname);
  if (handle == nullptr) {
    if (error != nullptr) *error = LastDlError();
    return false;
  }
  library.handle.store(handle, std::memory_order_release);
  return true;
}

void* vkosLazySymbol(vkLazyLibrary& library, const char* name) {
  std::string error;
  if (!vkosLoadLazyLibrary(library, &error)) CannotLoad(library.soname, error);
  dlerror();
  void* symbol = dlsym(library.handle.load(std::memory_order_acquire), name);
  if (symbol == nullptr) CannotLoad(library.soname, LastDlError());
  return symbol;
}
