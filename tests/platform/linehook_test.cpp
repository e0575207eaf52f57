// The pump as the script engine's line hook: a script that loops forever
// keeps the window system's events flowing, and an interrupt arriving while
// it runs ends it through the stop flag.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "engine/bytecode.h"
#include "engine/call.h"
#include "engine/errorinfo.h"
#include "engine/state.h"
#include "graphics/displays.h"
#include "platform/vkos_events.h"

namespace {

std::vector<char> ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(LineHook, InterruptEndsAnEndlessScript) {
  ASSERT_EQ(vkosInit(), 0);
  // Without SDL's interrupt handler an interrupt would end the test itself.
  struct sigaction current {};
  sigaction(SIGINT, nullptr, &current);
  if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) {
    vkosExit();
    GTEST_SKIP() << "SDL has no interrupt handler here";
  }
  DisplayList = nullptr;
  gErrorInfo.stopFlag = 0;
  vkState* L = vmNewState();
  ASSERT_NE(L, nullptr);
  const std::vector<char> chunk = ReadAll(VK_BINARY_DIR "/tests/platform/endless.vkb");
  ASSERT_FALSE(chunk.empty());
  ASSERT_EQ(vmLoadBuffer(L, chunk.data(), chunk.size(), "endless"), 0);
  vmSetHook(L, [](vkState* s, vkDebugInfo* ar) { vkosPumpEvents(s, ar); }, VK_MASKLINE, 0);

  std::thread interrupter([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::raise(SIGINT);
  });
  const auto start = std::chrono::steady_clock::now();
  vkosRunMainChunk(L);
  const auto ran = std::chrono::steady_clock::now() - start;
  interrupter.join();

  EXPECT_EQ(gErrorInfo.stopFlag, 1u);
  EXPECT_GE(ran, std::chrono::milliseconds(40));  // it did loop until the interrupt
  vmCloseState(L);
  vkosExit();
  gErrorInfo.stopFlag = 0;
}

}  // namespace
