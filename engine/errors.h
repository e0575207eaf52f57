// How the engine fails: a numbered error unwinds as a C++ exception carrying
// the code up to the innermost protected execution (engine/call.h); with none
// active the panic path ends the process. vmRaiseError records the line for
// the message first; ReportCommandError handles a command's error code.
#pragma once

#include <cstdint>

#include "base/errorcodes.h"
#include "engine/attributes.h"

struct vkState;
struct vkValue;

// The exception that carries a numbered error.
struct vkScriptError {
  int code;
};

// Unwinds to the innermost protected execution with [code]; with none, calls
// the panic function and exits with status 1.
[[noreturn]] void vmThrow(vkState* L, int code);

// Records the error line of the running function (-1 in a command), names
// the erring function, then throws [code].
[[noreturn]] void vmRaiseError(vkState* L, int code);

// Puts the name of the variable that holds [v] (or "??") and [suffix] into
// the error text, then raises [code] (1132 with "{}", 1133 with "()").
[[noreturn]] void vmRaiseNameError(vkState* L, const vkValue* v, int code, const char* suffix);

// Handles the error code a command returned: records it as the last error,
// then, with ExitOnError on, names the erring function and line and stops
// the script (protected-call depth 0: the stop flag is set) or unwinds to
// the protected call. With ExitOnError off it returns 0; at depth 0 it also
// forgets the function name and line.
int ReportCommandError(vkState* L, uint32_t code);

// Fills the error record's function name (while it is still "----": the
// innermost named level wins), current chunk name and, while it is -1, the
// error line (the line of level 1, the script function that called the
// running command).
void FindCurrentFunctionName(vkState* L);
