// A test-side IFF ANIM writer: seeded random index frames, each a few
// pixels away from the one before, written as a first ILBM (raw or packed
// body, optional mask rows, extra half-brite) followed by operation-5 delta
// FORMs against the frame two back (interleave 0) or XORed onto the frame
// before (interleave 1, with the ANHD's XOR bit). The frames as 0x00RRGGBB
// words and every frame's reltime come back with the bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace iffanimbytes {

struct Options {
  int32_t width = 32, height = 20, planes = 4, frames = 5;
  bool compressed = true, halfBrite = false, paletteChanges = false, masking = false, dpan = false;
  int32_t interleave = 0;
  int32_t dpanFrames = 0;  // 0: the real count
};

struct Anim {
  std::string bytes;
  int32_t width = 0, height = 0;
  std::vector<std::vector<uint32_t>> frames;
  std::vector<uint32_t> reltimes;
};

inline void Be32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; i--) s += char(v >> (8 * i) & 255);
}
inline void Be16(std::string& s, uint32_t v) { s += char(v >> 8 & 255), s += char(v & 255); }
inline std::string Chunk(const char* id, const std::string& data) {
  std::string s(id, 4);
  Be32(s, uint32_t(data.size()));
  s += data;
  if (data.size() & 1) s += '\0';
  return s;
}

inline std::string Anhd(uint32_t reltime, int32_t interleave) {
  std::string d;
  d += char(5), d += char(0);
  for (int i = 0; i < 4; i++) Be16(d, 0);
  Be32(d, 0);
  Be32(d, reltime);
  d += char(interleave), d += char(0);
  Be32(d, interleave == 1 ? 2 : 0);
  d += std::string(16, '\0');
  return Chunk("ANHD", d);
}

