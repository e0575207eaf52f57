// Opening and closing the engine, threads and userdata.
#include "engine/state.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "base/errorcodes.h"
#include "engine/call.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/gc.h"
#include "engine/interpreter.h"
#include "engine/memory.h"
#include "engine/runstate.h"
#include "engine/strings.h"
#include "engine/table.h"

namespace {

const char* const kEventNames[23] = {"__index", "__newindex", "__gc",  "__mode", "__eq",  "__add",
                                     "__sub",   "__mul",      "__div", "__divint", "__mod", "__lsh",
                                     "__rsh",   "__or",       "__and", "__xor", "__pow", "__unm",
                                     "__not",   "__lt",       "__le",  "__concat", "__call"};

int defaultPanic(vkState*) { return 0; }

void initThreadFields(vkState* L1) {
  L1->tt = VK_TTHREAD;
  L1->marked = 0;
  L1->next = nullptr;
  L1->top = L1->base = L1->stack = L1->stackLast = nullptr;
  L1->G = nullptr;
  L1->ci = L1->baseCi = L1->endCi = nullptr;
  L1->stacksize = 0;
  L1->sizeCi = 0;
  L1->nCcalls = 0;
  L1->hookMask = 0;
  L1->dispatchMask = 0;
  L1->allowHook = 1;
  L1->hookInit = 0;
  L1->baseHookCount = 0;
  L1->hookCount = 0;
  L1->hook = nullptr;
  L1->hookGate = &gVmNoHookGate;
  L1->pollGate = &gVmNoHookGate;
  vmSetNil(&L1->globals);
  L1->openupval = nullptr;
  L1->gclist = nullptr;
  L1->errorJump = nullptr;
  L1->errfunc = 0;
}

void freeStack(vkState* L, vkState* L1) {
  vmFreeArray(L, L1->baseCi, static_cast<size_t>(L1->sizeCi));
  vmFreeArray(L, L1->stack, static_cast<size_t>(L1->stacksize));
  L1->baseCi = nullptr;
  L1->stack = nullptr;
}

void openEngine(vkState* L, void*) {
  vkGlobalState* g = static_cast<vkGlobalState*>(vmRealloc(nullptr, nullptr, 0, sizeof(vkGlobalState)));
  if (!g) throw vkScriptError{kErrOutOfMemory};
  std::memset(static_cast<void*>(g), 0, sizeof(vkGlobalState));
  L->G = g;
  g->run = new (std::nothrow) vkEngineRun;
  if (!g->run) throw vkScriptError{kErrOutOfMemory};
  g->mainthread = L;
  g->GCthreshold = 0;
  g->panic = defaultPanic;
  vmSetNil(&g->registry);
  vmSetNil(&g->defaultMeta);
  vmSetNil(&g->dummynode.key);
  vmSetNil(&g->dummynode.val);
  g->dummynode.next = nullptr;
  g->nblocks = sizeof(vkState) + sizeof(vkGlobalState);
  const char* stress = std::getenv("VK_GC_STRESS");
  g->gcStress = stress && std::strcmp(stress, "1") == 0;
  vmStackInit(L, L);
  vkTable* meta = vmTableNew(L, 0, 0);
  meta->metatable = meta;
  vmSetTable(&g->defaultMeta, meta);
  vmSetTable(&L->globals, vmTableNew(L, 0, 4));
  vmSetTable(&g->registry, vmTableNew(L, 4, 4));
  vmResizeStringTable(L, 32);
  for (int i = 0; i < 23; i++) {
    g->tmname[i] = vmNewCString(L, kEventNames[i]);
    g->tmname[i]->marked |= VK_MARK_FIXED;
  }
  vmNewCString(L, "not enough memory")->marked |= VK_MARK_FIXED;
  g->GCthreshold = 4 * g->nblocks;
}

void freeEverything(vkState* L) {
  vkGlobalState* g = L->G;
  if (g) {
    if (L->stack) vmCloseUpvalues(L, L->stack);
    do vmSweep(L, true);
    while (g->rootgc || g->rootudata);
    vmFreeArray(L, g->strt.hash, g->strt.size);
    vmRealloc(L, g->buff, g->buffsize, 0);
    freeStack(L, L);
    if (g->run) {
      for (vkGCObject* v = g->run->spareViews; v;) {
        vkGCObject* next = v->next;
        std::free(v);
        v = next;
      }
      if (&ErrorInfo() == &g->run->errors) SetCurrentErrorInfo(nullptr);
      delete g->run;
    }
    std::free(g);
  }
  std::free(L);
}

void callFinalizers(vkState* L, void*) { vmCallAllFinalizers(L); }

}  // namespace

