// Serialised tables ("VKT0") and functions ("VKF0" raw bytecode, "VKF1"
// bytecode as Base64 text) in files opened by the dos library, at any offset,
// big-endian throughout. Writers refuse tables that contain themselves and
// nesting deeper than kMaxTableNesting; readers check every length against
// the bytes left before allocating, so a hostile file gets an error code.
#pragma once

#include <cstdint>

#include "runtime/tablewalk.h"  // kMaxTableNesting

struct vkState;
struct vkFileHandle;


// Writes "VKT0" and the table at stack [index]. A non-zero [textFunctions]
// writes nested functions in the text form. Returns 0 or an error code; what
// was written before an error stays in the file.
uint32_t WriteTableRecord(vkState* L, int index, vkFileHandle* handle, bool textFunctions);
// Reads a table record and pushes the table; returns 0 or an error code.
// Nested functions may be in either form.
uint32_t ReadTableRecord(vkState* L, vkFileHandle* handle);

// Writes "VKF0" (or "VKF1" with [textForm]) and the script function at
// stack [index]; 1324 for a command.
uint32_t WriteFunctionRecord(vkState* L, int index, vkFileHandle* handle, bool textForm);
// Reads a function record and pushes the function; returns 0 or an error code.
uint32_t ReadFunctionRecord(vkState* L, vkFileHandle* handle);
