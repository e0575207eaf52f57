// The native interface by stack index.
#include "engine/vmapi.h"

#include <cstring>

#include "engine/call.h"
#include "engine/errors.h"
#include "engine/function.h"
#include "engine/gc.h"
#include "engine/interpreter.h"
#include "base/numconv.h"
#include "engine/runstate.h"
#include "engine/strings.h"
#include "engine/table.h"

namespace {

// The slot of [idx], or NULL for "none".
vkValue* index2adr(vkState* L, int idx) {
  if (idx > 0) {
    vkValue* o = L->base + (idx - 1);
    return o >= L->top ? nullptr : o;
  }
  if (idx > VK_REGISTRYINDEX) {
    if (-idx > L->top - L->base) return nullptr;
    return L->top + idx;
  }
  if (idx == VK_REGISTRYINDEX) return &L->G->registry;
  if (idx == VK_GLOBALSINDEX) return &L->globals;
  vkClosure* cl = L->ci->func;
  if (!cl || !cl->isC) return nullptr;
  int n = VK_GLOBALSINDEX - idx;  // 1-based
  return n <= cl->nupvalues ? &cl->cUpvalues()[n - 1] : nullptr;
}

inline void push(vkState* L, const vkValue& v) {
  vmEnsureStack(L, 1);
  *L->top++ = v;
}

vkTable* tableAt(vkState* L, int idx) {
  vkValue* t = index2adr(L, idx);
  return t && vmIsTableT(t) ? vmTab(t) : nullptr;
}

}  // namespace

void vmSetTop(vkState* L, int idx) {
  if (idx >= 0) {
    vmEnsureStack(L, idx);
    while (L->top < L->base + idx) vmSetNil(L->top++);
    L->top = L->base + idx;
  } else {
    L->top += idx + 1;
  }
}

int vmCheckStack(vkState* L, int size) {
  if (size < 0 || (L->top - L->base) + size > kMaxCommandStack) return 0;
  vmEnsureStack(L, size);
  if (L->ci->top < L->top + size) L->ci->top = L->top + size;
  return 1;
}

void vmPushValue(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  push(L, o ? *o : vkNilObject);
}

void vmRemove(vkState* L, int idx) {
  vkValue* p = index2adr(L, idx);
  if (!p) return;
  while (++p < L->top) p[-1] = *p;
  L->top--;
}

void vmInsert(vkState* L, int idx) {
  vkValue* p = index2adr(L, idx);
  if (!p) return;
  vkValue v = L->top[-1];
  for (vkValue* q = L->top - 1; q > p; q--) *q = q[-1];
  *p = v;
}

void vmPushNil(vkState* L) { push(L, vkNilObject); }

void vmPushNumberSlow(vkState* L, double n) {
  vkValue v;
  vmSetNumber(&v, n);
  push(L, v);
}

void vmPushLightUserdata(vkState* L, void* p) {
  vkValue v;
  vmSetPointer(&v, p);
  push(L, v);
}

void vmPushLString(vkState* L, const char* s, size_t len) {
  vmCheckGC(L);
  vmEnsureStack(L, 1);
  vmSetString(L->top, vmNewString(L, s, len));
  L->top++;
}

void vmPushString(vkState* L, const char* s) {
  if (!s)
    vmPushNil(L);
  else
    vmPushLString(L, s, std::strlen(s));
}

void vmPushConstString(vkState* L, const char* s) {
  vmEnsureStack(L, 1);
  vmSetString(L->top, vmNewCString(L, s));
  L->top++;
}

