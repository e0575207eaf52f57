// FreeType's own rendering of a line of text, for comparing what the player
// draws: the coverage of every glyph with the pen advancing by FreeType's
// rounded advances and kerning, as one plane of the target's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fonttest {

// The coverage (0..255, the larger where glyphs overlap) of [text] drawn
// from [file] at [pixelSize], the pen starting at ([x], [baseY]) on the base
// line, clipped to a [w] x [h] plane.
std::vector<uint8_t> FreeTypeLine(const std::string& file, int32_t pixelSize, const std::string& text, int32_t x,
                                  int32_t baseY, int32_t w, int32_t h);

// The colour of a pixel with coverage [a] of [ink] over [background], by
// the pixel core's blending rule (full coverage copies the ink).
uint32_t BlendedInk(uint32_t ink, uint32_t background, uint8_t a);

}  // namespace fonttest
