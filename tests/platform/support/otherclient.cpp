// The other program through Xlib, kept apart so that Xlib's macros stay out
// of the tests. Without Xlib it never connects.
#include "otherclient.h"

#ifdef VK_HAVE_XLIB
#include <X11/Xlib.h>

struct OtherXClient::Connection {
  Display* display = nullptr;
  Window window = 0;
};

OtherXClient::OtherXClient(const char* display) : c_(std::make_unique<Connection>()) {
  c_->display = XOpenDisplay(display);
  if (c_->display != nullptr)
    c_->window = XCreateSimpleWindow(c_->display, DefaultRootWindow(c_->display), 0, 0, 1, 1, 0, 0, 0);
}

OtherXClient::~OtherXClient() {
  if (c_->display == nullptr) return;
  XDestroyWindow(c_->display, c_->window);
  XCloseDisplay(c_->display);
}

bool OtherXClient::Connected() const { return c_->display != nullptr; }

bool OtherXClient::TakeClipboard() {
  if (c_->display == nullptr) return false;
  const Atom clipboard = XInternAtom(c_->display, "CLIPBOARD", False);
  XSetSelectionOwner(c_->display, clipboard, c_->window, CurrentTime);
  XSync(c_->display, False);
  return XGetSelectionOwner(c_->display, clipboard) == c_->window;
}

#else

struct OtherXClient::Connection {};
OtherXClient::OtherXClient(const char*) : c_(std::make_unique<Connection>()) {}
OtherXClient::~OtherXClient() = default;
bool OtherXClient::Connected() const { return false; }
bool OtherXClient::TakeClipboard() { return false; }

#endif
