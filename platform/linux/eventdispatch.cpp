// The dispatch of window-system events. An event of a display window goes to
// the input translation with the window's record; an exposed window shows
// its surface again; a clipboard another program changed is told to the
// displays that watch it. A quit request (an interrupt or termination signal, or
// the session closing) asks every display to close, as its close box would,
// and with no display at all stops the script, so that a running script can
// always be interrupted.
#include "platform/linux/eventdispatch.h"

#include "platform/linux/clipboard.h"
#include "platform/linux/cursors.h"
#include "platform/linux/inputtranslate.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/screenmodes.h"
#include "platform/linux/windows.h"

void RequestQuit() {
  if (gPlatform.hooks.quitRequested == nullptr || !gPlatform.hooks.quitRequested(gPlatform.hooks.state)) gPlatform.stickyStop = true;
}

namespace {

// The SDL window an event concerns; 0 for none.
uint32_t WindowOf(const SDL_Event& event) {
  switch (event.type) {
    case SDL_WINDOWEVENT:
      return event.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      return event.key.windowID;
    case SDL_TEXTINPUT:
      return event.text.windowID;
    case SDL_MOUSEMOTION:
      return event.motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      return event.button.windowID;
    case SDL_MOUSEWHEEL:
      return event.wheel.windowID;
    case SDL_DROPBEGIN:
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPCOMPLETE:
      return event.drop.windowID;
    default:
      return 0;
  }
}

}  // namespace

void DispatchEvent(const SDL_Event& event) {
  if (event.type == SDL_QUIT) {
    RequestQuit();
    return;
  }
  if (event.type == SDL_CLIPBOARDUPDATE) {
    ClipboardChangedElsewhere();
    return;
  }
  if (vkOSDisplay* os = FindWindowDisplay(WindowOf(event))) {
    TranslateEvent(event, *os, MonotonicMicros(), gPlatform.screen.fullScreen);
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED)
      PresentWindow(*os->window, MonotonicMicros());
    // The window with the focus or the mouse shows its display's pointer.
    if (event.type == SDL_WINDOWEVENT &&
        (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || event.window.event == SDL_WINDOWEVENT_ENTER))
      ApplyPointer(*os);
  } else if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED) {
    ExposeScreenWindow(event.window.windowID);
  }
  if (event.type == SDL_DROPFILE || event.type == SDL_DROPTEXT) SDL_free(event.drop.file);
}

void SettleWindows() {
  bool pending = false;
  for (const vkOSDisplay* os : gPlatform.windows) pending |= os->window->movePending || os->window->sizePending;
  if (!pending) return;  // the pointer is asked (a round trip to the server) only when needed
  const bool held = SDL_GetGlobalMouseState(nullptr, nullptr) != 0;
  const int64_t now = MonotonicMicros();
  for (vkOSDisplay* os : gPlatform.windows) SettleWindow(*os, now, held);
}
