// The event library's commands. Handler functions and userdata are held as
// registry references and released whenever their slot, button or timer
// goes; displays, pictures and layers are reached through the event state,
// which the libraries above fill; joysticks are the platform's.
#include "runtime/eventlib.h"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "engine/objecthandles.h"
#include "base/errorinfo.h"
#include "base/numconv.h"
#include "engine/argcheck.h"
#include "engine/attributes.h"
#include "engine/errors.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "platform/eventqueue.h"
#include "platform/vkos_clipboard.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "platform/vkos_input.h"
#include "platform/vkos_joystick.h"
#include "platform/vkos_time.h"
#include "platform/vkos_timers.h"
#include "runtime/context.h"
#include "runtime/dispatcher.h"
#include "runtime/objectattributes.h"

namespace {

constexpr int32_t kHighestWaitKey = 286;  // PAUSE: WaitKeyDown takes no key after it

// Sound attribute tags, set when their handlers come and go.
constexpr uint32_t kAttrOnSampleLoop = 13;
constexpr uint32_t kAttrOnSampleEnd = 14;
constexpr uint32_t kAttrOnMusicEnd = 19;

int32_t ClampToInt32(int64_t v) {
  return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : int32_t(v);
}

vkEventState& Events(vkState* L) {
  vkEventState* events = EventStateOf(L);
  if (events == nullptr) vmRaiseError(L, int(kErrOutOfMemory));
  return *events;
}

int32_t CheckInt(vkState* L, int i) { return vkDoubleToInt32(vmCheckNumber(L, i)); }

void Unref(vkState* L, int32_t& ref) {
  if (ref != kNoReference) vmUnref(L, VK_REGISTRYINDEX, ref);
  ref = kNoReference;
}

// A reference to the value at [index].
int32_t RefValue(vkState* L, int index) {
  vmPushValue(L, index);
  return vmRef(L, VK_REGISTRYINDEX);
}

vkOSInput* CurrentInput(vkState* L) {
  vkEventDisplay* d = Events(L).current;
  return d != nullptr ? d->input : nullptr;
}

bool CurrentOpen(vkState* L) {
  vkEventDisplay* d = Events(L).current;
  return d != nullptr && d->open;
}

// ---- Waiting and polling ----------------------------------------------------

// Pumps until [done] holds or a quit is asked for; false on a quit.
template <typename Done>
bool PumpUntil(vkState* L, Done done) {
  while (!done()) {
    vkosWaitEvent();
    if (vkosPumpEvents(L) != 0) return false;
  }
  return true;
}

bool MouseDown(vkState* L, int which) {
  vkOSInput* input = CurrentInput(L);
  return input != nullptr && input->mouseDown[size_t(which)] != 0;
}

int WaitMouse(vkState* L, int which) {
  CheckArgCount(L, 0, 0);
  if (!CurrentOpen(L)) return int(kErrDisplayClosed);
  if (PumpUntil(L, [&] { return MouseDown(L, which); })) PumpUntil(L, [&] { return !MouseDown(L, which); });
  RemoveEvents(-1, true);
  return 0;
}

int cmdWaitLeftMouse(vkState* L) { return WaitMouse(L, VKOS_MOUSE_LEFT); }
int cmdWaitRightMouse(vkState* L) { return WaitMouse(L, VKOS_MOUSE_RIGHT); }
int cmdWaitMidMouse(vkState* L) { return WaitMouse(L, VKOS_MOUSE_MID); }

int WhileMouse(vkState* L, int which) {
  CheckArgCount(L, 0, 0);
  PumpUntil(L, [&] { return !MouseDown(L, which); });
  return 0;
}

int cmdWhileMouseDown(vkState* L) { return WhileMouse(L, VKOS_MOUSE_LEFT); }
int cmdWhileRightMouseDown(vkState* L) { return WhileMouse(L, VKOS_MOUSE_RIGHT); }

int IsMouse(vkState* L, int which) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, MouseDown(L, which) ? 1 : 0);
  return 1;
}

int cmdIsLeftMouse(vkState* L) { return IsMouse(L, VKOS_MOUSE_LEFT); }
int cmdIsRightMouse(vkState* L) { return IsMouse(L, VKOS_MOUSE_RIGHT); }
int cmdIsMidMouse(vkState* L) { return IsMouse(L, VKOS_MOUSE_MID); }

// The code of a key argument: a single visible character, a named key or,
// with [modifiers], a modifier (negative); -1 when unknown.
int32_t KeyArg(const char* key, bool modifiers) {
  if (key[0] != 0 && key[1] == 0) {
    const unsigned char c = static_cast<unsigned char>(key[0]);
    return vkosIsGraphChar(c) ? int32_t(c) : -1;
  }
  return KeyCodeOfName(key, modifiers);
}

bool KeyDown(vkState* L, int32_t code) {
  vkOSInput* input = CurrentInput(L);
  return input != nullptr && code >= 0 && uint32_t(code) < kKeyCodeCount && input->keyDown[size_t(code)] != 0;
}

