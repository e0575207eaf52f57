// The formatting entry never writes past its buffer, always terminates, and
// reports how many bytes it stored.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/vkos_format.h"

namespace {

struct FormatCase {
  size_t size;
  const char* expected;
};

TEST(FormatString, CutsToTheBufferAndTerminates) {
  const FormatCase cases[] = {
      {32, "file.txt:12: bad"}, {17, "file.txt:12: bad"}, {16, "file.txt:12: ba"}, {2, "f"}, {1, ""},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[40];
    std::memset(buffer, 'x', sizeof buffer);
    const int stored = vkosFormatString(buffer, c.size, "%s:%d: %s", "file.txt", 12, "bad");
    EXPECT_STREQ(buffer, c.expected);
    EXPECT_EQ(stored, static_cast<int>(std::strlen(c.expected)));
    EXPECT_EQ(buffer[c.size], 'x');  // nothing past the buffer
  }
}

TEST(FormatString, ZeroSizeWritesNothing) {
  char buffer[2] = {'x', 'x'};
  EXPECT_EQ(vkosFormatString(buffer, 0, "%d", 5), 0);
  EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
