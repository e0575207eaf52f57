// The anim readers as a libFuzzer target.
#include "tests/common/fuzzinput.h"
#include "tests/pixel/support/animfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzAnimFile(fuzzinput::Write("input.anim", data, size));
  return 0;
}
