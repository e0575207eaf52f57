// The dos library's commands on names rather than handles: existence, sizes
// and path parts, directories (made along a path, listed sorted, scanned
// entry by entry), file information and attributes, checksums, packs,
// temporary files, virtual files and running other programs. Every name is
// locked through the linked-file layer, so ":::chunk" and "PROGDIR:" names
// work wherever a file does.
#include <zlib.h>

#include <cstring>
#include <ctime>
#include <list>
#include <memory>
#include <vector>

#include "base/errorinfo.h"
#include "engine/objecthandles.h"
#include "engine/errormessages.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "runtime/context.h"
#include "io/chunknames.h"
#include "runtime/doscommands.h"
#include "runtime/dosfiles.h"
#include "io/filehandles.h"
#include "base/errorcodes.h"
#include "io/packfiles.h"
#include "base/paths.h"
#include "platform/vkos_time.h"
#include "runtime/sort.h"

using namespace dos;

namespace {

constexpr size_t kPathMax = 1024;

int pushNumber(vkState* L, double d) {
  vmPushNumber(L, d);
  return 1;
}

int pushText(vkState* L, const std::string& s) {
  vmPushLString(L, s.data(), s.size());
  return 1;
}

// The full path of a lock ("" when it cannot be told).
std::string lockPath(vkChunkLock* lock) {
  std::vector<char> buffer(4096);
  return ChunkLockPath(lock, buffer.data(), buffer.size()) ? std::string(buffer.data()) : std::string();
}

uint32_t findDirectoryHandle(vkState* L, const vkObjectId& id, vkDirectoryHandle** out) {
  for (vkDirectoryHandle& d : DosObjects(L).directories) {
    if (d.id == id) {
      *out = &d;
      return 0;
    }
  }
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoDirHandle;
}

}  // namespace

namespace dos {

uint32_t MakeDirectoryPath(const std::string& path) {
  for (size_t i = 1; i <= path.size(); i++) {
    if (i < path.size() && path[i] != '/' && path[i] != '\\') continue;
    std::string prefix = path.substr(0, i);
    if (vkChunkLockPtr lock = ChunkLock(prefix.c_str(), VKOS_LOCK_READ)) {
      vkFileInfo info;
      if (ChunkExamine(lock.get(), &info) == 0 && info.isDirectory) continue;
    } else if (vkosMakeDir(prefix.c_str()) == 0) {
      continue;
    }
    SetErrorText(path.c_str());
    return kErrMakeDir;
  }
  return 0;
}

std::string PathPartOf(const std::string& path) {
  const char* end = GetPathEnd(path.c_str());
  size_t n = static_cast<size_t>(end - path.c_str());
  if (n < path.size() && (path[n] == '/' || path[n] == '\\')) n++;
  return path.substr(0, n);
}

}  // namespace dos

int CountOpenDirectoryHandles(vkState* L) { return static_cast<int>(DosObjects(L).directories.size()); }

void CloseAllDirectoryHandles(vkState* L) { DosObjects(L).directories.clear(); }

int cmdExists(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string name = TextArg(L, 1);
  if (name.empty()) return kErrWrongUsage;
  return pushNumber(L, ChunkLock(name.c_str(), VKOS_LOCK_READ) ? 1 : 0);
}

int cmdFileSize(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string name = TextArg(L, 1);
  if (name.empty()) return kErrWrongUsage;
  vkChunkLockPtr lock = ChunkLock(name.c_str(), VKOS_LOCK_READ);
  vkFileInfo info;
  if (!lock || ChunkExamine(lock.get(), &info) != 0) return pushNumber(L, -1);
  return pushNumber(L, static_cast<double>(info.size));
}

int cmdPathPart(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string path = TextArg(L, 1);
  if (IsChunkName(path.c_str())) return kErrWrongUsage;
  return pushText(L, PathPartOf(path));
}

int cmdFilePart(vkState* L) {
  CheckArgCount(L, 1, 1);
  return pushText(L, ShortName(TextArg(L, 1)));
}

int cmdMakeDirectory(vkState* L) {
  CheckArgCount(L, 1, 1);
  return static_cast<int>(MakeDirectoryPath(TextArg(L, 1)));
}

int cmdGetVolumeInfo(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string path = TextArg(L, 1);
  int32_t what = IntArg(L, 2);
  if (path.empty()) return kErrWrongUsage;
  int64_t freeSpace = 0, usedSpace = 0;
  if (int code = vkosGetVolumeInfo(path.c_str(), &freeSpace, &usedSpace)) return code;
  return pushNumber(L, static_cast<double>(what ? freeSpace : usedSpace));
}

