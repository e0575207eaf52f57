// Argument checks: what each accepts, what it converts to, and the message a
// failure gives for missing, wrong-typed and optional arguments and fields.
#include "engine/argcheck.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <functional>
#include <string>

#include "engine/errormessages.h"
#include "engine/libraries.h"
#include "support/vmtest.h"

namespace {

using vktest::EngineTest;
using Push = std::function<void(vkState*)>;

// Pushes a table {name = number or string} built from the pairs.
void pushTable(vkState* L, std::initializer_list<std::pair<const char*, Push>> fields) {
  vmNewTable(L);
  for (auto& [name, push] : fields) {
    vmPushString(L, name);
    push(L);
    vmSetTable(L, -3);
  }
}

Push num(double d) { return [d](vkState* L) { vmPushNumber(L, d); }; }
Push str(const char* s) { return [s](vkState* L) { vmPushString(L, s); }; }
Push nil() { return [](vkState* L) { vmPushNil(L); }; }
// A light userdata: a type no number or text check accepts.
int gSomeObject;
Push pointer() { return [](vkState* L) { vmPushLightUserdata(L, &gSomeObject); }; }
Push table(std::initializer_list<std::pair<const char*, Push>> f) {
  std::vector<std::pair<const char*, Push>> copy(f);
  return [copy](vkState* L) {
    vmNewTable(L);
    for (auto& [name, push] : copy) {
      vmPushString(L, name);
      push(L);
      vmSetTable(L, -3);
    }
  };
}
// A list {n0, n1, ...} at the keys 0, 1, ...
Push list(std::initializer_list<double> items) {
  std::vector<double> copy(items);
  return [copy](vkState* L) {
    vmNewTable(L);
    for (size_t k = 0; k < copy.size(); k++) {
      vmPushNumber(L, static_cast<double>(k));
      vmPushNumber(L, copy[k]);
      vmRawSet(L, -3);
    }
  };
}

// A text of 66 bytes built by concatenation whose block has gone on past it:
// its bytes are not followed by a NUL where they lie.
Push olderView() {
  return [](vkState* L) {
    vmPushString(L, std::string(64, 'a').c_str());
    vmPushString(L, "x");
    vmConcat(L, 2);
    vmPushString(L, "y");
    vmConcat(L, 2);
    vmPushValue(L, -1);
    vmPushString(L, "z");
    vmConcat(L, 2);  // written after the 66 bytes, in their block
    vmSetTop(L, -2);
  };
}

// The length of the text at [i] when its NUL is where the length says, else -1.
int terminatedLength(vkState* L, int i) {
  size_t n = 0;
  const char* s = vmCheckString(L, i, &n);
  vmPushNumber(L, std::strlen(s) == n ? static_cast<double>(n) : -1);
  return 1;
}

// Pushes the number as the command's one result.
int result(vkState* L, double d) {
  vmPushNumber(L, d);
  return 1;
}

struct CheckCase {
  const char* what;
  vkCFunction command;
  std::vector<Push> args;
  int code;             // 0: succeeds
  const char* outcome;  // the message, or the result as text
};

const CheckCase kChecks[] = {
    {"count (1,1) with two", [](vkState* L) { CheckArgCount(L, 1, 1); return 0; }, {num(1), num(2)}, 1193,
     "Too many arguments for this function!"},
    {"count (1,1) with none", [](vkState* L) { CheckArgCount(L, 1, 1); return 0; }, {}, 1014,
     "Not enough arguments!"},
    {"count (0,0) with one", [](vkState* L) { CheckArgCount(L, 0, 0); return 0; }, {nil()}, 1193,
     "Too many arguments for this function!"},
    {"count (2,0) has no upper limit", [](vkState* L) { CheckArgCount(L, 2, 0); return result(L, vmGetTop(L)); },
     {num(1), num(2), num(3), num(4)}, 0, "4"},
    {"count (1,-1) has no upper limit", [](vkState* L) { CheckArgCount(L, 1, -1); return result(L, vmGetTop(L)); },
     {num(1), num(2), num(3)}, 0, "3"},

    {"number from $FF", [](vkState* L) { return result(L, vmCheckNumber(L, 1)); }, {str("$FF")}, 0, "255"},
    {"number from 0x10", [](vkState* L) { return result(L, vmCheckNumber(L, 1)); }, {str("0x10")}, 0, "16"},
    {"number from nil", [](vkState* L) { return result(L, vmCheckNumber(L, 1)); }, {nil()}, 0, "0"},
    {"number from a table", [](vkState* L) { return result(L, vmCheckNumber(L, 2)); }, {num(1), table({})}, 1138,
     "Number expected in argument 2!"},
    {"number from text", [](vkState* L) { return result(L, vmCheckNumber(L, 1)); }, {str("abc")}, 1138,
     "Number expected in argument 1!"},
    {"number absent", [](vkState* L) { return result(L, vmCheckNumber(L, 3)); }, {num(1)}, 1138,
     "Number expected in argument 3!"},
    {"optional number absent", [](vkState* L) { return result(L, vmOptNumber(L, 2, 7)); }, {num(1)}, 0, "7"},
    {"optional number nil is 0", [](vkState* L) { return result(L, vmOptNumber(L, 1, 7)); }, {nil()}, 0, "0"},
    {"optional number wrong type", [](vkState* L) { return result(L, vmOptNumber(L, 1, 7)); }, {pointer()}, 1138,
     "Number expected in argument 1!"},
    {"unsigned 4294967295", [](vkState* L) { return result(L, vmCheckUnsigned(L, 1)); }, {num(4294967295.0)}, 0,
     "4294967295"},
    {"unsigned -1", [](vkState* L) { return result(L, vmCheckUnsigned(L, 1)); }, {num(-1)}, 0, "4294967295"},
    {"unsigned 2^31 + 5", [](vkState* L) { return result(L, vmCheckUnsigned(L, 1)); }, {num(2147483653.0)}, 0,
     "2147483653"},
    {"optional unsigned absent", [](vkState* L) { return result(L, vmOptUnsigned(L, 1, 9)); }, {}, 0, "9"},

    {"string from a number", [](vkState* L) { vmPushString(L, vmCheckString(L, 1, nullptr)); return 1; },
     {num(12.5)}, 0, "12.5"},
    {"string from nil", [](vkState* L) { size_t n = 9; vmCheckString(L, 1, &n); return result(L, n); }, {nil()},
     0, "0"},
    {"string from a table", [](vkState* L) { vmCheckString(L, 1, nullptr); return 0; }, {table({})}, 1139,
     "String expected in argument 1!"},
    {"string absent", [](vkState* L) { vmCheckString(L, 2, nullptr); return 0; }, {str("a")}, 1139,
     "String expected in argument 2!"},
    {"string of an older view", [](vkState* L) { return terminatedLength(L, 1); }, {olderView()}, 0, "66"},
    {"string of its own", [](vkState* L) { return terminatedLength(L, 2); }, {num(1), str("abc")}, 0, "3"},
    {"optional string absent",
     [](vkState* L) { vmPushString(L, vmOptString(L, 1, "dflt", nullptr)); return 1; }, {}, 0, "dflt"},
    {"optional string nil is empty",
     [](vkState* L) { size_t n = 9; vmOptString(L, 1, "dflt", &n); return result(L, n); }, {nil()}, 0, "0"},
    {"table from a number", [](vkState* L) { vmCheckTable(L, 1); return 0; }, {num(1)}, 1140,
     "Table expected in argument 1!"},
    {"function from a table", [](vkState* L) { vmCheckFunction(L, 2); return 0; }, {num(1), table({})}, 1185,
     "Function expected in argument 2!"},
    {"callback number", [](vkState* L) { int c; vmToNumberOrError(L, 1, &c); return result(L, c); }, {table({})},
     0, "1190"},
    {"callback string", [](vkState* L) { int c; vmToStringOrError(L, 1, nullptr, &c); return result(L, c); },
     {pointer()}, 0, "1259"},

    {"percent of a reference", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, false, nullptr)); },
     {str("50%")}, 0, "320"},
    {"percent over 100 refused", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, false, nullptr)); },
     {str("150%")}, 1184, "Invalid percent format in argument 1!"},
    {"percent over 100 allowed", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, true, nullptr)); },
     {str("150%")}, 0, "960"},
    {"negative percent", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, true, nullptr)); },
     {str("-5%")}, 1184, "Invalid percent format in argument 1!"},
    {"percent without a number", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, true, nullptr)); },
     {str("half")}, 1184, "Invalid percent format in argument 1!"},
    {"number text without percent", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, false, nullptr)); },
     {str("700")}, 0, "700"},
    {"relative percent",
     [](vkState* L) { int rel = 5; double d = CheckNumberOrPercent(L, 1, 0, false, &rel); return result(L, d + rel * 10); },
     {str("25%")}, 0, "10.25"},
    {"percent from a table", [](vkState* L) { return result(L, CheckNumberOrPercent(L, 1, 640, false, nullptr)); },
     {table({})}, 1183, "String or number expected in argument 1!"},

    {"object id from a number", [](vkState* L) { return result(L, CheckObjectId(L, 1).number); }, {num(3.7)}, 0, "3"},
    {"object id from a table", [](vkState* L) { return result(L, CheckObjectId(L, 1).number); }, {table({})}, 1138,
     "Number expected in argument 1!"},
    {"automatic id from nil", [](vkState* L) { return result(L, OptObjectId(L, 1).automatic); }, {nil()}, 0, "1"},
    {"id request from a number", [](vkState* L) { auto r = OptObjectId(L, 1); return result(L, r.number * 10 + r.automatic); },
     {num(4)}, 0, "40"},
    {"id request absent", [](vkState* L) { return result(L, OptObjectId(L, 1).automatic); }, {}, 1138,
     "Number expected in argument 1!"},

    {"number field", [](vkState* L) { double d = -1; OptFieldNumber(L, 1, "x", &d, nullptr); return result(L, d); },
     {table({{"x", str("3")}})}, 0, "3"},
    {"number field absent keeps the value",
     [](vkState* L) { double d = -1; int p = 0; int r = OptFieldNumber(L, 1, "x", &d, &p); return result(L, d + r + p); },
     {table({})}, 0, "-1"},
    {"number field of text", [](vkState* L) { double d; OptFieldNumber(L, 1, "width", &d, nullptr); return 0; },
     {table({{"width", str("wide")}})}, 1189, "Number expected in table argument \"width\"!"},
    {"unsigned field", [](vkState* L) { uint32_t u = 0; OptFieldUnsigned(L, 1, "color", &u, nullptr); return result(L, u); },
     {table({{"color", num(-1)}})}, 0, "4294967295"},
    {"string field of a table", [](vkState* L) { std::string s; OptFieldString(L, 1, "name", &s, nullptr); return 0; },
     {table({{"name", table({})}})}, 1247, "String expected in table argument \"name\"!"},
    {"layer field by unknown name", [](vkState* L) { int32_t n; OptFieldLayerId(L, 1, "layer", &n, nullptr); return 0; },
     {table({{"layer", str("sky")}})}, 1369, "Cannot find layer \"sky\" in current BGPic!"},
    {"layer field of a pointer", [](vkState* L) { int32_t n; OptFieldLayerId(L, 1, "layer", &n, nullptr); return 0; },
     {table({{"layer", pointer()}})}, 1055, "Wrong usage/parameters for this command!\nRead the documentation!"},
    {"layer field by number", [](vkState* L) { int32_t n = 0; OptFieldLayerId(L, 1, "layer", &n, nullptr); return result(L, n); },
     {table({{"layer", num(2.9)}})}, 0, "2"},
    {"matrix of four", [](vkState* L) { double m[4]; OptFieldMatrix(L, 1, "m", m, nullptr); return result(L, m[0] + m[3]); },
     {table({{"m", list({1, 2, 3, 4})}})}, 0, "5"},
    {"matrix of three", [](vkState* L) { double m[4]; OptFieldMatrix(L, 1, "m", m, nullptr); return 0; },
     {table({{"m", list({1, 2, 3})}})}, 1014, "Not enough arguments!"},
    {"matrix not a table", [](vkState* L) { double m[4]; OptFieldMatrix(L, 1, "m", m, nullptr); return 0; },
     {table({{"m", num(1)}})}, 1140, "Table expected in argument 1!"},
};

