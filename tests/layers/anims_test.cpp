// The anim library: anims loaded from GIF files that ImageMagick made, cut
// from brushes as grids, changed, copied and freed (command and error
// tables); playback into a display without a window, synchronous and
// stepped, with masks and clipping, against frames composed here; anims
// saved as GIF (read back by ImageMagick) and as Motion-JPEG AVI (judged by
// ffprobe and decoded by ffmpeg), and anim streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "../common/scratchdir.h"
#include "../runtime/support/libcall.h"
#include "base/errorcodes.h"
#include "engine/attributes.h"
#include "engine/vmapi.h"
#include "graphics/asyncdraw.h"
#include "graphics/attributes.h"
#include "graphics/displays.h"
#include "graphics/brushes.h"
#include "graphics/graphicslib.h"
#include "graphics/outputtargets.h"
#include "graphics/positions.h"
#include "graphics/sprites.h"
#include "layers/animlib.h"
#include "layers/anims.h"
#include "pixel/bitmap.h"
#include "pixel/copykernels.h"
#include "platform/vkos_pictures.h"
#include "platform/vkos_time.h"

namespace {

using vktest::Arg;
using Pixels = std::vector<uint32_t>;

int OpenLibraries(vkState* L) {
  AddSetAttrHandler(L, SetGraphicsAttr);
  AddGetAttrHandler(L, GetGraphicsAttr);
  RegisterAttributeCommands(L);
  if (int rc = OpenBrushLibrary(L)) return rc;
  return OpenAnimLibrary(L);
}

bool HaveTool(const char* name) {
  return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// The standard output of [command], or "" when it failed.
std::string Output(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  return pclose(p) == 0 ? out : std::string();
}

void SetGlobalTable(vkState* L, const char* name, const std::vector<std::pair<const char*, double>>& fields) {
  vmPushString(L, name);
  vmNewTable(L);
  for (const auto& [k, v] : fields) {
    vmPushString(L, k);
    vmPushNumber(L, v);
    vmSetTable(L, -3);
  }
  vmSetTable(L, VK_GLOBALSINDEX);
}

// Whether two 0xAARRGGBB words differ by at most [tolerance] per channel:
// the GIF palette reduction may move a colour a little.
::testing::AssertionResult Near(uint32_t got, uint32_t want, int tolerance = 8) {
  for (int shift = 0; shift < 32; shift += 8)
    if (std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance)
      return ::testing::AssertionFailure() << std::hex << got << " is not near " << want;
  return ::testing::AssertionSuccess();
}

// Colour of pixel (x, y) of frame [f] of the test anims: few colours, so a
// GIF keeps them exactly.
uint32_t FramePixel(int32_t f, int32_t x, int32_t y) {
  return uint32_t(40 * f + 20) << 16 | uint32_t(30 * x) << 8 | uint32_t(40 * y);
}

class AnimTest : public vktest::LibraryTest {
 protected:
  static constexpr int32_t kWidth = 16, kHeight = 12;
  static constexpr uint32_t kBackground = 0x203040;

  void SetUp() override {
    OpenLibrary(OpenLibraries);
    back.reset(AllocArgbBitMap(kWidth, kHeight));
    screen.reset(AllocArgbBitMap(kWidth, kHeight));
    Fill(back.get(), kBackground);
    Fill(screen.get(), kBackground);
    picture.width = picture.scaledWidth = kWidth;
    picture.height = picture.scaledHeight = kHeight;
    picture.bitmap = back.get();
    display.bgpic = &picture;
    display.width = kWidth, display.height = kHeight;
    display.backBuffer = back.get();
    display.screenBuffer = screen.get();
    gs().DisplayList.emplace_back(&display);
    gs().CurrentDisplay = &display;
    gs().CurrentBGPic = &picture;
  }
  void TearDown() override {
    FreeAllAsyncDraws(gs());
    FreeAllAnims(L);
    FreeAllBrushes(L);
    FreeOutputTargets(&display);
    for (vkDisplayPtr& d : gs().DisplayList) (void)d.release();
    gs().DisplayList.clear();
    gs().CurrentDisplay = nullptr;
    gs().CurrentBGPic = nullptr;
    vktest::LibraryTest::TearDown();
  }

  vkGraphicsState& gs() { return GraphicsState(L); }
  static void Fill(vkBitMap* b, uint32_t rgb) {
    FillPixelRect32(b->pixels, b->bytesPerRow / 4, 0, 0, b->width, b->height, RGBToPixel(rgb, b->format));
  }
  static Pixels Read(const vkBitMap* b) {
    Pixels out;
    for (int32_t y = 0; y < b->height; y++)
      for (int32_t x = 0; x < b->width; x++) out.push_back(ReadBitMapPixel(b, x, y) & 0xFFFFFF);
    return out;
  }
  vkAnim* anim(int32_t number) {
    vkAnim* a = nullptr;
    return FindAnim(gs(), vkObjectId{number, nullptr}, &a, 0) == 0 ? a : nullptr;
  }
  Pixels FrameOf(int32_t number, int32_t frame) {
    vkAnim* a = anim(number);
    if (!a) return {};
    vkPlanes owned;
    vkBitmapSource src;
    if (GetAnimFrameBitmap(gs(), *a, frame, false, false, &owned, &src)) return {};
    return Read(src.bitmap);
  }
  // Brush [number] of width x height with pixels f(x, y); a mask clear
  // where [hidden] says so.
  void MakeBrush(int32_t number, int32_t width, int32_t height, const std::function<uint32_t(int32_t, int32_t)>& f,
                 const std::function<bool(int32_t, int32_t)>& hidden = nullptr) {
    vkBrush* b = nullptr;
    ASSERT_EQ(FreeBrushById(gs(), vkObjectId{number, nullptr}, false), 0);
    ASSERT_EQ(CreateBrushRecord(gs(), vkIdRequest{number, false}, width, height, 0, hidden != nullptr, false, true, &b),
              0);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) {
        WriteBitMapPixel(b->bitmap.get(), x, y, f(x, y));
        if (hidden) WriteBitMapPixel(b->mask.get(), x, y, hidden(x, y) ? 1 : 0);
      }
  }
  // Anim [number]: [frames] frames of w x h cut from a strip brush, frame f
  // painted with FramePixel; with [masked] the top-left pixel of every
  // frame is hidden.
  void MakeAnim(int32_t number, int32_t frames, int32_t w, int32_t h, bool masked = false) {
    MakeBrush(
        99, w * frames, h, [w](int32_t x, int32_t y) { return FramePixel(x / w, x % w, y); },
        masked ? std::function<bool(int32_t, int32_t)>([w](int32_t x, int32_t y) { return x % w == 0 && y == 0; })
               : nullptr);
    ASSERT_EQ(Call("CreateAnim", {number, 99, w, h, frames, frames}), "");
  }

  vkDisplay display;
  vkBGPic picture;
  vkBitMapPtr back, screen;
};

// ---- Commands and their errors ----

TEST_F(AnimTest, CommandsAndErrors) {
  MakeBrush(1, 6, 6, [](int32_t x, int32_t y) { return FramePixel(0, x, y); });
  SetGlobalTable(L, "speedTable", {{"speed", 1}});
  RunCases({
      // Grids: 5 frames of 2 x 2 with 2 per row need 3 rows.
      {"CreateAnim", {1, 1, 2, 2, 5, 2}, ""},
      {"CreateAnim", {2, 1, 3, 2, 5, 2}, ""},
      {"CreateAnim", {2, 1, 2, 3, 5, 2}, "error 1156"},  // 3 rows of 3 = 9 > 6
      {"CreateAnim", {3, 1, 2, 2, 5, 2, 0, 1}, "error 1156"},
      {"CreateAnim", {8, 1, 2, 2, 4, 2, 2, 1}, ""},
      {"CreateAnim", {3, 1, 2, 2, 5, 2, -1, 0}, "error 1154"},
      {"CreateAnim", {3, 1, 0, 2, 1, 1}, "error 1055"},
      {"CreateAnim", {3, 1, 2, 2, 0, 1}, "error 1055"},
      {"CreateAnim", {3, 1, 2, 2, 3, 0}, ""},  // frames per row below 1: one row
      {"CreateAnim", {4, 7, 2, 2, 1, 1}, "error 1174"},
      {"CreateAnim", {nullptr, 1, 2, 2, 1, 1}, "handle"},
      // Frame counts.
      {"ModifyAnimFrames", {1, -2}, ""},
      {"ModifyAnimFrames", {1, 2, 1}, ""},
      {"ModifyAnimFrames", {1, 0}, "error 1055"},
      {"ModifyAnimFrames", {1, -5}, "error 1055"},
      {"ModifyAnimFrames", {1, 1, 7}, "error 1055"},
      {"ModifyAnimFrames", {1, -2, 5}, "error 1055"},
      {"ModifyAnimFrames", {1, 1, -1}, "error 1055"},
      {"ModifyAnimFrames", {9, 1}, "error 1176"},
      // Delays, frames, copies.
      {"SetAnimFrameDelay", {1, 1, 0}, ""},
      {"SetAnimFrameDelay", {1, 6, 10}, "error 1094"},
      {"SetAnimFrameDelay", {1, 1, -1}, "error 1055"},
      {"GetAnimFrame", {5, 0, 1}, "error 1094"},
      {"GetAnimFrame", {5, 5, 1}, ""},
      {"GetAnimFrame", {5, 6, 1}, "error 1094"},
      {"CopyAnim", {1, 1}, "error 1055"},
      {"CopyAnim", {1, 6}, ""},
      {"CopyAnim", {9, 6}, "error 1176"},
      {"ScaleAnim", {6, 4, KEEPASPRAT}, ""},
      {"ScaleAnim", {6, 0, 4}, "error 1218"},
      {"ScaleAnim", {6, "50%", "50%"}, ""},
      {"FreeAnim", {6}, ""},
      {"FreeAnim", {6}, "error 1176"},
      {"DisplayAnimFrame", {1, 0, 0, 6}, "error 1094"},
      {"DisplayAnimFrame", {1, 0, 0, 5}, ""},
      {"PlayAnim", {9, 0, 0}, "error 1176"},
      {"SaveAnim", {9, "x.gif"}, "error 1176"},
      {"FinishAnimStream", {4}, "error 1341"},
      {"WriteAnimFrame", {4, 1}, "error 1341"},
      {"BeginAnimStream", {4, "", 8, 8}, "error 1055"},
      {"BeginAnimStream", {4, "x.gif", 0, 8}, "error 1055"},
      {"BeginAnimStream", {4, "x.gif", 8, 8, 2}, "error 1055"},
      {"IsAnim", {"no such file"}, "0"},
  });
  // 5 frames, -2 leaves frames 1 to 3, then two blank frames go before frame 1.
  vkAnim* a = anim(1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->frameCount, 5);
  EXPECT_EQ(FrameOf(1, 0), Pixels(4, 0));
  EXPECT_EQ(FrameOf(1, 2), (Pixels{FramePixel(0, 0, 0), FramePixel(0, 1, 0), FramePixel(0, 0, 1), FramePixel(0, 1, 1)}));
  EXPECT_EQ(FrameOf(1, 3), (Pixels{FramePixel(0, 2, 0), FramePixel(0, 3, 0), FramePixel(0, 2, 1), FramePixel(0, 3, 1)}));
  EXPECT_EQ(a->delays, (std::vector<uint32_t>{0, kNoFrameDelay, kNoFrameDelay, kNoFrameDelay, kNoFrameDelay}));
  // The grid with an origin: frame 2 starts at (4, 1), frame 3 at (2, 3).
  EXPECT_EQ(FrameOf(8, 1).front(), FramePixel(0, 4, 1));
  EXPECT_EQ(FrameOf(8, 2).front(), FramePixel(0, 2, 3));
  // Frames per row below 1: all in one row.
  EXPECT_EQ(FrameOf(3, 2).front(), FramePixel(0, 4, 0));
  vkBrush* b = nullptr;
  ASSERT_EQ(FindBrush(gs(), vkObjectId{5, nullptr}, &b, 0), 0);
  EXPECT_EQ(b->width, 2);
}

TEST_F(AnimTest, SpritesAndBrushesFromAnims) {
  MakeAnim(1, 3, 4, 2, true);
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(OpenSpriteLibrary(L), 0);
  vmSetTop(L, 0);
  RunCases({
      {"CreateSprite", {1, 4, 1}, ""},
      {"CreateSprite", {2, 4, 7}, "error 1176"},
      {"CreateSprite", {2, 4, 1, 2}, "error 1193"},
      {"ConvertToBrush", {4, 1, 3, 3}, ""},
      {"ConvertToBrush", {4, 1, 3, 4}, "error 1094"},
  });
  vkSprite* s = nullptr;
  ASSERT_EQ(FindSprite(gs(), vkObjectId{1, nullptr}, &s, 0), 0);
  ASSERT_EQ(s->frames.size(), 3u);
  EXPECT_EQ(Read(s->frames[2].bitmap.get()), FrameOf(1, 2));
  EXPECT_EQ(ReadBitMapPixel(s->frames[2].mask.get(), 0, 0), 0u);
  vkBrush* b = nullptr;
  ASSERT_EQ(FindBrush(gs(), vkObjectId{3, nullptr}, &b, 0), 0);
  EXPECT_EQ(Read(b->bitmap.get()), FrameOf(1, 2));
  FreeAllSprites(L);
}

TEST_F(AnimTest, ScaleAndCopyKeepFramesAndDelays) {
  MakeAnim(1, 3, 4, 2);
  ASSERT_EQ(Call("SetAnimFrameDelay", {1, 2, 70}), "");
  ASSERT_EQ(Call("ScaleAnim", {1, 8, 4}), "");
  ASSERT_EQ(Call("CopyAnim", {1, 2}), "");
  for (int32_t n : {1, 2}) {
    vkAnim* a = anim(n);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->width, 8);
    EXPECT_EQ(a->height, 4);
    EXPECT_EQ(QueryAnimFrameDelay(*a, 1), 70u);
    EXPECT_EQ(QueryAnimFrameDelay(*a, 0), 0u);
    // Plain doubling: pixel (x, y) comes from (x / 2, y / 2).
    Pixels f = FrameOf(n, 2);
    ASSERT_EQ(f.size(), 32u);
    EXPECT_EQ(f[size_t(3 * 8 + 5)], FramePixel(2, 2, 1));
  }
}

