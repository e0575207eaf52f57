// SDL starts with the first call that needs it. This binary does not link
// SDL, so the library is in the process only once the platform loaded it:
// starting and stopping the platform, pumping, waiting and the delayed call
// leave it out; opening a window loads and starts it, and the window works.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/errorcodes.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"
#include "platform/vkos_requesters.h"

namespace {

bool SdlLoaded() {
  void* handle = dlopen(gSdlLibrary.soname, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

int gHookRuns = 0;
void CountRun(vkState*) { gHookRuns++; }

vkOSDisplay* NewRecord() {
  vkOSDisplay* os = nullptr;
  EXPECT_EQ(vkosAllocDisplay(nullptr, &os), 0);
  if (os == nullptr) return nullptr;
  os->display = reinterpret_cast<vkDisplay*>(os);
  os->width = 64;
  os->height = 48;
  os->flags = VKOS_WINDOW_BORDERLESS;
  os->title = "Test";
  os->windowState = 1;
  return os;
}

// The tests run in this order in one process too: the first two need SDL
// still out of it.
TEST(SdlStart, ThePlatformRunsWithoutLoadingSdl) {
  ASSERT_FALSE(SdlLoaded()) << "the test binary must not link SDL";
  for (int round = 0; round < 2; round++) {
    ASSERT_EQ(vkosInit(), 0);
    EXPECT_FALSE(gPlatform.sdl);
    for (int i = 0; i < 3; i++) {
      gPlatform.lastPump = 0;  // a full run
      EXPECT_EQ(vkosPumpEvents(nullptr), 0);
      EXPECT_EQ(vkosPumpEvents(nullptr), 0);  // and a quick one
    }
    gHookRuns = 0;
    vkosCallAfter(5, CountRun);
    EXPECT_EQ(vkosWaitMillis(nullptr, 150), 0);  // a long wait pumps meanwhile
    EXPECT_EQ(gHookRuns, 1);
    EXPECT_EQ(vkosWaitMillis(nullptr, 20), 0);
    vkosDelay(nullptr, 1);
    vkosWakeEventLoop();
    vkosExit();
  }
  EXPECT_FALSE(SdlLoaded());
  EXPECT_FALSE(gPlatform.sdl);
}

// A library that cannot be loaded fails SDL's start as SDL_Init failing
// would: the platform goes on without a window system and does not try again.
TEST(SdlStart, WithoutTheLibraryThereIsNoWindowSystem) {
  ASSERT_FALSE(SdlLoaded());
  const char* const real = gSdlLibrary.soname;
  gSdlLibrary.soname = "libvk-no-such-library.so.0";
  ASSERT_EQ(vkosInit(), 0);
  EXPECT_EQ(StartSdl(), kErrPlatformStart);
  EXPECT_FALSE(WindowSystem());
  EXPECT_FALSE(vkosHasWindowSystem());
  vkOSDisplay* os = NewRecord();
  EXPECT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), kErrOpenWindow);
  gSdlLibrary.soname = real;
  EXPECT_EQ(StartSdl(), kErrPlatformStart) << "tried once per start";
  gPlatform.lastPump = 0;
  EXPECT_EQ(vkosPumpEvents(nullptr), 0);
  vkosFreeDisplay(os);
  vkosExit();
  EXPECT_FALSE(SdlLoaded());
}

TEST(SdlStart, OpeningAWindowLoadsAndStartsSdl) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  ASSERT_EQ(vkosInit(), 0);
  EXPECT_FALSE(gPlatform.sdl);
  vkOSDisplay* os = NewRecord();
  ASSERT_EQ(vkosOpenWindow(os, 1, nullptr, nullptr), 0);
  EXPECT_TRUE(SdlLoaded());
  EXPECT_TRUE(gPlatform.sdl);
  EXPECT_TRUE(gPlatform.video);
  EXPECT_NE(gPlatform.pumpTicker, 0);
  // The window takes drawing and gives it back.
  vkosFillRectOnWindow(os, 0, 0, 64, 48, 0x336699);
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(vkosReadWindow(os, &pixels));
  ASSERT_EQ(pixels.size(), size_t{64 * 48});
  EXPECT_EQ(pixels[0], 0x336699u);
  // Events flow: a wake-up ends a wait for events.
  vkosWakeEventLoop();
  EXPECT_EQ(vkosWaitEvent(), 0);
  vkosFreeDisplay(os);
  vkosExit();
  // A new start does not start SDL again until it is needed.
  ASSERT_EQ(vkosInit(), 0);
  EXPECT_FALSE(gPlatform.sdl);
  EXPECT_TRUE(WindowSystem());
  EXPECT_TRUE(gPlatform.sdl);
  vkosExit();
}

}  // namespace
