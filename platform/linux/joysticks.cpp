// Joysticks through SDL's joystick interface: every device SDL knows at the
// first use, opened in index order. Axis 0 is X and axis 1 is Y; their range
// starts as SDL's and widens to any value read beyond it.
#include <SDL.h>

#include <algorithm>

#include "base/errorcodes.h"
#include "platform/linux/joysticks.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos_joystick.h"

namespace {

constexpr int32_t kMaxButtons = 32;
constexpr int32_t kDeadZone = 500;

vkOSAxis AxisOf(SDL_Joystick* device, int index) {
  vkOSAxis axis;
  if (SDL_JoystickNumAxes(device) > index) {
    axis.present = true;
    axis.minimum = SDL_JOYSTICK_AXIS_MIN;
    axis.maximum = SDL_JOYSTICK_AXIS_MAX;
  }
  return axis;
}

}  // namespace

int32_t AxisPosition(vkOSAxis& axis, int32_t value) {
  axis.minimum = std::min(axis.minimum, value);
  axis.maximum = std::max(axis.maximum, value);
  if (axis.maximum == axis.minimum) return 0;
  const int64_t span = int64_t{axis.maximum} - axis.minimum;
  return static_cast<int32_t>((int64_t{value} - axis.minimum) * 2000 / span - 1000);
}

int32_t JoystickDirection(int32_t x, int32_t y) {
  // Rows by x (right, centre, left), columns by y (up, centre, down).
  static constexpr int32_t kDirections[3][3] = {
      {JOYUPRIGHT, JOYRIGHT, JOYDOWNRIGHT},
      {JOYUP, JOYNODIR, JOYDOWN},
      {JOYUPLEFT, JOYLEFT, JOYDOWNLEFT},
  };
  const int row = x > kDeadZone ? 0 : (x < -kDeadZone ? 2 : 1);
  const int column = y < -kDeadZone ? 0 : (y > kDeadZone ? 2 : 1);
  return kDirections[row][column];
}

int vkosScanJoysticks() {
  vkJoystickList& list = gPlatform.joysticks;
  if (list.scanned) return 0;
  if (!SdlUsable() || SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return kErrJoystickAcquire;
  list.started = true;
  // Joysticks are read when asked for, not through events.
  SDL_JoystickEventState(SDL_IGNORE);
  const int count = SDL_NumJoysticks();
  for (int i = 0; i < count; i++) {
    SDL_Joystick* device = SDL_JoystickOpen(i);
    if (device == nullptr) continue;  // skipped, as a device that cannot be opened
    vkOSJoystick joystick;
    joystick.device = device;
    joystick.x = AxisOf(device, 0);
    joystick.y = AxisOf(device, 1);
    joystick.buttons = std::clamp(SDL_JoystickNumButtons(device), 0, kMaxButtons);
    list.devices.push_back(joystick);
  }
  list.scanned = true;
  return 0;
}

int vkosCountJoysticks(int32_t* count) {
  *count = 0;
  if (const int error = vkosScanJoysticks(); error != 0) return error;
  *count = static_cast<int32_t>(gPlatform.joysticks.devices.size());
  return 0;
}

int vkosReadJoystick(int32_t port, int32_t* direction, uint32_t* buttons) {
  if (vkosScanJoysticks() != 0) return kErrNoJoystickAtPort;
  std::vector<vkOSJoystick>& devices = gPlatform.joysticks.devices;
  if (port < 0 || static_cast<size_t>(port) >= devices.size()) return kErrNoJoystickAtPort;
  vkOSJoystick& joystick = devices[static_cast<size_t>(port)];
  SDL_JoystickUpdate();
  if (buttons != nullptr) {
    uint32_t mask = 0;
    for (int32_t b = 0; b < joystick.buttons; b++)
      if (SDL_JoystickGetButton(joystick.device, b) != 0) mask |= uint32_t{1} << b;
    *buttons = mask;
  }
  int32_t x = 0, y = 0;
  if (joystick.x.present) x = AxisPosition(joystick.x, SDL_JoystickGetAxis(joystick.device, 0));
  if (joystick.y.present) y = AxisPosition(joystick.y, SDL_JoystickGetAxis(joystick.device, 1));
  if (direction != nullptr) *direction = JoystickDirection(x, y);
  return 0;
}

void vkosReleaseJoysticks() {
  vkJoystickList& list = gPlatform.joysticks;
  for (vkOSJoystick& joystick : list.devices) SDL_JoystickClose(joystick.device);
  list.devices.clear();
  if (list.started) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  list = vkJoystickList{};
}
