// The audio output: one mixer of 8 playback channels on the sound device,
// each fed by a sample in memory, a module rendered on the fly or a stream
// decoded ahead on a decode thread. The sound library registers what the
// output calls back (stream reads, module rendering, notifications) so that
// the platform never reaches into it. Main thread, except the mixer cycle.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/errorcodes.h"

// The script identifier of a sound, handed back with its notifications.
struct vkOSObjectId {
  int32_t number = 0;
  void* handle = nullptr;
};

// A sample in memory as the audio output plays it. PCM is host-endian.
struct vkSampleData {
  std::unique_ptr<uint8_t[]> data;
  int32_t bits = 0;           // 8 or 16
  int32_t bytesPerFrame = 0;  // channels x bits / 8
  int32_t channels = 0;       // 1 or 2
  int32_t flags = 0;          // bit 1: 8-bit data is signed; 16-bit data sets bits 0 and 1
  int64_t frames = 0;
};

inline constexpr int32_t kSoundFlagWide = 1;    // 16-bit data
inline constexpr int32_t kSoundFlagSigned = 2;  // signed samples

// Where the bytes of a sound file come from: a path or linked data, opened by
// the sound library and handed to the platform's file reader.
class vkOSByteSource {
 public:
  virtual ~vkOSByteSource() = default;
  // Reads up to [count] bytes at [offset]; returns how many were read.
  virtual int64_t ReadAt(int64_t offset, void* buffer, int64_t count) = 0;
  virtual int64_t Size() const = 0;
};

struct vkSound;

// A sound stream's reader: one per file format.
class vkSoundReader {
 public:
  virtual ~vkSoundReader() = default;
  // Reads up to [frames] frames of host-endian PCM into [buffer]; returns the
  // frames read and sets *[end] (may be NULL) when fewer remained than asked.
  virtual int64_t Read(vkSound* sound, void* buffer, int64_t frames, int* end) = 0;
  // Moves to [frame] when it lies before the end; otherwise nothing.
  virtual void Seek(vkSound* sound, int64_t frame) = 0;
  virtual const char* FormatName() const = 0;
};

// Sound format types.
inline constexpr int32_t kSoundType8SVX = 1;
inline constexpr int32_t kSoundType16SV = 2;
inline constexpr int32_t kSoundTypeWave = 3;
inline constexpr int32_t kSoundTypePlatform = 4;

// A sound file opened for reading, whole for a sample or piece by piece by
// the decode thread for a music. Words the main thread and the decode thread
// both touch while a stream plays are atomic.
struct vkSound {
  int32_t bits = 0;           // bits per sample of the file (0: compressed)
  int32_t pcmBits = 0;        // bits per sample of the PCM handed out (8 or 16)
  int32_t bytesPerFrame = 0;  // channels x pcmBits / 8
  int32_t channels = 0;
  int32_t flags = 0;          // kSoundFlag*
  int32_t rate = 0;           // frames per second
  int32_t compression = 0;    // the IFF compression byte
  int64_t dataSize = 0;       // bytes of sample data
  int64_t frames = 0;
  int64_t position = 0;       // next frame to read
  int64_t dataStart = 0;      // file offset of the first sample byte
  int64_t bytesReadLast = 0;
  int64_t framesReadLast = 0;
  int32_t formatType = 0;     // kSoundType*
  int32_t formatCode = -1;    // sample format code
  int32_t bitRate = 0;        // kbit/s, from the platform reader
  int32_t musicFlag = 0;      // opened as a music
  std::atomic<int64_t> positionMicros{0};  // position time while stopped
  std::atomic<int64_t> startMicros{0};     // wall-clock start of play; 0: not playing
  std::atomic<int64_t> elapsedMillis{0};
  std::unique_ptr<vkSoundReader> reader;
};

// Microseconds of the wall clock, as the stream times count them.
int64_t vkosWallMicros();

