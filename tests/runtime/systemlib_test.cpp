// The system library's commands as tables of calls and what they give:
// lists and Sort, CopyTable, values and metatables, dates and CompareDates,
// stopwatches, version and constants, the scripted requester backend, the
// clipboard's text and pictures (through brush hooks a test installs), the
// layer flush of CollectGarbage, and the argument errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <variant>

#include "base/errorinfo.h"
#include "engine/attributes.h"
#include "engine/errormessages.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "platform/vkos.h"
#include "platform/vkos_requesters.h"
#include "platform/vkos_clipboard.h"
#include "runtime/context.h"
#include "runtime/eventlib.h"
#include "runtime/eventstate.h"
#include "runtime/stringlib.h"
#include "runtime/systemlib.h"
#include "support/libcall.h"

namespace {

using vktest::Arg;

int LessThan(vkState* L) {
  vmPushNumber(L, vmToNumber(L, 1) < vmToNumber(L, 2) ? 1 : 0);
  return 1;
}

int Always(vkState* L) {
  vmPushNumber(L, 1);
  return 1;
}

class SystemLib : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    unsetenv("VK_REQUESTER_ANSWERS");
    ASSERT_EQ(vkosInit(), 0);
    ErrorInfo() = vkErrorInfo{};
    L = vmNewState();
    ASSERT_NE(L, nullptr);
    AttachProgramContext(L, &context_);
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenStringLibrary(L), 0);  // tostring for the debug output
    vmSetTop(L, 0);
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenSystemLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeAllStopwatches(L);
    LibraryTest::TearDown();
    L = nullptr;
    vkosExit();
    unsetenv("VK_REQUESTER_ANSWERS");
  }

  // The global [name] made a list of [items] at 0, 1, ...
  void List(const char* name, std::vector<std::variant<double, const char*>> items) {
    vmPushString(L, name);
    vmNewTable(L);
    for (size_t i = 0; i < items.size(); i++) {
      if (auto* d = std::get_if<double>(&items[i]))
        vmPushNumber(L, *d);
      else
        vmPushString(L, std::get<const char*>(items[i]));
      vmRawSetI(L, -2, int(i));
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }

  // The field [key] of the table the last call left at stack index 1.
  std::string Field(const char* key) {
    vmPushString(L, key);
    vmGetTable(L, 1);
    std::string out = vmType(L, -1) == VK_TNIL ? "nil" : vmToString(L, -1);
    vmSetTop(L, -2);
    return out;
  }

  vkProgramContext context_;
};

TEST_F(SystemLib, ListsAndSorting) {
  List("n", {3.0, 1.0, 2.0, 5.0, 4.0});
  List("s", {"b", "A", "c"});
  List("e", {"b", "a", "", "0"});  // Sort stops at the empty string
  RunCases({
      {"Sort", {Arg::global("n"), Arg::function(LessThan)}, ""},
      {"ListItems", {Arg::global("n")}, "5"},
      {"Unpack", {Arg::global("n")}, "1, 2, 3, 4, 5"},
      {"Sort", {Arg::global("s")}, ""},
      {"Unpack", {Arg::global("s")}, "\"A\", \"b\", \"c\""},
      {"Sort", {Arg::global("e")}, ""},
      {"Unpack", {Arg::global("e")}, "\"a\", \"b\", \"\", \"0\""},
      {"Sort", {Arg::global("n"), Arg::function(Always)}, "error 1362"},
      {"Sort", {Arg::global("n"), 5}, "error 1185"},
      {"InsertItem", {Arg::global("s"), "x", 10}, ""},
      {"InsertItem", {Arg::global("s"), "y", 0}, ""},
      {"Unpack", {Arg::global("s")}, "\"y\", \"A\", \"b\", \"c\", \"x\""},
      {"RemoveItem", {Arg::global("s"), 1}, "\"A\""},
      {"RemoveItem", {Arg::global("s")}, "\"x\""},
      {"Unpack", {Arg::global("s")}, "\"y\", \"b\", \"c\""},
      {"RemoveItem", {Arg::table()}, ""},
      {"ListItems", {5}, "error 1140"},
  });
}

