// The dispatcher's sources, one per call, and the message tables it hands to
// script handlers. Everything a handler needs is copied into the message
// before the call, and every step looks its display and buttons up afresh,
// so a handler may free the button, the picture or the display it was
// called for.
#include "runtime/dispatcher.h"

#include <strings.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#include "engine/attributes.h"
#include "base/errorinfo.h"
#include "engine/libraries.h"
#include "base/numconv.h"
#include "engine/vmapi.h"
#include "platform/vkos_events.h"
#include "platform/vkos_input.h"
#include "platform/vkos_timers.h"

namespace {

// ---- Key names -------------------------------------------------------------

struct vkKeyName {
  const char* name;
  int32_t code;
};

// Named keys; the modifiers after them are tested against the platform's
// modifier mask.
constexpr vkKeyName kKeyNames[] = {
    {"UP", 256},       {"DOWN", 257},    {"RIGHT", 258},    {"LEFT", 259},     {"HELP", 260},
    {"F1", 261},       {"F2", 262},      {"F3", 263},       {"F4", 264},       {"F5", 265},
    {"F6", 266},       {"F7", 267},      {"F8", 268},       {"F9", 269},       {"F10", 270},
    {"BACKSPACE", 271}, {"TAB", 272},    {"ENTER", 273},    {"RETURN", 274},   {"ESC", 275},
    {"SPACE", 276},    {"DEL", 277},     {"F11", 278},      {"F12", 279},      {"INSERT", 280},
    {"HOME", 281},     {"END", 282},     {"PAGEUP", 283},   {"PAGEDOWN", 284}, {"PRINT", 285},
    {"PAUSE", 286},    {"F13", 287},     {"F14", 288},      {"F15", 289},      {"F16", 290},
};
constexpr vkKeyName kModifierNames[] = {
    {"LSHIFT", int32_t(0x80010000u)},   {"RSHIFT", int32_t(0x80020000u)},   {"LALT", int32_t(0x80040000u)},
    {"RALT", int32_t(0x80080000u)},     {"LCOMMAND", int32_t(0x80100000u)}, {"RCOMMAND", int32_t(0x80200000u)},
    {"LCONTROL", int32_t(0x80400000u)}, {"RCONTROL", int32_t(0x80800000u)},
};
constexpr int32_t kKeyTab = 272, kKeyEnter = 273, kKeyReturn = 274, kKeySpace = 276;

// ---- Messages --------------------------------------------------------------

// Message kinds: which fields the handler's table gets.
enum class vkMessageKind {
  Button = 1,
  Key = 2,
  Plain = 3,
  Resized = 4,
  Moved = 5,
  Interval = 6,
  Timeout = 7,
  Motion = 8,
  Sound = 9,
  ModeSwitch = 12,
  DropFile = 13,
};

struct vkEventMessage {
  vkMessageKind kind = vkMessageKind::Plain;
  int32_t handler = kNoReference;
  int32_t userData = kNoReference;
  vkObjectId id;  // "id": the display, button, timer or sound
  std::string action;
  int32_t x = 0, y = 0, width = 0, height = 0;
  // Buttons.
  std::array<uint32_t, 3> down{};
  vkObjectId displayId;
  bool layerButton = false;
  int32_t layerIndex = 0;
  std::string layerName;
  // Keys, sounds, mode switches, drops.
  std::string key;
  double soundTime = 0;
  int32_t soundStarts = 0;
  int32_t mode = 0;
  std::unique_ptr<vkEventPayload> files;
};

void PushTable(vkState* L, const vkEventMessage& m) {
  vmNewTable(L);
  SetFieldString(L, "action", m.action.c_str());
  switch (m.kind) {
    case vkMessageKind::Button:
      SetFieldObjectId(L, "id", m.id);
      SetFieldInt(L, "x", m.x);
      SetFieldInt(L, "y", m.y);
      SetFieldInt(L, "width", m.width);
      SetFieldInt(L, "height", m.height);
      SetFieldInt(L, "mousedown", int32_t(m.down[VKOS_MOUSE_LEFT]));
      SetFieldInt(L, "rightmousedown", int32_t(m.down[VKOS_MOUSE_RIGHT]));
      SetFieldInt(L, "midmousedown", int32_t(m.down[VKOS_MOUSE_MID]));
      SetFieldObjectId(L, "display", m.displayId);
      if (m.layerButton) {
        SetFieldInt(L, "layer", m.layerIndex);
        SetFieldString(L, "layername", m.layerName.c_str());
      }
      break;
    case vkMessageKind::Key:
      SetFieldString(L, "key", m.key.c_str());
      SetFieldObjectId(L, "id", m.id);
      break;
    case vkMessageKind::Resized:
      SetFieldInt(L, "width", m.width);
      SetFieldInt(L, "height", m.height);
      SetFieldObjectId(L, "id", m.id);
      break;
    case vkMessageKind::Moved:
    case vkMessageKind::Motion:
      SetFieldInt(L, "x", m.x);
      SetFieldInt(L, "y", m.y);
      SetFieldObjectId(L, "id", m.id);
      break;
    case vkMessageKind::Sound:
      SetFieldObjectId(L, "id", m.id);
      if (m.action != "OnMusicEnd") {
        SetFieldNumber(L, "time", m.soundTime);
        SetFieldInt(L, "starts", m.soundStarts);
      }
      break;
    case vkMessageKind::ModeSwitch:
      SetFieldInt(L, "mode", m.mode);
      SetFieldObjectId(L, "id", m.id);
      break;
    case vkMessageKind::DropFile: {
      SetFieldObjectId(L, "id", m.id);
      SetFieldInt(L, "x", m.x);
      SetFieldInt(L, "y", m.y);
      const int32_t count = m.files ? int32_t(m.files->size()) : 0;
      vmPushString(L, "dropfiles");
      vmNewTable(L);
      for (int32_t i = 0; i < count; i++) {
        vmPushString(L, (*m.files)[size_t(i)].c_str());
        vmRawSetI(L, -2, i);
      }
      vmRawSet(L, -3);
      SetFieldInt(L, "numdropfiles", count);
      break;
    }
    default:
      SetFieldObjectId(L, "id", m.id);
      break;
  }
  if (m.userData != kNoReference) {
    vmPushString(L, "userdata");
    vmGetRef(L, VK_REGISTRYINDEX, m.userData);
    vmRawSet(L, -3);
  }
}

// Calls the message's handler with its table, protected: 0 with the
// handler's results left on the stack, the handler's error, or 1003 when a
// quit was asked for meanwhile.
int CallEventHandler(vkState* L, const vkEventMessage& m, vkDispatchOutcome* out) {
  const int top = vmGetTop(L);
  vmGetRef(L, VK_REGISTRYINDEX, m.handler);
  PushTable(L, m);
  SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, 1}});
  const int status = vmPCall(L, 1, VK_MULTRET, 0);
  SetAttrs(L, nullptr, {{ATTR_PCALLDEPTH, 0}});
  if (status != 0) {
    vmSetTop(L, top);
    return status;
  }
  if (ErrorInfo().stopFlag != 0) {
    vmSetTop(L, top);
    return int(kErrUserAbort);
  }
  out->triggered = true;
  out->results = vmGetTop(L) - top;
  return 0;
}

