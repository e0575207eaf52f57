// The event dispatcher's costs: CheckEvent with nothing pending (beside
// SDL_PollEvent on an empty queue, its peer in the same process), WaitEvent
// delivering timer callbacks (a test clock that jumps to each deadline, so no
// time is slept), and what one CheckEvent per 1,000 instructions adds to a
// script loop (the same loop without it runs beside it).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/bytecode.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "platform/eventqueue.h"
#include "platform/vkos.h"
#include "platform/vkos_timers.h"
#include "runtime/context.h"
#include "runtime/eventlib.h"
#include "runtime/eventstate.h"
#include "tools/vkasm/vkasm.h"

namespace {

int64_t gFakeNow = 0;
int64_t FakeNow() { return gFakeNow; }
bool FakeWait(int64_t timeout) {
  if (timeout < 0) return true;
  gFakeNow += timeout;
  return false;
}

// An engine with the event library, one open display and the platform on a
// test clock.
struct Engine {
  std::unique_ptr<vkProgramContext> context = std::make_unique<vkProgramContext>();
  vkEventDisplay display;
  vkState* L = nullptr;
  bool ok = false;
  Engine() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    vkosSetClock(vkPlatformClock{FakeNow, FakeWait});
    if (vkosInit() != 0) return;
    L = vmNewState();
    AttachProgramContext(L, context.get());
    vmPushValue(L, VK_GLOBALSINDEX);
    ok = OpenEventLibrary(L) == 0;
    vmSetTop(L, 0);
    display.open = true;
    AttachEventDisplay(L, &display);
    SetCurrentEventDisplay(L, &display);
  }
  ~Engine() {
    if (L) {
      FreeAllEventObjects(L);
      vmCloseState(L);
    }
    vkosExit();
    vkosSetClock(vkPlatformClock{});
  }
  int Call(const char* command) {
    vmPushString(L, command);
    vmGetTable(L, VK_GLOBALSINDEX);
    const int code = vmPCall(L, 0, 0, 0);
    vmSetTop(L, 0);
    return code;
  }
};

int Nothing(vkState*) { return 0; }

void BM_CheckEventNothingPending(benchmark::State& state) {
  Engine e;
  if (!e.ok) return state.SkipWithError("no engine");
  for (auto _ : state) benchmark::DoNotOptimize(e.Call("checkevent"));
}
BENCHMARK(BM_CheckEventNothingPending);

void BM_SDLPollEventNothingPending(benchmark::State& state) {
  Engine e;
  if (!e.ok) return state.SkipWithError("no engine");
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
  }
  for (auto _ : state) benchmark::DoNotOptimize(SDL_PollEvent(&event));
}
BENCHMARK(BM_SDLPollEventNothingPending);

// One interval of 1 ms; every WaitEvent sleeps (on the test clock) until it
// is due and calls its handler.
void BM_WaitEventTimerCallbacks(benchmark::State& state) {
  Engine e;
  if (!e.ok) return state.SkipWithError("no engine");
  vmPushString(e.L, "setinterval");
  vmGetTable(e.L, VK_GLOBALSINDEX);
  vmPushNumber(e.L, 1);
  vmPushCClosure(e.L, Nothing, 0);
  vmPushNumber(e.L, 1);
  if (vmPCall(e.L, 3, 0, 0) != 0) return state.SkipWithError("no interval");
  for (auto _ : state)
    if (e.Call("waitevent") != 0) return state.SkipWithError("WaitEvent failed");
}
BENCHMARK(BM_WaitEventTimerCallbacks)->Iterations(100000);

// A loop of 1,000 instructions per round, [withCheck]: one of them calls
// CheckEvent.
std::string LoopListing(bool withCheck) {
  std::string text = "  LOADK 0 #0\n  LOADK 2 #0\ntop:\n";
  const int body = withCheck ? 995 : 997;  // the call takes two, the loop three
  for (int i = 0; i < body; i++) text += "  ADD 2 2 #1\n";
  if (withCheck) text += "  GETGLOBAL 3 \"checkevent\"\n  CALL 3 1 1\n";
  text += "  ADD 0 0 #1\n  LT 1 0 #100\n  JMP top\n  RETURN 0 1\n";
  return text;
}

void ScriptLoop(benchmark::State& state, bool withCheck) {
  Engine e;
  if (!e.ok) return state.SkipWithError("no engine");
  const std::vector<uint8_t> bytes = vkasm::Assemble(LoopListing(withCheck), "loop.vkasm");
  if (vmLoadBuffer(e.L, bytes.data(), bytes.size(), "loop") != 0) return state.SkipWithError("no chunk");
  for (auto _ : state) {
    vmPushValue(e.L, 1);
    if (vmPCall(e.L, 0, 0, 0) != 0) return state.SkipWithError("the loop failed");
  }
  state.SetItemsProcessed(state.iterations() * 100 * 1000);  // instructions
}
void BM_ScriptLoop(benchmark::State& state) { ScriptLoop(state, false); }
void BM_ScriptLoopCheckingEvents(benchmark::State& state) { ScriptLoop(state, true); }
BENCHMARK(BM_ScriptLoop);
BENCHMARK(BM_ScriptLoopCheckingEvents);

}  // namespace
