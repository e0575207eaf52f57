// The portable interface to files, directories and programs: locks with
// examination and directory scans, path conversion, rename, protection bits,
// dates, directory creation and deletion, the current directory and starting
// other programs. Text on this side is ISO 8859-1; the backend converts to and
// from the file system's UTF-8 at the boundary.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct stat;

// Protection bits as scripts see them, and the POSIX mode bit each stands for.
inline constexpr uint32_t FILEATTR_READ_USR = 1;         // 0400
inline constexpr uint32_t FILEATTR_WRITE_USR = 2;        // 0200
inline constexpr uint32_t FILEATTR_EXECUTE_USR = 8;      // 0100
inline constexpr uint32_t FILEATTR_READ_GRP = 512;       // 040
inline constexpr uint32_t FILEATTR_WRITE_GRP = 1024;     // 020
inline constexpr uint32_t FILEATTR_EXECUTE_GRP = 2048;   // 010
inline constexpr uint32_t FILEATTR_READ_OTH = 4096;      // 04
inline constexpr uint32_t FILEATTR_WRITE_OTH = 8192;     // 02
inline constexpr uint32_t FILEATTR_EXECUTE_OTH = 16384;  // 01
inline constexpr uint32_t FILEATTR_NORMAL = 65536;       // when setting: mode 0644

// Lock modes of vkosLockFile; write locks are not supported.
inline constexpr int VKOS_LOCK_READ = 0;
inline constexpr int VKOS_LOCK_WRITE = 1;

// A locked file or directory, with the state of a directory scan.
struct vkOSLock {
  std::string path;        // resolved file-system path (UTF-8)
  void* dir = nullptr;     // directory stream (DIR*), NULL for files
  int fd = -1;             // read-only descriptor for files, -1 for directories
  std::string pathBuffer;  // path plus the entry name during a scan
  std::string name;        // current entry name, ISO 8859-1
  size_t pathLength = 0;   // length of [path]
};

// Releases a lock: closes its directory stream or descriptor and frees it.
void vkosUnlockFile(vkOSLock* lock);

struct vkOSLockDeleter {
  void operator()(vkOSLock* lock) const { vkosUnlockFile(lock); }
};
using vkOSLockPtr = std::unique_ptr<vkOSLock, vkOSLockDeleter>;

// File information, shared with the dos library.
struct vkFileInfo {
  uint32_t isDirectory = 0;
  int64_t size = 0;
  uint32_t protection = 0;  // FILEATTR_* bits
  uint32_t isLink = 0;      // a scan entry that is a symbolic link; the rest describes its target
                            // (or the link itself when the target is missing)
  std::string name;         // entry name, ISO 8859-1
  int64_t accessTime = 0;   // seconds since 1970
  int64_t modifyTime = 0;
  int64_t changeTime = 0;
};

// Locks [path] ("" = the current directory) for reading. A write lock, a
// path that does not exist, and anything but a directory or a regular file
// give NULL.
vkOSLockPtr vkosLockFile(const char* path, int mode);
// Fills [info] from the lock's path (directories) or descriptor (files).
// Returns 0, or 1045 with the path as error text when stat fails.
int vkosExamineLock(vkOSLock* lock, vkFileInfo* info);
void vkosStatToFileInfo(const struct stat& st, vkFileInfo* info);
// Starts a scan of a directory lock: 0 with [isDirectory] 1, or 1250 with
// the path as error text when the lock is not a directory.
int vkosBeginDirScan(vkOSLock* lock, int* isDirectory);
// Next entry of the scan, "." and ".." skipped: 1, or 0 at the end. [name]
// (valid until the next call), [isDirectory] and [info] are filled when given.
// A symbolic link is described by its target, with isLink set; a link whose
// target is missing is a file.
int vkosExamineNext(vkOSLock* lock, const char** name, int* isDirectory, vkFileInfo* info);
void vkosEndDirScan(vkOSLock* lock);
// Copies the lock's path (ISO 8859-1) into [buffer] of [size] bytes: 0, or
// 1373 with an empty buffer when it does not fit.
int vkosNameFromLock(vkOSLock* lock, char* buffer, size_t size);

// Makes [path] the current directory and returns the previous one; when the
// change fails nothing changes, the path becomes the error text and the
// result is empty.
std::optional<std::string> vkosChangeDir(const char* path);
// The absolute form of [path]: its real path when it resolves, else joined
// to the current directory (relative) or copied (absolute). 0, or 1373 with
// an empty buffer when it does not fit [size] bytes.
int vkosFullPath(const char* path, char* buffer, size_t size);
// Names that begin with "PROGDIR:" lie in the running executable's folder.
inline constexpr char kProgDir[] = "PROGDIR:";
inline constexpr size_t kProgDirLength = 8;
// The path of a "PROGDIR:rest" name: the executable's folder joined with
// "rest". False when the executable's path is not known.
bool vkosExpandProgDir(const char* name, std::string* path);
// [path] in the file system's form: a leading "PROGDIR:" is expanded (an
// empty path when that cannot be done), backslashes become slashes (paths
// below 1024 bytes) and ISO 8859-1 becomes UTF-8. Every operation here takes
// its paths through this.
std::string vkosToFileSystemPath(const char* path);
// ISO 8859-1 text as UTF-8.
std::string vkosLatin1ToUtf8(const char* text);
// UTF-8 text (a name read from the file system) as ISO 8859-1; empty when it
// holds characters outside ISO 8859-1 or is not valid UTF-8.
std::optional<std::string> vkosUtf8ToLatin1(const char* text);

// 1 when [path] itself is a symbolic link, else 0.
int vkosIsSymbolicLink(const char* path);
// Each 0, or the operation's error code.
int vkosRename(const char* oldPath, const char* newPath);         // 1145
int vkosSetProtection(const char* path, uint32_t protection);     // 1282
int vkosSetFileDate(const char* path, int64_t accessTime, int64_t modifyTime);  // 1283
int vkosMakeDir(const char* path);                                // 1084, the path as error text
int vkosDeleteFile(const char* path);  // files and empty directories: 1143

// Volume and pattern services this platform does not have.
int vkosGetVolumeName(const char* path, char* buffer, size_t size);  // "unimplemented"; 0
int vkosGetVolumeInfo(const char* path, int64_t* freeSpace, int64_t* usedSpace);  // both 0; 0
uintptr_t vkosAllocPattern();                                // 1, a dummy handle
int vkosParsePattern(uintptr_t pattern, const char* text);   // 0: no wildcards
int vkosMatchPattern(uintptr_t pattern, const char* name);   // 0: no match
void vkosFreePattern(uintptr_t pattern);
int vkosSetFileComment(const char* path, const char* comment);  // 0

// Starts [program] with the argument line [arguments] (NULL = none).
// Synchronous runs go through the shell and wait; asynchronous ones split the
// line into words ("..." keeps blanks) and do not wait. A name with an
// extension other than ".app"/".exe" is opened as a document. Returns 0,
// 1000 when out of memory, or 1055 for an unclosed quote or more than 127
// words. Every child is reaped.
int vkosExecute(const char* program, const char* arguments, int asynchronous);

// Fills [buffer] of [size] bytes with the path of the running executable
// (ISO 8859-1). 0, or 1373 with an empty buffer when it is unknown or too
// long.
int vkosGetExecutablePath(char* buffer, size_t size);
