// The bytecode verifier: every loaded function passes it, and the
// interpreter relies on it for memory safety (registers, constants, jump
// targets, upvalues and nested functions in range). The same pass finds the
// instruction that last set a register, for variable names in messages.
#include "engine/bytecode.h"

#include "engine/opcodes.h"

namespace {

struct Checker {
  const vkProto* p;
  bool reg(int r) const { return r >= 0 && r < p->maxstacksize; }
  bool rk(int x) const { return x < kRKConstant ? reg(x) : x - kRKConstant < p->sizek; }
  bool target(int64_t t) const { return t >= 0 && t < p->sizecode; }
};

}  // namespace

uint32_t vmSymbolicExec(const vkProto* pt, int lastpc, int reg) {
  const Checker ck{pt};
  if (pt->maxstacksize > kMaxStackSize) return 0;
  if (pt->sizelineinfo != 0 && pt->sizelineinfo != pt->sizecode) return 0;
  if (pt->sizecode <= 0) return 0;
  if (vmOpcode(pt->code[pt->sizecode - 1]) != OP_RETURN) return 0;
  if (lastpc > pt->sizecode) lastpc = pt->sizecode;
  int last = pt->sizecode - 1;
  for (int pc = 0; pc < lastpc; pc++) {
    const uint32_t i = pt->code[pc];
    const int op = vmOpcode(i);
    if (op >= kNumOpcodes) return 0;
    const uint8_t mode = kOpModes[op];
    const int a = vmArgA(i);
    int b = 0, c = 0;
    if (op != OP_JMP && !ck.reg(a)) return 0;
    switch (mode & 3) {
      case VK_FMT_ABC:
        b = vmArgB(i);
        c = vmArgC(i);
        if ((mode & VK_MODE_BREG) && !ck.reg(b)) return 0;
        if ((mode & VK_MODE_BRK) && !ck.rk(b)) return 0;
        if ((mode & VK_MODE_CRK) && !ck.rk(c)) return 0;
        break;
      case VK_FMT_ABX:
        b = vmArgBx(i);
        if ((mode & VK_MODE_KBX) && b >= pt->sizek) return 0;
        break;
      case VK_FMT_ASBX: b = vmArgSBx(i); break;
      default: b = vmJumpOffset(i); break;
    }
    if ((mode & VK_MODE_SETA) && a == reg) last = pc;
    if (mode & VK_MODE_TEST) {
      if (pc + 2 >= pt->sizecode) return 0;
      if (vmOpcode(pt->code[pc + 1]) != OP_JMP) return 0;
    }
    switch (op) {
      case OP_LOADBOOL:
        if (c != 0 && pc + 2 >= pt->sizecode) return 0;
        break;
      case OP_LOADNIL:
        if (a <= reg && reg <= b) last = pc;
        break;
      case OP_GETUPVAL:
      case OP_SETUPVAL:
        if (b >= pt->nups) return 0;
        break;
      case OP_GETGLOBAL:
      case OP_SETGLOBAL:
        if (!vmIsStringT(&pt->k[b])) return 0;
        break;
      case OP_SELF:
        if (!ck.reg(a + 1)) return 0;
        if (reg == a + 1) last = pc;
        break;
      case OP_CONCAT:
        if (c >= kRKConstant || b >= c) return 0;
        break;
      case OP_JMP: {
        int64_t dest = static_cast<int64_t>(pc) + 1 + b;
        if (!ck.target(dest)) return 0;
        if (reg != kNoRegister && pc < dest && dest <= lastpc) pc += b;
        break;
      }
      case OP_FORLOOP:
      case OP_TFORPREP:
        if (!ck.target(static_cast<int64_t>(pc) + 1 + b)) return 0;
        break;
      case OP_CALL:
      case OP_TAILCALL: {
        if (b != 0 && !ck.reg(a + b - 1)) return 0;
        if (c == 0) {
          if (pc + 1 >= pt->sizecode) return 0;
          uint32_t n = pt->code[pc + 1];
          int nop = vmOpcode(n);
          bool ok = ((nop == OP_CALL || nop == OP_TAILCALL || nop == OP_RETURN) && vmArgB(n) == 0) || nop == OP_SETLISTO;
          if (!ok) return 0;
        } else if (c > 1 && !ck.reg(a + c - 2)) {
          return 0;
        }
        if (reg >= a) last = pc;
        break;
      }
      case OP_RETURN:
        if (c != 1 && b > 1 && !ck.reg(a + b - 2)) return 0;
        break;
      case OP_SETLIST:
        if (!ck.reg(a + (b & (kFieldsPerFlush - 1)) + 1)) return 0;
        break;
      case OP_CLOSURE: {
        if (b >= pt->sizep || !pt->p[b]) return 0;
        int nup = pt->p[b]->nups;
        if (pc + nup >= pt->sizecode) return 0;
        for (int j = 1; j <= nup; j++) {
          int op1 = vmOpcode(pt->code[pc + j]);
          if (op1 != OP_GETUPVAL && op1 != OP_MOVE) return 0;
        }
        if (reg != kNoRegister) pc += nup;
        break;
      }
      default: break;
    }
  }
  return pt->code[last];
}

int vmCheckCode(vkProto* p) {
  if (vmSymbolicExec(p, p->sizecode, kNoRegister) == 0) return 0;
  // The loop opcodes use registers above A that stored files may put beyond
  // the maximum stack size: frames of this function get room for them.
  int frame = p->maxstacksize;
  for (int pc = 0; pc < p->sizecode; pc++) {
    uint32_t i = p->code[pc];
    int a = vmArgA(i), c = vmArgC(i), need = 0;
    switch (vmOpcode(i)) {
      case OP_FORLOOP: need = a + 3; break;
      case OP_TFORPREP: need = a + 2; break;
      case OP_TFORLOOP: need = a + 2 * c + 4 > a + c + 6 ? a + 2 * c + 4 : a + c + 6; break;
      default: break;
    }
    if (need > frame) frame = need;
  }
  if (frame < p->numparams + 1) frame = p->numparams + 1;  // the parameters and the function slot's successor
  p->frameSize = frame;
  return 1;
}