class ArgCheckTest : public EngineTest {
 protected:
  // Calls [c]'s command with its arguments; returns the error code.
  int call(const CheckCase& c) {
    vmPushCClosure(L, c.command, 0);
    for (const Push& p : c.args) p(L);
    return vmPCall(L, static_cast<int>(c.args.size()), VK_MULTRET, 0);
  }
};

TEST_F(ArgCheckTest, ChecksAcceptConvertAndNameTheirFailures) {
  for (const CheckCase& c : kChecks) {
    SCOPED_TRACE(c.what);
    vmSetTop(L, 0);
    int code = call(c);
    EXPECT_EQ(code, c.code);
    if (code != 0) {
      EXPECT_EQ(FormatErrorMessage(code), c.outcome);
    } else {
      ASSERT_EQ(vmGetTop(L), 1);
      EXPECT_STREQ(vmToString(L, 1), c.outcome);
    }
  }
}

// The readers leave the stack as they found it, whatever the table index.
TEST_F(ArgCheckTest, FieldReadersLeaveTheStackAsFound) {
  pushTable(L, {{"a", num(5)}, {"b", str("text")}});
  vmPushNumber(L, 99);
  int32_t a = 0;
  std::string b;
  int present = 0;
  EXPECT_EQ(OptFieldInt(L, -2, "a", &a, &present), 1);
  EXPECT_EQ(OptFieldString(L, -2, "b", &b, nullptr), 1);
  EXPECT_EQ(OptFieldInt(L, -2, "c", &a, nullptr), 0);
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, "text");
  EXPECT_EQ(present, 1);
  EXPECT_EQ(vmGetTop(L), 2);
  EXPECT_EQ(vmToNumber(L, -1), 99);
}

