// The dos library through its commands: big-endian handle I/O with every
// refusal, lines and strings at their edges, path parts, directories listed
// sorted with their terminator and scanned entry by entry, attributes and
// dates, recursive delete and copy with callbacks that skip and abort and
// with symbolic links that must not be followed, programs whose paths hold
// blanks, CRC32 and pack files judged by python3's zlib, and records.
#include "runtime/doslib.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "../common/scratchdir.h"
#include "engine/argcheck.h"
#include "engine/libraries.h"
#include "engine/vmapi.h"
#include "io/chunknames.h"
#include "runtime/context.h"
#include "runtime/dosfiles.h"
#include "support/libcall.h"

namespace fs = std::filesystem;
using vktest::Arg;

namespace {

constexpr int kRead = 1005, kWrite = 1006, kReadWrite = 1004;

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

bool havePython() { return std::system("python3 -c 'import zlib' >/dev/null 2>&1") == 0; }

// What the test callbacks saw, and what they answer.
std::vector<std::string> gCalls;
std::vector<double> gAnswers;  // taken from the front; 2 (go on) when empty

std::string field(vkState* L, const char* name) {
  vmPushString(L, name);
  vmGetTable(L, 1);
  std::string s = vmType(L, -1) == VK_TNIL ? "-" : vmToString(L, -1);
  vmSetTop(L, -2);
  return s;
}

int recordingCallback(vkState* L) {
  std::string file = field(L, "file") != "-" ? field(L, "file") : field(L, "source");
  std::string call = field(L, "action") + " " + fs::path(file).filename().string();
  std::string destination = field(L, "destination");
  if (destination != "-") call += " > " + fs::path(destination).filename().string();
  if (field(L, "copied") != "-") call += " " + field(L, "copied") + "/" + field(L, "filesize");
  if (field(L, "userdata") != "-") call += " ud=" + field(L, "userdata");
  gCalls.push_back(call);
  double answer = 2;
  if (!gAnswers.empty()) {
    answer = gAnswers.front();
    gAnswers.erase(gAnswers.begin());
  }
  vmPushNumber(L, answer);
  return 1;
}

int failingCallback(vkState*) { return 1234; }
int stringCallback(vkState* L) {
  vmPushString(L, "yes");
  return 1;
}

class DosLibTest : public vktest::LibraryTest {
 protected:
  void SetUp() override {
    OpenLibrary(OpenDOSLibrary);
    gCalls.clear();
    gAnswers.clear();
  }
  std::string P(const std::string& name) { return dir / name; }
  // Calls [command] with arguments pushed by [push]; describes the outcome
  // as Call does and leaves argument tables at stack 1.. for inspection.
  template <typename Push>
  int CallWith(const char* command, Push push) {
    vmSetTop(L, 0);
    push();
    int n = vmGetTop(L);
    std::string name = LowerCased(command);
    vmPushString(L, name.c_str());
    vmGetTable(L, VK_GLOBALSINDEX);
    for (int i = 1; i <= n; i++) vmPushValue(L, i);
    return vmPCall(L, n, VK_MULTRET, 0);
  }
  std::string ListAt(int t) {
    std::string out;
    for (int i = 0;; i++) {
      vmRawGetI(L, t, i);
      if (vmType(L, -1) == VK_TNIL) {
        vmSetTop(L, -2);
        return out;
      }
      out += (i ? "," : "") + inQuotes(vmToString(L, -1));
      vmSetTop(L, -2);
    }
  }
  std::string Field(int t, const char* name) {
    vmPushString(L, name);
    vmGetTable(L, t);
    std::string s = vmType(L, -1) == VK_TNIL ? "nil" : vmToString(L, -1);
    vmSetTop(L, -2);
    return s;
  }
  ScratchDir dir;
};

TEST_F(DosLibTest, HandlesWriteAndReadBigEndian) {
  std::string file = P("data");
  RunCases({
      {"OpenFile", {1, file, kWrite}, ""},
      {"WriteInt", {1, 1}, ""},
      {"WriteShort", {1, 65534}, ""},
      {"WriteChr", {1, 0x141}, ""},  // the low 8 bits
      {"WriteFloat", {1, 1.5}, ""},
      {"WriteInt", {1, -2}, ""},
      {"WriteString", {1, "abcdef", 3}, ""},
      {"WriteString", {1, "abc", 4}, "error 1245"},
      {"WriteString", {1, "abc", -1}, "error 1055"},
      {"WriteLine", {1, "x"}, ""},
      {"FilePos", {1}, "24"},
      {"FileLength", {1}, "24"},
      {"Eof", {1}, "1"},
      {"ReadChr", {1}, "error 1142"},
      {"ReadLine", {1}, "error 1142"},
      {"CloseFile", {1}, ""},
      {"CloseFile", {1}, "error 1179"},
  });
  std::string expect("\0\0\0\x01\xff\xfe\x41\x3f\xf8\0\0\0\0\0\0\xff\xff\xff\xfe" "abcx\n", 24);
  EXPECT_EQ(ReadWholeFile(file), expect);
  RunCases({
      {"OpenFile", {1, file}, ""},
      {"FileLength", {1}, "24"},
      {"ReadInt", {1}, "1"},
      {"ReadShort", {1}, "65534"},
      {"ReadChr", {1}, "65"},
      {"ReadFloat", {1}, "1.5"},
      {"ReadInt", {1}, "-2"},
      {"ReadString", {1, 0}, inQuotes("")},
      {"ReadString", {1, -1}, "error 1055"},
      {"ReadString", {1, 6}, "error 1242"},
      {"ReadString", {1, 3}, inQuotes("abc")},
      {"Eof", {1}, "0"},
      {"ReadLine", {1}, inQuotes("x")},
      {"ReadLine", {1}, "error 1242"},
      {"ReadChr", {1}, "error 1242"},
      {"WriteInt", {1, 1}, "error 1141"},
      {"Seek", {1, -1}, ""},
      {"FilePos", {1}, "24"},
      {"Seek", {1, 25}, "error 1076"},
      {"Seek", {1, -2}, "error 1076"},
      {"Seek", {1, 4}, ""},
      {"ReadShort", {1}, "65534"},
      {"Eof", {9}, "error 1179"},
      {"Eof", {Arg::handle(this)}, "error 1041"},
      {"SetIOMode", {1}, ""},
      {"ReadChr", {1}, "65"},
      {"SetIOMode", {2}, "error 1055"},
  });
}

TEST_F(DosLibTest, OpeningFiles) {
  std::string file = dir.Write("f", "old");
  RunCases({
      {"OpenFile", {1, P("missing")}, "error 1045"},
      {"OpenFile", {1, ""}, "error 1055"},
      {"OpenFile", {1, file, 7}, "error 1055"},
      {"OpenFile", {1, file, kReadWrite}, ""},
      {"FileLength", {1}, "3"},
      {"Seek", {1, -1}, ""},
      {"WriteString", {1, "er"}, ""},
      {"FileLength", {1}, "5"},
      {"OpenFile", {1, file, kWrite}, ""},  // the number in use is closed first
      {"FileLength", {1}, "0"},
      {"OpenFile", {nullptr, file}, "handle"},
      {"OpenFile", {1}, "error 1014"},
  });
  EXPECT_EQ(CountFileHandles(L), 2);
}

TEST_F(DosLibTest, LinesDropCarriageReturnsAndEmptyLinesAreEmpty) {
  std::string file = dir.Write("lines", "ab\r\ncd\n\n\r\nlast");
  RunCases({
      {"OpenFile", {1, file}, ""},
      {"ReadLine", {1}, inQuotes("ab")},
      {"ReadLine", {1}, inQuotes("cd")},
      {"ReadLine", {1}, inQuotes("")},
      {"ReadLine", {1}, inQuotes("")},
      {"ReadLine", {1}, inQuotes("last")},
      {"ReadLine", {1}, "error 1242"},
  });
}

TEST_F(DosLibTest, NamesAndPathParts) {
  std::string file = dir.Write("file.txt", "12345");
  std::string chunk = MakeChunkName("inner.txt", 1, 3, 0, file.c_str());
  RunCases({
      {"Exists", {file}, "1"},
      {"Exists", {P("none")}, "0"},
      {"Exists", {""}, "error 1055"},
      {"Exists", {chunk}, "1"},
      {"FileSize", {file}, "5"},
      {"FileSize", {P("none")}, "-1"},
      {"FileSize", {chunk}, "3"},
      {"PathPart", {"a/b/c.txt"}, inQuotes("a/b/")},
      {"PathPart", {"c.txt"}, inQuotes("")},
      {"PathPart", {"vol:c.txt"}, inQuotes("vol:")},
      {"PathPart", {"/c.txt"}, inQuotes("/")},
      {"PathPart", {chunk}, "error 1055"},
      {"FilePart", {"a/b/c.txt"}, inQuotes("c.txt")},
      {"FilePart", {chunk}, inQuotes("inner.txt")},
      {"FullPath", {Arg("a"), "b"}, inQuotes("a/b")},
      {"FullPath", {Arg("a/"), "b"}, inQuotes("a/b")},
      {"FullPath", {Arg(""), "b"}, inQuotes("b")},
      {"IsDirectory", {dir.path()}, "1"},
      {"IsDirectory", {file}, "0"},
      {"IsDirectory", {P("none")}, "error 1286"},
      {"DefineVirtualFile", {file, 1, 0, "x"}, "error 1055"},
      {"DefineVirtualFile", {"", 1, 3, "x"}, "error 1055"},
      {"DefineVirtualFile", {file, 1, 3, "dir/inner.txt"}, inQuotes(chunk)},
      {"OpenFile", {1, chunk}, ""},
      {"ReadString", {1, 3}, inQuotes("234")},
      {"Eof", {1}, "1"},
      {"OpenFile", {2, chunk, kWrite}, "error 1045"},
      {"MakeDirectory", {P("m/n/o")}, ""},
      {"IsDirectory", {P("m/n/o")}, "1"},
      {"MakeDirectory", {P("m/n/o")}, ""},
      {"MakeDirectory", {file + "/sub"}, "error 1084"},
      {"Rename", {file, "renamed.txt"}, ""},
      {"Exists", {P("renamed.txt")}, "1"},
      {"Rename", {P("none"), "x"}, "error 1145"},
      {"Rename", {chunk, "x"}, "error 1055"},
      {"ChangeDirectory", {P("none")}, "error 1250"},
  });
  ASSERT_EQ(Call("GetCurrentDirectory", {}), inQuotes(fs::current_path().string()));
}

TEST_F(DosLibTest, FilesLinkedIntoTheAppletAreReadFromIt) {
  std::string container = dir.Write("applet.vka", "....linked data....");
  vkApplet applet;
  applet.baseOffset = 2;
  applet.linkedFiles.push_back({"pics/Linked.txt", 2, 11, ""});
  vkProgramContext context;
  context.scriptPath = container;
  vmSetRegistryPointer(L, "applet", &applet);
  vmSetRegistryPointer(L, "clargs", &context);
  fs::create_directory(P("pics"));
  dir.Write("pics/Linked.txt", "on disk");
  RunCases({
      {"OpenFile", {1, "PICS/LINKED.TXT"}, ""},
      {"ReadString", {1, 11}, inQuotes("linked data")},
      {"Eof", {1}, "1"},
      {"OpenFile", {2, P("pics/Linked.txt")}, ""},  // names not in the list are files
      {"ReadString", {2, 7}, inQuotes("on disk")},
  });
  vmSetRegistryPointer(L, "applet", nullptr);
  vmSetRegistryPointer(L, "clargs", nullptr);
}

TEST_F(DosLibTest, ProgDirNamesLockAndScan) {
  // The test binary's folder holds the test binaries themselves.
  fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
  std::string leaf = fs::read_symlink("/proc/self/exe").filename().string();
  RunCases({
      {"Exists", {"PROGDIR:" + leaf}, "1"},
      {"IsDirectory", {"PROGDIR:"}, "1"},
      {"FileSize", {"PROGDIR:" + leaf}, std::to_string(fs::file_size(exeDir / leaf))},
  });
  ASSERT_EQ(CallWith("ReadDirectory", [&] {
              vmPushString(L, "PROGDIR:");
              vmNewTable(L);
              vmNewTable(L);
            }),
            0);
  EXPECT_NE(ListAt(2).find(inQuotes(leaf)), std::string::npos);
}

TEST_F(DosLibTest, ReadDirectorySortsAndEndsEachListWithTheEmptyString) {
  for (const char* name : {"b", "a", "C"}) dir.Write(name, "");
  fs::create_directory(P("zdir"));
  fs::create_directory(P("Adir"));
  ASSERT_EQ(CallWith("ReadDirectory", [&] {
              vmPushString(L, dir.path().c_str());
              vmNewTable(L);
              vmNewTable(L);
            }),
            0);
  EXPECT_EQ(vmToNumber(L, 4), 3);
  EXPECT_EQ(vmToNumber(L, 5), 2);
  EXPECT_EQ(ListAt(2), R"("a","b","C","")");
  EXPECT_EQ(ListAt(3), R"("Adir","zdir","")");

  ASSERT_EQ(CallWith("ReadDirectory", [&] {
              vmPushString(L, P("zdir").c_str());
              vmNewTable(L);
              vmNewTable(L);
              vmPushNumber(L, 0);
            }),
            0);
  EXPECT_EQ(ListAt(2), R"("")");
  RunCases({
      {"ReadDirectory", {P("none"), Arg::table(), Arg::table()}, "error 1286"},
      {"ReadDirectory", {P("b"), Arg::table(), Arg::table()}, "error 1250"},
      {"ReadDirectory", {dir.path(), 1, Arg::table()}, "error 1140"},
  });
}

TEST_F(DosLibTest, DirectoryScansEndOnce) {
  dir.Write("only", "xyz");
  ASSERT_EQ(Call("OpenDirectory", {nullptr, dir.path()}), "handle");
  void* handle = vmToUserdata(L, 1);
  ASSERT_EQ(CallWith("NextDirectoryEntry", [&] { vmPushLightUserdata(L, handle); }), 0);
  ASSERT_EQ(vmType(L, 2), VK_TTABLE);
  EXPECT_EQ(Field(2, "name"), "only");
  EXPECT_EQ(Field(2, "type"), "0");
  EXPECT_EQ(Field(2, "size"), "3");
  RunCases({
      {"NextDirectoryEntry", {Arg::handle(handle)}, ""},
      {"NextDirectoryEntry", {Arg::handle(handle)}, ""},
      {"CloseDirectory", {Arg::handle(handle)}, ""},
      {"CloseDirectory", {Arg::handle(handle)}, "error 1041"},
      {"NextDirectoryEntry", {3}, "error 1318"},
      {"OpenDirectory", {3, P("none")}, "error 1286"},
      {"OpenDirectory", {3, P("only")}, "error 1250"},
      {"OpenDirectory", {3, dir.path()}, ""},
  });
  EXPECT_EQ(CountDirectoryHandles(L), 1);
}

TEST_F(DosLibTest, AttributesAndDates) {
  std::string file = dir.Write("attr", "abc");
  ASSERT_EQ(CallWith("SetFileAttributes", [&] {
              vmPushString(L, file.c_str());
              vmNewTable(L);
              SetFieldNumber(L, "flags", 1 | 2 | 512);
              SetFieldString(L, "time", "05-mar-2031 06:07:08");
            }),
            0);
  ASSERT_EQ(CallWith("GetFileAttributes", [&] { vmPushString(L, file.c_str()); }), 0);
  EXPECT_EQ(Field(2, "path"), file);
  EXPECT_EQ(Field(2, "type"), "0");
  EXPECT_EQ(Field(2, "size"), "3");
  EXPECT_EQ(Field(2, "flags"), "515");
  EXPECT_EQ(Field(2, "time"), "05-Mar-2031 06:07:08");
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  struct Case {
    const char* text;
    int code;
  };
  const Case dates[] = {
      {"29-Feb-2020 12:00:00", 0},  // a leap day
      {"31-Dec-2105 23:59:59", 0},  // years in full
      {"01-Jan", 1285},              // too short: nothing read past the end
      {"", 1285},
      {"01/Jan-2020 00:00:00", 1285},
      {"01-Jan-2020 00.00:00", 1285},
      {"32-Jan-2020 00:00:00", 1285},
      {"00-Jan-2020 00:00:00", 1285},
      {"01-Jax-2020 00:00:00", 1285},
      {"01-Jan-2020 24:00:00", 1285},
      {"01-Jan-2020 00:60:00", 1285},
      {"01-Jan-2020 00:00:60", 1285},
      {"30-Feb-2020 00:00:00", 1285},  // never carried into March
      {"29-Feb-2021 00:00:00", 1285},
      {"31-Apr-2020 00:00:00", 1285},
  };
  for (const Case& c : dates) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(CallWith("SetFileAttributes", [&] {
                vmPushString(L, file.c_str());
                vmNewTable(L);
                SetFieldString(L, "lastaccesstime", c.text);
              }),
              c.code);
  }
  ASSERT_EQ(CallWith("GetFileAttributes", [&] { vmPushString(L, file.c_str()); }), 0);
  EXPECT_EQ(Field(2, "lastaccesstime"), "31-Dec-2105 23:59:59");
  RunCases({
      {"GetFileAttributes", {P("none")}, "error 1286"},
      {"SetFileAttributes", {P("none"), Arg::table()}, "error 1286"},
      {"SetFileAttributes", {MakeChunkName("x", 0, 1, 0, file.c_str()), Arg::table()}, "error 1055"},
  });
}

