// Line input on the event queue: each pass pumps the window system's
// events, drops the expired ones, takes the key presses queued under the
// queue's lock, empties the queue and waits for the next event. Typed
// characters are printed as they come: as layers while the layers library
// takes text (so that backspace removes one), otherwise straight into the
// picture, which is then put back from a copy made when the input began.
#include "text/lineinput.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "base/errorcodes.h"
#include "base/numconv.h"
#include "engine/argcheck.h"
#include "engine/vmapi.h"
#include "graphics/graphicsstate.h"
#include "graphics/outputtargets.h"
#include "graphics/safeblt.h"
#include "pixel/bitmapops.h"
#include "platform/eventqueue.h"
#include "platform/vkos_events.h"
#include "text/textlib.h"
#include "text/textobjects.h"
#include "text/textstate.h"

namespace {

// Key codes the input reads.
constexpr int32_t kKeyBackspace = 271;
constexpr int32_t kKeyTab = 272;
constexpr int32_t kKeyEnter = 273;
constexpr int32_t kKeyReturn = 274;
constexpr int32_t kKeySpace = 276;

// The most characters a line holds; one more ends the input.
constexpr size_t kMaxLine = 1024;

bool IsDigit(int32_t c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(int32_t c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
// Letters of ISO 8859-1: the ASCII ones and the accented ones (not the
// multiplication and division signs).
bool IsLetter(int32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}
// Printable: ASCII graphic characters, the blank and the graphic characters
// of ISO 8859-1 from the no-break space on.
bool IsPrintable(int32_t c) { return (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF); }

// A typed character and where the cursor stood before it was printed.
struct vkTypedChar {
  char code;
  int32_t x, y;
};

// One line being read on [display]; puts the layers switch back when it
// goes, whatever ends the input.
class vkLineInput {
 public:
  vkLineInput(vkState* L, vkDisplay* display, int32_t type, int32_t maximum, bool password)
      : L_(L), d_(display), type_(type), maximum_(maximum), password_(password), oldLayers_(display->layersOn) {
    vkTextRunState& trs = TextRunState(L);
    asLayers_ = trs.addTextLayer != nullptr && TextObjects(L).removeTextLayer != nullptr;
  }
  ~vkLineInput() { d_->layersOn = oldLayers_; }

  int32_t Run(std::string* out) {
    if (asLayers_) {
      d_->layersOn = 1;
    } else if (d_->backBuffer) {
      vkBitMap* copy = nullptr;
      const vkBitMap* b = d_->backBuffer;
      if (int32_t rc = CopyBitMapRect(b, nullptr, nullptr, 0, 0, b->width, b->height, &copy, nullptr, nullptr))
        return rc;
      picture_.reset(copy);
    }
    const int32_t startX = d_->textCursorX, startY = d_->textCursorY;
    int32_t rc = ReadKeys();
    std::string text, shown;
    for (const vkTypedChar& c : typed_) text.push_back(c.code), shown.push_back(Shown(c.code));
    const vkTypedChar first = typed_.empty() ? vkTypedChar{0, d_->textCursorX, d_->textCursorY} : typed_[0];
    if (rc == 0) rc = TakeBack(typed_.size());
    d_->layersOn = oldLayers_;
    if (rc != 0) {
      d_->textCursorX = startX, d_->textCursorY = startY;
      return rc;
    }
    d_->textCursorX = first.x, d_->textCursorY = first.y;
    if (!shown.empty())
      if (uint32_t code = PrintText(L_, shown, true)) return int32_t(code);
    *out = std::move(text);
    return 0;
  }

 private:
  char Shown(char c) const { return password_ ? '*' : c; }

  // The loop over the event queue until the line ends or the pump stops.
  int32_t ReadKeys() {
    for (;;) {
      if (vkosPumpEvents(L_) != 0) return 0;
      ExpireEvents();
      std::vector<int32_t> keys;
      {
        vkEventQueue& queue = ProgramEventQueue();
        std::lock_guard<std::recursive_mutex> lock(queue.Mutex());
        vkEventInfo e;
        for (size_t n = 0; GetEvent(n, e, false) != 0; n++)
          if (e.type == EVENT_KEY && e.down) keys.push_back(e.further);
        RemoveEvents(-1, false);
      }
      for (int32_t key : keys) {
        bool done = false;
        if (int32_t rc = Key(key, &done)) return rc;
        if (done) return 0;
      }
      vkosWaitEvent();
    }
  }

  // One key press; *[done] when it ends the line.
  int32_t Key(int32_t key, bool* done) {
    if (key == kKeyBackspace) {
      if (typed_.empty()) return 0;
      const vkTypedChar last = typed_.back();
      if (int32_t rc = TakeBack(1)) return rc;
      d_->textCursorX = last.x, d_->textCursorY = last.y;
      return 0;
    }
    if (key == kKeyReturn || key == kKeyEnter) {
      d_->textCursorX = d_->textMarginLeft;
      d_->textCursorY += TextHeight();
      *done = true;
      return 0;
    }
    if (key == kKeyTab || key == kKeySpace) key = ' ';
    if (key < 0 || key > 255 || !InputAccepts(type_, key)) return 0;
    if (maximum_ > 0 && typed_.size() >= size_t(maximum_)) return 0;
    if (typed_.size() >= kMaxLine) {
      *done = true;
      return 0;
    }
    typed_.push_back({char(key), d_->textCursorX, d_->textCursorY});
    if (uint32_t code = PrintText(L_, std::string(1, Shown(char(key))), true)) {
      typed_.pop_back();
      return int32_t(code);
    }
    return 0;
  }

  int32_t TextHeight() {
    const vkTextState& ts = GetTextState(L_);
    const vkFont* font = ts.style.font ? ts.style.font : FontState(L_).builtin.get();
    return font->height;
  }

  // Removes the last [n] echoed characters from the picture.
  int32_t TakeBack(size_t n) {
    n = std::min(n, typed_.size());
    if (n == 0) return 0;
    if (asLayers_) {
      for (size_t i = 0; i < n; i++)
        if (int32_t rc = TextObjects(L_).removeTextLayer(L_, kTextKindPrint)) return rc;
      typed_.resize(typed_.size() - n);
      return 0;
    }
    typed_.resize(typed_.size() - n);
    if (!picture_) return 0;
    // The picture as it was before the input, then the characters kept.
    vkGraphicsState& gs = GraphicsState(L_);
    vkBlitRequest blit;
    blit.src = picture_.get();
    blit.width = blit.srcWidth = blit.dstWidth = picture_->width;
    blit.height = blit.srcHeight = blit.dstHeight = picture_->height;
    blit.flags = kBlitBackground | kBlitRecompose | kBlitIgnoreClip;
    SafeBlt(gs, blit);
    for (const vkTypedChar& c : typed_) {
      d_->textCursorX = c.x, d_->textCursorY = c.y;
      if (uint32_t code = PrintText(L_, std::string(1, Shown(c.code)), true)) return int32_t(code);
    }
    return 0;
  }

  vkState* L_;
  vkDisplay* d_;
  int32_t type_, maximum_;
  bool password_;
  uint32_t oldLayers_;
  bool asLayers_ = false;
  vkBitMapPtr picture_;  // the display's picture before the input (no layers)
  std::vector<vkTypedChar> typed_;
};

}  // namespace

bool InputAccepts(int32_t type, int32_t c) {
  switch (type) {
    case kInputAll: return IsPrintable(c);
    case kInputAlphanumerical: return c == ' ' || IsLetter(c) || IsDigit(c);
    case kInputAlphabetical: return c == ' ' || IsLetter(c);
    case kInputNumerical: return IsDigit(c);
    case kInputHexNumerical: return IsHexDigit(c);
    default: return false;
  }
}

int32_t ReadLine(vkState* L, int32_t type, int32_t maximum, bool password, std::string* out) {
  out->clear();
  vkGraphicsState& gs = GraphicsState(L);
  vkDisplay* d = gs.CurrentDisplay;
  if (!d || d->state == DISPSTATE_CLOSED) return kErrDisplayClosed;
  if (int32_t rc = OutputTargetError(gs)) return rc;
  if (type < kInputAll || type > kInputHexNumerical || maximum < 0) return kErrWrongUsage;
  vkLineInput input(L, d, type, maximum, password);
  return input.Run(out);
}

int cmdInKeyStr(vkState* L) {
  CheckArgCount(L, 1, 3);
  const int32_t type = vkDoubleToInt32(vmCheckNumber(L, 1));
  const int32_t maximum = vkDoubleToInt32(vmOptNumber(L, 2, 0));
  const bool password = vmOptNumber(L, 3, 0) != 0;
  std::string line;
  if (int32_t rc = ReadLine(L, type, maximum, password, &line)) return rc;
  vmPushLString(L, line.data(), line.size());
  return 1;
}
