// Byte-level services of the packer: zlib packing behind a 4-byte magic,
// the player's 45-byte marker block and attaching an applet to a copy of the
// player, and whole-file reading and writing.
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/vkpack/vkpack.h"

namespace vkpack {

namespace {

constexpr char kMarkerText[] = "Quillmoor Ashtun Entertainment";
constexpr size_t kMarkerSize = 45, kMarkerOffsetAt = 32;
constexpr uint32_t kNoApplet = 0xDEADC0DE;

// True when [at] holds a marker block, whatever its offset field says.
bool IsMarker(const uint8_t* at) {
  Bytes m = MarkerBlock();
  return std::memcmp(at, m.data(), kMarkerOffsetAt) == 0 &&
         std::memcmp(at + 36, m.data() + 36, kMarkerSize - 36) == 0;
}

uint32_t ReadBE32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

Bytes PackWithMagic(const char magic[4], const Bytes& data) {
  Bytes out(magic, magic + 4);
  out.resize(8, 0);
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) throw Error("zlib", 0, "deflateInit failed");
  z.next_in = const_cast<Bytef*>(data.data());
  uint64_t left = data.size();
  uint8_t buf[16384];
  int rc;
  do {
    // zlib counts in 32 bits: feed large inputs in pieces.
    if (z.avail_in == 0 && left > 0) {
      z.avail_in = static_cast<uInt>(std::min<uint64_t>(left, 1u << 30));
      left -= z.avail_in;
    }
    z.next_out = buf;
    z.avail_out = sizeof buf;
    rc = deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (rc == Z_STREAM_ERROR) {
      deflateEnd(&z);
      throw Error("zlib", 0, "deflate failed");
    }
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
  } while (rc != Z_STREAM_END);
  deflateEnd(&z);
  return out;
}

Bytes MarkerBlock(uint32_t offset) {
  Bytes m(kMarkerText, kMarkerText + 30);
  m.push_back(0);
  m.push_back(0);
  for (int s = 24; s >= 0; s -= 8) m.push_back(static_cast<uint8_t>(offset >> s));
  for (uint8_t b : {0xC0, 0xDE, 0xCA, 0xFE, 0xC0, 0xCA, 0xC0, 0x1A}) m.push_back(b);
  m.push_back(0);
  return m;
}

Bytes AttachApplet(const Bytes& player, const Bytes& applet) {
  if (player.size() > UINT32_MAX) throw Error("player", 0, "player larger than 4 GB");
  size_t found = 0, count = 0;
  for (size_t i = 0; i + kMarkerSize <= player.size(); ++i) {
    if (player[i] != 'Q' || !IsMarker(&player[i])) continue;
    if (ReadBE32(&player[i + kMarkerOffsetAt]) != kNoApplet)
      throw Error("player", 0, "the player already has an applet attached");
    found = i;
    ++count;
  }
  if (count == 0) throw Error("player", 0, "no marker block found: not a player executable");
  if (count > 1) throw Error("player", 0, "more than one marker block found");
  Bytes out = player;
  uint32_t offset = static_cast<uint32_t>(player.size());
  for (int k = 0; k < 4; ++k) out[found + kMarkerOffsetAt + k] = static_cast<uint8_t>(offset >> (24 - 8 * k));
  out.insert(out.end(), applet.begin(), applet.end());
  return out;
}

Bytes ReadFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw Error(path, 0, std::string("cannot read: ") + std::strerror(errno));
  Bytes out;
  uint8_t buf[16384];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool bad = std::ferror(f);
  std::fclose(f);
  if (bad) throw Error(path, 0, "cannot read");
  return out;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw Error(path, 0, std::string("cannot write: ") + std::strerror(errno));
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(path.c_str());
    throw Error(path, 0, "cannot write");
  }
}

}  // namespace vkpack
