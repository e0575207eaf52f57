// The platform's start and stop and the event pump on SDL. The pump may run
// on every new script line, so its quick path reads only a coarse clock and
// an atomic word that an SDL event watch sets whenever an event is queued: no
// SDL call unless an event may be waiting or 10 ms have passed. As the line
// hook it is gated: the watch and a timer open the gate when it has work.
// SDL itself starts with the first call that needs it; until then the
// platform's own handlers take interrupt and termination signals, which the
// pump turns into the quit request SDL would have queued.
#include <SDL.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <string>
#include <utility>
#include <thread>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "platform/linux/cursors.h"
#include "platform/linux/eventdispatch.h"
#include "platform/linux/platform_state.h"
#include "platform/linux/screenmodes.h"
#include "platform/vkos_audio.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "base/catalog.h"
#include "platform/vkos_files.h"
#include "platform/vkos_joystick.h"
#include "platform/linux/vkos_timers_linux.h"

vkPlatformState gPlatform;

namespace {

constexpr char kCatalogName[] = "PROGDIR:Vellumark.catalog";

int NoteQueuedEvent(void*, SDL_Event*) {
  gPlatform.signals.eventsMayBeQueued.store(1);
  gPlatform.signals.gate.store(1);
  return 1;
}

// Opens the gate once a full run is due; otherwise sleeps until it is.
Uint32 PumpTickerFired(Uint32, void*) {
  // A sound notification waits: wake the main thread to deliver it.
  if (vkosTakeAudioWake()) {
    gPlatform.signals.gate.store(1, std::memory_order_relaxed);
    vkosWakeEventLoop();
  }
  const int64_t wait = gPlatform.signals.due.load(std::memory_order_relaxed) - MonotonicMicros();
  if (wait > 0) return static_cast<Uint32>((wait + 999) / 1000);
  gPlatform.signals.gate.store(1, std::memory_order_relaxed);
  return static_cast<Uint32>(kPumpInterval / 1000);
}

// Closes a gate the timer opened just before a full run took its reason away,
// unless an event came or a run fell due meanwhile. The watch's stores and
// these are ordered, so that an event is never left behind a closed gate.
__attribute__((noinline)) void CloseGateEarly() {
  // SDL without a ticker: every line runs the pump. Before SDL starts only a
  // quit signal or a delayed call has work for it, and each opens the gate.
  if (gPlatform.sdl && gPlatform.pumpTicker == 0) return;
  gPlatform.signals.gate.store(0);
  if (gPlatform.signals.eventsMayBeQueued.load() != 0 || MonotonicMicros() >= gPlatform.signals.due.load(std::memory_order_relaxed))
    gPlatform.signals.gate.store(1);
}

// The signals that ask the program to quit, as SDL takes them.
constexpr int kQuitSignals[] = {SIGINT, SIGTERM};

void NoteQuitSignal(int) {
  gPlatform.signals.quitSignal.store(1);
  gPlatform.signals.eventsMayBeQueued.store(1);
  gPlatform.signals.gate.store(1);
}

// Takes each quit signal that nobody handles (as SDL does: a program that
// ignores or handles one keeps it so).
void InstallQuitHandlers() {
  for (size_t i = 0; i < std::size(kQuitSignals); i++) {
    struct sigaction current {};
    if (sigaction(kQuitSignals[i], nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction ours {};
    ours.sa_handler = NoteQuitSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    if (sigaction(kQuitSignals[i], &ours, nullptr) == 0) gPlatform.quitHandlers |= 1u << i;
  }
}

// Gives back the quit signals whose handler is still ours.
void RemoveQuitHandlers() {
  for (size_t i = 0; i < std::size(kQuitSignals); i++) {
    if ((gPlatform.quitHandlers & (1u << i)) == 0) continue;
    struct sigaction current {};
    if (sigaction(kQuitSignals[i], nullptr, &current) == 0 && current.sa_handler == NoteQuitSignal) {
      struct sigaction none {};
      none.sa_handler = SIG_DFL;
      sigemptyset(&none.sa_mask);
      sigaction(kQuitSignals[i], &none, nullptr);
    }
  }
  gPlatform.quitHandlers = 0;
}

// SDL_Init with the quit signals handed over: SDL installs its handlers
// where it finds none, so ours go first. The signals stay blocked meanwhile,
// so that one sent then waits for SDL's handler instead of ending the
// program; on failure ours come back.
bool InitSdlTakingSignals() {
  sigset_t quit, before;
  sigemptyset(&quit);
  for (int signal : kQuitSignals) sigaddset(&quit, signal);
  pthread_sigmask(SIG_BLOCK, &quit, &before);
  RemoveQuitHandlers();
  const bool started = SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) == 0;
  if (!started) InstallQuitHandlers();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return started;
}

Uint32 WaitTimerFired(Uint32, void*) {
  gPlatform.signals.waitFired.store(true);
  vkosWakeEventLoop();
  return 0;  // one shot
}

void SleepMillis(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A long wait before SDL started: no window-system event can end it, so the
// pump runs once per pump interval in between slices of sleep.
int WaitPumpingWithoutSdl(vkState* L, int32_t ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    const auto left = end - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return 0;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::microseconds(kPumpInterval)));
    if (vkosPumpEvents(L) != 0) return 1;
  }
}

