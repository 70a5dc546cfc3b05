// A task runner whose tasks run one at a time in posting order, and which can hold a task back
// from runs nested inside another task.
#ifndef BASE_SEQUENCED_TASK_RUNNER_H_
#define BASE_SEQUENCED_TASK_RUNNER_H_

#include <cstdint>

#include "base/task_runner.h"

namespace base {

// Posting may be done from any thread.
class SequencedTaskRunner : public TaskRunner {
 public:
  // A non-nestable task never runs inside a nested run of its target; it waits until the
  // outermost run is back in control.
  virtual bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                          const Closure& task,
                                          TimeDelta delay) = 0;
  virtual bool PostNonNestableDelayedTask(const tracked_objects::Location& from_here,
                                          const Closure& task,
                                          int64_t delay_ms) = 0;

 protected:
  ~SequencedTaskRunner() override {}
};

}  // namespace base

#endif  // BASE_SEQUENCED_TASK_RUNNER_H_
