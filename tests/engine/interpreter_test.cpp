// The interpreter through assembled chunks: each opcode family with the
// edge cases scripts see (numbers as booleans, the truth rule, nil as 0 and
// "", 32-bit words, division and modulo signs, mixed-type comparisons,
// string coercion, 0-based lists, the GOSUB stack and the stop flag).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "engine/errors.h"
#include "engine/gc.h"
#include "engine/libraries.h"
#include "engine/runstate.h"
#include "support/vmtest.h"

namespace {

using namespace vktest;

struct Case {
  const char* name;
  std::string listing;
  const char* results;  // expected results, or nullptr when [code] is raised
  int code = 0;
};

// "return OP b c"
std::string binop(const char* op, const char* b, const char* c) {
  return std::string(op) + " 0 " + b + " " + c + "\nRETURN 0 2\n";
}
// "return b OP c" for EQ/LT/LE as 1 or 0, through the jump that follows.
std::string compare(const char* op, const char* b, const char* c) {
  return std::string(op) + " 1 " + b + " " + c +
         "\nJMP yes\nLOADBOOL 0 0 0\nRETURN 0 2\nyes:\nLOADBOOL 0 1 0\nRETURN 0 2\n";
}
// Loads a value into r1 (a listing fragment) and returns NOT r1 and the
// verdict of TEST (which jumps when r1 is false with C = 0).
std::string truth(const char* load) {
  return std::string(load) + "\nNOT 0 1\nTEST 2 1 0\nJMP isfalse\nLOADK 1 \"true\"\nRETURN 0 3\n"
                             "isfalse:\nLOADK 1 \"false\"\nRETURN 0 3\n";
}

void runCases(vkState* L, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string out;
    int status = RunListing(L, c.listing, &out);
    if (c.results) {
      EXPECT_EQ(status, 0) << c.name;
      EXPECT_EQ(out, c.results) << c.name;
    } else {
      EXPECT_EQ(status, c.code) << c.name;
    }
  }
}

TEST_F(EngineTest, Arithmetic) {
  runCases(L, {
      {"add", binop("ADD", "#1", "#2"), "3"},
      {"sub", binop("SUB", "#1", "#2.5"), "-1.5"},
      {"mul", binop("MUL", "#4", "#0.25"), "1"},
      {"div", binop("DIV", "#7", "#2"), "3.5"},
      {"div by zero", binop("DIV", "#1", "#0"), nullptr, kErrDivisionByZero},
      {"intdiv", binop("INTDIV", "#7", "#2"), "3"},
      {"intdiv negative", binop("INTDIV", "#-7", "#2"), "-3"},
      {"intdiv truncates operands", binop("INTDIV", "#7.9", "#2.9"), "3"},
      {"intdiv by 0.5", binop("INTDIV", "#7", "#0.5"), nullptr, kErrDivisionByZero},
      {"intdiv INT_MIN by -1", binop("INTDIV", "#-2147483648", "#-1"), "2147483648"},
      {"mod INT_MIN by -1", binop("MOD", "#-2147483648", "#-1"), "0"},
      {"mod sign of dividend", binop("MOD", "#-7", "#2"), "-1"},
      {"mod positive dividend", binop("MOD", "#7", "#-2"), "1"},
      {"mod by zero", binop("MOD", "#5", "#0"), nullptr, kErrDivisionByZero},
      {"intdiv NaN saturates", "LOADK 1 #0\nDIV 1 1 #0\nRETURN 0 1\n", nullptr, kErrDivisionByZero},
      {"pow", binop("POW", "#2", "#10"), "1024"},
      {"shl 31", binop("SHL", "#1", "#31"), "2147483648"},
      {"shl 32", binop("SHL", "#1", "#32"), "0"},
      {"shl 63", binop("SHL", "#1", "#63"), "0"},
      {"shl 64 wraps to 0", binop("SHL", "#1", "#64"), "1"},
      {"shl negative count", binop("SHL", "#1", "#-1"), "0"},
      {"shr logical", binop("SHR", "#-1", "#28"), "15"},
      {"bnot", "LOADK 1 #0\nBNOT 0 1\nRETURN 0 2\n", "4294967295"},
      {"band", binop("BAND", "#-1", "#255"), "255"},
      {"bor high bit", binop("BOR", "#2147483648", "#1"), "2147483649"},
      {"bxor wraps", binop("BXOR", "#4294967295", "#1"), "4294967294"},
      {"bor saturates", binop("BOR", "#1e20", "#0"), "4294967295"},
      {"nil is 0", "LOADNIL 1 1\nADD 0 1 #1\nRETURN 0 2\n", "1"},
      {"numeric string", binop("ADD", "\"10\"", "#1"), "11"},
      {"hex string", binop("ADD", "\"0x10\"", "\"$ff\""), "271"},
      {"non-numeric string", binop("ADD", "\"abc\"", "#1"), nullptr, kErrWrongOperator},
      {"table operand", "NEWTABLE 1 0 0\nADD 0 1 #1\nRETURN 0 2\n", nullptr, kErrWrongOperator},
      {"unm", "LOADK 1 \"5\"\nUNM 0 1\nRETURN 0 2\n", "-5"},
      {"unm of a table", "NEWTABLE 1 0 0\nUNM 0 1\nRETURN 0 2\n", nullptr, kErrWrongOperator},
      {"bnot of nil", "LOADNIL 1 1\nBNOT 0 1\nRETURN 0 2\n", "4294967295"},
  });
}

TEST_F(EngineTest, NumbersAsBooleansAndTheTruthRule) {
  runCases(L, {
      {"loadbool", "LOADBOOL 0 1 0\nLOADBOOL 1 0 0\nRETURN 0 3\n", "1 0"},
      {"loadbool skip", "LOADBOOL 0 7 1\nLOADK 0 #99\nRETURN 0 2\n", "7"},
      {"nil", truth("LOADNIL 1 1"), "1 \"false\""},
      {"zero", truth("LOADK 1 #0"), "1 \"false\""},
      {"minus zero", truth("LOADK 1 #-0"), "1 \"false\""},
      {"empty string", truth("LOADK 1 \"\""), "1 \"false\""},
      {"string zero", truth("LOADK 1 \"0\""), "0 \"true\""},
      {"one", truth("LOADK 1 #1"), "0 \"true\""},
      {"table", truth("NEWTABLE 1 0 0"), "0 \"true\""},
  });
}

