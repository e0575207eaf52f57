// Fuzz entry points of the font readers (Amiga contents and size file
// pairs; name tables and collection directories).
#pragma once

#include <cstddef>
#include <cstdint>

namespace fonttest {
void FuzzAmigaFontPair(const uint8_t* data, size_t size);
void FuzzFontTables(const uint8_t* data, size_t size);
void FuzzTextLayout(const uint8_t* data, size_t size);
}  // namespace fonttest
