// Restyling many layers with one SetLayerStyle call on a 1920 x 1080
// display, through to the window. Texts: 100 TextOut layers of 40
// characters in Vera Sans 24 px antialiased, recoloured by one call, and
// the same texts printed fresh; beside them SDL2_ttf renders the same
// strings with TTF_RenderText_Blended (same Vera.ttf and size) and blits
// them into a 1920 x 1080 surface. Brushes: 100 and 1,000 brush layers of
// 32 x 32 with an alpha channel, each given a new transparency, a new x
// (one pixel to and fro) and the other of two brushes per frame; beside it
// pixman recomposes the same stack whole: the background with SRC, every
// layer OVER through a constant mask of its level, then the copy into a
// window-sized buffer. The frame rates, the ratios to the peers and the
// time per layer at 1,000 against 100 are printed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/displayoptions.h"
#include "layers/layerstyle.h"
#include "layers/textlayers.h"
#include "layerscene.h"
#include "textscene.h"

#if defined(VK_HAVE_SDL_TTF)
#include <SDL.h>
#include <SDL_ttf.h>
#endif

namespace {

using namespace benchlayers;

constexpr int32_t kSide = 32;

// [count] layers of brush 1 at random positions, brush 2 the other picture
// a frame may give them.
struct Scene : LayerDisplay {
  int32_t count;
  std::vector<int32_t> x, y;
  int32_t frame = 0;

  explicit Scene(int32_t n) : LayerDisplay(5), count(n) {
    for (int32_t id = 1; id <= 2; id++) NoiseBrush(id, kSide);
    for (int32_t n = 0; n < count; n++) {
      x.push_back(int32_t(rng() % (kW - kSide - 1))), y.push_back(int32_t(rng() % (kH - kSide)));
      vkDisplayRequest rq;
      rq.type = kObjectBrush, rq.id = vkObjectId{1, nullptr}, rq.x = x.back(), rq.y = y.back();
      DisplayBitmapObject(L, rq);
    }
  }

  int32_t Level(int32_t n) const { return (frame * 7 + n * 13) % 256; }
  int32_t X(int32_t n) const { return x[size_t(n)] + (frame & 1); }
  int32_t Brush() const { return 1 + (frame & 1); }

  // One frame: every layer restyled by one call.
  void StyleFrame() {
    frame++;
    vmSetTop(L, 0);
    vmCheckStack(L, 2 * count + 8);
    for (int32_t n = 0; n < count; n++) {
      vmPushNumber(L, n + 1);
      vmNewTable(L);
      SetFieldInt(L, "transparency", Level(n));
      SetFieldInt(L, "x", X(n));
      SetFieldInt(L, "id", Brush());
    }
    if (int32_t rc = SetLayerAttributes(L, 1, 2 * count, false)) std::printf("SetLayerStyle failed: %d\n", rc);
    vmSetTop(L, 0);
  }
};

Scene& GetScene(int32_t n) {
  static std::map<int32_t, std::unique_ptr<Scene>> scenes;
  std::unique_ptr<Scene>& s = scenes[n];
  if (!s) s = std::make_unique<Scene>(n);
  return *s;
}

void BM_SetLayerStyle(benchmark::State& state) {
  Scene& s = GetScene(int32_t(state.range(0)));
  s.Show();
  for (auto _ : state) {
    s.StyleFrame();
    benchmark::ClobberMemory();
  }
}

#if defined(VK_HAVE_PIXMAN)
// The same stack for pixman: two premultiplied brushes over the background,
// each layer through a solid mask of its level.
struct PixmanScene : PixmanStack {
  std::vector<uint32_t> brushPixels[2];
  pixman_image_t* brush[2] = {};

  explicit PixmanScene(Scene& s) : PixmanStack(s.back.get()) {
    for (int32_t n = 0; n < 2; n++) {
      brushPixels[n] = PremultipliedBrush(s.gs(), n + 1, kSide);
      brush[n] = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, brushPixels[n].data(), kSide * 4);
    }
  }
  ~PixmanScene() {
    for (pixman_image_t* i : brush) pixman_image_unref(i);
  }

