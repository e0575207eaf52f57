// The ILBM reader and writer. Chunks are found by the sliding-window search,
// so their order in the file does not matter; every size read from the file
// is checked against what the file holds before anything is allocated, and a
// file that ends inside its data is refused rather than shown half-decoded.
#include "pixel/ilbm.h"

#include <cstring>

#include "base/errorinfo.h"
#include "pixel/allocate.h"
#include "pixel/componentbits.h"
#include "base/picturesize.h"
#include "io/byteorder.h"
#include "base/errorcodes.h"
#include "io/filehandles.h"

namespace {

// CAMG mode bits.
constexpr uint32_t kModeExtraHalfBrite = 0x80;
constexpr uint32_t kModeHAM = 0x800;

// BODY decoders, by the BMHD compression byte.
constexpr uint8_t kCompressionNone = 0;

// The largest literal or run of one ByteRun1 control byte.
constexpr int32_t kByteRunMax = 128;

uint32_t FailWithName(uint32_t code, const char* name) {
  SetErrorText(name);
  return code;
}

// Fills [rowBytes] bytes of [dst] from the ByteRun1 stream (a null [dst]
// drops them); a literal or run that passes the end of the row is consumed
// but cut at the end.
void UnpackByteRun1Row(vkFile* file, uint8_t* dst, int32_t rowBytes) {
  int32_t filled = 0;
  uint8_t literal[kByteRunMax];
  while (filled < rowBytes) {
    int control = ReadStreamByte(file);
    if (control < 0) return;
    int32_t n = static_cast<int8_t>(control);
    if (n >= 0) {
      uint32_t count = static_cast<uint32_t>(n) + 1;
      uint32_t got = ReadStream(file, literal, count);
      int32_t take = static_cast<int32_t>(got) < rowBytes - filled ? static_cast<int32_t>(got) : rowBytes - filled;
      if (dst) std::memcpy(dst + filled, literal, static_cast<size_t>(take));
      filled += take;
      if (got < count) return;
    } else if (n != -128) {
      int value = ReadStreamByte(file);
      if (value < 0) return;
      int32_t take = 1 - n < rowBytes - filled ? 1 - n : rowBytes - filled;
      if (dst) std::memset(dst + filled, value, static_cast<size_t>(take));
      filled += take;
    }
  }
}

// One plane row in ByteRun1 (MinRun 3, MaxRun 128, MaxDat 128): literal
// stretches and runs, a run of two starting only where a literal would.
// [dst] has room for rowBytes + rowBytes / 128 + 1 bytes; returns the bytes
// written.
size_t PackByteRun1Row(const uint8_t* src, int32_t rowBytes, uint8_t* dst) {
  constexpr int32_t kMinRun = 3;
  size_t out = 0;
  auto dump = [&](const uint8_t* bytes, int32_t n) {
    dst[out++] = static_cast<uint8_t>(n - 1);
    std::memcpy(dst + out, bytes, static_cast<size_t>(n));
    out += static_cast<size_t>(n);
  };
  auto run = [&](int32_t n, uint8_t c) {
    dst[out++] = static_cast<uint8_t>(1 - n);
    dst[out++] = c;
  };
  if (rowBytes < 1) return 0;
  const uint8_t* buffer = src;  // the literal buffer is always a stretch of the source
  int32_t count = 1;            // bytes in the buffer
  int32_t runStart = 0;         // where the current equal run starts in the buffer
  bool inRun = false;
  uint8_t last = src[0];
  for (int32_t i = 1; i < rowBytes; i++) {
    uint8_t c = src[i];
    count++;
    if (!inRun) {
      if (count > kByteRunMax) {
        dump(buffer, count - 1);
        buffer = src + i;
        count = 1;
        runStart = 0;
      } else if (c == last) {
        if (count - runStart >= kMinRun) {
          if (runStart > 0) dump(buffer, runStart);
          inRun = true;
        } else if (runStart == 0) {
          inRun = true;
        }
      } else {
        runStart = count - 1;
      }
    } else if (c != last || count - runStart > kByteRunMax) {
      run(count - 1 - runStart, last);
      buffer = src + i;
      count = 1;
      runStart = 0;
      inRun = false;
    }
    last = c;
  }
  if (inRun) run(count - runStart, last);
  else dump(buffer, count);
  return out;
}

}  // namespace

int64_t LeastBodyBytes(int32_t height, int32_t planes, int32_t rowBytes, uint8_t compression) {
  int64_t perRow = compression == kCompressionNone ? rowBytes : 2 * ((rowBytes + kByteRunMax - 1) / kByteRunMax);
  return int64_t(height) * planes * perRow;
}

