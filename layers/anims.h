// The anim library: anims with their frames and the anim streams being
// written; its opener and the shutdown step that frees them all.
#pragma once

struct vkState;

// Registers the "anim" commands; returns 0.
int OpenAnimLibrary(vkState* L);

// Frees every anim and closes every open anim stream; returns 0.
int FreeAllAnims();
