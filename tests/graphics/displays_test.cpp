// Displays and background pictures as scripts use them, on SDL's offscreen
// video driver: the display commands' options and errors, replacing and
// freeing, handles that outlive their display, letterbox margins, resizing
// in each scaling mode, pictures placed by special positions and read back
// from the window, GetAttribute rows, generated pictures at a new size and
// pictures kept for the displays that still show them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/displays.h"
#include "graphics/graphicslib.h"
#include "graphics/graphicsstate.h"
#include "pixel/blit.h"
#include "platform/vkos.h"
#include "platform/vkos_display.h"
#include "runtime/eventlib.h"
#include "../runtime/support/libcall.h"

namespace {

using vktest::Arg;

int OpenDisplayLibraries(vkState* L) {
  if (int rc = OpenGraphicsLibrary(L)) return rc;
  if (int rc = OpenEventLibrary(L)) return rc;
  if (int rc = OpenDisplayLibrary(L)) return rc;
  return OpenBGPicLibrary(L);
}

// A field of an options table: a number, or a list of regions.
struct Field {
  std::string key;
  double number = 0;
  std::vector<vkRegion> regions;
  Field(std::string k, double n) : key(std::move(k)), number(n) {}
  Field(std::string k, std::vector<vkRegion> r) : key(std::move(k)), regions(std::move(r)) {}
};

class Displays : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_EQ(vkosInit(), 0);
    OpenLibrary(OpenDisplayLibraries);
  }
  void TearDown() override {
    CloseAllDisplays(L);
    FreeAllBGPics(L);
    vktest::LibraryTest::TearDown();
    L = nullptr;
    vkosExit();
  }
  vkGraphicsState& gs() { return GraphicsState(L); }

  // Makes the global table [name] of [fields] for Arg::global.
  void Table(const char* name, const std::vector<Field>& fields) {
    vmPushString(L, name);
    vmNewTable(L);
    for (const Field& f : fields) {
      vmPushString(L, f.key.c_str());
      if (f.regions.empty()) {
        vmPushNumber(L, f.number);
      } else {
        vmNewTable(L);
        for (size_t i = 0; i < f.regions.size(); i++) {
          const vkRegion& r = f.regions[i];
          vmNewTable(L);
          SetFieldInt(L, "type", r.type);
          SetFieldInt(L, "x", r.x);
          SetFieldInt(L, "y", r.y);
          if (r.width) SetFieldInt(L, "width", r.width);
          SetFieldInt(L, "height", r.height);
          vmRawSetI(L, -2, int(i));
        }
      }
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  // The handle the last call returned.
  void* LastHandle() { return const_cast<void*>(vmToPointer(L, 1)); }
  vkDisplay* Display(int32_t number) {
    vkDisplay* d = nullptr;
    EXPECT_EQ(FindDisplay(gs(), vkObjectId{number, nullptr}, &d), 0);
    return d;
  }
  std::vector<uint32_t> Window(vkDisplay* d) {
    std::vector<uint32_t> pixels;
    EXPECT_TRUE(vkosReadWindow(d->os, &pixels));
    return pixels;
  }
};

TEST_F(Displays, OptionsAndErrorsOfTheDisplayCommands) {
  Table("small", {{"width", 320}, {"height", 200}, {"color", 0x336699}});
  Table("zerowidth", {{"width", 0}});
  Table("badfill", {{"fillstyle", 4}});
  Table("zeroscale", {{"scalewidth", 0}});
  Table("badmode", {{"scalemode", 3}});
  Table("nopic", {{"bgpic", 99}});
  Table("badregiontype", {{"dragregion", {{1, 0, 0, 10, 10}}}});
  Table("shortregion", {{"sizeregion", {{14, 0, 0, 0, 10}}}});
  Table("negativeregion", {{"dragregion", {{14, -1, 0, 10, 10}}}});
  Table("sixtyfour", {{"dragregion", std::vector<vkRegion>(64, {14, 0, 0, 4, 4})}});
  Table("sixtyfive", {{"dragregion", std::vector<vkRegion>(65, {14, 0, 0, 4, 4})}});
  Table("shared", {{"bgpic", 5}});
  RunCases({
      {"CreateDisplay", {2, Arg::global("small")}, ""},
      {"CreateDisplay", {3, Arg::global("zerowidth")}, "error 1055"},
      {"CreateDisplay", {3, Arg::global("badfill")}, "error 1055"},
      {"CreateDisplay", {3, Arg::global("zeroscale")}, "error 1055"},
      {"CreateDisplay", {3, Arg::global("badmode")}, "error 1055"},
      {"CreateDisplay", {3, Arg::global("nopic")}, "error 1177"},
      {"CreateDisplay", {3, Arg::global("badregiontype")}, "error 1055"},
      {"CreateDisplay", {3, Arg::global("shortregion")}, "error 1014"},
      {"CreateDisplay", {3, Arg::global("negativeregion")}, "error 1055"},
      {"CreateDisplay", {3, Arg::global("sixtyfive")}, "error 1055"},  // the record holds 64
      {"CreateDisplay", {3, Arg::global("sixtyfour")}, ""},
      {"OpenDisplay", {9}, "error 1344"},
      {"OpenDisplay", {2}, ""},
      {"OpenDisplay", {2}, "error 1055"},
      {"GetAttribute", {21, 0, ATTRWIDTH}, "320"},
      {"GetAttribute", {21, 2, ATTRSTATE}, "1"},
      {"GetAttribute", {21, 3, ATTRSTATE}, "0"},
      {"GetAttribute", {21, 2, ATTRTITLE}, "\"Vellumark\""},
      {"GetAttribute", {21, 2, ATTRCOUNT}, "2"},
      {"GetAttribute", {21, 2, ATTROUTPUTDEVICE}, "21, 2, 0"},
      {"GetAttribute", {21, 2, 999}, "error 1080"},
      {"GetAttribute", {46, 2, ATTRWIDTH}, "error 1055"},
      {"GetAttribute", {21, 7, ATTRWIDTH}, "error 1344"},
      {"FreeDisplay", {2}, "error 1346"},  // the current one
      {"SetTitle", {"Second title"}, ""},
      {"GetAttribute", {21, 2, ATTRTITLE}, "\"Second title\""},
      {"SetTitle", {std::string(256, 'x')}, "error 1055"},
      {"HideDisplay", {}, ""},
      {"HideDisplay", {}, "error 1055"},
      {"ShowDisplay", {}, ""},
      {"ShowDisplay", {}, "error 1055"},
      {"ActivateDisplay", {3}, "error 1055"},  // not open
      {"CloseDisplay", {3}, "error 1055"},
      {"FreeDisplay", {3}, ""},
      {"FreeDisplay", {3}, "error 1344"},
      {"CreateBGPic", {5, 10, 10}, ""},
      {"CreateDisplay", {6, Arg::global("shared")}, ""},
      {"CreateDisplay", {7, Arg::global("shared")}, "error 1345"},
      {"GetAttribute", {21, 6, ATTRWIDTH}, "10"},
      {"ChangeDisplayMode", {3}, "error 1055"},
      {"ChangeDisplayMode", {2, 0, 480}, "error 1055"},
      {"CloseDisplay", {2}, ""},
      {"GetAttribute", {21, 2, ATTRSTATE}, "0"},
  });
  // While a video recording runs the commands that would change windows refuse.
  gs().videoRecording = 1;
  RunCases({
      {"FreeDisplay", {6}, "error 1317"},
      {"OpenDisplay", {2}, "error 1317"},
      {"SelectDisplay", {2}, "error 1317"},
      {"ChangeDisplayMode", {1}, "error 1317"},
      {"CreateDisplay", {8, Arg::global("small")}, "error 1351"},
  });
  gs().videoRecording = 0;
}

TEST_F(Displays, ReplacingByNumberAndHandlesThatOutliveTheirDisplay) {
  Table("wide", {{"width", 100}, {"height", 50}});
  Table("tall", {{"width", 30}, {"height", 70}});
  RunCases({
      {"CreateDisplay", {2, Arg::global("wide")}, ""},
      {"CreateDisplay", {2, Arg::global("tall")}, ""},  // replaces the first
      {"GetAttribute", {21, 2, ATTRWIDTH}, "30"},
      {"GetAttribute", {21, 2, ATTRCOUNT}, "1"},
  });
  EXPECT_EQ(Call("CreateDisplay", {nullptr, Arg::global("wide")}), "handle");
  void* handle = LastHandle();
  EXPECT_EQ(Call("GetAttribute", {21, Arg::handle(handle), ATTRHEIGHT}), "50");
  EXPECT_EQ(Call("FreeDisplay", {Arg::handle(handle)}), "");
  // A new display may take the freed record's memory; the old handle finds nothing.
  EXPECT_EQ(Call("CreateDisplay", {nullptr, Arg::global("wide")}), "handle");
  EXPECT_NE(LastHandle(), handle);
  EXPECT_EQ(Call("FreeDisplay", {Arg::handle(handle)}), "error 1041");
  EXPECT_EQ(Call("GetAttribute", {21, Arg::handle(handle), ATTRWIDTH}), "error 1041");
  EXPECT_EQ(Call("OpenDisplay", {Arg::handle(handle)}), "error 1041");
}

TEST_F(Displays, ADefaultDisplayHasItsDragAndSizeRegions) {
  Table("plain", {{"width", 200}, {"height", 120}});
  ASSERT_EQ(Call("CreateDisplay", {2, Arg::global("plain")}), "");
  ASSERT_EQ(Call("OpenDisplay", {2}), "");
  const vkDisplay* d = Display(2);
  ASSERT_EQ(d->dragRegions.size(), 1u);
  ASSERT_EQ(d->sizeRegions.size(), 1u);
  const vkRegion drag = d->dragRegions[0], size = d->sizeRegions[0];
  EXPECT_EQ(std::vector<int32_t>({drag.x, drag.y, drag.width, drag.height}), std::vector<int32_t>({0, 0, 200, 15}));
  EXPECT_EQ(std::vector<int32_t>({size.x, size.y, size.width, size.height}),
            std::vector<int32_t>({190, 110, 10, 10}));
}

// A 4:3 picture in a 16:9 window: equal side margins, the odd pixel right.
TEST_F(Displays, KeepProportionsLetterboxesWithTheOddPixelOnTheRight) {
  ASSERT_EQ(Call("CreateBGPic", {1, 400, 300, 0xFFFFFF}), "");
  Table("letterbox", {{"bgpic", 1}, {"scalemode", 1}, {"keepproportions", 1}, {"scalewidth", 641},
                      {"scaleheight", 360}});
  ASSERT_EQ(Call("CreateDisplay", {2, Arg::global("letterbox")}), "");
  ASSERT_EQ(Call("OpenDisplay", {2}), "");
  vkDisplay* d = Display(2);
  EXPECT_EQ(d->width, 641);
  EXPECT_EQ(d->height, 360);
  EXPECT_EQ(d->scaledWidth, 480);
  EXPECT_EQ(d->scaledHeight, 360);
  EXPECT_EQ(d->marginLeft, 80);
  EXPECT_EQ(d->marginRight, 81);
  EXPECT_EQ(d->marginTop + d->marginBottom, 0);
  vkosPresentPending(true);
  const std::vector<uint32_t> w = Window(d);
  ASSERT_EQ(w.size(), size_t(641 * 360));
  EXPECT_EQ(w[100 * 641 + 79], 0u);           // the left margin is black
  EXPECT_EQ(w[100 * 641 + 80], 0xFFFFFFu);    // the picture, stretched
  EXPECT_EQ(w[100 * 641 + 559], 0xFFFFFFu);
  EXPECT_EQ(w[100 * 641 + 560], 0u);          // the right margin, one wider
  EXPECT_EQ(Call("GetAttribute", {21, 2, ATTRSCALEMODE}), "1");
  EXPECT_EQ(Call("GetAttribute", {21, 2, ATTRWIDTH}), "400");  // the picture's size
  EXPECT_EQ(Call("GetAttribute", {21, 2, ATTRSCALEWIDTH}), "480");
}

TEST_F(Displays, ScaleWidthGivenAsANegativeNumberIsAPercentage) {
  Table("half", {{"width", 300}, {"height", 100}, {"scalemode", 1}, {"scalewidth", -50}, {"scaleheight", -100}});
  ASSERT_EQ(Call("CreateDisplay", {2, Arg::global("half")}), "");
  EXPECT_EQ(Display(2)->width, 150);
  EXPECT_EQ(Display(2)->height, 100);
}

// What each scaling mode keeps when the script asks for a new size.
TEST_F(Displays, ResizingInEachScalingMode) {
  struct Case {
    const char* name;
    int scalemode;
    int32_t pictureW, pictureH;  // after ChangeDisplaySize(200, 100)
    int32_t windowW, windowH;
  };
  const Case cases[] = {
      {"no scaling: the picture is made at the new size", 0, 200, 100, 200, 100},
      {"auto scaling: the picture keeps its size, shown stretched", 1, 320, 240, 200, 100},
      {"layer scaling: the picture's size changes, the window keeps its size", 2, 200, 100, 320, 240},
  };
  int number = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Table("options", {{"width", 320}, {"height", 240}, {"scalemode", double(c.scalemode)}});
    ASSERT_EQ(Call("CreateDisplay", {number, Arg::global("options")}), "");
    ASSERT_EQ(Call("OpenDisplay", {number}), "");
    EXPECT_EQ(Call("ChangeDisplaySize", {200, 100}), "");
    vkDisplay* d = Display(number);
    EXPECT_EQ(d->bgpic->width, c.pictureW);
    EXPECT_EQ(d->bgpic->height, c.pictureH);
    EXPECT_EQ(d->os->width, c.windowW);
    EXPECT_EQ(d->os->height, c.windowH);
    EXPECT_EQ(Window(d).size(), size_t(c.windowW) * size_t(c.windowH));
    number++;
  }
  EXPECT_EQ(Call("ChangeDisplaySize", {"50%", 100000}), "");  // of the picture, keeping its aspect
  EXPECT_EQ(Display(4)->bgpic->width, 100);
  EXPECT_EQ(Display(4)->bgpic->height, 50);
  EXPECT_EQ(Call("ChangeDisplaySize", {100000, 100000}), "error 1055");
}