int cmdIsKeyDown(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t code = KeyArg(vmCheckString(L, 1, nullptr), true);
  if (code == -1) return int(kErrWrongUsage);
  bool down;
  if (code < 0)
    down = (vkosGetModifierKeys() & uint32_t(code) & ~VKOS_QUALIFIER_BASE) != 0;
  else
    down = KeyDown(L, code);
  vmPushNumber(L, down ? 1 : 0);
  return 1;
}

int cmdWaitKeyDown(vkState* L) {
  CheckArgCount(L, 1, 1);
  const int32_t code = KeyArg(vmCheckString(L, 1, nullptr), false);
  if (!CurrentOpen(L)) return int(kErrDisplayClosed);
  if (code < 0 || code > kHighestWaitKey) return int(kErrWrongUsage);
  auto up = [&] { return !KeyDown(L, code); };
  if (PumpUntil(L, up) && PumpUntil(L, [&] { return KeyDown(L, code); })) PumpUntil(L, up);
  RemoveEvents(-1, true);
  return 0;
}

int cmdWhileKeyDown(vkState* L) {
  CheckArgCount(L, 0, 0);
  const int32_t code = Events(L).whileKeyCode;
  PumpUntil(L, [&] { return !KeyDown(L, code); });
  return 0;
}

int cmdMouseX(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, PointerX(Events(L).current));
  return 1;
}

int cmdMouseY(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, PointerY(Events(L).current));
  return 1;
}

int cmdResetKeyStates(vkState* L) {
  CheckArgCount(L, 0, 0);
  if (vkOSInput* input = CurrentInput(L)) vkosClearInput(input);
  return 0;
}

int cmdFreeEventCache(vkState* L) {
  CheckArgCount(L, 0, 0);
  RemoveEvents(-1, true);
  return 0;
}

int cmdSetEventTimeout(vkState* L) {
  CheckArgCount(L, 1, 1);
  SetAttrs(L, nullptr, {{ATTR_EVENTEXPIRY, CheckInt(L, 1)}});
  return 0;
}

int SetQuitOption(vkState* L, int32_t option) {
  CheckArgCount(L, 1, 1);
  vkosSetOption(L, option, CheckInt(L, 1));
  return 0;
}

int cmdLeftMouseQuit(vkState* L) { return SetQuitOption(L, VKOS_OPTION_LEFTMOUSEQUIT); }
int cmdEscapeQuit(vkState* L) { return SetQuitOption(L, VKOS_OPTION_ESCAPEQUIT); }
int cmdCtrlCQuit(vkState* L) { return SetQuitOption(L, VKOS_OPTION_CTRLCQUIT); }

int Dispatch(vkState* L, bool blocking) {
  CheckArgCount(L, 0, 0);
  return int(RunEventDispatch(L, blocking));
}

int cmdCheckEvent(vkState* L) { return Dispatch(L, false); }
int cmdWaitEvent(vkState* L) { return Dispatch(L, true); }

// ---- Label events ------------------------------------------------------------

using LabelType = vkLabelEventType;

bool IsButtonLabel(LabelType t) {
  return t == LabelType::ONBUTTONOVER || t == LabelType::ONBUTTONCLICK || t == LabelType::ONBUTTONRIGHTCLICK;
}

void RemoveLabels(vkEventState& events, int32_t id, bool (*which)(LabelType)) {
  events.labels.remove_if([&](const vkLabelEvent& r) {
    if (r.id != id || !which(r.type)) return false;
    if (events.labelButton == &r) events.labelButton = nullptr;
    return true;
  });
}

int cmdCreateButton(vkState* L) {
  CheckArgCount(L, 5, 5);
  vkEventState& events = Events(L);
  vkLabelEvent r;
  r.id = CheckInt(L, 1);
  r.x1 = CheckInt(L, 2);
  r.y1 = CheckInt(L, 3);
  r.x2 = CheckInt(L, 4);
  r.y2 = CheckInt(L, 5);
  static const struct {
    LabelType type;
    const char* name;
  } kKinds[] = {{LabelType::ONBUTTONOVER, "ONBUTTONOVER"},
                {LabelType::ONBUTTONCLICK, "ONBUTTONCLICK"},
                {LabelType::ONBUTTONRIGHTCLICK, "ONBUTTONRIGHTCLICK"}};
  for (const auto& k : kKinds) {
    r.type = k.type;
    r.name = k.name;
    events.labels.push_back(r);
  }
  return 0;
}

int cmdCreateKeyDown(vkState* L) {
  CheckArgCount(L, 2, 2);
  vkLabelEvent r;
  r.type = LabelType::ONKEYDOWN;
  r.id = CheckInt(L, 1);
  r.name = vmCheckString(L, 2, nullptr);
  Events(L).labels.push_back(std::move(r));
  return 0;
}

