// Engine test support: fixture, function serialiser and runners.
#include "vmtest.h"

#include <algorithm>
#include <cstring>

namespace vktest {

namespace {

struct Out {
  std::string bytes;
  bool big;
  void raw(const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); }
  void scalar(const void* p, size_t n) {
    unsigned char t[8];
    std::memcpy(t, p, n);
    if (big) std::reverse(t, t + n);
    raw(t, n);
  }
  void byte(int b) {
    char c = static_cast<char>(b);
    raw(&c, 1);
  }
  void i32(int32_t x) { scalar(&x, 4); }
  void num(double d) { scalar(&d, 8); }
  void str(const std::string* s) {
    if (!s) {
      i32(0);
      return;
    }
    i32(static_cast<int32_t>(s->size() + 1));
    raw(s->c_str(), s->size() + 1);
  }
  void fn(const Fn& f) {
    str(f.source.empty() ? nullptr : &f.source);
    i32(f.lineDefined);
    byte(f.nups);
    byte(f.numparams);
    byte(f.vararg);
    byte(f.maxstack);
    i32(static_cast<int32_t>(f.lines.size()));
    for (int l : f.lines) i32(l);
    i32(static_cast<int32_t>(f.locals.size()));
    for (const Local& l : f.locals) {
      str(&l.name);
      i32(l.start);
      i32(l.end);
    }
    i32(static_cast<int32_t>(f.upnames.size()));
    for (const std::string& u : f.upnames) str(&u);
    i32(static_cast<int32_t>(f.k.size()));
    for (const K& k : f.k) {
      byte(k.type);
      if (k.type == 3) num(k.n);
      if (k.type == 4) str(k.noString ? nullptr : &k.s);
    }
    i32(static_cast<int32_t>(f.p.size()));
    for (const Fn& p : f.p) fn(p);
    i32(static_cast<int32_t>(f.codeCount != INT64_MIN ? f.codeCount : static_cast<int64_t>(f.code.size())));
    for (uint32_t w : f.code) scalar(&w, 4);
  }
};

int collect(vkState*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

}  // namespace

std::string Serialize(const Fn& f, bool bigEndian) {
  Out o{{}, bigEndian};
  o.raw("\x1bVKB", 4);
  o.byte(bigEndian ? 0 : 1);
  const unsigned char sizes[8] = {4, 4, 4, 6, 8, 9, 9, 8};
  o.raw(sizes, 8);
  o.num(31415926.535897933);
  o.fn(f);
  return o.bytes;
}

std::string DumpTop(vkState* L) {
  std::string out;
  vmDumpFunction(L, -1, collect, &out);
  return out;
}

int Load(vkState* L, const Fn& f) {
  std::string bytes = Serialize(f);
  return vmLoadBuffer(L, bytes.data(), bytes.size(), "=test");
}

int RunFn(vkState* L, const Fn& f, int nresults) {
  int status = Load(L, f);
  if (status != 0) return status;
  return vmPCall(L, 0, nresults, 0);
}

void EngineTest::SetUp() {
  L = vmNewState();  // a fresh engine: its own error record, GOSUB stack and libraries
  ASSERT_NE(L, nullptr);
}

void EngineTest::TearDown() {
  if (L) vmCloseState(L);
}

void SetGlobalCommand(vkState* L, const char* name, vkCFunction fn) {
  vmPushString(L, name);
  vmPushCClosure(L, fn, 0);
  vmSetTable(L, VK_GLOBALSINDEX);
}

double GlobalNumber(vkState* L, const char* name) {
  vmPushString(L, name);
  vmRawGet(L, VK_GLOBALSINDEX);
  double d = vmToNumber(L, -1);
  vmSetTop(L, -2);
  return d;
}

}  // namespace vktest

#include "engine/strings.h"
#include "tools/vkasm/vkasm.h"

namespace vktest {

std::vector<uint8_t> AssembleListing(const std::string& listing, bool littleEndian) {
  return vkasm::Assemble(listing, "test.vkasm", littleEndian);
}

std::string ResultsText(vkState* L, int from) {
  std::string out;
  for (int j = from; j <= vmGetTop(L); j++) {
    if (!out.empty()) out += ' ';
    const vkValue* v = L->base + (j - 1);
    switch (v->tt) {
      case VK_TNIL: out += "nil"; break;
      case VK_TNUMBER: {
        char buf[kNumberTextMax];
        vmNumberToText(v->v.n, buf);
        out += buf;
        break;
      }
      case VK_TSTRING: out += "\"" + std::string(vmStr(v)->data(), vmStr(v)->len) + "\""; break;
      case VK_TBOOLEAN: out += v->v.b ? "true" : "false"; break;
      default: out += vkTypeNames[v->tt]; break;
    }
  }
  return out;
}

int RunListing(vkState* L, const std::string& listing, std::string* out) {
  std::vector<uint8_t> bytes = AssembleListing(listing);
  int top = vmGetTop(L);
  int status = vmLoadBuffer(L, bytes.data(), bytes.size(), "=listing");
  if (status == 0) status = vmPCall(L, 0, VK_MULTRET, 0);
  if (out) *out = status == 0 ? ResultsText(L, top + 1) : "";
  vmSetTop(L, top);
  return status;
}

}  // namespace vktest