// A picture part placed by special positions lands where they say, read
// back from the window pixel for pixel.
TEST_F(Displays, PicturesShownAtSpecialPositions) {
  Table("plain", {{"width", 160}, {"height", 120}, {"color", 0x000040}});
  ASSERT_EQ(Call("CreateDisplay", {2, Arg::global("plain")}), "");
  ASSERT_EQ(Call("OpenDisplay", {2}), "");
  ASSERT_EQ(Call("CreateBGPic", {7, 16, 8, 0xFF8000}), "");
  struct Case {
    double x, y;
    int32_t atX, atY;
  };
  const Case cases[] = {{-100000, -100000, 72, 56}, {-80000, -60000, 144, 112}, {-90000, -70000, 0, 0},
                        {-99990, -100000 - 5, 82, 51}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.atX);
    ASSERT_EQ(Call("DisplayBGPicPart", {7, 0, 0, 16, 8, c.x, c.y}), "");
    vkosPresentPending(true);
    const std::vector<uint32_t> w = Window(Display(2));
    for (int32_t y = 0; y < 120; y++)
      for (int32_t x = 0; x < 160; x++) {
        const bool inside = x >= c.atX && x < c.atX + 16 && y >= c.atY && y < c.atY + 8;
        if (inside) {
          ASSERT_EQ(w[size_t(y) * 160 + size_t(x)], 0xFF8000u) << x << "," << y;
        }
      }
  }
  // Nothing else was touched.
  const std::vector<uint32_t> w = Window(Display(2));
  EXPECT_EQ(w[size_t(30) * 160 + 30], 0x000040u);
}

