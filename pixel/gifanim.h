// The animated-GIF reader. Opening indexes the file once (every frame's
// delay, where its blocks start, and whether it can be drawn without its
// predecessors); frames are then composed on a canvas the size of the
// logical screen in any order, restarting from the nearest frame that
// covers the whole screen when asked to go back.
#pragma once

#include <cstdint>
#include <vector>

#include "io/filehandles.h"
#include "pixel/allocate.h"

struct vkGIFFrameEntry {
  uint32_t delay = 0;    // hundredths of a second
  uint8_t restart = 0;   // the frame can be decoded without its predecessors
  int64_t position = 0;  // where the blocks of this frame begin
};

// A disposal waiting to be applied to the canvas once the frame is copied.
struct vkGIFDisposal {
  int32_t mode = 0;  // 2: fill the area, 3: restore it from the saved area
  int32_t x1 = 0, y1 = 0, x2 = -1, y2 = -1;  // the image's area cut to the screen, inclusive
  uint32_t fill = 0;
};

struct vkGIFAnimReader {
  vkFilePtr file;
  int32_t width = 0, height = 0;  // the logical screen
  uint32_t globalPalette[256] = {};
  uint32_t localPalette[256] = {};
  const uint32_t* palette = globalPalette;  // the current one
  vkBufferPtr<uint32_t> canvas;  // the picture as composed so far
  vkBufferPtr<uint32_t> saved;   // areas of frames that restore to previous, made when first needed
  int32_t background = 0;
  int32_t nextFrame = -1;  // frames decoded since the last restart; -1 after opening
  int32_t frameCount = 0;
  int64_t firstFrame = 0;  // file position just behind the global table
  std::vector<vkGIFFrameEntry> frames;
  // The values of the graphic control extension before the current image.
  int32_t disposal = 0, delay = 0, transparent = -1;
  vkGIFDisposal pending;  // of the frame decoded last
};

// Opens [name]; with [sizeOnly] only the screen size is read and null is
// returned. Null when the file cannot be read, is no GIF, holds no image or
// a damaged one, or when memory runs out.
vkGIFAnimReader* OpenGIFAnim(const char* name, int32_t* width, int32_t* height, int32_t* frameCount,
                             bool sizeOnly);
// Frame [n] (0-based) as a new array of width x height words 0x00RRGGBB,
// freed with free(); null when it cannot be decoded (the reader stays usable).
uint32_t* ReadGIFAnimFrame(vkGIFAnimReader* reader, int32_t n);
// The delay of frame [n] in milliseconds.
int32_t GetGIFFrameDelay(const vkGIFAnimReader* reader, int32_t n);
void CloseGIFAnim(vkGIFAnimReader* reader);
