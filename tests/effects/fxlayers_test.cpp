// Effects on layers, every frame as the window shows it against the model:
// a brush shown with layers on, a hidden layer shown while another layer
// covers part of it (drawn into the layer's own buffers), layers hidden and
// removed, and asynchronous shows and hides stepped by the script; seeks of
// the level effects land on the frames that play shows; an interrupted show
// leaves its layer hidden; the undo level picks the layer; locks come back.
#include <gtest/gtest.h>

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

using fxtest::kFadeColour;
using fxtest::kStripeParameter;
using fxtest::Model;
using fxtest::NewPixel;
using fxtest::OldPixel;
using fxtest::Pixels;
using vktest::Arg;
namespace ot = vkObjectType;

enum class Mode { ShowBrush, ShowCovered, Hide, Remove, AsyncShow, AsyncHide };

const char* ModeName(Mode m) {
  switch (m) {
    case Mode::ShowBrush: return "brush shown with layers on";
    case Mode::ShowCovered: return "covered layer shown";
    case Mode::Hide: return "layer hidden";
    case Mode::Remove: return "layer removed";
    case Mode::AsyncShow: return "layer shown asynchronously";
    case Mode::AsyncHide: return "layer hidden asynchronously";
  }
  return "";
}

constexpr int32_t kW = 48, kH = 32;
constexpr int32_t kX = 5, kY = 4;  // where brush 3's layer stands
// The covering layer: brush 4, a plain colour.
constexpr int32_t kCoverX = 12, kCoverY = 9, kCoverW = 9, kCoverH = 6;
constexpr uint32_t kCover = 0x00C000;

