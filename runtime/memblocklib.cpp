// The memblock library's commands and its list of blocks. Every range is
// checked in 64 bits before a byte moves (a 32-bit offset + count could
// wrap past the check), multi-byte values are stored most significant byte
// first, and new blocks are cleared so that no stale memory reaches scripts.
#include "runtime/memblocklib.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/objecthandles.h"
#include "engine/libraries.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "runtime/context.h"
#include "runtime/dosfiles.h"
#include "runtime/objectattributes.h"

namespace {

// Type codes of the values a block holds.
constexpr int32_t kTypeLong = 1;
constexpr int32_t kTypeString = 3;
constexpr int32_t kTypeShort = 6;
constexpr int32_t kTypeByte = 7;

std::list<vkMemBlock>& memBlocks(vkState* L) { return ProgramContext(L).memBlocks; }

int32_t checkInt(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }
int32_t optInt(vkState* L, int i, int32_t def) { return vkDoubleToInt32(vmOptNumber(L, i, def)); }

// Whether [count] bytes from [offset] lie inside [block].
bool fits(const vkMemBlock& block, int64_t offset, int64_t count) {
  return offset >= 0 && count >= 0 && offset + count <= block.size;
}

// Bytes of a LONG, SHORT or BYTE value; 0 for other types.
int valueBytes(int32_t type) { return type == kTypeLong ? 4 : type == kTypeShort ? 2 : type == kTypeByte ? 1 : 0; }

void storeBigEndian(uint8_t* p, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; i--, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

uint32_t loadBigEndian(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; i++) v = (v << 8) | p[i];
  return v;
}

bool isVisible(uint8_t c) { return c >= 0x20 && c < 0x7F; }

// Looks up the block named by argument [i]: 0, or the code the command
// returns.
uint32_t blockArg(vkState* L, int i, vkMemBlock** out) { return FindMemBlock(L, CheckObjectId(L, i), out); }

int cmdAllocMem(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkIdRequest request = OptObjectId(L, 1);
  int32_t size = checkInt(L, 2);
  if (!request.automatic) {
    vkObjectId id{request.number, nullptr};
    memBlocks(L).remove_if([&id](const vkMemBlock& b) { return b.id == id; });
  }
  if (size <= 0) return kErrOutOfMemory;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[static_cast<size_t>(size)]());
  if (!data) return kErrOutOfMemory;
  vkMemBlock& block = memBlocks(L).emplace_back();
  block.id = NewObjectId(request);
  block.size = size;
  block.data = std::move(data);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, block.id.handle);
  return 1;
}

int cmdFreeMem(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkMemBlock* block;
  if (uint32_t rc = blockArg(L, 1, &block)) return static_cast<int>(rc);
  memBlocks(L).remove_if([block](const vkMemBlock& b) { return &b == block; });
  return 0;
}

int cmdPoke(vkState* L) {
  CheckArgCount(L, 3, 4);
  vkMemBlock* block;
  if (uint32_t rc = blockArg(L, 1, &block)) return static_cast<int>(rc);
  int64_t offset = checkInt(L, 2);
  int32_t type = optInt(L, 4, kTypeLong);
  if (offset < 0) return kErrOffsetOutOfRange;
  if (type == kTypeString) {
    size_t len = 0;
    const char* s = vmCheckString(L, 3, &len);
    if (!fits(*block, offset, static_cast<int64_t>(len) + 1)) return kErrOffsetOutOfRange;
    std::memcpy(block->data.get() + offset, s, len);
    block->data[offset + len] = 0;
    return 0;
  }
  int bytes = valueBytes(type);
  if (bytes == 0) return kErrWrongUsage;
  uint32_t value = vmCheckUnsigned(L, 3);
  if (!fits(*block, offset, bytes)) return kErrOffsetOutOfRange;
  storeBigEndian(block->data.get() + offset, value, bytes);
  return 0;
}

