// Special coordinates, one table per axis of where each places an object.
#include "graphics/positions.h"

#include <algorithm>
#include <cstdlib>

#include "base/numconv.h"

namespace {

// Where a special value puts an object: space x spaceFactor / 2 + size x
// sizeFactor / 2 (halves so that CENTER reads (space - size) / 2).
struct vkPlacement {
  int32_t value;
  int32_t spaceHalves, sizeHalves;
};

constexpr vkPlacement kX[] = {{kPosCenter, 1, -1}, {kPosLeft, 0, 0}, {kPosRight, 2, -2},
                              {kPosLeftOut, 0, -2}, {kPosRightOut, 2, 0}};
constexpr vkPlacement kY[] = {{kPosCenter, 1, -1}, {kPosTop, 0, 0}, {kPosBottom, 2, -2},
                              {kPosTopOut, 0, -2}, {kPosBottomOut, 2, 0}};

template <size_t N>
int32_t Resolve(const vkPlacement (&table)[N], int32_t position, int32_t size, int32_t space, int32_t origin,
                double anchor) {
  for (const vkPlacement& p : table) {
    const int64_t offset = int64_t(position) - p.value;
    if (std::llabs(offset) > 4999) continue;
    const int64_t placed = (int64_t(space) * p.spaceHalves + int64_t(size) * p.sizeHalves) / 2;
    const int64_t v = origin + placed + offset + vkDoubleToInt32(double(size) * anchor);
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  }
  return position;
}

}  // namespace

int32_t ResolveSpecialX(int32_t position, int32_t size, int32_t space, int32_t origin, double anchor) {
  return Resolve(kX, position, size, space, origin, anchor);
}
int32_t ResolveSpecialY(int32_t position, int32_t size, int32_t space, int32_t origin, double anchor) {
  return Resolve(kY, position, size, space, origin, anchor);
}
