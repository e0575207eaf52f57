// Text objects as scripts use them: an object shows exactly what TextOut
// draws of the same text at the same place (styles, alignment, wrap,
// special positions), scaled objects agree with TextOut's scaled drawing,
// the life cycle (replace, copy, free, handles, argument errors), the
// attributes, and the layers' share: copy-before-modify gives the layers
// that show an object a deleted copy of their own, a freed object a layer
// shows stays until the layer lets it go, a locked object refuses changes.
#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "engine/vmapi.h"
#include "graphics/attributes.h"
#include "graphics/brushes.h"
#include "graphics/objecttypes.h"
#include "graphics/positions.h"
#include "layers/layers.h"
#include "support/textscene.h"
#include "text/textobjects.h"
#include "text/textstate.h"

namespace {

using namespace fonttest;
using vktest::Arg;

constexpr int kTextObject = vkObjectType::TEXTOBJECT;

// The one layer the tests pretend to have: the record it shows.
const void* gShown = nullptr;

bool ShownByFakeLayer(vkGraphicsState&, int32_t type, const void* record) {
  return type == vkObjectType::TEXTOBJECT && record == gShown && record != nullptr;
}
void RepointFakeLayer(vkGraphicsState&, int32_t type, const void* from, void* to) {
  if (type == vkObjectType::TEXTOBJECT && from == gShown) gShown = to;
}

class TextObjectTest : public TextScene {
 protected:
  void SetUp() override {
    TextScene::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    RegisterAttributeCommands(L);
    ASSERT_EQ(OpenBrushLibrary(L), 0);
    ASSERT_EQ(OpenTextObjectLibrary(L), 0);
    vmSetTop(L, 0);
    gShown = nullptr;
  }
  void TearDown() override {
    gShown = nullptr;
    TextScene::TearDown();
  }
  std::vector<uint32_t> Snapshot() const {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) out.push_back(Pixel(x, y));
    return out;
  }
  // The global table "opts" with number fields.
  void Options(std::initializer_list<std::pair<const char*, double>> fields) {
    vmPushString(L, "opts");
    vmNewTable(L);
    for (const auto& [name, value] : fields) {
      vmPushString(L, name);
      vmPushNumber(L, value);
      vmRawSet(L, -3);
    }
    vmRawSet(L, VK_GLOBALSINDEX);
  }
  vkTextObject* Find(int32_t number, uint32_t flags = 0) {
    vkTextObject* o = nullptr;
    return FindTextObject(L, vkObjectId{number, nullptr}, &o, flags) == 0 ? o : nullptr;
  }
  void FakeLayers() {
    vkBrushList& hooks = Brushes(GraphicsState(L));
    hooks.shownByLayer = ShownByFakeLayer;
    hooks.repointLayers = RepointFakeLayer;
  }
};

