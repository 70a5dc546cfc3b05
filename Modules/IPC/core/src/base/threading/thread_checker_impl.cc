// Thread ownership checks for debug builds.
#include "base/threading/thread_checker_impl.h"

#include <windows.h>

namespace base {

ThreadCheckerImpl::ThreadCheckerImpl() : valid_thread_id_(0) {
  EnsureThreadIdAssigned();
}

ThreadCheckerImpl::~ThreadCheckerImpl() {}

bool ThreadCheckerImpl::CalledOnValidThread() const {
  EnsureThreadIdAssigned();
  AutoLock auto_lock(lock_);
  return valid_thread_id_ == ::GetCurrentThreadId();
}

void ThreadCheckerImpl::DetachFromThread() {
  AutoLock auto_lock(lock_);
  valid_thread_id_ = 0;
}

void ThreadCheckerImpl::EnsureThreadIdAssigned() const {
  AutoLock auto_lock(lock_);
  if (valid_thread_id_ == 0)
    valid_thread_id_ = ::GetCurrentThreadId();
}

}  // namespace base
