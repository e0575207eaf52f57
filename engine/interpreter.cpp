// The interpreter's main loop and the value operations behind its opcodes.
// The loop keeps pc, base and constants in locals; pc is saved into the call
// record before anything that can raise, call out or collect, and base is
// re-read after it (the stack may have moved).
#include "engine/interpreter.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>

#include "base/errorcodes.h"
#include "engine/call.h"
#include "engine/commandcall.h"
#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/gc.h"
#include "engine/memory.h"
#include "base/numconv.h"
#include "engine/opcodes.h"
#include "engine/runstate.h"
#include "engine/strings.h"
#include "engine/table.h"

int vmGosubDepth(vkState* L) { return L->G->run->gosubCount; }
void vmSetGosubDepth(vkState* L, int depth) { L->G->run->gosubCount = depth; }

void vmGosubPush(vkState* L, const vkProto* p, int32_t index) {
  vkEngineRun& run = *L->G->run;
  if (run.gosubCount >= kGosubMax) vmRaiseError(L, kErrInternalLimit);
  run.gosub[run.gosubCount++] = {p, index};
}

const vkValue* vmFastTM(vkState* L, vkTable* mt, int event) {
  if (!mt || (event < 8 && vmTableTMKnownAbsent(mt, event))) return nullptr;
  const vkValue* tm = vmTableGetStr(mt, L->G->tmname[event]);
  if (vmIsNil(tm)) {
    if (event < 8) mt->flags = static_cast<uint8_t>(mt->flags | (1u << event));
    return nullptr;
  }
  return tm;
}

const vkValue* vmGetTMByObj(vkState* L, const vkValue* o, int event) {
  vkTable* mt = nullptr;
  if (o->tt == VK_TTABLE)
    mt = vmTab(o)->metatable;
  else if (o->tt == VK_TUSERDATA)
    mt = vmUdata(o)->metatable;
  const vkValue* tm = vmFastTM(L, mt, event);
  return tm ? tm : &vkNilObject;
}

const vkValue* vmToNumberValue(const vkValue* obj, vkValue* scratch) {
  double d;
  switch (obj->tt) {
    case VK_TNUMBER: return obj;
    case VK_TNIL: vmSetNumber(scratch, 0.0); return scratch;
    case VK_TSTRING: {
      std::string text;
      if (vmStringToNumber(vmStringTextCopy(vmStr(obj), text), &d)) {
        vmSetNumber(scratch, d);
        return scratch;
      }
      return nullptr;
    }
    default: return nullptr;
  }
}

int vmToStringValue(vkState* L, vkValue* obj) {
  switch (obj->tt) {
    case VK_TSTRING: return 1;
    case VK_TNIL: vmSetString(obj, vmNewString(L, "", 0)); return 1;
    case VK_TNUMBER: {
      char buf[kNumberTextMax];
      int n = vmNumberToText(obj->v.n, buf);
      vmSetString(obj, vmNewString(L, buf, static_cast<size_t>(n)));
      return 1;
    }
    default: return 0;
  }
}

