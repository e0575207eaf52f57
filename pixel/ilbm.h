// The IFF ILBM picture files: the reader (1 to 8 planes with a colour map,
// extra half-brite, HAM6 and HAM8, and true-colour pictures of 3 x n planes
// and of 32 planes; raw or ByteRun1 bodies) and the writer, which always writes 24-bit ByteRun1 pictures. The
// plane decoders and converters here are shared with the IFF ANIM reader.
#pragma once

#include <cstdint>

struct vkFile;

// Reads the picture [name] into a new array of width x height words
// 0x00RRGGBB (rows top to bottom; the caller frees it with free()). With a
// null [pixels] only the size is read. Returns 0, 1045 (cannot open), 1000
// (also for a picture above the pixel cap) or 1358 (not a picture this
// reader can show, or a damaged one); the file name becomes the error text
// for 1045 and 1358.
uint32_t LoadILBMFile(const char* name, int32_t* width, int32_t* height, uint32_t** pixels);

// Writes [pixels] (ARGB words, row length = [width]; alpha is ignored) as a
// 24-bit ByteRun1 ILBM. Returns 0, 1000, or 1052 with the file name as error
// text when the file cannot be written or the size does not fit the format.
uint32_t WriteILBMFile(const char* name, const uint32_t* pixels, int32_t width, int32_t height);

// Looks for the chunk [id] (four characters) by sliding a four-byte window
// through the file; a pass ends at "BODY" or at the end of the file, and a
// second pass starts from where the first stopped (at offset 12 when that
// was the end). True when found: [file] then stands just behind the id.
bool FindIFFChunk(vkFile* file, const char* id);

// Bytes per row of one ILBM plane.
inline int32_t ILBMRowBytes(int32_t width) { return ((width + 15) >> 4) * 2; }

// The fewest bytes a BODY of this shape can take: every plane row needs at
// least one control and one data byte per 128 bytes when packed (compression
// not 0), all its bytes when not (mask rows are left out of the count).
int64_t LeastBodyBytes(int32_t height, int32_t planes, int32_t rowBytes, uint8_t compression);

// Decode a BODY into [planes]: plane p fills rowbytes x height bytes at
// p x rowbytes x height. With [masking] 1 each row's mask plane is read and
// dropped. [bodySize] is not used. Rows stop early when the file ends (the
// handle's past-end flag tells); a run that passes the end of a row is cut
// there. Both return 1.
int ReadILBMPlanesRaw(vkFile* file, uint8_t* planes, int32_t bodySize, int32_t width,
                      int32_t height, int32_t planeCount, int32_t masking);
int ReadILBMPlanesByteRun1(vkFile* file, uint8_t* planes, int32_t bodySize, int32_t width,
                           int32_t height, int32_t planeCount, int32_t masking);

// The most bits of one colour component in true-colour planes.
inline constexpr int32_t kMaxComponentBits = 16;

// The bits per colour component of true-colour pictures of [planeCount]
// planes: n for 3 x n planes (3 to 16 bits; 24 planes are 8-bit RGB), 8 for
// 32 planes (RGB and an alpha channel), 0 for any other count.
int32_t DeepComponentBits(int32_t planeCount);

// 1 to 8 planes: index bytes (plane p is bit p). True-colour plane counts
// (DeepComponentBits): words 0x00RRGGBB, red from planes 0 to n - 1 (lowest
// bit first), green from the next n, blue from the n after them, each
// brought to 8 bits (24 planes: 0-7 red, 8-15 green, 16-23 blue). Other
// counts convert nothing.
// [destStride] is the destination's bytes per row, 0 for packed rows.
void ConvertPlanesToChunky(const uint8_t* planes, int32_t width, int32_t height,
                           int32_t planeCount, int32_t rowBytes, void* dest, int32_t destStride);

// Index bytes to 0x00RRGGBB words through a 256-entry [palette].
void ConvertHAM6ToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette,
                       int32_t width, int32_t height);
void ConvertHAM8ToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette,
                       int32_t width, int32_t height);
void ConvertIndexesToARGB(const uint8_t* chunky, uint32_t* out, const uint32_t* palette,
                          int32_t width, int32_t height);
