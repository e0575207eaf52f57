// The text subsystem's run state in one record, held by the program context:
// the font layer (cache, script nodes, built-in font, FreeType, the font
// directory) and the text state (style, colours, current font, default
// encoding). Two runs in one process never share either.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "text/fonts.h"
#include "text/textlayout.h"

struct vkState;
struct vkTextObjectList;

// The cursor, margins and tab stops printing uses while no display is
// current (each display keeps its own).
struct vkTextCursor {
  int32_t x = 0, y = 0;
  int32_t left = 0, right = INT32_MAX;
  std::vector<int32_t> tabs;
};

// Puts a laid-out text on the current output as a layer while the display's
// layers are on: [kind] 11 print, 9 text out; [layout] is the record it was
// laid out from (kept so that the layer can be laid out anew), [picture] the
// drawing, at ([x], [y]) of the output. 0 or an error code. Registered by
// the layers library; while there is none the text is drawn into the
// output as with layers off.
using vkAddTextLayerHook = int32_t (*)(vkState* L, int32_t kind, const vkTextLayout& layout,
                                       vkTextPicture& picture, int32_t x, int32_t y);

struct vkTextRunState {
  vkTextState text;  // its current font is borrowed from the cache below
  vkFontState fonts;
  bool engineStarted = false;  // InitFontEngines ran for this run
  uint32_t engineError = 0;    // and its result
  vkTextCursor cursor;         // while no display is current
  vkAddTextLayerHook addTextLayer = nullptr;
  // Plain texts may be drawn straight into the display instead of through a
  // picture (the same pixels); off, every text takes the picture.
  bool drawStraight = true;
  std::shared_ptr<vkTextObjectList> objects;  // text/textobjects.h
};

// The text run state of [L]'s program context, made when first asked for;
// the font engines are started on first use.
vkTextRunState& TextRunState(vkState* L);
