// Writers of the test fonts: Amiga size files laid out as a load file
// (header, TextFont, ColorTextFont, then the data the pointers name) and
// font collections whose members' tables are copied behind one directory.
#include "fontfiles.h"

#include <stdexcept>

#include "tests/common/scratchdir.h"

namespace fonttest {

void Put16(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 2) s.resize(at + 2);
  s[at] = char(v >> 8);
  s[at + 1] = char(v);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v >> 16);
  Put16(s, at + 2, v & 0xFFFF);
}
uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v = (v << 8) | uint8_t(s[at + i]);
  return v;
}

AmigaSize SmallFont() {
  AmigaSize f;
  f.ySize = 4;
  f.baseline = 3;
  f.xSize = 4;
  f.low = 'A';
  f.high = 'C';
  f.widths = {3, 4, 2, 5};
  f.pixels = {
      ".#.###.#######",
      "#.##..##.#...#",
      "######.#.#...#",
      "#.############",
  };
  return f;
}

std::string AmigaSizeFile(const AmigaSize& f) {
  const size_t glyphs = size_t(f.high - f.low) + 2;
  uint32_t bits = 0;
  for (uint16_t w : f.widths) bits += w;
  const uint16_t modulo = uint16_t((bits + 15) / 16 * 2);
  std::string s(186, '\0');
  Put16(s, kSizeFileDiskId, 0x0F80);
  const size_t t = kSizeFileTextFont;
  Put16(s, t, f.ySize);
  s[t + 2] = char(f.style);
  s[t + 3] = char(f.flags);
  Put16(s, t + 4, f.xSize);
  Put16(s, t + 6, f.baseline);
  Put16(s, t + 8, 1);
  s[t + 12] = char(f.low);
  s[t + 13] = char(f.high);
  Put16(s, t + 18, modulo);
  auto pointerHere = [&s] { return uint32_t(s.size() - 32); };
  // One plane per bit of the digits ('#' is 1).
  const int planes = f.depth ? f.depth : 1;
  std::vector<std::string> plane(planes, std::string(size_t(modulo) * f.ySize, '\0'));
  for (size_t y = 0; y < f.ySize && y < f.pixels.size(); y++)
    for (size_t x = 0; x < f.pixels[y].size(); x++) {
      const char c = f.pixels[y][x];
      const int index = c == '#' ? 1 : (c >= '0' && c <= '9') ? c - '0' : 0;
      for (int k = 0; k < planes; k++)
        if (index & (1 << k)) plane[k][y * modulo + x / 8] |= char(0x80 >> (x % 8));
    }
  Put32(s, t + 14, pointerHere());
  s += plane[0];
  Put32(s, t + 20, pointerHere());
  uint32_t offset = 0;
  for (size_t i = 0; i < glyphs; i++) {
    const uint16_t w = i < f.widths.size() ? f.widths[i] : 0;
    Put32(s, s.size(), (offset << 16) | w);
    offset += w;
  }
  for (auto [field, table] : {std::pair{t + 24, &f.spacing}, std::pair{t + 28, &f.kerning}}) {
    if (table->empty()) continue;
    Put32(s, field, pointerHere());
    for (int16_t v : *table) Put16(s, s.size(), uint16_t(v));
  }
  if (f.style & 0x40) {
    const size_t c = 142;
    s[c + 2] = char(f.depth);
    s[c + 6] = char(f.planePick);
    Put32(s, c + 8, pointerHere());
    const size_t header = s.size();
    Put16(s, header, 0);
    Put16(s, header + 2, uint32_t(f.palette.size()));
    Put32(s, header + 4, uint32_t(header + 8 - 32));
    for (uint16_t colour : f.palette) Put16(s, s.size(), colour);
    for (int k = 0; k < planes; k++) {
      Put32(s, c + 12 + 4 * k, pointerHere());
      s += plane[k];
    }
  }
  return s;
}

std::string AmigaContents(const std::vector<std::pair<std::string, uint16_t>>& entries, uint16_t id) {
  std::string s;
  Put16(s, 0, id);
  Put16(s, 2, uint32_t(entries.size()));
  for (const auto& [name, ySize] : entries) {
    std::string entry(260, '\0');
    entry.replace(0, std::min<size_t>(name.size(), 256), name.substr(0, 256));
    Put16(entry, 256, ySize);
    s += entry;
  }
  return s;
}