const char* vmPushVFString(vkState* L, const char* fmt, va_list argp) {
  int n = 1;
  vmPushLString(L, "", 0);
  for (;;) {
    const char* e = std::strchr(fmt, '%');
    if (!e) break;
    vmPushLString(L, fmt, static_cast<size_t>(e - fmt));
    switch (e[1]) {
      case 's': {
        const char* s = va_arg(argp, const char*);
        vmPushString(L, s ? s : "(null)");
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(argp, int));
        vmPushLString(L, &c, 1);
        break;
      }
      case 'd': vmPushNumber(L, va_arg(argp, int)); break;
      case 'f': vmPushNumber(L, va_arg(argp, double)); break;
      case '%': vmPushLString(L, "%", 1); break;
      case '\0':
        vmPushLString(L, "", 0);
        e--;  // a lone "%" at the end is dropped
        break;
      default: vmPushLString(L, "", 0); break;
    }
    n += 2;
    fmt = e + 2;
  }
  vmPushString(L, fmt);
  vmConcatValues(L, n + 1, static_cast<int>(L->top - L->base) - 1);
  L->top -= n;
  return vmStringText(L, vmStr(L->top - 1));
}

const char* vmPushFString(vkState* L, const char* fmt, ...) {
  va_list argp;
  va_start(argp, fmt);
  const char* r = vmPushVFString(L, fmt, argp);
  va_end(argp);
  return r;
}

const char* vmPushFormattedV(vkState* L, const char* fmt, va_list argp) {
  vmCheckGC(L);
  return vmPushVFString(L, fmt, argp);
}

const char* vmPushFormatted(vkState* L, const char* fmt, ...) {
  va_list argp;
  va_start(argp, fmt);
  const char* r = vmPushFormattedV(L, fmt, argp);
  va_end(argp);
  return r;
}

void vmPushCClosure(vkState* L, vkCFunction fn, int n) {
  vmCheckGC(L);
  vkClosure* cl = vmNewCommandClosure(L, n);
  cl->f = fn;
  L->top -= n;
  for (int j = 0; j < n; j++) cl->cUpvalues()[j] = L->top[j];
  vmSetClosure(L->top, cl);
  L->top++;
}

int vmPushUpvalues(vkState* L) {
  vkValue* fn = L->base - 1;
  if (!vmIsFunctionT(fn) || !vmCl(fn)->isC) return 0;
  int n = vmCl(fn)->nupvalues;
  vmEnsureStack(L, n + kMinCommandStack);
  fn = L->base - 1;  // the stack may have moved
  for (int i = 0; i < n; i++) *L->top++ = vmCl(fn)->cUpvalues()[i];
  return n;
}

void vmNewTableNoGC(vkState* L) {
  vmEnsureStack(L, 1);
  vmSetTable(L->top, vmTableNew(L, 0, 0));
  L->top++;
}

void vmNewTable(vkState* L) {
  vmCheckGC(L);
  vmNewTableNoGC(L);
}

void vmNewTableSized(vkState* L, int narray, int lnhash) {
  vmCheckGC(L);
  vmEnsureStack(L, 1);
  vmSetTable(L->top, vmTableNew(L, narray, lnhash));
  L->top++;
}

void* vmPushNewUserdata(vkState* L, size_t size) {
  vmCheckGC(L);
  vmEnsureStack(L, 1);
  vkUserdata* u = vmNewUserdata(L, size);
  vmSetObj(L->top, u, VK_TUSERDATA);
  L->top++;
  return u->data();
}

vkState* vmPushNewThread(vkState* L) {
  vmCheckGC(L);
  vmEnsureStack(L, 1);
  vkState* L1 = vmNewThread(L);
  vmSetObj(L->top, L1, VK_TTHREAD);
  L->top++;
  return L1;
}

void vmConcat(vkState* L, int n) {
  if (n >= 2) {
    vmCheckGC(L);
    vmConcatValues(L, n, static_cast<int>(L->top - L->base) - 1);
    L->top -= n - 1;
  } else if (n == 0) {
    vmPushLString(L, "", 0);
  }
}

int vmTypeAt(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  return o ? o->tt : VK_TNONE;
}

int vmIsNumber(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  vkValue s;
  return o && o->tt != VK_TNIL && vmToNumberValue(o, &s) != nullptr;
}

