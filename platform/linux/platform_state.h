// The platform layer's program-wide state on the main thread: whether it
// started and with which services, the event pump's clocks and sticky stop,
// the quit options and the frame-rate limiter. Shared by the platform's own
// units; a cheap monotonic clock serves the pump's quick path. SDL starts
// with the first call that needs it (EnsureSdl), not with the platform.
#pragma once

#include <time.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "platform/eventqueue.h"
#include "platform/linux/callafter.h"
#include "platform/linux/joysticks.h"
#include "platform/linux/lazylibrary.h"
#include "platform/vkos_display.h"
#include "platform/vkos_events.h"
#include "platform/vkos_timers.h"

// The audio output's record (vkos_audio.cpp), freed there.
struct vkAudioOutput;
struct vkAudioOutputDeleter {
  void operator()(vkAudioOutput* output) const;
};

// The screen as the windows see it: the desktop, or a full-screen mode.
// Where the window system has screens, the mode is one of the main screen's
// own, switched to while a black full-screen window of that mode stays open;
// without real screens the requested size is shown centred on the desktop.
struct vkScreenState {
  bool fullScreen = false;        // a full-screen mode is in force
  int32_t modeWidth = 0;          // its size, as the screen reports it meanwhile
  int32_t modeHeight = 0;
  bool switched = false;          // the main screen really is in that mode
  uint32_t modeFormat = 0;        // and this is the mode (SDL pixel format, refresh rate)
  int32_t modeRefresh = 0;
  std::shared_ptr<vkOSWindow> black;  // the full-screen window that holds the mode
  bool desktopKnown = false;      // the desktop's mode was remembered (once)
  int32_t desktopWidth = 0;
  int32_t desktopHeight = 0;
  bool usableArea = false;        // windows keep off the system's panels
  bool menuBarUsable = false;     // windows may cover the menu bar
};

// The screen's brightness while the program holds the fade reservation: it
// goes from one level to another over a time, stepped by the pump when
// nobody waits for it, and the reservation lapses after ten seconds.
struct vkFadeState {
  int32_t lastToken = 0;          // reservations handed out
  int32_t held = 0;               // the one held now; 0 none
  int64_t grantedAt = 0;          // when, monotonic microseconds
  float level = 1.0f;             // brightness now: 1 normal, 0 black
  float from = 1.0f, to = 1.0f;   // the fade under way
  int64_t start = 0, duration = 0;  // microseconds; duration 0: none under way
  bool releaseAtEnd = false;      // the reservation goes when the fade ends
};

// The words that other threads (SDL's event watch and timers) set for the
// pump. Copying takes a snapshot, so that the record can be reset whole
// while no other thread runs.
struct vkPumpSignals {
  // Non-zero when the event queue may hold an event: set whenever an event is
  // queued (from any thread), re-armed by the pump after it took one.
  std::atomic<uint32_t> eventsMayBeQueued{1};
  // The line hook's gate (vkosPumpGate) and the time the next full run falls
  // due (microseconds); without the ticker the gate stays open.
  std::atomic<uint32_t> gate{1};
  std::atomic<int64_t> due{0};
  std::atomic<bool> waitFired{false};  // set by the wait timer of vkosWaitMillis
  std::atomic<uint32_t> wakeEventType{0};  // the event vkosWakeEventLoop queues; 0 none yet
  // An interrupt or termination signal came while the platform's own handler
  // had them (until SDL starts and takes them over); set by the handler.
  std::atomic<uint32_t> quitSignal{0};

  vkPumpSignals() = default;
  vkPumpSignals(const vkPumpSignals& other) { *this = other; }
  vkPumpSignals& operator=(const vkPumpSignals& other) {
    eventsMayBeQueued.store(other.eventsMayBeQueued.load());
    gate.store(other.gate.load());
    due.store(other.due.load());
    waitFired.store(other.waitFired.load());
    wakeEventType.store(other.wakeEventType.load());
    quitSignal.store(other.quitSignal.load());
    return *this;
  }
};

struct SDL_Cursor;

