// The event pump: which display requests stop the script under which quit
// options, the quick path that skips everything for 10 ms unless an event is
// queued, the sticky stop, once-a-second housekeeping, the short and long
// waits, and the pacing option. Runs on SDL's dummy video driver.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include "base/errorinfo.h"
#include "engine/state.h"
#include "graphics/graphicsstate.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"
#include "platform/eventqueue.h"

namespace {

// One display with its platform record, linked into the display list of
// [L]'s graphics state for the life of the record.
struct TestDisplay {
  vkOSDisplay os;
  vkGraphicsState& gs;
  vkDisplay& display;
  explicit TestDisplay(vkState* L) : gs(GraphicsState(L)), display(*new vkDisplay) {
    display.id = vkObjectId{1, nullptr};
    display.width = 320;
    display.height = 200;
    display.os = &os;
    gs.DisplayList.emplace_back(&display);
  }
  ~TestDisplay() {
    display.os = nullptr;  // the platform record is the test's
    gs.DisplayList.remove_if([this](const vkDisplayPtr& d) { return d.get() == &display; });
  }
};

class Pump : public ::testing::Test {
 protected:
  void SetUp() override {
    L_ = vmNewState();
    ASSERT_NE(L_, nullptr);
    ErrorInfo().stopFlag = 0;
    InstallDisplayHooks(L_);
    ASSERT_EQ(vkosInit(), 0);
  }
  void TearDown() override {
    vkosExit();
    InstallDisplayHooks(nullptr);
    vmCloseState(L_);
    ErrorInfo().stopFlag = 0;
  }
  vkState* L_ = nullptr;
  // Makes the next pump call a full run by moving the last one a second back.
  static void MakeDue() { gPlatform.lastPump = MonotonicMicros() - 1000000; }
  // A full run, with whatever events it finds; returns its answer.
  static int PumpInFull() {
    MakeDue();
    return vkosPumpEvents(nullptr);
  }
  // Full runs until the queue is empty, so that the quick path is open.
  static void Drain() {
    for (int i = 0; i < 100; i++) PumpInFull();
  }
};

struct QuitCase {
  const char* name;
  uint32_t leftButton, escapeSeen, ctrlCSeen, closeRequest;
  bool closeHandler;
  int32_t leftMouseQuit, escapeQuit, ctrlCQuit;  // -1: the default
  int expected;
};

const QuitCase kQuitCases[] = {
    {"nothing", 0, 0, 0, 0, false, -1, -1, -1, 0},
    {"ctrl-c, on by default", 0, 0, 1, 0, false, -1, -1, -1, 1},
    {"ctrl-c, switched off", 0, 0, 1, 0, false, -1, -1, 0, 0},
    {"escape, off by default", 0, 1, 0, 0, false, -1, -1, -1, 0},
    {"escape, switched on", 0, 1, 0, 0, false, -1, 1, -1, 1},
    {"left button, off by default", 1, 0, 0, 0, false, -1, -1, -1, 0},
    {"left button, switched on", 1, 0, 0, 0, false, 1, -1, -1, 1},
    {"close box without a handler", 0, 0, 0, 1, false, -1, -1, -1, 1},
    {"close box with a closewindow handler", 0, 0, 0, 1, true, -1, -1, -1, 0},
};

TEST_F(Pump, QuitConditionsStopAndTheirRequestsAreCleared) {
  for (const QuitCase& c : kQuitCases) {
    SCOPED_TRACE(c.name);
    vkosExit();
    InstallDisplayHooks(L_);
    ASSERT_EQ(vkosInit(), 0);
    ErrorInfo().stopFlag = 0;
    TestDisplay t(L_);
    t.os.input.mouseDown[VKOS_MOUSE_LEFT] = c.leftButton;
    t.os.escapeSeen = c.escapeSeen;
    t.os.ctrlCSeen = c.ctrlCSeen;
    t.os.closeRequest = c.closeRequest;
    if (c.closeHandler) t.display.event.handlers[kHandlerCloseWindow].function = 7;
    if (c.leftMouseQuit >= 0) vkosSetOption(nullptr, VKOS_OPTION_LEFTMOUSEQUIT, c.leftMouseQuit);
    if (c.escapeQuit >= 0) vkosSetOption(nullptr, VKOS_OPTION_ESCAPEQUIT, c.escapeQuit);
    if (c.ctrlCQuit >= 0) vkosSetOption(nullptr, VKOS_OPTION_CTRLCQUIT, c.ctrlCQuit);

    EXPECT_EQ(PumpInFull(), c.expected);
    EXPECT_EQ(ErrorInfo().stopFlag, static_cast<uint32_t>(c.expected));
    EXPECT_EQ(t.os.escapeSeen + t.os.ctrlCSeen + t.os.closeRequest + t.os.resizePending, 0u);
    EXPECT_EQ(t.os.input.mouseDown[VKOS_MOUSE_LEFT], c.leftButton);  // the button's state is not the pump's
  }
}

TEST_F(Pump, StopIsStickyForFullAndQuickCalls) {
  TestDisplay t(L_);
  t.os.ctrlCSeen = 1;
  ASSERT_EQ(PumpInFull(), 1);
  ErrorInfo().stopFlag = 0;
  EXPECT_EQ(PumpInFull(), 1);  // the request was cleared, the stop stays
  EXPECT_EQ(ErrorInfo().stopFlag, 1u);
  Drain();
  gPlatform.lastPump = MonotonicMicros();
  EXPECT_EQ(vkosPumpEvents(nullptr), 1);
}

TEST_F(Pump, QuickPathDoesNothingWithinTenMilliseconds) {
  TestDisplay t(L_);
  vkosSetOption(nullptr, VKOS_OPTION_ESCAPEQUIT, 1);
  Drain();
  for (int64_t ago : {int64_t{0}, int64_t{5000}}) {
    SCOPED_TRACE(ago);
    const int64_t last = MonotonicMicros() - ago;
    gPlatform.lastPump = last;
    gPlatform.lastSecond = last - 2000000;  // housekeeping is overdue
    t.os.escapeSeen = 1;
    const int result = vkosPumpEvents(nullptr);
    if (MonotonicMicros() - last >= kPumpInterval) GTEST_SKIP() << "the test was held up";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(t.os.escapeSeen, 1u);  // the displays were not looked at
    EXPECT_EQ(gPlatform.lastPump, last);  // the window counts from the last full run
    EXPECT_EQ(gPlatform.lastSecond, last - 2000000);
  }
}

TEST_F(Pump, FullRunAfterTenMillisecondsDoesTheHousekeeping) {
  TestDisplay t(L_);
  vkosSetOption(nullptr, VKOS_OPTION_ESCAPEQUIT, 1);
  Drain();
  const int64_t before = MonotonicMicros();
  gPlatform.lastPump = before - kPumpInterval;
  gPlatform.lastSecond = before - 2000000;
  t.os.escapeSeen = 1;
  EXPECT_EQ(vkosPumpEvents(nullptr), 1);
  EXPECT_GE(gPlatform.lastSecond, before);
  EXPECT_GE(gPlatform.lastPump, before);
}

TEST_F(Pump, QueuedEventAlwaysMakesAFullRun) {
  ASSERT_TRUE(EnsureSdl());
  TestDisplay t(L_);
  vkosSetOption(nullptr, VKOS_OPTION_ESCAPEQUIT, 1);
  Drain();
  // Two events: each makes one full run, the second one too.
  vkosWakeEventLoop();
  vkosWakeEventLoop();
  gPlatform.lastPump = MonotonicMicros();
  EXPECT_EQ(vkosPumpEvents(nullptr), 0);
  gPlatform.lastPump = MonotonicMicros();
  t.os.escapeSeen = 1;
  EXPECT_EQ(vkosPumpEvents(nullptr), 1);
}

// The gate of the pump as a gated line hook: open for a queued event and
// once a full run falls due, never earlier; a full run closes it, and so does
// a quick call that finds the gate open without a reason.
TEST_F(Pump, GateOpensForAQueuedEventAndWhenAFullRunFallsDue) {
  ASSERT_TRUE(EnsureSdl());
  const std::atomic<uint32_t>& gate = *vkosPumpGate();
  // Read the gate first: an open gate is right once a reason came meanwhile.
  auto openWithoutAReason = [&] {
    const bool open = gate.load() != 0;
    return open && gPlatform.signals.eventsMayBeQueued.load() == 0 && MonotonicMicros() - gPlatform.lastPump < kPumpInterval;
  };
  Drain();
  vkosPumpEvents(nullptr);
  EXPECT_FALSE(openWithoutAReason()) << "after full runs";

  vkosWakeEventLoop();
  EXPECT_NE(gate.load(), 0u);  // the event watch opened it at once
  EXPECT_EQ(vkosPumpEvents(nullptr), 0);
  EXPECT_FALSE(openWithoutAReason()) << "after the run that took the event";

  // Opened by the timer once the next run is due; the wait is bounded far
  // beyond any scheduling delay.
  const auto start = std::chrono::steady_clock::now();
  while (gate.load() == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_NE(gate.load(), 0u);
  EXPECT_FALSE(openWithoutAReason()) << "opened by the timer";

  // Opened without a reason (a timer tick racing a full run): the next quick
  // call closes it again.
  vkosPumpEvents(nullptr);
  const_cast<std::atomic<uint32_t>&>(gate).store(1);
  vkosPumpEvents(nullptr);
  EXPECT_FALSE(openWithoutAReason()) << "after a quick call";

  // Without the platform there is no timer: the gate stays open.
  vkosExit();
  EXPECT_NE(gate.load(), 0u);
  ASSERT_EQ(vkosInit(), 0);
}

// Who takes the interrupt: the platform's own handler until SDL starts, then
// SDL's (unless SDL was told to take no signals).
struct SignalPhase {
  const char* name;
  bool sdlStarted;
};
const SignalPhase kSignalPhases[] = {{"before SDL starts", false}, {"once SDL runs", true}};

// Whether [phase] is set up with a handler for SIGINT; false: skip it.
bool EnterSignalPhase(const SignalPhase& phase) {
  if (phase.sdlStarted && !EnsureSdl()) return false;
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  return current.sa_handler != SIG_DFL && current.sa_handler != SIG_IGN;
}

TEST_F(Pump, InterruptSignalStopsAScriptWithoutDisplays) {
  for (const SignalPhase& phase : kSignalPhases) {
    SCOPED_TRACE(phase.name);
    vkosExit();
    ASSERT_EQ(vkosInit(), 0);
    ErrorInfo().stopFlag = 0;
    if (!EnterSignalPhase(phase)) {
      ASSERT_TRUE(phase.sdlStarted) << "the platform takes the interrupt itself";
      continue;  // SDL has no interrupt handler here
    }
    Drain();
    std::raise(SIGINT);
    int result = 0;
    for (int i = 0; i < 10 && result == 0; i++) result = PumpInFull();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ErrorInfo().stopFlag, 1u);
  }
}

TEST_F(Pump, InterruptAsksEachDisplayToClose) {
  for (const SignalPhase& phase : kSignalPhases) {
    SCOPED_TRACE(phase.name);
    vkosExit();
    ASSERT_EQ(vkosInit(), 0);
    if (!EnterSignalPhase(phase)) {
      ASSERT_TRUE(phase.sdlStarted) << "the platform takes the interrupt itself";
      continue;
    }
    TestDisplay t(L_);
    t.display.event.handlers[kHandlerCloseWindow].function = 7;  // the script handles closing
    Drain();
    RemoveEvents(-1, true);
    std::raise(SIGINT);
    for (int i = 0; i < 10 && ProgramEventQueue().Count() == 0; i++) EXPECT_EQ(PumpInFull(), 0);
    vkEventInfo info;
    std::lock_guard hold(ProgramEventQueue().Mutex());
    ASSERT_NE(GetEvent(0, info, false), 0u);
    EXPECT_EQ(info.type, EVENT_CLOSEWINDOW);
    EXPECT_EQ(info.display, &t.display);
    RemoveEvents(-1, true);
  }
}

// Before SDL starts the signal needs no full run to be due: it opens the
// quick path itself, and a termination counts as an interrupt.
TEST_F(Pump, QuitSignalBeforeSdlOpensTheQuickPath) {
  ASSERT_FALSE(gPlatform.sdl);
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    gPlatform.stickyStop = false;
    ErrorInfo().stopFlag = 0;
    Drain();
    gPlatform.lastPump = MonotonicMicros();
    EXPECT_EQ(vkosPumpEvents(nullptr), 0);
    std::raise(signal);
    EXPECT_NE(vkosPumpGate()->load(), 0u);
    gPlatform.lastPump = MonotonicMicros();
    EXPECT_EQ(vkosPumpEvents(nullptr), 1);
  }
}

