// The event library's run state, one record in the program context: the
// dispatcher's place between calls, the displays it serves and the current
// one, label events, intervals and timeouts, the program-wide handlers, and
// the hooks through which the libraries above the runtime (displays, layers,
// sound) answer what the dispatcher asks of them. The dispatcher keeps no
// pointer to a button or a display across a script callback: a callback may
// free either, and detaching a display moves the scan past it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "engine/argcheck.h"
#include "platform/eventqueue.h"
#include "runtime/eventhandlers.h"

struct vkState;
struct vkOSInput;
struct vkOSDisplay;
struct vkOSClipboardImage;
struct vkDisplay;
struct vkLayer;

// What the dispatcher needs of a background picture: its identifier, size
// and buttons (newest first). The picture's owner embeds it.
struct vkEventPicture {
  vkObjectId id;
  int32_t width = 0;
  int32_t height = 0;
  std::list<vkBGPicButton> buttons;
};

// What the dispatcher needs of a display. The display library owns one per
// display and attaches it while the display exists.
struct vkEventDisplay {
  vkDisplay* display = nullptr;  // the display record, as queued events name it
  vkObjectId id;
  bool open = false;                  // its window is there
  int32_t mode = 1;                   // 1 window, 2 full screen
  vkDisplayHandlers handlers{};
  vkOSInput* input = nullptr;         // keys, buttons and pointer, kept by its window
  vkOSDisplay* os = nullptr;          // its platform record: the handlers switch its drop
                                      // receiver and clipboard watch
  vkEventPicture* picture = nullptr;  // the BGPic it shows, NULL for none
  int32_t offsetX = 0;                // where the picture starts in the window
  int32_t offsetY = 0;
  double scaleX = 1.0;                // window size over picture size
  double scaleY = 1.0;
  int32_t x = 0;                      // the window's position and content size,
  int32_t y = 0;                      // for move and size messages
  int32_t width = 0;
  int32_t height = 0;
  uint32_t requesterOpen = 0;         // a system requester has the input
};

// A sound notification as the dispatcher delivers it.
inline constexpr int32_t kSoundNoticeSampleEnd = 5;
inline constexpr int32_t kSoundNoticeSampleLoop = 6;
inline constexpr int32_t kSoundNoticeMusicEnd = 7;
struct vkSoundNotice {
  int32_t type = 0;  // kSoundNotice*
  vkObjectId id;     // the sample's or music's identifier
  double time = 0;   // "time" of the message
  int32_t starts = 0;
};

// A brush's picture as the clipboard takes it: width x height ARGB words,
// the mask or alpha plane in the top byte when [hasAlpha].
struct vkBrushPicture {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> argb;
  bool hasAlpha = false;
};

// Answers the libraries above the runtime give, to the event and the system
// library; any may be NULL.
struct vkEventHooks {
  // Takes the oldest sound notification: true and [*out], or false.
  bool (*takeSoundNotice)(vkState* L, vkSoundNotice* out) = nullptr;
  // The layer named by the value at stack [index] (number or name) on the
  // current picture, or NULL.
  vkLayer* (*findLayer)(vkState* L, int index) = nullptr;
  // Whether ([x], [y]) hits the layer, refined by its mask or alpha and, with
  // [pixelTest], by the pixel under it; a hidden layer only counts with
  // [activeWhileHidden].
  bool (*hitLayer)(vkLayer* layer, int32_t x, int32_t y, bool pixelTest, bool activeWhileHidden) = nullptr;
  // The layer's index and name for a button's message.
  int32_t (*layerIndex)(const vkLayer* layer) = nullptr;
  const char* (*layerName)(const vkLayer* layer) = nullptr;
  // The picture of the brush named by the value at stack [index]: 0 with
  // [*out], or the error of a brush not found.
  int (*brushPicture)(vkState* L, int index, vkBrushPicture* out) = nullptr;
  // A new brush with an automatic id made of [image] (taken), its handle
  // pushed: 0 or an error.
  int (*brushFromImage)(vkState* L, vkOSClipboardImage&& image) = nullptr;
  // Frees the objects of [kinds] (bits 1 brushes, 2 anims, 4 text objects,
  // 8 BGPics) that were kept only while a layer showed them.
  void (*flushLayerCaches)(vkState* L, uint32_t kinds) = nullptr;
};

// Where the dispatcher resumes (one source per call).
enum class vkDispatchStep : int32_t {
  Start = 0,
  Timers = 1,
  Sound = 2,
  Motion = 3,
  Queue = 4,
  DisplayHandler = 5,  // a taken event: the display's own handler first
  EventHandler = 6,    // then the buttons or the handler of its kind
  Hover = 7,
  End = 8,
};

struct vkDispatcherState {
  vkDispatchStep step = vkDispatchStep::Start;
  vkEventInfo event;         // the queued event being handled, payload taken
  size_t displayCursor = 0;  // the motion and hover scans: next display
  bool tookEvent = false;    // this round took a queued event: go round again
};

// Program-wide switches of the label-event types 10 to 14.
inline constexpr size_t kLabelSwitchCount = 5;

struct vkEventState {
  vkDispatcherState dispatch;
  std::vector<vkEventDisplay*> displays;  // attached displays in opening order
  vkEventDisplay* current = nullptr;      // the current display, NULL for none
  std::list<vkLabelEvent> labels;         // appended at the end
  std::array<uint32_t, kLabelSwitchCount> labelSwitches{};
  const vkLabelEvent* labelButton = nullptr;  // WhileMouseOn's button
  int32_t lastLabelCode = 0;                   // GetEventCode
  int32_t whileKeyCode = -1;                   // WhileKeyDown's key
  std::list<vkTimer> intervals;
  std::list<vkTimer> timeouts;
  vkProgramHandlers programHandlers{};
  vkEventHooks hooks;
  // The dispatch result's keys "results", "nresults" and "triggered",
  // interned once and held by the registry: every CheckEvent makes a table.
  std::array<int32_t, 3> resultKeys{kNoReference, kNoReference, kNoReference};
};

// The event state of the run [L] belongs to; NULL before the event library
// opened.
vkEventState* EventStateOf(vkState* L);

// Displays come and go through these: attach when made, detach before it is
// freed (its queued events forget it, the scans move past it), current when
// it becomes the current display.
void AttachEventDisplay(vkState* L, vkEventDisplay* display);
void DetachEventDisplay(vkState* L, vkEventDisplay* display);
void SetCurrentEventDisplay(vkState* L, vkEventDisplay* display);

// A picture's buttons: every button of [layer] goes (the layer is freed);
// every button's mouse and hover states are cleared (the picture is shown
// anew).
void DeleteLayerButton(vkState* L, vkEventPicture* picture, const vkLayer* layer);
void ResetButtonStates(vkEventPicture* picture);
// Frees every button of a picture that is freed, with its references.
void FreeButtons(vkState* L, vkEventPicture* picture);
