// The draw library: its commands' arguments and errors as scripts call them,
// the draw style they keep, exact pixels of small shapes on a display
// without a window, anti-aliased coverage against the shape's area, the
// direct paths against the general one, and a seeded sweep of wild shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "../runtime/support/libcall.h"
#include "engine/vmapi.h"
#include "graphics/bgpics.h"
#include "graphics/brushes.h"
#include "graphics/drawlib.h"
#include "graphics/graphicslib.h"
#include "graphics/outputtargets.h"
#include "graphics/shapes.h"
#include "pixel/blit.h"

namespace {

using vktest::Arg;
using Pixels = std::vector<uint32_t>;

constexpr uint32_t kGround = 0x000000;

class DrawTest : public vktest::LibraryTest {
 public:
  static constexpr int32_t kW = 64, kH = 48;

 protected:
  void SetUp() override {
    OpenLibrary(OpenDrawLibrary);
    back.reset(AllocArgbBitMap(kW, kH));
    screen.reset(AllocArgbBitMap(kW, kH));
    FillBitMapRect(back.get(), kGround, 0, 0, kW, kH);
    FillBitMapRect(screen.get(), kGround, 0, 0, kW, kH);
    picture.width = picture.scaledWidth = kW;
    picture.height = picture.scaledHeight = kH;
    picture.bitmap = back.get();
    display.bgpic = &picture;
    display.width = kW, display.height = kH;
    display.backBuffer = back.get();
    display.screenBuffer = screen.get();
    gs().DisplayList.emplace_back(&display);
    gs().CurrentDisplay = &display;
    gs().CurrentBGPic = &picture;
  }
  void TearDown() override {
    picture.activeClip = nullptr;
    FreeOutputTargets(&display);
    for (vkDisplayPtr& d : gs().DisplayList) (void)d.release();
    gs().DisplayList.clear();
    gs().CurrentDisplay = nullptr;
    gs().CurrentBGPic = nullptr;
    vktest::LibraryTest::TearDown();
  }
  vkGraphicsState& gs() { return GraphicsState(L); }
  vkDrawState& state() { return DrawLib(gs()).state; }
  uint32_t At(int32_t x, int32_t y) { return ReadBitMapPixel(back.get(), x, y) & 0xFFFFFF; }
  Pixels Read() {
    Pixels out;
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++) out.push_back(At(x, y));
    return out;
  }
  void Clear() { FillBitMapRect(back.get(), kGround, 0, 0, kW, kH); }
  // Makes the global [name] an array of numbers from index 0.
  void SetArray(const char* name, const std::vector<double>& values) {
    vmPushString(L, name);
    vmNewTable(L);
    for (size_t i = 0; i < values.size(); i++) {
      vmPushNumber(L, double(i));
      vmPushNumber(L, values[i]);
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  // The pixels of colour [c] as a set of "x,y".
  std::vector<std::pair<int, int>> Where(uint32_t c) {
    std::vector<std::pair<int, int>> out;
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++)
        if (At(x, y) == c) out.push_back({x, y});
    return out;
  }

  vkDisplay display;
  vkBGPic picture;
  vkBitMapPtr back, screen;
};

TEST_F(DrawTest, ArgumentsAndErrorsAsScriptsSeeThem) {
  SetArray("tri", {0, 0, 10, 0, 0, 10});
  SetArray("bad", {0, 0, 10});
  RunCases({
      {"Box", {1, 1, 0, 5, 0xFF0000}, "error 1055"},
      {"Box", {1, 1, 5}, "error 1014"},
      {"Box", {1, 1, 5, 5, 0xFF0000, 0, 0, 1}, "error 1193"},
      {"Ellipse", {10, 10, 0, 3}, "error 1055"},
      {"Circle", {10, 10, -2}, "error 1055"},
      {"Arc", {10, 10, 5, 5, -1, 90}, "error 1055"},
      {"Arc", {10, 10, 5, 5, 90, 90, 0xFF0000}, ""},
      {"Polygon", {0, 0, Arg::global("tri"), 1000, 0xFF0000}, "error 1055"},
      {"Polygon", {0, 0, Arg::global("tri"), 1, 0xFF0000}, "error 1055"},
      {"Polygon", {0, 0, 5, 3, 0xFF0000}, "error 1140"},
      {"Polygon", {0, 0, Arg::global("bad"), 3, 0xFF0000}, "error 1189"},
      {"Polygon", {0, 0, Arg::global("tri"), 2, 0xFF0000}, ""},
      {"SetFillStyle", {7}, "error 1055"},
      {"SetFormStyle", {16, 1}, "error 1193"},
      {"ReadPixel", {-1, 0}, "error 1168"},
      {"ReadPixel", {kW, 0}, "error 1168"},
      {"ReadPixel", {0, 40}, "0"},
      {"Plot", {3, 4, 0x123456}, ""},
      {"ReadPixel", {3, 4}, std::to_string(0x123456)},
      {"Plot", {-5, 4, 0x123456}, ""},
      {"Line", {-100, 0, -50, 10, 0xFFFFFF}, ""},
      // A gradient over a shape too large for any work bitmap.
      {"SetFillStyle", {2, 0, 0xFF0000, 0x0000FF}, ""},
      {"Box", {-15000, 0, 40000, 10}, "error 1000"},
      {"SetFillStyle", {1}, ""},
  });
  display.layersOn = 1;
  EXPECT_EQ(Call("Plot", {1, 1, 0xFFFFFF}), "error 1271");
}

TEST_F(DrawTest, StyleCommandsKeepTheirRanges) {
  EXPECT_EQ(state().formStyle, 1);
  EXPECT_EQ(state().edgeColor, 0x0093DDu);
  ASSERT_EQ(Call("SetFormStyle", {32, 0x112233, 0}), "");
  EXPECT_EQ(state().shadowSize, 1);
  EXPECT_EQ(state().shadowColor, 0x112233u);
  ASSERT_EQ(Call("SetFormStyle", {32, 0x112233, 100, 9}), "");
  EXPECT_EQ(state().shadowSize, 64);
  EXPECT_EQ(state().shadowDir, 3);
  ASSERT_EQ(Call("SetFormStyle", {64, 0x445566, 3}), "");
  EXPECT_EQ(state().edgeSize, 3);
  ASSERT_EQ(Call("SetFormStyle", {16}), "");
  EXPECT_EQ(state().formStyle, 1 | 16 | 32 | 64);
  const vkDrawState before = state();
  EXPECT_EQ(Call("SetFormStyle", {16, 5}), "error 1193");
  EXPECT_EQ(state().formStyle, before.formStyle);
  ASSERT_EQ(Call("SetFormStyle", {3}), "");
  EXPECT_EQ(state().formStyle, 1);
  ASSERT_EQ(Call("SetFillStyle", {0, 0}), "");
  EXPECT_EQ(state().outlineThickness, 1);
  ASSERT_EQ(Call("SetFillStyle", {2, 1, 0xFF0000, 0x0000FF, 45}), "");
  EXPECT_EQ(state().fillStyle, 2);
  EXPECT_EQ(state().gradientStart, 0xFF0000u);
  EXPECT_EQ(state().gradientAngle, 45);
  ASSERT_EQ(Call("SetFillStyle", {3, 7, 2, 3}), "");
  EXPECT_EQ(state().texture.number, 7);
  EXPECT_EQ(state().textureY, 3);
  // An unknown style keeps the old one.
  EXPECT_EQ(Call("SetFillStyle", {9}), "error 1055");
  EXPECT_EQ(state().fillStyle, 3);
}

// Small shapes and the pixels they set.
TEST_F(DrawTest, SmallShapesSetExactlyTheirPixels) {
  constexpr uint32_t c = 0xFF8000;
  struct Case {
    const char* name;
    std::vector<Arg> setup;  // SetFillStyle arguments
    const char* command;
    std::vector<Arg> args;
    std::vector<std::pair<int, int>> pixels;  // every pixel of colour c
  };
  auto rect = [](int x, int y, int w, int h) {
    std::vector<std::pair<int, int>> out;
    for (int j = y; j < y + h; j++)
      for (int i = x; i < x + w; i++) out.push_back({i, j});
    return out;
  };
  auto frame = [&](int x, int y, int w, int h) {
    std::vector<std::pair<int, int>> out;
    for (auto p : rect(x, y, w, h))
      if (p.first == x || p.second == y || p.first == x + w - 1 || p.second == y + h - 1) out.push_back(p);
    return out;
  };
  SetArray("square", {0, 0, 4, 0, 4, 3, 0, 3});
  const std::vector<Case> cases = {
      {"filled box", {1}, "Box", {2, 3, 5, 4, c}, rect(2, 3, 5, 4)},
      {"box frame", {0}, "Box", {2, 3, 5, 4, c}, frame(2, 3, 5, 4)},
      {"box cut at the top-left", {1}, "Box", {-10, -10, 13, 12, c}, rect(0, 0, 3, 2)},
      {"box cut at the bottom-right", {1}, "Box", {62, 46, 10, 10, c}, rect(62, 46, 2, 2)},
      {"one-pixel line", {1}, "Line", {5, 5, 5, 5, c}, {{5, 5}}},
      {"level line", {1}, "Line", {3, 2, 8, 2, c}, rect(3, 2, 6, 1)},
      {"shallow line", {1}, "Line", {1, 1, 6, 3, c}, {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}}},
      {"reversed shallow line", {1}, "Line", {6, 3, 1, 1, c}, {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}}},
      {"line from far outside", {1}, "Line", {-1000000, 4, 3, 4, c}, rect(0, 4, 4, 1)},
      {"polygon square", {1}, "Polygon", {10, 20, Arg::global("square"), 4, c}, rect(10, 20, 5, 4)},
      {"circle of radius 2", {1}, "Circle", {10, 10, 2, c}, {{12, 10}, {11, 11}, {12, 11}, {13, 11}, {10, 12},
                                                             {11, 12}, {12, 12}, {13, 12}, {14, 12}, {11, 13},
                                                             {12, 13}, {13, 13}, {12, 14}}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Clear();
    ASSERT_EQ(Call("SetFillStyle", k.setup), "");
    ASSERT_EQ(Call(k.command, k.args), "");
    auto expected = k.pixels;
    std::sort(expected.begin(), expected.end(), [](auto a, auto b) { return std::tie(a.second, a.first) < std::tie(b.second, b.first); });
    EXPECT_EQ(Where(c), expected);
  }
}

