// The cost of reading through buffered file handles, the way the format
// readers do (a byte or a word at a time) and in blocks, and of packing and
// unpacking a file. Run by hand: bench_filehandles.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "io/byteorder.h"
#include "io/filehandles.h"
#include "io/packfiles.h"
#include "io/tempfile.h"

namespace {

constexpr size_t kBytes = 1 << 20;

const vkTempFile& Sample() {
  static vkTempFile file = [] {
    vkTempFile temp = vkTempFile::Create();
    std::string data(kBytes, 0);
    for (size_t i = 0; i < kBytes; i++) data[i] = static_cast<char>((i * 7) ^ (i >> 9));
    std::ofstream(temp.path(), std::ios::binary) << data;
    return temp;
  }();
  return file;
}

void BM_ReadStreamByte(benchmark::State& state) {
  for (auto _ : state) {
    vkFilePtr file = OpenStream(Sample().path().c_str(), VKFILE_READ);
    long sum = 0;
    for (int b; (b = ReadStreamByte(file.get())) >= 0;) sum += b;
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_ReadStreamByte);

void BM_ReadBE32(benchmark::State& state) {
  for (auto _ : state) {
    vkFilePtr file = OpenStream(Sample().path().c_str(), VKFILE_READ);
    int32_t sum = 0;
    for (size_t i = 0; i < kBytes / 4; i++) sum ^= ReadBE32(file.get());
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_ReadBE32);

void BM_ReadStreamBlocks(benchmark::State& state) {
  std::string buffer(16384, 0);
  for (auto _ : state) {
    vkFilePtr file = OpenStream(Sample().path().c_str(), VKFILE_READ);
    while (ReadStream(file.get(), buffer.data(), 16384) == 16384) {
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_ReadStreamBlocks);

void BM_PackRoundTrip(benchmark::State& state) {
  vkTempFile pack = vkTempFile::Create(), back = vkTempFile::Create();
  for (auto _ : state) {
    CompressToPack(kPackMagic, Sample().path().c_str(), pack.path().c_str(), nullptr);
    DecompressPack(kPackMagic, pack.path().c_str(), back.path().c_str(), 0, nullptr);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}
BENCHMARK(BM_PackRoundTrip);

}  // namespace
