// IsPicture's probe of picture headers under damaged input: pictures of
// every format the player reads, cut short and with bytes changed at every
// place of their headers and at random places, are probed from files. Each
// probe must give a size or one of the loader's errors, never a crash or an
// over-read (the sanitizer build checks), and a probe that succeeds must
// report a size the full loader agrees with.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/errorcodes.h"
#include "graphics/picturesave.h"
#include "pixel/bitmap.h"
#include "pixel/picturefile.h"
#include "tests/common/scratchdir.h"

namespace {

// The seeds: one small picture in each format, as our writers make them.
std::vector<std::string> Seeds(const ScratchDir& dir) {
  std::vector<uint32_t> px(7 * 5);
  for (size_t i = 0; i < px.size(); i++) px[i] = 0x80000000u | uint32_t(i * 0x071321);
  std::vector<std::string> seeds;
  const vkSaveOptions options;
  for (int32_t format : {IMGFMT_BMP, IMGFMT_PNG, IMGFMT_JPEG, IMGFMT_GIF, IMGFMT_ILBM}) {
    const std::string path = dir / ("seed" + std::to_string(format));
    EXPECT_EQ(SaveARGBToFile(format, px.data(), 7, 5, path.c_str(), -1, format == IMGFMT_PNG, options), 0);
    seeds.push_back(ReadWholeFile(path));
  }
  return seeds;
}

void Probe(const ScratchDir& dir, const std::string& bytes) {
  const std::string path = dir.Write("probe", bytes);
  int32_t w = -1, h = -1;
  bool alpha = false;
  const uint32_t rc = ProbePictureFile(path.c_str(), &w, &h, &alpha);
  if (rc != 0) {
    EXPECT_TRUE(rc == kErrUnknownPicture || rc == kErrCannotRead || rc == kErrOutOfMemory) << rc;
    return;
  }
  EXPECT_GE(w, 1);
  EXPECT_GE(h, 1);
  // Where the whole picture loads, it has the size the probe gave.
  uint32_t* pixels = nullptr;
  int32_t lw = 0, lh = 0;
  if (LoadPictureFile(path.c_str(), PICTURE_ALPHA_DROP, &pixels, nullptr, nullptr, nullptr, &lw, &lh) == 0) {
    vkBufferPtr<uint32_t> owned(pixels);
    EXPECT_EQ(lw, w);
    EXPECT_EQ(lh, h);
  }
}

TEST(PictureProbeFuzz, DamagedHeadersGiveErrorsNeverCrashes) {
  ScratchDir dir;
  std::mt19937 random(19);
  for (const std::string& seed : Seeds(dir)) {
    ASSERT_FALSE(seed.empty());
    SCOPED_TRACE(seed.substr(0, 4));
    Probe(dir, seed);
    for (size_t cut = 0; cut < seed.size(); cut += 1 + cut / 8) Probe(dir, seed.substr(0, cut));
    const size_t header = std::min<size_t>(seed.size(), 96);
    for (size_t at = 0; at < header; at++)
      for (char value : {'\0', '\x7F', '\xFF'}) {
        std::string damaged = seed;
        damaged[at] = value;
        Probe(dir, damaged);
      }
    for (int round = 0; round < 200; round++) {
      std::string damaged = seed;
      for (int n = 0; n < 4; n++) damaged[random() % damaged.size()] = char(random());
      Probe(dir, damaged.substr(0, damaged.size() - random() % 8));
    }
  }
}

}  // namespace
