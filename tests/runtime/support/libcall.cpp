// Calls library commands by name and describes their results as text.
#include "libcall.h"

#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/strings.h"
#include "engine/vmapi.h"

namespace vktest {
namespace {

std::string describe(vkState* L, int idx);

std::string describeTable(vkState* L, int idx) {
  std::string out = "{";
  for (int k = 0;; k++) {
    vmPushNumber(L, k);
    vmRawGet(L, idx);
    if (vmType(L, -1) == VK_TNIL) {
      vmSetTop(L, -2);
      break;
    }
    if (k > 0) out += ", ";
    out += describe(L, vmGetTop(L));
    vmSetTop(L, -2);
  }
  return out + "}";
}

std::string describe(vkState* L, int idx) {
  switch (vmType(L, idx)) {
    case VK_TNIL: return "nil";
    case VK_TNUMBER: {
      char buf[kNumberTextMax];
      return std::string(buf, static_cast<size_t>(vmNumberToText(vmToNumber(L, idx), buf)));
    }
    case VK_TSTRING: return "\"" + std::string(vmToString(L, idx), vmStrLen(L, idx)) + "\"";
    case VK_TTABLE: return describeTable(L, idx);
    case VK_TLIGHTUSERDATA: return "handle";
    default: return "?";
  }
}

}  // namespace

void LibraryTest::OpenLibrary(vkLibraryOpener opener) {
  ErrorInfo() = vkErrorInfo{};
  L = vmNewState();
  ASSERT_NE(L, nullptr);
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(opener(L), 0);
  vmSetTop(L, 0);
}

void LibraryTest::TearDown() {
  if (L) vmCloseState(L);
}

std::string LibraryTest::Call(const std::string& command, const std::vector<Arg>& args) {
  vmSetTop(L, 0);
  // Scripts reach commands by lower-cased names, whatever case they were written in.
  std::string name = LowerCased(command.c_str());
  vmPushLString(L, name.data(), name.size());
  vmGetTable(L, VK_GLOBALSINDEX);
  for (const Arg& a : args) {
    switch (a.kind) {
      case Arg::Number: vmPushNumber(L, a.number); break;
      case Arg::String: vmPushLString(L, a.text.data(), a.text.size()); break;
      case Arg::Nil: vmPushNil(L); break;
      case Arg::Table: vmNewTable(L); break;
      case Arg::Pointer: vmPushLightUserdata(L, a.pointer); break;
      case Arg::Function: vmPushCClosure(L, a.callback, 0); break;
      case Arg::Global:
        vmPushString(L, a.text.c_str());
        vmGetTable(L, VK_GLOBALSINDEX);
        break;
    }
  }
  int code = vmPCall(L, static_cast<int>(args.size()), VK_MULTRET, 0);
  if (code != 0) return "error " + std::to_string(code);
  std::string out;
  for (int i = 1, n = vmGetTop(L); i <= n; i++) {
    if (i > 1) out += ", ";
    out += describe(L, i);
  }
  return out;
}

void LibraryTest::RunCases(const std::vector<CallCase>& cases) {
  for (const CallCase& c : cases) {
    std::string trace = c.command;
    trace += "(";
    for (size_t i = 0; i < c.args.size(); i++) {
      if (i > 0) trace += ", ";
      const Arg& a = c.args[i];
      switch (a.kind) {
        case Arg::Number: trace += std::to_string(a.number); break;
        case Arg::String: trace += "\"" + a.text + "\""; break;
        case Arg::Nil: trace += "nil"; break;
        case Arg::Table: trace += "{}"; break;
        case Arg::Pointer: trace += "handle"; break;
        case Arg::Function: trace += "function"; break;
        case Arg::Global: trace += a.text; break;
      }
    }
    trace += ")";
    SCOPED_TRACE(trace);
    EXPECT_EQ(Call(c.command, c.args), c.outcome);
  }
}

}  // namespace vktest
