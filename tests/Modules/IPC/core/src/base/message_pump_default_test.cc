// The default pump driven directly: its turn order, its wake-ups and its delayed work.
#include "base/message_pump_default.h"

#include <windows.h>

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "base/bind.h"
#include "base/synchronization/waitable_event.h"
#include "base/time.h"
#include "support/background_thread.h"
#include "support/mock_ticks.h"
#include "support/test_pump_delegate.h"
#include "support/thread_runner.h"

namespace {

using base::MessagePumpDefault;
using base::TimeDelta;
using base::TimeTicks;
using base::WaitableEvent;
using test::TestPumpDelegate;

const int kManyPosts = 1000;

// How long a pump is left asleep after a batch before its run ends.
const TimeDelta kQuietTime = TimeDelta::FromMilliseconds(300);

void DoNothing() {}

void QuitPump(base::MessagePump* pump) {
  pump->Quit();
}

// On the pump's thread: ends the run once the pump has slept a while.
void QuitAfterQuietTime(base::MessagePump* pump, TestPumpDelegate* delegate) {
  delegate->PostDelayedTask(base::Bind(&QuitPump, pump), TimeTicks::Now() + kQuietTime);
}

class MessagePumpDefaultTest : public testing::Test {
 protected:
  MessagePumpDefaultTest() : pump_(new MessagePumpDefault), delegate_(pump_.get()) {
    delegate_.SetDeadline(TimeDelta::FromMilliseconds(test::kDeadlineMs));
  }

  scoped_refptr<MessagePumpDefault> pump_;
  TestPumpDelegate delegate_;
};

TEST_F(MessagePumpDefaultTest, TurnCallsWorkThenDelayedWorkThenIdleWork) {
  delegate_.PostTask(base::Bind(&DoNothing));
  delegate_.QuitWhenIdle();
  pump_->Run(&delegate_);

  // The task's turn did work, so it skips the idle call; the next turn finds nothing.
  EXPECT_EQ("wdwdi", delegate_.calls());
}

TEST_F(MessagePumpDefaultTest, QuitFromATaskLeavesTheTurnAtOnce) {
  delegate_.PostTask(base::Bind(&QuitPump, pump_.get()));
  delegate_.PostTask(base::Bind(&DoNothing));
  pump_->Run(&delegate_);

  EXPECT_EQ("w", delegate_.calls());
  EXPECT_EQ(1, delegate_.tasks_run());
}

TEST_F(MessagePumpDefaultTest, RunsAgainAfterQuitting) {
  delegate_.PostTask(base::Bind(&QuitPump, pump_.get()));
  pump_->Run(&delegate_);

  delegate_.PostTask(base::Bind(&DoNothing));
  delegate_.QuitWhenIdle();
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_EQ(2, delegate_.tasks_run());
}

void RunNestedUntilIdle(MessagePumpDefault* pump) {
  TestPumpDelegate inner(pump);
  inner.PostTask(base::Bind(&DoNothing));
  inner.QuitWhenIdle();
  pump->Run(&inner);
  EXPECT_EQ(1, inner.tasks_run());
}

TEST_F(MessagePumpDefaultTest, NestedRunThatQuitsLeavesTheOuterRunRunning) {
  delegate_.PostTask(base::Bind(&RunNestedUntilIdle, pump_.get()));
  delegate_.PostTask(delegate_.QuitWhenIdleTask());
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_EQ(2, delegate_.tasks_run());
}

// Posts |count| tasks from the calling thread, waking the pump after each one.
void PostAndWakeEachTime(MessagePumpDefault* pump, TestPumpDelegate* delegate, int count) {
  for (int i = 0; i < count; ++i) {
    delegate->PostTask(base::Bind(&DoNothing));
    pump->ScheduleWork();
  }
}

void SignalThenWait(WaitableEvent* started, WaitableEvent* release) {
  started->Signal();
  release->Wait();
}

// Posts a task that holds the pump until every other post is in, and waits until the pump
// runs it, so that the batch's wake-ups all come while the pump is awake. The last post ends
// the run a while after the batch.
void PostWhileThePumpIsHeld(MessagePumpDefault* pump, TestPumpDelegate* delegate,
                            WaitableEvent* all_posted) {
  WaitableEvent held(true, false);
  delegate->PostTask(base::Bind(&SignalThenWait, base::Unretained(&held),
                                base::Unretained(all_posted)));
  pump->ScheduleWork();
  EXPECT_TRUE(held.TimedWait(TimeDelta::FromMilliseconds(test::kDeadlineMs)));
  PostAndWakeEachTime(pump, delegate, kManyPosts);
  delegate->PostTask(base::Bind(&QuitAfterQuietTime, pump, delegate));
  all_posted->Signal();
}

// At the pump's first idle turn, starts posting from another thread. With
// |wait_for_posts| the idle turn returns only once the posts are in, so they all land
// before the pump's wait; otherwise the pump wakes for the first and is held while the
// others land.
class PostOnFirstIdle {
 public:
  PostOnFirstIdle(MessagePumpDefault* pump, TestPumpDelegate* delegate, bool wait_for_posts)
      : pump_(pump), delegate_(delegate), wait_for_posts_(wait_for_posts), all_posted_(true, false) {
    delegate->set_idle_hook(base::Bind(&PostOnFirstIdle::OnIdle, base::Unretained(this)));
  }