int cmdRemoveButton(vkState* L) {
  CheckArgCount(L, 1, 1);
  RemoveLabels(Events(L), CheckInt(L, 1), IsButtonLabel);
  return 0;
}

int cmdRemoveKeyDown(vkState* L) {
  CheckArgCount(L, 1, 1);
  RemoveLabels(Events(L), CheckInt(L, 1), [](LabelType t) { return t == LabelType::ONKEYDOWN; });
  return 0;
}

int cmdModifyButton(vkState* L) {
  CheckArgCount(L, 5, 5);
  const int32_t id = CheckInt(L, 1);
  const int32_t x1 = CheckInt(L, 2), y1 = CheckInt(L, 3), x2 = CheckInt(L, 4), y2 = CheckInt(L, 5);
  for (vkLabelEvent& r : Events(L).labels)
    if (r.id == id && IsButtonLabel(r.type)) r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
  return 0;
}

int cmdModifyKeyDown(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t id = CheckInt(L, 1);
  const char* key = vmCheckString(L, 2, nullptr);
  for (vkLabelEvent& r : Events(L).labels)
    if (r.id == id && r.type == LabelType::ONKEYDOWN) r.name = key;
  return 0;
}

// EnableEvent and DisableEvent: the switch of types 10 to 14 and the enabled
// word of the records of that type and id. The window types, which no other
// command makes, get their record here when enabled.
int SwitchEvent(vkState* L, uint32_t on) {
  CheckArgCount(L, 2, 2);
  vkEventState& events = Events(L);
  const int32_t type = CheckInt(L, 1);
  const int32_t id = CheckInt(L, 2);
  if (type >= 10 && type < int32_t(10 + kLabelSwitchCount)) events.labelSwitches[size_t(type - 10)] = on;
  bool found = false;
  for (vkLabelEvent& r : events.labels)
    if (int32_t(r.type) == type && r.id == id) r.enabled = on, found = true;
  if (!found && on != 0 && type >= int32_t(LabelType::MOVEWINDOW) && type <= int32_t(LabelType::CLOSEWINDOW)) {
    vkLabelEvent r;
    r.type = LabelType(type);
    r.id = id;
    events.labels.push_back(std::move(r));
  }
  return 0;
}

int cmdEnableEvent(vkState* L) { return SwitchEvent(L, 1); }
int cmdDisableEvent(vkState* L) { return SwitchEvent(L, 0); }

int cmdClearEvents(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkEventState& events = Events(L);
  for (const vkLabelEvent& r : events.labels)
    if (r.type == LabelType::CLOSEWINDOW) events.labelSwitches[0] = 0;
  events.labels.clear();
  events.labelButton = nullptr;
  return 0;
}

int cmdGetEventCode(vkState* L) {
  CheckArgCount(L, 0, 0);
  vmPushNumber(L, Events(L).lastLabelCode);
  return 1;
}

int cmdWhileMouseOn(vkState* L) {
  CheckArgCount(L, 0, 0);
  const int32_t code = RunWhileMouseOn(L);
  return code == -2 ? int(0xFFFFFFFEu) : code;
}

int cmdBreakWhileMouseOn(vkState* L) {
  CheckArgCount(L, 0, 0);
  Events(L).labelButton = nullptr;
  return 0;
}

// ---- Buttons -------------------------------------------------------------------

vkEventPicture* CurrentPicture(vkState* L) {
  vkEventDisplay* d = Events(L).current;
  return d != nullptr ? d->picture : nullptr;
}

void ReleaseButton(vkState* L, vkBGPicButton& b) {
  for (int32_t& ref : b.handlers) Unref(L, ref);
  Unref(L, b.userData);
}

// The button the argument names on [picture]: 0, or the error to return.
uint32_t FindButton(vkState* L, vkEventPicture* picture, int i, std::list<vkBGPicButton>::iterator* out) {
  const vkObjectId id = CheckObjectId(L, i);
  for (auto it = picture->buttons.begin(); it != picture->buttons.end(); ++it)
    if (id.handle != nullptr ? it->handle == id.handle : (it->handle == nullptr && it->id == id.number)) {
      *out = it;
      return 0;
    }
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kErrNoButton;
}

// A special coordinate (CENTER, LEFT, RIGHT, TOP, BOTTOM, each with an offset
// up to 4999 either way) placed for an object of [size] in [extent].
int32_t ResolvePosition(int32_t value, int32_t size, int32_t extent) {
  static const struct {
    int32_t base;
    bool centre, far;
  } kSpecial[] = {{-100000, true, false}, {-90000, false, false}, {-80000, false, true},
                  {-70000, false, false}, {-60000, false, true}};
  for (const auto& s : kSpecial) {
    const int64_t offset = int64_t(value) - s.base;
    if (offset < -4999 || offset > 4999) continue;
    const int64_t at = s.centre ? (int64_t(extent) - size) / 2 : s.far ? int64_t(extent) - size : 0;
    return ClampToInt32(at + offset);
  }
  return value;
}

