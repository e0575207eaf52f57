// Linked-file chunk names: building, strict parsing, the memory-chunk
// registry, lookup in an applet's linked-file list, and the lock and examine
// layer that treats a chunk name as a read-only file.
#include "io/chunknames.h"

#include <strings.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

#include "base/errorinfo.h"
#include "base/nocase.h"
#include "base/errorcodes.h"
#include "base/paths.h"

namespace {

struct MemoryChunk {
  const uint8_t* data;
  size_t size;
};

// The memory chunks are a name service of the whole process (a name made by
// one engine opens in another), so their table is one, behind a lock.
struct ChunkRegistry {
  std::mutex lock;
  std::map<int32_t, MemoryChunk> chunks;
  int32_t nextKey = 1;
};

ChunkRegistry& Registry() {
  static ChunkRegistry registry;
  return registry;
}

// Reads one or more decimal digits at [p] into [value], at most [max].
bool ParseDecimal(const char*& p, int64_t max, int64_t* value) {
  if (*p < '0' || *p > '9') return false;
  int64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    int digit = *p++ - '0';
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

// The whole rest of [p] as a hexadecimal number of at most 16 digits.
bool ParseHexToEnd(const char* p, uint64_t* value) {
  size_t n = std::strlen(p);
  if (n == 0 || n > 16) return false;
  uint64_t v = 0;
  for (; *p; p++) {
    int digit;
    if (*p >= '0' && *p <= '9') digit = *p - '0';
    else if (*p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
    else return false;
    v = v << 4 | static_cast<uint64_t>(digit);
  }
  *value = v;
  return true;
}

constexpr char kFontPrefix[] = "::font:";
constexpr size_t kFontPrefixLength = 7;

}  // namespace

bool IsChunkName(const char* text) {
  return std::strncmp(text, kChunkPrefix, kChunkPrefixLength) == 0;
}

bool ResolveChunkName(const char* text, vkChunkName* out) {
  if (!IsChunkName(text)) return false;
  const char* p = text + kChunkPrefixLength;
  *out = vkChunkName();
  out->inMemory = *p == 'S';
  int64_t first;
  if (out->inMemory) {
    p++;
    if (!ParseDecimal(p, INT32_MAX, &first)) return false;
    out->key = static_cast<int32_t>(first);
  } else {
    if (!ParseDecimal(p, INT64_MAX, &first)) return false;
    out->offset = first;
  }
  if (*p++ != ':') return false;
  if (!ParseDecimal(p, INT64_MAX, &out->size)) return false;
  if (*p++ != '*') return false;
  if (out->size > INT64_MAX - out->offset) return false;  // the end must be a position
  const char* slash = std::strchr(p, '/');
  if (!slash) return false;
  out->name = std::string_view(p, static_cast<size_t>(slash - p));
  const char* rest = slash + 1;
  if (!out->inMemory) {
    if (!*rest) return false;
    out->container = rest;
    return true;
  }
  uint64_t hexKey;
  if (!ParseHexToEnd(rest, &hexKey) || hexKey != static_cast<uint64_t>(out->key)) return false;
  ChunkRegistry& registry = Registry();
  std::lock_guard hold(registry.lock);
  auto found = registry.chunks.find(out->key);
  if (found == registry.chunks.end() || static_cast<uint64_t>(out->size) > found->second.size) return false;
  out->memory = found->second.data;
  return true;
}

std::string MakeChunkName(const char* name, int64_t offset, int64_t size, int64_t appletOffset,
                          const char* container) {
  char head[96];
  if (offset == -1) {
    std::snprintf(head, sizeof head, ":::chunkS%" PRId64 ":%" PRId64, appletOffset, size);
    char key[24];
    std::snprintf(key, sizeof key, "%" PRIx64, static_cast<uint64_t>(appletOffset));
    return std::string(head) + "*" + FilePart(name) + "/" + key;
  }
  std::snprintf(head, sizeof head, ":::chunk%" PRId64 ":%" PRId64, offset + appletOffset, size);
  return std::string(head) + "*" + FilePart(name) + "/" + container;
}

int32_t RegisterMemoryChunk(const uint8_t* data, size_t size) {
  ChunkRegistry& registry = Registry();
  std::lock_guard hold(registry.lock);
  auto next = [](int32_t key) { return key == INT32_MAX ? 1 : key + 1; };
  while (registry.chunks.count(registry.nextKey)) registry.nextKey = next(registry.nextKey);
  const int32_t key = registry.nextKey;
  registry.nextKey = next(key);
  registry.chunks[key] = {data, size};
  return key;
}

void UnregisterMemoryChunk(int32_t key) {
  ChunkRegistry& registry = Registry();
  std::lock_guard hold(registry.lock);
  registry.chunks.erase(key);
}

const char* ResolveLinkedFileIn(std::string& result, std::span<const vkLinkedFile> files, int64_t appletOffset,
                                const char* scriptPath, const char* fileName, int fontFlag, int* outFontFlag) {
  std::string wanted = fileName;
  bool asFont = false;
  if (fontFlag) {
    if (EndsWithNoCase(wanted, ".ttf") || EndsWithNoCase(wanted, ".otf")) {
      fontFlag = 0;
    } else {
      if (EndsWithNoCase(wanted, ".font")) wanted.resize(wanted.size() - 5);
      asFont = true;
    }
  }
  for (const vkLinkedFile& entry : files) {
    bool isFont = entry.name.compare(0, kFontPrefixLength, kFontPrefix) == 0;
    if (isFont != asFont) continue;
    const char* entryName = entry.name.c_str() + (isFont ? kFontPrefixLength : 0);
    if (strcasecmp(entryName, wanted.c_str()) != 0) continue;
    const char* container = entry.container.empty() ? scriptPath : entry.container.c_str();
    // Data in memory is reachable only through a registered key, which the
    // list does not hold: key 0 is never registered, so opening it fails.
    result = entry.offset == -1
                 ? MakeChunkName(entry.name.c_str(), -1, entry.size, 0, nullptr)
                 : MakeChunkName(entry.name.c_str(), entry.offset, entry.size, appletOffset, container);
    if (outFontFlag) *outFontFlag = fontFlag;
    return result.c_str();
  }
  return fileName;
}

void ChunkUnLock(vkChunkLock* lock) { delete lock; }

vkChunkLockPtr ChunkLock(const char* name, int mode) {
  vkChunkLockPtr lock(new vkChunkLock);
  if (IsChunkName(name)) {
    vkChunkName chunk;
    if (!ResolveChunkName(name, &chunk)) return nullptr;
  } else {
    lock->lock = vkosLockFile(name, mode);
    if (!lock->lock) return nullptr;
  }
  lock->name = name;
  return lock;
}

int ChunkExamine(vkChunkLock* lock, vkFileInfo* info) {
  if (lock->lock) return vkosExamineLock(lock->lock.get(), info);
  vkChunkName chunk;
  ResolveChunkName(lock->name.c_str(), &chunk);
  // Linked files carry no date of their own: they all show one fixed date.
  struct tm fields = {};
  fields.tm_mday = 16;
  fields.tm_mon = 8;
  fields.tm_year = 82;
  fields.tm_isdst = -1;
  time_t when = mktime(&fields);
  *info = vkFileInfo();
  info->size = chunk.size;
  info->protection = 15;
  info->accessTime = info->modifyTime = info->changeTime = when;
  return 0;
}

int ChunkExamineDir(vkChunkLock* lock, int* isDirectory) {
  if (lock->lock) return vkosBeginDirScan(lock->lock.get(), isDirectory);
  SetErrorText(lock->name.c_str());
  return kErrNotDirectory;
}

int ChunkExamineNext(vkChunkLock* lock, const char** name, int* isDirectory, vkFileInfo* info) {
  if (!lock->lock) return 0;
  return vkosExamineNext(lock->lock.get(), name, isDirectory, info);
}

int ChunkLockPath(vkChunkLock* lock, char* buffer, size_t size) {
  if (lock->lock) return vkosNameFromLock(lock->lock.get(), buffer, size) == 0 ? 1 : 0;
  vkOSLockPtr here = vkosLockFile("", VKOS_LOCK_READ);
  if (!here) return 0;
  std::vector<char> dir(4096);
  if (vkosNameFromLock(here.get(), dir.data(), dir.size()) != 0) return 0;
  here.reset();
  vkChunkName chunk;
  ResolveChunkName(lock->name.c_str(), &chunk);
  std::string path = dir.data();
  AddPart(path, chunk.name.empty() ? "unknown" : std::string(chunk.name).c_str());
  if (size == 0) return 0;
  if (path.size() + 1 > size) {
    buffer[0] = 0;
    return 0;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return 1;
}
