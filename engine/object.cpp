// Small object routines shared by the whole engine: the shared nil, type
// names, raw equality and long-string equality.
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
