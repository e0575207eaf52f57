// The Protracker module replayer: 4 channels and 31 samples, the song run by
// orders, rows and ticks with the effect commands, mixed at twice the output
// rate in 18.14 fixed point, optionally low-pass filtered, clipped and
// averaged down to 16-bit stereo. The render runs on the audio thread; the
// main thread only reads the song position and row and asks for jumps.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// One sample header, lengths in bytes as 18.14 fixed point.
struct vkModSample {
  char name[23] = {};
  const int8_t* data = nullptr;  // into the module's file data
  int64_t length = 0;
  int64_t loopStart = 0;
  int64_t loopLength = 0;
  int64_t loopEnd = 0;
  int32_t finetune = 0;  // 0..15
  int32_t volume = 0;
};

// One unpacked pattern cell.
struct vkModCell {
  int32_t period = 0;
  int32_t sample = 0;
  uint8_t effect = 0, x = 0, y = 0, param = 0;
};

// One of the four replay channels.
struct vkModChannel {
  int32_t sample = 0;
  int32_t remembered = 0;     // the last sample number given
  int64_t position = -1;      // 18.14 bytes; -1 silent
  int32_t period = 0;
  int64_t step = 0;           // 18.14 per internal sample
  int64_t offset = 0;         // the last 9xx offset, 18.14
  int32_t slideDelta = 0;
  int32_t volume = 0;
  int32_t prevVolume = 0;
  int32_t outVolume = 0;
  int32_t volumeSlide = 0;
  int32_t panning = 0;        // 0..255
  int32_t finetune = 0;
  int32_t skipTick = 0;       // leave this tick's effects out
  int32_t portaRunning = 0;
  int32_t portaSpeed = 0;
  int32_t targetPeriod = 0;
  int32_t outPeriod = 0;
  int32_t retrigInterval = 0;
  int32_t cutCountdown = 0;
  int32_t retrigCountdown = 0;
  int32_t arpeggio = 0;
  int32_t noteIndex = 0;
  int32_t vibratoSpeedMemory = 0, vibratoDepth = 0, vibratoSpeed = 0, vibratoPosition = 0;
  int32_t tremoloSpeedMemory = 0, tremoloDepth = 0, tremoloSpeed = 0, tremoloPosition = 0;
  int32_t vibratoWave = 0, tremoloWave = 0;
  int32_t funkSpeed = 0, funkCounter = 0, funkOffset = 0;
  int32_t glissando = 0;
  int32_t deferredSample = 0;
  int32_t loopRow = 0, loopCount = 0, loopState = 0;
  // Effects of the current row.
  bool vibratoOn = false, tremoloOn = false, arpeggioOn = false, retrigOn = false, cutOn = false;
};

inline constexpr uint32_t kModSilenceAfterEnd = 1;  // render silence once the song ended
inline constexpr uint32_t kModObeyFilter = 4;       // E0x switches the filter
inline constexpr uint32_t kModWrapped = 8;          // the song wrapped or jumped backward

struct vkModule {
  char title[21] = {};
  int32_t patterns = 0;
  int32_t songLength = 0;
  vkModSample samples[32];
  vkModChannel channels[4];
  std::vector<vkModCell> cells;  // 64 rows x 4 channels per pattern
  uint8_t order[128] = {};
  uint32_t flags = 0;
  int32_t internalRate = 0;
  int32_t volume = 256;
  std::atomic<int32_t> songPosition{0};  // read by the main thread
  std::atomic<int32_t> row{0};
  int32_t speed = 6, bpm = 125;
  int32_t samplesPerTick = 0, sampleCounter = 0;
  int32_t tick = 0, patternDelay = 0;
  int32_t breakRow = -1, jumpPosition = -1, loopJumpRow = -1;
  int32_t filterOn = 0;
  int32_t endCount = 0;
  float filterA = 0, filterC = 0;
  float filterState[2][4] = {};  // per output: x1, y1, y1 of the second stage's input, y2
  std::vector<int8_t> fileData;  // the module file, samples used in place
  std::atomic<int32_t> jumpPending{0};  // stored last, with release
  std::atomic<int32_t> jumpSongPosition{0};
  std::atomic<int32_t> jumpRow{0};
};

inline constexpr int32_t kModuleOutputRate = 48000;

// 1 when [data] has "M.K." at offset 1080.
bool IsModuleData(const uint8_t* data, int64_t size);
// Bytes a module record of this data needs, as the original layout had it:
// (highest order entry + 1) x 3072 + 2916; 0 when the data is too short.
int64_t ModuleRecordBytes(const uint8_t* data, int64_t size);
// Builds [module] from [module->fileData] for [outputRate]: true, or false
// when the data is too short for its patterns.
bool CreateModuleFromMemory(vkModule* module, int32_t outputRate);
// Renders [frames] interleaved stereo frames of signed 16-bit PCM.
void RenderModuleFrames(vkModule* module, int16_t* out, int32_t frames);
// Applies a jump the main thread asked for (audio thread, before a render).
void ApplyModuleJump(vkModule* module);
// Asks the module to jump to [songPosition], row 0, at its next render.
void RequestModuleJump(vkModule* module, int32_t songPosition);
