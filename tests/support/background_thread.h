// A test thread that runs beside the test body, joined with a deadline.
#ifndef SUPPORT_BACKGROUND_THREAD_H_
#define SUPPORT_BACKGROUND_THREAD_H_

#include <functional>
#include <memory>

#include "base/threading/platform_thread.h"

namespace test {

class FunctionDelegate;

// Starts |body| at construction. Join (or the destructor) waits up to kDeadlineMs for it; a
// thread that hangs is left running with its body, and the test fails instead of hanging.
class BackgroundThread {
 public:
  explicit BackgroundThread(std::function<void()> body);
  ~BackgroundThread();

  bool started() const { return started_; }

  // False when the thread never started or did not end in time.
  bool Join();

  BackgroundThread(const BackgroundThread&) = delete;
  BackgroundThread& operator=(const BackgroundThread&) = delete;

 private:
  std::unique_ptr<FunctionDelegate> delegate_;
  base::PlatformThreadHandle thread_;
  bool started_;
  bool joined_;
};

}  // namespace test

#endif  // SUPPORT_BACKGROUND_THREAD_H_