std::string MakeCollection(const std::vector<std::string>& fonts) {
  std::vector<std::string> files;
  for (const std::string& path : fonts) {
    files.push_back(ReadWholeFile(path));
    if (files.back().empty()) throw std::runtime_error("cannot read " + path);
  }
  std::string out;
  out += "ttcf";
  Put32(out, 4, 0x00010000);
  Put32(out, 8, uint32_t(files.size()));
  const size_t directoryStart = out.size() + 4 * files.size();
  out.resize(directoryStart);
  // Offset tables first, then every member's tables.
  std::vector<size_t> headers;
  for (size_t i = 0; i < files.size(); i++) {
    const uint32_t tables = (uint8_t(files[i][4]) << 8) | uint8_t(files[i][5]);
    headers.push_back(out.size());
    Put32(out, 12 + 4 * i, uint32_t(out.size()));
    out += files[i].substr(0, 12 + 16 * size_t(tables));
  }
  for (size_t i = 0; i < files.size(); i++) {
    const uint32_t tables = (uint8_t(files[i][4]) << 8) | uint8_t(files[i][5]);
    for (uint32_t k = 0; k < tables; k++) {
      const size_t entry = 12 + 16 * size_t(k);
      const uint32_t at = Get32(files[i], entry + 8), length = Get32(files[i], entry + 12);
      while (out.size() % 4) out.push_back('\0');
      Put32(out, headers[i] + entry + 8, uint32_t(out.size()));
      out += files[i].substr(at, length);
    }
  }
  return out;
}

}  // namespace fonttest

#include <filesystem>
#include <unistd.h>

#include "engine/vmapi.h"
#include "platform/vkos_fonts.h"
#include "text/textstate.h"

namespace fonttest {

void FontTest::SetUp() {
  fontsDir = dir / "system";
  programFonts = dir / "Fonts";
  std::filesystem::create_directories(fontsDir);
  std::filesystem::create_directories(programFonts);
  dir.Write("fonts.conf", "<?xml version=\"1.0\"?>\n<fontconfig>\n<dir>" + fontsDir + "</dir>\n<cachedir>" +
                              (dir / "cache") + "</cachedir>\n</fontconfig>\n");
  setenv("FONTCONFIG_FILE", (dir / "fonts.conf").c_str(), 1);
  char cwd[4096];
  oldCwd = getcwd(cwd, sizeof cwd) ? cwd : ".";
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  vkosExitSystemFonts();
  L = vmNewState();
  ASSERT_NE(L, nullptr);
  ASSERT_EQ(TextRunState(L).engineError, 0u);
  fs().directory.programFonts = programFonts;
}

vkFontState& FontTest::fs() { return FontState(L); }

void FontTest::TearDown() {
  if (L) vmCloseState(L);
  L = nullptr;
  EXPECT_EQ(chdir(oldCwd.c_str()), 0);
  unsetenv("FONTCONFIG_FILE");
}

std::string FontTest::Write(const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
  return dir.Write(name, bytes);
}

std::string FontTest::InstallSystemFont(const std::string& file) {
  const std::string to = fontsDir + "/" + file;
  std::filesystem::copy_file(std::string(kVeraDir) + "/" + file, to);
  // The configuration reads its folders when it starts.
  vkosExitSystemFonts();
  vkosInitSystemFonts();
  return to;
}

vkPlanePtr NewMask(int32_t w, int32_t h) { return vkPlanePtr(AllocMaskPlane(w, h, true)); }
vkPlanePtr NewAlpha(int32_t w, int32_t h) { return vkPlanePtr(AllocAlphaPlane(w, h, true)); }
vkBitMapPtr NewBitMap(int32_t w, int32_t h, uint32_t fill) {
  vkBitMapPtr b(AllocArgbBitMap(w, h));
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) reinterpret_cast<uint32_t*>(b->pixels + y * b->bytesPerRow)[x] = fill;
  return b;
}

std::vector<std::string> MaskRows(const vkPlane* mask) {
  std::vector<std::string> rows;
  for (int32_t y = 0; y < mask->height; y++) {
    std::string row;
    for (int32_t x = 0; x < mask->width; x++)
      row += (mask->data[y * mask->bytesPerRow + x / 8] >> (7 - x % 8)) & 1 ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

}  // namespace fonttest