int vmIsString(vkState* L, int idx) {
  int t = vmType(L, idx);
  return t == VK_TSTRING || t == VK_TNUMBER;
}

double vmToNumberAt(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  vkValue s;
  const vkValue* n = o ? vmToNumberValue(o, &s) : nullptr;
  return n ? n->v.n : 0.0;
}

int vmToBoolean(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  return o && !(o->tt == VK_TNIL || (o->tt == VK_TBOOLEAN && o->v.b == 0));
}

const char* vmToString(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  if (!o) return nullptr;
  if (o->tt == VK_TSTRING) return vmStringText(L, vmStr(o));
  if (o->tt != VK_TNUMBER && o->tt != VK_TNIL) return nullptr;
  vmCheckGC(L);
  o = index2adr(L, idx);
  vmToStringValue(L, o);
  return vmStringText(L, vmStr(o));
}

size_t vmStrLen(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  if (!o) return 0;
  if (o->tt == VK_TNUMBER) vmToStringValue(L, o);
  return o->tt == VK_TSTRING ? vmStr(o)->len : 0;
}

void* vmToUserdata(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  if (!o) return nullptr;
  if (o->tt == VK_TUSERDATA) return vmUdata(o)->data();
  if (o->tt == VK_TLIGHTUSERDATA) return o->v.p;
  return nullptr;
}

vkState* vmToThread(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  return o && o->tt == VK_TTHREAD ? static_cast<vkState*>(o->v.gc) : nullptr;
}

const void* vmToPointer(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  if (!o) return nullptr;
  switch (o->tt) {
    case VK_TTABLE:
    case VK_TFUNCTION:
    case VK_TTHREAD:
    case VK_TUSERDATA: return o->v.gc;
    case VK_TLIGHTUSERDATA: return o->v.p;
    default: return nullptr;
  }
}

int vmRawEqual(vkState* L, int idx1, int idx2) {
  vkValue* a = index2adr(L, idx1);
  vkValue* b = index2adr(L, idx2);
  return a && b && vmRawEqualObj(a, b);
}

int vmEqual(vkState* L, int idx1, int idx2) {
  vkValue* a = index2adr(L, idx1);
  vkValue* b = index2adr(L, idx2);
  return a && b && vmEqualValue(L, a, b);
}

int vmLessThan(vkState* L, int idx1, int idx2, int caseSensitive) {
  vkValue* a = index2adr(L, idx1);
  vkValue* b = index2adr(L, idx2);
  return a && b && vmLessThanValue(L, a, b, caseSensitive);
}

void vmGetTable(vkState* L, int idx) {
  vkValue* t = index2adr(L, idx);
  vkValue r = vmGetTableValue(L, t ? t : &vkNilObject, L->top - 1, 1);
  L->top[-1] = r;
}

void vmRawGet(vkState* L, int idx) {
  vkTable* t = tableAt(L, idx);
  L->top[-1] = t ? *vmTableGet(t, L->top - 1) : vkNilObject;
}

void vmRawGetI(vkState* L, int idx, int n) {
  vkTable* t = tableAt(L, idx);
  push(L, t ? *vmTableGetNum(t, n) : vkNilObject);
}

void vmSetTable(vkState* L, int idx) {
  vkValue* t = index2adr(L, idx);
  vmSetTableValue(L, t ? t : &vkNilObject, L->top - 2, L->top - 1);
  L->top -= 2;
}

void vmRawSet(vkState* L, int idx) {
  vkTable* t = tableAt(L, idx);
  if (t) *vmTableSet(L, t, L->top - 2) = L->top[-1];
  L->top -= 2;
}

void vmRawSetI(vkState* L, int idx, int n) {
  vkTable* t = tableAt(L, idx);
  if (t) *vmTableSetNum(L, t, n) = L->top[-1];
  L->top--;
}

