// The script's interval and timeout timers: a deadline list on the monotonic
// clock, kept in the platform record and looked at on the main thread only,
// by the pump, by every wait and by the event dispatcher when it asks for the
// next fired timer. An interval fires at once and then every period; a
// timeout fires once. Periods are kept in microseconds, so intervals under a
// second keep their length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A timer's identifier as its owner knows it: a number, or a handle.
struct vkTimerKey {
  int32_t number = 0;
  const void* handle = nullptr;
  bool operator==(const vkTimerKey&) const = default;
};

// Timer kinds; VKOS_TIMER_NONE: nothing fired.
inline constexpr int32_t VKOS_TIMER_INTERVAL = 0;
inline constexpr int32_t VKOS_TIMER_TIMEOUT = 1;
inline constexpr int32_t VKOS_TIMER_NONE = 8;

// Operations of vkosTimerControl.
enum vkTimerOp : int32_t {
  VKOS_TIMER_ADD_INTERVAL = 0,
  VKOS_TIMER_ADD_TIMEOUT = 1,
  VKOS_TIMER_REMOVE_INTERVAL = 2,
  VKOS_TIMER_REMOVE_TIMEOUT = 3,
  VKOS_TIMER_CHANGE_INTERVAL = 4,
};

// The deadline list itself, on a clock given by the caller (microseconds).
class vkTimerList {
 public:
  void Add(int32_t kind, vkTimerKey id, int64_t periodMicros, int64_t now);
  // False when no timer of that kind and id is there.
  bool Remove(int32_t kind, vkTimerKey id);
  // A new period for an interval, which fires again at once.
  bool Change(vkTimerKey id, int64_t periodMicros, int64_t now);
  // Marks every timer whose deadline has come as fired and moves an
  // interval's deadline to its next period after [now] (periods missed while
  // nobody looked fire once). True when any timer is fired.
  bool MarkDue(int64_t now);
  // Takes the fired timer that fell due first (in list order among equals):
  // its kind, or VKOS_TIMER_NONE when none is fired. A fired interval is
  // cleared; a fired timeout is removed.
  int32_t TakeFired(vkTimerKey* id);
  // The earliest deadline of a timer that has not fired; INT64_MAX when none.
  int64_t NextDeadline() const;
  size_t Count() const { return timers_.size(); }
  void Clear() { timers_.clear(); }

 private:
  struct Timer {
    int32_t kind;
    vkTimerKey id;
    int64_t period;    // microseconds, at least 1
    int64_t deadline;  // when it fires next
    int64_t firedAt;   // the deadline it fired at, while fired
    bool fired;
  };
  std::vector<Timer> timers_;  // in the order they were added
};

// The platform's timers on its clock: 0, or 1000 when a timer cannot be
// added. Removing or changing a timer that is not there does nothing.
int vkosTimerControl(int32_t op, vkTimerKey id, uint32_t milliseconds);
// The next fired timer (see vkTimerList::TakeFired), due timers marked first.
int32_t vkosTakeFiredTimer(vkTimerKey* id);

// The clock the timers run on and the wait for window-system events; a test
// puts its own in place ({} restores the real ones). Kept across vkosInit.
struct vkPlatformClock {
  int64_t (*now)() = nullptr;  // monotonic microseconds
  // Waits until an event is queued or [timeoutMicros] passed (-1: no limit);
  // true when an event is there.
  bool (*waitForEvent)(int64_t timeoutMicros) = nullptr;
};
void vkosSetClock(const vkPlatformClock& clock);

// Now on the timers' clock, in microseconds.
int64_t vkosTimerClock();