// What the audio output calls in the sound library. Set once before audio
// opens; the render and decode entries run on the audio and decode threads.
struct vkOSAudioServices {
  // Reads [frames] frames of [sound] (decode thread); returns frames read.
  int64_t (*readFrames)(vkSound* sound, void* buffer, int64_t frames, int* end) = nullptr;
  // Moves [sound] to [frame] and sets its position time (decode thread).
  void (*seekSound)(vkSound* sound, int64_t frame) = nullptr;
  // Renders [frames] stereo frames of host-endian signed 16-bit PCM at
  // 48,000 Hz (audio thread), after applying a pending jump.
  void (*renderModule)(void* module, int16_t* out, int32_t frames) = nullptr;
  // Rebuilds a stopped module from its data, so that it starts again.
  void (*rewindModule)(void* module) = nullptr;
  // Handed back to the two calls below: the library that took the output.
  void* owner = nullptr;
  // Forgets the current music (main thread, when a music ended).
  void (*resetMusicState)(void* owner) = nullptr;
  // Queues a notification for the event dispatcher (main thread).
  void (*postSoundEvent)(void* owner, int32_t type, int32_t idNumber, void* idHandle, int32_t a1, int32_t a2,
                         int32_t a3) = nullptr;
  // Which notifications the script wants (read on the audio thread).
  const std::atomic<int32_t>* wantSampleLoop = nullptr;
  const std::atomic<int32_t>* wantSampleEnd = nullptr;
  const std::atomic<int32_t>* wantMusicEnd = nullptr;
};

// Music kinds.
inline constexpr int32_t kMusicStream = 1;
inline constexpr int32_t kMusicModule = 2;

// Clears the channel table and takes the sound library's services; 0.
int vkosInitAudioChannels(const vkOSAudioServices& services);

// Opens the sound device (float stereo, 48,000 Hz asked, the device's rate
// taken) and starts the mixer on its callback; 0 or 1267. Opening twice is
// no error.
int vkosOpenAudio();
// Opens the mixer at [rate] without a device: the caller runs its cycles
// with vkosRenderAudio (benchmarks, tests, offline renders); 0 or 1267.
int vkosOpenAudioDetached(int32_t rate);
// 1 while the output is open, and its rate.
int vkosAudioIsOpen();
int32_t vkosAudioRate();
// One mixer cycle: [frames] interleaved stereo float frames into [out].
void vkosRenderAudio(float* out, int32_t frames);

// Stops the device; vkosCloseAudio then frees everything the output made.
void vkosStopAudio();
void vkosCloseAudio();

// Starts [sample] on a free channel, waiting for the group start: rate in
// Hz, volume 0..64, pan 0..255, a play time in ms or -1, times (0: until
// stopped). 0, 1280 or 1289.
int vkosPlaySample(const vkSampleData* sample, vkOSObjectId id, int32_t rate, int32_t volume, int32_t pan,
                   int32_t playTime, int32_t times);
// Samples started between these two begin in the same cycle; a group that
// failed half-way is cancelled, freeing the channels it took.
void vkosBeginSampleGroup();
int vkosStartSampleGroup();
void vkosCancelSampleGroup();

// Starts a music: a stream (kind 1, a vkSound) or a module (kind 2, the
// sound library's module record). 0, 1000, 1280, 1287 or 1289.
int vkosPlayMusic(int32_t kind, void* object, vkOSObjectId id, int32_t loopsWanted, int32_t loopsDone,
                  int32_t volume);
// Stops every channel playing [sample]; NULL stops every sample channel.
void vkosStopSample(const vkSampleData* sample);
// Stops a music; with [keepPosition] a stream keeps its place (reported in
// *[loopsDone] and *[position], either may be NULL) and a module is not
// rewound. 0.
int vkosStopMusic(int32_t kind, void* object, int keepPosition, int32_t* loopsDone, int64_t* position);
// Applies rate (Hz, -1 unchanged), volume and pan to every channel of [sample].
void vkosSetSampleVolume(const vkSampleData* sample, int32_t rate, int32_t volume, int32_t pan);
void vkosSetMusicVolume(int32_t kind, void* object, int32_t volume);
// Milliseconds into the current pass and passes done before it, of the first
// channel of [sample]; nothing when none plays it.
void vkosGetSampleProgress(const vkSampleData* sample, int32_t* millis, int32_t* loops);
int vkosIsSamplePlaying(const vkSampleData* sample);
// [module] when a channel plays it, else NULL.
void* vkosFindModuleChannel(void* module);
// Moves a stream to [millis]; 0.
int vkosSeekMusic(int32_t kind, vkSound* sound, int32_t millis);
void vkosSetMasterVolume(int32_t volume);

// Moves the notifications the mixer left over to the sound library.
void vkosDeliverAudioNotifications();
// Delivers notifications, then frees the channels whose sound has ended.
void vkosAudioHousekeeping();
// Set by the mixer when a notification waits; the pump's ticker reads and
// clears it to wake the main thread.
bool vkosTakeAudioWake();
// Makes the audio output's record; the platform's start calls it before any
// other thread may look at the record.
void vkosPrepareAudio();
