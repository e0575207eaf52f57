// The dos library's file handle list and the checked transfers every file
// command and the table and function records go through. The I/O mode picks
// the buffered or the direct entry points of the file layer.
#include "runtime/dosfiles.h"

#include <algorithm>

#include "engine/objecthandles.h"
#include "base/errorinfo.h"
#include "runtime/context.h"
#include "base/errorcodes.h"

vkDosObjects& DosObjects(vkState* L) { return ProgramContext(L).dos; }

uint32_t FindFileHandle(vkState* L, const vkObjectId& id, vkFileHandle** out) {
  *out = nullptr;
  for (vkFileHandle& h : DosObjects(L).files) {
    if (h.id == id) {
      *out = &h;
      return 0;
    }
  }
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoFileHandle;
}

uint32_t OpenFileHandle(vkState* L, const vkIdRequest& request, const char* name, int32_t scriptMode,
                        vkFileHandle** out) {
  *out = nullptr;
  std::list<vkFileHandle>& files = DosObjects(L).files;
  if (!request.automatic) {
    vkObjectId id{request.number, nullptr};
    files.remove_if([&id](const vkFileHandle& h) { return h.id == id; });
  }
  int streamMode = scriptMode == MODE_WRITE ? VKFILE_WRITE : scriptMode == MODE_READWRITE ? VKFILE_UPDATE : VKFILE_READ;
  SetErrorText(name);
  vkFilePtr stream = OpenStream(name, streamMode);
  if (!stream) return kErrCannotRead;
  SeekStream(stream.get(), 0, VKSEEK_END);
  int64_t end = SeekStream(stream.get(), 0, VKSEEK_START);
  vkFileHandle& h = files.emplace_back();
  h.ioMode = &DosObjects(L).ioMode;
  h.id = NewObjectId(request);
  h.scriptMode = scriptMode;
  h.streamMode = streamMode;
  h.length = end > 0 ? static_cast<uint64_t>(end) : 0;
  h.stream = std::move(stream);
  *out = &h;
  return 0;
}

void CloseFileHandle(vkState* L, vkFileHandle* handle) {
  DosObjects(L).files.remove_if([handle](const vkFileHandle& h) { return &h == handle; });
}

void CloseAllFileHandles(vkState* L) { DosObjects(L).files.clear(); }

int CountFileHandles(vkState* L) { return static_cast<int>(DosObjects(L).files.size()); }

uint32_t CheckReadable(const vkFileHandle* handle) {
  return handle->streamMode == VKFILE_WRITE ? kErrWriteOnly : 0;
}

uint32_t CheckWritable(const vkFileHandle* handle) {
  return handle->streamMode == VKFILE_READ ? kErrReadOnly : 0;
}

uint32_t ModeRead(int32_t ioMode, vkFile* file, void* buffer, uint32_t count) {
  return ioMode == IO_UNBUFFERED ? ReadStreamBytes(file, buffer, count) : ReadStream(file, buffer, count);
}

uint32_t ModeWrite(int32_t ioMode, vkFile* file, const void* buffer, uint32_t count) {
  return ioMode == IO_UNBUFFERED ? WriteStreamBytes(file, buffer, count) : WriteStream(file, buffer, count);
}

uint64_t BytesLeft(const vkFileHandle* handle) {
  return handle->position < handle->length ? handle->length - handle->position : 0;
}

// The file layer moves at most 2^32 - 1 bytes a call.
static constexpr uint64_t kMaxPiece = 1u << 30;

uint32_t HandleRead(vkFileHandle* handle, void* buffer, uint64_t count) {
  if (count > BytesLeft(handle)) return kErrPastEnd;
  char* p = static_cast<char*>(buffer);
  while (count > 0) {
    uint32_t piece = static_cast<uint32_t>(std::min(count, kMaxPiece));
    uint32_t got = ModeRead(*handle->ioMode, handle->stream.get(), p, piece);
    handle->position += got;
    if (got != piece) return kErrShortRead;
    p += piece;
    count -= piece;
  }
  return 0;
}

uint32_t HandleWrite(vkFileHandle* handle, const void* buffer, uint64_t count) {
  const char* p = static_cast<const char*>(buffer);
  uint32_t code = 0;
  while (count > 0) {
    uint32_t piece = static_cast<uint32_t>(std::min(count, kMaxPiece));
    uint32_t put = ModeWrite(*handle->ioMode, handle->stream.get(), p, piece);
    handle->position += put;
    if (put != piece) {
      code = kErrShortWrite;
      break;
    }
    p += piece;
    count -= piece;
  }
  handle->length = std::max(handle->length, handle->position);
  return code;
}

void HandleSeek(vkFileHandle* handle, uint64_t position) {
  SeekStream(handle->stream.get(), static_cast<int64_t>(position), VKSEEK_START);
  handle->position = position;
}
