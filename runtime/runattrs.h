// The runtime attributes that start-up, preloads and shutdown set: quiet
// status lines, the script phase, line information in error messages, and
// the sound switches.
#pragma once

#include <cstdint>

inline constexpr uint32_t ATTR_QUIET = 2;
inline constexpr uint32_t ATTR_SCRIPTPHASE = 6;
inline constexpr uint32_t ATTR_LINEINFO = 23;

// Sets one attribute.
void SetRunAttr(uint32_t tag, intptr_t value);
// Reads one attribute the runtime keeps itself; 0 when it is not set.
intptr_t GetRunAttr(uint32_t tag);
