// A scratch directory for file-system tests: made fresh under /tmp for each
// test and removed with everything in it when the test ends. Header-only so
// that the test binaries of several folders can share it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vktest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = std::filesystem::canonical(pattern).string();
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // [name] inside the directory.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Writes [bytes] into the file [name] inside the directory; returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::string file = *this / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

 private:
  std::string path_;
};

// The whole content of the file at [path] ("" when it cannot be read).
inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}