// A tree: top/{a, b (protected), sub/{c}, link -> outside/, loop -> top,
// dangling -> a missing file}.
struct Tree {
  std::string top, outside;
  explicit Tree(const ScratchDir& dir) : top(dir / "top"), outside(dir / "outside") {
    fs::create_directories(top + "/sub");
    fs::create_directories(outside);
    dir.Write("top/a", "aaaa");
    dir.Write("top/b", "bb");
    dir.Write("top/sub/c", "c");
    dir.Write("outside/keep", "keep");
    fs::permissions(top + "/b", fs::perms::owner_write, fs::perm_options::remove);
    fs::create_directory_symlink(outside, top + "/link");
    fs::create_directory_symlink(top, top + "/loop");
    fs::create_symlink(dir / "nowhere", top + "/dangling");
  }
};

TEST_F(DosLibTest, DeleteNeverFollowsLinksAndSkipsProtectedFiles) {
  Tree tree(dir);
  RunCases({{"DeleteFile", {tree.top}, ""}});
  EXPECT_TRUE(fs::exists(tree.outside + "/keep"));  // the linked folder's contents survive
  EXPECT_FALSE(fs::exists(tree.top + "/a"));
  EXPECT_FALSE(fs::exists(tree.top + "/sub"));
  EXPECT_FALSE(fs::is_symlink(tree.top + "/link"));
  EXPECT_FALSE(fs::is_symlink(tree.top + "/dangling"));
  EXPECT_TRUE(fs::exists(tree.top + "/b"));  // protected, no callback: left alone
  RunCases({
      {"DeleteFile", {P("missing")}, ""},
      {"DeleteFile", {""}, "error 1055"},
      {"DeleteFile", {tree.top, 5}, "error 1185"},
  });

  // A link named itself is removed, not what it points to.
  fs::create_directory_symlink(tree.outside, P("alias"));
  RunCases({{"DeleteFile", {P("alias")}, ""}});
  EXPECT_FALSE(fs::is_symlink(P("alias")));
  EXPECT_TRUE(fs::exists(tree.outside + "/keep"));

  // A trailing separator empties the folder and keeps it.
  RunCases({{"DeleteFile", {tree.outside + "/"}, ""}});
  EXPECT_TRUE(fs::is_directory(tree.outside));
  EXPECT_TRUE(fs::is_empty(tree.outside));
}

