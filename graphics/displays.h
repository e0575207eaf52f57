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
struct vkBitMap;
struct vkPlane;
struct vkOSDisplay;

// The handler slots of a display, in the order of their script names.
inline constexpr int kHandlerCloseWindow = 3;  // "closewindow"

// A script function installed for a display event; -1 = none.
struct vkHandlerSlot {
  int32_t function = -1;
  int32_t userData = -1;
};

// Render target types: what the drawing commands of a display draw into.
inline constexpr int32_t kTargetBGPic = 1;
inline constexpr int32_t kTargetBrush = 3;
inline constexpr int32_t kTargetDisplay = 21;
inline constexpr int32_t kTargetMask = 28;
inline constexpr int32_t kTargetAlphaChannel = 30;

struct vkDisplay {
  vkDisplay* next = nullptr;
  int32_t idNumber = 0;
  void* idHandle = nullptr;
  uint32_t layersOn = 0;  // the displayed picture is composed from layers
  // What the drawing commands write into for the current render target.
  vkBitMap* drawBitMap = nullptr;
  vkPlane* drawMask = nullptr;
  vkPlane* drawAlpha = nullptr;
  int32_t renderTarget = kTargetDisplay;
  vkBGPic* bgpic = nullptr;  // the displayed background picture
  int32_t width = 0;  // content size
  int32_t height = 0;
  vkBitMap* backBuffer = nullptr;    // the picture as drawn
  vkBitMap* screenBuffer = nullptr;  // the composed picture as shown
  int32_t scaledWidth = 0;           // the size shown while scaled; 0 when not
  int32_t scaledHeight = 0;
  int32_t textCursorX = 0, textCursorY = 0;
  int32_t textMarginLeft = 0, textMarginRight = 0;
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

// Copies a rectangle of [bitmap] into the window of [display] (flag 1: the
// whole picture, stretched to the scaled size while the display is scaled).
void BltToWindow(const vkBitMap* bitmap, int32_t sx, int32_t sy, vkDisplay* display, int32_t dx, int32_t dy,
                 int32_t width, int32_t height, uint32_t flags);

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
