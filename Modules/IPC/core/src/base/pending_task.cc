// Posted-task records and their heap order.
#include "base/pending_task.h"

#include <cstdint>

namespace base {

PendingTask::PendingTask(const tracked_objects::Location& posted_from, const Closure& task)
    : TrackingInfo(posted_from, TimeTicks()),
      task(task),
      posted_from(posted_from),
      sequence_num(0),
      nestable(true) {}

PendingTask::PendingTask(const tracked_objects::Location& posted_from,
                         const Closure& task,
                         TimeTicks delayed_run_time,
                         bool nestable)
    : TrackingInfo(posted_from, delayed_run_time),
      task(task),
      posted_from(posted_from),
      sequence_num(0),
      nestable(nestable) {}

PendingTask::~PendingTask() {}

bool PendingTask::operator<(const PendingTask& other) const {
  if (delayed_run_time < other.delayed_run_time)
    return false;
  if (delayed_run_time > other.delayed_run_time)
    return true;
  // The difference wraps like the counter does: unsigned arithmetic, read back as signed,
  // so that 2147483647 comes before -2147483648.
  int32_t difference = static_cast<int32_t>(static_cast<uint32_t>(sequence_num) -
                                            static_cast<uint32_t>(other.sequence_num));
  return difference > 0;
}

}  // namespace base
