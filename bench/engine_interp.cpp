// Benchmarks of the interpreter on five small programs, the same five that
// bench/compare_python.py runs in python3: a numeric for loop, recursive
// fib(27), filling and summing a 10^6-element table, building a string by
// concatenation (and by a million one-byte appends), and a million command
// calls (of a command, of a command of one number, and of the string
// library's StrLen).
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "bench/engine_protos.h"
#include "engine/call.h"
#include "engine/libraries.h"
#include "platform/vkos_events.h"
#include "runtime/stringlib.h"

namespace {

using namespace vkbench;

struct Engine {
  vkState* L = vmNewState();
  ~Engine() { vmCloseState(L); }
};

// Runs [f] and checks its one result. With [hook] a line hook runs, behind
// [gate] if one is given.
void run(benchmark::State& state, const Func& f, double expect, vkCFunction cmd = nullptr, vkHook hook = nullptr,
         const vkHookGate* gate = nullptr) {
  Engine e;
  if (hook) vmSetHook(e.L, hook, VK_MASKLINE, 0, gate);
  if (cmd) {
    vmPushString(e.L, "cmd");
    vmPushCClosure(e.L, cmd, 0);
    vmSetTable(e.L, VK_GLOBALSINDEX);
  }
  for (auto _ : state) {
    pushFunction(e.L, f);
    vmCall(e.L, 0, 1);
    if (expect == expect && vmToNumber(e.L, -1) != expect) state.SkipWithError("wrong result");
    vmSetTop(e.L, 0);
  }
}

// sum = 0; for i = 1, 10^7 do sum = sum + i end
Func forLoop() {
  Func f;
  f.k = {num(0), num(1e7), num(1)};
  f.code = {ABx(OP_LOADK, 0, 0), ABx(OP_LOADK, 1, 0), ABx(OP_LOADK, 2, 1), ABx(OP_LOADK, 3, 2),
            JMP(1),              ABC(OP_ADD, 0, 0, 1), AsBx(OP_FORLOOP, 1, -2), ABC(OP_RETURN, 0, 2, 0)};
  return f;
}
void BM_ForLoop(benchmark::State& state) { run(state, forLoop(), 1e7 * (1e7 + 1) / 2); }
BENCHMARK(BM_ForLoop)->Unit(benchmark::kMillisecond);

// The same loop with the event pump as the line hook behind its gate, as the
// player runs scripts: the hook runs only when the gate opens (an event, or
// every 10 ms), and then nearly always in full.
void BM_ForLoopWithPumpHook(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (vkosInit() != 0) {
    state.SkipWithError("the platform did not start");
    return;
  }
  run(state, forLoop(), 1e7 * (1e7 + 1) / 2, nullptr, [](vkState* L, vkDebugInfo* ar) { vkosPumpEvents(L, ar); },
      vkosPumpGate());
  vkosExit();
}
BENCHMARK(BM_ForLoopWithPumpHook)->Unit(benchmark::kMillisecond);

// The pump as an ungated line hook: every turn jumps back, so it runs once
// per turn, nearly always on its quick path.
void BM_ForLoopWithUngatedPumpHook(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (vkosInit() != 0) {
    state.SkipWithError("the platform did not start");
    return;
  }
  run(state, forLoop(), 1e7 * (1e7 + 1) / 2, nullptr, [](vkState* L, vkDebugInfo* ar) { vkosPumpEvents(L, ar); });
  vkosExit();
}
BENCHMARK(BM_ForLoopWithUngatedPumpHook)->Unit(benchmark::kMillisecond);

// The same loop with a line hook that does nothing: what calling a hook
// costs the interpreter, apart from the pump's own quick path.
void BM_ForLoopWithEmptyHook(benchmark::State& state) {
  run(state, forLoop(), 1e7 * (1e7 + 1) / 2, nullptr, [](vkState*, vkDebugInfo*) {});
}
BENCHMARK(BM_ForLoopWithEmptyHook)->Unit(benchmark::kMillisecond);

// Recursive fib(27).
void BM_Fib27(benchmark::State& state) { run(state, fibProgram(27), 196418); }
BENCHMARK(BM_Fib27)->Unit(benchmark::kMillisecond);

// t = {}; for i = 1, 10^6 do t[i] = i end; s = 0; for i = 1, 10^6 do s = s + t[i] end
void BM_TableFillSum(benchmark::State& state) {
  Func f;
  f.k = {num(0), num(1e6), num(1)};
  f.code = {ABC(OP_NEWTABLE, 0, 0, 0), ABx(OP_LOADK, 1, 0),     ABx(OP_LOADK, 2, 1),  ABx(OP_LOADK, 3, 2),
            JMP(1),                    ABC(OP_SETTABLE, 0, 1, 1), AsBx(OP_FORLOOP, 1, -2),
            ABx(OP_LOADK, 4, 0),       ABx(OP_LOADK, 1, 0),     JMP(2),               ABC(OP_GETTABLE, 5, 0, 1),
            ABC(OP_ADD, 4, 4, 5),      AsBx(OP_FORLOOP, 1, -3), ABC(OP_RETURN, 4, 2, 0)};
  run(state, f, 1e6 * (1e6 + 1) / 2);
}
BENCHMARK(BM_TableFillSum)->Unit(benchmark::kMillisecond);

// s = ""; for i = 1, 10000 do s = s .. i .. "," end
void BM_StringConcat(benchmark::State& state) {
  Func f;
  f.k = {str(""), num(0), num(10000), num(1), str(",")};
  f.code = {ABx(OP_LOADK, 0, 0), ABx(OP_LOADK, 1, 1),  ABx(OP_LOADK, 2, 2),  ABx(OP_LOADK, 3, 3),
            JMP(4),              ABC(OP_MOVE, 4, 0, 0), ABC(OP_MOVE, 5, 1, 0), ABx(OP_LOADK, 6, 4),
            ABC(OP_CONCAT, 0, 4, 6), AsBx(OP_FORLOOP, 1, -5), ABC(OP_RETURN, 0, 2, 0)};
  run(state, f, __builtin_nan(""));
}
BENCHMARK(BM_StringConcat)->Unit(benchmark::kMillisecond);

// s = ""; for i = 1, 10^6 do s = s .. "x" end: appends of one byte to a
// growing text, each making a new string the collector later frees.
void BM_Appends(benchmark::State& state) {
  Engine e;
  Func f;
  const int count = static_cast<int>(state.range(0));
  f.k = {str(""), num(0), num(count), num(1), str("x")};
  f.code = {ABx(OP_LOADK, 0, 0), ABx(OP_LOADK, 1, 1),  ABx(OP_LOADK, 2, 2),     ABx(OP_LOADK, 3, 3),
            JMP(3),              ABC(OP_MOVE, 4, 0, 0), ABx(OP_LOADK, 5, 4),     ABC(OP_CONCAT, 0, 4, 5),
            AsBx(OP_FORLOOP, 1, -4), ABC(OP_RETURN, 0, 2, 0)};
  for (auto _ : state) {
    pushFunction(e.L, f);
    vmCall(e.L, 0, 1);
    if (vmStrLen(e.L, -1) != static_cast<size_t>(count)) state.SkipWithError("wrong result");
    vmSetTop(e.L, 0);
  }
}
BENCHMARK(BM_Appends)->Arg(1000000)->Unit(benchmark::kMillisecond);

int nothing(vkState*) { return 0; }

// for i = 1, 10^6 do cmd(i) end
void BM_CommandCalls(benchmark::State& state) {
  Func f;
  f.k = {num(0), num(1e6), num(1), str("cmd")};
  f.code = {ABx(OP_LOADK, 0, 0),    ABx(OP_LOADK, 1, 1),   ABx(OP_LOADK, 2, 2),    JMP(3),
            ABx(OP_GETGLOBAL, 4, 3), ABC(OP_MOVE, 5, 0, 0), ABC(OP_CALL, 4, 2, 1), AsBx(OP_FORLOOP, 0, -4),
            ABC(OP_RETURN, 0, 2, 0)};
  run(state, f, 1e6, nothing);
}
BENCHMARK(BM_CommandCalls)->Unit(benchmark::kMillisecond);

double half(double x) { return x / 2; }
int halfCommand(vkState* L) {
  vmPushNumber(L, half(vmToNumber(L, 1)));
  return 1;
}

// s = 0; for i = 1, 10^6 do s = s + half(i) end, with half a command of one
// number (as the math library's are), and with one that is only a command.
void BM_NumberCommandCalls(benchmark::State& state) {
  Engine e;
  const vkCommandDef defs[] = {{"half", halfCommand, state.range(0) ? half : nullptr}, {nullptr, nullptr}};
  vmPushValue(e.L, VK_GLOBALSINDEX);
  vmRegisterFunctions(e.L, nullptr, defs, 0);
  vmSetTop(e.L, 0);
  const Func f = halfLoopProgram();
  for (auto _ : state) {
    pushFunction(e.L, f);
    vmCall(e.L, 0, 1);
    if (vmToNumber(e.L, -1) != 1e6 * (1e6 + 1) / 4) state.SkipWithError("wrong result");
    vmSetTop(e.L, 0);
  }
}
BENCHMARK(BM_NumberCommandCalls)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// n = 0; for i = 1, 10^6 do n = n + strlen(s) end: a command that reads a
// string argument through the checks.
void BM_StringCommandCalls(benchmark::State& state) {
  Engine e;
  vmPushValue(e.L, VK_GLOBALSINDEX);
  OpenStringLibrary(e.L);
  vmSetTop(e.L, 0);
  Func f;
  f.k = {num(0), num(1e6), num(1), str("strlen"), str("hello, world")};
  f.code = {ABx(OP_LOADK, 0, 0),    ABx(OP_LOADK, 1, 0),     ABx(OP_LOADK, 2, 1),   ABx(OP_LOADK, 3, 2),
            ABx(OP_LOADK, 4, 4),    JMP(4),                  ABx(OP_GETGLOBAL, 5, 3), ABC(OP_MOVE, 6, 4, 0),
            ABC(OP_CALL, 5, 2, 2),  ABC(OP_ADD, 0, 0, 5),    AsBx(OP_FORLOOP, 1, -5), ABC(OP_RETURN, 0, 2, 0)};
  for (auto _ : state) {
    pushFunction(e.L, f);
    vmCall(e.L, 0, 1);
    if (vmToNumber(e.L, -1) != 12e6) state.SkipWithError("wrong result");
    vmSetTop(e.L, 0);
  }
}
BENCHMARK(BM_StringCommandCalls)->Unit(benchmark::kMillisecond);

}  // namespace
