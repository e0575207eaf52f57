// The main screen's modes and brightness on SDL. A full screen on a window
// system with screens switches the main screen to the closest mode SDL lists
// and holds it with a black full-screen window of that mode, behind the
// program's windows; without real screens (the offscreen and dummy drivers)
// the requested size is shown centred on the desktop. Fades set the
// brightness of the program's windows where the window system can change it,
// for as long as the program holds the fade reservation.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "base/errorcodes.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/screenmodes.h"
#include "platform/linux/windows.h"
#include "platform/vkos_display.h"
#include "platform/vkos_requesters.h"

namespace {

constexpr int64_t kFadeOutTime = 500000;          // microseconds, normal to black
constexpr int64_t kFadeInTime = 1000000;          // black to normal
constexpr int64_t kReservationTime = 10000000;    // a reservation lapses after this
constexpr uint32_t kFadeStepMillis = 10;

// The pixel format a mode of [depth] bits per pixel has; 0 takes the
// desktop's.
uint32_t FormatForDepth(int32_t depth) {
  if (depth <= 0) return 0;
  if (depth <= 8) return SDL_PIXELFORMAT_INDEX8;
  if (depth <= 15) return SDL_PIXELFORMAT_RGB555;
  if (depth <= 16) return SDL_PIXELFORMAT_RGB565;
  return SDL_PIXELFORMAT_RGB888;
}

SDL_DisplayMode HeldMode() {
  const vkScreenState& s = gPlatform.screen;
  SDL_DisplayMode mode{};
  mode.format = s.modeFormat;
  mode.w = s.modeWidth;
  mode.h = s.modeHeight;
  mode.refresh_rate = s.modeRefresh;
  return mode;
}

// Whether the main screen now shows [mode]'s size.
bool ScreenShows(const SDL_DisplayMode& mode) {
  SDL_DisplayMode now;
  return SDL_GetCurrentDisplayMode(0, &now) == 0 && now.w == mode.w && now.h == mode.h;
}

// Puts [window] into [mode] full screen and shows it black; false when the
// screen did not follow.
bool ShowInMode(SDL_Window* window, const SDL_DisplayMode& mode) {
  if (SDL_SetWindowDisplayMode(window, &mode) != 0) return false;
  if (SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) != 0) return false;
  SDL_ShowWindow(window);
  if (SDL_Surface* surface = SDL_GetWindowSurface(window)) {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    SDL_UpdateWindowSurface(window);
  }
  return ScreenShows(mode);
}

// The screen switched to [mode], held by the black window; false, with the
// screen as it was, when the switch did not take.
bool SwitchTo(const SDL_DisplayMode& mode) {
  vkScreenState& s = gPlatform.screen;
  if (s.black) {
    if (ShowInMode(s.black->window, mode)) return true;
    const SDL_DisplayMode held = HeldMode();
    ShowInMode(s.black->window, held);
    return false;
  }
  auto black = std::make_shared<vkOSWindow>();
  black->window = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED_DISPLAY(0), SDL_WINDOWPOS_UNDEFINED_DISPLAY(0), mode.w,
                                   mode.h, SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR);
  if (black->window == nullptr) return false;
  black->windowId = SDL_GetWindowID(black->window);
  ApplyFadeLevel(black->window);
  if (!ShowInMode(black->window, mode)) return false;  // closing the window puts the desktop back
  s.black = std::move(black);
  return true;
}

// The program's windows, the full screen's black one among them.
std::vector<SDL_Window*> FadedWindows() {
  std::vector<SDL_Window*> windows;
  if (gPlatform.screen.black) windows.push_back(gPlatform.screen.black->window);
  for (const vkOSDisplay* os : gPlatform.windows)
    if (os->window && os->window->window != nullptr) windows.push_back(os->window->window);
  return windows;
}

void SetLevel(float level) {
  gPlatform.fade.level = level;
  for (SDL_Window* window : FadedWindows()) SDL_SetWindowBrightness(window, level);
}

