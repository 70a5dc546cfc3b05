// Callback: null state, identity, reset, copying, and release of the bind state on any thread.
#include "base/callback.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "base/bind.h"
#include "base/memory/ref_counted.h"
#include "support/thread_runner.h"

namespace {

// Records the thread it is deleted on.
class Receiver : public base::RefCountedThreadSafe<Receiver> {
 public:
  explicit Receiver(DWORD* deleted_on) : deleted_on_(deleted_on) {}
  void Touch() {}

 private:
  friend class base::RefCountedThreadSafe<Receiver>;
  ~Receiver() { *deleted_on_ = ::GetCurrentThreadId(); }

  DWORD* deleted_on_;
};

void DoNothing() {}
void DoNothingElse() {}

TEST(CallbackTest, DefaultIsNullAndBoundIsNot) {
  base::Closure closure;
  EXPECT_TRUE(closure.is_null());
  EXPECT_FALSE(base::Bind(&DoNothing).is_null());
}

TEST(CallbackTest, EqualsComparesStateAndInvokeFunction) {
  base::Closure first = base::Bind(&DoNothing);
  base::Closure copy = first;
  EXPECT_TRUE(first.Equals(copy));
  EXPECT_TRUE(copy.Equals(first));

  // Same function, separate bind: a different state.
  EXPECT_FALSE(first.Equals(base::Bind(&DoNothing)));
  EXPECT_FALSE(first.Equals(base::Bind(&DoNothingElse)));
  EXPECT_FALSE(first.Equals(base::Closure()));
  EXPECT_TRUE(base::Closure().Equals(base::Closure()));
}

TEST(CallbackTest, ResetReleasesTheStateAndNullsTheCallback) {
  DWORD deleted_on = 0;
  base::Closure closure = base::Bind(&Receiver::Touch, new Receiver(&deleted_on));
  base::Closure copy = closure;

  closure.Reset();
  EXPECT_TRUE(closure.is_null());
  EXPECT_TRUE(closure.Equals(base::Closure()));
  EXPECT_EQ(0u, deleted_on);  // the copy still holds the state

  copy.Reset();
  EXPECT_EQ(::GetCurrentThreadId(), deleted_on);
}

TEST(CallbackTest, AssignmentSwitchesStates) {
  DWORD first_deleted = 0;
  DWORD second_deleted = 0;
  base::Closure closure = base::Bind(&Receiver::Touch, new Receiver(&first_deleted));
  base::Closure other = base::Bind(&Receiver::Touch, new Receiver(&second_deleted));

  closure = closure;
  EXPECT_EQ(0u, first_deleted);

  closure = other;
  EXPECT_NE(0u, first_deleted);
  EXPECT_TRUE(closure.Equals(other));
  other.Reset();
  EXPECT_EQ(0u, second_deleted);
  closure.Run();
}

TEST(CallbackTest, LastCopyReleasesTheReceiverOnItsOwnThread) {
  DWORD deleted_on = 0;
  base::Closure* last_copy;
  {
    base::Closure closure = base::Bind(&Receiver::Touch, new Receiver(&deleted_on));
    last_copy = new base::Closure(closure);
  }
  EXPECT_EQ(0u, deleted_on);

  DWORD thread_id = 0;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    thread_id = ::GetCurrentThreadId();
    delete last_copy;
  }));
  EXPECT_EQ(thread_id, deleted_on);
}

}  // namespace