// Layers that show anims, as far as the anim library asks: a set of shown
// records, and the moves of copy-before-modify.
std::vector<const void*> gShown;
std::vector<std::pair<const void*, const void*>> gRepointed;
bool ShownByFakeLayer(vkGraphicsState&, int32_t type, const void* record) {
  return type == kObjectAnim && std::find(gShown.begin(), gShown.end(), record) != gShown.end();
}
void RepointFakeLayers(vkGraphicsState&, int32_t type, const void* from, void* to) {
  if (type != kObjectAnim) return;
  gRepointed.emplace_back(from, to);
  std::replace(gShown.begin(), gShown.end(), from, static_cast<const void*>(to));
}

TEST_F(AnimTest, AnimsShownByLayersAreOrphanedAndCopiedBeforeChanges) {
  gShown.clear(), gRepointed.clear();
  Brushes(gs()).shownByLayer = ShownByFakeLayer;
  Brushes(gs()).repointLayers = RepointFakeLayers;
  MakeAnim(1, 3, 4, 2);
  vkAnim* shown = anim(1);
  gShown.push_back(shown);
  // Scaling moves the layer to a clone that keeps the old frames.
  ASSERT_EQ(Call("ScaleAnim", {1, 8, 4}), "");
  ASSERT_EQ(gRepointed.size(), 1u);
  EXPECT_EQ(gRepointed[0].first, shown);
  const vkAnim* clone = static_cast<const vkAnim*>(gRepointed[0].second);
  EXPECT_TRUE(clone->orphaned);
  EXPECT_EQ(clone->width, 4);
  EXPECT_EQ(anim(1)->width, 8);
  EXPECT_EQ(CountAnims(gs()), 2);
  // Freeing an anim a layer shows hides it from the script only.
  gShown.push_back(anim(1));
  ASSERT_EQ(Call("FreeAnim", {1}), "");
  EXPECT_EQ(Call("DisplayAnimFrame", {1, 0, 0, 1}), "error 1176");
  EXPECT_EQ(CountAnims(gs()), 2);
  FreeOrphanedAnims(gs());
  EXPECT_EQ(CountAnims(gs()), 2);
  gShown.clear();
  FreeOrphanedAnims(gs());
  EXPECT_EQ(CountAnims(gs()), 0);
  Brushes(gs()).shownByLayer = nullptr;
  Brushes(gs()).repointLayers = nullptr;
}