// Moves the fade under way to [now]; true while it has further to go.
bool Advance(int64_t now) {
  vkFadeState& f = gPlatform.fade;
  if (f.duration <= 0) return false;
  const double t = std::clamp(static_cast<double>(now - f.start) / static_cast<double>(f.duration), 0.0, 1.0);
  SetLevel(static_cast<float>(f.from + (f.to - f.from) * t));
  if (t < 1.0) return true;
  f.duration = 0;
  if (f.releaseAtEnd) f.held = 0;
  f.releaseAtEnd = false;
  return false;
}

// Fades from the present level to [to] at the pace of [fullTime] for the
// whole way; with [wait] until it is there.
void StartFade(float to, int64_t fullTime, bool release, bool wait) {
  vkFadeState& f = gPlatform.fade;
  f.from = f.level;
  f.to = to;
  f.start = MonotonicMicros();
  f.duration = std::max<int64_t>(1, std::llround(static_cast<double>(fullTime) * std::fabs(to - f.from)));
  f.releaseAtEnd = release;
  if (!wait) return;
  while (Advance(MonotonicMicros())) SDL_Delay(kFadeStepMillis);
}

}  // namespace

void RememberDesktop() {
  vkScreenState& s = gPlatform.screen;
  if (s.desktopKnown) return;
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return;
  s.desktopWidth = mode.w;
  s.desktopHeight = mode.h;
  s.desktopKnown = true;
}

void FullScreenSize(int32_t* width, int32_t* height) {
  const vkScreenState& s = gPlatform.screen;
  *width = s.switched ? s.modeWidth : s.desktopWidth;
  *height = s.switched ? s.modeHeight : s.desktopHeight;
}

void ScreenOrigin(int32_t* x, int32_t* y) {
  *x = *y = 0;
  const vkScreenState& s = gPlatform.screen;
  if (!s.fullScreen) return;
  int32_t width = 0, height = 0;
  FullScreenSize(&width, &height);
  *x = (width - s.modeWidth) / 2;
  *y = (height - s.modeHeight) / 2;
}

void EnterFullScreen(SDL_Window* window) {
  if (gPlatform.screen.switched) {
    const SDL_DisplayMode mode = HeldMode();
    SDL_SetWindowDisplayMode(window, &mode);
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN);
  } else {
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  }
}

void ExposeScreenWindow(uint32_t windowId) {
  const std::shared_ptr<vkOSWindow>& black = gPlatform.screen.black;
  if (black && black->windowId == windowId) SDL_UpdateWindowSurface(black->window);
}

int32_t SwitchedDepth() {
  return gPlatform.screen.switched ? static_cast<int32_t>(SDL_BITSPERPIXEL(gPlatform.screen.modeFormat)) : 0;
}

void ApplyFadeLevel(SDL_Window* window) {
  if (gPlatform.fade.level != 1.0f) SDL_SetWindowBrightness(window, gPlatform.fade.level);
}

void StepScreenFade(int64_t now) {
  vkFadeState& f = gPlatform.fade;
  if (f.held == 0 && f.duration <= 0) return;
  Advance(now);
  if (f.held != 0 && now - f.grantedAt >= kReservationTime) {
    f.held = 0;
    f.duration = 0;
    f.releaseAtEnd = false;
    SetLevel(1.0f);
  }
}

void ReleaseScreen() {
  if (gPlatform.fade.level != 1.0f) SetLevel(1.0f);
  gPlatform.fade.held = 0;
  gPlatform.fade.duration = 0;
  vkosRestoreScreenMode();
}

