// A Windows event object that threads signal, reset and block on, alone or several at once.
#ifndef BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
#define BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_

#include <cstddef>

#include "base/win/scoped_handle.h"

namespace base {

class TimeDelta;

// Owns its event handle. Signal, Reset and the waits may be called from any thread; the waits
// assert that the calling thread is allowed to wait.
class WaitableEvent {
 public:
  // An auto-reset event (|manual_reset| false) lets exactly one wait through per signal and
  // resets itself; a manual-reset event stays signalled until Reset.
  WaitableEvent(bool manual_reset, bool initially_signaled);

  // Adopts an existing event handle.
  explicit WaitableEvent(win::NativeHandle event_handle);

  ~WaitableEvent();

  // Gives the handle away; the event no longer owns or refers to it.
  win::NativeHandle Release();

  win::NativeHandle handle() const { return handle_.Get(); }

  void Reset();
  void Signal();

  // A zero wait: on an auto-reset event a true answer also resets the event.
  bool IsSignaled();

  void Wait();

  // Waits at most |max_time|, rounded up to whole milliseconds so the wait never ends early.
  // True exactly when the event was signalled.
  bool TimedWait(const TimeDelta& max_time);

  // Blocks until one of |count| events (1 to kMaximumWaitCount) is signalled and answers its
  // index, the lowest one when several are.
  static size_t WaitMany(WaitableEvent** waitables, size_t count);

  // WaitMany that gives up after |max_time|, rounded up as TimedWait rounds it, and then
  // answers |count|.
  static size_t TimedWaitMany(WaitableEvent** waitables, size_t count, const TimeDelta& max_time);

  // The most handles the OS waits on at once.
  static constexpr size_t kMaximumWaitCount = 64;

 private:
  win::ScopedHandle handle_;

  WaitableEvent(const WaitableEvent&) = delete;
  WaitableEvent& operator=(const WaitableEvent&) = delete;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_WAITABLE_EVENT_H_
