// The dispatch of window-system events. Windows, keys and the mouse have no
// handlers yet; a quit request (an interrupt or termination signal, or the
// session closing) asks every display to close, as its close box would, and
// with no display at all stops the script, so that a running script can
// always be interrupted.
#include "platform/linux/eventdispatch.h"

#include "platform/linux/platform_state.h"

namespace {

void RequestQuit() {
  if (gPlatform.hooks.quitRequested == nullptr || !gPlatform.hooks.quitRequested()) gPlatform.stickyStop = true;
}

}  // namespace

void DispatchEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      RequestQuit();
      break;
    default:
      break;
  }
}
