// Display windows on SDL. A window is placed by its frame's top-left with the
// content size; what it shows lives in its own surface, so that it keeps its
// pixels between presents. In a full screen (screenmodes.cpp) the windows are
// placed in the mode's area, and the one that covers it all becomes a
// full-screen window.
#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/errorcodes.h"
#include "base/maskbits.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/screenmodes.h"
#include "platform/linux/windows.h"
#include "platform/vkos_display.h"
#include "platform/vkos_files.h"

namespace {

constexpr int32_t kDefaultRefreshRate = 60;
constexpr int32_t kPointerSize = 16;
constexpr int32_t kMinimumSize = 16;

void ReadRefreshRate() {
  int32_t rate = gPlatform.refreshOverride;
  SDL_DisplayMode mode;
  if (rate <= 0 && SDL_GetCurrentDisplayMode(0, &mode) == 0) rate = mode.refresh_rate;
  if (rate > 0) gPlatform.refreshRate = rate;
  if (gPlatform.refreshRate <= 0) gPlatform.refreshRate = kDefaultRefreshRate;
  gPlatform.frameRate = gPlatform.refreshRate;
}

// The window system offers drops of files while an open window takes them
// (text is never taken).
void UpdateDropReceiver() {
  if (!gPlatform.video) return;
  bool wanted = false;
  for (const vkOSDisplay* os : gPlatform.windows) wanted = wanted || os->dropFiles != 0;
  const int state = wanted ? SDL_ENABLE : SDL_DISABLE;
  for (const SDL_EventType type : {SDL_DROPBEGIN, SDL_DROPFILE, SDL_DROPCOMPLETE}) SDL_EventState(type, state);
  SDL_EventState(SDL_DROPTEXT, SDL_DISABLE);
}

// The window's content position on the desktop.
void ContentPosition(const vkOSDisplay& os, int32_t* x, int32_t* y) {
  ScreenOrigin(x, y);
  *x += os.x + os.borderLeft;
  *y += os.y + os.borderTop;
}

// Hit test of borderless windows: the drag regions move the window, the size
// regions of a sizeable one resize it from its bottom-right corner.
SDL_HitTestResult HitTest(SDL_Window*, const SDL_Point* point, void* data) {
  const auto* os = static_cast<const vkOSDisplay*>(data);
  auto inside = [point](const vkOSWindowRegion& r) {
    return point->x >= r.x && point->x < r.x + r.width && point->y >= r.y && point->y < r.y + r.height;
  };
  if ((os->flags & VKOS_WINDOW_FIXED) == 0)
    for (const vkOSWindowRegion& r : os->dragRegions)
      if (inside(r)) return SDL_HITTEST_DRAGGABLE;
  if ((os->flags & VKOS_WINDOW_SIZEABLE) != 0)
    for (const vkOSWindowRegion& r : os->sizeRegions)
      if (inside(r)) return SDL_HITTEST_RESIZE_BOTTOMRIGHT;
  return SDL_HITTEST_NORMAL;
}

// A window shape from the shape planes: opaque where the alpha is not 0.
bool ApplyShape(SDL_Window* window, const vkOSDisplay& os, const vkOSPlaneView* mask, const vkOSPlaneView* alpha) {
  std::vector<uint8_t> plane(static_cast<size_t>(os.width) * static_cast<size_t>(os.height), 0);
  if (alpha != nullptr) {
    const int32_t rows = std::min(os.height, alpha->height), columns = std::min(os.width, alpha->width);
    for (int32_t y = 0; y < rows; y++)
      std::memcpy(&plane[static_cast<size_t>(y) * static_cast<size_t>(os.width)],
                  alpha->data + static_cast<ptrdiff_t>(y) * alpha->bytesPerRow, static_cast<size_t>(columns));
  } else {
    ExpandMaskToAlpha(mask->data, mask->bytesPerRow, plane.data(), os.width, std::min(os.width, mask->width),
                      std::min(os.height, mask->height));
  }
  SDL_Surface* shape = SDL_CreateRGBSurfaceWithFormat(0, os.width, os.height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (shape == nullptr) return false;
  for (int32_t y = 0; y < os.height; y++) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(shape->pixels) + static_cast<ptrdiff_t>(y) * shape->pitch);
    for (int32_t x = 0; x < os.width; x++)
      row[x] = uint32_t{plane[static_cast<size_t>(y) * static_cast<size_t>(os.width) + static_cast<size_t>(x)]} << 24;
  }
  SDL_WindowShapeMode mode;
  mode.mode = ShapeModeBinarizeAlpha;
  mode.parameters.binarizationCutoff = 1;
  const bool ok = SDL_SetWindowShape(window, shape, &mode) == 0;
  SDL_FreeSurface(shape);
  return ok;
}