int32_t ToPicture(int32_t position, int32_t offset, double scale) {
  const double p = (position - offset) / (scale > 0 ? scale : 1.0);
  return vkDoubleToInt32(std::floor(p));
}

vkEventDisplay* FindDisplay(vkEventState& events, const vkDisplay* display) {
  if (display == nullptr) return nullptr;
  for (vkEventDisplay* d : events.displays)
    if (d->display == display) return d;
  return nullptr;
}

// ---- Timers and sounds -------------------------------------------------------

vkTimer* FindTimer(std::list<vkTimer>& timers, const vkTimerKey& key) {
  for (vkTimer& t : timers)
    if (t.id == key.number && t.handle == key.handle) return &t;
  return nullptr;
}

// 0 and nothing when no timer fired; else the handler's outcome.
int DispatchTimers(vkState* L, vkEventState& events, vkDispatchOutcome* out, bool* called) {
  for (;;) {
    vkTimerKey key;
    const int32_t kind = vkosTakeFiredTimer(&key);
    if (kind == VKOS_TIMER_NONE) return 0;
    vkEventMessage m;
    if (kind == VKOS_TIMER_INTERVAL) {
      vkTimer* timer = FindTimer(events.intervals, key);
      if (timer == nullptr) continue;
      m.kind = vkMessageKind::Interval;
      m.action = "Interval";
      m.id = vkObjectId{timer->id, const_cast<void*>(timer->handle)};
      m.handler = timer->function;
      m.userData = timer->userData;
      *called = true;
      return CallEventHandler(L, m, out);
    }
    vkTimer* timer = FindTimer(events.timeouts, key);
    if (timer == nullptr) continue;
    // The timeout is gone before its handler runs; its references go after.
    const vkTimer gone = *timer;
    events.timeouts.remove_if([timer](const vkTimer& t) { return &t == timer; });
    m.kind = vkMessageKind::Timeout;
    m.action = "Timeout";
    m.id = vkObjectId{gone.id, const_cast<void*>(gone.handle)};
    m.handler = gone.function;
    m.userData = gone.userData;
    *called = true;
    const int code = CallEventHandler(L, m, out);
    vmUnref(L, VK_REGISTRYINDEX, gone.function);
    if (gone.userData != kNoReference) vmUnref(L, VK_REGISTRYINDEX, gone.userData);
    return code;
  }
}