// What TextOut draws and what a text object of the same text shows at the
// same place are the same pixels.
TEST_F(TextObjectTest, ShowTheSamePixelsAsTextOut) {
  struct Case {
    const char* name;
    std::vector<vktest::CallCase> style;
    std::string text;
    int32_t x, y, align, wrap;
  };
  const std::vector<Case> cases = {
      {"builtin", {}, "Hello", 10, 5, kAlignLeft, 0},
      {"shadow reaches left and up", {{"SetFontStyle", {32, 0xFF0000, 3, 7}, ""}}, "Shade", 12, 9, kAlignLeft, 0},
      {"edge", {{"SetFontStyle", {64, 0x00FF00, 2}, ""}}, "Edge", 4, 4, kAlignLeft, 0},
      {"centred lines", {}, "one\nthree", kPosCenter, kPosCenter, kAlignCenter, 0},
      {"right aligned wrap", {}, "a bb ccc dddd", kPosRight, 2, kAlignRight, 40},
      {"tags", {}, "[b]bold[/b] [color=$FF00FF]pink[/color]", 2, 30, kAlignLeft, 0},
      {"antialiased TrueType",
       {{"SetFont", {":::default_sans", 18}, ""}, {"SetFontStyle", {16}, ""}, {"SetFontColor", {0xFFC080}, ""}},
       "Wave", 7, 3, kAlignLeft, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunCases(c.style);
    Clear();
    ASSERT_EQ(Call("TextOut", {c.x, c.y, c.text, c.align, c.wrap}), "");
    const std::vector<uint32_t> want = Snapshot();
    EXPECT_GT(CountDrawn(), 10);
    Clear();
    ASSERT_EQ(Call("CreateTextObject", {1, c.text, c.align, c.wrap}), "");
    ASSERT_EQ(Call("DisplayTextObject", {1, c.x, c.y}), "");
    EXPECT_EQ(Snapshot(), want);
    RunCases({{"SetFont", {":::default_bitmap", 8}, ""}, {"SetFontStyle", {1}, ""}, {"SetFontColor", {0xFFFFFF}, ""}});
  }
}

// The object's planes are those the layout functions make of its record.
TEST_F(TextObjectTest, HoldTheLayoutOfTheTextState) {
  RunCases({{"SetFontStyle", {32, 0x102030, 2, 5}, ""}, {"CreateTextObject", {3, "Lay out", kAlignLeft, 0}, ""}});
  vkTextObject* o = Find(3);
  ASSERT_NE(o, nullptr);
  vkTextLayout layout;
  layout.style = GetTextState(L).style;
  layout.text = "Lay out";
  vkTextPicture p;
  ASSERT_EQ(LayoutText(L, &layout, false, &p), 0u);
  EXPECT_EQ(o->width, p.width);
  EXPECT_EQ(o->height, p.height);
  EXPECT_EQ(o->offsetX, p.offsetX);
  EXPECT_EQ(o->offsetX, -2);  // the shadow reaches 2 pixels to the left (south-west)
  EXPECT_EQ(o->createdWidth, o->width);
  for (int32_t y = 0; y < p.height; y++)
    for (int32_t x = 0; x < p.width; x++) {
      ASSERT_EQ(ReadBitMapPixel(o->bitmap.get(), x, y), ReadBitMapPixel(p.bitmap.get(), x, y)) << x << "," << y;
      ASSERT_EQ(ReadBitMapPixel(o->mask.get(), x, y), ReadBitMapPixel(p.mask.get(), x, y)) << x << "," << y;
    }
}

TEST_F(TextObjectTest, LifeCycleAndArguments) {
  RunCases({
      {"CreateTextObject", {1, "first"}, ""},
      {"GetAttribute", {kTextObject, 1, int(ATTRWIDTH)}, "40"},
      {"CreateTextObject", {1, "replaced"}, ""},  // the same number replaces
      {"GetAttribute", {kTextObject, 1, int(ATTRWIDTH)}, "64"},
      {"GetAttribute", {kTextObject, 1, int(ATTRTEXT)}, "\"replaced\""},
      {"GetAttribute", {kTextObject, 0, int(ATTRCOUNT)}, "1"},
      {"CopyTextObject", {1, 1}, "error 1055"},
      {"CopyTextObject", {1, 2}, ""},
      {"CopyTextObject", {7, 3}, "error 1175"},
      {"FreeTextObject", {1}, ""},
      {"FreeTextObject", {1}, "error 1175"},
      {"GetAttribute", {kTextObject, 2, int(ATTRTEXT)}, "\"replaced\""},
      {"GetAttribute", {kTextObject, 2, int(ATTRFONTSIZE)}, "8"},
      {"GetAttribute", {kTextObject, 2, int(ATTRFONTASCENDER)}, "6"},
      {"GetAttribute", {kTextObject, 2, int(ATTRHASMASK)}, "error 1080"},
      {"CreateTextObject", {4, "x", kAlignLeft, -1}, "error 1055"},
      {"CreateTextObject", {4, "x", kAlignLeft, 0, 2}, "error 1055"},
      {"CreateTextObject", {4, "[b"}, "error 1108"},  // the layout's own errors
      {"GetAttribute", {kTextObject, 4, int(ATTRWIDTH)}, "error 1175"},
      {"DisplayTextObject", {4, 0, 0}, "error 1175"},
      {"CreateTextObject", {nullptr, "auto"}, "handle"},
      {"GetAttribute", {kTextObject, 0, int(ATTRCOUNT)}, "2"},
  });
  EXPECT_EQ(Call("GetAttribute", {kTextObject, 1, int(ATTRTEXT)}), "error 1175");
  EXPECT_EQ(ErrorInfo().errorNumber, 1);  // for "Could not find text object %ld!"
}

// An empty text is one blank; aligned, the blank is trimmed away and the
// object is one pixel wide with nothing in its mask.
TEST_F(TextObjectTest, EmptyTexts) {
  RunCases({
      {"CreateTextObject", {1, ""}, ""},
      {"GetAttribute", {kTextObject, 1, int(ATTRWIDTH)}, "8"},
      {"CreateTextObject", {2, "", kAlignCenter}, ""},
      {"GetAttribute", {kTextObject, 2, int(ATTRWIDTH)}, "1"},
      {"GetAttribute", {kTextObject, 2, int(ATTRHEIGHT)}, "8"},
      {"DisplayTextObject", {2, 5, 5}, ""},
  });
  EXPECT_EQ(CountDrawn(), 0);
}

TEST_F(TextObjectTest, ScaleAndRotateLayTheTextOutAgain) {
  // The built-in font is not scalable: it is drawn and its picture stretched.
  ASSERT_EQ(Call("CreateTextObject", {1, "Scale"}), "");
  const int32_t w = Find(1)->width, h = Find(1)->height;
  auto size = [&]() { return Call("GetAttribute", {kTextObject, 1, int(ATTRWIDTH)}) + " x " +
                             Call("GetAttribute", {kTextObject, 1, int(ATTRHEIGHT)}); };
  auto dims = [](int32_t a, int32_t b) { return std::to_string(a) + " x " + std::to_string(b); };
  struct Case {
    const char* command;
    std::vector<Arg> args;
    std::string outcome, size;
  };
  const std::vector<Case> cases = {
      {"ScaleTextObject", {1, "200%", KEEPASPRAT}, "", dims(2 * w, 2 * h)},
      {"ScaleTextObject", {1, 20, "50%"}, "", dims(20, h / 2)},  // of the created size, not the current one
      {"ScaleTextObject", {1, 0, 8}, "error 1218", dims(20, h / 2)},  // a failed call changes nothing
      {"ScaleTextObject", {1, KEEPASPRAT, KEEPASPRAT}, "error 1055", dims(20, h / 2)},
      {"ScaleTextObject", {1, w, h}, "", dims(w, h)},
      {"RotateTextObject", {1, 90}, "", dims(h, w)},
      {"RotateTextObject", {1, 450}, "", dims(h, w)},  // a whole turn more is the same
      {"ScaleTextObject", {1, 2 * w, 2 * h}, "", dims(2 * h, 2 * w)},  // scaling keeps the rotation
      {"RotateTextObject", {1, 0}, "", dims(2 * w, 2 * h)},  // and rotating the scale
      {"ScaleTextObject", {9, 10, 10}, "error 1175", dims(2 * w, 2 * h)},
      {"RotateTextObject", {9, 10}, "error 1175", dims(2 * w, 2 * h)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.size);
    EXPECT_EQ(Call(c.command, c.args), c.outcome);
    EXPECT_EQ(size(), c.size);
  }
}

// A scalable font draws a scaled object at the new size itself: the same
// pixels as TextOut scaled by its options; DisplayTextObject's options scale
// the object's picture as they scale a brush.
TEST_F(TextObjectTest, ScaledTrueTypeAgreesWithScaledTextOut) {
  RunCases({{"SetFont", {":::default_sans", 12}, ""}, {"SetFontStyle", {16}, ""}});
  Options({{"scalex", 2}, {"scaley", 2}});
  Clear();
  ASSERT_EQ(Call("TextOut", {3, 2, "Big", Arg::global("opts")}), "");
  const std::vector<uint32_t> want = Snapshot();
  Clear();
  ASSERT_EQ(Call("CreateTextObject", {1, "Big"}), "");
  const vkTextObject* o = Find(1);
  ASSERT_NE(o, nullptr);
  const int32_t w = o->width, h = o->height;
  ASSERT_EQ(Call("ScaleTextObject", {1, 2 * w, 2 * h}), "");
  ASSERT_EQ(Call("DisplayTextObject", {1, 3, 2}), "");
  EXPECT_EQ(Snapshot(), want);
  EXPECT_GT(CountDrawn(), 50);

  // Options on the display: the picture at twice its size, placed as given.
  RunCases({{"SetFont", {":::default_bitmap", 8}, ""}, {"CreateTextObject", {2, "ab"}, ""}});
  Options({{"scalex", 2}, {"scaley", 2}});
  Clear();
  ASSERT_EQ(Call("DisplayTextObject", {2, 0, 0, Arg::global("opts")}), "");
  int right = 0, bottom = 0;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++)
      if (Pixel(x, y) != kBackground) right = std::max(right, x), bottom = std::max(bottom, y);
  EXPECT_GT(right, 16);
  EXPECT_LT(right, 32);
  EXPECT_GT(bottom, 8);
  EXPECT_LT(bottom, 16);
}

