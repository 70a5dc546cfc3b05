// Deadline-bounded runs of a message loop.
#include "support/loop_runner.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/message_loop.h"
#include "base/time.h"
#include "support/deadline.h"

namespace test {

namespace {

// Shared with the deadline task, which may run after the run it bounded has returned.
class Deadline : public base::RefCountedThreadSafe<Deadline> {
 public:
  Deadline() : expired_(false) {}

  void Expire() {
    expired_ = true;
    MessageLoop::current()->Quit();
  }
  bool expired() const { return expired_; }

 private:
  friend class base::RefCountedThreadSafe<Deadline>;
  friend struct base::DefaultRefCountedThreadSafeTraits<Deadline>;
  ~Deadline() {}

  bool expired_;  // touched on the loop's thread only
};

}  // namespace

bool RunLoopUntil(const std::function<bool()>& done, unsigned long timeout_ms) {
  MessageLoop* loop = MessageLoop::current();
  scoped_refptr<Deadline> deadline(new Deadline);
  loop->PostDelayedTask(FROM_HERE, base::Bind(&Deadline::Expire, deadline),
                        static_cast<int64_t>(timeout_ms));
  while (!done()) {
    if (deadline->expired())
      return false;
    loop->Run();
  }
  return true;
}

void RunLoopFor(unsigned long ms) {
  base::TimeTicks end = base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(ms);
  MessageLoop::current()->PostDelayedTask(FROM_HERE, MessageLoop::QuitClosure(),
                                          static_cast<int64_t>(ms));
  RunLoopUntil([end] { return base::TimeTicks::Now() >= end; }, ms + 1000);
}

bool WaitUntilWorkIsPosted() {
  return WaitUntil([] { return HIWORD(GetQueueStatus(QS_POSTMESSAGE)) != 0; }, kDeadlineMs);
}

}  // namespace test
