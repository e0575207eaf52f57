// Byte-order readers and writers: both orders and widths, sign extension,
// the values a truncated file decodes to, and the sticky end flag that lets
// format readers refuse it.
#include "io/byteorder.h"

#include <gtest/gtest.h>

#include "../common/scratchdir.h"
#include "io/filehandles.h"

namespace {

using Reader = int32_t (*)(vkFile*);

TEST(ByteOrder, ReadersDecodeAndFlagMissingBytes) {
  ScratchDir dir;
  struct Case {
    const char* what;
    std::string bytes;
    Reader read;
    int32_t value;
    bool pastEnd;
  } cases[] = {
      {"BE32", "\x80\x01\x02\x03", ReadBE32, static_cast<int32_t>(0x80010203), false},
      {"LE32", "\x80\x01\x02\x03", ReadLE32, 0x03020180, false},
      {"BE16", "\x80\x01", ReadBE16, -32767, false},
      {"LE16", "\x80\x01", ReadLE16, 0x0180, false},
      {"LE16 negative", "\x01\x80", ReadLE16, -32767, false},
      // A missing byte reads as -1, and its bits enter the word.
      {"BE32 short", "\x01\x02\x03", ReadBE32, -1, true},
      {"LE32 short", "\x01\x02\x03", ReadLE32, static_cast<int32_t>(0xFF030201), true},
      {"BE16 short", "\x12", ReadBE16, -1, true},
      {"LE16 short", "\x12", ReadLE16, -238, true},
      {"BE32 empty", "", ReadBE32, -1, true},
  };
  for (const Case& c : cases) {
    vkFilePtr file = OpenStream(dir.Write("f", c.bytes).c_str(), VKFILE_READ);
    ASSERT_TRUE(file) << c.what;
    EXPECT_EQ(c.read(file.get()), c.value) << c.what;
    EXPECT_EQ(StreamPastEnd(file.get()), c.pastEnd) << c.what;
  }
}

TEST(ByteOrder, EndFlagIsSticky) {
  ScratchDir dir;
  vkFilePtr file = OpenStream(dir.Write("f", std::string("\x00\x01\x00", 3)).c_str(), VKFILE_READ);
  EXPECT_EQ(ReadBE16(file.get()), 1);
  EXPECT_FALSE(StreamPastEnd(file.get()));
  ReadBE16(file.get());
  EXPECT_TRUE(StreamPastEnd(file.get()));
  SeekStream(file.get(), 0, VKSEEK_START);
  EXPECT_EQ(ReadBE16(file.get()), 1);
  EXPECT_TRUE(StreamPastEnd(file.get()));
}

TEST(ByteOrder, WritersRoundTrip) {
  ScratchDir dir;
  std::string path = dir / "w";
  {
    vkFilePtr file = OpenStream(path.c_str(), VKFILE_WRITE);
    EXPECT_EQ(WriteBE32(file.get(), 0x80010203), 1);
    EXPECT_EQ(WriteLE32(file.get(), 0x80010203), 1);
    EXPECT_EQ(WriteBE16(file.get(), 0xFFFF8001), 1);  // only the low 16 bits
    EXPECT_EQ(WriteLE16(file.get(), 0x8001), 1);
  }
  EXPECT_EQ(ReadWholeFile(path), std::string("\x80\x01\x02\x03\x03\x02\x01\x80\x80\x01\x01\x80", 12));
  vkFilePtr file = OpenStream(path.c_str(), VKFILE_READ);
  EXPECT_EQ(ReadBE32(file.get()), static_cast<int32_t>(0x80010203));
  EXPECT_EQ(ReadLE32(file.get()), static_cast<int32_t>(0x80010203));
  EXPECT_EQ(ReadBE16(file.get()), -32767);
  EXPECT_EQ(ReadLE16(file.get()), -32767);
  EXPECT_FALSE(StreamPastEnd(file.get()));
  EXPECT_EQ(WriteBE32(file.get(), 1), 0);  // a read handle cannot be written
}

}  // namespace
