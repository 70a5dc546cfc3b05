// Posting to a loop through its proxy, and deleting the proxy on the loop's thread.
#include "base/message_loop_proxy_impl.h"

#include "base/message_loop.h"
#include "base/threading/thread_restrictions.h"

namespace base {

MessageLoopProxyImpl::MessageLoopProxyImpl()
    : target_message_loop_(MessageLoop::current()) {}

MessageLoopProxyImpl::~MessageLoopProxyImpl() {}

bool MessageLoopProxyImpl::PostDelayedTask(const tracked_objects::Location& from_here,
                                           const Closure& task,
                                           TimeDelta delay) {
  return PostTaskHelper(from_here, task, delay, true);
}

bool MessageLoopProxyImpl::PostDelayedTask(const tracked_objects::Location& from_here,
                                           const Closure& task,
                                           int64_t delay_ms) {
  return PostDelayedTask(from_here, task, TimeDelta::FromMilliseconds(delay_ms));
}

bool MessageLoopProxyImpl::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                                      const Closure& task,
                                                      TimeDelta delay) {
  return PostTaskHelper(from_here, task, delay, false);
}

bool MessageLoopProxyImpl::PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                                      const Closure& task,
                                                      int64_t delay_ms) {
  return PostNonNestableDelayedTask(from_here, task, TimeDelta::FromMilliseconds(delay_ms));
}

bool MessageLoopProxyImpl::RunsTasksOnCurrentThread() const {
  // Looking up the current loop touches a lazily made instance, which threads that run
  // singleton-disallowed may still do here.
  ThreadRestrictions::ScopedAllowSingleton allow_singleton;
  AutoLock locked(message_loop_lock_);
  return target_message_loop_ && target_message_loop_ == MessageLoop::current();
}

void MessageLoopProxyImpl::WillDestroyCurrentMessageLoop() {
  AutoLock locked(message_loop_lock_);
  target_message_loop_ = nullptr;
}

void MessageLoopProxyImpl::OnDestruct() const {
  bool delete_later = false;
  {
    ThreadRestrictions::ScopedAllowSingleton allow_singleton;
    AutoLock locked(message_loop_lock_);
    if (target_message_loop_ && target_message_loop_ != MessageLoop::current()) {
      target_message_loop_->DeleteSoon(
          FROM_HERE_WITH_FUNCTION("base::MessageLoopProxyImpl::OnDestruct"), this);
      delete_later = true;
    }
  }
  if (!delete_later)
    delete this;
}

bool MessageLoopProxyImpl::PostTaskHelper(const tracked_objects::Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay,
                                          bool nestable) {
  // The lock stays held across the post, so the loop cannot be destroyed in the middle of it.
  AutoLock locked(message_loop_lock_);
  if (!target_message_loop_)
    return false;
  if (nestable)
    target_message_loop_->PostDelayedTask(from_here, task, delay);
  else
    target_message_loop_->PostNonNestableDelayedTask(from_here, task, delay);
  return true;
}

}  // namespace base
