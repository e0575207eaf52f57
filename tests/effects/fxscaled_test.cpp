// Strange pushes, turn-downs, crushes, flip-coins and pixel zooms, every
// frame as the window shows it against a small model of each family written
// from its closed forms (where each pixel of a frame comes from: the new
// picture at some position, the old one, a colour, or what the frame before
// showed there). Each effect runs on the display and on layers, synchronous
// and stepped by the script, on opaque, masked and alpha sources, at the
// three kinds of speed and on pictures down to a single pixel; seeks land on the frames that play shows; and the
// numbers the effects promise for particular pictures hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/bgpics.h"
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
using vktest::Arg;
namespace ot = vkObjectType;

// Where an effect runs. Whole-picture effects run on a BGPic and on a layer
// standing for one; the others on brushes and layers.
enum class Mode {
  BGPic,         // DisplayTransitionFX
  Brush,         // DisplayBrushFX with layers off
  MaskedBrush,   // the same, the brush masked on a checkerboard
  BrushOffLeft,  // half of it left of the display
  AsyncBrush,    // stepped by the script
  LayerBrush,    // a brush shown with layers on
  Covered,       // ShowLayerFX while another layer covers part of it
  Hide,          // HideLayerFX
  Remove,        // RemoveLayerFX
  AsyncShow,     // ShowLayerFX stepped by the script
  AsyncHide,     // HideLayerFX stepped by the script
  BGPicEmu,      // ShowLayerFX of a display-sized layer standing for a BGPic
  AlphaBrush,    // DisplayBrushFX with layers off, the brush's alpha 255 and 0 on the checkerboard
  AlphaLayer,    // ShowLayerFX stepped by the script, the same brush as a layer
};

const char* ModeName(Mode m) {
  switch (m) {
    case Mode::BGPic: return "bgpic";
    case Mode::Brush: return "brush";
    case Mode::MaskedBrush: return "masked brush";
    case Mode::BrushOffLeft: return "brush off the left edge";
    case Mode::AsyncBrush: return "async brush";
    case Mode::LayerBrush: return "brush with layers on";
    case Mode::Covered: return "covered layer shown";
    case Mode::Hide: return "layer hidden";
    case Mode::Remove: return "layer removed";
    case Mode::AsyncShow: return "layer shown asynchronously";
    case Mode::AsyncHide: return "layer hidden asynchronously";
    case Mode::BGPicEmu: return "layer standing for a bgpic";
    case Mode::AlphaBrush: return "brush with alpha";
    case Mode::AlphaLayer: return "layer with alpha shown asynchronously";
  }
  return "";
}

bool Hiding(Mode m) { return m == Mode::Hide || m == Mode::Remove || m == Mode::AsyncHide; }
bool WholePictureMode(Mode m) { return m == Mode::BGPic || m == Mode::BGPicEmu; }
// The source is transparent off the checkerboard.
bool Checkered(Mode m) { return m == Mode::MaskedBrush || m == Mode::AlphaBrush || m == Mode::AlphaLayer; }

const Mode kPictureModes[] = {Mode::BrushOffLeft, Mode::Brush,     Mode::MaskedBrush, Mode::AsyncBrush,
                              Mode::LayerBrush,   Mode::Covered,   Mode::Hide,        Mode::Remove,
                              Mode::AsyncShow,    Mode::AsyncHide, Mode::AlphaBrush, Mode::AlphaLayer};
const Mode kWholeModes[] = {Mode::BGPic, Mode::BGPicEmu};
const int32_t kSizes[][2] = {{37, 23}, {16, 10}, {1, 1}, {1, 2}, {2, 1}};
const int32_t kSpeeds[] = {-1, -2, 300};

constexpr int32_t kW = 48, kH = 32;  // the display of the non-whole-picture modes
constexpr int32_t kX = 5, kY = 4;    // where the brush or layer stands
constexpr int32_t kCoverX = 12, kCoverY = 9, kCoverW = 9, kCoverH = 6;
constexpr uint32_t kCover = 0x00C000;
constexpr uint32_t kColour = 0x304050;  // the parameter: flip-coin's background

