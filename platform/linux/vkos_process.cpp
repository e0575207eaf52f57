// Starting other programs and documents, and finding our own executable.
// Children are started with posix_spawn and always reaped: a synchronous run
// waits for its shell; an asynchronous one goes through a shell that puts the
// program in the background and exits at once, so init adopts the program.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/nocase.h"
#include "platform/vkos_files.h"
#include "base/errorcodes.h"
#include "base/paths.h"

extern char** environ;

namespace {

constexpr size_t kMaxWords = 127;

// The shell line of a detached start: "$0" is the program, "$@" its arguments,
// passed as separate words so that no text is ever parsed by the shell.
constexpr const char* kDetachedLine = "\"$0\" \"$@\" &";

// Runs argv (UTF-8) as a child and waits for it. 0, or 1000 when the system
// is out of memory.
int SpawnAndWait(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return rc == ENOMEM ? kErrOutOfMemory : 0;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return 0;
}

// Starts [words] (program first, ISO 8859-1) without waiting for it.
int StartDetached(const std::vector<std::string>& words) {
  std::vector<std::string> args = {"sh", "-c", kDetachedLine};
  for (const std::string& word : words) args.push_back(vkosLatin1ToUtf8(word.c_str()));
  return SpawnAndWait(args);
}

// Single-quotes [text] for the shell: 'it'\''s' survives any character.
std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

// Splits an argument line at blanks; a word that begins with a double quote
// runs to the next double quote, without the quotes. False for an unclosed
// quote or more than 127 words.
bool SplitWords(const char* line, std::vector<std::string>& words) {
  const char* p = line;
  size_t count = 0;
  for (;;) {
    while (*p == ' ' || *p == '\t') p++;
    if (!*p) return true;
    if (++count > kMaxWords) return false;
    if (*p == '"') {
      const char* close = std::strchr(p + 1, '"');
      if (!close) return false;
      words.emplace_back(p + 1, close);
      p = close + 1;
    } else {
      const char* start = p;
      while (*p && *p != ' ' && *p != '\t') p++;
      words.emplace_back(start, p);
    }
  }
}

}  // namespace

int vkosExecute(const char* program, const char* arguments, int asynchronous) {
  const char* file = FilePart(program);
  if (std::strchr(file, '.')) {
    size_t len = std::strlen(file);
    bool isProgram = len > 5 && (EndsWithNoCase({file, len}, ".app") || EndsWithNoCase({file, len}, ".exe"));
    if (!isProgram) return StartDetached({"xdg-open", program});
  }
  if (!asynchronous) {
    std::string line = ShellQuote(program);
    if (arguments && *arguments) line += std::string(" ") + arguments;
    return SpawnAndWait({"sh", "-c", vkosLatin1ToUtf8(line.c_str())});
  }
  // There are no application bundles here: a ".app" program starts like any other.
  std::vector<std::string> words = {program};
  if (arguments && !SplitWords(arguments, words)) return kErrWrongUsage;
  return StartDetached(words);
}

namespace {

// The executable's path as the system links it, in ISO 8859-1 where it can
// be; empty when it cannot be read.
std::string ReadExecutablePath() {
  std::vector<char> target(4096);
  ssize_t n = readlink("/proc/self/exe", target.data(), target.size() - 1);
  if (n <= 0 || static_cast<size_t>(n) >= target.size() - 1) return std::string();
  target[n] = 0;
  std::optional<std::string> path = vkosUtf8ToLatin1(target.data());
  return path ? *path : std::string(target.data());
}

}  // namespace

int vkosGetExecutablePath(char* buffer, size_t size) {
  if (size == 0) return kErrNameTooLong;
  buffer[0] = 0;
  // Asked at every start and for every PROGDIR: name: read the link once.
  static const std::string text = ReadExecutablePath();
  if (text.empty() || text.size() + 1 > size) return kErrNameTooLong;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 0;
}
