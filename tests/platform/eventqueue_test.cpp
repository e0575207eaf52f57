// The input event queue: what is dropped, what expires, what removal keeps,
// and who owns the dropped-file lists.
#include "platform/eventqueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>


namespace {

// Stand-ins for displays: the queue only keeps and compares their addresses.
struct FakeDisplay {
  bool scaling = false;
  vkDisplay* get() { return reinterpret_cast<vkDisplay*>(this); }
};

bool FakeIsScaling(const vkDisplay* display) {
  return reinterpret_cast<const FakeDisplay*>(display)->scaling;
}

std::unique_ptr<vkEventPayload> Files(std::string name) {
  return std::make_unique<vkEventPayload>(vkEventPayload{std::move(name)});
}

// Posts key events 0..count-1 (key = index) stamped [at].
void PostKeys(vkEventQueue& queue, uint32_t count, vkTimeValue at = {}) {
  for (uint32_t i = 0; i < count; ++i) ASSERT_TRUE(queue.Post(nullptr, EVENT_KEY, 1, i, 0, nullptr, at));
}

std::vector<int32_t> QueuedKeys(vkEventQueue& queue) {
  std::vector<int32_t> keys;
  vkEventInfo info;
  for (size_t i = 0; queue.Get(i, info, false) != 0; ++i) keys.push_back(info.key);
  return keys;
}

TEST(EventQueue, The257thEventIsDroppedAndItsPayloadStaysWithTheCaller) {
  vkEventQueue queue;
  for (uint32_t i = 0; i < 256; ++i) ASSERT_TRUE(queue.Post(nullptr, EVENT_DROPFILE, i, 0, 0, Files("f"), {}));
  std::unique_ptr<vkEventPayload> payload = Files("late.png");
  EXPECT_FALSE(queue.Post(nullptr, EVENT_DROPFILE, 0, 0, 0, std::move(payload), {}));
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ((*payload)[0], "late.png");
  EXPECT_EQ(queue.Count(), 256u);

  queue.Remove(0, true);
  EXPECT_TRUE(queue.Post(nullptr, EVENT_DROPFILE, 0, 0, 0, std::move(payload), {}));
  EXPECT_EQ(payload, nullptr);
}

TEST(EventQueue, SizeEventsOfScalingDisplaysAreDropped) {
  FakeDisplay plain, scaled;
  scaled.scaling = true;
  const struct {
    vkDisplay* display;
    uint32_t type;
    bool installed;
    bool queued;
  } cases[] = {
      {plain.get(), EVENT_SIZEWINDOW, true, true},   {scaled.get(), EVENT_SIZEWINDOW, true, false},
      {scaled.get(), EVENT_MOVEWINDOW, true, true},  {nullptr, EVENT_SIZEWINDOW, true, true},
      {scaled.get(), EVENT_SIZEWINDOW, false, true},
  };
  for (const auto& c : cases) {
    vkEventQueue queue;
    queue.SetScalingQuery(c.installed ? FakeIsScaling : nullptr);
    EXPECT_EQ(queue.Post(c.display, c.type, 0, 0, 0, nullptr, {}), c.queued);
    EXPECT_EQ(queue.Count(), c.queued ? 1u : 0u);
  }
}

TEST(EventQueue, RemovalKeepsLaterEventsInOrder) {
  const struct {
    int32_t n;
    std::vector<int32_t> left;
  } cases[] = {
      {0, {1, 2, 3, 4}},
      {2, {3, 4}},
      {3, {4}},
      {4, {}},    // the last event
      {5, {}},    // past the queue: clamped
      {255, {}},
      {-1, {}},   // everything
      {-2, {0, 1, 2, 3, 4}},   // outside 0..255: nothing
      {256, {0, 1, 2, 3, 4}},
  };
  for (const auto& c : cases) {
    vkEventQueue queue;
    PostKeys(queue, 5);
    queue.Remove(c.n, true);
    EXPECT_EQ(QueuedKeys(queue), c.left) << c.n;
    EXPECT_EQ(queue.Count(), c.left.size()) << c.n;
  }
}

TEST(EventQueue, RemovalFreesPayloadsAndMovesTheRest) {
  vkEventQueue queue;
  for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(queue.Post(nullptr, EVENT_DROPFILE, 7, 8, 0, Files(name), {}));
  queue.Remove(0, true);
  vkEventInfo info;
  ASSERT_EQ(queue.Get(0, info, true), 1u);
  ASSERT_NE(info.payload, nullptr);
  EXPECT_EQ((*info.payload)[0], "b");
  EXPECT_EQ(info.x, 7);
  EXPECT_EQ(info.y, 8);
  ASSERT_EQ(queue.Get(1, info, false), 2u);
  EXPECT_EQ(info.payload, nullptr);  // not taken
  ASSERT_EQ(queue.Get(1, info, true), 2u);
  EXPECT_EQ((*info.payload)[0], "c");
  ASSERT_EQ(queue.Get(1, info, true), 2u);
  EXPECT_EQ(info.payload, nullptr);  // already taken

  // Removing past the end twice frees nothing twice (checked under the sanitizer).
  queue.Remove(200, true);
  queue.Remove(200, false);
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_EQ(queue.Get(0, info, true), 0u);
}

TEST(EventQueue, GetReadsTheWordsByType) {
  vkEventQueue queue;
  FakeDisplay fake;
  vkDisplay* display = fake.get();
  ASSERT_TRUE(queue.Post(display, EVENT_LEFTMOUSE, uint32_t(-5), 20, 1, nullptr, {}));
  ASSERT_TRUE(queue.Post(display, EVENT_KEY, 0, 300, 9, nullptr, {}));
  ASSERT_TRUE(queue.Post(display, EVENT_MIDMOUSE, 1, 2, 0, nullptr, {}));
  vkEventInfo info;
  ASSERT_EQ(queue.Get(0, info, false), 1u);
  EXPECT_EQ(info.type, uint32_t(EVENT_LEFTMOUSE));
  EXPECT_EQ(info.display, display);
  EXPECT_EQ(info.x, -5);
  EXPECT_EQ(info.y, 20);
  EXPECT_EQ(info.down, 1);
  ASSERT_EQ(queue.Get(1, info, false), 2u);
  EXPECT_EQ(info.down, 0);
  EXPECT_EQ(info.key, 300);
  EXPECT_EQ(info.further, 9);
  EXPECT_EQ(info.x, 0);
  ASSERT_EQ(queue.Get(2, info, false), 3u);
  EXPECT_EQ(info.x, 1);
  EXPECT_EQ(queue.Get(3, info, false), 0u);
  EXPECT_EQ(queue.Get(1000, info, false), 0u);
}

TEST(EventQueue, ClosingDisplayIsForgotten) {
  vkEventQueue queue;
  FakeDisplay closing, staying;
  ASSERT_TRUE(queue.Post(closing.get(), EVENT_KEY, 1, 1, 0, nullptr, {}));
  ASSERT_TRUE(queue.Post(staying.get(), EVENT_KEY, 1, 2, 0, nullptr, {}));
  ASSERT_TRUE(queue.Post(closing.get(), EVENT_KEY, 1, 3, 0, nullptr, {}));
  queue.PurgeDisplay(closing.get());
  vkEventInfo info;
  const vkDisplay* expected[] = {nullptr, staying.get(), nullptr};
  for (size_t i = 0; i < 3; ++i) {
    ASSERT_NE(queue.Get(i, info, false), 0u);
    EXPECT_EQ(info.display, expected[i]) << i;
  }
}

TEST(EventQueue, EventsOlderThanTheExpiryGo) {
  const struct {
    std::vector<vkTimeValue> stamps;
    vkTimeValue now;
    std::vector<int32_t> left;
  } cases[] = {
      {{{10, 0}}, {11, 500000}, {0}},                        // exactly 1500 ms: kept
      {{{10, 0}}, {11, 501000}, {}},                         // 1501 ms: dropped
      {{{10, 999999}}, {12, 499999}, {0}},                   // 12499 - 10999 ms
      {{{10, 0}, {10, 100000}, {12, 0}}, {11, 600000}, {1, 2}},
      {{{11, 0}, {10, 0}, {11, 500000}}, {11, 600000}, {2}},  // the last old one and all before it
      {{{20, 0}}, {10, 0}, {0}},                              // stamped after now
  };
  for (const auto& c : cases) {
    vkEventQueue queue;
    for (size_t i = 0; i < c.stamps.size(); ++i)
      ASSERT_TRUE(queue.Post(nullptr, EVENT_KEY, 1, uint32_t(i), 0, nullptr, c.stamps[i]));
    queue.Expire(c.now, kDefaultEventExpiry);
    EXPECT_EQ(QueuedKeys(queue), c.left) << c.now.seconds << "." << c.now.micros;
  }
}

TEST(EventQueue, ProgramQueueStampsEventsNow) {
  RemoveEvents(-1, true);
  ASSERT_TRUE(PostEvent(nullptr, EVENT_DROPFILE, 1, 2, 0, Files("x")));
  ExpireEvents();
  EXPECT_EQ(ProgramEventQueue().Count(), 1u);
  RemoveEvents(-1, true);
  EXPECT_EQ(ProgramEventQueue().Count(), 0u);
}

TEST(EventQueue, PostsFromSeveralThreadsAllArrive) {
  vkEventQueue queue;
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 4; ++t)
    threads.emplace_back([&queue, t] {
      for (uint32_t i = 0; i < 64; ++i) queue.Post(nullptr, EVENT_KEY, 1, t * 64 + i, 0, Files("p"), {});
    });
  for (std::thread& thread : threads) thread.join();
  std::vector<int32_t> keys = QueuedKeys(queue);
  std::sort(keys.begin(), keys.end());
  ASSERT_EQ(keys.size(), 256u);
  for (int32_t i = 0; i < 256; ++i) EXPECT_EQ(keys[size_t(i)], i);
}

}  // namespace