void Unlist(vkOSDisplay* os) {
  auto& list = gPlatform.windows;
  list.erase(std::remove(list.begin(), list.end(), os), list.end());
}

void RaiseInList(vkOSDisplay* os) {
  Unlist(os);
  gPlatform.windows.push_back(os);
}

}  // namespace

vkOSWindow::~vkOSWindow() {
  if (window != nullptr) SDL_DestroyWindow(window);
}

vkOSDisplay* FindWindowDisplay(uint32_t windowId) {
  for (vkOSDisplay* os : gPlatform.windows)
    if (os->window && os->window->windowId == windowId) return os;
  return nullptr;
}

SDL_Surface* WindowSurface(const vkOSDisplay* os) {
  if (os == nullptr || !os->window || os->window->window == nullptr) return nullptr;
  return SDL_GetWindowSurface(os->window->window);
}

int vkosAllocDisplay(vkDisplay* display, vkOSDisplay** out) {
  *out = new (std::nothrow) vkOSDisplay;
  if (*out == nullptr) return kErrOutOfMemory;
  (*out)->display = display;
  return 0;
}

void vkosFreeDisplay(vkOSDisplay* os) {
  if (os == nullptr) return;
  vkosCloseWindow(os);
  delete os;
}

int vkosOpenWindow(vkOSDisplay* os, int activate, const vkOSPlaneView* shapeMask, const vkOSPlaneView* shapeAlpha) {
  if (os->window) vkosCloseWindow(os);
  if (!WindowSystem() || os->width < 1 || os->height < 1) return kErrOpenWindow;
  RememberDesktop();
  ReadRefreshRate();
  auto w = std::make_shared<vkOSWindow>();
  const vkScreenState& screen = gPlatform.screen;
  // The window that covers a full screen's whole area gets the desktop.
  w->fullScreen = screen.fullScreen && os->x <= 0 && os->y <= 0 && os->x + os->width >= screen.modeWidth &&
                  os->y + os->height >= screen.modeHeight;
  const bool wantShape = (shapeMask != nullptr && shapeMask->data != nullptr) ||
                         (shapeAlpha != nullptr && shapeAlpha->data != nullptr);
  Uint32 flags = SDL_WINDOW_HIDDEN;
  if ((os->flags & VKOS_WINDOW_BORDERLESS) != 0 || screen.fullScreen) flags |= SDL_WINDOW_BORDERLESS;
  if ((os->flags & VKOS_WINDOW_SIZEABLE) != 0 && !screen.fullScreen) flags |= SDL_WINDOW_RESIZABLE;
  const std::string title = vkosLatin1ToUtf8(os->title.c_str());
  int32_t cx = 0, cy = 0;
  ContentPosition(*os, &cx, &cy);
  int32_t surfaceWidth = os->width, surfaceHeight = os->height;
  if (w->fullScreen) {
    ScreenOrigin(&w->offsetX, &w->offsetY);
    w->offsetX += os->x;
    w->offsetY += os->y;
    cx = cy = 0;
    FullScreenSize(&surfaceWidth, &surfaceHeight);
    surfaceWidth = std::max(surfaceWidth, os->width);
    surfaceHeight = std::max(surfaceHeight, os->height);
  }
  os->shaped = 0;
  if (wantShape && !w->fullScreen) {
    w->window = SDL_CreateShapedWindow(title.c_str(), static_cast<unsigned>(cx), static_cast<unsigned>(cy),
                                       static_cast<unsigned>(os->width), static_cast<unsigned>(os->height),
                                       flags | SDL_WINDOW_BORDERLESS);
    if (w->window != nullptr && ApplyShape(w->window, *os, shapeMask, shapeAlpha)) {
      os->shaped = 1;
    } else if (w->window != nullptr) {
      SDL_DestroyWindow(w->window);
      w->window = nullptr;
    }
    // Where the window system has no shaped windows: a plain borderless one.
    flags |= SDL_WINDOW_BORDERLESS;
  }
  if (w->window == nullptr)
    w->window = SDL_CreateWindow(title.c_str(), cx, cy, surfaceWidth, surfaceHeight, flags);
  if (w->window == nullptr) return kErrOpenWindow;
  w->windowId = SDL_GetWindowID(w->window);
  w->expectX = cx;
  w->expectY = cy;
  if (w->fullScreen) EnterFullScreen(w->window);
  ApplyFadeLevel(w->window);
  SDL_SetWindowMinimumSize(w->window, kMinimumSize, kMinimumSize);
  if ((flags & SDL_WINDOW_BORDERLESS) != 0 && !w->fullScreen) SDL_SetWindowHitTest(w->window, HitTest, os);
  SDL_Surface* surface = SDL_GetWindowSurface(w->window);
  if (surface == nullptr) {
    if (SDL_GetError()[0] != '\0' && std::strstr(SDL_GetError(), "memory") != nullptr) return kErrOutOfMemory;
    return kErrOpenWindow;
  }
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  os->window = w;
  os->pendingScreenMode = -1;
  os->shown = 1;
  RaiseInList(os);
  UpdateDropReceiver();
  SDL_ShowWindow(w->window);
  // A shaped window is made away from the screen and brought to its place.
  if (os->shaped != 0) SDL_SetWindowPosition(w->window, cx, cy);
  if (activate != 0) SDL_RaiseWindow(w->window);
  PresentWindow(*w, 0);
  return 0;
}

