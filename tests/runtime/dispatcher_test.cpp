// The event dispatcher driven in-process: a fake clock for the timers and
// events put straight into the queue, with handlers that write what they
// received into the script's global "log". Timers fire in order (an interval
// at once, then every period), timeouts are gone before their call, buttons
// see downs and ups, hover goes out before over, a handler's error ends the
// dispatch, and a handler may free its own button or display.
#include <gtest/gtest.h>

#include <string>

#include "base/errorinfo.h"
#include "engine/attributes.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "platform/eventqueue.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "platform/vkos_input.h"
#include "platform/vkos_timers.h"
#include "runtime/context.h"
#include "runtime/dispatcher.h"
#include "runtime/eventlib.h"
#include "runtime/eventstate.h"
#include "support/libcall.h"

namespace {

using vktest::Arg;

// The fake clock: microseconds; a wait with a limit jumps to its end.
int64_t gFakeNow = 0;
int64_t FakeNow() { return gFakeNow; }
bool FakeWait(int64_t timeout) {
  if (timeout < 0) return true;
  gFakeNow += timeout;
  return false;
}

std::string TextField(vkState* L, const char* name) {
  vmPushString(L, name);
  vmGetTable(L, 1);
  std::string out;
  if (vmType(L, -1) == VK_TSTRING || vmType(L, -1) == VK_TNUMBER) out = vmToString(L, -1);
  if (vmType(L, -1) == VK_TLIGHTUSERDATA) out = "handle";
  vmSetTop(L, -2);
  return out;
}

void AppendLog(vkState* L, const std::string& entry) {
  vmPushString(L, "log");
  vmGetTable(L, VK_GLOBALSINDEX);
  std::string log = vmType(L, -1) == VK_TSTRING ? vmToString(L, -1) : "";
  vmSetTop(L, -2);
  if (!log.empty()) log += "; ";
  log += entry;
  vmPushString(L, "log");
  vmPushString(L, log.c_str());
  vmSetTable(L, VK_GLOBALSINDEX);
}

// Writes "action id [x,y] [key] [ud]" of its message and returns "ok".
int Log(vkState* L) {
  std::string entry = TextField(L, "action") + " " + TextField(L, "id");
  const std::string x = TextField(L, "x");
  if (!x.empty()) entry += " " + x + "," + TextField(L, "y");
  const std::string key = TextField(L, "key");
  if (!key.empty()) entry += " [" + key + "]";
  const std::string ud = TextField(L, "userdata");
  if (!ud.empty()) entry += " ud=" + ud;
  AppendLog(L, entry);
  vmPushString(L, "ok");
  return 1;
}

// Fails as a command does: error 1055 unwinds to the dispatcher's call.
int Fail(vkState*) { return 1055; }

// Tries CheckEvent from inside a handler and logs the code it gets.
int Nested(vkState* L) {
  AppendLog(L, "nested " + std::to_string(RunEventDispatch(L, false)));
  return 0;
}

// Frees the button it was called for.
int DeleteOwnButton(vkState* L) {
  Log(L);
  vmPushString(L, "deletebutton");
  vmGetTable(L, VK_GLOBALSINDEX);
  vmPushString(L, "id");
  vmGetTable(L, 1);
  vmCall(L, 1, 0);
  return 0;
}

// One display as the display library would attach it, showing a picture.
struct TestDisplay {
  vkOSInput input;
  vkEventPicture picture;
  vkEventDisplay events;
  int key = 0;  // its address names the display in queued events
  TestDisplay(int32_t id) {
    events.display = reinterpret_cast<vkDisplay*>(&key);
    events.id = vkObjectId{id, nullptr};
    events.open = true;
    events.input = &input;
    events.picture = &picture;
    picture.width = 640;
    picture.height = 480;
  }
};

class Dispatcher : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    gFakeNow = 1000000;
    vkosSetClock(vkPlatformClock{FakeNow, FakeWait});
    ASSERT_EQ(vkosInit(), 0);
    RemoveEvents(-1, true);
    context_ = std::make_unique<vkProgramContext>();
    ErrorInfo() = vkErrorInfo{};
    L = vmNewState();
    ASSERT_NE(L, nullptr);
    AttachProgramContext(L, context_.get());
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenEventLibrary(L), 0);
    vmSetTop(L, 0);
    events_ = EventStateOf(L);
  }
  void TearDown() override {
    RemoveEvents(-1, true);
    if (L) FreeAllEventObjects(L);
    LibraryTest::TearDown();
    L = nullptr;
    vkosExit();
    vkosSetClock(vkPlatformClock{});
  }

  void Attach(TestDisplay& d, bool current = true) {
    AttachEventDisplay(L, &d.events);
    if (current) SetCurrentEventDisplay(L, &d.events);
  }

  // A global table of handler functions.
  void Handlers(const char* global, std::initializer_list<std::pair<const char*, int (*)(vkState*)>> fields) {
    vmPushString(L, global);
    vmNewTable(L);
    for (const auto& [name, f] : fields) {
      vmPushString(L, name);
      vmPushCClosure(L, f, 0);
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }

  std::string TakeLog() {
    vmPushString(L, "log");
    vmGetTable(L, VK_GLOBALSINDEX);
    std::string log = vmType(L, -1) == VK_TSTRING ? vmToString(L, -1) : "";
    vmSetTop(L, -2);
    vmPushString(L, "log");
    vmPushNil(L);
    vmSetTable(L, VK_GLOBALSINDEX);
    return log;
  }

  // CheckEvent's table as "triggered/nresults", or the error.
  std::string Check() {
    std::string out = Call("CheckEvent", {});
    if (out.rfind("error", 0) == 0) return out;
    vmPushString(L, "triggered");
    vmGetTable(L, 1);
    vmPushString(L, "nresults");
    vmGetTable(L, 1);
    out = std::to_string(int(vmToNumber(L, -2))) + "/" + std::to_string(int(vmToNumber(L, -1)));
    return out;
  }

  // Runs CheckEvent until a full round triggers nothing; the log.
  std::string Settle() {
    for (int i = 0; i < 100; i++)
      if (Check() == "0/0") break;
    return TakeLog();
  }

  void Advance(int64_t ms) { gFakeNow += ms * 1000; }

  std::unique_ptr<vkProgramContext> context_;
  vkEventState* events_ = nullptr;
};

