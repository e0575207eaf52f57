// The file a fuzz entry point writes each input to, for readers that take a
// path: one per process and name, in a folder of its own (readers may make
// their file's folder current or write beside it), removed when the process
// ends. Header-only so that the test binaries of several folders share it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzzinput {

struct Folder {
  std::string path;
  Folder() {
    path = (std::filesystem::temp_directory_path() / "vkfuzz-XXXXXX").string();
    if (!mkdtemp(path.data())) __builtin_trap();
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

// Writes [size] bytes at [data] to the file [name] of the folder; returns its path.
inline std::string Write(const char* name, const void* data, size_t size) {
  static const Folder folder;
  const std::string file = folder.path + "/" + name;
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(static_cast<const char*>(data), std::streamsize(size));
  return file;
}

}  // namespace fuzzinput