int cmdMakeButton(vkState* L) {
  CheckArgCount(L, 6, 8);
  vkEventState& events = Events(L);
  vkEventPicture* picture = CurrentPicture(L);
  if (picture == nullptr) return int(kErrNoBGPicActive);
  const vkIdRequest request = OptObjectId(L, 1);
  const int32_t kind = CheckInt(L, 2);
  vkBGPicButton b;
  b.kind = uint32_t(kind);
  int eventsArg;
  if (kind == int32_t(kSimpleButton)) {
    CheckArgCount(L, 7, 8);
    const int32_t width = CheckInt(L, 5), height = CheckInt(L, 6);
    if (width < 1 || height < 1) return int(kErrWrongUsage);
    b.x1 = ResolvePosition(CheckInt(L, 3), width, picture->width);
    b.y1 = ResolvePosition(CheckInt(L, 4), height, picture->height);
    b.x2 = ClampToInt32(int64_t(b.x1) + width - 1);
    b.y2 = ClampToInt32(int64_t(b.y1) + height - 1);
    eventsArg = 7;
  } else if (kind == int32_t(kLayerButton)) {
    vkLayer* layer = events.hooks.findLayer ? events.hooks.findLayer(L, 3) : nullptr;
    if (layer == nullptr) return int(kErrLayerOutOfRange);
    for (const vkBGPicButton& other : picture->buttons)
      if (other.kind == kLayerButton && other.layer == layer) return int(kErrWrongUsage);
    b.layer = layer;
    b.pixelTest = CheckInt(L, 4) != 0;
    b.activeWhileHidden = CheckInt(L, 5) != 0;
    eventsArg = 6;
  } else {
    return int(kErrWrongUsage);
  }
  vmCheckTable(L, eventsArg);
  // Every named field must be a function, and one at least must be there.
  bool any = false;
  for (const char* name : kButtonHandlerNames) {
    vmPushString(L, name);
    vmGetTable(L, eventsArg);
    const int type = vmType(L, -1);
    vmSetTop(L, -2);
    if (type == VK_TNIL) continue;
    if (type != VK_TFUNCTION) {
      SetErrorText(name);
      return int(kErrFunctionExpected);
    }
    any = true;
  }
  if (!any) return int(kErrWrongUsage);
  if (!request.automatic) {
    for (auto it = picture->buttons.begin(); it != picture->buttons.end(); ++it)
      if (it->handle == nullptr && it->id == request.number) {
        ReleaseButton(L, *it);
        picture->buttons.erase(it);
        break;
      }
  }
  for (size_t i = 0; i < kButtonHandlerCount; i++) {
    vmPushString(L, kButtonHandlerNames[i]);
    vmGetTable(L, eventsArg);
    b.handlers[i] = vmType(L, -1) == VK_TFUNCTION ? vmRef(L, VK_REGISTRYINDEX) : (vmSetTop(L, -2), kNoReference);
  }
  if (vmGetTop(L) > eventsArg) b.userData = RefValue(L, eventsArg + 1);
  b.id = request.automatic ? 0 : request.number;
  vkBGPicButton& made = picture->buttons.emplace_front(b);
  if (!request.automatic) return 0;
  made.handle = NewObjectHandle();
  vmPushLightUserdata(L, const_cast<void*>(made.handle));
  return 1;
}

int cmdDeleteButton(vkState* L) {
  CheckArgCount(L, 1, 1);
  vkEventPicture* picture = CurrentPicture(L);
  if (picture == nullptr) return int(kErrNoBGPicActive);
  std::list<vkBGPicButton>::iterator it;
  if (uint32_t code = FindButton(L, picture, 1, &it)) return int(code);
  ReleaseButton(L, *it);
  picture->buttons.erase(it);
  return 0;
}

int SetButtonEnabled(vkState* L, bool on) {
  CheckArgCount(L, 1, 1);
  vkEventPicture* picture = CurrentPicture(L);
  if (picture == nullptr) return int(kErrNoBGPicActive);
  std::list<vkBGPicButton>::iterator it;
  if (uint32_t code = FindButton(L, picture, 1, &it)) return int(code);
  it->enabled = on ? 1 : 0;
  if (on) it->mouseDown = it->rightMouseDown = it->midMouseDown = it->over = 0;
  return 0;
}

int cmdEnableButton(vkState* L) { return SetButtonEnabled(L, true); }
int cmdDisableButton(vkState* L) { return SetButtonEnabled(L, false); }

int cmdDumpButtons(vkState* L) {
  CheckArgCount(L, 0, 0);
  vkEventPicture* picture = CurrentPicture(L);
  if (picture == nullptr) return int(kErrNoBGPicActive);
  std::printf("BUTTON SYSTEM INFO - BGPIC: %d (%p)\nsizeof(vkBGPicButton): %d\nButtons: %d\n", picture->id.number,
              static_cast<void*>(picture), int(sizeof(vkBGPicButton)), int(picture->buttons.size()));
  int n = 0;
  for (const vkBGPicButton& b : picture->buttons)
    std::printf("(%d) Type: %d - X1: %d - Y1: %d - X2: %d - Y2: %d\n", n++, int(b.kind), b.x1, b.y1, b.x2, b.y2);
  std::fflush(stdout);
  return 0;
}

