// Picture encoding on libpng and libjpeg-turbo. Pixel words go to the
// libraries as they lie in memory (B, G, R, A bytes), so there is no
// conversion pass. The picture is always encoded into memory first; saving
// to a file then writes those bytes and checks every write and the close,
// and a file that could not be written completely is removed.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/errorcodes.h"
#include "platform/vkos_files.h"
#include "platform/vkos_pictures.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words are written as B, G, R, A bytes");

namespace {

// ---- PNG ----

struct vkPngWrite {
  std::jmp_buf jump;
  std::vector<uint8_t>* out = nullptr;
  int code = kErrSavePng;  // what a longjmp reports
  png_structp png = nullptr;
  png_infop info = nullptr;
};

void PngFail(png_structp png, png_const_charp) {
  std::longjmp(static_cast<vkPngWrite*>(png_get_error_ptr(png))->jump, 1);
}
void PngWarn(png_structp, png_const_charp) {}

void PngWriteBytes(png_structp png, png_bytep bytes, size_t count) {
  auto* s = static_cast<vkPngWrite*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    s->out->insert(s->out->end(), bytes, bytes + count);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  if (!grown) {
    s->code = kErrOutOfMemory;
    png_error(png, "out of memory");
  }
}
void PngFlush(png_structp) {}

void EncodePngBody(vkPngWrite* s, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowBytes,
                   bool keepAlpha) {
  png_set_write_fn(s->png, s, PngWriteBytes, PngFlush);
  png_set_IHDR(s->png, s->info, png_uint_32(width), png_uint_32(height), 8,
               keepAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Deflate level 4 with the default strategy over adaptively filtered rows:
  // several times faster than level 6 with the filtered strategy, and the
  // files stay within about a tenth of that size on photographs, drawings
  // and noisy gradients alike (level 3 and below double the size of flat
  // screen pictures; run-length matching loses on noise).
  png_set_compression_level(s->png, 4);
  png_set_compression_strategy(s->png, Z_DEFAULT_STRATEGY);
  png_write_info(s->png, s->info);
  png_set_bgr(s->png);
  if (!keepAlpha) png_set_filler(s->png, 0, PNG_FILLER_AFTER);  // the top byte is dropped
  const auto* base = reinterpret_cast<const uint8_t*>(pixels);
  for (int32_t y = 0; y < height; y++)
    png_write_row(s->png, const_cast<png_bytep>(base + size_t(y) * size_t(rowBytes)));
  png_write_end(s->png, s->info);
}

int EncodePng(const uint32_t* pixels, int32_t width, int32_t height, int32_t rowBytes, bool keepAlpha,
              std::vector<uint8_t>* out) {
  vkPngWrite s;
  s.out = out;
  s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, PngFail, PngWarn);
  if (s.png) s.info = png_create_info_struct(s.png);
  int code = kErrOutOfMemory;
  if (s.info) {
    if (setjmp(s.jump) == 0) {
      EncodePngBody(&s, pixels, width, height, rowBytes, keepAlpha);
      code = 0;
    } else {
      code = s.code;
    }
  }
  png_destroy_write_struct(&s.png, &s.info);
  return code;
}

// ---- JPEG ----

struct vkJpegWrite {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  std::jmp_buf jump;
  unsigned char* buffer = nullptr;  // grown by the library with malloc
  unsigned long size = 0;
};

void JpegFail(j_common_ptr c) { std::longjmp(static_cast<vkJpegWrite*>(c->client_data)->jump, 1); }
void JpegOutput(j_common_ptr) {}

void EncodeJpegBody(vkJpegWrite* s, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowBytes,
                    int32_t quality) {
  jpeg_compress_struct* c = &s->cinfo;
  jpeg_create_compress(c);
  jpeg_mem_dest(c, &s->buffer, &s->size);
  c->image_width = JDIMENSION(width);
  c->image_height = JDIMENSION(height);
  c->input_components = 4;
  c->in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(c);
  jpeg_set_quality(c, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
  jpeg_start_compress(c, TRUE);
  const auto* base = reinterpret_cast<const uint8_t*>(pixels);
  while (c->next_scanline < c->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(base + size_t(c->next_scanline) * size_t(rowBytes));
    jpeg_write_scanlines(c, &row, 1);
  }
  jpeg_finish_compress(c);
}

int EncodeJpeg(const uint32_t* pixels, int32_t width, int32_t height, int32_t rowBytes, int32_t quality,
               std::vector<uint8_t>* out) {
  vkJpegWrite s;
  s.cinfo.err = jpeg_std_error(&s.err);
  s.err.error_exit = JpegFail;
  s.err.output_message = JpegOutput;
  s.cinfo.client_data = &s;
  int code;
  if (setjmp(s.jump) == 0) {
    EncodeJpegBody(&s, pixels, width, height, rowBytes, quality);
    code = 0;
  } else {
    code = kErrWriteJpeg;
  }
  jpeg_destroy_compress(&s.cinfo);
  if (!code) {
    try {
      out->assign(s.buffer, s.buffer + s.size);
    } catch (const std::bad_alloc&) {
      code = kErrOutOfMemory;
    }
  }
  std::free(s.buffer);
  return code;
}

// Writes [bytes] to [path]: true when every byte and the close succeeded.
// A regular file that was not written completely is removed.
bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
  const std::string fsPath = vkosToFileSystemPath(path);
  if (fsPath.empty()) return false;
  FILE* f = std::fopen(fsPath.c_str(), "wb");
  if (!f) return false;
  struct stat st;
  const bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fflush(f) == 0 && ok;
  ok = std::fclose(f) == 0 && ok;
  if (!ok && regular) unlink(fsPath.c_str());  // never a device such as /dev/full
  return ok;
}

// Bytes per packed row; 0 (refused) when it does not fit.
int32_t PackedRowBytes(int32_t width) { return width > 0 && width <= INT32_MAX / 4 ? width * 4 : 0; }

}  // namespace