TEST_F(EngineTest, Comparisons) {
  runCases(L, {
      {"nil == 0", compare("EQ", "nil", "#0"), "1"},
      {"nil == \"\"", compare("EQ", "nil", "\"\""), "1"},
      {"nil == \"a\"", compare("EQ", "nil", "\"a\""), "0"},
      {"0 == nil", compare("EQ", "#0", "nil"), "1"},
      {"nil == nil", compare("EQ", "nil", "nil"), "1"},
      {"1 == \"1\"", compare("EQ", "#1", "\"1\""), nullptr, kErrCompareNumberString},
      {"table == number", "NEWTABLE 2 0 0\n" + compare("EQ", "2", "#1"), nullptr, kErrWrongOperator},
      {"same string", compare("EQ", "\"ab\"", "\"ab\""), "1"},
      {"numbers", compare("EQ", "#0.5", "#0.5"), "1"},
      {"\"a\" < \"B\"", compare("LT", "\"a\"", "\"B\""), "0"},
      {"\"B\" < \"a\"", compare("LT", "\"B\"", "\"a\""), "1"},
      {"prefix is less", compare("LT", "\"ab\"", "\"abc\""), "1"},
      {"nil < 1", compare("LT", "nil", "#1"), "1"},
      {"1 < nil", compare("LT", "#1", "nil"), "0"},
      {"-1 < nil", compare("LT", "#-1", "nil"), "1"},
      {"nil < \"x\"", compare("LT", "nil", "\"x\""), "0"},
      {"nil < nil", compare("LT", "nil", "nil"), "0"},
      {"1 < \"2\"", compare("LT", "#1", "\"2\""), nullptr, kErrCompareNumberString},
      {"nil <= nil", compare("LE", "nil", "nil"), "1"},
      {"nil <= 0", compare("LE", "nil", "#0"), "1"},
      {"0 <= nil", compare("LE", "#0", "nil"), "1"},
      {"nil <= \"\"", compare("LE", "nil", "\"\""), "0"},
      {"\"a\" <= \"a\"", compare("LE", "\"a\"", "\"a\""), "1"},
      {"table <= 1", "NEWTABLE 2 0 0\n" + compare("LE", "2", "#1"), nullptr, kErrWrongOperator},
      {"tables <", "NEWTABLE 2 0 0\nNEWTABLE 3 0 0\n" + compare("LT", "2", "3"), nullptr, kErrWrongOperator},
  });
}

TEST_F(EngineTest, CaseInsensitiveLessThanThroughTheInterface) {
  vmPushString(L, "a");
  vmPushString(L, "B");
  EXPECT_EQ(vmLessThan(L, 1, 2, 1), 0);
  EXPECT_EQ(vmLessThan(L, 1, 2, 0), 1);
  EXPECT_EQ(vmLessThan(L, 1, 3, 0), 0);  // none
}

TEST_F(EngineTest, TablesAndGlobals) {
  runCases(L, {
      {"missing field", "NEWTABLE 0 0 0\nGETTABLE 1 0 \"size\"\nRETURN 1 2\n", nullptr, kErrFieldNotInitialized},
      {"absent global is nil", "GETGLOBAL 0 \"nothing\"\nRETURN 0 2\n", "nil"},
      {"set and get", "NEWTABLE 0 0 2\nSETTABLE 0 \"x\" #5\nSETTABLE 0 #1 \"one\"\nGETTABLE 1 0 \"x\"\n"
                      "GETTABLE 2 0 #1\nRETURN 1 3\n", "5 \"one\""},
      {"nil key", "NEWTABLE 0 0 0\nLOADNIL 1 1\nSETTABLE 0 1 #5\nGETTABLE 2 0 #0\nRETURN 2 2\n", "5"},
      {"NaN key", "NEWTABLE 0 0 0\nSETTABLE 0 #nan #5\nRETURN 0 1\n", nullptr, kErrTableIndexNaN},
      {"index a number", "LOADK 0 #5\nGETTABLE 1 0 \"a\"\nRETURN 1 2\n", nullptr, kErrTableNotFound},
      {"set into a number", "LOADK 0 #5\nSETTABLE 0 \"a\" #1\nRETURN 0 1\n", nullptr, kErrTableNotFound},
      {"globals", "LOADK 0 #3\nSETGLOBAL 0 \"g\"\nGETGLOBAL 1 \"g\"\nRETURN 1 2\n", "3"},
      {"setlist from 0", "NEWTABLE 0 0 0\nLOADK 1 #10\nLOADK 2 #20\nLOADK 3 #30\nSETLIST 0 2\n"
                         "GETTABLE 4 0 #0\nGETTABLE 5 0 #2\nRETURN 4 3\n", "10 30"},
      {"second flush starts at 32", "NEWTABLE 0 0 0\nLOADK 1 #7\nSETLIST 0 32\nGETTABLE 2 0 #32\nRETURN 2 2\n",
       "7"},
      {"setlist on a number", "LOADK 0 #1\nLOADK 1 #2\nSETLIST 0 0\nRETURN 0 1\n", nullptr, kErrBadBytecode},
      {"self with a number key", "NEWTABLE 1 0 0\nSELF 2 1 #1\nRETURN 0 1\n", nullptr, kErrBadBytecode},
      {"self missing method is nil", "NEWTABLE 1 0 0\nSELF 2 1 \"m\"\nRETURN 2 3\n", "nil table"},
      {"self on a number", "LOADK 1 #1\nSELF 2 1 \"m\"\nRETURN 2 2\n", nullptr, kErrTableNotFound},
      {"newtable absurd size", "NEWTABLE 0 511 0\nRETURN 0 1\n", nullptr, kErrTableOverflow},
      {"newtable 2^25", "NEWTABLE 0 201 0\nRETURN 0 1\n", nullptr, kErrTableOverflow},
      {"newtable hash 2^25", "NEWTABLE 0 0 25\nRETURN 0 1\n", nullptr, kErrTableOverflow},
  });
  std::string out;
  RunListing(L, "NEWTABLE 0 0 0\nGETTABLE 1 0 \"size\"\nRETURN 1 2\n", &out);
  EXPECT_EQ(ErrorInfo().errorText, "\"size\"");
  RunListing(L, "NEWTABLE 0 0 0\nGETTABLE 1 0 #5\nRETURN 1 2\n", &out);
  EXPECT_EQ(ErrorInfo().errorText, "5");
  RunListing(L, "GETGLOBAL 0 \"num\"\nGETTABLE 1 0 \"a\"\nRETURN 1 2\n", &out);
  EXPECT_EQ(ErrorInfo().errorText, "num{}");
  // The NaN key's error is on the line of the SETTABLE, not of the instruction before.
  RunListing(L, ".line 3\nNEWTABLE 0 0 0\n.line 7\nSETTABLE 0 #nan #5\nRETURN 0 1\n", &out);
  EXPECT_EQ(ErrorInfo().errorLine, 7);
}

