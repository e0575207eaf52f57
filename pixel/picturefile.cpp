// The picture loader. The first 64 bytes choose the reader; pictures for the
// platform's codecs are read whole through the file layer and decoded from
// memory, so a file and the same bytes held in memory decode alike.
#include "pixel/picturefile.h"

#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <algorithm>

#include "base/errorcodes.h"
#include "base/errorinfo.h"
#include "io/filehandles.h"
#include "pixel/allocate.h"
#include "pixel/bitmap.h"
#include "pixel/bmp.h"
#include "pixel/ilbm.h"
#include "platform/vkos_pictures.h"

namespace {

enum class vkPictureReader { None, ILBM, BMP, Platform };

// How many bytes the format is recognised from.
constexpr uint32_t kSniffBytes = 64;

// The reader for a file that begins with [head] ([length] bytes; a file
// shorter than 64 bytes is recognised on the bytes it has).
vkPictureReader Sniff(const uint8_t* head, uint32_t length) {
  // Signatures are compared by their length: several hold zero bytes.
  auto at = [&](uint32_t offset, std::string_view magic) {
    return offset + magic.size() <= length && std::memcmp(head + offset, magic.data(), magic.size()) == 0;
  };
  using namespace std::string_view_literals;
  if (at(0, "FORM"sv) && at(8, "ILBM"sv)) return vkPictureReader::ILBM;
  if (at(0, "\x89PNG"sv)) return vkPictureReader::Platform;
  // JPEG files open with a JFIF or Exif marker, or with the Adobe marker
  // that CMYK files carry instead of JFIF.
  if (at(0, "\xFF\xD8"sv) && (at(6, "JFIF"sv) || at(6, "Exif"sv) || (at(2, "\xFF\xEE"sv) && at(6, "Adobe"sv))))
    return vkPictureReader::Platform;
  if (at(0, "BM"sv)) return vkPictureReader::BMP;
  if (at(0, "MM\0*"sv) || at(0, "II*\0"sv) || at(0, "GIF87a"sv) || at(0, "GIF89a"sv)) return vkPictureReader::Platform;
  return vkPictureReader::None;
}

// Reads the whole file through the file layer and decodes it with the
// platform's codecs.
uint32_t LoadPlatformPicture(vkFile* f, int32_t* width, int32_t* height, uint32_t** pixels, uint8_t** alpha) {
  SeekStream(f, 0, VKSEEK_START);
  const int64_t size = f->size;
  if (size < 1) return kErrUnknownPicture;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size_t(size)]);
  if (!bytes) return kErrOutOfMemory;
  int64_t got = 0;
  while (got < size) {
    const uint32_t piece = uint32_t(std::min<int64_t>(size - got, int64_t(1) << 30));
    const uint32_t n = ReadStream(f, bytes.get() + got, piece);
    got += n;
    if (n < piece) break;
  }
  return uint32_t(vkosLoadPicture(bytes.get(), size_t(got), width, height, pixels, alpha));
}

// An alpha plane record over decoded alpha bytes; it owns them from now on.
vkPlane* AlphaPlaneOver(uint8_t* data, int32_t width, int32_t height) {
  auto* plane = static_cast<vkPlane*>(AllocateBytes(sizeof(vkPlane), true));
  if (!plane) return nullptr;
  plane->data = data;
  plane->width = width;
  plane->height = height;
  plane->bytesPerRow = AlphaBytesPerRow(width);
  return plane;
}

}  // namespace

