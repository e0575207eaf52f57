// Argument checks, object identifiers and options-table fields. Every check
// stores what its message names (the argument position as the error number,
// a field name as the error text) before it raises, so that the catalog
// message says which argument was wrong.
#include "engine/argcheck.h"

#include <cstring>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/errors.h"
#include "engine/libraries.h"
#include "base/numconv.h"
#include "engine/strings.h"
#include "engine/vmapi.h"
#include "engine/runstate.h"
#include "engine/state.h"

namespace {

[[noreturn]] void raiseAt(vkState* L, int i, int code) {
  SetErrorNumber(i);
  vmRaiseError(L, code);
}

[[noreturn]] void raiseField(vkState* L, const char* field, int code) {
  SetErrorText(field);
  vmRaiseError(L, code);
}

// The number at [i] when it is one (nil counts as 0).
bool numberAt(vkState* L, int i, double* out) {
  if (i > 0 && L->base + (i - 1) < L->top && L->base[i - 1].tt == VK_TNUMBER) {
    *out = L->base[i - 1].v.n;  // the common case, without the stack-index interface
    return true;
  }
  int t = vmType(L, i);
  if (t == VK_TNIL) {
    *out = 0.0;
    return true;
  }
  if (t == VK_TNONE || !vmIsNumber(L, i)) return false;
  *out = vmToNumber(L, i);
  return true;
}

bool isText(int type) { return type == VK_TSTRING || type == VK_TNUMBER || type == VK_TNIL; }

// The text at [i] when it is one (numbers converted in place, nil "").
const char* stringAt(vkState* L, int i, size_t* len) {
  if (const char* s = vmStringArg(L, i, len)) return s;
  if (!isText(vmType(L, i))) return nullptr;
  const char* s = vmToString(L, i);
  if (len) *len = vmStrLen(L, i);
  return s;
}

// A stack index that stays valid while values are pushed.
int absIndex(vkState* L, int i) { return i < 0 && i > VK_REGISTRYINDEX ? vmGetTop(L) + i + 1 : i; }

// Pushes field [field] of the table at [t] (with metamethods); returns
// whether it is not nil. The caller pops it.
bool pushField(vkState* L, int t, const char* field) {
  vmPushString(L, field);
  vmGetTable(L, t);
  return vmType(L, -1) != VK_TNIL;
}

void markPresent(int* present) {
  if (present) *present = 1;
}

}  // namespace

vkState* CheckArgCountSlow(vkState* L, int min, int max) {
  int n = vmGetTop(L);
  if (min == 0 && max == 0) {
    if (n > 0) vmRaiseError(L, kErrTooManyArgs);
    return L;
  }
  if (n < min) vmRaiseError(L, kErrNotEnoughArgs);
  if (max >= 1 && n > max) vmRaiseError(L, kErrTooManyArgs);
  return L;
}

double vmCheckNumberSlow(vkState* L, int i) {
  double d;
  if (!numberAt(L, i, &d)) raiseAt(L, i, kErrNumberExpected);
  return d;
}

double vmOptNumber(vkState* L, int i, double def) {
  return vmType(L, i) == VK_TNONE ? def : vmCheckNumber(L, i);
}

uint32_t vmCheckUnsigned(vkState* L, int i) { return vkDoubleToWord(vmCheckNumber(L, i)); }

uint32_t vmOptUnsigned(vkState* L, int i, uint32_t def) {
  return vmType(L, i) == VK_TNONE ? def : vmCheckUnsigned(L, i);
}

const char* vmCheckStringSlow(vkState* L, int i, size_t* len) {
  const char* s = stringAt(L, i, len);
  if (!s) raiseAt(L, i, kErrStringExpected);
  return s;
}

void vmCheckStringType(vkState* L, int i) {
  if (!isText(vmType(L, i))) raiseAt(L, i, kErrStringExpected);
}

const char* vmOptString(vkState* L, int i, const char* def, size_t* len) {
  if (vmType(L, i) != VK_TNONE) return vmCheckString(L, i, len);
  if (len) *len = def ? std::strlen(def) : 0;
  return def;
}

int vmCheckTable(vkState* L, int i) {
  int t = vmType(L, i);
  if (t != VK_TTABLE) raiseAt(L, i, kErrTableExpected);
  return t;
}

