// End to end: the real player runs an applet that plays a sample three
// times, a WAVE stream and a module under SDL's disk audio driver, and sox
// finds each tone in the written mix for as long as it should sound.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "../common/scratchdir.h"
#include "support/modules.h"
#include "support/soundfiles.h"

using namespace soundtest;

namespace {

const std::string kPlayer = VK_BINARY_DIR "/vellumark";
const std::string kApplet = VK_BINARY_DIR "/tests/sound/playsounds.vka";

// A module whose sample is one 16-byte sine cycle: at period 428 it sounds
// 8,363 / 16 Hz, about 523 Hz; the pattern breaks after 16 rows at speed 3.
std::string SineModule() {
  ModuleSpec spec;
  ModSampleSpec s;
  for (int i = 0; i < 16; i++) s.data.push_back(int8_t(std::lrint(100 * std::sin(2 * M_PI * i / 16))));
  s.loopStartWords = 0;
  s.loopLengthWords = 8;
  spec.samples = {s};
  auto p = EmptyPattern();
  SetCell(p, 0, 0, {428, 1, 0xF, 0x03});
  SetCell(p, 15, 0, {0, 0, 0xD, 0x00});
  spec.patterns = {p};
  spec.order = {0, 0};
  return ModuleBytes(spec);
}

// sox's measurement [key] (a "stat" line) of the mix filtered to [band].
double Measure(const std::string& mix, const std::string& effects, const std::string& key) {
  const std::string report = mix + ".stat";
  const std::string command =
      "sox -t f32 -r 48000 -c 2 '" + mix + "' -n remix 1,2 " + effects + " stat 2> '" + report + "'";
  if (std::system(command.c_str()) != 0) return -1;
  std::istringstream in(Slurp(report));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) return std::atof(line.substr(line.find(':') + 1).c_str());
  }
  return -1;
}

TEST(PlaySounds, TheMixHoldsEverySound) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox missing";
  ScratchDir dir;
  std::filesystem::copy_file(kApplet, dir / "playsounds.vka");
  ASSERT_TRUE(RunTool("sox -n -r 22050 -c 1 -b 16 '" + (dir / "tone.wav") + "' synth 0.1 sine 880"));
  ASSERT_TRUE(RunTool("sox -n -r 44100 -c 2 -b 16 '" + (dir / "stream.wav") + "' synth 0.5 sine 440"));
  dir.Write("song.mod", SineModule());
  const std::string mix = dir / "mix.raw";
  const std::string command = "cd '" + dir.path() + "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" +
                              mix + "' '" + kPlayer + "' playsounds.vka -QUIET > out 2> err";
  ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(dir / "out") << Slurp(dir / "err");
  // Audio really opened: the driver wrote the mix.
  ASSERT_GT(std::filesystem::file_size(mix), 48000u * 8);

  struct Band {
    const char* label;
    const char* band;
    double seconds;  // how long it sounds
  };
  const Band bands[] = {
      {"the sample, three times", "sinc -t 60 840-920", 0.3},
      {"the stream", "sinc -t 60 400-480", 0.5},
      {"the module", "sinc -t 60 490-560", 0.0},
  };
  const std::string trim = " silence 1 0.002 5% reverse silence 1 0.002 5% reverse";
  for (const Band& b : bands) {
    SCOPED_TRACE(b.label);
    EXPECT_GT(Measure(mix, b.band, "RMS     amplitude"), 0.05);
    if (b.seconds > 0) {
      EXPECT_NEAR(Measure(mix, std::string(b.band) + trim, "Length (seconds)"), b.seconds, 0.03);
    }
  }
  EXPECT_LT(Measure(mix, "sinc -t 60 2000-2200", "RMS     amplitude"), 0.005);  // and nothing else
}

}  // namespace

namespace {

// The sound events reach the script's handlers in order, with the pass time
// in milliseconds and the passes begun.
TEST(PlaySounds, HandlersHearEverySoundEventInOrder) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox missing";
  ScratchDir dir;
  std::filesystem::copy_file(VK_BINARY_DIR "/tests/sound/soundevents.vka", dir / "soundevents.vka");
  ASSERT_TRUE(RunTool("sox -n -r 22050 -c 1 -b 16 '" + (dir / "tone.wav") + "' synth 0.1 sine 880"));
  ASSERT_TRUE(RunTool("sox -n -r 44100 -c 2 -b 16 '" + (dir / "stream.wav") + "' synth 0.3 sine 440"));
  const std::string mix = dir / "mix.raw";
  const std::string command = "cd '" + dir.path() + "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE='" +
                              mix + "' timeout 60 '" + kPlayer + "' soundevents.vka -QUIET > out 2> err";
  ASSERT_EQ(std::system(command.c_str()), 0) << Slurp(dir / "out") << Slurp(dir / "err");
  ASSERT_GT(std::filesystem::file_size(mix), 0u);  // audio really opened
  EXPECT_EQ(Slurp(dir / "events.txt"),
            "OnSampleLoop 1 0 1\n"
            "OnSampleLoop 1 100 2\n"
            "OnSampleLoop 1 200 3\n"
            "OnSampleEnd 1 300 3\n"
            "OnMusicEnd 2\n");
}

}  // namespace
