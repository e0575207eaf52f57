// What showing brushes and moving sprites costs: a 128 x 128 brush with an
// alpha plane displayed 10,000 times at random places on a 1920 x 1080
// display (one iteration is the 10,000), and 500 masked 32 x 32 sprites
// each moved once per frame (one iteration is a frame). The display has no
// window: everything lands in its background and screen buffers.
// bench/compare_pygame.py runs this beside pygame doing the same.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/sprites.h"

namespace {

constexpr int32_t kDisplayW = 1920, kDisplayH = 1080;
constexpr int32_t kBrushSide = 128, kDraws = 10000;
constexpr int32_t kSpriteSide = 32, kSprites = 500;

struct Scene {
  vkState* L = vmNewState();
  vkBitMapPtr back{AllocArgbBitMap(kDisplayW, kDisplayH)}, screen{AllocArgbBitMap(kDisplayW, kDisplayH)};
  vkDisplay display;
  vkBGPic pic;
  std::mt19937 rng{7};

  Scene() {
    for (int32_t i = 0; i < kDisplayW * kDisplayH; ++i) {
      const uint32_t c = rng() & 0xFFFFFF;
      reinterpret_cast<uint32_t*>(back->pixels)[i] = c;
      reinterpret_cast<uint32_t*>(screen->pixels)[i] = c;
    }
    pic.width = pic.scaledWidth = kDisplayW, pic.height = pic.scaledHeight = kDisplayH;
    pic.bitmap = back.get();
    display.bgpic = &pic;
    display.width = kDisplayW, display.height = kDisplayH;
    display.backBuffer = back.get(), display.screenBuffer = screen.get();
    vkGraphicsState& gs = GraphicsState(L);
    gs.DisplayList.emplace_back(&display);  // the scene lives as long as the process
    gs.CurrentDisplay = &display;
    gs.CurrentBGPic = &pic;
    vkBrush* b = nullptr;
    CreateBrushRecord(gs, vkIdRequest{1, false}, kBrushSide, kBrushSide, 0, false, true, false, &b);
    for (int32_t i = 0; i < kBrushSide * kBrushSide; ++i) reinterpret_cast<uint32_t*>(b->bitmap->pixels)[i] = rng();
    for (int32_t i = 0; i < b->alpha->bytesPerRow * kBrushSide; ++i) b->alpha->data[i] = uint8_t(rng());
    vkBrush* s = nullptr;
    CreateBrushRecord(gs, vkIdRequest{2, false}, kSpriteSide, kSpriteSide, 0xC08040, true, false, false, &s);
    for (int32_t y = 0; y < kSpriteSide; ++y)
      for (int32_t x = 0; x < kSpriteSide; ++x)
        if ((x - 16) * (x - 16) + (y - 16) * (y - 16) > 256) WriteBitMapPixel(s->mask.get(), x, y, 1);
    for (int32_t i = 1; i <= kSprites; ++i) {
      std::vector<vkSpriteFrame> frames(1);
      CopyPlanesRect(BrushSource(*s), 0, 0, kSpriteSide, kSpriteSide, &frames[0]);
      AddSpriteRecord(gs, vkIdRequest{i, false}, kSpriteSide, kSpriteSide, std::move(frames), {}, -1);
    }
  }
};

Scene& GetScene() {
  static Scene scene;
  return scene;
}

void BM_DisplayAlphaBrush(benchmark::State& state) {
  Scene& s = GetScene();
  std::uniform_int_distribution<int32_t> x(0, kDisplayW - kBrushSide), y(0, kDisplayH - kBrushSide);
  vkDisplayRequest rq;
  rq.type = kObjectBrush;
  rq.id = vkObjectId{1, nullptr};
  for (auto _ : state) {
    for (int32_t i = 0; i < kDraws; ++i) {
      rq.x = x(s.rng), rq.y = y(s.rng);
      DisplayBitmapObject(s.L, rq);
    }
  }
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DisplayAlphaBrush)->Unit(benchmark::kMillisecond);

void BM_MoveSprites(benchmark::State& state) {
  Scene& s = GetScene();
  std::vector<int32_t> px(kSprites), py(kSprites), vx(kSprites), vy(kSprites);
  for (int32_t i = 0; i < kSprites; ++i) {
    px[size_t(i)] = int32_t(s.rng() % (kDisplayW - kSpriteSide));
    py[size_t(i)] = int32_t(s.rng() % (kDisplayH - kSpriteSide));
    vx[size_t(i)] = int32_t(s.rng() % 7) - 3, vy[size_t(i)] = int32_t(s.rng() % 7) - 3;
  }
  for (auto _ : state) {
    for (int32_t i = 0; i < kSprites; ++i) {
      const size_t k = size_t(i);
      px[k] += vx[k], py[k] += vy[k];
      if (px[k] < 0 || px[k] > kDisplayW - kSpriteSide) vx[k] = -vx[k], px[k] += 2 * vx[k];
      if (py[k] < 0 || py[k] > kDisplayH - kSpriteSide) vy[k] = -vy[k], py[k] += 2 * vy[k];
      PlaceSprite(s.L, vkObjectId{i + 1, nullptr}, px[k], py[k], 1);
    }
  }
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MoveSprites)->Unit(benchmark::kMillisecond);

}  // namespace