int vkosSwitchScreenMode(int32_t width, int32_t height, int32_t depth) {
  if (width < 1 || height < 1 || !WindowSystem()) return kErrOpenScreen;
  RememberDesktop();
  vkScreenState& s = gPlatform.screen;
  if (!s.desktopKnown) return kErrOpenScreen;
  if (!vkosHasWindowSystem()) {
    s.fullScreen = true;
    s.modeWidth = width;
    s.modeHeight = height;
    return 0;
  }
  SDL_DisplayMode wanted{};
  wanted.format = FormatForDepth(depth);
  wanted.w = width;
  wanted.h = height;
  SDL_DisplayMode mode;
  if (SDL_GetClosestDisplayMode(0, &wanted, &mode) == nullptr || mode.w < 1 || mode.h < 1) return kErrOpenScreen;
  if (!SwitchTo(mode)) return kErrOpenScreen;
  s.fullScreen = true;
  s.switched = true;
  s.modeWidth = mode.w;
  s.modeHeight = mode.h;
  s.modeFormat = mode.format;
  s.modeRefresh = mode.refresh_rate;
  return 0;
}

void vkosRestoreScreenMode() {
  vkScreenState& s = gPlatform.screen;
  if (s.switched) {
    // Every full-screen window of the mode leaves it, the black one closes,
    // and the screen goes back to the desktop's mode.
    for (const vkOSDisplay* os : gPlatform.windows)
      if (os->window && os->window->fullScreen) SDL_SetWindowFullscreen(os->window->window, 0);
    s.black.reset();
  }
  s.fullScreen = false;
  s.switched = false;
  s.modeWidth = s.modeHeight = 0;
  s.modeFormat = 0;
  s.modeRefresh = 0;
}

int vkosIsFullScreen() { return gPlatform.screen.fullScreen ? 1 : 0; }

void vkosPrepareScreenMode(bool windowMode, bool backfill, bool hideTitleBar) {
  vkScreenState& s = gPlatform.screen;
  if (windowMode && !backfill) {
    s.usableArea = true;
    return;
  }
  if (windowMode && !hideTitleBar) return;
  s.menuBarUsable = true;
}

void vkosSetFullScreenUIMode(int32_t) {}

void vkosGetUsableScreenArea(int32_t area[4]) {
  area[0] = area[1] = area[2] = area[3] = 0;
  const vkScreenState& s = gPlatform.screen;
  if (s.fullScreen) {
    area[2] = s.modeWidth;
    area[3] = s.modeHeight;
    return;
  }
  if (!WindowSystem()) return;
  SDL_Rect r;
  if (s.usableArea) {
    if (SDL_GetDisplayUsableBounds(0, &r) != 0) return;
  } else {
    // No menu bar over the screen: with or without it usable, the whole screen.
    if (SDL_GetDisplayBounds(0, &r) != 0) return;
  }
  area[0] = r.x;
  area[1] = r.y;
  area[2] = r.w;
  area[3] = r.h;
}

void vkosFadeOut(int32_t* reservation, int wait) {
  if (reservation == nullptr) return;
  *reservation = 0;
  vkFadeState& f = gPlatform.fade;
  if (!vkosHasWindowSystem() || f.held != 0) return;
  // Granted only where the window system takes a brightness for our windows.
  bool settable = false;
  for (SDL_Window* window : FadedWindows()) settable = SDL_SetWindowBrightness(window, f.level) == 0 || settable;
  if (!settable) return;
  if (++f.lastToken <= 0) f.lastToken = 1;
  f.held = f.lastToken;
  f.grantedAt = MonotonicMicros();
  *reservation = f.held;
  StartFade(0.0f, kFadeOutTime, false, wait != 0);
}

void vkosFadeIn(int32_t reservation, int wait) {
  vkFadeState& f = gPlatform.fade;
  if (reservation == 0 || reservation != f.held) return;
  if (FadedWindows().empty()) {
    // Nothing of ours left on the screen to bring back: done at once.
    f.level = 1.0f;
    f.duration = 0;
    f.held = 0;
    return;
  }
  StartFade(1.0f, kFadeInTime, true, wait != 0);
}
