// The audio output on SDL's audio device in callback mode. Each callback runs
// one cycle of our mixer: up to 8 channels, each converting its source to
// float stereo with linear-interpolation resampling, scaled by the cube root
// of its volume and balanced by its pan. The cycle only ever tries locks; the
// notifications it observes go through a single-producer ring to the main
// thread. A streamed music is decoded a second ahead on one decode thread.
#include "platform/vkos_audio.h"

#include <SDL.h>
#include <pthread.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "platform/linux/platform_state.h"

namespace {

constexpr int kChannels = 8;
constexpr int32_t kAskedRate = 48000;
constexpr int32_t kModuleRate = 48000;
constexpr int32_t kModuleBufferFrames = 48000;  // 192,000 bytes of 16-bit stereo
constexpr int kScratchFrames = 256;
constexpr uint64_t kOne = uint64_t{1} << 32;  // 32.32 source-frame steps

enum : int32_t { kFree = 0, kWaiting = 1, kSample = 2, kModule = 3, kStream = 4 };

// PCM handed to a converter: host-endian, 8 or 16 bits, 1 or 2 channels.
struct vkPcmFormat {
  int32_t bits = 16;
  int32_t channels = 2;
  bool isSigned = true;
  int32_t BytesPerFrame() const { return bits / 8 * channels; }
};

// Converts one channel's source to float stereo at the output rate. The
// source hands out blocks of frames; the converter keeps its place in the
// current block across cycles.
struct vkConverter {
  vkPcmFormat format;
  uint64_t step = kOne;       // source frames per output frame, 32.32
  uint64_t phase = 2 * kOne;  // position past [prev], two frames to load first
  float prev[2] = {0, 0};
  float next[2] = {0, 0};
  const uint8_t* in = nullptr;  // the block being consumed
  int64_t inFrames = 0;
  float scratch[kScratchFrames * 2];
  int scratchPos = 0, scratchCount = 0;

  bool Buffered() const { return scratchPos < scratchCount || inFrames > 0; }

  // Decodes up to a scratch's worth of the current block.
  void Refill() {
    const int n = static_cast<int>(std::min<int64_t>(inFrames, kScratchFrames));
    const int ch = format.channels;
    float* out = scratch;
    if (format.bits == 16) {
      const auto* p = reinterpret_cast<const int16_t*>(in);
      for (int i = 0; i < n * ch; i++) out[i] = p[i] * (1.0f / 32768);
    } else if (format.isSigned) {
      const auto* p = reinterpret_cast<const int8_t*>(in);
      for (int i = 0; i < n * ch; i++) out[i] = p[i] * (1.0f / 128);
    } else {
      for (int i = 0; i < n * ch; i++) out[i] = (in[i] - 128) * (1.0f / 128);
    }
    if (ch == 1) {
      for (int i = n - 1; i >= 0; i--) out[2 * i] = out[2 * i + 1] = out[i];
    }
    in += static_cast<int64_t>(n) * format.BytesPerFrame();
    inFrames -= n;
    scratchPos = 0;
    scratchCount = n;
  }
};

// A notification the mixer observed, for the main thread.
struct vkAudioNote {
  int32_t type = 0;  // 5 sample end, 6 sample loop, 7 music end
  bool post = true;  // a music end always resets the music; posted when wanted
  vkOSObjectId id;
  int32_t a1 = 0, a2 = 0, a3 = 0;
};

// Single producer (the mixer), single consumer (the main thread).
class vkNoteRing {
 public:
  bool Push(const vkAudioNote& note) {
    const uint32_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) >= kSize) return false;
    slots_[head % kSize] = note;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }
  bool Pop(vkAudioNote* note) {
    const uint32_t tail = tail_.load(std::memory_order_relaxed);
    if (tail == head_.load(std::memory_order_acquire)) return false;
    *note = slots_[tail % kSize];
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  void Clear() { tail_.store(head_.load()); }

 private:
  static constexpr uint32_t kSize = 256;
  std::array<vkAudioNote, kSize> slots_;
  std::atomic<uint32_t> head_{0}, tail_{0};
};

