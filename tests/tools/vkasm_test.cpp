// The bytecode assembler: header bytes, the field layout of every opcode,
// labels and jumps, constant sharing, nested functions, the exact record
// layout in both byte orders, and the errors a bad listing gives.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/bytecode_dump.h"
#include "tools/vkasm/vkasm.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& hex) {
  Bytes out;
  std::string digits;
  for (char c : hex)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

std::vector<uint32_t> Code(const std::string& listing) {
  return vkasm::ParseListing(listing + "\n", "t.vkasm").code;
}

// Field extraction written out here, independently of the assembler.
struct Fields {
  unsigned op, a, b, c, bx;
};
Fields Split(uint32_t w) {
  return {w & 63, w >> 24, (w >> 15) & 511, (w >> 6) & 511, (w >> 6) & 0x3FFFF};
}

TEST(VkasmHeader, GoldenBytesInBothOrders) {
  Bytes be = vkasm::Assemble("RETURN 0 1\n", "t");
  Bytes golden = Hex("1B 56 4B 42 00 04 04 04 06 08 09 09 08 41 7D F5 E7 68 93 09 B6");
  ASSERT_GE(be.size(), golden.size());
  EXPECT_EQ(Bytes(be.begin(), be.begin() + 21), golden);

  Bytes le = vkasm::Assemble("RETURN 0 1\n", "t", true);
  Bytes goldenLe = Hex("1B 56 4B 42 01 04 04 04 06 08 09 09 08 B6 09 93 68 E7 F5 7D 41");
  ASSERT_GE(le.size(), goldenLe.size());
  EXPECT_EQ(Bytes(le.begin(), le.begin() + 21), goldenLe);
}

// One function with every kind of record field, checked byte for byte.
TEST(VkasmRecord, ExactLayoutBigAndLittleEndian) {
  const char* listing = R"(
.source "@t"
.params 1
.vararg
.maxstack 3
.upvalue "u"
.local "x" 0 done
.line 7
  LOADK 0 "hi"
.line 8
  ADD 1 0 #2
done:
  RETURN 0 1
)";
  Bytes body = Hex(
      "00000003 40 74 00"            // source "@t"
      "00000000"                     // line defined
      "01 01 01 03"                  // upvalues, params, vararg, max stack
      "00000003 00000007 00000008 00000008"  // line info
      "00000001 00000002 78 00 00000000 00000002"  // local x 0..2
      "00000001 00000002 75 00"      // upvalue name u
      "00000002 04 00000003 68 69 00 03 4000000000000000"  // "hi", 2
      "00000000"                     // no nested functions
      "00000003 00000001 01003ECB 00008022");  // LOADK, ADD, RETURN
  Bytes be = vkasm::Assemble(listing, "t");
  EXPECT_EQ(Bytes(be.begin() + 21, be.end()), body);

  // The little-endian form reverses every integer, word and number.
  Bytes le = vkasm::Assemble(listing, "t", true);
  DumpFunction a = ReadBytecode(be), b = ReadBytecode(le);
  EXPECT_EQ(a.code, b.code);
  EXPECT_EQ(a.lineInfo, b.lineInfo);
  ASSERT_EQ(b.constants.size(), 2u);
  EXPECT_EQ(b.constants[1].number, 2.0);
  EXPECT_EQ(le.size(), be.size());
  EXPECT_EQ(le[21], 3);  // source length, low byte first
  EXPECT_EQ(le[le.size() - 4], 0x22);
}

struct OpCase {
  const char* line;
  unsigned op, a, b, c;  // for Bx-format opcodes b holds Bx and c is unused
  bool bx;
};

