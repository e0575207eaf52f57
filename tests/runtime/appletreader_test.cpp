// The applet reader: plain, packed and attached applets, what each record
// fills, and a table of damaged applets with the code each one gives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "../common/scratchdir.h"
#include "base/errorinfo.h"
#include "engine/libraries.h"
#include "engine/state.h"
#include "runtime/appletreader.h"
#include "engine/attributes.h"
#include "io/packfiles.h"
#include "support/appletbytes.h"

namespace {

using namespace appletbytes;

class AppletReader : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = std::filesystem::current_path();
    L_ = vmNewState();
    ASSERT_NE(L_, nullptr);
    SetAttrs(L_, nullptr, {{ATTR_QUIET, 1}});
  }
  void TearDown() override {
    vmCloseState(L_);
    std::filesystem::current_path(cwd_);
  }
  uint32_t Read(const std::string& bytes, uint32_t offset = 0) {
    context_.scriptPath = dir_.Write("test.vka", bytes);
    return ReadApplet(L_, context_, applet_, offset);
  }

  ScratchDir dir_;
  std::filesystem::path cwd_;
  vkState* L_ = nullptr;
  vkProgramContext context_;
  vkApplet applet_;
};

TEST_F(AppletReader, ReadsAPlainAppletUpToItsBytecode) {
  // A record after the bytecode record is never read: 99 would be refused.
  ASSERT_EQ(Read(Applet(Rec().Byte(11).Str("first text").b) + "\x63"), 0u);
  EXPECT_EQ(std::string(applet_.bytecode.begin(), applet_.bytecode.end()), "CODE");
  EXPECT_EQ(applet_.versionMajor, 4u);
  EXPECT_EQ(applet_.versionMinor, 7u);
  EXPECT_EQ(applet_.texts[0], "first text");
  EXPECT_EQ(context_.isApplet, 1u);
}

TEST_F(AppletReader, ReadsPreloadsWithTheirNamesAndLinkedData) {
  // Names and data lie in a skipped record right after the magic and version.
  const std::string blob = "logo.png" + std::string(1, '\0') + "DATA";
  const uint32_t nameAt = 4 + 3 + 5;  // magic, version record, tag 0 head
  Rec preloads;
  preloads.Byte(2).Word(2);
  preloads.Raw(PreloadHead(1, 5, nameAt, 8, nameAt + 9, 4).b).Half(10).Half(20).Half(-1).Half(3).Half(128);
  preloads.Raw(PreloadHead(5, 6).b).Half(1).Half(2).Half(30).Half(40);
  ASSERT_EQ(Read(Applet(Rec().Byte(0).Word(uint32_t(blob.size())).Raw(blob).b + preloads.b)), 0u);
  ASSERT_EQ(applet_.preloads.size(), 2u);
  const vkPreload& brush = applet_.preloads[0];
  EXPECT_EQ(brush.type, uint32_t(PRELOAD_BRUSH));
  EXPECT_EQ(brush.id, 5);
  EXPECT_EQ(brush.name, "logo.png");
  EXPECT_EQ(brush.dataOffset, nameAt + 9);
  EXPECT_EQ(brush.dataSize, 4u);
  EXPECT_EQ(brush.transparency, -1);
  EXPECT_EQ(brush.sourceLine, 7);
  EXPECT_EQ(brush.x, -1);
  EXPECT_EQ(brush.globalAlpha, 128);
  EXPECT_EQ(brush.container, context_.scriptPath);
  const vkPreload& button = applet_.preloads[1];
  EXPECT_EQ(button.x2, 30);
  EXPECT_EQ(button.y2, 40);
  EXPECT_TRUE(button.name.empty());
}

