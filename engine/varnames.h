// Names of the variables that hold values, for the "%s" of the messages
// "Table %s not found!" and "Function %s not found!": a local of the running
// script function, or the global, field or method it was read from.
#pragma once

#include "engine/state.h"

// The name of the variable holding [v] (a slot of the running frame), with
// its kind ("local", "global", "field", "method") in [kind]; NULL when none.
const char* vmVariableName(vkState* L, const vkValue* v, const char** kind);

// The kind of name of register [reg] of [ci]'s function at its current
// instruction; NULL when it has none.
const char* vmGetObjectName(vkState* L, const vkCallInfo* ci, int reg, const char** kind);
