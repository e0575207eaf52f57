// The dos library's file handle commands, its command and constant tables,
// and the helpers its command files share. Every transfer goes through the
// handle's checked reads and writes, so positions and lengths stay what
// scripts see and no read passes the length.
#include "runtime/doslib.h"

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "engine/attributes.h"
#include "engine/libraries.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "base/catalog.h"
#include "io/chunknames.h"
#include "runtime/console.h"
#include "runtime/context.h"
#include "runtime/doscommands.h"
#include "runtime/dosfiles.h"
#include "base/errorcodes.h"
#include "base/paths.h"
#include "runtime/serialise.h"

namespace dos {

int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

std::string TextArg(vkState* L, int i) {
  size_t len = 0;
  const char* s = vmCheckString(L, i, &len);
  return std::string(s, len);
}

std::string DateText(int64_t seconds) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t t = static_cast<time_t>(seconds);
  struct tm local {};
  localtime_r(&t, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%.2d-%s-%d %.2d:%.2d:%.2d", local.tm_mday, kMonths[local.tm_mon],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

void PushFileInfo(vkState* L, const vkFileInfo& info, const char* nameField, const std::string& name) {
  vmNewTable(L);
  vmPushString(L, nameField);
  vmPushLString(L, name.data(), name.size());
  vmSetTable(L, -3);
  SetFieldInt(L, "type", info.isDirectory ? 1 : 0);
  if (!info.isDirectory) SetFieldNumber(L, "size", static_cast<double>(info.size));
  SetFieldNumber(L, "flags", info.protection);
  SetFieldString(L, "time", DateText(info.modifyTime).c_str());
  SetFieldString(L, "lastaccesstime", DateText(info.accessTime).c_str());
}

uint32_t CallProgressCallback(vkState* L, int callback, double* result) {
  vmPushValue(L, callback);
  vmInsert(L, -2);
  SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, 1}});
  int status = vmPCall(L, 1, 1, 0);
  SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, 0}});
  if (status != 0) return static_cast<uint32_t>(status);
  int code = 0;
  *result = vmToNumberOrError(L, -1, &code);
  vmSetTop(L, -2);
  return static_cast<uint32_t>(code);
}

}  // namespace dos

using namespace dos;

namespace {

constexpr uint32_t kCatalogOpeningFile = 286;  // "Opening file %s"

uint32_t handleArg(vkState* L, int i, vkFileHandle** out) { return FindFileHandle(L, CheckObjectId(L, i), out); }

int pushNumber(vkState* L, double d) {
  vmPushNumber(L, d);
  return 1;
}

int cmdOpenFile(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkIdRequest request = OptObjectId(L, 1);
  std::string name = TextArg(L, 2);
  int32_t mode = vkDoubleToInt32(vmOptNumber(L, 3, MODE_READ));
  if (name.empty() || (mode != MODE_READ && mode != MODE_WRITE && mode != MODE_READWRITE)) return kErrWrongUsage;
  // Files linked into the applet are read where the applet holds them.
  if (mode == MODE_READ) name = ResolveLinkedFile(L, name.c_str(), 0, nullptr);
  PrintStatus(L, GetCatalogText(kCatalogOpeningFile), name.c_str(), true);
  vkFileHandle* h = nullptr;
  if (uint32_t code = OpenFileHandle(L, request, name.c_str(), mode, &h)) return static_cast<int>(code);
  PrintDone(L);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, h->id.handle);
  return 1;
}

int cmdCloseFile(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  CloseFileHandle(L, h);
  return 0;
}

int cmdEof(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  return pushNumber(L, h->position == h->length ? 1 : 0);
}

int cmdFilePos(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  return pushNumber(L, static_cast<double>(h->position));
}

int cmdFileLength(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  return pushNumber(L, static_cast<double>(h->length));
}

int cmdFlushFile(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  FlushStream(h->stream.get());
  return 0;
}

int cmdSeek(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  int64_t position = vkDoubleToInt64(vmCheckNumber(L, 2));
  if (position == -1) position = static_cast<int64_t>(h->length);
  if (position < 0 || static_cast<uint64_t>(position) > h->length) return kErrSeekPosition;
  HandleSeek(h, static_cast<uint64_t>(position));
  return 0;
}

int cmdSetIOMode(vkState* L) {
  CheckArgCount(L, 1, 1);
  int32_t mode = IntArg(L, 1);
  if (mode != IO_BUFFERED && mode != IO_UNBUFFERED) return kErrWrongUsage;
  DosObjects(L).ioMode = mode;
  return 0;
}

// Fixed-size big-endian reads and writes: one routine per direction serves
// bytes, shorts, ints and doubles.
enum class Scalar { Byte, Short, Int, Double };

constexpr int scalarSize(Scalar s) { return s == Scalar::Byte ? 1 : s == Scalar::Short ? 2 : s == Scalar::Int ? 4 : 8; }

