// The font directory: scans the font files the platform knows and the
// program's "Fonts" folder, reads each face's names from its "name" table
// (offset table, table directory, name records), collections member by
// member and suitcase files item by item, and looks faces up by name.
#include "text/fontdirectory.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "base/paths.h"
#include "io/filehandles.h"
#include "platform/vkos_files.h"
#include "platform/vkos_fonts.h"
#include "text/amigafonts.h"
#include "text/fonts.h"

namespace {

constexpr uint32_t kMaxTables = 1024;
constexpr uint32_t kMaxNameLength = 511;
constexpr uint32_t kMaxCollectionMembers = 4096;
constexpr uint32_t kMaxNameRecords = 8192;

struct WeightWord {
  const char* word;
  bool slant;
  int32_t value;
};
constexpr WeightWord kWeightWords[] = {
    {"thin", false, 0},         {"extralight", false, 40}, {"extra-light", false, 40},
    {"ultralight", false, 40},  {"ultra-light", false, 40}, {"light", false, 50},
    {"book", false, 75},        {"normal", false, 80},      {"regular", false, 80},
    {"medium", false, 100},     {"semibold", false, 180},   {"semi-bold", false, 180},
    {"semi", false, 180},       {"demibold", false, 180},   {"demi-bold", false, 180},
    {"demi", false, 180},       {"bold", false, 200},       {"extrabold", false, 205},
    {"extra-bold", false, 205}, {"ultrabold", false, 205},  {"ultra-bold", false, 205},
    {"heavy", false, 210},      {"black", false, 210},      {"extrablack", false, 215},
    {"extra-black", false, 215}, {"ultrablack", false, 215}, {"ultra-black", false, 215},
    {"roman", true, 0},         {"italic", true, 100},      {"oblique", true, 110},
};

uint32_t Be16(const std::vector<uint8_t>& b, size_t at) { return (uint32_t(b[at]) << 8) | b[at + 1]; }
uint32_t Be32(const std::vector<uint8_t>& b, size_t at) { return (Be16(b, at) << 16) | Be16(b, at + 2); }

bool NameLanguageFits(uint32_t platform, uint32_t language) {
  if (platform == 1) return language == 0;
  if (platform == 3) {
    for (uint32_t l : {0x409u, 0x809u, 0xC09u, 0x1009u, 0x1409u, 0x1809u, 0x1C09u, 0x4009u})
      if (language == l) return true;
    return false;
  }
  return true;
}

bool EndsWithNoCase(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

vkFontBytes FileReader(vkFile* file) {
  return [file](uint64_t offset, uint32_t length) -> std::optional<std::vector<uint8_t>> {
    if (file->size < 0 || offset > uint64_t(file->size) || length > uint64_t(file->size) - offset)
      return std::nullopt;
    std::vector<uint8_t> bytes(length);
    SeekStream(file, int64_t(offset), VKSEEK_START);
    if (length && ReadStream(file, bytes.data(), length) != length) return std::nullopt;
    return bytes;
  };
}

void AddEntry(vkFontDirectory& dir, vkFontDirEntry entry) {
  for (const vkFontDirEntry& e : dir.entries)
    if (strcasecmp(e.fullName.c_str(), entry.fullName.c_str()) == 0) return;
  dir.entries.push_back(std::move(entry));
}

void AddFace(vkFontDirectory& dir, const std::string& path, const vkFontBytes& read, uint64_t at, int32_t faceIndex, int64_t start,
             int64_t length, bool forListing) {
  std::string family, style;
  if (!ParseFontNameTable(read, at, &family, &style) || family.empty()) return;
  vkFontDirEntry e;
  e.family = family;
  e.fullName = style.empty() ? family : family + " " + style;
  e.path = path;
  e.faceIndex = faceIndex;
  e.start = start;
  e.length = length;
  StyleWeightSlant(style, &e.weight, &e.slant);
  const bool plain = IsPlainStyleName(style);
  AddEntry(dir, e);
  if (!forListing && plain) {
    e.fullName = family;
    AddEntry(dir, std::move(e));
  }
}

}  // namespace

bool ParseFontNameTable(const vkFontBytes& read, uint64_t at, std::string* family, std::string* style) {
  family->clear();
  style->clear();
  auto head = read(at, 12);
  if (!head) return false;
  const uint32_t version = Be32(*head, 0);
  if (version != 0x00010000u && version != 0x4F54544Fu /* OTTO */ && version != 0x74727565u /* true */)
    return false;
  const uint32_t tables = Be16(*head, 4);
  if (tables > kMaxTables) return false;
  auto dir = read(at + 12, tables * 16);
  if (!dir) return false;
  for (uint32_t i = 0; i < tables; i++) {
    const size_t e = size_t(i) * 16;
    if (strncasecmp(reinterpret_cast<const char*>(dir->data() + e), "name", 4) != 0) continue;
    const uint64_t tableAt = Be32(*dir, e + 8), tableLength = Be32(*dir, e + 12);
    if (tableLength < 6 || tableLength > (1u << 24)) return false;
    auto table = read(tableAt, uint32_t(tableLength));
    if (!table) return false;
    const uint32_t count = Be16(*table, 2), stringsAt = Be16(*table, 4);
    if (count > kMaxNameRecords || 6 + uint64_t{count} * 12 > table->size()) return false;
    for (uint32_t r = 0; r < count && (family->empty() || style->empty()); r++) {
      const size_t rec = 6 + size_t(r) * 12;
      const uint32_t platform = Be16(*table, rec), language = Be16(*table, rec + 4);
      const uint32_t nameId = Be16(*table, rec + 6), length = Be16(*table, rec + 8);
      const uint32_t offset = Be16(*table, rec + 10);
      if ((nameId != 1 && nameId != 2) || !NameLanguageFits(platform, language)) continue;
      std::string* target = nameId == 1 ? family : style;
      if (!target->empty()) continue;
      if (length > kMaxNameLength) return false;
      if (uint64_t{stringsAt} + offset + length > table->size()) return false;
      const uint8_t* s = table->data() + stringsAt + offset;
      for (uint32_t k = 0; k < length; k++)
        if (s[k]) target->push_back(char(s[k]));
    }
    return true;
  }
  return false;
}

std::vector<uint64_t> ParseCollection(const vkFontBytes& read) {
  auto head = read(0, 12);
  if (!head || std::memcmp(head->data(), "ttcf", 4) != 0) return {};
  const uint32_t count = Be32(*head, 8);
  if (count == 0 || count > kMaxCollectionMembers) return {};
  auto offsets = read(12, count * 4);
  if (!offsets) return {};
  std::vector<uint64_t> out;
  for (uint32_t i = 0; i < count; i++) out.push_back(Be32(*offsets, size_t(i) * 4));
  return out;
}

void StyleWeightSlant(const std::string& style, int32_t* weight, int32_t* slant) {
  *weight = 80;
  *slant = 0;
  size_t i = 0;
  while (i < style.size()) {
    while (i < style.size() && style[i] == ' ') i++;
    size_t j = i;
    while (j < style.size() && style[j] != ' ') j++;
    const std::string word = style.substr(i, j - i);
    for (const WeightWord& w : kWeightWords)
      if (strcasecmp(word.c_str(), w.word) == 0) (w.slant ? *slant : *weight) = w.value;
    i = j;
  }
}

bool IsPlainStyleName(const std::string& style) {
  for (const char* plain : {"regular", "plain", "normal", "book", "roman"})
    if (strcasecmp(style.c_str(), plain) == 0) return true;
  return false;
}

void ScanFontFile(vkFontDirectory& dir, const std::string& path, bool forListing) {
  if (path.size() < 6) return;
  vkFilePtr file = OpenStream(path.c_str(), VKFILE_READ);
  if (!file) return;
  const vkFontBytes read = FileReader(file.get());
  if (EndsWithNoCase(path, ".font")) {
    auto head = read(0, 4);
    if (!head) return;
    const uint32_t id = Be16(*head, 0);
    vkFontDirEntry e;
    std::string name = FilePart(path.c_str());
    e.family = e.fullName = name.substr(0, name.size() - 5);
    e.path = path;
    if (id == 0x0F00 || id == 0x0F02) {
      auto all = read(0, uint32_t(std::min<int64_t>(file->size, 4 + 65535 * 260)));
      std::vector<vkAmigaContentsEntry> entries;
      if (!all || !ParseAmigaContents(*all, &entries)) return;
      e.bitmap = true;
      for (const vkAmigaContentsEntry& c : entries) {
        const uint8_t size = uint8_t(c.ySize & 0xFF);
        if (std::find(e.sizes.begin(), e.sizes.end(), size) == e.sizes.end()) e.sizes.push_back(size);
      }
    } else if (id != 0x0F03) {
      return;
    }
    AddEntry(dir, std::move(e));
  } else if (EndsWithNoCase(path, ".ttf") || EndsWithNoCase(path, ".otf")) {
    AddFace(dir, path, read, 0, 0, 0, -1, forListing);
  } else if (EndsWithNoCase(path, ".ttc")) {
    const std::vector<uint64_t> members = ParseCollection(read);
    for (size_t i = 0; i < members.size(); i++) AddFace(dir, path, read, members[i], int32_t(i), 0, -1, forListing);
  } else if (EndsWithNoCase(path, ".dfont")) {
    uint64_t at = 256;
    for (int items = 0; items < 4096; items++) {
      auto length = read(at, 4);
      if (!length) break;
      const uint32_t n = Be32(*length, 0);
      if (n == 0 || uint64_t(file->size) - at - 4 < n) break;
      const vkFontBytes inner = [&read, at, n](uint64_t offset, uint32_t count) -> std::optional<std::vector<uint8_t>> {
        if (offset > n || count > n - offset) return std::nullopt;
        return read(at + 4 + offset, count);
      };
      AddFace(dir, path, inner, 0, 0, int64_t(at + 4), n, forListing);
      at += 4 + uint64_t{n};
    }
  }
}

void ScanFontDirectories(vkFontDirectory& dir, bool forListing) {
  if (!dir.entries.empty()) return;
  for (const std::string& path : vkosListFontFiles()) ScanFontFile(dir, path, forListing);
  if (dir.programFonts.empty()) return;
  vkOSLockPtr lock = vkosLockFile(dir.programFonts.c_str(), VKOS_LOCK_READ);
  int isDirectory = 0;
  if (!lock || vkosBeginDirScan(lock.get(), &isDirectory) != 0) return;
  const char* name = nullptr;
  std::vector<std::string> files;
  while (vkosExamineNext(lock.get(), &name, &isDirectory, nullptr))
    if (!isDirectory) {
      std::string path = dir.programFonts;
      AddPart(path, name);
      files.push_back(path);
    }
  vkosEndDirScan(lock.get());
  std::sort(files.begin(), files.end());
  for (const std::string& path : files) ScanFontFile(dir, path, forListing);
}

const vkFontDirEntry* FindFontFile(vkFontDirectory& dir, const char* name, int32_t weight, int32_t slant,
                                   bool single) {
  ScanFontDirectories(dir, false);
  for (const vkFontDirEntry& e : dir.entries) {
    if (e.bitmap || (single && (e.start != 0 || e.faceIndex != 0))) continue;
    if (weight == -1 ? strcasecmp(e.fullName.c_str(), name) == 0
                     : strcasecmp(e.family.c_str(), name) == 0 && e.weight == weight && e.slant == slant)
      return &e;
  }
  return nullptr;
}

void FreeFontDirectory(vkFontDirectory& dir) { dir.entries.clear(); }
