// Pack files: round trips of every size that matters, python3's zlib judging
// our packs and making packs for us, each damaged pack with its error, packed
// applets unpacked into temporary files that never outlive a failure, and
// every damaged gzip header with its error.
#include "io/packfiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <random>

#include "../common/scratchdir.h"
#include "base/errorinfo.h"

namespace {

// Half text, half noise, so packs hold both stored and compressed blocks.
std::string SampleData(size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::string s(n, 0);
  for (size_t i = 0; i < n; i++) s[i] = (i / 3000) % 2 ? static_cast<char>(rng()) : "vellum "[i % 7];
  return s;
}

bool HavePython() { return std::system("python3 -c 'import zlib' >/dev/null 2>&1") == 0; }

int Python(const std::string& script, const std::string& a, const std::string& b) {
  std::string cmd = "python3 -c \"" + script + "\" '" + a + "' '" + b + "'";
  return std::system(cmd.c_str());
}

TEST(PackFiles, RoundTripsEverySize) {
  ScratchDir dir;
  for (size_t n : {0, 1, 16383, 16384, 16385, 50000, 100000}) {
    std::string data = SampleData(n);
    std::string source = dir.Write("src", data), pack = dir / "pack", back = dir / "back";
    int64_t packSize = -1, backSize = -1;
    ASSERT_EQ(CompressToPack(kPackMagic, source.c_str(), pack.c_str(), &packSize), 0u) << n;
    std::string packed = ReadWholeFile(pack);
    EXPECT_EQ(packSize, static_cast<int64_t>(packed.size()));
    EXPECT_EQ(packed.substr(0, 8), std::string("VKPK\0\0\0\0", 8));
    ASSERT_EQ(DecompressPack(kPackMagic, pack.c_str(), back.c_str(), 0, &backSize), 0u) << n;
    EXPECT_EQ(backSize, static_cast<int64_t>(n));
    EXPECT_EQ(ReadWholeFile(back), data) << n;
  }
}

TEST(PackFiles, PythonZlibReadsOurPacksAndWritesPacksWeRead) {
  if (!HavePython()) GTEST_SKIP() << "python3 with zlib is not installed";
  ScratchDir dir;
  std::string data = SampleData(70000);
  std::string source = dir.Write("src", data), pack = dir / "pack", out = dir / "out";
  ASSERT_EQ(CompressToPack(kPackMagic, source.c_str(), pack.c_str(), nullptr), 0u);
  ASSERT_EQ(Python("import sys,zlib; d=open(sys.argv[1],'rb').read(); "
                   "assert d[:8]==b'VKPK'+bytes(4); open(sys.argv[2],'wb').write(zlib.decompress(d[8:]))",
                   pack, out),
            0);
  EXPECT_EQ(ReadWholeFile(out), data);

  std::string theirs = dir / "theirs", back = dir / "back";
  ASSERT_EQ(Python("import sys,zlib; d=open(sys.argv[1],'rb').read(); "
                   "open(sys.argv[2],'wb').write(b'VKPK'+bytes(4)+zlib.compress(d,9))",
                   source, theirs),
            0);
  ASSERT_EQ(DecompressPack(kPackMagic, theirs.c_str(), back.c_str(), 0, nullptr), 0u);
  EXPECT_EQ(ReadWholeFile(back), data);
}

TEST(PackFiles, DamagedPacksGiveTheirErrors) {
  ScratchDir dir;
  std::string source = dir.Write("src", SampleData(40000)), pack = dir / "pack";
  ASSERT_EQ(CompressToPack(kPackMagic, source.c_str(), pack.c_str(), nullptr), 0u);
  std::string good = ReadWholeFile(pack);
  std::string flipped = good;
  flipped[8] ^= 0x55;  // the zlib header's check fails
  std::string badBlock = good;
  badBlock[10] = static_cast<char>(0xFF);  // reserved block type
  struct Case {
    const char* what;
    std::string bytes;
    uint32_t error;
    bool destinationMade;
  } cases[] = {
      {"other magic", "PKVK" + good.substr(4), 1310, false},
      {"short file", "VK", 1310, false},
      {"empty file", "", 1310, false},
      {"header only", good.substr(0, 8), 1309, true},
      {"cut stream", good.substr(0, good.size() / 2), 1309, true},
      {"no trailer", good.substr(0, good.size() - 4), 1309, true},
      {"bad zlib header", flipped, 1309, true},
      {"bad block", badBlock, 1309, true},
  };
  for (const Case& c : cases) {
    std::string damaged = dir.Write("damaged", c.bytes), out = dir / "out";
    std::filesystem::remove(out);
    EXPECT_EQ(DecompressPack(kPackMagic, damaged.c_str(), out.c_str(), 0, nullptr), c.error) << c.what;
    EXPECT_EQ(std::filesystem::exists(out), c.destinationMade) << c.what;
  }
}

TEST(PackFiles, UnreadableAndUnwritableFilesAreNamed) {
  ScratchDir dir;
  std::string source = dir.Write("src", "data"), missing = dir / "missing", noDir = dir / "no/dir";
  EXPECT_EQ(CompressToPack(kPackMagic, missing.c_str(), (dir / "p").c_str(), nullptr), 1045u);
  EXPECT_EQ(ErrorInfo().errorText, missing);
  EXPECT_EQ(CompressToPack(kPackMagic, source.c_str(), noDir.c_str(), nullptr), 1052u);
  EXPECT_EQ(ErrorInfo().errorText, noDir);
  EXPECT_EQ(DecompressPack(kPackMagic, missing.c_str(), (dir / "o").c_str(), 0, nullptr), 1045u);
  std::string pack = dir / "pack";
  ASSERT_EQ(CompressToPack(kPackMagic, source.c_str(), pack.c_str(), nullptr), 0u);
  EXPECT_EQ(DecompressPack(kPackMagic, pack.c_str(), noDir.c_str(), 0, nullptr), 1052u);
  EXPECT_EQ(ErrorInfo().errorText, noDir);
}

TEST(PackedApplets, UnpackFromAnOffsetIntoAnOwnedTemporaryFile) {
  ScratchDir dir;
  std::string applet = std::string("VKA\0", 4) + SampleData(20000);
  std::string source = dir.Write("applet", applet), pack = dir / "pack";
  ASSERT_EQ(CompressToPack(kPackedAppletMagic, source.c_str(), pack.c_str(), nullptr), 0u);
  std::string player = dir.Write("player", std::string(777, 'x') + ReadWholeFile(pack));
  std::string tempPath;
  {
    vkTempFile temp;
    ASSERT_EQ(UnpackPackedApplet(player.c_str(), 777, &temp), 0u);
    ASSERT_TRUE(temp.valid());
    tempPath = temp.path();
    EXPECT_EQ(ReadWholeFile(tempPath), applet);
  }
  EXPECT_FALSE(std::filesystem::exists(tempPath));

  // A failure leaves no temporary file: the temporary folder holds no new one.
  std::string tmp = dir / "tmp";
  std::filesystem::create_directory(tmp);
  const char* saved = std::getenv("TMPDIR");
  std::string savedText = saved ? saved : "";
  setenv("TMPDIR", tmp.c_str(), 1);
  vkTempFile temp;
  EXPECT_EQ(UnpackPackedApplet(player.c_str(), 0, &temp), 1310u);  // no magic at 0
  EXPECT_EQ(UnpackPackedApplet(dir.Write("cut", ReadWholeFile(pack).substr(0, 100)).c_str(), 0, &temp), 1309u);
  EXPECT_FALSE(temp.valid());
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  if (saved) setenv("TMPDIR", savedText.c_str(), 1);
  else unsetenv("TMPDIR");
}

// A gzip member with the optional header fields asked for in [flags].
std::vector<uint8_t> MakeGzip(const std::string& data, uint8_t flags) {
  std::vector<uint8_t> out = {0x1F, 0x8B, 0x08, flags, 0, 0, 0, 0, 0, 3};
  if (flags & 4) out.insert(out.end(), {5, 0, 'a', 'b', 'c', 'd', 'e'});
  if (flags & 8) out.insert(out.end(), {'n', 'a', 'm', 'e', 0});
  if (flags & 16) out.insert(out.end(), {'c', 0});
  if (flags & 2) out.insert(out.end(), {0x12, 0x34});
  z_stream zs = {};
  deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> packed(deflateBound(&zs, data.size()));
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = packed.data();
  zs.avail_out = static_cast<uInt>(packed.size());
  deflate(&zs, Z_FINISH);
  packed.resize(zs.total_out);
  deflateEnd(&zs);
  out.insert(out.end(), packed.begin(), packed.end());
  uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  uint32_t size = static_cast<uint32_t>(data.size());
  for (uint32_t word : {crc, size})
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>(word >> (8 * i)));
  return out;
}

