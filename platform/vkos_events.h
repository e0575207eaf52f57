// The platform's start and stop, and the event pump that keeps the window
// system's events flowing: the script engine runs the pump as its line hook,
// and every wait of the player runs it too. One pump call takes at most one
// system event, turns the displays' quit conditions into one answer (go on or
// stop) and does the audio housekeeping. Main thread only.
#pragma once

#include <atomic>
#include <cstdint>

struct vkState;
struct vkDebugInfo;
struct vkDisplay;

// Starts the platform side: the catalog "PROGDIR:Vellumark.catalog", the
// pump's clocks and the handling of interrupt and termination signals.
// Returns 0. The window system's event queue starts with the first call that
// needs it (a window, a screen query, input, sound, a wait for events); when
// it cannot start, or there is no window system (no display), the player
// runs headless.
int vkosInit();

// Stops the platform side and frees everything vkosInit made.
void vkosExit();

// Runs the pump: returns 0 when the script may go on, 1 when it must stop.
// Returns at once when no event is queued and less than 10 ms have passed
// since the end of the last full run. Once a stop was found every later call,
// quick or full, reports it, and the error record's stop flag is set. [ar] is not read: the
// signature is the one of the engine's line hook.
int vkosPumpEvents(vkState* L, vkDebugInfo* ar = nullptr);

// The gate for the pump as the engine's line hook (vmSetHook's line gate):
// set whenever an event is queued and whenever a full run falls due, cleared
// by a full run, so that the lines in between need not call the pump at all.
// It stays set while the platform is not started.
const std::atomic<uint32_t>* vkosPumpGate();

// Blocks until an event is in the queue, without taking it; returns 0.
int vkosWaitEvent();

// Waits [ms] milliseconds. Up to 100 ms it only sleeps; longer waits pump
// events meanwhile and end early with 1 when the pump reports a stop.
int vkosWaitMillis(vkState* L, int32_t ms);

// Sleeps [ms] milliseconds without pumping.
void vkosDelay(vkState* L, int32_t ms);

// Quit and pacing options; unknown codes are ignored.
inline constexpr int32_t VKOS_OPTION_CTRLCQUIT = 8;
inline constexpr int32_t VKOS_OPTION_LEFTMOUSEQUIT = 9;
inline constexpr int32_t VKOS_OPTION_ESCAPEQUIT = 10;
inline constexpr int32_t VKOS_OPTION_FRAMERATE = 16;  // 0: pace at the screen's refresh rate
void vkosSetOption(vkState* L, int32_t code, int32_t value);

// Runs the loaded main chunk through [run] (the engine's protected call with
// no arguments and no results); returns its status.
int vkosRunMainChunk(vkState* L, int (*run)(vkState* L));

// The quit conditions in force (options 8 to 10).
struct vkQuitOptions {
  int32_t ctrlCQuit = 1;
  int32_t leftMouseQuit = 0;
  int32_t escapeQuit = 0;
};

// What the layers above the platform do when the pump meets their business.
// The platform never walks their objects itself: it calls these, which the
// display code registers (any may be NULL).
struct vkPlatformHooks {
  // The run whose displays the hooks look at; handed back to every hook.
  vkState* state = nullptr;
  // Every full pump run: looks at the displays' window requests (quit keys,
  // close box, mode switch, resize) under [quit]; true when one of them asks
  // the script to stop.
  bool (*checkDisplays)(vkState* L, const vkQuitOptions& quit) = nullptr;
  // The window system asks the program to quit (a signal, the session
  // ending); false when no display is open to take the request.
  bool (*quitRequested)(vkState* L) = nullptr;
  // Whether Command-Return in [display]'s window may switch between full
  // screen and window (the display is the primary one and no requester is
  // open over it); NULL: it may.
  bool (*mayModeSwitch)(vkState* L, const vkDisplay* display) = nullptr;
  // Whether [display] scales what it shows (its size events are then not
  // queued); NULL: no display scales.
  bool (*isScaling)(const vkDisplay* display) = nullptr;
};

// Registers [hooks]; they stay registered across vkosInit and vkosExit.
void vkosSetHooks(const vkPlatformHooks& hooks);

// The document the desktop opened the player with; there is none on this
// platform, so the result is always NULL.
const char* vkosGetLaunchDocument();

// Hook the start-up and shutdown run around the display; nothing to do on
// this platform.
void vkosRunStateHook();

// Queues a wake-up event, so that a wait blocked in vkosWaitEvent returns and
// the next pump call runs in full. Safe from any thread.
void vkosWakeEventLoop();

// Runs [hook] once, on the main thread from the event pump, once [ms]
// milliseconds have passed since this call, whether or not anything else
// opens the pump's gate before then. A later call replaces the earlier; a
// null hook cancels it.
void vkosCallAfter(int32_t ms, void (*hook)(vkState* L));