// A change to an object a layer shows gives the layer a copy of its own;
// the script's object changes, the layer's keeps the old picture.
TEST_F(TextObjectTest, CopyBeforeModifyAndOrphans) {
  FakeLayers();
  RunCases({{"CreateTextObject", {1, "shown"}, ""}});
  vkTextObject* script = Find(1);
  ASSERT_NE(script, nullptr);
  gShown = script;
  ASSERT_EQ(Call("ScaleTextObject", {1, 80, 16}), "");
  ASSERT_NE(gShown, script);
  const auto* layers = static_cast<const vkTextObject*>(gShown);
  EXPECT_TRUE(layers->deleted);
  EXPECT_EQ(layers->width, 40);      // the layer keeps the picture it showed
  EXPECT_EQ(Find(1)->width, 80);     // the script's object changed
  EXPECT_EQ(Call("GetAttribute", {kTextObject, 0, int(ATTRCOUNT)}), "1");
  // The copy is reachable by its handle only when deleted objects are asked for.
  vkTextObject* found = nullptr;
  EXPECT_EQ(FindTextObject(L, layers->id, &found, 0), kErrObjectNotFound);
  EXPECT_EQ(FindTextObject(L, layers->id, &found, kTextObjectFindDeleted), 0);
  EXPECT_EQ(found, layers);
  PurgeDeletedTextObjects(L);  // still shown: kept
  EXPECT_EQ(TextObjects(L).objects.size(), 2u);
  gShown = nullptr;  // the layer went
  PurgeDeletedTextObjects(L);
  EXPECT_EQ(TextObjects(L).objects.size(), 1u);

  // Freed while shown: the object stays for the layer, the number is free.
  gShown = Find(1);
  RunCases({
      {"FreeTextObject", {1}, ""},
      {"DisplayTextObject", {1, 0, 0}, "error 1175"},
      {"GetAttribute", {kTextObject, 0, int(ATTRCOUNT)}, "0"},
      {"CreateTextObject", {1, "new"}, ""},
  });
  EXPECT_EQ(TextObjects(L).objects.size(), 2u);
  EXPECT_TRUE(static_cast<const vkTextObject*>(gShown)->deleted);
  EXPECT_EQ(static_cast<const vkTextObject*>(gShown)->layout.text, "shown");
  // Replacing an object a layer shows keeps the layer's too.
  gShown = Find(1);
  RunCases({{"CreateTextObject", {1, "newer"}, ""}});
  EXPECT_EQ(static_cast<const vkTextObject*>(gShown)->layout.text, "new");
  EXPECT_EQ(TextObjects(L).objects.size(), 3u);
  gShown = nullptr;
  PurgeDeletedTextObjects(L);
  EXPECT_EQ(TextObjects(L).objects.size(), 1u);
}

