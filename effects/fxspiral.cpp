// The spiral: a band one step long runs along the rings of a grid of seven
// columns and six rows, down the right edge, back along the bottom, up the
// left, along the top, and so on inwards for three rings. The walk is made
// once at set-up (which also counts the frames); frame k draws its k-th band.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"

namespace {

struct vkSpiral : vkFXPrivate {
  std::vector<vkFXRect> bands;  // frame k draws bands[k - 1]
};

// One leg of the walk: the band moves along y down a column (or along x
// across a row) at a fixed place, from where the previous leg left the
// position to [end], then the next leg starts at [next].
struct vkLeg {
  bool column;
  int64_t fixed, end, next;
  int64_t direction;  // +1 or -1
};

// The step the speed names; a step of its own, not a share of the size.
int64_t SpiralStep(int32_t speed) {
  if (speed == kFastSpeed) return 15;
  if (speed == kNormalSpeed) return 10;
  if (speed == kSlowSpeed) return 5;
  return std::clamp(speed, 1, 30);
}

}  // namespace

int32_t FXSpiralSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkSpiral;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  const int64_t w = s.width, h = s.height, c = w / 7 + 1, r = h / 6 + 1, step = SpiralStep(s.speed);
  s.speed = int32_t(step);
  const vkLeg legs[] = {
      {true, w - c, h - 1, w - c - step, 1},      {false, h - r, 0, h - r - step, -1},
      {true, 0, 0, c, -1},                        {false, 0, w - c, r, 1},
      {true, w - 2 * c, h - r, w - 2 * c - step, 1}, {false, h - 2 * r, c, h - 2 * r - step, -1},
      {true, c, r, 2 * c, -1},                    {false, r, w - 2 * c, 2 * r, 1},
      {true, w - 3 * c, h - 2 * r, w - 3 * c - step, 1}, {false, 3 * r, 2 * c, 3 * r - step, -1},
      {true, 2 * c, 2 * r, 3 * c, -1},            {false, 2 * r, w - 3 * c, 0, 1},
  };
  try {
    // Each leg draws its band, then moves it a step towards its end (never
    // past it); the band at the end is drawn once and the next leg begins.
    int64_t position = 0;
    for (const vkLeg& leg : legs) {
      for (;;) {
        p->bands.push_back(leg.column ? vkFXRect{leg.fixed, position, c, step} : vkFXRect{position, leg.fixed, step, r});
        if (position == leg.end) break;
        position = leg.direction > 0 ? std::min(position + step, leg.end) : std::max(position - step, leg.end);
      }
      position = leg.next;
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  s.stepCount = int32_t(p->bands.size());
  return 0;
}

int32_t FXSpiralDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const std::vector<vkFXRect>& bands = s.Private<vkSpiral>().bands;
  if (k < 1 || size_t(k) > bands.size()) return 0;
  if (size_t(k) == bands.size()) *last = true;
  FXDrawRect(s, bands[size_t(k) - 1]);
  return 0;
}
