// The deadline list of the script's timers. A handful of timers at most is
// usual, so a vector in adding order is searched straight through.
#include "platform/vkos_timers.h"

#include <algorithm>
#include <climits>

void vkTimerList::Add(int32_t kind, vkTimerKey id, int64_t periodMicros, int64_t now) {
  const int64_t period = std::max<int64_t>(periodMicros, 1);
  const int64_t deadline = kind == VKOS_TIMER_INTERVAL ? now : now + period;
  timers_.push_back(Timer{kind, id, period, deadline, 0, false});
}

bool vkTimerList::Remove(int32_t kind, vkTimerKey id) {
  auto it = std::find_if(timers_.begin(), timers_.end(),
                         [&](const Timer& t) { return t.kind == kind && t.id == id; });
  if (it == timers_.end()) return false;
  timers_.erase(it);
  return true;
}

bool vkTimerList::Change(vkTimerKey id, int64_t periodMicros, int64_t now) {
  for (Timer& t : timers_) {
    if (t.kind != VKOS_TIMER_INTERVAL || !(t.id == id)) continue;
    t.period = std::max<int64_t>(periodMicros, 1);
    t.deadline = now;
    t.fired = false;
    return true;
  }
  return false;
}

bool vkTimerList::MarkDue(int64_t now) {
  bool any = false;
  for (Timer& t : timers_) {
    if (!t.fired && t.deadline <= now) {
      t.fired = true;
      t.firedAt = t.deadline;
      if (t.kind == VKOS_TIMER_INTERVAL) t.deadline += ((now - t.deadline) / t.period + 1) * t.period;
    }
    any = any || t.fired;
  }
  return any;
}

int32_t vkTimerList::TakeFired(vkTimerKey* id) {
  auto first = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it)
    if (it->fired && (first == timers_.end() || it->firedAt < first->firedAt)) first = it;
  if (first == timers_.end()) return VKOS_TIMER_NONE;
  const int32_t kind = first->kind;
  *id = first->id;
  if (kind == VKOS_TIMER_TIMEOUT)
    timers_.erase(first);
  else
    first->fired = false;
  return kind;
}

int64_t vkTimerList::NextDeadline() const {
  int64_t next = INT64_MAX;
  for (const Timer& t : timers_)
    if (!t.fired) next = std::min(next, t.deadline);
  return next;
}
