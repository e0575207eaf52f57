// Text layout: measuring in a style, the inline tags, runs with tabs and
// word wrap, trimming and alignment, and EdgeDraw, which draws every run's
// coverage with synthetic bold and italic, underline, shadow and edge into
// one bitmap with its mask and alpha plane.
#include "text/textlayout.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "engine/argcheck.h"
#include "runtime/options.h"
#include "text/textstate.h"

namespace {

constexpr int32_t kMaxShadow = 64;
constexpr int32_t kMaxEdgeTag = 8;

vkFont* FontOf(vkState* L, const vkTextStyle& s) { return s.font ? s.font : FontState(L).builtin.get(); }

// Positions and widths of a line whose glyphs are a font's widest stop at
// the ends of 32 bits; the picture refuses such a line by its size.
int32_t Saturated(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// Shadow offset of a direction; any other direction as south-east.
void ShadowOffset(int32_t direction, int32_t s, int32_t* dx, int32_t* dy) {
  static constexpr int8_t kDirections[8][2] = {{0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};
  const int d = direction >= 0 && direction < 8 ? direction : 3;
  *dx = kDirections[d][0] * s;
  *dy = kDirections[d][1] * s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// ---- Tags -------------------------------------------------------------------

// A character of the text with the style it is drawn in.
struct Styled {
  char c;
  uint32_t styleIndex;
};

struct TagReader {
  vkState* L;
  const std::string& text;
  size_t at = 0;

  void SkipBlanks() {
    while (at < text.size() && IsBlank(text[at])) at++;
  }
  uint32_t Value(uint32_t* out) {
    SkipBlanks();
    if (at >= text.size()) return kErrValueExpected;
    if (text[at] == '"') return kErrValueExpected;
    if (text[at] == '#') {
      if (!L) return kErrConstantNotFound;
      size_t consumed = 0;
      const char* str = nullptr;
      double num = 0;
      if (int code = ParseConstantName(L, text.c_str() + at, &consumed, &str, &num)) return uint32_t(code);
      if (str) return kErrValueExpected;
      at += consumed;
      *out = uint32_t(int64_t(num));
      return 0;
    }
    size_t end = at;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != ',' && text[end] != ']') end++;
    const vkParsedNumber n = ParseNumber(text.substr(at, end - at));
    if (n.error) return n.error;
    if (n.length != end - at) return kErrValueExpected;
    at = end;
    *out = uint32_t(int64_t(n.value));
    return 0;
  }
  bool Comma() {
    SkipBlanks();
    if (at < text.size() && text[at] == ',') return at++, true;
    return false;
  }
};

// Reads the tags of [text] into styled characters and their styles.
uint32_t ReadTags(vkState* L, const std::string& text, bool plain, const vkTextStyle& start,
                  std::vector<Styled>* chars, std::vector<vkTextStyle>* styles) {
  styles->assign(1, start);
  std::vector<uint32_t> colourStack;
  vkTextStyle current = start;
  auto changed = [&] {
    if (!(styles->back() == current)) styles->push_back(current);
  };
  TagReader r{L, text};
  while (r.at < text.size()) {
    const char c = text[r.at];
    if ((c == '[' || c == ']') && r.at + 1 < text.size() && text[r.at + 1] == c) {
      chars->push_back({c, uint32_t(styles->size() - 1)});
      r.at += 2;
      continue;
    }
    if (c != '[' || plain) {
      chars->push_back({c, uint32_t(styles->size() - 1)});
      r.at++;
      continue;
    }
    r.at++;
    r.SkipBlanks();
    const bool closing = r.at < text.size() && text[r.at] == '/';
    if (closing) r.at++;
    r.SkipBlanks();
    size_t nameEnd = r.at;
    while (nameEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[nameEnd]))) nameEnd++;
    const std::string name = text.substr(r.at, nameEnd - r.at);
    r.at = nameEnd;
    auto is = [&](const char* n) { return strcasecmp(name.c_str(), n) == 0; };
    if (is("b") || is("i") || is("u")) {
      if (r.at < text.size() && !IsBlank(text[r.at]) && text[r.at] != ']') return kErrUnknownTextTag;
      const uint32_t bit = is("b") ? kStyleBold : is("i") ? kStyleItalic : kStyleUnderlined;
      current.style = closing ? current.style & ~bit : current.style | bit;
    } else if (is("color")) {
      if (closing) {
        if (colourStack.empty()) return kErrTextTagSyntax;
        current.fontColour = colourStack.back();
        colourStack.pop_back();
      } else {
        r.SkipBlanks();
        if (r.at >= text.size() || text[r.at] != '=') return kErrTextTagArguments;
        r.at++;
        uint32_t colour = 0;
        if (uint32_t code = r.Value(&colour)) return code;
        colourStack.push_back(current.fontColour);
        current.fontColour = colour;
      }
    } else if (is("shadow") || is("edge")) {
      const bool shadow = is("shadow");
      const uint32_t bit = shadow ? kStyleShadow : kStyleEdge;
      if (closing) {
        current.style &= ~bit;
      } else {
        current.style |= bit;
        r.SkipBlanks();
        if (r.at < text.size() && text[r.at] == '=') {
          r.at++;
          uint32_t colour = 0, size = 0, direction = 0;
          if (uint32_t code = r.Value(&colour)) return code;
          (shadow ? current.shadowColour : current.edgeColour) = colour;
          if (r.Comma()) {
            if (uint32_t code = r.Value(&size)) return code;
            if (size < 1 || size > uint32_t(shadow ? kMaxShadow : kMaxEdgeTag)) return kErrWrongUsage;
            (shadow ? current.shadowSize : current.edgeSize) = int32_t(size);
            if (shadow && r.Comma()) {
              if (uint32_t code = r.Value(&direction)) return code;
              current.shadowDirection = int32_t(std::min<uint32_t>(direction, 8));
            }
          }
        }
      }
    } else {
      return kErrUnknownTextTag;
    }
    r.SkipBlanks();
    if (r.at >= text.size() || text[r.at] != ']') return kErrClosingBracket;
    r.at++;
    ClampTextStyle(&current);
    changed();
  }
  return 0;
}

// ---- Coverage work buffers ------------------------------------------------

struct Coverage {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> data;
  uint8_t& at(int32_t x, int32_t y) { return data[size_t(y) * width + x]; }
};

}  // namespace

