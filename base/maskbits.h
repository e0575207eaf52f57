// One-bit masks (most significant bit leftmost in each byte) expanded into
// eight-bit alpha: the one routine behind the pixel engine's MaskToAlpha and
// the shapes the platform gives windows.
#pragma once

#include <cstdint>

// Writes [width] bytes per row for [height] rows into [alpha] (rows of
// [alphaBytesPerRow]): 255 where the bit of [mask] (rows of
// [maskBytesPerRow]) is set, 0 where it is clear. Nothing with a height or
// width below 1.
void ExpandMaskToAlpha(const uint8_t* mask, int32_t maskBytesPerRow, uint8_t* alpha, int32_t alphaBytesPerRow,
                       int32_t width, int32_t height);
