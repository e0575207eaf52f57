// The player's one formatting entry: printf-style formatting into a caller's
// buffer, always bounded by the buffer's size and always terminated.
#pragma once

#include <cstddef>

// Formats into [buffer] of [size] bytes, cutting what does not fit. Returns
// the number of bytes stored before the terminator (0 when [size] is 0).
int vkosFormatString(char* buffer, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