void ClampTextStyle(vkTextStyle* s) {
  s->shadowSize = std::clamp(s->shadowSize, 1, kMaxShadow);
  s->edgeSize = std::clamp(s->edgeSize, 1, kMaxShadow);
  if (s->shadowDirection > 7 || s->shadowDirection < 0) s->shadowDirection = 3;
}

uint32_t MeasureText(vkState* L, const char* text, size_t length, int32_t encoding, const vkTextStyle& s,
                     vkTextMetrics* out) {
  vkFont* font = FontOf(L, s);
  if (uint32_t code = MeasureFontText(font, text, length, s.style, encoding, out)) return code;
  out->height = font->height;
  if (!FontEngineHasStyle(font)) {
    // A line may already reach the ends of the metrics' range: it stays there.
    if ((s.style & kStyleBold) && !(s.style & kStyleAntialias)) out->maxX = Saturated(int64_t{out->maxX} + 1);
    if (s.style & kStyleItalic) {
      out->maxX = Saturated(int64_t{out->maxX} + font->baseline / 2);
      out->minX = Saturated(int64_t{out->minX} - (font->height - font->baseline) / 2);
    }
  }
  out->SetPixelWidth();
  out->top = out->bottom = out->left = out->right = 0;
  if (s.style & kStyleEdge) {
    out->top = out->left = -s.edgeSize;
    out->bottom = out->right = s.edgeSize;
  }
  if (s.style & kStyleShadow) {
    int32_t dx, dy;
    ShadowOffset(s.shadowDirection, s.shadowSize, &dx, &dy);
    if (dx > 0) out->right += dx;
    if (dx < 0) out->left += dx;
    if (dy > 0) out->bottom += dy;
    if (dy < 0) out->top += dy;
  }
  return 0;
}

