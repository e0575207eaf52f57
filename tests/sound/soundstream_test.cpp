// The sound file readers: files made by sox and ffmpeg decode to what sox
// (or ffmpeg) decodes; hand-made files show the layouts sox cannot write (16SV, stereo
// 16SV, padded chunks, 18-byte and 24-bit WAVE, cut bodies) and which files
// our readers leave to the platform's reader; reads and seeks at the edges,
// linked data, bit rates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "../common/scratchdir.h"
#include "platform/vkos_audiofile.h"
#include "io/chunknames.h"
#include "sound/soundlib.h"
#include "sound/soundstream.h"
#include "support/soundfiles.h"

using namespace soundtest;

namespace {

// Every frame of [sound] as 16-bit values (8-bit data widened as it is).
std::vector<int16_t> ReadAll(vkSound* sound) {
  std::vector<uint8_t> buffer(static_cast<size_t>(sound->frames * sound->bytesPerFrame + 16));
  const int64_t got = ReadSoundFrames(sound, buffer.data(), sound->frames, nullptr);
  std::vector<int16_t> out;
  const int64_t samples = got * sound->channels;
  for (int64_t i = 0; i < samples; i++) {
    if (sound->pcmBits == 16) {
      int16_t v;
      std::memcpy(&v, buffer.data() + 2 * i, 2);
      out.push_back(v);
    } else {
      out.push_back((sound->flags & kSoundFlagSigned) != 0 ? int8_t(buffer[i]) : buffer[i]);
    }
  }
  return out;
}

struct ToolCase {
  const char* label;
  const char* tool;     // "sox" or "ffmpeg"
  const char* command;  // makes "$F"
  const char* file;
  int32_t type;
  const char* name;
  int32_t rate, channels, bits;
  int decodeBits;  // how sox decodes it for comparison; 0: only near (lossy)
};

TEST(SoundReaders, FilesMadeByToolsDecodeAsSoxDecodesThem) {
  const ToolCase cases[] = {
      {"8SVX mono", "sox", "sox -n -r 8000 -c 1 -b 8 $F synth 0.05 sine 440", "a.8svx", 1, "IFF 8SVX", 8000, 1, 8, 8},
      {"8SVX stereo", "sox", "sox -n -r 8000 -c 2 -b 8 $F synth 0.05 sine 440 sine 880", "b.8svx", 1, "IFF 8SVX", 8000,
       2, 8, 8},
      {"WAVE 8-bit", "sox", "sox -n -r 11025 -c 1 -b 8 -e unsigned $F synth 0.05 sine 300", "c.wav", 3, "RIFF WAVE",
       11025, 1, 8, -8},
      {"WAVE 16-bit stereo", "sox", "sox -n -r 44100 -c 2 -b 16 $F synth 0.05 sine 300 sine 500", "d.wav", 3,
       "RIFF WAVE", 44100, 2, 16, 16},
      {"AIFF", "sox", "sox -n -r 22050 -c 1 -b 16 $F synth 0.05 sine 300", "e.aiff", 4, "AIFF", 22050, 1, 16, 16},
      {"AIFC", "sox", "sox -n -r 22050 -c 2 -b 16 $F synth 0.05 sine 300", "f.aifc", 4, "AIFC", 22050, 2, 16, 16},
      {"Ogg", "sox", "sox -n -r 22050 -c 2 $F synth 0.2 sine 440", "g.ogg", 4, "Mac Audio File", 22050, 2, 0, 0},
      {"MP3", "ffmpeg", "ffmpeg -v quiet -f lavfi -i sine=frequency=440:duration=0.5 -ar 44100 -c:a libmp3lame -b:a 128k $F",
       "h.mp3", 4, "MPEG Audio", 44100, 1, 0, 0},
  };
  ScratchDir dir;
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(c.label);
    if (!HaveTool(c.tool)) continue;
    const std::string path = dir / c.file;
    std::string command = c.command;
    command.replace(command.find("$F"), 2, "'" + path + "'");
    ASSERT_TRUE(RunTool(command));
    std::unique_ptr<vkSound> sound;
    ASSERT_EQ(OpenSoundStream(path.c_str(), 0, &sound), 0);
    EXPECT_EQ(sound->formatType, c.type);
    EXPECT_STREQ(SoundFormatName(sound.get()), c.name);
    EXPECT_EQ(sound->rate, c.rate);
    EXPECT_EQ(sound->channels, c.channels);
    EXPECT_EQ(sound->bits, c.bits);
    const std::vector<int16_t> ours = ReadAll(sound.get());
    EXPECT_EQ(static_cast<int64_t>(ours.size()), sound->frames * c.channels);
    if (c.decodeBits != 0) {
      EXPECT_EQ(ours, SoxDecode(path, c.decodeBits));
    } else {
      // Lossy files: as many frames as sox finds (give or take a decoder's
      // padding), and the same loudness.
      const std::vector<int16_t> sox = std::string(c.tool) == "sox" ? SoxDecode(path, 16) : FfmpegDecode(path);
      ASSERT_FALSE(sox.empty());
      EXPECT_NEAR(double(ours.size()), double(sox.size()), 0.02 * sox.size() + 2 * 1152 * c.channels);
      auto rms = [](const std::vector<int16_t>& v) {
        double s = 0;
        for (int16_t x : v) s += double(x) * x;
        return std::sqrt(s / std::max<size_t>(v.size(), 1));
      };
      EXPECT_NEAR(rms(ours), rms(sox), 0.05 * rms(sox));
    }
  }
}

