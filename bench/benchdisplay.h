// Display 1 of a benchmark's engine, made from the options table at stack
// index 1, opened on screen without activating and selected.
#pragma once

#include "engine/vmapi.h"
#include "graphics/displays.h"
#include "graphics/graphicsstate.h"

namespace benchdisplay {

// The display, or null when it could not be made or opened.
inline vkDisplay* OpenDisplayOne(vkState* L) {
  vkObjectId id;
  if (CreateDisplay(L, vkIdRequest{1, false}, 1, &id) != 0) return nullptr;
  vkDisplay* display = nullptr;
  FindDisplay(GraphicsState(L), id, &display);
  if (!display || OpenDisplayOnScreen(L, display, false) != 0) return nullptr;
  SelectDisplay(L, display, true);
  return display;
}

}  // namespace benchdisplay
