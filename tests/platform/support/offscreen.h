// Display records for platform tests, and a fixture on SDL's offscreen video
// driver: the platform started with a window system that shows nothing, the
// test's records freed with their windows at its end.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/eventqueue.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"

// A display record of width x height, borderless, drawing allowed, that the
// caller frees with vkosFreeDisplay; its own address names it in events.
inline vkOSDisplay* NewTestRecord(int32_t width, int32_t height, uint32_t flags = VKOS_WINDOW_BORDERLESS) {
  vkOSDisplay* os = nullptr;
  EXPECT_EQ(vkosAllocDisplay(nullptr, &os), 0);
  if (os == nullptr) return nullptr;
  os->display = reinterpret_cast<vkDisplay*>(os);
  os->width = width;
  os->height = height;
  os->flags = flags;
  os->title = "Test";
  os->windowState = 1;
  return os;
}

class OffscreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_EQ(vkosInit(), 0);
    ASSERT_TRUE(WindowSystem());
    RemoveEvents(-1, true);
  }
  void TearDown() override {
    RemoveEvents(-1, true);
    for (vkOSDisplay* os : made_) vkosFreeDisplay(os);
    made_.clear();
    vkosExit();
  }
  // A test record, freed with its window at the end.
  vkOSDisplay* Record(int32_t width, int32_t height, uint32_t flags = VKOS_WINDOW_BORDERLESS) {
    made_.push_back(NewTestRecord(width, height, flags));
    return made_.back();
  }
  std::vector<vkOSDisplay*> made_;
};
