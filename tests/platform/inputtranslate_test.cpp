// The translation of window-system events into input events, fed made-up SDL
// events without video: a table of event sequences and the events each
// leaves queued, then the requests it leaves for the pump (close, Ctrl-C,
// Escape, mode switch, resize), moves and sizes settling, and drops.
#include <SDL.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/eventqueue.h"
#include "platform/linux/inputtranslate.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "support/offscreen.h"

namespace {

SDL_Event Button(bool down, Uint8 button, Sint32 x, Sint32 y) {
  SDL_Event e{};
  e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
  e.button.button = button;
  e.button.x = x;
  e.button.y = y;
  return e;
}

SDL_Event Wheel(Sint32 y, bool flipped = false) {
  SDL_Event e{};
  e.type = SDL_MOUSEWHEEL;
  e.wheel.y = y;
  e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
  return e;
}

// The physical key of [sym] on a US layout (SDL's own lookup needs video).
SDL_Scancode ScancodeOf(SDL_Keycode sym) {
  if (sym >= SDLK_a && sym <= SDLK_z) return SDL_Scancode(SDL_SCANCODE_A + (sym - SDLK_a));
  if (sym >= SDLK_1 && sym <= SDLK_9) return SDL_Scancode(SDL_SCANCODE_1 + (sym - SDLK_1));
  if ((sym & SDLK_SCANCODE_MASK) != 0) return SDL_Scancode(sym & ~SDLK_SCANCODE_MASK);
  switch (sym) {
    case SDLK_SPACE: return SDL_SCANCODE_SPACE;
    case SDLK_RETURN: return SDL_SCANCODE_RETURN;
    case SDLK_ESCAPE: return SDL_SCANCODE_ESCAPE;
    case SDLK_TAB: return SDL_SCANCODE_TAB;
    case SDLK_BACKSPACE: return SDL_SCANCODE_BACKSPACE;
    case SDLK_DELETE: return SDL_SCANCODE_DELETE;
    default: return SDL_SCANCODE_UNKNOWN;
  }
}

SDL_Event Key(bool down, SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.keysym.sym = sym;
  e.key.keysym.scancode = ScancodeOf(sym);
  e.key.keysym.mod = mod;
  return e;
}

// A key at a physical place ([scancode]) that the layout reports as [sym].
SDL_Event KeyAt(bool down, SDL_Scancode scancode, SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
  SDL_Event e = Key(down, sym, mod);
  e.key.keysym.scancode = scancode;
  return e;
}

SDL_Event Text(const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
  return e;
}

SDL_Event Window(Uint8 kind, Sint32 data1 = 0, Sint32 data2 = 0) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = kind;
  e.window.data1 = data1;
  e.window.data2 = data2;
  return e;
}

