// Mouse pointers of display windows on SDL's offscreen video driver, which
// shows no colour pointers: pointer records keep their images, a window
// shows its display's pointer when it has the focus (at once) or gets it
// (later), hiding and showing, a pointer that lives on while a display shows
// it, and moving the pointer into a window's input state.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/linux/cursors.h"
#include "platform/linux/eventdispatch.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "platform/vkos.h"
#include "platform/vkos_pointer.h"
#include "support/offscreen.h"

namespace {

class Pointers : public OffscreenTest {
 protected:
  vkOSDisplay* Open(bool focus) {
    vkOSDisplay* os = Record(64, 48);
    EXPECT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
    os->focus = focus ? 1 : 0;  // the offscreen driver gives no window the focus
    return os;
  }
  static std::shared_ptr<vkOSPointer> Make(int32_t width, int32_t height, int32_t hotX = 0, int32_t hotY = 0) {
    const std::vector<uint32_t> image(size_t(std::max(width, 1) * std::max(height, 1)), 0xFF00FF00u);
    return vkosCreatePointer(image.data(), hotX, hotY, width, height);
  }
  // What the window system shows: "hidden", "arrow", "builtin" or "custom".
  static std::string Shown() {
    const vkCursorSet& set = gPlatform.cursors;
    if (set.hidden) return SDL_ShowCursor(SDL_QUERY) == SDL_DISABLE ? "hidden" : "hidden but SDL shows one";
    if (SDL_ShowCursor(SDL_QUERY) != SDL_ENABLE) return "SDL hides it";
    switch (set.shownKind) {
      case VKOS_POINTER_SYSTEM: return "arrow";
      case VKOS_POINTER_BUILTIN: return "builtin";
      default: return "custom";
    }
  }
  static void Focus(const vkOSDisplay* os) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = os->window->windowId;
    event.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    DispatchEvent(event);
  }
};

TEST_F(Pointers, AreMadeFromImagesWithTheirHotSpotInside) {
  struct Case {
    int32_t width, height, hotX, hotY;
    bool made;
  } cases[] = {
      {16, 16, 0, 0, true},    {16, 16, 15, 15, true},  {1, 1, 0, 0, true},    {kMaxPointerSide, 2, 3, 1, true},
      {0, 16, 0, 0, false},    {16, 0, 0, 0, false},    {-4, 16, 0, 0, false}, {kMaxPointerSide + 1, 2, 0, 0, false},
      {16, 16, 16, 0, false},  {16, 16, 0, 16, false},  {16, 16, -1, 0, false},
  };
  for (const Case& c : cases) {
    std::shared_ptr<vkOSPointer> pointer = Make(c.width, c.height, c.hotX, c.hotY);
    EXPECT_EQ(pointer != nullptr, c.made) << c.width << "x" << c.height << " at " << c.hotX << "," << c.hotY;
    if (pointer) {
      EXPECT_EQ(pointer->argb.size(), size_t(c.width * c.height));
      EXPECT_EQ(pointer->cursor, nullptr);  // this driver shows none
    }
  }
  EXPECT_EQ(vkosCreatePointer(nullptr, 0, 0, 4, 4), nullptr);
}

TEST_F(Pointers, AFocusedWindowShowsItsPointerAtOnceAnotherWhenItGetsTheFocus) {
  vkOSDisplay* focused = Open(true);
  vkOSDisplay* other = Open(false);
  std::shared_ptr<vkOSPointer> pointer = Make(8, 8);
  struct Step {
    vkOSDisplay* os;
    void (*act)(vkOSDisplay* os, const std::shared_ptr<vkOSPointer>& pointer);
    const char* shown;
  } steps[] = {
      {focused, [](vkOSDisplay* os, const auto& p) { vkosSetPointer(os, p, VKOS_POINTER_CUSTOM); }, "custom"},
      {focused, [](vkOSDisplay* os, const auto&) { vkosHidePointer(os); }, "hidden"},
      {focused, [](vkOSDisplay* os, const auto&) { vkosShowPointer(os); }, "custom"},
      {focused, [](vkOSDisplay* os, const auto&) { vkosSetPointer(os, nullptr, VKOS_POINTER_BUILTIN); }, "builtin"},
      {focused, [](vkOSDisplay* os, const auto&) { vkosHidePointer(os); }, "hidden"},
      // Setting a pointer shows it again.
      {focused, [](vkOSDisplay* os, const auto&) { vkosSetPointer(os, nullptr, VKOS_POINTER_SYSTEM); }, "arrow"},
      // A window without the focus changes nothing shown.
      {other, [](vkOSDisplay* os, const auto& p) { vkosSetPointer(os, p, VKOS_POINTER_CUSTOM); }, "arrow"},
      {other, [](vkOSDisplay* os, const auto&) { vkosHidePointer(os); }, "arrow"},
      // Until it gets the focus.
      {other, [](vkOSDisplay* os, const auto&) { Focus(os); }, "hidden"},
      {other, [](vkOSDisplay* os, const auto&) { vkosShowPointer(os); }, "custom"},
      {focused, [](vkOSDisplay* os, const auto&) { Focus(os); }, "arrow"},
      // A custom kind without a pointer shows the arrow.
      {focused, [](vkOSDisplay* os, const auto&) { vkosSetPointer(os, nullptr, 7); }, "arrow"},
  };
  int n = 0;
  for (const Step& s : steps) {
    s.act(s.os, pointer);
    EXPECT_EQ(Shown(), s.shown) << "step " << n;
    n++;
  }
  vkosRestoreArrowPointer();
  EXPECT_EQ(Shown(), "arrow");
}

TEST_F(Pointers, LiveOnWhileADisplayShowsThemAfterTheirOwnerDroppedThem) {
  vkOSDisplay* os = Open(true);
  std::shared_ptr<vkOSPointer> pointer = Make(4, 4);
  std::weak_ptr<vkOSPointer> watch = pointer;
  vkosSetPointer(os, pointer, VKOS_POINTER_CUSTOM);
  vkosFreePointer(pointer);
  EXPECT_FALSE(watch.expired());
  Focus(os);  // shows it again: read under the sanitizer
  EXPECT_EQ(gPlatform.cursors.shown, watch.lock().get());
  vkosSetPointer(os, nullptr, VKOS_POINTER_SYSTEM);
  EXPECT_TRUE(watch.expired());

  // A display freed while it shows a pointer lets it go.
  pointer = Make(4, 4);
  watch = pointer;
  vkosSetPointer(os, pointer, VKOS_POINTER_CUSTOM);
  pointer.reset();
  made_.clear();
  vkosFreeDisplay(os);
  EXPECT_TRUE(watch.expired());
}

TEST_F(Pointers, MovingPutsThePointerIntoTheWindowsInputState) {
  vkOSDisplay* os = Open(true);
  os->input.pointerMoved = 0;
  vkosMovePointer(os, 10, 20);
  EXPECT_EQ(os->input.pointerX, 10);
  EXPECT_EQ(os->input.pointerY, 20);
  EXPECT_EQ(os->input.pointerMoved, 1u);
  int x = -1, y = -1;
  SDL_GetMouseState(&x, &y);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, 20);

  // A closed window has nowhere to move it.
  vkosCloseWindow(os);
  os->input.pointerMoved = 0;
  vkosMovePointer(os, 30, 40);
  EXPECT_EQ(os->input.pointerMoved, 0u);
  EXPECT_EQ(os->input.pointerX, 10);
}

}  // namespace
