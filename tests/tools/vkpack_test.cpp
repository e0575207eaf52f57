// The applet packer: the byte layout of every applet record, packed applets
// and pack files inflated by python3's zlib, attaching an applet to a player
// through its marker block, manifest errors, and applets built by vk_pack().
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tools/vkasm/vkasm.h"
#include "tools/vkpack/vkpack.h"

namespace {

using vkpack::Bytes;
namespace fs = std::filesystem;

Bytes Hex(const std::string& hex) {
  Bytes out;
  std::string digits;
  for (char c : hex)
    if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
  for (size_t i = 0; i + 1 < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A scratch folder with a listing, a picture stand-in and a data file.
class VkpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::string(VK_BINARY_DIR) + "/vkpack_test_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Write("prog.vkasm", "RETURN 0 1\n");
    Write("pic.bin", "PIC!");
    Write("data.txt", "hello");
    bytecode_ = vkasm::Assemble("RETURN 0 1\n", "prog.vkasm");
  }
  void Write(const std::string& name, const std::string& text) {
    vkpack::WriteFile(dir_ + "/" + name, Text(text));
  }
  Bytes Build(const std::string& manifest) {
    return vkpack::BuildApplet(vkpack::ParseManifest(manifest, "app.manifest", dir_));
  }
  // The records between the version record and the bytecode record, after
  // checking those two.
  Bytes Middle(const std::string& manifest, const std::string& version = "04 07") {
    Bytes a = Build("bytecode prog.vkasm\n" + manifest + "\n");
    Bytes head = Hex("56 4B 41 00 0A " + version);
    Bytes tail = Hex("01 00 00 00");
    tail.push_back(static_cast<uint8_t>(bytecode_.size()));
    tail.insert(tail.end(), bytecode_.begin(), bytecode_.end());
    EXPECT_GE(a.size(), head.size() + tail.size());
    if (a.size() < head.size() + tail.size()) return {};
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 7), head);
    EXPECT_EQ(Bytes(a.end() - static_cast<long>(tail.size()), a.end()), tail);
    return Bytes(a.begin() + 7, a.end() - static_cast<long>(tail.size()));
  }
  std::string dir_;
  Bytes bytecode_;
};

struct RecordCase {
  const char* manifest;
  const char* hex;
  const char* version = "04 07";
};

