// Asynchronous layer effects whose layer is replaced while they run (a
// style that shows another brush in the layer's place): the effect follows
// the new layer, the frame it stands at is drawn again from the new picture,
// and every frame after equals a play of the new picture from the start; a
// new layer of another size starts the effect again on it.
// Effects that cannot seek replay their frames; seekable ones draw the frame
// anew; scrolls move the new layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "effects/fxengine.h"
#include "effects/fxtable.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/brushes.h"
#include "layers/layers.h"
#include "layers/textlayers.h"
#include "pixel/bitmap.h"
#include "support/fxmodel.h"
#include "support/fxscene.h"

namespace {

using fxtest::kFadeColour;
using fxtest::Pixels;
using vktest::Arg;

constexpr int32_t kW = 48, kH = 32;
constexpr int32_t kX = 6, kY = 5;  // where the layer stands
constexpr int32_t kBrushW = 21, kBrushH = 13;
constexpr int32_t kOtherW = 15, kOtherH = 9;  // brush 5 when the layer changes size

// The second brush's picture: unlike both the old and the new pixels.
uint32_t OtherPixel(int32_t x, int32_t y) { return 0x400000u | uint32_t(x & 0xFF) << 8 | uint32_t(y & 0xFF); }

// "" when the windows agree, else where they first differ.
std::string Differs(const Pixels& got, const Pixels& want) {
  if (got.size() != want.size()) return "sizes differ";
  for (size_t i = 0; i < got.size(); i++)
    if (got[i] != want[i]) {
      char text[96];
      std::snprintf(text, sizeof text, "at %zu,%zu: %06x, want %06x", i % kW, i / kW, got[i], want[i]);
      return text;
    }
  return "";
}

class ReplacedLayer : public fxtest::FXScene {
 protected:
  // A fresh display with layers on; brushes 3 and 5 of one size (5 with
  // its own picture), [masked] on a checkerboard; brush [shown] as layer 1,
  // hidden unless [hiding] (the effect hides it then).
  // With [resized] brush 5 is kOtherW x kOtherH.
  void Scene(bool masked, bool hiding, int32_t shown, bool resized = false) {
    MakeDisplay(kW, kH);
    ASSERT_EQ(Call("EnableLayers", {}), "");
    MakeBrush(3, kBrushW, kBrushH, masked);
    const int32_t w = resized ? kOtherW : kBrushW, h = resized ? kOtherH : kBrushH;
    MakeBrush(5, w, h, masked);
    vkBrush* other = nullptr;
    ASSERT_EQ(FindBrush(gs(), vkObjectId{5, nullptr}, &other, 0), 0);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) WriteBitMapPixel(other->bitmap.get(), x, y, OtherPixel(x, y));
    Global("hidden", {{"hidden", hiding ? 0 : 1}});
    ASSERT_EQ(Call("DisplayBrush", {shown, kX, kY, Arg::global("hidden")}), "");
  }
  void Global(const char* name, const std::vector<std::pair<const char*, int32_t>>& fields) {
    vmPushString(L, name);
    vmNewTable(L);
    for (const auto& [k, v] : fields) SetFieldInt(L, k, v);
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  // Starts the effect asynchronously on layer 1; its handle.
  vkObjectId Start(int32_t id, int32_t speed, bool hiding) {
    const int32_t parameter = id == 0 || id == 7 ? fxtest::kStripeParameter : kFadeColour;
    Global("async", {{"type", id}, {"speed", speed}, {"parameter", parameter}, {"async", 1}});
    EXPECT_EQ(Call(hiding ? "HideLayerFX" : "ShowLayerFX", {1, Arg::global("async")}), "handle");
    return vkObjectId{0, const_cast<void*>(vmToPointer(L, -1))};
  }
  // One frame; true when it was the last.
  bool Frame(vkObjectId handle) {
    int32_t done = 0;
    EXPECT_EQ(AsyncDrawFrame(gs(), handle, nullptr, &done), 0);
    return done != 0;
  }
  // The effect's answer to [message].
  intptr_t Ask(vkObjectId handle, int32_t message) {
    const vkAsyncDraw* a = FindAsyncDraw(gs(), handle.handle);
    return a && a->message ? a->message(message, nullptr, a->userData) : -1;
  }
  // Plays on from [from] frames shown to the end: the window after each
  // frame as [played] shows it, the whole play as long, ending on [end].
  void PlaysOnAs(vkObjectId handle, const std::vector<Pixels>& played, size_t from, const Pixels& end) {
    size_t f = from;
    for (; f < played.size() + 2 && !Frame(handle); f++) {
      ASSERT_LT(f, played.size());
      ASSERT_EQ(Differs(Window(), played[f]), "") << "frame " << f + 1;
    }
    EXPECT_EQ(f, played.size()) << "frames";
    EXPECT_EQ(Differs(Window(), end), "");
  }
  // The window after each frame of a whole play.
  std::vector<Pixels> Play(vkObjectId handle) {
    std::vector<Pixels> frames;
    for (int guard = 0; guard < 2000 && !Frame(handle); guard++) frames.push_back(Window());
    return frames;
  }
};

// Ids of each kind of routine: slices, curtains, reveals, lines, corner
// rectangles, scrolls, tiles, spiral, splits, up-and-down (all replayed
// from frame 1), and seekable ones (stretch, flow, gate, fade, dissolve).
const int32_t kIds[] = {0, 14, 19, 24, 28, 29, 30, 34, 38, 47, 52, 82, 83, 90, 105, 106, 107, 108, 110,
                        55, 70, 116, 139};

TEST_F(ReplacedLayer, FramesAfterTheLayerIsReplacedEqualAPlayOfTheNewPicture) {
  for (int32_t id : kIds)
    for (bool masked : {false, true})
      for (bool hiding : {false, true}) {
        SCOPED_TRACE("id " + std::to_string(id) + (masked ? " masked" : "") + (hiding ? " hiding" : " showing"));
        // What play shows of brush 5 from the start.
        srand48(5), srand(5);
        Scene(masked, hiding, 5);
        if (HasFatalFailure()) return;
        const std::vector<Pixels> played = Play(Start(id, -1, hiding));
        ASSERT_GE(played.size(), 3u);
        const Pixels end = Window();

        // The same effect on brush 3, its layer made to show brush 5 midway.
        srand48(5), srand(5);
        Scene(masked, hiding, 3);
        const vkObjectId handle = Start(id, -1, hiding);
        const size_t k = played.size() / 2;
        for (size_t f = 0; f < k; f++) ASSERT_FALSE(Frame(handle));
        Global("style", {{"id", 5}});
        ASSERT_EQ(Call("SetLayerStyle", {1, Arg::global("style")}), "");
        ASSERT_NE(GetNthLayer(display()->bgpic, 1), nullptr);
        EXPECT_EQ(Differs(Window(), played[k - 1]), "") << "the frame the effect stood at, from the new picture";
        ASSERT_NO_FATAL_FAILURE(PlaysOnAs(handle, played, k, end));
        const vkLayer* layer = GetNthLayer(display()->bgpic, 1);
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->hidden, hiding ? 1 : 0);
        EXPECT_EQ(layer->onScreen->transformedBitmap, nullptr);
      }
}