// Every opcode with its operand order; constants 250+ are indexes into the
// constant list that the line itself creates.
const OpCase kOpCases[] = {
    {"MOVE 3 7", 0, 3, 7, 0, false},
    {"LOADK 2 \"s\"", 1, 2, 0, 0, true},
    {"LOADBOOL 1 1 1", 2, 1, 1, 1, false},
    {"LOADNIL 0 4", 3, 0, 4, 0, false},
    {"GETUPVAL 5 2", 4, 5, 2, 0, false},
    {"GETGLOBAL 0 \"print\"", 5, 0, 0, 0, true},
    {"GETTABLE 1 2 \"k\"", 6, 1, 2, 250, false},
    {"SETGLOBAL 9 k0", 7, 9, 0, 0, true},
    {"SETUPVAL 1 0", 8, 1, 0, 0, false},
    {"SETTABLE 0 #1 r3", 9, 0, 250, 3, false},
    {"NEWTABLE 2 9 4", 10, 2, 9, 4, false},
    {"ADD 0 1 2", 11, 0, 1, 2, false},
    {"SUB 0 #5 1", 12, 0, 250, 1, false},
    {"MUL 1 r2 r3", 13, 1, 2, 3, false},
    {"DIV 1 2 nil", 14, 1, 2, 250, false},
    {"INTDIV 0 1 #2", 15, 0, 1, 250, false},
    {"MOD 0 1 #2", 16, 0, 1, 250, false},
    {"SHL 0 1 2", 17, 0, 1, 2, false},
    {"SHR 0 1 2", 18, 0, 1, 2, false},
    {"BOR 0 1 2", 19, 0, 1, 2, false},
    {"BAND 0 1 2", 20, 0, 1, 2, false},
    {"BXOR 0 1 2", 21, 0, 1, 2, false},
    {"POW 0 #2 #2", 22, 0, 250, 250, false},
    {"UNM 4 5", 23, 4, 5, 0, false},
    {"NOT 4 5", 24, 4, 5, 0, false},
    {"BNOT 4 5", 25, 4, 5, 0, false},
    {"CONCAT 0 1 3", 26, 0, 1, 3, false},
    {"EQ 1 0 \"x\"", 28, 1, 0, 250, false},
    {"LT 0 #1 #2", 29, 0, 250, 251, false},
    {"LE 1 2 3", 30, 1, 2, 3, false},
    {"TEST 0 1 1", 31, 0, 1, 1, false},
    {"CALL 0 2 1", 32, 0, 2, 1, false},
    {"TAILCALL 1 0 0", 33, 1, 0, 0, false},
    {"RETURN 0 1", 34, 0, 1, 0, false},
    {"RETURN 0 1 1", 34, 0, 1, 1, false},
    {"TFORLOOP 2 3", 36, 2, 0, 3, false},
    {"SETLIST 1 33", 38, 1, 33, 0, true},
    {"SETLISTO 1 0", 39, 1, 0, 0, true},
    {"CLOSE 3", 40, 3, 0, 0, false},
    {"SELF 0 1 \"m\"", 42, 0, 1, 250, false},
    {"op_move 0 1", 0, 0, 1, 0, false},  // any case, optional prefix
    {"MOVE 255, 511", 0, 255, 511, 0, false},
};

TEST(VkasmOpcodes, EveryOpcodeFillsItsFields) {
  for (const OpCase& t : kOpCases) {
    SCOPED_TRACE(t.line);
    std::vector<uint32_t> code = Code(t.line);
    ASSERT_EQ(code.size(), 1u);
    Fields f = Split(code[0]);
    EXPECT_EQ(f.op, t.op);
    EXPECT_EQ(f.a, t.a);
    if (t.bx) {
      EXPECT_EQ(f.bx, t.b);
    } else {
      EXPECT_EQ(f.b, t.b);
      EXPECT_EQ(f.c, t.c);
    }
  }
}

TEST(VkasmOpcodes, NamesCoverTheWholeSet) {
  EXPECT_EQ(vkasm::OpcodeName(0), "MOVE");
  EXPECT_EQ(vkasm::OpcodeName(27), "JMP");
  EXPECT_EQ(vkasm::OpcodeName(42), "SELF");
  EXPECT_EQ(vkasm::OpcodeName(43), "");
}

TEST(VkasmJumps, LabelsOffsetsAndTheGosubFlag) {
  std::vector<uint32_t> code = Code(R"(
top:
  JMP ahead          ; 0 -> 3
  JMP gosub top      ; 1 -> 0
  JMP -3             ; 2 -> 0
ahead:
  FORLOOP 0 top      ; 3 -> 0
  TFORPREP 0 end     ; 4 -> 6
  JMP +0             ; 5 -> 6
end:
  RETURN 0 1)");
  ASSERT_EQ(code.size(), 7u);
  auto jumpOffset = [](uint32_t w) { return static_cast<int64_t>((w >> 6) & 0xFFFFFF) - 8388607; };
  auto jumpFlag = [](uint32_t w) { return w >> 30; };
  auto sbx = [](uint32_t w) { return static_cast<int64_t>((w >> 6) & 0x3FFFF) - 131071; };
  EXPECT_EQ(code[0] & 63, 27u);
  EXPECT_EQ(jumpOffset(code[0]), 2);
  EXPECT_EQ(jumpFlag(code[0]), 0u);
  EXPECT_EQ(jumpOffset(code[1]), -2);
  EXPECT_EQ(jumpFlag(code[1]), 2u);
  EXPECT_EQ(jumpOffset(code[2]), -3);
  EXPECT_EQ(sbx(code[3]), -4);
  EXPECT_EQ(code[3] >> 24, 0u);
  EXPECT_EQ(sbx(code[4]), 1);
  EXPECT_EQ(jumpOffset(code[5]), 0);
  EXPECT_EQ(code[1], vkasm::EncodeJump(-2, vkasm::kJumpGosub));
}

