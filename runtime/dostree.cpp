// Recursive delete and copy with the scripts' progress callbacks. A walk
// lists a directory before it changes anything in it, never follows a
// symbolic link into a folder (a link is deleted itself, and a linked folder
// is not copied), and a copy never walks into the folder it is copying to.
// Callbacks decide per file: skip, go on, or abort the whole command.
#include <cstring>
#include <string>
#include <vector>

#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "engine/vmapi.h"
#include "io/chunknames.h"
#include "runtime/doscommands.h"
#include "runtime/dosfiles.h"
#include "io/filehandles.h"
#include "base/errorcodes.h"
#include "base/paths.h"

using namespace dos;

namespace {

// How a walk goes on after one step.
enum class Step { Go, Skip, Abort };

// What a walk shares: the callback's stack index (0 = none), the userdata's
// (0 = none) and the file-name pattern of the source (0 = none).
struct Walk {
  vkState* L;
  int callback = 0;
  int userdata = 0;
  uintptr_t pattern = 0;
  uint32_t error = 0;
  bool skipped = false;  // something was left in place
};

struct Entry {
  std::string name;
  vkFileInfo info;
};

// The entries of the directory at [path], listed before anything changes.
bool listDirectory(const std::string& path, std::vector<Entry>* out) {
  vkChunkLockPtr lock = ChunkLock(path.c_str(), VKOS_LOCK_READ);
  int isDirectory = 0;
  if (!lock || ChunkExamineDir(lock.get(), &isDirectory) != 0) return false;
  const char* name;
  Entry e;
  while (ChunkExamineNext(lock.get(), &name, nullptr, &e.info)) {
    e.name = name;
    out->push_back(e);
  }
  return true;
}

bool matches(const Walk& w, const std::string& name) {
  return !w.pattern || vkosMatchPattern(w.pattern, name.c_str());
}

bool protectedFile(const vkFileInfo& info) { return !info.isLink && !(info.protection & FILEATTR_WRITE_USR); }

// Asks the callback with the table built by [fill]: its number, or an abort
// on an error (kept in the walk) or a quit request.
template <typename Fill>
bool ask(Walk& w, double* answer, Fill fill) {
  vkState* L = w.L;
  vmNewTable(L);
  fill(L);
  if (w.userdata) {
    vmPushString(L, "userdata");
    vmPushValue(L, w.userdata);
    vmSetTable(L, -3);
  }
  w.error = CallProgressCallback(L, w.callback, answer);
  return w.error == 0 && !ErrorInfo().stopFlag;
}

// Asks an overwrite or unprotect question: -1 aborts, 0 skips, any other
// answer goes on.
template <typename Fill>
Step question(Walk& w, Fill fill) {
  double answer = 0;
  if (!ask(w, &answer, fill)) return Step::Abort;
  return answer == -1 ? Step::Abort : answer == 0 ? Step::Skip : Step::Go;
}

// Delete.

Step deleteOne(Walk& w, const std::string& path, const vkFileInfo& info) {
  double answer = 0;
  if (protectedFile(info)) {
    if (!w.callback) {
      w.skipped = true;
      return Step::Skip;
    }
    Step step = question(w, [&](vkState* L) {
                         SetFieldInt(L, "action", 1);
                         SetFieldString(L, "file", path.c_str());
                       });
    if (step == Step::Skip) w.skipped = true;
    if (step != Step::Go) return step;
    vkosSetProtection(path.c_str(), FILEATTR_NORMAL);
  }
  if (w.callback) {
    if (!ask(w, &answer, [&](vkState* L) {
          SetFieldInt(L, "action", 0);
          SetFieldString(L, "file", path.c_str());
        }) || answer == 1)
      return Step::Abort;
  }
  if (vkosDeleteFile(path.c_str()) != 0) {
    w.error = kErrDeleteFile;
    return Step::Abort;
  }
  return Step::Go;
}

// Deletes the contents of the directory at [path], then the directory
// itself unless [keep].
Step deleteTree(Walk& w, const std::string& path, bool keep) {
  std::vector<Entry> entries;
  if (!listDirectory(path, &entries)) return Step::Go;  // gone or unreadable: nothing to do
  for (const Entry& e : entries) {
    std::string child = path;
    AddPart(child, e.name.c_str());
    Step step;
    if (e.info.isDirectory && !e.info.isLink) step = w.pattern ? Step::Go : deleteTree(w, child, false);
    else if (!matches(w, e.name)) step = Step::Go;
    else step = deleteOne(w, child, e.info);
    if (step == Step::Abort) return step;
  }
  if (keep) return Step::Go;
  if (!vkosDeleteFile(path.c_str()) && !w.skipped) {
    w.error = kErrDeleteFile;
    return Step::Abort;
  }
  return Step::Go;
}

// Copy.

Step copyOne(Walk& w, const std::string& source, const vkFileInfo& info, const std::string& target) {
  double answer = 0;
  if (vkChunkLockPtr existing = ChunkLock(target.c_str(), VKOS_LOCK_READ)) {
    vkFileInfo old;
    ChunkExamine(existing.get(), &old);
    existing.reset();
    char a[4096], b[4096];
    if (vkosFullPath(source.c_str(), a, sizeof a) == 0 && vkosFullPath(target.c_str(), b, sizeof b) == 0 &&
        std::strcmp(a, b) == 0)
      return Step::Skip;  // a file copied onto itself is already there
    if (w.callback) {
      Step step = question(w, [&](vkState* L) {
                           SetFieldInt(L, "action", 1);
                           SetFieldString(L, "source", source.c_str());
                           SetFieldString(L, "destination", target.c_str());
                         });
      if (step != Step::Go) return step;
    }
    if (protectedFile(old)) {
      if (!w.callback) return Step::Skip;
      Step step = question(w, [&](vkState* L) {
                           SetFieldInt(L, "action", 2);
                           SetFieldString(L, "destination", target.c_str());
                         });
      if (step != Step::Go) return step;
      vkosSetProtection(target.c_str(), FILEATTR_NORMAL);
    }
  }
  SetErrorText(source.c_str());
  vkFilePtr in = OpenStream(source.c_str(), VKFILE_READ);
  if (!in && info.isLink) return Step::Skip;  // a link to nothing has nothing to copy
  if (!in) {
    w.error = kErrCannotRead;
    return Step::Abort;
  }
  SetErrorText(target.c_str());
  vkFilePtr out = OpenStream(target.c_str(), VKFILE_WRITE);
  if (!out) {
    w.error = kErrCannotWrite;
    return Step::Abort;
  }
  // Callbacks hear of every 16 KB piece; without one, larger pieces serve.
  std::vector<uint8_t> buffer(w.callback ? 16 * 1024 : 1024 * 1024);
  double copied = 0;
  Step step = Step::Go;
  const int32_t ioMode = DosObjects(w.L).ioMode;
  while (uint32_t got = ModeRead(ioMode, in.get(), buffer.data(), static_cast<uint32_t>(buffer.size()))) {
    if (ModeWrite(ioMode, out.get(), buffer.data(), got) != got) {
      w.error = kErrShortWrite;
      step = Step::Abort;
      break;
    }
    copied += got;
    if (w.callback && (!ask(w, &answer, [&](vkState* L) {
          SetFieldInt(L, "action", 0);
          SetFieldString(L, "source", source.c_str());
          SetFieldString(L, "destination", target.c_str());
          SetFieldNumber(L, "copied", copied);
          SetFieldNumber(L, "filesize", static_cast<double>(info.size));
        }) || answer == 1)) {
      step = Step::Abort;
      break;
    }
  }
  bool closed = CloseStream(out.release()) == 1;
  if (step == Step::Go && !closed) {
    w.error = kErrShortWrite;
    step = Step::Abort;
  }
  if (step != Step::Go) {
    vkosDeleteFile(target.c_str());
    return step;
  }
  vkosSetFileDate(target.c_str(), info.accessTime, info.modifyTime);
  vkosSetProtection(target.c_str(), info.protection);
  return Step::Go;
}

// Copies the contents of the directory [source] into the directory
// [target], which exists. [avoid] is the real path of the copy's
// destination, which a walk never enters.
Step copyTree(Walk& w, const std::string& source, const std::string& target, const std::string& avoid) {
  std::vector<Entry> entries;
  if (!listDirectory(source, &entries)) {
    SetErrorText(source.c_str());
    w.error = kErrExamine;
    return Step::Abort;
  }
  for (const Entry& e : entries) {
    std::string from = source, to = target;
    AddPart(from, e.name.c_str());
    AddPart(to, e.name.c_str());
    Step step = Step::Go;
    if (e.info.isDirectory) {
      char real[4096];
      if (e.info.isLink || (vkosFullPath(from.c_str(), real, sizeof real) == 0 && avoid == real)) continue;
      if ((w.error = MakeDirectoryPath(to)) != 0) return Step::Abort;
      step = copyTree(w, from, to, avoid);
    } else if (matches(w, e.name)) {
      step = copyOne(w, from, e.info, to);
    }
    if (step == Step::Abort) return step;
  }
  if (vkChunkLockPtr lock = ChunkLock(source.c_str(), VKOS_LOCK_READ)) {
    vkFileInfo info;
    if (ChunkExamine(lock.get(), &info) == 0) {
      vkosSetFileDate(target.c_str(), info.accessTime, info.modifyTime);
      vkosSetProtection(target.c_str(), info.protection);
    }
  }
  return Step::Go;
}

// A pattern in the file part of [name]: the pattern handle (the caller frees
// it) and [name] cut to its directory; 0 when there is none.
uintptr_t takePattern(std::string* name) {
  uintptr_t pattern = vkosAllocPattern();
  if (pattern && vkosParsePattern(pattern, FilePart(name->c_str()))) {
    *name = PathPartOf(*name);
    return pattern;
  }
  vkosFreePattern(pattern);
  return 0;
}

struct PatternOwner {
  uintptr_t pattern;
  ~PatternOwner() {
    if (pattern) vkosFreePattern(pattern);
  }
};

// Reads the optional callback at [index] and the userdata after it, given
// only when it is the last of [last] arguments.
void takeCallback(vkState* L, Walk& w, int index, int last) {
  int n = vmGetTop(L);
  if (n >= index) {
    vmCheckFunction(L, index);
    w.callback = index;
  }
  if (n == last) w.userdata = last;
}

bool endsInSeparator(const std::string& s) { return !s.empty() && (s.back() == '/' || s.back() == '\\'); }

}  // namespace

