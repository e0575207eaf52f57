// Saving a 1920x1080 picture through SavePictureToFile as PNG, JPEG
// (quality 90, 4:2:0), GIF (256 colours, no dither) and BMP, beside
// python3's PIL saving the same pixels from memory with the same settings,
// except that our PNG encoder deflates at level 4 and PIL's at its default
// 6 (the table shows what that costs in size). PNG and JPEG share the codec
// libraries, so the difference is each side's own work around them (our
// conversion of the bitmap to words and the encoder settings); GIF and
// BMP are each side's own code. PIL runs in one python3 process that times
// each save itself in processor seconds; both sides are compared by
// processor time. After the runs a table prints our time over PIL's and
// the files' sizes.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/pilpeer.h"
#include "graphics/picturesave.h"
#include "pixel/bitmap.h"

namespace {

constexpr int32_t kWidth = 1920, kHeight = 1080;

struct Format {
  const char* name;
  int32_t code;
};
constexpr Format kFormats[] = {{"png", IMGFMT_PNG}, {"jpeg", IMGFMT_JPEG}, {"gif", IMGFMT_GIF}, {"bmp", IMGFMT_BMP}};

// Gradients plus noise from a fixed seed.
struct Picture {
  vkBitMapPtr bitmap;
  std::string dir, raw;
  Picture() : bitmap(AllocArgbBitMap(kWidth, kHeight)) {
    char scratch[] = "/tmp/vkbench-XXXXXX";
    dir = mkdtemp(scratch) ? scratch : "/tmp";
    raw = dir + "/picture.rgb";
    std::string bytes;
    bytes.reserve(size_t(kWidth) * kHeight * 3);
    uint32_t noise = 2024;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) {
        noise = noise * 1103515245 + 12345;
        const int n = int(noise >> 28) - 8;
        auto channel = [&](int v) { return uint32_t(std::clamp(v + n, 0, 255)); };
        const uint32_t r = channel(x * 255 / kWidth), g = channel(y * 255 / kHeight),
                       b = channel(128 + int(64 * std::sin((x + y) * 0.01)));
        WriteBitMapPixel(bitmap.get(), x, y, r << 16 | g << 8 | b);
        bytes += char(r), bytes += char(g), bytes += char(b);
      }
    std::ofstream(raw, std::ios::binary) << bytes;
  }
  ~Picture() { std::filesystem::remove_all(dir); }
  std::string Ours(const char* format) const { return dir + "/ours." + format; }
  std::string Theirs(const char* format) const { return dir + "/pil." + format; }
};

Picture& ThePicture() {
  static Picture picture;
  return picture;
}

// The python3 process that runs PIL: the raw RGB pixels and the size as
// arguments, one request a line ("FORMAT PATH"), one answer a line (the
// processor seconds the save took).
const char kPeerScript[] = R"(
import sys, time
from PIL import Image
picture = Image.frombytes('RGB', (int(sys.argv[2]), int(sys.argv[3])), open(sys.argv[1], 'rb').read())
for line in sys.stdin:
    fmt, path = line.split()
    start = time.process_time()
    if fmt == 'png':
        picture.save(path, 'PNG', compress_level=6)
    elif fmt == 'jpeg':
        picture.save(path, 'JPEG', quality=90, subsampling=2)
    elif fmt == 'gif':
        picture.quantize(256, dither=Image.Dither.NONE).save(path, 'GIF')
    elif fmt == 'bmp':
        picture.save(path, 'BMP')
    print(time.process_time() - start, flush=True)
)";


PilPeer& ThePeer() {
  static PilPeer peer(kPeerScript, {ThePicture().raw, std::to_string(kWidth), std::to_string(kHeight)});
  return peer;
}

void BM_Ours(benchmark::State& state, Format f) {
  const Picture& p = ThePicture();
  const vkSaveOptions options{90, 256, 0};
  const std::string path = p.Ours(f.name);
  for (auto _ : state)
    if (SavePictureToFile(f.code, p.bitmap.get(), kWidth, kHeight, path.c_str(), nullptr, -1, nullptr, options)) {
      state.SkipWithError("the picture was not saved");
      break;
    }
}

void BM_Peer(benchmark::State& state, Format f) {
  const std::string path = ThePicture().Theirs(f.name);
  for (auto _ : state) {
    const double seconds = ThePeer().Run(f.name, path);
    if (seconds < 0) {
      state.SkipWithError("PIL failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
}

// Keeps every run's time per iteration: ours in processor time, the peer's
// reported (manual) time.
class TimeReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
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

uintmax_t SizeOf(const std::string& path) {
  std::error_code ec;
  const uintmax_t n = std::filesystem::file_size(path, ec);
  return ec ? 0 : n;
}

}  // namespace

int main(int argc, char** argv) {
  ThePicture();
  const bool peer = ThePeer().Running();
  for (const Format& f : kFormats) {
    benchmark::RegisterBenchmark((std::string("ours/save_") + f.name).c_str(), BM_Ours, f)
        ->Unit(benchmark::kMillisecond);
    if (peer)
      benchmark::RegisterBenchmark((std::string("pil/save_") + f.name).c_str(), BM_Peer, f)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
  }
  if (!peer) std::fprintf(stderr, "python3 with PIL (Debian's python3-pil) is not there: only our side runs\n");
  benchmark::Initialize(&argc, argv);
  TimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (!peer) return 0;
  std::printf("\nOur processor time over PIL's (below 1 is faster), and the files' sizes:\n");
  for (const Format& f : kFormats) {
    const auto ours = reporter.seconds.find(std::string("ours/save_") + f.name);
    const auto theirs = reporter.seconds.find(std::string("pil/save_") + f.name + "/manual_time");
    if (ours == reporter.seconds.end() || theirs == reporter.seconds.end() || theirs->second <= 0) continue;
    const Picture& p = ThePicture();
    std::printf("  %-5s %6.2f   ours %9ju bytes, PIL %9ju bytes\n", f.name, ours->second / theirs->second,
                SizeOf(p.Ours(f.name)), SizeOf(p.Theirs(f.name)));
  }
  return 0;
}
