// The displays (windows or screens) a script opens, in one list: the record
// fields that the runtime and the platform layer read, the list head and the
// current display and output target, and the display library's operations
// that start-up, shutdown and the event pump call.
#pragma once

#include <array>
#include <cstdint>

#include "runtime/eventhandlers.h"  // kDisplayHandlerCount

struct vkState;
struct vkApplet;
struct vkProgramContext;
struct vkBGPic;
struct vkOSDisplay;

// The handler slots of a display, in the order of their script names.
inline constexpr int kHandlerCloseWindow = 3;  // "closewindow"

// A script function installed for a display event; -1 = none.
struct vkHandlerSlot {
  int32_t function = -1;
  int32_t userData = -1;
};

struct vkDisplay {
  vkDisplay* next = nullptr;
  int32_t idNumber = 0;
  void* idHandle = nullptr;
  int32_t width = 0;  // content size
  int32_t height = 0;
  // While either switch is set, window size changes are not queued as size
  // events: the program itself is resizing what the window shows.
  uint32_t scaling = 0;       // the picture keeps its size, shown scaled
  uint32_t layerScaling = 0;  // the layers are rendered anew at the window's scale
  uint32_t smoothScale = 0;
  std::array<vkHandlerSlot, kDisplayHandlerCount> handlers{};
  uint32_t leftButton = 0;  // non-zero while the left mouse button is down
  vkOSDisplay* os = nullptr;  // the platform record; NULL while there is none
};

extern vkDisplay* DisplayList;    // head of the list, in creation order
extern vkDisplay* CurrentDisplay;  // NULL while there is none
extern vkBGPic* CurrentBGPic;      // the current output target

// A position argument that keeps the display where it is.
inline constexpr int32_t kKeepPosition = 100000;

// Registers the "display" commands and constants and installs the display
// hooks; 0 or an error code.
int OpenDisplayLibrary(vkState* L);

// Registers with the platform what the pump asks of the displays (their
// window requests, a quit request) and, when [L] holds a program context,
// the dos library's input reset after a program ran.
void InstallDisplayHooks(vkState* L);

// Opens the displays the applet declared and makes one current; 0 or an
// error code, which ends the start-up.
int OpenFirstDisplay(vkState* L, vkApplet* applet, vkProgramContext* context);

// Forgets the input state of [display] (NULL: nothing), for instance after
// another program had the input.
void ResetDisplayInput(vkDisplay* display);

// Closes and frees every display and restores the screen; returns 0.
int CloseAllDisplays(vkState* L);

// Switches between full screen ([fullScreen] 1) at width x height and a
// window (0); 0 or an error code.
int SwitchDisplayMode(vkState* L, int32_t fullScreen, int32_t width, int32_t height);

// Gives [display] a new position and size (100000 keeps the current
// position); 0 or an error code.
int ResizeDisplay(vkState* L, vkDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height,
                  int32_t reposition, uint32_t smoothScale, int32_t keepWindow);
