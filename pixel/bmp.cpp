// The BMP reader. Rows are stored bottom-up and padded to four bytes; pixels
// of up to 8 bits go through an index buffer and the palette behind the
// info header, wider pixels through one colour mask per component. Every
// header is checked before anything is allocated: the depth and compression
// must be ones this reader decodes, raw pixel data must lie in the file, and
// a run-length picture may not claim more pixels than its runs could write.
#include "pixel/bmp.h"

#include <algorithm>
#include <cstring>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "base/picturesize.h"
#include "io/byteorder.h"
#include "io/filehandles.h"
#include "pixel/allocate.h"
#include "pixel/componentbits.h"

namespace {

// The compression field.
constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRLE8 = 1;
constexpr uint32_t kCompressionRLE4 = 2;
constexpr uint32_t kCompressionBitFields = 3;
constexpr uint32_t kCompressionAlphaBitFields = 6;

constexpr int64_t kFileHeaderSize = 14;
// Info headers: the 12-byte core header of the oldest files (16-bit sizes,
// three-byte palette entries), and the 40-byte header and its longer
// successors, which all begin with the 40 bytes.
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
// Colour masks stand right behind the 40-byte header, inside the longer ones.
constexpr int64_t kMasksAt = kFileHeaderSize + kInfoHeaderSize;

// Two bytes of run-length data write at most 255 pixels: a picture that
// claims more than this many pixels per byte of its data cannot be covered.
constexpr int64_t kRunPixelsPerByte = 128;

struct vkBMPHeader {
  uint32_t fileSize = 0;
  uint32_t dataOffset = 0;
  uint32_t infoSize = 0;
  int64_t width = 0;
  int64_t height = 0;
  uint32_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t coloursUsed = 0;
};

// How the pixels of a file are stored.
enum class vkBMPLayout { Refused, Indexed, RLE8, RLE4, Masked };

// One colour component of a masked pixel: where it lies and how many bits.
struct vkComponent {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
};

uint32_t FailWithName(uint32_t code, const char* name) {
  SetErrorText(name);
  return code;
}

// Reads the file header and the info header; false when the file has no
// "BM", an info header of a size no file has, or ends inside them.
bool ReadBMPHeader(vkFile* f, vkBMPHeader* h) {
  char magic[2] = {};
  ReadStream(f, magic, 2);
  h->fileSize = static_cast<uint32_t>(ReadLE32(f));
  ReadLE32(f);  // reserved
  h->dataOffset = static_cast<uint32_t>(ReadLE32(f));
  h->infoSize = static_cast<uint32_t>(ReadLE32(f));
  if (h->infoSize == kCoreHeaderSize) {
    h->width = ReadLE16(f) & 0xFFFF;
    h->height = ReadLE16(f) & 0xFFFF;
    ReadLE16(f);  // planes
    h->bitCount = static_cast<uint32_t>(ReadLE16(f)) & 0xFFFF;
  } else if (h->infoSize >= kInfoHeaderSize) {
    h->width = ReadLE32(f);
    h->height = ReadLE32(f);
    ReadLE16(f);  // planes
    h->bitCount = static_cast<uint32_t>(ReadLE16(f)) & 0xFFFF;
    h->compression = static_cast<uint32_t>(ReadLE32(f));
    for (int i = 0; i < 3; i++) ReadLE32(f);  // image size, x and y resolution
    h->coloursUsed = static_cast<uint32_t>(ReadLE32(f));
    ReadLE32(f);  // colours important
  } else {
    return false;
  }
  return magic[0] == 'B' && magic[1] == 'M' && !StreamPastEnd(f);
}

// The layout for a bit count and compression, or Refused for the ones this
// reader does not decode.
vkBMPLayout LayoutOf(const vkBMPHeader& h) {
  const bool masks = h.compression == kCompressionBitFields || h.compression == kCompressionAlphaBitFields;
  switch (h.bitCount) {
    case 1:
      return h.compression == kCompressionNone ? vkBMPLayout::Indexed : vkBMPLayout::Refused;
    case 4:
      return h.compression == kCompressionNone   ? vkBMPLayout::Indexed
             : h.compression == kCompressionRLE4 ? vkBMPLayout::RLE4
                                                 : vkBMPLayout::Refused;
    case 8:
      return h.compression == kCompressionNone   ? vkBMPLayout::Indexed
             : h.compression == kCompressionRLE8 ? vkBMPLayout::RLE8
                                                 : vkBMPLayout::Refused;
    case 16:
    case 32:
      return h.compression == kCompressionNone || masks ? vkBMPLayout::Masked : vkBMPLayout::Refused;
    case 24:
      return h.compression == kCompressionNone ? vkBMPLayout::Masked : vkBMPLayout::Refused;
    default:
      return vkBMPLayout::Refused;
  }
}

// A component of [mask]; false when its bits are not one unbroken stretch.
bool ComponentOf(uint32_t mask, vkComponent* c) {
  c->mask = mask;
  if (!mask) return true;  // the component reads as 0
  c->shift = __builtin_ctz(mask);
  const uint32_t bits = mask >> c->shift;
  if (bits & (bits + 1)) return false;
  c->bits = __builtin_popcount(mask);
  return true;
}

// The 8-bit value of a component of [word].
inline uint32_t ComponentValue(uint32_t word, const vkComponent& c) {
  return WidenComponent((word & c.mask) >> c.shift, c.bits);
}

// The three colour components of masked pixels: from the masks in the file
// for bit fields, else the fixed ones of the bit count (5-5-5 for 16 bits,
// 8-8-8 for 24 and 32). False for a mask that is not one stretch of bits.
bool ReadComponents(vkFile* f, const vkBMPHeader& h, vkComponent rgb[3]) {
  uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
  if (h.bitCount == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  if (h.compression == kCompressionBitFields || h.compression == kCompressionAlphaBitFields) {
    SeekStream(f, kMasksAt, VKSEEK_START);
    for (uint32_t& m : masks) m = static_cast<uint32_t>(ReadLE32(f));
    if (StreamPastEnd(f)) return false;
  }
  for (int i = 0; i < 3; i++)
    if (!ComponentOf(masks[i], &rgb[i])) return false;
  return true;
}

// Unpacks one raw row of [bits] per pixel into indexes (up to 8 bits) or
// into words through [rgb] (16, 24 and 32 bits, little-endian).
void UnpackRow(const uint8_t* in, int32_t width, uint32_t bits, const vkComponent rgb[3], uint8_t* indexes,
               uint32_t* words) {
  const size_t bytes = bits / 8;
  for (int32_t x = 0; x < width; x++) {
    switch (bits) {
      case 1: indexes[x] = (in[x >> 3] >> (7 - (x & 7))) & 1; break;
      case 4: indexes[x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15; break;
      case 8: indexes[x] = in[x]; break;
      default: {
        const uint8_t* p = in + size_t(x) * bytes;
        uint32_t word = 0;
        for (size_t i = 0; i < bytes; i++) word |= uint32_t(p[i]) << (8 * i);
        words[x] = ComponentValue(word, rgb[0]) << 16 | ComponentValue(word, rgb[1]) << 8 |
                   ComponentValue(word, rgb[2]);
      }
    }
  }
}

// Decodes an RLE8 or RLE4 stream into [indexes] (rows top to bottom). A
// count is of pixels; with 4 bits a run alternates the two nibbles of its
// byte, and a literal holds two pixels per byte, high nibble first. Stops at
// the end of the bitmap, after the last row, or when the bytes consumed
// reach [limit]; false when the file ends first.
bool DecodeRLE(vkFile* f, int64_t limit, uint32_t bits, int32_t width, int32_t height, uint8_t* indexes) {
  int64_t consumed = 0;
  int32_t x = 0, row = 0;  // row counted from the bottom
  auto put = [&](int value) {
    if (x < width) indexes[size_t(height - 1 - row) * size_t(width) + size_t(x)] = static_cast<uint8_t>(value);
    if (x <= width) x++;
  };
  // pixel [i] of a run or literal byte [value]
  auto pixelOf = [&](int value, int i) { return bits == 8 ? value : (i & 1) ? value & 15 : value >> 4; };
  while (consumed < limit && row < height) {
    const int count = ReadStreamByte(f);
    const int value = ReadStreamByte(f);
    consumed += 2;
    if (value < 0) return false;
    if (count > 0) {
      for (int i = 0; i < count; i++) put(pixelOf(value, i));
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
      // a literal of [value] pixels, its bytes padded to an even count
      const int bytes = bits == 8 ? value : (value + 1) / 2;
      int byte = 0;
      for (int i = 0; i < value; i++) {
        if (bits == 8 || !(i & 1)) {
          byte = ReadStreamByte(f);
          if (byte < 0) return false;
        }
        put(pixelOf(byte, i));
      }
      consumed += bytes;
      if (bytes & 1) {
        ReadStreamByte(f);
        consumed++;
      }
    }
  }
  return !StreamPastEnd(f);
}

// Reads the palette behind the info header: [count] entries of four bytes
// (three behind a core header), B, G, R. A short palette leaves the missing
// entries black.
void ReadPalette(vkFile* f, const vkBMPHeader& h, uint32_t palette[256]) {
  const bool core = h.infoSize == kCoreHeaderSize;
  uint32_t count = core || !h.coloursUsed ? 1u << h.bitCount : h.coloursUsed;
  if (count > 256) count = 256;  // indexes reach no further
  const uint32_t entry = core ? 3 : 4;
  SeekStream(f, kFileHeaderSize + h.infoSize, VKSEEK_START);
  for (uint32_t i = 0; i < count; i++) {
    uint8_t quad[4];
    if (ReadStream(f, quad, entry) < entry) break;
    palette[i] = uint32_t(quad[2]) << 16 | uint32_t(quad[1]) << 8 | quad[0];
  }
}

}  // namespace

uint32_t LoadBMPFile(const char* name, int32_t* width, int32_t* height, uint32_t** pixels) {
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file) return FailWithName(kErrCannotRead, name);
  vkFile* f = file.get();

  vkBMPHeader h;
  // Top-down (negative height) files are not read; neither are empty ones,
  // nor depths and compressions this reader does not decode.
  if (!ReadBMPHeader(f, &h)) return FailWithName(kErrUnknownPicture, name);
  const vkBMPLayout layout = LayoutOf(h);
  if (layout == vkBMPLayout::Refused) return FailWithName(kErrUnknownPicture, name);
  if (const int32_t code = CheckPictureSize(h.width, h.height))
    return code == kErrUnknownPicture ? FailWithName(code, name) : code;
  const int32_t w = int32_t(h.width), ht = int32_t(h.height);
  if (!pixels) {
    *width = w;
    *height = ht;
    return 0;
  }

  const uint32_t bits = h.bitCount;
  const bool indexed = bits < 9;
  const int64_t stride = (int64_t(w) * bits + 31) / 32 * 4;
  const int64_t used = (int64_t(w) * bits + 7) / 8;  // bytes of a row that hold pixels
  const int64_t data = f->size - int64_t(h.dataOffset);
  const bool runs = layout == vkBMPLayout::RLE8 || layout == vkBMPLayout::RLE4;
  if (runs ? data < 1 || int64_t(w) * ht > kRunPixelsPerByte * data : data < stride * (ht - 1) + used)
    return FailWithName(kErrUnknownPicture, name);
  vkComponent rgb[3];
  if (layout == vkBMPLayout::Masked && !ReadComponents(f, h, rgb)) return FailWithName(kErrUnknownPicture, name);

  vkBufferPtr<uint32_t> out(static_cast<uint32_t*>(AllocateArray(size_t(w) * size_t(ht), 4, true)));
  vkBufferPtr<uint8_t> indexes;
  if (indexed) indexes.reset(static_cast<uint8_t*>(AllocateArray(size_t(w), size_t(ht), true)));
  if (!out || (indexed && !indexes)) return kErrOutOfMemory;

  SeekStream(f, h.dataOffset, VKSEEK_START);
  if (runs) {
    if (!DecodeRLE(f, int64_t(h.fileSize) - int64_t(h.dataOffset), bits, w, ht, indexes.get()))
      return FailWithName(kErrUnknownPicture, name);
  } else {
    vkBufferPtr<uint8_t> row(static_cast<uint8_t*>(AllocateBytes(size_t(used), false)));
    if (!row) return kErrOutOfMemory;
    for (int32_t i = 0; i < ht; i++) {
      const size_t y = size_t(ht - 1 - i);
      ReadStream(f, row.get(), static_cast<uint32_t>(used));
      SeekStream(f, stride - used, VKSEEK_CURRENT);
      UnpackRow(row.get(), w, bits, rgb, indexed ? indexes.get() + y * size_t(w) : nullptr,
                indexed ? nullptr : out.get() + y * size_t(w));
    }
    if (StreamPastEnd(f)) return FailWithName(kErrUnknownPicture, name);
  }

  if (indexed) {
    uint32_t palette[256] = {};
    ReadPalette(f, h, palette);
    const size_t n = size_t(w) * size_t(ht);
    for (size_t i = 0; i < n; i++) out.get()[i] = palette[indexes.get()[i]];
  }

  *width = w;
  *height = ht;
  *pixels = out.release();
  return 0;
}

uint32_t WriteBMPFile(const char* name, const uint32_t* pixels, int32_t width, int32_t height) {
  auto fail = [name](uint32_t code) {
    SetErrorText(name);
    return code;
  };
  if (!pixels || width < 1 || height < 1) return fail(kErrCannotWrite);
  const uint64_t rowSize = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
  const uint64_t fileSize = uint64_t(height) * rowSize + kFileHeaderSize + kInfoHeaderSize;
  if (fileSize > 0xFFFFFFFFu) return fail(kErrCannotWrite);
  // Rows are gathered into pieces of about a megabyte: few large writes.
  const int32_t rowsPerPiece =
      int32_t(std::max<uint64_t>(1, std::min<uint64_t>(uint64_t(height), (uint64_t(1) << 20) / rowSize)));
  vkBufferPtr<uint8_t> piece(static_cast<uint8_t*>(AllocateArray(size_t(rowSize), size_t(rowsPerPiece), true)));
  if (!piece) return kErrOutOfMemory;
  vkFilePtr file = OpenStream(name, VKFILE_WRITE);
  if (!file) return fail(kErrCannotWrite);
  vkFile* f = file.get();

  uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {'B', 'M'};
  auto put32 = [&header](size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) header[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put32(2, uint32_t(fileSize));
  put32(10, uint32_t(kFileHeaderSize + kInfoHeaderSize));  // pixel data offset
  put32(14, kInfoHeaderSize);
  put32(18, uint32_t(width));
  put32(22, uint32_t(height));
  header[26] = 1;   // planes
  header[28] = 24;  // bits per pixel; compression, image size, resolutions and colour counts stay 0
  bool ok = WriteStream(f, header, sizeof header) == sizeof header;
  int32_t gathered = 0;
  for (int32_t y = height - 1; y >= 0 && ok; y--) {
    const uint32_t* in = pixels + size_t(y) * size_t(width);
    uint8_t* out = piece.get() + size_t(gathered) * size_t(rowSize);
    for (int32_t x = 0; x < width; x++, out += 3) {
      const uint32_t c = in[x];
      out[0] = uint8_t(c), out[1] = uint8_t(c >> 8), out[2] = uint8_t(c >> 16);
    }
    if (++gathered == rowsPerPiece || y == 0) {
      const uint32_t bytes = uint32_t(uint64_t(gathered) * rowSize);
      ok = WriteStream(f, piece.get(), bytes) == bytes;
      gathered = 0;
    }
  }
  if (!CloseStream(file.release())) ok = false;
  return ok ? 0 : fail(kErrCannotWrite);
}
