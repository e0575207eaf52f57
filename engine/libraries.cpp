// The library registry, command and constant registration, the PRIVATE1 and
// PRIVATE2 dumps, and the label tables. Every lookup lower-cases a copy of
// the name, so any casing a script or a preload uses finds the entry.
#include "engine/libraries.h"

#include <cstdio>
#include <new>
#include <strings.h>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "engine/runstate.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "io/filehandles.h"

namespace {

// Pushes the registry table [name]; when it is missing, pushes a new one
// stored there if [create], else nothing and returns false.
bool pushRegistryTable(vkState* L, const char* name, bool create) {
  vmPushConstString(L, name);
  vmRawGet(L, VK_REGISTRYINDEX);
  if (vmType(L, -1) == VK_TTABLE) return true;
  vmSetTop(L, -2);
  if (!create) return false;
  vmNewTable(L);
  vmPushConstString(L, name);
  vmPushValue(L, -2);
  vmRawSet(L, VK_REGISTRYINDEX);
  return true;
}

bool writeText(vkFile* file, const std::string& text) {
  return WriteStream(file, text.data(), static_cast<uint32_t>(text.size())) == text.size();
}

}  // namespace

int RegisterLibrary(vkState* L, const vkCommandDef* commands, const char* libraryName) {
  auto entry = std::unique_ptr<vkLibraryEntry>(new (std::nothrow) vkLibraryEntry{});
  if (!entry) return kErrOutOfMemory;
  entry->commands = commands;
  entry->name = libraryName ? libraryName : "";
  if (entry->name.size() > kLibraryNameMax) entry->name.resize(kLibraryNameMax);
  std::unique_ptr<vkLibraryEntry>* tail = &EngineRun(L).libraries;
  while (*tail) tail = &(*tail)->next;
  *tail = std::move(entry);
  return 0;
}

const vkLibraryEntry* FirstLibrary(vkState* L) { return EngineRun(L).libraries.get(); }

void FreeLibraryRegistry(vkState* L) {
  // Unlinked one by one so that a long registry does not recurse deeply.
  std::unique_ptr<vkLibraryEntry>& libraries = EngineRun(L).libraries;
  while (libraries) libraries = std::move(libraries->next);
}

const char* FindCommandName(vkState* L, const char* name) {
  if (!name) return nullptr;
  for (const vkLibraryEntry* lib = FirstLibrary(L); lib; lib = lib->next.get())
    for (const vkCommandDef* c = lib->commands; c && c->name; c++)
      if (strcasecmp(c->name, name) == 0) return c->name;
  return nullptr;
}

char* StrToLower(char* text) {
  for (char* p = text; p && *p; p++)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  return text;
}

std::string LowerCased(const char* text) {
  std::string s = text ? text : "";
  StrToLower(s.data());
  return s;
}

void vmRegisterFunctions(vkState* L, const char* libraryName, const vkCommandDef* commands, int nup) {
  if (libraryName) {
    vmPushString(L, libraryName);
    vmGetTable(L, VK_GLOBALSINDEX);
    if (vmType(L, -1) != VK_TTABLE) {
      vmSetTop(L, -2);
      vmNewTable(L);
      vmPushString(L, libraryName);
      vmPushValue(L, -2);
      vmSetTable(L, VK_GLOBALSINDEX);
    }
    vmInsert(L, -(nup + 1));
  }
  for (const vkCommandDef* c = commands; c && c->name; c++) {
    std::string name = LowerCased(c->name);
    vmPushLString(L, name.data(), name.size());
    for (int i = 0; i < nup; i++) vmPushValue(L, -(nup + 1));
    vmPushCClosure(L, c->func, nup);
    vmCl(L->top - 1)->number = c->number;
    vmSetTable(L, -(nup + 3));
  }
  vmSetTop(L, -(nup + 1));
}

void vmRegisterConstants(vkState* L, const vkConstantDef* constants) {
  pushRegistryTable(L, "constants", true);
  for (const vkConstantDef* c = constants; c && c->name; c++) {
    std::string name = LowerCased(c->name);
    vmPushLString(L, name.data(), name.size());
    if (c->strValue)
      vmPushString(L, c->strValue);
    else
      vmPushNumber(L, c->value);
    vmRawSet(L, -3);
  }
  vmSetTop(L, -2);
}