// ---- Handlers ------------------------------------------------------------------

// Sets or clears [slot] from the field on top of the stack (popped): absent
// leaves it, a function replaces it, anything else clears it. Returns
// whether the slot was touched.
bool TakeHandlerField(vkState* L, vkHandlerRef& slot, int userDataArg) {
  const int type = vmType(L, -1);
  if (type == VK_TNIL) {
    vmSetTop(L, -2);
    return false;
  }
  Unref(L, slot.function);
  Unref(L, slot.userData);
  if (type == VK_TFUNCTION) {
    slot.function = vmRef(L, VK_REGISTRYINDEX);
    if (userDataArg != 0) slot.userData = RefValue(L, userDataArg);
  } else {
    vmSetTop(L, -2);
  }
  return true;
}

constexpr size_t kSlotCloseWindow = 3;
constexpr size_t kSlotDropFile = 17;
constexpr size_t kSlotClipboardChange = 18;

int cmdInstallEventHandler(vkState* L) {
  CheckArgCount(L, 1, 2);
  vmCheckTable(L, 1);
  vkEventState& events = Events(L);
  const int userDataArg = vmGetTop(L) >= 2 ? 2 : 0;
  vkEventDisplay* d = events.current;
  for (size_t i = 0; i < kDisplayHandlerCount; i++) {
    vmPushString(L, kDisplayHandlerNames[i]);
    vmGetTable(L, 1);
    if (d == nullptr) {
      const bool named = vmType(L, -1) != VK_TNIL;
      vmSetTop(L, -2);
      if (named) return int(kErrDisplayClosed);
      continue;
    }
    TakeHandlerField(L, d->handlers[i], userDataArg);
  }
  for (size_t i = 0; i < kProgramHandlerCount; i++) {
    vmPushString(L, kProgramHandlerNames[i]);
    vmGetTable(L, 1);
    TakeHandlerField(L, events.programHandlers[i], userDataArg);
  }
  if (d != nullptr) {
    events.labelSwitches[0] = d->handlers[kSlotCloseWindow].function != kNoReference ? 1 : 0;
    // Drops and clipboard changes reach a window while it has their handlers.
    if (vkOSDisplay* os = d->os) {
      const uint32_t drops = d->handlers[kSlotDropFile].function != kNoReference ? 1 : 0;
      const uint32_t clipboard = d->handlers[kSlotClipboardChange].function != kNoReference ? 1 : 0;
      if (os->dropFiles != drops) {
        os->dropFiles = drops;
        vkosEnableDropFiles(os);
      }
      if (os->watchClipboard != clipboard) {
        os->watchClipboard = clipboard;
        vkosWatchClipboard(os);
      }
    }
  }
  const auto& p = events.programHandlers;
  SetAttrs(L, nullptr, {{kAttrOnSampleLoop, p[0].function != kNoReference ? 1 : 0},
                     {kAttrOnSampleEnd, p[1].function != kNoReference ? 1 : 0},
                     {kAttrOnMusicEnd, p[2].function != kNoReference ? 1 : 0}});
  return 0;
}

// ---- Intervals and timeouts ------------------------------------------------------

struct vkTimerKind {
  int32_t platformKind;
  vkTimerOp add, remove;
  int32_t notFound;
  std::list<vkTimer> vkEventState::*list;
};
constexpr vkTimerKind kInterval{VKOS_TIMER_INTERVAL, VKOS_TIMER_ADD_INTERVAL, VKOS_TIMER_REMOVE_INTERVAL,
                                kErrNoInterval, &vkEventState::intervals};
constexpr vkTimerKind kTimeout{VKOS_TIMER_TIMEOUT, VKOS_TIMER_ADD_TIMEOUT, VKOS_TIMER_REMOVE_TIMEOUT,
                               kErrNoTimeout, &vkEventState::timeouts};

vkTimerKey KeyOf(const vkTimer& t) { return vkTimerKey{t.id, t.handle}; }

void RemoveTimer(vkState* L, std::list<vkTimer>& list, std::list<vkTimer>::iterator it, const vkTimerKind& kind) {
  vkosTimerControl(kind.remove, KeyOf(*it), 0);
  Unref(L, it->function);
  Unref(L, it->userData);
  list.erase(it);
}

std::list<vkTimer>::iterator FindTimer(std::list<vkTimer>& list, const vkObjectId& id) {
  for (auto it = list.begin(); it != list.end(); ++it)
    if (id.handle != nullptr ? it->handle == id.handle : (it->handle == nullptr && it->id == id.number)) return it;
  return list.end();
}