int cmdDeleteFile(vkState* L) {
  CheckArgCount(L, 1, 3);
  std::string name = TextArg(L, 1);
  if (name.empty() || IsChunkName(name.c_str())) return kErrWrongUsage;
  Walk w{L};
  takeCallback(L, w, 2, 3);
  w.pattern = takePattern(&name);
  PatternOwner owner{w.pattern};
  bool keep = w.pattern != 0 || endsInSeparator(name);
  if (!keep && vkosIsSymbolicLink(name.c_str())) {
    // A link is deleted itself, never what it points to.
    vkFileInfo link;
    link.isLink = 1;
    deleteOne(w, name, link);
    return static_cast<int>(w.error);
  }
  vkChunkLockPtr lock = ChunkLock(name.c_str(), VKOS_LOCK_READ);
  vkFileInfo info;
  if (!lock || ChunkExamine(lock.get(), &info) != 0) return 0;
  std::string path = name;
  lock.reset();
  if (info.isDirectory) deleteTree(w, path, keep);
  else deleteOne(w, path, info);
  return static_cast<int>(w.error);
}

int cmdCopyFile(vkState* L) {
  CheckArgCount(L, 2, 5);
  std::string source = TextArg(L, 1), destination = TextArg(L, 2);
  std::string newName = vmGetTop(L) >= 3 ? TextArg(L, 3) : std::string();
  if (source.empty() && destination.empty()) return kErrWrongUsage;
  Walk w{L};
  takeCallback(L, w, 4, 5);
  if (uint32_t code = MakeDirectoryPath(destination)) return static_cast<int>(code);
  w.pattern = takePattern(&source);
  PatternOwner owner{w.pattern};
  SetErrorText(source.c_str());
  vkChunkLockPtr lock = ChunkLock(source.c_str(), VKOS_LOCK_READ);
  vkFileInfo info;
  if (!lock || ChunkExamine(lock.get(), &info) != 0) return kErrCannotRead;
  lock.reset();
  if (info.isDirectory) {
    if (!newName.empty()) return kErrWrongUsage;
    char avoid[4096];
    if (vkosFullPath(destination.c_str(), avoid, sizeof avoid) != 0) avoid[0] = 0;
    copyTree(w, source, destination, avoid);
  } else {
    std::string target = destination;
    AddPart(target, newName.empty() ? ShortName(source).c_str() : newName.c_str());
    copyOne(w, source, info, target);
  }
  return static_cast<int>(w.error);
}
