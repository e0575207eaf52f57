// The Protracker replayer: effects tick by tick (periods and volumes worked
// out by hand), song positions after jumps, breaks, loops and delays, the
// guards against damaged modules, and golden hashes of our own renders that
// catch any change to the mix.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "sound/protracker.h"
#include "support/modules.h"

using namespace soundtest;

namespace {

// A module of one pattern with [cells] on channel 0 (row by row) and a
// looping sample 1 of volume 40.
std::unique_ptr<vkModule> OnePattern(const std::vector<ModCellSpec>& cells, int speedRows = 0) {
  ModuleSpec spec;
  ModSampleSpec s;
  s.data.assign(512, 0);
  for (size_t i = 0; i < s.data.size(); i++) s.data[i] = int8_t((i * 7) & 0x7F) - 64;
  s.volume = 40;
  s.loopStartWords = 0;
  s.loopLengthWords = 256;
  spec.samples = {s};
  auto p = EmptyPattern();
  for (size_t r = 0; r < cells.size(); r++) SetCell(p, static_cast<int>(r), 0, cells[r]);
  (void)speedRows;
  spec.patterns = {p};
  return BuildModule(ModuleBytes(spec));
}

struct TickCase {
  const char* label;
  std::vector<ModCellSpec> rows;  // the last row is the one observed
  std::vector<int> periods;       // output period after each of its six ticks
  std::vector<int> volumes;       // output volume after each tick
};

TEST(Replayer, EffectsTickByTick) {
  const TickCase cases[] = {
      {"104 slides 4 down from the second tick", {{428, 1, 0x1, 0x04}},
       {428, 424, 420, 416, 412, 408}, {40, 40, 40, 40, 40, 40}},
      {"208 slides up", {{428, 1, 0x2, 0x08}}, {428, 436, 444, 452, 460, 468}, {40, 40, 40, 40, 40, 40}},
      {"A04 slides the volume on all six ticks", {{428, 1, 0xA, 0x04}},
       {428, 428, 428, 428, 428, 428}, {36, 32, 28, 24, 20, 16}},
      {"A50 stops at 63", {{428, 1, 0xA, 0x50}}, {428, 428, 428, 428, 428, 428}, {45, 50, 55, 60, 63, 63}},
      {"037 plays y, x, base", {{428, 1, 0x0, 0x37}}, {285, 360, 428, 285, 360, 428}, {40, 40, 40, 40, 40, 40}},
      {"C40 holds 63", {{428, 1, 0xC, 0x40}}, {428, 428, 428, 428, 428, 428}, {63, 63, 63, 63, 63, 63}},
      {"EA4 once per row", {{428, 1, 0xE, 0xA4}}, {428, 428, 428, 428, 428, 428}, {44, 44, 44, 44, 44, 44}},
      {"E12 once per row", {{428, 1, 0xE, 0x12}}, {426, 426, 426, 426, 426, 426}, {40, 40, 40, 40, 40, 40}},
      {"EC2 cuts on the third tick", {{428, 1, 0xE, 0xC2}}, {428, 428, 428, 428, 428, 428}, {40, 40, 0, 0, 0, 0}},
      {"304 glides to the new note without passing it", {{428, 1, 0, 0}, {404, 0, 0x3, 0x04}},
       {424, 420, 416, 412, 408, 404}, {40, 40, 40, 40, 40, 40}},
      {"443 vibrates from the second tick", {{428, 1, 0x4, 0x43}},
       {428, 430, 432, 433, 433, 433}, {40, 40, 40, 40, 40, 40}},
      {"slides stop at 113", {{120, 1, 0x1, 0x04}}, {120, 116, 113, 113, 113, 113}, {40, 40, 40, 40, 40, 40}},
      {"E5F with a note takes the finetune", {{428, 1, 0xE, 0x5F}}, {431, 431, 431, 431, 431, 431},
       {40, 40, 40, 40, 40, 40}},
  };
  for (const TickCase& c : cases) {
    SCOPED_TRACE(c.label);
    auto m = OnePattern(c.rows);
    ASSERT_NE(m, nullptr);
    for (size_t r = 0; r + 1 < c.rows.size(); r++)
      for (int t = 0; t < 6; t++) NextTick(m.get());
    std::vector<int> periods, volumes;
    for (int t = 0; t < 6; t++) {
      NextTick(m.get());
      periods.push_back(m->channels[0].outPeriod);
      volumes.push_back(m->channels[0].outVolume);
    }
    EXPECT_EQ(periods, c.periods);
    EXPECT_EQ(volumes, c.volumes);
  }
}

// The (song position, row) each of the first [rows] rows was read at.
std::vector<std::pair<int, int>> RowsRead(vkModule* m, int rows) {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < rows; i++) {
    out.emplace_back(m->songPosition.load(), m->row.load());
    do NextTick(m);
    while (m->tick != m->speed - 1 || m->patternDelay != 0);
  }
  return out;
}

