// The process-wide count of pump wake-up failures.
#include "base/metrics/problem_counter.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "support/background_thread.h"

namespace {

using base::MessageLoopProblemCounter;

TEST(MessageLoopProblemCounterTest, IsOneNamedCounterForTheProcess) {
  EXPECT_EQ(MessageLoopProblemCounter::Get(), MessageLoopProblemCounter::Get());
  EXPECT_STREQ("Runtime.MessageLoopProblem", MessageLoopProblemCounter::Get()->name());
}

TEST(MessageLoopProblemCounterTest, CountsEachCodeApartAndLosesNoConcurrentCount) {
  MessageLoopProblemCounter* counter = MessageLoopProblemCounter::Get();
  const int posts = counter->Count(base::MESSAGE_POST_ERROR);
  const int completions = counter->Count(base::COMPLETION_POST_ERROR);
  const int timers = counter->Count(base::SET_TIMER_ERROR);
  const int kThreads = 4;
  const int kAddsPerThread = 10000;
  {
    std::vector<std::unique_ptr<test::BackgroundThread>> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back(new test::BackgroundThread([counter] {
        for (int j = 0; j < kAddsPerThread; ++j)
          counter->Add(base::COMPLETION_POST_ERROR);
      }));
    }
  }
  counter->Add(base::SET_TIMER_ERROR);
  // Codes outside the range are ignored rather than written past the counts.
  counter->Add(base::MESSAGE_LOOP_PROBLEM_MAX);

  EXPECT_EQ(posts, counter->Count(base::MESSAGE_POST_ERROR));
  EXPECT_EQ(completions + kThreads * kAddsPerThread,
            counter->Count(base::COMPLETION_POST_ERROR));
  EXPECT_EQ(timers + 1, counter->Count(base::SET_TIMER_ERROR));
}

}  // namespace
