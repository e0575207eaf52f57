// Presenting into display windows. Blits, fills, plots and lines draw
// straight into the window's own surface, which keeps them; the surface
// reaches the screen at a flush, or by itself once drawing has waited 16 ms
// (the pump and every wait present it). A flush paces the script to the
// frame-rate limit by absolute deadlines, one period after the previous one.
#include <SDL.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/platform_state.h"
#include "platform/linux/windows.h"
#include "platform/vkos_display.h"

namespace {

// A fine monotonic clock for pacing, in microseconds.
int64_t PreciseMicros() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

bool Drawable(const vkOSDisplay* os, uint32_t flags) {
  return os != nullptr && os->window && (os->windowState == 1 || (flags & VKOS_BLIT_ALWAYS) != 0);
}

// The surface takes ARGB words as they are when its pixels are 32-bit words
// with red, green and blue where ARGB has them.
bool TakesArgbWords(const SDL_Surface* surface) {
  return surface->format->format == SDL_PIXELFORMAT_RGB888 || surface->format->format == SDL_PIXELFORMAT_ARGB8888;
}

uint8_t* PixelAt(SDL_Surface* surface, int32_t x, int32_t y) {
  return static_cast<uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(y) * surface->pitch +
         static_cast<ptrdiff_t>(x) * surface->format->BytesPerPixel;
}

// Writes [count] ARGB words to the surface at (x, y); the span lies inside it.
void WriteSpan(SDL_Surface* surface, int32_t x, int32_t y, const uint32_t* argb, int32_t count) {
  if (TakesArgbWords(surface)) {
    std::memcpy(PixelAt(surface, x, y), argb, static_cast<size_t>(count) * 4);
    return;
  }
  SDL_ConvertPixels(count, 1, SDL_PIXELFORMAT_ARGB8888, argb, count * 4, surface->format->format,
                    PixelAt(surface, x, y), surface->pitch);
}

// The rectangle (x, y, width, height) of the content, shifted by the
// window's offset and cut to its surface; false when nothing is left.
bool ClipToSurface(const vkOSWindow& w, const SDL_Surface* surface, int32_t& x, int32_t& y, int32_t& width,
                   int32_t& height) {
  x += w.offsetX;
  y += w.offsetY;
  const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
  const int64_t x1 = std::min<int64_t>(int64_t{x} + width, surface->w);
  const int64_t y1 = std::min<int64_t>(int64_t{y} + height, surface->h);
  if (x1 <= x0 || y1 <= y0) return false;
  x = static_cast<int32_t>(x0);
  y = static_cast<int32_t>(y0);
  width = static_cast<int32_t>(x1 - x0);
  height = static_cast<int32_t>(y1 - y0);
  return true;
}

void PlotPixel(vkOSWindow& w, SDL_Surface* surface, int32_t x, int32_t y, Uint32 pixel) {
  x += w.offsetX;
  y += w.offsetY;
  if (x < 0 || y < 0 || x >= surface->w || y >= surface->h) return;
  std::memcpy(PixelAt(surface, x, y), &pixel, surface->format->BytesPerPixel);
}

Uint32 MapColour(const SDL_Surface* surface, uint32_t rgb) {
  return SDL_MapRGB(surface->format, static_cast<Uint8>(rgb >> 16), static_cast<Uint8>(rgb >> 8),
                    static_cast<Uint8>(rgb));
}

void SleepUntil(int64_t deadline) {
  const int64_t wait = deadline - PreciseMicros();
  if (wait > 0) std::this_thread::sleep_for(std::chrono::microseconds(wait));
}

}  // namespace

void MarkDirty(vkOSWindow& w, int64_t now) {
  if (w.dirty) return;
  w.dirty = true;
  w.dirtySince = now;
}

void PresentWindow(vkOSWindow& w, int64_t now) {
  SDL_UpdateWindowSurface(w.window);
  w.dirty = false;
  w.lastPresent = now;
}

