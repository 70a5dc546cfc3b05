// Object watching: the signal arrives as a task on the origin loop, at most once, and never
// after the watch was stopped or the loop went away.
#include "base/win/object_watcher.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop_win.h"
#include "base/synchronization/waitable_event.h"
#include "support/background_thread.h"
#include "support/loop_runner.h"

namespace {

using base::WaitableEvent;
using base::win::NativeHandle;
using base::win::ObjectWatcher;

// How long a test watches for a task that must not come.
const unsigned long kQuietMs = 300;

// Records each signal and ends the loop's run.
class QuittingDelegate : public ObjectWatcher::Delegate {
 public:
  void OnObjectSignaled(NativeHandle object) override {
    ++calls_;
    object_ = object;
    thread_id_ = GetCurrentThreadId();
    MessageLoop::current()->QuitNow();
  }

  int calls_ = 0;
  NativeHandle object_ = nullptr;
  DWORD thread_id_ = 0;
};

// Counts the tasks a loop runs.
class TaskCounter : public MessageLoop::TaskObserver {
 public:
  void WillRunTask(base::TimeTicks) override { ++tasks_; }
  void DidRunTask(base::TimeTicks) override {}
  int tasks_ = 0;
};

// A window-message loop: test::WaitUntilWorkIsPosted sees when the wait thread has posted.
class ObjectWatcherTest : public testing::Test {
 protected:
  ObjectWatcherTest() : event_(true, false) {}

  // Runs the loop until |delegate| has been called, or until the deadline.
  bool RunUntilCalled(const QuittingDelegate& delegate) {
    return test::RunLoopUntil([&delegate] { return delegate.calls_ > 0; });
  }

  MessageLoopForUI loop_;
  WaitableEvent event_;
};

TEST_F(ObjectWatcherTest, SignalCallsTheDelegateAsATaskOnTheOriginThread) {
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatching(event_.handle(), &delegate));
  EXPECT_EQ(event_.handle(), watcher.GetWatchedObject());

  test::BackgroundThread signaller([this] { event_.Signal(); });
  ASSERT_TRUE(RunUntilCalled(delegate));

  EXPECT_EQ(1, delegate.calls_);
  EXPECT_EQ(event_.handle(), delegate.object_);
  EXPECT_EQ(GetCurrentThreadId(), delegate.thread_id_);
  // Stopped before the delegate ran.
  EXPECT_EQ(nullptr, watcher.GetWatchedObject());
  EXPECT_FALSE(watcher.StopWatching());
}

TEST_F(ObjectWatcherTest, ObjectSignalledBeforeStartWatchingFiresAsATaskNotInsideTheCall) {
  event_.Signal();
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  ASSERT_TRUE(watcher.StartWatching(event_.handle(), &delegate));
  ASSERT_TRUE(test::WaitUntilWorkIsPosted());
  // The wait thread has posted, but nothing runs until the loop does.
  EXPECT_EQ(0, delegate.calls_);

  ASSERT_TRUE(RunUntilCalled(delegate));
  EXPECT_EQ(1, delegate.calls_);
}

TEST_F(ObjectWatcherTest, WatchFiresOnlyOnceForAnObjectThatStaysSignalled) {
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  event_.Signal();
  ASSERT_TRUE(watcher.StartWatching(event_.handle(), &delegate));
  ASSERT_TRUE(RunUntilCalled(delegate));
  test::RunLoopFor(kQuietMs);

  EXPECT_EQ(1, delegate.calls_);
}

TEST_F(ObjectWatcherTest, StopWatchingAfterTheSignalButBeforeTheTaskRanCallsNothing) {
  TaskCounter counter;
  loop_.AddTaskObserver(&counter);
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  event_.Signal();
  ASSERT_TRUE(watcher.StartWatching(event_.handle(), &delegate));
  ASSERT_TRUE(test::WaitUntilWorkIsPosted());

  EXPECT_TRUE(watcher.StopWatching());
  loop_.RunAllPending();

  // The signal task ran, found its weak receiver gone and did nothing.
  EXPECT_EQ(1, counter.tasks_);
  EXPECT_EQ(0, delegate.calls_);
  loop_.RemoveTaskObserver(&counter);
}

// A channel stops its watch of a shutdown event that another thread signals at that moment.
TEST_F(ObjectWatcherTest, WatchesStoppedWhileAnotherThreadSignalsEndCleanly) {
  const int kRounds = 20000;
  std::atomic<bool> done(false);
  test::BackgroundThread signaller([&] {
    while (!done.load()) {
      event_.Signal();
      event_.Reset();
    }
  });
  ASSERT_TRUE(signaller.started());
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  int stopped = 0;
  for (int round = 0; round < kRounds; ++round) {
    if (watcher.StartWatching(event_.handle(), &delegate) && watcher.StopWatching())
      ++stopped;
  }
  done = true;
  EXPECT_TRUE(signaller.Join());
  loop_.RunAllPending();

  EXPECT_EQ(kRounds, stopped);
  EXPECT_EQ(0, delegate.calls_);
}

