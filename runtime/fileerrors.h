// The numbered error codes that the file layer returns: platform file
// operations, buffered files, linked-file names and pack files. Each code is
// the system's catalog number; the message text lives in the catalog.
#pragma once

#include <cstdint>

namespace vkfile {
inline constexpr uint32_t kErrOutOfMemory = 1000;    // "Out of memory!"
inline constexpr uint32_t kErrShortWrite = 1005;     // not all characters written
inline constexpr uint32_t kErrShortRead = 1009;      // not all characters read
inline constexpr uint32_t kErrCannotRead = 1045;     // "Cannot read file %s !"
inline constexpr uint32_t kErrCannotWrite = 1052;    // "Cannot write to file %s !"
inline constexpr uint32_t kErrBadArguments = 1055;   // bad argument line for a program
inline constexpr uint32_t kErrMakeDir = 1084;        // "Error creating directory %s !"
inline constexpr uint32_t kErrUnknownCode = 1091;    // "Unknown error code!"
inline constexpr uint32_t kErrNotDirectory = 1250;   // "%s is not a directory!"
inline constexpr uint32_t kErrZlibIo = 1306;         // "A zlib IO error occurred!"
inline constexpr uint32_t kErrZlibStream = 1307;     // "A zlib stream error occurred!"
inline constexpr uint32_t kErrZlibVersion = 1308;    // "Invalid zlib version detected!"
inline constexpr uint32_t kErrZlibData = 1309;       // "Invalid or incomplete deflate data (zlib)!"
inline constexpr uint32_t kErrUnknownFormat = 1310;  // "Unknown compression format!"
}  // namespace vkfile
