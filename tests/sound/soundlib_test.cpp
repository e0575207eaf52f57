// The sound library's commands called as a script calls them, on SDL's dummy
// audio driver: samples, musics and modules through their life, the argument
// and state errors, and sound switched off.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../common/scratchdir.h"
#include "../runtime/support/libcall.h"
#include "sound/soundlib.h"
#include "support/modules.h"
#include "support/soundfiles.h"

using namespace soundtest;
using vktest::Arg;

namespace {

class SoundLibrary : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    OpenLibrary(OpenSoundLibrary);
    std::string second;
    for (int i = 0; i < 48000; i++) second += LE16(static_cast<uint32_t>((i % 100) * 300));
    wave = dir.Write("a.wav", WaveSound(1, 1, 48000, 16, second));
    ModuleSpec spec;
    spec.samples = {ModSampleSpec{std::vector<int8_t>(64, 40)}};
    spec.patterns = {EmptyPattern(), EmptyPattern()};
    spec.order = {0, 1};
    module = dir.Write("a.mod", ModuleBytes(spec));
  }
  void TearDown() override {
    FreeAllSounds(L);
    vktest::LibraryTest::TearDown();
  }

  ScratchDir dir;
  std::string wave, module;
};

TEST_F(SoundLibrary, SamplesThroughTheirLife) {
  RunCases({
      {"IsSound", {}, "1"},
      {"LoadSample", {1, wave}, ""},
      {"IsSample", {wave}, "1"},
      {"IsSample", {dir / "missing.wav"}, "0"},
      {"IsSamplePlaying", {1}, "0"},
      {"PlaySample", {1, 1}, ""},
      {"IsSamplePlaying", {1}, "1"},
      {"SetVolume", {1, "50%"}, ""},
      {"SetPitch", {1, 24000}, ""},
      {"SetPanning", {1, -90000}, ""},
      {"StopSample", {1}, ""},
      {"IsSamplePlaying", {1}, "0"},
      {"PlaySample", {1, 1, 1, 1, 1, 1, 1, 1}, ""},  // four at once
      {"PlaySample", {1, 1, 1, 1, 1, 1, 1, 1, 1}, "error 1055"},
      {"PlaySample", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, "error 1055"},
      {"PlaySample", {1, 1, 1, 1, 1, 1, 1, 1}, ""},
      {"PlaySample", {1}, "error 1289"},  // all 8 channels busy
      {"PlaySample", {99}, "error 1178"},
      {"StopSample", {1}, ""},
      {"PlaySample", {1, 1, 99, 1}, "error 1178"},  // a group that fails gives its channels back
      {"IsSamplePlaying", {1}, "0"},
      {"FreeSample", {1}, ""},
      {"IsSamplePlaying", {1}, "error 1178"},
      {"LoadSample", {nullptr, wave}, "handle"},
      {"CreateSample", {2, Arg::table(), 8000}, "error 1055"},
      {"LoadSample", {3, dir / "missing.wav"}, "error 1045"},
      {"LoadSample", {3, module}, "error 1235"},
  });
}

TEST_F(SoundLibrary, MusicsThroughTheirLife) {
  RunCases({
      {"OpenMusic", {1, wave}, ""},
      {"IsMusicPlaying", {1}, "0"},
      {"StopMusic", {}, "error 1055"},
      {"PlayMusic", {1}, ""},
      {"IsMusicPlaying", {1}, "1"},
      {"GetSongPosition", {}, "-1"},
      {"PauseMusic", {}, ""},
      {"IsMusicPlaying", {1}, "0"},
      {"ResumeMusic", {}, ""},
      {"IsMusicPlaying", {1}, "1"},
      {"SeekMusic", {1, 500}, ""},
      {"SeekMusic", {1, 1000}, "error 1233"},
      {"SeekMusic", {1, -1}, "error 1233"},
      {"SetMusicVolume", {1, 32}, ""},
      {"StopMusic", {1}, ""},
      {"StopMusic", {1}, "error 1232"},
      {"ResumeMusic", {1}, "error 1264"},
      {"PlayMusic", {7}, "error 1231"},
      {"IsMusic", {wave}, "1, \"RIFF WAVE\""},
      {"IsModule", {module}, "1, \"Protracker\""},
      {"IsMusic", {dir / "missing"}, "0, \"Unknown\""},
      {"LoadModule", {2, module}, ""},
      {"PlayModule", {2}, ""},
      {"IsMusicPlaying", {1}, "0"},
      {"GetSongPosition", {}, "0"},
      {"PlaySubsong", {128}, "error 1055"},
      {"PlaySubsong", {1}, ""},
      {"SeekMusic", {2, 0}, "error 1236"},
      {"FreeModule", {2}, ""},
      {"GetPatternPosition", {}, "-1"},
      {"PlaySubsong", {0}, "error 1055"},
  });
}

TEST_F(SoundLibrary, SoundOffDoesNothing) {
  SoundSettingsHandler(L, nullptr, ATTR_NOSOUND, 1);
  RunCases({
      {"LoadSample", {1, wave}, ""},
      {"PlaySample", {1}, ""},
      {"IsSamplePlaying", {1}, "0"},
      {"OpenMusic", {1, wave}, ""},
      {"PlayMusic", {1}, ""},
      {"IsSound", {}, "0"},
  });
  EXPECT_EQ(CountSamples(L), 0);
  EXPECT_EQ(CountMusics(L), 0);
}

}  // namespace
