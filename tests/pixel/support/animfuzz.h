// The anim readers' fuzz entry point: any file must open as an anim whose
// every frame reads (forwards, then backwards) as pixels or null, or give
// error 1356, never a crash, an over-read or a leak. AnimFuzz.* replays seeds
// and their mutations through it; with clang and -DVK_FUZZ=ON it is also
// built as a libFuzzer target (anim_reader_fuzzer).
#pragma once

#include <cstdint>
#include <string>

// Opens the anim file at [path] and reads its frames. Returns the open's
// code; traps on another code or an anim of no frames.
int32_t FuzzAnimFile(const std::string& path);