void SetLength(std::vector<uint8_t>& gz, uint32_t length) {
  for (int i = 0; i < 4; i++) gz[gz.size() - 4 + i] = static_cast<uint8_t>(length >> (8 * i));
}

TEST(GzipMemory, InflatesEveryHeaderForm) {
  std::string data = SampleData(300000);
  for (uint8_t flags : {0, 2, 4, 8, 16, 2 | 4 | 8 | 16}) {
    std::vector<uint8_t> gz = MakeGzip(data, flags);
    std::vector<uint8_t> out;
    ASSERT_EQ(InflateGzipMemory(gz.data(), gz.size(), &out), 0u) << int(flags);
    EXPECT_EQ(std::string(out.begin(), out.end()), data) << int(flags);
  }
  std::vector<uint8_t> empty = MakeGzip("", 0), out = {1, 2};
  ASSERT_EQ(InflateGzipMemory(empty.data(), empty.size(), &out), 0u);
  EXPECT_TRUE(out.empty());
}

TEST(GzipMemory, PythonGzipMembersInflate) {
  if (!HavePython()) GTEST_SKIP() << "python3 is not installed";
  ScratchDir dir;
  std::string data = SampleData(50000);
  std::string source = dir.Write("src", data), gz = dir / "gz";
  ASSERT_EQ(Python("import sys,gzip; open(sys.argv[2],'wb').write(gzip.compress(open(sys.argv[1],'rb').read()))",
                   source, gz),
            0);
  std::string bytes = ReadWholeFile(gz);
  std::vector<uint8_t> input(bytes.begin(), bytes.end()), out;
  ASSERT_EQ(InflateGzipMemory(input.data(), input.size(), &out), 0u);
  EXPECT_EQ(std::string(out.begin(), out.end()), data);
}

