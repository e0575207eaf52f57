// The BMP picture reader: bottom-up files of 1, 4, 8 (raw or RLE8) and 24
// bits per pixel, read into 0x00RRGGBB words. Other bit counts give a black
// picture of the file's size.
#pragma once

#include <cstdint>

// Reads the picture [name] into a new array of width x height words
// 0x00RRGGBB (rows top to bottom; the caller frees it with free()). With a
// null [pixels] only the size is read. Returns 0, 1045 (cannot open), 1000
// or 1358 (no "BM", a top-down or empty picture, or pixel data that the file
// does not hold); the file name becomes the error text for 1045 and 1358.
uint32_t LoadBMPFile(const char* name, int32_t* width, int32_t* height, uint32_t** pixels);
