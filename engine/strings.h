// Interned strings and the text conversions scripts see: the string hash and
// intern table, concatenation into shared growable blocks, text to number
// (with the 32-bit hexadecimal forms "0x" and "$"), number to text ("%.14g"
// in the C locale, NaN as "nan") and chunk names for messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/object.h"

// The hash of [len] bytes: at most about 32 bytes, taken from the end.
uint32_t vmStringHash(const char* s, size_t len);

// A string with these bytes: the interned one when short (made when new), a
// new one when long.
vkString* vmNewString(vkState* L, const char* s, size_t len);
vkString* vmNewCString(vkState* L, const char* s);
// Builds a string in place: vmBeginString gives an unlinked string of [len]
// bytes to fill, vmEndString links it (returning an equal short string
// already interned, and freeing the new one, when there is one).
vkString* vmBeginString(vkState* L, size_t len);
vkString* vmEndString(vkState* L, vkString* ts);

uint32_t vmHashLongString(vkString* s);
// [s]'s hash, computed now when it is a long string that has none yet.
inline uint32_t vmStringHashOf(vkString* s) {
  if (!vmIsLongString(s) || (s->shape & VK_STRING_HASHED)) return s->hash;
  return vmHashLongString(s);
}

// A block of text that string views share (engine/strings.cpp tells how).
struct vkStringBlock {
  vkState* owner;        // the engine's main thread, for the byte count when no state is at hand
  size_t capacity;       // bytes of text it holds room for, the NUL after them not counted
  size_t used;           // the end of the newest view; a NUL follows it
  size_t views;          // views into the block; the last one frees it
  vkState* heldBy;       // thread whose C code holds the newest view's text; none when nobody does
  ptrdiff_t heldLevel;   // the call level of [heldBy] that holds it; -1 for good
  char* text() { return reinterpret_cast<char*>(this + 1); }
};

// Concatenations of at least this many bytes, onto a left part that long,
// make views into blocks.
inline constexpr size_t kStringViewMin = 64;

// The concatenation of the [n] strings at [parts] ([total] bytes in all). When the first part is the newest view of its block and there is
// room, the other parts are appended to that block in place.
vkString* vmConcatStrings(vkState* L, const vkValue* parts, int n, size_t total);

// [s]'s bytes followed by a NUL, for C code: they stay so while the call
// level of [L] that asked has not returned (with no [L]: while [s] lives).
const char* vmStringText(vkState* L, vkString* s);
// Whether [s]'s bytes are followed by a NUL (always so but for older views).
bool vmStringIsTerminated(const vkString* s);
// [s]'s bytes followed by a NUL, copied into [scratch] only when they are
// not; allocates nothing in the engine.
const char* vmStringTextCopy(const vkString* s, std::string& scratch);

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