TEST_F(DosLibTest, DeleteCallbacksSkipAndAbort) {
  struct Case {
    const char* what;
    bool protect;
    std::vector<double> answers;
    std::vector<std::string> calls;
    bool left;
  };
  const Case cases[] = {
      {"announced and deleted", false, {}, {"0 f ud=u"}, false},
      {"abort at the status call", false, {1}, {"0 f ud=u"}, true},
      {"skip the protected file", true, {0}, {"1 f ud=u"}, true},
      {"abort at the question", true, {-1}, {"1 f ud=u"}, true},
      {"unprotect and delete", true, {2, 0}, {"1 f ud=u", "0 f ud=u"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = dir.Write("f", "f");
    if (c.protect) fs::permissions(file, fs::perms::owner_write, fs::perm_options::remove);
    gCalls.clear();
    gAnswers = c.answers;
    EXPECT_EQ(Call("DeleteFile", {file, Arg::function(recordingCallback), "u"}), "");
    EXPECT_EQ(gCalls, c.calls);
    EXPECT_EQ(fs::exists(file), c.left);
    fs::remove(file);
  }

  // An abort ends the whole walk: one file announced, the rest left alone.
  fs::create_directories(P("d"));
  for (const char* name : {"a", "b", "c"}) dir.Write(std::string("d/") + name, "x");
  gCalls.clear();
  gAnswers = {1};
  EXPECT_EQ(Call("DeleteFile", {P("d"), Arg::function(recordingCallback)}), "");
  EXPECT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(P("d")), fs::directory_iterator()), 3);

  std::string e = dir.Write("e", "e");
  RunCases({
      {"DeleteFile", {e, Arg::function(failingCallback)}, "error 1234"},
      {"DeleteFile", {e, Arg::function(stringCallback)}, "error 1190"},
  });
  EXPECT_TRUE(fs::exists(e));
}

