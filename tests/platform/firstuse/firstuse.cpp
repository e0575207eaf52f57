// The libraries the platform loads on first use. This binary links none of
// them, so each is in the process only once the platform loaded it. SDL:
// starting and stopping the platform, pumping, waiting and the delayed call
// leave it out; opening a window loads and starts it, and the window works.
// The picture codecs and the font libraries come with their first picture
// or font.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/errorcodes.h"
#include "platform/linux/platform_state.h"
#include "platform/vkos.h"
#include "platform/vkos_fonts.h"
#include "platform/vkos_pictures.h"
#include "platform/vkos_requesters.h"

namespace {

bool Loaded(const char* soname) {
  void* handle = dlopen(soname, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

bool SdlLoaded() { return Loaded(gSdlLibrary.soname); }

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

// The tests run in this order in one process too: all but the last need SDL
// still out of it, the first two the other libraries too.
TEST(FirstUse, ThePlatformRunsWithoutLoadingSdl) {
  for (const char* soname : {gSdlLibrary.soname, VK_PNG_SONAME, VK_JPEG_SONAME, VK_GIF_SONAME, VK_FREETYPE_SONAME,
                             VK_FONTCONFIG_SONAME})
    ASSERT_FALSE(Loaded(soname)) << soname << ": the test binary must not link it";
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

// Writes a small picture as [type] and reads it back.
void WriteAndRead(int type) {
  const uint32_t pixels[4] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
  std::vector<uint8_t> bytes;
  ASSERT_EQ(vkosSavePicture(nullptr, pixels, 2, 2, 8, type, false, 90, &bytes), 0);
  int32_t width = 0, height = 0;
  uint32_t* read = nullptr;
  uint8_t* alpha = nullptr;
  ASSERT_EQ(vkosLoadPicture(bytes.data(), bytes.size(), &width, &height, &read, &alpha), 0);
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 2);
  free(read);
  free(alpha);
}

// The smallest GIF: one transparent pixel.
void ReadGif() {
  static const uint8_t kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C,
                                 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x01, 0x44, 0x00, 0x3B};
  int32_t width = 0, height = 0;
  uint32_t* read = nullptr;
  uint8_t* alpha = nullptr;
  ASSERT_EQ(vkosLoadPicture(kGif, sizeof kGif, &width, &height, &read, &alpha), 0);
  EXPECT_EQ(width, 1);
  free(read);
  free(alpha);
}

// A font from data in memory: FreeType alone.
void OpenLinkedFont() {
  std::ifstream file(VK_VERA_DIR "/Vera.ttf", std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(data.empty());
  vkOSFontInfo info;
  vkOSFont* font = vkosOpenSystemFont("Vera", data.data(), data.size(), 12, &info);
  ASSERT_NE(font, nullptr);
  vkosCloseSystemFont(font);
}

// A font by name: the system's font configuration finds it (or not).
void OpenNamedFont() {
  vkOSFontInfo info;
  if (vkOSFont* font = vkosOpenSystemFont("Bitstream Vera Sans", nullptr, 0, 12, &info)) vkosCloseSystemFont(font);
}

struct FirstUseCase {
  const char* what;
  const char* soname;  // loaded by it, and not before
  void (*use)();
};

// In this order: FreeType needs libpng, fontconfig FreeType.
const FirstUseCase kFirstUses[] = {
    {"a PNG", VK_PNG_SONAME, [] { WriteAndRead(VKOS_PICTURE_PNG); }},
    {"a JPEG", VK_JPEG_SONAME, [] { WriteAndRead(VKOS_PICTURE_JPEG); }},
    {"a GIF", VK_GIF_SONAME, ReadGif},
    {"a font from data", VK_FREETYPE_SONAME, OpenLinkedFont},
    {"a font by name", VK_FONTCONFIG_SONAME, OpenNamedFont},
};

TEST(FirstUse, PicturesAndFontsLoadTheirLibraries) {
  ASSERT_EQ(vkosInit(), 0);
  ASSERT_EQ(vkosInitSystemFonts(), 0);
  for (const FirstUseCase& c : kFirstUses) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Loaded(c.soname)) << "before";
    c.use();
    EXPECT_TRUE(Loaded(c.soname)) << "after";
  }
  EXPECT_FALSE(SdlLoaded());
  vkosExitSystemFonts();
  vkosExit();
}

// A library that cannot be loaded fails SDL's start as SDL_Init failing
// would: the platform goes on without a window system and does not try again.
TEST(FirstUse, WithoutTheSdlLibraryThereIsNoWindowSystem) {
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

TEST(FirstUse, OpeningAWindowLoadsAndStartsSdl) {
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
