// Mouse pointer images that scripts make from brushes, sprite frames or the
// two standard pointers, which pointer a display shows, showing, hiding and
// moving it. The images live in the graphics state's pointer list; a display
// refers to the one it shows, so a pointer the script frees while a display
// still shows it stays alive, marked deleted, until the display takes another.
#pragma once

#include <cstdint>
#include <list>
#include <memory>

#include "engine/argcheck.h"

struct vkState;
struct vkOSPointer;
struct vkGraphicsState;

// Pointer kinds (STDPTR_*).
inline constexpr int32_t STDPTR_SYSTEM = 0;
inline constexpr int32_t STDPTR_BUSY = 1;
inline constexpr int32_t STDPTR_CUSTOM = 2;

struct vkPointerImage {
  vkObjectId id;
  int32_t width = 0, height = 0;
  int32_t hotX = 0, hotY = 0;  // the hot spot of an image, inside it
  std::shared_ptr<vkOSPointer> cursor;  // the platform's pointer; none for the standard kinds
  int32_t kind = STDPTR_SYSTEM;
  bool deleted = false;  // freed by the script while a display still shows it
};

struct vkPointerList {
  std::list<vkPointerImage> images;  // creation order; records stay put
};

vkPointerList& Pointers(vkGraphicsState& gs);

// The pointer with [id] into *[out]; deleted ones are not found. 0 or 1320
// (the number kept for the message).
int32_t FindPointer(vkGraphicsState& gs, vkObjectId id, vkPointerImage** out);
// The number of pointer images the script can still reach.
int32_t CountPointers(vkGraphicsState& gs);
// Frees every pointer image (shutdown); the displays forget theirs.
void FreeAllPointers(vkGraphicsState& gs);

// The script commands.
int CmdCreatePointer(vkState* L);
int CmdFreePointer(vkState* L);
int CmdSetPointer(vkState* L);
int CmdShowPointer(vkState* L);
int CmdHidePointer(vkState* L);
int CmdMovePointer(vkState* L);

// Registers the attributes of POINTER objects for GetAttribute.
void RegisterPointerAttributes(vkState* L);
