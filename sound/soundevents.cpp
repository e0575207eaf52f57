// The sound notification queue: a first-in first-out list under a recursive
// mutex, filled on the main thread as the audio output delivers what its
// render thread left, and emptied by the event dispatcher.
#include "sound/soundevents.h"

#include <deque>
#include <mutex>
#include <new>

namespace {

std::recursive_mutex gQueueMutex;
std::deque<vkSoundEvent> gQueue;

}  // namespace

int InitSoundEventQueue() { return 0; }

void FreeSoundEventQueue() {
  std::lock_guard lock(gQueueMutex);
  std::deque<vkSoundEvent>().swap(gQueue);
}

void PostSoundEvent(int32_t type, int32_t idNumber, void* idHandle, int32_t a1, int32_t a2, int32_t a3) {
  vkSoundEvent event;
  event.type = type;
  event.idNumber = idNumber;
  event.idHandle = idHandle;
  // In 64 bits: a long sample played many times overflows a 32-bit word.
  event.value = (int64_t{a2} - 1) * a1;
  if (type == kSoundEventSampleEnd) event.value += a3;
  event.count = a2;
  std::lock_guard lock(gQueueMutex);
  try {
    gQueue.push_back(event);
  } catch (const std::bad_alloc&) {
    // Out of memory: the notification is dropped.
  }
}

int GetSoundEvent(vkSoundEvent* event) {
  std::lock_guard lock(gQueueMutex);
  if (gQueue.empty()) return 0;
  *event = gQueue.front();
  gQueue.pop_front();
  return 1;
}
