// Reading every frame of a 200-frame 640 x 480 GIF anim whose frames are
// cut to the rectangles that changed: the anim reader (decoding and
// composing each frame onto its canvas) beside giflib reading the same file
// with DGifSlurp and composing the same frames over its decoded images
// (disposals and transparency as the file says). Both run in this process on
// a file written once by the player's GIF writer (or the file VK_BENCH_GIF
// names); giflib's decoding alone is timed too.
#include <benchmark/benchmark.h>

#include <gif_lib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pixel/animfiles.h"
#include "pixel/aviwriter.h"
#include "pixel/bitmap.h"
#include "pixel/gifwriter.h"
#include "pixel/quantize.h"
#include "pixel/pixfmt.h"
#include "platform/vkos_pictures.h"

namespace {

constexpr int32_t kWidth = 640, kHeight = 480, kFrames = 200;

// A picture that moves: a gradient with a disc crossing it and a band
// scrolling, so each frame changes a part of the screen.
void DrawFrame(int32_t f, std::vector<uint32_t>& words) {
  const double cx = 60 + f * 2.6, cy = 240 + 120 * std::sin(f * 0.07);
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++) {
      uint32_t c = uint32_t(x * 255 / kWidth) << 16 | uint32_t(y * 255 / kHeight) << 8 | 0x40;
      const double dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy < 50 * 50) c = 0xE03020;
      if (((y + f * 3) / 16) % 12 == 0 && x < 120) c = 0xF0F0F0;
      words[size_t(y) * kWidth + x] = c;
    }
}

struct File {
  std::string dir, path;
  int32_t frames = kFrames;
  File() {
    // VK_BENCH_GIF names another anim to read (made by ImageMagick or ffmpeg).
    if (const char* given = std::getenv("VK_BENCH_GIF")) {
      path = given;
      vkAnimReader* r = nullptr;
      int32_t w = 0, h = 0;
      if (OpenAnimFile(path.c_str(), &r, &w, &h, &frames)) std::exit(1);
      CloseAnimFile(r);
      return;
    }
    char scratch[] = "/tmp/vkbench-XXXXXX";
    dir = mkdtemp(scratch) ? scratch : "/tmp";
    path = dir + "/anim.gif";
    vkGIFWriter* w = nullptr;
    if (OpenGIFWriter(path.c_str(), kWidth, kHeight, &w)) std::exit(1);
    std::vector<uint32_t> words(size_t(kWidth) * kHeight);
    std::vector<uint8_t> indexes(words.size());
    for (int32_t f = 0; f < kFrames; f++) {
      DrawFrame(f, words);
      uint32_t palette[256];
      int32_t colours = 256;
      QuantizeColors(words.data(), PIXFMT_ARGB32, 4, kWidth, kHeight, kWidth, indexes.data(), palette, &colours, -1, 1, 0);
      if (WriteGIFFrame(w, indexes.data(), kWidth, kHeight, 40, palette, colours, -1, 1)) std::exit(1);
    }
    if (CloseGIFWriter(w)) std::exit(1);
  }
  ~File() {
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }
};

const File& TheFile() {
  static File file;
  return file;
}

void BM_OurReader(benchmark::State& state) {
  const File& f = TheFile();
  for (auto _ : state) {
    vkAnimReader* r = nullptr;
    int32_t w = 0, h = 0, n = 0;
    if (OpenAnimFile(f.path.c_str(), &r, &w, &h, &n) || n != f.frames) {
      state.SkipWithError("the anim did not open");
      break;
    }
    for (int32_t i = 0; i < n; i++) {
      uint32_t* words = ReadAnimFrame(r, i);
      benchmark::DoNotOptimize(words);
      std::free(words);
    }
    CloseAnimFile(r);
  }
  state.SetItemsProcessed(state.iterations() * f.frames);
}

