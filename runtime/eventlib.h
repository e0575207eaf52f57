// The event library: polling and waiting for keys and mouse buttons, label
// events of the older style, buttons on background pictures, handler
// functions for display and program events, intervals and timeouts, and the
// joystick queries. Its run state is the program context's event state.
#pragma once

struct vkState;

// Makes the event state, registers the "event" commands and constants; 0 or
// 1000.
int OpenEventLibrary(vkState* L);

// Frees every label event, interval and timeout (stopping their timers) and
// the program-wide handlers, then the event state (shutdown).
void FreeAllEventObjects(vkState* L);
