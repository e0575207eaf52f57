// The "text" library's commands: fonts (SetFont, OpenFont, CloseFont,
// UseFont, FreeGlyphCache, GetAvailableFonts), the style and colours,
// measuring (TextWidth, TextHeight, TextExtent), the cursor with its margins
// and tab stops, the default encoding, and printing: Print and NPrint at the
// cursor, TextOut at a position. A text is laid out and drawn into one
// picture, which goes onto the current output through the clipped blit (or
// becomes a layer while the display's layers are on).
#include "text/textlib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/catalog.h"
#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/argcheck.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "graphics/displayoptions.h"
#include "graphics/graphicsstate.h"
#include "graphics/positions.h"
#include "graphics/outputtargets.h"
#include "graphics/safeblt.h"
#include "pixel/alphakernels.h"
#include "runtime/console.h"
#include "runtime/context.h"
#include "text/textstate.h"

namespace {

constexpr uint32_t kCatalogOpeningFont = 410;
constexpr size_t kMaxTabs = 32;
constexpr size_t kWrapTableLimit = 32768;

int32_t IntArg(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

vkTextState& Ts(vkState* L) { return GetTextState(L); }
vkFont* CurrentFont(vkState* L) {
  vkTextState& ts = Ts(L);
  return ts.style.font ? ts.style.font : FontState(L).builtin.get();
}

// The cursor, margins and tab stops of the current display, or the text
// state's own while there is no display; [width] is the output's width (0:
// unknown).
struct Cursor {
  int32_t *x, *y, *left, *right;
  std::vector<int32_t>* tabs;
  int32_t width;
};

Cursor CursorOf(vkState* L) {
  vkGraphicsState& gs = GraphicsState(L);
  if (vkDisplay* d = OutputDisplay(gs)) {
    const vkBGPic* out = OutputPicture(gs);
    const int32_t width = out ? out->width : d->width;
    return {&d->textCursorX, &d->textCursorY, &d->textMarginLeft, &d->textMarginRight, &d->tabStops, width};
  }
  vkTextCursor& c = TextRunState(L).cursor;
  return {&c.x, &c.y, &c.left, &c.right, &c.tabs, 0};
}

// An encoding argument: 0 or 1, else 1055.
uint32_t EncodingArg(vkState* L, int i, int32_t* out) {
  *out = Ts(L).defaultEncoding;
  if (vmGetTop(L) < i) return 0;
  const int32_t e = IntArg(L, i);
  if (e < 0 || e > ENCODING_UTF8) return kErrWrongUsage;
  *out = e;
  return 0;
}

// Where a text at ([x], [y]) of the current output can be seen, when it is
// drawn straight onto the output (not kept as a layer) at a known place.
bool VisibleWindow(vkState* L, int32_t x, int32_t y, vkTextWindow* out) {
  vkGraphicsState& gs = GraphicsState(L);
  const vkDisplay* display = OutputDisplay(gs);
  const vkBGPic* pic = OutputPicture(gs);
  if (!display || !pic || (display->layersOn && TextRunState(L).addTextLayer)) return false;
  if (x <= kPosBottomOut || y <= kPosBottomOut) return false;  // special positions resolve later
  *out = {-int64_t{x}, -int64_t{y}, int64_t{pic->width} - x, int64_t{pic->height} - y};
  return true;
}

// ---- Drawing straight into the display ---------------------------------------

// Whether a text may skip the picture and go straight into the display's
// background buffer: a plain text (no tags, no tabs) in one opaque colour,
// drawn normally or antialiased, left-aligned, unwrapped or on one line
// that fits, on a display that shows its background buffer as it is (no
// layers, sprites, clip region, scaling or double buffer).
bool CanDrawStraight(vkState* L, const vkTextLayout& layout, bool plain, const vkTransform& t) {
  if (!TextRunState(L).drawStraight) return false;
  vkGraphicsState& gs = GraphicsState(L);
  const vkDisplay* d = OutputDisplay(gs);
  const vkBGPic* pic = OutputPicture(gs);
  if (!d || !pic || d->renderTarget != kTargetDisplay || d->layersOn || d->scaling || d->layerScaling ||
      d->doubleBuffer || !d->backBuffer || d->drawMask || d->drawAlpha || pic->activeClip || !pic->sprites.empty())
    return false;
  const vkTextStyle& s = layout.style;
  vkFont* font = s.font ? s.font : FontState(L).builtin.get();
  if ((s.style & ~(kStyleNormal | kStyleAntialias)) || (s.fontColour >> 24) || font->engine == kFontAmigaColour ||
      ((s.style & kStyleAntialias) && !font->antialias))
    return false;
  if (!IsIdentity(t) || layout.wrapTableSet || layout.align != kAlignLeft) return false;
  const std::string& text = layout.text;
  if (text.empty() || text.find('\t') != std::string::npos) return false;
  if (!plain && (text.find('[') != std::string::npos || text.find(']') != std::string::npos)) return false;
  if (layout.wrapWidth == 0) return true;
  const size_t feed = text.find('\n');
  if (feed != std::string::npos && feed + 1 != text.size()) return false;
  vkTextMetrics m;
  if (MeasureText(L, text.data(), feed == std::string::npos ? text.size() : feed, layout.encoding, s, &m)) return false;
  return int64_t{layout.startX} + m.pixelWidth < layout.wrapWidth;
}

// Draws [runs] with the top left of the text at ([tx], [ty]) of the display:
// their coverage, the larger where runs meet, blended into the background
// buffer as the clipped blit blends a picture's alpha plane (full coverage
// copies the colour), the same pixels the picture would give; then shows
// the changed rectangle. 0 or 1000.
uint32_t DrawRunsStraight(vkState* L, const std::vector<vkTextRun>& runs, int64_t tx, int64_t ty) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* display = OutputDisplay(gs);
  const vkBGPic* pic = OutputPicture(gs);
  vkBitMap* back = display->backBuffer;
  const int64_t W = std::min(pic->width, back->width), H = std::min(pic->height, back->height);
  struct Piece {
    const vkTextRun* run;
    int64_t x, y;
    int32_t width, height, pad;
  };
  std::vector<Piece> pieces;
  int64_t bx1 = W, by1 = H, bx2 = 0, by2 = 0;
  for (const vkTextRun& r : runs) {
    const vkFont* f = r.style.font;
    // A run of a font's widest glyphs may pass 32 bits: no plane that wide
    // can be made.
    const int64_t pad = std::max<int64_t>(0, -int64_t{r.metrics.minX}) + 1;
    const int64_t width = std::max(r.metrics.pixelWidth, r.metrics.advance) + pad + f->baseline / 2 + 2;
    const int64_t x = tx + r.x - pad, y = ty + r.lineOffset, height = f->height + 1;
    if (x + width <= 0 || y + height <= 0 || x >= W || y >= H) continue;
    if (width > INT32_MAX) return kErrOutOfMemory;
    const Piece p{&r, x, y, int32_t(width), int32_t(height), int32_t(pad)};
    pieces.push_back(p);
    bx1 = std::min(bx1, std::max<int64_t>(p.x, 0)), by1 = std::min(by1, std::max<int64_t>(p.y, 0));
    bx2 = std::max(bx2, std::min(p.x + p.width, W)), by2 = std::max(by2, std::min(p.y + p.height, H));
  }
  if (pieces.empty() || bx2 <= bx1 || by2 <= by1) return 0;
  const int64_t bw = bx2 - bx1, bh = by2 - by1;
  std::vector<uint8_t> cover(size_t(bw * bh), 0);
  for (const Piece& p : pieces) {
    const vkTextRun& r = *p.run;
    const bool aa = (r.style.style & kStyleAntialias) != 0;
    vkPlanePtr plane(aa ? AllocAlphaPlane(p.width, p.height, true) : AllocMaskPlane(p.width, p.height, true));
    if (!plane) return kErrOutOfMemory;
    vkTextTarget target;
    (aa ? target.alpha : target.mask) = plane.get();
    if (uint32_t code = RenderFontText(r.style.font, target, p.pad, 0, r.text.data(), r.text.size(), r.style.style,
                                       r.encoding))
      return code;
    for (int32_t y = 0; y < p.height; y++) {
      const int64_t oy = p.y + y - by1;
      if (oy < 0 || oy >= bh) continue;
      const uint8_t* src = plane->data + size_t(y) * plane->bytesPerRow;
      uint8_t* dst = cover.data() + size_t(oy * bw);
      for (int32_t x = 0; x < p.width; x++) {
        const int64_t ox = p.x + x - bx1;
        if (ox < 0 || ox >= bw) continue;
        const uint8_t a = aa ? src[x] : uint8_t(((src[x >> 3] >> (7 - (x & 7))) & 1) * 255);
        if (a > dst[ox]) dst[ox] = a;
      }
    }
  }
  const uint32_t colour = runs.front().style.fontColour & 0xFFFFFF;
  for (int64_t y = 0; y < bh; y++) {
    uint32_t* row = reinterpret_cast<uint32_t*>(back->pixels + size_t(by1 + y) * back->bytesPerRow) + bx1;
    const uint8_t* a = cover.data() + size_t(y * bw);
    for (int64_t x = 0; x < bw; x++) {
      if (a[x] == 0) continue;
      if (a[x] == 255) {
        row[x] = colour;
        continue;
      }
      uint32_t pixel = 0;
      for (int s = 0; s < 24; s += 8)
        pixel |= uint32_t(BlendChannel(int32_t((colour >> s) & 0xFF), int32_t((row[x] >> s) & 0xFF), a[x])) << s;
      row[x] = pixel;
    }
  }
  BltToWindow(gs, back, int32_t(bx1), int32_t(by1), display, int32_t(bx1), int32_t(by1), int32_t(bw), int32_t(bh), 1);
  return 0;
}

// ---- Fonts ------------------------------------------------------------------

// Opens the font of the arguments name, size [, options] from [first] on.
uint32_t OpenFontFromArgs(vkState* L, int first, vkFont** out) {
  size_t length = 0;
  const char* name = vmCheckString(L, first, &length);
  const int32_t size = IntArg(L, first + 1);
  int32_t engine = FONTENGINE_NATIVE, cache = 1;
  if (vmGetTop(L) >= first + 2 && vmType(L, first + 2) == VK_TTABLE) {
    OptFieldInt(L, first + 2, "engine", &engine, nullptr);
    OptFieldInt(L, first + 2, "cache", &cache, nullptr);
  }
  const std::string given(name, length);
  int fontFlag = 0;
  const std::string resolved = ResolveLinkedFile(L, given.c_str(), 1, &fontFlag);
  const bool linked = resolved != given && fontFlag != 0;
  PrintStatus(L, GetCatalogText(kCatalogOpeningFont), given.c_str(), true);
  return OpenFontByName(L, resolved.c_str(), size, engine, uint32_t(cache), linked, out);
}

uint32_t FindFontArg(vkState* L, int i, vkFontNode** out) {
  const vkObjectId id = CheckObjectId(L, i);
  return FindFont(FontState(L), id.number, id.handle, out);
}

void UseFontNow(vkState* L, vkFont* font) {
  vkTextState& ts = Ts(L);
  ts.style.font = font;
  ts.style.style = kStyleNormal;
}

int cmdSetFont(vkState* L) {
  CheckArgCount(L, 2, 3);
  vkFont* font = nullptr;
  if (uint32_t code = OpenFontFromArgs(L, 1, &font)) return int(code);
  UseFontNow(L, font);
  return 0;
}

int cmdOpenFont(vkState* L) {
  CheckArgCount(L, 3, 4);
  const vkIdRequest request = OptObjectId(L, 1);
  vkFont* font = nullptr;
  if (uint32_t code = OpenFontFromArgs(L, 2, &font)) return int(code);
  vkFontState& fs = FontState(L);
  if (!request.automatic)
    std::erase_if(fs.nodes, [&](const std::unique_ptr<vkFontNode>& n) {
      return n->idHandle == nullptr && n->idNumber == request.number;
    });
  auto node = std::make_unique<vkFontNode>();
  node->font = font;
  node->idNumber = request.automatic ? 0 : request.number;
  if (request.automatic) node->idHandle = node.get();
  void* handle = node->idHandle;
  fs.nodes.push_back(std::move(node));
  PrintDone(L);
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, handle);
  return 1;
}

