// The one size check every picture reader makes before it allocates: sides
// below one pixel are not a picture, and a header may not claim more pixels
// than the cap, so that a few hostile bytes cannot make the player allocate
// and fill gigabytes.
#pragma once

#include <cstdint>

#include "base/errorcodes.h"

// The most pixels a decoded picture may have (16384 x 8192).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 27;

// Whether a [width] x [height] picture may be decoded: 0, 1358 when a side is
// below 1, or 1000 when it has more pixels than the cap. Words of such a
// picture (width x height x 4 bytes) always fit a size_t.
inline int32_t CheckPictureSize(int64_t width, int64_t height) {
  if (width < 1 || height < 1) return kErrUnknownPicture;
  if (width > kMaxPicturePixels || height > kMaxPicturePixels || width * height > kMaxPicturePixels)
    return kErrOutOfMemory;
  return 0;
}
