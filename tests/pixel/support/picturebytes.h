// Hand-made picture files for the reader tests and the fuzz seeds: BMP files
// with a 40-byte info header, IFF ILBM chunks, and uncompressed TIFF files
// whose directory stands before the pixel data, so that a cut anywhere
// takes away bytes the picture needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pixel/ilbm.h"
#include "tests/pixel/support/picturetools.h"

namespace picturebytes {

using picturetools::BE16;
using picturetools::BE32;
using picturetools::Bytes;
using picturetools::LE16;
using picturetools::LE32;

// A BMP with a 40-byte info header: [palette] (0x00RRGGBB words, or colour
// masks) follows the headers, [data] follows the palette. [fileSize] 0 is
// the real size.
inline std::string Bmp(int32_t width, int32_t height, int bits, uint32_t compression, uint32_t coloursUsed,
                       const std::vector<uint32_t>& palette, const std::string& data, uint32_t fileSize = 0) {
  std::string pal;
  for (uint32_t c : palette) pal += LE32(c);
  const uint32_t offset = 54 + uint32_t(pal.size());
  if (!fileSize) fileSize = offset + uint32_t(data.size());
  return "BM" + LE32(fileSize) + LE32(0) + LE32(offset) + LE32(40) + LE32(uint32_t(width)) +
         LE32(uint32_t(height)) + LE16(1) + LE16(uint32_t(bits)) + LE32(compression) + LE32(uint32_t(data.size())) +
         LE32(2835) + LE32(2835) + LE32(coloursUsed) + LE32(0) + pal + data;
}

// An IFF chunk with its pad byte.
inline std::string Chunk(const std::string& id, const std::string& data) {
  std::string c = id + BE32(uint32_t(data.size())) + data;
  if (data.size() & 1) c += '\0';
  return c;
}
inline std::string Form(const std::string& chunks) {
  return "FORM" + BE32(uint32_t(chunks.size() + 4)) + "ILBM" + chunks;
}
inline std::string Bmhd(uint32_t w, uint32_t h, int planes, int masking = 0, int compression = 0) {
  return Chunk("BMHD", BE16(w) + BE16(h) + BE32(0) + Bytes({planes, masking, compression, 0}) + BE16(0) +
                           Bytes({1, 1}) + BE16(w) + BE16(h));
}
inline std::string Cmap(const std::vector<uint32_t>& colours) {
  std::string d;
  for (uint32_t c : colours) d += Bytes({int(c >> 16 & 255), int(c >> 8 & 255), int(c & 255)});
  return Chunk("CMAP", d);
}
// Raw planes for index pixels [rows] of one byte per pixel, [planes] deep.
inline std::string RawBody(const std::vector<std::vector<int>>& rows, int planes) {
  std::string d;
  for (const auto& row : rows) {
    const int32_t rowBytes = ILBMRowBytes(int32_t(row.size()));
    for (int p = 0; p < planes; p++) {
      std::string plane(size_t(rowBytes), '\0');
      for (size_t x = 0; x < row.size(); x++)
        if (p < 31 && (row[x] >> p & 1)) plane[x >> 3] = char(plane[x >> 3] | (0x80 >> (x & 7)));
      d += plane;
    }
  }
  return Chunk("BODY", d);
}

// A little-endian, uncompressed RGB TIFF of [pixels] (0x00RRGGBB, rows top
// to bottom) in one strip: header, directory, then the strip.
inline std::string Tiff(int32_t width, int32_t height, const std::vector<uint32_t>& pixels) {
  struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
  };
  constexpr uint16_t kShort = 3, kLong = 4;
  const uint32_t entries = 10;
  const uint32_t bitsAt = 8 + 2 + entries * 12 + 4;  // three shorts of 8 bits
  const uint32_t dataAt = bitsAt + 6;
  const uint32_t bytes = uint32_t(width) * uint32_t(height) * 3;
  const Entry table[entries] = {
      {256, kLong, 1, uint32_t(width)},  // width
      {257, kLong, 1, uint32_t(height)},  // length
      {258, kShort, 3, bitsAt},           // bits per sample
      {259, kShort, 1, 1},                // no compression
      {262, kShort, 1, 2},                // RGB
      {273, kLong, 1, dataAt},            // strip offset
      {277, kShort, 1, 3},                // samples per pixel
      {278, kLong, 1, uint32_t(height)},  // rows per strip
      {279, kLong, 1, bytes},             // strip byte count
      {284, kShort, 1, 1},                // chunky
  };
  std::string s = std::string("II*\0", 4) + LE32(8) + LE16(entries);
  for (const Entry& e : table)
    s += LE16(e.tag) + LE16(e.type) + LE32(e.count) + (e.type == kShort && e.count == 1 ? LE16(e.value) + LE16(0)
                                                                                         : LE32(e.value));
  s += LE32(0) + LE16(8) + LE16(8) + LE16(8);
  for (uint32_t p : pixels) s += Bytes({int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255)});
  return s;
}

}  // namespace picturebytes
