// Builders of sound files for the sound tests, and sox decodes.
#include "soundfiles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace soundtest {

std::string BE32(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string BE16(uint32_t v) { return {char(v >> 8), char(v)}; }
std::string LE32(uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string LE16(uint32_t v) { return {char(v), char(v >> 8)}; }

std::string Chunk(const std::string& id, const std::string& data, bool bigEndian) {
  const uint32_t size = static_cast<uint32_t>(data.size());
  std::string out = id + (bigEndian ? BE32(size) : LE32(size)) + data;
  if (size & 1) out += '\0';
  return out;
}

std::string IffSound(const std::string& form, uint32_t rate, bool stereo, const std::string& body,
                     const std::string& extraChunks, uint8_t compression, int64_t bodySize, uint32_t vhdrSize) {
  std::string vhdr = BE32(0) + BE32(0) + BE32(0) + BE16(rate) + std::string(1, '\1') +
                     std::string(1, char(compression)) + BE32(0x10000);
  vhdr.resize(vhdrSize, '\0');
  std::string chunks = Chunk("VHDR", vhdr, true);
  if (stereo) chunks += Chunk("CHAN", BE32(6), true);
  chunks += extraChunks;
  if (bodySize >= 0) chunks += "BODY" + BE32(static_cast<uint32_t>(bodySize)) + body;
  else chunks += Chunk("BODY", body, true);
  return "FORM" + BE32(static_cast<uint32_t>(chunks.size() + 4)) + form + chunks;
}

std::string WaveSound(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data,
                      uint32_t fmtSize, const std::string& extraChunks) {
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  std::string fmt = LE16(tag) + LE16(channels) + LE32(rate) + LE32(rate * align) + LE16(align) + LE16(bits);
  fmt.resize(fmtSize, '\0');
  std::string chunks = Chunk("fmt ", fmt, false) + extraChunks + Chunk("data", data, false);
  return "RIFF" + LE32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool HaveTool(const std::string& tool) { return RunTool("command -v " + tool); }

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<int16_t> SoxDecode(const std::string& path, int bits) {
  const std::string raw = path + ".raw";
  const std::string encoding = bits == -8 ? "-e unsigned -b 8" : bits == 8 ? "-e signed -b 8" : "-e signed -b 16";
  if (!RunTool("sox '" + path + "' -t raw " + encoding + " '" + raw + "'")) return {};
  const std::string bytes = Slurp(raw);
  std::vector<int16_t> out;
  if (bits == 16) {
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      out.push_back(static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
  } else {
    for (char c : bytes) out.push_back(bits == 8 ? int8_t(c) : uint8_t(c));
  }
  return out;
}

std::vector<int16_t> FfmpegDecode(const std::string& path) {
  const std::string raw = path + ".s16";
  if (!RunTool("ffmpeg -v quiet -i '" + path + "' -f s16le '" + raw + "'")) return {};
  const std::string bytes = Slurp(raw);
  std::vector<int16_t> out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    out.push_back(static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
  return out;
}

}  // namespace soundtest
