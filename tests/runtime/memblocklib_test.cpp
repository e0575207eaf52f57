// The memblock library: blocks named by number or handle, big-endian peeks
// and pokes with every type at the last offset that fits and the first that
// does not, fills and copies whose offset + count would wrap in 32 bits, and
// the dump's layout.
#include "runtime/memblocklib.h"

#include <string>

#include "../common/scratchdir.h"
#include "engine/vmapi.h"
#include "runtime/dosfiles.h"
#include "support/libcall.h"

namespace {

using vktest::Arg;

class MemBlockLibTest : public vktest::LibraryTest {
 protected:
  void SetUp() override { OpenLibrary(OpenMemBlockLibrary); }
};

constexpr double kMaxInt = 2147483647.0;

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

TEST_F(MemBlockLibTest, BlocksByNumberAndHandle) {
  RunCases({
      {"AllocMem", {1, 16}, ""},
      {"AllocMem", {2, 0}, "error 1000"},
      {"AllocMem", {2, -4}, "error 1000"},
      {"AllocMem", {nullptr, 8}, "handle"},
      {"Peek", {1, 12}, "0"},  // new memory is cleared
      {"Peek", {1, 0, 3, 16}, quoted(std::string(16, '\0'))},
      {"Peek", {9, 0}, "error 1180"},
      {"FreeMem", {1}, ""},
      {"FreeMem", {1}, "error 1180"},
      {"AllocMem", {3, 4}, ""},
      {"Poke", {3, 0, 7}, ""},
      {"AllocMem", {3, 4}, ""},  // the number in use is freed first
      {"Peek", {3, 0}, "0"},
      {"AllocMem", {4}, "error 1014"},
  });
  EXPECT_EQ(CountMemBlocks(L), 2);

  // A handle names its block until the block is freed.
  ASSERT_EQ(Call("AllocMem", {nullptr, 4}), "handle");
  void* handle = vmToUserdata(L, 1);
  RunCases({
      {"Poke", {Arg::handle(handle), 0, 258, 6}, ""},
      {"Peek", {Arg::handle(handle), 0, 6}, "258"},
      {"FreeMem", {Arg::handle(handle)}, ""},
      {"Peek", {Arg::handle(handle), 0}, "error 1041"},
  });

  // A block made after the free, whatever memory it takes, answers only to
  // its own handle.
  for (int i = 0; i < 8; i++) {
    ASSERT_EQ(Call("AllocMem", {nullptr, 4}), "handle");
    EXPECT_NE(vmToUserdata(L, 1), handle);
  }
  EXPECT_EQ(Call("Peek", {Arg::handle(handle), 0}), "error 1041");
}

TEST_F(MemBlockLibTest, PeekAndPokeAreBigEndianAndBoundedByType) {
  RunCases({
      {"AllocMem", {1, 8}, ""},
      {"Poke", {1, 0, 16909060}, ""},
      {"Peek", {1, 0, 7}, "1"},
      {"Peek", {1, 2, 6}, "772"},
      {"Peek", {1, 0}, "16909060"},
      {"Poke", {1, 4, -1, 1}, ""},
      {"Peek", {1, 4, 1}, "4294967295"},
      {"Poke", {1, 4, 0x12345, 6}, ""},  // the low 16 bits
      {"Peek", {1, 4, 6}, "9029"},
      {"Poke", {1, 7, 0x1FF, 7}, ""},
      {"Peek", {1, 7, 7}, "255"},
      // The last offset each type fits at, and the first it does not.
      {"Poke", {1, 4, 1, 1}, ""},
      {"Poke", {1, 5, 1, 1}, "error 1146"},
      {"Poke", {1, 6, 1, 6}, ""},
      {"Poke", {1, 7, 1, 6}, "error 1146"},
      {"Poke", {1, 7, 1, 7}, ""},
      {"Poke", {1, 8, 1, 7}, "error 1146"},
      {"Poke", {1, -1, 1, 7}, "error 1146"},
      {"Poke", {1, kMaxInt, 1, 1}, "error 1146"},
      {"Peek", {1, 4, 1}, "1"},
      {"Peek", {1, 5, 1}, "error 1146"},
      {"Peek", {1, 6, 6}, "1"},
      {"Peek", {1, 7, 6}, "error 1146"},
      {"Peek", {1, 7, 7}, "1"},
      {"Peek", {1, 8, 7}, "error 1146"},
      {"Peek", {1, -1, 7}, "error 1146"},
      {"Peek", {1, kMaxInt, 1}, "error 1146"},
      {"Poke", {1, 0, 1, 2}, "error 1055"},
      {"Peek", {1, 0, 5}, "error 1055"},
      {"Poke", {1, 0, "x", 1}, "error 1138"},
  });
}

TEST_F(MemBlockLibTest, StringsNeedRoomForTheirTerminator) {
  RunCases({
      {"AllocMem", {1, 8}, ""},
      {"Poke", {1, 4, "abc", 3}, ""},
      {"Poke", {1, 5, "abc", 3}, "error 1146"},
      {"Peek", {1, 4, 3, 3}, "\"abc\""},
      {"Peek", {1, 4, 3, 4}, quoted(std::string("abc\0", 4))},
      {"Peek", {1, 4, 3, 5}, "error 1146"},
      {"Peek", {1, 1, 3, kMaxInt}, "error 1146"},
      {"Peek", {1, 4, 3, -1}, "error 1055"},
      {"Poke", {1, 0, "hi\tyou", 3}, ""},
      {"Peek", {1, 0, 3}, "\"hi\tyou\""},  // stops at the terminator
      {"FillMem", {1, 65, 8}, ""},
      {"Peek", {1, 5, 3}, "\"AAA\""},  // stops at the end of the block
      {"Poke", {1, 6, 0xC4, 7}, ""},
      {"Peek", {1, 4, 3}, "\"AA\""},  // stops at a byte that is not visible
      {"Peek", {1, 7, 3, 0}, "\"A\""},
      {"Peek", {1, 8, 3}, "error 1146"},
  });
}

TEST_F(MemBlockLibTest, FillsAndCopiesCheckTheirRangesIn64Bits) {
  RunCases({
      {"AllocMem", {1, 8}, ""},
      {"AllocMem", {2, 8}, ""},
      {"FillMem", {1, 0x1234, 4, 2, 6}, ""},
      {"Peek", {1, 2}, "305402420"},
      {"FillMem", {1, 0x1234, 3, 2, 6}, "error 1055"},
      {"FillMem", {1, 0x1234, 2, 1, 6}, "error 1055"},
      {"FillMem", {1, 0xAABBCCDD, 4, 4, 1}, ""},
      {"Peek", {1, 4}, "2864434397"},
      {"FillMem", {1, 0, 4, 2, 1}, "error 1055"},
      {"FillMem", {1, 0, 6, 0, 1}, "error 1055"},
      {"FillMem", {1, 0, 1, 0, 3}, "error 1055"},
      {"FillMem", {1, 0, 9}, "error 1146"},
      {"FillMem", {1, 0, 1, 8}, "error 1146"},
      {"FillMem", {1, 0, 1, -1}, "error 1146"},
      {"FillMem", {1, 0, kMaxInt, kMaxInt}, "error 1146"},
      {"FillMem", {1, 0, 0, 99}, ""},  // nothing to fill
      {"CopyMem", {1, 2, 8}, ""},
      {"Peek", {2, 4}, "2864434397"},
      {"CopyMem", {1, 2, 2, 6, 0}, ""},
      {"Peek", {2, 0, 6}, "52445"},
      {"CopyMem", {1, 1, 1, 0, 4}, "error 1055"},
      {"CopyMem", {1, 2, 0}, ""},
      {"CopyMem", {1, 2, -5, -1}, ""},
      {"CopyMem", {1, 2, 1, -1}, "error 1146"},
      {"CopyMem", {1, 2, 1, 0, -1}, "error 1146"},
      {"CopyMem", {1, 2, 8, 1}, "error 1146"},
      {"CopyMem", {1, 2, 8, 0, 1}, "error 1146"},
      {"CopyMem", {1, 2, kMaxInt, kMaxInt}, "error 1146"},
      {"CopyMem", {1, 2, 1, 0, kMaxInt}, "error 1146"},
      {"CopyMem", {1, 9, 1}, "error 1180"},
  });
}

TEST_F(MemBlockLibTest, DumpsSixteenBytesALine) {
  RunCases({
      {"AllocMem", {1, 20}, ""},
      {"Poke", {1, 0, "Hello,\nworld! 0123", 3}, ""},
      {"DumpMem", {1, 0, 4}, "error 1146"},  // the whole size from offset 4 does not fit
      {"DumpMem", {1, 0, -1}, "error 1055"},
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(Call("DumpMem", {1}), "");
  EXPECT_EQ(Call("DumpMem", {1, 4, 2}), "");
  std::string out = testing::internal::GetCapturedStdout();
  const std::string twelveBlanks(12 * 3, ' ');
  EXPECT_EQ(out,
            "00000000: 48 65 6c 6c 6f 2c 0a 77 6f 72 6c 64 21 20 30 31 Hello,.world! 01\n"
            "00000010: 32 33 00 00 " + twelveBlanks + "23..\n"
            "00000000: 6c 6c 6f 2c " + twelveBlanks + "llo,\n");
}

// Opens [path] as file handle [number] with the script mode [mode].
void openHandle(vkState* L, int32_t number, const std::string& path, int32_t mode) {
  vkFileHandle* handle = nullptr;
  ASSERT_EQ(OpenFileHandle(L, {number, false}, path.c_str(), mode, &handle), 0u);
}

TEST_F(MemBlockLibTest, ReadsAndWritesThroughFileHandles) {
  ScratchDir dir;
  std::string in = dir.Write("in.bin", "0123456789");
  std::string out = dir / "out.bin";
  openHandle(L, 1, in, MODE_READ);
  openHandle(L, 2, out, MODE_WRITE);
  RunCases({
      {"AllocMem", {1, 8}, ""},
      {"ReadMem", {1, 1, 4, 2}, ""},
      {"Peek", {1, 2, 3, 4}, "\"0123\""},
      {"ReadMem", {1, 1, 2}, ""},  // from where the last read ended
      {"Peek", {1, 0, 6}, "13365"},
      {"ReadMem", {1, 1, 0, -5}, ""},  // nothing to read, nothing checked
      {"ReadMem", {1, 1, 1, -1}, "error 1055"},
      {"ReadMem", {1, 1, 2, 7}, "error 1146"},
      {"ReadMem", {1, 1, 1, kMaxInt}, "error 1146"},
      {"ReadMem", {2, 1, 1}, "error 1142"},
      {"ReadMem", {9, 1, 1}, "error 1179"},
      {"ReadMem", {1, 9, 1}, "error 1180"},
      {"ReadMem", {1, 1, 8}, "error 1009"},  // four bytes were left
      {"Peek", {1, 0, 3, 4}, "\"6789\""},
      {"WriteMem", {2, 1, 4, 4}, ""},
      {"WriteMem", {2, 1, 2}, ""},
      {"WriteMem", {1, 1, 2}, "error 1141"},
      {"WriteMem", {2, 1, 8, 1}, "error 1146"},
      {"WriteMem", {2, 1, 1, -1}, "error 1055"},
  });
  CloseAllFileHandles(L);
  std::ifstream written(out, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string("23\0\0" "67", 6));
}

}  // namespace
