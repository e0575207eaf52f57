// The loader's fuzz entry point: any input must give an error code or a
// function, never a crash. A function that loads is dumped and reloaded (the
// same bytes must come back) and then run for a bounded number of
// instructions, so that verified code is also exercised. Built as a
// libFuzzer target with clang (-DVK_FUZZ=ON); the engine tests replay and
// mutate a seed corpus through it.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/bytecode.h"
#include "engine/call.h"
#include "base/errorinfo.h"
#include "engine/function.h"
#include "engine/interpreter.h"
#include "engine/opcodes.h"
#include "engine/state.h"
#include "engine/vmapi.h"

namespace {

constexpr int kInstructionBudget = 500;
constexpr size_t kMemoryBudget = 16u << 20;
int gExecuted = 0;

void budgetHook(vkState* L, vkDebugInfo*) {
  if (++gExecuted > kInstructionBudget || L->G->nblocks > kMemoryBudget) ErrorInfo().stopFlag = 1;
}

// Large table constructors would only measure the allocator: such code is
// loaded but not run.
bool cheapToRun(const vkProto* p) {
  for (int j = 0; j < p->sizecode; j++) {
    uint32_t i = p->code[j];
    if (vmOpcode(i) == OP_NEWTABLE && (vmArgB(i) > 0x60 || vmArgC(i) > 12)) return false;
  }
  for (int j = 0; j < p->sizep; j++)
    if (!cheapToRun(p->p[j])) return false;
  return true;
}

int collect(vkState*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vkState* L = vmNewState();
  if (!L) return 0;
  if (vmLoadBuffer(L, data, size, "=fuzz") == 0) {
    std::string first, second;
    vmDumpFunction(L, -1, collect, &first);
    if (vmLoadBuffer(L, first.data(), first.size(), "=again") != 0) __builtin_trap();
    vmDumpFunction(L, -1, collect, &second);
    if (first != second) __builtin_trap();
    vmSetTop(L, -2);
    if (cheapToRun(vmCl(L->top - 1)->p)) {
      gExecuted = 0;
      vmSetHook(L, budgetHook, VK_MASKCOUNT, 1);
      vmPCall(L, 0, 0, 0);
      vmSetHook(L, nullptr, 0, 0);
    }
  }
  vmCloseState(L);
  return 0;
}
