// libpng's functions as the platform's picture reader and writer call them,
// going to the library on first use: a run that reads and writes no PNG does
// not load it. The list is what the linker asks for when libpng is dropped
// from the link.
#include <png.h>

#include "platform/linux/lazyforward.h"

namespace {
vkLazyLibrary gPng{VK_PNG_SONAME};
}  // namespace

#define VK_PNG(ret, name, params, args) VK_LAZY_FORWARD(gPng, ret, name, params, args)

VK_PNG(png_infop, png_create_info_struct, (png_const_structrp png_ptr), (png_ptr))
VK_PNG(png_structp, png_create_read_struct, (png_const_charp user_png_ver, png_voidp error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn), (user_png_ver, error_ptr, error_fn, warn_fn))
VK_PNG(png_structp, png_create_write_struct, (png_const_charp user_png_ver, png_voidp error_ptr, png_error_ptr error_fn, png_error_ptr warn_fn), (user_png_ver, error_ptr, error_fn, warn_fn))
VK_PNG(void, png_destroy_read_struct, (png_structpp png_ptr_ptr, png_infopp info_ptr_ptr, png_infopp end_info_ptr_ptr), (png_ptr_ptr, info_ptr_ptr, end_info_ptr_ptr))
VK_PNG(void, png_destroy_write_struct, (png_structpp png_ptr_ptr, png_infopp info_ptr_ptr), (png_ptr_ptr, info_ptr_ptr))
VK_LAZY_FORWARD_NORETURN(gPng, png_error, (png_const_structrp png_ptr, png_const_charp error_message), (png_ptr, error_message))
VK_PNG(png_byte, png_get_color_type, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(png_voidp, png_get_error_ptr, (png_const_structrp png_ptr), (png_ptr))
VK_PNG(png_uint_32, png_get_image_height, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(png_uint_32, png_get_image_width, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(png_voidp, png_get_io_ptr, (png_const_structrp png_ptr), (png_ptr))
VK_PNG(size_t, png_get_rowbytes, (png_const_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(png_uint_32, png_get_valid, (png_const_structrp png_ptr, png_const_inforp info_ptr, png_uint_32 flag), (png_ptr, info_ptr, flag))
VK_PNG(void, png_read_end, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(void, png_read_image, (png_structrp png_ptr, png_bytepp image), (png_ptr, image))
VK_PNG(void, png_read_info, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(void, png_read_update_info, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(void, png_set_IHDR, (png_const_structrp png_ptr, png_inforp info_ptr, png_uint_32 width, png_uint_32 height, int bit_depth, int color_type, int interlace_method, int compression_method, int filter_method), (png_ptr, info_ptr, width, height, bit_depth, color_type, interlace_method, compression_method, filter_method))
VK_PNG(void, png_set_bgr, (png_structrp png_ptr), (png_ptr))
VK_PNG(void, png_set_compression_level, (png_structrp png_ptr, int level), (png_ptr, level))
VK_PNG(void, png_set_compression_strategy, (png_structrp png_ptr, int strategy), (png_ptr, strategy))
VK_PNG(void, png_set_expand, (png_structrp png_ptr), (png_ptr))
VK_PNG(void, png_set_filler, (png_structrp png_ptr, png_uint_32 filler, int flags), (png_ptr, filler, flags))
VK_PNG(void, png_set_gray_to_rgb, (png_structrp png_ptr), (png_ptr))
VK_PNG(int, png_set_interlace_handling, (png_structrp png_ptr), (png_ptr))
VK_PNG(void, png_set_read_fn, (png_structrp png_ptr, png_voidp io_ptr, png_rw_ptr read_data_fn), (png_ptr, io_ptr, read_data_fn))
VK_PNG(void, png_set_strip_16, (png_structrp png_ptr), (png_ptr))
VK_PNG(void, png_set_write_fn, (png_structrp png_ptr, png_voidp io_ptr, png_rw_ptr write_data_fn, png_flush_ptr output_flush_fn), (png_ptr, io_ptr, write_data_fn, output_flush_fn))
VK_PNG(void, png_write_end, (png_structrp png_ptr, png_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(void, png_write_info, (png_structrp png_ptr, png_const_inforp info_ptr), (png_ptr, info_ptr))
VK_PNG(void, png_write_row, (png_structrp png_ptr, png_const_bytep row), (png_ptr, row))
