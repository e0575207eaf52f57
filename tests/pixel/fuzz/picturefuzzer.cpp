// One picture reader as a libFuzzer target: VK_FUZZ_READER names the reader
// (a vkFuzzedReader member), set by the build for each target.
#include "tests/pixel/support/picturefuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzPictureReader(vkFuzzedReader::VK_FUZZ_READER, data, size);
  return 0;
}
