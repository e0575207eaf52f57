// The colour quantizer that reduces true-colour pictures to at most 256
// colours for the GIF writer: a median cut over a 5-6-5 bit histogram, then
// every pixel mapped to its nearest palette colour through an inverse colour
// map filled lazily for the regions that pixels hit, optionally with
// Floyd-Steinberg error diffusion.
#pragma once

#include <cstdint>

// Reduces [pixels] ([format] of pixfmt.h, [bytesPerPixel], [rowLength]
// pixels per row) to width x height index bytes in [indexes] and a palette
// of words 0x00RRGGBB in [palette] (room for 256).
// [colourCount]: the wanted number of colours on entry (cut to 255 when a
// transparent colour is given or [reserve] is set, else to 256; below 1
// asks for 1), the number of palette entries written on return.
// [transparent] (0x00RRGGBB, or -1 for none): pixels of this colour stay out
// of the reduction and take the last index, whose entry is that colour; with
// [reserve] and no transparent colour the last entry is a spare black one.
// Returns 1, or 0 when memory ran out (the outputs are then undefined).
int QuantizeColors(const void* pixels, int32_t format, int32_t bytesPerPixel, int32_t width, int32_t height,
                   int32_t rowLength, uint8_t* indexes, uint32_t* palette, int32_t* colourCount,
                   int32_t transparent, int32_t reserve, int32_t dither);
