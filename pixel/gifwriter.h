// The GIF89a writer for pictures and anims. Callers reduce their pixels to
// indexes and a palette with QuantizeColors, open a writer, write one frame
// per picture (each with its own local colour table) and close it. Frames of
// an anim can be cut to the rectangle that changed since the frame before,
// with the unchanged pixels inside it left transparent.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pixel/allocate.h"
#include "io/filehandles.h"

struct vkGIFWriter {
  vkFilePtr file;
  uint32_t framesWritten = 0;
  vkBufferPtr<uint8_t> previous;   // the last frame's indexes, kept for the changed rectangle
  vkBufferPtr<uint8_t> frameCopy;  // the changed rectangle of a frame before transparent substitution
  uint32_t previousPalette[256] = {};
  int32_t width = 0, height = 0;   // the screen
  bool writeFailed = false;        // sticky: a byte could not be written
  std::string name;                // the file name, for the error text
};

// Allocates a writer, creates the file [name] and writes the header of a
// [width] x [height] screen. Returns 0, 1000, or 1052 with the file name as
// error text when the file cannot be created or the size does not fit.
uint32_t OpenGIFWriter(const char* name, int32_t width, int32_t height, vkGIFWriter** writer);

// Writes one frame of [indexes] (row length = [width]). [palette] has 256
// words 0x00RRGGBB; entries from [colours] (1..256) on are set to 0xFFFFFFFF.
// [delay] is in milliseconds. [transparent] is the transparent index or -1,
// in which case the last index (colours - 1) is marked transparent. With
// [changedOnly] and no transparent index, a frame after the first is cut to
// the rectangle that changed and its unchanged pixels there are replaced, in
// [indexes], by colours - 1. Returns 0, 1000, or 1052 when a byte of the
// file could not be written (with the file name as error text).
uint32_t WriteGIFFrame(vkGIFWriter* writer, uint8_t* indexes, int32_t width, int32_t height, int32_t delay,
                       uint32_t* palette, int32_t colours, int32_t transparent, int32_t changedOnly);

// Writes the trailer, closes the file and frees the writer. Returns 0, or
// 1052 when the file could not be written completely.
uint32_t CloseGIFWriter(vkGIFWriter* writer);