// Program handler slots of the sound notifications.
constexpr size_t kSlotSampleLoop = 0, kSlotSampleEnd = 1, kSlotMusicEnd = 2;

int DispatchSound(vkState* L, vkEventState& events, vkDispatchOutcome* out, bool* called) {
  const auto& slots = events.programHandlers;
  if (events.hooks.takeSoundNotice == nullptr) return 0;
  if (slots[kSlotSampleLoop].function == kNoReference && slots[kSlotSampleEnd].function == kNoReference &&
      slots[kSlotMusicEnd].function == kNoReference)
    return 0;
  vkSoundNotice notice;
  while (events.hooks.takeSoundNotice(L, &notice)) {
    size_t slot;
    const char* action;
    switch (notice.type) {
      case kSoundNoticeSampleLoop: slot = kSlotSampleLoop, action = "OnSampleLoop"; break;
      case kSoundNoticeSampleEnd: slot = kSlotSampleEnd, action = "OnSampleEnd"; break;
      case kSoundNoticeMusicEnd: slot = kSlotMusicEnd, action = "OnMusicEnd"; break;
      default: continue;
    }
    if (slots[slot].function == kNoReference) continue;
    vkEventMessage m;
    m.kind = vkMessageKind::Sound;
    m.action = action;
    m.id = notice.id;
    m.soundTime = notice.time;
    m.soundStarts = notice.starts;
    m.handler = slots[slot].function;
    m.userData = slots[slot].userData;
    *called = true;
    return CallEventHandler(L, m, out);
  }
  return 0;
}

// ---- Pointer motion ----------------------------------------------------------

constexpr size_t kSlotKeyDown = 0, kSlotKeyUp = 1, kSlotMouseMove = 2;

int DispatchMotion(vkState* L, vkEventState& events, vkDispatchOutcome* out, bool* called) {
  auto& cursor = events.dispatch.displayCursor;
  for (; cursor < events.displays.size(); cursor++) {
    vkEventDisplay* d = events.displays[cursor];
    const vkHandlerRef& slot = d->handlers[kSlotMouseMove];
    if (slot.function == kNoReference || d->input == nullptr || d->input->pointerMoved == 0) continue;
    vkTimeValue now;
    vkosGetTimeValue(&now);
    if (vkosTimeMillis(now) - vkosTimeMillis(d->input->motionStamp) > RuntimeAttrs(L).eventExpiry) continue;
    vkEventMessage m;
    m.kind = vkMessageKind::Motion;
    m.action = "OnMouseMove";
    m.x = PointerX(d);
    m.y = PointerY(d);
    m.id = d->id;
    m.handler = slot.function;
    m.userData = slot.userData;
    cursor++;
    *called = true;
    return CallEventHandler(L, m, out);
  }
  cursor = 0;
  return 0;
}

// ---- Label events ------------------------------------------------------------

constexpr uint32_t kTypeOf(vkLabelEventType t) { return uint32_t(t); }

bool LabelSwitch(const vkEventState& events, vkLabelEventType type) {
  const uint32_t t = kTypeOf(type);
  return t >= 10 && t < 10 + kLabelSwitchCount && events.labelSwitches[t - 10] != 0;
}

bool Inside(const vkLabelEvent& r, int32_t x, int32_t y) {
  return x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
}

// Jumps to [name] when the applet has that label: removes the queued events
// up to [upTo] (-1: none) and returns true.
bool JumpToLabel(vkState* L, vkEventState& events, const std::string& name, int32_t upTo) {
  const int32_t label = vmFindLabel(L, name.c_str());
  if (label < 0) return false;
  if (upTo >= 0) RemoveEvents(upTo, false);
  ErrorInfo().jumpOffset = label - ErrorInfo().pcIndex;
  events.dispatch.step = vkDispatchStep::Start;
  events.dispatch.displayCursor = 0;
  events.dispatch.tookEvent = false;
  return true;
}

