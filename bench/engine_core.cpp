// Benchmarks of the engine core: raw table get/set by integer and string
// key, next traversal, closure creation, a command called through the
// interpreter's call path, and the collector's pause with 10^6 live entries.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/engine_protos.h"
#include "engine/gc.h"
#include "engine/table.h"

namespace {

using namespace vkbench;

struct Engine {
  vkState* L = vmNewState();
  ~Engine() { vmCloseState(L); }
};

constexpr int kKeys = 1 << 16;

void BM_TableSetInt(benchmark::State& state) {
  Engine e;
  vmNewTable(e.L);
  vkTable* t = vmTab(e.L->top - 1);
  for (auto _ : state)
    for (int k = 1; k <= kKeys; k++) vmSetNumber(vmTableSetNum(e.L, t, k), k);
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_TableSetInt);

void BM_TableGetInt(benchmark::State& state) {
  Engine e;
  vmNewTable(e.L);
  vkTable* t = vmTab(e.L->top - 1);
  for (int k = 1; k <= kKeys; k++) vmSetNumber(vmTableSetNum(e.L, t, k), k);
  double sum = 0;
  for (auto _ : state)
    for (int k = 1; k <= kKeys; k++) sum += vmTableGetNum(t, k)->v.n;
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_TableGetInt);

std::vector<vkString*> makeKeys(vkState* L, vkTable* anchor) {
  std::vector<vkString*> keys;
  for (int k = 0; k < kKeys; k++) {
    vkString* s = vmNewCString(L, ("key" + std::to_string(k)).c_str());
    vmSetString(vmTableSetNum(L, anchor, k + 1), s);  // keeps the strings alive
    keys.push_back(s);
  }
  return keys;
}

void BM_TableSetString(benchmark::State& state) {
  Engine e;
  vmNewTable(e.L);
  vmNewTable(e.L);
  vkTable* anchor = vmTab(e.L->top - 2);
  vkTable* t = vmTab(e.L->top - 1);
  std::vector<vkString*> keys = makeKeys(e.L, anchor);
  for (auto _ : state) {
    for (vkString* s : keys) {
      vkValue k;
      vmSetString(&k, s);
      vmSetNumber(vmTableSet(e.L, t, &k), 1);
    }
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_TableSetString);

void BM_TableGetString(benchmark::State& state) {
  Engine e;
  vmNewTable(e.L);
  vmNewTable(e.L);
  vkTable* anchor = vmTab(e.L->top - 2);
  vkTable* t = vmTab(e.L->top - 1);
  std::vector<vkString*> keys = makeKeys(e.L, anchor);
  for (vkString* s : keys) {
    vkValue k;
    vmSetString(&k, s);
    vmSetNumber(vmTableSet(e.L, t, &k), 1);
  }
  double sum = 0;
  for (auto _ : state)
    for (vkString* s : keys) sum += vmTableGetStr(t, s)->v.n;
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_TableGetString);

void BM_NextTraversal(benchmark::State& state) {
  Engine e;
  vmNewTable(e.L);
  vkTable* t = vmTab(e.L->top - 1);
  for (int k = 1; k <= kKeys; k++) vmSetNumber(vmTableSetNum(e.L, t, k * 3), k);  // mostly hash part
  for (auto _ : state) {
    vkValue kv[2];
    vmSetNil(&kv[0]);
    double sum = 0;
    while (vmTableNext(e.L, t, kv)) sum += kv[1].v.n;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kKeys);
}
BENCHMARK(BM_NextTraversal);

constexpr int kLoop = 1000000;

// for i = 1, n do local f = function() return x end end, with one upvalue.
void BM_ClosureCreation(benchmark::State& state) {
  Engine e;
  Func inner;
  inner.nups = 1;
  inner.lineDefined = 1;
  inner.maxstack = 2;
  inner.code = {vmCreateABC(OP_GETUPVAL, 0, 0, 0), vmCreateABC(OP_RETURN, 0, 2, 0)};
  Func main;
  main.maxstack = 8;
  main.k = {num(0), num(kLoop), num(1)};
  main.p = {inner};
  main.code = {vmCreateABx(OP_LOADK, 0, 0), vmCreateABx(OP_LOADK, 1, 1), vmCreateABx(OP_LOADK, 2, 2),
               vmCreateJump(2, 0), vmCreateABx(OP_CLOSURE, 4, 0), vmCreateABC(OP_MOVE, 0, 0, 0),
               vmCreateAsBx(OP_FORLOOP, 0, -3), vmCreateABC(OP_RETURN, 0, 1, 0)};
  for (auto _ : state) {
    pushFunction(e.L, main);
    vmCall(e.L, 0, 0);
  }
  state.SetItemsProcessed(state.iterations() * kLoop);
}
BENCHMARK(BM_ClosureCreation)->Unit(benchmark::kMillisecond);

int nothing(vkState*) { return 0; }

// for i = 1, n do cmd(i) end
void BM_CommandCall(benchmark::State& state) {
  Engine e;
  vmPushString(e.L, "cmd");
  vmPushCClosure(e.L, nothing, 0);
  vmSetTable(e.L, VK_GLOBALSINDEX);
  Func main;
  main.maxstack = 8;
  main.k = {num(0), num(kLoop), num(1), str("cmd")};
  main.code = {vmCreateABx(OP_LOADK, 0, 0), vmCreateABx(OP_LOADK, 1, 1),    vmCreateABx(OP_LOADK, 2, 2),
               vmCreateJump(3, 0),          vmCreateABx(OP_GETGLOBAL, 4, 3), vmCreateABC(OP_MOVE, 5, 0, 0),
               vmCreateABC(OP_CALL, 4, 2, 1), vmCreateAsBx(OP_FORLOOP, 0, -4), vmCreateABC(OP_RETURN, 0, 1, 0)};
  for (auto _ : state) {
    pushFunction(e.L, main);
    vmCall(e.L, 0, 0);
  }
  state.SetItemsProcessed(state.iterations() * kLoop);
}
BENCHMARK(BM_CommandCall)->Unit(benchmark::kMillisecond);

void BM_CollectorPause1MEntries(benchmark::State& state) {
  Engine e;
  vmNewTable(e.L);
  vkTable* t = vmTab(e.L->top - 1);
  for (int k = 0; k < 1000000; k++) vmSetNumber(vmTableSetNum(e.L, t, k * 2 + 1), k);  // half array, half hash
  for (auto _ : state) vmCollectGarbage(e.L);
}
BENCHMARK(BM_CollectorPause1MEntries)->Unit(benchmark::kMillisecond);

}  // namespace
