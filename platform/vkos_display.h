// The platform record of a display and its window: what the display code asks
// of the window (position, size, flags, title, margins, drag and size
// regions), the requests the window's event handlers leave for the event
// pump (close, resize, the quit keys, a screen-mode switch), and the
// operations that open, place and draw into the window and switch the screen.
// One record per display, owned by the display; the display code keeps the
// description fields current before it calls an operation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct vkDisplay;
struct vkOSWindow;   // the window system's side, private to the backend
struct vkOSPointer;  // a mouse pointer (vkos_pointer.h)

// Display flag bits the window reads.
inline constexpr uint32_t VKOS_WINDOW_BORDERLESS = 0x1;
inline constexpr uint32_t VKOS_WINDOW_SIZEABLE = 0x2;
inline constexpr uint32_t VKOS_WINDOW_FIXED = 0x4;
inline constexpr uint32_t VKOS_WINDOW_NOMODESWITCH = 0x8;
inline constexpr uint32_t VKOS_WINDOW_NOHIDE = 0x20;
inline constexpr uint32_t VKOS_WINDOW_USEQUARTZ = 0x2000;
inline constexpr uint32_t VKOS_WINDOW_NOCLOSE = 0x4000;

// A rectangle of the window's content by which a borderless window is
// dragged or resized.
struct vkOSWindowRegion {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

// A view of ARGB words (0xAARRGGBB, the fourth byte never colour) that the
// window copies from; the caller keeps the pixels alive during the call.
struct vkOSPixels {
  const uint32_t* pixels = nullptr;
  int32_t width = 0, height = 0;
  int32_t pixelsPerRow = 0;
};

// A view of a shape plane: one bit per pixel, most significant bit leftmost
// (a mask), or one byte per pixel (an alpha plane).
struct vkOSPlaneView {
  const uint8_t* data = nullptr;
  int32_t width = 0, height = 0;
  int32_t bytesPerRow = 0;
};

#include "platform/vkos_input.h"

struct vkOSDisplay {
  vkDisplay* display = nullptr;  // the display this record belongs to; events name it

  // The window as the display code describes it.
  int32_t x = 0, y = 0;            // top-left of the window's frame on the screen
  int32_t width = 0, height = 0;   // content size
  uint32_t flags = 0;              // VKOS_WINDOW_* bits
  std::string title;               // ISO 8859-1
  int32_t marginLeft = 0;          // where the display's picture starts in the window
  int32_t marginTop = 0;
  int32_t windowState = 0;         // drawing reaches the window only while 1 (open)
  std::vector<vkOSWindowRegion> dragRegions;  // borderless windows: drag here
  std::vector<vkOSWindowRegion> sizeRegions;  // borderless sizeable windows: resize here
  uint32_t dropFiles = 0;          // files may be dropped on the window
  uint32_t watchClipboard = 0;     // the clipboard's changes are posted to the display
  // The frame, filled by vkosGetWindowBorders.
  int32_t borderLeft = 0, borderTop = 0;
  int32_t borderWidth = 0, borderHeight = 0;  // left + right, top + bottom

  // Requests the event handlers leave for the pump, which reads and clears them.
  uint32_t closeRequest = 0;       // close box or quit request seen
  uint32_t resizePending = 0;      // the user resized the window
  uint32_t ctrlCSeen = 0;          // Ctrl-C pressed in the window
  uint32_t escapeSeen = 0;         // Escape pressed in the window
  int32_t pendingScreenMode = -1;  // -1 none, 1 to full screen, 0 to a window

