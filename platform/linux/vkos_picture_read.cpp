// Picture decoding on the system's codec libraries: libpng, libjpeg-turbo,
// libtiff and giflib, each read from a block of memory. Every decoder works
// by colour model (palette, grey, grey with alpha, RGB, CMYK), checks the
// picture's size against the cap before allocating, and turns the
// libraries' own errors into 1358; a truncated file is an error, never a
// picture padded with grey. libpng and libjpeg report errors by longjmp, so
// their state lives in records reached through a pointer across setjmp.
#include <csetjmp>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <gif_lib.h>
#include <jerror.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "base/errorcodes.h"
#include "platform/linux/lazylibrary.h"
#include "platform/vkos_pictures.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words are read as B, G, R, A bytes");

namespace {

// What a decoder hands back; the buffers are the caller's once the call
// succeeded and freed by the decoder otherwise.
struct vkDecodeResult {
  bool sizeOnly = false;  // report the size and whether there is alpha
  int32_t width = 0, height = 0;
  bool hasAlpha = false;
  uint32_t* pixels = nullptr;
  uint8_t* alpha = nullptr;

  void Drop() {
    std::free(pixels);
    std::free(alpha);
    pixels = nullptr;
    alpha = nullptr;
  }
};

// The pixel and (when [withAlpha]) alpha buffers for the size in [r].
int AllocateOutput(vkDecodeResult* r, bool withAlpha) {
  r->pixels = static_cast<uint32_t*>(std::malloc(size_t(r->width) * size_t(r->height) * 4));
  if (withAlpha)
    r->alpha = static_cast<uint8_t*>(std::calloc(size_t(PictureAlphaRowBytes(r->width)), size_t(r->height)));
  if (!r->pixels || (withAlpha && !r->alpha)) {
    r->Drop();
    return kErrOutOfMemory;
  }
  return 0;
}

// Moves the top byte of every pixel word into the alpha plane and clears it.
void SplitAlpha(vkDecodeResult* r) {
  const size_t stride = size_t(PictureAlphaRowBytes(r->width));
  for (int32_t y = 0; y < r->height; y++) {
    uint32_t* row = r->pixels + size_t(y) * size_t(r->width);
    uint8_t* a = r->alpha + size_t(y) * stride;
    for (int32_t x = 0; x < r->width; x++) {
      a[x] = static_cast<uint8_t>(row[x] >> 24);
      row[x] &= 0x00FFFFFF;
    }
  }
}

// ---- PNG ----

struct vkPngRead {
  std::jmp_buf jump;
  const uint8_t* data = nullptr;
  size_t size = 0, at = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_bytep* rows = nullptr;
  vkDecodeResult* result = nullptr;
};

void PngFail(png_structp png, png_const_charp) {
  std::longjmp(static_cast<vkPngRead*>(png_get_error_ptr(png))->jump, 1);
}
void PngWarn(png_structp, png_const_charp) {}

void PngReadBytes(png_structp png, png_bytep out, size_t count) {
  auto* s = static_cast<vkPngRead*>(png_get_io_ptr(png));
  if (s->size - s->at < count) png_error(png, "truncated");
  std::memcpy(out, s->data + s->at, count);
  s->at += count;
}

int DecodePngBody(vkPngRead* s) {
  vkDecodeResult* r = s->result;
  png_structp png = s->png;
  png_infop info = s->info;
  png_set_read_fn(png, s, PngReadBytes);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (int code = CheckPictureSize(w, h)) return code;
  r->width = int32_t(w);
  r->height = int32_t(h);
  const int colourType = png_get_color_type(png, info);
  r->hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  if (r->sizeOnly) return 0;

  // Every colour model becomes 8-bit B, G, R and alpha or filler bytes.
  png_set_expand(png);  // palettes to RGB, grey below 8 bits to 8, tRNS to alpha
  png_set_strip_16(png);  // the high byte of 16-bit samples
  png_set_gray_to_rgb(png);
  png_set_bgr(png);
  if (!r->hasAlpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(w) * 4) return kErrUnknownPicture;

  if (int code = AllocateOutput(r, r->hasAlpha)) return code;
  s->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * h));
  if (!s->rows) return kErrOutOfMemory;
  for (png_uint_32 y = 0; y < h; y++) s->rows[y] = reinterpret_cast<png_bytep>(r->pixels + size_t(y) * w);
  png_read_image(png, s->rows);
  png_read_end(png, nullptr);  // a file cut after its pixel data is still damaged
  if (r->hasAlpha) SplitAlpha(r);
  return 0;
}