// Each applet record as it must stand in the file. The first record after
// the version sits at offset 7, so preload names begin at offset 12.
const RecordCase kRecords[] = {
    {"size 800 600", "03 0320 0258"},
    {"title \"My app\"", "04 0006 4D79206170 70"},
    {"color 0xFF0000", "05 00FF0000"},
    {"position -100000 10", "06 FFFE7960 0000000A"},
    {"desktop", "07"},
    {"text1 abc", "0B 616263 00"},
    {"text5 \"\"", "0F 00"},
    {"mode fullscreen", "10 02"},
    {"mode 6", "10 06"},
    {"backfill color 0x102030", "11 01 00102030"},
    {"backfill gradient 1 2", "11 02 00000001 00000002"},
    {"backfill texture 3", "11 03 00000003"},
    {"backfill picture 4 5 6 7 8 1", "11 04 00000004 00000005 00000006 00000007 00000008 01"},
    {"version 3 1\nbackfill picture 4 5 6 7 8", "11 04 00000004 00000005 00000006 00000007 00000008", "03 01"},
    {"borderless", "12 01"},
    {"fixed 0", "13 00"},
    {"sizeable", "14 01"},
    {"hidetitlebar", "15 01"},
    {"screen 1024 768", "16 0400 0300"},
    {"depth 24", "17 18"},
    {"hidepointer", "18 01"},
    {"nomodeswitch", "19 01"},
    {"scale 1 800 600 1", "1C 01 00000320 00000258 01"},
    {"reset", "1D"},
    {"nohide", "1E 01"},
    {"size 1 2\nreset\nnohide 0", "03 0001 0002 1D 1E 00"},  // manifest order
    {"link data.txt", "1A 00000001 00000000 646174612E74787400 00000005 68656C6C6F"},
    {"link data.txt \"the data\"\nlink pic.bin",
     "1A 00000002 00000000 7468652064617461 00 00000005 68656C6C6F 7069632E62696E 00 00000004 50494321"},
    // Preloads: the skipped record of names and linked data, then tag 2.
    // Entry: type, id, name offset, name length, data offset, data size,
    // transparency, loadalpha, source line, type record.
    {"preload file 1 data.txt",
     "00 00000009 646174612E74787400"
     "02 00000001 08 00000001 0000000C 00000008 00000000 00000000 FFFFFFFF 00000000 00000000"},
    {"preload brush 2 pic.bin link width=10 alpha=128 line=3 transparency=0xFF00FF",
     "00 0000000C 7069632E62696E00 50494321"
     "02 00000001 01 00000002 0000000C 00000007 00000014 00000004 00FF00FF 00000000 00000003"
     " 000A 0000 0000 0000 0080"},
    {"preload button 5 x1=1 y1=2 x2=-3 y2=4",
     "00 00000000"
     "02 00000001 05 00000005 00000000 00000000 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 0001 0002 FFFD 0004"},
    {"preload font 3 v.ttf size=12 engine=2 nocache",
     "00 00000006 762E74746600"
     "02 00000001 09 00000003 0000000C 00000005 00000000 00000000 0000000C 00010002 00000000"},
    {"preload anim 4 a.gif fromdisk=1 frames=5 loadalpha=1",
     "00 00000006 612E67696600"
     "02 00000001 02 00000004 0000000C 00000005 00000000 00000000 FFFFFFFF 00000001 00000000"
     " 01 0000 0000 0005 0000 0000 0000"},
    {"version 4 0\npreload anim 4 a.gif fromdisk=1 frames=5",
     "00 00000006 612E67696600"
     "02 00000001 02 00000004 0000000C 00000005 00000000 00000000 FFFFFFFF 00000000 00000000 01",
     "04 00"},
    {"version 2 9\npreload anim 4 a.gif",
     "00 00000006 612E67696600"
     "02 00000001 02 00000004 0000000C 00000005 00000000 00000000 FFFFFFFF 00000000 00000000",
     "02 09"},
    {"preload bgpic 1 b.png fillstyle=2 startcolor=1 endcolor=2 angle=-90 texturey=7",
     "00 00000006 622E706E6700"
     "02 00000001 00 00000001 0000000C 00000005 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 02 00000001 00000002 FFA6 00000000 00000000 00000007"},
    {"version 4 6\npreload bgpic 1 b.png fillstyle=2",
     "00 00000006 622E706E6700"
     "02 00000001 00 00000001 0000000C 00000005 00000000 00000000 FFFFFFFF 00000000 00000000",
     "04 06"},
    {"preload sprite 7 s.png frames=4 fpr=2 x=1",
     "00 00000006 732E706E6700"
     "02 00000001 07 00000007 0000000C 00000005 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 0000 0000 0004 0002 0001 0000"},
    {"preload keydown 9 F1\npreload music 2 m.ogg\npreload sample 3 s.wav",
     "00 0000000F 463100 6D2E6F676700 732E77617600"
     "02 00000003"
     " 06 00000009 0000000C 00000002 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 03 00000002 0000000F 00000005 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 04 00000003 00000015 00000005 00000000 00000000 FFFFFFFF 00000000 00000000"},
    // Display record: BGPic id, x, y, width, height, colour, flags, mask,
    // scale width and height, drag and size regions, title, fill record.
    {"preload display 1",
     "00 00000000"
     "02 00000001 0A 00000001 00000000 00000000 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 00000000 FFFE7960 FFFE7960 00000280 000001E0 00000000 00000400 00000400 00000000 00000000"
     " 00000000 00000000 0009 56656C6C756D61726B"
     " 01 00000000 0000 00000000 00000000 00000000"},
    {"preload display 2 title=\"A b\" width=320 height=200 flags=borderless|active|0x10000 mask=1"
     " scalewidth=640 dragregion=0,1,2,3,4 sizeregion=1,0,0,8,8 sizeregion=1,9,9,8,8 fillstyle=2 endcolor=5",
     "00 00000000"
     "02 00000001 0A 00000002 00000000 00000000 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 00000000 FFFE7960 FFFE7960 00000140 000000C8 00000000 00010401 00000001 00000280 00000000"
     " 00000001 00000000 00000001 00000002 00000003 00000004"
     " 00000002 00000001 00000000 00000000 00000008 00000008 00000001 00000009 00000009 00000008 00000008"
     " 0003 412062"
     " 02 00000005 0000 00000000 00000000 00000000"},
    {"version 4 6\npreload display 1 title=x",
     "00 00000000"
     "02 00000001 0A 00000001 00000000 00000000 00000000 00000000 FFFFFFFF 00000000 00000000"
     " 00000000 FFFE7960 FFFE7960 00000280 000001E0 00000000 00000400 00000400 00000000 00000000"
     " 00000000 00000000 0001 78",
     "04 06"},
};

TEST_F(VkpackTest, EveryRecordHasItsLayout) {
  for (const RecordCase& c : kRecords) {
    SCOPED_TRACE(c.manifest);
    EXPECT_EQ(Middle(c.manifest, c.version), Hex(c.hex));
  }
}