// An Ogg stream whose last page is damaged (its checksum broken) has no end
// the library can find: its length is what decodes, the pages before it, read
// again from the start. With nothing before that page it has no length.
TEST(SoundReaders, AnOggStreamWithADamagedLastPageIsAsLongAsWhatDecodes) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  ScratchDir dir;
  struct Row {
    const char* seconds;
    bool decodes;
  };
  for (const Row& r : {Row{"10", true}, Row{"0.05", false}}) {
    SCOPED_TRACE(r.seconds);
    const std::string path = dir / "d.ogg";
    ASSERT_TRUE(RunTool("sox -n -r 22050 -c 1 '" + path + "' synth " + r.seconds + " sine 440"));
    std::string bytes = ReadWholeFile(path);
    const size_t last = bytes.rfind("OggS");
    ASSERT_NE(last, std::string::npos);
    for (size_t j = 22; j < 26; j++) bytes[last + j] = static_cast<char>(bytes[last + j] ^ 0xFF);
    dir.Write("d.ogg", bytes);
    std::unique_ptr<vkSound> sound;
    const int code = OpenSoundStream(path.c_str(), 0, &sound);
    if (!r.decodes) {
      EXPECT_EQ(code, 1294);  // "Error getting audio file properties!"
      continue;
    }
    ASSERT_EQ(code, 0);
    EXPECT_GT(sound->frames, 22050 * 5);
    EXPECT_LT(sound->frames, 22050 * 10);
    EXPECT_EQ(static_cast<int64_t>(ReadAll(sound.get()).size()), sound->frames);
  }
}

struct HandCase {
  const char* label;
  std::string bytes;
  int code;          // of OpenSoundStream
  int32_t type;      // 0: not ours (the platform's reader, or refused)
  int32_t rate, channels, bits;
  std::vector<int16_t> pcm;  // empty: not compared
};

