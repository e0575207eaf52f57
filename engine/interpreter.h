// The interpreter: vmExecute runs script frames over the register machine of
// the 43 opcodes, and the value operations it shares with the native
// interface (conversions, arithmetic, comparisons, concatenation, indexing
// with metamethods). Also the program-wide GOSUB stack.
#pragma once

#include <cstdint>

#include "engine/state.h"

// Metamethod events, in the order of their names in the global state.
enum : int {
  VK_TM_INDEX, VK_TM_NEWINDEX, VK_TM_GC, VK_TM_MODE, VK_TM_EQ, VK_TM_ADD, VK_TM_SUB, VK_TM_MUL,
  VK_TM_DIV, VK_TM_DIVINT, VK_TM_MOD, VK_TM_LSH, VK_TM_RSH, VK_TM_OR, VK_TM_AND, VK_TM_XOR,
  VK_TM_POW, VK_TM_UNM, VK_TM_NOT, VK_TM_LT, VK_TM_LE, VK_TM_CONCAT, VK_TM_CALL, VK_TM_COUNT
};

// The metamethod of [event] in metatable [mt] or NULL; events 0..7 use and
// fill the metatable's absence cache.
const vkValue* vmFastTM(vkState* L, vkTable* mt, int event);
// The metamethod of [event] for value [o]; &vkNilObject when none.
const vkValue* vmGetTMByObj(vkState* L, const vkValue* o, int event);

// False: nil, boolean false, the number 0 and the empty string.
inline bool vmIsFalse(const vkValue* o) {
  switch (o->tt) {
    case VK_TNIL: return true;
    case VK_TBOOLEAN: return o->v.b == 0;
    case VK_TNUMBER: return o->v.n == 0;
    case VK_TSTRING: return vmStr(o)->len == 0;
    default: return false;
  }
}

// [obj] as a number (nil 0, numeric strings converted into [scratch]), or NULL.
const vkValue* vmToNumberValue(const vkValue* obj, vkValue* scratch);
// Converts a nil (to "") or a number ("%.14g") in place; 1 when [obj] is a string then.
int vmToStringValue(vkState* L, vkValue* obj);

// t[key] with __index. [mode]: 0 script field read (a missing field of a
// table raises 1159), 1 a read that gives nil for missing fields.
vkValue vmGetTableValue(vkState* L, const vkValue* t, const vkValue* key, int mode);
void vmSetTableValue(vkState* L, const vkValue* t, const vkValue* key, const vkValue* val);
vkValue vmArith(vkState* L, const vkValue* a, const vkValue* b, int event);
int vmLessThanValue(vkState* L, const vkValue* a, const vkValue* b, int caseSensitive);
int vmLessEqualValue(vkState* L, const vkValue* a, const vkValue* b);
int vmEqualValue(vkState* L, const vkValue* a, const vkValue* b);
// Concatenates [total] values ending at register [last] of the running frame
// into the first of them.
void vmConcatValues(vkState* L, int total, int last);

// Runs the script frame of the current call record; returns its first
// result, or NULL when the stop flag ended it.
vkValue* vmExecute(vkState* L);

// The depth of [L]'s GOSUB stack, and cutting it back (unwinding).
int vmGosubDepth(vkState* L);
void vmSetGosubDepth(vkState* L, int depth);
void vmGosubPush(vkState* L, const vkProto* p, int32_t index);