// The pointers made once and freed when the platform stops, the pointer
// records that hold an SDL cursor, and what the window system shows.
struct vkCursorSet {
  SDL_Cursor* builtin = nullptr;
  SDL_Cursor* empty = nullptr;
  SDL_Cursor* arrow = nullptr;
  std::vector<std::weak_ptr<vkOSPointer>> made;  // records with a cursor of this start
  bool hidden = false;                 // shown: no pointer
  int32_t shownKind = 0;               // else this VKOS_POINTER_* kind
  const vkOSPointer* shown = nullptr;  // and for a custom one this record (compared, never read)
};

struct vkPlatformState {
  bool started = false;       // vkosInit succeeded
  bool sdl = false;           // SDL was started since (EnsureSdl)
  bool sdlFailed = false;     // and could not be: the platform goes on without it
  bool video = false;         // a window system is there (known once SDL started)
  uint32_t quitHandlers = 0;  // the quit signals whose handler is the platform's (bit per kQuitSignals entry)
  int64_t lastPump = 0;       // end of the last full pump run, microseconds
  int64_t lastSecond = 0;     // last audio housekeeping, microseconds
  bool stickyStop = false;    // a stop was found: every pump reports it
  vkQuitOptions quit;
  int32_t limiterOn = 0;      // window flushes are paced
  int32_t frameRate = 0;      // frames per second while paced
  int32_t refreshRate = 0;    // the screen's, set when a window opens
  int32_t refreshOverride = 0;  // a refresh rate to use instead of the screen's; 0 none
  vkScreenState screen;
  vkFadeState fade;
  std::vector<vkOSDisplay*> windows;  // open windows, bottom to top
  vkJoystickList joysticks;
  vkPlatformHooks hooks;      // registered by the layers above; kept across start and stop
  // The audio output, made when first used and kept across start and stop:
  // the sound library sets it up after the platform started.
  std::unique_ptr<vkAudioOutput, vkAudioOutputDeleter> audio;
  vkTimerList timers;         // the script's intervals and timeouts
  size_t requesterAnswers = 0;  // scripted requester answers used so far
  std::vector<uint8_t> clipboardPicture;  // PNG bytes of a picture on the clipboard
  vkPlatformClock clock;      // a test's clock, else empty; kept across start and stop
  vkPumpSignals signals;      // what other threads tell the pump
  int pumpTicker = 0;         // the SDL timer that opens the gate when a run falls due; 0 none
  vkCursorSet cursors;
  FcConfig* fontConfig = nullptr;      // the system-font configuration; kept across start and stop
  FT_Library fontLibrary = nullptr;    // FreeType for the system fonts, started on first use
  bool fontsWanted = false;            // vkosInitSystemFonts was called (and not undone); kept as fontLibrary
  // The input event queue; kept across start and stop, so that what was
  // posted before the start stays queued.
  std::unique_ptr<vkEventQueue> events = std::make_unique<vkEventQueue>();
  // The delayed call of vkosCallAfter; kept across start and stop, its
  // thread ended by vkosExit.
  std::unique_ptr<vkCallAfter> callAfter = std::make_unique<vkCallAfter>();
};
extern vkPlatformState gPlatform;

// The SDL library, loaded when SDL starts (sdlfunctions.cpp).
extern vkLazyLibrary gSdlLibrary;

// Starts SDL for the platform as it stands after vkosInit: loads the library,
// starts its events, timers and video, registers the wake-up event, the
// event watch and the pump's ticker, and hands the quit signals over to SDL.
// Returns 0, or 1278 when the library cannot be loaded or SDL cannot start:
// the platform then goes on without a window system until vkosExit. Not
// before vkosInit (1278 too). Main thread.
int StartSdl();

// True once SDL runs, starting it on the first call.
inline bool EnsureSdl() { return gPlatform.sdl || StartSdl() == 0; }

// Whether SDL may be used for a subsystem it runs on its own (audio,
// joysticks): once the platform started, SDL must run; before, the subsystem
// is started alone.
inline bool SdlUsable() { return !gPlatform.started || EnsureSdl(); }

// Whether a window system is there, starting SDL to find out.
inline bool WindowSystem() { return EnsureSdl() && gPlatform.video; }


// A full pump run is due once this much time has passed since the last.
inline constexpr int64_t kPumpInterval = 10000;      // microseconds
inline constexpr int64_t kHousekeepingInterval = 1000000;

// Monotonic time in microseconds from the kernel's coarse clock: a few
// nanoseconds to read, a few milliseconds of resolution.
inline int64_t MonotonicMicros() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}
