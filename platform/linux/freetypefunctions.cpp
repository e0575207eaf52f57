// FreeType's functions as the player calls them (the system fonts and the
// TrueType engine), going to the library on first use: a run that draws no
// TrueType text does not load it. The list is what the linker asks for when
// FreeType is dropped from the link.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include "platform/linux/lazyforward.h"

namespace {
vkLazyLibrary gFreeType{VK_FREETYPE_SONAME};
}  // namespace

#define VK_FREETYPE(ret, name, params, args) VK_LAZY_FORWARD(gFreeType, ret, name, params, args)

VK_FREETYPE(FT_Error, FT_Done_Face, (FT_Face face), (face))
VK_FREETYPE(FT_Error, FT_Done_FreeType, (FT_Library library), (library))
VK_FREETYPE(FT_UInt, FT_Get_Char_Index, (FT_Face face, FT_ULong charcode), (face, charcode))
VK_FREETYPE(FT_Error, FT_Get_Kerning, (FT_Face face, FT_UInt left_glyph, FT_UInt right_glyph, FT_UInt kern_mode, FT_Vector *akerning), (face, left_glyph, right_glyph, kern_mode, akerning))
VK_FREETYPE(void, FT_GlyphSlot_Embolden, (FT_GlyphSlot slot), (slot))
VK_FREETYPE(void, FT_GlyphSlot_Oblique, (FT_GlyphSlot slot), (slot))
VK_FREETYPE(FT_Error, FT_Init_FreeType, (FT_Library *alibrary), (alibrary))
VK_FREETYPE(FT_Error, FT_Load_Glyph, (FT_Face face, FT_UInt glyph_index, FT_Int32 load_flags), (face, glyph_index, load_flags))
VK_FREETYPE(FT_Long, FT_MulFix, (FT_Long a, FT_Long b), (a, b))
VK_FREETYPE(FT_Error, FT_New_Face, (FT_Library library, const char* filepathname, FT_Long face_index, FT_Face *aface), (library, filepathname, face_index, aface))
VK_FREETYPE(FT_Error, FT_New_Memory_Face, (FT_Library library, const FT_Byte* file_base, FT_Long file_size, FT_Long face_index, FT_Face *aface), (library, file_base, file_size, face_index, aface))
VK_FREETYPE(FT_Error, FT_Open_Face, (FT_Library library, const FT_Open_Args* args, FT_Long face_index, FT_Face *aface), (library, args, face_index, aface))
VK_FREETYPE(FT_Error, FT_Render_Glyph, (FT_GlyphSlot slot, FT_Render_Mode render_mode), (slot, render_mode))
VK_FREETYPE(FT_Error, FT_Select_Charmap, (FT_Face face, FT_Encoding encoding), (face, encoding))
VK_FREETYPE(FT_Error, FT_Set_Char_Size, (FT_Face face, FT_F26Dot6 char_width, FT_F26Dot6 char_height, FT_UInt horz_resolution, FT_UInt vert_resolution), (face, char_width, char_height, horz_resolution, vert_resolution))
VK_FREETYPE(FT_Error, FT_Set_Charmap, (FT_Face face, FT_CharMap charmap), (face, charmap))
VK_FREETYPE(FT_Error, FT_Set_Pixel_Sizes, (FT_Face face, FT_UInt pixel_width, FT_UInt pixel_height), (face, pixel_width, pixel_height))
VK_FREETYPE(void, FT_Set_Transform, (FT_Face face, FT_Matrix* matrix, FT_Vector* delta), (face, matrix, delta))
