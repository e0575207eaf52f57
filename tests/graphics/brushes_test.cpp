// The brush library: commands with their options and errors, each pixel
// editing command on a 4 x 4 fixture against a per-pixel formula, scaling
// and rotation against the pixel core, and brushes displayed with every
// display option against golden pixels computed pixel by pixel here.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "../common/scratchdir.h"
#include "base/errorcodes.h"
#include "engine/attributes.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/bgpics.h"
#include "graphics/clipregions.h"
#include "graphics/graphicslib.h"
#include "pixel/bitmapops.h"
#include "platform/vkos.h"
#include "platform/vkos_clipboard.h"
#include "platform/vkos_pictures.h"
#include "runtime/eventlib.h"
#include "runtime/systemlib.h"
#include "support/scene.h"

namespace {

using gfxtest::Pixels;
using vktest::Arg;

constexpr int32_t kSide = 4;

// The 4 x 4 fixture: every pixel a different colour.
uint32_t P(int32_t x, int32_t y) { return uint32_t(x * 60) << 16 | uint32_t(y * 60) << 8 | uint32_t((x + y) * 20 + 5); }
Pixels Fixture() {
  Pixels p;
  for (int32_t y = 0; y < kSide; y++)
    for (int32_t x = 0; x < kSide; x++) p.push_back(P(x, y));
  return p;
}
Pixels Picture(int32_t w, int32_t h, const std::function<uint32_t(int32_t, int32_t)>& f) {
  Pixels p;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) p.push_back(f(x, y));
  return p;
}
uint32_t Channel(uint32_t c, int shift) { return (c >> shift) & 0xFF; }
uint32_t PerChannel(uint32_t a, uint32_t b, const std::function<uint32_t(uint32_t, uint32_t)>& f) {
  return f(Channel(a, 16), Channel(b, 16)) << 16 | f(Channel(a, 8), Channel(b, 8)) << 8 | f(Channel(a, 0), Channel(b, 0));
}

class BrushTest : public gfxtest::SceneTest {};

