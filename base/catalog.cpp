// Loading and looking up catalog texts. A catalog file is checked whole when
// it is loaded: every record must lie inside its chunk and the file and carry
// its terminator, or the file is refused and the built-in texts serve. Lookups
// then walk only records known to be sound.
#include "base/catalog.h"

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>
#include <string_view>

namespace {

struct LoadedCatalog {
  std::vector<uint8_t> bytes;
  // Offsets of the records' texts in file order, with their ids; the first
  // record of an id wins, as a walk from the start would find it.
  std::vector<std::pair<uint32_t, size_t>> records;
};

std::unique_ptr<LoadedCatalog> gCatalog;

// A catalog file must be larger than this to be read at all.
constexpr size_t kCatalogMinSize = 100;
constexpr uint32_t kRecordsEnd = 0xFFFFFFFFu;

uint32_t ReadBigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// Finds the records of [catalog]'s "STRS" chunk; false when the file is not a
// catalog or any record is malformed.
bool IndexRecords(LoadedCatalog& catalog) {
  const std::vector<uint8_t>& b = catalog.bytes;
  const size_t size = b.size();
  if (size <= kCatalogMinSize) return false;
  if (std::memcmp(b.data(), "FORM", 4) != 0 || std::memcmp(b.data() + 8, "CTLGFVER", 8) != 0)
    return false;

  size_t strs = 0;
  for (size_t at = 16; at + 4 <= size; at += 2) {
    if (std::memcmp(b.data() + at, "STRS", 4) == 0) {
      strs = at;
      break;
    }
  }
  if (strs == 0 || strs + 8 > size) return false;
  const size_t chunkLength = ReadBigEndian32(b.data() + strs + 4);
  const size_t first = strs + 8;
  if (chunkLength > size - first) return false;  // the chunk runs past the file
  const size_t chunkEnd = first + chunkLength;

  size_t at = first;
  while (at < chunkEnd) {
    if (chunkEnd - at < 4) return false;
    const uint32_t id = ReadBigEndian32(b.data() + at);
    if (id == kRecordsEnd) break;
    if (chunkEnd - at < 8) return false;
    const size_t length = ReadBigEndian32(b.data() + at + 4);
    const size_t text = at + 8;
    if (length > chunkEnd - text) return false;  // the text runs past the chunk
    if (std::memchr(b.data() + text, 0, length) == nullptr) return false;  // no terminator
    catalog.records.emplace_back(id, text);
    const size_t padded = (length + 3) & ~size_t(3);
    if (padded >= chunkEnd - text) break;  // the last record, its padding may be cut
    at = text + padded;
  }
  return true;
}

}  // namespace

bool LoadCatalogFromMemory(std::vector<uint8_t> bytes) {
  auto catalog = std::make_unique<LoadedCatalog>();
  catalog->bytes = std::move(bytes);
  if (!IndexRecords(*catalog)) {
    gCatalog.reset();
    return false;
  }
  gCatalog = std::move(catalog);
  return true;
}

bool LoadCatalog(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<uint8_t> bytes;
  uint8_t block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) {
    gCatalog.reset();
    return false;
  }
  return LoadCatalogFromMemory(std::move(bytes));
}

const char* GetCatalogText(uint32_t id) {
  if (gCatalog) {
    for (const auto& [recordId, text] : gCatalog->records)
      if (recordId == id) return reinterpret_cast<const char*>(gCatalog->bytes.data() + text);
  }
  for (const vkCatalogText& row : kBuiltinCatalog)
    if (row.id == id) return row.text;
  return nullptr;
}

void FreeCatalog() { gCatalog.reset(); }

std::string FormatCatalogText(const char* format, const char* text, int32_t number) {
  const std::string_view f = format ? format : "";
  std::string out;
  size_t at = f.find("%s");
  size_t skip = 2;
  std::string value;
  if (at != std::string_view::npos) {
    value = text ? text : "";
  } else {
    const size_t d = f.find("%d");
    const size_t ld = f.find("%ld");
    at = std::min(d, ld);
    skip = at == ld ? 3 : 2;
    value = std::to_string(number);
  }
  if (at == std::string_view::npos) return std::string(f);
  out.reserve(f.size() + value.size());
  out.append(f.substr(0, at));
  out.append(value);
  out.append(f.substr(at + skip));
  return out;
}
