// Test support for the engine: an engine fixture, a function description
// serialised into ESC "VKB" bytes (either byte order) without the engine's
// writer, and helpers to load and run such functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/bytecode.h"
#include "engine/call.h"
#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/interpreter.h"
#include "engine/opcodes.h"
#include "engine/state.h"
#include "engine/vmapi.h"

namespace vktest {

// A constant: type 0 nil, 3 number, 4 string.
struct K {
  int type;
  double n = 0;
  std::string s;
  bool noString = false;  // a string constant written with length 0
};
inline K kNum(double d) { return {3, d, {}}; }
inline K kStr(std::string s) { return {4, 0, std::move(s)}; }
inline K kNil() { return {0, 0, {}}; }

struct Local {
  std::string name;
  int start, end;
};

struct Fn {
  std::string source;  // empty: none
  int lineDefined = 0;
  int nups = 0;
  int numparams = 0;
  int vararg = 0;
  int maxstack = 16;
  std::vector<int> lines;
  std::vector<Local> locals;
  std::vector<std::string> upnames;
  std::vector<K> k;
  std::vector<Fn> p;
  std::vector<uint32_t> code;
  int64_t codeCount = INT64_MIN;  // written instead of the code's size when set
};

// RK operand naming constant [i].
inline int RK(int i) { return kRKConstant + i; }
inline uint32_t ABC(int op, int a, int b, int c) { return vmCreateABC(op, a, b, c); }
inline uint32_t ABx(int op, int a, int bx) { return vmCreateABx(op, a, bx); }
inline uint32_t AsBx(int op, int a, int sbx) { return vmCreateAsBx(op, a, sbx); }
inline uint32_t JMP(int offset, int flag = 0) { return vmCreateJump(offset, flag); }
// RETURN of registers A .. A+n-1.
inline uint32_t RET(int a, int n) { return ABC(OP_RETURN, a, n + 1, 0); }

// The bytes of [f] with a header; [bigEndian] false writes the little-endian form.
std::string Serialize(const Fn& f, bool bigEndian = true);
// The bytes the writer produces for the function at the top of the stack.
std::string DumpTop(vkState* L);

// Loads [f] and pushes its closure; returns the status.
int Load(vkState* L, const Fn& f);
// Loads and calls [f] protected with no arguments; results stay on the stack.
int RunFn(vkState* L, const Fn& f, int nresults = VK_MULTRET);

// A fresh engine per test; the GOSUB stack and error record are reset.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  vkState* L = nullptr;
};

// Registers [fn] as global [name].
void SetGlobalCommand(vkState* L, const char* name, vkCFunction fn);
double GlobalNumber(vkState* L, const char* name);

}  // namespace vktest

namespace vktest {
// Assembles [listing] with the bytecode assembler, runs it protected and
// writes its results as text into [out] ("3 \"a\" nil"); returns the status.
int RunListing(vkState* L, const std::string& listing, std::string* out);
// The results from stack index [from] to the top as text.
std::string ResultsText(vkState* L, int from);
std::vector<uint8_t> AssembleListing(const std::string& listing, bool littleEndian = false);
}  // namespace vktest
