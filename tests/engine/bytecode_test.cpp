// The bytecode format: the writer's exact header, both byte orders, the
// reader's header and record errors, every verifier rule (and the rules the
// verifier adds so that the interpreter can trust loaded code), and the
// writer agreeing byte for byte with the assembler.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "support/vmtest.h"

namespace {

using namespace vktest;

std::string hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

int loadBytes(vkState* L, const std::string& bytes) {
  int status = vmLoadBuffer(L, bytes.data(), bytes.size(), "=bytes");
  if (status == 0) vmSetTop(L, -2);
  return status;
}

Fn simple() {
  Fn f;
  f.maxstack = 4;
  f.k = {kNum(1), kStr("g")};
  f.code = {ABx(OP_LOADK, 0, 0), RET(0, 1)};
  return f;
}

TEST_F(EngineTest, WriterHeaderIsExact) {
  ASSERT_EQ(Load(L, simple()), 0);
  std::string bytes = DumpTop(L);
  EXPECT_EQ(hex(bytes.substr(0, 21)), "1B 56 4B 42 00 04 04 04 06 08 09 09 08 41 7D F5 E7 68 93 09 B6");
}

TEST_F(EngineTest, LittleEndianFilesLoadAndRun) {
  Fn f = simple();
  f.k = {kNum(-2.5), kStr("text")};
  f.lines = {7, 8};
  std::string little = Serialize(f, false);
  ASSERT_EQ(vmLoadBuffer(L, little.data(), little.size(), "=le"), 0);
  EXPECT_EQ(DumpTop(L), Serialize(f, true));  // the writer writes big-endian
  ASSERT_EQ(vmPCall(L, 0, 1, 0), 0);
  EXPECT_EQ(vmToNumber(L, -1), -2.5);
}

TEST_F(EngineTest, HeaderErrors) {
  const std::string good = Serialize(simple());
  struct Case {
    const char* name;
    std::string bytes;
    int code;
  };
  auto patched = [&](size_t at, char c) {
    std::string b = good;
    b[at] = c;
    return b;
  };
  std::vector<Case> cases = {
      {"empty", "", kErrUnexpectedEof},
      {"cut signature", good.substr(0, 3), kErrUnexpectedEof},
      {"not bytecode", "print(1)", kErrBadSignature},
      {"bad signature byte", patched(3, 'X'), kErrBadSignature},
      {"cut header", good.substr(0, 10), kErrUnexpectedEof},
      {"int size", patched(5, 8), kErrTypeMismatch},
      {"instruction size 8", patched(7, 8), kErrTypeMismatch},
      {"opcode bits", patched(8, 7), kErrTypeMismatch},
      {"number size", patched(12, 4), kErrTypeMismatch},
      {"test number", patched(13, 0x42), kErrNumberFormat},
      {"cut in the code", good.substr(0, good.size() - 2), kErrUnexpectedEof},
  };
  for (const Case& c : cases) EXPECT_EQ(loadBytes(L, c.bytes), c.code) << c.name;
  EXPECT_EQ(vmGetTop(L), 0);
}

TEST_F(EngineTest, RecordErrors) {
  struct Case {
    const char* name;
    Fn f;
    int code;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, auto change, int code) {
    Fn f = simple();
    change(f);
    cases.push_back({name, f, code});
  };
  add("negative line defined", [](Fn& f) { f.lineDefined = -1; }, kErrBadInteger);
  add("negative start pc", [](Fn& f) { f.locals = {{"x", -1, 2}}; }, kErrBadInteger);
  add("negative code count", [](Fn& f) { f.codeCount = -5; }, kErrBadInteger);
  add("upvalue names differ", [](Fn& f) { f.upnames = {"a"}; }, kErrBadUpvalues);
  add("constant type 1", [](Fn& f) { f.k.push_back({1, 0, {}}); }, kErrBadConstant);
  add("string constant of length 0", [](Fn& f) { f.k[1].noString = true; }, kErrBadConstant);
  add("code count beyond the input", [](Fn& f) { f.codeCount = 0x7FFFFFFF; }, kErrUnexpectedEof);
  add("line count beyond the input", [](Fn& f) { f.lines = {1, 1}; f.code.clear(); f.codeCount = 0; },
      kErrBadBytecode);
  for (const Case& c : cases) EXPECT_EQ(Load(L, c.f), c.code) << c.name;

  // Nested function records are capped in depth.
  Fn deep = simple();
  for (int j = 0; j < kMaxFunctionNesting; j++) {
    Fn outer = simple();
    outer.p = {deep};
    deep = outer;
  }
  EXPECT_EQ(Load(L, deep), kErrBadBytecode);
  EXPECT_EQ(vmGetTop(L), 0);
}

TEST_F(EngineTest, VerifierRejects) {
  struct Case {
    const char* name;
    std::vector<uint32_t> code;
    int maxstack = 4;
    int nups = 0;
    std::vector<int> lines = {};
    int nestedUps = -1;  // adds a nested function with that many upvalues
  };
  const uint32_t ret = RET(0, 0);
  std::vector<Case> cases = {
      {"stack size 251", {ret}, 251},
      {"line info count", {ABx(OP_LOADK, 0, 0), ret}, 4, 0, {1}},
      {"last is not RETURN", {ABC(OP_MOVE, 0, 1, 0)}},
      {"empty code", {}},
      {"opcode 43", {43u, ret}},
      {"opcode 63", {63u | (1u << 24), ret}},
      {"A beyond the stack", {ABC(OP_MOVE, 4, 0, 0), ret}},
      {"B register beyond", {ABC(OP_MOVE, 0, 4, 0), ret}},
      {"constant index", {ABx(OP_LOADK, 0, 2), ret}},
      {"RK constant", {ABC(OP_ADD, 0, RK(2), RK(0)), ret}},
      {"RK register", {ABC(OP_ADD, 0, 5, RK(0)), ret}},
      {"test without JMP", {ABC(OP_EQ, 1, 0, 0), ABC(OP_MOVE, 0, 0, 0), ret, ret}},
      {"loadbool skip past the end", {ABC(OP_LOADBOOL, 0, 1, 1), ret}},
      {"upvalue index", {ABC(OP_GETUPVAL, 0, 0, 0), ret}},
      {"setupval index", {ABC(OP_SETUPVAL, 0, 1, 0), ret}, 4, 1},
      {"global named by a number", {ABx(OP_GETGLOBAL, 0, 0), ret}},
      {"setglobal named by a number", {ABx(OP_SETGLOBAL, 0, 0), ret}},
      {"concat B >= C", {ABC(OP_CONCAT, 0, 2, 2), ret}},
      {"concat constant", {ABC(OP_CONCAT, 0, 0, RK(0)), ret}},
      {"jump outside", {JMP(5), ret}},
      {"jump before the start", {JMP(-2), ret}},
      {"forloop target", {AsBx(OP_FORLOOP, 0, 100), ret}},
      {"tforprep target", {AsBx(OP_TFORPREP, 0, -5), ret}},
      {"call arguments", {ABC(OP_CALL, 2, 5, 1), ret}},
      {"open call not followed by a taker", {ABC(OP_CALL, 0, 1, 0), ABC(OP_MOVE, 0, 0, 0), ret}},
      {"call results", {ABC(OP_CALL, 0, 1, 9), ret}},
      {"return registers C=0", {ABC(OP_RETURN, 0, 9, 0)}},
      {"return registers C=2", {ABC(OP_RETURN, 0, 9, 2)}},
      {"setlist registers", {ABx(OP_SETLIST, 0, 5), ret}},
      {"closure index", {ABx(OP_CLOSURE, 0, 0), ret}},
      {"closure upvalue pseudo-instruction", {ABx(OP_CLOSURE, 0, 0), ABx(OP_LOADK, 0, 0), ret}, 4, 0, {}, 1},
      {"closure upvalues past the end", {ABx(OP_CLOSURE, 0, 0), ret}, 4, 0, {}, 3},
      {"self registers", {ABC(OP_SELF, 3, 0, RK(1)), ret}},
  };
  for (const Case& c : cases) {
    Fn f;
    f.maxstack = c.maxstack;
    f.nups = c.nups;
    f.k = {kNum(1), kStr("g")};
    f.code = c.code;
    f.lines = c.lines;
    if (c.nestedUps >= 0) {
      Fn nested = simple();
      nested.lineDefined = 1;
      nested.nups = c.nestedUps;
      f.p = {nested};
    }
    EXPECT_EQ(Load(L, f), kErrBadBytecode) << c.name;
  }
  // What the verifier accepts: a GOSUB return with any B, an open call into a RETURN.
  Fn ok = simple();
  ok.code = {ABC(OP_RETURN, 0, 200, 1), ABx(OP_GETGLOBAL, 0, 1), ABC(OP_CALL, 0, 1, 0), ABC(OP_RETURN, 0, 0, 0)};
  EXPECT_EQ(Load(L, ok), 0);
}

const char* kRoundTrip = R"(
    .source "@main.vk"
    .linedefined 0
    .upvalue outer
    .maxstack 6
    .line 1
    .local "x" 0 4
      LOADK 0 #1.25
      LOADK 1 "with\0nul"
      .const nil
    .line 2
      CLOSURE 2 inner
      MOVE 0 0
      CLOSURE 3 named
    .line 3
      RETURN 0 3
    .function inner
    .linedefined 2
    .upvalue x
      GETUPVAL 0 0
      RETURN 0 2
    .end
    .function named
    .source "@other.vk"
    .linedefined 9
    .params 2
    .vararg
      ADD 2 0 1
      RETURN 2 2
    .end
)";

