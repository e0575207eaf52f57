// Our own sound file readers and the stream services over them. Every chunk
// size and offset is checked against the bytes the file holds: a BODY or data
// chunk longer than the file is cut to what is there, chunks skip their pad
// byte, and stereo IFF bodies (all left samples, then all right) come out
// interleaved. PCM leaves the readers host-endian.
#include "sound/soundstream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "base/errorinfo.h"
#include "platform/vkos_audiofile.h"
#include "io/filehandles.h"

namespace {

// Reads exactly [count] bytes at [offset]; false when the file has fewer.
bool ReadAt(vkFile* file, int64_t offset, void* buffer, int64_t count) {
  if (offset < 0 || count < 0 || offset > file->size || count > file->size - offset) return false;
  SeekStream(file, offset, VKSEEK_START);
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    const uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(count, 1 << 30));
    const uint32_t got = ReadStream(file, out, piece);
    if (got != piece) return false;
    out += got;
    count -= got;
  }
  return true;
}

uint32_t BE32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
uint32_t LE32(const uint8_t* p) { return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]; }
uint16_t BE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint16_t LE16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }

// A byte source over a buffered file handle, for the platform's reader.
class vkFileSource final : public vkOSByteSource {
 public:
  explicit vkFileSource(vkFilePtr file) : file_(std::move(file)) {}
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    if (offset < 0 || count <= 0 || offset >= file_->size) return 0;
    count = std::min(count, file_->size - offset);
    SeekStream(file_.get(), offset, VKSEEK_START);
    int64_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < count) {
      const uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(count - done, 1 << 30));
      const uint32_t got = ReadStream(file_.get(), out + done, piece);
      done += got;
      if (got != piece) break;
    }
    return done;
  }
  int64_t Size() const override { return file_->size; }

 private:
  vkFilePtr file_;
};

// The shape of one of our own formats.
struct vkOwnFormat {
  int32_t type;
  const char* name;
  bool bigEndian;    // 16-bit samples in the file's order
  bool planar;       // stereo data is all left, then all right
};

constexpr vkOwnFormat k8SVX{kSoundType8SVX, "IFF 8SVX", true, true};
constexpr vkOwnFormat k16SV{kSoundType16SV, "IFF 16SV", true, true};
constexpr vkOwnFormat kWave{kSoundTypeWave, "RIFF WAVE", false, false};

// Reads frames of the three own formats from their data chunk.
class vkOwnReader final : public vkSoundReader {
 public:
  vkOwnReader(vkFilePtr file, const vkOwnFormat& format) : file_(std::move(file)), format_(format) {}

  int64_t Read(vkSound* s, void* buffer, int64_t wanted, int* end) override {
    const int64_t remaining = std::max<int64_t>(0, s->frames - s->position);
    if (wanted > remaining && end != nullptr) *end = 1;
    int64_t n = std::max<int64_t>(0, std::min(wanted, remaining));
    const int32_t sampleBytes = s->pcmBits / 8;
    bool ok = true;
    if (format_.planar && s->channels == 2) {
      // Left samples into the even slots, right samples into the odd ones.
      const int64_t bytes = n * sampleBytes;
      if (static_cast<int64_t>(interleave_.size()) < bytes) {
        try {
          interleave_.resize(static_cast<size_t>(bytes));
        } catch (const std::bad_alloc&) {
          n = 0;
        }
      }
      auto* out = static_cast<uint8_t*>(buffer);
      for (int side = 0; side < 2 && n > 0 && ok; side++) {
        const int64_t at = s->dataStart + (side * s->frames + s->position) * sampleBytes;
        ok = ReadAt(file_.get(), at, interleave_.data(), bytes);
        for (int64_t i = 0; ok && i < n; i++)
          std::memcpy(out + (2 * i + side) * sampleBytes, interleave_.data() + i * sampleBytes, sampleBytes);
      }
    } else if (n > 0) {
      ok = ReadAt(file_.get(), s->dataStart + s->position * s->bytesPerFrame, buffer, n * s->bytesPerFrame);
    }
    if (!ok) n = 0;
    if (sampleBytes == 2 && n > 0) ToHost(static_cast<uint8_t*>(buffer), n * s->channels);
    s->position += n;
    s->framesReadLast = n;
    s->bytesReadLast = n * s->bytesPerFrame;
    return n;
  }

  void Seek(vkSound* s, int64_t frame) override {
    if (frame >= 0 && frame < s->frames) s->position = frame;
  }

  const char* FormatName() const override { return format_.name; }

 private:
  void ToHost(uint8_t* p, int64_t samples) const {
    // Data already in the host's order stays as it is.
    if (format_.bigEndian == (std::endian::native == std::endian::big)) return;
    for (int64_t i = 0; i < samples; i++, p += 2) {
      const int16_t v = static_cast<int16_t>(format_.bigEndian ? BE16(p) : LE16(p));
      std::memcpy(p, &v, 2);
    }
  }