struct vkAudioChannel {
  int32_t kind = kFree;
  const vkSampleData* sample = nullptr;
  void* module = nullptr;
  vkSound* stream = nullptr;
  vkOSObjectId id;
  vkConverter converter;
  bool loopRestarted = false;
  bool ended = false;
  bool finished = false;  // the end went through the mixer; housekeeping frees it
  int32_t passMillis = 0;
  int64_t position = 0;  // next frame of the sample
  int32_t loopsDone = 0;
  int32_t loopsWanted = 0;
  int64_t endFrame = 0;
  int32_t remainder = 0;
  int64_t startMicros = 0;
  std::vector<int16_t> renderBuffer;
  float gainLeft = 1, gainRight = 1;
};

// The one stream decoder: two halves of up to a second each, filled ahead.
struct vkStreamDecoder {
  std::mutex mutex;
  std::condition_variable wake;
  bool handOver = false;  // guarded by the mutex
  bool quit = false;
  std::thread thread;
  int channel = -1;
  int64_t halfFrames = 0;
  std::vector<uint8_t> halves[2];
  std::atomic<int64_t> valid[2] = {0, 0};
  std::atomic<int32_t> writeSel{0};  // 0: the decoder fills the second half next, 1: the first
  int32_t readSel = 1;               // 1: the mixer hands out the first half next (mixer only)
  std::atomic<int32_t> lastHalf{-1};  // the half that holds the last data, -1 none yet
  std::atomic<int32_t> endState{0};   // 0 decoding, 2 the last half was handed out
  std::atomic<bool> retry{false};
  std::atomic<int32_t> loopsDone{0};
  int32_t loopsWanted = 0;
};

}  // namespace

// Everything the audio output owns: one record for the program.
struct vkAudioOutput {
  vkOSAudioServices services;
  std::recursive_mutex channelMutex;
  vkAudioChannel channels[kChannels];
  vkStreamDecoder decoder;
  vkNoteRing notes;
  std::atomic<bool> wakeWanted{false};
  SDL_AudioDeviceID device = 0;
  bool open = false;
  bool sdlAudioStarted = false;
  int32_t rate = 0;
  std::vector<float> channelBuffer;
};

void vkAudioOutputDeleter::operator()(vkAudioOutput* output) const { delete output; }

