// The debug interface: the call levels of a script thread with their kind,
// source, names and current line, and the locals of a level. Error messages
// name the erring function and line through it. Hooks (vmSetHook,
// vmInitHooks) live with the call machinery in engine/call.h; the names of
// registers come from engine/varnames.h.
#pragma once

#include "engine/call.h"
#include "engine/state.h"

// Fills [ar] for call level [level] (0 the running function, 1 its caller,
// ...; lost tail calls count as levels). 0 when there is no such level.
int vmGetStack(vkState* L, int level, vkDebugInfo* ar);

// Fills the parts of [ar] that [what] asks for: "S" source, short source,
// line defined and kind ("Vellumark", "main", "C" or "tail"); "l" current
// line; "u" upvalue count; "n" name and name kind; "f" pushes the function.
// A leading '>' takes the function from the top of the stack (popped)
// instead of a level. Returns 0 when [what] holds an unknown letter.
int vmGetInfo(vkState* L, const char* what, vkDebugInfo* ar);

// Pushes local [n] of the level's function and returns its name; NULL and
// nothing pushed for commands and unknown locals.
const char* vmGetLocal(vkState* L, const vkDebugInfo* ar, int n);
// Pops the top value into local [n]; returns its name, or NULL (the value
// is still popped) for unknown locals and internal ones (names from '(').
const char* vmSetLocal(vkState* L, const vkDebugInfo* ar, int n);
