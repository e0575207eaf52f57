// A clip region: a rectangle of the output target, optionally shaped by a
// one-bit mask taken from a brush, through which the clipped blit draws. The
// graphics library keeps the regions in one list; a region that a layer still
// uses when the script frees it stays there, marked deleted, until purged.
#pragma once

#include <cstdint>

#include "pixel/bitmap.h"

struct vkClipRegion {
  int32_t idNumber = 0;
  void* idHandle = nullptr;  // the record itself for automatically numbered regions
  int32_t x = 0, y = 0, width = 0, height = 0;  // in output-target coordinates
  vkPlanePtr mask;              // the shape, or null for a plain rectangle
  int32_t maskBytesPerRow = 0;  // of the shape
  bool deleted = false;         // freed by the script, still used by a layer
  bool temporary = false;       // a transformed copy owned by a layer, in no list
};
