// The display list and the display library's operations. No display can be
// opened yet: the list stays empty and the operations have nothing to do.
#include "graphics/displays.h"

#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "platform/eventqueue.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "runtime/context.h"

vkDisplay* DisplayList = nullptr;
vkDisplay* CurrentDisplay = nullptr;
vkBGPic* CurrentBGPic = nullptr;

namespace {

// Until displays can open, CreateDisplay takes its arguments and makes
// nothing, so that the start-up's display preloads succeed.
int CreateDisplay(vkState*) { return 0; }

const vkCommandDef kDisplayCommands[] = {{"CreateDisplay", CreateDisplay}, {nullptr, nullptr}};

// Looks at every display's requests: whether one of them asks the script to
// stop, and the mode switches and resizes the window handlers asked for.
bool CheckDisplays(vkState* L, const vkQuitOptions& quit) {
  bool stop = false;
  for (vkDisplay* d = DisplayList; d != nullptr; d = d->next) {
    vkOSDisplay* os = d->os;
    if (d->leftButton != 0 && quit.leftMouseQuit != 0) stop = true;
    if (os == nullptr) continue;
    if (os->escapeSeen != 0 && quit.escapeQuit != 0) stop = true;
    if (os->ctrlCSeen != 0 && quit.ctrlCQuit != 0) stop = true;
    if (os->closeRequest != 0 && d->handlers[kHandlerCloseWindow].function == -1) stop = true;
    if (os->pendingScreenMode != -1) {
      SwitchDisplayMode(L, os->pendingScreenMode, d->width, d->height);
      os->pendingScreenMode = -1;
    }
    // The window's handlers leave the size the user gave it in the platform record.
    if (os->resizePending != 0)
      ResizeDisplay(L, d, kKeepPosition, kKeepPosition, os->width, os->height, 0, d->smoothScale, 0);
    os->closeRequest = 0;
    os->resizePending = 0;
    os->ctrlCSeen = 0;
    os->escapeSeen = 0;
  }
  return stop;
}

// A quit request asks every display to close, as its close box would.
bool QuitRequested() {
  if (DisplayList == nullptr) return false;
  for (vkDisplay* d = DisplayList; d != nullptr; d = d->next) {
    PostEvent(d, EVENT_CLOSEWINDOW, 0, 0, 0);
    if (d->os != nullptr) d->os->closeRequest = 1;
  }
  return true;
}

void ResetCurrentDisplayInput() { ResetDisplayInput(CurrentDisplay); }

}  // namespace

void InstallDisplayHooks(vkState* L) {
  vkPlatformHooks hooks;
  hooks.checkDisplays = CheckDisplays;
  hooks.quitRequested = QuitRequested;
  vkosSetHooks(hooks);
  if (L != nullptr) ProgramContext(L).resetDisplayInput = ResetCurrentDisplayInput;
}

int OpenDisplayLibrary(vkState* L) {
  InstallDisplayHooks(L);
  vmRegisterFunctions(L, nullptr, kDisplayCommands, 0);
  return RegisterLibrary(L, kDisplayCommands, "display");
}

// Windows are not drawn into yet: the platform's presenting comes with the
// windows, and then this copies through it.
void BltToWindow(const vkBitMap*, int32_t, int32_t, vkDisplay*, int32_t, int32_t, int32_t, int32_t, uint32_t) {}

int OpenFirstDisplay(vkState*, vkApplet*, vkProgramContext*) { return 0; }

int CloseAllDisplays(vkState*) { return 0; }

void ResetDisplayInput(vkDisplay* display) {
  if (display) display->leftButton = 0;
}

int SwitchDisplayMode(vkState*, int32_t, int32_t, int32_t) { return 0; }

int ResizeDisplay(vkState*, vkDisplay*, int32_t, int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) {
  return 0;
}
