// Every frame of the stripes, blinds, fade, blend and crossfade effects as
// the window shows it, against a small model of the effects written from
// their closed forms: which source pixels a slice effect has revealed by
// frame k, and the level a fade or crossfade has reached. Each effect runs
// on a background picture, on brushes (plain, masked, half off the left
// edge, stepped asynchronously) and on a BGPic part, at the three kinds of
// speed and on pictures down to a single pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "graphics/objecttypes.h"
#include "support/fxscene.h"

namespace {

using fxtest::NewPixel;
using fxtest::OldPixel;
using fxtest::Pixels;
using vktest::Arg;

enum class Mode { BGPic, Brush, MaskedBrush, BrushOffLeft, BGPicPart, AsyncBrush };

const char* ModeName(Mode m) {
  switch (m) {
    case Mode::BGPic: return "bgpic";
    case Mode::Brush: return "brush";
    case Mode::MaskedBrush: return "masked brush";
    case Mode::BrushOffLeft: return "brush off the left edge";
    case Mode::BGPicPart: return "bgpic part";
    case Mode::AsyncBrush: return "async brush";
  }
  return "";
}

constexpr int32_t kFadeColour = 0x2050A0;
constexpr int32_t kStripeParameter = 3;
constexpr int32_t kDisplayW = 48, kDisplayH = 32;

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }
// Steps to cover a size, one more unless exact.
int64_t Steps(int64_t size, int64_t step, bool exact) { return size < 1 ? 1 : CeilDiv(size, step) + (exact ? 0 : 1); }
int32_t NamedStep(int32_t speed, int32_t size, int32_t normal, int32_t fast, int32_t slow) {
  const int32_t s = speed == -1 ? size / normal : speed == -2 ? size / fast : speed == -3 ? size / slow : speed;
  return std::max(s, 1);
}

uint8_t Towards(int c, int t, int64_t w) { return uint8_t(c + ((w * (t - c)) >> 8)); }
uint32_t TowardsRGB(uint32_t c, uint32_t t, int64_t w) {
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) out |= uint32_t(Towards(int(c >> shift & 0xFF), int(t >> shift & 0xFF), w)) << shift;
  return out;
}

// The model of one effect on a width x height source.
struct Model {
  int32_t id, speed, width, height;
  int64_t frames = 0;
  // Slice effects.
  bool alongX = true, blinds = false;
  int64_t step = 1, size = 1, along = 0;
  // Level effects.
  bool fade = false, blend = false, crossfade = false;

  Model(int32_t id_, int32_t speed_, int32_t w, int32_t h) : id(id_), speed(speed_), width(w), height(h) {
    if (id <= 13) {
      alongX = id <= 6;
      along = alongX ? w : h;
      const int64_t across = alongX ? h : w;
      const int32_t named = id == 0 || id == 7 ? kStripeParameter : 1 << (alongX ? id : id - 7);
      size = std::clamp<int64_t>(named, 1, std::max<int64_t>(across, 1));
      step = NamedStep(speed, int32_t(along), 70, 30, 200);
      if (along <= 1) {
        step = 1, frames = 1;
      } else if (step <= along - 1) {
        frames = Steps(along - step, step, false);
      } else {
        step = along - 1, frames = Steps(1, along - 1, false);
      }
    } else if (id <= 23) {
      blinds = true;
      alongX = id >= 19;
      size = 8 << (alongX ? id - 19 : id - 14);
      step = std::min<int64_t>(NamedStep(speed, int32_t(size), 8, 3, 20), size / 2);
      frames = CeilDiv(size, step);
    } else if (id == 115) {
      crossfade = true;
      step = speed == -2 ? 20 : speed == -1 ? 10 : speed == -3 ? 5 : std::min(speed, 120);
      frames = Steps(255, step, true);
    } else {
      fade = id == 116, blend = id == 117;
      step = speed == -2 ? 20 : speed == -1 ? 10 : speed == -3 ? 5 : std::min(speed, 255);
      frames = Steps(511 - step, step, false);
    }
  }

  bool Covered(int32_t bx, int32_t by, int64_t k) const {
    const int64_t a = alongX ? bx : by, c = alongX ? by : bx;
    if (blinds) return a % size < std::min(k * step, size);
    const int64_t offset = std::clamp<int64_t>((k - 1) * step, 0, std::max<int64_t>(along - step, 0));
    return (c / size) % 2 == 0 ? a < offset + step : a >= along - offset - step;
  }

  // The pixel at a source position after frame k: [shown] the source
  // pixel where the source is drawn (its mask set), else the old one.
  uint32_t Pixel(int32_t bx, int32_t by, int64_t k, uint32_t oldPx, uint32_t newPx, bool shown) const {
    const uint32_t target = shown ? newPx : oldPx;
    if (crossfade) {
      const int64_t level = std::min<int64_t>(k * step, 255);
      return level == 255 ? target : TowardsRGB(oldPx, target, level);
    }
    if (fade || blend) {
      int64_t level = k * step;
      if (level > 510) return target;
      const int64_t tint = level <= 255 ? level : 255 - level % 256;
      if (!shown) return oldPx;
      const uint32_t from = blend || level > 255 ? newPx : oldPx;
      return TowardsRGB(from, kFadeColour, tint);
    }
    return Covered(bx, by, k) ? target : oldPx;
  }
};

