// The Protracker module builder and replayer as a libFuzzer target: the input
// is built as a module and, when it builds, rendered in pieces with jumps to
// song positions that its own last bytes choose.
#include <cstdint>
#include <string>
#include <vector>

#include "sound/protracker.h"
#include "tests/sound/support/modules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto m = soundtest::BuildModule(std::string(reinterpret_cast<const char*>(data), size));
  if (m == nullptr) return 0;
  std::vector<int16_t> out(2 * 512);
  for (int piece = 0; piece < 16; piece++) {
    const uint8_t choice = size > 0 ? data[size - 1 - size_t(piece) % size] : 0;
    if (choice < 32) RequestModuleJump(m.get(), choice * 4);
    ApplyModuleJump(m.get());
    RenderModuleFrames(m.get(), out.data(), 512);
    if (m->songPosition.load() < 0 || m->songPosition.load() >= 128) __builtin_trap();
  }
  return 0;
}
