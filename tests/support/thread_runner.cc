// Threads and waits of tests, always with a deadline.
#include "support/thread_runner.h"

#include <windows.h>

#include "support/background_thread.h"

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
  BackgroundThread thread(std::move(body));
  return thread.Join();
}

}  // namespace test
