// Protracker module files put together for the replayer tests: sample
// headers, an order table and pattern cells, in the file's big-endian layout.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/protracker.h"

namespace soundtest {

struct ModSampleSpec {
  std::vector<int8_t> data;  // even length
  int volume = 64;
  int finetune = 0;
  int loopStartWords = 0;
  int loopLengthWords = 1;
  int headerLengthWords = -1;  // -1: from the data
};

struct ModCellSpec {
  int period = 0, sample = 0, effect = 0, param = 0;
};

struct ModuleSpec {
  std::vector<ModSampleSpec> samples;         // samples 1..n
  std::vector<std::vector<ModCellSpec>> patterns;  // 64 x 4 cells each (row-major)
  std::vector<int> order = {0};
  int songLength = -1;  // -1: the order's size
};

// An empty pattern.
std::vector<ModCellSpec> EmptyPattern();
// Sets [cell] of [row], [channel] in a pattern.
void SetCell(std::vector<ModCellSpec>& pattern, int row, int channel, ModCellSpec cell);
std::string ModuleBytes(const ModuleSpec& spec);

// A module built from [bytes] at 48,000 Hz; NULL when it does not build.
std::unique_ptr<vkModule> BuildModule(const std::string& bytes);

// Renders until the next tick has run.
void NextTick(vkModule* m);

}  // namespace soundtest
