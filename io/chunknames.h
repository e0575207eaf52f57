// Linked files: files and fonts linked into an applet are named by ":::chunk"
// names wherever a file name is accepted. A file chunk names a byte range of a
// container file; a memory chunk names data registered in this process under
// a key, so that no name can reach memory that was not handed out. This unit
// builds and parses the names, resolves a script's file name to one, and
// locks and examines them as if they were files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/vkos_files.h"

// A file or font linked into the applet; fonts are named "::font:" + name.
struct vkLinkedFile {
  std::string name;
  int32_t offset = 0;  // of the data in the container; -1: the data is in memory
  uint32_t size = 0;
  std::string container;  // the applet holding the data; empty: the script
};

// A parsed chunk name.
struct vkChunkName {
  bool inMemory = false;
  int64_t offset = 0;                // file form: absolute offset in the container
  int32_t key = 0;                   // memory form: registry key
  int64_t size = 0;                  // bytes of data
  std::string_view name;             // the linked file's own name (what messages show)
  std::string_view container;        // file form: container path
  const uint8_t* memory = nullptr;   // memory form: the registered data
};

inline constexpr char kChunkPrefix[] = ":::chunk";
inline constexpr size_t kChunkPrefixLength = 8;

// True when [text] begins with ":::chunk".
bool IsChunkName(const char* text);

// Parses [text]: ":::chunk" offset ":" size "*" name "/" container, or
// ":::chunkS" key ":" size "*" name "/" key in hexadecimal. A memory chunk
// must name a registered key whose data holds at least the size. False for
// anything else; [out] then holds nothing useful. [out] points into [text].
bool ResolveChunkName(const char* text, vkChunkName* out);

// Builds the chunk name of a linked file: the file form with the absolute
// offset [offset] + [appletOffset], or, when [offset] is -1, the memory form
// for the data registered under the key [appletOffset]. The name part is the
// file part of [name].
std::string MakeChunkName(const char* name, int64_t offset, int64_t size, int64_t appletOffset,
                          const char* container);

// Registers [size] bytes at [data] (owned by the caller, kept alive until
// unregistered) as a memory chunk; returns its key (1 and up).
int32_t RegisterMemoryChunk(const uint8_t* data, size_t size);
void UnregisterMemoryChunk(int32_t key);

// Registration for the lifetime of an object.
class vkMemoryChunk {
 public:
  vkMemoryChunk(const uint8_t* data, size_t size) : key_(RegisterMemoryChunk(data, size)) {}
  ~vkMemoryChunk() { UnregisterMemoryChunk(key_); }
  vkMemoryChunk(const vkMemoryChunk&) = delete;
  vkMemoryChunk& operator=(const vkMemoryChunk&) = delete;
  int32_t key() const { return key_; }

 private:
  int32_t key_;
};

// Looks [fileName] up in [files]. With [fontFlag] set, a name ending in
// ".ttf" or ".otf" is looked up as a plain file, a name ending in ".font" as
// a font without that ending, any other name as a font. Names compare without
// regard to case. No match: [fileName] itself. A match: its chunk name (the
// container is the entry's own, or [scriptPath] when that is empty), built in
// [result] and valid until [result] changes; *[outFontFlag] becomes [fontFlag] (0 for ".ttf" and
// ".otf" names). An entry whose data lies in memory (offset -1) gets a memory
// name that names no registered data.
const char* ResolveLinkedFileIn(std::string& result, std::span<const vkLinkedFile> files, int64_t appletOffset,
                                const char* scriptPath, const char* fileName, int fontFlag, int* outFontFlag);


// A lock on a file, a directory or a linked file (no platform lock).
struct vkChunkLock {
  vkOSLockPtr lock;  // NULL for a chunk name
  std::string name;  // the name as locked
};

void ChunkUnLock(vkChunkLock* lock);
struct vkChunkLockDeleter {
  void operator()(vkChunkLock* lock) const { ChunkUnLock(lock); }
};
using vkChunkLockPtr = std::unique_ptr<vkChunkLock, vkChunkLockDeleter>;

// Locks [name]: a valid chunk name without the platform, anything else
// through vkosLockFile. NULL when the name or the lock is refused.
vkChunkLockPtr ChunkLock(const char* name, int mode);
// A chunk lock describes a file of the chunk's size, protection 15, no entry
// name and the date 16 September 1982, 00:00 local time; 0. Others:
// vkosExamineLock.
int ChunkExamine(vkChunkLock* lock, vkFileInfo* info);
// A chunk lock is not a directory: 1250 with its name as error text. Others:
// vkosBeginDirScan.
int ChunkExamineDir(vkChunkLock* lock, int* isDirectory);
// vkosExamineNext on the platform lock; 0 for a chunk lock.
int ChunkExamineNext(vkChunkLock* lock, const char** name, int* isDirectory, vkFileInfo* info);
// The full path of the lock into [buffer] of [size] bytes: a platform lock's
// path, or for a chunk the current directory, "/" and the linked file's name
// ("unknown" when it has none). 1, or 0 when the current directory cannot be
// locked or the path does not fit.
int ChunkLockPath(vkChunkLock* lock, char* buffer, size_t size);