namespace {

vkAudioOutput& Output() {
  if (!gPlatform.audio) gPlatform.audio.reset(new vkAudioOutput);
  return *gPlatform.audio;
}

int64_t NowMicros() { return vkosWallMicros(); }

void SetGains(vkAudioChannel& c, int32_t volume, int32_t pan) {
  const float gain = std::cbrt(std::clamp(volume, 0, 64) / 64.0f);
  const float p = pan == 128 ? 0.5f : std::clamp(pan, 0, 255) / 255.0f;
  c.gainLeft = gain * std::min(1.0f, 2 * (1 - p));
  c.gainRight = gain * std::min(1.0f, 2 * p);
}

// Sets up [c]'s converter from [format] at [rate] Hz; false when it cannot convert.
bool MakeConverter(vkAudioChannel& c, const vkPcmFormat& format, int32_t rate, int32_t outputRate) {
  if (rate < 1 || outputRate < 1) return false;
  if (format.channels != 1 && format.channels != 2) return false;
  if (format.bits != 8 && format.bits != 16) return false;
  c.converter = vkConverter{};
  c.converter.format = format;
  c.converter.step = (static_cast<uint64_t>(rate) << 32) / static_cast<uint64_t>(outputRate);
  return true;
}

void ClearChannel(vkAudioChannel& c) { c = vkAudioChannel{}; }

// Finds the first free channel, or -1.
int FreeChannel(vkAudioOutput& out) {
  for (int i = 0; i < kChannels; i++)
    if (out.channels[i].kind == kFree) return i;
  return -1;
}

// The source's next block for channel [i], at most [want] frames; false
// when it has none now.
bool Input(vkAudioOutput& out, int index, int64_t want) {
  vkAudioChannel& c = out.channels[index];
  vkConverter& cv = c.converter;
  cv.in = nullptr;
  cv.inFrames = 0;
  if (c.ended) return false;
  if (c.kind == kModule) {
    const int32_t frames = static_cast<int32_t>(std::clamp<int64_t>(want, 1, kModuleBufferFrames));
    out.services.renderModule(c.module, c.renderBuffer.data(), frames);
    cv.in = reinterpret_cast<const uint8_t*>(c.renderBuffer.data());
    cv.inFrames = frames;
    return true;
  }
  if (c.kind == kStream) {
    vkStreamDecoder& d = out.decoder;
    if (d.endState.load() == 2) {
      c.ended = true;
      return false;
    }
    if (d.readSel == d.writeSel.load(std::memory_order_acquire)) return false;  // the decoder is late
    const int half = d.readSel == 1 ? 0 : 1;
    cv.in = d.halves[half].data();
    cv.inFrames = d.valid[half].load();
    d.readSel ^= 1;
    if (d.lastHalf.load() == half) {
      d.endState.store(2);
    } else if (d.mutex.try_lock()) {
      d.handOver = true;
      d.wake.notify_one();
      d.mutex.unlock();
      d.retry.store(false);
    } else {
      d.retry.store(true);
    }
    return cv.inFrames > 0;
  }
  // A sample: up to its end, or the end frame on the last pass.
  const vkSampleData* s = c.sample;
  const int64_t limit = c.loopsDone == c.loopsWanted ? c.endFrame : s->frames;
  const int64_t n = std::max<int64_t>(0, std::min(want, limit - c.position));
  if (n > 0) {
    cv.in = s->data.get() + c.position * s->bytesPerFrame;
    cv.inFrames = n;
  }
  c.position += n;
  if (c.position >= s->frames) {
    if (c.loopsDone != c.loopsWanted) {
      c.position = 0;
      c.loopRestarted = true;
      c.loopsDone++;
    } else {
      c.ended = true;
    }
  } else if (c.position >= c.endFrame && c.loopsDone == c.loopsWanted) {
    c.ended = true;
  }
  return n > 0;
}

// Pulls the next source frame into the converter's [next]; false when the
// source has nothing now.
inline bool Pull(vkAudioOutput& out, int index, int64_t want) {
  vkConverter& cv = out.channels[index].converter;
  if (cv.scratchPos == cv.scratchCount) {
    if (cv.inFrames == 0) {
      // A sample may give 0 frames at a pass boundary: ask again once.
      if (!Input(out, index, want) && !Input(out, index, want)) return false;
    }
    cv.Refill();
    if (cv.scratchCount == 0) return false;
  }
  cv.next[0] = cv.scratch[2 * cv.scratchPos];
  cv.next[1] = cv.scratch[2 * cv.scratchPos + 1];
  cv.scratchPos++;
  return true;
}

// Converts up to [frames] frames of channel [index] into [buf]; the rest
// stays silent.
void Convert(vkAudioOutput& out, int index, float* buf, int32_t frames) {
  vkConverter& cv = out.channels[index].converter;
  for (int32_t j = 0; j < frames; j++) {
    while (cv.phase >= kOne) {
      cv.prev[0] = cv.next[0];
      cv.prev[1] = cv.next[1];
      const int64_t want = static_cast<int64_t>(((frames - j) * cv.step + cv.phase) >> 32) + 1;
      if (!Pull(out, index, std::min<int64_t>(want, kScratchFrames))) {
        // Nothing to play now: keep the place and try again next cycle.
        cv.next[0] = cv.prev[0];
        cv.next[1] = cv.prev[1];
        return;
      }
      cv.phase -= kOne;
    }
    const float frac = static_cast<float>(cv.phase) * (1.0f / 4294967296.0f);
    buf[2 * j] = cv.prev[0] + (cv.next[0] - cv.prev[0]) * frac;
    buf[2 * j + 1] = cv.prev[1] + (cv.next[1] - cv.prev[1]) * frac;
    cv.phase += cv.step;
  }
}

void PushNote(vkAudioOutput& out, const vkAudioNote& note) {
  out.notes.Push(note);
  out.wakeWanted.store(true, std::memory_order_release);
}

bool Wanted(const std::atomic<int32_t>* flag) { return flag != nullptr && flag->load(std::memory_order_relaxed) != 0; }

// Before the mix: passes that began since the last cycle.
void PreRender(vkAudioOutput& out) {
  for (vkAudioChannel& c : out.channels) {
    if (c.finished || !c.loopRestarted) continue;
    if (c.kind == kSample) {
      c.loopRestarted = false;
      c.startMicros = NowMicros();
      if (Wanted(out.services.wantSampleLoop))
        PushNote(out, {6, true, c.id, c.passMillis, c.loopsDone, c.remainder});
    } else if (c.kind == kStream) {
      c.loopRestarted = false;
      c.stream->startMicros.store(NowMicros());
    }
  }
}

// After the mix: sounds whose end went through.
void PostRender(vkAudioOutput& out) {
  for (vkAudioChannel& c : out.channels) {
    if (c.finished || !c.ended || c.converter.Buffered()) continue;
    if (c.kind == kSample) {
      if (Wanted(out.services.wantSampleEnd)) PushNote(out, {5, true, c.id, c.passMillis, c.loopsDone, c.remainder});
    } else if (c.kind == kStream) {
      PushNote(out, {7, Wanted(out.services.wantMusicEnd), c.id, 0, 0, 0});
    }
    c.finished = true;
  }
}

void MixCycle(vkAudioOutput& out, float* mix, int32_t frames) {
  std::fill(mix, mix + 2 * frames, 0.0f);
  std::unique_lock lock(out.channelMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;  // the main thread is changing channels: a silent cycle
  if (static_cast<int32_t>(out.channelBuffer.size()) < 2 * frames) return;
  PreRender(out);
  float* buf = out.channelBuffer.data();
  for (int i = 0; i < kChannels; i++) {
    vkAudioChannel& c = out.channels[i];
    if (c.kind < kSample || c.finished) continue;
    std::fill(buf, buf + 2 * frames, 0.0f);
    Convert(out, i, buf, frames);
    const float gl = c.gainLeft, gr = c.gainRight;
    for (int32_t j = 0; j < frames; j++) {
      mix[2 * j] += buf[2 * j] * gl;
      mix[2 * j + 1] += buf[2 * j + 1] * gr;
    }
    if (c.kind == kStream && out.decoder.endState.load() == 0 && out.decoder.retry.load()) {
      vkStreamDecoder& d = out.decoder;
      if (d.mutex.try_lock()) {
        d.handOver = true;
        d.wake.notify_one();
        d.mutex.unlock();
        d.retry.store(false);
      }
    }
  }
  PostRender(out);
  for (int32_t j = 0; j < 2 * frames; j++) mix[j] = std::clamp(mix[j], -1.0f, 1.0f);
}

void AudioCallback(void* user, Uint8* stream, int len) {
  auto* out = static_cast<vkAudioOutput*>(user);
  MixCycle(*out, reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
}

// The decode thread: fills the half the mixer does not read, rewinding
// inside a half when the stream loops, so that loops join without a gap.
void DecodeLoop(vkAudioOutput* out, vkSound* sound) {
  vkStreamDecoder& d = out->decoder;
  // A raised priority is best effort: refused, the thread runs as it is.
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  for (;;) {
    {
      std::unique_lock lock(d.mutex);
      d.wake.wait(lock, [&d] { return d.handOver || d.quit; });
      if (d.quit) return;
      d.handOver = false;
    }
    const int half = d.writeSel.load() == 1 ? 0 : 1;
    uint8_t* target = d.halves[half].data();
    const int32_t bpf = sound->bytesPerFrame;
    int64_t count = std::min(d.halfFrames, std::max<int64_t>(0, sound->frames - sound->position));
    bool loop = false;
    if (count < d.halfFrames && d.loopsDone.load() != d.loopsWanted) {
      d.loopsDone.fetch_add(1);
      loop = true;
    }
    int64_t got = out->services.readFrames(sound, target, count, nullptr);
    bool last = false;
    if (got < d.halfFrames) {
      if (loop) {
        const int64_t keepPosition = sound->positionMicros.load();
        const int64_t keepStart = sound->startMicros.load();
        out->services.seekSound(sound, 0);
        sound->positionMicros.store(keepPosition);
        sound->startMicros.store(keepStart);
        got += out->services.readFrames(sound, target + got * bpf, d.halfFrames - got, nullptr);
      } else {
        std::memset(target + got * bpf, 0, static_cast<size_t>((d.halfFrames - got) * bpf));
        last = true;
      }
    }
    d.valid[half].store(got);
    if (last) d.lastHalf.store(half);
    d.writeSel.store(d.writeSel.load() ^ 1, std::memory_order_release);
    if (last) {
      // Nothing more to decode: wait only for the stop.
      std::unique_lock lock(d.mutex);
      d.wake.wait(lock, [&d] { return d.quit; });
      return;
    }
  }
}

void StopDecoder(vkAudioOutput& out) {
  vkStreamDecoder& d = out.decoder;
  if (d.thread.joinable()) {
    {
      std::lock_guard lock(d.mutex);
      d.quit = true;
      d.handOver = true;
    }
    d.wake.notify_all();
    d.thread.join();
  }
  d.halves[0] = {};
  d.halves[1] = {};
  d.channel = -1;
  d.quit = false;
  d.handOver = false;
}

// Stops the stream channel of [sound]: detaches it under the channel mutex,
// releases the mutex, then stops the decoder.
void StopStream(vkAudioOutput& out, vkSound* sound, int keepPosition, int32_t* loopsDone, int64_t* position) {
  int32_t loops = 0;
  bool found = false;
  {
    std::lock_guard lock(out.channelMutex);
    for (vkAudioChannel& c : out.channels) {
      if (c.kind != kStream || c.stream != sound) continue;
      found = true;
      loops = out.decoder.loopsDone.load();
      ClearChannel(c);
    }
  }
  if (!found) return;
  StopDecoder(out);
  const int64_t start = sound->startMicros.load();
  if (start != 0 && keepPosition != 0 && sound->rate > 0) {
    const int64_t pass = std::max<int64_t>(1, sound->frames * 1000 / sound->rate);
    const int64_t elapsed = std::max<int64_t>(0, NowMicros() - start);
    const int64_t total = sound->elapsedMillis.load() + elapsed / 1000;
    sound->elapsedMillis.store(total);
    loops = static_cast<int32_t>(total / pass + 1);
    const int64_t positionMs = (sound->positionMicros.load() + elapsed) / 1000 % pass;
    sound->positionMicros.store(positionMs * 1000);
  }
  if (keepPosition == 0) {
    sound->positionMicros.store(0);
    sound->position = 0;
  } else {
    sound->position = sound->positionMicros.load() * sound->rate / 1000000;
  }
  sound->startMicros.store(0);
  if (loopsDone != nullptr) *loopsDone = loops;
  if (position != nullptr) *position = sound->position;
}

int OpenOutput(vkAudioOutput& out, int32_t rate, bool device) {
  if (out.open) return 0;
  if (device) {
    if (!SdlUsable() || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return kErrAudioDevice;
    out.sdlAudioStarted = true;
    SDL_AudioSpec want{}, have{};
    want.freq = kAskedRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = AudioCallback;
    want.userdata = &out;
    out.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (out.device == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      out.sdlAudioStarted = false;
      return kErrAudioDevice;
    }
    rate = have.freq;
    out.channelBuffer.assign(static_cast<size_t>(std::max<int>(have.samples, 4096)) * 2 * 4, 0.0f);
  } else {
    out.channelBuffer.assign(size_t{65536} * 2, 0.0f);
  }
  if (rate < 1) return kErrAudioDevice;
  out.rate = rate;
  out.open = true;
  if (out.device != 0) SDL_PauseAudioDevice(out.device, 0);
  return 0;
}

// The channel playing [sample] (kinds 1 and 2), from [from] on; -1 when none.
int SampleChannel(vkAudioOutput& out, const vkSampleData* sample, int from = 0) {
  for (int i = from; i < kChannels; i++) {
    const vkAudioChannel& c = out.channels[i];
    if ((c.kind == kSample || c.kind == kWaiting) && (sample == nullptr || c.sample == sample)) return i;
  }
  return -1;
}

}  // namespace

int64_t vkosWallMicros() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return int64_t{tv.tv_sec} * 1000000 + tv.tv_usec;
}

int vkosInitAudioChannels(const vkOSAudioServices& services) {
  vkAudioOutput& out = Output();
  out.services = services;
  std::lock_guard lock(out.channelMutex);
  for (vkAudioChannel& c : out.channels) ClearChannel(c);
  return 0;
}

int vkosOpenAudio() { return OpenOutput(Output(), kAskedRate, true); }

int vkosOpenAudioDetached(int32_t rate) { return OpenOutput(Output(), rate, false); }

int vkosAudioIsOpen() { return Output().open ? 1 : 0; }

int32_t vkosAudioRate() { return Output().rate; }

void vkosRenderAudio(float* out, int32_t frames) {
  vkAudioOutput& o = Output();
  while (frames > 0) {
    const int32_t piece = std::min<int32_t>(frames, static_cast<int32_t>(o.channelBuffer.size() / 2));
    if (piece <= 0) {
      std::fill(out, out + 2 * frames, 0.0f);
      return;
    }
    MixCycle(o, out, piece);
    out += 2 * piece;
    frames -= piece;
  }
}

void vkosStopAudio() {
  vkAudioOutput& out = Output();
  if (out.device != 0) SDL_PauseAudioDevice(out.device, 1);
}

void vkosCloseAudio() {
  vkAudioOutput& out = Output();
  if (out.device != 0) SDL_CloseAudioDevice(out.device);  // waits for a running callback
  out.device = 0;
  StopDecoder(out);
  {
    std::lock_guard lock(out.channelMutex);
    for (vkAudioChannel& c : out.channels) ClearChannel(c);
  }
  out.notes.Clear();
  if (out.sdlAudioStarted) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  out.sdlAudioStarted = false;
  out.open = false;
  out.rate = 0;
  out.channelBuffer = {};
}

int vkosPlaySample(const vkSampleData* sample, vkOSObjectId id, int32_t rate, int32_t volume, int32_t pan,
                   int32_t playTime, int32_t times) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  std::lock_guard lock(out.channelMutex);
  const int index = FreeChannel(out);
  if (index < 0) return kErrAudioNoChannel;
  vkAudioChannel& c = out.channels[index];
  ClearChannel(c);
  vkPcmFormat format{sample->bits, sample->channels, (sample->flags & kSoundFlagSigned) != 0};
  if (sample->frames <= 0 || !MakeConverter(c, format, rate, out.rate)) return kErrAudioConverter;
  c.id = id;
  c.sample = sample;
  // A pass counts at least 1 ms, so that no duration divides by zero.
  c.passMillis = static_cast<int32_t>(std::clamp<int64_t>(sample->frames * 1000 / rate, 1, INT32_MAX));
  c.loopRestarted = true;
  c.loopsDone = 1;
  if (playTime != -1) {
    c.loopsWanted = playTime / c.passMillis + 1;
    c.remainder = playTime % c.passMillis;
    c.endFrame = std::min<int64_t>(int64_t{rate} * c.remainder / 1000, sample->frames);
  } else {
    c.loopsWanted = times;
    c.remainder = c.passMillis;
    c.endFrame = sample->frames;
  }
  SetGains(c, volume, pan);
  c.kind = kWaiting;
  return 0;
}

void vkosBeginSampleGroup() {}

int vkosStartSampleGroup() {
  vkAudioOutput& out = Output();
  std::lock_guard lock(out.channelMutex);
  for (vkAudioChannel& c : out.channels)
    if (c.kind == kWaiting) c.kind = kSample;
  return 0;
}

void vkosCancelSampleGroup() {
  vkAudioOutput& out = Output();
  std::lock_guard lock(out.channelMutex);
  for (vkAudioChannel& c : out.channels)
    if (c.kind == kWaiting) ClearChannel(c);
}

int vkosPlayMusic(int32_t kind, void* object, vkOSObjectId id, int32_t loopsWanted, int32_t loopsDone,
                  int32_t volume) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  if (kind == kMusicModule) {
    std::lock_guard lock(out.channelMutex);
    const int index = FreeChannel(out);
    if (index < 0) return kErrAudioNoChannel;
    vkAudioChannel& c = out.channels[index];
    ClearChannel(c);
    try {
      c.renderBuffer.assign(size_t{kModuleBufferFrames} * 2, 0);
    } catch (const std::bad_alloc&) {
      ClearChannel(c);
      return kErrOutOfMemory;
    }
    if (!MakeConverter(c, {16, 2, true}, kModuleRate, out.rate)) {
      ClearChannel(c);
      return kErrAudioConverter;
    }
    c.module = object;
    c.id = id;
    SetGains(c, volume, 128);
    c.kind = kModule;
    return 0;
  }