// Everything past the quick path: one event, the displays, the audio.
__attribute__((noinline)) int PumpInFull(vkState* L) {
  if (gPlatform.sdl) {
    // Close the gate first: whatever is queued or falls due from now on opens it.
    if (gPlatform.pumpTicker != 0) gPlatform.signals.gate.store(0, std::memory_order_relaxed);
    SDL_PumpEvents();
    SDL_Event event;
    const bool took = SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1;
    // Re-arm before looking, so that an event queued meanwhile is not missed.
    gPlatform.signals.eventsMayBeQueued.store(0, std::memory_order_relaxed);
    if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) {
      gPlatform.signals.eventsMayBeQueued.store(1, std::memory_order_relaxed);
      gPlatform.signals.gate.store(1, std::memory_order_relaxed);
    }
    if (took) DispatchEvent(event);
    SettleWindows();
    StepScreenFade(MonotonicMicros());
    vkosPresentPending(false);
  } else {
    gPlatform.signals.gate.store(0, std::memory_order_relaxed);
    gPlatform.signals.eventsMayBeQueued.store(0, std::memory_order_relaxed);
  }
  if (gPlatform.signals.quitSignal.exchange(0) != 0) RequestQuit();

  if (const vkCallAfterHook hook = TakeDueCallAfter(*gPlatform.callAfter)) hook(L ? L : gPlatform.hooks.state);
  if (gPlatform.hooks.checkDisplays && gPlatform.hooks.checkDisplays(L ? L : gPlatform.hooks.state, gPlatform.quit))
    gPlatform.stickyStop = true;
  const int result = gPlatform.stickyStop ? 1 : 0;
  if (result != 0) ErrorInfo().stopFlag = 1;

  gPlatform.timers.MarkDue(vkosTimerClock());
  vkosDeliverAudioNotifications();
  int64_t now = MonotonicMicros();
  if (now - gPlatform.lastSecond >= kHousekeepingInterval) {
    vkosAudioHousekeeping();
    gPlatform.lastSecond = now;
  }
  gPlatform.lastPump = MonotonicMicros();
  gPlatform.signals.due.store(gPlatform.lastPump + kPumpInterval, std::memory_order_relaxed);
  return result;
}

// Starts the record afresh, keeping what lives across start and stop: the
// hooks, the audio output, a test's clock, the event queue, and the system
// fonts' configuration and FreeType library, which the font engines own and
// release themselves.
void ResetPlatformState() {
  vkPlatformState fresh;
  fresh.hooks = gPlatform.hooks;
  fresh.audio = std::move(gPlatform.audio);
  fresh.clock = gPlatform.clock;
  fresh.events = std::move(gPlatform.events);
  fresh.callAfter = std::move(gPlatform.callAfter);
  fresh.fontConfig = std::exchange(gPlatform.fontConfig, nullptr);
  fresh.fontLibrary = std::exchange(gPlatform.fontLibrary, nullptr);
  fresh.fontsWanted = gPlatform.fontsWanted;
  gPlatform = std::move(fresh);
}

}  // namespace

vkEventQueue& ProgramEventQueue() { return *gPlatform.events; }

int vkosInit() {
  ResetPlatformState();
  std::string catalog;
  if (vkosExpandProgDir(kCatalogName, &catalog)) LoadCatalog(catalog);

  gPlatform.lastPump = gPlatform.lastSecond = MonotonicMicros();
  gPlatform.signals.due.store(gPlatform.lastPump + kPumpInterval);
  gPlatform.signals.eventsMayBeQueued.store(1);
  gPlatform.signals.gate.store(1);
  vkosPrepareAudio();
  InstallQuitHandlers();
  gPlatform.started = true;
  return 0;
}

int StartSdl() {
  if (gPlatform.sdl) return 0;
  if (!gPlatform.started || gPlatform.sdlFailed || !vkosLoadLazyLibrary(gSdlLibrary) || !InitSdlTakingSignals()) {
    gPlatform.sdlFailed = gPlatform.started;
    return kErrPlatformStart;
  }
  // No window system (no display) is no reason to refuse: the player then
  // runs headless and opening a window fails on its own.
  // Windows show their own surfaces: the video driver's plain framebuffer,
  // not one made through a renderer (slow to make, nothing gained).
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  gPlatform.video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  const Uint32 wake = SDL_RegisterEvents(1);
  gPlatform.signals.wakeEventType.store(wake == static_cast<Uint32>(-1) ? Uint32{SDL_USEREVENT} : wake);
  SDL_AddEventWatch(NoteQueuedEvent, nullptr);
  gPlatform.signals.eventsMayBeQueued.store(1);
  gPlatform.signals.gate.store(1);
  gPlatform.pumpTicker = SDL_AddTimer(static_cast<Uint32>(kPumpInterval / 1000), PumpTickerFired, nullptr);
  gPlatform.sdl = true;
  return 0;
}

