// The display list and the display library's operations. No display can be
// opened yet: the list stays empty and the operations have nothing to do.
#include "graphics/displays.h"

#include "engine/libraries.h"
#include "engine/vmapi.h"

vkDisplay* DisplayList = nullptr;
vkDisplay* CurrentDisplay = nullptr;
vkBGPic* CurrentBGPic = nullptr;

namespace {

// Until displays can open, CreateDisplay takes its arguments and makes
// nothing, so that the start-up's display preloads succeed.
int CreateDisplay(vkState*) { return 0; }

const vkCommandDef kDisplayCommands[] = {{"CreateDisplay", CreateDisplay}, {nullptr, nullptr}};

}  // namespace

int OpenDisplayLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kDisplayCommands, 0);
  return RegisterLibrary(kDisplayCommands, "display");
}

int OpenFirstDisplay(vkState*, vkApplet*, vkProgramContext*) { return 0; }

int CloseAllDisplays(vkState*) { return 0; }

void ResetDisplayInput(vkDisplay* display) {
  if (display) display->leftButton = 0;
}

int SwitchDisplayMode(vkState*, int32_t, int32_t, int32_t) { return 0; }

int ResizeDisplay(vkState*, vkDisplay*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) {
  return 0;
}