int StartTimer(vkState* L, const vkTimerKind& kind) {
  CheckArgCount(L, 3, 4);
  const vkIdRequest request = OptObjectId(L, 1);
  vmCheckFunction(L, 2);
  const int32_t ms = CheckInt(L, 3);
  if (ms < 1) return int(kErrWrongUsage);
  std::list<vkTimer>& list = Events(L).*kind.list;
  if (!request.automatic) {
    auto old = FindTimer(list, vkObjectId{request.number, nullptr});
    if (old != list.end()) RemoveTimer(L, list, old, kind);
  }
  vkTimer& t = list.emplace_back();
  t.id = request.automatic ? 0 : request.number;
  t.handle = request.automatic ? NewObjectHandle() : nullptr;
  t.milliseconds = uint32_t(ms);
  t.function = RefValue(L, 2);
  if (vmGetTop(L) >= 4) t.userData = RefValue(L, 4);
  if (vkosTimerControl(kind.add, KeyOf(t), uint32_t(ms)) != 0) {
    RemoveTimer(L, list, std::prev(list.end()), kind);
    return int(kErrOutOfMemory);
  }
  if (!request.automatic) return 0;
  vmPushLightUserdata(L, const_cast<void*>(t.handle));
  return 1;
}

int cmdSetInterval(vkState* L) { return StartTimer(L, kInterval); }
int cmdSetTimeout(vkState* L) { return StartTimer(L, kTimeout); }

// The timer the argument at [index] names: 0 with [*out], or the error to
// return.
uint32_t TimerArg(vkState* L, const vkTimerKind& kind, std::list<vkTimer>::iterator* out, int index = 1) {
  const vkObjectId id = CheckObjectId(L, index);
  std::list<vkTimer>& list = Events(L).*kind.list;
  *out = FindTimer(list, id);
  if (*out != list.end()) return 0;
  if (id.handle != nullptr) return kErrObjectNotFound;
  SetErrorNumber(id.number);
  return kind.notFound;
}

int ClearTimer(vkState* L, const vkTimerKind& kind) {
  CheckArgCount(L, 1, 1);
  std::list<vkTimer>::iterator it;
  if (uint32_t code = TimerArg(L, kind, &it)) return int(code);
  RemoveTimer(L, Events(L).*kind.list, it, kind);
  return 0;
}

int cmdClearInterval(vkState* L) { return ClearTimer(L, kInterval); }
int cmdClearTimeout(vkState* L) { return ClearTimer(L, kTimeout); }

int cmdChangeInterval(vkState* L) {
  CheckArgCount(L, 2, 2);
  const int32_t ms = CheckInt(L, 2);
  std::list<vkTimer>::iterator it;
  if (uint32_t code = TimerArg(L, kInterval, &it)) return int(code);
  if (ms < 1) return int(kErrWrongUsage);  // a period under 1 ms would fire without end
  it->milliseconds = uint32_t(ms);
  vkosTimerControl(VKOS_TIMER_CHANGE_INTERVAL, KeyOf(*it), uint32_t(ms));
  return 0;
}

// ---- Joysticks -------------------------------------------------------------------

int cmdJoyDir(vkState* L) {
  CheckArgCount(L, 1, 1);
  int32_t direction = JOYNODIR;
  if (int code = vkosReadJoystick(CheckInt(L, 1), &direction, nullptr)) return code;
  vmPushNumber(L, direction);
  return 1;
}

int cmdJoyFire(vkState* L) {
  CheckArgCount(L, 1, 2);
  const int32_t port = CheckInt(L, 1);
  const int32_t button = vkDoubleToInt32(vmOptNumber(L, 2, 1));
  if (button < 0 || button > 32) return int(kErrWrongUsage);
  uint32_t buttons = 0;
  if (int code = vkosReadJoystick(port, nullptr, &buttons)) return code;
  vmPushNumber(L, button == 0 ? double(buttons) : double((buttons >> (button - 1)) & 1u));
  return 1;
}

int cmdCountJoysticks(vkState* L) {
  CheckArgCount(L, 0, 0);
  int32_t count = 0;
  if (int code = vkosCountJoysticks(&count)) return code;
  vmPushNumber(L, count);
  return 1;
}

