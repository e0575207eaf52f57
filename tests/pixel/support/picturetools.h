// Outside judges for the picture files: runs ImageMagick and netpbm tools
// through the shell, writes and reads the binary PPM files they exchange
// with us, and builds big- and little-endian byte strings for hand-made
// fixtures.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "pixel/allocate.h"
#include "tests/common/scratchdir.h"

namespace picturetools {

// True when [tool] is on the path.
inline bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs [command] (its chatter on standard error shows with a failing test);
// true when it succeeded.
inline bool RunTool(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

// An RGB picture: one word 0x00RRGGBB per pixel, rows top to bottom.
struct Rgb {
  int32_t width = 0, height = 0;
  int32_t maxval = 255;  // of the PPM file it came from
  std::vector<uint32_t> pixels;
};

// Writes [picture] as a binary PPM.
inline void WritePPM(const std::string& path, const Rgb& picture) {
  std::string bytes = "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  for (uint32_t p : picture.pixels) {
    bytes += static_cast<char>(p >> 16);
    bytes += static_cast<char>(p >> 8);
    bytes += static_cast<char>(p);
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

// Reads a binary PPM with a maxval below 256; false when it is anything else.
inline bool ReadPPM(const std::string& path, Rgb* picture) {
  std::string bytes = ReadWholeFile(path);
  size_t at = 0;
  auto number = [&]() -> long {
    while (at < bytes.size()) {
      if (bytes[at] == '#') {
        while (at < bytes.size() && bytes[at] != '\n') at++;
      } else if (std::isspace(static_cast<unsigned char>(bytes[at]))) {
        at++;
      } else {
        break;
      }
    }
    long n = -1;
    while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at])))
      n = (n < 0 ? 0 : n * 10) + (bytes[at++] - '0');
    return n;
  };
  if (bytes.compare(0, 2, "P6") != 0) return false;
  at = 2;
  long w = number(), h = number(), maxval = number();
  at++;
  if (w < 1 || h < 1 || maxval < 1 || maxval > 255 || bytes.size() - at < size_t(w * h * 3)) return false;
  picture->width = int32_t(w);
  picture->height = int32_t(h);
  picture->maxval = int32_t(maxval);
  picture->pixels.resize(size_t(w * h));
  for (size_t i = 0; i < picture->pixels.size(); i++) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at + i * 3);
    picture->pixels[i] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  }
  return true;
}

// Colour [k] of a fixed spread; the first 256 are all different.
inline uint32_t PatternColour(uint32_t k) {
  uint32_t r = (k * 97 + 13) & 0xFF, g = (k * 57 + 200) & 0xFF, b = (k * 31 + 77) & 0xFF;
  return r << 16 | g << 8 | b;
}

// A picture of [width] x [height] using the first [colours] of the spread
// in a pattern that has both runs and changes.
inline Rgb Pattern(int32_t width, int32_t height, int32_t colours) {
  Rgb p;
  p.width = width;
  p.height = height;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++)
      p.pixels.push_back(PatternColour(uint32_t((x / 3 + y * 7 + (x * y) % 5) % colours)));
  return p;
}

// An RGB picture with one alpha byte per pixel (255 everywhere when the
// picture has none).
struct Rgba {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
  std::vector<uint8_t> alpha;
};

// Writes [picture] as a PAM with an alpha channel, which ImageMagick reads.
inline void WritePAM(const std::string& path, const Rgba& picture) {
  std::string bytes = "P7\nWIDTH " + std::to_string(picture.width) + "\nHEIGHT " + std::to_string(picture.height) +
                      "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  for (size_t i = 0; i < picture.pixels.size(); i++) {
    const uint32_t p = picture.pixels[i];
    bytes += static_cast<char>(p >> 16);
    bytes += static_cast<char>(p >> 8);
    bytes += static_cast<char>(p);
    bytes += static_cast<char>(picture.alpha[i]);
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

// ImageMagick's own decode of the picture at [path] ([options] go before the
// output, such as "-colorspace sRGB"), through a raw RGBA file [scratch].
// False when the tool fails or gives a picture of another size.
inline bool MagickDecode(const std::string& path, const std::string& options, const std::string& scratch,
                         int32_t width, int32_t height, Rgba* out) {
  if (!RunTool("convert '" + path + "'[0] " + options + " -depth 8 rgba:'" + scratch + "'")) return false;
  const std::string bytes = ReadWholeFile(scratch);
  if (bytes.size() != size_t(width) * size_t(height) * 4) return false;
  out->width = width;
  out->height = height;
  out->pixels.clear();
  out->alpha.clear();
  for (size_t i = 0; i < bytes.size(); i += 4) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + i);
    out->pixels.push_back(uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
    out->alpha.push_back(p[3]);
  }
  return true;
}

// The largest difference of one colour channel between [a] and [b].
inline int ChannelDistance(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF));
    most = d > most ? d : most;
  }
  return most;
}

// Byte strings for fixtures.
inline std::string BE32(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
inline std::string BE16(uint32_t v) { return {char(v >> 8), char(v)}; }
inline std::string LE32(uint32_t v) {
  return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
inline std::string LE16(uint32_t v) { return {char(v), char(v >> 8)}; }
inline std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

// What a picture reader gave for a file: its code and, on success, the pixels.
struct Loaded {
  uint32_t code = 0;
  Rgb picture;
};

// Runs [reader] (one of the loaders that hand out a 0x00RRGGBB array) on
// [path] and takes the pixels it allocated.
template <typename Reader>
Loaded LoadWith(Reader reader, const std::string& path) {
  Loaded l;
  uint32_t* pixels = nullptr;
  l.code = reader(path.c_str(), &l.picture.width, &l.picture.height, &pixels);
  vkBufferPtr<uint32_t> owned(pixels);
  if (l.code == 0) l.picture.pixels.assign(pixels, pixels + size_t(l.picture.width) * l.picture.height);
  return l;
}

}  // namespace picturetools
