// The bounded formatting entry of the platform layer.
#include "platform/vkos_format.h"

#include <cstdarg>
#include <cstdio>

int vkosFormatString(char* buffer, size_t size, const char* format, ...) {
  if (size == 0) return 0;
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (wanted < 0) {
    buffer[0] = '\0';
    return 0;
  }
  const size_t stored = static_cast<size_t>(wanted) < size ? static_cast<size_t>(wanted) : size - 1;
  return static_cast<int>(stored);
}
