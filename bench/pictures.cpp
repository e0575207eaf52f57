// Loading and saving a 1920x1080 PNG and JPEG: the picture loader and the
// platform's encoders beside python3's PIL doing the same on the same files
// (both sit on libpng, libjpeg-turbo and zlib, so the difference is each
// side's own work around the codecs). PIL runs in one python3 process that
// times each operation itself and reports the processor seconds it took;
// those are the peer's manual times. Both sides are compared by processor
// time, which a busy machine disturbs less than the clock on the wall.
// Without python3 and PIL only our side runs. After the runs a table prints
// our processor time over PIL's for each operation.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/pilpeer.h"
#include "pixel/allocate.h"
#include "pixel/bitmap.h"
#include "pixel/picturefile.h"
#include "platform/vkos_pictures.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;
constexpr int32_t kJpegQuality = 90;

// The picture: smooth waves with a little noise, like a photograph as far as
// the encoders are concerned.
std::vector<uint32_t> MakePicture() {
  std::vector<uint32_t> words(size_t(kWidth) * kHeight);
  uint32_t noise = 12345;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++) {
      noise = noise * 1103515245 + 12345;
      const int n = int(noise >> 28) - 8;
      auto wave = [&](double fx, double fy, double phase) {
        const double v = 127.5 + 100 * std::sin(x * fx + y * fy + phase) + n;
        return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      words[size_t(y) * kWidth + x] = wave(0.011, 0.007, 0) << 16 | wave(0.005, 0.013, 1) << 8 | wave(0.017, 0.003, 2);
    }
  return words;
}

// The files both sides load and the names both sides save to.
struct Files {
  std::string dir, png, jpeg, ourSave, peerSave;
  std::vector<uint32_t> words;
  Files() : words(MakePicture()) {
    char scratch[] = "/tmp/vkbench-XXXXXX";
    dir = mkdtemp(scratch) ? scratch : "/tmp";
    png = dir + "/picture.png";
    jpeg = dir + "/picture.jpg";
    ourSave = dir + "/ours";
    peerSave = dir + "/peer";
    if (vkosSavePng(png.c_str(), words.data(), kWidth, kHeight, false) ||
        vkosSaveJpeg(jpeg.c_str(), words.data(), kWidth, kHeight, kJpegQuality)) {
      std::fprintf(stderr, "cannot write the pictures to %s\n", dir.c_str());
      std::exit(1);
    }
  }
  ~Files() { std::filesystem::remove_all(dir); }
};

Files& TheFiles() {
  static Files files;
  return files;
}

// The python3 process that runs PIL, given the picture to save and the JPEG
// quality: one request a line ("load PATH", "save_png PATH", "save_jpeg
// PATH"), one answer a line, the processor seconds the operation took.
const char kPeerScript[] = R"(
import sys, time
from PIL import Image
picture = Image.open(sys.argv[1])
picture.load()
quality = int(sys.argv[2])
for line in sys.stdin:
    op, path = line.split()
    start = time.process_time()
    if op == 'load':
        im = Image.open(path)
        im.load()
    elif op == 'save_png':
        picture.save(path, 'PNG')
    elif op == 'save_jpeg':
        picture.save(path, 'JPEG', quality=quality)
    print(time.process_time() - start, flush=True)
)";


PilPeer& ThePeer() {
  static PilPeer peer(kPeerScript, {TheFiles().png, std::to_string(kJpegQuality)});
  return peer;
}

void BM_OurLoad(benchmark::State& state, bool jpeg) {
  const Files& f = TheFiles();
  const std::string& path = jpeg ? f.jpeg : f.png;
  for (auto _ : state) {
    uint32_t* pixels = nullptr;
    int32_t w = 0, h = 0;
    if (LoadPictureFile(path.c_str(), PICTURE_ALPHA_DROP, &pixels, nullptr, nullptr, nullptr, &w, &h)) {
      state.SkipWithError("the picture did not load");
      break;
    }
    vkBufferPtr<uint32_t> owned(pixels);
    benchmark::DoNotOptimize(pixels);
  }
}

void BM_OurSave(benchmark::State& state, bool jpeg) {
  const Files& f = TheFiles();
  for (auto _ : state) {
    const int code = jpeg ? vkosSaveJpeg(f.ourSave.c_str(), f.words.data(), kWidth, kHeight, kJpegQuality)
                          : vkosSavePng(f.ourSave.c_str(), f.words.data(), kWidth, kHeight, false);
    if (code) {
      state.SkipWithError("the picture was not saved");
      break;
    }
  }
}

void BM_Peer(benchmark::State& state, std::string op, bool jpeg) {
  const Files& f = TheFiles();
  const std::string path = op == "load" ? (jpeg ? f.jpeg : f.png) : f.peerSave;
  for (auto _ : state) {
    const double seconds = ThePeer().Run(op, path);
    if (seconds < 0) {
      state.SkipWithError("PIL failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
}

// Keeps every run's time per iteration for the ratios at the end: our
// processor time, the peer's reported (manual) time.
class TimeReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // with repetitions the median counts
    for (const Run& r : runs) {
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (!median && (r.run_type != Run::RT_Iteration || medians_.count(r.run_name.str()))) continue;
      if (median) medians_.insert(r.run_name.str());
      seconds[r.run_name.str()] =
          r.run_name.str().rfind("pil/", 0) == 0 ? r.GetAdjustedRealTime() : r.GetAdjustedCPUTime();
    }
  }

 private:
  std::set<std::string> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  TheFiles();
  const bool peer = ThePeer().Running();
  for (bool jpeg : {false, true}) {
    const std::string kind = jpeg ? "jpeg" : "png";
    benchmark::RegisterBenchmark(("ours/load_" + kind).c_str(), BM_OurLoad, jpeg)->Unit(benchmark::kMillisecond);
    if (peer)
      benchmark::RegisterBenchmark(("pil/load_" + kind).c_str(), BM_Peer, std::string("load"), jpeg)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("ours/save_" + kind).c_str(), BM_OurSave, jpeg)->Unit(benchmark::kMillisecond);
    if (peer)
      benchmark::RegisterBenchmark(("pil/save_" + kind).c_str(), BM_Peer, "save_" + kind, jpeg)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
  }
  if (!peer) std::fprintf(stderr, "python3 with PIL (Debian's python3-pil) is not there: only our side runs\n");
  benchmark::Initialize(&argc, argv);
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (!peer) return 0;
  std::printf("\nOur processor time over PIL's (below 1 is faster):\n");
  for (const char* op : {"load_png", "load_jpeg", "save_png", "save_jpeg"}) {
    const auto ours = reporter.seconds.find(std::string("ours/") + op);
    const auto theirs = reporter.seconds.find(std::string("pil/") + op + "/manual_time");
    if (ours == reporter.seconds.end() || theirs == reporter.seconds.end() || theirs->second <= 0) continue;
    std::printf("  %-10s %6.2f\n", op, ours->second / theirs->second);
  }
  return 0;
}
