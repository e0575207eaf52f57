// Sound: the mixer cycle with 8 busy resampling channels beside SDL's own
// audio streams and mixer doing the same job; ten minutes of a busy module
// rendered beside xmp at its nearest-neighbour setting; a 50 MB WAVE loaded
// beside sox converting it to raw. Run by hand: bench_sound. The counter
// "realtime" is how many times faster than real time the work ran; the
// peers run as programs are timed by the processor time they used.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "io/tempfile.h"
#include "platform/vkos_audio.h"
#include "sound/protracker.h"
#include "sound/soundstream.h"

namespace {

constexpr int kRate = 48000;
constexpr int kCycle = 1024;
constexpr int kSourceRates[8] = {44100, 22050, 48000, 32000, 11025, 44100, 8000, 96000};

std::vector<int16_t> Tone(int frames, double hz, int rate) {
  std::vector<int16_t> v(static_cast<size_t>(frames));
  for (int i = 0; i < frames; i++) v[static_cast<size_t>(i)] = int16_t(12000 * std::sin(2 * M_PI * hz * i / rate));
  return v;
}

void BM_MixCycle8Channels(benchmark::State& state) {
  vkosInitAudioChannels(vkOSAudioServices{});
  vkosOpenAudioDetached(kRate);
  std::vector<vkSampleData> samples(8);
  for (int i = 0; i < 8; i++) {
    const std::vector<int16_t> tone = Tone(kSourceRates[i], 220.0 * (i + 1), kSourceRates[i]);
    vkSampleData& s = samples[static_cast<size_t>(i)];
    s.data.reset(new uint8_t[tone.size() * 2]);
    std::memcpy(s.data.get(), tone.data(), tone.size() * 2);
    s.bits = 16;
    s.channels = 1;
    s.bytesPerFrame = 2;
    s.flags = kSoundFlagWide | kSoundFlagSigned;
    s.frames = static_cast<int64_t>(tone.size());
    vkosPlaySample(&s, {i, nullptr}, kSourceRates[i], 48, 40 + 20 * i, -1, 0);
  }
  vkosStartSampleGroup();
  std::vector<float> out(2 * kCycle);
  for (auto _ : state) {
    vkosRenderAudio(out.data(), kCycle);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["realtime"] = benchmark::Counter(double(kCycle) / kRate, benchmark::Counter::kIsIterationInvariantRate);
  vkosCloseAudio();
}
BENCHMARK(BM_MixCycle8Channels);

// The peer: one SDL audio stream per source converting it to float stereo at
// the output rate, and SDL's mixer adding them with a volume.
void BM_SdlStreamsMix8Channels(benchmark::State& state) {
  SDL_Init(0);
  std::vector<SDL_AudioStream*> streams;
  std::vector<std::vector<int16_t>> tones;
  for (int i = 0; i < 8; i++) {
    tones.push_back(Tone(kSourceRates[i], 220.0 * (i + 1), kSourceRates[i]));
    streams.push_back(SDL_NewAudioStream(AUDIO_S16SYS, 1, kSourceRates[i], AUDIO_F32SYS, 2, kRate));
  }
  std::vector<float> out(2 * kCycle), piece(2 * kCycle);
  for (auto _ : state) {
    std::fill(out.begin(), out.end(), 0.0f);
    for (size_t i = 0; i < streams.size(); i++) {
      // Keep each stream fed as a looping sample would be.
      while (SDL_AudioStreamAvailable(streams[i]) < int(piece.size() * sizeof(float)))
        SDL_AudioStreamPut(streams[i], tones[i].data(), int(tones[i].size() * 2));
      SDL_AudioStreamGet(streams[i], piece.data(), int(piece.size() * sizeof(float)));
      SDL_MixAudioFormat(reinterpret_cast<Uint8*>(out.data()), reinterpret_cast<const Uint8*>(piece.data()),
                         AUDIO_F32SYS, Uint32(piece.size() * sizeof(float)), 96);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["realtime"] = benchmark::Counter(double(kCycle) / kRate, benchmark::Counter::kIsIterationInvariantRate);
  for (SDL_AudioStream* s : streams) SDL_FreeAudioStream(s);
}
BENCHMARK(BM_SdlStreamsMix8Channels);

// A busy module: four channels with a note on every row and an effect on
// most, eight patterns over a 32-position song, four looping samples.
std::string BusyModule() {
  std::string out(20, '\0');
  const int lengths[4] = {2000, 1200, 3000, 800};
  std::vector<std::string> data;
  for (int i = 0; i < 31; i++) {
    std::string h(30, '\0');
    if (i < 4) {
      const int words = lengths[i] / 2;
      h[22] = char(words >> 8), h[23] = char(words), h[25] = char(48 + 4 * i);
      h[26] = char((words / 4) >> 8), h[27] = char(words / 4);
      h[28] = char((words / 2) >> 8), h[29] = char(words / 2);
      std::string d;
      for (int k = 0; k < lengths[i]; k++) d += char(int(90 * std::sin(k * (0.05 + 0.03 * i))) + (k * 7 % 13) - 6);
      data.push_back(d);
    }
    out += h;
  }
  out += char(32);
  out += char(127);
  for (int i = 0; i < 128; i++) out += char(i < 32 ? (i * 3) % 8 : 0);
  out += "M.K.";
  const int periods[] = {856, 762, 678, 640, 570, 508, 453, 428, 381, 339, 320, 285, 254, 226, 214, 190, 170, 143};
  const uint8_t effects[][2] = {{0x0, 0x37}, {0x4, 0x46}, {0xA, 0x02}, {0x1, 0x03}, {0x2, 0x03}, {0x3, 0x10},
                                {0x7, 0x34}, {0x6, 0x01}, {0xC, 0x30}, {0x0, 0x00}, {0x5, 0x20}, {0xE, 0x93}};
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
  for (int p = 0; p < 8; p++) {
    for (int cell = 0; cell < 256; cell++) {
      const int period = periods[next() % 18];
      const int sample = 1 + int(next() % 4);
      const uint8_t* fx = effects[next() % 12];
      out += char((sample & 0xF0) | (period >> 8));
      out += char(period);
      out += char(((sample & 0x0F) << 4) | fx[0]);
      out += char(fx[1]);
    }
  }
  for (const std::string& d : data) out += d;
  return out;
}

constexpr int kModuleSeconds = 600;

void BM_ModuleTenMinutes(benchmark::State& state) {
  const std::string bytes = BusyModule();
  std::vector<int16_t> out(2 * 4800);
  for (auto _ : state) {
    vkModule m;
    m.fileData.assign(bytes.begin(), bytes.end());
    CreateModuleFromMemory(&m, kModuleOutputRate);
    for (int i = 0; i < kModuleSeconds * 10; i++) RenderModuleFrames(&m, out.data(), 4800);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["realtime"] = benchmark::Counter(kModuleSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ModuleTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(3);

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times a shell command for each iteration by the processor time it used
// (the machine may be busy: compare with our benchmarks' CPU column); an
// error when it fails.
void RunTimed(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    const double start = ChildrenCpuSeconds();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(ChildrenCpuSeconds() - start);
  }
}

void BM_XmpTenMinutes(benchmark::State& state) {
  vkTempFile module = vkTempFile::Create(".mod");
  std::ofstream(module.path(), std::ios::binary) << BusyModule();
  RunTimed(state, "xmp -q --nocmd -l -t " + std::to_string(kModuleSeconds) + " -f 48000 -i nearest -o /dev/null '" +
                      module.path() + "' >/dev/null 2>&1");
  state.counters["realtime"] = benchmark::Counter(kModuleSeconds, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_XmpTenMinutes)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

const vkTempFile& BigWave() {
  static vkTempFile file = [] {
    vkTempFile temp = vkTempFile::Create(".wav");
    const uint32_t bytes = 50u << 20;
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    std::ofstream out(temp.path(), std::ios::binary);
    out << "RIFF" << le32(36 + bytes) << "WAVEfmt " << le32(16) << std::string("\x01\x00\x02\x00", 4) << le32(44100)
        << le32(44100 * 4) << std::string("\x04\x00\x10\x00", 4) << "data" << le32(bytes);
    std::string block(1 << 20, 0);
    for (size_t i = 0; i < block.size(); i++) block[i] = char((i * 131) ^ (i >> 7));
    for (uint32_t n = 0; n < bytes; n += uint32_t(block.size())) out << block;
    return temp;
  }();
  return file;
}

void BM_LoadWave50MB(benchmark::State& state) {
  const std::string path = BigWave().path();
  for (auto _ : state) {
    vkSampleData data;
    int32_t rate, code;
    if (LoadSampleData(path.c_str(), &data, &rate, &code) != 0) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(data.data.get());
  }
}
BENCHMARK(BM_LoadWave50MB)->Unit(benchmark::kMillisecond);

void BM_SoxWave50MBToRaw(benchmark::State& state) {
  RunTimed(state, "sox '" + BigWave().path() + "' -t raw /dev/null");
}
BENCHMARK(BM_SoxWave50MBToRaw)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