  auto* sound = static_cast<vkSound*>(object);
  // One decoder: a stream that still plays gives way.
  for (vkAudioChannel& c : out.channels)
    if (c.kind == kStream) StopStream(out, c.stream, 0, nullptr, nullptr);
  int index;
  {
    std::lock_guard lock(out.channelMutex);
    index = FreeChannel(out);
    if (index < 0) return kErrAudioNoChannel;
    vkAudioChannel& c = out.channels[index];
    ClearChannel(c);
    vkPcmFormat format{sound->pcmBits, sound->channels, (sound->flags & kSoundFlagSigned) != 0};
    if (!MakeConverter(c, format, sound->rate, out.rate)) return kErrAudioConverter;
  }
  vkStreamDecoder& d = out.decoder;
  // A half is a second of sound, but never more than two passes of the
  // stream: a fill reads at most the rest of a pass and, looping, one pass
  // more. The rate is the file's word, and a short file that claims the
  // largest rate would otherwise ask for gigabytes of silence.
  d.halfFrames = std::max<int64_t>(1, std::min<int64_t>(sound->rate, 2 * sound->frames));
  d.loopsWanted = loopsWanted;
  d.loopsDone.store(loopsDone);
  sound->elapsedMillis.store(sound->position * 1000 / sound->rate);
  const int64_t remaining = std::max<int64_t>(0, sound->frames - sound->position);
  const bool noThread = d.halfFrames >= remaining && loopsDone == loopsWanted;
  const size_t halfBytes = static_cast<size_t>(d.halfFrames * sound->bytesPerFrame);
  try {
    d.halves[0].assign(halfBytes, 0);
    d.halves[1].assign(halfBytes, 0);
  } catch (const std::bad_alloc&) {
    StopDecoder(out);
    return kErrOutOfMemory;
  }
  const int64_t got = out.services.readFrames(sound, d.halves[0].data(), d.halfFrames, nullptr);
  d.valid[0].store(got);
  d.valid[1].store(0);
  d.writeSel.store(0);
  d.readSel = 1;
  d.retry.store(false);
  d.quit = false;
  d.handOver = false;
  d.channel = index;
  if (noThread) {
    d.lastHalf.store(0);
    d.endState.store(0);
  } else {
    d.lastHalf.store(-1);
    d.endState.store(0);
    try {
      d.thread = std::thread(DecodeLoop, &out, sound);
    } catch (const std::system_error&) {
      StopDecoder(out);
      std::lock_guard lock(out.channelMutex);
      ClearChannel(out.channels[index]);
      return kErrAudioThread;
    }
  }
  std::lock_guard lock(out.channelMutex);
  vkAudioChannel& c = out.channels[index];
  c.stream = sound;
  c.id = id;
  c.loopRestarted = true;
  c.position = sound->position;
  c.loopsWanted = loopsWanted;
  c.loopsDone = loopsDone;
  SetGains(c, volume, 128);
  c.kind = kStream;
  return 0;
}