// A layer of another size starts the effect again on it, at the share of
// its frames the effect had reached.
TEST_F(ReplacedLayer, ALayerOfAnotherSizeRestartsTheEffectAtTheSameShareOfItsFrames) {
  for (int32_t id : {0, 24, 38, 82, 105, 110, 55, 75, 116, 139})
    for (bool hiding : {false, true}) {
      SCOPED_TRACE("id " + std::to_string(id) + (hiding ? " hiding" : " showing"));
      // Plays of the first and of the second brush from the start.
      srand48(5), srand(5);
      Scene(false, hiding, 3, true);
      if (HasFatalFailure()) return;
      const size_t first = Play(Start(id, -1, hiding)).size() + 1;
      srand48(5), srand(5);
      Scene(false, hiding, 5, true);
      const std::vector<Pixels> played = Play(Start(id, -1, hiding));
      const size_t second = played.size() + 1;
      const Pixels end = Window();

      srand48(5), srand(5);
      Scene(false, hiding, 3, true);
      const vkObjectId handle = Start(id, -1, hiding);
      const size_t k = std::max<size_t>(1, first / 3);
      for (size_t f = 0; f < k; f++) ASSERT_FALSE(Frame(handle));
      Global("style", {{"id", 5}});
      srand48(5), srand(5);  // the set-up draws again (puzzle, dissolve) as the second play's did
      ASSERT_EQ(Call("SetLayerStyle", {1, Arg::global("style")}), "");
      const size_t at = std::clamp<size_t>(size_t(std::llround(double(k) / double(first) * double(second))), 1, second);
      ASSERT_LT(at, second) << "the restart lands before the last frame";
      EXPECT_EQ(Differs(Window(), played[at - 1]), "") << "frame " << at << " of the new picture";
      ASSERT_NO_FATAL_FAILURE(PlaysOnAs(handle, played, at, end));
      const vkLayer* layer = GetNthLayer(display()->bgpic, 1);
      ASSERT_NE(layer, nullptr);
      EXPECT_EQ(layer->onScreen->screenWidth, kOtherW);
      EXPECT_EQ(layer->onScreen->transformedBitmap, nullptr);
    }
}

