// The message catalog: every user-visible text is found by its numeric id,
// first in a loaded catalog file (a translation), then in the built-in table.
// A catalog file is an IFF "FORM" of type "CTLG" whose "STRS" chunk holds
// records {u32 id; u32 length; text, NUL-terminated, padded to 4 bytes}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct vkCatalogText {
  uint32_t id;
  const char* text;
};

inline constexpr size_t kBuiltinCatalogSize = 509;
extern const vkCatalogText kBuiltinCatalog[kBuiltinCatalogSize];

// Id of "Unknown error code!", the text of every error code without one.
inline constexpr uint32_t kCatalogUnknownError = 91;

// Takes [bytes] (a whole catalog file) as the loaded catalog when it parses
// cleanly from its header to the end of its records; otherwise the loaded
// catalog is dropped and the built-in texts serve alone. Returns whether the
// file was taken.
bool LoadCatalogFromMemory(std::vector<uint8_t> bytes);

// Reads the catalog file at [path] whole and loads it as above; a missing or
// unreadable file leaves the built-in texts in force.
bool LoadCatalog(const std::string& path);

// The text of [id]: loaded catalog first, built-in table second; nullptr when
// neither has it. The text stays valid until FreeCatalog.
const char* GetCatalogText(uint32_t id);

// Forgets the loaded catalog (shutdown).
void FreeCatalog();

// Fills a catalog text that may come from a translator's file: the first
// "%s" takes [text], or, when the text holds no "%s", the first "%d" or
// "%ld" takes [number]. Everything else, other '%' signs included, is copied
// as it stands, so no catalog text can act as a printf format.
std::string FormatCatalogText(const char* format, const char* text, int32_t number);