int cmdCloseFont(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFontNode* node = nullptr;
  if (uint32_t code = FindFontArg(L, 1, &node)) return int(code);
  std::erase_if(FontState(L).nodes, [&](const std::unique_ptr<vkFontNode>& n) { return n.get() == node; });
  return 0;
}

int cmdUseFont(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkFontNode* node = nullptr;
  if (uint32_t code = FindFontArg(L, 1, &node)) return int(code);
  UseFontNow(L, node->font);
  return 0;
}

int cmdFreeGlyphCache(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkFontState& fs = FontState(L);
  if (IntArg(L, 1) == 0) {
    for (vkFontCacheEntry& e : fs.cache) FreeFontGlyphCache(e.font);
    return 0;
  }
  vkFontNode* node = nullptr;
  if (uint32_t code = FindFontArg(L, 2, &node)) return int(code);
  FreeFontGlyphCache(node->font);
  return 0;
}

int cmdGetAvailableFonts(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkFontDirectory& dir = FontState(L).directory;
  FreeFontDirectory(dir);
  ScanFontDirectories(dir, true);
  vmNewTable(L);
  int index = 0;
  for (const vkFontDirEntry& e : dir.entries) {
    vmNewTable(L);
    SetFieldString(L, "name", e.fullName.c_str());
    SetFieldString(L, "family", e.family.c_str());
    SetFieldInt(L, "bitmap", e.bitmap ? 1 : 0);
    SetFieldInt(L, "weight", e.weight);
    SetFieldInt(L, "slant", e.slant);
    vmPushString(L, "sizes");
    vmNewTable(L);
    for (size_t k = 0; k < e.sizes.size(); k++) {
      vmPushNumber(L, e.sizes[k]);
      vmRawSetI(L, -2, int(k));
    }
    vmRawSet(L, -3);
    vmRawSetI(L, -2, index++);
  }
  FreeFontDirectory(dir);
  return 1;
}

