// Path joining and splitting: the separator rules that every path built or
// cut by the file layer relies on.
#include "base/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(Paths, AddPart) {
  struct Case {
    const char *path, *name, *joined;
  } cases[] = {
      {"", "name", "name"},
      {"dir/", "name", "dir/name"},
      {"dir\\", "name", "dir\\name"},
      {"dir", "name", "dir/name"},
      {"vol:", "name", "vol:/name"},
      {"/", "", "/"},
  };
  for (const Case& c : cases) {
    std::string s = c.path;
    AddPart(s, c.name);
    EXPECT_EQ(s, c.joined) << c.path;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", c.path);
    EXPECT_EQ(AddPart(buf, sizeof buf, c.name), 1);
    EXPECT_STREQ(buf, c.joined);
  }
}

TEST(Paths, AddPartRefusesWhatDoesNotFit) {
  char buf[8] = "dir";
  EXPECT_EQ(AddPart(buf, sizeof buf, "abcd"), 0);  // "dir/abcd" needs 9 bytes
  EXPECT_STREQ(buf, "dir");
  EXPECT_EQ(AddPart(buf, sizeof buf, "abc"), 1);
  EXPECT_STREQ(buf, "dir/abc");
}

TEST(Paths, GetPathEndAndFilePart) {
  struct Case {
    const char* path;
    size_t end;       // offset of GetPathEnd
    size_t filePart;  // offset of FilePart
  } cases[] = {
      {"a/b/c", 3, 4},        // the second "/"
      {"vol:file", 4, 4},     // just after the ":"
      {"//name", 2, 2},       // leading slashes skipped
      {"name", 0, 0},
      {"a\\b", 1, 2},
      {"vol:dir/x", 7, 8},    // a "/" after the ":" comes last
      {"dir/vol:x", 8, 8},
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<size_t>(GetPathEnd(c.path) - c.path), c.end) << c.path;
    EXPECT_EQ(static_cast<size_t>(FilePart(c.path) - c.path), c.filePart) << c.path;
  }
}

}  // namespace
