// The displays (windows or screens) a script opens: the display record with
// its back buffers, scaling, regions and platform record, the display
// library's commands and the operations that start-up, shutdown, the event
// pump and the other graphics libraries call. The list of displays and the
// current one live in the graphics state (graphics/graphicsstate.h); each
// display attaches its input and handlers to the event dispatcher, which
// owns them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/argcheck.h"     // vkObjectId
#include "runtime/context.h"     // vkRegion, vkFillRecord, display flags
#include "runtime/eventstate.h"  // vkEventDisplay

struct vkState;
struct vkApplet;
struct vkProgramContext;
struct vkBGPic;
struct vkBitMap;
struct vkPlane;
struct vkOSDisplay;
struct vkGraphicsState;

// The handler slots of a display, in the order of their script names.
inline constexpr int kHandlerCloseWindow = 3;  // "closewindow"
inline constexpr int kHandlerDropFile = 17;    // "ondropfile"
inline constexpr int kHandlerClipboard = 18;   // "clipboardchange"

// Render target types: what the drawing commands of a display draw into.
inline constexpr int32_t kTargetBGPic = 1;
inline constexpr int32_t kTargetBrush = 3;
inline constexpr int32_t kTargetDisplay = 21;
inline constexpr int32_t kTargetMask = 28;
inline constexpr int32_t kTargetAlphaChannel = 30;

// Window states.
inline constexpr int32_t DISPSTATE_CLOSED = 0;
inline constexpr int32_t DISPSTATE_OPEN = 1;
inline constexpr int32_t DISPSTATE_MINIMIZED = 2;

// Scale modes.
inline constexpr int32_t SCALEMODE_NONE = 0;
inline constexpr int32_t SCALEMODE_AUTO = 1;
inline constexpr int32_t SCALEMODE_LAYER = 2;

// A display has at most this many drag and this many size regions.
inline constexpr size_t kMaxDisplayRegions = 64;
// The height of the default drag region and the side of the default size region.
inline constexpr int32_t kDefaultDragHeight = 15;
inline constexpr int32_t kDefaultSizeSquare = 10;

// A position argument that keeps the display where it is, and the one that
// keeps it only while the size stays the same (else centres it).
inline constexpr int32_t kKeepPosition = 100000;
inline constexpr int32_t kKeepPositionIfSameSize = 99999;

// What SaveDisplayState keeps around a selection.
struct vkSavedDisplayState {
  bool saved = false;
  int32_t cursorX = 0, cursorY = 0, marginLeft = 0, marginRight = 0;
  uint32_t layersOn = 0;
};