// ---- Style, colours, encoding -------------------------------------------

int cmdSetFontColor(vkState* L) {
  CheckArgCount(L, 1, 1);
  Ts(L).style.fontColour = vmCheckUnsigned(L, 1);
  return 0;
}

int cmdSetFontStyle(vkState* L) {
  CheckArgCount(L, 1, 4);
  const int n = vmGetTop(L);
  const uint32_t style = vmCheckUnsigned(L, 1);
  vkTextStyle& s = Ts(L).style;
  // Shadow alone takes colour, size and direction; edge alone colour and size.
  const int most = style == kStyleShadow ? 4 : style == kStyleEdge ? 3 : 1;
  if (n > most) return kErrTooManyArgs;
  if (style == kStyleShadow || style == kStyleEdge) {
    const bool shadow = style == kStyleShadow;
    if (n >= 2) (shadow ? s.shadowColour : s.edgeColour) = vmCheckUnsigned(L, 2);
    if (n >= 3) (shadow ? s.shadowSize : s.edgeSize) = IntArg(L, 3);
    if (n >= 4) s.shadowDirection = IntArg(L, 4);
  }
  s.style = (style & kStyleNormal) ? kStyleNormal : s.style | style;
  ClampTextStyle(&s);
  return 0;
}

int cmdSetDefaultEncoding(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t e = IntArg(L, 1);
  if (e < 0 || e > ENCODING_UTF8) return kErrWrongUsage;
  Ts(L).defaultEncoding = e;
  return 0;
}

