// Module files for the replayer tests.
#include "modules.h"

#include <algorithm>
#include <memory>

namespace soundtest {

std::vector<ModCellSpec> EmptyPattern() { return std::vector<ModCellSpec>(64 * 4); }

void SetCell(std::vector<ModCellSpec>& pattern, int row, int channel, ModCellSpec cell) {
  pattern[static_cast<size_t>(row * 4 + channel)] = cell;
}

std::string ModuleBytes(const ModuleSpec& spec) {
  std::string out(20, '\0');
  out.replace(0, 4, "test");
  for (int i = 0; i < 31; i++) {
    std::string h(30, '\0');
    if (i < static_cast<int>(spec.samples.size())) {
      const ModSampleSpec& s = spec.samples[static_cast<size_t>(i)];
      const int words = s.headerLengthWords >= 0 ? s.headerLengthWords : static_cast<int>(s.data.size() / 2);
      h[22] = char(words >> 8);
      h[23] = char(words);
      h[24] = char(s.finetune);
      h[25] = char(s.volume);
      h[26] = char(s.loopStartWords >> 8);
      h[27] = char(s.loopStartWords);
      h[28] = char(s.loopLengthWords >> 8);
      h[29] = char(s.loopLengthWords);
    }
    out += h;
  }
  out += char(spec.songLength >= 0 ? spec.songLength : static_cast<int>(spec.order.size()));
  out += char(127);
  std::string order(128, '\0');
  for (size_t i = 0; i < spec.order.size() && i < 128; i++) order[i] = char(spec.order[i]);
  out += order;
  out += "M.K.";
  for (const auto& pattern : spec.patterns) {
    for (const ModCellSpec& c : pattern) {
      out += char((c.sample & 0xF0) | ((c.period >> 8) & 0x0F));
      out += char(c.period);
      out += char(((c.sample & 0x0F) << 4) | (c.effect & 0x0F));
      out += char(c.param);
    }
  }
  for (const ModSampleSpec& s : spec.samples) out.append(reinterpret_cast<const char*>(s.data.data()), s.data.size());
  return out;
}

std::unique_ptr<vkModule> BuildModule(const std::string& bytes) {
  auto m = std::make_unique<vkModule>();
  m->fileData.assign(bytes.begin(), bytes.end());
  if (!CreateModuleFromMemory(m.get(), kModuleOutputRate)) return nullptr;
  return m;
}

void NextTick(vkModule* m) {
  int16_t frame[2];
  for (int guard = 0; guard < 1000000; guard++) {
    const int32_t before = m->sampleCounter;
    RenderModuleFrames(m, frame, 1);
    if (m->sampleCounter < before) return;
  }
}

}  // namespace soundtest
