// Runs a program, usually the real player on an applet, to its end from an
// end-to-end test: standard output and error go to files in a folder, the
// run is killed when it outlasts its time, and what it printed is read
// back. Header-only so that the test binaries of several folders share it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "scratchdir.h"  // ReadWholeFile

extern char** environ;

namespace vktest {

struct ProgramRun {
  bool started = false;
  int status = 0;    // as waitpid reports it
  std::string out;   // standard output
  std::string err;   // standard error
  bool ExitedWith(int code) const { return started && WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

// Runs [argv] (argv[0] the program's path) with its output in [dir]/out and
// [dir]/err, in the test's environment; killed after [seconds].
inline ProgramRun RunProgram(const std::vector<std::string>& argv, const std::string& dir, int seconds = 60) {
  ProgramRun run;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string out = dir + "/out", err = dir + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  run.started = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (!run.started) return run;
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (waitpid(pid, &run.status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > until) {
      kill(pid, SIGKILL);
      waitpid(pid, &run.status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  run.out = ReadWholeFile(out);
  run.err = ReadWholeFile(err);
  return run;
}

}  // namespace vktest
