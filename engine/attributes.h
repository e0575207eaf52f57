// Runtime attributes: settings that cross library borders, read and written
// as lists of (tag, value) pairs. Each engine keeps a few tags itself (the
// record below); every other tag is offered to the engine's handler chains
// that libraries register at start-up, in registration order, until one
// takes it.
#pragma once

#include <cstdint>
#include <initializer_list>

// Tags the runtime keeps.
inline constexpr uint32_t ATTR_EVENTEXPIRY = 1;  // ms after which queued input events are dropped
inline constexpr uint32_t ATTR_QUIET = 2;        // no console status lines
inline constexpr uint32_t ATTR_SCRIPTPHASE = 6;  // 1 while the script runs, 0 while preloading and at shutdown
inline constexpr uint32_t ATTR_PCALLDEPTH = 11;  // set: non-zero enters a protected call, zero leaves one
inline constexpr uint32_t ATTR_EXITONERROR = 12; // settable only; reading goes to the chains
inline constexpr uint32_t ATTR_LINEINFO = 23;    // file, line and function in error messages; settable only

struct vkRuntimeAttrs {
  int32_t eventExpiry = 1500;
  int32_t quiet = 0;
  int32_t scriptPhase = 0;
  int32_t pcallDepth = 0;   // never below 0
  int32_t exitOnError = 1;
  int32_t lineInfo = 0;
};

struct vkState;

// The kept tags of [L]'s engine.
vkRuntimeAttrs& RuntimeAttrs(vkState* L);

// One pair of a SetAttrs list and of a GetAttrs list. A tag 0 ends a list
// early, as the terminator of the original lists did.
struct vkTagItem {
  uint32_t tag;
  intptr_t value;
};
struct vkTagQuery {
  uint32_t tag;
  int32_t* result;  // a word, or a larger record for some library tags
};

// Handlers: non-zero when they took the tag. [object] is passed unchanged;
// [L] is the engine whose chain called them.
typedef int (*vkSetAttrHandler)(vkState* L, void* object, uint32_t tag, intptr_t value);
typedef int (*vkGetAttrHandler)(vkState* L, void* object, uint32_t tag, int32_t* result);

// Stores the kept tags and offers every other one to the setting handlers;
// returns the number of tags handled.
int SetAttrs(vkState* L, void* object, std::initializer_list<vkTagItem> tags);
// Reads the kept tags 1, 2, 6 and 11 and offers every other one to the
// getting handlers; returns the number answered. An unanswered query leaves
// its target unchanged.
int GetAttrs(vkState* L, void* object, std::initializer_list<vkTagQuery> tags);

// Append a handler to its chain: 0, or 1000 when it cannot be stored.
int AddSetAttrHandler(vkState* L, vkSetAttrHandler handler);
int AddGetAttrHandler(vkState* L, vkGetAttrHandler handler);

// Empties both chains (shutdown).
void FreeAttrHandlers(vkState* L);
