// The applet reader as a libFuzzer target.
#include "tests/runtime/support/appletfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzAppletReader(data, size);
  return 0;
}
