// Doubles to integers, the only way the player turns a script number into an
// integer. A raw cast of an out-of-range double is undefined in C++; these
// saturate instead, and NaN becomes -2147483648, as the interpreter expects.
#pragma once

#include <cstdint>

// Truncates [d] toward zero into a signed 32-bit integer, saturating at the
// ends of the range; NaN gives INT32_MIN.
inline int32_t vkDoubleToInt32(double d) {
  if (d != d) return INT32_MIN;
  if (d >= 2147483647.0) return INT32_MAX;
  if (d <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(d);
}

// Whether [d] is an integer that fits an int32 (NaN is not), stored in [*i].
// Only an in-range double is converted, so no saturation test is needed.
inline bool vkDoubleIsInt32(double d, int32_t* i) {
  if (!(d >= -2147483648.0 && d < 2147483648.0)) return false;
  *i = static_cast<int32_t>(d);
  return static_cast<double>(*i) == d;
}

// Converts [d] to a 32-bit word: values from 2^31 up convert as
// (d - 2^31) + 0x80000000, smaller ones truncate to a signed integer and keep
// their bits (so -1 gives 0xFFFFFFFF). Out-of-range values saturate.
inline uint32_t vkDoubleToWord(double d) {
  if (d >= 2147483648.0)
    return static_cast<uint32_t>(vkDoubleToInt32(d - 2147483648.0)) + 0x80000000u;
  return static_cast<uint32_t>(vkDoubleToInt32(d));
}

// Truncates [d] toward zero into a signed 64-bit integer (file positions),
// saturating at the ends of the range; NaN gives INT64_MIN.
inline int64_t vkDoubleToInt64(double d) {
  if (d != d) return INT64_MIN;
  if (d >= 9223372036854775807.0) return INT64_MAX;
  if (d <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(d);
}