// Before SDL starts nothing but a quit signal or a delayed call has work for
// the pump, and each opens the gate itself: a full run closes it, and a quick
// call that finds it open without a reason closes it again, so that a
// script's lines do not each run the pump.
TEST_F(Pump, BeforeSdlStartsTheGateStaysClosedAfterAFullRun) {
  ASSERT_FALSE(gPlatform.sdl);
  auto& gate = const_cast<std::atomic<uint32_t>&>(*vkosPumpGate());
  EXPECT_NE(gate.load(), 0u);  // the first line runs the pump
  EXPECT_EQ(PumpInFull(), 0);
  EXPECT_EQ(gate.load(), 0u);
  gate.store(1);
  gPlatform.lastPump = MonotonicMicros();
  EXPECT_EQ(vkosPumpEvents(nullptr), 0);
  EXPECT_EQ(gate.load(), 0u);
  EXPECT_FALSE(gPlatform.sdl);
}

// A signal before SDL started queued no event; the first wait for events,
// which starts SDL, ends for it all the same.
TEST_F(Pump, QuitSignalBeforeSdlStartsEndsTheFirstWait) {
  ASSERT_FALSE(gPlatform.sdl);
  Drain();
  std::raise(SIGINT);
  EXPECT_EQ(vkosWaitEvent(), 0);
  EXPECT_TRUE(gPlatform.sdl);
  EXPECT_EQ(PumpInFull(), 1);
}

