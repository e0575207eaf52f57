// The POSIX file layer: locks, examination, directory scans with names
// converted from UTF-8, bounded path copies, rename, delete, protection bits,
// dates, directories and the current directory.
#include "base/errorcodes.h"
#include "platform/vkos_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <tuple>

#include "../common/scratchdir.h"
#include "base/errorinfo.h"

namespace {

std::string Cwd() { return std::filesystem::current_path().string(); }

// Restores the current directory when a test changed it.
struct CwdGuard {
  std::string saved = Cwd();
  ~CwdGuard() { std::filesystem::current_path(saved); }
};

std::string NameOf(vkOSLock* lock) {
  char buf[4096];
  EXPECT_EQ(vkosNameFromLock(lock, buf, sizeof buf), 0);
  return buf;
}

TEST(Locks, EmptyPathLocksTheCurrentDirectory) {
  vkOSLockPtr lock = vkosLockFile("", VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  EXPECT_EQ(NameOf(lock.get()), std::filesystem::canonical(Cwd()).string());
  EXPECT_NE(lock->dir, nullptr);
}

TEST(Locks, ProgDirNamesTheExecutablesFolderInEveryOperation) {
  std::filesystem::path exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  std::string leaf = "vk-progdir-lock-" + std::to_string(getpid());
  std::filesystem::create_directory(exeDir / leaf);
  vkOSLockPtr dir = vkosLockFile("PROGDIR:", VKOS_LOCK_READ);
  ASSERT_TRUE(dir);
  EXPECT_EQ(NameOf(dir.get()), exeDir.string());
  vkOSLockPtr sub = vkosLockFile(("PROGDIR:" + leaf).c_str(), VKOS_LOCK_READ);
  ASSERT_TRUE(sub);
  EXPECT_EQ(NameOf(sub.get()), (exeDir / leaf).string());
  sub.reset();
  EXPECT_EQ(vkosDeleteFile(("PROGDIR:" + leaf).c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(exeDir / leaf));
}

TEST(Locks, RefusesWriteLocksMissingPathsFifosAndDevices) {
  ScratchDir dir;
  std::string file = dir.Write("f", "x");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(vkosLockFile(file.c_str(), VKOS_LOCK_WRITE));
  EXPECT_FALSE(vkosLockFile((dir / "missing").c_str(), VKOS_LOCK_READ));
  EXPECT_FALSE(vkosLockFile((dir / "fifo").c_str(), VKOS_LOCK_READ));
  EXPECT_FALSE(vkosLockFile("/dev/null", VKOS_LOCK_READ));
  EXPECT_TRUE(vkosLockFile(file.c_str(), VKOS_LOCK_READ));
}

TEST(Locks, ExamineGivesSizeKindAndProtection) {
  ScratchDir dir;
  std::string file = dir.Write("a:data.bin", std::string(1234, 'a'));
  ASSERT_EQ(chmod(file.c_str(), 0751), 0);
  vkOSLockPtr lock = vkosLockFile(file.c_str(), VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  vkFileInfo info;
  ASSERT_EQ(vkosExamineLock(lock.get(), &info), 0);
  EXPECT_EQ(info.isDirectory, 0u);
  EXPECT_EQ(info.size, 1234);
  EXPECT_EQ(info.protection, FILEATTR_READ_USR | FILEATTR_WRITE_USR | FILEATTR_EXECUTE_USR |
                                 FILEATTR_READ_GRP | FILEATTR_EXECUTE_GRP | FILEATTR_EXECUTE_OTH);
  EXPECT_EQ(info.name, "a:data.bin");

  vkOSLockPtr dirLock = vkosLockFile(dir.path().c_str(), VKOS_LOCK_READ);
  ASSERT_EQ(vkosExamineLock(dirLock.get(), &info), 0);
  EXPECT_EQ(info.isDirectory, 1u);
}

TEST(Locks, NameFromLockIsBoundedAndConvertsToLatin1) {
  ScratchDir dir;
  dir.Write("caf\xc3\xa9", "x");  // UTF-8 on disk
  std::string latin1 = dir / "caf\xe9";
  vkOSLockPtr lock = vkosLockFile(latin1.c_str(), VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  std::vector<char> exact(latin1.size() + 1, 'x');
  EXPECT_EQ(vkosNameFromLock(lock.get(), exact.data(), exact.size()), 0);
  EXPECT_EQ(std::string(exact.data()), latin1);
  std::vector<char> tooSmall(latin1.size(), 'x');
  EXPECT_EQ(vkosNameFromLock(lock.get(), tooSmall.data(), tooSmall.size()), kErrNameTooLong);
  EXPECT_EQ(tooSmall[0], 0);
}

TEST(DirScan, ListsEntriesWithKindsAndLatin1Names) {
  ScratchDir dir;
  dir.Write("a.txt", "1");
  dir.Write("caf\xc3\xa9", "22");
  dir.Write("\xe2\x82\xac", "");  // the euro sign has no ISO 8859-1 form: raw name
  std::filesystem::create_directory(dir / "sub");
  vkOSLockPtr lock = vkosLockFile(dir.path().c_str(), VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  int isDir = 0;
  ASSERT_EQ(vkosBeginDirScan(lock.get(), &isDir), 0);
  EXPECT_EQ(isDir, 1);

  std::map<std::string, std::pair<int, int64_t>> seen;
  const char* name;
  vkFileInfo info;
  while (vkosExamineNext(lock.get(), &name, &isDir, &info)) {
    EXPECT_EQ(info.name, name);
    seen[name] = {isDir, isDir ? -1 : info.size};
  }
  vkosEndDirScan(lock.get());
  std::map<std::string, std::pair<int, int64_t>> expected = {
      {"a.txt", {0, 1}}, {"caf\xe9", {0, 2}}, {"\xe2\x82\xac", {0, 0}}, {"sub", {1, -1}}};
  EXPECT_EQ(seen, expected);
}

TEST(DirScan, LinksAreMarkedAndDescribedByTheirTargets) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "real");
  dir.Write("file", "123");
  std::filesystem::create_directory_symlink(dir / "real", dir / "todir");
  std::filesystem::create_symlink(dir / "file", dir / "tofile");
  std::filesystem::create_symlink(dir / "missing", dir / "dangling");
  vkOSLockPtr lock = vkosLockFile(dir.path().c_str(), VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  int isDir = 0;
  ASSERT_EQ(vkosBeginDirScan(lock.get(), &isDir), 0);
  std::map<std::string, std::tuple<int, uint32_t, int64_t>> seen;
  const char* name;
  vkFileInfo info;
  while (vkosExamineNext(lock.get(), &name, &isDir, &info)) seen[name] = {isDir, info.isLink, isDir ? -1 : info.size};
  EXPECT_EQ(std::get<0>(seen["todir"]), 1);
  EXPECT_EQ(std::get<1>(seen["todir"]), 1u);
  EXPECT_EQ(seen["tofile"], std::make_tuple(0, 1u, int64_t{3}));
  EXPECT_EQ(std::get<0>(seen["dangling"]), 0);  // listed, so that walks can remove it
  EXPECT_EQ(std::get<1>(seen["dangling"]), 1u);
  EXPECT_EQ(std::get<1>(seen["real"]), 0u);
  EXPECT_EQ(vkosIsSymbolicLink((dir / "todir").c_str()), 1);
  EXPECT_EQ(vkosIsSymbolicLink((dir / "real").c_str()), 0);
  EXPECT_EQ(vkosIsSymbolicLink((dir / "missing").c_str()), 0);
}

TEST(DirScan, AFileIsNotADirectory) {
  ScratchDir dir;
  std::string file = dir.Write("plain", "x");
  vkOSLockPtr lock = vkosLockFile(file.c_str(), VKOS_LOCK_READ);
  int isDir = 7;
  EXPECT_EQ(vkosBeginDirScan(lock.get(), &isDir), 1250);
  EXPECT_EQ(ErrorInfo().errorText, file);
  EXPECT_EQ(vkosExamineNext(lock.get(), nullptr, nullptr, nullptr), 0);
}

TEST(Paths, TextCrossesBetweenLatin1AndUtf8) {
  struct Case {
    const char* latin1;
    const char* fs;
  } cases[] = {
      {"plain/name.txt", "plain/name.txt"},
      {"caf\xe9/\xff\xa0", "caf\xc3\xa9/\xc3\xbf\xc2\xa0"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vkosToFileSystemPath(c.latin1), c.fs) << c.latin1;
    EXPECT_EQ(vkosUtf8ToLatin1(c.fs), c.latin1) << c.latin1;
  }
  EXPECT_EQ(vkosToFileSystemPath("a\\b\\c.txt"), "a/b/c.txt");
  EXPECT_EQ(vkosLatin1ToUtf8("a\\b"), "a\\b");
  std::string longPath(1100, '\\');
  EXPECT_EQ(vkosToFileSystemPath(longPath.c_str()), longPath);  // long paths keep backslashes
  const char* notLatin1[] = {"\xe2\x82\xac", "\xc3", "\xc1\x81", "\x80", "a\xc3(b"};
  for (const char* text : notLatin1) EXPECT_FALSE(vkosUtf8ToLatin1(text)) << text;
}

TEST(Paths, FullPath) {
  ScratchDir dir;
  CwdGuard guard;
  std::filesystem::current_path(dir.path());
  dir.Write("here", "x");
  char buf[4096];
  struct Case {
    std::string in, out;
  } cases[] = {
      {"here", dir / "here"},
      {"./here", dir / "here"},
      {"not/yet", dir / "not/yet"},
      {"/no/such/place", "/no/such/place"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(vkosFullPath(c.in.c_str(), buf, sizeof buf), 0) << c.in;
    EXPECT_EQ(std::string(buf), c.out) << c.in;
  }
  EXPECT_EQ(vkosFullPath("here", buf, 4), kErrNameTooLong);
  EXPECT_EQ(buf[0], 0);
}

TEST(Operations, RenameDeleteAndMakeDir) {
  ScratchDir dir;
  std::string a = dir.Write("a", "content"), b = dir / "b b";
  EXPECT_EQ(vkosRename(a.c_str(), b.c_str()), 0);
  EXPECT_EQ(ReadWholeFile(b), "content");
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_EQ(vkosRename(a.c_str(), b.c_str()), kErrRename);

  std::string sub = dir / "sub\xe9";  // ISO 8859-1 name, UTF-8 on disk
  EXPECT_EQ(vkosMakeDir(sub.c_str()), 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "sub\xc3\xa9"));
  EXPECT_EQ(vkosMakeDir(sub.c_str()), 1084);
  EXPECT_EQ(ErrorInfo().errorText, sub);

  std::ofstream(dir / "sub\xc3\xa9/inner") << "x";
  std::string inner = sub + "/inner";
  EXPECT_EQ(vkosDeleteFile(sub.c_str()), kErrDeleteFile);  // not empty
  EXPECT_EQ(vkosDeleteFile(inner.c_str()), 0);
  EXPECT_EQ(vkosDeleteFile(sub.c_str()), 0);
  EXPECT_EQ(vkosDeleteFile(b.c_str()), 0);
  EXPECT_EQ(vkosDeleteFile(b.c_str()), kErrDeleteFile);
}

TEST(Operations, SetProtectionMapsBits) {
  ScratchDir dir;
  std::string file = dir.Write("p", "x");
  struct Case {
    uint32_t bits;
    mode_t mode;
  } cases[] = {
      {FILEATTR_READ_USR | FILEATTR_WRITE_USR, 0600},
      {FILEATTR_READ_USR | FILEATTR_EXECUTE_USR | FILEATTR_READ_GRP | FILEATTR_WRITE_GRP |
           FILEATTR_EXECUTE_GRP | FILEATTR_READ_OTH | FILEATTR_WRITE_OTH | FILEATTR_EXECUTE_OTH,
       0577},
      {FILEATTR_NORMAL, 0644},
      {FILEATTR_NORMAL | FILEATTR_EXECUTE_OTH | FILEATTR_WRITE_GRP, 0644},
      {0, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(vkosSetProtection(file.c_str(), c.bits), 0);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.mode) << c.bits;
  }
  EXPECT_EQ(vkosSetProtection((dir / "missing").c_str(), FILEATTR_NORMAL), kErrSetAttributes);
}

TEST(Operations, SetFileDate) {
  ScratchDir dir;
  std::string file = dir.Write("d", "x");
  ASSERT_EQ(vkosSetFileDate(file.c_str(), 1000000000, 400000000), 0);
  vkOSLockPtr lock = vkosLockFile(file.c_str(), VKOS_LOCK_READ);
  vkFileInfo info;
  ASSERT_EQ(vkosExamineLock(lock.get(), &info), 0);
  EXPECT_EQ(info.accessTime, 1000000000);
  EXPECT_EQ(info.modifyTime, 400000000);
  EXPECT_EQ(vkosSetFileDate((dir / "missing").c_str(), 1, 1), kErrSetDate);
}

TEST(Operations, ChangeDirReportsFailure) {
  ScratchDir dir;
  CwdGuard guard;
  std::string before = Cwd();
  std::optional<std::string> previous = vkosChangeDir(dir.path().c_str());
  ASSERT_TRUE(previous);
  EXPECT_EQ(*previous, before);
  EXPECT_EQ(Cwd(), dir.path());

  std::string missing = dir / "missing";
  EXPECT_FALSE(vkosChangeDir(missing.c_str()));
  EXPECT_EQ(ErrorInfo().errorText, missing);
  EXPECT_EQ(Cwd(), dir.path());
}

TEST(Operations, FixedAnswers) {
  char buf[32];
  EXPECT_EQ(vkosGetVolumeName("/", buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "unimplemented");
  int64_t freeSpace = 5, usedSpace = 5;
  EXPECT_EQ(vkosGetVolumeInfo("/", &freeSpace, &usedSpace), 0);
  EXPECT_EQ(freeSpace, 0);
  EXPECT_EQ(usedSpace, 0);
  EXPECT_EQ(vkosMatchPattern(vkosAllocPattern(), "x"), 0);
}

}  // namespace
