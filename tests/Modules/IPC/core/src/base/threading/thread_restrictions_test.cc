// The per-thread restriction flags and their scoped holders.
#include "base/threading/thread_restrictions.h"

#include <string>

#include <gtest/gtest.h>

#include "support/thread_runner.h"

namespace {

using base::ThreadRestrictions;

// What the assertion of a flag wrote to stderr; it never stops the thread.
template <typename Assertion>
std::string AssertionOutput(Assertion assertion) {
  testing::internal::CaptureStderr();
  assertion();
  return testing::internal::GetCapturedStderr();
}

bool IOAssertionComplains() {
  return !AssertionOutput(ThreadRestrictions::AssertIOAllowed).empty();
}

bool SingletonAssertionComplains() {
  return !AssertionOutput(ThreadRestrictions::AssertSingletonAllowed).empty();
}

bool WaitAssertionComplains() {
  return !AssertionOutput(ThreadRestrictions::AssertWaitAllowed).empty();
}

TEST(ThreadRestrictionsTest, SettersAnswerThePreviousStateOfTheCallingThreadOnly) {
  ASSERT_TRUE(test::RunOnNewThread([] {
    EXPECT_TRUE(ThreadRestrictions::SetIOAllowed(false));
    EXPECT_FALSE(ThreadRestrictions::SetIOAllowed(false));
    EXPECT_TRUE(ThreadRestrictions::SetSingletonAllowed(false));
    bool other_thread_io_allowed = false;
    bool other_thread_singleton_allowed = false;
    EXPECT_TRUE(test::RunOnNewThread([&] {
      other_thread_io_allowed = ThreadRestrictions::SetIOAllowed(true);
      other_thread_singleton_allowed = ThreadRestrictions::SetSingletonAllowed(true);
    }));
    EXPECT_TRUE(other_thread_io_allowed);
    EXPECT_TRUE(other_thread_singleton_allowed);
    EXPECT_FALSE(ThreadRestrictions::SetIOAllowed(true));
    EXPECT_TRUE(ThreadRestrictions::SetIOAllowed(true));
    EXPECT_FALSE(ThreadRestrictions::SetSingletonAllowed(true));
  }));
}

TEST(ThreadRestrictionsTest, ScopedHoldersAllowAndRestoreThePreviousState) {
  ASSERT_TRUE(test::RunOnNewThread([] {
    ThreadRestrictions::SetIOAllowed(false);
    ThreadRestrictions::SetSingletonAllowed(false);
    {
      ThreadRestrictions::ScopedAllowIO allow_io;
      ThreadRestrictions::ScopedAllowSingleton allow_singleton;
      EXPECT_FALSE(IOAssertionComplains());
      EXPECT_FALSE(SingletonAssertionComplains());
      {
        // A nested holder restores "allowed", not the outer "disallowed".
        ThreadRestrictions::ScopedAllowIO nested;
      }
      EXPECT_FALSE(IOAssertionComplains());
    }
    EXPECT_TRUE(IOAssertionComplains());
    EXPECT_TRUE(SingletonAssertionComplains());
    ThreadRestrictions::SetIOAllowed(true);
    {
      ThreadRestrictions::ScopedAllowIO allow_io;
    }
    EXPECT_FALSE(IOAssertionComplains());
  }));
}

TEST(ThreadRestrictionsTest, DisallowedWaitingIsLiftedOnlyInsideScopedAllowWait) {
  ASSERT_TRUE(test::RunOnNewThread([] {
    EXPECT_FALSE(WaitAssertionComplains());
    ThreadRestrictions::DisallowWaiting();
    std::string complaint = AssertionOutput(ThreadRestrictions::AssertWaitAllowed);
    EXPECT_NE(std::string::npos, complaint.find("WARNING"));
    EXPECT_NE(std::string::npos, complaint.find("Waiting is not allowed"));
    {
      ThreadRestrictions::ScopedAllowWait allow_wait;
      EXPECT_FALSE(WaitAssertionComplains());
    }
    EXPECT_TRUE(WaitAssertionComplains());
  }));
  // The flag belonged to the worker.
  EXPECT_FALSE(WaitAssertionComplains());
}

}  // namespace
