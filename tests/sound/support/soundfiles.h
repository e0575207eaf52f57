// Sound files for the sound tests: IFF and RIFF files put together byte by
// byte, files made by sox and ffmpeg (the test is skipped when the tool is
// missing), and decodes of a file by sox for comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soundtest {

std::string BE32(uint32_t v);
std::string BE16(uint32_t v);
std::string LE32(uint32_t v);
std::string LE16(uint32_t v);
// A chunk: id, size, data and a pad byte for an odd size.
std::string Chunk(const std::string& id, const std::string& data, bool bigEndian);

// An IFF 8SVX ("8SVX") or 16SV ("16SV") file: VHDR with [rate] and
// [compression], CHAN 6 when [stereo], then extra chunks and the BODY. A
// [bodySize] above the body's bytes writes that size (a cut file).
std::string IffSound(const std::string& form, uint32_t rate, bool stereo, const std::string& body,
                     const std::string& extraChunks = "", uint8_t compression = 0, int64_t bodySize = -1,
                     uint32_t vhdrSize = 20);
// A RIFF WAVE file with a "fmt " of [fmtSize] bytes (16 or 18).
std::string WaveSound(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data,
                      uint32_t fmtSize = 16, const std::string& extraChunks = "");

// Runs a shell command; true when it exited with 0.
bool RunTool(const std::string& command);
// True when [tool] is on the PATH.
bool HaveTool(const std::string& tool);
// The samples sox decodes from [path] as raw host-endian signed 16-bit
// ([bits] 16), signed 8-bit (8) or unsigned 8-bit (-8).
std::vector<int16_t> SoxDecode(const std::string& path, int bits);
// The samples ffmpeg decodes from [path] as signed 16-bit.
std::vector<int16_t> FfmpegDecode(const std::string& path);
// Bytes read from a file.
std::string Slurp(const std::string& path);

}  // namespace soundtest