  vkFilePtr file_;
  vkOwnFormat format_;
  std::vector<uint8_t> interleave_;
};

// IFF 8SVX and 16SV: a 20-byte VHDR first, then chunks up to the BODY.
bool OpenIff(vkFile* file, const vkOwnFormat& format, vkSound* s) {
  uint8_t vhdr[28];
  if (!ReadAt(file, 12, vhdr, 28)) return false;
  if (BE32(vhdr + 4) != 20) return false;
  s->rate = BE16(vhdr + 8 + 12);
  s->compression = vhdr[8 + 15];
  if (s->compression != 0) return false;
  bool stereo = false;
  int64_t at = 40;
  for (;;) {
    uint8_t head[8];
    if (!ReadAt(file, at, head, 8)) return false;
    const int64_t size = BE32(head + 4);
    at += 8;
    if (std::memcmp(head, "CHAN", 4) == 0) {
      uint8_t word[4];
      if (ReadAt(file, at, word, 4)) stereo = BE32(word) == 6;
    } else if (std::memcmp(head, "BODY", 4) == 0) {
      const int64_t present = std::min(size, file->size - at);
      s->channels = stereo ? 2 : 1;
      s->bits = s->pcmBits = format.type == kSoundType8SVX ? 8 : 16;
      s->flags = s->bits == 16 ? (kSoundFlagWide | kSoundFlagSigned) : kSoundFlagSigned;
      s->bytesPerFrame = s->channels * s->bits / 8;
      s->frames = present / s->bytesPerFrame;
      s->dataSize = s->frames * s->bytesPerFrame;
      s->dataStart = at;
      return true;
    }
    at += size + (size & 1);
  }
}

// RIFF WAVE: a 16-byte PCM "fmt " chunk of 8 or 16 bits before "data".
bool OpenWave(vkFile* file, vkSound* s) {
  int64_t at = 12;
  bool haveFormat = false;
  int32_t channels = 1, bits = 0;
  for (;;) {
    uint8_t head[8];
    if (!ReadAt(file, at, head, 8)) return false;
    const int64_t size = LE32(head + 4);
    at += 8;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      uint8_t fmt[16];
      if (size != 16 || !ReadAt(file, at, fmt, 16)) return false;
      if (LE16(fmt) != 1) return false;
      channels = LE16(fmt + 2) == 2 ? 2 : 1;
      s->rate = static_cast<int32_t>(std::min<uint32_t>(LE32(fmt + 4), 0x7FFFFFFF));
      bits = LE16(fmt + 14);
      if (bits != 8 && bits != 16) return false;
      haveFormat = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!haveFormat) return false;
      const int64_t present = std::min(size, file->size - at);
      s->channels = channels;
      s->bits = s->pcmBits = bits;
      s->flags = bits == 16 ? (kSoundFlagWide | kSoundFlagSigned) : 0;
      s->bytesPerFrame = channels * bits / 8;
      s->frames = present / s->bytesPerFrame;
      s->dataSize = s->frames * s->bytesPerFrame;
      s->dataStart = at;
      return true;
    }
    at += size + (size & 1);
  }
}

// Opens the file through one of our readers; false leaves [s] to the
// platform's reader.
bool OpenOwn(const char* fileName, int32_t type, vkSound* s) {
  vkFilePtr file = OpenStream(fileName, VKFILE_READ);
  if (!file) return false;
  const vkOwnFormat& format = type == kSoundType8SVX ? k8SVX : type == kSoundType16SV ? k16SV : kWave;
  const bool ok = type == kSoundTypeWave ? OpenWave(file.get(), s) : OpenIff(file.get(), format, s);
  if (!ok || s->frames < 0) return false;
  s->formatType = type;
  s->reader = std::make_unique<vkOwnReader>(std::move(file), format);
  return true;
}

}  // namespace

int32_t SampleFormatCode(int32_t channels, int32_t bits, int32_t flags) {
  if (channels != 1 && channels != 2) return -1;
  const int32_t stereo = channels == 2 ? 1 : 0;
  if (bits == 8) return ((flags & kSoundFlagSigned) != 0 ? 2 : 0) + stereo;
  if (bits == 16) return 4 + stereo;
  return -1;
}

int32_t BytesPerFrame(int32_t formatCode) {
  constexpr int32_t kBytes[] = {1, 2, 1, 2, 2, 4};
  return formatCode >= 0 && formatCode <= 5 ? kBytes[formatCode] : 0;
}