int vmCheckFunction(vkState* L, int i) {
  int t = vmType(L, i);
  if (t != VK_TFUNCTION) raiseAt(L, i, kErrFunctionExpected);
  return t;
}

double vmCheckNumberField(vkState* L, int i, const char* field) {
  double d;
  if (!numberAt(L, i, &d)) raiseField(L, field, kErrNumberFieldExpected);
  return d;
}

uint32_t vmCheckUnsignedField(vkState* L, int i, const char* field) {
  return vkDoubleToWord(vmCheckNumberField(L, i, field));
}

const char* vmCheckStringField(vkState* L, int i, size_t* len, const char* field) {
  const char* s = stringAt(L, i, len);
  if (!s) raiseField(L, field, kErrStringFieldExpected);
  return s;
}

double vmToNumberOrError(vkState* L, int i, int* code) {
  double d = 0.0;
  *code = numberAt(L, i, &d) ? 0 : kErrCallbackNumber;
  return d;
}

const char* vmToStringOrError(vkState* L, int i, size_t* len, int* code) {
  const char* s = stringAt(L, i, len);
  *code = s ? 0 : kErrCallbackString;
  if (!s && len) *len = 0;
  return s;
}

vkObjectId CheckObjectId(vkState* L, int i) {
  if (vmType(L, i) == VK_TLIGHTUSERDATA) return {0, vmToUserdata(L, i)};
  return {vkDoubleToInt32(vmCheckNumber(L, i)), nullptr};
}

vkIdRequest OptObjectId(vkState* L, int i) {
  vkIdRequest r;
  r.number = vkDoubleToInt32(vmCheckNumber(L, i));
  r.automatic = vmType(L, i) == VK_TNIL;
  return r;
}

int ParseConstantName(vkState* L, const char* text, size_t* consumed, const char** str, double* num) {
  constexpr size_t kMaxName = 64;
  if (text[0] != '#') return kErrWrongUsage;
  auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const char* name = text + 1;
  if (!isLetter(name[0]) && name[0] != '_') return kErrSyntax;
  size_t n = 0;
  while (n < kMaxName && (isLetter(name[n]) || isDigit(name[n]) || name[n] == '_' || name[n] == '$' || name[n] == '!'))
    n++;
  std::string key(name, n);
  if (!vmGetConstant(L, key.c_str(), str, num)) return kErrConstantNotFound;
  *consumed = n + 1;
  return 0;
}

double CheckNumberOrPercent(vkState* L, int i, double reference, bool allowOver100, int* relative) {
  if (relative) *relative = 0;
  int t = vmType(L, i);
  if (t == VK_TNUMBER || t == VK_TNIL) return vmCheckNumber(L, i);
  if (t != VK_TSTRING) raiseAt(L, i, kErrStringOrNumberExpected);
  const char* s = vmToString(L, i);
  char* end = nullptr;
  double v = vmStrtod(s, &end);
  if (end == s) raiseAt(L, i, kErrBadPercent);
  if (*end != '%') return v;
  if (v < 0.0 || (!allowOver100 && v > 100.0)) raiseAt(L, i, kErrBadPercent);
  if (reference != 0.0) return v * reference / 100.0;
  if (relative) *relative = 1;
  return v / 100.0;
}

int OptFieldInt(vkState* L, int t, const char* field, int32_t* out, int* present) {
  double d;
  if (!OptFieldNumber(L, t, field, &d, present)) return 0;
  *out = vkDoubleToInt32(d);
  return 1;
}

int OptFieldUnsigned(vkState* L, int t, const char* field, uint32_t* out, int* present) {
  double d;
  if (!OptFieldNumber(L, t, field, &d, present)) return 0;
  *out = vkDoubleToWord(d);
  return 1;
}

int OptFieldNumber(vkState* L, int t, const char* field, double* out, int* present) {
  t = absIndex(L, t);
  bool found = pushField(L, t, field);
  if (found) *out = vmCheckNumberField(L, -1, field);
  vmSetTop(L, -2);
  if (found) markPresent(present);
  return found ? 1 : 0;
}

int OptFieldString(vkState* L, int t, const char* field, std::string* out, int* present) {
  t = absIndex(L, t);
  bool found = pushField(L, t, field);
  if (found) {
    size_t len = 0;
    const char* s = vmCheckStringField(L, -1, &len, field);
    out->assign(s, len);
  }
  vmSetTop(L, -2);
  if (found) markPresent(present);
  return found ? 1 : 0;
}

