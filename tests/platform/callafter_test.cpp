// The delayed call: it runs once from the pump after its delay, never
// earlier, even when nothing else opens the pump's gate; a later call
// replaces an earlier one, a null hook cancels it, and stopping the platform
// forgets it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/linux/platform_state.h"
#include "platform/vkos.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the hooks saw: how often each ran, and with which state.
int gRunsA = 0;
int gRunsB = 0;
vkState* gSeenState = nullptr;
void HookA(vkState* L) {
  gRunsA++;
  gSeenState = L;
}
void HookB(vkState* L) {
  gRunsB++;
  gSeenState = L;
}

vkState* const kState = reinterpret_cast<vkState*>(0x1000);

class CallAfter : public ::testing::Test {
 protected:
  void SetUp() override {
    gRunsA = gRunsB = 0;
    gSeenState = nullptr;
    ASSERT_EQ(vkosInit(), 0);
  }
  void TearDown() override { vkosExit(); }
  // Pumps as the line hook would for [span], with a short sleep between.
  static void PumpFor(std::chrono::milliseconds span) {
    const auto end = Clock::now() + span;
    while (Clock::now() < end) {
      vkosPumpEvents(kState);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Pumps until a hook ran, at most for a bound far beyond any scheduling delay.
  static void PumpUntilRun() {
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (gRunsA + gRunsB == 0 && Clock::now() < end) {
      vkosPumpEvents(kState);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

TEST_F(CallAfter, RunsOnceFromThePumpAfterItsDelay) {
  const auto start = Clock::now();
  vkosCallAfter(40, HookA);
  PumpUntilRun();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(40));
  EXPECT_EQ(gRunsA, 1);
  EXPECT_EQ(gSeenState, kState);
  PumpFor(std::chrono::milliseconds(60));
  EXPECT_EQ(gRunsA, 1);
}

// Once the delay passed, the very next pump call runs the hook, although the
// last full run was just now and no window-system event came.
TEST_F(CallAfter, OpensThePumpsGateItself) {
  vkosCallAfter(20, HookA);
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (!gPlatform.callAfter->anyDue.load() && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(gPlatform.callAfter->anyDue.load());
  EXPECT_NE(vkosPumpGate()->load(), 0u);
  EXPECT_EQ(gRunsA, 0);  // only the pump runs it
  gPlatform.lastPump = MonotonicMicros();
  vkosPumpEvents(kState);
  EXPECT_EQ(gRunsA, 1);
}

// A wait for events ends when the call falls due; the pump after it runs it.
TEST_F(CallAfter, EndsAWaitForEvents) {
  vkosCallAfter(20, HookA);
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (!gPlatform.callAfter->anyDue.load() && Clock::now() < end) vkosWaitEvent();
  vkosPumpEvents(kState);
  EXPECT_EQ(gRunsA, 1);
}

// A call that fell due before SDL started queued no event; the first wait
// for events, which starts SDL, ends for it all the same.
TEST_F(CallAfter, CallDueBeforeSdlStartsEndsTheFirstWait) {
  ASSERT_FALSE(gPlatform.sdl);
  vkosCallAfter(1, HookA);
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (!gPlatform.callAfter->anyDue.load() && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(gPlatform.callAfter->anyDue.load());
  EXPECT_EQ(vkosWaitEvent(), 0);
  EXPECT_TRUE(gPlatform.sdl);
  vkosPumpEvents(kState);
  EXPECT_EQ(gRunsA, 1);
}

struct ReplaceCase {
  const char* name;
  int32_t firstMs;
  int32_t secondMs;
  void (*second)(vkState*);  // null: the second call cancels
  int runsA, runsB;
};

const ReplaceCase kReplaceCases[] = {
    {"a later call replaces an earlier one", 20, 60, HookB, 0, 1},
    {"a sooner call replaces a later one", 200, 10, HookB, 0, 1},
    {"the same hook again counts from the new call", 20, 60, HookA, 1, 0},
    {"a null hook cancels", 20, 0, nullptr, 0, 0},
};

TEST_F(CallAfter, LaterCallsReplaceAndNullCancels) {
  for (const ReplaceCase& c : kReplaceCases) {
    SCOPED_TRACE(c.name);
    gRunsA = gRunsB = 0;
    vkosCallAfter(c.firstMs, HookA);
    const auto second = Clock::now();
    vkosCallAfter(c.secondMs, c.second);
    if (c.second != nullptr) {
      PumpUntilRun();
      EXPECT_GE(Clock::now() - second, std::chrono::milliseconds(c.secondMs));
    }
    PumpFor(std::chrono::milliseconds(c.firstMs + 40));
    EXPECT_EQ(gRunsA, c.runsA);
    EXPECT_EQ(gRunsB, c.runsB);
  }
}

// A call that fell due but was not run yet is replaced all the same.
TEST_F(CallAfter, DueCallIsReplacedBeforeThePumpRunsIt) {
  vkosCallAfter(1, HookA);
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (!gPlatform.callAfter->anyDue.load() && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  vkosCallAfter(30, HookB);
  vkosPumpEvents(kState);
  EXPECT_EQ(gRunsA + gRunsB, 0);
  PumpUntilRun();
  EXPECT_EQ(gRunsA, 0);
  EXPECT_EQ(gRunsB, 1);
}

TEST_F(CallAfter, StoppingThePlatformForgetsTheCall) {
  vkosCallAfter(30, HookA);
  vkosExit();
  ASSERT_EQ(vkosInit(), 0);
  PumpFor(std::chrono::milliseconds(80));
  EXPECT_EQ(gRunsA, 0);
  // And a call made after the new start runs as usual.
  vkosCallAfter(10, HookB);
  PumpUntilRun();
  EXPECT_EQ(gRunsB, 1);
}

}  // namespace
