// Mutual exclusion of base::Lock and its scoped holders, seen from other threads.
#include "base/synchronization/lock.h"

#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "support/background_thread.h"

namespace {

const std::chrono::seconds kDeadline(20);

// Whether another thread can take |lock| right now (it lets go again at once).
bool OtherThreadCanTake(base::Lock& lock) {
  std::future<bool> taken = std::async(std::launch::async, [&lock] {
    if (!lock.Try())
      return false;
    lock.Release();
    return true;
  });
  EXPECT_EQ(std::future_status::ready, taken.wait_for(kDeadline));
  return taken.get();
}

TEST(LockTest, TryFromAnotherThreadFailsWhileHeld) {
  base::Lock lock;
  EXPECT_TRUE(OtherThreadCanTake(lock));
  lock.Acquire();
  lock.AssertAcquired();
  EXPECT_FALSE(OtherThreadCanTake(lock));
  lock.Release();
  EXPECT_TRUE(OtherThreadCanTake(lock));

  ASSERT_TRUE(lock.Try());
  EXPECT_FALSE(OtherThreadCanTake(lock));
  lock.Release();
}

TEST(LockTest, AutoLockHoldsForItsScopeAndAutoUnlockLetsGoForItsOwn) {
  base::Lock lock;
  {
    base::AutoLock hold(lock);
    EXPECT_FALSE(OtherThreadCanTake(lock));
    {
      base::AutoUnlock let_go(lock);
      EXPECT_TRUE(OtherThreadCanTake(lock));
    }
    EXPECT_FALSE(OtherThreadCanTake(lock));
  }
  EXPECT_TRUE(OtherThreadCanTake(lock));
}

TEST(LockTest, AcquireWaitsForTheHolder) {
  base::Lock lock;
  bool holder_done = false;  // guarded by lock
  lock.Acquire();
  std::future<bool> waiter = std::async(std::launch::async, [&] {
    base::AutoLock hold(lock);
    return holder_done;
  });
  EXPECT_EQ(std::future_status::timeout, waiter.wait_for(std::chrono::milliseconds(100)));
  holder_done = true;
  lock.Release();
  ASSERT_EQ(std::future_status::ready, waiter.wait_for(kDeadline));
  EXPECT_TRUE(waiter.get());
}

TEST(LockTest, ContendedIncrementsAreNeverLost) {
  const int kIncrements = 200000;
  base::Lock lock;
  int counter = 0;  // guarded by lock
  auto add = [&] {
    for (int i = 0; i < kIncrements; ++i) {
      base::AutoLock hold(lock);
      ++counter;
    }
  };
  test::BackgroundThread first(add);
  test::BackgroundThread second(add);
  ASSERT_TRUE(first.Join());
  ASSERT_TRUE(second.Join());
  EXPECT_EQ(2 * kIncrements, counter);
}

}  // namespace