struct Queued {
  uint32_t type, data1, data2, data3;
  bool operator==(const Queued&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Queued& q) {
  return out << "{" << q.type << ", " << q.data1 << ", " << q.data2 << ", " << q.data3 << "}";
}

struct TranslateCase {
  const char* name;
  std::vector<SDL_Event> in;
  std::vector<Queued> out;
};

const uint32_t kDown = 1, kUp = 0;

std::vector<TranslateCase> Cases() {
  const uint32_t left = EVENT_LEFTMOUSE, mid = EVENT_MIDMOUSE, right = EVENT_RIGHTMOUSE, key = EVENT_KEY;
  return {
      {"left button down and up", {Button(true, 1, 5, 7), Button(false, 1, 6, 8)},
       {{left, 5, 7, kDown}, {left, 6, 8, kUp}}},
      {"SDL's button 2 is the middle one", {Button(true, 2, 1, 2)}, {{mid, 1, 2, kDown}}},
      {"SDL's button 3 is the right one", {Button(false, 3, 3, 4)}, {{right, 3, 4, kUp}}},
      {"other buttons post nothing", {Button(true, 4, 0, 0), Button(true, 5, 0, 0)}, {}},
      {"wheel up and down", {Wheel(2), Wheel(-1)}, {{EVENT_WHEELUP, 0, 0, 0}, {EVENT_WHEELDOWN, 0, 0, 0}}},
      {"a wheel delta of 0 is down", {Wheel(0)}, {{EVENT_WHEELDOWN, 0, 0, 0}}},
      {"a flipped wheel turns round", {Wheel(1, true)}, {{EVENT_WHEELDOWN, 0, 0, 0}}},
      {"space is 276", {Key(true, SDLK_SPACE), Key(false, SDLK_SPACE)}, {{key, kDown, 0, 276}, {key, kUp, 0, 276}}},
      {"named keys",
       {Key(true, SDLK_ESCAPE), Key(true, SDLK_RETURN), Key(true, SDLK_BACKSPACE), Key(true, SDLK_TAB),
        Key(true, SDLK_DELETE), Key(true, SDLK_UP), Key(true, SDLK_DOWN), Key(true, SDLK_RIGHT), Key(true, SDLK_LEFT),
        Key(true, SDLK_HOME), Key(true, SDLK_END), Key(true, SDLK_PAGEUP), Key(true, SDLK_PAGEDOWN)},
       {{key, kDown, 0, 275}, {key, kDown, 0, 274}, {key, kDown, 0, 271}, {key, kDown, 0, 272},
        {key, kDown, 0, 277}, {key, kDown, 0, 256}, {key, kDown, 0, 257}, {key, kDown, 0, 258},
        {key, kDown, 0, 259}, {key, kDown, 0, 281}, {key, kDown, 0, 282}, {key, kDown, 0, 283},
        {key, kDown, 0, 284}}},
      {"keypad Enter is ENTER, the main key RETURN",
       {Key(true, SDLK_KP_ENTER), Key(false, SDLK_KP_ENTER), Key(true, SDLK_RETURN), Key(false, SDLK_RETURN)},
       {{key, kDown, 0, 273}, {key, kUp, 0, 273}, {key, kDown, 0, 274}, {key, kUp, 0, 274}}},
      {"function keys",
       {Key(true, SDLK_F1), Key(true, SDLK_F10), Key(true, SDLK_F11), Key(true, SDLK_F12), Key(true, SDLK_F13),
        Key(true, SDLK_F16)},
       {{key, kDown, 0, 261}, {key, kDown, 0, 270}, {key, kDown, 0, 278}, {key, kDown, 0, 279},
        {key, kDown, 0, 287}, {key, kDown, 0, 290}}},
      {"unmapped function keys post nothing", {Key(true, SDLK_F17), Key(false, SDLK_F17)}, {}},
      {"a printable key posts the character typed",
       {Key(true, SDLK_a, KMOD_SHIFT), Text("A"), Key(false, SDLK_a, KMOD_SHIFT)},
       {{key, kDown, 0, 'A'}, {key, kUp, 0, 'A'}}},
      {"its release posts the same code after Shift was let go",
       {Key(true, SDLK_1, KMOD_SHIFT), Text("!"), Key(false, SDLK_1)}, {{key, kDown, 0, '!'}, {key, kUp, 0, '!'}}},
      {"the layout decides the character",
       {KeyAt(true, SDL_SCANCODE_Y, SDLK_z), Text("z"), KeyAt(false, SDL_SCANCODE_Y, SDLK_z)},
       {{key, kDown, 0, 'z'}, {key, kUp, 0, 'z'}}},
      {"ISO 8859-1 characters keep their code", {Key(true, SDLK_e), Text("\xC3\xA9"), Key(false, SDLK_e)},
       {{key, kDown, 0, 0xE9}, {key, kUp, 0, 0xE9}}},
      {"characters beyond ISO 8859-1 post nothing", {Key(true, SDLK_e), Text("\xE2\x82\xAC"), Key(false, SDLK_e)}, {}},
      {"a key repeat posts another down", {Key(true, SDLK_x), Text("x"), Key(true, SDLK_x), Text("x"), Key(false, SDLK_x)},
       {{key, kDown, 0, 'x'}, {key, kDown, 0, 'x'}, {key, kUp, 0, 'x'}}},
      {"text without a key of its own is pressed and released", {Text("q")}, {{key, kDown, 0, 'q'}, {key, kUp, 0, 'q'}}},
      {"nothing under Control", {Key(true, SDLK_a, KMOD_LCTRL), Key(false, SDLK_a, KMOD_LCTRL)}, {}},
      {"Control-C posts no key", {Key(true, SDLK_c, KMOD_RCTRL), Key(false, SDLK_c, KMOD_RCTRL)}, {}},
      {"a key held when Control came is released",
       {Key(true, SDLK_SPACE), Key(false, SDLK_SPACE, KMOD_LCTRL)}, {{key, kDown, 0, 276}, {key, kUp, 0, 276}}},
      {"modifier keys alone post nothing", {Key(true, SDLK_LSHIFT), Key(false, SDLK_LSHIFT), Key(true, SDLK_CAPSLOCK)}, {}},
      {"Command-Return switches on its release and posts Return",
       {Key(true, SDLK_RETURN, KMOD_LGUI), Key(false, SDLK_RETURN, KMOD_LGUI)},
       {{key, kDown, 0, 274}, {EVENT_MODESWITCH, 0, 0, 0}, {key, kUp, 0, 274}}},
      {"focus", {Window(SDL_WINDOWEVENT_FOCUS_GAINED), Window(SDL_WINDOWEVENT_FOCUS_LOST)},
       {{EVENT_ACTIVEWINDOW, 0, 0, 0}, {EVENT_INACTIVEWINDOW, 0, 0, 0}}},
      {"a character held when the focus went posts no release",
       {Key(true, SDLK_x), Text("x"), Window(SDL_WINDOWEVENT_FOCUS_LOST), Key(false, SDLK_x)},
       {{key, kDown, 0, 'x'}, {EVENT_INACTIVEWINDOW, 0, 0, 0}}},
      {"minimised and restored",
       {Window(SDL_WINDOWEVENT_MINIMIZED), Window(SDL_WINDOWEVENT_RESTORED), Window(SDL_WINDOWEVENT_RESTORED)},
       {{EVENT_HIDEWINDOW, 0, 0, 0}, {EVENT_SHOWWINDOW, 0, 0, 0}}},
      {"the close box", {Window(SDL_WINDOWEVENT_CLOSE)}, {{EVENT_CLOSEWINDOW, 0, 0, 0}}},
      {"moves and sizes wait until they settle",
       {Window(SDL_WINDOWEVENT_MOVED, 50, 60), Window(SDL_WINDOWEVENT_RESIZED, 300, 200)}, {}},
  };
}

class Translate : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveEvents(-1, true);
    os_.window = std::make_shared<vkOSWindow>();
    os_.width = 320;
    os_.height = 200;
    os_.display = reinterpret_cast<vkDisplay*>(&os_);  // any address names the display
  }
  void TearDown() override { RemoveEvents(-1, true); }
  std::vector<Queued> TakeQueued() {
    std::vector<Queued> out;
    vkEventInfo info;
    for (size_t i = 0; GetEvent(i, info, false) != 0; i++) {
      out.push_back({info.type, 0, 0, 0});
      if (info.type == EVENT_KEY) out.back() = {info.type, uint32_t(info.down), uint32_t(info.key), uint32_t(info.further)};
      else if (info.type == EVENT_LEFTMOUSE || info.type == EVENT_RIGHTMOUSE || info.type == EVENT_MIDMOUSE ||
               info.type == EVENT_DROPFILE)
        out.back() = {info.type, uint32_t(info.x), uint32_t(info.y), uint32_t(info.down)};
      EXPECT_EQ(info.display, os_.display);
    }
    RemoveEvents(-1, true);
    return out;
  }
  vkOSDisplay os_;
};

