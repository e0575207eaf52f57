// The applet packer: reads a manifest that names an applet's bytecode,
// preloads, display settings and linked files, and writes the "VKA" applet,
// its packed "VKZ" form, "VKPK" pack files, and copies of the player with an
// applet attached through the player's marker block. The manifest syntax is
// described in README.md beside this file.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vkpack {

using Bytes = std::vector<uint8_t>;

// A packing error; [line] is the manifest line (0 when none), what() the
// full "file:line: message" (or "file: message").
class Error : public std::runtime_error {
 public:
  Error(const std::string& file, int line, const std::string& message);
  int line;
  std::string message;
};

// Preload types in the applet's numbering.
enum class PreloadType : uint8_t {
  BGPic = 0, Brush, Anim, Music, Sample, Button, KeyDown, Sprite, File, Font, Display
};

struct Region {
  int64_t type = 0, x = 0, y = 0, width = 0, height = 0;
};

struct Preload {
  PreloadType type = PreloadType::File;
  int64_t id = 0;
  std::string name;          // file name, key or font name ("" for none)
  Bytes data;                // linked contents (empty: loaded by name)
  bool linked = false;
  std::map<std::string, int64_t> values;  // numeric options by name
  std::string title;         // display title
  std::vector<Region> dragRegions, sizeRegions;
  int line = 0;              // manifest line
};

// A record written as it was declared: display settings and text fields.
struct Setting {
  uint8_t tag = 0;
  std::vector<int64_t> values;
  std::string text;
  int line = 0;
};

struct LinkedFile {
  std::string name;  // the name scripts open it by
  Bytes data;
};

// One stretch of VM lines that came from one source file: error messages
// name [file] and count lines from [sourceLine] there.
struct LineRange {
  int64_t firstVmLine, lastVmLine, sourceLine;
  std::string file;
  std::string chunk;  // the source name the bytecode gives its functions
};

struct Manifest {
  uint8_t major = 4, minor = 7;
  Bytes bytecode;
  std::vector<LineRange> lineRanges;
  std::vector<Preload> preloads;
  std::vector<Setting> settings;
  std::vector<LinkedFile> links;
  std::vector<std::string> inputs;  // every file read, for build dependencies
};

// Parses a manifest; file names in it are relative to [baseDir]. Reads the
// files it names (assembling ".vkasm" listings). Throws Error.
Manifest ParseManifest(std::string_view text, const std::string& fileName, const std::string& baseDir);

// The "VKA" applet of a manifest. Throws Error for values that do not fit.
Bytes BuildApplet(const Manifest& manifest);

// [magic] (4 bytes), four zero bytes, then the zlib stream of [data]: "VKZ\0"
// for packed applets, "VKPK" for pack files.
Bytes PackWithMagic(const char magic[4], const Bytes& data);

// The 45-byte marker block as it stands in a player without an applet.
Bytes MarkerBlock(uint32_t offset = 0xDEADC0DE);

// A copy of [player] with [applet] appended and the marker's offset field
// pointing at it. Throws Error when the player has no unpatched marker, or
// more than one.
Bytes AttachApplet(const Bytes& player, const Bytes& applet);

// Whole-file helpers; throw Error naming the file.
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

extern const char* const kManifestHelp;

}  // namespace vkpack
