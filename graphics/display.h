// The display record: one window or screen with its back buffer, current
// output and the platform's record. Only the fields that the runtime core
// reads so far are declared; the graphics library completes the record.
#pragma once

#include <cstdint>

struct vkDisplay {
  // While either switch is set, size changes of the window are not queued
  // as size events: the program itself is resizing what the window shows.
  uint32_t scaling = 0;       // the picture keeps its size, shown scaled
  uint32_t layerScaling = 0;  // the layers are rendered anew at the window's scale
};
