// Publishes the task runner of the calling thread, so code can find it without the loop.
#ifndef BASE_THREAD_TASK_RUNNER_HANDLE_H_
#define BASE_THREAD_TASK_RUNNER_HANDLE_H_

#include "base/memory/ref_counted.h"
#include "base/single_thread_task_runner.h"

namespace base {

// Lives on the stack or in the loop of the thread it publishes for, and is destroyed there.
// While it exists, Get on that thread answers its runner.
class ThreadTaskRunnerHandle {
 public:
  // The calling thread's runner, with a new reference. Only threads with a loop have one;
  // elsewhere this answers null.
  static scoped_refptr<SingleThreadTaskRunner> Get();

  // Whether the calling thread has a runner published.
  static bool IsSet();

  explicit ThreadTaskRunnerHandle(const scoped_refptr<SingleThreadTaskRunner>& task_runner);
  ~ThreadTaskRunnerHandle();

 private:
  scoped_refptr<SingleThreadTaskRunner> task_runner_;

  ThreadTaskRunnerHandle(const ThreadTaskRunnerHandle&) = delete;
  ThreadTaskRunnerHandle& operator=(const ThreadTaskRunnerHandle&) = delete;
};

}  // namespace base

#endif  // BASE_THREAD_TASK_RUNNER_HANDLE_H_
