// What one engine holds for its run beyond the script's values: the error
// record (message fillers, last error, stop flag), the GOSUB stack, the
// command registry and the hooks that the libraries above register. Each
// engine state owns one (vkGlobalState::run), so that two engines in one
// process keep their stop flags, libraries and errors apart.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/errorinfo.h"
#include "engine/attributes.h"
#include "engine/libraries.h"

struct vkState;
struct vkProto;
struct vkProgramContext;

// The GOSUB stack: return addresses {function, instruction index}.
inline constexpr int kGosubMax = 4096;
struct vkGosubEntry {
  const vkProto* proto;
  int32_t index;
};

struct vkEngineRun {
  vkErrorInfo errors;                                  // current while this engine runs
  // GOSUB return addresses, the first gosubCount in use: left uninitialised
  // so that a run that never jumps to a subroutine never touches its pages.
  std::array<vkGosubEntry, kGosubMax> gosub;
  int gosubCount = 0;                                  // entries in use
  std::unique_ptr<vkLibraryEntry> libraries;           // the command registry, in registration order
  // Finds a layer of the current output by name for the argument checks
  // (1-based position, 0 = none); registered by the layers library.
  int32_t (*findLayerByName)(vkState* L, const char* name) = nullptr;
  // The command that reads the last error: the one command before which the
  // last error code is not cleared.
  vkCFunction lastErrorReader = nullptr;
  bool debugOutput = false;  // every command call is printed before it runs
  // Runs once, before the first call of a command marked by
  // vmMarkFirstUseCommands, and is then forgotten; a result other than 0 is
  // that command's error.
  int (*firstUseHook)(vkState* L) = nullptr;
  // Records of collected string views, linked by their next field, for the
  // views that concatenation makes next; freed when the engine closes.
  vkGCObject* spareViews = nullptr;
  vkRuntimeAttrs attrs;                        // the kept runtime attributes
  std::vector<vkSetAttrHandler> setHandlers;   // attribute chains, in registration order
  std::vector<vkGetAttrHandler> getHandlers;
  // The runtime's program context this engine runs for (runtime/context.h),
  // and the one it made itself when nobody attached one.
  vkProgramContext* program = nullptr;
  std::shared_ptr<vkProgramContext> ownProgram;
};

// The run record of [L]'s engine.
vkEngineRun& EngineRun(vkState* L);

// Makes [L]'s error record the current one on this thread for its lifetime
// and restores the previous one after.
class vkCurrentErrorScope {
 public:
  explicit vkCurrentErrorScope(vkState* L);
  ~vkCurrentErrorScope() { SetCurrentErrorInfo(previous_); }
  vkCurrentErrorScope(const vkCurrentErrorScope&) = delete;
  vkCurrentErrorScope& operator=(const vkCurrentErrorScope&) = delete;

 private:
  vkErrorInfo* previous_;
};
