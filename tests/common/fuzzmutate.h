// The mutations of the readers' fuzz replays: bytes replaced or
// flipped, files cut, sizes made huge, pieces repeated, and bytes that the
// formats give meaning to (GIF and IFF markers, RLE escapes) put in.
#pragma once

#include <random>
#include <string>

namespace fuzzmutate {

inline std::string Mutate(std::string s, std::mt19937& rng) {
  const int steps = 1 + int(rng() % 4);
  for (int i = 0; i < steps && !s.empty(); i++) {
    const size_t at = rng() % s.size();
    switch (rng() % 6) {
      case 0: s[at] = char(rng()); break;
      case 1: s[at] ^= char(1 << (rng() % 8)); break;
      case 2: s.resize(at); break;
      case 3:  // a huge size
        for (size_t j = at; j < s.size() && j < at + 4; j++) s[j] = '\xff';
        break;
      case 4: s.insert(at, s.substr(at, rng() % 32)); break;
      case 5: s[at] = "\x00\x01\x21\x2C\x3B\x80\x05\xF9"[rng() % 8]; break;
    }
  }
  return s;
}

}  // namespace fuzzmutate