TEST_F(AppletReader, ReadsADisplayRecordAndTheSettingsThatActOnIt) {
  Rec records;
  records.Byte(2).Word(1).Raw(DisplayRecord(2, "Title").b);
  records.Byte(3).Half(800).Half(600);   // size
  records.Byte(18).Byte(0);              // not borderless
  records.Byte(28).Byte(1).Word(50).Word(60).Byte(1);  // layer scale, smooth
  ASSERT_EQ(Read(Applet(records.b)), 0u);
  ASSERT_EQ(applet_.preloads.size(), 1u);
  const vkDisplayRecord& d = applet_.preloads[0].display;
  EXPECT_EQ(d.width, 800);
  EXPECT_EQ(d.height, 600);
  EXPECT_EQ(d.x, 10);
  EXPECT_EQ(d.title, "Title");
  ASSERT_EQ(d.dragRegions.size(), 2u);
  EXPECT_EQ(d.dragRegions[1].height, 5);
  EXPECT_EQ(d.fill.style, 2u);
  EXPECT_EQ(d.fill.startColor, 0x102030);
  EXPECT_EQ(d.fill.angle, 90);
  EXPECT_EQ(d.flags, uint32_t(kDisplayActive | kDisplayLayerScale | kDisplaySmoothScale));
  EXPECT_EQ(d.flagMask, uint32_t(0x401 | kDisplayBorderless | kDisplayLayerScale | kDisplaySmoothScale));
  EXPECT_EQ(d.scaleWidth, 50);
}

TEST_F(AppletReader, ADisplaySettingBeforeAnyDisplayMakesTheDefaultDisplay) {
  ASSERT_EQ(Read(Applet(Rec().Byte(4).Half(4).Raw("Demo").Byte(5).Word(0xABCDEF).b)), 0u);
  ASSERT_EQ(applet_.preloads.size(), 1u);
  const vkPreload& p = applet_.preloads[0];
  EXPECT_EQ(p.type, uint32_t(PRELOAD_DISPLAY));
  EXPECT_EQ(p.id, 1);
  EXPECT_EQ(p.display.title, "Demo");
  EXPECT_EQ(p.display.width, 640);
  EXPECT_EQ(p.display.x, kPositionCenter);
  EXPECT_EQ(p.display.fill.startColor, 0xABCDEF);
}

TEST_F(AppletReader, ReadsLabelsLineMapsLinkedFilesAndTheSettingsReset) {
  Rec r;
  r.Byte(9).Word(1).Word(42).Str("Start");
  r.Byte(27).Word(1).Word(1).Word(99).Word(0).Str("main.src").Str("@main");
  r.Byte(26).Word(2).Word(0).Str("a.txt").Word(3).Raw("abc").Str("b.txt").Word(0xFFFFFFFF).Word(2).Word(4);
  r.Byte(23).Byte(16);
  r.Byte(29);
  ASSERT_EQ(Read(Applet(r.b)), 0u);
  EXPECT_EQ(vmFindLabel(L_, "START"), 42);
  ASSERT_EQ(applet_.includeRanges.size(), 1u);
  EXPECT_EQ(applet_.includeRanges[0].lastVmLine, 99);
  EXPECT_EQ(applet_.includeRanges[0].chunkName, "@main");
  ASSERT_EQ(applet_.linkedFiles.size(), 2u);
  EXPECT_EQ(applet_.linkedFiles[0].size, 3u);
  const std::string bytes = Applet(r.b);
  EXPECT_EQ(bytes.substr(size_t(applet_.linkedFiles[0].offset), 3), "abc");
  EXPECT_EQ(applet_.linkedFiles[1].offset, 4);
  EXPECT_EQ(applet_.display.screenDepth, -1);  // the reset restored the default
  EXPECT_EQ(applet_.settingsLocked, 1u);
}

TEST_F(AppletReader, ReadsAnAppletAttachedBehindOtherBytes) {
  const std::string head(1000, 'x');
  ASSERT_EQ(Read(head + Applet(Rec().Byte(7).b), 1000), 0u);
  EXPECT_EQ(applet_.baseOffset, 1000);
  EXPECT_EQ(applet_.desktop, 1u);
}

