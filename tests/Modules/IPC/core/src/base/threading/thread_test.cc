// Start-up, the thread body's hooks and stopping of message-loop threads.
#include "base/threading/thread.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/bind_helpers.h"
#include "base/message_loop.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/time.h"
#include "support/deadline.h"
#include "support/thread_runner.h"

namespace {

using base::Bind;
using base::PlatformThread;
using base::PlatformThreadId;
using base::Thread;

// Written by the thread under test, read once it is joined (or under the lock before).
class EventLog {
 public:
  void Add(const std::string& event) {
    base::AutoLock locked(lock_);
    events_.push_back(event);
  }
  std::vector<std::string> events() {
    base::AutoLock locked(lock_);
    return events_;
  }

 private:
  base::Lock lock_;
  std::vector<std::string> events_;
};

void LogEvent(EventLog* log, const std::string& event) {
  log->Add(event);
}

class LoopDestructionLogger : public MessageLoop::DestructionObserver {
 public:
  explicit LoopDestructionLogger(EventLog* log) : log_(log) {}
  void WillDestroyCurrentMessageLoop() override {
    log_->Add("loop destroyed");
    delete this;
  }

 private:
  EventLog* log_;
};

// Logs its hooks, with what they see of the thread.
class HookedThread : public Thread {
 public:
  explicit HookedThread(EventLog* log) : Thread("hooked"), log_(log) {}
  ~HookedThread() override { Stop(); }

 protected:
  void Init() override {
    MessageLoop::current()->AddDestructionObserver(new LoopDestructionLogger(log_));
    log_->Add(std::string("init on ") + (PlatformThread::GetName() ? PlatformThread::GetName()
                                                                     : "unnamed thread"));
  }
  void CleanUp() override {
    log_->Add(MessageLoop::current() ? "clean-up with loop" : "clean-up without loop");
  }

 private:
  EventLog* log_;
};

void RecordThreadAndSignal(PlatformThreadId* thread_id, base::WaitableEvent* done) {
  *thread_id = PlatformThread::CurrentId();
  done->Signal();
}

// Records whether its task was destroyed unrun.
class Sentinel {
 public:
  explicit Sentinel(EventLog* log) : log_(log) {}
  ~Sentinel() { log_->Add("delayed task destroyed"); }

 private:
  EventLog* log_;
};

void RunSentinelTask(EventLog* log, Sentinel*) {
  log->Add("delayed task ran");
}

void QuitOwnLoop() {
  MessageLoop::current()->Quit();
}

TEST(ThreadTest, StartReturnsAfterInitWithALoopThatRunsTasksOnTheNewThread) {
  EventLog log;
  HookedThread thread(&log);
  EXPECT_FALSE(thread.IsRunning());
  ASSERT_TRUE(thread.Start());
  EXPECT_EQ((std::vector<std::string>{"init on hooked"}), log.events());
  EXPECT_TRUE(thread.IsRunning());
  EXPECT_TRUE(thread.thread_was_started());
  ASSERT_NE(nullptr, thread.message_loop());
  EXPECT_EQ("hooked", thread.message_loop()->thread_name());
  EXPECT_EQ(MessageLoop::TYPE_DEFAULT, thread.message_loop()->type());
  EXPECT_NE(PlatformThread::CurrentId(), thread.thread_id());

  PlatformThreadId ran_on = 0;
  base::WaitableEvent done(false, false);
  thread.message_loop()->PostTask(FROM_HERE, Bind(&RecordThreadAndSignal, &ran_on, &done));
  ASSERT_TRUE(done.TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs)));
  EXPECT_EQ(thread.thread_id(), ran_on);
}

TEST(ThreadTest, CleanUpRunsAfterTheLastTaskWhileTheLoopStillExists) {
  EventLog log;
  HookedThread thread(&log);
  ASSERT_TRUE(thread.Start());
  thread.message_loop()->PostTask(FROM_HERE, Bind(&LogEvent, &log, std::string("task")));
  thread.Stop();
  EXPECT_EQ((std::vector<std::string>{"init on hooked", "task", "clean-up with loop",
                                      "loop destroyed"}),
            log.events());
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_FALSE(thread.thread_was_started());
  EXPECT_EQ(nullptr, thread.message_loop());
}

