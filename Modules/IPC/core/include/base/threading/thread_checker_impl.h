// Remembers the thread an object belongs to, for debug checks of single-thread contracts.
#ifndef BASE_THREADING_THREAD_CHECKER_IMPL_H_
#define BASE_THREADING_THREAD_CHECKER_IMPL_H_

#include "base/synchronization/lock.h"

namespace base {

// Bound to the creating thread. After DetachFromThread the next CalledOnValidThread binds it
// to the thread making that call, so an object can be handed over before first use.
// Callable from any thread.
class ThreadCheckerImpl {
 public:
  ThreadCheckerImpl();
  ~ThreadCheckerImpl();

  bool CalledOnValidThread() const;

  void DetachFromThread();

 private:
  void EnsureThreadIdAssigned() const;

  mutable Lock lock_;
  mutable unsigned long valid_thread_id_;  // 0 = unassigned; guarded by lock_
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_CHECKER_IMPL_H_
