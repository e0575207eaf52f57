// The draw library: vector shapes with the pen state and the work tables it
// keeps between calls; its opener and its shutdown step.
#pragma once

struct vkState;

// Sets the draw state to its defaults, makes the work and sine/cosine tables
// and registers the "draw" commands and colour constants; 0 or an error code.
int OpenDrawLibrary(vkState* L);

// Frees the work tables; returns 0.
int FreeDrawTables();
