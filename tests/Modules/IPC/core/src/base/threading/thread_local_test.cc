// Raw per-thread pointers and booleans.
#include "base/threading/thread_local.h"

#include <gtest/gtest.h>

#include "support/thread_runner.h"

namespace {

TEST(ThreadLocalTest, PointerHoldsOneValuePerThreadAndStartsNull) {
  base::ThreadLocalPointer<int> pointer;
  int main_value = 1;
  int worker_value = 2;
  pointer.Set(&main_value);
  int* worker_saw_before = &main_value;
  int* worker_saw_after = nullptr;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    worker_saw_before = pointer.Get();
    pointer.Set(&worker_value);
    worker_saw_after = pointer.Get();
  }));
  EXPECT_EQ(nullptr, worker_saw_before);
  EXPECT_EQ(&worker_value, worker_saw_after);
  EXPECT_EQ(&main_value, pointer.Get());
  pointer.Set(nullptr);
  EXPECT_EQ(nullptr, pointer.Get());
}

TEST(ThreadLocalTest, BooleanIsPerThreadAndStartsFalse) {
  base::ThreadLocalBoolean flag;
  EXPECT_FALSE(flag.Get());
  flag.Set(true);
  bool worker_saw = true;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    worker_saw = flag.Get();
    flag.Set(true);
    flag.Set(false);
  }));
  EXPECT_FALSE(worker_saw);
  EXPECT_TRUE(flag.Get());
  flag.Set(false);
  EXPECT_FALSE(flag.Get());
}

}  // namespace
