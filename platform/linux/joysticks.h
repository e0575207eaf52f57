// The joystick records of the platform record: each opened SDL joystick with
// the self-calibrating range of its two axes.
#pragma once

#include <cstdint>
#include <vector>

struct _SDL_Joystick;

struct vkOSAxis {
  bool present = false;
  int32_t minimum = 0, maximum = 0;  // widened to every value read
};

struct vkOSJoystick {
  _SDL_Joystick* device = nullptr;
  vkOSAxis x, y;
  int32_t buttons = 0;  // how many of the device's buttons are read (at most 32)
};

struct vkJoystickList {
  bool scanned = false;   // a scan is never repeated until the devices are released
  bool started = false;   // the joystick service was started by the scan
  std::vector<vkOSJoystick> devices;  // in index order
};

// A position -1000 .. 1000 from [value] within the axis's range, widening the
// range first when [value] lies outside it; 0 while the range is empty.
int32_t AxisPosition(vkOSAxis& axis, int32_t value);
// The direction of positions [x] and [y] (y grows downwards), dead zone ±500.
int32_t JoystickDirection(int32_t x, int32_t y);
