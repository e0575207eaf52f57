// Options: argument lines and ".ini" texts with the settings they give or the
// error they end in, the number syntax, the ".ini" name and link lists.
#include "runtime/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/errorinfo.h"
#include "support/optionsfuzz.h"
#include "tests/common/fuzzmutate.h"

namespace {

struct OptionRun {
  vkOptionSlots slots;
  vkProgramContext context;
  vkApplet applet;
  uint32_t error = 0;
};

// The start-up's chain: argument line, ".ini" text (when given), the checks.
OptionRun Options(const std::string& line, const char* ini = nullptr) {
  OptionRun run;
  run.error = ParseArgumentLine(line, run.slots, run.context);
  if (run.error == 0 && ini != nullptr) run.error = ParseIniText(ini, run.slots, run.context);
  if (run.error == 0) run.error = ApplyOptions(run.slots, run.context, run.applet);
  if (run.error == 0) run.error = CheckCompileRequest(run.context);
  return run;
}

using Check = std::function<void(const OptionRun&)>;

struct OptionCase {
  const char* line;
  const char* ini;
  uint32_t error;
  Check check;
};

TEST(Options, LinesAndIniFilesFillTheirSettings) {
  const std::vector<OptionCase> cases = {
      {"-WINDOW -BORDERLESS \"app.vka\"", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.mode, kDisplayModeWindow);
         EXPECT_EQ(r.applet.display.flags, kDisplayBorderless);
         EXPECT_EQ(r.slots.Text(OPT_SCRIPT), "app.vka");
       }},
      {"\"My Game/app.vka\" -quiet -NoSound", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.slots.Text(OPT_SCRIPT), "My Game/app.vka");
         EXPECT_EQ(r.context.quiet, 1u);
         EXPECT_EQ(r.context.noSound, 1u);
       }},
      {"-SIZEABLE -FIXED -USEQUARTZ -NOHIDE -HIDEPOINTER -NOMODESWITCH -KEEPPROPORTIONS -FITSCALE", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.flags, 2u | 4u | 0x2000u | 32u | 16u | 8u | 0x8000u | 0x10000u);
         EXPECT_EQ(r.applet.display.mode, kDisplayModeNone);
       }},
      {"-HIDETITLEBAR -OVERWRITE -LOCKSETTINGS -COMPRESS -USEWPA -WPAMODE 3", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.hideTitleBar, 1);
         EXPECT_EQ(r.context.overwrite, 1u);
         EXPECT_EQ(r.context.lockSettings, 1u);
         EXPECT_EQ(r.context.compress, 1u);
       }},
      {"", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.hideTitleBar, -1);
         EXPECT_EQ(r.applet.display.screenWidth, -1);
         EXPECT_EQ(r.applet.display.backfill.pictureX, -100000);
         EXPECT_EQ(r.applet.display.backfill.startColor, -1);
         EXPECT_EQ(r.context.masterVolume, 30u);
         EXPECT_EQ(r.context.exeType, 256u);
         EXPECT_FALSE(r.slots.Has(OPT_SCRIPT));
       }},
      // Screen modes and their conflicts.
      {"-OWNSCREEN", nullptr, 0, [](const OptionRun& r) { EXPECT_EQ(r.applet.display.mode, kDisplayModeOwnScreen); }},
      {"-FULLSCREEN", nullptr, 0, [](const OptionRun& r) { EXPECT_EQ(r.applet.display.mode, kDisplayModeFullScreen); }},
      {"-FAKEFULLSCREEN -WINDOW", nullptr, 0,
       [](const OptionRun& r) { EXPECT_EQ(r.applet.display.mode, kDisplayModeFakeFullScreen); }},
      {"-PUBSCREEN Workbench", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.mode, kDisplayModeWindow);
         EXPECT_EQ(r.context.publicScreen, "Workbench");
       }},
      {"-OWNSCREEN -FULLSCREEN", nullptr, 1060, nullptr},
      {"-OWNSCREEN", "FULLSCREEN = yes", 1060, nullptr},
      {"", "OWNSCREEN=1\nFAKEFULLSCREEN=on", 1060, nullptr},
      {"-FULLSCREEN -FAKEFULLSCREEN", nullptr, 1060, nullptr},
      {"-OWNSCREEN -FULLSCREEN", "FULLSCREEN=off", 0,
       [](const OptionRun& r) { EXPECT_EQ(r.applet.display.mode, kDisplayModeOwnScreen); }},
      // Scaling.
      {"-AUTOSCALE -LAYERSCALE", nullptr, 1060, nullptr},
      {"-AUTOSCALE", "LAYERSCALE=true", 1060, nullptr},
      {"-AUTOSCALE -SCALEWIDTH 50% -SCALEHEIGHT 480 -SMOOTHSCALE", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.scaleWidth, -50);
         EXPECT_EQ(r.applet.display.scaleHeight, 480);
         EXPECT_EQ(r.applet.display.flags, kDisplayAutoScale | kDisplaySmoothScale);
       }},
      {"-LAYERSCALE -SCALEWIDTH $-80000000%", nullptr, 0,
       [](const OptionRun& r) { EXPECT_EQ(r.applet.display.scaleWidth, INT32_MIN); }},
      {"-LAYERSCALE -SCALEWIDTH $100", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.scaleWidth, 256);
         EXPECT_EQ(r.applet.display.flags, kDisplayLayerScale);
       }},
      {"-SCALEWIDTH 50 -SMOOTHSCALE", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.scaleWidth, 0);
         EXPECT_EQ(r.applet.display.flags, 0u);
       }},
      {"-AUTOSCALE -SCALEWIDTH wide", nullptr, 1024, nullptr},
      // Numbers.
      {"-SCRWIDTH %1010000000 -SCRHEIGHT 0x1E0 -DEPTH $-10 -MASTERVOLUME 64.9", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.screenWidth, 640);
         EXPECT_EQ(r.applet.display.screenHeight, 480);
         EXPECT_EQ(r.applet.display.screenDepth, -16);
         EXPECT_EQ(r.context.masterVolume, 64u);
       }},
      {"-SCRWIDTH 1e12", nullptr, 0, [](const OptionRun& r) { EXPECT_EQ(r.applet.display.screenWidth, INT32_MAX); }},
      {"-SCRWIDTH abc", nullptr, 1024, nullptr},
      {"-DEPTH $", nullptr, 1018, nullptr},
      {"-DEPTH 0x", nullptr, 1018, nullptr},
      {"-MASTERVOLUME -5", nullptr, 1060, nullptr},  // "-5" is an option name
      // Backfills.
      {"-BACKFILL color -STARTCOLOR $FF0000", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.backfill.type, kBackfillColor);
         EXPECT_EQ(r.applet.display.backfill.startColor, 0xFF0000);
         EXPECT_EQ(r.applet.display.backfill.endColor, -1);
       }},
      {"-BACKFILL RAINBOW -STARTCOLOR 1 -ENDCOLOR 2", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.backfill.type, kBackfillGradient);
         EXPECT_EQ(r.applet.display.backfill.endColor, 2);
       }},
      {"-BACKFILL PICTURE -BRUSHFILE \"bg pic.png\" -PICXPOS 10 -PICYPOS 20 -PICTRANS 5 -SCALEPICTURE", nullptr, 0,
       [](const OptionRun& r) {
         const vkBackfill& b = r.applet.display.backfill;
         EXPECT_EQ(b.type, kBackfillPicture);
         EXPECT_EQ(b.brushFile, "bg pic.png");
         EXPECT_EQ(b.pictureX, 10);
         EXPECT_EQ(b.pictureY, 20);
         EXPECT_EQ(b.pictureTransparency, 5);
         EXPECT_EQ(b.scalePicture, 1u);
       }},
      {"-BACKFILL TEXTURE -BRUSH 7", nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.backfill.type, kBackfillTexture);
         EXPECT_EQ(r.applet.display.backfill.brushId, 7);
       }},
      {"-BRUSH 5 -STARTCOLOR 3", nullptr, 0,  // without BACKFILL: ignored
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.backfill.type, kBackfillNone);
         EXPECT_EQ(r.applet.display.backfill.brushId, 0);
         EXPECT_EQ(r.applet.display.backfill.startColor, -1);
       }},
      {"-BACKFILL STRIPES -STARTCOLOR 1", nullptr, 1243, nullptr},
      {"-BACKFILL COLOR", nullptr, 1243, nullptr},
      {"-BACKFILL GRADIENT -STARTCOLOR 1", nullptr, 1243, nullptr},
      {"-BACKFILL TEXTURE", nullptr, 1243, nullptr},
      {"-BACKFILL PICTURE -BRUSH 2 -BRUSHFILE x.png", nullptr, 1243, nullptr},
      {"-BACKFILL COLOR -STARTCOLOR red", nullptr, 1024, nullptr},
      // Executable types.
      {"-EXETYPE MACOS+linux+Win32", nullptr, 0, [](const OptionRun& r) { EXPECT_EQ(r.context.exeType, 0x1C0u); }},
      {"-EXETYPE macos86", nullptr, 0, [](const OptionRun& r) { EXPECT_EQ(r.context.exeType, 0x200u); }},
      {"-EXETYPE CLASSIC+MORPHOS+WARPOS+AMIGAOS4+AROS+APPLET", nullptr, 0,
       [](const OptionRun& r) { EXPECT_EQ(r.context.exeType, 0x3Fu); }},
      {"-EXETYPE MACOS+", nullptr, 1266, nullptr},
      {"-EXETYPE MACOS86X", nullptr, 1266, nullptr},
      {"-EXETYPE \"MACOS + LINUX\"", nullptr, 1266, nullptr},
      {"-EXETYPE \"\"", nullptr, 1266, nullptr},
      // Texts kept for later.
      {"-PRIVATE1 cmds.txt -PRIVATE2 consts.txt -PRIVATE3 x -SCRIPTALIAS Demo -DEBUGDEVICE stdout "
       "-ICON16X16 a.png -ICON512X512 \"big icon.png\"",
       nullptr, 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.context.private1Path, "cmds.txt");
         EXPECT_EQ(r.context.private2Path, "consts.txt");
         EXPECT_EQ(r.context.private3, "x");
         EXPECT_EQ(r.context.scriptAlias, "Demo");
         EXPECT_EQ(r.context.debugDevice, 1u);
         EXPECT_EQ(r.context.iconPaths[0], "a.png");
         EXPECT_EQ(r.context.iconPaths[6], "big icon.png");
         EXPECT_EQ(r.context.iconPaths[3], "");
       }},
      // The tokeniser's errors.
      {"-DEPTH", nullptr, 1060, nullptr},
      {"-DEPTH -WINDOW 8", nullptr, 1060, nullptr},
      {"a.vka b.vka", nullptr, 1060, nullptr},
      {"\"a.vka", nullptr, 1060, nullptr},
      {"-SCRIPTALIAS \"open", nullptr, 1060, nullptr},
      // The compiler is not part of the player.
      {"-COMPILE out.vka app.hws", nullptr, 1212,
       [](const OptionRun& r) { EXPECT_EQ(r.context.compile, 1u); }},
      {"-LINKFILES /nonexistent/list.txt", nullptr, 0, nullptr},  // only read when compiling
      // ".ini" files: values win over the line; unknown keys are user arguments.
      {"-NOSOUND -MASTERVOLUME 10 -WINDOW", "# settings\n[Player]\n  nosound = no \r\nMasterVolume=55\t\n", 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.context.noSound, 0u);
         EXPECT_EQ(r.context.masterVolume, 55u);
         EXPECT_EQ(r.applet.display.mode, kDisplayModeWindow);
       }},
      {"", "QUIET=1\nSCRIPTALIAS = \"My Game\"  # name\nfoo=bar baz \t\nHIDEPOINTER=0", 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.context.quiet, 1u);
         EXPECT_EQ(r.context.scriptAlias, "My Game");
         ASSERT_EQ(r.context.userArgs.size(), 1u);
         EXPECT_EQ(r.context.userArgs[0].name, "foo");
         EXPECT_EQ(r.context.userArgs[0].value, "bar baz");
         EXPECT_EQ(r.applet.display.flags, 0u);
       }},
      {"", "WINDOW=YES\rBORDERLESS=$1\rSIZEABLE=maybe\rFIXED=", 0,
       [](const OptionRun& r) {
         EXPECT_EQ(r.applet.display.mode, kDisplayModeWindow);
         EXPECT_EQ(r.applet.display.flags, kDisplayBorderless);
       }},
      {"", "BACKFILL=\"\"", 1243, nullptr},
      {"", "1WINDOW=yes", 1363, nullptr},
      {"", "WINDOW yes", 1363, nullptr},
      {"", "WINDOW", 1363, nullptr},
      {"", "SCRIPTALIAS=\"open\nnext\"", 1363, nullptr},
      {"", "_KEY=1", 1363, nullptr},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " | " + (c.ini ? c.ini : "(no ini)"));
    const OptionRun r = Options(c.line, c.ini);
    EXPECT_EQ(r.error, c.error);
    if (c.check) c.check(r);
  }
}

