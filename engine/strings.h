// Interned strings and the text conversions scripts see: the string hash and
// intern table, text to number (with the 32-bit hexadecimal forms "0x" and
// "$"), number to text ("%.14g" in the C locale, NaN as "nan") and chunk
// names for messages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/object.h"

// The hash of [len] bytes: at most about 32 bytes, taken from the end.
uint32_t vmStringHash(const char* s, size_t len);

// The interned string with these bytes (made when new).
vkString* vmNewString(vkState* L, const char* s, size_t len);
vkString* vmNewCString(vkState* L, const char* s);
// Builds a string in place: vmBeginString gives an unlinked string of [len]
// bytes to fill, vmEndString interns it (returning an equal string already
// interned, and freeing the new one, when there is one).
vkString* vmBeginString(vkState* L, size_t len);
vkString* vmEndString(vkState* L, vkString* ts);

// Resizes the intern table to [newsize] buckets (a power of two).
void vmResizeStringTable(vkState* L, uint32_t newsize);
void vmFreeString(vkState* L, vkString* s);

// Converts [text] to a number; returns 1 on success, 0 when it is not one.
int vmStringToNumber(const char* text, double* out);

// strtod in the C locale, whatever the user's locale: the decimal number at
// the start of [text], with [*end] after it ([text] when there is none).
double vmStrtod(const char* text, char** end);

// Writes [d] as "%.14g" (C locale, NaN as "nan") into [buf]; returns the length.
inline constexpr size_t kNumberTextMax = 32;
int vmNumberToText(double d, char* buf);

// The chunk name of [source] for messages, into [out] of [bufsize] bytes.
void vmChunkId(char* out, const char* source, size_t bufsize);
