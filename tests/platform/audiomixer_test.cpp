// The audio output's mixer, its cycle run directly without a device: gains
// and balance, resampling, passes and play times with the notifications they
// give, a ninth sound, sample groups, and streams that end, loop, and stop
// keeping their place.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../common/scratchdir.h"
#include "../common/addressroom.h"
#include "platform/vkos_audio.h"
#include "sound/soundstream.h"

namespace {

struct Note {
  int32_t type, id, a1, a2, a3;
  bool operator==(const Note&) const = default;
};

// What the mixer handed to the main thread during a test.
struct Seen {
  std::vector<Note> notes;
  int resets = 0;
};
Seen* gSeen = nullptr;

void Post(void*, int32_t type, int32_t id, void*, int32_t a1, int32_t a2, int32_t a3) {
  gSeen->notes.push_back({type, id, a1, a2, a3});
}
void Reset(void*) { gSeen->resets++; }

std::atomic<int32_t> kOn{1};

class Mixer : public ::testing::Test {
 protected:
  void SetUp() override {
    gSeen = &seen;
    vkOSAudioServices services;
    services.readFrames = ReadSoundFrames;
    services.seekSound = SeekSound;
    services.postSoundEvent = Post;
    services.resetMusicState = Reset;
    services.wantSampleLoop = &kOn;
    services.wantSampleEnd = &kOn;
    services.wantMusicEnd = &kOn;
    ASSERT_EQ(vkosInitAudioChannels(services), 0);
    ASSERT_EQ(vkosOpenAudioDetached(48000), 0);
  }
  void TearDown() override {
    vkosCloseAudio();
    gSeen = nullptr;
  }

  // Renders [frames] frames in cycles of [cycle]; delivers notifications.
  std::vector<float> Render(int frames, int cycle = 256) {
    std::vector<float> out(static_cast<size_t>(2 * frames));
    for (int at = 0; at < frames; at += cycle) {
      vkosRenderAudio(out.data() + 2 * at, std::min(cycle, frames - at));
      vkosDeliverAudioNotifications();
    }
    return out;
  }

  static vkSampleData Sample16(const std::vector<int16_t>& values, int channels = 1) {
    vkSampleData s;
    s.data.reset(new uint8_t[values.size() * 2]);
    std::memcpy(s.data.get(), values.data(), values.size() * 2);
    s.bits = 16;
    s.channels = channels;
    s.bytesPerFrame = 2 * channels;
    s.flags = kSoundFlagWide | kSoundFlagSigned;
    s.frames = static_cast<int64_t>(values.size()) / channels;
    return s;
  }

  static int Play(const vkSampleData& s, int id, int rate, int volume = 64, int pan = 128, int time = -1, int times = 1) {
    vkosBeginSampleGroup();
    int code = vkosPlaySample(&s, {id, nullptr}, rate, volume, pan, time, times);
    vkosStartSampleGroup();
    return code;
  }

  // Frames from which on the output stays silent.
  static int SoundingFrames(const std::vector<float>& out) {
    int last = -1;
    for (size_t i = 0; i < out.size(); i++)
      if (out[i] != 0) last = static_cast<int>(i / 2);
    return last + 1;
  }

  Seen seen;
};

TEST_F(Mixer, GainsAndBalance) {
  struct Row {
    int volume, pan;
    float left, right;
  };
  const Row rows[] = {
      {64, 128, 1.0f, 1.0f},  {8, 128, 0.5f, 0.5f},          {64, 0, 1.0f, 0.0f},
      {64, 255, 0.0f, 1.0f},  {64, 64, 1.0f, 128.0f / 255},  {0, 128, 0.0f, 0.0f},
      {27, 200, 0.75f * (2 - 400.0f / 255), 0.75f},
  };
  const vkSampleData s = Sample16(std::vector<int16_t>(4800, 16384));
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.volume << " " << r.pan);
    ASSERT_EQ(Play(s, 1, 48000, r.volume, r.pan), 0);
    const std::vector<float> out = Render(100);
    EXPECT_NEAR(out[100], 0.5f * r.left, 1e-5);
    EXPECT_NEAR(out[101], 0.5f * r.right, 1e-5);
    vkosStopSample(nullptr);
  }
}

