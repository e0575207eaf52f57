// Test-side bytecode reader: header check, then the records field by field
// in either byte order, every read bounds-checked.
#include "bytecode_dump.h"

#include <cstring>
#include <stdexcept>

namespace {

class Cursor {
 public:
  explicit Cursor(const std::vector<uint8_t>& b) : b_(b) {}
  uint8_t Byte() {
    if (pos_ >= b_.size()) throw std::runtime_error("bytecode cut short");
    return b_[pos_++];
  }
  uint64_t Raw(int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
      uint64_t byte = Byte();
      v |= little_ ? byte << (8 * i) : byte << (8 * (n - 1 - i));
    }
    return v;
  }
  int32_t Int() { return static_cast<int32_t>(Raw(4)); }
  uint32_t Count() {
    int32_t n = Int();
    if (n < 0 || static_cast<size_t>(n) > b_.size()) throw std::runtime_error("bad count");
    return static_cast<uint32_t>(n);
  }
  double Number() {
    uint64_t bits = Raw(8);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }
  std::optional<std::string> String() {
    uint32_t n = Count();
    if (n == 0) return std::nullopt;
    std::string s;
    for (uint32_t i = 0; i < n; ++i) s += static_cast<char>(Byte());
    if (s.back() != '\0') throw std::runtime_error("string without NUL");
    s.pop_back();
    return s;
  }
  std::string Present() {
    std::optional<std::string> s = String();
    if (!s) throw std::runtime_error("missing string");
    return *s;
  }
  void Header() {
    const uint8_t sig[] = {27, 'V', 'K', 'B'};
    for (uint8_t c : sig)
      if (Byte() != c) throw std::runtime_error("bad signature");
    uint8_t endian = Byte();
    if (endian > 1) throw std::runtime_error("bad endianness byte");
    little_ = endian == 1;
    const uint8_t sizes[] = {4, 4, 4, 6, 8, 9, 9, 8};
    for (uint8_t s : sizes)
      if (Byte() != s) throw std::runtime_error("bad size byte");
    if (Number() != 31415926.535897933) throw std::runtime_error("bad test number");
  }
  DumpFunction Record() {
    DumpFunction f;
    f.source = String();
    f.lineDefined = Int();
    f.numUpvalues = Byte();
    f.numParams = Byte();
    f.isVararg = Byte();
    f.maxStack = Byte();
    for (uint32_t n = Count(); n > 0; --n) f.lineInfo.push_back(Int());
    for (uint32_t n = Count(); n > 0; --n) {
      DumpFunction::Local l;
      l.name = Present();
      l.start = Int();
      l.end = Int();
      f.locals.push_back(l);
    }
    for (uint32_t n = Count(); n > 0; --n) f.upvalueNames.push_back(Present());
    for (uint32_t n = Count(); n > 0; --n) {
      DumpConstant k;
      k.type = Byte();
      if (k.type == 3) k.number = Number();
      else if (k.type == 4) k.text = Present();
      else if (k.type != 0) throw std::runtime_error("bad constant type");
      f.constants.push_back(k);
    }
    for (uint32_t n = Count(); n > 0; --n) f.nested.push_back(Record());
    for (uint32_t n = Count(); n > 0; --n) f.code.push_back(static_cast<uint32_t>(Raw(4)));
    return f;
  }
  bool AtEnd() const { return pos_ == b_.size(); }

 private:
  const std::vector<uint8_t>& b_;
  size_t pos_ = 0;
  bool little_ = false;
};

}  // namespace

DumpFunction ReadBytecode(const std::vector<uint8_t>& bytes) {
  Cursor c(bytes);
  c.Header();
  DumpFunction f = c.Record();
  if (!c.AtEnd()) throw std::runtime_error("bytes after the main record");
  return f;
}