int vmGetMetatable(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  vkTable* mt = nullptr;
  if (o && o->tt == VK_TTABLE) mt = vmTab(o)->metatable;
  if (o && o->tt == VK_TUSERDATA) mt = vmUdata(o)->metatable;
  if (!mt || (vmIsTableT(&L->G->defaultMeta) && mt == vmTab(&L->G->defaultMeta))) return 0;
  vkValue v;
  vmSetTable(&v, mt);
  push(L, v);
  return 1;
}

int vmSetMetatable(vkState* L, int idx) {
  vkValue* o = index2adr(L, idx);
  vkValue* mtv = L->top - 1;
  vkTable* mt = vmIsNil(mtv) ? vmTab(&L->G->defaultMeta) : vmIsTableT(mtv) ? vmTab(mtv) : nullptr;
  int ok = 1;
  if (o && mt && o->tt == VK_TTABLE)
    vmTab(o)->metatable = mt;
  else if (o && mt && o->tt == VK_TUSERDATA)
    vmUdata(o)->metatable = mt;
  else
    ok = 0;
  L->top--;
  return ok;
}

int vmNext(vkState* L, int idx) {
  vkTable* t = tableAt(L, idx);
  if (!t) {
    L->top--;
    return 0;
  }
  vmEnsureStack(L, 1);
  if (vmTableNext(L, t, L->top - 1)) {
    L->top++;
    return 1;
  }
  L->top--;
  return 0;
}

uint32_t vmCall(vkState* L, int nargs, int nresults) {
  vkCurrentErrorScope current(L);
  return vmCallCore(L, L->top - (nargs + 1), nresults);
}

namespace {
struct CallArgs {
  ptrdiff_t func;
  int nresults;
  uint32_t code;
};
void protectedCall(vkState* L, void* ud) {
  CallArgs* c = static_cast<CallArgs*>(ud);
  c->code = vmCallCore(L, vmRestoreStack(L, c->func), c->nresults);
}
}  // namespace

int vmPCall(vkState* L, int nargs, int nresults, int errfunc) {
  vkCurrentErrorScope current(L);
  ptrdiff_t ef = 0;
  if (errfunc != 0) {
    vkValue* o = index2adr(L, errfunc);
    if (o) ef = vmSaveStack(L, o);
  }
  CallArgs c{vmSaveStack(L, L->top - (nargs + 1)), nresults, 0};
  int status = vmCallProtected(L, protectedCall, &c, c.func, ef);
  return status != 0 ? status : static_cast<int>(c.code);
}

namespace {
struct CCallArgs {
  vkCFunction func;
  void* ud;
};
void protectedCCall(vkState* L, void* ud) {
  CCallArgs* c = static_cast<CCallArgs*>(ud);
  vmPushCClosure(L, c->func, 0);
  vmPushLightUserdata(L, c->ud);
  vmCallCore(L, L->top - 2, 0);
}
}  // namespace

int vmCPCall(vkState* L, vkCFunction func, void* ud) {
  CCallArgs c{func, ud};
  return vmCallProtected(L, protectedCCall, &c, vmSaveStack(L, L->top), 0);
}

int vmGetGCThreshold(vkState* L) { return static_cast<int>(L->G->GCthreshold >> 10); }
int vmGetGCCount(vkState* L) { return static_cast<int>(L->G->nblocks >> 10); }

void vmSetGCThreshold(vkState* L, int newthreshold) {
  if (newthreshold >= 0 && newthreshold < 0x400000)
    L->G->GCthreshold = static_cast<size_t>(newthreshold) << 10;
  else
    L->G->GCthreshold = SIZE_MAX;
  vmCheckGC(L);
}

// Operations built on the stack interface.

