// The wait for window-system events on the timers' clock, shared by the
// pump's waits and the timers.
#pragma once

#include <cstdint>

// Waits until an event is queued or [timeoutMicros] passed (-1: no limit) on
// the clock in force; true when an event is there.
bool WaitForEvent(int64_t timeoutMicros);