// Where a frame's pixel comes from, at a position of the effect's rectangle.
struct Px {
  enum Kind : uint8_t { New, Old, Colour, Keep } kind = Old;
  int64_t x = 0, y = 0;
  uint32_t colour = 0;
};
Px NewAt(int64_t x, int64_t y) { return {Px::New, x, y, 0}; }
Px OldAt(int64_t x, int64_t y) { return {Px::Old, x, y, 0}; }
Px Colour(uint32_t c) { return {Px::Colour, 0, 0, c}; }
Px Keep() { return {Px::Keep, 0, 0, 0}; }

// An effect's model: the frame count and frame k's pixel at (x, y).
struct Model {
  int64_t frames = 0;
  std::function<Px(int64_t k, int32_t x, int32_t y)> at;
};

// The nearest-neighbour scaler's source index for destination [i] when
// [from] pixels are scaled to [to] (16.16 steps).
int64_t Scaled(int64_t i, int64_t from, int64_t to) {
  const uint64_t step = (uint64_t(from) << 16) / uint64_t(to);
  return int64_t((uint64_t(i) * step) >> 16);
}

// Frames to cover [size] in steps of [step], the last one clamped.
int64_t StepFrames(int64_t size, int64_t step) { return size <= step ? 1 : CeilDiv(size, step); }

// A position [along] the axis of an effect, [x] and [y] across it.
struct Axis {
  bool alongX;
  int64_t Along(int32_t x, int32_t y) const { return alongX ? x : y; }
  Px New(int64_t along, int32_t x, int32_t y) const { return alongX ? NewAt(along, y) : NewAt(x, along); }
  Px Old(int64_t along, int32_t x, int32_t y) const { return alongX ? OldAt(along, y) : OldAt(x, along); }
};

// ---- the models ------------------------------------------------------------

// Strange push: part 0 (the far t lines) at the near edge on the source's
// odd rows, part 1 (the near t lines) at the far edge on its even rows.
Model StrangePush(int32_t id, int32_t speed, int32_t w, int32_t h, bool hiding) {
  const bool alongX = id == 99;
  const int64_t n = alongX ? w : h;
  int64_t step = NamedStep(speed, int32_t(n), 60, 30, 120);
  step += step % 2;
  Model m;
  m.frames = n <= step ? 1 : CeilDiv(n, step);
  m.at = [=](int64_t k, int32_t x, int32_t y) -> Px {
    const int64_t t = hiding ? std::max<int64_t>(n - k * step, 0) : std::min<int64_t>(k * step, n);
    const int64_t a = alongX ? x : y;
    // Part 1 is drawn last: where both reach, its rows win.
    if (a >= n - t) {
      const int64_t from = a - n + t;
      const int64_t sx = alongX ? from : x, sy = alongX ? y : from;
      if (sy % 2 == 0) return NewAt(sx, sy);
    }
    if (a < t) {
      const int64_t from = n - t + a;
      const int64_t sx = alongX ? from : x, sy = alongX ? y : from;
      if (sy % 2 == 1) return NewAt(sx, sy);
    }
    return OldAt(x, y);
  };
  return m;
}