// Lines through the general path keep the pen's widths; thickness and
// rotation act as the commands say.
TEST_F(DrawTest, ThickAndRotatedLines) {
  constexpr uint32_t c = 0xFFFFFF;
  // 45 degrees, thickness 5: every row has a span of 7.
  ASSERT_EQ(Call("Line", {10, 10, 30, 30, c, 5}), "");
  size_t count = Where(c).size();
  EXPECT_GT(count, 21u * 5);
  Clear();
  // Rotated by 90 degrees the line keeps its thickness of 3.
  // Rotated by 90 degrees about its top-left the line is the one from
  // there to (20, 30) or (40, 10), still 3 thick.
  ASSERT_EQ(Call("Line", {30, 20, 40, 30, c, 3, 450}), "");
  const Pixels rotated = Read();
  Clear();
  ASSERT_EQ(Call("Line", {30, 20, 20, 30, c, 3}), "");
  const Pixels left = Read();
  Clear();
  ASSERT_EQ(Call("Line", {30, 20, 40, 10, c, 3}), "");
  EXPECT_TRUE(rotated == left || rotated == Read());
  EXPECT_GT(std::count(rotated.begin(), rotated.end(), c), 2 * 11);
  Clear();
  // Thickness 0 draws 1, 100 draws 64.
  ASSERT_EQ(Call("Line", {0, 20, 63, 20, c, 0}), "");
  EXPECT_EQ(Where(c).size(), 64u);
  Clear();
  ASSERT_EQ(Call("Line", {0, 24, 63, 24, c, 100}), "");
  EXPECT_EQ(Where(c).size(), 64u * 48u);
}

