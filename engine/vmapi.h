// The engine's native interface by stack index: what commands and the
// runtime use instead of touching engine records. Index 1.. is the frame's
// first slot, -1 the top, -10000 the registry, -10001 the globals table,
// -10002.. the upvalues of the running command closure. Positions beyond
// the top read as "none" (type -1).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "engine/object.h"
#include "engine/state.h"

inline constexpr int VK_REGISTRYINDEX = -10000;
inline constexpr int VK_GLOBALSINDEX = -10001;
inline int vmUpvalueIndex(int i) { return VK_GLOBALSINDEX - i; }
inline constexpr int VK_MULTRET = -1;

// Stack.
inline int vmGetTop(vkState* L) { return static_cast<int>(L->top - L->base); }
void vmSetTop(vkState* L, int idx);
int vmCheckStack(vkState* L, int size);
void vmPushValue(vkState* L, int idx);
void vmRemove(vkState* L, int idx);
void vmInsert(vkState* L, int idx);

// Pushing.
void vmPushNil(vkState* L);
void vmPushNumberSlow(vkState* L, double n);
inline void vmPushNumber(vkState* L, double n) {
  if (L->stackLast - L->top > 1) {
    vmSetNumber(L->top++, n);  // room without growing the stack
    return;
  }
  vmPushNumberSlow(L, n);
}
void vmPushLightUserdata(vkState* L, void* p);
void vmPushLString(vkState* L, const char* s, size_t len);
void vmPushString(vkState* L, const char* s);
void vmPushConstString(vkState* L, const char* s);
const char* vmPushFormattedV(vkState* L, const char* fmt, va_list argp);
const char* vmPushFormatted(vkState* L, const char* fmt, ...);
void vmPushCClosure(vkState* L, vkCFunction fn, int n);
// Pushes every upvalue of the running command closure; returns their count.
int vmPushUpvalues(vkState* L);
void vmNewTable(vkState* L);
void vmNewTableNoGC(vkState* L);
// A new table with room for [narray] array items and 2^[lnhash] hash slots.
void vmNewTableSized(vkState* L, int narray, int lnhash);
void* vmPushNewUserdata(vkState* L, size_t size);
vkState* vmPushNewThread(vkState* L);
void vmConcat(vkState* L, int n);

// The engine's own formatter ("%d", "%f", "%s", "%c", "%%"); the result is
// left on the stack.
const char* vmPushVFString(vkState* L, const char* fmt, va_list argp);
const char* vmPushFString(vkState* L, const char* fmt, ...);

// Access.
// The type at any index, the pseudo-indexes too; vmType reads the frame's
// slots inline.
int vmTypeAt(vkState* L, int idx);
inline int vmType(vkState* L, int idx) {
  if (idx > 0) {  // a slot of the frame, read inline
    const vkValue* o = L->base + (idx - 1);
    return o < L->top ? o->tt : VK_TNONE;
  }
  return vmTypeAt(L, idx);
}
int vmIsNumber(vkState* L, int idx);
int vmIsString(vkState* L, int idx);
// The number at any index, converted; vmToNumber reads a number in a slot of
// the frame inline.
double vmToNumberAt(vkState* L, int idx);
inline double vmToNumber(vkState* L, int idx) {
  if (idx > 0) {
    const vkValue* o = L->base + (idx - 1);
    if (o < L->top && o->tt == VK_TNUMBER) return o->v.n;
  }
  return vmToNumberAt(L, idx);
}
int vmToBoolean(vkState* L, int idx);
const char* vmToString(vkState* L, int idx);
size_t vmStrLen(vkState* L, int idx);
void* vmToUserdata(vkState* L, int idx);
vkState* vmToThread(vkState* L, int idx);
const void* vmToPointer(vkState* L, int idx);
int vmRawEqual(vkState* L, int idx1, int idx2);
int vmEqual(vkState* L, int idx1, int idx2);
int vmLessThan(vkState* L, int idx1, int idx2, int caseSensitive);

