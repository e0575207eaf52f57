// Runs a program, usually the real player on an applet, to its end from an
// end-to-end test: standard output and error go to files in a folder, the
// run is killed when it outlasts its time, and what it printed is read
// back. A test that acts on the program while it runs (a signal, say)
// starts it and finishes it in two steps. Header-only so that the test
// binaries of several folders share it.
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
  // The exit status; -1 when the program did not start, was killed or died of a signal.
  int ExitCode() const { return started && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

// Starts [argv] (argv[0] the program's path) with its output in [dir]/out
// and [dir]/err, in the test's environment and working folder, or in
// [workdir] when it is given. The process id, or -1 when it did not start.
inline pid_t StartProgram(const std::vector<std::string>& argv, const std::string& dir,
                          const std::string& workdir = "") {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const std::string out = dir + "/out", err = dir + "/err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!workdir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workdir.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (args[0] == nullptr || posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Waits for the program [pid] started by StartProgram with output in [dir]
// to end, killing it after [seconds], and reads back what it printed.
inline ProgramRun FinishProgram(pid_t pid, const std::string& dir, int seconds = 60) {
  ProgramRun run;
  run.started = pid > 0;
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
  run.out = ReadWholeFile(dir + "/out");
  run.err = ReadWholeFile(dir + "/err");
  return run;
}

// Runs [argv] to its end as StartProgram and FinishProgram do.
inline ProgramRun RunProgram(const std::vector<std::string>& argv, const std::string& dir, int seconds = 60,
                             const std::string& workdir = "") {
  return FinishProgram(StartProgram(argv, dir, workdir), dir, seconds);
}

}  // namespace vktest
