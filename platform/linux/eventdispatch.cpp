// The dispatch of window-system events. Windows, keys and the mouse have no
// handlers yet; a quit request (an interrupt or termination signal, or the
// session closing) asks every display to close, as its close box would, and
// with no display at all stops the script, so that a running script can
// always be interrupted.
#include "platform/linux/eventdispatch.h"

#include "graphics/displays.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos_display.h"
#include "runtime/eventqueue.h"

namespace {

void RequestQuit() {
  if (DisplayList == nullptr) {
    gPlatform.stickyStop = true;
    return;
  }
  for (vkDisplay* d = DisplayList; d != nullptr; d = d->next) {
    PostEvent(d, EVENT_CLOSEWINDOW, 0, 0, 0);
    if (d->os != nullptr) d->os->closeRequest = 1;
  }
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