TEST_F(Mixer, UnityCopiesAndResamplingInterpolates) {
  std::vector<int16_t> ramp;
  for (int i = 0; i < 2000; i++) ramp.push_back(static_cast<int16_t>(i * 16));
  const vkSampleData s = Sample16(ramp);
  ASSERT_EQ(Play(s, 1, 48000), 0);
  std::vector<float> out = Render(1000);
  for (int i = 0; i < 1000; i += 97) EXPECT_FLOAT_EQ(out[2 * i], ramp[static_cast<size_t>(i)] / 32768.0f) << i;
  vkosStopSample(nullptr);
  ASSERT_EQ(Play(s, 1, 24000), 0);  // half the rate: every other frame lies half-way
  out = Render(1000, 333);
  for (int i = 0; i < 1000; i += 101) EXPECT_FLOAT_EQ(out[2 * i], i * 8 / 32768.0f) << i;
}

TEST_F(Mixer, PassesGiveLoopAndEndNotifications) {
  struct Row {
    const char* label;
    int time, times;
    std::vector<Note> notes;
    int frames;  // sounding frames, give or take one
  };
  const Row rows[] = {
      {"three times", -1, 3, {{6, 7, 10, 1, 10}, {6, 7, 10, 2, 10}, {6, 7, 10, 3, 10}, {5, 7, 10, 3, 10}}, 1440},
      {"25 ms: half-way through the third pass", 25, 1,
       {{6, 7, 10, 1, 5}, {6, 7, 10, 2, 5}, {6, 7, 10, 3, 5}, {5, 7, 10, 3, 5}}, 1200},
      {"once", -1, 1, {{6, 7, 10, 1, 10}, {5, 7, 10, 1, 10}}, 480},
  };
  const vkSampleData s = Sample16(std::vector<int16_t>(480, 1000));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    seen.notes.clear();
    ASSERT_EQ(Play(s, 7, 48000, 64, 128, r.time, r.times), 0);
    const std::vector<float> out = Render(4000, 128);
    EXPECT_EQ(seen.notes, r.notes);
    EXPECT_NEAR(SoundingFrames(out), r.frames, 1);
    EXPECT_EQ(vkosIsSamplePlaying(&s), 0);
  }
}

TEST_F(Mixer, ANinthSoundFindsNoChannel) {
  const vkSampleData s = Sample16(std::vector<int16_t>(48000, 100));
  for (int i = 0; i < 8; i++) ASSERT_EQ(Play(s, i, 48000, 64, 128, -1, 0), 0);
  EXPECT_EQ(Play(s, 9, 48000), kErrAudioNoChannel);
  const std::vector<float> out = Render(256);
  EXPECT_NEAR(out[200], 8 * 100 / 32768.0f, 1e-5);
}

TEST_F(Mixer, GroupsStartTogetherAndACancelledGroupFreesItsChannels) {
  const vkSampleData a = Sample16(std::vector<int16_t>(1000, 1000));
  const vkSampleData b = Sample16(std::vector<int16_t>(1000, 2000));
  vkosBeginSampleGroup();
  ASSERT_EQ(vkosPlaySample(&a, {1, nullptr}, 48000, 64, 128, -1, 1), 0);
  EXPECT_EQ(SoundingFrames(Render(256)), 0);  // waiting for the group
  ASSERT_EQ(vkosPlaySample(&b, {2, nullptr}, 48000, 64, 128, -1, 1), 0);
  vkosStartSampleGroup();
  std::vector<float> out = Render(256, 100);
  EXPECT_NEAR(out[0], 3000 / 32768.0f, 1e-6);

  vkosStopSample(nullptr);
  vkosBeginSampleGroup();
  for (int i = 0; i < 8; i++) ASSERT_EQ(vkosPlaySample(&a, {i, nullptr}, 48000, 64, 128, -1, 1), 0);
  vkosCancelSampleGroup();
  EXPECT_EQ(Play(a, 1, 48000), 0);
  EXPECT_EQ(vkosPlaySample(&a, {1, nullptr}, 0, 64, 128, -1, 1), kErrAudioConverter);  // rate 0
}

TEST_F(Mixer, LiveParametersAndStops) {
  const vkSampleData s = Sample16(std::vector<int16_t>(48000, 8192));
  ASSERT_EQ(Play(s, 1, 48000), 0);
  ASSERT_EQ(Play(s, 2, 48000), 0);
  Render(64);
  vkosSetSampleVolume(&s, 24000, 8, 0);
  std::vector<float> out = Render(64);
  EXPECT_NEAR(out[2], 2 * 0.5f * 0.25f, 1e-5);
  EXPECT_EQ(out[3], 0.0f);
  vkosStopSample(&s);  // every channel of the sample
  EXPECT_EQ(vkosIsSamplePlaying(&s), 0);
}

