// The task runner through which the channel layer reaches one of the broker's threads by id.
#ifndef IPC_THREAD_IPC_THREADMSGLOOPPROXY_H_
#define IPC_THREAD_IPC_THREADMSGLOOPPROXY_H_

#include <cstdint>

#include "base/message_loop_proxy.h"

// Posts go to whichever thread holds the id's slot at the time; they fail (false) while no
// thread runs under it. Any thread may post.
class IPC_ThreadMsgLoopProxy : public base::MessageLoopProxy {
 public:
  explicit IPC_ThreadMsgLoopProxy(int thread_id);

  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       const base::Closure& task,
                       base::TimeDelta delay) override;
  bool PostDelayedTask(const tracked_objects::Location& from_here,
                       const base::Closure& task,
                       int64_t delay_ms) override;
  bool RunsTasksOnCurrentThread() const override;
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  const base::Closure& task,
                                  base::TimeDelta delay) override;
  bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                  const base::Closure& task,
                                  int64_t delay_ms) override;

 protected:
  ~IPC_ThreadMsgLoopProxy() override;

 private:
  const int m_iThreadId;
};

#endif  // IPC_THREAD_IPC_THREADMSGLOOPPROXY_H_
