// GetAttribute, one query for the attributes of every object type, through
// the registry of runtime/objectattributes.h, where each library that owns a
// kind of object registers a provider for its type code.
#pragma once

#include <cstdint>

#include "engine/argcheck.h"
#include "runtime/objectattributes.h"

struct vkState;

// Registers GetAttribute and the ATTR* and object type constants.
void RegisterAttributeCommands(vkState* L);
// The GetAttribute row, for the graphics library's own table.
const struct vkCommandDef* AttributeCommandTable();
