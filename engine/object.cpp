// Small object routines shared by the whole engine: the shared nil, type
// names, the integer logarithm, raw equality and long-string equality.
#include "engine/object.h"

#include <cstring>

constinit const vkValue vkNilObject = [] {
  vkValue nil;
  nil.tt = VK_TNIL;
  nil.v.p = nullptr;
  return nil;
}();

const char* const vkTypeNames[9] = {"nil",    "boolean",  "userdata", "number", "string",
                                    "table",  "function", "userdata", "thread"};

namespace {
// Entry i is floor(log2(i + 1)).
struct Log2Table {
  uint8_t v[256];
  constexpr Log2Table() : v() {
    for (int i = 0; i < 256; i++) {
      int x = i + 1, l = -1;
      while (x) {
        x >>= 1;
        l++;
      }
      v[i] = static_cast<uint8_t>(l);
    }
  }
};
constexpr Log2Table kLog2;
}  // namespace

int vmLog2(uint32_t x) {
  if (x == 0) return -1;
  int add = 0;
  if (x >= 0x1000000u) {
    add = 24;
    x >>= 24;
  } else if (x >= 0x10000u) {
    add = 16;
    x >>= 16;
  } else if (x >= 0x100u) {
    add = 8;
    x >>= 8;
  }
  return add + kLog2.v[x - 1];
}

int vmRawEqualObj(const vkValue* a, const vkValue* b) {
  if (a->tt != b->tt) return 0;
  switch (a->tt) {
    case VK_TNIL: return 1;
    case VK_TNUMBER: return a->v.n == b->v.n;
    case VK_TBOOLEAN: return a->v.b == b->v.b;
    case VK_TSTRING: return vmStringsEqual(vmStr(a), vmStr(b));
    default: return a->v.p == b->v.p;
  }
}

bool vmLongStringsEqual(const vkString* a, const vkString* b) {
  if ((a->shape & b->shape & VK_STRING_HASHED) && a->hash != b->hash) return false;
  return std::memcmp(a->data(), b->data(), a->len) == 0;
}
