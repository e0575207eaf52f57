// Curtains, bars, quarters, reveals, lines and rectangles on every kind of
// source and speed: the frame counts their step rules give, every frame made
// only of old and new pixels, nothing revealed ever covered again, and the
// last frame the whole new picture; then the numbers and shapes the effects
// promise for particular pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/objecttypes.h"
#include "support/fxmodel.h"
#include "support/fxscene.h"

namespace {

using fxtest::NamedStep;
using fxtest::NewPixel;
using fxtest::OldPixel;
using fxtest::Pixels;
using fxtest::Steps;
namespace ot = vkObjectType;

// The frame count of [id] on a width x height source at [speed].
int64_t FrameCount(int32_t id, int32_t speed, int64_t w, int64_t h) {
  const bool alongX = id == 24 || id == 25 || id == 30 || id == 31 || id == 34 || id == 37;
  const int64_t n = alongX ? w : h;
  if (id == 24 || id == 26) {
    const int64_t t = std::min<int64_t>(NamedStep(speed, int32_t(n), 140, 60, 320), n / 4);
    return Steps(n - t - (n / 2 - 1) - 1, t + 1, false);
  }
  if (id == 25 || id == 27) {
    int64_t t = NamedStep(speed, int32_t(n), 140, 60, 320);
    if (t > n / 2) t = 1;
    return Steps(n / 2, t + 1, false);
  }
  if (id == 28) {
    int64_t t = NamedStep(speed, 16, 16, 8, 40);
    if (t >= 9) t = 8;
    return Steps(23, t + 1, false);
  }
  if (id == 29) {
    const int64_t t = std::min<int64_t>(NamedStep(speed, int32_t(w), 70, 30, 200), h / 4);
    return Steps(h - h / 2 - t - 1, t + 1, false);
  }
  if (id >= 30 && id <= 33) {
    int64_t t = NamedStep(speed, int32_t(n), 70, 30, 200);
    if (t > n / 2) t = id >= 32 ? n / 2 : 1;
    return Steps(n - t - 1, t + 1, false);
  }
  if (id == 108 || id == 109) {
    const int64_t t = std::clamp<int64_t>(NamedStep(speed, int32_t(std::max(w, h)), 120, 60, 240), 1, 30);
    return Steps((id == 108 ? w : h) / 4 + t, t, true);
  }
  if (id == 34 || id == 35) return Steps(n, 2, false);
  if (id == 36 || id == 37) return Steps(2 * n, 2, false);
  const int64_t larger = std::max(w, h);
  int64_t t = NamedStep(speed, int32_t(larger), 70, 30, 200);
  if (t > larger / 4) t = 1;
  return Steps(larger - t, t, false);
}

class BandEffects : public fxtest::FXScene {
 protected:
  static constexpr int32_t kW = 48, kH = 32, kX = 5, kY = 4;

  // Frames of [id] on a fresh scene: on brush 3 of width x height at
  // (kX, kY), or with [async] stepped by the script.
  std::vector<Pixels> Run(int32_t id, int32_t speed, int32_t w, int32_t h, bool async, int32_t dw = kW,
                          int32_t dh = kH) {
    MakeDisplay(dw, dh);
    MakeBrush(3, w, h, false);
    std::vector<Pixels> frames;
    vkFXRequest rq;
    rq.L = L, rq.operation = ot::BRUSH, rq.id = {3, nullptr}, rq.x = kX, rq.y = kY;
    rq.type = id, rq.speed = speed, rq.async = async ? 1 : 0;
    if (!async) {
      EXPECT_EQ(RunCollecting(rq, &frames), 0u);
      return frames;
    }
    EXPECT_EQ(RunTransitionFX(rq), 1u);
    StepAll(&frames);
    return frames;
  }
  bool IsNew(const Pixels& f, int32_t px, int32_t py, int32_t dw = kW) const {
    return f[size_t(py) * size_t(dw) + size_t(px)] == NewPixel(px - kX, py - kY);
  }
};

TEST_F(BandEffects, EveryBandEffectRevealsTheWholePictureOnceAndForAll) {
  std::vector<int32_t> ids;
  for (int32_t id = 24; id <= 46; id++) ids.push_back(id);
  for (int32_t id = 88; id <= 96; id++) ids.push_back(id);
  ids.push_back(108), ids.push_back(109);  // the splits
  const int32_t sizes[][2] = {{37, 23}, {23, 37}, {1, 1}, {1, 2}, {2, 1}, {4, 3}};
  for (int32_t id : ids)
    for (bool async : {false, true})
      for (int32_t speed : {-1, -2, -3, 300})
        for (const auto& size : sizes) {
          const int32_t w = size[0], h = size[1];
          SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                       std::to_string(speed) + (async ? " async" : ""));
          const std::vector<Pixels> frames = Run(id, speed, w, h, async);
          ASSERT_EQ(int64_t(frames.size()), FrameCount(id, speed, w, h));
          std::vector<uint8_t> shown(size_t(kW) * kH, 0);
          for (size_t f = 0; f < frames.size(); f++)
            for (int32_t py = 0; py < kH; py++)
              for (int32_t px = 0; px < kW; px++) {
                const size_t i = size_t(py) * kW + size_t(px);
                const bool inside = px >= kX && py >= kY && px < kX + w && py < kY + h;
                const bool isNew = inside && IsNew(frames[f], px, py);
                ASSERT_TRUE(isNew || frames[f][i] == OldPixel(px, py)) << "frame " << f + 1 << " at " << px << "," << py;
                ASSERT_TRUE(isNew || !shown[i]) << "covered again in frame " << f + 1 << " at " << px << "," << py;
                if (f + 1 == frames.size()) {
                  ASSERT_EQ(isNew, inside) << "last frame at " << px << "," << py;
                }
                shown[i] = isNew;
              }
        }
}

