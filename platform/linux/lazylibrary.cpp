// Opening a shared library on first use and looking up its functions.
#include "platform/linux/lazylibrary.h"

#include <dlfcn.h>

#include <vector>

bool vkosOpenLazyLibrary(const char* soname, const vkLazyFunction* functions) {
  void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
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