// ---- Measuring ----------------------------------------------------------------

int cmdTextHeight(vkState* L) {
  CheckArgCount(L, 1, 1);
  vmCheckStringType(L, 1);
  vmPushNumber(L, CurrentFont(L)->height);
  return 1;
}

// Measures argument 1 in the current style; "" measures all zeros.
uint32_t MeasureArg(vkState* L, vkTextMetrics* m) {
  size_t length = 0;
  const char* text = vmCheckString(L, 1, &length);
  int32_t encoding = 0;
  if (uint32_t code = EncodingArg(L, 2, &encoding)) return code;
  *m = {};
  if (length == 0) return 0;
  return MeasureText(L, text, length, encoding, Ts(L).style, m);
}

int cmdTextWidth(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkTextMetrics m;
  if (uint32_t code = MeasureArg(L, &m)) return int(code);
  vmPushNumber(L, m.advance);
  return 1;
}

int cmdTextExtent(vkState* L) {
  CheckArgCount(L, 1, 2);
  vkTextMetrics m;
  if (uint32_t code = MeasureArg(L, &m)) return int(code);
  vmNewTable(L);
  SetFieldInt(L, "minx", m.minX + m.left);
  SetFieldInt(L, "maxx", m.maxX + m.right);
  SetFieldInt(L, "miny", m.minY + m.top);
  SetFieldInt(L, "maxy", m.maxY + m.bottom);
  SetFieldInt(L, "width", m.advance);
  SetFieldInt(L, "height", m.height);
  return 1;
}

// ---- Cursor, margins, tabs ------------------------------------------------

