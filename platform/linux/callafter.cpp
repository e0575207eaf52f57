// The delayed call behind vkosCallAfter: the waiter sleeps on a condition
// variable until the deadline of the call in force, marks it due and opens
// the pump's gate as a queued event would, so that the next line of the
// script or the wait in progress runs the pump in full.
#include "platform/linux/callafter.h"

#include <pthread.h>
#include <signal.h>

#include <utility>

#include "platform/linux/platform_state.h"
#include "platform/vkos_events.h"

namespace {

void WaitForDeadlines(vkCallAfter& call) {
  // Signals are the main thread's business (the quit signals' handlers
  // change hands there while they are blocked).
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  std::unique_lock lock(call.mutex);
  while (!call.stop) {
    if (call.hook == nullptr || call.due) {
      call.changed.wait(lock);
      continue;
    }
    if (std::chrono::steady_clock::now() < call.deadline) {
      call.changed.wait_until(lock, call.deadline);
      continue;
    }
    call.due = true;
    call.anyDue.store(true, std::memory_order_release);
    gPlatform.signals.eventsMayBeQueued.store(1);
    gPlatform.signals.gate.store(1);
    vkosWakeEventLoop();
  }
}

}  // namespace

vkCallAfterHook TakeDueCallAfter(vkCallAfter& call) {
  if (!call.anyDue.load(std::memory_order_acquire)) return nullptr;
  std::lock_guard lock(call.mutex);
  if (!call.due) return nullptr;
  call.due = false;
  call.anyDue.store(false, std::memory_order_relaxed);
  return std::exchange(call.hook, nullptr);
}

vkCallAfter::~vkCallAfter() { StopCallAfter(*this); }

void StopCallAfter(vkCallAfter& call) {
  {
    std::lock_guard lock(call.mutex);
    call.stop = true;
    call.hook = nullptr;
    call.due = false;
    call.anyDue.store(false, std::memory_order_relaxed);
  }
  call.changed.notify_one();
  if (call.waiter.joinable()) call.waiter.join();
  call.stop = false;
}

void vkosCallAfter(int32_t ms, void (*hook)(vkState* L)) {
  vkCallAfter& call = *gPlatform.callAfter;
  {
    std::lock_guard lock(call.mutex);
    call.hook = hook;
    call.due = false;
    call.anyDue.store(false, std::memory_order_relaxed);
    if (hook == nullptr) return;
    call.deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms > 0 ? ms : 0);
    if (!call.waiter.joinable()) call.waiter = std::thread(WaitForDeadlines, std::ref(call));
  }
  call.changed.notify_one();
}
