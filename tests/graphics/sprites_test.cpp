// The sprite library: sprites cut from brushes and files, moving over the
// display's picture and restoring what they covered, stepping through their
// frames, painted into the background, linked sprites freed with the
// sprites they use, and frees that reach every display's picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/scratchdir.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "pixel/simd.h"
#include "platform/vkos_pictures.h"
#include "support/scene.h"

namespace {

using gfxtest::Pixels;
using vktest::Arg;

constexpr uint32_t kFrame1 = 0xAA0000, kFrame2 = 0x00BB00;
constexpr int32_t kSide = 4;

// The background: a different colour at every pixel.
uint32_t Ground(int32_t x, int32_t y) { return uint32_t(x * 9) << 16 | uint32_t(y * 13) << 8 | 0x40; }

class SpriteTest : public gfxtest::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    Paint(back.get());
    Paint(screen.get());
    // Brush 1 holds two 4 x 4 frames side by side, each with its top-left
    // pixel masked out; sprite 1 is cut from it.
    Pixels pixels, mask;
    for (int32_t y = 0; y < kSide; y++)
      for (int32_t x = 0; x < 2 * kSide; x++) {
        pixels.push_back(x < kSide ? kFrame1 + uint32_t(x + y) : kFrame2 + uint32_t(x + y));
        mask.push_back(!(y == 0 && x % kSide == 0));
      }
    MakeBrush(1, 2 * kSide, kSide, pixels, &mask);
    ASSERT_EQ(Call("CreateSprite", {1, 3, 1, kSide, kSide, 2, 2}), "");
  }
  static void Paint(vkBitMap* b) {
    for (int32_t y = 0; y < b->height; y++)
      for (int32_t x = 0; x < b->width; x++) WriteBitMapPixel(b, x, y, Ground(x, y));
  }
  // The background with sprite frames drawn at the places given, in order.
  struct Shown {
    int32_t x, y, frame;
  };
  static Pixels Expect(const std::vector<Shown>& shown) {
    Pixels out;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) {
        uint32_t c = Ground(x, y);
        for (const Shown& s : shown) {
          const int32_t fx = x - s.x, fy = y - s.y;
          if (fx < 0 || fy < 0 || fx >= kSide || fy >= kSide || (fx == 0 && fy == 0)) continue;
          c = (s.frame == 1 ? kFrame1 : kFrame2) + uint32_t(fx + (s.frame - 1) * kSide + fy);
        }
        out.push_back(c);
      }
    return out;
  }
  vkSprite* sprite(int32_t number) {
    vkSprite* s = nullptr;
    return FindSprite(gs(), vkObjectId{number, nullptr}, &s, 0) == 0 ? s : nullptr;
  }
};

TEST_F(SpriteTest, MovingRestoresWhatTheSpriteCovered) {
  const struct {
    std::vector<Arg> args;
    std::initializer_list<Shown> want;
  } steps[] = {
      {{1, 2, 3}, {{2, 3, 1}}},
      {{1, 2, 3, 1}, {{2, 3, 1}}},  // the same place and frame: nothing happens
      {{1, 3, 3, 2}, {{3, 3, 2}}},  // a small move: one rectangle over both
      {{1, 15, 9}, {{15, 9, 1}}},   // a jump with frame 0: the next frame, wrapped
      {{1, 15, 9, 0}, {{15, 9, 2}}},
      {{1, -100000, -60000}, {{10, 12, 1}}},  // CENTER, BOTTOM; frame 0 wraps from 2 to 1
  };
  int step = 0;
  for (const auto& s : steps) {
    SCOPED_TRACE(step++);
    ASSERT_EQ(Call("DisplaySprite", s.args), "");
    EXPECT_EQ(Read(screen.get()), Expect(s.want));
  }
  // A second sprite is drawn over the first where they meet.
  ASSERT_EQ(Call("CopySprite", {1, 2}), "");
  ASSERT_EQ(Call("DisplaySprite", {2, 12, 13, 2}), "");
  EXPECT_EQ(Read(screen.get()), Expect({{10, 12, 1}, {12, 13, 2}}));
  ASSERT_EQ(Call("RemoveSprite", {1}), "");
  EXPECT_EQ(Read(screen.get()), Expect({{12, 13, 2}}));
  ASSERT_EQ(Call("RemoveSprites", {}), "");
  EXPECT_EQ(Read(screen.get()), Expect({}));
  EXPECT_TRUE(picture.sprites.empty());
  // The background buffer never held a sprite.
  Pixels ground;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++) ground.push_back(Ground(x, y));
  EXPECT_EQ(Read(back.get()), ground);
}

