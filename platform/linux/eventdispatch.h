// Hands one window-system event taken by the pump to the handler of its
// kind; the handlers turn events into input events and display requests.
#pragma once

#include <SDL.h>

void DispatchEvent(const SDL_Event& event);
