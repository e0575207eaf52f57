// The moveobject library: objects moved along paths; its opener.
#pragma once

struct vkState;

// Registers the "moveobject" commands and constants; returns 0.
int OpenMoveObjectLibrary(vkState* L);
