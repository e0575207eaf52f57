// The picture readers' fuzz entry points, one per format: any input must end
// in a picture or in the reader's error code, never in a crash, an
// over-read or a leak. The tests replay seeds and mutations through them;
// with clang and -DVK_FUZZ=ON each is also built as a libFuzzer target
// (picture_<format>_fuzzer).
#pragma once

#include <cstddef>
#include <cstdint>

enum class vkFuzzedReader { PNG, JPEG, TIFF, GIF, BMP, ILBM };

// Runs [reader] on [data]: the size alone, then the whole picture, whose
// every pixel and alpha byte is read. Returns the reader's code; traps on a
// code the reader may not give or a picture that breaks its contract.
uint32_t FuzzPictureReader(vkFuzzedReader reader, const uint8_t* data, size_t size);
