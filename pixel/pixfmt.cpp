// The generic pixel converters: one switch over the format code in front of
// the per-format conversions of pixfmt.h.
#include "pixel/pixfmt.h"

void ReadPixelRGB(const void* pixel, int32_t format, uint8_t rgb[3]) {
  DispatchPixFmt(format, [&]<int F>() { vkFormatRGB<F>::Read(pixel, rgb); });
}

void WritePixelRGB(void* pixel, int32_t format, const uint8_t rgb[3]) {
  DispatchPixFmt(format, [&]<int F>() { vkFormatRGB<F>::Write(pixel, rgb); });
}