TEST_F(Translate, EventsInQueuedEventsOut) {
  for (const TranslateCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    SetUp();
    for (const SDL_Event& e : c.in) TranslateEvent(e, os_, 0, false);
    EXPECT_EQ(TakeQueued(), c.out);
  }
}

TEST_F(Translate, RequestsForThePump) {
  TranslateEvent(Window(SDL_WINDOWEVENT_CLOSE), os_, 0, false);
  EXPECT_EQ(os_.closeRequest, 1u);
  EXPECT_TRUE(os_.window);  // the window stays open
  TranslateEvent(Key(true, SDLK_c, KMOD_LCTRL), os_, 0, false);
  EXPECT_EQ(os_.ctrlCSeen, 1u);
  TranslateEvent(Key(false, SDLK_ESCAPE), os_, 0, false);
  EXPECT_EQ(os_.escapeSeen, 1u);

  // Command (or Alt) and Return: to full screen from a window, and back.
  TranslateEvent(Key(false, SDLK_RETURN, KMOD_RALT), os_, 0, false);
  EXPECT_EQ(os_.pendingScreenMode, 1);
  TranslateEvent(Key(false, SDLK_RETURN, KMOD_LGUI), os_, 0, true);
  EXPECT_EQ(os_.pendingScreenMode, 0);
  os_.pendingScreenMode = -1;
  os_.flags = VKOS_WINDOW_NOMODESWITCH;
  TranslateEvent(Key(false, SDLK_RETURN, KMOD_LGUI), os_, 0, false);
  EXPECT_EQ(os_.pendingScreenMode, -1);
  os_.flags = 0;
  gPlatform.hooks.mayModeSwitch = [](vkState*, const vkDisplay*) { return false; };  // not the primary display
  TranslateEvent(Key(false, SDLK_RETURN, KMOD_LGUI), os_, 0, false);
  gPlatform.hooks.mayModeSwitch = nullptr;
  EXPECT_EQ(os_.pendingScreenMode, -1);
  EXPECT_EQ(TakeQueued(), (std::vector<Queued>{{EVENT_CLOSEWINDOW, 0, 0, 0},
                                               {EVENT_KEY, kUp, 0, 275},
                                               {EVENT_MODESWITCH, 0, 0, 0},
                                               {EVENT_KEY, kUp, 0, 274},
                                               {EVENT_MODESWITCH, 0, 0, 0},
                                               {EVENT_KEY, kUp, 0, 274},
                                               {EVENT_KEY, kUp, 0, 274},
                                               {EVENT_KEY, kUp, 0, 274}}));
}