  // The window's own state, kept by the platform.
  uint32_t focus = 0;              // the window has the keyboard focus
  uint32_t shown = 1;              // 1 shown, 2 minimised
  uint32_t pointerHidden = 0;      // the window shows no pointer
  int32_t pointerKind = 0;         // the pointer the window shows: VKOS_POINTER_* (vkos_pointer.h)
  std::shared_ptr<vkOSPointer> pointer;  // the custom pointer it shows
  uint32_t shaped = 0;             // opened with a shape
  std::shared_ptr<vkOSWindow> window;  // NULL while closed
  vkOSInput input;                 // keys, mouse buttons and pointer of the window
};

// Makes the platform record of [display] into [*out]; 0 or 1000.
int vkosAllocDisplay(vkDisplay* display, vkOSDisplay** out);
// Frees it, closing its window first.
void vkosFreeDisplay(vkOSDisplay* os);

// Opens the window described by [os]: at its frame's top-left with the
// content size, borderless, sizeable or fixed by the flags, shaped by
// [shapeMask] (1 bit) or [shapeAlpha] (8 bits) where the window system can
// (a plain borderless window elsewhere), shown and, with [activate], given the
// focus. Reads the screen's refresh rate, which becomes the pacing rate.
// Returns 0, 1000 or 1010.
int vkosOpenWindow(vkOSDisplay* os, int activate, const vkOSPlaneView* shapeMask,
                   const vkOSPlaneView* shapeAlpha);
void vkosCloseWindow(vkOSDisplay* os);
// Fills the frame widths: 0 for borderless windows and where the window
// system tells none.
void vkosGetWindowBorders(vkOSDisplay* os);
// Apply the description's position and size to an open window.
void vkosSizeWindow(vkOSDisplay* os);
void vkosMoveWindow(vkOSDisplay* os);
void vkosSetWindowTitle(vkOSDisplay* os);
// Minimises ([hide] 1) or restores the window; nothing in full screen. 0.
int vkosShowHideWindow(vkOSDisplay* os, int hide);
void vkosActivateWindow(vkOSDisplay* os);
// Follows the open windows' dropFiles: the window system offers drops of
// files while one of them takes them. 0.
int vkosEnableDropFiles(vkOSDisplay* os);
// Any size can be shown: always 1.
int vkosCanResizeDisplay(vkOSDisplay* os, int32_t width, int32_t height);
// Drag and size regions are looked up when the window is clicked: nothing to do.
void vkosUpdateWindowRegions(vkOSDisplay* os);

// Screen modes. Where the window system has screens, the main screen is
// switched to the mode closest to width x height x depth that is at least
// that large (the screen then reports that mode's size), and a window that
// covers the whole mode is made a full-screen window of it; 1004 when the
// screen has no such mode or the switch does not take. Without real screens
// the requested size is shown centred on the desktop and reported as the
// screen's size. A second switch keeps the mode from before the first, which
// vkosRestoreScreenMode puts back. 0, or 1004 without a screen.
int vkosSwitchScreenMode(int32_t width, int32_t height, int32_t depth);
void vkosRestoreScreenMode();
// 1 while a full-screen mode is in force.
int vkosIsFullScreen();
// Before the first display opens: how windows may use the screen. A window
// mode without a backfill keeps windows off the system's panels; otherwise
// they may take the whole screen.
void vkosPrepareScreenMode(bool windowMode, bool backfill, bool hideTitleBar);
// The system's panels over a full screen: nothing to hide on this platform.
void vkosSetFullScreenUIMode(int32_t mode);
// The screen area windows may use, as {x, y, width, height}: the mode's
// while a full screen lasts, else the screen without the system's panels or
// the whole screen, as vkosPrepareScreenMode decided.
void vkosGetUsableScreenArea(int32_t area[4]);
// Fades of the screen's brightness. vkosFadeOut takes the fade reservation
// (a token, or 0 when the window system cannot change the brightness of the
// program's windows, there is none open, or another reservation is held) and
// fades to black in half a second; vkosFadeIn fades back in a second and
// gives the reservation up, and does nothing for 0. With [wait] they return
// when the fade is done, else the event pump steps it. A reservation lapses
// after ten seconds, the screen back at its normal brightness.
void vkosFadeOut(int32_t* reservation, int wait);
void vkosFadeIn(int32_t reservation, int wait);
// What the screen shows at x, y, width, height, composed from the open
// windows on black, as width x height ARGB words (alpha 0). False when the
// rectangle is empty or there is no screen.
bool vkosGrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, std::vector<uint32_t>* out);

// Platform facts by code, for [os] where the code concerns a display:
// 5 screen depth, 6 and 7 the pointer inside the display's window, 12 and 13
// the pointer size (16), 14 and 15 the screen size, 16 the pacing rate,
// 20 one, 22 the menu bar height (0). Other codes answer 0: the pixel engine
// answers for bitmaps and planes, vkosGetUsableScreenArea for the area.
int32_t vkosGetAttr(const vkOSDisplay* os, int32_t code);

// Presenting. Coordinates are the display's; the margins are added. Nothing
// reaches the window while its windowState is not 1, except a blit with
// VKOS_BLIT_ALWAYS. Drawing shows at the next flush, or by itself once the
// window has waited 16 ms (the pump and every wait present it).
inline constexpr uint32_t VKOS_BLIT_ALWAYS = 0x10;
// Copies width x height of [source] at (sx, sy) to (dx, dy); with both scaled
// sizes non-zero, the rectangle is stretched (nearest pixel) to scaled width x
// scaled height at the margins instead.
void vkosBlitToWindow(const vkOSPixels& source, int32_t sx, int32_t sy, vkOSDisplay* os, int32_t dx, int32_t dy,
                      int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags);
void vkosFillRectOnWindow(vkOSDisplay* os, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb);
void vkosPlotOnWindow(vkOSDisplay* os, int32_t x, int32_t y, uint32_t rgb);
void vkosDrawLineOnWindow(vkOSDisplay* os, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb);
// Makes the window's drawing visible (at most once per refresh period while
// the frame-rate limit is above the refresh rate) and paces: sleeps until the
// frame's deadline, one period of the limit after the previous one. No
// pacing without a positive limit, or a second or more after the last flush.
void vkosFlushDisplay(vkOSDisplay* os);
// Presents every window whose drawing waited long enough ([all]: any drawing).
void vkosPresentPending(bool all);
// Reads back what the window holds: its content size in ARGB words (alpha 0).
bool vkosReadWindow(const vkOSDisplay* os, std::vector<uint32_t>* out);