TEST_F(BandEffects, TheEffectsKeepTheirShapes) {
  // An opening curtain on 100 rows: bands of two rows from the middle out.
  std::vector<Pixels> f = Run(26, -1, 10, 100, false, 20, 110);
  ASSERT_EQ(f.size(), 26u);  // FXStepCount(49, 2, 0)
  for (int32_t row = 0; row < 100; row++) {
    EXPECT_EQ(IsNew(f[0], kX, kY + row, 20), row == 49 || row == 50) << row;
    EXPECT_EQ(IsNew(f[1], kX, kY + row, 20), row >= 47 && row <= 52) << row;
  }
  // A closing curtain with a step above half the size runs with step 1.
  EXPECT_EQ(Run(27, 60, 10, 100, false, 20, 110).size(), 26u);
  // Bars take 13 frames at normal speed whatever the size.
  EXPECT_EQ(Run(28, -1, 37, 23, false).size(), 13u);
  EXPECT_EQ(Run(28, -1, 3, 2, false).size(), 13u);
  // Quarters on an odd width: the last column wipes upward with the right half.
  f = Run(29, -1, 41, 20, false, 60, 30);
  ASSERT_FALSE(f.empty());
  EXPECT_TRUE(IsNew(f[0], kX + 40, kY + 19, 60));
  EXPECT_FALSE(IsNew(f[0], kX + 40, kY, 60));
  EXPECT_TRUE(IsNew(f[0], kX, kY, 60));
  EXPECT_FALSE(IsNew(f[0], kX, kY + 19, 60));
  // Reveals: a step above half the width is 1, above half the height is half.
  EXPECT_EQ(Run(30, 30, 40, 10, false).size(), size_t(Steps(40 - 1 - 1, 2, false)));
  f = Run(32, 30, 10, 20, false);
  EXPECT_EQ(f.size(), 2u);  // two bands of 11 rows
  // Lines: one column a frame, even ones first, then the odd ones back.
  f = Run(37, -2, 4, 3, false);
  ASSERT_EQ(f.size(), 5u);
  const int32_t order[] = {0, 2, 3, 3, 1};
  std::vector<bool> had(4, false);
  for (size_t i = 0; i < 5; i++) {
    had[size_t(order[i])] = true;
    for (int32_t c = 0; c < 4; c++) EXPECT_EQ(IsNew(f[i], kX + c, kY), had[size_t(c)]) << i << " " << c;
  }
  f = Run(34, -3, 4, 3, false);  // paired: 0 and 3, 2 and 1, then 3 and 0 again
  ASSERT_EQ(f.size(), 3u);
  EXPECT_TRUE(IsNew(f[0], kX, kY) && IsNew(f[0], kX + 3, kY) && !IsNew(f[0], kX + 1, kY) && !IsNew(f[0], kX + 2, kY));
  EXPECT_TRUE(IsNew(f[1], kX + 1, kY) && IsNew(f[1], kX + 2, kY));
  // A centred rectangle on 200 x 100 starts as 2 x 2 at (99, 49), 100 frames.
  f = Run(38, -1, 200, 100, false, 210, 110);
  ASSERT_EQ(f.size(), 100u);
  for (int32_t y = 45; y < 55; y++)
    for (int32_t x = 95; x < 105; x++)
      EXPECT_EQ(IsNew(f[0], kX + x, kY + y, 210), x >= 99 && x <= 100 && y >= 49 && y <= 50) << x << "," << y;
  // A shrinking hole towards the top-left corner: that corner is revealed last.
  f = Run(92, -1, 30, 20, false);
  for (size_t i = 0; i + 1 < f.size(); i++) EXPECT_FALSE(IsNew(f[i], kX, kY)) << i;
  EXPECT_TRUE(IsNew(f[0], kX + 29, kY + 19));
}

}  // namespace

