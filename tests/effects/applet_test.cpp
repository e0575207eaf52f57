// The real player runs the effects applet headless on SDL's offscreen
// driver: a crossfade, stripes and a fade between pictures, then with layers
// on blinds showing a brush and a fade hiding a layer, each reported as done
// in order, and the window at the end holds exactly the applet's picture, compared pixel for pixel with the PNG decoded by the picture
// reader. The composed effects applet shows the picture with ripples, wipes
// a brush in with a clock hand and dissolves a layer away, saving the window
// after each; ImageMagick counts the pixels where each snapshot differs from
// the picture it must show, made by ImageMagick from the demo's picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

// The number of pixels where two pictures differ, as ImageMagick counts
// them; -1 when it cannot tell.
long DifferingPixels(const ScratchDir& dir, const std::string& a, const std::string& b) {
  const std::string out = dir / "ae.txt";
  if (std::system(("compare -metric AE '" + a + "' '" + b + "' null: 2> '" + out + "'").c_str()) == -1) return -1;
  const std::string text = ReadWholeFile(out);
  return text.empty() ? -1 : std::strtol(text.c_str(), nullptr, 10);
}

TEST(EffectsApplet, WaterClockWipeAndDissolveEndOnTheirPictures) {
  if (std::system("command -v compare >/dev/null 2>&1 && command -v convert >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick is not installed";
  ScratchDir dir;
  // The snapshots land beside the applet.
  std::filesystem::copy_file(VK_BINARY_DIR "/tests/effects/composed.vka", dir / "composed.vka");
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  const vktest::ProgramRun run =
      vktest::RunProgram({VK_BINARY_DIR "/vellumark", dir / "composed.vka", "-DEBUGDEVICE", "stdout"}, dir.path());
  ASSERT_TRUE(run.ExitedWith(0)) << run.out << run.err;
  const size_t water = run.out.find("water done"), clock = run.out.find("clock wipe done");
  const size_t dissolve = run.out.find("dissolve done");
  ASSERT_NE(dissolve, std::string::npos) << run.out;
  EXPECT_LT(water, clock);
  EXPECT_LT(clock, dissolve);

  // The pictures each step must leave: the demo's picture, with the orange
  // brush at (20, 30), and with the green layer at (40, 10) over that.
  const std::string picture = VK_SOURCE_DIR "/examples/demo/picture.png";
  const std::string brushed = dir / "brushed.png", layered = dir / "layered.png";
  ASSERT_EQ(std::system(("convert '" + picture + "' +antialias -fill '#FF8000' -draw 'rectangle 20,30 35,39' '" +
                         brushed + "'").c_str()), 0);
  ASSERT_EQ(std::system(("convert '" + brushed + "' +antialias -fill '#00FF00' -draw 'rectangle 40,10 69,29' '" +
                         layered + "'").c_str()), 0);
  EXPECT_EQ(DifferingPixels(dir, dir / "water.png", picture), 0);
  EXPECT_EQ(DifferingPixels(dir, dir / "clock.png", brushed), 0);
  EXPECT_EQ(DifferingPixels(dir, dir / "layer.png", layered), 0);
  EXPECT_EQ(DifferingPixels(dir, dir / "dissolve.png", brushed), 0);
  EXPECT_EQ(DifferingPixels(dir, dir / "layer.png", brushed), 30 * 20);  // the layer was there to dissolve
}

}  // namespace
