// Replays a seed corpus of valid chunks (both byte orders) through the
// loader's fuzz entry point, with a fixed number of deterministic mutations
// of each (bit flips, interesting bytes and words, cuts, repeats), so that
// CI runs the fuzz target for a short fixed time under the sanitizers.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/vmtest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using namespace vktest;

std::vector<std::string> seeds() {
  const char* listings[] = {
      "LOADK 0 #1\nADD 0 0 #2\nRETURN 0 2\n",
      "NEWTABLE 0 0 2\nLOADK 1 #10\nLOADK 2 \"x\"\nSETLIST 0 1\nGETTABLE 3 0 #0\nRETURN 3 2\n",
      "LOADK 0 #0\nLOADK 1 #5\nLOADK 2 #1\nJMP t\nb:\nCONCAT 3 0 1\nt:\nFORLOOP 0 b\nJMP gosub s\nRETURN 0 2\n"
      "s:\nRETURN 0 1 1\n",
      R"(
        .upvalues 1
        .line 3
        .local "x" 0 3
          CLOSURE 0 f
          MOVE 0 0
          GETUPVAL 1 0
          CALL 0 1 0
          RETURN 0 0
        .function f
        .linedefined 1
        .upvalue x
        .vararg
          GETUPVAL 1 0
          EQ 1 1 nil
          JMP done
          SELF 2 0 "m"
        done:
          TFORPREP 0 end
        end:
          TFORLOOP 0 2
          JMP end
          RETURN 1 2
        .end
      )",
  };
  std::vector<std::string> out;
  for (const char* l : listings) {
    for (bool little : {false, true}) {
      std::vector<uint8_t> b = AssembleListing(l, little);
      out.emplace_back(b.begin(), b.end());
    }
  }
  return out;
}

std::string mutate(const std::string& in, std::mt19937& rng) {
  std::string s = in;
  auto pick = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
  static const uint32_t kWords[] = {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 250, 251, 255, 4096, 0xFFFF};
  static const uint8_t kBytes[] = {0, 1, 0x7F, 0x80, 0xFF, 4, 42, 43, 63, 250};
  int rounds = 1 + static_cast<int>(rng() % 4);
  for (int r = 0; r < rounds && !s.empty(); r++) {
    switch (rng() % 6) {
      case 0: s[pick(s.size())] ^= static_cast<char>(1u << (rng() % 8)); break;
      case 1: s[pick(s.size())] = static_cast<char>(kBytes[rng() % 10]); break;
      case 2: {
        size_t at = pick(s.size());
        uint32_t w = kWords[rng() % 10];
        for (int j = 0; j < 4 && at + j < s.size(); j++) s[at + j] = static_cast<char>(w >> (8 * (3 - j)));
        break;
      }
      case 3: s.resize(pick(s.size())); break;
      case 4: {
        size_t at = pick(s.size()), n = pick(32);
        s.insert(at, s.substr(at, n));
        break;
      }
      default: {
        size_t at = pick(s.size());
        s.erase(at, pick(16));
        break;
      }
    }
  }
  return s;
}

TEST(LoaderFuzz, SeedsAndMutationsGiveACodeOrAFunction) {
  std::mt19937 rng(20261210);
  std::vector<std::string> corpus = seeds();
  for (const std::string& s : corpus)
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  for (int j = 0; j < 30000; j++) {
    std::string m = mutate(corpus[rng() % corpus.size()], rng);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(m.data()), m.size());
  }
  SUCCEED();
}

}  // namespace
