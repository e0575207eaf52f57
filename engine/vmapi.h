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

inline constexpr int VK_REGISTRYINDEX = -10000;
inline constexpr int VK_GLOBALSINDEX = -10001;
inline int vmUpvalueIndex(int i) { return VK_GLOBALSINDEX - i; }
inline constexpr int VK_MULTRET = -1;

// Stack.
int vmGetTop(vkState* L);
void vmSetTop(vkState* L, int idx);
int vmCheckStack(vkState* L, int size);
void vmPushValue(vkState* L, int idx);
void vmRemove(vkState* L, int idx);
void vmInsert(vkState* L, int idx);

// Pushing.
void vmPushNil(vkState* L);
void vmPushNumber(vkState* L, double n);
void vmPushLightUserdata(vkState* L, void* p);
void vmPushLString(vkState* L, const char* s, size_t len);
void vmPushString(vkState* L, const char* s);
void vmPushConstString(vkState* L, const char* s);
const char* vmPushFormattedV(vkState* L, const char* fmt, va_list argp);
const char* vmPushFormatted(vkState* L, const char* fmt, ...);
void vmPushCClosure(vkState* L, vkCFunction fn, int n);
void vmNewTable(vkState* L);
void vmNewTableNoGC(vkState* L);
void* vmPushNewUserdata(vkState* L, size_t size);
vkState* vmPushNewThread(vkState* L);
void vmConcat(vkState* L, int n);

// The engine's own formatter ("%d", "%f", "%s", "%c", "%%"); the result is
// left on the stack.
const char* vmPushVFString(vkState* L, const char* fmt, va_list argp);
const char* vmPushFString(vkState* L, const char* fmt, ...);

// Access.
int vmType(vkState* L, int idx);
int vmIsNumber(vkState* L, int idx);
int vmIsString(vkState* L, int idx);
double vmToNumber(vkState* L, int idx);
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
int vmGetMetatable(vkState* L, int idx);
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
