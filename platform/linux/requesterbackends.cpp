// The requester backends: which one serves a request (scripted answers,
// the window system with zenity for files, folders and strings, or the
// printing fallback), the pattern's extensions, and zenity run as a child
// without a shell while the window system's events keep being pumped.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/requesters.h"
#include "platform/vkos_files.h"
#include "platform/vkos_requesters.h"

extern char** environ;

namespace {

constexpr char kAnswersVariable[] = "VK_REQUESTER_ANSWERS";
constexpr char kCancel[] = "!";

enum class vkBackend { Scripted, Window, Fallback };

// Where a request of [kind] goes: system requesters need the window system,
// the others zenity as well.
vkBackend BackendFor(bool needsZenity, bool* haveZenity) {
  if (std::getenv(kAnswersVariable) != nullptr) return vkBackend::Scripted;
  if (!vkosHasWindowSystem()) return vkBackend::Fallback;
  if (!needsZenity) return vkBackend::Window;
  *haveZenity = false;
  if (const char* path = std::getenv("PATH")) {
    std::string all = path;
    for (size_t start = 0; start <= all.size();) {
      size_t colon = all.find(':', start);
      if (colon == std::string::npos) colon = all.size();
      const std::string candidate = all.substr(start, colon - start) + "/zenity";
      if (colon > start && access(candidate.c_str(), X_OK) == 0) *haveZenity = true;
      start = colon + 1;
    }
  }
  return *haveZenity ? vkBackend::Window : vkBackend::Fallback;
}

// Prints a request on standard output, as the scripted backend and the
// fallback show it.
void PrintRequest(const char* kind, const char* title, const char* text, const char* extra) {
  std::printf("Requester %s: \"%s\" \"%s\"%s%s%s\n", kind, title ? title : "", text ? text : "",
              extra && *extra ? " [" : "", extra && *extra ? extra : "", extra && *extra ? "]" : "");
  std::fflush(stdout);
}

// The next scripted answer; false when they are used up (cancel).
bool NextAnswer(std::string* answer) {
  const char* all = std::getenv(kAnswersVariable);
  if (all == nullptr) return false;
  std::vector<std::string> answers;
  for (const char* p = all;;) {
    const char* nl = std::strchr(p, '\n');
    answers.emplace_back(p, nl ? size_t(nl - p) : std::strlen(p));
    if (!nl) break;
    p = nl + 1;
  }
  if (gPlatform.requesterAnswers >= answers.size()) return false;
  *answer = answers[gPlatform.requesterAnswers++];
  return *answer != kCancel;
}

// zenity's answer, UTF-8 turned into ISO 8859-1, the final new line cut:
// 1 confirmed, 0 cancelled, -1 when it could not run.
int RunZenity(const std::vector<std::string>& args, std::string* out) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return -1;
  }
  std::string bytes;
  char buffer[4096];
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    const int ready = poll(&p, 1, 20);
    if (ready > 0) {
      const ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n > 0) {
        bytes.append(buffer, size_t(n));
        continue;
      }
      if (n == 0 || errno != EINTR) break;
    }
    // Our windows stay alive while the requester is open.
    if (gPlatform.sdl) SDL_PumpEvents();
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 1)) return -1;
  if (WEXITSTATUS(status) == 1) return 0;
  while (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  auto latin = vkosUtf8ToLatin1(bytes.c_str());
  *out = latin ? *latin : bytes;
  return 1;
}

std::string Utf8(const char* text) { return vkosLatin1ToUtf8(text ? text : ""); }

// Splits full paths into one folder (the first path's) and the names.
void SplitPaths(const std::string& paths, vkFileRequestResult* result) {
  size_t start = 0;
  for (;;) {
    const size_t bar = paths.find('|', start);
    const std::string path = paths.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    const size_t slash = path.find_last_of('/');
    if (result->names.empty())
      result->folder = slash == std::string::npos ? "" : slash == 0 ? "/" : path.substr(0, slash);
    result->names.push_back(slash == std::string::npos ? path : path.substr(slash + 1));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  result->chosen = !result->names.empty();
}

}  // namespace