TEST_F(EngineTest, Concatenation) {
  runCases(L, {
      {"numbers and strings", "LOADK 0 #1\nLOADK 1 \"a\"\nLOADK 2 #2.5\nCONCAT 3 0 2\nRETURN 3 2\n", "\"1a2.5\""},
      {"nil is empty", "LOADK 0 \"x\"\nLOADNIL 1 1\nLOADK 2 \"y\"\nCONCAT 3 0 2\nRETURN 3 2\n", "\"xy\""},
      {"empty second", "LOADK 0 #12\nLOADK 1 \"\"\nCONCAT 2 0 1\nRETURN 2 2\n", "\"12\""},
      {"table", "LOADK 0 \"x\"\nNEWTABLE 1 0 0\nCONCAT 2 0 1\nRETURN 2 2\n", nullptr, kErrConcatTypes},
  });
}

TEST_F(EngineTest, Loops) {
  runCases(L, {
      {"forloop count", "LOADK 0 #0\nLOADK 1 #10\nLOADK 2 #1\nLOADK 3 #0\nJMP test\nbody:\nADD 3 3 #1\n"
                        "test:\nFORLOOP 0 body\nRETURN 3 2\n", "10"},
      {"limit nil runs while index <= 0", "LOADK 0 #-3\nLOADNIL 1 1\nLOADK 2 #1\nLOADK 3 #0\nJMP test\n"
                                          "body:\nADD 3 3 #1\ntest:\nFORLOOP 0 body\nRETURN 3 2\n", "3"},
      {"negative step", "LOADK 0 #5\nLOADK 1 #1\nLOADK 2 #-2\nLOADK 3 #0\nJMP test\nbody:\nADD 3 3 #1\n"
                        "test:\nFORLOOP 0 body\nRETURN 3 2\n", "2"},
      {"string limit converts", "LOADK 0 #0\nLOADK 1 \"3\"\nLOADK 2 #1\nLOADK 3 #0\nJMP test\nbody:\n"
                                "ADD 3 3 #1\ntest:\nFORLOOP 0 body\nRETURN 3 2\n", "3"},
      {"index must be a number", "LOADK 0 \"1\"\nLOADK 1 #3\nLOADK 2 #1\nFORLOOP 0 end\nend:\nRETURN 0 1\n",
       nullptr, kErrValueExpected},
      {"bad limit", "LOADK 0 #1\nLOADK 1 \"x\"\nLOADK 2 #1\nFORLOOP 0 end\nend:\nRETURN 0 1\n", nullptr,
       kErrValueExpected},
  });
}

int nextCommand(vkState* L) {
  vmSetTop(L, 2);
  if (vmNext(L, 1)) return 2;
  vmPushNil(L);
  return 1;
}

