// Command errors in running scripts: the erring function and line named three
// calls deep, the report built from the catalog, ExitOnError off recording
// only the code, and errors in callbacks unwinding to the protected call of
// the command that called them.
#include <string>

#include "engine/argcheck.h"
#include "engine/attributes.h"
#include "engine/call.h"
#include "engine/commandtrace.h"
#include "base/errorinfo.h"
#include "runtime/errorreport.h"
#include "engine/libraries.h"
#include "engine/runstate.h"
#include "engine/vmapi.h"
#include "runtime/context.h"
#include "support/services.h"

namespace {

using vktest::ServicesTest;

// Fails with "Cannot read file %s !" for a file in a folder.
int Fail(vkState*) {
  SetErrorText("/data/pictures/pic.iff");
  return 1045;
}
int GetLastError(vkState* L) {
  vmPushNumber(L, ErrorInfo().lastError);
  return 1;
}
int Nothing(vkState*) { return 0; }
// Calls its argument under a protected call and returns the status.
int Protect(vkState* L) {
  SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, 1}});
  vmPushValue(L, 1);
  int status = vmPCall(L, 0, 0, 0);
  SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, 0}});
  vmPushNumber(L, status);
  return 1;
}
// Calls its argument unprotected.
int Call(vkState* L) {
  vmPushValue(L, 1);
  vmCall(L, 0, 0);
  return 0;
}

const vkCommandDef kTestCommands[] = {
    {"Fail", Fail},       {"GetLastError", GetLastError}, {"Nothing", Nothing},
    {"Protect", Protect}, {"Call", Call},                 {nullptr, nullptr},
};

// main -> outer -> middle -> inner, each called through a global; inner runs
// the statement [erring] on line 32.
std::string ThreeDeep(const std::string& erring) {
  return R"(
.source "script.vk"
.line 1
  CLOSURE 0 outer
  SETGLOBAL 0 "outer"
  CLOSURE 0 middle
  SETGLOBAL 0 "middle"
  CLOSURE 0 inner
  SETGLOBAL 0 "inner"
.line 2
  GETGLOBAL 0 "outer"
  CALL 0 1 1
.line 3
  LOADK 0 #1
  SETGLOBAL 0 "after"
  RETURN 0 1
.function outer
.linedefined 10
.line 11
  GETGLOBAL 0 "middle"
  CALL 0 1 1
  RETURN 0 1
.end
.function middle
.linedefined 20
.line 21
  GETGLOBAL 0 "inner"
  CALL 0 1 1
  RETURN 0 1
.end
.function inner
.linedefined 30
.line 31
  LOADK 0 #1
.line 32
)" + erring + R"(
.line 33
  RETURN 0 1
.end
)";
}

class CommandErrorsTest : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    vmRegisterFunctions(L, nullptr, kTestCommands, 0);
    vmSetTop(L, 0);
    ASSERT_EQ(RegisterLibrary(L, kTestCommands, "test"), 0);
    EngineRun(L).lastErrorReader = GetLastError;
  }
  void TearDown() override {
    ServicesTest::TearDown();
  }
};

