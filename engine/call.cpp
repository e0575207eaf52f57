// Stack, call records, calls of script functions and commands, hooks and
// protected execution.
#include "engine/call.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "base/errorcodes.h"
#include "engine/commandcall.h"
#include "engine/commandtrace.h"
#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/gc.h"
#include "engine/interpreter.h"
#include "engine/runstate.h"
#include "engine/memory.h"
#include "engine/strings.h"
#include "engine/table.h"

void vmReallocStack(vkState* L, int newsize) {
  vkValue* old = L->stack;
  vkValue* ns = vmNewArray<vkValue>(L, static_cast<size_t>(newsize));
  int keep = newsize < L->stacksize ? newsize : L->stacksize;
  std::copy(old, old + keep, ns);
  for (int i = keep; i < newsize; i++) vmSetNil(&ns[i]);
  auto rebase = [&](vkValue* p) { return ns + (p - old); };
  L->top = rebase(L->top);
  L->base = rebase(L->base);
  for (vkGCObject* up = L->openupval; up; up = up->next) {
    vkUpval* uv = static_cast<vkUpval*>(up);
    uv->v = rebase(uv->v);
  }
  for (vkCallInfo* ci = L->baseCi; ci <= L->ci; ci++) {
    ci->base = rebase(ci->base);
    ci->top = rebase(ci->top);
  }
  vmFreeArray(L, old, static_cast<size_t>(L->stacksize));
  L->stack = ns;
  L->stacksize = newsize;
  L->stackLast = ns + newsize - kStackExtra;
}

void vmGrowStack(vkState* L, int n) {
  if (n <= L->stacksize)
    vmReallocStack(L, 2 * L->stacksize);
  else
    vmReallocStack(L, L->stacksize + n + 5);
}

void vmReallocCallInfo(vkState* L, int newsize) {
  ptrdiff_t cur = L->ci - L->baseCi;
  L->baseCi = static_cast<vkCallInfo*>(vmRealloc(L, L->baseCi, static_cast<size_t>(L->sizeCi) * sizeof(vkCallInfo),
                                                 static_cast<size_t>(newsize) * sizeof(vkCallInfo)));
  L->sizeCi = newsize;
  L->ci = L->baseCi + cur;
  L->endCi = L->baseCi + newsize - 1;
}

void vmGrowCallInfo(vkState* L) {
  if (L->sizeCi > kMaxCalls) vmThrow(L, kErrStackOverflow);
  vmReallocCallInfo(L, 2 * L->sizeCi);
  if (L->sizeCi > kMaxCalls) vmRaiseError(L, kErrStackOverflow);
}

namespace {

// The __call metamethod of a value that is not a function, put in its place.
vkValue* tryFuncTM(vkState* L, vkValue* func) {
  const vkValue* tm = vmGetTMByObj(L, func, VK_TM_CALL);
  if (!vmIsFunctionT(tm)) vmRaiseNameError(L, func, kErrFunctionNotFound, "()");
  vkValue f = *tm;
  ptrdiff_t funcr = vmSaveStack(L, func);
  vmEnsureStack(L, 1);
  func = vmRestoreStack(L, funcr);
  for (vkValue* p = L->top; p > func; p--) *p = p[-1];
  L->top++;
  *func = f;
  return func;
}

}  // namespace

// Collects the arguments beyond the fixed parameters into a table (from
// index 0, with "n") that takes their place.
void vmAdjustVarargs(vkState* L, int nfixargs, vkValue* base) {
  int nargs = static_cast<int>(L->top - base);
  for (; nargs < nfixargs; nargs++) vmSetNil(L->top++);
  int nvar = nargs - nfixargs;
  vkTable* t = vmTableNew(L, nvar, 1);
  vkValue* first = L->top - nvar;
  for (int i = 0; i < nvar; i++) *vmTableSetNum(L, t, i) = first[i];
  vkValue n;
  vmSetString(&n, vmNewString(L, "n", 1));
  vmSetNumber(vmTableSet(L, t, &n), nvar);
  L->top = first;
  vmSetTable(L->top++, t);
}

vkValue* vmFrameRoom(vkState* L, vkValue* func, const vkValue* args, int frame) {
  if (L->ci == L->endCi) vmGrowCallInfo(L);
  if (L->stackLast - args <= frame) {
    ptrdiff_t funcr = vmSaveStack(L, func);
    vmGrowStack(L, frame);
    func = vmRestoreStack(L, funcr);
  }
  return func;
}

int vmFirstUseCall(vkState* L, vkClosure* cl) {
  int r = std::exchange(L->G->run->firstUseHook, nullptr)(L);
  return r == 0 ? cl->f(L) : r;
}

void vmCommandPrologue(vkState* L) {
  if (L->hookMask & VK_MASKCALL) vmCallHook(L, VK_HOOKCALL, -1);
  vkEngineRun& run = *L->G->run;
  if (run.debugOutput && !run.errors.stopFlag) PrintCommandCall(L);
}

int vmPreCall(vkState* L, vkValue* func, uint32_t* errorCode, vkValue** firstResult) {
  if (!vmIsFunctionT(func)) func = tryFuncTM(L, func);
  vkClosure* cl = vmCl(func);
  if (!cl->isC) {
    vmPushScriptFrame(L, func, cl, L->top);
    return VK_PRECALL_SCRIPT;
  }
  return vmCallCommand(L, *L->G->run, func, cl, errorCode, firstResult);
}