struct PositionCase {
  const char* label;
  std::vector<std::tuple<int, int, int, int>> cells;  // pattern, row, effect, parameter (channel 1)
  std::vector<int> order;
  int rows;
  std::vector<std::pair<int, int>> read;
  int endCount;
};

TEST(Replayer, SongPositions) {
  const PositionCase cases[] = {
      {"B02 jumps to position 2", {{0, 0, 0xB, 0x02}}, {0, 1, 2}, 3, {{0, 0}, {2, 0}, {2, 1}}, 0},
      {"D0A breaks to row 10 (y above 9 counts)", {{0, 0, 0xD, 0x0A}}, {0, 1}, 2, {{0, 0}, {1, 10}}, 0},
      {"D64 breaks to row 0", {{0, 0, 0xD, 0x64}}, {0, 1}, 2, {{0, 0}, {1, 0}}, 0},
      {"E6x loops the rows", {{0, 1, 0xE, 0x60}, {0, 2, 0xE, 0x62}}, {0}, 8,
       {{0, 0}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 1}, {0, 2}, {0, 3}}, 0},
      {"B past the order table ends the song", {{0, 0, 0xB, 0x90}}, {0, 1}, 2, {{0, 0}, {0, 0}}, 2},
  };
  for (const PositionCase& c : cases) {
    SCOPED_TRACE(c.label);
    ModuleSpec spec;
    spec.samples = {ModSampleSpec{std::vector<int8_t>(64, 10)}};
    int highest = *std::max_element(c.order.begin(), c.order.end());
    spec.patterns.assign(static_cast<size_t>(highest + 1), EmptyPattern());
    for (auto [pattern, row, effect, param] : c.cells)
      SetCell(spec.patterns[static_cast<size_t>(pattern)], row, 1, {0, 0, effect, param});
    spec.order = c.order;
    auto m = BuildModule(ModuleBytes(spec));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(RowsRead(m.get(), c.rows), c.read);
    EXPECT_EQ(m->endCount, c.endCount);
  }
}

TEST(Replayer, EndCountAndWrap) {
  ModuleSpec spec;
  spec.samples = {ModSampleSpec{std::vector<int8_t>(64, 10)}};
  spec.patterns = {EmptyPattern(), EmptyPattern()};
  SetCell(spec.patterns[1], 0, 0, {0, 0, 0xB, 0x00});
  spec.order = {0, 1};
  auto m = BuildModule(ModuleBytes(spec));
  ASSERT_NE(m, nullptr);
  RowsRead(m.get(), 66);
  EXPECT_EQ(m->songPosition.load(), 0);
  EXPECT_NE(m->flags & kModWrapped, 0u);
  EXPECT_EQ(m->endCount, 0);  // a backward jump counts only when silence after the end is asked

  spec.patterns[1][0] = {};
  m = BuildModule(ModuleBytes(spec));
  RowsRead(m.get(), 129);
  EXPECT_EQ(m->endCount, 1);
  EXPECT_EQ(m->songPosition.load(), 0);
  EXPECT_EQ(m->row.load(), 1);
}

