// The interface through which any thread hands tasks to something that runs them, and the
// traits that route the last release of a runner through its own OnDestruct.
#ifndef BASE_TASK_RUNNER_H_
#define BASE_TASK_RUNNER_H_

#include <cstdint>

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/time.h"

namespace base {

class TaskRunner;

// The last Release of a task runner calls its OnDestruct, so that a runner can arrange to be
// deleted on a thread of its choosing.
struct TaskRunnerTraits {
  static void Destruct(const TaskRunner* task_runner);
};

// Posting may be done from any thread. A post answers false when the task will never run
// (for instance because its target is gone); the task is then dropped by the caller's copy.
// The order of the virtual operations is part of the interface: other runners (the IPC
// module's thread proxy) implement the same slots.
class TaskRunner : public RefCountedThreadSafe<TaskRunner, TaskRunnerTraits> {
 public:
  // Posts with no delay.
  bool PostTask(const tracked_objects::Location& from_here, const Closure& task);

  virtual bool PostDelayedTask(const tracked_objects::Location& from_here,
                               const Closure& task,
                               TimeDelta delay) = 0;
  virtual bool PostDelayedTask(const tracked_objects::Location& from_here,
                               const Closure& task,
                               int64_t delay_ms) = 0;

  // Whether a task posted now would run on the calling thread.
  virtual bool RunsTasksOnCurrentThread() const = 0;

 protected:
  friend struct TaskRunnerTraits;

  TaskRunner();
  virtual ~TaskRunner();

  // Called when the last reference is released; deletes the runner.
  virtual void OnDestruct() const;

 private:
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;
};

}  // namespace base

#endif  // BASE_TASK_RUNNER_H_
