// Table and function records: exact bytes of small tables, round trips of
// nested tables and functions in both forms (functions in text form inside a
// table, long string keys), tables that contain themselves or nest too deep,
// hostile files with the error each must give, and the text form judged by
// python3's base64.
#include "runtime/serialise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/errorinfo.h"
#include "engine/state.h"
#include "base/errorcodes.h"
#include "support/dostest.h"

using namespace dostest;

namespace {

std::string BE32(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string BEDouble(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return BE32(uint32_t(bits >> 32)) + BE32(uint32_t(bits));
}
std::string NumItem(double d) { return "\x02" + BEDouble(d); }
std::string StrItem(const std::string& s) { return "\x03" + BE32(uint32_t(s.size())) + s; }

class Serialise : public DosTest {
 protected:
  // Writes the table on top of the stack to a new file and returns its bytes.
  std::string WriteTop(bool text = false, uint32_t expect = 0) {
    std::string path = dir / "table";
    vkFileHandle* h = Open(path, MODE_WRITE, 7);
    int top = vmGetTop(L);
    EXPECT_EQ(WriteTableRecord(L, -1, h, text), expect);
    EXPECT_EQ(vmGetTop(L), top);
    FlushStream(h->stream.get());
    return ReadWholeFile(path);
  }
  // Reads a table record from [bytes]; the table is left on the stack.
  int ReadBack(const std::string& bytes, bool function = false) {
    vkFileHandle* h = OpenBytes(bytes, 8);
    return Run([&] { return function ? ReadFunctionRecord(L, h) : ReadTableRecord(L, h); });
  }
  void SetField(const char* key, double v) {
    vmPushString(L, key);
    vmPushNumber(L, v);
    vmSetTable(L, -3);
  }
  double FieldNumber(int t, const std::string& key) {
    vmPushLString(L, key.data(), key.size());
    vmGetTable(L, t);
    double d = vmToNumber(L, -1);
    vmSetTop(L, -2);
    return d;
  }
  // Calls the function on top of the stack and returns its number.
  double CallTop() {
    EXPECT_EQ(vmPCall(L, 0, 1, 0), 0);
    double d = vmToNumber(L, -1);
    vmSetTop(L, -2);
    return d;
  }
};

TEST_F(Serialise, SmallTablesHaveTheirExactBytes) {
  vmNewTable(L);
  EXPECT_EQ(WriteTop(), std::string("VKT0\0", 5));

  vmPushNumber(L, 1);
  vmPushString(L, "a");
  vmSetTable(L, -3);
  EXPECT_EQ(WriteTop(), "VKT0" + NumItem(1) + StrItem("a") + std::string(1, '\0'));
}

TEST_F(Serialise, BooleansAreLeftOutAndHandlesBecomeZero) {
  vmNewTable(L);
  vmPushString(L, "b");
  vmSetBool(L->top, 1);  // the interface has no push for booleans
  L->top++;
  vmSetTable(L, -3);
  vmPushString(L, "h");
  vmPushLightUserdata(L, this);
  vmSetTable(L, -3);
  EXPECT_EQ(WriteTop(), "VKT0" + StrItem("h") + NumItem(0) + std::string(1, '\0'));
}

TEST_F(Serialise, NestedTablesAndLongKeysRoundTrip) {
  const std::string longKey(300, 'k');
  const std::string binary("a\0b\xff", 4);
  vmNewTable(L);
  SetField("x", 1.5);
  vmPushString(L, "inner");
  vmNewTable(L);
  SetField("y", -0.0);
  SetField("inf", INFINITY);
  vmPushLString(L, binary.data(), binary.size());
  vmPushLString(L, binary.data(), binary.size());
  vmSetTable(L, -3);
  vmSetTable(L, -3);
  vmPushLString(L, longKey.data(), longKey.size());
  vmPushNumber(L, 42);
  vmSetTable(L, -3);
  std::string bytes = WriteTop();
  ASSERT_EQ(ReadBack(bytes), 0);
  int t = vmGetTop(L);
  EXPECT_EQ(FieldNumber(t, "x"), 1.5);
  EXPECT_EQ(FieldNumber(t, longKey), 42);  // keys above 256 bytes read back
  vmPushString(L, "inner");
  vmGetTable(L, t);
  ASSERT_EQ(vmType(L, -1), VK_TTABLE);
  EXPECT_TRUE(std::signbit(FieldNumber(t + 1, "y")));
  EXPECT_EQ(FieldNumber(t + 1, "inf"), INFINITY);
  vmPushLString(L, binary.data(), binary.size());
  vmGetTable(L, t + 1);
  EXPECT_EQ(std::string(vmToString(L, -1), vmStrLen(L, -1)), binary);
}

TEST_F(Serialise, FunctionsInTablesRoundTripInBothForms) {
  for (bool text : {false, true}) {
    SCOPED_TRACE(text);
    vmSetTop(L, 0);
    vmNewTable(L);
    vmPushString(L, "f");
    PushFunction(ReturnListing(7, 40));
    vmSetTable(L, -3);
    vmPushString(L, "after");
    vmPushNumber(L, 3);
    vmSetTable(L, -3);
    std::string bytes = WriteTop(text);
    EXPECT_NE(bytes.find(text ? std::string("\x05" "0000") : std::string("\x05\0\0", 3)), std::string::npos);
    ASSERT_EQ(ReadBack(bytes), 0);
    int t = vmGetTop(L);
    EXPECT_EQ(FieldNumber(t, "after"), 3);
    vmPushString(L, "f");
    vmGetTable(L, t);
    ASSERT_EQ(vmType(L, -1), VK_TFUNCTION);
    EXPECT_EQ(CallTop(), 7);
  }
}

TEST_F(Serialise, FunctionRecordsRoundTripAtTheirOffsets) {
  std::string path = dir / "records";
  vkFileHandle* h = Open(path, MODE_WRITE, 1);
  PushFunction(ReturnListing(11, 100));
  PushFunction(ReturnListing(12));
  vmNewTable(L);
  SetField("z", 5);
  ASSERT_EQ(WriteFunctionRecord(L, -3, h, true), 0u);
  ASSERT_EQ(WriteTableRecord(L, -1, h, false), 0u);
  ASSERT_EQ(WriteFunctionRecord(L, -2, h, false), 0u);
  EXPECT_EQ(h->position, h->length);
  CloseFileHandle(L, h);
  vmSetTop(L, 0);

  h = Open(path, MODE_READ, 1);
  ASSERT_EQ(Run([&] { return ReadFunctionRecord(L, h); }), 0);
  EXPECT_EQ(CallTop(), 11);
  ASSERT_EQ(Run([&] { return ReadTableRecord(L, h); }), 0);
  EXPECT_EQ(FieldNumber(vmGetTop(L), "z"), 5);
  ASSERT_EQ(Run([&] { return ReadFunctionRecord(L, h); }), 0);
  EXPECT_EQ(CallTop(), 12);
  EXPECT_EQ(h->position, h->length);
  EXPECT_EQ(Run([&] { return ReadFunctionRecord(L, h); }), 1242);
}

TEST_F(Serialise, WriterRefusals) {
  // A table that holds itself, directly or further down.
  vmNewTable(L);
  vmPushString(L, "self");
  vmPushValue(L, -2);
  vmSetTable(L, -3);
  WriteTop(false, 1135);
  vmSetTop(L, 0);

  vmNewTable(L);
  vmPushString(L, "a");
  vmNewTable(L);
  vmPushString(L, "back");
  vmPushValue(L, 1);
  vmSetTable(L, -3);
  vmSetTable(L, -3);
  WriteTop(false, 1135);
  vmSetTop(L, 0);

  // The same table twice side by side is no cycle.
  vmNewTable(L);
  vmNewTable(L);
  SetField("v", 1);
  for (const char* key : {"p", "q"}) {
    vmPushString(L, key);
    vmPushValue(L, 2);
    vmSetTable(L, 1);
  }
  vmSetTop(L, 1);
  std::string shared = WriteTop();
  EXPECT_EQ(shared.size(), 4u + 2 * (StrItem("p").size() + 1 + NumItem(1).size() + StrItem("v").size() + 1) + 1);
  vmSetTop(L, 0);

  // Nesting: the deepest table the reader accepts can be written; one more is refused.
  for (int depth : {kMaxTableNesting, kMaxTableNesting + 1}) {
    vmNewTable(L);
    vmPushValue(L, 1);
    for (int i = 1; i < depth; i++) {
      vmNewTable(L);
      vmPushNumber(L, 1);
      vmPushValue(L, -2);
      vmSetTable(L, -4);  // parent[1] = child
      vmRemove(L, -2);
    }
    vmSetTop(L, 1);
    std::string bytes = WriteTop(false, depth > kMaxTableNesting ? 1135 : 0);
    if (depth <= kMaxTableNesting) {
      EXPECT_EQ(ReadBack(bytes), 0);
    }
    vmSetTop(L, 0);
  }

  // A table key, and a command as a value.
  vmNewTable(L);
  vmNewTable(L);
  vmPushNumber(L, 1);
  vmSetTable(L, -3);
  WriteTop(false, 1055);
  vmSetTop(L, 0);
  vmNewTable(L);
  vmPushString(L, "c");
  vmPushCClosure(L, [](vkState*) { return 0; }, 0);
  vmSetTable(L, -3);
  WriteTop(false, 1324);
}

TEST_F(Serialise, ModesOfTheHandleAreChecked) {
  vkFileHandle* reader = OpenBytes("VKT0");
  vmNewTable(L);
  EXPECT_EQ(WriteTableRecord(L, -1, reader, false), 1141u);
  PushFunction(ReturnListing(1));
  EXPECT_EQ(WriteFunctionRecord(L, -1, reader, false), 1141u);
  vkFileHandle* writer = Open(dir / "out", MODE_WRITE, 2);
  EXPECT_EQ(ReadTableRecord(L, writer), 1142u);
  EXPECT_EQ(ReadFunctionRecord(L, writer), 1142u);
}

// A body of [depth] nested tables, each under the key 1.
std::string NestedBody(int depth) {
  std::string open, close;
  for (int i = 1; i < depth; i++) open += NumItem(1) + "\x04";
  return open + std::string(depth, '\0');
}

TEST_F(Serialise, HostileTableRecords) {
  const std::string end(1, '\0');
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  const Case cases[] = {
      {"empty file", "", 1242},
      {"short magic", "VKT", 1242},
      {"function magic", "VKF0", 1328},
      {"magic alone", "VKT0", 1242},
      {"no end byte", "VKT0" + NumItem(1) + NumItem(2), 1242},
      {"cut number", "VKT0\x02\x3f\xf0", 1242},
      {"key past the end", "VKT0\x03" + BE32(0xFFFFFFFF) + "abc", 1242},
      {"value past the end", "VKT0" + NumItem(1) + "\x03" + BE32(0x7FFFFFFF) + "abc", 1242},
      {"unknown key type", "VKT0\x09" + end, 1328},
      {"table as key", "VKT0\x04" + end, 1328},
      {"unknown value type", "VKT0" + NumItem(1) + "\x01" + end, 1328},
      {"end byte as value", "VKT0" + NumItem(1) + end, 1328},
      {"function past the end", "VKT0" + NumItem(1) + "\x05" + BE32(0x10000) + "x", 1242},
      {"text function past the end", "VKT0" + NumItem(1) + "\x05" + "ffffffff" + "G1ZL", 1242},
      {"not bytecode", "VKT0" + NumItem(1) + "\x05" + BE32(4) + "abcd" + end, 1204},
      {"NaN key", "VKT0" + NumItem(NAN) + NumItem(1) + end, 1208},
      {"too deep", "VKT0" + NestedBody(kMaxTableNesting + 1), 1135},
      {"deep but allowed", "VKT0" + NestedBody(kMaxTableNesting), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadBack(c.bytes), c.code);
    vmSetTop(L, 0);
    CloseAllFileHandles(L);
  }
}

TEST_F(Serialise, HostileFunctionRecords) {
  vmSetTop(L, 0);
  PushFunction(ReturnListing(5));
  std::string code;
  ASSERT_EQ(vmDumpFunction(L, -1, [](vkState*, const void* p, size_t n, void* ud) {
              static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
              return 0;
            }, &code), 0);
  vmSetTop(L, 0);
  struct Case {
    const char* what;
    std::string bytes;
    int code;
  };
  const Case cases[] = {
      {"at the end", "", 1242},
      {"table record", std::string("VKT0\0", 5), 1322},
      {"raw length past the end", "VKF0" + BE32(0xFFFFFFF0) + "xx", 1242},
      {"text length past the end", "VKF1ffffffffAAAA", 1242},
      {"cut length", "VKF1000", 1242},
      {"bad character", "VKF100000004G1!L", 1323},
      {"group cut short", "VKF100000003G1Z", 1323},
      {"cut bytecode", "VKF0" + BE32(uint32_t(code.size() - 3)) + code.substr(0, code.size() - 3), 1198},
      {"raw", "VKF0" + BE32(uint32_t(code.size())) + code, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadBack(c.bytes, true), c.code);
    vmSetTop(L, 0);
    CloseAllFileHandles(L);
  }
}

TEST_F(Serialise, TextFormDecodesBlanksAndPadding) {
  // Blanks and line feeds anywhere are skipped; "=" ends the data.
  PushFunction(ReturnListing(9, 3));
  std::string path = dir / "text";
  vkFileHandle* h = Open(path, MODE_WRITE, 3);
  ASSERT_EQ(WriteFunctionRecord(L, -1, h, true), 0u);
  CloseFileHandle(L, h);
  std::string record = ReadWholeFile(path);
  std::string body = record.substr(12);
  std::string spaced;
  for (char c : body) spaced += std::string(" \t") + c;
  char length[9];
  std::snprintf(length, sizeof length, "%.8lx", static_cast<unsigned long>(spaced.size()));
  vmSetTop(L, 0);
  ASSERT_EQ(ReadBack("VKF1" + std::string(length) + spaced, true), 0);
  EXPECT_EQ(CallTop(), 9);
}

TEST_F(Serialise, TextFormAgreesWithPythonBase64) {
  if (!HavePython()) GTEST_SKIP() << "python3 not available";
  // One record per padding: bytecode lengths of every remainder modulo 3.
  std::string pairs;
  for (int padding : {0, 1, 2, 30}) {
    vmSetTop(L, 0);
    PushFunction(ReturnListing(padding, padding));
    std::string code;
    vmDumpFunction(L, -1, [](vkState*, const void* p, size_t n, void* ud) {
      static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
      return 0;
    }, &code);
    std::string name = std::to_string(padding);
    std::string raw = dir.Write("raw" + name, code), path = dir / ("text" + name);
    vkFileHandle* h = Open(path, MODE_WRITE, 4);
    ASSERT_EQ(WriteFunctionRecord(L, -1, h, true), 0u);
    CloseFileHandle(L, h);
    pairs += " " + path + " " + raw;
  }
  std::string script =
      "import base64,sys\n"
      "args=sys.argv[1:]\n"
      "for rec,raw in zip(args[0::2],args[1::2]):\n"
      "  rec=open(rec,'rb').read(); raw=open(raw,'rb').read()\n"
      "  assert rec[:4]==b'VKF1', 'magic'\n"
      "  n=int(rec[4:12],16); text=rec[12:]\n"
      "  assert n==len(text), 'length'\n"
      "  lines=text.split(b'\\n')\n"
      "  assert all(len(l)==72 for l in lines[:-1]) and 0<len(lines[-1])<=72, 'lines'\n"
      "  assert base64.b64decode(b''.join(lines), validate=True)==raw, 'data'\n"
      "  assert b''.join(lines)==base64.b64encode(raw), 'encoding'\n";
  std::string scriptPath = dir.Write("check.py", script);
  EXPECT_EQ(std::system(("python3 " + scriptPath + pairs).c_str()), 0);
}

}  // namespace
