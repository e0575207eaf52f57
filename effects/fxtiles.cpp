// Square tiles of the new picture: the puzzle lays one tile a frame in a
// random order fixed at set-up, the diagonal moves a staircase of tiles
// from the top-left corner across the picture, row i of tiles i frames
// behind row 0. The tiles of the last column and row may reach past the
// picture and are cut to it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "base/errorcodes.h"
#include "effects/fxgeometry.h"

namespace {

struct vkPuzzle : vkFXPrivate {
  int64_t tile = 5;              // side of a tile in pixels
  int64_t columns = 1;           // tiles across, one more than fit whole
  std::vector<int32_t> order;    // tile numbers in the order they are laid
};

// Numbers 0 .. n - 1 taken one by one: the largest free number at or below
// a given one, else the smallest above it, each found in near constant
// time. Two forests of "next candidate" links, one pointing down and one
// up, with the path halved on every walk; a taken number links past itself.
class vkFreeNumbers {
 public:
  explicit vkFreeNumbers(int32_t n) : down_(size_t(n) + 1), up_(size_t(n) + 1) {
    // down_[i + 1] stands for number i, down_[0] for "none below";
    // up_[i] for number i, up_[n] for "none above".
    for (int32_t i = 0; i <= n; i++) down_[size_t(i)] = i, up_[size_t(i)] = i;
  }
  // The number taken for [r]: counting down from r, then up from r + 1.
  int32_t Take(int32_t r) {
    int32_t found = Root(down_, r + 1) - 1;
    if (found < 0) found = Root(up_, r + 1);
    down_[size_t(found) + 1] = found;  // to the slot of found - 1
    up_[size_t(found)] = found + 1;
    return found;
  }

 private:
  static int32_t Root(std::vector<int32_t>& link, int32_t i) {
    while (link[size_t(i)] != i) {
      link[size_t(i)] = link[size_t(link[size_t(i)])];
      i = link[size_t(i)];
    }
    return i;
  }
  std::vector<int32_t> down_, up_;
};

}  // namespace

int32_t FXPuzzleSetup(vkFXState& s) {
  auto* p = new (std::nothrow) vkPuzzle;
  if (!p) return kErrOutOfMemory;
  s.privateData.reset(p);
  const int32_t tile = std::max(FXSpeedToStep(s.speed, s.width, 20, 10, 30), 5);
  s.speed = tile;
  p->tile = tile;
  p->columns = int64_t(s.width) / tile + 1;
  const int64_t count = p->columns * (int64_t(s.height) / tile + 1);
  if (count > INT32_MAX) return kErrOutOfMemory;
  const int32_t n = int32_t(count);
  try {
    // Draw i takes the free number nearest below trunc(drand48() * n), or
    // the nearest above when none is left below: a permutation of 0 .. n - 1.
    p->order.assign(size_t(n), -1);
    vkFreeNumbers free(n);
    for (int32_t i = 0; i < n; i++) {
      const int32_t r = std::min(int32_t(drand48() * double(n)), n - 1);
      p->order[size_t(i)] = free.Take(r);
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  s.stepCount = FXStepCount(n - 1, 1, 0);
  return 0;
}

int32_t FXPuzzleDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const vkPuzzle& p = s.Private<vkPuzzle>();
  const int64_t n = int64_t(p.order.size());
  if (k < 1 || k > n) return 0;
  if (k == n) *last = true;
  const int64_t t = p.order[size_t(k) - 1];
  FXDrawRect(s, {t % p.columns * p.tile, t / p.columns * p.tile, p.tile, p.tile});
  return 0;
}

void FXPuzzleCleanup(vkFXState& s, int32_t) {
  if (s.privateData) std::vector<int32_t>().swap(s.Private<vkPuzzle>().order);
}

int32_t FXDiagonalSetup(vkFXState& s) {
  vkFXSteps* p = FXNewSteps(s);
  if (!p) return kErrOutOfMemory;
  int32_t tile = FXSpeedToStep(s.speed, s.width, 60, 20, 130);
  if (tile > s.width / 4) tile = 1;
  p->step = s.speed = tile;
  const int64_t span = int64_t(s.width) + s.height;
  s.stepCount = FXStepCount(int32_t(std::min<int64_t>(span - tile, INT32_MAX)), tile, 0);
  return 0;
}

// Frame k: the front d = k tiles along (the sum of both sides at most) and
// one tile in each of the first k rows, each a tile behind the row above.
int32_t FXDiagonalDraw(vkFXState& s, int32_t k, bool, bool* last) {
  const int64_t tile = s.Private<vkFXSteps>().step, span = int64_t(s.width) + s.height;
  int64_t d = int64_t(k) * tile;
  if (d >= span) d = span, *last = true;
  const int64_t rows = std::min<int64_t>(k, s.height / tile + 1);
  for (int64_t i = 0; i < rows; i++) FXDrawRect(s, {d - (i + 1) * tile, i * tile, tile, tile});
  return 0;
}