const vkCommandDef kEventCommands[] = {
    {"WaitLeftMouse", cmdWaitLeftMouse},
    {"WaitRightMouse", cmdWaitRightMouse},
    {"WaitKeyDown", cmdWaitKeyDown},
    {"IsKeyDown", cmdIsKeyDown},
    {"WhileRightMouseDown", cmdWhileRightMouseDown},
    {"WhileMouseDown", cmdWhileMouseDown},
    {"WhileKeyDown", cmdWhileKeyDown},
    {"IsLeftMouse", cmdIsLeftMouse},
    {"IsRightMouse", cmdIsRightMouse},
    {"BreakWhileMouseOn", cmdBreakWhileMouseOn},
    {"SetEventTimeout", cmdSetEventTimeout},
    {"GetEventCode", cmdGetEventCode},
    {"LeftMouseQuit", cmdLeftMouseQuit},
    {"EscapeQuit", cmdEscapeQuit},
    {"CtrlCQuit", cmdCtrlCQuit},
    {"EnableEvent", cmdEnableEvent},
    {"DisableEvent", cmdDisableEvent},
    {"RemoveButton", cmdRemoveButton},
    {"RemoveKeyDown", cmdRemoveKeyDown},
    {"ModifyButton", cmdModifyButton},
    {"ModifyKeyDown", cmdModifyKeyDown},
    {"WhileMouseOn", cmdWhileMouseOn},
    {"CreateButton", cmdCreateButton},
    {"CreateKeyDown", cmdCreateKeyDown},
    {"FreeEventCache", cmdFreeEventCache},
    {"ClearEvents", cmdClearEvents},
    {"CheckEvent", cmdCheckEvent},
    {"WaitEvent", cmdWaitEvent},
    {"MouseX", cmdMouseX},
    {"MouseY", cmdMouseY},
    {"MakeButton", cmdMakeButton},
    {"DeleteButton", cmdDeleteButton},
    {"DisableButton", cmdDisableButton},
    {"EnableButton", cmdEnableButton},
    {"InstallEventHandler", cmdInstallEventHandler},
    {"SetInterval", cmdSetInterval},
    {"SetTimeout", cmdSetTimeout},
    {"ClearInterval", cmdClearInterval},
    {"ClearTimeout", cmdClearTimeout},
    {"ChangeInterval", cmdChangeInterval},
    {"DumpButtons", cmdDumpButtons},
    {"WaitMidMouse", cmdWaitMidMouse},
    {"IsMidMouse", cmdIsMidMouse},
    {"ResetKeyStates", cmdResetKeyStates},
    {"JoyDir", cmdJoyDir},
    {"JoyFire", cmdJoyFire},
    {"CountJoysticks", cmdCountJoysticks},
    {nullptr, nullptr},
};

const vkConstantDef kEventConstants[] = {
    {"MOVEWINDOW", nullptr, 6},
    {"SIZEWINDOW", nullptr, 7},
    {"INACTIVEWINDOW", nullptr, 8},
    {"ACTIVEWINDOW", nullptr, 9},
    {"CLOSEWINDOW", nullptr, 10},
    {"ONBUTTONCLICKALL", nullptr, 11},
    {"ONBUTTONRIGHTCLICKALL", nullptr, 12},
    {"ONBUTTONOVERALL", nullptr, 13},
    {"ONKEYDOWNALL", nullptr, 14},
    {"JOYUP", nullptr, 0},
    {"JOYUPRIGHT", nullptr, 1},
    {"JOYRIGHT", nullptr, 2},
    {"JOYDOWNRIGHT", nullptr, 3},
    {"JOYDOWN", nullptr, 4},
    {"JOYDOWNLEFT", nullptr, 5},
    {"JOYLEFT", nullptr, 6},
    {"JOYUPLEFT", nullptr, 7},
    {"JOYNODIR", nullptr, 8},
    {"ONBUTTONCLICK", nullptr, 2},
    {"ONBUTTONOVER", nullptr, 1},
    {"ONKEYDOWN", nullptr, 3},
    {"ONBUTTONRIGHTCLICK", nullptr, 5},
    {"SIMPLEBUTTON", nullptr, 0},
    {"LAYERBUTTON", nullptr, 1},
    {nullptr, nullptr, 0},
};

vkProgramContext* ContextOf(vkState* L) { return &ProgramContext(L); }

}  // namespace

void vkEventStateDeleter::operator()(vkEventState* state) const { delete state; }

vkEventState* EventStateOf(vkState* L) {
  vkProgramContext* context = ContextOf(L);
  return context != nullptr ? context->events.get() : nullptr;
}

void AttachEventDisplay(vkState* L, vkEventDisplay* display) {
  if (vkEventState* events = EventStateOf(L)) events->displays.push_back(display);
}

void DetachEventDisplay(vkState* L, vkEventDisplay* display) {
  vkEventState* events = EventStateOf(L);
  if (events == nullptr) return;
  auto& list = events->displays;
  for (size_t i = 0; i < list.size(); i++) {
    if (list[i] != display) continue;
    list.erase(list.begin() + std::ptrdiff_t(i));
    // The scans go on with the display that followed it.
    if (events->dispatch.displayCursor > i) events->dispatch.displayCursor--;
    break;
  }
  if (events->current == display) events->current = nullptr;
  if (display->display != nullptr) {
    if (events->dispatch.event.display == display->display) events->dispatch.event.display = nullptr;
    PurgeDisplayEvents(display->display);
  }
  for (vkHandlerRef& slot : display->handlers) {
    Unref(L, slot.function);
    Unref(L, slot.userData);
  }
}

void SetCurrentEventDisplay(vkState* L, vkEventDisplay* display) {
  if (vkEventState* events = EventStateOf(L)) events->current = display;
}

