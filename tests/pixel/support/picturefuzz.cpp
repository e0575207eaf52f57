// The picture readers' fuzz entry points. PNG, JPEG, TIFF and GIF are decoded
// from memory by the platform's codecs; BMP and ILBM pictures are read from a
// file, here an in-memory file reached by its /proc path, so that nothing
// touches the disk.
#include "tests/pixel/support/picturefuzz.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/errorcodes.h"
#include "pixel/allocate.h"
#include "pixel/bmp.h"
#include "pixel/ilbm.h"
#include "platform/vkos_pictures.h"

namespace {

// The file the BMP and ILBM readers read: one per process, rewritten for
// every input.
const std::string& InputFile(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("fuzzed-picture", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) __builtin_trap();
  return path;
}

// Reads every word and alpha byte, so that a buffer smaller than the size
// it came with shows under the sanitizers.
uint32_t Touch(const uint32_t* pixels, const uint8_t* alpha, int32_t width, int32_t height) {
  uint32_t sum = 0;
  for (size_t i = 0; i < size_t(width) * size_t(height); i++) sum += pixels[i];
  if (alpha)
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) sum += alpha[size_t(y) * size_t(PictureAlphaRowBytes(width)) + size_t(x)];
  return sum;
}

void Check(bool contract) {
  if (!contract) __builtin_trap();
}

bool ReaderCode(uint32_t code) { return code == 0 || code == kErrUnknownPicture || code == kErrOutOfMemory; }

}  // namespace

uint32_t FuzzPictureReader(vkFuzzedReader reader, const uint8_t* data, size_t size) {
  int32_t w = 0, h = 0, fullW = 0, fullH = 0;
  uint32_t* pixels = nullptr;
  uint8_t* alpha = nullptr;
  uint32_t sizeCode, code;
  if (reader == vkFuzzedReader::BMP || reader == vkFuzzedReader::ILBM) {
    const std::string& path = InputFile(data, size);
    auto load = reader == vkFuzzedReader::BMP ? LoadBMPFile : LoadILBMFile;
    sizeCode = load(path.c_str(), &w, &h, nullptr);
    code = load(path.c_str(), &fullW, &fullH, &pixels);
  } else {
    sizeCode = uint32_t(vkosLoadPicture(data, size, &w, &h, nullptr, nullptr));
    code = uint32_t(vkosLoadPicture(data, size, &fullW, &fullH, &pixels, &alpha));
  }
  vkBufferPtr<uint32_t> ownedPixels(pixels);
  vkBufferPtr<uint8_t> ownedAlpha(alpha);
  Check(ReaderCode(sizeCode) && ReaderCode(code));
  // a picture that loads has the size that its header reported
  if (code == 0) {
    Check(sizeCode == 0 && pixels && fullW == w && fullH == h && CheckPictureSize(w, h) == 0);
    Touch(pixels, alpha, w, h);
  } else {
    Check(!pixels && !alpha);
  }
  return code;
}