TEST_F(DrawTest, EdgeShadowAndTransparency) {
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  ASSERT_EQ(Call("SetFormStyle", {64, 0x00FF00, 2}), "");
  ASSERT_EQ(Call("SetFormStyle", {32, 0x0000FF, 3, 3}), "");
  ASSERT_EQ(Call("Box", {10, 10, 6, 4, 0xFF0000}), "");
  EXPECT_EQ(At(10, 10), 0xFF0000u);
  EXPECT_EQ(At(15, 13), 0xFF0000u);
  EXPECT_EQ(At(8, 8), 0x00FF00u);    // the edge, 2 around the box
  EXPECT_EQ(At(17, 15), 0x00FF00u);
  EXPECT_EQ(At(7, 7), kGround);
  EXPECT_EQ(At(20, 18), 0x0000FFu);  // the shadow, 3 to the south-east
  EXPECT_EQ(At(11, 16), 0x0000FFu);
  EXPECT_EQ(At(10, 16), kGround);
  EXPECT_EQ(At(21, 19), kGround);

  // The same through the general shape path (a polygon of the box).
  SetArray("boxpts", {0, 0, 5, 0, 5, 3, 0, 3});
  const Pixels viaBox = Read();
  Clear();
  ASSERT_EQ(Call("Polygon", {10, 10, Arg::global("boxpts"), 4, 0xFF0000}), "");
  EXPECT_EQ(Read(), viaBox);

  // A transparent colour blends with what is there, with and without
  // anti-aliasing.
  ASSERT_EQ(Call("SetFormStyle", {1}), "");
  for (int aa : {0, 1}) {
    SCOPED_TRACE(aa);
    FillBitMapRect(back.get(), 0x204060, 0, 0, kW, kH);
    if (aa) {
      ASSERT_EQ(Call("SetFormStyle", {16}), "");
    }
    ASSERT_EQ(Call("Circle", {20, 20, 8, 0x80FFFFFF}), "");
    const uint32_t p = At(28, 28 - 8);
    const int32_t o = 255 - 0x80;
    for (int s : {0, 8, 16}) {
      const int32_t d = (0x204060 >> s) & 255, got = (p >> s) & 255;
      EXPECT_NEAR(got, d + (255 - d) * o / 255, 2) << s;
    }
  }
}