namespace {
void pushRegistryEntry(vkState* L, const char* name) {
  vmPushConstString(L, name);
  vmRawGet(L, VK_REGISTRYINDEX);
}
// Registry key 2: the explicit sizes of tables, by table (weak keys).
constexpr int kSizesKey = 2;
constexpr int kFreeListKey = 1;

// Pushes the sizes table; makes it when [create], else pushes nil.
void pushSizesTable(vkState* L, bool create) {
  vmRawGetI(L, VK_REGISTRYINDEX, kSizesKey);
  if (vmType(L, -1) == VK_TTABLE || !create) return;
  vmSetTop(L, -2);
  vmNewTable(L);
  vmNewTable(L);
  vmPushConstString(L, "__mode");
  vmPushConstString(L, "k");
  vmRawSet(L, -3);
  vmSetMetatable(L, -2);
  vmPushValue(L, -1);
  vmRawSetI(L, VK_REGISTRYINDEX, kSizesKey);
}

// Turns a pseudo or negative index into one that survives pushes.
int absIndex(vkState* L, int idx) { return idx < 0 && idx > VK_REGISTRYINDEX ? vmGetTop(L) + idx + 1 : idx; }

int smallInt(double d) { return static_cast<int>(vkDoubleToInt32(d)); }
}  // namespace

void* vmGetRegistryPointer(vkState* L, const char* name) {
  pushRegistryEntry(L, name);
  void* p = vmToUserdata(L, -1);
  vmSetTop(L, -2);
  return p;
}

const char* vmGetRegistryString(vkState* L, const char* name) {
  pushRegistryEntry(L, name);
  // A string stays alive in the registry after the pop; anything else reads
  // as "" (a number is not converted, which would change the registry).
  const char* s = vmType(L, -1) == VK_TSTRING ? vmToString(L, -1) : "";
  vmSetTop(L, -2);
  return s;
}

double vmGetRegistryNumber(vkState* L, const char* name) {
  pushRegistryEntry(L, name);
  double n = vmToNumber(L, -1);
  vmSetTop(L, -2);
  return n;
}

void vmSetRegistryPointer(vkState* L, const char* name, void* p) {
  vmPushConstString(L, name);
  vmPushLightUserdata(L, p);
  vmRawSet(L, VK_REGISTRYINDEX);
}

void vmSetRegistryString(vkState* L, const char* name, const char* s) {
  vmPushConstString(L, name);
  vmPushString(L, s);
  vmRawSet(L, VK_REGISTRYINDEX);
}

void vmSetRegistryNumber(vkState* L, const char* name, double n) {
  vmPushConstString(L, name);
  vmPushNumber(L, n);
  vmRawSet(L, VK_REGISTRYINDEX);
}

int vmGetMetaField(vkState* L, int idx, const char* event) {
  if (!vmGetMetatable(L, idx)) return 0;
  vmPushString(L, event);
  vmRawGet(L, -2);
  if (vmType(L, -1) == VK_TNIL) {
    vmSetTop(L, -3);
    return 0;
  }
  vmRemove(L, -2);
  return 1;
}

int vmCallMeta(vkState* L, int idx, const char* event) {
  idx = absIndex(L, idx);
  if (!vmGetMetaField(L, idx, event)) return 0;
  vmPushValue(L, idx);
  vmCall(L, 1, 1);
  return 1;
}

int vmGetTableSize(vkState* L, int idx) {
  idx = absIndex(L, idx);
  vmPushConstString(L, "n");
  vmRawGet(L, idx);
  if (vmType(L, -1) == VK_TNUMBER && vmToNumber(L, -1) >= 0) {
    int n = smallInt(vmToNumber(L, -1));
    vmSetTop(L, -2);
    return n;
  }
  vmSetTop(L, -2);
  pushSizesTable(L, false);
  if (vmType(L, -1) == VK_TTABLE) {
    vmPushValue(L, idx);
    vmRawGet(L, -2);
    if (vmType(L, -1) == VK_TNUMBER) {
      int n = smallInt(vmToNumber(L, -1));
      vmSetTop(L, -3);
      return n;
    }
    vmSetTop(L, -2);
  }
  vmSetTop(L, -2);
  int n = 0;
  for (;; n++) {
    vmRawGetI(L, idx, n + 1);
    bool isNil = vmType(L, -1) == VK_TNIL;
    vmSetTop(L, -2);
    if (isNil) break;
  }
  return n;
}

