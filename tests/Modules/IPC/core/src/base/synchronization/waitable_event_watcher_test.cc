// Watching a WaitableEvent: the delegate hears of the signal on the watching loop, with the
// watch cleared first so that it may watch again.
#include "base/synchronization/waitable_event_watcher.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/location.h"
#include "base/message_loop_win.h"
#include "base/synchronization/waitable_event.h"
#include "support/background_thread.h"
#include "support/loop_runner.h"

namespace {

using base::WaitableEvent;
using base::WaitableEventWatcher;

// Records the signal and what the watcher showed while the delegate ran, then either
// watches again (up to |restarts| times) or ends the loop's run.
class RecordingDelegate : public WaitableEventWatcher::Delegate {
 public:
  RecordingDelegate(WaitableEventWatcher* watcher, int restarts)
      : watcher_(watcher), restarts_(restarts) {}

  void OnWaitableEventSignaled(WaitableEvent* event) override {
    ++calls_;
    event_ = event;
    watched_during_call_ = watcher_->GetWatchedEvent();
    delegate_during_call_ = watcher_->delegate();
    if (restarts_ > 0) {
      --restarts_;
      restarted_ = watcher_->StartWatching(event, this);
      event->Signal();
    } else {
      MessageLoop::current()->QuitNow();
    }
  }

  int calls_ = 0;
  WaitableEvent* event_ = nullptr;
  WaitableEvent* watched_during_call_ = nullptr;
  WaitableEventWatcher::Delegate* delegate_during_call_ = nullptr;
  bool restarted_ = false;

 private:
  WaitableEventWatcher* watcher_;
  int restarts_;
};

// A window-message loop: test::WaitUntilWorkIsPosted sees when the wait thread has posted.
class WaitableEventWatcherTest : public testing::Test {
 protected:
  // Runs the loop until |delegate| has been called |calls| times, or until the deadline.
  bool RunUntilCalled(const RecordingDelegate& delegate, int calls = 1) {
    return test::RunLoopUntil([&delegate, calls] { return delegate.calls_ >= calls; });
  }

  MessageLoopForUI loop_;
};

TEST_F(WaitableEventWatcherTest, DelegateHearsOfTheSignalWithTheWatchAlreadyCleared) {
  WaitableEvent event(false, false);
  WaitableEventWatcher watcher;
  RecordingDelegate delegate(&watcher, 0);
  ASSERT_TRUE(watcher.StartWatching(&event, &delegate));
  EXPECT_EQ(&event, watcher.GetWatchedEvent());
  EXPECT_EQ(&delegate, watcher.delegate());

  test::BackgroundThread signaller([&event] { event.Signal(); });
  ASSERT_TRUE(RunUntilCalled(delegate));

  EXPECT_EQ(1, delegate.calls_);
  EXPECT_EQ(&event, delegate.event_);
  EXPECT_EQ(nullptr, delegate.watched_during_call_);
  EXPECT_EQ(nullptr, delegate.delegate_during_call_);
}

TEST_F(WaitableEventWatcherTest, DelegateMayRestartTheWatchOnTheSameEventFromItsCallback) {
  WaitableEvent event(false, true);
  WaitableEventWatcher watcher;
  RecordingDelegate delegate(&watcher, 2);
  ASSERT_TRUE(watcher.StartWatching(&event, &delegate));
  ASSERT_TRUE(RunUntilCalled(delegate, 3));

  EXPECT_TRUE(delegate.restarted_);
  EXPECT_EQ(3, delegate.calls_);
  EXPECT_EQ(nullptr, watcher.GetWatchedEvent());
}

TEST_F(WaitableEventWatcherTest, StopWatchingClearsTheWatchAndNothingIsCalled) {
  WaitableEvent event(true, false);
  WaitableEventWatcher watcher;
  RecordingDelegate delegate(&watcher, 0);
  ASSERT_TRUE(watcher.StartWatching(&event, &delegate));
  event.Signal();
  ASSERT_TRUE(test::WaitUntilWorkIsPosted());
  watcher.StopWatching();
  EXPECT_EQ(nullptr, watcher.GetWatchedEvent());
  EXPECT_EQ(nullptr, watcher.delegate());

  loop_.RunAllPending();
  EXPECT_EQ(0, delegate.calls_);
}

TEST_F(WaitableEventWatcherTest, StartWatchingWhileWatchingFailsAndKeepsTheFirstWatch) {
  WaitableEvent first(true, false), second(true, true);
  WaitableEventWatcher watcher;
  RecordingDelegate first_delegate(&watcher, 0), second_delegate(&watcher, 0);
  ASSERT_TRUE(watcher.StartWatching(&first, &first_delegate));
  EXPECT_FALSE(watcher.StartWatching(&second, &second_delegate));
  EXPECT_EQ(&first, watcher.GetWatchedEvent());
  EXPECT_EQ(&first_delegate, watcher.delegate());

  first.Signal();
  ASSERT_TRUE(RunUntilCalled(first_delegate));
  EXPECT_EQ(1, first_delegate.calls_);
  EXPECT_EQ(&first, first_delegate.event_);
  EXPECT_EQ(0, second_delegate.calls_);
}

TEST_F(WaitableEventWatcherTest, DestroyedWatcherCallsNothing) {
  WaitableEvent event(true, false);
  RecordingDelegate delegate(nullptr, 0);
  {
    WaitableEventWatcher watcher;
    ASSERT_TRUE(watcher.StartWatching(&event, &delegate));
    event.Signal();
    ASSERT_TRUE(test::WaitUntilWorkIsPosted());
  }
  loop_.RunAllPending();
  EXPECT_EQ(0, delegate.calls_);
}

}  // namespace