uint32_t LayoutRuns(vkState* L, vkTextLayout* layout, bool plain, std::vector<vkTextRun>* runs) {
  runs->clear();
  vkFont* font = FontOf(L, layout->style);
  std::vector<Styled> chars;
  std::vector<vkTextStyle> styles;
  if ((layout->style.style & kStyleAntialias) && !font->antialias) return kErrNoAntialias;
  const std::string text = layout->text.empty() ? std::string(" ") : layout->text;
  vkTextStyle start = layout->style;
  start.font = font;
  if (uint32_t code = ReadTags(L, text, plain, start, &chars, &styles)) return code;
  for (const vkTextStyle& s : styles)
    if ((s.style & kStyleAntialias) && !s.font->antialias) return kErrNoAntialias;

  const bool decideWraps = layout->wrapWidth > 0 && !layout->wrapTableSet;
  const bool decideTabs = !layout->tabTableSet;
  if (decideWraps) layout->wrapTable.clear();
  if (decideTabs) layout->tabTable.clear();
  size_t nextWrap = 0, nextTab = 0;
  int32_t x = std::max(0, layout->startX), lineOffset = 0, word = -1;
  bool lineEmpty = x == 0;  // a line printing continues may wrap before its first word
  vkTextRun run;
  bool haveRun = false;
  uint32_t runStyle = 0;
  auto close = [&]() -> uint32_t {
    if (!haveRun) return 0;
    if (uint32_t code = MeasureText(L, run.text.data(), run.text.size(), layout->encoding, run.style, &run.metrics))
      return code;
    x = Saturated(int64_t{run.x} + run.metrics.advance);
    runs->push_back(std::move(run));
    run = vkTextRun{};
    haveRun = false;
    return 0;
  };
  auto newLine = [&] {
    x = 0;
    lineOffset += font->height;
    lineEmpty = true;
  };
  for (size_t i = 0; i < chars.size(); i++) {
    const char c = chars[i].c;
    const uint32_t si = chars[i].styleIndex;
    if (haveRun && si != runStyle)
      if (uint32_t code = close()) return code;
    if (c == '\n') {
      if (uint32_t code = close()) return code;
      newLine();
      continue;
    }
    if (c == '\r') {
      if (uint32_t code = close()) return code;
      continue;
    }
    if (c == '\t') {
      if (uint32_t code = close()) return code;
      int32_t decision = -1;
      if (decideTabs) {
        for (size_t t = 0; t < layout->tabs.size(); t++)
          if (layout->tabs[t] > x + layout->leftMargin) {
            decision = int32_t(t);
            break;
          }
        if (decision >= 0 && layout->wrapWidth > 0 && layout->tabs[decision] - layout->leftMargin >= layout->wrapWidth)
          decision = -1;
        layout->tabTable.push_back(decision);
      } else if (nextTab < layout->tabTable.size()) {
        decision = layout->tabTable[nextTab++];
      }
      if (decision >= 0 && size_t(decision) < layout->tabs.size()) {
        x = layout->tabs[decision] - layout->leftMargin;
      } else {
        newLine();
      }
      continue;
    }
    const bool wordStart = c != ' ' && (i == 0 || IsSeparator(chars[i - 1].c));
    if (wordStart) {
      word++;
      if (uint32_t code = close()) return code;
      bool breakHere = false;
      if (layout->wrapTableSet) {
        while (nextWrap < layout->wrapTable.size() && layout->wrapTable[nextWrap] < word) nextWrap++;
        breakHere = nextWrap < layout->wrapTable.size() && layout->wrapTable[nextWrap] == word;
      } else if (decideWraps && !lineEmpty) {
        size_t end = i;
        while (end < chars.size() && !IsSeparator(chars[end].c)) end++;
        std::string piece;
        for (size_t k = i; k < end; k++) piece.push_back(chars[k].c);
        vkTextMetrics m;
        if (uint32_t code = MeasureText(L, piece.data(), piece.size(), layout->encoding, styles[si], &m)) return code;
        breakHere = int64_t{x} + m.pixelWidth + m.right > layout->wrapWidth;
        if (breakHere) layout->wrapTable.push_back(word);
      }
      if (breakHere && !lineEmpty) newLine();
    }
    if (!haveRun) {
      run.x = x;
      run.lineOffset = lineOffset;
      run.style = styles[si];
      run.encoding = layout->encoding;
      runStyle = si;
      haveRun = true;
    }
    run.text.push_back(c);
    if (c != ' ') lineEmpty = false;
  }
  if (uint32_t code = close()) return code;
  layout->endX = x;
  layout->endLineOffset = lineOffset;

  // Trailing blanks of each line's last run, when underlined or not left-aligned.
  for (size_t i = 0; i < runs->size(); i++) {
    vkTextRun& r = (*runs)[i];
    const bool last = i + 1 == runs->size() || (*runs)[i + 1].lineOffset != r.lineOffset;
    if (!last || (!(r.style.style & kStyleUnderlined) && layout->align == kAlignLeft)) continue;
    const size_t keep = r.text.find_last_not_of(' ');
    if (keep + 1 == r.text.size()) continue;
    r.text.resize(keep == std::string::npos ? 0 : keep + 1);
    if (uint32_t code = MeasureText(L, r.text.data(), r.text.size(), layout->encoding, r.style, &r.metrics)) return code;
  }
  std::erase_if(*runs, [](const vkTextRun& r) { return r.text.empty(); });

  // Alignment: every line moves by what its last run leaves of the widest.
  if (layout->align == kAlignRight || layout->align == kAlignCenter) {
    int64_t widest = 0;
    for (const vkTextRun& r : *runs) widest = std::max<int64_t>(widest, int64_t{r.x} + r.metrics.maxX + 1);
    for (size_t i = 0; i < runs->size();) {
      size_t j = i;
      while (j + 1 < runs->size() && (*runs)[j + 1].lineOffset == (*runs)[i].lineOffset) j++;
      int64_t shift = widest - (int64_t{(*runs)[j].x} + (*runs)[j].metrics.maxX) - 1;
      if (layout->align == kAlignCenter) shift /= 2;
      for (size_t k = i; k <= j; k++) (*runs)[k].x += int32_t(shift);
      i = j + 1;
    }
  }
  return 0;
}