// Globals the argument tables of the tests read.
void SetUpGlobals(vkState* L) {
  auto table = [L](const char* name, const gfxtest::Fields& fields) { gfxtest::SetGlobalTable(L, name, fields); };
  table("both", {{"mask", 1}, {"alphachannel", 1}});
  table("keyAndAlpha", {{"transparency", 0xFF00FF}, {"loadalpha", 1}});
  vmPushString(L, "odd");
  vmNewTable(L);
  for (int k = 0; k < 3; k++) {
    vmPushNumber(L, 0x111111 * k);
    vmRawSetI(L, -2, k);
  }
  vmSetTable(L, VK_GLOBALSINDEX);
  auto matrix = [L](const char* name, std::initializer_list<double> m) {
    vmPushString(L, name);
    vmNewTable(L);
    vmPushString(L, "transform");
    vmNewTable(L);
    int k = 0;
    for (double v : m) {
      vmPushNumber(L, v);
      vmRawSetI(L, -2, k++);
    }
    vmSetTable(L, -3);
    vmSetTable(L, VK_GLOBALSINDEX);
  };
  matrix("flipped", {1, 0, 0, -1});
  matrix("rotation", {0, 1, -1, 0});
  table("farAnchor", {{"anchorx", 1.5}});
  table("zeroScale", {{"scalex", 0}});
  table("badInsert", {{"insertpos", -1}});
  vmPushString(L, "longName");
  vmNewTable(L);
  vmPushString(L, "name");
  vmPushString(L, std::string(256, 'n').c_str());
  vmSetTable(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
}

class BrushCommandTest : public BrushTest {
 protected:
  void SetUp() override {
    BrushTest::SetUp();
    SetUpGlobals(L);
  }
};


TEST_F(BrushCommandTest, CommandsCheckTheirArguments) {
  RunCases({
      {"CreateBrush", {1, 4, 4}, ""},
      {"CreateBrush", {nullptr, 2, 2}, "handle"},
      {"CreateBrush", {2, 0, 4}, "error 1218"},
      {"CreateBrush", {2, 4, -1}, "error 1218"},
      {"CreateBrush", {2, 4, 4, 0xFF0000, Arg::global("both")}, "error 1055"},
      {"FreeBrush", {9}, "error 1174"},
      {"ScaleBrush", {1, 4, 4}, ""},  // the same size changes nothing
      {"ScaleBrush", {1, 100000, 100000}, "error 1055"},
      {"ScaleBrush", {1, 0, 4}, "error 1218"},
      {"ScaleBrush", {1, "50%", 100000}, ""},
      {"TintBrush", {1, 0xFFFFFF, 300}, "error 1055"},
      {"TintBrush", {1, 0xFFFFFF, "50%"}, ""},
      {"RotateBrush", {1, 90, 0}, "error 1055"},
      {"TransformBrush", {1, 0, 0, 0, 0}, "error 1055"},  // singular
      {"CropBrush", {1, -1, 0, 1, 1}, "error 1154"},
      {"CropBrush", {1, 2, 0, 1, 1}, "error 1217"},
      {"CropBrush", {1, 0, 0, 0, 1}, "error 1218"},
      {"FloodFill", {1, 0, -3}, "error 1154"},
      {"FloodFill", {1, 5, 0}, "error 1217"},
      {"InvertMask", {1}, "error 1055"},
      {"InvertAlphaChannel", {1}, "error 1055"},
      {"ReplaceColors", {1, Arg::table()}, "error 1055"},
      {"ReplaceColors", {1, Arg::global("odd")}, "error 1055"},
      {"SetAlphaIntensity", {256}, "error 1055"},
      {"SetAlphaIntensity", {"50%"}, ""},
      {"SetMaskMode", {3}, ""},
      {"CopyBrush", {1, 3}, ""},
      {"CopyBrush", {7, 3}, "error 1174"},
      {"CopyBrush", {3, 3}, ""},
      {"ConvertToBrush", {3, 3, 3}, "error 1055"},  // onto its own number
      {"ConvertToBrush", {99, 3, 4}, "error 1055"},
      {"GetBrushLink", {5, 3, 3}, ""},
      {"LoadBrush", {4, "/nonexistent/picture.png"}, "error 1045"},
      {"LoadBrush", {4, "x.png", Arg::global("keyAndAlpha")}, "error 1223"},
      {"Flip", {}, "error 1244"},
      {"EndDoubleBuffer", {}, "error 1244"},
      {"DisplayBrush", {8, 0, 0}, "error 1174"},
  });
  int32_t mode = 0, intensity = 0;
  GetAttrs(L, nullptr, {{ATTR_MASKMODE, &mode}, {ATTR_ALPHAINTENSITY, &intensity}});
  EXPECT_EQ(mode, 3);
  EXPECT_EQ(intensity, 127);
  EXPECT_EQ(brush(1)->width, 2);
  EXPECT_EQ(brush(1)->height, 2);
  EXPECT_EQ(CountBrushes(gs()), 4);

  // A handle names its brush until it is freed.
  ASSERT_EQ(Call("CreateBrush", {nullptr, 3, 3}), "handle");
  void* handle = vmToUserdata(L, 1);
  EXPECT_EQ(Call("FreeBrush", {Arg::handle(handle)}), "");
  EXPECT_EQ(Call("FreeBrush", {Arg::handle(handle)}), "error 1041");
}

// Each pixel-editing command once on the fixture: what the brush holds
// afterwards, by a formula of the fixture's pixels.
TEST_F(BrushTest, PixelCommandsOnTheFixture) {
  const uint32_t kOdd = P(1, 1);
  struct Case {
    const char* command;
    std::vector<Arg> args;
    std::function<uint32_t(int32_t, int32_t)> want;
  } cases[] = {
      {"InvertBrush", {1}, [](int32_t x, int32_t y) { return ~P(x, y) & 0xFFFFFF; }},
      {"BrushToGray", {1},
       [](int32_t x, int32_t y) {
         const uint32_t c = P(x, y);
         const uint32_t g = uint32_t(0.299 * Channel(c, 16) + 0.587 * Channel(c, 8) + 0.114 * Channel(c, 0));
         return g << 16 | g << 8 | g;
       }},
      {"FlipBrush", {1, 0}, [](int32_t x, int32_t y) { return P(kSide - 1 - x, y); }},
      {"FlipBrush", {1, 1}, [](int32_t x, int32_t y) { return P(x, kSide - 1 - y); }},
      {"TintBrush", {1, 0xFFFFFF, 128},
       [](int32_t x, int32_t y) {
         return PerChannel(P(x, y), 0xFFFFFF, [](uint32_t c, uint32_t t) { return c + 128 * (t - c) / 256; });
       }},
      {"ReplaceColors", {1, Arg::global("swap")}, [kOdd](int32_t x, int32_t y) { return P(x, y) == kOdd ? 0x123456 : P(x, y); }},
      {"RotateBrush", {1, 90}, [](int32_t x, int32_t y) { return P(kSide - 1 - y, x); }},
      {"RotateBrush", {1, -270}, [](int32_t x, int32_t y) { return P(kSide - 1 - y, x); }},
      {"RotateBrush", {1, 180}, [](int32_t x, int32_t y) { return P(kSide - 1 - x, kSide - 1 - y); }},
      {"TransformBrush", {1, 1, 0, 0, -1}, [](int32_t x, int32_t y) { return P(x, kSide - 1 - y); }},
      {"MixBrush", {1, 2, 255}, [](int32_t, int32_t) { return 0u; }},
      {"MixBrush", {1, 2, 128},
       [](int32_t x, int32_t y) {
         return PerChannel(P(x, y), 0, [](uint32_t d, uint32_t s) { return s + (((255 - 128) * (d - s)) >> 8); });
       }},
  };
  vmPushString(L, "swap");
  vmNewTable(L);
  vmPushNumber(L, kOdd);
  vmRawSetI(L, -2, 0);
  vmPushNumber(L, 0x123456);
  vmRawSetI(L, -2, 1);
  vmSetTable(L, VK_GLOBALSINDEX);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + std::string(" ") + std::to_string(c.args.size() > 1 ? c.args[1].number : 0));
    MakeBrush(1, kSide, kSide, Fixture());
    MakeBrush(2, kSide, kSide, Pixels(kSide * kSide, 0));
    ASSERT_EQ(Call(c.command, c.args), "");
    EXPECT_EQ(BrushPixels(1), Picture(kSide, kSide, c.want));
  }
}

