// The one delayed call of vkosCallAfter. A small thread waits for its
// deadline and then opens the pump's gate; the pump runs the hook on the
// main thread. The thread starts with the first call and stops at vkosExit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

struct vkState;

using vkCallAfterHook = void (*)(vkState* L);

struct vkCallAfter {
  std::mutex mutex;
  std::condition_variable changed;  // a new call, a cancel or the stop
  std::thread waiter;
  bool stop = false;                // the waiter ends
  vkCallAfterHook hook = nullptr;   // the call waiting or due; null none
  std::chrono::steady_clock::time_point deadline;
  bool due = false;                 // its time came: the pump runs it
  std::atomic<bool> anyDue{false};  // due, read by the pump without the lock

  ~vkCallAfter();
};

// The hook whose time came, taken so that it runs once; null when none.
vkCallAfterHook TakeDueCallAfter(vkCallAfter& call);

// Forgets the call and ends the waiting thread.
void StopCallAfter(vkCallAfter& call);
