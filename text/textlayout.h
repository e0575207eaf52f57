// Text layout: the text state (style, colours, shadow and edge, current
// font), measuring in a style with the extensions that shadow and edge add,
// the inline style tags, and the layout of a text into lines and runs with
// tabs, word wrap (whose decisions are kept so that a layout repeats),
// trimming and alignment. The runs are drawn into one bitmap with mask and
// alpha plane by EdgeDraw, which adds the synthetic styles, underline,
// shadow and edge that the engines do not draw themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pixel/bitmap.h"
#include "text/fonts.h"

struct vkState;

// Alignments (the special coordinates).
inline constexpr int32_t kAlignLeft = -90000;
inline constexpr int32_t kAlignCenter = -100000;
inline constexpr int32_t kAlignRight = -80000;

// A style with its colours (0xTTRRGGBB, TT a transparency), sizes and font.
struct vkTextStyle {
  uint32_t style = kStyleNormal;
  uint32_t fontColour = 0xFFFFFF;
  uint32_t shadowColour = 0;
  uint32_t edgeColour = 0x0093DD;
  int32_t shadowSize = 4;       // 1..64
  int32_t shadowDirection = 3;  // 0..7, north clockwise
  int32_t edgeSize = 2;         // 1..64
  vkFont* font = nullptr;       // NULL: the built-in font
  bool operator==(const vkTextStyle&) const = default;
};

// The text state of the library, and the default encoding.
struct vkTextState {
  vkTextStyle style;
  int32_t defaultEncoding = ENCODING_ISO8859_1;
};
// The text state of [L]'s run (text/textstate.cpp).
vkTextState& GetTextState(vkState* L);

// Shadow and edge sizes to 1..64, a direction above 7 to south-east.
void ClampTextStyle(vkTextStyle* style);

// Measures in [style] (a NULL font: [L]'s built-in font): the engine's
// metrics, the synthetic styles' growth and the extensions of edge and
// shadow.
uint32_t MeasureText(vkState* L, const char* text, size_t length, int32_t encoding, const vkTextStyle& style,
                     vkTextMetrics* out);

// What a layout reads, and the decisions it writes for the next layout.
struct vkTextLayout {
  vkTextStyle style;
  std::string text;
  int32_t align = kAlignLeft;
  int32_t leftMargin = 0;
  int32_t wrapWidth = 0;                // 0: no wrap
  std::vector<int32_t> tabs;            // ascending stops, relative to the output's left edge
  std::vector<int32_t> wrapTable;       // words that start a line
  bool wrapTableSet = false;
  std::vector<int32_t> tabTable;        // per tab: stop index, or -1 for a new line
  bool tabTableSet = false;
  int32_t encoding = ENCODING_ISO8859_1;
  int32_t startX = 0;  // pen x of the first line (printing continues a line)
  bool plain = false;  // written by the layout: the style tags were not read
  // Written by the layout: where the pen stands after the text, for the
  // cursor of printing.
  int32_t endX = 0, endLineOffset = 0;
};

// One piece of a line in one style.
struct vkTextRun {
  std::string text;
  int32_t x = 0;           // within the line (32 bits: long lines are kept)
  int32_t lineOffset = 0;  // pixels from the first line's top
  vkTextMetrics metrics;
  vkTextStyle style;
  int32_t encoding = ENCODING_ISO8859_1;
};

// Cuts [layout]'s text into runs (tags read unless [plain]; [L] resolves
// "#" constants in tags and gives the built-in font), trims and aligns them. 0 or an
// error code; the decisions are stored in [layout].
uint32_t LayoutRuns(vkState* L, vkTextLayout* layout, bool plain, std::vector<vkTextRun>* runs);

// The drawn text: bitmap, mask and alpha plane (when a colour is
// transparent or the text antialiased), and where the bitmap's origin lies
// relative to the text position.
struct vkTextPicture {
  vkBitMapPtr bitmap;
  vkPlanePtr mask;
  vkPlanePtr alpha;
  int32_t offsetX = 0, offsetY = 0;
  int32_t width = 0, height = 0;
  int32_t layoutWidth = 0;
  bool transformed = false;  // scaled or rotated after the layout: not the layout's drawing any more
};

// The part of a text that can be seen, relative to the text position (the
// top left of its first line), maxima exclusive: a text drawn straight onto
// an output at a known place need not be drawn where the output ends.
struct vkTextWindow {
  int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// Draws [runs] into a new picture, a blank line of [font] when there are
// none; 0 or 1000. With [window] the picture is cut to it (its offsets say
// where the cut picture lies) and runs outside it are not drawn.
uint32_t EdgeDraw(const std::vector<vkTextRun>& runs, const vkFont* font, int32_t wrapWidth, vkTextPicture* out,
                  const vkTextWindow* window = nullptr);

// LayoutRuns then EdgeDraw; the font's scale is reset on every path.
uint32_t LayoutText(vkState* L, vkTextLayout* layout, bool plain, vkTextPicture* out,
                    const vkTextWindow* window = nullptr);
