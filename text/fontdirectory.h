// The font directory: every face in the font files the platform knows and
// in the program's "Fonts" folder, named by the family and style names of
// its "name" table, with weight and slant read from the style name. It
// answers lookups by full name or by family, weight and slant, and lists
// the fonts for scripts. Font collections are entered member by member and
// opened by face index.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct vkFontDirEntry {
  std::string fullName;  // family, plus " " and the style name when there is one
  std::string family;
  std::string path;
  int32_t weight = 80;
  int32_t slant = 0;
  int64_t start = 0;       // of the face in the file (suitcase files)
  int64_t length = -1;     // of the face; -1: to the end of the file
  int32_t faceIndex = 0;   // member of a collection
  bool bitmap = false;     // an Amiga ".font" file
  std::vector<uint8_t> sizes;
};

// Reads [length] bytes at [offset] of a font file; nullopt past its end.
using vkFontBytes = std::function<std::optional<std::vector<uint8_t>>(uint64_t offset, uint32_t length)>;

// The family and style names of the face whose offset table is at [at];
// false for a bad offset table, no "name" table or a bad one.
bool ParseFontNameTable(const vkFontBytes& read, uint64_t at, std::string* family, std::string* style);
// The offset tables of the members of a collection ("ttcf"); empty for a
// bad directory.
std::vector<uint64_t> ParseCollection(const vkFontBytes& read);

// Weight and slant of a style name, from its words.
void StyleWeightSlant(const std::string& style, int32_t* weight, int32_t* slant);
bool IsPlainStyleName(const std::string& style);

// The directory of one run: its entries, filled on first use, and the
// program's "Fonts" folder scanned after the system's font files.
struct vkFontDirectory {
  std::vector<vkFontDirEntry> entries;
  std::string programFonts;
};

// Scans the folders once while the directory is empty ([forListing]: no
// second entries under the family alone).
void ScanFontDirectories(vkFontDirectory& dir, bool forListing);
// The face named [name] (weight -1: by full name; else by family, weight and
// slant); [single] only faces at the start of their file. NULL when none.
const vkFontDirEntry* FindFontFile(vkFontDirectory& dir, const char* name, int32_t weight, int32_t slant,
                                   bool single);
void FreeFontDirectory(vkFontDirectory& dir);
// Enters the faces of one file (by its ending) into the directory.
void ScanFontFile(vkFontDirectory& dir, const std::string& path, bool forListing);
