// What the dos library's command files share: argument helpers, the date
// text, file information tables, directory creation along a path, the
// temporary files made for scripts and programs, and the callback call of
// the copy and delete commands.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "base/errorcodes.h"
#include "engine/argcheck.h"
#include "platform/vkos_files.h"
#include "io/tempfile.h"

struct vkState;

namespace dos {

int32_t IntArg(vkState* L, int i);
// The string argument [i], which may hold NUL bytes.
std::string TextArg(vkState* L, int i);

// "%.2d-%s-%d %.2d:%.2d:%.2d": day, month name, full year and time of
// [seconds] (since 1970) in local time.
std::string DateText(int64_t seconds);

// Pushes a file information table: [nameField] ("name" or "path") = [name],
// "type", "size" (files only), "flags", "time", "lastaccesstime".
void PushFileInfo(vkState* L, const vkFileInfo& info, const char* nameField, const std::string& name);

// Creates every missing directory along [path]; an existing part must be a
// directory. 0, or 1084 with the whole path as error text.
uint32_t MakeDirectoryPath(const std::string& path);

// [path] up to where its file part begins, keeping the separator before it.
std::string PathPartOf(const std::string& path);

// Calls the function at stack [callback] under a protected call with the
// table on top of the stack (which it pops), the protected-call depth raised
// around it. 0 and *[result], or the error code the callback ended with,
// or 1190 when it gave no number.
uint32_t CallProgressCallback(vkState* L, int callback, double* result);

}  // namespace dos

// The command functions of dospaths.cpp and dostree.cpp, in the order of the
// command table.
int cmdExists(vkState* L);
int cmdFileSize(vkState* L);
int cmdPathPart(vkState* L);
int cmdFilePart(vkState* L);
int cmdMakeDirectory(vkState* L);
int cmdGetVolumeInfo(vkState* L);
int cmdDeleteFile(vkState* L);
int cmdExecute(vkState* L);
int cmdRun(vkState* L);
int cmdChangeDirectory(vkState* L);
int cmdGetVolumeName(vkState* L);
int cmdReadDirectory(vkState* L);
int cmdFullPath(vkState* L);
int cmdCopyFile(vkState* L);
int cmdRename(vkState* L);
int cmdIsDirectory(vkState* L);
int cmdCRC32(vkState* L);
int cmdMatchPattern(vkState* L);
int cmdGetFileAttributes(vkState* L);
int cmdSetFileAttributes(vkState* L);
int cmdGetTempFileName(vkState* L);
int cmdCompressFile(vkState* L);
int cmdDecompressFile(vkState* L);
int cmdOpenDirectory(vkState* L);
int cmdCloseDirectory(vkState* L);
int cmdNextDirectoryEntry(vkState* L);
int cmdDefineVirtualFile(vkState* L);
int cmdGetCurrentDirectory(vkState* L);
void CloseAllDirectoryHandles(vkState* L);
int CountOpenDirectoryHandles(vkState* L);
