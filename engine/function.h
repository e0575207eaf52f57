// Function values: script closures (a prototype plus upvalues) and command
// closures (a native command plus stored values), the upvalue records that
// point into the stack while open and hold their own value once closed, and
// the prototypes that the bytecode reader fills.
#pragma once

#include "engine/object.h"

vkClosure* vmNewCommandClosure(vkState* L, int nelems);
vkClosure* vmNewScriptClosure(vkState* L, int nelems, const vkValue* globals);
void vmFreeClosure(vkState* L, vkClosure* c);

// The open upvalue for stack slot [level], made when there is none.
vkUpval* vmFindUpvalue(vkState* L, vkValue* level);
// Closes every open upvalue at or above [level].
void vmCloseUpvalues(vkState* L, vkValue* level);
// A closed upvalue holding nil, linked into the object list.
vkUpval* vmNewClosedUpvalue(vkState* L);
void vmFreeUpvalue(vkState* L, vkUpval* uv);

vkProto* vmNewProto(vkState* L);
void vmFreeProto(vkState* L, vkProto* p);

// The [localNumber]-th (from 1) local variable active at [pc], or NULL.
const char* vmGetLocalName(const vkProto* p, int localNumber, int pc);
