// The option readers' fuzz entry point: any argument line and ".ini" text must
// end in settings or an error code, never a crash or an over-read.
// Options.MutatedLinesAndIniTexts* replays seeds and their mutations through
// it; with clang and -DVK_FUZZ=ON it is also built as a libFuzzer target
// (options_fuzzer).
#pragma once

#include <cstddef>
#include <cstdint>

// The bytes up to the first NUL are the argument line, the rest the ".ini"
// text; both are read as the start-up reads them, and the settings checked.
// Returns the first error, or 0.
uint32_t FuzzOptions(const uint8_t* data, size_t size);