bool FindIFFChunk(vkFile* file, const char* id) {
  for (int pass = 0; pass < 2; pass++) {
    if (StreamAtEnd(file)) SeekStream(file, 12, VKSEEK_START);
    char window[4];
    int have = 0;
    while (have < 4 && !StreamAtEnd(file)) window[have++] = static_cast<char>(ReadStreamByte(file));
    if (have < 4) continue;
    for (;;) {
      if (std::memcmp(window, id, 4) == 0) return true;
      if (std::memcmp(window, "BODY", 4) == 0 || StreamAtEnd(file)) break;
      std::memmove(window, window + 1, 3);
      window[3] = static_cast<char>(ReadStreamByte(file));
    }
  }
  return false;
}

int ReadILBMPlanesRaw(vkFile* file, uint8_t* planes, int32_t, int32_t width, int32_t height,
                      int32_t planeCount, int32_t masking) {
  const int32_t rowBytes = ILBMRowBytes(width);
  const size_t planeSize = size_t(rowBytes) * size_t(height);
  for (int32_t y = 0; y < height && !StreamPastEnd(file); y++) {
    for (int32_t p = 0; p < planeCount; p++)
      ReadStream(file, planes + p * planeSize + size_t(y) * rowBytes, static_cast<uint32_t>(rowBytes));
    if (masking == 1) SeekStream(file, rowBytes, VKSEEK_CURRENT);
  }
  return 1;
}

int ReadILBMPlanesByteRun1(vkFile* file, uint8_t* planes, int32_t, int32_t width, int32_t height,
                           int32_t planeCount, int32_t masking) {
  const int32_t rowBytes = ILBMRowBytes(width);
  const size_t planeSize = size_t(rowBytes) * size_t(height);
  for (int32_t y = 0; y < height && !StreamPastEnd(file); y++) {
    for (int32_t p = 0; p < planeCount; p++)
      UnpackByteRun1Row(file, planes + p * planeSize + size_t(y) * rowBytes, rowBytes);
    if (masking == 1) UnpackByteRun1Row(file, nullptr, rowBytes);
  }
  return 1;
}

int32_t DeepComponentBits(int32_t planeCount) {
  if (planeCount == 32) return 8;  // red, green and blue, then an alpha channel that is not read
  if (planeCount > 8 && planeCount % 3 == 0 && planeCount / 3 <= kMaxComponentBits) return planeCount / 3;
  return 0;
}

void ConvertPlanesToChunky(const uint8_t* planes, int32_t width, int32_t height, int32_t planeCount,
                           int32_t rowBytes, void* dest, int32_t destStride) {
  const int32_t componentBits = DeepComponentBits(planeCount);
  const bool words = componentBits > 0;
  if (!words && (planeCount < 1 || planeCount > 8)) return;
  const int32_t used = words ? 3 * componentBits : planeCount;
  const uint64_t componentMask = (uint64_t(1) << componentBits) - 1;
  const size_t planeSize = size_t(rowBytes) * size_t(height);
  const size_t stride = destStride ? size_t(destStride) : size_t(width) * (words ? 4 : 1);
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* row = planes + size_t(y) * rowBytes;
    uint8_t* out = static_cast<uint8_t*>(dest) + size_t(y) * stride;
    for (int32_t x = 0; x < width; x++) {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      uint64_t value = 0;
      for (int32_t p = 0; p < used; p++)
        if (row[p * planeSize + size_t(x >> 3)] & bit) value |= uint64_t(1) << p;
      if (words) {
        // red from the lowest planes, then green, then blue
        const uint32_t red = WidenComponent(value & componentMask, componentBits);
        const uint32_t green = WidenComponent(value >> componentBits & componentMask, componentBits);
        const uint32_t blue = WidenComponent(value >> (2 * componentBits) & componentMask, componentBits);
        const uint32_t word = red << 16 | green << 8 | blue;
        std::memcpy(out + size_t(x) * 4, &word, 4);
      } else {
        out[x] = static_cast<uint8_t>(value);
      }
    }
  }
}