TEST_F(Dispatcher, NothingPendingGivesAnEmptyAnswer) {
  EXPECT_EQ(Check(), "0/0");
  EXPECT_EQ(Call("WaitEvent", {}), "error 1347");  // no open display
}

TEST_F(Dispatcher, IntervalsFireAtOnceThenEveryPeriodAndTimeoutsOnce) {
  EXPECT_EQ(Call("SetInterval", {1, Arg::function(Log), 250}), "");
  EXPECT_EQ(Call("SetTimeout", {2, Arg::function(Log), 600, "u"}), "");
  EXPECT_EQ(Settle(), "Interval 1");
  Advance(249);
  EXPECT_EQ(Settle(), "");
  Advance(1);
  EXPECT_EQ(Settle(), "Interval 1");
  Advance(350);  // 600: the interval fell due at 500 first, then the timeout
  EXPECT_EQ(Settle(), "Interval 1; Timeout 2 ud=u");
  Advance(1000);  // periods missed while nobody looked fire once
  EXPECT_EQ(Settle(), "Interval 1");
  EXPECT_EQ(Call("ClearTimeout", {2}), "error 1195");
  EXPECT_EQ(Call("ClearInterval", {1}), "");
  Advance(1000);
  EXPECT_EQ(Settle(), "");
  EXPECT_EQ(Call("ClearInterval", {1}), "error 1194");
}

TEST_F(Dispatcher, TimerArgumentsAndHandles) {
  const std::vector<vktest::CallCase> cases = {
      {"SetInterval", {1, Arg::function(Log), 0}, "error 1055"},
      {"SetTimeout", {1, Arg::function(Log), -5}, "error 1055"},
      {"SetInterval", {1, 5, 10}, "error 1185"},
      {"SetInterval", {nullptr, Arg::function(Log), 10}, "handle"},
      {"SetInterval", {3, Arg::function(Log), 10}, ""},
      {"ChangeInterval", {3, 0}, "error 1055"},
      {"ChangeInterval", {4, 10}, "error 1194"},
      {"ClearInterval", {Arg::handle(&gFakeNow)}, "error 1041"},
      {"ClearTimeout", {7}, "error 1195"},
  };
  RunCases(cases);
}

