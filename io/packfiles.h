// Pack files: a whole file compressed with zlib behind a 4-byte magic and four
// zero bytes. "VKPK" packs are what scripts make and unpack; a packed applet
// is the same format with the magic "VKZ" and a zero byte, unpacked into an
// owned temporary file. Also the inflation of a gzip member held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/tempfile.h"

inline constexpr char kPackMagic[4] = {'V', 'K', 'P', 'K'};
inline constexpr char kPackedAppletMagic[4] = {'V', 'K', 'Z', 0};

// Writes [destination] as a pack of [source] with the 4-byte [magic].
// Returns 0 or an error code (1045/1052 with the file name as error text,
// 1005, 1009, zlib errors); *[outSize] (when given) receives the pack's size.
uint32_t CompressToPack(const char* magic, const char* source, const char* destination,
                        int64_t* outSize);

// Checks the 4-byte [magic] at [offset] in [source] (1310 when it differs),
// skips the 4 bytes after it and inflates the rest into [destination].
// Returns 0 or an error code; a failed inflation leaves what was written.
// *[outSize] (when given) receives the number of bytes written.
uint32_t DecompressPack(const char* magic, const char* source, const char* destination,
                        int64_t offset, int64_t* outSize);

// Unpacks the packed applet at [offset] in [source] into a new temporary file
// owned by [out]. On an error [out] holds nothing and no file is left.
uint32_t UnpackPackedApplet(const char* source, int64_t offset, vkTempFile* out);

// Inflates the gzip member [input] of [size] bytes into [out]. Every header
// field is checked against the input, and the output may not grow past the
// length the trailer states, which it must reach exactly. Returns 0, 1310
// when the input is not a deflate gzip member, 1309 for a damaged one, 1000.
uint32_t InflateGzipMemory(const uint8_t* input, size_t size, std::vector<uint8_t>* out);
