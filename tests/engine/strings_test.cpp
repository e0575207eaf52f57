// Strings and conversions as scripts see them: interning, the hash, the
// intern table's growth, text to number (decimal and the 32-bit hexadecimal
// forms), number to text, chunk names and the integer logarithm.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "engine/strings.h"
#include "support/vmtest.h"

namespace {

using vktest::EngineTest;

struct ToNumberCase {
  const char* text;
  bool ok;
  double value;
};

const ToNumberCase kToNumber[] = {
    {"12", true, 12},
    {"  12", true, 12},
    {"12  ", true, 12},
    {"12\t\n", true, 12},
    {"-3.5", true, -3.5},
    {"1e3", true, 1000},
    {"12a", false, 0},
    {"", false, 0},
    {"   ", false, 0},
    {"$1F", true, 31},
    {"$1f", true, 31},
    {"0x1F", true, 31},
    {"0x1f  ", true, 31},
    {"$FFFFFFFF", true, 4294967295.0},
    {"0xFFFFFFFF", true, 4294967295.0},
    {"$100000000", true, 4294967295.0},  // saturates like a 32-bit strtoul
    {"0x123456789", true, 4294967295.0},
    {"$-1", true, 4294967295.0},         // negated modulo 2^32
    {"0x", false, 0},                    // two characters: not the hex path
    {"0x1G", false, 0},
    {"$", false, 0},                     // no digits after the prefix
    {"0x   ", false, 0},
    {"$G", false, 0},
    {"0", true, 0},
};

TEST(StringToNumber, TableOfTexts) {
  for (const ToNumberCase& c : kToNumber) {
    double d = -12345;
    int ok = vmStringToNumber(c.text, &d);
    EXPECT_EQ(ok != 0, c.ok) << '"' << c.text << '"';
    if (c.ok && ok) {
      EXPECT_EQ(d, c.value) << '"' << c.text << '"';
    }
  }
}

TEST(NumberToText, FourteenSignificantDigitsInTheCLocale) {
  struct Case {
    double d;
    const char* text;
  } cases[] = {{1, "1"},        {0.1, "0.1"},           {-0.5, "-0.5"},     {1e15, "1e+15"},
               {1.0 / 3, "0.33333333333333"}, {4294967295.0, "4294967295"}, {NAN, "nan"},
               {-NAN, "nan"},   {INFINITY, "inf"},      {123456789012345.0, "1.2345678901234e+14"},
               {0, "0"},        {-0.0, "-0"},           {-2147483648.0, "-2147483648"}, {2147483647.0, "2147483647"},
               {-42, "-42"},    {1e10, "10000000000"}};
  for (const Case& c : cases) {
    char buf[kNumberTextMax];
    vmNumberToText(c.d, buf);
    EXPECT_STREQ(buf, c.text);
  }
}

TEST(NumberToText, AgreesWithPrintfAcrossTheIntegerRange) {
  uint32_t x = 12345;
  for (int j = 0; j < 20000; j++) {
    x = x * 1103515245u + 12345u;
    double values[] = {static_cast<double>(static_cast<int32_t>(x)), static_cast<double>(x % 1000) - 500,
                       static_cast<double>(static_cast<int32_t>(x)) + 0.5, static_cast<double>(x) * 4096.0};
    for (double d : values) {
      char ours[kNumberTextMax], ref[64];
      vmNumberToText(d, ours);
      std::snprintf(ref, sizeof ref, "%.14g", d);
      ASSERT_STREQ(ours, ref) << d;
    }
  }
}

TEST(StringHash, HashesAboutEvery32ndCharacterFromTheEnd) {
  std::string a(1000, 'a');
  std::string b = a;
  b[1] = 'b';  // step is 1000/32 + 1 = 32: index 1 is not sampled (i - 1 = 999, 967, ... 7)
  EXPECT_EQ(vmStringHash(a.data(), a.size()), vmStringHash(b.data(), b.size()));
  b = a;
  b[999] = 'b';
  EXPECT_NE(vmStringHash(a.data(), a.size()), vmStringHash(b.data(), b.size()));
  // The rule itself for a short text: h = len; h ^= (h << 5) + (h >> 2) + byte.
  uint32_t h = 2;
  h ^= (h << 5) + (h >> 2) + 'y';
  h ^= (h << 5) + (h >> 2) + 'x';
  EXPECT_EQ(vmStringHash("xy", 2), h);
}

TEST(Log2, IntegerLogarithm) {
  EXPECT_EQ(vmLog2(0), -1);
  EXPECT_EQ(vmLog2(1), 0);
  EXPECT_EQ(vmLog2(255), 7);
  EXPECT_EQ(vmLog2(256), 8);
  EXPECT_EQ(vmLog2(65535), 15);
  EXPECT_EQ(vmLog2(0x1000000), 24);
  EXPECT_EQ(vmLog2(0xFFFFFFFF), 31);
}

TEST(ChunkId, Forms) {
  char buf[60];
  std::string path = "@" + std::string(200, 'p') + "END";
  vmChunkId(buf, path.c_str(), sizeof buf);
  std::string want = "..." + path.substr(path.size() - 52);
  EXPECT_EQ(std::string(buf), want);
  vmChunkId(buf, "=stdin", sizeof buf);
  EXPECT_STREQ(buf, "stdin");
  vmChunkId(buf, "@short.vk", sizeof buf);
  EXPECT_STREQ(buf, "short.vk");
  vmChunkId(buf, "line1\nline2", sizeof buf);
  EXPECT_STREQ(buf, "[string \"line1...\"]");
  vmChunkId(buf, "one line", sizeof buf);
  EXPECT_STREQ(buf, "[string \"one line\"]");
}

TEST_F(EngineTest, InterningMakesEqualTextsOneObject) {
  vkString* a = vmNewString(L, "hello", 5);
  vkString* b = vmNewString(L, "hello", 5);
  vkString* c = vmNewString(L, "hellO", 5);
  vkString* z1 = vmNewString(L, "a\0b", 3);
  vkString* z2 = vmNewString(L, "a\0c", 3);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(z1, z2);  // embedded NULs count
  EXPECT_EQ(z1->len, 3u);
  vmPushString(L, "x1");
  vmPushLString(L, "x1", 2);
  EXPECT_TRUE(vmRawEqual(L, -1, -2));
}

TEST_F(EngineTest, InternTableDoublesAfterThe33rdString) {
  // A fresh engine interns the 23 event names and one fixed text.
  vkGlobalState* g = L->G;
  ASSERT_EQ(g->strt.size, 32u);
  uint32_t start = g->strt.nuse;
  int made = 0;
  while (g->strt.nuse < 32) vmNewCString(L, ("s" + std::to_string(made++)).c_str());
  EXPECT_EQ(g->strt.size, 32u);
  vmNewCString(L, "the 33rd");
  EXPECT_EQ(g->strt.nuse, 33u);
  EXPECT_EQ(g->strt.size, 64u);
  EXPECT_EQ(start, 24u);
}
}  // namespace

namespace {
using vktest::EngineTest;
TEST_F(EngineTest, EmptyStringFromNoBytes) {
  vmPushLString(L, nullptr, 0);
  vmPushString(L, "");
  EXPECT_TRUE(vmRawEqual(L, 1, 2));
}
}  // namespace
