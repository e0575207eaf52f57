// The effects that reveal the new picture piece by piece (up-and-down,
// puzzle, diagonal, spiral, swiss, quad-rectangle) on every kind of source,
// against a small model of each written from its geometry: the source
// rectangles frame k draws. Every frame must show the new picture exactly
// where the model has drawn so far and the old one elsewhere, the frame
// count must be the model's, and the last frame the whole new picture.
// Then the numbers the effects promise for particular pictures and seeks
// that replay play.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "graphics/objecttypes.h"
#include "layers/layers.h"
#include "pixel/blit.h"
#include "support/fxmodel.h"
#include "support/fxscene.h"

namespace {

using fxtest::CeilDiv;
using fxtest::NamedStep;
using fxtest::NewPixel;
using fxtest::OldPixel;
using fxtest::Pixels;
using fxtest::Steps;
using vktest::Arg;
namespace ot = vkObjectType;

constexpr int32_t kPuzzle = 82, kDiagonal = 83, kSpiral = 105, kSwiss = 106, kQuadRect = 107, kUpDown = 110;
constexpr long kSeed = 4711;  // drand48's seed before a puzzle is set up

struct Box {
  int64_t x, y, w, h;
};

// The model of one effect: the source rectangles each frame draws.
struct TileModel {
  int32_t id, speed, w, h;
  std::vector<std::vector<Box>> frames;  // frames[k - 1]: what frame k draws

  TileModel(int32_t id_, int32_t speed_, int32_t w_, int32_t h_) : id(id_), speed(speed_), w(w_), h(h_) {
    if (id == kUpDown) UpDown();
    if (id == kPuzzle) Puzzle();
    if (id == kDiagonal) Diagonal();
    if (id == kSpiral) Spiral();
    if (id == kSwiss) Swiss();
    if (id == kQuadRect) QuadRect();
  }

  // The frame each source pixel first shows the new picture (INT_MAX: never).
  std::vector<int64_t> RevealedAt() const {
    std::vector<int64_t> at(size_t(w) * size_t(h), INT_MAX);
    for (size_t f = 0; f < frames.size(); f++)
      for (const Box& b : frames[f])
        for (int64_t y = std::max<int64_t>(b.y, 0); y < std::min<int64_t>(b.y + b.h, h); y++)
          for (int64_t x = std::max<int64_t>(b.x, 0); x < std::min<int64_t>(b.x + b.w, w); x++) {
            int64_t& a = at[size_t(y) * size_t(w) + size_t(x)];
            a = std::min<int64_t>(a, int64_t(f) + 1);
          }
    return at;
  }

 private:
  Box Whole() const { return {0, 0, w, h}; }

  // Eight columns of w / 8 + 1; frame k is at t = (k - 1) * step, pass
  // t / h reveals one column downwards from row t mod h and its partner
  // upwards; the frame once t reaches 4h draws everything.
  void UpDown() {
    const int64_t step = std::clamp(NamedStep(speed, std::max(w, h), 60, 30, 120), 1, 30), c = w / 8 + 1;
    const int64_t count = Steps(4 * int64_t(h), step, false);
    static const int kDown[4] = {0, 3, 4, 7}, kUp[4] = {1, 2, 5, 6};
    for (int64_t k = 1; k <= count; k++) {
      const int64_t t = (k - 1) * step;
      if (t >= 4 * h) {
        frames.push_back({Whole()});
        continue;
      }
      const int64_t pass = t / h, r = t % h, dx = kDown[pass] * c, ux = kUp[pass] * c;
      std::vector<Box> f;
      if (k > 1 && (t - step) / h != pass) f.push_back({dx, 0, c, step + 2}), f.push_back({ux, h - step - 1, c, step + 2});
      const int64_t s = std::max<int64_t>(h - r - step, 1);
      f.push_back({dx, r, c, step + 2});
      f.push_back({ux, s - 1, c, step + 2});
      frames.push_back(f);
    }
  }

