// Libraries loaded on first use: a forwarded function reaches the library's
// own, and a library or function that is not there ends the program with one
// line on standard error naming the library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/linux/lazylibrary.h"

namespace {

// The C library's math part is in every process; its soname is stable.
constexpr char kMathLibrary[] = "libm.so.6";

TEST(LazyLibrary, FindsTheLibrarysOwnFunction) {
  static vkLazyLibrary math{kMathLibrary};
  void* found = vkosLazySymbol(math, "cos");
  void* handle = dlopen(kMathLibrary, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(found, dlsym(handle, "cos"));
  dlclose(handle);
  EXPECT_EQ(vkosLazySymbol(math, "cos"), found);
  EXPECT_TRUE(vkosLoadLazyLibrary(math));
}

TEST(LazyLibrary, MissingLibraryIsReportedAndTriedAgain) {
  static vkLazyLibrary missing{"libvk-no-such-library.so.0"};
  std::string error;
  EXPECT_FALSE(vkosLoadLazyLibrary(missing, &error));
  EXPECT_NE(error.find("libvk-no-such-library.so.0"), std::string::npos) << error;
  EXPECT_EQ(missing.handle.load(), nullptr);
}

struct FatalCase {
  const char* name;
  const char* soname;
  const char* function;
  const char* message;  // what standard error starts with
};

const FatalCase kFatalCases[] = {
    {"no library", "libvk-no-such-library.so.0", "anything", "^Cannot load libvk-no-such-library\\.so\\.0: .*libvk-no-such-library"},
    {"no function", kMathLibrary, "vk_no_such_function", "^Cannot load libm\\.so\\.6: .*vk_no_such_function"},
};

TEST(LazyLibraryDeathTest, WhatCannotBeFoundEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const FatalCase& c : kFatalCases) {
    SCOPED_TRACE(c.name);
    vkLazyLibrary library{c.soname};
    EXPECT_EXIT(vkosLazySymbol(library, c.function), ::testing::ExitedWithCode(1), c.message);
  }
}

}  // namespace
