// The message catalog: built-in texts, catalog files that replace some of
// them, and files that must be refused whole.
#include "base/catalog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/errorinfo.h"
#include "engine/errormessages.h"
#include "support/catalogfuzz.h"
#include "tests/common/fuzzmutate.h"

namespace {

void PutWord(std::vector<uint8_t>& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}

void PutText(std::vector<uint8_t>& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

struct Record {
  uint32_t id;
  std::string text;  // stored with its terminator unless [terminated] is false
  bool terminated = true;
};

// A catalog file: "FORM", "CTLGFVER", a filler chunk that lifts the file over
// the minimum size, then "STRS" with [records]. [strsLength] overrides the
// chunk's length when not -1.
std::vector<uint8_t> MakeCatalog(const std::vector<Record>& records, int64_t strsLength = -1,
                                 size_t filler = 64) {
  std::vector<uint8_t> b;
  PutText(b, "FORM");
  PutWord(b, 0);
  PutText(b, "CTLGFVER");
  PutWord(b, uint32_t(filler));
  b.resize(b.size() + filler, ' ');
  std::vector<uint8_t> strs;
  for (const Record& r : records) {
    PutWord(strs, r.id);
    const size_t length = r.text.size() + (r.terminated ? 1 : 0);
    PutWord(strs, uint32_t(length));
    strs.insert(strs.end(), r.text.begin(), r.text.end());
    if (r.terminated) strs.push_back(0);
    while (strs.size() % 4) strs.push_back(0);
  }
  PutText(b, "STRS");
  PutWord(b, strsLength < 0 ? uint32_t(strs.size()) : uint32_t(strsLength));
  b.insert(b.end(), strs.begin(), strs.end());
  return b;
}

class Catalog : public ::testing::Test {
 protected:
  void TearDown() override { FreeCatalog(); }
};

TEST_F(Catalog, BuiltInTableHoldsEveryIdInOrder) {
  ASSERT_EQ(kBuiltinCatalogSize, 509u);
  for (size_t i = 0; i < kBuiltinCatalogSize; ++i) {
    EXPECT_EQ(kBuiltinCatalog[i].id, i);
    EXPECT_NE(kBuiltinCatalog[i].text, nullptr);
  }
  const struct {
    uint32_t id;
    const char* text;
  } samples[] = {
      {0, "No error occurred!"},
      {13, "Out of memory!"},
      {58, "Array \"%s[]\" was not declared!"},
      {91, "Unknown error code!"},
      {112, "The active screen is not large enough to display a %ldx%ld window!\n"
            "Do you want Vellumark to open its own screen?"},
      {486, "x"},
      {508, "No joystick found at specified game port!"},
  };
  for (const auto& s : samples) EXPECT_STREQ(GetCatalogText(s.id), s.text) << s.id;
  EXPECT_EQ(GetCatalogText(509), nullptr);
}

TEST_F(Catalog, LoadedTextsReplaceTheirIdsOnly) {
  ASSERT_TRUE(LoadCatalogFromMemory(MakeCatalog({{13, "Kein Speicher!"}, {91, "Fehler?"}, {91, "second"}})));
  EXPECT_STREQ(GetCatalogText(13), "Kein Speicher!");
  EXPECT_STREQ(GetCatalogText(91), "Fehler?");  // the first record of an id wins
  EXPECT_STREQ(GetCatalogText(0), "No error occurred!");
  EXPECT_EQ(GetCatalogText(600), nullptr);
  FreeCatalog();
  EXPECT_STREQ(GetCatalogText(13), "Out of memory!");
}

TEST_F(Catalog, RecordsAdvanceByTheirPaddedLength) {
  // "abcd" has length 5 with its terminator: the next record is 16 bytes on.
  ASSERT_TRUE(LoadCatalogFromMemory(MakeCatalog({{1, "abcd"}, {2, "efg"}, {3, ""}, {4, "hijklmno"}})));
  EXPECT_STREQ(GetCatalogText(1), "abcd");
  EXPECT_STREQ(GetCatalogText(2), "efg");
  EXPECT_STREQ(GetCatalogText(3), "");
  EXPECT_STREQ(GetCatalogText(4), "hijklmno");
}

TEST_F(Catalog, EndMarkerStopsTheRecords) {
  std::vector<uint8_t> file = MakeCatalog({{1, "one"}, {0xFFFFFFFFu, "x"}, {2, "two"}});
  ASSERT_TRUE(LoadCatalogFromMemory(file));
  EXPECT_STREQ(GetCatalogText(1), "one");
  EXPECT_STREQ(GetCatalogText(2), "Unknown keyword!");
}

// Each of these files is refused whole: no text of it is used.
TEST_F(Catalog, HostileFilesFallBackToBuiltInTexts) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}}, -1, 0);
    f.resize(100, 0);  // exactly 100 bytes
    cases.push_back({"100 bytes", f});
  }
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}});
    f[0] = 'X';
    cases.push_back({"not FORM", f});
  }
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}});
    f[12] = 'X';
    cases.push_back({"not CTLGFVER", f});
  }
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}});
    const size_t strs = 16 + 4 + 64;
    std::memcpy(f.data() + strs, "STRX", 4);
    cases.push_back({"no STRS", f});
  }
  cases.push_back({"chunk past the file", MakeCatalog({{13, "mine"}}, 4096)});
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}, {14, "next"}});
    f[f.size() - 16 + 7] = 0x40;  // second record's length: past the chunk
    cases.push_back({"record past the chunk", f});
  }
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}, {14, "next"}});
    f[f.size() - 16 + 4] = 0x80;  // second record's length: 2 GB
    cases.push_back({"huge record length", f});
  }
  cases.push_back({"missing terminator", MakeCatalog({{13, "mine"}, {14, "abc", false}})});
  cases.push_back({"zero length", MakeCatalog({{13, "mine"}, {14, "", false}})});
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}});
    f.resize(f.size() + 6, 0);  // a record header cut short
    const size_t strs = 16 + 4 + 64;
    f[strs + 7] = uint8_t(f[strs + 7] + 6);
    cases.push_back({"cut record header", f});
  }
  {
    std::vector<uint8_t> f = MakeCatalog({{13, "mine"}});
    f.resize(f.size() - 6);  // the file ends inside the text
    cases.push_back({"truncated file", f});
  }
  {
    std::vector<uint8_t> f = MakeCatalog({}, -1, 92);
    f.resize(f.size() - 4);  // "STRS" is the last word: no length
    cases.push_back({"STRS without length", f});
  }

  for (Case& c : cases) {
    // A good catalog first, so that a refused file must drop it too.
    ASSERT_TRUE(LoadCatalogFromMemory(MakeCatalog({{13, "good"}})));
    EXPECT_FALSE(LoadCatalogFromMemory(c.file)) << c.what;
    EXPECT_STREQ(GetCatalogText(13), "Out of memory!") << c.what;
  }
}