TEST_F(AnimTest, AttributesAndDisplayedFrames) {
  MakeAnim(1, 3, 4, 2, true);
  ASSERT_EQ(Call("SetAnimFrameDelay", {1, 2, 45}), "");
  RunCases({
      {"GetAttribute", {4, 1, 11}, "3"},   // ATTRNUMFRAMES
      {"GetAttribute", {4, 1, 0}, "4"},    // ATTRWIDTH
      {"GetAttribute", {4, 1, 16}, "1"},   // ATTRHASMASK
      {"GetAttribute", {4, 1, 17}, "0"},   // ATTRHASALPHA
      {"GetAttribute", {4, 1, 37, 2}, "45"},
      {"GetAttribute", {4, 1, 37, 4}, "error 1094"},
      {"GetAttribute", {4, 2, 11}, "error 1176"},
      {"DisplayAnimFrame", {1, 6, 7, 2}, ""},
  });
  // Frame 2 drawn through its mask at 6, 7.
  Pixels want(size_t(kWidth * kHeight), kBackground);
  for (int32_t y = 0; y < 2; y++)
    for (int32_t x = 0; x < 4; x++)
      if (x || y) want[size_t((7 + y) * kWidth + 6 + x)] = FramePixel(1, x, y);
  EXPECT_EQ(Read(back.get()), want);
}