TEST_F(EngineTest, WriterAgreesWithTheAssembler) {
  std::vector<uint8_t> big = AssembleListing(kRoundTrip);
  std::string assembled(big.begin(), big.end());
  ASSERT_EQ(vmLoadBuffer(L, assembled.data(), assembled.size(), "=rt"), 0);
  EXPECT_EQ(hex(DumpTop(L)), hex(assembled));
  vkProto* p = vmCl(L->top - 1)->p;
  ASSERT_EQ(p->sizep, 2);
  EXPECT_EQ(p->p[0]->source, p->source);  // written as 0: the parent's
  EXPECT_STREQ(p->p[1]->source->data(), "@other.vk");
  EXPECT_EQ(p->k[2].tt, VK_TNIL);
  vmSetTop(L, 0);
  std::vector<uint8_t> little = AssembleListing(kRoundTrip, true);
  ASSERT_EQ(vmLoadBuffer(L, little.data(), little.size(), "=rt"), 0);
  EXPECT_EQ(hex(DumpTop(L)), hex(assembled));
}

TEST_F(EngineTest, MainFunctionWithoutSourceStaysEmpty) {
  ASSERT_EQ(Load(L, simple()), 0);
  EXPECT_EQ(vmCl(L->top - 1)->p->source, nullptr);
}