TEST_F(Dispatcher, ChangedIntervalFiresAtOnceWithItsNewPeriod) {
  Call("SetInterval", {1, Arg::function(Log), 1000});
  EXPECT_EQ(Settle(), "Interval 1");
  Advance(10);
  EXPECT_EQ(Call("ChangeInterval", {1, 100}), "");
  EXPECT_EQ(Settle(), "Interval 1");
  Advance(100);
  EXPECT_EQ(Settle(), "Interval 1");
}

TEST_F(Dispatcher, WaitEventSleepsUntilTheNextTimer) {
  TestDisplay d(1);
  Attach(d);
  Call("SetTimeout", {5, Arg::function(Log), 300});
  const int64_t start = gFakeNow;
  EXPECT_EQ(Call("WaitEvent", {}).substr(0, 1), "{");
  EXPECT_EQ(TakeLog(), "Timeout 5");
  EXPECT_EQ(gFakeNow - start, 300000);
}

TEST_F(Dispatcher, ButtonsSeeTheirOwnDownAndUp) {
  TestDisplay d(1);
  Attach(d);
  Handlers("h", {{"onmousedown", Log}, {"onmouseup", Log}});
  EXPECT_EQ(Call("MakeButton", {10, 0, 0, 0, 100, 100, Arg::global("h")}), "");
  EXPECT_EQ(Call("MakeButton", {20, 0, 200, 0, 100, 100, Arg::global("h")}), "");
  Handlers("display", {{"onmousedown", Log}});
  EXPECT_EQ(Call("InstallEventHandler", {Arg::global("display")}), "");
  vkDisplay* key = d.events.display;
  // Down on 10, up over 20: 20 never saw the down and hears nothing.
  PostEvent(key, EVENT_LEFTMOUSE, 50, 50, 1);
  PostEvent(key, EVENT_LEFTMOUSE, 250, 50, 0);
  EXPECT_EQ(Settle(), "OnMouseDown 1; OnMouseDown 10 0,0");
  EXPECT_EQ(d.picture.buttons.back().mouseDown, 0u);  // cleared after the up
  PostEvent(key, EVENT_LEFTMOUSE, 250, 50, 1);
  PostEvent(key, EVENT_LEFTMOUSE, 251, 51, 0);
  EXPECT_EQ(Settle(), "OnMouseDown 1; OnMouseDown 20 200,0; OnMouseUp 20 200,0");
  // A disabled button hears nothing; one enabled again does.
  EXPECT_EQ(Call("DisableButton", {20}), "");
  PostEvent(key, EVENT_LEFTMOUSE, 250, 50, 1);
  EXPECT_EQ(Settle(), "OnMouseDown 1");
  EXPECT_EQ(Call("EnableButton", {20}), "");
  PostEvent(key, EVENT_LEFTMOUSE, 250, 50, 1);
  EXPECT_EQ(Settle(), "OnMouseDown 1; OnMouseDown 20 200,0");
}

