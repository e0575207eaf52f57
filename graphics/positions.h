// Special coordinates: a position within 4,999 of CENTER, LEFT, RIGHT,
// LEFTOUT or RIGHTOUT (x) or of CENTER, TOP, BOTTOM, TOPOUT or BOTTOMOUT (y)
// places an object of a size inside a space, the difference added as an
// offset. Any other position stands as it is.
#pragma once

#include <cstdint>

inline constexpr int32_t kPosCenter = -100000;
inline constexpr int32_t kPosLeft = -90000;
inline constexpr int32_t kPosRight = -80000;
inline constexpr int32_t kPosTop = -70000;
inline constexpr int32_t kPosBottom = -60000;
inline constexpr int32_t kPosLeftOut = -50000;
inline constexpr int32_t kPosRightOut = -40000;
inline constexpr int32_t kPosTopOut = -30000;
inline constexpr int32_t kPosBottomOut = -20000;

// [position] resolved for an object of [size] in a space of [space] that
// starts at [origin], plus the whole part of size x [anchor].
int32_t ResolveSpecialX(int32_t position, int32_t size, int32_t space, int32_t origin, double anchor);
int32_t ResolveSpecialY(int32_t position, int32_t size, int32_t space, int32_t origin, double anchor);