int cmdLocate(vkState* L) {
  CheckArgCount(L, 2, 2);
  int32_t x = IntArg(L, 1);
  const int32_t y = IntArg(L, 2);
  if (x == kPosLeft || x == kPosRight || x == kPosCenter || y == kPosTop || y == kPosBottom || y == kPosCenter)
    return kErrCoordinateConstant;
  Cursor c = CursorOf(L);
  if (x < *c.left || x > *c.right) x = *c.left;
  *c.x = x, *c.y = y;
  return 0;
}

int cmdSetMargins(vkState* L) {
  CheckArgCount(L, 2, 2);
  int32_t left = IntArg(L, 1), right = IntArg(L, 2);
  Cursor c = CursorOf(L);
  left = std::max(left, 0);
  if (c.width > 0) right = std::min(right, c.width - 1);
  if (left >= right) return kErrWrongUsage;
  *c.left = left, *c.right = right;
  *c.x = left, *c.y = 0;
  return 0;
}

int cmdAddTab(vkState* L) {
  CheckArgCount(L, 1, -1);
  std::vector<int32_t>& tabs = *CursorOf(L).tabs;
  for (int i = 1; i <= vmGetTop(L); i++) {
    const int32_t position = IntArg(L, i);
    if (position < 0) return kErrNegativeCoords;
    if (tabs.size() >= kMaxTabs) return kErrInternalLimit;
    tabs.insert(std::upper_bound(tabs.begin(), tabs.end(), position), position);
  }
  return 0;
}

int cmdResetTabs(vkState* L) {
  CheckArgCount(L, 0, 0);
  CursorOf(L).tabs->clear();
  return 0;
}

// ---- Printing -------------------------------------------------------------------

// Every argument through the script's "tostring", joined by one blank.
uint32_t JoinArguments(vkState* L, std::string* out) {
  const int n = vmGetTop(L);
  for (int i = 1; i <= n; i++) {
    vmPushString(L, "tostring");
    vmGetTable(L, VK_GLOBALSINDEX);
    vmPushValue(L, i);
    if (uint32_t code = vmCall(L, 1, 1)) return code;
    if (i > 1) out->push_back(' ');
    if (vmType(L, -1) == VK_TSTRING || vmType(L, -1) == VK_TNUMBER) {
      const char* text = vmToString(L, -1);
      out->append(text, vmStrLen(L, -1));
    } else {
      out->append("nil");
    }
    vmSetTop(L, n);
  }
  return 0;
}

int PrintCommand(vkState* L, bool lineFeed) {
  CheckArgCount(L, 1, -1);
  std::string text;
  if (uint32_t code = JoinArguments(L, &text)) return int(code);
  if (lineFeed) text.push_back('\n');
  return int(PrintText(L, text, false));
}

int cmdPrint(vkState* L) { return PrintCommand(L, false); }
int cmdNPrint(vkState* L) { return PrintCommand(L, true); }

// The word indices of a "wordwraptable" field, from index 0 to the first nil.
uint32_t ReadWrapTable(vkState* L, int t, std::vector<int32_t>* out) {
  vmPushString(L, "wordwraptable");
  vmGetTable(L, t);
  if (vmType(L, -1) == VK_TNIL) return vmSetTop(L, -2), 0;
  if (vmType(L, -1) != VK_TTABLE) return vmSetTop(L, -2), kErrTableExpected;
  for (int i = 0;; i++) {
    vmRawGetI(L, -1, i);
    const bool end = vmType(L, -1) == VK_TNIL;
    const double v = end ? 0 : vmToNumber(L, -1);
    vmSetTop(L, -2);
    if (end) break;
    if (out->size() + 1 >= kWrapTableLimit) return vmSetTop(L, -2), kErrInternalLimit;
    out->push_back(vkDoubleToInt32(v));
  }
  vmSetTop(L, -2);
  return 0;
}

// Draws the laid-out picture into the output, scaled or transformed by [t]
// unless that is the identity.
uint32_t TransformAndPut(vkState* L, int32_t kind, const vkTextLayout& layout, vkTextPicture& picture,
                         const vkTransform& t, int32_t x, int32_t y) {
  if (IsIdentity(t)) return PutTextPicture(L, kind, layout, picture, x, y);
  vkGraphicsState& gs = GraphicsState(L);
  vkTextPicture made;
  int32_t w = 0, h = 0;
  if (int32_t rc = TransformBitmapPlanes(gs, picture.bitmap.get(), picture.mask.get(), picture.alpha.get(), 0, 0,
                                         picture.width, picture.height, t, &made.bitmap, &made.mask, &made.alpha, &w,
                                         &h))
    return uint32_t(rc);
  made.width = w, made.height = h;
  made.transformed = true;
  return PutTextPicture(L, kind, layout, made, x, y);
}