namespace {

// HAM rows: the colour carried along a row starts black; [shift] brings the
// two control bits down, [keep] masks the palette index and the new
// component, [up] moves the component into the top of its byte.
void ConvertHAMToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette, int32_t width,
                      int32_t height, int shift, uint32_t keep, int up) {
  for (int32_t y = 0; y < height; y++) {
    uint32_t colour = 0;
    for (int32_t x = 0; x < width; x++) {
      const size_t i = size_t(y) * size_t(width) + size_t(x);
      const uint32_t v = chunky[i];
      const uint32_t component = (v & keep) << up;
      switch ((v >> shift) & 3) {
        case 0: colour = palette[v & keep] & 0xFFFFFF; break;
        case 1: colour = (colour & 0xFFFF00) | component; break;
        case 2: colour = (colour & 0x00FFFF) | component << 16; break;
        default: colour = (colour & 0xFF00FF) | component << 8; break;
      }
      out[i] = colour;
    }
  }
}

}  // namespace

void ConvertHAM6ToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette, int32_t width,
                       int32_t height) {
  ConvertHAMToARGB(chunky, out, palette, width, height, 4, 15, 4);
}

void ConvertHAM8ToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette, int32_t width,
                       int32_t height) {
  ConvertHAMToARGB(chunky, out, palette, width, height, 6, 63, 2);
}

void ConvertIndexesToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette, int32_t width,
                          int32_t height) {
  const size_t n = size_t(width) * size_t(height);
  for (size_t i = 0; i < n; i++) out[i] = palette[chunky[i]];
}

uint32_t LoadILBMFile(const char* name, int32_t* width, int32_t* height, uint32_t** pixels) {
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file) return FailWithName(kErrCannotRead, name);
  vkFile* f = file.get();

  if (!FindIFFChunk(f, "BMHD")) return FailWithName(kErrUnknownPicture, name);
  ReadBE32(f);
  const int32_t w = ReadBE16(f) & 0xFFFF;
  const int32_t h = ReadBE16(f) & 0xFFFF;
  if (StreamPastEnd(f)) return FailWithName(kErrUnknownPicture, name);
  if (const int32_t code = CheckPictureSize(w, h)) return code == kErrUnknownPicture ? FailWithName(code, name) : code;
  if (!pixels) {
    *width = w;
    *height = h;
    return 0;
  }
  SeekStream(f, 4, VKSEEK_CURRENT);  // x, y
  const int planeCount = ReadStreamByte(f);
  const int masking = ReadStreamByte(f);
  const int compression = ReadStreamByte(f);
  // colour-mapped pictures of 1 to 8 planes and true-colour ones; other
  // plane counts have no picture this reader could show
  const bool mapped = planeCount >= 1 && planeCount <= 8;
  if (StreamPastEnd(f) || (!mapped && !DeepComponentBits(planeCount))) return FailWithName(kErrUnknownPicture, name);

  bool halfBrite = false, ham6 = false, ham8 = false;
  if (planeCount <= 23 && FindIFFChunk(f, "CAMG")) {
    ReadBE32(f);
    const uint32_t mode = static_cast<uint32_t>(ReadBE32(f));
    if (StreamPastEnd(f)) return FailWithName(kErrUnknownPicture, name);
    halfBrite = (mode & kModeExtraHalfBrite) != 0;
    if (mode & kModeHAM) (planeCount > 6 ? ham8 : ham6) = true;
    // both work on palette indexes, which true-colour planes do not make
    if (!mapped && (halfBrite || ham8)) return FailWithName(kErrUnknownPicture, name);
  }

  if (!FindIFFChunk(f, "BODY")) return FailWithName(kErrUnknownPicture, name);
  const int32_t bodySize = ReadBE32(f);
  const int32_t rowBytes = ILBMRowBytes(w);
  const int64_t left = f->size - SeekStream(f, 0, VKSEEK_CURRENT);
  if (StreamPastEnd(f) || left < LeastBodyBytes(h, planeCount, rowBytes, static_cast<uint8_t>(compression)))
    return FailWithName(kErrUnknownPicture, name);

  vkBufferPtr<uint32_t> out(static_cast<uint32_t*>(AllocateArray(size_t(w) * size_t(h), 4, true)));
  vkBufferPtr<uint8_t> planes(
      static_cast<uint8_t*>(AllocateArray(size_t(h) * size_t(rowBytes), size_t(planeCount), true)));
  vkBufferPtr<uint8_t> chunky;
  if (mapped) chunky.reset(static_cast<uint8_t*>(AllocateArray(size_t(w), size_t(h), true)));
  if (!out || !planes || (mapped && !chunky)) return kErrOutOfMemory;

  if (compression == kCompressionNone)
    ReadILBMPlanesRaw(f, planes.get(), bodySize, w, h, planeCount, masking);
  else
    ReadILBMPlanesByteRun1(f, planes.get(), bodySize, w, h, planeCount, masking);
  if (StreamPastEnd(f)) return FailWithName(kErrUnknownPicture, name);

  if (mapped) {
    ConvertPlanesToChunky(planes.get(), w, h, planeCount, rowBytes, chunky.get(), 0);
    if (!FindIFFChunk(f, "CMAP")) return FailWithName(kErrUnknownPicture, name);
    uint32_t count = static_cast<uint32_t>(ReadBE32(f)) / 3;
    if (count > 256) count = 256;  // a longer map gives no more colours than indexes can reach
    uint32_t palette[256] = {};
    for (uint32_t i = 0; i < count; i++) {
      uint8_t rgb[3];
      ReadStream(f, rgb, 3);
      palette[i] = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    }
    if (StreamPastEnd(f)) return FailWithName(kErrUnknownPicture, name);
    if (halfBrite)
      for (int i = 0; i < 32; i++) palette[32 + i] = (palette[i] >> 1) & 0x7F7F7F;
    if (ham6) ConvertHAM6ToARGB(chunky.get(), out.get(), palette, w, h);
    else if (ham8) ConvertHAM8ToARGB(chunky.get(), out.get(), palette, w, h);
    else ConvertIndexesToARGB(chunky.get(), out.get(), palette, w, h);
  } else {
    ConvertPlanesToChunky(planes.get(), w, h, planeCount, rowBytes, out.get(), 0);
  }

  *width = w;
  *height = h;
  *pixels = out.release();
  return 0;
}

