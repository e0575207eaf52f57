// The catalog reader's fuzz entry point: any file must be taken whole or
// refused, and every text it gives must be a string inside the file, never a
// crash or an over-read. Catalog.MutatedFiles* replays seeds and their
// mutations through it; with clang and -DVK_FUZZ=ON it is also built as a
// libFuzzer target (catalog_fuzzer).
#pragma once

#include <cstddef>
#include <cstdint>

// Loads [data] as the catalog, reads and fills every text of the built-in
// ids and a few beyond, and forgets the catalog. Returns whether it was taken.
bool FuzzCatalog(const uint8_t* data, size_t size);
