// The anim file dispatcher: sniffs a file and hands it to the GIF reader,
// the IFF ANIM reader or, for anything else, the platform's anim reader.
// The anim library opens a file here, asks for frames by number in any
// order and for each frame's delay, and closes the reader again.
#pragma once

#include <cstdint>

// Which reader serves an open anim.
enum : int32_t {
  ANIMREADER_IFF = 1,
  ANIMREADER_GIF = 2,
  ANIMREADER_PLATFORM = 3,
};

struct vkAnimReader {
  void* reader = nullptr;  // the record of the reader of [type]
  int32_t type = 0;
};

// Opens [name]: 0, 1045 (cannot be read), 1000 or 1356 (no reader takes
// it); the file name is the error text.
int32_t OpenAnimFile(const char* name, vkAnimReader** handle, int32_t* width, int32_t* height,
                     int32_t* frameCount);
// Frame [n] (0-based) as a new array of width x height words 0x00RRGGBB
// (freed with free()), or null; callers report null as error 1270.
uint32_t* ReadAnimFrame(vkAnimReader* handle, int32_t n);
// The delay of frame [n] in milliseconds (0 from the platform's reader).
int32_t GetAnimFrameDelay(vkAnimReader* handle, int32_t n);
void CloseAnimFile(vkAnimReader* handle);
// 1 when [name] opens as an anim of more than one frame, else 0.
int32_t IsAnimFile(const char* name);
