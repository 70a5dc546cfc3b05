// Which runner a thread publishes, and when.
#include "base/thread_task_runner_handle.h"

#include <gtest/gtest.h>

#include "base/message_loop.h"
#include "base/message_loop_proxy.h"
#include "support/thread_runner.h"

namespace {

TEST(ThreadTaskRunnerHandleTest, ALoopPublishesItsProxyForItsLifetime) {
  EXPECT_FALSE(base::ThreadTaskRunnerHandle::IsSet());
  {
    MessageLoop loop;
    ASSERT_TRUE(base::ThreadTaskRunnerHandle::IsSet());
    scoped_refptr<base::SingleThreadTaskRunner> runner = base::ThreadTaskRunnerHandle::Get();
    EXPECT_EQ(loop.message_loop_proxy(), runner);
    EXPECT_TRUE(runner->BelongsToCurrentThread());
  }
  EXPECT_FALSE(base::ThreadTaskRunnerHandle::IsSet());
}

TEST(ThreadTaskRunnerHandleTest, EachThreadSeesOnlyItsOwn) {
  MessageLoop loop;
  bool set_elsewhere = true;
  ASSERT_TRUE(test::RunOnNewThread(
      [&set_elsewhere] { set_elsewhere = base::ThreadTaskRunnerHandle::IsSet(); }));
  EXPECT_FALSE(set_elsewhere);
  EXPECT_TRUE(base::ThreadTaskRunnerHandle::IsSet());
}

}  // namespace