namespace {

// The rectangle a stretch or zoom shows after frame k: the extent k steps
// along its axis at its anchor, in the picture's proportions for zooms.
struct Shape {
  int64_t x, y, w, h;
};
Shape Stretched(int32_t id, int64_t w, int64_t h, int64_t extent) {
  const bool alongX = id == 55 || id == 56 || id == 60, alongY = id == 57 || id == 58 || id == 59;
  const int64_t axis = alongX ? w : alongY ? h : std::max(w, h);
  if (extent >= axis) return {0, 0, w, h};
  int64_t rw = w, rh = h;
  if (alongX) rw = extent;
  if (alongY) rh = extent;
  if (!alongX && !alongY) {
    const int64_t other = std::max<int64_t>(1, int64_t(double(std::min(w, h)) / double(std::max(w, h)) * double(extent)));
    rw = h > w ? other : extent, rh = h > w ? extent : other;
  }
  // Anchors: 0 left or top, 1 centre, 2 right or bottom.
  static const int anchors[][2] = {{0, 0}, {2, 0}, {0, 0}, {0, 2}, {0, 1}, {1, 0}, {1, 1}, {1, 0}, {2, 0},
                                   {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}, {0, 0}};
  const int ax = anchors[id - 55][0], ay = anchors[id - 55][1];
  const int64_t x = ax == 0 ? 0 : ax == 2 ? w - rw : (w - rw) / 2, y = ay == 0 ? 0 : ay == 2 ? h - rh : (h - rh) / 2;
  return {x, y, rw, rh};
}

}  // namespace

TEST_F(BandEffects, StretchesAndZoomsGrowTheScaledPictureFromTheirAnchors) {
  const int32_t sizes[][2] = {{37, 23}, {23, 37}, {1, 1}, {2, 1}, {1, 2}};
  for (int32_t id = 55; id <= 69; id++)
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        const std::vector<Pixels> frames = Run(id, speed, w, h, speed == -2);
        const bool alongX = id == 55 || id == 56 || id == 60, alongY = id == 57 || id == 58 || id == 59;
        const int64_t axis = alongX ? w : alongY ? h : std::max(w, h);
        const int64_t step = NamedStep(speed, int32_t(axis), 30, 10, 80);
        ASSERT_EQ(int64_t(frames.size()), fxtest::CeilDiv(axis, step));
        for (size_t f = 0; f < frames.size(); f++) {
          const Shape r = Stretched(id, w, h, int64_t(f + 1) * step);
          for (int32_t py = 0; py < kH; py++)
            for (int32_t px = 0; px < kW; px++) {
              const int64_t bx = px - kX, by = py - kY;
              const bool in = bx >= r.x && by >= r.y && bx < r.x + r.w && by < r.y + r.h;
              const uint32_t got = frames[f][size_t(py) * kW + size_t(px)];
              if (f + 1 == frames.size() && in) {
                ASSERT_EQ(got, NewPixel(int32_t(bx), int32_t(by))) << "last frame at " << px << "," << py;
              } else if (in) {
                ASSERT_EQ(got & 0xF00000u, 0x800000u) << "frame " << f + 1 << " at " << px << "," << py;
              } else {
                ASSERT_EQ(got, OldPixel(px, py)) << "frame " << f + 1 << " at " << px << "," << py;
              }
            }
        }
      }
  // A centred zoom of 200 x 100 at normal speed: 6 x 3 in the middle first.
  const std::vector<Pixels> f = Run(61, -1, 200, 100, false, 210, 110);
  ASSERT_EQ(f.size(), 34u);
  for (int32_t y = 45; y < 55; y++)
    for (int32_t x = 94; x < 106; x++)
      EXPECT_EQ(IsNew(f[0], kX + x, kY + y, 210) || (f[0][size_t(kY + y) * 210 + size_t(kX + x)] & 0xF00000u) == 0x800000u,
                x >= 97 && x < 103 && y >= 48 && y < 51)
          << x << "," << y;
}