std::vector<std::string> vkosPatternExtensions(const char* pattern) {
  std::vector<std::string> out;
  const std::string all = pattern ? pattern : "";
  if (all.empty() || all[0] == '*' || all == "#?") return out;
  size_t start = 0;
  for (;;) {
    const size_t bar = all.find('|', start);
    std::string part = all.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (!part.empty()) out.push_back(part[0] == '.' ? part : "." + part);
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

int vkosSystemRequest(const char* title, const char* text, const char* buttons, int32_t icon) {
  bool zenity = false;
  switch (BackendFor(false, &zenity)) {
    case vkBackend::Window:
      return SystemMessageBox(title, text, buttons, icon);
    case vkBackend::Scripted: {
      PrintRequest("SystemRequest", title, text, buttons);
      std::string answer;
      return NextAnswer(&answer) ? std::atoi(answer.c_str()) : 0;
    }
    case vkBackend::Fallback:
      PrintRequest("SystemRequest", title, text, buttons);
      return 0;
  }
  return -1;
}

int vkosFileRequest(const char* title, const char* pattern, int32_t mode, const char* folder, const char* file,
                    vkFileRequestResult* result) {
  *result = vkFileRequestResult{};
  bool zenity = false;
  const vkBackend backend = BackendFor(true, &zenity);
  if (backend != vkBackend::Window) {
    static const char* const kKinds[] = {"FileRequest", "FileRequest several", "FileRequest save"};
    PrintRequest(kKinds[mode >= 0 && mode <= 2 ? mode : 0], title, pattern, nullptr);
    std::string answer;
    if (backend == vkBackend::Scripted && NextAnswer(&answer) && !answer.empty()) SplitPaths(answer, result);
    return 0;
  }
  std::vector<std::string> args = {"zenity", "--file-selection", "--title=" + Utf8(title)};
  if (mode == VKOS_FILE_OPEN_SEVERAL) args.insert(args.end(), {"--multiple", "--separator=|"});
  if (mode == VKOS_FILE_SAVE) args.insert(args.end(), {"--save", "--confirm-overwrite"});
  std::string start = folder ? folder : "";
  if (!start.empty() && start.back() != '/') start += '/';
  start += file ? file : "";
  if (!start.empty()) args.push_back("--filename=" + Utf8(start.c_str()));
  const std::vector<std::string> extensions = vkosPatternExtensions(pattern);
  if (!extensions.empty()) {
    std::string filter = "--file-filter=";
    for (const std::string& e : extensions) filter += "*" + Utf8(e.c_str()) + " ";
    args.push_back(filter);
  }
  std::string answer;
  const int rc = RunZenity(args, &answer);
  if (rc < 0) return kErrOutOfMemory;
  if (rc > 0 && !answer.empty()) SplitPaths(answer, result);
  return 0;
}

int vkosPathRequest(const char* title, int32_t saveMode, const char* folder, std::string* path, bool* chosen) {
  *chosen = false;
  path->clear();
  bool zenity = false;
  const vkBackend backend = BackendFor(true, &zenity);
  if (backend != vkBackend::Window) {
    PrintRequest(saveMode ? "PathRequest save" : "PathRequest", title, folder, nullptr);
    if (backend == vkBackend::Scripted && NextAnswer(path)) *chosen = true;
    return 0;
  }
  std::vector<std::string> args = {"zenity", "--file-selection", "--directory", "--title=" + Utf8(title)};
  if (folder && *folder) args.push_back("--filename=" + Utf8(folder) + "/");
  const int rc = RunZenity(args, path);
  if (rc < 0) return kErrOutOfMemory;
  *chosen = rc > 0;
  return 0;
}

int vkosStringRequest(const char* title, const char* text, const char* defaultText, bool numeric,
                      int32_t maxLength, bool password, std::string* result) {
  bool zenity = false;
  const vkBackend backend = BackendFor(true, &zenity);
  std::string answer;
  bool confirmed = false;
  if (backend != vkBackend::Window) {
    PrintRequest("StringRequest", title, text, defaultText);
    confirmed = backend == vkBackend::Scripted && NextAnswer(&answer);
  } else {
    std::vector<std::string> args = {"zenity", "--entry", "--title=" + Utf8(title), "--text=" + Utf8(text),
                                     "--entry-text=" + Utf8(defaultText)};
    if (password) args.push_back("--hide-text");
    const int rc = RunZenity(args, &answer);
    if (rc < 0) return kErrOutOfMemory;
    confirmed = rc > 0;
  }
  if (!confirmed) return kErrUserAbort;
  // What the edit field would have refused: a longer text, or in numeric
  // mode anything but digits with one decimal point after an optional minus.
  if (numeric) {
    size_t i = answer.size() > 0 && answer[0] == '-' ? 1 : 0;
    int points = 0;
    bool ok = true;
    for (; i < answer.size(); i++)
      if (answer[i] == '.' ? ++points > 1 : (answer[i] < '0' || answer[i] > '9')) ok = false;
    if (!ok) answer = "0";
  }
  if (maxLength > 0 && answer.size() > size_t(maxLength)) answer.resize(size_t(maxLength));
  *result = answer;
  return 0;
}
