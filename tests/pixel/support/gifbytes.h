// Hand-made GIF bytes for the reader's tests: a screen with an optional
// global palette, graphic control extensions, images with optional local
// palettes, and image data built from a list of LZW codes whose widths are
// worked out as a decoder grows its table, so that damaged code streams can
// be written on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gifbytes {

inline void Put16(std::string& s, int v) {
  s += char(v & 255);
  s += char(v >> 8 & 255);
}

inline std::string Palette(int bits, uint32_t seed) {
  std::string s;
  for (int i = 0; i < (1 << bits); i++) {
    const uint32_t c = (uint32_t(i) * 2654435761u) ^ seed;
    s += char(c >> 16), s += char(c >> 8), s += char(c);
  }
  return s;
}

// "GIF89a", the screen, and a global palette of 2^bits entries (none for 0).
inline std::string Header(int w, int h, int paletteBits, int background = 0) {
  std::string s = "GIF89a";
  Put16(s, w), Put16(s, h);
  s += char(paletteBits ? 0x80 | (paletteBits - 1) : 0);
  s += char(background);
  s += char(0);
  if (paletteBits) s += Palette(paletteBits, 0x123456);
  return s;
}

inline std::string Control(int disposal, int delay, int transparent) {
  std::string s = "\x21\xF9\x04";
  s += char(disposal << 2 | (transparent >= 0 ? 1 : 0));
  Put16(s, delay);
  s += char(transparent >= 0 ? transparent : 0);
  s += '\0';
  return s;
}

inline std::string Descriptor(int l, int t, int w, int h, int localBits = 0, bool interlaced = false) {
  std::string s = "\x2C";
  Put16(s, l), Put16(s, t), Put16(s, w), Put16(s, h);
  s += char((localBits ? 0x80 | (localBits - 1) : 0) | (interlaced ? 0x40 : 0));
  if (localBits) s += Palette(localBits, 0xABCDEF);
  return s;
}

// Packs [codes] into sub-blocks behind the minimum code size; [tail] bytes
// follow the codes inside the last sub-blocks.
inline std::string CodeData(int minSize, const std::vector<int>& codes, const std::string& tail = "") {
  const int clear = 1 << minSize, end = clear + 1;
  int width = minSize + 1, next = clear + 2;
  bool first = true;
  std::string bytes;
  uint32_t acc = 0;
  int count = 0;
  for (int code : codes) {
    acc |= uint32_t(code) << count;
    count += width;
    while (count >= 8) bytes += char(acc & 255), acc >>= 8, count -= 8;
    if (code == clear) {
      width = minSize + 1, next = clear + 2, first = true;
    } else if (code == end) {
      break;
    } else if (first) {
      first = false;
    } else if (next < 4096) {
      next++;
      if (next == (1 << width) && width < 12) width++;
    }
  }
  if (count) bytes += char(acc & 255);
  bytes += tail;
  std::string s(1, char(minSize));
  for (size_t at = 0; at < bytes.size(); at += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - at);
    s += char(n);
    s += bytes.substr(at, n);
  }
  s += '\0';
  return s;
}

// The plain stream: a clear, one literal per pixel, the end code.
inline std::vector<int> Literals(int minSize, const std::vector<uint8_t>& pixels) {
  std::vector<int> codes{1 << minSize};
  codes.insert(codes.end(), pixels.begin(), pixels.end());
  codes.push_back((1 << minSize) + 1);
  return codes;
}

}  // namespace gifbytes
