// The table and function readers' fuzz entry point: any file must give a
// table or a function or one of the readers' error codes, never a crash, an
// over-read or a handle left past its file's end. SerialiseFuzz.* replays
// seeds and their mutations through it; with clang and -DVK_FUZZ=ON it is
// also built as a libFuzzer target (serialise_fuzzer).
#pragma once

#include <cstddef>
#include <cstdint>

// What each reader gave for one input.
struct vkSerialiseFuzzCodes {
  uint32_t table = 0;
  uint32_t function = 0;
};

// Writes [data] to a file and reads it with the table reader and then with
// the function reader, each on a fresh engine and handle. Traps on a code the
// readers may not give, a handle position past its length, or a read that
// succeeded without leaving a table (a function) on the stack.
vkSerialiseFuzzCodes FuzzSerialiseReaders(const uint8_t* data, size_t size);