// Each shadow direction puts the shadow at its offset and widens the work
// area only across the direction.
TEST_F(DrawTest, ShadowsFallInTheirEightDirections) {
  constexpr int32_t s = 3;
  const int32_t dx[8] = {0, s, s, s, 0, -s, -s, -s}, dy[8] = {-s, -s, 0, s, s, s, 0, -s};
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  for (int dir = 0; dir < 8; dir++) {
    SCOPED_TRACE(dir);
    Clear();
    ASSERT_EQ(Call("SetFormStyle", {1}), "");
    ASSERT_EQ(Call("SetFormStyle", {32, 0x0000FF, s, dir}), "");
    // Through the rectangle path and through the general path.
    for (const char* how : {"Box", "Polygon"}) {
      SCOPED_TRACE(how);
      Clear();
      SetArray("boxpts", {0, 0, 9, 0, 9, 5, 0, 5});
      if (std::string(how) == "Box") {
        ASSERT_EQ(Call("Box", {20, 20, 10, 6, 0xFF0000}), "");
      }
      else ASSERT_EQ(Call("Polygon", {20, 20, Arg::global("boxpts"), 4, 0xFF0000}), "");
      for (int32_t y = 10; y < 36; y++)
        for (int32_t x = 10; x < 40; x++) {
          const bool box = x >= 20 && x < 30 && y >= 20 && y < 26;
          const bool shadow = x >= 20 + dx[dir] && x < 30 + dx[dir] && y >= 20 + dy[dir] && y < 26 + dy[dir];
          const uint32_t want = box ? 0xFF0000 : shadow ? 0x0000FF : kGround;
          ASSERT_EQ(At(x, y), want) << x << "," << y;
        }
    }
  }
}

// Point tables read up to the first nil stop at 999 points.
TEST_F(DrawTest, VertexTablesReadTheirPoints) {
  std::vector<double> many;
  for (int i = 0; i < 1000; i++) many.push_back(i % 7), many.push_back(i % 5);
  SetArray("many", many);
  SetArray("three", {5, 7, -2, 9, 4, -1});
  std::vector<vkPoint> pts;
  int32_t w = 0, h = 0, mx = 0, my = 0;
  vmPushString(L, "many");
  vmGetTable(L, VK_GLOBALSINDEX);
  EXPECT_EQ(ReadVertexTable(L, vmGetTop(L), 0, &pts, &w, &h, &mx, &my), kErrInternalLimit);
  vmPushString(L, "three");
  vmGetTable(L, VK_GLOBALSINDEX);
  ASSERT_EQ(ReadVertexTable(L, vmGetTop(L), 0, &pts, &w, &h, &mx, &my), 0);
  ASSERT_EQ(pts.size(), 4u);  // closed
  EXPECT_EQ(mx, -2);
  EXPECT_EQ(my, -1);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 11);
  EXPECT_EQ(pts[0].x, 7);
  EXPECT_EQ(pts[0].y, 8);
  EXPECT_EQ(pts[3].x, pts[0].x);
  vmSetTop(L, 0);
}

// Anti-aliased fills: full inside, empty away from the edge, and the sum
// of the coverage near the exact area.
TEST_F(DrawTest, AntiAliasedCoverageFollowsTheArea) {
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  ASSERT_EQ(Call("SetFormStyle", {16}), "");
  SetArray("tri", {0, 0, 40, 0, 0, 30});
  ASSERT_EQ(Call("Polygon", {5, 5, Arg::global("tri"), 3, 0xFFFFFF}), "");
  double sum = 0;
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++) sum += (At(x, y) & 255) / 255.0;
  // The triangle through the pixel centres, plus half a pixel along its
  // sides for the pixels those centres stand for.
  const double area = 40.0 * 30.0 / 2 + (40 + 30 + 50) / 2.0;
  EXPECT_NEAR(sum, area, area * 0.04);
  EXPECT_EQ(At(10, 10), 0xFFFFFFu);
  EXPECT_EQ(At(40, 30), 0u);
  // Partial coverage only along the slanted side.
  int partial = 0;
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++) {
      const uint32_t v = At(x, y) & 255;
      if (v != 0 && v != 255) {
        partial++;
        const double slanted = std::fabs(3.0 * (x - 5) + 4.0 * (y - 5) - 120.0) / 5.0;
        const double d = std::min({slanted, std::fabs(x - 5.0), std::fabs(y - 5.0)});
        EXPECT_LT(d, 2.0) << x << "," << y;
      }
    }
  EXPECT_GT(partial, 30);
}

