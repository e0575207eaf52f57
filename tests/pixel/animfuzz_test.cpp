// Fuzzing the anim readers: GIF and IFF ANIM files made on the test side are
// mutated (bytes flipped, cut, sizes made huge, pieces repeated) and opened;
// every frame is read forwards and backwards. Each open must end in a reader
// or error 1356, each frame in pixels or null, never in a crash or an
// over-read (run under the sanitizer build). A short seeded run belongs to
// every test pass; VK_FUZZ_ITERATIONS runs longer, and VK_FUZZ_CORPUS names a
// folder of files to replay.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/common/scratchdir.h"
#include "tests/common/fuzzmutate.h"
#include "tests/pixel/support/animfuzz.h"
#include "tests/pixel/support/gifbytes.h"
#include "tests/pixel/support/iffanimbytes.h"

namespace {

std::vector<std::string> Seeds() {
  using namespace gifbytes;
  std::vector<std::string> seeds;
  std::vector<uint8_t> px(6 * 5);
  for (size_t i = 0; i < px.size(); i++) px[i] = uint8_t(i % 4);
  seeds.push_back(Header(8, 6, 2, 1) + Control(1, 3, 2) + Descriptor(0, 0, 6, 5, 2) + CodeData(2, Literals(2, px)) +
                  Control(2, 4, 0) + Descriptor(2, 1, 6, 5, 0, true) + CodeData(2, Literals(2, px)) +
                  std::string("\x21\xFE\x03" "abc\x00", 7) + Control(3, 1, -1) + Descriptor(3, 3, 6, 5) + CodeData(2, Literals(2, px)) +
                  Descriptor(0, 0, 8, 6) + CodeData(3, Literals(3, std::vector<uint8_t>(48, 5))) + ";");
  iffanimbytes::Options o;
  o.width = 12, o.height = 6, o.frames = 4;
  seeds.push_back(iffanimbytes::Make(o).bytes);
  o.interleave = 1, o.compressed = false, o.paletteChanges = true;
  seeds.push_back(iffanimbytes::Make(o).bytes);
  return seeds;
}

TEST(AnimFuzz, MutatedFilesOpenOrFailCleanly) {
  ScratchDir dir;
  const std::vector<std::string> seeds = Seeds();
  for (const std::string& seed : seeds) ASSERT_EQ(FuzzAnimFile(dir.Write("seed", seed)), 0);
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  const long iterations = env ? std::strtol(env, nullptr, 10) : 600;
  std::mt19937 rng(20261210);
  for (long i = 0; i < iterations; i++) {
    SCOPED_TRACE(i);
    FuzzAnimFile(dir.Write("case", fuzzmutate::Mutate(seeds[size_t(i) % seeds.size()], rng)));
  }
}

TEST(AnimFuzz, CorpusReplays) {
  const char* corpus = std::getenv("VK_FUZZ_CORPUS");
  if (!corpus) GTEST_SKIP() << "VK_FUZZ_CORPUS not set";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    FuzzAnimFile(entry.path().string());
  }
}

}  // namespace