// A refresh draws every sprite it meets, in the order they were shown, at
// every vector width: eleven overlapping sprites (more than a refresh tests
// at once), one taken out of the middle, moves over and under the others,
// and sprites shown after other code emptied the picture's list (as a new
// display mode does).
TEST_F(SpriteTest, RefreshesDrawEverySpriteTheyMeetInTheOrderShown) {
  const struct Restore {
    int32_t level;
    ~Restore() { SetPixelSimdLevel(level); }
  } restore{PixelSimdLevel()};
  for (int32_t level = kPixelSimdScalar; level <= PixelSimdLevelSupported(); level++) {
    SCOPED_TRACE(level);
    SetPixelSimdLevel(level);
    std::vector<Shown> want;
    for (int32_t n = 1; n <= 11; n++) {
      if (n > 1) {
        ASSERT_EQ(Call("CopySprite", {1, n}), "");
      }
      ASSERT_EQ(Call("DisplaySprite", {n, 2 * n, n, 1 + n % 2}), "");
      want.push_back({2 * n, n, 1 + n % 2});
    }
    EXPECT_EQ(Read(screen.get()), Expect(want));
    ASSERT_EQ(Call("RemoveSprite", {4}), "");
    want.erase(want.begin() + 3);
    EXPECT_EQ(Read(screen.get()), Expect(want));
    const struct {
      int32_t sprite, x, y, frame;
      size_t at;  // its place in the order shown
    } moves[] = {
        {11, 3, 2, 1, 9},  // the last one over the first ones
        {1, 13, 6, 2, 0},  // the first one under the middle ones
        {5, 4, 3, 1, 3},   // one in the middle, between them
        {9, 20, 12, 2, 7},  // into the corner, partly off the picture
    };
    for (const auto& m : moves) {
      SCOPED_TRACE(m.sprite);
      ASSERT_EQ(Call("DisplaySprite", {m.sprite, m.x, m.y, m.frame}), "");
      want[m.at] = {m.x, m.y, m.frame};
      EXPECT_EQ(Read(screen.get()), Expect(want));
    }
    picture.sprites.clear();
    Paint(screen.get());
    ASSERT_EQ(Call("DisplaySprite", {2, 8, 8, 1}), "");
    ASSERT_EQ(Call("DisplaySprite", {3, 10, 9, 2}), "");
    ASSERT_EQ(Call("DisplaySprite", {2, 9, 10, 2}), "");  // moved, still beneath
    EXPECT_EQ(Read(screen.get()), Expect({{9, 10, 2}, {10, 9, 2}}));
    // Back to sprite 1 alone, not shown, on the bare background.
    ASSERT_EQ(Call("RemoveSprites", {}), "");
    for (int32_t n = 2; n <= 11; n++) ASSERT_EQ(Call("FreeSprite", {n}), "");
    Paint(screen.get());
  }
}

TEST_F(SpriteTest, RemoveSpritesCanKeepThemPainted) {
  RunCases({{"DisplaySprite", {1, 5, 5}, ""}, {"RemoveSprites", {1}, ""}});
  EXPECT_TRUE(picture.sprites.empty());
  EXPECT_EQ(Read(back.get()), Expect({{5, 5, 1}}));
  EXPECT_EQ(Read(screen.get()), Expect({{5, 5, 1}}));
}

