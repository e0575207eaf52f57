// Dissolve, the mask shapes (clock wipe, star, sun), water and strudel, and
// roll and wallpaper, every frame as the window shows it: on a background
// picture, on brushes (plain, masked, half off the left edge), on layers
// shown under a covering layer, hidden, and stepped asynchronously, at the
// named speeds and a large one, on pictures down to a single pixel. Each
// frame is checked against what the effect promises: dissolve against its
// seeded order, the shapes for growing without ever covering again and
// ending on the whole picture, water and strudel against their kernels fed
// the frame's step; seeks land on the frames play shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "effects/fxcomposed.h"
#include "effects/fxengine.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "graphics/objecttypes.h"
#include "graphics/safeblt.h"
#include "layers/layers.h"
#include "pixel/bitmapops.h"
#include "pixel/blit.h"
#include "pixel/pixfmt.h"
#include "pixel/transitionkernels.h"
#include "support/fxmodel.h"
#include "support/fxscene.h"

namespace {

using fxtest::NewPixel;
using fxtest::OldPixel;
using fxtest::Pixels;
using fxtest::Steps;
using vktest::Arg;
namespace ot = vkObjectType;

constexpr int32_t kDissolve = 139, kClockWipe = 97, kStar = 98, kSun = 114;
constexpr int32_t kWater1 = 134, kStrudel = 138;
constexpr int32_t kRollTop = 84, kRollLeft = 85, kWallpaperTop = 86, kWallpaperLeft = 87;

enum class Mode {
  BGPic, Brush, MaskedBrush, BrushOffLeft, ShowCovered, Hide, AsyncShow, AsyncHide, MaskedCovered, MaskedHide,
  AlphaBrush, AlphaCovered, AlphaHide
};

const char* ModeName(Mode m) {
  switch (m) {
    case Mode::BGPic: return "bgpic";
    case Mode::Brush: return "brush";
    case Mode::MaskedBrush: return "masked brush";
    case Mode::BrushOffLeft: return "brush off the left edge";
    case Mode::ShowCovered: return "covered layer shown";
    case Mode::Hide: return "layer hidden";
    case Mode::AsyncShow: return "layer shown asynchronously";
    case Mode::AsyncHide: return "layer hidden asynchronously";
    case Mode::MaskedCovered: return "covered masked layer shown";
    case Mode::MaskedHide: return "masked layer hidden";
    case Mode::AlphaBrush: return "brush with alpha";
    case Mode::AlphaCovered: return "covered layer with alpha shown";
    case Mode::AlphaHide: return "layer with alpha hidden";
  }
  return "";
}

constexpr Mode kAllModes[] = {Mode::BGPic,     Mode::Brush,     Mode::MaskedBrush,   Mode::BrushOffLeft,
                              Mode::ShowCovered, Mode::Hide,     Mode::AsyncShow,     Mode::AsyncHide,
                              Mode::MaskedCovered, Mode::MaskedHide, Mode::AlphaBrush,
                              Mode::AlphaCovered,  Mode::AlphaHide};

constexpr int32_t kW = 48, kH = 32;  // the display of the brush and layer modes
constexpr int32_t kX = 5, kY = 4;    // where the brush or layer stands
// The covering layer: brush 4, a plain colour.
constexpr int32_t kCoverX = 12, kCoverY = 9, kCoverW = 9, kCoverH = 6;
constexpr uint32_t kCover = 0x00C000;

// One run: what it showed after every frame and where.
struct Played {
  std::vector<Pixels> frames;
  int32_t dw = 0, dh = 0;  // the display
  int32_t x = 0, y = 0;    // the picture's place on it
  int32_t w = 0, h = 0;
  bool hiding = false, masked = false, covered = false;