// The label events of one queued event; true when one jumped.
bool MatchLabelEvent(vkState* L, vkEventState& events, const vkEventInfo& e, int32_t index) {
  vkEventDisplay* d = FindDisplay(events, e.display);
  auto tryRecords = [&](vkLabelEventType type, vkLabelEventType all, const char* prefix, auto matches,
                        int32_t allCode) {
    for (const vkLabelEvent& r : events.labels) {
      if (r.type != type || r.enabled == 0 || !matches(r)) continue;
      if (JumpToLabel(L, events, prefix + std::to_string(r.id), index)) return true;
    }
    if (LabelSwitch(events, all) && allCode >= 0) {
      events.lastLabelCode = allCode;
      if (JumpToLabel(L, events, prefix + std::string("ALL"), index)) return true;
    }
    return false;
  };
  switch (e.type) {
    case EVENT_LEFTMOUSE:
    case EVENT_RIGHTMOUSE: {
      if (e.down == 0 || d == nullptr) return false;
      const int32_t x = ToPicture(e.x, d->offsetX, d->scaleX), y = ToPicture(e.y, d->offsetY, d->scaleY);
      const bool left = e.type == EVENT_LEFTMOUSE;
      int32_t hitId = -1;
      for (const vkLabelEvent& r : events.labels)
        if (r.type == vkLabelEventType::ONBUTTONCLICK && r.enabled != 0 && Inside(r, x, y)) {
          hitId = r.id;
          break;
        }
      return tryRecords(left ? vkLabelEventType::ONBUTTONCLICK : vkLabelEventType::ONBUTTONRIGHTCLICK,
                        left ? vkLabelEventType::ONBUTTONCLICKALL : vkLabelEventType::ONBUTTONRIGHTCLICKALL,
                        left ? "ONBUTTONCLICK" : "ONBUTTONRIGHTCLICK",
                        [&](const vkLabelEvent& r) { return Inside(r, x, y); }, hitId);
    }
    case EVENT_KEY: {
      if (e.down == 0) return false;
      const int32_t code = e.further;
      const std::string name = code >= 256 ? KeyMessageText(code) : std::string(1, char(code));
      const bool jumped = tryRecords(
          vkLabelEventType::ONKEYDOWN, vkLabelEventType::ONKEYDOWNALL, "ONKEYDOWN",
          [&](const vkLabelEvent& r) {
            const int32_t want = KeyCodeOfName(r.name.c_str(), false);
            return want >= 0 ? want == code : strcasecmp(r.name.c_str(), name.c_str()) == 0;
          },
          code);
      if (jumped) events.whileKeyCode = code;
      return jumped;
    }
    default:
      break;
  }
  static const struct {
    uint32_t event;
    vkLabelEventType label;
    const char* name;
  } kWindowLabels[] = {
      {EVENT_MOVEWINDOW, vkLabelEventType::MOVEWINDOW, "MOVEWINDOW"},
      {EVENT_SIZEWINDOW, vkLabelEventType::SIZEWINDOW, "SIZEWINDOW"},
      {EVENT_INACTIVEWINDOW, vkLabelEventType::INACTIVEWINDOW, "INACTIVEWINDOW"},
      {EVENT_ACTIVEWINDOW, vkLabelEventType::ACTIVEWINDOW, "ACTIVEWINDOW"},
      {EVENT_CLOSEWINDOW, vkLabelEventType::CLOSEWINDOW, "CLOSEWINDOW"},
  };
  for (const auto& w : kWindowLabels) {
    if (w.event != e.type) continue;
    for (const vkLabelEvent& r : events.labels)
      if (r.type == w.label && r.enabled != 0 && JumpToLabel(L, events, w.name, index)) return true;
  }
  return false;
}

// ONBUTTONOVER labels against the current display's pointer: a button the
// pointer entered jumps once and becomes WhileMouseOn's button.
bool MatchHoverLabel(vkState* L, vkEventState& events) {
  vkEventDisplay* d = events.current;
  if (d == nullptr) return false;
  const int32_t x = PointerX(d), y = PointerY(d);
  for (const vkLabelEvent& r : events.labels) {
    if (r.type != vkLabelEventType::ONBUTTONOVER || r.enabled == 0) continue;
    if (!Inside(r, x, y)) {
      if (events.labelButton == &r) events.labelButton = nullptr;
      continue;
    }
    if (events.labelButton == &r) return false;
    bool jumped = JumpToLabel(L, events, "ONBUTTONOVER" + std::to_string(r.id), -1);
    if (!jumped && LabelSwitch(events, vkLabelEventType::ONBUTTONOVERALL)) {
      events.lastLabelCode = r.id;
      jumped = JumpToLabel(L, events, "ONBUTTONOVERALL", -1);
    }
    if (jumped) events.labelButton = &r;
    return jumped;
  }
  return false;
}

// ---- Queued events -----------------------------------------------------------