namespace {

// Calls metamethod [f] with (a, b) and returns its one result.
vkValue callTMRes(vkState* L, const vkValue* f, const vkValue* a, const vkValue* b) {
  vkValue fv = *f, av = *a, bv = *b;
  vmEnsureStack(L, 3);
  vkValue* top = L->top;
  top[0] = fv;
  top[1] = av;
  top[2] = bv;
  L->top = top + 3;
  vmCallCore(L, top, 1);
  L->top--;
  return *L->top;
}

// Calls metamethod [f] with (a, b, c) and no results.
void callTM(vkState* L, const vkValue* f, const vkValue* a, const vkValue* b, const vkValue* c) {
  vkValue fv = *f, av = *a, bv = *b, cv = *c;
  vmEnsureStack(L, 4);
  vkValue* top = L->top;
  top[0] = fv;
  top[1] = av;
  top[2] = bv;
  top[3] = cv;
  L->top = top + 4;
  vmCallCore(L, top, 0);
}

// A metamethod result as a condition: false for nil and the number 0.
bool tmTruth(const vkValue* v) { return !(v->tt == VK_TNIL || (v->tt == VK_TNUMBER && v->v.n == 0)); }

[[noreturn]] void raiseMissingField(vkState* L, const vkValue* key) {
  std::string text;
  if (key->tt == VK_TSTRING) {
    text = "\"";
    text.append(vmStr(key)->data(), vmStr(key)->len);
    text += "\"";
  } else {
    double d = key->tt == VK_TNUMBER ? key->v.n : key->tt == VK_TBOOLEAN ? key->v.b : 0.0;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", d);
    for (char* c = buf; *c; c++)
      if (*c == ',') *c = '.';
    text = buf;
  }
  SetErrorText(text.c_str());
  vmRaiseError(L, kErrFieldNotInitialized);
}

inline double wordResult(uint32_t w) { return static_cast<double>(w); }

// The operation of [event] (VK_TM_ADD .. VK_TM_POW) on two numbers.
double arithNumbers(vkState* L, int event, double x, double y) {
  switch (event) {
    case VK_TM_ADD: return x + y;
    case VK_TM_SUB: return x - y;
    case VK_TM_MUL: return x * y;
    case VK_TM_DIV:
      if (y == 0.0) vmRaiseError(L, kErrDivisionByZero);
      return x / y;
    case VK_TM_DIVINT:
    case VK_TM_MOD: {
      int64_t a = vkDoubleToInt32(x), b = vkDoubleToInt32(y);
      if (b == 0) vmRaiseError(L, kErrDivisionByZero);
      return static_cast<double>(event == VK_TM_DIVINT ? a / b : a % b);
    }
    case VK_TM_LSH:
    case VK_TM_RSH: {
      uint32_t w = vkDoubleToWord(x);
      int n = vkDoubleToInt32(y) & 63;
      if (n >= 32) return 0.0;
      return wordResult(event == VK_TM_LSH ? w << n : w >> n);
    }
    case VK_TM_OR: return wordResult(vkDoubleToWord(x) | vkDoubleToWord(y));
    case VK_TM_AND: return wordResult(vkDoubleToWord(x) & vkDoubleToWord(y));
    case VK_TM_XOR: return wordResult(vkDoubleToWord(x) ^ vkDoubleToWord(y));
    default: return std::pow(x, y);
  }
}

// Calls the unary metamethod of [event] for [o] (with nil as second operand).
vkValue unaryTM(vkState* L, const vkValue* o, int event) {
  const vkValue* tm = vmGetTMByObj(L, o, event);
  if (!vmIsFunctionT(tm)) vmRaiseError(L, kErrWrongOperator);
  return callTMRes(L, tm, o, &vkNilObject);
}

int strCompare(const vkString* ls, const vkString* rs, bool caseSensitive) {
  std::string lscratch, rscratch;
  const char* l = vmStringTextCopy(ls, lscratch);
  size_t ll = ls->len;
  const char* r = vmStringTextCopy(rs, rscratch);
  size_t lr = rs->len;
  for (;;) {
    int temp = caseSensitive ? std::strcmp(l, r) : strcasecmp(l, r);
    if (temp != 0) return temp;
    size_t len = std::strlen(l);
    if (len == lr) return len == ll ? 0 : 1;
    if (len == ll) return -1;
    len++;
    l += len;
    ll -= len;
    r += len;
    lr -= len;
  }
}

// The metamethod of [event] shared by both operands, or NULL.
const vkValue* commonTM(vkState* L, const vkValue* a, const vkValue* b, int event) {
  const vkValue* tm1 = vmGetTMByObj(L, a, event);
  if (vmIsNil(tm1)) return nullptr;
  const vkValue* tm2 = vmGetTMByObj(L, b, event);
  if (!vmRawEqualObj(tm1, tm2)) return nullptr;
  return tm1;
}

[[noreturn]] void raiseMixed(vkState* L, const vkValue* a, const vkValue* b) {
  bool numStr = (a->tt == VK_TNUMBER && b->tt == VK_TSTRING) || (a->tt == VK_TSTRING && b->tt == VK_TNUMBER);
  vmRaiseError(L, numStr ? kErrCompareNumberString : kErrWrongOperator);
}

}  // namespace

vkValue vmGetTableValue(vkState* L, const vkValue* t, const vkValue* key, int mode) {
  vkValue cur = *t;
  vkValue k = *key;
  bool origTable = cur.tt == VK_TTABLE;
  for (int loop = 0; loop < 100; loop++) {
    const vkValue* tm;
    if (cur.tt == VK_TTABLE) {
      vkTable* h = vmTab(&cur);
      const vkValue* v = vmTableGet(h, &k);
      if (!vmIsNil(v)) return *v;
      tm = vmFastTM(L, h->metatable, VK_TM_INDEX);
      if (!tm) {
        if (mode == 0 && origTable) raiseMissingField(L, &k);
        return vkNilObject;
      }
    } else {
      tm = vmGetTMByObj(L, &cur, VK_TM_INDEX);
      if (vmIsNil(tm)) vmRaiseNameError(L, loop == 0 ? t : &cur, kErrTableNotFound, "{}");
    }
    if (vmIsFunctionT(tm)) return callTMRes(L, tm, &cur, &k);
    cur = *tm;
  }
  SetErrorText("#1");
  vmRaiseError(L, kErrInternalLimitReached);
}

void vmSetTableValue(vkState* L, const vkValue* t, const vkValue* key, const vkValue* val) {
  vkValue cur = *t;
  vkValue k = *key;
  vkValue v = *val;
  for (int loop = 0; loop < 100; loop++) {
    const vkValue* tm;
    if (cur.tt == VK_TTABLE) {
      vkTable* h = vmTab(&cur);
      const vkValue* slot = vmTableGet(h, &k);
      if (!vmIsNil(slot)) {
        h->flags = 0;
        *const_cast<vkValue*>(slot) = v;
        return;
      }
      tm = vmFastTM(L, h->metatable, VK_TM_NEWINDEX);
      if (!tm) {
        *vmTableSetFound(L, h, &k, slot) = v;
        return;
      }
    } else {
      tm = vmGetTMByObj(L, &cur, VK_TM_NEWINDEX);
      if (vmIsNil(tm)) vmRaiseNameError(L, loop == 0 ? t : &cur, kErrTableNotFound, "{}");
    }
    if (vmIsFunctionT(tm)) {
      callTM(L, tm, &cur, &k, &v);
      return;
    }
    cur = *tm;
  }
  SetErrorText("#2");
  vmRaiseError(L, kErrInternalLimitReached);
}

vkValue vmArith(vkState* L, const vkValue* a, const vkValue* b, int event) {
  vkValue sa, sb;
  const vkValue* na = vmToNumberValue(a, &sa);
  const vkValue* nb = vmToNumberValue(b, &sb);
  if (na && nb) {
    vkValue r;
    vmSetNumber(&r, arithNumbers(L, event, na->v.n, nb->v.n));
    return r;
  }
  const vkValue* tm = vmGetTMByObj(L, a, event);
  if (vmIsNil(tm)) tm = vmGetTMByObj(L, b, event);
  if (!vmIsFunctionT(tm)) vmRaiseError(L, kErrWrongOperator);
  return callTMRes(L, tm, a, b);
}