TEST(Replayer, SpeedTempoAndDelay) {
  struct Row {
    int effect, param;
    int speed, bpm, samplesPerTick;
  };
  const Row rows[] = {{0xF, 0x1F, 31, 125, 1920}, {0xF, 0x20, 6, 32, 7500}, {0xF, 0x7D, 6, 125, 1920}};
  for (const Row& r : rows) {
    auto m = OnePattern({{0, 0, r.effect, r.param}});
    NextTick(m.get());
    EXPECT_EQ(m->speed, r.speed);
    EXPECT_EQ(m->bpm, r.bpm);
    EXPECT_EQ(m->samplesPerTick, r.samplesPerTick);
  }
  // EE2: row 0 lasts three rows' time.
  auto m = OnePattern({{0, 0, 0xE, 0xE2}});
  int ticks = 0;
  do {
    NextTick(m.get());
    ticks++;
  } while (m->row.load() == 1);
  EXPECT_EQ(ticks, 18 + 1);
}

TEST(Replayer, DamagedModulesStayInside) {
  ModuleSpec spec;
  ModSampleSpec looped;
  looped.data.assign(256, 20);
  looped.loopStartWords = 1000;  // past the sample: cut with it
  looped.loopLengthWords = 500;
  ModSampleSpec claimsMore;
  claimsMore.data.assign(64, 30);
  claimsMore.headerLengthWords = 30000;  // more than the file holds
  claimsMore.loopStartWords = 10;
  claimsMore.loopLengthWords = 20000;
  spec.samples = {looped, claimsMore};
  auto p = EmptyPattern();
  SetCell(p, 0, 0, {428, 1, 0x9, 0xFF});  // offset past the sample
  SetCell(p, 0, 1, {428, 2, 0xE, 0xF5});  // funk over a loop cut short
  SetCell(p, 0, 2, {428, 40, 0xF, 0x01});  // sample 40 names no sample; speed 1
  SetCell(p, 0, 3, {113, 1, 0xE, 0x1F});
  for (int r = 1; r < 64; r++) SetCell(p, r, 3, {0, 0, 0xE, 0x1F});  // the period runs below 0
  SetCell(p, 63, 0, {0, 0, 0xB, 0x90});
  spec.patterns = {p};
  spec.songLength = 200;
  auto m = BuildModule(ModuleBytes(spec));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->songLength, 128);
  EXPECT_LE(m->samples[1].loopEnd, m->samples[1].length);
  EXPECT_LE(m->samples[2].loopEnd, m->samples[2].length);
  EXPECT_EQ(m->samples[2].length, 64 * 16384);
  std::vector<int16_t> out(2 * 96000);
  RenderModuleFrames(m.get(), out.data(), 96000);  // under the sanitizer: no read or write outside
  EXPECT_EQ(m->endCount, 1);
  EXPECT_EQ(m->channels[2].sample, 0);
  EXPECT_EQ(m->channels[0].position, -1);

  // Too short for its patterns, or for its header.
  const std::string bytes = ModuleBytes(spec);
  EXPECT_EQ(BuildModule(bytes.substr(0, 1084 + 1000)), nullptr);
  EXPECT_EQ(BuildModule(bytes.substr(0, 1000)), nullptr);
  EXPECT_EQ(ModuleRecordBytes(reinterpret_cast<const uint8_t*>(bytes.data()), 1084), 3072 + 2916);
}

TEST(Replayer, ShortLoopsPlayOnceLongerOnesRepeat) {
  for (int loopWords : {1, 2}) {
    ModuleSpec spec;
    ModSampleSpec s;
    s.data.assign(32, 50);
    s.loopStartWords = 0;
    s.loopLengthWords = loopWords;
    spec.samples = {s};
    auto p = EmptyPattern();
    SetCell(p, 0, 0, {428, 1, 0, 0});
    spec.patterns = {p};
    auto m = BuildModule(ModuleBytes(spec));
    std::vector<int16_t> out(2 * 9600);
    RenderModuleFrames(m.get(), out.data(), 9600);
    EXPECT_EQ(m->channels[0].position >= 0, loopWords == 2) << loopWords;
  }
}

TEST(Replayer, FilterSettlesToTheInput) {
  ModuleSpec spec;
  ModSampleSpec s;
  s.data.assign(512, 100);
  s.loopLengthWords = 256;
  spec.samples = {s};
  auto p = EmptyPattern();
  SetCell(p, 0, 0, {428, 1, 0xE, 0x00});  // E00: filter on
  SetCell(p, 0, 1, {428, 1, 0, 0});
  spec.patterns = {p};
  auto m = BuildModule(ModuleBytes(spec));
  std::vector<int16_t> out(2 * 24000);
  RenderModuleFrames(m.get(), out.data(), 24000);
  EXPECT_EQ(m->filterOn, 1);
  // Channel 0 sits on the second output, channel 1 on the first: each a
  // constant 100 x 64-capped volume, the filter's gain at rest is 1.
  const int expectFirst = (((100 * 63 * 255) >> 7) * 2 * 256) >> 9;
  EXPECT_NEAR(out[2 * 23999], expectFirst, 2);
  EXPECT_NEAR(out[2 * 23999 + 1], expectFirst, 2);
}

