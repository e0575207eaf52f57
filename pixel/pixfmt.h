// Pixel formats of the pixel engine: the thirteen format codes, the generic
// converters between any format and an R, G, B byte triple, and the pixel
// traits over which every kernel family is written once for 4, 3 and 2 bytes
// per pixel. 32- and 16-bit pixels are host-native words defined by value
// (ARGB32 is 0xAARRGGBB); 24-bit pixels are three bytes in memory.
#pragma once

#include <cstdint>
#include <cstring>

enum : int32_t {
  PIXFMT_RGB15 = 0,
  PIXFMT_BGR15 = 1,
  PIXFMT_RGB15PC = 2,
  PIXFMT_BGR15PC = 3,
  PIXFMT_RGB16 = 4,
  PIXFMT_BGR16 = 5,
  PIXFMT_RGB16PC = 6,
  PIXFMT_BGR16PC = 7,
  PIXFMT_RGB24 = 8,
  PIXFMT_BGR24 = 9,
  PIXFMT_ARGB32 = 10,
  PIXFMT_BGRA32 = 11,
  PIXFMT_RGBA32 = 12,
};

inline constexpr int32_t kPixFmtCount = 13;

// Bytes per pixel of a format code (0 for an unknown code).
inline int32_t PixFmtBytes(int32_t format) {
  if (format < 0 || format > 12) return 0;
  return format <= 7 ? 2 : format <= 9 ? 3 : 4;
}

// The colour bytes of a 32-bit word: everything but the fourth byte, which
// is never colour (the top byte for ARGB32, the low byte for BGRA32/RGBA32).
inline constexpr uint32_t ColorMask32(int32_t format) {
  return (format == PIXFMT_BGRA32 || format == PIXFMT_RGBA32) ? 0xFFFFFF00u : 0x00FFFFFFu;
}

// Reads the pixel at [pixel] as R, G, B. An unknown code leaves [rgb] as it is.
void ReadPixelRGB(const void* pixel, int32_t format, uint8_t rgb[3]);
// Writes R, G, B at [pixel] as one pixel of [format]; an unknown code writes
// nothing. The fourth byte of a 32-bit pixel is written 0.
void WritePixelRGB(void* pixel, int32_t format, const uint8_t rgb[3]);

// A 24-bit pixel: three bytes, value first byte << 16 | second << 8 | third.
struct vkPixel24 {
  uint8_t b[3];
};
static_assert(sizeof(vkPixel24) == 3);

// Pixel traits: the storage word of one pixel and its value as a 32-bit
// number (what colour keys, pair lists and fills are given in).
struct vkPix32 {
  using Word = uint32_t;
  static constexpr int kBytes = 4;
  static uint32_t Value(Word w) { return w; }
  static Word Make(uint32_t v) { return v; }
};
struct vkPix24 {
  using Word = vkPixel24;
  static constexpr int kBytes = 3;
  static uint32_t Value(Word w) { return uint32_t(w.b[0]) << 16 | uint32_t(w.b[1]) << 8 | w.b[2]; }
  static Word Make(uint32_t v) { return Word{{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}}; }
};
struct vkPix16 {
  using Word = uint16_t;
  static constexpr int kBytes = 2;
  static uint32_t Value(Word w) { return w; }
  static Word Make(uint32_t v) { return uint16_t(v); }
};

inline uint16_t SwapBytes16(uint16_t w) { return uint16_t(w << 8 | w >> 8); }

