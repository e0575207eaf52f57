// The catalog reader as a libFuzzer target.
#include "tests/runtime/support/catalogfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzCatalog(data, size);
  return 0;
}
