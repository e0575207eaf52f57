// The marker block: present once in the executable, and an offset patched
// into the file after linking is what the running player reads.
#include "runtime/context.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Marker, HoldsTheNameAndNoApplet) {
  const std::array<uint8_t, kMarkerSize> block = CopyMarkerBlock();
  EXPECT_EQ(MarkerText(), "Quillmoor Ashtun Entertainment");
  EXPECT_EQ(MarkerText().size(), kMarkerTextSize);
  EXPECT_EQ(block[30], 0);
  EXPECT_EQ(block[31], 0);
  const uint8_t filler[] = {0xC0, 0xDE, 0xCA, 0xFE, 0xC0, 0xCA, 0xC0, 0x1A, 0};
  EXPECT_TRUE(std::equal(std::begin(filler), std::end(filler), block.begin() + kMarkerOffsetField + 4));

  // Run as the child of PatchedExecutableReadsItsOffset: the offset it wrote.
  const char* expected = std::getenv("VK_MARKER_EXPECT");
  EXPECT_EQ(AttachedAppletOffset(), expected ? uint32_t(std::strtoul(expected, nullptr, 10)) : 0u);
  if (!expected) {
    const uint8_t none[] = {0xDE, 0xAD, 0xC0, 0xDE};
    EXPECT_TRUE(std::equal(std::begin(none), std::end(none), block.begin() + kMarkerOffsetField));
  }
}

TEST(Marker, PatchedExecutableReadsItsOffset) {
  if (std::getenv("VK_MARKER_EXPECT")) GTEST_SKIP() << "running as the patched child";
  std::vector<char> image = ReadFile("/proc/self/exe");
  ASSERT_FALSE(image.empty());
  const std::array<uint8_t, kMarkerSize> block = CopyMarkerBlock();
  const std::vector<char> needle(block.begin(), block.end());
  const auto found = std::search(image.begin(), image.end(), needle.begin(), needle.end());
  ASSERT_NE(found, image.end());
  EXPECT_EQ(std::search(found + 1, image.end(), needle.begin(), needle.end()), image.end()) << "marker twice";

  const uint32_t offset = 0x00123456;
  char* field = &*found + kMarkerOffsetField;
  for (int i = 0; i < 4; ++i) field[i] = char(offset >> (24 - 8 * i));
  const std::string copy = std::string(VK_BINARY_DIR) + "/context_test_patched";
  {
    std::ofstream out(copy, std::ios::binary | std::ios::trunc);
    out.write(image.data(), std::streamsize(image.size()));
    ASSERT_TRUE(out.good());
  }
  ASSERT_EQ(chmod(copy.c_str(), 0755), 0);
  const std::string command = "VK_MARKER_EXPECT=" + std::to_string(offset) + " '" + copy +
                              "' --gtest_filter=Marker.HoldsTheNameAndNoApplet >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  std::remove(copy.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