TEST_F(Translate, MovesAndSizesArePostedOnceTheyHaveSettled) {
  os_.borderLeft = 2;
  os_.borderTop = 20;
  os_.window->expectX = 12;
  os_.window->expectY = 40;
  TranslateEvent(Window(SDL_WINDOWEVENT_MOVED, 12, 40), os_, 0, false);  // where the program put it
  SettleWindow(os_, kSettleDelay * 10, false);
  EXPECT_TRUE(TakeQueued().empty());

  TranslateEvent(Window(SDL_WINDOWEVENT_MOVED, 50, 60), os_, 1000, false);
  TranslateEvent(Window(SDL_WINDOWEVENT_MOVED, 52, 70), os_, 2000, false);
  TranslateEvent(Window(SDL_WINDOWEVENT_RESIZED, 400, 300), os_, 3000, false);
  EXPECT_EQ(os_.x, 50);  // the frame's top-left
  EXPECT_EQ(os_.y, 50);
  EXPECT_EQ(os_.width, 400);
  SettleWindow(os_, 3000 + kSettleDelay - 1, false);  // not still long enough
  SettleWindow(os_, 3000 + kSettleDelay, true);       // a button is still held
  EXPECT_TRUE(TakeQueued().empty());
  EXPECT_EQ(os_.resizePending, 0u);
  SettleWindow(os_, 3000 + kSettleDelay, false);
  EXPECT_EQ(TakeQueued(), (std::vector<Queued>{{EVENT_MOVEWINDOW, 0, 0, 0}, {EVENT_SIZEWINDOW, 0, 0, 0}}));
  EXPECT_EQ(os_.resizePending, 1u);
  SettleWindow(os_, kSettleDelay * 100, false);
  EXPECT_TRUE(TakeQueued().empty());  // once

  TranslateEvent(Window(SDL_WINDOWEVENT_MOVED, 0, 0), os_, 0, true);  // a full screen's window
  SettleWindow(os_, kSettleDelay * 100, false);
  EXPECT_TRUE(TakeQueued().empty());
}

SDL_Event Drop(Uint32 type, char* file = nullptr) {
  SDL_Event e{};
  e.type = type;
  e.drop.file = file;
  return e;
}