TEST_F(ObjectWatcherTest, StartWatchingWhileWatchingFailsAndKeepsTheFirstWatch) {
  WaitableEvent other(true, false);
  ObjectWatcher watcher;
  QuittingDelegate first, second;
  ASSERT_TRUE(watcher.StartWatching(event_.handle(), &first));
  EXPECT_FALSE(watcher.StartWatching(other.handle(), &second));
  EXPECT_EQ(event_.handle(), watcher.GetWatchedObject());

  event_.Signal();
  ASSERT_TRUE(RunUntilCalled(first));
  EXPECT_EQ(1, first.calls_);
  EXPECT_EQ(0, second.calls_);
}

TEST_F(ObjectWatcherTest, DestroyedWatcherPostsNothingAfterwards) {
  TaskCounter counter;
  loop_.AddTaskObserver(&counter);
  QuittingDelegate delegate;
  {
    ObjectWatcher watcher;
    ASSERT_TRUE(watcher.StartWatching(event_.handle(), &delegate));
  }
  event_.Signal();
  test::RunLoopFor(kQuietMs);

  // The one task is the run's own quit task.
  EXPECT_EQ(1, counter.tasks_);
  EXPECT_EQ(0, delegate.calls_);
  loop_.RemoveTaskObserver(&counter);
}

// Watches a second object from inside the first one's callback.
class RestartingDelegate : public ObjectWatcher::Delegate {
 public:
  RestartingDelegate(ObjectWatcher* watcher, NativeHandle next) : watcher_(watcher), next_(next) {}

  void OnObjectSignaled(NativeHandle object) override {
    signalled_.push_back(object);
    if (signalled_.size() == 1)
      restarted_ = watcher_->StartWatching(next_, this);
    else
      MessageLoop::current()->QuitNow();
  }

  std::vector<NativeHandle> signalled_;
  bool restarted_ = false;

 private:
  ObjectWatcher* watcher_;
  NativeHandle next_;
};

TEST_F(ObjectWatcherTest, DelegateMayStartANewWatchFromItsCallback) {
  WaitableEvent second(true, true);
  ObjectWatcher watcher;
  RestartingDelegate delegate(&watcher, second.handle());
  event_.Signal();
  ASSERT_TRUE(watcher.StartWatching(event_.handle(), &delegate));
  ASSERT_TRUE(test::RunLoopUntil([&delegate] { return delegate.signalled_.size() == 2; }));

  EXPECT_TRUE(delegate.restarted_);
  ASSERT_EQ(2u, delegate.signalled_.size());
  EXPECT_EQ(event_.handle(), delegate.signalled_[0]);
  EXPECT_EQ(second.handle(), delegate.signalled_[1]);
}

// Deletes its watcher from inside the callback.
class DeletingDelegate : public ObjectWatcher::Delegate {
 public:
  explicit DeletingDelegate(ObjectWatcher* watcher) : watcher_(watcher) {}
  void OnObjectSignaled(NativeHandle) override {
    delete watcher_;
    watcher_ = nullptr;
    MessageLoop::current()->QuitNow();
  }
  ObjectWatcher* watcher_;
};

TEST_F(ObjectWatcherTest, DelegateMayDeleteTheWatcher) {
  DeletingDelegate delegate(new ObjectWatcher);
  event_.Signal();
  ASSERT_TRUE(delegate.watcher_->StartWatching(event_.handle(), &delegate));
  ASSERT_TRUE(test::RunLoopUntil([&delegate] { return delegate.watcher_ == nullptr; }));
}

TEST(ObjectWatcherLoopTest, OriginLoopDestroyedWhileWatchingStopsTheWatch) {
  WaitableEvent event(true, false);
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  {
    MessageLoopForUI loop;
    ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
  }
  EXPECT_EQ(nullptr, watcher.GetWatchedObject());

  // The watcher is idle again and serves a new loop; the signal posts to that one only.
  MessageLoopForUI loop;
  event.Signal();
  ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
  ASSERT_TRUE(test::RunLoopUntil([&delegate] { return delegate.calls_ > 0; }));
  test::RunLoopFor(kQuietMs);
  EXPECT_EQ(1, delegate.calls_);
}

TEST(ObjectWatcherLoopTest, SignalPostedToALoopThatIsThenDestroyedIsDroppedUnrun) {
  WaitableEvent event(true, true);
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  {
    MessageLoopForUI loop;
    ASSERT_TRUE(watcher.StartWatching(event.handle(), &delegate));
    ASSERT_TRUE(test::WaitUntilWorkIsPosted());
  }
  EXPECT_EQ(0, delegate.calls_);
  EXPECT_EQ(nullptr, watcher.GetWatchedObject());
}

TEST(ObjectWatcherLoopTest, StartWatchingOnAThreadWithoutALoopFails) {
  WaitableEvent event(true, true);
  ObjectWatcher watcher;
  QuittingDelegate delegate;
  EXPECT_FALSE(watcher.StartWatching(event.handle(), &delegate));
  EXPECT_EQ(nullptr, watcher.GetWatchedObject());
}

}  // namespace