int cmdTextOut(vkState* L) {
  CheckArgCount(L, 3, 5);
  const int n = vmGetTop(L);
  const int32_t x = IntArg(L, 1), y = IntArg(L, 2);
  size_t length = 0;
  const char* text = vmCheckString(L, 3, &length);
  vkTextLayout layout;
  layout.style = Ts(L).style;
  layout.text.assign(text, length);
  layout.encoding = Ts(L).defaultEncoding;
  vkTransform t;
  if (n >= 4 && vmType(L, 4) == VK_TTABLE) {
    if (n > 4) return kErrTooManyArgs;
    if (int32_t rc = ParseDisplayTags(L, 4, 0, 0, 0, 0, 0, &t, nullptr, kTagsInit | kTagsNoSize)) return rc;
    OptFieldInt(L, 4, "align", &layout.align, nullptr);
    OptFieldInt(L, 4, "wordwrap", &layout.wrapWidth, nullptr);
    int32_t encoding = layout.encoding;
    OptFieldInt(L, 4, "encoding", &encoding, nullptr);
    if (encoding < 0 || encoding > ENCODING_UTF8) return kErrWrongUsage;
    layout.encoding = encoding;
    if (uint32_t code = ReadWrapTable(L, 4, &layout.wrapTable)) return int(code);
    layout.wrapTableSet = !layout.wrapTable.empty();
  } else {
    if (n >= 4) layout.align = IntArg(L, 4);
    if (n >= 5) layout.wrapWidth = IntArg(L, 5);
  }
  if (layout.wrapWidth < 0) return kErrWrongUsage;
  Cursor c = CursorOf(L);
  layout.tabs = *c.tabs;
  layout.leftMargin = x >= 0 ? x : 0;

  // A scalable font drawn scaled without rotation is scaled itself, with the
  // wrap width; anything else transforms the drawing.
  vkFont* font = layout.style.font ? layout.style.font : CurrentFont(L);
  const double* m = t.matrix;
  vkTransform rest = t;
  if (!IsIdentity(t) && font->scalable && m[1] == 0.0 && m[2] == 0.0) {
    const double sx = std::fabs(m[0]), sy = std::fabs(m[3]);
    ScaleFont(font, sx, sy);
    layout.wrapWidth = vkDoubleToInt32(std::round(layout.wrapWidth * sx));
    layout.leftMargin = vkDoubleToInt32(std::round(layout.leftMargin * sx));
    for (int32_t& tab : layout.tabs) tab = vkDoubleToInt32(std::round(tab * sx));
    layout.style.shadowSize = vkDoubleToInt32(std::round(layout.style.shadowSize * sx));
    layout.style.edgeSize = vkDoubleToInt32(std::round(layout.style.edgeSize * sx));
    ClampTextStyle(&layout.style);
    InitTransform(&rest);
    rest.matrix[0] = m[0] < 0 ? -1.0 : 1.0;
    rest.matrix[3] = m[3] < 0 ? -1.0 : 1.0;
  }
  vkGraphicsState& gs = GraphicsState(L);
  if (x > kPosBottomOut && CanDrawStraight(L, layout, false, t)) {
    std::vector<vkTextRun> runs;
    if (uint32_t code = LayoutRuns(L, &layout, false, &runs)) return int(code);
    int64_t height = font->height;
    for (const vkTextRun& r : runs) height = std::max<int64_t>(height, int64_t{r.lineOffset} + font->height + 1);
    const int32_t top = ResolveOutputY(gs, y, int32_t(std::min<int64_t>(height, INT32_MAX)), 0);
    return int(DrawRunsStraight(L, runs, x, top));
  }
  vkTextPicture picture;
  vkTextWindow window;
  const bool cut = IsIdentity(t) && VisibleWindow(L, x, y, &window);
  uint32_t code = LayoutText(L, &layout, false, &picture, cut ? &window : nullptr);  // resets the font's scale
  if (code) return int(code);
  int32_t shownW = picture.width, shownH = picture.height;
  if (!IsIdentity(rest)) GetDisplayedSize(rest, picture.width, picture.height, &shownW, &shownH);
  const int32_t px = ResolveOutputX(gs, x, shownW, 0) + picture.offsetX;
  const int32_t py = ResolveOutputY(gs, y, shownH, 0) + picture.offsetY;
  return int(TransformAndPut(L, kTextKindTextOut, layout, picture, rest, px, py));
}

