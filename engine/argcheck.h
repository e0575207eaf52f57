// How commands read their arguments: checks that convert script values to
// native ones and fail with a numbered error naming the argument position
// (error number) or the table field (error text), object identifiers given
// by number or by handle, options-table field readers and writers, numbers
// given as percentages, and calling a script function by name from C.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/errorcodes.h"
#include "engine/state.h"
#include "engine/strings.h"

// The identifier of a script object: the script's number, or, when [handle]
// is not NULL, the object record handed back to the script as a light
// userdata (then the number is 0). Both words compare together.
struct vkObjectId {
  int32_t number = 0;
  void* handle = nullptr;
  bool operator==(const vkObjectId&) const = default;
};

// An identifier argument where Nil asks the command to choose (the command
// then returns the new object's handle).
struct vkIdRequest {
  int32_t number = 0;
  bool automatic = false;
};

// Argument count: min = max = 0 refuses any argument (1193); fewer than
// [min] raises 1014; with [max] >= 1 more than [max] raises 1193; [max] 0
// (with min > 0) or negative sets no upper limit. Returns [L].
vkState* CheckArgCountSlow(vkState* L, int min, int max);
inline vkState* CheckArgCount(vkState* L, int min, int max) {
  const int n = static_cast<int>(L->top - L->base);
  if (max >= 1 && n >= min && n <= max) return L;  // the common case, checked inline
  return CheckArgCountSlow(L, min, max);
}

// Positional checks: [i] is the stack index of the argument. Numbers accept
// numbers, numeric strings ("$" and "0x" hexadecimal) and nil (0); strings
// accept strings, numbers (converted in place) and nil (""). An absent
// argument fails; the Opt forms give their default only then.
double vmCheckNumberSlow(vkState* L, int i);
inline double vmCheckNumber(vkState* L, int i) {
  const vkValue* v = L->base + (i - 1);
  if (i > 0 && v < L->top && v->tt == VK_TNUMBER) return v->v.n;  // the common case, read inline
  return vmCheckNumberSlow(L, i);
}
// The arguments of a command called with exactly [n], when all of them are
// numbers; NULL otherwise (the command then reads them through the checks
// above). A command of numbers may write its one result over the last of
// them and return 1.
inline vkValue* vmNumberArgs(vkState* L, int n) {
  vkValue* v = L->base;
  if (L->top - v != n) return nullptr;
  for (int i = 0; i < n; i++)
    if (v[i].tt != VK_TNUMBER) return nullptr;
  return v;
}
double vmOptNumber(vkState* L, int i, double def);
uint32_t vmCheckUnsigned(vkState* L, int i);
uint32_t vmOptUnsigned(vkState* L, int i, uint32_t def);
// The text and length of the string at frame slot [i], read inline; NULL
// when the slot holds no string (the checks then convert what it holds).
inline const char* vmStringArg(vkState* L, int i, size_t* len) {
  const vkValue* v = L->base + (i - 1);
  if (!(i > 0 && v < L->top && v->tt == VK_TSTRING)) return nullptr;
  vkString* s = vmStr(v);
  // A view's bytes may need their NUL made; a string of its own has one.
  const char* text = (s->shape & VK_STRING_VIEW) ? vmStringText(L, s) : s->data();
  if (len) *len = s->len;
  return text;
}
const char* vmCheckStringSlow(vkState* L, int i, size_t* len);
inline const char* vmCheckString(vkState* L, int i, size_t* len) {
  if (const char* s = vmStringArg(L, i, len)) return s;
  return vmCheckStringSlow(L, i, len);
}
const char* vmOptString(vkState* L, int i, const char* def, size_t* len);
// The check of vmCheckString without reading the text, for a command that
// hands the value on to the engine (which converts it the same way).
void vmCheckStringType(vkState* L, int i);
int vmCheckTable(vkState* L, int i);
int vmCheckFunction(vkState* L, int i);

// The value at [i] read as the table field [field]; failures name the field.
double vmCheckNumberField(vkState* L, int i, const char* field);
uint32_t vmCheckUnsignedField(vkState* L, int i, const char* field);
const char* vmCheckStringField(vkState* L, int i, size_t* len, const char* field);