TEST_F(SpriteTest, CommandsCheckTheirArgumentsAndOutput) {
  RunCases({
      {"DisplaySprite", {1, 0, 0, 3}, "error 1094"},
      {"DisplaySprite", {1, 0, 0, -1}, "error 1094"},
      {"DisplaySprite", {9, 0, 0}, "error 1219"},
      {"RemoveSprite", {1}, "error 1220"},
      {"FreeSprite", {9}, "error 1219"},
      {"CopySprite", {1, 1}, "error 1055"},
      {"CreateSprite", {2, 3, 1, kSide, kSide, 3, 3}, "error 1156"},  // a third frame past the brush
      {"CreateSprite", {2, 3, 1, kSide, kSide, 2, 2, -1, 0}, "error 1154"},
      {"CreateSprite", {2, 3, 1, kSide}, "error 1055"},
      {"CreateSprite", {2, 3, 7}, "error 1174"},
      {"CreateSprite", {2, 8, 1}, "error 1055"},
      {"CreateSprite", {3, 32, 1}, ""},  // linked to sprite 1
      {"FlipSprite", {3, 0}, "error 1228"},
      {"FlipSprite", {1, 0}, "error 1228"},  // used by sprite 3
      {"ScaleSprite", {3, 8, 8}, "error 1228"},
      {"FreeSprite", {3}, ""},
      {"DisplaySprite", {1, 0, 0}, ""},
      {"ScaleSprite", {1, 8, 8}, "error 1227"},
      {"RemoveSprite", {1}, ""},
      {"ScaleSprite", {1, "200%", 100000}, ""},
      {"ScaleSprite", {1, 100000, 100000}, "error 1055"},
  });
  EXPECT_EQ(sprite(1)->width, 8);
  EXPECT_EQ(sprite(1)->height, 8);

  // Not on screen by handle; the display commands need the plain display.
  ASSERT_EQ(Call("CopySprite", {1, nullptr}), "handle");
  void* handle = vmToUserdata(L, 1);
  EXPECT_EQ(Call("RemoveSprite", {Arg::handle(handle)}), "error 1325");
  const struct {
    int32_t target;
    uint32_t layersOn;
    const char* outcome;
  } outputs[] = {
      {kTargetBrush, 0, "error 1082"},       {kTargetBGPic, 0, "error 1056"},
      {kTargetMask, 0, "error 1147"},        {kTargetAlphaChannel, 0, "error 1167"},
      {kTargetDisplay, 1, "error 1162"},
  };
  for (const auto& o : outputs) {
    display.renderTarget = o.target, display.layersOn = o.layersOn;
    EXPECT_EQ(Call("DisplaySprite", {1, 0, 0}), o.outcome);
    EXPECT_EQ(Call("RemoveSprites", {}), o.outcome);
  }
  display.renderTarget = kTargetDisplay, display.layersOn = 0;
  sprite(1)->locked = 1;
  RunCases({{"DisplaySprite", {1, 0, 0}, ""}, {"RemoveSprites", {}, "error 1314"}, {"FreeSprite", {1}, "error 1314"}});
  sprite(1)->locked = 0;
}

TEST_F(SpriteTest, FramesOfCopiesFlipsAndLinks) {
  RunCases({
      {"CopySprite", {1, 2}, ""},
      {"FlipSprite", {2, 1}, ""},  // the kernel's direction 1 mirrors the columns
      {"CreateSprite", {3, 32, 1, 2}, ""},
      {"ConvertToBrush", {32, 3, 5, 3}, ""},  // frame 3 of the link: sprite 2's first
      {"ConvertToBrush", {32, 1, 6, 2}, ""},
      {"ConvertToBrush", {32, 3, 7, 5}, "error 1094"},
  });
  EXPECT_EQ(sprite(3)->FrameCount(), 4);
  const Pixels frame2 = BrushPixels(6);
  ASSERT_EQ(frame2.size(), size_t(kSide * kSide));
  for (int32_t y = 0; y < kSide; y++)
    for (int32_t x = 0; x < kSide; x++) {
      EXPECT_EQ(frame2[size_t(y * kSide + x)], kFrame2 + uint32_t(x + kSide + y));
      EXPECT_EQ(BrushPixels(5)[size_t(y * kSide + x)], kFrame1 + uint32_t(kSide - 1 - x + y));
    }
  // The original kept its frames.
  EXPECT_EQ(ReadBitMapPixel(GetSpriteFrame(*sprite(1), 0)->bitmap.get(), 0, 0), kFrame1);
}

TEST_F(SpriteTest, FreeingCascadesThroughLinks) {
  RunCases({
      {"CopySprite", {1, 2}, ""},
      {"CreateSprite", {3, 32, 1, 2}, ""},
      {"CreateSprite", {4, 32, 3}, ""},
      {"CreateSprite", {5, 32, 2}, ""},
      {"DisplaySprite", {4, 1, 1}, ""},
      {"DisplaySprite", {5, 9, 1}, ""},
      {"FreeSprite", {1}, ""},
  });
  EXPECT_EQ(sprite(3), nullptr);
  EXPECT_EQ(sprite(4), nullptr);
  ASSERT_NE(sprite(2), nullptr);
  ASSERT_NE(sprite(5), nullptr);
  EXPECT_EQ(CountSprites(gs()), 2);
  ASSERT_EQ(picture.sprites.size(), 1u);
  EXPECT_EQ(picture.sprites.front().sprite, sprite(5));
  EXPECT_EQ(Read(screen.get()), Expect({{9, 1, 1}}));
}