  // Tiles of side s (the speed's, at least 5), one column and one row more
  // than fit whole; frame k lays tile order[k - 1]. Draw i takes the first
  // free number counting down from trunc(drand48() * N), then up.
  void Puzzle() {
    const int64_t s = std::max(NamedStep(speed, w, 20, 10, 30), 5), c = w / s + 1, n = c * (h / s + 1);
    srand48(kSeed);
    std::vector<bool> taken(size_t(n), false);
    for (int64_t i = 0; i < n; i++) {
      const int64_t r = int64_t(drand48() * double(n));
      int64_t t = r;
      while (t >= 0 && taken[size_t(t)]) t--;
      if (t < 0)
        for (t = r + 1; taken[size_t(t)];) t++;
      taken[size_t(t)] = true;
      frames.push_back({{t % c * s, t / c * s, s, s}});
    }
  }

  // Tiles of side s (1 when the speed's is above a quarter of the width);
  // after frame k the tile in row i and column j shows when i + j < k, and
  // the frame whose front k s reaches w + h shows everything.
  void Diagonal() {
    int64_t s = NamedStep(speed, w, 60, 20, 130);
    if (s > w / 4) s = 1;
    const int64_t count = CeilDiv(int64_t(w) + h, s);
    for (int64_t k = 1; k <= count; k++) {
      std::vector<Box> f;
      for (int64_t i = 0; i * s < h; i++)
        for (int64_t j = 0; j * s < w; j++)
          if (i + j == k - 1 || (k == count && i + j >= k - 1)) f.push_back({j * s, i * s, s, s});
      frames.push_back(f);
    }
  }

  // Columns of C = w / 7 + 1 and rows of R = h / 6 + 1; a band of the step
  // (10 at normal speed) walks each leg of the table, one band a frame,
  // the band at a leg's end drawn once before the next leg starts.
  void Spiral() {
    const int64_t s = speed == -1 ? 10 : speed == -2 ? 15 : speed == -3 ? 5 : std::clamp(speed, 1, 30);
    const int64_t C = w / 7 + 1, R = h / 6 + 1;
    struct Leg {
      bool column;
      int64_t fixed, start, end, way;
    };
    const Leg legs[] = {
        {true, w - C, 0, h - 1, 1},                 {false, h - R, w - C - s, 0, -1},
        {true, 0, h - R - s, 0, -1},                {false, 0, C, w - C, 1},
        {true, w - 2 * C, R, h - R, 1},             {false, h - 2 * R, w - 2 * C - s, C, -1},
        {true, C, h - 2 * R - s, R, -1},            {false, R, 2 * C, w - 2 * C, 1},
        {true, w - 3 * C, 2 * R, h - 2 * R, 1},     {false, 3 * R, w - 3 * C - s, 2 * C, -1},
        {true, 2 * C, 3 * R - s, 2 * R, -1},        {false, 2 * R, 3 * C, w - 3 * C, 1},
    };
    for (const Leg& leg : legs) {
      auto band = [&](int64_t p) {
        frames.push_back({leg.column ? Box{leg.fixed, p, C, s} : Box{p, leg.fixed, s, R}});
      };
      // The start; steps of s its way while short of the end; the end (a
      // start at or past the end goes straight to it).
      band(leg.start);
      if (leg.start == leg.end) continue;
      for (int64_t p = leg.start + leg.way * s; (leg.end - p) * leg.way > 0; p += leg.way * s) band(p);
      band(leg.end);
    }
  }

  // The four corner rectangles t = k steps long along the longer side, the
  // other side in proportion; everything once t reaches half the longer side.
  void Swiss() {
    const int64_t larger = std::max(w, h), s = std::clamp(NamedStep(speed, int32_t(larger), 120, 60, 240), 1, 30);
    const int64_t count = larger / 2 < 1 ? 1 : CeilDiv(larger / 2, s);
    for (int64_t k = 1; k <= count; k++) {
      const Box r = Proportional(k * s);
      frames.push_back(k * s >= larger / 2 ? std::vector<Box>{Whole()}
                                           : std::vector<Box>{{0, 0, r.w, r.h},
                                                              {w - r.w, 0, r.w, r.h},
                                                              {0, h - r.h, r.w, r.h},
                                                              {w - r.w, h - r.h, r.w, r.h}});
    }
  }