TEST_F(BandEffects, FlowsPourThePictureInWithTheNextLineStretchedAhead) {
  const int32_t sizes[][2] = {{37, 23}, {23, 37}, {1, 1}, {2, 1}, {1, 2}};
  for (int32_t id = 70; id <= 73; id++)
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        const bool rows = id <= 71, far = id == 71 || id == 73;
        const int64_t n = rows ? h : w;
        const int64_t t = std::clamp<int64_t>(NamedStep(speed, int32_t(n), rows ? 50 : 30, rows ? 20 : 10, rows ? 120 : 80), 1, 30);
        const std::vector<Pixels> frames = Run(id, speed, w, h, speed == -2);
        ASSERT_EQ(int64_t(frames.size()), fxtest::CeilDiv(n, t));
        for (size_t f = 0; f < frames.size(); f++) {
          const int64_t moved = int64_t(f + 1) * t;
          const int64_t q = far ? std::max<int64_t>(n - moved, 0) : std::min<int64_t>(moved, n);
          for (int32_t py = 0; py < kH; py++)
            for (int32_t px = 0; px < kW; px++) {
              int32_t bx = px - kX, by = py - kY;
              uint32_t want = OldPixel(px, py);
              if (bx >= 0 && by >= 0 && bx < w && by < h) {
                int32_t& a = rows ? by : bx;
                const bool revealed = far ? a >= q : a < q;
                if (!revealed) a = int32_t(q - 1);
                want = NewPixel(bx, by);
              }
              ASSERT_EQ(frames[f][size_t(py) * kW + size_t(px)], want) << "frame " << f + 1 << " at " << px << "," << py;
            }
        }
      }
  // 200 rows at normal speed: 4 a frame, 50 frames; fast on 1000 rows: 30 a frame.
  EXPECT_EQ(Run(70, -1, 20, 200, false, 30, 210).size(), 50u);
  EXPECT_EQ(Run(70, -2, 4, 1000, false, 10, 1010).size(), 34u);
}

TEST_F(BandEffects, PushesSlideTheNewPictureInAndTheOldOneOut) {
  const int32_t sizes[][2] = {{37, 23}, {1, 1}, {2, 1}};
  for (int32_t id = 78; id <= 81; id++)
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        MakeDisplay(w, h);
        std::vector<Pixels> frames;
        vkFXRequest rq;
        rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = id, rq.speed = speed;
        ASSERT_EQ(RunCollecting(rq, &frames), 0u);
        const bool alongX = id <= 79, far = id == 79 || id == 81;
        const int64_t n = alongX ? w : h, step = NamedStep(speed, int32_t(n), 40, 10, 100);
        ASSERT_EQ(int64_t(frames.size()), fxtest::CeilDiv(n, step));
        for (size_t f = 0; f < frames.size(); f++) {
          const int64_t o = std::min<int64_t>(int64_t(f + 1) * step, n);
          for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
              const int64_t a = alongX ? x : y;
              // The new picture covers [0, o) from the near edge, [n - o, n) from the far one.
              const bool fresh = far ? a >= n - o : a < o;
              const int64_t from = fresh ? (far ? a - (n - o) : a + n - o) : (far ? a + o : a - o);
              const int32_t fx = alongX ? int32_t(from) : x, fy = alongX ? y : int32_t(from);
              ASSERT_EQ(frames[f][size_t(y) * size_t(w) + size_t(x)], fresh ? NewPixel(fx, fy) : OldPixel(fx, fy))
                  << "frame " << f + 1 << " at " << x << "," << y;
            }
        }
      }
  // 640 pixels at normal speed: 16 a frame, 40 frames.
  MakeDisplay(640, 8);
  std::vector<Pixels> frames;
  vkFXRequest rq;
  rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = 78;
  ASSERT_EQ(RunCollecting(rq, &frames), 0u);
  EXPECT_EQ(frames.size(), 40u);
}

