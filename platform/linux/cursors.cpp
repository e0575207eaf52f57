// Mouse pointers as SDL cursors. The built-in pointer is drawn here: a ring
// with a dot in its centre, white with a dark outline, 46 x 46 pixels with
// its hot spot at (23, 23). SDL shows one pointer for all windows, so the
// pointer of a display is set when its window gets the focus or the mouse.
#include "platform/linux/cursors.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"

namespace {

constexpr int kBuiltinSize = 46;
constexpr int kBuiltinHotSpot = 23;

// The built-in pointer's pixels: white where the distance from the centre is
// near the ring's radius or the dot's, a dark edge around both.
std::vector<uint32_t> BuiltinImage() {
  constexpr double kRing = 12.0, kDot = 1.5;
  std::vector<uint32_t> pixels(kBuiltinSize * kBuiltinSize, 0);
  for (int y = 0; y < kBuiltinSize; y++) {
    for (int x = 0; x < kBuiltinSize; x++) {
      const double d = std::hypot(x - kBuiltinHotSpot, y - kBuiltinHotSpot);
      const double edge = std::min(std::fabs(d - kRing), d - kDot);
      uint32_t& p = pixels[static_cast<size_t>(y * kBuiltinSize + x)];
      if (edge <= 1.0) p = 0xFFFFFFFFu;
      else if (edge <= 2.0) p = 0xFF202020u;
    }
  }
  return pixels;
}

}  // namespace

SDL_Cursor* vkosCursorFromImage(const uint32_t* argb, int width, int height, int hotX, int hotY) {
  if (!gPlatform.video) return nullptr;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), width, height, 32,
                                                            width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (surface == nullptr) return nullptr;
  SDL_Cursor* cursor = SDL_CreateColorCursor(surface, hotX, hotY);
  SDL_FreeSurface(surface);
  return cursor;
}

SDL_Cursor* vkosArrowCursor() {
  if (!gPlatform.video) return nullptr;
  if (gPlatform.cursors.arrow == nullptr) gPlatform.cursors.arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  return gPlatform.cursors.arrow;
}

void vkosSetCursor(SDL_Cursor* cursor) {
  if (cursor != nullptr) SDL_SetCursor(cursor);
}

void vkosReleaseCursor(SDL_Cursor* cursor) {
  if (cursor != nullptr) SDL_FreeCursor(cursor);
}

SDL_Cursor* BuiltinPointer() {
  if (gPlatform.cursors.builtin == nullptr) {
    const std::vector<uint32_t> image = BuiltinImage();
    gPlatform.cursors.builtin = vkosCursorFromImage(image.data(), kBuiltinSize, kBuiltinSize, kBuiltinHotSpot, kBuiltinHotSpot);
  }
  return gPlatform.cursors.builtin;
}

SDL_Cursor* EmptyPointer() {
  if (gPlatform.cursors.empty == nullptr) {
    const uint32_t transparent = 0;
    gPlatform.cursors.empty = vkosCursorFromImage(&transparent, 1, 1, 0, 0);
  }
  return gPlatform.cursors.empty;
}

void ReleasePointers() {
  for (SDL_Cursor** cursor : {&gPlatform.cursors.builtin, &gPlatform.cursors.empty, &gPlatform.cursors.arrow}) {
    vkosReleaseCursor(*cursor);
    *cursor = nullptr;
  }
  for (const std::weak_ptr<vkOSPointer>& made : gPlatform.cursors.made) {
    if (std::shared_ptr<vkOSPointer> pointer = made.lock()) {
      vkosReleaseCursor(pointer->cursor);
      pointer->cursor = nullptr;
    }
  }
  gPlatform.cursors.made.clear();
}

vkOSPointer::~vkOSPointer() { vkosReleaseCursor(cursor); }

