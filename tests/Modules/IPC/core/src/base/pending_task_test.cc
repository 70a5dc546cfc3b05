// Task records: construction, the delayed-heap order across the sequence wrap, the FIFO.
#include "base/pending_task.h"

#include <gtest/gtest.h>

#include <climits>
#include <queue>
#include <vector>

#include "base/bind.h"

namespace {

void DoNothing() {}

base::TimeTicks TicksAt(int64_t ms) {
  return base::TimeTicks() + base::TimeDelta::FromMilliseconds(ms);
}

base::PendingTask DelayedTask(int64_t run_at_ms, int sequence_num) {
  base::PendingTask task(FROM_HERE, base::Bind(&DoNothing), TicksAt(run_at_ms), true);
  task.sequence_num = sequence_num;
  return task;
}

TEST(PendingTaskTest, ImmediateTaskDefaults) {
  base::Closure closure = base::Bind(&DoNothing);
  tracked_objects::Location posted_from = FROM_HERE_WITH_FUNCTION("Poster::Post");
  base::PendingTask task(posted_from, closure);
  EXPECT_TRUE(task.delayed_run_time.is_null());
  EXPECT_TRUE(task.nestable);
  EXPECT_EQ(0, task.sequence_num);
  EXPECT_EQ(nullptr, task.birth_tally);
  EXPECT_FALSE(task.time_posted.is_null());
  EXPECT_STREQ("Poster::Post", task.posted_from.function_name());
  EXPECT_TRUE(task.task.Equals(closure));

  base::PendingTask copy = task;  // shares the bind state
  EXPECT_TRUE(copy.task.Equals(closure));
}

TEST(PendingTaskTest, DelayedNonNestableTask) {
  base::PendingTask task(FROM_HERE, base::Bind(&DoNothing), TicksAt(50), false);
  EXPECT_EQ(TicksAt(50), task.delayed_run_time);
  EXPECT_FALSE(task.nestable);
}

// Pops every task of the heap; answers their sequence numbers in order.
std::vector<int> PopAll(std::priority_queue<base::PendingTask>* heap) {
  std::vector<int> order;
  for (; !heap->empty(); heap->pop())
    order.push_back(heap->top().sequence_num);
  return order;
}

TEST(PendingTaskTest, HeapTopIsTheEarliestRunTime) {
  std::priority_queue<base::PendingTask> heap;
  heap.push(DelayedTask(30, 1));
  heap.push(DelayedTask(10, 2));
  heap.push(DelayedTask(20, 3));
  EXPECT_EQ((std::vector<int>{2, 3, 1}), PopAll(&heap));
}

TEST(PendingTaskTest, EqualRunTimesLeaveInSequenceOrderAcrossTheWrap) {
  std::priority_queue<base::PendingTask> heap;
  heap.push(DelayedTask(10, INT_MIN + 1));
  heap.push(DelayedTask(10, INT_MAX));
  heap.push(DelayedTask(10, INT_MIN));
  heap.push(DelayedTask(10, INT_MAX - 1));
  EXPECT_EQ((std::vector<int>{INT_MAX - 1, INT_MAX, INT_MIN, INT_MIN + 1}), PopAll(&heap));

  heap.push(DelayedTask(10, 5));
  heap.push(DelayedTask(10, 3));
  heap.push(DelayedTask(5, 9));
  EXPECT_EQ((std::vector<int>{9, 3, 5}), PopAll(&heap));
}

TEST(TaskQueueTest, FirstInFirstOutAndSwap) {
  base::TaskQueue first;
  base::TaskQueue second;
  first.push(DelayedTask(0, 1));
  first.push(DelayedTask(0, 2));
  second.push(DelayedTask(0, 3));

  first.Swap(&second);
  ASSERT_EQ(1u, first.size());
  EXPECT_EQ(3, first.front().sequence_num);
  ASSERT_EQ(2u, second.size());
  EXPECT_EQ(1, second.front().sequence_num);
  second.pop();
  EXPECT_EQ(2, second.front().sequence_num);
  second.pop();
  EXPECT_TRUE(second.empty());
}

}  // namespace
