// Pack files through zlib: deflate a file into a pack, inflate a pack back,
// unpack a packed applet into a temporary file, and inflate a gzip member
// from memory. Files go through the buffered file handles in 16 KB pieces.
#include "io/packfiles.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "base/errorinfo.h"
#include "base/errorcodes.h"
#include "io/filehandles.h"

namespace {

constexpr uint32_t kPiece = 16384;

uint32_t ZlibError(int result) {
  switch (result) {
    case Z_VERSION_ERROR: return kErrZlibVersion;
    case Z_MEM_ERROR: return kErrOutOfMemory;
    case Z_DATA_ERROR:
    case Z_NEED_DICT: return kErrZlibData;
    case Z_STREAM_ERROR: return kErrZlibStream;
    case Z_ERRNO: return kErrZlibIo;
    default: return kErrUnknownCode;
  }
}

struct Buffers {
  std::unique_ptr<uint8_t[]> in{new (std::nothrow) uint8_t[kPiece]};
  std::unique_ptr<uint8_t[]> out{new (std::nothrow) uint8_t[kPiece]};
  bool ok() const { return in && out; }
};

// Ends a zlib stream on every exit path.
struct DeflateGuard {
  z_stream* stream;
  ~DeflateGuard() { deflateEnd(stream); }
};
struct InflateGuard {
  z_stream* stream;
  ~InflateGuard() { inflateEnd(stream); }
};

vkFilePtr OpenOrReport(const char* name, int mode, uint32_t* error) {
  vkFilePtr file = OpenStream(name, mode);
  if (!file) {
    SetErrorText(name);
    *error = mode == VKFILE_READ ? kErrCannotRead : kErrCannotWrite;
  }
  return file;
}

// Closes the destination, which flushes what is still buffered: a failure
// there is a short write.
uint32_t CloseDestination(vkFilePtr& file, uint32_t result, int64_t* outSize) {
  if (outSize) *outSize = file->position;
  if (!CloseStream(file.release()) && result == 0) return kErrShortWrite;
  return result;
}

// Reads the next piece of the source: false (with 1009) when a short read
// is not the end of the source.
bool ReadPiece(vkFile* source, uint8_t* buffer, uint32_t* got, uint32_t* error) {
  *got = ReadStream(source, buffer, kPiece);
  if (*got < kPiece && !StreamAtEnd(source)) {
    *error = kErrShortRead;
    return false;
  }
  return true;
}

uint32_t DeflateInto(vkFile* source, vkFile* destination, Buffers& buffers) {
  z_stream zs = {};
  int rc = deflateInit(&zs, Z_DEFAULT_COMPRESSION);
  if (rc != Z_OK) return ZlibError(rc);
  DeflateGuard guard{&zs};
  for (;;) {
    uint32_t got, error;
    if (!ReadPiece(source, buffers.in.get(), &got, &error)) return error;
    int flush = StreamAtEnd(source) ? Z_FINISH : Z_NO_FLUSH;
    zs.next_in = buffers.in.get();
    zs.avail_in = got;
    do {
      zs.next_out = buffers.out.get();
      zs.avail_out = kPiece;
      rc = deflate(&zs, flush);
      if (rc == Z_STREAM_ERROR) return ZlibError(rc);
      uint32_t have = kPiece - zs.avail_out;
      if (WriteStream(destination, buffers.out.get(), have) != have) return kErrShortWrite;
    } while (zs.avail_out == 0);
    if (flush == Z_FINISH) return 0;
  }
}

uint32_t InflateInto(vkFile* source, vkFile* destination, Buffers& buffers) {
  z_stream zs = {};
  int rc = inflateInit(&zs);
  if (rc != Z_OK) return ZlibError(rc);
  InflateGuard guard{&zs};
  for (;;) {
    uint32_t got, error;
    if (!ReadPiece(source, buffers.in.get(), &got, &error)) return error;
    if (got == 0) return rc == Z_STREAM_END ? 0 : kErrZlibData;
    zs.next_in = buffers.in.get();
    zs.avail_in = got;
    do {
      zs.next_out = buffers.out.get();
      zs.avail_out = kPiece;
      rc = inflate(&zs, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return ZlibError(rc);
      uint32_t have = kPiece - zs.avail_out;
      if (WriteStream(destination, buffers.out.get(), have) != have) return kErrShortWrite;
    } while (zs.avail_out == 0 && rc != Z_STREAM_END);
    if (rc == Z_STREAM_END) return 0;
  }
}

}  // namespace

uint32_t CompressToPack(const char* magic, const char* source, const char* destination,
                        int64_t* outSize) {
  Buffers buffers;
  if (!buffers.ok()) return kErrOutOfMemory;
  uint32_t error = 0;
  vkFilePtr in = OpenOrReport(source, VKFILE_READ, &error);
  if (!in) return error;
  vkFilePtr out = OpenOrReport(destination, VKFILE_WRITE, &error);
  if (!out) return error;
  static const uint8_t zeros[4] = {};
  if (WriteStream(out.get(), magic, 4) != 4 || WriteStream(out.get(), zeros, 4) != 4)
    return CloseDestination(out, kErrShortWrite, outSize);
  return CloseDestination(out, DeflateInto(in.get(), out.get(), buffers), outSize);
}

uint32_t DecompressPack(const char* magic, const char* source, const char* destination,
                        int64_t offset, int64_t* outSize) {
  Buffers buffers;
  if (!buffers.ok()) return kErrOutOfMemory;
  uint32_t error = 0;
  vkFilePtr in = OpenOrReport(source, VKFILE_READ, &error);
  if (!in) return error;
  SeekStream(in.get(), offset, VKSEEK_START);
  char found[4];
  if (ReadStream(in.get(), found, 4) != 4 || std::memcmp(found, magic, 4) != 0)
    return kErrUnknownFormat;
  SeekStream(in.get(), 4, VKSEEK_CURRENT);
  vkFilePtr out = OpenOrReport(destination, VKFILE_WRITE, &error);
  if (!out) return error;
  return CloseDestination(out, InflateInto(in.get(), out.get(), buffers), outSize);
}

uint32_t UnpackPackedApplet(const char* source, int64_t offset, vkTempFile* out) {
  vkTempFile temp = vkTempFile::Create();
  if (!temp.valid()) {
    SetErrorText("temporary file");
    return kErrCannotWrite;
  }
  uint32_t error = DecompressPack(kPackedAppletMagic, source, temp.path().c_str(), offset, nullptr);
  if (error == 0) *out = std::move(temp);
  return error;
}

uint32_t InflateGzipMemory(const uint8_t* input, size_t size, std::vector<uint8_t>* out) {
  constexpr uint8_t kFlagHcrc = 2, kFlagExtra = 4, kFlagName = 8, kFlagComment = 16;
  constexpr size_t kHeader = 10, kTrailer = 8;
  if (size < 3 || input[0] != 0x1F || input[1] != 0x8B || input[2] != 0x08)
    return kErrUnknownFormat;
  if (size < kHeader + kTrailer) return kErrZlibData;
  const size_t end = size - kTrailer;  // the header and the data lie before the trailer
  const uint8_t flags = input[3];
  size_t pos = kHeader;
  if (flags & kFlagExtra) {
    if (end - pos < 2) return kErrZlibData;
    size_t extra = input[pos] | static_cast<size_t>(input[pos + 1]) << 8;
    pos += 2;
    if (end - pos < extra) return kErrZlibData;
    pos += extra;
  }
  for (uint8_t text : {kFlagName, kFlagComment}) {
    if (!(flags & text)) continue;
    const void* nul = std::memchr(input + pos, 0, end - pos);
    if (!nul) return kErrZlibData;
    pos = static_cast<size_t>(static_cast<const uint8_t*>(nul) - input) + 1;
  }
  if (flags & kFlagHcrc) {
    if (end - pos < 2) return kErrZlibData;
    pos += 2;
  }
  const uint8_t* trailer = input + end;
  const uint32_t length = trailer[4] | trailer[5] << 8 | trailer[6] << 16 |
                          static_cast<uint32_t>(trailer[7]) << 24;

  z_stream zs = {};
  int rc = inflateInit2(&zs, -15);
  if (rc != Z_OK) return ZlibError(rc);
  InflateGuard guard{&zs};
  if (end - pos > UINT32_MAX) return kErrZlibData;
  zs.next_in = const_cast<uint8_t*>(input + pos);
  zs.avail_in = static_cast<uInt>(end - pos);
  // The output grows as inflation proceeds, never past the trailer's length
  // plus one byte (which shows an overrun), whatever the trailer claims.
  std::vector<uint8_t> result;
  const size_t limit = static_cast<size_t>(length) + 1;
  try {
    result.resize(std::min<size_t>(limit, 1 << 20));
    size_t produced = 0;
    for (;;) {
      zs.next_out = result.data() + produced;
      zs.avail_out = static_cast<uInt>(result.size() - produced);
      rc = inflate(&zs, Z_NO_FLUSH);
      produced = result.size() - zs.avail_out;
      if (rc == Z_STREAM_END) break;
      if (rc != Z_OK && rc != Z_BUF_ERROR) return ZlibError(rc);
      if (zs.avail_out != 0) return kErrZlibData;  // input ended first
      if (result.size() >= limit) return kErrZlibData;
      result.resize(std::min(limit, result.size() * 2));
    }
    if (produced != length) return kErrZlibData;
    result.resize(produced);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  *out = std::move(result);
  return 0;
}