uint32_t LoadPictureFile(const char* name, int32_t alphaMode, uint32_t** pixels, vkPlane** alpha, int32_t* extra,
                         int32_t* transparent, int32_t* width, int32_t* height) {
  SetErrorText(name);
  uint8_t head[kSniffBytes] = {};
  uint32_t length = 0;
  vkPictureReader reader;
  {
    vkFilePtr file = OpenStream(name, VKFILE_READ);
    if (!file) return kErrCannotRead;
    length = ReadStream(file.get(), head, kSniffBytes);
    reader = Sniff(head, length);
    if (reader == vkPictureReader::None) return kErrUnknownPicture;

    int32_t w = 0, h = 0;
    vkBufferPtr<uint32_t> words;
    vkBufferPtr<uint8_t> alphaBytes;
    uint32_t* rawWords = nullptr;
    uint8_t* rawAlpha = nullptr;
    uint32_t code;
    if (reader == vkPictureReader::Platform) {
      code = LoadPlatformPicture(file.get(), &w, &h, pixels ? &rawWords : nullptr, &rawAlpha);
    } else {
      file.reset();
      code = (reader == vkPictureReader::ILBM ? LoadILBMFile : LoadBMPFile)(name, &w, &h,
                                                                            pixels ? &rawWords : nullptr);
    }
    words.reset(rawWords);
    alphaBytes.reset(rawAlpha);
    if (code) {
      SetErrorText(name);
      return code;
    }

    vkPlanePtr plane;
    if (pixels) {
      if (alphaBytes && (alphaMode == PICTURE_ALPHA_REQUIRE || alphaMode == PICTURE_ALPHA_KEEP ||
                         alphaMode == PICTURE_ALPHA_MERGE)) {
        plane.reset(AlphaPlaneOver(alphaBytes.get(), w, h));
        if (!plane) return kErrOutOfMemory;
        alphaBytes.release();
      }
      if (alphaMode == PICTURE_ALPHA_REQUIRE && !plane) return kErrNoAlphaChannel;
      if (alphaMode == PICTURE_ALPHA_MERGE) {
        vkBufferPtr<uint32_t> merged(static_cast<uint32_t*>(AllocateArray(size_t(w) * size_t(h), 4, false)));
        if (!merged) return kErrOutOfMemory;
        for (int32_t y = 0; y < h; y++) {
          const uint32_t* in = words.get() + size_t(y) * size_t(w);
          uint32_t* out = merged.get() + size_t(y) * size_t(w);
          const uint8_t* a = plane ? plane->data + size_t(y) * size_t(plane->bytesPerRow) : nullptr;
          for (int32_t x = 0; x < w; x++) out[x] = in[x] << 8 | (a ? a[x] : 0xFF);
        }
        words = std::move(merged);
        plane.reset();
      }
    }

    *width = w;
    *height = h;
    if (pixels) *pixels = words.release();
    if (alpha) *alpha = plane.release();
    if (extra) *extra = 0;
    if (transparent) *transparent = -1;
  }
  return 0;
}

uint32_t ProbePictureFile(const char* name, int32_t* width, int32_t* height, bool* hasAlpha) {
  SetErrorText(name);
  *hasAlpha = false;
  vkFilePtr file = OpenStream(name, VKFILE_READ);
  if (!file) return kErrCannotRead;
  uint8_t head[kSniffBytes] = {};
  const uint32_t length = ReadStream(file.get(), head, kSniffBytes);
  const vkPictureReader reader = Sniff(head, length);
  if (reader == vkPictureReader::None) return kErrUnknownPicture;
  if (reader != vkPictureReader::Platform) {
    file.reset();
    return LoadPictureFile(name, PICTURE_ALPHA_DROP, nullptr, nullptr, nullptr, nullptr, width, height);
  }
  // The codecs read the header from the whole file, as the loader gives it.
  SeekStream(file.get(), 0, VKSEEK_START);
  const int64_t size = file->size;
  if (size < 1) return kErrUnknownPicture;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size_t(size)]);
  if (!bytes) return kErrOutOfMemory;
  const uint32_t got = ReadStream(file.get(), bytes.get(), uint32_t(std::min<int64_t>(size, int64_t(1) << 30)));
  return uint32_t(vkosLoadPicture(bytes.get(), got, width, height, nullptr, nullptr, hasAlpha));
}
