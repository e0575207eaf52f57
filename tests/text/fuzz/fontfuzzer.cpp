// One font reader as a libFuzzer target: VK_FUZZ_ENTRY names the entry point
// of fontfuzz.h it drives, set by the build for each target.
#include "tests/text/support/fontfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fonttest::VK_FUZZ_ENTRY(data, size);
  return 0;
}
