// The engine's two state records: vkState, one per script thread (stack,
// call-info records, hooks, open upvalues) and vkGlobalState, shared by all
// threads (string table, object lists, collector accounting, registry).
// Commands receive a vkState; engine/vmapi.h is the stack-index interface
// on top of these records, engine/call.h the call machinery.
#pragma once

#include <atomic>

#include "engine/object.h"

// Slots kept spare above the stack limit for metamethod and hook pushes.
inline constexpr int kStackExtra = 6;
// Slots of a new stack and records of a new call-info array.
inline constexpr int kBasicStackSize = 45;
inline constexpr int kBasicCiSize = 8;
// Free slots guaranteed to every command frame and hook call.
inline constexpr int kMinCommandStack = 20;
// Call-info records a thread may hold.
inline constexpr int kMaxCalls = 4096;
// Nested calls from C through vmCallCore.
inline constexpr int kMaxCCalls = 200;
// Slots a command frame may hold (vmCheckStack).
inline constexpr int kMaxCommandStack = 2048;

// Bits of vkCallInfo::state.
enum : uint8_t {
  VK_CI_C = 1,          // command frame
  VK_CI_SCRIPT = 2,     // script frame
  VK_CI_CALLING = 4,    // entered by OP_CALL inside the running interpreter activation
  VK_CI_SAVEDPC = 8,    // savedpc is valid
  VK_CI_SUSPENDED = 16
};

struct vkCallInfo {
  vkClosure* func;           // the running function (its stack slot may be overwritten)
  vkValue* base;             // first register
  vkValue* top;              // frame limit
  const uint32_t* savedpc;   // next instruction of a script frame
  const uint32_t* tracedpc;  // last instruction the line hook saw
  int tailcalls;             // calls lost by tail calls
  uint8_t state;             // VK_CI_* bits
};

// Hook events and mask bits.
enum : int { VK_HOOKCALL = 0, VK_HOOKRET = 1, VK_HOOKLINE = 2, VK_HOOKCOUNT = 3, VK_HOOKTAILRET = 4 };
enum : uint8_t { VK_MASKCALL = 1, VK_MASKRET = 2, VK_MASKLINE = 4, VK_MASKCOUNT = 8 };

// What a hook receives; the debug interface fills the rest on request.
struct vkDebugInfo {
  int32_t event;
  const char* name;
  const char* namewhat;
  const char* what;
  const char* source;
  int32_t currentline;
  int32_t nups;
  int32_t linedefined;
  char shortSrc[60];
  int privateIndex;  // index of the level's call record; 0 for a lost tail call
};
typedef void (*vkHook)(vkState* L, vkDebugInfo* ar);

// A word another thread sets when a gated line hook may have work; the hook
// clears it once it has done that work. While it is clear the interpreter
// does not enter the line hook at all.
typedef std::atomic<uint32_t> vkHookGate;
// The gate of a state without one: always clear, never read as a gate.
extern const vkHookGate gVmNoHookGate;
// Always set: what the interpreter polls while a hook sees every instruction.
extern const vkHookGate gVmOpenHookGate;

struct vkErrorJump;

struct vkStringTable {
  vkString** hash;
  uint32_t nuse;
  uint32_t size;  // a power of two
};

struct vkState : vkGCObject {
  vkValue* top;            // first free slot
  vkValue* base;           // first slot of the running function
  struct vkGlobalState* G;
  vkCallInfo* ci;          // current call-info record
  vkValue* stackLast;      // last usable slot (kStackExtra below the end)
  vkValue* stack;
  int stacksize;
  vkCallInfo* endCi;
  vkCallInfo* baseCi;
  int sizeCi;
  uint16_t nCcalls;        // nested calls from C
  uint8_t hookMask;
  uint8_t dispatchMask;    // hook bits that stop every instruction: hookMask, less the line bit while gated
  uint8_t allowHook;
  uint8_t hookInit;
  int baseHookCount;
  int hookCount;
  vkHook hook;
  const vkHookGate* hookGate;  // the line hook's gate, or &gVmNoHookGate
  // The word the interpreter polls at every instruction: &gVmOpenHookGate
  // while dispatchMask is set, else hookGate.
  const vkHookGate* pollGate;
  vkValue globals;
  vkGCObject* openupval;   // open upvalues, highest stack slot first
  vkGCObject* gclist;
  vkErrorJump* errorJump;  // innermost protected execution
  ptrdiff_t errfunc;       // stack offset of the error function, 0 = none
};

struct vkGlobalState {
  vkStringTable strt;
  vkGCObject* rootgc;      // every collectable object but strings and userdata
  vkGCObject* rootudata;   // userdata
  vkGCObject* tmudata;     // userdata waiting for their finaliser
  char* buff;              // scratch buffer (concatenation)
  size_t buffsize;
  size_t GCthreshold;      // bytes
  size_t nblocks;          // bytes in use
  vkCFunction panic;
  vkValue registry;
  vkValue defaultMeta;     // metatable of new tables and userdata
  vkState* mainthread;
  vkNode dummynode;        // the hash part of every table without one
  vkString* tmname[23];    // event names
  bool gcStress;           // VK_GC_STRESS: collect at every check point
  struct vkEngineRun* run; // error record, GOSUB stack, command registry, hooks
  bool gcRunning;
};

// Opens an engine: the main thread, or NULL when opening failed.
vkState* vmNewState();
// Closes the engine: runs every pending finaliser, frees everything.
void vmCloseState(vkState* L);
// A new thread sharing [L]'s global state, linked into the object list.
vkState* vmNewThread(vkState* L);
void vmFreeThread(vkState* L, vkState* L1);

// Stack and call-info allocation (used by the state's opener and threads).
void vmStackInit(vkState* L1, vkState* L);

// A new full userdata of [size] bytes with the default metatable.
vkUserdata* vmNewUserdata(vkState* L, size_t size);
