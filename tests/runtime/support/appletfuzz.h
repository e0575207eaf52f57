// The applet reader's fuzz entry point: any file, plain or packed, must give
// an applet whose linked data lies inside the file or the reader's error
// code, never a crash, an over-read or a leak. AppletFuzz.* replays seeds and
// their mutations through it; with clang and -DVK_FUZZ=ON it is also built
// as a libFuzzer target (applet_reader_fuzzer).
#pragma once

#include <cstddef>
#include <cstdint>

// Reads [data] as an applet file. Returns the reader's code; traps on a code
// the reader may not give or an applet that points outside its file.
uint32_t FuzzAppletReader(const uint8_t* data, size_t size);