TEST(ThreadTest, StopRunsTheQueuedTasksAndDropsATaskDelayedTenSeconds) {
  EventLog log;
  Thread thread("stopped with work queued");
  ASSERT_TRUE(thread.Start());
  MessageLoop* loop = thread.message_loop();
  // Holds the thread until all of the work below is queued.
  base::WaitableEvent queued(true, false);
  loop->PostTask(FROM_HERE, Bind(&base::WaitableEvent::Wait, base::Unretained(&queued)));
  loop->PostTask(FROM_HERE, Bind(&LogEvent, &log, std::string("1")));
  loop->PostTask(FROM_HERE, Bind(&LogEvent, &log, std::string("2")));
  loop->PostTask(FROM_HERE, Bind(&LogEvent, &log, std::string("3")));
  loop->PostDelayedTask(FROM_HERE, Bind(&RunSentinelTask, &log, base::Owned(new Sentinel(&log))),
                        10000);
  queued.Signal();

  const base::TimeTicks started = base::TimeTicks::Now();
  thread.Stop();
  EXPECT_LT((base::TimeTicks::Now() - started).InMilliseconds(), 5000);
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "delayed task destroyed"}), log.events());
}

TEST(ThreadTest, StopTwiceAndStopWithoutStartDoNothing) {
  Thread never_started("never started");
  never_started.Stop();
  never_started.StopSoon();
  EXPECT_FALSE(never_started.thread_was_started());

  Thread thread("stopped twice");
  ASSERT_TRUE(thread.Start());
  thread.StopSoon();
  thread.StopSoon();
  thread.Stop();
  thread.Stop();
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_TRUE(Thread::GetThreadWasQuitProperly());
}

TEST(ThreadTest, AStoppedThreadStartsAgainWithAFreshLoop) {
  Thread thread("restarted");
  ASSERT_TRUE(thread.Start());
  const PlatformThreadId first_id = thread.thread_id();
  EXPECT_FALSE(thread.Start());  // running already
  EXPECT_EQ(first_id, thread.thread_id());
  thread.Stop();
  ASSERT_TRUE(thread.StartWithOptions(Thread::Options(MessageLoop::TYPE_IO, 0)));
  ASSERT_NE(nullptr, thread.message_loop());
  EXPECT_EQ(MessageLoop::TYPE_IO, thread.message_loop()->type());
  PlatformThreadId ran_on = 0;
  base::WaitableEvent done(false, false);
  EXPECT_TRUE(thread.message_loop_proxy()->PostTask(
      FROM_HERE, Bind(&RecordThreadAndSignal, &ran_on, &done)));
  ASSERT_TRUE(done.TimedWait(base::TimeDelta::FromMilliseconds(test::kDeadlineMs)));
  EXPECT_EQ(thread.thread_id(), ran_on);
}

TEST(ThreadTest, StopAfterTheLoopQuitByItselfJustJoins) {
  EventLog log;
  HookedThread thread(&log);
  ASSERT_TRUE(thread.Start());
  thread.message_loop()->PostTask(FROM_HERE, Bind(&QuitOwnLoop));
  ASSERT_TRUE(test::WaitUntil([&thread] { return !thread.IsRunning(); }, test::kDeadlineMs));
  thread.Stop();
  EXPECT_FALSE(thread.thread_was_started());
  EXPECT_EQ("loop destroyed", log.events().back());
}

TEST(ThreadTest, DestructorStopsARunningThread) {
  EventLog log;
  {
    Thread thread("destroyed while running");
    ASSERT_TRUE(thread.Start());
    thread.message_loop()->PostTask(FROM_HERE, Bind(&LogEvent, &log, std::string("task")));
  }
  EXPECT_EQ((std::vector<std::string>{"task"}), log.events());
}

}  // namespace
