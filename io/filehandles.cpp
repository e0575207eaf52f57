// Buffered file handles over C streams, with the handle's own position so
// that a linked file inside a container reads as a file of its own. Every
// chunk read is clamped to the chunk, so a handle never reads past its data.
#include "io/filehandles.h"

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "platform/vkos_files.h"
#include "io/chunknames.h"
#include "base/paths.h"

namespace {


bool OpenChunk(vkFile* file, const char* name) {
  vkChunkName chunk;
  if (!ResolveChunkName(name, &chunk)) return false;
  file->isChunk = 1;
  file->size = chunk.size;
  if (chunk.inMemory) {
    file->memoryBase = chunk.memory;
    return true;
  }
  file->chunkBase = chunk.offset;
  std::string container(chunk.container);
  file->stream = std::fopen(vkosToFileSystemPath(container.c_str()).c_str(), "rbe");
  return file->stream && fseeko(file->stream, file->chunkBase, SEEK_SET) == 0;
}

bool OpenFile(vkFile* file, const char* name, int mode) {
  std::string fsPath = vkosToFileSystemPath(name);
  const char* modeText = mode == VKFILE_WRITE ? "wbe" : mode == VKFILE_UPDATE ? "r+be" : "rbe";
  file->stream = std::fopen(fsPath.c_str(), modeText);
  if (!file->stream && mode == VKFILE_UPDATE) {
    if (FILE* created = std::fopen(fsPath.c_str(), "wbe")) {
      std::fclose(created);
      file->stream = std::fopen(fsPath.c_str(), modeText);
    }
  }
  if (!file->stream) return false;
  // The C library opens a directory for reading too; it is no file to read.
  struct stat st;
  if (fstat(fileno(file->stream), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (mode != VKFILE_WRITE && mode != VKFILE_UPDATE) {
    if (fseeko(file->stream, 0, SEEK_END) != 0) return false;
    file->size = ftello(file->stream);
    if (file->size < 0 || fseeko(file->stream, 0, SEEK_SET) != 0) return false;
  } else {
    file->size = -1;
  }
  return true;
}

// A read after a write (or a write after a read) needs a positioning call.
void SwitchDirection(vkFile* file, bool toWrite) {
  if (file->lastOpWrite != (toWrite ? 1u : 0u)) {
    if (file->stream) fseeko(file->stream, 0, SEEK_CUR);
    file->lastOpWrite = toWrite ? 1 : 0;
  }
}

}  // namespace

vkFilePtr OpenStream(const char* name, int mode) {
  vkFilePtr file(new vkFile);
  if (IsChunkName(name)) {
    if (mode == VKFILE_WRITE || mode == VKFILE_UPDATE) return nullptr;
    if (!OpenChunk(file.get(), name)) return nullptr;
  } else if (!OpenFile(file.get(), name, mode)) {
    return nullptr;
  }
  return file;
}

int CloseStream(vkFile* file) {
  if (!file) return 1;
  int ok = 1;
  if (file->stream && std::fclose(file->stream) != 0) ok = 0;
  delete file;
  return ok;
}

int64_t SeekStream(vkFile* file, int64_t offset, int whence) {
  int64_t previous = file->position;
  int64_t base = file->chunkBase;
  int64_t from;
  switch (whence) {
    case VKSEEK_START: from = base; break;
    case VKSEEK_CURRENT: from = base + file->position; break;
    case VKSEEK_END:
      if (file->size == -1) {
        if (file->stream && fseeko(file->stream, offset, SEEK_END) == 0) {
          file->lastOpWrite = 0;
          file->position = ftello(file->stream) - base;
        }
        return previous;
      }
      from = base + file->size;
      break;
    default: from = 0; break;
  }
  int64_t target;
  if (__builtin_add_overflow(from, offset, &target)) return previous;
  if (file->isChunk) {
    if (target > base + file->size) target = base + file->size;
    if (target < base) target = base;
  }
  if (file->stream && fseeko(file->stream, target, SEEK_SET) != 0) return previous;
  file->lastOpWrite = 0;
  file->position = target - base;
  return previous;
}

uint32_t ReadStream(vkFile* file, void* buffer, uint32_t count) {
  SwitchDirection(file, false);
  uint32_t n = count;
  if (file->isChunk) {
    int64_t left = file->size - file->position;
    if (left < 0) left = 0;
    if (n > left) n = static_cast<uint32_t>(left);
  }
  uint32_t got;
  if (file->memoryBase) {
    std::memcpy(buffer, file->memoryBase + file->position, n);
    got = n;
  } else {
    got = file->stream ? static_cast<uint32_t>(std::fread(buffer, 1, n, file->stream)) : 0;
  }
  file->position += got;
  if (got < count) file->pastEnd = 1;
  return got;
}

uint32_t ReadStreamBytes(vkFile* file, void* buffer, uint32_t count) {
  return ReadStream(file, buffer, count);
}

int ReadStreamByte(vkFile* file) {
  SwitchDirection(file, false);
  int byte;
  if (file->isChunk && file->position >= file->size) byte = -1;
  else if (file->memoryBase) byte = file->memoryBase[file->position];
  else byte = file->stream ? getc_unlocked(file->stream) : -1;  // one thread per handle
  if (byte < 0) {
    file->pastEnd = 1;
    return -1;
  }
  file->position++;
  return byte;
}

uint32_t WriteStream(vkFile* file, const void* buffer, uint32_t count) {
  if (!file->stream || file->isChunk) return 0;
  SwitchDirection(file, true);
  uint32_t written = static_cast<uint32_t>(std::fwrite(buffer, 1, count, file->stream));
  file->position += written;
  return written;
}

uint32_t WriteStreamBytes(vkFile* file, const void* buffer, uint32_t count) {
  return WriteStream(file, buffer, count);
}

int WriteStreamByte(vkFile* file, int byte) {
  if (!file->stream || file->isChunk) return EOF;
  SwitchDirection(file, true);
  int result = putc_unlocked(byte, file->stream);
  if (result != EOF) file->position++;
  return result;
}

int FlushStream(vkFile* file) {
  if (file->stream) std::fflush(file->stream);
  return 1;
}

int StreamAtEnd(const vkFile* file) { return file->position >= file->size ? 1 : 0; }
