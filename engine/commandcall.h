// The call of a command closure: the part of vmPreCall that the
// interpreter's calls also take directly, inline, so that a command call from
// a script costs its frame record, the command and the result count.
#pragma once

#include <cstdint>

#include "engine/call.h"
#include "engine/runstate.h"

// What runs before a command when the call hook or the debug output is on.
void vmCommandPrologue(vkState* L);
// The call of command closure [cl] marked for first use while the engine's
// first-use hook is set: the hook, forgotten as it runs, then the command
// when the hook returned 0; the command's result or the hook's error.
int vmFirstUseCall(vkState* L, vkClosure* cl);

// What a command returns: below kCommandErrorBase its result count, from
// there an error code, and the two highest words a label jump.
inline constexpr uint32_t kCommandErrorBase = 1000;
inline constexpr uint32_t kCommandJumpBefore = 0xFFFFFFFEu;
inline constexpr uint32_t kCommandJumpNext = 0xFFFFFFFFu;

// Runs command closure [cl] called at [func] with the arguments up to the
// top, in a frame of its own, and returns what the command returned.
// [run] is [L]'s engine run record. The frame stays pushed.
inline uint32_t vmRunCommand(vkState* L, vkEngineRun& run, vkValue* func, vkClosure* cl) {
  if (__builtin_expect(L->ci == L->endCi || L->stackLast - L->top <= kMinCommandStack, 0))
    func = vmFrameRoom(L, func, L->top, kMinCommandStack);
  // A command frame has no instructions: its savedpc and tracedpc are
  // never read, so they are left as they are.
  vkCallInfo* ci = ++L->ci;
  ci->func = cl;
  L->base = ci->base = func + 1;
  ci->top = L->top + kMinCommandStack;
  ci->tailcalls = 0;
  ci->state = VK_CI_C;
  if (__builtin_expect((L->hookMask & VK_MASKCALL) | run.debugOutput, 0)) vmCommandPrologue(L);
  if (cl->f != run.lastErrorReader) run.errors.lastError = 0;
  if (__builtin_expect(cl->firstUse, 0) && run.firstUseHook) return static_cast<uint32_t>(vmFirstUseCall(L, cl));
  return static_cast<uint32_t>(cl->f(L));
}

// The first of the [count] results (below kCommandErrorBase) of the running
// command: a command cannot return more than it pushed.
inline vkValue* vmCommandResults(vkState* L, uint32_t count) {
  uint32_t have = static_cast<uint32_t>(L->top - L->base);
  return L->top - (count < have ? count : have);
}

// Completes the running command that returned [count] results, when no
// return hook is set: pops its frame and moves at most [wanted] results
// (-1 all) to the function slot, padded with nil; the top follows them.
inline void vmEndCommand(vkState* L, int wanted, uint32_t count) {
  vkValue* top = L->top;
  vkValue* res = L->base - 1;
  // One result given needs no count of the frame.
  vkValue* first = count == 1 && top > L->base ? top - 1 : vmCommandResults(L, count);
  L->ci--;
  L->base = L->ci->base;
  L->top = vmMoveResults(res, first, top, wanted);
}

// What the running command's return value [r] means: VK_PRECALL_DONE with
// the results from *[firstResult] to the top (an error code goes to
// [errorCode], its results are none), or a label jump (VK_PRECALL_JUMP_*, no
// results).
inline int vmCommandOutcome(vkState* L, uint32_t r, uint32_t* errorCode, vkValue** firstResult) {
  if (__builtin_expect(r < kCommandErrorBase, 1)) {
    *firstResult = vmCommandResults(L, r);
    return VK_PRECALL_DONE;
  }
  if (r >= kCommandJumpBefore) {
    *firstResult = nullptr;
    return r == kCommandJumpNext ? VK_PRECALL_JUMP_NEXT : VK_PRECALL_JUMP_BEFORE;
  }
  *errorCode = r;
  *firstResult = L->top;
  return VK_PRECALL_DONE;
}

// vmRunCommand and the outcome of what it returned. The frame stays pushed:
// vmPostCall pops it.
inline int vmCallCommand(vkState* L, vkEngineRun& run, vkValue* func, vkClosure* cl, uint32_t* errorCode,
                         vkValue** firstResult) {
  return vmCommandOutcome(L, vmRunCommand(L, run, func, cl), errorCode, firstResult);
}
