// The JPEG encoder the AVI writer's tests hand in: libjpeg compressing
// B, G, R, X pixel words into memory as a JFIF file, as the platform's
// encoder does in the player.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace jpegencode {

inline int Encode(const uint32_t* pixels, int32_t rowBytes, int32_t width, int32_t height, int32_t quality,
                  std::vector<uint8_t>* out) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = 4;
  c.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const unsigned char*>(pixels) + size_t(c.next_scanline) * rowBytes);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  out->assign(mem, mem + size);
  std::free(mem);
  return 0;
}

}  // namespace jpegencode