TEST_F(BrushTest, MaskAndAlphaFollowFlipsAndCrops) {
  const Pixels mask = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x == 0 && y == 1); });
  const Pixels alpha = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x * 10 + y); });
  MakeBrush(1, kSide, kSide, Fixture(), &mask);
  MakeBrush(2, kSide, kSide, Fixture(), nullptr, &alpha);
  RunCases({{"FlipBrush", {1, 0}, ""}, {"FlipBrush", {2, 1}, ""}});
  EXPECT_EQ(BrushMask(1), Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x == 3 && y == 1); }));
  EXPECT_EQ(BrushAlpha(2), Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x * 10 + 3 - y); }));

  RunCases({{"CropBrush", {2, 1, 2, 10, 10}, ""}});  // cut to what the brush holds
  EXPECT_EQ(BrushPixels(2), Picture(3, 2, [](int32_t x, int32_t y) { return P(x + 1, 3 - (y + 2)); }));
  EXPECT_EQ(BrushAlpha(2), Picture(3, 2, [](int32_t x, int32_t y) { return uint32_t((x + 1) * 10 + 3 - (y + 2)); }));

  RunCases({{"InvertMask", {1}, ""}, {"InvertAlphaChannel", {2}, ""}});
  EXPECT_EQ(BrushMask(1), Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(!(x == 3 && y == 1)); }));
  EXPECT_EQ(BrushAlpha(2), Picture(3, 2, [](int32_t x, int32_t y) { return 255 - uint32_t((x + 1) * 10 + 1 - y); }));

  RunCases({{"DeleteMask", {1}, ""}, {"DeleteAlphaChannel", {2}, ""}, {"InvertMask", {1}, "error 1055"}});
  EXPECT_TRUE(BrushMask(1).empty());
  EXPECT_TRUE(BrushAlpha(2).empty());

  // A colour key makes the mask; -1 takes it away again.
  RunCases({{"SetBrushTransparency", {1, P(2, 2)}, ""}});
  EXPECT_EQ(BrushMask(1), Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(P(3 - x, y) != P(2, 2)); }));
  EXPECT_EQ(brush(1)->transparentColor, int32_t(P(2, 2)));
  RunCases({{"SetBrushTransparency", {1, -1}, ""}});
  EXPECT_TRUE(BrushMask(1).empty());
}

TEST_F(BrushTest, TrimCutsTransparentBorders) {
  const Pixels mask = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x >= 1 && x <= 2 && y == 2); });
  MakeBrush(1, kSide, kSide, Fixture(), &mask);
  const Pixels alpha = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x == 3 ? 9 : 0) * (y + 1); });
  MakeBrush(2, kSide, kSide, Fixture(), nullptr, &alpha);
  const Pixels clear(kSide * kSide, 0);
  MakeBrush(3, kSide, kSide, Fixture(), nullptr, &clear);
  MakeBrush(4, kSide, kSide, Fixture());
  RunCases({{"TrimBrush", {1}, ""}, {"TrimBrush", {2}, ""}, {"TrimBrush", {3}, "error 1383"}, {"TrimBrush", {4}, ""}});
  EXPECT_EQ(BrushPixels(1), (Pixels{P(1, 2), P(2, 2)}));
  EXPECT_EQ(BrushPixels(2), (Pixels{P(3, 0), P(3, 1), P(3, 2), P(3, 3)}));
  EXPECT_EQ(BrushPixels(4), Fixture());
}