TEST_F(EngineTest, GenericForOverATable) {
  SetGlobalCommand(L, "next", nextCommand);
  std::string out;
  // for k, v in {10, 20, x = 1} do sum = sum + v end. As compiled code does,
  // the loop's call slots are the highest live registers (the collector
  // clears what lies above the top during a call).
  ASSERT_EQ(RunListing(L, R"(
      LOADK 0 #0          ; sum
      NEWTABLE 1 0 1
      LOADK 2 #10
      LOADK 3 #20
      SETLIST 1 1
      SETTABLE 1 "x" #1
      LOADNIL 3 3         ; the control variable starts at nil
      TFORPREP 1 test
    body:
      ADD 0 0 4           ; key in r3, value in r4
    test:
      TFORLOOP 1 1
      JMP body
      RETURN 0 2
  )", &out), 0);
  EXPECT_EQ(out, "31");
}

TEST_F(EngineTest, CallsReturnsAndTailCalls) {
  std::string out;
  ASSERT_EQ(RunListing(L, R"(
      .function three
      .linedefined 1
        LOADK 0 #1
        LOADK 1 #2
        LOADK 2 #3
        RETURN 0 4
      .end
      CLOSURE 0 three
      CALL 0 1 0          ; all results
      CALL 0 0 3          ; call 1(2, 3)? no: the first result is the function slot
      RETURN 0 1
  )", &out), kErrFunctionNotFound);
  ASSERT_EQ(RunListing(L, R"(
      .function three
      .linedefined 1
        LOADK 0 #1
        LOADK 1 #2
        LOADK 2 #3
        RETURN 0 4
      .end
      CLOSURE 0 three
      CALL 0 1 3          ; two results wanted
      LOADK 2 #9
      RETURN 0 0          ; up to the top: the frame
  )", &out), 0);
  EXPECT_EQ(out, "1 2 9");  // the frame holds 3 registers
  // A tail call 10000 deep reuses its frame.
  ASSERT_EQ(RunListing(L, R"(
      .function down
      .linedefined 1
      .params 1
        EQ 1 0 #0
        JMP done
        SUB 0 0 #1
        GETGLOBAL 1 "down"
        MOVE 2 0
        TAILCALL 1 2 0
        RETURN 1 0
      done:
        LOADK 1 "bottom"
        RETURN 1 2
      .end
      CLOSURE 0 down
      SETGLOBAL 0 "down"
      LOADK 1 #10000
      CALL 0 2 2
      RETURN 0 2
  )", &out), 0);
  EXPECT_EQ(out, "\"bottom\"");
}

TEST_F(EngineTest, GosubStack) {
  runCases(L, {
      {"gosub and return", "LOADK 0 #0\nJMP gosub sub\nADD 0 0 #100\nRETURN 0 2\nsub:\nADD 0 0 #1\nRETURN 0 1 1\n",
       "101"},
      {"4097 nested gosubs", "top:\nJMP gosub top\nRETURN 0 1\n", nullptr, kErrInternalLimit},
      {"return without gosub", "RETURN 0 1 1\nRETURN 0 1\n", nullptr, kErrReturnWithoutGosub},
      {"return into another function", R"(
          .function f
          .linedefined 1
            RETURN 0 1 1
            RETURN 0 1
          .end
          JMP gosub sub
          RETURN 0 1
        sub:
          CLOSURE 0 f
          CALL 0 1 1
          RETURN 0 1 1
      )", nullptr, kErrReturnWithoutGosub},
  });
  EXPECT_EQ(vmGosubDepth(L), 0);  // every unwinding restored the depth
}

int gStops = 0;
int stopCommand(vkState*) {
  gStops++;
  ErrorInfo().stopFlag = 1;
  return 0;
}

vkHookGate gClosedGate{0};
int gGatedHookCalls = 0;

TEST_F(EngineTest, StopFlagEndsALoopBeforeTheNextInstruction) {
  SetGlobalCommand(L, "stop", stopCommand);
  // Without a hook, and with a line hook whose gate stays closed.
  for (bool gated : {false, true}) {
    SCOPED_TRACE(gated ? "gated line hook" : "no hook");
    ErrorInfo().stopFlag = 0;
    gStops = 0;
    gGatedHookCalls = 0;
    if (gated) vmSetHook(L, [](vkState*, vkDebugInfo*) { gGatedHookCalls++; }, VK_MASKLINE, 0, &gClosedGate);
    std::string out;
    EXPECT_EQ(RunListing(L, "top:\nGETGLOBAL 0 \"stop\"\nCALL 0 1 1\nJMP top\nRETURN 0 1\n", &out), 0);
    EXPECT_EQ(gStops, 1);
    EXPECT_EQ(gGatedHookCalls, 0);
    EXPECT_EQ(L->ci, L->baseCi);
    vmSetHook(L, nullptr, 0, 0);
  }
}

int gCalls = 0;
// A command that asks for a label jump to index 4 of the main chunk the first time.
int labelCommand(vkState*) {
  if (gCalls++ > 0) return 0;
  ErrorInfo().jumpOffset = 4 - ErrorInfo().pcIndex;
  return -2;
}
int gosubCommand(vkState*) {
  ErrorInfo().jumpOffset = 4 - ErrorInfo().pcIndex;
  return -1;
}

TEST_F(EngineTest, LabelJumpsFromCommands) {
  SetGlobalCommand(L, "again", labelCommand);
  SetGlobalCommand(L, "gosub", gosubCommand);
  gCalls = 0;
  std::string out;
  // -2 returns to the instruction before the call, so the call runs again.
  ASSERT_EQ(RunListing(L, R"(
      LOADK 1 #0
      GETGLOBAL 0 "again"
      CALL 0 1 1
      RETURN 1 2
      ADD 1 1 #1
      RETURN 0 1 1
  )", &out), 0);
  EXPECT_EQ(out, "1");
  EXPECT_EQ(gCalls, 2);
  // -1 returns after the call.
  ASSERT_EQ(RunListing(L, R"(
      LOADK 1 #0
      GETGLOBAL 0 "gosub"
      CALL 0 1 1
      RETURN 1 2
      ADD 1 1 #5
      RETURN 0 1 1
  )", &out), 0);
  EXPECT_EQ(out, "5");
  // Inside a function the jump would land in another function's code.
  EXPECT_EQ(RunListing(L, R"(
      .function f
      .linedefined 3
        GETGLOBAL 0 "gosub"
        CALL 0 1 1
        RETURN 0 1
        RETURN 0 1
        RETURN 0 1
      .end
      CLOSURE 0 f
      CALL 0 1 1
      RETURN 0 1
  )", &out), kErrGotoInFunction);
}

int failing(vkState*) { return 1044; }

TEST_F(EngineTest, CommandErrors) {
  SetGlobalCommand(L, "fail", failing);
  const char* chunk = "GETGLOBAL 0 \"fail\"\nCALL 0 1 2\nLOADK 1 \"after\"\nRETURN 0 3\n";
  std::string out;
  RuntimeAttrs(L).exitOnError = false;
  ASSERT_EQ(RunListing(L, chunk, &out), 0);
  EXPECT_EQ(out, "nil \"after\"");
  EXPECT_EQ(ErrorInfo().lastError, 1044u);
  EXPECT_EQ(ErrorInfo().stopFlag, 0u);
  RuntimeAttrs(L).exitOnError = true;
  EXPECT_EQ(RunListing(L, chunk, &out), 1044);
  EXPECT_EQ(ErrorInfo().stopFlag, 1u);
  ErrorInfo().stopFlag = 0;
  RuntimeAttrs(L).pcallDepth = 1;
  EXPECT_EQ(RunListing(L, chunk, &out), 1044);
  EXPECT_EQ(ErrorInfo().stopFlag, 0u);
}

// Pushes 7, 8 and 9 above its argument n and returns n.
int giveCommand(vkState* L) {
  int n = static_cast<int>(vmToNumber(L, 1));
  for (int v = 7; v <= 9; v++) vmPushNumber(L, v);
  return n;
}

// Returns one result without pushing any.
int claimOneCommand(vkState*) { return 1; }

// A script's CALL of a command: the results it asks for, from the last the
// command returned, padded with nil; a count beyond what the command pushed
// gives all its frame holds (the argument too). With a return hook the call
// completes through the general path, which must agree.
TEST_F(EngineTest, CommandResultsAsTheCallAsksForThem) {
  SetGlobalCommand(L, "give", giveCommand);
  SetGlobalCommand(L, "claim", claimOneCommand);
  auto call = [](int n, int c, const char* after) {
    return "GETGLOBAL 0 \"give\"\nLOADK 1 #" + std::to_string(n) + "\nCALL 0 2 " + std::to_string(c) + "\n" +
           after;
  };
  const std::vector<Case> cases = {
      {"one asked, none given", call(0, 2, "RETURN 0 2\n"), "nil"},
      {"one asked, one given", call(1, 2, "RETURN 0 2\n"), "9"},
      {"one asked, two given", call(2, 2, "RETURN 0 2\n"), "8"},
      {"one asked, more than pushed", call(5, 2, "RETURN 0 2\n"), "5"},
      {"one asked, one claimed from an empty frame", "GETGLOBAL 0 \"claim\"\nCALL 0 1 2\nRETURN 0 2\n", "nil"},
      {"three asked, two given", call(2, 4, "RETURN 0 4\n"), "8 9 nil"},
      {"three asked, more than pushed", call(5, 4, "RETURN 0 4\n"), "5 7 8"},
      {"none asked", call(3, 1, "LOADK 1 #1\nRETURN 1 2\n"), "1"},
      {"all asked, none given", call(0, 0, "RETURN 0 0\n"), ""},
      {"all asked, two given", call(2, 0, "RETURN 0 0\n"), "8 9"},
      {"all asked, more than pushed", call(5, 0, "RETURN 0 0\n"), "5 7 8 9"},
      {"the top back at the frame's after one asked", call(1, 2, "RETURN 0 0\n"), "9 1"},
  };
  runCases(L, cases);
  vmSetHook(L, [](vkState*, vkDebugInfo*) {}, VK_MASKRET, 0);
  runCases(L, cases);
  vmSetHook(L, nullptr, 0, 0);
}

TEST_F(EngineTest, MainChunkUpvaluesExistAndHoldNil) {
  std::string out;
  ASSERT_EQ(RunListing(L, ".upvalues 2\nGETUPVAL 0 1\nLOADK 1 #4\nSETUPVAL 1 0\nGETUPVAL 2 0\nRETURN 0 3\n", &out),
            0);
  EXPECT_EQ(out, "nil 4");
}

TEST_F(EngineTest, LoopRegistersAboveTheStackSizeAreGuaranteed) {
  SetGlobalCommand(L, "next", nextCommand);
  std::string out;
  // FORLOOP's limit and step, and TFORLOOP's call slots, lie beyond the stated stack size.
  ASSERT_EQ(RunListing(L, ".maxstack 2\nLOADK 1 #1\nFORLOOP 1 end\nend:\nRETURN 0 1\n", &out), 0);
  ASSERT_EQ(RunListing(L, ".maxstack 2\nNEWTABLE 1 0 0\nTFORPREP 1 test\ntest:\nTFORLOOP 1 200\nJMP test\n"
                          "RETURN 0 1\n", &out), 0);
}

TEST_F(EngineTest, AFunctionThatOverwritesItsOwnCallSlotKeepsRunning) {
  // f's upvalue is the register it was called from; it sets it to nil, lets
  // the collector run, calls another function and returns to its own code.
  std::string out;
  ASSERT_EQ(RunListing(L, R"(
      CLOSURE 0 f
      MOVE 0 0
      CALL 0 1 2
      RETURN 0 2
    .function f
    .linedefined 1
    .upvalue self
      LOADNIL 0 0
      SETUPVAL 0 0
      NEWTABLE 1 0 0
      CLOSURE 1 g
      CALL 1 1 2
      ADD 0 1 #1
      RETURN 0 2
    .function g
    .linedefined 2
      NEWTABLE 0 0 0
      LOADK 0 #4
      RETURN 0 2
    .end
    .end
  )", &out), 0);
  EXPECT_EQ(out, "5");
}

std::vector<int> gLines;
int gCount = 0;
void lineHook(vkState*, vkDebugInfo* ar) { gLines.push_back(ar->currentline); }
void countHook(vkState*, vkDebugInfo* ar) {
  if (ar->event == VK_HOOKCOUNT) gCount++;
}

TEST_F(EngineTest, CountAndLineHooks) {
  const char* chunk = R"(
      .line 1
        LOADK 0 #0
        LOADK 1 #2
      .line 2
        LOADK 2 #1
      loop:
      .line 3
        ADD 0 0 #1
      .line 4
        LT 1 0 1
        JMP loop
      .line 5
        RETURN 0 2
  )";
  gLines.clear();
  vmSetHook(L, lineHook, VK_MASKLINE, 0);
  std::string out;
  ASSERT_EQ(RunListing(L, chunk, &out), 0);
  EXPECT_EQ(out, "2");
  EXPECT_EQ(gLines, (std::vector<int>{2, 3, 4, 3, 4, 5}));
  gCount = 0;
  vmSetHook(L, countHook, VK_MASKCOUNT, 1);
  ASSERT_EQ(RunListing(L, chunk, &out), 0);
  EXPECT_EQ(gCount, 8);  // instructions executed: a test that jumps skips its JMP
  vmSetHook(L, nullptr, 0, 0);
  EXPECT_EQ(L->hookMask, 0);
}

// A gated line hook beside a count hook of 1: the count hook opens the gate
// before the chosen instructions, the line hook closes it again.
vkHookGate gGate{0};
std::vector<int> gOpenAt;
void gateHook(vkState*, vkDebugInfo* ar) {
  if (ar->event == VK_HOOKCOUNT) {
    gCount++;
    for (int at : gOpenAt)
      if (at == gCount) gGate.store(1);
  } else {
    gLines.push_back(ar->currentline);
    gGate.store(0);
  }
}

TEST_F(EngineTest, GatedLineHookRunsOnlyWhileItsGateIsOpen) {
  const char* chunk = R"(
      .line 1
        LOADK 0 #0
        LOADK 1 #2
      .line 2
        LOADK 2 #1
      loop:
      .line 3
        ADD 0 0 #1
      .line 4
        LT 1 0 1
        JMP loop
      .line 5
        RETURN 0 2
  )";
  // Instructions run on lines 1 1 2 3 4 3 4 5; the first look of a line hook
  // only notes where it starts, and a gate stays open until a new line.
  struct GateCase {
    const char* name;
    std::vector<int> openAt;  // count-hook calls that open the gate
    std::vector<int> lines;
    bool gateOpenAtEnd;
  };
  const GateCase cases[] = {
      {"never opened", {}, {}, false},
      {"opened at the start, runs at the next new line", {1}, {2}, false},
      {"opened on the same line again", {4, 7}, {4, 4}, false},
      {"a jump back is a new line", {5, 8}, {3, 5}, false},
      {"opened for the first time at the last instruction", {8}, {}, true},
  };
  for (const GateCase& c : cases) {
    SCOPED_TRACE(c.name);
    gGate.store(0);
    gOpenAt = c.openAt;
    gLines.clear();
    gCount = 0;
    vmSetHook(L, gateHook, VK_MASKLINE | VK_MASKCOUNT, 1, &gGate);
    std::string out;
    ASSERT_EQ(RunListing(L, chunk, &out), 0);
    EXPECT_EQ(out, "2");
    EXPECT_EQ(gLines, c.lines);
    EXPECT_EQ(gCount, 8);  // the count hook is not gated
    EXPECT_EQ(gGate.load() != 0, c.gateOpenAtEnd);
  }
  // Set again without a gate, the line hook sees every new line.
  gGate.store(0);
  gLines.clear();
  vmSetHook(L, lineHook, VK_MASKLINE, 0);
  std::string out;
  ASSERT_EQ(RunListing(L, chunk, &out), 0);
  EXPECT_EQ(gLines, (std::vector<int>{2, 3, 4, 3, 4, 5}));
  vmSetHook(L, nullptr, 0, 0);
}

// What a command, an __index command or a finalizer run at a collection point
// does to the running loop: a stop flag or a count hook it sets is seen
// before the next instruction.
enum class Act { kStop, kCountHook };
Act gAct;
bool gActed = false;
int gCounted = 0;
int actOnce(vkState* L) {
  if (gActed) return 0;
  gActed = true;
  if (gAct == Act::kStop)
    ErrorInfo().stopFlag = 1;
  else
    vmSetHook(L, [](vkState*, vkDebugInfo*) { gCounted++; }, VK_MASKCOUNT, 1);
  return 0;
}
// Drops the global "keep" (a userdata finalised by actOnce) and makes the
// next collection point collect.
int dropKept(vkState* L) {
  vmPushString(L, "keep");
  vmPushNil(L);
  vmSetTable(L, VK_GLOBALSINDEX);
  L->G->GCthreshold = 0;
  return 0;
}

// Gives the value on top of the stack a metatable whose [event] is [f].
void SetMetamethod(vkState* L, const char* event, vkCFunction f) {
  vmNewTable(L);
  vmPushString(L, event);
  vmPushCClosure(L, f, 0);
  vmRawSet(L, -3);
  vmSetMetatable(L, -2);
}

// What reached a table's __newindex or __index command, as text.
std::string gMetaCalls;
int recordNewIndex(vkState* L) {
  gMetaCalls += "set " + ResultsText(L, 2) + ";";
  return 0;
}
int recordIndex(vkState* L) {
  gMetaCalls += "get " + ResultsText(L, 2) + ";";
  vmPushString(L, "meta");
  return 1;
}

TEST_F(EngineTest, SetAndGetAroundTheArrayPart) {
  // Global t: an array part of 4 holding t[1] = 10 and t[3] = 30; entries 2
  // and 4 are empty array slots, 5 lies just past the array part.
  struct MetaCase {
    const char* name;
    const char* event;  // the metamethod t gets, or none
    vkCFunction f;
    const char* op;       // run with t in r0
    const char* results;
    const char* calls;    // what reached the metamethod
    const char* raw;      // t[0], t[1], t[2], t[4], t[5], t[1.5], t[-1] afterwards
    bool rawWrite;        // the set cleared t's metamethod-absence cache
  } cases[] = {
      {"filled slot", "__newindex", recordNewIndex, "SETTABLE 0 #1 #11", "", "", "nil 11 nil nil nil nil nil", true},
      {"empty slot", "__newindex", recordNewIndex, "SETTABLE 0 #2 #12", "", "set 2 12;", "nil 10 nil nil nil nil nil",
       false},
      {"last slot", "__newindex", recordNewIndex, "SETTABLE 0 #4 #14", "", "set 4 14;", "nil 10 nil nil nil nil nil",
       false},
      {"past the array", "__newindex", recordNewIndex, "SETTABLE 0 #5 #15", "", "set 5 15;",
       "nil 10 nil nil nil nil nil", false},
      {"key 0", "__newindex", recordNewIndex, "SETTABLE 0 #0 #1", "", "set 0 1;", "nil 10 nil nil nil nil nil", false},
      {"key 1.5", "__newindex", recordNewIndex, "SETTABLE 0 #1.5 #1", "", "set 1.5 1;", "nil 10 nil nil nil nil nil",
       false},
      {"key -1", "__newindex", recordNewIndex, "SETTABLE 0 #-1 #1", "", "set -1 1;", "nil 10 nil nil nil nil nil",
       false},
      {"raw empty slot", nullptr, nullptr, "SETTABLE 0 #2 #12", "", "", "nil 10 12 nil nil nil nil", true},
      {"raw last slot", nullptr, nullptr, "SETTABLE 0 #4 #14", "", "", "nil 10 nil 14 nil nil nil", true},
      {"raw past the array", nullptr, nullptr, "SETTABLE 0 #5 #15", "", "", "nil 10 nil nil 15 nil nil", true},
      {"raw key 0", nullptr, nullptr, "SETTABLE 0 #0 #1", "", "", "1 10 nil nil nil nil nil", true},
      {"raw key 1.5", nullptr, nullptr, "SETTABLE 0 #1.5 #1", "", "", "nil 10 nil nil nil 1 nil", true},
      {"raw key -1", nullptr, nullptr, "SETTABLE 0 #-1 #1", "", "", "nil 10 nil nil nil nil 1", true},
      // The first set finds no __newindex and caches that, the second reads the cache.
      {"__index only", "__index", recordIndex, "SETTABLE 0 #2 #12\nSETTABLE 0 #4 #14", "", "",
       "nil 10 12 14 nil nil nil", true},
      {"get filled slot", "__index", recordIndex, "GETTABLE 1 0 #1", "10", "", "nil 10 nil nil nil nil nil", false},
      {"get empty slot", "__index", recordIndex, "GETTABLE 1 0 #2", "\"meta\"", "get 2;", "nil 10 nil nil nil nil nil",
       false},
      {"get last slot", "__index", recordIndex, "GETTABLE 1 0 #4", "\"meta\"", "get 4;", "nil 10 nil nil nil nil nil",
       false},
      {"get past the array", "__index", recordIndex, "GETTABLE 1 0 #5", "\"meta\"", "get 5;",
       "nil 10 nil nil nil nil nil", false},
      {"get key 3.5", "__index", recordIndex, "GETTABLE 1 0 #3.5", "\"meta\"", "get 3.5;",
       "nil 10 nil nil nil nil nil", false},
  };
  for (const MetaCase& c : cases) {
    SCOPED_TRACE(c.name);
    vmPushString(L, "t");
    vmNewTableSized(L, 4, 0);
    vmPushNumber(L, 10);
    vmRawSetI(L, -2, 1);
    vmPushNumber(L, 30);
    vmRawSetI(L, -2, 3);
    vkTable* t = vmTab(L->top - 1);
    if (c.event) {
      // The metatable has cached the absence of every other event.
      SetMetamethod(L, c.event, c.f);
      int has = std::string(c.event) == "__index" ? VK_TM_INDEX : VK_TM_NEWINDEX;
      t->metatable->flags = static_cast<uint8_t>(0xFF & ~(1u << has));
    }
    vmSetTable(L, VK_GLOBALSINDEX);
    ASSERT_EQ(t->sizearray, 4);
    t->flags = 0xFF;
    gMetaCalls.clear();
    std::string out;
    const std::string ret = c.op[0] == 'G' ? "RETURN 1 2\n" : "RETURN 0 1\n";
    ASSERT_EQ(RunListing(L, std::string("GETGLOBAL 0 \"t\"\n") + c.op + "\n" + ret, &out), 0);
    EXPECT_EQ(out, c.results);
    EXPECT_EQ(gMetaCalls, c.calls);
    EXPECT_EQ(t->flags, c.rawWrite ? 0 : 0xFF);
    int top = vmGetTop(L);
    for (double key : {0.0, 1.0, 2.0, 4.0, 5.0, 1.5, -1.0}) {
      vmPushValue(L, VK_GLOBALSINDEX);
      vmPushString(L, "t");
      vmRawGet(L, -2);
      vmPushNumber(L, key);
      vmRawGet(L, -2);
      vmInsert(L, -3);
      vmSetTop(L, -3);
    }
    EXPECT_EQ(ResultsText(L, top + 1), c.raw);
    vmSetTop(L, top);
  }
}

TEST_F(EngineTest, AStopOrAHookSetOutsideTheLoopIsSeenAtTheNextInstruction) {
  SetGlobalCommand(L, "act", actOnce);
  SetGlobalCommand(L, "drop", dropKept);
  vmPushString(L, "withindex");  // a table whose __index is actOnce
  vmNewTable(L);
  SetMetamethod(L, "__index", actOnce);
  vmSetTable(L, VK_GLOBALSINDEX);
  // Three turns of: n = n + 1, the trigger, a collection point.
  auto chunk = [](const char* trigger) {
    return std::string("GETGLOBAL 6 \"withindex\"\nLOADK 1 #0\nLOADK 2 #0\nLOADK 3 #3\nLOADK 4 #1\nJMP test\n"
                       "loop:\nADD 1 1 #1\nSETGLOBAL 1 \"n\"\n") +
           trigger + "NEWTABLE 0 0 0\ntest:\nFORLOOP 2 loop\nRETURN 0 1\n";
  };
  const char* command = "GETGLOBAL 5 \"act\"\nCALL 5 1 1\n";
  const char* index = "GETTABLE 5 6 \"k\"\n";
  const char* finalizer = "GETGLOBAL 5 \"drop\"\nCALL 5 1 1\n";
  struct ActCase {
    const char* name;
    const char* trigger;
    Act act;
    double turns;  // the value of n at the end
    int counted;   // instructions the count hook saw
  } cases[] = {
      // Stopped before the NEWTABLE after the trigger, or the FORLOOP after the collection.
      {"a command stops", command, Act::kStop, 1, 0},
      {"an __index command stops", index, Act::kStop, 1, 0},
      {"a finalizer stops", finalizer, Act::kStop, 1, 0},
      // NEWTABLE FORLOOP, two turns of six (five with GETTABLE), RETURN.
      {"a command sets a count hook", command, Act::kCountHook, 3, 2 + 12 + 1},
      {"an __index command sets a count hook", index, Act::kCountHook, 3, 2 + 10 + 1},
      // FORLOOP, two turns of six, RETURN.
      {"a finalizer sets a count hook", finalizer, Act::kCountHook, 3, 1 + 12 + 1},
  };
  for (const ActCase& c : cases) {
    SCOPED_TRACE(c.name);
    gAct = c.act;
    gActed = false;
    gCounted = 0;
    ErrorInfo().stopFlag = 0;
    vmPushString(L, "keep");
    vmPushNewUserdata(L, 16);
    SetMetamethod(L, "__gc", actOnce);
    vmSetTable(L, VK_GLOBALSINDEX);
    std::string out;
    EXPECT_EQ(RunListing(L, chunk(c.trigger), &out), 0) << out;
    EXPECT_TRUE(gActed);
    EXPECT_EQ(GlobalNumber(L, "n"), c.turns);
    EXPECT_EQ(gCounted, c.counted);
    EXPECT_EQ(L->ci, L->baseCi);
    vmSetHook(L, nullptr, 0, 0);
    ErrorInfo().stopFlag = 0;
    gActed = true;  // this case's userdata goes now, its finaliser doing nothing
    dropKept(L);
    vmCollectGarbage(L);
  }
}

// A command of one number: its command function and its number function
// compute the same, and count which of the two ran.
int gByCommand = 0, gByNumber = 0;
double twiceNumber(double x) {
  gByNumber++;
  return 2 * x;
}
int twiceCommand(vkState* L) {
  gByCommand++;
  double x = vmToNumber(L, 1);
  vmPushNumber(L, 2 * x);
  return 1;
}
int gHooked = 0;
void callCounter(vkState*, vkDebugInfo*) { gHooked++; }

TEST_F(EngineTest, ACommandOfOneNumberGivesWhatItsCommandGives) {
  const vkCommandDef defs[] = {{"twice", twiceCommand, twiceNumber}, {nullptr, nullptr}};
  vmPushValue(L, VK_GLOBALSINDEX);
  vmRegisterFunctions(L, nullptr, defs, 0);
  vmSetTop(L, 0);
  // Each call returns R0, R1 and the registers it fills: a command's own
  // results may stay on the stack above its arguments.
  struct NumberCase {
    const char* name;
    const char* call;  // after R0 = twice, R1 = R2 = nil
    const char* results;
    bool byNumber;
  } cases[] = {
      {"one result", "LOADK 1 #21\nCALL 0 2 2\nRETURN 0 3\n", "42 21", true},
      {"all results", "LOADK 1 #21\nCALL 0 2 0\nRETURN 0 0\n", "42", true},
      {"no result: the slot keeps the command",
       "LOADK 1 #21\nCALL 0 2 1\nGETGLOBAL 2 \"twice\"\nEQ 1 0 2\nJMP same\nLOADK 0 \"changed\"\nRETURN 0 2\n"
       "same:\nLOADK 0 \"command\"\nRETURN 0 2\n",
       "\"command\"", true},
      {"three results", "LOADK 2 #5\nLOADK 1 #21\nCALL 0 2 4\nRETURN 0 4\n", "42 nil nil", true},
      {"a string argument", "LOADK 1 \"21\"\nCALL 0 2 2\nRETURN 0 3\n", "42 \"21\"", false},
      {"two arguments", "LOADK 1 #21\nLOADK 2 #1\nCALL 0 3 2\nRETURN 0 3\n", "42 21", false},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.name);
    gByCommand = gByNumber = 0;
    ErrorInfo().lastError = 1044;
    std::string out;
    ASSERT_EQ(RunListing(L, std::string("GETGLOBAL 0 \"twice\"\nLOADNIL 1 2\n") + c.call, &out), 0);
    EXPECT_EQ(out, c.results);
    EXPECT_EQ(gByNumber, c.byNumber ? 1 : 0);
    EXPECT_EQ(gByCommand, c.byNumber ? 0 : 1);
    EXPECT_EQ(ErrorInfo().lastError, 0u);
  }
  // What watches command calls sees this one as a command call.
  const char* once = "GETGLOBAL 0 \"twice\"\nLOADK 1 #21\nCALL 0 2 2\nRETURN 0 2\n";
  gByCommand = gByNumber = gHooked = 0;
  vmSetHook(L, callCounter, VK_MASKCALL, 0);
  std::string out;
  ASSERT_EQ(RunListing(L, once, &out), 0);
  vmSetHook(L, nullptr, 0, 0);
  EXPECT_EQ(out, "42");
  EXPECT_EQ(gByCommand, 1);
  EXPECT_GE(gHooked, 2);  // the chunk and the command
  EngineRun(L).debugOutput = true;
  ASSERT_EQ(RunListing(L, once, &out), 0);
  EngineRun(L).debugOutput = false;
  EXPECT_EQ(gByCommand, 2);
  EXPECT_EQ(gByNumber, 0);
}

// The stack after a call of "twice" from register [a] of the main chunk, in
// a fresh engine where it is a command of one number or a plain command.
int stackAfterTwice(int a, bool asNumber) {
  vkState* L = vmNewState();
  const vkCommandDef defs[] = {{"twice", twiceCommand, asNumber ? twiceNumber : nullptr}, {nullptr, nullptr}};
  vmPushValue(L, VK_GLOBALSINDEX);
  vmRegisterFunctions(L, nullptr, defs, 0);
  vmSetTop(L, 0);
  const std::string r = std::to_string(a), arg = std::to_string(a + 1);
  std::string out;
  EXPECT_EQ(RunListing(L, "GETGLOBAL " + r + " \"twice\"\nLOADK " + arg + " #21\nCALL " + r + " 2 2\nRETURN " + r +
                              " 2\n",
                       &out),
            0);
  EXPECT_EQ(out, "42");
  int size = L->stacksize;
  vmCloseState(L);
  return size;
}

// A command of one number called high in a frame grows the stack as its
// command frame would.
TEST_F(EngineTest, ACommandOfOneNumberGrowsTheStackAsItsFrameWould) {
  for (int a : {0, 10, 16, 17, 18, 19, 20, 30}) {
    SCOPED_TRACE(a);
    EXPECT_EQ(stackAfterTwice(a, true), stackAfterTwice(a, false));
  }
  EXPECT_GT(stackAfterTwice(30, false), kBasicStackSize);  // the frame grew it
  EXPECT_EQ(stackAfterTwice(0, false), kBasicStackSize);
}

}  // namespace
