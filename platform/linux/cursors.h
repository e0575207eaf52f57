// Mouse pointers as SDL cursors: the records of vkos_pointer.h, the system
// arrow, and the player's two own pointers (the built-in one and an empty
// one), made when first asked for once a window system is there, and the
// pointer a focused window shows.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform/vkos_display.h"
#include "platform/vkos_pointer.h"

struct vkOSPointer {
  int32_t width = 0, height = 0;
  int32_t hotX = 0, hotY = 0;
  std::vector<uint32_t> argb;    // width x height ARGB words
  SDL_Cursor* cursor = nullptr;  // NULL where the video driver shows no colour pointers

  vkOSPointer() = default;
  vkOSPointer(const vkOSPointer&) = delete;
  vkOSPointer& operator=(const vkOSPointer&) = delete;
  ~vkOSPointer();
};

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
// Frees the player's own pointers and the window system's side of every
// pointer record, which SDL would free under them when it stops.
void ReleasePointers();

// Shows the pointer of [os] (hidden, or its kind), as its window gets the
// focus or the mouse.
void ApplyPointer(const vkOSDisplay& os);
