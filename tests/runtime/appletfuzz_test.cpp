// Fuzzing the applet reader: plain and packed applets with every kind of
// record are mutated (bytes flipped, cut, sizes made huge, pieces repeated)
// and read. Each read must end in an applet whose linked data lies inside its
// file or in the reader's error code, never in a crash or an over-read (run
// under the sanitizer build). A short seeded run belongs to every test pass;
// VK_FUZZ_ITERATIONS runs longer, and VK_FUZZ_CORPUS names a folder of files
// to replay.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "io/packfiles.h"
#include "runtime/appletreader.h"
#include "support/appletbytes.h"
#include "support/appletfuzz.h"
#include "tests/common/fuzzmutate.h"
#include "tests/common/scratchdir.h"

namespace {

using namespace appletbytes;

uint32_t Fuzz(const std::string& bytes) {
  return FuzzAppletReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::vector<std::string> Seeds(const ScratchDir& dir) {
  const std::string blob = "logo.png" + std::string(1, '\0') + "DATA";
  const uint32_t nameAt = 4 + 3 + 5;  // magic, version record, tag 0 head
  Rec records;
  records.Byte(0).Word(uint32_t(blob.size())).Raw(blob);
  records.Byte(2).Word(3);
  records.Raw(PreloadHead(1, 5, nameAt, 8, nameAt + 9, 4).b).Half(10).Half(20).Half(-1).Half(3).Half(128);
  records.Raw(PreloadHead(5, 6).b).Half(1).Half(2).Half(30).Half(40);
  records.Raw(DisplayRecord(2, "Title").b);
  records.Byte(3).Half(800).Half(600).Byte(18).Byte(0).Byte(28).Byte(1).Word(50).Word(60).Byte(1);
  records.Byte(4).Half(4).Raw("Demo").Byte(5).Word(0xABCDEF).Byte(7).Byte(11).Str("first text");
  records.Byte(9).Word(1).Word(42).Str("Start");
  records.Byte(27).Word(1).Word(1).Word(99).Word(0).Str("main.src").Str("@main");
  records.Byte(26).Word(2).Word(0).Str("a.txt").Word(3).Raw("abc").Str("b.txt").Word(0xFFFFFFFF).Word(2).Word(4);
  records.Byte(23).Byte(16).Byte(29);
  std::vector<std::string> seeds = {Applet(records.b), Applet("")};
  // The first one packed as well.
  const std::string plain = dir.Write("plain.vka", seeds[0]);
  const std::string packed = dir / "packed.vkz";
  if (CompressToPack(kPackedAppletMagic, plain.c_str(), packed.c_str(), nullptr) == 0)
    seeds.push_back(ReadWholeFile(packed));
  return seeds;
}

TEST(AppletFuzz, MutatedAppletsGiveAnAppletOrAnError) {
  ScratchDir dir;
  const std::vector<std::string> seeds = Seeds(dir);
  ASSERT_EQ(seeds.size(), 3u);
  for (const std::string& seed : seeds) ASSERT_EQ(Fuzz(seed), 0u);
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  const long iterations = env ? std::strtol(env, nullptr, 10) : 600;
  std::mt19937 rng(20261211);
  for (long i = 0; i < iterations; i++) {
    SCOPED_TRACE(i);
    Fuzz(fuzzmutate::Mutate(seeds[size_t(i) % seeds.size()], rng));
  }
}

TEST(AppletFuzz, CorpusReplays) {
  const char* corpus = std::getenv("VK_FUZZ_CORPUS");
  if (!corpus) GTEST_SKIP() << "VK_FUZZ_CORPUS not set";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    Fuzz(ReadWholeFile(entry.path().string()));
  }
}

}  // namespace