void vkosStopSample(const vkSampleData* sample) {
  vkAudioOutput& out = Output();
  vkosDeliverAudioNotifications();
  std::lock_guard lock(out.channelMutex);
  for (vkAudioChannel& c : out.channels) {
    if ((c.kind == kSample || c.kind == kWaiting) && (sample == nullptr || c.sample == sample)) ClearChannel(c);
  }
}

int vkosStopMusic(int32_t kind, void* object, int keepPosition, int32_t* loopsDone, int64_t* position) {
  vkAudioOutput& out = Output();
  vkosDeliverAudioNotifications();
  if (kind == kMusicStream) {
    StopStream(out, static_cast<vkSound*>(object), keepPosition, loopsDone, position);
    return 0;
  }
  {
    std::lock_guard lock(out.channelMutex);
    for (vkAudioChannel& c : out.channels)
      if (c.kind == kModule && c.module == object) ClearChannel(c);
  }
  if (keepPosition == 0 && out.services.rewindModule != nullptr) out.services.rewindModule(object);
  if (loopsDone != nullptr) *loopsDone = 1;
  return 0;
}

void vkosSetSampleVolume(const vkSampleData* sample, int32_t rate, int32_t volume, int32_t pan) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  std::lock_guard lock(out.channelMutex);
  for (int i = SampleChannel(out, sample); i >= 0; i = SampleChannel(out, sample, i + 1)) {
    vkAudioChannel& c = out.channels[i];
    SetGains(c, volume, pan);
    if (rate >= 1 && out.rate >= 1)
      c.converter.step = (static_cast<uint64_t>(rate) << 32) / static_cast<uint64_t>(out.rate);
  }
}

