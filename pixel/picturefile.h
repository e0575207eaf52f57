// The picture loader: the one entry that turns a picture file of any format
// the player reads into ARGB words, an optional alpha plane and a size. It
// recognises the format from the file's first bytes and hands it to the ILBM
// or BMP reader or to the platform's codecs (PNG, JPEG, TIFF, GIF), then
// shapes the alpha information as the caller asks.
#pragma once

#include <cstdint>

struct vkPlane;

// What LoadPictureFile does with the picture's alpha.
enum : int32_t {
  PICTURE_ALPHA_DROP = 0,     // free any alpha plane
  PICTURE_ALPHA_REQUIRE = 1,  // a picture without one is refused with 1170
  PICTURE_ALPHA_MERGE = 2,    // words RGB << 8 | alpha (255 where there is no plane)
  PICTURE_ALPHA_KEEP = 3,     // the pixels and the plane as they came
};

// Loads [name] (linked ":::chunk" names work like paths). With a null
// [pixels] only [width] and [height] are read. Otherwise [pixels] receives
// width x height words 0x00RRGGBB (or RGBA words with PICTURE_ALPHA_MERGE),
// freed by the caller with free(), and [alpha] (when given) the alpha plane
// or null. [extra] and [transparent], when given, are set to 0 and -1.
// The name becomes the error text. Returns 0, 1045 (cannot be read), 1358
// (not a picture, or a damaged one), 1170, 1000, or a reader's error; after
// an error nothing is handed out.
uint32_t LoadPictureFile(const char* name, int32_t alphaMode, uint32_t** pixels, vkPlane** alpha, int32_t* extra,
                         int32_t* transparent, int32_t* width, int32_t* height);

// Reads only the header of [name]: its size and whether loading it would
// give an alpha plane (pictures the platform's codecs read say so; BMP and
// ILBM pictures load without one). Returns 0 or LoadPictureFile's errors.
uint32_t ProbePictureFile(const char* name, int32_t* width, int32_t* height, bool* hasAlpha);