TEST(SoundReaders, HandMadeLayouts) {
  const std::string stereo16 = BE16(1) + BE16(2) + BE16(0xFFFF) + BE16(0x8000) + BE16(0x7FFF) + BE16(0xFFFE);
  const std::string pcm24 = std::string("\x00\x00\x40", 3) + std::string("\x00\x00\xC0", 3);
  const HandCase cases[] = {
      {"16SV at 44,100 Hz (an unsigned rate word)", IffSound("16SV", 44100, false, BE16(0x1234) + BE16(0xFEDC)), 0, 2,
       44100, 1, 16, {0x1234, int16_t(0xFEDC)}},
      {"16SV stereo comes out interleaved", IffSound("16SV", 8000, true, stereo16), 0, 2, 8000, 2, 16,
       {1, -32768, 2, 32767, -1, -2}},
      {"8SVX stereo comes out interleaved", IffSound("8SVX", 8000, true, "\x01\x02\x03\xF1\xF2\xF3"), 0, 1, 8000, 2, 8,
       {1, -15, 2, -14, 3, -13}},
      {"an odd chunk before BODY keeps its pad byte", IffSound("8SVX", 8000, false, "\x05\x06", Chunk("ANNO", "abc", true)),
       0, 1, 8000, 1, 8, {5, 6}},
      {"a cut BODY gives the frames present", IffSound("8SVX", 8000, false, std::string(10, '\x07'), "", 0, 1000), 0, 1,
       8000, 1, 8, std::vector<int16_t>(10, 7)},
      {"WAVE with an odd chunk before data", WaveSound(1, 1, 8000, 8, "\x80\x90", 16, Chunk("LIST", "xyz", false)), 0, 3,
       8000, 1, 8, {128, 144}},
      {"WAVE with 3 channels reads as mono", WaveSound(1, 3, 8000, 16, LE16(1) + LE16(2) + LE16(3)), 0, 3, 8000, 1, 16,
       {1, 2, 3}},
      {"WAVE with an 18-byte fmt goes to the platform", WaveSound(1, 1, 8000, 16, LE16(100) + LE16(0xFF9C), 18), 0, 0,
       8000, 1, 16, {100, -100}},
      {"WAVE with 24-bit samples goes to the platform", WaveSound(1, 1, 8000, 24, pcm24), 0, 0, 8000, 1, 24,
       {0x4000, -0x4000}},
      {"8SVX with compression goes to the platform", IffSound("8SVX", 8000, false, "\x01\x02", "", 1), 0, 0, 8000, 1, 8,
       {}},
      {"8SVX whose first chunk is not 20 bytes goes to the platform",
       IffSound("8SVX", 8000, false, "\x01\x02", "", 0, -1, 24), 0, 0, 8000, 1, 8, {}},
      {"WAVE without fmt", "RIFF" + LE32(12) + "WAVE" + Chunk("data", "\x01\x02", false), 1235, 0, 0, 0, 0, {}},
      {"a file of nothing known", "hello, this is text and no sound at all", 1235, 0, 0, 0, 0, {}},
  };
  ScratchDir dir;
  for (const HandCase& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = dir.Write("case", c.bytes);
    std::unique_ptr<vkSound> sound;
    const int code = OpenSoundStream(path.c_str(), 0, &sound);
    if (c.code != 0) {
      EXPECT_EQ(code, c.code);
      continue;
    }
    if (c.type == 0 && code != 0) {
      EXPECT_EQ(code, 1235);  // the platform's reader refused it too
      continue;
    }
    ASSERT_EQ(code, 0);
    EXPECT_EQ(sound->formatType, c.type == 0 ? kSoundTypePlatform : c.type);
    EXPECT_EQ(sound->rate, c.rate);
    EXPECT_EQ(sound->channels, c.channels);
    EXPECT_EQ(sound->bits, c.bits);
    if (!c.pcm.empty()) {
      EXPECT_EQ(ReadAll(sound.get()), c.pcm);
    }
  }
}

TEST(SoundReaders, ReadsAndSeeksAtTheEnd) {
  ScratchDir dir;
  std::string body;
  for (int i = 0; i < 100; i++) body += char(i);
  for (const std::string& bytes : {IffSound("8SVX", 1000, false, body), WaveSound(1, 1, 1000, 8, body)}) {
    const std::string path = dir.Write("s", bytes);
    std::unique_ptr<vkSound> sound;
    ASSERT_EQ(OpenSoundStream(path.c_str(), 0, &sound), 0);
    ASSERT_EQ(sound->frames, 100);
    SeekSound(sound.get(), 90);
    EXPECT_EQ(sound->positionMicros.load(), 90000);
    uint8_t buffer[1000];
    int end = 0;
    EXPECT_EQ(ReadSoundFrames(sound.get(), buffer, 1000, &end), 10);
    EXPECT_EQ(end, 1);
    EXPECT_EQ(buffer[0], 90);
    EXPECT_EQ(sound->bytesReadLast, 10);
    EXPECT_EQ(ReadSoundFrames(sound.get(), buffer, 1000, &end), 0);
    SeekSound(sound.get(), 100);  // at the end: ignored
    EXPECT_EQ(sound->position, 100);
    SeekSound(sound.get(), 99);
    EXPECT_EQ(ReadSoundFrames(sound.get(), buffer, 5, nullptr), 1);
    EXPECT_EQ(buffer[0], 99);
  }
}

TEST(SoundReaders, LinkedDataOpensLikeAFile) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox missing";
  ScratchDir dir;
  for (const char* file : {"l.wav", "l.aiff"}) {
    SCOPED_TRACE(file);
    const std::string path = dir / file;
    ASSERT_TRUE(RunTool("sox -n -r 16000 -c 1 -b 16 '" + path + "' synth 0.05 sine 600"));
    const std::string bytes = Slurp(path);
    vkMemoryChunk chunk(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const std::string name = MakeChunkName(file, -1, static_cast<int64_t>(bytes.size()), chunk.key(), nullptr);
    std::unique_ptr<vkSound> fromFile, fromChunk;
    ASSERT_EQ(OpenSoundStream(path.c_str(), 0, &fromFile), 0);
    ASSERT_EQ(OpenSoundStream(name.c_str(), 0, &fromChunk), 0);
    EXPECT_EQ(fromChunk->formatType, fromFile->formatType);
    EXPECT_EQ(fromChunk->frames, 800);
    EXPECT_EQ(ReadAll(fromChunk.get()), ReadAll(fromFile.get()));
  }
}