inline Anim Make(const Options& o) {
  Anim a;
  a.width = o.width, a.height = o.height;
  const int32_t rowBytes = ((o.width + 15) >> 4) * 2;
  const int32_t colours = o.halfBrite ? 32 : 1 << o.planes;
  const int32_t indexes = 1 << o.planes;
  std::mt19937 rng(uint32_t(o.width * 131 + o.planes * 7 + o.interleave));
  auto makePalette = [&] {
    std::vector<uint32_t> p(256, 0);
    for (int32_t i = 0; i < colours; i++) p[size_t(i)] = rng() & 0xFFFFFF;
    if (o.halfBrite)
      for (int i = 0; i < 32; i++) p[size_t(32 + i)] = (p[size_t(i)] >> 1) & 0x7F7F7F;
    return p;
  };
  auto cmap = [&](const std::vector<uint32_t>& p) {
    std::string d;
    for (int32_t i = 0; i < colours; i++) d += char(p[size_t(i)] >> 16), d += char(p[size_t(i)] >> 8), d += char(p[size_t(i)]);
    return Chunk("CMAP", d);
  };
  auto toPlanes = [&](const std::vector<uint8_t>& idx) {
    std::vector<uint8_t> planes(size_t(rowBytes) * o.height * o.planes, 0);
    for (int32_t y = 0; y < o.height; y++)
      for (int32_t x = 0; x < o.width; x++)
        for (int32_t p = 0; p < o.planes; p++)
          if (idx[size_t(y) * o.width + x] >> p & 1)
            planes[(size_t(p) * o.height + y) * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
    return planes;
  };

  std::vector<std::vector<uint8_t>> idx;
  idx.emplace_back(size_t(o.width) * o.height);
  for (auto& v : idx[0]) v = uint8_t(rng() % uint32_t(indexes));
  for (int32_t k = 1; k < o.frames; k++) {
    idx.push_back(idx.back());
    for (int i = 0; i < 25; i++) idx.back()[rng() % idx.back().size()] = uint8_t(rng() % uint32_t(indexes));
    // a column run of one value, for the same-value op
    const int32_t x = int32_t(rng() % uint32_t(o.width));
    const uint8_t v = uint8_t(rng() % uint32_t(indexes));
    for (int32_t y = 2; y < o.height - 2; y++) idx.back()[size_t(y) * o.width + x] = v;
  }
  std::vector<uint32_t> palette = makePalette();

  // The first FORM ILBM.
  std::string bmhd;
  Be16(bmhd, uint32_t(o.width)), Be16(bmhd, uint32_t(o.height)), Be16(bmhd, 0), Be16(bmhd, 0);
  bmhd += char(o.planes), bmhd += char(o.masking ? 1 : 0), bmhd += char(o.compressed ? 1 : 0), bmhd += char(0);
  Be16(bmhd, 0);
  bmhd += char(1), bmhd += char(1);
  Be16(bmhd, uint32_t(o.width)), Be16(bmhd, uint32_t(o.height));
  std::string ilbm = "ILBM" + Chunk("BMHD", bmhd) + cmap(palette);
  if (o.halfBrite) {
    std::string camg;
    Be32(camg, 0x80);
    ilbm += Chunk("CAMG", camg);
  }
  if (o.dpan) {
    std::string d;
    Be16(d, 0), Be16(d, uint32_t(o.dpanFrames ? o.dpanFrames : o.frames)), Be32(d, 0);
    ilbm += Chunk("DPAN", d);
  }
  a.reltimes.push_back(20);
  ilbm += Anhd(20, 0);
  std::string body;
  const std::vector<uint8_t> first = toPlanes(idx[0]);
  for (int32_t y = 0; y < o.height; y++) {
    for (int32_t p = 0; p <= o.planes; p++) {
      if (p == o.planes && !o.masking) break;
      std::string row = p < o.planes ? std::string(reinterpret_cast<const char*>(&first[(size_t(p) * o.height + y) * rowBytes]), size_t(rowBytes))
                                     : std::string(size_t(rowBytes), '\xff');
      if (!o.compressed) {
        body += row;
        continue;
      }
      for (size_t at = 0; at < row.size(); at += 128) {
        const size_t n = std::min<size_t>(128, row.size() - at);
        body += char(n - 1);
        body += row.substr(at, n);
      }
    }
  }
  ilbm += Chunk("BODY", body);
  std::string anim = "ANIM" + Chunk("FORM", ilbm);

  // Delta FORMs.
  std::vector<std::vector<uint8_t>> planesOf;
  for (const auto& f : idx) planesOf.push_back(toPlanes(f));
  std::vector<std::vector<uint32_t>> palettes{palette};
  for (int32_t k = 1; k < o.frames; k++) {
    const bool xorMode = o.interleave == 1;
    const std::vector<uint8_t>& base = planesOf[size_t(xorMode ? k - 1 : std::max(0, k - 2))];
    const std::vector<uint8_t>& now = planesOf[size_t(k)];
    std::string offsets, ops;
    const size_t head = 64;  // 16 offsets
    for (int32_t p = 0; p < 16; p++) {
      if (p >= o.planes) {
        Be32(offsets, 0);
        continue;
      }
      const uint8_t* b = &base[size_t(p) * o.height * rowBytes];
      const uint8_t* n = &now[size_t(p) * o.height * rowBytes];
      if (std::equal(b, b + size_t(o.height) * rowBytes, n)) {
        Be32(offsets, 0);
        continue;
      }
      Be32(offsets, uint32_t(head + ops.size()));
      for (int32_t col = 0; col < rowBytes; col++) {
        std::string colOps;
        int count = 0;
        int32_t y = 0;
        auto value = [&](int32_t row) {
          const size_t i = size_t(row) * rowBytes + col;
          return uint8_t(xorMode ? b[i] ^ n[i] : n[i]);
        };
        auto changed = [&](int32_t row) { const size_t i = size_t(row) * rowBytes + col; return b[i] != n[i]; };
        while (y < o.height) {
          int32_t run = 0;
          while (y + run < o.height && !changed(y + run) && run < 127) run++;
          if (run) {
            colOps += char(run), count++, y += run;
            continue;
          }
          int32_t same = 1;
          while (y + same < o.height && changed(y + same) && value(y + same) == value(y) && same < 255) same++;
          if (same >= 3) {
            colOps += char(0), colOps += char(same), colOps += char(value(y)), count++, y += same;
            continue;
          }
          int32_t uniq = 0;
          std::string vals;
          while (y + uniq < o.height && changed(y + uniq) && uniq < 127) vals += char(value(y + uniq)), uniq++;
          colOps += char(0x80 | uniq), colOps += vals, count++, y += uniq;
        }
        ops += char(count);
        ops += colOps;
      }
    }
    std::string form = "ILBM";
    const uint32_t reltime = uint32_t(5 + 3 * k);
    a.reltimes.push_back(reltime);
    form += Anhd(reltime, o.interleave);
    if (o.paletteChanges && k == 2) {
      palette = makePalette();
      form += cmap(palette);
    }
    palettes.push_back(palette);
    form += Chunk("DLTA", offsets + ops);
    anim += Chunk("FORM", form);
  }
  for (int32_t k = 0; k < o.frames; k++) {
    std::vector<uint32_t> f(idx[size_t(k)].size());
    for (size_t i = 0; i < f.size(); i++) f[i] = palettes[size_t(k)][idx[size_t(k)][i]];
    a.frames.push_back(f);
  }
  if (o.dpanFrames > o.frames)
    for (int32_t k = o.frames; k < o.dpanFrames; k++) a.reltimes.push_back(0);
  a.bytes = Chunk("FORM", anim);
  return a;
}

}  // namespace iffanimbytes