// A sprite shown on two displays' pictures leaves both when freed, and
// the picture of the display that is not current is refreshed too.
TEST_F(SpriteTest, FreeReachesEveryDisplay) {
  vkDisplay other;
  vkBGPic otherPicture;
  vkBitMapPtr otherBack(AllocArgbBitMap(kWidth, kHeight)), otherScreen(AllocArgbBitMap(kWidth, kHeight));
  Paint(otherBack.get());
  Paint(otherScreen.get());
  otherPicture.width = otherPicture.scaledWidth = kWidth;
  otherPicture.height = otherPicture.scaledHeight = kHeight;
  otherPicture.bitmap = otherBack.get();
  other.bgpic = &otherPicture;
  other.backBuffer = otherBack.get();
  other.screenBuffer = otherScreen.get();
  gs().DisplayList.emplace_back(&other);

  ASSERT_EQ(Call("DisplaySprite", {1, 2, 2}), "");
  gs().CurrentDisplay = &other, gs().CurrentBGPic = &otherPicture;
  ASSERT_EQ(Call("DisplaySprite", {1, 6, 6, 2}), "");
  EXPECT_EQ(Read(otherScreen.get()), Expect({{6, 6, 2}}));
  gs().CurrentDisplay = &display, gs().CurrentBGPic = &picture;
  ASSERT_EQ(Call("FreeSprite", {1}), "");
  EXPECT_TRUE(picture.sprites.empty());
  EXPECT_TRUE(otherPicture.sprites.empty());
  EXPECT_EQ(Read(screen.get()), Expect({}));
  EXPECT_EQ(Read(otherScreen.get()), Expect({}));
  (void)gs().DisplayList.back().release();
  gs().DisplayList.pop_back();
}

TEST_F(SpriteTest, LoadedFromAPictureGrid) {
  ScratchDir dir;
  Pixels words;
  for (int32_t y = 0; y < 2; y++)
    for (int32_t x = 0; x < 6; x++) words.push_back(0xFF000000u | uint32_t(x * 40) << 16 | uint32_t(y));
  const std::string path = dir / "strip.png";
  ASSERT_EQ(vkosSavePng(path.c_str(), words.data(), 6, 2, false), 0);
  gfxtest::SetGlobalTable(L, "grid", {{"width", 2}, {"height", 2}, {"frames", 3}, {"x", 0}});
  RunCases({
      {"LoadSprite", {7, path, Arg::global("grid")}, ""},
      {"LoadSprite", {8, path}, ""},
      {"LoadSprite", {9, dir / "missing.png"}, "error 1045"},
  });
  ASSERT_EQ(sprite(7)->FrameCount(), 3);
  EXPECT_EQ(ReadBitMapPixel(GetSpriteFrame(*sprite(7), 2)->bitmap.get(), 1, 1), uint32_t(5 * 40) << 16 | 1);
  EXPECT_EQ(sprite(8)->FrameCount(), 1);
  EXPECT_EQ(sprite(8)->width, 6);
  EXPECT_EQ(sprite(9), nullptr);
}

}  // namespace

// GetAttribute: size, frames and planes always; place and frame only while
// the sprite is shown on the current output.
TEST_F(SpriteTest, GetAttributeAnswersWhereTheSpriteIsShown) {
  vmPushValue(L, VK_GLOBALSINDEX);
  RegisterAttributeCommands(L);
  vmSetTop(L, 0);
  constexpr int SPRITE = 32;
  RunCases({
      {"GetAttribute", {SPRITE, 1, ATTRWIDTH}, "4"},
      {"GetAttribute", {SPRITE, 1, ATTRNUMFRAMES}, "2"},
      {"GetAttribute", {SPRITE, 1, ATTRHASMASK}, "1"},
      {"GetAttribute", {SPRITE, 1, ATTRHASALPHA}, "0"},
      {"GetAttribute", {SPRITE, 0, ATTRCOUNT}, "1"},
      {"GetAttribute", {SPRITE, 1, ATTRONSCREEN}, "0"},
      {"GetAttribute", {SPRITE, 1, ATTRXPOS}, "error 1219"},
      {"GetAttribute", {SPRITE, 5, ATTRWIDTH}, "error 1219"},
      {"DisplaySprite", {1, 7, 3, 2}, ""},
      {"GetAttribute", {SPRITE, 1, ATTRONSCREEN}, "1"},
      {"GetAttribute", {SPRITE, 1, ATTRXPOS}, "7"},
      {"GetAttribute", {SPRITE, 1, ATTRYPOS}, "3"},
      {"GetAttribute", {SPRITE, 1, ATTRCURFRAME}, "2"},
      {"GetAttribute", {SPRITE, 1, ATTRLAYERS}, "error 1080"},
  });
}