TEST_F(BrushTest, FloodFillEndsOnEveryRegion) {
  constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
  auto wall = [](int32_t x, int32_t) { return x == 2 ? kRed : kWhite; };
  const struct {
    int32_t x, y;
    uint32_t border, fill;
    std::function<uint32_t(int32_t, int32_t)> want;
  } cases[] = {
      {0, 0, kRed, kBlue, [](int32_t x, int32_t) { return x < 2 ? kBlue : x == 2 ? kRed : kWhite; }},
      {2, 1, kRed, kBlue, wall},                                     // the seed on the border
      {0, 3, kRed, kRed, [](int32_t x, int32_t) { return x < 3 ? kRed : kWhite; }},  // fill = border
      {3, 0, kRed, kWhite, wall},                                    // the region holds the fill already
  };
  for (const auto& c : cases) {
    MakeBrush(1, kSide, kSide, Picture(kSide, kSide, wall));
    EXPECT_EQ(Call("FloodFill", {1, c.x, c.y, c.border, c.fill}), "");
    EXPECT_EQ(BrushPixels(1), Picture(kSide, kSide, c.want)) << c.x << "," << c.y;
  }
  // A large comb-shaped region fills without running out of stack.
  constexpr int32_t kBig = 1500;
  MakeBrush(2, kBig, kBig, Picture(kBig, kBig, [](int32_t x, int32_t y) {
              return (x % 2 == 1 && y != (x % 4 == 1 ? 0 : kBig - 1)) ? kRed : kWhite;
            }));
  EXPECT_EQ(Call("FloodFill", {2, 0, 0, kRed, kBlue}), "");
  EXPECT_EQ(ReadBitMapPixel(brush(2)->bitmap.get(), kBig - 2, kBig / 2), kBlue);
}

// Scaling and rotation give what the pixel core gives for the same request.
TEST_F(BrushTest, ScalingAndRotationMatchThePixelCore) {
  const Pixels mask = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t((x + y) % 3 != 0); });
  const struct {
    const char* command;
    std::vector<Arg> args;
    double matrix[4];
    int32_t width, height;
    bool smooth;
  } cases[] = {
      {"ScaleBrush", {1, 10, 7}, {}, 10, 7, false},
      {"ScaleBrush", {1, "200%", 100000, 1}, {}, 8, 8, true},
      {"RotateBrush", {1, 30, 1.5, 0.5, 1}, {}, 0, 0, true},
      {"TransformBrush", {1, 1.0, 0.25, -0.5, 2.0}, {1.0, 0.25, -0.5, 2.0}, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    MakeBrush(1, kSide, kSide, Fixture(), &mask);
    const vkBrush* before = brush(1);
    vkBitMap* rb = nullptr;
    vkPlane *rm = nullptr, *ra = nullptr;
    int32_t w = c.width, h = c.height;
    if (c.width) {
      ASSERT_EQ(ScaleBitMap(gs().scaleTables, before->bitmap.get(), before->mask.get(), nullptr, 0, 0, nullptr, kSide,
                            kSide, w, h, c.smooth, &rb, &rm, nullptr),
                0);
    } else {
      vkTransform t;
      if (c.matrix[0] != 0)
        std::copy(c.matrix, c.matrix + 4, t.matrix);
      else
        BuildTransformMatrix(&t, 0, 0, kSide, kSide, 1.5, 0.5, 30);
      ASSERT_EQ(TransformBitMap(before->bitmap.get(), before->mask.get(), nullptr, 0, 0, kSide, kSide, t.matrix,
                                c.smooth, &rb, &rm, &ra, &w, &h),
                0);
    }
    vkBitMapPtr ref(rb);
    vkPlanePtr refMask(rm), refAlpha(ra);
    ASSERT_EQ(Call(c.command, c.args), "");
    EXPECT_EQ(BrushPixels(1), Read(ref.get()));
    Pixels refBits;
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) refBits.push_back(ReadBitMapPixel(refMask.get(), x, y));
    EXPECT_EQ(BrushMask(1), refBits);
  }
}

TEST_F(BrushTest, HugeAnglesAreReducedAtOnce) {
  MakeBrush(1, kSide, kSide, Fixture());
  MakeBrush(2, kSide, kSide, Fixture());
  // 2^31 saturates to 2147483647, which is 127 degrees past a whole turn.
  RunCases({{"RotateBrush", {1, 2147483648.0}, ""}, {"RotateBrush", {2, 127}, ""}});
  EXPECT_EQ(BrushPixels(1), BrushPixels(2));
}

// ---- Displaying ----

struct Golden {
  // Where the brush's pixel (sx, sy) lands for the drawn pixel (x, y) of the
  // transformed picture, the transformed size, and where it is drawn.
  std::function<void(int32_t, int32_t, int32_t*, int32_t*)> source;
  int32_t width, height;
  int32_t left, top;
};

