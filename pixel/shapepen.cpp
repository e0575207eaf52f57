// The shape pen. Each drawing call decides the pixel format once and runs a
// plotter compiled for it; the plotter's colour source, planes and clip mask
// are fixed for the call too. Positions are 64-bit, and the line walkers
// start at the first step inside the clip box and stop at the last, so a
// line with ends far outside the target costs only what it shows.
#include "pixel/shapepen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "pixel/pixfmt.h"
#include "pixel/planebits.h"

namespace {

// The part of the target the pen may touch, inclusive; empty when x1 > x2.
struct ClipBox {
  int64_t x1 = 0, y1 = 0, x2 = -1, y2 = -1;
  bool Empty() const { return x1 > x2 || y1 > y2; }
  bool Contains(int64_t x, int64_t y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
};

ClipBox PenClipBox(const vkShapePen& pen) {
  ClipBox box{0, 0, int64_t(pen.width) - 1, int64_t(pen.height) - 1};
  if (!pen.pixels && !pen.mask && !pen.alpha) return ClipBox{};
  if (pen.clipEnabled) {
    box.x1 = std::max<int64_t>(box.x1, pen.clipX);
    box.y1 = std::max<int64_t>(box.y1, pen.clipY);
    box.x2 = std::min<int64_t>(box.x2, int64_t(pen.clipX) + pen.clipWidth - 1);
    box.y2 = std::min<int64_t>(box.y2, int64_t(pen.clipY) + pen.clipHeight - 1);
  }
  return box;
}

// Plots pixels of one format; positions must lie in the clip box.
template <int F>
struct Plotter {
  using Format = vkFormatRGB<F>;
  static constexpr int kBytes = F <= 7 ? 2 : F <= 9 ? 3 : 4;
  const vkShapePen& pen;
  const uint8_t* clipMask;  // null unless the clip is on and has a mask

  void Plot(int64_t x, int64_t y, int32_t coverage) const {
    if (clipMask && !GetBit(clipMask + (y - pen.clipY) * pen.clipMaskBytesPerRow, int32_t(x - pen.clipX)))
      return;
    if (pen.pixels) PlotPixel(x, y, coverage);
    if (pen.mask) {
      uint8_t* row = pen.mask + y * pen.maskBytesPerRow;
      switch (pen.maskMode) {
        case PENMASK_CLEAR: ClearBit(row, int32_t(x)); break;
        case PENMASK_INVERT: FlipBit(row, int32_t(x)); break;
        case PENMASK_KEEP: break;
        default: SetBit(row, int32_t(x)); break;
      }
    }
    if (pen.alpha) pen.alpha[y * pen.alphaBytesPerRow + x] = uint8_t(coverage);
  }

