// Buffered file handles: reads and writes across the stream's block
// boundaries, seeks from each origin returning the old position, update
// handles switching between reading and writing, linked files in a container
// and in memory, and "PROGDIR:" names.
#include "io/filehandles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "../common/scratchdir.h"
#include "io/chunknames.h"

namespace {

std::string Pattern(size_t n) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

TEST(FileHandles, ReadsAcrossBlockBoundaries) {
  ScratchDir dir;
  std::string data = Pattern(40000);
  std::string path = dir.Write("data", data);
  vkFilePtr file = OpenStream(path.c_str(), VKFILE_READ);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->size, 40000);
  std::string got;
  const uint32_t pieces[] = {1, 4095, 4097, 8191, 1, 8192, 8193};
  for (uint32_t n : pieces) {
    std::string buf(n, 0);
    ASSERT_EQ(ReadStream(file.get(), buf.data(), n), n);
    got += buf;
    int byte = ReadStreamByte(file.get());
    ASSERT_GE(byte, 0);
    got += static_cast<char>(byte);
    EXPECT_EQ(SeekStream(file.get(), 0, VKSEEK_CURRENT), static_cast<int64_t>(got.size()));
  }
  std::string rest(40000, 0);
  uint32_t n = ReadStreamBytes(file.get(), rest.data(), 40000);
  got += rest.substr(0, n);
  EXPECT_EQ(got, data);
  EXPECT_EQ(StreamAtEnd(file.get()), 1);
  EXPECT_EQ(ReadStreamByte(file.get()), -1);
  EXPECT_EQ(file->position, 40000);  // a failed byte read does not move the position
  EXPECT_EQ(CloseStream(file.release()), 1);
}

TEST(FileHandles, WritesAcrossBlockBoundaries) {
  ScratchDir dir;
  std::string data = Pattern(30000);
  std::string path = dir / "out";
  vkFilePtr file = OpenStream(path.c_str(), VKFILE_WRITE);
  ASSERT_TRUE(file);
  size_t at = 0;
  for (uint32_t n : {1u, 4095u, 8192u, 8193u, 3u}) {
    ASSERT_EQ(WriteStream(file.get(), data.data() + at, n), n);
    at += n;
    ASSERT_EQ(WriteStreamByte(file.get(), static_cast<unsigned char>(data[at])), static_cast<unsigned char>(data[at]));
    at++;
  }
  ASSERT_EQ(WriteStreamBytes(file.get(), data.data() + at, static_cast<uint32_t>(data.size() - at)), data.size() - at);
  EXPECT_EQ(file->position, 30000);
  EXPECT_EQ(StreamAtEnd(file.get()), 1);  // size unknown while writing
  EXPECT_EQ(FlushStream(file.get()), 1);
  EXPECT_EQ(CloseStream(file.release()), 1);
  EXPECT_EQ(ReadWholeFile(path), data);
}

TEST(FileHandles, SeeksFromEachOriginReturnTheOldPosition) {
  ScratchDir dir;
  std::string data = Pattern(1000);
  vkFilePtr file = OpenStream(dir.Write("data", data).c_str(), VKFILE_READ);
  ASSERT_TRUE(file);
  struct Case {
    int64_t offset;
    int whence;
    int64_t before, after;
  } cases[] = {
      {100, VKSEEK_START, 0, 100},  {50, VKSEEK_CURRENT, 100, 150}, {-20, VKSEEK_CURRENT, 150, 130},
      {-1, VKSEEK_END, 130, 999},   {0, VKSEEK_END, 999, 1000},     {7, 9, 1000, 7},  // other: absolute
      {-5, VKSEEK_START, 7, 7},     {0, VKSEEK_CURRENT, 7, 7},      // a failed seek keeps the position
      {INT64_MAX, VKSEEK_CURRENT, 7, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SeekStream(file.get(), c.offset, c.whence), c.before) << c.offset << "/" << c.whence;
    EXPECT_EQ(file->position, c.after);
    int expected = c.after < 1000 ? static_cast<unsigned char>(data[c.after]) : -1;
    EXPECT_EQ(ReadStreamByte(file.get()), expected);
    SeekStream(file.get(), c.after, VKSEEK_START);
  }
}

TEST(FileHandles, UpdateHandlesSwitchBetweenReadingAndWriting) {
  ScratchDir dir;
  std::string path = dir / "new";
  vkFilePtr file = OpenStream(path.c_str(), VKFILE_UPDATE);  // a missing file is created
  ASSERT_TRUE(file);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(StreamAtEnd(file.get()), 1);
  ASSERT_EQ(WriteStream(file.get(), "abcdef", 6), 6u);
  SeekStream(file.get(), 1, VKSEEK_START);
  char buf[2];
  ASSERT_EQ(ReadStream(file.get(), buf, 2), 2u);
  EXPECT_EQ(std::string(buf, 2), "bc");
  ASSERT_EQ(WriteStream(file.get(), "XY", 2), 2u);  // write straight after a read: at 3
  EXPECT_EQ(file->position, 5);
  EXPECT_EQ(ReadStreamByte(file.get()), 'f');  // read straight after a write: at 5
  EXPECT_EQ(SeekStream(file.get(), -2, VKSEEK_END), 6);  // end of an update handle: from the stream
  EXPECT_EQ(file->position, 4);
  EXPECT_EQ(WriteStreamByte(file.get(), 'Z'), 'Z');
  file.reset();
  EXPECT_EQ(ReadWholeFile(path), "abcXZf");
}