int DecodePng(const uint8_t* data, size_t size, vkDecodeResult* r) {
  vkPngRead s;
  s.data = data;
  s.size = size;
  s.result = r;
  s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, PngFail, PngWarn);
  if (s.png) s.info = png_create_info_struct(s.png);
  int code = kErrOutOfMemory;
  if (s.info) {
    if (setjmp(s.jump) == 0) code = DecodePngBody(&s);
    else code = kErrUnknownPicture;
  }
  png_destroy_read_struct(&s.png, &s.info, nullptr);
  std::free(s.rows);
  if (code) r->Drop();
  return code;
}

// ---- JPEG ----

struct vkJpegRead {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  std::jmp_buf jump;
  uint8_t* row = nullptr;  // one CMYK row
  bool started = false;
  vkDecodeResult* result = nullptr;
};

void JpegFail(j_common_ptr c) { std::longjmp(static_cast<vkJpegRead*>(c->client_data)->jump, 1); }

// Warnings pass silently, except the one for data that ends early: the
// library would fill the rest of the picture with grey.
void JpegMessage(j_common_ptr c, int level) {
  if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF) JpegFail(c);
}
void JpegOutput(j_common_ptr) {}

// 255 x 255 products back to 0..255, rounded.
inline uint32_t Times255(uint32_t a, uint32_t b) {
  const uint32_t t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

int DecodeJpegBody(vkJpegRead* s, const uint8_t* data, size_t size) {
  vkDecodeResult* r = s->result;
  jpeg_decompress_struct* c = &s->cinfo;
  jpeg_mem_src(c, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(c, TRUE) != JPEG_HEADER_OK) return kErrUnknownPicture;
  if (int code = CheckPictureSize(c->image_width, c->image_height)) return code;
  r->width = int32_t(c->image_width);
  r->height = int32_t(c->image_height);
  if (r->sizeOnly) return 0;

  // CMYK and YCCK come out as CMYK and are converted here; grey, YCbCr and
  // RGB come out as B, G, R and a filler byte, straight into the words.
  const bool cmyk = c->jpeg_color_space == JCS_CMYK || c->jpeg_color_space == JCS_YCCK;
  c->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  jpeg_start_decompress(c);
  s->started = true;
  if (c->output_width != c->image_width || c->output_height != c->image_height || c->output_components != 4)
    return kErrUnknownPicture;
  if (int code = AllocateOutput(r, false)) return code;
  if (cmyk) {
    s->row = static_cast<uint8_t*>(std::malloc(size_t(r->width) * 4));
    if (!s->row) return kErrOutOfMemory;
  }
  // Files with an Adobe marker store CMYK inverted (0 is full ink).
  const bool inverted = c->saw_Adobe_marker;
  while (c->output_scanline < c->output_height) {
    uint32_t* out = r->pixels + size_t(c->output_scanline) * size_t(r->width);
    JSAMPROW row = cmyk ? s->row : reinterpret_cast<JSAMPROW>(out);
    if (jpeg_read_scanlines(c, &row, 1) != 1) return kErrUnknownPicture;
    if (!cmyk) {
      for (int32_t x = 0; x < r->width; x++) out[x] &= 0x00FFFFFF;
      continue;
    }
    for (int32_t x = 0; x < r->width; x++) {
      const uint8_t* p = s->row + size_t(x) * 4;
      uint32_t ink[4];
      for (int i = 0; i < 4; i++) ink[i] = inverted ? p[i] : 255u - p[i];
      out[x] = Times255(ink[0], ink[3]) << 16 | Times255(ink[1], ink[3]) << 8 | Times255(ink[2], ink[3]);
    }
  }
  jpeg_finish_decompress(c);
  return 0;
}

int DecodeJpeg(const uint8_t* data, size_t size, vkDecodeResult* r) {
  vkJpegRead s;
  s.result = r;
  s.cinfo.err = jpeg_std_error(&s.err);
  s.err.error_exit = JpegFail;
  s.err.emit_message = JpegMessage;
  s.err.output_message = JpegOutput;
  s.cinfo.client_data = &s;
  int code;
  if (setjmp(s.jump) == 0) {
    jpeg_create_decompress(&s.cinfo);
    code = DecodeJpegBody(&s, data, size);
  } else {
    code = kErrUnknownPicture;
  }
  jpeg_destroy_decompress(&s.cinfo);
  std::free(s.row);
  if (code) r->Drop();
  return code;
}

// ---- TIFF ----

struct vkMemoryStream {
  const uint8_t* data;
  size_t size;
  size_t at;
};

tmsize_t TiffRead(thandle_t h, void* out, tmsize_t count) {
  auto* m = static_cast<vkMemoryStream*>(h);
  if (count < 0) return -1;
  const size_t n = std::min(size_t(count), m->size - m->at);
  std::memcpy(out, m->data + m->at, n);
  m->at += n;
  return tmsize_t(n);
}
tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
  auto* m = static_cast<vkMemoryStream*>(h);
  uint64_t base = whence == SEEK_CUR ? m->at : whence == SEEK_END ? m->size : 0;
  if (offset > UINT64_MAX - base || base + offset > m->size) return toff_t(-1);
  m->at = size_t(base + offset);
  return m->at;
}
int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t h) { return static_cast<vkMemoryStream*>(h)->size; }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}
int TiffQuiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff's functions, looked up on the first TIFF picture (the library and
// those it needs are slow to load, and few runs read TIFF files).
struct vkTiffCalls {
  decltype(&TIFFOpenOptionsAlloc) OpenOptionsAlloc = nullptr;
  decltype(&TIFFOpenOptionsSetErrorHandlerExtR) OpenOptionsSetErrorHandlerExtR = nullptr;
  decltype(&TIFFOpenOptionsSetWarningHandlerExtR) OpenOptionsSetWarningHandlerExtR = nullptr;
  decltype(&TIFFOpenOptionsSetMaxSingleMemAlloc) OpenOptionsSetMaxSingleMemAlloc = nullptr;
  decltype(&TIFFClientOpenExt) ClientOpenExt = nullptr;
  decltype(&TIFFOpenOptionsFree) OpenOptionsFree = nullptr;
  decltype(&TIFFGetField) GetField = nullptr;
  decltype(&TIFFRGBAImageOK) RGBAImageOK = nullptr;
  decltype(&TIFFReadRGBAImageOriented) ReadRGBAImageOriented = nullptr;
  decltype(&TIFFClose) Close = nullptr;
};