struct vkDisplay {
  vkObjectId id;
  uint32_t layersOn = 0;  // the displayed picture is composed from layers
  // What the drawing commands write into for the current render target.
  vkBitMap* drawBitMap = nullptr;
  vkPlane* drawMask = nullptr;
  vkPlane* drawAlpha = nullptr;
  int32_t renderTarget = kTargetDisplay;
  vkBGPic* bgpic = nullptr;  // the displayed background picture
  uint32_t ownsBGPic = 0;    // made by CreateDisplay, freed with the display
  uint32_t doubleBuffer = 0;           // between BeginDoubleBuffer and EndDoubleBuffer
  uint32_t doubleBufferSuspended = 0;  // put aside by a selection
  uint32_t backfill = 0;               // "private1": the full-screen display behind the others
  uint32_t private2 = 0, private3 = 0;
  int32_t x = -100000, y = -100000;    // window position; special until opened
  int32_t width = 640, height = 480;   // content size
  int32_t state = DISPSTATE_CLOSED;
  vkFillRecord fill{1};  // how CreateDisplay fills its own picture; startColor is the colour
  uint32_t flags = 0;    // kDisplay* bits of runtime/context.h
  std::string title = "Vellumark";
  int32_t borderLeft = 0, borderTop = 0;      // window frame, filled by the platform
  int32_t borderWidth = 0, borderHeight = 0;  // left + right, top + bottom
  std::vector<vkRegion> dragRegions, unscaledDragRegions;
  std::vector<vkRegion> sizeRegions, unscaledSizeRegions;
  uint32_t dragRegionsGiven = 0, sizeRegionsGiven = 0;
  vkBitMap* backBuffer = nullptr;    // the displayed picture as drawn, at its shown size
  vkBitMap* screenBuffer = nullptr;  // the composed picture as shown
  vkBitMap* doubleBufferFront = nullptr;
  vkBitMap* doubleBufferDraw = nullptr;
  // While either switch is set, window size changes are not queued as size
  // events: the program itself is resizing what the window shows.
  uint32_t scaling = 0;       // auto scaling: the picture keeps its size, shown stretched
  uint32_t layerScaling = 0;  // the layers are rendered anew at the window's scale
  int32_t marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;  // letterbox
  int32_t scaledWidth = 0, scaledHeight = 0;  // the size shown while scaled; 0 when not
  uint32_t smoothScale = 0;
  double scaleX = 1.0, scaleY = 1.0;  // scaled size over picture size
  std::vector<std::array<int32_t, 4>> dirtyRects;  // inclusive x1, y1, x2, y2 of the picture
  vkEventDisplay event;  // handlers, input and picture as the dispatcher reads them
  vkBGPic* selectTarget = nullptr;        // the Select commands' output record
  vkBGPic* doubleBufferTarget = nullptr;  // the double buffer's output record
  int32_t textCursorX = 0, textCursorY = 0;
  int32_t textMarginLeft = 0, textMarginRight = 0;
  std::vector<int32_t> tabStops;  // sorted, at most 32
  void* customPointer = nullptr;  // the pointer shown in this window, none for the standard one
  uint32_t pointerHidden = 0;
  uint32_t reopen = 0;  // closed by a mode switch, opened again after it
  uint32_t active = 0;  // opened activated or restored; 0 while minimised
  vkPlane* shapeMask = nullptr;   // scaled copies of the picture's planes that
  vkPlane* shapeAlpha = nullptr;  // shape a transparent window
  vkSavedDisplayState saved;
  vkOSDisplay* os = nullptr;  // the platform record; NULL while there is none
};

// Frees a display record of the list with everything it owns (its window,
// buffers, shape planes, own picture, platform record).
struct vkDisplayDeleter {
  void operator()(vkDisplay* display) const;
};
using vkDisplayPtr = std::unique_ptr<vkDisplay, vkDisplayDeleter>;

// ---- Operations for the other libraries -------------------------------------

// The display with [id] into *[out]: 0, 1344 for a number (the error number
// set), 1041 for a handle.
int32_t FindDisplay(vkGraphicsState& gs, vkObjectId id, vkDisplay** out);
int32_t CountDisplays(vkGraphicsState& gs);
// True for the only display, or for the second while the first is the backfill.
bool IsPrimaryDisplay(vkGraphicsState& gs, const vkDisplay* display);
// Forgets the input state of [display] (NULL: nothing): keys, buttons, the
// buttons of its picture.
void ResetDisplayInput(vkDisplay* display);
// Around a selection: keeps the layer switch, cursor and margins, then sets
// layers off unless [toBGPic], the cursor to 0,0 and the margins to 0 and
// [width] - 1; RestoreDisplayState puts them back. Once per selection.
void SaveDisplayState(vkDisplay* display, bool toBGPic, int32_t width);
void RestoreDisplayState(vkDisplay* display);
// Fills the four letterbox margins of the window with black.
void ClearDisplayBorders(vkDisplay* display);
// Shows the whole picture again (the repaint the window asks for).
void RedrawDisplay(vkGraphicsState& gs, vkDisplay* display, uint32_t flags);
// Copies a rectangle of [bitmap] into the window of [display] (flag 1: the
// whole picture, stretched to the scaled size while the display is scaled).
void BltToWindow(vkGraphicsState& gs, const vkBitMap* bitmap, int32_t sx, int32_t sy, vkDisplay* display,
                 int32_t dx, int32_t dy, int32_t width, int32_t height, uint32_t flags);
