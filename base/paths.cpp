// Path joining and splitting for the file layer: the rules every caller that
// builds or cuts a path shares, so a directory part and a join always agree.
#include "base/paths.h"

#include <cstring>

namespace {
bool EndsInSeparator(const char* text, size_t len) {
  return len > 0 && (text[len - 1] == '/' || text[len - 1] == '\\');
}
}  // namespace

void AddPart(std::string& path, const char* name) {
  if (!path.empty() && !EndsInSeparator(path.data(), path.size())) path += '/';
  path += name;
}

int AddPart(char* path, size_t size, const char* name) {
  size_t len = std::strlen(path);
  size_t sep = (len > 0 && !EndsInSeparator(path, len)) ? 1 : 0;
  size_t add = std::strlen(name);
  if (len + sep + add + 1 > size) return 0;
  if (sep) path[len++] = '/';
  std::memcpy(path + len, name, add + 1);
  return 1;
}

const char* GetPathEnd(const char* path) {
  while (*path == '/') path++;
  const char* end = path;
  for (const char* p = path; *p; p++) {
    if (*p == '/' || *p == '\\') end = p;
    else if (*p == ':') end = p + 1;
  }
  return end;
}

const char* FilePart(const char* path) {
  const char* part = path;
  for (const char* p = path; *p; p++)
    if (*p == '/' || *p == '\\' || *p == ':') part = p + 1;
  return part;
}
