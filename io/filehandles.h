// Buffered file handles, the one file abstraction under every reader and
// writer of the player. A handle wraps a C stream and keeps its own 64-bit
// position; it also opens "PROGDIR:" names (the executable's folder) and
// read-only linked files (":::chunk" names) that address a byte range of a
// container file or a registered block of memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct vkFile {
  FILE* stream = nullptr;              // NULL for a memory chunk
  uint32_t isChunk = 0;                // 1 for any ":::chunk" name
  int64_t chunkBase = 0;               // offset of the chunk's first byte in its container
  int64_t size = 0;                    // readable bytes; -1 when opened to write or update
  int64_t position = 0;                // relative to the chunk base
  uint32_t lastOpWrite = 0;            // the last data operation was a write
  const uint8_t* memoryBase = nullptr; // a memory chunk's data
  uint32_t pastEnd = 0;                // sticky: a read asked for bytes past the end
};

// Closes the stream and frees [file]: 1, or 0 when closing the stream failed.
int CloseStream(vkFile* file);

struct vkFileDeleter {
  void operator()(vkFile* file) const { CloseStream(file); }
};
using vkFilePtr = std::unique_ptr<vkFile, vkFileDeleter>;

// Open modes.
inline constexpr int VKFILE_READ = 0;
inline constexpr int VKFILE_WRITE = 1;
inline constexpr int VKFILE_UPDATE = 2;  // read and write; a missing file is created

// Seek origins: the handle's own order, not the C library's.
inline constexpr int VKSEEK_CURRENT = 0;
inline constexpr int VKSEEK_START = 1;
inline constexpr int VKSEEK_END = 2;

// Opens [name] (ISO 8859-1) with [mode]. NULL when it cannot be opened, when
// a chunk name is malformed or names unregistered memory, and when a chunk is
// opened for anything but reading.
vkFilePtr OpenStream(const char* name, int mode);

// Moves to [offset] from [whence]; returns the position before the call, so
// (0, VKSEEK_CURRENT) tells the position. A chunk's position stays within
// 0..size; a failed seek of the stream leaves the position as it was.
int64_t SeekStream(vkFile* file, int64_t offset, int whence);

// Reads up to [count] bytes; returns how many were read. A short read sets
// the sticky pastEnd flag.
uint32_t ReadStream(vkFile* file, void* buffer, uint32_t count);
uint32_t ReadStreamBytes(vkFile* file, void* buffer, uint32_t count);
// The next byte (0-255), or -1 at the end of the chunk or file (which sets
// pastEnd and leaves the position).
int ReadStreamByte(vkFile* file);

// Writes [count] bytes; returns how many were written.
uint32_t WriteStream(vkFile* file, const void* buffer, uint32_t count);
uint32_t WriteStreamBytes(vkFile* file, const void* buffer, uint32_t count);
// Writes one byte: the byte written, or EOF when it failed.
int WriteStreamByte(vkFile* file, int byte);

// Flushes the stream when there is one; always 1.
int FlushStream(vkFile* file);
// 1 when the position has reached the size (always for write and update handles).
int StreamAtEnd(const vkFile* file);