class LayerEffects : public fxtest::FXScene {
 protected:
  void SetUp() override {
    FXScene::SetUp();
    Fresh();
  }
  // A new display with layers on.
  void Fresh() {
    MakeDisplay(kW, kH);
    ASSERT_EQ(Call("EnableLayers", {}), "");
    vmPushString(L, "hidden");
    vmNewTable(L);
    SetFieldInt(L, "hidden", 1);
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  vkBGPic* Picture() { return display()->bgpic; }
  // Brush 3 as a layer at (kX, kY): shown, or hidden for an effect to show.
  void ShowBrushLayer(bool shown) {
    if (shown)
      ASSERT_EQ(Call("DisplayBrush", {3, kX, kY}), "");
    else
      ASSERT_EQ(Call("DisplayBrush", {3, kX, kY, Arg::global("hidden")}), "");
  }

  void Check(int32_t id, Mode mode, int32_t speed, int32_t w, int32_t h) {
    SCOPED_TRACE("id " + std::to_string(id) + ", " + ModeName(mode) + ", " + std::to_string(w) + "x" +
                 std::to_string(h) + " at speed " + std::to_string(speed));
    Fresh();
    if (HasFatalFailure()) return;
    MakeBrush(3, w, h, false);
    MakeBrush(4, kCoverW, kCoverH, false);
    FillBitMapRect(Brushes(gs()).brushes.back().bitmap.get(), kCover, 0, 0, kCoverW, kCoverH);
    const bool hiding = mode == Mode::Hide || mode == Mode::Remove || mode == Mode::AsyncHide;
    const bool covered = mode == Mode::ShowCovered;
    if (mode != Mode::ShowBrush) ShowBrushLayer(hiding);
    if (covered) {
      ASSERT_EQ(Call("DisplayBrush", {4, kCoverX, kCoverY}), "");
    }
    const int32_t before = CountLayers(Picture());

    std::vector<Pixels> frames;
    const int32_t parameter = id == 0 || id == 7 ? kStripeParameter : kFadeColour;
    if (mode == Mode::AsyncShow || mode == Mode::AsyncHide) {
      Table("async", {{"type", id}, {"speed", speed}, {"parameter", parameter}, {"async", 1}});
      ASSERT_EQ(Call(hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
      StepAll(&frames);
    } else {
      vkFXRequest rq;
      rq.type = id, rq.speed = speed, rq.parameter = parameter;
      rq.id = {1, nullptr};
      rq.reverse = hiding ? 1 : 0;
      rq.operation = mode == Mode::Hide ? ot::HIDELAYER : mode == Mode::Remove ? ot::REMOVELAYER : ot::LAYER;
      if (mode == Mode::ShowBrush) rq.operation = ot::BRUSH, rq.id = {3, nullptr}, rq.x = kX, rq.y = kY;
      ASSERT_EQ(RunCollecting(rq, &frames), 0u);
    }

    Model model(id, speed, w, h);
    model.hiding = hiding;
    // Drawn into the layer's buffers when another layer covers part of it,
    // asynchronously, or when a fade hides it.
    const bool overlapped = covered && kX + w > kCoverX && kY + h > kCoverY;
    model.layerAlpha = overlapped || mode == Mode::AsyncShow || mode == Mode::AsyncHide || (hiding && id >= 116);
    ASSERT_EQ(int64_t(frames.size()), model.frames);
    auto coverAt = [&](int32_t px, int32_t py) {
      return covered && px >= kCoverX && py >= kCoverY && px < kCoverX + kCoverW && py < kCoverY + kCoverH;
    };
    for (size_t f = 0; f < frames.size(); f++)
      for (int32_t py = 0; py < kH; py++)
        for (int32_t px = 0; px < kW; px++) {
          const int32_t bx = px - kX, by = py - kY;
          uint32_t want = OldPixel(px, py);
          if (bx >= 0 && by >= 0 && bx < w && by < h) {
            const uint32_t layer = NewPixel(bx, by), under = OldPixel(px, py);
            want = hiding ? model.Pixel(bx, by, int64_t(f) + 1, layer, under, true)
                          : model.Pixel(bx, by, int64_t(f) + 1, under, layer, true);
          }
          if (coverAt(px, py)) want = kCover;
          const uint32_t got = frames[f][size_t(py) * kW + size_t(px)];
          if (got != want) {
            ADD_FAILURE() << "frame " << f + 1 << " of " << frames.size() << " at " << px << "," << py << ": got "
                          << std::hex << got << " want " << want;
            return;
          }
        }
    // The end: the layer shown, hidden or gone, and the window as the layers say.
    vkLayer* first = GetNthLayer(Picture(), 1);
    if (mode == Mode::Remove) {
      EXPECT_EQ(CountLayers(Picture()), before - 1);
    } else {
      ASSERT_NE(first, nullptr);
      EXPECT_EQ(first->hidden, hiding ? 1 : 0);
      EXPECT_EQ(first->onScreen->transformedBitmap, nullptr);  // the effect's buffers are gone
    }
    const Pixels end = Window();
    for (int32_t py = 0; py < kH; py++)
      for (int32_t px = 0; px < kW; px++) {
        const int32_t bx = px - kX, by = py - kY;
        uint32_t want = !hiding && bx >= 0 && by >= 0 && bx < w && by < h ? NewPixel(bx, by) : OldPixel(px, py);
        if (coverAt(px, py)) want = kCover;
        ASSERT_EQ(end[size_t(py) * kW + size_t(px)], want) << px << "," << py;
      }
    EXPECT_EQ(BrushLocks(3), 0);
  }
};

TEST_F(LayerEffects, EveryFrameOfEveryLayerEffectMatchesTheModel) {
  std::vector<int32_t> ids;
  for (int32_t id = 0; id <= 23; id++) ids.push_back(id);
  for (int32_t id : {115, 116, 117}) ids.push_back(id);
  const Mode modes[] = {Mode::ShowBrush, Mode::ShowCovered, Mode::Hide, Mode::Remove, Mode::AsyncShow, Mode::AsyncHide};
  const int32_t sizes[][2] = {{37, 23}, {1, 1}, {1, 2}, {2, 1}};
  for (int32_t id : ids)
    for (Mode mode : modes)
      for (int32_t speed : {-1, -2, 300})
        for (const auto& size : sizes) {
          Check(id, mode, speed, size[0], size[1]);
          if (HasFailure()) return;
        }
}

TEST_F(LayerEffects, SeekingALevelEffectShowsTheFrameThatPlayShows) {
  for (int32_t id : {115, 116, 117})
    for (bool hiding : {false, true}) {
      SCOPED_TRACE(std::to_string(id) + (hiding ? " hiding" : " showing"));
      Fresh();
      MakeBrush(3, 20, 10, false);
      ShowBrushLayer(hiding);
      Table("async", {{"type", id}, {"speed", -1}, {"parameter", kFadeColour}, {"async", 1}});
      const char* command = hiding ? "HideLayerFX" : "ShowLayerFX";
      ASSERT_EQ(Call(command, {1, Arg::global("async")}), "handle");
      std::vector<Pixels> played;
      StepAll(&played);
      ASSERT_GT(played.size(), 20u);
      ASSERT_EQ(Call(hiding ? "ShowLayerFX" : "HideLayerFX", {1, 0, 300}), "");  // back to the start
      ASSERT_EQ(Call(command, {1, Arg::global("async")}), "handle");
      // Play goes on from the frame sought and ends on time.
      CheckSeeksReplay(played, {7, 3, 20, 1});
    }
}

TEST_F(LayerEffects, ACancelledShowLeavesItsLayerHiddenAndLayerErrors) {
  MakeBrush(3, 20, 10, false);
  ASSERT_EQ(Call("DisplayBrush", {3, kX, kY, Arg::global("hidden")}), "");
  Table("async", {{"type", 115}, {"async", 1}});
  ASSERT_EQ(Call("ShowLayerFX", {1, Arg::global("async")}), "handle");
  const vkObjectId handle{0, const_cast<void*>(vmToPointer(L, -1))};
  int32_t done = 0;
  ASSERT_EQ(AsyncDrawFrame(gs(), handle, nullptr, &done), 0);
  EXPECT_EQ(GetNthLayer(Picture(), 1)->hidden, 0);
  EXPECT_EQ(Call("ShowLayerFX", {1, 0}), "error 1371");  // the async effect draws it
  EXPECT_EQ(BrushLocks(3), 0);
  ASSERT_EQ(CancelAsyncDraw(gs(), handle), 0);
  EXPECT_EQ(GetNthLayer(Picture(), 1)->hidden, 1);
  EXPECT_EQ(GetNthLayer(Picture(), 1)->onScreen->transformedBitmap, nullptr);
  EXPECT_EQ(Window()[size_t(kY) * kW + kX], OldPixel(kX, kY));
  RunCases({
      {"ShowLayerFX", {9, 0}, "error 1081"},
      {"HideLayerFX", {0, 0}, "error 1081"},
      {"UndoFX", {ot::BRUSH, 7}, "error 1041"},
      {"UndoFX", {ot::BRUSH, 3, 0, 300, -1, 2}, "error 1041"},  // only one layer of brush 3
  });
}

TEST_F(LayerEffects, UndoRemovesTheLayerAtItsLevelFromTheTop) {
  MakeBrush(3, 6, 4, false);
  ASSERT_EQ(Call("DisplayBrush", {3, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {3, 20, 10}), "");
  ASSERT_EQ(Call("DisplayBrush", {3, 30, 20}), "");
  Table("second", {{"type", 19}, {"speed", 300}, {"undolevel", 2}});
  ASSERT_EQ(Call("UndoFX", {ot::BRUSH, 3, Arg::global("second")}), "");
  ASSERT_EQ(CountLayers(Picture()), 2);
  EXPECT_EQ(GetNthLayer(Picture(), 1)->onScreen->screenX, 0);
  EXPECT_EQ(GetNthLayer(Picture(), 2)->onScreen->screenX, 30);
  const Pixels w = Window();
  EXPECT_EQ(w[size_t(10) * kW + 20], OldPixel(20, 10));
  EXPECT_EQ(w[size_t(20) * kW + 30], NewPixel(0, 0));
  ASSERT_EQ(Call("UndoFX", {ot::BRUSH, 3, 0, 300}), "");  // the top one
  EXPECT_EQ(CountLayers(Picture()), 1);
  EXPECT_EQ(GetNthLayer(Picture(), 1)->onScreen->screenX, 0);
  EXPECT_EQ(BrushLocks(3), 0);
}

}  // namespace

namespace {

// Every effect with a routine that a layer can run (whole-picture ones run
// as stripes there): its ids.
std::vector<int32_t> LayerIds() {
  std::vector<int32_t> ids;
  for (int32_t id = 0; id <= kFXLastId; id++)
    if (FXIdBuilt(id) && !FXInSet(id, kFXWholePicture)) ids.push_back(id);
  return ids;
}

}  // namespace

TEST_F(LayerEffects, EveryEffectShowsAndHidesALayerOnTheWindowAndInItsBuffers) {
  for (int32_t id : LayerIds())
    for (bool async : {false, true})
      for (bool covered : {false, true})
        for (bool hiding : {false, true}) {
          SCOPED_TRACE("id " + std::to_string(id) + (async ? " async" : "") + (covered ? " covered" : "") +
                       (hiding ? " hiding" : " showing"));
          Fresh();
          MakeBrush(3, 21, 13, false);
          MakeBrush(4, kCoverW, kCoverH, false);
          FillBitMapRect(Brushes(gs()).brushes.back().bitmap.get(), kCover, 0, 0, kCoverW, kCoverH);
          ShowBrushLayer(hiding);
          if (covered) {
            ASSERT_EQ(Call("DisplayBrush", {4, kCoverX, kCoverY}), "");
          }
          Table("fx", {{"type", id}, {"speed", -2}, {"parameter", kFadeColour}, {"async", async ? 1 : 0}});
          const char* command = hiding ? "HideLayerFX" : "ShowLayerFX";
          if (async) {
            ASSERT_EQ(Call(command, {1, Arg::global("fx")}), "handle");
            std::vector<Pixels> frames;
            StepAll(&frames);
            ASSERT_FALSE(frames.empty());
          } else {
            ASSERT_EQ(Call(command, {1, Arg::global("fx")}), "");
          }
          vkLayer* layer = GetNthLayer(Picture(), 1);
          ASSERT_NE(layer, nullptr);
          EXPECT_EQ(layer->hidden, hiding ? 1 : 0);
          EXPECT_EQ(layer->onScreen->transformedBitmap, nullptr);
          EXPECT_EQ(layer->inserted->x, kX);  // a scroll puts the layer back where it stood
          EXPECT_EQ(layer->inserted->y, kY);
          const Pixels end = Window();
          for (int32_t py = 0; py < kH; py++)
            for (int32_t px = 0; px < kW; px++) {
              const int32_t bx = px - kX, by = py - kY;
              uint32_t want = !hiding && bx >= 0 && by >= 0 && bx < 21 && by < 13 ? NewPixel(bx, by) : OldPixel(px, py);
              if (covered && px >= kCoverX && py >= kCoverY && px < kCoverX + kCoverW && py < kCoverY + kCoverH)
                want = kCover;
              ASSERT_EQ(end[size_t(py) * kW + size_t(px)], want) << px << "," << py;
            }
          EXPECT_EQ(BrushLocks(3), 0);
        }
}
