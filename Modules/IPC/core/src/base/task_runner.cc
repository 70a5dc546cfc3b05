// The non-virtual posting front end of task runners and their release policy.
#include "base/task_runner.h"

namespace base {

// static
void TaskRunnerTraits::Destruct(const TaskRunner* task_runner) {
  task_runner->OnDestruct();
}

TaskRunner::TaskRunner() {}

TaskRunner::~TaskRunner() {}

bool TaskRunner::PostTask(const tracked_objects::Location& from_here, const Closure& task) {
  return PostDelayedTask(from_here, task, static_cast<int64_t>(0));
}

void TaskRunner::OnDestruct() const {
  delete this;
}

}  // namespace base