TEST_F(SystemLib, TablesAndValues) {
  List("t", {"a", "b"});
  vmPushString(L, "meta");
  vmNewTable(L);
  vmPushString(L, "__metatable");
  vmPushString(L, "locked");
  vmRawSet(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  RunCases({
      {"CopyTable", {Arg::global("t")}, "{\"a\", \"b\"}"},
      {"CopyTable", {1}, "error 1140"},
      {"GetType", {nullptr}, "0"},
      {"GetType", {1}, "2"},
      {"GetType", {"x"}, "3"},
      {"GetType", {Arg::table()}, "4"},
      {"GetType", {Arg::function(Always)}, "5"},
      {"GetType", {Arg::handle(&context_)}, "9"},
      {"IIf", {1, "a", "b"}, "\"a\""},
      {"IIf", {"", "a", "b"}, "\"b\""},
      {"IIf", {nullptr, "a", "b"}, "\"b\""},
      {"IIf", {Arg::table(), "a", "b"}, "error 1019"},
      {"SetMetaTable", {Arg::global("t"), 5}, "error 1237"},
      {"SetMetaTable", {5, nullptr}, "error 1140"},
      {"SetMetaTable", {Arg::global("t"), Arg::global("meta")}, "{\"a\", \"b\"}"},
      {"GetMetaTable", {Arg::global("t")}, "\"locked\""},
      {"SetMetaTable", {Arg::global("t"), nullptr}, "error 1238"},
      {"RawEqual", {Arg::global("t"), Arg::global("t")}, "1"},
      {"RawGet", {Arg::global("t"), 1}, "\"b\""},
      {"NextItem", {Arg::table()}, "nil"},
      {"IPairs", {Arg::global("t"), 0}, "1, \"b\""},
      {"IPairs", {Arg::global("t"), 1}, ""},
      {"GetErrorName", {1000}, "\"Out of memory!\""},
      {"Error", {"my own words"}, "error 1239"},
      {"GetConstant", {"#TICKS"}, "2"},
      {"GetConstant", {"TICKS"}, "error 1055"},
      {"GetConstant", {"#1A"}, "error 1018"},
      {"GetConstant", {"#NOSUCHTHING"}, "error 1042"},
      {"GetMemoryInfo", {2}, "error 1055"},
  });
  EXPECT_EQ(FormatErrorMessage(1239), "my own words");
}

TEST_F(SystemLib, VersionNamesThisPlatform) {
  ASSERT_EQ(Call("GetVersion", {}), "{}");
  EXPECT_EQ(Field("application"), "VellumarkPlayer");
  EXPECT_EQ(Field("version"), "4.7");
  EXPECT_EQ(Field("kernel_date"), "21.04.10");
  EXPECT_EQ(Field("beta"), "0");
  EXPECT_EQ(Field("platform"), "Linux");
}

TEST_F(SystemLib, DatesAndTimes) {
  EXPECT_TRUE(std::regex_match(Call("GetTime", {}), std::regex("\"\\d\\d:\\d\\d\"")));
  EXPECT_TRUE(std::regex_match(Call("GetTime", {1}), std::regex("\"\\d\\d:\\d\\d:\\d\\d\"")));
  EXPECT_TRUE(std::regex_match(Call("GetDate", {1}),
                               std::regex("\"\\d\\d-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-20\\d\\d "
                                          "\\d\\d:\\d\\d:\\d\\d\"")));
  EXPECT_EQ(Call("GetDateNum", {9}), "0");
  const std::string now = Call("GetDate", {1});
  EXPECT_EQ(Call("CompareDates", {now.substr(1, 20), now.substr(1, 20)}), "0");
  RunCases({
      {"CompareDates", {"01-Jan-2010 00:00:00", "31-Dec-2009 23:59:59"}, "1"},
      {"CompareDates", {"31-Dec-2009 23:59:59", "01-Jan-2010 00:00:00"}, "2"},
      {"CompareDates", {"01-jan-2010", "01-JAN-2010", 1}, "0"},
      {"CompareDates", {"02-Mar-2010 10:00:00", "02-Mar-2010 09:59:59", 1}, "error 1285"},
      {"CompareDates", {"02-Mar-2010", "01-Mar-2010", 1}, "1"},
      {"CompareDates", {"01-Foo-2010 00:00:00", "01-Jan-2010 00:00:00"}, "error 1285"},
      {"CompareDates", {"30-Feb-2010 00:00:00", "01-Jan-2010 00:00:00"}, "error 1285"},
      {"CompareDates", {"29-Feb-2012 00:00:00", "01-Jan-2010 00:00:00"}, "1"},
      {"CompareDates", {"01-Jan-2010 24:00:00", "01-Jan-2010 00:00:00"}, "error 1285"},
      {"CompareDates", {"01-Jan-2010", "01-Jan-2010"}, "error 1285"},
  });
}

TEST_F(SystemLib, Stopwatches) {
  RunCases({
      {"StartTimer", {1}, ""},
      {"StartTimer", {nullptr}, "handle"},
      {"GetTimer", {7}, "error 1181"},
      {"GetTimer", {Arg::handle(&context_)}, "error 1041"},
      {"ResetTimer", {1, 1000}, ""},
      {"PauseTimer", {1}, ""},
      {"GetTimer", {1}, "1000"},
      {"WaitTimer", {1, 10}, "error 1055"},
      {"ResumeTimer", {1}, ""},
      {"WaitTimer", {1, 500}, ""},  // already past: no wait, then from 0
      {"StopTimer", {1}, ""},
      {"StopTimer", {1}, "error 1181"},
  });
}

TEST_F(SystemLib, ScriptedRequestersAnswerFromTheEnvironment) {
  setenv("VK_REQUESTER_ANSWERS", "2\n!\n/tmp/a/x.txt|/tmp/a/y.txt\n/home\nhello\n12ab", 1);
  RunCases({
      {"SystemRequest", {"T", "Pick", "Yes|No|Maybe"}, "2"},
      {"SystemRequest", {"T", "Pick", "Yes|No"}, "0"},
      {"FileRequest", {"Files", "txt|.doc", 1}, "{\"/tmp/a/x.txt\", \"/tmp/a/y.txt\", \"\"}"},
      {"PathRequest", {"Folder"}, "\"/home\""},
      {"StringRequest", {"T", "Name?", "", 0, 3}, "\"hel\", 1"},
      {"StringRequest", {"T", "Number?", "", 3}, "\"0\", 1"},
      {"StringRequest", {"T", "More?"}, "\"\", 0"},  // answers used up: cancelled
      {"FileRequest", {"File", "*"}, "\"\""},
      {"FileRequest", {"File", "*", 3}, "error 1055"},
      {"PathRequest", {"Folder", 1}, "error 1055"},
      {"StringRequest", {"T", "x", "", 1}, "error 1055"},
  });
}

TEST(RequesterPatterns, Extensions) {
  const struct {
    const char* pattern;
    std::vector<std::string> extensions;
  } cases[] = {{"", {}}, {"*", {}}, {"*.txt", {}}, {"#?", {}}, {"txt", {".txt"}}, {"txt|.doc", {".txt", ".doc"}}};
  for (const auto& c : cases) EXPECT_EQ(vkosPatternExtensions(c.pattern), c.extensions) << c.pattern;
}

TEST_F(SystemLib, ClipboardTextRoundTrips) {
  RunCases({
      {"SetClipboard", {1, "a\rb\xE9"}, ""},
      {"PeekClipboard", {}, "1"},
      {"GetClipboard", {}, "1, \"a\nb\xE9\""},
      {"ClearClipboard", {}, ""},
      {"GetClipboard", {}, "0"},
      {"SetClipboard", {7, "x"}, "error 1055"},
  });
}

// Brushes as a test keeps them: number 5 is a 2 x 2 picture with alpha,
// and the brush a clipboard picture becomes is remembered.
struct TestBrushes {
  static inline vkOSClipboardImage made;
  static inline uint32_t flushed = 0;
  static int Picture(vkState* L, int index, vkBrushPicture* out) {
    if (vmToNumber(L, index) != 5) return 1174;
    *out = vkBrushPicture{2, 2, {0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0xFF123456u}, true};
    return 0;
  }
  static int FromImage(vkState* L, vkOSClipboardImage&& image) {
    made = std::move(image);
    vmPushString(L, "brush");
    return 0;
  }
  static void Flush(vkState*, uint32_t kinds) { flushed = kinds; }
};

class SystemLibWithEvents : public SystemLib {
 protected:
  void SetUp() override {
    SystemLib::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenEventLibrary(L), 0);
    vmSetTop(L, 0);
    TestBrushes::made = vkOSClipboardImage{};
    TestBrushes::flushed = 0;
  }
  void TearDown() override {
    FreeAllEventObjects(L);
    SystemLib::TearDown();
  }
  void InstallBrushes() {
    vkEventHooks& hooks = EventStateOf(L)->hooks;
    hooks.brushPicture = TestBrushes::Picture;
    hooks.brushFromImage = TestBrushes::FromImage;
    hooks.flushLayerCaches = TestBrushes::Flush;
  }
};

