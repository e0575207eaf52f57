// Fuzz entry points of the font readers (Amiga contents and size file
// pairs; name tables and collection directories).
#pragma once

#include <cstddef>
#include <cstdint>

struct vkState;

namespace fonttest {
void FuzzAmigaFontPair(const uint8_t* data, size_t size);
void FuzzFontTables(const uint8_t* data, size_t size);
// Lays text out on [L]'s fonts.
void FuzzTextLayout(vkState* L, const uint8_t* data, size_t size);
}  // namespace fonttest
