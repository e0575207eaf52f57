// The debug interface on a running chunk: call levels with their kind,
// names, lines and tail calls; locals; the line hook; the '>' form.
#include "base/errorcodes.h"
#include "engine/debug.h"

#include <string>
#include <vector>

#include "base/errorinfo.h"
#include "engine/vmapi.h"
#include "support/services.h"

namespace {

using vktest::ServicesTest;
using DebugTest = ServicesTest;

std::vector<std::vector<std::string>> gProbes;

// Describes every level as "what name kind line defined source".
int Probe(vkState* L) {
  std::vector<std::string> levels;
  vkDebugInfo ar{};
  int level = 0;
  for (; vmGetStack(L, level, &ar); level++) {
    EXPECT_EQ(vmGetInfo(L, "Snlu", &ar), 1);
    levels.push_back(std::string(ar.what) + " " + (ar.name ? ar.name : "-") + " " + ar.namewhat + " " +
                     std::to_string(ar.currentline) + " " + std::to_string(ar.linedefined) + " " + ar.shortSrc);
  }
  EXPECT_EQ(vmGetStack(L, level + 1, &ar), 0);
  gProbes.push_back(levels);
  // Local 1 of the caller's caller, when it is "copy", becomes 5.
  if (vmGetStack(L, 2, &ar)) {
    const char* name = vmGetLocal(L, &ar, 1);
    if (name && std::string(name) == "copy") {
      EXPECT_EQ(vmType(L, -1), VK_TFUNCTION);
      vmPushNumber(L, 5);
      EXPECT_STREQ(vmSetLocal(L, &ar, 1), "copy");
    }
  }
  return 0;
}

const char* kLevels = R"(
.source "script.vk"
.line 1
  GETGLOBAL 1 "probe"
  CALL 1 1 1
  CLOSURE 0 f
  SETGLOBAL 0 "viaglobal"
  CLOSURE 0 g
  SETGLOBAL 0 "tailcaller"
.line 2
  GETGLOBAL 0 "viaglobal"
  CALL 0 1 1
.line 3
  GETGLOBAL 0 "viaglobal"
copystart:
  MOVE 1 0
  CALL 1 1 1
  SETGLOBAL 0 "copyafter"
copyend:
.line 4
  CLOSURE 2 anon
  CALL 2 1 1
.line 5
  GETGLOBAL 0 "tailcaller"
  CALL 0 1 1
  RETURN 0 1
.local "copy" copystart copyend
.function f
.linedefined 10
.line 11
  GETGLOBAL 0 "probe"
  CALL 0 1 1
  RETURN 0 1
.end
.function anon
.linedefined 20
.line 21
  GETGLOBAL 0 "probe"
  CALL 0 1 1
  RETURN 0 1
.end
.function g
.linedefined 30
.line 31
  GETGLOBAL 0 "viaglobal"
  TAILCALL 0 1 0
  RETURN 0 0
.end
)";

TEST_F(DebugTest, LevelsNamesAndLines) {
  gProbes.clear();
  vmPushString(L, "probe");
  vmPushCClosure(L, Probe, 0);
  vmRawSet(L, VK_GLOBALSINDEX);
  ASSERT_EQ(RunListing(kLevels), 0);
  // The main chunk has no name; neither has a function held by no variable.
  const std::string probe = "C probe global -1 -1 [C]";
  const std::string src = " [string \"script.vk\"]";
  const std::vector<std::vector<std::string>> expected = {
      {probe, "main -  1 0" + src},
      {probe, "Vellumark viaglobal global 11 10" + src, "main -  2 0" + src},
      {probe, "Vellumark copy local 11 10" + src, "main -  3 0" + src},
      {probe, "Vellumark -  21 20" + src, "main -  4 0" + src},
      // A function reached by a tail call is named by its global; the lost
      // caller is a level of its own.
      {probe, "Vellumark viaglobal global 11 10" + src, "tail   -1 -1 (tail call)", "main -  5 0" + src},
  };
  EXPECT_EQ(gProbes, expected);
  EXPECT_EQ(GlobalNumber("copyafter"), 5);  // set through vmSetLocal
}

TEST_F(DebugTest, LineHookSeesEveryNewLine) {
  static std::vector<std::string> lines;
  lines.clear();
  vmSetHook(L, [](vkState* L, vkDebugInfo* ar) {
    vkDebugInfo info = *ar;
    vmGetInfo(L, "S", &info);
    lines.push_back(std::string(info.what) + ":" + std::to_string(ar->currentline));
  }, VK_MASKLINE, 0);
  ASSERT_EQ(RunListing(R"(
.source "script.vk"
.line 1
  CLOSURE 0 f
.line 2
  CALL 0 1 1
.line 3
  LOADK 0 #1
  LOADK 0 #2
  RETURN 0 1
.function f
.linedefined 7
.line 8
  LOADK 0 #1
.line 9
  RETURN 0 1
.end
)"),
            0);
  // The first instruction after installing the hook only starts the tracing.
  EXPECT_EQ(lines, (std::vector<std::string>{"main:2", "Vellumark:8", "Vellumark:9", "main:3"}));
  vmSetHook(L, nullptr, 0, 0);
  EXPECT_EQ(L->hook, nullptr);
  EXPECT_EQ(L->hookMask, 0);
}

TEST_F(DebugTest, InfoOfAFunctionOnTheStack) {
  vmPushCClosure(L, Probe, 0);
  vkDebugInfo ar{};
  ASSERT_EQ(vmGetInfo(L, ">Su", &ar), 1);
  EXPECT_STREQ(ar.what, "C");
  EXPECT_STREQ(ar.source, "=[C]");
  EXPECT_EQ(ar.linedefined, -1);
  EXPECT_EQ(vmGetTop(L), 0);  // popped

  vmPushCClosure(L, Probe, 0);
  EXPECT_EQ(vmGetInfo(L, ">x", &ar), 0);  // unknown letter

  // A value that is no function raises 1185.
  int status = vmCPCall(L, [](vkState* L) {
    vmPushNumber(L, 3);
    vkDebugInfo info{};
    vmGetInfo(L, ">S", &info);
    return 0;
  }, nullptr);
  EXPECT_EQ(status, kErrFunctionExpected);
  EXPECT_EQ(ErrorInfo().errorNumber, 1);
}

TEST_F(DebugTest, NoLevelsOutsideACall) {
  vkDebugInfo ar{};
  EXPECT_EQ(vmGetStack(L, 0, &ar), 0);
  EXPECT_EQ(vmGetStack(L, -1, &ar), 0);
}

}  // namespace