TEST_F(DosLibTest, CopyKeepsDataDatesAndNeverFollowsLinkedFolders) {
  Tree tree(dir);
  std::string copy = P("copy");
  RunCases({{"CopyFile", {tree.top, copy}, ""}});
  EXPECT_EQ(ReadWholeFile(copy + "/a"), "aaaa");
  EXPECT_EQ(ReadWholeFile(copy + "/sub/c"), "c");
  EXPECT_EQ(ReadWholeFile(copy + "/b"), "bb");
  EXPECT_FALSE(fs::exists(copy + "/link"));
  EXPECT_FALSE(fs::exists(copy + "/loop"));
  EXPECT_FALSE(fs::is_symlink(copy + "/dangling"));
  auto seconds = [](const std::string& f) {
    return std::chrono::floor<std::chrono::seconds>(fs::last_write_time(f).time_since_epoch()).count();
  };
  EXPECT_EQ(seconds(copy + "/a"), seconds(tree.top + "/a"));  // dates are kept to the second
  EXPECT_EQ(fs::status(copy + "/b").permissions() & fs::perms::owner_write, fs::perms::none);

  RunCases({
      {"CopyFile", {tree.top + "/a", copy, "renamed"}, ""},
      {"CopyFile", {tree.top, copy, "renamed"}, "error 1055"},
      {"CopyFile", {Arg(""), ""}, "error 1055"},
      {"CopyFile", {P("missing"), copy}, "error 1045"},
      {"CopyFile", {tree.top + "/a", tree.top}, ""},  // onto itself: nothing is lost
  });
  EXPECT_EQ(ReadWholeFile(copy + "/renamed"), "aaaa");
  EXPECT_EQ(ReadWholeFile(tree.top + "/a"), "aaaa");

  // A copy into a folder inside the source does not copy itself forever.
  RunCases({{"CopyFile", {tree.top + "/sub", tree.top + "/sub/inner"}, ""}});
  EXPECT_EQ(ReadWholeFile(tree.top + "/sub/inner/c"), "c");
  EXPECT_FALSE(fs::exists(tree.top + "/sub/inner/inner"));
}