// The direct display paths give what the general path gives through an
// all-set clip mask.
TEST_F(DrawTest, DirectPathsEqualTheGeneralPath) {
  vkClipRegion region;
  region.x = 0, region.y = 0, region.width = kW, region.height = kH;
  region.mask.reset(AllocMaskPlane(kW, kH, true));
  FillMaskRect(region.mask.get(), 0, 0, kW, kH, 0);
  region.maskBytesPerRow = region.mask->bytesPerRow;
  struct Case {
    int fill;
    const char* command;
    std::vector<Arg> args;
  };
  const std::vector<Case> cases = {
      {1, "Box", {-3, 5, 20, 9, 0x336699}},
      {0, "Box", {40, 30, 30, 9, 0x336699}},
      {1, "Line", {2, 40, 60, 3, 0xFFEE00}},
      {1, "Line", {-20, -7, 70, 50, 0xFFEE00}},
      {1, "Line", {50, 1, 48, 47, 0xFFEE00}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.command);
    ASSERT_EQ(Call("SetFillStyle", {k.fill}), "");
    Clear();
    picture.activeClip = nullptr;
    ASSERT_EQ(Call(k.command, k.args), "");
    const Pixels direct = Read();
    Clear();
    picture.activeClip = &region;
    ASSERT_EQ(Call(k.command, k.args), "");
    EXPECT_EQ(Read(), direct);
    picture.activeClip = nullptr;
  }
}

// A clip rectangle bounds every path.
TEST_F(DrawTest, ClipRegionBoundsEveryShape) {
  vkClipRegion region;
  region.x = 10, region.y = 8, region.width = 20, region.height = 12;
  picture.activeClip = &region;
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  ASSERT_EQ(Call("Box", {0, 0, 64, 48, 0xFF0000}), "");
  ASSERT_EQ(Call("Line", {0, 0, 63, 47, 0x00FF00, 1}), "");
  ASSERT_EQ(Call("Circle", {0, 0, 30, 0x0000FF}), "");
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++)
      if (x < 10 || x >= 30 || y < 8 || y >= 20) {
        ASSERT_EQ(At(x, y), kGround) << x << "," << y;
      }
  EXPECT_NE(At(10, 8), kGround);
  picture.activeClip = nullptr;
}

// Shapes much larger than the output render only what it shows.
TEST_F(DrawTest, HugeShapesDrawTheirVisiblePart) {
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  ASSERT_EQ(Call("SetFormStyle", {32, 0x0000FF, 5, 3}), "");
  ASSERT_EQ(Call("Circle", {-1000, -1000, 3000, 0xFF0000}), "");
  EXPECT_EQ(Where(0xFF0000).size(), size_t(kW) * kH);
  Clear();
  ASSERT_EQ(Call("Box", {-100000, 10, 200000, 5, 0x00FF00}), "");
  EXPECT_EQ(Where(0x00FF00).size(), size_t(kW) * 5);
  EXPECT_EQ(At(0, 15), 0x0000FFu);  // its shadow, 5 below
  EXPECT_EQ(At(0, 19), 0x0000FFu);
  EXPECT_EQ(At(0, 20), kGround);
}

TEST_F(DrawTest, ClsRestoresThePicture) {
  vkBitMapPtr pic(AllocArgbBitMap(kW, kH));
  FillBitMapRect(pic.get(), 0x102030, 0, 0, kW, kH);
  picture.bitmap = pic.get();
  ASSERT_EQ(Call("Box", {0, 0, 10, 10, 0xFFFFFF}), "");
  ASSERT_EQ(Call("Cls", {}), "");
  EXPECT_EQ(At(5, 5), 0x102030u);
  picture.bitmap = back.get();
}

// Drawing into a selected brush and its mask: the same commands, the
// brush's planes.
class DrawIntoBrushTest : public DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenBrushLibrary(L), 0);
    ASSERT_EQ(OpenBGPicLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeAllBrushes(L);
    DrawTest::TearDown();
  }
  uint32_t BrushAt(int32_t x, int32_t y) {
    vkBrush* b = nullptr;
    if (FindBrush(gs(), vkObjectId{1, nullptr}, &b, 0) != 0) return 0xDEAD;
    return ReadBitMapPixel(b->bitmap.get(), x, y) & 0xFFFFFF;
  }
};

