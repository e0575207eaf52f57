// The BMP reader. Rows are stored bottom-up and padded to four bytes; pixels
// of up to 8 bits go through an index buffer and the palette behind the
// info header. Raw pixel data is checked against the file's length before
// anything is allocated; an RLE8 stream writes only inside the picture.
#include "pixel/bmp.h"

#include <cstring>

#include "base/errorinfo.h"
#include "pixel/allocate.h"
#include "io/byteorder.h"
#include "base/errorcodes.h"
#include "io/filehandles.h"

namespace {

constexpr uint32_t kCompressionRLE8 = 1;
// The Windows 3 info header; the palette follows the info header, which is
// at least this long.
constexpr uint32_t kInfoHeaderSize = 40;
constexpr int64_t kFileHeaderSize = 14;
// Pictures above this many pixels are refused as out of memory: an RLE8
// stream of a few bytes can otherwise claim gigabytes.
constexpr int64_t kMaxPixels = int64_t(1) << 28;

struct vkBMPHeader {
  uint32_t fileSize = 0;
  uint32_t dataOffset = 0;
  uint32_t infoSize = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t coloursUsed = 0;
};

uint32_t FailWithName(uint32_t code, const char* name) {
  SetErrorText(name);
  return code;
}

// Reads the two headers; false when the file has no "BM" or ends inside them.
bool ReadBMPHeader(vkFile* f, vkBMPHeader* h) {
  char magic[2] = {};
  ReadStream(f, magic, 2);
  h->fileSize = static_cast<uint32_t>(ReadLE32(f));
  ReadLE32(f);  // reserved
  h->dataOffset = static_cast<uint32_t>(ReadLE32(f));
  h->infoSize = static_cast<uint32_t>(ReadLE32(f));
  h->width = ReadLE32(f);
  h->height = ReadLE32(f);
  ReadLE16(f);  // planes
  h->bitCount = static_cast<uint32_t>(ReadLE16(f)) & 0xFFFF;
  h->compression = static_cast<uint32_t>(ReadLE32(f));
  for (int i = 0; i < 3; i++) ReadLE32(f);  // image size, x and y resolution
  h->coloursUsed = static_cast<uint32_t>(ReadLE32(f));
  ReadLE32(f);  // colours important
  return magic[0] == 'B' && magic[1] == 'M' && !StreamPastEnd(f);
}

// Unpacks one raw row of [bits] per pixel into indexes or, for 24 bits, words.
void UnpackRow(const uint8_t* in, int32_t width, uint32_t bits, uint8_t* indexes, uint32_t* words) {
  for (int32_t x = 0; x < width; x++) {
    switch (bits) {
      case 1: indexes[x] = (in[x >> 3] >> (7 - (x & 7))) & 1; break;
      case 4: indexes[x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; break;
      case 8: indexes[x] = in[x]; break;
      default: {
        const uint8_t* p = in + size_t(x) * 3;
        words[x] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      }
    }
  }
}

// Decodes an RLE8 stream into [indexes] (rows top to bottom). Stops at the
// end of the bitmap, after the last row, or when the bytes consumed reach
// [limit]; false when the file ends first.
bool DecodeRLE8(vkFile* f, int64_t limit, int32_t width, int32_t height, uint8_t* indexes) {
  int64_t consumed = 0;
  int32_t x = 0, row = 0;  // row counted from the bottom
  auto put = [&](int value) {
    if (x < width) indexes[size_t(height - 1 - row) * size_t(width) + size_t(x)] = static_cast<uint8_t>(value);
    if (x <= width) x++;
  };
  while (consumed < limit && row < height) {
    const int count = ReadStreamByte(f);
    const int value = ReadStreamByte(f);
    consumed += 2;
    if (value < 0) return false;
    if (count > 0) {
      for (int i = 0; i < count; i++) put(value);
      continue;
    }
    if (value == 0) {
      row++;
      x = 0;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      const int dx = ReadStreamByte(f);
      const int dy = ReadStreamByte(f);
      consumed += 2;
      if (dy < 0) return false;
      x = x + dx < width ? x + dx : width;
      row += dy;
    } else {
      for (int i = 0; i < value; i++) {
        const int literal = ReadStreamByte(f);
        if (literal < 0) return false;
        put(literal);
      }
      consumed += value;
      if (value & 1) {
        ReadStreamByte(f);
        consumed++;
      }
    }
  }
  return !StreamPastEnd(f);
}

}  // namespace

uint32_t LoadBMPFile(const char* name, int32_t* width, int32_t* height, uint32_t** pixels) {
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file) return FailWithName(kErrCannotRead, name);
  vkFile* f = file.get();

