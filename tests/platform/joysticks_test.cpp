// Joysticks through SDL's virtual joysticks: the directions of axis
// positions around the dead zone, buttons as bits, ports in the order found,
// the axes' self-calibration, and a scan that is never repeated.
#include <SDL.h>
#include <gtest/gtest.h>

#include "base/errorcodes.h"
#include "platform/linux/joysticks.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"

namespace {

struct DirectionCase {
  int32_t x, y, direction;
};

// The dead zone is ±500 inclusive; y grows downwards.
const DirectionCase kDirections[] = {
    {0, 0, JOYNODIR},        {500, -500, JOYNODIR},     {-500, 500, JOYNODIR},
    {0, -501, JOYUP},        {501, -501, JOYUPRIGHT},   {1000, 0, JOYRIGHT},
    {501, 501, JOYDOWNRIGHT}, {0, 1000, JOYDOWN},       {-501, 501, JOYDOWNLEFT},
    {-1000, 500, JOYLEFT},   {-501, -1000, JOYUPLEFT},
};

TEST(JoystickDirections, FollowTheAxisPositionsAroundTheDeadZone) {
  for (const DirectionCase& c : kDirections)
    EXPECT_EQ(JoystickDirection(c.x, c.y), c.direction) << c.x << "," << c.y;
}

TEST(JoystickAxes, PositionsSpanTheRangeAndTheRangeWidensToNewValues) {
  vkOSAxis axis{true, 0, 100};
  EXPECT_EQ(AxisPosition(axis, 0), -1000);
  EXPECT_EQ(AxisPosition(axis, 50), 0);
  EXPECT_EQ(AxisPosition(axis, 100), 1000);
  EXPECT_EQ(AxisPosition(axis, 200), 1000);  // the range grew to 200
  EXPECT_EQ(AxisPosition(axis, 100), 0);
  vkOSAxis empty{true, 0, 0};
  EXPECT_EQ(AxisPosition(empty, 0), 0);  // no range yet
  EXPECT_EQ(AxisPosition(empty, 40), 1000);
}

class Joysticks : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(vkosInit(), 0);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
  }
  void TearDown() override {
    for (SDL_Joystick* j : opened_) SDL_JoystickClose(j);
    vkosExit();
    while (SDL_NumJoysticks() > 0) SDL_JoystickDetachVirtual(0);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  }
  // A virtual device with [axes] axes and [buttons] buttons, opened so that
  // the test can move it.
  SDL_Joystick* Attach(int axes, int buttons) {
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, 0);
    EXPECT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* j = SDL_JoystickOpen(index);
    EXPECT_NE(j, nullptr);
    opened_.push_back(j);
    return j;
  }
  std::vector<SDL_Joystick*> opened_;
};

struct ReadCase {
  const char* name;
  Sint16 x, y;
  std::vector<int> pressed;  // button indices from 0
  int32_t direction;
  uint32_t mask;
};

TEST_F(Joysticks, ReadsDirectionsAndButtonsOfEachPort) {
  SDL_Joystick* first = Attach(2, 32);
  SDL_Joystick* second = Attach(0, 3);  // a pad without axes
  int32_t count = -1;
  ASSERT_EQ(vkosCountJoysticks(&count), 0);
  EXPECT_EQ(count, 2);

  const ReadCase cases[] = {
      {"centred", 0, 0, {}, JOYNODIR, 0},
      {"right and button 1", 32767, 0, {0}, JOYRIGHT, 0x1},
      {"up-left, buttons 2 and 32", -32768, -32768, {1, 31}, JOYUPLEFT, 0x80000002u},
      {"down within the dead zone sideways", 8000, 32767, {}, JOYDOWN, 0},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    SDL_JoystickSetVirtualAxis(first, 0, c.x);
    SDL_JoystickSetVirtualAxis(first, 1, c.y);
    for (int b = 0; b < 32; b++) SDL_JoystickSetVirtualButton(first, b, SDL_RELEASED);
    for (int b : c.pressed) SDL_JoystickSetVirtualButton(first, b, SDL_PRESSED);
    int32_t direction = -1;
    uint32_t mask = 0xDEAD;
    ASSERT_EQ(vkosReadJoystick(0, &direction, &mask), 0);
    EXPECT_EQ(direction, c.direction);
    EXPECT_EQ(mask, c.mask);
  }

  SDL_JoystickSetVirtualButton(second, 2, SDL_PRESSED);
  int32_t direction = -1;
  uint32_t mask = 0;
  ASSERT_EQ(vkosReadJoystick(1, &direction, &mask), 0);
  EXPECT_EQ(direction, JOYNODIR);  // no axes: centred
  EXPECT_EQ(mask, 0x4u);
  EXPECT_EQ(vkosReadJoystick(1, nullptr, nullptr), 0);  // nothing asked for
  EXPECT_EQ(vkosReadJoystick(2, &direction, &mask), kErrNoJoystickAtPort);
  EXPECT_EQ(vkosReadJoystick(-1, &direction, &mask), kErrNoJoystickAtPort);
}

TEST_F(Joysticks, ADevicePluggedInAfterTheScanIsNotSeen) {
  Attach(2, 4);
  int32_t count = -1;
  ASSERT_EQ(vkosCountJoysticks(&count), 0);
  EXPECT_EQ(count, 1);
  Attach(2, 4);
  ASSERT_EQ(vkosCountJoysticks(&count), 0);
  EXPECT_EQ(count, 1);
  int32_t direction = 0;
  EXPECT_EQ(vkosReadJoystick(1, &direction, nullptr), kErrNoJoystickAtPort);
  vkosReleaseJoysticks();  // the next use scans again
  ASSERT_EQ(vkosCountJoysticks(&count), 0);
  EXPECT_EQ(count, 2);
}

TEST_F(Joysticks, NoDeviceGivesNoJoystickAtPortZero) {
  int32_t count = -1;
  ASSERT_EQ(vkosCountJoysticks(&count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(vkosReadJoystick(0, nullptr, nullptr), kErrNoJoystickAtPort);
}

}  // namespace