TEST_F(SystemLibWithEvents, ClipboardPicturesComeFromBrushesAndBecomeBrushes) {
  // Without a brush library no brush exists, and a picture comes back as its type alone.
  RunCases({
      {"SetClipboard", {2, 5}, "error 1174"},
      {"SetClipboard", {2, "x"}, "error 1138"},
  });
  InstallBrushes();
  RunCases({
      {"SetClipboard", {2, 6}, "error 1174"},
      {"SetClipboard", {2, 5}, ""},
      {"PeekClipboard", {}, "2"},
      {"GetClipboard", {}, "2, \"brush\""},
  });
  const vkOSClipboardImage& image = TestBrushes::made;
  ASSERT_EQ(image.width, 2);
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0xFF0000u, 0x00FF00u, 0x0000FFu, 0x123456u}));
  ASSERT_EQ(image.alpha.size(), 8u);  // rows of four bytes
  EXPECT_EQ(image.alpha[0], 0xFF);
  EXPECT_EQ(image.alpha[1], 0x80);
  EXPECT_EQ(image.alpha[4], 0x00);
  EXPECT_EQ(image.alpha[5], 0xFF);
  // Text replaces the picture, and a picture the text.
  RunCases({
      {"SetClipboard", {1, "t"}, ""},
      {"PeekClipboard", {}, "1"},
      {"SetClipboard", {2, 5}, ""},
      {"PeekClipboard", {}, "2"},
  });
  EventStateOf(L)->hooks.brushFromImage = nullptr;
  RunCases({{"GetClipboard", {}, "2"}});
}

TEST_F(SystemLibWithEvents, CollectGarbageFlushesWhatOnlyLayersKept) {
  RunCases({{"CollectGarbage", {}, ""}});
  EXPECT_EQ(TestBrushes::flushed, 0u);
  InstallBrushes();
  RunCases({{"CollectGarbage", {}, ""}});
  EXPECT_EQ(TestBrushes::flushed, 15u);
}

}  // namespace