int cmdPeek(vkState* L) {
  CheckArgCount(L, 2, 4);
  vkMemBlock* block;
  if (uint32_t rc = blockArg(L, 1, &block)) return static_cast<int>(rc);
  int64_t offset = checkInt(L, 2);
  int32_t type = optInt(L, 3, kTypeLong);
  int64_t length = optInt(L, 4, 0);
  if (offset < 0) return kErrOffsetOutOfRange;
  const uint8_t* data = block->data.get();
  if (type == kTypeString) {
    if (length < 0) return kErrWrongUsage;
    if (length == 0) {
      if (!fits(*block, offset, 1)) return kErrOffsetOutOfRange;
      int64_t end = offset;
      while (end < block->size && (isVisible(data[end]) || data[end] == 9 || data[end] == 10 || data[end] == 13))
        end++;
      length = end - offset;
    } else if (!fits(*block, offset, length)) {
      return kErrOffsetOutOfRange;
    }
    vmPushLString(L, reinterpret_cast<const char*>(data + offset), static_cast<size_t>(length));
    return 1;
  }
  int bytes = valueBytes(type);
  if (bytes == 0) return kErrWrongUsage;
  if (!fits(*block, offset, bytes)) return kErrOffsetOutOfRange;
  vmPushNumber(L, loadBigEndian(data + offset, bytes));
  return 1;
}

int cmdFillMem(vkState* L) {
  CheckArgCount(L, 3, 5);
  vkMemBlock* block;
  if (uint32_t rc = blockArg(L, 1, &block)) return static_cast<int>(rc);
  uint32_t value = vmCheckUnsigned(L, 2);
  int64_t count = checkInt(L, 3);
  int64_t offset = optInt(L, 4, 0);
  int32_t type = optInt(L, 5, kTypeByte);
  if (count < 1) return 0;
  if (offset < 0 || !fits(*block, offset, count)) return kErrOffsetOutOfRange;
  int bytes = valueBytes(type);
  if (bytes == 0 || offset % bytes != 0 || count % bytes != 0) return kErrWrongUsage;
  uint8_t* p = block->data.get() + offset;
  if (bytes == 1) {
    std::memset(p, static_cast<int>(value & 0xFF), static_cast<size_t>(count));
    return 0;
  }
  for (int64_t i = 0; i < count; i += bytes) storeBigEndian(p + i, value, bytes);
  return 0;
}

int cmdCopyMem(vkState* L) {
  CheckArgCount(L, 3, 5);
  vkMemBlock *source, *dest;
  if (uint32_t rc = blockArg(L, 1, &source)) return static_cast<int>(rc);
  if (uint32_t rc = blockArg(L, 2, &dest)) return static_cast<int>(rc);
  int64_t count = checkInt(L, 3);
  int64_t sourceOffset = optInt(L, 4, 0);
  int64_t destOffset = optInt(L, 5, 0);
  if (count < 1) return 0;
  if (sourceOffset < 0 || destOffset < 0) return kErrOffsetOutOfRange;
  if (source == dest) return kErrWrongUsage;
  if (!fits(*source, sourceOffset, count) || !fits(*dest, destOffset, count)) return kErrOffsetOutOfRange;
  std::memcpy(dest->data.get() + destOffset, source->data.get() + sourceOffset, static_cast<size_t>(count));
  return 0;
}

// The arguments ReadMem and WriteMem share: file handle, block, count and
// offset, looked up and checked in that order. A count below 1 gives 0 with
// *[count] 0 (nothing to move, nothing more checked).
uint32_t transferArgs(vkState* L, vkFileHandle** handle, vkMemBlock** block, int64_t* count, int64_t* offset) {
  CheckArgCount(L, 3, 4);
  if (uint32_t rc = FindFileHandle(L, CheckObjectId(L, 1), handle)) return rc;
  if (uint32_t rc = blockArg(L, 2, block)) return rc;
  *count = checkInt(L, 3);
  *offset = optInt(L, 4, 0);
  if (*count < 1) {
    *count = 0;
    return 0;
  }
  return *offset < 0 ? kErrWrongUsage : 0;
}