int cmdGetVolumeName(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string path = TextArg(L, 1);
  if (path.empty()) return kErrWrongUsage;
  char name[257];
  if (int code = vkosGetVolumeName(path.c_str(), name, sizeof name)) return code;
  return pushText(L, name);
}

int cmdChangeDirectory(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string path = TextArg(L, 1);
  // A change that did not happen is reported rather than passed over.
  if (!vkosChangeDir(path.c_str())) return kErrNotDirectory;
  return 0;
}

int cmdGetCurrentDirectory(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkChunkLockPtr here = ChunkLock("", VKOS_LOCK_READ);
  return pushText(L, here ? lockPath(here.get()) : std::string());
}

int cmdFullPath(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string dir = TextArg(L, 1), file = TextArg(L, 2);
  char path[kPathMax];
  std::snprintf(path, sizeof path, "%s", dir.c_str());
  AddPart(path, sizeof path, file.c_str());
  return pushText(L, path);
}

int cmdRename(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string from = TextArg(L, 1), to = TextArg(L, 2);
  if (from.empty() || to.empty() || IsChunkName(from.c_str()) || IsChunkName(to.c_str())) return kErrWrongUsage;
  std::string target = PathPartOf(from) + FilePart(to.c_str());
  if (int code = vkosRename(from.c_str(), target.c_str())) return code;
  return 0;
}

// Locks the file or directory the first argument names (the name kept for
// the error text) and examines it: 0, 1043 when it cannot be locked, or the
// examination's error.
int LockAndExamine(vkState* L, vkChunkLockPtr& lock, vkFileInfo* info) {
  const std::string name = TextArg(L, 1);
  SetErrorText(name.c_str());
  lock = ChunkLock(name.c_str(), VKOS_LOCK_READ);
  if (!lock) return kErrLock;
  return ChunkExamine(lock.get(), info);
}

int cmdIsDirectory(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkChunkLockPtr lock;
  vkFileInfo info;
  if (int code = LockAndExamine(L, lock, &info)) return code == kErrLock ? code : kErrWrongUsage;
  return pushNumber(L, info.isDirectory ? 1 : 0);
}

int cmdCRC32(vkState* L) {
  CheckArgCount(L, 1, 1);
  std::string name = TextArg(L, 1);
  if (name.empty()) return kErrWrongUsage;
  SetErrorText(name.c_str());
  vkFilePtr file = OpenStream(name.c_str(), VKFILE_READ);
  if (!file) return kErrCannotRead;
  std::vector<uint8_t> buffer(64 * 1024);
  uLong crc = crc32(0L, Z_NULL, 0);
  while (uint32_t got = ModeRead(DosObjects(L).ioMode, file.get(), buffer.data(), static_cast<uint32_t>(buffer.size())))
    crc = crc32(crc, buffer.data(), got);
  return pushNumber(L, static_cast<double>(crc));
}

int cmdMatchPattern(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string name = TextArg(L, 1), pattern = TextArg(L, 2);
  uintptr_t compiled = vkosAllocPattern();
  if (!compiled) return kErrOutOfMemory;
  vkosParsePattern(compiled, pattern.c_str());
  int match = vkosMatchPattern(compiled, name.c_str());
  vkosFreePattern(compiled);
  return pushNumber(L, match ? 1 : 0);
}

int cmdReadDirectory(vkState* L) {
  CheckArgCount(L, 3, 4);
  std::string path = TextArg(L, 1);
  vmCheckTable(L, 2);
  vmCheckTable(L, 3);
  bool sort = vmOptNumber(L, 4, 1) != 0;
  SetErrorText(path.c_str());
  vkChunkLockPtr lock = ChunkLock(path.c_str(), VKOS_LOCK_READ);
  if (!lock) return kErrLock;
  int isDirectory = 0;
  if (int code = ChunkExamineDir(lock.get(), &isDirectory)) return code;
  int counts[2] = {0, 0};  // files, directories
  const char* name;
  while (ChunkExamineNext(lock.get(), &name, &isDirectory, nullptr)) {
    int list = isDirectory ? 1 : 0;
    vmPushString(L, name);
    vmRawSetI(L, 2 + list, counts[list]++);
  }
  for (int list = 0; list < 2; list++) {
    vmPushString(L, "");
    vmRawSetI(L, 2 + list, counts[list]);
    if (sort) {
      if (uint32_t code = SortArrayTable(L, 2 + list, 0, 0, counts[list] - 1)) return static_cast<int>(code);
    }
  }
  vmPushNumber(L, counts[0]);
  vmPushNumber(L, counts[1]);
  return 2;
}

int cmdGetFileAttributes(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkChunkLockPtr lock;
  vkFileInfo info;
  if (int code = LockAndExamine(L, lock, &info)) return code;
  PushFileInfo(L, info, "path", lockPath(lock.get()));
  return 1;
}