TEST_F(ArgCheckTest, ObjectIdsByHandleAndResultFields) {
  int object = 0;
  vmPushCClosure(L, [](vkState* L) {
    vkObjectId id = CheckObjectId(L, 1);
    vmNewTable(L);
    SetFieldObjectId(L, "id", id);
    SetFieldObjectId(L, "n", {7, nullptr});
    return 1;
  }, 0);
  vmPushLightUserdata(L, &object);
  ASSERT_EQ(vmPCall(L, 1, 1, 0), 0);
  vmPushString(L, "id");
  vmGetTable(L, -2);
  EXPECT_EQ(vmToUserdata(L, -1), &object);
  vmPushString(L, "n");
  vmGetTable(L, -3);
  EXPECT_EQ(vmToNumber(L, -1), 7);
  EXPECT_EQ((vkObjectId{0, &object}), (vkObjectId{0, &object}));
  EXPECT_NE((vkObjectId{1, nullptr}), (vkObjectId{1, &object}));
}

TEST_F(ArgCheckTest, CallsAScriptFunctionByNameWhateverTheCase) {
  vktest::SetGlobalCommand(L, "addup", [](vkState* L) {
    double sum = 0;
    for (int i = 1; i <= vmGetTop(L); i++) sum += vmToNumber(L, i);
    vmPushNumber(L, sum);
    vmPushString(L, vmToString(L, 3));
    return 2;
  });
  EXPECT_EQ(CallScriptFunction(nullptr, "AddUp", 1, {}), 0u);
  vkObjectId id{5, nullptr};
  EXPECT_EQ(CallScriptFunction(L, "AddUp", 2,
                               {vkScriptArg::ofInt(-2), vkScriptArg::ofUnsigned(0xFFFFFFFFu), vkScriptArg::ofString("3"),
                                vkScriptArg::ofNil(), vkScriptArg::ofObjectId(id)}),
            0u);
  ASSERT_EQ(vmGetTop(L), 2);
  EXPECT_EQ(vmToNumber(L, 1), -2.0 + 4294967295.0 + 3 + 5);
  EXPECT_STREQ(vmToString(L, 2), "3");
}

