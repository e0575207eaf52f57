// The whole life of the player: find the applet, gather the options, make
// the script engine and open the command libraries, read the applet, load
// its main chunk, run its preloads, open the first display, run the main
// chunk, then shut everything down in a fixed order and report the error
// that ended the run. One engine state and one run per process.
#pragma once

#include <cstdint>

#include "runtime/context.h"

struct vkState;

// Where a test may watch the shutdown: called with each free-all step's name
// before it runs.
using vkShutdownObserver = void (*)(const char* step);

// Runs the player with the command line; returns the exit status: 0 after a
// normal end or "User abort!", 1 after an error was reported.
int RunPlayer(int argc, const char* const* argv, vkShutdownObserver observer = nullptr);

// Loads the applet's bytecode as the main chunk (left on the stack) and
// installs the event pump as the line hook. 0 or the load error.
uint32_t LoadMainChunk(vkState* L, vkProgramContext& context, vkApplet& applet);

// Frees everything the run made, in the shutdown order, reports [error]
// (never "User abort!") and returns the exit status.
int Shutdown(uint32_t error, vkState* L, vkProgramContext& context, vkApplet& applet);

// One step of the start-up's library table or the shutdown's free-all list.
struct vkLibraryOpener {
  const char* name;
  int (*open)(vkState* L);  // NULL while the library does not exist yet
};
struct vkShutdownStep {
  const char* name;
  void (*run)(vkState* L);
};