namespace {

// Reads a date text of the form DateText writes: 0 and *[seconds] (local
// time), or 1285. The whole text is there before any character is read.
uint32_t parseDateText(const std::string& text, int64_t* seconds) {
  static const char* const kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
  if (text.size() < 20) return kErrDateFormat;
  if (text[2] != '-' || text[6] != '-' || text[14] != ':' || text[17] != ':') return kErrDateFormat;
  auto number = [&](size_t at, size_t n, int* out) {
    int v = 0;
    for (size_t i = at; i < at + n; i++) {
      if (text[i] < '0' || text[i] > '9') return false;
      v = v * 10 + (text[i] - '0');
    }
    *out = v;
    return true;
  };
  int day, year, hour, minute, second, month = -1;
  for (int m = 0; m < 12; m++) {
    if (std::tolower(static_cast<unsigned char>(text[3])) == kMonths[m][0] &&
        std::tolower(static_cast<unsigned char>(text[4])) == kMonths[m][1] &&
        std::tolower(static_cast<unsigned char>(text[5])) == kMonths[m][2])
      month = m;
  }
  if (month < 0 || !number(0, 2, &day) || !number(7, 4, &year) || !number(12, 2, &hour) ||
      !number(15, 2, &minute) || !number(18, 2, &second))
    return kErrDateFormat;
  // Every field is checked before the time is made: 30 February is refused,
  // not carried into March.
  vkLocalTime fields;
  fields.day = day;
  fields.month = month;
  fields.year = year;
  fields.hours = hour;
  fields.minutes = minute;
  fields.seconds = second;
  if (!vkosMakeTime(fields, seconds)) return kErrDateFormat;
  return 0;
}

}  // namespace

int cmdSetFileAttributes(vkState* L) {
  CheckArgCount(L, 2, 2);
  std::string name = TextArg(L, 1);
  vmCheckTable(L, 2);
  if (IsChunkName(name.c_str())) return kErrWrongUsage;
  SetErrorText(name.c_str());
  vkChunkLockPtr lock = ChunkLock(name.c_str(), VKOS_LOCK_READ);
  if (!lock) return kErrLock;
  vkFileInfo info;
  if (int code = ChunkExamine(lock.get(), &info)) return code;
  lock.reset();
  uint32_t flags = 0;
  int haveFlags = 0;
  OptFieldUnsigned(L, 2, "flags", &flags, &haveFlags);
  int64_t times[2] = {info.modifyTime, info.accessTime};
  bool haveTime = false;
  const char* fields[2] = {"time", "lastaccesstime"};
  for (int i = 0; i < 2; i++) {
    std::string text;
    int present = 0;
    OptFieldString(L, 2, fields[i], &text, &present);
    if (!present) continue;
    if (uint32_t code = parseDateText(text, &times[i])) return static_cast<int>(code);
    haveTime = true;
  }
  if (haveFlags) {
    if (int code = vkosSetProtection(name.c_str(), flags)) return code;
  }
  if (haveTime) {
    if (int code = vkosSetFileDate(name.c_str(), times[1], times[0])) return code;
  }
  return 0;
}

int cmdGetTempFileName(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkTempFile file = vkTempFile::Create("");
  if (!file.valid()) return kErrOutOfMemory;
  vkDosTempFile& entry = DosObjects(L).tempFiles.emplace_back();
  entry.file = std::move(file);
  return pushText(L, entry.file.path());
}

namespace {

int packCommand(vkState* L, bool compress) {
  CheckArgCount(L, 2, 2);
  vmCheckString(L, 1, nullptr);  // exactly two strings
  vmCheckString(L, 2, nullptr);
  std::string source = TextArg(L, 1), destination = TextArg(L, 2);
  int64_t size = 0;
  uint32_t code = compress ? CompressToPack(kPackMagic, source.c_str(), destination.c_str(), &size)
                           : DecompressPack(kPackMagic, source.c_str(), destination.c_str(), 0, &size);
  if (code != 0) return static_cast<int>(code);
  return pushNumber(L, static_cast<double>(size));
}

}  // namespace

int cmdCompressFile(vkState* L) { return packCommand(L, true); }
int cmdDecompressFile(vkState* L) { return packCommand(L, false); }

int cmdOpenDirectory(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkIdRequest request = OptObjectId(L, 1);
  std::string path = TextArg(L, 2);
  SetErrorText(path.c_str());
  vkChunkLockPtr lock = ChunkLock(path.c_str(), VKOS_LOCK_READ);
  if (!lock) return kErrLock;
  int isDirectory = 0;
  if (int code = ChunkExamineDir(lock.get(), &isDirectory)) return code;
  if (!request.automatic) {
    vkObjectId id{request.number, nullptr};
    DosObjects(L).directories.remove_if([&id](const vkDirectoryHandle& d) { return d.id == id; });
  }
  vkDirectoryHandle& d = DosObjects(L).directories.emplace_back();
  d.id = NewObjectId(request);
  d.lock = std::move(lock);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, d.id.handle);
  return 1;
}

