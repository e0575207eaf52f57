#include "serialisefuzz.h"

#include <string>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "runtime/dosfiles.h"
#include "runtime/serialise.h"
#include "tests/common/fuzzinput.h"

namespace {

// The codes a read may end in: success, the readers' own refusals, and what
// the bytecode loader or the engine gives for what the records hold.
bool MayGive(uint32_t code) {
  switch (static_cast<int32_t>(code)) {
    case 0:
    case kErrOutOfMemory:
    case kErrStackOverflow:
    case kErrUnexpectedEof:
    case kErrTypeMismatch:
    case kErrBadInteger:
    case kErrBadUpvalues:
    case kErrBadConstant:
    case kErrBadBytecode:
    case kErrBadSignature:
    case kErrNumberFormat:
    case kErrTableIndexNaN:
    case kErrPastEnd:
    case kErrNoFunctionRecord:
    case kErrBase64:
    case kErrNoTableRecord:
      return true;
    default:
      return false;
  }
}

struct Read {
  vkFileHandle* handle;
  bool function;
};

// Runs the read as a command, so that what the engine raises on the way
// (memory, a NaN key) ends the call with its code as it would in a script.
int ReadCommand(vkState* L) {
  const Read* read = static_cast<const Read*>(vmToUserdata(L, vmUpvalueIndex(1)));
  const uint32_t code = read->function ? ReadFunctionRecord(L, read->handle) : ReadTableRecord(L, read->handle);
  return code != 0 ? static_cast<int>(code) : vmGetTop(L);
}

uint32_t ReadWith(const std::string& path, bool function) {
  vkState* L = vmNewState();
  if (L == nullptr) __builtin_trap();
  vkFileHandle* handle = nullptr;
  if (OpenFileHandle(L, vkIdRequest{1, false}, path.c_str(), MODE_READ, &handle) != 0) __builtin_trap();
  Read read{handle, function};
  vmPushLightUserdata(L, &read);
  vmPushCClosure(L, ReadCommand, 1);
  const uint32_t code = static_cast<uint32_t>(vmPCall(L, 0, 1, 0));
  if (!MayGive(code)) __builtin_trap();
  if (handle->position > handle->length) __builtin_trap();
  if (code == 0 && vmType(L, -1) != (function ? VK_TFUNCTION : VK_TTABLE)) __builtin_trap();
  CloseAllFileHandles(L);
  vmCloseState(L);
  return code;
}

}  // namespace

vkSerialiseFuzzCodes FuzzSerialiseReaders(const uint8_t* data, size_t size) {
  const std::string path = fuzzinput::Write("record", data, size);
  vkSerialiseFuzzCodes codes;
  codes.table = ReadWith(path, false);
  codes.function = ReadWith(path, true);
  return codes;
}