TEST_F(Displays, GeneratedPicturesAreDrawnAgainAtANewSize) {
  RunCases({
      {"CreateGradientBGPic", {1, 1, 0xFF0000, 0x0000FF, 64, 32}, ""},
      {"CreateRainbowBGPic", {2, 1, 0xFF0000, 0x0000FF, 200, 100}, ""},
      {"ScaleBGPic", {1, 200, 100}, ""},
      {"GetAttribute", {1, 1, ATTRWIDTH}, "200"},
      {"GetAttribute", {1, 1, ATTRTYPE}, "1"},
      {"CreateGradientBGPic", {3, 1, 0, 0xFFFFFF, 0, 10}, "error 1218"},
      {"ScaleBGPic", {1, 0, 10}, "error 1218"},
      {"ScaleBGPic", {9, 10, 10}, "error 1177"},
      {"CopyBGPic", {1, 1}, "error 1055"},
      {"CopyBGPic", {1, 4}, ""},
      {"GetAttribute", {1, 4, ATTRHEIGHT}, "100"},
      {"GetAttribute", {1, 0, ATTRCOUNT}, "3"},
  });
  vkBGPic *scaled = nullptr, *fresh = nullptr;
  ASSERT_EQ(FindBGPic(gs(), vkObjectId{1, nullptr}, &scaled, 0), 0);
  ASSERT_EQ(FindBGPic(gs(), vkObjectId{2, nullptr}, &fresh, 0), 0);
  // Not stretched pixels: the same gradient as one made at that size.
  for (int32_t y = 0; y < 100; y += 7)
    for (int32_t x = 0; x < 200; x += 3)
      ASSERT_EQ(ReadBitMapPixel(scaled->bitmap, x, y), ReadBitMapPixel(fresh->bitmap, x, y)) << x << "," << y;
}