// One format's conversion to and from R, G, B, resolved at compile time so
// that the smoothing paths decide the format once per call.
template <int F>
struct vkFormatRGB {
  static void Read(const void* p, uint8_t rgb[3]) {
    if constexpr (F <= 7) {
      uint16_t w;
      std::memcpy(&w, p, 2);
      if constexpr (F == 2 || F == 3 || F == 6 || F == 7) w = SwapBytes16(w);
      uint8_t hi, mid, lo;
      if constexpr (F <= 3) {
        hi = uint8_t((w >> 7) & 0xF8);
        mid = uint8_t((w >> 2) & 0xF8);
        lo = uint8_t((w << 3) & 0xF8);
      } else {
        hi = uint8_t((w >> 8) & 0xF8);
        mid = uint8_t((w >> 3) & 0xFC);
        lo = uint8_t((w << 3) & 0xF8);
      }
      constexpr bool redHigh = (F == 0 || F == 2 || F == 4 || F == 6);
      rgb[0] = redHigh ? hi : lo;
      rgb[1] = mid;
      rgb[2] = redHigh ? lo : hi;
    } else if constexpr (F <= 9) {
      const uint8_t* b = static_cast<const uint8_t*>(p);
      rgb[0] = b[F == 8 ? 0 : 2];
      rgb[1] = b[1];
      rgb[2] = b[F == 8 ? 2 : 0];
    } else {
      uint32_t w;
      std::memcpy(&w, p, 4);
      if constexpr (F == PIXFMT_ARGB32) {
        rgb[0] = uint8_t(w >> 16), rgb[1] = uint8_t(w >> 8), rgb[2] = uint8_t(w);
      } else if constexpr (F == PIXFMT_BGRA32) {
        rgb[0] = uint8_t(w >> 8), rgb[1] = uint8_t(w >> 16), rgb[2] = uint8_t(w >> 24);
      } else {
        rgb[0] = uint8_t(w >> 24), rgb[1] = uint8_t(w >> 16), rgb[2] = uint8_t(w >> 8);
      }
    }
  }
  static void Write(void* p, const uint8_t rgb[3]) {
    if constexpr (F <= 7) {
      constexpr bool redHigh = (F == 0 || F == 2 || F == 4 || F == 6);
      uint32_t first = redHigh ? rgb[0] : rgb[2];
      uint32_t last = redHigh ? rgb[2] : rgb[0];
      uint16_t w;
      if constexpr (F <= 3)
        w = uint16_t(((first << 7) & 0x7C00) | ((uint32_t(rgb[1]) << 2) & 0x03E0) | (last >> 3));
      else
        w = uint16_t(((first << 8) & 0xF800) | ((uint32_t(rgb[1]) << 3) & 0x07E0) | (last >> 3));
      if constexpr (F == 2 || F == 3 || F == 6 || F == 7) w = SwapBytes16(w);
      std::memcpy(p, &w, 2);
    } else if constexpr (F <= 9) {
      uint8_t* b = static_cast<uint8_t*>(p);
      b[F == 8 ? 0 : 2] = rgb[0];
      b[1] = rgb[1];
      b[F == 8 ? 2 : 0] = rgb[2];
    } else {
      uint32_t r = rgb[0], g = rgb[1], bl = rgb[2], w;
      if constexpr (F == PIXFMT_ARGB32)
        w = r << 16 | g << 8 | bl;
      else if constexpr (F == PIXFMT_BGRA32)
        w = bl << 24 | g << 16 | r << 8;
      else
        w = r << 24 | g << 16 | bl << 8;
      std::memcpy(p, &w, 4);
    }
  }
};

// Calls fn.template operator()<F>() for the format code [format] (0..12);
// unknown codes call nothing and return false.
template <typename Fn>
bool DispatchPixFmt(int32_t format, Fn&& fn) {
  switch (format) {
    case 0: fn.template operator()<0>(); return true;
    case 1: fn.template operator()<1>(); return true;
    case 2: fn.template operator()<2>(); return true;
    case 3: fn.template operator()<3>(); return true;
    case 4: fn.template operator()<4>(); return true;
    case 5: fn.template operator()<5>(); return true;
    case 6: fn.template operator()<6>(); return true;
    case 7: fn.template operator()<7>(); return true;
    case 8: fn.template operator()<8>(); return true;
    case 9: fn.template operator()<9>(); return true;
    case 10: fn.template operator()<10>(); return true;
    case 11: fn.template operator()<11>(); return true;
    case 12: fn.template operator()<12>(); return true;
    default: return false;
  }
}
