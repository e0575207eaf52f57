// The option readers as a libFuzzer target.
#include "tests/runtime/support/optionsfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzOptions(data, size);
  return 0;
}
