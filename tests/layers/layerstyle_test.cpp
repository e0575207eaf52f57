// Layer styles: a table of (layer type, key, value) against what
// GetLayerStyle reports afterwards or the error SetLayerStyle gives; the
// window after each change against the reference compositor and against
// the same object drawn fresh in the new style; no ghosts when a layer
// shrinks or moves; earlier pairs shown when a later pair fails; a group
// restyled member by member while "z" reorders it; a table read back and
// applied again changes no pixel; and the thin wrappers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "base/errorcodes.h"
#include "engine/vmapi.h"
#include "graphics/clipregions.h"
#include "graphics/drawlib.h"
#include "graphics/shapes.h"
#include "graphics/positions.h"
#include "layers/animlib.h"
#include "layers/anims.h"
#include "layers/layers.h"
#include "layers/movequeues.h"
#include "layers/layerstyle.h"
#include "layers/textlayers.h"
#include "support/layertest.h"
#include "text/fonts.h"
#include "text/textlib.h"
#include "text/textobjects.h"

namespace {

using gfxtest::Pixels;
using layertest::LayerTest;
using layertest::Shape;
using vktest::Arg;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

// A field of a table a test gives: a number, a string, or a list at 0...
using Value = std::variant<double, std::string, std::vector<double>>;
struct Field {
  const char* key;
  Value value;
};
using Fields = std::vector<Field>;

// What a table read back holds: every key's value as text.
using Report = std::map<std::string, std::string>;

class LayerStyleTest : public LayerTest {
 protected:
  // Makes the global [name] a table of [fields].
  void SetTable(const char* name, const Fields& fields) {
    vmPushString(L, name);
    vmNewTable(L);
    for (const Field& f : fields) {
      vmPushString(L, f.key);
      if (const double* d = std::get_if<double>(&f.value)) {
        vmPushNumber(L, *d);
      } else if (const std::string* s = std::get_if<std::string>(&f.value)) {
        vmPushString(L, s->c_str());
      } else {
        vmNewTable(L);
        const std::vector<double>& list = std::get<std::vector<double>>(f.value);
        for (size_t i = 0; i < list.size(); i++) {
          vmPushNumber(L, list[i]);
          vmRawSetI(L, -2, int(i));
        }
      }
      vmSetTable(L, -3);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }

  // SetLayerStyle of one layer and one table.
  std::string Restyle(Arg layer, const Fields& fields) {
    SetTable("style", fields);
    return Call("SetLayerStyle", {layer, Arg::global("style")});
  }

  static std::string Describe(vkState* L, int i) {
    char buf[64];
    switch (vmType(L, i)) {
      case VK_TNUMBER: std::snprintf(buf, sizeof buf, "%.14g", vmToNumber(L, i)); return buf;
      case VK_TSTRING: return std::string("\"") + vmToString(L, i) + "\"";
      case VK_TTABLE: {
        std::string out = "{";
        for (int k = 0;; k++) {
          vmRawGetI(L, i, k);
          if (vmType(L, -1) == VK_TNIL) {
            vmSetTop(L, -2);
            break;
          }
          if (k) out += ", ";
          out += Describe(L, vmGetTop(L));
          vmSetTop(L, -2);
        }
        return out + "}";
      }
      case VK_TLIGHTUSERDATA: return "handle";
      default: return "?";
    }
  }

  // GetLayerStyle of [layer], every key as text; "error N" under the key "error".
  Report Get(Arg layer, const char* keep = nullptr) {
    const std::string outcome = Call("GetLayerStyle", {layer});
    if (outcome.rfind("error", 0) == 0) return {{"error", outcome}};
    Report out;
    const int t = vmGetTop(L);
    vmPushNil(L);
    while (vmNext(L, t)) {
      out[vmToString(L, -2)] = Describe(L, vmGetTop(L));
      vmSetTop(L, -2);
    }
    if (keep) {
      vmPushString(L, keep);
      vmPushValue(L, t);
      vmSetTable(L, VK_GLOBALSINDEX);
    }
    return out;
  }

  // A fresh picture: brush 1 (8 x 6, masked pattern) shown at (3, 4), and
  // brush 2 (solid) below it at (0, 0).
  void ShowTwo() {
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(Call("DisplayBrush", {1, 3, 4}), "");
  }

  void SetUp() override {
    LayerTest::SetUp();
    MakePatterned(1, 8, 6, Shape::Mask);
    MakeSolid(2, 10, 10, 0x30C060);
    MakePatterned(3, 5, 7, Shape::Alpha);
  }
};

// ---- The key table over the bitmap types ----

struct Row {
  const char* what;
  Fields fields;
  Report expect;  // keys of layer 2's table afterwards, or {"error", "error N"}
};

TEST_F(LayerStyleTest, BrushKeysReportWhatWasSetOrTheirError) {
  const std::vector<Row> rows = {
      {"transparency clamped up", {{"transparency", 300.0}}, {{"transparency", "255"}}},
      {"transparency clamped down", {{"transparency", -5.0}}, {{"transparency", "0"}}},
      {"tint and colour", {{"tint", 120.0}, {"tintcolor", double(0xFF0000)}},
       {{"tint", "120"}, {"tintcolor", "16711680"}}},
      {"hidden", {{"hidden", 1.0}}, {{"hidden", "1"}}},
      {"anchors", {{"anchorx", 0.5}, {"anchory", 1.0}}, {{"anchorx", "0.5"}, {"anchory", "1"}, {"x", "3"}}},
      {"anchor above 1", {{"anchorx", 1.5}}, {{"error", "error 1055"}}},
      {"anchor below 0", {{"anchory", -0.25}}, {{"error", "error 1055"}}},
      {"anchor not finite", {{"anchorx", kNaN}}, {{"error", "error 1055"}}},
      {"position", {{"x", 7.0}, {"y", -2.0}}, {{"x", "7"}, {"y", "-2"}}},
      {"100000 keeps", {{"x", 100000.0}, {"y", 9.0}}, {{"x", "3"}, {"y", "9"}}},
      {"translation wins", {{"x", 20.0}, {"translatex", 2.0}, {"translatey", -1.0}}, {{"x", "5"}, {"y", "3"}}},
      {"centred", {{"x", double(kPosCenter)}}, {{"x", "8"}}},
      {"position not finite", {{"y", kInf}}, {{"error", "error 1055"}}},
      {"rotation modulo 360", {{"rotate", 450.0}}, {{"rotate", "90"}}},
      {"scales", {{"scalex", 2.0}, {"scaley", 0.5}}, {{"scalex", "2"}, {"scaley", "0.5"}}},
      {"scale 0", {{"scalex", 0.0}}, {{"error", "error 1218"}}},
      {"scale not finite", {{"scaley", kInf}}, {{"error", "error 1218"}}},
      {"size", {{"width", 16.0}, {"height", 3.0}}, {{"width", "16"}, {"height", "3"}}},
      {"size as a percentage", {{"width", std::string("50%")}}, {{"width", "4"}, {"height", "6"}}},
      {"negative size", {{"height", -1.0}}, {{"error", "error 1218"}}},
      {"explicit matrix resets the rest",
       {{"rotate", 30.0}, {"scalex", 3.0}, {"transform", std::vector<double>{2, 0, 0, 1}}},
       {{"transform", "{2, 0, 0, 1}"}, {"rotate", "0"}, {"scalex", "1"}, {"width", "8"}}},
      {"matrix with a 0 factor", {{"transform", std::vector<double>{0, 1, 1, 1}}}, {{"error", "error 1055"}}},
      {"matrix not finite", {{"transform", std::vector<double>{1, kNaN, 0, 1}}}, {{"error", "error 1055"}}},
      {"z to the bottom", {{"z", 1.0}}, {{"x", "0"}}},  // layer 2 is now the other brush
      {"smoothing", {{"smoothscale", 1.0}}, {{"smoothscale", "1"}}},
      {"unknown clip region", {{"clipregion", 77.0}}, {{"error", "error 1215"}}},
      {"keys of other types are not read", {{"frame", 9.0}, {"text", std::string("x")}, {"sizex", -4.0}},
       {{"x", "3"}}},
      {"a non-number", {{"transparency", std::string("much")}}, {{"error", "error 1189"}}},
      {"an unknown type", {{"type", 5.0}}, {{"error", "error 1055"}}},
      {"to an anim without id", {{"type", double(vkObjectType::ANIM)}}, {{"error", "error 1014"}}},
      {"to a picture part without id", {{"type", double(vkObjectType::BGPICPART)}}, {{"error", "error 1014"}}},
      {"to a text without text", {{"type", double(vkObjectType::TEXTOUT)}, {"fontsize", 20.0}},
       {{"error", "error 1014"}}},
      {"to a box without height", {{"type", double(vkObjectType::BOX)}, {"sizex", 5.0}}, {{"error", "error 1014"}}},
      {"to a circle without radius", {{"type", double(vkObjectType::CIRCLE)}}, {{"error", "error 1014"}}},
      {"to an arc without angles", {{"type", double(vkObjectType::ARC)}, {"radiusa", 3.0}, {"radiusb", 2.0}},
       {{"error", "error 1014"}}},
      {"to a polygon without vertices", {{"type", double(vkObjectType::POLYGON)}}, {{"error", "error 1014"}}},
      {"to a line without its end", {{"type", double(vkObjectType::LINE)}, {"x1", 1.0}, {"y1", 1.0}, {"x2", 5.0}},
       {{"error", "error 1014"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ShowTwo();
    const std::string outcome = Restyle(2, row.fields);
    const auto error = row.expect.find("error");
    if (error != row.expect.end()) {
      EXPECT_EQ(outcome, error->second);
      EXPECT_EQ(Get(2)["transparency"], "0");  // nothing applied
      continue;
    }
    ASSERT_EQ(outcome, "");
    Report got = Get(2);
    for (const auto& [key, value] : row.expect) EXPECT_EQ(got[key], value) << key;
    ExpectScreenIsReference();
  }
}

TEST_F(LayerStyleTest, EveryTypeReportsTheCommonKeys) {
  ShowTwo();
  Report got = Get(2);
  const Report common = {
      {"type", "3"},          {"id", "1"},          {"x", "3"},           {"y", "4"},
      {"width", "8"},         {"height", "6"},      {"rotate", "0"},      {"scalex", "1"},
      {"scaley", "1"},        {"anchorx", "0"},     {"anchory", "0"},     {"smoothscale", "0"},
      {"transform", "{1, 0, 0, 1}"}, {"transparency", "0"}, {"tint", "0"}, {"tintcolor", "0"},
      {"hidden", "0"},        {"clipregion", "-1"}, {"group", "\"\""},    {"name", "\"\""},
      {"partx", "0"},         {"party", "0"},       {"partwidth", "8"},   {"partheight", "6"},
  };
  for (const auto& [key, value] : common) EXPECT_EQ(got[key], value) << key;
  EXPECT_EQ(got.count("frame"), 0u);
  EXPECT_EQ(got.count("translatex"), 0u);  // set-only keys are not reported
  EXPECT_EQ(Get(3)["error"], "error 1081");
  EXPECT_EQ(Get("nosuch")["error"], "error 1369");
}

// ---- The window equals the object drawn fresh in the new style ----

TEST_F(LayerStyleTest, RestyledLayerLooksLikeTheBrushDrawnInThatStyle) {
  struct Case {
    const char* what;
    Fields fields;
  } cases[] = {
      {"rotated", {{"rotate", 30.0}}},
      {"scaled, anchored", {{"scalex", 2.0}, {"scaley", 1.5}, {"anchorx", 0.5}, {"anchory", 0.5}}},
      {"sized", {{"width", 12.0}, {"height", 4.0}}},
      {"matrix", {{"transform", std::vector<double>{1, 0.5, 0, 1}}}},
      {"tinted, see-through", {{"tint", 90.0}, {"tintcolor", double(0x0000FF)}, {"transparency", 70.0}}},
      {"rotated, anchored, moved", {{"rotate", 200.0}, {"anchorx", 1.0}, {"x", 12.0}, {"y", 9.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShowTwo();
    ASSERT_EQ(Restyle(2, c.fields), "");
    ExpectScreenIsReference();
    const Pixels restyled = Read(display.screenBuffer);
    // The same brush drawn anew with the style as display options, at the position the style has.
    Fields options = c.fields;
    double x = 3, y = 4;
    for (auto it = options.begin(); it != options.end();) {
      if (std::string(it->key) == "x") x = std::get<double>(it->value), it = options.erase(it);
      else if (std::string(it->key) == "y") y = std::get<double>(it->value), it = options.erase(it);
      else ++it;
    }
    ASSERT_EQ(Call("FreeLayers", {}), "");
    SetTable("options", options);
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(Call("DisplayBrush", {1, x, y, Arg::global("options")}), "");
    EXPECT_EQ(Read(display.screenBuffer), restyled);
  }
}

// ---- Content keys: the layer drawn anew ----

TEST_F(LayerStyleTest, ContentKeysDrawTheLayerAnewAsTheObjectWouldBe) {
  struct Case {
    const char* what;
    Fields fields;
    Report expect;
    std::vector<Arg> fresh;  // the display command that draws the same, or none for an error
    const char* command;
  } cases[] = {
      {"another brush", {{"id", 3.0}}, {{"id", "3"}, {"width", "5"}, {"height", "7"}, {"type", "3"}},
       {3, 3, 4}, "DisplayBrush"},
      {"a part", {{"partx", 2.0}, {"party", 1.0}, {"partwidth", 4.0}, {"partheight", 3.0}},
       {{"type", "12"}, {"partx", "2"}, {"party", "1"}, {"partwidth", "4"}, {"partheight", "3"}},
       {1, 2, 1, 3, 4, 4, 3}, "DisplayBrushPart"},
      {"a part moved", {{"partwidth", 5.0}, {"x", 11.0}}, {{"type", "12"}, {"x", "11"}, {"partwidth", "5"}},
       {1, 0, 0, 11, 4, 5, 6}, "DisplayBrushPart"},
      {"another brush rotated", {{"id", 3.0}, {"rotate", 90.0}}, {{"id", "3"}, {"rotate", "90"}}, {}, nullptr},
      {"a part of 0 pixels", {{"partheight", 0.0}}, {{"error", "error 1218"}}, {}, nullptr},
      {"a part left of its brush", {{"partx", -1.0}}, {{"error", "error 1154"}}, {}, nullptr},
      {"an unknown brush", {{"id", 42.0}}, {{"error", "error 1174"}}, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShowTwo();
    const std::string outcome = Restyle(2, c.fields);
    const auto error = c.expect.find("error");
    if (error != c.expect.end()) {
      EXPECT_EQ(outcome, error->second);
      EXPECT_EQ(Get(2)["id"], "1");
      EXPECT_EQ(CountLayers(&picture), 2);
      ExpectScreenIsReference();
      continue;
    }
    ASSERT_EQ(outcome, "");
    EXPECT_EQ(CountLayers(&picture), 2);
    Report got = Get(2);
    for (const auto& [key, value] : c.expect) EXPECT_EQ(got[key], value) << key;
    ExpectScreenIsReference();
    if (!c.command) continue;
    const Pixels restyled = Read(display.screenBuffer);
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(Call(c.command, c.fresh), "");
    EXPECT_EQ(Read(display.screenBuffer), restyled);
  }
}

TEST_F(LayerStyleTest, ANewObjectKeepsTheLayersNameLookAndPlace) {
  ShowTwo();
  ASSERT_EQ(Call("SetLayerName", {2, "top"}), "");
  ASSERT_EQ(Restyle(2, {{"transparency", 60.0}, {"tint", 30.0}, {"tintcolor", double(0xFF0000)}}), "");
  ASSERT_EQ(Call("SwapLayers", {1, 2}), "");
  // Brush 3 is smaller: what brush 2 showed beyond it must go.
  ASSERT_EQ(Restyle("top", {{"id", 3.0}}), "");
  const Report got = Get(1);
  EXPECT_EQ(got.at("name"), "\"top\"");
  EXPECT_EQ(got.at("transparency"), "60");
  EXPECT_EQ(got.at("tint"), "30");
  EXPECT_EQ(got.at("id"), "3");
  EXPECT_EQ(Get(2)["id"], "2");
  ExpectScreenIsReference();
}

// ---- Anim layers ----

class AnimStyleTest : public LayerStyleTest {
 protected:
  void SetUp() override {
    LayerStyleTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenAnimLibrary(L), 0);
    ASSERT_EQ(OpenMoveQueueCommands(L), 0);
    vmSetTop(L, 0);
    // Anim 1: three frames of 4 x 3, each its own pattern.
    MakePatterned(90, 12, 3, Shape::Mask);
    ASSERT_EQ(Call("CreateAnim", {1, 90, 4, 3, 3, 3}), "");
  }
  void TearDown() override {
    FreeAllAnims(L);
    LayerStyleTest::TearDown();
  }
  // Anim 1 at (5, 6), frame [frame], over brush 2.
  void ShowAnim(int frame) {
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(Call("DisplayAnimFrame", {1, 5, 6, frame}), "");
  }
};

TEST_F(AnimStyleTest, FrameKeysCountAroundTheAnim) {
  struct Case {
    int shown;
    double frame;
    const char* outcome;
    int expect;  // the frame shown afterwards
  } cases[] = {
      {1, 2, "", 2},  {1, 3, "", 3},  {3, 0, "", 1},  {1, 0, "", 2},  {2, -1, "", 3},
      {1, 4, "error 1094", 1}, {2, -2, "error 1094", 2}, {1, kInf, "error 1094", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.shown) + " -> " + std::to_string(c.frame));
    ShowAnim(c.shown);
    EXPECT_EQ(Get(2)["frame"], std::to_string(c.shown));
    EXPECT_EQ(Restyle(2, {{"frame", c.frame}}), c.outcome);
    EXPECT_EQ(Get(2)["frame"], std::to_string(c.expect));
    EXPECT_EQ(Get(2)["type"], "4");
    ExpectScreenIsReference();
    // The window shows what DisplayAnimFrame of that frame shows.
    const Pixels restyled = Read(display.screenBuffer);
    ShowAnim(c.expect);
    EXPECT_EQ(Read(display.screenBuffer), restyled);
  }
}

TEST_F(AnimStyleTest, ABrushLayerBecomesAnAnimLayerWithAnId) {
  ShowTwo();
  EXPECT_EQ(Restyle(2, {{"type", 4.0}}), "error 1014");
  ASSERT_EQ(Restyle(2, {{"type", 4.0}, {"id", 1.0}, {"frame", 2.0}}), "");
  const Report got = Get(2);
  EXPECT_EQ(got.at("type"), "4");
  EXPECT_EQ(got.at("frame"), "2");
  EXPECT_EQ(got.count("partx"), 0u);
  ExpectScreenIsReference();
  const Pixels restyled = Read(display.screenBuffer);
  ASSERT_EQ(Call("FreeLayers", {}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
  ASSERT_EQ(Call("DisplayAnimFrame", {1, 3, 4, 2}), "");
  EXPECT_EQ(Read(display.screenBuffer), restyled);
}

TEST_F(AnimStyleTest, MoveQueuesChangeFramesInPlaceAndCheckInsertedFrames) {
  constexpr int kNextFrame2 = 34;
  ShowAnim(1);
  ASSERT_EQ(Call("AddMove", {7, kNextFrame2, 2, 9, 2, 3}), "");
  ASSERT_EQ(Call("DoMove", {7}), "");
  Report got = Get(2);
  EXPECT_EQ(got["frame"], "3");
  EXPECT_EQ(got["x"], "9");
  ExpectScreenIsReference();
  // Frame 0 takes the next one, after the last the first.
  ASSERT_EQ(Call("AddMove", {8, kNextFrame2, 2, 9, 2, 0}), "");
  ASSERT_EQ(Call("DoMove", {8}), "");
  EXPECT_EQ(Get(2)["frame"], "1");
  ExpectScreenIsReference();
  ASSERT_EQ(Call("AddMove", {9, kNextFrame2, 2, 9, 2, 5}), "");
  EXPECT_EQ(Call("DoMove", {9}), "error 1094");
  // An anim shown by a queue: its frame must be one of the anim's.
  ASSERT_EQ(Call("AddMove", {10, vkObjectType::ANIM, 1, 0, 0, 4}), "");
  EXPECT_EQ(Call("DoMove", {10}), "error 1094");
}

// ---- Text object layers ----

class TextObjectStyleTest : public LayerStyleTest {
 protected:
  void SetUp() override {
    LayerStyleTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenTextLibrary(L), 0);
    ASSERT_EQ(OpenTextObjectLibrary(L), 0);
    vmSetTop(L, 0);
    RegisterTextLayers(L);
    RunCases({
        {"SetFontColor", {0xFFFFFF}, ""},
        {"CreateTextObject", {1, "Hi"}, ""},
        {"SetFontColor", {0xFF8000}, ""},
        {"CreateTextObject", {2, "wide!"}, ""},
    });
  }
  void ShowObject(int id, double x, double y, const Fields& options = {}) {
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    SetTable("options", options);
    ASSERT_EQ(Call("DisplayTextObject", {id, x, y, Arg::global("options")}), "");
  }
};

TEST_F(TextObjectStyleTest, ATextObjectLayerShowsAnotherObjectOrTheSameTransformed) {
  struct Case {
    const char* what;
    Fields fields;
    int shows;
    Fields options;  // of the fresh DisplayTextObject
    double x, y;
  } cases[] = {
      {"another object", {{"id", 2.0}}, 2, {}, 2, 3},
      {"another object, moved", {{"id", 2.0}, {"x", 6.0}, {"y", 8.0}}, 2, {}, 6, 8},
      {"rotated", {{"rotate", 90.0}}, 1, {{"rotate", 90.0}}, 2, 3},
      {"another object, rotated", {{"id", 2.0}, {"rotate", 30.0}}, 2, {{"rotate", 30.0}}, 2, 3},
      {"scaled about its centre", {{"scalex", 2.0}, {"anchorx", 0.5}, {"anchory", 0.5}}, 1,
       {{"scalex", 2.0}, {"anchorx", 0.5}, {"anchory", 0.5}}, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShowObject(1, 2, 3);
    EXPECT_EQ(Get(2)["id"], "1");
    EXPECT_EQ(Get(2)["type"], std::to_string(vkObjectType::TEXTOBJECT));
    ASSERT_EQ(Restyle(2, c.fields), "");
    EXPECT_EQ(Get(2)["id"], std::to_string(c.shows));
    ExpectScreenIsReference();
    const Pixels restyled = Read(display.screenBuffer);
    ShowObject(c.shows, c.x, c.y, c.options);
    EXPECT_EQ(Read(display.screenBuffer), restyled);
  }
  ShowObject(1, 2, 3);
  EXPECT_EQ(Restyle(2, {{"id", 9.0}}), "error 1175");
}

// ---- Shape layers ----

class ShapeStyleTest : public LayerStyleTest {
 protected:
  void SetUp() override {
    LayerStyleTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenDrawLibrary(L), 0);
    vmSetTop(L, 0);
    MakeList("poly", {0, 0, 7, 2, 4, 7, 1, 4});
    MakeList("poly2", {0, 0, 9, 0, 9, 5});
    ASSERT_EQ(Call("SetFillStyle", {1}), "");
  }
  // The global [name] a list of [values] at 0...
  void MakeList(const char* name, const std::vector<double>& values) {
    vmPushString(L, name);
    vmNewTable(L);
    for (size_t i = 0; i < values.size(); i++) {
      vmPushNumber(L, values[i]);
      vmRawSetI(L, -2, int(i));
    }
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  void Draw(const char* command, const std::vector<Arg>& args) {
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(Call(command, args), "");
    ASSERT_EQ(CountLayers(&picture), 2);
  }
};

TEST_F(ShapeStyleTest, ShapeKeysRenderTheShapeAnewAsItsCommandWould) {
  const uint32_t red = 0xE03020, green = 0x20C040, blue = 0x2040E0;
  struct Case {
    const char* what;
    const char* command;
    std::vector<Arg> args;
    Fields fields;
    const char* outcome;
    const char* freshCommand;  // draws the same shape fresh
    std::vector<Arg> freshArgs;
  } cases[] = {
      {"box resized, recoloured", "Box", {2, 2, 8, 5, red}, {{"sizex", 5.0}, {"sizey", 9.0}, {"color", double(blue)}},
       "", "Box", {2, 2, 5, 9, blue}},
      {"box rounded", "Box", {2, 2, 9, 6, red}, {{"roundlevel", 3.0}}, "", "Box", {2, 2, 9, 6, red, 3}},
      {"circle grown", "Circle", {3, 3, 4, green}, {{"radius", 6.0}}, "", "Circle", {3, 3, 6, green}},
      {"ellipse", "Ellipse", {3, 3, 6, 3, blue}, {{"radiusa", 4.0}, {"radiusb", 5.0}}, "", "Ellipse",
       {3, 3, 4, 5, blue}},
      {"arc", "Arc", {3, 2, 6, 5, 30, 250, red, 1}, {{"startangle", 90.0}, {"endangle", 200.0}}, "", "Arc",
       {3, 2, 6, 5, 90, 200, red, 1}},
      {"polygon", "Polygon", {2, 2, Arg::global("poly"), 4, green},
       {{"vertices", std::vector<double>{0, 0, 9, 0, 9, 5}}}, "", "Polygon", {2, 2, Arg::global("poly2"), 3, green}},
      {"box to a circle", "Box", {2, 2, 8, 5, red}, {{"type", double(kShapeCircle)}, {"radius", 4.0}}, "",
       "Circle", {2, 2, 4, red}},
      {"circle to an ellipse", "Circle", {3, 3, 4, green}, {{"type", double(kShapeEllipse)}, {"radiusb", 2.0}}, "",
       "Ellipse", {3, 3, 4, 2, green}},
      {"box to a circle without radius", "Box", {2, 2, 8, 5, red}, {{"type", double(kShapeCircle)}}, "error 1014",
       nullptr, {}},
      {"box of width 0", "Box", {2, 2, 8, 5, red}, {{"sizex", 0.0}}, "error 1218", nullptr, {}},
      {"negative radius", "Circle", {3, 3, 4, green}, {{"radius", -2.0}}, "error 1218", nullptr, {}},
      {"colour not finite", "Circle", {3, 3, 4, green}, {{"color", kNaN}}, "error 1055", nullptr, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Draw(c.command, c.args);
    EXPECT_EQ(Restyle(2, c.fields), c.outcome);
    ExpectScreenIsReference();
    if (!c.freshCommand) continue;
    const Pixels restyled = Read(display.screenBuffer);
    Draw(c.freshCommand, c.freshArgs);
    EXPECT_EQ(Read(display.screenBuffer), restyled);
  }
}

TEST_F(ShapeStyleTest, ABrushLayerBecomesAShapeAndBack) {
  ASSERT_EQ(Call("FreeLayers", {}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 4}), "");
  EXPECT_EQ(Restyle(2, {{"type", double(kShapeBox)}, {"sizex", 5.0}}), "error 1014");
  ASSERT_EQ(Restyle(2, {{"type", double(kShapeBox)}, {"sizex", 5.0}, {"sizey", 4.0}, {"color", double(0xE03020)}}),
            "");
  EXPECT_EQ(Get(2)["type"], "14");
  ExpectScreenIsReference();
  const Pixels boxed = Read(display.screenBuffer);
  Draw("Box", {3, 4, 5, 4, 0xE03020});
  EXPECT_EQ(Read(display.screenBuffer), boxed);
  // And back to a brush, standing where the box stood.
  ASSERT_EQ(Restyle(2, {{"type", 3.0}, {"id", 1.0}}), "");
  ExpectScreenIsReference();
  const Pixels brushed = Read(display.screenBuffer);
  ASSERT_EQ(Call("FreeLayers", {}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 4}), "");
  EXPECT_EQ(Read(display.screenBuffer), brushed);
}

TEST_F(ShapeStyleTest, ShapesReportTheirKeys) {
  Draw("Box", {2, 2, 8, 5, 0xE03020});
  Report got = Get(2);
  const Report box = {{"type", "14"},   {"sizex", "8"},         {"sizey", "5"},
                      {"color", "14692384"}, {"fillstyle", "1"}, {"roundlevel", "0"}};
  for (const auto& [key, value] : box) EXPECT_EQ(got[key], value) << key;
  EXPECT_EQ(got.count("radius"), 0u);
  // Read back and applied again, the table changes nothing.
  for (const char* command : {"Box", "Circle"}) {
    SCOPED_TRACE(command);
    if (std::string(command) == "Circle") Draw("Circle", {3, 3, 4, 0x20C040});
    const Report before = Get(2, "kept");
    copies.clear();
    ASSERT_EQ(Call("SetLayerStyle", {2, Arg::global("kept")}), "");
    EXPECT_TRUE(copies.empty());
    EXPECT_EQ(Get(2), before);
  }
  Draw("Polygon", {2, 2, Arg::global("poly"), 4, 0x20C0C0});
  EXPECT_EQ(Get(2)["numvertices"], "5");  // closed
  Draw("Arc", {3, 2, 6, 5, 30, 250, 0xC0C020, 1});
  got = Get(2);
  EXPECT_EQ(got["startangle"], "30");
  EXPECT_EQ(got["endangle"], "250");
  EXPECT_EQ(got["radiusa"], "6");
  EXPECT_EQ(got["radiusb"], "5");
}

// ---- Printed texts ----

class TextStyleTest : public LayerStyleTest {
 protected:
  void SetUp() override {
    LayerStyleTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenTextLibrary(L), 0);
    vmSetTop(L, 0);
    RegisterTextLayers(L);
    // Printing joins its arguments through the script's tostring.
    vmPushString(L, "tostring");
    vmPushCClosure(L, [](vkState* S) { return vmPushValue(S, 1), 1; }, 0);
    vmSetTable(L, VK_GLOBALSINDEX);
  }
  void Print(const char* command, const std::vector<Arg>& args, uint32_t colour) {
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
    ASSERT_EQ(Call("SetFontColor", {colour}), "");
    ASSERT_EQ(Call(command, args), "");
    ASSERT_EQ(CountLayers(&picture), 2);
  }
};

TEST_F(TextStyleTest, TextKeysLayTheTextOutAnew) {
  Print("TextOut", {1, 2, "Hi"}, 0xFFFFFF);
  Report got = Get(2);
  EXPECT_EQ(got["type"], std::to_string(vkObjectType::TEXTOUT));
  EXPECT_EQ(got["text"], "\"Hi\"");
  EXPECT_EQ(got["color"], "16777215");
  EXPECT_EQ(got["encoding"], "0");
  ASSERT_EQ(Restyle(2, {{"text", std::string("Hey")}, {"color", double(0xFF0000)}}), "");
  EXPECT_EQ(Get(2)["text"], "\"Hey\"");
  ExpectScreenIsReference();
  const Pixels restyled = Read(display.screenBuffer);
  Print("TextOut", {1, 2, "Hey"}, 0xFF0000);
  EXPECT_EQ(Read(display.screenBuffer), restyled);
  // Read back and applied again, the table changes nothing.
  const Report before = Get(2, "kept");
  copies.clear();
  ASSERT_EQ(Call("SetLayerStyle", {2, Arg::global("kept")}), "");
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(Get(2), before);
  // A shorter text leaves nothing of the longer one.
  ASSERT_EQ(Restyle(2, {{"text", std::string("i")}}), "");
  ExpectScreenIsReference();
}

TEST_F(TextStyleTest, ABrushLayerBecomesATextInTheTextState) {
  ASSERT_EQ(Call("FreeLayers", {}), "");
  ASSERT_EQ(Call("DisplayBrush", {2, 0, 0}), "");
  ASSERT_EQ(Call("DisplayBrush", {1, 3, 4}), "");
  ASSERT_EQ(Call("SetFontColor", {0x40E0FF}), "");
  EXPECT_EQ(Restyle(2, {{"type", double(vkObjectType::TEXTOUT)}}), "error 1014");
  ASSERT_EQ(Restyle(2, {{"type", double(vkObjectType::TEXTOUT)}, {"text", std::string("Ok")}}), "");
  EXPECT_EQ(Get(2)["color"], std::to_string(0x40E0FF));
  ExpectScreenIsReference();
  const Pixels restyled = Read(display.screenBuffer);
  Print("TextOut", {3, 4, "Ok"}, 0x40E0FF);
  EXPECT_EQ(Read(display.screenBuffer), restyled);
}

TEST_F(TextStyleTest, ARecolouredTextEqualsTheTextPrintedInThatColour) {
  struct Case {
    const char* what;
    std::vector<uint32_t> styles;  // font style bits, set one by one after the normal style
    bool vera;                     // in the built-in Vera Sans at 16 pixels, else the 8-pixel font
    const char* text;
    Fields extra;    // more keys, set on the layer before and given to the fresh text
  } cases[] = {
      {"plain", {}, false, "Hello", {}},
      {"underlined", {kStyleUnderlined}, false, "Hello", {}},
      {"with a shadow", {kStyleShadow}, false, "Hello", {}},
      {"with an edge", {kStyleEdge}, false, "Hi", {}},
      {"with a colour tag", {}, false, "H[color=$00FF00]i[/color]!", {}},
      {"rotated", {}, false, "Hey", {{"rotate", 30.0}}},
      {"antialiased", {kStyleAntialias}, true, "Way", {}},
      {"antialiased, rotated", {kStyleAntialias}, true, "Way", {{"rotate", 45.0}}},
      {"antialiased with a shadow", {kStyleAntialias, kStyleShadow}, true, "Way", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.vera) {
      ASSERT_EQ(Call("SetFont", {":::default_sans", 16}), "");
    }
    ASSERT_EQ(Call("SetFontStyle", {double(kStyleNormal)}), "");
    for (uint32_t bits : c.styles) ASSERT_EQ(Call("SetFontStyle", {double(bits)}), "");
    Print("TextOut", {2, 3, c.text}, 0xFFFFFF);
    if (!c.extra.empty()) {
      ASSERT_EQ(Restyle(2, c.extra), "");
    }
    ASSERT_EQ(Restyle(2, {{"color", double(0x20A0F0)}}), "");
    EXPECT_EQ(Get(2)["color"], std::to_string(0x20A0F0));
    ExpectScreenIsReference();
    const Pixels restyled = Read(display.screenBuffer);
    Print("TextOut", {2, 3, c.text}, 0x20A0F0);
    if (!c.extra.empty()) {
      ASSERT_EQ(Restyle(2, c.extra), "");
    }
    EXPECT_EQ(Read(display.screenBuffer), restyled);
    // And once more: the recoloured text lays out anew in its new colour.
    ASSERT_EQ(Restyle(2, {{"translatex", 1.0}, {"text", std::string(c.text) + "."}}), "");
    const Pixels moved = Read(display.screenBuffer);
    Print("TextOut", {3, 3, (std::string(c.text) + ".").c_str()}, 0x20A0F0);
    if (!c.extra.empty()) {
      ASSERT_EQ(Restyle(2, c.extra), "");
    }
    EXPECT_EQ(Read(display.screenBuffer), moved);
  }
}

TEST_F(TextStyleTest, FontKeysOpenTheFontTheyName) {
  ASSERT_EQ(Call("SetFont", {":::default_sans", 12}), "");
  Print("TextOut", {1, 1, "Big"}, 0xFFFFFF);
  EXPECT_EQ(Get(2)["fontsize"], "12");
  ASSERT_EQ(Restyle(2, {{"fontsize", 15.0}}), "");
  EXPECT_EQ(Get(2)["fontsize"], "15");
  ExpectScreenIsReference();
  const Pixels restyled = Read(display.screenBuffer);
  ASSERT_EQ(Call("SetFont", {":::default_sans", 15}), "");
  Print("TextOut", {1, 1, "Big"}, 0xFFFFFF);
  EXPECT_EQ(Read(display.screenBuffer), restyled);
}

TEST_F(TextStyleTest, TextKeysRefuseWhatTheyCannotTake) {
  std::vector<double> many(33, 8.0);
  struct Case {
    const char* command;
    Fields fields;
    const char* outcome;
  } cases[] = {
      {"TextOut", {{"encoding", 2.0}}, "error 1055"},
      {"TextOut", {{"font", std::string("nosuchfont.font")}, {"fontsize", 12.0}}, "error 1064"},
      {"TextOut", {{"rightmargin", -1.0}}, "error 1055"},
      {"NPrint", {{"leftmargin", -4.0}}, "error 1055"},
      {"NPrint", {{"cursorx", double(kPosCenter)}}, "error 1337"},
      {"NPrint", {{"tabs", many}}, "error 1066"},
      {"NPrint", {{"tabs", std::vector<double>(32, 8.0)}}, ""},
      {"NPrint", {{"tabs", std::vector<double>{40, 8, 24}}}, ""},
      {"NPrint", {{"tabs", std::vector<double>{8, kNaN}}}, "error 1189"},
      {"TextOut", {{"tabs", many}}, ""},  // not a key of TEXTOUT layers
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    if (std::string(c.command) == "TextOut") Print("TextOut", {1, 2, "Hi"}, 0xFFFFFF);
    else Print(c.command, {"Hi"}, 0xFFFFFF);
    EXPECT_EQ(Restyle(2, c.fields), c.outcome);
    ExpectScreenIsReference();
  }
  Print("NPrint", {"Hi"}, 0xFFFFFF);
  ASSERT_EQ(Restyle(2, {{"tabs", std::vector<double>{40, 8, 24}}}), "");
  EXPECT_EQ(Get(2)["tabs"], "{8, 24, 40}");
  // A printed text's table, read back and applied again, changes nothing.
  const Report before = Get(2, "kept");
  EXPECT_EQ(before.count("cursorx"), 1u);
  copies.clear();
  ASSERT_EQ(Call("SetLayerStyle", {2, Arg::global("kept")}), "");
  EXPECT_TRUE(copies.empty());
  EXPECT_EQ(Get(2), before);
}

// ---- Every type's table ----

class AllTypesStyleTest : public LayerStyleTest {
 protected:
  void SetUp() override {
    LayerStyleTest::SetUp();
    vmPushValue(L, VK_GLOBALSINDEX);
    ASSERT_EQ(OpenAnimLibrary(L), 0);
    ASSERT_EQ(OpenDrawLibrary(L), 0);
    ASSERT_EQ(OpenTextLibrary(L), 0);
    ASSERT_EQ(OpenTextObjectLibrary(L), 0);
    vmSetTop(L, 0);
    RegisterTextLayers(L);
    vmPushString(L, "tostring");
    vmPushCClosure(L, [](vkState* S) { return vmPushValue(S, 1), 1; }, 0);
    vmSetTable(L, VK_GLOBALSINDEX);
    vmPushString(L, "poly");
    vmNewTable(L);
    const double points[] = {0, 0, 7, 2, 4, 7};
    for (int i = 0; i < 6; i++) {
      vmPushNumber(L, points[i]);
      vmRawSetI(L, -2, i);
    }
    vmSetTable(L, VK_GLOBALSINDEX);
    MakePatterned(90, 12, 3, Shape::Mask);
    RunCases({{"CreateAnim", {1, 90, 4, 3, 3, 3}, ""}, {"CreateTextObject", {1, "Hi"}, ""}});
  }
  void TearDown() override {
    FreeAllAnims(L);
    LayerStyleTest::TearDown();
  }
};

TEST_F(AllTypesStyleTest, EachTypeReportsItsOwnKeysBesideTheCommonOnes) {
  struct Case {
    int32_t type;
    const char* command;
    std::vector<Arg> args;
    std::vector<const char*> has, hasNot;
  } cases[] = {
      {vkObjectType::BRUSH, "DisplayBrush", {1, 2, 2}, {"id", "partx", "partheight"}, {"frame", "text", "sizex"}},
      {vkObjectType::BRUSHPART, "DisplayBrushPart", {1, 1, 1, 2, 2, 3, 3}, {"id", "party", "partwidth"}, {"frame"}},
      {vkObjectType::ANIM, "DisplayAnimFrame", {1, 2, 2, 2}, {"id", "frame"}, {"partx", "color"}},
      {vkObjectType::TEXTOBJECT, "DisplayTextObject", {1, 2, 2}, {"id"}, {"text", "color", "frame"}},
      {vkObjectType::TEXTOUT, "TextOut", {2, 2, "Hi"}, {"text", "color", "fontstyle", "align", "rightmargin", "font",
                                                        "fontsize", "encoding", "shadowdir", "edgesize"},
       {"id", "tabs", "cursorx", "leftmargin", "sizex"}},
      {vkObjectType::PRINT, "NPrint", {"Hi"}, {"text", "color", "tabs", "cursorx", "cursory", "leftmargin",
                                               "rightmargin", "font"},
       {"id", "align", "formstyle"}},
      {vkObjectType::BOX, "Box", {2, 2, 5, 4, 0xFF0000}, {"sizex", "sizey", "roundlevel", "color", "fillstyle",
                                                          "formstyle", "gradientangle", "outlinethickness"},
       {"radius", "id", "text", "fontstyle"}},
      {vkObjectType::CIRCLE, "Circle", {2, 2, 3, 0xFF0000}, {"radius", "color", "texturebrush"},
       {"radiusa", "sizex"}},
      {vkObjectType::ELLIPSE, "Ellipse", {2, 2, 4, 2, 0xFF0000}, {"radiusa", "radiusb"}, {"radius", "startangle"}},
      {vkObjectType::LINE, "Line", {2, 2, 9, 6, 0xFF0000}, {"color", "formstyle"}, {"x1", "thickness", "sizex"}},
      {vkObjectType::POLYGON, "Polygon", {2, 2, Arg::global("poly"), 3, 0xFF0000}, {"numvertices", "color"},
       {"vertices", "sizex"}},
      {vkObjectType::ARC, "Arc", {2, 2, 5, 4, 10, 200, 0xFF0000}, {"radiusa", "startangle", "endangle", "clockwise"},
       {"radius"}},
  };
  const char* common[] = {"type", "x", "y", "width", "height", "rotate", "scalex", "scaley", "anchorx", "anchory",
                          "smoothscale", "transform", "transparency", "tint", "tintcolor", "hidden",
                          "clipregion", "group", "name"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call(c.command, c.args), "");
    ASSERT_EQ(CountLayers(&picture), 1);
    Report got = Get(1);
    EXPECT_EQ(got["type"], std::to_string(c.type));
    for (const char* key : common) EXPECT_EQ(got.count(key), 1u) << key;
    for (const char* key : c.has) EXPECT_EQ(got.count(key), 1u) << key;
    for (const char* key : c.hasNot) EXPECT_EQ(got.count(key), 0u) << key;
    // Every type moves, hides and turns by the same keys.
    ASSERT_EQ(Restyle(1, {{"translatex", 3.0}, {"rotate", 90.0}, {"tint", 40.0}}), "");
    got = Get(1);
    EXPECT_EQ(got["rotate"], "90");
    EXPECT_EQ(got["tint"], "40");
    ExpectScreenIsReference();
  }
}

// ---- What is recomposed ----

TEST_F(LayerStyleTest, ShrinkingOrMovingLeavesNoOldPixels) {
  struct Case {
    const char* what;
    Fields fields;
  } cases[] = {
      {"shrunk", {{"width", std::string("25%")}, {"height", 2.0}}},
      {"shrunk and moved", {{"scalex", 0.5}, {"x", 15.0}}},
      {"rotated back", {{"rotate", 0.0}}},
      {"anchored elsewhere", {{"anchorx", 1.0}, {"anchory", 1.0}}},
      {"hidden", {{"hidden", 1.0}}},
      {"moved under", {{"z", 1.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Call("FreeLayers", {}), "");
    ASSERT_EQ(Call("DisplayBrush", {1, 3, 4}), "");
    SetTable("big", {{"rotate", 45.0}, {"scalex", 2.0}, {"scaley", 2.0}});
    ASSERT_EQ(Call("DisplayBrush", {2, 10, 5, Arg::global("big")}), "");
    copies.clear();
    ASSERT_EQ(Restyle(2, c.fields), "");
    ExpectScreenIsReference();
    EXPECT_FALSE(copies.empty());
  }
}

TEST_F(LayerStyleTest, ALookChangeRecomposesTheLayerOnceAndNoChangeNothing) {
  ShowTwo();
  copies.clear();
  ASSERT_EQ(Restyle(2, {{"transparency", 40.0}}), "");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0], (layertest::Copy{3, 4, 8, 6}));
  copies.clear();
  ASSERT_EQ(Restyle(2, {{"transparency", 40.0}, {"x", 3.0}, {"rotate", 0.0}}), "");
  EXPECT_TRUE(copies.empty());
}

TEST_F(LayerStyleTest, AnErrorInALaterPairShowsTheEarlierPairs) {
  ShowTwo();
  SetTable("first", {{"transparency", 128.0}, {"x", 9.0}});
  SetTable("second", {{"anchorx", 2.0}});
  copies.clear();
  EXPECT_EQ(Call("SetLayerStyle", {2, Arg::global("first"), 1, Arg::global("second")}), "error 1055");
  EXPECT_EQ(Get(2)["transparency"], "128");
  EXPECT_EQ(Get(2)["x"], "9");
  EXPECT_FALSE(copies.empty());
  ExpectScreenIsReference();
  // A raised error (a bad layer argument) as well.
  SetTable("third", {{"tint", 30.0}});
  EXPECT_EQ(Call("SetLayerStyle", {1, Arg::global("third"), Arg::table(), Arg::global("first")}), "error 1183");
  EXPECT_EQ(Get(1)["tint"], "30");
  ExpectScreenIsReference();
  // A content change that fails still shows the look given with it.
  copies.clear();
  EXPECT_EQ(Restyle(2, {{"transparency", 200.0}, {"id", 42.0}}), "error 1174");
  EXPECT_EQ(Get(2)["transparency"], "200");
  EXPECT_FALSE(copies.empty());
  ExpectScreenIsReference();
  // Pairs must be whole.
  EXPECT_EQ(Call("SetLayerStyle", {1, Arg::global("third"), 2}), "error 1014");
  EXPECT_EQ(Call("SetLayerStyle", {1, 5}), "error 1140");
}

TEST_F(LayerStyleTest, AGroupIsRestyledMemberByMemberWhileZReordersIt) {
  ASSERT_EQ(Call("FreeLayers", {}), "");
  ASSERT_EQ(Call("DisplayBrush", {3, 0, 0}), "");  // not in the group
  for (int i = 0; i < 3; i++) ASSERT_EQ(Call("DisplayBrush", {1, 2 + 5 * i, 1}), "");
  for (int i = 2; i <= 4; i++) GetNthLayer(&picture, i)->group = "row";
  ASSERT_EQ(Restyle("row", {{"z", 1.0}, {"translatey", 3.0}}), "");
  // Each member moved once, and all of them went to the bottom in turn.
  const int32_t xs[] = {12, 7, 2};
  for (int i = 1; i <= 3; i++) {
    EXPECT_EQ(Get(i)["y"], "4") << i;
    EXPECT_EQ(Get(i)["x"], std::to_string(xs[i - 1])) << i;
  }
  EXPECT_EQ(Get(4)["id"], "3");
  ExpectScreenIsReference();
}

TEST_F(LayerStyleTest, AStyleReadBackAndAppliedChangesNoPixel) {
  ShowTwo();
  ASSERT_EQ(Restyle(2, {{"rotate", 30.0},
                        {"scalex", 1.5},
                        {"anchorx", 0.5},
                        {"tint", 60.0},
                        {"tintcolor", double(0x00FF00)},
                        {"transparency", 20.0}}),
            "");
  ASSERT_EQ(Restyle(1, {{"transform", std::vector<double>{1, 0.25, 0.1, 1}}, {"x", 4.0}}), "");
  for (int layer : {1, 2}) {
    SCOPED_TRACE(layer);
    const Report before = Get(layer, "kept");
    const Pixels screen = Read(display.screenBuffer);
    copies.clear();
    ASSERT_EQ(Call("SetLayerStyle", {layer, Arg::global("kept")}), "");
    EXPECT_EQ(Read(display.screenBuffer), screen);
    EXPECT_TRUE(copies.empty());
    EXPECT_EQ(Get(layer), before);
  }
}

// ---- Clip regions ----

TEST_F(LayerStyleTest, AClipRegionIsSetAndRemoved) {
  vmPushValue(L, VK_GLOBALSINDEX);
  RegisterClipRegionCommands(L);
  vmSetTop(L, 0);
  ShowTwo();
  ASSERT_EQ(Call("CreateClipRegion", {5, vkObjectType::BOX, 4, 5, 3, 3}), "");
  ASSERT_EQ(Restyle(2, {{"clipregion", 5.0}}), "");
  EXPECT_EQ(Get(2)["clipregion"], "5");
  ExpectScreenIsReference();
  ASSERT_EQ(Restyle(2, {{"clipregion", -1.0}}), "");
  EXPECT_EQ(Get(2)["clipregion"], "-1");
  ExpectScreenIsReference();
}

// ---- The thin wrappers ----

TEST_F(LayerStyleTest, WrappersSetTheKeysTheyName) {
  struct Case {
    const char* command;
    std::vector<Arg> args;
    const char* outcome;
    Report expect;
  } cases[] = {
      {"SetLayerTransparency", {2, 400}, "", {{"transparency", "255"}}},
      {"SetLayerTint", {2, 0xFF00FF, 77}, "", {{"tint", "77"}, {"tintcolor", "16711935"}}},
      {"SetLayerLight", {2, 0x0000FF, 10}, "", {{"tint", "10"}, {"tintcolor", "255"}}},
      {"SetLayerAnchor", {2, 0.25, 0.75}, "", {{"anchorx", "0.25"}, {"anchory", "0.75"}}},
      {"SetLayerAnchor", {2, 0.25, 3}, "error 1055", {}},
      {"RotateLayer", {2, -90, 1}, "", {{"rotate", "-90"}, {"smoothscale", "1"}}},
      {"ScaleLayer", {2, "200%", 3}, "", {{"width", "16"}, {"height", "3"}}},
      {"ScaleLayer", {2, -4, 3}, "error 1218", {}},
      {"TransformLayer", {2, 1, 0.5, 0, 2}, "", {{"transform", "{1, 0.5, 0, 2}"}}},
      {"TransformLayer", {2, 0, 1, 1, 1}, "error 1055", {}},
      {"SetLayerTransparency", {9, 10}, "error 1081", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    ShowTwo();
    EXPECT_EQ(Call(c.command, c.args), c.outcome);
    Report got = Get(2);
    for (const auto& [key, value] : c.expect) EXPECT_EQ(got[key], value) << key;
    ExpectScreenIsReference();
  }
}

TEST_F(LayerStyleTest, AnIdentityMatrixUndoesARotation) {
  ShowTwo();
  const Pixels plain = Read(display.screenBuffer);
  ASSERT_EQ(Restyle(2, {{"rotate", 30.0}, {"scalex", 2.0}}), "");
  ASSERT_NE(Read(display.screenBuffer), plain);
  ASSERT_EQ(Call("TransformLayer", {2, 1, 0, 0, 1}), "");
  const Report got = Get(2);
  EXPECT_EQ(got.at("rotate"), "0");
  EXPECT_EQ(got.at("scalex"), "1");
  EXPECT_EQ(Read(display.screenBuffer), plain);
}

TEST_F(LayerStyleTest, StyleCommandsNeedLayers) {
  ShowTwo();
  display.layersOn = 0;
  EXPECT_EQ(Call("GetLayerStyle", {1}), "error 1078");
  EXPECT_EQ(Restyle(1, {{"tint", 3.0}}), "error 1078");
  display.layersOn = 1;
}

}  // namespace