void vkosBlitToWindow(const vkOSPixels& source, int32_t sx, int32_t sy, vkOSDisplay* os, int32_t dx, int32_t dy,
                      int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags) {
  if (!Drawable(os, flags) || source.pixels == nullptr || width < 1 || height < 1) return;
  SDL_Surface* surface = WindowSurface(os);
  if (surface == nullptr) return;
  vkOSWindow& w = *os->window;
  const bool scaled = scaledWidth > 0 && scaledHeight > 0;
  if (!scaled) {
    // The source rectangle cut to the source, the destination moving with it.
    if (sx < 0) { dx -= sx; width += sx; sx = 0; }
    if (sy < 0) { dy -= sy; height += sy; sy = 0; }
    width = std::min(width, source.width - sx);
    height = std::min(height, source.height - sy);
    int32_t x = dx + os->marginLeft, y = dy + os->marginTop, cw = width, ch = height;
    if (width < 1 || height < 1 || !ClipToSurface(w, surface, x, y, cw, ch)) return;
    // What clipping cut from the left and top comes off the source too.
    const int32_t srcX = sx + (x - w.offsetX - dx - os->marginLeft);
    const int32_t srcY = sy + (y - w.offsetY - dy - os->marginTop);
    for (int32_t row = 0; row < ch; row++)
      WriteSpan(surface, x, y + row,
                source.pixels + static_cast<ptrdiff_t>(srcY + row) * source.pixelsPerRow + srcX, cw);
  } else {
    int32_t x = os->marginLeft, y = os->marginTop, cw = scaledWidth, ch = scaledHeight;
    if (!ClipToSurface(w, surface, x, y, cw, ch)) return;
    const int32_t skipX = x - w.offsetX - os->marginLeft, skipY = y - w.offsetY - os->marginTop;
    // Nearest pixel: destination column c shows source column sx + c * width / scaled width.
    std::vector<int32_t> columns(static_cast<size_t>(cw));
    for (int32_t c = 0; c < cw; c++)
      columns[static_cast<size_t>(c)] =
          sx + static_cast<int32_t>(int64_t{skipX + c} * width / scaledWidth);
    const bool direct = TakesArgbWords(surface);
    std::vector<uint32_t> span(direct ? 0 : static_cast<size_t>(cw));
    int32_t lastRow = -1;  // the source row the previous window row showed
    for (int32_t row = 0; row < ch; row++) {
      const int32_t srcRow = sy + static_cast<int32_t>(int64_t{skipY + row} * height / scaledHeight);
      if (srcRow < 0 || srcRow >= source.height) continue;
      if (srcRow == lastRow) {  // a row stretched downwards: the one above again
        std::memcpy(PixelAt(surface, x, y + row), PixelAt(surface, x, y + row - 1),
                    static_cast<size_t>(cw) * surface->format->BytesPerPixel);
        continue;
      }
      lastRow = srcRow;
      const uint32_t* line = source.pixels + static_cast<ptrdiff_t>(srcRow) * source.pixelsPerRow;
      // Straight into the surface when it takes ARGB words.
      uint32_t* out = direct ? reinterpret_cast<uint32_t*>(PixelAt(surface, x, y + row)) : span.data();
      for (int32_t c = 0; c < cw; c++) {
        const int32_t col = columns[static_cast<size_t>(c)];
        out[c] = col >= 0 && col < source.width ? line[col] : 0;
      }
      if (!direct) WriteSpan(surface, x, y + row, span.data(), cw);
    }
  }
  MarkDirty(w, PreciseMicros());
}

void vkosFillRectOnWindow(vkOSDisplay* os, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t rgb) {
  if (!Drawable(os, 0)) return;
  SDL_Surface* surface = WindowSurface(os);
  if (surface == nullptr) return;
  x += os->marginLeft;
  y += os->marginTop;
  if (!ClipToSurface(*os->window, surface, x, y, width, height)) return;
  const SDL_Rect r{x, y, width, height};
  SDL_FillRect(surface, &r, MapColour(surface, rgb));
  MarkDirty(*os->window, PreciseMicros());
}

void vkosPlotOnWindow(vkOSDisplay* os, int32_t x, int32_t y, uint32_t rgb) {
  if (!Drawable(os, 0)) return;
  SDL_Surface* surface = WindowSurface(os);
  if (surface == nullptr) return;
  PlotPixel(*os->window, surface, x + os->marginLeft, y + os->marginTop, MapColour(surface, rgb));
  MarkDirty(*os->window, PreciseMicros());
}

void vkosDrawLineOnWindow(vkOSDisplay* os, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t rgb) {
  if (!Drawable(os, 0)) return;
  SDL_Surface* surface = WindowSurface(os);
  if (surface == nullptr) return;
  const Uint32 pixel = MapColour(surface, rgb);
  // Drawn from the upper end (the left one on a level line), so that a line
  // and its reverse cover the same pixels.
  if (y2 < y1 || (y2 == y1 && x2 < x1)) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  int64_t x = int64_t{x1} + os->marginLeft, y = int64_t{y1} + os->marginTop;
  const int64_t ex = int64_t{x2} + os->marginLeft, ey = int64_t{y2} + os->marginTop;
  // Both ends included, one pixel per step along the longer axis.
  const int64_t ddx = std::llabs(ex - x), ddy = -std::llabs(ey - y);
  const int64_t stepX = x < ex ? 1 : -1, stepY = y < ey ? 1 : -1;
  int64_t error = ddx + ddy;
  const int64_t limit = std::max(ddx, -ddy) + 1;
  for (int64_t n = 0; n < limit; n++) {
    if (x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX)
      PlotPixel(*os->window, surface, static_cast<int32_t>(x), static_cast<int32_t>(y), pixel);
    if (x == ex && y == ey) break;
    const int64_t twice = 2 * error;
    if (twice >= ddy) { error += ddy; x += stepX; }
    if (twice <= ddx) { error += ddx; y += stepY; }
  }
  MarkDirty(*os->window, PreciseMicros());
}

void vkosFlushDisplay(vkOSDisplay* os) {
  if (os == nullptr || !os->window) return;
  vkOSWindow& w = *os->window;
  int64_t now = PreciseMicros();
  const int32_t limit = gPlatform.frameRate, refresh = std::max(gPlatform.refreshRate, 1);
  // Above the refresh rate, frames the screen could not show are not presented.
  const bool aboveRefresh = gPlatform.limiterOn != 0 && limit > refresh;
  if (!aboveRefresh || now - w.lastPresent >= 1000000 / refresh) PresentWindow(w, now);
  if (limit <= 0) return;  // no limit: no pacing
  const int64_t next = w.deadline + 1000000 / limit;
  if (w.deadline != 0 && next > now && now - w.deadline < 1000000) {
    SleepUntil(next);
    w.deadline = next;
  } else {
    w.deadline = now;
  }
}

void vkosPresentPending(bool all) {
  const int64_t now = PreciseMicros();
  for (vkOSDisplay* os : gPlatform.windows) {
    vkOSWindow& w = *os->window;
    if (w.dirty && (all || now - w.dirtySince >= kPresentDelay)) PresentWindow(w, now);
  }
}