TEST_F(DosLibTest, CopyCallbacksOverwriteUnprotectAndAbort) {
  std::string big(40000, 'x');
  std::string source = dir.Write("big", big);
  fs::create_directory(P("to"));
  gAnswers = {0, 1};  // go on after the first piece, abort after the second
  EXPECT_EQ(Call("CopyFile", {source, P("to"), "", Arg::function(recordingCallback)}), "");
  EXPECT_EQ(gCalls, (std::vector<std::string>{"0 big > big 16384/40000", "0 big > big 32768/40000"}));
  EXPECT_FALSE(fs::exists(P("to/big")));  // an aborted copy leaves nothing

  gCalls.clear();
  gAnswers = {1};
  EXPECT_EQ(Call("CopyFile", {source, P("to"), "", Arg::function(recordingCallback)}), "");
  EXPECT_FALSE(fs::exists(P("to/big")));  // abort at the first status call

  dir.Write("to/big", "old");
  fs::permissions(P("to/big"), fs::perms::owner_write, fs::perm_options::remove);
  RunCases({{"CopyFile", {source, P("to")}, ""}});
  EXPECT_EQ(ReadWholeFile(P("to/big")), "old");  // protected, no callback: skipped

  struct Case {
    const char* what;
    std::vector<double> answers;
    std::vector<std::string> calls;
    std::string content;
  };
  const Case cases[] = {
      {"keep the old file", {0}, {"1 big > big ud=7"}, "old"},
      {"abort at overwrite", {-1}, {"1 big > big ud=7"}, "old"},
      {"leave it protected", {2, 0}, {"1 big > big ud=7", "- - > big ud=7"}, "old"},
      {"unprotect and copy", {2, 2, 0, 0, 0}, {"1 big > big ud=7", "- - > big ud=7"}, big},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gCalls.clear();
    gAnswers = c.answers;
    EXPECT_EQ(Call("CopyFile", {source, P("to"), "", Arg::function(recordingCallback), 7}), "");
    gCalls.resize(std::min(gCalls.size(), c.calls.size()));
    ASSERT_EQ(gCalls.size(), c.calls.size());
    EXPECT_EQ(gCalls[0], c.calls[0]);
    EXPECT_EQ(ReadWholeFile(P("to/big")), c.content);
  }
}