// Argument lines and ".ini" texts mutated (bytes flipped, cut, made huge,
// repeated) end in settings or an error code (run under the sanitizer
// build); VK_FUZZ_ITERATIONS runs longer.
TEST(Options, MutatedLinesAndIniTextsEndInSettingsOrAnError) {
  const std::vector<std::string> seeds = {
      std::string("-WINDOW -BORDERLESS \"My Game/app.vka\" -SCALEWIDTH 50% -PUBSCREEN Workbench") + '\0' +
          "FULLSCREEN = yes\nLAYERSCALE=true\nMYKEY=value\n",
      std::string("-AUTOSCALE -SCALEWIDTH $100 -SCALEHEIGHT 480 -SMOOTHSCALE -WPAMODE 3") + '\0' +
          "OWNSCREEN=1\n[section]\nFAKEFULLSCREEN=on\n",
  };
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  const long iterations = env ? std::strtol(env, nullptr, 10) : 4000;
  std::mt19937 rng(20261211);
  for (long i = 0; i < iterations; i++) {
    const std::string bytes = fuzzmutate::Mutate(seeds[size_t(i) % seeds.size()], rng);
    FuzzOptions(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
}

TEST(Options, IniKeysUpTo127Characters) {
  const std::string longest = std::string(127, 'K') + "=v";
  OptionRun r = Options("", longest.c_str());
  EXPECT_EQ(r.error, 0u);
  ASSERT_EQ(r.context.userArgs.size(), 1u);
  EXPECT_EQ(r.context.userArgs[0].name.size(), 127u);
  const std::string tooLong = std::string(128, 'K') + "=v";
  EXPECT_EQ(Options("", tooLong.c_str()).error, 1363u);
}

TEST(Options, UnknownOptionsBecomeUserArguments) {
  OptionRun r = Options("-foo bar -Baz -WINDOW \"app.vka\" -last", "extra = \"x y\"");
  ASSERT_EQ(r.error, 0u);
  ASSERT_EQ(r.context.userArgs.size(), 4u);
  const struct {
    const char* name;
    const char* value;  // nullptr: none
  } expected[] = {{"foo", "bar"}, {"Baz", nullptr}, {"last", nullptr}, {"extra", "x y"}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.context.userArgs[i].name, expected[i].name);
    if (expected[i].value)
      EXPECT_EQ(r.context.userArgs[i].value, expected[i].value);
    else
      EXPECT_FALSE(r.context.userArgs[i].value.has_value());
  }
  EXPECT_EQ(r.slots.Text(OPT_SCRIPT), "app.vka");
  EXPECT_EQ(r.applet.display.mode, kDisplayModeWindow);

  // A free token after an unknown option is that option's value.
  r = Options("-foo app.vka");
  EXPECT_EQ(r.context.userArgs[0].value, "app.vka");
  EXPECT_FALSE(r.slots.Has(OPT_SCRIPT));
}

TEST(Options, UserArgumentsOwnTheirText) {
  vkOptionSlots slots;
  vkProgramContext context;
  {
    std::string line = "-name value \"script.vka\"";
    ASSERT_EQ(ParseArgumentLine(line, slots, context), 0u);
    line.assign(line.size(), '#');  // the line goes away before scripts read the arguments
  }
  ASSERT_EQ(context.userArgs.size(), 1u);
  EXPECT_EQ(context.userArgs[0].name, "name");
  EXPECT_EQ(context.userArgs[0].value, "value");
}

TEST(Options, JoinArgumentsQuotesFreeTokens) {
  const char* argv[] = {"vellumark", "-WINDOW", "My Game/app.vka", "-BACKFILL", "COLOR", ""};
  EXPECT_EQ(JoinArguments(6, argv), "-WINDOW \"My Game/app.vka\" -BACKFILL \"COLOR\" \"\"");
  EXPECT_EQ(JoinArguments(1, argv), "");
  vkOptionSlots slots;
  vkProgramContext context;
  EXPECT_EQ(ParseArgumentLine(JoinArguments(5, argv), slots, context), 0u);
  EXPECT_EQ(slots.Text(OPT_SCRIPT), "My Game/app.vka");
  EXPECT_EQ(slots.Text(OPT_BACKFILL), "COLOR");
}

TEST(Options, TableHoldsEveryKeyword) {
  ASSERT_EQ(std::size(kOptionTable), 56u);
  for (const vkOptionDef& def : kOptionTable) {
    EXPECT_GT(def.slot, 0u) << def.name;
    EXPECT_LT(def.slot, kOptionSlotCount) << def.name;
    for (const vkOptionDef& other : kOptionTable) {
      if (&other == &def) continue;
      EXPECT_NE(def.slot, other.slot) << def.name << " " << other.name;
    }
  }
}

TEST(ParseNumber, ReadsEveryNotation) {
  const struct {
    const char* text;
    double value;
    size_t length;
    uint32_t error;
  } cases[] = {
      {"42", 42, 2, 0},          {"-42", -42, 3, 0},         {"3.75", 3.75, 4, 0},
      {"1e3", 1000, 3, 0},       {"50%", 50, 2, 0},          {"12abc", 12, 2, 0},
      {"$ff", 255, 3, 0},        {"$FFFFFFFF", 4294967295.0, 9, 0},
      {"$-10", -16, 4, 0},       {"-$10", -16, 4, 0},        {"-$-10", 16, 5, 0},
      {"%101", 5, 4, 0},         {"%1010000000", 640, 11, 0}, {"-%11", -3, 4, 0},
      {"%", 0, 1, 0},            {"%2", 0, 1, 0},            {"%1012", 5, 4, 0},
      {"0x1F", 31, 4, 0},        {"0X1f", 31, 4, 0},         {"0", 0, 1, 0},
      {"$", 0, 1, 1018},         {"0x", 0, 2, 1018},         {"$g", 0, 1, 1018},
      {"abc", 0, 0, 1024},       {"", 0, 0, 1024},           {"-", 0, 1, 1024},
      {".5", 0, 0, 1024},        {" 5", 0, 0, 1024},
  };
  for (const auto& c : cases) {
    const vkParsedNumber n = ParseNumber(c.text);
    EXPECT_EQ(n.error, c.error) << c.text;
    if (c.error == 0) {
      EXPECT_EQ(n.value, c.value) << c.text;
      EXPECT_EQ(n.length, c.length) << c.text;
    }
  }
  EXPECT_EQ(ParseNumber("1e999").value, HUGE_VAL);
  EXPECT_EQ(ParseNumber("1e-999").value, 0.0);
}

TEST(IniPathFor, ReplacesTheFilePartsExtension) {
  const struct {
    const char* script;
    const char* ini;
  } cases[] = {
      {"dir/app.vka", "dir/app.ini"},
      {"/games/v1.2/app", "/games/v1.2/app.ini"},
      {"app", "app.ini"},
      {"a.b.c", "a.b.ini"},
      {"dir/.hidden", "dir/.ini"},
  };
  for (const auto& c : cases) EXPECT_EQ(IniPathFor(c.script), c.ini) << c.script;
}

std::string WriteFile(const std::string& name, const std::string& text) {
  const std::string path = std::string(VK_BINARY_DIR) + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  return path;
}

TEST(Options, ReadsTheIniFileBesideTheScript) {
  const std::string ini = WriteFile("options_test_app.ini", "WINDOW=yes\n");
  vkOptionSlots slots;
  vkProgramContext context;
  EXPECT_EQ(ReadIniFile(IniPathFor(std::string(VK_BINARY_DIR) + "/options_test_app.vka"), slots, context), 0u);
  EXPECT_TRUE(slots.Has(OPT_WINDOW));
  std::remove(ini.c_str());
  vkOptionSlots none;
  EXPECT_EQ(ReadIniFile(ini, none, context), 0u);  // missing: no error
  EXPECT_FALSE(none.Has(OPT_WINDOW));
}

TEST(ReadLinkList, AddsEachNamedFileOnce) {
  vkApplet applet;
  const std::string files = WriteFile("options_test_files.txt", "a.png\n  \"b c.wav\"  \r\nA.PNG\n\nlast.txt");
  EXPECT_EQ(ReadLinkList(applet, files, false), 0u);
  const std::string fonts = WriteFile("options_test_fonts.txt", "Topaz.font\n\"Sans\"\t\na.png\n");
  EXPECT_EQ(ReadLinkList(applet, fonts, true), 0u);
  std::vector<std::string> names;
  for (const vkLinkedFile& f : applet.linkedFiles) names.push_back(f.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.png", "b c.wav", "last.txt", "::font:Topaz", "::font:Sans",
                                             "::font:a.png"}));
  std::remove(files.c_str());
  std::remove(fonts.c_str());
}

TEST(ReadLinkList, RefusesBadLists) {
  const struct {
    const char* text;
    uint32_t error;
  } cases[] = {
      {"\"open.png\n", 1305},
      {"two names\n", 1305},
      {"\"a.png\"b\n", 1305},
      {"a.png\rb.png", 1305},
  };
  for (const auto& c : cases) {
    vkApplet applet;
    const std::string path = WriteFile("options_test_bad.txt", c.text);
    EXPECT_EQ(ReadLinkList(applet, path, false), c.error) << c.text;
    std::remove(path.c_str());
  }
  vkApplet applet;
  EXPECT_EQ(ReadLinkList(applet, "/nonexistent/links.txt", false), 1045u);
  EXPECT_EQ(ErrorInfo().errorText, "/nonexistent/links.txt");

  // With COMPILE the lists are read before the compile request is refused.
  EXPECT_EQ(Options("-COMPILE out -LINKFILES /nonexistent/links.txt").error, 1045u);
}

}  // namespace
