// The platform record of a display: the window behind it and the requests that
// the window's event handlers leave for the event pump (close, resize, the
// quit keys and a screen-mode switch). One per display, owned by the display.
#pragma once

#include <cstdint>

struct vkOSDisplay {
  uint32_t closeRequest = 0;       // close box or quit request seen
  uint32_t resizePending = 0;      // the user resized the window
  uint32_t ctrlCSeen = 0;          // Ctrl-C pressed in the window
  uint32_t escapeSeen = 0;         // Escape pressed in the window
  int32_t pendingScreenMode = -1;  // -1 none, 1 to full screen, 0 to a window
};
