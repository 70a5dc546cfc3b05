// The task runner of a message loop, which other threads hold instead of the loop itself.
#ifndef BASE_MESSAGE_LOOP_PROXY_H_
#define BASE_MESSAGE_LOOP_PROXY_H_

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"

namespace base {

// Posting may be done from any thread, also after the loop is gone: posts then answer false.
class MessageLoopProxy : public SingleThreadTaskRunner {
 public:
  // The calling thread's loop's proxy, or null when the thread has no loop.
  static scoped_refptr<MessageLoopProxy> current();

 protected:
  MessageLoopProxy();
  ~MessageLoopProxy() override;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_PROXY_H_