TEST_F(VkpackTest, RecordsStandInTheirOrder) {
  Bytes a = Build(
      "link data.txt\nsize 1 2\npreload file 1 data.txt\nbytecode prog.vkasm\nversion 4 5\n");
  // version, names, preloads, settings, linked files, bytecode
  std::vector<size_t> at;
  for (uint8_t tag : {0x0A, 0x00, 0x02, 0x03, 0x1A, 0x01}) {
    size_t pos = 0;
    switch (tag) {
      case 0x0A: pos = 4; break;
      case 0x00: pos = 7; break;
      case 0x02: pos = 7 + 5 + 9; break;
      case 0x03: pos = 21 + 5 + 8 * 4 + 1; break;
      case 0x1A: pos = 59 + 5; break;
      case 0x01: pos = 64 + 9 + 9 + 4 + 5; break;
    }
    ASSERT_LT(pos, a.size());
    EXPECT_EQ(a[pos], tag) << "at " << pos;
  }
  EXPECT_EQ(a.size(), 96 + bytecode_.size());
  EXPECT_EQ(Bytes(a.end() - static_cast<long>(bytecode_.size()), a.end()), bytecode_);
}

TEST_F(VkpackTest, RawBytecodeFilesAreTakenAsTheyAre) {
  vkpack::WriteFile(dir_ + "/prog.vkb", vkasm::Assemble("LOADK 0 #1\nRETURN 0 2\n", "x", true));
  Bytes a = Build("bytecode prog.vkb\n");
  Bytes want = vkasm::Assemble("LOADK 0 #1\nRETURN 0 2\n", "x", true);
  EXPECT_EQ(Bytes(a.end() - static_cast<long>(want.size()), a.end()), want);
}

struct ErrorCase {
  const char* manifest;
  int line;
  const char* fragment;
};

const ErrorCase kErrors[] = {
    {"size 1 2", 0, "no bytecode given"},
    {"bytecode prog.vkasm\nbytecode prog.vkasm", 2, "bytecode given twice"},
    {"bytecode missing.vkasm", 1, "cannot read"},
    {"bytecode data.txt", 1, "is no bytecode file"},
    {"bytecode bad.vkasm", 1, "bad.vkasm:2: unknown opcode 'NOPE'"},
    {"bytecode prog.vkasm\nfrobnicate 1", 2, "unknown statement 'frobnicate'"},
    {"bytecode prog.vkasm\nsize 1", 2, "'size' takes 2 operands, got 1"},
    {"bytecode prog.vkasm\nsize 40000 1", 2, "out of range"},
    {"bytecode prog.vkasm\ncolor red", 2, "number expected, got 'red'"},
    {"bytecode prog.vkasm\nmode huge", 2, "number expected, got 'huge'"},
    {"bytecode prog.vkasm\nbackfill plaid 1", 2, "unknown backfill kind"},
    {"bytecode prog.vkasm\nbackfill gradient 1", 2, "takes 3 operands"},
    {"bytecode prog.vkasm\ntext1 \"unterminated", 2, "unterminated string"},
    {"bytecode prog.vkasm\npreload cake 1 x", 2, "unknown preload type 'cake'"},
    {"bytecode prog.vkasm\npreload brush 1", 2, "needs a name"},
    {"bytecode prog.vkasm\npreload brush 1 p.png depth=3", 2, "has no option 'depth'"},
    {"bytecode prog.vkasm\npreload brush 1 p.png shiny", 2, "unknown preload option 'shiny'"},
    {"bytecode prog.vkasm\npreload keydown 1 F1 link", 2, "unknown preload option 'link'"},
    {"bytecode prog.vkasm\npreload brush 1 nothere.png link", 2, "cannot read"},
    {"bytecode prog.vkasm\npreload brush 1 empty.bin link", 2, "is empty"},
    {"bytecode prog.vkasm\npreload font 1 v.ttf transparency=3", 2, "instead of transparency"},
    {"bytecode prog.vkasm\npreload display 1 dragregion=1,2,3", 2, "takes type,x,y,width,height"},
    {"bytecode prog.vkasm\npreload display 1 flags=wobbly", 2, "number expected, got 'wobbly'"},
    {"bytecode prog.vkasm\nlink nothere.txt", 2, "cannot read"},
};

