// The sound notification queue: a first-in first-out list under a recursive
// mutex, filled on the main thread as the audio output delivers what its
// render thread left, and emptied by the event dispatcher.
#include "sound/soundevents.h"

#include <new>

void FreeSoundEventQueue(vkSoundEventQueue& queue) {
  std::lock_guard lock(queue.mutex);
  std::deque<vkSoundEvent>().swap(queue.events);
}

void PostSoundEvent(vkSoundEventQueue& queue, int32_t type, int32_t idNumber, void* idHandle, int32_t a1, int32_t a2,
                    int32_t a3) {
  vkSoundEvent event;
  event.type = type;
  event.idNumber = idNumber;
  event.idHandle = idHandle;
  // In 64 bits: a long sample played many times overflows a 32-bit word.
  event.value = (int64_t{a2} - 1) * a1;
  if (type == kSoundEventSampleEnd) event.value += a3;
  event.count = a2;
  std::lock_guard lock(queue.mutex);
  try {
    queue.events.push_back(event);
  } catch (const std::bad_alloc&) {
    // Out of memory: the notification is dropped.
  }
}

int GetSoundEvent(vkSoundEventQueue& queue, vkSoundEvent* event) {
  std::lock_guard lock(queue.mutex);
  if (queue.events.empty()) return 0;
  *event = queue.events.front();
  queue.events.pop_front();
  return 1;
}