TEST_F(TextObjectTest, LockedObjectsRefuseChangesAndFreeing) {
  RunCases({{"CreateTextObject", {1, "locked"}, ""}});
  Find(1)->lockCount = 1;
  RunCases({
      {"ScaleTextObject", {1, 10, 10}, "error 1314"},
      {"RotateTextObject", {1, 10}, "error 1314"},
      {"FreeTextObject", {1}, "error 1314"},
      {"CreateTextObject", {1, "again"}, "error 1314"},
      {"DisplayTextObject", {1, 0, 0}, ""},  // showing is no change
      {"CopyTextObject", {1, 2}, ""},
  });
  Find(1)->lockCount = 0;
  RunCases({{"FreeTextObject", {1}, ""}});
}

TEST_F(TextObjectTest, ConvertToBrushCopiesThePicture) {
  RunCases({
      {"SetFontStyle", {32, 0x808080, 2}, ""},
      {"CreateTextObject", {1, "brush"}, ""},
      {"ConvertToBrush", {kTextObject, 1, 5}, ""},
      {"ConvertToBrush", {kTextObject, 9, 6}, "error 1175"},
      {"ConvertToBrush", {kTextObject, 1, 6, 2}, "error 1094"},
  });
  const vkTextObject* o = Find(1);
  vkBrush* b = nullptr;
  ASSERT_EQ(FindBrush(GraphicsState(L), vkObjectId{5, nullptr}, &b, 0), 0);
  ASSERT_EQ(b->width, o->width);
  ASSERT_EQ(b->height, o->height);
  ASSERT_TRUE(b->mask != nullptr);
  int set = 0;
  for (int32_t y = 0; y < o->height; y++)
    for (int32_t x = 0; x < o->width; x++) {
      ASSERT_EQ(ReadBitMapPixel(b->bitmap.get(), x, y), ReadBitMapPixel(o->bitmap.get(), x, y));
      ASSERT_EQ(ReadBitMapPixel(b->mask.get(), x, y), ReadBitMapPixel(o->mask.get(), x, y));
      set += ReadBitMapPixel(o->mask.get(), x, y) != 0;
    }
  EXPECT_GT(set, 20);
}