// The display's own handler slot of a mouse button or wheel event; -1 none.
int DisplaySlotOf(const vkEventInfo& e) {
  constexpr int kMouseDown = 10, kMouseUp = 11, kRightDown = 12, kRightUp = 13, kWheelDown = 14, kWheelUp = 15,
                kMidDown = 19, kMidUp = 20;
  switch (e.type) {
    case EVENT_LEFTMOUSE: return e.down ? kMouseDown : kMouseUp;
    case EVENT_RIGHTMOUSE: return e.down ? kRightDown : kRightUp;
    case EVENT_MIDMOUSE: return e.down ? kMidDown : kMidUp;
    case EVENT_WHEELUP: return kWheelUp;
    case EVENT_WHEELDOWN: return kWheelDown;
    default: return -1;
  }
}

// Action names of queued events by type, for up and for down.
const char* ActionOf(const vkEventInfo& e) {
  static const char* const kNames[][2] = {
      {"", ""},
      {"OnMouseUp", "OnMouseDown"},
      {"OnRightMouseUp", "OnRightMouseDown"},
      {"OnKeyUp", "OnKeyDown"},
      {"MoveWindow", "MoveWindow"},
      {"SizeWindow", "SizeWindow"},
      {"InactiveWindow", "InactiveWindow"},
      {"CloseWindow", "CloseWindow"},
      {"ActiveWindow", "ActiveWindow"},
      {"HideWindow", "HideWindow"},
      {"ShowWindow", "ShowWindow"},
      {"OnWheelUp", "OnWheelUp"},
      {"OnWheelDown", "OnWheelDown"},
      {"ModeSwitch", "ModeSwitch"},
      {"OnDropFile", "OnDropFile"},
      {"ClipboardChange", "ClipboardChange"},
      {"OnMidMouseUp", "OnMidMouseDown"},
  };
  if (e.type >= sizeof kNames / sizeof kNames[0]) return "";
  return kNames[e.type][e.down != 0 ? 1 : 0];
}

// Handler slots and message kinds of the events that go to one display
// handler by type.
struct vkTypeHandler {
  uint32_t type;
  int slot;
  vkMessageKind kind;
};
constexpr vkTypeHandler kTypeHandlers[] = {
    {EVENT_MOVEWINDOW, 4, vkMessageKind::Moved},         {EVENT_SIZEWINDOW, 5, vkMessageKind::Resized},
    {EVENT_INACTIVEWINDOW, 7, vkMessageKind::Plain},     {EVENT_CLOSEWINDOW, 3, vkMessageKind::Plain},
    {EVENT_ACTIVEWINDOW, 6, vkMessageKind::Plain},       {EVENT_HIDEWINDOW, 8, vkMessageKind::Plain},
    {EVENT_SHOWWINDOW, 9, vkMessageKind::Plain},         {EVENT_MODESWITCH, 16, vkMessageKind::ModeSwitch},
    {EVENT_DROPFILE, 17, vkMessageKind::DropFile},       {EVENT_CLIPBOARDCHANGE, 18, vkMessageKind::Plain},
};

// Takes the oldest queued event (after the label events had their look):
// true when there was one, or a label jump in [*jumped].
bool TakeQueuedEvent(vkState* L, vkEventState& events, bool fromWhileMouseOn, bool* jumped) {
  // Nothing queued and no label events is the common case: no lock for it.
  if (!ProgramEventQueue().MayHoldEvents() && events.labels.empty()) return false;
  std::unique_lock<std::recursive_mutex> hold(ProgramEventQueue().Mutex());
  if (ProgramEventQueue().Count() == 0 && events.labels.empty()) return false;
  ExpireEvents(uint32_t(RuntimeAttrs(L).eventExpiry));
  if (!events.labels.empty()) {
    vkEventInfo e;
    for (int32_t i = 0; GetEvent(size_t(i), e, false) != 0; i++) {
      if (MatchLabelEvent(L, events, e, i)) {
        *jumped = true;
        return false;
      }
    }
    if (!fromWhileMouseOn && MatchHoverLabel(L, events)) {
      *jumped = true;
      return false;
    }
  }
  if (GetEvent(0, events.dispatch.event, true) == 0) return false;
  RemoveEvents(0, false);
  return true;
}

int DispatchDisplayHandler(vkState* L, vkEventState& events, vkDispatchOutcome* out, bool* called) {
  const vkEventInfo& e = events.dispatch.event;
  vkEventDisplay* d = FindDisplay(events, e.display);
  const int slot = DisplaySlotOf(e);
  if (d == nullptr || slot < 0 || d->handlers[size_t(slot)].function == kNoReference) return 0;
  vkEventMessage m;
  m.kind = vkMessageKind::Plain;
  m.action = ActionOf(e);
  m.id = d->id;
  m.handler = d->handlers[size_t(slot)].function;
  m.userData = d->handlers[size_t(slot)].userData;
  *called = true;
  return CallEventHandler(L, m, out);
}

