// Sound files through the system's audio file library (libsndfile), opened on
// virtual I/O over the sound library's byte source, so that paths and linked
// data take the same road. The decoder hands out host-endian PCM: 8-bit data
// as signed bytes, every other depth as 16 bits; the stream still reports the
// file's own bits (0 for compressed data). The MPEG bit rate is our own parse.
#include "platform/vkos_audiofile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/linux/lazylibrary.h"

namespace {

// The most frames a sound file may have: 2^40, over 290 days at 44.1 kHz.
constexpr int64_t kMaxAudioFileFrames = int64_t{1} << 40;

// libsndfile's functions, looked up on the first sound file the library
// reads (it and its codecs are slow to load, and many runs read none).
struct vkSndfileCalls {
  decltype(&sf_open_virtual) openVirtual = nullptr;
  decltype(&sf_close) close = nullptr;
  decltype(&sf_readf_short) readFrames = nullptr;
  decltype(&sf_seek) seek = nullptr;
};

// Null when the library cannot be loaded: no reader is made then.
const vkSndfileCalls* Sndfile() {
  static const vkSndfileCalls* const calls = []() -> const vkSndfileCalls* {
    static vkSndfileCalls c;
    const vkLazyFunction table[] = {
        {"sf_open_virtual", LazySlot(c.openVirtual)},
        {"sf_close", LazySlot(c.close)},
        {"sf_readf_short", LazySlot(c.readFrames)},
        {"sf_seek", LazySlot(c.seek)},
        {nullptr, nullptr}};
    return vkosOpenLazyLibrary(VK_SNDFILE_SONAME, table) ? &c : nullptr;
  }();
  return calls;
}

// Virtual I/O over a byte source with a position of its own.
struct vkVirtualFile {
  std::unique_ptr<vkOSByteSource> source;
  sf_count_t position = 0;
};

sf_count_t VirtualLength(void* user) { return static_cast<vkVirtualFile*>(user)->source->Size(); }

sf_count_t VirtualSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<vkVirtualFile*>(user);
  const sf_count_t size = f->source->Size();
  sf_count_t target = offset;
  if (whence == SEEK_CUR) target = f->position + offset;
  if (whence == SEEK_END) target = size + offset;
  if (target < 0) return -1;
  f->position = target;
  return f->position;
}

sf_count_t VirtualRead(void* buffer, sf_count_t count, void* user) {
  auto* f = static_cast<vkVirtualFile*>(user);
  if (count <= 0) return 0;
  const sf_count_t got = f->source->ReadAt(f->position, buffer, count);
  if (got > 0) f->position += got;
  return std::max<sf_count_t>(got, 0);
}

sf_count_t VirtualWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t VirtualTell(void* user) { return static_cast<vkVirtualFile*>(user)->position; }

// The file's own bits per sample; 0 for compressed data.
int32_t FileBits(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
      return 8;
    case SF_FORMAT_PCM_16:
      return 16;
    case SF_FORMAT_PCM_24:
      return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
      return 32;
    case SF_FORMAT_DOUBLE:
      return 64;
    default:
      return 0;
  }
}

// The format names scripts see, by the file's container.
const char* ContainerName(int format, bool aifc) {
  switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_AIFF:
      return aifc ? "AIFC" : "AIFF";
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
      return "RIFF WAVE";
    case SF_FORMAT_SD2:
      return "Sound Designer 2";
    case SF_FORMAT_AU:
      return "NeXT";
    case SF_FORMAT_MPEG:
      return "MPEG Audio";
    case SF_FORMAT_CAF:
      return "Core Audio";
    default:
      return "Mac Audio File";
  }
}

class vkLibraryReader final : public vkSoundReader {
 public:
  vkLibraryReader(std::unique_ptr<vkVirtualFile> file, SNDFILE* handle, const char* name)
      : file_(std::move(file)), handle_(handle), name_(name) {}
  ~vkLibraryReader() override {
    if (handle_ != nullptr) Sndfile()->close(handle_);
  }

  int64_t Read(vkSound* sound, void* buffer, int64_t frames, int* end) override {
    if (end != nullptr && frames > sound->frames - sound->position) *end = 1;
    frames = std::max<int64_t>(0, std::min(frames, sound->frames - sound->position));
    int64_t got = 0;
    if (sound->pcmBits == 16) {
      got = Sndfile()->readFrames(handle_, static_cast<short*>(buffer), frames);
    } else {
      // 8-bit data in its own size: decode in pieces through 16 bits.
      auto* out = static_cast<int8_t*>(buffer);
      short piece[1024];
      const int64_t per = std::max<int64_t>(1, 1024 / sound->channels);
      while (got < frames) {
        const int64_t want = std::min(per, frames - got);
        const int64_t n = Sndfile()->readFrames(handle_, piece, want);
        if (n <= 0) break;
        for (int64_t i = 0; i < n * sound->channels; i++) *out++ = static_cast<int8_t>(piece[i] >> 8);
        got += n;
      }
    }
    if (got < 0) got = 0;
    sound->position += got;
    sound->framesReadLast = got;
    sound->bytesReadLast = got * sound->bytesPerFrame;
    return got;
  }

  void Seek(vkSound* sound, int64_t frame) override {
    if (frame < 0 || frame >= sound->frames) return;
    if (Sndfile()->seek(handle_, frame, SEEK_SET) >= 0) sound->position = frame;
  }

  const char* FormatName() const override { return name_; }

 private:
  std::unique_ptr<vkVirtualFile> file_;
  SNDFILE* handle_;
  const char* name_;
};

// MPEG audio bit rates in kbit/s by table row and bit-rate index.
constexpr int16_t kMpegRates[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // MPEG-1 layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // MPEG-1 layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // MPEG-1 layer III
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},     // MPEG-2 layer I
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},          // MPEG-2 layers II, III
};