// giflib decodes the whole file, then each frame is composed onto a canvas
// and copied out, as the anim reader hands each frame out.
void BM_Giflib(benchmark::State& state) {
  const File& f = TheFile();
  for (auto _ : state) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(f.path.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
      state.SkipWithError("giflib failed");
      break;
    }
    std::vector<uint32_t> canvas(size_t(gif->SWidth) * gif->SHeight, 0), saved;
    for (int i = 0; i < gif->ImageCount; i++) {
      const SavedImage& img = gif->SavedImages[i];
      GraphicsControlBlock gcb;
      DGifSavedExtensionToGCB(gif, i, &gcb);
      const ColorMapObject* map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
      const GifImageDesc& d = img.ImageDesc;
      if (gcb.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;
      for (int y = 0; y < d.Height; y++) {
        const int cy = d.Top + y;
        if (cy >= gif->SHeight) break;
        for (int x = 0; x < d.Width && d.Left + x < gif->SWidth; x++) {
          const int v = img.RasterBits[size_t(y) * d.Width + x];
          if (v == gcb.TransparentColor || !map || v >= map->ColorCount) continue;
          const GifColorType& c = map->Colors[v];
          canvas[size_t(cy) * gif->SWidth + d.Left + x] = uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
        }
      }
      uint32_t* out = static_cast<uint32_t*>(std::malloc(canvas.size() * 4));
      std::memcpy(out, canvas.data(), canvas.size() * 4);
      benchmark::DoNotOptimize(out);
      std::free(out);
      if (gcb.DisposalMode == DISPOSE_BACKGROUND)
        for (int y = d.Top; y < d.Top + d.Height && y < gif->SHeight; y++)
          std::fill(canvas.begin() + y * gif->SWidth + d.Left,
                    canvas.begin() + y * gif->SWidth + std::min(d.Left + d.Width, gif->SWidth), 0u);
      else if (gcb.DisposalMode == DISPOSE_PREVIOUS)
        canvas = saved;
    }
    DGifCloseFile(gif, &error);
  }
  state.SetItemsProcessed(state.iterations() * f.frames);
}

// giflib decoding alone, no frame composed: a floor under the peer's time.
void BM_GiflibDecodeOnly(benchmark::State& state) {
  const File& f = TheFile();
  for (auto _ : state) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(f.path.c_str(), &error);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
      state.SkipWithError("giflib failed");
      break;
    }
    benchmark::DoNotOptimize(gif->SavedImages);
    DGifCloseFile(gif, &error);
  }
  state.SetItemsProcessed(state.iterations() * f.frames);
}

// Writing 300 frames of 1280 x 720 (gradients with noise, fixed seed) as a
// Motion-JPEG AVI at quality 90. VK_BENCH_RAW names a file that receives
// the frames as raw BGRA, for a peer encoder to read the same pictures.
constexpr int32_t kAviWidth = 1280, kAviHeight = 720, kAviFrames = 300;

std::vector<vkBitMapPtr> MakeAviFrames() {
  std::vector<vkBitMapPtr> frames;
  uint32_t noise = 4242;
  FILE* raw = std::getenv("VK_BENCH_RAW") ? std::fopen(std::getenv("VK_BENCH_RAW"), "wb") : nullptr;
  for (int32_t f = 0; f < kAviFrames; f++) {
    vkBitMapPtr b(AllocArgbBitMap(kAviWidth, kAviHeight));
    for (int32_t y = 0; y < kAviHeight; y++) {
      uint32_t* row = reinterpret_cast<uint32_t*>(b->pixels + size_t(y) * b->bytesPerRow);
      for (int32_t x = 0; x < kAviWidth; x++) {
        noise = noise * 1103515245 + 12345;
        const int n = int(noise >> 29) - 4;
        auto clamp = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
        row[x] = clamp((x + f * 4) * 255 / (kAviWidth + 1200) + n) << 16 | clamp(y * 255 / kAviHeight + n) << 8 |
                 clamp(128 + int(100 * std::sin((x + y + f * 8) * 0.01)) + n);
      }
    }
    if (raw) std::fwrite(b->pixels, 1, size_t(b->bytesPerRow) * kAviHeight, raw);
    frames.push_back(std::move(b));
  }
  if (raw) std::fclose(raw);
  return frames;
}

void BM_OurAviWriter(benchmark::State& state) {
  static const std::vector<vkBitMapPtr> frames = MakeAviFrames();
  const std::string path = TheFile().dir.empty() ? "/tmp/vkbench-anims.avi" : TheFile().dir + "/out.avi";
  for (auto _ : state) {
    vkAviWriter* w = nullptr;
    if (OpenAviWriter(path.c_str(), 25, 0, kAviWidth, kAviHeight, 90, false, false, "bench", nullptr, vkosEncodeJpeg,
                      &w)) {
      state.SkipWithError("the AVI did not open");
      break;
    }
    for (const vkBitMapPtr& f : frames) WriteAviFrame(w, f.get(), kAviWidth, kAviHeight, 0, false);
    if (CloseAviWriter(w)) state.SkipWithError("the AVI was not written");
  }
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * kAviFrames);
}

BENCHMARK(BM_OurReader)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_Giflib)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GiflibDecodeOnly)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_OurAviWriter)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
