// libjpeg's functions as the platform's picture reader and writer call them,
// going to the library on first use: a run that reads and writes no JPEG does
// not load it. The list is what the linker asks for when libjpeg is dropped
// from the link.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "platform/linux/lazyforward.h"

namespace {
vkLazyLibrary gJpeg{VK_JPEG_SONAME};
}  // namespace

#define VK_JPEG(ret, name, params, args) VK_LAZY_FORWARD(gJpeg, ret, name, params, args)

VK_JPEG(void, jpeg_CreateCompress, (j_compress_ptr cinfo, int version, size_t structsize), (cinfo, version, structsize))
VK_JPEG(void, jpeg_CreateDecompress, (j_decompress_ptr cinfo, int version, size_t structsize), (cinfo, version, structsize))
VK_JPEG(void, jpeg_destroy_compress, (j_compress_ptr cinfo), (cinfo))
VK_JPEG(void, jpeg_destroy_decompress, (j_decompress_ptr cinfo), (cinfo))
VK_JPEG(void, jpeg_finish_compress, (j_compress_ptr cinfo), (cinfo))
VK_JPEG(boolean, jpeg_finish_decompress, (j_decompress_ptr cinfo), (cinfo))
VK_JPEG(void, jpeg_mem_dest, (j_compress_ptr cinfo, unsigned char **outbuffer, unsigned long *outsize), (cinfo, outbuffer, outsize))
VK_JPEG(void, jpeg_mem_src, (j_decompress_ptr cinfo, const unsigned char *inbuffer, unsigned long insize), (cinfo, inbuffer, insize))
VK_JPEG(int, jpeg_read_header, (j_decompress_ptr cinfo, boolean require_image), (cinfo, require_image))
VK_JPEG(JDIMENSION, jpeg_read_scanlines, (j_decompress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION max_lines), (cinfo, scanlines, max_lines))
VK_JPEG(void, jpeg_set_defaults, (j_compress_ptr cinfo), (cinfo))
VK_JPEG(void, jpeg_set_quality, (j_compress_ptr cinfo, int quality, boolean force_baseline), (cinfo, quality, force_baseline))
VK_JPEG(void, jpeg_start_compress, (j_compress_ptr cinfo, boolean write_all_tables), (cinfo, write_all_tables))
VK_JPEG(boolean, jpeg_start_decompress, (j_decompress_ptr cinfo), (cinfo))
VK_JPEG(struct jpeg_error_mgr *, jpeg_std_error, (struct jpeg_error_mgr *err), (err))
VK_JPEG(JDIMENSION, jpeg_write_scanlines, (j_compress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION num_lines), (cinfo, scanlines, num_lines))
