// Two engines in one process: each keeps its own stop flag, error record,
// GOSUB stack and command registry, and the error record that code below the
// engine fills is the one of the engine that runs.
#include <gtest/gtest.h>

#include "engine/libraries.h"
#include "engine/runstate.h"
#include "support/vmtest.h"

namespace {

using namespace vktest;

int stopMe(vkState*) {
  ErrorInfo().stopFlag = 1;
  return 0;
}
int nothing(vkState*) { return 0; }
int failWithText(vkState*) {
  SetErrorText("missing.txt");
  return 1005;
}

const vkCommandDef kCommands[] = {{"StopMe", stopMe}, {"Nothing", nothing}, {"FailWithText", failWithText}, {nullptr, nullptr}};

// Calls the global [command] (commands are registered lower-cased) and
// returns 42.
Fn CallThenReturn42(const char* command) {
  Fn f;
  f.k = {kStr(LowerCased(command)), kNum(42)};
  f.code = {ABx(OP_GETGLOBAL, 0, 0), ABC(OP_CALL, 0, 1, 1), ABx(OP_LOADK, 0, 1), RET(0, 1)};
  return f;
}

class TwoEngines : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    B = vmNewState();
    ASSERT_NE(B, nullptr);
    for (vkState* s : {L, B}) {
      vmPushValue(s, VK_GLOBALSINDEX);
      vmRegisterFunctions(s, nullptr, kCommands, 0);
      vmSetTop(s, 0);
    }
  }
  void TearDown() override {
    if (B) vmCloseState(B);
    EngineTest::TearDown();
  }
  vkState* B = nullptr;
};

TEST_F(TwoEngines, AStopInOneLeavesTheOtherRunning) {
  ASSERT_EQ(RunFn(L, CallThenReturn42("StopMe"), 1), 0);
  EXPECT_EQ(EngineRun(L).errors.stopFlag, 1u);
  EXPECT_NE(vmToNumber(L, -1), 42) << "the stopped engine ran on";

  ASSERT_EQ(RunFn(B, CallThenReturn42("Nothing"), 1), 0);
  EXPECT_EQ(vmToNumber(B, -1), 42);
  EXPECT_EQ(EngineRun(B).errors.stopFlag, 0u);
}

TEST_F(TwoEngines, ErrorsLandInTheRecordOfTheEngineThatRan) {
  EXPECT_NE(RunFn(L, CallThenReturn42("FailWithText"), 1), 0);
  EXPECT_EQ(EngineRun(L).errors.lastError, 1005u);
  EXPECT_EQ(EngineRun(L).errors.errorText, "missing.txt");
  EXPECT_EQ(EngineRun(B).errors.lastError, 0u);
  EXPECT_EQ(EngineRun(B).errors.errorText, "");
  EXPECT_EQ(EngineRun(B).errors.stopFlag, 0u);

  // B runs to its end while A's record holds a stop and an error.
  EngineRun(L).errors.stopFlag = 1;
  Fn f;
  f.k = {kNum(7)};
  f.code = {ABx(OP_LOADK, 0, 0), RET(0, 1)};
  ASSERT_EQ(RunFn(B, f, 1), 0);
  EXPECT_EQ(vmToNumber(B, -1), 7);
}

int runOtherEngine(vkState* L) {
  auto* other = static_cast<vkState*>(vmToUserdata(L, vmUpvalueIndex(1)));
  const int status = RunFn(other, CallThenReturn42("FailWithText"), 1);
  vmPushNumber(L, status);
  vmPushNumber(L, ErrorInfo().lastError);  // the caller's record is current again
  return 2;
}

TEST_F(TwoEngines, AnEngineCalledFromAnotherGivesTheCallerItsRecordBack) {
  vmPushLightUserdata(L, B);
  vmPushCClosure(L, runOtherEngine, 1);
  ASSERT_EQ(vmPCall(L, 0, 2, 0), 0);
  EXPECT_NE(vmToNumber(L, 1), 0) << "B's command failed";
  EXPECT_EQ(vmToNumber(L, 2), 0) << "B's error leaked into A's record";
  EXPECT_EQ(EngineRun(B).errors.lastError, 1005u);
}

TEST_F(TwoEngines, LibrariesAndGosubStacksAreTheirOwn) {
  ASSERT_EQ(RegisterLibrary(L, kCommands, "mine"), 0);
  EXPECT_STREQ(FindCommandName(L, "stopme"), "StopMe");
  EXPECT_EQ(FindCommandName(B, "stopme"), nullptr);
  EXPECT_EQ(FirstLibrary(B), nullptr);

  vmGosubPush(L, nullptr, 3);
  EXPECT_EQ(vmGosubDepth(L), 1);
  EXPECT_EQ(vmGosubDepth(B), 0);
}

}  // namespace
