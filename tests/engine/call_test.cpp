// Calls and protected execution: command results, error codes and label
// jumps through the C call path, the first-use hook on both call paths,
// varargs, the call-depth and nested-call limits, stack growth, and the state
// staying usable after an error.
#include <string>

#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/libraries.h"
#include "engine/runstate.h"
#include "engine/table.h"
#include "support/vmtest.h"

namespace {

using namespace vktest;

int pushTwo(vkState* L) {
  vmPushNumber(L, 1);
  vmPushNumber(L, 2);
  vmPushNumber(L, 3);
  return 2;
}
int failWith1005(vkState* L) {
  vmPushNumber(L, 9);
  return 1005;
}
int labelJump(vkState*) { return -1; }

TEST_F(EngineTest, CommandResultsErrorCodesAndLabelJumps) {
  struct Case {
    vkCFunction fn;
    uint32_t code;
    int top;
    double first;  // 0 checks for nil
  } cases[] = {{pushTwo, 0, 2, 2}, {failWith1005, 1005, 2, 0}, {labelJump, 0, 2, 0}};
  for (const Case& c : cases) {
    vmSetTop(L, 0);
    vmPushCClosure(L, c.fn, 0);
    EXPECT_EQ(vmCall(L, 0, 2), c.code);
    EXPECT_EQ(vmGetTop(L), c.top);
    if (c.first != 0) {
      EXPECT_EQ(vmToNumber(L, 1), c.first);  // the top two values: 2 and 3
      EXPECT_EQ(vmToNumber(L, 2), 3);
    } else {
      EXPECT_EQ(vmType(L, 1), VK_TNIL);
      EXPECT_EQ(vmType(L, 2), VK_TNIL);
    }
  }
}

TEST_F(EngineTest, VarargsBecomeAZeroBasedTableWithN) {
  Fn f;
  f.vararg = 1;
  f.maxstack = 4;
  f.code = {RET(0, 1)};
  ASSERT_EQ(Load(L, f), 0);
  vmPushString(L, "a");
  vmPushString(L, "b");
  vmPushString(L, "c");
  ASSERT_EQ(vmPCall(L, 3, 1, 0), 0);
  ASSERT_EQ(vmType(L, -1), VK_TTABLE);
  const char* want[] = {"a", "b", "c"};
  for (int j = 0; j < 3; j++) {
    vmRawGetI(L, -1, j);
    EXPECT_STREQ(vmToString(L, -1), want[j]);
    vmSetTop(L, -2);
  }
  vmPushString(L, "n");
  vmRawGet(L, -2);
  EXPECT_EQ(vmToNumber(L, -1), 3);
}

TEST_F(EngineTest, VarargFunctionWithMoreParametersThanStackSlots) {
  // A stored file may claim 200 parameters with a stack of 2: padding them
  // must still stay inside the stack.
  Fn f;
  f.vararg = 1;
  f.numparams = 200;
  f.maxstack = 2;
  f.code = {RET(0, 1)};
  EXPECT_EQ(RunFn(L, f, 1), 0);
}

// A function that calls the global "f" (itself) forever.
Fn recursion() {
  Fn self;
  self.maxstack = 2;
  self.lineDefined = 1;
  self.k = {kStr("f")};
  self.code = {ABx(OP_GETGLOBAL, 0, 0), ABC(OP_CALL, 0, 1, 1), RET(0, 0)};
  Fn main;
  main.maxstack = 2;
  main.k = {kStr("f")};
  main.p = {self};
  main.code = {ABx(OP_CLOSURE, 0, 0), ABx(OP_SETGLOBAL, 0, 0), ABx(OP_GETGLOBAL, 0, 0), ABC(OP_CALL, 0, 1, 1),
               RET(0, 0)};
  return main;
}

TEST_F(EngineTest, DeepRecursionRaisesStackOverflowAndRecovers) {
  EXPECT_EQ(RunFn(L, recursion()), kErrStackOverflow);
  EXPECT_EQ(L->sizeCi, kMaxCalls);
  EXPECT_EQ(L->ci, L->baseCi);
  EXPECT_EQ(L->stackLast, L->stack + L->stacksize - kStackExtra);  // spare slots restored
  // The state is still usable.
  Fn ok;
  ok.k = {kNum(7)};
  ok.code = {ABx(OP_LOADK, 0, 0), RET(0, 1)};
  ASSERT_EQ(RunFn(L, ok, 1), 0);
  EXPECT_EQ(vmToNumber(L, -1), 7);
}

int nestedC(vkState* L) {
  vmPushCClosure(L, nestedC, 0);
  vmCall(L, 0, 0);
  return 0;
}

TEST_F(EngineTest, TwoHundredNestedCallsFromCRaiseStackOverflow) {
  vmPushCClosure(L, nestedC, 0);
  EXPECT_EQ(vmPCall(L, 0, 0, 0), kErrStackOverflow);
  EXPECT_EQ(L->nCcalls, 0);
  vmPushCClosure(L, pushTwo, 0);
  EXPECT_EQ(vmPCall(L, 0, 1, 0), 0);
}

TEST_F(EngineTest, ProtectedCallReturnsNumberedErrorsAndTheStateStaysUsable) {
  struct Case {
    uint32_t op;
    K b, c;
    int code;
  } cases[] = {{OP_DIV, kNum(1), kNum(0), kErrDivisionByZero},
               {OP_ADD, kStr("abc"), kNum(1), kErrWrongOperator},
               {OP_LT, kNum(1), kStr("1"), kErrCompareNumberString}};
  for (const Case& c : cases) {
    Fn f;
    f.k = {c.b, c.c};
    uint32_t ins = ABC(c.op, c.op == OP_LT ? 1 : 0, RK(0), RK(1));
    f.code = {ins, JMP(0), RET(0, 0)};
    int top = vmGetTop(L);
    EXPECT_EQ(RunFn(L, f), c.code);
    EXPECT_EQ(vmGetTop(L), top);
  }
  Fn ok;
  ok.k = {kNum(2), kNum(3)};
  ok.code = {ABC(OP_MUL, 0, RK(0), RK(1)), RET(0, 1)};
  ASSERT_EQ(RunFn(L, ok, 1), 0);
  EXPECT_EQ(vmToNumber(L, -1), 6);
}

TEST_F(EngineTest, StackGrowsToTheCommandLimit) {
  EXPECT_EQ(vmCheckStack(L, kMaxCommandStack + 1), 0);
  ASSERT_EQ(vmCheckStack(L, 2000), 1);
  for (int j = 0; j < 2000; j++) vmPushNumber(L, j);
  EXPECT_EQ(vmGetTop(L), 2000);
  EXPECT_EQ(vmToNumber(L, 1999), 1998);
  EXPECT_EQ(vmCheckStack(L, 49), 0);
  EXPECT_EQ(vmCheckStack(L, 48), 1);
}

TEST_F(EngineTest, StackIndexes) {
  vmPushNumber(L, 1);
  vmPushNumber(L, 2);
  vmPushNumber(L, 3);
  vmSetTop(L, -1);
  EXPECT_EQ(vmGetTop(L), 3);
  vmSetTop(L, -2);
  EXPECT_EQ(vmGetTop(L), 2);
  EXPECT_EQ(vmType(L, 3), VK_TNONE);
  EXPECT_EQ(vmType(L, vmUpvalueIndex(1)), VK_TNONE);
  EXPECT_EQ(vmType(L, VK_REGISTRYINDEX), VK_TTABLE);
  EXPECT_EQ(vmType(L, VK_GLOBALSINDEX), VK_TTABLE);
  vmPushNumber(L, 0.1);
  EXPECT_STREQ(vmToString(L, -1), "0.1");
  EXPECT_EQ(vmType(L, -1), VK_TSTRING);  // converted in place
  vmInsert(L, 1);
  EXPECT_EQ(vmType(L, 1), VK_TSTRING);
  vmRemove(L, 1);
  EXPECT_EQ(vmToNumber(L, 1), 1);
  vmConcat(L, 0);
  EXPECT_STREQ(vmToString(L, -1), "");
  vmSetTop(L, 0);
  EXPECT_EQ(vmGetTop(L), 0);
}

// Numbers by stack index: a number in the frame is read as it is, other
// values convert, and a slot above the top reads 0 whatever it still holds.
TEST_F(EngineTest, NumbersByStackIndex) {
  vmPushNumber(L, 2.5);
  vmPushString(L, "0x10");
  vmPushNil(L);
  vmNewTable(L);
  vmPushNumber(L, 7);
  vmSetTop(L, -2);  // 7 stays in the slot above the top
  const struct {
    int idx;
    double number;
  } cases[] = {{1, 2.5}, {2, 16}, {3, 0}, {4, 0}, {5, 0}, {-4, 2.5}, {-3, 16}, {-1, 0}, {VK_GLOBALSINDEX, 0}};
  for (const auto& c : cases) EXPECT_EQ(vmToNumber(L, c.idx), c.number) << c.idx;
  vmSetTop(L, 0);
}

int readUpvalue(vkState* L) {
  vmPushValue(L, vmUpvalueIndex(1));
  vmPushValue(L, vmUpvalueIndex(2));
  return 2;
}

TEST_F(EngineTest, CommandClosureUpvalues) {
  vmPushNumber(L, 5);
  vmPushCClosure(L, readUpvalue, 1);
  ASSERT_EQ(vmCall(L, 0, 2), 0u);
  EXPECT_EQ(vmToNumber(L, 1), 5);
  EXPECT_EQ(vmType(L, 2), VK_TNIL);  // beyond the closure's count reads as none
}

TEST_F(EngineTest, FormattedStrings) {
  vmPushFString(L, "%s=%d (%f) %c%% %x!", "n", 42, 0.5, 'z');
  EXPECT_STREQ(vmToString(L, -1), "n=42 (0.5) z% !");
  EXPECT_EQ(vmGetTop(L), 1);
}

TEST_F(EngineTest, CallOfANonFunctionRaises1133WithTheVariableName) {
  Fn f;
  f.k = {kStr("nothing")};
  f.code = {ABx(OP_GETGLOBAL, 0, 0), ABC(OP_CALL, 0, 1, 1), RET(0, 0)};
  EXPECT_EQ(RunFn(L, f), kErrFunctionNotFound);
  EXPECT_EQ(ErrorInfo().errorText, "nothing()");
}

// The first-use hook: marked commands run it once, before the first call of
// any of them, from a script and from C alike; its error is that call's.
int gHookRuns = 0, gMarkedRuns = 0, gPlainRuns = 0;
int gHookResult = 0;
int firstUseHook(vkState*) {
  gHookRuns++;
  return gHookResult;
}
int markedCommand(vkState* L) {
  gMarkedRuns++;
  vmPushNumber(L, 7);
  return 1;
}
int plainCommand(vkState* L) {
  gPlainRuns++;
  vmPushNumber(L, 8);
  return 1;
}

TEST_F(EngineTest, FirstUseHookRunsOnceBeforeTheFirstMarkedCommand) {
  RuntimeAttrs(L).exitOnError = true;
  RuntimeAttrs(L).pcallDepth = 1;  // an error leaves the stop flag alone
  SetGlobalCommand(L, "marked", markedCommand);
  SetGlobalCommand(L, "plain", plainCommand);
  const vkCommandDef marked[] = {{"Marked", markedCommand}, {nullptr, nullptr}};
  vmMarkFirstUseCommands(L, marked);
  // Calls marked twice from C: the first call's result code, and the
  // second's top value.
  auto callTwiceFromC = [](vkState* L, uint32_t* code) {
    uint32_t codes[2];
    for (uint32_t& c : codes) {
      vmSetTop(L, 0);
      vmPushString(L, "marked");
      vmRawGet(L, VK_GLOBALSINDEX);
      c = vmCall(L, 0, 1);
    }
    *code = codes[0];
    return vmToNumber(L, 1);
  };
  struct Case {
    const char* name;
    bool fromScript;
    int hookResult;
    int status;    // of the script, or the first call from C
    int markedRuns;
  } cases[] = {
      {"script, the hook lets the command run", true, 0, 0, 2},
      {"script, the hook's error is the call's", true, 1005, 1005, 0},
      {"C, the hook lets the command run", false, 0, 0, 2},
      {"C, the hook's error is the call's", false, 1005, 1005, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gHookRuns = gMarkedRuns = gPlainRuns = 0;
    gHookResult = c.hookResult;
    vmSetFirstUseHook(L, firstUseHook);
    if (c.fromScript) {
      std::string out;
      EXPECT_EQ(RunListing(L,
                           "GETGLOBAL 0 \"plain\"\nCALL 0 1 2\nGETGLOBAL 1 \"marked\"\nCALL 1 1 2\n"
                           "GETGLOBAL 2 \"marked\"\nCALL 2 1 2\nRETURN 0 4\n",
                           &out),
                c.status);
      if (c.status == 0) {
        EXPECT_EQ(out, "8 7 7");
      }
      EXPECT_EQ(gPlainRuns, 1);  // an unmarked command leaves the hook waiting
    } else {
      uint32_t code = 0;
      double second = callTwiceFromC(L, &code);
      EXPECT_EQ(code, static_cast<uint32_t>(c.status));
      EXPECT_EQ(second, 7);
    }
    EXPECT_EQ(gHookRuns, 1);
    EXPECT_EQ(gMarkedRuns, c.markedRuns);
    EXPECT_EQ(EngineRun(L).firstUseHook, nullptr);  // forgotten once run
    vmSetTop(L, 0);
  }
}

}  // namespace