TEST_F(DosLibTest, ExecuteAndRunPathsWithBlanks) {
  fs::create_directory(P("with blanks"));
  std::string program = P("with blanks/my tool");
  std::string marker = P("marker");
  dir.Write("with blanks/my tool", "#!/bin/sh\necho \"$@\" >> '" + marker + "'\n");
  fs::permissions(program, fs::perms::owner_all);
  RunCases({
      {"Execute", {"\"" + program + "\" one  two"}, ""},
      {"Execute", {"\"" + program}, "error 1055"},
      {"Execute", {"\"\" x"}, "error 1055"},
      {"Execute", {""}, "error 1055"},
  });
  EXPECT_EQ(ReadWholeFile(marker), "one two\n");

  // A program linked into a container is copied out once and run from there.
  std::string container = dir.Write("container", "HEAD" + ReadWholeFile(program));
  std::string chunk = MakeChunkName("tool", 4, static_cast<int64_t>(fs::file_size(program)), 0, container.c_str());
  RunCases({{"Execute", {chunk + " chunk"}, ""}, {"Execute", {chunk + " again"}, ""}});
  EXPECT_EQ(ReadWholeFile(marker), "one two\nchunk\nagain\n");

  RunCases({{"Run", {"\"" + program + "\" later"}, ""}});
  for (int i = 0; i < 200 && ReadWholeFile(marker).find("later") == std::string::npos; i++)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ReadWholeFile(marker), "one two\nchunk\nagain\nlater\n");
}