TEST_F(DrawIntoBrushTest, ShapesPixelsAndClearingReachTheBrush) {
  ASSERT_EQ(Call("CreateBrush", {1, 20, 10, 0x000080}), "");
  ASSERT_EQ(Call("SelectBrush", {1}), "");
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  RunCases({
      {"Box", {-2, -2, 5, 5, 0xFF0000}, ""},
      {"Line", {0, 9, 19, 9, 0x00FF00}, ""},
      {"Line", {10, 0, 10, 9, 0xFFFFFF, 3}, ""},
      {"Plot", {19, 0, 0x123456}, ""},
      {"ReadPixel", {19, 0}, std::to_string(0x123456)},
      {"ReadPixel", {20, 0}, "error 1168"},
  });
  EXPECT_EQ(BrushAt(0, 0), 0xFF0000u);
  EXPECT_EQ(BrushAt(2, 2), 0xFF0000u);
  EXPECT_EQ(BrushAt(3, 3), 0x000080u);
  EXPECT_EQ(BrushAt(5, 9), 0x00FF00u);
  EXPECT_EQ(BrushAt(9, 4), 0xFFFFFFu);
  EXPECT_EQ(BrushAt(11, 4), 0xFFFFFFu);
  EXPECT_EQ(BrushAt(13, 4), 0x000080u);
  // The display itself was not drawn into.
  EXPECT_EQ(At(0, 0), kGround);
  EXPECT_EQ(At(10, 4), kGround);
  ASSERT_EQ(Call("Cls", {0x445566}), "");
  EXPECT_EQ(BrushAt(19, 9), 0x445566u);
  ASSERT_EQ(Call("EndSelect", {}), "");
  EXPECT_EQ(Call("Box", {0, 0, 2, 2, 0xFF0000}), "");
  EXPECT_EQ(At(1, 1), 0xFF0000u);
  EXPECT_EQ(BrushAt(1, 1), 0x445566u);
}

TEST_F(DrawIntoBrushTest, AnAlphaChannelTargetReadsAndTakesOpacity) {
  ASSERT_EQ(Call("CreateBrush", {3, 20, 10, 0x000080}), "");
  ASSERT_EQ(Call("SelectAlphaChannel", {3}), "");
  gs().settings.alphaIntensity = -1;
  RunCases({
      {"ReadPixel", {1, 1}, "255"},  // no alpha channel yet
      {"SetFillStyle", {1}, ""},
      {"Box", {0, 0, 4, 4, 0x40FFFFFF}, ""},
      {"ReadPixel", {19, 9}, "255"},
  });
  const std::string inside = Call("ReadPixel", {1, 1});
  EXPECT_NE(inside, "255");
  ASSERT_EQ(Call("EndSelect", {}), "");
  gs().settings.alphaIntensity = 128;
}

TEST_F(DrawIntoBrushTest, ShapesCutAMaskByTheMaskMode) {
  ASSERT_EQ(Call("CreateBrush", {2, 20, 10, 0x000080}), "");
  ASSERT_EQ(Call("SelectMask", {2}), "");
  gs().settings.maskMode = 1;  // invisible
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  RunCases({
      {"Box", {0, 0, 4, 4, 0xFF0000}, ""},
      {"Circle", {10, 2, 3, 0xFF0000}, ""},
      {"ReadPixel", {1, 1}, "0"},
      {"ReadPixel", {13, 5}, "0"},
      {"ReadPixel", {8, 8}, "1"},
      {"ReadPixel", {19, 9}, "1"},
  });
  ASSERT_EQ(Call("EndSelect", {}), "");
  gs().settings.maskMode = 0;
}

// Layers on, every shape becomes a layer that keeps its record; rendering
// the record again under the layer's transform gives the pixels the same
// command draws with layers off, plain and rotated.
struct MadeLayer {
  std::unique_ptr<vkShapeRecord> record;
  vkTransform transform;
  int32_t type = 0;
};
MadeLayer gMade;

int32_t KeepLayer(vkState*, int32_t type, int32_t, int32_t, int32_t, int32_t, vkBitMap* bitmap, vkPlane* mask,
                  vkPlane* alpha, vkShapeRecord* record, const vkTransform* transform, const vkLayerOptions*, int32_t,
                  uint32_t) {
  vkBitMapPtr b(bitmap);
  vkPlanePtr m(mask), a(alpha);
  gMade.record.reset(record);
  gMade.transform = *transform;
  gMade.type = type;
  return 0;
}