void vkosSetMusicVolume(int32_t kind, void* object, int32_t volume) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  std::lock_guard lock(out.channelMutex);
  for (vkAudioChannel& c : out.channels) {
    if ((kind == kMusicModule && c.kind == kModule && c.module == object) ||
        (kind == kMusicStream && c.kind == kStream && c.stream == object))
      SetGains(c, volume, 128);
  }
}

void vkosGetSampleProgress(const vkSampleData* sample, int32_t* millis, int32_t* loops) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  std::lock_guard lock(out.channelMutex);
  const int i = SampleChannel(out, sample);
  if (i < 0) return;
  const vkAudioChannel& c = out.channels[i];
  const int64_t elapsed = c.startMicros != 0 ? (NowMicros() - c.startMicros) / 1000 : 0;
  *millis = static_cast<int32_t>(std::clamp<int64_t>(elapsed, 0, INT32_MAX));
  *loops = c.loopsDone - 1;
}

int vkosIsSamplePlaying(const vkSampleData* sample) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  std::lock_guard lock(out.channelMutex);
  return SampleChannel(out, sample) >= 0 ? 1 : 0;
}

void* vkosFindModuleChannel(void* module) {
  vkAudioOutput& out = Output();
  vkosAudioHousekeeping();
  std::lock_guard lock(out.channelMutex);
  for (const vkAudioChannel& c : out.channels)
    if (c.kind == kModule && c.module == module) return module;
  return nullptr;
}

