// The sound file readers as a libFuzzer target: the input is opened as a
// stream and read to its end from a few places, then loaded as a sample.
// Any input must end in a sound or an error code, never in a crash or a read
// outside the data.
#include <cstdint>
#include <memory>
#include <vector>

#include "io/chunknames.h"
#include "sound/soundstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vkMemoryChunk chunk(data, size);
  const std::string name = MakeChunkName("f.snd", -1, static_cast<int64_t>(size), chunk.key(), nullptr);
  std::unique_ptr<vkSound> sound;
  if (OpenSoundStream(name.c_str(), 0, &sound) == 0) {
    if (sound->frames < 0) __builtin_trap();
    std::vector<uint8_t> buffer(4096 * 8);
    const int64_t starts[] = {0, sound->frames / 2, sound->frames};
    for (int64_t start : starts) {
      SeekSound(sound.get(), start);
      for (int reads = 0; reads < 64; reads++) {
        const int64_t got = ReadSoundFrames(sound.get(), buffer.data(), 4096, nullptr);
        if (got < 0 || got > 4096 || sound->position > sound->frames) __builtin_trap();
        if (got == 0) break;
      }
    }
  }
  vkSampleData sample;
  int32_t rate, format;
  LoadSampleData(name.c_str(), &sample, &rate, &format);
  return 0;
}
