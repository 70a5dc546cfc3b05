// Running test code on threads of its own, with a deadline on every wait for them.
#ifndef SUPPORT_THREAD_RUNNER_H_
#define SUPPORT_THREAD_RUNNER_H_

#include <functional>

#include "base/threading/platform_thread.h"

namespace test {

// How long a test waits for one of its threads, or another wait of its own, before it
// calls the peer hung. Generous: a passing test never waits it out, and a loaded machine
// running Wine under emulation starts a process in seconds.
const unsigned long kDeadlineMs = 60000;

// A thread body made of a function object; runs it once per ThreadMain.
class FunctionDelegate : public base::PlatformThread::Delegate {
 public:
  explicit FunctionDelegate(std::function<void()> body) : body_(std::move(body)) {}
  void ThreadMain() override { body_(); }

 private:
  std::function<void()> body_;
};

// Waits up to kDeadlineMs for |handle| (any waitable object) to be signalled.
bool WaitWithDeadline(const base::win::ScopedHandle& handle);

// Joins |thread| if it ends within kDeadlineMs. Otherwise answers false and leaves the
// thread running and its handle with the caller.
bool JoinWithDeadline(base::PlatformThreadHandle* thread);

// Runs |body| on a new joinable thread and joins it. False when the thread could not be
// started or hung; a hung thread keeps running with its body.
bool RunOnNewThread(std::function<void()> body);

}  // namespace test

#endif  // SUPPORT_THREAD_RUNNER_H_
