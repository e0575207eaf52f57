// Out-of-line instances of the conversion helpers, for callers that take their
// address (tables of converters).
#include "base/numconv.h"

int32_t (*const vkDoubleToInt32Fn)(double) = vkDoubleToInt32;
uint32_t (*const vkDoubleToWordFn)(double) = vkDoubleToWord;