TEST(SoundSamples, LoadingChecksDepthAndData) {
  ScratchDir dir;
  const std::string wave = dir.Write("w.wav", WaveSound(1, 2, 22050, 16, LE16(1) + LE16(2) + LE16(3) + LE16(4)));
  vkSampleData data;
  int32_t rate = 0, code = -2;
  ASSERT_EQ(LoadSampleData(wave.c_str(), &data, &rate, &code), 0);
  EXPECT_EQ(rate, 22050);
  EXPECT_EQ(code, 5);
  EXPECT_EQ(data.frames, 2);
  EXPECT_EQ(data.bytesPerFrame, 4);

  const std::string deep = dir.Write("d.wav", WaveSound(1, 1, 8000, 24, std::string(6, '\1')));
  EXPECT_EQ(LoadSampleData(deep.c_str(), &data, &rate, &code), 1299);
  EXPECT_EQ(LoadSampleData((dir / "missing.wav").c_str(), &data, &rate, &code), 1045);
  EXPECT_EQ(IsSoundFile(wave.c_str()), 1);
  EXPECT_EQ(IsSoundFile((dir / "missing.wav").c_str()), 0);
  if (HaveTool("sox")) {
    const std::string ogg = dir / "o.ogg";
    ASSERT_TRUE(RunTool("sox -n -r 22050 '" + ogg + "' synth 0.1 sine 440"));
    EXPECT_EQ(LoadSampleData(ogg.c_str(), &data, &rate, &code), 1279);  // compressed: no bits
  }
  const int8_t bytes[] = {1, -2, 3};
  ASSERT_EQ(CreateSampleData(bytes, 3, &data), 0);
  EXPECT_EQ(data.frames, 3);
  EXPECT_EQ(SampleFormatCode(data.channels, data.bits, data.flags), 2);
}

// A FLAC file whose header claims the largest length its field holds (2^36
// frames, a quarter of a terabyte here) loads what decodes, without asking
// for the claim first.
TEST(SoundSamples, ASampleLoadsWhatDecodesNotWhatItsHeaderClaims) {
  if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
  ScratchDir dir;
  const std::string flac = dir / "f.flac";
  ASSERT_TRUE(RunTool("sox -n -r 8000 -c 2 -b 16 '" + flac + "' synth 0.1 sine 440"));
  vkSampleData data;
  int32_t rate = 0, code = -2;
  ASSERT_EQ(LoadSampleData(flac.c_str(), &data, &rate, &code), 0);
  ASSERT_EQ(data.frames, 800);
  const std::string pcm(reinterpret_cast<const char*>(data.data.get()), size_t(data.frames * data.bytesPerFrame));
  std::string bytes = ReadWholeFile(flac);
  ASSERT_EQ(bytes.substr(0, 4), "fLaC");
  bytes[21] = char(bytes[21] | 0x0F);  // the stream information's 36-bit length
  for (size_t j = 22; j < 26; j++) bytes[j] = '\xFF';
  const std::string claimed = dir.Write("c.flac", bytes);
  ASSERT_EQ(LoadSampleData(claimed.c_str(), &data, &rate, &code), 0);
  ASSERT_EQ(data.frames, 800);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data.get()), pcm.size()), pcm);
}

TEST(SoundSamples, FormatCodes) {
  struct Row {
    int32_t channels, bits, flags, code, bytes;
  };
  const Row rows[] = {{1, 8, 0, 0, 1},  {2, 8, 0, 1, 2},  {1, 8, 2, 2, 1},   {2, 8, 2, 3, 2},
                      {1, 16, 3, 4, 2}, {2, 16, 3, 5, 4}, {1, 24, 3, -1, 0}, {3, 16, 3, -1, 0}};
  for (const Row& r : rows) {
    EXPECT_EQ(SampleFormatCode(r.channels, r.bits, r.flags), r.code);
    EXPECT_EQ(BytesPerFrame(r.code), r.bytes);
  }
}