int vmGetConstant(vkState* L, const char* name, const char** str, double* number) {
  if (!pushRegistryTable(L, "constants", false)) return 0;
  std::string key = LowerCased(name);
  vmPushLString(L, key.data(), key.size());
  vmRawGet(L, -2);
  int found = 1;
  switch (vmType(L, -1)) {
    case VK_TNUMBER:
      if (str) *str = nullptr;
      if (number) *number = vmToNumber(L, -1);
      break;
    case VK_TSTRING:
      // The string stays alive in the registry table after the pop.
      if (str) *str = vmToString(L, -1);
      break;
    case VK_TNIL: found = 0; break;
    default: break;
  }
  vmSetTop(L, -3);
  return found;
}

int DumpCommands(vkState* L, const char* fileName) {
  vkFilePtr file = OpenStream(fileName, VKFILE_WRITE);
  if (!file) return 0;
  for (const vkLibraryEntry* lib = FirstLibrary(L); lib; lib = lib->next.get()) {
    unsigned long count = 0;
    for (const vkCommandDef* c = lib->commands; c && c->name; c++) count++;
    writeText(file.get(), "::" + lib->name + "\n" + std::to_string(count) + "\n");
    for (const vkCommandDef* c = lib->commands; c && c->name; c++) writeText(file.get(), std::string(c->name) + "\n");
  }
  writeText(file.get(), "::end");
  return CloseStream(file.release());
}

int DumpConstants(vkState* L, const char* fileName) {
  vkFilePtr file = OpenStream(fileName, VKFILE_WRITE);
  if (!file) return 0;
  if (pushRegistryTable(L, "constants", false)) {
    vmPushNil(L);
    while (vmNext(L, -2)) {
      // Keys are strings: never converted in place, which would upset vmNext.
      if (vmType(L, -2) == VK_TSTRING) writeText(file.get(), std::string(vmToString(L, -2), vmStrLen(L, -2)) + "\n");
      vmSetTop(L, -2);
    }
    vmSetTop(L, -2);
  }
  return CloseStream(file.release());
}

int32_t vmFindLabel(vkState* L, const char* name) {
  if (!pushRegistryTable(L, "labels", false)) return -1;
  std::string key = LowerCased(name);
  vmPushLString(L, key.data(), key.size());
  vmRawGet(L, -2);
  int32_t number = -1;
  if (vmType(L, -1) == VK_TNUMBER) number = vkDoubleToInt32(vmToNumber(L, -1));
  vmSetTop(L, -3);
  return number;
}

void vmDefineLabel(vkState* L, const char* name, int32_t number) {
  pushRegistryTable(L, "labels", true);
  std::string key = LowerCased(name);
  vmPushLString(L, key.data(), key.size());
  vmPushNumber(L, number);
  vmRawSet(L, -3);
  vmSetTop(L, -2);
}

void vmAddLabelRef(vkState* L, const char* name, int32_t pc) {
  pushRegistryTable(L, "labelrefs", true);
  vmPushConstString(L, "n");
  vmRawGet(L, -2);
  int32_t n = vmType(L, -1) == VK_TNUMBER ? vkDoubleToInt32(vmToNumber(L, -1)) : 0;
  vmSetTop(L, -2);
  vmNewTable(L);
  std::string key = LowerCased(name);
  vmPushConstString(L, "name");
  vmPushLString(L, key.data(), key.size());
  vmRawSet(L, -3);
  vmPushConstString(L, "pc");
  vmPushNumber(L, pc);
  vmRawSet(L, -3);
  vmRawSetI(L, -2, n);
  vmPushConstString(L, "n");
  vmPushNumber(L, static_cast<double>(n) + 1);
  vmRawSet(L, -3);
  vmSetTop(L, -2);
}

void vmMarkFirstUseCommands(vkState* L, const vkCommandDef* commands) {
  for (const vkCommandDef* c = commands; c && c->name; c++) {
    const std::string name = LowerCased(c->name);
    vmPushLString(L, name.data(), name.size());
    vmRawGet(L, VK_GLOBALSINDEX);
    const vkValue* v = L->top - 1;
    if (vmIsFunctionT(v) && vmCl(v)->isC && vmCl(v)->f == c->func) vmCl(v)->firstUse = 1;
    vmSetTop(L, -2);
  }
}

void vmSetFirstUseHook(vkState* L, int (*hook)(vkState* L)) { EngineRun(L).firstUseHook = hook; }