TEST_F(Dispatcher, ButtonArgumentErrors) {
  TestDisplay d(1);
  Handlers("h", {{"onmousedown", Log}});
  vmPushString(L, "none");
  vmNewTable(L);
  vmSetTable(L, VK_GLOBALSINDEX);
  vmPushString(L, "bad");
  vmNewTable(L);
  vmPushString(L, "onmouseup");
  vmPushNumber(L, 1);
  vmSetTable(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  RunCases({{"MakeButton", {1, 0, 0, 0, 10, 10, Arg::global("h")}, "error 1191"}});
  Attach(d);
  RunCases({
      {"MakeButton", {1, 0, 0, 0, 10, 10, Arg::global("none")}, "error 1055"},
      {"MakeButton", {1, 0, 0, 0, 10, 10, Arg::global("bad")}, "error 1185"},
      {"MakeButton", {1, 0, 0, 0, 0, 10, Arg::global("h")}, "error 1055"},
      {"MakeButton", {1, 2, 0, 0, 10, 10, Arg::global("h")}, "error 1055"},
      {"MakeButton", {1, 1, 1, 0, 0, Arg::global("h")}, "error 1081"},
      {"MakeButton", {nullptr, 0, -100000, -60000, 40, 20, Arg::global("h")}, "handle"},
      {"DeleteButton", {3}, "error 1188"},
      {"DeleteButton", {Arg::handle(&d)}, "error 1041"},
      {"EnableButton", {3}, "error 1188"},
  });
  // CENTER and BOTTOM were placed against the picture's size.
  const vkBGPicButton& b = d.picture.buttons.front();
  EXPECT_EQ(b.x1, 300);
  EXPECT_EQ(b.y1, 460);
  EXPECT_EQ(b.x2, 339);
  EXPECT_EQ(b.y2, 479);
}

TEST_F(Dispatcher, HoverGoesOutBeforeOverAndHoldsWhilePressed) {
  TestDisplay d(1);
  Attach(d);
  Handlers("h", {{"onmouseover", Log}, {"onmouseout", Log}, {"onmousedown", Log}});
  Call("MakeButton", {1, 0, 0, 0, 100, 100, Arg::global("h")});
  Call("MakeButton", {2, 0, 100, 0, 100, 100, Arg::global("h")});
  vkTimeValue now;
  vkosGetTimeValue(&now);
  vkosNotePointer(&d.input, 10, 10, now);
  EXPECT_EQ(Settle(), "OnMouseOver 1 0,0");
  vkosNotePointer(&d.input, 150, 10, now);
  EXPECT_EQ(Settle(), "OnMouseOut 1 0,0; OnMouseOver 2 100,0");
  // Pressed on 2, the pointer moving over 1 changes nothing.
  PostEvent(d.events.display, EVENT_LEFTMOUSE, 150, 10, 1);
  EXPECT_EQ(Settle(), "OnMouseDown 2 100,0");
  vkosNotePointer(&d.input, 10, 10, now);
  EXPECT_EQ(Settle(), "OnMouseOut 2 100,0");
  vkosNotePointer(&d.input, 500, 400, now);
  EXPECT_EQ(Settle(), "");
}

TEST_F(Dispatcher, DisplayEventsReachTheirHandlers) {
  TestDisplay d(7);
  Attach(d);
  d.events.width = 320, d.events.height = 200, d.events.x = 5, d.events.y = 6;
  Handlers("h", {{"onkeydown", Log}, {"onkeyup", Log}, {"sizewindow", Log}, {"movewindow", Log},
                 {"closewindow", Log}, {"onwheelup", Log}, {"ondropfile", Log}, {"onmousemove", Log}});
  EXPECT_EQ(Call("InstallEventHandler", {Arg::global("h"), "ud"}), "");
  vkDisplay* key = d.events.display;
  PostEvent(key, EVENT_KEY, 1, 0, 276);
  PostEvent(key, EVENT_KEY, 0, 0, 'a');
  PostEvent(key, EVENT_KEY, 1, 0, 261);
  PostEvent(key, EVENT_SIZEWINDOW, 0, 0, 0);
  PostEvent(key, EVENT_MOVEWINDOW, 0, 0, 0);
  PostEvent(key, EVENT_WHEELUP, 0, 0, 0);
  PostEvent(key, EVENT_HIDEWINDOW, 0, 0, 0);  // no handler: dropped
  PostEvent(key, EVENT_DROPFILE, 3, 4, 0, std::make_unique<vkEventPayload>(vkEventPayload{"a", "b"}));
  PostEvent(key, EVENT_CLOSEWINDOW, 0, 0, 0);
  EXPECT_EQ(Settle(),
            "OnKeyDown 7 [ ] ud=ud; OnKeyUp 7 [a] ud=ud; OnKeyDown 7 [F1] ud=ud; SizeWindow 7 ud=ud; "
            "MoveWindow 7 5,6 ud=ud; OnWheelUp 7 ud=ud; OnDropFile 7 3,4 ud=ud; CloseWindow 7 ud=ud");
  // A field set to 0 removes its handler; a field left out keeps it.
  vmPushString(L, "off");
  vmNewTable(L);
  vmPushString(L, "onkeydown");
  vmPushNumber(L, 0);
  vmSetTable(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  EXPECT_EQ(Call("InstallEventHandler", {Arg::global("off")}), "");
  PostEvent(key, EVENT_KEY, 1, 0, 'x');
  PostEvent(key, EVENT_KEY, 0, 0, 'x');
  EXPECT_EQ(Settle(), "OnKeyUp 7 [x] ud=ud");
}

TEST_F(Dispatcher, DropAndClipboardHandlersSwitchTheWindowsReceivers) {
  TestDisplay d(7);
  vkOSDisplay os;
  d.events.os = &os;
  Attach(d);
  auto install = [&](std::initializer_list<std::pair<const char*, double>> fields) {
    vmPushString(L, "h");
    vmNewTable(L);
    for (const auto& [name, value] : fields) {
      vmPushString(L, name);
      if (value != 0) vmPushCClosure(L, Log, 0);
      else vmPushNumber(L, 0);
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
    EXPECT_EQ(Call("InstallEventHandler", {Arg::global("h")}), "");
    return std::to_string(os.dropFiles) + "/" + std::to_string(os.watchClipboard);
  };
  EXPECT_EQ(install({{"onkeydown", 1}}), "0/0");
  EXPECT_EQ(install({{"ondropfile", 1}}), "1/0");
  EXPECT_EQ(install({{"clipboardchange", 1}}), "1/1");
  EXPECT_EQ(install({{"onkeydown", 0}}), "1/1");  // others left alone
  EXPECT_EQ(install({{"ondropfile", 0}}), "0/1");
  EXPECT_EQ(install({{"clipboardchange", 0}}), "0/0");
}

TEST_F(Dispatcher, PointerMotionIsReportedInPictureCoordinates) {
  TestDisplay d(1);
  Attach(d);
  d.events.offsetX = 10;
  d.events.scaleX = 2.0;
  Handlers("h", {{"onmousemove", Log}});
  Call("InstallEventHandler", {Arg::global("h")});
  vkTimeValue now;
  vkosGetTimeValue(&now);
  vkosNotePointer(&d.input, 110, 40, now);
  EXPECT_EQ(Settle(), "OnMouseMove 1 50,40");
  EXPECT_EQ(Call("MouseX", {}), "50");
  // A motion older than the event expiry is not reported.
  now.seconds -= 2;
  vkosNotePointer(&d.input, 110, 40, now);
  EXPECT_EQ(Settle(), "");
}

TEST_F(Dispatcher, HandlerErrorsEndTheDispatchAndNestingIsRefused) {
  TestDisplay d(1);
  Attach(d);
  Call("SetTimeout", {1, Arg::function(Fail), 1});
  Call("SetTimeout", {2, Arg::function(Nested), 2});
  Advance(5);
  EXPECT_EQ(Check(), "error 1055");
  EXPECT_EQ(Settle(), "nested 1055");
  EXPECT_EQ(RuntimeAttrs(L).pcallDepth, 0);
}

TEST_F(Dispatcher, HandlerResultsComeBackInTheTable) {
  Call("SetTimeout", {1, Arg::function(Log), 1});
  Advance(1);
  EXPECT_EQ(Check(), "1/1");
  vmPushString(L, "results");
  vmGetTable(L, 1);
  vmRawGetI(L, -1, 0);
  EXPECT_STREQ(vmToString(L, -1), "ok");
}

TEST_F(Dispatcher, CallbacksMayFreeTheirButtonOrDisplay) {
  auto d = std::make_unique<TestDisplay>(1);
  Attach(*d);
  Handlers("h", {{"onmousedown", DeleteOwnButton}, {"onmouseup", Log}});
  Call("MakeButton", {1, 0, 0, 0, 100, 100, Arg::global("h")});
  PostEvent(d->events.display, EVENT_LEFTMOUSE, 5, 5, 1);
  PostEvent(d->events.display, EVENT_LEFTMOUSE, 5, 5, 0);
  EXPECT_EQ(Settle(), "OnMouseDown 1 0,0");
  EXPECT_TRUE(d->picture.buttons.empty());

  // A display handler that frees its display before the buttons' turn.
  auto second = std::make_unique<TestDisplay>(2);
  Attach(*second, false);
  Handlers("b", {{"onmousedown", Log}});
  SetCurrentEventDisplay(L, &second->events);
  Call("MakeButton", {1, 0, 0, 0, 100, 100, Arg::global("b")});
  Handlers("closer", {{"onmousedown", [](vkState* L) {
                         vkEventState* events = EventStateOf(L);
                         vkEventDisplay* gone = events->current;
                         DetachEventDisplay(L, gone);
                         AppendLog(L, "freed");
                         return 0;
                       }}});
  Call("InstallEventHandler", {Arg::global("closer")});
  PostEvent(second->events.display, EVENT_LEFTMOUSE, 5, 5, 1);
  EXPECT_EQ(Settle(), "freed");
  FreeButtons(L, &second->picture);
  second.reset();
  // The hover scan moves past a display freed in the middle of it.
  vkTimeValue now;
  vkosGetTimeValue(&now);
  vkosNotePointer(&d->input, 5, 5, now);
  EXPECT_EQ(Settle(), "");
}

TEST_F(Dispatcher, LabelEventsJumpAndTakeTheirEvents) {
  TestDisplay d(1);
  Attach(d);
  vmDefineLabel(L, "ONBUTTONCLICK3", 40);
  vmDefineLabel(L, "ONKEYDOWNALL", 60);
  EXPECT_EQ(Call("CreateButton", {3, 0, 0, 9, 9}), "");
  EXPECT_EQ(Call("CreateKeyDown", {4, "q"}), "");
  vkDisplay* key = d.events.display;
  PostEvent(key, EVENT_LEFTMOUSE, 50, 50, 1);  // outside the button
  PostEvent(key, EVENT_LEFTMOUSE, 5, 5, 1);
  PostEvent(key, EVENT_KEY, 1, 0, 'z');
  ErrorInfo().pcIndex = 10;
  vkDispatchOutcome outcome;
  EXPECT_EQ(DispatchNextEvent(L, *events_, false, &outcome), -1);
  EXPECT_EQ(ErrorInfo().jumpOffset, 30);
  EXPECT_EQ(ProgramEventQueue().Count(), 1u);  // the click and the one before it are gone
  // Without the ALL switch a key with no label of its own goes on as an event.
  EXPECT_EQ(DispatchNextEvent(L, *events_, false, &outcome), 0);
  EXPECT_EQ(ProgramEventQueue().Count(), 0u);
  EXPECT_EQ(Call("EnableEvent", {14, 0}), "");
  PostEvent(key, EVENT_KEY, 1, 0, 'z');
  EXPECT_EQ(DispatchNextEvent(L, *events_, false, &outcome), -1);
  EXPECT_EQ(ErrorInfo().jumpOffset, 50);
  EXPECT_EQ(Call("GetEventCode", {}), "122");
}

TEST_F(Dispatcher, SoundNoticesGoToTheProgramHandlers) {
  static std::vector<vkSoundNotice> pending;
  pending = {{kSoundNoticeSampleEnd, {3, nullptr}, 1.5, 2}, {kSoundNoticeSampleLoop, {4, nullptr}, 0, 1},
             {kSoundNoticeMusicEnd, {5, nullptr}, 0, 0}};
  events_->hooks.takeSoundNotice = [](vkState*, vkSoundNotice* out) {
    if (pending.empty()) return false;
    *out = pending.front();
    pending.erase(pending.begin());
    return true;
  };
  Handlers("h", {{"onsampleend", Log}, {"onmusicend", Log}});
  Call("InstallEventHandler", {Arg::global("h")});
  EXPECT_EQ(Settle(), "OnSampleEnd 3; OnMusicEnd 5");  // no "onsampleloop": skipped
}

TEST_F(Dispatcher, PollingCommandsAndTheirArguments) {
  RunCases({
      {"MouseX", {}, "0"},
      {"IsLeftMouse", {}, "0"},
      {"WaitLeftMouse", {}, "error 1347"},
      {"WaitKeyDown", {"a"}, "error 1347"},
      {"IsLeftMouse", {1}, "error 1193"},
      {"SetInterval", {}, "error 1014"},
      {"GetEventCode", {}, "0"},
  });
  TestDisplay d(1);
  Attach(d);
  d.input.keyDown[272] = 1;
  d.input.keyDown['q'] = 1;
  d.input.mouseDown[VKOS_MOUSE_RIGHT] = 1;
  RunCases({
      {"IsKeyDown", {"tab"}, "1"},
      {"IsKeyDown", {"q"}, "1"},
      {"IsKeyDown", {"Q"}, "0"},
      {"IsKeyDown", {"ESC"}, "0"},
      {"IsKeyDown", {"LSHIFT"}, "0"},
      {"IsKeyDown", {"\x01"}, "error 1055"},
      {"IsKeyDown", {"NOSUCHKEY"}, "error 1055"},
      {"WaitKeyDown", {"F16"}, "error 1055"},  // past PAUSE
      {"IsRightMouse", {}, "1"},
      {"IsMidMouse", {}, "0"},
      {"ResetKeyStates", {}, ""},
      {"IsKeyDown", {"tab"}, "0"},
      {"IsRightMouse", {}, "0"},
      {"SetEventTimeout", {100}, ""},
  });
  EXPECT_EQ(RuntimeAttrs(L).eventExpiry, 100);
}

TEST_F(Dispatcher, JoysticksWithNoneAttached) {
  RunCases({
      {"CountJoysticks", {}, "0"},
      {"JoyFire", {0, 33}, "error 1055"},
      {"JoyFire", {0, -1}, "error 1055"},
      {"JoyFire", {0, 0}, "error 1427"},
      {"JoyDir", {0}, "error 1427"},
  });
}

TEST_F(Dispatcher, InstallEventHandlerWithoutADisplay) {
  Handlers("d", {{"onkeydown", Log}});
  Handlers("p", {{"onmusicend", Log}});
  EXPECT_EQ(Call("InstallEventHandler", {Arg::global("d")}), "error 1347");
  EXPECT_EQ(Call("InstallEventHandler", {Arg::global("p")}), "");
}

// Key names: the table of named keys, and a key state that a modifier change
// between press and release cannot leave stuck.
TEST(EventKeys, NamesAndMessageTexts) {
  const struct {
    const char* name;
    int32_t code;
    const char* text;
  } cases[] = {{"TAB", 272, "        "}, {"return", 274, "\n"}, {"Enter", 273, "\n"}, {"SPACE", 276, " "},
               {"ESC", 275, "ESC"},       {"F10", 270, "F10"},   {"F11", 278, "F11"}, {"F16", 290, "F16"},
               {"PAUSE", 286, "PAUSE"},   {"DEL", 277, "DEL"}};
  for (const auto& c : cases) {
    EXPECT_EQ(KeyCodeOfName(c.name, false), c.code) << c.name;
    EXPECT_EQ(KeyMessageText(c.code), c.text) << c.name;
  }
  EXPECT_EQ(KeyCodeOfName("LSHIFT", false), -1);
  EXPECT_EQ(uint32_t(KeyCodeOfName("rcontrol", true)), 0x80800000u);
  EXPECT_EQ(KeyMessageText('x'), "x");
}

TEST(EventKeys, ReleaseClearsWhatThePressSet) {
  vkOSInput input;
  vkosNoteKey(&input, 4, 'a', true);
  vkosNoteKey(&input, 4, 'A', false);  // Shift went down in between
  EXPECT_EQ(input.keyDown['a'], 0);
  EXPECT_EQ(input.keyDown['A'], 0);
  vkosNoteKey(&input, 5, 275, true);
  vkosNoteKey(&input, 5, 0, false);  // Control: the release reports no code
  EXPECT_EQ(input.keyDown[275], 0);
  vkosNoteKey(&input, 6, 'b', true);
  EXPECT_EQ(input.keyDown['b'], 1);
}

}  // namespace