// A byte source over a string, for the bit-rate parse.
class StringSource : public vkOSByteSource {
 public:
  explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t ReadAt(int64_t offset, void* buffer, int64_t count) override {
    if (offset < 0 || offset >= static_cast<int64_t>(bytes_.size())) return 0;
    count = std::min<int64_t>(count, static_cast<int64_t>(bytes_.size()) - offset);
    std::memcpy(buffer, bytes_.data() + offset, static_cast<size_t>(count));
    return count;
  }
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }

 private:
  std::string bytes_;
};

TEST(SoundBitRates, FrameHeadersTagsAndVariableRates) {
  struct Row {
    const char* label;
    std::string bytes;
    int32_t kbps;
    int64_t tag;
    bool variable;
  };
  const std::string pad(2000, '\0');
  const std::string tag = "ID3" + std::string("\x03\x00\x00", 3) + std::string("\x00\x00\x01\x00", 4);  // 128 bytes
  const std::string footerTag = "ID3" + std::string("\x04\x00\x10", 3) + std::string("\x00\x00\x00\x10", 4);
  const Row rows[] = {
      {"MPEG-1 layer III, 128", "\xFF\xFB\x90\x00" + pad, 128, 0, false},
      {"MPEG-1 layer I, 448", "\xFF\xFF\xE0\x00" + pad, 448, 0, false},
      {"MPEG-1 layer II, 384", "\xFF\xFD\xE0\x00" + pad, 384, 0, false},
      {"MPEG-2 layer III, 64", "\xFF\xF3\x80\x00" + pad, 64, 0, false},
      {"MPEG-2 layer I, 256", "\xFF\xF7\xE0\x00" + pad, 256, 0, false},
      {"MPEG-2.5 gives none", "\xFF\xE3\x90\x00" + pad, 0, 0, false},
      {"a bad rate index gives none", "\xFF\xFB\xF0\x00" + pad, 0, 0, false},
      {"behind an ID3v2 tag", tag + std::string(128, 'x') + "\xFF\xFB\x90\x00" + pad, 128, 138, false},
      {"behind a tag with a footer", footerTag + std::string(26, 'x') + "\xFF\xFB\x90\x00" + pad, 128, 36, false},
      {"a tag past what the first read holds", "ID3" + std::string("\x03\x00\x00", 3) +
                                                   std::string("\x00\x01\x00\x00", 4) + std::string(16384, 'x') +
                                                   "\xFF\xFB\x90\x00" + pad,
       128, 16394, false},
      {"Xing marks a variable rate", "\xFF\xFB\x90\x00" + std::string(32, '\0') + "Xing" + pad, 128, 0, true},
      {"too short to say", "\xFF\xFB\x90\x00" + std::string(100, '\0'), 0, 0, false},
      {"no frame", std::string(3000, 'z'), 0, 0, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    StringSource source(r.bytes);
    const vkMpegRateInfo info = vkosParseMpegBitRate(source);
    EXPECT_EQ(info.kbps, r.kbps);
    EXPECT_EQ(info.tagBytes, r.tag);
    EXPECT_EQ(info.variable, r.variable);
  }
}

TEST(SoundBitRates, StreamsReportTheirRate) {
  ScratchDir dir;
  const std::string wave = dir.Write("w.wav", WaveSound(1, 2, 44100, 16, std::string(4000, '\0')));
  std::unique_ptr<vkSound> sound;
  ASSERT_EQ(OpenSoundStream(wave.c_str(), 1, &sound), 0);
  EXPECT_EQ(GetMusicInfo(5, kMusicStream, sound.get()), 4 * 44100 / 1024 * 8);
  EXPECT_EQ(GetMusicInfo(0, kMusicStream, sound.get()), 1000 * 1000 / 44100);
  if (HaveTool("ffmpeg")) {
    const std::string mp3 = dir / "m.mp3";
    ASSERT_TRUE(RunTool("ffmpeg -v quiet -f lavfi -i sine=frequency=440:duration=1 -ar 44100 -c:a libmp3lame -b:a 128k '" +
                    mp3 + "'"));
    ASSERT_EQ(OpenSoundStream(mp3.c_str(), 1, &sound), 0);
    EXPECT_EQ(GetMusicInfo(5, kMusicStream, sound.get()), 128);
    EXPECT_STREQ(GetMusicFormatName(kMusicStream, sound.get()), "MPEG Audio");
  }
}

}  // namespace