void vmSetTableSize(vkState* L, int idx, int n) {
  idx = absIndex(L, idx);
  vmPushConstString(L, "n");
  vmRawGet(L, idx);
  bool hasN = vmType(L, -1) == VK_TNUMBER && vmToNumber(L, -1) >= 0;
  vmSetTop(L, -2);
  if (hasN) {
    vmPushConstString(L, "n");
    vmPushNumber(L, n);
    vmRawSet(L, idx);
    return;
  }
  pushSizesTable(L, true);
  vmPushValue(L, idx);
  vmPushNumber(L, n);
  vmRawSet(L, -3);
  vmSetTop(L, -2);
}

int vmRef(vkState* L, int idx) {
  idx = absIndex(L, idx);
  if (vmType(L, -1) == VK_TNIL) {
    vmSetTop(L, -2);
    return VK_REFNIL;
  }
  vmRawGetI(L, idx, kFreeListKey);
  int ref = vmType(L, -1) == VK_TNUMBER ? smallInt(vmToNumber(L, -1)) : 0;
  vmSetTop(L, -2);
  if (ref > 0) {
    vmRawGetI(L, idx, ref);  // the next free key becomes the head
    vmRawSetI(L, idx, kFreeListKey);
  } else {
    ref = vmGetTableSize(L, idx) + 1;
    if (ref < kFirstRef) ref = kFirstRef;
    vmSetTableSize(L, idx, ref);
  }
  vmRawSetI(L, idx, ref);
  return ref;
}

void vmUnref(vkState* L, int idx, int ref) {
  if (ref < 0) return;
  idx = absIndex(L, idx);
  vmRawGetI(L, idx, kFreeListKey);
  vmRawSetI(L, idx, ref);
  vmPushNumber(L, ref);
  vmRawSetI(L, idx, kFreeListKey);
}

// The string buffer.

namespace {
// Pieces kept on the stack before merging.
constexpr int kMaxPieces = 9;

void mergePieces(vkStringBuffer* B) {
  vkState* L = B->L;
  if (B->pieces < 2) return;
  int take = 1;
  size_t topLen = vmStrLen(L, -1);
  do {
    size_t below = vmStrLen(L, -(take + 1));
    if (B->pieces - take + 1 > kMaxPieces || topLen > below) {
      topLen += below;
      take++;
    } else {
      break;
    }
  } while (take < B->pieces);
  vmConcat(L, take);
  B->pieces = B->pieces - take + 1;
}

// Pushes the bytes in the buffer as a piece; false when there were none.
bool flushBuffer(vkStringBuffer* B) {
  size_t len = static_cast<size_t>(B->p - B->buffer);
  if (len == 0) return false;
  vmPushLString(B->L, B->buffer, len);
  B->p = B->buffer;
  B->pieces++;
  return true;
}
}  // namespace

void vmBufferInit(vkState* L, vkStringBuffer* B) {
  B->L = L;
  B->p = B->buffer;
  B->pieces = 0;
}

char* vmBufferPrepare(vkStringBuffer* B) {
  if (flushBuffer(B)) mergePieces(B);
  return B->buffer;
}

void vmBufferAddBytes(vkStringBuffer* B, const char* s, size_t len) {
  while (len > 0) {
    size_t room = kStringBufferSize - static_cast<size_t>(B->p - B->buffer);
    if (room == 0) {
      vmBufferPrepare(B);
      continue;
    }
    size_t n = len < room ? len : room;
    std::memcpy(B->p, s, n);
    B->p += n;
    s += n;
    len -= n;
  }
}

void vmBufferAddString(vkStringBuffer* B, const char* s) { vmBufferAddBytes(B, s, std::strlen(s)); }

void vmBufferPushResult(vkStringBuffer* B) {
  flushBuffer(B);
  vmConcat(B->L, B->pieces);
  B->pieces = 1;
}
