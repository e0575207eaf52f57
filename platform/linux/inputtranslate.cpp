// SDL events to input events. Buttons: SDL's 1, 2 and 3 (left, middle,
// right) post codes 1, 16 and 2. Named and function keys post their program
// codes at once; a printable key waits for the character the keyboard layout
// types (the text event) and posts that, and its release posts the same code
// again. Window moves and resizes by the user are posted once they settle;
// the close box posts 7 and leaves the window open; the files of one drop
// are posted together.
#include "platform/linux/inputtranslate.h"

#include <memory>
#include <string>

#include "platform/eventqueue.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "platform/vkos_files.h"

namespace {

constexpr uint32_t kEscapeCode = 275;

struct NamedKey {
  SDL_Keycode key;
  uint32_t code;
};

// Keys without a character of their own, and the codes scripts know them by.
constexpr NamedKey kNamedKeys[] = {
    {SDLK_BACKSPACE, 271}, {SDLK_TAB, 272},     {SDLK_RETURN, 274},   {SDLK_ESCAPE, 275},
    {SDLK_SPACE, 276},     {SDLK_DELETE, 277},  {SDLK_UP, 256},       {SDLK_DOWN, 257},
    {SDLK_RIGHT, 258},     {SDLK_LEFT, 259},    {SDLK_HELP, 260},     {SDLK_INSERT, 260},
    {SDLK_HOME, 281},      {SDLK_END, 282},     {SDLK_PAGEUP, 283},   {SDLK_PAGEDOWN, 284},
    {SDLK_KP_ENTER, 273},  {SDLK_F1, 261},      {SDLK_F2, 262},       {SDLK_F3, 263},
    {SDLK_F4, 264},        {SDLK_F5, 265},      {SDLK_F6, 266},       {SDLK_F7, 267},
    {SDLK_F8, 268},        {SDLK_F9, 269},      {SDLK_F10, 270},      {SDLK_F11, 278},
    {SDLK_F12, 279},       {SDLK_F13, 287},     {SDLK_F14, 288},      {SDLK_F15, 289},
    {SDLK_F16, 290},
};

// Keys that type a character: its code comes with the text event.
bool TypesCharacter(SDL_Keycode key) {
  return (key > 32 && key < 256 && key != SDLK_DELETE) || (key >= SDLK_KP_DIVIDE && key <= SDLK_KP_PERIOD) ||
         key == SDLK_KP_EQUALS;
}

void Post(vkOSDisplay& os, uint32_t type, uint32_t data1 = 0, uint32_t data2 = 0, uint32_t data3 = 0,
          std::unique_ptr<vkEventPayload> payload = nullptr) {
  PostEvent(os.display, type, data1, data2, data3, std::move(payload));
}

void PostKey(vkOSDisplay& os, uint32_t code, bool down) {
  // A release posts the code its press posted, so the key state follows the code.
  vkosNoteKey(&os.input, kPhysicalKeyCount, code, down);
  Post(os, EVENT_KEY, down ? 1 : 0, 0, code);
  if (code == kEscapeCode) os.escapeSeen = 1;
}

bool MayModeSwitch(const vkOSDisplay& os) {
  if ((os.flags & VKOS_WINDOW_NOMODESWITCH) != 0) return false;
  return gPlatform.hooks.mayModeSwitch == nullptr || gPlatform.hooks.mayModeSwitch(gPlatform.hooks.state, os.display);
}

void TranslateKey(const SDL_KeyboardEvent& key, vkOSDisplay& os, vkOSWindow& w, bool fullScreen) {
  const bool down = key.type == SDL_KEYDOWN;
  const SDL_Scancode scancode = key.keysym.scancode;
  const SDL_Keycode sym = key.keysym.sym;
  if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return;
  uint16_t& pressed = w.pressedCode[static_cast<size_t>(scancode)];
  if (!down) {
    // Command-Return switches between full screen and window on its release.
    if (sym == SDLK_RETURN && (key.keysym.mod & (KMOD_GUI | KMOD_ALT)) != 0 && MayModeSwitch(os)) {
      os.pendingScreenMode = fullScreen ? 0 : 1;
      Post(os, EVENT_MODESWITCH);
    }
    if (w.awaitingText == scancode) w.awaitingText = SDL_SCANCODE_UNKNOWN;
    // The code its press posted; a named key also without one, unless under Control.
    uint32_t code = pressed;
    if (code == 0 && (key.keysym.mod & KMOD_CTRL) == 0) code = NamedKeyCode(sym);
    if (code != 0) PostKey(os, code, false);
    pressed = 0;
    return;
  }
  // Under Control nothing is posted; Control-C asks the pump to stop.
  if ((key.keysym.mod & KMOD_CTRL) != 0) {
    if (sym == SDLK_c) os.ctrlCSeen = 1;
    return;
  }
  if (const uint32_t code = NamedKeyCode(sym); code != 0) {
    pressed = static_cast<uint16_t>(code);
    PostKey(os, code, true);
  } else if (TypesCharacter(sym)) {
    w.awaitingText = scancode;  // the text event that follows brings the code
  }
}

// Each character typed, as ISO 8859-1; characters beyond it are not posted.
void TranslateText(const SDL_TextInputEvent& text, vkOSDisplay& os, vkOSWindow& w) {
  const std::optional<std::string> latin1 = vkosUtf8ToLatin1(text.text);
  if (!latin1) return;
  for (const char c : *latin1) {
    const auto code = static_cast<uint8_t>(c);
    if (code < 32) continue;
    if (w.awaitingText != SDL_SCANCODE_UNKNOWN) {
      // The character of the key held down: its release posts the same code.
      w.pressedCode[static_cast<size_t>(w.awaitingText)] = code;
      w.awaitingText = SDL_SCANCODE_UNKNOWN;
      PostKey(os, code, true);
    } else {
      // Composed or entered without a key of its own: pressed and released.
      PostKey(os, code, true);
      PostKey(os, code, false);
    }
  }
}

void TranslateWindowEvent(const SDL_WindowEvent& event, vkOSDisplay& os, vkOSWindow& w, int64_t now, bool fullScreen) {
  switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      os.focus = 1;
      Post(os, EVENT_ACTIVEWINDOW);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      os.focus = 0;
      w.pressedCode.fill(0);  // the keys held are forgotten
      w.awaitingText = SDL_SCANCODE_UNKNOWN;
      vkosClearInput(&os.input);
      Post(os, EVENT_INACTIVEWINDOW);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      os.shown = 2;
      Post(os, EVENT_HIDEWINDOW);
      break;
    case SDL_WINDOWEVENT_RESTORED:
      if (os.shown != 2) break;
      os.shown = 1;
      Post(os, EVENT_SHOWWINDOW);
      break;
    case SDL_WINDOWEVENT_CLOSE:
      os.closeRequest = 1;
      Post(os, EVENT_CLOSEWINDOW);
      break;
    case SDL_WINDOWEVENT_MOVED:
      // The program's own moves and a full screen's windows are not the user's.
      if (fullScreen || (event.data1 == w.expectX && event.data2 == w.expectY)) break;
      w.expectX = event.data1;
      w.expectY = event.data2;
      os.x = event.data1 - os.borderLeft;
      os.y = event.data2 - os.borderTop;
      w.movePending = true;
      w.settleFrom = now;
      break;
    case SDL_WINDOWEVENT_RESIZED:  // by the user; the program's own sizes are not reported so
      if (event.data1 == os.width && event.data2 == os.height) break;
      os.width = event.data1;
      os.height = event.data2;
      w.sizePending = true;
      w.settleFrom = now;
      break;
    default:
      break;
  }
}

}  // namespace

