// The input event queue: the platform's event handlers append window, pointer
// and key events, the event dispatcher takes them out in order. It is where
// the platform's callbacks and the script's dispatch meet, so every post,
// removal and scan holds the queue's recursive mutex.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/vkos_time.h"

struct vkDisplay;

enum vkEventType : uint32_t {
  EVENT_LEFTMOUSE = 1,
  EVENT_RIGHTMOUSE = 2,
  EVENT_KEY = 3,
  EVENT_MOVEWINDOW = 4,
  EVENT_SIZEWINDOW = 5,
  EVENT_INACTIVEWINDOW = 6,
  EVENT_CLOSEWINDOW = 7,
  EVENT_ACTIVEWINDOW = 8,
  EVENT_HIDEWINDOW = 9,
  EVENT_SHOWWINDOW = 10,
  EVENT_WHEELUP = 11,
  EVENT_WHEELDOWN = 12,
  EVENT_MODESWITCH = 13,
  EVENT_DROPFILE = 14,
  EVENT_CLIPBOARDCHANGE = 15,
  EVENT_MIDMOUSE = 16,
};

// What an event carries beyond its words: the files dropped on a window.
using vkEventPayload = std::vector<std::string>;

struct vkEvent {
  uint32_t type = 0;
  uint32_t data1 = 0;  // meaning by type: see vkEventInfo
  uint32_t data2 = 0;
  uint32_t data3 = 0;
  vkTimeValue stamp;           // when the event was posted
  vkDisplay* display = nullptr;  // cleared when the display closes
  std::unique_ptr<vkEventPayload> payload;
};

// An event as the dispatcher reads it. Mouse buttons: x, y, down; dropped
// files: x, y and, when taken, the file list; keys: down, key, further.
struct vkEventInfo {
  vkDisplay* display = nullptr;
  uint32_t type = 0;
  std::unique_ptr<vkEventPayload> payload;
  int32_t x = 0;
  int32_t y = 0;
  int32_t down = 0;
  int32_t key = 0;
  int32_t further = 0;
};

// Asks whether [display] is scaling what it shows; while it is, the program
// itself resizes the window and size events of that display are not queued.
// The display library installs it (vkPlatformHooks); without it no display
// scales.
using vkDisplayScalingQuery = bool (*)(const vkDisplay* display);

// Events older than this many milliseconds are dropped unless the script
// sets another expiry.
inline constexpr uint32_t kDefaultEventExpiry = 1500;

class vkEventQueue {
 public:
  static constexpr size_t kCapacity = 256;

  // Appends an event stamped [now]. Returns false when the event is dropped
  // (the queue is full, or a size event for a display that scales what it
  // shows); [payload] then stays with the caller. On success the queue owns it.
  bool Post(vkDisplay* display, uint32_t type, uint32_t data1, uint32_t data2, uint32_t data3,
            std::unique_ptr<vkEventPayload>&& payload, vkTimeValue now);

  // Copies event [n] into [out]; with [take] its payload moves to [out].
  // Returns n + 1, or 0 when there is no event [n]. The caller holds Mutex().
  uint32_t Get(size_t n, vkEventInfo& out, bool take);

  // Forgets [display] in every queued event (the display is closing).
  void PurgeDisplay(const vkDisplay* display);

  // Removes events 0..n with their payloads, the later ones moving to the
  // front in order; n = -1 or any n at or past the last event empties the
  // queue, other n outside 0..255 change nothing. [lock]: take the mutex.
  void Remove(int32_t n, bool lock);

  // Removes the last event older than [expiryMs] at [now] and all before it.
  void Expire(vkTimeValue now, uint32_t expiryMs);

  size_t Count() const;
  // Whether an event may be queued, read without the mutex: an event posted
  // meanwhile by another thread is seen by the next look.
  bool MayHoldEvents() const { return count_.load(std::memory_order_acquire) != 0; }
  std::recursive_mutex& Mutex() { return mutex_; }

  // Installs the query that size events of scaling displays are dropped by;
  // NULL drops none.
  void SetScalingQuery(vkDisplayScalingQuery query) { isScaling_.store(query, std::memory_order_release); }

 private:
  void RemoveLocked(int32_t n);

  mutable std::recursive_mutex mutex_;
  std::array<vkEvent, kCapacity> slots_;
  // Changed only under the mutex; atomic so that MayHoldEvents may read it
  // without.
  std::atomic<size_t> count_{0};
  std::atomic<vkDisplayScalingQuery> isScaling_{nullptr};
};

// The program's queue, held by the platform's record.
vkEventQueue& ProgramEventQueue();

// The time events are stamped with.
vkTimeValue EventClockNow();

// The program's queue at the current time, as the platform and the
// dispatcher use it.
bool PostEvent(vkDisplay* display, uint32_t type, uint32_t data1, uint32_t data2, uint32_t data3,
               std::unique_ptr<vkEventPayload>&& payload = nullptr);
uint32_t GetEvent(size_t n, vkEventInfo& out, bool take);
void PurgeDisplayEvents(const vkDisplay* display);
void RemoveEvents(int32_t n, bool lock);
void ExpireEvents(uint32_t expiryMs = kDefaultEventExpiry);
