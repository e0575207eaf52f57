// The sound notification queue: the audio output posts a notification when a
// sample ends or loops or a music ends, and the event dispatcher takes them
// oldest first to call the script's handlers. Guarded by a recursive mutex.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

inline constexpr int32_t kSoundEventSampleEnd = 5;
inline constexpr int32_t kSoundEventSampleLoop = 6;
inline constexpr int32_t kSoundEventMusicEnd = 7;

struct vkSoundEvent {
  int32_t type = 0;            // kSoundEvent*
  int32_t idNumber = 0;        // the sound's identifier (number, handle)
  void* idHandle = nullptr;
  int64_t value = 0;           // (count - 1) x a1, plus a3 for a sample end
  int32_t count = 0;
};

struct vkSoundEventQueue {
  std::recursive_mutex mutex;
  std::deque<vkSoundEvent> events;
};

// Drops every pending notification.
void FreeSoundEventQueue(vkSoundEventQueue& queue);

// Appends a notification of [type] for the sound (idNumber, idHandle) with
// value (a2 - 1) x a1, plus a3 when the type is a sample end, and count a2.
// When memory runs out nothing is queued and nothing is reported.
void PostSoundEvent(vkSoundEventQueue& queue, int32_t type, int32_t idNumber, void* idHandle, int32_t a1, int32_t a2,
                    int32_t a3);

// Takes the oldest notification into [*event] and returns 1; returns 0 when
// the queue is empty.
int GetSoundEvent(vkSoundEventQueue& queue, vkSoundEvent* event);
