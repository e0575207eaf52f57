// The sprite library: the script's sprites, with their frames; its opener
// and the shutdown step that frees them all.
#pragma once

struct vkState;

// Registers the "sprite" commands; returns 0.
int OpenSpriteLibrary(vkState* L);

// Frees every object of the kind with everything it holds; returns 0.
int FreeAllSprites();
