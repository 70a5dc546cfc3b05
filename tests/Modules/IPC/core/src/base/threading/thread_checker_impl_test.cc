// The thread checker: bound at creation, rebound after a detach.
#include "base/threading/thread_checker_impl.h"

#include <gtest/gtest.h>

#include "support/thread_runner.h"

namespace {

// Answers what |checker| says on a thread of its own.
bool AnswerOnOtherThread(base::ThreadCheckerImpl* checker) {
  bool answer = false;
  EXPECT_TRUE(test::RunOnNewThread([&] { answer = checker->CalledOnValidThread(); }));
  return answer;
}

TEST(ThreadCheckerImplTest, BoundToTheCreatingThread) {
  base::ThreadCheckerImpl checker;
  EXPECT_TRUE(checker.CalledOnValidThread());
  EXPECT_FALSE(AnswerOnOtherThread(&checker));
  EXPECT_TRUE(checker.CalledOnValidThread());
}

TEST(ThreadCheckerImplTest, DetachLetsTheNextThreadClaimIt) {
  base::ThreadCheckerImpl checker;
  checker.DetachFromThread();
  EXPECT_TRUE(AnswerOnOtherThread(&checker));
  EXPECT_FALSE(checker.CalledOnValidThread());
}

}  // namespace
