// The anim file readers. GIF anims made by ImageMagick and by our own writer
// are read in order, backwards, out of order and at random, and every frame
// must equal a compositor over giflib; hand-made GIF bytes show each damaged
// or unusual stream. IFF ANIMs come from a writer on the test side (raw and
// packed bodies, extra half-brite, palette changes, both interleaves) and
// are judged by ffmpeg and by the frames they were made from.
#include "pixel/animfiles.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "base/errorinfo.h"
#include "pixel/gifwriter.h"
#include "tests/pixel/support/gifbytes.h"
#include "tests/pixel/support/gifcompose.h"
#include "tests/pixel/support/iffanimbytes.h"
#include "tests/pixel/support/picturetools.h"

namespace {

using picturetools::HaveTool;
using picturetools::RunTool;

struct Opened {
  vkAnimReader* handle = nullptr;
  int32_t status = -1, width = 0, height = 0, frames = 0;
  explicit Opened(const std::string& path) { status = OpenAnimFile(path.c_str(), &handle, &width, &height, &frames); }
  ~Opened() { CloseAnimFile(handle); }
  std::vector<uint32_t> Frame(int32_t n) {
    uint32_t* p = ReadAnimFrame(handle, n);
    if (!p) return {};
    std::vector<uint32_t> v(p, p + size_t(width) * height);
    std::free(p);
    return v;
  }
};

// Reads every frame in [order] and compares it with the compositor's.
void ExpectFramesInOrder(const std::string& path, const gifcompose::Anim& want, const std::vector<int32_t>& order) {
  Opened anim(path);
  ASSERT_EQ(anim.status, 0);
  ASSERT_EQ(anim.frames, int32_t(want.frames.size()));
  ASSERT_EQ(anim.width, want.width);
  for (int32_t n : order) {
    SCOPED_TRACE(testing::Message() << "frame " << n);
    EXPECT_EQ(anim.Frame(n), want.frames[size_t(n)]);
    EXPECT_EQ(GetAnimFrameDelay(anim.handle, n), want.delaysMs[size_t(n)]);
  }
}

std::vector<std::vector<int32_t>> Orders(int32_t count) {
  std::vector<int32_t> forward(static_cast<size_t>(count)), backward;
  for (int32_t i = 0; i < count; i++) forward[size_t(i)] = i;
  backward.assign(forward.rbegin(), forward.rend());
  std::vector<int32_t> random;
  std::mt19937 rng(424242);
  for (int i = 0; i < 3 * count; i++) random.push_back(int32_t(rng() % uint32_t(count)));
  std::vector<int32_t> fiveThenZero{std::min(5, count - 1), 0, 1, std::min(5, count - 1)};
  return {forward, backward, fiveThenZero, random};
}

class AnimFiles : public testing::Test {
 protected:
  ScratchDir dir;
};

TEST_F(AnimFiles, GifAnimsEqualTheCompositor) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  // Offsets, each disposal, a transparent image, an interlaced file, local
  // palettes (frames of different colours) and full-screen restart points.
  const std::string frames =
      "-dispose None -delay 7 -size 40x30 gradient:navy-gold "
      "-dispose Background -delay 12 -page +5+4 \\( -size 10x8 gradient:red-cyan \\) "
      "-dispose Previous -delay 3 -page +20+10 \\( -size 14x12 xc:none -fill lime -draw 'circle 7,6 7,1' \\) "
      "-dispose None -delay 0 -page +0+0 \\( -size 40x30 gradient:white-purple \\) "
      "-dispose None -delay 20 -page +30+22 \\( -size 10x8 xc:orange \\) "
      "-dispose Background -delay 5 -page +1+2 \\( -size 16x16 xc:none -fill blue -draw 'rectangle 2,2 9,9' \\) "
      "-dispose None -delay 9 -page +0+0 \\( -size 40x30 gradient:teal-black \\) ";
  struct Case {
    const char* name;
    std::string options;
  };
  const Case cases[] = {
      {"plain", ""},
      {"interlaced", "-interlace GIF"},
      {"optimized", "-layers optimize"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir / (std::string(c.name) + ".gif");
    ASSERT_TRUE(RunTool("convert " + frames + c.options + " " + path));
    const gifcompose::Anim want = gifcompose::Compose(path);
    ASSERT_TRUE(want.ok);
    for (const auto& order : Orders(int32_t(want.frames.size()))) ExpectFramesInOrder(path, want, order);
    EXPECT_EQ(IsAnimFile(path.c_str()), 1);
  }
}

TEST_F(AnimFiles, OurOwnGifAnimsReadBack) {
  // Frames cut to their changed rectangle with unchanged pixels transparent.
  const std::string path = dir / "ours.gif";
  vkGIFWriter* w = nullptr;
  ASSERT_EQ(OpenGIFWriter(path.c_str(), 24, 18, &w), 0u);
  std::mt19937 rng(5);
  std::vector<uint8_t> idx(24 * 18, 0);
  uint32_t palette[256];
  for (int i = 0; i < 256; i++) palette[i] = uint32_t(i) * 0x010305u & 0xFFFFFF;
  for (int f = 0; f < 6; f++) {
    for (int k = 0; k < 40; k++) idx[rng() % idx.size()] = uint8_t(rng() % 15);
    std::vector<uint8_t> copy = idx;
    ASSERT_EQ(WriteGIFFrame(w, copy.data(), 24, 18, 40 + f * 10, palette, 16, -1, 1), 0u);
  }
  ASSERT_EQ(CloseGIFWriter(w), 0u);
  const gifcompose::Anim want = gifcompose::Compose(path);
  ASSERT_TRUE(want.ok);
  for (const auto& order : Orders(6)) ExpectFramesInOrder(path, want, order);
}

// Hand-made files, one per behaviour worth pinning down.
TEST_F(AnimFiles, HandMadeGifStreams) {
  using namespace gifbytes;
  const std::vector<uint8_t> four{1, 2, 3, 0, 3, 2, 1, 0};  // 4 x 2 pixels
  const std::string image = Descriptor(0, 0, 4, 2) + CodeData(2, Literals(2, four));
  // 64 x 80 literals of one colour each: the table fills without a clear.
  std::vector<uint8_t> many(64 * 80);
  for (size_t i = 0; i < many.size(); i++) many[i] = uint8_t(i * 7 % 256);
  struct Case {
    const char* name;
    std::string bytes;
    int32_t status, frames;
  };
  const Case cases[] = {
      {"two plain frames", Header(4, 2, 2) + image + Control(0, 5, -1) + image + ";", 0, 2},
      {"block bytes in leftover image data",
       Header(4, 2, 2) + Descriptor(0, 0, 4, 2) + CodeData(2, Literals(2, four), "\x21\x2C\x3B\x2C\x2C") + image + ";",
       0, 2},
      {"no image", Header(4, 2, 2) + Control(0, 5, -1) + ";", 1356, 0},
      {"no trailer", Header(4, 2, 2) + image + image, 0, 2},
      {"first code after a clear is the next free one",
       Header(4, 2, 2) + Descriptor(0, 0, 4, 2) + CodeData(2, {4, 6, 1, 1, 1, 1, 1, 1, 1, 5}) + ";", 1356, 0},
      {"code above the next free one",
       Header(4, 2, 2) + Descriptor(0, 0, 4, 2) + CodeData(2, {4, 1, 2, 3, 9, 1, 1, 1, 5}) + ";", 1356, 0},
      {"data ends early", Header(4, 2, 2) + Descriptor(0, 0, 4, 2) + CodeData(2, {4, 1, 2, 3}) + ";", 1356, 0},
      {"minimum code size 9", Header(4, 2, 2) + Descriptor(0, 0, 4, 2) + std::string("\x09\x01\x00\x00;", 5), 1356, 0},
      {"cut inside the image data", (Header(4, 2, 2) + image).substr(0, 30), 1356, 0},
      {"full table without a clear",
       Header(64, 80, 8) + Descriptor(0, 0, 64, 80) + CodeData(8, Literals(8, many)) + image + ";", 0, 2},
      {"not a gif", "GIF90a" + Header(4, 2, 2).substr(6) + image + ";", 1356, 0},
      {"empty screen", Header(0, 2, 2) + image + ";", 1356, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.Write("hand.gif", c.bytes);
    Opened anim(path);
    EXPECT_EQ(anim.status, c.status);
    if (c.status) {
      EXPECT_EQ(ErrorInfo().errorText, path);
      continue;
    }
    EXPECT_EQ(anim.frames, c.frames);
    const gifcompose::Anim want = gifcompose::Compose(path);
    for (int32_t n = 0; n < anim.frames && want.ok; n++) EXPECT_EQ(anim.Frame(n), want.frames[size_t(n)]) << n;
  }
}

TEST_F(AnimFiles, GifFramesDoNotInheritTheTargetFramesState) {
  using namespace gifbytes;
  // Frame 0: local palette, transparency, disposal 0. Frame 1: no control
  // block, global palette, covering part of the screen and reaching past it.
  const std::vector<uint8_t> a{1, 1, 2, 2, 3, 3, 0, 0, 1, 2, 3, 0};
  const std::vector<uint8_t> b(5 * 5, 2);
  const std::string bytes = Header(6, 2, 2, 3) + Control(0, 4, 1) + Descriptor(0, 0, 6, 2, 2) +
                            CodeData(2, Literals(2, a)) + Descriptor(3, 1, 5, 5) + CodeData(2, Literals(2, b)) +
                            Control(2, 8, 3) + Descriptor(1, 0, 2, 2) + CodeData(2, Literals(2, {3, 3, 0, 0})) +
                            Descriptor(0, 0, 1, 1) + CodeData(2, Literals(2, {1})) + ";";
  const std::string path = dir.Write("state.gif", bytes);
  const gifcompose::Anim want = gifcompose::Compose(path);
  ASSERT_TRUE(want.ok);
  for (const auto& order : Orders(4)) ExpectFramesInOrder(path, want, order);
  // A single frame opens but is no anim.
  const std::string one = dir.Write("one.gif", Header(6, 2, 2) + Descriptor(0, 0, 6, 2) + CodeData(2, Literals(2, a)) + ";");
  EXPECT_EQ(Opened(one).status, 0);
  EXPECT_EQ(IsAnimFile(one.c_str()), 0);
  EXPECT_EQ(IsAnimFile((dir / "missing.gif").c_str()), 0);
  Opened missing(dir / "missing.gif");
  EXPECT_EQ(missing.status, 1045);
}

TEST_F(AnimFiles, IffAnimsEqualTheirFrames) {
  using iffanimbytes::Options;
  struct Case {
    const char* name;
    Options options;
  };
  const Case cases[] = {
      {"packed, two buffers", Options{}},
      {"raw body", [] { Options o; o.compressed = false; return o; }()},
      {"extra half-brite", [] { Options o; o.planes = 6; o.halfBrite = true; return o; }()},
      {"palette changes", [] { Options o; o.paletteChanges = true; return o; }()},
      {"interleave one, xor", [] { Options o; o.interleave = 1; return o; }()},
      {"odd width, masked", [] { Options o; o.width = 21; o.masking = true; return o; }()},
      {"dpan count", [] { Options o; o.dpan = true; return o; }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const iffanimbytes::Anim made = iffanimbytes::Make(c.options);
    const std::string path = dir.Write("a.anim", made.bytes);
    Opened anim(path);
    ASSERT_EQ(anim.status, 0);
    ASSERT_EQ(anim.frames, int32_t(made.frames.size()));
    for (const auto& order : Orders(anim.frames)) {
      for (int32_t n : order) {
        EXPECT_EQ(anim.Frame(n), made.frames[size_t(n)]) << "frame " << n;
        EXPECT_EQ(GetAnimFrameDelay(anim.handle, n), int32_t(made.reltimes[size_t(n)] * 1000 / 60)) << n;
      }
    }
  }
}

TEST_F(AnimFiles, IffAnimsAsFfmpegSeesThem) {
  if (!HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  // Both interleaves; reltimes differ per frame, so ffmpeg keeps each frame once.
  for (int32_t interleave : {0, 1}) {
  SCOPED_TRACE(interleave ? "interleave 1" : "interleave 0");
  iffanimbytes::Options o;
  o.interleave = interleave;
  const iffanimbytes::Anim made = iffanimbytes::Make(o);
  const std::string path = dir.Write("a.anim", made.bytes);
  const std::string raw = dir / "frames.rgb";
  ASSERT_TRUE(RunTool("ffmpeg -v error -y -i " + path + " -vsync passthrough -f rawvideo -pix_fmt rgb24 " + raw));
  std::ifstream in(raw, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t frameBytes = size_t(made.width) * made.height * 3;
  ASSERT_GE(bytes.size() / frameBytes, made.frames.size());
  Opened anim(path);
  ASSERT_EQ(anim.status, 0);
  for (size_t n = 0; n < made.frames.size(); n++) {
    const std::vector<uint32_t> ours = anim.Frame(int32_t(n));
    std::vector<uint32_t> theirs(ours.size());
    for (size_t i = 0; i < theirs.size(); i++) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data()) + n * frameBytes + i * 3;
      theirs[i] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    EXPECT_EQ(ours, theirs) << "frame " << n;
  }
  }
}

TEST_F(AnimFiles, IffAnimEdges) {
  using iffanimbytes::Options;
  // DPAN promises 10 frames where 4 follow: 10 frames, the missing ones null.
  Options o;
  o.dpan = true;
  o.dpanFrames = 10;
  iffanimbytes::Anim made = iffanimbytes::Make(o);
  {
    Opened anim(dir.Write("dpan.anim", made.bytes));
    ASSERT_EQ(anim.status, 0);
    EXPECT_EQ(anim.frames, 10);
    EXPECT_TRUE(anim.Frame(9).empty());
    EXPECT_EQ(anim.Frame(2), made.frames[2]);  // still usable
  }
  // The last frame resets the reader; frame 0 follows without seeking back,
  // with the first palette restored after palette changes.
  o = Options{};
  o.paletteChanges = true;
  made = iffanimbytes::Make(o);
  {
    Opened anim(dir.Write("last.anim", made.bytes));
    const int32_t last = anim.frames - 1;
    EXPECT_EQ(anim.Frame(last), made.frames[size_t(last)]);
    EXPECT_EQ(anim.Frame(0), made.frames[0]);
    EXPECT_EQ(anim.Frame(1), made.frames[1]);
  }
  // Damage: each gives 1356 or frames, never a crash.
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    int32_t status;
  };
  made = iffanimbytes::Make(Options{});
  const Case cases[] = {
      {"single frame", [](std::string& s) { s = iffanimbytes::Make([] { Options x; x.frames = 1; return x; }()).bytes; }, 1356},
      {"nine planes", [](std::string& s) { s[s.find("BMHD") + 16] = 9; }, 1356},
      {"zero width", [](std::string& s) { s[s.find("BMHD") + 8] = 0, s[s.find("BMHD") + 9] = 0; }, 1356},
      {"operation 7", [](std::string& s) { s[s.rfind("ANHD") + 8] = 7; }, 0},
      {"odd chunk before the body", [](std::string& s) {
         const size_t body = s.find("BODY");
         s.insert(body, std::string("XTRA\0\0\0\x03pqr\0", 12));
         const uint32_t size = uint32_t(s.size() - 8);
         s[4] = char(size >> 24), s[5] = char(size >> 16), s[6] = char(size >> 8), s[7] = char(size);
         // the first FORM ILBM grows by the same 12 bytes
         uint32_t ilbm = uint32_t(uint8_t(s[16])) << 24 | uint32_t(uint8_t(s[17])) << 16 |
                         uint32_t(uint8_t(s[18])) << 8 | uint8_t(s[19]);
         ilbm += 12;
         s[16] = char(ilbm >> 24), s[17] = char(ilbm >> 16), s[18] = char(ilbm >> 8), s[19] = char(ilbm);
       }, 0},
      {"huge delta offsets", [](std::string& s) {
         const size_t d = s.rfind("DLTA") + 8;
         for (int i = 0; i < 8; i++) s[d + size_t(i)] = '\x7f';
       }, 0},
      {"cut in the body", [](std::string& s) { s.resize(s.find("BODY") + 12); }, 1356},
      {"cut in a delta", [](std::string& s) { s.resize(s.rfind("DLTA") + 20); }, 0},
      {"a huge CMAP", [](std::string& s) {
         const size_t c = s.find("CMAP") + 4;
         s[c] = 0, s[c + 1] = 0, s[c + 2] = 0x0C, s[c + 3] = 0;  // 1024 entries claimed
       }, 1356},
      {"more pixels than a picture may have", [](std::string& s) {
         // 16384 x 8193 in one plane, one pixel row past the picture limit,
         // and a last FORM of 0x81 bytes (runs of 128) that the packed body
         // runs on into, so that the body holds what the size asks for.
         const size_t h = s.find("BMHD") + 8;
         s[h] = 0x40, s[h + 1] = 0, s[h + 2] = 0x20, s[h + 3] = 0x01, s[h + 8] = 1;
         const uint32_t pad = 300000;
         s += "FORM";
         for (int i = 3; i >= 0; i--) s += char((pad + 4) >> (8 * i) & 255);
         s += "XTRA" + std::string(pad, '\x81');
       }, 1356},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes = made.bytes;
    c.damage(bytes);
    Opened anim(dir.Write("bad.anim", bytes));
    EXPECT_EQ(anim.status, c.status);
    for (int32_t n = anim.frames - 1; n >= 0 && !anim.status; n--) {
      const std::vector<uint32_t> f = anim.Frame(n);
      EXPECT_TRUE(f.empty() || f.size() == size_t(anim.width) * anim.height);
    }
  }
}

}  // namespace
