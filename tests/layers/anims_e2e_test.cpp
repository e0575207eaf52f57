// The anims applet run by the real player headless under SDL's offscreen
// driver: it loads a GIF anim that ImageMagick made and an IFF ANIM from a
// test-side writer, plays them with layers off (also straight from disk)
// and on, and saves them. The
// window dump shows each anim's last frame where it was played; ImageMagick
// reads the saved GIF back and ffprobe the saved AVI.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../common/playerrun.h"
#include "../common/scratchdir.h"
#include "tests/pixel/support/iffanimbytes.h"

namespace {

std::string Output(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  return pclose(p) == 0 ? out : std::string();
}

bool HaveTool(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs the player on [applet] in [dir]; its exit status (-1 when killed
// after a minute) and standard output followed by standard error.
int Play(const ScratchDir& dir, const std::string& applet, std::string* out) {
  const vktest::ProgramRun run = vktest::RunProgram(
      {VK_BINARY_DIR "/vellumark", applet, "-DEBUGDEVICE", "stdout"}, dir.path(), 60, dir.path());
  *out = run.out + run.err;
  return run.ExitCode();
}

TEST(AnimsApplet, LoadsPlaysAndSavesAnims) {
  if (!HaveTool("convert") || !HaveTool("ffprobe")) GTEST_SKIP() << "ImageMagick or ffmpeg missing";
  ScratchDir dir;
  ASSERT_EQ(std::system(("convert -size 40x30 -delay 5 xc:'#FF0000' xc:'#00FF00' xc:'#0000FF' " + (dir / "anim.gif"))
                            .c_str()),
            0);
  iffanimbytes::Options o;
  o.width = 40, o.height = 30, o.frames = 4;
  const iffanimbytes::Anim iff = iffanimbytes::Make(o);
  dir.Write("anim.iff", iff.bytes);

  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  setenv("VK_WINDOW_DUMP", (dir / "window.ppm").c_str(), 1);
  std::string out;
  // The applet runs beside its files.
  dir.Write("anims.vka", ReadWholeFile(VK_BINARY_DIR "/tests/layers/anims.vka"));
  const int status = Play(dir, dir / "anims.vka", &out);
  unsetenv("VK_WINDOW_DUMP");
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("played"), std::string::npos) << out;

  const std::string ppm = ReadWholeFile(dir / "window.ppm");
  const std::string header = "P6\n320 120\n255\n";
  ASSERT_EQ(ppm.size(), header.size() + 320 * 120 * 3);
  auto pixel = [&](int x, int y) {
    const size_t at = header.size() + (size_t(y) * 320 + size_t(x)) * 3;
    return uint32_t(uint8_t(ppm[at])) << 16 | uint32_t(uint8_t(ppm[at + 1])) << 8 | uint8_t(ppm[at + 2]);
  };
  EXPECT_EQ(pixel(5, 5), 0x102030u);      // the display's colour around the anims
  EXPECT_EQ(pixel(20, 10), 0x0000FFu);    // the GIF's last frame at 20, 10
  EXPECT_EQ(pixel(59, 39), 0x0000FFu);
  EXPECT_EQ(pixel(60, 40), 0x102030u);
  EXPECT_EQ(pixel(220, 10), 0x0000FFu);   // played from disk
  for (int y = 0; y < 30; y += 7)          // the IFF ANIM's last frame at 120, 10, and as a layer at 120, 60
    for (int x = 0; x < 40; x += 5) {
      EXPECT_EQ(pixel(120 + x, 10 + y), iff.frames.back()[size_t(y * 40 + x)]) << x << "," << y;
      EXPECT_EQ(pixel(120 + x, 60 + y), iff.frames.back()[size_t(y * 40 + x)]) << x << "," << y;
    }
  EXPECT_EQ(pixel(20, 60), 0x0000FFu);    // the GIF as a layer
  EXPECT_EQ(pixel(59, 89), 0x0000FFu);
  EXPECT_EQ(pixel(60, 90), 0x102030u);

  EXPECT_EQ(Output("identify -format '%w %h %T|' " + (dir / "out.gif")), "40 30 5|40 30 5|40 30 5|");
  EXPECT_EQ(Output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,width,height,nb_read_frames -of csv=p=0 " + (dir / "out.avi")),
            "mjpeg,40,30,4\n");
}

}  // namespace