// The display after drawing a kSide brush with [planes] through [g].
Pixels Expected(const Golden& g, int planes) {
  Pixels out(size_t(gfxtest::SceneTest::kWidth * gfxtest::SceneTest::kHeight), gfxtest::SceneTest::kBackground);
  for (int32_t y = 0; y < g.height; y++)
    for (int32_t x = 0; x < g.width; x++) {
      const int32_t dx = g.left + x, dy = g.top + y;
      if (dx < 0 || dy < 0 || dx >= gfxtest::SceneTest::kWidth || dy >= gfxtest::SceneTest::kHeight) continue;
      int32_t sx, sy;
      g.source(x, y, &sx, &sy);
      const uint32_t s = P(sx, sy);
      uint32_t& d = out[size_t(dy * gfxtest::SceneTest::kWidth + dx)];
      if (planes == 0) d = s;
      if (planes == 1 && (sx + sy) % 2 == 0) d = s;
      if (planes == 2) {
        const int32_t a = sx * 80 + sy * 5;  // 0 .. 255
        if (a == 255) d = s;
        else if (a != 0)
          d = PerChannel(s, d, [a](uint32_t sc, uint32_t dc) {
            return uint32_t(int32_t(dc) + ((int32_t(sc) - int32_t(dc)) * a >> 8));
          });
      }
    }
  return out;
}

TEST_F(BrushCommandTest, DisplayOptionsAgainstGoldenPixels) {
  auto plain = [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) { *sx = x, *sy = y; };
  auto doubled = [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) { *sx = x / 2, *sy = y / 2; };
  auto turned = [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) { *sx = kSide - 1 - y, *sy = x; };
  auto upside = [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) { *sx = x, *sy = kSide - 1 - y; };
  // The scaler steps through the source by whole 16.16 steps, truncated.
  auto tall = [](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
    *sx = x, *sy = int32_t((uint64_t(y) * ((uint64_t(kSide) << 16) / 12)) >> 16);
  };
  const struct {
    int32_t x, y;
    gfxtest::Fields options;
    Golden golden;
  } cases[] = {
      {2, 3, {}, {plain, 4, 4, 2, 3}},
      {-3, -2, {}, {plain, 4, 4, -3, -2}},                          // cut at the top-left corner
      {22, 14, {}, {plain, 4, 4, 22, 14}},                          // and at the bottom-right
      {-100000, -60000, {}, {plain, 4, 4, 10, 12}},                 // CENTER, BOTTOM
      {-99990, -70000 + 1, {}, {plain, 4, 4, 20, 1}},               // with offsets
      {8, 8, {{"anchorx", 0.5}, {"anchory", 1}}, {plain, 4, 4, 6, 4}},
      {1, 1, {{"scalex", 2}, {"scaley", 2}}, {doubled, 8, 8, 1, 1}},
      {1, 1, {{"width", 4}, {"height", 12}}, {tall, 4, 12, 1, 1}},
      {5, 2, {{"rotate", 90}}, {turned, 4, 4, 5, 2}},
      {5, 2, {{"rotate", 450}}, {turned, 4, 4, 5, 2}},
      {12, 8, {{"rotate", 90}, {"anchorx", 0.5}, {"anchory", 0.5}}, {turned, 4, 4, 10, 6}},
      {-100000, -100000, {{"scalex", 2}, {"scaley", 2}}, {doubled, 8, 8, 8, 4}},
  };
  const Pixels mask = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t((x + y) % 2 == 0); });
  const Pixels alpha = Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t(x * 80 + y * 5); });
  for (const auto& c : cases)
    for (int planes = 0; planes < 3; planes++) {
      SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y) + " options " +
                   std::to_string(c.options.size()) + (c.options.empty() ? "" : c.options[0].first) + " planes " +
                   std::to_string(planes));
      Fill(back.get(), kBackground);
      MakeBrush(1, kSide, kSide, Fixture(), planes == 1 ? &mask : nullptr, planes == 2 ? &alpha : nullptr);
      gfxtest::SetGlobalTable(L, "opts", c.options);
      ASSERT_EQ(Call("DisplayBrush", {1, c.x, c.y, Arg::global("opts")}), "");
      EXPECT_EQ(Read(back.get()), Expected(c.golden, planes));
    }

  // An explicit matrix; its first or fourth factor 0 is refused with 1055
  // (kept as it always was: scripts may rely on it), a pure rotation too.
  Fill(back.get(), kBackground);
  MakeBrush(1, kSide, kSide, Fixture());
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 3, Arg::global("flipped")}), "");
  EXPECT_EQ(Read(back.get()), Expected({upside, 4, 4, 3, 3}, 0));
  RunCases({
      {"DisplayBrush", {1, 0, 0, Arg::global("rotation")}, "error 1055"},
      {"DisplayBrush", {1, 0, 0, Arg::global("farAnchor")}, "error 1055"},
      {"DisplayBrush", {1, 0, 0, Arg::global("zeroScale")}, "error 1055"},
      {"DisplayBrush", {1, 0, 0, Arg::global("badInsert")}, "error 1370"},
      {"DisplayBrush", {1, 0, 0, Arg::global("longName")}, "error 1373"},
      {"DisplayBrush", {1, 0, 0, 5}, "error 1140"},
      {"DisplayBrushPart", {1, -1, 0, 0, 0, 2, 2}, "error 1154"},
      {"DisplayBrushPart", {1, 4, 0, 0, 0, 2, 2}, "error 1217"},
      {"DisplayBrushPart", {1, 0, 0, 0, 0, 0, 2}, "error 1218"},
  });
}