int vkosSeekMusic(int32_t kind, vkSound* sound, int32_t millis) {
  if (kind != kMusicStream || Output().services.seekSound == nullptr) return 0;
  Output().services.seekSound(sound, int64_t{millis} * sound->rate / 1000);
  return 0;
}

void vkosSetMasterVolume(int32_t) {}

void vkosDeliverAudioNotifications() {
  vkAudioOutput& out = Output();
  vkAudioNote note;
  while (out.notes.Pop(&note)) {
    if (note.type == 7 && out.services.resetMusicState != nullptr) out.services.resetMusicState(out.services.owner);
    if (note.post && out.services.postSoundEvent != nullptr)
      out.services.postSoundEvent(out.services.owner, note.type, note.id.number, note.id.handle, note.a1, note.a2, note.a3);
  }
}

void vkosAudioHousekeeping() {
  vkAudioOutput& out = Output();
  vkosDeliverAudioNotifications();
  vkSound* endedStream = nullptr;
  {
    std::lock_guard lock(out.channelMutex);
    for (vkAudioChannel& c : out.channels) {
      if (!c.finished) continue;
      if (c.kind == kStream) endedStream = c.stream;
      else ClearChannel(c);
    }
  }
  if (endedStream != nullptr) StopStream(out, endedStream, 0, nullptr, nullptr);
}

bool vkosTakeAudioWake() {
  // Made before the pump's ticker starts (vkosPrepareAudio), never made here.
  return gPlatform.audio && gPlatform.audio->wakeWanted.exchange(false, std::memory_order_acq_rel);
}

void vkosPrepareAudio() { Output(); }