int DispatchButtons(vkState* L, vkEventState& events, vkEventDisplay* d, const vkEventInfo& e,
                    vkDispatchOutcome* out, bool* called) {
  if (d->picture == nullptr) return 0;
  const int which = e.type == EVENT_LEFTMOUSE ? VKOS_MOUSE_LEFT : e.type == EVENT_RIGHTMOUSE ? VKOS_MOUSE_RIGHT
                                                                                             : VKOS_MOUSE_MID;
  const size_t slot = size_t(2 + 2 * which + (e.down ? 0 : 1));  // onmousedown ... onmidmouseup
  const int32_t x = ToPicture(e.x, d->offsetX, d->scaleX), y = ToPicture(e.y, d->offsetY, d->scaleY);
  auto& buttons = d->picture->buttons;
  vkBGPicButton* target = nullptr;
  for (vkBGPicButton& b : buttons) {
    if (b.enabled == 0 || !HitTestButton(events, b, x, y)) continue;
    uint32_t& flag = which == VKOS_MOUSE_LEFT ? b.mouseDown : which == VKOS_MOUSE_RIGHT ? b.rightMouseDown : b.midMouseDown;
    if (e.down) {
      flag = 1;
    } else if (flag == 0) {
      continue;  // an up only goes to a button that saw the down
    }
    target = &b;
    break;
  }
  vkEventMessage m;
  if (target != nullptr && target->handlers[slot] != kNoReference) {
    const vkBGPicButton& b = *target;
    m.kind = vkMessageKind::Button;
    m.action = ActionOf(e);
    m.id = vkObjectId{b.id, const_cast<void*>(b.handle)};
    m.x = b.x1;
    m.y = b.y1;
    m.width = b.x2 - b.x1 + 1;
    m.height = b.y2 - b.y1 + 1;
    m.displayId = d->id;
    m.handler = b.handlers[slot];
    m.userData = b.userData;
    if (b.kind == kLayerButton && b.layer != nullptr) {
      m.layerButton = true;
      if (events.hooks.layerIndex) m.layerIndex = events.hooks.layerIndex(b.layer);
      if (events.hooks.layerName) m.layerName = events.hooks.layerName(b.layer);
    }
  }
  if (!e.down) {
    for (vkBGPicButton& b : buttons) {
      uint32_t& flag = which == VKOS_MOUSE_LEFT ? b.mouseDown : which == VKOS_MOUSE_RIGHT ? b.rightMouseDown : b.midMouseDown;
      flag = 0;
    }
  }
  if (m.handler == kNoReference) return 0;
  m.down = {target->mouseDown, target->rightMouseDown, target->midMouseDown};
  *called = true;
  return CallEventHandler(L, m, out);
}

int DispatchEventHandler(vkState* L, vkEventState& events, vkDispatchOutcome* out, bool* called) {
  vkEventInfo& e = events.dispatch.event;
  vkEventDisplay* d = FindDisplay(events, e.display);
  if (d == nullptr) return 0;
  if (e.type == EVENT_LEFTMOUSE || e.type == EVENT_RIGHTMOUSE || e.type == EVENT_MIDMOUSE)
    return DispatchButtons(L, events, d, e, out, called);
  vkEventMessage m;
  m.id = d->id;
  m.action = ActionOf(e);
  const vkHandlerRef* slot = nullptr;
  if (e.type == EVENT_KEY) {
    slot = &d->handlers[e.down ? kSlotKeyDown : kSlotKeyUp];
    m.kind = vkMessageKind::Key;
    m.key = KeyMessageText(e.further);
  } else {
    for (const vkTypeHandler& h : kTypeHandlers)
      if (h.type == e.type) {
        slot = &d->handlers[size_t(h.slot)];
        m.kind = h.kind;
      }
  }
  if (slot == nullptr || slot->function == kNoReference) return 0;  // dropped
  m.handler = slot->function;
  m.userData = slot->userData;
  switch (m.kind) {
    case vkMessageKind::Moved:
      m.x = d->x;
      m.y = d->y;
      break;
    case vkMessageKind::Resized:
      m.width = d->width;
      m.height = d->height;
      break;
    case vkMessageKind::ModeSwitch:
      m.mode = d->mode;
      break;
    case vkMessageKind::DropFile:
      m.x = e.x;
      m.y = e.y;
      m.files = std::move(e.payload);  // freed after the call
      break;
    default:
      break;
  }
  *called = true;
  return CallEventHandler(L, m, out);
}

// ---- Hover -------------------------------------------------------------------

constexpr size_t kSlotOver = 0, kSlotOut = 1;

