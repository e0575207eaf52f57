// The picture benchmarks' peer: a python3 process with PIL that runs a
// script once and then, for each request line "op path" written to it,
// answers with the processor seconds the operation took. Absent (Running()
// false) when python3 or PIL is not installed.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

class PilPeer {
 public:
  PilPeer(const char* script, const std::vector<std::string>& args) {
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    const std::string check = std::string(python) + " -c 'import PIL' 2>/dev/null";
    if (std::system(check.c_str()) != 0) return;
    std::vector<char*> argv{const_cast<char*>(python), const_cast<char*>("-c"), const_cast<char*>(script)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int toPeer[2], fromPeer[2];
    if (pipe(toPeer) || pipe(fromPeer)) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(toPeer[0], 0);
      dup2(fromPeer[1], 1);
      close(toPeer[1]);
      close(fromPeer[0]);
      execvp(python, argv.data());
      _exit(127);
    }
    close(toPeer[0]);
    close(fromPeer[1]);
    in_ = fdopen(toPeer[1], "w");
    out_ = fdopen(fromPeer[0], "r");
  }
  ~PilPeer() {
    if (in_) std::fclose(in_);
    if (out_) std::fclose(out_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }
  PilPeer(const PilPeer&) = delete;
  PilPeer& operator=(const PilPeer&) = delete;

  bool Running() const { return in_ && out_; }
  // The seconds [op] on [path] took in the peer; negative when it failed.
  double Run(const std::string& op, const std::string& path) {
    std::fprintf(in_, "%s %s\n", op.c_str(), path.c_str());
    std::fflush(in_);
    double seconds = -1;
    if (std::fscanf(out_, "%lf", &seconds) != 1) return -1;
    return seconds;
  }

 private:
  pid_t pid_ = -1;
  FILE* in_ = nullptr;
  FILE* out_ = nullptr;
};