TEST_F(VkpackTest, BadManifestsNameTheirLine) {
  Write("bad.vkasm", "RETURN 0 1\nNOPE\n");
  Write("empty.bin", "");
  for (const ErrorCase& e : kErrors) {
    SCOPED_TRACE(e.manifest);
    try {
      vkpack::ParseManifest(e.manifest, "app.manifest", dir_);
      ADD_FAILURE() << "accepted";
    } catch (const vkpack::Error& err) {
      EXPECT_EQ(err.line, e.line);
      EXPECT_NE(err.message.find(e.fragment), std::string::npos) << err.message;
    }
  }
}

TEST_F(VkpackTest, LimitsOfRegionsAndTexts) {
  std::string regions = "bytecode prog.vkasm\npreload display 1";
  for (int i = 0; i < 64; ++i) regions += " dragregion=0,0,0,1,1";
  EXPECT_NO_THROW(vkpack::ParseManifest(regions, "m", dir_));
  EXPECT_THROW(vkpack::ParseManifest(regions + " dragregion=0,0,0,1,1", "m", dir_), vkpack::Error);
  std::string text = "bytecode prog.vkasm\ntext2 " + std::string(255, 'x');
  EXPECT_NO_THROW(vkpack::ParseManifest(text, "m", dir_));
  EXPECT_THROW(vkpack::ParseManifest(text + "x", "m", dir_), vkpack::Error);
}

// ---- packing, judged by python3's zlib ---------------------------------------

bool HavePython() { return std::system("python3 -c 'import zlib' >/dev/null 2>&1") == 0; }

// Inflates [packed] with python3 after checking its magic and four zero
// bytes; returns the inflated bytes, or nothing when python refused.
std::optional<Bytes> PythonInflate(const std::string& dir, const Bytes& packed, const std::string& magic) {
  std::string in = dir + "/packed.bin", out = dir + "/inflated.bin";
  vkpack::WriteFile(in, packed);
  std::string script =
      "import sys, zlib\n"
      "d = open(sys.argv[1], 'rb').read()\n"
      "assert d[:4] == sys.argv[3].encode('latin-1').replace(b'0', b'\\0'), d[:4]\n"
      "assert d[4:8] == bytes(4)\n"
      "z = zlib.decompressobj()\n"
      "o = z.decompress(d[8:])\n"
      "assert z.eof and not z.unused_data\n"
      "open(sys.argv[2], 'wb').write(o)\n";
  vkpack::WriteFile(dir + "/inflate.py", Text(script));
  std::string cmd = "python3 " + dir + "/inflate.py " + in + " " + out + " '" + magic + "'";
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  return vkpack::ReadFile(out);
}

TEST_F(VkpackTest, PackFilesInflateWithZlib) {
  if (!HavePython()) GTEST_SKIP() << "python3 with zlib not available";
  Bytes big;
  uint32_t x = 1;
  for (int i = 0; i < 100000; ++i) {
    x = x * 1103515245u + 12345u;
    big.push_back(static_cast<uint8_t>(i % 7 == 0 ? x >> 24 : 'a' + i % 13));
  }
  const Bytes inputs[] = {Bytes(), Text("x"), Bytes(16384, 0x55), big};
  for (const Bytes& data : inputs) {
    SCOPED_TRACE(data.size());
    std::optional<Bytes> got = PythonInflate(dir_, vkpack::PackWithMagic("VKPK", data), "VKPK");
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, data);
  }
}

TEST_F(VkpackTest, PackedAppletsInflateToTheApplet) {
  if (!HavePython()) GTEST_SKIP() << "python3 with zlib not available";
  std::string manifest = dir_ + "/app.manifest";
  Write("app.manifest", "bytecode prog.vkasm\npreload brush 1 pic.bin link\nlink data.txt\n");
  std::string tool = std::string(VK_BINARY_DIR) + "/tools/vkpack/vkpack";
  ASSERT_EQ(std::system((tool + " -z " + manifest + " -o " + dir_ + "/app.vkz").c_str()), 0);
  Bytes packed = vkpack::ReadFile(dir_ + "/app.vkz");
  std::optional<Bytes> got = PythonInflate(dir_, packed, "VKZ0");
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, Build("bytecode prog.vkasm\npreload brush 1 pic.bin link\nlink data.txt\n"));
  // The command also writes the plain applet and a pack file.
  ASSERT_EQ(std::system((tool + " " + manifest).c_str()), 0);
  EXPECT_EQ(vkpack::ReadFile(dir_ + "/app.vka"), *got);
  ASSERT_EQ(std::system((tool + " pack " + dir_ + "/data.txt " + dir_ + "/data.vkpk").c_str()), 0);
  EXPECT_EQ(PythonInflate(dir_, vkpack::ReadFile(dir_ + "/data.vkpk"), "VKPK"), Text("hello"));
}

// ---- attaching to the player ------------------------------------------------

