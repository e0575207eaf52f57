// Replays seeds of every font reader and a fixed number of deterministic
// mutations of each (bit flips, interesting bytes and words, cuts, repeats)
// through the fuzz entry points, so that CI runs them under the sanitizers.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fontfiles.h"
#include "support/fontfuzz.h"

namespace {

using namespace fonttest;

std::string Mutate(const std::string& in, std::mt19937& rng) {
  std::string s = in;
  auto pick = [&](size_t n) { return n ? size_t(rng() % n) : 0; };
  static const uint32_t kWords[] = {0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFF, 0x0F80, 0x0F00, 32, 186};
  static const uint8_t kBytes[] = {0, 1, 0x7F, 0x80, 0xFF, 0x40, 0x20, 8, 9, 0xFE};
  const int rounds = 1 + int(rng() % 4);
  for (int r = 0; r < rounds && !s.empty(); r++) {
    switch (rng() % 6) {
      case 0: s[pick(s.size())] ^= char(1u << (rng() % 8)); break;
      case 1: s[pick(s.size())] = char(kBytes[rng() % 10]); break;
      case 2: {
        const size_t at = pick(s.size());
        const uint32_t w = kWords[rng() % 10];
        const bool half = rng() % 2;
        for (int j = 0; j < (half ? 2 : 4) && at + j < s.size(); j++)
          s[at + j] = char(w >> (8 * ((half ? 1 : 3) - j)));
        break;
      }
      case 3: s.resize(pick(s.size())); break;
      case 4: {
        const size_t at = pick(s.size());
        s.insert(at, s.substr(at, pick(32)));
        break;
      }
      default: s.erase(pick(s.size()), pick(16)); break;
    }
  }
  return s;
}

void Replay(const std::vector<std::string>& seeds, void (*entry)(const uint8_t*, size_t), int mutations) {
  std::mt19937 rng(20261210);
  for (const std::string& s : seeds) entry(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  for (int j = 0; j < mutations; j++) {
    const std::string m = Mutate(seeds[rng() % seeds.size()], rng);
    entry(reinterpret_cast<const uint8_t*>(m.data()), m.size());
  }
}

std::string Pair(const std::string& contents, const std::string& sizeFile) {
  std::string s;
  Put16(s, 0, uint32_t(contents.size()));
  return s + contents + sizeFile;
}

TEST(FontFuzz, AmigaFontPairs) {
  AmigaSize plain;
  plain.ySize = 3;
  plain.baseline = 2;
  plain.low = 'A';
  plain.high = 'B';
  plain.flags = 0x20;
  plain.widths = {3, 2, 4};
  plain.spacing = {4, 3, 5};
  plain.kerning = {0, -1, 1};
  plain.pixels = {"#.##.#.#", ".#.#####", "#.##..#."};
  AmigaSize colour = plain;
  colour.style = 0x40;
  colour.depth = 2;
  colour.planePick = 3;
  colour.palette = {0x000, 0xF00, 0x0F0, 0x00F};
  colour.pixels = {"1.23.1.3", ".2.31112", "3.21..2."};
  const std::string contents = AmigaContents({{"::incomplete", 3}, {"f/3", 3}});
  Replay({Pair(contents, AmigaSizeFile(plain)), Pair(contents, AmigaSizeFile(colour))}, FuzzAmigaFontPair, 20000);
}

TEST(FontFuzz, NameTablesAndCollections) {
  // Vera's header, table directory and name table, moved to the front so
  // that mutations land on them.
  const std::string vera = ReadWholeFile(std::string(kVeraDir) + "/Vera.ttf");
  const uint32_t tables = (uint8_t(vera[4]) << 8) | uint8_t(vera[5]);
  std::string small = vera.substr(0, 12);
  for (uint32_t i = 0; i < tables; i++) {
    std::string entry = vera.substr(12 + 16 * i, 16);
    if (entry.compare(0, 4, "name") != 0) continue;
    Put16(small, 4, 1);
    const uint32_t at = Get32(entry, 8), length = Get32(entry, 12);
    Put32(entry, 8, 28);
    small += entry + vera.substr(at, length);
  }
  std::string ttc = "ttcf";
  Put32(ttc, 4, 0x00010000);
  Put32(ttc, 8, 2);
  Put32(ttc, 12, 20);
  Put32(ttc, 16, 20);
  std::string member = small;
  Put32(member, 12 + 8, 20 + 28);
  ttc += member;
  Replay({small, ttc}, FuzzFontTables, 20000);
}

}  // namespace
