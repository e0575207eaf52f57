// The system library: waiting, dates and times, stopwatches, system
// requesters, the clipboard, program information, error control and debug
// output, list handling on 0-based array tables, and the engine's table and
// metatable primitives under their own command names.
#pragma once

#include <cstdint>
#include <string>

struct vkState;

// Registers the "system" commands and constants; 0 or an error code.
int OpenSystemLibrary(vkState* L);

// Frees every stopwatch (shutdown).
void FreeAllStopwatches(vkState* L);

// CompareDates on two date texts: 0 equal, 1 [a] later, 2 [a] earlier, or
// 1285 when either is not a date of GetDate's form (20 characters, or 11
// with [dateOnly]).
int32_t CompareDateTexts(const std::string& a, const std::string& b, bool dateOnly);

// GetDate's form "dd-Mon-20yy hh:mm:ss" of a local time.
std::string DateText(int32_t day, int32_t month, int32_t year, int32_t hours, int32_t minutes, int32_t seconds);
