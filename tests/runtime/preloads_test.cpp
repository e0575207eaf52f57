// Preloads become calls of the script commands by name: a recording library
// stands in for the commands and writes down each call with its arguments
// and option table, so the table of cases shows exactly what each preload
// entry asks for.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/errorinfo.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "engine/vmapi.h"
#include "engine/attributes.h"
#include "runtime/preloads.h"

namespace {

std::vector<std::string> gCalls;
uint32_t gFailWith = 0;  // the code the recording commands return

std::string Describe(vkState* L, int index);

std::string DescribeTable(vkState* L, int index) {
  std::vector<std::string> fields;
  vmPushNil(L);
  while (vmNext(L, index)) {
    std::string key = vmType(L, -2) == VK_TSTRING ? vmToString(L, -2) : Describe(L, vmGetTop(L) - 1);
    fields.push_back(key + "=" + Describe(L, vmGetTop(L)));
    vmSetTop(L, -2);
  }
  std::sort(fields.begin(), fields.end());
  std::string text = "{";
  for (size_t i = 0; i < fields.size(); ++i) text += (i ? " " : "") + fields[i];
  return text + "}";
}

std::string Describe(vkState* L, int index) {
  switch (vmType(L, index)) {
    case VK_TNUMBER: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.14g", vmToNumber(L, index));
      return buffer;
    }
    case VK_TSTRING: return std::string("\"") + vmToString(L, index) + "\"";
    case VK_TTABLE: return DescribeTable(L, index);
    default: return "?";
  }
}

template <const char* Name>
int Record(vkState* L) {
  std::string call = std::string(Name) + "(";
  for (int i = 1; i <= vmGetTop(L); ++i) call += (i > 1 ? ", " : "") + Describe(L, i);
  gCalls.push_back(call + ")");
  return int(gFailWith);
}

constexpr char kLoadBGPic[] = "LoadBGPic", kLoadBrush[] = "LoadBrush", kLoadAnim[] = "LoadAnim",
               kLoadSprite[] = "LoadSprite", kOpenMusic[] = "OpenMusic", kLoadSample[] = "LoadSample",
               kCreateButton[] = "CreateButton", kCreateKeyDown[] = "CreateKeyDown", kOpenFile[] = "OpenFile",
               kOpenFont[] = "OpenFont", kCreateDisplay[] = "CreateDisplay";

const vkCommandDef kRecorder[] = {
    {kLoadBGPic, Record<kLoadBGPic>},       {kLoadBrush, Record<kLoadBrush>},
    {kLoadAnim, Record<kLoadAnim>},         {kLoadSprite, Record<kLoadSprite>},
    {kOpenMusic, Record<kOpenMusic>},       {kLoadSample, Record<kLoadSample>},
    {kCreateButton, Record<kCreateButton>}, {kCreateKeyDown, Record<kCreateKeyDown>},
    {kOpenFile, Record<kOpenFile>},         {kOpenFont, Record<kOpenFont>},
    {kCreateDisplay, Record<kCreateDisplay>}, {nullptr, nullptr}};

class Preloads : public ::testing::Test {
 protected:
  void SetUp() override {
    gCalls.clear();
    gFailWith = 0;
    L_ = vmNewState();
    ASSERT_NE(L_, nullptr);
    SetAttrs(L_, nullptr, {{ATTR_QUIET, 1}});
    vmPushValue(L_, VK_GLOBALSINDEX);
    vmRegisterFunctions(L_, nullptr, kRecorder, 0);
    vmSetTop(L_, 0);
    context_.isApplet = 1;
    context_.scriptPath = "/data/app.vka";
  }
  void TearDown() override {
    vmCloseState(L_);
  }
  static vkPreload Of(uint32_t type, int32_t id, const char* name) {
    vkPreload p;
    p.type = type;
    p.id = id;
    p.name = name;
    p.container = "/data/app.vka";
    return p;
  }

  vkState* L_ = nullptr;
  vkProgramContext context_;
  vkApplet applet_;
};

struct PreloadCase {
  const char* what;
  vkPreload preload;
  const char* call;
};