TEST_F(BandEffects, ScrollsMoveTheObjectInFromOutsideTheDisplay) {
  for (int32_t id = 47; id <= 54; id++) {
    SCOPED_TRACE("id " + std::to_string(id));
    const std::vector<Pixels> frames = Run(id, -1, 10, 6, false);
    ASSERT_FALSE(frames.empty());
    // The brush ends at its place over the old picture.
    for (int32_t py = 0; py < kH; py++)
      for (int32_t px = 0; px < kW; px++) {
        const bool inside = px >= kX && py >= kY && px < kX + 10 && py < kY + 6;
        ASSERT_EQ(frames.back()[size_t(py) * kW + size_t(px)], inside ? NewPixel(px - kX, py - kY) : OldPixel(px, py))
            << px << "," << py;
      }
    // It came from outside: a first frame before the last shows it away from its place.
    if (frames.size() > 1) {
      EXPECT_FALSE(IsNew(frames.front(), kX, kY) && IsNew(frames.front(), kX + 9, kY + 5));
    }
  }
  // SCROLLLEFT at normal speed: 10 pixels a step from just left of the display.
  const std::vector<Pixels> left = Run(47, -1, 10, 6, false);
  EXPECT_EQ(left.size(), size_t((kX + 10 + 9) / 10));
}

TEST_F(BandEffects, GatesOpenTheOldPictureAndCloseTheNewOneOverIt) {
  const int32_t sizes[][2] = {{37, 23}, {23, 37}, {1, 1}, {2, 3}};
  for (int32_t id = 74; id <= 77; id++)
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        MakeDisplay(w, h);
        std::vector<Pixels> frames;
        vkFXRequest rq;
        rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = id, rq.speed = speed;
        ASSERT_EQ(RunCollecting(rq, &frames), 0u);
        const bool rows = id <= 75, open = id == 74 || id == 76;
        const int64_t n = rows ? h : w, step = NamedStep(speed, int32_t(n), 80, 30, 200);
        const int64_t half = open ? n / 2 + n % 2 : n / 2;
        ASSERT_EQ(int64_t(frames.size()), std::max<int64_t>(1, fxtest::CeilDiv(half, step)));
        for (size_t f = 0; f < frames.size(); f++) {
          const int64_t moved = int64_t(f + 1) * step;
          const bool end = moved >= half;
          for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
              const int64_t a = rows ? y : x;
              bool fresh = true;
              int64_t from = a;
              if (!end && open) {
                const int64_t p = half - moved, q = n - half + moved;
                if (a < p) fresh = false, from = a + half - p;
                if (a >= q) fresh = false, from = a - q + half;
              } else if (!end) {
                if (a < moved) from = a - moved + half;
                else if (a >= n - moved) from = a - (n - moved) + half;
                else fresh = false;
              }
              const int32_t fx = rows ? x : int32_t(from), fy = rows ? int32_t(from) : y;
              ASSERT_EQ(frames[f][size_t(y) * size_t(w) + size_t(x)], fresh ? NewPixel(fx, fy) : OldPixel(fx, fy))
                  << "frame " << f + 1 << " at " << x << "," << y;
            }
        }
      }
  // 480 rows closing at normal speed: 6 a step, 40 frames.
  MakeDisplay(8, 480);
  std::vector<Pixels> frames;
  vkFXRequest rq;
  rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = 75;
  ASSERT_EQ(RunCollecting(rq, &frames), 0u);
  EXPECT_EQ(frames.size(), 40u);
}

TEST_F(BandEffects, SlidesPushTheOldPictureOutOverAColourAndBringTheNewOneIn) {
  const uint32_t colour = 0x304050;
  const int32_t sizes[][2] = {{37, 23}, {1, 1}, {2, 3}};
  for (int32_t id = 101; id <= 104; id++)
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        MakeDisplay(w, h);
        std::vector<Pixels> frames;
        vkFXRequest rq;
        rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = id, rq.speed = speed, rq.parameter = colour;
        ASSERT_EQ(RunCollecting(rq, &frames), 0u);
        const bool alongX = id <= 102, far = id == 101 || id == 103;
        const int64_t n = alongX ? w : h, step = std::clamp<int64_t>(NamedStep(speed, int32_t(n), 60, 30, 120), 1, 30);
        ASSERT_EQ(int64_t(frames.size()), fxtest::CeilDiv(2 * n, step));
        for (size_t f = 0; f < frames.size(); f++) {
          const int64_t t = std::min<int64_t>(int64_t(f + 1) * step, 2 * n);
          const bool leaving = t <= n, end = t >= 2 * n;
          const int64_t at = end ? 0 : leaving ? (far ? t : -t) : (far ? 2 * n - t : t - 2 * n);
          for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
              const int64_t from = (alongX ? x : y) - at;
              uint32_t want = colour;
              if (from >= 0 && from < n) {
                const int32_t fx = alongX ? int32_t(from) : x, fy = alongX ? y : int32_t(from);
                want = leaving && !end ? OldPixel(fx, fy) : NewPixel(fx, fy);
              }
              ASSERT_EQ(frames[f][size_t(y) * size_t(w) + size_t(x)], want) << "frame " << f + 1 << " at " << x << "," << y;
            }
        }
      }
}

