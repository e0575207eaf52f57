// Doubles to integers: truncation, saturation and NaN, as scripts see them,
// and the exact test that decides whether a number is an integer key.
#include "base/numconv.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

struct Case {
  double in;
  int32_t asInt;
  uint32_t asWord;
  bool isInt32;  // an integer that fits an int32
};

const Case kCases[] = {
    {0.0, 0, 0, true},
    {-0.0, 0, 0, true},
    {1.9, 1, 1, false},
    {-1.9, -1, 0xFFFFFFFFu, false},
    {-1.0, -1, 0xFFFFFFFFu, true},
    {2147483647.0, INT32_MAX, 0x7FFFFFFFu, true},
    {2147483647.5, INT32_MAX, 0x7FFFFFFFu, false},
    {2147483648.0, INT32_MAX, 0x80000000u, false},
    {4294967295.0, INT32_MAX, 0xFFFFFFFFu, false},
    {4294967296.0, INT32_MAX, 0xFFFFFFFFu, false},
    {1e300, INT32_MAX, 0xFFFFFFFFu, false},
    {-2147483648.0, INT32_MIN, 0x80000000u, true},
    {-2147483648.5, INT32_MIN, 0x80000000u, false},
    {-2147483649.0, INT32_MIN, 0x80000000u, false},
    {-1e300, INT32_MIN, 0x80000000u, false},
    {std::numeric_limits<double>::infinity(), INT32_MAX, 0xFFFFFFFFu, false},
    {-std::numeric_limits<double>::infinity(), INT32_MIN, 0x80000000u, false},
    {std::nan(""), INT32_MIN, 0x80000000u, false},
};

TEST(NumConv, TruncatesAndSaturates) {
  for (const Case& c : kCases) {
    EXPECT_EQ(vkDoubleToInt32(c.in), c.asInt) << c.in;
    EXPECT_EQ(vkDoubleToWord(c.in), c.asWord) << c.in;
  }
}

TEST(NumConv, ExactInt32OnlyForIntegersInRange) {
  for (const Case& c : kCases) {
    int32_t i = 12345;
    EXPECT_EQ(vkDoubleIsInt32(c.in, &i), c.isInt32) << c.in;
    if (c.isInt32) {
      EXPECT_EQ(i, c.asInt) << c.in;
    }
  }
}

}  // namespace
