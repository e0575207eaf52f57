// The AVI writer: anims and recordings saved as OpenDML AVI files with one
// silent 44,100 Hz 16-bit stereo PCM stream and one Motion-JPEG stream,
// standard indexes per RIFF, super indexes in the header, a legacy idx1
// index for the first RIFF and further "AVIX" RIFFs as the file grows.
// Frames are encoded through a JPEG encoder the caller hands in (the
// platform's, in the player); the mouse pointer may be painted into them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "io/filehandles.h"
#include "pixel/allocate.h"
#include "pixel/resample.h"

struct vkBitMap;

// Encodes [pixels] (words 0x00RRGGBB, [rowBytes] bytes per row: B, G, R, X in
// memory) as a JFIF JPEG of [quality] into [out]; 0 or an error code.
using vkJpegEncoder = std::function<int(const uint32_t* pixels, int32_t rowBytes, int32_t width, int32_t height,
                                        int32_t quality, std::vector<uint8_t>* out)>;

// Where the pointer stands inside the frame, and whether it shows and is busy.
struct vkAviPointerState {
  bool visible = false, busy = false;
  int32_t x = 0, y = 0;
};

// Writer flags.
enum : int32_t {
  AVIWRITER_STATUSFILE = 4,  // write the status text to the status file at close
};

// One pointer picture: ARGB pixels with an alpha plane.
struct vkAviPointerPicture {
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> alpha;
  int32_t width = 0, height = 0;
  int32_t hotX = 0, hotY = 0;
};

// A super-index entry, and a standard-index entry relative to its RIFF.
struct vkAviSuperEntry {
  uint64_t offset = 0;
  uint32_t size = 0, duration = 0;
};
struct vkAviIndexEntry {
  uint32_t offset = 0, size = 0;
};

inline constexpr int32_t kAviSuperSlots = 1022;
inline constexpr int32_t kAviIndexEntries = 2044;

struct vkAviWriter {
  vkFilePtr file;
  std::string path;
  std::vector<uint8_t> idx1;        // the legacy index of the first RIFF, collected until it is written
  uint32_t totalFrames = 0, framesInRiff = 0;
  int32_t width = 0, height = 0, frameRate = 0, quality = 0, flags = 0;
  bool smooth = false;
  bool repaintRequest = false;      // the next timed write first repaints the display
  uint64_t videoBytes = 0;          // sum of padded video chunk sizes
  uint32_t videoBytesInRiff = 0, largestVideoChunk = 0;
  uint32_t frameDuration = 0;       // microseconds per frame
  std::vector<uint8_t> jpeg;        // the last encoded frame
  uint32_t audioFramesPerFrame = 0, audioFramesInRiff = 0, totalAudioFrames = 0;
  std::vector<uint8_t> silence;     // one frame's audio
  std::string title;
  int64_t videoSeconds = 0, videoMicroseconds = 0;  // time written so far
  int64_t secondsPerFrame = 0, microsecondsPerFrame = 0;
  int32_t slotsUsed = 0;            // super-index entries in use (both streams alike)
  vkAviSuperEntry videoSuper[kAviSuperSlots], audioSuper[kAviSuperSlots];
  int32_t entries = 0;              // in the current standard indexes
  uint32_t indexPairsInRiff = 0;
  vkAviIndexEntry videoIndex[kAviIndexEntries], audioIndex[kAviIndexEntries];
  uint64_t pendingBase = 0;         // the RIFF the pending standard indexes belong to
  uint64_t riffLimit = 1000000000;         // of the current RIFF
  uint64_t laterRiffLimit = 2000000000;    // of each RIFF after the first
  uint64_t riffStart = 0, moviStart = 0;
  bool inFirstRiff = true;
  bool failed = false;              // sticky: a write or seek of the file failed
  std::string statusText, statusFile;
  bool pointerOverlay = false;
  vkAviPointerPicture pointers[2];  // arrow, busy
  std::vector<uint32_t> underPointer;
  vkScaleTables scaleTables;
  vkJpegEncoder encode;
  // Hooks of the display code: the pointer's state, and the repaint of the
  // current display before a timed write. Either may be empty.
  std::function<vkAviPointerState()> pointerState;
  std::function<void()> repaint;
};

// Opens [path] for a [width] x [height] video at [frameRate] frames a
// second (a divisor of 44,100 up to 1,000,000). Returns 0, 1055 (rate or
// size), 1000 or 1052 (the file cannot be written; the path is the error text).
int32_t OpenAviWriter(const char* path, int32_t frameRate, int32_t flags, int32_t width, int32_t height,
                      int32_t quality, bool smooth, bool pointerOverlay, const char* title, const char* statusFile,
                      vkJpegEncoder encoder, vkAviWriter** writer);

// Writes one frame: [frame] scaled to the video size when its size differs,
// or, without a frame, the previous picture again. Returns 0, 1000, 1052
// (the file cannot be written, or the file's index slots are used up),
// 1152, or the encoder's error.
int32_t WriteAviFrame(vkAviWriter* writer, vkBitMap* frame, int32_t sourceWidth, int32_t sourceHeight,
                      int32_t unused, bool keepSource);

// Writes the frames that [elapsedMs] milliseconds take, repeating the last
// picture; with 0 milliseconds one frame when [atLeastOne] is set.
int32_t WriteAviFramesForTime(vkAviWriter* writer, int32_t elapsedMs, bool atLeastOne);

// Completes the indexes and headers, closes the file and frees the writer:
// 0, or 1052 when anything of the file could not be written.
int32_t CloseAviWriter(vkAviWriter* writer);

// Closes the output without completing it and frees the writer.
void FreeAviWriter(vkAviWriter* writer);
