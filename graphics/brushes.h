// The brush library: the script's brushes, with their pixels, masks and
// alpha planes; its opener and the shutdown step that frees them all.
#pragma once

struct vkState;

// Registers the "brush" commands; returns 0.
int OpenBrushLibrary(vkState* L);

// Frees every object of the kind with everything it holds; returns 0.
int FreeAllBrushes();