uint32_t EdgeDraw(const std::vector<vkTextRun>& runs, const vkFont* font, int32_t wrapWidth, vkTextPicture* out,
                  const vkTextWindow* window) {
  *out = {};
  if (!runs.empty()) font = runs.front().style.font;
  // Geometry of the picture.
  int64_t left = 0, top = 0, right = 1, bottom = font->height;
  bool needAlpha = false;
  if (!runs.empty()) {
    left = INT32_MAX, top = INT32_MAX, right = INT32_MIN;
    int64_t lastLine = 0, lowest = 0;
    for (const vkTextRun& r : runs) {
      const vkTextMetrics& m = r.metrics;
      left = std::min<int64_t>(left, int64_t{std::min(m.minX, 0)} + r.x + m.left);
      top = std::min<int64_t>(top, m.top);
      right = std::max<int64_t>(right, int64_t{r.x} + m.pixelWidth + m.right);
      lastLine = std::max<int64_t>(lastLine, r.lineOffset);
      lowest = std::max<int64_t>(lowest, m.bottom);
      const uint32_t st = r.style.style;
      needAlpha |= (st & kStyleAntialias) || (r.style.fontColour >> 24) ||
                   ((st & kStyleShadow) && (r.style.shadowColour >> 24)) || ((st & kStyleEdge) && (r.style.edgeColour >> 24));
    }
    bottom = lastLine + font->height + lowest + 1;
  }
  const int64_t width = right - left, height = bottom - top;
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return kErrInternalLimit;
  out->layoutWidth = wrapWidth > 0 && wrapWidth <= width ? int32_t(wrapWidth - left) : int32_t(width);
  int64_t x1 = left, y1 = top, x2 = left + width, y2 = top + height;
  if (window) {
    // Only what can be seen; an empty cut keeps one pixel with nothing in it.
    x1 = std::max(x1, window->x1), y1 = std::max(y1, window->y1);
    x2 = std::min(x2, window->x2), y2 = std::min(y2, window->y2);
    if (x2 <= x1) x2 = x1 + 1;
    if (y2 <= y1) y2 = y1 + 1;
    if (x1 < INT32_MIN / 2 || x1 > INT32_MAX / 2 || y1 < INT32_MIN / 2 || y1 > INT32_MAX / 2) return kErrInternalLimit;
  }
  out->offsetX = int32_t(x1);
  out->offsetY = int32_t(y1);
  out->width = int32_t(x2 - x1);
  out->height = int32_t(y2 - y1);
  out->bitmap.reset(AllocArgbBitMap(out->width, out->height));
  out->mask.reset(AllocMaskPlane(out->width, out->height, true));
  if (needAlpha) out->alpha.reset(AllocAlphaPlane(out->width, out->height, true));
  if (!out->bitmap || !out->mask || (needAlpha && !out->alpha)) return *out = {}, kErrOutOfMemory;
  std::memset(out->bitmap->pixels, 0, size_t(out->bitmap->bytesPerRow) * out->height);

  // Paints [cov] at (px, py) of the picture in [colour]: the colour where
  // covered, the mask bit, and the coverage times the opacity as alpha.
  auto paint = [&](const Coverage& cov, int64_t px, int64_t py, uint32_t colour) {
    const uint32_t opacity = 255 - (colour >> 24);
    const uint32_t rgb = colour & 0xFFFFFF;
    const int64_t y0 = std::max<int64_t>(0, -py), y1 = std::min<int64_t>(cov.height, out->height - py);
    const int64_t x0 = std::max<int64_t>(0, -px), x1 = std::min<int64_t>(cov.width, out->width - px);
    for (int64_t y = y0; y < y1; y++) {
      const size_t ty = size_t(py + y);
      const uint8_t* src = cov.data.data() + size_t(y) * cov.width;
      uint32_t* row = reinterpret_cast<uint32_t*>(out->bitmap->pixels + ty * out->bitmap->bytesPerRow);
      uint8_t* maskRow = out->mask->data + ty * out->mask->bytesPerRow;
      uint8_t* alphaRow = out->alpha ? out->alpha->data + ty * out->alpha->bytesPerRow : nullptr;
      for (int64_t x = x0; x < x1; x++) {
        // Runs of empty coverage go eight at a time.
        uint64_t eight;
        if (x + 8 <= x1 && (std::memcpy(&eight, src + x, 8), eight == 0)) {
          x += 7;
          continue;
        }
        const uint32_t a = src[x];
        if (!a) continue;
        const size_t tx = size_t(px + x);
        uint8_t& maskByte = maskRow[tx >> 3];
        const uint8_t bit = uint8_t(0x80 >> (tx & 7));
        uint32_t pixel = rgb;
        if (a < 255 && (maskByte & bit)) [[unlikely]] {
          // Antialiased edges over what is there: blend by coverage.
          pixel = 0;
          for (int s = 0; s < 24; s += 8) {
            const int32_t sc = (rgb >> s) & 0xFF, dc = (row[tx] >> s) & 0xFF;
            pixel |= uint32_t(uint8_t(dc + (((sc - dc) * int32_t(a)) >> 8))) << s;
          }
        }
        row[tx] = pixel;
        maskByte |= bit;
        if (alphaRow) {
          const uint8_t v = uint8_t(opacity == 255 ? a : a * opacity / 255);
          alphaRow[tx] = std::max(alphaRow[tx], v);
        }
      }
    }
  };

  for (const vkTextRun& r : runs) {
    const vkTextStyle& s = r.style;
    vkFont* f = s.font;
    const bool aa = (s.style & kStyleAntialias) != 0;
    const bool colourFont = f->engine == kFontAmigaColour;
    const bool synthetic = !aa && !colourFont && !FontEngineHasStyle(f);
    // The run's own coverage, with room left of the pen for negative ink.
    const int32_t padLeft = std::max(0, -r.metrics.minX) + 1;
    Coverage cov;
    cov.width = std::max(r.metrics.pixelWidth, r.metrics.advance) + padLeft + f->baseline / 2 + 2;
    cov.height = f->height + 1;  // the row below the line takes a thin font's underline
    // Where the run's pen lands in the whole picture, and in the cut one.
    if (int64_t{r.x} - left < 0 || int64_t{r.lineOffset} - top < 0) {
      std::printf("ERROR! EDGEDRAW CALLED WITH NEGATIVE X/Y!\n");
      continue;
    }
    const int64_t px = int64_t{r.x} - out->offsetX - padLeft;
    const int64_t py = int64_t{r.lineOffset} - out->offsetY;
    if (window) {
      // Edge and shadow reach at most this far beyond the run's coverage.
      const int64_t reach = int64_t{s.edgeSize} + s.shadowSize + 1;
      if (px + cov.width + reach <= 0 || py + cov.height + reach <= 0 || px - reach >= out->width ||
          py - reach >= out->height)
        continue;
    }
    cov.data.assign(size_t(cov.width) * cov.height, 0);
    vkPlanePtr plane(aa ? AllocAlphaPlane(cov.width, cov.height, true) : AllocMaskPlane(cov.width, cov.height, true));
    if (!plane) return *out = {}, kErrOutOfMemory;
    vkBitMapPtr colourPixels;
    vkTextTarget t;
    (aa ? t.alpha : t.mask) = plane.get();
    if (colourFont) {
      colourPixels.reset(AllocArgbBitMap(cov.width, cov.height));
      if (!colourPixels) return *out = {}, kErrOutOfMemory;
      t.bitmap = colourPixels.get();
    }
    if (uint32_t code = RenderFontText(f, t, padLeft, 0, r.text.data(), r.text.size(), s.style, r.encoding))
      return *out = {}, code;
    for (int32_t y = 0; y < cov.height; y++) {
      const uint8_t* src = plane->data + size_t(y) * plane->bytesPerRow;
      uint8_t* dst = cov.data.data() + size_t(y) * cov.width;
      if (aa) {
        std::memcpy(dst, src, size_t(cov.width));
      } else {
        for (int32_t x = 0; x < cov.width; x++) dst[x] = uint8_t(((src[x >> 3] >> (7 - (x & 7))) & 1) * 255);
      }
    }
    if (synthetic && (s.style & kStyleBold))
      for (int32_t y = 0; y < cov.height; y++)
        for (int32_t x = cov.width - 1; x > 0; x--) cov.at(x, y) |= cov.at(x - 1, y);
    if (synthetic && (s.style & kStyleItalic))
      for (int32_t y = 0; y < cov.height; y++) {
        const int32_t shift = f->baseline / 2 - y / 2;
        std::vector<uint8_t> row(cov.data.begin() + size_t(y) * cov.width, cov.data.begin() + size_t(y + 1) * cov.width);
        for (int32_t x = 0; x < cov.width; x++) {
          const int32_t from = x - shift;
          cov.at(x, y) = from >= 0 && from < cov.width ? row[from] : 0;
        }
      }
    if ((s.style & kStyleUnderlined) && !FontEngineHasStyle(f)) {
      const int32_t d = f->height - f->baseline;
      const int32_t thick = std::max(1, d / 3);
      const int32_t startRow = d == 0 ? f->baseline : d == 1 ? f->baseline + 1 : f->baseline + thick;
      const int32_t rows = d <= 1 ? 1 : thick;
      for (int32_t y = startRow; y < startRow + rows && y < cov.height; y++)
        for (int32_t x = padLeft; x < padLeft + r.metrics.advance && x < cov.width; x++) cov.at(x, y) = 255;
    }
    if (s.style & kStyleEdge) {
      const int32_t e = s.edgeSize;
      Coverage edge;
      edge.width = cov.width + 2 * e;
      edge.height = cov.height + 2 * e;
      edge.data.assign(size_t(edge.width) * edge.height, 0);
      if (aa) {
        // Coverage summed over the square of offsets by running sums along
        // rows and then columns (32-bit sums), divided by 2e + 1.
        std::vector<uint32_t> rowSums(size_t(edge.width) * cov.height, 0);
        for (int32_t y = 0; y < cov.height; y++) {
          uint32_t sum = 0;
          for (int32_t x = 0; x < edge.width; x++) {
            const int32_t addX = x, dropX = x - 2 * e - 1;
            if (addX >= 0 && addX < cov.width) sum += cov.at(addX, y);
            if (dropX >= 0 && dropX < cov.width) sum -= cov.at(dropX, y);
            rowSums[size_t(y) * edge.width + x] = sum;
          }
        }
        for (int32_t x = 0; x < edge.width; x++) {
          uint32_t sum = 0;
          for (int32_t y = 0; y < edge.height; y++) {
            const int32_t addY = y, dropY = y - 2 * e - 1;
            if (addY >= 0 && addY < cov.height) sum += rowSums[size_t(addY) * edge.width + x];
            if (dropY >= 0 && dropY < cov.height) sum -= rowSums[size_t(dropY) * edge.width + x];
            edge.at(x, y) = uint8_t(std::min<uint32_t>(255, sum / uint32_t(2 * e + 1)));
          }
        }
      } else {
        // Dilation by the square, separably: rows, then columns.
        std::vector<uint8_t> wide(size_t(edge.width) * cov.height, 0);
        for (int32_t y = 0; y < cov.height; y++)
          for (int32_t x = 0; x < cov.width; x++)
            if (cov.at(x, y))
              for (int32_t k = 0; k <= 2 * e; k++) wide[size_t(y) * edge.width + x + k] = 255;
        for (int32_t y = 0; y < cov.height; y++)
          for (int32_t x = 0; x < edge.width; x++)
            if (wide[size_t(y) * edge.width + x])
              for (int32_t k = 0; k <= 2 * e; k++) edge.at(x, y + k) = 255;
      }
      if (s.style & kStyleShadow) {
        int32_t dx, dy;
        ShadowOffset(s.shadowDirection, s.shadowSize, &dx, &dy);
        paint(edge, px - e + dx, py - e + dy, s.shadowColour);
      }
      paint(edge, px - e, py - e, s.edgeColour);
    } else if (s.style & kStyleShadow) {
      int32_t dx, dy;
      ShadowOffset(s.shadowDirection, s.shadowSize, &dx, &dy);
      paint(cov, px + dx, py + dy, s.shadowColour);
    }
    if (colourFont) {
      for (int32_t y = 0; y < cov.height; y++)
        for (int32_t x = 0; x < cov.width; x++) {
          if (!cov.at(x, y)) continue;
          const int64_t tx = px + x, ty = py + y;
          if (tx < 0 || ty < 0 || tx >= out->width || ty >= out->height) continue;
          const bool glyph = ReadBitMapPixel(plane.get(), x, y) != 0;
          const uint32_t colour = glyph ? ReadBitMapPixel(colourPixels.get(), x, y) & 0xFFFFFF : s.fontColour & 0xFFFFFF;
          Coverage one;
          one.width = one.height = 1;
          one.data = {255};
          paint(one, tx, ty, colour | (s.fontColour & 0xFF000000u));
        }
    } else {
      paint(cov, px, py, s.fontColour);
    }
  }
  return 0;
}

uint32_t LayoutText(vkState* L, vkTextLayout* layout, bool plain, vkTextPicture* out, const vkTextWindow* window) {
  std::vector<vkTextRun> runs;
  layout->plain = plain;
  uint32_t code = LayoutRuns(L, layout, plain, &runs);
  vkFont* font = FontOf(L, layout->style);
  if (code == 0) code = EdgeDraw(runs, font, layout->wrapWidth, out, window);
  ScaleFont(font, 1.0, 1.0);
  return code;
}
