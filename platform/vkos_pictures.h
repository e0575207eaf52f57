// Pictures that the system's codec libraries read and write: PNG, JPEG, TIFF
// and the first frame of a GIF are decoded from bytes in memory (the picture
// loader reads files through the file layer first, so linked files work like
// paths); PNG and JPEG are encoded to a file or to memory. Every size in the
// data is checked before anything is allocated, and a damaged picture gives
// an error code, never a partial picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/picturesize.h"

// Rows of a decoded alpha plane are this long: the alpha planes' own layout.
inline int32_t PictureAlphaRowBytes(int32_t width) { return (width + 3) & ~3; }

// Decodes the picture in [data] ([size] bytes): PNG, JPEG, TIFF or GIF.
// With a null [pixels] only [width] and [height] are set, and [hasAlpha]
// (when given) tells whether decoding would give an alpha plane. Otherwise
// [pixels] receives width x height words 0x00RRGGBB (rows top to bottom,
// no padding) and [alpha] the picture's straight alpha, one byte per pixel
// in rows of PictureAlphaRowBytes(width), or null when it has none. Both are
// allocated with malloc and freed by the caller with free(). Returns 0, 1358
// (not a picture these libraries read, or a damaged one) or 1000 (also for
// a picture above the pixel cap).
int vkosLoadPicture(const uint8_t* data, size_t size, int32_t* width, int32_t* height, uint32_t** pixels,
                    uint8_t** alpha, bool* hasAlpha = nullptr);

// The picture types vkosSavePicture writes.
inline constexpr int VKOS_PICTURE_PNG = 0;
inline constexpr int VKOS_PICTURE_JPEG = 1;

// Encodes [pixels] (ARGB words 0xAARRGGBB, [rowBytes] bytes per row) as
// [type]. With [keepAlpha] (PNG only) the top byte of each word is written
// as straight alpha; otherwise it is ignored. [quality] 0..100 sets the JPEG
// quality (100 is the best). With a [path] (ISO 8859-1; "PROGDIR:" names
// work) the picture is written to that file, otherwise into [out]. Every
// write and the close are checked. Returns 0, 1000, or the type's error:
// 1277 for PNG, 1315 for JPEG (also when the file cannot be written).
int vkosSavePicture(const char* path, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowBytes,
                    int type, bool keepAlpha, int32_t quality, std::vector<uint8_t>* out);

// Shorthands: packed rows of width x 4 bytes.
int vkosSavePng(const char* path, const uint32_t* pixels, int32_t width, int32_t height, bool keepAlpha);
int vkosSaveJpeg(const char* path, const uint32_t* pixels, int32_t width, int32_t height, int32_t quality);
// A JPEG in memory, as the AVI writer and the clipboard use it.
int vkosEncodeJpeg(const uint32_t* pixels, int32_t rowBytes, int32_t width, int32_t height, int32_t quality,
                   std::vector<uint8_t>* out);

// The bytes of encoded data: its length, and its first byte in [bytes].
inline size_t vkosGetEncodedBytes(const std::vector<uint8_t>& data, const uint8_t** bytes) {
  *bytes = data.data();
  return data.size();
}
