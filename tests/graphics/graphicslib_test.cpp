// The graphics library: its settings' attribute handlers, the command table
// and constants, colour arithmetic, the palette pens, the frame-rate limit,
// picture probing, the named image cache of the preloads, pointer images
// through their life cycle, and the object statistics text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/attributes.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/graphicslib.h"
#include "graphics/picturesave.h"
#include "graphics/pointers.h"
#include "pixel/bmp.h"
#include "pixel/ilbm.h"
#include "platform/vkos_display.h"
#include "platform/vkos_pictures.h"
#include "runtime/context.h"
#include "support/scene.h"
#include "tests/common/scratchdir.h"

namespace {

using gfxtest::Pixels;
using vktest::Arg;

TEST(GraphicsAttrs, MaskModeAndAlphaIntensityAreKeptOtherTagsPassOn) {
  std::unique_ptr<vkState, void (*)(vkState*)> state(vmNewState(), vmCloseState);
  vkState* L = state.get();
  int32_t value = -7;
  ASSERT_EQ(GetGraphicsAttr(L, nullptr, ATTR_ALPHAINTENSITY, &value), 1);
  EXPECT_EQ(value, 128);  // initial

  struct Case {
    uint32_t tag;
    int32_t value;
    int handled;
  };
  const Case cases[] = {
      {ATTR_MASKMODE, 2, 1}, {ATTR_ALPHAINTENSITY, 300, 1}, {ATTR_ALPHAINTENSITY, -1, 1}, {6, 1, 0}, {0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    EXPECT_EQ(SetGraphicsAttr(L, nullptr, c.tag, c.value), c.handled);
    int32_t read = 12345;
    EXPECT_EQ(GetGraphicsAttr(L, nullptr, c.tag, &read), c.handled);
    EXPECT_EQ(read, c.handled ? c.value : 12345);
  }
}

// The scene's display and brushes with the graphics library opened too.
class GraphicsLibTest : public gfxtest::SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenGraphicsLibrary(L), 0);
    vmSetTop(L, 0);
  }
  void TearDown() override {
    FreeGraphicsObjects(L);
    SceneTest::TearDown();
  }
  // Makes the global [name] a table of string fields.
  void SetStringTable(const char* name, std::initializer_list<std::pair<const char*, std::string>> fields) {
    vmPushString(L, name);
    vmNewTable(L);
    for (const auto& [k, v] : fields) {
      vmPushString(L, k);
      if (!v.empty() && (std::isdigit(static_cast<unsigned char>(v[0])) != 0)) vmPushNumber(L, std::atof(v.c_str()));
      else vmPushString(L, v.c_str());
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  double Constant(const char* name) {
    double n = -12345;
    EXPECT_EQ(vmGetConstant(L, name, nullptr, &n), 1) << name;
    return n;
  }
  ScratchDir dir;
};

TEST_F(GraphicsLibTest, CommandTableAndConstants) {
  const vkLibraryEntry* lib = FirstLibrary(L);
  while (lib && lib->name != "graphics") lib = lib->next.get();
  ASSERT_NE(lib, nullptr);
  std::string names;
  for (const vkCommandDef* c = lib->commands; c->name; c++) {
    EXPECT_NE(c->func, nullptr) << c->name;
    names += std::string(c->name) + " ";
  }
  EXPECT_EQ(names,
            "Red Green Blue RGB ARGB MovePointer HidePointer SetPointer ShowPointer GetAttribute GetPen VWait "
            "SetFPSLimit GetFPSLimit IsPicture GetRealColor SaveSnapshot MixRGB CreateClipRegion SetClipRegion "
            "FreeClipRegion CreatePointer FreePointer AsyncDrawFrame CancelAsyncDraw FinishAsyncDraw DumpVideoTime "
            "GetRandomColor ");
  const struct {
    const char* name;
    double value;
  } constants[] = {
      {"NOTRANSPARENCY", 4294967295.0}, {"USELAYERPOSITION", 100000}, {"NORMALSPEED", -1}, {"FASTSPEED", -2},
      {"SLOWSPEED", -3},  {"DEFAULTSPEED", -4},  {"LINEAR", 2},      {"SNAPWINDOW", 0},   {"SNAPDISPLAY", 1},
      {"snapdesktop", 2}, {"IMGFMT_BMP", 0},     {"IMGFMT_PNG", 1},  {"IMGFMT_JPEG", 2},  {"IMGFMT_GIF", 3},
      {"IMGFMT_ILBM", 4}, {"ANMFMT_GIF", 0},     {"ANMFMT_MJPEG", 1}, {"STDPTR_SYSTEM", 0}, {"STDPTR_BUSY", 1},
      {"STDPTR_CUSTOM", 2}, {"ADF_FX", 0},       {"ADF_MOVEOBJECT", 1}, {"ADF_ANIM", 2}, {"IMAGETYPE_RASTER", 0},
      {"NONE", -1},       {"POINTER", 36},       {"ATTRPOINTER", 38}, {"CENTER", -100000},
  };
  for (const auto& c : constants) EXPECT_EQ(Constant(c.name), c.value) << c.name;
  EXPECT_EQ(Call("DumpVideoTime", {}), "-1");
}

TEST_F(GraphicsLibTest, ColourArithmetic) {
  RunCases({
      {"Red", {0x123456}, "18"},
      {"Green", {0x123456}, "52"},
      {"Blue", {0x123456}, "86"},
      {"Red", {-1}, "255"},
      {"Blue", {4294967295.0}, "255"},
      {"RGB", {1, 2, 3}, "66051"},
      {"RGB", {255, 255, 255}, "16777215"},
      {"ARGB", {255, 0x123456}, "4279383126"},
      {"ARGB", {128, 0}, "2147483648"},
      {"ARGB", {-1, 0}, "4278190080"},
      {"ARGB", {0, 4294967295.0}, "4294967295"},
      {"MixRGB", {0, 0xFFFFFF, 255}, "16711422"},    // 0xFEFEFE
      {"MixRGB", {0xFFFFFF, 0, 128}, "8355711"},     // 0x7F7F7F: the shift rounds down
      {"MixRGB", {0, 0xFFFFFF, "50%"}, "8289918"},   // 127 of 255: 0x7E7E7E
      {"MixRGB", {0x102030, 0x102030, 77}, "1056816"},
      {"MixRGB", {0, 0xFFFFFF, 0}, "0"},
      {"MixRGB", {0, 0xFFFFFF, 256}, "error 1055"},
      {"MixRGB", {0, 0xFFFFFF, -1}, "error 1055"},
      {"MixRGB", {0, 0xFFFFFF, "101%"}, "error 1055"},
  });
  const struct {
    uint32_t colour;
    int32_t depth;
    uint32_t shown;
  } real[] = {{0xFFFFFF, 16, 0xF8FCF8}, {0xFFFFFF, 15, 0xF8F8F8}, {0x123456, 32, 0x123456}, {0x07070F, 16, 0x000408},
              {0x07070F, 24, 0x07070F}};
  for (const auto& r : real) EXPECT_EQ(RealColor(r.colour, r.depth), r.shown) << r.depth;
  // Without a window the platform reports no depth: colours stay.
  EXPECT_EQ(Call("GetRealColor", {0xFFFFFF}), "16777215");

  // The random colours come from the table through drand48.
  EXPECT_EQ(RandomTableColor(0), 0xCCCCCCu);
  EXPECT_EQ(RandomTableColor(4), 0xAA2200u);
  EXPECT_EQ(RandomTableColor(245), 0xCC00FFu);
  srand48(1234);
  std::string want;
  for (int i = 0; i < 5; i++) want += std::to_string(RandomTableColor(int32_t(std::trunc(drand48() * 246)))) + " ";
  srand48(1234);
  std::string got;
  for (int i = 0; i < 5; i++) got += Call("GetRandomColor", {}) + " ";
  EXPECT_EQ(got, want);
}

TEST_F(GraphicsLibTest, PensComeFromThePalette) {
  EXPECT_EQ(Call("GetPen", {3}), "4294967295");  // no palette
  picture.palette.resize(256);
  for (uint32_t i = 0; i < 256; i++) picture.palette[i] = i * 0x010101;
  RunCases({
      {"GetPen", {3}, "197379"},
      {"GetPen", {-1}, "0"},
      {"GetPen", {300}, "16777215"},
  });
}

TEST_F(GraphicsLibTest, FrameRateLimit) {
  const std::string initial = Call("GetFPSLimit", {});
  RunCases({
      {"SetFPSLimit", {30}, ""},
      {"GetFPSLimit", {}, "30"},
      {"VWait", {}, ""},  // no window: nothing to flush or wait for
      {"SetFPSLimit", {-5}, ""},
      {"GetFPSLimit", {}, initial},
      {"SetFPSLimit", {30}, ""},
      {"SetFPSLimit", {0}, ""},
      {"GetFPSLimit", {}, initial},
  });
}

TEST_F(GraphicsLibTest, IsPictureProbesTheHeader) {
  std::vector<uint32_t> px(6 * 4);
  for (size_t i = 0; i < px.size(); i++) px[i] = 0x80000000u | uint32_t(i * 0x0A0B0C);
  ASSERT_EQ(vkosSavePng((dir / "a.png").c_str(), px.data(), 6, 4, true), 0);
  ASSERT_EQ(vkosSavePng((dir / "o.png").c_str(), px.data(), 6, 4, false), 0);
  ASSERT_EQ(vkosSaveJpeg((dir / "j.jpg").c_str(), px.data(), 6, 4, 90), 0);
  ASSERT_EQ(WriteBMPFile((dir / "b.bmp").c_str(), px.data(), 6, 4), 0u);
  ASSERT_EQ(WriteILBMFile((dir / "i.iff").c_str(), px.data(), 6, 4), 0u);
  ASSERT_EQ(SaveARGBToFile(IMGFMT_GIF, px.data(), 6, 4, (dir / "g.gif").c_str(), -1, false, vkSaveOptions{}), 0);
  dir.Write("t.txt", "just some text, no picture at all");
  RunCases({
      {"IsPicture", {dir / "a.png"}, "1, {}"},
      {"IsPicture", {dir / "missing.png"}, "0, {}"},
  });
  const struct {
    const char* file;
    std::string outcome;
  } cases[] = {
      {"a.png", "1 6 4 1"}, {"o.png", "1 6 4 0"}, {"j.jpg", "1 6 4 0"}, {"b.bmp", "1 6 4 0"},
      {"i.iff", "1 6 4 0"}, {"g.gif", "1 6 4 1"},  // our GIFs always mark a transparent entry
      {"t.txt", "0 0 0 0"}, {"missing", "0 0 0 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_EQ(Call("IsPicture", {dir / c.file}).substr(1, 3), ", {");
    // The table's fields.
    std::string got = std::to_string(int(vmToNumber(L, -2)));
    for (const char* field : {"width", "height", "alpha"}) {
      vmPushString(L, field);
      vmGetTable(L, -2);
      got += " " + std::to_string(int(vmToNumber(L, -1)));
      vmSetTop(L, -2);
    }
    EXPECT_EQ(got, c.outcome);
  }
}

TEST_F(GraphicsLibTest, ImageCacheSharesPreloadedPictures) {
  std::vector<uint32_t> px(5 * 3);
  for (size_t i = 0; i < px.size(); i++) px[i] = 0x40000000u | uint32_t(i * 0x112233 & 0xFFFFFF);
  const std::string file = dir / "shared.png";
  ASSERT_EQ(vkosSavePng(file.c_str(), px.data(), 5, 3, true), 0);
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 1}, {ATTR_QUIET, 1}});  // preloading

  SetStringTable("first", {{"cache", "Shared.PNG"}});
  SetStringTable("again", {{"cachedload", "shared.png"}});
  SetStringTable("alpha", {{"cachedload", "SHARED.png"}, {"loadalpha", "1"}});
  SetStringTable("other", {{"cachedload", "never.png"}});
  ASSERT_EQ(Call("LoadBrush", {1, file, Arg::global("first")}), "");
  const Pixels loaded = BrushPixels(1);
  // The file is gone: the second preload of the name is served from the cache.
  std::remove(file.c_str());
  ASSERT_EQ(Call("LoadBrush", {2, file, Arg::global("again")}), "");
  EXPECT_EQ(BrushPixels(2), loaded);
  EXPECT_EQ(Call("LoadBrush", {3, file, Arg::global("alpha")}), "error 1246");  // cached without alpha
  EXPECT_EQ(Call("LoadBrush", {3, file, Arg::global("other")}), "error 1246");
  ASSERT_EQ(gs().imageCache.size(), 1u);
  ProgramContext(L).preloadsEnded(L);
  EXPECT_TRUE(gs().imageCache.empty());

  // Over the budget the name is declined and its loads read the file.
  ASSERT_EQ(vkosSavePng(file.c_str(), px.data(), 5, 3, true), 0);
  gs().imageCacheBudget = 16;
  ASSERT_EQ(Call("LoadBrush", {4, file, Arg::global("first")}), "");
  ASSERT_EQ(Call("LoadBrush", {5, file, Arg::global("again")}), "");
  EXPECT_EQ(BrushPixels(5), loaded);
  std::remove(file.c_str());
  EXPECT_EQ(Call("LoadBrush", {6, file, Arg::global("again")}), "error 1045");
  SetAttrs(L, nullptr, {{ATTR_SCRIPTPHASE, 0}});
}