vkPreload With(vkPreload p, void (*change)(vkPreload&)) {
  change(p);
  return p;
}

TEST_F(Preloads, EachEntryCallsItsCommand) {
  const PreloadCase cases[] = {
      {"a brush from disk", With(Of(PRELOAD_BRUSH, 2, "b.png"), [](vkPreload& p) { p.width = 10; p.height = 20; }),
       "LoadBrush(2, \"b.png\", {height=20 loadalpha=0 width=10 x=0 y=0})"},
      {"a linked brush with transparency and alpha",
       With(Of(PRELOAD_BRUSH, 3, "dir/c.png"),
            [](vkPreload& p) { p.dataOffset = 100; p.dataSize = 50; p.transparency = 0xFF00FF; p.globalAlpha = 128; }),
       "LoadBrush(3, \":::chunk100:50*c.png//data/app.vka\", {globalalpha=128 height=0 loadalpha=0 "
       "transparency=16711935 width=0 x=0 y=0})"},
      {"a gradient bgpic", With(Of(PRELOAD_BGPIC, 1, "bg.jpg"), [](vkPreload& p) { p.fill = {2, 1, 2, 45}; }),
       "LoadBGPic(1, \"bg.jpg\", {fillstyle=2 gradientangle=45 gradientendcolor=2 gradientstartcolor=1 "
       "loadalpha=0})"},
      {"a plain bgpic", Of(PRELOAD_BGPIC, 4, "bg.jpg"), "LoadBGPic(4, \"bg.jpg\", {loadalpha=0})"},
      {"an anim", With(Of(PRELOAD_ANIM, 1, "a.gif"), [](vkPreload& p) { p.frames = 8; p.framesPerRow = 4; p.fromDisk = 1; }),
       "LoadAnim(1, \"a.gif\", {fpr=4 frames=8 fromdisk=1 height=0 loadalpha=0 width=0 x=0 y=0})"},
      {"a sprite", With(Of(PRELOAD_SPRITE, 9, "s.png"), [](vkPreload& p) { p.frames = 2; }),
       "LoadSprite(9, \"s.png\", {fpr=0 frames=2 height=0 loadalpha=0 width=0 x=0 y=0})"},
      {"music", Of(PRELOAD_MUSIC, 1, "m.mod"), "OpenMusic(1, \"m.mod\")"},
      {"a sample", Of(PRELOAD_SAMPLE, 2, "s.wav"), "LoadSample(2, \"s.wav\")"},
      {"a key", Of(PRELOAD_KEYDOWN, 3, "F1"), "CreateKeyDown(3, \"F1\")"},
      {"a file", Of(PRELOAD_FILE, 4, "t.txt"), "OpenFile(4, \"t.txt\", 1005)"},
      {"a font", With(Of(PRELOAD_FONT, 5, "Vera"), [](vkPreload& p) { p.transparency = 16; p.loadAlpha = 0x10002; }),
       "OpenFont(5, \"Vera\", 16, {cache=0 engine=2})"},
      {"a button", With(Of(PRELOAD_BUTTON, 6, ""), [](vkPreload& p) { p.x1 = 1; p.y1 = 2; p.x2 = 3; p.y2 = 4; }),
       "CreateButton(6, 1, 2, 3, 4)"},
  };
  for (const PreloadCase& c : cases) {
    SCOPED_TRACE(c.what);
    gCalls.clear();
    vkApplet applet;
    applet.preloads.push_back(c.preload);
    ASSERT_EQ(RunPreloads(L_, context_, applet), 0u);
    ASSERT_EQ(gCalls.size(), 2u);  // the entry, then the default display
    EXPECT_EQ(gCalls[0], c.call);
    EXPECT_TRUE(applet.preloads.empty());
  }
}