constexpr size_t kRateProbeBytes = 16384;

// The rate of the frame header at [p]; 0 when it is none or not tabled.
int32_t HeaderRate(const uint8_t* p) {
  const uint32_t word = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  if ((word & 0xFFE00000u) != 0xFFE00000u) return 0;
  const uint32_t version = (word >> 19) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5, 1 reserved
  const uint32_t layer = (word >> 17) & 3;    // 3 layer I, 2 layer II, 1 layer III, 0 reserved
  const uint32_t index = (word >> 12) & 15;
  if (layer == 0 || (version != 3 && version != 2)) return 0;
  int row;
  if (version == 3) row = static_cast<int>(3 - layer);  // I 0, II 1, III 2
  else row = layer == 3 ? 3 : 4;
  return kMpegRates[row][index];
}

bool HasVbrMark(const uint8_t* p, size_t size) {
  // Searched up to 32 bytes before the end of what was read.
  if (size <= 32) return false;
  for (size_t i = 0; i < size - 32; i++) {
    if (std::memcmp(p + i, "Xing", 4) == 0 || std::memcmp(p + i, "VBRI", 4) == 0) return true;
  }
  return false;
}

}  // namespace

vkMpegRateInfo vkosParseMpegBitRate(vkOSByteSource& source) {
  vkMpegRateInfo info;
  std::vector<uint8_t> buffer(kRateProbeBytes);
  int64_t got = source.ReadAt(0, buffer.data(), static_cast<int64_t>(buffer.size()));
  if (got <= 1024) return info;
  size_t size = static_cast<size_t>(got);
  int64_t frame = 0;
  const uint8_t* p = buffer.data();
  if (std::memcmp(p, "ID3", 3) == 0 && p[3] < 255 && p[4] < 255 && p[6] < 128 && p[7] < 128 && p[8] < 128 &&
      p[9] < 128) {
    const int64_t tag = int64_t{p[6]} << 21 | int64_t{p[7]} << 14 | int64_t{p[8]} << 7 | p[9];
    frame = tag + ((p[5] & 0x10) != 0 ? 20 : 10);
    info.tagBytes = frame;
  }
  if (frame + 4 > static_cast<int64_t>(size)) {
    // The frame lies past what was read: read again from there.
    got = source.ReadAt(frame, buffer.data(), static_cast<int64_t>(buffer.size()));
    if (got < 4) return info;
    size = static_cast<size_t>(got);
    frame = 0;
  }
  info.kbps = HeaderRate(p + frame);
  if (info.kbps != 0) info.variable = HasVbrMark(p + frame, size - static_cast<size_t>(frame));
  return info;
}

namespace {

// The frames of a stream whose end the library could not find (a damaged
// last page leaves it reporting the largest count): what it decodes, from
// the start it is put back at. 0 when that fails.
int64_t CountFrames(SNDFILE* handle, int channels) {
  std::vector<int16_t> scratch(4096 * static_cast<size_t>(channels));
  int64_t frames = 0;
  while (frames <= kMaxAudioFileFrames) {
    const sf_count_t got = Sndfile()->readFrames(handle, scratch.data(), 4096);
    if (got <= 0) break;
    frames += got;
  }
  if (frames > kMaxAudioFileFrames || Sndfile()->seek(handle, 0, SEEK_SET) != 0) return 0;
  return frames;
}

}  // namespace

int vkosOpenAudioFile(std::unique_ptr<vkOSByteSource> source, vkSound* sound) {
  if (!source || !Sndfile()) return kErrUnknownMusicFormat;
  uint8_t head[12] = {};
  const bool aifc = source->ReadAt(0, head, 12) == 12 && std::memcmp(head + 8, "AIFC", 4) == 0;
  const int64_t fileSize = source->Size();
  const vkMpegRateInfo rate = vkosParseMpegBitRate(*source);

  auto file = std::make_unique<vkVirtualFile>();
  file->source = std::move(source);
  SF_VIRTUAL_IO io{VirtualLength, VirtualSeek, VirtualRead, VirtualWrite, VirtualTell};
  SF_INFO info{};
  SNDFILE* handle = Sndfile()->openVirtual(&io, SFM_READ, &info, file.get());
  if (handle == nullptr) return kErrUnknownMusicFormat;
  if (info.frames > kMaxAudioFileFrames && info.channels > 0 && info.channels <= 8)
    info.frames = CountFrames(handle, info.channels);
  if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0 || info.channels > 8) {
    Sndfile()->close(handle);
    return info.frames <= 0 ? kErrAudioFileProperties : kErrUnknownMusicFormat;
  }
  const int32_t bits = FileBits(info.format);
  sound->bits = bits;
  sound->pcmBits = bits == 8 ? 8 : 16;
  sound->channels = info.channels;
  sound->bytesPerFrame = info.channels * sound->pcmBits / 8;
  sound->flags = sound->pcmBits == 16 ? (kSoundFlagWide | kSoundFlagSigned) : kSoundFlagSigned;
  sound->rate = info.samplerate;
  sound->frames = info.frames;
  sound->dataSize = info.frames * sound->bytesPerFrame;
  sound->position = 0;
  sound->bitRate = rate.kbps;
  if (rate.variable) {
    const double seconds = static_cast<double>(info.frames) / info.samplerate;
    if (seconds > 0) sound->bitRate = static_cast<int32_t>(static_cast<double>(fileSize - rate.tagBytes) / seconds / 128.0);
  }
  sound->formatType = kSoundTypePlatform;
  sound->reader = std::make_unique<vkLibraryReader>(std::move(file), handle, ContainerName(info.format, aifc));
  return 0;
}