void DeleteLayerButton(vkState* L, vkEventPicture* picture, const vkLayer* layer) {
  picture->buttons.remove_if([&](vkBGPicButton& b) {
    if (b.kind != kLayerButton || b.layer != layer) return false;
    ReleaseButton(L, b);
    return true;
  });
}

void ResetButtonStates(vkEventPicture* picture) {
  for (vkBGPicButton& b : picture->buttons) b.mouseDown = b.rightMouseDown = b.midMouseDown = b.over = 0;
}

void FreeButtons(vkState* L, vkEventPicture* picture) {
  for (vkBGPicButton& b : picture->buttons) ReleaseButton(L, b);
  picture->buttons.clear();
}

namespace {

// A function or user data a handler or timer keeps, as GetAttribute answers
// it: the value, or 0 when there is none.
void PushKept(vkState* L, int32_t reference) {
  if (reference == kNoReference) vmPushNumber(L, 0);
  else vmGetRef(L, VK_REGISTRYINDEX, reference);
}

int QueryTimer(vkState* L, const vkTimerKind& kind, int32_t attribute) {
  std::list<vkTimer>::iterator it;
  if (uint32_t code = TimerArg(L, kind, &it, 2)) return int(code);
  switch (attribute) {
    case ATTRDURATION: vmPushNumber(L, it->milliseconds); return 1;
    case ATTRFUNCTION: PushKept(L, it->function); return 1;
    case ATTRUSERDATA: PushKept(L, it->userData); return 1;
    default: return kErrUnknownAttribute;
  }
}

int32_t CountIntervals(vkState* L) { return int32_t(Events(L).intervals.size()); }
int32_t CountTimeouts(vkState* L) { return int32_t(Events(L).timeouts.size()); }
int QueryInterval(vkState* L, int32_t attribute) { return QueryTimer(L, kInterval, attribute); }
int QueryTimeout(vkState* L, int32_t attribute) { return QueryTimer(L, kTimeout, attribute); }

// An event handler by its name: the current display's slots, then the
// program's.
int QueryEventHandler(vkState* L, int32_t attribute) {
  const std::string name = vmCheckString(L, 2, nullptr);
  const vkHandlerRef* slot = nullptr;
  vkEventState& events = Events(L);
  for (size_t i = 0; i < kDisplayHandlerCount && !slot; i++)
    if (strcasecmp(name.c_str(), kDisplayHandlerNames[i]) == 0 && events.current) slot = &events.current->handlers[i];
  for (size_t i = 0; i < kProgramHandlerCount && !slot; i++)
    if (strcasecmp(name.c_str(), kProgramHandlerNames[i]) == 0) slot = &events.programHandlers[i];
  const vkHandlerRef none;
  if (!slot) {
    bool known = false;
    for (const char* n : kDisplayHandlerNames) known = known || strcasecmp(name.c_str(), n) == 0;
    if (!known) {
      SetErrorText(name.c_str());
      return kErrUnknownTag;
    }
    slot = &none;  // a display event while no display is current
  }
  switch (attribute) {
    case ATTRFUNCTION: PushKept(L, slot->function); return 1;
    case ATTRUSERDATA: PushKept(L, slot->userData); return 1;
    default: return kErrUnknownAttribute;
  }
}

}  // namespace

int OpenEventLibrary(vkState* L) {
  RegisterAttributeProvider(L, vkObjectType::INTERVAL, {CountIntervals, QueryInterval});
  RegisterAttributeProvider(L, vkObjectType::TIMEOUT, {CountTimeouts, QueryTimeout});
  RegisterAttributeProvider(L, vkObjectType::EVENTHANDLER, {nullptr, QueryEventHandler});
  vkProgramContext* context = ContextOf(L);
  if (context == nullptr) return int(kErrOutOfMemory);
  try {
    context->events.reset(new vkEventState);
  } catch (const std::bad_alloc&) {
    return int(kErrOutOfMemory);
  }
  const char* const kResultKeys[] = {"results", "nresults", "triggered"};
  for (size_t i = 0; i < context->events->resultKeys.size(); i++) {
    vmPushString(L, kResultKeys[i]);
    context->events->resultKeys[i] = vmRef(L, VK_REGISTRYINDEX);
  }
  vmRegisterFunctions(L, nullptr, kEventCommands, 0);
  vmRegisterConstants(L, kEventConstants);
  return RegisterLibrary(L, kEventCommands, "event");
}

void FreeAllEventObjects(vkState* L) {
  vkEventState* events = EventStateOf(L);
  if (events == nullptr) return;
  for (const vkTimerKind* kind : {&kInterval, &kTimeout}) {
    std::list<vkTimer>& list = events->*kind->list;
    while (!list.empty()) RemoveTimer(L, list, list.begin(), *kind);
  }
  for (vkHandlerRef& slot : events->programHandlers) {
    Unref(L, slot.function);
    Unref(L, slot.userData);
  }
  for (int32_t& key : events->resultKeys) Unref(L, key);
  ContextOf(L)->events.reset();
}