TEST_F(GraphicsLibTest, PointerLifeCycle) {
  Pixels image(8 * 6, 0xFF8000), mask(8 * 6, 1);
  mask[0] = 0;
  MakeBrush(1, 8, 6, image, &mask);
  MakeBrush(2, 3000, 1, Pixels(3000, 0));  // wider than any pointer
  ASSERT_EQ(Call("CreateSprite", {1, 3, 1, 4, 6, 2, 2}), "");
  const int brush = 3, sprite = 32, pointer = 36;
  const struct {
    std::vector<Arg> args;
    std::string outcome;
    int32_t width, height, hotX, hotY;
  } cases[] = {
      {{1, brush, 1}, "", 8, 6, 4, 3},                    // -1: the centre
      {{1, brush, 1, 20, 6}, "", 8, 6, 7, 5},             // beyond: the last pixel
      {{1, brush, 1, -5, -1}, "", 8, 6, 0, 3},            // below 0: the first
      {{1, sprite, 1, 2, 1, 1}, "", 4, 6, 1, 1},
      {{1, sprite, 1}, "", 4, 6, 2, 3},
      {{1, sprite, 1, 3}, "error 1094", 0, 0, 0, 0},
      {{1, sprite, 1, 0}, "error 1094", 0, 0, 0, 0},
      {{1, pointer, STDPTR_BUSY}, "", 0, 0, 0, 0},
      {{1, pointer, 2}, "error 1055", 0, 0, 0, 0},
      {{1, 1, 1}, "error 1055", 0, 0, 0, 0},
      {{1, brush, 9}, "error 1174", 0, 0, 0, 0},
      {{1, brush, 2}, "error 1321", 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.size());
    ASSERT_EQ(Call("CreatePointer", c.args), c.outcome);
    if (!c.outcome.empty() || c.width == 0) continue;
    vkPointerImage* p = nullptr;
    ASSERT_EQ(FindPointer(gs(), vkObjectId{1, nullptr}, &p), 0);
    EXPECT_EQ(p->width, c.width);
    EXPECT_EQ(p->height, c.height);
    EXPECT_EQ(p->hotX, c.hotX);
    EXPECT_EQ(p->hotY, c.hotY);
    EXPECT_EQ(p->kind, STDPTR_CUSTOM);
  }
  // The standard pointer made last in the table is pointer 1 now.
  RunCases({
      {"GetAttribute", {pointer, 1, ATTRTYPE}, "1"},
      {"GetAttribute", {pointer, 1, ATTRWIDTH}, std::to_string(vkosGetAttr(nullptr, 12))},
      {"GetAttribute", {pointer, 0, ATTRCOUNT}, "1"},
      {"CreatePointer", {2, brush, 1}, ""},
      {"SetPointer", {2}, ""},
      {"GetAttribute", {pointer, 2, ATTRHEIGHT}, "6"},
      // Freed while the display shows it: unknown to lookups, kept alive.
      {"FreePointer", {2}, ""},
      {"GetAttribute", {pointer, 2, ATTRWIDTH}, "error 1320"},
      {"FreePointer", {2}, "error 1320"},
      {"SetPointer", {2}, "error 1320"},
      {"GetAttribute", {pointer, 0, ATTRCOUNT}, "1"},
  });
  ASSERT_NE(display.customPointer, nullptr);
  EXPECT_EQ(static_cast<vkPointerImage*>(display.customPointer)->width, 8);
  EXPECT_EQ(Pointers(gs()).images.size(), 2u);
  // Another pointer shown: the deleted one goes.
  ASSERT_EQ(Call("SetPointer", {1}), "");
  EXPECT_EQ(Pointers(gs()).images.size(), 1u);
  // Replacing the shown pointer by number marks it deleted as well.
  ASSERT_EQ(Call("CreatePointer", {1, brush, 1}), "");
  EXPECT_EQ(Pointers(gs()).images.size(), 2u);
  ASSERT_EQ(Call("HidePointer", {}), "");
  EXPECT_EQ(display.pointerHidden, 1u);
  ASSERT_EQ(Call("ShowPointer", {}), "");
  EXPECT_EQ(display.pointerHidden, 0u);
  // A handle for Nil.
  EXPECT_EQ(Call("CreatePointer", {nullptr, pointer, STDPTR_SYSTEM}), "handle");
  ASSERT_EQ(Call("MovePointer", {-100000, -100000}), "");  // no window: nothing to move
}