int OptFieldObjectId(vkState* L, int t, const char* field, vkObjectId* out, int* present) {
  t = absIndex(L, t);
  bool found = pushField(L, t, field);
  if (found) {
    if (vmType(L, -1) == VK_TLIGHTUSERDATA)
      *out = {0, vmToUserdata(L, -1)};
    else
      *out = {vkDoubleToInt32(vmCheckNumberField(L, -1, field)), nullptr};
  }
  vmSetTop(L, -2);
  if (found) markPresent(present);
  return found ? 1 : 0;
}

int OptFieldNumberOrPercent(vkState* L, int t, const char* field, double reference, bool allowOver100,
                            int* relative, double* out, int* present) {
  t = absIndex(L, t);
  bool found = pushField(L, t, field);
  if (found) *out = CheckNumberOrPercent(L, vmGetTop(L), reference, allowOver100, relative);
  vmSetTop(L, -2);
  if (found) markPresent(present);
  return found ? 1 : 0;
}

int OptFieldLayerId(vkState* L, int t, const char* field, int32_t* out, int* present) {
  t = absIndex(L, t);
  bool found = pushField(L, t, field);
  if (found) {
    int type = vmType(L, -1);
    if (type == VK_TNUMBER) {
      *out = vkDoubleToInt32(vmToNumber(L, -1));
    } else if (type == VK_TSTRING) {
      const char* name = vmToString(L, -1);
      int32_t index = EngineRun(L).findLayerByName ? EngineRun(L).findLayerByName(L, name) : 0;
      if (index == 0) raiseField(L, name, kErrLayerNotFound);
      *out = index;
    } else {
      vmRaiseError(L, kErrWrongUsage);
    }
  }
  vmSetTop(L, -2);
  if (found) markPresent(present);
  return found ? 1 : 0;
}

int OptFieldMatrix(vkState* L, int t, const char* field, double out[4], int* present) {
  t = absIndex(L, t);
  bool found = pushField(L, t, field);
  if (found) {
    if (vmType(L, -1) != VK_TTABLE) {
      SetErrorText(field);
      raiseAt(L, t, kErrTableExpected);
    }
    int m = vmGetTop(L);
    for (int k = 0; k < 4; k++) {
      vmPushNumber(L, k);
      vmRawGet(L, m);
      if (vmType(L, -1) == VK_TNIL) vmRaiseError(L, kErrNotEnoughArgs);
      out[k] = vmCheckNumberField(L, -1, field);
      vmSetTop(L, -2);
    }
  }
  vmSetTop(L, -2);
  if (found) markPresent(present);
  return found ? 1 : 0;
}

void SetFieldInt(vkState* L, const char* field, int32_t value) { SetFieldNumber(L, field, value); }

void SetFieldNumber(vkState* L, const char* field, double value) {
  vmPushString(L, field);
  vmPushNumber(L, value);
  vmSetTable(L, -3);
}

void SetFieldString(vkState* L, const char* field, const char* value) {
  vmPushString(L, field);
  vmPushString(L, value);
  vmSetTable(L, -3);
}

void SetFieldObjectId(vkState* L, const char* field, const vkObjectId& id) {
  vmPushString(L, field);
  if (id.handle)
    vmPushLightUserdata(L, id.handle);
  else
    vmPushNumber(L, id.number);
  vmSetTable(L, -3);
}

uint32_t CallScriptFunction(vkState* L, const char* name, int results, std::initializer_list<vkScriptArg> args) {
  if (!L) return 0;
  std::string lower = LowerCased(name);
  vmPushLString(L, lower.data(), lower.size());
  vmGetTable(L, VK_GLOBALSINDEX);
  for (const vkScriptArg& a : args) {
    switch (a.kind) {
      case vkScriptArg::Int:
      case vkScriptArg::Unsigned: vmPushNumber(L, static_cast<double>(a.integer)); break;
      case vkScriptArg::String: vmPushString(L, a.text); break;
      case vkScriptArg::Nil: vmPushNil(L); break;
      case vkScriptArg::Pointer: vmPushLightUserdata(L, a.pointer); break;
      case vkScriptArg::ObjectId:
        if (a.id.handle)
          vmPushLightUserdata(L, a.id.handle);
        else
          vmPushNumber(L, a.id.number);
        break;
    }
  }
  return vmCall(L, static_cast<int>(args.size()), results);
}