TEST_F(AnimTest, SelectedAnimIsProtectedUntilPlayed) {
  MakeAnim(1, 2, 4, 2);
  ASSERT_EQ(Call("CopyAnim", {1, 2}), "");
  ASSERT_EQ(Call("SelectAnim", {1, 2}), "");
  RunCases({
      {"FreeAnim", {1}, "error 1340"},
      {"ScaleAnim", {1, 2, 2}, "error 1340"},
      {"ModifyAnimFrames", {1, 1}, "error 1340"},
      {"PlayAnim", {2, 0, 0}, "error 1339"},
      {"SelectAnim", {1, 3}, "error 1094"},
  });
  // Playing the selected anim ends the selection first.
  ASSERT_EQ(Call("PlayAnim", {1, 0, 0}), "");
  EXPECT_EQ(display.renderTarget, kTargetDisplay);
  EXPECT_EQ(Call("FreeAnim", {1}), "");
}

// ---- Loading GIF anims ----

TEST_F(AnimTest, LoadsImageMagickGif) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  ScratchDir dir;
  const std::string gif = dir / "a.gif";
  ASSERT_EQ(std::system(("convert -size 6x4 -delay 10 xc:'#FF0000' -delay 25 xc:'#00FF00' -delay 5 xc:'#0000FF' "
                         "-dispose none " + gif).c_str()),
            0);
  ASSERT_EQ(Call("LoadAnim", {1, gif}), "");
  SetGlobalTable(L, "fromDisk", {{"fromdisk", 1}});
  ASSERT_EQ(Call("LoadAnim", {2, gif, Arg::global("fromDisk")}), "");
  ASSERT_EQ(Call("LoadAnim", {3, gif, 0xFF0000u}), "");
  const uint32_t colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
  const uint32_t delays[3] = {100, 250, 50};
  for (int32_t n : {1, 2}) {
    vkAnim* a = anim(n);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->fromDisk, n == 2);
    EXPECT_EQ(a->frameCount, 3);
    for (int32_t f = 0; f < 3; f++) {
      EXPECT_EQ(FrameOf(n, f), Pixels(24, colours[f])) << "anim " << n << " frame " << f;
      EXPECT_EQ(QueryAnimFrameDelay(*a, f), delays[f]);
    }
  }
  // The transparent colour makes frame 1's mask all clear.
  vkAnim* keyed = anim(3);
  ASSERT_NE(keyed, nullptr);
  ASSERT_TRUE(keyed->frames[0].mask);
  EXPECT_EQ(ReadBitMapPixel(keyed->frames[0].mask.get(), 2, 2), 0u);
  EXPECT_EQ(ReadBitMapPixel(keyed->frames[1].mask.get(), 2, 2), 1u);
  SetGlobalTable(L, "loadAlphaKey", {{"loadalpha", 1}, {"transparency", 0xFF00FF}});
  RunCases({
      {"IsAnim", {gif}, "1"},
      {"LoadAnimFrame", {7, 2, gif}, ""},
      {"LoadAnimFrame", {7, 4, gif}, "error 1094"},
      {"LoadAnimFrame", {8, -1, gif}, ""},
      {"SetAnimFrameDelay", {2, 1, 0}, ""},
      {"LoadAnim", {4, dir / "missing.gif"}, "error 1045"},
      {"LoadAnim", {4, gif, Arg::global("loadAlphaKey")}, "error 1223"},
  });
  EXPECT_EQ(QueryAnimFrameDelay(*anim(2), 0), 0u);  // the script's 0 overrides the file
  vkBrush* b = nullptr;
  ASSERT_EQ(FindBrush(gs(), vkObjectId{8, nullptr}, &b, 0), 0);
  EXPECT_EQ(ReadBitMapPixel(b->bitmap.get(), 0, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(AnimTest, PicturesAndBrokenFiles) {
  ScratchDir dir;
  // A GIF damaged after its header is no anim, and no picture either.
  const std::string bad = dir.Write("bad.gif", std::string("GIF89a\x04\x00\x04\x00\x80\x00\x00", 13) + "xyz");
  EXPECT_EQ(Call("LoadAnim", {1, bad}).substr(0, 6), "error ");
  EXPECT_EQ(anim(1), nullptr);
  EXPECT_EQ(Call("IsAnim", {bad}), "0");

  // A picture cut as a grid: 3 frames of 2 x 2, 2 per row.
  std::vector<uint32_t> words(4 * 4);
  for (int32_t i = 0; i < 16; i++) words[size_t(i)] = FramePixel(0, i % 4, i / 4);
  const std::string png = dir / "p.png";
  ASSERT_EQ(vkosSavePng(png.c_str(), words.data(), 4, 4, false), 0);
  SetGlobalTable(L, "grid", {{"width", 2}, {"height", 2}, {"frames", 3}, {"fpr", 2}});
  ASSERT_EQ(Call("LoadAnim", {2, png, Arg::global("grid")}), "");
  EXPECT_EQ(anim(2)->frameCount, 3);
  EXPECT_EQ(FrameOf(2, 2), (Pixels{FramePixel(0, 0, 2), FramePixel(0, 1, 2), FramePixel(0, 0, 3), FramePixel(0, 1, 3)}));
  ASSERT_EQ(Call("LoadAnim", {3, png}), "");
  EXPECT_EQ(anim(3)->frameCount, 1);
  // While the preloads run, a picture can be kept in the image cache and
  // loaded from it under its name.
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 1}});
  vmPushString(L, "keep");
  vmNewTable(L);
  for (const char* field : {"cache", "cachedload"}) {
    vmPushString(L, field);
    vmPushString(L, "pic");
    vmSetTable(L, -3);
  }
  vmSetTable(L, VK_GLOBALSINDEX);
  ASSERT_EQ(Call("LoadAnim", {4, png, Arg::global("keep")}), "");
  ASSERT_EQ(Call("LoadAnim", {5, dir / "gone.png", Arg::global("keep")}), "");
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 0}});
  EXPECT_EQ(FrameOf(5, 0), FrameOf(3, 0));
  EXPECT_EQ(Call("LoadAnim", {6, dir / "gone.png", Arg::global("keep")}), "error 1045");
}

