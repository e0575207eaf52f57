// The draw library: vector shapes, single pixels and clearing of the
// current output in the draw style the script sets; its opener and its
// shutdown step.
#pragma once

struct vkState;

// Sets the draw style to its defaults, makes the angle tables and point
// buffers and registers the "draw" commands and constants; 0 or an error code.
int OpenDrawLibrary(vkState* L);

// Frees the draw library's tables and buffers; returns 0.
int FreeDrawTables(vkState* L);
