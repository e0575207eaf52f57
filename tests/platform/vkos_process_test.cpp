// Starting programs: paths with blanks survive both the shell line of a
// synchronous run and the argument vector of an asynchronous one, bad argument
// lines start nothing, documents are not run as programs, and no child is
// left unreaped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "../common/scratchdir.h"
#include "base/errorcodes.h"
#include "platform/vkos_files.h"

namespace {

// Makes an executable shell script at [path] that writes its arguments, one
// per line, into [out].
void MakeRecorder(const std::string& path, const std::string& out) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << out
                      << ".tmp'\nmv '" << out << ".tmp' '" << out << "'\n";
  chmod(path.c_str(), 0755);
}

// Waits for a detached program's output file to appear.
std::string AwaitFile(const std::string& path) {
  for (int i = 0; i < 1000 && !std::filesystem::exists(path); i++)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ReadWholeFile(path);
}

bool HasNoChildren() { return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD; }

TEST(Execute, SynchronousRunWithBlanksInTheProgramPath) {
  ScratchDir dir;
  std::string program = dir / "my dir/run me", out = dir / "out";
  MakeRecorder(program, out);
  ASSERT_EQ(vkosExecute(program.c_str(), "one \"two three\"", 0), 0);
  EXPECT_EQ(ReadWholeFile(out), "one\ntwo three\n");  // the shell parsed the argument line
  EXPECT_TRUE(HasNoChildren());
}

TEST(Execute, SynchronousProgramWithAQuoteInItsName) {
  ScratchDir dir;
  std::string program = dir / "it's here", out = dir / "out";
  MakeRecorder(program, out);
  ASSERT_EQ(vkosExecute(program.c_str(), nullptr, 0), 0);
  EXPECT_TRUE(std::filesystem::exists(out));
}

TEST(Execute, AsynchronousRunSplitsWordsAndIsReaped) {
  ScratchDir dir;
  std::string program = dir / "my dir/run me", out = dir / "out";
  MakeRecorder(program, out);
  ASSERT_EQ(vkosExecute(program.c_str(), "  a \"b  c\" $HOME 'd' ", 1), 0);
  EXPECT_TRUE(HasNoChildren());  // the launcher is gone; init adopts the program
  EXPECT_EQ(AwaitFile(out), "a\nb  c\n$HOME\n'd'\n");
}

TEST(Execute, BadAsynchronousArgumentLinesStartNothing) {
  ScratchDir dir;
  std::string program = dir / "prog", out = dir / "out";
  MakeRecorder(program, out);
  std::string tooMany;
  for (int i = 0; i < 128; i++) tooMany += "w ";
  std::string justEnough;
  for (int i = 0; i < 127; i++) justEnough += "w ";
  EXPECT_EQ(vkosExecute(program.c_str(), "a \"unclosed", 1), 1055);
  EXPECT_EQ(vkosExecute(program.c_str(), tooMany.c_str(), 1), 1055);
  EXPECT_TRUE(HasNoChildren());
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(vkosExecute(program.c_str(), justEnough.c_str(), 1), 0);
  EXPECT_EQ(AwaitFile(out).size(), 127u * 2);
}

TEST(Execute, DocumentsAreOpenedNotRun) {
  ScratchDir dir;
  // A stand-in for the desktop's document opener records what it was given.
  std::string opened = dir / "opened";
  MakeRecorder(dir / "bin/xdg-open", opened);
  std::string savedPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (dir / "bin:" + savedPath).c_str(), 1);
  // Executable scripts whose names look like documents: running them would
  // leave their output file behind.
  for (const char* name : {"notes.txt", "a.app", "b.sh"}) {
    std::string program = dir / name, out = dir / (std::string(name) + ".out");
    MakeRecorder(program, out);
    EXPECT_EQ(vkosExecute(program.c_str(), nullptr, 0), 0) << name;
    EXPECT_EQ(AwaitFile(opened), program + "\n") << name;
    EXPECT_FALSE(std::filesystem::exists(out)) << name;
    std::filesystem::remove(opened);
  }
  setenv("PATH", savedPath.c_str(), 1);
  EXPECT_TRUE(HasNoChildren());
  // A longer name ending in ".exe" is a program.
  std::string program = dir / "tool.exe", out = dir / "tool.out";
  MakeRecorder(program, out);
  EXPECT_EQ(vkosExecute(program.c_str(), nullptr, 0), 0);
  EXPECT_TRUE(std::filesystem::exists(out));
}

TEST(ExecutablePath, IsOurOwnAndBounded) {
  char buf[4096];
  ASSERT_EQ(vkosGetExecutablePath(buf, sizeof buf), 0);
  EXPECT_EQ(std::string(buf), std::filesystem::read_symlink("/proc/self/exe").string());
  char small[4] = "abc";
  EXPECT_EQ(vkosGetExecutablePath(small, sizeof small), kErrNameTooLong);
  EXPECT_EQ(small[0], 0);
}

}  // namespace
