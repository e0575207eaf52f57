// Files and directories on POSIX: locks hold a descriptor or a directory
// stream, scans read entries through the lock, and every path crosses from
// ISO 8859-1 to the file system's UTF-8 here and nowhere else.
#include "platform/vkos_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/errorinfo.h"
#include "base/errorcodes.h"
#include "base/paths.h"

namespace {

struct ModeBit {
  uint32_t attr;
  mode_t mode;
};
constexpr ModeBit kModeBits[] = {
    {FILEATTR_READ_USR, S_IRUSR},    {FILEATTR_WRITE_USR, S_IWUSR},
    {FILEATTR_EXECUTE_USR, S_IXUSR}, {FILEATTR_READ_GRP, S_IRGRP},
    {FILEATTR_WRITE_GRP, S_IWGRP},   {FILEATTR_EXECUTE_GRP, S_IXGRP},
    {FILEATTR_READ_OTH, S_IROTH},    {FILEATTR_WRITE_OTH, S_IWOTH},
    {FILEATTR_EXECUTE_OTH, S_IXOTH},
};

// A file-system path as ISO 8859-1, or the raw text when it cannot be.
std::string ToProgramText(const char* fsText) {
  std::optional<std::string> text = vkosUtf8ToLatin1(fsText);
  return text ? *text : std::string(fsText);
}

int CopyOut(const std::string& text, char* buffer, size_t size) {
  if (size == 0) return 0;
  if (text.size() + 1 > size) {
    buffer[0] = 0;
    return 0;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return 1;
}

std::optional<std::string> CurrentDirFs() {
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) return std::nullopt;
  std::string dir(cwd);
  std::free(cwd);
  return dir;
}

}  // namespace

std::string vkosLatin1ToUtf8(const char* text) {
  std::string out;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
    if (*p < 0x80) {
      out += static_cast<char>(*p);
    } else {
      out += static_cast<char>(0xC0 | (*p >> 6));
      out += static_cast<char>(0x80 | (*p & 0x3F));
    }
  }
  return out;
}

bool vkosExpandProgDir(const char* name, std::string* path) {
  char exe[4096];
  if (vkosGetExecutablePath(exe, sizeof exe) != 0) return false;
  path->assign(exe, static_cast<size_t>(FilePart(exe) - exe));
  AddPart(*path, name + kProgDirLength);
  return true;
}

std::string vkosToFileSystemPath(const char* path) {
  std::string expanded;
  if (std::strncmp(path, kProgDir, kProgDirLength) == 0) {
    if (!vkosExpandProgDir(path, &expanded)) return std::string();
    path = expanded.c_str();
  }
  if (std::strlen(path) >= 1024) return vkosLatin1ToUtf8(path);
  std::string slashed(path);
  for (char& c : slashed)
    if (c == '\\') c = '/';
  return vkosLatin1ToUtf8(slashed.c_str());
}

std::optional<std::string> vkosUtf8ToLatin1(const char* text) {
  std::string out;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    if (*p < 0x80) {
      out += static_cast<char>(*p++);
    } else if ((p[0] == 0xC2 || p[0] == 0xC3) && (p[1] & 0xC0) == 0x80) {
      out += static_cast<char>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
    } else {
      return std::nullopt;
    }
  }
  return out;
}