const vkTiffCalls* TiffCalls() {
  static const vkTiffCalls* const calls = []() -> const vkTiffCalls* {
    static vkTiffCalls c;
    const vkLazyFunction table[] = {
        {"TIFFOpenOptionsAlloc", LazySlot(c.OpenOptionsAlloc)},
        {"TIFFOpenOptionsSetErrorHandlerExtR", LazySlot(c.OpenOptionsSetErrorHandlerExtR)},
        {"TIFFOpenOptionsSetWarningHandlerExtR", LazySlot(c.OpenOptionsSetWarningHandlerExtR)},
        {"TIFFOpenOptionsSetMaxSingleMemAlloc", LazySlot(c.OpenOptionsSetMaxSingleMemAlloc)},
        {"TIFFClientOpenExt", LazySlot(c.ClientOpenExt)},
        {"TIFFOpenOptionsFree", LazySlot(c.OpenOptionsFree)},
        {"TIFFGetField", LazySlot(c.GetField)},
        {"TIFFRGBAImageOK", LazySlot(c.RGBAImageOK)},
        {"TIFFReadRGBAImageOriented", LazySlot(c.ReadRGBAImageOriented)},
        {"TIFFClose", LazySlot(c.Close)},
        {nullptr, nullptr}};
    return vkosOpenLazyLibrary(VK_TIFF_SONAME, table) ? &c : nullptr;
  }();
  return calls;
}