int aCommand(vkState*) { return 0; }

TEST_F(EngineTest, DumpingACommandWritesNothing) {
  vmPushCClosure(L, aCommand, 0);
  std::string out;
  EXPECT_EQ(vmDumpFunction(L, -1,
                           [](vkState*, const void* p, size_t n, void* ud) {
                             static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
                             return 0;
                           },
                           &out),
            kErrNotUserFunction);
  EXPECT_TRUE(out.empty());
}

}  // namespace

namespace {

using namespace vktest;

struct Trickle {
  const std::vector<uint8_t>* bytes;
  size_t at;
};
// Hands out the input one byte per block.
const char* trickleReader(vkState*, void* ud, size_t* size) {
  Trickle* t = static_cast<Trickle*>(ud);
  if (t->at >= t->bytes->size()) return nullptr;
  *size = 1;
  return reinterpret_cast<const char*>(t->bytes->data() + t->at++);
}

TEST_F(EngineTest, ReaderCrossesBlockBoundariesInBothByteOrders) {
  std::vector<uint8_t> big = AssembleListing(kRoundTrip);
  std::string expected(big.begin(), big.end());
  for (bool little : {false, true}) {
    std::vector<uint8_t> bytes = AssembleListing(kRoundTrip, little);
    Trickle t{&bytes, 0};
    ASSERT_EQ(vmLoad(L, trickleReader, &t, "=trickle"), 0) << little;
    EXPECT_EQ(DumpTop(L), expected) << little;
    vmSetTop(L, 0);
  }
}

}  // namespace