// Reads what the file gives; fewer bytes than asked for is a short read.
int cmdReadMem(vkState* L) {
  vkFileHandle* handle;
  vkMemBlock* block;
  int64_t count, offset;
  if (uint32_t rc = transferArgs(L, &handle, &block, &count, &offset)) return static_cast<int>(rc);
  if (count == 0) return 0;
  if (uint32_t rc = CheckReadable(handle)) return static_cast<int>(rc);
  if (!fits(*block, offset, count)) return kErrOffsetOutOfRange;
  uint8_t* p = block->data.get() + offset;
  uint64_t left = BytesLeft(handle);
  if (static_cast<uint64_t>(count) > left) {
    HandleRead(handle, p, left);
    return kErrShortRead;
  }
  return static_cast<int>(HandleRead(handle, p, static_cast<uint64_t>(count)));
}

int cmdWriteMem(vkState* L) {
  vkFileHandle* handle;
  vkMemBlock* block;
  int64_t count, offset;
  if (uint32_t rc = transferArgs(L, &handle, &block, &count, &offset)) return static_cast<int>(rc);
  if (count == 0) return 0;
  if (uint32_t rc = CheckWritable(handle)) return static_cast<int>(rc);
  if (!fits(*block, offset, count)) return kErrOffsetOutOfRange;
  return static_cast<int>(HandleWrite(handle, block->data.get() + offset, static_cast<uint64_t>(count)));
}

int cmdDumpMem(vkState* L) {
  CheckArgCount(L, 1, 3);
  vkMemBlock* block;
  if (uint32_t rc = blockArg(L, 1, &block)) return static_cast<int>(rc);
  int64_t length = optInt(L, 2, 0);
  int64_t offset = optInt(L, 3, 0);
  if (offset < 0) return kErrWrongUsage;
  if (length < 1) length = block->size;
  if (!fits(*block, offset, length)) return kErrOffsetOutOfRange;
  const uint8_t* data = block->data.get() + offset;
  for (int64_t line = 0; line < length; line += 16) {
    int64_t n = std::min<int64_t>(16, length - line);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.8x: ", static_cast<unsigned>(line));
    std::string text = buf;
    for (int64_t i = 0; i < n; i++) {
      std::snprintf(buf, sizeof buf, "%.2x ", data[line + i]);
      text += buf;
    }
    for (int64_t i = n; i < 16; i++) text += "   ";
    for (int64_t i = 0; i < n; i++) text += isVisible(data[line + i]) ? static_cast<char>(data[line + i]) : '.';
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  return 0;
}

}  // namespace

uint32_t FindMemBlock(vkState* L, const vkObjectId& id, vkMemBlock** out) {
  *out = nullptr;
  for (vkMemBlock& b : memBlocks(L)) {
    if (b.id == id) {
      *out = &b;
      return 0;
    }
  }
  if (id.handle) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoMemBlock;
}

int CountMemBlocks(vkState* L) { return static_cast<int>(memBlocks(L).size()); }

void FreeAllMemBlocks(vkState* L) { memBlocks(L).clear(); }

const vkCommandDef kMemBlockCommands[] = {
    {"AllocMem", cmdAllocMem}, {"FreeMem", cmdFreeMem}, {"Poke", cmdPoke},
    {"Peek", cmdPeek},         {"FillMem", cmdFillMem}, {"CopyMem", cmdCopyMem},
    {"ReadMem", cmdReadMem},   {"WriteMem", cmdWriteMem}, {"DumpMem", cmdDumpMem},
    {nullptr, nullptr},
};

namespace {

int32_t CountMemBlocksOf(vkState* L) { return CountMemBlocks(L); }

int QueryMemBlock(vkState* L, int32_t attribute) {
  vkMemBlock* block = nullptr;
  if (uint32_t code = FindMemBlock(L, CheckObjectId(L, 2), &block)) return int(code);
  if (attribute != ATTRSIZE) return kErrUnknownAttribute;
  vmPushNumber(L, block->size);
  return 1;
}

}  // namespace

int OpenMemBlockLibrary(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::MEMORY, {CountMemBlocksOf, QueryMemBlock});
  vmRegisterFunctions(L, nullptr, kMemBlockCommands, 0);
  return RegisterLibrary(L, kMemBlockCommands, "memblock");
}