int DecodeTiff(const uint8_t* data, size_t size, vkDecodeResult* r) {
  const vkTiffCalls* t = TiffCalls();
  if (!t) return kErrUnknownPicture;
  vkMemoryStream stream{data, size, 0};
  TIFFOpenOptions* options = t->OpenOptionsAlloc();
  if (!options) return kErrOutOfMemory;
  t->OpenOptionsSetErrorHandlerExtR(options, TiffQuiet, nullptr);
  t->OpenOptionsSetWarningHandlerExtR(options, TiffQuiet, nullptr);
  t->OpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kMaxPicturePixels) * 4);
  TIFF* tif = t->ClientOpenExt("picture", "rm", &stream, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize,
                                TiffMap, TiffUnmap, options);
  t->OpenOptionsFree(options);
  if (!tif) return kErrUnknownPicture;

  int code = 0;
  uint32_t w = 0, h = 0;
  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  char message[1024];
  t->GetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  t->GetField(tif, TIFFTAG_IMAGELENGTH, &h);
  // Straight alpha gives a plane; premultiplied alpha stays in the colours.
  if (t->GetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0)
    r->hasAlpha = extraTypes[0] == EXTRASAMPLE_UNASSALPHA;
  code = CheckPictureSize(w, h);
  if (!code && !t->RGBAImageOK(tif, message)) code = kErrUnknownPicture;
  if (code) {
  } else {
    r->width = int32_t(w);
    r->height = int32_t(h);
    if (!r->sizeOnly) code = AllocateOutput(r, r->hasAlpha);
  }
  if (!code && !r->sizeOnly) {
    // The library hands out R, G, B, A from the low byte up, alpha multiplied in.
    if (!t->ReadRGBAImageOriented(tif, w, h, r->pixels, ORIENTATION_TOPLEFT, 1)) {
      code = kErrUnknownPicture;
    } else {
      const size_t stride = size_t(PictureAlphaRowBytes(r->width));
      for (uint32_t y = 0; y < h; y++) {
        uint32_t* row = r->pixels + size_t(y) * w;
        for (uint32_t x = 0; x < w; x++) {
          const uint32_t p = row[x];
          uint32_t red = p & 0xFF, green = p >> 8 & 0xFF, blue = p >> 16 & 0xFF;
          const uint32_t a = p >> 24;
          if (r->hasAlpha) {
            r->alpha[size_t(y) * stride + x] = static_cast<uint8_t>(a);
            if (a > 0 && a < 255) {
              red = std::min(255u, (red * 255 + a / 2) / a);
              green = std::min(255u, (green * 255 + a / 2) / a);
              blue = std::min(255u, (blue * 255 + a / 2) / a);
            }
          }
          row[x] = red << 16 | green << 8 | blue;
        }
      }
    }
  }
  t->Close(tif);
  if (code) r->Drop();
  return code;
}

// ---- GIF (the first frame) ----

int GifRead(GifFileType* gif, GifByteType* out, int count) {
  auto* m = static_cast<vkMemoryStream*>(gif->UserData);
  if (count < 0) return 0;
  const size_t n = std::min(size_t(count), m->size - m->at);
  std::memcpy(out, m->data + m->at, n);
  m->at += n;
  return int(n);
}

struct vkGifCloser {
  void operator()(GifFileType* gif) const {
    int error;
    DGifCloseFile(gif, &error);
  }
};

