// Doubles to integers: truncation, saturation and NaN, as scripts see them.
#include "base/numconv.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

struct Case {
  double in;
  int32_t asInt;
  uint32_t asWord;
};

const Case kCases[] = {
    {0.0, 0, 0},
    {1.9, 1, 1},
    {-1.9, -1, 0xFFFFFFFFu},
    {-1.0, -1, 0xFFFFFFFFu},
    {2147483647.0, INT32_MAX, 0x7FFFFFFFu},
    {2147483648.0, INT32_MAX, 0x80000000u},
    {4294967295.0, INT32_MAX, 0xFFFFFFFFu},
    {4294967296.0, INT32_MAX, 0xFFFFFFFFu},
    {1e300, INT32_MAX, 0xFFFFFFFFu},
    {-2147483648.0, INT32_MIN, 0x80000000u},
    {-2147483649.0, INT32_MIN, 0x80000000u},
    {-1e300, INT32_MIN, 0x80000000u},
    {std::numeric_limits<double>::infinity(), INT32_MAX, 0xFFFFFFFFu},
    {-std::numeric_limits<double>::infinity(), INT32_MIN, 0x80000000u},
    {std::nan(""), INT32_MIN, 0x80000000u},
};

TEST(NumConv, TruncatesAndSaturates) {
  for (const Case& c : kCases) {
    EXPECT_EQ(vkDoubleToInt32(c.in), c.asInt) << c.in;
    EXPECT_EQ(vkDoubleToWord(c.in), c.asWord) << c.in;
  }
}

}  // namespace
