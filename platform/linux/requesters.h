// The window system's message box behind the system requester.
#pragma once

#include <cstdint>

// A message box with [buttons] and the SDL icon for [icon]: the chosen
// button as vkosSystemRequest numbers it, or -1.
int SystemMessageBox(const char* title, const char* text, const char* buttons, int32_t icon);
