// The string library: the scripts' text commands. Strings are byte strings
// with 0-based byte positions; case folding is per byte as in the C locale.
#pragma once

struct vkState;
struct vkCommandDef;

extern const vkCommandDef kStringCommands[];

// Registers the "string" commands into the table on top of the stack and in
// the library registry; 0 or 1000.
int OpenStringLibrary(vkState* L);
