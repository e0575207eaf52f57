// The translation of the window system's events into the player's input
// events and into the requests a display's platform record holds for the
// pump. Pure: it reads only the event, the record and the time it is given,
// and posts into the input event queue, so it runs without video.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/vkos_display.h"

// A move or resize by the user is posted once it has been still this long
// and no mouse button is held.
inline constexpr int64_t kSettleDelay = 150000;  // microseconds

// Translates [event], which concerns [os]'s window (whose window record must
// exist), at [now] (monotonic microseconds). [fullScreen]: the player shows a
// full screen. The caller frees what the event owns (a dropped file's name).
void TranslateEvent(const SDL_Event& event, vkOSDisplay& os, int64_t now, bool fullScreen);

// Posts the move or resize the user made of [os]'s window once it has
// settled: [buttonsHeld] while a mouse button is down.
void SettleWindow(vkOSDisplay& os, int64_t now, bool buttonsHeld);

// The program code of a key that is not typed as a character (Escape is 275,
// space 276, F1 261 ...), or 0 when [key] is typed or has no code.
uint32_t NamedKeyCode(SDL_Keycode key);
