// The mouse pointer of each display window: pointers made from ARGB images,
// which pointer a display shows (the system arrow, the player's built-in one
// or one of its own), hiding and showing it, and moving it. A pointer keeps
// its image, so it exists whether or not the video driver shows colour
// pointers; the window system's pointer is made from it where it can be. The
// pointer a window shows is set when the window gets the focus or the mouse
// enters it, and at once when it has the focus already.
#pragma once

#include <cstdint>
#include <memory>

struct vkOSDisplay;
struct vkOSPointer;  // the image and the window system's pointer, private to the backend

// What vkosSetPointer shows.
inline constexpr int32_t VKOS_POINTER_SYSTEM = 0;   // the system arrow
inline constexpr int32_t VKOS_POINTER_BUILTIN = 1;  // the player's own pointer
inline constexpr int32_t VKOS_POINTER_CUSTOM = 2;   // a pointer made by vkosCreatePointer

// The largest side of a pointer image.
inline constexpr int32_t kMaxPointerSide = 1024;

// A pointer from [width] x [height] ARGB words (alpha in the top byte, not
// premultiplied, rows of [width] words) with its hot spot at ([hotX], [hotY]).
// NULL when a side is below 1 or above kMaxPointerSide, the hot spot lies
// outside the image, memory runs out, or the window system refuses a pointer
// it could otherwise show. A display that shows the pointer keeps it alive,
// so the owner may drop it at any time (vkosFreePointer).
std::shared_ptr<vkOSPointer> vkosCreatePointer(const uint32_t* argb, int32_t hotX, int32_t hotY, int32_t width,
                                               int32_t height);
// Drops the owner's hold on [pointer].
void vkosFreePointer(std::shared_ptr<vkOSPointer>& pointer);

// [os] shows [kind] (VKOS_POINTER_*; any other kind counts as custom) with
// [pointer] for a custom one (NULL: the system arrow) and no longer hides it.
void vkosSetPointer(vkOSDisplay* os, std::shared_ptr<vkOSPointer> pointer, int32_t kind);
// Clears or sets [os]'s pointer-hidden flag.
void vkosShowPointer(vkOSDisplay* os);
void vkosHidePointer(vkOSDisplay* os);
// Moves the mouse to ([x], [y]) of [os]'s open window's content: the window
// system's pointer goes there and the window's input state notes the move,
// as a move by the user would.
void vkosMovePointer(vkOSDisplay* os, int32_t x, int32_t y);
// The system arrow, shown (after vkosInit only).
void vkosRestoreArrowPointer();