// The frame is placed on the logical screen; what it does not cover, and
// its transparent pixels, are transparent black.
int DecodeGifFrame(GifFileType* gif, vkDecodeResult* r) {
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) return kErrUnknownPicture;
    if (type == TERMINATE_RECORD_TYPE) return kErrUnknownPicture;  // no picture in it
    if (type == EXTENSION_RECORD_TYPE) {
      int function;
      GifByteType* block;
      if (DGifGetExtension(gif, &function, &block) == GIF_ERROR) return kErrUnknownPicture;
      if (function == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
        transparent = (block[1] & 1) ? block[4] : -1;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return kErrUnknownPicture;
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif) == GIF_ERROR) return kErrUnknownPicture;
    break;
  }
  const GifImageDesc& d = gif->Image;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  if (!map || d.Width < 1 || d.Height < 1 || d.Left < 0 || d.Top < 0) return kErrUnknownPicture;
  int64_t w = gif->SWidth, h = gif->SHeight;
  if (w < 1 || h < 1) w = int64_t(d.Left) + d.Width, h = int64_t(d.Top) + d.Height;
  if (int code = CheckPictureSize(w, h)) return code;
  r->width = int32_t(w);
  r->height = int32_t(h);
  const bool covered = d.Left == 0 && d.Top == 0 && d.Width >= w && d.Height >= h;
  r->hasAlpha = transparent >= 0 || !covered;
  if (r->sizeOnly) return 0;
  if (int code = AllocateOutput(r, r->hasAlpha)) return code;
  std::memset(r->pixels, 0, size_t(w) * size_t(h) * 4);

  GifPixelType* line = static_cast<GifPixelType*>(std::malloc(size_t(d.Width)));
  if (!line) return kErrOutOfMemory;
  // Interlaced rows come in four passes.
  static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  const int passes = d.Interlace ? 4 : 1;
  const size_t stride = size_t(PictureAlphaRowBytes(r->width));
  int code = 0;
  for (int pass = 0; pass < passes && !code; pass++) {
    const int start = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
    for (int y = start; y < d.Height && !code; y += step) {
      if (DGifGetLine(gif, line, d.Width) == GIF_ERROR) {
        code = kErrUnknownPicture;
        break;
      }
      const int64_t row = int64_t(d.Top) + y;
      if (row >= h) continue;
      for (int x = 0; x < d.Width && d.Left + x < w; x++) {
        const int index = line[x];
        const size_t at = size_t(row) * size_t(w) + size_t(d.Left + x);
        if (index == transparent) continue;
        if (index < map->ColorCount) {
          const GifColorType& c = map->Colors[index];
          r->pixels[at] = uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
        }
        if (r->alpha) r->alpha[size_t(row) * stride + size_t(d.Left + x)] = 255;
      }
    }
  }
  std::free(line);
  if (code) return code;
  // The next record must be there too: a file cut after the frame is damaged.
  GifRecordType next;
  if (DGifGetRecordType(gif, &next) == GIF_ERROR) return kErrUnknownPicture;
  return 0;
}

int DecodeGif(const uint8_t* data, size_t size, vkDecodeResult* r) {
  vkMemoryStream stream{data, size, 0};
  int error = 0;
  std::unique_ptr<GifFileType, vkGifCloser> gif(DGifOpen(&stream, GifRead, &error));
  if (!gif) return error == D_GIF_ERR_NOT_ENOUGH_MEM ? kErrOutOfMemory : kErrUnknownPicture;
  const int code = DecodeGifFrame(gif.get(), r);
  if (code) r->Drop();
  return code;
}

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

}  // namespace

int vkosLoadPicture(const uint8_t* data, size_t size, int32_t* width, int32_t* height, uint32_t** pixels,
                    uint8_t** alpha, bool* hasAlpha) {
  vkDecodeResult r;
  r.sizeOnly = pixels == nullptr;
  int code;
  if (!data) code = kErrUnknownPicture;
  else if (StartsWith(data, size, "\x89PNG\r\n\x1a\n", 8)) code = DecodePng(data, size, &r);
  else if (StartsWith(data, size, "\xFF\xD8", 2)) code = DecodeJpeg(data, size, &r);
  else if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4)) code = DecodeTiff(data, size, &r);
  else if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) code = DecodeGif(data, size, &r);
  else code = kErrUnknownPicture;
  if (code) return code;
  *width = r.width;
  *height = r.height;
  if (hasAlpha) *hasAlpha = r.hasAlpha;
  if (pixels) {
    *pixels = r.pixels;
    if (alpha) *alpha = r.alpha;
    else std::free(r.alpha);
  }
  return 0;
}