int HoverMessage(vkState* L, vkEventDisplay* d, const vkBGPicButton& b, bool over, vkDispatchOutcome* out,
                 bool* called) {
  const size_t slot = over ? kSlotOver : kSlotOut;
  if (b.handlers[slot] == kNoReference) return 0;
  vkEventMessage m;
  m.kind = vkMessageKind::Button;
  m.action = over ? "OnMouseOver" : "OnMouseOut";
  m.id = vkObjectId{b.id, const_cast<void*>(b.handle)};
  m.x = b.x1;
  m.y = b.y1;
  m.width = b.x2 - b.x1 + 1;
  m.height = b.y2 - b.y1 + 1;
  m.down = {b.mouseDown, b.rightMouseDown, b.midMouseDown};
  m.displayId = d->id;
  m.handler = b.handlers[slot];
  m.userData = b.userData;
  *called = true;
  return CallEventHandler(L, m, out);
}

int DispatchHover(vkState* L, vkEventState& events, vkDispatchOutcome* out, bool* called) {
  auto& cursor = events.dispatch.displayCursor;
  for (; cursor < events.displays.size(); cursor++) {
    vkEventDisplay* d = events.displays[cursor];
    if (d->input == nullptr || d->input->pointerMoved == 0) continue;
    if (d->picture == nullptr) {
      d->input->pointerMoved = 0;
      continue;
    }
    const int32_t x = PointerX(d), y = PointerY(d);
    auto& buttons = d->picture->buttons;
    // Each change is one message: the scan of this display goes on with the
    // next call until nothing changes.
    for (;;) {
      vkBGPicButton* pressed = nullptr;
      vkBGPicButton* hovered = nullptr;
      for (vkBGPicButton& b : buttons) {
        if (!pressed && (b.mouseDown | b.rightMouseDown | b.midMouseDown) != 0) pressed = &b;
        if (!hovered && b.enabled != 0 && HitTestButton(events, b, x, y)) hovered = &b;
      }
      // While a button is held, only that button may change.
      if (pressed != nullptr && hovered != pressed) hovered = nullptr;
      vkBGPicButton* change = nullptr;
      bool over = false;
      if (hovered != nullptr && hovered->over == 0) {
        for (vkBGPicButton& b : buttons)
          if (&b != hovered && b.over != 0 && (pressed == nullptr || &b == pressed)) {
            change = &b;
            break;
          }
        if (change == nullptr) change = hovered, over = true;
      } else {
        for (vkBGPicButton& b : buttons)
          if (&b != hovered && b.over != 0 && (pressed == nullptr || &b == pressed)) {
            change = &b;
            break;
          }
      }
      if (change == nullptr) break;
      change->over = over ? 1 : 0;
      int code = HoverMessage(L, d, *change, over, out, called);
      if (*called) return code;
    }
    d->input->pointerMoved = 0;
  }
  cursor = 0;
  return 0;
}

}  // namespace

// ---- Interface -----------------------------------------------------------------

int32_t KeyCodeOfName(const char* name, bool withModifiers) {
  for (const vkKeyName& k : kKeyNames)
    if (strcasecmp(k.name, name) == 0) return k.code;
  if (withModifiers)
    for (const vkKeyName& k : kModifierNames)
      if (strcasecmp(k.name, name) == 0) return k.code;
  return -1;
}

std::string KeyMessageText(int32_t code) {
  if (code == kKeyEnter || code == kKeyReturn) return "\n";
  if (code == kKeySpace) return " ";
  if (code == kKeyTab) return "        ";
  for (const vkKeyName& k : kKeyNames)
    if (k.code == code) return k.name;
  return std::string(1, char(code & 0xFF));
}

int32_t PointerX(const vkEventDisplay* d) {
  if (d == nullptr || !d->open || d->input == nullptr) return 0;
  return ToPicture(d->input->pointerX, d->offsetX, d->scaleX);
}

int32_t PointerY(const vkEventDisplay* d) {
  if (d == nullptr || !d->open || d->input == nullptr) return 0;
  return ToPicture(d->input->pointerY, d->offsetY, d->scaleY);
}

bool HitTestButton(const vkEventState& events, const vkBGPicButton& b, int32_t x, int32_t y) {
  if (b.kind == kLayerButton) {
    if (b.layer == nullptr || events.hooks.hitLayer == nullptr) return false;
    return events.hooks.hitLayer(b.layer, x, y, b.pixelTest != 0, b.activeWhileHidden != 0);
  }
  return x >= b.x1 && x <= b.x2 && y >= b.y1 && y <= b.y2;
}

