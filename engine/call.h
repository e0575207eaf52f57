// The call machinery of each thread: the value stack and its growth, the
// call-info records, preparing and completing calls of script functions and
// commands, nested calls from C, hooks and protected execution (a numbered
// error unwinds as vkScriptError to the innermost vmRunProtected).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/state.h"

inline ptrdiff_t vmSaveStack(vkState* L, const vkValue* p) { return p - L->stack; }
inline vkValue* vmRestoreStack(vkState* L, ptrdiff_t n) { return L->stack + n; }

void vmReallocStack(vkState* L, int newsize);
void vmGrowStack(vkState* L, int n);
void vmReallocCallInfo(vkState* L, int newsize);

// Guarantees [n] free slots above the top.
inline void vmEnsureStack(vkState* L, int n) {
  if (L->stackLast - L->top <= n) vmGrowStack(L, n);
}

// What vmPreCall did.
enum : int {
  VK_PRECALL_SCRIPT = 0,        // a script frame was pushed; run vmExecute
  VK_PRECALL_DONE = 1,          // a command ran; its results start at *firstResult
  VK_PRECALL_JUMP_NEXT = -1,    // the command asked for a label jump (GOSUB to the next instruction)
  VK_PRECALL_JUMP_BEFORE = -2   // as -1, returning to the instruction before the call
};

// Prepares the call of the value at [func] with the arguments up to the top.
// A command runs at once; its error code (1000..) goes to [errorCode].
int vmPreCall(vkState* L, vkValue* func, uint32_t* errorCode, vkValue** firstResult);

void vmGrowCallInfo(vkState* L);
void vmAdjustVarargs(vkState* L, int nfixargs, vkValue* base);

// Slots a frame of [p] holds: the verifier's figure, or for a function it
// has not seen, the maximum stack size and the parameters.
inline int vmFrameSize(const vkProto* p) {
  if (p->frameSize != 0) return p->frameSize;
  int frame = p->maxstacksize;
  return frame > p->numparams + 1 ? frame : p->numparams + 1;
}

// Room for a frame of [frame] slots above the arguments that end at [args]:
// a free call record and the slots. Returns [func] where it is after the
// stack moved.
vkValue* vmFrameRoom(vkState* L, vkValue* func, const vkValue* args, int frame);

// The frame of script closure [cl] called at [func], with the arguments up
// to [args]: the part of vmPreCall that the interpreter's calls take
// directly. [state] adds VK_CI_* bits to the new record, which is returned.
inline vkCallInfo* vmPushScriptFrame(vkState* L, vkValue* func, vkClosure* cl, vkValue* args, uint8_t state = 0) {
  vkProto* p = cl->p;
  int frame = vmFrameSize(p);
  if (__builtin_expect(L->ci == L->endCi || L->stackLast - args <= frame, 0)) {
    ptrdiff_t n = args - func;
    func = vmFrameRoom(L, func, args, frame);
    args = func + n;
  }
  vkValue* base = func + 1;
  if (!p->isVararg) {
    if (args > base + p->numparams) args = base + p->numparams;  // the first slot no argument fills
  } else {
    L->top = args;
    vmAdjustVarargs(L, p->numparams, base);
    args = L->top;
  }
  vkValue* top = base + frame;
  for (; args < top; args++) vmSetNil(args);
  L->top = top;
  vkCallInfo* ci = ++L->ci;
  ci->func = cl;
  L->base = ci->base = base;
  ci->top = top;
  ci->savedpc = p->code;
  ci->tracedpc = nullptr;
  ci->tailcalls = 0;
  ci->state = static_cast<uint8_t>(VK_CI_SCRIPT | VK_CI_SAVEDPC | state);
  return ci;
}

void vmCallReturnHook(vkState* L, vkValue** firstResult);

// Moves at most [wanted] (-1 all) of the results from [first] up to [last]
// down to [res], pads with nil up to [wanted], and returns the end of what
// it wrote.
inline vkValue* vmMoveResults(vkValue* res, const vkValue* first, const vkValue* last, int wanted) {
  if (wanted == 1 && first < last) {  // the common case: one result asked and given
    *res = *first;
    return res + 1;
  }
  vkValue* end = wanted < 0 ? res + (last - first) : res + wanted;
  while (res < end && first < last) *res++ = *first++;
  while (res < end) vmSetNil(res++);
  return end;
}

// Completes the running call: return hook, pops its record, moves at most
// [wanted] results (-1 all) from [firstResult] to the function slot, pads
// with nil. A NULL [firstResult] yields only nil results.
inline void vmPostCall(vkState* L, int wanted, vkValue* firstResult) {
  if (__builtin_expect(L->hookMask & VK_MASKRET, 0)) vmCallReturnHook(L, &firstResult);
  vkValue* res = L->base - 1;
  L->ci--;
  L->base = L->ci->base;
  L->top = vmMoveResults(res, firstResult, firstResult ? L->top : firstResult, wanted);
}

// Calls the value at [func] from C; returns the error code of a command that
// was called directly (0 when none). Label jumps are ignored.
uint32_t vmCallCore(vkState* L, vkValue* func, int nresults);

struct vkErrorJump {
  vkErrorJump* previous;
  int status;
};

typedef void (*vkPFunc)(vkState* L, void* ud);

// Runs [f] and returns 0 or the code it was unwound with.
int vmRunProtected(vkState* L, vkPFunc f, void* ud);
// Runs [f] protected and on error restores the call records, nested-call
// count, allow-hook, stack limit and GOSUB depth, closes upvalues above
// [oldtop] and sets the top there.
int vmCallProtected(vkState* L, vkPFunc f, void* ud, ptrdiff_t oldtop, ptrdiff_t ef);

// Hooks.
void vmCallHook(vkState* L, int event, int line);
// Sets the hook [func] for the events of [mask] (every [count] instructions
// for the count hook); a NULL [func] or an empty [mask] removes the hook.
// With a [lineGate] the line hook runs only while that word is non-zero (on
// the first new line after it was set); the other events are not gated.
int vmSetHook(vkState* L, vkHook func, int mask, int count, const vkHookGate* lineGate = nullptr);
void vmInitHooks(vkState* L);

// Source line of the instruction before [pc] in [p]: 0 without line info,
// -1 before the first instruction.
int vmLineAt(const vkProto* p, const uint32_t* pc);
// Current line of a call level: -1 for commands.
int vmCurrentLine(vkState* L, const vkCallInfo* ci);

inline vkClosure* vmCiFunc(const vkCallInfo* ci) { return ci->func; }
inline bool vmCiIsScript(const vkCallInfo* ci) { return (ci->state & VK_CI_SCRIPT) != 0; }