  void Frame(Scene& s) {
    s.frame++;
    pixman_image_composite32(PIXMAN_OP_SRC, background, nullptr, dst, 0, 0, 0, 0, 0, 0, kW, kH);
    for (int32_t n = 0; n < s.count; n++) {
      const pixman_color_t level = {0, 0, 0, uint16_t((255 - s.Level(n)) * 257)};
      pixman_image_t* mask = pixman_image_create_solid_fill(&level);
      pixman_image_composite32(PIXMAN_OP_OVER, brush[s.Brush() - 1], mask, dst, 0, 0, 0, 0, s.X(n),
                               s.y[size_t(n)], kSide, kSide);
      pixman_image_unref(mask);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, dst, nullptr, window, 0, 0, 0, 0, 0, 0, kW, kH);
  }
};

void BM_PixmanWhole(benchmark::State& state) {
  static std::map<int32_t, std::unique_ptr<PixmanScene>> peers;
  Scene& s = GetScene(int32_t(state.range(0)));
  std::unique_ptr<PixmanScene>& p = peers[s.count];
  if (!p) p = std::make_unique<PixmanScene>(s);
  const int32_t saved = s.frame;
  for (auto _ : state) {
    p->Frame(s);
    benchmark::ClobberMemory();
  }
  s.frame = saved;
}
#endif

// ---- Texts ----

constexpr int32_t kTexts = 100, kTextSize = 24, kChars = 40;

// Text [n]: 40 letters and spaces, the same every run.
std::string TextOf(int32_t n) {
  std::string s = benchtext::MakeParagraph(200).substr(size_t(n) * 7, kChars);
  return s;
}
int32_t TextX(int32_t n) { return (n % 4) * 480; }
int32_t TextY(int32_t n) { return (n / 4) * 43; }

struct TextScene : benchtext::TextScene {
  int32_t frame = 0;
  vkBitMapPtr window{AllocArgbBitMap(benchtext::kW, benchtext::kH)};

  TextScene() : benchtext::TextScene(kTextSize) {
    Open(OpenLayersLibrary);
    RegisterTextLayers(L);
    display.layersOn = 1;
    GraphicsState(L).redraw = RedrawAndShow;
    vkTextState& ts = GetTextState(L);
    ts.style.font = font;
    ts.style.style = kStyleNormal | kStyleAntialias;
    PrintAll(0xFFFFFF);
  }
  uint32_t Colour() const { return (frame & 1) ? 0xFFC040 : 0x40C0FF; }
  // Every text printed anew in [colour].
  void PrintAll(uint32_t colour) {
    GetTextState(L).style.fontColour = colour;
    for (int32_t n = 0; n < kTexts; n++) {
      vmPushString(L, "textout");
      vmGetTable(L, VK_GLOBALSINDEX);
      vmPushNumber(L, TextX(n)), vmPushNumber(L, TextY(n));
      const std::string text = TextOf(n);
      vmPushLString(L, text.data(), text.size());
      if (vmPCall(L, 3, 0, 0)) std::printf("TextOut failed\n");
      vmSetTop(L, 0);
    }
  }
  void Restyle() {
    frame++;
    gWindow = window.get();
    vmSetTop(L, 0);
    vmCheckStack(L, 2 * kTexts + 8);
    for (int32_t n = 0; n < kTexts; n++) {
      vmPushNumber(L, n + 1);
      vmNewTable(L);
      SetFieldInt(L, "color", int32_t(Colour()));
    }
    if (int32_t rc = SetLayerAttributes(L, 1, 2 * kTexts, false)) std::printf("SetLayerStyle failed: %d\n", rc);
    vmSetTop(L, 0);
  }
  void Fresh() {
    frame++;
    gWindow = window.get();
    FreeBGPicLayers(GraphicsState(L), L, &pic, true, false);
    RefreshRectNow(GraphicsState(L), 0, 0, benchtext::kW, benchtext::kH);
    PrintAll(Colour());
  }
};

