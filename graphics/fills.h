// Fills and pixel conversion shared by background pictures, displays, brushes
// and pointers: covering a rectangle with copies of a texture, the two-colour
// linear gradient over the pixel kernels of each pixel size, and turning a
// bitmap with its mask or alpha plane into plain ARGB words for saving.
#pragma once

#include <cstdint>

#include "pixel/bitmap.h"

// Covers the width x height rectangle at (x, y) of [dst] with copies of the
// textureWidth x textureHeight texture at the top-left of [texture] (bitmap
// blits, clipped to both bitmaps). The offsets are first brought into the
// texture (negative ones count from its right or bottom edge); the first row
// of tiles starts at texture row [offsetY], the first tile of every row at
// texture column [offsetX], and the tiles at the right and bottom are cut.
// A missing bitmap draws nothing.
void TileTexture(vkBitMap* dst, int32_t x, int32_t y, int32_t width, int32_t height, const vkBitMap* texture,
                 int32_t offsetX, int32_t offsetY, int32_t textureWidth, int32_t textureHeight);

// The same over plain ARGB arrays: [dst] holds width x height words (its row
// length is the width), [texture] rows of [texturePixelsPerRow] words of
// which the first textureWidth x textureHeight are tiled.
void TileTexture(uint32_t* dst, int32_t width, int32_t height, const uint32_t* texture, int32_t offsetX,
                 int32_t offsetY, int32_t textureWidth, int32_t textureHeight, int32_t texturePixelsPerRow);

// Fills the width x height rectangle at (x, y) of [bitmap] with the linear
// gradient from [colour1] to [colour2] (0xRRGGBB) along [angle] degrees, in
// the bitmap's own pixel size (2, 3 or 4 bytes). A rectangle reaching
// outside the bitmap is drawn as a whole and only its inside is kept. A null
// bitmap prints an error line and draws nothing.
void DrawGradient(vkBitMap* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour1,
                  uint32_t colour2, int32_t angle);

// A packed width x height ARGB copy of the top-left of [bitmap], or null
// (out of memory, or a size the bitmap does not have). With a mask and
// [maskAsAlpha]: alpha 255 where the bit is set, 0 where it is clear. With a
// mask alone: pixels whose bit is clear become [fill]. With an alpha plane:
// the alpha byte is the plane's, and where that is 0 the fill's RGB is or-ed
// in. With neither, every alpha byte becomes 255. Bits and bytes outside a
// plane smaller than the size read as clear.
vkBufferPtr<uint32_t> GetARGBPixels(const vkBitMap* bitmap, int32_t width, int32_t height, const vkPlane* mask,
                                    const vkPlane* alpha, uint32_t fill, bool maskAsAlpha);
