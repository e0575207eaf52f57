// Hands one window-system event taken by the pump to the handler of its
// kind; the handlers turn events into input events and display requests.
#pragma once

#include <SDL.h>

// Asks every display to close, or stops the script when none takes the
// request: what a quit event or a quit signal does.
void RequestQuit();

// Takes [event]; frees what SDL handed over with it.
void DispatchEvent(const SDL_Event& event);

// Posts the moves and resizes of the open windows that have settled.
void SettleWindows();
