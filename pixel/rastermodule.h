// The interface of the coverage renderer's loadable module. The renderer
// runs on OpenCV, whose libraries take longer to load and start than the
// rest of the player together, so they live in a module of their own that
// the coverage images load on their first use. The module hands out one
// table of plain functions; no exception and no OpenCV type crosses it.
#pragma once

#include <cstdint>

// Raised with every change of the table below, checked when the module loads.
inline constexpr int32_t kRasterModuleVersion = 1;

// The symbol the module exports: returns its table.
inline constexpr const char* kRasterModuleEntry = "vkRasterModuleTable";

// An 8-bit image the module draws into at the value 255: [width] x [height]
// bytes, rows [stride] bytes apart.
struct vkRasterTarget {
  uint8_t* bytes;
  int32_t width, height, stride;
};

struct vkRasterModule {
  int32_t version;  // kRasterModuleVersion
  // A line of [thickness] pixels (1 to 255) from (x1, y1) to (x2, y2).
  // Each routine returns 0, or 1 when the renderer failed (the image is
  // then as it was).
  int32_t (*line)(const vkRasterTarget* target, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t antiAliased,
                  int32_t thickness);
  // A closed polygon of [count] (x, y) pairs: filled for thickness 0, else
  // its outline of that thickness.
  int32_t (*polygon)(const vkRasterTarget* target, const int32_t* points, int32_t count, int32_t antiAliased,
                     int32_t thickness);
};

extern "C" {
using vkRasterModuleTableFn = const vkRasterModule* (*)();
}