// ---- The table ------------------------------------------------------------------

const vkCommandDef kTextCommands[] = {
    {"SetFont", cmdSetFont},
    {"SetFontColor", cmdSetFontColor},
    {"TextHeight", cmdTextHeight},
    {"TextWidth", cmdTextWidth},
    {"ResetTabs", cmdResetTabs},
    {"AddTab", cmdAddTab},
    {"Locate", cmdLocate},
    {"SetMargins", cmdSetMargins},
    {"SetFontStyle", cmdSetFontStyle},
    {"Print", cmdPrint},
    {"NPrint", cmdNPrint},
    {"TextOut", cmdTextOut},
    {"TextExtent", cmdTextExtent},
    {"OpenFont", cmdOpenFont},
    {"CloseFont", cmdCloseFont},
    {"UseFont", cmdUseFont},
    {"GetAvailableFonts", cmdGetAvailableFonts},
    {"FreeGlyphCache", cmdFreeGlyphCache},
    {"SetDefaultEncoding", cmdSetDefaultEncoding},
    {nullptr, nullptr},
};

const vkConstantDef kTextConstants[] = {
    {"NORMAL", nullptr, kStyleNormal},
    {"BOLD", nullptr, kStyleBold},
    {"ITALIC", nullptr, kStyleItalic},
    {"UNDERLINED", nullptr, kStyleUnderlined},
    {"ANTIALIAS", nullptr, kStyleAntialias},
    {"SHADOW", nullptr, kStyleShadow},
    {"EDGE", nullptr, kStyleEdge},
    {"SHDWNORTH", nullptr, 0},
    {"SHDWNORTHEAST", nullptr, 1},
    {"SHDWEAST", nullptr, 2},
    {"SHDWSOUTHEAST", nullptr, 3},
    {"SHDWSOUTH", nullptr, 4},
    {"SHDWSOUTHWEST", nullptr, 5},
    {"SHDWWEST", nullptr, 6},
    {"SHDWNORTHWEST", nullptr, 7},
    {"ALL", nullptr, 0},
    {"ALPHANUMERICAL", nullptr, 1},
    {"ALPHABETICAL", nullptr, 2},
    {"NUMERICAL", nullptr, 3},
    {"HEXNUMERICAL", nullptr, 4},
    {"BITMAP_DEFAULT", ":::default_bitmap", 0},
    {"TRUETYPE_DEFAULT", ":::default_truetype", 0},
    {"SANS", ":::default_sans", 0},
    {"SERIF", ":::default_serif", 0},
    {"MONOSPACE", ":::default_mono", 0},
    {"FONTENGINE_NATIVE", nullptr, FONTENGINE_NATIVE},
    {"FONTENGINE_INBUILT", nullptr, FONTENGINE_INBUILT},
    {"ENCODING_ISO8859_1", nullptr, ENCODING_ISO8859_1},
    {"ENCODING_UTF8", nullptr, ENCODING_UTF8},
    {"FONTWEIGHT_THIN", nullptr, 0},
    {"FONTWEIGHT_EXTRALIGHT", nullptr, 40},
    {"FONTWEIGHT_ULTRALIGHT", nullptr, 40},
    {"FONTWEIGHT_LIGHT", nullptr, 50},
    {"FONTWEIGHT_BOOK", nullptr, 75},
    {"FONTWEIGHT_NORMAL", nullptr, 80},
    {"FONTWEIGHT_REGULAR", nullptr, 80},
    {"FONTWEIGHT_MEDIUM", nullptr, 100},
    {"FONTWEIGHT_SEMIBOLD", nullptr, 180},
    {"FONTWEIGHT_DEMIBOLD", nullptr, 180},
    {"FONTWEIGHT_BOLD", nullptr, 200},
    {"FONTWEIGHT_EXTRABOLD", nullptr, 205},
    {"FONTWEIGHT_ULTRABOLD", nullptr, 205},
    {"FONTWEIGHT_HEAVY", nullptr, 210},
    {"FONTWEIGHT_BLACK", nullptr, 210},
    {"FONTWEIGHT_EXTRABLACK", nullptr, 215},
    {"FONTWEIGHT_ULTRABLACK", nullptr, 215},
    {"FONTSLANT_ROMAN", nullptr, 0},
    {"FONTSLANT_ITALIC", nullptr, 100},
    {"FONTSLANT_OBLIQUE", nullptr, 110},
    {nullptr, nullptr, 0},
};

}  // namespace

