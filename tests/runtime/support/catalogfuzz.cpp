#include "catalogfuzz.h"

#include <cstring>
#include <vector>

#include "base/catalog.h"

bool FuzzCatalog(const uint8_t* data, size_t size) {
  const bool taken = LoadCatalogFromMemory(std::vector<uint8_t>(data, data + size));
  size_t total = 0;
  for (uint32_t id = 0; id < kBuiltinCatalogSize + 16; id++)
    if (const char* text = GetCatalogText(id)) total += std::strlen(text) + FormatCatalogText(text, "x", 1).size();
  FreeCatalog();
  return taken && total > 0;
}