// Turn-down, frame k at t = k steps: in the first half the new half
// scaled to n from the edge and the old one squashed into the rest of its
// half; in the second half the other new half unfolding from the centre
// line. On an odd size a squashed far half leaves the line next to it as
// the frame before showed it.
Model TurnDown(int32_t id, int32_t speed, int32_t w, int32_t h) {
  const Axis ax{id >= 130};
  const bool far = id == 129 || id == 131;
  const int64_t size = ax.alongX ? w : h, half = size / 2, odd = size % 2;
  const int64_t step = NamedStep(speed, int32_t(size), 60, 30, 120);
  const bool finished = half / step >= 1;  // some frame completed the first half
  Model m;
  m.frames = StepFrames(size, step);
  m.at = [=](int64_t k, int32_t x, int32_t y) -> Px {
    const int64_t a = ax.Along(x, y), t = k * step;
    if (t >= size) return ax.New(a, x, y);
    if (t <= half) {
      const int64_t n = t + step > half ? half : t, squashed = half - n;
      if (!far) {
        if (a < n) return ax.New(Scaled(a, half, n), x, y);
        if (a < half) return ax.Old(Scaled(a - n, half, squashed), x, y);
        return ax.Old(a, x, y);
      }
      if (a >= size - n) return ax.New(half + Scaled(a - (size - n), half, n), x, y);
      if (a >= half && a < half + squashed) return ax.Old(half + Scaled(a - half, half, squashed), x, y);
      if (a < half) return ax.Old(a, x, y);
      return Keep();
    }
    const int64_t n = t - half;
    if (!far) {
      if (a < half) return finished ? ax.New(a, x, y) : ax.Old(a, x, y);
      if (a < half + n) return ax.New(half + Scaled(a - half, half + odd, n), x, y);
      return ax.Old(a, x, y);
    }
    const int64_t start = size - t + odd;
    if (a >= start && a < start + n) return ax.New(Scaled(a - start, half + odd, n), x, y);
    if (a >= start + n) return finished ? ax.New(a - odd, x, y) : ax.Old(a, x, y);
    return a < half ? ax.Old(a, x, y) : Keep();
  };
  return m;
}

// Crush: the new picture scaled to k steps at its edge, the old one to the
// rest.
Model Crush(int32_t id, int32_t speed, int32_t w, int32_t h) {
  const Axis ax{id <= 121};
  const bool far = id == 121 || id == 123;
  const int64_t size = ax.alongX ? w : h, step = NamedStep(speed, int32_t(size), 60, 30, 120);
  Model m;
  m.frames = StepFrames(size, step);
  m.at = [=](int64_t k, int32_t x, int32_t y) -> Px {
    const int64_t a = ax.Along(x, y), shown = std::min(k * step, size), rest = size - shown;
    if (far) return a >= rest ? ax.New(Scaled(a - rest, size, shown), x, y) : ax.Old(Scaled(a, size, rest), x, y);
    return a < shown ? ax.New(Scaled(a, size, shown), x, y) : ax.Old(Scaled(a - shown, size, rest), x, y);
  };
  return m;
}

// Flip-coin: at position p (k steps, at most twice the size) the picture
// is |p - size| wide (at least 1), centred or at the far edge: the old one
// over the colour up to the size, then the new one over the last frame
// that showed the old one (or over the old picture when none did).
Model FlipCoin(int32_t id, int32_t speed, int32_t w, int32_t h) {
  const Axis ax{id >= 126};
  const bool low = id == 125 || id == 127;
  const int64_t size = ax.alongX ? w : h, step = NamedStep(speed, int32_t(size), 60, 30, 120);
  const int64_t turned = size / step;
  struct Band {
    int64_t at, extent;
  };
  auto band = [=](int64_t position) {
    const int64_t e = std::max<int64_t>(std::llabs(position - size), 1);
    return Band{low ? size - e : (size - e) / 2, e};
  };
  Model m;
  m.frames = StepFrames(2 * size, step);
  m.at = [=](int64_t k, int32_t x, int32_t y) -> Px {
    const int64_t a = ax.Along(x, y), position = std::min(k * step, 2 * size);
    const Band b = band(position);
    if (a >= b.at && a < b.at + b.extent) {
      const int64_t from = Scaled(a - b.at, size, b.extent);
      return position <= size ? ax.Old(from, x, y) : ax.New(from, x, y);
    }
    if (position <= size) return Colour(kColour);
    if (turned == 0) return ax.Old(a, x, y);
    const Band last = band(turned * step);
    if (a >= last.at && a < last.at + last.extent) return ax.Old(Scaled(a - last.at, size, last.extent), x, y);
    return Colour(kColour);
  };
  return m;
}

