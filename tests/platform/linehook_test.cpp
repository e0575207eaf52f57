// The pump as the script engine's line hook, called on every line or behind
// its gate as the player installs it: a script that loops forever keeps the
// window system's events flowing, and an interrupt arriving while it runs
// ends it through the stop flag.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "engine/bytecode.h"
#include "engine/call.h"
#include "engine/vmapi.h"
#include "base/errorinfo.h"
#include "engine/state.h"
#include "graphics/displays.h"
#include "platform/vkos_events.h"

namespace {

std::vector<char> ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Pump calls the script made through its line hook.
std::atomic<int> gPumpCalls{0};
void CountingPumpHook(vkState* L, vkDebugInfo* ar) {
  gPumpCalls.fetch_add(1);
  vkosPumpEvents(L, ar);
}

TEST(LineHook, InterruptEndsAnEndlessScript) {
  for (bool gated : {false, true}) {
    SCOPED_TRACE(gated ? "behind the pump's gate" : "on every line");
    InstallDisplayHooks(nullptr);
    ASSERT_EQ(vkosInit(), 0);
    // Without SDL's interrupt handler an interrupt would end the test itself.
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) {
      vkosExit();
      GTEST_SKIP() << "SDL has no interrupt handler here";
    }
    ErrorInfo().stopFlag = 0;
    gPumpCalls.store(0);
    vkState* L = vmNewState();
    ASSERT_NE(L, nullptr);
    const std::vector<char> chunk = ReadAll(VK_BINARY_DIR "/tests/platform/endless.vkb");
    ASSERT_FALSE(chunk.empty());
    ASSERT_EQ(vmLoadBuffer(L, chunk.data(), chunk.size(), "endless"), 0);
    vmSetHook(L, CountingPumpHook, VK_MASKLINE, 0, gated ? vkosPumpGate() : nullptr);

    // The interrupt comes once the script has looped through several pump
    // calls, or behind the gate through the first (before SDL starts nothing
    // else opens the gate: the interrupt does); however slow the machine,
    // nothing here depends on how long.
    const int before = gated ? 1 : 5;
    std::atomic<bool> ended{false};
    std::atomic<bool> interrupted{false};
    std::thread interrupter([&] {
      while (gPumpCalls.load() < before && !ended.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (ended.load()) return;
      interrupted.store(true);
      std::raise(SIGINT);
    });
    vkosRunMainChunk(L, [](vkState* s) { return vmPCall(s, 0, 0, 0); });
    const bool endedAfterTheInterrupt = interrupted.load();
    ended.store(true);
    interrupter.join();

    EXPECT_TRUE(endedAfterTheInterrupt);  // it did loop until the interrupt
    EXPECT_GT(gPumpCalls.load(), before);  // and a pump call took it
    EXPECT_EQ(ErrorInfo().stopFlag, 1u);
    vmCloseState(L);
    vkosExit();
    ErrorInfo().stopFlag = 0;
  }
}

}  // namespace