TEST_F(CommandErrorsTest, ErrorThreeCallsDeepNamesFunctionAndLine) {
  const struct {
    const char* what;
    std::string erring;
    int code;
    const char* function;
    const char* message;
  } cases[] = {
      // A command's error names the command as its library spells it; the
      // line is that of the script function that called it.
      {"command", "  GETGLOBAL 0 \"fail\"\n  CALL 0 1 1", 1045, "Fail", "Cannot read file pic.iff !"},
      // An error of the engine names the script function it was raised in.
      {"call of nil", "  GETGLOBAL 0 \"nosuch\"\n  CALL 0 1 1", 1133, "inner", "Function nosuch() not found!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ErrorInfo() = vkErrorInfo{};
    EXPECT_EQ(RunListing(ThreeDeep(c.erring)), c.code);
    EXPECT_EQ(ErrorInfo().functionName, c.function);
    EXPECT_EQ(ErrorInfo().errorLine, 32);
    EXPECT_EQ(ErrorInfo().currentChunkName, "script.vk");
    EXPECT_EQ(FormatErrorMessage(c.code), c.message);
    EXPECT_EQ(GlobalNumber("after"), 0);  // the script ended there
    vmSetTop(L, 0);
  }
}

TEST_F(CommandErrorsTest, InnermostNamedLevelNamesTheError) {
  // [body] runs in a function held by no variable, called from the main chunk.
  const struct {
    const char* what;
    std::string body;
    int code;
    const char* function;
  } cases[] = {
      {"command in an anonymous function", "  GETGLOBAL 0 \"fail\"\n  CALL 0 1 1", 1045, "Fail"},
      {"engine error in an anonymous function", "  GETGLOBAL 0 \"nosuch\"\n  CALL 0 1 1", 1133, "<<unnamed>>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ErrorInfo() = vkErrorInfo{};
    EXPECT_EQ(RunListing(R"(
.source "script.vk"
.line 1
  CLOSURE 0 anon
  CALL 0 1 1
  RETURN 0 1
.function anon
.linedefined 4
.line 5
)" + c.body + R"(
  RETURN 0 1
.end
)"),
              c.code);
    EXPECT_EQ(ErrorInfo().functionName, c.function);
    EXPECT_EQ(ErrorInfo().errorLine, 5);
  }
  // An error of the main chunk itself names no function.
  ErrorInfo() = vkErrorInfo{};
  EXPECT_EQ(RunListing(".source \"script.vk\"\n.line 7\n  GETGLOBAL 0 \"nosuch\"\n  CALL 0 1 1\n  RETURN 0 1\n"), 1133);
  EXPECT_EQ(ErrorInfo().functionName, "----");
  EXPECT_EQ(ErrorInfo().errorLine, 7);
}

TEST_F(CommandErrorsTest, ReportIsFileLineAndCatalogMessage) {
  // A script run from source: its name, the line counted from "beginline".
  vmSetRegistryString(L, "script", "script.vk");
  vmSetRegistryNumber(L, "beginline", 1);
  SetAttrs(L, nullptr, {{ATTR_LINEINFO, 1}});
  ASSERT_EQ(RunListing(ThreeDeep("  GETGLOBAL 0 \"fail\"\n  CALL 0 1 1")), 1045);
  EXPECT_EQ(ErrorInfo().stopFlag, 1u);

  std::string message;
  testing::internal::CaptureStdout();
  ReportFinalError(L, 1045, true, &message);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "script.vk:32: Cannot read file pic.iff !\n");
  EXPECT_EQ(message, "Cannot read file pic.iff !");

  // Without a window system the requester's report goes to standard error.
  testing::internal::CaptureStderr();
  ReportFinalError(L, 1045, false, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "script.vk:32: Cannot read file pic.iff !\n");
  EXPECT_EQ(ScriptErrorText(L, message, false),
            "Cannot read file pic.iff !\nFile: script.vk (current line: 32 - In function: Fail)");
  EXPECT_EQ(ScriptErrorText(L, message, true), message);

  // "User abort!" and no error are never reported.
  testing::internal::CaptureStdout();
  ReportFinalError(L, 1003, true, nullptr);
  ReportFinalError(L, 0, true, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  // Without line information there is no file: "Error: message".
  SetAttrs(L, nullptr, {{ATTR_LINEINFO, 0}});
  testing::internal::CaptureStdout();
  ReportFinalError(L, 1045, true, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Cannot read file pic.iff !\n");
}

TEST_F(CommandErrorsTest, AppletLinesMapThroughIncludeRanges) {
  vkApplet applet;
  applet.includeRanges = {
      {1, 30, 0, "main.vk", "script.vk"},
      {31, 40, 4, "include/parts.vk", "script.vk"},
      {31, 40, 100, "other.vk", "other chunk"},
  };
  vmSetRegistryString(L, "script", ":none:");
  vmSetRegistryPointer(L, "applet", &applet);
  SetAttrs(L, nullptr, {{ATTR_LINEINFO, 1}});
  ErrorInfo().currentChunkName = "script.vk";
  const struct {
    int32_t errorLine;
    const char* file;
    int32_t sourceLine;
  } cases[] = {{32, "include/parts.vk", 6}, {31, "include/parts.vk", 5}, {30, "main.vk", 30}, {41, "---", -1}};
  for (const auto& c : cases) {
    ErrorInfo().errorLine = c.errorLine;
    std::optional<std::string> file;
    int32_t line = 0;
    ErrorInfo().errorText = "x/pic.iff";
    EXPECT_EQ(FormatErrorMessage(L, 1045, &file, &line), "Cannot read file pic.iff !");
    EXPECT_EQ(file.value_or("(none)"), c.file) << c.errorLine;
    EXPECT_EQ(line, c.sourceLine) << c.errorLine;
  }
  ErrorInfo().errorLine = 32;
  ErrorInfo().functionName = "----";
  EXPECT_EQ(ScriptErrorText(L, "Oops", false), "Oops\nFile: parts.vk (current line: 6)");
}

TEST_F(CommandErrorsTest, ExitOnErrorOffOnlyRecordsTheCode) {
  SetAttrs(L, nullptr, {{ATTR_EXITONERROR, 0}});
  EXPECT_EQ(RunListing(R"(
.source "script.vk"
.line 5
  GETGLOBAL 0 "fail"
  CALL 0 1 2
  SETGLOBAL 0 "result"
.line 6
  GETGLOBAL 0 "getlasterror"
  CALL 0 1 2
  SETGLOBAL 0 "code"
.line 7
  GETGLOBAL 0 "nothing"
  CALL 0 1 1
  GETGLOBAL 0 "getlasterror"
  CALL 0 1 2
  SETGLOBAL 0 "cleared"
  LOADK 1 #7
  SETGLOBAL 1 "after"
  RETURN 0 1
)"),
            0);
  EXPECT_EQ(GlobalNumber("result"), 0);  // no result: nil
  EXPECT_EQ(GlobalNumber("code"), 1045);
  EXPECT_EQ(GlobalNumber("cleared"), 0);
  EXPECT_EQ(GlobalNumber("after"), 7);
  EXPECT_EQ(ErrorInfo().stopFlag, 0u);
  EXPECT_EQ(ErrorInfo().functionName, "----");
  EXPECT_EQ(ErrorInfo().errorLine, -1);
}

// main calls [command](cb2); cb2 calls protect(cb); cb calls fail.
std::string Callbacks(const char* command) {
  return std::string(R"(
.source "script.vk"
.line 1
  CLOSURE 0 cb
  SETGLOBAL 0 "cb"
  CLOSURE 0 cb2
  SETGLOBAL 0 "cb2"
.line 2
  GETGLOBAL 0 ")") + command + R"("
  GETGLOBAL 1 "cb2"
  CALL 0 2 2
  SETGLOBAL 0 "outerstatus"
.line 3
  LOADK 0 #1
  SETGLOBAL 0 "after"
  RETURN 0 1
.function cb
.linedefined 10
.line 11
  GETGLOBAL 0 "fail"
  CALL 0 1 1
.line 12
  LOADK 0 #1
  SETGLOBAL 0 "cbfinished"
  RETURN 0 1
.end
.function cb2
.linedefined 20
.line 21
  GETGLOBAL 0 "protect"
  GETGLOBAL 1 "cb"
  CALL 0 2 2
  SETGLOBAL 0 "innerstatus"
.line 22
  LOADK 0 #1
  SETGLOBAL 0 "cb2finished"
  RETURN 0 1
.end
)";
}

TEST_F(CommandErrorsTest, CallbackErrorUnwindsToTheInnermostProtectedCall) {
  ASSERT_EQ(RunListing(Callbacks("protect")), 0);
  EXPECT_EQ(GlobalNumber("innerstatus"), 1045);  // caught by cb2's protect
  EXPECT_EQ(GlobalNumber("cbfinished"), 0);
  EXPECT_EQ(GlobalNumber("cb2finished"), 1);    // cb2 went on
  EXPECT_EQ(GlobalNumber("outerstatus"), 0);    // main's protect saw no error
  EXPECT_EQ(GlobalNumber("after"), 1);
  EXPECT_EQ(ErrorInfo().stopFlag, 0u);
  EXPECT_EQ(ErrorInfo().lastError, 1045u);
  EXPECT_EQ(ErrorInfo().functionName, "Fail");
  EXPECT_EQ(ErrorInfo().errorLine, 11);
  EXPECT_EQ(RuntimeAttrs(L).pcallDepth, 0);
}

TEST_F(CommandErrorsTest, CallbackErrorWithoutProtectionStopsTheScript) {
  // cb2 is called unprotected at depth 0; its own protect still catches cb's
  // error, but an error in cb2 itself would end the script.
  ASSERT_EQ(RunListing(Callbacks("call")), 0);
  EXPECT_EQ(GlobalNumber("innerstatus"), 1045);
  EXPECT_EQ(GlobalNumber("after"), 1);

  ErrorInfo() = vkErrorInfo{};
  vmPushString(L, "after");
  vmPushNil(L);
  vmRawSet(L, VK_GLOBALSINDEX);
  std::string direct = Callbacks("call");
  direct.replace(direct.find("GETGLOBAL 1 \"cb2\""), 17, "GETGLOBAL 1 \"cb\"");  // call(cb): fail runs at depth 0
  EXPECT_EQ(RunListing(direct), 1045);
  EXPECT_EQ(ErrorInfo().stopFlag, 1u);
  EXPECT_EQ(GlobalNumber("after"), 0);
  EXPECT_EQ(ErrorInfo().functionName, "Fail");
  EXPECT_EQ(ErrorInfo().errorLine, 11);
}

// Calls the script function "Double" back with its argument.
int Twice(vkState* L) {
  const int n = static_cast<int>(vmToNumber(L, 1));
  uint32_t code = CallScriptFunction(L, "Double", 1, {vkScriptArg::ofInt(n)});
  return code ? static_cast<int>(code) : 1;
}

TEST_F(CommandErrorsTest, CommandFoundByAnyCaseCallsBackIntoScript) {
  static const vkCommandDef kTwice[] = {{"Twice", Twice}, {nullptr, nullptr}};
  vmPushValue(L, VK_GLOBALSINDEX);
  vmRegisterFunctions(L, nullptr, kTwice, 0);
  vmSetTop(L, 0);
  ASSERT_EQ(RegisterLibrary(L, kTwice, "twice"), 0);
  // Compiled scripts name globals in lower case, as the chunk here does.
  ASSERT_EQ(RunListing(R"(
.source "script.vk"
.line 1
  CLOSURE 0 double
  SETGLOBAL 0 "double"
.line 2
  GETGLOBAL 0 "twice"
  LOADK 1 #21
  CALL 0 2 2
  SETGLOBAL 0 "result"
  RETURN 0 1
.function double
.linedefined 5
.params 1
.line 6
  ADD 1 0 0
  RETURN 1 2
.end
)"),
            0);
  EXPECT_EQ(GlobalNumber("result"), 42);
  for (const char* name : {"twice", "TWICE", "tWiCe"}) {
    ASSERT_EQ(CallScriptFunction(L, name, 1, {vkScriptArg::ofInt(5)}), 0u) << name;
    EXPECT_EQ(vmToNumber(L, -1), 10) << name;
    vmSetTop(L, 0);
  }
}

TEST_F(CommandErrorsTest, DebugOutputPrintsEachCommandCall) {
  EngineRun(L).debugOutput = true;
  testing::internal::CaptureStdout();
  int status = RunListing(R"(
.source "script.vk"
.line 1
  GETGLOBAL 0 "nothing"
  LOADNIL 1 1
  LOADK 2 #1.5
  LOADK 3 "text"
  NEWTABLE 4
  CALL 0 5 1
  GETGLOBAL 0 "nothing"
  CALL 0 1 1
  RETURN 0 1
)");
  std::string out = testing::internal::GetCapturedStdout();
  EngineRun(L).debugOutput = false;
  ASSERT_EQ(status, 0);
  const std::string withArgs = "Now calling nothing() with arguments #1=(NIL) #2=(NUMBER)1.5 #3=(STRING)\"text\" #4=(TABLE)0x";
  EXPECT_EQ(out.compare(0, withArgs.size(), withArgs), 0) << out;
  EXPECT_NE(out.find(" \nNow calling nothing()\n"), std::string::npos) << out;

  // A stop silences it.
  EngineRun(L).debugOutput = true;
  ErrorInfo().stopFlag = 1;
  testing::internal::CaptureStdout();
  vmPushString(L, "nothing");
  vmRawGet(L, VK_GLOBALSINDEX);
  vmCall(L, 0, 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EngineRun(L).debugOutput = false;
}

}  // namespace
