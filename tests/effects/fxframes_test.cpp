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
#include "support/fxmodel.h"
#include "support/fxscene.h"

namespace {

using fxtest::kFadeColour;
using fxtest::kStripeParameter;
using fxtest::Model;
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

constexpr int32_t kDisplayW = 48, kDisplayH = 32;

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
      StepAll(&frames);
      if (HasFatalFailure()) return;
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
