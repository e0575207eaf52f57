// Clip regions: made, replaced, cut at the target's edges, activated with the
// text margins, freed while a layer still uses them and purged later, and
// forgotten by every picture and sprite that held them; special positions.
#include "graphics/clipregions.h"

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "graphics/bgpics.h"
#include "graphics/positions.h"

namespace {

// Two displays, the first current, each showing a 100 x 80 picture.
struct Scene {
  vkGraphicsState gs;
  vkDisplay& first = Add();
  vkDisplay& second = Add();
  vkBGPic firstPic, secondPic;
  Scene() {
    for (vkBGPic* p : {&firstPic, &secondPic}) p->width = p->scaledWidth = 100, p->height = p->scaledHeight = 80;
    first.bgpic = &firstPic, second.bgpic = &secondPic;
    gs.CurrentDisplay = &first;
    gs.CurrentBGPic = &firstPic;
  }
  vkDisplay& Add() {
    gs.DisplayList.emplace_back(new vkDisplay);
    return *gs.DisplayList.back();
  }
  vkClipRegion* Make(int32_t number, int32_t x, int32_t y, int32_t w, int32_t h, const vkPlane* shape = nullptr) {
    vkClipRegion* r = nullptr;
    EXPECT_EQ(CreateClipRegion(gs, vkIdRequest{number, number == 0}, x, y, w, h, shape, &r), 0);
    return r;
  }
};

TEST(ClipRegions, CreationCutsAtTheTargetAndRefusesWhatLiesOutside) {
  Scene s;
  vkPlanePtr shape(AllocMaskPlane(20, 10, true));
  WriteBitMapPixel(shape.get(), 5, 3, 0);  // one visible pixel at (5, 3) of the shape
  const struct {
    int32_t x, y, w, h;
    bool shaped;
    int32_t rc, wantX, wantY, wantW, wantH;
  } cases[] = {
      {10, 20, 30, 40, false, 0, 10, 20, 30, 40},
      {-5, -2, 20, 10, true, 0, 0, 0, 15, 8},
      {-20, 0, 20, 10, false, kErrWrongUsage, 0, 0, 0, 0},  // wholly left of the target
      {0, -10, 5, 10, false, kErrWrongUsage, 0, 0, 0, 0},   // wholly above it
      {5, 5, 0, 10, false, kErrWrongUsage, 0, 0, 0, 0},
      {5, 5, 10, -1, false, kErrWrongUsage, 0, 0, 0, 0},
      {INT32_MIN, 0, 10, 10, false, kErrWrongUsage, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    vkClipRegion* r = nullptr;
    const size_t before = s.gs.clipRegions.size();
    EXPECT_EQ(CreateClipRegion(s.gs, vkIdRequest{0, true}, c.x, c.y, c.w, c.h, c.shaped ? shape.get() : nullptr, &r),
              c.rc)
        << c.x << "," << c.y;
    if (c.rc) {
      EXPECT_EQ(s.gs.clipRegions.size(), before);
      continue;
    }
    EXPECT_NE(r->idHandle, nullptr);
    EXPECT_EQ(r->x, c.wantX);
    EXPECT_EQ(r->y, c.wantY);
    EXPECT_EQ(r->width, c.wantW);
    EXPECT_EQ(r->height, c.wantH);
    if (c.shaped) {
      // The shape moved with the cut: its pixel (5, 3) is now at (0, 1).
      EXPECT_EQ(ReadBitMapPixel(r->mask.get(), 0, 1), 1u);
      EXPECT_EQ(ReadBitMapPixel(r->mask.get(), 5, 3), 0u);
      EXPECT_GE(s.gs.scratch.front()->capacity, kClipScratchStart);
    }
  }
}

TEST(ClipRegions, ANumberTakenAgainReplacesTheRegion) {
  Scene s;
  s.Make(3, 1, 1, 10, 10);
  vkClipRegion* again = s.Make(3, 2, 2, 5, 5);
  EXPECT_EQ(s.gs.clipRegions.size(), 1u);
  EXPECT_EQ(FindClipRegion(s.gs, {3, nullptr}), again);
}

TEST(ClipRegions, SettingMovesTheTextCursorAndRefusesWhatDoesNotFit) {
  Scene s;
  vkClipRegion* r = s.Make(1, 10, 20, 30, 40);
  s.Make(2, 90, 0, 20, 10);  // past the right edge
  const struct {
    vkObjectId id;
    int32_t target, rc;
    vkClipRegion* active;
    int32_t left, right;
    int32_t number;
  } cases[] = {
      {{1, nullptr}, kTargetDisplay, 0, r, 10, 39, 0},
      {{0, nullptr}, kTargetDisplay, 0, nullptr, 0, 99, 0},
      {{1, nullptr}, kTargetDisplay, 0, r, 10, 39, 0},
      {{-1, nullptr}, kTargetDisplay, 0, nullptr, 0, 99, 0},
      {{2, nullptr}, kTargetDisplay, kErrClipRegionFit, nullptr, 0, 99, 0},
      {{7, nullptr}, kTargetDisplay, kErrNoClipRegion, nullptr, 0, 99, 7},
      {{0, &s}, kTargetDisplay, kErrObjectNotFound, nullptr, 0, 99, 0},
      {{1, nullptr}, kTargetMask, kErrWrongUsage, nullptr, 0, 99, 0},
      {{1, nullptr}, kTargetAlphaChannel, kErrWrongUsage, nullptr, 0, 99, 0},
  };
  for (const auto& c : cases) {
    s.first.renderTarget = c.target;
    SetErrorNumber(0);
    EXPECT_EQ(SetClipRegion(s.gs, c.id), c.rc) << c.id.number;
    EXPECT_EQ(s.firstPic.activeClip, c.active) << c.id.number;
    EXPECT_EQ(s.first.textMarginLeft, c.left);
    EXPECT_EQ(s.first.textMarginRight, c.right);
    EXPECT_EQ(s.first.textCursorX, c.left);
    if (c.rc == kErrNoClipRegion) {
      EXPECT_EQ(ErrorInfo().errorNumber, c.number);
    }
  }
}

// Stands for the layers: region [gUsed] is drawn through by a layer.
const vkClipRegion* gUsed = nullptr;
bool UsedByALayer(const vkGraphicsState&, const vkClipRegion* r) { return r == gUsed; }

TEST(ClipRegions, FreeingForgetsEveryHolderAndWaitsForTheLayers) {
  Scene s;
  s.gs.regionInUse = UsedByALayer;
  vkClipRegion* r = s.Make(4, 0, 0, 50, 50);
  // Active on both pictures, and a sprite on the second drew through it.
  s.firstPic.activeClip = r;
  s.secondPic.activeClip = r;
  s.secondPic.sprites.push_back({1, 1, 4, 4, r});
  // A picture no display shows holds it too.
  s.gs.BGPicList.emplace_back(new vkBGPic);
  vkBGPic* hidden = s.gs.BGPicList.back().get();
  hidden->activeClip = r;
  gUsed = r;
  EXPECT_EQ(DeleteClipRegion(s.gs, {4, nullptr}, true), 0);
  EXPECT_EQ(s.firstPic.activeClip, nullptr);
  EXPECT_EQ(s.secondPic.activeClip, nullptr);
  EXPECT_EQ(s.secondPic.sprites.front().clipRegion, nullptr);
  EXPECT_EQ(hidden->activeClip, nullptr);
  // Still in the list for the layer, but no script finds it again.
  ASSERT_EQ(s.gs.clipRegions.size(), 1u);
  EXPECT_TRUE(r->deleted);
  EXPECT_EQ(r->idHandle, r);
  EXPECT_EQ(DeleteClipRegion(s.gs, {4, nullptr}, true), kErrNoClipRegion);
  EXPECT_EQ(DeleteClipRegion(s.gs, {4, nullptr}, false), 0);
  EXPECT_EQ(DeleteClipRegion(s.gs, {0, r}, true), kErrObjectNotFound);
  PurgeClipRegions(s.gs);
  EXPECT_EQ(s.gs.clipRegions.size(), 1u);  // the layer still uses it
  gUsed = nullptr;
  PurgeClipRegions(s.gs);
  EXPECT_TRUE(s.gs.clipRegions.empty());

  // Not used by a layer: gone at once; freeing all at shutdown forgets too.
  s.Make(5, 0, 0, 5, 5);
  EXPECT_EQ(DeleteClipRegion(s.gs, {5, nullptr}, true), 0);
  EXPECT_TRUE(s.gs.clipRegions.empty());
  s.firstPic.activeClip = s.Make(6, 0, 0, 5, 5);
  FreeAllClipRegions(s.gs);
  EXPECT_EQ(s.firstPic.activeClip, nullptr);
  EXPECT_TRUE(s.gs.clipRegions.empty());
}

TEST(Positions, SpecialCoordinatesPlaceInTheSpaceWithTheirOffset) {
  const struct {
    int32_t position, size, space, origin, wantX, wantY;
  } cases[] = {
      {kPosCenter, 10, 101, 0, 45, 45},  {kPosCenter + 3, 10, 100, 0, 48, 48}, {kPosLeft, 10, 100, 0, 0, -90000},
      {kPosRight - 2, 10, 100, 0, 88, -80002},  {kPosLeftOut, 10, 100, 0, -10, -50000},
      {kPosRightOut, 10, 100, 5, 105, -40000}, {kPosTop, 10, 100, 0, -70000, 0}, {kPosBottom, 10, 100, 0, -60000, 90},
      {kPosTopOut, 10, 100, 0, -30000, -10},   {kPosBottomOut, 10, 100, 0, -20000, 100}, {17, 10, 100, 0, 17, 17},
      {kPosCenter - 5000, 10, 100, 0, kPosCenter - 5000, kPosCenter - 5000},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveSpecialX(c.position, c.size, c.space, c.origin, 0), c.wantX) << c.position;
    EXPECT_EQ(ResolveSpecialY(c.position, c.size, c.space, c.origin, 0), c.wantY) << c.position;
  }
  EXPECT_EQ(ResolveSpecialX(kPosLeft, 10, 100, 0, 0.5), 5);  // the anchor moves by part of the size
}

}  // namespace
