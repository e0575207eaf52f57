// The string library: each command's results at the edges of its text
// (negative and past-the-end positions, empty pieces, overlapping matches)
// and its refusals.
#include "runtime/stringlib.h"

#include <string>

#include "support/libcall.h"

namespace {

using vktest::Arg;
using vktest::CallCase;

class StringLibTest : public vktest::LibraryTest {
 protected:
  void SetUp() override { OpenLibrary(OpenStringLibrary); }
};

TEST_F(StringLibTest, CaseNumbersAndCharacters) {
  RunCases({
      {"LowerStr", {"AbC\xC4z9"}, "\"abc\xC4z9\""},  // bytes past ASCII stay as they are
      {"UpperStr", {"abc\xE4"}, "\"ABC\xE4\""},
      {"upperstr", {12}, "\"12\""},
      {"Val", {"$10"}, "16, 3"},
      {"Val", {"-%101z"}, "-5, 5"},
      {"Val", {"0x1f"}, "31, 4"},
      {"Val", {"12.5kg"}, "12.5, 4"},
      {"Val", {"kg"}, "0, 0"},
      {"Val", {"$"}, "0, 0"},
      {"StrStr", {3.14159}, "\"3.14\""},
      {"StrStr", {3.14159, 0}, "\"3\""},
      {"StrStr", {3.14159, -1}, "\"3.\""},
      {"StrStr", {2.5, 4}, "\"2.5\""},
      {"StrStr", {7}, "\"7\""},
      {"StrStr", {1e20}, "\"1e+20\""},
      {"Chr", {65}, "\"A\""},
      {"Chr", {0}, "\"\""},
      {"Chr", {255}, "\"\xFF\""},
      {"Chr", {256}, "error 1055"},
      {"Chr", {-1}, "error 1055"},
      {"Asc", {"\xE9t\xE9"}, "233"},
      {"Asc", {""}, "0"},
      {"StrLen", {std::string("a\0b", 3)}, "3"},
      {"StrLen", {nullptr}, "0"},
      {"HexStr", {255}, "\"$FF\""},
      {"HexStr", {-1}, "\"$FFFFFFFF\""},
      {"HexStr", {4294967295.0}, "\"$FFFFFFFF\""},
      {"HexStr", {0}, "\"$0\""},
      {"BinStr", {5, 7}, "\"00000101\""},
      {"BinStr", {-1, 6}, "\"1111111111111111\""},
      {"BinStr", {2147483649.0}, "\"10000000000000000000000000000001\""},
      {"BinStr", {5, 2}, "\"\""},
      {"PadNum", {42, 5}, "\"00042\""},
      {"PadNum", {123456, 3}, "\"123456\""},
      {"PadNum", {-1, 3}, "error 1055"},
      {"PadNum", {1, 0}, "error 1055"},
      {"AddStr", {"ab", 5}, "\"ab5\""},
  });
}

TEST_F(StringLibTest, PiecesByPosition) {
  RunCases({
      {"LeftStr", {"abcdef", 2}, "\"ab\""},
      {"LeftStr", {"abcdef", 0}, "\"\""},
      {"LeftStr", {"abcdef", -3}, "\"\""},
      {"LeftStr", {"abcdef", 99}, "\"abcdef\""},
      {"RightStr", {"abcdef", 2}, "\"ef\""},
      {"RightStr", {"abcdef", -1}, "\"\""},
      {"RightStr", {"abcdef", 99}, "\"abcdef\""},
      {"MidStr", {"abcdef", 2, 3}, "\"cde\""},
      {"MidStr", {"abcdef", 4, 99}, "\"ef\""},
      {"MidStr", {"abcdef", 6, 1}, "\"\""},
      {"MidStr", {"abcdef", -2, 3}, "\"\""},
      {"MidStr", {"abcdef", 1, 0}, "\"\""},
      {"MidStr", {"abcdef", 2147483647.0, 2147483647.0}, "\"\""},
      {"UnrightStr", {"abcdef", 2}, "\"cdef\""},
      {"UnrightStr", {"abcdef", 6}, "\"\""},
      {"UnrightStr", {"abcdef", 99}, "\"\""},
      {"UnrightStr", {"abcdef", -1}, "error 1055"},
      {"UnleftStr", {"abcdef", 2}, "\"abcd\""},
      {"UnleftStr", {"abcdef", 99}, "\"\""},
      {"UnleftStr", {"abcdef", -1}, "error 1055"},
      {"UnmidStr", {"abcdef", 1, 2}, "\"adef\""},
      {"UnmidStr", {"abcdef", 4, 99}, "\"abcd\""},
      {"UnmidStr", {"abcdef", 9, 2}, "\"abcdef\""},
      {"UnmidStr", {"abcdef", 2, 0}, "\"abcdef\""},
      {"UnmidStr", {"abcdef", -1, 2}, "error 1055"},
      {"UnmidStr", {"abcdef", 1, -2}, "error 1055"},
      {"InsertStr", {"abcdef", "XY", 2}, "\"abXYcdef\""},
      {"InsertStr", {"abcdef", "XY", 2, 1}, "\"abXYef\""},
      {"InsertStr", {"abcdef", "XYZ", 4, 1}, "\"abcdXYZ\""},
      {"InsertStr", {"abcdef", "XY", 99}, "\"abcdefXY\""},
      {"InsertStr", {"", "XY", 5}, "\"XY\""},
      {"InsertStr", {"abc", "", 1}, "\"abc\""},
      {"InsertStr", {"abc", "X", -1}, "error 1055"},
      {"TrimStr", {"xxabcxx", "x", 0}, "\"abcxx\""},
      {"TrimStr", {"xxabcxx", "x", 1}, "\"xxabc\""},
      {"TrimStr", {"xxxx", "x", 1}, "\"\""},
      {"TrimStr", {"abc", "xy", 0}, "error 1055"},
      {"TrimStr", {"abc", "", 0}, "error 1055"},
  });
}

TEST_F(StringLibTest, SearchingCountingAndReplacing) {
  RunCases({
      {"FindStr", {"xabc", "ABC", 0}, "1"},
      {"FindStr", {"xabc", "ABC"}, "-1"},
      {"FindStr", {"abcabc", "bc", 1, 2}, "4"},
      {"FindStr", {"abcabc", "bc", 1, 6}, "-1"},
      {"FindStr", {"abc", "bcd"}, "-1"},  // a match must lie inside the text
      {"FindStr", {"", "a"}, "-1"},
      {"FindStr", {"abc", ""}, "-1"},
      {"FindStr", {"abc", "a", 1, -1}, "error 1055"},
      {"CountStr", {"aaaa", "aa"}, "2"},  // matches never overlap
      {"CountStr", {"aAaA", "aa", 0}, "2"},
      {"CountStr", {"abab", "ab", 1, 1}, "1"},
      {"CountStr", {"abab", "", 1}, "0"},
      {"CountStr", {"abab", "ab", 1, 4}, "0"},
      {"CountStr", {"abab", "ab", 1, -1}, "error 1055"},
      {"ReplaceStr", {"aaaa", "aa", "b"}, "\"bb\""},
      {"ReplaceStr", {"aaa", "aa", "b"}, "\"ba\""},
      {"ReplaceStr", {"a.b.c", ".", ""}, "\"abc\""},
      {"ReplaceStr", {"Hello hello", "HELLO", "bye", 0}, "\"bye bye\""},
      {"ReplaceStr", {"abab", "ab", "x", 1, 1}, "\"abx\""},
      {"ReplaceStr", {"abab", "ab", "x", 1, 99}, "\"abab\""},
      {"ReplaceStr", {"abab", "", "x"}, "\"abab\""},
      {"ReplaceStr", {"", "a", "x"}, "\"\""},
      {"ReplaceStr", {"abc", "b", "bbb"}, "\"abbbc\""},  // the replacement is not searched again
      {"ReplaceStr", {"abc", "a", "x", 1, -1}, "error 1055"},
      {"SplitStr", {"a,b,,c", ","}, "{\"a\", \"b\", \"\", \"c\"}, 4"},
      {"SplitStr", {"a,b,", ","}, "{\"a\", \"b\", \"\"}, 3"},
      {"SplitStr", {",", ","}, "{\"\", \"\"}, 2"},
      {"SplitStr", {"", ","}, "{\"\"}, 1"},
      {"SplitStr", {"abc", ","}, "{\"abc\"}, 1"},
      {"SplitStr", {"a,b", ",,"}, "error 1055"},
      {"SplitStr", {"a,b", ""}, "error 1055"},
      {"StrToArray", {"AB"}, "{65, 66, 0}"},
      {"StrToArray", {""}, "{0}"},
  });
}

TEST_F(StringLibTest, ConversionsBetweenNumbersAndText) {
  RunCases({
      {"ToString", {nullptr}, "\"Nil\""},
      {"ToString", {0.1}, "\"0.1\""},
      {"ToString", {"text"}, "\"text\""},
      {"ToNumber", {"ff", 16}, "255"},
      {"ToNumber", {"  -1", 16}, "4294967295"},
      {"ToNumber", {"101 ", 2}, "5"},
      {"ToNumber", {"12z", 10}, "0"},
      {"ToNumber", {"12z"}, "0"},
      {"ToNumber", {"$ff"}, "255"},
      {"ToNumber", {"1e3"}, "1000"},
      {"ToNumber", {0.1}, "0.1"},
      {"ToNumber", {"z", 36}, "35"},
      {"ToNumber", {"", 16}, "0"},
      {"ToNumber", {"- 5", 16}, "0"},
      {"ToNumber", {"1ffffffff", 16}, "4294967295"},
      {"ToNumber", {"1", 37}, "error 1055"},
      {"ToNumber", {"1", 1}, "error 1055"},
  });
  std::string table = Call("ToString", {Arg::table()});
  EXPECT_EQ(table.rfind("\"Table: ", 0), 0u) << table;
}

TEST_F(StringLibTest, ArgumentsAreChecked) {
  RunCases({
      {"StrLen", {}, "error 1014"},
      {"StrLen", {"a", "b"}, "error 1193"},
      {"LeftStr", {Arg::table(), 1}, "error 1139"},
      {"LeftStr", {"abc", "x"}, "error 1138"},
      {"FindStr", {"abc", "b", 1, 0, 5}, "error 1193"},
  });
}

}  // namespace