template <Scalar S>
int cmdReadScalar(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  if (uint32_t code = CheckReadable(h)) return static_cast<int>(code);
  uint8_t b[8];
  if (uint32_t code = HandleRead(h, b, scalarSize(S))) return static_cast<int>(code);
  uint64_t v = 0;
  for (int i = 0; i < scalarSize(S); i++) v = v << 8 | b[i];
  switch (S) {
    case Scalar::Byte:
    case Scalar::Short: return pushNumber(L, static_cast<double>(v));
    case Scalar::Int: return pushNumber(L, static_cast<int32_t>(static_cast<uint32_t>(v)));
    case Scalar::Double: {
      double d;
      std::memcpy(&d, &v, 8);
      return pushNumber(L, d);
    }
  }
  return 0;
}

template <Scalar S>
int cmdWriteScalar(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  double d = vmCheckNumber(L, 2);
  if (uint32_t code = CheckWritable(h)) return static_cast<int>(code);
  uint64_t v;
  if (S == Scalar::Double) std::memcpy(&v, &d, 8);
  else v = vkDoubleToWord(d);
  uint8_t b[8];
  for (int i = scalarSize(S) - 1; i >= 0; i--, v >>= 8) b[i] = static_cast<uint8_t>(v);
  return static_cast<int>(HandleWrite(h, b, scalarSize(S)));
}

int cmdReadLine(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  if (uint32_t code = CheckReadable(h)) return static_cast<int>(code);
  if (BytesLeft(h) == 0) return kErrPastEnd;
  std::string line;
  while (BytesLeft(h) > 0) {
    char c;
    if (uint32_t code = HandleRead(h, &c, 1)) return static_cast<int>(code);
    if (c == '\n') break;
    if (c != '\r') line.push_back(c);
  }
  vmPushLString(L, line.data(), line.size());
  return 1;
}

int cmdWriteLine(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  std::string line = TextArg(L, 2) + '\n';
  if (uint32_t code = CheckWritable(h)) return static_cast<int>(code);
  return static_cast<int>(HandleWrite(h, line.data(), line.size()));
}

int cmdReadString(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  int32_t count = IntArg(L, 2);
  if (uint32_t code = CheckReadable(h)) return static_cast<int>(code);
  if (count < 0) return kErrWrongUsage;
  if (static_cast<uint64_t>(count) > BytesLeft(h)) return kErrPastEnd;
  std::string text(static_cast<size_t>(count), '\0');
  if (uint32_t code = HandleRead(h, text.data(), text.size())) return static_cast<int>(code);
  vmPushLString(L, text.data(), text.size());
  return 1;
}

int cmdWriteString(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  std::string text = TextArg(L, 2);
  int32_t count = vkDoubleToInt32(vmOptNumber(L, 3, 0));
  if (uint32_t code = CheckWritable(h)) return static_cast<int>(code);
  if (count < 0) return kErrWrongUsage;
  if (static_cast<size_t>(count) > text.size()) return kErrLengthTooLong;
  size_t n = count == 0 ? text.size() : static_cast<size_t>(count);
  return static_cast<int>(HandleWrite(h, text.data(), n));
}

int cmdWriteTable(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  vmCheckTable(L, 2);
  bool text = vmOptNumber(L, 3, 0) != 0;
  return static_cast<int>(WriteTableRecord(L, 2, h, text));
}

int cmdReadTable(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  if (uint32_t code = ReadTableRecord(L, h)) return static_cast<int>(code);
  return 1;
}

int cmdWriteFunction(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  vmCheckFunction(L, 2);
  bool text = vmOptNumber(L, 3, 0) != 0;
  return static_cast<int>(WriteFunctionRecord(L, 2, h, text));
}

int cmdReadFunction(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFileHandle* h;
  if (uint32_t code = handleArg(L, 1, &h)) return static_cast<int>(code);
  if (uint32_t code = ReadFunctionRecord(L, h)) return static_cast<int>(code);
  return 1;
}

const vkConstantDef kDosConstants[] = {
    {"FREESPACE", nullptr, 1},           {"USEDSPACE", nullptr, 0},
    {"EOF", nullptr, -1},                {"MODE_READWRITE", nullptr, MODE_READWRITE},
    {"MODE_WRITE", nullptr, MODE_WRITE}, {"MODE_READ", nullptr, MODE_READ},
    {"COPYFILE_STATUS", nullptr, 0},     {"COPYFILE_OVERWRITE", nullptr, 1},
    {"COPYFILE_UNPROTECT", nullptr, 2},  {"DELETEFILE_STATUS", nullptr, 0},
    {"DELETEFILE_UNPROTECT", nullptr, 1}, {"IO_BUFFERED", nullptr, IO_BUFFERED},
    {"IO_UNBUFFERED", nullptr, IO_UNBUFFERED}, {"FILEATTR_NORMAL", nullptr, FILEATTR_NORMAL},
    {"FILEATTR_READ_USR", nullptr, FILEATTR_READ_USR}, {"FILEATTR_WRITE_USR", nullptr, FILEATTR_WRITE_USR},
    {"FILEATTR_DELETE_USR", nullptr, 4}, {"FILEATTR_EXECUTE_USR", nullptr, FILEATTR_EXECUTE_USR},
    {"FILEATTR_READ_GRP", nullptr, FILEATTR_READ_GRP}, {"FILEATTR_WRITE_GRP", nullptr, FILEATTR_WRITE_GRP},
    {"FILEATTR_EXECUTE_GRP", nullptr, FILEATTR_EXECUTE_GRP}, {"FILEATTR_READ_OTH", nullptr, FILEATTR_READ_OTH},
    {"FILEATTR_WRITE_OTH", nullptr, FILEATTR_WRITE_OTH}, {"FILEATTR_EXECUTE_OTH", nullptr, FILEATTR_EXECUTE_OTH},
    {"FILEATTR_PURE", nullptr, 16},      {"FILEATTR_ARCHIVE", nullptr, 32},
    {"FILEATTR_SCRIPT", nullptr, 64},    {"FILEATTR_HIDDEN", nullptr, 128},
    {"FILEATTR_SYSTEM", nullptr, 256},   {"FILEATTR_READONLY", nullptr, 32768},
    {"DOSTYPE_FILE", nullptr, 0},        {"DOSTYPE_DIRECTORY", nullptr, 1},
    {nullptr, nullptr, 0},
};

}  // namespace