// A signal that came before SDL started is still answered once it runs, and
// SDL's handler takes the next one; stopping the platform gives the default
// handling back.
TEST_F(Pump, QuitSignalsAreHandedOverToSdl) {
  Drain();
  std::raise(SIGTERM);
  ASSERT_TRUE(EnsureSdl());
  EXPECT_EQ(PumpInFull(), 1);
  vkosExit();
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    sigaction(signal, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL) << signal;
  }
  ASSERT_EQ(vkosInit(), 0);
}

TEST_F(Pump, WaitOfAHundredMillisecondsOnlySleeps) {
  TestDisplay t(L_);
  vkosSetOption(nullptr, VKOS_OPTION_ESCAPEQUIT, 1);
  t.os.escapeSeen = 1;
  vkosWakeEventLoop();
  MakeDue();
  EXPECT_EQ(vkosWaitMillis(nullptr, 100), 0);
  EXPECT_EQ(t.os.escapeSeen, 1u);
}

TEST_F(Pump, LongerWaitPumpsAndEndsOnAStop) {
  TestDisplay t(L_);
  vkosSetOption(nullptr, VKOS_OPTION_ESCAPEQUIT, 1);
  t.os.escapeSeen = 1;
  vkosWakeEventLoop();
  MakeDue();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(vkosWaitMillis(nullptr, 101), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_EQ(t.os.escapeSeen, 0u);
}

TEST_F(Pump, LongerWaitWithoutAStopLastsItsTime) {
  TestDisplay t(L_);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(vkosWaitMillis(nullptr, 150), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(149));
}

TEST_F(Pump, FrameRateOptionAndItsReturnToTheRefreshRate) {
  gPlatform.refreshRate = 75;
  vkosSetOption(nullptr, VKOS_OPTION_FRAMERATE, 30);
  EXPECT_EQ(gPlatform.limiterOn, 1);
  EXPECT_EQ(gPlatform.frameRate, 30);
  vkosSetOption(nullptr, VKOS_OPTION_FRAMERATE, 0);
  EXPECT_EQ(gPlatform.limiterOn, 0);
  EXPECT_EQ(gPlatform.frameRate, 75);
}

TEST_F(Pump, UnknownOptionChangesNothing) {
  for (int32_t code : {0, 7, 11, 15, 17, -1}) vkosSetOption(nullptr, code, 99);
  EXPECT_EQ(gPlatform.quit.ctrlCQuit, 1);
  EXPECT_EQ(gPlatform.quit.leftMouseQuit, 0);
  EXPECT_EQ(gPlatform.quit.escapeQuit, 0);
  EXPECT_EQ(gPlatform.limiterOn, 0);
  EXPECT_EQ(gPlatform.frameRate, 0);
}

TEST_F(Pump, NoLaunchDocument) { EXPECT_EQ(vkosGetLaunchDocument(), nullptr); }

}  // namespace