// Results of script callbacks: nothing is raised, *[code] becomes 0 or
// 1190 / 1259 (then the result is 0 / NULL).
double vmToNumberOrError(vkState* L, int i, int* code);
const char* vmToStringOrError(vkState* L, int i, size_t* len, int* code);

// A light userdata gives its handle, anything else a truncated number.
vkObjectId CheckObjectId(vkState* L, int i);
// Nil asks for an automatic identifier; an absent argument raises 1138.
vkIdRequest OptObjectId(vkState* L, int i);

// Reads "#name" at the start of [text]: returns 0 and sets *[consumed] to
// the name's length + 1 and *[str] (string constant, else NULL) and *[num];
// or returns 1055 (no "#"), 1018 (no letter or "_" after it) or 1042 (not a
// constant). Names run over letters, digits, "_", "$" and "!", at most 64.
int ParseConstantName(vkState* L, const char* text, size_t* consumed, const char** str, double* num);

// A number, or a string "N%" taken as N percent of [reference] (of 1 with
// [relative] set when [reference] is 0). Percentages below 0, or above 100
// unless [allowOver100], raise 1184; non-numbers and non-strings 1183.
double CheckNumberOrPercent(vkState* L, int i, double reference, bool allowOver100, int* relative);

// Options-table readers: [t] is the table's stack index. A field that is not
// nil is converted, stored in *[out], *[present] (may be NULL) set to 1, and
// 1 returned; a nil field returns 0 and leaves the outputs alone. The stack
// is left as found.
int OptFieldInt(vkState* L, int t, const char* field, int32_t* out, int* present);
int OptFieldUnsigned(vkState* L, int t, const char* field, uint32_t* out, int* present);
int OptFieldNumber(vkState* L, int t, const char* field, double* out, int* present);
int OptFieldString(vkState* L, int t, const char* field, std::string* out, int* present);
int OptFieldObjectId(vkState* L, int t, const char* field, vkObjectId* out, int* present);
int OptFieldNumberOrPercent(vkState* L, int t, const char* field, double reference, bool allowOver100,
                            int* relative, double* out, int* present);
// A number is a layer number; a string names a layer of the current
// background picture (1369 when none has that name); other types 1055.
int OptFieldLayerId(vkState* L, int t, const char* field, int32_t* out, int* present);
// A table of four numbers at the keys 0..3.
int OptFieldMatrix(vkState* L, int t, const char* field, double out[4], int* present);

// Result-table writers: set [field] of the table on top of the stack.
void SetFieldInt(vkState* L, const char* field, int32_t value);
void SetFieldNumber(vkState* L, const char* field, double value);
void SetFieldString(vkState* L, const char* field, const char* value);
void SetFieldObjectId(vkState* L, const char* field, const vkObjectId& id);

// One argument of CallScriptFunction.
struct vkScriptArg {
  enum Kind { Int, Unsigned, String, Nil, Pointer, ObjectId } kind;
  int64_t integer = 0;
  const char* text = nullptr;
  void* pointer = nullptr;
  vkObjectId id{};

  static vkScriptArg ofInt(int32_t v) { return {Int, v}; }
  static vkScriptArg ofUnsigned(uint32_t v) { return {Unsigned, v}; }
  static vkScriptArg ofString(const char* s) { return {String, 0, s}; }
  static vkScriptArg ofNil() { return {Nil}; }
  static vkScriptArg ofPointer(void* p) { return {Pointer, 0, nullptr, p}; }
  static vkScriptArg ofObjectId(const vkObjectId& v) { return {ObjectId, 0, nullptr, nullptr, v}; }
};

// Calls the global function [name] (looked up lower-cased) unprotected with
// [args], leaving [results] results; a missing function raises 1133.
// Returns 0 at once when [L] is NULL, else the code of a command called
// directly.
uint32_t CallScriptFunction(vkState* L, const char* name, int results, std::initializer_list<vkScriptArg> args);
