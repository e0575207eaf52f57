// Fuzzing the table and function readers: records written by the writers are
// mutated (bytes flipped, cut, lengths made huge, pieces repeated) and read
// back; every read must end in a table or function or in a known error code,
// never in a crash or an over-read (run under the sanitizer build); the
// checks are the fuzz entry point's, shared with serialise_fuzzer. A short
// seeded run belongs to every test pass; VK_FUZZ_ITERATIONS runs longer, and
// VK_FUZZ_CORPUS names a folder of files to replay through both readers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "runtime/serialise.h"
#include "support/dostest.h"
#include "support/serialisefuzz.h"

using namespace dostest;

namespace {

class SerialiseFuzz : public DosTest {
 protected:
  // Reads [bytes] with the table reader, then with the function reader,
  // through the fuzz entry point, which traps on a code neither may give or
  // a handle left past its file's end.
  void ReadBoth(const std::string& bytes) {
    FuzzSerialiseReaders(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    std::string path = dir / "seed";
    for (int form = 0; form < 4; form++) {
      vkFileHandle* h = Open(path, MODE_WRITE, 1);
      vmNewTable(L);
      vmPushString(L, "name");
      vmPushString(L, "value");
      vmSetTable(L, -3);
      vmPushNumber(L, 2);
      vmNewTable(L);
      vmPushNumber(L, 0);
      PushFunction(ReturnListing(form, form * 10));
      vmSetTable(L, -3);
      vmSetTable(L, -3);
      if (form < 2) {
        EXPECT_EQ(WriteTableRecord(L, -1, h, form == 1), 0u);
      } else {
        PushFunction(ReturnListing(1, 25));
        EXPECT_EQ(WriteFunctionRecord(L, -1, h, form == 3), 0u);
      }
      CloseAllFileHandles(L);
      vmSetTop(L, 0);
      seeds.push_back(ReadWholeFile(path));
    }
    return seeds;
  }
};

std::string Mutate(std::string s, std::mt19937& rng) {
  int steps = 1 + rng() % 4;
  for (int i = 0; i < steps && !s.empty(); i++) {
    size_t at = rng() % s.size();
    switch (rng() % 6) {
      case 0: s[at] = static_cast<char>(rng()); break;
      case 1: s[at] ^= static_cast<char>(1 << (rng() % 8)); break;
      case 2: s.resize(at); break;
      case 3:  // a huge length or a hexadecimal one
        for (size_t j = at; j < s.size() && j < at + 4; j++) s[j] = rng() % 2 ? '\xff' : 'f';
        break;
      case 4: s.insert(at, s.substr(at, rng() % 16)); break;
      case 5: s[at] = "\x00\x02\x03\x04\x05="[rng() % 6]; break;
    }
  }
  return s;
}

TEST_F(SerialiseFuzz, MutatedRecordsEndInAResultOrAnError) {
  std::vector<std::string> seeds = Seeds();
  for (const std::string& seed : seeds) ReadBoth(seed);
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  long iterations = env ? std::strtol(env, nullptr, 10) : 400;
  std::mt19937 rng(20261210);
  for (long i = 0; i < iterations; i++) {
    SCOPED_TRACE(i);
    ReadBoth(Mutate(seeds[i % seeds.size()], rng));
    if (HasFailure()) break;
  }
}

TEST_F(SerialiseFuzz, CorpusReplays) {
  const char* corpus = std::getenv("VK_FUZZ_CORPUS");
  if (!corpus) GTEST_SKIP() << "VK_FUZZ_CORPUS not set";
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    ReadBoth(ReadWholeFile(entry.path().string()));
  }
}

}  // namespace