TEST_F(DrawTest, VectorLayersRenderAgainAsDrawn) {
  SetArray("poly", {0, 0, 20, 4, 12, 18, 3, 10});
  struct Case {
    int32_t type;
    const char* command;
    std::vector<Arg> args;  // without the rotation
  };
  const std::vector<Case> cases = {
      {kShapeBox, "Box", {10, 10, 30, 20, 0xFF0000}},
      {kShapeBox, "Box", {10, 10, 30, 20, 0xFF0000, 30}},
      {kShapeCircle, "Circle", {14, 6, 12, 0xFF0000}},
      {kShapeEllipse, "Ellipse", {8, 10, 18, 9, 0xFF0000}},
      {kShapeArc, "Arc", {12, 6, 14, 12, 30, 250, 0xFF0000, 1}},
      {kShapePolygon, "Polygon", {20, 14, Arg::global("poly"), 4, 0xFF0000}},
      {kShapeLine, "Line", {10, 30, 50, 12, 0xFF0000, 4}},
  };
  ASSERT_EQ(Call("SetFillStyle", {1}), "");
  ASSERT_EQ(Call("SetFormStyle", {64, 0x00FF00, 2}), "");
  for (int rotate : {0, 30}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.command << " rotated " << rotate);
      std::vector<Arg> args = c.args;
      if (c.type == kShapeBox && args.size() == 5) args.push_back(0);  // roundlevel before the rotation
      args.push_back(rotate);
      display.layersOn = 1;
      gs().shapeLayers.add = KeepLayer;
      gMade = MadeLayer{};
      ASSERT_EQ(Call(c.command, args), "");
      ASSERT_TRUE(gMade.record);
      EXPECT_EQ(gMade.type, c.type);
      vkShapePlanes again;
      ASSERT_EQ(RenderShapeLayer(*gMade.record, gMade.transform, &again), 0);
      display.layersOn = 0;
      gs().shapeLayers.add = nullptr;
      Clear();
      ASSERT_EQ(Call(c.command, args), "");
      // The planes, placed, against the display.
      Pixels layered(size_t(kW) * kH, kGround);
      for (int32_t j = 0; j < again.height; j++)
        for (int32_t i = 0; i < again.width; i++) {
          const int32_t x = again.x + i, y = again.y + j;
          if (x < 0 || y < 0 || x >= kW || y >= kH) continue;
          const bool shown = again.mask ? ReadBitMapPixel(again.mask.get(), i, j) != 0
                                        : again.alpha->data[size_t(j) * size_t(again.alpha->bytesPerRow) + size_t(i)] != 0;
          if (shown) layered[size_t(y) * kW + size_t(x)] = ReadBitMapPixel(again.bitmap.get(), i, j) & 0xFFFFFF;
        }
      EXPECT_EQ(layered, Read());
      EXPECT_GT(std::count(layered.begin(), layered.end(), 0xFF0000u), 20);
    }
  }
  gMade = MadeLayer{};
}

TEST(ShapePaths, CurvesArcsAndRoundedBoxes) {
  vkGraphicsState gs;
  vkDrawLib& lib = DrawLib(gs);
  std::vector<vkPoint> pts;
  struct Case {
    int32_t radius;
    size_t points;  // closed: segments + 1
  };
  for (Case c : {Case{2, 5}, Case{10, 21}, Case{15, 73}}) {
    vkShapeRequest rq;
    rq.type = kShapeCircle;
    BuildShapePath(lib, rq, 2 * c.radius + 1, 2 * c.radius + 1, nullptr, 0, 0, nullptr, pts);
    EXPECT_EQ(pts.size(), c.points) << c.radius;
  }
  // 350 to 370 is -10 to 10.
  std::vector<vkPoint> a, b;
  GenerateArcPoints(lib, 20, 20, 10, 10, nullptr, 0, 0, 350, 370, 5, false, nullptr, a);
  GenerateArcPoints(lib, 20, 20, 10, 10, nullptr, 0, 0, -10, 10, 5, false, nullptr, b);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); i++) EXPECT_TRUE(a[i].x == b[i].x && a[i].y == b[i].y);
  // A clockwise arc from 0 to 90 lies in the lower-right quarter.
  vkShapeRequest arc;
  arc.type = kShapeArc, arc.start = 0, arc.end = 90, arc.clockwise = 1;
  BuildShapePath(lib, arc, 41, 41, nullptr, 0, 0, nullptr, pts);
  for (const vkPoint& p : pts) EXPECT_TRUE(p.x >= 20 && p.y >= 20) << p.x << "," << p.y;
  arc.clockwise = 0;
  BuildShapePath(lib, arc, 41, 41, nullptr, 0, 0, nullptr, pts);
  bool upperLeft = false;
  for (const vkPoint& p : pts) upperLeft |= p.x < 20 && p.y < 20;
  EXPECT_TRUE(upperLeft);
  // Roundlevels: 200 acts as 100, -5 as 1 %.
  vkShapeRequest box;
  box.type = kShapeBox;
  std::vector<vkPoint> r100, r200, rneg;
  box.roundlevel = 100;
  BuildShapePath(lib, box, 40, 40, nullptr, 0, 0, nullptr, r100);
  box.roundlevel = 200;
  BuildShapePath(lib, box, 40, 40, nullptr, 0, 0, nullptr, r200);
  EXPECT_EQ(r100.size(), r200.size());
  box.roundlevel = -5;
  BuildShapePath(lib, box, 400, 400, nullptr, 0, 0, nullptr, rneg);
  // Radius 2 (1 % of 200): the top-left corner's arc starts at its top.
  EXPECT_EQ(rneg.front().x, 2);
  EXPECT_EQ(rneg.front().y, 0);
}

