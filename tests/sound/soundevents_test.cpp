// The sound notification queue hands notifications out oldest first with the
// value the audio output's arguments give, and reports an empty queue. The
// sound library's settings handler turns the installed handlers into the
// switches the audio output reads.
#include <gtest/gtest.h>

#include <memory>

#include "engine/state.h"
#include "sound/soundevents.h"
#include "sound/soundlib.h"

namespace {

class SoundEvents : public ::testing::Test {
 protected:
  vkSoundEventQueue queue;
};

TEST_F(SoundEvents, EmptyQueueGivesNothing) {
  vkSoundEvent event;
  event.type = 99;
  EXPECT_EQ(GetSoundEvent(queue, &event), 0);
  EXPECT_EQ(event.type, 99);
}

struct ValueCase {
  int32_t type, a1, a2, a3;
  int64_t value;
};

TEST_F(SoundEvents, ValueIsCountLessOneTimesLengthPlusPositionForSampleEnds) {
  const ValueCase cases[] = {
      {kSoundEventSampleEnd, 1000, 3, 250, 2250},
      {kSoundEventSampleLoop, 1000, 3, 250, 2000},
      {kSoundEventMusicEnd, 1000, 3, 250, 2000},
      {kSoundEventSampleEnd, 1000, 1, 40, 40},
      {kSoundEventSampleLoop, 500, 0, 7, -500},
      {kSoundEventSampleLoop, 48000 * 3600, 30, 0, int64_t{48000} * 3600 * 29},  // past 32 bits
  };
  int marker = 0;
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.value);
    PostSoundEvent(queue, c.type, 4, &marker, c.a1, c.a2, c.a3);
    vkSoundEvent event;
    ASSERT_EQ(GetSoundEvent(queue, &event), 1);
    EXPECT_EQ(event.type, c.type);
    EXPECT_EQ(event.idNumber, 4);
    EXPECT_EQ(event.idHandle, &marker);
    EXPECT_EQ(event.value, c.value);
    EXPECT_EQ(event.count, c.a2);
  }
}

TEST_F(SoundEvents, OldestFirst) {
  for (int32_t id = 1; id <= 5; id++) PostSoundEvent(queue, kSoundEventMusicEnd, id, nullptr, 0, 1, 0);
  for (int32_t id = 1; id <= 5; id++) {
    vkSoundEvent event;
    ASSERT_EQ(GetSoundEvent(queue, &event), 1);
    EXPECT_EQ(event.idNumber, id);
  }
  vkSoundEvent event;
  EXPECT_EQ(GetSoundEvent(queue, &event), 0);
}

TEST_F(SoundEvents, FreeDropsPendingNotifications) {
  PostSoundEvent(queue, kSoundEventSampleEnd, 1, nullptr, 10, 1, 0);
  PostSoundEvent(queue, kSoundEventSampleEnd, 2, nullptr, 10, 1, 0);
  FreeSoundEventQueue(queue);
  vkSoundEvent event;
  EXPECT_EQ(GetSoundEvent(queue, &event), 0);
}

TEST(SoundSettings, InstalledHandlersSetTheWantedSwitches) {
  std::unique_ptr<vkState, void (*)(vkState*)> state(vmNewState(), vmCloseState);
  vkState* L = state.get();
  const vkSoundEventSwitches& wanted = SoundEventSwitches(L);
  EXPECT_EQ(SoundSettingsHandler(L, nullptr, ATTR_ONSAMPLEEND, 1), 1);
  EXPECT_EQ(wanted.sampleEnd.load(), 1);
  EXPECT_EQ(SoundSettingsHandler(L, nullptr, ATTR_ONMUSICEND, 1), 1);
  EXPECT_EQ(SoundSettingsHandler(L, nullptr, ATTR_ONSAMPLELOOP, 1), 1);
  EXPECT_EQ(SoundSettingsHandler(L, nullptr, ATTR_ONSAMPLEEND, 0), 1);
  EXPECT_EQ(wanted.sampleLoop.load(), 1);
  EXPECT_EQ(wanted.sampleEnd.load(), 0);
  EXPECT_EQ(wanted.musicEnd.load(), 1);
  EXPECT_EQ(SoundSettingsHandler(L, nullptr, 99, 1), 0);
  int32_t answer = 5;
  EXPECT_EQ(SoundAttributeHandler(L, nullptr, 8, &answer), 0);
  EXPECT_EQ(answer, 5);
}

}  // namespace