// Pixel zoom: blocks of the top-left pixel's colour; PIXELZOOM1 of the new
// picture from 24 down to 1, PIXELZOOM2 of the old one from 2 up to 24 and
// then of the new one from 25 down to 1; hiding of the layer from 2 up to
// 25, then what lies beneath.
Model PixelZoom(int32_t id, bool hiding) {
  const bool oldFirst = id == 133 && !hiding;
  Model m;
  m.frames = oldFirst ? 49 : 25;
  m.at = [=](int64_t k, int32_t x, int32_t y) -> Px {
    int64_t block;
    bool fresh = true;
    if (hiding) {
      if (k >= 25) return OldAt(x, y);
      block = k + 1;
    } else if (oldFirst && k < 24) {
      block = k + 1, fresh = false;
    } else {
      block = std::max<int64_t>((oldFirst ? 49 : 25) - k, 1);
    }
    const int64_t bx = x - x % block, by = y - y % block;
    return fresh ? NewAt(bx, by) : OldAt(bx, by);
  };
  return m;
}

Model ModelOf(int32_t id, int32_t speed, int32_t w, int32_t h, bool hiding) {
  if (id >= 128 && id <= 131) return TurnDown(id, speed, w, h);
  if (id >= 120 && id <= 123) return Crush(id, speed, w, h);
  if (id >= 124 && id <= 127) return FlipCoin(id, speed, w, h);
  if (id == 132 || id == 133) return PixelZoom(id, hiding);
  return StrangePush(id, speed, w, h, hiding);
}

class ScaledEffects : public fxtest::FXScene {
 protected:
  // A display with layers on; "hidden" a global option table.
  void LayersOn(int32_t w, int32_t h) {
    MakeDisplay(w, h);
    ASSERT_EQ(Call("EnableLayers", {}), "");
    Table("hidden", {{"hidden", 1}});
  }
  vkBGPic* BGPic(int32_t number) {
    vkBGPic* p = nullptr;
    EXPECT_EQ(FindBGPic(gs(), vkObjectId{number, nullptr}, &p, 0), 0);
    return p;
  }