// Good catalogs mutated (bytes flipped, cut, sizes made huge, pieces
// repeated) are taken whole or refused, and no text read from them leaves
// the file (run under the sanitizer build); VK_FUZZ_ITERATIONS runs longer.
TEST_F(Catalog, MutatedFilesAreTakenWholeOrRefused) {
  const std::vector<std::vector<uint8_t>> seeds = {
      MakeCatalog({{13, "mine"}, {14, "next one"}, {91, "%s and %ld"}}),
      MakeCatalog({{0, ""}, {508, "last"}, {70000, "beyond the table"}}),
  };
  for (const auto& seed : seeds) ASSERT_TRUE(FuzzCatalog(seed.data(), seed.size()));
  const char* env = std::getenv("VK_FUZZ_ITERATIONS");
  const long iterations = env ? std::strtol(env, nullptr, 10) : 1000;
  std::mt19937 rng(20261211);
  for (long i = 0; i < iterations; i++) {
    const auto& seed = seeds[size_t(i) % seeds.size()];
    const std::string bytes = fuzzmutate::Mutate(std::string(seed.begin(), seed.end()), rng);
    FuzzCatalog(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
}

TEST_F(Catalog, LoadsFromFileAndIgnoresMissingOnes) {
  const std::string path = std::string(VK_BINARY_DIR) + "/catalog_test.catalog";
  const std::vector<uint8_t> file = MakeCatalog({{7, "Kein Skript!"}});
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);
  EXPECT_TRUE(LoadCatalog(path));
  EXPECT_STREQ(GetCatalogText(7), "Kein Skript!");
  std::remove(path.c_str());
  FreeCatalog();
  EXPECT_FALSE(LoadCatalog(path));
  EXPECT_STREQ(GetCatalogText(7), "No script filename specified!");
}

TEST(FormatCatalogText, FillsOnlyTheFirstPlaceholder) {
  const struct {
    const char* format;
    const char* result;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"file %s !", "file T !"},
      {"%s and %s", "T and %s"},
      {"arg %ld!", "arg -7!"},
      {"arg %d!", "arg -7!"},
      {"%ldx%ld", "-7x%ld"},
      {"%d then %s", "%d then T"},  // "%s" is filled whenever there is one
      {"%n %x %p %99999999s %", "%n %x %p %99999999s %"},
      {"100%% %s", "100%% T"},
      {"%l", "%l"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatCatalogText(c.format, "T", -7), c.result) << c.format;
  EXPECT_EQ(FormatCatalogText(nullptr, "T", 1), "");
  EXPECT_EQ(FormatCatalogText("%s", nullptr, 1), "");
}

TEST_F(Catalog, TranslatedErrorTextsAreNeverFormats) {
  // 1022 maps to id 36, 1000 to id 13.
  ASSERT_TRUE(LoadCatalogFromMemory(MakeCatalog({{36, "%n%n %s %s %x"}, {13, "%ld%%%s"}})));
  SetErrorText("cmd");
  SetErrorNumber(3);
  EXPECT_EQ(FormatErrorMessage(1022), "%n%n cmd %s %x");
  EXPECT_EQ(FormatErrorMessage(1000), "%ld%%cmd");
}

}  // namespace