void vmStackInit(vkState* L1, vkState* L) {
  L1->baseCi = vmNewArray<vkCallInfo>(L, kBasicCiSize);
  L1->ci = L1->baseCi;
  L1->sizeCi = kBasicCiSize;
  L1->endCi = L1->baseCi + kBasicCiSize - 1;
  L1->stack = vmNewArray<vkValue>(L, kBasicStackSize);
  L1->stacksize = kBasicStackSize;
  for (int i = 0; i < kBasicStackSize; i++) vmSetNil(&L1->stack[i]);
  L1->stackLast = L1->stack + kBasicStackSize - kStackExtra;
  L1->top = L1->stack + 1;
  vkCallInfo* ci = L1->ci;
  ci->func = nullptr;
  ci->base = L1->top;
  ci->top = ci->base + kMinCommandStack;
  ci->state = VK_CI_C;
  ci->savedpc = nullptr;
  ci->tracedpc = nullptr;
  ci->tailcalls = 0;
  L1->base = ci->base;
}

vkState* vmNewState() {
  vkState* L = static_cast<vkState*>(vmRealloc(nullptr, nullptr, 0, sizeof(vkState)));
  if (!L) return nullptr;
  initThreadFields(L);
  if (vmRunProtected(L, openEngine, nullptr) != 0) {
    freeEverything(L);
    return nullptr;
  }
  // The newest engine's record is current until another one runs.
  SetCurrentErrorInfo(&L->G->run->errors);
  return L;
}

vkEngineRun& EngineRun(vkState* L) { return *L->G->run; }

vkCurrentErrorScope::vkCurrentErrorScope(vkState* L) : previous_(SetCurrentErrorInfo(&L->G->run->errors)) {}

void vmCloseState(vkState* L) {
  L = L->G->mainthread;
  vmCloseUpvalues(L, L->stack);
  vmSeparateUserdata(L, true);
  L->errfunc = 0;
  vmSetHook(L, nullptr, 0, 0);
  do {
    L->ci = L->baseCi;
    L->base = L->top = L->ci->base;
    L->nCcalls = 0;
  } while (vmRunProtected(L, callFinalizers, nullptr) != 0);
  freeEverything(L);
}

vkState* vmNewThread(vkState* L) {
  vkState* L1 = static_cast<vkState*>(vmRealloc(L, nullptr, 0, sizeof(vkState)));
  initThreadFields(L1);
  L1->G = L->G;
  L1->next = L->G->rootgc;
  L->G->rootgc = L1;
  vmStackInit(L1, L);
  L1->globals = L->globals;
  return L1;
}

void vmFreeThread(vkState* L, vkState* L1) {
  if (L1->stack) vmCloseUpvalues(L1, L1->stack);
  freeStack(L, L1);
  vmRealloc(L, L1, sizeof(vkState), 0);
}

vkUserdata* vmNewUserdata(vkState* L, size_t size) {
  if (size > 0xFFFFFFFCu - sizeof(vkUserdata)) vmRaiseError(L, kErrOutOfMemory);
  vkUserdata* u = static_cast<vkUserdata*>(vmRealloc(L, nullptr, 0, sizeof(vkUserdata) + size));
  u->tt = VK_TUSERDATA;
  u->marked = VK_MARK_NOTFINAL;
  u->len = static_cast<uint32_t>(size);
  u->metatable = vmTab(&L->G->defaultMeta);
  u->next = L->G->rootudata;
  L->G->rootudata = u;
  return u;
}