 private:
  void OnIdle() {
    if (poster_)
      return;
    if (wait_for_posts_) {
      poster_.reset(new test::BackgroundThread([this] {
        PostAndWakeEachTime(pump_, delegate_, kManyPosts);
      }));
      EXPECT_TRUE(poster_->Join());
      QuitAfterQuietTime(pump_, delegate_);
    } else {
      poster_.reset(new test::BackgroundThread([this] {
        PostWhileThePumpIsHeld(pump_, delegate_, &all_posted_);
      }));
    }
  }

  MessagePumpDefault* pump_;
  TestPumpDelegate* delegate_;
  bool wait_for_posts_;
  WaitableEvent all_posted_;
  std::unique_ptr<test::BackgroundThread> poster_;
};

TEST_F(MessagePumpDefaultTest, ManyPostsFromAnotherThreadWakeTheSleepingPumpOnce) {
  PostOnFirstIdle poster(pump_.get(), &delegate_, true);
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_EQ(kManyPosts + 1, delegate_.tasks_run());
  // One idle turn before the wait and one after the single wake-up had run every task; a
  // second wake-up would show as a third idle turn.
  EXPECT_EQ(2, delegate_.idle_calls());
}

TEST_F(MessagePumpDefaultTest, WakeUpsGivenWhileAwakeMakeOnlyTheNextWaitReturnAtOnce) {
  PostOnFirstIdle poster(pump_.get(), &delegate_, false);
  pump_->Run(&delegate_);

  EXPECT_FALSE(delegate_.timed_out());
  EXPECT_EQ(kManyPosts + 3, delegate_.tasks_run());
  // Asleep: one idle turn. Woken once for the batch: a second. The wake-ups given while the
  // batch ran leave one signal behind, which ends the next wait at once: a third. No more.
  EXPECT_EQ(3, delegate_.idle_calls());
}

TEST_F(MessagePumpDefaultTest, ScheduleWorkFromAnotherThreadWakesAnEndlessWait) {
  EXPECT_EQ(1, test::RunWokenFromAnotherThread(pump_.get()));
}

// Records the delayed work time the pump holds each time it asks for delayed work.
class DelayedTimeRecorder : public TestPumpDelegate {
 public:
  explicit DelayedTimeRecorder(base::MessagePump* pump) : TestPumpDelegate(pump) {}

  bool DoDelayedWork(TimeTicks* next_delayed_work_time) override {
    seen_.push_back(*next_delayed_work_time);
    return TestPumpDelegate::DoDelayedWork(next_delayed_work_time);
  }

  std::vector<TimeTicks> seen_;
};

void AdvanceOnce(test::ScopedMockTicks* ticks, uint32_t milliseconds, bool* moved) {
  if (!*moved)
    ticks->Advance(milliseconds);
  *moved = true;
}

TEST(MessagePumpDefaultDelayTest, DueDelayedWorkMakesThePumpTurnAgainWithoutSleeping) {
  test::ScopedMockTicks ticks;
  scoped_refptr<MessagePumpDefault> pump(new MessagePumpDefault);
  DelayedTimeRecorder delegate(pump.get());
  const TimeTicks run_time = TimeTicks::Now() + TimeDelta::FromMilliseconds(2000);
  delegate.PostDelayedTask(delegate.QuitWhenIdleTask(), run_time);
  // Between the delegate calls and the wait, the task falls due.
  bool moved = false;
  delegate.set_idle_hook(base::Bind(&AdvanceOnce, &ticks, 3000u, &moved));

  const DWORD started = GetTickCount();
  pump->Run(&delegate);
  const DWORD elapsed = GetTickCount() - started;

  EXPECT_EQ(1, delegate.tasks_run());
  // Sleeping for the task would take its 2 s.
  EXPECT_LT(elapsed, 1500u);
  ASSERT_GE(delegate.seen_.size(), 2u);
  EXPECT_EQ(run_time, delegate.seen_[0]);
  // The due time was cleared for the next turn rather than slept on.
  EXPECT_TRUE(delegate.seen_[1].is_null());
}

}  // namespace
