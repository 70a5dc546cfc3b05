// The thread checker: bound at creation, rebound after a detach.
#include "base/threading/thread_checker_impl.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/win/scoped_handle.h"

namespace {

const DWORD kThreadDeadlineMs = 10000;

struct CheckOnThread {
  base::ThreadCheckerImpl* checker;
  bool answer;
};

DWORD WINAPI AskOnThread(void* parameter) {
  CheckOnThread* check = static_cast<CheckOnThread*>(parameter);
  check->answer = check->checker->CalledOnValidThread();
  return 0;
}

// Answers what |checker| says on a thread of its own.
bool AnswerOnOtherThread(base::ThreadCheckerImpl* checker) {
  CheckOnThread check = {checker, false};
  base::win::ScopedHandle thread(::CreateThread(nullptr, 0, &AskOnThread, &check, 0, nullptr));
  EXPECT_TRUE(thread.IsValid());
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), kThreadDeadlineMs));
  return check.answer;
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