void vkosExit() {
  StopCallAfter(*gPlatform.callAfter);
  if (!gPlatform.started) return;
  RemoveQuitHandlers();
  vkosReleaseJoysticks();
  ReleaseScreen();
  for (vkOSDisplay* os : std::vector<vkOSDisplay*>(gPlatform.windows)) vkosCloseWindow(os);
  ReleasePointers();
  FreeCatalog();
  if (gPlatform.sdl) {
    SDL_DelEventWatch(NoteQueuedEvent, nullptr);
    if (gPlatform.pumpTicker != 0) SDL_RemoveTimer(gPlatform.pumpTicker);
    gPlatform.pumpTicker = 0;
    gPlatform.signals.gate.store(1);
    SDL_Quit();
  }
  ResetPlatformState();
}

int vkosPumpEvents(vkState* L, vkDebugInfo*) {
  if (gPlatform.signals.eventsMayBeQueued.load(std::memory_order_relaxed) == 0 &&
      MonotonicMicros() - gPlatform.lastPump < kPumpInterval) {
    if (gPlatform.signals.gate.load(std::memory_order_relaxed) != 0) CloseGateEarly();
    return gPlatform.stickyStop ? 1 : 0;
  }
  return PumpInFull(L);
}

const std::atomic<uint32_t>* vkosPumpGate() { return &gPlatform.signals.gate; }

int vkosWaitEvent() {
  vkosPresentPending(true);
  if (!EnsureSdl()) return 0;
  // What came before SDL started, or while it started, queued no event.
  if (gPlatform.callAfter->anyDue.load() || gPlatform.signals.quitSignal.load() != 0) return 0;
  // A timer that falls due ends the wait as an event would.
  for (;;) {
    const int64_t now = vkosTimerClock();
    if (gPlatform.timers.MarkDue(now)) return 0;
    const int64_t next = gPlatform.timers.NextDeadline();
    if (WaitForEvent(next == INT64_MAX ? -1 : next - now)) return 0;
  }
}

int vkosWaitMillis(vkState* L, int32_t ms) {
  vkosPresentPending(true);
  if (ms > 100 && gPlatform.started && !gPlatform.sdl) return WaitPumpingWithoutSdl(L, ms);
  SDL_TimerID timer = 0;
  if (ms > 100 && gPlatform.started) {
    gPlatform.signals.waitFired.store(false);
    timer = SDL_AddTimer(static_cast<Uint32>(ms), WaitTimerFired, nullptr);
  }
  if (timer == 0) {  // a short wait, or no timer to end a long one
    SleepMillis(ms);
    return 0;
  }
  int result = 0;
  for (;;) {
    SDL_WaitEvent(nullptr);
    if (gPlatform.signals.waitFired.load()) break;
    if (vkosPumpEvents(L) != 0) {
      result = 1;
      break;
    }
  }
  SDL_RemoveTimer(timer);
  return result;
}

void vkosDelay(vkState*, int32_t ms) {
  vkosPresentPending(true);
  SleepMillis(ms);
}

void vkosSetOption(vkState*, int32_t code, int32_t value) {
  switch (code) {
    case VKOS_OPTION_CTRLCQUIT:
      gPlatform.quit.ctrlCQuit = value;
      break;
    case VKOS_OPTION_LEFTMOUSEQUIT:
      gPlatform.quit.leftMouseQuit = value;
      break;
    case VKOS_OPTION_ESCAPEQUIT:
      gPlatform.quit.escapeQuit = value;
      break;
    case VKOS_OPTION_FRAMERATE:
      gPlatform.limiterOn = value != 0 ? 1 : 0;
      gPlatform.frameRate = value != 0 ? value : gPlatform.refreshRate;
      break;
    default:
      break;
  }
}

const char* vkosGetLaunchDocument() { return nullptr; }

void vkosWakeEventLoop() {
  const uint32_t type = gPlatform.signals.wakeEventType.load();
  if (type == 0) return;  // not started
  SDL_Event event{};
  event.type = type;
  SDL_PushEvent(&event);
}

int vkosRunMainChunk(vkState* L, int (*run)(vkState* L)) { return run(L); }

void vkosSetHooks(const vkPlatformHooks& hooks) {
  gPlatform.hooks = hooks;
  gPlatform.events->SetScalingQuery(hooks.isScaling);
}

void vkosRunStateHook() {}