vkOSLockPtr vkosLockFile(const char* path, int mode) {
  if (mode == VKOS_LOCK_WRITE) {
    std::printf("VKOS_LOCK_WRITE unsupported.\n");
    return nullptr;
  }
  std::string fsPath = vkosToFileSystemPath(*path ? path : ".");
  char* real = realpath(fsPath.c_str(), nullptr);
  if (real) {
    fsPath = real;
    std::free(real);
  }
  struct stat st;
  if (stat(fsPath.c_str(), &st) != 0) return nullptr;

  vkOSLockPtr lock(new vkOSLock);
  lock->path = fsPath;
  lock->pathLength = fsPath.size();
  lock->pathBuffer.reserve(fsPath.size() + 257);
  if (S_ISDIR(st.st_mode)) {
    lock->dir = opendir(fsPath.c_str());
    if (!lock->dir) return nullptr;
  } else if (S_ISREG(st.st_mode)) {
    // O_NONBLOCK keeps a path swapped for a FIFO since the stat from hanging.
    lock->fd = open(fsPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (lock->fd < 0) return nullptr;
    struct stat opened;
    if (fstat(lock->fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return nullptr;
  } else {
    return nullptr;
  }
  return lock;
}

void vkosUnlockFile(vkOSLock* lock) {
  if (!lock) return;
  if (lock->dir) closedir(static_cast<DIR*>(lock->dir));
  if (lock->fd >= 0) close(lock->fd);
  delete lock;
}

void vkosStatToFileInfo(const struct stat& st, vkFileInfo* info) {
  info->isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
  info->size = st.st_size;
  info->accessTime = st.st_atime;
  info->modifyTime = st.st_mtime;
  info->changeTime = st.st_ctime;
  info->protection = 0;
  for (const ModeBit& bit : kModeBits)
    if (st.st_mode & bit.mode) info->protection |= bit.attr;
}

int vkosExamineLock(vkOSLock* lock, vkFileInfo* info) {
  struct stat st;
  int rc = lock->dir ? stat(lock->path.c_str(), &st) : fstat(lock->fd, &st);
  if (rc != 0) {
    SetErrorText(ToProgramText(lock->path.c_str()).c_str());
    return kErrCannotRead;
  }
  vkosStatToFileInfo(st, info);
  size_t slash = lock->path.rfind('/');
  info->name = ToProgramText(lock->path.c_str() + (slash == std::string::npos ? 0 : slash + 1));
  return 0;
}

int vkosBeginDirScan(vkOSLock* lock, int* isDirectory) {
  if (!lock->dir) {
    lock->name = ToProgramText(lock->path.c_str());
    SetErrorText(lock->name.c_str());
    return kErrNotDirectory;
  }
  rewinddir(static_cast<DIR*>(lock->dir));
  if (isDirectory) *isDirectory = 1;
  return 0;
}

int vkosExamineNext(vkOSLock* lock, const char** name, int* isDirectory, vkFileInfo* info) {
  if (!lock->dir) return 0;
  DIR* dir = static_cast<DIR*>(lock->dir);
  while (struct dirent* entry = readdir(dir)) {
    if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
    lock->pathBuffer.assign(lock->path);
    AddPart(lock->pathBuffer, entry->d_name);
    struct stat st;
    if (lstat(lock->pathBuffer.c_str(), &st) != 0) continue;
    bool link = S_ISLNK(st.st_mode);
    if (link) stat(lock->pathBuffer.c_str(), &st);  // a dangling link keeps its own description
    lock->name = ToProgramText(entry->d_name);
    if (name) *name = lock->name.c_str();
    if (isDirectory) *isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
    if (info) {
      vkosStatToFileInfo(st, info);
      info->name = lock->name;
      info->isLink = link ? 1 : 0;
    }
    return 1;
  }
  return 0;
}

void vkosEndDirScan(vkOSLock*) {}

int vkosNameFromLock(vkOSLock* lock, char* buffer, size_t size) {
  return CopyOut(ToProgramText(lock->path.c_str()), buffer, size) ? 0 : kErrNameTooLong;
}

std::optional<std::string> vkosChangeDir(const char* path) {
  std::optional<std::string> previous = CurrentDirFs();
  if (!previous || chdir(vkosToFileSystemPath(path).c_str()) != 0) {
    SetErrorText(path);
    return std::nullopt;
  }
  return ToProgramText(previous->c_str());
}

int vkosFullPath(const char* path, char* buffer, size_t size) {
  std::string fsPath = vkosToFileSystemPath(path);
  std::string full;
  if (char* real = realpath(fsPath.c_str(), nullptr)) {
    full = real;
    std::free(real);
  } else if (fsPath.empty() || fsPath[0] != '/') {
    std::optional<std::string> cwd = CurrentDirFs();
    full = cwd ? *cwd : std::string();
    char* realCwd = realpath(full.c_str(), nullptr);
    if (realCwd) {
      full = realCwd;
      std::free(realCwd);
    }
    AddPart(full, fsPath.c_str());
  } else {
    full = fsPath;
  }
  return CopyOut(ToProgramText(full.c_str()), buffer, size) ? 0 : kErrNameTooLong;
}

int vkosIsSymbolicLink(const char* path) {
  struct stat st;
  return lstat(vkosToFileSystemPath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode) ? 1 : 0;
}

int vkosRename(const char* oldPath, const char* newPath) {
  return rename(vkosToFileSystemPath(oldPath).c_str(), vkosToFileSystemPath(newPath).c_str()) == 0 ? 0 : kErrRename;
}

int vkosSetProtection(const char* path, uint32_t protection) {
  mode_t mode = 0;
  if (protection & FILEATTR_NORMAL) {
    mode = 0644;
  } else {
    for (const ModeBit& bit : kModeBits)
      if (protection & bit.attr) mode |= bit.mode;
  }
  return chmod(vkosToFileSystemPath(path).c_str(), mode) == 0 ? 0 : kErrSetAttributes;
}

int vkosSetFileDate(const char* path, int64_t accessTime, int64_t modifyTime) {
  struct timeval times[2] = {};
  times[0].tv_sec = static_cast<time_t>(accessTime);
  times[1].tv_sec = static_cast<time_t>(modifyTime);
  return utimes(vkosToFileSystemPath(path).c_str(), times) == 0 ? 0 : kErrSetDate;
}

int vkosMakeDir(const char* path) {
  if (mkdir(vkosToFileSystemPath(path).c_str(), 0755) != 0) {
    SetErrorText(path);
    return kErrMakeDir;
  }
  return 0;
}

int vkosDeleteFile(const char* path) {
  std::string fsPath = vkosToFileSystemPath(path);
  struct stat st;
  if (lstat(fsPath.c_str(), &st) != 0) return kErrDeleteFile;
  return (S_ISDIR(st.st_mode) ? rmdir(fsPath.c_str()) : unlink(fsPath.c_str())) == 0 ? 0 : kErrDeleteFile;
}

int vkosGetVolumeName(const char*, char* buffer, size_t size) {
  CopyOut("unimplemented", buffer, size);
  return 0;
}

int vkosGetVolumeInfo(const char*, int64_t* freeSpace, int64_t* usedSpace) {
  if (freeSpace) *freeSpace = 0;
  if (usedSpace) *usedSpace = 0;
  return 0;
}

uintptr_t vkosAllocPattern() { return 1; }
int vkosParsePattern(uintptr_t, const char*) { return 0; }
int vkosMatchPattern(uintptr_t, const char*) { return 0; }
void vkosFreePattern(uintptr_t) {}
int vkosSetFileComment(const char*, const char*) { return 0; }
