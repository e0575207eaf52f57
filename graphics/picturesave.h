// Picture saving: the one routine that writes a bitmap with its mask or
// alpha plane as BMP, PNG, JPEG, GIF or IFF ILBM, the reader of the save
// options that the saving commands share, and the snapshot command that
// saves what a display shows.
#pragma once

#include <cstdint>

struct vkState;
struct vkBitMap;
struct vkPlane;

// The save formats (IMGFMT_*).
inline constexpr int32_t IMGFMT_BMP = 0;
inline constexpr int32_t IMGFMT_PNG = 1;
inline constexpr int32_t IMGFMT_JPEG = 2;
inline constexpr int32_t IMGFMT_GIF = 3;
inline constexpr int32_t IMGFMT_ILBM = 4;

// What SaveSnapshot saves (SNAP*).
inline constexpr int32_t SNAPWINDOW = 0;
inline constexpr int32_t SNAPDISPLAY = 1;
inline constexpr int32_t SNAPDESKTOP = 2;

// How lossy and palette formats are written.
struct vkSaveOptions {
  int32_t quality = 90;  // JPEG, 0..100
  int32_t colours = 256;  // GIF: the most palette colours
  int32_t dither = 0;     // GIF: error diffusion while reducing colours
};

// Reads the save options of a command from argument [index] when that is
// the last argument: a table gives "quality", "colors" and "dither", a
// number the quality. Anything else, or an argument that is not the last,
// leaves the defaults.
void ReadSaveOptions(vkState* L, int index, vkSaveOptions* out);

// Writes the top-left [width] x [height] of [bitmap] to [file] as [format].
// Pixels that [mask] hides become [transparent] (0xRRGGBB, -1 none), which
// a GIF then shows transparent; an [alpha] plane goes into a PNG. Returns
// 0, 1000, 1055 (unknown format), 1052 (BMP, GIF, ILBM cannot be written,
// with the file name as error text), 1277 (PNG) or 1315 (JPEG).
int32_t SavePictureToFile(int32_t format, const vkBitMap* bitmap, int32_t width, int32_t height, const char* file,
                          const vkPlane* mask, int32_t transparent, const vkPlane* alpha,
                          const vkSaveOptions& options);

// The same for packed ARGB words; the alpha byte is the PNG's alpha with
// [keepAlpha] and read by no other format. [transparent] pixels become
// transparent in a GIF.
int32_t SaveARGBToFile(int32_t format, const uint32_t* pixels, int32_t width, int32_t height, const char* file,
                       int32_t transparent, bool keepAlpha, const vkSaveOptions& options);

// SaveSnapshot(file, [what], [format], [options]).
int CmdSaveSnapshot(vkState* L);