  bool Inside(int32_t px, int32_t py) const {
    const int32_t bx = px - x, by = py - y;
    return bx >= 0 && by >= 0 && bx < w && by < h;
  }
  bool Cover(int32_t px, int32_t py) const {
    return covered && px >= kCoverX && py >= kCoverY && px < kCoverX + kCoverW && py < kCoverY + kCoverH;
  }
  // The pixel before the effect and the one it leads to.
  uint32_t Start(int32_t px, int32_t py) const {
    return hiding && Inside(px, py) && Set(px, py) ? NewPixel(px - x, py - y) : OldPixel(px, py);
  }
  // The brush's mask at a display position (set everywhere when unmasked).
  bool Set(int32_t px, int32_t py) const { return !masked || (((px - x) / 2 + (py - y) / 2) % 2 == 0); }
  uint32_t Target(int32_t px, int32_t py) const {
    if (!Inside(px, py) || hiding) return OldPixel(px, py);
    if (!Set(px, py)) return OldPixel(px, py);
    return NewPixel(px - x, py - y);
  }
  uint32_t At(size_t f, int32_t px, int32_t py) const { return frames[f][size_t(py) * size_t(dw) + size_t(px)]; }
};

std::string Describe(int32_t id, Mode mode, int32_t speed, int32_t w, int32_t h) {
  return "id " + std::to_string(id) + " on a " + ModeName(mode) + " of " + std::to_string(w) + "x" +
         std::to_string(h) + " at speed " + std::to_string(speed);
}

class ComposedEffects : public fxtest::FXScene {
 protected:
  // Layers on, brush 3 of width x height as layer 1 at (kX, kY), shown or
  // hidden, and with [covered] brush 4 over part of it.
  // Brush [number] of new pixels whose alpha is 255 on the checkerboard
  // cells a masked brush shows and 0 elsewhere.
  void MakeAlphaBrush(int32_t number, int32_t w, int32_t h) {
    ASSERT_EQ(FreeBrushById(gs(), vkObjectId{number, nullptr}, false), 0);
    vkBrush* b = nullptr;
    ASSERT_EQ(CreateBrushRecord(gs(), vkIdRequest{number, false}, w, h, 0, false, true, true, &b), 0);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) {
        WriteBitMapPixel(b->bitmap.get(), x, y, NewPixel(x, y));
        b->alpha->data[size_t(y) * size_t(b->alpha->bytesPerRow) + size_t(x)] = (x / 2 + y / 2) % 2 == 0 ? 255 : 0;
      }
  }
  void LayerScene(int32_t w, int32_t h, bool shown, bool covered, bool masked = false, bool alpha = false) {
    MakeDisplay(kW, kH);
    ASSERT_EQ(Call("EnableLayers", {}), "");
    Table("hidden", {{"hidden", 1}});
    if (alpha)
      MakeAlphaBrush(3, w, h);
    else
      MakeBrush(3, w, h, masked);
    if (shown)
      ASSERT_EQ(Call("DisplayBrush", {3, kX, kY}), "");
    else
      ASSERT_EQ(Call("DisplayBrush", {3, kX, kY, Arg::global("hidden")}), "");
    if (covered) {
      MakeBrush(4, kCoverW, kCoverH, false);
      FillBitMapRect(Brushes(gs()).brushes.back().bitmap.get(), kCover, 0, 0, kCoverW, kCoverH);
      ASSERT_EQ(Call("DisplayBrush", {4, kCoverX, kCoverY}), "");
    }
  }

