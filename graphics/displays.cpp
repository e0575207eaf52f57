// The display list and the display library's operations. No display can be
// opened yet: the list stays empty and the operations have nothing to do.
#include "graphics/displays.h"

vkDisplay* DisplayList = nullptr;
vkDisplay* CurrentDisplay = nullptr;
vkBGPic* CurrentBGPic = nullptr;

int OpenDisplayLibrary(vkState*) { return 0; }

int OpenFirstDisplay(vkState*, vkApplet*, vkProgramContext*) { return 0; }

int CloseAllDisplays(vkState*) { return 0; }

int SwitchDisplayMode(vkState*, int32_t, int32_t, int32_t) { return 0; }

int ResizeDisplay(vkState*, vkDisplay*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) {
  return 0;
}