class MixerStreams : public Mixer {
 protected:
  // A 16-bit mono WAVE stream of [frames] frames at [rate], value i % 1000 + 1.
  std::unique_ptr<vkSound> Stream(int frames, int rate) {
    std::string data;
    for (int i = 0; i < frames; i++) {
      const int16_t v = static_cast<int16_t>(i % 1000 + 1);
      data.append(reinterpret_cast<const char*>(&v), 2);
    }
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    std::string fmt = std::string("\x01\x00\x01\x00", 4) + le32(rate) + le32(rate * 2) + std::string("\x02\x00\x10\x00", 4);
    const std::string bytes = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16) + fmt + "data" + le32(data.size()) + data;
    const std::string path = dir.Write("s.wav", bytes);
    std::unique_ptr<vkSound> sound;
    EXPECT_EQ(OpenSoundStream(path.c_str(), 1, &sound), 0);
    return sound;
  }

  // Renders until the music ended (or [limit] frames), waiting for the
  // decoder between cycles as a device would.
  std::vector<float> RenderStream(int limit) {
    std::vector<float> out;
    for (int at = 0; at < limit && seen.resets == 0; at += 1024) {
      std::vector<float> piece(2048);
      // Faster than real time: give the decoder a moment now and then.
      if (at % 8192 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      for (int tries = 0; tries < 200; tries++) {
        vkosRenderAudio(piece.data(), 1024);
        vkosDeliverAudioNotifications();
        if (SoundingFrames(piece) > 0 || seen.notes.size() > 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the decoder is late: wait
      }
      out.insert(out.end(), piece.begin(), piece.end());
      vkosAudioHousekeeping();
    }
    return out;
  }

  ScratchDir dir;
};

TEST_F(MixerStreams, AShortStreamPlaysWithoutDecoderAndEnds) {
  auto sound = Stream(30000, 48000);
  ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 1, 1, 64), 0);
  const std::vector<float> out = RenderStream(200000);
  EXPECT_EQ(seen.resets, 1);
  EXPECT_EQ(seen.notes, (std::vector<Note>{{7, 3, 0, 0, 0}}));
  EXPECT_NEAR(SoundingFrames(out), 30000, 2);
  EXPECT_FLOAT_EQ(out[2 * 1234], 235 / 32768.0f);
}

TEST_F(MixerStreams, ALoopingStreamJoinsWithoutAGap) {
  auto sound = Stream(70000, 48000);  // more than one half
  ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 2, 1, 64), 0);
  const std::vector<float> out = RenderStream(400000);
  ASSERT_EQ(seen.resets, 1);
  // Frame i holds (i mod 70000) mod 1000 + 1 throughout both passes.
  int wrong = 0;
  for (int i = 0; i < 140000 - 2; i++)
    if (out[2 * static_cast<size_t>(i)] != ((i % 70000) % 1000 + 1) / 32768.0f) wrong++;
  EXPECT_EQ(wrong, 0);
  EXPECT_NEAR(SoundingFrames(out), 140000, 2);
}

// A WAVE of 100 frames whose header claims a rate of 2^30 - 1 Hz: the
// decoder's halves are no larger than the stream needs. Played in a child
// whose address space has half a gigabyte to spare, where the 2 GB halves a
// second at that rate would take cannot be had.
TEST_F(MixerStreams, AShortStreamAtAHugeRateTakesBuffersOfItsFrames) {
  auto sound = Stream(100, 0x3FFFFFFF);
  ASSERT_TRUE(sound);
  auto playWithLittleRoom = [&sound] {
    if (!LimitAddressSpace(512u << 20)) std::_Exit(2);
    std::_Exit(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 1, 1, 64) == 0 ? 0 : 1);
  };
  ASSERT_EXIT(playWithLittleRoom(), ::testing::ExitedWithCode(0), "");
  // Played here, it sounds to its end.
  ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 1, 1, 64), 0);
  RenderStream(4096);
  EXPECT_EQ(seen.resets, 1);
}

