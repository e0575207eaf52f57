// Time values and their arithmetic, local dates made only from fields in
// range, the strict UTF-8 decoder, and the timers' deadline list on a clock
// the test gives: an interval fires at once and then every period, missed
// periods fire once, a timeout fires once and is gone.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/vkos_time.h"
#include "platform/vkos_timers.h"

namespace {

TEST(TimeValues, CarryBorrowAndCompare) {
  vkTimeValue a{1, 600000}, b{0, 500000};
  vkosAddTimeValue(&a, &b);
  EXPECT_EQ(a.seconds, 2u);
  EXPECT_EQ(a.micros, 100000u);
  vkosSubTimeValue(&a, &b);
  EXPECT_EQ(a.seconds, 1u);
  EXPECT_EQ(a.micros, 600000u);
  const vkTimeValue same = a;
  EXPECT_EQ(vkosCmpTimeValue(&a, &same), 0);
  EXPECT_EQ(vkosCmpTimeValue(&a, &b), 1);
  EXPECT_EQ(vkosCmpTimeValue(&b, &a), -1);
}

TEST(LocalDates, FieldsOutOfRangeAreRefused) {
  const struct {
    vkLocalTime fields;
    bool valid;
  } cases[] = {
      {{0, 0, 0, 29, 1, 2024}, true},   {{0, 0, 0, 29, 1, 2023}, false}, {{0, 0, 0, 30, 1, 2024}, false},
      {{0, 0, 0, 31, 3, 2024}, false},  {{0, 0, 0, 31, 11, 2024}, true}, {{0, 0, 0, 1, 12, 2024}, false},
      {{0, 0, 24, 1, 0, 2024}, false},  {{60, 0, 0, 1, 0, 2024}, false}, {{0, 0, 0, 0, 0, 2024}, false},
      {{59, 59, 23, 29, 1, 2000}, true}, {{0, 0, 0, 29, 1, 1900}, false},
  };
  for (const auto& c : cases) {
    int64_t seconds = -1;
    EXPECT_EQ(vkosMakeTime(c.fields, &seconds), c.valid)
        << c.fields.day << "." << c.fields.month << "." << c.fields.year << " " << c.fields.hours;
    if (!c.valid) continue;
    const vkLocalTime back = vkosLocalTime(seconds);  // no field shifted
    EXPECT_EQ(back.day, c.fields.day);
    EXPECT_EQ(back.month, c.fields.month);
    EXPECT_EQ(back.year, c.fields.year);
    EXPECT_EQ(back.hours, c.fields.hours);
  }
}

TEST(Utf8, StrictDecoding) {
  const struct {
    std::string bytes;
    std::vector<uint32_t> codes;  // empty with ok false: refused
    bool ok;
  } cases[] = {
      {"abc", {'a', 'b', 'c'}, true},
      {"\xEF\xBB\xBF" "a", {'a'}, true},  // the byte-order mark is dropped
      {"\xC3\xA9", {0xE9}, true},
      {"\xE2\x82\xAC", {0x20AC}, true},
      {"\xF0\x9F\x98\x80", {0x1F600}, true},
      {"\xC0\xAF", {}, false},            // overlong
      {"\xE0\x80\xAF", {}, false},        // overlong
      {"\xED\xA0\x80", {}, false},        // surrogate
      {"\xF4\x90\x80\x80", {}, false},    // above 0x10FFFF
      {"\xE2\x82", {}, false},            // cut short
      {"\x80", {}, false},                // stray continuation
      {"a\xC3", {}, false},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> out;
    EXPECT_EQ(vkosUtf8ToUcs4(c.bytes.data(), c.bytes.size(), &out), c.ok ? 0 : 1003) << c.bytes;
    EXPECT_EQ(out, c.codes) << c.bytes;
  }
}

// Random bytes never read past their end (run under the sanitizer build).
TEST(Utf8, RandomBytesStayInside) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; round++) {
    std::vector<char> bytes(random() % 12);
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    std::vector<uint32_t> out;
    const int code = vkosUtf8ToUcs4(bytes.data(), bytes.size(), &out);
    EXPECT_TRUE(code == 0 || (code == 1003 && out.empty()));
    for (uint32_t c : out) EXPECT_LE(c, 0x10FFFFu);
  }
}

TEST(TimerList, FiresInDeadlineOrder) {
  vkTimerList timers;
  const vkTimerKey a{1, nullptr}, b{2, nullptr}, c{3, nullptr};
  timers.Add(VKOS_TIMER_INTERVAL, a, 250000, 0);  // 250 ms
  timers.Add(VKOS_TIMER_TIMEOUT, b, 600000, 0);
  timers.Add(VKOS_TIMER_TIMEOUT, c, 100000, 0);
  vkTimerKey id;
  auto take = [&](int64_t now) {
    timers.MarkDue(now);
    std::string fired;
    for (int32_t kind; (kind = timers.TakeFired(&id)) != VKOS_TIMER_NONE;)
      fired += (kind == VKOS_TIMER_INTERVAL ? "i" : "t") + std::to_string(id.number) + " ";
    return fired;
  };
  EXPECT_EQ(take(0), "i1 ");
  EXPECT_EQ(timers.NextDeadline(), 100000);
  EXPECT_EQ(take(99999), "");
  EXPECT_EQ(take(100000), "t3 ");
  EXPECT_EQ(take(700000), "i1 t2 ");  // fell due at 250 000 and 600 000
  EXPECT_EQ(timers.NextDeadline(), 750000);
  EXPECT_EQ(take(750000), "i1 ");
  EXPECT_TRUE(timers.Change(a, 1000, 750500));
  EXPECT_EQ(take(750500), "i1 ");
  EXPECT_FALSE(timers.Remove(VKOS_TIMER_TIMEOUT, b));  // gone when it fired
  EXPECT_TRUE(timers.Remove(VKOS_TIMER_INTERVAL, a));
  EXPECT_EQ(timers.Count(), 0u);
  EXPECT_EQ(timers.TakeFired(&id), VKOS_TIMER_NONE);
}

}  // namespace