int cmdCloseDirectory(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkDirectoryHandle* d;
  if (uint32_t code = findDirectoryHandle(L, CheckObjectId(L, 1), &d)) return static_cast<int>(code);
  DosObjects(L).directories.remove_if([d](const vkDirectoryHandle& x) { return &x == d; });
  return 0;
}

int cmdNextDirectoryEntry(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkDirectoryHandle* d;
  if (uint32_t code = findDirectoryHandle(L, CheckObjectId(L, 1), &d)) return static_cast<int>(code);
  if (d->done) return 0;
  const char* name;
  int isDirectory = 0;
  vkFileInfo info;
  if (!ChunkExamineNext(d->lock.get(), &name, &isDirectory, &info)) {
    d->done = true;
    return 0;
  }
  PushFileInfo(L, info, "name", name);
  return 1;
}

int cmdDefineVirtualFile(vkState* L) {
  CheckArgCount(L, 4, 4);
  std::string container = TextArg(L, 1);
  int64_t offset = vkDoubleToInt64(vmCheckNumber(L, 2));
  int64_t length = vkDoubleToInt64(vmCheckNumber(L, 3));
  std::string name = TextArg(L, 4);
  if (length <= 0 || offset < 0 || container.empty()) return kErrWrongUsage;
  return pushText(L, MakeChunkName(name.c_str(), offset, length, 0, container.c_str()));
}

// Programs.

namespace {

// The program named by a ":::chunk" name, copied out of its container into a
// temporary file once and reused; the file keeps the linked file's extension.
uint32_t extractProgram(vkState* L, const std::string& chunk, std::string* path) {
  for (const vkDosTempFile& t : DosObjects(L).tempFiles) {
    if (t.chunkName == chunk) {
      *path = t.file.path();
      return 0;
    }
  }
  std::string file = ShortName(chunk);
  size_t dot = file.rfind('.');
  vkTempFile temp = vkTempFile::Create(dot == std::string::npos ? "" : file.c_str() + dot);
  if (!temp.valid()) return kErrOutOfMemory;
  SetErrorText(chunk.c_str());
  vkFilePtr in = OpenStream(chunk.c_str(), VKFILE_READ);
  if (!in) return kErrCannotRead;
  SetErrorText(temp.path().c_str());
  vkFilePtr out = OpenStream(temp.path().c_str(), VKFILE_WRITE);
  if (!out) return kErrCannotWrite;
  std::vector<uint8_t> buffer(16 * 1024);
  const int32_t ioMode = DosObjects(L).ioMode;
  while (uint32_t got = ModeRead(ioMode, in.get(), buffer.data(), static_cast<uint32_t>(buffer.size()))) {
    if (ModeWrite(ioMode, out.get(), buffer.data(), got) != got) return kErrShortWrite;
  }
  out.reset();
  vkosSetProtection(temp.path().c_str(), FILEATTR_READ_USR | FILEATTR_WRITE_USR | FILEATTR_EXECUTE_USR);
  vkDosTempFile& entry = DosObjects(L).tempFiles.emplace_back();
  entry.file = std::move(temp);
  entry.chunkName = chunk;
  *path = entry.file.path();
  return 0;
}

int runProgram(vkState* L, bool wait) {
  CheckArgCount(L, 1, 1);
  std::string line = TextArg(L, 1);
  std::string program;
  size_t i = 0;
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    if (close == std::string::npos) return kErrWrongUsage;
    program = line.substr(1, close - 1);
    i = close + 1;
  } else {
    i = line.find(' ');
    if (i == std::string::npos) i = line.size();
    program = line.substr(0, i);
  }
  if (program.empty()) return kErrWrongUsage;
  while (i < line.size() && line[i] == ' ') i++;
  std::string arguments = line.substr(i);
  if (IsChunkName(program.c_str())) {
    if (uint32_t code = extractProgram(L, program, &program)) return static_cast<int>(code);
  }
  int code = vkosExecute(program.c_str(), arguments.empty() ? nullptr : arguments.c_str(), wait ? 0 : 1);
  if (const vkProgramContext& context = ProgramContext(L); context.resetDisplayInput) context.resetDisplayInput(L);
  return code;
}

}  // namespace

int cmdExecute(vkState* L) { return runProgram(L, true); }
int cmdRun(vkState* L) { return runProgram(L, false); }