  vkBMPHeader h;
  // Top-down (negative height) files are not read; neither are empty ones.
  if (!ReadBMPHeader(f, &h) || h.width < 1 || h.height < 1) return FailWithName(kErrUnknownPicture, name);
  if (!pixels) {
    *width = h.width;
    *height = h.height;
    return 0;
  }
  const int32_t w = h.width, ht = h.height;

  const uint32_t bits = h.bitCount;
  const bool indexed = bits < 9;
  const bool rle8 = bits == 8 && h.compression == kCompressionRLE8;
  const bool raw = !rle8 && (bits == 1 || bits == 4 || bits == 8 || bits == 24);
  const int64_t stride = (int64_t(w) * bits + 31) / 32 * 4;
  const int64_t used = (int64_t(w) * bits + 7) / 8;  // bytes of a row that hold pixels
  if (raw && f->size < int64_t(h.dataOffset) + stride * (ht - 1) + used)
    return FailWithName(kErrUnknownPicture, name);
  if (int64_t(w) * ht > kMaxPixels) return kErrOutOfMemory;

  vkBufferPtr<uint32_t> out(static_cast<uint32_t*>(AllocateArray(size_t(w) * size_t(ht), 4, true)));
  vkBufferPtr<uint8_t> indexes;
  if (indexed) indexes.reset(static_cast<uint8_t*>(AllocateArray(size_t(w), size_t(ht), true)));
  if (!out || (indexed && !indexes)) return kErrOutOfMemory;

  SeekStream(f, h.dataOffset, VKSEEK_START);
  if (rle8) {
    if (!DecodeRLE8(f, int64_t(h.fileSize) - int64_t(h.dataOffset), w, ht, indexes.get()))
      return FailWithName(kErrUnknownPicture, name);
  } else if (raw) {
    vkBufferPtr<uint8_t> row(static_cast<uint8_t*>(AllocateBytes(size_t(used), false)));
    if (!row) return kErrOutOfMemory;
    for (int32_t i = 0; i < ht; i++) {
      const size_t y = size_t(ht - 1 - i);
      ReadStream(f, row.get(), static_cast<uint32_t>(used));
      SeekStream(f, stride - used, VKSEEK_CURRENT);
      UnpackRow(row.get(), w, bits, indexed ? indexes.get() + y * size_t(w) : nullptr,
                indexed ? nullptr : out.get() + y * size_t(w));
    }
    if (StreamPastEnd(f)) return FailWithName(kErrUnknownPicture, name);
  }

  if (indexed) {
    uint32_t colours = h.coloursUsed ? h.coloursUsed : 1u << bits;
    if (colours > 256) colours = 256;  // indexes reach no further
    uint32_t palette[256] = {};
    const int64_t at = h.infoSize >= kInfoHeaderSize ? kFileHeaderSize + h.infoSize : kFileHeaderSize + kInfoHeaderSize;
    SeekStream(f, at, VKSEEK_START);
    for (uint32_t i = 0; i < colours; i++) {
      uint8_t quad[4];
      if (ReadStream(f, quad, 4) < 4) break;  // a short palette leaves black entries
      palette[i] = uint32_t(quad[2]) << 16 | uint32_t(quad[1]) << 8 | quad[0];
    }
    const size_t n = size_t(w) * size_t(ht);
    for (size_t i = 0; i < n; i++) out.get()[i] = palette[indexes.get()[i]];
  }

  *width = w;
  *height = ht;
  *pixels = out.release();
  return 0;
}
