// Mouse pointers as SDL cursors: pointers made from ARGB images, the system
// arrow, and the player's two own pointers (the built-in one and an empty one
// used while a display hides its pointer), made when first asked for once a
// window system is there.
#pragma once

#include <SDL.h>

#include <cstdint>

// A pointer from [width] x [height] ARGB words with its hot spot; NULL
// without a window system or when SDL refuses.
SDL_Cursor* vkosCursorFromImage(const uint32_t* argb, int width, int height, int hotX, int hotY);
SDL_Cursor* vkosArrowCursor();
void vkosSetCursor(SDL_Cursor* cursor);
void vkosReleaseCursor(SDL_Cursor* cursor);

// The built-in 46 x 46 pointer (hot spot in its middle) and the empty 1 x 1
// pointer; NULL without a window system. Kept until ReleasePointers.
SDL_Cursor* BuiltinPointer();
SDL_Cursor* EmptyPointer();
void ReleasePointers();
