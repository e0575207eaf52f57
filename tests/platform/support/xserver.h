// An Xvfb server of a test's own on a free display number, and a look-up of
// programs on the PATH, for the groups that need a real X server.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// Whether [program] is an executable on the PATH.
inline bool OnPath(const char* program) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

// An Xvfb server of its own, stopped when the test ends.
class XServer {
 public:
  // Starts a server whose one screen is width x height x 24; false when none starts.
  bool Start(int width, int height) {
    for (int n = 90 + getpid() % 400; n < 1000; n++) {
      if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
          std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      display_ = ":" + std::to_string(n);
      const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
      std::vector<std::string> args = {"Xvfb", display_, "-screen", "0", screen, "-nolisten", "tcp"};
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      if (posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0) return false;
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      for (int i = 0; i < 200; i++) {
        if (std::filesystem::exists(socket)) return true;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) break;  // it ended: try the next number
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      Stop();
    }
    return false;
  }
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = 0;
  }
  ~XServer() { Stop(); }
  const std::string& Display() const { return display_; }
  // What the screen shows, as ImageMagick's import reads it from the server:
  // 0xRRGGBB words, row by row; empty when it could not be read.
  std::vector<uint32_t> Screen() const {
    const std::string command = "import -display " + display_ + " -window root -depth 8 ppm:-";
    std::vector<uint32_t> pixels;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return pixels;
    int width = 0, height = 0, maxval = 0;
    if (fscanf(pipe, "P6 %d %d %d", &width, &height, &maxval) == 3 && fgetc(pipe) != EOF && maxval == 255) {
      std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3);
      if (fread(rgb.data(), 1, rgb.size(), pipe) == rgb.size()) {
        pixels.resize(size_t(width) * size_t(height));
        for (size_t i = 0; i < pixels.size(); i++)
          pixels[i] = uint32_t(rgb[i * 3]) << 16 | uint32_t(rgb[i * 3 + 1]) << 8 | rgb[i * 3 + 2];
      }
    }
    pclose(pipe);
    return pixels;
  }

 private:
  pid_t pid_ = 0;
  std::string display_;
};