TEST(VkasmConstants, SharedByValueAndKeptApartByType) {
  vkasm::Function f = vkasm::ParseListing(R"(
.const "first"
  LOADK 0 #1
  LOADK 1 "1"
  LOADK 2 #1.0
  LOADK 3 nil
  ADD 0 #1 #0x1p0
  LOADK 4 #0
  LOADK 5 #-0
  LOADK 6 "first"
  LOADK 7 "a\0b"
  LOADK 8 "a\x00c"
  RETURN 0 1
)", "t");
  ASSERT_EQ(f.constants.size(), 8u);
  std::vector<uint32_t> bx;
  for (size_t i = 0; i + 1 < f.code.size(); ++i) bx.push_back((f.code[i] >> 6) & 0x3FFFF);
  EXPECT_EQ(bx[0], 1u);  // #1
  EXPECT_EQ(bx[1], 2u);  // "1" is a string
  EXPECT_EQ(bx[2], 1u);  // #1.0 is #1
  EXPECT_EQ(bx[3], 3u);  // nil
  EXPECT_EQ(f.code[4], vkasm::EncodeABC(vkasm::OP_ADD, 0, 251, 251));
  EXPECT_NE(bx[5], bx[6]);  // 0 and -0 differ in their bits
  EXPECT_EQ(bx[7], 0u);
  EXPECT_EQ(f.constants[6].text, std::string("a\0b", 3));
  EXPECT_EQ(f.constants[7].text, std::string("a\0c", 3));
  DumpFunction d = ReadBytecode(vkasm::Encode(f));
  EXPECT_EQ(d.constants[3].type, 0);
  EXPECT_EQ(d.constants[6].text, std::string("a\0b", 3));
}

TEST(VkasmFunctions, NestedRecordsSourcesAndClosures) {
  const char* listing = R"(
.source "@main"
  CLOSURE 0 second
  MOVE 0 1
  CLOSURE 2 first
  RETURN 0 1
.function first
  .params 2
  RETURN 0 1
.end
.function second
  .upvalue "v"
  .source "@main"
  CLOSURE 0 inner
  RETURN 0 1
  .function inner
    .source "@other"
    .vararg
    GETUPVAL 0 0
    RETURN 0 2
  .end
.end
)";
  DumpFunction m = ReadBytecode(vkasm::Assemble(listing, "t"));
  EXPECT_EQ(m.source, "@main");
  ASSERT_EQ(m.nested.size(), 2u);
  EXPECT_EQ(m.code[0], vkasm::EncodeABx(vkasm::OP_CLOSURE, 0, 1));
  EXPECT_EQ(m.code[2], vkasm::EncodeABx(vkasm::OP_CLOSURE, 2, 0));
  EXPECT_EQ(m.nested[0].numParams, 2);
  EXPECT_FALSE(m.nested[0].source.has_value());  // inherits
  const DumpFunction& second = m.nested[1];
  EXPECT_FALSE(second.source.has_value());  // same as the parent's: written as 0
  EXPECT_EQ(second.numUpvalues, 1);
  EXPECT_EQ(second.upvalueNames, std::vector<std::string>{"v"});
  ASSERT_EQ(second.nested.size(), 1u);
  EXPECT_EQ(second.nested[0].source, "@other");
  EXPECT_EQ(second.nested[0].isVararg, 1);
  EXPECT_TRUE(m.lineInfo.empty());
}

