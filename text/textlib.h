// The "text" library: the font commands, the text state's commands (style,
// colours, encoding), measuring, the cursor with its margins and tab stops,
// and printing (Print, NPrint, TextOut) onto the current output.
#pragma once

#include <cstdint>
#include <string>

#include "text/textlayout.h"

struct vkState;

// Layout kinds.
inline constexpr int32_t kTextKindObject = 8;
inline constexpr int32_t kTextKindTextOut = 9;
inline constexpr int32_t kTextKindPrint = 11;

// Registers the commands and constants under "text" and starts the font
// engines; the built-in font becomes the current font. 0 or an error code.
int OpenTextLibrary(vkState* L);

// Prints [text] at the cursor of the current output in the text state's
// style, as Print does ([plain]: style tags are not read); the cursor moves
// on. 0 or an error code, after which nothing was drawn and the cursor
// stands where it stood.
uint32_t PrintText(vkState* L, const std::string& text, bool plain);

// Draws [picture] at ([x], [y]) of the current output, as a layer of
// [kind] while the display's layers are on and the layers library takes
// text. 0 or an error code.
uint32_t PutTextPicture(vkState* L, int32_t kind, const vkTextLayout& layout, vkTextPicture& picture, int32_t x,
                        int32_t y);
