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

// The dos library's file handles, serialised tables and functions, and its
// directory and attribute commands.
inline constexpr uint32_t kErrObjectNotFound = 1041;    // "Requested object not found!"
inline constexpr uint32_t kErrStackOverflow = 1135;     // "Stack overflow!": nesting too deep
inline constexpr uint32_t kErrReadOnly = 1141;          // "File was opened in read-only mode!"
inline constexpr uint32_t kErrWriteOnly = 1142;         // "File was opened in write-only mode!"
inline constexpr uint32_t kErrDeleteFile = 1143;        // "Could not delete file!"
inline constexpr uint32_t kErrExamine = 1144;           // "Could not examine %s!"
inline constexpr uint32_t kErrRename = 1145;            // "Could not rename file!"
inline constexpr uint32_t kErrNoFileHandle = 1179;      // "Could not find file handle %ld!"
inline constexpr uint32_t kErrPastEnd = 1242;           // "Cannot read beyond end of file!"
inline constexpr uint32_t kErrLengthTooLong = 1245;     // "Specified length exceeds string length!"
inline constexpr uint32_t kErrSeekPosition = 1076;      // "Invalid seek position specified!"
inline constexpr uint32_t kErrSetAttributes = 1282;     // "Error setting file attributes!"
inline constexpr uint32_t kErrSetDate = 1283;           // "Error setting file date!"
inline constexpr uint32_t kErrDateFormat = 1285;        // "Invalid date format specification!"
inline constexpr uint32_t kErrLock = 1286;              // "Error locking %s!"
inline constexpr uint32_t kErrNoDirHandle = 1318;       // "Could not find directory handle %ld!"
inline constexpr uint32_t kErrNoFunctionRecord = 1322;  // "Cannot find Vellumark function at this offset!"
inline constexpr uint32_t kErrBase64 = 1323;            // "Invalid Base64 encoding!"
inline constexpr uint32_t kErrNoTableRecord = 1328;     // "Cannot find Vellumark table at this offset!"

// Picture files that the pixel engine reads itself.
inline constexpr uint32_t kErrUnknownPicture = 1358;  // "Image file "%s" is in an unknown/unsupported format!"
}  // namespace vkfile
