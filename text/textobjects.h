// Text objects and open fonts: the shutdown step that frees them all and
// shuts the font engines down.
#pragma once

struct vkState;

// Frees every text object, every open and cached font of [L]'s run, then
// shuts the font engines down; returns 0. Nothing to do for a run whose
// text state was never made.
int FreeAllTextObjectsAndFonts(vkState* L);
