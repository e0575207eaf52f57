// Line input: InKeyStr reads one line typed into the current display. Each
// accepted key is printed at the text cursor at once, backspace takes the
// last one back, return or enter ends the line, which is then printed once
// more as ordinary text and given to the script.
#pragma once

#include <cstdint>
#include <string>

struct vkState;

// What a line accepts.
inline constexpr int32_t kInputAll = 0;             // printable characters and the blank
inline constexpr int32_t kInputAlphanumerical = 1;  // letters, digits and the blank
inline constexpr int32_t kInputAlphabetical = 2;    // letters and the blank
inline constexpr int32_t kInputNumerical = 3;       // decimal digits
inline constexpr int32_t kInputHexNumerical = 4;    // hexadecimal digits

// Whether a line of [type] takes character [code] (0..255).
bool InputAccepts(int32_t type, int32_t code);

// Reads a line of [type] of at most [maximum] characters (0: up to the
// limit of 1,024), echoing "*" for each when [password]. 0 with the line in
// *[out], or an error code; the display's layers switch is restored on
// every path.
int32_t ReadLine(vkState* L, int32_t type, int32_t maximum, bool password, std::string* out);

// InKeyStr(type [, maximum [, password]]).
int cmdInKeyStr(vkState* L);