uint32_t PutTextPicture(vkState* L, int32_t kind, const vkTextLayout& layout, vkTextPicture& picture, int32_t x,
                        int32_t y) {
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* display = OutputDisplay(gs);
  vkBGPic* out = OutputPicture(gs);
  if (!display || !out) return 0;  // nothing to draw on yet
  vkTextRunState& trs = TextRunState(L);
  if (display->layersOn && trs.addTextLayer) return uint32_t(trs.addTextLayer(L, kind, layout, picture, x, y));
  vkBlitRequest blit;
  blit.src = picture.bitmap.get();
  blit.dx = x, blit.dy = y;
  blit.width = picture.width, blit.height = picture.height;
  blit.srcWidth = picture.width, blit.srcHeight = picture.height;
  // The alpha plane carries the shape when there is one.
  blit.alpha = picture.alpha.get();
  blit.mask = blit.alpha ? nullptr : picture.mask.get();
  blit.dstWidth = out->width, blit.dstHeight = out->height;
  blit.clip = out->activeClip;
  if (display->renderTarget == kTargetDisplay) {
    blit.flags = kBlitBackground | kBlitRecompose;
  } else if (int32_t rc = PrepareDrawing(L)) {
    // A brush, mask, alpha or picture target: the clipped blit draws into
    // what the selection prepared, planes included.
    return uint32_t(rc);
  }
  SafeBlt(gs, blit);
  return 0;
}

uint32_t PrintText(vkState* L, const std::string& text, bool plain) {
  Cursor c = CursorOf(L);
  vkTextLayout layout;
  layout.style = Ts(L).style;
  layout.text = text;
  layout.leftMargin = *c.left;
  if (*c.right != INT32_MAX) layout.wrapWidth = std::max(0, *c.right - *c.left + 1);
  layout.tabs = *c.tabs;
  layout.startX = std::max(0, *c.x - *c.left);
  if (CanDrawStraight(L, layout, plain, vkTransform{})) {
    std::vector<vkTextRun> runs;
    if (uint32_t code = LayoutRuns(L, &layout, plain, &runs)) return code;
    const int32_t left = *c.left, top = *c.y;
    if (uint32_t code = DrawRunsStraight(L, runs, left, top)) return code;
    c = CursorOf(L);
    *c.x = left + layout.endX;
    *c.y = top + layout.endLineOffset;
    return 0;
  }
  vkTextPicture picture;
  vkTextWindow window;
  const bool cut = VisibleWindow(L, *c.left, *c.y, &window);
  if (uint32_t code = LayoutText(L, &layout, plain, &picture, cut ? &window : nullptr)) return code;
  const int32_t x = *c.left + picture.offsetX, y = *c.y + picture.offsetY;
  const int32_t cursorY = *c.y;
  if (uint32_t code = PutTextPicture(L, kTextKindPrint, layout, picture, x, y)) return code;
  c = CursorOf(L);
  *c.x = *c.left + layout.endX;
  *c.y = cursorY + layout.endLineOffset;
  return 0;
}

int OpenTextLibrary(vkState* L) {
  vmRegisterFunctions(L, nullptr, kTextCommands, 0);
  vmRegisterConstants(L, kTextConstants);
  if (int rc = RegisterLibrary(L, kTextCommands, "text")) return rc;
  vkTextRunState& trs = TextRunState(L);
  // Colour fonts opened before the first display keep their pixels until
  // the display opens and CreatePendingFontBitMaps gives them images.
  trs.fonts.preloading = GraphicsState(L).CurrentDisplay == nullptr;
  // The program's own fonts: the "Fonts" folder of the current directory.
  if (trs.fonts.directory.programFonts.empty()) trs.fonts.directory.programFonts = "Fonts";
  trs.text.style = vkTextStyle{};
  trs.text.style.font = trs.fonts.builtin.get();
  return int(trs.engineError);
}
