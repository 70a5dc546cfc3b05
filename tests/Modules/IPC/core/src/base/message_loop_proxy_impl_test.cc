// Posting through a loop's proxy while the loop lives and after it is gone, and where the
// proxy is deleted.
#include "base/message_loop_proxy_impl.h"

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/message_loop.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "base/time.h"
#include "support/thread_runner.h"

namespace {

using base::Bind;
using base::MessageLoopProxy;
using base::PlatformThread;
using base::PlatformThreadId;

void RecordThread(PlatformThreadId* thread_id, base::WaitableEvent* done) {
  *thread_id = PlatformThread::CurrentId();
  done->Signal();
}

void SetFlag(bool* flag) {
  *flag = true;
}

// Records whether its owner is gone.
class Sentinel {
 public:
  explicit Sentinel(bool* destroyed) : destroyed_(destroyed) {}
  ~Sentinel() { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

void Keep(Sentinel*) {}

// A proxy of the current loop that notes the thread it is deleted on.
class DeletionRecordingProxy : public base::MessageLoopProxyImpl {
 public:
  explicit DeletionRecordingProxy(PlatformThreadId* deleted_on) : deleted_on_(deleted_on) {}

 protected:
  ~DeletionRecordingProxy() override { *deleted_on_ = PlatformThread::CurrentId(); }

 private:
  PlatformThreadId* deleted_on_;
};

bool TimedWait(base::WaitableEvent* event) {
  return event->TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs));
}

TEST(MessageLoopProxyImplTest, PostsFromAnotherThreadRunOnTheLoopsThread) {
  base::Thread thread("proxy target");
  ASSERT_TRUE(thread.Start());
  scoped_refptr<MessageLoopProxy> proxy = thread.message_loop_proxy();
  PlatformThreadId ran_on = 0;
  base::WaitableEvent done(false, false);
  EXPECT_TRUE(proxy->PostTask(FROM_HERE, Bind(&RecordThread, &ran_on, &done)));
  ASSERT_TRUE(TimedWait(&done));
  EXPECT_EQ(thread.thread_id(), ran_on);

  ran_on = 0;
  EXPECT_TRUE(proxy->PostNonNestableDelayedTask(FROM_HERE, Bind(&RecordThread, &ran_on, &done),
                                                base::TimeDelta::FromMilliseconds(1)));
  ASSERT_TRUE(TimedWait(&done));
  EXPECT_EQ(thread.thread_id(), ran_on);
}

TEST(MessageLoopProxyImplTest, PostAfterTheLoopIsGoneFailsAndQueuesNothing) {
  scoped_refptr<MessageLoopProxy> proxy;
  {
    MessageLoop loop;
    proxy = loop.message_loop_proxy();
  }
  bool ran = false;
  bool destroyed = false;
  {
    base::Closure task = Bind(&SetFlag, &ran);
    EXPECT_FALSE(proxy->PostTask(FROM_HERE, task));
    EXPECT_FALSE(proxy->PostDelayedTask(FROM_HERE, task, 10));
    EXPECT_FALSE(proxy->PostNonNestableDelayedTask(FROM_HERE, task, base::TimeDelta()));
    base::Closure owning = Bind(&Keep, base::Owned(new Sentinel(&destroyed)));
    EXPECT_FALSE(proxy->PostTask(FROM_HERE, owning));
    EXPECT_FALSE(destroyed);  // the caller's task is left alone
  }
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(ran);
  EXPECT_FALSE(proxy->RunsTasksOnCurrentThread());
}

TEST(MessageLoopProxyImplTest, RunsTasksOnCurrentThreadOnlyOnTheLoopsThread) {
  MessageLoop loop;
  scoped_refptr<MessageLoopProxy> proxy = loop.message_loop_proxy();
  EXPECT_TRUE(proxy->RunsTasksOnCurrentThread());
  EXPECT_TRUE(proxy->BelongsToCurrentThread());
  bool on_other_thread = true;
  ASSERT_TRUE(test::RunOnNewThread(
      [&proxy, &on_other_thread] { on_other_thread = proxy->RunsTasksOnCurrentThread(); }));
  EXPECT_FALSE(on_other_thread);
}

TEST(MessageLoopProxyImplTest, CurrentIsTheLoopsProxyAndNullWithoutALoop) {
  EXPECT_EQ(nullptr, MessageLoopProxy::current());
  MessageLoop loop;
  EXPECT_EQ(loop.message_loop_proxy(), MessageLoopProxy::current());
}

TEST(MessageLoopProxyImplTest, LastReleaseOnAForeignThreadDeletesOnTheLoopsThread) {
  MessageLoop loop;
  PlatformThreadId deleted_on = 0;
  scoped_refptr<base::MessageLoopProxyImpl> proxy(new DeletionRecordingProxy(&deleted_on));
  ASSERT_TRUE(test::RunOnNewThread([&proxy] { proxy = nullptr; }));
  EXPECT_EQ(0u, deleted_on);

  loop.RunAllPending();
  EXPECT_EQ(PlatformThread::CurrentId(), deleted_on);
}

TEST(MessageLoopProxyImplTest, LastReleaseOnTheLoopsThreadDeletesAtOnce) {
  MessageLoop loop;
  PlatformThreadId deleted_on = 0;
  scoped_refptr<base::MessageLoopProxyImpl> proxy(new DeletionRecordingProxy(&deleted_on));
  proxy = nullptr;
  EXPECT_EQ(PlatformThread::CurrentId(), deleted_on);
}

TEST(MessageLoopProxyImplTest, LastReleaseAfterTheLoopIsGoneDeletesWhereItHappens) {
  scoped_refptr<MessageLoopProxy> proxy;
  {
    base::Thread thread("short-lived loop");
    ASSERT_TRUE(thread.Start());
    proxy = thread.message_loop_proxy();
  }
  // A delete-soon to the dead loop would crash or leak here; the proxy simply goes.
  ASSERT_TRUE(test::RunOnNewThread([&proxy] { proxy = nullptr; }));
  EXPECT_EQ(nullptr, proxy);
}

}  // namespace