// ---- Playback ----

// What the display shows after frame [f] of a masked 4 x 3 anim played at
// (x, y): the frame where its mask is set, the background elsewhere.
Pixels Expected(int32_t w, int32_t h, int32_t x, int32_t y, int32_t f, bool masked) {
  Pixels want(size_t(16 * 12), 0x203040);
  for (int32_t j = 0; j < h; j++)
    for (int32_t i = 0; i < w; i++) {
      const int32_t dx = x + i, dy = y + j;
      if (dx < 0 || dy < 0 || dx >= 16 || dy >= 12) continue;
      if (masked && i == 0 && j == 0) continue;
      want[size_t(dy * 16 + dx)] = FramePixel(f, i, j);
    }
  return want;
}

TEST_F(AnimTest, PlaysIntoTheDisplay) {
  struct Case {
    int32_t x, y;
    bool masked;
  } cases[] = {{3, 2, false}, {3, 2, true}, {-2, 5, true}, {13, -1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y << (c.masked ? " masked" : ""));
    Fill(back.get(), kBackground);
    MakeAnim(1, 3, 4, 3, c.masked);
    ASSERT_EQ(Call("PlayAnim", {1, c.x, c.y}), "");
    EXPECT_EQ(Read(back.get()), Expected(4, 3, c.x, c.y, 2, c.masked));
    // Two passes end on the same frame; the anim is unlocked again.
    ASSERT_EQ(Call("PlayAnim", {1, c.x, c.y, -2, 2}), "");
    EXPECT_EQ(Read(back.get()), Expected(4, 3, c.x, c.y, 2, c.masked));
    EXPECT_EQ(anim(1)->lockCount, 0);
  }
  // Entirely outside the display.
  EXPECT_EQ(Call("PlayAnim", {1, 16, 0}), "error 1055");
  EXPECT_EQ(anim(1)->lockCount, 0);
}

