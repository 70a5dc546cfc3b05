// The proxy of a message loop: posts to the loop while it lives and refuses cleanly after.
#ifndef BASE_MESSAGE_LOOP_PROXY_IMPL_H_
#define BASE_MESSAGE_LOOP_PROXY_IMPL_H_

#include <cstdint>

#include "base/message_loop_proxy.h"
#include "base/synchronization/lock.h"

class MessageLoop;

namespace base {

template <class T>
class DeleteHelper;

// Made by a loop for itself; targets the loop that is current on the thread that makes it.
// Any thread may post and release. The loop clears the target while it is destroyed, so posts
// from then on answer false. A proxy whose loop still lives is deleted on the loop's thread,
// whichever thread drops the last reference.
class MessageLoopProxyImpl : public MessageLoopProxy {
 public:
  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       const Closure& task,
                       TimeDelta delay) override;
  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       const Closure& task,
                       int64_t delay_ms) override;
  bool RunsTasksOnCurrentThread() const override;
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  const Closure& task,
                                  TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  const Closure& task,
                                  int64_t delay_ms) override;

  // Called by the target loop while it is destroyed, on its thread.
  virtual void WillDestroyCurrentMessageLoop();

 protected:
  // Only loops make proxies; tests derive from the class to watch its deletion.
  MessageLoopProxyImpl();
  ~MessageLoopProxyImpl() override;

  void OnDestruct() const override;

 private:
  friend class ::MessageLoop;
  friend class DeleteHelper<MessageLoopProxyImpl>;

  bool PostTaskHelper(const tracked_objects::Location& from_here,
                      const Closure& task,
                      TimeDelta delay,
                      bool nestable);

  // Held while posting, so the loop cannot go away in the middle of a post; taken before the
  // loop's incoming-queue lock.
  mutable Lock message_loop_lock_;
  MessageLoop* target_message_loop_;  // guarded by message_loop_lock_; null once it is dying
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_PROXY_IMPL_H_
