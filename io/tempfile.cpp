// Owned temporary files: created atomically with a unique name and deleted by
// their owner, so an error or an exception never leaves one behind.
#include "io/tempfile.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/vkos_files.h"

vkTempFile::vkTempFile(vkTempFile&& other) noexcept
    : path_(std::move(other.path_)), fsPath_(std::move(other.fsPath_)) {
  other.path_.clear();
  other.fsPath_.clear();
}

vkTempFile& vkTempFile::operator=(vkTempFile&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::move(other.path_);
    fsPath_ = std::move(other.fsPath_);
    other.path_.clear();
    other.fsPath_.clear();
  }
  return *this;
}

vkTempFile vkTempFile::Create(const char* suffix) {
  vkTempFile temp;
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/vellumark-XXXXXX";
  std::string fsSuffix = vkosLatin1ToUtf8(suffix);
  pattern += fsSuffix;
  int fd = mkstemps(pattern.data(), static_cast<int>(fsSuffix.size()));
  if (fd < 0) return temp;
  close(fd);
  std::optional<std::string> text = vkosUtf8ToLatin1(pattern.c_str());
  if (!text) {
    unlink(pattern.c_str());
    return temp;
  }
  temp.fsPath_ = pattern;
  temp.path_ = *text;
  return temp;
}

void vkTempFile::Remove() {
  if (!fsPath_.empty()) unlink(fsPath_.c_str());
  fsPath_.clear();
  path_.clear();
}
