// Command libraries, named constants and labels. Each library registers its
// command table as globals and its constants in the registry table
// "constants", both under lower-cased names, so scripts find them whatever
// the case; the library registry keeps every table in registration order
// for spelling command names in messages and for the command dump.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/object.h"

// One command of a library; a table ends with a row whose name is NULL.
struct vkCommandDef {
  const char* name;
  vkCFunction func;
  // What func computes when it is called with one number, for a command that
  // takes exactly one number and gives one; the interpreter then calls this
  // instead while nothing watches command calls.
  vkNumberFunction number = nullptr;
};

// One named constant; a table ends with a row whose name is NULL. A NULL
// [strValue] makes the constant the number [value].
struct vkConstantDef {
  const char* name;
  const char* strValue;
  double value;
};

// One registered library, in registration order.
struct vkLibraryEntry {
  std::unique_ptr<vkLibraryEntry> next;
  const vkCommandDef* commands;  // not owned: the library's static table
  std::string name;              // at most kLibraryNameMax bytes
};

// Library names were held in 64-byte records.
inline constexpr size_t kLibraryNameMax = 63;

// Appends [commands] under [libraryName] to [L]'s library registry; 0, or
// 1000 when the entry cannot be allocated. Touches no script value.
int RegisterLibrary(vkState* L, const vkCommandDef* commands, const char* libraryName);
// The first registered library (the rest follow through next), or NULL.
const vkLibraryEntry* FirstLibrary(vkState* L);
// Forgets every registered library (shutdown).
void FreeLibraryRegistry(vkState* L);
// [name] as a command's table spells it, searched without regard to case
// through every registered library; NULL when no library has it.
const char* FindCommandName(vkState* L, const char* name);

// Registers [commands] as closures with the [nup] upvalues on top of the
// stack. With [libraryName] the target is the global of that name (made a
// new table when it is not one); without, the table just below the
// upvalues. The upvalues are popped; the target table stays on the stack.
void vmRegisterFunctions(vkState* L, const char* libraryName, const vkCommandDef* commands, int nup);

// Marks the command closures that [commands] registered as globals: the
// first call of any marked command runs [hook] first, once (see
// vkEngineRun::firstUseHook). Commands that scripts replaced are left alone.
void vmMarkFirstUseCommands(vkState* L, const vkCommandDef* commands);
void vmSetFirstUseHook(vkState* L, int (*hook)(vkState* L));

// Stores every row of [constants] in the registry table "constants" (made
// when missing) under its lower-cased name.
void vmRegisterConstants(vkState* L, const vkConstantDef* constants);

// Looks [name] up in "constants" without regard to case: 1 when found, with
// a number in [*number] (and NULL in [*str]) or a string in [*str]; 0 when
// unknown. Either out pointer may be NULL.
int vmGetConstant(vkState* L, const char* name, const char** str, double* number);

// Lower-cases [text] in place (ASCII letters, as the C library's tolower in
// the C locale) and returns it.
char* StrToLower(char* text);
// A lower-cased copy of [text].
std::string LowerCased(const char* text);

// The command dump (option PRIVATE1) and the constant dump (PRIVATE2),
// written to [fileName]: 0 when the file cannot be opened, else the result
// of closing it (1 on success).
int DumpCommands(vkState* L, const char* fileName);
int DumpConstants(vkState* L, const char* fileName);

// Labels: "labels" maps lower-cased names to label numbers (pc indices);
// "labelrefs" lists {name, pc} records under keys 0..n-1 with the count in "n".
int32_t vmFindLabel(vkState* L, const char* name);
void vmDefineLabel(vkState* L, const char* name, int32_t number);
void vmAddLabelRef(vkState* L, const char* name, int32_t pc);