TEST_F(AnimTest, PlaysScaledAndAnchored) {
  MakeAnim(1, 3, 4, 3);
  SetGlobalTable(L, "doubled", {{"scalex", 2}, {"scaley", 2}, {"anchorx", 0.5}, {"anchory", 0.5}});
  ASSERT_EQ(Call("PlayAnim", {1, 8, 6, Arg::global("doubled")}), "");
  // 8 x 6 centred on (8, 6): from (4, 3); each frame pixel twice as big.
  Pixels want(size_t(kWidth * kHeight), kBackground);
  for (int32_t y = 0; y < 6; y++)
    for (int32_t x = 0; x < 8; x++) want[size_t((3 + y) * kWidth + 4 + x)] = FramePixel(2, x / 2, y / 2);
  EXPECT_EQ(Read(back.get()), want);
}

TEST_F(AnimTest, DefaultSpeedWaitsEachFramesDelay) {
  MakeAnim(1, 3, 2, 2);
  ASSERT_EQ(Call("SetAnimFrameDelay", {1, 1, 40}), "");
  ASSERT_EQ(Call("SetAnimFrameDelay", {1, 2, 40}), "");
  const double start = vkosGetTimeSeconds();
  ASSERT_EQ(Call("PlayAnim", {1, 0, 0, -4}), "");
  // The first two frames wait 40 ms each, the last one nothing.
  EXPECT_GE(vkosGetTimeSeconds() - start, 0.079);
}

TEST_F(AnimTest, SteppedPlaybackLocksTheAnim) {
  MakeAnim(1, 3, 4, 3, true);
  SetGlobalTable(L, "async", {{"async", 1}, {"times", 1}});
  const std::string r = Call("PlayAnim", {1, 5, 4, Arg::global("async")});
  ASSERT_EQ(r, "handle");
  void* handle = vmToUserdata(L, -1);
  EXPECT_EQ(Call("FreeAnim", {1}), "error 1314");
  EXPECT_EQ(Call("ScaleAnim", {1, 8, 6}), "error 1314");
  EXPECT_EQ(Call("ModifyAnimFrames", {1, 1}), "error 1314");
  for (int32_t f = 0; f < 3; f++) {
    int32_t done = 0;
    ASSERT_EQ(AsyncDrawFrame(gs(), vkObjectId{0, handle}, nullptr, &done), 0);
    EXPECT_EQ(Read(back.get()), Expected(4, 3, 5, 4, f, true)) << "frame " << f;
    EXPECT_EQ(done, 0);
  }
  // The step after the last frame ends the playback and unlocks the anim.
  int32_t done = 0;
  ASSERT_EQ(AsyncDrawFrame(gs(), vkObjectId{0, handle}, nullptr, &done), 0);
  EXPECT_EQ(done, 1);
  EXPECT_EQ(Call("FreeAnim", {1}), "");
  // A playback the script leaves running ends with the anims.
  MakeAnim(3, 2, 4, 3);
  ASSERT_EQ(Call("PlayAnim", {3, 0, 0, Arg::global("async")}), "handle");
  FreeAllAnims(L);
  EXPECT_TRUE(gs().asyncDraws.objects.empty());
}