int vmEqualValue(vkState* L, const vkValue* a, const vkValue* b) {
  if (a->tt != b->tt) {
    if (a->tt == VK_TNIL || b->tt == VK_TNIL) {
      const vkValue* o = a->tt == VK_TNIL ? b : a;
      if (o->tt == VK_TNUMBER) return o->v.n == 0;
      if (o->tt == VK_TSTRING) return vmStr(o)->len == 0;
      return 0;
    }
    raiseMixed(L, a, b);
  }
  switch (a->tt) {
    case VK_TNIL: return 1;
    case VK_TNUMBER: return a->v.n == b->v.n;
    case VK_TBOOLEAN: return a->v.b == b->v.b;
    case VK_TSTRING: return vmStringsEqual(vmStr(a), vmStr(b));
    case VK_TTABLE:
    case VK_TUSERDATA: {
      if (a->v.gc == b->v.gc) return 1;
      const vkValue* tm = commonTM(L, a, b, VK_TM_EQ);
      if (!tm || !vmIsFunctionT(tm)) return 0;
      vkValue r = callTMRes(L, tm, a, b);
      return tmTruth(&r);
    }
    default: return a->v.p == b->v.p;
  }
}

int vmLessThanValue(vkState* L, const vkValue* a, const vkValue* b, int caseSensitive) {
  if (a->tt == VK_TNIL || b->tt == VK_TNIL) {
    if (a->tt == VK_TNIL && b->tt == VK_TNUMBER) return 0 < b->v.n;
    if (a->tt == VK_TNUMBER && b->tt == VK_TNIL) return a->v.n < 0;
    if (a->tt == b->tt || a->tt == VK_TSTRING || b->tt == VK_TSTRING) return 0;
    vmRaiseError(L, kErrWrongOperator);
  }
  if (a->tt != b->tt) raiseMixed(L, a, b);
  if (a->tt == VK_TNUMBER) return a->v.n < b->v.n;
  if (a->tt == VK_TSTRING) return strCompare(vmStr(a), vmStr(b), caseSensitive != 0) < 0;
  const vkValue* tm = commonTM(L, a, b, VK_TM_LT);
  if (!tm || !vmIsFunctionT(tm)) vmRaiseError(L, kErrWrongOperator);
  vkValue r = callTMRes(L, tm, a, b);
  return tmTruth(&r);
}

int vmLessEqualValue(vkState* L, const vkValue* a, const vkValue* b) {
  if (a->tt == VK_TNIL || b->tt == VK_TNIL) {
    if (a->tt == VK_TNIL && b->tt == VK_TNUMBER) return 0 <= b->v.n;
    if (a->tt == VK_TNUMBER && b->tt == VK_TNIL) return a->v.n <= 0;
    if (a->tt == b->tt) return 1;
    if (a->tt == VK_TSTRING || b->tt == VK_TSTRING) return 0;
    vmRaiseError(L, kErrWrongOperator);
  }
  if (a->tt != b->tt) raiseMixed(L, a, b);
  if (a->tt == VK_TNUMBER) return a->v.n <= b->v.n;
  if (a->tt == VK_TSTRING) return strCompare(vmStr(a), vmStr(b), true) <= 0;
  const vkValue* tm = commonTM(L, a, b, VK_TM_LE);
  if (tm && vmIsFunctionT(tm)) {
    vkValue r = callTMRes(L, tm, a, b);
    return tmTruth(&r);
  }
  tm = commonTM(L, a, b, VK_TM_LT);
  if (!tm || !vmIsFunctionT(tm)) vmRaiseError(L, kErrWrongOperator);
  vkValue r = callTMRes(L, tm, b, a);
  return !tmTruth(&r);
}

void vmConcatValues(vkState* L, int total, int last) {
  do {
    vkValue* top = L->base + last + 1;
    int n = 2;
    if (!vmToStringValue(L, top - 2) || !vmToStringValue(L, top - 1)) {
      const vkValue* tm = vmGetTMByObj(L, top - 2, VK_TM_CONCAT);
      if (vmIsNil(tm)) tm = vmGetTMByObj(L, top - 1, VK_TM_CONCAT);
      if (!vmIsFunctionT(tm)) vmRaiseError(L, kErrConcatTypes);
      vkValue r = callTMRes(L, tm, top - 2, top - 1);
      top = L->base + last + 1;
      top[-2] = r;
    } else if (vmStr(top - 1)->len > 0) {
      uint64_t tl = static_cast<uint64_t>(vmStr(top - 1)->len) + vmStr(top - 2)->len;
      while (n < total && vmToStringValue(L, top - n - 1)) {
        tl += vmStr(top - n - 1)->len;
        n++;
      }
      if (tl > 4294967293ull) vmRaiseError(L, kErrInternalLimit);
      vmSetString(top - n, vmConcatStrings(L, top - n, n, static_cast<size_t>(tl)));
    }
    total -= n - 1;
    last -= n - 1;
  } while (total > 1);
}