void vmCallReturnHook(vkState* L, vkValue** firstResult) {
  ptrdiff_t fr = *firstResult ? vmSaveStack(L, *firstResult) : -1;
  vmCallHook(L, VK_HOOKRET, -1);
  *firstResult = fr >= 0 ? vmRestoreStack(L, fr) : nullptr;
}

uint32_t vmCallCore(vkState* L, vkValue* func, int nresults) {
  if (++L->nCcalls >= kMaxCCalls) {
    if (L->nCcalls == kMaxCCalls)
      vmRaiseError(L, kErrStackOverflow);
    else if (L->nCcalls > kMaxCCalls + (kMaxCCalls >> 3))
      vmThrow(L, kErrStackOverflow);
  }
  uint32_t err = 0;
  vkValue* first = nullptr;
  int kind = vmPreCall(L, func, &err, &first);
  if (kind == VK_PRECALL_SCRIPT)
    first = vmExecute(L);
  else if (kind != VK_PRECALL_DONE)
    first = nullptr;
  vmPostCall(L, nresults, first);
  L->nCcalls--;
  vmCheckGC(L);
  return err;
}

int vmRunProtected(vkState* L, vkPFunc f, void* ud) {
  vkErrorJump lj;
  lj.status = 0;
  lj.previous = L->errorJump;
  L->errorJump = &lj;
  try {
    f(L, ud);
  } catch (const vkScriptError& e) {
    lj.status = e.code;
  } catch (const std::bad_alloc&) {
    lj.status = kErrOutOfMemory;
  }
  L->errorJump = lj.previous;
  return lj.status;
}

int vmCallProtected(vkState* L, vkPFunc f, void* ud, ptrdiff_t oldtop, ptrdiff_t ef) {
  ptrdiff_t oldCi = L->ci - L->baseCi;
  uint16_t oldnCcalls = L->nCcalls;
  uint8_t oldAllowHook = L->allowHook;
  ptrdiff_t oldErrfunc = L->errfunc;
  int oldGosub = vmGosubDepth(L);
  L->errfunc = ef;
  int status = vmRunProtected(L, f, ud);
  if (status != 0) {
    vkValue* top = vmRestoreStack(L, oldtop);
    vmCloseUpvalues(L, top);
    L->top = top;
    L->nCcalls = oldnCcalls;
    L->ci = L->baseCi + oldCi;
    L->base = L->ci->base;
    L->allowHook = oldAllowHook;
    L->stackLast = L->stack + L->stacksize - kStackExtra;
    if (L->sizeCi > kMaxCalls && oldCi + 1 < kMaxCalls) vmReallocCallInfo(L, kMaxCalls);
    vmSetGosubDepth(L, oldGosub);
  }
  L->errfunc = oldErrfunc;
  return status;
}

const vkHookGate gVmNoHookGate{0};
const vkHookGate gVmOpenHookGate{1};

void vmCallHook(vkState* L, int event, int line) {
  vkHook hook = L->hook;
  if (!hook || !L->allowHook) return;
  ptrdiff_t top = vmSaveStack(L, L->top);
  ptrdiff_t ciTop = vmSaveStack(L, L->ci->top);
  // The hook gets the event, the line and its level; vmGetInfo fills the
  // descriptions on request, so the source text buffer is left as it is.
  vkDebugInfo ar;
  ar.event = event;
  ar.name = ar.namewhat = ar.what = ar.source = nullptr;
  ar.currentline = line;
  ar.nups = ar.linedefined = 0;
  ar.shortSrc[0] = '\0';
  ar.privateIndex = event == VK_HOOKTAILRET ? 0 : static_cast<int>(L->ci - L->baseCi);
  vmEnsureStack(L, kMinCommandStack);
  L->ci->top = L->top + kMinCommandStack;
  L->allowHook = 0;
  hook(L, &ar);
  L->allowHook = 1;
  L->ci->top = vmRestoreStack(L, ciTop);
  L->top = vmRestoreStack(L, top);
}

int vmSetHook(vkState* L, vkHook func, int mask, int count, const vkHookGate* lineGate) {
  if (!func || mask == 0) {
    mask = 0;
    func = nullptr;
  }
  const bool gated = lineGate != nullptr && (mask & VK_MASKLINE) != 0;
  L->hook = func;
  L->baseHookCount = count;
  L->hookCount = count;
  L->hookMask = static_cast<uint8_t>(mask);
  L->dispatchMask = static_cast<uint8_t>(gated ? mask & ~VK_MASKLINE : mask);
  L->hookGate = gated ? lineGate : &gVmNoHookGate;
  L->pollGate = L->dispatchMask != 0 ? &gVmOpenHookGate : L->hookGate;
  L->hookInit = 0;
  return 1;
}

void vmInitHooks(vkState* L) {
  for (vkCallInfo* ci = L->baseCi + 1; ci <= L->ci; ci++)
    if (vmCiIsScript(ci)) ci->tracedpc = ci->savedpc;
  L->hookInit = 1;
}

int vmLineAt(const vkProto* p, const uint32_t* pc) {
  ptrdiff_t idx = pc - p->code - 1;
  if (idx < 0) return -1;
  if (p->sizelineinfo == 0 || idx >= p->sizelineinfo) return 0;
  return p->lineinfo[idx];
}

int vmCurrentLine(vkState* L, const vkCallInfo* ci) {
  (void)L;
  if (!vmCiIsScript(ci)) return -1;
  return vmLineAt(vmCiFunc(ci)->p, ci->savedpc);
}