// Tables.
void vmGetTable(vkState* L, int idx);
void vmRawGet(vkState* L, int idx);
void vmRawGetI(vkState* L, int idx, int n);
void vmSetTable(vkState* L, int idx);
void vmRawSet(vkState* L, int idx);
void vmRawSetI(vkState* L, int idx, int n);
// Pushes the value's own metatable and returns 1; 0 (nothing pushed) when it
// has none. The default metatable of new tables and userdata counts as none.
int vmGetMetatable(vkState* L, int idx);
// Setting nil restores the default metatable.
int vmSetMetatable(vkState* L, int idx);
int vmNext(vkState* L, int idx);

// Calls. vmCall and vmPCall return the error code of a command called
// directly (vmPCall also the code an error unwound with); 0 otherwise.
uint32_t vmCall(vkState* L, int nargs, int nresults);
int vmPCall(vkState* L, int nargs, int nresults, int errfunc);
int vmCPCall(vkState* L, vkCFunction func, void* ud);

// Collector, in KB.
int vmGetGCThreshold(vkState* L);
int vmGetGCCount(vkState* L);
void vmSetGCThreshold(vkState* L, int newthreshold);

// Registry entries by name. A missing entry reads as NULL, "" or 0.
void* vmGetRegistryPointer(vkState* L, const char* name);
const char* vmGetRegistryString(vkState* L, const char* name);
double vmGetRegistryNumber(vkState* L, const char* name);
void vmSetRegistryPointer(vkState* L, const char* name, void* p);
void vmSetRegistryString(vkState* L, const char* name, const char* s);
void vmSetRegistryNumber(vkState* L, const char* name, double n);

// Pushes field [event] of the value's metatable and returns 1; 0 (nothing
// pushed) when there is no metatable or the field is nil.
int vmGetMetaField(vkState* L, int idx, const char* event);
// Calls that field with the value as its only argument and one result left
// on the stack; 0 (nothing pushed) when there is none.
int vmCallMeta(vkState* L, int idx, const char* event);

// A table's size: its field "n" when that is a non-negative number, else the
// size recorded in the registry's sizes table, else the number of
// consecutive non-nil integer keys from 1.
int vmGetTableSize(vkState* L, int idx);
// Records [n] in the field "n" when that holds a non-negative number, else
// in the sizes table (weak keys, registry key 2, made on first use).
void vmSetTableSize(vkState* L, int idx, int n);

// References: vmRef pops the top value and stores it in table [idx] under a
// new integer key (3 and up; key 1 heads the list of freed keys); nil gives
// VK_REFNIL and stores nothing. vmUnref frees [ref] for reuse.
inline constexpr int VK_REFNIL = -1;
inline constexpr int kFirstRef = 3;
int vmRef(vkState* L, int idx);
void vmUnref(vkState* L, int idx, int ref);
// Pushes the value a reference holds in table [idx].
inline void vmGetRef(vkState* L, int idx, int ref) { vmRawGetI(L, idx, ref); }

// A string built piece by piece: bytes collect in the buffer, a full buffer
// goes onto the stack as a piece, and pieces are merged so that few stay on
// the stack. Between vmBufferInit and vmBufferPushResult the caller leaves
// the stack above the pieces alone.
inline constexpr size_t kStringBufferSize = 1024;
struct vkStringBuffer {
  char* p;         // next free byte of buffer
  int pieces;      // pieces on the stack
  vkState* L;
  char buffer[kStringBufferSize];
};
void vmBufferInit(vkState* L, vkStringBuffer* B);
void vmBufferAddBytes(vkStringBuffer* B, const char* s, size_t len);
void vmBufferAddString(vkStringBuffer* B, const char* s);
// Room for kStringBufferSize bytes to be written directly; vmBufferAddSize
// then counts the bytes written.
char* vmBufferPrepare(vkStringBuffer* B);
inline void vmBufferAddSize(vkStringBuffer* B, size_t n) { B->p += n; }
// Leaves the whole string as one value on the stack.
void vmBufferPushResult(vkStringBuffer* B);