// A layer changed in place while its effect runs (a brush layer turned or
// scaled, whose transformed planes are made anew; a text layer recoloured,
// whose own picture is made anew): the effect takes the new picture and goes
// on at the share of its frames it had reached, as a play of the changed
// layer from the start shows it.
TEST_F(ReplacedLayer, ALayerChangedInPlaceGoesOnFromItsNewPicture) {
  struct Change {
    const char* name;
    bool text;
    std::vector<std::pair<const char*, int32_t>> style;
    const char* newText;  // a text layer given another text (and size)
  };
  const Change changes[] = {
      {"turned", false, {{"rotate", 180}}, nullptr},
      {"scaled", false, {{"width", kOtherW}, {"height", kOtherH}}, nullptr},
      {"recoloured", true, {{"color", 0x30C0F0}}, nullptr},
      {"retexted", true, {}, "Wqy!"},
  };
  const auto style = [&](const Change& c) {
    Global("style", c.style);
    if (!c.newText) return;
    vmPushString(L, "style");
    vmGetTable(L, VK_GLOBALSINDEX);
    vmPushString(L, "text");
    vmPushString(L, c.newText);
    vmSetTable(L, -3);
    vmSetTop(L, 0);
  };
  // Layer 1 hidden, as the brush or a text, [changed] already or not.
  const auto scene = [&](const Change& c, bool changed) {
    if (!c.text) {
      Scene(true, false, 3);
      if (changed) {
        style(c);
        ASSERT_EQ(Call("SetLayerStyle", {1, Arg::global("style")}), "");
      }
      return;
    }
    MakeDisplay(kW, kH);
    ASSERT_EQ(Call("EnableLayers", {}), "");
    RegisterTextLayers(L);
    // Printing joins its arguments through the script's tostring.
    vmPushString(L, "tostring");
    vmPushCClosure(L, [](vkState* S) { return vmPushValue(S, 1), 1; }, 0);
    vmSetTable(L, VK_GLOBALSINDEX);
    ASSERT_EQ(Call("SetFont", {":::default_sans", 14}), "");
    ASSERT_EQ(Call("SetFontColor", {changed && !c.newText ? 0x30C0F0 : 0xFFC080}), "");
    ASSERT_EQ(Call("TextOut", {kX, kY, changed && c.newText ? c.newText : "Wq"}), "");
    Global("style", {{"hidden", 1}});
    ASSERT_EQ(Call("SetLayerStyle", {1, Arg::global("style")}), "");
  };
  for (const Change& c : changes)
    for (int32_t id : {0, 24, 38, 82, 55, 116, 139}) {
      SCOPED_TRACE(std::string(c.name) + " id " + std::to_string(id));
      srand48(5), srand(5);
      scene(c, false);
      if (HasFatalFailure()) return;
      Play(Start(id, -1, false));
      srand48(5), srand(5);
      scene(c, true);
      if (HasFatalFailure()) return;
      const std::vector<Pixels> played = Play(Start(id, -1, false));
      const Pixels end = Window();

      srand48(5), srand(5);
      scene(c, false);
      const vkObjectId handle = Start(id, -1, false);
      const intptr_t first = Ask(handle, kAsyncFrameCount);
      const size_t k = size_t(std::max<intptr_t>(1, first / 3));
      for (size_t f = 0; f < k; f++) ASSERT_FALSE(Frame(handle));
      style(c);
      srand48(5), srand(5);
      ASSERT_EQ(Call("SetLayerStyle", {1, Arg::global("style")}), "");
      const intptr_t second = Ask(handle, kAsyncFrameCount);
      const size_t at = size_t(std::clamp<intptr_t>(std::llround(double(k) / double(first) * double(second)), 1, second));
      ASSERT_LT(at, played.size());
      EXPECT_EQ(Ask(handle, kAsyncCurrentFrame), intptr_t(at));
      EXPECT_EQ(Differs(Window(), played[at - 1]), "") << "frame " << at << " of the changed layer";
      ASSERT_NO_FATAL_FAILURE(PlaysOnAs(handle, played, at, end));
      const vkLayer* layer = GetNthLayer(display()->bgpic, 1);
      ASSERT_NE(layer, nullptr);
      EXPECT_EQ(layer->hidden, 0);
    }
}

}  // namespace