// Flushes the current display's window and waits out the frame time.
void FlushDisplayFrame(vkGraphicsState& gs);
// Opens the window of [display]; 0 or an error code.
int32_t OpenDisplayOnScreen(vkState* L, vkDisplay* display, bool activate);
// Closes the window of [display] and forgets its input.
void CloseDisplayWindow(vkState* L, vkDisplay* display);
// Makes [display] current: ends an open selection of the old one, activates
// the window unless [noActivate], and makes its picture the current output.
void SelectDisplay(vkState* L, vkDisplay* display, bool noActivate);
// (Re)makes the display's background and screen buffers at the picture's
// shown size ([anew]) and copies the picture into them; 0 or 1000.
// [pictureCleared] says the picture is a cleared bitmap nothing drew into,
// which fresh buffers already show.
int32_t SetupBackBuffers(vkGraphicsState& gs, vkDisplay* display, vkBGPic* bgpic, bool anew,
                         bool pictureCleared = false);
// Rebuilds the default drag and size regions where the script gave none and
// clamps every region to the display.
void SetDefaultRegions(vkDisplay* display);
// What ParseDisplayOptions found besides the record's fields.
struct vkDisplayOptions {
  bool bgpicGiven = false;
  vkBGPic* bgpic = nullptr;  // the "bgpic" option's picture
  bool scaledSizeChanged = false;
};
// Reads the display options table at stack [t] into [d] ([creating]: for
// CreateDisplay); 0 or an error code.
int32_t ParseDisplayOptions(vkState* L, int t, vkDisplay& d, bool creating, vkDisplayOptions* parsed);
// Makes a display from the options table at stack [options] (0: none), as
// CreateDisplay does; *[out] its identifier. 0 or an error code.
int32_t CreateDisplay(vkState* L, vkIdRequest request, int options, vkObjectId* out);
// The scaled size and letterbox margins of a scaled display at its size:
// the whole display, or with "keepproportions" (and a picture without mask
// or alpha plane) the largest size of the picture's proportions, centred.
void FitScaledPicture(vkDisplay* display);
// Frees a display by id as FreeDisplay does: 0, 1346, 1380, 1344 / 1041.
int32_t FreeDisplayById(vkState* L, vkObjectId id, bool report);

// Registers the "display" commands and constants and installs the display
// hooks; 0 or an error code.
int OpenDisplayLibrary(vkState* L);

// Registers with the platform what the pump asks of the displays (their
// window requests, a quit request) and with the program context the input
// reset after another program ran.
void InstallDisplayHooks(vkState* L);

// Closes and frees every display and restores the screen; returns 0.
int CloseAllDisplays(vkState* L);

// ---- Resizing, modes and start-up (displaymodes.cpp) ------------------------

// Opens the displays the applet declared and makes one current; 0 or an
// error code, which ends the start-up.
// A windowed start makes the displays and selects one but leaves their
// windows for ShowPendingDisplays: a run that never draws, waits or asks
// about a display needs no window system at all.
int OpenFirstDisplay(vkState* L, vkApplet* applet, vkProgramContext* context);

// Opens on screen the displays the start-up left without windows: 0, or
// the error code; nothing when none wait.
int ShowPendingDisplays(vkState* L);
bool DisplaysPending(vkState* L);

// Switches between full screen ([fullScreen] 1) at width x height and a
// window (0); 0 or an error code.
int SwitchDisplayMode(vkState* L, int32_t fullScreen, int32_t width, int32_t height);

// Gives [display] a new position and size; [scriptCall] 1 when a script
// asked (0: the window already has its new size), [noWindow] leaves the
// window alone. 0 or an error code.
int ResizeDisplay(vkState* L, vkDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height,
                  int32_t scriptCall, uint32_t smoothScale, int32_t noWindow);

// Applies the display options of the table at stack [index] to [display];
// 0 or an error code.
int ApplyDisplayAttributes(vkState* L, vkDisplay* display, int index, bool noRedraw);

// The full-screen mode size for [display]: the configured screen size when
// the window (or, made borderless, its content) fits, else its outer size.
void FitWindowToScreen(vkDisplaySettings& settings, vkDisplay* display, int32_t* width, int32_t* height);