int OpenSoundStream(const char* fileName, int32_t musicFlag, std::unique_ptr<vkSound>* out) {
  SetErrorText(fileName);
  int32_t type = 0;
  {
    vkFilePtr file = OpenStream(fileName, VKFILE_READ);
    if (!file) return kErrCannotRead;
    uint8_t head[12] = {};
    if (ReadAt(file.get(), 0, head, 12)) {
      if (std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "8SVX", 4) == 0) type = kSoundType8SVX;
      if (std::memcmp(head, "FORM", 4) == 0 && std::memcmp(head + 8, "16SV", 4) == 0) type = kSoundType16SV;
      if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) type = kSoundTypeWave;
    }
  }
  auto sound = std::unique_ptr<vkSound>(new (std::nothrow) vkSound);
  if (!sound) return kErrOutOfMemory;
  sound->musicFlag = musicFlag;
  if (type == 0 || !OpenOwn(fileName, type, sound.get())) {
    auto fresh = std::unique_ptr<vkSound>(new (std::nothrow) vkSound);
    if (!fresh) return kErrOutOfMemory;
    sound = std::move(fresh);
    sound->musicFlag = musicFlag;
    vkFilePtr file = OpenStream(fileName, VKFILE_READ);
    if (!file) return kErrCannotRead;
    if (int code = vkosOpenAudioFile(std::make_unique<vkFileSource>(std::move(file)), sound.get())) return code;
  }
  sound->formatCode = SampleFormatCode(sound->channels, sound->bits, sound->flags);
  *out = std::move(sound);
  return 0;
}

int64_t ReadSoundFrames(vkSound* sound, void* buffer, int64_t frames, int* end) {
  if (sound->reader == nullptr || sound->formatType < 1 || sound->formatType > 4) return 0;
  return sound->reader->Read(sound, buffer, frames, end);
}

void SeekSound(vkSound* sound, int64_t frame) {
  if (sound->reader != nullptr) sound->reader->Seek(sound, frame);
  const int64_t micros = sound->rate > 0 ? frame * 1000000 / sound->rate : 0;
  sound->positionMicros.store(micros);
  sound->startMicros.store(0);
}

const char* SoundFormatName(const vkSound* sound) {
  return sound->reader != nullptr ? sound->reader->FormatName() : "Mac Audio File";
}

int IsSoundFile(const char* fileName) {
  std::unique_ptr<vkSound> sound;
  if (OpenSoundStream(fileName, 0, &sound) != 0) return 0;
  return sound->dataSize != 0 && sound->bytesPerFrame != 0 && sound->bits != 0 ? 1 : 0;
}

int LoadSampleData(const char* fileName, vkSampleData* out, int32_t* rate, int32_t* formatCode) {
  std::unique_ptr<vkSound> sound;
  if (int code = OpenSoundStream(fileName, 0, &sound)) return code;
  if (sound->dataSize == 0 || sound->bytesPerFrame == 0 || sound->bits == 0) return kErrNotASample;
  if (sound->formatCode == -1) return kErrSampleDepth;
  // Read in pieces into a buffer that grows with what decodes: the frame
  // count is the header's word, and a damaged or hostile header may claim
  // gigabytes that are not there.
  constexpr int64_t kPieceFrames = 1 << 16;
  const int64_t frameBytes = sound->bytesPerFrame;
  int64_t capacity = std::min(sound->frames, kPieceFrames);
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[static_cast<size_t>(capacity * frameBytes)]);
  if (!data) return kErrOutOfMemory;
  int64_t got = 0;
  while (got < sound->frames) {
    if (got == capacity) {
      capacity = std::min(sound->frames, capacity * 2);
      std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[static_cast<size_t>(capacity * frameBytes)]);
      if (!grown) return kErrOutOfMemory;
      std::memcpy(grown.get(), data.get(), static_cast<size_t>(got * frameBytes));
      data = std::move(grown);
    }
    const int64_t want = std::min(capacity - got, kPieceFrames);
    const int64_t read = ReadSoundFrames(sound.get(), data.get() + got * frameBytes, want, nullptr);
    if (read <= 0) break;
    got += read;
  }
  out->data = std::move(data);
  out->bits = sound->pcmBits;
  out->bytesPerFrame = sound->bytesPerFrame;
  out->channels = sound->channels;
  out->flags = sound->flags;
  out->frames = got;
  *rate = sound->rate;
  *formatCode = sound->formatCode;
  return 0;
}

int CreateSampleData(const int8_t* bytes, int64_t count, vkSampleData* out) {
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[static_cast<size_t>(std::max<int64_t>(count, 1))]);
  if (!data) return kErrOutOfMemory;
  if (count > 0) std::memcpy(data.get(), bytes, static_cast<size_t>(count));
  out->data = std::move(data);
  out->bits = 8;
  out->bytesPerFrame = 1;
  out->channels = 1;
  out->flags = kSoundFlagSigned;
  out->frames = count;
  return 0;
}
