// The script's timers in the platform record, on the precise monotonic clock
// unless a test put its own clock in place. Waiting for events with a time
// limit is SDL's; the limit is rounded up to whole milliseconds so that a
// wait never ends just before the deadline it waited for.
#include <SDL.h>
#include <time.h>

#include <new>

#include "platform/linux/platform_state.h"
#include "platform/linux/vkos_timers_linux.h"
#include "platform/vkos_timers.h"

namespace {

constexpr int kErrOutOfMemory = 1000;

int64_t RealClock() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

}  // namespace

int64_t vkosTimerClock() { return gPlatform.clock.now ? gPlatform.clock.now() : RealClock(); }

bool WaitForEvent(int64_t timeoutMicros) {
  if (gPlatform.clock.waitForEvent) return gPlatform.clock.waitForEvent(timeoutMicros);
  if (timeoutMicros < 0) return SDL_WaitEvent(nullptr) == 1;
  const int64_t ms = (timeoutMicros + 999) / 1000;
  return SDL_WaitEventTimeout(nullptr, static_cast<int>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms)) == 1;
}

void vkosSetClock(const vkPlatformClock& clock) { gPlatform.clock = clock; }

int vkosTimerControl(int32_t op, vkTimerKey id, uint32_t milliseconds) {
  const int64_t period = int64_t{milliseconds} * 1000;
  try {
    switch (op) {
      case VKOS_TIMER_ADD_INTERVAL:
        gPlatform.timers.Add(VKOS_TIMER_INTERVAL, id, period, vkosTimerClock());
        break;
      case VKOS_TIMER_ADD_TIMEOUT:
        gPlatform.timers.Add(VKOS_TIMER_TIMEOUT, id, period, vkosTimerClock());
        break;
      case VKOS_TIMER_REMOVE_INTERVAL:
        gPlatform.timers.Remove(VKOS_TIMER_INTERVAL, id);
        break;
      case VKOS_TIMER_REMOVE_TIMEOUT:
        gPlatform.timers.Remove(VKOS_TIMER_TIMEOUT, id);
        break;
      case VKOS_TIMER_CHANGE_INTERVAL:
        gPlatform.timers.Change(id, period, vkosTimerClock());
        break;
      default:
        break;
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return 0;
}

int32_t vkosTakeFiredTimer(vkTimerKey* id) {
  if (gPlatform.timers.Count() == 0) return VKOS_TIMER_NONE;  // no clock read for nothing
  gPlatform.timers.MarkDue(vkosTimerClock());
  return gPlatform.timers.TakeFired(id);
}
