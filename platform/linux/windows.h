// The window system's side of a display window: the SDL window, whose own
// surface holds what the window shows between presents, and the bookkeeping
// of presenting and pacing. Shared by the window, presenting and event units
// of the backend.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/vkos_display.h"

struct vkOSWindow {
  SDL_Window* window = nullptr;
  uint32_t windowId = 0;       // SDL's id, as window events name it
  int32_t offsetX = 0;         // where the content starts on the window's surface:
  int32_t offsetY = 0;         // non-zero only for a full screen larger than the mode
  bool fullScreen = false;     // the desktop-sized window of a full screen
  bool dirty = false;          // drawn into since the last present
  int64_t dirtySince = 0;      // when it first became dirty, monotonic microseconds
  int64_t lastPresent = 0;     // the last present, monotonic microseconds
  int64_t deadline = 0;        // the pacing deadline of the last flush; 0 none yet
  int32_t expectX = 0;         // the content position the program itself set,
  int32_t expectY = 0;         // so that its own moves are not taken for the user's
  // A move or resize by the user, posted once it has settled.
  bool movePending = false;
  bool sizePending = false;
  int64_t settleFrom = 0;      // the last move or size change seen
  // Keys: the code each physical key's press posted (0 none), so that its
  // release posts the same; a printable key waits for its character.
  std::array<uint16_t, SDL_NUM_SCANCODES> pressedCode{};
  SDL_Scancode awaitingText = SDL_SCANCODE_UNKNOWN;
  int32_t pointerX = 0;        // the pointer's last position in the window
  int32_t pointerY = 0;
  std::vector<std::string> drops;  // files of a drop in progress, ISO 8859-1

  ~vkOSWindow();
};

// The record whose window has SDL id [windowId], or NULL.
vkOSDisplay* FindWindowDisplay(uint32_t windowId);

// The window's surface when it is open and has one.
SDL_Surface* WindowSurface(const vkOSDisplay* os);

// Marks the window drawn into at [now].
void MarkDirty(vkOSWindow& w, int64_t now);

// Copies the surface to the screen and clears the dirty mark.
void PresentWindow(vkOSWindow& w, int64_t now);

// Drawing waits this long before the pump or a wait presents it.
inline constexpr int64_t kPresentDelay = 16000;  // microseconds
