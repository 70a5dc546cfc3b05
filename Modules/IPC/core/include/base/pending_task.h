// The record of one posted task, and the FIFO queue a message loop keeps them in.
#ifndef BASE_PENDING_TASK_H_
#define BASE_PENDING_TASK_H_

#include <queue>

#include "base/callback.h"
#include "base/location.h"
#include "base/time.h"
#include "base/tracking_info.h"

namespace base {

// Copies share the task's bind state.
struct PendingTask : public TrackingInfo {
  // Runs as soon as possible, also inside a nested run of the loop.
  PendingTask(const tracked_objects::Location& posted_from, const Closure& task);
  PendingTask(const tracked_objects::Location& posted_from,
              const Closure& task,
              TimeTicks delayed_run_time,
              bool nestable);
  ~PendingTask();

  // The order of the delayed-work max-heap: a task is "less" when it is due later, or, due
  // at the same time, when it was numbered later. The top is thus the earliest due and,
  // among equals, the first posted, also after the sequence counter wraps.
  bool operator<(const PendingTask& other) const;

  Closure task;
  tracked_objects::Location posted_from;

  // 0 until the task enters a delayed-work heap; then the loop's next number.
  int sequence_num;

  bool nestable;
};

// FIFO of tasks. Swap exchanges the contents of two queues in constant time.
class TaskQueue : public std::queue<PendingTask> {
 public:
  void Swap(TaskQueue* queue) { c.swap(queue->c); }
};

}  // namespace base

#endif  // BASE_PENDING_TASK_H_