int vkosSavePicture(const char* path, const uint32_t* pixels, int32_t width, int32_t height, int32_t rowBytes,
                    int type, bool keepAlpha, int32_t quality, std::vector<uint8_t>* out) {
  const int failure = type == VKOS_PICTURE_PNG ? kErrSavePng : kErrWriteJpeg;
  if (!pixels || width < 1 || height < 1 || rowBytes < int64_t(width) * 4 || (!path && !out)) return failure;
  std::vector<uint8_t> local;
  std::vector<uint8_t>* bytes = path ? &local : out;
  bytes->clear();
  int code = type == VKOS_PICTURE_PNG ? EncodePng(pixels, width, height, rowBytes, keepAlpha, bytes)
                                      : EncodeJpeg(pixels, width, height, rowBytes, quality, bytes);
  if (code) {
    bytes->clear();
    return code;
  }
  if (path && !WriteWholeFile(path, local)) return failure;
  return 0;
}

int vkosSavePng(const char* path, const uint32_t* pixels, int32_t width, int32_t height, bool keepAlpha) {
  return vkosSavePicture(path, pixels, width, height, PackedRowBytes(width), VKOS_PICTURE_PNG, keepAlpha, 0, nullptr);
}

int vkosSaveJpeg(const char* path, const uint32_t* pixels, int32_t width, int32_t height, int32_t quality) {
  return vkosSavePicture(path, pixels, width, height, PackedRowBytes(width), VKOS_PICTURE_JPEG, false, quality,
                         nullptr);
}

int vkosEncodeJpeg(const uint32_t* pixels, int32_t rowBytes, int32_t width, int32_t height, int32_t quality,
                   std::vector<uint8_t>* out) {
  return vkosSavePicture(nullptr, pixels, width, height, rowBytes, VKOS_PICTURE_JPEG, false, quality, out);
}
