// What the window and event units of the backend need of the screen's mode
// and brightness: where a full screen's area lies, how a window covering it
// enters the full screen, the fade's level for new windows, and the pump's
// step of a fade under way.
#pragma once

#include <SDL.h>

#include <cstdint>

// Remembers the desktop's size the first time it is asked.
void RememberDesktop();

// The whole screen while a full screen lasts: the desktop where the mode is
// shown on it, the mode itself where the screen was switched.
void FullScreenSize(int32_t* width, int32_t* height);

// Where the mode's area starts on the screen while a full screen lasts;
// 0, 0 otherwise.
void ScreenOrigin(int32_t* x, int32_t* y);

// Makes [window] cover the screen: in the switched mode, or over the desktop.
void EnterFullScreen(SDL_Window* window);

// Shows the full screen's black window again after the window system
// uncovered the window with SDL id [windowId], when it is that window.
void ExposeScreenWindow(uint32_t windowId);

// Bits per pixel of the switched mode; 0 when the screen was not switched.
int32_t SwitchedDepth();

// Gives a new window the brightness of a fade under way.
void ApplyFadeLevel(SDL_Window* window);

// Steps a fade under way to [now] (monotonic microseconds) and lets a
// reservation held too long lapse.
void StepScreenFade(int64_t now);

// When the platform stops: normal brightness, the desktop's mode back.
void ReleaseScreen();