TEST_F(BrushCommandTest, LayerOptionsAreReadAndClamped) {
  Brushes(gs()).layerCount = [](vkState*) { return 3; };
  const struct {
    std::vector<std::pair<const char*, double>> fields;
    const char* text;  // a string field "transparency" when given
    int32_t insertPos, transparency, given;
  } cases[] = {
      {{{"insertpos", 9}}, nullptr, 4, 0, 0},  // clamped to count + 1, which alone asks for nothing
      {{{"insertpos", 0}}, nullptr, 0, 0, 0},
      {{{"insertpos", 2}}, nullptr, 2, 0, 1},
      {{{"transparency", 400}}, nullptr, 0, 255, 1},
      {{}, "50%", 0, 127, 1},
      {{{"hidden", 1}}, nullptr, 0, 0, 1},
  };
  for (const auto& c : cases) {
    vmSetTop(L, 0);
    vmNewTable(L);
    for (const auto& [k, v] : c.fields) {
      vmPushString(L, k);
      vmPushNumber(L, v);
      vmSetTable(L, -3);
    }
    if (c.text) {
      vmPushString(L, "transparency");
      vmPushString(L, c.text);
      vmSetTable(L, -3);
    }
    vkTransform t;
    vkLayerOptions lo;
    ASSERT_EQ(ParseDisplayTags(L, 1, 4, 4, 4, 4, 0, &t, &lo, kTagsInit), 0);
    EXPECT_EQ(lo.insertPos, c.insertPos);
    EXPECT_EQ(lo.transparency, c.transparency);
    EXPECT_EQ(lo.given, c.given);
  }
  // Not the last argument, or not a table without the flag: nothing read.
  vmSetTop(L, 0);
  vmPushNumber(L, 1);
  vmNewTable(L);
  vkTransform t;
  EXPECT_EQ(ParseDisplayTags(L, 1, 4, 4, 4, 4, 0, &t, nullptr, kTagsInit), 0);
  EXPECT_EQ(ParseDisplayTags(L, 2, 4, 4, 4, 4, 0, &t, nullptr, kTagsInit), 0);
}

TEST_F(BrushCommandTest, RotationMatrixTurnsAgainstTheClock) {
  vkTransform t;
  BuildTransformMatrix(&t, 0, 0, 10, 10, 1, 1, 90);
  const double cs = std::cos(270 * 0.017453292519943295), sn = std::sin(270 * 0.017453292519943295);
  EXPECT_EQ(t.matrix[0], cs);
  EXPECT_EQ(t.matrix[1], sn);
  EXPECT_EQ(t.matrix[2], -sn);
  EXPECT_EQ(t.matrix[3], cs);
  BuildTransformMatrix(&t, 0, 0, 10, 10, 2.0, 0.5, 0);
  EXPECT_EQ(t.matrix[0], 2.0);
  EXPECT_EQ(t.matrix[3], 0.5);
  BuildTransformMatrix(&t, 20, 5, 10, 10, 3.0, 3.0, 0);  // a size wins over the scales
  EXPECT_EQ(t.matrix[0], 2.0);
  EXPECT_EQ(t.matrix[3], 0.5);
}

// ---- Loading ----

class LoadBrushTest : public BrushCommandTest {
 protected:
  // A PNG of the fixture, with alpha x * 80 + y * 5 when [alpha].
  std::string WriteFixture(const char* name, bool alpha) {
    Pixels words;
    for (int32_t y = 0; y < kSide; y++)
      for (int32_t x = 0; x < kSide; x++) words.push_back(P(x, y) | (alpha ? uint32_t(x * 80 + y * 5) << 24 : 0xFF000000u));
    const std::string path = dir / name;
    EXPECT_EQ(vkosSavePng(path.c_str(), words.data(), kSide, kSide, alpha), 0);
    return path;
  }
  void Options(const gfxtest::Fields& fields) { gfxtest::SetGlobalTable(L, "load", fields); }
  ScratchDir dir;
};

