// The table and function readers as a libFuzzer target.
#include "tests/dos/support/serialisefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSerialiseReaders(data, size);
  return 0;
}