  // Rectangles centred in the top-left and bottom-right quarters (the
  // second offset by the quarter plus the odd pixel) until the frame whose
  // t reaches half the longer side, then from nothing in the top-right and
  // bottom-left ones (the latter moved left by the odd pixel); each frame
  // draws the ring strips from the previous rectangle; everything once t
  // reaches the longer side.
  void QuadRect() {
    const int64_t larger = std::max(w, h), s = std::clamp(NamedStep(speed, int32_t(larger), 120, 60, 240), 1, 30);
    const int64_t count = CeilDiv(larger, s), qw = w / 2, qh = h / 2;
    const int64_t switchAt = std::max<int64_t>(CeilDiv(larger / 2, s), 1);
    auto rect = [&](int64_t u) {
      const Box r = Proportional(u);
      return r.w >= qw ? Box{0, 0, qw, qh} : Box{(qw - r.w) / 2, (qh - r.h) / 2, r.w, r.h};
    };
    for (int64_t k = 1; k <= count; k++) {
      if (k * s >= larger) {
        frames.push_back({Whole()});
        continue;
      }
      const bool second = k > switchAt;
      const int64_t base = second ? switchAt * s : 0;
      const Box now = rect(k * s - base);
      const Box before = k == 1 || k == switchAt + 1 ? Box{0, 0, 0, 0} : rect((k - 1) * s - base);
      const int64_t dw = (now.w - before.w) / 2 + 1, dh = (now.h - before.h) / 2 + 1;
      std::vector<Box> f;
      const int64_t origins[2][2][2] = {{{0, 0}, {qw + w % 2, qh + h % 2}}, {{qw, 0}, {-(w % 2), qh + h % 2}}};
      for (const auto& o : origins[second ? 1 : 0]) {
        const int64_t a = o[0] + now.x, b = o[1] + now.y;
        f.push_back({a, b, dw, now.h});
        f.push_back({a + dw, b, before.w, dh});
        f.push_back({a + now.w - dw, b, dw, now.h});
        f.push_back({a + dw, b + now.h - dh, before.w, dh});
      }
      frames.push_back(f);
    }
  }

