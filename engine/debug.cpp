// Call levels, their descriptions and their locals, read from the call-info
// records of a thread.
#include "engine/debug.h"

#include <cstring>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/opcodes.h"
#include "engine/strings.h"
#include "engine/table.h"
#include "engine/varnames.h"

int vmGetStack(vkState* L, int level, vkDebugInfo* ar) {
  if (level < 0) return 0;
  vkCallInfo* ci = L->ci;
  for (; level > 0 && ci > L->baseCi; ci--) {
    level--;
    if (vmCiIsScript(ci)) level -= ci->tailcalls;  // calls lost to tail calls
  }
  if (level > 0 || ci == L->baseCi) return 0;
  ar->privateIndex = level < 0 ? 0 : static_cast<int>(ci - L->baseCi);
  return 1;
}

namespace {

int currentPc(const vkCallInfo* ci) {
  return static_cast<int>(ci->savedpc - vmCiFunc(ci)->p->code) - 1;
}

void describeFunction(vkDebugInfo* ar, const vkClosure* cl) {
  if (cl->isC) {
    ar->source = "=[C]";
    ar->linedefined = -1;
    ar->what = "C";
  } else {
    ar->source = cl->p->source ? vmStringText(nullptr, cl->p->source) : "=?";
    ar->linedefined = cl->p->lineDefined;
    ar->what = cl->p->lineDefined == 0 ? "main" : "Vellumark";
  }
  vmChunkId(ar->shortSrc, ar->source, sizeof ar->shortSrc);
}

// The name a global holds [f] under: the hash part is searched from its last
// node to its first.
const char* globalNameOf(vkState* L, const vkValue* f) {
  if (!vmIsTableT(&L->globals)) return nullptr;
  vkTable* g = vmTab(&L->globals);
  for (int i = vmTableNodeCount(g) - 1; i >= 0; i--) {
    const vkNode* n = &g->node[i];
    if (vmIsStringT(&n->key) && vmRawEqualObj(&n->val, f)) return vmStringText(nullptr, vmStr(&n->key));
  }
  return nullptr;
}

// The name of the level of [ci] as its caller called it.
void levelName(vkState* L, vkCallInfo* ci, const vkValue* f, vkDebugInfo* ar) {
  ar->name = nullptr;
  ar->namewhat = "";
  if (ci && ci->tailcalls == 0 && ci - 1 > L->baseCi && vmCiIsScript(ci - 1)) {
    vkCallInfo* caller = ci - 1;
    uint32_t i = vmCiFunc(caller)->p->code[currentPc(caller)];
    if (vmOpcode(i) == OP_CALL || vmOpcode(i) == OP_TAILCALL) {
      const char* kind = "";
      const char* name = vmGetObjectName(L, caller, vmArgA(i), &kind);
      if (name) {
        ar->name = name;
        ar->namewhat = kind;
        return;
      }
    }
  }
  if (const char* name = globalNameOf(L, f)) {
    ar->name = name;
    ar->namewhat = "global";
  }
}

}  // namespace

int vmGetInfo(vkState* L, const char* what, vkDebugInfo* ar) {
  vkValue f;
  vkCallInfo* ci = nullptr;
  bool tail = false;
  if (*what == '>') {
    f = L->top[-1];
    if (!vmIsFunctionT(&f)) {
      SetErrorNumber(1);
      vmRaiseError(L, kErrFunctionExpected);
    }
    L->top--;
    what++;
  } else if (ar->privateIndex != 0) {
    ci = L->baseCi + ar->privateIndex;
    vmSetClosure(&f, vmCiFunc(ci));
  } else {
    tail = true;
    vmSetNil(&f);
  }
  int status = 1;
  for (; *what; what++) {
    switch (*what) {
      case 'S':
        if (tail) {
          ar->source = "=(tail call)";
          ar->linedefined = -1;
          ar->what = "tail";
          vmChunkId(ar->shortSrc, ar->source, sizeof ar->shortSrc);
        } else {
          describeFunction(ar, vmCl(&f));
        }
        break;
      case 'l': ar->currentline = ci ? vmCurrentLine(L, ci) : -1; break;
      case 'u': ar->nups = tail ? 0 : vmCl(&f)->nupvalues; break;
      case 'n':
        if (tail) {
          ar->name = "";
          ar->namewhat = "";
        } else {
          levelName(L, ci, &f, ar);
        }
        break;
      case 'f':
        vmEnsureStack(L, 1);
        *L->top++ = f;
        break;
      default: status = 0; break;
    }
  }
  return status;
}

namespace {
// The call record of a script level, or NULL.
vkCallInfo* scriptLevel(vkState* L, const vkDebugInfo* ar) {
  if (ar->privateIndex <= 0) return nullptr;
  vkCallInfo* ci = L->baseCi + ar->privateIndex;
  return ci <= L->ci && vmCiIsScript(ci) ? ci : nullptr;
}
}  // namespace

const char* vmGetLocal(vkState* L, const vkDebugInfo* ar, int n) {
  vkCallInfo* ci = scriptLevel(L, ar);
  if (!ci) return nullptr;
  const char* name = vmGetLocalName(vmCiFunc(ci)->p, n, currentPc(ci));
  if (name) {
    vmEnsureStack(L, 1);
    *L->top++ = ci->base[n - 1];
  }
  return name;
}

const char* vmSetLocal(vkState* L, const vkDebugInfo* ar, int n) {
  vkCallInfo* ci = scriptLevel(L, ar);
  const char* name = ci ? vmGetLocalName(vmCiFunc(ci)->p, n, currentPc(ci)) : nullptr;
  if (name && name[0] == '(') name = nullptr;
  if (name) ci->base[n - 1] = L->top[-1];
  L->top--;
  return name;
}