TEST_F(GraphicsLibTest, ObjectCountsText) {
  MakeBrush(1, 2, 2, Pixels(4, 1));
  MakeBrush(2, 2, 2, Pixels(4, 2));
  ASSERT_EQ(Call("CreateSprite", {1, 3, 1}), "");
  ASSERT_EQ(Call("CreateSprite", {2, 3, 2}), "");
  ASSERT_EQ(Call("DisplaySprite", {1, 3, 3}), "");
  ASSERT_EQ(Call("CreatePointer", {1, 3, 1}), "");
  ASSERT_EQ(Call("CreateClipRegion", {1, 14, 0, 0, 4, 4}), "");
  EXPECT_EQ(DumpObjectCounts(L),
            "Anims               0\n"
            "Async draws         0\n"
            "BGPics              0\n"
            "Brushes             2\n"
            "Clip regions        1\n"
            "Directories         0\n"
            "Displays            1\n"
            "Files               0\n"
            "Fonts               0\n"
            "Layers (on screen)  0\n"
            "Layers (total)      0\n"
            "Memory blocks       0\n"
            "Musics              0\n"
            "Pointer images      1\n"
            "Samples             0\n"
            "Sprites (on screen) 1\n"
            "Sprites (total)     2\n"
            "Text objects        0\n"
            "Timers              0\n");
}

}  // namespace