int DispatchNextEvent(vkState* L, vkEventState& events, bool fromWhileMouseOn, vkDispatchOutcome* out) {
  *out = vkDispatchOutcome{};
  auto& step = events.dispatch.step;
  for (;;) {
    bool called = false;
    int code = 0;
    switch (step) {
      case vkDispatchStep::Start:
      case vkDispatchStep::Timers:
        step = vkDispatchStep::Timers;
        code = DispatchTimers(L, events, out, &called);
        if (!called) step = vkDispatchStep::Sound;
        break;
      case vkDispatchStep::Sound:
        code = DispatchSound(L, events, out, &called);
        if (!called) step = vkDispatchStep::Motion;
        break;
      case vkDispatchStep::Motion:
        code = DispatchMotion(L, events, out, &called);
        if (!called) step = vkDispatchStep::Queue;
        break;
      case vkDispatchStep::Queue: {
        bool jumped = false;
        const bool took = TakeQueuedEvent(L, events, fromWhileMouseOn, &jumped);
        if (jumped) return -1;
        step = took ? vkDispatchStep::DisplayHandler : vkDispatchStep::Hover;
        if (took) events.dispatch.tookEvent = true;
        break;
      }
      case vkDispatchStep::DisplayHandler:
        step = vkDispatchStep::EventHandler;
        code = DispatchDisplayHandler(L, events, out, &called);
        break;
      case vkDispatchStep::EventHandler:
        step = vkDispatchStep::Hover;
        code = DispatchEventHandler(L, events, out, &called);
        events.dispatch.event = vkEventInfo{};  // a drop list goes with it
        break;
      case vkDispatchStep::Hover:
        code = DispatchHover(L, events, out, &called);
        if (!called) step = vkDispatchStep::End;
        break;
      case vkDispatchStep::End:
        step = vkDispatchStep::Start;
        // A round that only dropped events goes round again: what is still
        // queued is pending, not nothing.
        if (events.dispatch.tookEvent) {
          events.dispatch.tookEvent = false;
          break;
        }
        return 0;
    }
    if (code != 0) {
      step = vkDispatchStep::Start;
      events.dispatch.displayCursor = 0;
      events.dispatch.event = vkEventInfo{};
      events.dispatch.tookEvent = false;
      return code;
    }
    if (called) return 0;
  }
}

uint32_t RunEventDispatch(vkState* L, bool blocking) {
  if (RuntimeAttrs(L).pcallDepth != 0) return uint32_t(kErrWrongUsage);
  vkEventState* events = EventStateOf(L);
  if (events == nullptr) return uint32_t(kErrWrongUsage);
  if (blocking && (events->current == nullptr || !events->current->open)) return kErrDisplayClosed;
  const int base = vmGetTop(L);
  vkDispatchOutcome outcome;
  for (;;) {
    const int code = DispatchNextEvent(L, *events, false, &outcome);
    if (code < 0) return 0xFFFFFFFFu;  // a label jump
    if (code > 0) return uint32_t(code);
    if (outcome.triggered || !blocking) break;
    if (events->dispatch.step != vkDispatchStep::Start) continue;
    vkosWaitEvent();
    if (vkosPumpEvents(L) != 0) break;
  }
  vmCheckStack(L, 8);
  vmNewTableSized(L, 0, 2);  // "results", "nresults", "triggered"
  const int table = vmGetTop(L);
  const auto& keys = events->resultKeys;
  if (outcome.triggered && outcome.results > 0) {
    vmGetRef(L, VK_REGISTRYINDEX, keys[0]);
    vmNewTable(L);
    for (int i = 0; i < outcome.results; i++) {
      vmPushValue(L, base + 1 + i);
      vmRawSetI(L, -2, i);
    }
    vmRawSet(L, table);
  }
  vmGetRef(L, VK_REGISTRYINDEX, keys[1]);
  vmPushNumber(L, outcome.triggered ? outcome.results : 0);
  vmRawSet(L, table);
  vmGetRef(L, VK_REGISTRYINDEX, keys[2]);
  vmPushNumber(L, outcome.triggered ? 1 : 0);
  vmRawSet(L, table);
  return 1;
}

int32_t RunWhileMouseOn(vkState* L) {
  vkEventState* events = EventStateOf(L);
  if (events == nullptr) return 0;
  while (events->labelButton != nullptr) {
    const vkLabelEvent& r = *events->labelButton;
    const int32_t x = PointerX(events->current), y = PointerY(events->current);
    if (!Inside(r, x, y)) break;
    vkDispatchOutcome outcome;
    const int top = vmGetTop(L);
    const int code = DispatchNextEvent(L, *events, true, &outcome);
    vmSetTop(L, top);
    if (code < 0) return -2;
    if (code > 0) return code;
    if (outcome.triggered) break;
    if (events->dispatch.step == vkDispatchStep::Start) vkosWaitEvent();
    if (vkosPumpEvents(L) != 0) break;
  }
  return 0;
}
