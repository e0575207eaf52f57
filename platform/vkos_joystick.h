// Joysticks and game pads, found once on first use and addressed by port
// (their place in the order found, from 0). A read gives a direction from the
// X and Y axes, which calibrate themselves as they move, and a mask of up to
// 32 buttons.
#pragma once

#include <cstdint>

// Directions of vkosReadJoystick, clockwise from up; 8 centred.
enum vkJoyDirection : int32_t {
  JOYUP = 0,
  JOYUPRIGHT = 1,
  JOYRIGHT = 2,
  JOYDOWNRIGHT = 3,
  JOYDOWN = 4,
  JOYDOWNLEFT = 5,
  JOYLEFT = 6,
  JOYUPLEFT = 7,
  JOYNODIR = 8,
};

// Finds the devices, once: 0, 1385 when the joystick service cannot start,
// 1000 when out of memory. Later calls change nothing.
int vkosScanJoysticks();
// The number of devices into [*count] (scanning first when needed); 0 or the
// scan's error.
int vkosCountJoysticks(int32_t* count);
// Reads the device at [port] (scanning first when needed): its direction and
// its buttons (bit n for button n + 1), each when asked for. 0, or 1427 when
// there is no device at that port.
int vkosReadJoystick(int32_t port, int32_t* direction, uint32_t* buttons);
// Closes every device; the next use scans again.
void vkosReleaseJoysticks();