TEST_F(ArgCheckTest, CallingAMissingFunctionRaises1133) {
  vmPushCClosure(L, [](vkState* L) { CallScriptFunction(L, "NoSuchThing", 0, {}); return 0; }, 0);
  EXPECT_EQ(vmPCall(L, 0, 0, 0), 1133);
}

}  // namespace

namespace {

struct ConstantCase {
  std::string text;
  int code;
  size_t consumed;
  double number;
  const char* string;  // NULL: a number constant
};

TEST_F(ArgCheckTest, ParsesConstantNamesAfterTheHash) {
  static std::string longName(64, 'a');
  static const vkConstantDef constants[] = {
      {"IMGFMT_PNG", nullptr, 4},
      {"VERSION$", "1.0", 0},
      {longName.c_str(), nullptr, 64},
      {nullptr, nullptr, 0},
  };
  vmRegisterConstants(L, constants);
  const ConstantCase cases[] = {
      {"#imgfmt_png", 0, 11, 4, nullptr},
      {"#IMGFMT_PNG + 1", 0, 11, 4, nullptr},
      {"#Version$!", 1042, 0, 0, nullptr},  // "!" belongs to the name
      {"#version$", 0, 9, 0, "1.0"},
      {"#" + longName + "b", 0, 65, 64, nullptr},  // only 64 characters count
      {"IMGFMT_PNG", 1055, 0, 0, nullptr},
      {"#1abc", 1018, 0, 0, nullptr},
      {"#", 1018, 0, 0, nullptr},
      {"#nosuch", 1042, 0, 0, nullptr},
  };
  for (const ConstantCase& c : cases) {
    SCOPED_TRACE(c.text);
    size_t consumed = 0;
    const char* s = nullptr;
    double n = 0;
    EXPECT_EQ(ParseConstantName(L, c.text.c_str(), &consumed, &s, &n), c.code);
    if (c.code != 0) continue;
    EXPECT_EQ(consumed, c.consumed);
    if (c.string) {
      EXPECT_STREQ(s, c.string);
    } else {
      EXPECT_EQ(s, nullptr);
      EXPECT_EQ(n, c.number);
    }
  }
  EXPECT_EQ(vmGetTop(L), 0);
}

}  // namespace

namespace {

// Percentages are read in the C locale even where the user's locale writes
// decimals with a comma.
TEST_F(ArgCheckTest, PercentagesIgnoreTheUserLocale) {
  const char* previous = setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  if (!setlocale(LC_NUMERIC, "de_DE.UTF-8") && !setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  vmPushCClosure(L, [](vkState* L) {
    vmPushNumber(L, CheckNumberOrPercent(L, 1, 200, false, nullptr));
    return 1;
  }, 0);
  vmPushString(L, "12.5%");
  int code = vmPCall(L, 1, 1, 0);
  setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_EQ(code, 0);
  EXPECT_EQ(vmToNumber(L, -1), 25);
}

}  // namespace