  Box Proportional(int64_t extent) const {
    const double ratio = double(std::min(w, h)) / double(std::max(w, h));
    const int64_t other = std::max<int64_t>(int64_t(ratio * double(extent) + 1.0), 1);
    return h > w ? Box{0, 0, other, extent} : Box{0, 0, extent, other};
  }
};

enum class Mode { Brush, MaskedBrush, BrushOffLeft, AsyncBrush, ShowBrush, ShowCovered, Hide, Remove, AsyncShow, AsyncHide };

const char* ModeName(Mode m) {
  switch (m) {
    case Mode::Brush: return "brush";
    case Mode::MaskedBrush: return "masked brush";
    case Mode::BrushOffLeft: return "brush off the left edge";
    case Mode::AsyncBrush: return "async brush";
    case Mode::ShowBrush: return "brush shown with layers on";
    case Mode::ShowCovered: return "covered layer shown";
    case Mode::Hide: return "layer hidden";
    case Mode::Remove: return "layer removed";
    case Mode::AsyncShow: return "layer shown asynchronously";
    case Mode::AsyncHide: return "layer hidden asynchronously";
  }
  return "";
}

constexpr int32_t kW = 48, kH = 32, kX = 5, kY = 4;
// The covering layer of the covered mode: brush 4, a plain colour.
constexpr int32_t kCoverX = 12, kCoverY = 9, kCoverW = 9, kCoverH = 6;
constexpr uint32_t kCover = 0x00C000;

class TileEffects : public fxtest::FXScene {
 protected:
  // Brush 3 of width x height and, with layers on, its layer at (kX, kY)
  // (hidden for an effect to show) and brush 4's covering layer.
  void Scene(Mode mode, int32_t w, int32_t h, int32_t dw = kW, int32_t dh = kH) {
    MakeDisplay(dw, dh);
    MakeBrush(3, w, h, mode == Mode::MaskedBrush);
    if (mode < Mode::ShowBrush) return;
    ASSERT_EQ(Call("EnableLayers", {}), "");
    if (mode == Mode::ShowBrush) return;
    const bool hiding = mode == Mode::Hide || mode == Mode::Remove || mode == Mode::AsyncHide;
    Table("hidden", {{"hidden", 1}});
    if (hiding)
      ASSERT_EQ(Call("DisplayBrush", {3, kX, kY}), "");
    else
      ASSERT_EQ(Call("DisplayBrush", {3, kX, kY, Arg::global("hidden")}), "");
    if (mode == Mode::ShowCovered) {
      MakeBrush(4, kCoverW, kCoverH, false);
      FillBitMapRect(Brushes(gs()).brushes.back().bitmap.get(), kCover, 0, 0, kCoverW, kCoverH);
      ASSERT_EQ(Call("DisplayBrush", {4, kCoverX, kCoverY}), "");
    }
  }
  // Runs [id] in [mode] on the scene, keeping every frame; [x] is where
  // the brush lands outside the layer modes.
  std::vector<Pixels> Run(int32_t id, Mode mode, int32_t speed, int32_t x, int32_t y) {
    std::vector<Pixels> frames;
    const bool hiding = mode == Mode::Hide || mode == Mode::Remove || mode == Mode::AsyncHide;
    if (mode == Mode::AsyncShow || mode == Mode::AsyncHide) {
      Table("async", {{"type", id}, {"speed", speed}, {"async", 1}});
      EXPECT_EQ(Call(hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
      StepAll(&frames);
      return frames;
    }
    vkFXRequest rq;
    rq.L = L, rq.type = id, rq.speed = speed;
    if (mode <= Mode::ShowBrush) {
      rq.operation = ot::BRUSH, rq.id = {3, nullptr}, rq.x = x, rq.y = y;
    } else {
      rq.id = {1, nullptr}, rq.reverse = hiding ? 1 : 0;
      rq.operation = mode == Mode::Hide ? ot::HIDELAYER : mode == Mode::Remove ? ot::REMOVELAYER : ot::LAYER;
    }
    if (mode == Mode::AsyncBrush) {
      rq.async = 1;
      EXPECT_EQ(RunTransitionFX(rq), 1u);
      StepAll(&frames);
      return frames;
    }
    EXPECT_EQ(RunCollecting(rq, &frames), 0u);
    return frames;
  }

  // Runs [id] and checks every frame against the model.
  void Check(int32_t id, Mode mode, int32_t speed, int32_t w, int32_t h) {
    SCOPED_TRACE("id " + std::to_string(id) + " on a " + ModeName(mode) + " of " + std::to_string(w) + "x" +
                 std::to_string(h) + " at speed " + std::to_string(speed));
    Scene(mode, w, h);
    if (HasFatalFailure()) return;
    const int32_t x = mode == Mode::BrushOffLeft ? -(w / 2) - 1 : kX, y = kY;
    srand48(kSeed);
    const std::vector<Pixels> frames = Run(id, mode, speed, x, y);
    const TileModel model(id, speed, w, h);
    ASSERT_EQ(frames.size(), model.frames.size());
    const std::vector<int64_t> at = model.RevealedAt();
    for (int64_t a : at) ASSERT_LE(a, int64_t(frames.size())) << "the model leaves a pixel unrevealed";
    const bool hiding = mode == Mode::Hide || mode == Mode::Remove || mode == Mode::AsyncHide;
    for (size_t f = 0; f < frames.size(); f++)
      for (int32_t py = 0; py < kH; py++)
        for (int32_t px = 0; px < kW; px++) {
          const int32_t bx = px - x, by = py - y;
          uint32_t want = OldPixel(px, py);
          if (bx >= 0 && by >= 0 && bx < w && by < h) {
            const bool revealed = at[size_t(by) * size_t(w) + size_t(bx)] <= int64_t(f) + 1;
            const bool shown = mode != Mode::MaskedBrush || CheckerSet(bx, by);
            if (hiding ? !revealed : revealed && shown) want = NewPixel(bx, by);
          }
          if (mode == Mode::ShowCovered && px >= kCoverX && py >= kCoverY && px < kCoverX + kCoverW &&
              py < kCoverY + kCoverH)
            want = kCover;
          const uint32_t got = frames[f][size_t(py) * kW + size_t(px)];
          if (got != want) {
            ADD_FAILURE() << "frame " << f + 1 << " of " << frames.size() << " at " << px << "," << py << ": got "
                          << std::hex << got << " want " << want;
            return;
          }
        }
    if (mode >= Mode::ShowBrush && mode != Mode::Remove) {
      vkLayer* first = GetNthLayer(display()->bgpic, 1);
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(first->hidden, hiding ? 1 : 0);
      EXPECT_EQ(first->onScreen->transformedBitmap, nullptr);
    }
    vkBrush* b = nullptr;
    ASSERT_EQ(FindBrush(gs(), vkObjectId{3, nullptr}, &b, 0), 0);
    EXPECT_EQ(b->lockCount, 0);
  }
};

TEST_F(TileEffects, EveryFrameOfEveryTileEffectMatchesTheModel) {
  const Mode modes[] = {Mode::Brush, Mode::MaskedBrush, Mode::BrushOffLeft, Mode::AsyncBrush, Mode::ShowBrush,
                        Mode::ShowCovered, Mode::Hide, Mode::Remove, Mode::AsyncShow, Mode::AsyncHide};
  const int32_t sizes[][2] = {{37, 23}, {16, 10}, {1, 1}, {1, 2}, {2, 1}};
  for (int32_t id : {kUpDown, kPuzzle, kDiagonal, kSpiral, kSwiss, kQuadRect})
    for (Mode mode : modes)
      for (int32_t speed : {-1, -2, 300})
        for (const auto& size : sizes) {
          Check(id, mode, speed, size[0], size[1]);
          if (HasFailure()) return;
        }
}

// A synchronous run of [id] on a brush of width x height at (0, 0) of a
// display its size: the frames counted, the windows of the frames in [keep].
struct Watched {
  TileEffects* scene;
  std::vector<int32_t> keep;
  int32_t frames = 0;
  std::vector<Pixels> kept;
};

void Watch(void* context, const vkFXState&) {
  auto* w = static_cast<Watched*>(context);
  w->frames++;
  if (std::find(w->keep.begin(), w->keep.end(), w->frames) != w->keep.end()) w->kept.push_back(w->scene->Window());
}

TEST_F(TileEffects, TheTileEffectsKeepTheirNumbers) {
  auto run = [&](int32_t id, int32_t speed, int32_t w, int32_t h, std::vector<int32_t> keep) {
    MakeDisplay(w, h);
    MakeBrush(3, w, h, false);
    Watched watched{this, std::move(keep), 0, {}};
    vkFXRequest rq;
    rq.L = L, rq.operation = ot::BRUSH, rq.id = {3, nullptr}, rq.type = id, rq.speed = speed;
    rq.observer = Watch, rq.observerContext = &watched;
    EXPECT_EQ(RunTransitionFX(rq), 0u);
    const Pixels end = Window();
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++)
        if (end[size_t(y) * size_t(w) + size_t(x)] != NewPixel(x, y)) {
          ADD_FAILURE() << "the end shows an old pixel at " << x << "," << y;
          return watched;
        }
    return watched;
  };
  // The frames an asynchronous run announces, set up and cancelled.
  auto announced = [&](int32_t id, int32_t speed, int32_t w, int32_t h) -> intptr_t {
    MakeDisplay(w, h);
    MakeBrush(3, w, h, false);
    vkFXRequest rq;
    rq.L = L, rq.operation = ot::BRUSH, rq.id = {3, nullptr}, rq.type = id, rq.speed = speed, rq.async = 1;
    EXPECT_EQ(RunTransitionFX(rq), 1u);
    void* handle = const_cast<void*>(vmToPointer(L, -1));
    vkAsyncDraw* a = FindAsyncDraw(gs(), handle);
    if (!a) return -1;
    const intptr_t n = a->message(kAsyncFrameCount, nullptr, a->userData);
    EXPECT_EQ(CancelAsyncDraw(gs(), vkObjectId{0, handle}), 0);
    return n;
  };

  // 640 x 480 at normal speed: tiles of 32, 21 x 16 of them, one a frame.
  Watched puzzle = run(kPuzzle, -1, 640, 480, {1});
  EXPECT_EQ(puzzle.frames, 336);
  ASSERT_EQ(puzzle.kept.size(), 1u);
  int32_t fresh = 0;
  for (int32_t y = 0; y < 480; y++)
    for (int32_t x = 0; x < 640; x++) fresh += puzzle.kept[0][size_t(y) * 640 + size_t(x)] == NewPixel(x, y);
  EXPECT_TRUE(fresh == 32 * 32 || fresh == 0) << fresh;  // a whole tile, or one of the extra column
  // Small speeds still use tiles of 5: 83,545 of them on 1920 x 1080.
  EXPECT_EQ(announced(kPuzzle, 2, 1920, 1080), 385 * 217);
  EXPECT_EQ(announced(kPuzzle, 5, 37, 23), 8 * 5);

  // 640 x 480 at normal speed: tiles of 10, 112 frames, a staircase front.
  Watched diagonal = run(kDiagonal, -1, 640, 480, {3});
  EXPECT_EQ(diagonal.frames, 112);
  ASSERT_EQ(diagonal.kept.size(), 1u);
  for (int32_t y = 0; y < 60; y++)
    for (int32_t x = 0; x < 60; x++)
      EXPECT_EQ(diagonal.kept[0][size_t(y) * 640 + size_t(x)] == NewPixel(x, y), x / 10 + y / 10 < 3) << x << "," << y;
  // A speed above a quarter of the width runs with 1-pixel tiles: w + h frames.
  EXPECT_EQ(run(kDiagonal, 11, 40, 10, {}).frames, 50);
  EXPECT_EQ(run(kDiagonal, 10, 40, 10, {}).frames, 5);
}

// Seeking an asynchronous run replays its frames: any frame, forwards or
// back, shows what play showed, and play goes on from there.
TEST_F(TileEffects, SeekingReplaysTheFramesOfPlay) {
  for (int32_t id : {kUpDown, kPuzzle, kDiagonal, kSpiral, kSwiss, kQuadRect})
    for (bool hiding : {false, true}) {
      SCOPED_TRACE(std::to_string(id) + (hiding ? " hiding" : " showing"));
      const Mode mode = hiding ? Mode::AsyncHide : Mode::AsyncShow;
      Scene(mode, 37, 23);
      srand48(kSeed);
      const std::vector<Pixels> played = Run(id, mode, 3, kX, kY);
      ASSERT_GT(played.size(), 4u);
      ASSERT_EQ(Call(hiding ? "ShowLayerFX" : "HideLayerFX", {1, 0, 300}), "");  // back to the start
      Table("async", {{"type", id}, {"speed", 3}, {"async", 1}});
      srand48(kSeed);  // the puzzle's order as in play
      ASSERT_EQ(Call(hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
      const int32_t n = int32_t(played.size());
      CheckSeeksReplay(played, {n - 1, 2, n, n / 2, 1});
    }
}

}  // namespace
