// The table and function records of the dos library. Writers build each
// record's bytes in memory and hand them to the file handle in pieces;
// readers take item by item from the handle, checking what is left first.
// Functions travel as the engine's bytecode, raw with a 32-bit length or as
// Base64 text with an 8-digit hexadecimal length.
#include "runtime/serialise.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/bytecode.h"
#include "engine/errors.h"
#include "engine/vmapi.h"
#include "runtime/dosfiles.h"
#include "base/errorcodes.h"

namespace {

constexpr char kTableMagic[4] = {'V', 'K', 'T', '0'};
constexpr char kRawFunctionMagic[4] = {'V', 'K', 'F', '0'};
constexpr char kTextFunctionMagic[4] = {'V', 'K', 'F', '1'};

// Item types of a table body: the script type codes of GetType.
enum : uint8_t { kItemEnd = 0, kItemNumber = 2, kItemString = 3, kItemTable = 4, kItemFunction = 5 };

constexpr size_t kBase64LineLength = 72;
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Bytes on their way to a handle; handed over whenever a piece is full and
// at the end, so that an error leaves what came before it in the file.
class RecordSink {
 public:
  explicit RecordSink(vkFileHandle* handle) : handle_(handle) {}
  void bytes(const void* p, size_t n) {
    buffer_.append(static_cast<const char*>(p), n);
  }
  void byte(uint8_t b) { buffer_.push_back(static_cast<char>(b)); }
  void u32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    bytes(b, 4);
  }
  void number(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    u32(static_cast<uint32_t>(bits >> 32));
    u32(static_cast<uint32_t>(bits));
  }
  // Hands a full piece over: 0 or the write's error.
  uint32_t spill() { return buffer_.size() >= kPiece ? flush() : 0; }
  uint32_t flush() {
    uint32_t code = HandleWrite(handle_, buffer_.data(), buffer_.size());
    buffer_.clear();
    return code;
  }

 private:
  static constexpr size_t kPiece = 64 * 1024;
  vkFileHandle* handle_;
  std::string buffer_;
};