TEST(GzipMemory, DamagedMembersGiveTheirErrors) {
  const std::string data = SampleData(5000);
  const std::vector<uint8_t> good = MakeGzip(data, 0);
  auto with = [&](uint8_t flags, std::vector<uint8_t> header) {
    std::vector<uint8_t> gz = {0x1F, 0x8B, 0x08, flags, 0, 0, 0, 0, 0, 3};
    gz.insert(gz.end(), header.begin(), header.end());
    gz.insert(gz.end(), 8, 0);  // a trailer and nothing else
    return gz;
  };
  std::vector<uint8_t> shortLength = good, longLength = good, hugeLength = good, cut = good;
  SetLength(shortLength, 4999);
  SetLength(longLength, 5001);
  SetLength(hugeLength, 0xFFFFFFFF);
  cut.erase(cut.begin() + 30, cut.end() - 8);
  std::vector<uint8_t> corrupt = good;
  corrupt[10] = 0xFF;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t error;
  } cases[] = {
      {"empty", {}, 1310},
      {"two bytes", {0x1F, 0x8B}, 1310},
      {"not gzip", {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1310},
      {"not deflate", {0x1F, 0x8B, 0x07, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1310},
      {"17 bytes", {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1309},
      {"extra length missing", with(4, {5}), 1309},
      {"extra past the end", with(4, {200, 0, 1, 2}), 1309},
      {"extra length huge", with(4, {0xFF, 0xFF}), 1309},
      {"extra past the end, then a name", with(4 | 8, {20, 0, 'a', 0}), 1309},
      {"name never ends", with(8, {'a', 'b'}), 1309},
      {"comment never ends", with(8 | 16, {'a', 0, 'b'}), 1309},
      {"header crc past the end", with(2, {0x12}), 1309},
      {"header only", with(0, {}), 1309},
      {"length too short", shortLength, 1309},
      {"length too long", longLength, 1309},
      {"length absurd", hugeLength, 1309},
      {"data cut", cut, 1309},
      {"data corrupt", corrupt, 1309},
  };
  for (const Case& c : cases) {
    // An exactly sized heap copy, so that the sanitizer sees any over-read.
    std::unique_ptr<uint8_t[]> input(new uint8_t[c.bytes.size() + (c.bytes.empty() ? 1 : 0)]);
    std::copy(c.bytes.begin(), c.bytes.end(), input.get());
    std::vector<uint8_t> out = {42};
    EXPECT_EQ(InflateGzipMemory(input.get(), c.bytes.size(), &out), c.error) << c.what;
    EXPECT_EQ(out, std::vector<uint8_t>{42}) << c.what;
  }
}

}  // namespace