TEST(FileHandles, OpenFailures) {
  ScratchDir dir;
  EXPECT_FALSE(OpenStream((dir / "missing").c_str(), VKFILE_READ));
  EXPECT_FALSE(OpenStream(dir.path().c_str(), VKFILE_READ));  // a directory
  EXPECT_FALSE(OpenStream(dir.path().c_str(), VKFILE_UPDATE));
  EXPECT_FALSE(OpenStream((dir / "no/such/dir").c_str(), VKFILE_WRITE));
  EXPECT_FALSE(OpenStream((dir / "no/such/dir").c_str(), VKFILE_UPDATE));
  std::string container = dir.Write("c", "data");
  std::string chunk = MakeChunkName("x", 0, 4, 0, container.c_str());
  EXPECT_TRUE(OpenStream(chunk.c_str(), VKFILE_READ));
  EXPECT_FALSE(OpenStream(chunk.c_str(), VKFILE_WRITE));
  EXPECT_FALSE(OpenStream(chunk.c_str(), VKFILE_UPDATE));
  EXPECT_FALSE(OpenStream(":::chunk0:4*x", VKFILE_READ));
  EXPECT_FALSE(OpenStream(MakeChunkName("x", 0, 4, 0, (dir / "none").c_str()).c_str(), VKFILE_READ));
}

TEST(FileHandles, FileChunkStaysInsideItsRange) {
  ScratchDir dir;
  std::string data = Pattern(6000);
  std::string container = dir.Write("my applet.vka", data);
  std::string name = MakeChunkName("pic.iff", 4000, 100, 1000, container.c_str());
  vkFilePtr file = OpenStream(name.c_str(), VKFILE_READ);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->isChunk, 1u);
  EXPECT_EQ(file->chunkBase, 5000);
  EXPECT_EQ(ReadStreamByte(file.get()), static_cast<unsigned char>(data[5000]));
  EXPECT_EQ(SeekStream(file.get(), 0, VKSEEK_END), 1);
  EXPECT_EQ(file->position, 100);
  EXPECT_EQ(StreamAtEnd(file.get()), 1);
  SeekStream(file.get(), 50, VKSEEK_START);
  char buf[200];
  ASSERT_EQ(ReadStream(file.get(), buf, 200), 50u);
  EXPECT_EQ(std::string(buf, 50), data.substr(5050, 50));
  EXPECT_TRUE(file->pastEnd);
  EXPECT_EQ(ReadStreamByte(file.get()), -1);
  EXPECT_EQ(file->position, 100);
  SeekStream(file.get(), 500, VKSEEK_START);
  EXPECT_EQ(file->position, 100);
  SeekStream(file.get(), -500, VKSEEK_CURRENT);
  EXPECT_EQ(file->position, 0);
  SeekStream(file.get(), 5020, 7);  // other origin: absolute in the container
  EXPECT_EQ(file->position, 20);
  EXPECT_EQ(ReadStreamByte(file.get()), static_cast<unsigned char>(data[5020]));
}

TEST(FileHandles, MemoryChunkReadsOnlyItsData) {
  std::string data = Pattern(300);
  vkMemoryChunk registration(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  std::string name = MakeChunkName("blob", -1, 200, registration.key(), nullptr);
  vkFilePtr file = OpenStream(name.c_str(), VKFILE_READ);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->stream, nullptr);
  char buf[256];
  SeekStream(file.get(), -10, VKSEEK_END);
  ASSERT_EQ(ReadStream(file.get(), buf, 256), 10u);
  EXPECT_EQ(std::string(buf, 10), data.substr(190, 10));
  SeekStream(file.get(), -1000, VKSEEK_CURRENT);
  EXPECT_EQ(ReadStreamByte(file.get()), static_cast<unsigned char>(data[0]));
  EXPECT_EQ(WriteStream(file.get(), "x", 1), 0u);
  EXPECT_EQ(WriteStreamByte(file.get(), 'x'), EOF);
  EXPECT_EQ(CloseStream(file.release()), 1);
}

TEST(FileHandles, ProgDirIsTheExecutablesFolder) {
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  std::string leaf = "vk-progdir-" + std::to_string(getpid());
  std::filesystem::path real = exe.parent_path() / leaf;
  std::ofstream(real) << "here";
  vkFilePtr file = OpenStream(("PROGDIR:" + leaf).c_str(), VKFILE_READ);
  ASSERT_TRUE(file);
  char buf[4];
  EXPECT_EQ(ReadStream(file.get(), buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "here");
  file.reset();
  std::filesystem::remove(real);
  EXPECT_FALSE(OpenStream(("progdir:" + leaf).c_str(), VKFILE_READ));  // the prefix is case-sensitive
}

}  // namespace
