// The dos library's heavy paths: CopyFile on a 100 MB file beside the
// system's cp, and writing and reading a table of 10^5 entries as a "VKT0"
// record. Run by hand: bench_doslib (python3 peers are in the report).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "runtime/doslib.h"
#include "runtime/dosfiles.h"
#include "runtime/serialise.h"
#include "io/tempfile.h"

namespace {

constexpr size_t kCopyBytes = 100u << 20;
constexpr int kTableEntries = 100000;

const vkTempFile& BigFile() {
  static vkTempFile file = [] {
    vkTempFile temp = vkTempFile::Create(".big");
    std::ofstream out(temp.path(), std::ios::binary);
    std::string block(1 << 20, 0);
    for (size_t i = 0; i < block.size(); i++) block[i] = static_cast<char>((i * 131) ^ (i >> 7));
    for (size_t n = 0; n < kCopyBytes; n += block.size()) out << block;
    return temp;
  }();
  return file;
}

struct Engine {
  vkState* L = vmNewState();
  Engine() {
    vmPushValue(L, VK_GLOBALSINDEX);
    OpenDOSLibrary(L);
    vmSetTop(L, 0);
  }
  ~Engine() {
    vmCloseState(L);
  }
  int Call(const char* command, std::initializer_list<const char*> args) {
    vmPushString(L, command);
    vmGetTable(L, VK_GLOBALSINDEX);
    for (const char* a : args) vmPushString(L, a);
    int status = vmPCall(L, static_cast<int>(args.size()), 0, 0);
    vmSetTop(L, 0);
    return status;
  }
};

void BM_CopyFile100MB(benchmark::State& state) {
  Engine e;
  vkTempFile dir = vkTempFile::Create();
  std::string target = dir.path() + ".dir";
  for (auto _ : state) {
    if (e.Call("copyfile", {BigFile().path().c_str(), target.c_str()}) != 0) state.SkipWithError("copy failed");
  }
  std::system(("rm -rf '" + target + "'").c_str());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCopyBytes));
}
BENCHMARK(BM_CopyFile100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Cp100MB(benchmark::State& state) {
  vkTempFile target = vkTempFile::Create();
  std::string command = "cp '" + BigFile().path() + "' '" + target.path() + "'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCopyBytes));
}
BENCHMARK(BM_Cp100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// A table of 10^5 pairs: number keys with short string values.
void PushBigTable(vkState* L) {
  vmNewTable(L);
  for (int i = 0; i < kTableEntries; i++) {
    std::string value = "item " + std::to_string(i);
    vmPushNumber(L, i);
    vmPushLString(L, value.data(), value.size());
    vmRawSet(L, -3);
  }
}

void BM_WriteTable1e5(benchmark::State& state) {
  Engine e;
  PushBigTable(e.L);
  vkTempFile file = vkTempFile::Create(".vkt");
  for (auto _ : state) {
    vkFileHandle* h = nullptr;
    OpenFileHandle(e.L, vkIdRequest{1, false}, file.path().c_str(), MODE_WRITE, &h);
    if (WriteTableRecord(e.L, 1, h, false) != 0) state.SkipWithError("write failed");
    CloseFileHandle(e.L, h);
  }
  state.SetItemsProcessed(state.iterations() * kTableEntries);
}
BENCHMARK(BM_WriteTable1e5)->Unit(benchmark::kMillisecond);

void BM_ReadTable1e5(benchmark::State& state) {
  Engine e;
  PushBigTable(e.L);
  vkTempFile file = vkTempFile::Create(".vkt");
  vkFileHandle* h = nullptr;
  OpenFileHandle(e.L, vkIdRequest{1, false}, file.path().c_str(), MODE_WRITE, &h);
  WriteTableRecord(e.L, 1, h, false);
  CloseFileHandle(e.L, h);
  vmSetTop(e.L, 0);
  for (auto _ : state) {
    OpenFileHandle(e.L, vkIdRequest{1, false}, file.path().c_str(), MODE_READ, &h);
    if (ReadTableRecord(e.L, h) != 0) state.SkipWithError("read failed");
    CloseFileHandle(e.L, h);
    vmSetTop(e.L, 0);
  }
  state.SetItemsProcessed(state.iterations() * kTableEntries);
}
BENCHMARK(BM_ReadTable1e5)->Unit(benchmark::kMillisecond);

}  // namespace