uint64_t Fnv(const std::vector<int16_t>& v) {
  uint64_t h = 1469598103934665603ull;
  for (int16_t x : v) {
    h = (h ^ uint16_t(x)) * 1099511628211ull;
  }
  return h;
}

TEST(Replayer, GoldenRenders) {
  ModuleSpec spec;
  ModSampleSpec a, b;
  for (int i = 0; i < 400; i++) a.data.push_back(int8_t((i % 40) * 6 - 120));
  a.loopStartWords = 50;
  a.loopLengthWords = 100;
  for (int i = 0; i < 300; i++) b.data.push_back(int8_t(i % 2 ? 90 : -90));
  b.volume = 50;
  b.finetune = 3;
  spec.samples = {a, b};
  auto p0 = EmptyPattern(), p1 = EmptyPattern();
  const ModCellSpec pattern0[][4] = {
      {{428, 1, 0x0, 0x47}, {214, 2, 0xC, 0x30}, {339, 1, 0x4, 0x86}, {0, 0, 0xF, 0x05}},
      {{0, 0, 0xA, 0x02}, {0, 0, 0x1, 0x02}, {0, 0, 0x6, 0x01}, {285, 2, 0x9, 0x01}},
      {{404, 0, 0x3, 0x08}, {0, 0, 0x2, 0x03}, {0, 0, 0x7, 0x46}, {0, 0, 0xE, 0x93}},
      {{0, 0, 0x5, 0x10}, {170, 2, 0xE, 0xD2}, {0, 0, 0xE, 0x00}, {0, 0, 0xD, 0x00}},
  };
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) SetCell(p0, r, c, pattern0[r][c]);
  SetCell(p1, 0, 0, {320, 1, 0xE, 0x60});
  SetCell(p1, 1, 1, {190, 2, 0xE, 0x61});
  SetCell(p1, 2, 2, {0, 0, 0xF, 0x90});
  spec.patterns = {p0, p1};
  spec.order = {0, 1, 0};
  auto m = BuildModule(ModuleBytes(spec));
  ASSERT_NE(m, nullptr);
  std::vector<int16_t> out(2 * 48000);
  RenderModuleFrames(m.get(), out.data(), 48000);
  const uint64_t first = Fnv(out);
  RenderModuleFrames(m.get(), out.data(), 48000);
  const uint64_t second = Fnv(out);
  // Our own renders of this module; a change to the replayer's timing,
  // effects or mix changes them.
  EXPECT_EQ(first, 0x9398213d98bde399ull) << std::hex << first;
  EXPECT_EQ(second, 0x978871247b8a7e42ull) << std::hex << second;
}

}  // namespace

namespace {

// Asked to, a module falls silent once its song ended, filter and all.
TEST(Replayer, SilenceAfterTheEndWhenAsked) {
  ModuleSpec spec;
  ModSampleSpec s;
  s.data.assign(512, 80);
  s.loopLengthWords = 256;
  spec.samples = {s};
  auto p = EmptyPattern();
  SetCell(p, 0, 0, {428, 1, 0xE, 0x00});  // filter on
  SetCell(p, 1, 0, {0, 0, 0xB, 0x00});    // back to the start: the end
  spec.patterns = {p};
  auto m = BuildModule(ModuleBytes(spec));
  m->flags |= kModSilenceAfterEnd;
  std::vector<int16_t> out(2 * 48000);
  RenderModuleFrames(m.get(), out.data(), 48000);
  EXPECT_EQ(m->endCount, 1);
  EXPECT_NE(out[2 * 1500 + 1], 0);  // it sounded during its two rows
  EXPECT_EQ(out[2 * 47999 + 1], 0);
  EXPECT_EQ(out[2 * 47999], 0);
}

}  // namespace
