// Waitable events over Windows event objects.
#include "base/synchronization/waitable_event.h"

#include <windows.h>

#include <cmath>

#include "base/logging.h"
#include "base/threading/thread_restrictions.h"
#include "base/time.h"

namespace base {

namespace {

// The wait in whole milliseconds, rounded up. A negative time polls instead of wrapping into a
// wait of weeks, and a time beyond what the OS can express waits without end.
DWORD TimeoutInMilliseconds(const TimeDelta& max_time) {
  double milliseconds = std::ceil(max_time.InMillisecondsF());
  if (milliseconds <= 0)
    return 0;
  if (milliseconds >= static_cast<double>(INFINITE))
    return INFINITE;
  return static_cast<DWORD>(milliseconds);
}

size_t WaitForAny(WaitableEvent** waitables, size_t count, DWORD timeout_ms) {
  ThreadRestrictions::AssertWaitAllowed();
  // A count outside the OS's range would overrun the handle array below or report event 0
  // although nothing was signalled.
  CHECK_GE(count, 1u);
  CHECK_LE(count, WaitableEvent::kMaximumWaitCount);
  HANDLE handles[WaitableEvent::kMaximumWaitCount];
  for (size_t i = 0; i < count; ++i)
    handles[i] = waitables[i]->handle();
  const DWORD result =
      WaitForMultipleObjects(static_cast<DWORD>(count), handles, FALSE, timeout_ms);
  if (result == WAIT_TIMEOUT)
    return count;
  const DWORD error = GetLastError();
  // Only an invalid handle makes the wait fail; answering an index would report a signal
  // that never came.
  CHECK(result - WAIT_OBJECT_0 < count) << "WaitForMultipleObjects failed: " << error;
  return result - WAIT_OBJECT_0;
}

}  // namespace

WaitableEvent::WaitableEvent(bool manual_reset, bool initially_signaled)
    : handle_(CreateEventW(nullptr, manual_reset, initially_signaled, nullptr)) {}

WaitableEvent::WaitableEvent(win::NativeHandle event_handle) : handle_(event_handle) {}

WaitableEvent::~WaitableEvent() {}

win::NativeHandle WaitableEvent::Release() {
  return handle_.Take();
}

void WaitableEvent::Reset() {
  ResetEvent(handle_.Get());
}

void WaitableEvent::Signal() {
  SetEvent(handle_.Get());
}

bool WaitableEvent::IsSignaled() {
  return TimedWait(TimeDelta());
}

void WaitableEvent::Wait() {
  ThreadRestrictions::AssertWaitAllowed();
  WaitForSingleObject(handle_.Get(), INFINITE);
}

bool WaitableEvent::TimedWait(const TimeDelta& max_time) {
  ThreadRestrictions::AssertWaitAllowed();
  return WaitForSingleObject(handle_.Get(), TimeoutInMilliseconds(max_time)) == WAIT_OBJECT_0;
}

// static
size_t WaitableEvent::WaitMany(WaitableEvent** waitables, size_t count) {
  return WaitForAny(waitables, count, INFINITE);
}

// static
size_t WaitableEvent::TimedWaitMany(WaitableEvent** waitables,
                                    size_t count,
                                    const TimeDelta& max_time) {
  return WaitForAny(waitables, count, TimeoutInMilliseconds(max_time));
}

}  // namespace base
