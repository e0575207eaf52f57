// The records through which scripts ask to be told of events: label events of
// the older event commands, the buttons of a background picture, interval and
// timeout timers, and the handler slots of each display and of the program.
// The event library makes and frees them; the event dispatcher reads them.
// Handler functions and userdata are references to script values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct vkLayer;

// A reference to a script value; kNoReference = none.
inline constexpr int32_t kNoReference = -1;

struct vkHandlerRef {
  int32_t function = kNoReference;
  int32_t userData = kNoReference;
};

// Label-event types; the names are also script constants.
enum class vkLabelEventType : uint32_t {
  ONBUTTONOVER = 1,
  ONBUTTONCLICK = 2,
  ONKEYDOWN = 3,
  ONBUTTONRIGHTCLICK = 5,
  MOVEWINDOW = 6,
  SIZEWINDOW = 7,
  INACTIVEWINDOW = 8,
  ACTIVEWINDOW = 9,
  CLOSEWINDOW = 10,
  ONBUTTONCLICKALL = 11,
  ONBUTTONRIGHTCLICKALL = 12,
  ONBUTTONOVERALL = 13,
  ONKEYDOWNALL = 14,
};

// A label event of the older style: jump to a label when it happens.
struct vkLabelEvent {
  vkLabelEventType type = vkLabelEventType::ONBUTTONCLICK;
  int32_t id = 0;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive; buttons only
  std::string name;                       // the label name; key records: the key
  uint32_t enabled = 1;
};

// Button kinds.
inline constexpr uint32_t kSimpleButton = 0;
inline constexpr uint32_t kLayerButton = 1;

// Handlers of a button, in the order of kButtonHandlerNames.
inline constexpr size_t kButtonHandlerCount = 8;
extern const char* const kButtonHandlerNames[kButtonHandlerCount];

struct vkBGPicButton {
  uint32_t kind = kSimpleButton;
  int32_t id = 0;
  const void* handle = nullptr;  // set for ids the system chose
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // inclusive
  uint32_t enabled = 1;
  uint32_t mouseDown = 0;
  uint32_t rightMouseDown = 0;
  uint32_t midMouseDown = 0;
  uint32_t over = 0;
  std::array<int32_t, kButtonHandlerCount> handlers{kNoReference, kNoReference, kNoReference, kNoReference,
                                                    kNoReference, kNoReference, kNoReference, kNoReference};
  vkLayer* layer = nullptr;    // layer buttons
  uint32_t pixelTest = 0;      // hit only on the layer's visible pixels
  uint32_t activeWhileHidden = 0;
  int32_t userData = kNoReference;
};

// An interval or a timeout.
struct vkTimer {
  int32_t id = 0;
  const void* handle = nullptr;
  int32_t function = kNoReference;
  uint32_t milliseconds = 0;
  int32_t userData = kNoReference;
};

// The handler slots each display keeps, in the order of their script names.
inline constexpr size_t kDisplayHandlerCount = 21;
extern const char* const kDisplayHandlerNames[kDisplayHandlerCount];
using vkDisplayHandlers = std::array<vkHandlerRef, kDisplayHandlerCount>;

// The handlers of the whole program: sample and music notifications and
// messages from other programs.
inline constexpr size_t kProgramHandlerCount = 4;
extern const char* const kProgramHandlerNames[kProgramHandlerCount];
using vkProgramHandlers = std::array<vkHandlerRef, kProgramHandlerCount>;

