// The call of a command closure: the part of vmPreCall that the
// interpreter's calls also take directly, inline, so that a command call from
// a script costs its frame record, the command and the result count.
#pragma once

#include <cstdint>

#include "engine/call.h"
#include "engine/runstate.h"

// Room for a command frame on [L]: a free call record and kMinCommandStack
// slots. Returns [func] where it is after the stack moved.
vkValue* vmCommandFrameRoom(vkState* L, vkValue* func);
// What runs before a command when the call hook or the debug output is on.
void vmCommandPrologue(vkState* L);
// The call of command closure [cl] marked for first use while the engine's
// first-use hook is set: the hook, forgotten as it runs, then the command
// when the hook returned 0; the command's result or the hook's error.
int vmFirstUseCall(vkState* L, vkClosure* cl);

// Runs command closure [cl] called at [func] with the arguments up to the
// top, in a frame of its own, and returns VK_PRECALL_DONE with its results
// from *[firstResult] to the top (an error code 1000.. goes to [errorCode],
// its results are none), or a label jump (VK_PRECALL_JUMP_*, no results).
// [run] is [L]'s engine run record. The frame stays pushed: vmPostCall pops it.
inline int vmCallCommand(vkState* L, vkEngineRun& run, vkValue* func, vkClosure* cl, uint32_t* errorCode,
                         vkValue** firstResult) {
  if (__builtin_expect(L->ci == L->endCi || L->stackLast - L->top <= kMinCommandStack, 0))
    func = vmCommandFrameRoom(L, func);
  vkCallInfo* ci = ++L->ci;
  ci->func = cl;
  L->base = ci->base = func + 1;
  ci->top = L->top + kMinCommandStack;
  ci->savedpc = nullptr;
  ci->tracedpc = nullptr;
  ci->tailcalls = 0;
  ci->state = VK_CI_C;
  if (__builtin_expect((L->hookMask & VK_MASKCALL) | run.debugOutput, 0)) vmCommandPrologue(L);
  if (cl->f != run.lastErrorReader) run.errors.lastError = 0;
  uint32_t r;
  if (__builtin_expect(cl->firstUse, 0) && run.firstUseHook)
    r = static_cast<uint32_t>(vmFirstUseCall(L, cl));
  else
    r = static_cast<uint32_t>(cl->f(L));
  if (__builtin_expect(r < 1000, 1)) {
    uint32_t have = static_cast<uint32_t>(L->top - L->base);
    if (r > have) r = have;  // a command cannot return more than it pushed
    *firstResult = L->top - r;
    return VK_PRECALL_DONE;
  }
  if (r >= 0xFFFFFFFEu) {
    *firstResult = nullptr;
    return r == 0xFFFFFFFFu ? VK_PRECALL_JUMP_NEXT : VK_PRECALL_JUMP_BEFORE;
  }
  *errorCode = r;
  *firstResult = L->top;
  return VK_PRECALL_DONE;
}
