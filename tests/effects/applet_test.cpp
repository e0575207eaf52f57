// The real player runs the effects applet headless on SDL's offscreen
// driver: a crossfade, stripes and a fade between pictures, then with layers
// on blinds showing a brush and a fade hiding a layer, each reported as done
// in order, and the window at the end holds exactly the applet's picture, compared pixel for pixel with the PNG decoded by the picture
// reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../common/playerrun.h"
#include "../common/scratchdir.h"
#include "platform/vkos_pictures.h"

namespace {

TEST(EffectsApplet, ShowsPicturesAndLayersThroughEffectsAndEndsOnTheExactPicture) {
  ScratchDir dir;
  const std::string dump = dir / "window.ppm";
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", dump.c_str(), 1);
  const std::string player = VK_BINARY_DIR "/vellumark", applet = VK_BINARY_DIR "/tests/effects/effects.vka";
  const vktest::ProgramRun run = vktest::RunProgram({player, applet, "-DEBUGDEVICE", "stdout"}, dir.path());
  unsetenv("VK_WINDOW_DUMP");
  const std::string printed = run.out;
  ASSERT_TRUE(run.ExitedWith(0)) << printed;
  const size_t crossfade = printed.find("crossfade done"), stripes = printed.find("stripes done");
  const size_t blinds = printed.find("blinds done"), fade = printed.find("\nfade done");
  ASSERT_NE(fade, std::string::npos) << printed;
  const size_t hidden = printed.find("layer hidden");
  ASSERT_NE(hidden, std::string::npos) << printed;
  EXPECT_LT(crossfade, stripes);
  EXPECT_LT(stripes, fade);
  EXPECT_LT(fade, blinds);
  EXPECT_LT(blinds, hidden);

  const std::string png = ReadWholeFile(VK_SOURCE_DIR "/examples/demo/picture.png");
  int32_t w = 0, h = 0;
  uint32_t* pixels = nullptr;
  ASSERT_EQ(vkosLoadPicture(reinterpret_cast<const uint8_t*>(png.data()), png.size(), &w, &h, &pixels, nullptr), 0);
  std::unique_ptr<uint32_t, decltype(&free)> owned(pixels, &free);
  ASSERT_EQ(w, 96);
  ASSERT_EQ(h, 64);

  const std::string ppm = ReadWholeFile(dump);
  const std::string header = "P6\n96 64\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + 96 * 64 * 3);
  ASSERT_EQ(ppm.compare(0, header.size(), header), 0);
  int32_t wrong = 0;
  for (int32_t i = 0; i < w * h; i++) {
    const size_t at = header.size() + size_t(i) * 3;
    const uint32_t shown = uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
    if (shown != (pixels[i] & 0xFFFFFF)) wrong++;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(pixels[32 * 96 + 48] & 0xFFFFFF, 0xE03020u);  // the picture's red disc, as the demo shows it
}

}  // namespace