TEST_F(AnimTest, DiskAnimsDecodeScaledFrames) {
  ScratchDir dir;
  MakeAnim(1, 3, 4, 2);
  const std::string gif = dir / "a.gif";
  ASSERT_EQ(Call("SaveAnim", {1, gif}), "");
  SetGlobalTable(L, "fromDisk", {{"fromdisk", 1}});
  SetGlobalTable(L, "fromDiskFrames", {{"fromdisk", 1}, {"frames", 2}});
  EXPECT_EQ(Call("LoadAnim", {2, gif, Arg::global("fromDiskFrames")}), "error 1055");
  ASSERT_EQ(Call("LoadAnim", {2, gif, Arg::global("fromDisk")}), "");
  ASSERT_EQ(Call("ScaleAnim", {2, 8, 4}), "");
  vkAnim* a = anim(2);
  EXPECT_EQ(a->decodedWidth, 4);
  const Pixels f = FrameOf(2, 1);
  ASSERT_EQ(f.size(), 32u);
  EXPECT_TRUE(Near(f[size_t(3 * 8 + 5)], FramePixel(1, 2, 1)));
  EXPECT_EQ(Call("ModifyAnimFrames", {2, 1}), "error 1338");
  EXPECT_EQ(Call("SelectAnim", {2, 1}), "error 1338");
  // A copy of a disk anim reads its own file.
  ASSERT_EQ(Call("CopyAnim", {2, 3}), "");
  EXPECT_EQ(FrameOf(3, 2), FrameOf(2, 2));
}

// ---- Saving ----

TEST_F(AnimTest, SavedGifReadsBackInImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  ScratchDir dir;
  MakeAnim(1, 4, 5, 3);
  ASSERT_EQ(Call("SetAnimFrameDelay", {1, 1, 120}), "");
  ASSERT_EQ(Call("SetAnimFrameDelay", {1, 3, 1000000}), "");
  SetGlobalTable(L, "twoColours", {{"colors", 1}});
  EXPECT_EQ(Call("SaveAnim", {1, dir / "x.gif", 0, Arg::global("twoColours")}), "error 1055");
  const std::string gif = dir / "a.gif";
  ASSERT_EQ(Call("SaveAnim", {1, gif}), "");
  EXPECT_EQ(Output("identify -format '%w %h %T\\n' " + gif), "5 3 12\n5 3 0\n5 3 65535\n5 3 0\n");
  const std::string rgb = Output("convert " + gif + " -coalesce -depth 8 rgb:-");
  ASSERT_EQ(rgb.size(), size_t(4 * 5 * 3 * 3));
  for (int32_t f = 0; f < 4; f++)
    for (int32_t i = 0; i < 15; i++) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(rgb.data()) + (f * 15 + i) * 3;
      EXPECT_TRUE(Near(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2], FramePixel(f, i % 5, i / 5)))
          << "frame " << f << " pixel " << i;
    }
  // Our own reader agrees.
  ASSERT_EQ(Call("LoadAnim", {2, gif}), "");
  for (int32_t f = 0; f < 4; f++) {
    const Pixels got = FrameOf(2, f), want = FrameOf(1, f);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) EXPECT_TRUE(Near(got[i], want[i])) << "frame " << f << " pixel " << i;
  }
}

// A frame with more colours than a palette holds still keeps every pixel
// opaque: the entry the writer marks transparent is left spare.
TEST_F(AnimTest, FullPalettesKeepEveryPixelOpaque) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  ScratchDir dir;
  MakeBrush(1, 32, 16, [](int32_t x, int32_t y) { return uint32_t(x * 8) << 16 | uint32_t(y * 16) << 8 | uint32_t((x ^ y) * 8); });
  ASSERT_EQ(Call("CreateAnim", {1, 1, 16, 16, 2, 2}), "");
  const std::string gif = dir / "full.gif";
  ASSERT_EQ(Call("SaveAnim", {1, gif}), "");
  const std::string rgba = Output("convert " + gif + " -coalesce -depth 8 rgba:-");
  ASSERT_EQ(rgba.size(), size_t(2 * 16 * 16 * 4));
  for (size_t i = 0; i < rgba.size(); i += 4) ASSERT_EQ(uint8_t(rgba[i + 3]), 255) << "pixel " << i / 4;
}