void vkosCloseWindow(vkOSDisplay* os) {
  if (!os->window) return;
  Unlist(os);
  os->window.reset();
  os->shaped = 0;
  os->focus = 0;
  UpdateDropReceiver();
}

void vkosGetWindowBorders(vkOSDisplay* os) {
  os->borderLeft = os->borderTop = os->borderWidth = os->borderHeight = 0;
  if ((os->flags & VKOS_WINDOW_BORDERLESS) != 0 || gPlatform.screen.fullScreen || !WindowSystem()) return;
  // The frame is the window manager's: ask an open window, else a probe.
  SDL_Window* probe = os->window ? os->window->window : SDL_CreateWindow("", 0, 0, 64, 64, SDL_WINDOW_HIDDEN);
  if (probe == nullptr) return;
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(probe, &top, &left, &bottom, &right) == 0) {
    os->borderLeft = left;
    os->borderTop = top;
    os->borderWidth = left + right;
    os->borderHeight = top + bottom;
  }
  if (!os->window) SDL_DestroyWindow(probe);
}

void vkosSizeWindow(vkOSDisplay* os) {
  if (!os->window) return;
  vkOSWindow& w = *os->window;
  if (!w.fullScreen) {
    SDL_SetWindowSize(w.window, os->width, os->height);
    vkosMoveWindow(os);
  }
  // A new size makes a new surface, which starts black.
  if (SDL_Surface* surface = SDL_GetWindowSurface(w.window))
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
}

void vkosMoveWindow(vkOSDisplay* os) {
  if (!os->window || os->window->fullScreen) return;
  int32_t x = 0, y = 0;
  ContentPosition(*os, &x, &y);
  os->window->expectX = x;
  os->window->expectY = y;
  SDL_SetWindowPosition(os->window->window, x, y);
}

void vkosSetWindowTitle(vkOSDisplay* os) {
  if (os->window) SDL_SetWindowTitle(os->window->window, vkosLatin1ToUtf8(os->title.c_str()).c_str());
}

int vkosShowHideWindow(vkOSDisplay* os, int hide) {
  if (!os->window || gPlatform.screen.fullScreen) return 0;
  if (hide != 0) SDL_MinimizeWindow(os->window->window);
  else SDL_RestoreWindow(os->window->window);
  return 0;
}

void vkosActivateWindow(vkOSDisplay* os) {
  if (!os->window) return;
  SDL_RaiseWindow(os->window->window);
  RaiseInList(os);
}

int vkosEnableDropFiles(vkOSDisplay*) {
  UpdateDropReceiver();
  return 0;
}

int vkosCanResizeDisplay(vkOSDisplay*, int32_t, int32_t) { return 1; }

void vkosUpdateWindowRegions(vkOSDisplay*) {}