TEST_F(LoadBrushTest, PartsKeysAndAlpha) {
  const std::string plain = WriteFixture("plain.png", false), shaded = WriteFixture("alpha.png", true);
  EXPECT_EQ(Call("LoadBrush", {1, plain}), "");
  EXPECT_EQ(BrushPixels(1), Fixture());
  EXPECT_TRUE(BrushMask(1).empty());

  Options({{"x", 1}, {"y", 2}, {"width", 10}, {"height", 1}, {"transparency", P(2, 2)}});
  EXPECT_EQ(Call("LoadBrush", {1, plain, Arg::global("load")}), "");
  EXPECT_EQ(BrushPixels(1), (Pixels{P(1, 2), P(2, 2), P(3, 2)}));
  EXPECT_EQ(BrushMask(1), (Pixels{1, 0, 1}));

  Options({{"loadalpha", 1}, {"x", 3}});
  EXPECT_EQ(Call("LoadBrush", {1, shaded, Arg::global("load")}), "");
  EXPECT_EQ(BrushAlpha(1), (Pixels{240, 245, 250, 255}));
  EXPECT_EQ(Call("LoadBrush", {1, plain, Arg::global("load")}), "error 1170");

  Options({{"globalalpha", 128}});
  EXPECT_EQ(Call("LoadBrush", {2, plain, Arg::global("load")}), "");
  EXPECT_EQ(BrushAlpha(2), Pixels(kSide * kSide, 128));
  EXPECT_EQ(Call("LoadBrush", {2, shaded, Arg::global("load")}), "");
  EXPECT_EQ(BrushAlpha(2), Picture(kSide, kSide, [](int32_t x, int32_t y) { return uint32_t((x * 80 + y * 5) * 128 / 255); }));

  const struct {
    gfxtest::Fields options;
    const char* outcome;
  } errors[] = {
      {{{"x", -1}}, "error 1154"},
      {{{"y", 4}}, "error 1217"},
      {{{"globalalpha", 256}}, "error 1055"},
      {{{"transparency", 0}, {"globalalpha", 3}}, "error 1223"},
  };
  for (const auto& e : errors) {
    Options(e.options);
    EXPECT_EQ(Call("LoadBrush", {3, plain, Arg::global("load")}), e.outcome);
  }
  EXPECT_EQ(brush(3), nullptr);
}

// Damaged and hostile files give their error and leave no brush behind.
TEST_F(LoadBrushTest, BadFilesFailCleanly) {
  std::string png;
  {
    const std::string path = WriteFixture("good.png", true);
    std::ifstream in(path, std::ios::binary);
    png.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::string bmp = "BM" + std::string(52, '\0');
  bmp[10] = 54, bmp[14] = 40;
  bmp[18] = bmp[19] = bmp[20] = bmp[21] = char(0xFF);  // width -1
  bmp[22] = bmp[23] = char(0x7F);
  bmp[26] = 1, bmp[28] = 32;
  std::vector<std::string> files = {"", "BM", std::string("FORM\0\0\0\4ILBM", 12), bmp, png.substr(0, 40), png.substr(0, png.size() / 2)};
  uint32_t seed = 12345;
  for (int i = 0; i < 40; i++) {
    std::string f = png;
    for (int k = 0; k < 6; k++) {
      seed = seed * 1103515245 + 12345;
      f[8 + (seed >> 8) % (f.size() - 8)] = char(seed >> 24);
    }
    files.push_back(f);
  }
  for (size_t i = 0; i < files.size(); i++) {
    const std::string path = dir.Write("bad" + std::to_string(i), files[i]);
    const std::string outcome = Call("LoadBrush", {7, path});
    if (outcome.empty()) {
      // A mutation the reader tolerates makes a whole brush.
      ASSERT_NE(brush(7), nullptr);
      EXPECT_EQ(brush(7)->width, kSide);
      FreeBrushById(gs(), vkObjectId{7, nullptr}, true);
      continue;
    }
    EXPECT_EQ(outcome.rfind("error ", 0), 0u) << i;
    EXPECT_EQ(brush(7), nullptr) << i;
  }
}

}  // namespace