TEST_F(AppletReader, UnpacksAPackedAppletIntoATemporaryFileThatGoesWithTheRun) {
  const std::string plain = dir_.Write("plain.vka", Applet(""));
  const std::string packed = dir_ / "packed.vkz";
  ASSERT_EQ(CompressToPack(kPackedAppletMagic, plain.c_str(), packed.c_str(), nullptr), 0u);
  std::string temporary;
  {
    vkProgramContext context;
    vkApplet applet;
    context.scriptPath = packed;
    ASSERT_EQ(ReadApplet(L_, context, applet, 0), 0u);
    EXPECT_EQ(applet.bytecode.size(), 4u);
    ASSERT_EQ(context.temporaryFiles.size(), 1u);
    temporary = context.scriptPath;
    EXPECT_NE(temporary, packed);
    EXPECT_TRUE(std::filesystem::exists(temporary));
  }
  EXPECT_FALSE(std::filesystem::exists(temporary));
}

TEST_F(AppletReader, AMissingFileIsNamed) {
  context_.scriptPath = dir_ / "missing.vka";
  EXPECT_EQ(ReadApplet(L_, context_, applet_, 0), 1213u);
  EXPECT_EQ(ErrorInfo().errorText, context_.scriptPath);
}

struct Damage {
  const char* what;
  std::string bytes;
  uint32_t code;
};

TEST_F(AppletReader, DamagedAppletsGiveTheirCodes) {
  const std::string name = "n" + std::string(1, '\0');
  const Damage cases[] = {
      {"only a magic", kMagic, 1211},
      {"another file", "PK\x03\x04 and more bytes", 1211},
      {"an attached offset past the end", std::string(), 1211},
      {"no bytecode record", kMagic + Version(4, 7), 1198},
      {"a bytecode record longer than the file", kMagic + Rec().Byte(1).Word(100).Raw("abc").b, 1198},
      {"an unknown record", Applet(Rec().Byte(31).b), 1210},
      {"a newer version", kMagic + Version(4, 8) + Bytecode("x"), 1209},
      {"a preload count beyond the file", Applet(Rec().Byte(2).Word(0x7FFFFFFF).b), 1198},
      {"an unknown preload type", Applet(Rec().Byte(2).Word(1).Raw(PreloadHead(11, 1).b).b), 1210},
      {"a preload name past the end", Applet(Rec().Byte(2).Word(1).Raw(PreloadHead(3, 1, 0xFFFFFFF0, 32).b).b), 1198},
      {"linked preload data past the end",
       Applet(Rec().Byte(2).Word(1).Raw(PreloadHead(3, 1, 0, 0, 4, 0xFFFFFFFF).b).b), 1198},
      {"65 regions", Applet(Rec().Byte(2).Word(1).Raw(DisplayRecord(65, "t").b).b), 1210},
      {"a text without its end", kMagic + Version(4, 7) + Rec().Byte(11).Raw("abc").b, 1198},
      {"a skipped record longer than the file", Applet(Rec().Byte(0).Word(0xFFFFFFFF).b), 1198},
      {"a linked-file count beyond the file", Applet(Rec().Byte(26).Word(0x40000000).Word(0).b), 1198},
      {"linked data past the end", Applet(Rec().Byte(26).Word(1).Word(0).Raw(name).Word(0xFFFFFF).b), 1198},
      {"a negative title length", Applet(Rec().Byte(4).Half(-2).b), 1198},
      {"a label count beyond the file", Applet(Rec().Byte(9).Word(0x10000000).b), 1198},
      {"a record cut short", kMagic + Rec().Byte(6).Word(1).Raw("ab").b, 1198},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    vkProgramContext context;
    vkApplet applet;
    context.scriptPath = dir_.Write("bad.vka", d.bytes.empty() ? Applet("") : d.bytes);
    EXPECT_EQ(ReadApplet(L_, context, applet, d.bytes.empty() ? 1u << 20 : 0), d.code);
  }
}

TEST_F(AppletReader, ANewerVersionNamesItself) {
  ASSERT_EQ(Read(kMagic + Version(5, 0) + Bytecode("x")), 1209u);
  EXPECT_EQ(ErrorInfo().errorText, "5.0");
}

}  // namespace
