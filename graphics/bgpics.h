// The bgpic library: the script's background pictures, with their layers,
// buttons and the sprites shown on them; its opener and the shutdown step
// that frees them all.
#pragma once

struct vkState;

// Registers the "bgpic" commands; returns 0.
int OpenBGPicLibrary(vkState* L);

// Frees every object of the kind with everything it holds; returns 0.
int FreeAllBGPics();