TEST_F(Preloads, DisplaysComeLastAndTheDefaultDisplayIsAdded) {
  vkPreload second = Of(PRELOAD_DISPLAY, 2, "");
  second.display.title = "Two";
  second.display.flags = kDisplayActive | kDisplayBorderless | kDisplayLayerScale | kDisplayBGPic;
  second.display.flagMask = second.display.flags;
  second.display.bgpic = 7;
  second.display.dragRegions.push_back({1, 2, 3, 4, 5});
  applet_.preloads.push_back(second);
  applet_.preloads.push_back(Of(PRELOAD_SAMPLE, 1, "s.wav"));
  applet_.display.flags = kDisplayHidePointer;  // from the options: joins both displays
  ASSERT_EQ(RunPreloads(L_, context_, applet_), 0u);
  ASSERT_EQ(gCalls.size(), 3u);
  EXPECT_EQ(gCalls[0], "LoadSample(1, \"s.wav\")");
  EXPECT_EQ(gCalls[1],
            "CreateDisplay(2, {active=1 bgpic=7 borderless=1 dragregion={0={height=5 type=1 width=4 x=2 y=3}} "
            "hidepointer=1 scalemode=2 title=\"Two\" x=-100000 y=-100000})");
  EXPECT_EQ(gCalls[2],
            "CreateDisplay(1, {active=1 color=0 fillstyle=1 height=480 hidepointer=1 title=\"Vellumark\" width=640 "
            "x=-100000 y=-100000})");
}

TEST_F(Preloads, DisplayOneShowsBGPicOne) {
  applet_.preloads.push_back(Of(PRELOAD_BGPIC, 1, "bg.png"));
  ASSERT_EQ(RunPreloads(L_, context_, applet_), 0u);
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[1], "CreateDisplay(1, {active=1 bgpic=1 title=\"Vellumark\" x=-100000 y=-100000})");
}

TEST_F(Preloads, BrushesFromOneFileLoadItOnce) {
  applet_.preloads.push_back(Of(PRELOAD_BRUSH, 1, "Same.png"));
  applet_.preloads.push_back(With(Of(PRELOAD_BRUSH, 2, "same.PNG"), [](vkPreload& p) { p.loadAlpha = 1; }));
  applet_.preloads.push_back(Of(PRELOAD_SPRITE, 3, "same.png"));  // no frames: not cached
  ASSERT_EQ(RunPreloads(L_, context_, applet_), 0u);
  ASSERT_EQ(gCalls.size(), 4u);
  EXPECT_EQ(gCalls[0],
            "LoadBrush(1, \"Same.png\", {cache=\"Same.png\" cachealpha=1 height=0 loadalpha=0 width=0 x=0 y=0})");
  EXPECT_EQ(gCalls[1], "LoadBrush(2, \"same.PNG\", {cachedload=\"same.PNG\" height=0 loadalpha=1 width=0 x=0 y=0})");
  EXPECT_EQ(gCalls[2], "LoadSprite(3, \"same.png\", {fpr=0 frames=0 height=0 loadalpha=0 width=0 x=0 y=0})");
}

TEST_F(Preloads, TheFirstFailingCommandEndsThePreloadsWithItsCode) {
  applet_.preloads.push_back(Of(PRELOAD_SAMPLE, 1, "a.wav"));
  applet_.preloads.push_back(Of(PRELOAD_SAMPLE, 2, "b.wav"));
  gFailWith = 1045;
  vmPushString(L_, "below");  // what the stack held before stays
  EXPECT_EQ(RunPreloads(L_, context_, applet_), 1045u);
  EXPECT_EQ(vmGetTop(L_), 1);
  EXPECT_EQ(gCalls.size(), 1u);
  EXPECT_FALSE(applet_.preloads.empty());  // the shutdown frees them
}

TEST_F(Preloads, AMissingCommandIsAnErrorNotACrash) {
  vmPushString(L_, "openmusic");
  vmPushNil(L_);
  vmRawSet(L_, VK_GLOBALSINDEX);
  applet_.preloads.push_back(Of(PRELOAD_MUSIC, 1, "m.mod"));
  EXPECT_EQ(RunPreloads(L_, context_, applet_), 1133u);
  EXPECT_EQ(ErrorInfo().errorText, "openmusic()");
}

}  // namespace