TEST_F(AnimTest, SavedAviPassesFfprobe) {
  if (!HaveTool("ffprobe") || !HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg missing";
  ScratchDir dir;
  MakeBrush(1, 64, 32, [](int32_t x, int32_t y) { return uint32_t(x * 4) << 16 | uint32_t(y * 8) << 8 | 0x80; });
  ASSERT_EQ(Call("CreateAnim", {1, 1, 32, 32, 2, 2}), "");
  const std::string avi = dir / "a.avi";
  SetGlobalTable(L, "rate", {{"fps", 10}, {"quality", 95}});
  ASSERT_EQ(Call("SaveAnim", {1, avi, 1, Arg::global("rate")}), "");
  EXPECT_EQ(Output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                "stream=codec_name,width,height,nb_read_frames,r_frame_rate -of csv=p=0 " + avi),
            "mjpeg,32,32,10/1,2\n");
  const std::string raw = Output("ffmpeg -v error -i " + avi + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
  ASSERT_EQ(raw.size(), size_t(32 * 32 * 3));
  double err = 0;
  for (int32_t i = 0; i < 32 * 32; i++) {
    const uint32_t want = uint32_t((i % 32) * 4) << 16 | uint32_t((i / 32) * 8) << 8 | 0x80;
    for (int c = 0; c < 3; c++) err += std::abs(int(uint8_t(raw[size_t(i * 3 + c)])) - int((want >> (16 - 8 * c)) & 0xFF));
  }
  EXPECT_LT(err / (32 * 32 * 3), 3.0);
  // A file that cannot be written reports so.
  EXPECT_EQ(Call("SaveAnim", {1, "/dev/full", 1}), "error 1052");
  EXPECT_EQ(Call("SaveAnim", {1, "/dev/full", 0}), "error 1052");
}

TEST_F(AnimTest, StreamsComposeSmallerBrushes) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  ScratchDir dir;
  MakeBrush(1, 2, 2, [](int32_t, int32_t) { return 0xFF8000u; });
  MakeBrush(2, 6, 4, [](int32_t x, int32_t) { return x < 3 ? 0x0000FFu : 0x00FF00u; });
  const std::string gif = dir / "s.gif";
  ASSERT_EQ(Call("BeginAnimStream", {3, gif, 6, 4}), "");
  SetGlobalTable(L, "centre", {{"x", -100000}, {"y", -100000}, {"delay", 200}, {"transparency", 0x000000}});
  SetGlobalTable(L, "tooMany", {{"colors", 257}});
  EXPECT_EQ(Call("WriteAnimFrame", {3, 1, Arg::global("tooMany")}), "error 1055");
  ASSERT_EQ(Call("WriteAnimFrame", {3, 1, Arg::global("centre")}), "");
  ASSERT_EQ(Call("WriteAnimFrame", {3, 2}), "");
  EXPECT_EQ(Call("WriteAnimFrame", {3, 9}), "error 1174");
  // Beginning again under the same number completes the first file.
  ASSERT_EQ(Call("BeginAnimStream", {3, dir / "t.gif", 6, 4}), "");
  ASSERT_EQ(Call("FinishAnimStream", {3}), "");
  EXPECT_EQ(Output("identify -format '%T ' " + gif), "20 0 ");
  const std::string rgba = Output("convert " + gif + " -coalesce -depth 8 rgba:-");
  ASSERT_EQ(rgba.size(), size_t(2 * 6 * 4 * 4));
  auto at = [&](int32_t f, int32_t x, int32_t y) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(rgba.data()) + ((f * 4 + y) * 6 + x) * 4;
    return uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  };
  EXPECT_EQ(at(0, 0, 0) >> 24, 0u);          // outside the brush: transparent
  EXPECT_TRUE(Near(at(0, 2, 1), 0xFFFF8000u));  // the centred brush
  EXPECT_TRUE(Near(at(0, 3, 2), 0xFFFF8000u));
  EXPECT_EQ(at(0, 4, 1) >> 24, 0u);
  EXPECT_TRUE(Near(at(1, 0, 0), 0xFF0000FFu));
  EXPECT_TRUE(Near(at(1, 5, 3), 0xFF00FF00u));
}

TEST_F(AnimTest, AviStreamsCountTheirFrames) {
  if (!HaveTool("ffprobe")) GTEST_SKIP() << "ffmpeg missing";
  ScratchDir dir;
  MakeBrush(1, 16, 16, [](int32_t x, int32_t y) { return uint32_t(x * 16) << 8 | uint32_t(y * 16); });
  const std::string avi = dir / "s.avi";
  ASSERT_EQ(Call("BeginAnimStream", {nullptr, avi, 32, 16, 1}), "handle");
  void* stream = vmToUserdata(L, -1);
  SetGlobalTable(L, "right", {{"x", kPosRight}});
  for (int i = 0; i < 3; i++) ASSERT_EQ(Call("WriteAnimFrame", {Arg::handle(stream), 1, Arg::global("right")}), "");
  ASSERT_EQ(Call("FinishAnimStream", {Arg::handle(stream)}), "");
  EXPECT_EQ(Call("FinishAnimStream", {Arg::handle(stream)}), "error 1041");
  EXPECT_EQ(Output("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                   "stream=codec_name,width,height,nb_read_frames -of csv=p=0 " + avi),
            "mjpeg,32,16,3\n");
  // A stream into a full device fails at the latest when it is finished.
  const std::string begin = Call("BeginAnimStream", {4, "/dev/full", 8, 8, 1});
  if (begin.empty()) {
    ASSERT_EQ(Call("WriteAnimFrame", {4, 1}).substr(0, 0), "");
    EXPECT_EQ(Call("FinishAnimStream", {4}), "error 1052");
  } else {
    EXPECT_EQ(begin, "error 1052");
  }
}

}  // namespace