namespace {

// Runs the count and line hooks before the instruction before [pc]. A gated
// line hook is looked at only while its gate is set.
void traceExec(vkState* L, const uint32_t* pc) {
  uint8_t mask = L->hookMask;
  if (mask & VK_MASKCOUNT) {
    if (--L->hookCount == 0) {
      L->hookCount = L->baseHookCount;
      vmCallHook(L, VK_HOOKCOUNT, -1);
    }
  }
  if ((mask & VK_MASKLINE) &&
      ((L->dispatchMask & VK_MASKLINE) || L->hookGate->load(std::memory_order_relaxed) != 0)) {
    vkCallInfo* ci = L->ci;
    const vkProto* p = vmCiFunc(ci)->p;
    int newline = vmLineAt(p, pc);
    if (!L->hookInit) {
      vmInitHooks(L);
      L->ci->tracedpc = pc;
      return;
    }
    if (ci->tracedpc == nullptr || pc <= ci->tracedpc || newline != vmLineAt(p, ci->tracedpc)) {
      vmCallHook(L, VK_HOOKLINE, newline);
      ci = L->ci;
    }
    ci->tracedpc = pc;
  }
}

// OP_FORLOOP operands that are not all numbers: the index must be one; limit
// and step convert (nil to 0, numeric strings) in place, else 1024.
void forOperands(vkState* L, vkValue* ra) {
  if (ra->tt != VK_TNUMBER) vmRaiseError(L, kErrValueExpected);
  for (int j = 1; j <= 2; j++) {
    vkValue s;
    const vkValue* n = vmToNumberValue(&ra[j], &s);
    if (!n) vmRaiseError(L, kErrValueExpected);
    vmSetNumber(&ra[j], n->v.n);
  }
}

}  // namespace

