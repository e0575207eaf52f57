// The BMP picture reader: bottom-up files with the core, the 40-byte or a
// longer info header, of 1, 4 (raw or RLE4), 8 (raw or RLE8), 16 and 32
// (5-5-5 and 8-8-8, or colour masks) and 24 bits per pixel, read into
// 0x00RRGGBB words. Other depths and compressions are refused.
#pragma once

#include <cstdint>

// Reads the picture [name] into a new array of width x height words
// 0x00RRGGBB (rows top to bottom; the caller frees it with free()). With a
// null [pixels] only the header is read. Returns 0, 1045 (cannot open), 1000
// (also for a picture above the pixel cap) or 1358 (no "BM", a top-down or
// empty picture, a depth or compression not decoded, or pixel data that the
// file does not hold); the file name becomes the error text for 1045 and 1358.
uint32_t LoadBMPFile(const char* name, int32_t* width, int32_t* height, uint32_t** pixels);

// Writes [pixels] (ARGB words, row length = [width]; alpha is ignored) as an
// uncompressed 24-bit BMP with the 40-byte info header, rows bottom-up and
// padded with zero bytes to four. Returns 0, 1000, or 1052 with the file
// name as error text when the file cannot be opened, a write or the close
// fails, or the file's size does not fit its 32-bit size field.
uint32_t WriteBMPFile(const char* name, const uint32_t* pixels, int32_t width, int32_t height);