TextScene& GetTextScene() {
  static TextScene* scene = new TextScene;  // lives as long as the process
  return *scene;
}

void BM_RecolourTexts(benchmark::State& state) {
  TextScene& s = GetTextScene();
  for (auto _ : state) {
    s.Restyle();
    benchmark::ClobberMemory();
  }
}

void BM_PrintTextsFresh(benchmark::State& state) {
  TextScene& s = GetTextScene();
  for (auto _ : state) {
    s.Fresh();
    benchmark::ClobberMemory();
  }
}

#if defined(VK_HAVE_SDL_TTF)
void BM_SdlTtfTexts(benchmark::State& state) {
  TTF_Init();
  TTF_Font* font = TTF_OpenFont(benchtext::kVera, kTextSize);
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, benchtext::kW, benchtext::kH, 32, SDL_PIXELFORMAT_ARGB8888);
  std::vector<std::string> texts;
  for (int32_t n = 0; n < kTexts; n++) texts.push_back(TextOf(n));
  int32_t frame = 0;
  for (auto _ : state) {
    frame++;
    const SDL_Color colour = (frame & 1) ? SDL_Color{0xFF, 0xC0, 0x40, 0xFF} : SDL_Color{0x40, 0xC0, 0xFF, 0xFF};
    for (int32_t n = 0; n < kTexts; n++) {
      SDL_Surface* text = TTF_RenderText_Blended(font, texts[size_t(n)].c_str(), colour);
      SDL_Rect at{TextX(n), TextY(n), 0, 0};
      SDL_BlitSurface(text, nullptr, target, &at);
      SDL_FreeSurface(text);
    }
    benchmark::ClobberMemory();
  }
  SDL_FreeSurface(target);
  TTF_CloseFont(font);
  TTF_Quit();
}
#endif

}  // namespace

BENCHMARK(BM_RecolourTexts)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PrintTextsFresh)->Unit(benchmark::kMillisecond)->MinTime(1.0);
#if defined(VK_HAVE_SDL_TTF)
BENCHMARK(BM_SdlTtfTexts)->Unit(benchmark::kMillisecond)->MinTime(1.0);
#endif
BENCHMARK(BM_SetLayerStyle)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
#if defined(VK_HAVE_PIXMAN)
BENCHMARK(BM_PixmanWhole)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
#endif

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  struct Collect : benchmark::ConsoleReporter {
    std::map<std::string, double> ms;  // CPU time per frame (the machine may be shared)
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const Run& r : runs) {
        const std::string name = r.benchmark_name();
        ms[name.substr(0, name.find("/min_time"))] = r.GetAdjustedCPUTime();
      }
      benchmark::ConsoleReporter::ReportRuns(runs);
    }
  } reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* ours : {"BM_RecolourTexts", "BM_PrintTextsFresh"})
    if (reporter.ms.count(ours) && reporter.ms.count("BM_SdlTtfTexts"))
      std::printf("%s: %.2fx SDL2_ttf's frame rate\n", ours, reporter.ms["BM_SdlTtfTexts"] / reporter.ms[ours]);
  for (const char* n : {"100", "1000"}) {
    const std::string ours = std::string("BM_SetLayerStyle/") + n, peer = std::string("BM_PixmanWhole/") + n;
    if (reporter.ms.count(ours) && reporter.ms.count(peer))
      std::printf("%s layers: %.2fx pixman's frame rate\n", n, reporter.ms[peer] / reporter.ms[ours]);
  }
  if (reporter.ms.count("BM_SetLayerStyle/100") && reporter.ms.count("BM_SetLayerStyle/1000"))
    std::printf("time per layer at 1000 / at 100: %.2f\n",
                (reporter.ms["BM_SetLayerStyle/1000"] / 1000) / (reporter.ms["BM_SetLayerStyle/100"] / 100));
  benchmark::Shutdown();
  return 0;
}