TEST_F(Displays, AFreedPictureStaysForTheDisplaysThatShowIt) {
  Table("one", {{"bgpic", 1}});
  Table("two", {{"bgpic", 2}});
  RunCases({
      {"CreateBGPic", {1, 40, 30, 0x00FF00}, ""},
      {"CreateBGPic", {2, 40, 30, 0x0000FF}, ""},
      {"CreateDisplay", {2, Arg::global("one")}, ""},
      {"CreateDisplay", {3, Arg::global("two")}, ""},
      {"OpenDisplay", {2}, ""},
      {"FreeBGPic", {1}, ""},  // shown by display 2: kept without its number
      {"FreeBGPic", {2}, ""},  // shown by display 3
      {"GetAttribute", {1, 1, ATTRWIDTH}, "error 1177"},
      {"CreateBGPic", {1, 8, 8, 0xFF0000}, ""},  // the number is free again
      {"GetAttribute", {1, 1, ATTRWIDTH}, "8"},
      {"ScaleBGPic", {1, 20, 20}, ""},
  });
  vkDisplay *two = Display(2), *three = Display(3);
  ASSERT_TRUE(two->bgpic->orphaned);
  EXPECT_EQ(ReadBitMapPixel(two->bgpic->bitmap, 0, 0), 0x00FF00u);
  // Display 2 changes its picture: its old orphan goes, but display 3's
  // orphan stays while display 3 shows it.
  EXPECT_EQ(Call("DisplayBGPic", {1}), "");
  EXPECT_EQ(two->bgpic->width, 20);
  EXPECT_EQ(Call("ScaleBGPic", {1, 30, 30}), "error 1366");
  ASSERT_TRUE(three->bgpic->orphaned);
  EXPECT_EQ(ReadBitMapPixel(three->bgpic->bitmap, 0, 0), 0x0000FFu);
  size_t orphans = 0;
  for (const vkBGPicPtr& p : gs().BGPicList) orphans += p->orphaned;
  EXPECT_EQ(orphans, 1u);
  EXPECT_EQ(Call("GetAttribute", {21, 2, ATTRBGPIC}), "1");
}

}  // namespace

// Installing a drop or clipboard handler switches the receivers of the real
// window the display opened, not only of the event record.
TEST_F(Displays, HandlerSwitchesReachTheDisplaysWindow) {
  Table("plain", {{"width", 64}, {"height", 48}});
  ASSERT_EQ(Call("CreateDisplay", {1, Arg::global("plain")}), "");
  ASSERT_EQ(Call("OpenDisplay", {1}), "");
  const vkDisplay* d = Display(1);
  ASSERT_NE(d->os, nullptr);
  vmPushString(L, "h");
  vmNewTable(L);
  vmPushString(L, "ondropfile");
  vmPushCClosure(L, [](vkState*) { return 0; }, 0);
  vmSetTable(L, -3);
  vmPushString(L, "clipboardchange");
  vmPushCClosure(L, [](vkState*) { return 0; }, 0);
  vmSetTable(L, -3);
  vmSetTable(L, VK_GLOBALSINDEX);
  ASSERT_EQ(Call("InstallEventHandler", {Arg::global("h")}), "");
  EXPECT_EQ(d->os->dropFiles, 1u);
  EXPECT_EQ(d->os->watchClipboard, 1u);
}