TEST_F(MixerStreams, StopKeepingThePlaceResumesThere) {
  auto sound = Stream(96000, 48000);
  ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 1, 1, 64), 0);
  Render(4096);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int32_t loops = 0;
  int64_t position = -1;
  ASSERT_EQ(vkosStopMusic(kMusicStream, sound.get(), 1, &loops, &position), 0);
  EXPECT_EQ(loops, 1);
  EXPECT_GE(position, 48000 * 3 / 10 - 4800);  // wall time since the start
  EXPECT_LE(position, 48000);
  ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 1, loops, 64), 0);
  std::vector<float> out = Render(16);
  EXPECT_FLOAT_EQ(out[0], (position % 1000 + 1) / 32768.0f);
  ASSERT_EQ(vkosStopMusic(kMusicStream, sound.get(), 0, &loops, &position), 0);
  EXPECT_EQ(position, 0);
}

}  // namespace

namespace {

// The mixer runs on its own thread, as under a device, while the main thread
// stops, seeks, pauses and restarts a looping stream: nothing may race
// (ThreadSanitizer build) or crash, and the stream always plays again.
TEST_F(MixerStreams, StopSeekAndPauseWhileTheMixerRuns) {
  auto sound = Stream(60000, 48000);
  std::atomic<bool> quit{false};
  std::thread device([&quit] {
    std::vector<float> out(2 * 512);
    while (!quit.load()) {
      vkosRenderAudio(out.data(), 512);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  int32_t loops = 1;
  int64_t position = 0;
  for (int round = 0; round < 40; round++) {
    ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 0, loops, 64), 0);  // loops until stopped
    std::this_thread::sleep_for(std::chrono::milliseconds(round % 5));
    switch (round % 3) {
      case 0:
        vkosStopMusic(kMusicStream, sound.get(), 1, &loops, &position);  // pause
        break;
      case 1:
        vkosStopMusic(kMusicStream, sound.get(), 1, &loops, &position);
        vkosSeekMusic(kMusicStream, sound.get(), (round * 37) % 1200);
        break;
      default:
        vkosStopMusic(kMusicStream, sound.get(), 0, &loops, &position);
        loops = 1;
        break;
    }
    vkosAudioHousekeeping();
    ASSERT_GE(position, 0);
    ASSERT_LT(position, 60000);
  }
  quit.store(true);
  device.join();
}

}  // namespace

namespace {

// The decoder's reads wait at this gate while it is shut (decode thread only).
std::atomic<bool> gGateShut{false};
std::thread::id gMainThread;

int64_t GatedRead(vkSound* sound, void* buffer, int64_t frames, int* end) {
  while (gGateShut.load() && std::this_thread::get_id() != gMainThread)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return ReadSoundFrames(sound, buffer, frames, end);
}

// A decoder that falls behind leaves the mixer silent; once it catches up the
// stream goes on where it stopped, nothing lost.
TEST_F(MixerStreams, AStalledStreamResumesWhereItStopped) {
  vkOSAudioServices services;
  services.readFrames = GatedRead;
  services.seekSound = SeekSound;
  services.postSoundEvent = Post;
  services.resetMusicState = Reset;
  vkosCloseAudio();
  ASSERT_EQ(vkosInitAudioChannels(services), 0);
  ASSERT_EQ(vkosOpenAudioDetached(48000), 0);
  gMainThread = std::this_thread::get_id();
  gGateShut.store(true);
  auto sound = Stream(100000, 48000);
  ASSERT_EQ(vkosPlayMusic(kMusicStream, sound.get(), {3, nullptr}, 1, 1, 64), 0);
  std::vector<float> first = Render(48000, 1000);  // the half decoded at the start
  // The converter plays a frame once it holds the next: the half's last
  // frame waits for the next half.
  EXPECT_FLOAT_EQ(first[2 * 47998], (47998 % 1000 + 1) / 32768.0f);
  EXPECT_EQ(first[2 * 47999], 0.0f);
  std::vector<float> stalled = Render(4000, 1000);
  EXPECT_EQ(SoundingFrames(stalled), 0);
  gGateShut.store(false);
  std::vector<float> resumed;
  for (int tries = 0; tries < 2000 && SoundingFrames(resumed) == 0; tries++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    resumed = Render(1000, 1000);
  }
  ASSERT_GT(SoundingFrames(resumed), 0);
  EXPECT_FLOAT_EQ(resumed[0], (47999 % 1000 + 1) / 32768.0f);
  EXPECT_FLOAT_EQ(resumed[2 * 500], (48499 % 1000 + 1) / 32768.0f);
  vkosStopMusic(kMusicStream, sound.get(), 0, nullptr, nullptr);  // before the sound goes
}

}  // namespace
