// Temporary files the player makes for itself (an unpacked applet, a linked
// file extracted for a program): a unique name made with mkstemps, and an
// owner that deletes the file when it goes away, on every exit path.
#pragma once

#include <string>

class vkTempFile {
 public:
  vkTempFile() = default;
  ~vkTempFile() { Remove(); }
  vkTempFile(vkTempFile&& other) noexcept;
  vkTempFile& operator=(vkTempFile&& other) noexcept;
  vkTempFile(const vkTempFile&) = delete;
  vkTempFile& operator=(const vkTempFile&) = delete;

  // Makes a new empty file in $TMPDIR (or /tmp) whose name ends in [suffix]
  // (for example ".png", so the file keeps its type). Check valid().
  static vkTempFile Create(const char* suffix = "");

  bool valid() const { return !fsPath_.empty(); }
  // The file's path as program text (ISO 8859-1), for the file layer.
  const std::string& path() const { return path_; }
  // Deletes the file now; the owner then holds nothing.
  void Remove();

 private:
  std::string path_;    // ISO 8859-1
  std::string fsPath_;  // as the file system names it
};