uint32_t WriteILBMFile(const char* name, const uint32_t* pixels, int32_t width, int32_t height) {
  // The BMHD holds 16-bit sizes: anything else would be written cut short.
  if (width < 1 || height < 1 || width > 0xFFFF || height > 0xFFFF) return FailWithName(kErrCannotWrite, name);
  vkFilePtr file = OpenStream(name, VKFILE_WRITE);
  if (!file) return FailWithName(kErrCannotWrite, name);
  vkFile* f = file.get();

  const int32_t rowBytes = ILBMRowBytes(width);
  vkBufferPtr<uint8_t> planes(static_cast<uint8_t*>(AllocateArray(size_t(rowBytes), 24, false)));
  vkBufferPtr<uint8_t> packed(static_cast<uint8_t*>(AllocateBytes(size_t(rowBytes) * 2 + 2, false)));
  if (!planes || !packed) return kErrOutOfMemory;

  bool ok = WriteStream(f, "FORM", 4) == 4 && WriteBE32(f, 0) && WriteStream(f, "ILBMBMHD", 8) == 8 &&
            WriteBE32(f, 20) && WriteBE16(f, uint32_t(width)) && WriteBE16(f, uint32_t(height)) &&
            WriteBE32(f, 0);  // x, y
  const uint8_t header[] = {24, 0, 1, 0, 0, 0, 1, 1};  // planes, masking, compression, pad, transparent, aspect
  ok = ok && WriteStream(f, header, sizeof header) == sizeof header && WriteBE16(f, uint32_t(width)) &&
       WriteBE16(f, uint32_t(height)) && WriteStream(f, "BODY", 4) == 4 && WriteBE32(f, 0);

  uint32_t bodyLength = 0;
  for (int32_t y = 0; y < height && ok; y++) {
    std::memset(planes.get(), 0, size_t(rowBytes) * 24);
    const uint32_t* row = pixels + size_t(y) * size_t(width);
    for (int32_t x = 0; x < width; x++) {
      // red bits are planes 0-7, green 8-15, blue 16-23
      const uint32_t c = row[x];
      const uint32_t value = (c >> 16 & 0xFF) | (c & 0xFF00) | (c & 0xFF) << 16;
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
      for (int p = 0; p < 24; p++)
        if (value >> p & 1) planes.get()[size_t(p) * rowBytes + size_t(x >> 3)] |= bit;
    }
    for (int p = 0; p < 24 && ok; p++) {
      const size_t n = PackByteRun1Row(planes.get() + size_t(p) * rowBytes, rowBytes, packed.get());
      ok = WriteStream(f, packed.get(), static_cast<uint32_t>(n)) == n;
      bodyLength += static_cast<uint32_t>(n);
    }
  }
  const uint32_t pad = bodyLength & 1;
  if (ok && pad) ok = WriteStreamByte(f, 0) == 0;
  if (ok) {
    SeekStream(f, 44, VKSEEK_START);
    ok = WriteBE32(f, bodyLength);
    SeekStream(f, 4, VKSEEK_START);
    ok = ok && WriteBE32(f, bodyLength + pad + 40);
  }
  if (!CloseStream(file.release())) ok = false;
  return ok ? 0 : FailWithName(kErrCannotWrite, name);
}
