// The math library: arithmetic, rounding, logarithms, random numbers and
// 32-bit bit operations on script numbers, and the constant PI.
#pragma once

struct vkState;
struct vkCommandDef;
struct vkConstantDef;

extern const vkCommandDef kMathCommands[];
extern const vkConstantDef kMathConstants[];

// Registers the "math" commands into the table on top of the stack, the
// library entry and PI, and seeds the random generators from the clock;
// 0 or 1000.
int OpenMathLibrary(vkState* L);
