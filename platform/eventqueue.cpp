// The input event queue: 256 slots in posting order, a count, and a
// recursive mutex, since a handler that posts can run inside a dispatcher
// that already holds it. Payloads live in the slots until they are taken or
// their event is removed; a vacated slot is always empty.
#include "platform/eventqueue.h"

#include <chrono>

namespace {

int64_t Milliseconds(vkTimeValue t) { return int64_t(t.seconds) * 1000 + int64_t(t.micros / 1000); }

}  // namespace

bool vkEventQueue::Post(vkDisplay* display, uint32_t type, uint32_t data1, uint32_t data2, uint32_t data3,
                        std::unique_ptr<vkEventPayload>&& payload, vkTimeValue now) {
  std::lock_guard<std::recursive_mutex> hold(mutex_);
  if (count_ >= kCapacity) return false;
  if (type == EVENT_SIZEWINDOW && display != nullptr) {
    const vkDisplayScalingQuery isScaling = isScaling_.load(std::memory_order_acquire);
    if (isScaling != nullptr && isScaling(display)) return false;
  }
  vkEvent& slot = slots_[count_.load(std::memory_order_relaxed)];
  slot.type = type;
  slot.data1 = data1;
  slot.data2 = data2;
  slot.data3 = data3;
  slot.stamp = now;
  slot.display = display;
  slot.payload = std::move(payload);
  count_.fetch_add(1, std::memory_order_release);
  return true;
}

uint32_t vkEventQueue::Get(size_t n, vkEventInfo& out, bool take) {
  if (n >= kCapacity || n >= count_) return 0;
  vkEvent& event = slots_[n];
  out = vkEventInfo{};
  out.display = event.display;
  out.type = event.type;
  if (take) out.payload = std::move(event.payload);
  switch (event.type) {
    case EVENT_LEFTMOUSE:
    case EVENT_RIGHTMOUSE:
    case EVENT_MIDMOUSE:
      out.x = int32_t(event.data1);
      out.y = int32_t(event.data2);
      out.down = int32_t(event.data3);
      break;
    case EVENT_DROPFILE:
      out.x = int32_t(event.data1);
      out.y = int32_t(event.data2);
      break;
    case EVENT_KEY:
      out.down = int32_t(event.data1);
      out.key = int32_t(event.data2);
      out.further = int32_t(event.data3);
      break;
    default:
      break;
  }
  return uint32_t(n + 1);
}

void vkEventQueue::PurgeDisplay(const vkDisplay* display) {
  std::lock_guard<std::recursive_mutex> hold(mutex_);
  for (size_t i = 0; i < count_; ++i)
    if (slots_[i].display == display) slots_[i].display = nullptr;
}

void vkEventQueue::Remove(int32_t n, bool lock) {
  if (!lock) {
    RemoveLocked(n);
    return;
  }
  std::lock_guard<std::recursive_mutex> hold(mutex_);
  RemoveLocked(n);
}

void vkEventQueue::RemoveLocked(int32_t n) {
  if (n != -1 && (n < 0 || n >= int32_t(kCapacity))) return;
  // -1, the last event or any index past it: everything goes.
  const size_t count = count_.load(std::memory_order_relaxed);
  const size_t removed = (n == -1 || size_t(n) + 1 >= count) ? count : size_t(n) + 1;
  for (size_t i = removed; i < count; ++i) slots_[i - removed] = std::move(slots_[i]);
  for (size_t i = count - removed; i < count; ++i) slots_[i] = vkEvent{};
  count_.store(count - removed, std::memory_order_release);
}

void vkEventQueue::Expire(vkTimeValue now, uint32_t expiryMs) {
  std::lock_guard<std::recursive_mutex> hold(mutex_);
  int32_t last = -1;
  for (size_t i = 0; i < count_; ++i)
    if (Milliseconds(now) - Milliseconds(slots_[i].stamp) > int64_t(expiryMs)) last = int32_t(i);
  if (last >= 0) RemoveLocked(last);
}

size_t vkEventQueue::Count() const {
  std::lock_guard<std::recursive_mutex> hold(mutex_);
  return count_;
}

vkTimeValue EventClockNow() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
  return vkTimeValue{uint32_t(us / 1000000), uint32_t(us % 1000000)};
}

bool PostEvent(vkDisplay* display, uint32_t type, uint32_t data1, uint32_t data2, uint32_t data3,
               std::unique_ptr<vkEventPayload>&& payload) {
  return ProgramEventQueue().Post(display, type, data1, data2, data3, std::move(payload), EventClockNow());
}

uint32_t GetEvent(size_t n, vkEventInfo& out, bool take) { return ProgramEventQueue().Get(n, out, take); }

void PurgeDisplayEvents(const vkDisplay* display) { ProgramEventQueue().PurgeDisplay(display); }

void RemoveEvents(int32_t n, bool lock) { ProgramEventQueue().Remove(n, lock); }

void ExpireEvents(uint32_t expiryMs) { ProgramEventQueue().Expire(EventClockNow(), expiryMs); }