// Pictures and clip regions reach brushes through the brush library: a
// region shaped by a brush's mask, a picture made from a brush and a brush
// made back from the picture keep every pixel.
TEST_F(BrushTest, PicturesAndClipRegionsFindAndMakeBrushes) {
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(OpenBGPicLibrary(L), 0);
  RegisterClipRegionCommands(L);
  vmSetTop(L, 0);
  const Pixels shown = {1, 0, 0, 1, 0, 1, 1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
  MakeBrush(1, 2, 2, {1, 2, 3, 4});
  MakeBrush(2, kSide, kSide, Fixture(), &shown);
  RunCases({
      {"CreateClipRegion", {3, 28, 1, 0, 0}, "error 1172"},  // no mask
      {"CreateClipRegion", {3, 28, 9, 0, 0}, "error 1174"},
      {"CreateClipRegion", {3, 28, 2, 5, 6}, ""},
      {"BrushToBGPic", {9, 7}, "error 1174"},
      {"BrushToBGPic", {2, 7}, ""},
      {"BGPicToBrush", {7, 8}, ""},
      {"ConvertToBrush", {1, 7, 10}, ""},      // a picture
      {"ConvertToBrush", {1, 70, 10}, "error 1177"},
      {"ConvertToBrush", {22, 1, 11}, "error 1078"},  // layers are off
  });
  const vkClipRegion* region = FindClipRegion(gs(), vkObjectId{3, nullptr});
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(std::vector<int32_t>({region->x, region->y, region->width, region->height}),
            std::vector<int32_t>({5, 6, kSide, kSide}));
  ASSERT_NE(region->mask, nullptr);
  const vkBrush* b = brush(2);
  for (int32_t y = 0; y < kSide; y++)
    for (int32_t x = 0; x < kSide; x++)
      EXPECT_EQ(ReadBitMapPixel(region->mask.get(), x, y), ReadBitMapPixel(b->mask.get(), x, y)) << x << "," << y;
  vkBGPic* pic = nullptr;
  ASSERT_EQ(FindBGPic(gs(), vkObjectId{7, nullptr}, &pic, 0), 0);
  EXPECT_EQ(Read(pic->bitmap), Fixture());
  EXPECT_EQ(BrushPixels(8), Fixture());
  EXPECT_EQ(BrushMask(8), BrushMask(2));
  EXPECT_EQ(BrushPixels(10), Fixture());
  EXPECT_EQ(BrushMask(10), BrushMask(2));
  FreeAllClipRegions(gs());
  FreeAllBGPics(L);
}

// A brush put on the clipboard comes back as a new brush with the same
// pixels, its mask turned into opaque and clear alpha.
TEST_F(BrushTest, ClipboardPicturesComeBackAsBrushes) {
  ASSERT_EQ(vkosInit(), 0);
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(OpenEventLibrary(L), 0);
  ASSERT_EQ(OpenSystemLibrary(L), 0);
  vmSetTop(L, 0);
  RegisterBrushHooks(L);  // as at start-up, where the event library opens first
  const Pixels shown = {1, 0, 0, 1, 0, 1, 1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
  MakeBrush(2, kSide, kSide, Fixture(), &shown);
  RunCases({
      {"SetClipboard", {2, 9}, "error 1174"},
      {"SetClipboard", {2, 2}, ""},
      {"PeekClipboard", {}, "2"},
  });
  ASSERT_EQ(Call("GetClipboard", {}), "2, handle");
  const void* handle = vmToUserdata(L, 2);
  vkBrush* made = nullptr;
  ASSERT_EQ(FindBrush(gs(), vkObjectId{0, const_cast<void*>(handle)}, &made, 0), 0);
  EXPECT_EQ(Read(made->bitmap.get()), Fixture());
  ASSERT_NE(made->alpha, nullptr);
  for (int32_t y = 0; y < kSide; y++)
    for (int32_t x = 0; x < kSide; x++)
      EXPECT_EQ(made->alpha->data[size_t(y) * size_t(made->alpha->bytesPerRow) + size_t(x)],
                shown[size_t(y * kSide + x)] ? 0xFF : 0)
          << x << "," << y;
  vkosClearClipboard();
  FreeAllEventObjects(L);
  vkosExit();
}

// GetAttribute answers a brush's size, key, kind and planes, and a clip
// region's place and size.
TEST_F(BrushTest, GetAttributeAnswersForBrushesAndClipRegions) {
  vmPushValue(L, VK_GLOBALSINDEX);
  RegisterAttributeCommands(L);
  RegisterClipRegionCommands(L);
  vmSetTop(L, 0);
  const Pixels shown(size_t(kSide * kSide), 1);
  MakeBrush(2, kSide, kSide, Fixture(), &shown);
  constexpr int BRUSH = 3, CLIPREGION = 35;
  RunCases({
      {"CreateBrush", {1, 5, 3}, ""},
      {"GetAttribute", {BRUSH, 1, ATTRWIDTH}, "5"},
      {"GetAttribute", {BRUSH, 1, ATTRHEIGHT}, "3"},
      {"GetAttribute", {BRUSH, 1, ATTRHASMASK}, "0"},
      {"GetAttribute", {BRUSH, 2, ATTRHASMASK}, "1"},
      {"GetAttribute", {BRUSH, 2, ATTRHASALPHA}, "0"},
      {"GetAttribute", {BRUSH, 2, ATTRTRANSPARENTCOLOR}, std::to_string(kCreatedMaskKey)},
      {"GetAttribute", {BRUSH, 2, ATTRTYPE}, "0"},
      {"GetAttribute", {BRUSH, 0, ATTRCOUNT}, "2"},
      {"GetAttribute", {BRUSH, 9, ATTRWIDTH}, "error 1174"},
      {"GetAttribute", {BRUSH, 1, ATTRNUMFRAMES}, "error 1080"},
      {"CreateClipRegion", {4, 14, 2, 3, 10, 6}, ""},
      {"GetAttribute", {CLIPREGION, 4, ATTRXPOS}, "2"},
      {"GetAttribute", {CLIPREGION, 4, ATTRHEIGHT}, "6"},
      {"GetAttribute", {CLIPREGION, 0, ATTRCOUNT}, "1"},
      {"FreeClipRegion", {4}, ""},
      {"GetAttribute", {CLIPREGION, 4, ATTRXPOS}, "error 1215"},
  });
  FreeAllClipRegions(gs());
}