TEST_F(DosLibTest, CRC32AndPacksAgreeWithPythonZlib) {
  if (!havePython()) GTEST_SKIP() << "python3 not available";
  std::string data;
  for (int i = 0; i < 200000; i++) data += static_cast<char>((i * 7919) >> 5);
  std::string file = dir.Write("data", data);
  std::string crc = Call("CRC32", {file});
  std::string check = dir.Write("check.py",
      "import sys,zlib\n"
      "data=open(sys.argv[1],'rb').read()\n"
      "assert str(zlib.crc32(data))==sys.argv[2], (zlib.crc32(data), sys.argv[2])\n"
      "pack=open(sys.argv[3],'rb').read()\n"
      "assert pack[:8]==b'VKPK\\0\\0\\0\\0'\n"
      "assert zlib.decompress(pack[8:])==data\n"
      "assert int(sys.argv[4])==len(pack)\n");
  std::string packSize = Call("CompressFile", {file, P("pack")});
  EXPECT_EQ(std::system(("python3 " + check + " " + file + " " + crc + " " + P("pack") + " " + packSize).c_str()), 0);
  RunCases({
      {"DecompressFile", {P("pack"), P("back")}, std::to_string(data.size())},
      {"DecompressFile", {file, P("back2")}, "error 1310"},
      {"CompressFile", {P("missing"), P("x")}, "error 1045"},
      {"CRC32", {P("missing")}, "error 1045"},
      {"CRC32", {""}, "error 1055"},
      {"CRC32", {dir.Write("empty", "")}, "0"},
      {"CRC32", {dir.Write("abc", "123456789")}, "3421780262"},  // the standard check value
  });
  EXPECT_EQ(ReadWholeFile(P("back")), data);
}