TEST(VkasmFunctions, DefaultStackSizeCoversEveryRegisterTouched) {
  struct Case {
    const char* code;
    int maxStack;
  };
  const Case cases[] = {
      {"RETURN 0 1", 2},
      {"MOVE 7 2\nRETURN 0 1", 8},
      {"CALL 3 4 3\nRETURN 0 1", 7},      // arguments reach r6
      {"TFORLOOP 1 2\nJMP +0\nRETURN 0 1", 9},  // results from r(1+2+3)..r8
      {"FORLOOP 5 +0\nRETURN 0 1", 8},
      {"SETLIST 0 34\nRETURN 0 1", 4},
      {"EQ 1 r9 #3\nJMP +0\nRETURN 0 1", 10},
      {".maxstack 200\nRETURN 0 1", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(vkasm::ParseListing(c.code, "t").maxStack, c.maxStack);
  }
}

struct ErrorCase {
  const char* listing;
  int line;
  const char* fragment;
};

const ErrorCase kErrors[] = {
    {"MOVE 0 1\nFROB 1 2", 2, "unknown opcode 'FROB'"},
    {"MOVE 0", 1, "MOVE takes 2 operands, got 1"},
    {"MOVE 0 1 2", 1, "MOVE takes 2 operands"},
    {"MOVE 256 0", 1, "out of range"},
    {"MOVE 0 r250", 1, "out of range"},
    {"ADD 0 1 x", 1, "register expected, got 'x'"},
    {"LOADK 0 #1x", 1, "bad number '1x'"},
    {"JMP nowhere\nRETURN 0 1", 1, "undefined label 'nowhere'"},
    {"JMP 5", 1, "label or +/- offset expected"},
    {"a:\na:", 2, "label 'a' defined twice"},
    {"LOADK 0 \"open", 1, "unterminated string"},
    {"LOADK 0 \"\\q\"", 1, "unknown escape \\q"},
    {"LOADK 0 \"\\300\"", 1, "above 255"},
    {".function f\nRETURN 0 1", 1, "function 'f' has no .end"},
    {".end", 1, ".end without .function"},
    {"CLOSURE 0 g\n.function f\n.end", 1, "no nested function 'g' in 'main'"},
    {".function f\n.end\n.function f\n.end", 3, "defined twice"},
    {".upvalue a\n.upvalues 2", 2, ".upvalues cannot follow .upvalue"},
    {".bogus", 1, "unknown directive '.bogus'"},
    {".local \"x\" 0 missing\nRETURN 0 1", 1, "undefined label 'missing'"},
    {".const x", 1, "constant value expected"},
    {"\"str\"", 1, "instruction or directive expected"},
    {"SETLIST 0 262144", 1, "out of range"},
};

TEST(VkasmErrors, BadListingsNameTheirLine) {
  for (const ErrorCase& e : kErrors) {
    SCOPED_TRACE(e.listing);
    try {
      vkasm::ParseListing(e.listing, "bad.vkasm");
      ADD_FAILURE() << "accepted";
    } catch (const vkasm::Error& err) {
      EXPECT_EQ(err.line, e.line);
      EXPECT_NE(err.message.find(e.fragment), std::string::npos) << err.message;
      EXPECT_EQ(std::string(err.what()).rfind("bad.vkasm:" + std::to_string(e.line) + ": ", 0), 0u);
    }
  }
}

TEST(VkasmErrors, ConstantsBeyondTheRkRangeAreRefused) {
  std::string listing;
  for (int i = 0; i < 262; ++i) listing += ".const #" + std::to_string(i) + "\n";
  listing += "ADD 0 1 #261\n";  // index 261: the last one RK can reach
  EXPECT_NO_THROW(vkasm::ParseListing(listing, "t"));
  listing += "ADD 0 1 #262\n";
  EXPECT_THROW(vkasm::ParseListing(listing, "t"), vkasm::Error);
}

TEST(VkasmCommand, WritesTheFileAndReportsErrors) {
  std::string dir = VK_BINARY_DIR;
  std::string tool = dir + "/tools/vkasm/vkasm";
  std::string src = dir + "/vkasm_cli_test.vkasm", out = dir + "/vkasm_cli_test.vkb";
  FILE* f = std::fopen(src.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("LOADK 0 \"hello\"\nRETURN 0 2\n", f);
  std::fclose(f);
  ASSERT_EQ(std::system((tool + " -l " + src + " -o " + out).c_str()), 0);
  FILE* in = std::fopen(out.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  Bytes got;
  for (int c; (c = std::fgetc(in)) != EOF;) got.push_back(static_cast<uint8_t>(c));
  std::fclose(in);
  EXPECT_EQ(got, vkasm::Assemble("LOADK 0 \"hello\"\nRETURN 0 2\n", "x", true));

  f = std::fopen(src.c_str(), "w");
  std::fputs("RETURN 0 1\nNOPE\n", f);
  std::fclose(f);
  std::string err = dir + "/vkasm_cli_test.err";
  EXPECT_NE(std::system((tool + " " + src + " -o " + out + " 2>" + err).c_str()), 0);
  FILE* e = std::fopen(err.c_str(), "r");
  ASSERT_NE(e, nullptr);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, e), nullptr);
  std::fclose(e);
  EXPECT_EQ(std::string(line), src + ":2: unknown opcode 'NOPE'\n");
  EXPECT_EQ(std::system((tool + " --help >/dev/null").c_str()), 0);
}

}  // namespace

namespace {

Bytes ReadAll(const std::string& path) {
  Bytes out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return out;
}

TEST(VkasmBuild, ListingsAssembleAtBuildTime) {
  std::string listing = VK_SOURCE_DIR "/tests/tools/data/hello.vkasm";
  Bytes text = ReadAll(listing);
  Bytes built = ReadAll(VK_BINARY_DIR "/tests/tools/hello.vkb");
  ASSERT_FALSE(built.empty());
  EXPECT_EQ(built, vkasm::Assemble(std::string(text.begin(), text.end()), listing));
  DumpFunction f = ReadBytecode(built);
  EXPECT_EQ(f.source, "@hello");
  EXPECT_EQ(f.lineInfo, std::vector<int32_t>(5, 1));
}

}  // namespace