const vkCommandDef kDosCommands[] = {
    {"OpenFile", cmdOpenFile},
    {"Eof", cmdEof},
    {"ReadChr", cmdReadScalar<Scalar::Byte>},
    {"ReadLine", cmdReadLine},
    {"ReadString", cmdReadString},
    {"Seek", cmdSeek},
    {"WriteChr", cmdWriteScalar<Scalar::Byte>},
    {"WriteLine", cmdWriteLine},
    {"WriteString", cmdWriteString},
    {"Exists", cmdExists},
    {"FileSize", cmdFileSize},
    {"PathPart", cmdPathPart},
    {"FilePart", cmdFilePart},
    {"MakeDirectory", cmdMakeDirectory},
    {"GetVolumeInfo", cmdGetVolumeInfo},
    {"DeleteFile", cmdDeleteFile},
    {"Execute", cmdExecute},
    {"Run", cmdRun},
    {"ChangeDirectory", cmdChangeDirectory},
    {"GetVolumeName", cmdGetVolumeName},
    {"CloseFile", cmdCloseFile},
    {"ReadDirectory", cmdReadDirectory},
    {"FullPath", cmdFullPath},
    {"CopyFile", cmdCopyFile},
    {"Rename", cmdRename},
    {"IsDirectory", cmdIsDirectory},
    {"CRC32", cmdCRC32},
    {"WriteShort", cmdWriteScalar<Scalar::Short>},
    {"WriteInt", cmdWriteScalar<Scalar::Int>},
    {"WriteFloat", cmdWriteScalar<Scalar::Double>},
    {"ReadShort", cmdReadScalar<Scalar::Short>},
    {"ReadInt", cmdReadScalar<Scalar::Int>},
    {"ReadFloat", cmdReadScalar<Scalar::Double>},
    {"FilePos", cmdFilePos},
    {"MatchPattern", cmdMatchPattern},
    {"FlushFile", cmdFlushFile},
    {"SetIOMode", cmdSetIOMode},
    {"GetFileAttributes", cmdGetFileAttributes},
    {"SetFileAttributes", cmdSetFileAttributes},
    {"GetTempFileName", cmdGetTempFileName},
    {"FileLength", cmdFileLength},
    {"CompressFile", cmdCompressFile},
    {"DecompressFile", cmdDecompressFile},
    {"OpenDirectory", cmdOpenDirectory},
    {"CloseDirectory", cmdCloseDirectory},
    {"NextDirectoryEntry", cmdNextDirectoryEntry},
    {"WriteFunction", cmdWriteFunction},
    {"ReadFunction", cmdReadFunction},
    {"DefineVirtualFile", cmdDefineVirtualFile},
    {"ReadTable", cmdReadTable},
    {"WriteTable", cmdWriteTable},
    {"GetCurrentDirectory", cmdGetCurrentDirectory},
    {nullptr, nullptr},
};

namespace {

int32_t CountFilesOf(vkState* L) { return CountFileHandles(L); }
int32_t CountDirectoriesOf(vkState* L) { return CountDirectoryHandles(L); }

int QueryFile(vkState* L, int32_t attribute) {
  vkFileHandle* file = nullptr;
  if (uint32_t code = FindFileHandle(L, CheckObjectId(L, 2), &file)) return int(code);
  if (attribute != ATTRMODE) return kErrUnknownAttribute;
  vmPushNumber(L, file->scriptMode);
  return 1;
}

}  // namespace

int OpenDOSLibrary(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::FILE, {CountFilesOf, QueryFile});
  RegisterAttributeProvider(L, vkObjectType::DIRECTORY, {CountDirectoriesOf, nullptr});
  vmRegisterFunctions(L, nullptr, kDosCommands, 0);
  vmRegisterConstants(L, kDosConstants);
  return RegisterLibrary(L, kDosCommands, "dos");
}

int CountDirectoryHandles(vkState* L) { return CountOpenDirectoryHandles(L); }

void CloseAllDosObjects(vkState* L) {
  CloseAllFileHandles(L);
  DosObjects(L).tempFiles.clear();
  CloseAllDirectoryHandles(L);
}