TEST_F(DosLibTest, TemporaryNamesAreUniqueAndDeletedAtShutdown) {
  std::string a = Call("GetTempFileName", {}), b = Call("GetTempFileName", {});
  ASSERT_NE(a, b);
  std::string pathA = a.substr(1, a.size() - 2);
  EXPECT_TRUE(fs::exists(pathA));
  CloseAllDosObjects(L);
  EXPECT_FALSE(fs::exists(pathA));
}

TEST_F(DosLibTest, TablesAndFunctionsThroughTheCommands) {
  std::string file = P("records");
  ASSERT_EQ(Call("OpenFile", {1, file, kWrite}), "");
  ASSERT_EQ(CallWith("WriteTable", [&] {
              vmPushNumber(L, 1);
              vmNewTable(L);
              SetFieldString(L, "k", "v");
            }),
            0);
  RunCases({
      {"WriteTable", {1, 5}, "error 1140"},
      {"WriteFunction", {1, 5}, "error 1185"},
      {"WriteFunction", {1, Arg::function(stringCallback)}, "error 1324"},  // writes nothing
      {"ReadTable", {1}, "error 1142"},
      {"CloseFile", {1}, ""},
      {"OpenFile", {1, file}, ""},
      {"ReadFunction", {1}, "error 1322"},
      {"Seek", {1, 0}, ""},
      {"ReadTable", {1}, "{}"},
      {"Eof", {1}, "1"},
      {"ReadTable", {1}, "error 1242"},
  });
  ASSERT_EQ(CallWith("Seek", [&] { vmPushNumber(L, 1), vmPushNumber(L, 0); }), 0);
  ASSERT_EQ(CallWith("ReadTable", [&] { vmPushNumber(L, 1); }), 0);
  EXPECT_EQ(Field(2, "k"), "v");
}

TEST_F(DosLibTest, TheLibraryIsRegisteredWithItsConstants) {
  EXPECT_STREQ(FirstLibrary(L)->name.c_str(), "dos");
  int n = 0;
  while (kDosCommands[n].name) n++;
  EXPECT_EQ(n, 52);
  struct Case {
    const char* name;
    double value;
  };
  for (const Case& c : {Case{"MODE_READ", 1005}, Case{"EOF", -1}, Case{"FILEATTR_NORMAL", 65536},
                        Case{"FILEATTR_READONLY", 32768}, Case{"DOSTYPE_DIRECTORY", 1}, Case{"io_unbuffered", 1}}) {
    double v = 0;
    EXPECT_EQ(vmGetConstant(L, c.name, nullptr, &v), 1) << c.name;
    EXPECT_EQ(v, c.value) << c.name;
  }
}

}  // namespace