TEST(ShapePaths, EdgeOffsetsMoveEverySideOut) {
  const std::vector<vkPoint> square = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
  std::vector<vkPoint> out;
  OffsetPolygon(square, 2, out);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_DOUBLE_EQ(out[0].x, -2);
  EXPECT_DOUBLE_EQ(out[0].y, -2);
  EXPECT_DOUBLE_EQ(out[2].x, 12);
  // Repeated points are skipped, not divided by.
  const std::vector<vkPoint> repeated = {{0, 0}, {0, 0}, {10, 0}, {10, 10}, {10, 10}, {0, 0}};
  OffsetPolygon(repeated, 3, out);
  for (const vkPoint& p : out) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  // A straight corner falls back to the grown box.
  const std::vector<vkPoint> collinear = {{0, 0}, {5, 0}, {10, 0}, {10, 10}, {0, 0}};
  OffsetPolygon(collinear, 1, out);
  ASSERT_EQ(out.size(), 5u);
  EXPECT_DOUBLE_EQ(out[0].x, -1);
  EXPECT_DOUBLE_EQ(out[2].y, 11);
}

TEST(ShapePaths, SegmentsCutToARange) {
  double a1 = -10, b1 = 0, a2 = 10, b2 = 20;
  EXPECT_EQ(ClipSegmentToRange(&a1, &b1, &a2, &b2, 0, 5), 1);
  EXPECT_EQ(a1, 0);
  EXPECT_EQ(b1, 10);
  EXPECT_EQ(a2, 5);
  EXPECT_EQ(b2, 15);
  a1 = -10, a2 = -5;
  EXPECT_EQ(ClipSegmentToRange(&a1, &b1, &a2, &b2, 0, 5), 0);
}

// Wild shapes through every renderer: drawn, or out of memory, never a crash.
TEST_F(DrawTest, SeededSweepOfWildShapes) {
  std::mt19937 rng(24);
  auto coord = [&]() -> double {
    switch (rng() % 4) {
      case 0: return double(int32_t(rng())) ;
      case 1: return double(int(rng() % 200) - 70);
      case 2: return 2147483647.0 - double(rng() % 4);
      default: return -2147483648.0 + double(rng() % 4);
    }
  };
  for (int i = 0; i < 400; i++) {
    const int style = int(rng() % 4);
    if (style != 3) {
      ASSERT_EQ(Call("SetFillStyle", {style, 1, 0xFF0000, 0x00FF00, int(rng())}), "");
    }
    ASSERT_EQ(Call("SetFormStyle", {std::vector<int>{1, 16, 32, 64}[rng() % 4]}), "");
    std::vector<double> pts;
    const int n = 2 + int(rng() % 8);
    for (int k = 0; k < 2 * n; k++) pts.push_back(rng() % 3 == 0 ? 5.0 : coord());
    SetArray("pts", pts);
    const uint32_t c = rng();
    std::string got;
    switch (rng() % 6) {
      case 0: got = Call("Box", {coord(), coord(), double(rng() % 100), double(rng() % 100), c, int(rng() % 300) - 50, int(rng())}); break;
      case 1: got = Call("Line", {coord(), coord(), coord(), coord(), c, int(rng() % 80), int(rng())}); break;
      case 2: got = Call("Polygon", {coord(), coord(), Arg::global("pts"), n, c, int(rng())}); break;
      case 3: got = Call("Arc", {coord(), coord(), double(rng() % 60), double(rng() % 60), double(rng()), double(rng()), c, 1, int(rng())}); break;
      case 4: got = Call("Circle", {coord(), coord(), double(rng() % 40), c, int(rng())}); break;
      default: got = Call("Ellipse", {coord(), coord(), double(rng() % 40), double(rng() % 3000), c}); break;
    }
    EXPECT_TRUE(got == "" || got == "error 1000" || got == "error 1055") << i << ": " << got;
  }
}

}  // namespace
