// The IFF ANIM reader for vertical byte-run deltas (operation 5): the first
// frame is an ILBM picture decoded with the ILBM reader's plane decoders,
// each further frame a delta applied to one of two plane buffers (two
// frames back) or, interleaved by one, XORed into a single buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "io/filehandles.h"
#include "pixel/allocate.h"

struct vkIFFAnimReader {
  vkFilePtr file;
  int64_t fileSize = 0;
  vkBufferPtr<uint8_t> firstPlanes;  // the first frame, planes as the ILBM reader lays them out
  vkBufferPtr<uint8_t> chunky;       // width x height indexes
  uint32_t palette[256] = {};
  uint32_t firstPalette[256] = {};
  int32_t frameCount = 0;
  int32_t nextFrame = 0;  // frames produced since the last restart
  int32_t width = 0, height = 0, planes = 0, compression = 0, masking = 0;
  bool halfBrite = false, ham6 = false, ham8 = false;
  int64_t firstDelta = 0;             // file position of the first delta FORM
  vkBufferPtr<uint8_t> buffers[2];    // the two plane buffers
  int32_t current = 0;                // the buffer that receives the next delta
  std::vector<uint32_t> delays;       // per frame, in sixtieths of a second
};

// Opens [name]; null when it cannot be read, is no operation-5 ANIM of at
// least two frames, is damaged, or memory runs out.
vkIFFAnimReader* OpenIFFAnim(const char* name, int32_t* width, int32_t* height, int32_t* frameCount);
// Frame [n] (0-based) as a new array of width x height words 0x00RRGGBB,
// freed with free(); null when it cannot be decoded (the reader stays usable).
uint32_t* ReadIFFAnimFrame(vkIFFAnimReader* reader, int32_t n);
// The delay of frame [n] in milliseconds.
int32_t GetIFFAnimFrameDelay(const vkIFFAnimReader* reader, int32_t n);
void CloseIFFAnim(vkIFFAnimReader* reader);