  // Brush 3 of w x h with new pixels and an alpha plane: 255 on the
  // checkerboard, 0 off it.
  void MakeAlphaBrush(int32_t w, int32_t h) {
    ASSERT_EQ(FreeBrushById(gs(), vkObjectId{3, nullptr}, false), 0);
    vkBrush* b = nullptr;
    ASSERT_EQ(CreateBrushRecord(gs(), vkIdRequest{3, false}, w, h, 0, false, true, true, &b), 0);
    ASSERT_NE(b->alpha, nullptr);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) {
        WriteBitMapPixel(b->bitmap.get(), x, y, NewPixel(x, y));
        b->alpha->data[size_t(y) * size_t(b->alpha->bytesPerRow) + size_t(x)] = CheckerSet(x, y) ? 255 : 0;
      }
  }

  // The scene for [mode] with a w x h picture; the effect's origin and the
  // display's size come back.
  void Scene(Mode mode, int32_t w, int32_t h, int32_t* ox, int32_t* oy, int32_t* dw, int32_t* dh) {
    *ox = kX, *oy = kY, *dw = kW, *dh = kH;
    if (WholePictureMode(mode)) *ox = *oy = 0, *dw = w, *dh = h;
    if (mode == Mode::BrushOffLeft) *ox = -(w / 2) - 1;
    const bool layers = !(mode == Mode::BGPic || mode == Mode::Brush || mode == Mode::MaskedBrush ||
                          mode == Mode::BrushOffLeft || mode == Mode::AsyncBrush || mode == Mode::AlphaBrush);
    if (layers)
      LayersOn(*dw, *dh);
    else
      MakeDisplay(*dw, *dh);
    if (HasFatalFailure() || mode == Mode::BGPic) return;
    MakeBrush(3, w, h, mode == Mode::MaskedBrush);
    if (mode == Mode::AlphaBrush || mode == Mode::AlphaLayer) MakeAlphaBrush(w, h);
    if (mode == Mode::BGPicEmu) {
      ASSERT_EQ(Call("DisplayBrush", {3, 0, 0, Arg::global("hidden")}), "");
    } else if (layers && mode != Mode::LayerBrush) {
      if (Hiding(mode))
        ASSERT_EQ(Call("DisplayBrush", {3, kX, kY}), "");
      else
        ASSERT_EQ(Call("DisplayBrush", {3, kX, kY, Arg::global("hidden")}), "");
    }
    if (mode == Mode::Covered) {
      MakeBrush(4, kCoverW, kCoverH, false);
      FillBitMapRect(Brushes(gs()).brushes.back().bitmap.get(), kCover, 0, 0, kCoverW, kCoverH);
      ASSERT_EQ(Call("DisplayBrush", {4, kCoverX, kCoverY}), "");
    }
  }

  // Runs [id] in [mode] and keeps every frame.
  std::vector<Pixels> Play(int32_t id, Mode mode, int32_t speed, int32_t w, int32_t h, int32_t parameter = kColour) {
    int32_t ox, oy, dw, dh;
    Scene(mode, w, h, &ox, &oy, &dw, &dh);
    std::vector<Pixels> frames;
    if (HasFatalFailure()) return frames;
    if (mode == Mode::AsyncShow || mode == Mode::AsyncHide || mode == Mode::AlphaLayer) {
      Table("async", {{"type", id}, {"speed", speed}, {"parameter", parameter}, {"async", 1}});
      EXPECT_EQ(Call(mode == Mode::AsyncHide ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
      StepAll(&frames);
      return frames;
    }
    vkFXRequest rq;
    rq.L = L, rq.type = id, rq.speed = speed, rq.parameter = parameter;
    switch (mode) {
      case Mode::BGPic: rq.operation = ot::BGPIC, rq.id = {2, nullptr}; break;
      case Mode::Hide: rq.operation = ot::HIDELAYER, rq.id = {1, nullptr}, rq.reverse = 1; break;
      case Mode::Remove: rq.operation = ot::REMOVELAYER, rq.id = {1, nullptr}, rq.reverse = 1; break;
      case Mode::Covered: rq.operation = ot::LAYER, rq.id = {1, nullptr}; break;
      case Mode::BGPicEmu:
        rq.operation = ot::LAYER, rq.id = {1, nullptr}, rq.bgpicemu = 1, rq.emulatedBGPic = BGPic(2);
        break;
      default: rq.operation = ot::BRUSH, rq.id = {3, nullptr}, rq.x = ox, rq.y = oy; break;
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

  // Runs [id] in [mode] and checks every frame against [model].
  void Check(int32_t id, Mode mode, int32_t speed, int32_t w, int32_t h, const Model& model) {
    SCOPED_TRACE("id " + std::to_string(id) + ", " + ModeName(mode) + ", " + std::to_string(w) + "x" +
                 std::to_string(h) + " at speed " + std::to_string(speed));
    const std::vector<Pixels> frames = Play(id, mode, speed, w, h);
    if (HasFatalFailure()) return;
    int32_t ox = kX, oy = kY, dw = kW, dh = kH;
    if (WholePictureMode(mode)) ox = oy = 0, dw = w, dh = h;
    if (mode == Mode::BrushOffLeft) ox = -(w / 2) - 1;
    ASSERT_EQ(int64_t(frames.size()), model.frames);
    const bool masked = Checkered(mode);
    const bool hiding = Hiding(mode);
    // Frame 0: the display before the effect.
    Pixels before(size_t(dw) * size_t(dh));
    for (int32_t py = 0; py < dh; py++)
      for (int32_t px = 0; px < dw; px++) {
        const int32_t bx = px - ox, by = py - oy;
        const bool inside = bx >= 0 && by >= 0 && bx < w && by < h;
        before[size_t(py) * size_t(dw) + size_t(px)] = hiding && inside ? NewPixel(bx, by) : OldPixel(px, py);
      }
    for (size_t f = 0; f < frames.size(); f++) {
      ASSERT_EQ(frames[f].size(), before.size());
      Pixels want = before;
      for (int32_t py = 0; py < dh; py++)
        for (int32_t px = 0; px < dw; px++) {
          const int32_t bx = px - ox, by = py - oy;
          const size_t i = size_t(py) * size_t(dw) + size_t(px);
          if (bx < 0 || by < 0 || bx >= w || by >= h) continue;
          const Px p = model.at(int64_t(f) + 1, bx, by);
          switch (p.kind) {
            case Px::New:
              ASSERT_TRUE(p.x >= 0 && p.y >= 0 && p.x < w && p.y < h) << "model at " << bx << "," << by;
              want[i] = masked && !fxtest::FXScene::CheckerSet(int32_t(p.x), int32_t(p.y))
                            ? OldPixel(px, py)
                            : NewPixel(int32_t(p.x), int32_t(p.y));
              break;
            case Px::Old: want[i] = OldPixel(int32_t(ox + p.x), int32_t(oy + p.y)); break;
            case Px::Colour: want[i] = p.colour; break;
            case Px::Keep: break;
          }
        }
      if (mode == Mode::Covered)
        for (int32_t py = kCoverY; py < kCoverY + kCoverH; py++)
          for (int32_t px = kCoverX; px < kCoverX + kCoverW; px++) want[size_t(py) * size_t(dw) + size_t(px)] = kCover;
      for (size_t i = 0; i < want.size(); i++)
        if (frames[f][i] != want[i]) {
          ADD_FAILURE() << "frame " << f + 1 << " of " << frames.size() << " at " << i % size_t(dw) << ","
                        << i / size_t(dw) << ": got " << std::hex << frames[f][i] << " want " << want[i];
          return;
        }
      before = std::move(want);
    }
    if (mode != Mode::BGPic) {
      vkBrush* b = nullptr;
      ASSERT_EQ(FindBrush(gs(), vkObjectId{3, nullptr}, &b, 0), 0);
      EXPECT_EQ(b->lockCount, 0);
    }
  }

  void CheckAll(const std::vector<int32_t>& ids) {
    for (int32_t id : ids)
      for (Mode mode : FXInSet(id, kFXWholePicture) ? std::vector<Mode>(std::begin(kWholeModes), std::end(kWholeModes))
                                                    : std::vector<Mode>(std::begin(kPictureModes), std::end(kPictureModes)))
        for (int32_t speed : kSpeeds)
          for (const auto& size : kSizes) {
            Check(id, mode, speed, size[0], size[1], ModelOf(id, speed, size[0], size[1], Hiding(mode)));
            if (HasFailure()) return;
          }
  }

  // Seeks an asynchronous show (or hide) of [id] to frames forwards and
  // back: each shows what play showed at that frame, and play goes on from
  // there to the end.
  void CheckSeeks(int32_t id, bool hiding, int32_t w, int32_t h, int32_t speed) {
    SCOPED_TRACE("id " + std::to_string(id) + (hiding ? " hiding " : " showing ") + std::to_string(w) + "x" +
                 std::to_string(h));
    const bool whole = FXInSet(id, kFXWholePicture);
    auto start = [&]() {
      int32_t ox, oy, dw, dh;
      Scene(whole ? Mode::BGPicEmu : hiding ? Mode::AsyncHide : Mode::AsyncShow, w, h, &ox, &oy, &dw, &dh);
      if (whole) {
        vkFXRequest rq;
        rq.L = L, rq.type = id, rq.speed = speed, rq.parameter = kColour, rq.async = 1;
        rq.operation = ot::LAYER, rq.id = {1, nullptr}, rq.bgpicemu = 1, rq.emulatedBGPic = BGPic(2);
        ASSERT_EQ(RunTransitionFX(rq), 1u);
        return;
      }
      Table("async", {{"type", id}, {"speed", speed}, {"parameter", kColour}, {"async", 1}});
      ASSERT_EQ(Call(hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
    };
    start();
    if (HasFatalFailure()) return;
    std::vector<Pixels> played;
    StepAll(&played);
    ASSERT_GE(played.size(), 4u);
    start();
    if (HasFatalFailure()) return;
    const int32_t n = int32_t(played.size());
    CheckSeeksReplay(played, {n / 2, 1, n - 1, 2, n / 2 + 1, n / 3});
  }
};

TEST_F(ScaledEffects, StrangePushesCombBothHalvesInOnTheirRows) { CheckAll({99, 100}); }

TEST_F(ScaledEffects, StrangePushesSeekToThePlayedFrames) {
  for (int32_t id : {99, 100})
    for (bool hiding : {false, true})
      for (const auto& size : {std::pair{37, 23}, std::pair{16, 11}}) {
        CheckSeeks(id, hiding, size.first, size.second, -1);
        if (HasFailure()) return;
      }
}

TEST_F(ScaledEffects, StrangePushNumbers) {
  // Speed 7 moves 8 lines a frame: 23 rows take 3 frames; the odd step is
  // raised to the even one.
  std::vector<Pixels> f = Play(100, Mode::Brush, 7, 10, 23);
  ASSERT_EQ(f.size(), 3u);
  auto at = [&](const Pixels& p, int32_t x, int32_t y) { return p[size_t(kY + y) * kW + size_t(kX + x)]; };
  // Frame 1: source rows 15..22 on the top 8 rows (odd ones through), rows
  // 0..7 on the bottom 8 (even ones through).
  for (int32_t y = 0; y < 23; y++) {
    uint32_t want = OldPixel(kX, kY + y);
    if (y < 8 && (15 + y) % 2 == 1) want = NewPixel(0, 15 + y);
    if (y >= 15 && (y - 15) % 2 == 0) want = NewPixel(0, y - 15);
    EXPECT_EQ(at(f[0], 0, y), want) << y;
  }
  // At the end both halves together show the whole source.
  for (int32_t y = 0; y < 23; y++) EXPECT_EQ(at(f[2], 3, y), NewPixel(3, y)) << y;
  // An opaque source gets comb masks that start all set: a layer shown with
  // the push is drawn into its own buffers and ends whole.
  EXPECT_EQ(Play(99, Mode::AsyncShow, 7, 20, 6).size(), 3u);
  const Pixels end = Window();
  for (int32_t y = 0; y < 6; y++)
    for (int32_t x = 0; x < 20; x++) EXPECT_EQ(at(end, x, y), NewPixel(x, y)) << x << "," << y;
}

TEST_F(ScaledEffects, TurnDownsFoldThePageOverAtItsCentreLine) { CheckAll({128, 129, 130, 131}); }

TEST_F(ScaledEffects, CrushesSqueezeTheOldPictureIntoTheRest) { CheckAll({120, 121, 122, 123}); }

TEST_F(ScaledEffects, FlipCoinsTurnTheOldPictureToALineAndTheNewOneBack) { CheckAll({124, 125, 126, 127}); }

TEST_F(ScaledEffects, PixelZoomsBreakPicturesIntoBlocks) { CheckAll({132, 133}); }

TEST_F(ScaledEffects, ScalingEffectNumbers) {
  auto isNew = [](uint32_t p) { return (p & 0xF00000u) == 0x800000u; };
  // TURNDOWNLEFT on 640 x 480 at normal speed: 10 columns a step, 64
  // frames; at t = 160 the new left half is 160 wide and the old one is
  // squashed into 160..319; from t = 330 the new right half unfolds from 320.
  std::vector<Pixels> f = Play(130, Mode::BGPic, -1, 640, 480);
  ASSERT_EQ(f.size(), 64u);
  for (int32_t x = 0; x < 640; x++) {
    const uint32_t at160 = f[15][size_t(100) * 640 + size_t(x)], at330 = f[32][size_t(100) * 640 + size_t(x)];
    EXPECT_EQ(isNew(at160), x < 160) << x;
    if (x >= 320) {
      EXPECT_EQ(at160, OldPixel(x, 100)) << x;  // the flat half stays
    }
    EXPECT_EQ(isNew(at330), x < 330) << x;
  }
  EXPECT_EQ(f[32][size_t(100) * 640 + 320], NewPixel(320, 100));
  // CRUSHLEFT ends on the whole new picture and draws no old one there.
  f = Play(120, Mode::BGPic, 300, 40, 3);
  ASSERT_EQ(f.size(), 1u);
  for (int32_t x = 0; x < 40; x++) EXPECT_EQ(f[0][size_t(x)], NewPixel(x, 0)) << x;
  // HFLIPCOIN is never scaled to nothing: at the middle frame one column shows.
  f = Play(126, Mode::BGPic, 2, 20, 3);
  ASSERT_EQ(f.size(), 20u);
  for (int32_t x = 0; x < 20; x++) EXPECT_EQ(f[9][size_t(x)], x == 9 ? OldPixel(0, 0) : kColour) << x;
  // HLOWFLIPCOIN in red: the colour left of the shrinking old picture.
  f = Play(127, Mode::BGPic, -1, 60, 2, 0xFF0000);
  ASSERT_EQ(f.size(), 120u);
  EXPECT_EQ(f[0][0], 0xFF0000u);
  EXPECT_EQ(f[0][1], OldPixel(0, 0));
  // 800 wide at normal speed: 13 a step, 124 frames; the coin stops at
  // twice the size, so the last frame is the new picture as it is.
  f = Play(126, Mode::BGPic, -1, 800, 2);
  ASSERT_EQ(f.size(), 124u);
  for (int32_t x = 0; x < 800; x++) ASSERT_EQ(f.back()[size_t(x)], NewPixel(x, 0)) << x;
  EXPECT_EQ(f[122][0], NewPixel(0, 0));  // one before: 799 wide, centred at 0
  EXPECT_EQ(f[122][799], kColour);
  // PIXELZOOM1 takes 25 frames, blocks of 24 down to 1, whatever the speed.
  f = Play(132, Mode::Brush, -1, 30, 26);
  ASSERT_EQ(f.size(), 25u);
  EXPECT_EQ(Play(132, Mode::Brush, 300, 30, 26), f);
  EXPECT_EQ(Play(132, Mode::Brush, -3, 30, 26), f);
  auto brushAt = [&](size_t frame, int32_t x, int32_t y) { return f[frame][size_t(kY + y) * kW + size_t(kX + x)]; };
  EXPECT_EQ(brushAt(0, 23, 23), NewPixel(0, 0));
  EXPECT_EQ(brushAt(0, 24, 25), NewPixel(24, 24));
  EXPECT_EQ(brushAt(23, 29, 25), NewPixel(29, 25));
  EXPECT_EQ(f[23], f[24]);  // the last step draws nothing more
  // PIXELZOOM2 is coarsest in the middle, where the old picture gives way.
  f = Play(133, Mode::BGPic, -1, 60, 30);
  ASSERT_EQ(f.size(), 49u);
  EXPECT_EQ(f[22][size_t(25) * 60 + 47], OldPixel(24, 24));  // blocks of 24
  EXPECT_EQ(f[23][size_t(25) * 60 + 49], NewPixel(25, 25));  // blocks of 25
}

TEST_F(ScaledEffects, TheScalingEffectsSeekToThePlayedFrames) {
  for (int32_t id = 120; id <= 133; id++)
    for (const auto& size : {std::pair{37, 23}, std::pair{16, 11}, std::pair{15, 12}}) {
      CheckSeeks(id, false, size.first, size.second, id == 132 || id == 133 ? -1 : 3);
      if (HasFailure()) return;
    }
  for (const auto& size : {std::pair{37, 23}, std::pair{16, 11}}) CheckSeeks(132, true, size.first, size.second, -1);
}

}  // namespace