TEST(VkpackMarker, BlockLayout) {
  Bytes m = vkpack::MarkerBlock();
  ASSERT_EQ(m.size(), 45u);
  EXPECT_EQ(std::string(m.begin(), m.begin() + 30), "Quillmoor Ashtun Entertainment");
  EXPECT_EQ(Bytes(m.begin() + 30, m.end()), Hex("0000 DEADC0DE C0DECAFEC0CAC01A 00"));
}

TEST(VkpackMarker, AttachPatchesTheOffsetAndAppends) {
  Bytes player = Text("ELF-ish code here...");
  Bytes marker = vkpack::MarkerBlock();
  player.insert(player.end(), marker.begin(), marker.end());
  Bytes tail = Text("more data after the marker");
  player.insert(player.end(), tail.begin(), tail.end());
  Bytes applet = Text("VKA\0 applet");

  Bytes out = vkpack::AttachApplet(player, applet);
  ASSERT_EQ(out.size(), player.size() + applet.size());
  Bytes expect = player;
  size_t at = 20 + 32;
  uint32_t size = static_cast<uint32_t>(player.size());
  for (int k = 0; k < 4; ++k) expect[at + k] = static_cast<uint8_t>(size >> (24 - 8 * k));
  EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(player.size())), expect);
  EXPECT_EQ(Bytes(out.begin() + static_cast<long>(player.size()), out.end()), applet);
  EXPECT_EQ(Bytes(out.begin() + 20, out.begin() + 65), vkpack::MarkerBlock(size));

  // A second attach is refused, as are files without exactly one marker.
  EXPECT_THROW(vkpack::AttachApplet(out, applet), vkpack::Error);
  EXPECT_THROW(vkpack::AttachApplet(Text("no marker at all"), applet), vkpack::Error);
  Bytes twice = player;
  twice.insert(twice.end(), marker.begin(), marker.end());
  EXPECT_THROW(vkpack::AttachApplet(twice, applet), vkpack::Error);
  Bytes cut(marker.begin(), marker.end() - 1);
  EXPECT_THROW(vkpack::AttachApplet(cut, applet), vkpack::Error);
}

TEST(VkpackMarker, CommandKeepsThePlayerExecutable) {
  std::string dir = std::string(VK_BINARY_DIR) + "/vkpack_attach_test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  Bytes player = Text("#!fake player\n");
  Bytes marker = vkpack::MarkerBlock();
  player.insert(player.end(), marker.begin(), marker.end());
  vkpack::WriteFile(dir + "/player", player);
  chmod((dir + "/player").c_str(), 0755);
  vkpack::WriteFile(dir + "/app.vka", Text("VKA"));
  std::string tool = std::string(VK_BINARY_DIR) + "/tools/vkpack/vkpack";
  ASSERT_EQ(std::system((tool + " attach " + dir + "/player " + dir + "/app.vka " + dir + "/out").c_str()), 0);
  EXPECT_EQ(vkpack::ReadFile(dir + "/out"), vkpack::AttachApplet(player, Text("VKA")));
  struct stat st;
  ASSERT_EQ(stat((dir + "/out").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_NE(std::system((tool + " attach " + dir + "/out " + dir + "/app.vka " + dir + "/out2 2>/dev/null").c_str()), 0);
}

// The real player carries exactly one marker block once its start-up code
// is linked in; until then there is nothing to patch and the test skips.
TEST(VkpackMarker, TheBuiltPlayerTakesAnApplet) {
  Bytes player = vkpack::ReadFile(VK_BINARY_DIR "/vellumark");
  Bytes text = Text("Quillmoor Ashtun Entertainment");
  if (std::search(player.begin(), player.end(), text.begin(), text.end()) == player.end())
    GTEST_SKIP() << "the player executable holds no marker block yet";
  Bytes out = vkpack::AttachApplet(player, Text("VKA"));
  Bytes patched = vkpack::MarkerBlock(static_cast<uint32_t>(player.size()));
  EXPECT_NE(std::search(out.begin(), out.end(), patched.begin(), patched.end()), out.end());
}

// ---- build-time packing -----------------------------------------------------

TEST(VkpackBuild, AppletsPackAtBuildTime) {
  std::string dir = VK_SOURCE_DIR "/tests/tools/data";
  Bytes text = vkpack::ReadFile(dir + "/hello.manifest");
  Bytes want = vkpack::BuildApplet(vkpack::ParseManifest(std::string(text.begin(), text.end()), "m", dir));
  EXPECT_EQ(vkpack::ReadFile(VK_BINARY_DIR "/tests/tools/hello.vka"), want);
}

}  // namespace