bool vkosGrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, std::vector<uint32_t>* out) {
  if (width < 1 || height < 1 || !WindowSystem()) return false;
  out->assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  int32_t originX = 0, originY = 0;
  ScreenOrigin(&originX, &originY);
  for (const vkOSDisplay* os : gPlatform.windows) {
    SDL_Window* window = os->window->window;
    if ((SDL_GetWindowFlags(window) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) != 0) continue;
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface == nullptr) continue;
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(window, &wx, &wy);
    if (os->window->fullScreen) wx = wy = 0;
    // The surface's rectangle in the grab's coordinates, clipped to the grab.
    const int32_t left = wx - originX - x, top = wy - originY - y;
    const int32_t x0 = std::max(0, left), y0 = std::max(0, top);
    const int32_t x1 = std::min(width, left + surface->w), y1 = std::min(height, top + surface->h);
    for (int32_t gy = y0; gy < y1; gy++) {
      const auto* src = static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(gy - top) * surface->pitch;
      for (int32_t gx = x0; gx < x1; gx++) {
        uint32_t pixel = 0;
        std::memcpy(&pixel, src + static_cast<ptrdiff_t>(gx - left) * surface->format->BytesPerPixel,
                    surface->format->BytesPerPixel);
        Uint8 r, g, b;
        SDL_GetRGB(pixel, surface->format, &r, &g, &b);
        (*out)[static_cast<size_t>(gy) * static_cast<size_t>(width) + static_cast<size_t>(gx)] =
            (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
      }
    }
  }
  return true;
}

bool vkosReadWindow(const vkOSDisplay* os, std::vector<uint32_t>* out) {
  SDL_Surface* surface = WindowSurface(os);
  if (surface == nullptr) return false;
  const int32_t ox = os->window->offsetX, oy = os->window->offsetY;
  out->assign(static_cast<size_t>(os->width) * static_cast<size_t>(os->height), 0);
  for (int32_t y = 0; y < os->height && y + oy < surface->h; y++) {
    if (y + oy < 0) continue;
    const auto* src = static_cast<const uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y + oy) * surface->pitch;
    for (int32_t x = 0; x < os->width && x + ox < surface->w; x++) {
      if (x + ox < 0) continue;
      uint32_t pixel = 0;
      std::memcpy(&pixel, src + static_cast<ptrdiff_t>(x + ox) * surface->format->BytesPerPixel,
                  surface->format->BytesPerPixel);
      Uint8 r, g, b;
      SDL_GetRGB(pixel, surface->format, &r, &g, &b);
      (*out)[static_cast<size_t>(y) * static_cast<size_t>(os->width) + static_cast<size_t>(x)] =
          (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
    }
  }
  return true;
}

int32_t vkosGetAttr(const vkOSDisplay* os, int32_t code) {
  switch (code) {
    case 5: {  // screen depth: the switched mode's, else the desktop's
      int32_t bits = SwitchedDepth();
      SDL_DisplayMode mode;
      if (bits == 0 && WindowSystem() && SDL_GetDesktopDisplayMode(0, &mode) == 0)
        bits = static_cast<int32_t>(SDL_BITSPERPIXEL(mode.format));
      if (bits == 0) return 32;
      return bits >= 24 ? 32 : bits;
    }
    case 6:
    case 7: {  // the pointer inside the display's window
      if (os == nullptr || !os->window || !gPlatform.video) return 0;
      int gx = 0, gy = 0, wx = 0, wy = 0;
      SDL_GetGlobalMouseState(&gx, &gy);
      SDL_GetWindowPosition(os->window->window, &wx, &wy);
      return code == 6 ? gx - wx - os->window->offsetX : gy - wy - os->window->offsetY;
    }
    case 12:
    case 13:
      return kPointerSize;
    case 14:
    case 15: {
      if (gPlatform.screen.fullScreen) return code == 14 ? gPlatform.screen.modeWidth : gPlatform.screen.modeHeight;
      SDL_DisplayMode mode;
      if (!WindowSystem() || SDL_GetDesktopDisplayMode(0, &mode) != 0) return 0;
      return code == 14 ? mode.w : mode.h;
    }
    case 16:
      return gPlatform.frameRate;
    case 20:
      return 1;
    case 22:  // no menu bar over the screen
    default:
      return 0;
  }
}