  // Runs [id] in [mode]; rand is seeded with [seed] just before.
  Played Play(int32_t id, Mode mode, int32_t speed, int32_t w, int32_t h, unsigned seed = 7) {
    Played r;
    r.w = w, r.h = h;
    const bool alpha = mode == Mode::AlphaBrush || mode == Mode::AlphaCovered || mode == Mode::AlphaHide;
    r.hiding = mode == Mode::Hide || mode == Mode::AsyncHide || mode == Mode::MaskedHide || mode == Mode::AlphaHide;
    r.masked = alpha || mode == Mode::MaskedBrush || mode == Mode::MaskedCovered || mode == Mode::MaskedHide;
    r.covered = mode == Mode::ShowCovered || mode == Mode::MaskedCovered || mode == Mode::AlphaCovered;
    const bool layer = r.covered || r.hiding || mode == Mode::AsyncShow;
    r.dw = mode == Mode::BGPic ? w : kW, r.dh = mode == Mode::BGPic ? h : kH;
    if (mode != Mode::BGPic) r.x = mode == Mode::BrushOffLeft ? -(w / 2) - 1 : kX, r.y = kY;
    if (layer) {
      LayerScene(w, h, r.hiding, r.covered, r.masked, alpha);
    } else {
      MakeDisplay(r.dw, r.dh);
      if (alpha)
        MakeAlphaBrush(3, w, h);
      else if (mode != Mode::BGPic)
        MakeBrush(3, w, h, r.masked);
    }
    if (HasFatalFailure()) return r;
    srand(seed);
    if (mode == Mode::AsyncShow || mode == Mode::AsyncHide) {
      Table("async", {{"type", id}, {"speed", speed}, {"async", 1}});
      EXPECT_EQ(Call(r.hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
      StepAll(&r.frames);
      return r;
    }
    vkFXRequest rq;
    rq.type = id, rq.speed = speed;
    rq.x = r.x, rq.y = r.y;
    if (mode == Mode::BGPic) {
      rq.operation = ot::BGPIC, rq.id = {2, nullptr};
    } else if (layer) {
      rq.operation = r.hiding ? ot::HIDELAYER : ot::LAYER, rq.id = {1, nullptr}, rq.reverse = r.hiding ? 1 : 0;
    } else {
      rq.operation = ot::BRUSH, rq.id = {3, nullptr};
    }
    EXPECT_EQ(RunCollecting(rq, &r.frames), 0u);
    return r;
  }

  // Checks every frame of [r] against [want]: the pixel at a picture
  // position (bx, by) in frame k (1-based) shows the target or the start.
  // Outside the picture the old pixels stay; the covering layer stays on top.
  void CheckFrames(const Played& r, const std::function<bool(int32_t bx, int32_t by, int64_t k)>& revealed) {
    for (size_t f = 0; f < r.frames.size(); f++)
      for (int32_t py = 0; py < r.dh; py++)
        for (int32_t px = 0; px < r.dw; px++) {
          uint32_t want = OldPixel(px, py);
          if (r.Inside(px, py))
            want = revealed(px - r.x, py - r.y, int64_t(f) + 1) ? r.Target(px, py) : r.Start(px, py);
          if (r.Cover(px, py)) want = kCover;
          if (r.At(f, px, py) != want) {
            ADD_FAILURE() << "frame " << f + 1 << " of " << r.frames.size() << " at " << px << "," << py
                          << ": got " << std::hex << r.At(f, px, py) << " want " << want;
            return;
          }
        }
  }

  // For effects whose exact shape is their own: every frame shows only
  // start and target pixels, nothing revealed is covered again, and the
  // last frame shows the target whole.
  void CheckGrowsToTheWhole(const Played& r) {
    std::vector<bool> was(size_t(r.dw) * size_t(r.dh), false);
    for (size_t f = 0; f < r.frames.size(); f++)
      for (int32_t py = 0; py < r.dh; py++)
        for (int32_t px = 0; px < r.dw; px++) {
          if (r.Cover(px, py)) continue;
          const uint32_t got = r.At(f, px, py), start = r.Start(px, py), target = r.Target(px, py);
          const size_t i = size_t(py) * size_t(r.dw) + size_t(px);
          const bool last = f + 1 == r.frames.size();
          if (got != start && got != target) {
            ADD_FAILURE() << "frame " << f + 1 << " at " << px << "," << py << ": got " << std::hex << got
                          << ", neither " << start << " nor " << target;
            return;
          }
          if (start == target) continue;
          if (was[i] && got != target) {
            ADD_FAILURE() << "frame " << f + 1 << " covers " << px << "," << py << " again";
            return;
          }
          if (last && got != target) {
            ADD_FAILURE() << "the last frame (" << f + 1 << ") leaves " << px << "," << py;
            return;
          }
          was[i] = got == target;
        }
  }

  // The end of a layer run: the layer shown or hidden, the effect's
  // buffers gone, and the brush's lock given back.
  void CheckLayerEnd(const Played& r) {
    vkLayer* first = GetNthLayer(display()->bgpic, 1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->hidden, r.hiding ? 1 : 0);
    EXPECT_EQ(first->onScreen->transformedBitmap, nullptr);
    EXPECT_EQ(BrushLocks(3), 0);
  }

  // Plays [id] as an async show or hide of a layer, then runs it again and
  // seeks to [seeks]: each seek shows the frame play showed, and play goes
  // on from the last one to the same end.
  void CheckSeeks(int32_t id, int32_t speed, bool hiding, int32_t w, int32_t h, std::vector<int32_t> seeks) {
    SCOPED_TRACE("seeks of " + std::to_string(id) + (hiding ? " hiding" : " showing"));
    const Played played = Play(id, hiding ? Mode::AsyncHide : Mode::AsyncShow, speed, w, h, 11);
    ASSERT_FALSE(played.frames.empty());
    LayerScene(w, h, hiding, false);
    srand(11);
    Table("async", {{"type", id}, {"speed", speed}, {"async", 1}});
    ASSERT_EQ(Call(hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
    CheckSeeksReplay(played.frames, seeks);
  }
};

// ---- dissolve ----------------------------------------------------------------------

TEST_F(ComposedEffects, DissolveShowsEachPixelOnceItsSeededThresholdLiesBelowTheLevel) {
  const int32_t sizes[][2] = {{37, 23}, {16, 10}, {1, 1}, {1, 2}, {2, 1}};
  for (Mode mode : kAllModes)
    for (int32_t speed : {-1, -2, 300})
      for (const auto& size : sizes) {
        const int32_t w = size[0], h = size[1];
        SCOPED_TRACE(Describe(kDissolve, mode, speed, w, h));
        const Played r = Play(kDissolve, mode, speed, w, h);
        if (HasFatalFailure()) return;
        // The order: one draw per pixel in row order, 0..254, from the seed.
        srand(7);
        std::vector<int32_t> threshold(size_t(w) * size_t(h));
        for (int32_t& t : threshold) t = rand() % 255;
        const int64_t step = speed == -2 ? 8 : speed == -1 ? 4 : 8;
        ASSERT_EQ(int64_t(r.frames.size()), Steps(256, step, true));
        CheckFrames(r, [&](int32_t bx, int32_t by, int64_t k) {
          const int64_t level = k * step;
          return level >= 256 || threshold[size_t(by) * size_t(w) + size_t(bx)] < level;
        });
        if (mode >= Mode::ShowCovered && mode != Mode::AlphaBrush) CheckLayerEnd(r);
        if (HasFailure()) return;
      }
}

TEST_F(ComposedEffects, DissolveFastTakesThirtyTwoFramesAndShowsTheTopThresholdsBeforeTheEnd) {
  Played r = Play(kDissolve, Mode::Brush, -2, 37, 23);
  EXPECT_EQ(r.frames.size(), 32u);
  // At the normal speed the levels run 4, 8, ..., 252, 256: the frame
  // before the last still hides the thresholds 252 to 254, the last shows all.
  r = Play(kDissolve, Mode::BGPic, -1, 64, 48);
  ASSERT_EQ(r.frames.size(), 64u);
  int32_t hidden = 0;
  for (int32_t py = 0; py < 48; py++)
    for (int32_t px = 0; px < 64; px++) {
      hidden += r.At(62, px, py) == OldPixel(px, py);
      EXPECT_EQ(r.At(63, px, py), NewPixel(px, py));
    }
  EXPECT_GT(hidden, 0);
}

TEST_F(ComposedEffects, DissolveSeeksShowTheFramesPlayShows) {
  for (bool hiding : {false, true}) CheckSeeks(kDissolve, -1, hiding, 21, 13, {7, 3, 40, 1, 64, 30});
}

// ---- clock wipe, star and sun ------------------------------------------------------

// The step of the star and the sun: a twelfth of the larger side (a sixth
// fast, a 24th slow), within 1..100.
int64_t ShapeStep(int32_t speed, int32_t w, int32_t h) {
  return std::clamp<int64_t>(fxtest::NamedStep(speed, std::max(w, h), 12, 6, 24), 1, 100);
}
int64_t ClockStep(int32_t speed) { return speed == -2 ? 15 : speed == -1 ? 10 : speed == -3 ? 5 : std::clamp(speed, 1, 30); }
// The border's length, walked from the top centre round to it again.
int64_t BorderLength(int64_t w, int64_t h) { return 2 * (w - 1) + 2 * (h - 1); }

TEST_F(ComposedEffects, MaskShapesGrowWithoutCoveringAgainAndEndOnTheWholePicture) {
  const int32_t sizes[][2] = {{37, 23}, {23, 37}, {16, 10}, {1, 1}, {1, 2}, {2, 1}};
  for (int32_t id : {kClockWipe, kStar, kSun})
    for (Mode mode : kAllModes)
      for (int32_t speed : {-1, -2, 300})
        for (const auto& size : sizes) {
          const int32_t w = size[0], h = size[1];
          SCOPED_TRACE(Describe(id, mode, speed, w, h));
          const Played r = Play(id, mode, speed, w, h);
          if (HasFatalFailure()) return;
          ASSERT_FALSE(r.frames.empty());
          if (id == kClockWipe) {
            EXPECT_EQ(int64_t(r.frames.size()),
                      std::max<int64_t>(1, fxtest::CeilDiv(BorderLength(w, h), ClockStep(speed))));
          } else if (id == kStar && w >= h) {
            const int64_t step = ShapeStep(speed, w, h);
            EXPECT_EQ(int64_t(r.frames.size()), Steps(4 * int64_t(w) - step - 10, step, false));
          }
          CheckGrowsToTheWhole(r);
          if (mode >= Mode::ShowCovered && mode != Mode::AlphaBrush) CheckLayerEnd(r);
          if (HasFailure()) return;
        }
}

TEST_F(ComposedEffects, TheClockHandWalksTheBorderByItsLength) {
  // Wide, narrow (narrower than two steps) and small pictures: before the
  // last frame every border pixel the hand has passed shows the new picture
  // and those far ahead of it the old one; the last frame shows the whole.
  const int32_t sizes[][2] = {{37, 23}, {4, 30}, {16, 10}, {3, 3}};
  for (const auto& size : sizes)
    for (int32_t speed : {-1, -2, 7}) {
      const int64_t w = size[0], h = size[1], step = ClockStep(speed);
      SCOPED_TRACE(Describe(kClockWipe, Mode::BGPic, speed, size[0], size[1]));
      const Played r = Play(kClockWipe, Mode::BGPic, speed, size[0], size[1]);
      if (HasFatalFailure()) return;
      ASSERT_EQ(int64_t(r.frames.size()), std::max<int64_t>(1, fxtest::CeilDiv(BorderLength(w, h), step)));
      // How far along the border each border pixel lies.
      std::vector<int64_t> arc(size_t(w * h), -1);
      auto mark = [&](int64_t x, int64_t y, int64_t a) {
        int64_t& v = arc[size_t(y * w + x)];
        if (v < 0) v = a;
      };
      const int64_t r0 = (w - 1) - w / 2;
      for (int64_t x = w / 2; x < w; x++) mark(x, 0, x - w / 2);
      for (int64_t y = 0; y < h; y++) mark(w - 1, y, r0 + y);
      for (int64_t x = w - 1; x >= 0; x--) mark(x, h - 1, r0 + (h - 1) + (w - 1 - x));
      for (int64_t y = h - 1; y >= 0; y--) mark(0, y, r0 + (h - 1) + (w - 1) + (h - 1 - y));
      for (int64_t x = 0; x < w / 2; x++) mark(x, 0, r0 + 2 * (h - 1) + (w - 1) + x);
      for (size_t f = 0; f < r.frames.size(); f++)
        for (int32_t py = 0; py < h; py++)
          for (int32_t px = 0; px < w; px++) {
            const int64_t a = arc[size_t(py * w + px)];
            if (a < 0) continue;
            // The sector's edge from the centre to the hand may round onto a
            // few border pixels just ahead of the hand, never a step's worth.
            const bool last = f + 1 == r.frames.size();
            const int64_t hand = int64_t(f + 1) * step;
            if (last || a <= hand) {
              ASSERT_EQ(r.At(f, px, py), NewPixel(px, py))
                  << "frame " << f + 1 << " at " << px << "," << py << " (" << a << " along the border)";
            } else if (a > hand + std::max<int64_t>(step, std::max(w, h) / 2)) {
              ASSERT_EQ(r.At(f, px, py), OldPixel(px, py))
                  << "frame " << f + 1 << " at " << px << "," << py << " (" << a << " along the border)";
            }
          }
    }
}

TEST_F(ComposedEffects, StarAndSunGrowAlongTheLongerSideFromTheCentre) {
  for (int32_t id : {kStar, kSun})
    for (bool tall : {false, true}) {
      const int32_t w = tall ? 40 : 120, h = tall ? 120 : 40;
      SCOPED_TRACE(Describe(id, Mode::BGPic, -1, w, h));
      const Played r = Play(id, Mode::BGPic, -1, w, h);
      ASSERT_GT(r.frames.size(), 3u);
      // The second frame's new pixels: a box about the centre, longer
      // along the picture's longer side.
      int32_t x1 = w, y1 = h, x2 = -1, y2 = -1;
      for (int32_t py = 0; py < h; py++)
        for (int32_t px = 0; px < w; px++)
          if (r.At(1, px, py) == NewPixel(px, py))
            x1 = std::min(x1, px), x2 = std::max(x2, px), y1 = std::min(y1, py), y2 = std::max(y2, py);
      ASSERT_GE(x2, x1);
      EXPECT_EQ(tall, y2 - y1 > x2 - x1) << x1 << "," << y1 << " to " << x2 << "," << y2;
      EXPECT_LE(std::abs((x1 + x2) - (w - 1)), 2);
      EXPECT_LE(std::abs((y1 + y2) - (h - 1)), 4);
      EXPECT_EQ(r.At(0, w / 2, h / 2), NewPixel(w / 2, h / 2));
      EXPECT_EQ(r.At(1, 0, 0), OldPixel(0, 0));
    }
}

TEST_F(ComposedEffects, MaskShapeSeeksShowTheFramesPlayShows) {
  for (bool hiding : {false, true}) {
    CheckSeeks(kClockWipe, -1, hiding, 21, 13, {3, 1, 6, 2});
    CheckSeeks(kStar, 2, hiding, 21, 13, {9, 3, 20, 1, 5});
    CheckSeeks(kSun, 2, hiding, 21, 13, {7, 2, 10, 1, 4});
  }
}

// ---- water and strudel -------------------------------------------------------------

// Water's step: the steps of each half; strudel's: degrees per frame.
int64_t WaterStep(int32_t id, int32_t speed) {
  if (id == kStrudel) return speed == -2 ? 16 : speed == -1 ? 8 : speed == -3 ? 4 : std::clamp(speed, 2, 16);
  return speed == -2 ? 10 : speed == -1 ? 25 : speed == -3 ? 50 : std::clamp(speed, 5, 100);
}
int64_t WaterFrames(int32_t id, int32_t speed) {
  return id == kStrudel ? Steps(720, WaterStep(id, speed), true) : 2 * WaterStep(id, speed);
}

// What the pixel engine's kernel makes of the new picture [fresh] over
// [under] (both w x h) at frame k of [id].
std::vector<uint32_t> KernelFrame(int32_t id, int32_t speed, int32_t w, int32_t h, int64_t k,
                                  const std::vector<uint32_t>& fresh, const std::vector<uint32_t>& under) {
  std::vector<uint32_t> out(fresh.size());
  const int64_t step = WaterStep(id, speed);
  std::vector<double> sine(kTransitionTableSize), cosine(kTransitionTableSize);
  if (id == kStrudel) {
    vkStrudelContext c{};
    c.srcA = fresh.data(), c.srcB = under.data(), c.dstPixels = out.data();
    c.srcAPixelsPerRow = c.srcBPixelsPerRow = c.dstPixelsPerRow = w;
    c.sine = sine.data(), c.cosine = cosine.data();
    InitStrudelTables(&c);
    c.width = w, c.height = h, c.format = PIXFMT_ARGB32;
    RenderStrudelSwirl32(&c, int32_t(k * step));
    return out;
  }
  std::vector<uint32_t> distances(size_t(w) * size_t(h));
  vkWaterContext c{};
  c.srcA = fresh.data(), c.srcB = under.data(), c.dstPixels = out.data();
  c.srcAPixelsPerRow = c.srcBPixelsPerRow = c.dstPixelsPerRow = w;
  c.distances = distances.data(), c.sine = sine.data();
  c.width = w, c.height = h;
  InitWaterTables(&c);
  const double lengths[] = {32.0, 64.0, 16.0, 8.0};
  c.wavelength = lengths[id - kWater1];
  c.amplitudeFactor = 0.05;
  c.halfDuration = int32_t(step);
  c.format = PIXFMT_ARGB32;
  c.centreX = w / 2, c.centreY = h / 2;
  c.maxDistance = uint32_t(std::max(w / 2, h / 2));
  RenderWaterRipple32(&c, int32_t(k));
  return out;
}

TEST_F(ComposedEffects, WaterAndStrudelFramesAreTheirKernelsAtTheFramesStep) {
  const int32_t sizes[][2] = {{37, 23}, {16, 10}, {1, 1}, {1, 2}, {2, 1}};
  for (int32_t id = kWater1; id <= kStrudel; id++)
    for (Mode mode : {Mode::BGPic, Mode::Brush, Mode::BrushOffLeft})
      for (int32_t speed : {-1, -2, 300})
        for (const auto& size : sizes) {
          const int32_t w = size[0], h = size[1];
          SCOPED_TRACE(Describe(id, mode, speed, w, h));
          const Played r = Play(id, mode, speed, w, h);
          if (HasFatalFailure()) return;
          ASSERT_EQ(int64_t(r.frames.size()), WaterFrames(id, speed));
          // The new picture and what lay under it (nothing off the display).
          std::vector<uint32_t> fresh, under;
          for (int32_t by = 0; by < h; by++)
            for (int32_t bx = 0; bx < w; bx++) {
              const int32_t px = r.x + bx, py = r.y + by;
              fresh.push_back(0xFF000000u | NewPixel(bx, by));
              under.push_back(px >= 0 && py >= 0 && px < r.dw && py < r.dh ? 0xFF000000u | OldPixel(px, py) : 0);
            }
          for (size_t f = 0; f < r.frames.size(); f++) {
            const bool last = f + 1 == r.frames.size();
            const std::vector<uint32_t> want = last ? fresh : KernelFrame(id, speed, w, h, int64_t(f) + 1, fresh, under);
            for (int32_t py = 0; py < r.dh; py++)
              for (int32_t px = 0; px < r.dw; px++) {
                const uint32_t expected =
                    r.Inside(px, py) ? want[size_t(py - r.y) * size_t(w) + size_t(px - r.x)] & 0xFFFFFF : OldPixel(px, py);
                if (r.At(f, px, py) != expected) {
                  ADD_FAILURE() << "frame " << f + 1 << " at " << px << "," << py << ": got " << std::hex
                                << r.At(f, px, py) << " want " << expected;
                  return;
                }
              }
          }
        }
}

TEST_F(ComposedEffects, WaterAndStrudelOnLayersEndShownOrWhollyHidden) {
  // Hiding ends with nothing of the layer left: the last frame already
  // shows what lies beneath, and a seek to it shows the same.
  for (int32_t id : {kWater1, kWater1 + 3, kStrudel})
    for (Mode mode : {Mode::ShowCovered, Mode::Hide, Mode::AsyncShow, Mode::AsyncHide}) {
      SCOPED_TRACE(Describe(id, mode, -2, 21, 13));
      const Played r = Play(id, mode, -2, 21, 13);
      if (HasFatalFailure()) return;
      ASSERT_EQ(int64_t(r.frames.size()), WaterFrames(id, -2));
      for (int32_t py = 0; py < r.dh; py++)
        for (int32_t px = 0; px < r.dw; px++) {
          const uint32_t want = r.Cover(px, py) ? kCover : r.Target(px, py);
          ASSERT_EQ(r.At(r.frames.size() - 1, px, py), want) << px << "," << py;
          if (r.Inside(px, py) && !r.Cover(px, py) && (px - r.x != (r.w / 2) || py - r.y != r.h / 2))
            continue;
          ASSERT_EQ(r.At(0, px, py) == want, !r.Inside(px, py) || r.Cover(px, py)) << "the first frame at " << px << "," << py;
        }
      CheckLayerEnd(r);
    }
  for (bool hiding : {false, true}) {
    CheckSeeks(kWater1, -2, hiding, 21, 13, {5, 1, 20, 13});
    CheckSeeks(kStrudel, -2, hiding, 21, 13, {5, 1, 45, 30});
  }
}

TEST_F(ComposedEffects, WaterAndStrudelStepCounts) {
  EXPECT_EQ(Play(kWater1, Mode::Brush, -1, 16, 10).frames.size(), 50u);
  EXPECT_EQ(Play(kStrudel, Mode::Brush, 5, 16, 10).frames.size(), 144u);
  EXPECT_EQ(Play(kWater1, Mode::Brush, 1000, 4, 4).frames.size(), 200u);  // at most 100 steps a half
}

// ---- roll and wallpaper ------------------------------------------------------------

int64_t RollStep(int32_t speed) {
  return speed == -2 ? 5 : speed == -1 ? 2 : speed == -3 ? 1 : std::clamp(speed / 5, 1, 8);
}
int64_t RollDiameter(int32_t id, int32_t w, int32_t h) {
  const int64_t size = id == kRollLeft || id == kWallpaperLeft ? w : h;
  return std::max<int64_t>(20, id >= kWallpaperTop ? size / 2 : size / 12);
}

TEST_F(ComposedEffects, RollsLayTheNewPictureFlatBehindTheRollAndLeaveTheOldAheadOfIt) {
  const int32_t sizes[][2] = {{37, 23}, {16, 10}, {1, 1}, {1, 2}, {2, 1}};
  for (int32_t id = kRollTop; id <= kWallpaperLeft; id++)
    for (Mode mode : kAllModes)
      for (int32_t speed : {-1, -2, 300})
        for (const auto& size : sizes) {
          const int32_t w = size[0], h = size[1];
          SCOPED_TRACE(Describe(id, mode, speed, w, h));
          const Played r = Play(id, mode, speed, w, h);
          if (HasFatalFailure()) return;
          const bool horizontal = id == kRollLeft || id == kWallpaperLeft;
          const int64_t along = horizontal ? w : h, step = RollStep(speed), n = RollDiameter(id, w, h);
          ASSERT_EQ(int64_t(r.frames.size()), Steps(along, step, true));
          for (size_t f = 0; f < r.frames.size(); f++) {
            const bool last = f + 1 == r.frames.size();
            // The roll ends at this line; the lines before it lie flat.
            const int64_t moved = int64_t(f + 1) * step, position = r.hiding ? along - moved : moved;
            for (int32_t py = 0; py < r.dh; py++)
              for (int32_t px = 0; px < r.dw; px++) {
                if (r.Cover(px, py)) continue;
                const int64_t line = r.Inside(px, py) ? (horizontal ? px - r.x : py - r.y) : -1;
                uint32_t want = OldPixel(px, py);
                if (line >= 0) {
                  const bool behind = line < position - n + 1, ahead = line > position;
                  if (!last && !behind && !ahead) continue;  // on the roll
                  const bool flat = last ? !r.hiding : behind;
                  want = flat == !r.hiding ? r.Target(px, py) : r.Start(px, py);
                }
                if (r.At(f, px, py) != want) {
                  ADD_FAILURE() << "frame " << f + 1 << " at " << px << "," << py << ": got " << std::hex
                                << r.At(f, px, py) << " want " << want;
                  return;
                }
              }
          }
          if (mode >= Mode::ShowCovered && mode != Mode::AlphaBrush) CheckLayerEnd(r);
          if (HasFailure()) return;
        }
}

TEST_F(ComposedEffects, TheRollsDiameterIsATwelfthOrHalfThePictureAndAtLeastTwenty) {
  struct {
    int32_t id, w, h, frame;
    int64_t diameter;
  } const cases[] = {
      {kRollTop, 16, 480, 100, 40},    {kRollTop, 16, 120, 30, 20},       {kRollLeft, 480, 8, 100, 40},
      {kWallpaperTop, 8, 120, 40, 60}, {kWallpaperLeft, 100, 8, 30, 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Describe(c.id, Mode::BGPic, -1, c.w, c.h));
    const Played r = Play(c.id, Mode::BGPic, -1, c.w, c.h);
    const bool horizontal = c.id == kRollLeft || c.id == kWallpaperLeft;
    ASSERT_EQ(int64_t(r.frames.size()), (horizontal ? c.w : c.h) / 2);  // two lines a frame
    // The first line off its place is where the roll starts; the last line
    // that is not old is where it ends, the frame's position (the frames
    // chosen have the roll's whole half turn inside the picture).
    const int64_t position = 2 * int64_t(c.frame);
    int64_t first = -1, end = -1;
    for (int32_t line = 0; line < (horizontal ? c.w : c.h); line++) {
      const int32_t px = horizontal ? line : 0, py = horizontal ? 0 : line;
      const uint32_t got = r.At(size_t(c.frame) - 1, px, py);
      if (first < 0 && got != NewPixel(px, py)) first = line;
      if (got != OldPixel(px, py)) end = line;
    }
    EXPECT_EQ(end, position);
    EXPECT_EQ(position - first + 1, c.diameter);
  }
  // A speed of 100 pixels moves 8 a frame.
  EXPECT_EQ(Play(kRollTop, Mode::Brush, 100, 10, 30).frames.size(), 4u);
}

TEST_F(ComposedEffects, RollSeeksShowTheFramesPlayShows) {
  for (bool hiding : {false, true}) {
    CheckSeeks(kRollTop, -2, hiding, 21, 33, {3, 1, 7, 2, 5});
    CheckSeeks(kWallpaperLeft, -1, hiding, 31, 13, {3, 1, 15, 2, 9});
  }
}

// ---- the composed blit ---------------------------------------------------------------

TEST_F(ComposedEffects, TheComposedBlitCutsItsRectangleToThePictureAndGrowsItsScratch) {
  // A 20 x 12 picture at (6, 5) of the display, its mask set on the
  // checkerboard; the scratch starts at one pixel.
  MakeDisplay(kW, kH);
  MakeBrush(3, 20, 12, true);
  vkBrush* brush = nullptr;
  ASSERT_EQ(FindBrush(gs(), vkObjectId{3, nullptr}, &brush, 0), 0);
  vkFXState s;
  s.L = L, s.gs = &gs(), s.row = &FXRow(kDissolve);
  s.x = 6, s.y = 5, s.width = 20, s.height = 12;
  s.spaceWidth = kW, s.spaceHeight = kH;
  s.blitFlags = kBlitBackground;
  s.source = brush->bitmap.get();
  s.oldPicture.reset(AllocArgbBitMap(20, 12));
  FillBitMapRect(s.oldPicture.get(), 0x0000FF, 0, 0, 20, 12);
  vkBitMapPtr scratch(AllocArgbBitMap(1, 1));
  // A strip from far before the picture to its fourth line, and one past its right edge.
  FXComposedBlit(s, s.source, brush->mask.get(), nullptr, {-100000, -100000, 100010, 100004}, scratch, 0);
  FXComposedBlit(s, s.source, brush->mask.get(), nullptr, {15, 8, 1000, 1000}, scratch, 0);
  ASSERT_NE(scratch, nullptr);
  EXPECT_GE(scratch->width, 10);
  EXPECT_GE(scratch->height, 4);
  const Pixels shown = Window();
  for (int32_t py = 0; py < kH; py++)
    for (int32_t px = 0; px < kW; px++) {
      const int32_t bx = px - 6, by = py - 5;
      const bool drawn = bx >= 0 && by >= 0 && bx < 20 && by < 12 && ((bx < 10 && by < 4) || (bx >= 15 && by >= 8));
      uint32_t want = OldPixel(px, py);
      if (drawn) want = fxtest::FXScene::CheckerSet(bx, by) ? NewPixel(bx, by) : 0x0000FF;
      ASSERT_EQ(shown[size_t(py) * kW + size_t(px)], want) << px << "," << py;
    }
}

}  // namespace