TEST_F(TextObjectTest, ShutdownFreesObjectsThenFonts) {
  RunCases({{"CreateTextObject", {1, "a"}, ""}, {"CreateTextObject", {nullptr, "b"}, "handle"}});
  EXPECT_EQ(TextObjects(L).objects.size(), 2u);
  EXPECT_EQ(FreeAllTextObjectsAndFonts(L), 0);
  EXPECT_TRUE(TextObjects(L).objects.empty());
}

}  // namespace

namespace {

// With layers on an object shown becomes a layer, and the picture composed
// from it is what the same object drawn with layers off leaves.
TEST_F(TextObjectTest, AsLayersTheyShowWhatTheyDrawWithLayersOff) {
  vmPushValue(L, VK_GLOBALSINDEX);
  ASSERT_EQ(OpenLayersLibrary(L), 0);
  vmSetTop(L, 0);
  Options({{"scalex", 2}, {"scaley", 3}});
  struct Case {
    const char* name;
    std::vector<vktest::CallCase> make;
    int32_t x, y;
    bool options;
  };
  const std::vector<Case> cases = {
      {"plain", {{"CreateTextObject", {1, "Layer"}, ""}}, 10, 5, false},
      {"shadow", {{"SetFontStyle", {32, 0xFF0000, 3, 7}, ""}, {"CreateTextObject", {1, "Shade"}, ""}}, 20, 20, false},
      {"rotated", {{"CreateTextObject", {1, "Up"}, ""}, {"RotateTextObject", {1, 90}, ""}}, 100, 4, false},
      {"scaled TrueType",
       {{"SetFont", {":::default_sans", 12}, ""}, {"SetFontStyle", {16}, ""}, {"CreateTextObject", {1, "Big"}, ""},
        {"ScaleTextObject", {1, "150%", KEEPASPRAT}, ""}},
       kPosCenter, kPosCenter, false},
      {"options scale the picture", {{"CreateTextObject", {1, "ab"}, ""}}, 30, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunCases({{"SetFont", {":::default_bitmap", 8}, ""}, {"SetFontStyle", {1}, ""}});
    RunCases(c.make);
    std::vector<Arg> args = {1, c.x, c.y};
    if (c.options) args.push_back(Arg::global("opts"));
    Clear();
    ASSERT_EQ(Call("DisplayTextObject", args), "");
    const std::vector<uint32_t> want = Snapshot();
    EXPECT_GT(CountDrawn(), 10);
    Clear();
    ASSERT_EQ(Call("EnableLayers", {}), "");
    ASSERT_EQ(Call("DisplayTextObject", args), "");
    EXPECT_EQ(CountDrawn(), 0);  // the background stays as it was
    ASSERT_EQ(CountLayers(&picture), 1);
    EXPECT_EQ(GetNthLayer(&picture, 1)->type, kTextObject);
    std::vector<uint32_t> shown;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) shown.push_back(ReadBitMapPixel(screen.get(), x, y) & 0xFFFFFF);
    EXPECT_EQ(shown, want);
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisableLayers", {}), "");
  }
  // A hidden object is a layer that shows nothing, neither in the window nor
  // drawn into the picture beneath.
  RunCases({{"SetFont", {":::default_bitmap", 8}, ""}, {"SetFontStyle", {1}, ""}, {"EnableLayers", {}, ""},
            {"CreateTextObject", {1, "hidden"}, ""}});
  Options({{"hidden", 1}});
  Clear();
  ASSERT_EQ(Call("DisplayTextObject", {1, 5, 5, Arg::global("opts")}), "");
  ASSERT_EQ(CountLayers(&picture), 1);
  int inked = 0;
  for (int32_t y = 0; y < kHeight; y++)
    for (int32_t x = 0; x < kWidth; x++) inked += (ReadBitMapPixel(screen.get(), x, y) & 0xFFFFFF) != kBackground;
  EXPECT_EQ(inked, 0);
  EXPECT_EQ(CountDrawn(), 0);
  // The picture is the fixture's: its layers go before it does.
  ASSERT_EQ(Call("FreeLayers", {}), "");
  ASSERT_EQ(Call("DisableLayers", {}), "");
}

}  // namespace
