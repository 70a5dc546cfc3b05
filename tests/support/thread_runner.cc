// Threads and waits of tests, always with a deadline.
#include "support/thread_runner.h"

#include <windows.h>

#include <memory>

namespace test {

bool WaitWithDeadline(const base::win::ScopedHandle& handle) {
  return ::WaitForSingleObject(handle.Get(), kDeadlineMs) == WAIT_OBJECT_0;
}

bool JoinWithDeadline(base::PlatformThreadHandle* thread) {
  if (!WaitWithDeadline(*thread))
    return false;
  base::PlatformThread::Join(std::move(*thread));
  return true;
}

bool RunOnNewThread(std::function<void()> body) {
  std::unique_ptr<FunctionDelegate> delegate(new FunctionDelegate(std::move(body)));
  base::PlatformThreadHandle thread;
  if (!base::PlatformThread::Create(0, delegate.get(), &thread))
    return false;
  if (!JoinWithDeadline(&thread)) {
    // The hung thread still runs the delegate, so the delegate and the handle stay.
    delegate.release();
    thread.Take();
    return false;
  }
  return true;
}

}  // namespace test