int collectBytecode(vkState*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

std::string EncodeBase64Lines(const std::string& in) {
  std::string out;
  out.reserve(in.size() / 3 * 4 + in.size() / 54 + 8);
  size_t sinceBreak = 0;
  auto put = [&](char c) {
    if (sinceBreak == kBase64LineLength) {
      out.push_back('\n');
      sinceBreak = 0;
    }
    out.push_back(c);
    sinceBreak++;
  };
  const auto* p = reinterpret_cast<const uint8_t*>(in.data());
  size_t n = in.size();
  for (size_t i = 0; i < n; i += 3) {
    uint32_t group = uint32_t(p[i]) << 16;
    if (i + 1 < n) group |= uint32_t(p[i + 1]) << 8;
    if (i + 2 < n) group |= p[i + 2];
    put(kBase64Alphabet[(group >> 18) & 63]);
    put(kBase64Alphabet[(group >> 12) & 63]);
    put(i + 1 < n ? kBase64Alphabet[(group >> 6) & 63] : '=');
    put(i + 2 < n ? kBase64Alphabet[group & 63] : '=');
  }
  return out;
}

// Value of a Base64 character; "=" counts as 0; -1 for anything else.
int Base64Value(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  if (c == '=') return 0;
  return -1;
}

// Decodes [text]: control characters and blanks are skipped; a group with
// "=" third yields one byte, with "=" fourth two, and ends the data.
uint32_t DecodeBase64(const std::vector<uint8_t>& text, std::string* out) {
  out->clear();
  out->reserve(text.size() / 4 * 3);
  uint8_t group[4];
  int filled = 0;
  for (uint8_t c : text) {
    if (c < 33) continue;
    if (Base64Value(c) < 0) return kErrBase64;
    group[filled++] = c;
    if (filled < 4) continue;
    filled = 0;
    uint32_t bits = uint32_t(Base64Value(group[0])) << 18 | uint32_t(Base64Value(group[1])) << 12 |
                    uint32_t(Base64Value(group[2])) << 6 | uint32_t(Base64Value(group[3]));
    out->push_back(static_cast<char>(bits >> 16));
    if (group[2] == '=') return 0;
    out->push_back(static_cast<char>(bits >> 8));
    if (group[3] == '=') return 0;
    out->push_back(static_cast<char>(bits));
  }
  return filled == 0 ? 0 : kErrBase64;
}

// The function body of the function at stack [index] in either form, made
// whole before anything is written: a command cannot be dumped (1324).
uint32_t FunctionBody(vkState* L, int index, bool textForm, std::string* body) {
  std::string code;
  int status = vmDumpFunction(L, index, collectBytecode, &code);
  if (status != 0) return static_cast<uint32_t>(status);
  body->clear();
  if (!textForm) {
    const uint32_t n = static_cast<uint32_t>(code.size());
    const char length[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    body->append(length, 4);
    body->append(code);
    return 0;
  }
  std::string text = EncodeBase64Lines(code);
  char length[9];
  std::snprintf(length, sizeof length, "%.8lx", static_cast<unsigned long>(text.size()));
  body->append(length, 8);
  body->append(text);
  return 0;
}

// A table met again inside itself is a cycle the format cannot hold.
uint32_t WriteTableBody(vkState* L, int index, RecordSink* sink, bool textFunctions, vkTableWalk* walk) {
  if (!walk->Enter(L, index)) return kErrStackOverflow;
  vmPushNil(L);
  while (vmNext(L, index)) {
    int valueType = vmType(L, -1);
    if (valueType != VK_TNUMBER && valueType != VK_TSTRING && valueType != VK_TTABLE &&
        valueType != VK_TFUNCTION && valueType != VK_TLIGHTUSERDATA && valueType != VK_TUSERDATA) {
      vmSetTop(L, -2);
      continue;
    }
    std::string function;
    if (valueType == VK_TFUNCTION) {
      if (uint32_t code = FunctionBody(L, -1, textFunctions, &function)) {
        vmSetTop(L, -3);
        return code;
      }
    }
    int keyType = vmType(L, -2);
    if (keyType == VK_TNUMBER) {
      sink->byte(kItemNumber);
      sink->number(vmToNumber(L, -2));
    } else if (keyType == VK_TSTRING) {
      sink->byte(kItemString);
      sink->u32(static_cast<uint32_t>(vmStrLen(L, -2)));
      sink->bytes(vmToString(L, -2), vmStrLen(L, -2));
    } else {
      vmSetTop(L, -3);
      return kErrWrongUsage;
    }
    uint32_t code = 0;
    switch (valueType) {
      case VK_TNUMBER:
        sink->byte(kItemNumber);
        sink->number(vmToNumber(L, -1));
        break;
      case VK_TSTRING:
        sink->byte(kItemString);
        sink->u32(static_cast<uint32_t>(vmStrLen(L, -1)));
        sink->bytes(vmToString(L, -1), vmStrLen(L, -1));
        break;
      case VK_TTABLE:
        sink->byte(kItemTable);
        code = WriteTableBody(L, vmGetTop(L), sink, textFunctions, walk);
        break;
      case VK_TFUNCTION:
        sink->byte(kItemFunction);
        sink->bytes(function.data(), function.size());
        break;
      default:  // object handles are written as the number 0
        sink->byte(kItemNumber);
        sink->number(0.0);
        break;
    }
    vmSetTop(L, -2);
    if (code == 0) code = sink->spill();
    if (code != 0) {
      vmSetTop(L, -2);
      return code;
    }
  }
  sink->byte(kItemEnd);
  walk->Leave();
  return 0;
}

// Reading.

uint32_t ReadU32(vkFileHandle* handle, uint32_t* out) {
  uint8_t b[4];
  uint32_t code = HandleRead(handle, b, 4);
  if (code == 0) *out = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
  return code;
}

uint32_t ReadByte(vkFileHandle* handle, uint8_t* out) { return HandleRead(handle, out, 1); }

uint32_t PushNumber(vkState* L, vkFileHandle* handle) {
  uint32_t hi, lo;
  uint32_t code = ReadU32(handle, &hi);
  if (code == 0) code = ReadU32(handle, &lo);
  if (code != 0) return code;
  uint64_t bits = uint64_t(hi) << 32 | lo;
  double d;
  std::memcpy(&d, &bits, 8);
  vmPushNumber(L, d);
  return 0;
}

// Reads [length] bytes that must be left in the file, into [out].
template <typename Buffer>
uint32_t ReadExactly(vkFileHandle* handle, uint64_t length, Buffer* out) {
  if (length > BytesLeft(handle)) return kErrPastEnd;
  out->resize(length);
  return HandleRead(handle, out->data(), length);
}

uint32_t PushString(vkState* L, vkFileHandle* handle) {
  uint32_t length;
  uint32_t code = ReadU32(handle, &length);
  if (code != 0) return code;
  std::string text;
  code = ReadExactly(handle, length, &text);
  if (code == 0) vmPushLString(L, text.data(), text.size());
  return code;
}

bool IsHexDigit(uint8_t c) { return std::isxdigit(c) != 0; }

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

enum class FunctionForm { Raw, Text, Either };

// Reads a function body and pushes the function. Inside a table either form
// is accepted: a raw length whose four bytes are hexadecimal digits would
// exceed any file, so those bytes begin the text form's length.
uint32_t ReadFunctionData(vkState* L, vkFileHandle* handle, FunctionForm form) {
  uint8_t head[8];
  uint32_t code = HandleRead(handle, head, 4);
  if (code != 0) return code;
  uint64_t rawLength = uint64_t(head[0]) << 24 | uint64_t(head[1]) << 16 | uint64_t(head[2]) << 8 | head[3];
  if (form == FunctionForm::Either) {
    bool hex = std::all_of(head, head + 4, IsHexDigit);
    form = hex && rawLength > BytesLeft(handle) ? FunctionForm::Text : FunctionForm::Raw;
  }
  uint64_t length = rawLength;
  if (form == FunctionForm::Text) {
    code = HandleRead(handle, head + 4, 4);
    if (code != 0) return code;
    length = 0;
    for (uint8_t c : head) {
      if (!IsHexDigit(c)) break;
      length = length * 16 + HexValue(c);
    }
  }
  std::vector<uint8_t> data;
  code = ReadExactly(handle, length, &data);
  if (code != 0) return code;
  int status;
  if (form == FunctionForm::Text) {
    std::string bytecode;
    code = DecodeBase64(data, &bytecode);
    if (code != 0) return code;
    status = vmLoadBuffer(L, bytecode.data(), bytecode.size(), nullptr);
  } else {
    status = vmLoadBuffer(L, data.data(), data.size(), nullptr);
  }
  return static_cast<uint32_t>(status);
}

uint32_t ReadTableBody(vkState* L, vkFileHandle* handle, int depth) {
  if (depth >= kMaxTableNesting || !vmCheckStack(L, 3)) return kErrStackOverflow;
  vmNewTable(L);
  int table = vmGetTop(L);
  uint8_t type;
  for (;;) {
    uint32_t code = ReadByte(handle, &type);
    if (code != 0) return code;
    switch (type) {
      case kItemEnd: return 0;
      case kItemNumber: code = PushNumber(L, handle); break;
      case kItemString: code = PushString(L, handle); break;
      default: return kErrNoTableRecord;
    }
    if (code == 0) code = ReadByte(handle, &type);
    if (code != 0) return code;
    switch (type) {
      case kItemNumber: code = PushNumber(L, handle); break;
      case kItemString: code = PushString(L, handle); break;
      case kItemTable: code = ReadTableBody(L, handle, depth + 1); break;
      case kItemFunction: code = ReadFunctionData(L, handle, FunctionForm::Either); break;
      default: return kErrNoTableRecord;
    }
    if (code != 0) return code;
    vmSetTable(L, table);
  }
}

uint32_t ReadMagic(vkFileHandle* handle, char magic[4]) {
  uint32_t code = CheckReadable(handle);
  if (code == 0) code = HandleRead(handle, magic, 4);
  return code;
}

}  // namespace

uint32_t WriteTableRecord(vkState* L, int index, vkFileHandle* handle, bool textFunctions) {
  if (uint32_t code = CheckWritable(handle)) return code;
  if (index < 0 && index > VK_REGISTRYINDEX) index = vmGetTop(L) + index + 1;
  RecordSink sink(handle);
  sink.bytes(kTableMagic, 4);
  vkTableWalk walk;
  uint32_t code = WriteTableBody(L, index, &sink, textFunctions, &walk);
  uint32_t flushed = sink.flush();
  return code != 0 ? code : flushed;
}

uint32_t ReadTableRecord(vkState* L, vkFileHandle* handle) {
  char magic[4];
  if (uint32_t code = ReadMagic(handle, magic)) return code;
  if (std::memcmp(magic, kTableMagic, 4) != 0) return kErrNoTableRecord;
  return ReadTableBody(L, handle, 0);
}

uint32_t WriteFunctionRecord(vkState* L, int index, vkFileHandle* handle, bool textForm) {
  if (uint32_t code = CheckWritable(handle)) return code;
  std::string body;
  if (uint32_t code = FunctionBody(L, index, textForm, &body)) return code;
  RecordSink sink(handle);
  sink.bytes(textForm ? kTextFunctionMagic : kRawFunctionMagic, 4);
  sink.bytes(body.data(), body.size());
  return sink.flush();
}

uint32_t ReadFunctionRecord(vkState* L, vkFileHandle* handle) {
  char magic[4];
  if (uint32_t code = ReadMagic(handle, magic)) return code;
  if (std::memcmp(magic, kRawFunctionMagic, 4) == 0)
    return ReadFunctionData(L, handle, FunctionForm::Raw);
  if (std::memcmp(magic, kTextFunctionMagic, 4) == 0)
    return ReadFunctionData(L, handle, FunctionForm::Text);
  return kErrNoFunctionRecord;
}