  void PlotPixel(int64_t x, int64_t y, int32_t coverage) const {
    uint8_t* dst = pen.pixels + (y * pen.pixelsPerRow + x) * kBytes;
    uint8_t src[3];
    const uint8_t* raw = nullptr;  // the pixel value to store when replacing
    if (pen.texture) {
      raw = pen.texture + (y * pen.texturePerRow + x) * kBytes;
      Format::Read(raw, src);
    } else {
      src[0] = uint8_t(pen.red), src[1] = uint8_t(pen.green), src[2] = uint8_t(pen.blue);
    }
    if (coverage == 255 || pen.alpha) {
      if constexpr (kBytes == 3) {
        Format::Write(dst, src);
      } else if (raw) {
        std::memcpy(dst, raw, kBytes);
      } else if constexpr (kBytes == 4) {
        uint32_t v = pen.color;
        std::memcpy(dst, &v, 4);
      } else {
        uint16_t v = uint16_t(pen.color);
        std::memcpy(dst, &v, 2);
      }
    } else {
      uint8_t d[3];
      Format::Read(dst, d);
      for (int i = 0; i < 3; i++) d[i] = uint8_t(d[i] + ((coverage * (src[i] - d[i])) >> 8));
      Format::Write(dst, d);
    }
  }
};

// Runs [fn] with the plotter of the pen's format; nothing for a format whose
// size is not the pen's bytes per pixel.
template <typename Fn>
void WithPlotter(const vkShapePen& pen, Fn&& fn) {
  if (pen.pixels && PixFmtBytes(pen.format) != pen.bytesPerPixel) return;
  if (!pen.pixels && !pen.mask && !pen.alpha) return;
  const uint8_t* clipMask = pen.clipEnabled ? pen.clipMask : nullptr;
  DispatchMode<kPixFmtCount>(pen.format, [&]<int F>() { fn(Plotter<F>{pen, clipMask}); });
}

// The walk shared by both line kinds: [major] runs from [m0] over [steps]
// + 1 steps; returns the first and last step whose major coordinate lies in
// [lo, hi], or first > last.
void StepsInside(int64_t m0, int64_t steps, int64_t lo, int64_t hi, int64_t* first, int64_t* last) {
  *first = std::max<int64_t>(0, lo - m0);
  *last = std::min<int64_t>(steps, hi - m0);
}

int32_t ScaleByOpacity(int32_t coverage, int32_t opacity) {
  return opacity == 255 ? coverage : coverage * opacity / 255;
}

}  // namespace

void PlotWithPen(vkShapePen* pen, int64_t x, int64_t y) {
  const ClipBox box = PenClipBox(*pen);
  if (!box.Contains(x, y)) return;
  WithPlotter(*pen, [&](const auto& p) { p.Plot(x, y, pen->coverage); });
}

void CompositeCoverage(const uint8_t* coverage, int64_t x0, int64_t y0, vkShapePen* pen, int32_t width,
                       int32_t height, int32_t stride, bool solid) {
  const ClipBox box = PenClipBox(*pen);
  if (box.Empty() || width <= 0 || height <= 0) return;
  // Only the rows and columns of the image that land inside the box.
  const int64_t i1 = std::max<int64_t>(0, box.x1 - x0), i2 = std::min<int64_t>(width - 1, box.x2 - x0);
  const int64_t j1 = std::max<int64_t>(0, box.y1 - y0), j2 = std::min<int64_t>(height - 1, box.y2 - y0);
  if (i1 > i2 || j1 > j2) return;
  const int32_t opacity = pen->opacity;
  WithPlotter(*pen, [&](const auto& p) {
    for (int64_t j = j1; j <= j2; j++) {
      const uint8_t* row = coverage + j * stride;
      for (int64_t i = i1; i <= i2; i++) {
        const int32_t c = row[i];
        if (c == 0) continue;
        if (!solid) pen->coverage = ScaleByOpacity(c, opacity);
        p.Plot(x0 + i, y0 + j, pen->coverage);
      }
    }
  });
}

void DrawPenLine(vkShapePen* pen, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const ClipBox box = PenClipBox(*pen);
  if (box.Empty()) return;
  const int64_t dx = std::llabs(int64_t(x2) - x1), dy = std::llabs(int64_t(y2) - y1);
  const bool steep = dx < dy;
  // Walk from the end with the smaller major coordinate.
  int64_t ma0 = steep ? y1 : x1, mi0 = steep ? x1 : y1, ma1 = steep ? y2 : x2, mi1 = steep ? x2 : y2;
  if (ma1 < ma0) std::swap(ma0, ma1), std::swap(mi0, mi1);
  const int64_t major = ma1 - ma0, minor = std::llabs(mi1 - mi0);
  const int64_t minorStep = mi1 >= mi0 ? 1 : -1;

  int64_t span = 1;
  if (major != 0) {
    const double angle = std::atan2(double(dy), double(dx));
    const double f = steep ? std::sin(angle) : std::cos(angle);
    const double s = f != 0 ? double(pen->thickness) / f : 0;
    span = s >= 1 && s < 1e9 ? int64_t(s) : 1;
  }
  const int64_t lo = steep ? box.y1 : box.x1, hi = steep ? box.y2 : box.x2;
  const int64_t across1 = steep ? box.x1 : box.y1, across2 = steep ? box.x2 : box.y2;
  int64_t first, last;
  StepsInside(ma0, major, lo, hi, &first, &last);
  if (first > last) return;

  WithPlotter(*pen, [&](const auto& p) {
    const int32_t c = pen->coverage;
    // The error term and minor position at the first step inside, in closed
    // form: after k steps the minor position has moved (2 minor k + major)
    // div (2 major) times.
    int64_t moved = 0, err = 2 * minor - major;
    if (major != 0 && first > 0) {
      const __int128 num = __int128(2) * minor * first + major;
      moved = int64_t(num / (2 * __int128(major)));
      err = int64_t(__int128(2) * minor - major + __int128(2) * minor * first - __int128(2) * major * moved);
    }
    int64_t mi = mi0 + minorStep * moved;
    for (int64_t k = first; k <= last; k++) {
      const int64_t ma = ma0 + k;
      const int64_t a1 = std::max(mi - span / 2, across1), a2 = std::min(mi - span / 2 + span - 1, across2);
      for (int64_t a = a1; a <= a2; a++) {
        if (steep)
          p.Plot(a, ma, c);
        else
          p.Plot(ma, a, c);
      }
      if (err >= 0) {
        mi += minorStep;
        err += 2 * (minor - major);
      } else {
        err += 2 * minor;
      }
    }
  });
}

void DrawPenLineAA(vkShapePen* pen, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  const ClipBox box = PenClipBox(*pen);
  if (box.Empty()) return;
  const int32_t opacity = pen->opacity;
  if (x1 == x2 && y1 == y2) {
    pen->coverage = ScaleByOpacity(255, opacity);
    PlotWithPen(pen, x1, y1);
    return;
  }
  const int64_t dx = int64_t(x2) - x1, dy = int64_t(y2) - y1;
  const bool xMajor = std::llabs(dx) > std::llabs(dy);
  int64_t ma0 = xMajor ? x1 : y1, mi0 = xMajor ? y1 : x1, ma1 = xMajor ? x2 : y2, mi1 = xMajor ? y2 : x2;
  if (ma1 < ma0) std::swap(ma0, ma1), std::swap(mi0, mi1);
  const int64_t major = ma1 - ma0;
  const int64_t step = ((mi1 - mi0) * 65536) / major;
  const int64_t lo = xMajor ? box.x1 : box.y1, hi = xMajor ? box.x2 : box.y2;
  const int64_t across1 = xMajor ? box.y1 : box.x1, across2 = xMajor ? box.y2 : box.x2;
  int64_t first, last;
  StepsInside(ma0, major, lo, hi, &first, &last);
  if (first > last) return;

  WithPlotter(*pen, [&](const auto& p) {
    int64_t pos = mi0 * 65536 + first * step;
    for (int64_t k = first; k <= last; k++, pos += step) {
      const int64_t ma = ma0 + k, mi = pos >> 16;
      const int32_t f = int32_t((pos >> 8) & 0xFF);
      const int32_t c[2] = {ScaleByOpacity(255 - f, opacity), ScaleByOpacity(f, opacity)};
      for (int n = 0; n < 2; n++) {
        const int64_t a = mi + n;
        if (a < across1 || a > across2) continue;
        pen->coverage = c[n];
        if (xMajor)
          p.Plot(ma, a, c[n]);
        else
          p.Plot(a, ma, c[n]);
      }
    }
  });
}
