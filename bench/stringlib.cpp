// The cost of the string commands on large texts, called the way a script
// calls them: building a 1 MB string by appending 1 KB pieces with AddStr,
// and ReplaceStr over a 1 MB text with one match every 16 bytes.
// stringlib.py beside this file does the same in python3 for comparison.
// Run by hand: bench_stringlib.
#include <benchmark/benchmark.h>

#include <string>

#include "engine/state.h"
#include "engine/vmapi.h"
#include "runtime/stringlib.h"

namespace {

constexpr size_t kTextBytes = 1 << 20;
constexpr size_t kPieceBytes = 1024;

struct Engine {
  vkState* L = vmNewState();
  Engine() {
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenStringLibrary(L);
    vmSetTop(L, 0);
  }
  ~Engine() { vmCloseState(L); }
};

void BM_AddStrBuilds1MB(benchmark::State& state) {
  Engine e;
  std::string piece(kPieceBytes, 'x');
  for (auto _ : state) {
    vmPushString(e.L, "");
    for (size_t built = 0; built < kTextBytes; built += kPieceBytes) {
      vmPushConstString(e.L, "addstr");
      vmGetTable(e.L, VK_GLOBALSINDEX);
      vmPushValue(e.L, 1);
      vmPushLString(e.L, piece.data(), piece.size());
      vmPCall(e.L, 2, 1, 0);
      vmRemove(e.L, 1);
    }
    benchmark::DoNotOptimize(vmStrLen(e.L, 1));
    vmSetTop(e.L, 0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTextBytes));
}
BENCHMARK(BM_AddStrBuilds1MB)->Unit(benchmark::kMillisecond);

void BM_ReplaceStr1MB(benchmark::State& state) {
  Engine e;
  std::string text;
  while (text.size() < kTextBytes) text += "lorem ipsum dolo";
  for (auto _ : state) {
    vmPushConstString(e.L, "replacestr");
    vmGetTable(e.L, VK_GLOBALSINDEX);
    vmPushLString(e.L, text.data(), text.size());
    vmPushConstString(e.L, "ipsum");
    vmPushConstString(e.L, "IPSUM!");
    vmPCall(e.L, 3, 1, 0);
    benchmark::DoNotOptimize(vmStrLen(e.L, -1));
    vmSetTop(e.L, 0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReplaceStr1MB)->Unit(benchmark::kMillisecond);

void BM_ReplaceStr1MBNoCase(benchmark::State& state) {
  Engine e;
  std::string text;
  while (text.size() < kTextBytes) text += "lorem ipsum dolo";
  for (auto _ : state) {
    vmPushConstString(e.L, "replacestr");
    vmGetTable(e.L, VK_GLOBALSINDEX);
    vmPushLString(e.L, text.data(), text.size());
    vmPushConstString(e.L, "IPSUM");
    vmPushConstString(e.L, "x");
    vmPushNumber(e.L, 0);
    vmPCall(e.L, 4, 1, 0);
    benchmark::DoNotOptimize(vmStrLen(e.L, -1));
    vmSetTop(e.L, 0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReplaceStr1MBNoCase)->Unit(benchmark::kMillisecond);

}  // namespace
