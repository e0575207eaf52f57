// Up-and-down: the picture cut into eight columns, revealed two at a time
// over four passes of its height, one column growing down from the top edge
// while its partner grows up from the bottom. Frame k comes from k and the
// step alone; the frame after the fourth pass draws the whole picture.
#include <algorithm>
#include <cstdint>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"

namespace {

// The columns each pass reveals: one growing downwards, one upwards.
constexpr int kDownColumn[4] = {0, 3, 4, 7};
constexpr int kUpColumn[4] = {1, 2, 5, 6};

}  // namespace

int32_t FXUpDownSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  const int32_t step = std::clamp(FXSpeedToStep(s.speed, std::max(s.width, s.height), 60, 30, 120), 1, 30);
  s.stepCount = FXStepCount(int32_t(std::min<int64_t>(4 * int64_t(s.height), INT32_MAX)), step, 0);
  p->step = s.speed = step;
  return 0;
}

int32_t FXUpDownDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const int64_t h = s.height, step = s.Private<vkFXSteps>().step, c = s.width / 8 + 1;
  const int64_t t = int64_t(k - 1) * step;
  if (t >= 4 * h) {
    *last = true;
    FXDrawRect(s, {0, 0, s.width, s.height});
    return 0;
  }
  const int64_t pass = t / h, r = t % h;
  const int64_t down = kDownColumn[pass] * c, up = kUpColumn[pass] * c;
  auto rows = [&](int64_t x, int64_t from, int64_t to) { FXDrawRect(s, {x, from, c, to - from}); };
  // A pass begun on this frame starts its columns at their edges.
  if (k > 1 && pass != (t - step) / h) {
    rows(down, 0, step + 2);
    rows(up, h - step - 1, h + 1);
  }
  rows(down, r, r + step + 2);
  const int64_t top = std::max<int64_t>(h - r - step, 1);
  rows(up, top - 1, top + step + 1);
  return 0;
}
