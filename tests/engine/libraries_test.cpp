// The library registry, command and constant registration and lookup without
// regard to case, the PRIVATE1/PRIVATE2 dumps and the label tables.
#include "engine/libraries.h"

#include <fstream>
#include <sstream>

#include "support/vmtest.h"
#include "tests/common/scratchdir.h"

namespace {

using vktest::EngineTest;

int gCalls = 0;
int CountingCommand(vkState* L) {
  gCalls++;
  vmPushNumber(L, 42);
  return 1;
}
int OtherCommand(vkState*) { return 0; }

const vkCommandDef kGraphics[] = {{"DisplayBrush", CountingCommand}, {"LoadBrush", OtherCommand}, {nullptr, nullptr}};
const vkCommandDef kSound[] = {{"PlaySample", OtherCommand}, {nullptr, nullptr}};
const vkConstantDef kConstants[] = {
    {"IMGFMT_PNG", nullptr, 7},
    {"#Version", "1.0", 99},  // a string value wins over the number
    {"Center", nullptr, -100000},
    {nullptr, nullptr, 0},
};

class LibrariesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    gCalls = 0;
  }
  // What start-up does for each library: commands into the globals table,
  // the table into the registry, the constants into "constants".
  void OpenLibrary(const vkCommandDef* commands, const char* name, const vkConstantDef* constants) {
    vmPushValue(L, VK_GLOBALSINDEX);
    vmRegisterFunctions(L, nullptr, commands, 0);
    vmSetTop(L, -2);
    ASSERT_EQ(RegisterLibrary(L, commands, name), 0);
    if (constants) vmRegisterConstants(L, constants);
  }
  int GlobalType(const char* name) {
    vmPushString(L, name);
    vmRawGet(L, VK_GLOBALSINDEX);
    int t = vmType(L, -1);
    vmSetTop(L, -2);
    return t;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(LibrariesTest, CommandsAreGlobalsUnderLowerCasedNames) {
  OpenLibrary(kGraphics, "graphics", nullptr);
  EXPECT_EQ(vmGetTop(L), 0);
  EXPECT_EQ(GlobalType("displaybrush"), VK_TFUNCTION);
  EXPECT_EQ(GlobalType("loadbrush"), VK_TFUNCTION);
  EXPECT_EQ(GlobalType("DisplayBrush"), VK_TNIL);
}

TEST_F(LibrariesTest, CommandSpellingIsFoundWhateverTheCase) {
  OpenLibrary(kGraphics, "graphics", nullptr);
  OpenLibrary(kSound, "sound", nullptr);
  const struct {
    const char* asked;
    const char* spelled;
  } cases[] = {
      {"displaybrush", "DisplayBrush"}, {"DISPLAYBRUSH", "DisplayBrush"}, {"dIsPlAyBrUsH", "DisplayBrush"},
      {"playsample", "PlaySample"},     {"PlaySamples", nullptr},         {"", nullptr},
  };
  for (const auto& c : cases) {
    const char* got = FindCommandName(L, c.asked);
    if (c.spelled)
      EXPECT_STREQ(got, c.spelled) << c.asked;
    else
      EXPECT_EQ(got, nullptr) << c.asked;
  }
}

TEST_F(LibrariesTest, NamedLibraryTableAndUpvalues) {
  // With a library name the commands land in a global table of that name;
  // upvalues pushed by the caller are shared by every command.
  static const vkCommandDef kUp[] = {{"Get", [](vkState* L) {
                                        vmPushValue(L, vmUpvalueIndex(1));
                                        return 1;
                                      }},
                                     {nullptr, nullptr}};
  vmPushNumber(L, 17);
  vmRegisterFunctions(L, "mylib", kUp, 1);
  ASSERT_EQ(vmGetTop(L), 1);
  EXPECT_EQ(vmType(L, 1), VK_TTABLE);
  vmPushString(L, "get");
  vmRawGet(L, 1);
  ASSERT_EQ(vmCall(L, 0, 1), 0u);
  EXPECT_EQ(vmToNumber(L, -1), 17);
  EXPECT_EQ(GlobalType("mylib"), VK_TTABLE);
}

TEST_F(LibrariesTest, ConstantsWhateverTheCase) {
  OpenLibrary(kGraphics, "graphics", kConstants);
  const struct {
    const char* name;
    int found;
    const char* str;
    double number;
  } cases[] = {
      {"IMGFMT_PNG", 1, nullptr, 7}, {"imgfmt_png", 1, nullptr, 7}, {"ImgFmt_Png", 1, nullptr, 7},
      {"#VERSION", 1, "1.0", 0},     {"CENTER", 1, nullptr, -100000}, {"IMGFMT_GIF", 0, nullptr, 0},
  };
  for (const auto& c : cases) {
    const char* str = "unset";
    double number = 0;
    EXPECT_EQ(vmGetConstant(L, c.name, &str, &number), c.found) << c.name;
    if (c.found && c.str) {
      EXPECT_STREQ(str, c.str) << c.name;
    } else if (c.found) {
      EXPECT_EQ(str, nullptr) << c.name;
      EXPECT_EQ(number, c.number) << c.name;
    }
  }
  EXPECT_EQ(vmGetConstant(L, "center", nullptr, nullptr), 1);
  EXPECT_EQ(vmGetTop(L), 0);
}

TEST_F(LibrariesTest, NoConstantsTableFindsNothing) {
  EXPECT_EQ(vmGetConstant(L, "anything", nullptr, nullptr), 0);
  EXPECT_EQ(vmGetTop(L), 0);
}

TEST_F(LibrariesTest, LaterRegistrationOfADuplicateWins) {
  // Both the global and the constant keep the value registered last; the
  // registry still lists both libraries, and the spelling comes from the first.
  static const vkCommandDef kAgain[] = {{"DISPLAYBRUSH", OtherCommand}, {nullptr, nullptr}};
  static const vkConstantDef kAgainK[] = {{"imgfmt_png", nullptr, 8}, {nullptr, nullptr, 0}};
  OpenLibrary(kGraphics, "graphics", kConstants);
  OpenLibrary(kAgain, "again", kAgainK);
  double number = 0;
  ASSERT_EQ(vmGetConstant(L, "IMGFMT_PNG", nullptr, &number), 1);
  EXPECT_EQ(number, 8);
  vmPushString(L, "displaybrush");
  vmRawGet(L, VK_GLOBALSINDEX);
  ASSERT_EQ(vmCall(L, 0, 1), 0u);
  EXPECT_EQ(gCalls, 0);
  EXPECT_STREQ(FindCommandName(L, "displaybrush"), "DisplayBrush");
  int libraries = 0;
  for (const vkLibraryEntry* e = FirstLibrary(L); e; e = e->next.get()) libraries++;
  EXPECT_EQ(libraries, 2);
}

TEST_F(LibrariesTest, Labels) {
  EXPECT_EQ(vmFindLabel(L, "start"), -1);  // no "labels" table yet
  vmDefineLabel(L, "Start", 12);
  vmDefineLabel(L, "LOOP", 40);
  const struct {
    const char* name;
    int32_t number;
  } cases[] = {{"start", 12}, {"START", 12}, {"loop", 40}, {"Loop", 40}, {"missing", -1}};
  for (const auto& c : cases) EXPECT_EQ(vmFindLabel(L, c.name), c.number) << c.name;

  // A label entry that is not a number is no label.
  vmPushConstString(L, "labels");
  vmRawGet(L, VK_REGISTRYINDEX);
  vmPushString(L, "text");
  vmPushString(L, "12");
  vmRawSet(L, -3);
  vmSetTop(L, 0);
  EXPECT_EQ(vmFindLabel(L, "TEXT"), -1);
  EXPECT_EQ(vmGetTop(L), 0);
}

TEST_F(LibrariesTest, LabelReferencesCountFromZero) {
  vmAddLabelRef(L, "Start", 5);
  vmAddLabelRef(L, "Other", 9);
  vmPushConstString(L, "labelrefs");
  vmRawGet(L, VK_REGISTRYINDEX);
  ASSERT_EQ(vmType(L, -1), VK_TTABLE);
  vmPushConstString(L, "n");
  vmRawGet(L, -2);
  EXPECT_EQ(vmToNumber(L, -1), 2);
  vmSetTop(L, -2);
  const struct {
    int key;
    const char* name;
    double pc;
  } cases[] = {{0, "start", 5}, {1, "other", 9}};
  for (const auto& c : cases) {
    vmRawGetI(L, -1, c.key);
    ASSERT_EQ(vmType(L, -1), VK_TTABLE);
    vmPushConstString(L, "name");
    vmRawGet(L, -2);
    EXPECT_STREQ(vmToString(L, -1), c.name);
    vmPushConstString(L, "pc");
    vmRawGet(L, -3);
    EXPECT_EQ(vmToNumber(L, -1), c.pc);
    vmSetTop(L, -4);
  }
}

TEST_F(LibrariesTest, CommandDumpListsLibrariesInOrder) {
  OpenLibrary(kGraphics, "graphics", nullptr);
  OpenLibrary(kSound, "sound", nullptr);
  ScratchDir dir;
  ASSERT_EQ(DumpCommands(L, (dir / "commands.txt").c_str()), 1);
  EXPECT_EQ(ReadFile(dir / "commands.txt"),
            "::graphics\n2\nDisplayBrush\nLoadBrush\n"
            "::sound\n1\nPlaySample\n"
            "::end");
}

TEST_F(LibrariesTest, ConstantDumpNamesEveryConstantInLowerCase) {
  OpenLibrary(kGraphics, "graphics", kConstants);
  ScratchDir dir;
  ASSERT_EQ(DumpConstants(L, (dir / "constants.txt").c_str()), 1);
  // One line per key in the table's traversal order, which the dump must follow.
  std::string expected;
  vmPushConstString(L, "constants");
  vmRawGet(L, VK_REGISTRYINDEX);
  vmPushNil(L);
  while (vmNext(L, -2)) {
    expected += std::string(vmToString(L, -2)) + "\n";
    vmSetTop(L, -2);
  }
  vmSetTop(L, 0);
  std::string dump = ReadFile(dir / "constants.txt");
  EXPECT_EQ(dump, expected);
  for (const char* name : {"imgfmt_png\n", "#version\n", "center\n"}) EXPECT_NE(dump.find(name), std::string::npos);
}

TEST_F(LibrariesTest, GoldenDumpsOfASmallLibrarySet) {
  // Two libraries as start-up opens them; the constant dump's order is the
  // traversal order of the "constants" table, pinned here.
  static const vkCommandDef kDisplay[] = {
      {"OpenDisplay", OtherCommand}, {"CloseDisplay", OtherCommand}, {"SelectDisplay", OtherCommand}, {nullptr, nullptr}};
  static const vkConstantDef kDisplayK[] = {{"DISPMODE_WINDOWED", nullptr, 0}, {"DISPMODE_FULLSCREEN", nullptr, 1},
                                            {"CENTER", nullptr, -100000}, {nullptr, nullptr, 0}};
  static const vkConstantDef kSoundK[] = {{"MODE_READ", nullptr, 1005}, {"#Copyright", "(c) nobody", 0},
                                          {"Stereo", nullptr, 2}, {nullptr, nullptr, 0}};
  OpenLibrary(kDisplay, "display", kDisplayK);
  OpenLibrary(kSound, "sound", kSoundK);
  ScratchDir dir;
  ASSERT_EQ(DumpCommands(L, (dir / "p1").c_str()), 1);
  ASSERT_EQ(DumpConstants(L, (dir / "p2").c_str()), 1);
  EXPECT_EQ(ReadFile(dir / "p1"),
            "::display\n3\nOpenDisplay\nCloseDisplay\nSelectDisplay\n"
            "::sound\n1\nPlaySample\n"
            "::end");
  EXPECT_EQ(ReadFile(dir / "p2"), "dispmode_windowed\ndispmode_fullscreen\ncenter\nmode_read\nstereo\n#copyright\n");
}

TEST_F(LibrariesTest, DumpToAnUnopenableFileFails) {
  EXPECT_EQ(DumpCommands(L, "/nonexistent-dir/x/commands.txt"), 0);
  EXPECT_EQ(DumpConstants(L, "/nonexistent-dir/x/constants.txt"), 0);
}

TEST_F(LibrariesTest, LibraryNamesKeepSixtyThreeBytes) {
  std::string longName(100, 'x');
  ASSERT_EQ(RegisterLibrary(L, kSound, longName.c_str()), 0);
  EXPECT_EQ(FirstLibrary(L)->name, std::string(63, 'x'));
}

}  // namespace