uint32_t NamedKeyCode(SDL_Keycode key) {
  for (const NamedKey& k : kNamedKeys)
    if (k.key == key) return k.code;
  return 0;
}

void TranslateEvent(const SDL_Event& event, vkOSDisplay& os, int64_t now, bool fullScreen) {
  vkOSWindow& w = *os.window;
  switch (event.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const bool down = event.type == SDL_MOUSEBUTTONDOWN;
      w.pointerX = event.button.x;
      w.pointerY = event.button.y;
      uint32_t type = 0;
      if (event.button.button == SDL_BUTTON_LEFT) type = EVENT_LEFTMOUSE;
      else if (event.button.button == SDL_BUTTON_MIDDLE) type = EVENT_MIDMOUSE;
      else if (event.button.button == SDL_BUTTON_RIGHT) type = EVENT_RIGHTMOUSE;
      if (type != 0) {
        const int which = type == EVENT_LEFTMOUSE ? VKOS_MOUSE_LEFT : type == EVENT_RIGHTMOUSE ? VKOS_MOUSE_RIGHT
                                                                                              : VKOS_MOUSE_MID;
        os.input.mouseDown[size_t(which)] = down ? 1 : 0;
        Post(os, type, static_cast<uint32_t>(event.button.x), static_cast<uint32_t>(event.button.y), down ? 1 : 0);
      }
      break;
    }
    case SDL_MOUSEWHEEL: {
      const int32_t delta = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
      Post(os, delta < 1 ? EVENT_WHEELDOWN : EVENT_WHEELUP);
      break;
    }
    case SDL_MOUSEMOTION: {
      w.pointerX = event.motion.x;
      w.pointerY = event.motion.y;
      vkTimeValue stamp;
      vkosGetTimeValue(&stamp);
      vkosNotePointer(&os.input, event.motion.x, event.motion.y, stamp);
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      TranslateKey(event.key, os, w, fullScreen);
      break;
    case SDL_TEXTINPUT:
      TranslateText(event.text, os, w);
      break;
    case SDL_WINDOWEVENT:
      TranslateWindowEvent(event.window, os, w, now, fullScreen);
      break;
    case SDL_DROPBEGIN:
      w.drops.clear();
      break;
    case SDL_DROPFILE:
      if (event.drop.file == nullptr || os.dropFiles == 0) break;
      // A name outside ISO 8859-1 could not be opened by a script: left out.
      if (std::optional<std::string> name = vkosUtf8ToLatin1(event.drop.file)) w.drops.push_back(std::move(*name));
      break;
    case SDL_DROPCOMPLETE:
      if (!w.drops.empty() && os.dropFiles != 0) {
        auto files = std::make_unique<vkEventPayload>(std::move(w.drops));
        Post(os, EVENT_DROPFILE, static_cast<uint32_t>(w.pointerX), static_cast<uint32_t>(w.pointerY), 0,
             std::move(files));
      }
      w.drops.clear();
      break;
    default:
      break;
  }
}

void SettleWindow(vkOSDisplay& os, int64_t now, bool buttonsHeld) {
  if (!os.window) return;
  vkOSWindow& w = *os.window;
  if ((!w.movePending && !w.sizePending) || buttonsHeld || now - w.settleFrom < kSettleDelay) return;
  if (w.movePending) Post(os, EVENT_MOVEWINDOW);
  if (w.sizePending) {
    os.resizePending = 1;
    Post(os, EVENT_SIZEWINDOW);
  }
  w.movePending = w.sizePending = false;
}
