// Linked-file chunk names: they round-trip through the builder and the
// parser, malformed names and unregistered memory are refused, a script's
// file name resolves to its linked file, and chunk locks behave as files.
#include "io/chunknames.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/errorinfo.h"

namespace {

TEST(ChunkNames, FileFormRoundTrips) {
  std::string name = MakeChunkName("gfx/pic.png", 100, 50, 1000, "/apps/my applet.vka");
  EXPECT_EQ(name, ":::chunk1100:50*pic.png//apps/my applet.vka");
  vkChunkName chunk;
  ASSERT_TRUE(ResolveChunkName(name.c_str(), &chunk));
  EXPECT_FALSE(chunk.inMemory);
  EXPECT_EQ(chunk.offset, 1100);
  EXPECT_EQ(chunk.size, 50);
  EXPECT_EQ(chunk.name, "pic.png");
  EXPECT_EQ(chunk.container, "/apps/my applet.vka");

  name = MakeChunkName("::font:Sans", 0, 7, 0, "c");
  ASSERT_TRUE(ResolveChunkName(name.c_str(), &chunk));
  EXPECT_EQ(chunk.name, "Sans");
}

TEST(ChunkNames, MemoryFormNamesRegisteredDataOnly) {
  const uint8_t data[16] = {1, 2, 3};
  int32_t key;
  std::string name;
  {
    vkMemoryChunk registration(data, sizeof data);
    key = registration.key();
    name = MakeChunkName("dir/blob.bin", -1, 16, key, nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, ":::chunkS%d:16*blob.bin/%x", key, key);
    EXPECT_EQ(name, expected);
    vkChunkName chunk;
    ASSERT_TRUE(ResolveChunkName(name.c_str(), &chunk));
    EXPECT_TRUE(chunk.inMemory);
    EXPECT_EQ(chunk.memory, data);
    EXPECT_EQ(chunk.size, 16);
    // More than was registered is refused.
    std::string tooBig = MakeChunkName("blob", -1, 17, key, nullptr);
    EXPECT_FALSE(ResolveChunkName(tooBig.c_str(), &chunk));
  }
  vkChunkName chunk;
  EXPECT_FALSE(ResolveChunkName(name.c_str(), &chunk));  // no longer registered
}

TEST(ChunkNames, MalformedNamesAreRefused) {
  const uint8_t data[4] = {};
  vkMemoryChunk registration(data, sizeof data);
  char wrongHex[64], trailing[64], unknownKey[64];
  std::snprintf(wrongHex, sizeof wrongHex, ":::chunkS%d:4*n/%x", registration.key(), registration.key() + 1);
  std::snprintf(trailing, sizeof trailing, ":::chunkS%d:4*n/%xg", registration.key(), registration.key());
  std::snprintf(unknownKey, sizeof unknownKey, ":::chunkS%d:4*n/%x", registration.key() + 100,
                registration.key() + 100);
  const char* cases[] = {
      "::chunk1:2*n/c",       ":::chunk",           ":::chunk12",
      ":::chunk12:",          ":::chunk12:5",       ":::chunk12:5*",
      ":::chunk12:5*name",    ":::chunk12:5*name/", ":::chunk-1:5*n/c",
      ":::chunk12:-5*n/c",    ":::chunk12:x*n/c",   ":::chunk12;5*n/c",
      ":::chunk:5*n/c",       ":::chunk99999999999999999999:1*n/c",
      ":::chunk1:99999999999999999999*n/c",
      ":::chunk9223372036854775807:1*n/c",
      ":::chunkS:4*n/1",      ":::chunkS1:4*n/",    ":::chunkS-1:4*n/-1",
      ":::chunkSx:4*n/1",     ":::chunkS99999999999:4*n/1",
      wrongHex,               trailing,             unknownKey,
  };
  for (const char* text : cases) {
    vkChunkName chunk;
    EXPECT_FALSE(ResolveChunkName(text, &chunk)) << text;
    EXPECT_FALSE(ChunkLock(text, VKOS_LOCK_READ)) << text;
  }
}

TEST(LinkedFiles, ResolveByNameAndKind) {
  std::string buffer;
  std::vector<vkLinkedFile> files = {
      {"Pics/Title.PNG", 10, 20, ""},
      {"::font:Vera", 30, 40, "/other/container"},
      {"sans.ttf", 50, 60, ""},
      {"inmemory.bin", -1, 8, ""},
  };
  struct Case {
    const char* fileName;
    int fontFlag;
    const char* result;  // NULL: the name comes back unchanged
    int outFlag;  // 99: left alone
  } cases[] = {
      {"pics/title.png", 0, ":::chunk110:20*Title.PNG//apps/a.vka", 0},
      {"Title.png", 0, nullptr, 99},  // the whole name must match
      {"vera", 1, ":::chunk130:40*Vera//other/container", 1},
      {"VERA.font", 1, ":::chunk130:40*Vera//other/container", 1},
      {"Vera", 0, nullptr, 99},  // fonts are found only as fonts
      {"SANS.TTF", 1, ":::chunk150:60*sans.ttf//apps/a.vka", 0},
      {"sans.ttf", 0, ":::chunk150:60*sans.ttf//apps/a.vka", 0},
      {"missing.iff", 0, nullptr, 99},
  };
  for (const Case& c : cases) {
    int outFlag = 99;
    const char* got = ResolveLinkedFileIn(buffer, files, 100, "/apps/a.vka", c.fileName, c.fontFlag, &outFlag);
    EXPECT_STREQ(got, c.result ? c.result : c.fileName) << c.fileName;
    if (!c.result) {
      EXPECT_EQ(got, c.fileName);
    }
    EXPECT_EQ(outFlag, c.outFlag) << c.fileName;
  }
  EXPECT_STREQ(ResolveLinkedFileIn(buffer, {}, 0, "x", "name", 0, nullptr), "name");
  // Data in memory that nobody registered: a memory name that opens nothing,
  // whatever is registered under the applet offset.
  const uint8_t data[8] = {};
  vkMemoryChunk registration(data, sizeof data);
  const char* name = ResolveLinkedFileIn(buffer, files, registration.key(), "/apps/a.vka", "INMEMORY.BIN", 0, nullptr);
  EXPECT_STREQ(name, ":::chunkS0:8*inmemory.bin/0");
  vkChunkName chunk;
  EXPECT_FALSE(ResolveChunkName(name, &chunk));
}

TEST(ChunkLocks, AChunkExaminesAsAFixedDatedFile) {
  vkChunkLockPtr lock = ChunkLock(":::chunk5000:100*song.mod//some/applet", VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  EXPECT_FALSE(lock->lock);
  vkFileInfo info;
  info.name = "stale";
  ASSERT_EQ(ChunkExamine(lock.get(), &info), 0);
  EXPECT_EQ(info.isDirectory, 0u);
  EXPECT_EQ(info.size, 100);
  EXPECT_EQ(info.protection, 15u);
  EXPECT_EQ(info.name, "");
  struct tm fields = {};
  fields.tm_mday = 16;
  fields.tm_mon = 8;
  fields.tm_year = 82;
  fields.tm_isdst = -1;
  time_t expected = mktime(&fields);
  EXPECT_EQ(info.modifyTime, expected);
  EXPECT_EQ(info.accessTime, expected);
  EXPECT_EQ(info.changeTime, expected);

  int isDir = 0;
  EXPECT_EQ(ChunkExamineDir(lock.get(), &isDir), 1250);
  EXPECT_EQ(ErrorInfo().errorText, ":::chunk5000:100*song.mod//some/applet");
  EXPECT_EQ(ChunkExamineNext(lock.get(), nullptr, nullptr, nullptr), 0);
}

TEST(ChunkLocks, PathOfAChunkIsInTheCurrentDirectory) {
  std::string cwd = std::filesystem::canonical(std::filesystem::current_path()).string();
  char buf[4096];
  vkChunkLockPtr named = ChunkLock(":::chunk1:2*song.mod/c", VKOS_LOCK_READ);
  ASSERT_EQ(ChunkLockPath(named.get(), buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), cwd + "/song.mod");
  vkChunkLockPtr unnamed = ChunkLock(":::chunk1:2*/c", VKOS_LOCK_READ);
  ASSERT_EQ(ChunkLockPath(unnamed.get(), buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), cwd + "/unknown");
  EXPECT_EQ(ChunkLockPath(named.get(), buf, 4), 0);
}

TEST(ChunkLocks, OtherNamesUseThePlatform) {
  vkChunkLockPtr lock = ChunkLock(".", VKOS_LOCK_READ);
  ASSERT_TRUE(lock);
  ASSERT_TRUE(lock->lock);
  int isDir = 0;
  EXPECT_EQ(ChunkExamineDir(lock.get(), &isDir), 0);
  EXPECT_EQ(isDir, 1);
  char buf[4096];
  ASSERT_EQ(ChunkLockPath(lock.get(), buf, sizeof buf), 1);
  EXPECT_EQ(std::string(buf), std::filesystem::canonical(".").string());
  EXPECT_FALSE(ChunkLock("/no/such/file", VKOS_LOCK_READ));
}

}  // namespace