struct Case {
  int32_t id;
  Mode mode;
  int32_t speed;
  int32_t width, height;
};

std::string Describe(const Case& c) {
  return "id " + std::to_string(c.id) + " on a " + ModeName(c.mode) + " of " + std::to_string(c.width) + "x" +
         std::to_string(c.height) + " at speed " + std::to_string(c.speed);
}

class EffectFrames : public fxtest::FXScene {
 protected:
  // Runs [c] and checks every frame against the model.
  void Check(const Case& c) {
    SCOPED_TRACE(Describe(c));
    const Model model(c.id, c.speed, c.width, c.height);
    const bool bgpic = c.mode == Mode::BGPic;
    MakeDisplay(bgpic ? c.width : kDisplayW, bgpic ? c.height : kDisplayH);
    const bool masked = c.mode == Mode::MaskedBrush;
    // Where the source lands and where its pixels come from.
    int32_t x = 5, y = 4, partX = 0, partY = 0;
    if (c.mode == Mode::BrushOffLeft) x = -(c.width / 2) - 1;
    if (c.mode == Mode::BGPicPart) partX = 3, partY = 2, x = 9, y = 6;
    if (bgpic) x = y = 0;

    std::vector<Pixels> frames;
    vkFXRequest rq;
    rq.type = c.id, rq.speed = c.speed;
    rq.parameter = c.id == 0 || c.id == 7 ? kStripeParameter : kFadeColour;
    rq.x = x, rq.y = y;
    switch (c.mode) {
      case Mode::BGPic:
        rq.operation = vkObjectType::BGPIC, rq.id = {2, nullptr};
        break;
      case Mode::BGPicPart:
        rq.operation = vkObjectType::BGPICPART, rq.id = {2, nullptr};
        rq.partX = partX, rq.partY = partY, rq.width = c.width, rq.height = c.height;
        break;
      default:
        MakeBrush(3, c.width, c.height, masked);
        rq.operation = vkObjectType::BRUSH, rq.id = {3, nullptr};
        break;
    }
    if (c.mode == Mode::AsyncBrush) {
      rq.async = 1;
      rq.L = L;
      ASSERT_EQ(RunTransitionFX(rq), 1u);
      const vkObjectId handle{0, const_cast<void*>(vmToPointer(L, -1))};
      for (int guard = 0; guard < 1000; guard++) {
        int32_t done = 0;
        ASSERT_EQ(AsyncDrawFrame(gs(), handle, nullptr, &done), 0);
        if (done) break;
        frames.push_back(Window());
      }
    } else {
      ASSERT_EQ(RunCollecting(rq, &frames), 0u);
    }
    ASSERT_EQ(int64_t(frames.size()), model.frames);
    const int32_t dw = bgpic ? c.width : kDisplayW, dh = bgpic ? c.height : kDisplayH;
    for (size_t f = 0; f < frames.size(); f++) {
      const Pixels& got = frames[f];
      ASSERT_EQ(got.size(), size_t(dw) * size_t(dh));
      for (int32_t py = 0; py < dh; py++)
        for (int32_t px = 0; px < dw; px++) {
          const int32_t bx = px - x, by = py - y;
          const uint32_t oldPx = OldPixel(px, py);
          uint32_t want = oldPx;
          if (bx >= 0 && by >= 0 && bx < c.width && by < c.height) {
            const bool shown = !masked || fxtest::FXScene::CheckerSet(bx, by);
            want = model.Pixel(bx, by, int64_t(f) + 1, oldPx, NewPixel(bx + partX, by + partY), shown);
          }
          if (got[size_t(py) * size_t(dw) + size_t(px)] != want) {
            ADD_FAILURE() << "frame " << f + 1 << " of " << frames.size() << " at " << px << "," << py << ": got "
                          << std::hex << got[size_t(py) * size_t(dw) + size_t(px)] << " want " << want;
            return;
          }
        }
    }
    if (bgpic) {
      EXPECT_EQ(display()->bgpic->id.number, 2);
    }
    if (c.mode != Mode::BGPic && c.mode != Mode::BGPicPart) {  // the brush's lock was given back
      vkBrush* b = nullptr;
      ASSERT_EQ(FindBrush(gs(), vkObjectId{3, nullptr}, &b, 0), 0);
      EXPECT_EQ(b->lockCount, 0);
    }
  }
};

TEST_F(EffectFrames, EveryFrameOfEverySliceAndLevelEffectMatchesTheModel) {
  std::vector<int32_t> ids;
  for (int32_t id = 0; id <= 23; id++) ids.push_back(id);
  for (int32_t id : {115, 116, 117}) ids.push_back(id);
  const Mode modes[] = {Mode::BGPic,        Mode::Brush,     Mode::MaskedBrush,
                        Mode::BrushOffLeft, Mode::BGPicPart, Mode::AsyncBrush};
  const int32_t sizes[][2] = {{37, 23}, {1, 1}, {1, 2}, {2, 1}};
  for (int32_t id : ids)
    for (Mode mode : modes)
      for (int32_t speed : {-1, -2, 300})
        for (const auto& size : sizes) {
          Check({id, mode, speed, size[0], size[1]});
          if (HasFailure()) return;
        }
}

}  // namespace