TEST_F(Translate, DroppedFilesArePostedTogetherOnce) {
  std::string first = "/tmp/a b.iff", second = "/tmp/caf\xC3\xA9.png", wide = "/tmp/\xE2\x82\xAC";
  auto dropThree = [&] {
    TranslateEvent(Drop(SDL_DROPBEGIN), os_, 0, false);
    TranslateEvent(Drop(SDL_DROPFILE, first.data()), os_, 0, false);
    TranslateEvent(Drop(SDL_DROPFILE, second.data()), os_, 0, false);
    TranslateEvent(Drop(SDL_DROPFILE, wide.data()), os_, 0, false);
    TranslateEvent(Drop(SDL_DROPCOMPLETE), os_, 0, false);
  };
  dropThree();
  EXPECT_TRUE(TakeQueued().empty());  // drops not enabled

  os_.dropFiles = 1;
  SDL_Event motion{};
  motion.type = SDL_MOUSEMOTION;
  motion.motion.x = 17;
  motion.motion.y = 23;
  TranslateEvent(motion, os_, 0, false);
  dropThree();
  vkEventInfo info;
  ASSERT_EQ(GetEvent(0, info, true), 1u);
  EXPECT_EQ(info.type, uint32_t(EVENT_DROPFILE));
  EXPECT_EQ(info.x, 17);
  EXPECT_EQ(info.y, 23);
  ASSERT_TRUE(info.payload);
  EXPECT_EQ(*info.payload, (vkEventPayload{"/tmp/a b.iff", "/tmp/caf\xE9.png"}));
  EXPECT_EQ(GetEvent(1, info, false), 0u);  // posted once
  RemoveEvents(-1, true);

  TranslateEvent(Drop(SDL_DROPCOMPLETE), os_, 0, false);  // an empty drop
  EXPECT_TRUE(TakeQueued().empty());
}

TEST_F(Translate, ADropPostedToAFullQueueIsFreed) {
  os_.dropFiles = 1;
  for (size_t i = 0; i < vkEventQueue::kCapacity; i++) PostEvent(nullptr, EVENT_WHEELUP, 0, 0, 0);
  std::string name = "/tmp/lost.iff";
  TranslateEvent(Drop(SDL_DROPBEGIN), os_, 0, false);
  TranslateEvent(Drop(SDL_DROPFILE, name.data()), os_, 0, false);
  TranslateEvent(Drop(SDL_DROPCOMPLETE), os_, 0, false);  // dropped: the sanitizer build sees no leak
  EXPECT_EQ(ProgramEventQueue().Count(), vkEventQueue::kCapacity);
  EXPECT_TRUE(os_.window->drops.empty());
}

// Key presses queued by the window system for an open window come out of
// the real pump with the codes scripts know them by, and leave the key
// state as the last press or release did.
class PumpedKeys : public OffscreenTest {};

TEST_F(PumpedKeys, EnterAndReturnReachTheQueueWithTheirOwnCodes) {
  vkOSDisplay* os = Record(16, 16);
  vkosGetWindowBorders(os);
  ASSERT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
  RemoveEvents(-1, true);
  const struct {
    SDL_Keycode sym;
    SDL_Scancode scancode;
    uint32_t code;
  } keys[] = {{SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 273}, {SDLK_RETURN, SDL_SCANCODE_RETURN, 274}};
  for (const auto& k : keys) {
    SCOPED_TRACE(k.code);
    for (const bool down : {true, false}) {
      SDL_Event e{};
      e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
      e.key.windowID = os->window->windowId;
      e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
      e.key.keysym.sym = k.sym;
      e.key.keysym.scancode = k.scancode;
      ASSERT_EQ(SDL_PushEvent(&e), 1);
      vkEventInfo info;
      for (int i = 0; i < 100 && GetEvent(0, info, false) == 0; i++) {
        gPlatform.lastPump = 0;
        vkosPumpEvents(nullptr);
      }
      ASSERT_EQ(GetEvent(0, info, false), 1u);
      EXPECT_EQ(info.type, uint32_t(EVENT_KEY));
      EXPECT_EQ(info.display, os->display);
      EXPECT_EQ(info.down, down ? 1 : 0);
      EXPECT_EQ(uint32_t(info.further), k.code);
      EXPECT_EQ(os->input.keyDown[k.code], down ? 1 : 0);
      RemoveEvents(-1, true);
    }
  }
}

}  // namespace
