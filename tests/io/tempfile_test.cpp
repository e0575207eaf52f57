// Owned temporary files: unique, typed by their suffix, and gone when their
// owner is, however the owner's scope ends.
#include "io/tempfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace {

TEST(TempFiles, MadeUniqueAndDeletedWithTheirOwner) {
  std::string a, b;
  {
    vkTempFile first = vkTempFile::Create(".png");
    vkTempFile second = vkTempFile::Create(".png");
    ASSERT_TRUE(first.valid());
    ASSERT_TRUE(second.valid());
    a = first.path();
    b = second.path();
    EXPECT_NE(a, b);
    EXPECT_TRUE(a.ends_with(".png"));
    EXPECT_TRUE(std::filesystem::exists(a));
  }
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_FALSE(std::filesystem::exists(b));
}

TEST(TempFiles, DeletedWhenAnErrorUnwinds) {
  std::string path;
  try {
    vkTempFile temp = vkTempFile::Create();
    path = temp.path();
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  ASSERT_FALSE(path.empty());
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TempFiles, OwnershipMovesAndRemoveEndsIt) {
  vkTempFile outer;
  std::string path;
  {
    vkTempFile inner = vkTempFile::Create();
    path = inner.path();
    outer = std::move(inner);
    EXPECT_FALSE(inner.valid());
  }
  EXPECT_TRUE(std::filesystem::exists(path));
  outer = vkTempFile::Create();  // the old file goes when replaced
  EXPECT_FALSE(std::filesystem::exists(path));
  path = outer.path();
  outer.Remove();
  EXPECT_FALSE(outer.valid());
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
