// Variable names for messages: locals by their debug records, globals,
// fields and methods by the instruction that last set the register.
#include "engine/varnames.h"

#include "engine/bytecode.h"
#include "engine/call.h"
#include "engine/function.h"
#include "engine/opcodes.h"
#include "engine/strings.h"

const char* vmGetObjectName(vkState* L, const vkCallInfo* ci, int reg, const char** kind) {
  (void)L;
  if (!vmCiIsScript(ci)) return nullptr;
  const vkProto* p = vmCiFunc(ci)->p;
  for (int depth = 0; depth < 256; depth++) {
    int pc = static_cast<int>(ci->savedpc - p->code) - 1;
    if (pc < 0) return nullptr;
    const char* name = vmGetLocalName(p, reg + 1, pc);
    if (name) {
      *kind = "local";
      return name;
    }
    uint32_t i = vmSymbolicExec(p, pc, reg);
    switch (vmOpcode(i)) {
      case OP_GETGLOBAL: {
        int bx = vmArgBx(i);
        if (bx < p->sizek && vmIsStringT(&p->k[bx])) {
          *kind = "global";
          return vmStringText(nullptr, vmStr(&p->k[bx]));
        }
        return nullptr;
      }
      case OP_MOVE:
        if (vmArgB(i) < reg) {
          reg = vmArgB(i);
          continue;
        }
        return nullptr;
      case OP_GETTABLE:
      case OP_SELF: {
        int c = vmArgC(i) - kRKConstant;
        *kind = vmOpcode(i) == OP_SELF ? "method" : "field";
        if (c >= 0 && c < p->sizek && vmIsStringT(&p->k[c])) return vmStringText(nullptr, vmStr(&p->k[c]));
        return "?";
      }
      default: return nullptr;
    }
  }
  return nullptr;
}

const char* vmVariableName(vkState* L, const vkValue* v, const char** kind) {
  vkCallInfo* ci = L->ci;
  if (!vmCiIsScript(ci) || v < ci->base || v >= ci->top) return nullptr;
  return vmGetObjectName(L, ci, static_cast<int>(v - ci->base), kind);
}
