// The text subsystem's run state in one record, held by the program context:
// the font layer (cache, script nodes, built-in font, FreeType, the font
// directory) and the text state (style, colours, current font, default
// encoding). Two runs in one process never share either.
#pragma once

#include "text/fonts.h"
#include "text/textlayout.h"

struct vkState;

struct vkTextRunState {
  vkTextState text;  // its current font is borrowed from the cache below
  vkFontState fonts;
  bool engineStarted = false;  // InitFontEngines ran for this run
  uint32_t engineError = 0;    // and its result
};

// The text run state of [L]'s program context, made when first asked for;
// the font engines are started on first use.
vkTextRunState& TextRunState(vkState* L);
