// Fuzzing the sound readers, the MPEG bit-rate parse and the module builder
// and replayer: valid seeds are mutated (bytes flipped, cut, sizes made huge,
// pieces repeated) and read, parsed or built and rendered with random jumps.
// Every run must end in a sound or a known error code, never in a crash or a
// read outside the data (run under the sanitizer build). A short seeded run
// belongs to every test pass; VK_FUZZ_ITERATIONS runs longer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <set>

#include "platform/vkos_audiofile.h"
#include "io/chunknames.h"
#include "sound/protracker.h"
#include "sound/soundstream.h"
#include "support/modules.h"
#include "support/soundfiles.h"

using namespace soundtest;

namespace {

int Iterations(int normal) {
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  return env != nullptr ? std::max(1, std::atoi(env)) : normal;
}

// One mutation of [seed]: a few of flips, interesting values, cuts and repeats.
std::string Mutate(const std::string& seed, std::mt19937& rng) {
  std::string s = seed;
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits && !s.empty(); e++) {
    const size_t at = rng() % s.size();
    switch (rng() % 6) {
      case 0:
        s[at] = static_cast<char>(s[at] ^ (1 << (rng() % 8)));
        break;
      case 1: {
        const char values[] = {0, 1, 2, 6, 20, 0x7F, char(0x80), char(0xFF)};
        s[at] = values[rng() % sizeof values];
        break;
      }
      case 2:
        for (size_t i = at; i < std::min(s.size(), at + 4); i++) s[i] = char(0xFF);  // a huge size
        break;
      case 3:
        s.resize(at);
        break;
      case 4:
        s.insert(at, s.substr(at, rng() % 64));
        break;
      default:
        for (size_t i = at; i < std::min(s.size(), at + 4); i++) s[i] = 0;
        break;
    }
  }
  return s;
}

TEST(SoundFuzz, ReadersEndInASoundOrAnError) {
  const std::set<int> expected = {0, 1000, 1045, 1235, 1279, 1294, 1299};
  std::string body;
  for (int i = 0; i < 64; i++) body += char(i * 5);
  const std::vector<std::string> seeds = {
      IffSound("8SVX", 8000, false, body, Chunk("ANNO", "odd", true)),
      IffSound("8SVX", 8000, true, body),
      IffSound("16SV", 44100, true, body),
      IffSound("16SV", 22050, false, body),
      WaveSound(1, 1, 8000, 8, body),
      WaveSound(1, 2, 11025, 16, body, 16, Chunk("LIST", "xyz", false)),
  };
  std::mt19937 rng(1234);
  const int rounds = Iterations(120);
  for (int round = 0; round < rounds; round++) {
    for (const std::string& seed : seeds) {
      const std::string bytes = Mutate(seed, rng);
      vkMemoryChunk chunk(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      const std::string name = MakeChunkName("f.snd", -1, static_cast<int64_t>(bytes.size()), chunk.key(), nullptr);
      std::unique_ptr<vkSound> sound;
      const int code = OpenSoundStream(name.c_str(), 0, &sound);
      ASSERT_TRUE(expected.count(code)) << code;
      if (code == 0) {
        ASSERT_GE(sound->frames, 0);
        std::vector<uint8_t> buffer(4096 * 4);
        for (int reads = 0; reads < 8; reads++) {
          if (rng() % 3 == 0) SeekSound(sound.get(), static_cast<int64_t>(rng() % (sound->frames + 2)));
          const int64_t want = static_cast<int64_t>(rng() % 4096);
          const int64_t got = ReadSoundFrames(sound.get(), buffer.data(), want, nullptr);
          ASSERT_LE(got, want);
          ASSERT_LE(sound->position, sound->frames);
        }
      }
      vkSampleData data;
      int32_t rate, format;
      ASSERT_TRUE(expected.count(LoadSampleData(name.c_str(), &data, &rate, &format)));
    }
  }
}

class BytesSource : public vkOSByteSource {
 public:
  explicit BytesSource(const std::string& b) : b_(b) {}
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    if (offset < 0 || offset >= static_cast<int64_t>(b_.size())) return 0;
    count = std::min<int64_t>(count, static_cast<int64_t>(b_.size()) - offset);
    std::memcpy(buffer, b_.data() + offset, static_cast<size_t>(count));
    return count;
  }
  int64_t Size() const override { return static_cast<int64_t>(b_.size()); }

 private:
  const std::string& b_;
};

TEST(SoundFuzz, BitRateParseStaysInside) {
  const std::string pad(1500, '\0');
  const std::vector<std::string> seeds = {
      "\xFF\xFB\x90\x00" + pad,
      "ID3" + std::string("\x04\x00\x10\x00\x00\x01\x00", 7) + std::string(200, 'x') + "\xFF\xFB\x90\x00" + pad,
      "\xFF\xFB\x90\x00" + std::string(40, '\0') + "Xing" + pad,
  };
  std::mt19937 rng(99);
  const int rounds = Iterations(400);
  for (int round = 0; round < rounds; round++) {
    for (const std::string& seed : seeds) {
      const std::string bytes = Mutate(seed, rng);
      BytesSource source(bytes);
      const vkMpegRateInfo info = vkosParseMpegBitRate(source);
      ASSERT_GE(info.kbps, 0);
      ASSERT_LE(info.kbps, 448);
      ASSERT_GE(info.tagBytes, 0);
    }
  }
}

TEST(SoundFuzz, ModulesBuildAndRenderWithRandomJumps) {
  ModuleSpec spec;
  ModSampleSpec a, b;
  for (int i = 0; i < 200; i++) a.data.push_back(int8_t(i));
  a.loopStartWords = 20;
  a.loopLengthWords = 40;
  b.data.assign(100, 50);
  spec.samples = {a, b};
  auto p = EmptyPattern();
  const int effects[] = {0x0, 0x1, 0x2, 0x3, 0x4, 0x5, 0x6, 0x7, 0x9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
  std::mt19937 build(7);
  for (int r = 0; r < 64; r++)
    for (int c = 0; c < 4; c++)
      SetCell(p, r, c, {build() % 3 ? 0 : 428, static_cast<int>(build() % 3), effects[build() % 15],
                        static_cast<int>(build() % 256)});
  spec.patterns = {p, EmptyPattern()};
  spec.order = {0, 1, 0};
  const std::string seed = ModuleBytes(spec);
  std::mt19937 rng(4321);
  std::vector<int16_t> out(2 * 512);
  const int rounds = Iterations(60);
  for (int round = 0; round < rounds; round++) {
    const std::string bytes = Mutate(seed, rng);
    auto m = BuildModule(bytes);
    if (m == nullptr) continue;
    for (int piece = 0; piece < 16; piece++) {
      if (rng() % 4 == 0) RequestModuleJump(m.get(), static_cast<int32_t>(rng() % 128));
      ApplyModuleJump(m.get());
      RenderModuleFrames(m.get(), out.data(), 512);
      ASSERT_GE(m->songPosition.load(), 0);
      ASSERT_LT(m->songPosition.load(), 128);
    }
  }
}

}  // namespace
