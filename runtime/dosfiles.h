// The dos library's file handles: scripts open files by number (or take the
// record itself as a handle), and every byte moves through the handle, which
// keeps the script-visible position and length beside its buffered file.
// Reads are checked against the length before they happen; writes raise the
// length. Serialised tables and functions use the same transfers.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "engine/argcheck.h"
#include "io/chunknames.h"
#include "io/filehandles.h"
#include "io/tempfile.h"

// The script's open modes.
inline constexpr int32_t MODE_READWRITE = 1004;
inline constexpr int32_t MODE_READ = 1005;
inline constexpr int32_t MODE_WRITE = 1006;

// Transfer modes of SetIOMode.
inline constexpr int32_t IO_BUFFERED = 0;
inline constexpr int32_t IO_UNBUFFERED = 1;

struct vkFileHandle {
  vkObjectId id;
  int32_t scriptMode = MODE_READ;
  int streamMode = VKFILE_READ;  // the OpenStream mode
  uint64_t position = 0;         // what FilePos reports
  uint64_t length = 0;           // size at opening, raised by writes past it
  vkFilePtr stream;
  const int32_t* ioMode = nullptr;  // the transfer mode of the program that opened it
};

struct vkDirectoryHandle {
  vkObjectId id;
  bool done = false;  // the scan has handed out its last entry
  vkChunkLockPtr lock;
};

// A temporary file the library made; deleted when the program ends.
struct vkDosTempFile {
  vkTempFile file;
  std::string chunkName;  // the linked file it was extracted from, or empty
};

// What the dos library holds for a program: its open objects, in opening
// order (their addresses stay put while open), and the transfer mode.
struct vkDosObjects {
  std::list<vkFileHandle> files;
  std::list<vkDirectoryHandle> directories;
  std::list<vkDosTempFile> tempFiles;
  int32_t ioMode = 0;  // IO_BUFFERED or IO_UNBUFFERED, for every byte transfer
};

// The dos library's objects of [L]'s program.
vkDosObjects& DosObjects(vkState* L);

// The handle named by [id]: 0 and *[out], or 1179 (number as error number)
// or 1041 for a handle value that is not open.
uint32_t FindFileHandle(vkState* L, const vkObjectId& id, vkFileHandle** out);
// Opens [name] with the script mode [scriptMode] (MODE_READ, MODE_WRITE or
// MODE_READWRITE; the caller has checked it) under the requested number,
// closing a handle of that number first, or under the record's own address;
// appends the handle at position 0 with the file's length. 1045 with the
// name as error text when it cannot be opened.
uint32_t OpenFileHandle(vkState* L, const vkIdRequest& request, const char* name, int32_t scriptMode,
                        vkFileHandle** out);
// Closes and forgets [handle].
void CloseFileHandle(vkState* L, vkFileHandle* handle);
void CloseAllFileHandles(vkState* L);
int CountFileHandles(vkState* L);

// 1142 for a write-only handle, 1141 for a read-only one, else 0.
uint32_t CheckReadable(const vkFileHandle* handle);
uint32_t CheckWritable(const vkFileHandle* handle);

// The file layer's read and write, buffered or direct as the I/O mode says.
uint32_t ModeRead(int32_t ioMode, vkFile* file, void* buffer, uint32_t count);
uint32_t ModeWrite(int32_t ioMode, vkFile* file, const void* buffer, uint32_t count);

// Bytes between the position and the length.
uint64_t BytesLeft(const vkFileHandle* handle);

// Reads [count] bytes: 1242 when fewer are left before the length (nothing
// is read), 1009 on a short read; the position advances by what was read.
uint32_t HandleRead(vkFileHandle* handle, void* buffer, uint64_t count);
// Writes [count] bytes: 1005 on a short write; the position advances by what
// was written and the length follows it.
uint32_t HandleWrite(vkFileHandle* handle, const void* buffer, uint64_t count);
// Moves to [position] (0..length, checked by the caller) from the start.
void HandleSeek(vkFileHandle* handle, uint64_t position);