void ApplyPointer(const vkOSDisplay& os) {
  vkCursorSet& set = gPlatform.cursors;
  if (!gPlatform.video) return;
  if (os.pointerHidden != 0) {
    SDL_ShowCursor(SDL_DISABLE);
    set.hidden = true;
    return;
  }
  const bool custom = os.pointerKind != VKOS_POINTER_SYSTEM && os.pointerKind != VKOS_POINTER_BUILTIN;
  SDL_Cursor* cursor = nullptr;
  if (os.pointerKind == VKOS_POINTER_BUILTIN) cursor = BuiltinPointer();
  else if (custom && os.pointer) cursor = os.pointer->cursor;
  // A pointer the driver cannot show, or none: the arrow.
  if (cursor == nullptr) cursor = vkosArrowCursor();
  vkosSetCursor(cursor);
  SDL_ShowCursor(SDL_ENABLE);
  set.hidden = false;
  set.shownKind = custom && !os.pointer ? VKOS_POINTER_SYSTEM : (custom ? VKOS_POINTER_CUSTOM : os.pointerKind);
  set.shown = custom ? os.pointer.get() : nullptr;
}

namespace {

// Shows [os]'s pointer at once when its window has the focus.
void ApplyIfFocused(const vkOSDisplay& os) {
  if (os.focus != 0 && os.window) ApplyPointer(os);
}

}  // namespace

std::shared_ptr<vkOSPointer> vkosCreatePointer(const uint32_t* argb, int32_t hotX, int32_t hotY, int32_t width,
                                               int32_t height) {
  if (argb == nullptr || width < 1 || height < 1 || width > kMaxPointerSide || height > kMaxPointerSide)
    return nullptr;
  if (hotX < 0 || hotY < 0 || hotX >= width || hotY >= height) return nullptr;
  std::shared_ptr<vkOSPointer> pointer(new (std::nothrow) vkOSPointer);
  if (!pointer) return nullptr;
  try {
    pointer->argb.assign(argb, argb + size_t(width) * size_t(height));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  pointer->width = width;
  pointer->height = height;
  pointer->hotX = hotX;
  pointer->hotY = hotY;
  if (WindowSystem()) {
    pointer->cursor = vkosCursorFromImage(pointer->argb.data(), width, height, hotX, hotY);
    // A driver that shows pointers but refused this one: no pointer. One
    // that shows none keeps the image alone.
    if (pointer->cursor == nullptr && SDL_GetDefaultCursor() != nullptr) return nullptr;
    if (pointer->cursor != nullptr) {
      auto& made = gPlatform.cursors.made;
      made.erase(std::remove_if(made.begin(), made.end(), [](const auto& m) { return m.expired(); }), made.end());
      made.push_back(pointer);
    }
  }
  return pointer;
}

void vkosFreePointer(std::shared_ptr<vkOSPointer>& pointer) { pointer.reset(); }

void vkosSetPointer(vkOSDisplay* os, std::shared_ptr<vkOSPointer> pointer, int32_t kind) {
  const bool custom = kind != VKOS_POINTER_SYSTEM && kind != VKOS_POINTER_BUILTIN;
  os->pointerKind = custom ? VKOS_POINTER_CUSTOM : kind;
  os->pointer = custom ? std::move(pointer) : nullptr;
  os->pointerHidden = 0;
  ApplyIfFocused(*os);
}

void vkosShowPointer(vkOSDisplay* os) {
  os->pointerHidden = 0;
  ApplyIfFocused(*os);
}

void vkosHidePointer(vkOSDisplay* os) {
  os->pointerHidden = 1;
  ApplyIfFocused(*os);
}

void vkosMovePointer(vkOSDisplay* os, int32_t x, int32_t y) {
  if (!os->window) return;
  vkOSWindow& w = *os->window;
  const int32_t wx = x + w.offsetX, wy = y + w.offsetY;
  SDL_WarpMouseInWindow(w.window, wx, wy);
  // The window system reports the move only where it has the pointer (not
  // headless, and not always at once): the window notes it now.
  w.pointerX = wx;
  w.pointerY = wy;
  vkTimeValue stamp;
  vkosGetTimeValue(&stamp);
  vkosNotePointer(&os->input, wx, wy, stamp);
}

void vkosRestoreArrowPointer() {
  if (!gPlatform.started || !gPlatform.video) return;
  vkosSetCursor(vkosArrowCursor());
  SDL_ShowCursor(SDL_ENABLE);
  gPlatform.cursors.hidden = false;
  gPlatform.cursors.shownKind = VKOS_POINTER_SYSTEM;
  gPlatform.cursors.shown = nullptr;
}