vkValue* vmExecute(vkState* L) {
  static const void* const kDispatch[64] = {
      &&op_move,     &&op_loadk,    &&op_loadbool, &&op_loadnil,  &&op_getupval, &&op_getglobal, &&op_gettable,
      &&op_setglobal, &&op_setupval, &&op_settable, &&op_newtable, &&op_add,      &&op_sub,       &&op_mul,
      &&op_div,      &&op_intdiv,   &&op_mod,      &&op_shl,      &&op_shr,      &&op_bor,       &&op_band,
      &&op_bxor,     &&op_pow,      &&op_unm,      &&op_not,      &&op_bnot,     &&op_concat,    &&op_jmp,
      &&op_eq,       &&op_lt,       &&op_le,       &&op_test,     &&op_call,     &&op_tailcall,  &&op_return,
      &&op_forloop,  &&op_tforloop, &&op_tforprep, &&op_setlist,  &&op_setlisto, &&op_close,     &&op_closure,
      &&op_self,     &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,       &&op_bad,
      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,       &&op_bad,
      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,      &&op_bad,       &&op_bad,
      &&op_bad};
  // While a hook sees every instruction, every opcode goes to the poll first.
  static const void* const kPollEvery[64] = {
#define POLL8 &&op_poll, &&op_poll, &&op_poll, &&op_poll, &&op_poll, &&op_poll, &&op_poll, &&op_poll
      POLL8, POLL8, POLL8, POLL8, POLL8, POLL8, POLL8, POLL8};
#undef POLL8
  const ptrdiff_t entryCi = L->ci - L->baseCi;
  vkEngineRun& run = *L->G->run;
  vkErrorInfo& errors = run.errors;
  vkCallInfo* ci;
  vkClosure* cl;
  vkValue* base;
  // The running function's constants, addressed kRKConstant slots below
  // their start so that a constant operand needs no subtraction.
  uintptr_t kbias;
  const uint32_t* pc;
  uint32_t i;
  vkValue* ra;
  int kind = 0;
  int nresults = 0;
  uint32_t err = 0;
  vkValue* first = nullptr;
  // What asks the loop for attention. Another thread can only set the polled
  // word: the line hook's gate, or one that is always set while a hook sees
  // every instruction. The stop flag and the hooks are set only by code
  // called out of the loop, after which RELOAD runs: it points disp at the
  // poll's table while either asks for attention, so that the next dispatch
  // of any kind goes to the poll.
  const vkHookGate* gate = L->pollGate;
  const void* const* disp = (L->dispatchMask | errors.stopFlag) != 0 ? kPollEvery : kDispatch;

#define RELOAD()                                                 \
  (base = L->base, ci = L->ci, gate = L->pollGate,               \
   disp = (L->dispatchMask | errors.stopFlag) != 0 ? kPollEvery : kDispatch)
#define SAVEPC() (ci->savedpc = pc)
#define PROTECT(x) \
  do {             \
    SAVEPC();      \
    x;             \
    RELOAD();      \
  } while (0)
// A collection check point: the frame is saved and re-read only when the
// collector runs (its finalisers may run anything).
#define CHECKGC()                                \
  do {                                           \
    if (vmGCDue(L)) PROTECT(vmCollectGarbage(L)); \
  } while (0)
#define RB() (base + vmArgB(i))
// Constant [n] of the running function.
#define KST(n) (reinterpret_cast<const vkValue*>(kbias + (kRKConstant + static_cast<uintptr_t>(n)) * sizeof(vkValue)))
// A register or constant operand. A branch, not a conditional move: the
// operand's address then waits for no comparison.
#define RK(x)                                                                                      \
  (__builtin_expect_with_probability((x) < kRKConstant, 1, 0.999)                                  \
       ? base + (x)                                                                                \
       : reinterpret_cast<const vkValue*>(kbias + static_cast<uintptr_t>(x) * sizeof(vkValue)))
#define RKB() RK(vmArgB(i))
#define RKC() RK(vmArgC(i))
#define DOJUMP_NEXT() (pc += vmJumpOffset(*pc) + 1)
// The dispatch of an instruction that may jump back or follow a call out of
// the loop: it polls the word another thread may have set.
#define DISPATCH()                                                                \
  do {                                                                            \
    if (__builtin_expect(gate->load(std::memory_order_relaxed) != 0, 0)) goto slowpath; \
    i = *pc++;                                                                    \
    ra = base + vmArgA(i);                                                        \
    goto* disp[i & 0x3F];                                                         \
  } while (0)
// The dispatch of any other instruction: what another thread asked for waits
// for the next poll (at the next backward jump, call, return or call out of
// the loop), which comes after a bounded run of instructions.
#define NEXT()                \
  do {                        \
    i = *pc++;                \
    ra = base + vmArgA(i);    \
    goto* disp[i & 0x3F];     \
  } while (0)
#define ARITH(event, fastexpr)                                        \
  {                                                                   \
    const vkValue* rb = RKB();                                        \
    const vkValue* rc = RKC();                                        \
    if (__builtin_expect(rb->tt == VK_TNUMBER && rc->tt == VK_TNUMBER, 1)) { \
      double x = rb->v.n, y = rc->v.n;                                \
      vmSetNumber(ra, fastexpr);                                      \
      NEXT();                                                         \
    }                                                                 \
    vkValue r;                                                        \
    PROTECT(r = vmArith(L, rb, rc, event));                           \
    base[vmArgA(i)] = r;                                              \
    DISPATCH();                                                       \
  }

newframe:
  if (L->hookMask & VK_MASKCALL) vmCallHook(L, VK_HOOKCALL, -1);
  RELOAD();
  cl = ci->func;
  kbias = reinterpret_cast<uintptr_t>(cl->p->k) - kRKConstant * sizeof(vkValue);
  pc = ci->savedpc;
  DISPATCH();

op_poll:
  pc--;
slowpath:
  if (errors.stopFlag) {
    SAVEPC();
    vkCallInfo* entry = L->baseCi + entryCi;
    vmCloseUpvalues(L, entry->base);
    L->ci = entry;
    L->base = entry->base;
    return nullptr;
  }
  i = *pc++;
  if (L->hookMask & (VK_MASKLINE | VK_MASKCOUNT)) PROTECT(traceExec(L, pc));
  ra = base + vmArgA(i);
  goto* kDispatch[i & 0x3F];

op_move:
  *ra = *RB();
  NEXT();
op_loadk:
  *ra = *KST(vmArgBx(i));
  NEXT();
op_loadbool:
  vmSetNumber(ra, vmArgB(i));
  if (vmArgC(i)) pc++;
  NEXT();
op_loadnil: {
  vkValue* rb = RB();
  for (vkValue* r = ra; r <= rb; r++) vmSetNil(r);
  NEXT();
}
op_getupval:
  *ra = *cl->upvals()[vmArgB(i)]->v;
  NEXT();
op_getglobal: {
  const vkValue* key = KST(vmArgBx(i));
  if (__builtin_expect(cl->g.tt == VK_TTABLE, 1)) {
    const vkValue* v = vmTableGetStr(vmTab(&cl->g), vmStr(key));
    if (__builtin_expect(!vmIsNil(v), 1)) {
      *ra = *v;
      NEXT();
    }
  }
  vkValue r;
  PROTECT(r = vmGetTableValue(L, &cl->g, key, 1));
  base[vmArgA(i)] = r;
  DISPATCH();
}
op_gettable: {
  const vkValue* rb = RB();
  const vkValue* rc = RKC();
  if (rb->tt == VK_TTABLE) {
    const vkValue* v = vmTableGet(vmTab(rb), rc);
    if (!vmIsNil(v)) {
      *ra = *v;
      DISPATCH();
    }
  }
  vkValue r;
  PROTECT(r = vmGetTableValue(L, rb, rc, 0));
  base[vmArgA(i)] = r;
  DISPATCH();
}
op_setglobal: {
  const vkValue* key = KST(vmArgBx(i));
  if (cl->g.tt == VK_TTABLE) {
    vkTable* h = vmTab(&cl->g);
    const vkValue* slot = vmTableGetStr(h, vmStr(key));
    if (!vmIsNil(slot)) {
      h->flags = 0;
      *const_cast<vkValue*>(slot) = *ra;
      NEXT();
    }
  }
  PROTECT(vmSetTableValue(L, &cl->g, key, ra));
  DISPATCH();
}
op_setupval:
  *cl->upvals()[vmArgB(i)]->v = *ra;
  NEXT();
op_settable: {
  const vkValue* rb = RKB();
  const vkValue* rc = RKC();
  if (ra->tt == VK_TTABLE) {
    vkTable* h = vmTab(ra);
    const vkValue* slot = vmTableGet(h, rb);
    // A slot that holds nil (an empty array entry) or an absent key is
    // written here too unless __newindex applies; the absent key is inserted
    // without a second search.
    if (!vmIsNil(slot) || vmTableTMKnownAbsent(h->metatable, VK_TM_NEWINDEX) ||
        !vmFastTM(L, h->metatable, VK_TM_NEWINDEX)) {
      if (slot != &vkNilObject) {
        h->flags = 0;
        *const_cast<vkValue*>(slot) = *rc;
      } else {
        vkValue v = *rc;
        vkValue* dst;
        PROTECT(dst = vmTableSetFound(L, h, rb, slot));
        *dst = v;
      }
      DISPATCH();
    }
  }
  PROTECT(vmSetTableValue(L, ra, rb, rc));
  DISPATCH();
}
op_newtable: {
  int b = vmArgB(i);
  int shift = b >> 3;
  uint64_t size = (b & 7) == 0 ? 0 : shift > kMaxTableBits ? UINT64_MAX : static_cast<uint64_t>(b & 7) << shift;
  SAVEPC();
  if (size > (1u << kMaxTableBits)) vmRaiseError(L, kErrTableOverflow);
  vmSetTable(ra, vmTableNew(L, static_cast<int>(size), vmArgC(i)));
  CHECKGC();
  DISPATCH();
}
op_add:
  ARITH(VK_TM_ADD, x + y)
op_sub:
  ARITH(VK_TM_SUB, x - y)
op_mul:
  ARITH(VK_TM_MUL, x * y)
op_div:
  SAVEPC();
  ARITH(VK_TM_DIV, (y == 0.0 ? (vmRaiseError(L, kErrDivisionByZero), 0.0) : x / y))
op_intdiv:
  SAVEPC();
  ARITH(VK_TM_DIVINT, arithNumbers(L, VK_TM_DIVINT, x, y))
op_mod:
  SAVEPC();
  ARITH(VK_TM_MOD, arithNumbers(L, VK_TM_MOD, x, y))
op_shl:
  ARITH(VK_TM_LSH, arithNumbers(L, VK_TM_LSH, x, y))
op_shr:
  ARITH(VK_TM_RSH, arithNumbers(L, VK_TM_RSH, x, y))
op_bor:
  ARITH(VK_TM_OR, wordResult(vkDoubleToWord(x) | vkDoubleToWord(y)))
op_band:
  ARITH(VK_TM_AND, wordResult(vkDoubleToWord(x) & vkDoubleToWord(y)))
op_bxor:
  ARITH(VK_TM_XOR, wordResult(vkDoubleToWord(x) ^ vkDoubleToWord(y)))
op_pow:
  ARITH(VK_TM_POW, std::pow(x, y))
op_unm: {
  const vkValue* rb = RB();
  vkValue s;
  const vkValue* n = vmToNumberValue(rb, &s);
  if (n) {
    vmSetNumber(ra, -n->v.n);
  } else {
    vkValue r;
    PROTECT(r = unaryTM(L, rb, VK_TM_UNM));
    base[vmArgA(i)] = r;
  }
  DISPATCH();
}
op_not:
  vmSetNumber(ra, vmIsFalse(RB()) ? 1.0 : 0.0);
  NEXT();
op_bnot: {
  const vkValue* rb = RB();
  vkValue s;
  const vkValue* n = vmToNumberValue(rb, &s);
  if (n) {
    vmSetNumber(ra, wordResult(~vkDoubleToWord(n->v.n)));
  } else {
    vkValue r;
    PROTECT(r = unaryTM(L, rb, VK_TM_NOT));
    base[vmArgA(i)] = r;
  }
  DISPATCH();
}
op_concat: {
  int b = vmArgB(i), c = vmArgC(i);
  vkValue* rb = base + b;
  if (c == b + 1 && rb[0].tt == VK_TSTRING && rb[1].tt == VK_TSTRING) {
    // Two strings: what vmConcatValues does for them, without its loop.
    if (vmStr(rb + 1)->len > 0) {
      uint64_t total = static_cast<uint64_t>(vmStr(rb)->len) + vmStr(rb + 1)->len;
      SAVEPC();
      if (total > 4294967293ull) vmRaiseError(L, kErrInternalLimit);
      vmSetString(rb, vmConcatStrings(L, rb, 2, static_cast<size_t>(total)));
    }
  } else {
    PROTECT(vmConcatValues(L, c - b + 1, c));
  }
  base[vmArgA(i)] = base[b];
  CHECKGC();
  DISPATCH();
}
op_jmp:
  if (vmJumpFlag(i) == kJumpGosub) PROTECT(vmGosubPush(L, cl->p, static_cast<int32_t>(pc - cl->p->code)));
  pc += vmJumpOffset(i);
  if (vmJumpOffset(i) >= 0) NEXT();
  DISPATCH();
op_eq: {
  const vkValue* rb = RKB();
  const vkValue* rc = RKC();
  int r;
  if (__builtin_expect(rb->tt == VK_TNUMBER && rc->tt == VK_TNUMBER, 1))
    r = rb->v.n == rc->v.n;
  else
    PROTECT(r = vmEqualValue(L, rb, rc));
  if (r != vmArgA(i)) {
    pc++;
    NEXT();
  }
  DOJUMP_NEXT();
  DISPATCH();
}
op_lt: {
  const vkValue* rb = RKB();
  const vkValue* rc = RKC();
  int r;
  if (__builtin_expect(rb->tt == VK_TNUMBER && rc->tt == VK_TNUMBER, 1))
    r = rb->v.n < rc->v.n;
  else
    PROTECT(r = vmLessThanValue(L, rb, rc, 1));
  if (r != vmArgA(i)) {
    pc++;
    NEXT();
  }
  DOJUMP_NEXT();
  DISPATCH();
}
op_le: {
  const vkValue* rb = RKB();
  const vkValue* rc = RKC();
  int r;
  if (__builtin_expect(rb->tt == VK_TNUMBER && rc->tt == VK_TNUMBER, 1))
    r = rb->v.n <= rc->v.n;
  else
    PROTECT(r = vmLessEqualValue(L, rb, rc));
  if (r != vmArgA(i)) {
    pc++;
    NEXT();
  }
  DOJUMP_NEXT();
  DISPATCH();
}
op_test: {
  const vkValue* rb = RB();
  if (static_cast<int>(vmIsFalse(rb)) == vmArgC(i)) {
    pc++;
    NEXT();
  }
  *ra = *rb;
  DOJUMP_NEXT();
  DISPATCH();
}
op_call: {
  int b = vmArgB(i);
  if (ra->tt == VK_TFUNCTION) {
    vkClosure* fc = vmCl(ra);
    if (!fc->isC) {
      SAVEPC();
      cl = fc;
      ci = vmPushScriptFrame(L, ra, cl, b != 0 ? ra + b : L->top, VK_CI_CALLING);
      if (__builtin_expect(L->hookMask & VK_MASKCALL, 0)) goto newframe;
      // Enter the callee here: what newframe and reentry would load.
      base = ci->base;
      kbias = reinterpret_cast<uintptr_t>(cl->p->k) - kRKConstant * sizeof(vkValue);
      pc = ci->savedpc;
      DISPATCH();
    }
    // A command of one number called with one while nothing watches command
    // calls (hooks, the debug output, the first-use hook) and its frame would
    // neither grow the call records nor the stack: its function, without a
    // frame. Such a command never reads the last error, so the call clears it.
    if (fc->number && b == 2 && ra[1].tt == VK_TNUMBER && !fc->firstUse && L->ci != L->endCi &&
        L->stackLast - (ra + 2) > kMinCommandStack &&
        ((L->hookMask & (VK_MASKCALL | VK_MASKRET)) | run.debugOutput) == 0) {
      errors.lastError = 0;
      double x = fc->number(ra[1].v.n);
      int c = vmArgC(i);
      if (__builtin_expect(c == 2, 1)) {
        vmSetNumber(ra, x);
      } else if (c == 0) {
        vmSetNumber(ra, x);
        L->top = ra + 1;
        NEXT();
      } else {
        for (vkValue* r = ra + 1; r < ra + c - 1; r++) vmSetNil(r);
        if (c > 1) vmSetNumber(ra, x);
      }
      L->top = ci->top;
      NEXT();  // a plain function ran: nothing can have asked for attention
    }
  }
  if (b != 0) L->top = ra + b;
  SAVEPC();
  nresults = vmArgC(i) - 1;
  errors.pcIndex = static_cast<int32_t>(pc - cl->p->code);
  if (ra->tt == VK_TFUNCTION) {  // a command, called inline
    uint32_t r = vmRunCommand(L, run, ra, vmCl(ra));
    if (__builtin_expect(r < kCommandErrorBase && !(L->hookMask & VK_MASKRET), 1)) {
      vmEndCommand(L, nresults, r);
      RELOAD();
      if (nresults >= 0) L->top = ci->top;
      DISPATCH();
    }
    err = 0;
    kind = vmCommandOutcome(L, r, &err, &first);
    goto commanddone;
  }
  err = 0;
  first = nullptr;
  kind = vmPreCall(L, ra, &err, &first);
  if (kind == VK_PRECALL_SCRIPT) {
    L->ci->state |= VK_CI_CALLING;
    goto newframe;
  }
  goto commanddone;
}
op_tailcall: {
  int b = vmArgB(i);
  nresults = vmArgC(i) - 1;
  if (b != 0) L->top = ra + b;
  errors.pcIndex = static_cast<int32_t>(pc - cl->p->code);
  SAVEPC();
  err = 0;
  first = nullptr;
  kind = vmPreCall(L, ra, &err, &first);
  if (kind == VK_PRECALL_SCRIPT) {
    vkCallInfo* nci = L->ci;
    vkCallInfo* oci = nci - 1;
    if (L->openupval) vmCloseUpvalues(L, oci->base);
    vkValue* dst = oci->base - 1;
    vkValue* src = nci->base - 1;
    ptrdiff_t n = L->top - src;
    for (ptrdiff_t j = 0; j < n; j++) dst[j] = src[j];
    oci->base = dst + 1;
    oci->top = L->top = dst + n;
    oci->func = nci->func;
    oci->savedpc = nci->savedpc;
    oci->tracedpc = nullptr;
    oci->tailcalls++;
    oci->state = static_cast<uint8_t>(VK_CI_SCRIPT | VK_CI_SAVEDPC | (oci->state & VK_CI_CALLING));
    L->ci = oci;
    L->base = oci->base;
    goto newframe;
  }
  goto commanddone;
}
commanddone:
  if (err != 0) ReportCommandError(L, err);
  vmPostCall(L, nresults, kind == VK_PRECALL_DONE ? first : nullptr);
  RELOAD();
  if (nresults >= 0) L->top = ci->top;
  if (kind != VK_PRECALL_DONE) {
    // A label jump: honoured only in the main chunk with a target in its code.
    const uint32_t* code = cl->p->code;
    int32_t idx = static_cast<int32_t>(pc - code);
    int64_t target = static_cast<int64_t>(idx) + errors.jumpOffset;
    if (cl->p->lineDefined != 0 || target < 0 || target >= cl->p->sizecode) vmRaiseError(L, kErrGotoInFunction);
    vmGosubPush(L, cl->p, kind == VK_PRECALL_JUMP_NEXT ? idx : idx - 2);
    pc = code + target;
  }
  DISPATCH();
op_return: {
  if (vmArgC(i) == 1) {
    SAVEPC();
    if (run.gosubCount == 0) vmRaiseError(L, kErrReturnWithoutGosub);
    const vkGosubEntry& e = run.gosub[run.gosubCount - 1];
    if (e.proto != cl->p || e.index < 0 || e.index >= cl->p->sizecode) vmRaiseError(L, kErrReturnWithoutGosub);
    run.gosubCount--;
    pc = cl->p->code + e.index;
    DISPATCH();
  }
  int b = vmArgB(i);
  vkValue* last = b != 0 ? ra + b - 1 : L->top;  // past the last result
  if (L->openupval) vmCloseUpvalues(L, base);
  if (!(ci->state & VK_CI_CALLING)) {
    SAVEPC();
    L->top = last;
    return ra;
  }
  // Back in the calling script: its CALL says how many results it wants.
  int wanted = vmArgC(ci[-1].savedpc[-1]) - 1;
  if (__builtin_expect(L->hookMask & VK_MASKRET, 0)) {
    SAVEPC();  // the hook sees the returning frame's line
    L->top = last;
    vmPostCall(L, wanted, ra);
    RELOAD();
    if (wanted >= 0) L->top = ci->top;
  } else {
    vkValue* end = vmMoveResults(base - 1, ra, last, wanted);
    L->ci = --ci;
    L->base = base = ci->base;
    L->top = wanted >= 0 ? ci->top : end;
  }
  cl = ci->func;  // back in the caller: what reentry would load but base
  kbias = reinterpret_cast<uintptr_t>(cl->p->k) - kRKConstant * sizeof(vkValue);
  pc = ci->savedpc;
  DISPATCH();
}
op_forloop: {
  if (__builtin_expect(!(ra->tt == VK_TNUMBER && ra[1].tt == VK_TNUMBER && ra[2].tt == VK_TNUMBER), 0)) {
    SAVEPC();
    forOperands(L, ra);
  }
  double step = ra[2].v.n;
  double idx = ra->v.n + step;
  double limit = ra[1].v.n;
  if (step > 0 ? idx <= limit : idx >= limit) {
    pc += vmArgSBx(i);
    ra->v.n = idx;
    DISPATCH();
  }
  NEXT();  // out of the loop, forwards
}
op_tforloop: {
  int nvar = vmArgC(i) + 1;
  vkValue* cb = ra + nvar + 2;
  cb[0] = ra[0];
  cb[1] = ra[1];
  cb[2] = ra[2];
  L->top = cb + 3;
  PROTECT(vmCallCore(L, cb, nvar));
  L->top = ci->top;
  ra = base + vmArgA(i) + 2;
  cb = ra + nvar;
  do {
    nvar--;
    ra[nvar] = cb[nvar];
  } while (nvar > 0);
  if (vmIsNil(ra))
    pc++;
  else
    DOJUMP_NEXT();
  DISPATCH();
}
op_tforprep:
  if (ra->tt == VK_TTABLE) {
    ra[1] = ra[0];
    SAVEPC();
    vkString* next = vmNewString(L, "next", 4);
    if (L->globals.tt == VK_TTABLE)
      ra[0] = *vmTableGetStr(vmTab(&L->globals), next);
    else
      vmSetNil(&ra[0]);
  }
  pc += vmArgSBx(i);
  DISPATCH();
op_setlist:
op_setlisto: {
  SAVEPC();
  if (ra->tt != VK_TTABLE) vmRaiseError(L, kErrBadBytecode);
  int bx = vmArgBx(i);
  bool open = vmOpcode(i) == OP_SETLISTO;
  int n = open ? static_cast<int>(L->top - ra) - 1 : (bx & (kFieldsPerFlush - 1)) + 1;
  int bc = bx & ~(kFieldsPerFlush - 1);
  vkTable* h = vmTab(ra);
  for (; n > 0; n--) *vmTableSetNum(L, h, bc + n - 1) = ra[n];
  if (open) L->top = ci->top;
  DISPATCH();
}
op_close:
  vmCloseUpvalues(L, ra);
  DISPATCH();
op_closure: {
  vkProto* p = cl->p->p[vmArgBx(i)];
  int nup = p->nups;
  SAVEPC();
  vkClosure* ncl = vmNewScriptClosure(L, nup, &cl->g);
  ncl->p = p;
  for (int j = 0; j < nup; j++, pc++) {
    if (vmOpcode(*pc) == OP_GETUPVAL)
      ncl->upvals()[j] = cl->upvals()[vmArgB(*pc)];
    else
      ncl->upvals()[j] = vmFindUpvalue(L, base + vmArgB(*pc));
  }
  vmSetClosure(ra, ncl);
  CHECKGC();
  DISPATCH();
}
op_self: {
  const vkValue* rb = RB();
  const vkValue* rc = RKC();
  if (rc->tt != VK_TSTRING) PROTECT(vmRaiseError(L, kErrBadBytecode));
  vkValue obj = *rb;
  vkValue r;
  const vkValue* v = rb->tt == VK_TTABLE ? vmTableGetStr(vmTab(rb), vmStr(rc)) : &vkNilObject;
  if (!vmIsNil(v))
    r = *v;
  else
    PROTECT(r = vmGetTableValue(L, rb, rc, 1));
  base[vmArgA(i) + 1] = obj;
  base[vmArgA(i)] = r;
  DISPATCH();
}
op_bad:
  DISPATCH();

#undef RELOAD
#undef SAVEPC
#undef PROTECT
#undef CHECKGC
#undef RB
#undef RKB
#undef RKC
#undef RK
#undef KST
#undef DOJUMP_NEXT
#undef DISPATCH
#undef NEXT
#undef ARITH
}
