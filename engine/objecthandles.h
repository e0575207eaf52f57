// Handles of script objects that the system numbers itself. A handle is a
// token handed to the script as a light userdata and only ever compared
// with the handles of live objects, never followed: each one is new for the
// life of the process, so a handle kept after its object was freed finds
// nothing, even when a new object takes the old one's memory.
#pragma once

#include "engine/argcheck.h"

// A handle no object has had before.
void* NewObjectHandle();

// The identifier of a new object: the number asked for, or a new handle when
// the script asked the system to choose.
vkObjectId NewObjectId(const vkIdRequest& request);