// Every row of every frame comes from the old or the new picture as the
// turn places it, also at odd heights on the frame at the middle.
TEST_F(BandEffects, CardsTurnTheOldPictureAwayAndDealTheNewOneIn) {
  const int32_t sizes[][2] = {{37, 23}, {1, 1}, {2, 3}, {5, 8}, {4, 3}, {4, 5}, {4, 23}, {4, 61}};
  for (int32_t id = 111; id <= 112; id++)
    for (int32_t speed : {-1, -2, 300, 1, 2})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        MakeDisplay(w, h);
        std::vector<Pixels> frames;
        vkFXRequest rq;
        rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = id, rq.speed = speed;
        ASSERT_EQ(RunCollecting(rq, &frames), 0u);
        const int64_t step = std::clamp<int64_t>(NamedStep(speed, std::max(w, h), 60, 30, 120), 1, 30);
        ASSERT_EQ(int64_t(frames.size()), fxtest::CeilDiv(h, step));
        for (size_t f = 0; f < frames.size(); f++) {
          const int64_t t = std::min<int64_t>(int64_t(f + 1) * step, h), half = (h + 1) / 2;
          for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
              bool fresh;
              int64_t row;
              if (id == 111) {
                fresh = y < t;
                row = fresh ? (t < half ? y + t : y + h - t) : (t < half ? y - t : y + t - h);
              } else {
                fresh = y >= h - t;
                row = fresh ? (t < half ? y - t : y - (h - t)) : (t < half ? y + t : y + h - t);
              }
              ASSERT_TRUE(row >= 0 && row < h) << "frame " << f + 1 << " at " << x << "," << y;
              ASSERT_EQ(frames[f][size_t(y) * size_t(w) + size_t(x)],
                        fresh ? NewPixel(x, int32_t(row)) : OldPixel(x, int32_t(row)))
                  << "frame " << f + 1 << " at " << x << "," << y;
            }
        }
      }
}

TEST_F(BandEffects, ZoomInAndOutTakeTheOldPictureIntoTheCentreAndBringTheNewOneOut) {
  const uint32_t border = 0x0000FF;
  const int32_t sizes[][2] = {{37, 23}, {23, 37}, {1, 1}, {2, 3}};
  for (int32_t id : {118, 119})
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE("id " + std::to_string(id) + " " + std::to_string(w) + "x" + std::to_string(h) + " speed " +
                     std::to_string(speed));
        MakeDisplay(w, h);
        std::vector<Pixels> frames;
        vkFXRequest rq;
        rq.operation = ot::BGPIC, rq.id = {2, nullptr}, rq.type = id, rq.speed = speed, rq.parameter = border;
        ASSERT_EQ(RunCollecting(rq, &frames), 0u);
        const int64_t larger = std::max(w, h), step = NamedStep(speed, int32_t(larger), 60, 30, 120);
        ASSERT_EQ(int64_t(frames.size()), fxtest::CeilDiv(2 * larger, step));
        for (size_t f = 0; f < frames.size(); f++) {
          const int64_t t = int64_t(f + 1) * step;
          // Before the middle the old picture shows (and, zooming in, the border), then the new one.
          const uint32_t coded = t <= larger ? 0x100000u : 0x800000u;
          for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
              const uint32_t got = frames[f][size_t(y) * size_t(w) + size_t(x)];
              if (f + 1 == frames.size()) {
                ASSERT_EQ(got, NewPixel(x, y)) << x << "," << y;
              } else {
                ASSERT_TRUE((got & 0xF00000u) == coded || (id == 118 && got == border))
                    << "frame " << f + 1 << " at " << x << "," << y << ": " << std::hex << got;
              }
            }
        }
      }
}
